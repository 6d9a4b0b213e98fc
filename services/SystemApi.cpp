#include "SystemApi.h"

#include <windows.h>

uint32_t LastError() {
    const DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

void* SystemFunction(const char* module, const char* function) {
    HMODULE loaded = GetModuleHandleA(module);
    return loaded ? reinterpret_cast<void*>(GetProcAddress(loaded, function)) : nullptr;
}

std::string ExecutablePath() {
    // A path may be longer than MAX_PATH (\\?\ prefixes, long folders): a truncated one would
    // name some other file.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::string path(size, '\0');
        DWORD n = GetModuleFileNameA(nullptr, &path[0], size);
        if (n == 0) return "";
        if (n < size) {
            path.resize(n);
            return path;
        }
    }
    return "";
}

std::string SystemFolder() {
    char buffer[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::string(buffer, n) : std::string();
}
