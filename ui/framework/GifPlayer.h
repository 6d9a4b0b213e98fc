// Plays an animated picture: a worker thread times the frames and waits on an event; each
// frame is composed and drawn on the user-interface thread, which the worker waits for.
#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "../../services/Handles.h"
#include "Picture.h"

class GifPlayerState;

class GifPlayer {
public:
    // `target` receives WM_APP_FRAME with `elementIndex` when the next frame is due.
    GifPlayer(HWND target, size_t elementIndex);
    ~GifPlayer();
    GifPlayer(const GifPlayer&) = delete;
    GifPlayer& operator=(const GifPlayer&) = delete;

    bool Load(const uint8_t* data, size_t size, std::string& error);
    // The first call composes the first frame and starts the timing; later calls do nothing.
    void Start();
    // Composes the frame the worker chose; on the interface thread, when WM_APP_FRAME arrives.
    void Advance();
    const Picture& Frame() const { return frame_; }

private:
    void Worker();
    HWND target_;
    size_t elementIndex_;
    std::unique_ptr<GifPlayerState> state_;
    Picture frame_;
    bool started_ = false;
    UniqueHandle stop_, drawn_;
    std::thread worker_;
};
