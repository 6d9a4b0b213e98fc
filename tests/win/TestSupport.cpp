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
