#include "Win32InstallSystem.h"

#include <windows.h>

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

uint32_t Win32InstallSystem::StartHiddenCommand(const std::string& command) { return ::StartHiddenCommand(command); }
std::string Win32InstallSystem::SystemProgram(const char* fileName) { return ::SystemProgram(fileName); }
std::string Win32InstallSystem::ExecutablePath() { return ::ExecutablePath(); }
void Win32InstallSystem::DisableRedirection() { DisableWow64Redirection(); }
uint32_t Win32InstallSystem::TickCount() { return GetTickCount(); }
void Win32InstallSystem::Pump() { PumpPass(); }
void Win32InstallSystem::PumpUntil(uint32_t start, int32_t durationMs) {
    DelayWithMessages(DelayRemaining(start, GetTickCount(), durationMs));
}
