// The tick arithmetic of the pumped delay and the interface-language rule. Pure.
#pragma once
#include <cstdint>

// Whether a delay begun at tick `start` goes on at tick `now`: the elapsed time, a 32-bit
// difference read as signed, is below the duration, and the count has not passed from 2^31 - 1
// to -2^31 (then the delay ends early). A wrap to 0 still measures right.
bool DelayContinues(uint32_t start, uint32_t now, int32_t durationMs);
// What is left at `now` of that delay, by the same rule: 0 once it has ended.
int32_t DelayRemaining(uint32_t start, uint32_t now, int32_t durationMs);

// 1 for Simplified Chinese (locale 2052 exactly), 2 for Traditional Chinese (1028), else 0.
int UiLanguageFromLocale(uint32_t localeId);
