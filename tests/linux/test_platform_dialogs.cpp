// Dialogs driven through the platform's test interface: a hook acts for the user on a
// running modal dialog (list picks, clicks), closes it when it is done, and a damaged or
// truncated template fails cleanly.
#include <windows.h>

#include "Platform/DialogTemplate.h"
#include "tests/data/resources/TestDialogs.h"

#include <PlatformResources.h>
#include <PlatformTestDialogs.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::pair<WPARAM, LPARAM>> g_commands;

// Ends the dialog with the identifier of any button clicked; records every command.
INT_PTR CALLBACK EndOnButtonProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        const HWND combo = GetDlgItem(dialog, TEST_COMBO);
        for (const char* text : {"Red", "Green", "Blue"}) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        return TRUE;
    }
    if (message == WM_COMMAND) {
        g_commands.push_back({wParam, 0});
        if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

class PlatformDialogHook : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetWindows();
        g_commands.clear();
    }
    void TearDown() override { PlatformTest_ResetWindows(); }
    INT_PTR Run(int id = TEST_DIALOG, HWND owner = nullptr) {
        return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), owner, EndOnButtonProc, 0);
    }
};

TEST_F(PlatformDialogHook, UserPickSendsSelectionChangeAndClickEndsTheDialog) {
    int calls = 0;
    PlatformTest_SetDialogHook([&](HWND dialog) {
        ++calls;
        EXPECT_EQ(PlatformTest_RunningDialogs(), 1);
        char caption[64] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ(caption, "Test Dialog");
        EXPECT_TRUE(IsWindowVisible(dialog));
        const HWND combo = GetDlgItem(dialog, TEST_COMBO);
        EXPECT_EQ(PlatformTest_ComboItems(combo), (std::vector<std::string>{"Red", "Green", "Blue"}));
        EXPECT_TRUE(PlatformTest_SelectComboItem(combo, 2));
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);
        EXPECT_FALSE(PlatformTest_SelectComboItem(combo, 3));  // no such item
        EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, TEST_CHECK)));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_CHECK), static_cast<UINT>(BST_CHECKED));
        EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, TEST_RADIO3)));
        EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, TEST_RADIO1)));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO1), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO3), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, IDOK)));
        return true;
    });
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(PlatformTest_RunningDialogs(), 0);
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {
        {MAKEWPARAM(TEST_COMBO, CBN_SELCHANGE), 0}, {MAKEWPARAM(TEST_CHECK, BN_CLICKED), 0},
        {MAKEWPARAM(TEST_RADIO3, BN_CLICKED), 0},   {MAKEWPARAM(TEST_RADIO1, BN_CLICKED), 0},
        {MAKEWPARAM(IDOK, BN_CLICKED), 0}};
    EXPECT_EQ(g_commands, expected);
}

TEST_F(PlatformDialogHook, DisabledControlsCannotBeUsed) {
    PlatformTest_SetDialogHook([&](HWND dialog) {
        EnableWindow(GetDlgItem(dialog, TEST_COMBO), FALSE);
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        EXPECT_FALSE(PlatformTest_SelectComboItem(GetDlgItem(dialog, TEST_COMBO), 0));
        EXPECT_FALSE(PlatformTest_ClickButton(GetDlgItem(dialog, IDOK)));
        EXPECT_FALSE(PlatformTest_ClickButton(GetDlgItem(dialog, TEST_COMBO)));  // no button
        return false;
    });
    // Once the hook is done the dialog is closed as by its close box: Cancel.
    EXPECT_EQ(Run(), IDCANCEL);
    EXPECT_EQ(g_commands, (std::vector<std::pair<WPARAM, LPARAM>>{{MAKEWPARAM(IDCANCEL, BN_CLICKED), 0}}));
}

TEST_F(PlatformDialogHook, WithoutHookTheDialogIsClosed) { EXPECT_EQ(Run(), IDCANCEL); }

TEST_F(PlatformDialogHook, PostedMessagesRunInsideTheHook) {
    PlatformTest_SetDialogHook([&](HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(TEST_COMBO, CBN_SELCHANGE), 0);
        EXPECT_TRUE(g_commands.empty());
        PlatformTest_RunDialogMessages();
        EXPECT_EQ(g_commands.size(), 1u);
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        PlatformTest_RunDialogMessages();
        return true;
    });
    EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(PlatformDialogHook, OwnerIsDisabledWhileTheDialogRuns) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "DialogOwner";
    ASSERT_NE(RegisterClassA(&wc), 0);
    const HWND owner = CreateWindowExA(0, "DialogOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                       nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    PlatformTest_SetDialogHook([&](HWND dialog) {
        EXPECT_FALSE(IsWindowEnabled(owner));
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
        PlatformTest_ClickButton(GetDlgItem(dialog, IDOK));
        return false;
    });
    EXPECT_EQ(Run(TEST_DIALOG, owner), IDOK);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(PlatformDialogHook, ADialogThatNeverEndsFailsInsteadOfHanging) {
    static auto stubborn = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; };
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TEST_DIALOG), nullptr,
                              [](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR { return stubborn(h, m, w, l); }, 0),
              -1);
    EXPECT_EQ(PlatformTest_RunningDialogs(), 0);
}

// ---- damaged templates ------------------------------------------------------------------

// The test dialog's template as the build embedded it.
std::vector<unsigned char> TestTemplate() {
    const HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(TEST_DIALOG), RT_DIALOG);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, resource)));
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(nullptr, resource));
}

TEST(PlatformDialogTemplate, ReadsTheCompiledTemplate) {
    const std::vector<unsigned char> bytes = TestTemplate();
    platform::DialogTemplate t;
    ASSERT_TRUE(platform::ReadDialogTemplate(bytes.data(), bytes.size(), t));
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.title, "Test Dialog");
    EXPECT_TRUE(t.hasFont);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.typeface, "MS Shell Dlg");
    EXPECT_EQ(t.x, 10);
    EXPECT_EQ(t.cx, 200);
    EXPECT_EQ(t.cy, 120);
    ASSERT_EQ(t.items.size(), 9u);
    EXPECT_EQ(t.items[0].id, static_cast<DWORD>(TEST_STATIC));
    EXPECT_TRUE(t.items[0].windowClass.isOrdinal);
    EXPECT_EQ(t.items[0].windowClass.ordinal, 0x0082);  // static
    EXPECT_EQ(t.items[0].title.text, "Label");
    EXPECT_EQ(t.items[1].windowClass.ordinal, 0x0085);  // combo box
    EXPECT_EQ(t.items[1].style & 0xF, static_cast<DWORD>(CBS_DROPDOWNLIST));
    EXPECT_EQ(t.items[2].windowClass.ordinal, 0x0080);  // button
    EXPECT_EQ(t.items[2].style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
    EXPECT_EQ(t.items[6].windowClass.ordinal, 0x0081);  // edit
    EXPECT_EQ(t.items[7].style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(t.items[8].title.text, "Cancel");
}

TEST(PlatformDialogTemplate, EveryTruncationIsRefused) {
    const std::vector<unsigned char> bytes = TestTemplate();
    platform::DialogTemplate t;
    // The last record's own padding may be missing; anything shorter lacks real fields.
    for (size_t size = 0; size + 4 < bytes.size(); ++size)
        EXPECT_FALSE(platform::ReadDialogTemplate(bytes.data(), size, t)) << size;
    EXPECT_FALSE(platform::ReadDialogTemplate(nullptr, 100, t));
}

TEST(PlatformDialogTemplate, AnUnterminatedTextOrHugeCountIsRefused) {
    std::vector<unsigned char> bytes = TestTemplate();
    std::vector<unsigned char> huge = bytes;
    huge[8] = 0xFF;  // the record count
    huge[9] = 0xFF;
    platform::DialogTemplate t;
    EXPECT_FALSE(platform::ReadDialogTemplate(huge.data(), huge.size(), t));
    // Text everywhere after the fixed fields: no terminator ever comes.
    std::vector<unsigned char> garbage(bytes.begin(), bytes.begin() + 18);
    garbage.resize(400, 'A');
    EXPECT_FALSE(platform::ReadDialogTemplate(garbage.data(), garbage.size(), t));
}

TEST(PlatformDialogTemplate, ExtendedTemplateIsRead) {
    // DLGTEMPLATEEX with one control: version 1, signature 0xFFFF, help id, extended style,
    // style (DS_SETFONT), count, place, no menu, default class, title "X", font 9
    // weight 400 "F"; then the control: help id, styles, place, id 77, Button, "B", no data.
    const unsigned char bytes[] = {
        1, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0x80, 1, 0, 1, 0, 2, 0, 30, 0, 40, 0,
        0, 0, 0, 0, 'X', 0, 0, 0, 9, 0, 0x90, 1, 0, 1, 'F', 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 1, 0, 2, 0, 10, 0, 12, 0, 77, 0, 0, 0, 0xFF, 0xFF, 0x80, 0,
        'B', 0, 0, 0, 0, 0};
    platform::DialogTemplate t;
    ASSERT_TRUE(platform::ReadDialogTemplate(bytes, sizeof bytes, t));
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.title, "X");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.typeface, "F");
    ASSERT_EQ(t.items.size(), 1u);
    EXPECT_EQ(t.items[0].id, 77u);
    EXPECT_EQ(t.items[0].style, 0x50000000u);
    EXPECT_EQ(t.items[0].title.text, "B");
}

TEST(PlatformDialogTemplate, DamagedResourceMakesDialogBoxFailWithLastError) {
    static const unsigned char damaged[] = {0x40, 0x00, 0xC8, 0x90, 0, 0, 0, 0, 5, 0};  // cut in the header
    static const PlatformResource entries[] = {{nullptr, 5, nullptr, TEST_DIALOG, damaged, damaged + sizeof damaged}};
    static const PlatformResourceTable table = {entries, 1};
    PlatformResources_Override(&table);
    SetLastError(0);
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TEST_DIALOG), nullptr, EndOnButtonProc, 0);
    const DWORD error = GetLastError();
    PlatformResources_Override(nullptr);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(PlatformTest_RunningDialogs(), 0);
}

}  // namespace

namespace {

// What a subclassed button hears of its style: (message, wParam) of each style message.
std::vector<std::pair<UINT, WPARAM>> g_styleMessages;
WNDPROC g_buttonProc = nullptr;

LRESULT CALLBACK RecordingButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_STYLECHANGING || message == WM_STYLECHANGED) g_styleMessages.push_back({message, wParam});
    return CallWindowProcA(g_buttonProc, button, message, wParam, lParam);
}

}  // namespace

// The runtime's button sets a radio button's tab stop through its style, so the button
// hears WM_STYLECHANGING and WM_STYLECHANGED (GWL_STYLE) at every BM_SETCHECK, changed or
// not; a check box and a push button hear nothing of their style. (Wine's user32 changes
// the style without the messages.) A click on an automatic radio button moves the tab stop
// from the one it unchecks.
TEST(PlatformButtons, RadioButtonsHearTheirTabStopChangeAsAStyleChange) {
    PlatformTest_ResetWindows();
    const HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                                        nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    using Heard = std::vector<std::pair<UINT, WPARAM>>;
    const Heard styleChange = {{WM_STYLECHANGING, WPARAM(GWL_STYLE)}, {WM_STYLECHANGED, WPARAM(GWL_STYLE)}};
    for (DWORD type : {DWORD{BS_AUTORADIOBUTTON}, DWORD{BS_RADIOBUTTON}, DWORD{BS_AUTOCHECKBOX}, DWORD{BS_PUSHBUTTON}}) {
        SCOPED_TRACE(type);
        const HWND button =
            CreateWindowExA(0, "BUTTON", "b", WS_CHILD | type, 0, 0, 50, 14, parent, nullptr, nullptr, nullptr);
        g_buttonProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingButtonProc)));
        const bool radio = type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
        for (WPARAM check : {WPARAM{BST_UNCHECKED}, WPARAM{BST_CHECKED}}) {
            g_styleMessages.clear();
            SendMessageA(button, BM_SETCHECK, check, 0);
            EXPECT_EQ(g_styleMessages, radio ? styleChange : Heard{}) << check;
        }
        DestroyWindow(button);
    }
    const HWND first = CreateWindowExA(0, "BUTTON", "1", WS_CHILD | WS_GROUP | BS_AUTORADIOBUTTON, 0, 0, 50, 14,
                                       parent, nullptr, nullptr, nullptr);
    const HWND second =
        CreateWindowExA(0, "BUTTON", "2", WS_CHILD | BS_AUTORADIOBUTTON, 0, 20, 50, 14, parent, nullptr, nullptr, nullptr);
    SendMessageA(first, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(second, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(first, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(GetWindowLongA(first, GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_EQ(GetWindowLongA(second, GWL_STYLE) & WS_TABSTOP, LONG{WS_TABSTOP});
    DestroyWindow(parent);
    PlatformTest_ResetWindows();
}
