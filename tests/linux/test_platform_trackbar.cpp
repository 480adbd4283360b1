// The common controls' track bar and the shell's ShellExecuteA on the Linux platform: the
// class exists only once the library is initialised, the range and position messages
// clamp as documented, a program's changes notify nobody, and a user's keys and drags
// reach the parent as WM_HSCROLL/WM_VSCROLL codes and WM_NOTIFY notifications, in order.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "tests/data/resources/TestDialogs.h"

#include <PlatformTestDialogs.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// One notification the dialog saw: the message, the code (scroll code or notification
// code), the scroll's high word, the sender's id and its position when it arrived.
struct Seen {
    UINT message;
    UINT code;
    WORD high;
    int id;
    LRESULT position;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> g_seen;
std::function<void(HWND)> g_init;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (g_init) g_init(dialog);
        return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL: {
        const HWND bar = reinterpret_cast<HWND>(lParam);
        g_seen.push_back({message, LOWORD(wParam), HIWORD(wParam), GetDlgCtrlID(bar),
                          SendMessageA(bar, TBM_GETPOS, 0, 0)});
        return TRUE;
    }
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        EXPECT_EQ(wParam, header->idFrom);
        if (header->code == NM_CUSTOMDRAW) {
            EXPECT_EQ(reinterpret_cast<const NMCUSTOMDRAW*>(lParam)->dwDrawStage, static_cast<DWORD>(CDDS_PREPAINT));
        }
        g_seen.push_back({message, header->code, 0, static_cast<int>(header->idFrom),
                          SendMessageA(header->hwndFrom, TBM_GETPOS, 0, 0)});
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default: return FALSE;
    }
}

class PlatformTrackBar : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetWindows();
        g_seen.clear();
        g_init = nullptr;
    }
    void TearDown() override {
        PlatformTest_ResetWindows();
        g_init = nullptr;
    }
    static void Init() {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&init));
    }
    // Runs the track-bar dialog with `act` as the user; the dialog's result.
    static INT_PTR Run(std::function<void(HWND)> act) {
        PlatformTest_SetDialogHook([act](HWND dialog) {
            act(dialog);
            PlatformTest_ClickButton(GetDlgItem(dialog, IDOK));
            return false;
        });
        return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TEST_DIALOG_TRACKBAR), nullptr,
                               RecordingProc, 0);
    }
};

TEST_F(PlatformTrackBar, TheClassExistsOnlyOnceTheLibraryIsInitialised) {
    EXPECT_EQ(Run([](HWND) {}), -1);  // a template naming an unknown class makes no dialog
    INITCOMMONCONTROLSEX wrongSize{sizeof(INITCOMMONCONTROLSEX) + 4, ICC_BAR_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&wrongSize));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    INITCOMMONCONTROLSEX other{sizeof other, ICC_LISTVIEW_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&other));
    EXPECT_EQ(Run([](HWND) {}), -1);  // the list view's classes bring no track bar
    InitCommonControls();
    EXPECT_EQ(Run([](HWND) {}), IDOK);
    InitCommonControls();  // a second initialisation changes nothing
    EXPECT_EQ(Run([](HWND) {}), IDOK);
    PlatformTest_ResetWindows();  // a new process knows no track bar
    EXPECT_EQ(Run([](HWND) {}), -1);
}

TEST_F(PlatformTrackBar, RangeAndPositionClampSilently) {
    Init();
    g_init = [](HWND dialog) {
        const HWND bar = GetDlgItem(dialog, TEST_TRACKBAR);
        EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMIN, 0, 0), 0);
        EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMAX, 0, 0), 100);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 0);
        EXPECT_EQ(SendMessageA(bar, TBM_GETLINESIZE, 0, 0), 1);
        SendMessageA(bar, TBM_SETRANGEMIN, TRUE, -100);
        SendMessageA(bar, TBM_SETRANGEMAX, TRUE, 100);
        SendMessageA(bar, TBM_SETPOS, TRUE, 150);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 100);
        SendMessageA(bar, TBM_SETPOS, TRUE, -150);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), -100);
        SendMessageA(bar, TBM_SETPOS, FALSE, -40);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), -40);
        // Raising the minimum past the position drags the position with it.
        SendMessageA(bar, TBM_SETRANGEMIN, TRUE, -10);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), -10);
        SendMessageA(bar, TBM_SETRANGEMAX, TRUE, -20);
        EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMAX, 0, 0), -20);
        // TBM_SETRANGE takes two unsigned 16-bit words.
        SendMessageA(bar, TBM_SETRANGE, TRUE, MAKELONG(10, 20));
        EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMIN, 0, 0), 10);
        EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMAX, 0, 0), 20);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 10);
        SendMessageA(bar, TBM_SETRANGE, TRUE, MAKELONG(static_cast<WORD>(-100), 100));
        EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMIN, 0, 0), 65436);
        EXPECT_EQ(SendMessageA(bar, TBM_SETPAGESIZE, 0, 7), 20);
        EXPECT_EQ(SendMessageA(bar, TBM_GETPAGESIZE, 0, 0), 7);
        EXPECT_EQ(SendMessageA(bar, TBM_SETLINESIZE, 0, 3), 1);
        EXPECT_EQ(SendMessageA(bar, TBM_GETLINESIZE, 0, 0), 3);
    };
    EXPECT_EQ(Run([](HWND) {}), IDOK);
    EXPECT_TRUE(g_seen.empty());  // a program's own changes notify nobody
}

TEST_F(PlatformTrackBar, ADragNotifiesTrackPaintPositionEndAndRelease) {
    Init();
    g_init = [](HWND dialog) {
        SendDlgItemMessageA(dialog, TEST_TRACKBAR, TBM_SETRANGEMIN, FALSE, -100);
        SendDlgItemMessageA(dialog, TEST_TRACKBAR, TBM_SETRANGEMAX, FALSE, 100);
    };
    EXPECT_EQ(Run([](HWND dialog) {
                  EXPECT_TRUE(PlatformTest_DragTrackBar(GetDlgItem(dialog, TEST_TRACKBAR), -30));
                  EXPECT_TRUE(PlatformTest_DragTrackBar(GetDlgItem(dialog, TEST_TRACKBAR), 500));
                  EXPECT_FALSE(PlatformTest_DragTrackBar(GetDlgItem(dialog, IDOK), 5));  // no track bar
              }),
              IDOK);
    const WORD minus30 = static_cast<WORD>(-30);
    const std::vector<Seen> expected = {
        {WM_HSCROLL, TB_THUMBTRACK, minus30, TEST_TRACKBAR, -30},
        {WM_NOTIFY, NM_CUSTOMDRAW, 0, TEST_TRACKBAR, -30},
        {WM_HSCROLL, TB_THUMBPOSITION, minus30, TEST_TRACKBAR, -30},
        {WM_HSCROLL, TB_ENDTRACK, 0, TEST_TRACKBAR, -30},
        {WM_NOTIFY, NM_RELEASEDCAPTURE, 0, TEST_TRACKBAR, -30},
        {WM_HSCROLL, TB_THUMBTRACK, 100, TEST_TRACKBAR, 100},  // clamped to the range
        {WM_NOTIFY, NM_CUSTOMDRAW, 0, TEST_TRACKBAR, 100},
        {WM_HSCROLL, TB_THUMBPOSITION, 100, TEST_TRACKBAR, 100},
        {WM_HSCROLL, TB_ENDTRACK, 0, TEST_TRACKBAR, 100},
        {WM_NOTIFY, NM_RELEASEDCAPTURE, 0, TEST_TRACKBAR, 100},
    };
    EXPECT_EQ(g_seen, expected);
}

TEST_F(PlatformTrackBar, KeysMoveByLineAndPageToTheEndsOfAVerticalBar) {
    Init();
    g_init = [](HWND dialog) { SendDlgItemMessageA(dialog, TEST_TRACKBAR_VERT, TBM_SETPOS, TRUE, 50); };
    EXPECT_EQ(Run([](HWND dialog) {
                  const HWND bar = GetDlgItem(dialog, TEST_TRACKBAR_VERT);
                  for (WPARAM key : {VK_DOWN, VK_PRIOR, VK_END, VK_HOME, VK_NEXT}) {
                      SendMessageA(bar, WM_KEYDOWN, key, 0);
                      SendMessageA(bar, WM_KEYUP, key, 0);
                  }
                  SendMessageA(bar, WM_KEYDOWN, 'A', 0);  // not a key of the track bar
              }),
              IDOK);
    const int id = TEST_TRACKBAR_VERT;
    std::vector<Seen> expected;
    const std::pair<UINT, LRESULT> moves[] = {
        {TB_LINEDOWN, 51}, {TB_PAGEUP, 31}, {TB_BOTTOM, 100}, {TB_TOP, 0}, {TB_PAGEDOWN, 20}};
    for (const auto& [code, position] : moves) {
        expected.push_back({WM_VSCROLL, code, 0, id, position});
        expected.push_back({WM_NOTIFY, NM_CUSTOMDRAW, 0, id, position});
        expected.push_back({WM_VSCROLL, TB_ENDTRACK, 0, id, position});
    }
    EXPECT_EQ(g_seen, expected);
}

TEST_F(PlatformTrackBar, ADisabledBarCannotBeDragged) {
    Init();
    g_init = [](HWND dialog) { EnableWindow(GetDlgItem(dialog, TEST_TRACKBAR), FALSE); };
    EXPECT_EQ(Run([](HWND dialog) {
                  const HWND bar = GetDlgItem(dialog, TEST_TRACKBAR);
                  EXPECT_FALSE(PlatformTest_DragTrackBar(bar, 40));
                  EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 0);
              }),
              IDOK);
    EXPECT_TRUE(g_seen.empty());
}

TEST(PlatformShell, ShellExecuteIsRecordedAndNeedsAFile) {
    PlatformTest_ResetWindows();
    const HINSTANCE ok = ShellExecuteA(nullptr, "open", "https://example.invalid/", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<INT_PTR>(ok), 32);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOWNORMAL)),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, "", nullptr, nullptr, SW_SHOWNORMAL)),
              ERROR_FILE_NOT_FOUND);
    const std::vector<PlatformTestShellExecute> requests = PlatformTest_ShellExecutes();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].operation, "open");
    EXPECT_EQ(requests[0].file, "https://example.invalid/");
    EXPECT_EQ(requests[0].parameters, "");
    EXPECT_EQ(requests[0].show, SW_SHOWNORMAL);
    PlatformTest_ResetWindows();
    EXPECT_TRUE(PlatformTest_ShellExecutes().empty());
}

}  // namespace
