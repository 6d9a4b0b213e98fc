#include "VersionText.h"

#include <windows.h>

#include <vector>

#include "Handles.h"
#include "SystemApi.h"

namespace {
// version.dll is not one of the system's known DLLs; taken by its full path in the system folder
// so that a file of that name beside the executable is never loaded into the elevated process.
UniqueModule LoadVersionLibrary() {
    const std::string system = SystemFolder();
    if (system.empty()) return UniqueModule();
    return UniqueModule(LoadLibraryA((system + "\\version.dll").c_str()));
}
}  // namespace

std::string GetFileVersionText(const std::string& path) {
    UniqueModule version = LoadVersionLibrary();
    if (!version) return "";
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    auto getSize = reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoSizeA")));
    auto getInfo = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoA")));
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "VerQueryValueA")));
    if (!getSize || !getInfo || !query) return "";
    DWORD handle = 0;
    DWORD size = getSize(path.c_str(), &handle);
    if (size == 0) return "";
    std::vector<unsigned char> block(size);
    if (!getInfo(path.c_str(), 0, size, block.data())) return "";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!query(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return "";
    return "V" + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string GetExeVersionText() {
    const std::string path = ExecutablePath();
    return path.empty() ? "" : GetFileVersionText(path);
}
