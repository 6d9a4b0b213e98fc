#include "WorkFolder.h"

#include <windows.h>
#include <sddl.h>

#include "Handles.h"
#include "RandomText.h"
#include "SystemApi.h"
#include "WorkFolderName.h"

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

std::string RandomWorkFolderPart() { return RandomHex(16); }

static void CreateParents(const std::string& folder) {
    // Only the folders above the work folder: ours is made below, new, with its own security.
    for (std::string::size_type i = folder.find('\\', 3); i != std::string::npos; i = folder.find('\\', i + 1))
        CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
}

// Full control for SYSTEM and the Administrators, inherited by everything inside; no one else,
// and nothing inherited from the shared temp folder.
const char kWorkFolderSecurity[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

WorkFolder CreateWorkFolder(const std::string& windowsFolder, const RandomSource& random) {
    WorkFolder result;
    if (windowsFolder.empty()) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kWorkFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        result.error = LastError();
        return result;
    }
    UniqueLocal owner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    CreateParents(WorkDirName(windowsFolder, "x"));
    // 128 random bits: a name that exists already was not made by guessing, yet it is never
    // used; a new draw is taken instead.
    result.error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < 8 && result.error == ERROR_ALREADY_EXISTS; ++attempt) {
        const std::string part = random ? random() : std::string();
        if (part.empty()) {
            // The random source failed: no name of ours could be safe.
            result.error = ERROR_GEN_FAILURE;
            break;
        }
        const std::string candidate = WorkDirName(windowsFolder, part);
        if (CreateDirectoryA(candidate.c_str(), &attributes)) {
            result.path = candidate;
            result.error = 0;
        } else {
            result.error = LastError();
        }
    }
    return result;
}
