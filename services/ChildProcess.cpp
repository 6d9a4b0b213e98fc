#include "ChildProcess.h"

#include <vector>

#include "Handles.h"
#include "MessagePump.h"
#include "SystemApi.h"

namespace {
constexpr DWORD kSliceMs = 100;
}  // namespace

RunResult RunProgram(const std::string& program, const std::string& commandLine, const std::string& folder,
                     WORD show, const WaitSlice& slice, HANDLE wake) {
    RunResult result;
    // With no program the system would take the first word of the line and search for it; with
    // no folder the child would inherit ours, which may be anyone's.
    if (program.empty() || folder.empty()) {
        result.error = ERROR_INVALID_PARAMETER;
        return result;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, folder.c_str(), &startup, &info)) {
        result.error = LastError();
        return result;
    }
    const DWORD start = GetTickCount();
    UniqueHandle process(info.hProcess), thread(info.hThread);
    result.started = true;
    const HANDLE waitFor[2] = {process.get(), wake};
    const DWORD count = wake ? 2 : 1;
    for (;;) {
        const DWORD waited = WaitForMultipleObjects(count, waitFor, FALSE, kSliceMs);
        // Read before the pump pass, whose handlers make calls of their own.
        const uint32_t waitError = waited == WAIT_FAILED ? LastError() : 0;
        PumpPass();
        if (waited == WAIT_FAILED) {
            // Nothing is known of the program: it is never taken for one that ended.
            result.error = waitError;
            break;
        }
        if (waited == WAIT_OBJECT_0) {
            DWORD code = 0;
            if (GetExitCodeProcess(process.get(), &code)) {
                result.ended = true;
                result.exitCode = code;
            } else {
                result.error = LastError();
            }
            break;
        }
        if (slice && !slice()) break;
    }
    result.durationMs = GetTickCount() - start;
    return result;
}
