// The device-settings dialog: a modal dialog in which the user picks a device choice from
// the enumeration tree, list by list: adapter, device type, windowed or full screen,
// adapter format, resolution, refresh rate, back-buffer format, depth-stencil format,
// multisample type and quality, vertex processing and present interval.
//
// Each list is a drop-down combo box whose items carry their value as item data. A change
// of one list refills the lists that depend on it; since selecting an item by message
// does not notify the dialog, the dialog posts the selection-change notification itself
// after every selection it makes, and the chain runs through the message queue. The lists
// at the ends of the chain store their value in the working record as soon as they
// change; a list left without a selection stores 0. A refilled list selects the working
// record's value when the new items hold it, and its first item otherwise, so the chain
// never stops at an empty choice while a valid one exists.
//
// The template (resource IDD_DEVICE_SETTINGS) is compiled from DeviceDialog.rc.
#pragma once

#include "Core/Types.h"
#include "D3d/DeviceDialogControls.h"
#include "D3d/DeviceEnumeration.h"
#include "D3d/DeviceSettings.h"

#include <windows.h>

class DeviceDialog {
public:
    // Starts the working record from `windowedSettings` or `fullScreenSettings`, whichever
    // matches `windowed`. The enumeration is borrowed and must outlive the dialog.
    DeviceDialog(const DeviceEnumeration& enumeration, bool windowed, DeviceSettings windowedSettings,
                 DeviceSettings fullScreenSettings);
    DeviceDialog(const DeviceDialog&) = delete;
    DeviceDialog& operator=(const DeviceDialog&) = delete;

    // Runs the dialog, owned by `owner`: IDOK (1) when the user confirmed, IDCANCEL (2)
    // when cancelled, -1 when the dialog could not be shown.
    INT_PTR ShowDialog(HWND owner);
    DeviceSettings GetSettings() const { return settings; }

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);

    void OnInitDialog();
    void OnAdapterChanged();
    void OnDeviceTypeChanged();
    void OnPresentationChanged(bool windowed);
    void RebuildFormatLists();
    void OnAdapterFormatChanged();
    void OnResolutionChanged();
    void OnBackBufferFormatChanged();
    void OnDepthStencilFormatChanged();
    void OnMultiSampleTypeChanged();
    void StoreFinalValue(int controlId);

    const AdapterInfo* SelectedAdapter() const;
    const DeviceInfo* SelectedDevice() const;
    // The combo of the selected device with the working record's presentation kind,
    // adapter format and back-buffer format; null when there is none.
    const DeviceCombo* SelectedCombo() const;
    D3DDISPLAYMODE DesktopMode() const;

    // ---- the lists
    HWND Control(int id) const { return GetDlgItem(dialog, id); }
    void ClearList(int id);
    void AddItem(int id, const char* text, LPARAM value);
    // Selects the item holding `value` (the first item when none does) and posts the
    // selection change, so that the lists depending on this one refill.
    void SelectValue(int id, LPARAM value);
    // The selected item's value; `fallback` when nothing is selected.
    LPARAM SelectedValue(int id, LPARAM fallback = 0) const;

    HWND dialog = nullptr;
    const DeviceEnumeration& enumeration;
    DeviceSettings settings;
    DeviceSettings windowedSettings;
    DeviceSettings fullScreenSettings;
};
