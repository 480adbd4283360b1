// The bump and environment effect on the reference device: its two families of ten variants,
// the light counts of a layer's setting, the technique table of the environment textures, a
// layer without environment, and the four engine effects created together.
#include "EffectClassSupport.h"

#include "Effect/BumpEnvEffect.h"
#include "Effect/DistortEffect.h"
#include "Effect/ShadowMappedEffect.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace effectclasses;

class BumpEnvEffectDevice : public EffectClasses {};

TEST_F(BumpEnvEffectDevice, BumpEnvBuildsTwoFamiliesOfTenVariants) {
    WriteAll();
    BumpEnvEffect* effect = Create<BumpEnvEffect>();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->GetCodes().count, 20);
    EXPECT_EQ(Macros(effect->GetCodes()[0]), (std::vector<std::string>{"REFLECTION=", "NUMDIR=0", "NUMPOINT=0",
                                                                         "TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_EQ(Macros(effect->GetCodes()[10]), (std::vector<std::string>{"REFRACTION=", "NUMDIR=0", "NUMPOINT=0",
                                                                          "TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_EQ(Macros(effect->GetCodes()[9]),
              (std::vector<std::string>{"REFLECTION=", "NUMDIR=0", "POINT1=", "POINT2=", "POINT3=", "NUMPOINT=3",
                                        "TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_EQ(TheEffectManager().FindEffect(String("BumpEnv"), 100), effect);
    const StringArray& kinds = effect->GetLightKindOrder();
    ASSERT_EQ(kinds.count, 2);
    EXPECT_EQ(kinds[0], "DIR");
    EXPECT_EQ(kinds[1], "POINT");
    EXPECT_EQ(effect->GetBody().totalStride, 56u);
}

TEST_F(BumpEnvEffectDevice, BumpEnvLightSettingsTakeTheirTableEntries) {
    Material m;
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -1, 7), 3);
    TheEffectManager().settings.defaultLightLevel = 0;
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -1, 7), 1);
    TheEffectManager().settings.defaultLightLevel = 99;
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -1, 7), 5);
    // -2: the material's own limit, else the count as it was.
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -2, 7), 7);
    m.values.children.SetFloat(String("MaxLights"), 2.0f);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -2, 7), 7);
    m.values.children.SetInt(String("MaxLights"), 2);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -2, 7), 2);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(nullptr, -2, 4), 4);
    // Entries of the table, and settings beyond it at its ends.
    for (i32 n = 0; n < 5; ++n) EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, n, 7), n + 1);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, 5, 7), 5);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, 1000000, 7), 5);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -3, 7), 1);
    EXPECT_EQ(BumpEnvEffect::LightCountFor(&m, -2147483647 - 1, 7), 1);
}

TEST_F(BumpEnvEffectDevice, BumpEnvChoosesItsTechniqueFromTheEnvironmentTextures) {
    WriteAll();
    BumpEnvEffect* effect = Create<BumpEnvEffect>();
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<Texture> cube = MakeTexture(true), flat = MakeTexture(false), gloss = MakeTexture(false);
    struct Case {
        Texture* reflection;
        Texture* reflectionGloss;
        Texture* refraction;
        Texture* refractionGloss;
        const char* expected;
    };
    const Case cases[] = {
        {cube.get(), nullptr, nullptr, nullptr, "Refl"},
        {cube.get(), gloss.get(), nullptr, nullptr, "ReflGloss"},
        {flat.get(), nullptr, nullptr, nullptr, "ReflSphere"},
        {flat.get(), gloss.get(), nullptr, nullptr, "ReflSphereGloss"},
        {nullptr, nullptr, cube.get(), nullptr, "Refr"},
        {nullptr, nullptr, cube.get(), gloss.get(), "RefrGloss"},
        {nullptr, nullptr, flat.get(), nullptr, "RefrSphere"},
        {nullptr, nullptr, flat.get(), gloss.get(), "RefrSphereGloss"},
        // Both: the reflection family, with the reflection's own gloss.
        {cube.get(), nullptr, flat.get(), gloss.get(), "Refl"},
        {flat.get(), gloss.get(), cube.get(), nullptr, "ReflSphereGloss"},
    };
    context.lighting = Lighting({Dir(0.9f), Point(1.0f, 2.0f, 3.0f)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        MaterialLayer& layer = material.layers[0];
        layer.samplers[kEnvMap].texture = c.reflection;
        layer.samplers[kGlossMap].texture = c.reflectionGloss;
        layer.samplers[kEnvMap2].texture = c.refraction;
        layer.samplers[kGlossMap2].texture = c.refractionGloss;
        EXPECT_EQ(BumpEnvEffect::TechniqueFor(layer), c.expected);
        // One variant holds the directional and the point light: one technique, one pass.
        EXPECT_EQ(Draw(*effect, material), (std::vector<std::string>{std::string(c.expected) + " 0"}));
    }
}

TEST_F(BumpEnvEffectDevice, BumpEnvLimitsTheLightsToTheLayersSetting) {
    WriteAll();
    BumpEnvEffect* effect = Create<BumpEnvEffect>();
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<Texture> cube = MakeTexture(true);
    material.layers[0].samplers[kEnvMap].texture = cube.get();
    context.lighting = Lighting({Dir(0.9f), Dir(0.8f), Dir(0.7f), Point(1.0f, 2.0f, 3.0f)});
    auto lightsDrawn = [&] {
        i32 total = 0;
        for (const TechniqueEntry& e : effect->GetCurrentSelection()->entries) total += e.lights.count;
        return total;
    };
    // -2 with "MaxLights" 2: two lights.
    material.layers[0].effectQuality = -2;
    material.values.children.SetInt(String("MaxLights"), 2);
    i32 passes = -1;
    ASSERT_TRUE(effect->SelectTechnique(&material, 0, passes));
    EXPECT_EQ(lightsDrawn(), 2);
    // -1: the default level, three lights, one variant.
    material.layers[0].effectQuality = -1;
    ASSERT_TRUE(effect->SelectTechnique(&material, 0, passes));
    EXPECT_EQ(lightsDrawn(), 3);
    EXPECT_EQ(passes, 1);
    // 0: one light.
    material.layers[0].effectQuality = 0;
    ASSERT_TRUE(effect->SelectTechnique(&material, 0, passes));
    EXPECT_EQ(lightsDrawn(), 1);
    // Far past the table: its last entry, five lights, which take two techniques.
    material.layers[0].effectQuality = 40;
    ASSERT_TRUE(effect->SelectTechnique(&material, 0, passes));
    EXPECT_EQ(lightsDrawn(), 4);
    EXPECT_EQ(passes, 2);
}

TEST_F(BumpEnvEffectDevice, BumpEnvDrawsNothingForALayerWithoutEnvironment) {
    WriteAll();
    BumpEnvEffect* effect = Create<BumpEnvEffect>();
    ASSERT_NE(effect, nullptr);
    std::unique_ptr<Texture> cube = MakeTexture(true);
    material.layers[0].samplers[kEnvMap].texture = cube.get();
    context.lighting = Lighting({Dir(0.9f)});
    EXPECT_EQ(Draw(*effect, material), (std::vector<std::string>{"Refl 0"}));

    material.layers[0].samplers[kEnvMap].texture = nullptr;
    material.layers[0].samplers[kGlossMap].texture = cube.get();  // a gloss map alone is no environment
    ClearRecords();
    i32 passes = -1;
    EXPECT_FALSE(effect->SelectTechnique(&material, 0, passes));
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(effect->GetCurrentSelection(), nullptr);
    EXPECT_FALSE(effect->BeginPass(0));
    EXPECT_TRUE(effect->End());
    EXPECT_TRUE(PlatformTest_D3dx9EffectPasses().empty());
    EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());
}

// All four at once, as the manager creates them at start-up.
TEST_F(BumpEnvEffectDevice, TheFourEffectsCreateTogether) {
    WriteAll();
    Array<Effect*> list(0, 4);
    list.Add(new DistortEffect);
    list.Add(new ShadowMappedEffect);
    list.Add(new ShadowMapEffect);
    list.Add(new BumpEnvEffect);
    ASSERT_TRUE(TheEffectManager().Create(list));
    ASSERT_EQ(TheEffectManager().Effects().count, 4);
    for (const char* name : {"Distort", "ShadowMapped", "Bump", "ShadowMap", "BumpEnv"})
        EXPECT_NE(TheEffectManager().FindEffect(String(name), 100), nullptr) << name;
    EXPECT_EQ(TheEffectManager().CodeCount(), 1u + 2u + 2u + 20u);
    TheEffectManager().Reset();
    EXPECT_EQ(TheShadowMapEffect(), nullptr);
    EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 0);
}

// A draw through each of the four, a device reset, and the same draws again: the variants
// come back, the parameter handles are read afresh, and no effect is left over.
TEST_F(BumpEnvEffectDevice, EachEffectDrawsAgainAfterADeviceReset) {
    WriteAll();
    Array<Effect*> list(0, 4);
    list.Add(new DistortEffect);
    list.Add(new ShadowMappedEffect);
    list.Add(new ShadowMapEffect);
    list.Add(new BumpEnvEffect);
    ASSERT_TRUE(TheEffectManager().Create(list));
    ASSERT_EQ(TheEffectManager().Effects().count, 4);
    std::unique_ptr<Texture> cube = MakeTexture(true);
    material.layers[0].samplers[kEnvMap].texture = cube.get();
    // The shadow-mapped effect takes the spot light, the bump effect the directional one;
    // the others take none.
    context.lighting = Lighting({Spot(0.3f, 0.5f), Dir(0.5f)});
    const std::vector<std::vector<std::string>> expected = {
        {"Simple 0"}, {"ShadowSpot 0"}, {"ShadowMap 0"}, {"Refl 0"}};
    auto drawAll = [&] {
        for (i32 i = 0; i < 4; ++i) {
            Effect* effect = TheEffectManager().Effects()[i];
            EXPECT_EQ(Draw(*effect, material), expected[static_cast<size_t>(i)]) << i;
        }
    };
    drawAll();
    const int live = PlatformTest_D3dx9LiveEffects();
    ASSERT_TRUE(app->ResetDevice());
    for (Effect* effect : TheEffectManager().Effects()) EXPECT_TRUE(effect->NeedsParameterRefresh());
    drawAll();
    for (Effect* effect : TheEffectManager().Effects()) EXPECT_FALSE(effect->NeedsParameterRefresh());
    EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), live);
    EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());
    TheEffectManager().Reset();
    EXPECT_EQ(PlatformTest_D3dx9LiveEffects(), 0);
}

}  // namespace
