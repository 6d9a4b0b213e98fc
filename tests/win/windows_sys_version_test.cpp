#include <gtest/gtest.h>

#include "TestSupport.h"
#include "WindowsSysVersion.h"

TEST(IsWin64, MatchesThePrefix) {
    ASSERT_TRUE(TestArch() == "win64" || TestArch() == "win32");
    EXPECT_EQ(IsWin64(), TestArch() == "win64");
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(bool(wow64), TestArch() == "win64");
}

TEST(GetWindowsVersionName, SameNameOnEveryCall) {
    const std::string first = GetWindowsVersionName();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(GetWindowsVersionName(), first);
    OSVERSIONINFOEXA version;
    ASSERT_TRUE(QueryOsVersion(version));
    EXPECT_EQ(version.dwOSVersionInfoSize, 156u);
}
