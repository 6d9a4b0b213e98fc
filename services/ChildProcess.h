// Child programs started by their full path and waited for while the windows stay live.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

struct RunResult {
    bool started = false;      // CreateProcessA succeeded
    bool ended = false;        // the program was seen to end: exitCode is its code
    uint32_t exitCode = 0;
    uint32_t error = 0;        // GetLastError of a failed start or a failed wait; 0 otherwise
    uint32_t durationMs = 0;   // from the start to the end of the wait
};
// Called after each wait slice (about 100 ms, and after each signal of `wake`), once a pump pass has run; false
// ends the wait at once and leaves the program running.
using WaitSlice = std::function<bool()>;
// Starts `program` (its full path, given to the system as it is, never searched for) with `commandLine`, in
// `folder` as its current directory (never our own current directory), shown as `show`, and waits for it in
// 100 ms slices that keep the window messages flowing. `wake`, when given, is a waitable handle (an event of the
// program's) that also ends a slice at once, so that the caller's slice callback sees it within the slice.
// An empty program or folder starts nothing (ERROR_INVALID_PARAMETER). A manual-reset `wake` left signalled
// ends every slice at once: the callback then runs after every pump pass.
RunResult RunProgram(const std::string& program, const std::string& commandLine, const std::string& folder,
                     WORD show, const WaitSlice& slice, HANDLE wake = nullptr);
