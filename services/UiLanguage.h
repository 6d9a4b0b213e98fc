// The interface language: the locale of the interface thread at start-up.
#pragma once

// 1 for Simplified Chinese, 2 for Traditional Chinese, 0 otherwise, from the locale the
// interface thread had at start-up.
int GetUiLanguage();
// Takes the locale again after resetting the thread's locale to the user's default; run when
// the system's settings change.
void RefreshUiLanguage();
