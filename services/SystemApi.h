// What the running system says about itself and about us: functions that only some versions
// of Windows have, looked up at run time; the executable's own path; the system folder.
#pragma once
#include <cstdint>
#include <string>

// GetLastError after a call that failed, never 0: ERROR_GEN_FAILURE where the call left none, so
// that a failure is never read as success.
uint32_t LastError();

// The address of `function` in the already loaded system module `module` ("kernel32.dll"),
// or null where this system lacks the function or the module is not loaded. A module is never
// loaded for it: a DLL search could find a file of that name beside the elevated program.
void* SystemFunction(const char* module, const char* function);

// The same, as the function type the caller names: KernelFunction<BOOL(WINAPI*)(DWORD)>("...").
template <class Fn>
Fn KernelFunction(const char* function) {
    return reinterpret_cast<Fn>(SystemFunction("kernel32.dll", function));
}

// The full path of the running executable, however long; the empty text when the system does
// not say.
std::string ExecutablePath();

// The system folder (C:\Windows\system32), never from the environment; the empty text when the
// system does not say. Under WOW64 the same path names the 32-bit or the 64-bit copy of a system
// program, as redirection is on or off: either is the system's own.
std::string SystemFolder();
