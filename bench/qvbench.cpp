// The benchmark's hand inside Wine:
//   qvbench time MS DIR COMMAND...
//   qvbench time MS DIR @FILE
// starts COMMAND (the rest of its own command line, exactly as written, or the line FILE holds:
// Wine's quoting of arguments from Linux would change a command with quotes) the way the installer
// starts its extractor (a new hidden console, normal priority), in the folder DIR ("." for its
// own), waits for it and prints
//   start=<tick before the start> end=<tick after the end> exit=<code> peak_private=<bytes>
// With MS > 0 a second thread adds up, every MS milliseconds, the committed private memory of
// the program's address space as VirtualQueryEx describes it (what Windows counts as private
// bytes), and peak_private is the largest sum seen; with 0 it stays out of the way and prints 0.
// With QVBENCH_REGIONS naming a file, the regions that made up the peak are written to it.
// Ticks are GetTickCount, the clock the stand-in installers log.
//   qvbench hold
// keeps a hidden window until it is ended: Wine starts its desktop process (explorer.exe) for the
// first program with windows and ends it after the last, where Windows keeps its shell running
// all the time; holding a window open keeps that start-up out of the installer's figures.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
struct Sampler {
    HANDLE process = nullptr;
    DWORD intervalMs = 0;
    std::atomic<bool> stop{false};
    SIZE_T peak = 0;
    bool keepRegions = false;
    std::string peakRegions;   // the committed private regions at the peak
};

SIZE_T CommittedPrivate(HANDLE process, std::string* regions) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (ULONG_PTR at = 0; VirtualQueryEx(process, reinterpret_cast<LPCVOID>(at), &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
            total += info.RegionSize;
            if (regions) {
                char line[96];
                std::snprintf(line, sizeof line, "%08lx %8lu %08lx alloc=%08lx\n", (unsigned long)(ULONG_PTR)info.BaseAddress,
                              (unsigned long)info.RegionSize, info.Protect, (unsigned long)(ULONG_PTR)info.AllocationBase);
                *regions += line;
            }
        }
        ULONG_PTR next = reinterpret_cast<ULONG_PTR>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

DWORD WINAPI Sample(LPVOID param) {
    auto* s = static_cast<Sampler*>(param);
    while (!s->stop) {
        std::string regions;
        SIZE_T now = CommittedPrivate(s->process, s->keepRegions ? &regions : nullptr);
        if (now > s->peak) {
            s->peak = now;
            s->peakRegions.swap(regions);
        }
        if (WaitForSingleObject(s->process, s->intervalMs) != WAIT_TIMEOUT) break;
    }
    return 0;
}

// The text after the first `count` blank-separated words of the line.
const char* SkipWords(const char* line, int count) {
    for (int i = 0; i < count; ++i) {
        while (*line == ' ' || *line == '\t') ++line;
        if (*line == '"') {
            const char* close = std::strchr(line + 1, '"');
            line = close ? close + 1 : line + std::strlen(line);
        } else {
            while (*line && *line != ' ' && *line != '\t') ++line;
        }
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}
}  // namespace

int Hold() {
    HWND window = CreateWindowExA(0, "STATIC", "qvbench hold", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!window) return 3;
    std::printf("holding\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "hold") == 0) return Hold();
    if (argc < 5 || std::strcmp(argv[1], "time") != 0) {
        std::fprintf(stderr, "usage: qvbench time MS DIR COMMAND... | qvbench hold\n");
        return 2;
    }
    const DWORD intervalMs = DWORD(std::strtoul(argv[2], nullptr, 10));
    const char* dir = std::strcmp(argv[3], ".") == 0 ? nullptr : argv[3];
    std::string command = SkipWords(GetCommandLineA(), 4);
    if (!command.empty() && command[0] == '@') {
        FILE* f = std::fopen(command.c_str() + 1, "rb");
        if (!f) {
            std::printf("no-command-file=%s\n", command.c_str() + 1);
            return 2;
        }
        command.clear();
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) command.append(buffer, n);
        std::fclose(f);
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    const DWORD start = GetTickCount();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, dir, &startup, &info)) {
        std::printf("start-failed=%lu\n", GetLastError());
        return 3;
    }
    Sampler sampler;
    sampler.process = info.hProcess;
    sampler.intervalMs = intervalMs;
    char dump[MAX_PATH] = {};
    sampler.keepRegions = GetEnvironmentVariableA("QVBENCH_REGIONS", dump, MAX_PATH) > 0;
    HANDLE thread = intervalMs ? CreateThread(nullptr, 0, Sample, &sampler, 0, nullptr) : nullptr;
    WaitForSingleObject(info.hProcess, INFINITE);
    const DWORD end = GetTickCount();
    sampler.stop = true;
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    std::printf("start=%lu end=%lu exit=%lu peak_private=%lu\n", start, end, code, (unsigned long)sampler.peak);
    if (sampler.keepRegions) {
        if (FILE* f = std::fopen(dump, "w")) {
            std::fputs(sampler.peakRegions.c_str(), f);
            std::fclose(f);
        }
    }
    return 0;
}
