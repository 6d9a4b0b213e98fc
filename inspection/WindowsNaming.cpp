#include "WindowsNaming.h"

bool NeedsCurrentVersionKey(const WindowsFacts& f) { return f.major == 6 && (f.minor == 2 || f.minor == 3); }

static const uint8_t kWorkstation = 1;
static const uint16_t kSuiteHomeServer = 0x8000;
static const uint16_t kArchAmd64 = 9;

std::string WindowsNameFromFacts(const WindowsFacts& f) {
    // Windows 10 and later report 6.2 to a program that declares no supported systems and carry
    // CurrentVersion "6.3"; they already hold a newer runtime than the one this installs, so
    // they must not pass for Windows 8.1.
    if (NeedsCurrentVersionKey(f) && f.currentMajorVersionNumber >= 10) return "";
    const bool workstation = f.productType == kWorkstation;
    switch (f.major) {
    case 4:
        if (f.minor == 0) return "Windows95";
        if (f.minor == 10) return "Windows98";
        if (f.minor == 90) return "WindowsMe";
        return "";
    case 5:
        if (f.minor == 0) return workstation ? "Windows2000" : "WinServer2000";
        if (f.minor == 1) return "WindowsXP";
        if (f.minor == 2) {
            if (f.suiteMask == kSuiteHomeServer) return "WinHomeServer";
            if (workstation && f.processorArchitecture == kArchAmd64) return "WindowsXp64";
            if (f.serverR2) return "WinServer2003R2";
            return "WinServer2003";
        }
        return "";
    case 6:
        if (f.minor == 0) return workstation ? "WinVista" : "WinServer2008";
        if (f.minor == 1) return workstation ? "Windows7" : "WinServer2008R2";
        if (f.minor == 2) {
            if (f.currentVersionText == "6.3") return "Windows8.1";
            return workstation ? "Windows8" : "WinServer2012";
        }
        if (f.minor == 3) return workstation ? "Windows8Blue" : "WinServer8Blue";
        return "";
    default:
        return "";
    }
}
