#include <gtest/gtest.h>

#include "RegistryText.h"

struct SplitCase {
    const char* path;
    const char* root;
    const char* subKey;
};

TEST(SplitRegistryPathText, RootAndSubKey) {
    const SplitCase cases[] = {
        {"HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", "HKEY_LOCAL_MACHINE", "SYSTEM\\Setup"},
        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE", ""},
        {"HKEY_LOCAL_MACHINE\\", "HKEY_LOCAL_MACHINE", ""},
        // only one trailing backslash is dropped
        {"HKEY_CURRENT_USER\\Software\\\\", "HKEY_CURRENT_USER", "Software\\"},
        {"HKEY_CURRENT_USER\\\\", "HKEY_CURRENT_USER", ""},
        {"HKEY_CURRENT_USER\\\\\\", "HKEY_CURRENT_USER", "\\"},
        {"\\SOFTWARE", "", "SOFTWARE"},
        {"", "", ""},
        {"\\", "", ""},
        {" HKEY_USERS \\x", " HKEY_USERS ", "x"},
    };
    for (const SplitCase& c : cases) {
        RegistryPathText parts = SplitRegistryPathText(c.path);
        EXPECT_EQ(parts.rootName, c.root) << c.path;
        EXPECT_EQ(parts.subKey, c.subKey) << c.path;
    }
}

TEST(RootKeyIndex, TableOrderAndCase) {
    struct Case { const char* name; int index; } cases[] = {
        {"HKEY_CLASSES_ROOT", 0}, {"hkey_current_user", 1}, {"HKEY_Local_Machine", 2},
        {"HKEY_USERS", 3}, {"HKEY_PERFORMANCE_DATA", 4}, {"HKEY_CURRENT_CONFIG", 5},
        {"hkey_dyn_data", 6}, {"HKLM", -1}, {"HKCU", -1}, {"HKEY_LOCAL_MACHIN", -1},
        {"HKEY_LOCAL_MACHINEE", -1}, {" HKEY_LOCAL_MACHINE", -1}, {"HKEY_LOCAL_MACHINE ", -1},
        {"", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(RootKeyIndex(c.name, AsciiEqualIgnoringCase), c.index) << c.name;
}

TEST(TrimRegistryText, CutsAtFirstCrLfOrNul) {
    using std::string;
    struct Case { string in, out; } cases[] = {
        {string("6.3\0", 4), "6.3"},
        {"line one\r\nline two", "line one"},
        {"\r\nstarts with a break", ""},
        {string("before\0after", 12), "before"},
        {string("a\0b\r\nc", 6), "a"},
        {string("a\r\nb\0c", 6), "a"},
        {"lone\rcr and lone\nlf", "lone\rcr and lone\nlf"},
        {"\n\r", "\n\r"},
        {"", ""},
        {string("\0", 1), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(TrimRegistryText(c.in), c.out);
}

TEST(DwordFromData, LittleEndianAndShortData) {
    const unsigned char four[] = {0x78, 0x56, 0x34, 0x12, 0xff};
    EXPECT_EQ(DwordFromData(four, 4), 0x12345678u);
    EXPECT_EQ(DwordFromData(four, 5), 0x12345678u);  // only the first four bytes count
    EXPECT_EQ(DwordFromData(four, 3), 0x345678u);
    EXPECT_EQ(DwordFromData(four, 1), 0x78u);
    EXPECT_EQ(DwordFromData(nullptr, 0), 0u);
    const unsigned char one[] = {1};
    EXPECT_EQ(DwordFromData(one, 1), 1u);
}
