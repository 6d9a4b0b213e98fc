// The WOW64 file-system redirection of the calling thread.
#pragma once

// Switches file-system redirection off for this thread, for the rest of the process: the
// system folder then names the native one. True also where the system has no redirection.
bool DisableWow64Redirection();
