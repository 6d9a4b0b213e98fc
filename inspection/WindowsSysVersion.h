// Naming the running Windows and telling 64-bit Windows apart.
#pragma once
#include <windows.h>
#include <string>

bool QueryOsVersion(OSVERSIONINFOEXA& version);
// One of the nineteen Windows names, or the empty text. Asks the system anew at every call.
std::string GetWindowsVersionName();
// True when this 32-bit process runs under WOW64 on x64 or Itanium Windows.
bool IsWin64();
