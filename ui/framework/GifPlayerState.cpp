#include "GifPlayerState.h"

bool GifPlayerState::Load(const uint8_t* data, size_t size, std::string& error) {
    if (!DecodeGif(data, size, image_, error)) return false;
    composer_.Reset();
    playback_ = GifPlayback(image_);
    return true;
}

bool GifPlayerState::Show(size_t index, Picture& out) {
    composer_.Compose(index);
    return out.SetPixels(composer_.Width(), composer_.Height(),
                         reinterpret_cast<const uint32_t*>(composer_.Pixels().data()));
}

bool GifPlayerState::ComposeFirst(Picture& out) { return Show(0, out); }
bool GifPlayerState::ComposePending(Picture& out) { return Show(pending_, out); }

int32_t GifPlayerState::NextWait(uint32_t nowMs) {
    return clock_.NextWait(image_.frames[playback_.Current()].storedDelay, nowMs);
}

bool GifPlayerState::TakeNextFrame() {
    int next = playback_.Next();
    if (next == GifPlayback::kStay) return false;
    pending_ = size_t(next);
    return true;
}
