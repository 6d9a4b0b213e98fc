#include "TickDelay.h"

bool DelayContinues(uint32_t start, uint32_t now, int32_t durationMs) {
    const int32_t elapsed = static_cast<int32_t>(now - start);
    return elapsed < durationMs && static_cast<int32_t>(now) >= static_cast<int32_t>(start);
}

int32_t DelayRemaining(uint32_t start, uint32_t now, int32_t durationMs) {
    return DelayContinues(start, now, durationMs) ? durationMs - static_cast<int32_t>(now - start) : 0;
}

int UiLanguageFromLocale(uint32_t localeId) {
    if (localeId == 2052) return 1;
    if (localeId == 1028) return 2;
    return 0;
}
