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
#include "MessagePump.h"
#include "SystemPrograms.h"
#include "UiLanguage.h"

namespace {
void ApplicationPumpPass() { Application.ProcessMessages(); }

RunModeChoice DecideThisRunMode() {
    DeploymentMarkers markers{
        [] { return RegReadDword("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", "SystemSetupInProgress"); },
        [] { return RegKeyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\PE Builder"); }};
    return DecideRunMode(SplitArguments(GetCommandLineA()), markers);
}

// A run that ended by a failure: said plainly where someone may read it, never a box that waits
// for a click in an unattended run, or one that has no window system to appear on.
int EndAfterFailure(bool unattended, const std::string& message) {
    AbandonRun();
    if (!unattended && Application.Handle()) Application.ShowError(message);
    return int(kExitInstallFailure);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearchToSystem();
    const RunModeChoice mode = DecideThisRunMode();
    // A run with no one in front of it needs no window system: where none can be had, it goes on
    // with the windows' state held as data, and its exit code tells what the installers did.
    const bool unattended = mode.mode == RunMode::Silent || mode.mode == RunMode::Deployment;
    Application.AllowWindowless = unattended;
    Application.Initialize(instance);
    SetPumpPass(ApplicationPumpPass);
    Application.OnSettingChange = RefreshUiLanguage;
    Application.OnHandlerFailure = AbandonRun;
    GetUiLanguage();  // the interface language is the thread's locale at start-up
    SetRunMode(mode);
    // Under Wine without a display no window is made and nothing reaches a screen: a run that
    // shows a window ends before it changes anything.
    if (!Application.Handle() && !unattended) return EndAfterFailure(unattended, "No window can be shown");
    try {
        Form1 = new TForm1;
        Form1->CreateFromResource("TFORM1", Form1->Handlers());
        Application.SetMainFormIfNone(Form1);
        Form2 = new TForm2;
        Form2->CreateFromResource("TFORM2", Form2->Handlers());
        Application.Run();
    } catch (const std::exception& e) {
        return EndAfterFailure(unattended, e.what());
    }
    if (Application.Failed()) return EndAfterFailure(unattended, Application.FailureMessage());
    return int(ProcessExitCode);
}
