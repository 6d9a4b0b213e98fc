// Keeping the windows live while the program waits: one pass of the message pump, and delays
// made of such passes.
#pragma once
#include <cstdint>

// One pass of the application's message pump: handles what waits and returns when the queue
// is empty. The application object hands its own in at start-up; null puts back the plain one.
using PumpPassFn = void (*)();
void SetPumpPass(PumpPassFn pass);

// Runs one pass of the pump that is set.
void PumpPass();

// Keeps the window messages flowing for `durationMs` (at least one pump pass).
void DelayWithMessages(int32_t durationMs);
