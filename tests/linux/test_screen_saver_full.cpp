// The full-screen saver's start-up and frame, driven through the platform's test interface:
// the reference device's call log and states, the cursor's display counter, the resources
// the executable carries (replaced by a table of the test's own where images are needed),
// and the log file the channels write into the test's own folder.
#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"
#include "Core/WString.h"
#include "D3d/RenderTarget.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "Effect/DebugBox.h"
#include "Effect/DistortEffect.h"
#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Screen/CameraPath.h"
#include "Screen/ProductSettings.h"
#include "Screen/RenderDefaults.h"
#include "Screen/SceneParams.h"
#include "Screen/SaverModes.h"
#include "Screen/ScreenSaverFull.h"
#include "tests/SaverTestScene.h"
#include "tests/TestSupport.h"
#include "tests/linux/EffectClassSupport.h"
#include "tests/linux/SaverTestSupport.h"

#include <windows.h>
#include <PlatformResources.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestInput.h>
#include <PlatformTestProcess.h>
#include <PlatformTestRegistry.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

// A small 24-bit bitmap file of w x h pixels of one colour.
std::vector<unsigned char> MakeBitmap(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    const int row = (w * 3 + 3) & ~3;
    const int size = 54 + row * h;
    std::vector<unsigned char> out(size, 0);
    auto put32 = [&](int at, int v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    out[26] = 1;
    out[28] = 24;
    put32(34, row * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &out[54 + y * row + x * 3];
            p[0] = b, p[1] = g, p[2] = r;
        }
    return out;
}

// The executable's own resources with the loading images added (or replaced).
class ImageResources {
public:
    explicit ImageResources(const std::vector<u16>& images) {
        for (u32 i = 0; i < CorvaneResourceTable.count; ++i) entries.push_back(CorvaneResourceTable.entries[i]);
        blobs.reserve(images.size());
        for (u16 id : images) {
            blobs.push_back(MakeBitmap(8 + id % 8, 4 + id % 4, 200, 100, static_cast<unsigned char>(id)));
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const PlatformResource& e) { return !e.name && e.nameId == id; }),
                          entries.end());
            entries.push_back(PlatformResource{"MEMFILE", 0, nullptr, id, blobs.back().data(),
                                               blobs.back().data() + blobs.back().size()});
        }
        table = PlatformResourceTable{entries.data(), static_cast<uint32_t>(entries.size())};
        PlatformResources_Override(&table);
    }
    ~ImageResources() { PlatformResources_Override(nullptr); }

private:
    std::vector<std::vector<unsigned char>> blobs;
    std::vector<PlatformResource> entries;
    PlatformResourceTable table{};
};

class FullSaver : public ::testing::Test {
protected:
    void SetUp() override {
        world = savertest::EnterFreshWorld("corvane-full");
        folder = world.folder;
        SetLogMasterSwitch(true);
    }
    void TearDown() override {
        delete saver;
        saver = nullptr;
        savertest::LeaveWorld(world);
    }

    // A saver whose user settings come from this test's registry key.
    SaverTestScene* Make() {
        saver = new SaverTestScene;
        return saver;
    }
    void SetSetting(const char* name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Halvorn Studio\\Sablecrest 3D Screensaver", 0, nullptr,
                                  0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void WriteFile(const char* name, const std::string& bytes) {
        std::ofstream out(name, std::ios::binary);
        out << bytes;
    }
    static std::string Log() {
        std::ifstream in("errors.log", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static size_t Count(const std::vector<std::string>& log, const std::string& prefix) {
        return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const std::string& call) {
            return call.rfind(prefix, 0) == 0;
        }));
    }
    // A flight file "Media/<name>" with position and rotation keys from 0 to `length` ms.
    static void WriteFlight(const char* name, f32 length, f32 x) {
        fs::create_directories("Media");
        CameraBase flight;
        for (f32 t = 0.0f; t <= length; t += length / 2.0f) {
            KeyData key{};
            key.time = t;
            key.x = x;
            key.y = t;
            flight.PositionTrack().keys.InsertKey(t, key);
            KeyData rot{};
            rot.time = t;
            rot.w = 1.0f;
            flight.RotationTrack().keys.InsertKey(t, rot);
        }
        ASSERT_TRUE(WriteCameraPath(flight, String((std::string("Media/") + name).c_str())));
    }

    savertest::World world;
    fs::path folder;
    SaverTestScene* saver = nullptr;
};

TEST_F(FullSaver, TheFactoryBuildsTheFullSaverForTheFullScreenTestAndPasswordModes) {
    for (i32 mode : {i32{ScreenSaver::kModeFull}, i32{ScreenSaver::kModeTest}, i32{ScreenSaver::kModePassword}, i32{7}}) {
        ScreenSaver* made = CreateSaver(mode);
        ASSERT_NE(made, nullptr) << mode;
        EXPECT_NE(dynamic_cast<ScreenSaver::Full*>(made), nullptr) << mode;
        delete made;
        ResetTheSaver();
    }
}

// ---- start-up --------------------------------------------------------------------------------

TEST_F(FullSaver, StartsWithTheConfigurationAndAWindowedDeviceInTheDebugMode) {
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\nShowFps = 1\n");
    SaverTestScene* s = Make();
    const int cursor = PlatformTest_CursorCounter();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_EQ(DebugMode, 1);
    EXPECT_TRUE(s->IsWindowed());
    EXPECT_NE(s->device, nullptr);
    EXPECT_EQ(s->loads, 1u);
    // No flight at start in the debug mode.
    EXPECT_EQ(s->FlightPath->PositionTrack().keys.Count(), 0u);
    EXPECT_EQ(s->FlightPath->RotationTrack().keys.Count(), 0u);
    EXPECT_TRUE(s->DebugAnimLengthText.IsVisible());
    EXPECT_TRUE(s->DebugKeyCountText.IsVisible());
    EXPECT_TRUE(s->FpsText.IsVisible());
    EXPECT_EQ(s->ClockText.IsVisible(), s->ShowTime != 0);
    // The cursor is hidden for the run.
    EXPECT_EQ(PlatformTest_CursorCounter(), cursor - 1);
    // The screen parameters of the shipped configuration were read over the defaults.
    EXPECT_FLOAT_EQ(s->FarPlane, 36000.0f);
    const std::string log = Log();
    EXPECT_NE(log.find("Full mode."), std::string::npos);
    EXPECT_NE(log.find(">>>>Load Custom"), std::string::npos);
    EXPECT_NE(log.find("<<<<Load Custom"), std::string::npos);
    EXPECT_NE(log.find("App created"), std::string::npos);
    EXPECT_NE(log.find("vs "), std::string::npos);
    EXPECT_NE(log.find("ps "), std::string::npos);
}

TEST_F(FullSaver, TheWindowManagerIsTheFirstInputListener) {
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    const Array<EventReceiver*>& listeners = s->Input.Listeners();
    ASSERT_EQ(listeners.count, 2);
    EXPECT_EQ(listeners[0], static_cast<EventReceiver*>(&TheWindowManager()));
    EXPECT_EQ(listeners[1], static_cast<EventReceiver*>(s));
}

// The effects layer reads only its own settings, so start-up hands every render switch of
// the application's record down, and does so before the effects are created.
TEST_F(FullSaver, StartUpHandsTheRenderSwitchesToTheEffectsLayerBeforeItCreatesTheEffects) {
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
    fs::create_directories("Media/Shaders");
    WriteFile("Media/Shaders/Distort.fx", effectclasses::DistortSource());
    RenderDefaults& record = TheRenderDefaults();
    record.forceCompile = 1;
    record.saveCompiled = 0;
    record.sequenceSwitch = 0;
    record.sequenceKey = 2.5f;
    record.materialSwitch = 0;
    record.materialKey = 3.5f;
    for (i32 i = 0; i < 5; ++i) record.lightCounts[i] = 10 + i;
    record.defaultLightLevel = 4;
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    const EffectSettings& settings = TheEffectManager().settings;
    EXPECT_EQ(settings.forceCompile, 1);
    EXPECT_EQ(settings.saveCompiled, 0);
    EXPECT_EQ(settings.sequence.sequenceSwitch, 0);
    EXPECT_FLOAT_EQ(settings.sequence.sequenceKey, 2.5f);
    EXPECT_EQ(settings.materialSwitch, 0);
    EXPECT_FLOAT_EQ(settings.materialKey, 3.5f);
    for (i32 i = 0; i < 5; ++i) EXPECT_EQ(settings.lightCounts[i], 10 + i) << i;
    EXPECT_EQ(settings.defaultLightLevel, 4);
    // The distortion effect copies both compile switches into what it asked for.
    const DistortEffect* distort = nullptr;
    for (Effect* effect : TheEffectManager().Effects())
        if (auto* found = dynamic_cast<DistortEffect*>(effect)) distort = found;
    ASSERT_NE(distort, nullptr);
    ASSERT_GT(distort->GetCodes().count, 0);
    EXPECT_EQ(distort->GetCodes()[0]->GetDesc().forceCompile, 1);
    EXPECT_EQ(distort->GetCodes()[0]->GetDesc().saveCompiled, 0);
}

TEST_F(FullSaver, AFailedSceneLoadIsLoggedAndShowsTheCursorAgain) {
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
    SaverTestScene* s = Make();
    s->loadResult = false;
    const int cursor = PlatformTest_CursorCounter();
    EXPECT_FALSE(s->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_EQ(PlatformTest_CursorCounter(), cursor);
    const std::string log = Log();
    EXPECT_NE(log.find("LoadCustom failed"), std::string::npos);
    EXPECT_EQ(log.find("<<<<Load Custom"), std::string::npos);
    EXPECT_EQ(log.find("App created"), std::string::npos);
}

TEST_F(FullSaver, NoDirect3DAdapterFailsWithCantCreateApp) {
    PlatformTest_D3d9SetAdapters({});
    SaverTestScene* s = Make();
    const int cursor = PlatformTest_CursorCounter();
    EXPECT_FALSE(s->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_NE(Log().find("Can't create app"), std::string::npos);
    EXPECT_EQ(PlatformTest_CursorCounter(), cursor);
    EXPECT_EQ(s->loads, 0u);
}

TEST_F(FullSaver, AWindowThatCannotBeMadeIsReportedInTheSaversOwnWords) {
    // Without the configuration resources the window class has no name.
    const PlatformResourceTable empty{nullptr, 0};
    PlatformResources_Override(&empty);
    SaverTestScene* s = Make();
    EXPECT_FALSE(s->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_NE(Log().find("CreateWindow filed"), std::string::npos);
    EXPECT_EQ(s->loads, 0u);
}

TEST_F(FullSaver, AFirstModeThatFailsFallsBackToTheModeWithoutMultisampling) {
    SetSetting("UseDesktop", 0);
    SetSetting("Depth", 32);
    PlatformTest_D3d9FailCall("CreateDevice", 1, D3DERR_NOTAVAILABLE);
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    ASSERT_NE(s->device, nullptr);
    EXPECT_FALSE(s->IsWindowed());
    EXPECT_EQ(s->fullScreenSettings.multiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(s->fullScreenSettings.displayMode.Width, 800u);
    EXPECT_EQ(s->fullScreenSettings.displayMode.Height, 600u);
    EXPECT_EQ(s->fullScreenSettings.displayMode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Log().find("SetMode failed"), std::string::npos);
}

TEST_F(FullSaver, AMissingMediaArchiveIsAWarningAndStartUpGoesOn) {
    // The test executable carries no media archive.
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    const std::string log = Log();
    EXPECT_NE(log.find("Warning"), std::string::npos);
    EXPECT_NE(log.find("Cannot mount the media archive"), std::string::npos);
    EXPECT_EQ(MediaArchive, nullptr);
    EXPECT_EQ(s->loads, 1u);
    // The fonts are not there either: warned about, not fatal.
    EXPECT_NE(log.find("Cannot load sylfaen font"), std::string::npos);
    EXPECT_NE(log.find("Cannot load 64font font"), std::string::npos);
}

TEST_F(FullSaver, SixteenBitDepthAsksForX1R5G5B5AndEveryOtherDepthForX8R8G8B8) {
    SaverTestScene* s = Make();
    s->UseDesktop = 0;
    s->Width = 1024;
    s->Height = 768;
    for (i32 depth : {16, 24, 32, 8}) {
        s->Depth = depth;
        const DeviceSettings request = s->ModeRequest(true);
        const D3DFORMAT expected = depth == 16 ? D3DFMT_X1R5G5B5 : D3DFMT_X8R8G8B8;
        EXPECT_EQ(request.displayMode.Format, expected) << depth;
        EXPECT_EQ(request.backBufferFormat, expected) << depth;
        EXPECT_EQ(request.displayMode.Width, 1024u);
        EXPECT_EQ(request.displayMode.Height, 768u);
        EXPECT_EQ(request.windowed, 0);
        EXPECT_NE(request.requestFlags & kRequestMultiSample, 0u);
        EXPECT_EQ(request.multiSampleType, D3DMULTISAMPLE_2_SAMPLES);
        EXPECT_EQ(s->ModeRequest(false).requestFlags & kRequestMultiSample, 0u);
    }
}

TEST_F(FullSaver, WithoutCornerFlagsOnlyTheBackgroundAndTheTwoSmallImagesLoad) {
    ImageResources images({162, 155, 154, 150, 151, 152, 153});
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\nLoader_LU = 0\nLoader_RD = 0\nLoader_LD = 0\nLoader_RU = 0\n");
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_NE(s->LoadingTextures[ScreenSaver::Full::kLoadingBackground], nullptr);
    EXPECT_NE(s->LoadingTextures[ScreenSaver::Full::kLoadingSmallA], nullptr);
    EXPECT_NE(s->LoadingTextures[ScreenSaver::Full::kLoadingSmallB], nullptr);
    for (u32 i = ScreenSaver::Full::kLoadingTopLeft; i < ScreenSaver::Full::kLoadingImages; ++i)
        EXPECT_EQ(s->LoadingTextures[i], nullptr) << i;
    EXPECT_GE(s->LoadingFrames, 2u);  // the first frame and at least one of the fade
}

TEST_F(FullSaver, TheLoadingScreenDrawsTheBackgroundAndEachCornerThenFadesOut) {
    ImageResources images({162, 155, 154, 150, 151, 152, 153});
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    for (u32 i = 0; i < ScreenSaver::Full::kLoadingImages; ++i) EXPECT_NE(s->LoadingTextures[i], nullptr) << i;
    // One more loading frame: the background and four corners.
    PlatformTest_D3d9ClearCallLog();
    const size_t draws = PlatformTest_D3d9DrawCount();
    ASSERT_TRUE(s->RenderLayers(s->LoadingTextures[ScreenSaver::Full::kLoadingBackground], 0.5f,
                                ScreenSaver::Full::kPlaceFull));
    EXPECT_EQ(PlatformTest_D3d9DrawCount() - draws, 5u);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    EXPECT_EQ(Count(log, "DrawPrimitiveUP(4, 2"), 5u);
    EXPECT_EQ(Count(log, "Present("), 1u);
    // The opacity travels in the texture factor's alpha: 0.5 is 128.
    DWORD factor = 0;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_TEXTUREFACTOR, &factor));
    EXPECT_EQ(factor >> 24, 128u);
    // Depth is back on after the quads.
    DWORD z = 0;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_ZENABLE, &z));
    EXPECT_EQ(z, 1u);
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_ZWRITEENABLE, &z));
    EXPECT_EQ(z, 1u);
}

TEST_F(FullSaver, TheLoadingImagesAreSampledWithClampedEdgesAndWrappingIsBackAfterThem) {
    ImageResources images({162, 155, 154, 150, 151, 152, 153});
    WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    // The addressing of sampler 0 as the device has it now, then followed through the calls
    // of one loading frame.
    DWORD u = 0, v = 0;
    ASSERT_TRUE(PlatformTest_D3d9SamplerState(s->device, 0, D3DSAMP_ADDRESSU, &u));
    ASSERT_TRUE(PlatformTest_D3d9SamplerState(s->device, 0, D3DSAMP_ADDRESSV, &v));
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(s->RenderLayers(s->LoadingTextures[ScreenSaver::Full::kLoadingBackground], 1.0f,
                                ScreenSaver::Full::kPlaceFull));
    const std::string setU = "SetSamplerState(0, " + std::to_string(D3DSAMP_ADDRESSU) + ", ";
    const std::string setV = "SetSamplerState(0, " + std::to_string(D3DSAMP_ADDRESSV) + ", ";
    u32 draws = 0;
    for (const std::string& call : PlatformTest_D3d9CallLog()) {
        if (call.rfind(setU, 0) == 0) u = static_cast<DWORD>(std::stoul(call.substr(setU.size())));
        if (call.rfind(setV, 0) == 0) v = static_cast<DWORD>(std::stoul(call.substr(setV.size())));
        if (call.rfind("DrawPrimitiveUP(4, 2, 24)", 0) != 0) continue;
        // An image's edge row must not take its colour from the opposite edge.
        EXPECT_EQ(u, static_cast<DWORD>(D3DTADDRESS_CLAMP)) << "image draw " << draws;
        EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_CLAMP)) << "image draw " << draws;
        ++draws;
    }
    EXPECT_EQ(draws, 5u);  // the background and four corners
    ASSERT_TRUE(PlatformTest_D3d9SamplerState(s->device, 0, D3DSAMP_ADDRESSU, &u));
    ASSERT_TRUE(PlatformTest_D3d9SamplerState(s->device, 0, D3DSAMP_ADDRESSV, &v));
    EXPECT_EQ(u, static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_WRAP));
}

// ---- flights -------------------------------------------------------------------------------

TEST_F(FullSaver, TheFirstFlightStartsWithoutTheDebugMode) {
    WriteFlight("a.cam", 30000.0f, 7.0f);
    WriteFile("settings.txt", "\xEF\xBB\xBF" "Animations = array(\"a.cam\")\n");
    SaverTestScene* s = Make();
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_EQ(s->PathActive, 1);
    EXPECT_EQ(s->FlightPath->PositionTrack().keys.Count(), 3u);
    String camera;
    ASSERT_TRUE(TheStatistics().Current().children.GetString(String("Camera"), &camera));
    EXPECT_STREQ(camera.c_str(), "a.cam");
}

TEST_F(FullSaver, OneFlightRepeatsAndThreeCycleWithoutRepeating) {
    WriteFlight("a.cam", 3000.0f, 1.0f);
    WriteFlight("b.cam", 3000.0f, 2.0f);
    WriteFlight("c.cam", 3000.0f, 3.0f);
    SaverTestScene* s = Make();
    auto shown = [&]() {
        String camera;
        TheStatistics().Current().children.GetString(String("Camera"), &camera);
        return std::string(camera.c_str());
    };

    s->Animations.PushBack(String("a.cam"));
    srand(7);
    ASSERT_TRUE(s->LoadRandomFlight());
    for (int i = 0; i < 4; ++i) {
        s->NextFlight();
        EXPECT_EQ(shown(), "a.cam");
        EXPECT_EQ(s->Animations.count, 1);
        EXPECT_EQ(s->UsedAnimations.count, 0);
        EXPECT_EQ(s->PathActive, 1);
        EXPECT_FLOAT_EQ(s->PathTime, 0.0f);
    }

    for (unsigned seed : {1u, 2u, 3u, 99u}) {
        s->Animations.Clear();
        s->UsedAnimations.Clear();
        s->Animations.PushBack(String("a.cam"));
        s->Animations.PushBack(String("b.cam"));
        s->Animations.PushBack(String("c.cam"));
        srand(seed);
        ASSERT_TRUE(s->LoadRandomFlight());
        std::vector<std::string> order{shown()};
        for (int i = 0; i < 8; ++i) {
            s->NextFlight();
            order.push_back(shown());
        }
        // Each cycle of three shows every flight once.
        for (size_t cycle = 0; cycle + 3 <= order.size(); cycle += 3) {
            std::set<std::string> seen(order.begin() + static_cast<long>(cycle),
                                       order.begin() + static_cast<long>(cycle) + 3);
            EXPECT_EQ(seen.size(), 3u) << seed << " cycle " << cycle;
        }
        EXPECT_EQ(s->Animations.count + s->UsedAnimations.count, 3);
    }
}

TEST_F(FullSaver, TheFlightHandsItsPlacementToTheFreeCameraAtEachStart) {
    WriteFlight("a.cam", 3000.0f, 5.0f);
    SaverTestScene* s = Make();
    s->Animations.PushBack(String("a.cam"));
    s->Camera->SetPosition(Vec3(100.0f, 100.0f, 100.0f));
    s->NextFlight();
    s->FlightPath->Evaluate(0.0f);
    s->NextFlight();
    EXPECT_FLOAT_EQ(s->Camera->GetPosition().x, 5.0f);
    EXPECT_FLOAT_EQ(s->Camera->GetPosition().y, 0.0f);
}

// ---- the frame ------------------------------------------------------------------------------

class FullSaverFrame : public FullSaver {
protected:
    void SetUp() override {
        FullSaver::SetUp();
        WriteFile("settings.txt", "\xEF\xBB\xBF" "DEBUG = 1\n");
        s = Make();
        ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    }
    SaverTestScene* s = nullptr;
};

TEST_F(FullSaverFrame, FogStatesGoOutEvenWithFogOff) {
    s->FogEnable = 0;
    s->FogColor.Set(1.0f, 1.0f, 0.0f, 0.0f);
    s->FogStart = 123.0f;
    s->FogEnd = 456.0f;
    ASSERT_TRUE(s->DoRender());
    DWORD value = 0;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_FOGENABLE, &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_FOGCOLOR, &value));
    EXPECT_EQ(value, 0xFFFF0000u);
    f32 f = 0.0f;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_FOGSTART, &value));
    std::memcpy(&f, &value, 4);
    EXPECT_FLOAT_EQ(f, 123.0f);
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_FOGEND, &value));
    std::memcpy(&f, &value, 4);
    EXPECT_FLOAT_EQ(f, 456.0f);
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_FOGVERTEXMODE, &value));
    EXPECT_EQ(value, static_cast<DWORD>(D3DFOG_LINEAR));
    ASSERT_TRUE(PlatformTest_D3d9RenderState(s->device, D3DRS_RANGEFOGENABLE, &value));
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(s->renders, 1u);
}

TEST_F(FullSaverFrame, AFrameClearsToTheBackgroundColourAndPresentsOnce) {
    s->BgColor.Set(1.0f, 0.0f, 0.0f, 1.0f);
    PlatformTest_D3d9ClearCallLog();
    const size_t presents = PlatformTest_D3d9PresentCount();
    const u32 frame = TheFrameNotifier().Frame();
    ASSERT_TRUE(s->DoRender());
    EXPECT_EQ(PlatformTest_D3d9PresentCount(), presents + 1);
    EXPECT_EQ(TheFrameNotifier().Frame(), frame + 1);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(Count(log, "BeginScene("), 1u);
    EXPECT_EQ(Count(log, "EndScene("), 1u);
    EXPECT_EQ(Count(log, "Clear("), 2u);  // target and depth, then depth only
    EXPECT_EQ(Count(log, "SetRenderState(8, 3)"), 1u);  // solid fill, straight to the device
}

TEST_F(FullSaverFrame, AFailedBeginSceneStillPresents) {
    const size_t presents = PlatformTest_D3d9PresentCount();
    PlatformTest_D3d9FailCall("BeginScene", 1, D3DERR_INVALIDCALL);
    PlatformTest_D3d9ClearCallLog();
    EXPECT_TRUE(s->DoRender());
    EXPECT_EQ(PlatformTest_D3d9PresentCount(), presents + 1);
    EXPECT_EQ(s->renders, 0u);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    EXPECT_EQ(Count(log, "EndScene("), 0u);
    // The next frame draws again.
    EXPECT_TRUE(s->DoRender());
    EXPECT_EQ(s->renders, 1u);
}

TEST_F(FullSaverFrame, AFrameOnALostDeviceDrawsAndPresentsAndIsCounted) {
    PlatformTest_D3d9LoseDevice(s->device);
    PlatformTest_D3d9ClearCallLog();
    const size_t presents = PlatformTest_D3d9PresentCount();
    const u32 frame = TheFrameNotifier().Frame();
    EXPECT_TRUE(s->DoRender());
    EXPECT_TRUE(s->DoRender());
    EXPECT_EQ(s->renders, 2u);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    EXPECT_EQ(Count(log, "BeginScene("), 2u);
    EXPECT_EQ(Count(log, "EndScene("), 2u);
    // Present is called each frame and answers that the device is lost.
    EXPECT_EQ(Count(log, "Present() -> failed"), 2u);
    EXPECT_EQ(PlatformTest_D3d9PresentCount(), presents);
    EXPECT_EQ(TheFrameNotifier().Frame(), frame + 2);
    // Once the device is back, frames present again.
    PlatformTest_D3d9AllowReset(s->device);
    EXPECT_TRUE(s->DoRender());
    EXPECT_EQ(PlatformTest_D3d9PresentCount(), presents + 1);
    EXPECT_EQ(TheFrameNotifier().Frame(), frame + 3);
}

TEST_F(FullSaverFrame, ALostDeviceThatCannotBeResetFailsTheFrameAndIsLogged) {
    PlatformTest_D3d9LoseDevice(s->device);
    // Lost but not yet resettable: the frame goes on.
    EXPECT_TRUE(s->DoRender());
    PlatformTest_D3d9AllowReset(s->device);
    PlatformTest_D3d9FailCall("Reset", 1, D3DERR_INVALIDCALL);
    EXPECT_FALSE(s->DoRender());
    EXPECT_NE(Log().find("HandleDeviceLost failed"), std::string::npos);
    // Reset works next time.
    EXPECT_TRUE(s->DoRender());
}

// A saver whose every pass of the loop, drawn or not, runs `script` with the pass number
// (from 1); the loop stops after `limit` passes.
class PassScriptedScene : public SaverTestScene {
public:
    void FrameUpdate() override {
        SaverTestScene::FrameUpdate();
        ++passes;
        if (script) script(passes);
        if (passes >= limit) closing = 1;
    }
    std::function<void(u32)> script;
    u32 passes = 0;
    u32 limit = 0;
};

TEST_F(FullSaver, AUserSwitchingToAnotherProgramAndBackFindsTheSaverResetOnceAndDrawingAgain) {
    auto* s = new PassScriptedScene;
    saver = s;
    ASSERT_TRUE(s->Create(GetModuleHandleA(nullptr), nullptr));
    ASSERT_FALSE(s->IsWindowed());
    const HWND window = s->GetWindow();
    WNDCLASSA c{};
    c.lpfnWndProc = DefWindowProcA;
    c.lpszClassName = "AnotherProgram";
    ASSERT_NE(RegisterClassA(&c), 0);
    const HWND other =
        CreateWindowExA(0, "AnotherProgram", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    PlatformTest_MarkOtherProgram(other);
    PlatformTest_D3d9ClearCallLog();

    constexpr u32 kLeave = 3, kReturn = 8;
    size_t presentsBefore = 0, presentsAway = 0, rendersAway = 0;
    HRESULT away = D3D_OK, back = D3D_OK;
    s->limit = 12;
    s->script = [&](u32 pass) {
        if (pass == kLeave) {
            presentsBefore = PlatformTest_D3d9PresentCount();
            SetForegroundWindow(other);
            rendersAway = s->renders;
        }
        if (pass == kReturn) {
            presentsAway = PlatformTest_D3d9PresentCount();
            away = s->device->TestCooperativeLevel();
            EXPECT_EQ(s->renders, rendersAway) << "nothing is drawn while another program is in front";
            SetForegroundWindow(window);
            back = s->device->TestCooperativeLevel();
        }
    };
    s->Run();
    // Losing the foreground does not end the saver: it ran every pass.
    EXPECT_EQ(s->passes, 12u);
    EXPECT_GT(presentsBefore, 0u);
    EXPECT_EQ(away, D3DERR_DEVICELOST);
    EXPECT_EQ(presentsAway, presentsBefore);
    EXPECT_EQ(back, D3DERR_DEVICENOTRESET);
    EXPECT_GT(PlatformTest_D3d9PresentCount(), presentsAway);
    EXPECT_GT(s->renders, rendersAway);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    EXPECT_EQ(Count(log, "Reset("), 1u);
    EXPECT_EQ(Count(log, "Present() -> failed"), 0u);
    EXPECT_EQ(Log().find("HandleDeviceLost failed"), std::string::npos);
}

TEST_F(FullSaverFrame, TheSaverGoesCleanlyAfterItsDeviceIsReleased) {
    s->ShowFps = 1;
    s->FpsText.SetRect(IntRect(10, 10, 256, 128));
    s->FpsText.SetRawText(WString::FromNarrow("60"));
    s->FpsText.Show();
    ASSERT_TRUE(s->DoRender());
    ASSERT_TRUE(s->DoRender());
    ASSERT_TRUE(TheDebugBox().EnsureGeometry());  // made on this device, as a node's query makes it
    HWND window = s->GetWindow();
    s->ReleaseCustom();
    s->Destroy();
    EXPECT_EQ(s->device, nullptr);
    EXPECT_EQ(TheDebugBox().Mesh().GetGeometry().Get(), nullptr) << "the next device is not handed the box of this one";
    DestroyWindow(window);
    delete saver;
    saver = nullptr;
    s = nullptr;
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Device), 0);
}

TEST_F(FullSaverFrame, GammaRampsClampAtBothEnds) {
    D3DGAMMARAMP ramp;
    ScreenSaver::Full::BuildGammaRamp(-100, ramp);
    for (int i = 0; i <= 78; ++i) EXPECT_EQ(ramp.red[i], 0) << i;
    EXPECT_EQ(ramp.red[79], 79 * 256 - 20000);
    EXPECT_EQ(ramp.green[255], 255 * 256 - 20000);
    EXPECT_EQ(ramp.blue[100], ramp.red[100]);
    ScreenSaver::Full::BuildGammaRamp(100, ramp);
    EXPECT_EQ(ramp.red[0], 20000);
    EXPECT_EQ(ramp.red[177], 177 * 256 + 20000);
    for (int i = 178; i < 256; ++i) EXPECT_EQ(ramp.red[i], 65535) << i;
    ScreenSaver::Full::BuildGammaRamp(0, ramp);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(ramp.green[i], 256 * i) << i;
}

TEST_F(FullSaverFrame, TheGammaRampIsSetAtCreationAndAgainAfterAReset) {
    // The device made in Create got the ramp once.
    s->Gamma = 50;
    PlatformTest_D3d9ClearCallLog();
    PlatformTest_D3d9LoseDevice(s->device);
    PlatformTest_D3d9AllowReset(s->device);
    ASSERT_TRUE(s->DoRender());
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    const auto reset = std::find_if(log.begin(), log.end(), [](const std::string& c) { return c.rfind("Reset(", 0) == 0; });
    ASSERT_NE(reset, log.end());
    const auto gamma = std::find_if(reset, log.end(), [](const std::string& c) { return c.rfind("SetGammaRamp(0x1)", 0) == 0; });
    ASSERT_NE(gamma, log.end()) << "no ramp after the reset";
    D3DGAMMARAMP ramp;
    s->device->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.red[0], 10000);
    EXPECT_EQ(ramp.blue[255], 65535);
}

TEST_F(FullSaverFrame, AFlightOfThreeSecondsIsFadedItsWholeLength) {
    // 3,000 units: every time is within 2,000 of one end, and the nearer end decides.
    const struct {
        f32 t;
        f32 opacity;
    } cases[] = {{0.0f, 1.0f}, {500.0f, 0.75f}, {1000.0f, 0.5f}, {1500.0f, 0.25f},
                 {2000.0f, 0.5f}, {2500.0f, 0.75f}, {3000.0f, 1.0f}};
    for (const auto& c : cases) {
        s->PathTime = c.t;
        s->fadeQuads = 0;
        s->Fade(0.0f, 3000.0f);
        ASSERT_EQ(s->fadeQuads, 1u) << c.t;
        EXPECT_NEAR(s->lastFadeOpacity, c.opacity, 1e-5f) << c.t;
    }
    // A long flight is clear in the middle and fades at both ends.
    s->PathTime = 10000.0f;
    s->fadeQuads = 0;
    s->Fade(0.0f, 30000.0f);
    EXPECT_EQ(s->fadeQuads, 0u);
    s->PathTime = 29000.0f;
    s->Fade(0.0f, 30000.0f);
    EXPECT_NEAR(s->lastFadeOpacity, 0.5f, 1e-5f);
}

TEST_F(FullSaverFrame, AFlightWithoutKeysLeavesTheViewOnTheFreeCamera) {
    s->PathActive = 1;
    s->FlightPath->PositionTrack().keys.Clear();
    s->FlightPath->RotationTrack().keys.Clear();
    s->Camera->SetPosition(Vec3(1.0f, 2.0f, 3.0f));
    ASSERT_TRUE(s->DoRender());
    EXPECT_FLOAT_EQ(s->ViewCamera.GetEye().x, 1.0f);
    EXPECT_FLOAT_EQ(s->ViewCamera.GetEye().z, 3.0f);
    EXPECT_EQ(s->fades, 0u);
}

TEST_F(FullSaverFrame, AFinishedFlightStartsTheNextFromItsFirstKey) {
    WriteFlight("a.cam", 3000.0f, 4.0f);
    s->Animations.Clear();
    s->Animations.PushBack(String("a.cam"));
    s->LoadCameraPath(String("a.cam"));
    s->PathActive = 1;
    s->PathRate = 1000.0f;  // any elapsed millisecond is past the end
    s->PathTimer.SetStart(Timer::Now() - 10);
    ASSERT_TRUE(s->DoRender());
    EXPECT_FLOAT_EQ(s->PathTime, 0.0f);
    EXPECT_EQ(s->PathActive, 1);
    EXPECT_FLOAT_EQ(s->Camera->GetPosition().x, 4.0f);
    EXPECT_EQ(s->fades, 1u);
}

TEST_F(FullSaverFrame, BeginTargetWithColourClearsTheTargetToThePackedColour) {
    RenderTarget target;
    ASSERT_TRUE(target.Create(16, 16, D3DFMT_A8R8G8B8, D3DFMT_D24S8, false));
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(s->BeginTargetWithColour(&target, 1.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(target.End());
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    const auto clear = std::find_if(log.begin(), log.end(), [](const std::string& c) { return c.rfind("Clear(", 0) == 0; });
    ASSERT_NE(clear, log.end());
    std::string call = *clear;
    std::transform(call.begin(), call.end(), call.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    EXPECT_NE(call.find("ffff0000"), std::string::npos) << call;
    EXPECT_FALSE(s->BeginTargetWithColour(nullptr, 0, 0, 0, 0));
}

}  // namespace
