#include "GifTestWriter.h"

#include <algorithm>
#include <unordered_map>

namespace {

void PutWord(std::vector<uint8_t>& out, int v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

// Bits for a colour table holding at least n entries (1..8).
int TableBits(size_t n) {
    int bits = 1;
    while ((size_t{1} << bits) < n && bits < 8) ++bits;
    return bits;
}

void PutPalette(std::vector<uint8_t>& out, const std::vector<GifColour>& palette) {
    const size_t entries = size_t{1} << TableBits(palette.size());
    for (size_t i = 0; i < entries; ++i) {
        GifColour c = i < palette.size() ? palette[i] : GifColour{};
        out.push_back(c.r);
        out.push_back(c.g);
        out.push_back(c.b);
    }
}

struct BitWriter {
    std::vector<uint8_t> bytes;
    uint32_t acc = 0;
    int count = 0;
    void Put(int code, int width) {
        acc |= static_cast<uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            bytes.push_back(static_cast<uint8_t>(acc & 0xFF));
            acc >>= 8;
            count -= 8;
        }
    }
    void Flush() {
        if (count > 0) bytes.push_back(static_cast<uint8_t>(acc & 0xFF));
        acc = 0;
        count = 0;
    }
};

// A real LZW encoder, so that big flat frames stay small. The code width grows exactly when a
// decoder that has read as many codes since the last clear widens its own.
std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& pixels, int m) {
    BitWriter bw;
    const int clear = 1 << m, eoi = clear + 1;
    int width = m + 1, next = clear + 2, sinceClear = 0;
    std::unordered_map<uint32_t, int> table;
    auto emit = [&](int code) {
        bw.Put(code, width);
        ++sinceClear;
        if ((1 << m) + 2 + sinceClear > (1 << width) && width < 12) ++width;
    };
    bw.Put(clear, width);
    if (!pixels.empty()) {
        int prefix = pixels[0];
        for (size_t i = 1; i < pixels.size(); ++i) {
            const uint32_t key = static_cast<uint32_t>(prefix) << 8 | pixels[i];
            auto found = table.find(key);
            if (found != table.end()) {
                prefix = found->second;
                continue;
            }
            emit(prefix);
            if (next < 4094) {
                table[key] = next++;
            } else {
                bw.Put(clear, width);
                table.clear();
                next = clear + 2;
                width = m + 1;
                sinceClear = 0;
            }
            prefix = pixels[i];
        }
        emit(prefix);
    }
    bw.Put(eoi, width);
    bw.Flush();
    return bw.bytes;
}

void PutSubBlocks(std::vector<uint8_t>& out, const std::vector<uint8_t>& data) {
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + i, data.begin() + i + n);
    }
    out.push_back(0);
}

}  // namespace

std::vector<uint8_t> WriteTestGif(const TestGif& gif) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    PutWord(out, gif.width);
    PutWord(out, gif.height);
    uint8_t packed = 0;
    if (!gif.globalPalette.empty()) packed = static_cast<uint8_t>(0x80 | 0x70 | (TableBits(gif.globalPalette.size()) - 1));
    out.push_back(packed);
    out.push_back(static_cast<uint8_t>(gif.background));
    out.push_back(0);
    if (!gif.globalPalette.empty()) PutPalette(out, gif.globalPalette);

    for (const TestGifFrame& f : gif.frames) {
        if (f.loopBefore >= 0) {
            const uint8_t block[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
            out.insert(out.end(), std::begin(block), std::end(block));
            PutWord(out, f.loopBefore);
            out.push_back(0);
        }
        if (f.control) {
            out.push_back(0x21);
            out.push_back(0xF9);
            out.push_back(4);
            out.push_back(static_cast<uint8_t>((f.disposal & 7) << 2 | (f.transparent >= 0 ? 1 : 0)));
            PutWord(out, f.delay);
            out.push_back(static_cast<uint8_t>(f.transparent >= 0 ? f.transparent : 0));
            out.push_back(0);
        }
        out.insert(out.end(), f.rawBefore.begin(), f.rawBefore.end());
        out.push_back(0x2C);
        PutWord(out, f.left);
        PutWord(out, f.top);
        PutWord(out, f.width);
        PutWord(out, f.height);
        uint8_t desc = f.interlaced ? 0x40 : 0;
        if (!f.localPalette.empty()) desc |= static_cast<uint8_t>(0x80 | (TableBits(f.localPalette.size()) - 1));
        out.push_back(desc);
        if (!f.localPalette.empty()) PutPalette(out, f.localPalette);

        int maxIndex = 0;
        for (uint8_t p : f.pixels) maxIndex = std::max<int>(maxIndex, p);
        const int m = f.minCodeSize ? f.minCodeSize : std::max(2, TableBits(static_cast<size_t>(maxIndex) + 1));
        out.push_back(static_cast<uint8_t>(m));
        if (!f.codes.empty()) {
            BitWriter bw;
            for (int code : f.codes) bw.Put(code, m + 1);
            bw.Flush();
            PutSubBlocks(out, bw.bytes);
            continue;
        }
        std::vector<uint8_t> rows;
        if (f.interlaced) {
            static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < f.height; y += step[pass])
                    rows.insert(rows.end(), f.pixels.begin() + static_cast<size_t>(y) * f.width,
                                f.pixels.begin() + static_cast<size_t>(y + 1) * f.width);
        } else {
            rows = f.pixels;
        }
        PutSubBlocks(out, LzwEncode(rows, m));
    }
    if (gif.trailer) out.push_back(0x3B);
    return out;
}

TestGifFrame SolidFrame(int left, int top, int width, int height, uint8_t index) {
    TestGifFrame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.pixels.assign(static_cast<size_t>(width) * height, index);
    return f;
}
