// The platform's drawing calls and process state: bitmaps from resources into a window's
// pixels, GDI's ownership rules (a selected bitmap cannot be deleted), the live-object
// count, what GetObject tells of a bitmap, picture statics sized by their bitmaps, the
// command line and the thread priority.
#include <windows.h>
#include <PlatformTestGdi.h>
#include <PlatformTestProcess.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace {

class PlatformGdi : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetWindows();
        PlatformTest_ResetProcess();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "GdiTarget";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "GdiTarget", "", WS_POPUP | WS_VISIBLE, 0, 0, 4, 3, nullptr, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        PlatformTest_ResetWindows();
        PlatformTest_ResetProcess();
    }
    HINSTANCE Module() const { return reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)); }
    HWND window = nullptr;
};

}  // namespace

TEST_F(PlatformGdi, BitmapResourceReachesTheWindowThroughAMemoryContext) {
    // Resource 300 is a one-pixel bitmap.
    HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(300));
    ASSERT_NE(bitmap, nullptr);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(paint.hdc, dc);
    EXPECT_EQ(paint.rcPaint.right, 4);
    EXPECT_EQ(paint.rcPaint.bottom, 3);
    HDC memory = CreateCompatibleDC(dc);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 3);
    HGDIOBJ old = SelectObject(memory, bitmap);
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(BitBlt(dc, 1, 1, 4, 3, memory, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, memory, 0, 0, 0x00EE0086));  // only SRCCOPY
    // Selected into a context, the bitmap cannot be deleted.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(memory, old), static_cast<HGDIOBJ>(bitmap));
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_TRUE(EndPaint(window, &paint));
    EXPECT_FALSE(EndPaint(window, &paint));
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 0);

    PlatformTestPixels pixels;
    ASSERT_TRUE(PlatformTest_WindowPixels(window, &pixels));
    ASSERT_EQ(pixels.width, 4);
    ASSERT_EQ(pixels.height, 3);
    // One pixel drawn at (1, 1), clipped to the bitmap; the rest untouched black.
    EXPECT_NE(pixels.At(1, 1), 0xFF000000u);
    EXPECT_EQ(pixels.At(0, 0), 0xFF000000u);
    EXPECT_EQ(pixels.At(2, 1), 0xFF000000u);
    EXPECT_EQ(pixels.At(1, 2), 0xFF000000u);
}

TEST_F(PlatformGdi, BadHandlesAndMissingBitmapsFail) {
    EXPECT_EQ(LoadBitmapA(Module(), MAKEINTRESOURCEA(9999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    // A null instance names the system's bitmaps.
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(300)), nullptr);
    PAINTSTRUCT paint;
    EXPECT_EQ(BeginPaint(reinterpret_cast<HWND>(0x1234), &paint), nullptr);
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(0x99)), nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(SelectObject(memory, reinterpret_cast<HGDIOBJ>(0x77)), nullptr);
    // A bitmap goes into one memory context at a time.
    HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(300));
    HDC other = CreateCompatibleDC(nullptr);
    ASSERT_NE(SelectObject(memory, bitmap), nullptr);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    // Deleting the context lets the bitmap go without deleting it.
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 2);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 0);
    EXPECT_FALSE(PlatformTest_WindowPixels(window, nullptr));
}

TEST_F(PlatformGdi, GetObjectDescribesBitmapsOnly) {
    HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(300));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    BITMAP description{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof description - 1, &description), 0);
    ASSERT_EQ(GetObjectA(bitmap, sizeof description, &description), static_cast<int>(sizeof description));
    EXPECT_EQ(description.bmWidth, 1);
    EXPECT_EQ(description.bmHeight, 1);
    EXPECT_EQ(description.bmPlanes, 1);
    // A new memory context holds the 1 x 1 monochrome stock bitmap.
    HDC memory = CreateCompatibleDC(nullptr);
    const HGDIOBJ stock = SelectObject(memory, bitmap);
    ASSERT_EQ(GetObjectA(stock, sizeof description, &description), static_cast<int>(sizeof description));
    EXPECT_EQ(description.bmWidth, 1);
    EXPECT_EQ(description.bmBitsPixel, 1);
    EXPECT_EQ(GetObjectA(memory, sizeof description, &description), 0);
    EXPECT_EQ(GetObjectA(reinterpret_cast<HANDLE>(0x77), sizeof description, &description), 0);
    SelectObject(memory, stock);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
}

// A picture static shows the bitmap its title names and takes the bitmap's size, whatever
// size it is made with, unless it centres the image in itself or fits the image to itself;
// the bitmap it loaded goes with it.
TEST_F(PlatformGdi, APictureStaticTakesItsBitmapsSizeUnlessItCentresOrFitsTheImage) {
    const auto make = [&](LPCSTR title, DWORD style) {
        return CreateWindowExA(0, "Static", title, WS_CHILD | WS_VISIBLE | SS_BITMAP | style, 2, 3, 50, 40, window,
                               nullptr, Module(), nullptr);
    };
    using Size = std::pair<LONG, LONG>;
    const auto size = [](HWND control) {
        RECT r{};
        GetClientRect(control, &r);
        return Size(r.right, r.bottom);
    };
    const auto image = [](HWND control) {
        return reinterpret_cast<HBITMAP>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
    };
    const HWND sized = make(MAKEINTRESOURCEA(300), 0);
    const HWND named = make("#300", 0);
    const HWND centred = make(MAKEINTRESOURCEA(300), SS_CENTERIMAGE);
    const HWND fitted = make(MAKEINTRESOURCEA(300), SS_REALSIZECONTROL);
    const HWND missing = make(MAKEINTRESOURCEA(9999), 0);
    for (HWND control : {sized, named, centred, fitted, missing}) ASSERT_NE(control, nullptr);
    EXPECT_EQ(size(sized), Size(1, 1));
    EXPECT_EQ(size(named), Size(1, 1));
    EXPECT_EQ(size(centred), Size(50, 40));
    EXPECT_EQ(size(fitted), Size(50, 40));
    EXPECT_EQ(size(missing), Size(50, 40));
    // The picture keeps its place.
    RECT placed{};
    GetWindowRect(sized, &placed);
    POINT corner{placed.left, placed.top};
    ScreenToClient(window, &corner);
    EXPECT_EQ(corner.x, 2);
    EXPECT_EQ(corner.y, 3);
    EXPECT_NE(image(sized), nullptr);
    EXPECT_NE(image(centred), nullptr);
    EXPECT_EQ(image(missing), nullptr);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessageA(sized, STM_GETIMAGE, 1 /* IMAGE_ICON */, 0)), nullptr);
    // Text statics load nothing.
    const HWND text = CreateWindowExA(0, "Static", "#300", WS_CHILD, 0, 0, 50, 40, window, nullptr, Module(), nullptr);
    EXPECT_EQ(size(text), Size(50, 40));
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 4);
    for (HWND control : {sized, named, centred, fitted, missing, text}) EXPECT_TRUE(DestroyWindow(control));
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 0);
}

TEST_F(PlatformGdi, ResetForgetsObjectsAndPixels) {
    EXPECT_NE(LoadBitmapA(Module(), MAKEINTRESOURCEA(300)), nullptr);
    EXPECT_NE(CreateCompatibleDC(nullptr), nullptr);
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 2);
    PlatformTest_ResetWindows();
    EXPECT_EQ(PlatformTest_GdiObjectCount(), 0);
}

TEST_F(PlatformGdi, CommandLineAndThreadPriority) {
    EXPECT_STREQ(GetCommandLineA(), "");
    PlatformTest_SetCommandLine("\"C:\\x.scr\" /s");
    EXPECT_STREQ(GetCommandLineA(), "\"C:\\x.scr\" /s");
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), -15);
    EXPECT_EQ(PlatformTest_ThreadPriority(), -15);
    EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 7));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(0x10), THREAD_PRIORITY_IDLE));
    EXPECT_EQ(GetThreadPriority(reinterpret_cast<HANDLE>(0x10)), THREAD_PRIORITY_ERROR_RETURN);
}
