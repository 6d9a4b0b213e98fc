#include "InstallSequence.h"

namespace {
// The fixed pause of the sequence, before the extractor starts; the payload is written in it.
constexpr int32_t kPauseMs = 1000;

struct StepNameEntry {
    Step step;
    const char* name;
};
const StepNameEntry kStepNames[] = {
    {Step::Gate, "system gate"}, {Step::WorkFolder, "work folder"}, {Step::Payload, "payload"},
    {Step::Extract, "extract"},  {Step::Enu, "ENU installer"},      {Step::Chs, "CHS installer"},
    {Step::CleanUp, "clean-up"},
};
}  // namespace

const char* StepName(Step step) {
    for (const StepNameEntry& e : kStepNames)
        if (e.step == step) return e.name;
    return "?";
}

InstallSequence::InstallSequence(InstallSystem& system) : system_(system) {}

RunModeChoice InstallSequence::DecideRunMode(const std::vector<std::string>& arguments) {
    DeploymentMarkers markers{[this] { return system_.SystemSetupInProgress(); },
                              [this] { return system_.PeBuilderKeyExists(); }};
    mode_ = ::DecideRunMode(arguments, markers);
    return mode_;
}

bool InstallSequence::Unattended() const {
    return mode_.mode == RunMode::Silent || mode_.mode == RunMode::Deployment;
}

void InstallSequence::Record(Step step, StepStatus status, uint32_t error, uint32_t exitCode) {
    steps_.push_back({step, status, error, exitCode});
}

void InstallSequence::OnCreate() {
    if (mode_.mode == RunMode::Interactive) return;
    if (mode_.mode == RunMode::Silent) view_->PrepareSilent();
    else view_->ShowLayout(ViewLayout::Unattended);
    OnInstallClick();
    if (mode_.selfDelete) system_.StartHiddenCommand(SelfDeleteCommand(system_.ExecutablePath(), system_.SystemProgram("ping.exe")));
    view_->RequestQuit();
}

bool InstallSequence::GatePasses() {
    if (IsSupportedSystem(system_.WindowsName())) {
        Record(Step::Gate, StepStatus::Done);
        return true;
    }
    Record(Step::Gate, StepStatus::Failed);
    outcome_.Unsupported();
    exitCode_ = outcome_.ExitCode();
    // An unattended run has no one to click the box away: it would wait for ever.
    if (!Unattended()) view_->ShowMessage(TextId::Unsupported);
    view_->Close();
    return false;
}

void InstallSequence::MakeWorkFolder() {
    const FolderResult folder = system_.CreateWorkFolder();
    workDirMade_ = !folder.path.empty();
    if (workDirMade_) workDir_ = folder.path;
    Record(Step::WorkFolder, workDirMade_ ? StepStatus::Done : StepStatus::Failed, folder.error);
}

// The payload is written piece by piece during the pause, with the window's messages handled
// between the pieces: the write then costs no time beyond the pause and never freezes the window.
bool InstallSequence::WritePayloadDuringPause() {
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
    Record(Step::Payload, written ? StepStatus::Done : tried && piece.failed ? StepStatus::Failed : StepStatus::Skipped,
           piece.error);
    return written;
}

bool InstallSequence::Extract(bool payloadWritten) {
    if (!payloadWritten || !Waiting()) {
        Record(Step::Extract, StepStatus::Skipped);
        return false;
    }
    const ProgramRun run = system_.RunProgram(ExtractorCommand(workDir_), workDir_, ShowState::Hidden,
                                              [this] { return Waiting(); });
    // 7-Zip ends with 0, or 1 after mere warnings; the installers must be there either way.
    const bool ok = run.started && run.ended && run.exitCode <= 1 && system_.FileExists(EnuInstallerPath(workDir_)) &&
                    system_.FileExists(ChsInstallerPath(workDir_));
    Record(Step::Extract, ok ? StepStatus::Done : StepStatus::Failed, run.error, run.exitCode);
    return ok;
}

void InstallSequence::RunInstaller(Step step, const ProgramCommand& command, ShowState show) {
    if (!Waiting()) return Record(step, StepStatus::Skipped);
    const ProgramRun run = system_.RunProgram(command, PayloadDir(workDir_), show, [this] { return Waiting(); });
    const bool ok = run.started && run.ended && IsInstallerSuccess(run.exitCode);
    if (run.started && !run.ended) {
        // Either a close ended the wait and the installer goes on alone, or the wait failed and
        // its end was never seen: its success is unknown either way.
        Record(step, Waiting() ? StepStatus::Failed : StepStatus::LeftRunning, run.error);
    } else {
        Record(step, ok ? StepStatus::Done : StepStatus::Failed, run.error, run.exitCode);
    }
    // After a close the run counts as cancelled, whatever this installer came to.
    if (Waiting()) outcome_.InstallerEnded(run.started && run.ended, run.exitCode);
}

void InstallSequence::OnInstallClick() {
    if (!GatePasses()) return;

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
    if (extracted) {
        RunInstaller(Step::Enu, EnuInstallerCommand(workDir_), win64 ? ShowState::Hidden : ShowState::Normal);
        RunInstaller(Step::Chs, ChsInstallerCommand(workDir_), ShowState::Hidden);
    } else {
        Record(Step::Enu, StepStatus::Skipped);
        Record(Step::Chs, StepStatus::Skipped);
    }
    CleanUp();
}

void InstallSequence::CleanUp() {
    uint32_t error = 0;
    if (workDirMade_ && system_.FolderExists(PayloadDir(workDir_)))
        error = system_.StartHiddenCommand(PayloadRemovalCommand(workDir_));
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
    system_.StartHiddenCommand(WorkDirRemovalCommand(workDir_, system_.SystemProgram("ping.exe")));
}

void InstallSequence::OnClose() {
    if (installing_) closedWhileInstalling_ = true;
    stop_ = true;
    RemoveWorkFolderIfThere();
}

void InstallSequence::Abandon() {
    stop_ = true;
    RemoveWorkFolderIfThere();
}

void InstallSequence::OnProgressTick() {
    const ProgressStep step = NextProgressWidth(view_->StripWidth());
    view_->SetStripWidth(step.width);
    if (step.stopTimer) view_->SetProgressTimer(false);
}
