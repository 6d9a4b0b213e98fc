// The animation behind a GifPlayer: the decoded frames, their composition, the timing and the
// loop rule. The worker thread uses the timing half, the interface thread the composing half,
// never both at once: the two hand over through the player's events.
#pragma once
#include <cstdint>
#include <string>

#include "GifAnimation.h"
#include "Picture.h"

class GifPlayerState {
public:
    bool Load(const uint8_t* data, size_t size, std::string& error);
    size_t FrameCount() const { return image_.frames.size(); }

    // Interface thread: composes the first frame, or the frame TakeNextFrame chose.
    bool ComposeFirst(Picture& out);
    bool ComposePending(Picture& out);

    // Worker thread.
    void Begin(uint32_t nowMs) { clock_.Start(nowMs); }
    // Milliseconds to wait after the frame shown now; zero or less: no wait.
    int32_t NextWait(uint32_t nowMs);
    // Chooses the frame that follows; false when the sequence has ended and its last frame stays.
    bool TakeNextFrame();

private:
    bool Show(size_t index, Picture& out);
    GifImage image_;
    GifComposer composer_{image_};
    GifPlayback playback_{0, false, 0, 0};
    GifClock clock_;
    size_t pending_ = 0;
};
