// The owners of what the platform hands out: each gives its object back exactly when it goes,
// on every path, and a moved owner leaves nothing behind for the one it came from.
#include <gtest/gtest.h>

#include <stdexcept>
#include <type_traits>
#include <utility>

#include "Handles.h"
#include "TestSupport.h"

// GDI owners are of distinct types: one kind of object cannot be handed to another's owner.
static_assert(!std::is_constructible<UniqueFont, HBITMAP>::value, "a bitmap is no font");
static_assert(!std::is_constructible<UniqueBitmap, HFONT>::value, "a font is no bitmap");
static_assert(!std::is_constructible<UniqueBrush, HRGN>::value, "a region is no brush");
static_assert(!std::is_constructible<UniqueRegion, HBRUSH>::value, "a brush is no region");
static_assert(!std::is_copy_constructible<UniqueFile>::value && std::is_nothrow_move_constructible<UniqueFile>::value &&
                  std::is_nothrow_move_assignable<UniqueFile>::value,
              "a file has one owner at a time, and it can change");

namespace {
HFONT MakeFont() {
    return CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
}
}  // namespace

TEST(Handles, GdiOwnersDeleteTheirObjectWhenTheyGo) {
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    HFONT font = MakeFont();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HRGN region = CreateRectRgn(0, 0, 5, 5);
    ASSERT_TRUE(bitmap && font && brush && region);
    {
        UniqueBitmap b(bitmap);
        UniqueFont f(font);
        UniqueBrush br(brush);
        UniqueRegion r(region);
        EXPECT_EQ(GetObjectType(b.get()), DWORD(OBJ_BITMAP));
        EXPECT_EQ(GetObjectType(f.get()), DWORD(OBJ_FONT));
        EXPECT_EQ(GetObjectType(br.get()), DWORD(OBJ_BRUSH));
        EXPECT_EQ(GetObjectType(r.get()), DWORD(OBJ_REGION));
    }
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    EXPECT_EQ(GetObjectType(font), 0u);
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(GetObjectType(region), 0u);
    // A moved owner hands its object on and deletes nothing.
    HFONT moved = MakeFont();
    UniqueFont last;
    {
        UniqueFont first(moved);
        last = std::move(first);
        EXPECT_FALSE(first);
    }
    EXPECT_EQ(GetObjectType(moved), DWORD(OBJ_FONT));
    last.reset();
    EXPECT_EQ(GetObjectType(moved), 0u);
}

TEST(Handles, SelectionPutsThePreviousObjectBackOnEveryPath) {
    UniqueDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ originalFont = GetCurrentObject(dc.get(), OBJ_FONT);
    const HGDIOBJ originalBitmap = GetCurrentObject(dc.get(), OBJ_BITMAP);
    UniqueFont font(MakeFont());
    UniqueBitmap bitmap(CreateBitmap(4, 4, 1, 32, nullptr));
    {
        Selection a(dc.get(), font.get());
        Selection b(dc.get(), bitmap.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_FONT), font.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_FONT), originalFont);
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), originalBitmap);
    // Left by an exception.
    try {
        Selection a(dc.get(), font.get());
        throw std::runtime_error("a handler failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_FONT), originalFont);
    // The bitmap is free again: deleting it works, where a selected one would stay.
    HBITMAP raw = bitmap.get();
    bitmap.reset();
    EXPECT_EQ(GetObjectType(raw), 0u);
    // Nothing to select, or no context: the guard does nothing.
    { Selection none(dc.get(), nullptr); }
    { Selection none(nullptr, font.get()); }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_FONT), originalFont);
}

TEST(Handles, UniqueFileClosesOnceAndMovesItsHandle) {
    ScratchDir dir;
    const std::string path = dir / "owned.txt";
    auto open = [&] {
        return UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, 0, nullptr));
    };
    open();  // whatever the system keeps open after a first use of the folder is not ours
    const int before = CountOwnHandles();
    {
        UniqueFile a = open();
        ASSERT_TRUE(a.valid());
        EXPECT_EQ(CountOwnHandles(), before + 1);
        UniqueFile b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_TRUE(b.valid());
        UniqueFile c;
        c = std::move(b);
        EXPECT_FALSE(b.valid());
        EXPECT_EQ(CountOwnHandles(), before + 1) << "moves neither copy nor close";
        // Taking another file closes the one held.
        c = open();
        EXPECT_TRUE(c.valid());
        EXPECT_EQ(CountOwnHandles(), before + 1);
        UniqueFile& self = c;
        c = std::move(self);
        EXPECT_TRUE(c.valid()) << "moving into itself keeps the file";
    }
    EXPECT_EQ(CountOwnHandles(), before);
    UniqueFile closing = open();
    EXPECT_TRUE(closing.close());
    EXPECT_FALSE(closing.valid());
    EXPECT_TRUE(closing.close()) << "nothing held, nothing to fail";
    EXPECT_EQ(CountOwnHandles(), before);
}

TEST(Handles, WindowDcAndPaintDcGiveTheirContextBack) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QvkuHandlesTest";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) GTEST_SKIP() << "no window system here";
    ShowWindow(window, SW_SHOWNOACTIVATE);
    {
        WindowDc dc(window);
        ASSERT_TRUE(dc);
        EXPECT_EQ(WindowFromDC(dc.get()), window);
    }
    {
        // Outside WM_PAINT BeginPaint still hands out a context, and EndPaint validates the window.
        UpdateWindow(window);
        InvalidateRect(window, nullptr, FALSE);
        PaintDc dc(window);
        ASSERT_TRUE(dc);
        EXPECT_EQ(dc.Dirty().right, 20);
    }
    RECT update;
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE)) << "the paint was ended";
    // A thousand contexts taken and given back: a leak of the cache would run it dry.
    for (int i = 0; i < 1000; ++i) {
        WindowDc dc(window);
        ASSERT_TRUE(dc) << i;
    }
    DestroyWindow(window);
}
