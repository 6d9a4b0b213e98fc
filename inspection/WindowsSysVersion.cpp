#include "WindowsSysVersion.h"

#include <new>

#include "../services/SystemApi.h"
#include "Func_Reg.h"
#include "WindowsNaming.h"

static const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

bool QueryOsVersion(OSVERSIONINFOEXA& version) {
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)) != 0;
}

std::string GetWindowsVersionName() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    OSVERSIONINFOEXA version;
    if (!QueryOsVersion(version)) return "";
    WindowsFacts facts;
    facts.major = version.dwMajorVersion;
    facts.minor = version.dwMinorVersion;
    facts.suiteMask = version.wSuiteMask;
    facts.productType = version.wProductType;
    facts.processorArchitecture = system.wProcessorArchitecture;
    facts.serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    if (NeedsCurrentVersionKey(facts)) {
        try {
            facts.currentVersionText = RegReadString(kCurrentVersionKey, "CurrentVersion");
            facts.currentMajorVersionNumber = RegReadDword(kCurrentVersionKey, "CurrentMajorVersionNumber");
        } catch (const std::bad_alloc&) {
            // Without the registry's word the version query alone decides.
        }
    }
    return WindowsNameFromFacts(facts);
}

bool IsWin64() {
    auto isWow64Process = KernelFunction<BOOL(WINAPI*)(HANDLE, PBOOL)>("IsWow64Process");
    auto getNativeSystemInfo = KernelFunction<void(WINAPI*)(LPSYSTEM_INFO)>("GetNativeSystemInfo");
    if (!isWow64Process) return false;
    BOOL wow64 = FALSE;
    // When the query itself fails its flag says nothing: count it as not 64-bit, so keys open
    // read-only in the process's own view rather than with full access.
    if (!isWow64Process(GetCurrentProcess(), &wow64) || !wow64 || !getNativeSystemInfo) return false;
    SYSTEM_INFO native;
    getNativeSystemInfo(&native);
    return native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}
