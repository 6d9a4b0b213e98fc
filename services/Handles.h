// Owners for what the platform hands out: each closes its handle exactly once, on every path,
// so no function has to close anything by hand.
#pragma once
#include <windows.h>
#include <utility>

template <class H, void (*Close)(H), H Empty = H()>
class Unique {
public:
    Unique() = default;
    explicit Unique(H h) : h_(h) {}
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Empty)) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) { reset(); h_ = std::exchange(o.h_, Empty); }
        return *this;
    }
    H get() const { return h_; }
    explicit operator bool() const { return h_ != Empty; }
    // For out-parameters of the platform: drops what is held, then lends the slot.
    H* put() { reset(); return &h_; }
    H release() { return std::exchange(h_, Empty); }
    void reset(H h = Empty) {
        if (h_ != Empty) Close(h_);
        h_ = h;
    }

private:
    H h_ = Empty;
};

namespace closers {
inline void Key(HKEY h) { RegCloseKey(h); }
inline void Handle(HANDLE h) { CloseHandle(h); }
inline void Bitmap(HBITMAP h) { DeleteObject(h); }
inline void Font(HFONT h) { DeleteObject(h); }
inline void Brush(HBRUSH h) { DeleteObject(h); }
inline void Region(HRGN h) { DeleteObject(h); }
inline void Dc(HDC h) { DeleteDC(h); }
inline void Module(HMODULE h) { FreeLibrary(h); }
inline void Local(HLOCAL h) { LocalFree(h); }
inline void Environment(LPCH h) { FreeEnvironmentStringsA(h); }
}  // namespace closers

using UniqueKey = Unique<HKEY, closers::Key>;
// Process, thread, event handles; null means none.
using UniqueHandle = Unique<HANDLE, closers::Handle>;
// What CreateFileA returns: INVALID_HANDLE_VALUE means none (and so does null).
class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) { reset(h); }
    HANDLE get() const { return h_ ? h_.get() : INVALID_HANDLE_VALUE; }
    bool valid() const { return bool(h_); }
    // Closes what is held and takes `h`.
    void reset(HANDLE h = INVALID_HANDLE_VALUE) { h_.reset(h == INVALID_HANDLE_VALUE ? nullptr : h); }
    // Closes now and reports whether closing worked, for writers that must know.
    bool close() {
        HANDLE h = h_.release();
        return !h || CloseHandle(h);
    }

private:
    UniqueHandle h_;
};
// GDI objects by kind: a font cannot stand where a bitmap belongs.
using UniqueBitmap = Unique<HBITMAP, closers::Bitmap>;
using UniqueFont = Unique<HFONT, closers::Font>;
using UniqueBrush = Unique<HBRUSH, closers::Brush>;
using UniqueRegion = Unique<HRGN, closers::Region>;
// A device context made by CreateCompatibleDC.
using UniqueDc = Unique<HDC, closers::Dc>;
using UniqueModule = Unique<HMODULE, closers::Module>;
using UniqueLocal = Unique<HLOCAL, closers::Local>;
// What GetEnvironmentStringsA hands out.
using UniqueEnvironment = Unique<LPCH, closers::Environment>;

// The device context of a window, from GetDC, given back by ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// The painting of a WM_PAINT, from BeginPaint to EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() {
        if (dc_) EndPaint(window_, &paint_);
    }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    const RECT& Dirty() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

// An object selected into a device context for as long as the guard lives; the one it
// replaced goes back on every path. Declared after the owners of the object and the context,
// so that it is undone before either is deleted. Not for regions: for them SelectObject answers
// the region's shape, not what it replaced (SelectClipRgn copies the region anyway).
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~Selection() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
