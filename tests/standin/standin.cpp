// A stand-in for the Microsoft installers, for tests and for ./run: it writes what it saw to a
// log, waits, and ends with an exit code, both set by the test through the environment:
//   QVKU_STANDIN_LOG        the log file (appended to); nothing is logged without it
//   QVKU_STANDIN_<ID>_EXIT  exit code (default 0)       <ID>: ENU or CHS, from the file name
//   QVKU_STANDIN_<ID>_DELAY milliseconds before it ends (default 300)
//   QVKU_STANDIN_<ID>_WAITFILE  ends only once this file exists (or after 60 s)
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static std::string Env(const std::string& name) {
    char buffer[4096];
    DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    return (n && n < sizeof buffer) ? std::string(buffer, n) : std::string();
}

static std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        if (c < 32) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

struct Parent {
    DWORD pid = 0;
    std::string image;
};

static Parent FindParent() {
    Parent parent;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return parent;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD self = GetCurrentProcessId();
    for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == self) parent.pid = entry.th32ParentProcessID;
    if (parent.pid) {
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry))
            if (entry.th32ProcessID == parent.pid) parent.image = entry.szExeFile;
    }
    CloseHandle(snapshot);
    return parent;
}

static unsigned long long FileTimeMs(const FILETIME& t) {
    return ((unsigned long long)t.dwHighDateTime << 32 | t.dwLowDateTime) / 10000;
}

// The parent's memory and processor figures at this moment.
static std::string ParentFigures(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return " parent_open=0";
    std::string out;
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        out += " parent_private=" + std::to_string(memory.PrivateUsage);
        out += " parent_peak_private=" + std::to_string(memory.PeakPagefileUsage);
        out += " parent_ws=" + std::to_string(memory.WorkingSetSize);
        out += " parent_peak_ws=" + std::to_string(memory.PeakWorkingSetSize);
    }
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user))
        out += " parent_cpu_ms=" + std::to_string(FileTimeMs(kernel) + FileTimeMs(user));
    CloseHandle(process);
    return out;
}

static void Log(const std::string& line) {
    const std::string path = Env("QVKU_STANDIN_LOG");
    if (path.empty()) return;
    // Several processes may append at once; the share mode lets them take turns.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::string text = line + "\r\n";
            DWORD written;
            WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string name = self;
    name = name.substr(name.find_last_of("\\/") + 1);
    std::string id = name.find("CHS") != std::string::npos ? "CHS" : name.find("ENU") != std::string::npos ? "ENU" : "OTHER";
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    Parent parent = FindParent();
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);

    const std::string prefix = "standin=" + id + " pid=" + std::to_string(GetCurrentProcessId());
    Log(prefix + " event=start tick=" + std::to_string(GetTickCount()) + " ppid=" + std::to_string(parent.pid) +
        " parent=\"" + Escape(parent.image) + "\" cmd=\"" + Escape(GetCommandLineA()) + "\" cwd=\"" + Escape(cwd) +
        "\" self=\"" + Escape(self) + "\" show=" +
        std::to_string((startup.dwFlags & STARTF_USESHOWWINDOW) ? int(startup.wShowWindow) : -1) +
        " console=" + (GetConsoleWindow() ? "1" : "0") + ParentFigures(parent.pid));

    const std::string waitFile = Env("QVKU_STANDIN_" + id + "_WAITFILE");
    const std::string delayText = Env("QVKU_STANDIN_" + id + "_DELAY");
    const DWORD delay = delayText.empty() ? 300 : DWORD(std::strtoul(delayText.c_str(), nullptr, 10));
    if (!waitFile.empty()) {
        for (int i = 0; i < 600 && GetFileAttributesA(waitFile.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    } else {
        Sleep(delay);
    }
    const std::string exitText = Env("QVKU_STANDIN_" + id + "_EXIT");
    const UINT code = exitText.empty() ? 0 : UINT(std::strtoul(exitText.c_str(), nullptr, 10));
    Log(prefix + " event=end tick=" + std::to_string(GetTickCount()) + " exit=" + std::to_string(code) +
        ParentFigures(parent.pid));
    return int(code);
}
