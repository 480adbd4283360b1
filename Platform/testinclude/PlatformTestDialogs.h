// The dialogs' part of the platform's test interface. The engine never includes it.
//
// A modal dialog runs its own message loop. Whenever that loop has nothing left to do, it
// calls the test's hook with the dialog's handle; from there a test reads the controls
// (GetDlgItem, SendMessage, GetWindowText...) and acts as a user would: picks a list item
// or clicks a button, which notifies the dialog as the user's action does. While the hook
// returns true it is called again at the next idle moment; once it returns false (or when
// no hook is set) the dialog is closed as by its close box (WM_CLOSE), and a dialog that
// stays open after that ends its loop with -1, since nobody is left to answer it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using PlatformTestDialogHook = std::function<bool(HWND dialog)>;
// Set for every modal dialog that runs from now on; an empty function removes it.
// PlatformTest_ResetWindows removes it too.
void PlatformTest_SetDialogHook(PlatformTestDialogHook hook);

// Handles what is waiting in the message queue as the running dialog's loop would (the
// notifications a selection posted, say), and returns when nothing is left. For hooks.
void PlatformTest_RunDialogMessages();

// A user's click on a button: automatic check boxes and radio buttons change their check,
// then the parent gets WM_COMMAND with BN_CLICKED. False, and nothing happens, for a
// window that is no button or that a user could not reach (disabled or hidden).
bool PlatformTest_ClickButton(HWND button);
// A user's pick of item `index` from a combo box's list: the selection changes and the
// parent gets WM_COMMAND with CBN_SELCHANGE. False for a bad index, a window that is no
// combo box, or one the user could not reach.
bool PlatformTest_SelectComboItem(HWND combo, int index);
// The texts of a combo box's items, in list order.
std::vector<std::string> PlatformTest_ComboItems(HWND combo);
// A user's drag of a track bar's thumb to `position` (clamped to the range) and release:
// the parent gets WM_HSCROLL (WM_VSCROLL for a vertical one) with TB_THUMBTRACK, the
// repaint's WM_NOTIFY NM_CUSTOMDRAW, WM_HSCROLL with TB_THUMBPOSITION and TB_ENDTRACK,
// then WM_NOTIFY NM_RELEASEDCAPTURE. False for a window that is no track bar or that a
// user could not reach.
bool PlatformTest_DragTrackBar(HWND trackBar, LONG position);

// What ShellExecuteA was asked to open, in order; nothing is opened. Emptied by
// PlatformTest_ResetWindows.
struct PlatformTestShellExecute {
    HWND owner;
    std::string operation;  // "" for a null operation
    std::string file;
    std::string parameters;
    std::string directory;
    INT show;
};
std::vector<PlatformTestShellExecute> PlatformTest_ShellExecutes();

// How many modal dialogs are running now (nested ones count each).
int PlatformTest_RunningDialogs();
