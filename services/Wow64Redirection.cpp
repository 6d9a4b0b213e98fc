#include "Wow64Redirection.h"

#include <windows.h>

#include "SystemApi.h"

namespace {
// Never handed back: redirection stays off for the rest of the process.
PVOID savedRedirection = nullptr;
}  // namespace

bool DisableWow64Redirection() {
    // Only 64-bit Windows and Windows XP SP2 on have it.
    auto disable = KernelFunction<BOOL(WINAPI*)(PVOID*)>("Wow64DisableWow64FsRedirection");
    if (disable) disable(&savedRedirection);
    return true;
}
