// The version text of the running executable and of other files, from their version block.
#pragma once
#include <string>

// "V" and the four numbers of the running executable's file version, joined by ".";
// the empty text when it has no readable version block.
std::string GetExeVersionText();
// The same for the file at `path`.
std::string GetFileVersionText(const std::string& path);
