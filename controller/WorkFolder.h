// The work folder of one run: a new folder under the Windows temp folder that only SYSTEM and
// the Administrators may touch, so that no other user can plant or swap what the elevated
// program writes and runs there.
#pragma once
#include <string>

// The Windows folder: %windir%, or the system's own answer when that is not set.
std::string WindowsFolder();

// Creates a new folder "~qvku.<random>.tmp" under <windows>\temp (the temp folder itself is made
// when missing). A folder that exists already is never reused. Returns the empty text when none
// could be made.
std::string CreateWorkFolder(const std::string& windowsFolder);

bool FolderExists(const std::string& path);

// The security the work folder is made with, as SDDL.
extern const char kWorkFolderSecurity[];
