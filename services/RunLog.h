// The run log: one new UTF-8 file per run in the temp folder of the account that runs the
// program, one line per event with its local time to the millisecond. A log that cannot be made
// or written changes nothing else: every failure here is swallowed and nothing throws. Written
// from the interface thread only, as everything of the install sequence runs there.
#pragma once
#include <cstdint>
#include <string>

#include "Handles.h"
#include "LogText.h"

class RunLog {
public:
    RunLog() = default;
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Makes a new log in LogFolder(), named after `program` and the local time now
    // (QvKu_20261210_135317.log, or _2, _3 ... when that name is taken). Closes a log opened
    // before. False when no file could be made; Line then does nothing.
    bool Open(const std::string& program);
    // The same in `folder` (a trailing backslash is optional) for a given start time.
    bool OpenIn(const std::string& folder, const std::string& program, const LogTime& start);

    // Writes `text` (in the system code page) as one UTF-8 line with the local time now. Does
    // nothing when no log is open.
    void Line(const std::string& text);

    bool IsOpen() const { return file_.valid(); }
    // The open log's full path; the empty text when none could be made.
    const std::string& Path() const { return path_; }
    // Closes the log; later lines are dropped.
    void Close();

private:
    UniqueFile file_;
    std::string path_;
};

// The temp folder of the account that runs the program, with a trailing backslash: what
// GetTempPathA names, and %windir%\temp\ only when that fails. The empty text when both fail.
std::string LogFolder();

// The system's text for a Win32 error, in the system code page, without its trailing line break
// and full stop; "unknown error" when the system has none.
std::string Win32ErrorText(uint32_t error);
