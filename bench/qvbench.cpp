// The benchmark's hand inside Wine:
//   qvbench time MS DIR COMMAND...
//   qvbench time MS DIR @FILE
// starts COMMAND (the rest of its own command line, exactly as written, or the line FILE holds:
// Wine's quoting of arguments from Linux would change a command with quotes) the way the installer
// starts its extractor (a new hidden console, normal priority), in the folder DIR ("." for its
// own), waits for it and prints
//   start=<tick before the start> end=<tick after the end> exit=<code> peak_private=<bytes>
//   start_ms=<the same moments on the performance counter, in ms> end_ms=<...>
// With MS > 0 a second thread adds up, every MS milliseconds, the committed private memory of
// the program's address space as VirtualQueryEx describes it (what Windows counts as private
// bytes), and peak_private is the largest sum seen; with 0 it stays out of the way and prints 0.
// With QVBENCH_REGIONS naming a file, the regions that made up the peak are written to it.
// Ticks are GetTickCount, the clock the stand-in installers log. Under Wine it is Linux's
// CLOCK_MONOTONIC_RAW in milliseconds, moved on by the server about every 16 ms; the performance
// counter is the same clock at 100 ns, so a span of one program is taken on the counter.
//   qvbench clock N
// prints "tick=<tick> ms=<counter in ms>" each of the next N times the tick moves on, at once:
// whoever reads the lines as they come can relate the clock to its own.
//   qvbench strip MS INTERVAL
// follows the progress strip (Image13) of the installer's main window (class TForm1) through the
// state query the window answers (the one of the tests' qvprobe state): it waits up to MS for
// the window, then asks every INTERVAL ms until the window is gone and prints
//   window visible=<0|1> left= top= strip_left= strip_top= strip_height=   (screen pixels)
//   sent=<ms> got=<ms> width=<pixels>
// the first for the first answer and whenever the window is shown, hidden or moved, the second
// for the first answer and whenever the strip's width changes (ms on the performance counter:
// the question sent, the answer in). The window answers only when it
// handles its messages, so an answer tells the width it holds at its next message pass.
//   qvbench hold
// keeps a hidden window until it is ended: Wine starts its desktop process (explorer.exe) for the
// first program with windows and ends it after the last, where Windows keeps its shell running
// all the time; holding a window open keeps that start-up out of the installer's figures.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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

double CounterMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// The window's state answer comes back as WM_COPYDATA to the window that asked.
constexpr ULONG_PTR kStateQuery = 0x51565354;   // 'QVST'
constexpr ULONG_PTR kStateAnswer = 0x51565352;  // 'QVSR'
std::string stateAnswer;

LRESULT CALLBACK ReceiverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        if (data->dwData == kStateAnswer) stateAnswer.assign(static_cast<const char*>(data->lpData), data->cbData);
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM param) {
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, "TForm1") != 0) return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

// The fields of a "name|a|b|..." line.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '|');) out.push_back(field);
    return out;
}

struct Strip {
    bool found = false;
    bool visible = false;                           // the form's line: name|visible|topmost|left|top|...
    long windowLeft = 0, windowTop = 0;
    long left = 0, top = 0, width = 0, height = 0;  // Image13|visible|enabled|left|top|width|height|...
};

Strip ParseStrip(const std::string& state) {
    Strip strip;
    std::stringstream in(state);
    std::string line;
    if (!std::getline(in, line)) return strip;
    const std::vector<std::string> form = Fields(line);
    if (form.size() < 5) return strip;
    strip.visible = form[1] == "1";
    strip.windowLeft = std::atol(form[3].c_str());
    strip.windowTop = std::atol(form[4].c_str());
    while (std::getline(in, line)) {
        const std::vector<std::string> e = Fields(line);
        if (e.size() >= 7 && e[0] == "Image13") {
            strip.left = std::atol(e[3].c_str());
            strip.top = std::atol(e[4].c_str());
            strip.width = std::atol(e[5].c_str());
            strip.height = std::atol(e[6].c_str());
            strip.found = true;
        }
    }
    return strip;
}
}  // namespace

int Clock(int count) {
    DWORD last = GetTickCount();
    for (int seen = 0; seen < count;) {
        const DWORD tick = GetTickCount();
        if (tick == last) continue;
        const double ms = CounterMs();
        std::printf("tick=%lu ms=%.2f\n", tick, ms);
        std::fflush(stdout);
        last = tick;
        ++seen;
    }
    return 0;
}

int FollowStrip(DWORD waitMs, DWORD intervalMs) {
    HWND target = nullptr;
    for (const DWORD start = GetTickCount(); !target; Sleep(20)) {
        EnumWindows(FindMainWindow, LPARAM(&target));
        if (!target && GetTickCount() - start > waitMs) {
            std::printf("no-window\n");
            return 1;
        }
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ReceiverProc;
    wc.lpszClassName = "QvBenchReceiver";
    RegisterClassA(&wc);
    HWND receiver = CreateWindowA("QvBenchReceiver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!receiver) return 3;
    char tag[] = "state";
    COPYDATASTRUCT query = {kStateQuery, sizeof tag, tag};
    std::string lastPlace;
    long lastWidth = -1;
    while (IsWindow(target)) {
        stateAnswer.clear();
        const double sent = CounterMs();
        DWORD_PTR result = 0;
        const bool answered = SendMessageTimeoutA(target, WM_COPYDATA, WPARAM(receiver), LPARAM(&query),
                                                  SMTO_ABORTIFHUNG, 5000, &result) && !stateAnswer.empty();
        const double got = CounterMs();
        const Strip strip = answered ? ParseStrip(stateAnswer) : Strip();
        if (strip.found) {
            char place[160];
            std::snprintf(place, sizeof place, "window visible=%d left=%ld top=%ld strip_left=%ld strip_top=%ld strip_height=%ld",
                          strip.visible ? 1 : 0, strip.windowLeft, strip.windowTop, strip.windowLeft + strip.left,
                          strip.windowTop + strip.top, strip.height);
            if (lastPlace != place) std::printf("%s\n", place);
            lastPlace = place;
        }
        if (strip.found && strip.width != lastWidth) {
            std::printf("sent=%.2f got=%.2f width=%ld\n", sent, got, strip.width);
            lastWidth = strip.width;
        }
        std::fflush(stdout);
        Sleep(intervalMs);
    }
    DestroyWindow(receiver);
    std::printf("gone\n");
    return 0;
}

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
    if (argc == 3 && std::strcmp(argv[1], "clock") == 0) return Clock(std::atoi(argv[2]));
    if (argc == 4 && std::strcmp(argv[1], "strip") == 0)
        return FollowStrip(DWORD(std::strtoul(argv[2], nullptr, 10)), DWORD(std::strtoul(argv[3], nullptr, 10)));
    if (argc < 5 || std::strcmp(argv[1], "time") != 0) {
        std::fprintf(stderr, "usage: qvbench time MS DIR COMMAND... | qvbench hold | qvbench clock N | "
                             "qvbench strip MS INTERVAL\n");
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
    const double startMs = CounterMs();
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
    const double endMs = CounterMs();
    sampler.stop = true;
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    std::printf("start=%lu end=%lu exit=%lu peak_private=%lu start_ms=%.3f end_ms=%.3f\n", start, end, code,
                (unsigned long)sampler.peak, startMs, endMs);
    if (sampler.keepRegions) {
        if (FILE* f = std::fopen(dump, "w")) {
            std::fputs(sampler.peakRegions.c_str(), f);
            std::fclose(f);
        }
    }
    return 0;
}
