// Reading the registry by full text paths such as "HKEY_LOCAL_MACHINE\SYSTEM\Setup".
// Every operation opens its own key and closes it before it returns; failures of any kind
// read as false, 0 or the empty text.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "RegistryText.h"

// The root handle of a root name (any letter case), 0 when it is none of RootKeyNames.
HKEY RootKeyFromName(const std::string& rootName);
bool SplitRegistryPath(const std::string& path, HKEY& root, std::string& subKey);

// Full access in the 64-bit view on 64-bit Windows (the program runs elevated), KEY_READ
// in the process's own view otherwise. Evaluated at every open.
REGSAM RegistryAccessMask();

bool RegKeyExists(const std::string& path);
DWORD RegReadDword(const std::string& path, const std::string& valueName);
std::string RegReadString(const std::string& path, const std::string& valueName);
// The value's data exactly as stored, its terminating NUL included.
bool RegReadRawString(const std::string& path, const std::string& valueName, DWORD expectedType,
                      std::string& text);
bool RegReadValue(const std::string& path, const std::string& valueName, DWORD expectedType,
                  std::vector<unsigned char>& block);
// A value of any type, its type and its data exactly as stored, from a key opened for querying
// only and in the process's own view: for what every program of the machine reads alike, such
// as the file associations under HKEY_CLASSES_ROOT. False when the key or the value is missing;
// `data` is then empty.
bool RegReadSharedValue(const std::string& path, const std::string& valueName, DWORD& type, std::string& data);
