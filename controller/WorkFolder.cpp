#include "WorkFolder.h"

#include <windows.h>
#include <sddl.h>

#include "../services/Handles.h"
#include "../services/RandomText.h"
#include "InstallPlan.h"

std::string WindowsFolder() {
    char buffer[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("windir", buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::string(buffer, n);
    // Never a folder under the root of the current drive, which any user may create.
    UINT m = GetSystemWindowsDirectoryA(buffer, MAX_PATH);
    if (m > 0 && m < MAX_PATH) return std::string(buffer, m);
    return "";
}

bool FolderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static void CreateParents(const std::string& folder) {
    // Only the folders above the work folder: ours is made below, new, with its own security.
    for (std::string::size_type i = folder.find('\\', 3); i != std::string::npos; i = folder.find('\\', i + 1))
        CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
}

// Full control for SYSTEM and the Administrators, inherited by everything inside; no one else,
// and nothing inherited from the shared temp folder.
const char kWorkFolderSecurity[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::string CreateWorkFolder(const std::string& windowsFolder) {
    if (windowsFolder.empty()) return "";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kWorkFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return "";
    UniqueLocal owner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    CreateParents(WorkDirName(windowsFolder, "x"));
    // 128 random bits: a name that exists already was not made by guessing, yet it is never
    // used; a new draw is taken instead.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string random = RandomHex(16);
        if (random.empty()) return "";
        const std::string candidate = WorkDirName(windowsFolder, random);
        if (CreateDirectoryA(candidate.c_str(), &attributes)) return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
    }
    return "";
}
