// The product scene's settings and loading on the reference device: the shipped values of
// every key, the two sliders and what the registry may put in them, the world render
// target, the ambient colour without bump mapping, the nodes regrouped out of a synthetic
// ground, the sprites, sky boxes, flares, lights, glows and the music, and the factory of
// the program's mode objects.
#include "tests/linux/DunmerrowTestSupport.h"

#include "D3d/Texture.h"
#include "Screen/SaverModes.h"

#include <algorithm>

namespace {

using namespace dunmerrowtest;

class DunmerrowLoad : public DunmerrowFixture {};

// The node names of a node's children in their order.
std::vector<std::string> ChildNames(Hierarchy* node) {
    std::vector<std::string> names;
    ChildMap& children = node->GetChildren();
    auto* entry = children.first;
    for (u32 i = 0; i < children.count; ++i, entry = entry->next) names.push_back(entry->value->GetName().c_str());
    return names;
}

// The flights of Animations, sorted.
std::vector<std::string> FlightNames(Dunmerrow& scene) {
    std::vector<std::string> names;
    scene.Animations.ForEach([&](const String& name) { names.push_back(name.c_str()); });
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectColorBytes(const FColor& c, f32 r, f32 g, f32 b, const char* what) {
    EXPECT_NEAR(c.r, r / 255.0f, 1e-5f) << what;
    EXPECT_NEAR(c.g, g / 255.0f, 1e-5f) << what;
    EXPECT_NEAR(c.b, b / 255.0f, 1e-5f) << what;
}

D3DSURFACE_DESC TargetDesc(RenderTarget& target) {
    D3DSURFACE_DESC desc{};
    if (IDirect3DSurface9* surface = target.GetColorSurface()) surface->GetDesc(&desc);
    return desc;
}

// ---- the object and its settings ----------------------------------------------------------

TEST_F(DunmerrowLoad, BuildingTheSceneSwitchesOffTheLogTheStatisticsAndForcedCompiling) {
    TheRenderDefaults().forceCompile = 1;
    Dunmerrow* s = new Dunmerrow;
    EXPECT_EQ(TheLogRegistry().masterSwitch, 0);
    EXPECT_EQ(TheStatistics().enabled, 0);
    EXPECT_EQ(TheRenderDefaults().forceCompile, 0);
    delete s;
}

TEST_F(DunmerrowLoad, EverySettingStartsEmptyUntilTheConfigurationIsRead) {
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

TEST_F(DunmerrowLoad, TheShippedConfigurationGivesEveryKeyItsValue) {
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

TEST_F(DunmerrowLoad, TheSlidersComeFromTheRegistryAndTheBoundsFromTheDocumentOnly) {
    SetSetting("ShadowQuality", 60);
    SetSetting("DayLength", 7);
    SetSetting("DayMaxLength", 5);
    Dunmerrow* s = Make();
    ASSERT_TRUE(s->LoadConfig());
    ASSERT_TRUE(s->LoadSettings());
    EXPECT_EQ(ShadowQualitySetting, 60);
    EXPECT_EQ(DayLengthSetting, 7);
    EXPECT_EQ(DayMaxLengthSetting, 86400000);
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

// ---- loading ----------------------------------------------------------------------------------

TEST_F(DunmerrowLoad, LoadingTurnsTheSlidersIntoMillisecondsAndAMapSize) {
    SceneOptions options;
    options.recordingEffects = {"ShadowMap", "ShadowMapped"};
    SetSetting("ShadowQuality", 60);
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(DayLengthSetting, 21604500);
    EXPECT_EQ(ShadowQualitySetting, 1228);
    EXPECT_EQ(scene->ShadowsEnabled.value, 1);
    EXPECT_EQ(scene->shadowMap.GetSize(), 1228u);
    EXPECT_NE(Log().find("ShadowQuality = 1228"), std::string::npos);
}

struct SliderCase {
    DWORD shadow;
    DWORD day;
    i32 size;
    i32 dayMs;
};

class DunmerrowSliderLoad : public DunmerrowFixture, public ::testing::WithParamInterface<SliderCase> {};

TEST_P(DunmerrowSliderLoad, RegistryValuesAreClampedBeforeUse) {
    const SliderCase c = GetParam();
    SetSetting("ShadowQuality", c.shadow);
    SetSetting("DayLength", c.day);
    SceneOptions options;
    options.recordingEffects = {"ShadowMap", "ShadowMapped"};
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(ShadowQualitySetting, c.size);
    EXPECT_EQ(scene->ShadowsEnabled.value, c.size != 0 ? 1 : 0);
    if (c.size != 0) {
        EXPECT_EQ(scene->shadowMap.GetSize(), static_cast<u32>(c.size));
    }
    EXPECT_EQ(DayLengthSetting, c.dayMs);
}

INSTANTIATE_TEST_SUITE_P(Rows, DunmerrowSliderLoad,
                         ::testing::Values(SliderCase{60, 0, 1228, 6000}, SliderCase{10, 50, 256, 21604500},
                                           SliderCase{5, 100, 102, 86400000}, SliderCase{0, 100, 0, 86400000},
                                           SliderCase{static_cast<DWORD>(-5), static_cast<DWORD>(-5), 0, 6000},
                                           SliderCase{500, 500, 2048, 86400000}));

TEST_F(DunmerrowLoad, WithoutTheShadowEffectsShadowsGoOff) {
    SceneOptions options;
    options.recordingEffects = {"ShadowMap"};
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(ShadowQualitySetting, 2048);
    EXPECT_EQ(scene->ShadowsEnabled.value, 0);
    EXPECT_EQ(scene->shadowMap.GetSize(), 0u);
}

TEST_F(DunmerrowLoad, AShadowMapThatCannotBeMadeLeavesTheFramesWithoutShadows) {
    // Without depth textures the map has a depth surface of its own, the second after the
    // world target's.
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.depthTextureFormats.clear();
    PlatformTest_D3d9SetAdapters({adapter});
    SceneOptions options;
    options.recordingEffects = {"ShadowMap", "ShadowMapped"};
    Make(options);
    PlatformTest_D3d9FailCall("CreateDepthStencilSurface", 2, D3DERR_OUTOFVIDEOMEMORY);
    ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr)) << "loading goes on";
    EXPECT_NE(Log().find("ShadowMap failed to create!"), std::string::npos);
    EXPECT_EQ(scene->ShadowsEnabled.value, 0);
    EXPECT_NE(scene->world.GetColorSurface(), nullptr);
    EXPECT_EQ(scene->palmCount, Dunmerrow::kPalms);
}

TEST_F(DunmerrowLoad, ABigScreenGetsAWorldTargetOf1280By1024) {
    PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
    adapter.desktop.Width = 1600;
    adapter.desktop.Height = 1200;
    D3DDISPLAYMODE big = adapter.desktop;
    big.Format = D3DFMT_X8R8G8B8;
    adapter.modes.push_back(big);
    PlatformTest_D3d9SetAdapters({adapter});
    SceneOptions options;
    options.debug = false;
    ASSERT_TRUE(Start(options));
    const IntRect screen = scene->GetScreenRect();
    ASSERT_EQ(screen.right, 1600);
    ASSERT_EQ(screen.bottom, 1200);
    const D3DSURFACE_DESC desc = TargetDesc(scene->world);
    EXPECT_EQ(desc.Width, 1280u);
    EXPECT_EQ(desc.Height, 1024u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
}

TEST_F(DunmerrowLoad, ASmallScreenGetsATargetOfItsOwnSize) {
    ASSERT_TRUE(Start());
    const IntRect screen = scene->GetScreenRect();
    const D3DSURFACE_DESC desc = TargetDesc(scene->world);
    EXPECT_EQ(desc.Width, static_cast<UINT>(screen.right));
    EXPECT_EQ(desc.Height, static_cast<UINT>(screen.bottom));
}

TEST_F(DunmerrowLoad, AWorldTargetThatCannotBeMadeFailsTheStart) {
    Make();
    PlatformTest_D3d9FailCall("CreateDepthStencilSurface", 1, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(scene->Create(GetModuleHandleA(nullptr), nullptr));
    const std::string log = Log();
    EXPECT_NE(log.find("World texture failed to create!"), std::string::npos);
    EXPECT_NE(log.find("LoadCustom failed"), std::string::npos);
    EXPECT_EQ(scene->ground.GetRoot()->GetChildren().count, 0u) << "nothing after the target loads";
}

TEST_F(DunmerrowLoad, WithoutBumpMappingTheAmbientLightIsWarmerBeforeAnyFrame) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(scene->bumpEffect);
    ExpectColorBytes(scene->AmbientLight.value, 255, 255, 200, "AmbientLight");
}

TEST_F(DunmerrowLoad, WithBumpMappingTheAmbientLightIsTheConfiguredOne) {
    SceneOptions options;
    options.recordingEffects = {"Bump"};
    ASSERT_TRUE(Start(options));
    EXPECT_TRUE(scene->bumpEffect);
    ExpectColorBytes(scene->AmbientLight.value, 180, 180, 180, "AmbientLight");
}

TEST_F(DunmerrowLoad, ThePalmsLeaveTheGroundAndOnlyTheirPositionsStay) {
    ASSERT_TRUE(Start());
    ASSERT_EQ(scene->palmCount, Dunmerrow::kPalms);
    for (u32 i = 0; i < Dunmerrow::kPalms; ++i) {
        const Vec3 expected = PalmPosition(i);
        EXPECT_NEAR(scene->palmPositions[i].x, expected.x, 0.01f) << i;
        EXPECT_NEAR(scene->palmPositions[i].y, expected.y, 0.01f) << i;
        EXPECT_NEAR(scene->palmPositions[i].z, expected.z, 0.01f) << i;
        const std::string name = "Palm0" + std::to_string(i + 1);
        EXPECT_EQ(scene->ground.GetRoot()->FindNode(String(name.c_str())), nullptr) << name;
    }
    // The palm model itself keeps its trunk and leaves.
    EXPECT_NE(scene->palm.GetRoot()->FindNode(String("Palm01")), nullptr);
    EXPECT_NE(scene->palm.GetRoot()->FindNode(String("Palm02")), nullptr);
}

TEST_F(DunmerrowLoad, TheMonumentGroupTakesItsFiveNodesInOrder) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(ChildNames(scene->monuments.GetRoot()),
              (std::vector<std::string>{"Ankh", "Object012", "Object02", "figure01", "Object05"}));
    for (const MonumentPiece& piece : kMonumentPieces)
        EXPECT_EQ(scene->ground.GetRoot()->FindNode(String(piece.name)), nullptr) << piece.name;
    ASSERT_NE(scene->ankh, nullptr);
    EXPECT_EQ(scene->ankh, scene->monuments.GetRoot()->FindNode(String("Ankh")));
    ASSERT_NE(scene->lightMap, nullptr);
    EXPECT_EQ(scene->lightMap, scene->ground.GetRoot()->FindNode(String("Object11")));
}

TEST_F(DunmerrowLoad, TheLandmarkIsHeldAloneAndTheSmallerPyramidJoinsTheLandmarkGroup) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(scene->ground.GetRoot()->FindNode(String("Object01")), nullptr);
    EXPECT_EQ(scene->ground.GetRoot()->FindNode(String("Pyr1")), nullptr);
    ASSERT_NE(scene->landmark, nullptr);
    EXPECT_STREQ(scene->landmark->GetName().c_str(), "Object01");
    EXPECT_EQ(scene->landmark->GetParent(), nullptr);
    EXPECT_TRUE(scene->landmark->cullOptions & kCullExplicitBounds) << "the landmark keeps its box";
    EXPECT_EQ(ChildNames(scene->landmarkGroup.GetRoot()), std::vector<std::string>{"Pyr1"});
    // What stays in the ground: the dunes and the floor.
    EXPECT_EQ(ChildNames(scene->ground.GetRoot()), (std::vector<std::string>{"Dunes", "Object11"}));
}

TEST_F(DunmerrowLoad, NodesTheGroundLacksLeaveTheirStepsOut) {
    Make();
    ModelBuilder b;
    MeshNode(b.Root(), "Dunes", Vec3(0.0f, 0.0f, 0.0f), 30000.0f);
    MeshNode(b.Root(), "Palm03", PalmPosition(2), 20.0f);
    MeshNode(b.Root(), "figure01", Vec3(0.0f, 0.0f, 0.0f), 20.0f);
    WriteBytes(folder / "Media" / "Models" / "All" / "Ground.UDF", b.Build());
    ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_EQ(scene->palmCount, 1u);
    EXPECT_NEAR(scene->palmPositions[0].x, PalmPosition(2).x, 0.01f);
    EXPECT_EQ(ChildNames(scene->monuments.GetRoot()), std::vector<std::string>{"figure01"});
    EXPECT_EQ(scene->ankh, nullptr);
    EXPECT_EQ(scene->lightMap, nullptr);
    EXPECT_EQ(scene->landmark, nullptr);
    EXPECT_EQ(scene->landmarkGroup.GetRoot()->GetChildren().count, 0u);
}

TEST_F(DunmerrowLoad, WithoutAnyModelTheSceneStillStarts) {
    SceneOptions options;
    options.models = false;
    options.textures = false;
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(scene->palmCount, 0u);
    EXPECT_EQ(scene->landmark, nullptr);
    for (Material* material : scene->skyMaterials) EXPECT_EQ(material, nullptr);
    EXPECT_NE(Log().find("Cannot load udf: "), std::string::npos);
}

TEST_F(DunmerrowLoad, TheGroundAndThePalmsPlayTheirDefaultAnimationLooping) {
    ASSERT_TRUE(Start());
    Hierarchy* dunes = scene->ground.GetRoot()->FindChild(String("Dunes"));
    ASSERT_NE(dunes, nullptr);
    ASSERT_NE(dunes->GetAnimationTree(), nullptr);
    EXPECT_NE(dunes->GetAnimationTree()->flags.bits & kAnimLoop, 0u);
    EXPECT_FLOAT_EQ(dunes->GetAnimationTree()->speed, 1.0f);
    Hierarchy* leaves = scene->palm.GetRoot()->FindChild(String("Palm02"));
    ASSERT_NE(leaves, nullptr);
    ASSERT_NE(leaves->GetAnimationTree(), nullptr);
    EXPECT_NE(leaves->GetAnimationTree()->flags.bits & kAnimLoop, 0u);
}

TEST_F(DunmerrowLoad, ThePalmLeavesAreAlphaTestedFrom110) {
    ASSERT_TRUE(Start());
    Hierarchy* leaves = scene->palm.GetRoot()->FindNode(String("Palm02"));
    ASSERT_NE(leaves, nullptr);
    const Material& material = leaves->GetMaterial();
    EXPECT_EQ(material.alphaTestAllowed, 1);
    EXPECT_EQ(material.layers[0].alphaFunc, static_cast<u32>(D3DCMP_GREATEREQUAL));
    EXPECT_EQ(material.layers[0].alphaRef, 110u);
}

TEST_F(DunmerrowLoad, TheSunAddsItsLightAndTheMoonShowsItsTextureBothFacingTheCamera) {
    ASSERT_TRUE(Start());
    Hierarchy* sun = scene->sunQuad.GetRoot()->FindChild(String("Quad"));
    Hierarchy* moon = scene->moonQuad.GetRoot()->FindChild(String("Quad"));
    ASSERT_NE(sun, nullptr);
    ASSERT_NE(moon, nullptr);
    const MaterialLayer& s = sun->GetMaterial().layers[0];
    ASSERT_NE(s.BaseTexture(), nullptr);
    EXPECT_EQ(s.stages[0].sampler.texture, s.BaseTexture());
    EXPECT_EQ(s.depthWrite, 0);
    EXPECT_EQ(s.lit, 0);
    EXPECT_EQ(s.blendEnabled, 1);
    EXPECT_EQ(s.srcBlend, static_cast<u32>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(s.destBlend, static_cast<u32>(D3DBLEND_ONE));
    EXPECT_EQ(s.stages[0].colorOp, static_cast<u32>(D3DTOP_SELECTARG1)) << "the texture alone, unlit";
    EXPECT_EQ(s.stages[0].colorArg[1], static_cast<u32>(D3DTA_TEXTURE));
    const MaterialLayer& m = moon->GetMaterial().layers[0];
    ASSERT_NE(m.BaseTexture(), nullptr);
    EXPECT_NE(m.BaseTexture(), s.BaseTexture());
    EXPECT_EQ(m.depthWrite, 0);
    EXPECT_EQ(m.lit, 0);
    EXPECT_EQ(m.stages[0].alphaOp, static_cast<u32>(D3DTOP_SELECTARG1));
    EXPECT_EQ(m.stages[0].alphaArg[1], static_cast<u32>(D3DTA_TEXTURE));
    for (Hierarchy* node : {sun, moon})
        for (u8 axis : node->faceAxes) EXPECT_EQ(axis, 1);
    const Vec3 sunScale = scene->sunQuad.GetRoot()->GetTransform(false).GetScale();
    const Vec3 moonScale = scene->moonQuad.GetRoot()->GetTransform(false).GetScale();
    EXPECT_FLOAT_EQ(sunScale.x, 45.0f);
    EXPECT_FLOAT_EQ(sunScale.z, 45.0f);
    EXPECT_FLOAT_EQ(moonScale.y, 15.0f);
}

TEST_F(DunmerrowLoad, TheSpritesScaleWithTheSceneScale) {
    SceneOptions options;
    options.settings = "Scale = 2";
    ASSERT_TRUE(Start(options));
    EXPECT_FLOAT_EQ(scene->sunQuad.GetRoot()->GetTransform(false).GetScale().y, 90.0f);
    EXPECT_FLOAT_EQ(scene->moonQuad.GetRoot()->GetTransform(false).GetScale().y, 30.0f);
}

TEST_F(DunmerrowLoad, TheSkyTableHoldsFourSetsOfFiveFacesAndTheFaceMaterials) {
    ASSERT_TRUE(Start());
    const f32 starts[4] = {0.0f, 0.09f, 0.44f, 0.58f};
    for (u32 s = 0; s < Dunmerrow::kSkySets; ++s) {
        EXPECT_FLOAT_EQ(scene->skyTable[s].start, starts[s]) << s;
        for (u32 f = 0; f < 5; ++f) EXPECT_NE(scene->skyTable[s].faces[f], nullptr) << s << " " << f;
    }
    EXPECT_NE(scene->skyTable[0].faces[0], scene->skyTable[1].faces[0]);
    EXPECT_EQ(scene->currentSky, 0);
    for (u32 k = 0; k < 5; ++k) {
        Hierarchy* face = scene->sky.GetRoot()->FindChild(String(("Sky" + std::to_string(k + 1)).c_str()));
        ASSERT_NE(face, nullptr) << k;
        EXPECT_EQ(scene->skyMaterials[k], &face->GetMaterial()) << k;
    }
}

TEST_F(DunmerrowLoad, SevenFlareNodesComeFromTheFourFlareModels) {
    ASSERT_TRUE(Start());
    ASSERT_EQ(scene->flare.count, 7u);
    const u32 models[7] = {0, 1, 2, 3, 0, 1, 2};
    for (u32 i = 0; i < 7; ++i) EXPECT_EQ(scene->flare.nodes[i], scene->flares[models[i]].GetRoot()) << i;
    for (SceneModel& model : scene->flares) EXPECT_NE(model.GetRoot()->FindChild(String("Plane01")), nullptr);
    EXPECT_EQ(scene->flare.camera, &scene->ViewCamera);
    EXPECT_FLOAT_EQ(scene->flare.distance, 10000.0f);
}

TEST_F(DunmerrowLoad, TheSunAndMoonAreSpotLightsSwitchedOffWithAnOrthographicShadow) {
    ASSERT_TRUE(Start());
    for (const RefHandle<Light>* handle : {&scene->sunLight, &scene->moonLight}) {
        Light* light = handle->Get();
        ASSERT_NE(light, nullptr);
        EXPECT_EQ(light->GetType(), D3DLIGHT_SPOT);
        EXPECT_FALSE(light->IsEnabled());
        EXPECT_FALSE(light->IsShadowPerspective());
    }
    EXPECT_NE(scene->sunLight.Get(), scene->moonLight.Get());
}

TEST_F(DunmerrowLoad, TheDistortionViewShowsTheBoxNode) {
    ASSERT_TRUE(Start());
    ASSERT_NE(scene->viewCell.Clone(), nullptr);
    EXPECT_STREQ(scene->viewCell.Clone()->GetName().c_str(), "box");
}

TEST_F(DunmerrowLoad, EveryGlowTheArraysDescribeIsBuilt) {
    ASSERT_TRUE(Start());
    const u32 rays[5] = {30, 15, 15, 15, 15};
    for (u32 i = 0; i < Dunmerrow::kGlows; ++i) {
        EXPECT_EQ(scene->glows[i].RayCount(), rays[i]) << i;
        EXPECT_NE(scene->magic[i].Node(), nullptr) << i;
    }
    EXPECT_FLOAT_EQ(scene->glows[3].Centre().x, 5552.187f);
}

TEST_F(DunmerrowLoad, ShortGlowArraysBuildOnlyTheCompleteGlows) {
    SceneOptions options;
    options.settings = "GlowSize = array(150,150,150)\nGlowRays = array(4,3,30,15)";
    ASSERT_TRUE(Start(options));
    const u32 rays[5] = {4, 3, 30, 0, 0};
    for (u32 i = 0; i < Dunmerrow::kGlows; ++i) {
        EXPECT_EQ(scene->glows[i].RayCount(), rays[i]) << i;
        EXPECT_EQ(scene->magic[i].Node() != nullptr, i < 3) << i;
    }
}

TEST_F(DunmerrowLoad, TheFlightsOfTheFirstCameraListReplaceTheSceneKeys) {
    SceneOptions options;
    options.debug = false;
    options.settings = "Cameras = array(array(\"2.cam\",\"3.cam\"),array(\"4.cam\"))";
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(FlightNames(*scene), (std::vector<std::string>{"2.cam", "3.cam"}));
}

TEST_F(DunmerrowLoad, WithoutCameraListsTheSceneKeysFlightsStay) {
    SceneOptions options;
    options.debug = false;
    options.settings = "Cameras = array()";
    ASSERT_TRUE(Start(options));
    EXPECT_EQ(FlightNames(*scene), std::vector<std::string>{"c.cam"});
}

TEST_F(DunmerrowLoad, TheDebugModeKeepsItsOwnFlights) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(FlightNames(*scene), std::vector<std::string>{"c.cam"});
}

TEST_F(DunmerrowLoad, LoadingIsTimedInTheLog) {
    ASSERT_TRUE(Start());
    const std::string log = Log();
    const size_t first = log.find("Load: ");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Load: ", first + 1), std::string::npos) << "the ground, then the whole";
}

// ---- the music ----------------------------------------------------------------------------------

TEST_F(DunmerrowLoad, TheMusicStartsWithTheSceneAndIsReleasedAfterIt) {
    SceneOptions options;
    options.music = true;
    ASSERT_TRUE(Start(options));
    ASSERT_TRUE(scene->music.IsLoaded());
    EXPECT_NE(scene->music.Sample(), 0u);
    const std::vector<std::string> calls = MusicCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "Init 1 44100 4");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "SetConfig 4 0"), calls.end()) << "the volume starts at 0";
    const std::string library = scene->music.LibraryFile();
    EXPECT_TRUE(fs::exists(library));
    scene->ReleaseCustom();
    EXPECT_FALSE(scene->music.IsLoaded());
    EXPECT_FALSE(fs::exists(library));
}

TEST_F(DunmerrowLoad, EachUpdateRampsTheVolumeAndPutsTheListenerAtTheCamera) {
    SceneOptions options;
    options.music = true;
    ASSERT_TRUE(Start(options));
    fs::remove(folder / "music-calls.txt");
    Timer::Freeze(true);
    scene->music.MusicTimer().SetStart(Timer::Now() - 2000);
    scene->ViewCamera.SetView(Vec3(1.0f, 2.0f, 3.0f), Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));
    EXPECT_TRUE(scene->Update());
    EXPECT_EQ(MusicCalls(), (std::vector<std::string>{"SetConfig 4 40", "Set3DPosition 1,2,3 null 0,0,1 0,1,0",
                                                       "Apply3D"}));
}

class DunmerrowQuietMusic : public DunmerrowFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(DunmerrowQuietMusic, MakesNoCallEachFrame) {
    SceneOptions options;
    options.music = true;
    options.settings = GetParam();
    ASSERT_TRUE(Start(options));
    fs::remove(folder / "music-calls.txt");
    EXPECT_TRUE(scene->Update());
    EXPECT_EQ(MusicCalls(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(MusicOffOrVolumeZero, DunmerrowQuietMusic, ::testing::Values("Music = 0", "Volume = 0"));

// ---- the program's mode objects ------------------------------------------------------------------

TEST_F(DunmerrowLoad, TheProgramRunsTheSceneInEveryFullScreenMode) {
    for (i32 mode : {i32{ScreenSaver::kModeFull}, i32{ScreenSaver::kModeTest}, i32{ScreenSaver::kModePassword}, i32{7}}) {
        ScreenSaver* made = CreateProductSaver(mode);
        SwitchDiagnosticsOn();
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
