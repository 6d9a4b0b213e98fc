#include "NetFxDetection.h"

namespace {
// The platform's value type codes, by number, for the log.
const char* const kValueTypeNames[] = {
    "REG_NONE",          "REG_SZ",
    "REG_EXPAND_SZ",     "REG_BINARY",
    "REG_DWORD",         "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",          "REG_MULTI_SZ",
    "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD",
};
constexpr uint32_t kValueTypeCount = sizeof kValueTypeNames / sizeof kValueTypeNames[0];

std::string ValueTypeName(uint32_t type) {
    if (type < kValueTypeCount) return kValueTypeNames[type];
    return "type " + std::to_string(type);
}
}  // namespace

bool ReleaseIs452OrLater(const ReleaseReading& reading) {
    return reading.kind == ReleaseReadingKind::Dword && reading.value >= kNetFx452Release;
}

bool NetFxRuntimePresent(const NetFxReadings& readings) { return ReleaseIs452OrLater(readings.runtime); }

bool NetFxPackPresent(const NetFxReadings& readings) { return ReleaseIs452OrLater(readings.pack); }

NetFxDecision DecideNetFx(const NetFxReadings& readings) {
    // A pack without its runtime is no install to build on: the runtime's setup brings both.
    if (!NetFxRuntimePresent(readings)) return NetFxDecision::Full;
    return NetFxPackPresent(readings) ? NetFxDecision::NothingToDo : NetFxDecision::PackOnly;
}

std::string ReleaseReadingText(const ReleaseReading& reading) {
    switch (reading.kind) {
    case ReleaseReadingKind::Absent:
        return "absent";
    case ReleaseReadingKind::Unreadable:
        return "unreadable (error " + std::to_string(reading.error) + ")";
    case ReleaseReadingKind::WrongType:
        return ValueTypeName(reading.type) + ", not a DWORD";
    case ReleaseReadingKind::WrongSize:
        return "REG_DWORD of " + std::to_string(reading.size) + (reading.size == 1 ? " byte" : " bytes");
    case ReleaseReadingKind::Dword:
        return "Release=" + std::to_string(reading.value);
    }
    return "absent";
}

const char* NetFxDecisionName(NetFxDecision decision) {
    switch (decision) {
    case NetFxDecision::NothingToDo:
        return "NothingToDo";
    case NetFxDecision::PackOnly:
        return "PackOnly";
    case NetFxDecision::Full:
        break;
    }
    return "Full";
}

std::string NetFxReadingsText(const NetFxReadings& readings) {
    return "runtime " + ReleaseReadingText(readings.runtime) + ", language pack " +
           ReleaseReadingText(readings.pack) + ": " + NetFxDecisionName(DecideNetFx(readings));
}
