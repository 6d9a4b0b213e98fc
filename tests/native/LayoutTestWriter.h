// Writes a FormLayout as a layout blob, for the parser's tests. Any single field can be written
// with a raw value of the test's choosing instead of the right one, so each check of the
// parser can be reached on its own; the checksum is computed afterwards (unless it is the
// field overridden), so the fault is found by the structure checks, not by the checksum.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "LayoutFormat.h"

struct FieldOverride {
    std::string owner;  // "header", "form", "element N", "picture N"
    std::string field;  // as the parser names it: "version", "client width", "text length", ...
    uint64_t value;
};

std::vector<uint8_t> WriteLayoutBlob(const FormLayout& form, const std::vector<FieldOverride>& overrides = {});

// Sets the header's body size and checksum to fit the data as it now is.
void ResealLayoutBlob(std::vector<uint8_t>& blob);
