#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "GifAnimation.h"
#include "LayoutFormat.h"
#include "LayoutTestWriter.h"

// The packed layouts come from the build (tools/pack_layout.py run over resources/*.layout with
// the fixed defines of tests/native/CMakeLists.txt).
#ifndef QVKU_TFORM1_BLOB
#error "QVKU_TFORM1_BLOB must name the packed main window layout"
#endif

namespace {

// GBK bytes of the texts (no non-ASCII literals in natively built files).
const char kSoft[] = "\xC8\xED\xBC\xFE\xA3\xBA";                                   // Soft:
const char kPlatforms[] = "\xD6\xA7\xB3\xD6\xC6\xBD\xCC\xA8\xA3\xBA";             // Supported platforms:
const char kPlatformList[] = "Windows 7/Vista SP2/2008/8/8.1 (32\xCE\xBB/64\xCE\xBB\xCF\xB5\xCD\xB3)";
const char kSongTi[] = "\xCB\xCE\xCC\xE5";                                          // the face SimSun
const char kTestBanner[] = "\xB2\xE2\xCA\xD4\xB3\xF6\xC6\xB7_www.example.org";      // the test define
const char kAboutProgram[] = "\xB9\xD8\xD3\xDA\xB3\xCC\xD0\xF2\xA3\xBA";
const char kProgramName[] =
    "\xB3\xCC\xD0\xF2\xC3\xFB\xB3\xC6\xA3\xBAVorlix(.net\xB0\xB2\xD7\xB0\xB9\xA4\xBE\xDF)";
const char kTestCredits[] = "\xB3\xCC\xD0\xF2\xA3\xBA\xB2\xE2\xCA\xD4 \xBD\xE7\xC3\xE6\xA3\xBA\xB2\xE2\xCA\xD4";
const char kPublisher[] = "\xB3\xCC\xD0\xF2\xB3\xF6\xC6\xB7\xA3\xBA";
const char kInstructions[] = "\xB3\xCC\xD0\xF2\xCB\xB5\xC3\xF7\xA3\xBA";
const std::vector<std::string> kMemoLines = {
    "1\xA1\xA2\xD6\xC7\xC4\xDC\xCA\xB6\xB1\xF0\xD4\xCB\xD0\xD0\xBB\xB7\xBE\xB3\xA3\xAC\xCF\xB5\xCD\xB3\xB2\xBF\xCA"
    "\xF0\xBB\xB7\xBE\xB3\xBD\xAB\xD7\xD4\xB6\xAF\xB0\xB2\xD7\xB0\xB2\xA2\xD7\xD4\xC9\xBE\xB3\xFD",
    "2\xA1\xA2\xB3\xCC\xD0\xF2\xC3\xFC\xC1\xEE\xD0\xD0\xA3\xBA",
    "    -A \xD7\xD4\xB6\xAF\xB0\xB2\xD7\xB0 (\xB4\xF8\xBD\xE7\xC3\xE6\xB0\xB2\xD7\xB0)",
    "    -S \xBE\xB2\xC4\xAC\xD4\xCB\xD0\xD0 (\xC3\xBB\xD3\xD0\xBD\xE7\xC3\xE6\xB0\xB2\xD7\xB0)",
    "    -D \xD4\xCB\xD0\xD0\xCD\xEA\xB3\xC9\xBA\xF3\xD7\xD4\xC9\xBE\xB3\xFD",
};

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The pixel size from a JPEG's start-of-frame header.
bool JpegSize(const std::vector<uint8_t>& b, int& width, int& height) {
    size_t i = 2;
    while (i + 4 <= b.size()) {
        if (b[i] != 0xFF) return false;
        const uint8_t marker = b[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        const size_t length = static_cast<size_t>(b[i + 2]) << 8 | b[i + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (i + 9 > b.size()) return false;
            height = b[i + 5] << 8 | b[i + 6];
            width = b[i + 7] << 8 | b[i + 8];
            return true;
        }
        i += 2 + length;
    }
    return false;
}

std::string EventText(const std::vector<EventBinding>& events) {
    std::string s;
    for (const auto& e : events) s += (s.empty() ? "" : " ") + e.event + "=" + e.handler;
    return s;
}

FormLayout Parse(const std::vector<uint8_t>& blob) {
    FormLayout form;
    std::string error;
    EXPECT_TRUE(ParseLayout(blob.data(), blob.size(), form, error)) << error;
    return form;
}

struct Expected {
    const char* name;
    ElementKind kind;
    int left, top, width, height;
    bool visible;
    CursorKind cursor;
    const char* events;
    int pictureFormat;  // 0 none, 1 JPEG, 2 GIF
    int pictureWidth, pictureHeight;
    DrawMode draw;
};

void CheckInventory(const FormLayout& form, const std::vector<Expected>& table) {
    ASSERT_EQ(form.elements.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const Expected& x = table[i];
        const ElementLayout& e = form.elements[i];
        SCOPED_TRACE(x.name);
        EXPECT_EQ(e.name, x.name);
        EXPECT_EQ(e.kind, x.kind);
        EXPECT_EQ(e.left, x.left);
        EXPECT_EQ(e.top, x.top);
        EXPECT_EQ(e.width, x.width);
        EXPECT_EQ(e.height, x.height);
        EXPECT_EQ(e.visible, x.visible);
        EXPECT_EQ(e.cursor, x.cursor);
        EXPECT_EQ(EventText(e.events), x.events);
        if (x.pictureFormat == 0) {
            EXPECT_EQ(e.picture, -1);
            continue;
        }
        ASSERT_GE(e.picture, 0);
        ASSERT_LT(static_cast<size_t>(e.picture), form.pictures.size());
        const PictureData& p = form.pictures[e.picture];
        EXPECT_EQ(static_cast<int>(p.format), x.pictureFormat);
        EXPECT_EQ(e.drawMode, x.draw);
        int w = 0, h = 0;
        if (p.format == PictureFormat::Jpeg) {
            EXPECT_TRUE(JpegSize(p.bytes, w, h));
        } else {
            GifImage gif;
            std::string error;
            EXPECT_TRUE(DecodeGif(p.bytes.data(), p.bytes.size(), gif, error)) << error;
            w = gif.width;
            h = gif.height;
        }
        EXPECT_EQ(w, x.pictureWidth);
        EXPECT_EQ(h, x.pictureHeight);
    }
}

const CursorKind D = CursorKind::Default, A = CursorKind::Arrow, H = CursorKind::Hand;
const DrawMode S = DrawMode::Stretched, N = DrawMode::Natural;
const ElementKind kPic = ElementKind::Picture, kHot = ElementKind::Hotspot, kLab = ElementKind::Label;

}  // namespace

TEST(PackedMainWindow, Form) {
    FormLayout form = Parse(ReadFile(QVKU_TFORM1_BLOB));
    EXPECT_EQ(form.name, "Form1");
    EXPECT_EQ(form.className, "TForm1");
    EXPECT_EQ(form.clientWidth, 402);
    EXPECT_EQ(form.clientHeight, 160);
    EXPECT_EQ(form.border, BorderStyle::None);
    EXPECT_EQ(form.caption, "QvKu Test");
    EXPECT_EQ(form.colour, kColourBtnFace);
    EXPECT_EQ(form.font.face, kSongTi);
    EXPECT_EQ(form.font.height, 12);
    EXPECT_EQ(form.font.style, 0);
    EXPECT_EQ(form.font.colour, kColourWindowText);
    EXPECT_EQ(form.font.charset, 1);
    EXPECT_EQ(form.position, FormPosition::DesktopCenter);
    EXPECT_FALSE(form.keyPreview);
    EXPECT_EQ(EventText(form.events), "OnCreate=FormCreate OnActivate=FormActivate OnClose=FormClose");
    EXPECT_EQ(form.pictures.size(), 13u);  // twelve JPEGs and the GIF
}

TEST(PackedMainWindow, Inventory) {
    FormLayout form = Parse(ReadFile(QVKU_TFORM1_BLOB));
    const char* close = "OnClick=Label1Click OnMouseMove=Label1MouseMove OnMouseLeave=Label1MouseLeave";
    const char* minimise = "OnClick=Label2Click OnMouseMove=Label2MouseMove OnMouseLeave=Label2MouseLeave";
    const char* install = "OnClick=Label3Click OnMouseMove=Label3MouseMove OnMouseLeave=Label3MouseLeave";
    const char* about = "OnClick=Label4Click OnMouseMove=Label4MouseMove OnMouseLeave=Label4MouseLeave";
    CheckInventory(form, {
        {"Image1", kPic, 0, 0, 402, 160, true, A, "OnMouseMove=Image1MouseMove", 1, 402, 160, S},
        {"Image2", kPic, 360, 2, 39, 22, true, D, "", 1, 39, 22, S},
        {"Image3", kPic, 360, 2, 39, 22, false, D, "", 1, 39, 22, S},
        {"Label1", kHot, 360, 2, 39, 22, true, H, close, 0, 0, 0, S},
        {"Image4", kPic, 321, 2, 39, 22, true, H, "", 1, 39, 22, S},
        {"Image5", kPic, 321, 2, 39, 22, false, H, "", 1, 39, 22, S},
        {"Label2", kHot, 321, 2, 39, 22, true, H, minimise, 0, 0, 0, S},
        {"Image6", kPic, 168, 120, 120, 24, true, D, "", 1, 120, 24, S},
        {"Image7", kPic, 168, 120, 120, 24, false, D, "", 1, 120, 24, S},
        {"Image8", kPic, 300, 120, 86, 24, true, D, "", 1, 86, 24, S},
        {"Image9", kPic, 300, 120, 86, 24, false, D, "", 1, 86, 24, S},
        {"Label6", kLab, 96, 48, 217, 12, true, D, "OnMouseMove=Label6MouseMove", 0, 0, 0, S},
        {"Label3", kHot, 168, 120, 120, 24, true, H, install, 0, 0, 0, S},
        {"Label4", kHot, 300, 120, 86, 24, true, H, about, 0, 0, 0, S},
        {"Label5", kLab, 16, 10, 289, 12, true, D, "OnMouseMove=Label5MouseMove", 0, 0, 0, S},
        {"Image12", kPic, 16, 46, 70, 70, true, D, "", 1, 70, 70, N},
        {"Label7", kLab, 96, 80, 249, 12, true, D, "OnMouseMove=Label7MouseMove", 0, 0, 0, S},
        {"Label8", kLab, 96, 64, 289, 12, true, D, "OnMouseMove=Label6MouseMove", 0, 0, 0, S},
        {"Label9", kLab, 96, 96, 289, 12, true, D, "OnMouseMove=Label7MouseMove", 0, 0, 0, S},
        {"Image11", kPic, 16, 125, 371, 15, false, D, "", 1, 371, 15, N},
        {"Image13", kPic, 16, 125, 20, 15, false, D, "", 1, 371, 15, N},
        {"Image10", ElementKind::AnimatedPicture, 16, 46, 70, 70, false, D, "", 2, 70, 70, N},
        {"Timer1", ElementKind::Timer, 0, 0, 0, 0, true, D, "OnTimer=Timer1Timer", 0, 0, 0, S},
    });

    const struct { const char* name; std::string text; } texts[] = {
        {"Label5", kTestBanner}, {"Label6", kSoft}, {"Label7", kPlatforms},
        {"Label8", "Microsoft .NET Framework v4.5.2"}, {"Label9", kPlatformList},
    };
    for (const auto& t : texts) {
        const ElementLayout* e = FindElement(form, t.name);
        ASSERT_NE(e, nullptr) << t.name;
        EXPECT_EQ(e->text, t.text) << t.name;
        EXPECT_TRUE(e->ownFont) << t.name;
        EXPECT_EQ(e->font.face, kSongTi) << t.name;
        EXPECT_EQ(e->font.height, 12) << t.name;
        EXPECT_EQ(e->font.style, 0) << t.name;
        EXPECT_EQ(e->font.colour, 0u) << t.name;  // black
        EXPECT_EQ(e->font.charset, 0) << t.name;  // ANSI
        EXPECT_TRUE(e->transparent) << t.name;
        EXPECT_FALSE(e->autoSize) << t.name;
    }
    for (const auto& e : form.elements) {
        EXPECT_EQ(e.enabled, e.kind != ElementKind::Timer) << e.name;
        if (e.kind == ElementKind::Hotspot) {
            EXPECT_TRUE(e.text.empty()) << e.name;
            EXPECT_TRUE(e.transparent) << e.name;
            EXPECT_FALSE(e.ownFont) << e.name;
        }
    }
    const ElementLayout* timer = FindElement(form, "Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->timerInterval, 1000u);
}

// The supplied animation: 30 frames of 70 x 70 at a stored delay of 3, looping without end from
// the first frame, opaque throughout.
TEST(PackedMainWindow, Animation) {
    FormLayout form = Parse(ReadFile(QVKU_TFORM1_BLOB));
    const ElementLayout* e = FindElement(form, "Image10");
    ASSERT_NE(e, nullptr);
    const PictureData& p = form.pictures.at(e->picture);
    GifImage gif;
    std::string error;
    ASSERT_TRUE(DecodeGif(p.bytes.data(), p.bytes.size(), gif, error)) << error;
    ASSERT_EQ(gif.frames.size(), 30u);
    EXPECT_TRUE(gif.hasLoop);
    EXPECT_EQ(gif.loopCount, 0);
    EXPECT_EQ(gif.loopFrame, 0u);
    EXPECT_EQ(gif.frames[0].width, 70);
    EXPECT_EQ(gif.frames[0].height, 70);
    GifComposer composer(gif);
    GifPlayback playback(gif);
    GifClock clock;
    clock.Start(0);
    uint32_t now = 0;
    composer.Compose(0);
    for (int step = 0; step < 61; ++step) {
        const size_t frame = playback.Current();
        EXPECT_EQ(gif.frames[frame].storedDelay, 3) << frame;
        int opaque = 0;
        for (size_t i = 3; i < composer.Pixels().size(); i += 4) opaque += composer.Pixels()[i] == 255;
        EXPECT_EQ(opaque, 70 * 70) << "after frame " << frame;
        const int32_t wait = clock.NextWait(gif.frames[frame].storedDelay, now);
        EXPECT_EQ(wait, 36);
        now += wait;
        const int next = playback.Next();
        ASSERT_EQ(next, static_cast<int>((frame + 1) % 30));
        composer.Compose(next);
    }
}

TEST(PackedAboutDialog, FormAndInventory) {
    FormLayout form = Parse(ReadFile(QVKU_TFORM2_BLOB));
    EXPECT_EQ(form.name, "Form2");
    EXPECT_EQ(form.className, "TForm2");
    EXPECT_EQ(form.clientWidth, 369);
    EXPECT_EQ(form.clientHeight, 209);
    EXPECT_EQ(form.border, BorderStyle::Dialog);
    EXPECT_EQ(form.caption, "About");
    EXPECT_EQ(form.colour, kColourBtnFace);
    EXPECT_EQ(form.font.face, kSongTi);
    EXPECT_EQ(form.font.height, 12);
    EXPECT_EQ(form.font.colour, kColourWindowText);
    EXPECT_EQ(form.font.charset, 1);
    EXPECT_EQ(form.position, FormPosition::MainFormCenter);
    EXPECT_TRUE(form.keyPreview);
    EXPECT_EQ(EventText(form.events), "OnActivate=FormActivate OnKeyDown=FormKeyDown");
    EXPECT_TRUE(form.pictures.empty());
    CheckInventory(form, {
        {"GroupBox1", ElementKind::GroupBox, 8, 8, 353, 193, true, D, "", 0, 0, 0, S},
        {"Label1", kLab, 8, 24, 185, 12, true, D, "", 0, 0, 0, S},
        {"Label2", kLab, 8, 48, 329, 12, true, D, "", 0, 0, 0, S},
        {"Label3", kLab, 8, 72, 60, 12, true, D, "", 0, 0, 0, S},
        {"Label4", kLab, 68, 72, 149, 12, true, H,
         "OnClick=Label4Click OnMouseMove=Label4MouseMove OnMouseLeave=Label4MouseLeave", 0, 0, 0, S},
        {"Label5", kLab, 8, 96, 60, 12, true, D, "", 0, 0, 0, S},
        {"Label6", kLab, 200, 24, 129, 12, true, D, "", 0, 0, 0, S},
        {"Memo1", ElementKind::Memo, 8, 112, 337, 73, true, D, "", 0, 0, 0, S},
    });
    const struct { const char* name; std::string text; bool autoSize; } texts[] = {
        {"GroupBox1", kAboutProgram, false}, {"Label1", kProgramName, false}, {"Label2", kTestCredits, false},
        {"Label3", kPublisher, true},        {"Label4", "www.example.org", false}, {"Label5", kInstructions, true},
        {"Label6", "V1.0.0.0", false},       {"Memo1", "", false},
    };
    for (const auto& t : texts) {
        const ElementLayout* e = FindElement(form, t.name);
        ASSERT_NE(e, nullptr) << t.name;
        EXPECT_EQ(e->text, t.text) << t.name;
        EXPECT_EQ(e->autoSize, t.autoSize) << t.name;
        EXPECT_FALSE(e->ownFont) << t.name;  // every element uses the dialog's font
        EXPECT_FALSE(e->transparent) << t.name;
        EXPECT_EQ(e->parent, e->name == "GroupBox1" ? "" : "GroupBox1") << t.name;
    }
    const ElementLayout* memo = FindElement(form, "Memo1");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->memoLines, kMemoLines);
    EXPECT_TRUE(memo->memoReadOnly);
    EXPECT_TRUE(memo->memoVerticalScrollBar);
    EXPECT_TRUE(memo->memoWordWrap);
}

TEST(PackedLayouts, GbkText) {
    FormLayout form = Parse(ReadFile(QVKU_TFORM1_BLOB));
    const ElementLayout* e = FindElement(form, "Label6");
    ASSERT_NE(e, nullptr);
    const std::vector<uint8_t> bytes(e->text.begin(), e->text.end());
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xC8, 0xED, 0xBC, 0xFE, 0xA3, 0xBA}));
}

// Truncated data: unsealed, the header's size catches it; resealed (size and checksum made to
// fit), the structure checks must find where it ends. TForm2 at every length; TForm1 at every
// length through its elements and then at a stride through the pictures.
TEST(PackedLayouts, EveryTruncationFails) {
    for (const char* path : {QVKU_TFORM1_BLOB, QVKU_TFORM2_BLOB}) {
        const std::vector<uint8_t> blob = ReadFile(path);
        const FormLayout whole = Parse(blob);
        size_t pictureBytes = 0;
        for (const auto& p : whole.pictures) pictureBytes += p.bytes.size() + 5;
        const size_t structureEnd = blob.size() - pictureBytes;
        for (size_t n = 0; n < blob.size(); ++n) {
            FormLayout form;
            std::string error;
            EXPECT_FALSE(ParseLayout(blob.data(), n, form, error)) << path << " " << n;
            EXPECT_NE(error.find("header: "), std::string::npos) << error;
            if (n < kLayoutHeaderSize || (n > structureEnd && n % 101 != 0 && n + 8 < blob.size())) continue;
            // A copy of its own, so that ASan sees any read past its end.
            std::vector<uint8_t> prefix(blob.begin(), blob.begin() + n);
            ResealLayoutBlob(prefix);
            EXPECT_FALSE(ParseLayout(prefix.data(), prefix.size(), form, error)) << path << " resealed " << n;
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find("header"), std::string::npos) << error;
        }
    }
}

// A flipped byte anywhere is caught by the checksum. Resealed, the parser either reads a
// different valid layout or says what is wrong; it never reads outside the data. TForm2 every
// byte with three masks; TForm1 every byte of its structure and a stride through its pictures.
TEST(PackedLayouts, FlippedBytes) {
    for (const char* path : {QVKU_TFORM2_BLOB, QVKU_TFORM1_BLOB}) {
        const std::vector<uint8_t> blob = ReadFile(path);
        const FormLayout whole = Parse(blob);
        size_t pictureBytes = 0;
        for (const auto& p : whole.pictures) pictureBytes += p.bytes.size() + 5;
        const size_t structureEnd = blob.size() - pictureBytes;
        const bool big = !whole.pictures.empty();
        std::vector<uint8_t> bad = blob;
        for (size_t i = 0; i < blob.size(); i += (i < structureEnd ? 1 : 499)) {
            for (uint8_t mask : {0xFF, 0x01, 0x80}) {
                if (big && mask != 0xFF) continue;
                bad[i] ^= mask;
                FormLayout form;
                std::string error;
                EXPECT_FALSE(ParseLayout(bad.data(), bad.size(), form, error)) << path << " byte " << i;
                EXPECT_NE(error.find("header: "), std::string::npos) << error;
                if (i >= kLayoutHeaderSize) {
                    ResealLayoutBlob(bad);
                    if (!ParseLayout(bad.data(), bad.size(), form, error)) EXPECT_FALSE(error.empty());
                }
                bad = blob;
            }
        }
    }
}

TEST(PackedLayouts, HugePictureLength) {
    std::vector<uint8_t> blob = ReadFile(QVKU_TFORM1_BLOB);
    const FormLayout form = Parse(blob);
    ASSERT_FALSE(form.pictures.empty());
    const size_t lengthAt = blob.size() - form.pictures.back().bytes.size() - 4;
    for (uint32_t huge : {0xFFFFFFFFu, 0x01000001u, 0x00FFFFFFu}) {
        for (int i = 0; i < 4; ++i) blob[lengthAt + i] = static_cast<uint8_t>(huge >> (8 * i));
        ResealLayoutBlob(blob);
        FormLayout out;
        std::string error;
        EXPECT_FALSE(ParseLayout(blob.data(), blob.size(), out, error));
        EXPECT_NE(error.find("picture " + std::to_string(form.pictures.size() - 1) + ": "), std::string::npos) << error;
    }
}

namespace {

// A small form with one element of every kind, for the field checks.
FormLayout SmallForm() {
    FormLayout f;
    f.name = "Form9";
    f.className = "TForm9";
    f.clientWidth = 100;
    f.clientHeight = 50;
    f.border = BorderStyle::Dialog;
    f.caption = "Cap \xC8\xED";
    f.colour = kColourBtnFace;
    f.font = {"Face", 12, kFontBold, kColourWindowText, 1};
    f.position = FormPosition::MainFormCenter;
    f.keyPreview = true;
    f.events = {{"OnActivate", "FormActivate"}};
    auto add = [&](ElementKind kind, const char* name) -> ElementLayout& {
        ElementLayout e;
        e.kind = kind;
        e.name = name;
        e.width = 10;
        e.height = 12;
        f.elements.push_back(e);
        return f.elements.back();
    };
    add(ElementKind::GroupBox, "Box").text = "Title";
    ElementLayout& text = add(ElementKind::Label, "Text");
    text.parent = "Box";
    text.left = 1;
    text.top = 2;
    text.text = "Hi";
    text.ownFont = true;
    text.font = {"\xCB\xCE\xCC\xE5", 9, kFontItalic | kFontUnderline, 0x0000FF, 134};
    text.events = {{"OnClick", "TextClick"}};
    ElementLayout& pic = add(ElementKind::Picture, "Pic");
    pic.picture = 0;
    pic.cursor = CursorKind::Arrow;
    ElementLayout& anim = add(ElementKind::AnimatedPicture, "Anim");
    anim.picture = 1;
    anim.drawMode = DrawMode::Natural;
    anim.visible = false;
    ElementLayout& spot = add(ElementKind::Hotspot, "Spot");
    spot.transparent = true;
    spot.cursor = CursorKind::Hand;
    spot.events = {{"OnMouseMove", "SpotMouseMove"}, {"OnMouseLeave", "SpotMouseLeave"}};
    ElementLayout& memo = add(ElementKind::Memo, "Notes");
    memo.parent = "Box";
    memo.memoLines = {"a", "", "    b"};
    memo.memoReadOnly = memo.memoWordWrap = true;
    ElementLayout& tick = add(ElementKind::Timer, "Tick");
    tick.width = tick.height = 0;
    tick.timerInterval = 1000;
    tick.enabled = false;
    tick.events = {{"OnTimer", "TickTimer"}};
    f.pictures = {{PictureFormat::Jpeg, {0xFF, 0xD8, 0xFF, 0xD9}}, {PictureFormat::Gif, {'G', 'I', 'F', '8', '9', 'a', 1}}};
    return f;
}

}  // namespace

TEST(ParseLayout, ReadsWhatWasWritten) {
    const FormLayout f = SmallForm();
    const FormLayout back = Parse(WriteLayoutBlob(f));
    EXPECT_EQ(back.caption, f.caption);
    EXPECT_EQ(back.font.style, kFontBold);
    EXPECT_EQ(back.position, FormPosition::MainFormCenter);
    EXPECT_TRUE(back.keyPreview);
    ASSERT_EQ(back.elements.size(), f.elements.size());
    const ElementLayout& text = back.elements[1];
    EXPECT_EQ(text.parent, "Box");
    EXPECT_EQ(text.left, 1);
    EXPECT_EQ(text.top, 2);
    EXPECT_TRUE(text.ownFont);
    EXPECT_EQ(text.font.face, "\xCB\xCE\xCC\xE5");
    EXPECT_EQ(text.font.height, 9);
    EXPECT_EQ(text.font.style, kFontItalic | kFontUnderline);
    EXPECT_EQ(text.font.colour, 0x0000FFu);
    EXPECT_EQ(text.font.charset, 134);
    EXPECT_EQ(HandlerFor(text.events, "OnClick"), "TextClick");
    EXPECT_EQ(HandlerFor(text.events, "OnMouseMove"), "");
    EXPECT_EQ(back.elements[2].cursor, CursorKind::Arrow);
    EXPECT_EQ(back.elements[3].drawMode, DrawMode::Natural);
    EXPECT_FALSE(back.elements[3].visible);
    EXPECT_EQ(back.elements[5].memoLines, f.elements[5].memoLines);
    EXPECT_TRUE(back.elements[5].memoReadOnly);
    EXPECT_FALSE(back.elements[5].memoVerticalScrollBar);
    EXPECT_TRUE(back.elements[5].memoWordWrap);
    EXPECT_FALSE(back.elements[6].enabled);
    EXPECT_EQ(back.elements[6].timerInterval, 1000u);
    EXPECT_EQ(back.pictures[1].bytes, f.pictures[1].bytes);
    EXPECT_EQ(FindElement(back, "Spot"), &back.elements[4]);
    EXPECT_EQ(FindElement(back, "spot"), nullptr);

    // Negative positions are allowed, within limits.
    FormLayout g = f;
    g.elements[1].left = -4096;
    g.elements[1].top = -1;
    const FormLayout negative = Parse(WriteLayoutBlob(g));
    EXPECT_EQ(negative.elements[1].left, -4096);
    EXPECT_EQ(negative.elements[1].top, -1);
}

TEST(ParseLayout, FieldFaults) {
    const FormLayout f = SmallForm();
    const size_t bodySize = WriteLayoutBlob(f).size() - kLayoutHeaderSize;
    struct Case { FieldOverride fault; const char* message; } cases[] = {
        {{"header", "version", 2}, "header: layout version 2, this program reads version 1"},
        {{"header", "reserved", 1}, "header: reserved field is 1"},
        {{"header", "body size", bodySize + 1}, "header: body size says"},
        {{"header", "body size", bodySize - 1}, "header: body size says"},
        {{"header", "checksum", 0}, "header: checksum does not match"},
        {{"form", "name length", 0}, "form: name: \"\" is not a name"},
        {{"form", "name length", 0xFFFF}, "form: name: length 65535 is over the limit of 63"},
        {{"form", "class name length", 64}, "class name: length 64 is over the limit of 63"},
        {{"form", "client width", 0}, "form Form9: client size: 0 x 50 is outside 1..4096"},
        {{"form", "client height", 4097}, "client size: 100 x 4097 is outside"},
        {{"form", "border", 2}, "border: unknown border style 2"},
        {{"form", "caption length", 0xFFFF}, "caption: length 65535 is over the limit of 4096"},
        {{"form", "caption length", 4000}, "caption: needs 4000 bytes, only"},
        {{"form", "colour", 0x01000000}, "colour: value 16777216 is neither a system colour nor an RGB value"},
        {{"form", "colour", 0x80000020}, "colour: unknown system colour 32"},
        {{"form", "font face length", 0}, "font face: empty"},
        {{"form", "font face length", 32}, "font face: length 32 is over the limit of 31"},
        {{"form", "font height", 0}, "font height: 0 is outside 1..256"},
        {{"form", "font height", 257}, "font height: 257 is outside 1..256"},
        {{"form", "font style", 16}, "font style: unknown style bits 16"},
        {{"form", "font colour", 0x01000000}, "font colour: value"},
        {{"form", "font charset", 3}, "font charset: unknown character set 3"},
        {{"form", "position", 2}, "position: unknown position rule 2"},
        {{"form", "key preview", 2}, "key preview: must be 0 or 1, not 2"},
        {{"form", "event count", 17}, "event count: 17 is over the limit of 16"},
        {{"form", "event 0 name length", 0}, "event 0 name: \"\" is not a name"},
        {{"form", "element count", 513}, "element count: 513 is over the limit of 512"},
        {{"form", "element count", 8}, "element 7: "},
        {{"form", "element count", 0}, "form Form9: picture count: 774 is over the limit of 64"},
        {{"element 0", "kind", 0}, "element 0: kind: unknown element kind 0"},
        {{"element 0", "kind", 8}, "element 0: kind: unknown element kind 8"},
        {{"element 1", "name length", 0}, "element 1: name: \"\" is not a name"},
        {{"element 1", "parent length", 0xFFFF}, "element 1 (Text): parent: length 65535 is over the limit of 63"},
        {{"element 1", "left", 5000}, "element 1 (Text): position: 5000, 2 is outside -4096..4096"},
        {{"element 1", "top", 0x10000 - 5000}, "position: 1, -5000 is outside -4096..4096"},
        {{"element 1", "width", 4097}, "element 1 (Text): size: 4097 x 12 is outside 0..4096"},
        {{"element 1", "flags", 0x33}, "element 1 (Text): flags: unknown flag bits 51"},
        {{"element 1", "text length", 4097}, "element 1 (Text): text: length 4097 is over the limit of 4096"},
        {{"element 1", "font height", 0}, "element 1 (Text): font height: 0 is outside"},
        {{"element 1", "font charset", 135}, "element 1 (Text): font charset: unknown character set 135"},
        {{"element 1", "cursor", 3}, "element 1 (Text): cursor: unknown cursor 3"},
        {{"element 1", "picture index", 0}, "element 1 (Text): picture index: only picture elements have one"},
        {{"element 1", "drawing mode", 1}, "element 1 (Text): drawing mode: only picture elements have one"},
        {{"element 1", "timer interval", 5}, "element 1 (Text): timer interval: only a timer has one"},
        {{"element 1", "memo flags", 1}, "element 1 (Text): memo lines: only a memo has them"},
        {{"element 1", "event count", 17}, "element 1 (Text): event count: 17 is over the limit of 16"},
        {{"element 1", "event 0 handler length", 0}, "element 1 (Text): event 0 handler: \"\" is not a name"},
        {{"element 2", "drawing mode", 2}, "element 2 (Pic): drawing mode: unknown drawing mode 2"},
        {{"element 2", "picture index", 0xFFFF}, "element 2 (Pic): picture index: a picture element needs a picture"},
        {{"element 2", "picture index", 2}, "element 2 (Pic): picture index: 2 is out of range (2 pictures)"},
        {{"element 3", "picture index", 0}, "element 3 (Anim): picture index: an animated picture needs a GIF"},
        {{"element 4", "flags", 3}, "element 4 (Spot): flags: a hotspot has a transparent background"},
        {{"element 5", "memo flags", 8}, "element 5 (Notes): memo flags: unknown flag bits 8"},
        {{"element 5", "memo line count", 257}, "element 5 (Notes): memo line count: 257 is over the limit of 256"},
        {{"element 5", "memo line count", 200}, "element 5 (Notes): memo lines: needs 400 bytes"},
        {{"element 5", "memo line 2 length", 3000}, "element 5 (Notes): memo line 2: needs 3000 bytes"},
        {{"element 6", "timer interval", 0}, "element 6 (Tick): timer interval: 0 ms is outside 1..3600000"},
        {{"element 6", "timer interval", 3600001}, "timer interval: 3600001 ms is outside 1..3600000"},
        {{"element 6", "left", 1}, "element 6 (Tick): bounds: a timer has none"},
        {{"element 6", "cursor", 2}, "element 6 (Tick): cursor: a timer has none"},
        {{"form", "picture count", 65}, "picture count: 65 is over the limit of 64"},
        {{"form", "picture count", 3}, "picture 2: format: needs 1 bytes, only 0 left"},
        {{"form", "picture count", 1}, "bytes follow the last picture"},
        {{"picture 0", "format", 3}, "picture 0: format: unknown picture format 3"},
        {{"picture 0", "format", 2}, "picture 0: bytes: a GIF picture does not start with GIF87a or GIF89a"},
        {{"picture 1", "format", 1}, "picture 1: bytes: a JPEG picture does not start with FF D8 FF"},
        {{"picture 0", "length", 0}, "picture 0: length: 0 bytes is outside 1..16 MiB"},
        {{"picture 0", "length", 0xFFFFFFFF}, "picture 0: length: 4294967295 bytes is outside 1..16 MiB"},
        {{"picture 1", "length", 1000}, "picture 1: bytes: needs 1000 bytes, only 7 left"},
        {{"form", "trailing bytes", 3}, "form Form9: 3 bytes follow the last picture"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> blob = WriteLayoutBlob(f, {c.fault});
        FormLayout out;
        std::string error;
        EXPECT_FALSE(ParseLayout(blob.data(), blob.size(), out, error)) << c.fault.owner << " " << c.fault.field;
        EXPECT_NE(error.find(c.message), std::string::npos)
            << c.fault.owner << " " << c.fault.field << "\n  got: " << error << "\n want: " << c.message;
        EXPECT_TRUE(out.elements.empty());
    }
}

TEST(ParseLayout, FormFaults) {
    struct Case { const char* what; std::function<void(FormLayout&)> change; const char* message; } cases[] = {
        {"duplicate name", [](FormLayout& f) { f.elements[2].name = "Text"; },
         "element 2 (Text): name: \"Text\" is used by an earlier element"},
        {"missing parent", [](FormLayout& f) { f.elements[1].parent = "Nobody"; },
         "element 1 (Text): parent: no earlier element is called \"Nobody\""},
        {"parent given later", [](FormLayout& f) { f.elements[0].parent = "Notes"; },
         "element 0 (Box): parent: no earlier element is called \"Notes\""},
        {"parent of itself", [](FormLayout& f) { f.elements[0].parent = "Box"; }, "no earlier element is called \"Box\""},
        {"parent not a group box", [](FormLayout& f) { f.elements[5].parent = "Text"; },
         "element 5 (Notes): parent: \"Text\" is a Label, not a group box"},
        {"timer inside a group box", [](FormLayout& f) { f.elements[6].parent = "Box"; },
         "element 6 (Tick): parent: a timer belongs to the form"},
        {"unused picture", [](FormLayout& f) { f.elements[2].picture = 1; }, "picture 0: no element uses it"},
        {"unknown event", [](FormLayout& f) { f.elements[1].events = {{"OnPaint", "TextPaint"}}; },
         "element 1 (Text): event 0 name: \"OnPaint\" is not an event of this kind of owner"},
        {"click on a timer", [](FormLayout& f) { f.elements[6].events = {{"OnClick", "TickClick"}}; },
         "element 6 (Tick): event 0 name: \"OnClick\" is not an event"},
        {"timer event on a label", [](FormLayout& f) { f.elements[1].events = {{"OnTimer", "TextTimer"}}; },
         "\"OnTimer\" is not an event"},
        {"click on the form", [](FormLayout& f) { f.events.push_back({"OnClick", "FormClick"}); },
         "form Form9: event 1 name: \"OnClick\" is not an event"},
        {"event bound twice",
         [](FormLayout& f) { f.elements[4].events = {{"OnMouseMove", "A"}, {"OnMouseMove", "B"}}; },
         "element 4 (Spot): event 1 name: \"OnMouseMove\" is bound twice"},
        {"handler not a name", [](FormLayout& f) { f.elements[1].events = {{"OnClick", "3Click"}}; },
         "event 0 handler: \"3Click\" is not a name"},
        {"name with a blank", [](FormLayout& f) { f.elements[1].name = "My Text"; }, "\"My Text\" is not a name"},
        {"name not ASCII", [](FormLayout& f) { f.elements[1].name = "\xC8\xED"; }, "element 1: name: "},
        {"hotspot with text", [](FormLayout& f) { f.elements[4].text = "x"; },
         "element 4 (Spot): text: a Hotspot has none"},
        {"picture with text", [](FormLayout& f) { f.elements[2].text = "x"; }, "text: a Picture has none"},
        {"memo with text", [](FormLayout& f) { f.elements[5].text = "x"; }, "text: a Memo has none"},
        {"timer with text", [](FormLayout& f) { f.elements[6].text = "x"; }, "text: a Timer has none"},
        {"lone lead byte", [](FormLayout& f) { f.elements[1].text = "ab\x81"; },
         "element 1 (Text): text: not well-formed GBK at text byte 2"},
        {"bad trail byte", [](FormLayout& f) { f.elements[1].text = "\xC8\x7F"; }, "not well-formed GBK at text byte 1"},
        {"byte 0xFF", [](FormLayout& f) { f.elements[1].text = "\xFF"; }, "not well-formed GBK at text byte 0"},
        {"NUL in a text", [](FormLayout& f) { f.elements[1].text = std::string("a\0b", 3); },
         "not well-formed GBK at text byte 1"},
        {"bad memo line", [](FormLayout& f) { f.elements[5].memoLines[1] = "\x80"; },
         "element 5 (Notes): memo line 2: not well-formed GBK"},
        {"bad caption", [](FormLayout& f) { f.caption = "\xA1"; }, "form Form9: caption: not well-formed GBK"},
        {"bad face", [](FormLayout& f) { f.elements[1].font.face = "\xA1"; }, "font face: not well-formed GBK"},
        {"JPEG that is not", [](FormLayout& f) { f.pictures[0].bytes = {0xFF, 0xD8}; }, "picture 0: bytes: a JPEG"},
        {"GIF88a", [](FormLayout& f) { f.pictures[1].bytes = {'G', 'I', 'F', '8', '8', 'a'}; }, "picture 1: bytes: a GIF"},
    };
    for (const auto& c : cases) {
        FormLayout f = SmallForm();
        c.change(f);
        const std::vector<uint8_t> blob = WriteLayoutBlob(f);
        FormLayout out;
        std::string error;
        EXPECT_FALSE(ParseLayout(blob.data(), blob.size(), out, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << "\n  got: " << error << "\n want: " << c.message;
    }
}

TEST(ParseLayout, NotALayout) {
    struct Case { std::vector<uint8_t> bytes; const char* message; } cases[] = {
        {{}, "shorter than the 16-byte header"},
        {{'Q', 'V', 'L', 'Y', 1, 0}, "shorter than the 16-byte header"},
        {{'M', 'Z', 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "magic is not QVLY"},
        {{'Q', 'V', 'L', 'Y', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "form: name"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = c.bytes;
        if (bytes.size() == kLayoutHeaderSize && bytes[0] == 'Q') ResealLayoutBlob(bytes);
        FormLayout out;
        std::string error;
        EXPECT_FALSE(ParseLayout(bytes.data(), bytes.size(), out, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    FormLayout out;
    std::string error;
    EXPECT_FALSE(ParseLayout(nullptr, 20, out, error));
    EXPECT_FALSE(error.empty());
}
