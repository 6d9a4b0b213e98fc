// Bytes as lower-case hex digits, two a byte: names made of random bytes, and texts handed to
// the tests through the window's state, which must pass any byte unchanged.
#pragma once
#include <string>

inline std::string HexText(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * count);
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

inline std::string HexText(const std::string& bytes) {
    return HexText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}
