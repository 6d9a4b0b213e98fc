// GIF decoding over any bytes; a decoded picture is then composed frame after frame in playback
// order for a while, with the clock fed tick times taken from the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "GifAnimation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GifImage image;
    std::string error;
    if (!DecodeGif(data, size, image, error)) {
        if (error.empty() || !image.frames.empty()) __builtin_trap();
        return 0;
    }
    if (image.frames.empty() || image.width <= 0 || image.height <= 0) __builtin_trap();
    for (const GifFrame& f : image.frames) {
        if (f.left < 0 || f.top < 0 || f.left + f.width > image.width || f.top + f.height > image.height) __builtin_trap();
        if (f.pixels.size() != static_cast<size_t>(f.width) * f.height) __builtin_trap();
    }
    GifComposer composer(image);
    GifPlayback playback(image);
    GifClock clock;
    uint32_t now = size > 0 ? data[0] * 16777619u : 0;
    clock.Start(now);
    composer.Compose(0);
    for (size_t step = 0; step < 2 * image.frames.size() + 3; ++step) {
        now += data[step % size] * 3u;
        clock.NextWait(image.frames[playback.Current()].storedDelay, now);
        const int next = playback.Next();
        if (next == GifPlayback::kStay) break;
        if (next < 0 || static_cast<size_t>(next) >= image.frames.size()) __builtin_trap();
        composer.Compose(next);
    }
    if (composer.Pixels().size() != static_cast<size_t>(image.width) * image.height * 4) __builtin_trap();
    return 0;
}
