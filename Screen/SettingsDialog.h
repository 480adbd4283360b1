// The settings dialog (105) of the configuration mode and its About box (106). The dialog
// edits the saver's user settings in place (video mode, sound, gamma, frame rate, clock,
// mouse, and the scene's shadow quality and day length), offers Restore Defaults, About
// and the product web page, and writes the settings to the registry on OK only. Every
// text comes from the message table.
//
// The video modes are the adapters' display modes of at least 640 x 480, one entry per
// text ("1024x768x32bit"), so a mode at several refresh rates is listed once. An entry's
// data points at a copy of its mode that the saver keeps until the list is filled again,
// never into the enumeration, which is gone once the list is filled.
#pragma once

#include <windows.h>

// The settings dialog while it is open, so that the About box can place itself by it;
// null otherwise.
extern HWND SettingsDialog;

// The procedure of dialog 106.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Opens a web page in the browser.
void OpenAddress(const char* address);
// The item data of the combo box's selection; 0 when nothing is selected.
LPARAM GetComboSelectionData(HWND dialog, int controlId);
// Whether an item of the combo box has exactly this text (items of 200 characters or more
// are not compared).
bool ComboContainsText(HWND dialog, int controlId, const char* text);
