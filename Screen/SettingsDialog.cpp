// The settings dialog's procedure. Until the dialog's controls are built it only closes:
// OK and Cancel end it, and it takes the default focus.
#include "Screen/SaverModes.h"

INT_PTR ScreenSaver::Config::DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
