#include "TestSupport.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {
struct HandleEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
using QuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
}  // namespace

int CountOwnHandles() {
    auto query = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) throw std::runtime_error("NtQuerySystemInformation missing");
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        LONG status = query(16 /* SystemHandleInformation */, buffer.data(), ULONG(buffer.size()), &needed);
        if (status == 0) break;
        if (buffer.size() > (64u << 20)) throw std::runtime_error("handle table too large");
        buffer.resize(buffer.size() * 2);
    }
    const HandleTable* table = reinterpret_cast<const HandleTable*>(buffer.data());
    int own = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].processId == GetCurrentProcessId()) ++own;
    return own;
}

std::string TestArch() {
    const char* arch = std::getenv("QVKU_TEST_ARCH");
    return arch ? arch : "";
}

ScratchKey::ScratchKey(HKEY root, const std::string& subKey, REGSAM view)
    : root_(root), subKey_(subKey), view_(view) {
    if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key_, nullptr))
        throw std::runtime_error("cannot create test key " + subKey);
}

ScratchKey::~ScratchKey() {
    RegCloseKey(key_);
    HKEY parent;
    std::string::size_type slash = subKey_.rfind('\\');
    std::string parentPath = slash == std::string::npos ? "" : subKey_.substr(0, slash);
    std::string leaf = slash == std::string::npos ? subKey_ : subKey_.substr(slash + 1);
    if (RegOpenKeyExA(root_, parentPath.c_str(), 0, KEY_ALL_ACCESS | view_, &parent) == 0) {
        RegDeleteTreeA(parent, leaf.c_str());
        RegCloseKey(parent);
    }
}

void ScratchKey::Set(const std::string& name, DWORD type, const void* data, DWORD size) {
    if (RegSetValueExA(key_, name.c_str(), 0, type, static_cast<const BYTE*>(data), size))
        throw std::runtime_error("cannot set test value " + name);
}

void ScratchKey::SetText(const std::string& name, const std::string& text, DWORD type) {
    Set(name, type, text.data(), DWORD(text.size()));
}

void ScratchKey::SetDword(const std::string& name, DWORD value) { Set(name, REG_DWORD, &value, sizeof value); }

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string PathFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value) throw std::runtime_error(std::string("the test run sets no ") + name);
    return WindowsPath(value);
}

static void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

ScratchDir::ScratchDir() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    path_ = std::string(temp) + "qvkutest." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++serial);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string ReadFileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read " + path);
    std::string bytes;
    char buffer[65536];
    DWORD n;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n) bytes.append(buffer, n);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(file);
    return ok && n == bytes.size();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
