#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "GifAnimation.h"
#include "GifTestWriter.h"

namespace {

// Colours by letter; the canvas is read back into these letters, '.' where alpha is 0 and '?'
// for a colour not listed.
const GifColour kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
const GifColour kYellow{255, 255, 0}, kCyan{0, 255, 255};
const std::vector<GifColour> kGlobal = {kRed, kGreen, kBlue, kWhite};  // R G B W = 0 1 2 3

char Letter(const uint8_t* p) {
    if (p[3] == 0) return '.';
    if (p[3] != 255) return '?';
    struct { GifColour c; char letter; } known[] = {{kRed, 'R'}, {kGreen, 'G'}, {kBlue, 'B'}, {kWhite, 'W'},
                                                    {kYellow, 'Y'}, {kCyan, 'C'}, {GifColour{}, 'K'}};
    for (const auto& k : known)
        if (p[0] == k.c.b && p[1] == k.c.g && p[2] == k.c.r) return k.letter;
    return '?';
}

std::vector<std::string> Rows(const GifComposer& composer) {
    std::vector<std::string> rows;
    const auto& px = composer.Pixels();
    for (int y = 0; y < composer.Height(); ++y) {
        std::string row;
        for (int x = 0; x < composer.Width(); ++x) row += Letter(&px[(static_cast<size_t>(y) * composer.Width() + x) * 4]);
        rows.push_back(row);
    }
    return rows;
}

GifImage Decode(const std::vector<uint8_t>& bytes) {
    GifImage image;
    std::string error;
    EXPECT_TRUE(DecodeGif(bytes.data(), bytes.size(), image, error)) << error;
    return image;
}

TestGifFrame WithControl(TestGifFrame f, int disposal, int transparent = -1, int delay = 3) {
    f.control = true;
    f.disposal = disposal;
    f.transparent = transparent;
    f.delay = delay;
    return f;
}

TestGifFrame Pixels(int left, int top, int width, int height, std::vector<uint8_t> pixels) {
    TestGifFrame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.pixels = std::move(pixels);
    return f;
}

TestGif Screen(int width, int height, std::vector<TestGifFrame> frames) {
    TestGif g;
    g.width = width;
    g.height = height;
    g.globalPalette = kGlobal;
    g.frames = std::move(frames);
    return g;
}

}  // namespace

TEST(DecodeGif, ReadsScreenFramesAndControlBlocks) {
    TestGif g = Screen(5, 4, {});
    g.background = 2;
    TestGifFrame a = WithControl(SolidFrame(0, 0, 5, 4, 0), 1, 255, 3);
    a.loopBefore = 0;
    TestGifFrame b = SolidFrame(1, 2, 2, 1, 1);  // no control block
    b.localPalette = {kYellow, kCyan};
    TestGifFrame c = WithControl(SolidFrame(4, 0, 1, 1, 2), 6, -1, 0);  // an undefined disposal
    g.frames = {a, b, c};
    GifImage image = Decode(WriteTestGif(g));
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 4);
    EXPECT_TRUE(image.hasGlobalPalette);
    ASSERT_EQ(image.globalPalette.size(), 4u);
    EXPECT_EQ(image.globalPalette[2].b, 255);
    EXPECT_EQ(image.backgroundIndex, 2);
    ASSERT_EQ(image.frames.size(), 3u);
    EXPECT_EQ(image.frames[0].storedDelay, 3);
    EXPECT_EQ(image.frames[0].transparentIndex, 255);
    EXPECT_EQ(image.frames[0].disposal, GifDisposal::Leave);
    EXPECT_FALSE(image.frames[0].hasLocalPalette);
    EXPECT_EQ(image.frames[1].storedDelay, -1);
    EXPECT_EQ(image.frames[1].transparentIndex, -1);
    EXPECT_TRUE(image.frames[1].hasLocalPalette);
    EXPECT_EQ(image.frames[1].left, 1);
    EXPECT_EQ(image.frames[1].top, 2);
    EXPECT_EQ(image.frames[1].width, 2);
    EXPECT_EQ(image.frames[1].height, 1);
    EXPECT_EQ(image.frames[2].storedDelay, 0);
    EXPECT_EQ(image.frames[2].disposal, GifDisposal::Leave);
    EXPECT_TRUE(image.hasLoop);
    EXPECT_EQ(image.loopCount, 0);
    EXPECT_EQ(image.loopFrame, 0u);
}

TEST(DecodeGif, BigFlatFramesAndInterlace) {
    // A full-size LZW stream (codes up to 12 bits, table resets) decodes to the same pixels.
    std::vector<uint8_t> pixels(300 * 200);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i / 7 + i / 300) % 4);
    TestGifFrame interlaced = Pixels(0, 0, 300, 200, pixels);
    interlaced.interlaced = true;
    GifImage image = Decode(WriteTestGif(Screen(300, 200, {Pixels(0, 0, 300, 200, pixels), interlaced})));
    ASSERT_EQ(image.frames.size(), 2u);
    EXPECT_EQ(image.frames[0].pixels, pixels);
    EXPECT_EQ(image.frames[1].pixels, pixels);
}

TEST(GifComposer, Rules) {
    // The frames are composed in the order listed; an empty row list checks nothing.
    struct Step { size_t frame; std::vector<std::string> rows; };
    struct Case { const char* what; TestGif gif; std::vector<Step> steps; } cases[] = {
        {"a frame at its offset", Screen(4, 3, {SolidFrame(0, 0, 4, 3, 0), SolidFrame(1, 1, 2, 1, 1)}),
         {{0, {"RRRR", "RRRR", "RRRR"}}, {1, {"RRRR", "RGGR", "RRRR"}}}},
        {"nothing drawn is transparent", Screen(3, 2, {SolidFrame(1, 0, 1, 1, 2)}), {{0, {".B.", "..."}}}},
        {"the transparent index leaves the canvas as it was",
         Screen(3, 1, {SolidFrame(0, 0, 3, 1, 0), WithControl(Pixels(0, 0, 3, 1, {1, 2, 1}), 1, 1)}),
         {{0, {}}, {1, {"RBR"}}}},
        {"the transparent index on an empty canvas stays transparent",
         Screen(2, 1, {WithControl(Pixels(0, 0, 2, 1, {3, 1}), 0, 1)}), {{0, {"W."}}}},
        {"disposal 0 and 1 leave the frame in place",
         Screen(3, 1, {WithControl(SolidFrame(0, 0, 1, 1, 0), 0), WithControl(SolidFrame(1, 0, 1, 1, 1), 1),
                       SolidFrame(2, 0, 1, 1, 2)}),
         {{0, {"R.."}}, {1, {"RG."}}, {2, {"RGB"}}}},
        {"disposal 2 makes the frame's rectangle transparent, nothing more",
         Screen(4, 2, {SolidFrame(0, 0, 4, 2, 3), WithControl(SolidFrame(1, 0, 2, 2, 0), 2), SolidFrame(0, 0, 1, 1, 2)}),
         {{0, {}}, {1, {"WRRW", "WRRW"}}, {2, {"B..W", "W..W"}}}},
        {"disposal 3 restores what the rectangle held before the frame",
         Screen(4, 2, {SolidFrame(0, 0, 4, 2, 0), SolidFrame(1, 1, 1, 1, 3), WithControl(SolidFrame(1, 0, 2, 2, 1), 3),
                       SolidFrame(3, 0, 1, 1, 2)}),
         {{0, {}}, {1, {"RRRR", "RWRR"}}, {2, {"RGGR", "RGGR"}}, {3, {"RRRB", "RWRR"}}}},
        {"disposal 3 on the first frame restores the empty canvas",
         Screen(2, 1, {WithControl(SolidFrame(0, 0, 2, 1, 0), 3), SolidFrame(1, 0, 1, 1, 1)}), {{0, {"RR"}}, {1, {".G"}}}},
        {"the last frame's disposal applies before the loop start is drawn again",
         Screen(2, 1, {SolidFrame(0, 0, 1, 1, 0), WithControl(SolidFrame(1, 0, 1, 1, 1), 2)}),
         {{0, {"R."}}, {1, {"RG"}}, {0, {"R."}}}},
        {"a frame reaching past the screen is clipped", Screen(3, 2, {SolidFrame(0, 0, 3, 2, 3), SolidFrame(2, 1, 4, 4, 2)}),
         {{0, {}}, {1, {"WWW", "WWB"}}}},
        {"a frame wholly outside the screen draws nothing",
         Screen(2, 1, {SolidFrame(0, 0, 2, 1, 0), WithControl(SolidFrame(5, 0, 2, 2, 1), 2), SolidFrame(0, 0, 1, 1, 2)}),
         {{0, {}}, {1, {"RR"}}, {2, {"BR"}}}},
        {"a local palette is used instead of the global one",
         [] {
             TestGif g = Screen(2, 1, {Pixels(0, 0, 2, 1, {0, 1})});
             g.frames[0].localPalette = {kYellow, kCyan};
             return g;
         }(),
         {{0, {"YC"}}}},
        {"an index the palette does not hold draws opaque black",
         [] {
             TestGif g = Screen(3, 1, {Pixels(0, 0, 3, 1, {0, 5, 1})});
             g.frames[0].localPalette = {kYellow, kCyan};  // written as a 2-entry table
             return g;
         }(),
         {{0, {"YKC"}}}},
        {"an interlaced frame's rows land in order",
         Screen(1, 5, {[] {
             TestGifFrame f = Pixels(0, 0, 1, 5, {0, 1, 2, 3, 0});
             f.interlaced = true;
             return f;
         }()}),
         {{0, {"R", "G", "B", "W", "R"}}}},
    };
    for (const auto& c : cases) {
        GifImage image = Decode(WriteTestGif(c.gif));
        GifComposer composer(image);
        for (const auto& step : c.steps) {
            composer.Compose(step.frame);
            if (!step.rows.empty()) EXPECT_EQ(Rows(composer), step.rows) << c.what << ", after frame " << step.frame;
        }
        composer.Reset();
        EXPECT_EQ(Rows(composer), std::vector<std::string>(image.height, std::string(image.width, '.'))) << c.what;
    }
}

TEST(GifComposer, ImageDecodedAfterTheComposerWasMade) {
    GifImage image;
    GifComposer composer(image);
    image = Decode(WriteTestGif(Screen(3, 2, {SolidFrame(0, 0, 3, 2, 1)})));
    composer.Compose(0);
    EXPECT_EQ(Rows(composer), (std::vector<std::string>{"GGG", "GGG"}));
    composer.Compose(7);  // no such frame: nothing changes
    EXPECT_EQ(Rows(composer), (std::vector<std::string>{"GGG", "GGG"}));
}

TEST(GifTiming, DelayRule) {
    struct Case { int stored, effective; } cases[] = {
        {-1, 10}, {0, 10}, {1, 3}, {2, 3}, {3, 3}, {4, 4}, {10, 10}, {65535, 65535},
    };
    for (const auto& c : cases) EXPECT_EQ(EffectiveGifDelay(c.stored), c.effective) << c.stored;
}

TEST(GifTiming, WaitFormula) {
    struct Case { int stored; int32_t overrun; int speed; int32_t wait; const char* what; } cases[] = {
        {3, 0, 100, 36, "stored 3 stays 36 ms, not 30"},
        {-1, 0, 100, 120, "no control block counts as 10"},
        {0, 0, 100, 120, "stored 0 counts as 10"},
        {1, 0, 100, 36, "under 3 is raised to 3"},
        {3, 10, 100, 31, "half the overrun is taken off"},
        {3, 11, 100, 31, "overrun div 2 truncates"},
        {3, -3, 100, 37, "a negative overrun truncates toward zero"},
        {3, 72, 100, 0, "zero"},
        {3, 80, 100, -4, "negative"},
        {10, 0, 200, 60, "speed 200 halves"},
        {3, 0, 7, 514, "the speed division truncates"},
        {3, 100, 30, -46, "a negative result truncates toward zero"},
        {65535, INT32_MIN, 100, 1074528244, "no overflow"},
    };
    for (const auto& c : cases) EXPECT_EQ(GifWaitMs(c.stored, c.overrun, c.speed), c.wait) << c.what;
}

TEST(GifTiming, ClockCompensatesOverrun) {
    struct Tick { uint32_t now; int stored; int32_t wait; const char* what; };
    struct Case { uint32_t start; std::vector<Tick> ticks; } cases[] = {
        {1000,
         {{1000, 3, 36, "first frame drawn in no time"},
          {1036, 3, 36, "the wait ended on time"},
          {1072, 3, 36, "steady: a frame every 36 ms"}}},
        {1000,
         {{1004, 3, 34, "first wait: the time since playback started counts"},
          {1044, 3, 33, "6 ms late"},
          {1177, 3, -14, "100 ms late: skipped"},
          {1182, 3, 34, "a skipped wait counts as 0 ms: 5 ms overrun"},
          {1216, -1, 120, "default delay, on time"}}},
        {0xFFFFFFF0u, {{0x00000004u, 3, 26, "the tick count wraps"}, {0x0000001Eu, 3, 36, "and goes on"}}},
    };
    for (const auto& c : cases) {
        GifClock clock;
        clock.Start(c.start);
        for (const auto& t : c.ticks) EXPECT_EQ(clock.NextWait(t.stored, t.now), t.wait) << t.what;
    }
}

TEST(GifPlayback, Looping) {
    const int S = GifPlayback::kStay;
    struct Case { const char* what; size_t frames; bool hasLoop; int count; size_t loopFrame; std::vector<int> next; } cases[] = {
        {"no instruction: once, the last frame stays", 3, false, 0, 0, {1, 2, S, S}},
        {"N = 0 loops without end", 3, true, 0, 0, {1, 2, 0, 1, 2, 0, 1, 2, 0}},
        {"N = 1 plays once", 3, true, 1, 0, {1, 2, S, S}},
        {"N = 2 plays twice in all", 3, true, 2, 0, {1, 2, 0, 1, 2, S, S}},
        {"the instruction on a later frame starts the loop there", 3, true, 2, 1, {1, 2, 1, 2, S}},
        {"on the last frame it repeats that frame", 3, true, 0, 2, {1, 2, 2, 2, 2}},
        {"one frame, no instruction", 1, false, 0, 0, {S, S}},
        {"one frame looping", 1, true, 0, 0, {0, 0, 0}},
        {"a loop start past the end is no instruction", 2, true, 0, 5, {1, S}},
        {"no frames", 0, true, 0, 0, {S}},
    };
    for (const auto& c : cases) {
        GifPlayback playback(c.frames, c.hasLoop, c.count, c.loopFrame);
        EXPECT_EQ(playback.Current(), 0u) << c.what;
        std::vector<int> seen;
        for (size_t i = 0; i < c.next.size(); ++i) seen.push_back(playback.Next());
        EXPECT_EQ(seen, c.next) << c.what;
    }
}

TEST(GifPlayback, LoopInstructionFromTheFile) {
    auto threeFrames = [](std::function<void(TestGif&)> change) {
        TestGif g = Screen(1, 1, {SolidFrame(0, 0, 1, 1, 0), SolidFrame(0, 0, 1, 1, 1), SolidFrame(0, 0, 1, 1, 2)});
        change(g);
        return Decode(WriteTestGif(g));
    };
    struct Case { const char* what; GifImage image; bool hasLoop; int count; size_t loopFrame; } cases[] = {
        {"none", threeFrames([](TestGif&) {}), false, 0, 0},
        {"on the first frame", threeFrames([](TestGif& g) { g.frames[0].loopBefore = 0; }), true, 0, 0},
        {"on a later frame", threeFrames([](TestGif& g) { g.frames[1].loopBefore = 2; }), true, 2, 1},
        {"the first one wins", threeFrames([](TestGif& g) { g.frames[1].loopBefore = 2; g.frames[2].loopBefore = 0; }),
         true, 2, 1},
        {"ANIMEXTS1.0 counts as well", threeFrames([](TestGif& g) {
             g.frames[0].rawBefore = {0x21, 0xFF, 11, 'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0', 3, 1, 7, 0, 0};
         }), true, 7, 0},
        {"a buffering sub-block is no loop count", threeFrames([](TestGif& g) {
             g.frames[0].rawBefore = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 5, 2, 0, 0, 1, 0, 0};
         }), false, 0, 0},
        {"another application's block is ignored", threeFrames([](TestGif& g) {
             g.frames[0].rawBefore = {0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P', 3, 1, 0, 0, 0};
         }), false, 0, 0},
        {"a comment block is skipped", threeFrames([](TestGif& g) {
             g.frames[1].rawBefore = {0x21, 0xFE, 2, 'h', 'i', 0};
         }), false, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.image.frames.size(), 3u) << c.what;
        EXPECT_EQ(c.image.hasLoop, c.hasLoop) << c.what;
        EXPECT_EQ(c.image.loopCount, c.count) << c.what;
        EXPECT_EQ(c.image.loopFrame, c.loopFrame) << c.what;
    }
}

TEST(DecodeGif, RejectsBrokenFiles) {
    const TestGif good = Screen(4, 4, {WithControl(SolidFrame(0, 0, 4, 4, 0), 1), SolidFrame(1, 1, 2, 2, 1)});
    auto with = [&](std::function<void(TestGif&)> change) {
        TestGif g = good;
        change(g);
        return WriteTestGif(g);
    };
    std::vector<uint8_t> manyFrames = [] {
        TestGif g = Screen(1, 1, {});
        g.frames.assign(1001, SolidFrame(0, 0, 1, 1, 0));
        return WriteTestGif(g);
    }();
    std::vector<uint8_t> manyPixels = [] {
        // Five 4096 x 4096 frames on a 1 x 1 screen: clipping keeps almost nothing, but the
        // decoding work is counted all the same.
        TestGif g = Screen(1, 1, {});
        g.frames.assign(5, SolidFrame(0, 0, 4096, 4096, 0));
        return WriteTestGif(g);
    }();
    struct Case { const char* what; std::vector<uint8_t> bytes; const char* message; } cases[] = {
        {"empty", {}, "no data"},
        {"not a GIF", {'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "header: "},
        {"only the signature", {'G', 'I', 'F', '8', '9', 'a'}, "header: "},
        {"screen of zero width", with([](TestGif& g) { g.width = 0; }), "the logical screen has no pixels"},
        {"screen too big", with([](TestGif& g) { g.width = 5000; }), "over the limit of 4096 x 4096"},
        {"zero-size frame", with([](TestGif& g) { g.frames[1].width = 0; g.frames[1].pixels.clear(); }),
         "frame 1: the frame has no pixels"},
        {"frame too big", with([](TestGif& g) { g.frames[1] = SolidFrame(0, 0, 4097, 1, 0); }),
         "frame 1: 4097 x 1 is over the limit"},
        {"no palette anywhere", with([](TestGif& g) { g.globalPalette.clear(); }),
         "frame 0: neither the frame nor the file has a palette"},
        {"an undefined LZW code", with([](TestGif& g) { g.frames[1].codes = {4, 13, 1, 1, 5}; }), "frame 1: "},
        {"the end code before the frame is full", with([](TestGif& g) { g.frames[1].codes = {4, 1, 1, 5}; }),
         "frame 1: "},
        {"LZW code size over 8", with([](TestGif& g) { g.frames[1].minCodeSize = 9; }), "frame 1: "},
        {"no trailer", with([](TestGif& g) { g.trailer = false; }), "after frame 2: "},
        {"no frames", with([](TestGif& g) { g.frames.clear(); }), "the file holds no frames"},
        {"an unknown record", with([](TestGif& g) { g.frames[1].rawBefore = {0x99}; }), "after frame 1: "},
        {"a control block of 3 bytes",
         with([](TestGif& g) { g.frames[1].rawBefore = {0x21, 0xF9, 3, 0, 3, 0, 0}; }),
         "extension before frame 1: a graphic control block must hold 4 bytes"},
        {"an empty control block", with([](TestGif& g) { g.frames[1].rawBefore = {0x21, 0xF9, 0}; }),
         "a graphic control block must hold 4 bytes"},
        {"more than 1000 frames", manyFrames, "frame 1000: more than 1000 frames"},
        {"more than 64 Mi pixels", manyPixels, "frame 4: the frames hold more than 64 Mi pixels"},
    };
    for (const auto& c : cases) {
        GifImage image;
        image.width = 99;
        std::string error;
        EXPECT_FALSE(DecodeGif(c.bytes.data(), c.bytes.size(), image, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(image.frames.empty()) << c.what;
        EXPECT_EQ(image.width, 0) << c.what;
    }
}

TEST(DecodeGif, EveryTruncationFails) {
    TestGif g = Screen(6, 5, {WithControl(SolidFrame(0, 0, 6, 5, 0), 1), SolidFrame(1, 1, 3, 3, 2)});
    g.frames[0].loopBefore = 0;
    g.frames[1].localPalette = kGlobal;
    const std::vector<uint8_t> bytes = WriteTestGif(g);
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + n);  // its own allocation, for ASan
        GifImage image;
        std::string error;
        EXPECT_FALSE(DecodeGif(prefix.data(), prefix.size(), image, error)) << n;
        EXPECT_FALSE(error.empty()) << n;
    }
    GifImage image;
    std::string error;
    EXPECT_TRUE(DecodeGif(bytes.data(), bytes.size(), image, error)) << error;
}
