// The install sequence that every run mode runs, the run-mode decision, the close rules and the
// exit code. Plain C++: it reaches the window only through InstallView and the machine only
// through InstallSystem, so the whole course of a run is tested natively over fakes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "InstallPlan.h"
#include "InstallSystem.h"
#include "InstallView.h"
#include "NetFxDetection.h"

// The named steps of a run, in their order.
enum class Step { Detect, Gate, WorkFolder, Payload, Extract, Enu, Chs, CleanUp };
const char* StepName(Step step);

enum class StepStatus {
    Done,
    Failed,
    Skipped,      // not begun: an earlier step failed, the window was closed, or nothing was to do
    LeftRunning,  // a program started, then the window was closed while it ran
};

// What one step came to: kept for the whole run, so that whoever reports on it can name each
// step's platform error and each program's exit code.
struct StepResult {
    Step step;
    StepStatus status;
    uint32_t error = 0;     // the platform's error number, 0 when none
    uint32_t exitCode = 0;  // of a program that ended
};

class InstallSequence : public InstallEvents {
public:
    explicit InstallSequence(InstallSystem& system);

    // Decided once, before any window: the switches of the command line, else the deployment
    // markers of the machine.
    RunModeChoice DecideRunMode(const std::vector<std::string>& arguments);
    const RunModeChoice& Mode() const { return mode_; }
    void SetView(InstallView* view) { view_ = view; }

    // The window's events.
    void OnCreate() override;
    void OnInstallClick() override;
    bool OnCloseQuery() override;
    void OnClose() override;
    void OnProgressTick() override;

    // An unattended run looks before any window is built: true, with the exit code set and the
    // self-delete started where asked, when everything is installed already and nothing is to do.
    bool NothingToDoBeforeWindows();

    // A failure outside the sequence ended the run: nothing more starts and the work folder goes.
    void Abandon();

    uint32_t ExitCode() const { return exitCode_; }
    const std::vector<StepResult>& Steps() const { return steps_; }
    const std::string& WorkDir() const { return workDir_; }
    bool StopRequested() const { return stop_; }
    NetFxDecision Decision() const { return decision_; }

private:
    bool Unattended() const;
    void Record(Step step, StepStatus status, uint32_t error = 0, uint32_t exitCode = 0);
    void Log(const std::string& line) { system_.Log(line); }
    std::string ErrorWords(uint32_t error);
    void Detect();
    bool NothingToInstall();
    void DeleteSelfIfAsked();
    bool GatePasses();
    void MakeWorkFolder();
    bool WritePayloadDuringPause();
    bool Extract(bool payloadWritten);
    void LogStart(const ProgramCommand& command, const std::string& folder, ShowState show);
    void LogEnd(const ProgramRun& run);
    void RunInstaller(Step step, const ProgramCommand& command, ShowState show, int sharesBefore, int share);
    SliceDecision OnInstallerSlice(const InstallerReport& report);
    uint32_t AnswerQuestion(const InstallerReport& report);
    void ShowProgress();
    void CleanUp();
    void RemoveWorkFolderIfThere();
    // A wait goes on until a close ends it; a cancel lets the installer roll back first.
    bool Waiting() const { return !stop_; }
    // No program starts after a close or a cancel.
    bool Proceeding() const { return !stop_ && !cancelling_; }

    InstallSystem& system_;
    InstallView* view_ = nullptr;
    RunModeChoice mode_;
    InstallOutcome outcome_;
    NetFxDecision decision_ = NetFxDecision::Full;
    bool detected_ = false;
    std::string detection_;
    Step current_ = Step::Detect;
    std::vector<StepResult> steps_;
    std::string workDir_;
    uint32_t exitCode_ = kExitUserCancelled;  // closing the window without installing
    // Set by the first close and never reset: every later wait ends, and no program starts.
    bool stop_ = false;
    // Only a folder this run made is ever removed: one of the same name that was there before
    // belongs to someone else.
    bool workDirMade_ = false;
    // One removal per run: it retries until the folder is gone, and a second one still pausing
    // could remove a folder of the same name that a later run has made.
    bool removalStarted_ = false;
    bool installing_ = false;
    bool closedWhileInstalling_ = false;
    // The installer being waited for, and what it has said of itself through its channel.
    bool installerRunning_ = false;
    bool speaking_ = false;
    int sharesBefore_ = 0, share_ = 0, sharesInAll_ = 0;
    // A first close while an installer speaks: it is asked to roll back, once, and the wait goes on.
    bool cancelling_ = false;
    bool abortSent_ = false;
    // The strip shows whichever is further: one pixel a second, or what the installers reported.
    int timerWidth_ = kProgressStartWidth;
    int reportedWidth_ = kProgressStartWidth;
    int loggedTenths_ = 0;
};
