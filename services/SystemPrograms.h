// Programs and DLLs of the system itself, named by their full path in the system folder, and
// started so that nothing of another user's can stand in for them or for what they run.
#pragma once
#include <cstdint>
#include <string>

// The program runs elevated from wherever it was downloaded: no DLL may come from its own folder
// or the current one. Where the system offers it, every later load searches only the system
// folder. Called first thing.
void RestrictDllSearchToSystem();

// A program of the system folder by its full path ("cmd.exe" -> C:\Windows\system32\cmd.exe);
// the empty text when the system folder is not known.
std::string SystemProgram(const char* fileName);

// Starts "<system folder>\cmd.exe /d /c <command>" hidden and does not wait for it. The program
// is given by its path, never searched for; it starts in the system folder, which only
// administrators can write, and with NoDefaultCurrentDirectoryInExePath set, so that cmd never
// looks for a program in its current folder. Everything `command` runs must be named by its full
// path or be one of cmd's own commands. 0 when it started, else the Win32 error of the failure.
uint32_t StartHiddenCommand(const std::string& command);
