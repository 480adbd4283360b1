// Dialogs: windows made from a dialog template of the program's resources, with a
// control per template record, a dialog procedure behind the dialog class's own, and for
// modal dialogs a message loop of their own that runs until EndDialog.
//
// A modal dialog's loop handles the queue as Windows' does: the dialog's keys first
// (Enter presses the default button, Escape the Cancel button), everything else
// dispatched. Nobody sits at this screen, so when the loop runs dry it hands the dialog
// to the test's hook (PlatformTestDialogs.h), or closes it as a user would; a dialog
// that still does not end has its loop fail with -1 rather than wait for ever.
//
// Placement uses fixed dialog base units (6 x 13 pixels for a template's own font, 8 x 16
// for the system font): nothing is drawn, and the numbers only need to be consistent.
#include "DialogTemplate.h"
#include "WindowSystem.h"

#include <PlatformTestDialogs.h>

#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// What the dialog class keeps for a dialog window.
struct DialogData : WindowData {
    DLGPROC procedure = nullptr;
    WORD defaultId = IDOK;
    LRESULT messageResult = 0;
};

// A modal dialog whose loop is running: EndDialog marks it.
struct ModalRun {
    HWND dialog = nullptr;
    bool ended = false;
    INT_PTR result = 0;
};

struct DialogState {
    std::vector<ModalRun*> running;  // innermost last
    PlatformTestDialogHook hook;
    // The procedure for the dialog that is being created, until its WM_NCCREATE.
    DLGPROC pendingProcedure = nullptr;
};

DialogState& State() {
    static DialogState state;
    return state;
}

DialogData* DialogOf(HWND dialog) {
    Window* w = WindowSystem::Get().Peek(dialog);
    if (!w || !w->data) return nullptr;
    return dynamic_cast<DialogData*>(w->data.get());
}

ModalRun* RunOf(HWND dialog) {
    for (ModalRun* run : State().running)
        if (run->dialog == dialog) return run;
    return nullptr;
}

struct BaseUnits {
    int x, y;
};

RECT DialogUnitsToPixels(const BaseUnits& units, int x, int y, int cx, int cy) {
    const int left = x * units.x / 4;
    const int top = y * units.y / 8;
    return RECT{left, top, left + cx * units.x / 4, top + cy * units.y / 8};
}

// Messages whose answer a dialog procedure returns itself instead of through
// DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    return message == WM_INITDIALOG || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
           message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
           message == WM_QUERYDRAGICON;
}

std::string ControlClassName(const TemplateName& name) {
    if (!name.isOrdinal) return name.text;
    const char* known = ControlClassOfOrdinal(name.ordinal);
    return known ? known : std::string();
}

// Makes the dialog window and its controls and sends WM_INITDIALOG. Null when the window
// or a control cannot be made, or the dialog was destroyed during its initialisation.
HWND CreateFromTemplate(HINSTANCE instance, const DialogTemplate& t, HWND owner, DLGPROC procedure, LPARAM param,
                        ModalRun* run) {
    WindowSystem& system = WindowSystem::Get();
    const BaseUnits units = t.hasFont ? BaseUnits{6, 13} : BaseUnits{8, 16};
    RECT client = DialogUnitsToPixels(units, t.x, t.y, t.cx, t.cy);
    // A popup dialog's position is taken from its owner's client area, unless the
    // template asks for screen coordinates.
    if (owner && !(t.style & DS_ABSALIGN)) {
        POINT origin{0, 0};
        ClientToScreen(owner, &origin);
        OffsetRect(&client, origin.x, origin.y);
    }
    RECT frame = client;
    AdjustWindowRectEx(&frame, t.style & ~WS_VISIBLE, FALSE, t.exStyle);
    if (t.style & DS_CENTER) {
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        frame.left = (system.DesktopWidth() - width) / 2;
        frame.top = (system.DesktopHeight() - height) / 2;
        frame.right = frame.left + width;
        frame.bottom = frame.top + height;
    }
    std::string className = "#32770";
    if (t.windowClass.isOrdinal) className = ControlClassName(t.windowClass);
    else if (!t.windowClass.text.empty()) className = t.windowClass.text;

    State().pendingProcedure = procedure;
    const HWND dialog = CreateWindowExA(t.exStyle, className.c_str(), t.title.c_str(), t.style & ~WS_VISIBLE,
                                        frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                                        owner, nullptr, instance, nullptr);
    State().pendingProcedure = nullptr;
    if (!dialog) return nullptr;
    if (run) run->dialog = dialog;
    DialogData* data = DialogOf(dialog);
    if (data && !data->procedure) data->procedure = procedure;

    HWND firstTabStop = nullptr;
    for (const DialogItemTemplate& item : t.items) {
        const std::string itemClass = ControlClassName(item.windowClass);
        // A title given as a number is a resource of the instance (a picture's bitmap, say)
        // and reaches the control as that number, as Windows passes it: it is no text.
        const LPCSTR title =
            item.title.isOrdinal ? MAKEINTRESOURCEA(item.title.ordinal) : item.title.text.c_str();
        const RECT r = DialogUnitsToPixels(units, item.x, item.y, item.cx, item.cy);
        const HWND control = CreateWindowExA(
            item.exStyle | WS_EX_NOPARENTNOTIFY, itemClass.c_str(), title, item.style | WS_CHILD, r.left,
            r.top, r.right - r.left, r.bottom - r.top, dialog,
            reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(static_cast<WORD>(item.id))), instance,
            item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data()));
        if (!control) {
            // A template that names a class nobody registered makes no dialog.
            fprintf(stderr, "DialogBoxParamA: the template's control %lu of class \"%s\" cannot be made\n",
                    static_cast<unsigned long>(item.id), itemClass.c_str());
            if (IsWindow(dialog)) DestroyWindow(dialog);
            return nullptr;
        }
        if (IsDefaultPushButton(control))
            if (DialogData* d = DialogOf(dialog)) d->defaultId = static_cast<WORD>(item.id);
        if (!firstTabStop && (item.style & WS_TABSTOP) && !(item.style & WS_DISABLED)) firstTabStop = control;
    }

    const LRESULT focusDefault =
        SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), param);
    if (!IsWindow(dialog)) return nullptr;
    if (focusDefault && firstTabStop && IsWindow(firstTabStop)) SetFocus(firstTabStop);
    return dialog;
}

// The loop's handling of one message.
void Handle(HWND dialog, MSG& msg) {
    if (IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

bool Ended(const ModalRun& run) { return run.ended || !IsWindow(run.dialog); }

INT_PTR RunModal(ModalRun& run) {
    bool hookWanted = static_cast<bool>(State().hook);
    bool closeSent = false;
    while (!Ended(run)) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The quit request ends the dialog and stays for the program's own loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return 0;
            }
            Handle(run.dialog, msg);
            continue;
        }
        // Nothing queued: the hook acts for the user.
        if (hookWanted) {
            PlatformTestDialogHook hook = State().hook;  // a hook may replace itself
            hookWanted = hook && hook(run.dialog);
            continue;
        }
        if (!closeSent) {
            closeSent = true;
            PostMessageA(run.dialog, WM_CLOSE, 0, 0);
            continue;
        }
        fprintf(stderr, "DialogBoxParamA: the dialog did not end when closed and nobody can answer it\n");
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    if (!run.ended) return 0;  // destroyed without EndDialog
    return run.result;
}

}  // namespace

void ResetDialogs() {
    State().running.clear();
    State().hook = nullptr;
    State().pendingProcedure = nullptr;
}

}  // namespace platform

using namespace platform;

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowSystem& system = WindowSystem::Get();
    if (Msg == WM_NCCREATE) {
        if (Window* w = system.Peek(hDlg)) {
            auto data = std::make_unique<DialogData>();
            data->procedure = State().pendingProcedure;
            w->data = std::move(data);
        }
    }
    DialogData* data = DialogOf(hDlg);
    if (data && data->procedure) {
        data->messageResult = 0;
        const INT_PTR handled = data->procedure(hDlg, Msg, wParam, lParam);
        data = DialogOf(hDlg);  // the procedure may have destroyed the dialog
        if (handled) {
            if (AnswersDirectly(Msg)) return handled;
            return data ? data->messageResult : 0;
        }
        if (Msg == WM_INITDIALOG) return 0;
    }
    switch (Msg) {
    case WM_INITDIALOG: return 0;
    case WM_CLOSE: {
        // The close box is the Cancel button, unless that button is disabled.
        const HWND cancel = GetDlgItem(hDlg, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel)) return 0;
        PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case DM_GETDEFID: return data ? MAKELONG(data->defaultId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        if (data) data->defaultId = static_cast<WORD>(wParam);
        return TRUE;
    default: return DefWindowProcA(hDlg, Msg, wParam, lParam);
    }
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
    const HRSRC resource = FindResourceA(reinterpret_cast<HMODULE>(hInstance), lpTemplateName, RT_DIALOG);
    if (!resource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    const void* bytes = LockResource(LoadResource(reinterpret_cast<HMODULE>(hInstance), resource));
    const DWORD size = SizeofResource(reinterpret_cast<HMODULE>(hInstance), resource);
    DialogTemplate t;
    if (!bytes || !ReadDialogTemplate(bytes, size, t)) {
        fprintf(stderr, "DialogBoxParamA: the dialog template is damaged\n");
        SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    HWND owner = nullptr;
    if (hWndParent) {
        if (!WindowSystem::Get().Find(hWndParent)) return 0;  // ERROR_INVALID_WINDOW_HANDLE is set
        owner = WindowSystem::Get().Root(hWndParent);
    }

    ModalRun run;
    State().running.push_back(&run);
    const auto finish = [&](INT_PTR result) {
        auto& running = State().running;
        for (auto it = running.begin(); it != running.end(); ++it)
            if (*it == &run) {
                running.erase(it);
                break;
            }
        return result;
    };
    const HWND dialog = CreateFromTemplate(hInstance, t, owner, lpDialogFunc, dwInitParam, &run);
    if (!dialog) return finish(-1);
    // The owner takes no input while its modal dialog runs.
    const bool disabledOwner = owner && IsWindowEnabled(owner) && !EnableWindow(owner, FALSE);
    if (!run.ended) ShowWindow(dialog, SW_SHOWNORMAL);
    const INT_PTR result = RunModal(run);
    if (disabledOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) DestroyWindow(dialog);
    if (owner && IsWindow(owner)) SetActiveWindow(owner);
    return finish(result);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    if (!WindowSystem::Get().Find(hDlg)) return FALSE;
    if (ModalRun* run = RunOf(hDlg)) {
        run->ended = true;
        run->result = nResult;
    }
    // The dialog disappears at once; its loop destroys it when it returns.
    ShowWindow(hDlg, SW_HIDE);
    return TRUE;
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    if (!lpMsg || !hDlg || !IsWindow(hDlg)) return FALSE;
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
    if (lpMsg->message == WM_KEYDOWN && (lpMsg->wParam == VK_RETURN || lpMsg->wParam == VK_ESCAPE)) {
        WORD id = IDCANCEL;
        if (lpMsg->wParam == VK_RETURN) {
            // A focused push button is the one Enter presses; else the default button.
            const HWND focus = GetFocus();
            if (focus && IsChild(hDlg, focus) && IsPushButton(focus))
                id = static_cast<WORD>(GetDlgCtrlID(focus));
            else
                id = LOWORD(SendMessageA(hDlg, DM_GETDEFID, 0, 0));
        }
        const HWND button = GetDlgItem(hDlg, id);
        // A disabled button cannot be pressed, by its key either.
        if (!button || IsWindowEnabled(button))
            SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return TRUE;
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Find(hDlg);
    if (!w) return nullptr;
    // Direct children only, the topmost first when identifiers repeat.
    for (HWND child : w->children) {
        const Window* c = system.Peek(child);
        if (c && static_cast<int>(reinterpret_cast<LONG_PTR>(c->menu)) == nIDDlgItem) return child;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SendMessageA(control, Msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    const HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SetWindowTextA(control, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString && cchMax > 0) lpString[0] = 0;
    const HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (!control) return 0;
    return static_cast<UINT>(GetWindowTextA(control, lpString, cchMax));
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    const HWND control = GetDlgItem(hDlg, nIDButton);
    if (!control) return FALSE;
    SendMessageA(control, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    return static_cast<UINT>(SendDlgItemMessageA(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    if (!WindowSystem::Get().Find(hDlg)) return FALSE;
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
        if (const HWND button = GetDlgItem(hDlg, id))
            SendMessageA(button, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

// ---- the test interface -----------------------------------------------------------------

void PlatformTest_SetDialogHook(PlatformTestDialogHook hook) { State().hook = std::move(hook); }

void PlatformTest_RunDialogMessages() {
    if (State().running.empty()) return;
    ModalRun* run = State().running.back();
    MSG msg;
    while (!Ended(*run) && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Handle(run->dialog, msg);
    }
}

int PlatformTest_RunningDialogs() { return static_cast<int>(State().running.size()); }
