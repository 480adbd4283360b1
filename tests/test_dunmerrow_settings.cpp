// The product scene's settings without a device: the three program-wide switches its
// construction turns off, its settings before and after the shipped configuration is read
// (resources 156 and 157), the conversions of the day-length and shadow-quality sliders,
// and the program's mode objects by run mode.
#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Screen/ProductSettings.h"
#include "Screen/RenderDefaults.h"
#include "Screen/SaverModes.h"
#include "Screen/SceneParams.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void ExpectColorBytes(const FColor& c, f32 r, f32 g, f32 b, const char* what) {
    EXPECT_NEAR(c.r, r / 255.0f, 1e-5f) << what;
    EXPECT_NEAR(c.g, g / 255.0f, 1e-5f) << what;
    EXPECT_NEAR(c.b, b / 255.0f, 1e-5f) << what;
}

// A folder of the test's own (no "settings.txt" in it) and a scene that the test may
// build; the switches a scene turns off are put back as the test found them.
class DunmerrowSettings : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        folder = testsupport::FreshTestFolder("corvane-dunmerrow-settings");
        fs::current_path(folder);
        ResetProductSettings();
    }
    void TearDown() override {
        delete scene;
        scene = nullptr;
        switches.PutBack();
        ResetTheSaver();
        ResetProductSettings();
        ResetDebugMode();
        fs::current_path(home);
        fs::remove_all(folder);
    }
    Dunmerrow* Make() {
        scene = new Dunmerrow;
        return scene;
    }

    testsupport::ProgramSwitches switches;  // as the test found them, taken when the fixture is made
    fs::path home, folder;
    Dunmerrow* scene = nullptr;
};

TEST_F(DunmerrowSettings, BuildingTheSceneSwitchesOffTheLogTheStatisticsAndForcedCompiling) {
    TheRenderDefaults().forceCompile = 1;
    SetLogMasterSwitch(true);
    TheStatistics().enabled = 1;
    Dunmerrow* s = Make();
    EXPECT_EQ(TheLogRegistry().masterSwitch, 0);
    EXPECT_EQ(TheStatistics().enabled, 0);
    EXPECT_EQ(TheRenderDefaults().forceCompile, 0);
    EXPECT_NE(s, nullptr);
}

TEST_F(DunmerrowSettings, EverySettingStartsEmptyUntilTheConfigurationIsRead) {
    Dunmerrow* s = Make();
    EXPECT_EQ(s->MaxMagic.value, 0);
    EXPECT_EQ(s->ShadowArea.value, 0);
    EXPECT_FLOAT_EQ(s->Scale.value, 0.0f);
    EXPECT_EQ(s->IsAnimated.value, 0);
    EXPECT_EQ(s->GlowPos.value.count, 0);
    EXPECT_EQ(s->Cameras.value.count, 0);
    EXPECT_TRUE(s->MusicFile.value.IsEmpty());
    EXPECT_EQ(ShadowQualitySetting, 50);
    EXPECT_EQ(DayLengthSetting, 0);
}

TEST_F(DunmerrowSettings, TheShippedConfigurationGivesEveryKeyItsValue) {
    Dunmerrow* s = Make();
    ASSERT_TRUE(s->LoadConfig());
    EXPECT_STREQ(s->MusicFile.value.c_str(), "music.ogg");
    EXPECT_EQ(DayLengthSetting, 50);
    EXPECT_EQ(DayMaxLengthSetting, 86400000);
    EXPECT_EQ(DayMinLengthSetting, 6000);
    EXPECT_EQ(ShadowQualitySetting, 100);
    ASSERT_EQ(s->CameraTimes.value.count, 4);
    const f32 times[4] = {0.0f, 0.05f, 0.47f, 0.62f};
    for (i32 i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(s->CameraTimes.value[i], times[i]) << i;
    ASSERT_EQ(s->Cameras.value.count, 4);
    for (i32 list = 0; list < 4; ++list) {
        std::vector<std::string> names;
        s->Cameras.value[list].ForEach([&](const String& name) { names.push_back(name.c_str()); });
        ASSERT_EQ(names.size(), 15u) << list;
        // A list is a ring read from its cursor: the order counts, not where it starts.
        std::rotate(names.begin(), std::find(names.begin(), names.end(), "1.cam"), names.end());
        for (u32 n = 0; n < 15; ++n) EXPECT_EQ(names[n], std::to_string(n + 1) + ".cam") << list;
    }
    ExpectColorBytes(s->GoldColor.value, 355, 355, 355, "GoldColor");
    ExpectColorBytes(s->SunLight.value, 250, 250, 230, "SunLight");
    ExpectColorBytes(s->MoonLight.value, 20, 20, 40, "MoonLight");
    ExpectColorBytes(s->AmbientLight.value, 180, 180, 180, "AmbientLight");
    EXPECT_FLOAT_EQ(s->ShadowLightness.value, 0.8f);
    EXPECT_FLOAT_EQ(s->PyrShadow.value, 0.85f);
    EXPECT_EQ(s->ShadowsEnabled.value, 1);
    EXPECT_EQ(s->ShadowDelay.value, 1);
    EXPECT_EQ(s->ShadowArea.value, 10000);
    EXPECT_FLOAT_EQ(s->DistAmount.value, 1.0f);
    EXPECT_FLOAT_EQ(s->Scale.value, 1.0f);
    EXPECT_EQ(s->IsAnimated.value, 1);
    EXPECT_FLOAT_EQ(s->AnkhSpeed.value, 0.001f);
    EXPECT_FLOAT_EQ(s->CloudSpeed.value, 3.0f);
    EXPECT_EQ(s->MaxMagic.value, 100);
    for (const MagicHolder& holder : s->magic) EXPECT_FLOAT_EQ(holder.MagicSize.value, 5.0f);
    const Vec3 centres[5] = {{3991.92f, 362.159f, -5689.91f},
                             {2429.901f, 246.366f, -5765.933f},
                             {3971.346f, 204.393f, -4378.271f},
                             {5552.187f, 287.406f, -5624.252f},
                             {4079.957f, 260.145f, -7070.375f}};
    ASSERT_EQ(s->GlowPos.value.count, 5);
    ASSERT_EQ(s->GlowCol.value.count, 5);
    ASSERT_EQ(s->GlowSize.value.count, 5);
    ASSERT_EQ(s->GlowRays.value.count, 5);
    const i32 rays[5] = {30, 15, 15, 15, 15};
    for (i32 i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(s->GlowPos.value[i].x, centres[i].x) << i;
        EXPECT_FLOAT_EQ(s->GlowPos.value[i].y, centres[i].y) << i;
        EXPECT_FLOAT_EQ(s->GlowPos.value[i].z, centres[i].z) << i;
        ExpectColorBytes(s->GlowCol.value[i], 255, 255, 133, "GlowCol");
        EXPECT_FLOAT_EQ(s->GlowSize.value[i], 150.0f) << i;
        EXPECT_EQ(s->GlowRays.value[i], rays[i]) << i;
    }
    EXPECT_STREQ(s->MesShadowQual.value.c_str(), "Shadow Quality");
    EXPECT_STREQ(s->MesDayLength.value.c_str(), "Day Length");
    EXPECT_STREQ(s->MesDayOpt.value.c_str(), "Day Options");
}

// ---- the two conversions --------------------------------------------------------------------

TEST(DunmerrowSliders, ShadowQualityIsAShareOf2048RoundedUpToAPowerOfTwoBetween128And1024) {
    EXPECT_EQ(Dunmerrow::ShadowMapSize(100), 2048);
    EXPECT_EQ(Dunmerrow::ShadowMapSize(60), 1228) << "above 1024 the size is used as it is";
    EXPECT_EQ(Dunmerrow::ShadowMapSize(50), 1024);
    EXPECT_EQ(Dunmerrow::ShadowMapSize(30), 1024) << "614 rounds up";
    EXPECT_EQ(Dunmerrow::ShadowMapSize(20), 512) << "409 rounds up";
    EXPECT_EQ(Dunmerrow::ShadowMapSize(10), 256) << "204 rounds up";
    EXPECT_EQ(Dunmerrow::ShadowMapSize(7), 256) << "143 rounds up";
    EXPECT_EQ(Dunmerrow::ShadowMapSize(5), 102) << "below 128 the size is used as it is";
    EXPECT_EQ(Dunmerrow::ShadowMapSize(0), 0);
}

TEST(DunmerrowSliders, ShadowQualityOutsideItsRangeIsClamped) {
    EXPECT_EQ(Dunmerrow::ShadowMapSize(-5), 0);
    EXPECT_EQ(Dunmerrow::ShadowMapSize(500), 2048);
    EXPECT_EQ(Dunmerrow::ShadowMapSize(INT32_MIN), 0);
    EXPECT_EQ(Dunmerrow::ShadowMapSize(INT32_MAX), 2048);
}

TEST(DunmerrowSliders, TheDayLengthGrowsWithTheSquareOfTheSettingWithoutOverflow) {
    EXPECT_EQ(Dunmerrow::DayLengthMs(0, 6000, 86400000), 6000);
    // 86,394,000 x 2,500 does not fit in 32 bits.
    EXPECT_EQ(Dunmerrow::DayLengthMs(50, 6000, 86400000), 21604500);
    EXPECT_EQ(Dunmerrow::DayLengthMs(100, 6000, 86400000), 86400000);
    EXPECT_EQ(Dunmerrow::DayLengthMs(99, 6000, 86400000), 6000 + 86394000LL * 9801 / 10000);
}

TEST(DunmerrowSliders, TheDayLengthIsClampedAndNeverZero) {
    EXPECT_EQ(Dunmerrow::DayLengthMs(-5, 6000, 86400000), 6000);
    EXPECT_EQ(Dunmerrow::DayLengthMs(500, 6000, 86400000), 86400000);
    EXPECT_EQ(Dunmerrow::DayLengthMs(50, 0, 0), 1) << "the frame divides by the day length";
    EXPECT_EQ(Dunmerrow::DayLengthMs(100, 6000, -100), 1);
    EXPECT_EQ(Dunmerrow::DayLengthMs(100, INT32_MIN, INT32_MIN), 1);
    EXPECT_EQ(Dunmerrow::DayLengthMs(100, 0, INT32_MAX), INT32_MAX);
}

// ---- the program's mode objects ------------------------------------------------------------------

TEST_F(DunmerrowSettings, TheProgramRunsTheSceneInEveryFullScreenMode) {
    for (i32 mode : {i32{ScreenSaver::kModeFull}, i32{ScreenSaver::kModeTest}, i32{ScreenSaver::kModePassword}, i32{7}}) {
        ScreenSaver* made = CreateProductSaver(mode);
        ASSERT_NE(made, nullptr) << mode;
        EXPECT_NE(dynamic_cast<Dunmerrow*>(made), nullptr) << mode;
        delete made;
        ResetTheSaver();
    }
    ScreenSaver* preview = CreateProductSaver(ScreenSaver::kModePreview);
    EXPECT_NE(dynamic_cast<ScreenSaver::Preview*>(preview), nullptr);
    delete preview;
    ResetTheSaver();
    ScreenSaver* config = CreateProductSaver(ScreenSaver::kModeConfig);
    EXPECT_NE(dynamic_cast<ScreenSaver::Config*>(config), nullptr);
    delete config;
    ResetTheSaver();
}

}  // namespace
