#include "Picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

bool Picture::Allocate(int width, int height) {
    bitmap_.reset();
    bits_ = nullptr;
    width_ = height_ = 0;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp) return false;
    bitmap_.reset(bmp);
    bits_ = static_cast<uint32_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
}

bool Picture::SetPixels(int width, int height, const uint32_t* bgra) {
    if ((width != width_ || height != height_) && !Allocate(width, height)) return false;
    GdiFlush();
    std::memcpy(bits_, bgra, size_t(width) * size_t(height) * 4);
    hasAlpha_ = false;
    for (int i = 0; i < width * height && !hasAlpha_; ++i) hasAlpha_ = (bgra[i] >> 24) != 0xFF;
    // Alpha blending wants premultiplied colour.
    if (hasAlpha_) {
        for (int i = 0; i < width * height; ++i) {
            uint32_t p = bits_[i], a = p >> 24;
            uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
            bits_[i] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return true;
}

namespace {
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};
void OnJpegError(j_common_ptr info) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}
void OnJpegMessage(j_common_ptr, int) {}
}  // namespace

bool Picture::LoadJpeg(const uint8_t* data, size_t size, std::string& error) {
    jpeg_decompress_struct info;
    JpegError jerr;
    info.err = jpeg_std_error(&jerr.manager);
    jerr.manager.error_exit = OnJpegError;
    jerr.manager.emit_message = OnJpegMessage;
    jerr.message[0] = 0;
    // Nothing that needs a destructor lives between setjmp and the decoding below.
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&info);
        error = std::string("JPEG: ") + jerr.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    if (!Allocate(int(info.output_width), int(info.output_height))) {
        jpeg_destroy_decompress(&info);
        error = "JPEG: cannot hold a picture of that size";
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(bits_ + size_t(info.output_scanline) * width_);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    for (int i = 0; i < width_ * height_; ++i) bits_[i] |= 0xFF000000u;
    hasAlpha_ = false;
    return true;
}

void Picture::Draw(HDC dc, const RECT& dest, bool stretched) const {
    if (!bits_) return;
    UniqueDc source(CreateCompatibleDC(dc));
    if (!source) return;
    Selection picture(source.get(), bitmap_.get());
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    int sw = width_, sh = height_, w = dw, h = dh;
    if (!stretched) {
        w = sw = dw < width_ ? dw : width_;
        h = sh = dh < height_ ? dh : height_;
    }
    if (hasAlpha_) {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        GdiAlphaBlend(dc, dest.left, dest.top, w, h, source.get(), 0, 0, sw, sh, blend);
    } else if (w == sw && h == sh) {
        BitBlt(dc, dest.left, dest.top, w, h, source.get(), 0, 0, SRCCOPY);
    } else {
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, dest.left, dest.top, w, h, source.get(), 0, 0, sw, sh, SRCCOPY);
    }
}
