// The program entry: builds the application, creates the main window (whose creation runs the
// chosen mode) and the About dialog, runs the main loop, and ends with the exit code that tells
// how the install went.
#include <windows.h>

#include <exception>

#include "../ui/QvKuMa.h"
#include "../ui/QvkunAbout.h"
#include "../ui/framework/Application.h"
#include "CommandLine.h"
#include "Func_Reg.h"
#include "InstallPlan.h"
#include "KuFun.h"

namespace {
void PumpPass() { Application.ProcessMessages(); }

// A run that must not wait for a click: there is no one to click a box away.
bool UnattendedRun() {
    DeploymentMarkers markers{
        [] { return RegReadDword("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", "SystemSetupInProgress"); },
        [] { return RegKeyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\PE Builder"); }};
    RunMode mode = DecideRunMode(SplitArguments(GetCommandLineA()), markers).mode;
    return mode == RunMode::Silent || mode == RunMode::Deployment;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearchToSystem();
    Application.Initialize(instance);
    SetPumpPass(PumpPass);
    Application.OnSettingChange = RefreshUiLanguage;
    GetUiLanguage();  // the interface language is the thread's locale at start-up
    try {
        Form1 = new TForm1;
        Form1->CreateFromResource("TFORM1", Form1->Handlers());
        Application.SetMainFormIfNone(Form1);
        Form2 = new TForm2;
        Form2->CreateFromResource("TFORM2", Form2->Handlers());
        Application.Run();
    } catch (const std::exception& e) {
        // A broken build or an exhausted machine: said plainly, and never a hang in silent mode.
        if (!UnattendedRun()) Application.ShowError(e.what());
        return int(kExitInstallFailure);
    }
    return int(ProcessExitCode);
}
