#include "NetFxRelease.h"

#include "../services/Handles.h"
#include "WindowsSysVersion.h"

namespace {
ReleaseReading Missing() { return ReleaseReading{}; }

ReleaseReading FailedWith(LONG error) {
    // Gone is gone, whichever step found it so; everything else is a value we were kept from.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Missing();
    ReleaseReading reading;
    reading.kind = ReleaseReadingKind::Unreadable;
    reading.error = uint32_t(error);
    return reading;
}
}  // namespace

REGSAM NetFxRegistryView() { return IsWin64() ? KEY_WOW64_64KEY : 0; }

ReleaseReading ReadDwordReading(const std::string& subKey, const std::string& valueName, REGSAM view) {
    HKEY handle = nullptr;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_QUERY_VALUE | view, &handle);
    if (opened != ERROR_SUCCESS) return FailedWith(opened);
    UniqueKey key(handle);

    // Four bytes of room: a longer value of any type answers ERROR_MORE_DATA with its type and
    // size, and nothing of it is copied.
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG queried = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(&data), &size);
    if (queried != ERROR_SUCCESS && queried != ERROR_MORE_DATA) return FailedWith(queried);
    ReleaseReading reading;
    if (type != REG_DWORD) {
        reading.kind = ReleaseReadingKind::WrongType;
        reading.type = type;
    } else if (queried == ERROR_MORE_DATA || size != sizeof data) {
        reading.kind = ReleaseReadingKind::WrongSize;
        reading.size = size;
    } else {
        reading.kind = ReleaseReadingKind::Dword;
        reading.value = data;
    }
    return reading;
}

NetFxReadings ReadNetFxReleases() {
    REGSAM view = NetFxRegistryView();
    NetFxReadings readings;
    readings.runtime = ReadDwordReading(kNetFxRuntimeKey, kNetFxReleaseValue, view);
    readings.pack = ReadDwordReading(kNetFxPackKey, kNetFxReleaseValue, view);
    return readings;
}
