// The settings dialog and the About box (see SettingsDialog.h).
//
// WM_INITDIALOG comes twice over the dialog's life: from DialogBoxParamA (the first time:
// the texts are set) and from Restore Defaults with lParam 1 (the configuration documents
// were read again: every control is refreshed, nothing is written). The refresh also sets
// the volume bar's enabling from Music and Sound, so that a restore that turns the music
// back on does not leave the bar disabled.
//
// The gamma bar's range, -100 to 100, is set with TBM_SETRANGEMIN and TBM_SETRANGEMAX:
// TBM_SETRANGE takes two unsigned 16-bit words and cannot hold a negative minimum.
#include "Screen/SettingsDialog.h"

#include "D3d/DeviceEnumeration.h"
#include "D3d/Direct3DLoader.h"
#include "Screen/ProductSettings.h"
#include "Screen/SaverModes.h"
#include "Screen/SettingsDialogControls.h"

#include <commctrl.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>

HWND SettingsDialog = nullptr;

namespace {

constexpr LPARAM kRestoreDefaults = 1;  // WM_INITDIALOG's lParam from Restore Defaults
constexpr int kLongestComparedItem = 200;
constexpr UINT kSmallestWidth = 640;
constexpr UINT kSmallestHeight = 480;

struct ControlText {
    int id;
    Message message;
};

const ControlText kSettingsTexts[] = {
    {IDOK, Message::ButtonOk},
    {IDCANCEL, Message::ButtonCancel},
    {IDC_BOX_MODE, Message::SettingsBoxMode},
    {IDC_BOX_SOUND, Message::SettingsBoxSound},
    {IDC_BOX_GRAPHICS, Message::SettingsBoxGraphics},
    {IDC_BOX_MISC, Message::SettingsBoxMisc},
    {IDC_BOX_PRODUCTS, Message::SettingsBoxProducts},
    {IDC_USE_DESKTOP, Message::SettingsUseDesktop},
    {IDC_VOLUME_LABEL, Message::SettingsMusicVolume},
    {IDC_MUSIC, Message::SettingsEnableMusic},
    {IDC_SOUND, Message::SettingsEnableSound},
    {IDC_GAMMA_LABEL, Message::SettingsGamma},
    {IDC_SHOW_FPS, Message::SettingsShowFps},
    {IDC_EXIT_ON_MOUSE, Message::SettingsExitOnMouse},
    {IDC_SHOW_TIME, Message::SettingsShowTime},
    {IDC_CLOCK_12H, Message::Settings12h},
    {IDC_CLOCK_24H, Message::Settings24h},
    {IDC_PRODUCTS_TEXT, Message::SettingsProducts},
    {IDC_VISIT, Message::SettingsButtonVisit},
    {IDC_ABOUT, Message::SettingsButtonAbout},
    {IDC_RESTORE_DEFAULTS, Message::SettingsButtonRestoreDefs},
};

const ControlText kAboutTexts[] = {
    {IDOK, Message::ButtonOk},
    {IDC_ABOUT_TEXT, Message::AboutText},
    {IDC_ABOUT_RIGHTS, Message::AboutRightsReserved},
    {IDC_ABOUT_COPYRIGHT, Message::AboutCopyright},
    {IDC_ABOUT_DESIGNER, Message::AboutDesigner},
    {IDC_ABOUT_PROGRAMMER, Message::AboutProgrammer},
};

template <size_t N>
void SetTexts(HWND dialog, const MessageTable& messages, const ControlText (&texts)[N], Message title) {
    for (const ControlText& t : texts) SetDlgItemTextA(dialog, t.id, messages.Text(t.message));
    SetWindowTextA(dialog, messages.Text(title));
}

u8 Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0; }
void Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }
LRESULT Position(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0); }

void EnableVolume(HWND dialog, const ScreenSaver& saver) {
    const bool on = saver.Music || saver.Sound;
    Enable(dialog, IDC_VOLUME, on);
    Enable(dialog, IDC_VOLUME_LABEL, on);
}

void ShowGamma(HWND dialog, i32 gamma) {
    char text[16];
    snprintf(text, sizeof text, "%d%%", static_cast<int>(gamma));
    SetDlgItemTextA(dialog, IDC_GAMMA_VALUE, text);
}

void SetTrackBar(HWND dialog, int id, LPARAM minimum, LPARAM maximum, LPARAM position) {
    SendDlgItemMessageA(dialog, id, TBM_SETRANGEMIN, FALSE, minimum);
    SendDlgItemMessageA(dialog, id, TBM_SETRANGEMAX, TRUE, maximum);
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, position);
}

}  // namespace

void OpenAddress(const char* address) { ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL); }

LPARAM GetComboSelectionData(HWND dialog, int controlId) {
    const LRESULT selection = SendDlgItemMessageA(dialog, controlId, CB_GETCURSEL, 0, 0);
    if (selection == CB_ERR) return 0;
    const LRESULT data = SendDlgItemMessageA(dialog, controlId, CB_GETITEMDATA, static_cast<WPARAM>(selection), 0);
    return data == CB_ERR ? 0 : data;
}

bool ComboContainsText(HWND dialog, int controlId, const char* text) {
    if (!text) return false;
    const LRESULT count = SendDlgItemMessageA(dialog, controlId, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // The length is asked first: an item too long for the buffer is never copied.
        const LRESULT length = SendDlgItemMessageA(dialog, controlId, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length == CB_ERR || length >= kLongestComparedItem) continue;
        char item[kLongestComparedItem];
        if (SendDlgItemMessageA(dialog, controlId, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item)) ==
            CB_ERR)
            continue;
        if (strcmp(item, text) == 0) return true;
    }
    return false;
}

bool ScreenSaver::RefreshSettingsDialog(HWND dialog) {
    IDirect3D9* d3d = CreateDirect3D9();
    if (!d3d) {
        MessageBoxA(dialog, messages.Text(Message::ErrorCantInitD3D), messages.Text(Message::ErrorTitle), MB_OK);
        EndDialog(dialog, 0);
        return false;
    }
    SetTrackBar(dialog, IDC_GAMMA, -100, 100, Gamma);
    ShowGamma(dialog, Gamma);
    SetTrackBar(dialog, IDC_VOLUME, 0, 100, Volume);

    CheckRadioButton(dialog, IDC_CLOCK_12H, IDC_CLOCK_24H, b24h ? IDC_CLOCK_24H : IDC_CLOCK_12H);
    CheckDlgButton(dialog, IDC_SHOW_TIME, ShowTime ? BST_CHECKED : BST_UNCHECKED);
    Enable(dialog, IDC_CLOCK_12H, ShowTime);
    Enable(dialog, IDC_CLOCK_24H, ShowTime);
    CheckDlgButton(dialog, IDC_MUSIC, Music ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SOUND, Sound ? BST_CHECKED : BST_UNCHECKED);
    EnableVolume(dialog, *this);
    CheckDlgButton(dialog, IDC_SHOW_FPS, ShowFps ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_EXIT_ON_MOUSE, ExitOnMM ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_USE_DESKTOP, UseDesktop ? BST_CHECKED : BST_UNCHECKED);
    Enable(dialog, IDC_VIDEO_MODE, !UseDesktop);

    D3DDISPLAYMODE desktop{};
    if (FAILED(d3d->GetAdapterDisplayMode(0, &desktop))) desktop = D3DDISPLAYMODE{};

    // The list is emptied before the modes its entries point at are dropped.
    SendDlgItemMessageA(dialog, IDC_VIDEO_MODE, CB_RESETCONTENT, 0, 0);
    ListedModes.clear();
    DeviceEnumeration enumeration(d3d);
    enumeration.Enumerate();
    LRESULT selection = CB_ERR;
    bool exact = false;
    ForEachOwned(enumeration.GetAdapters(), [&](const AdapterInfo& adapter) {
        ForEachInFillOrder(adapter.displayModes, [&](const D3DDISPLAYMODE& mode) {
            if (mode.Width < kSmallestWidth || mode.Height < kSmallestHeight) return;
            const u32 bits = FormatBitsPerPixel(mode.Format);
            char text[64];
            snprintf(text, sizeof text, "%ux%ux%ubit", static_cast<unsigned>(mode.Width),
                     static_cast<unsigned>(mode.Height), static_cast<unsigned>(bits));
            if (ComboContainsText(dialog, IDC_VIDEO_MODE, text)) return;
            const LRESULT index =
                SendDlgItemMessageA(dialog, IDC_VIDEO_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            if (index == CB_ERR || index == CB_ERRSPACE) return;
            ListedModes.push_back(mode);
            SendDlgItemMessageA(dialog, IDC_VIDEO_MODE, CB_SETITEMDATA, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(&ListedModes.back()));
            if (exact) return;
            if (static_cast<i32>(mode.Width) == Width && static_cast<i32>(mode.Height) == Height &&
                static_cast<i32>(bits) == Depth && static_cast<i32>(adapter.adapterOrdinal) == Adapter) {
                selection = index;
                exact = true;
            } else if (mode.Width == desktop.Width && mode.Height == desktop.Height && mode.Format == desktop.Format) {
                selection = index;
            } else if (mode.Width == 800 && mode.Height == 600 && bits == 16) {
                selection = index;
            }
        });
    });
    if (selection != CB_ERR) SendDlgItemMessageA(dialog, IDC_VIDEO_MODE, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    d3d->Release();
    return true;
}

INT_PTR ScreenSaver::SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (lParam != kRestoreDefaults) {
            SettingsDialog = dialog;
            SetTexts(dialog, messages, kSettingsTexts, Message::SettingsTitle);
        }
        RefreshSettingsDialog(dialog);
        return TRUE;
    case WM_DESTROY:
        // The About box must not place itself by a dialog that is gone.
        if (SettingsDialog == dialog) SettingsDialog = nullptr;
        return FALSE;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header) return FALSE;
        if (header->idFrom == IDC_VOLUME) {
            Volume = static_cast<i32>(Position(dialog, IDC_VOLUME));
        } else if (header->idFrom == IDC_GAMMA) {
            Gamma = static_cast<i32>(Position(dialog, IDC_GAMMA));
            ShowGamma(dialog, Gamma);
        }
        return FALSE;
    }
    case WM_COMMAND: break;
    default: return FALSE;
    }
    switch (LOWORD(wParam)) {
    case IDC_MUSIC:
        Music = Checked(dialog, IDC_MUSIC);
        EnableVolume(dialog, *this);
        break;
    case IDC_SOUND:
        Sound = Checked(dialog, IDC_SOUND);
        EnableVolume(dialog, *this);
        break;
    case IDC_VOLUME: Volume = static_cast<i32>(Position(dialog, IDC_VOLUME)); break;
    case IDC_SHOW_FPS: ShowFps = Checked(dialog, IDC_SHOW_FPS); break;
    case IDC_SHOW_TIME:
        ShowTime = Checked(dialog, IDC_SHOW_TIME);
        Enable(dialog, IDC_CLOCK_12H, ShowTime);
        Enable(dialog, IDC_CLOCK_24H, ShowTime);
        break;
    case IDC_CLOCK_24H: b24h = Checked(dialog, IDC_CLOCK_24H); break;
    case IDC_CLOCK_12H: b24h = Checked(dialog, IDC_CLOCK_12H) ? 0 : 1; break;
    case IDC_EXIT_ON_MOUSE: ExitOnMM = Checked(dialog, IDC_EXIT_ON_MOUSE); break;
    case IDC_USE_DESKTOP:
        UseDesktop = Checked(dialog, IDC_USE_DESKTOP);
        Enable(dialog, IDC_VIDEO_MODE, !UseDesktop);
        break;
    case IDC_ABOUT: DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_ABOUT), dialog, AboutDlgProc, 0); break;
    case IDC_RESTORE_DEFAULTS:
        LoadConfig();
        SendMessageA(dialog, WM_INITDIALOG, 0, kRestoreDefaults);
        break;
    case IDC_VISIT: OpenAddress(WebSiteUrl.value.c_str()); break;
    case IDOK:
        if (const D3DDISPLAYMODE* mode =
                reinterpret_cast<const D3DDISPLAYMODE*>(GetComboSelectionData(dialog, IDC_VIDEO_MODE))) {
            Width = static_cast<i32>(mode->Width);
            Height = static_cast<i32>(mode->Height);
            Depth = static_cast<i32>(FormatBitsPerPixel(mode->Format));
            Adapter = 0;
        }
        StoreSettings();
        EndDialog(dialog, 1);
        break;
    case IDCANCEL: EndDialog(dialog, 2); break;
    default: return FALSE;
    }
    return TRUE;
}

INT_PTR ScreenSaver::Config::DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && lParam) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_SHADOW_QUALITY)
            ShadowQualitySetting = static_cast<i32>(Position(dialog, IDC_SHADOW_QUALITY));
        else if (header->idFrom == IDC_DAY_LENGTH)
            DayLengthSetting = static_cast<i32>(Position(dialog, IDC_DAY_LENGTH));
    } else if (message == WM_INITDIALOG) {
        SetDlgItemTextA(dialog, IDC_SHADOW_QUALITY_LABEL, ShadowQualText.value.c_str());
        SetDlgItemTextA(dialog, IDC_DAY_LENGTH_LABEL, DayLengthText.value.c_str());
        SetDlgItemTextA(dialog, IDC_DAY_OPTIONS, DayOptText.value.c_str());
        SendDlgItemMessageA(dialog, IDC_SHADOW_QUALITY, TBM_SETPOS, TRUE, ShadowQualitySetting);
        SendDlgItemMessageA(dialog, IDC_DAY_LENGTH, TBM_SETPOS, TRUE, DayLengthSetting);
    }
    return SettingsDlgProc(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (TheSaver) SetTexts(dialog, TheSaver->messages, kAboutTexts, Message::AboutTitle);
        if (SettingsDialog) {
            RECT settings{};
            if (GetWindowRect(SettingsDialog, &settings))
                SetWindowPos(dialog, nullptr, settings.left + 140, settings.top + 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}
