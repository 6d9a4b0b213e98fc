// The layout parser over any bytes: as given, and again with the header's size and checksum
// made to fit, so that the fuzzer gets past the checksum into the structure checks.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "LayoutFormat.h"

namespace {

void Check(const uint8_t* data, size_t size) {
    FormLayout form;
    std::string error;
    if (!ParseLayout(data, size, form, error)) {
        if (error.empty()) __builtin_trap();
        return;
    }
    if (!error.empty()) __builtin_trap();
    std::set<std::string> names;
    for (const auto& e : form.elements) {
        if (!names.insert(e.name).second) __builtin_trap();
        if (e.picture >= static_cast<int>(form.pictures.size())) __builtin_trap();
        if (e.width < 0 || e.width > 4096 || e.height < 0 || e.height > 4096) __builtin_trap();
        if (!e.parent.empty() && !FindElement(form, e.parent)) __builtin_trap();
        HandlerFor(e.events, "OnClick");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(data, size);
    if (size >= kLayoutHeaderSize) {
        std::vector<uint8_t> sealed(data, data + size);
        const uint32_t body = static_cast<uint32_t>(size - kLayoutHeaderSize);
        const uint32_t crc = LayoutCrc32(sealed.data() + kLayoutHeaderSize, body);
        for (int i = 0; i < 4; ++i) {
            sealed[8 + i] = static_cast<uint8_t>(body >> (8 * i));
            sealed[12 + i] = static_cast<uint8_t>(crc >> (8 * i));
        }
        Check(sealed.data(), sealed.size());
    }
    return 0;
}
