// The end-to-end tests' hand inside Wine:
// The window verbs look at the windows of the program named in QVKU_PROBE_EXE when it is set.
//   qvprobe run PROGRAM [ARGS...]   runs it, waits, prints "exit=N" (Wine hands only the low
//                                   byte of an exit code to Linux); the variables named in
//                                   QVKU_PROBE_UNSET (comma-separated) are removed from its
//                                   environment first
//   qvprobe winver                  prints "name=<Windows name> win64=<0|1>" and the version
//                                   numbers and product type the system reported
//   qvprobe state [MS [CLASS]]      prints the element state of the main window, or of the
//                                   form of window class CLASS (TForm2: the About dialog);
//                                   waits up to MS for it to appear
//   qvprobe window [MS [CLASS]]     prints what the platform knows of that window: its styles,
//                                   owner, client size, the screen point of its client area's
//                                   corner, and the active and focused windows of its thread
//                                   (classes)
//   qvprobe msgbox [MS [BUTTON]]    waits for a message box, prints "caption=..." and
//                                   "text=..." (hex of the bytes), then presses its OK button,
//                                   or BUTTON: yes, no, or none (left for a key press)
//   qvprobe fail [MS]               asks the main window to fail inside a handler (WM_COPYDATA
//                                   'QVFX'), as a fault in the program would; only the test
//                                   build of the installer (build/faults/fx) takes the request
//   qvprobe close [MS [CLASS]]      sends the main window (or that form) the system's close
//                                   command
//   qvprobe restore                 restores the minimised application from its taskbar button
//   qvprobe wait-gone [MS]          waits until no main window exists
//   qvprobe gdi [MS]                prints "gdi=N windows=M": the GDI objects the main window's
//                                   process holds, from its GDI handle table (Wine keeps one for
//                                   a process that does not run under WOW64, where
//                                   GetGuiResources answers 0), and
//                                   its windows; gdi=-1 where the table is not to be had
//   qvprobe exec FILE               runs the command line the file holds, exactly as written
//                                   (Wine's own quoting of arguments would change it), waits,
//                                   prints "exit=N"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "WindowsSysVersion.h"

namespace {
std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string TextOf(HWND hwnd) {
    char buffer[4096] = {};
    int n = GetWindowTextA(hwnd, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? size_t(n) : 0);
}

// Tests run side by side in one prefix: the window looked for is the one of the program named
// in QVKU_PROBE_EXE (its file name), when that is set.
struct WindowSearch {
    const char* cls;
    std::string exe;
    HWND found;
};

bool OwnedByExe(HWND hwnd, const std::string& exe) {
    if (exe.empty()) return true;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return false;
    char path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    bool named = QueryFullProcessImageNameA(process, 0, path, &size);
    CloseHandle(process);
    if (!named) return false;
    std::string file = path;
    file = file.substr(file.find_last_of("\\/") + 1);
    return lstrcmpiA(file.c_str(), exe.c_str()) == 0;
}

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, search->cls) == 0 && OwnedByExe(hwnd, search->exe)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindOurWindow(const char* cls) {
    char exe[MAX_PATH] = {};
    GetEnvironmentVariableA("QVKU_PROBE_EXE", exe, MAX_PATH);
    WindowSearch search = {cls, exe, nullptr};
    EnumWindows(MatchWindow, LPARAM(&search));
    return search.found;
}

HWND WaitForWindow(const char* cls, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindOurWindow(cls);
        if (hwnd || GetTickCount() - start > ms) return hwnd;
        Sleep(50);
    }
}

std::string answer;
LRESULT CALLBACK ReceiverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        if (data->dwData == 0x51565352) answer.assign(static_cast<const char*>(data->lpData), data->cbData);
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int RunCommand(std::string command) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("start-failed=%lu\n", GetLastError());
        return 3;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::printf("exit=%lu\n", code);
    return 0;
}

void UnsetRequested() {
    char names[1024] = {};
    if (!GetEnvironmentVariableA("QVKU_PROBE_UNSET", names, sizeof names)) return;
    for (char* name = std::strtok(names, ","); name; name = std::strtok(nullptr, ","))
        SetEnvironmentVariableA(name, nullptr);
}

int Run(int argc) {
    UnsetRequested();
    // The rest of our own command line, as it was written.
    const char* line = GetCommandLineA();
    const char* rest = std::strstr(line, " run ");
    if (!rest || argc < 3) return 2;
    return RunCommand(rest + 5);
}

int Exec(const char* file) {
    FILE* f = std::fopen(file, "rb");
    if (!f) return 2;
    std::string command;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) command.append(buffer, n);
    std::fclose(f);
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
    return RunCommand(command);
}

int State(DWORD ms, const char* cls) {
    HWND target = WaitForWindow(cls, ms);
    if (!target) {
        std::puts("no-window");
        return 1;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ReceiverProc;
    wc.lpszClassName = "QvProbeReceiver";
    RegisterClassA(&wc);
    HWND receiver = CreateWindowA("QvProbeReceiver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    char tag[] = "state";
    COPYDATASTRUCT query = {0x51565354, sizeof tag, tag};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(target, WM_COPYDATA, WPARAM(receiver), LPARAM(&query), SMTO_ABORTIFHUNG, 10000, &result) ||
        answer.empty()) {
        std::puts("no-answer");
        return 1;
    }
    std::fwrite(answer.data(), 1, answer.size(), stdout);
    return 0;
}

std::string ClassOf(HWND hwnd) {
    char cls[64] = {};
    if (hwnd) GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

int WindowFacts(DWORD ms, const char* cls) {
    HWND target = WaitForWindow(cls, ms);
    if (!target) {
        std::puts("no-window");
        return 1;
    }
    const LONG style = GetWindowLongA(target, GWL_STYLE), exStyle = GetWindowLongA(target, GWL_EXSTYLE);
    RECT client = {};
    GetClientRect(target, &client);
    POINT origin = {0, 0};
    ClientToScreen(target, &origin);
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &gui);
    std::printf("caption=%s visible=%d enabled=%d sysmenu=%d minbox=%d maxbox=%d sizebox=%d topmost=%d owner=%s "
                "client=%ldx%ld origin=%ld,%ld active=%s focus=%s\n",
                Hex(TextOf(target)).c_str(), IsWindowVisible(target) ? 1 : 0, IsWindowEnabled(target) ? 1 : 0,
                (style & WS_SYSMENU) ? 1 : 0, (style & WS_MINIMIZEBOX) ? 1 : 0, (style & WS_MAXIMIZEBOX) ? 1 : 0,
                (style & WS_THICKFRAME) ? 1 : 0, (exStyle & WS_EX_TOPMOST) ? 1 : 0,
                ClassOf(GetWindow(target, GW_OWNER)).c_str(), client.right - client.left, client.bottom - client.top,
                origin.x, origin.y, ClassOf(gui.hwndActive).c_str(), ClassOf(gui.hwndFocus).c_str());
    return 0;
}

using QueryInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
struct BasicInformation {
    LONG exitStatus;
    PVOID pebBase;
    ULONG_PTR affinity, priority, pid, parentPid;
};

int CountGdiObjects(HANDLE process) {
    auto query = reinterpret_cast<QueryInformationProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    BasicInformation info = {};
    if (!query || query(process, 0, &info, sizeof info, nullptr) != 0 || !info.pebBase) return -1;
    // PEB.GdiSharedHandleTable of a process built as this probe is (the tests look at the
    // program of the same build): a pointer, at 0x94 in a 32-bit PEB and 0xF8 in a 64-bit one.
    const size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    void* table = nullptr;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(info.pebBase) + tableOffset, &table, sizeof table, &got) ||
        !table)
        return -1;
    // Wine's entries are 24 bytes in either width (64-bit fields throughout).
    const size_t entrySize = 24, entries = 0x10000;
    std::string buffer(entrySize * entries, '\0');
    if (!ReadProcessMemory(process, table, &buffer[0], buffer.size(), &got)) return -1;
    int count = 0;
    for (size_t i = 0; i < entries; ++i) {
        unsigned long long object;
        std::memcpy(&object, &buffer[i * entrySize], sizeof object);
        if (object) ++count;
    }
    return count;
}

struct WindowCount {
    DWORD pid;
    int count;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
    ++reinterpret_cast<WindowCount*>(param)->count;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND hwnd, LPARAM param) {
    auto* c = reinterpret_cast<WindowCount*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->pid) {
        ++c->count;
        EnumChildWindows(hwnd, CountChild, param);
    }
    return TRUE;
}

int Gdi(DWORD ms) {
    HWND target = WaitForWindow("TForm1", ms);
    if (!target) return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return 1;
    WindowCount windows = {pid, 0};
    EnumWindows(CountTop, LPARAM(&windows));
    std::printf("gdi=%d windows=%d\n", CountGdiObjects(process), windows.count);
    CloseHandle(process);
    return 0;
}

int MessageBoxProbe(DWORD ms, const std::string& button) {
    // The box exists a moment before its texts are in: wait until it is shown.
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (GetTickCount() - start <= ms) {
        box = FindOurWindow("#32770");
        if (box && IsWindowVisible(box) && GetDlgItem(box, 0xFFFF) && !TextOf(GetDlgItem(box, 0xFFFF)).empty()) break;
        box = nullptr;
        Sleep(50);
    }
    if (!box) {
        std::puts("no-box");
        return 1;
    }
    std::printf("caption=%s\n", Hex(TextOf(box)).c_str());
    std::printf("text=%s\n", Hex(TextOf(GetDlgItem(box, 0xFFFF))).c_str());
    HWND owner = GetWindow(box, GW_OWNER);
    char cls[64] = {};
    if (owner) GetClassNameA(owner, cls, sizeof cls);
    std::printf("owner=%s\n", cls);
    std::printf("icon=%d\n", GetDlgItem(box, 0x14) ? 1 : 0);
    std::fflush(stdout);
    if (button == "none") return 0;
    PostMessageA(box, WM_COMMAND, button == "yes" ? IDYES : button == "no" ? IDNO : IDOK, 0);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string verb = argv[1];
    const DWORD ms = argc >= 3 ? DWORD(std::strtoul(argv[2], nullptr, 10)) : 10000;
    if (verb == "run") return Run(argc);
    if (verb == "exec" && argc >= 3) return Exec(argv[2]);
    if (verb == "winver") {
        OSVERSIONINFOEXA v;
        QueryOsVersion(v);
        std::printf("name=%s win64=%d major=%lu minor=%lu product=%u\n", GetWindowsVersionName().c_str(),
                    IsWin64() ? 1 : 0, v.dwMajorVersion, v.dwMinorVersion, unsigned(v.wProductType));
        return 0;
    }
    const char* cls = argc >= 4 ? argv[3] : "TForm1";
    if (verb == "state") return State(ms, cls);
    if (verb == "window") return WindowFacts(ms, cls);
    if (verb == "msgbox") return MessageBoxProbe(ms, argc >= 4 ? argv[3] : "ok");
    if (verb == "gdi") return Gdi(ms);
    if (verb == "fail") {
        HWND hwnd = WaitForWindow("TForm1", ms);
        if (!hwnd) return 1;
        char tag[] = "fail";
        COPYDATASTRUCT query = {0x51564658, sizeof tag, tag};
        DWORD_PTR result = 0;
        SendMessageTimeoutA(hwnd, WM_COPYDATA, 0, LPARAM(&query), SMTO_ABORTIFHUNG, 10000, &result);
        return 0;
    }
    if (verb == "close") {
        HWND hwnd = WaitForWindow(cls, ms);
        if (!hwnd) return 1;
        PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (verb == "restore") {
        HWND app = WaitForWindow("TApplication", ms);
        if (!app) return 1;
        PostMessageA(app, WM_SYSCOMMAND, SC_RESTORE, 0);
        return 0;
    }
    if (verb == "wait-gone") {
        const DWORD start = GetTickCount();
        while (FindOurWindow("TForm1")) {
            if (GetTickCount() - start > ms) return 1;
            Sleep(50);
        }
        return 0;
    }
    return 2;
}
