// Naming the running Windows from what the platform reports. Pure, so the whole table is
// tested natively; WindowsSysVersion gathers the facts.
#pragma once
#include <cstdint>
#include <string>

struct WindowsFacts {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint16_t suiteMask = 0;
    uint8_t productType = 0;              // 1: workstation; anything else counts as a server
    uint16_t processorArchitecture = 0;   // as the process itself sees it
    bool serverR2 = false;                // SM_SERVERR2 nonzero
    // Only looked at for the versions for which NeedsCurrentVersionKey is true.
    std::string currentVersionText;       // "CurrentVersion", trimmed
    uint32_t currentMajorVersionNumber = 0;  // "CurrentMajorVersionNumber", 0 when absent
};

// Whether the name depends on the values under the CurrentVersion key.
bool NeedsCurrentVersionKey(const WindowsFacts& facts);

// One of the nineteen names, or the empty text.
std::string WindowsNameFromFacts(const WindowsFacts& facts);
