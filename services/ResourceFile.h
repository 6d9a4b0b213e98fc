// Resources of the running executable written to files, straight from the mapped image.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

#include "Handles.h"

// Writes the resource of the running executable with that type and name (any letter case, any
// one language) to `path`, replacing a file there. False when the resource is missing (the file
// is then left alone), when the file can't be made, or when the write stops short.
bool ExtractResourceToFile(const std::string& type, const std::string& name, const std::string& path);

// The same write a piece at a time, for callers that handle window messages between pieces.
class ResourceFileWriter {
public:
    // Finds the resource and makes the file. False when the resource is missing (the file is
    // then left alone) or the file can't be made.
    bool Open(const std::string& type, const std::string& name, const std::string& path);
    // Writes up to `maxBytes` more and closes the file after the last byte. False when a write
    // stops short or closing fails.
    bool WriteSome(DWORD maxBytes);
    // The whole resource is written and the file closed.
    bool Done() const { return done_; }
    // The Win32 error of the failure (ERROR_RESOURCE_NAME_NOT_FOUND for a missing resource,
    // ERROR_DISK_FULL for a write that stopped short without one); 0 while nothing failed.
    uint32_t Error() const { return error_; }

private:
    bool Fail(uint32_t error);

    UniqueFile file_;
    const char* bytes_ = nullptr;
    DWORD size_ = 0, offset_ = 0;
    bool done_ = false;
    uint32_t error_ = 0;
};
