// The standard controls that dialogs are made of: buttons (push buttons, check boxes,
// radio buttons, group boxes), static text, single-line edit fields and drop-down combo
// boxes, with the messages and notifications their documentation gives. Nothing is drawn;
// what a user would see is the state the messages read: texts, checks, items and the
// selection.
//
// Every control class is a row of kControlClasses: a new control (a track bar, say) is
// one more procedure and one more row. A control keeps its state in the window's data,
// made on WM_NCCREATE, so that it goes with the window.
//
// The only user actions here are those the test interface performs on a control as a
// user would (a click, a pick from a list): they change the state and notify the parent
// exactly as the same message from a program does not.
#include "WindowSystem.h"

#include <PlatformTestDialogs.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace platform {
namespace {

bool IsClass(HWND window, WNDPROC procedure) {
    const Window* w = WindowSystem::Get().Peek(window);
    return w && w->windowClass && w->windowClass->procedure == procedure;
}

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// A control's state: made on WM_NCCREATE, so that it goes with the window; null before.
template <class Data>
Data* ControlState(HWND control, UINT message) {
    Window* w = WindowSystem::Get().Peek(control);
    if (!w) return nullptr;
    if (message == WM_NCCREATE) w->data = std::make_unique<Data>();
    return static_cast<Data*>(w->data.get());
}

// ---- buttons ----------------------------------------------------------------------------

struct ButtonData : WindowData {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
};

ButtonData* ButtonOf(HWND button) {
    Window* w = WindowSystem::Get().Peek(button);
    return w ? static_cast<ButtonData*>(w->data.get()) : nullptr;
}

DWORD ButtonType(HWND button) {
    const Window* w = WindowSystem::Get().Peek(button);
    return w ? (w->style & BS_TYPEMASK) : BS_PUSHBUTTON;
}

bool HasCheck(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

void NotifyParent(HWND control, WORD code) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(control);
    if (!w || !(w->style & WS_CHILD)) return;
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(w->menu));
    system.Send(w->parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

// The other automatic radio buttons of the button's group: the siblings from the nearest
// one at or before it that starts a group (WS_GROUP) up to the next group.
void UncheckRestOfGroup(HWND button) {
    WindowSystem& system = WindowSystem::Get();
    const Window* w = system.Peek(button);
    if (!w) return;
    const Window* parent = system.Peek(w->parent);
    if (!parent) return;
    const std::vector<HWND> siblings = parent->children;
    const auto self = std::find(siblings.begin(), siblings.end(), button);
    if (self == siblings.end()) return;
    auto first = self;
    while (first != siblings.begin()) {
        const Window* s = system.Peek(*first);
        if (s && (s->style & WS_GROUP)) break;
        --first;
    }
    std::vector<HWND> others;
    for (auto it = first; it != siblings.end(); ++it) {
        const Window* s = system.Peek(*it);
        if (!s) continue;
        if (it != first && (s->style & WS_GROUP)) break;
        if (*it != button && IsClass(*it, ButtonProc) && (s->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            others.push_back(*it);
    }
    // Through the message, so that each one's tab stop goes with its check.
    for (HWND other : others) SendMessageA(other, BM_SETCHECK, BST_UNCHECKED, 0);
}

// A click: the automatic kinds change their own check, then the parent hears BN_CLICKED.
void ClickButton(HWND button) {
    ButtonData* d = ButtonOf(button);
    if (!d) return;
    switch (ButtonType(button)) {
    case BS_AUTOCHECKBOX: d->check = d->check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED; break;
    case BS_AUTO3STATE: d->check = (d->check + 1) % 3; break;
    case BS_AUTORADIOBUTTON:
        SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
        UncheckRestOfGroup(button);
        break;
    default: break;
    }
    NotifyParent(button, BN_CLICKED);
}

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ButtonData* d = ControlState<ButtonData>(hWnd, message);
    if (!d || message == WM_NCCREATE) return DefWindowProcA(hWnd, message, wParam, lParam);
    const DWORD type = ButtonType(hWnd);
    switch (message) {
    case BM_GETCHECK: return HasCheck(type) ? d->check : BST_UNCHECKED;
    case BM_SETCHECK:
        // Push buttons and group boxes have no check; two-state buttons take no third state.
        if (!HasCheck(type)) return 0;
        if (wParam == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) wParam = BST_CHECKED;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
            // Only the checked button of a group is a tab stop, so Tab enters the group once
            // and lands on its choice; the style is set even when it stays as it was.
            const LONG style = GetWindowLongA(hWnd, GWL_STYLE);
            SetWindowLongA(hWnd, GWL_STYLE, wParam ? style | WS_TABSTOP : style & ~LONG{WS_TABSTOP});
            if (!(d = ButtonOf(hWnd))) return 0;  // destroyed while hearing of its style
        }
        d->check = static_cast<UINT>(wParam) & 3;
        return 0;
    case BM_GETSTATE: return (HasCheck(type) ? d->check : 0) | (d->pushed ? BST_PUSHED : 0);
    case BM_SETSTATE: d->pushed = wParam != 0; return 0;
    case BM_SETSTYLE:
        if (Window* w = WindowSystem::Get().Peek(hWnd))
            w->style = (w->style & ~0xFFFFu) | static_cast<WORD>(wParam);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(hWnd)) ClickButton(hWnd);
        return 0;
    default: return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

// ---- combo boxes ------------------------------------------------------------------------

struct ComboItem {
    std::string text;
    LPARAM data = 0;
};

struct ComboData : WindowData {
    std::vector<ComboItem> items;
    int selection = CB_ERR;
    int droppedWidth = 0;
    bool dropped = false;
};

// A drop-down combo box is made with the height of its open list, but its window is the
// closed selection field only, as Windows sizes it: the height Windows gives the field for
// the 8-point dialog font, whose cells the dialog base units here are made of. The list
// drops over the controls below without being part of the layout.
constexpr int kClosedComboHeight = 21;

ComboData* ComboOf(HWND combo) {
    Window* w = WindowSystem::Get().Peek(combo);
    return w ? static_cast<ComboData*>(w->data.get()) : nullptr;
}

// The text a combo box shows is its selected item's.
void ShowSelection(HWND combo, const ComboData& d) {
    if (Window* w = WindowSystem::Get().Peek(combo))
        w->text = d.selection >= 0 ? d.items[static_cast<size_t>(d.selection)].text : std::string();
}

// A search from the item after `start` round to `start` itself, as the list searches:
// the whole text or its beginning, without regard to case.
int FindItem(const ComboData& d, WPARAM start, const char* text, bool exact) {
    const int count = static_cast<int>(d.items.size());
    if (!text || count == 0) return CB_ERR;
    int from = static_cast<int>(static_cast<INT_PTR>(start));
    if (from < -1 || from >= count) from = -1;
    const size_t length = strlen(text);
    for (int step = 1; step <= count; ++step) {
        const int i = (from + step) % count;
        const std::string& item = d.items[static_cast<size_t>(i)].text;
        if (exact ? strcasecmp(item.c_str(), text) == 0 : strncasecmp(item.c_str(), text, length) == 0) return i;
    }
    return CB_ERR;
}

bool ValidIndex(const ComboData& d, WPARAM index) { return index < d.items.size(); }

LRESULT InsertItem(HWND combo, ComboData& d, int index, const char* text) {
    const Window* w = WindowSystem::Get().Peek(combo);
    const int count = static_cast<int>(d.items.size());
    if (index == -1) index = count;
    if (index < 0 || index > count) return CB_ERR;
    if (w && (w->style & CBS_SORT) && index == count) {
        // A sorted list puts an added item before the first that sorts after it.
        index = 0;
        while (index < count && strcasecmp(d.items[static_cast<size_t>(index)].text.c_str(), text ? text : "") <= 0)
            ++index;
    }
    d.items.insert(d.items.begin() + index, ComboItem{text ? text : "", 0});
    if (d.selection >= index) ++d.selection;
    return index;
}

LRESULT CALLBACK ComboBoxProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ComboData* d = ControlState<ComboData>(hWnd, message);
    if (!d || message == WM_NCCREATE) return DefWindowProcA(hWnd, message, wParam, lParam);
    const char* text = reinterpret_cast<const char*>(lParam);
    switch (message) {
    case WM_CREATE: {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (create && (create->style & 3) != CBS_SIMPLE)
            SetWindowPos(hWnd, nullptr, 0, 0, create->cx, kClosedComboHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case CB_ADDSTRING: return InsertItem(hWnd, *d, -1, text);
    case CB_INSERTSTRING: {
        // Inserting never sorts: the item goes where it is told.
        const int count = static_cast<int>(d->items.size());
        int index = static_cast<int>(static_cast<INT_PTR>(wParam));
        if (index == -1) index = count;
        if (index < 0 || index > count) return CB_ERR;
        d->items.insert(d->items.begin() + index, ComboItem{text ? text : "", 0});
        if (d->selection >= index) ++d->selection;
        return index;
    }
    case CB_DELETESTRING: {
        if (!ValidIndex(*d, wParam)) return CB_ERR;
        const int index = static_cast<int>(wParam);
        d->items.erase(d->items.begin() + index);
        if (d->selection == index) {
            d->selection = CB_ERR;
            ShowSelection(hWnd, *d);
        } else if (d->selection > index) {
            --d->selection;
        }
        return static_cast<LRESULT>(d->items.size());
    }
    case CB_RESETCONTENT:
        d->items.clear();
        d->selection = CB_ERR;
        ShowSelection(hWnd, *d);
        return TRUE;
    case CB_GETCOUNT: return static_cast<LRESULT>(d->items.size());
    case CB_GETCURSEL: return d->selection;
    case CB_SETCURSEL:
        // -1 clears the selection; any other index outside the list fails and keeps it.
        // Both report CB_ERR.
        if (!ValidIndex(*d, wParam)) {
            if (static_cast<INT_PTR>(wParam) == -1) {
                d->selection = CB_ERR;
                ShowSelection(hWnd, *d);
            }
            return CB_ERR;
        }
        d->selection = static_cast<int>(wParam);
        ShowSelection(hWnd, *d);
        return d->selection;
    case CB_GETITEMDATA:
        return ValidIndex(*d, wParam) ? d->items[wParam].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!ValidIndex(*d, wParam)) return CB_ERR;
        d->items[wParam].data = lParam;
        return TRUE;
    case CB_GETLBTEXT: {
        if (!ValidIndex(*d, wParam) || !lParam) return CB_ERR;
        const std::string& item = d->items[wParam].text;
        memcpy(reinterpret_cast<char*>(lParam), item.c_str(), item.size() + 1);
        return static_cast<LRESULT>(item.size());
    }
    case CB_GETLBTEXTLEN:
        return ValidIndex(*d, wParam) ? static_cast<LRESULT>(d->items[wParam].text.size()) : CB_ERR;
    case CB_FINDSTRING: return FindItem(*d, wParam, text, false);
    case CB_FINDSTRINGEXACT: return FindItem(*d, wParam, text, true);
    case CB_SELECTSTRING: {
        // A text found nowhere leaves the selection as it was.
        const int found = FindItem(*d, wParam, text, false);
        if (found == CB_ERR) return CB_ERR;
        d->selection = found;
        ShowSelection(hWnd, *d);
        return found;
    }
    case CB_SHOWDROPDOWN: d->dropped = wParam != 0; return TRUE;
    case CB_GETDROPPEDSTATE: return d->dropped ? TRUE : FALSE;
    case CB_SETDROPPEDWIDTH:
    case CB_GETDROPPEDWIDTH: {
        // The list is never narrower than the control.
        if (message == CB_SETDROPPEDWIDTH) d->droppedWidth = static_cast<int>(wParam);
        const Window* w = WindowSystem::Get().Peek(hWnd);
        const int width = w ? static_cast<int>(w->window.right - w->window.left) : 0;
        return std::max(d->droppedWidth, width);
    }
    case WM_KEYDOWN: {
        // The arrow keys move the selection of a closed list, and the parent hears of it.
        if (wParam != VK_DOWN && wParam != VK_UP) break;
        const int count = static_cast<int>(d->items.size());
        int next = d->selection;
        if (wParam == VK_DOWN) next = next < 0 ? 0 : std::min(next + 1, count - 1);
        else next = next <= 0 ? (count > 0 ? 0 : -1) : next - 1;
        if (next < 0 || next == d->selection) return 0;
        d->selection = next;
        ShowSelection(hWnd, *d);
        NotifyParent(hWnd, CBN_SELCHANGE);
        return 0;
    }
    default: break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// ---- static controls --------------------------------------------------------------------

// Static text keeps nothing beyond its window text. A picture (SS_BITMAP) loads the bitmap
// its title names from the creating instance and owns it; it takes the bitmap's size, so
// that the width and height it was made with do not count, unless it centres the image in
// itself (SS_CENTERIMAGE) or fits the image to itself (SS_REALSIZECONTROL). A dialog's
// layout must therefore leave a picture room for its bitmap's pixels.
struct StaticData : WindowData {
    HBITMAP bitmap = nullptr;
};

void LoadPicture(HWND control, StaticData& d, const CREATESTRUCTA& create) {
    if ((create.style & SS_TYPEMASK) != SS_BITMAP || !create.lpszName) return;
    if (!IS_INTRESOURCE(create.lpszName) && !create.lpszName[0]) return;
    d.bitmap = LoadBitmapA(create.hInstance, create.lpszName);
    if (!d.bitmap || (create.style & (SS_CENTERIMAGE | SS_REALSIZECONTROL))) return;
    BITMAP size{};
    if (GetObjectA(d.bitmap, sizeof size, &size) != static_cast<int>(sizeof size)) return;
    SetWindowPos(control, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    StaticData* d = ControlState<StaticData>(hWnd, message);
    if (!d || message == WM_NCCREATE) return DefWindowProcA(hWnd, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        if (lParam) LoadPicture(hWnd, *d, *reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case STM_GETIMAGE: return wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(d->bitmap) : 0;
    case WM_NCDESTROY:
        if (d->bitmap) DeleteObject(d->bitmap);
        d->bitmap = nullptr;
        break;
    default: break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// Edit fields keep nothing beyond their window text.
LRESULT CALLBACK EditProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

LRESULT CALLBACK DialogClassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(hWnd, message, wParam, lParam);
}

struct ControlClass {
    const char* name;
    ATOM atom;
    WNDPROC procedure;
    int windowExtra;
};

// The dialog class has the atom Windows documents (#32770); the controls take the
// ordinals by which dialog templates name them.
const ControlClass kControlClasses[] = {
    {"#32770", 0x8002, DialogClassProc, static_cast<int>(3 * sizeof(LONG_PTR))},
    {"Button", 0x0080, ButtonProc, 0},
    {"Edit", 0x0081, EditProc, 0},
    {"Static", 0x0082, StaticProc, 0},
    {"ComboBox", 0x0085, ComboBoxProc, 0},
};

bool UserCanReach(HWND control) {
    // A user cannot operate a control that is disabled or hidden, or inside a disabled
    // dialog.
    return IsWindowEnabled(control) && IsWindowVisible(control) && IsWindowEnabled(GetParent(control));
}

}  // namespace

void RegisterStandardClasses(WindowSystem& system) {
    for (const ControlClass& c : kControlClasses) {
        WNDCLASSEXA description{};
        description.cbSize = sizeof description;
        description.style = CS_GLOBALCLASS;
        description.lpfnWndProc = c.procedure;
        description.cbWndExtra = c.windowExtra;
        description.lpszClassName = c.name;
        system.RegisterSystemClass(description, c.atom);
    }
}

bool IsPushButton(HWND window) {
    if (!IsClass(window, ButtonProc)) return false;
    const DWORD type = ButtonType(window);
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool IsDefaultPushButton(HWND window) { return IsClass(window, ButtonProc) && ButtonType(window) == BS_DEFPUSHBUTTON; }

}  // namespace platform

using namespace platform;

bool PlatformTest_ClickButton(HWND button) {
    if (!IsClass(button, ButtonProc) || !UserCanReach(button)) return false;
    ClickButton(button);
    return true;
}

bool PlatformTest_SelectComboItem(HWND combo, int index) {
    if (!IsClass(combo, ComboBoxProc) || !UserCanReach(combo)) return false;
    ComboData* d = ComboOf(combo);
    if (!d || index < 0 || static_cast<size_t>(index) >= d->items.size()) return false;
    d->selection = index;
    ShowSelection(combo, *d);
    NotifyParent(combo, CBN_SELCHANGE);
    return true;
}

std::vector<std::string> PlatformTest_ComboItems(HWND combo) {
    std::vector<std::string> texts;
    if (!IsClass(combo, ComboBoxProc)) return texts;
    if (const ComboData* d = ComboOf(combo))
        for (const ComboItem& item : d->items) texts.push_back(item.text);
    return texts;
}
