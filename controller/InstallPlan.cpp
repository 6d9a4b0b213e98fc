#include "InstallPlan.h"

const char* const SupportedSystems[9] = {
    "Windows7",      "WinServer2008R2", "WinVista",     "WinServer2008",  "Windows8",
    "WinServer2012", "Windows8.1",      "Windows8Blue", "WinServer8Blue",
};

bool IsSupportedSystem(const std::string& windowsName) {
    for (const char* name : SupportedSystems)
        if (windowsName == name) return true;
    return false;
}

std::string WorkDirCandidate(const std::string& windowsDir, int attempt) {
    std::string dir = windowsDir;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    dir += "\\temp\\~qvku";
    if (attempt > 0) dir += "." + std::to_string(attempt);
    return dir + ".tmp";
}

const char kEnuInstallerName[] = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe";
const char kChsInstallerName[] = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe";
const char kPayloadFolderName[] = "NET4.5";

std::string ExtractorPath(const std::string& workDir) { return workDir + "\\qvzip.qv"; }
std::string ArchivePath(const std::string& workDir) { return workDir + "\\NET4.5.7z"; }
std::string PayloadDir(const std::string& workDir) { return workDir + "\\NET4.5"; }
std::string ExtractorCommand(const std::string& workDir) { return workDir + "\\qvzip.qv X \"NET4.5.7z\" -R -Y"; }
std::string EnuInstallerCommand(const std::string& workDir) {
    return PayloadDir(workDir) + "\\" + kEnuInstallerName + " /q /norestart";
}
std::string ChsInstallerCommand(const std::string& workDir) {
    return PayloadDir(workDir) + "\\" + kChsInstallerName + " /q /norestart";
}
std::string PayloadRemovalCommand(const std::string& workDir) {
    return "cmd /c rd /s /q \"" + workDir + "\\NET4.5\"";
}
std::string WorkDirRemovalCommand(const std::string& workDir) {
    // A program that still runs from the folder (an installer that went on after the window was
    // closed, or a removal of the payload folder racing this one) keeps it from going at once:
    // the removal tries again after growing pauses, for about ten minutes, and stops as soon
    // as the folder is gone. Nested conditions rather than a loop, which every cmd parses alike;
    // a blank before each closing parenthesis keeps it out of the redirection's file name.
    static const int kPausesSeconds[] = {2, 2, 2, 2, 2, 5, 5, 5, 5, 5, 30, 30, 30, 30, 30,
                                         30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30};
    // The attempts name the folder from its parent, where the command goes first: with the full
    // path in each of them, a long Windows folder would pass the 8191 characters that cmd takes
    // on one line (Wine's cmd even crashes on it), and nothing would be removed.
    const std::string::size_type slash = workDir.find_last_of('\\');
    std::string parent = slash == std::string::npos ? std::string(".") : workDir.substr(0, slash);
    if (parent.empty() || parent.back() == ':') parent += '\\';
    const std::string quoted = "\"" + workDir.substr(slash == std::string::npos ? 0 : slash + 1) + "\"";
    std::string command = "rd /s /q " + quoted + " 2>nul";
    for (size_t i = sizeof kPausesSeconds / sizeof kPausesSeconds[0]; i-- > 0;)
        command = "rd /s /q " + quoted + " 2>nul & if exist " + quoted + " (ping -n " +
                  std::to_string(kPausesSeconds[i] + 1) + " 127.0.0.1 >nul & " + command + " )";
    return "cmd /c cd /d \"" + parent + "\" && (" + command + " )";
}
std::string SelfDeleteCommand(const std::string& exePath) {
    return "cmd /c ping 127.0.0.1 & del /f /q \"" + exePath + "\"";
}

ProgressStep NextProgressWidth(int width) { return {width + 1, width + 1 > 345}; }

void InstallOutcome::Fail(uint32_t code) {
    if (failed_) return;
    failed_ = true;
    failureCode_ = code;
}

void InstallOutcome::Unsupported() { Fail(kExitUnsupportedSystem); }
void InstallOutcome::PayloadFailed() { Fail(kExitInstallFailure); }
void InstallOutcome::Cancelled() { Fail(kExitUserCancelled); }

void InstallOutcome::InstallerEnded(bool started, uint32_t exitCode) {
    ++installersRun_;
    if (!started) return Fail(kExitInstallFailure);
    if (exitCode == kExitRestartRequired || exitCode == kExitRestartInitiated) {
        restart_ = true;
        return;
    }
    if (exitCode != kExitSuccess) Fail(exitCode);
}

uint32_t InstallOutcome::ExitCode() const {
    if (failed_) return failureCode_;
    if (installersRun_ == 0) return kExitInstallFailure;
    return restart_ ? kExitRestartRequired : kExitSuccess;
}
