#include "SystemPrograms.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "Handles.h"
#include "SystemApi.h"

void RestrictDllSearchToSystem() {
    auto setDefault = KernelFunction<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories");
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without it (Windows 7 before KB2533623), at least the current folder leaves the search.
    auto setDllDirectory = KernelFunction<BOOL(WINAPI*)(LPCSTR)>("SetDllDirectoryA");
    if (setDllDirectory) setDllDirectory("");
}

std::string SystemProgram(const char* fileName) {
    const std::string folder = SystemFolder();
    return folder.empty() ? std::string() : folder + "\\" + fileName;
}

namespace {
const char kNoCurrentFolderSearch[] = "NoDefaultCurrentDirectoryInExePath=1";

bool NamesVariable(const char* entry, const char* assignment) {
    const size_t n = size_t(std::strchr(assignment, '=') - assignment) + 1;  // the name and its '='
    return std::strlen(entry) >= n &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry, int(n), assignment, int(n)) == CSTR_EQUAL;
}

// Our own environment with the variable above set, as CreateProcess takes it: NUL-separated
// entries, ended by one more NUL.
std::vector<char> ChildEnvironment() {
    std::vector<char> block;
    if (UniqueEnvironment strings{GetEnvironmentStringsA()}) {
        for (const char* entry = strings.get(); *entry; entry += std::strlen(entry) + 1)
            if (!NamesVariable(entry, kNoCurrentFolderSearch)) block.insert(block.end(), entry, entry + std::strlen(entry) + 1);
    }
    block.insert(block.end(), kNoCurrentFolderSearch, kNoCurrentFolderSearch + sizeof kNoCurrentFolderSearch);
    block.push_back('\0');
    return block;
}
}  // namespace

uint32_t StartHiddenCommand(const std::string& command) {
    const std::string folder = SystemFolder();
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    const std::string cmd = folder + "\\cmd.exe";
    std::string line = "\"" + cmd + "\" /d /c " + command;
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    std::vector<char> environment = ChildEnvironment();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(cmd.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, environment.data(), folder.c_str(),
                        &startup, &info))
        return LastError();
    UniqueHandle process(info.hProcess), thread(info.hThread);
    return 0;
}
