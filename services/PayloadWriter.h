// Writes the extractor and the payload archive into the work folder a piece at a time. The
// install sequence writes them during its fixed one-second pause, with the window's messages
// handled between the pieces: the 77 MB write then costs no time beyond the pause and never
// freezes the window, and the system has had time to write it back to disk before the
// extractor reads it. All of it on the one thread, like the rest of the sequence.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ResourceFile.h"

struct PayloadFile {
    const char* type;   // resource type and name, found as ExtractResourceToFile finds them
    const char* name;
    std::string path;
};

class PayloadWriter {
public:
    explicit PayloadWriter(std::vector<PayloadFile> files);

    // Writes the next piece. False once nothing is left to write: all was written, or a file
    // could not be made or written (the rest is then not tried).
    bool WriteNext();
    // Every file written whole and closed.
    bool Written() const { return !failed_ && next_ == files_.size(); }
    // The Win32 error of the file that failed (see ResourceFileWriter::Error); 0 while none did.
    uint32_t Error() const { return failed_ ? file_.Error() : 0; }

private:
    std::vector<PayloadFile> files_;
    size_t next_ = 0;
    bool opened_ = false;
    bool failed_ = false;
    ResourceFileWriter file_;
};
