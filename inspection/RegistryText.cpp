#include "RegistryText.h"

const char* const RootKeyNames[7] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

RegistryPathText SplitRegistryPathText(const std::string& path) {
    std::string rest = path;
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    RegistryPathText parts;
    std::size_t slash = rest.find('\\');
    if (slash == std::string::npos) {
        parts.rootName = rest;
    } else {
        parts.rootName = rest.substr(0, slash);
        parts.subKey = rest.substr(slash + 1);
    }
    return parts;
}

int RootKeyIndex(const std::string& name, TextEqualFn equalIgnoringCase) {
    for (int i = 0; i < kRootKeyCount; ++i)
        if (equalIgnoringCase(RootKeyNames[i], name)) return i;
    return -1;
}

static char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool AsciiEqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::string TrimRegistryText(const std::string& text) {
    std::size_t cut = text.find("\r\n");
    std::size_t nul = text.find('\0');
    if (nul < cut) cut = nul;
    return cut == std::string::npos ? text : text.substr(0, cut);
}

uint32_t DwordFromData(const unsigned char* data, std::size_t size) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) value |= uint32_t(data[i]) << (8 * i);
    return value;
}
