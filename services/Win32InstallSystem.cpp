#include "Win32InstallSystem.h"

#include <windows.h>

#include "ChainerSession.h"
#include "ChildProcess.h"
#include "Func_Reg.h"
#include "MessagePump.h"
#include "NetFxRelease.h"
#include "PayloadWriter.h"
#include "SystemApi.h"
#include "SystemPrograms.h"
#include "TickDelay.h"
#include "WindowsSysVersion.h"
#include "WorkFolder.h"
#include "Wow64Redirection.h"

Win32InstallSystem::Win32InstallSystem() = default;
Win32InstallSystem::~Win32InstallSystem() = default;

std::string Win32InstallSystem::WindowsName() { return GetWindowsVersionName(); }
bool Win32InstallSystem::IsWin64() { return ::IsWin64(); }

uint32_t Win32InstallSystem::SystemSetupInProgress() {
    return RegReadDword("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", "SystemSetupInProgress");
}

bool Win32InstallSystem::PeBuilderKeyExists() {
    return RegKeyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\PE Builder");
}

NetFxReadings Win32InstallSystem::ReadNetFx() { return ReadNetFxReleases(); }

std::string Win32InstallSystem::DescribeWindows() {
    OSVERSIONINFOEXA v = {};
    std::string text = GetWindowsVersionName();
    if (text.empty()) text = "an unnamed Windows";
    if (QueryOsVersion(v)) {
        text += " (" + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + "." +
                std::to_string(v.dwBuildNumber) + ", service pack " + std::to_string(v.wServicePackMajor) +
                ", product type " + std::to_string(v.wProductType) + ")";
    }
    text += ::IsWin64() ? ", 64-bit Windows" : ", 32-bit Windows";
    return text + ", locale " + std::to_string(GetThreadLocale());
}

std::string Win32InstallSystem::ErrorText(uint32_t error) { return Win32ErrorText(error); }

FolderResult Win32InstallSystem::CreateWorkFolder() {
    const WorkFolder folder = ::CreateWorkFolder(WindowsFolder());
    return {folder.path, folder.error};
}

bool Win32InstallSystem::FolderExists(const std::string& path) { return ::FolderExists(path); }

bool Win32InstallSystem::FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t Win32InstallSystem::RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) ? 0 : LastError();
}

void Win32InstallSystem::BeginPayload(const std::vector<PayloadItem>& items) {
    std::vector<PayloadFile> files;
    for (const PayloadItem& item : items) files.push_back({item.type, item.name, item.path});
    payload_.reset(new PayloadWriter(std::move(files)));
}

PayloadPiece Win32InstallSystem::WritePayloadPiece() {
    PayloadPiece piece;
    if (!payload_) return {false, true, ERROR_INVALID_FUNCTION};
    piece.more = payload_->WriteNext();
    piece.failed = !piece.more && !payload_->Written();
    piece.error = payload_->Error();
    return piece;
}

ProgramRun Win32InstallSystem::RunProgram(const ProgramCommand& command, const std::string& folder, ShowState show,
                                          const WaitSlice& slice) {
    const RunResult r = ::RunProgram(command.program, command.commandLine, folder,
                                     show == ShowState::Hidden ? SW_HIDE : SW_SHOWNORMAL, slice);
    return {r.started, r.ended, r.exitCode, r.error, r.durationMs};
}

ChannelResult Win32InstallSystem::OpenInstallerChannel() {
    channel_.reset(new ChainerSession);
    if (channel_->Create()) return {channel_->SectionName(), 0};
    const uint32_t error = channel_->Error();
    channel_.reset();
    return {"", error};
}

namespace {
// The installers write UTF-16; our texts are in the system code page.
std::string AnsiFromUtf8(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (units <= 0) return "";
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &wide[0], units);
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return "";
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), units, &out[0], bytes, nullptr, nullptr);
    return out;
}

// The installer has written to its block: a result, progress, a step or a question. One that
// does not know the protocol leaves the block as we made it.
InstallerReport ReportOf(const ChainerProgress& progress, const ChainerMessage& message) {
    InstallerReport report;
    report.speaks = progress.installFinished || progress.downloadFinished || progress.hrInstallFinished != kHresultPending ||
                    progress.installSoFar || progress.downloadSoFar || !progress.currentItemStep.empty() ||
                    message.question != ChainerQuestion::None;
    report.fraction255 = ChainerFraction255(progress);
    report.asks = message.question != ChainerQuestion::None;
    report.filesInUse = NeedsUserAnswer(message);
    for (const ChainerApplication& application : message.applications) report.applications.push_back(AnsiFromUtf8(application.name));
    report.defaultAnswer = DefaultAnswer(message);
    return report;
}
}  // namespace

ProgramRun Win32InstallSystem::RunInstaller(const ProgramCommand& command, const std::string& folder, ShowState show,
                                            const InstallerSlice& slice) {
    // The channel is this run's alone: released when the wait is over, whatever happened.
    std::unique_ptr<ChainerSession> channel = std::move(channel_);
    // An answer or a cancel that could not be written (the installer held the data past the
    // bound) is written at the next slice; the question is not put to the user twice meanwhile.
    bool answerPending = false, abortPending = false;
    uint32_t pendingResponse = 0;
    const auto eachSlice = [&]() {
        InstallerReport report;
        ChainerProgress progress;
        ChainerMessage message;
        if (channel && channel->Read(progress, message)) report = ReportOf(progress, message);
        if (answerPending) report.asks = report.filesInUse = false;
        const SliceDecision decision = slice(report);
        if (decision.answer) {
            answerPending = true;
            pendingResponse = decision.response;
        }
        if (decision.abort) abortPending = true;
        if (channel && answerPending) answerPending = !channel->Answer(pendingResponse);
        if (channel && abortPending) abortPending = !channel->Abort();
        return decision.keepWaiting;
    };
    const RunResult r = ::RunProgram(command.program, command.commandLine, folder,
                                     show == ShowState::Hidden ? SW_HIDE : SW_SHOWNORMAL, eachSlice,
                                     channel ? channel->ChangeEvent() : nullptr);
    ProgramRun run = {r.started, r.ended, r.exitCode, r.error, r.durationMs};
    if (channel && r.ended) run.protocolResult = channel->InstallResult();
    return run;
}

uint32_t Win32InstallSystem::StartHiddenCommand(const std::string& command) { return ::StartHiddenCommand(command); }
std::string Win32InstallSystem::SystemProgram(const char* fileName) { return ::SystemProgram(fileName); }
std::string Win32InstallSystem::ExecutablePath() { return ::ExecutablePath(); }
void Win32InstallSystem::DisableRedirection() { DisableWow64Redirection(); }
uint32_t Win32InstallSystem::TickCount() { return GetTickCount(); }
void Win32InstallSystem::Pump() { PumpPass(); }
void Win32InstallSystem::PumpUntil(uint32_t start, int32_t durationMs) {
    DelayWithMessages(DelayRemaining(start, GetTickCount(), durationMs));
}
