// The stored window layouts: the RCDATA resources "TFORM1" (the main window, with every one of
// its pictures) and "TFORM2" (the About dialog). They are made at build time by
// tools/pack_layout.py from the readable sources resources/TForm1.layout and TForm2.layout.
// Pure: no platform calls, so the parser is tested and fuzzed natively.
//
// Binary format, version 1. All numbers little-endian; "i16" is two's complement.
//
//   Header, 16 bytes
//     0  4  magic "QVLY"
//     4  u16 version, 1
//     6  u16 reserved, 0
//     8  u32 body size: the blob is exactly 16 + body size bytes
//    12  u32 CRC-32 of the body (IEEE polynomial, the value zlib's crc32 gives)
//   Body
//     Form
//       str name, str class name
//       u16 client width, u16 client height          1..4096
//       u8  border: 0 none, 1 single fixed dialog (title bar, system menu, close box)
//       str caption
//       u32 colour
//       Font
//       u8  position: 0 centred on the desktop, 1 centred on the main window
//       u8  key preview: 0 or 1
//       Events                                          OnCreate OnActivate OnClose OnKeyDown
//     u16 element count                                0..512
//     Element x count, in creation order, which is the stacking order from bottom to top
//       u8  kind: 1 Picture, 2 AnimatedPicture, 3 Label, 4 Hotspot, 5 Timer, 6 GroupBox, 7 Memo
//       str name
//       str parent: empty for the form itself, else the name of an earlier GroupBox; the
//           position then counts from that group box's client area
//       i16 left, i16 top                              -4096..4096
//       u16 width, u16 height                          0..4096 (all four 0 for a Timer)
//       u8  flags: 1 visible, 2 enabled (for a Timer: running), 4 sizes to its text,
//           8 transparent background, 16 own font (else the form's); other bits 0
//       str text (a Label's line, a GroupBox's title; empty for the other kinds)
//       Font, present only with flag 16
//       u8  cursor: 0 default (none of its own), 1 arrow, 2 hand
//       u16 picture index into the picture table, 0xFFFF none; required for the two picture
//           kinds (an AnimatedPicture's must be a GIF), none for the others
//       u8  drawing mode: 0 stretched to the element, 1 natural size from the top-left corner
//       u32 timer interval in ms: 1..3600000 for a Timer, else 0
//       u8  memo flags: 1 read-only, 2 vertical scroll bar, 4 word wrap (0 unless a Memo)
//       u16 memo line count (0..256, 0 unless a Memo), then str x count
//       Events                                          OnClick OnMouseMove OnMouseLeave; OnTimer
//     u16 picture count                                0..64; every picture is used
//     Picture x count
//       u8  format: 1 JPEG (starts FF D8 FF), 2 GIF (starts "GIF87a" or "GIF89a")
//       u32 length (1..16 MiB), then the file's bytes
//
//   str    u16 length, then the bytes, no terminator. Names: 1..63 ASCII letters, digits and
//          underscores, not starting with a digit. Texts: at most 4096 bytes of well-formed
//          GBK (code page 936), no NUL.
//   Font   str face (1..31 bytes), u16 character height in pixels (1..256; the height of the
//          letters without internal leading, i.e. a negative lfHeight), u8 style bits
//          (1 bold, 2 italic, 4 underline, 8 strikeout), u32 colour, u8 character set (a
//          Win32 *_CHARSET value)
//   colour 0x80000000 | n: the platform's system colour n (a COLOR_* index, 0..30);
//          otherwise 0x00BBGGRR, a COLORREF
//   Events u8 count (0..16), then (str event name, str handler name) x count; an event once
//          per owner; one handler may serve several elements
//
// Element names are unique within the form. A Hotspot has no text and a transparent
// background: it draws nothing and only catches the pointer. The blob must end exactly after
// the last picture.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t kLayoutVersion = 1;
constexpr size_t kLayoutHeaderSize = 16;

constexpr uint32_t kSystemColourFlag = 0x80000000u;
constexpr uint32_t kColourBtnFace = kSystemColourFlag | 15;    // COLOR_BTNFACE
constexpr uint32_t kColourWindowText = kSystemColourFlag | 8;  // COLOR_WINDOWTEXT

enum FontStyleBits : uint8_t { kFontBold = 1, kFontItalic = 2, kFontUnderline = 4, kFontStrikeOut = 8 };

enum class ElementKind : uint8_t { Picture = 1, AnimatedPicture, Label, Hotspot, Timer, GroupBox, Memo };
enum class BorderStyle : uint8_t { None = 0, Dialog = 1 };
enum class FormPosition : uint8_t { DesktopCenter = 0, MainFormCenter = 1 };
enum class CursorKind : uint8_t { Default = 0, Arrow = 1, Hand = 2 };
enum class DrawMode : uint8_t { Stretched = 0, Natural = 1 };
enum class PictureFormat : uint8_t { Jpeg = 1, Gif = 2 };

struct FontLayout {
    std::string face;  // GBK bytes
    int height = 0;    // character height in pixels
    uint8_t style = 0;
    uint32_t colour = 0;
    uint8_t charset = 0;
};

struct EventBinding {
    std::string event;    // "OnClick"
    std::string handler;  // "Label3Click"
};

struct ElementLayout {
    ElementKind kind = ElementKind::Label;
    std::string name;
    std::string parent;  // empty: on the form
    int left = 0, top = 0, width = 0, height = 0;
    bool visible = true;
    bool enabled = true;
    bool autoSize = false;
    bool transparent = false;
    bool ownFont = false;
    FontLayout font;   // meaningful only with ownFont
    std::string text;  // GBK bytes
    CursorKind cursor = CursorKind::Default;
    int picture = -1;  // index into FormLayout::pictures, -1 none
    DrawMode drawMode = DrawMode::Stretched;
    uint32_t timerInterval = 0;
    bool memoReadOnly = false;
    bool memoVerticalScrollBar = false;
    bool memoWordWrap = false;
    std::vector<std::string> memoLines;  // GBK bytes
    std::vector<EventBinding> events;
};

struct PictureData {
    PictureFormat format = PictureFormat::Jpeg;
    std::vector<uint8_t> bytes;  // the whole JPEG or GIF file
};

struct FormLayout {
    std::string name;
    std::string className;
    int clientWidth = 0, clientHeight = 0;
    BorderStyle border = BorderStyle::None;
    std::string caption;  // GBK bytes
    uint32_t colour = 0;
    FontLayout font;
    FormPosition position = FormPosition::DesktopCenter;
    bool keyPreview = false;
    std::vector<EventBinding> events;
    std::vector<ElementLayout> elements;  // creation order = stacking order, bottom first
    std::vector<PictureData> pictures;
};

// Reads and checks a whole blob. On any fault returns false with `error` naming the element or
// field and what is wrong; `out` is then not to be used. Reads nothing outside [data, data + size).
bool ParseLayout(const uint8_t* data, size_t size, FormLayout& out, std::string& error);

// The CRC-32 the header carries (zlib's crc32 of the bytes, starting from 0).
uint32_t LayoutCrc32(const uint8_t* data, size_t size);

// The element called `name`, or nullptr.
const ElementLayout* FindElement(const FormLayout& form, const std::string& name);

// The handler bound to `event` ("OnClick"), or the empty text.
std::string HandlerFor(const std::vector<EventBinding>& events, const std::string& event);

const char* ElementKindName(ElementKind kind);
