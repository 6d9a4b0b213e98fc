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

const char kEnuInstallerName[] = "NDP452-KB2901907-x86-x64-AllOS-ENU.exe";
const char kChsInstallerName[] = "NDP452-KB2901907-x86-x64-AllOS-CHS.exe";
const char kPayloadFolderName[] = "NET4.5";

std::string ExtractorPath(const std::string& workDir) { return workDir + "\\qvzip.qv"; }
std::string ArchivePath(const std::string& workDir) { return workDir + "\\NET4.5.7z"; }
std::string PayloadDir(const std::string& workDir) { return workDir + "\\NET4.5"; }
std::string EnuInstallerPath(const std::string& workDir) { return PayloadDir(workDir) + "\\" + kEnuInstallerName; }
std::string ChsInstallerPath(const std::string& workDir) { return PayloadDir(workDir) + "\\" + kChsInstallerName; }

static ProgramCommand Command(const std::string& program, const std::string& arguments) {
    return {program, "\"" + program + "\" " + arguments};
}
ProgramCommand ExtractorCommand(const std::string& workDir) {
    return Command(ExtractorPath(workDir), "X \"NET4.5.7z\" -R -Y");
}
ProgramCommand EnuInstallerCommand(const std::string& workDir) {
    return Command(EnuInstallerPath(workDir), "/q /norestart");
}
ProgramCommand ChsInstallerCommand(const std::string& workDir) {
    return Command(ChsInstallerPath(workDir), "/q /norestart");
}
ProgramCommand WithProgressChannel(const ProgramCommand& command, const std::string& section) {
    return {command.program, command.commandLine + " /pipe " + section};
}
std::string PayloadRemovalCommand(const std::string& workDir) { return "rd /s /q \"" + workDir + "\\NET4.5\""; }
std::string WorkDirRemovalCommand(const std::string& workDir, const std::string& ping) {
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
        command = "rd /s /q " + quoted + " 2>nul & if exist " + quoted + " (\"" + ping + "\" -n " +
                  std::to_string(kPausesSeconds[i] + 1) + " 127.0.0.1 >nul & " + command + " )";
    return "cd /d \"" + parent + "\" && (" + command + " )";
}
std::string SelfDeleteCommand(const std::string& exePath, const std::string& ping) {
    // cmd takes a line that begins with a quote as a quoted whole and drops its first and last
    // quote: the line begins with a command of its own instead.
    return "cd . & \"" + ping + "\" 127.0.0.1 & del /f /q \"" + exePath + "\"";
}

ProgressStep NextProgressWidth(int width) { return {width + 1, width + 1 > 345}; }

// Parts of the whole in 1/(255 * sharesInAll); nothing read from an installer can take it
// outside 0..1.
static long long DoneParts(int sharesBefore, int share, int sharesInAll, int fraction255, long long& whole) {
    if (sharesInAll <= 0) {
        whole = 1;
        return 0;
    }
    fraction255 = fraction255 < 0 ? 0 : fraction255 > 255 ? 255 : fraction255;
    whole = 255LL * sharesInAll;
    long long done = 255LL * sharesBefore + (long long)share * fraction255;
    return done < 0 ? 0 : done > whole ? whole : done;
}

int ReportedStripWidth(int sharesBefore, int share, int sharesInAll, int fraction255) {
    long long whole = 1;
    const long long done = DoneParts(sharesBefore, share, sharesInAll, fraction255, whole);
    return kProgressStartWidth + int((kStripTrackWidth - kProgressStartWidth) * done / whole);
}

int ReportedTenths(int sharesBefore, int share, int sharesInAll, int fraction255) {
    long long whole = 1;
    const long long done = DoneParts(sharesBefore, share, sharesInAll, fraction255, whole);
    return int(10 * done / whole);
}

namespace {
struct ExitMeaning {
    uint32_t code;
    const char* meaning;
};
const ExitMeaning kExitMeanings[] = {
    {kExitSuccess, "success"},
    {kExitRestartRequired, "success; a restart is needed to finish"},
    {kExitRestartInitiated, "success; the installer started a restart"},
    {kExitUserCancelled, "cancelled: the window was closed before the install was complete"},
    {kExitInstallFailure, "the install failed"},
    {kExitUnsupportedSystem, "this system is not supported"},
};
}  // namespace

const char* ExitCodeMeaning(uint32_t exitCode) {
    for (const ExitMeaning& m : kExitMeanings)
        if (m.code == exitCode) return m.meaning;
    return "an installer's own failure code";
}

bool IsInstallerSuccess(uint32_t exitCode) {
    return exitCode == kExitSuccess || exitCode == kExitRestartRequired || exitCode == kExitRestartInitiated;
}

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
