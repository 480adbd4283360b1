// The standard effect on the reference device, built from effect source text: the values
// of the standard parameters, the fog, ambient and light parameters each technique of a
// selection sends, and the handles read again after a lost device. Everything is read from
// what the recorded passes sent.
#include "EffectDrawSupport.h"

#include "Core/Geometry.h"
#include "D3d/Texture.h"
#include "Effect/StandardEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace effectdraw;

const char* const kAllStandardNames[] = {"WorldViewProj", "WorldView",   "CubeMapEnv", "ObjToCube", "EyePoint",
                                         "EyeCube",       "DiffuseMap",  "NormalMap",  "EnvironmentMap",
                                         "EnvGlossMap",   "SpecularMap", "OffsetBias", "FresnelR0", "Etha",
                                         "SpecPower",     "TexFactor",   "ViewDir",    "AlphaRef"};

// A standard effect over the lit source: every standard name bound, its own light plan (none)
// and limit (all lights), variants of up to `maxTotal` lights.
class LitEffect : public StandardEffect {
public:
    explicit LitEffect(i32 maxTotal) : maxTotal_(maxTotal) {
        for (const char* name : kAllStandardNames) EXPECT_TRUE(BindParameter(String(name)));
        SetDefaultTechnique(String("Lit"));
    }
    bool Load(const fs::path& source) {
        if (!Effect::Create() || !pool.Create()) return false;
        Array<LightGroup> groups = LitGroups(maxTotal_);
        return LoadEffectGroup(codes, LitDesc(source, &pool), 0, groups, 20);
    }
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override {
        return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
    }
    EffectCode* Code(i32 i) { return codes[i].Get(); }

private:
    i32 maxTotal_;
};

std::string Num(f32 value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

std::string Vec(f32 x, f32 y, f32 z, f32 w) { return "[" + Num(x) + ", " + Num(y) + ", " + Num(z) + ", " + Num(w) + "]"; }

Matrix Translation(f32 x, f32 y, f32 z, f32 scale = 1.0f) {
    Matrix m = IdentityMatrix;
    m.kind = 0;
    m.m[0] = m.m[5] = m.m[10] = scale;
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    m.valid = 1;
    return m;
}

class StandardEffectDevice : public DrawDevice {
protected:
    void SetUp() override {
        DrawDevice::SetUp();
        if (HasFatalFailure()) return;
        source = Write("Lit.fx", kLitSource);
        material.context = &context;
        SetFallbackTexture(nullptr);
    }
    void TearDown() override {
        SetFallbackTexture(nullptr);
        DrawDevice::TearDown();
    }
    // One whole draw; the values each BeginPass sent, in order.
    std::vector<PlatformTestEffectPass> Draw(LitEffect& effect) {
        ClearRecords();
        i32 passes = -1;
        EXPECT_TRUE(effect.SelectTechnique(&material, 0, passes));
        EXPECT_TRUE(effect.SetParameters(&material, 0));
        for (i32 p = 0; p < passes; ++p) EXPECT_TRUE(effect.BeginPass(p));
        EXPECT_TRUE(effect.End());
        return PlatformTest_D3dx9EffectPasses();
    }
    // The value a parameter had at the first pass of a one-light-set draw.
    std::string FirstValue(LitEffect& effect, const char* name) {
        const std::vector<PlatformTestEffectPass> passes = Draw(effect);
        if (passes.empty()) return "<no pass>";
        const std::string* value = passes[0].Find(name);
        return value ? *value : "<not sent>";
    }
    std::unique_ptr<Texture> MakeTexture(bool cube) {
        auto texture = std::make_unique<Texture>();
        EXPECT_TRUE(texture->CreateEmpty(TEX_EMPTY, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube, false));
        return texture;
    }
    static std::string TextureText(Texture& texture) {
        return "#" + std::to_string(PlatformTest_D3d9ObjectNumber(texture.GetBaseTexture()));
    }

    fs::path source;
    RenderContext context;
    Material material;
};

// One standard parameter per row: the set-up, the parameter and the value that reached the
// effect.
struct ParamCase {
    const char* name;
    std::function<void(Material&, RenderContext&)> setUp;
    const char* parameter;
    std::string expected;
};

TEST_F(StandardEffectDevice, StandardParametersSendTheirValues) {
    const std::vector<ParamCase> cases = {
        {"alpha reference in 1/255", [](Material& m, RenderContext&) { m.layers[0].alphaRef = 128; }, "AlphaRef",
         Num(128.0f * 0.003921569f)},
        {"default factor and opacity", [](Material&, RenderContext&) {}, "TexFactor", Vec(1, 1, 1, 1)},
        {"factor colour with opacity",
         [](Material& m, RenderContext&) {
             m.layers[0].factor.Set(0.75f, 0.5f, 0.25f, 1.0f);
             m.layers[0].opacity = 0.5f;
         },
         "TexFactor", Vec(0.5f, 0.25f, 1.0f, 0.5f)},
        {"no offset bias", [](Material&, RenderContext&) {}, "OffsetBias", Num(0.01f)},
        {"an offset bias that is no float",
         [](Material& m, RenderContext&) { m.values.children.SetInt(String("OffsetBias"), 3); }, "OffsetBias",
         Num(0.01f)},
        {"an offset bias", [](Material& m, RenderContext&) { m.SetFloat(String("OffsetBias"), 0.25f); }, "OffsetBias",
         Num(0.25f)},
        {"default etha", [](Material&, RenderContext&) {}, "Etha", Num(0.5f)},
        {"specular power", [](Material& m, RenderContext&) { m.layers[0].colors.SetPower(32.0f); }, "SpecPower",
         Num(32.0f)},
        {"fresnel from the second environment scale",
         [](Material& m, RenderContext&) { m.layers[0].samplers[kEnvMap2].scale = 0.95f; }, "FresnelR0",
         Num(FresnelR0FromIndex(11.0f - 10.0f * 0.95f))},
        {"refraction index by name",
         [](Material& m, RenderContext&) { m.SetFloat(String("RefractionI"), 2.0f); }, "FresnelR0",
         Num(FresnelR0FromIndex(2.0f))},
        {"view direction: the view's third column",
         [](Material&, RenderContext& c) {
             c.view = Translation(0, 0, 0);
             c.view.m[2] = 0.25f;
             c.view.m[6] = 0.5f;
             c.view.m[10] = 0.75f;
         },
         "ViewDir", Vec(0.25f, 0.5f, 0.75f, 0.0f)},
        {"eye in object space",
         [](Material&, RenderContext& c) {
             c.world = Translation(10, 0, 0);
             c.eye = Vec3(11, 2, 3);
         },
         "EyePoint", Vec(1, 2, 3, 1)},
        {"eye cube without a cube map: the identity",
         [](Material& m, RenderContext& c) {
             c.world = Translation(10, 0, 0);
             c.eye = Vec3(11, 2, 3);
             m.SetMatrix(String("ObjToCube"), Translation(100, 0, 0));
         },
         "EyeCube", Vec(1, 2, 3, 1)},
        {"world view", [](Material&, RenderContext& c) { c.world = Translation(1, 2, 3); }, "WorldView",
         "[1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1]"},
        {"world view projection",
         [](Material&, RenderContext& c) {
             c.world = Translation(1, 2, 3);
             c.viewProjection = Translation(0, 0, 0, 2.0f);
         },
         "WorldViewProj", "[2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 2, 4, 6, 1]"},
        {"object to cube is the world", [](Material&, RenderContext& c) { c.world = Translation(4, 5, 6); },
         "ObjToCube", "[1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1]"},
        {"no environment map", [](Material&, RenderContext&) {}, "CubeMapEnv", "false"},
        {"no base map and no fallback", [](Material&, RenderContext&) {}, "DiffuseMap", "null"},
        {"no bump map", [](Material&, RenderContext&) {}, "NormalMap", "null"},
        {"no environment maps", [](Material&, RenderContext&) {}, "EnvironmentMap", "null"},
        {"no gloss and no fallback", [](Material&, RenderContext&) {}, "EnvGlossMap", "null"},
    };
    for (const ParamCase& c : cases) {
        SCOPED_TRACE(c.name);
        LitEffect effect(2);
        ASSERT_TRUE(effect.Load(source));
        Material m;
        RenderContext ctx;
        c.setUp(m, ctx);
        material = m;
        context = ctx;
        material.context = &context;
        EXPECT_EQ(FirstValue(effect, c.parameter), c.expected);
    }
}

TEST_F(StandardEffectDevice, TheCatalogueHoldsTheEighteenNames) {
    LitEffect effect(1);
    EXPECT_EQ(effect.GetCatalogue().count, 18u);
    for (const char* name : kAllStandardNames) EXPECT_TRUE(effect.GetCatalogue().Contains(String(name))) << name;
    EXPECT_FALSE(effect.BindParameter(String("Ticks"))) << "neither in the catalogue nor given an operation";
    EXPECT_TRUE(effect.BindParameter(String("Ticks"), [](StandardEffect& e, u32 arg) {
        e.GetD3dxEffect()->SetFloat(e.GetCurrentHandle(), static_cast<f32>(arg));
    }, 7));
    EXPECT_EQ(effect.GetBoundParameters().count, 19u);
}

TEST_F(StandardEffectDevice, TexturesComeFromTheLayerOrTheFallback) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    std::unique_ptr<Texture> fallback = MakeTexture(false);
    std::unique_ptr<Texture> cube = MakeTexture(true);
    std::unique_ptr<Texture> bump = MakeTexture(false);
    SetFallbackTexture(fallback.get());
    material.layers[0].samplers[kEnvMap].texture = cube.get();
    material.layers[0].samplers[kEnvMap].scale = 0.15f;
    material.layers[0].samplers[kBumpMap].texture = bump.get();
    material.SetMatrix(String("ObjToCube"), Translation(100, 0, 0));
    context.world = Translation(10, 0, 0);
    context.eye = Vec3(11, 2, 3);
    const std::vector<PlatformTestEffectPass> passes = Draw(effect);
    ASSERT_FALSE(passes.empty());
    const PlatformTestEffectPass& p = passes[0];
    EXPECT_EQ(*p.Find("DiffuseMap"), TextureText(*fallback));
    EXPECT_EQ(*p.Find("EnvGlossMap"), TextureText(*fallback));
    EXPECT_EQ(*p.Find("SpecularMap"), TextureText(*fallback));
    EXPECT_EQ(*p.Find("NormalMap"), TextureText(*bump));
    EXPECT_EQ(*p.Find("EnvironmentMap"), TextureText(*cube));
    EXPECT_EQ(*p.Find("CubeMapEnv"), "true");
    EXPECT_EQ(*p.Find("EyeCube"), Vec(101, 2, 3, 1)) << "the material's cube matrix after the inverse world";
    EXPECT_EQ(*p.Find("FresnelR0"), Num(FresnelR0FromIndex(1.5f)));
}

TEST_F(StandardEffectDevice, LightsAreNumberedInTheVariantsKindOrder) {
    LitEffect effect(2);
    ASSERT_TRUE(effect.Load(source));
    // The point light comes first in the object's list; the variant numbers DIR1, POINT2.
    context.lighting = Lighting({Point(1, 2, 3), Dir(0.5f, 0, -1, 0)});
    // A world that moves and scales: a direction must not take the translation.
    context.world = Translation(10, 20, 30, 2.0f);
    material.layers[0].colors.SetDiffuse(0.5f, 1.0f, 0.5f, 0.25f);
    const std::vector<PlatformTestEffectPass> passes = Draw(effect);
    ASSERT_EQ(passes.size(), 2u) << "one technique of two passes";
    const PlatformTestEffectPass& p = passes[0];
    EXPECT_EQ(*p.Find("Dir1Dir"), Vec(0, -1, 0, 1));
    EXPECT_EQ(*p.Find("Dir1Diff"), Vec(0.5f, 0.25f, 0.125f, 0.5f));
    EXPECT_EQ(*p.Find("Point2Pos"), Vec((1 - 10) / 2.0f, (2 - 20) / 2.0f, (3 - 30) / 2.0f, 1));
    EXPECT_EQ(*p.Find("Point2Att"), Vec(1, 0.5f, 0.25f, 1));
    EXPECT_EQ(*p.Find("Point2Diff"), Vec(0.5f, 0.125f, 0.03125f, 0.5f));
    EXPECT_EQ(*p.Find("Point1Pos"), Vec(0, 0, 0, 0)) << "no light is numbered 1 of the point kind";
    EXPECT_EQ(*p.Find("Dir2Dir"), Vec(0, 0, 0, 0));
}

TEST_F(StandardEffectDevice, OnlyTheFirstTechniqueAddsAmbientLight) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    FColor ambient;
    ambient.Set(1.0f, 0.25f, 0.5f, 0.75f);
    context.lighting = Lighting({Dir(0.9f), Point(1, 2, 3), Dir(0.5f)}, ambient);
    const std::vector<PlatformTestEffectPass> passes = Draw(effect);
    ASSERT_EQ(passes.size(), 4u);
    EXPECT_EQ(*passes[0].Find("Ambient"), Vec(0.25f, 0.5f, 0.75f, 1.0f));
    EXPECT_EQ(*passes[1].Find("Ambient"), Vec(0, 0, 0, 0));
    EXPECT_EQ(*passes[3].Find("Ambient"), Vec(0, 0, 0, 0));
    // Each technique draws its own light as light 1.
    EXPECT_EQ(*passes[0].Find("Dir1Diff"), Vec(0.9f, 0.9f, 0.9f, 1));
    EXPECT_EQ(*passes[1].Find("Point1Pos"), Vec(1, 2, 3, 1));
    EXPECT_EQ(*passes[3].Find("Dir1Diff"), Vec(0.5f, 0.5f, 0.5f, 1));
}

TEST_F(StandardEffectDevice, FogStatesReachTheEffectOnlyWhileFogIsOn) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    auto bits = [](f32 v) {
        DWORD d;
        std::memcpy(&d, &v, sizeof d);
        return d;
    };
    StateCache::SetRenderState(D3DRS_FOGENABLE, TRUE);
    StateCache::SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
    StateCache::SetRenderState(D3DRS_FOGSTART, bits(10.0f));
    StateCache::SetRenderState(D3DRS_FOGEND, bits(110.0f));
    std::vector<PlatformTestEffectPass> passes = Draw(effect);
    ASSERT_FALSE(passes.empty());
    EXPECT_EQ(*passes[0].Find("FogEnable"), "true");
    EXPECT_EQ(*passes[0].Find("RangeFogEnable"), "true");
    EXPECT_EQ(*passes[0].Find("FogEnd"), "110");
    EXPECT_EQ(*passes[0].Find("FogDelta"), "100");

    StateCache::SetRenderState(D3DRS_FOGENABLE, FALSE);
    StateCache::SetRenderState(D3DRS_FOGEND, bits(50.0f));
    passes = Draw(effect);
    ASSERT_FALSE(passes.empty());
    EXPECT_EQ(*passes[0].Find("FogEnable"), "false");
    EXPECT_EQ(*passes[0].Find("FogEnd"), "110") << "kept from the last draw with fog";
    EXPECT_EQ(*passes[0].Find("FogDelta"), "100");
}

TEST_F(StandardEffectDevice, EqualConeAnglesAreKeptApart) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    ASSERT_TRUE(effect.SetParameters(&material, 0));
    TechniqueEntry entry;
    entry.code = effect.Code(0);
    entry.lights.Add(Spot(0.5f, 0.5f));
    entry.lights[0]->EditRecord().Falloff = 2.0f;
    effect.ApplyTechniqueState(entry, true);
    ID3DXEffect* d3dx = effect.Code(0)->GetEffect();
    f32 theta = 0, phi = 0, falloff = 0;
    ASSERT_EQ(d3dx->GetFloat(effect.GetLightHandle(kParamSpot, 1, kLightTheta), &theta), D3D_OK);
    ASSERT_EQ(d3dx->GetFloat(effect.GetLightHandle(kParamSpot, 1, kLightPhi), &phi), D3D_OK);
    ASSERT_EQ(d3dx->GetFloat(effect.GetLightHandle(kParamSpot, 1, kLightFalloff), &falloff), D3D_OK);
    EXPECT_FLOAT_EQ(theta, std::cos(0.5f));
    EXPECT_FLOAT_EQ(phi, std::cos(0.5f - 0.00001f));
    EXPECT_NE(theta, phi);
    EXPECT_EQ(falloff, 2.0f);
    EXPECT_EQ(effect.GetLightHandle(kParamSpot, 2, kLightPhi), nullptr) << "the source declares one spot light";
    EXPECT_EQ(effect.GetLightHandle(kParamSpot, 9, kLightPhi), nullptr);
}

TEST_F(StandardEffectDevice, ADeviceResetRefreshesTheHandlesBeforeTheValues) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    material.layers[0].opacity = 0.5f;
    EXPECT_EQ(FirstValue(effect, "TexFactor"), Vec(1, 1, 1, 0.5f));
    EXPECT_FALSE(effect.NeedsParameterRefresh());
    ASSERT_TRUE(app->ResetDevice());
    EXPECT_TRUE(effect.NeedsParameterRefresh());
    material.layers[0].opacity = 0.25f;
    EXPECT_EQ(FirstValue(effect, "TexFactor"), Vec(1, 1, 1, 0.25f));
    EXPECT_FALSE(effect.NeedsParameterRefresh());
}

TEST_F(StandardEffectDevice, WithoutItsFirstVariantNothingIsSet) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    ASSERT_TRUE(effect.Code(0)->Invalidate());  // as after a restore that failed
    EXPECT_FALSE(effect.SetParameters(&material, 0));
    Material noContext;
    ASSERT_TRUE(effect.Code(0)->Restore());
    EXPECT_TRUE(effect.SetParameters(&material, 0));
    EXPECT_FALSE(effect.SetParameters(&noContext, 0));
    EXPECT_FALSE(effect.SetParameters(nullptr, 0));
}

TEST_F(StandardEffectDevice, ParametersSetInsideAPassAreCommitted) {
    LitEffect effect(1);
    ASSERT_TRUE(effect.Load(source));
    i32 passes = 0;
    ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
    ASSERT_TRUE(effect.SetParameters(&material, 0));
    ClearRecords();
    ASSERT_TRUE(effect.BeginPass(0));
    material.layers[0].opacity = 0.5f;  // the next item of a batch
    ASSERT_TRUE(effect.SetParameters(&material, 0));
    ASSERT_TRUE(effect.End());
    const std::vector<PlatformTestEffectPass> records = PlatformTest_D3dx9EffectPasses();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[0].commit);
    EXPECT_TRUE(records[1].commit);
    ASSERT_NE(records[1].Find("TexFactor"), nullptr);
    EXPECT_EQ(*records[1].Find("TexFactor"), Vec(1, 1, 1, 0.5f));
    EXPECT_EQ(records[1].Find("WorldView"), nullptr) << "only what changed";
    EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());
}

}  // namespace
