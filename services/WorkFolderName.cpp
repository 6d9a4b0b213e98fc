#include "WorkFolderName.h"

std::string WorkDirName(const std::string& windowsDir, const std::string& randomPart) {
    std::string dir = windowsDir;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir + "\\temp\\~qvku." + randomPart + ".tmp";
}
