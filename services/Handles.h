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
inline void Gdi(HGDIOBJ h) { DeleteObject(h); }
inline void Dc(HDC h) { DeleteDC(h); }
inline void Module(HMODULE h) { FreeLibrary(h); }
inline void Local(HLOCAL h) { LocalFree(h); }
inline void Window(HWND h) { DestroyWindow(h); }
inline void Icon(HICON h) { DestroyIcon(h); }
}  // namespace closers

using UniqueKey = Unique<HKEY, closers::Key>;
// Process, thread, event handles; null means none.
using UniqueHandle = Unique<HANDLE, closers::Handle>;
// What CreateFileA returns: INVALID_HANDLE_VALUE means none.
class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) : h_(h) {}
    ~UniqueFile() { if (valid()) CloseHandle(h_); }
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    // Closes what is held and takes `h`.
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }
    // Closes now and reports whether closing worked, for writers that must know.
    bool close() {
        bool ok = !valid() || CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};
using UniqueGdiObject = Unique<HGDIOBJ, closers::Gdi>;
using UniqueDc = Unique<HDC, closers::Dc>;
using UniqueModule = Unique<HMODULE, closers::Module>;
using UniqueLocal = Unique<HLOCAL, closers::Local>;
using UniqueWindow = Unique<HWND, closers::Window>;
using UniqueIcon = Unique<HICON, closers::Icon>;
