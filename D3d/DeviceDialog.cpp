// The device-settings dialog's procedure: the chain of lists (see DeviceDialog.h).
#include "D3d/DeviceDialog.h"

#include <stdio.h>

namespace {

// The dialog whose procedure is running; the static procedure reaches it through this.
DeviceDialog* runningDialog = nullptr;

LPARAM SizeValue(UINT width, UINT height) { return static_cast<LPARAM>((width & 0xFFFF) | ((height & 0xFFFF) << 16)); }
UINT SizeWidth(LPARAM value) { return static_cast<UINT>(value) & 0xFFFF; }
UINT SizeHeight(LPARAM value) { return (static_cast<UINT>(value) >> 16) & 0xFFFF; }

void SizeText(char (&text)[32], UINT width, UINT height) { snprintf(text, sizeof text, "%u x %u", width, height); }

// A refresh rate of 0 is the adapter's default.
void RateText(char (&text)[32], UINT rate) {
    if (rate == 0)
        snprintf(text, sizeof text, "Default Rate");
    else
        snprintf(text, sizeof text, "%u Hz", rate);
}

bool Contains(const List<D3DFORMAT>& list, D3DFORMAT format) { return list.Contains(format); }

}  // namespace

DeviceDialog::DeviceDialog(const DeviceEnumeration& enumeration, bool windowed, DeviceSettings windowedSettings,
                           DeviceSettings fullScreenSettings)
    : enumeration(enumeration),
      settings(windowed ? windowedSettings : fullScreenSettings),
      windowedSettings(windowedSettings),
      fullScreenSettings(fullScreenSettings) {}

INT_PTR DeviceDialog::ShowDialog(HWND owner) {
    DeviceDialog* outer = runningDialog;
    runningDialog = this;
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DEVICE_SETTINGS), owner,
                                           StaticDialogProc, 0);
    runningDialog = outer;
    dialog = nullptr;
    return result;
}

INT_PTR CALLBACK DeviceDialog::StaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!runningDialog) return FALSE;
    if (message == WM_INITDIALOG) runningDialog->dialog = dialog;
    if (runningDialog->dialog != dialog) return FALSE;
    return runningDialog->DialogProc(message, wParam, lParam);
}

INT_PTR DeviceDialog::DialogProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        OnInitDialog();
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == BN_CLICKED) {
        switch (id) {
        case IDOK: EndDialog(dialog, IDOK); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case IDC_WINDOWED: OnPresentationChanged(true); return TRUE;
        case IDC_FULLSCREEN: OnPresentationChanged(false); return TRUE;
        default: return FALSE;
        }
    }
    if (code != CBN_SELCHANGE) return FALSE;
    switch (id) {
    case IDC_ADAPTER: OnAdapterChanged(); break;
    case IDC_DEVICE_TYPE: OnDeviceTypeChanged(); break;
    case IDC_ADAPTER_FORMAT: OnAdapterFormatChanged(); break;
    case IDC_RESOLUTION: OnResolutionChanged(); break;
    case IDC_BACK_BUFFER_FORMAT: OnBackBufferFormatChanged(); break;
    case IDC_DEPTH_STENCIL_FORMAT:
        StoreFinalValue(id);
        OnDepthStencilFormatChanged();
        break;
    case IDC_MULTISAMPLE_TYPE: OnMultiSampleTypeChanged(); break;
    case IDC_REFRESH_RATE:
    case IDC_MULTISAMPLE_QUALITY:
    case IDC_VERTEX_PROCESSING:
    case IDC_PRESENT_INTERVAL: StoreFinalValue(id); break;
    default: return FALSE;
    }
    return TRUE;
}

// ---- the chain --------------------------------------------------------------------------

void DeviceDialog::OnInitDialog() {
    ClearList(IDC_ADAPTER);
    ForEachOwned(enumeration.GetAdapters(), [&](const AdapterInfo& adapter) {
        AddItem(IDC_ADAPTER, adapter.identifier.Description, reinterpret_cast<LPARAM>(&adapter));
    });
    SelectValue(IDC_ADAPTER, reinterpret_cast<LPARAM>(enumeration.FindAdapter(settings.adapterOrdinal)));
}

void DeviceDialog::OnAdapterChanged() {
    ClearList(IDC_DEVICE_TYPE);
    const AdapterInfo* adapter = SelectedAdapter();
    if (!adapter) return;
    settings.adapterOrdinal = adapter->adapterOrdinal;
    const DeviceInfo* wanted = nullptr;
    ForEachOwned(adapter->devices, [&](const DeviceInfo& device) {
        AddItem(IDC_DEVICE_TYPE, DeviceTypeName(device.deviceType).c_str(), reinterpret_cast<LPARAM>(&device));
        if (device.deviceType == settings.deviceType) wanted = &device;
    });
    SelectValue(IDC_DEVICE_TYPE, reinterpret_cast<LPARAM>(wanted));
}

void DeviceDialog::OnDeviceTypeChanged() {
    const DeviceInfo* device = SelectedDevice();
    if (!device) return;
    settings.deviceType = device->deviceType;
    settings.caps = device->caps;
    bool anyWindowed = false, anyFullScreen = false;
    ForEachOwned(device->combos, [&](const DeviceCombo& combo) {
        if (combo.windowed)
            anyWindowed = true;
        else
            anyFullScreen = true;
    });
    EnableWindow(Control(IDC_WINDOWED), anyWindowed);
    EnableWindow(Control(IDC_FULLSCREEN), anyFullScreen);
    // The record's kind when the device offers it; else the one it offers.
    const bool windowed = settings.windowed ? anyWindowed || !anyFullScreen : !anyFullScreen;
    settings.windowed = windowed ? 1 : 0;
    CheckRadioButton(dialog, IDC_WINDOWED, IDC_FULLSCREEN, windowed ? IDC_WINDOWED : IDC_FULLSCREEN);
    RebuildFormatLists();
}

void DeviceDialog::OnPresentationChanged(bool windowed) {
    if (settings.windowed == (windowed ? 1 : 0)) return;
    // The other kind starts from its stored choice, on the adapter and device shown.
    DeviceSettings next = windowed ? windowedSettings : fullScreenSettings;
    next.adapterOrdinal = settings.adapterOrdinal;
    next.deviceType = settings.deviceType;
    next.caps = settings.caps;
    next.windowed = windowed ? 1 : 0;
    settings = next;
    RebuildFormatLists();
}

void DeviceDialog::RebuildFormatLists() {
    const DeviceInfo* device = SelectedDevice();
    ClearList(IDC_ADAPTER_FORMAT);
    ClearList(IDC_RESOLUTION);
    ClearList(IDC_REFRESH_RATE);
    if (!device) return;
    const bool fullScreen = !settings.windowed;
    EnableWindow(Control(IDC_ADAPTER_FORMAT), fullScreen);
    EnableWindow(Control(IDC_RESOLUTION), fullScreen);
    EnableWindow(Control(IDC_REFRESH_RATE), fullScreen);
    if (fullScreen) {
        List<D3DFORMAT> formats;
        ForEachOwned(device->combos, [&](const DeviceCombo& combo) {
            if (combo.windowed || Contains(formats, combo.adapterFormat)) return;
            formats.PushBack(combo.adapterFormat);
            AddItem(IDC_ADAPTER_FORMAT, FormatName(combo.adapterFormat).c_str(), combo.adapterFormat);
        });
        SelectValue(IDC_ADAPTER_FORMAT, settings.displayMode.Format);
        return;
    }
    // Windowed, the desktop decides format, size and rate: one item each, not to be changed.
    const D3DDISPLAYMODE desktop = DesktopMode();
    settings.displayMode = desktop;
    char text[32];
    AddItem(IDC_ADAPTER_FORMAT, FormatName(desktop.Format).c_str(), desktop.Format);
    SizeText(text, desktop.Width, desktop.Height);
    AddItem(IDC_RESOLUTION, text, SizeValue(desktop.Width, desktop.Height));
    RateText(text, desktop.RefreshRate);
    AddItem(IDC_REFRESH_RATE, text, desktop.RefreshRate);
    SendMessageA(Control(IDC_RESOLUTION), CB_SETCURSEL, 0, 0);
    SendMessageA(Control(IDC_REFRESH_RATE), CB_SETCURSEL, 0, 0);
    SelectValue(IDC_ADAPTER_FORMAT, desktop.Format);
}

void DeviceDialog::OnAdapterFormatChanged() {
    const AdapterInfo* adapter = SelectedAdapter();
    const DeviceInfo* device = SelectedDevice();
    ClearList(IDC_BACK_BUFFER_FORMAT);
    if (!adapter || !device) return;
    const D3DFORMAT adapterFormat = static_cast<D3DFORMAT>(SelectedValue(IDC_ADAPTER_FORMAT, D3DFMT_UNKNOWN));
    settings.displayMode.Format = adapterFormat;
    if (!settings.windowed) {
        ClearList(IDC_RESOLUTION);
        UINT lastWidth = 0, lastHeight = 0;
        ForEachInFillOrder(adapter->displayModes, [&](const D3DDISPLAYMODE& mode) {
            // The modes are sorted by size first, so each size's modes are neighbours.
            if (mode.Format != adapterFormat || (mode.Width == lastWidth && mode.Height == lastHeight)) return;
            lastWidth = mode.Width;
            lastHeight = mode.Height;
            char text[32];
            SizeText(text, mode.Width, mode.Height);
            AddItem(IDC_RESOLUTION, text, SizeValue(mode.Width, mode.Height));
        });
        SelectValue(IDC_RESOLUTION, SizeValue(settings.displayMode.Width, settings.displayMode.Height));
    }
    List<D3DFORMAT> formats;
    ForEachOwned(device->combos, [&](const DeviceCombo& combo) {
        if (combo.windowed != settings.windowed || combo.adapterFormat != adapterFormat ||
            Contains(formats, combo.backBufferFormat))
            return;
        formats.PushBack(combo.backBufferFormat);
        AddItem(IDC_BACK_BUFFER_FORMAT, FormatName(combo.backBufferFormat).c_str(), combo.backBufferFormat);
    });
    SelectValue(IDC_BACK_BUFFER_FORMAT, settings.backBufferFormat);
}

void DeviceDialog::OnResolutionChanged() {
    const AdapterInfo* adapter = SelectedAdapter();
    if (!adapter || settings.windowed) return;
    const LPARAM size = SelectedValue(IDC_RESOLUTION);
    settings.displayMode.Width = SizeWidth(size);
    settings.displayMode.Height = SizeHeight(size);
    ClearList(IDC_REFRESH_RATE);
    // A size's modes of one format come sorted by rate, so a rate repeats only next to itself.
    bool any = false;
    UINT lastRate = 0;
    ForEachInFillOrder(adapter->displayModes, [&](const D3DDISPLAYMODE& mode) {
        if (mode.Format != settings.displayMode.Format || mode.Width != settings.displayMode.Width ||
            mode.Height != settings.displayMode.Height)
            return;
        if (any && mode.RefreshRate == lastRate) return;
        any = true;
        lastRate = mode.RefreshRate;
        char text[32];
        RateText(text, mode.RefreshRate);
        AddItem(IDC_REFRESH_RATE, text, mode.RefreshRate);
    });
    SelectValue(IDC_REFRESH_RATE, settings.displayMode.RefreshRate);
}

void DeviceDialog::OnBackBufferFormatChanged() {
    settings.backBufferFormat = static_cast<D3DFORMAT>(SelectedValue(IDC_BACK_BUFFER_FORMAT, D3DFMT_UNKNOWN));
    ClearList(IDC_DEPTH_STENCIL_FORMAT);
    ClearList(IDC_VERTEX_PROCESSING);
    const DeviceCombo* combo = SelectedCombo();
    if (combo) {
        ForEachInFillOrder(combo->depthStencilFormats, [&](D3DFORMAT format) {
            AddItem(IDC_DEPTH_STENCIL_FORMAT, FormatName(format).c_str(), format);
        });
        ForEachInFillOrder(combo->vertexProcessings, [&](u32 kind) {
            AddItem(IDC_VERTEX_PROCESSING, VertexProcessingName(kind).c_str(), static_cast<LPARAM>(kind));
        });
    }
    SelectValue(IDC_DEPTH_STENCIL_FORMAT, settings.depthStencilFormat);
    SelectValue(IDC_VERTEX_PROCESSING, static_cast<LPARAM>(settings.vertexProcessing));
}

void DeviceDialog::OnDepthStencilFormatChanged() {
    ClearList(IDC_MULTISAMPLE_TYPE);
    ClearList(IDC_PRESENT_INTERVAL);
    const DeviceCombo* combo = SelectedCombo();
    if (combo) {
        const D3DFORMAT depth = settings.depthStencilFormat;
        ForEachInFillOrder(combo->multiSampleTypes, [&](const MultiSampleEntry& entry) {
            if (combo->conflicts.Contains(DepthMultiSampleConflict{depth, entry.type})) return;
            AddItem(IDC_MULTISAMPLE_TYPE, MultiSampleName(entry.type).c_str(), entry.type);
        });
        ForEachInFillOrder(combo->presentIntervals, [&](u32 interval) {
            AddItem(IDC_PRESENT_INTERVAL, PresentIntervalName(interval).c_str(), static_cast<LPARAM>(interval));
        });
    }
    SelectValue(IDC_MULTISAMPLE_TYPE, settings.multiSampleType);
    SelectValue(IDC_PRESENT_INTERVAL, static_cast<LPARAM>(settings.presentInterval));
}

void DeviceDialog::OnMultiSampleTypeChanged() {
    settings.multiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(SelectedValue(IDC_MULTISAMPLE_TYPE));
    ClearList(IDC_MULTISAMPLE_QUALITY);
    const DeviceCombo* combo = SelectedCombo();
    const MultiSampleEntry* entry =
        combo && SendMessageA(Control(IDC_MULTISAMPLE_TYPE), CB_GETCURSEL, 0, 0) != CB_ERR
            ? combo->FindMultiSample(settings.multiSampleType)
            : nullptr;
    if (entry) {
        for (u32 quality = 0; quality < entry->qualityLevels; ++quality) {
            char text[16];
            snprintf(text, sizeof text, "%u", quality);
            AddItem(IDC_MULTISAMPLE_QUALITY, text, static_cast<LPARAM>(quality));
        }
    }
    SelectValue(IDC_MULTISAMPLE_QUALITY, static_cast<LPARAM>(settings.multiSampleQuality));
}

void DeviceDialog::StoreFinalValue(int controlId) {
    const LPARAM value = SelectedValue(controlId);
    switch (controlId) {
    case IDC_REFRESH_RATE: settings.displayMode.RefreshRate = static_cast<UINT>(value); break;
    case IDC_DEPTH_STENCIL_FORMAT: settings.depthStencilFormat = static_cast<D3DFORMAT>(value); break;
    case IDC_MULTISAMPLE_QUALITY: settings.multiSampleQuality = static_cast<u32>(value); break;
    case IDC_VERTEX_PROCESSING: settings.vertexProcessing = static_cast<u32>(value); break;
    case IDC_PRESENT_INTERVAL: settings.presentInterval = static_cast<u32>(value); break;
    default: break;
    }
}

// ---- what is selected -------------------------------------------------------------------

const AdapterInfo* DeviceDialog::SelectedAdapter() const {
    return reinterpret_cast<const AdapterInfo*>(SelectedValue(IDC_ADAPTER));
}

const DeviceInfo* DeviceDialog::SelectedDevice() const {
    return reinterpret_cast<const DeviceInfo*>(SelectedValue(IDC_DEVICE_TYPE));
}

const DeviceCombo* DeviceDialog::SelectedCombo() const {
    const DeviceInfo* device = SelectedDevice();
    if (!device) return nullptr;
    const DeviceCombo* found = nullptr;
    ForEachOwned(device->combos, [&](const DeviceCombo& combo) {
        if (!found && combo.windowed == settings.windowed && combo.adapterFormat == settings.displayMode.Format &&
            combo.backBufferFormat == settings.backBufferFormat)
            found = &combo;
    });
    return found;
}

D3DDISPLAYMODE DeviceDialog::DesktopMode() const {
    D3DDISPLAYMODE mode{};
    IDirect3D9* d3d = enumeration.GetDirect3D();
    if (d3d) d3d->GetAdapterDisplayMode(settings.adapterOrdinal, &mode);
    return mode;
}

// ---- the lists --------------------------------------------------------------------------

void DeviceDialog::ClearList(int id) { SendMessageA(Control(id), CB_RESETCONTENT, 0, 0); }

void DeviceDialog::AddItem(int id, const char* text, LPARAM value) {
    const HWND list = Control(id);
    const LRESULT index = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0) SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
}

void DeviceDialog::SelectValue(int id, LPARAM value) {
    const HWND list = Control(id);
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    LRESULT chosen = count > 0 ? 0 : CB_ERR;
    for (LRESULT i = 0; i < count; ++i) {
        if (SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == value) {
            chosen = i;
            break;
        }
    }
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

LPARAM DeviceDialog::SelectedValue(int id, LPARAM fallback) const {
    const HWND list = Control(id);
    const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return fallback;
    return SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}
