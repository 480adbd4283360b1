// Dialogs and their controls as Windows makes them from a template of the program's
// resources: these use only the real API, so they run on Linux and under Wine alike. Each
// test's dialog procedure does its work in WM_INITDIALOG or in answer to messages it posts
// itself, since nobody sits at the screen to press a button.
#include <windows.h>

#include "tests/data/resources/TestDialogs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// What a test's dialog procedure does; set before each DialogBoxParamA.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_script;
std::vector<std::pair<WPARAM, LPARAM>> g_commands;

INT_PTR CALLBACK ScriptedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) g_commands.push_back({wParam, lParam});
    return g_script ? g_script(dialog, message, wParam, lParam) : FALSE;
}

HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)); }

INT_PTR RunDialog(int templateId, std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> script, LPARAM param = 0,
            HWND owner = nullptr) {
    g_script = std::move(script);
    g_commands.clear();
    const INT_PTR result = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(templateId), owner, ScriptedDialogProc, param);
    g_script = nullptr;
    return result;
}

std::string ItemText(HWND combo, int index) {
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return "<CB_ERR>";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

TEST(PlatformDialogs, EndDialogInsideInitDialogGivesItsValue) {
    for (INT_PTR value : {INT_PTR{7}, INT_PTR{-123}, INT_PTR{IDOK}, INT_PTR{0xdead}}) {
        LPARAM seen = 0;
        const INT_PTR result = RunDialog(
            TEST_DIALOG,
            [&](HWND dialog, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
                if (message != WM_INITDIALOG) return FALSE;
                seen = lParam;
                EndDialog(dialog, value);
                return TRUE;
            },
            0x1234);
        EXPECT_EQ(result, value);
        EXPECT_EQ(seen, 0x1234);
    }
}

TEST(PlatformDialogs, MissingTemplateFailsWithResourceNameNotFound) {
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(999), nullptr, ScriptedDialogProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(PlatformDialogs, InvalidOwnerFails) {
    SetLastError(0);
    const INT_PTR result = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(TEST_DIALOG),
                                           reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234567)),
                                           ScriptedDialogProc, 0);
    EXPECT_TRUE(result == 0 || result == -1) << result;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(PlatformDialogs, TemplateWithUnregisteredClassFails) {
    bool initialised = false;
    EXPECT_EQ(RunDialog(TEST_DIALOG_BAD_CLASS,
                  [&](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
                      if (message == WM_INITDIALOG) initialised = true;
                      return FALSE;
                  }),
              -1);
    EXPECT_FALSE(initialised);
}

TEST(PlatformDialogs, DestroyedInInitDialogGivesMinusOneAndOnCloseGivesZero) {
    EXPECT_EQ(RunDialog(TEST_DIALOG,
                  [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
                      if (message == WM_INITDIALOG) DestroyWindow(dialog);
                      return FALSE;
                  }),
              -1);
    EXPECT_EQ(RunDialog(TEST_DIALOG,
                  [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
                      if (message == WM_INITDIALOG) PostMessageA(dialog, WM_CLOSE, 0, 0);
                      if (message == WM_CLOSE) {
                          DestroyWindow(dialog);
                          return TRUE;
                      }
                      return FALSE;
                  }),
              0);
}

TEST(PlatformDialogs, CloseBecomesCancelCommand) {
    HWND cancel = nullptr;
    const INT_PTR result = RunDialog(TEST_DIALOG, [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            cancel = GetDlgItem(dialog, IDCANCEL);
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
        // The combo box may report its focus first; only the Cancel command ends the dialog.
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return message == WM_INITDIALOG || message == WM_COMMAND;
    });
    EXPECT_EQ(result, IDCANCEL);
    // Controls may notify focus changes too; the close box gives one Cancel command.
    std::vector<std::pair<WPARAM, LPARAM>> cancels;
    for (const auto& command : g_commands)
        if (LOWORD(command.first) == IDCANCEL) cancels.push_back(command);
    ASSERT_EQ(cancels.size(), 1u);
    EXPECT_EQ(cancels[0].first, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_EQ(cancels[0].second, reinterpret_cast<LPARAM>(cancel));
}

TEST(PlatformDialogs, EnterPressesTheDefaultButtonUnlessItIsDisabled) {
    const auto pressEnter = [](bool disableOk) {
        return [disableOk](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                EXPECT_EQ(LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0)), IDOK);
                if (disableOk) EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
                PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
                PostMessageA(dialog, WM_CLOSE, 0, 0);
                return TRUE;
            }
            if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        };
    };
    EXPECT_EQ(RunDialog(TEST_DIALOG, pressEnter(false)), IDOK);
    EXPECT_EQ(RunDialog(TEST_DIALOG, pressEnter(true)), IDCANCEL);
}

TEST(PlatformDialogs, ComboBoxMessages) {
    RunDialog(TEST_DIALOG, [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message != WM_INITDIALOG) return FALSE;
        const HWND combo = GetDlgItem(dialog, TEST_COMBO);
        EXPECT_NE(combo, nullptr);
        EXPECT_EQ(GetDlgCtrlID(combo), TEST_COMBO);
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 0, 0), CB_ERR);  // nothing to select
        EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXTLEN, 0, 0), CB_ERR);

        EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Alpha")), 0);
        EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Beta")), 1);
        EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Gamma")), 2);
        EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("First")), 0);
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 4);
        EXPECT_EQ(ItemText(combo, 0), "First");
        EXPECT_EQ(ItemText(combo, 3), "Gamma");
        EXPECT_EQ(ItemText(combo, 4), "<CB_ERR>");

        EXPECT_NE(SendMessageA(combo, CB_SETITEMDATA, 2, 0x5150), CB_ERR);  // success has no documented value
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 2, 0), 0x5150);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 0, 0), 0);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 9, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SETITEMDATA, 9, 1), CB_ERR);

        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 2, 0), 2);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);
        char text[32] = {};
        GetWindowTextA(combo, text, sizeof text);
        EXPECT_STREQ(text, "Beta");
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 7, 0), CB_ERR);  // past the end fails
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);       // and keeps the selection

        EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("gamma")), 3);
        EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("Gam")), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("be")), 2);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);
        EXPECT_EQ(SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("zz")), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);  // a failed search keeps the selection

        // Deleting an item before the selection moves it along; the count is returned.
        EXPECT_EQ(SendMessageA(combo, CB_DELETESTRING, 0, 0), 3);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(ItemText(combo, 1), "Beta");
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 1, 0), 0x5150);
        EXPECT_EQ(SendMessageA(combo, CB_DELETESTRING, 5, 0), CB_ERR);
        SendMessageA(combo, CB_RESETCONTENT, 0, 0);  // its answer is not documented
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        EndDialog(dialog, IDOK);
        return TRUE;
    });
    // Selecting by message never notifies the dialog.
    for (const auto& command : g_commands) EXPECT_NE(HIWORD(command.first), CBN_SELCHANGE);
}

TEST(PlatformDialogs, ArrowKeyInComboBoxNotifiesSelectionChange) {
    HWND combo = nullptr;
    LRESULT selectionWhenNotified = -2;
    RunDialog(TEST_DIALOG, [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            combo = GetDlgItem(dialog, TEST_COMBO);
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("One"));
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Two"));
            SendMessageA(combo, CB_SETCURSEL, 0, 0);
            SendMessageA(combo, WM_KEYDOWN, VK_DOWN, 0);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE)
            selectionWhenNotified = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        return FALSE;
    });
    bool notified = false;
    for (const auto& command : g_commands)
        if (command.first == MAKEWPARAM(TEST_COMBO, CBN_SELCHANGE) && command.second == reinterpret_cast<LPARAM>(combo))
            notified = true;
    EXPECT_TRUE(notified);
    EXPECT_EQ(selectionWhenNotified, 1);
}

TEST(PlatformDialogs, ButtonsTextsAndEnabling) {
    RunDialog(TEST_DIALOG, [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message != WM_INITDIALOG) return FALSE;
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_CHECK), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_TRUE(CheckDlgButton(dialog, TEST_CHECK, BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_CHECK), static_cast<UINT>(BST_CHECKED));

        EXPECT_TRUE(CheckRadioButton(dialog, TEST_RADIO1, TEST_RADIO3, TEST_RADIO2));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO1), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO2), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO3), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_TRUE(CheckRadioButton(dialog, TEST_RADIO1, TEST_RADIO3, TEST_RADIO3));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO2), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_EQ(IsDlgButtonChecked(dialog, TEST_RADIO3), static_cast<UINT>(BST_CHECKED));
        // The checked radio button alone is a tab stop, whatever the template said.
        for (int radio : {TEST_RADIO1, TEST_RADIO2, TEST_RADIO3})
            EXPECT_EQ((GetWindowLongA(GetDlgItem(dialog, radio), GWL_STYLE) & WS_TABSTOP) != 0, radio == TEST_RADIO3)
                << radio;

        // A push button has no check.
        SendDlgItemMessageA(dialog, IDOK, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDOK), static_cast<UINT>(BST_UNCHECKED));

        char text[32] = "junk";
        EXPECT_EQ(GetDlgItemTextA(dialog, TEST_STATIC, text, sizeof text), 5u);
        EXPECT_STREQ(text, "Label");
        EXPECT_TRUE(SetDlgItemTextA(dialog, TEST_EDIT, "typed"));
        EXPECT_EQ(GetDlgItemTextA(dialog, TEST_EDIT, text, sizeof text), 5u);
        EXPECT_STREQ(text, "typed");
        strcpy(text, "junk");
        EXPECT_EQ(GetDlgItemTextA(nullptr, 0, text, sizeof text), 0u);
        EXPECT_STREQ(text, "");

        EXPECT_EQ(GetDlgItem(dialog, 4321), nullptr);
        const HWND combo = GetDlgItem(dialog, TEST_COMBO);
        EXPECT_TRUE(IsWindowEnabled(combo));
        EXPECT_FALSE(EnableWindow(combo, FALSE));  // it was enabled
        EXPECT_FALSE(IsWindowEnabled(combo));
        EXPECT_TRUE(EnableWindow(combo, TRUE));  // it was disabled
        EXPECT_TRUE(IsWindowEnabled(combo));
        EndDialog(dialog, IDOK);
        return TRUE;
    });
}

TEST(PlatformDialogs, SettingARadioButtonsCheckMovesItsTabStop) {
    const HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                                        Instance(), nullptr);
    ASSERT_NE(parent, nullptr);
    struct Row {
        DWORD type;
        bool radio, hasCheck;
    };
    const Row rows[] = {{BS_AUTORADIOBUTTON, true, true},
                        {BS_RADIOBUTTON, true, true},
                        {BS_AUTOCHECKBOX, false, true},
                        {BS_CHECKBOX, false, true},
                        {BS_PUSHBUTTON, false, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        const HWND button = CreateWindowExA(0, "BUTTON", "b", WS_CHILD | WS_TABSTOP | r.type, 0, 0, 50, 14, parent,
                                            nullptr, Instance(), nullptr);
        ASSERT_NE(button, nullptr);
        const LONG created = GetWindowLongA(button, GWL_STYLE);
        for (WPARAM check : {WPARAM{BST_UNCHECKED}, WPARAM{BST_CHECKED}}) {
            SendMessageA(button, BM_SETCHECK, check, 0);
            // A radio button takes WS_TABSTOP with its check and gives it up without; a
            // check box only repaints and a push button ignores the message.
            const LONG style = GetWindowLongA(button, GWL_STYLE);
            EXPECT_EQ(style, r.radio && !check ? created & ~LONG{WS_TABSTOP} : created) << "check " << check;
            EXPECT_EQ(SendMessageA(button, BM_GETCHECK, 0, 0), r.hasCheck ? LRESULT(check) : LRESULT{BST_UNCHECKED});
        }
        DestroyWindow(button);
    }
    DestroyWindow(parent);
}

}  // namespace
