// Reading what the Microsoft setup of the .NET Framework 4 left in the registry. Read-only: the
// keys are opened with KEY_QUERY_VALUE alone, so a key that may be read but not changed is still
// found; on 64-bit Windows in the 64-bit view, where the 64-bit setup writes them.
#pragma once
#include <windows.h>
#include <string>

#include "NetFxDetection.h"

// One REG_DWORD value of HKEY_LOCAL_MACHINE\`subKey`, opened with KEY_QUERY_VALUE and the view
// flags `view` (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY). Anything but four bytes of REG_DWORD is
// reported as what it is, never as a number.
ReleaseReading ReadDwordReading(const std::string& subKey, const std::string& valueName, REGSAM view);

// The view the setup's keys are read in: the 64-bit one on 64-bit Windows, the process's own
// otherwise. Evaluated at every call.
REGSAM NetFxRegistryView();

// "Release" of the runtime's key and of its Chinese language pack's key.
NetFxReadings ReadNetFxReleases();
