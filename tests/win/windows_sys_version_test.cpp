#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "TestSupport.h"
#include "WindowsSysVersion.h"

TEST(IsWin64, MatchesThePrefix) {
    ASSERT_TRUE(TestArch() == "win64" || TestArch() == "win32");
    EXPECT_EQ(IsWin64(), TestArch() == "win64");
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(bool(wow64), TestArch() == "win64");
}

namespace {
// The Windows that Wine plays for this program: the Version of its own name under AppDefaults,
// else the prefix's; empty when neither is set, which gives Wine's default.
std::string WineVersionSetting() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string exe = path;
    exe = exe.substr(exe.find_last_of("\\/") + 1);
    for (const std::string& key : {"Software\\Wine\\AppDefaults\\" + exe, std::string("Software\\Wine")}) {
        char value[64] = {};
        DWORD size = sizeof value - 1;
        if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Version", RRF_RT_REG_SZ, nullptr, value, &size) ==
            ERROR_SUCCESS)
            return value;
    }
    return "";
}

// The settings whose name follows from what the version query reports alone, with the version
// Wine reports and the names for a workstation and a server: where a Version is set, the product
// type Wine reports need not be the one of that Windows, so the name goes by the reported one.
// Wine 8.0's default is Windows 7 as a workstation. From Windows 8 on (6.2) the name also
// depends on the CurrentVersion values of the registry: test_winver sets those and covers them
// end to end.
const struct {
    const char* setting;
    DWORD major, minor;
    const char* workstation;
    const char* server;
} kNames[] = {
    {"", 6, 1, "Windows7", nullptr},
    {"win7", 6, 1, "Windows7", "WinServer2008R2"},
    {"win2008r2", 6, 1, "Windows7", "WinServer2008R2"},
    {"vista", 6, 0, "WinVista", "WinServer2008"},
    {"win2008", 6, 0, "WinVista", "WinServer2008"},
    {"winxp", 5, 1, "WindowsXP", "WindowsXP"},
    {"win2k", 5, 0, "Windows2000", "WinServer2000"},
};
}  // namespace

TEST(GetWindowsVersionName, NamesThePrefixsWindowsOnEveryCall) {
    const std::string setting = WineVersionSetting();
    const auto* row = std::find_if(std::begin(kNames), std::end(kNames),
                                   [&](const auto& known) { return lstrcmpiA(known.setting, setting.c_str()) == 0; });
    ASSERT_NE(row, std::end(kNames)) << "the prefix plays Windows \"" << setting
                                     << "\", whose name this test does not know (" << TestArch() << ")";
    OSVERSIONINFOEXA version;
    ASSERT_TRUE(QueryOsVersion(version));
    EXPECT_EQ(version.dwOSVersionInfoSize, 156u);
    ASSERT_EQ(std::make_pair(version.dwMajorVersion, version.dwMinorVersion), std::make_pair(row->major, row->minor))
        << "Wine reports another Windows than \"" << setting << "\"";
    const bool workstation = version.wProductType == VER_NT_WORKSTATION;
    ASSERT_TRUE(workstation || row->server) << "Wine's default is a workstation";
    const std::string expected = workstation ? row->workstation : row->server;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(GetWindowsVersionName(), expected) << "call " << i << ", \"" << setting << "\"";
}
