// Registry access by text path, against the real registry of the Wine prefix.
#include <gtest/gtest.h>

#include <string>

#include "Func_Reg.h"
#include "TestSupport.h"
#include "WindowsSysVersion.h"

namespace {
const std::string kBase = "Software\\QvKuTest\\reg" + std::to_string(GetCurrentProcessId());

std::string WithNul(const char* text) { return std::string(text) + '\0'; }

class FuncReg : public ::testing::Test {
protected:
    void SetUp() override {
        // In the 64-bit view on win64, which is the view the module reads there.
        REGSAM view = IsWin64() ? KEY_WOW64_64KEY : 0;
        hkcu_.reset(new ScratchKey(HKEY_CURRENT_USER, kBase, view));
        hklm_.reset(new ScratchKey(HKEY_LOCAL_MACHINE, kBase, view));
        ScratchKey& k = *hkcu_;
        k.SetDword("Zero", 0);
        k.SetDword("One", 1);
        k.SetDword("Big", 0xFEDCBA98u);
        k.SetText("Text", WithNul("hello"));
        k.SetText("Expand", WithNul("%windir%\\x"), REG_EXPAND_SZ);
        k.SetText("Multi", std::string("a\0b\0\0", 5), REG_MULTI_SZ);
        const unsigned long long q = 1;
        k.Set("Qword", REG_QWORD, &q, sizeof q);
        const unsigned char bin[] = {1, 0, 0, 0};
        k.Set("Binary", REG_BINARY, bin, sizeof bin);
        k.SetText("TwoLines", WithNul("first\r\nsecond"));
        k.SetText("LeadingBreak", WithNul("\r\nafter"));
        k.SetText("InnerNul", std::string("left\0right\0", 11));
        k.SetText("SixThree", WithNul("6.3"));
        k.SetText("NoNul", "plain");
        k.SetText("LoneBreaks", WithNul("a\rb\nc"));
        k.SetText("", WithNul("default value"));
        hklm_->SetDword("InMachine", 1);
        child_.reset(new ScratchKey(HKEY_CURRENT_USER, kBase + "\\Child", view));
        child_->SetDword("Here", 7);
    }
    void TearDown() override {
        child_.reset();
        hkcu_.reset();
        hklm_.reset();
    }
    std::unique_ptr<ScratchKey> hkcu_, hklm_, child_;
};
}  // namespace

TEST_F(FuncReg, PathRules) {
    const std::string sub = "\\" + kBase;
    struct Case { std::string path; bool opens; } cases[] = {
        {"HKEY_CURRENT_USER" + sub, true},
        {"hkey_current_user" + sub, true},
        {"HKEY_Current_User" + sub, true},
        {"HKEY_LOCAL_MACHINE" + sub, true},
        {"hkey_local_machine" + sub, true},
        {"HKEY_CURRENT_USER" + sub + "\\", true},
        {"HKEY_CURRENT_USER" + sub + "\\Child", true},
        {"HKCU" + sub, false},
        {"HKLM" + sub, false},
        {"HKEY_CURENT_USER" + sub, false},
        {"HKEY_CURRENT_USERS" + sub, false},
        {" HKEY_CURRENT_USER" + sub, false},
        {"HKEY_CURRENT_USER " + sub, false},
        {sub, false},
        {"\\HKEY_CURRENT_USER" + sub, false},
        {"HKEY_CURRENT_USER" + sub + "\\Missing", false},
        {"HKEY_CURRENT_USER", true},
        {"HKEY_CURRENT_USER\\", true},
        {"HKEY_LOCAL_MACHINE", true},
        {"HKEY_LOCAL_MACHINE\\", true},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(RegKeyExists(c.path), c.opens) << c.path;
    // Blanks around the root and short forms fail for every operation alike.
    for (const char* root : {"HKCU", " HKEY_CURRENT_USER", "HKEY_CURRENT_USER ", "HKEY_CURENT_USER"}) {
        EXPECT_EQ(RegReadDword(root + sub, "One"), 0u) << root;
        EXPECT_EQ(RegReadString(root + sub, "Text"), "") << root;
    }
}

TEST_F(FuncReg, SplitGivesTheRootAndTheSubKeyPassedOn) {
    HKEY root = nullptr;
    std::string subKey = "untouched";
    EXPECT_TRUE(SplitRegistryPath("HKEY_CURRENT_USER\\", root, subKey));
    EXPECT_EQ(root, HKEY_CURRENT_USER);
    EXPECT_EQ(subKey, "");
    // Two trailing backslashes leave one on the sub-key, which the platform then refuses or
    // tolerates as it likes; the module passes it on unchanged.
    EXPECT_TRUE(SplitRegistryPath("HKEY_CURRENT_USER\\" + kBase + "\\\\", root, subKey));
    EXPECT_EQ(subKey, kBase + "\\");
    EXPECT_FALSE(SplitRegistryPath("\\SOFTWARE", root, subKey));
    EXPECT_EQ(root, nullptr);
    // The platform's own handles, which a 64-bit process holds sign-extended.
    const struct {
        const char* name;
        HKEY key;
    } roots[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},         {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},       {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA}, {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {"hkey_dyn_data", HKEY_DYN_DATA},
    };
    for (const auto& r : roots) EXPECT_EQ(RootKeyFromName(r.name), r.key) << r.name;
    EXPECT_EQ(RootKeyFromName("HKLM"), nullptr);
}

TEST_F(FuncReg, RootAloneReadsTheRootItself) {
    // A value set right on the root of HKCU is read through the path of the root alone.
    HKEY hkcu = HKEY_CURRENT_USER;
    const std::string name = "QvKuRootValue" + std::to_string(GetCurrentProcessId());
    DWORD seven = 7;
    ASSERT_EQ(RegSetValueExA(hkcu, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&seven), 4), 0);
    EXPECT_EQ(RegReadDword("HKEY_CURRENT_USER", name), 7u);
    EXPECT_EQ(RegReadDword("HKEY_CURRENT_USER\\", name), 7u);
    RegDeleteValueA(hkcu, name.c_str());
}

TEST_F(FuncReg, ReadDwordByType) {
    const std::string key = "HKEY_CURRENT_USER\\" + kBase;
    struct Case { const char* name; DWORD value; } cases[] = {
        {"Zero", 0}, {"One", 1}, {"Big", 0xFEDCBA98u}, {"Text", 0}, {"Expand", 0}, {"Multi", 0},
        {"Qword", 0}, {"Binary", 0}, {"Missing", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(RegReadDword(key, c.name), c.value) << c.name;
    EXPECT_EQ(RegReadDword(key + "\\Missing", "One"), 0u);
    EXPECT_EQ(RegReadDword("HKEY_LOCAL_MACHINE\\" + kBase, "InMachine"), 1u);
    EXPECT_EQ(RegReadDword(key + "\\Child", "Here"), 7u);
}

TEST_F(FuncReg, ShortDwordReadsOnlyItsOwnBytes) {
    const std::string key = "HKEY_CURRENT_USER\\" + kBase;
    const unsigned char data[] = {0x01, 0x02, 0x03};
    for (DWORD size = 0; size <= 3; ++size) {
        hkcu_->Set("Short", REG_DWORD, data, size);
        DWORD expected = 0;
        for (DWORD i = 0; i < size; ++i) expected |= DWORD(data[i]) << (8 * i);
        EXPECT_EQ(RegReadDword(key, "Short"), expected) << size << " bytes";
    }
}

TEST_F(FuncReg, ReadStringByTypeAndTrim) {
    const std::string key = "HKEY_CURRENT_USER\\" + kBase;
    struct Case { const char* name; const char* text; } cases[] = {
        {"Text", "hello"}, {"Expand", ""}, {"Multi", ""}, {"Qword", ""}, {"Binary", ""}, {"One", ""},
        {"Missing", ""}, {"TwoLines", "first"}, {"LeadingBreak", ""}, {"InnerNul", "left"},
        {"SixThree", "6.3"}, {"NoNul", "plain"}, {"LoneBreaks", "a\rb\nc"}, {"", "default value"},
    };
    for (const auto& c : cases) EXPECT_EQ(RegReadString(key, c.name), c.text) << c.name;
}

TEST_F(FuncReg, RawStringKeepsTheStoredBytes) {
    const std::string key = "HKEY_CURRENT_USER\\" + kBase;
    std::string text = "stale";
    ASSERT_TRUE(RegReadRawString(key, "SixThree", REG_SZ, text));
    EXPECT_EQ(text, WithNul("6.3"));
    ASSERT_TRUE(RegReadRawString(key, "Expand", REG_EXPAND_SZ, text));
    EXPECT_EQ(text, WithNul("%windir%\\x"));  // never expanded
    EXPECT_FALSE(RegReadRawString(key, "Expand", REG_SZ, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(RegReadRawString(key, "Missing", REG_SZ, text));
    EXPECT_EQ(text, "");

    std::vector<unsigned char> block{9, 9};
    ASSERT_TRUE(RegReadValue(key, "Qword", REG_QWORD, block));
    EXPECT_EQ(block.size(), 8u);
    EXPECT_EQ(block[0], 1);
    EXPECT_FALSE(RegReadValue(key, "Qword", REG_DWORD, block));
    EXPECT_TRUE(block.empty());
    hkcu_->Set("Empty", REG_BINARY, nullptr, 0);
    ASSERT_TRUE(RegReadValue(key, "Empty", REG_BINARY, block));
    EXPECT_TRUE(block.empty());
}

TEST_F(FuncReg, SharedValueKeepsItsTypeAndStoredBytes) {
    const std::string key = "HKEY_CURRENT_USER\\" + kBase;
    const unsigned long long q = 1;
    struct Case {
        std::string path;
        const char* name;
        bool found;
        DWORD type;
        std::string data;
    } cases[] = {
        {key, "Text", true, REG_SZ, WithNul("hello")},
        {key, "Expand", true, REG_EXPAND_SZ, WithNul("%windir%\\x")},  // never expanded
        {key, "Multi", true, REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {key, "Qword", true, REG_QWORD, std::string(reinterpret_cast<const char*>(&q), 8)},
        {key, "One", true, REG_DWORD, std::string("\1\0\0\0", 4)},
        {key, "InnerNul", true, REG_SZ, std::string("left\0right\0", 11)},
        {key, "TwoLines", true, REG_SZ, WithNul("first\r\nsecond")},  // no trimming
        {key, "", true, REG_SZ, WithNul("default value")},
        {"hkey_current_user\\" + kBase + "\\", "Text", true, REG_SZ, WithNul("hello")},
        {key, "Missing", false, 0, ""},
        {key + "\\Missing", "Text", false, 0, ""},
        {"HKCU\\" + kBase, "Text", false, 0, ""},
    };
    for (const auto& c : cases) {
        DWORD type = 99;
        std::string data = "stale";
        EXPECT_EQ(RegReadSharedValue(c.path, c.name, type, data), c.found) << c.path << " " << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
    }
    hkcu_->Set("Empty", REG_BINARY, nullptr, 0);
    DWORD type = 0;
    std::string data = "stale";
    EXPECT_TRUE(RegReadSharedValue(key, "Empty", type, data));
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(data, "");
}

TEST_F(FuncReg, SharedValueIsReadInTheProcesssOwnView) {
    if (TestArch() != "win64") GTEST_SKIP() << "one view only on 32-bit Windows";
    // HKLM\Software is split by view: the shared read sees the 32-bit one, the module's other
    // reads the 64-bit one.
    const std::string sub = "Software\\QvKuOwnView" + std::to_string(GetCurrentProcessId());
    ScratchKey only64(HKEY_LOCAL_MACHINE, sub, KEY_WOW64_64KEY);
    only64.SetText("Where", WithNul("sixty-four"));
    ScratchKey only32(HKEY_LOCAL_MACHINE, sub, KEY_WOW64_32KEY);
    only32.SetText("Where", WithNul("thirty-two"));
    const std::string path = "HKEY_LOCAL_MACHINE\\" + sub;
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(RegReadSharedValue(path, "Where", type, data));
    EXPECT_EQ(data, WithNul("thirty-two"));
    EXPECT_EQ(RegReadString(path, "Where"), "sixty-four");
}

TEST_F(FuncReg, AccessMaskFollowsTheSystem) {
    if (TestArch() == "win64") {
        EXPECT_TRUE(IsWin64());
        EXPECT_EQ(RegistryAccessMask(), REGSAM(0xF013F));
    } else {
        ASSERT_EQ(TestArch(), "win32");
        EXPECT_FALSE(IsWin64());
        EXPECT_EQ(RegistryAccessMask(), REGSAM(KEY_READ));
    }
}

TEST_F(FuncReg, ReadsTheSixtyFourBitViewOnWin64) {
    if (TestArch() != "win64") GTEST_SKIP() << "the 64-bit view exists on 64-bit Windows only";
    // HKLM\Software is split by view: a value written only to the 64-bit view is invisible to a
    // plain 32-bit open and must still be found.
    ScratchKey only64(HKEY_LOCAL_MACHINE, "Software\\QvKuView" + std::to_string(GetCurrentProcessId()),
                      KEY_WOW64_64KEY);
    only64.SetText("Where", WithNul("sixty-four"));
    const std::string path = "HKEY_LOCAL_MACHINE\\Software\\QvKuView" + std::to_string(GetCurrentProcessId());
    HKEY plain;
    ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(19).c_str(), 0, KEY_READ, &plain), 0)
        << "the 32-bit view should not hold the key";
    EXPECT_TRUE(RegKeyExists(path));
    EXPECT_EQ(RegReadString(path, "Where"), "sixty-four");
}

TEST_F(FuncReg, NoKeyStaysOpen) {
    const std::string key = "HKEY_CURRENT_USER\\" + kBase;
    auto everyPath = [&] {
        RegKeyExists(key);
        RegKeyExists(key + "\\Missing");
        RegKeyExists("HKLM\\Software");
        RegReadDword(key, "One");
        RegReadDword(key, "Text");  // wrong type
        RegReadDword(key, "Missing");
        RegReadString(key, "Text");
        RegReadString(key, "Expand");
        RegReadString(key + "\\Missing", "Text");
        std::string raw;
        RegReadRawString(key, "Text", REG_SZ, raw);
        std::vector<unsigned char> block;
        RegReadValue(key, "Binary", REG_BINARY, block);
        RegReadValue(key, "Binary", REG_SZ, block);
        DWORD type = 0;
        RegReadSharedValue(key, "Qword", type, raw);
        RegReadSharedValue(key, "Missing", type, raw);
        RegReadSharedValue(key + "\\Missing", "Text", type, raw);
        GetWindowsVersionName();
        IsWin64();
    };
    everyPath();  // first use may load what the platform caches for good
    const int before = CountOwnHandles();
    for (int i = 0; i < 300; ++i) everyPath();
    EXPECT_EQ(CountOwnHandles(), before);
}
