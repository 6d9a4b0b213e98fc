// The registry path split and the text trim over any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "RegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    RegistryPathText parts = SplitRegistryPathText(text);
    if (parts.rootName.find('\\') != std::string::npos) __builtin_trap();
    if (parts.rootName.size() + parts.subKey.size() > text.size()) __builtin_trap();
    RootKeyIndex(parts.rootName, AsciiEqualIgnoringCase);
    std::string trimmed = TrimRegistryText(text);
    if (trimmed.find('\0') != std::string::npos || trimmed.find("\r\n") != std::string::npos) __builtin_trap();
    if (text.compare(0, trimmed.size(), trimmed) != 0) __builtin_trap();
    DwordFromData(data, size);
    return 0;
}
