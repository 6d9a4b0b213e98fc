#include <gtest/gtest.h>

#include "TickDelay.h"

TEST(DelayContinues, TickArithmetic) {
    struct Case { uint32_t start, now; int32_t duration; bool goesOn; int32_t remaining; const char* what; } cases[] = {
        {1000, 1000, 1000, true, 1000, "just begun"},
        {1000, 1999, 1000, true, 1, "one short"},
        {1000, 2000, 1000, false, 0, "full length"},
        {1000, 2500, 1000, false, 0, "overrun"},
        {1000, 1000, 0, false, 0, "zero"},
        {1000, 1000, -5, false, 0, "negative"},
        {0xFFFFFF00u, 0xFFFFFFFFu, 1000, true, 745, "before the wrap to 0"},
        {0xFFFFFF00u, 0x00000010u, 1000, true, 728, "after the wrap to 0, 272 ms in"},
        {0xFFFFFF00u, 0x000002E8u, 1000, false, 0, "after the wrap to 0, 1000 ms in"},
        {0x7FFFFF00u, 0x7FFFFFFFu, 1000, true, 745, "before 2^31"},
        {0x7FFFFF00u, 0x80000000u, 1000, false, 0, "the count turns negative: ends early"},
        {0x7FFFFF00u, 0x80000005u, 1000, false, 0, "and stays ended"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DelayContinues(c.start, c.now, c.duration), c.goesOn) << c.what;
        EXPECT_EQ(DelayRemaining(c.start, c.now, c.duration), c.remaining) << c.what;
    }
}

TEST(UiLanguageFromLocale, Rule) {
    struct Case { uint32_t locale; int language; } cases[] = {
        {2052, 1}, {1028, 2}, {1033, 0}, {3076, 0}, {4100, 0}, {5124, 0},
        {0x00010804, 0}, {0x00020804, 0}, {0, 0}, {0x0804 | 0x80000000u, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(UiLanguageFromLocale(c.locale), c.language) << c.locale;
}
