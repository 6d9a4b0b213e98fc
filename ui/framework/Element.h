// A form's element: plain data, painted by its form bottom to top in creation order and
// hit-tested top to bottom. Windowless except the group box and the memo, which are the
// platform's own controls.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "LayoutFormat.h"


using Handler = std::function<void()>;

struct FontLook {
    std::string face;
    int height = 12;          // character height in pixels
    bool bold = false;
    bool italic = false;
    bool underline = false;
    COLORREF color = 0;       // a COLORREF, or a system colour index with kSystemColourFlag
    int charset = DEFAULT_CHARSET;
};
COLORREF ResolveColor(COLORREF color);

struct Element {
    ElementKind kind = ElementKind::Picture;
    std::string name;
    int parent = -1;          // index of the group box it lies in, or -1
    int left = 0, top = 0, width = 0, height = 0;
    bool visible = true;
    bool enabled = true;
    std::string text;
    std::vector<std::string> lines;   // memo lines
    bool autoSize = false;
    bool transparent = true;
    bool ownFont = false;
    FontLook font;
    COLORREF textColor = 0;   // resolved colour the label draws in
    CursorKind cursor = CursorKind::Default;
    int picture = -1;         // index into the form's pictures
    DrawMode drawMode = DrawMode::Stretched;
    unsigned interval = 1000; // timers
    bool readOnly = false, verticalScroll = false, wordWrap = true;  // memos
    Handler onClick, onMouseMove, onMouseLeave, onTimer;
    HWND control = nullptr;   // the platform control of a group box or memo
    HFONT hfont = nullptr;    // owned by the form

    RECT Bounds() const { return RECT{left, top, left + width, top + height}; }
    bool Contains(POINT p) const { return p.x >= left && p.x < left + width && p.y >= top && p.y < top + height; }
    bool Windowless() const { return kind != ElementKind::GroupBox && kind != ElementKind::Memo; }
};
