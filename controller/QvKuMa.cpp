// The controller half of the main window: the run mode, the install sequence, the progress
// timer and what closing the window does.
#include "../ui/QvKuMa.h"

#include <windows.h>

#include "../ui/framework/Application.h"
#include "Branding.h"
#include "CommandLine.h"
#include "Func_Reg.h"
#include "ChildProcess.h"
#include "InstallPlan.h"
#include "MessagePump.h"
#include "PayloadWriter.h"
#include "SystemApi.h"
#include "SystemPrograms.h"
#include "Texts.h"
#include "TickDelay.h"
#include "UiLanguage.h"
#include "WindowsSysVersion.h"
#include "WorkFolder.h"
#include "Wow64Redirection.h"

std::string WorkDir;
uint32_t ProcessExitCode = kExitUserCancelled;  // closing the window without installing
// Set when the main window closes and never reset; every later wait ends at its next slice
// and no program starts after it.
bool StopRequested = false;

namespace {
// The fixed pause of the install sequence, before the extractor starts.
constexpr int32_t kPauseMs = 1000;

RunModeChoice runMode;
// Only a folder this run made is ever removed: a folder of the same name that was there before
// belongs to someone else.
bool workDirMade = false;
// One removal per run: it retries until the folder is gone, and a second one still pausing
// could then remove a folder of the same name that a later run has made.
bool removalStarted = false;
bool installing = false;
bool closedWhileInstalling = false;

const char* const kBusyHidden[] = {"Image5", "Image4", "Image6", "Image7", "Image8", "Image9", "Label5", "Label7"};
const char* const kHotspots[] = {"Label3", "Label4", "Label2"};

bool Unattended(RunMode mode) { return mode == RunMode::Silent || mode == RunMode::Deployment; }

// A folder that is some process's current folder cannot be removed: neither ours nor that of
// the removal command, which inherits it. Both step out of the work folder first.
void LeaveWorkFolder() {
    std::string::size_type slash = WorkDir.find_last_of('\\');
    if (slash != std::string::npos) SetCurrentDirectoryA(WorkDir.substr(0, slash).c_str());
}

void RemoveWorkFolderIfThere() {
    if (!workDirMade || removalStarted || !FolderExists(WorkDir)) return;
    removalStarted = true;
    LeaveWorkFolder();
    StartHiddenCommand(WorkDirRemovalCommand(WorkDir, SystemProgram("ping.exe")));
}

// An installer or the extractor, in `folder`, unless the window was closed: after that no
// program starts, and a close during the wait ends it.
bool RunStep(const ProgramCommand& command, const std::string& folder, WORD show, RunResult& result) {
    if (StopRequested) return false;
    result = RunProgram(command.program, command.commandLine, folder, show, [] { return !StopRequested; });
    return true;
}
}  // namespace

void SetRunMode(const RunModeChoice& choice) { runMode = choice; }

void AbandonRun() {
    StopRequested = true;
    RemoveWorkFolderIfThere();
}

void TForm1::FormCreate() {
    if (runMode.mode == RunMode::Interactive) return;

    if (runMode.mode == RunMode::Silent) {
        Application.ShowMainForm = false;
        SetWindowLongA(Application.Handle(), GWL_EXSTYLE, WS_EX_TOOLWINDOW);
        ShowWindow(Application.Handle(), SW_HIDE);
        SetLeft(GetSystemMetrics(SM_CXSCREEN) - Width());
        SetTop(GetSystemMetrics(SM_CYSCREEN) - Height() - 2000);
    } else {
        for (const char* name : kHotspots) SetEnabled(name, false);
        for (const char* name : kBusyHidden) SetVisible(name, false);
        for (const char* name : {"Image11", "Image13", "Image12"}) SetVisible(name, true);
        Show();
        SetWindowPos(Handle(), HWND_TOPMOST, Left(), Top(), Width(), Height(), SWP_SHOWWINDOW);
    }
    Label3Click();
    if (runMode.selfDelete) StartHiddenCommand(SelfDeleteCommand(ExecutablePath(), SystemProgram("ping.exe")));
    Application.Terminate();
}

void TForm1::Label3Click() {
    const int language = GetUiLanguage();
    InstallOutcome outcome;
    if (!IsSupportedSystem(GetWindowsVersionName())) {
        outcome.Unsupported();
        ProcessExitCode = outcome.ExitCode();
        // An unattended run has no one to click the box away: it would wait for ever.
        if (!Unattended(runMode.mode))
            Application.ShowMessageBox(Text(TextId::Unsupported, language), QVKU_PUBLISHER_CAPTION, MB_OK | MB_ICONEXCLAMATION);
        Close();
        return;
    }

    installing = true;
    for (const char* name : kHotspots) SetEnabled(name, false);
    for (const char* name : kBusyHidden) SetVisible(name, false);
    SetVisible("Image12", false);
    SetVisible("Image10", true);
    SetText("Label9", Text(TextId::StatusReady, language));
    const WorkFolder folder = CreateWorkFolder(WindowsFolder());
    if (!folder.path.empty()) {
        WorkDir = folder.path;
        workDirMade = true;
    }
    SetText("Label9", Text(TextId::StatusInstalling, language));
    for (const char* name : {"Image11", "Image13", "Image12"}) SetVisible(name, true);
    // The pause, with the payload written in it (the writes used to follow it).
    const uint32_t pauseStart = GetTickCount();
    PayloadWriter payload({{"tool", "exe1", ExtractorPath(WorkDir)}, {"ku", "Net45", ArchivePath(WorkDir)}});
    // After a close nothing of the payload would run: the rest is not written.
    while (workDirMade && !StopRequested && payload.WriteNext()) DelayWithMessages(0);
    DelayWithMessages(DelayRemaining(pauseStart, GetTickCount(), kPauseMs));
    SetEnabled("Timer1", true);

    bool payloadReady = workDirMade && !StopRequested && payload.Written();
    RunResult extractor;
    if (payloadReady && RunStep(ExtractorCommand(WorkDir), WorkDir, SW_HIDE, extractor)) {
        // 7-Zip ends with 0, or 1 after mere warnings; the installers must be there either way.
        payloadReady = extractor.ended && extractor.exitCode <= 1 &&
                       GetFileAttributesA(EnuInstallerPath(WorkDir).c_str()) != INVALID_FILE_ATTRIBUTES &&
                       GetFileAttributesA(ChsInstallerPath(WorkDir).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    if (!payloadReady && !StopRequested) outcome.PayloadFailed();

    const bool win64 = IsWin64();
    DeleteFileA(ArchivePath(WorkDir).c_str());
    if (win64) DisableWow64Redirection();
    if (payloadReady) {
        RunResult enu, chs;
        const std::string payloadDir = PayloadDir(WorkDir);
        if (RunStep(EnuInstallerCommand(WorkDir), payloadDir, win64 ? SW_HIDE : SW_SHOWNORMAL, enu) && !StopRequested)
            outcome.InstallerEnded(enu.ended, enu.exitCode);
        if (RunStep(ChsInstallerCommand(WorkDir), payloadDir, SW_HIDE, chs) && !StopRequested)
            outcome.InstallerEnded(chs.ended, chs.exitCode);
    }
    LeaveWorkFolder();
    if (workDirMade && FolderExists(PayloadDir(WorkDir))) StartHiddenCommand(PayloadRemovalCommand(WorkDir));

    SetEnabled("Timer1", false);
    for (const char* name : kHotspots) SetEnabled(name, true);
    RemoveWorkFolderIfThere();
    installing = false;
    if (closedWhileInstalling) outcome.Cancelled();
    ProcessExitCode = outcome.ExitCode();
    SetText("Label9", outcome.Failed() ? FailureText(ProcessExitCode, language) : Text(TextId::StatusDone, language));
    Close();
}

void TForm1::FormClose() {
    SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (installing) closedWhileInstalling = true;
    StopRequested = true;
    RemoveWorkFolderIfThere();
}

void TForm1::Timer1Timer() {
    ProgressStep step = NextProgressWidth(E("Image13").width);
    SetWidth("Image13", step.width);
    if (step.stopTimer) SetEnabled("Timer1", false);
}
