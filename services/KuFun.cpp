#include "KuFun.h"

#include <vector>

#include "Handles.h"
#include "TickDelay.h"

bool StopRequested = false;

void RestrictDllSearchToSystem() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SetDefaultFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without it (Windows 7 before KB2533623), at least the current folder leaves the search.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory) setDllDirectory("");
}

// Until the application hands over its own, a pass takes and dispatches what waits.
static void PlainPumpPass() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static PumpPassFn pumpPass = PlainPumpPass;

void SetPumpPass(PumpPassFn pass) { pumpPass = pass ? pass : PlainPumpPass; }

static void PumpPass() { pumpPass(); }

void DelayWithMessages(int32_t durationMs) {
    const uint32_t start = GetTickCount();
    uint32_t now;
    do {
        PumpPass();
        now = GetTickCount();
    } while (DelayContinues(start, now, durationMs));
}

struct FirstLanguage {
    WORD language = 0;
    bool found = false;
};

static BOOL CALLBACK TakeFirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    auto* first = reinterpret_cast<FirstLanguage*>(param);
    first->language = language;
    first->found = true;
    return FALSE;
}

// FindResourceA already ignores letter case; a resource stored in a language other than the
// ones it tries is taken in the first language it is stored in.
static HRSRC FindAnyLanguage(const std::string& type, const std::string& name) {
    HRSRC found = FindResourceA(nullptr, name.c_str(), type.c_str());
    if (found) return found;
    FirstLanguage first;
    EnumResourceLanguagesA(nullptr, type.c_str(), name.c_str(), TakeFirstLanguage, reinterpret_cast<LONG_PTR>(&first));
    return first.found ? FindResourceExA(nullptr, type.c_str(), name.c_str(), first.language) : nullptr;
}

bool ResourceFileWriter::Open(const std::string& type, const std::string& name, const std::string& path) {
    HRSRC resource = FindAnyLanguage(type, name);
    if (!resource) return false;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    bytes_ = static_cast<const char*>(loaded ? LockResource(loaded) : nullptr);
    size_ = SizeofResource(nullptr, resource);
    offset_ = 0;
    done_ = false;
    if (!bytes_ && size_) return false;
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_.valid();
}

bool ResourceFileWriter::WriteSome(DWORD maxBytes) {
    if (!file_.valid()) return false;
    const DWORD piece = size_ - offset_ < maxBytes ? size_ - offset_ : maxBytes;
    if (piece) {
        // Straight from the mapped image: the payload is never copied into our own memory.
        DWORD written = 0;
        if (!WriteFile(file_.get(), bytes_ + offset_, piece, &written, nullptr) || written != piece) {
            file_.reset();
            return false;
        }
        offset_ += piece;
    }
    if (offset_ == size_) {
        if (!file_.close()) return false;
        done_ = true;
    }
    return true;
}

bool ExtractResourceToFile(const std::string& type, const std::string& name, const std::string& path) {
    ResourceFileWriter writer;
    return writer.Open(type, name, path) && writer.WriteSome(0xFFFFFFFFu) && writer.Done();
}

RunResult RunProgram(const std::string& program, const std::string& commandLine, DWORD timeoutMs, WORD showCode) {
    RunResult result;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCode;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info))
        return result;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    result.started = true;
    if (timeoutMs == kWaitForever) {
        for (;;) {
            if (StopRequested) break;
            DWORD waited = WaitForSingleObject(process.get(), 100);
            PumpPass();
            if (waited != WAIT_TIMEOUT) break;
        }
    } else {
        WaitForSingleObject(process.get(), timeoutMs);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = code;
    result.stillRunning = WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    return result;
}

DWORD RunAndWait(const std::string& commandLine, DWORD timeoutMs, WORD showCode) {
    return RunProgram("", commandLine, timeoutMs, showCode).exitCode;
}

static PVOID savedRedirection = nullptr;

bool DisableWow64Redirection() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return true;
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    auto disable = reinterpret_cast<DisableFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    if (disable) disable(&savedRedirection);
    return true;
}

// version.dll is not one of the system's known DLLs; taken by its full path in the system folder
// so that a file of that name beside the executable is never loaded into the elevated process.
static UniqueModule LoadVersionLibrary() {
    char system[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return UniqueModule();
    return UniqueModule(LoadLibraryA((std::string(system) + "\\version.dll").c_str()));
}

std::string GetFileVersionText(const std::string& path) {
    UniqueModule version = LoadVersionLibrary();
    if (!version) return "";
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    auto getSize = reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoSizeA")));
    auto getInfo = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoA")));
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "VerQueryValueA")));
    if (!getSize || !getInfo || !query) return "";
    DWORD handle = 0;
    DWORD size = getSize(path.c_str(), &handle);
    if (size == 0) return "";
    std::vector<unsigned char> block(size);
    if (!getInfo(path.c_str(), 0, size, block.data())) return "";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!query(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return "";
    return "V" + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string GetExeVersionText() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    return GetFileVersionText(path);
}

static LCID storedLocale = 0;
static bool localeTaken = false;

static void TakeLocale() {
    storedLocale = GetThreadLocale();
    if (storedLocale == 0) storedLocale = 1033;
    localeTaken = true;
}

int GetUiLanguage() {
    if (!localeTaken) TakeLocale();
    return UiLanguageFromLocale(storedLocale);
}

void RefreshUiLanguage() {
    SetThreadLocale(GetUserDefaultLCID());
    TakeLocale();
}
