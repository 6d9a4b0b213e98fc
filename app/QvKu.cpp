// The program entry: decides the run mode, builds the application and the main window (whose
// creation runs the unattended modes), the About dialog, runs the main loop, and ends with the
// exit code that tells how the install went.
#include <windows.h>

#include <exception>

#include "../ui/QvKuMa.h"
#include "../ui/QvkunAbout.h"
#include "../ui/framework/Application.h"
#include "CommandLine.h"
#include "InstallPlan.h"
#include "InstallSequence.h"
#include "MessagePump.h"
#include "SystemPrograms.h"
#include "UiLanguage.h"
#include "VersionText.h"
#include "Win32InstallSystem.h"

namespace {
void ApplicationPumpPass() { Application.ProcessMessages(); }

// A run that ended by a failure: said plainly where someone may read it, never a box that waits
// for a click in an unattended run, or one that has no window system to appear on.
// The run's last line in the log: the code and what it tells.
int Exit(Win32InstallSystem& system, uint32_t code) {
    system.Log("exit code " + std::to_string(code) + ": " + ExitCodeMeaning(code));
    return int(code);
}

// A run that ended by a failure: said plainly where someone may read it, never a box that waits
// for a click in an unattended run, or one that has no window system to appear on.
int EndAfterFailure(Win32InstallSystem& system, InstallSequence& sequence, bool unattended, const std::string& message) {
    system.Log("the program failed: " + message);
    sequence.Abandon();
    if (!unattended && Application.Handle()) Application.ShowError(message);
    return Exit(system, kExitInstallFailure);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearchToSystem();
    Win32InstallSystem system;
    system.OpenLog();
    system.Log("QvKu " + GetExeVersionText() + ", command line: " + GetCommandLineA());
    InstallSequence sequence(system);
    const RunModeChoice mode = sequence.DecideRunMode(SplitArguments(GetCommandLineA()));
    // With everything installed an unattended run has nothing to show or do: it ends before the
    // window system and the windows are built.
    if (sequence.NothingToDoBeforeWindows()) return Exit(system, sequence.ExitCode());
    // A run with no one in front of it needs no window system: where none can be had, it goes on
    // with the windows' state held as data, and its exit code tells what the installers did.
    const bool unattended = mode.mode == RunMode::Silent || mode.mode == RunMode::Deployment;
    Application.AllowWindowless = unattended;
    Application.Initialize(instance);
    SetPumpPass(ApplicationPumpPass);
    Application.OnSettingChange = RefreshUiLanguage;
    Application.OnHandlerFailure = [&sequence] { sequence.Abandon(); };
    GetUiLanguage();  // the interface language is the thread's locale at start-up
    // Under Wine without a display no window is made and nothing reaches a screen: a run that
    // shows a window ends before it changes anything.
    if (!Application.Handle() && !unattended) return EndAfterFailure(system, sequence, unattended, "No window can be shown");
    try {
        Form1 = new TForm1;
        Form1->SetEvents(&sequence);
        sequence.SetView(Form1);
        Form1->CreateFromResource("TFORM1", Form1->Handlers());
        Application.SetMainFormIfNone(Form1);
        Form2 = new TForm2;
        Form2->CreateFromResource("TFORM2", Form2->Handlers());
        Application.Run();
    } catch (const std::exception& e) {
        return EndAfterFailure(system, sequence, unattended, e.what());
    }
    if (Application.Failed()) return EndAfterFailure(system, sequence, unattended, Application.FailureMessage());
    return Exit(system, sequence.ExitCode());
}
