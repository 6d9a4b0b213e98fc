#include "InstallSequence.h"

namespace {
// The fixed pause of the sequence, before the extractor starts; the payload is written in it.
constexpr int32_t kPauseMs = 1000;

struct StepNameEntry {
    Step step;
    const char* name;
};
const StepNameEntry kStepNames[] = {
    {Step::Detect, "detection"}, {Step::Gate, "system gate"}, {Step::WorkFolder, "work folder"},
    {Step::Payload, "payload"},  {Step::Extract, "extract"},  {Step::Enu, "ENU installer"},
    {Step::Chs, "CHS installer"}, {Step::CleanUp, "clean-up"},
};

struct ModeNameEntry {
    RunMode mode;
    const char* name;
};
const ModeNameEntry kModeNames[] = {
    {RunMode::Interactive, "interactive"}, {RunMode::Silent, "silent"},
    {RunMode::Auto, "auto"},               {RunMode::Deployment, "deployment"},
};

const char* ModeName(RunMode mode) {
    for (const ModeNameEntry& e : kModeNames)
        if (e.mode == mode) return e.name;
    return "?";
}
}  // namespace

const char* StepName(Step step) {
    for (const StepNameEntry& e : kStepNames)
        if (e.step == step) return e.name;
    return "?";
}

InstallSequence::InstallSequence(InstallSystem& system) : system_(system) {}

RunModeChoice InstallSequence::DecideRunMode(const std::vector<std::string>& arguments) {
    // The markers are read only when no switch decides; what was read is the reason given.
    std::string markers;
    DeploymentMarkers read{[this, &markers] {
                               const uint32_t value = system_.SystemSetupInProgress();
                               markers = "SystemSetupInProgress=" + std::to_string(value);
                               return value;
                           },
                           [this, &markers] {
                               const bool exists = system_.PeBuilderKeyExists();
                               markers += exists ? ", PE Builder key present" : ", no PE Builder key";
                               return exists;
                           }};
    mode_ = ::DecideRunMode(arguments, read);
    const std::string reason = markers.empty() ? "by the switch \"" + arguments[0] + "\"" : "no mode switch; " + markers;
    Log(std::string("run mode: ") + ModeName(mode_.mode) + " (" + reason + ")" +
        (mode_.selfDelete ? ", deletes itself afterwards" : ""));
    return mode_;
}

bool InstallSequence::Unattended() const {
    return mode_.mode == RunMode::Silent || mode_.mode == RunMode::Deployment;
}

std::string InstallSequence::ErrorWords(uint32_t error) {
    return "error " + std::to_string(error) + " (" + system_.ErrorText(error) + ")";
}

void InstallSequence::Record(Step step, StepStatus status, uint32_t error, uint32_t exitCode) {
    steps_.push_back({step, status, error, exitCode});
}

void InstallSequence::OnCreate() {
    if (mode_.mode == RunMode::Interactive) return;
    if (mode_.mode == RunMode::Silent) view_->PrepareSilent();
    else view_->ShowLayout(ViewLayout::Unattended);
    OnInstallClick();
    DeleteSelfIfAsked();
    view_->RequestQuit();
}

void InstallSequence::DeleteSelfIfAsked() {
    if (!mode_.selfDelete) return;
    const uint32_t error = system_.StartHiddenCommand(SelfDeleteCommand(system_.ExecutablePath(), system_.SystemProgram("ping.exe")));
    Log(error ? "self-delete could not start: " + ErrorWords(error) : "self-delete started");
}

// What is there already decides what runs: nothing at all when the runtime and its language pack
// are both in place, on any system. Read once, before anything is written.
void InstallSequence::Detect() {
    if (detected_) return;
    detected_ = true;
    Log("Windows: " + system_.DescribeWindows());
    const NetFxReadings readings = system_.ReadNetFx();
    decision_ = DecideNetFx(readings);
    detection_ = NetFxReadingsText(readings);
    Log("installed already: " + detection_);
    Record(Step::Detect, StepStatus::Done);
    if (decision_ == NetFxDecision::NothingToDo)
        Log(".NET Framework 4.5.2 or later and its language pack are installed: nothing to do");
}

bool InstallSequence::NothingToDoBeforeWindows() {
    if (!Unattended()) return false;
    Detect();
    if (decision_ != NetFxDecision::NothingToDo) return false;
    exitCode_ = kExitSuccess;
    DeleteSelfIfAsked();
    return true;
}

bool InstallSequence::NothingToInstall() {
    Detect();
    view_->NoteDetection(detection_);
    if (decision_ != NetFxDecision::NothingToDo) return false;
    exitCode_ = kExitSuccess;
    view_->ShowStatus(TextId::StatusAlreadyInstalled);
    view_->Close();
    return true;
}

bool InstallSequence::GatePasses() {
    current_ = Step::Gate;
    if (IsSupportedSystem(system_.WindowsName())) {
        Record(Step::Gate, StepStatus::Done);
        return true;
    }
    Record(Step::Gate, StepStatus::Failed);
    Log("this system is not supported" + std::string(Unattended() ? "" : ": the message box is shown"));
    outcome_.Unsupported();
    exitCode_ = outcome_.ExitCode();
    // An unattended run has no one to click the box away: it would wait for ever.
    if (!Unattended()) view_->ShowMessage(TextId::Unsupported);
    view_->Close();
    return false;
}

void InstallSequence::MakeWorkFolder() {
    current_ = Step::WorkFolder;
    const FolderResult folder = system_.CreateWorkFolder();
    workDirMade_ = !folder.path.empty();
    if (workDirMade_) workDir_ = folder.path;
    Record(Step::WorkFolder, workDirMade_ ? StepStatus::Done : StepStatus::Failed, folder.error);
    Log(workDirMade_ ? "work folder: " + workDir_ : "work folder could not be made: " + ErrorWords(folder.error));
}

// The payload is written piece by piece during the pause, with the window's messages handled
// between the pieces: the write then costs no time beyond the pause and never freezes the window.
bool InstallSequence::WritePayloadDuringPause() {
    current_ = Step::Payload;
    const uint32_t pauseStart = system_.TickCount();
    PayloadPiece piece;
    bool tried = false;
    if (workDirMade_ && Waiting()) {
        tried = true;
        system_.BeginPayload({{"tool", "exe1", ExtractorPath(workDir_)}, {"ku", "Net45", ArchivePath(workDir_)}});
        // After a close nothing of the payload would run: the rest is not written.
        do {
            piece = system_.WritePayloadPiece();
            if (piece.more) system_.Pump();
        } while (piece.more && Waiting());
    }
    system_.PumpUntil(pauseStart, kPauseMs);
    const bool written = tried && !piece.more && !piece.failed;
    const StepStatus status = written ? StepStatus::Done : tried && piece.failed ? StepStatus::Failed : StepStatus::Skipped;
    Record(Step::Payload, status, piece.error);
    if (status == StepStatus::Done) Log("payload written: the extractor and the archive");
    else if (status == StepStatus::Failed) Log("payload could not be written: " + ErrorWords(piece.error));
    else Log("payload not written");
    return written;
}

void InstallSequence::LogStart(const ProgramCommand& command, const std::string& folder, ShowState show) {
    Log("starting " + command.commandLine + " in " + folder + (show == ShowState::Hidden ? ", hidden" : ", shown"));
}

void InstallSequence::LogEnd(const ProgramRun& run) {
    if (!run.started) Log("could not start: " + ErrorWords(run.error));
    else if (run.ended) Log("ended with exit code " + std::to_string(run.exitCode) + " after " + std::to_string(run.durationMs) + " ms");
    else if (run.error) Log("the wait failed after " + std::to_string(run.durationMs) + " ms: " + ErrorWords(run.error));
    else Log("left running after " + std::to_string(run.durationMs) + " ms: the window was closed");
}

bool InstallSequence::Extract(bool payloadWritten) {
    current_ = Step::Extract;
    if (!payloadWritten || !Proceeding()) {
        Record(Step::Extract, StepStatus::Skipped);
        return false;
    }
    LogStart(ExtractorCommand(workDir_), workDir_, ShowState::Hidden);
    const ProgramRun run = system_.RunProgram(ExtractorCommand(workDir_), workDir_, ShowState::Hidden,
                                              [this] { return Waiting(); });
    LogEnd(run);
    // 7-Zip ends with 0, or 1 after mere warnings; the installers must be there either way.
    const bool unpacked = run.started && run.ended && run.exitCode <= 1;
    const bool ok = unpacked && system_.FileExists(EnuInstallerPath(workDir_)) && system_.FileExists(ChsInstallerPath(workDir_));
    if (unpacked && !ok) Log("the installers are missing after unpacking");
    Record(Step::Extract, ok ? StepStatus::Done : StepStatus::Failed, run.error, run.exitCode);
    return ok;
}

void InstallSequence::RunInstaller(Step step, const ProgramCommand& command, ShowState show, int sharesBefore, int share) {
    current_ = step;
    if (!Proceeding()) return Record(step, StepStatus::Skipped);
    // Each installer gets a channel of its own for its progress, a cancel and its questions; one
    // that does not know it (or a channel that cannot be made) is waited for as before.
    const ChannelResult channel = system_.OpenInstallerChannel();
    ProgramCommand spoken = command;
    if (!channel.section.empty()) spoken = WithProgressChannel(command, channel.section);
    else Log("no progress channel for this installer: " + ErrorWords(channel.error));
    LogStart(spoken, PayloadDir(workDir_), show);
    installerRunning_ = true;
    speaking_ = false;
    sharesBefore_ = sharesBefore;
    share_ = share;
    const ProgramRun run = system_.RunInstaller(spoken, PayloadDir(workDir_), show,
                                                [this](const InstallerReport& report) { return OnInstallerSlice(report); });
    installerRunning_ = false;
    LogEnd(run);
    // An installer that rolled back after our cancel says so through its channel.
    const bool aborted = run.ended && run.protocolResult == kInstallerAborted;
    const uint32_t exitCode = aborted ? kExitUserCancelled : run.exitCode;
    if (aborted) Log("the installer cancelled and rolled back");
    const bool ok = run.started && run.ended && IsInstallerSuccess(exitCode);
    if (run.started && !run.ended) {
        // Either a close ended the wait and the installer goes on alone, or the wait failed and
        // its end was never seen: its success is unknown either way.
        Record(step, Waiting() ? StepStatus::Failed : StepStatus::LeftRunning, run.error);
    } else {
        Record(step, ok ? StepStatus::Done : StepStatus::Failed, run.error, exitCode);
    }
    // After a close the run counts as cancelled, whatever this installer came to.
    if (Proceeding()) outcome_.InstallerEnded(run.started && run.ended, exitCode);
    if (ok && sharesBefore + share == sharesInAll_ && Proceeding()) {
        reportedWidth_ = kStripTrackWidth;
        ShowProgress();
    }
}

SliceDecision InstallSequence::OnInstallerSlice(const InstallerReport& report) {
    SliceDecision decision;
    if (report.speaks) {
        speaking_ = true;
        const int width = ReportedStripWidth(sharesBefore_, share_, sharesInAll_, report.fraction255);
        if (width > reportedWidth_) {
            reportedWidth_ = width;
            ShowProgress();
        }
        const int tenths = ReportedTenths(sharesBefore_, share_, sharesInAll_, report.fraction255);
        if (tenths > loggedTenths_) {
            loggedTenths_ = tenths;
            Log("progress: " + std::to_string(10 * tenths) + " %");
        }
    }
    if (report.asks) {
        decision.answer = true;
        decision.response = AnswerQuestion(report);
    }
    if (cancelling_ && !abortSent_) {
        decision.abort = abortSent_ = true;
    }
    decision.keepWaiting = Waiting();
    return decision;
}

uint32_t InstallSequence::AnswerQuestion(const InstallerReport& report) {
    std::string names;
    for (const std::string& name : report.applications) names += (names.empty() ? "" : ", ") + name;
    const bool ask = report.filesInUse && !report.applications.empty() && !Unattended() && !cancelling_;
    const uint32_t answer = ask ? (view_->AskFilesInUse(report.applications) ? kAnswerIdYes : kAnswerIdNo)
                                : report.defaultAnswer;
    const std::string words = answer == kAnswerIdYes ? "yes, close them" : answer == kAnswerIdNo ? "no, leave them"
                                                                                              : std::to_string(answer);
    Log((report.filesInUse ? "the installer asks whether to close the applications that hold its files: " + names
                           : std::string("the installer asks a question this program does not know")) +
        "; answer: " + words + (ask ? " (the user's)" : " (the question's default)"));
    return answer;
}

void InstallSequence::ShowProgress() {
    view_->SetStripWidth(timerWidth_ > reportedWidth_ ? timerWidth_ : reportedWidth_);
}

void InstallSequence::OnInstallClick() {
    if (NothingToInstall() || !GatePasses()) return;

    installing_ = true;
    view_->ShowLayout(ViewLayout::Busy);
    view_->ShowStatus(TextId::StatusReady);
    MakeWorkFolder();
    view_->ShowStatus(TextId::StatusInstalling);
    view_->ShowLayout(ViewLayout::Installing);
    const bool written = WritePayloadDuringPause();
    view_->SetProgressTimer(true);

    const bool extracted = Extract(written);
    if (!extracted && Waiting()) outcome_.PayloadFailed();
    const bool win64 = system_.IsWin64();
    // Nothing outside a folder this run made is ever touched.
    if (workDirMade_) system_.RemoveFile(ArchivePath(workDir_));
    if (win64) system_.DisableRedirection();
    if (!extracted) {
        Record(Step::Enu, StepStatus::Skipped);
        Record(Step::Chs, StepStatus::Skipped);
    } else if (decision_ == NetFxDecision::PackOnly) {
        Log("the runtime is installed already: only the language pack runs");
        Record(Step::Enu, StepStatus::Skipped);
        sharesInAll_ = kChsShare;
        RunInstaller(Step::Chs, ChsInstallerCommand(workDir_), ShowState::Hidden, 0, kChsShare);
    } else {
        sharesInAll_ = kEnuShare + kChsShare;
        RunInstaller(Step::Enu, EnuInstallerCommand(workDir_), win64 ? ShowState::Hidden : ShowState::Normal, 0, kEnuShare);
        RunInstaller(Step::Chs, ChsInstallerCommand(workDir_), ShowState::Hidden, kEnuShare, kChsShare);
    }
    CleanUp();
}

void InstallSequence::CleanUp() {
    current_ = Step::CleanUp;
    uint32_t error = 0;
    if (workDirMade_ && system_.FolderExists(PayloadDir(workDir_)))
        error = system_.StartHiddenCommand(PayloadRemovalCommand(workDir_));
    if (error) Log("the payload folder's removal could not start: " + ErrorWords(error));
    view_->SetProgressTimer(false);
    view_->ShowLayout(ViewLayout::Rest);
    RemoveWorkFolderIfThere();
    Record(Step::CleanUp, error ? StepStatus::Failed : StepStatus::Done, error);
    installing_ = false;
    if (closedWhileInstalling_) outcome_.Cancelled();
    exitCode_ = outcome_.ExitCode();
    if (outcome_.Failed()) view_->ShowStatus(TextId::StatusFailed, exitCode_);
    else view_->ShowStatus(TextId::StatusDone);
    view_->Close();
}

void InstallSequence::RemoveWorkFolderIfThere() {
    if (!workDirMade_ || removalStarted_ || !system_.FolderExists(workDir_)) return;
    removalStarted_ = true;
    const uint32_t error = system_.StartHiddenCommand(WorkDirRemovalCommand(workDir_, system_.SystemProgram("ping.exe")));
    Log(error ? "the work folder's removal could not start: " + ErrorWords(error) : "the work folder's removal started");
}

bool InstallSequence::OnCloseQuery() {
    if (!installerRunning_ || !speaking_ || cancelling_ || stop_) return true;
    // The installer knows how to stop: it rolls back, and the window stays until it has. A second
    // close stops waiting at once.
    cancelling_ = true;
    closedWhileInstalling_ = true;
    Log(std::string("closed by the user during the ") + StepName(current_) +
        " step: the installer is asked to cancel and roll back; no further program starts");
    view_->ShowStatus(TextId::StatusCancelling);
    return false;
}

void InstallSequence::OnClose() {
    if (installing_ && !stop_) {
        closedWhileInstalling_ = true;
        if (cancelling_) Log("closed again while the installer rolls back: the wait ends at once");
        Log(std::string("closed by the user during the ") + StepName(current_) + " step: no further program starts");
    }
    stop_ = true;
    RemoveWorkFolderIfThere();
}

void InstallSequence::Abandon() {
    if (!stop_) Log("the run was abandoned after a failure in the program: no further program starts");
    stop_ = true;
    RemoveWorkFolderIfThere();
}

void InstallSequence::OnProgressTick() {
    const ProgressStep step = NextProgressWidth(timerWidth_);
    timerWidth_ = step.width;
    ShowProgress();
    if (step.stopTimer) view_->SetProgressTimer(false);
}
