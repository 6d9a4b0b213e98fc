// The fixed rules of the install sequence: which systems pass, the command lines, the work
// folder's names, the progress step and the exit code. Pure: no platform calls.
#pragma once
#include <cstdint>
#include <string>

// The Windows names on which installation proceeds, in the order of comparison.
extern const char* const SupportedSystems[9];
bool IsSupportedSystem(const std::string& windowsName);

extern const char kEnuInstallerName[];
extern const char kChsInstallerName[];
extern const char kPayloadFolderName[];   // "NET4.5"

// A program started by the installer: its full path, given to the system as it is (never
// searched for), and its command line, which begins with the same path in quotes.
struct ProgramCommand {
    std::string program;
    std::string commandLine;
};
ProgramCommand ExtractorCommand(const std::string& workDir);
ProgramCommand EnuInstallerCommand(const std::string& workDir);
ProgramCommand ChsInstallerCommand(const std::string& workDir);
// An installer's command with its progress channel: " /pipe <section>" after its switches.
ProgramCommand WithProgressChannel(const ProgramCommand& command, const std::string& section);
std::string ExtractorPath(const std::string& workDir);
std::string ArchivePath(const std::string& workDir);
std::string PayloadDir(const std::string& workDir);
std::string EnuInstallerPath(const std::string& workDir);
std::string ChsInstallerPath(const std::string& workDir);

// What the command interpreter is given after "/c" for the removals and the self-delete. They
// run detached; what they call that is no command of cmd's own (the pause) is named by its full
// path, `ping`, in the system folder.
std::string PayloadRemovalCommand(const std::string& workDir);
std::string WorkDirRemovalCommand(const std::string& workDir, const std::string& ping);
std::string SelfDeleteCommand(const std::string& exePath, const std::string& ping);

// The progress fill grows one pixel a tick from 20 and stops past 345.
constexpr int kProgressStartWidth = 20;
struct ProgressStep {
    int width;
    bool stopTimer;
};
ProgressStep NextProgressWidth(int width);

// The strip's track; the strip fills it once the last installer has ended with success.
constexpr int kStripTrackWidth = 371;
// The installers' shares of the whole install, by their sizes: the runtime about 91 %, the
// language pack about 9 %.
constexpr int kEnuShare = 91;
constexpr int kChsShare = 9;
// The strip's width for what the installers have reported: `sharesBefore` of `sharesInAll` are
// done, and the installer running now, of `share`, is at `fraction255` (0..255). From the
// strip's start width to the whole track.
int ReportedStripWidth(int sharesBefore, int share, int sharesInAll, int fraction255);
// The same as tenths of the whole install (0..10), for the log.
int ReportedTenths(int sharesBefore, int share, int sharesInAll, int fraction255);

// Exit codes of the program.
constexpr uint32_t kExitSuccess = 0;
constexpr uint32_t kExitRestartRequired = 3010;
constexpr uint32_t kExitRestartInitiated = 1641;
constexpr uint32_t kExitUserCancelled = 1602;
constexpr uint32_t kExitInstallFailure = 1603;
constexpr uint32_t kExitUnsupportedSystem = 5100;
// What an exit code of ours tells, in words for the log.
const char* ExitCodeMeaning(uint32_t exitCode);

// An installer's exit code that means success: 0, or 3010 and 1641, which ask for a restart.
bool IsInstallerSuccess(uint32_t exitCode);

// Gathers what happened during a run into the one exit code that tells it: the first failure
// decides; a cancel counts as a failure unless something failed before it; success with a
// restart request gives 3010.
class InstallOutcome {
public:
    void Unsupported();
    void PayloadFailed();
    void Cancelled();
    // One installer's end: whether it could be started, and its exit code.
    void InstallerEnded(bool started, uint32_t exitCode);
    bool Failed() const { return failed_; }
    bool Succeeded() const { return !failed_ && installersRun_ > 0; }
    uint32_t ExitCode() const;

private:
    void Fail(uint32_t code);
    bool failed_ = false;
    uint32_t failureCode_ = 0;
    bool restart_ = false;
    int installersRun_ = 0;
};
