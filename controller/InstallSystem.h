// What the install sequence asks of the machine. Plain types only: the Win32 side implements it
// over the services and the inspection, and a test implements it over a scripted fake.
// Every call that can fail gives the platform's error number (0 when none), so that the
// sequence keeps it with the step it belongs to.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "InstallPlan.h"
#include "NetFxDetection.h"

// The answers to an installer's question (the message box results), and its result after a cancel.
constexpr uint32_t kAnswerIdYes = 6;
constexpr uint32_t kAnswerIdNo = 7;
constexpr uint32_t kInstallerAborted = 0x80004004u;  // E_ABORT
constexpr uint32_t kInstallerSilent = 0x8000000Au;   // E_PENDING: it never spoke

struct FolderResult {
    std::string path;    // empty when no folder was made
    uint32_t error = 0;
};

// One resource of the executable written to one file.
struct PayloadItem {
    const char* type;
    const char* name;
    std::string path;
};

struct PayloadPiece {
    bool more = false;   // another piece waits
    bool failed = false;
    uint32_t error = 0;
};

enum class ShowState { Hidden, Normal };

struct ProgramRun {
    bool started = false;
    bool ended = false;       // seen to end: exitCode is its own
    uint32_t exitCode = 0;
    uint32_t error = 0;       // of a failed start or a failed wait
    uint32_t durationMs = 0;
    uint32_t protocolResult = kInstallerSilent;  // an installer's result through its channel
};

// What an installer has said through its progress channel, read after each slice.
struct InstallerReport {
    bool speaks = false;      // it has written to the channel: progress, a step, a result or a question
    int fraction255 = 0;      // its progress, 0..255 (255: done)
    bool asks = false;        // a question waits for its answer
    bool filesInUse = false;  // the question: close the applications that hold its files?
    std::vector<std::string> applications;  // their names, in the system code page
    uint32_t defaultAnswer = 0;             // what the installer does when nobody is asked
};

// What the sequence wants after a slice of an installer's wait.
struct SliceDecision {
    bool keepWaiting = true;
    bool abort = false;        // ask the installer to stop and roll back
    bool answer = false;       // answer its question with `response`
    uint32_t response = 0;
};
using InstallerSlice = std::function<SliceDecision(const InstallerReport&)>;

struct ChannelResult {
    std::string section;  // for "/pipe <section>"; empty when no channel could be made
    uint32_t error = 0;
};

// Called after each wait slice of about 100 ms, with the window's messages handled; false ends
// the wait at once and leaves the program running.
using WaitSlice = std::function<bool()>;

class InstallSystem {
public:
    virtual ~InstallSystem() = default;

    // Facts about the machine.
    virtual std::string WindowsName() = 0;
    virtual bool IsWin64() = 0;
    virtual uint32_t SystemSetupInProgress() = 0;
    virtual bool PeBuilderKeyExists() = 0;
    // The Release values of the .NET Framework setup, read-only, in the 64-bit view on 64-bit Windows.
    virtual NetFxReadings ReadNetFx() = 0;
    // The running Windows in words: its name, version numbers, product type, 64-bit or not, locale.
    virtual std::string DescribeWindows() = 0;

    // Folders and files. The work folder is new, private and randomly named.
    virtual FolderResult CreateWorkFolder() = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual uint32_t RemoveFile(const std::string& path) = 0;

    // The payload, written a piece at a time so that the window stays live.
    virtual void BeginPayload(const std::vector<PayloadItem>& items) = 0;
    virtual PayloadPiece WritePayloadPiece() = 0;

    // Child programs: one waited for, in `folder`; and the command interpreter's detached commands.
    virtual ProgramRun RunProgram(const ProgramCommand& command, const std::string& folder, ShowState show,
                                  const WaitSlice& slice) = 0;
    // An installer speaks through a channel made new for its run: OpenInstallerChannel makes it,
    // RunInstaller starts the program, hands each slice's report to `slice`, acts on its decision,
    // and releases the channel after the wait.
    virtual ChannelResult OpenInstallerChannel() = 0;
    virtual ProgramRun RunInstaller(const ProgramCommand& command, const std::string& folder, ShowState show,
                                    const InstallerSlice& slice) = 0;
    virtual uint32_t StartHiddenCommand(const std::string& command) = 0;
    // A program of the system folder by its full path.
    virtual std::string SystemProgram(const char* fileName) = 0;
    virtual std::string ExecutablePath() = 0;
    // File-system redirection off for the rest of the process (64-bit Windows).
    virtual void DisableRedirection() = 0;

    // One line of the run's log; a log that cannot be written changes nothing.
    virtual void Log(const std::string& line) = 0;
    // The platform's own words for an error number.
    virtual std::string ErrorText(uint32_t error) = 0;

    // The clock and the pump.
    virtual uint32_t TickCount() = 0;
    // One pass of the window messages, then none until the next call.
    virtual void Pump() = 0;
    // Keeps the window messages flowing until `durationMs` have passed since tick `start` (at least
    // one pass).
    virtual void PumpUntil(uint32_t start, int32_t durationMs) = 0;
};
