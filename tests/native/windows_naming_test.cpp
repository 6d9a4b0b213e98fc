#include <gtest/gtest.h>

#include "WindowsNaming.h"

namespace {
WindowsFacts Facts(uint32_t major, uint32_t minor, uint8_t productType = 1, uint16_t suite = 0,
                   uint16_t arch = 0, bool r2 = false, const char* currentVersion = "",
                   uint32_t majorNumber = 0) {
    WindowsFacts f;
    f.major = major;
    f.minor = minor;
    f.productType = productType;
    f.suiteMask = suite;
    f.processorArchitecture = arch;
    f.serverR2 = r2;
    f.currentVersionText = currentVersion;
    f.currentMajorVersionNumber = majorNumber;
    return f;
}
struct NameCase {
    WindowsFacts facts;
    const char* name;
    const char* what;
};
}  // namespace

TEST(WindowsNameFromFacts, WholeTable) {
    const NameCase cases[] = {
        {Facts(4, 0), "Windows95", "4.0"},
        {Facts(4, 0, 3), "Windows95", "4.0 whatever else"},
        {Facts(4, 10), "Windows98", "4.10"},
        {Facts(4, 90), "WindowsMe", "4.90"},
        {Facts(4, 1), "", "4.1 unlisted"},
        {Facts(5, 0, 1), "Windows2000", "5.0 workstation"},
        {Facts(5, 0, 2), "WinServer2000", "5.0 domain controller"},
        {Facts(5, 0, 3), "WinServer2000", "5.0 server"},
        {Facts(5, 1, 1), "WindowsXP", "5.1"},
        {Facts(5, 1, 3), "WindowsXP", "5.1 server type"},
        {Facts(5, 2, 3, 0x8000), "WinHomeServer", "5.2 home server suite alone"},
        {Facts(5, 2, 1, 0x8000, 9), "WinHomeServer", "home server suite comes before x64"},
        {Facts(5, 2, 3, 0x8010), "WinServer2003", "home server bit plus another is not home server"},
        {Facts(5, 2, 3, 0x8010, 0, true), "WinServer2003R2", "...and with R2 it is R2"},
        {Facts(5, 2, 1, 0, 9), "WindowsXp64", "5.2 workstation amd64"},
        {Facts(5, 2, 1, 0, 9, true), "WindowsXp64", "x64 comes before R2"},
        {Facts(5, 2, 1, 0, 6), "WinServer2003", "5.2 workstation itanium"},
        {Facts(5, 2, 3, 0, 9), "WinServer2003", "5.2 server amd64"},
        {Facts(5, 2, 3, 0, 0, true), "WinServer2003R2", "5.2 R2"},
        {Facts(5, 2, 3), "WinServer2003", "5.2 otherwise"},
        {Facts(5, 3), "", "5.3 unlisted"},
        {Facts(6, 0, 1), "WinVista", "6.0 workstation"},
        {Facts(6, 0, 2), "WinServer2008", "6.0 domain controller"},
        {Facts(6, 0, 3), "WinServer2008", "6.0 server"},
        {Facts(6, 1, 1), "Windows7", "6.1 workstation"},
        {Facts(6, 1, 3), "WinServer2008R2", "6.1 server"},
        {Facts(6, 2, 1), "Windows8", "6.2 workstation"},
        {Facts(6, 2, 3), "WinServer2012", "6.2 server"},
        {Facts(6, 2, 1, 0, 0, false, "6.3"), "Windows8.1", "6.2 with CurrentVersion 6.3"},
        {Facts(6, 2, 3, 0, 0, false, "6.3"), "Windows8.1", "2012 R2 is named 8.1 too"},
        {Facts(6, 2, 1, 0, 0, false, "6.2"), "Windows8", "CurrentVersion 6.2"},
        {Facts(6, 2, 1, 0, 0, false, "6.30"), "Windows8", "6.30 is not 6.3"},
        {Facts(6, 2, 1, 0, 0, false, " 6.3"), "Windows8", "6.3 with a blank is not 6.3"},
        {Facts(6, 2, 3, 0, 0, false, "6.4"), "WinServer2012", "server with another text"},
        {Facts(6, 3, 1), "Windows8Blue", "6.3 workstation"},
        {Facts(6, 3, 3), "WinServer8Blue", "6.3 server"},
        {Facts(6, 3, 1, 0, 0, false, "6.3"), "Windows8Blue", "a real 6.3 report stays Blue"},
        {Facts(6, 4), "", "6.4 unlisted"},
        {Facts(7, 0), "", "major above 6"},
        {Facts(10, 0, 1), "", "10.0"},
        {Facts(3, 51), "", "NT 3.51"},
        // Windows 10 and 11: 6.2 reported, CurrentVersion "6.3", CurrentMajorVersionNumber 10
        {Facts(6, 2, 1, 0, 0, false, "6.3", 10), "", "Windows 10 is not 8.1"},
        {Facts(6, 2, 3, 0, 0, false, "6.3", 10), "", "Server 2016 and later"},
        {Facts(6, 2, 1, 0, 0, false, "6.3", 11), "", "a later major number"},
        {Facts(6, 3, 1, 0, 0, false, "6.3", 10), "", "6.3 reported by Windows 10"},
        {Facts(6, 2, 1, 0, 0, false, "6.3", 9), "Windows8.1", "a major number below 10 changes nothing"},
        {Facts(6, 1, 1, 0, 0, false, "6.3", 10), "Windows7", "only 6.2 and 6.3 look at the key"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(WindowsNameFromFacts(c.facts), c.name) << c.what;
}

TEST(NeedsCurrentVersionKey, OnlyForSixTwoAndSixThree) {
    EXPECT_TRUE(NeedsCurrentVersionKey(Facts(6, 2)));
    EXPECT_TRUE(NeedsCurrentVersionKey(Facts(6, 3)));
    EXPECT_FALSE(NeedsCurrentVersionKey(Facts(6, 1)));
    EXPECT_FALSE(NeedsCurrentVersionKey(Facts(5, 2)));
    EXPECT_FALSE(NeedsCurrentVersionKey(Facts(10, 0)));
}
