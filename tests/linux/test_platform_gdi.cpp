// The platform's drawing calls and process state: bitmaps from resources into a window's
// pixels, GDI's ownership rules (a selected bitmap cannot be deleted), the live-object
// count, the command line and the thread priority.
#include <windows.h>
#include <PlatformTestGdi.h>
#include <PlatformTestProcess.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <cstring>

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
