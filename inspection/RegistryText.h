// The text rules of registry access by full path. No platform calls here, so the rules build
// and are tested natively as well.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The seven root names; a name's index i stands for the predefined handle 0x80000000 + i.
extern const char* const RootKeyNames[7];
constexpr int kRootKeyCount = 7;

struct RegistryPathText {
    std::string rootName;
    std::string subKey;
};

// One trailing backslash is dropped; the root is what stands before the first backslash.
RegistryPathText SplitRegistryPathText(const std::string& path);

// Index into RootKeyNames of the first row that equals name under the given comparison, or -1.
// The comparison is a parameter because the program compares as the user's locale does,
// which only the platform knows.
using TextEqualFn = bool (*)(const std::string& a, const std::string& b);
int RootKeyIndex(const std::string& name, TextEqualFn equalIgnoringCase);
bool AsciiEqualIgnoringCase(const std::string& a, const std::string& b);

// The text before the earlier of its first CR LF pair and its first NUL byte.
std::string TrimRegistryText(const std::string& text);

// A REG_DWORD's number from its data. Data shorter than four bytes is read as far as it goes,
// little-endian, with the missing high bytes taken as zero: no byte outside the data is read,
// and a one-byte 1 still reads as 1.
uint32_t DwordFromData(const unsigned char* data, std::size_t size);
