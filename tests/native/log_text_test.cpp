#include <gtest/gtest.h>

#include <set>
#include <string>

#include "LogText.h"

namespace {
LogTime At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s, uint16_t ms = 0) {
    LogTime t;
    t.year = y, t.month = mo, t.day = d, t.hour = h, t.minute = mi, t.second = s, t.millisecond = ms;
    return t;
}
}  // namespace

TEST(LogFileName, ProgramStartTimeAndCounter) {
    const LogTime start = At(2026, 12, 10, 13, 53, 17, 42);
    struct Case {
        const char* program;
        LogTime time;
        unsigned attempt;
        const char* name;
    } cases[] = {
        {"QvKu", start, 0, "QvKu_20261210_135317.log"},
        {"QvKu", start, 1, "QvKu_20261210_135317_2.log"},
        {"QvKu", start, 2, "QvKu_20261210_135317_3.log"},
        {"QvKu", start, 99, "QvKu_20261210_135317_100.log"},
        // Every field padded, so that names sort by time.
        {"QvKu", At(2027, 1, 2, 3, 4, 5), 0, "QvKu_20270102_030405.log"},
        {"QvKu", At(2026, 12, 31, 23, 59, 59, 999), 0, "QvKu_20261231_235959.log"},
        {"QvKu", At(2026, 1, 1, 0, 0, 0), 0, "QvKu_20260101_000000.log"},
        // A name must stay one name in the temp folder: no separators, no drive, no wildcard.
        {"..\\..\\Windows\\x", start, 0, ".._.._Windows_x_20261210_135317.log"},
        {"a/b:c*d?e\"f<g>h|i", start, 0, "a_b_c_d_e_f_g_h_i_20261210_135317.log"},
        {"tab\there\r\n", start, 0, "tab_here___20261210_135317.log"},
        {"", start, 0, "QvKu_20261210_135317.log"},
        {".", start, 0, "QvKu_20261210_135317.log"},
        {"..", start, 1, "QvKu_20261210_135317_2.log"},
        {"My Setup.v2", start, 0, "My Setup.v2_20261210_135317.log"},
        // GBK bytes of a Chinese program name pass unchanged.
        {"\xB0\xB2\xD7\xB0", start, 0, "\xB0\xB2\xD7\xB0_20261210_135317.log"},
    };
    for (const Case& c : cases) EXPECT_EQ(LogFileName(c.program, c.time, c.attempt), c.name) << c.attempt;
}

TEST(LogFileName, EveryAttemptGivesANewName) {
    std::set<std::string> names;
    for (unsigned attempt = 0; attempt < kLogNameAttempts; ++attempt)
        names.insert(LogFileName("QvKu", At(2026, 12, 10, 13, 53, 17), attempt));
    EXPECT_EQ(names.size(), size_t(kLogNameAttempts));
}

TEST(LogLine, TimeToTheMillisecondAndOneLine) {
    struct Case {
        LogTime time;
        std::string text;
        std::string line;
    } cases[] = {
        {At(2026, 12, 10, 13, 53, 17, 42), "text", "13:53:17.042 text\r\n"},
        {At(2026, 12, 10, 0, 0, 0, 0), "", "00:00:00.000 \r\n"},
        {At(2026, 12, 10, 23, 59, 59, 999), "last", "23:59:59.999 last\r\n"},
        {At(2026, 12, 10, 9, 5, 1, 7), "x", "09:05:01.007 x\r\n"},
        // Breaks inside a text never start a line of their own.
        {At(2026, 12, 10, 1, 2, 3, 4), "two\r\nlines", "01:02:03.004 two<CR><LF>lines\r\n"},
        {At(2026, 12, 10, 1, 2, 3, 4), "lone\rcr", "01:02:03.004 lone<CR>cr\r\n"},
        {At(2026, 12, 10, 1, 2, 3, 4), "lone\nlf\n", "01:02:03.004 lone<LF>lf<LF>\r\n"},
        {At(2026, 12, 10, 1, 2, 3, 4), std::string("nul\0in", 6), "01:02:03.004 nul<NUL>in\r\n"},
        {At(2026, 12, 10, 1, 2, 3, 4), "bell\a esc\x1b del\x7f", "01:02:03.004 bell<0x07> esc<0x1B> del\x7f\r\n"},
        {At(2026, 12, 10, 1, 2, 3, 4), "tab\tstays", "01:02:03.004 tab\tstays\r\n"},
        // Paths keep their backslashes; UTF-8 bytes pass unchanged.
        {At(2026, 12, 10, 1, 2, 3, 4), "C:\\Windows\\temp\\~qvku.tmp", "01:02:03.004 C:\\Windows\\temp\\~qvku.tmp\r\n"},
        {At(2026, 12, 10, 1, 2, 3, 4), "\xE5\xAE\x89\xE8\xA3\x85", "01:02:03.004 \xE5\xAE\x89\xE8\xA3\x85\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(LogLine(c.time, c.text), c.line) << c.text;
}

TEST(LogLine, EveryByteOfAnyTextStaysOnOneLine) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    std::string line = LogLine(At(2026, 12, 10, 1, 2, 3, 4), all);
    ASSERT_GE(line.size(), 2u);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    std::string body = line.substr(0, line.size() - 2);
    EXPECT_EQ(body.find('\r'), std::string::npos);
    EXPECT_EQ(body.find('\n'), std::string::npos);
    EXPECT_EQ(body.find('\0'), std::string::npos);
}
