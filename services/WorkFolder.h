// The work folder of one run: a new folder under the Windows temp folder that only SYSTEM and
// the Administrators may touch, so that no other user can plant or swap what the elevated
// program writes and runs there.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The Windows folder: %windir%, or the system's own answer when that is not set.
std::string WindowsFolder();

struct WorkFolder {
    std::string path;    // the folder made; empty when none could be made
    uint32_t error = 0;  // the Win32 error of the failure; 0 when the folder was made
};

// Where the random part of the folder's name comes from: hex digits, the empty text when the
// source fails.
using RandomSource = std::function<std::string()>;
// 128 bits from the system's cryptographic source.
std::string RandomWorkFolderPart();

// Creates a new folder "~qvku.<random>.tmp" under <windows>\temp (the temp folder itself is made
// when missing), with kWorkFolderSecurity. A name that exists already, as a folder or a file, is
// never reused: a new draw is taken, eight at the most; then the error is ERROR_ALREADY_EXISTS.
WorkFolder CreateWorkFolder(const std::string& windowsFolder, const RandomSource& random = RandomWorkFolderPart);

bool FolderExists(const std::string& path);

// The security the work folder is made with, as SDDL.
extern const char kWorkFolderSecurity[];
