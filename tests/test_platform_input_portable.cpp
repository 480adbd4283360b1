// The synthesised-input and wall-clock calls as the real API defines them: these use only
// the real headers, so the layouts and the argument checks are proven on Linux and under
// Wine alike. Delivery to windows and devices is tested on the platform layer itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>

namespace {

// The records are read by the system with these layouts; a wrong offset would hand it the
// flags as the time, or the key as the scan code.
static_assert(offsetof(KEYBDINPUT, wVk) == 0);
static_assert(offsetof(KEYBDINPUT, wScan) == 2);
static_assert(offsetof(KEYBDINPUT, dwFlags) == 4);
static_assert(offsetof(KEYBDINPUT, time) == 8);
static_assert(offsetof(KEYBDINPUT, dwExtraInfo) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(offsetof(MOUSEINPUT, mouseData) == 8);
static_assert(offsetof(MOUSEINPUT, time) == 16);
static_assert(offsetof(MOUSEINPUT, dwExtraInfo) == (sizeof(void*) == 8 ? 24 : 20));
static_assert(sizeof(HARDWAREINPUT) == 8);
static_assert(offsetof(INPUT, ki) == sizeof(void*));
static_assert(sizeof(INPUT) == (sizeof(void*) == 8 ? 40 : 28));
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(offsetof(SYSTEMTIME, wHour) == 8);
static_assert(INPUT_MOUSE == 0 && INPUT_KEYBOARD == 1 && INPUT_HARDWARE == 2);
static_assert(KEYEVENTF_EXTENDEDKEY == 1 && KEYEVENTF_KEYUP == 2 && KEYEVENTF_UNICODE == 4 && KEYEVENTF_SCANCODE == 8);
static_assert(MOUSEEVENTF_MOVE == 1 && MOUSEEVENTF_LEFTDOWN == 2 && MOUSEEVENTF_WHEEL == 0x800 && MOUSEEVENTF_ABSOLUTE == 0x8000);

TEST(PlatformInputPortable, SendInputRefusesAWrongRecordSize) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_F3;
    SetLastError(0);
    EXPECT_EQ(0u, SendInput(1, &input, static_cast<int>(sizeof(INPUT)) - 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(PlatformInputPortable, SendInputOfNothingInsertsNothing) {
    INPUT input{};
    EXPECT_EQ(0u, SendInput(0, &input, sizeof(INPUT)));
}

TEST(PlatformInputPortable, LocalTimeIsACalendarTime) {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    EXPECT_GE(t.wYear, 2000);
    EXPECT_GE(t.wMonth, 1);
    EXPECT_LE(t.wMonth, 12);
    EXPECT_GE(t.wDay, 1);
    EXPECT_LE(t.wDay, 31);
    EXPECT_LE(t.wDayOfWeek, 6);
    EXPECT_LE(t.wHour, 23);
    EXPECT_LE(t.wMinute, 59);
    EXPECT_LE(t.wSecond, 59);
    EXPECT_LE(t.wMilliseconds, 999);
}

}  // namespace
