// Programs of the system itself, named by their full path in the system folder, and started so
// that nothing of another user's can stand in for them or for what they run.
#pragma once
#include <string>

// The system folder (C:\Windows\system32), never from the environment; the empty text when the
// system does not say. Under WOW64 the same path names the 32-bit or the 64-bit copy of a system
// program, as redirection is on or off: either is the system's own.
std::string SystemFolder();
// A program of the system folder by its full path ("cmd.exe" -> C:\Windows\system32\cmd.exe).
std::string SystemProgram(const char* fileName);

// Starts "<system folder>\cmd.exe /d /c <command>" hidden and does not wait for it. The program
// is given by its path, never searched for; it starts in the system folder, which only
// administrators can write, and with NoDefaultCurrentDirectoryInExePath set, so that cmd never
// looks for a program in its current folder. Everything `command` runs must be named by its full
// path or be one of cmd's own commands. False when it could not start.
bool StartHiddenCommand(const std::string& command);
