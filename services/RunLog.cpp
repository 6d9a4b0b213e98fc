#include "RunLog.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace {
LogTime LocalTimeNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogTime t;
    t.year = now.wYear, t.month = now.wMonth, t.day = now.wDay;
    t.hour = now.wHour, t.minute = now.wMinute, t.second = now.wSecond, t.millisecond = now.wMilliseconds;
    return t;
}

std::wstring Widen(UINT codePage, const std::string& text) {
    if (text.empty() || text.size() > size_t(INT_MAX)) return std::wstring();
    int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

std::string Narrow(UINT codePage, const std::wstring& wide) {
    if (wide.empty() || wide.size() > size_t(INT_MAX)) return std::string();
    int length = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string text(size_t(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

// The name is someone else's: a file, a folder or a link stands there already, and the next name
// is tried. ERROR_ACCESS_DENIED comes both from a name that is there but cannot be opened (a file
// about to be deleted) and from a folder we may not write in: only the first moves on.
bool NameTaken(DWORD error, const std::string& path) {
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return true;
    return error == ERROR_ACCESS_DENIED && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
}  // namespace

std::string LogFolder() {
    try {
        std::vector<char> buffer(MAX_PATH + 1);
        DWORD length = GetTempPathA(DWORD(buffer.size()), buffer.data());
        if (length >= buffer.size()) {
            buffer.resize(length + 1);
            length = GetTempPathA(DWORD(buffer.size()), buffer.data());
        }
        if (length > 0 && length < buffer.size()) return std::string(buffer.data(), length);

        length = GetWindowsDirectoryA(buffer.data(), UINT(buffer.size()));
        if (length >= buffer.size()) {
            buffer.resize(length + 1);
            length = GetWindowsDirectoryA(buffer.data(), UINT(buffer.size()));
        }
        if (length == 0 || length >= buffer.size()) return std::string();
        std::string folder(buffer.data(), length);
        if (folder.back() != '\\') folder += '\\';
        return folder + "temp\\";
    } catch (...) {
        return std::string();
    }
}

bool RunLog::Open(const std::string& program) {
    Close();
    std::string folder = LogFolder();
    if (folder.empty()) return false;
    return OpenIn(folder, program, LocalTimeNow());
}

bool RunLog::OpenIn(const std::string& folder, const std::string& program, const LogTime& start) {
    Close();
    try {
        std::string prefix = folder;
        if (!prefix.empty() && prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';
        for (unsigned attempt = 0; attempt < kLogNameAttempts; ++attempt) {
            std::string path = prefix + LogFileName(program, start, attempt);
            // CREATE_NEW fails for any name that exists, a link whose target is missing included,
            // so the log is never written through something another user put there. Others may
            // read it while the run goes on, never write it.
            HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                file_.reset(file);
                path_ = path;
                if (!WriteAll(file_.get(), std::string(kUtf8Bom, kUtf8BomSize))) Close();
                return IsOpen();
            }
            if (!NameTaken(GetLastError(), path)) return false;
        }
    } catch (...) {
        Close();
    }
    return false;
}

void RunLog::Line(const std::string& text) {
    if (!IsOpen()) return;
    try {
        // The texts are the system code page's (GBK on a Chinese system); the file is UTF-8 on
        // every system, so it reads the same wherever it is opened.
        std::string utf8 = Narrow(CP_UTF8, Widen(CP_ACP, text));
        if (utf8.empty() && !text.empty()) utf8 = "(text not readable in the system code page)";
        // The whole line in one write: a line is never torn by another of ours.
        WriteAll(file_.get(), LogLine(LocalTimeNow(), utf8));
    } catch (...) {
        // Out of memory for a line: the line is lost, the run goes on.
    }
}

void RunLog::Close() {
    file_.reset();
    path_.clear();
}

std::string Win32ErrorText(uint32_t error) {
    try {
        wchar_t* message = nullptr;
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                          FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                      nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
        UniqueLocal owner(message);
        std::wstring text = length && message ? std::wstring(message, length) : std::wstring();
        // The system ends its texts with a full stop (an ideographic one in Chinese) and a break.
        while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                                 text.back() == L'\t' || text.back() == L'.' || text.back() == L'\x3002'))
            text.pop_back();
        std::string narrow = Narrow(CP_ACP, text);
        return narrow.empty() ? "unknown error" : narrow;
    } catch (...) {
        return "unknown error";
    }
}
