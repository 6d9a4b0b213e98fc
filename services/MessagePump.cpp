#include "MessagePump.h"

#include <windows.h>

#include "TickDelay.h"

namespace {
// Until the application hands over its own, a pass takes and dispatches what waits.
void PlainPumpPass() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

PumpPassFn pumpPass = PlainPumpPass;
}  // namespace

void SetPumpPass(PumpPassFn pass) { pumpPass = pass ? pass : PlainPumpPass; }

void PumpPass() { pumpPass(); }

void DelayWithMessages(int32_t durationMs) {
    const uint32_t start = GetTickCount();
    uint32_t now;
    do {
        PumpPass();
        now = GetTickCount();
    } while (DelayContinues(start, now, durationMs));
}
