#include "GifAnimation.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace {

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

// giflib counts a short read as a failure, so the end of the buffer ends the decoding.
int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    if (length <= 0) return 0;
    size_t n = std::min(static_cast<size_t>(length), in->size - in->pos);
    std::memcpy(buffer, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int ignored;
        DGifCloseFile(gif, &ignored);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

std::string GifFault(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

bool Fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

std::vector<GifColour> PaletteFrom(const ColorMapObject* map) {
    std::vector<GifColour> palette;
    if (!map) return palette;
    palette.resize(map->ColorCount);
    for (int i = 0; i < map->ColorCount; ++i)
        palette[i] = GifColour{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue};
    return palette;
}

bool IsLoopApplication(const GifByteType* block) {
    return block[0] == 11 &&
           (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
}

// What the extensions before a frame say about it.
struct PendingControl {
    bool hasControl = false;
    GraphicsControlBlock gcb{};
    bool hasLoop = false;
    int loopCount = 0;
};

bool ReadExtension(GifFileType* gif, size_t frameIndex, PendingControl& pending, std::string& error) {
    const std::string where = "extension before frame " + std::to_string(frameIndex);
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return Fail(error, where + ": " + GifFault(gif->Error));
    if (code == GRAPHICS_EXT_FUNC_CODE) {
        if (!block || DGifExtensionToGCB(block[0], block + 1, &pending.gcb) == GIF_ERROR)
            return Fail(error, where + ": a graphic control block must hold 4 bytes");
        pending.hasControl = true;
    }
    bool loopApplication = code == APPLICATION_EXT_FUNC_CODE && block && IsLoopApplication(block);
    // The first sub-block was the application's name; the loop count follows in a sub-block
    // whose first byte is 1.
    bool first = true;
    while (block) {
        if (loopApplication && !first && block[0] >= 3 && block[1] == 1 && !pending.hasLoop) {
            pending.hasLoop = true;
            pending.loopCount = block[2] | block[3] << 8;
        }
        first = false;
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return Fail(error, where + ": " + GifFault(gif->Error));
    }
    return true;
}

bool ReadFrame(GifFileType* gif, GifImage& image, const PendingControl& pending, uint64_t& pixelBudget,
               std::string& error) {
    const size_t index = image.frames.size();
    const std::string where = "frame " + std::to_string(index);
    if (index >= kGifMaxFrames) return Fail(error, where + ": more than 1000 frames");
    if (DGifGetImageDesc(gif) == GIF_ERROR) return Fail(error, where + ": " + GifFault(gif->Error));
    const GifImageDesc& desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0) return Fail(error, where + ": the frame has no pixels");
    if (desc.Width > kGifMaxSide || desc.Height > kGifMaxSide)
        return Fail(error, where + ": " + std::to_string(desc.Width) + " x " + std::to_string(desc.Height) +
                               " is over the limit of 4096 x 4096");
    const uint64_t area = static_cast<uint64_t>(desc.Width) * static_cast<uint64_t>(desc.Height);
    if (area > pixelBudget) return Fail(error, where + ": the frames hold more than 64 Mi pixels together");
    pixelBudget -= area;

    GifFrame frame;
    frame.hasLocalPalette = desc.ColorMap != nullptr;
    frame.localPalette = PaletteFrom(desc.ColorMap);
    if (!frame.hasLocalPalette && !image.hasGlobalPalette)
        return Fail(error, where + ": neither the frame nor the file has a palette");
    if (pending.hasControl) {
        frame.transparentIndex = pending.gcb.TransparentColor;
        frame.storedDelay = pending.gcb.DelayTime;
        switch (pending.gcb.DisposalMode) {
        case DISPOSE_BACKGROUND: frame.disposal = GifDisposal::Background; break;
        case DISPOSE_PREVIOUS: frame.disposal = GifDisposal::Previous; break;
        default: frame.disposal = GifDisposal::Leave; break;
        }
    }

    // Clip the stored rectangle to the screen; the rows are decoded whole all the same, since
    // the LZW stream has to be read through.
    const int left = std::min(desc.Left, image.width), top = std::min(desc.Top, image.height);
    const int right = std::min(desc.Left + desc.Width, image.width);
    const int bottom = std::min(desc.Top + desc.Height, image.height);
    frame.left = left;
    frame.top = top;
    frame.width = right - left;
    frame.height = bottom - top;
    frame.pixels.resize(static_cast<size_t>(frame.width) * frame.height);

    std::vector<GifPixelType> row(desc.Width);
    auto readRow = [&](int y) {
        if (DGifGetLine(gif, row.data(), desc.Width) == GIF_ERROR) return false;
        const int screenY = desc.Top + y;
        if (screenY < bottom && frame.width > 0)
            std::memcpy(&frame.pixels[static_cast<size_t>(screenY - top) * frame.width], row.data(), frame.width);
        return true;
    };
    bool ok = true;
    if (desc.Interlace) {
        static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && ok; ++pass)
            for (int y = start[pass]; y < desc.Height && ok; y += step[pass]) ok = readRow(y);
    } else {
        for (int y = 0; y < desc.Height && ok; ++y) ok = readRow(y);
    }
    if (!ok) return Fail(error, where + ": " + GifFault(gif->Error));

    if (pending.hasLoop && !image.hasLoop) {
        image.hasLoop = true;
        image.loopCount = pending.loopCount;
        image.loopFrame = index;
    }
    image.frames.push_back(std::move(frame));
    return true;
}

}  // namespace

bool DecodeGif(const uint8_t* data, size_t size, GifImage& out, std::string& error) {
    out = GifImage();
    error.clear();
    if (!data || size == 0) return Fail(error, "no data");
    MemoryInput input{data, size, 0};
    int openError = 0;
    GifHandle gif(DGifOpen(&input, ReadFromMemory, &openError));
    if (!gif) return Fail(error, "header: " + GifFault(openError));

    GifImage image;
    image.width = gif->SWidth;
    image.height = gif->SHeight;
    if (image.width <= 0 || image.height <= 0) return Fail(error, "header: the logical screen has no pixels");
    if (image.width > kGifMaxSide || image.height > kGifMaxSide)
        return Fail(error, "header: screen " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                               " is over the limit of 4096 x 4096");
    image.hasGlobalPalette = gif->SColorMap != nullptr;
    image.globalPalette = PaletteFrom(gif->SColorMap);
    image.backgroundIndex = gif->SBackGroundColor;

    PendingControl pending;
    uint64_t pixelBudget = kGifMaxPixels;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return Fail(error, "after frame " + std::to_string(image.frames.size()) + ": " + GifFault(gif->Error));
        if (type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!ReadExtension(gif.get(), image.frames.size(), pending, error)) return false;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (!ReadFrame(gif.get(), image, pending, pixelBudget, error)) return false;
            pending = PendingControl();
        }
    }
    if (image.frames.empty()) return Fail(error, "the file holds no frames");
    out = std::move(image);
    return true;
}

GifComposer::GifComposer(const GifImage& image) : image_(image) { Reset(); }

void GifComposer::Reset() {
    canvas_.assign(static_cast<size_t>(image_.width) * image_.height * 4, 0);
    saved_.clear();
    last_ = -1;
}

void GifComposer::Dispose() {
    if (last_ < 0) return;
    const GifFrame& f = image_.frames[last_];
    if (f.width == 0 || f.height == 0) return;
    const size_t rowBytes = static_cast<size_t>(f.width) * 4;
    for (int y = 0; y < f.height; ++y) {
        uint8_t* dst = &canvas_[(static_cast<size_t>(f.top + y) * image_.width + f.left) * 4];
        if (f.disposal == GifDisposal::Background)
            std::memset(dst, 0, rowBytes);
        else if (f.disposal == GifDisposal::Previous)
            std::memcpy(dst, &saved_[y * rowBytes], rowBytes);
    }
}

void GifComposer::Compose(size_t index) {
    if (index >= image_.frames.size()) return;
    // The image may have been decoded after this composer was made for it.
    if (canvas_.size() != static_cast<size_t>(image_.width) * image_.height * 4) Reset();
    Dispose();
    const GifFrame& f = image_.frames[index];
    last_ = static_cast<int>(index);
    if (f.width == 0 || f.height == 0) return;  // wholly outside the screen
    const size_t rowBytes = static_cast<size_t>(f.width) * 4;
    if (f.disposal == GifDisposal::Previous) {
        saved_.resize(rowBytes * f.height);
        for (int y = 0; y < f.height; ++y)
            std::memcpy(&saved_[y * rowBytes], &canvas_[(static_cast<size_t>(f.top + y) * image_.width + f.left) * 4],
                        rowBytes);
    }
    const std::vector<GifColour>& palette = image_.PaletteOf(f);
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* src = &f.pixels[static_cast<size_t>(y) * f.width];
        uint8_t* dst = &canvas_[(static_cast<size_t>(f.top + y) * image_.width + f.left) * 4];
        for (int x = 0; x < f.width; ++x, dst += 4) {
            const int i = src[x];
            if (i == f.transparentIndex) continue;
            GifColour c = static_cast<size_t>(i) < palette.size() ? palette[i] : GifColour{};
            dst[0] = c.b;
            dst[1] = c.g;
            dst[2] = c.r;
            dst[3] = 255;
        }
    }
}

int EffectiveGifDelay(int storedDelay) {
    if (storedDelay <= 0) return 10;
    return storedDelay < 3 ? 3 : storedDelay;
}

int32_t GifWaitMs(int storedDelay, int32_t overrunMs, int speed) {
    if (speed <= 0) speed = 100;
    const int64_t wait = (static_cast<int64_t>(EffectiveGifDelay(storedDelay)) * 12 - overrunMs / 2) * 100 / speed;
    return static_cast<int32_t>(std::clamp<int64_t>(wait, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void GifClock::Start(uint32_t nowMs) {
    lastBegin_ = nowMs;
    lastLength_ = 0;
}

int32_t GifClock::NextWait(int storedDelay, uint32_t nowMs) {
    const int64_t passed = static_cast<int32_t>(nowMs - lastBegin_);
    const int64_t overrun = std::clamp<int64_t>(passed - lastLength_, std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max());
    const int32_t wait = GifWaitMs(storedDelay, static_cast<int32_t>(overrun), speed_);
    lastBegin_ = nowMs;
    lastLength_ = wait > 0 ? wait : 0;
    return wait;
}

GifPlayback::GifPlayback(size_t frameCount, bool hasLoop, int loopCount, size_t loopFrame)
    : frameCount_(frameCount), hasLoop_(hasLoop && loopFrame < frameCount), loopCount_(loopCount < 0 ? 0 : loopCount),
      loopFrame_(loopFrame) {
    ended_ = frameCount_ == 0;
    if (!ended_) Enter(0);
}

void GifPlayback::Enter(size_t frame) {
    current_ = frame;
    if (hasLoop_ && !armed_ && frame == loopFrame_) {
        armed_ = true;
        passes_ = 0;
    }
}

int GifPlayback::Next() {
    if (ended_) return kStay;
    if (current_ + 1 < frameCount_) {
        Enter(current_ + 1);
        return static_cast<int>(current_);
    }
    if (armed_) {
        if (loopCount_ == 0) {
            Enter(loopFrame_);
            return static_cast<int>(current_);
        }
        if (++passes_ < loopCount_) {
            Enter(loopFrame_);
            return static_cast<int>(current_);
        }
    }
    ended_ = true;
    return kStay;
}
