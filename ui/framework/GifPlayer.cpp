#include "GifPlayer.h"

#include "Form.h"
#include "GifPlayerState.h"

GifPlayer::GifPlayer(HWND target, size_t elementIndex)
    : target_(target), elementIndex_(elementIndex), state_(new GifPlayerState()),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), drawn_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

GifPlayer::~GifPlayer() {
    SetEvent(stop_.get());
    if (worker_.joinable()) worker_.join();
}

bool GifPlayer::Load(const uint8_t* data, size_t size, std::string& error) {
    if (!state_->Load(data, size, error)) return false;
    return state_->ComposeFirst(frame_);
}

void GifPlayer::Start() {
    if (started_) return;
    started_ = true;
    state_->Begin(GetTickCount());
    if (state_->FrameCount() > 1) worker_ = std::thread(&GifPlayer::Worker, this);
}


void GifPlayer::Advance() {
    state_->ComposePending(frame_);
    SetEvent(drawn_.get());
}

void GifPlayer::Worker() {
    HANDLE both[2] = {stop_.get(), drawn_.get()};
    for (;;) {
        const int32_t waitMs = state_->NextWait(GetTickCount());
        if (waitMs > 0 && WaitForSingleObject(stop_.get(), DWORD(waitMs)) == WAIT_OBJECT_0) return;
        if (!state_->TakeNextFrame()) return;  // the sequence has ended; its last frame stays
        if (!PostMessageA(target_, WM_APP_FRAME, WPARAM(elementIndex_), 0)) return;
        // The frame is drawn on the interface thread; the next wait begins once it has been.
        if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
    }
}
