// A picture as a 32-bit top-down DIB section, from JPEG bytes or from composed pixels.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

#include "../../services/Handles.h"

class Picture {
public:
    // Decodes a JPEG; false with a message when the data is not one.
    bool LoadJpeg(const uint8_t* data, size_t size, std::string& error);
    // Takes width*height BGRA pixels (alpha 0 is transparent).
    bool SetPixels(int width, int height, const uint32_t* bgra);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Draws into `dest` scaled to it (stretched) or unscaled from its top-left corner and
    // clipped to it (natural).
    void Draw(HDC dc, const RECT& dest, bool stretched) const;

private:
    bool Allocate(int width, int height);
    UniqueBitmap bitmap_;
    uint32_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
    bool hasAlpha_ = false;
};
