#include "Func_Reg.h"

#include "../services/Handles.h"
#include "WindowsSysVersion.h"

static bool LocaleEqualIgnoringCase(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(),
                          int(b.size())) == CSTR_EQUAL;
}

// In the order of RootKeyNames. Taken from the platform's definitions rather than made from
// 0x80000000 + index: the handles are that 32-bit number sign-extended, which differs from it in
// a 64-bit process.
static const HKEY kRootKeys[kRootKeyCount] = {
    HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE, HKEY_USERS,
    HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA,
};

HKEY RootKeyFromName(const std::string& rootName) {
    int index = RootKeyIndex(rootName, LocaleEqualIgnoringCase);
    return index < 0 ? nullptr : kRootKeys[index];
}

bool SplitRegistryPath(const std::string& path, HKEY& root, std::string& subKey) {
    RegistryPathText parts = SplitRegistryPathText(path);
    subKey = parts.subKey;
    root = RootKeyFromName(parts.rootName);
    return root != nullptr;
}

REGSAM RegistryAccessMask() { return IsWin64() ? (KEY_ALL_ACCESS | KEY_WOW64_64KEY) : KEY_READ; }

static UniqueKey OpenPathKey(const std::string& path, REGSAM access) {
    HKEY root;
    std::string subKey;
    UniqueKey key;
    if (!SplitRegistryPath(path, root, subKey)) return key;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, access, &opened) == ERROR_SUCCESS) key.reset(opened);
    return key;
}

static UniqueKey OpenPathKey(const std::string& path) { return OpenPathKey(path, RegistryAccessMask()); }

bool RegKeyExists(const std::string& path) { return bool(OpenPathKey(path)); }

// Size and type first, then the data into exactly that much room. With `expectedType` 0 (REG_NONE)
// any type is read; otherwise a value of another type reads as missing.
static bool ReadValue(const UniqueKey& key, const std::string& valueName, DWORD expectedType, DWORD& type,
                      std::vector<unsigned char>& block) {
    block.clear();
    type = 0;
    if (!key) return false;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (expectedType != REG_NONE && type != expectedType) return false;
    const DWORD firstType = type;
    block.resize(size);
    DWORD filled = size;
    // The value may change between the two queries: only data of the same type that fits counts.
    if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, block.empty() ? nullptr : block.data(),
                         &filled) != ERROR_SUCCESS ||
        type != firstType || filled > size) {
        block.clear();
        return false;
    }
    block.resize(filled);
    return true;
}

bool RegReadValue(const std::string& path, const std::string& valueName, DWORD expectedType,
                  std::vector<unsigned char>& block) {
    DWORD type = 0;
    return ReadValue(OpenPathKey(path), valueName, expectedType, type, block);
}

bool RegReadSharedValue(const std::string& path, const std::string& valueName, DWORD& type, std::string& data) {
    std::vector<unsigned char> block;
    const bool ok = ReadValue(OpenPathKey(path, KEY_QUERY_VALUE), valueName, REG_NONE, type, block);
    data.assign(block.begin(), block.end());
    return ok;
}

bool RegReadRawString(const std::string& path, const std::string& valueName, DWORD expectedType,
                      std::string& text) {
    std::vector<unsigned char> block;
    bool ok = RegReadValue(path, valueName, expectedType, block);
    text.assign(block.begin(), block.end());
    return ok;
}

std::string RegReadString(const std::string& path, const std::string& valueName) {
    std::string text;
    RegReadRawString(path, valueName, REG_SZ, text);
    return TrimRegistryText(text);
}

DWORD RegReadDword(const std::string& path, const std::string& valueName) {
    std::vector<unsigned char> block;
    if (!RegReadValue(path, valueName, REG_DWORD, block)) return 0;
    return DwordFromData(block.data(), block.size());
}
