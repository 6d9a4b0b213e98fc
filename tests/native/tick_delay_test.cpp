#include <gtest/gtest.h>

#include "TickDelay.h"

TEST(DelayContinues, TickArithmetic) {
    struct Case { uint32_t start, now; int32_t duration; bool goesOn; const char* what; } cases[] = {
        {1000, 1000, 1000, true, "just begun"},
        {1000, 1999, 1000, true, "one short"},
        {1000, 2000, 1000, false, "full length"},
        {1000, 1000, 0, false, "zero"},
        {1000, 1000, -5, false, "negative"},
        {0xFFFFFF00u, 0xFFFFFFFFu, 1000, true, "before the wrap to 0"},
        {0xFFFFFF00u, 0x00000010u, 1000, true, "after the wrap to 0, 272 ms in"},
        {0xFFFFFF00u, 0x000002E8u, 1000, false, "after the wrap to 0, 1000 ms in"},
        {0x7FFFFF00u, 0x7FFFFFFFu, 1000, true, "before 2^31"},
        {0x7FFFFF00u, 0x80000000u, 1000, false, "the count turns negative: ends early"},
        {0x7FFFFF00u, 0x80000005u, 1000, false, "and stays ended"},
    };
    for (const auto& c : cases) EXPECT_EQ(DelayContinues(c.start, c.now, c.duration), c.goesOn) << c.what;
}

TEST(UiLanguageFromLocale, Rule) {
    struct Case { uint32_t locale; int language; } cases[] = {
        {2052, 1}, {1028, 2}, {1033, 0}, {3076, 0}, {4100, 0}, {5124, 0},
        {0x00010804, 0}, {0x00020804, 0}, {0, 0}, {0x0804 | 0x80000000u, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(UiLanguageFromLocale(c.locale), c.language) << c.locale;
}
