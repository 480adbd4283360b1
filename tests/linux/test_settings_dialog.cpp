// The settings dialog driven end to end as a user would: a configuration object loads
// the shipped configuration and a registry file of the test's own, runs dialog 105, and
// the hook reads the controls and clicks, picks and drags; afterwards the test reads the
// saver's members and the registry.
#include "Core/ParamTable.h"
#include "Screen/ProductSettings.h"
#include "Screen/SaverModes.h"
#include "Screen/SettingsDialog.h"
#include "Screen/SettingsDialogControls.h"
#include "tests/TestSupport.h"

#include <windows.h>
#include <commctrl.h>

#include <PlatformResources.h>
#include <PlatformTestCom.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestDialogs.h>
#include <PlatformTestProcess.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char kRegPath[] = "Software\\Halvorn Studio\\Sablecrest 3D Screensaver";

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)); }

std::string TextOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}
std::string ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool Ticked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool TabStop(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_TABSTOP) != 0; }
LRESULT BarPosition(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0); }
void Click(HWND dialog, int id) { EXPECT_TRUE(PlatformTest_ClickButton(GetDlgItem(dialog, id))) << id; }

// The values under the saver's key, by name: the user's settings and, to see that none is
// written, a few keys that are never the registry's.
std::map<std::string, DWORD> RegistryValues() {
    static const char* const kNames[] = {
        "UseDesktop", "ExitOnMM", "ShowTime", "b24h",  "Music",         "Sound",     "ShowFps",  "Volume",
        "Gamma",      "Adapter",  "Width",    "Height", "Depth",        "ShadowQuality", "DayLength", "AppName",
        "RegPath",    "Fov",      "AnimLength", "DayMinLength", "DayMaxLength", "download_dx9_url"};
    std::map<std::string, DWORD> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (const char* name : kNames) {
        DWORD type = 0, data = 0, size = sizeof data;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
            values[name] = data;
        }
    }
    RegCloseKey(key);
    return values;
}

void SetRegistryDword(const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRegPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    RegCloseKey(key);
}

D3DDISPLAYMODE Mode(UINT width, UINT height, UINT rate, D3DFORMAT format) { return {width, height, rate, format}; }

// A dialog's controls as the window system placed them, in screen coordinates.
struct PlacedControl {
    int id;
    std::string kind;
    bool groupBox;
    RECT r;
};

std::vector<PlacedControl> PlacedControls(HWND dialog) {
    std::vector<PlacedControl> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char kind[64] = {};
        GetClassNameA(c, kind, sizeof kind);
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        PlacedControl placed{GetDlgCtrlID(c), kind, std::string(kind) == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX,
                             {}};
        GetWindowRect(c, &placed.r);
        controls.push_back(placed);
    }
    return controls;
}

bool Within(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
bool Meet(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
std::string Describe(const PlacedControl& c) {
    return c.kind + " " + std::to_string(c.id) + " (" + std::to_string(c.r.left) + "," + std::to_string(c.r.top) +
           ")-(" + std::to_string(c.r.right) + "," + std::to_string(c.r.bottom) + ")";
}

// Every control lies inside the dialog's client area, and no two meet, but for a group box
// round the controls of its group.
void ExpectNothingCovered(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
    for (POINT& p : corners) ClientToScreen(dialog, &p);
    client = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    const std::vector<PlacedControl> controls = PlacedControls(dialog);
    EXPECT_GT(controls.size(), 3u);
    for (size_t i = 0; i < controls.size(); ++i) {
        const PlacedControl& a = controls[i];
        EXPECT_TRUE(Within(a.r, client)) << Describe(a) << " leaves the dialog";
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const PlacedControl& b = controls[j];
            if (!Meet(a.r, b.r)) continue;
            const bool contained = (a.groupBox && Within(b.r, a.r)) || (b.groupBox && Within(a.r, b.r));
            EXPECT_TRUE(contained) << Describe(a) << " and " << Describe(b) << " overlap";
        }
    }
}

// The picture of a dialog: it shows its bitmap and keeps the room the template gives it.
void ExpectPictureShown(HWND dialog, int id, int bitmap) {
    const HWND picture = GetDlgItem(dialog, id);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(GetWindowLongA(picture, GWL_STYLE) & SS_TYPEMASK, SS_BITMAP);
    const HBITMAP shown = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(shown, nullptr) << "bitmap " << bitmap << " is not shown";
    // The bitmap fills the room: at least as large as the picture in both directions.
    BITMAP size{};
    ASSERT_EQ(GetObjectA(shown, sizeof size, &size), static_cast<int>(sizeof size));
    RECT room{};
    GetClientRect(picture, &room);
    EXPECT_GE(size.bmWidth, room.right) << "bitmap " << bitmap;
    EXPECT_GE(size.bmHeight, room.bottom) << "bitmap " << bitmap;
}

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        folder = testsupport::FreshTestFolder("corvane-settings-dialog");
        fs::current_path(folder);
        PlatformTest_SetRegistryFile((folder / "registry").c_str());
        PlatformTest_ResetWindows();
        PlatformTest_ResetProcess();
        PlatformTest_ResetModules();
        PlatformTest_D3d9Reset();
        PlatformTest_ResetCom();
        PlatformResources_Override(nullptr);
        ResetTheSaver();
        ResetProductSettings();
    }
    void TearDown() override {
        PlatformTest_ResetWindows();
        PlatformTest_ResetModules();
        PlatformTest_D3d9Reset();
        PlatformTest_ResetCom();
        PlatformTest_SetRegistryFile(nullptr);
        ResetTheSaver();
        ResetProductSettings();
        fs::current_path(home);
        fs::remove_all(folder);
    }
    // Runs the configuration mode; `steps` act one after another, one per idle moment of
    // the innermost running dialog. After the last the dialog is closed as by its close
    // box, unless a step ended it.
    void Run(ScreenSaver::Config& config, std::vector<std::function<void(HWND)>> steps) {
        size_t next = 0;
        PlatformTest_SetDialogHook([&](HWND dialog) {
            if (next < steps.size()) steps[next++](dialog);
            return next < steps.size();
        });
        EXPECT_TRUE(config.Create(Module(), nullptr));
        EXPECT_EQ(next, steps.size());
        EXPECT_EQ(PlatformTest_RunningDialogs(), 0);
    }
    fs::path home, folder;
};

TEST_F(SettingsDialogTest, EveryTextComesFromTheMessageTable) {
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
            EXPECT_EQ(TextOf(dialog), "Sablecrest 3D Screensaver Configuration");
            EXPECT_EQ(SettingsDialog, dialog);
            const std::pair<int, const char*> texts[] = {
                {IDOK, "OK"},
                {IDCANCEL, "Cancel"},
                {IDC_BOX_MODE, "Video Mode"},
                {IDC_BOX_SOUND, "Sound Control"},
                {IDC_BOX_GRAPHICS, "Graphics"},
                {IDC_BOX_MISC, "Misc Options"},
                {IDC_BOX_PRODUCTS, "Products"},
                {IDC_USE_DESKTOP, "Use Desktop Settings"},
                {IDC_VOLUME_LABEL, "Volume"},
                {IDC_MUSIC, "Enable Music"},
                {IDC_SOUND, "Enable SFX"},
                {IDC_GAMMA_LABEL, "Gamma Control:"},
                {IDC_GAMMA_VALUE, "0%"},
                {IDC_SHOW_FPS, "Show FPS"},
                {IDC_EXIT_ON_MOUSE, "Exit on Mouse Move"},
                {IDC_SHOW_TIME, "Show Time"},
                {IDC_CLOCK_12H, "12h format"},
                {IDC_CLOCK_24H, "24h format"},
                {IDC_PRODUCTS_TEXT, "Visit our official web-site for more great 3D screensavers"},
                {IDC_VISIT, "Visit..."},
                {IDC_ABOUT, "About..."},
                {IDC_RESTORE_DEFAULTS, "Restore Defaults"},
                {IDC_SHADOW_QUALITY_LABEL, "Shadow Quality"},
                {IDC_DAY_LENGTH_LABEL, "Day Length"},
                {IDC_DAY_OPTIONS, "Day Options"},
            };
            for (const auto& [id, text] : texts) EXPECT_EQ(ItemText(dialog, id), text) << id;
        }});
    EXPECT_EQ(SettingsDialog, nullptr);  // forgotten with the dialog
}

TEST_F(SettingsDialogTest, EnablingFollowsMusicSoundAndShowTime) {
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     // The shipped values: music and sound on, the clock shown.
                     EXPECT_TRUE(Enabled(dialog, IDC_VOLUME));
                     EXPECT_TRUE(Enabled(dialog, IDC_CLOCK_12H));
                     EXPECT_FALSE(Enabled(dialog, IDC_VIDEO_MODE));  // the desktop's mode is used
                     Click(dialog, IDC_MUSIC);
                     EXPECT_EQ(config.Music, 0);
                     EXPECT_TRUE(Enabled(dialog, IDC_VOLUME));  // sound still on
                     Click(dialog, IDC_SOUND);
                     EXPECT_EQ(config.Sound, 0);
                     EXPECT_FALSE(Enabled(dialog, IDC_VOLUME));
                     EXPECT_FALSE(Enabled(dialog, IDC_VOLUME_LABEL));
                     EXPECT_FALSE(PlatformTest_DragTrackBar(GetDlgItem(dialog, IDC_VOLUME), 10));
                     Click(dialog, IDC_SOUND);
                     EXPECT_TRUE(Enabled(dialog, IDC_VOLUME));
                     EXPECT_TRUE(Enabled(dialog, IDC_VOLUME_LABEL));
                     Click(dialog, IDC_SHOW_TIME);
                     EXPECT_EQ(config.ShowTime, 0);
                     EXPECT_FALSE(Enabled(dialog, IDC_CLOCK_12H));
                     EXPECT_FALSE(Enabled(dialog, IDC_CLOCK_24H));
                     Click(dialog, IDC_SHOW_TIME);
                     // Tab enters the clock's group once, on its choice.
                     EXPECT_TRUE(TabStop(dialog, IDC_CLOCK_12H));
                     EXPECT_FALSE(TabStop(dialog, IDC_CLOCK_24H));
                     Click(dialog, IDC_CLOCK_24H);
                     EXPECT_EQ(config.b24h, 1);
                     EXPECT_FALSE(TabStop(dialog, IDC_CLOCK_12H));
                     EXPECT_TRUE(TabStop(dialog, IDC_CLOCK_24H));
                     Click(dialog, IDC_CLOCK_12H);
                     EXPECT_EQ(config.b24h, 0);
                     Click(dialog, IDC_USE_DESKTOP);
                     EXPECT_EQ(config.UseDesktop, 0);
                     EXPECT_TRUE(Enabled(dialog, IDC_VIDEO_MODE));
                     Click(dialog, IDC_EXIT_ON_MOUSE);
                     EXPECT_EQ(config.ExitOnMM, 1);
                     Click(dialog, IDC_SHOW_FPS);
                     EXPECT_EQ(config.ShowFps, 1);
                 },
                 [](HWND dialog) { Click(dialog, IDCANCEL); }});
}

TEST_F(SettingsDialogTest, RestoreDefaultsRefreshesEveryControlAndWritesNothing) {
    // The user's registry differs from the documents in every setting the dialog shows.
    const std::map<std::string, DWORD> user = {
        {"UseDesktop", 0}, {"ExitOnMM", 1}, {"ShowTime", 0}, {"b24h", 1},      {"Music", 0},       {"Sound", 0},
        {"ShowFps", 1},    {"Volume", 15},  {"Gamma", 40},   {"Adapter", 0},   {"Width", 1024},    {"Height", 768},
        {"Depth", 32},     {"ShadowQuality", 20},            {"DayLength", 90}};
    for (const auto& [name, value] : user) SetRegistryDword(name.c_str(), value);
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     EXPECT_FALSE(Ticked(dialog, IDC_USE_DESKTOP));
                     EXPECT_TRUE(Enabled(dialog, IDC_VIDEO_MODE));
                     EXPECT_TRUE(Ticked(dialog, IDC_EXIT_ON_MOUSE));
                     EXPECT_FALSE(Ticked(dialog, IDC_SHOW_TIME));
                     EXPECT_TRUE(Ticked(dialog, IDC_CLOCK_24H));
                     EXPECT_FALSE(Ticked(dialog, IDC_MUSIC));
                     EXPECT_FALSE(Enabled(dialog, IDC_VOLUME));
                     EXPECT_TRUE(Ticked(dialog, IDC_SHOW_FPS));
                     EXPECT_EQ(BarPosition(dialog, IDC_VOLUME), 15);
                     EXPECT_EQ(BarPosition(dialog, IDC_GAMMA), 40);
                     EXPECT_EQ(ItemText(dialog, IDC_GAMMA_VALUE), "40%");
                     EXPECT_EQ(BarPosition(dialog, IDC_SHADOW_QUALITY), 20);
                     EXPECT_EQ(BarPosition(dialog, IDC_DAY_LENGTH), 90);
                     EXPECT_EQ(ItemText(dialog, IDC_VIDEO_MODE), "1024x768x32bit");
                     Click(dialog, IDC_RESTORE_DEFAULTS);
                 },
                 [&](HWND dialog) {
                     // The documents' values, in every control.
                     EXPECT_TRUE(Ticked(dialog, IDC_USE_DESKTOP));
                     EXPECT_FALSE(Enabled(dialog, IDC_VIDEO_MODE));
                     EXPECT_FALSE(Ticked(dialog, IDC_EXIT_ON_MOUSE));
                     EXPECT_TRUE(Ticked(dialog, IDC_SHOW_TIME));
                     EXPECT_TRUE(Enabled(dialog, IDC_CLOCK_12H));
                     EXPECT_TRUE(Ticked(dialog, IDC_CLOCK_12H));
                     EXPECT_FALSE(Ticked(dialog, IDC_CLOCK_24H));
                     EXPECT_TRUE(Ticked(dialog, IDC_MUSIC));
                     EXPECT_TRUE(Ticked(dialog, IDC_SOUND));
                     EXPECT_TRUE(Enabled(dialog, IDC_VOLUME));  // back on with the music
                     EXPECT_FALSE(Ticked(dialog, IDC_SHOW_FPS));
                     EXPECT_EQ(BarPosition(dialog, IDC_VOLUME), 80);
                     EXPECT_EQ(BarPosition(dialog, IDC_GAMMA), 0);
                     EXPECT_EQ(ItemText(dialog, IDC_GAMMA_VALUE), "0%");
                     EXPECT_EQ(BarPosition(dialog, IDC_SHADOW_QUALITY), 100);
                     EXPECT_EQ(BarPosition(dialog, IDC_DAY_LENGTH), 50);
                     EXPECT_EQ(ItemText(dialog, IDC_VIDEO_MODE), "800x600x32bit");  // the documents' mode
                     EXPECT_EQ(ItemText(dialog, IDOK), "OK");  // the texts stay
                     EXPECT_EQ(config.ExitOnMM, 0);
                     EXPECT_EQ(ShadowQualitySetting, 100);
                     EXPECT_EQ(RegistryValues(), user);  // nothing written
                     Click(dialog, IDCANCEL);
                 }});
    EXPECT_EQ(RegistryValues(), user);
}

TEST_F(SettingsDialogTest, AModeAtSeveralRefreshRatesIsListedOnceAndSixteenBitsStoreDepth16) {
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.modes = {Mode(320, 240, 60, D3DFMT_X8R8G8B8),  Mode(640, 400, 60, D3DFMT_X8R8G8B8),
                     Mode(640, 480, 60, D3DFMT_X8R8G8B8),  Mode(640, 480, 75, D3DFMT_X8R8G8B8),
                     Mode(640, 480, 85, D3DFMT_X8R8G8B8),  Mode(800, 600, 60, D3DFMT_R5G6B5),
                     Mode(800, 600, 75, D3DFMT_R5G6B5),    Mode(1024, 768, 60, D3DFMT_R5G6B5),
                     Mode(1024, 768, 60, D3DFMT_X8R8G8B8), Mode(1024, 768, 85, D3DFMT_X8R8G8B8)};
    PlatformTest_D3d9SetAdapters({adapter});
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     const HWND modes = GetDlgItem(dialog, IDC_VIDEO_MODE);
                     const std::vector<std::string> listed = PlatformTest_ComboItems(modes);
                     const std::vector<std::string> expected = {"640x480x32bit", "800x600x16bit", "1024x768x32bit",
                                                                "1024x768x16bit"};
                     EXPECT_EQ(listed, expected);
                     // No exact match for 800x600x32: the desktop's mode is selected.
                     EXPECT_EQ(ItemText(dialog, IDC_VIDEO_MODE), "1024x768x32bit");
                     Click(dialog, IDC_USE_DESKTOP);
                     EXPECT_TRUE(PlatformTest_SelectComboItem(modes, 1));
                 },
                 [](HWND dialog) { Click(dialog, IDOK); }});
    EXPECT_EQ(config.Width, 800);
    EXPECT_EQ(config.Height, 600);
    EXPECT_EQ(config.Depth, 16);
    const std::map<std::string, DWORD> stored = RegistryValues();
    EXPECT_EQ(stored.at("Depth"), 16u);
    EXPECT_EQ(stored.at("Width"), 800u);
    EXPECT_EQ(stored.at("UseDesktop"), 0u);
    EXPECT_EQ(stored.at("Adapter"), 0u);
}

TEST_F(SettingsDialogTest, AnExactMatchIsSelectedAndOkStoresAdapterZero) {
    SetRegistryDword("Width", 640);
    SetRegistryDword("Height", 480);
    SetRegistryDword("Depth", 32);
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     EXPECT_EQ(ItemText(dialog, IDC_VIDEO_MODE), "640x480x32bit");
                     config.Adapter = 2;  // whatever the adapter was, OK with a mode stores 0
                     Click(dialog, IDOK);
                 }});
    EXPECT_EQ(RegistryValues().at("Adapter"), 0u);
    EXPECT_EQ(RegistryValues().at("Width"), 640u);
}

TEST_F(SettingsDialogTest, OkWithoutASelectionStillSaves) {
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.modes = {Mode(1280, 1024, 60, D3DFMT_X8R8G8B8)};  // neither the wish nor the desktop
    PlatformTest_D3d9SetAdapters({adapter});
    SetRegistryDword("Adapter", 3);
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_VIDEO_MODE, CB_GETCURSEL, 0, 0), CB_ERR);
                     EXPECT_EQ(GetComboSelectionData(dialog, IDC_VIDEO_MODE), 0);
                     Click(dialog, IDC_MUSIC);
                     Click(dialog, IDOK);
                 }});
    const std::map<std::string, DWORD> stored = RegistryValues();
    EXPECT_EQ(stored.at("Width"), 800u);  // kept
    EXPECT_EQ(stored.at("Depth"), 32u);
    EXPECT_EQ(stored.at("Adapter"), 3u);  // kept without a chosen mode
    EXPECT_EQ(stored.at("Music"), 0u);
}

TEST_F(SettingsDialogTest, CancelSavesNothing) {
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     Click(dialog, IDC_MUSIC);
                     EXPECT_TRUE(PlatformTest_DragTrackBar(GetDlgItem(dialog, IDC_GAMMA), 25));
                     Click(dialog, IDCANCEL);
                 }});
    EXPECT_TRUE(RegistryValues().empty());
    // Closed by its close box: the same.
    ScreenSaver::Config again;
    Run(again, {[&](HWND dialog) { Click(dialog, IDC_SOUND); }});
    EXPECT_TRUE(RegistryValues().empty());
}

TEST_F(SettingsDialogTest, NoDirect3DGivesTheMessageBoxAndEndsWithZero) {
    PlatformTest_SetLibraryAbsent("d3d9.dll", true);
    ScreenSaver::Config config;
    config.LoadConfig();
    INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
    InitCommonControlsEx(&init);
    int idle = 0;
    PlatformTest_SetDialogHook([&](HWND) {
        ++idle;
        return false;
    });
    EXPECT_EQ(DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, ScreenSaver::StaticDlgProc, 0), 0);
    EXPECT_EQ(idle, 0);  // ended before it was ever idle
    const std::vector<PlatformTestMessageBox> boxes = PlatformTest_MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot initialize D3D, please reinstall DX9");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type & 0xF, static_cast<UINT>(MB_OK));
    EXPECT_NE(boxes[0].owner, nullptr);
    EXPECT_TRUE(RegistryValues().empty());
}

TEST_F(SettingsDialogTest, TheGammaBarRewritesItsPercentage) {
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     const HWND gamma = GetDlgItem(dialog, IDC_GAMMA);
                     EXPECT_EQ(SendMessageA(gamma, TBM_GETRANGEMIN, 0, 0), -100);
                     EXPECT_EQ(SendMessageA(gamma, TBM_GETRANGEMAX, 0, 0), 100);
                     EXPECT_TRUE(PlatformTest_DragTrackBar(gamma, -35));
                     EXPECT_EQ(ItemText(dialog, IDC_GAMMA_VALUE), "-35%");
                     EXPECT_EQ(config.Gamma, -35);
                     EXPECT_TRUE(PlatformTest_DragTrackBar(gamma, 250));  // held to the range
                     EXPECT_EQ(ItemText(dialog, IDC_GAMMA_VALUE), "100%");
                     SendMessageA(gamma, WM_KEYDOWN, VK_LEFT, 0);
                     SendMessageA(gamma, WM_KEYUP, VK_LEFT, 0);
                     EXPECT_EQ(ItemText(dialog, IDC_GAMMA_VALUE), "99%");
                     EXPECT_TRUE(PlatformTest_DragTrackBar(GetDlgItem(dialog, IDC_VOLUME), 33));
                     EXPECT_EQ(config.Volume, 33);
                     EXPECT_TRUE(PlatformTest_DragTrackBar(GetDlgItem(dialog, IDC_SHADOW_QUALITY), 70));
                     EXPECT_EQ(ShadowQualitySetting, 70);
                     EXPECT_TRUE(PlatformTest_DragTrackBar(GetDlgItem(dialog, IDC_DAY_LENGTH), 12));
                     EXPECT_EQ(DayLengthSetting, 12);
                     Click(dialog, IDOK);
                 }});
    const std::map<std::string, DWORD> stored = RegistryValues();
    EXPECT_EQ(stored.at("Gamma"), 99u);
    EXPECT_EQ(stored.at("Volume"), 33u);
    EXPECT_EQ(stored.at("ShadowQuality"), 70u);
    EXPECT_EQ(stored.at("DayLength"), 12u);
}

TEST_F(SettingsDialogTest, TwoRestoreDefaultsThenOkWriteEachValueOnce) {
    ScreenSaver::Config config;
    u32 bindings = 0;
    Run(config, {[&](HWND dialog) {
                     bindings = g_paramTable.Count();
                     Click(dialog, IDC_RESTORE_DEFAULTS);
                 },
                 [&](HWND dialog) {
                     Click(dialog, IDC_RESTORE_DEFAULTS);
                     EXPECT_EQ(g_paramTable.Count(), bindings);  // each key bound once
                     Click(dialog, IDOK);
                 }});
    const std::map<std::string, DWORD> stored = RegistryValues();
    const std::vector<std::string> keys = {"Adapter", "DayLength", "Depth",         "ExitOnMM", "Gamma",
                                           "Height",  "Music",     "ShadowQuality", "ShowFps",  "ShowTime",
                                           "Sound",   "UseDesktop", "Volume",       "Width",    "b24h"};
    std::vector<std::string> names;
    for (const auto& entry : stored) names.push_back(entry.first);
    std::sort(names.begin(), names.end());
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(names, sorted);
    EXPECT_EQ(stored.at("ShowTime"), 1u);
    EXPECT_EQ(stored.at("ExitOnMM"), 0u);
}

TEST_F(SettingsDialogTest, AboutPlacesItselfByTheDialogAndVisitOpensThePage) {
    ScreenSaver::Config config;
    RECT settings{};
    bool aboutSeen = false;
    Run(config, {[&](HWND dialog) {
                     GetWindowRect(dialog, &settings);
                     Click(dialog, IDC_VISIT);
                     Click(dialog, IDC_ABOUT);
                 },
                 [&](HWND about) {
                     // The About box runs inside the settings dialog's click.
                     aboutSeen = true;
                     EXPECT_EQ(PlatformTest_RunningDialogs(), 2);
                     EXPECT_EQ(TextOf(about), "About");
                     EXPECT_EQ(ItemText(about, IDC_ABOUT_TEXT), "Sablecrest 3D Screensaver");
                     EXPECT_EQ(ItemText(about, IDC_ABOUT_RIGHTS), "All rights reserved.");
                     EXPECT_EQ(ItemText(about, IDC_ABOUT_COPYRIGHT), "Copyright (c) 2026 Halvorn Studio");
                     EXPECT_EQ(ItemText(about, IDC_ABOUT_DESIGNER), "Design and art: the Halvorn Studio artists");
                     EXPECT_EQ(ItemText(about, IDC_ABOUT_PROGRAMMER), "Programming: the Corvane engine team");
                     RECT r{};
                     GetWindowRect(about, &r);
                     EXPECT_EQ(r.left, settings.left + 140);
                     EXPECT_EQ(r.top, settings.top + 150);
                     Click(about, IDOK);
                 },
                 [](HWND dialog) { Click(dialog, IDCANCEL); }});
    EXPECT_TRUE(aboutSeen);
    const std::vector<PlatformTestShellExecute> opened = PlatformTest_ShellExecutes();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].file, "https://www.halvorn-studio.example/");
    EXPECT_EQ(opened[0].operation, "open");
}

// A picture static takes its bitmap's pixel size unless it centres the image; a layout
// that reserves the picture's room in dialog units must not be covered by it.
TEST_F(SettingsDialogTest, NoControlCoversAnotherInTheDialogOrItsAboutBox) {
    ScreenSaver::Config config;
    int seen = 0;
    Run(config, {[&](HWND dialog) {
                     ++seen;
                     ExpectPictureShown(dialog, 0xFFFF, 130);
                     ExpectNothingCovered(dialog);
                     Click(dialog, IDC_ABOUT);
                 },
                 [&](HWND about) {
                     ++seen;
                     ExpectPictureShown(about, 0xFFFF, 1053);
                     ExpectNothingCovered(about);
                     Click(about, IDOK);
                 },
                 [](HWND dialog) { Click(dialog, IDCANCEL); }});
    EXPECT_EQ(seen, 2);
}

TEST_F(SettingsDialogTest, ComboTextSearchSkipsLongItems) {
    ScreenSaver::Config config;
    Run(config, {[&](HWND dialog) {
                     const HWND modes = GetDlgItem(dialog, IDC_VIDEO_MODE);
                     const std::string longText(250, 'x');
                     SendMessageA(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(longText.c_str()));
                     EXPECT_FALSE(ComboContainsText(dialog, IDC_VIDEO_MODE, longText.c_str()));
                     EXPECT_TRUE(ComboContainsText(dialog, IDC_VIDEO_MODE, "1024x768x32bit"));
                     EXPECT_FALSE(ComboContainsText(dialog, IDC_VIDEO_MODE, "1024x768x32"));
                     EXPECT_FALSE(ComboContainsText(dialog, IDC_VIDEO_MODE, nullptr));
                     Click(dialog, IDCANCEL);
                 }});
}

TEST_F(SettingsDialogTest, WithoutDirectX9TheCheckOnlyAdvisesAndTheDialogStillRuns) {
    PlatformTest_SetDxDiagAbsent(true);
    PlatformTest_RemoveSystemFile("d3d9.dll");
    ScreenSaver::Config config;
    Run(config, {[&](HWND noDirectX) {
                     // Dialog 107 first, with the message table's texts.
                     EXPECT_EQ(TextOf(noDirectX), "Error");
                     EXPECT_EQ(ItemText(noDirectX, IDOK), "Download DirectX 9");
                     Click(noDirectX, IDOK);
                 },
                 [&](HWND dialog) {
                     EXPECT_EQ(TextOf(dialog), "Sablecrest 3D Screensaver Configuration");
                     Click(dialog, IDCANCEL);
                 }});
    const std::vector<PlatformTestShellExecute> opened = PlatformTest_ShellExecutes();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].file, "https://www.halvorn-studio.example/support/directx9");
}

}  // namespace
