// Names that no one can guess or take first: hex digits from the system's cryptographic random
// source.
#pragma once
#include <cstddef>
#include <string>

// `byteCount` random bytes as lower-case hex digits; the empty text when the source fails.
std::string RandomHex(size_t byteCount);
