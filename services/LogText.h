// The run log's texts: its file name, its lines and its first bytes. Pure, so the format is
// tested natively; RunLog makes the file and takes the clock.
#pragma once
#include <cstdint>
#include <string>

// The fields of the platform's SYSTEMTIME that the log uses, in local time.
struct LogTime {
    uint16_t year = 0, month = 0, day = 0;
    uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
};

// UTF-8's byte-order mark, which lets Notepad on Windows 7 tell the file from one in the
// system code page.
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr std::size_t kUtf8BomSize = 3;

// How many names one start time offers before the log is given up: the plain one, then _2 ...
constexpr unsigned kLogNameAttempts = 100;

// `program`_YYYYMMDD_HHMMSS.log for attempt 0, then `program`_YYYYMMDD_HHMMSS_2.log for attempt
// 1, _3 for 2, and so on. Characters that a file name cannot hold, or that would lead it into
// another folder, are replaced by '_'; an empty program name gives "QvKu".
std::string LogFileName(const std::string& program, const LogTime& start, unsigned attempt);

// "13:53:17.042 text" and CR LF. The text stays on one line: CR and LF inside it are shown as
// <CR> and <LF>, NUL as <NUL>, and every other control character except TAB as <0xNN>.
std::string LogLine(const LogTime& time, const std::string& text);
