#include "LayoutFormat.h"

#include <array>
#include <cstring>
#include <iterator>
#include <set>

namespace {

constexpr size_t kMaxNameLength = 63;
constexpr size_t kMaxTextLength = 4096;
constexpr size_t kMaxFaceLength = 31;
constexpr int kMaxCoordinate = 4096;
constexpr int kMaxSize = 4096;
constexpr uint16_t kMaxElements = 512;
constexpr uint16_t kMaxPictures = 64;
constexpr uint8_t kMaxEvents = 16;
constexpr uint16_t kMaxMemoLines = 256;
constexpr uint32_t kMaxPictureBytes = 16u << 20;
constexpr uint32_t kMaxTimerInterval = 3600000;
constexpr uint16_t kNoPicture = 0xFFFF;
constexpr uint8_t kFlagVisible = 1, kFlagEnabled = 2, kFlagAutoSize = 4, kFlagTransparent = 8,
                  kFlagOwnFont = 16;
constexpr uint8_t kMemoReadOnly = 1, kMemoVerticalScrollBar = 2, kMemoWordWrap = 4;

const char* const kFormEvents[] = {"OnCreate", "OnActivate", "OnClose", "OnKeyDown"};
const char* const kVisualEvents[] = {"OnClick", "OnMouseMove", "OnMouseLeave"};
const char* const kTimerEvents[] = {"OnTimer"};

// The Win32 *_CHARSET values.
const uint8_t kCharsets[] = {0, 1, 2, 77, 128, 129, 130, 134, 136, 161, 162, 163, 177, 178, 186, 204, 222, 238, 255};

// Reads fields in order; the first fault is kept as the error, with the place it was found.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    std::string where;  // "element 3 (Image2)"
    std::string error;

    bool Fail(const std::string& field, const std::string& problem) {
        if (error.empty()) {
            error = where.empty() ? "" : where + ": ";
            error += field + ": " + problem + " (body offset " + std::to_string(pos_) + ")";
        }
        return false;
    }

    size_t Left() const { return size_ - pos_; }
    size_t Position() const { return pos_; }

    bool Need(size_t n, const std::string& field) {
        if (n > Left())
            return Fail(field, "needs " + std::to_string(n) + " bytes, only " + std::to_string(Left()) +
                                   " left in the data");
        return true;
    }

    bool U8(uint8_t& v, const std::string& field) {
        if (!Need(1, field)) return false;
        v = data_[pos_++];
        return true;
    }
    bool U16(uint16_t& v, const std::string& field) {
        if (!Need(2, field)) return false;
        v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool I16(int& v, const std::string& field) {
        uint16_t u;
        if (!U16(u, field)) return false;
        v = u >= 0x8000 ? static_cast<int>(u) - 0x10000 : static_cast<int>(u);
        return true;
    }
    bool U32(uint32_t& v, const std::string& field) {
        if (!Need(4, field)) return false;
        v = static_cast<uint32_t>(data_[pos_]) | static_cast<uint32_t>(data_[pos_ + 1]) << 8 |
            static_cast<uint32_t>(data_[pos_ + 2]) << 16 | static_cast<uint32_t>(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    // The length is checked against both the limit and what is left before anything is copied.
    bool Str(std::string& s, size_t maxLength, const std::string& field) {
        uint16_t n;
        if (!U16(n, field + " length")) return false;
        if (n > maxLength)
            return Fail(field, "length " + std::to_string(n) + " is over the limit of " + std::to_string(maxLength));
        if (!Need(n, field)) return false;
        s.assign(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return true;
    }
    bool Bytes(std::vector<uint8_t>& out, size_t n, const std::string& field) {
        if (!Need(n, field)) return false;
        out.assign(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool IsName(const std::string& s) {
    if (s.empty() || s.size() > kMaxNameLength) return false;
    if (s[0] >= '0' && s[0] <= '9') return false;
    for (char c : s) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

// Single bytes 0..0x7F (NUL excluded) or a lead byte 0x81..0xFE with a trail byte 0x40..0xFE
// other than 0x7F. Returns the offset of the first bad byte, or -1.
long FirstBadGbkByte(const std::string& s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = p[i];
        if (c == 0) return static_cast<long>(i);
        if (c < 0x80) continue;
        if (c == 0x80 || c == 0xFF) return static_cast<long>(i);
        if (i + 1 >= s.size()) return static_cast<long>(i);
        unsigned char t = p[i + 1];
        if (t < 0x40 || t == 0x7F || t == 0xFF) return static_cast<long>(i + 1);
        ++i;
    }
    return -1;
}

bool ReadName(Reader& r, std::string& s, const std::string& field) {
    if (!r.Str(s, kMaxNameLength, field)) return false;
    if (!IsName(s)) return r.Fail(field, "\"" + s + "\" is not a name (ASCII letters, digits, underscore)");
    return true;
}

bool ReadText(Reader& r, std::string& s, const std::string& field) {
    if (!r.Str(s, kMaxTextLength, field)) return false;
    long bad = FirstBadGbkByte(s);
    if (bad >= 0) return r.Fail(field, "not well-formed GBK at text byte " + std::to_string(bad));
    return true;
}

bool CheckColour(Reader& r, uint32_t c, const std::string& field) {
    if (c & kSystemColourFlag) {
        if ((c & ~kSystemColourFlag) > 30)
            return r.Fail(field, "unknown system colour " + std::to_string(c & ~kSystemColourFlag));
    } else if (c > 0xFFFFFF) {
        return r.Fail(field, "value " + std::to_string(c) + " is neither a system colour nor an RGB value");
    }
    return true;
}

bool ReadFont(Reader& r, FontLayout& f, const std::string& field) {
    if (!r.Str(f.face, kMaxFaceLength, field + " face")) return false;
    if (f.face.empty()) return r.Fail(field + " face", "empty");
    long bad = FirstBadGbkByte(f.face);
    if (bad >= 0) return r.Fail(field + " face", "not well-formed GBK at byte " + std::to_string(bad));
    uint16_t height;
    if (!r.U16(height, field + " height")) return false;
    if (height < 1 || height > 256) return r.Fail(field + " height", std::to_string(height) + " is outside 1..256");
    f.height = height;
    if (!r.U8(f.style, field + " style")) return false;
    if (f.style & ~0x0F) return r.Fail(field + " style", "unknown style bits " + std::to_string(f.style));
    if (!r.U32(f.colour, field + " colour") || !CheckColour(r, f.colour, field + " colour")) return false;
    if (!r.U8(f.charset, field + " charset")) return false;
    bool known = false;
    for (uint8_t c : kCharsets) known = known || c == f.charset;
    if (!known) return r.Fail(field + " charset", "unknown character set " + std::to_string(f.charset));
    return true;
}

bool ReadEvents(Reader& r, std::vector<EventBinding>& events, const char* const* allowed, size_t allowedCount) {
    uint8_t count;
    if (!r.U8(count, "event count")) return false;
    if (count > kMaxEvents) return r.Fail("event count", std::to_string(count) + " is over the limit of 16");
    events.clear();
    for (uint8_t i = 0; i < count; ++i) {
        const std::string field = "event " + std::to_string(i);
        EventBinding e;
        if (!ReadName(r, e.event, field + " name") || !ReadName(r, e.handler, field + " handler")) return false;
        bool known = false;
        for (size_t k = 0; k < allowedCount; ++k) known = known || e.event == allowed[k];
        if (!known) return r.Fail(field + " name", "\"" + e.event + "\" is not an event of this kind of owner");
        for (const auto& other : events)
            if (other.event == e.event) return r.Fail(field + " name", "\"" + e.event + "\" is bound twice");
        events.push_back(std::move(e));
    }
    return true;
}

bool ReadForm(Reader& r, FormLayout& f) {
    r.where = "form";
    if (!ReadName(r, f.name, "name")) return false;
    r.where = "form " + f.name;
    if (!ReadName(r, f.className, "class name")) return false;
    uint16_t w, h;
    if (!r.U16(w, "client width") || !r.U16(h, "client height")) return false;
    if (w < 1 || w > kMaxSize || h < 1 || h > kMaxSize)
        return r.Fail("client size", std::to_string(w) + " x " + std::to_string(h) + " is outside 1..4096");
    f.clientWidth = w;
    f.clientHeight = h;
    uint8_t border;
    if (!r.U8(border, "border")) return false;
    if (border > 1) return r.Fail("border", "unknown border style " + std::to_string(border));
    f.border = static_cast<BorderStyle>(border);
    if (!ReadText(r, f.caption, "caption")) return false;
    if (!r.U32(f.colour, "colour") || !CheckColour(r, f.colour, "colour")) return false;
    if (!ReadFont(r, f.font, "font")) return false;
    uint8_t position, keyPreview;
    if (!r.U8(position, "position")) return false;
    if (position > 1) return r.Fail("position", "unknown position rule " + std::to_string(position));
    f.position = static_cast<FormPosition>(position);
    if (!r.U8(keyPreview, "key preview")) return false;
    if (keyPreview > 1) return r.Fail("key preview", "must be 0 or 1, not " + std::to_string(keyPreview));
    f.keyPreview = keyPreview == 1;
    return ReadEvents(r, f.events, kFormEvents, std::size(kFormEvents));
}

bool IsPictureKind(ElementKind k) { return k == ElementKind::Picture || k == ElementKind::AnimatedPicture; }

bool ReadElement(Reader& r, size_t index, ElementLayout& e) {
    r.where = "element " + std::to_string(index);
    uint8_t kind;
    if (!r.U8(kind, "kind")) return false;
    if (kind < 1 || kind > 7) return r.Fail("kind", "unknown element kind " + std::to_string(kind));
    e.kind = static_cast<ElementKind>(kind);
    if (!ReadName(r, e.name, "name")) return false;
    r.where += " (" + e.name + ")";
    if (!r.Str(e.parent, kMaxNameLength, "parent")) return false;
    if (!e.parent.empty() && !IsName(e.parent)) return r.Fail("parent", "\"" + e.parent + "\" is not a name");
    uint16_t w, h;
    if (!r.I16(e.left, "left") || !r.I16(e.top, "top") || !r.U16(w, "width") || !r.U16(h, "height")) return false;
    if (e.left < -kMaxCoordinate || e.left > kMaxCoordinate || e.top < -kMaxCoordinate || e.top > kMaxCoordinate)
        return r.Fail("position", std::to_string(e.left) + ", " + std::to_string(e.top) + " is outside -4096..4096");
    if (w > kMaxSize || h > kMaxSize)
        return r.Fail("size", std::to_string(w) + " x " + std::to_string(h) + " is outside 0..4096");
    e.width = w;
    e.height = h;
    uint8_t flags;
    if (!r.U8(flags, "flags")) return false;
    if (flags & ~0x1F) return r.Fail("flags", "unknown flag bits " + std::to_string(flags));
    e.visible = flags & kFlagVisible;
    e.enabled = flags & kFlagEnabled;
    e.autoSize = flags & kFlagAutoSize;
    e.transparent = flags & kFlagTransparent;
    e.ownFont = flags & kFlagOwnFont;
    if (!ReadText(r, e.text, "text")) return false;
    if (e.ownFont && !ReadFont(r, e.font, "font")) return false;
    uint8_t cursor;
    if (!r.U8(cursor, "cursor")) return false;
    if (cursor > 2) return r.Fail("cursor", "unknown cursor " + std::to_string(cursor));
    e.cursor = static_cast<CursorKind>(cursor);
    uint16_t picture;
    if (!r.U16(picture, "picture index")) return false;
    e.picture = picture == kNoPicture ? -1 : picture;
    uint8_t drawMode;
    if (!r.U8(drawMode, "drawing mode")) return false;
    if (drawMode > 1) return r.Fail("drawing mode", "unknown drawing mode " + std::to_string(drawMode));
    e.drawMode = static_cast<DrawMode>(drawMode);
    if (!r.U32(e.timerInterval, "timer interval")) return false;
    uint8_t memoFlags;
    if (!r.U8(memoFlags, "memo flags")) return false;
    if (memoFlags & ~0x07) return r.Fail("memo flags", "unknown flag bits " + std::to_string(memoFlags));
    e.memoReadOnly = memoFlags & kMemoReadOnly;
    e.memoVerticalScrollBar = memoFlags & kMemoVerticalScrollBar;
    e.memoWordWrap = memoFlags & kMemoWordWrap;
    uint16_t lines;
    if (!r.U16(lines, "memo line count")) return false;
    if (lines > kMaxMemoLines) return r.Fail("memo line count", std::to_string(lines) + " is over the limit of 256");
    // Every line takes at least its two length bytes, so a count the data cannot hold fails
    // before anything is reserved.
    if (!r.Need(size_t{lines} * 2, "memo lines")) return false;
    e.memoLines.resize(lines);
    for (uint16_t i = 0; i < lines; ++i)
        if (!ReadText(r, e.memoLines[i], "memo line " + std::to_string(i + 1))) return false;

    const bool isTimer = e.kind == ElementKind::Timer;
    if (isTimer) {
        if (!ReadEvents(r, e.events, kTimerEvents, std::size(kTimerEvents))) return false;
    } else if (!ReadEvents(r, e.events, kVisualEvents, std::size(kVisualEvents))) {
        return false;
    }

    // What the kind allows.
    if (IsPictureKind(e.kind) && e.picture < 0) return r.Fail("picture index", "a picture element needs a picture");
    if (!IsPictureKind(e.kind) && e.picture >= 0) return r.Fail("picture index", "only picture elements have one");
    if (!IsPictureKind(e.kind) && e.drawMode != DrawMode::Stretched)
        return r.Fail("drawing mode", "only picture elements have one");
    if (isTimer) {
        if (e.left || e.top || e.width || e.height) return r.Fail("bounds", "a timer has none");
        if (e.timerInterval < 1 || e.timerInterval > kMaxTimerInterval)
            return r.Fail("timer interval", std::to_string(e.timerInterval) + " ms is outside 1..3600000");
        if (e.cursor != CursorKind::Default) return r.Fail("cursor", "a timer has none");
        if (!e.parent.empty()) return r.Fail("parent", "a timer belongs to the form");
    } else if (e.timerInterval != 0) {
        return r.Fail("timer interval", "only a timer has one");
    }
    if (e.kind != ElementKind::Memo && (memoFlags != 0 || lines != 0))
        return r.Fail("memo lines", "only a memo has them");
    const bool hasText = e.kind == ElementKind::Label || e.kind == ElementKind::GroupBox;
    if (!hasText && !e.text.empty()) return r.Fail("text", "a " + std::string(ElementKindName(e.kind)) + " has none");
    if (e.kind == ElementKind::Hotspot && !e.transparent)
        return r.Fail("flags", "a hotspot has a transparent background");
    return true;
}

bool ReadPicture(Reader& r, size_t index, PictureData& p) {
    r.where = "picture " + std::to_string(index);
    uint8_t format;
    uint32_t length;
    if (!r.U8(format, "format")) return false;
    if (format < 1 || format > 2) return r.Fail("format", "unknown picture format " + std::to_string(format));
    p.format = static_cast<PictureFormat>(format);
    if (!r.U32(length, "length")) return false;
    if (length < 1 || length > kMaxPictureBytes)
        return r.Fail("length", std::to_string(length) + " bytes is outside 1..16 MiB");
    if (!r.Bytes(p.bytes, length, "bytes")) return false;
    const uint8_t* b = p.bytes.data();
    if (p.format == PictureFormat::Jpeg) {
        if (length < 3 || b[0] != 0xFF || b[1] != 0xD8 || b[2] != 0xFF)
            return r.Fail("bytes", "a JPEG picture does not start with FF D8 FF");
    } else if (length < 6 || (std::memcmp(b, "GIF87a", 6) != 0 && std::memcmp(b, "GIF89a", 6) != 0)) {
        return r.Fail("bytes", "a GIF picture does not start with GIF87a or GIF89a");
    }
    return true;
}

// The checks that need the whole form: unique names, parents, picture references.
bool CheckForm(const FormLayout& f, std::string& error) {
    std::set<std::string> seen;
    std::vector<bool> used(f.pictures.size(), false);
    for (size_t i = 0; i < f.elements.size(); ++i) {
        const ElementLayout& e = f.elements[i];
        const std::string where = "element " + std::to_string(i) + " (" + e.name + "): ";
        if (!seen.insert(e.name).second) {
            error = where + "name: \"" + e.name + "\" is used by an earlier element";
            return false;
        }
        if (!e.parent.empty()) {
            const ElementLayout* parent = nullptr;
            for (size_t k = 0; k < i; ++k)
                if (f.elements[k].name == e.parent) parent = &f.elements[k];
            if (!parent) {
                error = where + "parent: no earlier element is called \"" + e.parent + "\"";
                return false;
            }
            if (parent->kind != ElementKind::GroupBox) {
                error = where + "parent: \"" + e.parent + "\" is a " + ElementKindName(parent->kind) +
                        ", not a group box";
                return false;
            }
        }
        if (e.picture >= 0) {
            if (static_cast<size_t>(e.picture) >= f.pictures.size()) {
                error = where + "picture index: " + std::to_string(e.picture) + " is out of range (" +
                        std::to_string(f.pictures.size()) + " pictures)";
                return false;
            }
            if (e.kind == ElementKind::AnimatedPicture && f.pictures[e.picture].format != PictureFormat::Gif) {
                error = where + "picture index: an animated picture needs a GIF";
                return false;
            }
            used[e.picture] = true;
        }
    }
    for (size_t i = 0; i < used.size(); ++i)
        if (!used[i]) {
            error = "picture " + std::to_string(i) + ": no element uses it";
            return false;
        }
    return true;
}

}  // namespace

uint32_t LayoutCrc32(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

bool ParseLayout(const uint8_t* data, size_t size, FormLayout& out, std::string& error) {
    out = FormLayout();
    error.clear();
    if (!data && size) {
        error = "no data";
        return false;
    }
    if (size < kLayoutHeaderSize) {
        error = "header: the data is " + std::to_string(size) + " bytes, shorter than the 16-byte header";
        return false;
    }
    if (std::memcmp(data, "QVLY", 4) != 0) {
        error = "header: not a window layout (magic is not QVLY)";
        return false;
    }
    Reader header(data + 4, kLayoutHeaderSize - 4);
    uint16_t version = 0, reserved = 0;
    uint32_t bodySize = 0, crc = 0;
    header.U16(version, "version");
    header.U16(reserved, "reserved");
    header.U32(bodySize, "body size");
    header.U32(crc, "checksum");
    if (version != kLayoutVersion) {
        error = "header: layout version " + std::to_string(version) + ", this program reads version 1";
        return false;
    }
    if (reserved != 0) {
        error = "header: reserved field is " + std::to_string(reserved) + ", not 0";
        return false;
    }
    if (bodySize != size - kLayoutHeaderSize) {
        error = "header: body size says " + std::to_string(bodySize) + " bytes, the data holds " +
                std::to_string(size - kLayoutHeaderSize);
        return false;
    }
    const uint8_t* body = data + kLayoutHeaderSize;
    if (LayoutCrc32(body, bodySize) != crc) {
        error = "header: checksum does not match the body: the data is damaged";
        return false;
    }

    Reader r(body, bodySize);
    FormLayout f;
    if (!ReadForm(r, f)) {
        error = r.error;
        return false;
    }
    r.where = "form " + f.name;
    uint16_t elementCount;
    if (!r.U16(elementCount, "element count")) {
        error = r.error;
        return false;
    }
    if (elementCount > kMaxElements) {
        r.Fail("element count", std::to_string(elementCount) + " is over the limit of 512");
        error = r.error;
        return false;
    }
    for (uint16_t i = 0; i < elementCount; ++i) {
        ElementLayout e;
        if (!ReadElement(r, i, e)) {
            error = r.error;
            return false;
        }
        f.elements.push_back(std::move(e));
    }
    r.where = "form " + f.name;
    uint16_t pictureCount;
    if (!r.U16(pictureCount, "picture count")) {
        error = r.error;
        return false;
    }
    if (pictureCount > kMaxPictures) {
        r.Fail("picture count", std::to_string(pictureCount) + " is over the limit of 64");
        error = r.error;
        return false;
    }
    for (uint16_t i = 0; i < pictureCount; ++i) {
        PictureData p;
        if (!ReadPicture(r, i, p)) {
            error = r.error;
            return false;
        }
        f.pictures.push_back(std::move(p));
    }
    if (r.Left() != 0) {
        error = "form " + f.name + ": " + std::to_string(r.Left()) + " bytes follow the last picture";
        return false;
    }
    if (!CheckForm(f, error)) return false;
    out = std::move(f);
    return true;
}

const ElementLayout* FindElement(const FormLayout& form, const std::string& name) {
    for (const auto& e : form.elements)
        if (e.name == name) return &e;
    return nullptr;
}

std::string HandlerFor(const std::vector<EventBinding>& events, const std::string& event) {
    for (const auto& e : events)
        if (e.event == event) return e.handler;
    return std::string();
}

const char* ElementKindName(ElementKind kind) {
    switch (kind) {
    case ElementKind::Picture: return "Picture";
    case ElementKind::AnimatedPicture: return "AnimatedPicture";
    case ElementKind::Label: return "Label";
    case ElementKind::Hotspot: return "Hotspot";
    case ElementKind::Timer: return "Timer";
    case ElementKind::GroupBox: return "GroupBox";
    case ElementKind::Memo: return "Memo";
    }
    return "unknown kind";
}
