// The saver's entry, run modes, preview and configuration, driven through the platform's
// test interface: the command line, the screensaver flag, a parent window made here, the
// preview's pixels and the drawing objects left alive, and a registry file of each test's
// own. Each test runs in a folder of its own, where "settings.txt" is looked for.
#include "Core/ParamTable.h"
#include "Core/Parameter.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/WString.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"
#include "Screen/ProductSettings.h"
#include "Screen/SaverModes.h"
#include "Screen/SceneParams.h"
#include "tests/TestSupport.h"

#include <windows.h>
#include <PlatformResources.h>
#include <PlatformTestGdi.h>
#include <PlatformTestProcess.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char kShippedRegPath[] = "Software\\Halvorn Studio\\Sablecrest 3D Screensaver";

class Saver : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        folder = testsupport::FreshTestFolder("corvane-saver");
        fs::current_path(folder);
        PlatformTest_SetRegistryFile((folder / "registry").c_str());
        PlatformTest_ResetWindows();
        PlatformTest_ResetProcess();
        PlatformResources_Override(nullptr);
        ResetTheSaver();
        ResetProductSettings();
        ResetDebugMode();
    }
    void TearDown() override {
        PlatformResources_Override(nullptr);
        PlatformTest_ResetWindows();
        PlatformTest_ResetProcess();
        PlatformTest_SetRegistryFile(nullptr);
        ResetTheSaver();
        fs::current_path(home);
        fs::remove_all(folder);
    }

    static void WriteFile(const char* name, const std::string& bytes) {
        std::ofstream out(name, std::ios::binary);
        out << bytes;
    }
    static void SetRegistryDword(const char* path, const char* name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static bool GetRegistryDword(HKEY root, const char* path, const char* name, DWORD* value) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        DWORD type = 0, size = 4;
        const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }

    fs::path home;
    fs::path folder;
};

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr)); }

// ---- WinMain -----------------------------------------------------------------------------

struct Probe {
    int made = 0;
    int runs = 0;
    int deleted = 0;
    i32 mode = -1;
    HWND parent = nullptr;
    bool flagDuringRun = false;
    bool createResult = true;
    int runResult = 7;
};
Probe g_probe;

class ProbeSaver : public ScreenSaver {
public:
    ~ProbeSaver() override { ++g_probe.deleted; }
    bool Create(HINSTANCE, HWND parent) override {
        g_probe.parent = parent;
        return g_probe.createResult;
    }
    int Run() override {
        ++g_probe.runs;
        g_probe.flagDuringRun = PlatformTest_ScreenSaverRunning();
        return g_probe.runResult;
    }
};

ScreenSaver* ProbeFactory(i32 mode) {
    g_probe.mode = mode;
    ++g_probe.made;
    return new ProbeSaver;
}
ScreenSaver* NoSaver(i32 mode) {
    g_probe.mode = mode;
    return nullptr;
}

}  // namespace

TEST_F(Saver, WinMainRunsTheModeObjectWithTheFlagSet) {
    g_probe = Probe{};
    PlatformTest_SetCommandLine("\"C:\\Windows\\corvane.scr\" /p 4321");
    EXPECT_EQ(RunScreenSaver(Module(), ProbeFactory), 7);
    EXPECT_EQ(g_probe.mode, ScreenSaver::kModePreview);
    EXPECT_EQ(g_probe.parent, reinterpret_cast<HWND>(static_cast<ULONG_PTR>(4321)));
    EXPECT_EQ(g_probe.runs, 1);
    EXPECT_TRUE(g_probe.flagDuringRun);
    EXPECT_EQ(g_probe.deleted, 1);
    EXPECT_FALSE(PlatformTest_ScreenSaverRunning());
}

TEST_F(Saver, AFailedCreateClearsTheFlagAndSkipsRun) {
    g_probe = Probe{};
    g_probe.createResult = false;
    PlatformTest_SetCommandLine("corvane.scr /s");
    EXPECT_EQ(RunScreenSaver(Module(), ProbeFactory), 0);
    EXPECT_EQ(g_probe.mode, ScreenSaver::kModeFull);
    EXPECT_EQ(g_probe.runs, 0);
    EXPECT_EQ(g_probe.deleted, 1);
    EXPECT_FALSE(PlatformTest_ScreenSaverRunning());
}

TEST_F(Saver, NoModeObjectEndsBeforeTheFlag) {
    g_probe = Probe{};
    PlatformTest_SetCommandLine("corvane.scr /c:99");
    EXPECT_EQ(RunScreenSaver(Module(), NoSaver), 0);
    EXPECT_EQ(g_probe.mode, ScreenSaver::kModeConfig);
    EXPECT_FALSE(PlatformTest_ScreenSaverRunning());
}

TEST_F(Saver, CommandLineComesFromTheProcess) {
    PlatformTest_SetCommandLine("\"C:\\a-b\\c.scr\" -a 12");
    u32 window = 0;
    EXPECT_EQ(ParseCommandLine(&window), ScreenSaver::kModePassword);
    EXPECT_EQ(window, 12u);
}

TEST_F(Saver, FactoryBuildsThePreviewAndTheConfiguration) {
    ScreenSaver* preview = CreateSaver(ScreenSaver::kModePreview);
    ASSERT_NE(preview, nullptr);
    EXPECT_NE(dynamic_cast<ScreenSaver::Preview*>(preview), nullptr);
    delete preview;
    ScreenSaver* config = CreateSaver(ScreenSaver::kModeConfig);
    ASSERT_NE(config, nullptr);
    EXPECT_NE(dynamic_cast<ScreenSaver::Config*>(config), nullptr);
    delete config;
}

// ---- the mode objects ---------------------------------------------------------------------

TEST_F(Saver, OnlyTheFirstSaverTakesTheBuiltInDefaults) {
    ScreenSaver::Preview first;
    EXPECT_EQ(TheSaver, &first);
    EXPECT_EQ(TheApplication(), static_cast<Application*>(&first));
    EXPECT_EQ(first.UseDesktop, 1);
    EXPECT_EQ(first.ExitOnMM, 1);
    EXPECT_EQ(first.Music, 1);
    EXPECT_EQ(first.Sound, 1);
    EXPECT_EQ(first.Volume, 80);
    EXPECT_EQ(first.Width, 800);
    EXPECT_EQ(first.Height, 600);
    EXPECT_EQ(first.Depth, 32);
    EXPECT_EQ(first.ShowTime, 0);
    {
        ScreenSaver::Config second;
        EXPECT_EQ(TheSaver, &first);
        EXPECT_EQ(second.Volume, 0);
        EXPECT_EQ(second.Width, 0);
    }
    ResetTheSaver();
    ScreenSaver::Config third;
    EXPECT_EQ(TheSaver, &third);
    EXPECT_EQ(third.Volume, 80);
}

TEST_F(Saver, StaticWindowProcedureWithoutASaverLetsCreationSucceed) {
    ASSERT_EQ(TheSaver, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = ScreenSaver::StaticWndProc;
    wc.lpszClassName = "NoSaverYet";
    ASSERT_NE(RegisterClassA(&wc), 0);
    // WM_NCCREATE answered 0 would fail the creation.
    HWND w = CreateWindowExA(0, "NoSaverYet", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(w, nullptr);
    if (w) DestroyWindow(w);
    EXPECT_EQ(ScreenSaver::StaticDlgProc(nullptr, WM_INITDIALOG, 0, 0), FALSE);
}

// ---- the preview --------------------------------------------------------------------------

namespace {

HWND MakeParent(int width, int height) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "ControlPanelPreview";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, "ControlPanelPreview", "Display", WS_POPUP | WS_VISIBLE, 10, 10, width, height,
                                  nullptr, nullptr, nullptr, nullptr);
    return parent;
}

// Bitmap 109 as the resource holds it: a 24-bit bottom-up image after its 40-byte header.
struct Dib {
    int width = 0;
    int height = 0;
    const uint8_t* bits = nullptr;
    uint32_t Argb(int x, int y) const {
        const int stride = (width * 3 + 3) & ~3;
        const uint8_t* p = bits + static_cast<size_t>(height - 1 - y) * stride + x * 3;
        return 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
};

bool ReadPreviewBitmap(Dib* out) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(109), RT_BITMAP);
    if (!found) return false;
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    uint16_t bits = 0;
    std::memcpy(&out->width, data + 4, 4);
    std::memcpy(&out->height, data + 8, 4);
    std::memcpy(&bits, data + 14, 2);
    out->bits = data + 40;
    return bits == 24;
}

}  // namespace

TEST_F(Saver, PreviewPaintsBitmap109IntoAChildOfTheParent) {
    HWND parent = MakeParent(200, 150);
    ASSERT_NE(parent, nullptr);
    ScreenSaver::Preview preview;
    ASSERT_TRUE(preview.Create(Module(), parent));
    EXPECT_EQ(PlatformTest_ThreadPriority(), THREAD_PRIORITY_IDLE);
    HWND child = preview.GetWindow();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_TRUE(IsChild(parent, child));
    RECT rect{};
    GetClientRect(child, &rect);
    EXPECT_EQ(rect.right, 200);
    EXPECT_EQ(rect.bottom, 150);
    EXPECT_EQ(preview.WaitFlag, 0);

    SendMessageA(child, WM_PAINT, 0, 0);
    Dib dib;
    ASSERT_TRUE(ReadPreviewBitmap(&dib));
    EXPECT_EQ(dib.width, 152);
    EXPECT_EQ(dib.height, 112);
    PlatformTestPixels pixels;
    ASSERT_TRUE(PlatformTest_WindowPixels(child, &pixels));
    ASSERT_EQ(pixels.width, 200);
    ASSERT_EQ(pixels.height, 150);
    for (int y = 0; y < dib.height; y += 7)
        for (int x = 0; x < dib.width; x += 5) ASSERT_EQ(pixels.At(x, y), dib.Argb(x, y)) << x << "," << y;
    // Neither stretched nor centred: outside the bitmap nothing was drawn.
    EXPECT_EQ(pixels.At(199, 149), 0xFF000000u);
    EXPECT_EQ(pixels.At(152, 0), 0xFF000000u);
}

TEST_F(Saver, HundredPaintsLeaveNoDrawingObject) {
    HWND parent = MakeParent(152, 112);
    ScreenSaver::Preview preview;
    ASSERT_TRUE(preview.Create(Module(), parent));
    const int before = PlatformTest_GdiObjectCount();
    for (int i = 0; i < 100; ++i) SendMessageA(preview.GetWindow(), WM_PAINT, 0, 0);
    EXPECT_EQ(PlatformTest_GdiObjectCount(), before);
    EXPECT_EQ(before, 0);
}

TEST_F(Saver, PreviewRunEndsWhenTheParentGoes) {
    HWND parent = MakeParent(100, 80);
    ScreenSaver::Preview preview;
    ASSERT_TRUE(preview.Create(Module(), parent));
    HWND child = preview.GetWindow();
    PostMessageA(child, WM_PAINT, 0, 0);
    // The panel closes: the preview is destroyed with its parent, and GetMessageA on it
    // answers -1 from then on.
    DestroyWindow(parent);
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, child, 0, 0), -1);
    const int counter = PlatformTest_CursorCounter();
    EXPECT_EQ(preview.Run(), 1);
    EXPECT_EQ(PlatformTest_CursorCounter(), counter + 1);
}

TEST_F(Saver, PreviewWithoutParentIsFiftyByFiftyAtHundredHundred) {
    ScreenSaver::Preview preview;
    ASSERT_TRUE(preview.Create(Module(), nullptr));
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(preview.GetWindow(), &rect));
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 100);
    EXPECT_EQ(rect.right - rect.left, 50);
    EXPECT_EQ(rect.bottom - rect.top, 50);
}

TEST_F(Saver, PreviewTakesTheMessageTablesNameForItsWindow) {
    HWND parent = MakeParent(60, 40);
    ScreenSaver::Preview preview;
    ASSERT_TRUE(preview.Create(Module(), parent));
    char text[64] = {};
    GetWindowTextA(preview.GetWindow(), text, sizeof text);
    EXPECT_STREQ(text, "Sablecrest 3D Screensaver");
}

// ---- configuration ------------------------------------------------------------------------

TEST_F(Saver, LoadConfigReadsTheShippedTexts) {
    ScreenSaver::Config saver;
    ASSERT_TRUE(saver.LoadConfig());
    EXPECT_STREQ(saver.messages.AppName.c_str(), "Sablecrest 3D Screensaver");
    EXPECT_STREQ(saver.RegPath.c_str(), kShippedRegPath);
    EXPECT_EQ(saver.UseDesktop, 1);
    EXPECT_EQ(saver.ExitOnMM, 0);
    EXPECT_EQ(saver.ShowTime, 1);
    EXPECT_EQ(saver.Volume, 80);
    EXPECT_EQ(saver.Depth, 32);
    EXPECT_STREQ(saver.messages.Text(Message::ButtonOk), "OK");
    EXPECT_STREQ(saver.messages.Text(Message::SettingsShowFps), "Show FPS");
    EXPECT_STREQ(saver.messages.Text(Message::AboutRightsReserved), "All rights reserved.");
    EXPECT_STREQ(saver.messages.Find("Mes_Error_CantInitD3D")->c_str(), "Cannot initialize D3D, please reinstall DX9");
    EXPECT_EQ(saver.messages.Find("Mes_Nothing"), nullptr);
    EXPECT_EQ(saver.messages.LoaderLU.value, 1);
    EXPECT_STREQ(saver.ShadowQualText.value.c_str(), "Shadow Quality");
    EXPECT_STREQ(saver.DayOptText.value.c_str(), "Day Options");
    EXPECT_STREQ(saver.DownloadDxUrl.value.c_str(), "https://www.halvorn-studio.example/support/directx9");
    EXPECT_EQ(ShadowQualitySetting, 100);
    EXPECT_EQ(DayLengthSetting, 50);
}

TEST_F(Saver, SettingsFileWithAndWithoutByteOrderMark) {
    {
        WriteFile("settings.txt", "\xEF\xBB\xBFVolume = 12\nShowFps = 1\n");
        ScreenSaver::Config saver;
        ASSERT_TRUE(saver.LoadConfig());
        EXPECT_EQ(saver.Volume, 12);
        EXPECT_EQ(saver.ShowFps, 1);
    }
    {
        // Without the mark nothing is skipped: the first key keeps its first characters.
        WriteFile("settings.txt", "Volume = 13\nGamma = -20\n");
        ScreenSaver::Config saver;
        ASSERT_TRUE(saver.LoadConfig());
        EXPECT_EQ(saver.Volume, 13);
        EXPECT_EQ(saver.Gamma, -20);
    }
}

TEST_F(Saver, RegistryOverridesEachUserKeyAndNoSceneKey) {
    SetRegistryDword(kShippedRegPath, "Volume", 33);
    SetRegistryDword(kShippedRegPath, "ShowTime", 0);
    SetRegistryDword(kShippedRegPath, "ExitOnMM", 5);
    SetRegistryDword(kShippedRegPath, "Width", 1024);
    SetRegistryDword(kShippedRegPath, "ShadowQuality", 20);
    SetRegistryDword(kShippedRegPath, "Fov", 90);
    ScreenSaver::Config saver;
    ASSERT_TRUE(saver.Create(Module(), nullptr));
    EXPECT_EQ(saver.Volume, 33);
    EXPECT_EQ(saver.ShowTime, 0);
    EXPECT_EQ(saver.ExitOnMM, 1);
    EXPECT_EQ(saver.Width, 1024);
    EXPECT_EQ(ShadowQualitySetting, 20);
    // The registry table holds the user's settings only.
    EXPECT_EQ(g_paramTable.Find(String("Fov")), nullptr);
    EXPECT_EQ(g_paramTable.Find(String("AppName")), nullptr);
    EXPECT_EQ(g_paramTable.Find(String("RegPath")), nullptr);
    EXPECT_EQ(g_paramTable.Count(), 15u);
}

TEST_F(Saver, LoadRegistryClosesItsKeyAndLeavesDocumentValuesWithoutOne) {
    ScreenSaver::Config saver;
    ASSERT_TRUE(saver.LoadConfig());
    saver.Volume = 61;
    EXPECT_TRUE(saver.LoadRegistry());  // the key is made empty: nothing changes
    EXPECT_EQ(saver.Volume, 61);
}

TEST_F(Saver, EmptyRegPathReadsAndWritesNothing) {
    ScreenSaver::Config saver;
    ASSERT_TRUE(saver.LoadConfig());
    saver.RegPath = String();
    SetRegistryDword("", "Volume", 5);
    EXPECT_FALSE(saver.LoadRegistry());
    EXPECT_EQ(saver.Volume, 80);
    saver.Volume = 44;
    EXPECT_TRUE(saver.SaveSettings());
    DWORD value = 0;
    ASSERT_TRUE(GetRegistryDword(HKEY_CURRENT_USER, "", "Volume", &value));
    EXPECT_EQ(value, 5u);
    EXPECT_FALSE(GetRegistryDword(HKEY_CURRENT_USER, "", "Depth", &value));
}

TEST_F(Saver, LoadingTwiceRegistersEachKeyOnceAndSavesEveryValue) {
    ScreenSaver::Config saver;
    ASSERT_TRUE(saver.LoadConfig());
    const u32 table = g_paramTable.Count();
    const u32 documents = g_paramRegistry.OwnedCount();
    ASSERT_TRUE(saver.LoadConfig());
    ASSERT_TRUE(saver.LoadConfig());
    EXPECT_EQ(g_paramTable.Count(), table);
    EXPECT_EQ(g_paramRegistry.OwnedCount(), documents);
    saver.Volume = 42;
    saver.Music = 0;
    saver.b24h = 1;
    DayLengthSetting = 77;
    EXPECT_TRUE(saver.StoreSettings());
    DWORD value = 0;
    ASSERT_TRUE(GetRegistryDword(HKEY_CURRENT_USER, kShippedRegPath, "Volume", &value));
    EXPECT_EQ(value, 42u);
    ASSERT_TRUE(GetRegistryDword(HKEY_CURRENT_USER, kShippedRegPath, "Music", &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(GetRegistryDword(HKEY_CURRENT_USER, kShippedRegPath, "b24h", &value));
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(GetRegistryDword(HKEY_CURRENT_USER, kShippedRegPath, "DayLength", &value));
    EXPECT_EQ(value, 77u);
    // A second saver reads back what the first stored.
    ResetTheSaver();
    ScreenSaver::Config again;
    ASSERT_TRUE(again.Create(Module(), nullptr));
    EXPECT_EQ(again.Volume, 42);
    EXPECT_EQ(again.Music, 0);
    EXPECT_EQ(again.b24h, 1);
}

TEST_F(Saver, ASaverThatGoesTakesItsBindingsWithIt) {
    {
        ScreenSaver::Config saver;
        ASSERT_TRUE(saver.LoadConfig());
        EXPECT_NE(g_paramTable.Find(String("Volume")), nullptr);
        EXPECT_NE(g_paramRegistry.Owned(String("AppName")), nullptr);
    }
    EXPECT_EQ(g_paramTable.Find(String("Volume")), nullptr);
    EXPECT_EQ(g_paramTable.Find(String("UseDesktop")), nullptr);
    EXPECT_EQ(g_paramRegistry.Owned(String("AppName")), nullptr);
    EXPECT_EQ(g_paramRegistry.Owned(String("Depth")), nullptr);
}

namespace {

// The executable's resources without the one numbered `missing`.
struct ResourcesWithout {
    explicit ResourcesWithout(uint16_t missing) {
        for (uint32_t i = 0; i < CorvaneResourceTable.count; ++i) {
            const PlatformResource& r = CorvaneResourceTable.entries[i];
            if (!r.name && r.nameId == missing) continue;
            entries.push_back(r);
        }
        table = {entries.data(), static_cast<uint32_t>(entries.size())};
    }
    std::vector<PlatformResource> entries;
    PlatformResourceTable table;
};

}  // namespace

TEST_F(Saver, AMissingResourceFailsAndKeepsTheDefaults) {
    for (uint16_t missing : {uint16_t(156), uint16_t(157)}) {
        ResourcesWithout without(missing);
        PlatformResources_Override(&without.table);
        WriteFile("settings.txt", "\xEF\xBB\xBFVolume = 12\n");
        ResetTheSaver();
        ScreenSaver::Config saver;
        EXPECT_FALSE(saver.LoadConfig()) << missing;
        EXPECT_EQ(saver.Volume, 80);
        EXPECT_EQ(saver.ExitOnMM, 1);
        EXPECT_TRUE(saver.messages.AppName.IsEmpty());
        // Create goes on without the documents.
        EXPECT_TRUE(saver.Create(Module(), nullptr));
        EXPECT_EQ(saver.Volume, 80);
        PlatformResources_Override(nullptr);
    }
}

TEST_F(Saver, SceneKeysAreReadOnlyFromTheDocument) {
    const char* text = "Fov = 50\nAmbient = array(255,0,0)\nAnimations = array(\"a.cam\",\"b.cam\")\nDEBUG = 1\n"
                       "AnimLength = 1500\nFogEnable = 7\n";
    TextDataTree doc;
    ASSERT_TRUE(TextData::LoadText(WString::FromString(String(text)), doc, nullptr, TextData::kLineForm));
    SceneParams params;
    ReadSceneKeys(doc, params);
    EXPECT_FLOAT_EQ(params.Fov, 0.8726647f);
    EXPECT_FLOAT_EQ(params.Ambient.r, 1.0f);
    EXPECT_FLOAT_EQ(params.Ambient.g, 0.0f);
    EXPECT_FLOAT_EQ(params.Ambient.b, 0.0f);
    EXPECT_EQ(params.Animations.count, 2);
    EXPECT_EQ(params.FogEnable, 1);
    EXPECT_EQ(DebugMode, 1);
    g_paramRegistry.ReadDocument(doc);
    EXPECT_FLOAT_EQ(params.AnimLength, 1500.0f);
    g_paramRegistry.Disown(String("AnimLength"));
}
