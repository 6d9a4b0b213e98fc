// A stand-in for the Microsoft installers, for tests and for ./run: it writes what it saw to a
// log, waits, and ends with an exit code, both set by the test through the environment:
//   QVKU_STANDIN_LOG        the log file (appended to); nothing is logged without it
//   QVKU_STANDIN_<ID>_EXIT  exit code (default 0)       <ID>: ENU, CHS or OTHER, from the file name
//   QVKU_STANDIN_<ID>_DELAY milliseconds before it ends (default 300)
//   QVKU_STANDIN_<ID>_WAITFILE  ends only once this file exists (or after 60 s)
//
// Started with "/pipe <section>", it speaks the installers' chainer protocol as the .NET
// Framework 4.5 installers publish it: it opens the chainer's mapping, events and mutex, reports
// progress, ends with installFinished and its result, and honours an abort at any pause (it
// rolls back, reports E_ABORT and ends with 1602 whatever its exit setting). Its settings:
//   QVKU_STANDIN_<ID>_PIPE      "ignore": takes no notice of /pipe, as an older installer
//   QVKU_STANDIN_<ID>_PROGRESS  installSoFar values reported in turn, as "10,80,160"
//   QVKU_STANDIN_<ID>_PAUSE     milliseconds after each of them (default 100)
//   QVKU_STANDIN_<ID>_STEP      szCurrentItemStep written with each value
//   QVKU_STANDIN_<ID>_ROLLBACK  milliseconds an abort's rollback takes (default 200)
//   QVKU_STANDIN_<ID>_FILESINUSE  asks once whether to close these applications, as
//                               "name:pid;name:pid", and waits up to 60 s for the answer
//   QVKU_STANDIN_<ID>_MALFORMED writes a broken block instead and waits for the answer in the
//                               same way: "length" (messageDataLength 0xFFFFFFF0), "count" (a
//                               count past the mapping's end), "names" (two names of 260 units
//                               without an end, pids 1111 and 2222), or "step" (a step text of
//                               260 units without an end, and no question)
//   QVKU_STANDIN_<ID>_HRESULT   hrInstallFinished at a normal end (default 0 for exit code 0,
//                               else the exit code as a Win32 HRESULT)
// The variables are read as UTF-16, so names and steps may be in any script. The log gains
// event=pipe (opened or not, or ignored), event=progress (with the tick at which the value was
// reported), event=question, event=answer and event=abort lines, and event=lock when the chainer
// held the mutex past 5 s; the end line then tells the reported result (hr=).
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

static std::string Env(const std::string& name) {
    char buffer[4096];
    DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    return (n && n < sizeof buffer) ? std::string(buffer, n) : std::string();
}

static std::wstring EnvW(const std::string& name) {
    const std::wstring wide(name.begin(), name.end());
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetEnvironmentVariableW(wide.c_str(), buffer.data(), DWORD(buffer.size()));
    return (n && n < buffer.size()) ? std::wstring(buffer.data(), n) : std::wstring();
}

static std::string Utf8(const std::wstring& text) {
    if (text.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

static std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
    return text;
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

// The shared block as the protocol lays it out (version 1), for a Windows C compiler's natural
// alignment.
struct ChainerBlock {
    bool downloadFinished;
    bool installFinished;
    bool downloadAbort;
    bool installAbort;
    HRESULT hrDownloadFinished;
    HRESULT hrInstallFinished;
    HRESULT hrInternalError;
    WCHAR szCurrentItemStep[MAX_PATH];
    BYTE downloadSoFar;
    BYTE installSoFar;
    WCHAR szEventName[MAX_PATH];
    BYTE version;
    DWORD messageCode;
    DWORD messageResponse;
    DWORD messageDataLength;
    BYTE messageData[1];
};
static_assert(sizeof(bool) == 1 && sizeof(WCHAR) == 2 && sizeof(HRESULT) == 4 && sizeof(DWORD) == 4, "widths");
static_assert(offsetof(ChainerBlock, hrDownloadFinished) == 4, "hrDownloadFinished");
static_assert(offsetof(ChainerBlock, hrInstallFinished) == 8, "hrInstallFinished");
static_assert(offsetof(ChainerBlock, hrInternalError) == 12, "hrInternalError");
static_assert(offsetof(ChainerBlock, szCurrentItemStep) == 16, "szCurrentItemStep");
static_assert(offsetof(ChainerBlock, downloadSoFar) == 536, "downloadSoFar");
static_assert(offsetof(ChainerBlock, installSoFar) == 537, "installSoFar");
static_assert(offsetof(ChainerBlock, szEventName) == 538, "szEventName");
static_assert(offsetof(ChainerBlock, version) == 1058, "version");
static_assert(offsetof(ChainerBlock, messageCode) == 1060, "messageCode");
static_assert(offsetof(ChainerBlock, messageResponse) == 1064, "messageResponse");
static_assert(offsetof(ChainerBlock, messageDataLength) == 1068, "messageDataLength");
static_assert(offsetof(ChainerBlock, messageData) == 1072, "messageData");

constexpr DWORD kMappingSize = 65536;
constexpr DWORD kMessageDataRoom = kMappingSize - offsetof(ChainerBlock, messageData);
constexpr DWORD kFilesInUseQuestion = 0x01070001;  // version 1, default IDNO, code 1
constexpr DWORD kEntrySize = MAX_PATH * sizeof(WCHAR) + sizeof(DWORD);
constexpr HRESULT kAbortResult = HRESULT(0x80004004L);  // E_ABORT

struct Application {
    std::wstring name;
    DWORD pid = 0;
};

// "name:pid;name:pid"
static std::vector<Application> ParseApplications(const std::wstring& text) {
    std::vector<Application> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring item = text.substr(start, end - start);
        const size_t colon = item.rfind(L':');
        Application application;
        application.name = item.substr(0, colon);
        if (colon != std::wstring::npos) application.pid = DWORD(std::wcstoul(item.c_str() + colon + 1, nullptr, 10));
        if (!item.empty()) out.push_back(application);
        start = end + 1;
    }
    return out;
}

// The section named after "/pipe" on the command line, quotes removed; empty without one.
static std::wstring PipeSection() {
    std::vector<std::wstring> words;
    const wchar_t* p = GetCommandLineW();
    while (*p) {
        while (*p == L' ' || *p == L'\t') ++p;
        if (!*p) break;
        std::wstring word;
        bool quoted = false;
        for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
            if (*p == L'"') quoted = !quoted;
            else word += *p;
        }
        words.push_back(word);
    }
    for (size_t i = 1; i + 1 < words.size(); ++i)
        if (_wcsicmp(words[i].c_str(), L"/pipe") == 0 || _wcsicmp(words[i].c_str(), L"-pipe") == 0) return words[i + 1];
    return L"";
}

// The chainee's end of the protocol: every read and write of the block under the mutex.
class Chainee {
public:
    explicit Chainee(const std::string& logPrefix) : prefix_(logPrefix) {}
    ~Chainee() {
        if (block_) UnmapViewOfFile(block_);
        for (HANDLE h : {mapping_, changed_, send_, mutex_})
            if (h) CloseHandle(h);
    }

    // Opens what the chainer made; on failure tells which object and why.
    bool Open(const std::wstring& section, std::string& failure) {
        mapping_ = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, section.c_str());
        if (!mapping_) return Failed("mapping", failure);
        block_ = static_cast<ChainerBlock*>(MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kMappingSize));
        if (!block_) return Failed("view", failure);
        // The name is the chainer's, but the block is shared: never trust it to end.
        std::wstring name(block_->szEventName, wcsnlen(block_->szEventName, MAX_PATH - 1));
        changed_ = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
        if (!changed_) return Failed("event", failure);
        send_ = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, (name + L"_send").c_str());
        if (!send_) return Failed("send", failure);
        mutex_ = OpenMutexW(MUTEX_MODIFY_STATE | SYNCHRONIZE, FALSE, (name + L"_mutex").c_str());
        if (!mutex_) return Failed("mutex", failure);
        return true;
    }

    void Progress(BYTE soFar, const std::wstring& step) {
        Lock();
        block_->installSoFar = soFar;
        if (!step.empty()) {
            const size_t n = step.size() < MAX_PATH - 1 ? step.size() : MAX_PATH - 1;
            std::wmemcpy(block_->szCurrentItemStep, step.data(), n);
            block_->szCurrentItemStep[n] = 0;
        }
        Unlock();
        SetEvent(changed_);
    }

    // A step text that fills the field: no NUL anywhere in it.
    void UnterminatedStep() {
        Lock();
        for (WCHAR& unit : block_->szCurrentItemStep) unit = L'S';
        Unlock();
        SetEvent(changed_);
    }

    // Waits up to `ms`; true as soon as the chainer has asked for an abort. The flags are looked
    // at only when "<event>_send" is set, as the protocol has it, so that a chainer which forgets
    // to set it is caught.
    bool Pause(DWORD ms) {
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= ms) return false;
            if (WaitForSingleObject(send_, ms - spent) == WAIT_OBJECT_0 && AbortRequested()) return true;
        }
    }

    bool AbortRequested() {
        Lock();
        const bool abort = block_->installAbort || block_->downloadAbort;
        Unlock();
        return abort;
    }

    // Puts the files-in-use question as the installers write it: the data first, the code last.
    void AskFilesInUse(const std::vector<Application>& applications) {
        Lock();
        BYTE* data = block_->messageData;
        const DWORD count = DWORD(applications.size());
        std::memcpy(data, &count, 4);
        for (DWORD i = 0; i < count && 4 + (i + 1) * kEntrySize <= kMessageDataRoom; ++i) {
            BYTE* entry = data + 4 + i * kEntrySize;
            WCHAR name[MAX_PATH] = {};
            const std::wstring& text = applications[i].name;
            std::wmemcpy(name, text.data(), text.size() < MAX_PATH - 1 ? text.size() : MAX_PATH - 1);
            std::memcpy(entry, name, sizeof name);
            std::memcpy(entry + sizeof name, &applications[i].pid, 4);
        }
        block_->messageDataLength = 4 + count * kEntrySize;
        block_->messageResponse = 0;
        block_->messageCode = kFilesInUseQuestion;
        Unlock();
        SetEvent(changed_);
    }

    // A files-in-use question whose data does not hold together.
    void AskMalformed(const std::string& kind) {
        Lock();
        BYTE* data = block_->messageData;
        auto put32 = [](BYTE* at, DWORD value) { std::memcpy(at, &value, 4); };
        // Entry i: a name of `units` copies of `letter`, ended by a NUL only when it leaves room.
        auto entry = [&](DWORD i, WCHAR letter, DWORD units, DWORD pid) {
            BYTE* at = data + 4 + i * kEntrySize;
            WCHAR name[MAX_PATH] = {};
            for (DWORD u = 0; u < units && u < MAX_PATH; ++u) name[u] = letter;
            std::memcpy(at, name, sizeof name);
            put32(at + sizeof name, pid);
        };
        if (kind == "length") {
            put32(data, 1);
            entry(0, L'L', 1, 4321);
            block_->messageDataLength = 0xFFFFFFF0u;
        } else if (kind == "count") {
            put32(data, 1000);  // 1000 entries need 524,004 bytes; the mapping holds 64,464 here
            entry(0, L'C', 1, 1234);
            block_->messageDataLength = kMessageDataRoom;
        } else {  // "names"
            put32(data, 2);
            entry(0, L'N', MAX_PATH, 1111);
            entry(1, L'M', MAX_PATH, 2222);
            block_->messageDataLength = 4 + 2 * kEntrySize;
        }
        block_->messageResponse = 0;
        block_->messageCode = kFilesInUseQuestion;
        Unlock();
        SetEvent(changed_);
    }

    // The chainer's answer once it has cleared the question, looked for whenever "<event>_send"
    // is set; 0 when none came within `ms`, or when an abort came instead.
    DWORD AwaitAnswer(DWORD ms) {
        const DWORD start = GetTickCount();
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= ms || WaitForSingleObject(send_, ms - spent) != WAIT_OBJECT_0) return 0;
            Lock();
            const DWORD code = block_->messageCode, response = block_->messageResponse;
            const bool abort = block_->installAbort || block_->downloadAbort;
            Unlock();
            if (code == 0 && response != 0) return response;
            if (abort) return 0;
        }
    }

    void Finish(HRESULT result) {
        Lock();
        block_->installFinished = true;
        block_->hrInstallFinished = result;
        if (SUCCEEDED(result)) block_->installSoFar = 255;
        Unlock();
        SetEvent(changed_);
    }

private:
    bool Failed(const char* object, std::string& failure) {
        failure = std::string("object=") + object + " error=" + std::to_string(GetLastError());
        return false;
    }
    // A chainer that died holding the mutex leaves it abandoned, which is ours then. One that
    // holds it too long is logged, and the stand-in goes on as if it had it.
    void Lock() {
        const DWORD waited = WaitForSingleObject(mutex_, 5000);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) Log(prefix_ + " event=lock taken=0 wait=" + std::to_string(waited));
    }
    void Unlock() { ReleaseMutex(mutex_); }

    std::string prefix_;
    HANDLE mapping_ = nullptr, changed_ = nullptr, send_ = nullptr, mutex_ = nullptr;
    ChainerBlock* block_ = nullptr;
};

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

    const std::string setting = "QVKU_STANDIN_" + id + "_";
    Chainee chainee(prefix);
    bool speaking = false;
    const std::wstring section = PipeSection();
    if (!section.empty()) {
        const std::string pipeLine = prefix + " event=pipe section=\"" + Escape(Utf8(section)) + "\"";
        if (Env(setting + "PIPE") == "ignore") {
            Log(pipeLine + " ignored=1");
        } else {
            std::string failure;
            speaking = chainee.Open(section, failure);
            Log(pipeLine + (speaking ? " opened=1" : " opened=0 " + failure));
        }
    }
    // Every pause watches for an abort while the protocol is spoken.
    auto pause = [&](DWORD ms) {
        if (speaking) return chainee.Pause(ms);
        Sleep(ms);
        return false;
    };
    bool aborted = false;

    if (speaking) {
        const std::string pauseText = Env(setting + "PAUSE");
        const DWORD between = pauseText.empty() ? 100 : DWORD(std::strtoul(pauseText.c_str(), nullptr, 10));
        const std::wstring step = EnvW(setting + "STEP");
        const std::string course = Env(setting + "PROGRESS");
        for (size_t at = 0; !aborted && at < course.size();) {
            size_t comma = course.find(',', at);
            if (comma == std::string::npos) comma = course.size();
            const BYTE soFar = BYTE(std::strtoul(course.substr(at, comma - at).c_str(), nullptr, 10));
            // Taken before the block is written, so that whatever the chainer shows of this value
            // comes after it: the benchmark times the window's answer from here.
            const DWORD reported = GetTickCount();
            chainee.Progress(soFar, step);
            Log(prefix + " event=progress so_far=" + std::to_string(soFar) + " tick=" + std::to_string(reported));
            aborted = pause(between);
            at = comma + 1;
        }
        const std::string malformed = Env(setting + "MALFORMED");
        const std::vector<Application> applications = ParseApplications(EnvW(setting + "FILESINUSE"));
        if (!aborted && malformed == "step") {
            chainee.UnterminatedStep();
            Log(prefix + " event=progress step=unterminated");
        } else if (!aborted && (!malformed.empty() || !applications.empty())) {
            if (!malformed.empty()) {
                chainee.AskMalformed(malformed);
                Log(prefix + " event=question malformed=" + malformed);
            } else {
                chainee.AskFilesInUse(applications);
                std::string names;
                for (const Application& application : applications)
                    names += (names.empty() ? "" : ";") + Utf8(application.name) + ":" + std::to_string(application.pid);
                Log(prefix + " event=question apps=" + std::to_string(applications.size()) + " names=\"" +
                    Escape(names) + "\"");
            }
            const DWORD answer = chainee.AwaitAnswer(60000);
            Log(prefix + " event=answer answer=" + (answer ? std::to_string(answer) : std::string("none")));
            aborted = chainee.AbortRequested();
        }
    }

    const std::string waitFile = Env(setting + "WAITFILE");
    const std::string delayText = Env(setting + "DELAY");
    const DWORD delay = delayText.empty() ? 300 : DWORD(std::strtoul(delayText.c_str(), nullptr, 10));
    if (!aborted && !waitFile.empty()) {
        for (int i = 0; i < 600 && GetFileAttributesA(waitFile.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            if ((aborted = pause(100))) break;
    } else if (!aborted) {
        aborted = pause(delay);
    }

    if (aborted) {
        Log(prefix + " event=abort tick=" + std::to_string(GetTickCount()));
        const std::string rollbackText = Env(setting + "ROLLBACK");
        Sleep(rollbackText.empty() ? 200 : DWORD(std::strtoul(rollbackText.c_str(), nullptr, 10)));
        chainee.Finish(kAbortResult);
        Log(prefix + " event=end tick=" + std::to_string(GetTickCount()) + " exit=1602 hr=" + Hex(DWORD(kAbortResult)) +
            ParentFigures(parent.pid));
        return 1602;
    }
    const std::string exitText = Env(setting + "EXIT");
    const UINT code = exitText.empty() ? 0 : UINT(std::strtoul(exitText.c_str(), nullptr, 10));
    std::string reported;
    if (speaking) {
        const std::string hrText = Env(setting + "HRESULT");
        const HRESULT result = !hrText.empty() ? HRESULT(std::strtoul(hrText.c_str(), nullptr, 0))
                                               : code == 0 ? S_OK : HRESULT_FROM_WIN32(code);
        chainee.Finish(result);
        reported = " hr=" + Hex(DWORD(result));
    }
    Log(prefix + " event=end tick=" + std::to_string(GetTickCount()) + " exit=" + std::to_string(code) + reported +
        ParentFigures(parent.pid));
    return int(code);
}
