// The name rule of the work folder. Pure: no platform calls.
#pragma once
#include <string>

// The work folder under <windows>\temp: "~qvku." and a random part no one can guess or take
// first (hex digits from the system's random source), then ".tmp".
std::string WorkDirName(const std::string& windowsDir, const std::string& randomPart);
