// Payload, process and timing services: resources to files, child programs waited for while
// the windows stay live, pumped delays, WOW64 redirection, the version text and the
// interface-language rule.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

#include "Handles.h"

// Set when the main window closes and never reset; every unlimited wait ends once it is set.
// The controller owns the decision to set it; the services only read it.
extern bool StopRequested;

// The program runs elevated from wherever it was downloaded: no DLL may come from its own folder
// or the current one. Where the system offers it, every later load searches only the system
// folder. Called first thing.
void RestrictDllSearchToSystem();

// One pass of the application's message pump: handles what waits and returns when the queue
// is empty. The application object hands its own in at start-up.
using PumpPassFn = void (*)();
void SetPumpPass(PumpPassFn pass);

// Keeps the window messages flowing for `durationMs` (at least one pump pass).
void DelayWithMessages(int32_t durationMs);

// Writes the resource of the running executable with that type and name (any letter case, any
// one language) to `path`, replacing a file there. False when the resource is missing (the file
// is then left alone), when the file can't be made, or when the write stops short.
bool ExtractResourceToFile(const std::string& type, const std::string& name, const std::string& path);

// The same write a piece at a time, for callers that handle window messages between pieces.
class ResourceFileWriter {
public:
    // Finds the resource and makes the file. False when the resource is missing (the file is
    // then left alone) or the file can't be made.
    bool Open(const std::string& type, const std::string& name, const std::string& path);
    // Writes up to `maxBytes` more and closes the file after the last byte. False when a write
    // stops short or closing fails.
    bool WriteSome(DWORD maxBytes);
    // The whole resource is written and the file closed.
    bool Done() const { return done_; }

private:
    UniqueFile file_;
    const char* bytes_ = nullptr;
    DWORD size_ = 0, offset_ = 0;
    bool done_ = false;
};

constexpr DWORD kWaitForever = 0xFFFFFFFFu;

struct RunResult {
    bool started = false;
    DWORD exitCode = 0;      // 259 when the program still runs
    bool stillRunning = false;
};
// Starts the program and waits for it. With kWaitForever the wait keeps messages flowing in
// 100 ms slices and ends early once StopRequested is set. `program`, the full path of the file
// to run, is given to the system as it is; when it is empty the system takes the program from
// the command line and searches for it, which the installer itself never lets it do.
RunResult RunProgram(const std::string& program, const std::string& commandLine, DWORD timeoutMs, WORD showCode);
// The exit code alone; 0 also when the start failed.
DWORD RunAndWait(const std::string& commandLine, DWORD timeoutMs, WORD showCode);

// Switches file-system redirection off for this thread, for the rest of the process.
bool DisableWow64Redirection();

// "V" and the four numbers of the running executable's file version, joined by ".";
// the empty text when it has no readable version block.
std::string GetExeVersionText();
std::string GetFileVersionText(const std::string& path);

// 1 for Simplified Chinese, 2 for Traditional Chinese, 0 otherwise, from the locale the
// interface thread had at start-up.
int GetUiLanguage();
// Takes the locale again after resetting the thread's locale to the user's default; run when
// the system's settings change.
void RefreshUiLanguage();
