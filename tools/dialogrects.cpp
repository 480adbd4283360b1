// dialogrects: prints the controls of a dialog that another program shows, as its window
// system placed them, for a layout check from outside the program.
//
// It waits for a visible dialog window (class #32770) with the given caption (any caption
// when it is empty), then prints
// one line for the dialog and one per control (its direct children), in the dialog's
// client coordinates:
//   dialog <caption> client <width> <height>
//   control <id> <class> <style, hex> <left> <top> <right> <bottom> <group box: 0 or 1>
// With --press ID it then presses that button of the dialog (as a posted click, so that a
// modal box the button opens does not hold this program), waits for the dialog that the
// press opens (owned by the first) and prints it the same way. With --close it ends by
// closing the box the dialog has open, if any, and then the dialog, each through its
// Cancel (else OK) button; so one run can list a dialog, another open its box, and a third
// close both, with screenshots between them.
//   usage: dialogrects <caption> [--wait SECONDS] [--press ID] [--close]
// Exit status: 0 printed, 1 no such dialog appeared in time, 2 bad arguments.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct Search {
    const char* caption = nullptr;  // null: any
    HWND owner = nullptr;           // null: any
    HWND found = nullptr;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
    Search& search = *reinterpret_cast<Search*>(parameter);
    char kind[64] = {};
    GetClassNameA(window, kind, sizeof kind);
    if (strcmp(kind, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    if (search.owner && GetWindow(window, GW_OWNER) != search.owner) return TRUE;
    if (search.caption) {
        char text[256] = {};
        GetWindowTextA(window, text, sizeof text);
        if (strcmp(text, search.caption) != 0) return TRUE;
    }
    search.found = window;
    return FALSE;
}

// The dialog, once it is visible; null when it did not come within the time.
HWND AwaitDialog(const char* caption, HWND owner, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        Search search;
        search.caption = caption;
        search.owner = owner;
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            // Its procedure may still be setting the controls up: let it settle.
            Sleep(300);
            return search.found;
        }
        if (GetTickCount() - start > milliseconds) return nullptr;
        Sleep(100);
    }
}

struct Children {
    HWND dialog;
    std::vector<HWND> controls;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
    Children& children = *reinterpret_cast<Children*>(parameter);
    // Direct children only: a control's own parts are not the dialog's layout.
    if (GetParent(window) == children.dialog) children.controls.push_back(window);
    return TRUE;
}

bool IsGroupBox(const char* kind, LONG style) {
    return _stricmp(kind, "Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX;
}

void PrintDialog(HWND dialog) {
    char caption[256] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    RECT client{};
    GetClientRect(dialog, &client);
    printf("dialog %s client %ld %ld\n", caption, static_cast<long>(client.right), static_cast<long>(client.bottom));
    Children children{dialog, {}};
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND control : children.controls) {
        if (!IsWindowVisible(control)) continue;
        char kind[64] = {};
        GetClassNameA(control, kind, sizeof kind);
        const LONG style = GetWindowLongA(control, GWL_STYLE);
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
        printf("control %d %s %08lx %ld %ld %ld %ld %d\n", GetDlgCtrlID(control), kind,
               static_cast<unsigned long>(style), static_cast<long>(r.left), static_cast<long>(r.top),
               static_cast<long>(r.right), static_cast<long>(r.bottom), IsGroupBox(kind, style) ? 1 : 0);
    }
    fflush(stdout);
}

void Close(HWND dialog) {
    if (!IsWindow(dialog)) return;
    const int id = GetDlgItem(dialog, IDCANCEL) ? IDCANCEL : IDOK;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: dialogrects <caption> [--wait SECONDS] [--press ID] [--close]\n");
        return 2;
    }
    const char* caption = argv[1][0] ? argv[1] : nullptr;
    DWORD wait = 30000;
    int press = 0;
    bool close = false;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--wait") == 0 && i + 1 < argc) wait = static_cast<DWORD>(atoi(argv[++i])) * 1000;
        else if (strcmp(argv[i], "--press") == 0 && i + 1 < argc) press = atoi(argv[++i]);
        else if (strcmp(argv[i], "--close") == 0) close = true;
        else {
            fprintf(stderr, "dialogrects: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    const HWND dialog = AwaitDialog(caption, nullptr, wait);
    if (!dialog) {
        fprintf(stderr, "dialogrects: no dialog \"%s\" appeared\n", argv[1]);
        return 1;
    }
    PrintDialog(dialog);
    HWND opened = nullptr;
    if (press) {
        const HWND button = GetDlgItem(dialog, press);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        opened = AwaitDialog(nullptr, dialog, wait);
        if (!opened) {
            fprintf(stderr, "dialogrects: pressing %d opened no dialog\n", press);
            if (close) Close(dialog);
            return 1;
        }
        PrintDialog(opened);
    }
    if (close) {
        if (!opened) opened = AwaitDialog(nullptr, dialog, 0);
        if (opened) {
            Close(opened);
            // The first dialog's loop takes its own close only once the box has ended.
            for (int i = 0; i < 50 && IsWindow(opened); ++i) Sleep(100);
        }
        Close(dialog);
    }
    return 0;
}
