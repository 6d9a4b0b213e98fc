#include "UiLanguage.h"

#include <windows.h>

#include "TickDelay.h"

namespace {
LCID storedLocale = 0;
bool localeTaken = false;

void TakeLocale() {
    storedLocale = GetThreadLocale();
    if (storedLocale == 0) storedLocale = 1033;
    localeTaken = true;
}
}  // namespace

int GetUiLanguage() {
    if (!localeTaken) TakeLocale();
    return UiLanguageFromLocale(storedLocale);
}

void RefreshUiLanguage() {
    SetThreadLocale(GetUserDefaultLCID());
    TakeLocale();
}
