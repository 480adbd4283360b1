// The device-settings dialog driven end to end on the reference device, through the
// platform's dialog hook: a test acts as the user (picks list items, clicks buttons) and
// reads what the user would see (items, selections, enabled controls), then checks the
// settings the dialog gives and what Application::RunDeviceDialog makes of them.
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/DeviceDialog.h"
#include "tests/linux/PlatformD3d9Support.h"

#include <PlatformResources.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestDialogs.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Items = std::vector<std::string>;

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

Items ListItems(HWND dialog, int id) { return PlatformTest_ComboItems(Item(dialog, id)); }

// What the closed list shows: its selected item's text.
std::string Shown(HWND dialog, int id) {
    char text[128] = {};
    GetWindowTextA(Item(dialog, id), text, sizeof text);
    return text;
}

// The fields of a device choice that the dialog sets, as one comparable text.
std::string Describe(const DeviceSettings& s) {
    char text[256];
    snprintf(text, sizeof text,
             "windowed %d adapter %u type %d mode %ux%u@%u fmt %d bb %d depth %d ms %d/%u vp %u interval %#x",
             s.windowed, s.adapterOrdinal, s.deviceType, s.displayMode.Width, s.displayMode.Height,
             s.displayMode.RefreshRate, s.displayMode.Format, s.backBufferFormat, s.depthStencilFormat,
             s.multiSampleType, s.multiSampleQuality, s.vertexProcessing, s.presentInterval);
    return text;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != FALSE; }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// A user's pick by the item's text; the dialog then refills what depends on it.
void Pick(HWND dialog, int id, const std::string& text) {
    const Items items = ListItems(dialog, id);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == text) {
            ASSERT_TRUE(PlatformTest_SelectComboItem(Item(dialog, id), static_cast<int>(i))) << text;
            PlatformTest_RunDialogMessages();
            return;
        }
    }
    FAIL() << "no item \"" << text << "\" in list " << id;
}

void Click(HWND dialog, int id) {
    ASSERT_TRUE(PlatformTest_ClickButton(Item(dialog, id))) << id;
    PlatformTest_RunDialogMessages();
}

// Runs `user` once on the running dialog; the dialog is closed afterwards if `user` did
// not end it.
void Drive(std::function<void(HWND)> user) {
    PlatformTest_SetDialogHook([user](HWND dialog) {
        user(dialog);
        return false;
    });
}

class DeviceDialogTest : public ::testing::Test {
protected:
    void SetUp() override { platformd3d9::ResetPlatform(); }
    void TearDown() override {
        if (d3d) d3d->Release();
        platformd3d9::ResetPlatform();
    }
    // An enumeration of `adapter` without an Application.
    void Enumerate(const PlatformTestD3d9Adapter& adapter) {
        PlatformTest_D3d9SetAdapters({adapter});
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        enumeration.SetDirect3D(d3d);
        ASSERT_TRUE(enumeration.Enumerate());
    }
    static DeviceSettings Request(bool windowed) {
        DeviceSettings s;
        s.windowed = windowed ? 1 : 0;
        return s;
    }
    IDirect3D9* d3d = nullptr;
    DeviceEnumeration enumeration;
};

TEST_F(DeviceDialogTest, WindowedShowsTheDesktopInDisabledListsAndDefaultRate) {
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.desktop.RefreshRate = 0;
    Enumerate(adapter);
    // No full-screen mode has the desktop's rate 0, so only the windowed choice is found.
    DeviceSettings windowed = Request(true);
    ASSERT_TRUE(enumeration.FindSettings(windowed));
    DeviceDialog dialog(enumeration, true, windowed, Request(false));
    bool ran = false;
    Drive([&](HWND d) {
        ran = true;
        EXPECT_EQ(ListItems(d, IDC_ADAPTER), Items{"Corvane Reference Device"});
        EXPECT_EQ(ListItems(d, IDC_DEVICE_TYPE), Items{"D3DDEVTYPE_HAL"});
        EXPECT_TRUE(Checked(d, IDC_WINDOWED));
        EXPECT_FALSE(Checked(d, IDC_FULLSCREEN));
        EXPECT_TRUE(Enabled(d, IDC_WINDOWED));
        EXPECT_TRUE(Enabled(d, IDC_FULLSCREEN));
        EXPECT_EQ(ListItems(d, IDC_ADAPTER_FORMAT), Items{"X8R8G8B8"});
        EXPECT_EQ(ListItems(d, IDC_RESOLUTION), Items{"1024 x 768"});
        EXPECT_EQ(ListItems(d, IDC_REFRESH_RATE), Items{"Default Rate"});
        EXPECT_EQ(Shown(d, IDC_REFRESH_RATE), "Default Rate");
        for (int id : {IDC_ADAPTER_FORMAT, IDC_RESOLUTION, IDC_REFRESH_RATE}) EXPECT_FALSE(Enabled(d, id)) << id;
        // The user cannot choose a resolution here.
        EXPECT_FALSE(PlatformTest_SelectComboItem(Item(d, IDC_RESOLUTION), 0));
        EXPECT_EQ(ListItems(d, IDC_BACK_BUFFER_FORMAT), (Items{"A8R8G8B8", "X8R8G8B8"}));
        EXPECT_EQ(Shown(d, IDC_BACK_BUFFER_FORMAT), "X8R8G8B8");
        EXPECT_EQ(ListItems(d, IDC_VERTEX_PROCESSING),
                  (Items{"PURE_HARDWARE_VP", "HARDWARE_VP", "MIXED_VP", "SOFTWARE_VP"}));
        EXPECT_EQ(Shown(d, IDC_VERTEX_PROCESSING), "MIXED_VP");
        EXPECT_EQ(Shown(d, IDC_MULTISAMPLE_TYPE), "D3DMULTISAMPLE_NONE");
        EXPECT_EQ(ListItems(d, IDC_MULTISAMPLE_QUALITY), Items{"0"});
        for (const std::string& interval : ListItems(d, IDC_PRESENT_INTERVAL)) {
            EXPECT_NE(interval, "D3DPRESENT_INTERVAL_TWO");
            EXPECT_NE(interval, "D3DPRESENT_INTERVAL_FOUR");
        }
        EXPECT_EQ(Shown(d, IDC_PRESENT_INTERVAL), "D3DPRESENT_INTERVAL_IMMEDIATE");
        Click(d, IDOK);
    });
    EXPECT_EQ(dialog.ShowDialog(nullptr), IDOK);
    EXPECT_TRUE(ran);
    const DeviceSettings chosen = dialog.GetSettings();
    EXPECT_EQ(chosen.windowed, 1);
    EXPECT_EQ(chosen.displayMode.Width, 1024u);
    EXPECT_EQ(chosen.displayMode.RefreshRate, 0u);
    EXPECT_EQ(chosen.backBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(chosen.depthStencilFormat, windowed.depthStencilFormat);
    EXPECT_EQ(chosen.vertexProcessing, static_cast<u32>(kMixedVertexProcessing));
    EXPECT_EQ(chosen.presentInterval, static_cast<u32>(D3DPRESENT_INTERVAL_IMMEDIATE));
}

TEST_F(DeviceDialogTest, FullScreenChainRefillsDependentListsAndStoresEachFinalValue) {
    Enumerate(PlatformTest_D3d9DefaultAdapter());
    DeviceSettings windowed = Request(true), fullScreen = Request(false);
    ASSERT_TRUE(enumeration.FindSettings(windowed));
    ASSERT_TRUE(enumeration.FindSettings(fullScreen));
    DeviceDialog dialog(enumeration, true, windowed, fullScreen);
    Drive([&](HWND d) {
        Click(d, IDC_FULLSCREEN);
        EXPECT_TRUE(Checked(d, IDC_FULLSCREEN));
        EXPECT_FALSE(Checked(d, IDC_WINDOWED));
        for (int id : {IDC_ADAPTER_FORMAT, IDC_RESOLUTION, IDC_REFRESH_RATE}) EXPECT_TRUE(Enabled(d, id)) << id;
        EXPECT_EQ(ListItems(d, IDC_ADAPTER_FORMAT), (Items{"X8R8G8B8", "R5G6B5"}));
        EXPECT_EQ(ListItems(d, IDC_RESOLUTION), (Items{"640 x 480", "800 x 600", "1024 x 768", "1280 x 1024"}));
        // The stored full-screen choice is the desktop's mode.
        EXPECT_EQ(Shown(d, IDC_RESOLUTION), "1024 x 768");
        EXPECT_EQ(ListItems(d, IDC_REFRESH_RATE), (Items{"60 Hz", "75 Hz"}));
        EXPECT_EQ(ListItems(d, IDC_BACK_BUFFER_FORMAT), (Items{"A8R8G8B8", "X8R8G8B8"}));

        Pick(d, IDC_ADAPTER_FORMAT, "R5G6B5");
        EXPECT_EQ(ListItems(d, IDC_BACK_BUFFER_FORMAT), Items{"R5G6B5"});
        EXPECT_EQ(Shown(d, IDC_BACK_BUFFER_FORMAT), "R5G6B5");
        EXPECT_EQ(ListItems(d, IDC_RESOLUTION).size(), 4u);
        Pick(d, IDC_RESOLUTION, "800 x 600");
        EXPECT_EQ(ListItems(d, IDC_REFRESH_RATE), (Items{"60 Hz", "75 Hz"}));
        Pick(d, IDC_REFRESH_RATE, "75 Hz");
        Pick(d, IDC_DEPTH_STENCIL_FORMAT, "D16");
        Pick(d, IDC_MULTISAMPLE_TYPE, "D3DMULTISAMPLE_NONMASKABLE");
        EXPECT_EQ(ListItems(d, IDC_MULTISAMPLE_QUALITY), (Items{"0", "1", "2", "3"}));
        Pick(d, IDC_MULTISAMPLE_QUALITY, "2");
        Pick(d, IDC_VERTEX_PROCESSING, "HARDWARE_VP");
        Pick(d, IDC_PRESENT_INTERVAL, "D3DPRESENT_INTERVAL_ONE");
        Click(d, IDOK);
    });
    EXPECT_EQ(dialog.ShowDialog(nullptr), IDOK);
    DeviceSettings expected = fullScreen;
    expected.displayMode = D3DDISPLAYMODE{800, 600, 75, D3DFMT_R5G6B5};
    expected.backBufferFormat = D3DFMT_R5G6B5;
    expected.depthStencilFormat = D3DFMT_D16;
    expected.multiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    expected.multiSampleQuality = 2;
    expected.vertexProcessing = kHardwareVertexProcessing;
    expected.presentInterval = D3DPRESENT_INTERVAL_ONE;
    EXPECT_EQ(Describe(dialog.GetSettings()), Describe(expected));
}

TEST_F(DeviceDialogTest, AFinalListWithoutSelectionStoresZero) {
    Enumerate(PlatformTest_D3d9DefaultAdapter());
    DeviceSettings fullScreen = Request(false);
    ASSERT_TRUE(enumeration.FindSettings(fullScreen));
    DeviceDialog dialog(enumeration, false, fullScreen, fullScreen);
    Drive([&](HWND d) {
        for (int id : {IDC_REFRESH_RATE, IDC_VERTEX_PROCESSING, IDC_PRESENT_INTERVAL, IDC_MULTISAMPLE_QUALITY}) {
            SendMessageA(Item(d, id), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            PostMessageA(d, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(d, id)));
        }
        PlatformTest_RunDialogMessages();
        Click(d, IDOK);
    });
    ASSERT_EQ(dialog.ShowDialog(nullptr), IDOK);
    const DeviceSettings s = dialog.GetSettings();
    EXPECT_EQ(s.displayMode.RefreshRate, 0u);
    EXPECT_EQ(s.vertexProcessing, 0u);
    EXPECT_EQ(s.presentInterval, 0u);
    EXPECT_EQ(s.multiSampleQuality, 0u);
    EXPECT_EQ(s.displayMode.Width, 1024u);  // the other lists keep their values
}

TEST_F(DeviceDialogTest, DeviceWithOnlyFullScreenCombosEnablesOnlyFullScreen) {
    // A 10-bit display exists only in full screen.
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.modes = {D3DDISPLAYMODE{800, 600, 60, D3DFMT_A2R10G10B10}, D3DDISPLAYMODE{1024, 768, 60, D3DFMT_A2R10G10B10}};
    Enumerate(adapter);
    DeviceSettings request = Request(true);  // asks for windowed all the same
    request.adapterOrdinal = 0;
    request.deviceType = D3DDEVTYPE_HAL;
    DeviceDialog dialog(enumeration, true, request, request);
    Drive([&](HWND d) {
        EXPECT_FALSE(Enabled(d, IDC_WINDOWED));
        EXPECT_TRUE(Enabled(d, IDC_FULLSCREEN));
        EXPECT_TRUE(Checked(d, IDC_FULLSCREEN));
        EXPECT_FALSE(PlatformTest_ClickButton(Item(d, IDC_WINDOWED)));
        EXPECT_EQ(ListItems(d, IDC_ADAPTER_FORMAT), Items{"A2R10G10B10"});
        EXPECT_EQ(ListItems(d, IDC_BACK_BUFFER_FORMAT), Items{"A2R10G10B10"});
        EXPECT_EQ(ListItems(d, IDC_RESOLUTION), (Items{"800 x 600", "1024 x 768"}));
        Click(d, IDOK);
    });
    ASSERT_EQ(dialog.ShowDialog(nullptr), IDOK);
    EXPECT_EQ(dialog.GetSettings().windowed, 0);
    EXPECT_EQ(dialog.GetSettings().backBufferFormat, D3DFMT_A2R10G10B10);
    EXPECT_EQ(dialog.GetSettings().displayMode.Width, 800u);  // the first, as nothing matched
}

TEST_F(DeviceDialogTest, DeviceWithOnlyWindowedCombosEnablesOnlyWindowed) {
    // One back-buffer format, and its full-screen check fails: only the windowed combo stays.
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.modes = {D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8}};
    adapter.renderTargetFormats = {D3DFMT_X8R8G8B8};
    PlatformTest_D3d9SetAdapters({adapter});
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    enumeration.SetDirect3D(d3d);
    // The checks run per back-buffer format, full screen before windowed: A8R8G8B8 (1, 2),
    // then X8R8G8B8 (3, 4).
    PlatformTest_D3d9FailCall("CheckDeviceType", 3, D3DERR_NOTAVAILABLE);
    ASSERT_TRUE(enumeration.Enumerate());
    const DeviceInfo* device = enumeration.FindDevice(0, D3DDEVTYPE_HAL);
    ASSERT_NE(device, nullptr);
    int fullScreenCombos = 0, windowedCombos = 0;
    ForEachOwned(device->combos, [&](const DeviceCombo& c) { ++(c.windowed ? windowedCombos : fullScreenCombos); });
    ASSERT_EQ(fullScreenCombos, 0);
    ASSERT_EQ(windowedCombos, 1);

    DeviceSettings request = Request(false);  // asks for full screen all the same
    DeviceDialog dialog(enumeration, false, request, request);
    Drive([&](HWND d) {
        EXPECT_TRUE(Enabled(d, IDC_WINDOWED));
        EXPECT_FALSE(Enabled(d, IDC_FULLSCREEN));
        EXPECT_TRUE(Checked(d, IDC_WINDOWED));
        EXPECT_FALSE(Enabled(d, IDC_RESOLUTION));
        EXPECT_EQ(Shown(d, IDC_REFRESH_RATE), "60 Hz");
        Click(d, IDOK);
    });
    ASSERT_EQ(dialog.ShowDialog(nullptr), IDOK);
    EXPECT_EQ(dialog.GetSettings().windowed, 1);
    EXPECT_EQ(dialog.GetSettings().backBufferFormat, D3DFMT_X8R8G8B8);
}

TEST_F(DeviceDialogTest, CancelAndCloseReturnTwo) {
    Enumerate(PlatformTest_D3d9DefaultAdapter());
    DeviceSettings windowed = Request(true);
    ASSERT_TRUE(enumeration.FindSettings(windowed));
    DeviceDialog dialog(enumeration, true, windowed, windowed);
    Drive([&](HWND d) { Click(d, IDCANCEL); });
    EXPECT_EQ(dialog.ShowDialog(nullptr), IDCANCEL);
    PlatformTest_SetDialogHook(nullptr);  // closed as by its close box
    EXPECT_EQ(dialog.ShowDialog(nullptr), IDCANCEL);
}

// ---- Application::RunDeviceDialog -------------------------------------------------------

class RunDeviceDialogTest : public DeviceDialogTest {
protected:
    bool Start(bool fullScreen) {
        PlatformTest_D3d9SetAdapters({PlatformTest_D3d9DefaultAdapter()});
        return app.Create(GetModuleHandleA(nullptr), nullptr) && app.SetMode(fullScreen);
    }
    Application app;
};

TEST_F(RunDeviceDialogTest, OkAppliesAFullScreenChoice) {
    ASSERT_TRUE(Start(false));
    Drive([&](HWND d) {
        // The dialog is owned by the application's window, which waits meanwhile.
        EXPECT_EQ(GetWindow(d, GW_OWNER), app.GetWindow());
        EXPECT_FALSE(IsWindowEnabled(app.GetWindow()));
        Click(d, IDC_FULLSCREEN);
        Pick(d, IDC_RESOLUTION, "800 x 600");
        Pick(d, IDC_REFRESH_RATE, "75 Hz");
        Click(d, IDOK);
    });
    EXPECT_TRUE(app.RunDeviceDialog());
    EXPECT_TRUE(IsWindowEnabled(app.GetWindow()));
    EXPECT_FALSE(app.IsWindowed());
    ASSERT_NE(app.device, nullptr);
    EXPECT_EQ(app.current.displayMode.Width, 800u);
    EXPECT_EQ(app.presentParams.Windowed, FALSE);
    EXPECT_EQ(app.presentParams.BackBufferWidth, 800u);
    EXPECT_EQ(app.presentParams.FullScreen_RefreshRateInHz, 75u);
    EXPECT_EQ(Describe(app.fullScreenSettings), Describe(app.current));
}

TEST_F(RunDeviceDialogTest, CancelKeepsTheStoredSettingsAndTheDevice) {
    ASSERT_TRUE(Start(false));
    const DeviceSettings windowedBefore = app.windowedSettings, fullScreenBefore = app.fullScreenSettings;
    IDirect3DDevice9* before = app.device;
    Drive([&](HWND d) {
        Click(d, IDC_FULLSCREEN);
        Pick(d, IDC_RESOLUTION, "640 x 480");
        Click(d, IDCANCEL);
    });
    EXPECT_TRUE(app.RunDeviceDialog());
    EXPECT_TRUE(app.IsWindowed());
    EXPECT_EQ(app.device, before);
    EXPECT_EQ(Describe(app.windowedSettings), Describe(windowedBefore));
    EXPECT_EQ(Describe(app.fullScreenSettings), Describe(fullScreenBefore));
}

TEST_F(RunDeviceDialogTest, FromFullScreenTheDialogRunsWindowedAndCancelGoesBack) {
    ASSERT_TRUE(Start(true));
    bool sawWindowed = false;
    Drive([&](HWND d) {
        sawWindowed = app.IsWindowed();
        EXPECT_TRUE(Checked(d, IDC_FULLSCREEN));  // the dialog offers the kind the user had
        Click(d, IDCANCEL);
    });
    EXPECT_TRUE(app.RunDeviceDialog());
    EXPECT_TRUE(sawWindowed);
    EXPECT_FALSE(app.IsWindowed());
    EXPECT_NE(app.device, nullptr);
}

TEST_F(RunDeviceDialogTest, ADialogThatCannotBeShownCountsAsCancel) {
    ASSERT_TRUE(Start(false));
    IDirect3DDevice9* before = app.device;
    static const PlatformResourceTable empty = {nullptr, 0};
    PlatformResources_Override(&empty);
    const bool result = app.RunDeviceDialog();
    PlatformResources_Override(nullptr);
    EXPECT_TRUE(result);
    EXPECT_TRUE(app.IsWindowed());
    EXPECT_EQ(app.device, before);
}

TEST_F(RunDeviceDialogTest, AFullScreenChoiceThatFailsEndsWindowedWithADevice) {
    ASSERT_TRUE(Start(false));
    Drive([&](HWND d) {
        Click(d, IDC_FULLSCREEN);
        PlatformTest_D3d9FailCall("CreateDevice", 1, D3DERR_NOTAVAILABLE);
        Click(d, IDOK);
    });
    EXPECT_TRUE(app.RunDeviceDialog());
    EXPECT_TRUE(app.IsWindowed());
    EXPECT_NE(app.device, nullptr);
    EXPECT_EQ(app.presentParams.Windowed, TRUE);
}

TEST_F(RunDeviceDialogTest, OkWithAWindowedChoiceRecreatesTheDevice) {
    ASSERT_TRUE(Start(false));
    Drive([&](HWND d) {
        Pick(d, IDC_BACK_BUFFER_FORMAT, "A8R8G8B8");
        Pick(d, IDC_VERTEX_PROCESSING, "SOFTWARE_VP");
        Click(d, IDOK);
    });
    EXPECT_TRUE(app.RunDeviceDialog());
    EXPECT_TRUE(app.IsWindowed());
    ASSERT_NE(app.device, nullptr);
    EXPECT_EQ(app.windowedSettings.backBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_EQ(app.presentParams.BackBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_EQ(app.behaviorFlags, static_cast<u32>(D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE));
}

}  // namespace
