// The animated picture: decoding a GIF into plain frames (with giflib), composing them on a
// canvas by the GIF89a rules, the frame timing and the looping. Pure: no platform calls. The
// player thread and the drawing live in the window framework and use these pieces:
//
//     GifImage image;  std::string error;
//     if (!DecodeGif(bytes, size, image, error)) ...;      // error says what is wrong
//     GifComposer composer(image);  GifPlayback playback(image);  GifClock clock;
//     clock.Start(now);  composer.Compose(0);  show composer.Pixels();
//     for (;;) {
//         int32_t wait = clock.NextWait(image.frames[playback.Current()].storedDelay, now);
//         if (wait > 0) sleep wait ms (or stop);
//         int next = playback.Next();  if (next == GifPlayback::kStay) break;
//         composer.Compose(next);  show composer.Pixels();
//     }
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Limits that keep a hostile or broken file from costing more than a small picture should.
constexpr int kGifMaxSide = 4096;            // screen and frame width and height
constexpr size_t kGifMaxFrames = 1000;
constexpr uint64_t kGifMaxPixels = 64u << 20;  // all frames' pixels together, before clipping

struct GifColour {
    uint8_t r = 0, g = 0, b = 0;
};

enum class GifDisposal : uint8_t {
    Leave = 0,     // stored 0 (none given), 1, and the undefined 4..7
    Background,    // 2: the frame's rectangle becomes transparent again
    Previous,      // 3: the frame's rectangle gets back what it held before the frame
};

struct GifFrame {
    // The frame's rectangle, already clipped to the logical screen: it may be empty when the
    // stored rectangle lies wholly outside. `pixels` holds width * height palette indices,
    // rows top to bottom (interlaced frames are put in order).
    int left = 0, top = 0, width = 0, height = 0;
    bool hasLocalPalette = false;
    std::vector<GifColour> localPalette;
    std::vector<uint8_t> pixels;
    int transparentIndex = -1;  // -1 none
    GifDisposal disposal = GifDisposal::Leave;
    int storedDelay = -1;       // hundredths of a second; -1 when the frame has no control block
};

struct GifImage {
    int width = 0, height = 0;  // the logical screen
    bool hasGlobalPalette = false;
    std::vector<GifColour> globalPalette;
    int backgroundIndex = 0;
    std::vector<GifFrame> frames;
    // The first Netscape (or ANIMEXTS) looping instruction: the loop count and the frame whose
    // extensions carry it (the frame that follows it in the file).
    bool hasLoop = false;
    int loopCount = 0;
    size_t loopFrame = 0;

    const std::vector<GifColour>& PaletteOf(const GifFrame& frame) const {
        return frame.hasLocalPalette ? frame.localPalette : globalPalette;
    }
};

// Decodes a whole GIF from memory. Rejected, with a message naming the frame and the fault: a
// file that is not a GIF, truncated data, a broken LZW stream, a missing trailer, no frames, a
// screen or frame of zero size or over kGifMaxSide, more than kGifMaxFrames frames or
// kGifMaxPixels pixels, a frame with neither a local nor a global palette, a graphic control
// block of the wrong length. A frame reaching past the logical screen is clipped to it.
bool DecodeGif(const uint8_t* data, size_t size, GifImage& out, std::string& error);

// The canvas the frames are composed on: width * height pixels of four bytes B, G, R, A, rows
// top to bottom, alpha 255 where a frame drew and 0 where nothing was ever drawn or a disposal
// cleared it. Not premultiplied.
class GifComposer {
public:
    explicit GifComposer(const GifImage& image);

    // Applies the previously composed frame's disposal, then draws frame `index` over the
    // canvas. Frames are composed in playback order; after a loop back the previous frame is
    // the sequence's last. A palette index the palette does not hold draws opaque black. The
    // composer keeps a reference to the image; when the image has been decoded again since,
    // with another screen size, the canvas starts afresh.
    void Compose(size_t index);

    // Back to the empty canvas, as before the first frame.
    void Reset();

    const std::vector<uint8_t>& Pixels() const { return canvas_; }
    int Width() const { return image_.width; }
    int Height() const { return image_.height; }

private:
    void Dispose();

    const GifImage& image_;
    std::vector<uint8_t> canvas_;
    std::vector<uint8_t> saved_;  // the rectangle under the last frame, for disposal 3
    int last_ = -1;
};

// A frame's delay in hundredths: none or 0 counts as 10, under 3 becomes 3.
int EffectiveGifDelay(int storedDelay);

// The wait after a frame in milliseconds: (delay * 12 - overrun div 2) * 100 div speed, where
// div truncates toward zero. Computed in 64 bits and held within the int32 range.
int32_t GifWaitMs(int storedDelay, int32_t overrunMs, int speed = 100);

// The frame timer, fed tick counts (32-bit milliseconds that may wrap, like GetTickCount).
// The overrun of a wait is the time that actually passed since the previous wait began minus
// that wait's length; for the first wait it is the time since playback started. A wait of
// zero or less is skipped, and it then counts as a wait of length 0 that began when it was
// asked for, so a slow machine catches up without the skipped amounts adding up.
class GifClock {
public:
    explicit GifClock(int speed = 100) : speed_(speed) {}

    void Start(uint32_t nowMs);

    // Called after a frame has been drawn: how long to wait before the next one. A result of
    // zero or less means: do not wait.
    int32_t NextWait(int storedDelay, uint32_t nowMs);

private:
    int speed_;
    uint32_t lastBegin_ = 0;  // when the previous wait began, or when playback started
    int32_t lastLength_ = 0;  // 0 before the first wait
};

// Which frame comes next. The first frame carrying a looping instruction sets the loop count N
// and the loop start (that frame) when playback reaches it: N = 0 loops without end, N > 0
// plays the sequence from the loop start to the end N times in all. Without an instruction the
// sequence plays once and its last frame stays.
class GifPlayback {
public:
    static constexpr int kStay = -1;

    GifPlayback(size_t frameCount, bool hasLoop, int loopCount, size_t loopFrame);
    explicit GifPlayback(const GifImage& image)
        : GifPlayback(image.frames.size(), image.hasLoop, image.loopCount, image.loopFrame) {}

    // The frame shown now: 0 at start.
    size_t Current() const { return current_; }

    // The frame to draw after the current one's wait, or kStay when the sequence has ended (and
    // from then on).
    int Next();

private:
    void Enter(size_t frame);

    size_t frameCount_;
    bool hasLoop_;
    int loopCount_;
    size_t loopFrame_;
    size_t current_ = 0;
    bool armed_ = false;
    int passes_ = 0;
    bool ended_ = false;
};
