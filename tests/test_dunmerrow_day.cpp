// The product scene's day cycle without a device: the day fraction from an injected day
// clock, the camera-list switches of the day parts, the sky sets and their fade, the lens
// flare's placement, the landmark's shadow on the flare, and a whole frame's colours and
// lights at the hours that matter (the frame draws nothing without a device, but works
// everything out).
#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/Timer.h"
#include "D3d/StateCache.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Effect/Light.h"
#include "Effect/Material.h"
#include "Scene/Hierarchy.h"
#include "Scene/NodeTransform.h"
#include "Scene/RenderView.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"

#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr i32 kDayMs = 100000;

class DunmerrowDayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProductSettings();
        ResetDebugMode();
        scene = new Dunmerrow;
        // The scene switches logging and statistics off for good; the tests read both.
        SetLogMasterSwitch(true);
        TheStatistics().enabled = 1;
        DayLengthSetting = kDayMs;
        Timer::FreezeAt(1000000);
        scene->dayTimer.SetStart(1000000);
        scene->ankhTimer.SetStart(1000000);
        for (f32 v : {0.0f, 0.05f, 0.47f, 0.62f}) scene->CameraTimes.value.Add(v);
        for (int part = 0; part < 4; ++part) {
            StringList list;
            list.PushBack(String::FromText(("p" + std::to_string(part) + "a.cam").c_str()));
            list.PushBack(String::FromText(("p" + std::to_string(part) + "b.cam").c_str()));
            scene->Cameras.value.Add(list);
        }
    }
    void TearDown() override {
        delete scene;
        Timer::Freeze(false);
        ResetProductSettings();
        ResetDebugMode();
        switches.PutBack();
        StateCache::InvalidateAll();
    }
    testsupport::ProgramSwitches switches;  // as the test found them, taken when the fixture is made

    // The engine clock at day fraction t of day `day` after the day timer's start.
    void At(f32 t, int day = 0) {
        Timer::FreezeAt(1000000 + static_cast<u64>(day) * kDayMs + static_cast<u64>(std::lround(t * kDayMs)));
    }
    void FrameAt(f32 t, int day = 0) {
        At(t, day);
        scene->UpdateCameraLists(scene->DayFraction());
    }
    std::string FirstFlight() const {
        if (scene->Animations.count == 0) return "";
        return std::string(scene->Animations.anchor->payload.c_str());
    }

    Dunmerrow* scene = nullptr;
};

TEST_F(DunmerrowDayTest, DayFractionFollowsTheDayTimerAndCarriesTheRestIntoTheNextDay) {
    At(0.25f);
    EXPECT_FLOAT_EQ(scene->DayFraction(), 0.25f);
    At(0.1f, 1);
    EXPECT_NEAR(scene->DayFraction(), 0.1f, 1e-6);
    // The timer moved on by one whole day, not to the frame's instant.
    EXPECT_EQ(scene->dayTimer.Start(), 1000000u + kDayMs);
    At(0.5f, 1);
    EXPECT_FLOAT_EQ(scene->DayFraction(), 0.5f);
}

TEST_F(DunmerrowDayTest, ADayOfNoLengthIsOneMillisecondAndNeverDividesByZero) {
    DayLengthSetting = 0;
    At(0.37f);
    const f32 t = scene->DayFraction();
    EXPECT_GE(t, 0.0f);
    EXPECT_LT(t, 1.0f);
    DayLengthSetting = -20;
    EXPECT_EQ(scene->DayFraction(), 0.0f);
}

TEST_F(DunmerrowDayTest, AClockThatWentBackStartsTheDayAgain) {
    Timer::FreezeAt(500);
    EXPECT_EQ(scene->DayFraction(), 0.0f);
    EXPECT_EQ(scene->dayTimer.Start(), 500u);
}

TEST_F(DunmerrowDayTest, CameraListsSwitchAtTheDayPartsAndBackToPartZeroTheNextDay) {
    struct Row {
        f32 t;
        int day;
        i32 part;
        const char* flight;
    };
    const Row rows[] = {
        {0.00f, 0, 0, "p0a.cam"}, {0.03f, 0, 0, "p0a.cam"}, {0.05f, 0, 1, "p1a.cam"}, {0.30f, 0, 1, "p1a.cam"},
        {0.47f, 0, 2, "p2a.cam"}, {0.55f, 0, 2, "p2a.cam"}, {0.62f, 0, 3, "p3a.cam"}, {0.90f, 0, 3, "p3a.cam"},
        {0.02f, 1, 0, "p0a.cam"}, {0.06f, 1, 1, "p1a.cam"},
    };
    for (const Row& row : rows) {
        scene->UsedAnimations.PushBack(String("used.cam"));
        FrameAt(row.t, row.day);
        EXPECT_EQ(scene->day.currentDayPart, row.part) << "t = " << row.t << ", day " << row.day;
        EXPECT_EQ(FirstFlight(), row.flight) << "t = " << row.t;
        EXPECT_EQ(scene->Animations.count, 2);
        scene->UsedAnimations.Clear();
    }
}

TEST_F(DunmerrowDayTest, ASwitchEmptiesTheUsedFlights) {
    FrameAt(0.0f);
    scene->UsedAnimations.PushBack(String("p0a.cam"));
    FrameAt(0.02f);  // no switch: the used flights stay
    EXPECT_EQ(scene->UsedAnimations.count, 1);
    FrameAt(0.05f);
    EXPECT_EQ(scene->UsedAnimations.count, 0);
}

TEST_F(DunmerrowDayTest, AShortDayWithNoFrameBeforeTheFirstPartKeepsTheLastPart) {
    for (f32 t : {0.0f, 0.05f, 0.47f, 0.62f}) FrameAt(t);
    ASSERT_EQ(scene->day.currentDayPart, 3);
    for (int day = 1; day <= 3; ++day) {
        FrameAt(0.3f, day);
        FrameAt(0.7f, day);
        EXPECT_EQ(scene->day.currentDayPart, 3) << "day " << day;
        EXPECT_EQ(FirstFlight(), "p3a.cam");
    }
    FrameAt(0.01f, 4);
    EXPECT_EQ(scene->day.currentDayPart, 0);
    EXPECT_EQ(FirstFlight(), "p0a.cam");
}

TEST_F(DunmerrowDayTest, FewerThanTwoCameraTimesSwitchNothing) {
    scene->CameraTimes.value.Resize(1);
    scene->Animations.PushBack(String("kept.cam"));
    for (f32 t : {0.0f, 0.3f, 0.6f, 0.9f}) FrameAt(t);
    EXPECT_EQ(FirstFlight(), "kept.cam");
    EXPECT_EQ(scene->day.currentDayPart, 0);
    scene->CameraTimes.value.Resize(0);
    FrameAt(0.1f, 1);
    EXPECT_EQ(FirstFlight(), "kept.cam");
}

TEST_F(DunmerrowDayTest, AMissingCamerasListKeepsTheFlightsThatArePlaying) {
    scene->Cameras.value.Resize(2);
    for (f32 t : {0.0f, 0.05f}) FrameAt(t);
    EXPECT_EQ(FirstFlight(), "p1a.cam");
    FrameAt(0.5f);
    EXPECT_EQ(scene->day.currentDayPart, 2);
    EXPECT_EQ(FirstFlight(), "p1a.cam");
    FrameAt(0.7f);
    EXPECT_EQ(scene->day.currentDayPart, 3);
    EXPECT_EQ(FirstFlight(), "p1a.cam");
    // The lists were not grown by the look-up.
    EXPECT_EQ(scene->Cameras.value.count, 2);
    FrameAt(0.01f, 1);
    EXPECT_EQ(FirstFlight(), "p0a.cam");
}

TEST_F(DunmerrowDayTest, TheDebugModeKeepsItsOwnFlights) {
    DebugMode = 1;
    scene->Animations.PushBack(String("debug.cam"));
    FrameAt(0.0f);
    FrameAt(0.5f);
    EXPECT_EQ(FirstFlight(), "debug.cam");
}

// ---- the sky ---------------------------------------------------------------------------

class DunmerrowSkyTest : public DunmerrowDayTest {
protected:
    void SetUp() override {
        DunmerrowDayTest::SetUp();
        const f32 starts[4] = {0.0f, 0.09f, 0.44f, 0.58f};
        for (u32 set = 0; set < Dunmerrow::kSkySets; ++set) {
            scene->skyTable[set].start = starts[set];
            for (u32 k = 0; k < 5; ++k) scene->skyTable[set].faces[k] = FaceTexture(set, k);
        }
        for (u32 k = 0; k < 5; ++k) scene->skyMaterials[k] = &materials[k];
    }
    // Stand-ins: the sky update only stores the pointers.
    Texture* FaceTexture(u32 set, u32 k) { return reinterpret_cast<Texture*>(&faces[set * 5 + k]); }
    void SkyAt(f32 t, int day = 0) {
        At(t, day);
        scene->UpdateSky(scene->DayFraction());
    }

    Material materials[5];
    alignas(16) char faces[20][16] = {};
};

TEST_F(DunmerrowSkyTest, SetsSwitchAtTheirStartsAndWrapAfterTheDay) {
    struct Row {
        f32 t;
        int day;
        i32 set;
    };
    const Row rows[] = {{0.0f, 0, 0}, {0.02f, 0, 0}, {0.09f, 0, 1}, {0.3f, 0, 1}, {0.44f, 0, 2},
                        {0.5f, 0, 2}, {0.58f, 0, 3}, {0.9f, 0, 3}, {0.01f, 1, 0}, {0.1f, 1, 1}};
    for (const Row& row : rows) {
        SkyAt(row.t, row.day);
        EXPECT_EQ(scene->currentSky, row.set) << "t = " << row.t;
        for (u32 k = 0; k < 5; ++k) EXPECT_EQ(materials[k].layers[0].stages[0].sampler.texture, FaceTexture(row.set, k));
    }
}

TEST_F(DunmerrowSkyTest, OutsideTheFadeEachFaceShowsAlone) {
    SkyAt(0.04f);
    for (u32 k = 0; k < 5; ++k) {
        const MaterialLayer& layer = materials[k].layers[0];
        EXPECT_EQ(layer.stages[0].colorOp, u32(D3DTOP_SELECTARG1));
        EXPECT_EQ(layer.stages[0].colorArg[1], u32(D3DTA_TEXTURE));
        EXPECT_EQ(layer.stages[1].colorOp, u32(D3DTOP_DISABLE));
        EXPECT_EQ(layer.opacity, 1.0f);
    }
}

TEST_F(DunmerrowSkyTest, TheFadeBlendsByTheFactorAlphaTwentyFiveTimesWhatIsLeft) {
    struct Row {
        f32 t;
        f32 alpha;
    };
    for (const Row& row : {Row{0.06f, 0.75f}, Row{0.07f, 0.5f}, Row{0.08f, 0.25f}, Row{0.085f, 0.125f}}) {
        SkyAt(row.t);
        EXPECT_EQ(scene->currentSky, 0) << row.t;
        for (u32 k = 0; k < 5; ++k) {
            const MaterialLayer& layer = materials[k].layers[0];
            EXPECT_EQ(layer.stages[0].sampler.texture, FaceTexture(0, k));
            EXPECT_EQ(layer.stages[1].sampler.texture, FaceTexture(1, k));
            EXPECT_EQ(layer.stages[1].colorOp, u32(D3DTOP_BLENDFACTORALPHA));
            EXPECT_EQ(layer.stages[1].colorArg[1], u32(D3DTA_CURRENT));
            EXPECT_EQ(layer.stages[1].colorArg[2], u32(D3DTA_TEXTURE));
            EXPECT_NEAR(layer.opacity, row.alpha, 1e-3) << "t = " << row.t;
        }
    }
    // The switch itself: the next set alone.
    SkyAt(0.09f);
    EXPECT_EQ(materials[0].layers[0].stages[1].colorOp, u32(D3DTOP_DISABLE));
    EXPECT_EQ(materials[0].layers[0].opacity, 1.0f);
}

TEST_F(DunmerrowSkyTest, TheLastSetFadesIntoTheFirstBeforeTheDayEnds) {
    // One switch a frame: the sets follow each other.
    for (f32 t : {0.1f, 0.5f, 0.6f}) SkyAt(t);
    SkyAt(0.98f);
    EXPECT_EQ(scene->currentSky, 3);
    EXPECT_EQ(materials[2].layers[0].stages[1].sampler.texture, FaceTexture(0, 2));
    EXPECT_NEAR(materials[2].layers[0].opacity, 0.5f, 1e-3);
}

TEST_F(DunmerrowSkyTest, FadeAlphaStaysWithinZeroAndOne) {
    EXPECT_FLOAT_EQ(Dunmerrow::SkyFadeAlpha(0.04f), 1.0f);
    EXPECT_FLOAT_EQ(Dunmerrow::SkyFadeAlpha(0.02f), 0.5f);
    EXPECT_FLOAT_EQ(Dunmerrow::SkyFadeAlpha(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(Dunmerrow::SkyFadeAlpha(-0.5f), 0.0f);
    EXPECT_FLOAT_EQ(Dunmerrow::SkyFadeAlpha(0.5f), 1.0f);
}

TEST_F(DunmerrowSkyTest, MissingSkyMaterialsAreLeftOut) {
    scene->skyMaterials[1] = nullptr;
    scene->skyMaterials[3] = nullptr;
    SkyAt(0.07f);
    EXPECT_EQ(materials[0].layers[0].stages[1].colorOp, u32(D3DTOP_BLENDFACTORALPHA));
    EXPECT_EQ(materials[1].layers[0].stages[1].colorOp, u32(D3DTOP_DISABLE));
}

// ---- the flare and the landmark ---------------------------------------------------------

class DunmerrowFlareTest : public DunmerrowDayTest {
protected:
    void SetUp() override {
        DunmerrowDayTest::SetUp();
        camera.SetView(Vec3(0.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));
        record.camera = &camera;
        record.count = 7;
        record.distance = 10000.0f;
        for (u32 i = 0; i < 7; ++i) {
            roots.push_back(new Hierarchy);
            Hierarchy* plane = new Hierarchy;
            plane->Rename(String("Plane01"));
            roots.back()->AddChild(plane);
            record.nodes[i] = roots.back();
        }
    }
    void TearDown() override {
        for (Hierarchy* node : roots) delete node;
        DunmerrowDayTest::TearDown();
    }
    // The source at the angle off the view (about x) seen from the view's centre point.
    void SourceAt(f32 degrees) {
        const f32 r = degrees * 3.14159265f / 180.0f;
        record.source = Vec3(0.0f, std::sin(r) * 5000.0f, 10000.0f + std::cos(r) * 5000.0f);
    }

    SceneCamera camera;
    FlareRecord record;
    RenderView view;
    std::vector<Hierarchy*> roots;
};

TEST_F(DunmerrowFlareTest, ScaleFallsWithTheNodesLeftAndTheAngle) {
    EXPECT_FLOAT_EQ(Dunmerrow::FlareScale(0, 7, 0.0f), 20.0f / 2.4f);
    EXPECT_FLOAT_EQ(Dunmerrow::FlareScale(6, 7, 0.0f), 20.0f / 1.2f);
    EXPECT_FLOAT_EQ(Dunmerrow::FlareScale(3, 7, 0.5f), 20.0f / (0.8f + 1.0f + 1.0f));
}

TEST_F(DunmerrowFlareTest, NodesLieAlongTheLineThroughTheViewCentreScaledPerNode) {
    SourceAt(30.0f);
    scene->RenderFlare(record, view);
    EXPECT_EQ(scene->day.flareNodesDrawn, 7u);
    const Vec3 centre(0.0f, 0.0f, 10000.0f);
    const Vec3 v = record.source - centre;
    const f32 length = Vec3Length(v);
    const f32 theta = 30.0f * 3.14159265f / 180.0f;
    for (u32 i = 0; i < 7; ++i) {
        NodeTransform& transform = roots[i]->GetTransform(false);
        const f32 along = (0.5f * 10000.0f + length) / 7.0f * static_cast<f32>(i + 1);
        const Vec3 expected = record.source - v * (along / length);
        EXPECT_NEAR(transform.GetPosition().y, expected.y, 0.5f) << i;
        EXPECT_NEAR(transform.GetPosition().z, expected.z, 0.5f) << i;
        EXPECT_NEAR(transform.GetScale().x, Dunmerrow::FlareScale(i, 7, theta), 1e-3) << i;
        EXPECT_NEAR(transform.GetDirection().z, 1.0f, 1e-6);
        const MaterialLayer& layer = roots[i]->FindChild(String("Plane01"))->GetMaterial().layers[0];
        EXPECT_EQ(layer.depthWrite, 0);
        EXPECT_EQ(layer.lit, 0);
        EXPECT_EQ(layer.blendEnabled, 1);
        EXPECT_FLOAT_EQ(layer.opacity, 0.1f);
    }
    // The last node lies beyond the view centre, as far on the other side.
    EXPECT_LT(roots[6]->GetTransform(false).GetPosition().y, 0.0f);
}

TEST_F(DunmerrowFlareTest, SeventyDegreesOrMoreOffTheViewDrawsNothing) {
    SourceAt(69.0f);
    scene->RenderFlare(record, view);
    EXPECT_EQ(scene->day.flareNodesDrawn, 7u);
    SourceAt(70.5f);
    scene->RenderFlare(record, view);
    EXPECT_EQ(scene->day.flareNodesDrawn, 0u);
    SourceAt(170.0f);
    scene->RenderFlare(record, view);
    EXPECT_EQ(scene->day.flareNodesDrawn, 0u);
}

TEST_F(DunmerrowFlareTest, NoCameraOrMissingNodesAreLeftOut) {
    SourceAt(10.0f);
    record.nodes[2] = nullptr;
    scene->RenderFlare(record, view);
    EXPECT_EQ(scene->day.flareNodesDrawn, 6u);
    record.camera = nullptr;
    scene->RenderFlare(record, view);
    EXPECT_EQ(scene->day.flareNodesDrawn, 0u);
}

TEST_F(DunmerrowDayTest, TheLandmarkHidesWhatLiesBehindItOnly) {
    EXPECT_FALSE(scene->LandmarkHides(Vec3(0, 500, -8000), Vec3(0, 500, 25000)));  // no landmark
    Hierarchy landmark;
    landmark.box = Box{0.0f, 1400.0f, 0.0f, 4400.0f, 2800.0f, 4400.0f};
    landmark.valid = 1;
    scene->landmark = &landmark;
    EXPECT_TRUE(scene->LandmarkHides(Vec3(0, 500, -8000), Vec3(0, 500, 25000)));
    EXPECT_TRUE(scene->LandmarkHides(Vec3(0, 500, -8000), Vec3(0, 2000, 25000)));
    EXPECT_FALSE(scene->LandmarkHides(Vec3(0, 500, -8000), Vec3(0, 25000, -20000)));
    EXPECT_FALSE(scene->LandmarkHides(Vec3(0, 3000, -8000), Vec3(0, 5000, 25000)));
    EXPECT_FALSE(scene->LandmarkHides(Vec3(8000, 500, -8000), Vec3(8000, 500, 25000)));
    scene->landmark = nullptr;
}

// ---- a whole frame ----------------------------------------------------------------------

class DunmerrowFrameTest : public DunmerrowDayTest {
protected:
    void SetUp() override {
        DunmerrowDayTest::SetUp();
        scene->sunLight = RefHandle<Light>(new SpotLight);
        scene->moonLight = RefHandle<Light>(new SpotLight);
        scene->SunLight.value = FColor::FromRgb(250.0f / 255, 250.0f / 255, 230.0f / 255);
        scene->MoonLight.value = FColor::FromRgb(20.0f / 255, 20.0f / 255, 40.0f / 255);
        scene->AmbientLight.value = FColor::FromRgb(180.0f / 255, 180.0f / 255, 180.0f / 255);
        scene->ShadowLightness.value = 0.8f;
        scene->PyrShadow.value = 0.85f;
        scene->ShadowArea.value = 10000;
        scene->ShadowDelay.value = 1;
        scene->bumpEffect = true;
        scene->ViewCamera.SetView(Vec3(0.0f, 2000.0f, -8000.0f), Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));
    }
    void Frame(f32 t, int day = 0) {
        At(t, day);
        EXPECT_TRUE(scene->RenderScene());
    }
};

TEST_F(DunmerrowFrameTest, MidnightGivesTheFullMoonLightAndTheShadowLightness) {
    Frame(0.75f);
    EXPECT_NEAR(scene->day.moonColour.r, 20.0f / 255, 1e-5);
    EXPECT_NEAR(scene->day.moonColour.b, 40.0f / 255, 1e-5);
    EXPECT_NEAR(scene->day.shadowGrey.r, 0.8f, 1e-5);
    EXPECT_NEAR(scene->day.height, 0.0f, 1e-5);
    // The moon is the active light: its direction is what the effects read.
    const Vec3 direction = scene->moonLight->GetDirection();
    EXPECT_NEAR(scene->day.lightDirection.x, direction.x, 1e-6);
    EXPECT_LT(direction.y, 0.0f);  // the moon stands high at midnight: its light shines down
}

TEST_F(DunmerrowFrameTest, TheLightOnTheHorizonGivesTheGreyOfNinetyNine) {
    for (f32 t : {0.0f, 0.5f}) {
        Frame(t);
        EXPECT_NEAR(scene->day.shadowGrey.r, 0.99f, 1e-5) << t;
        EXPECT_NEAR(scene->day.sunColour.r, 0.0f, 1e-5) << t;
    }
    Frame(0.25f);
    EXPECT_NEAR(scene->day.sunColour.r, 250.0f / 255, 1e-5);
    EXPECT_NEAR(scene->day.groundColour.r, 180.0f / 255 * 1.1f * 0.9f, 1e-5);
}

TEST_F(DunmerrowFrameTest, AtNightTheFloorsLightMapFlickersAddedOverTheStone) {
    Hierarchy floor;
    Material& material = floor.GetMaterial();
    material.layerCount = 2;
    scene->lightMap = &floor;
    Frame(0.75f);
    scene->lightMap = nullptr;
    const MaterialLayer& stone = material.layers[0];
    const MaterialLayer& light = material.layers[1];
    // The flicker is a draw between 0.9 and 1 of the night's 0.8.
    EXPECT_GE(scene->day.flicker, 0.9f * 0.8f - 1e-6f);
    EXPECT_EQ(light.factor.a, scene->day.flicker);
    EXPECT_EQ(light.factor.r, scene->day.flicker);
    EXPECT_EQ(light.opacity, scene->day.flicker);
    EXPECT_EQ(light.stages[0].alphaOp, static_cast<u32>(D3DTOP_MODULATE));
    EXPECT_TRUE(light.blendEnabled);
    EXPECT_EQ(light.destBlend, static_cast<u32>(D3DBLEND_ONE));
    EXPECT_EQ(stone.depthFunc, static_cast<u32>(D3DCMP_LESS));
    EXPECT_EQ(light.depthFunc, static_cast<u32>(D3DCMP_LESSEQUAL));
    f32 stoneBias = 0.0f, lightBias = 0.0f;
    std::memcpy(&stoneBias, &stone.depthBias, sizeof stoneBias);
    std::memcpy(&lightBias, &light.depthBias, sizeof lightBias);
    EXPECT_FLOAT_EQ(stoneBias, 0.00002f);
    EXPECT_FLOAT_EQ(lightBias, 0.00001f);
}

TEST_F(DunmerrowFrameTest, WithoutTheBumpEffectTheLightsAreBlack) {
    scene->bumpEffect = false;
    Frame(0.25f);
    EXPECT_EQ(scene->day.sunColour.r, 0.0f);
    EXPECT_EQ(scene->day.sunColour.a, 1.0f);
    EXPECT_EQ(scene->sunLight->GetDiffuse().g, 0.0f);
}

TEST_F(DunmerrowFrameTest, TheSunAndMoonLightsStaySwitchedOffWithTheirShadowBox) {
    Frame(0.25f);
    for (const RefHandle<Light>& light : {scene->sunLight, scene->moonLight}) {
        EXPECT_FALSE(light->IsEnabled());
        const Vec3 box = light->GetShadowBox();
        const f32 extent = Dunmerrow::ShadowExtent(10000, 2000.0f, 0.0f);
        EXPECT_FLOAT_EQ(box.x, extent);
        EXPECT_FLOAT_EQ(box.y, extent);
        EXPECT_FLOAT_EQ(box.z, 40000.0f);
        EXPECT_NEAR(light->GetAttenuation().z, 0.00005f, 1e-9);
    }
    // At noon the sun shines straight down onto the box centre.
    EXPECT_NEAR(scene->sunLight->GetDirection().y, -1.0f, 1e-5);
    EXPECT_NEAR(scene->sunLight->GetPosition().y, 2000.0f + 20000.0f, 0.5f);
}

TEST_F(DunmerrowFrameTest, ShadowExtentGrowsWithHeightShrinksLookingDownAndIsCapped) {
    EXPECT_NEAR(Dunmerrow::ShadowExtent(10000, 0.0f, 0.0f), 10000 * 0.005f * 13.0f, 1e-3);
    EXPECT_LT(Dunmerrow::ShadowExtent(10000, 2000.0f, 1.0f), Dunmerrow::ShadowExtent(10000, 2000.0f, 0.0f));
    EXPECT_FLOAT_EQ(Dunmerrow::ShadowExtent(10000, 100000.0f, 0.0f), 20000.0f);
}

TEST_F(DunmerrowFrameTest, AFrozenClockStaysFrozenAndALiveOneIsReleased) {
    Frame(0.3f);
    EXPECT_TRUE(Timer::IsFrozen());
    const u64 frozen = Timer::Now();
    EXPECT_TRUE(scene->RenderScene());
    EXPECT_EQ(Timer::Now(), frozen);
    Timer::Freeze(false);
    EXPECT_TRUE(scene->RenderScene());
    EXPECT_FALSE(Timer::IsFrozen());
}

TEST_F(DunmerrowFrameTest, TheStatisticsCarryTheDayPartAndTheFreeTextureMemory) {
    for (f32 t : {0.0f, 0.5f}) Frame(t);
    i32 part = -1;
    EXPECT_TRUE(TheStatistics().Current().children.GetInt(String("DayPart"), &part));
    EXPECT_EQ(part, 1);  // one switch a frame: part 0 at t = 0, part 1 at the next frame
    String memory;
    EXPECT_TRUE(TheStatistics().Current().children.GetString(String("FREE TEXTURE MEM"), &memory));
    EXPECT_EQ(std::string(memory.c_str()), "0.");  // no device here
}

TEST_F(DunmerrowFrameTest, AShadowDelayOfZeroOrLessCountsAsOne) {
    for (i32 delay : {0, -3}) {
        scene->ShadowDelay.value = delay;
        Frame(0.2f);
        EXPECT_EQ(scene->day.shadowFrame, 0);
    }
    scene->ShadowDelay.value = 3;
    Frame(0.2f);
    EXPECT_EQ(scene->day.shadowFrame, 1);
}

TEST_F(DunmerrowFrameTest, TheAnkhTurnsAndStartsOverAfterAFullCircle) {
    Hierarchy ankh;
    scene->ankh = &ankh;
    scene->AnkhSpeed.value = 0.001f;
    Timer::FreezeAt(1000000 + 1000);  // one radian
    scene->RenderScene();
    EXPECT_NEAR(ankh.GetTransform(false).GetUp().x, std::sin(1.0f), 1e-5);
    Timer::FreezeAt(1000000 + 7000);  // past 2 pi
    scene->RenderScene();
    EXPECT_NEAR(ankh.GetTransform(false).GetUp().z, 1.0f, 1e-6);
    EXPECT_EQ(scene->ankhTimer.Start(), 1000000u + 7000);
    scene->ankh = nullptr;
}

TEST_F(DunmerrowFrameTest, TheSunQuadFollowsTheSunAndTheFlareSourceByDayOnly) {
    Frame(0.25f);
    EXPECT_NEAR(scene->sunQuad.GetRoot()->GetTransform(false).GetPosition().y, 25000.0f, 0.5f);
    EXPECT_NEAR(scene->flare.source.y, 25000.0f, 0.5f);
    Frame(0.75f);
    EXPECT_NEAR(scene->flare.source.y, 25000.0f, 0.5f);  // the night leaves it where the day put it
    EXPECT_NEAR(scene->moonQuad.GetRoot()->GetTransform(false).GetPosition().y, 25000.0f / std::sqrt(2.0f), 1.0f);
}

}  // namespace

namespace {

TEST_F(DunmerrowFrameTest, PalmsArePlacedAtTheirPositionsOnlyWhenAnimated) {
    scene->palmCount = 3;
    for (u32 i = 0; i < 3; ++i) scene->palmPositions[i] = Vec3(-3000.0f + 400.0f * i, 0.0f, -4000.0f);
    Hierarchy* root = scene->palm.GetRoot();
    scene->IsAnimated.value = 0;
    Frame(0.3f);
    EXPECT_FLOAT_EQ(root->GetTransform(false).GetPosition().x, 0.0f);
    scene->IsAnimated.value = 1;
    Frame(0.31f);
    EXPECT_FLOAT_EQ(root->GetTransform(false).GetPosition().x, -2200.0f);
}

}  // namespace

namespace {

TEST_F(DunmerrowFrameTest, TheFlareShowsByDayUnlessTheLandmarkHidesTheSun) {
    std::vector<std::unique_ptr<Hierarchy>> nodes;
    for (u32 i = 0; i < 7; ++i) {
        nodes.push_back(std::make_unique<Hierarchy>());
        scene->flare.nodes[i] = nodes.back().get();
    }
    scene->flare.count = 7;
    scene->flare.camera = &scene->ViewCamera;
    // Low in the morning sky, straight ahead of the eye.
    scene->ViewCamera.SetView(Vec3(0.0f, 500.0f, -8000.0f), Vec3(0.0f, 0.1f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));
    Frame(0.02f);
    EXPECT_EQ(scene->day.flareNodesDrawn, 7u);
    // The pyramid between the eye and the sun.
    Hierarchy landmark;
    landmark.box = Box{0.0f, 1400.0f, 0.0f, 4400.0f, 2800.0f, 4400.0f};
    landmark.valid = 1;
    scene->landmark = &landmark;
    Frame(0.02f, 1);
    EXPECT_EQ(scene->day.flareNodesDrawn, 0u);
    // At night there is no flare at all.
    scene->landmark = nullptr;
    Frame(0.8f, 1);
    EXPECT_EQ(scene->day.flareNodesDrawn, 0u);
    for (u32 i = 0; i < 7; ++i) scene->flare.nodes[i] = nullptr;
}

}  // namespace
