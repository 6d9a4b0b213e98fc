#include "TickDelay.h"

bool DelayContinues(uint32_t start, uint32_t now, int32_t durationMs) {
    const int32_t elapsed = static_cast<int32_t>(now - start);
    return elapsed < durationMs && static_cast<int32_t>(now) >= static_cast<int32_t>(start);
}

int UiLanguageFromLocale(uint32_t localeId) {
    if (localeId == 2052) return 1;
    if (localeId == 1028) return 2;
    return 0;
}
