// What is already installed of the .NET Framework 4.5.2 runtime and its Simplified Chinese language
// pack, decided from the REG_DWORD "Release" values that the Microsoft setup leaves behind. Pure:
// the reading of the registry is NetFxRelease's; here is only the rule, tested natively.
#pragma once
#include <cstdint>
#include <string>

// Under HKEY_LOCAL_MACHINE; on 64-bit Windows in the 64-bit view.
constexpr char kNetFxRuntimeKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
constexpr char kNetFxPackKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full\\2052";
constexpr char kNetFxReleaseValue[] = "Release";
// The Release of 4.5.2; every later 4.x release carries a larger number.
constexpr uint32_t kNetFx452Release = 379893;

// What one read of a Release value found. Anything but a four-byte REG_DWORD counts as absent:
// the value is written by whatever else runs on the machine and is taken as untrusted input.
enum class ReleaseReadingKind {
    Absent,      // the key or the value does not exist
    Unreadable,  // the key or the value exists but could not be read (`error`)
    WrongType,   // stored with another type than REG_DWORD (`type`)
    WrongSize,   // a REG_DWORD whose data is not four bytes (`size`)
    Dword,       // a REG_DWORD (`value`)
};

struct ReleaseReading {
    ReleaseReadingKind kind = ReleaseReadingKind::Absent;
    uint32_t value = 0;  // Dword
    uint32_t type = 0;   // WrongType: the stored type code
    uint32_t size = 0;   // WrongSize: the stored data size in bytes
    uint32_t error = 0;  // Unreadable: the Win32 error of the open or the query
};

struct NetFxReadings {
    ReleaseReading runtime;  // kNetFxRuntimeKey
    ReleaseReading pack;     // kNetFxPackKey
};

// Both present: nothing to write and nothing to run. Runtime present, pack absent: only the pack.
// Runtime absent: the whole install, whatever the pack's key says.
enum class NetFxDecision { Full, PackOnly, NothingToDo };

// A REG_DWORD of kNetFx452Release or more.
bool ReleaseIs452OrLater(const ReleaseReading& reading);
bool NetFxRuntimePresent(const NetFxReadings& readings);
bool NetFxPackPresent(const NetFxReadings& readings);
NetFxDecision DecideNetFx(const NetFxReadings& readings);

// For the log: "Release=379893", "absent", "REG_SZ, not a DWORD", "type 4660, not a DWORD",
// "REG_DWORD of 2 bytes", "unreadable (error 5)".
std::string ReleaseReadingText(const ReleaseReading& reading);
// "Full", "PackOnly", "NothingToDo".
const char* NetFxDecisionName(NetFxDecision decision);
// One line of both readings and the decision, e.g.
// "runtime Release=528040, language pack absent: PackOnly".
std::string NetFxReadingsText(const NetFxReadings& readings);
