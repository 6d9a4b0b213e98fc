// A small GIF writer for the tests: every block is spelled out here, so a test can build both
// well-formed files and files with one chosen fault.
#pragma once
#include <cstdint>
#include <vector>

#include "GifAnimation.h"

struct TestGifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;            // rows top to bottom, width * height indices
    std::vector<GifColour> localPalette;    // empty: none
    bool interlaced = false;
    bool control = false;                   // write a graphic control block
    int disposal = 0, delay = 0, transparent = -1;
    int loopBefore = -1;                    // >= 0: a NETSCAPE2.0 block with this count first
    std::vector<uint8_t> rawBefore;         // any further bytes written before the frame
    std::vector<int> codes;                 // not empty: these LZW codes instead of the pixels
    int minCodeSize = 0;                    // 0: chosen from the pixels
};

struct TestGif {
    int width = 0, height = 0;
    std::vector<GifColour> globalPalette;   // empty: none
    int background = 0;
    std::vector<TestGifFrame> frames;
    bool trailer = true;
};

std::vector<uint8_t> WriteTestGif(const TestGif& gif);

// A frame of one colour index.
TestGifFrame SolidFrame(int left, int top, int width, int height, uint8_t index);
