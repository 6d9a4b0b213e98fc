#include "LayoutTestWriter.h"

namespace {

class Writer {
public:
    Writer(const std::vector<FieldOverride>& overrides) : overrides_(overrides) {}

    std::string owner;
    std::vector<uint8_t> out;

    uint64_t Value(const std::string& field, uint64_t value) const {
        for (const auto& o : overrides_)
            if (o.owner == owner && o.field == field) return o.value;
        return value;
    }
    void U8(const std::string& field, uint64_t v) { Raw(Value(field, v), 1); }
    void U16(const std::string& field, uint64_t v) { Raw(Value(field, v), 2); }
    void U32(const std::string& field, uint64_t v) { Raw(Value(field, v), 4); }
    void Str(const std::string& field, const std::string& s) {
        U16(field + " length", s.size());
        out.insert(out.end(), s.begin(), s.end());
    }
    void Raw(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    void Font(const std::string& field, const FontLayout& f) {
        Str(field + " face", f.face);
        U16(field + " height", f.height);
        U8(field + " style", f.style);
        U32(field + " colour", f.colour);
        U8(field + " charset", f.charset);
    }
    void Events(const std::vector<EventBinding>& events) {
        U8("event count", events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            const std::string field = "event " + std::to_string(i);
            Str(field + " name", events[i].event);
            Str(field + " handler", events[i].handler);
        }
    }

private:
    const std::vector<FieldOverride>& overrides_;
};

}  // namespace

std::vector<uint8_t> WriteLayoutBlob(const FormLayout& f, const std::vector<FieldOverride>& overrides) {
    Writer w(overrides);
    w.owner = "form";
    w.Str("name", f.name);
    w.Str("class name", f.className);
    w.U16("client width", f.clientWidth);
    w.U16("client height", f.clientHeight);
    w.U8("border", static_cast<uint8_t>(f.border));
    w.Str("caption", f.caption);
    w.U32("colour", f.colour);
    w.Font("font", f.font);
    w.U8("position", static_cast<uint8_t>(f.position));
    w.U8("key preview", f.keyPreview);
    w.Events(f.events);
    w.U16("element count", f.elements.size());
    for (size_t i = 0; i < f.elements.size(); ++i) {
        const ElementLayout& e = f.elements[i];
        w.owner = "element " + std::to_string(i);
        w.U8("kind", static_cast<uint8_t>(e.kind));
        w.Str("name", e.name);
        w.Str("parent", e.parent);
        w.U16("left", static_cast<uint16_t>(e.left));
        w.U16("top", static_cast<uint16_t>(e.top));
        w.U16("width", e.width);
        w.U16("height", e.height);
        w.U8("flags", (e.visible ? 1 : 0) | (e.enabled ? 2 : 0) | (e.autoSize ? 4 : 0) | (e.transparent ? 8 : 0) |
                          (e.ownFont ? 16 : 0));
        w.Str("text", e.text);
        if (e.ownFont) w.Font("font", e.font);
        w.U8("cursor", static_cast<uint8_t>(e.cursor));
        w.U16("picture index", e.picture < 0 ? 0xFFFF : e.picture);
        w.U8("drawing mode", static_cast<uint8_t>(e.drawMode));
        w.U32("timer interval", e.timerInterval);
        w.U8("memo flags", (e.memoReadOnly ? 1 : 0) | (e.memoVerticalScrollBar ? 2 : 0) | (e.memoWordWrap ? 4 : 0));
        w.U16("memo line count", e.memoLines.size());
        for (size_t k = 0; k < e.memoLines.size(); ++k) w.Str("memo line " + std::to_string(k + 1), e.memoLines[k]);
        w.Events(e.events);
    }
    w.owner = "form";
    w.U16("picture count", f.pictures.size());
    for (size_t i = 0; i < f.pictures.size(); ++i) {
        w.owner = "picture " + std::to_string(i);
        w.U8("format", static_cast<uint8_t>(f.pictures[i].format));
        w.U32("length", f.pictures[i].bytes.size());
        w.out.insert(w.out.end(), f.pictures[i].bytes.begin(), f.pictures[i].bytes.end());
    }
    w.owner = "form";
    w.out.resize(w.out.size() + w.Value("trailing bytes", 0), 0);

    std::vector<uint8_t> body = std::move(w.out);
    w.out.clear();
    w.owner = "header";
    w.out = {'Q', 'V', 'L', 'Y'};
    w.U16("version", kLayoutVersion);
    w.U16("reserved", 0);
    w.U32("body size", body.size());
    w.U32("checksum", LayoutCrc32(body.data(), body.size()));
    w.out.insert(w.out.end(), body.begin(), body.end());
    return w.out;
}

void ResealLayoutBlob(std::vector<uint8_t>& blob) {
    if (blob.size() < kLayoutHeaderSize) return;
    const uint32_t size = static_cast<uint32_t>(blob.size() - kLayoutHeaderSize);
    const uint32_t crc = LayoutCrc32(blob.data() + kLayoutHeaderSize, size);
    for (int i = 0; i < 4; ++i) {
        blob[8 + i] = static_cast<uint8_t>(size >> (8 * i));
        blob[12 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
}
