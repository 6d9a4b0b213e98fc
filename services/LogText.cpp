#include "LogText.h"

#include <cstdio>
#include <cstring>

namespace {
// Zero-padded decimal of at least `width` digits.
void AppendNumber(std::string& out, unsigned value, int width) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*u", width, value);
    out += digits;
}

bool FitsInFileName(unsigned char c) {
    return c >= 0x20 && c != 0x7F && !std::strchr("\\/:*?\"<>|", c);
}
}  // namespace

std::string LogFileName(const std::string& program, const LogTime& start, unsigned attempt) {
    std::string name;
    for (unsigned char c : program) name += FitsInFileName(c) ? char(c) : '_';
    // A name of dots alone would be the folder itself or its parent.
    if (name.find_first_not_of('.') == std::string::npos) name = "QvKu";
    name += '_';
    AppendNumber(name, start.year, 4);
    AppendNumber(name, start.month, 2);
    AppendNumber(name, start.day, 2);
    name += '_';
    AppendNumber(name, start.hour, 2);
    AppendNumber(name, start.minute, 2);
    AppendNumber(name, start.second, 2);
    if (attempt > 0) {
        name += '_';
        AppendNumber(name, attempt + 1, 1);
    }
    return name + ".log";
}

std::string LogLine(const LogTime& time, const std::string& text) {
    std::string line;
    line.reserve(text.size() + 16);
    AppendNumber(line, time.hour, 2);
    line += ':';
    AppendNumber(line, time.minute, 2);
    line += ':';
    AppendNumber(line, time.second, 2);
    line += '.';
    AppendNumber(line, time.millisecond, 3);
    line += ' ';
    for (unsigned char c : text) {
        if (c == '\r') {
            line += "<CR>";
        } else if (c == '\n') {
            line += "<LF>";
        } else if (c == 0) {
            line += "<NUL>";
        } else if (c < 0x20 && c != '\t') {
            char shown[8];
            std::snprintf(shown, sizeof shown, "<0x%02X>", c);
            line += shown;
        } else {
            line += char(c);
        }
    }
    return line + "\r\n";
}
