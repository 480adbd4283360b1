// What the tests of the engine's concrete effects share: small effect sources of their own
// that carry the parameter and technique names the effects ask for (every parameter shared
// and outside every definition, as the product's sources have them), and a fixture on the
// reference device that writes them, restarts the device with or without depth textures
// and pixel shader 2.0, creates effects through the manager and draws through them.
#pragma once

#include "EffectDrawSupport.h"

#include "D3d/Texture.h"
#include "Effect/EffectManager.h"
#include "Effect/ShadowMapRenderer.h"
#include "tests/EffectTestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace effectclasses {

using namespace effectdraw;
using effectsupport::WarningsCapture;

using namespace effectdraw;
using effectsupport::WarningsCapture;

// Declarations every source shares: all shared, none under a definition.
inline const char* const kCommonDeclarations = R"(
shared float4x4 WorldViewProj;
shared float4x4 WorldView;
shared float4x4 ObjToCube;
shared float4x4 View2LightTex;
shared float4 EyePoint;
shared float4 EyeCube;
shared float4 ViewDir;
shared float4 TexFactor;
shared float4 Ambient;
shared float4 ShadowMask;
shared float SpecPower;
shared float AlphaRef;
shared float OffsetBias;
shared float FresnelR0;
shared float Etha;
shared float Ticks;
shared float ShadowMapSize;
shared float InvShadowMapSize;
shared bool FogEnable;
shared bool RangeFogEnable;
shared float FogEnd;
shared float FogDelta;
shared texture DiffuseMap;
shared texture NormalMap;
shared texture EnvironmentMap;
shared texture EnvGlossMap;
shared texture SpecularMap;
shared texture ShadowMap;
shared float4 Spot1Pos;
shared float4 Spot1Dir;
shared float4 Spot1Diff;
shared float4 Spot1Spec;
shared float4 Spot1Att;
shared float Spot1Theta;
shared float Spot1Phi;
shared float4 Dir1Dir;
shared float4 Dir1Diff;
shared float4 Point1Pos;
shared float4 Point1Diff;

float4 Vs(float4 pos : POSITION) : POSITION { return mul(pos, WorldViewProj); }
float4 Ps() : COLOR { return TexFactor * Ambient; }
)";

// One technique of one pass with the given annotations and pixel-shader profile.
inline std::string Technique(const std::string& name, const std::string& annotations, const char* profile) {
    return "technique " + name + " < " + annotations + " >\n{\n    pass P0\n    {\n" +
           "        VertexShader = compile vs_1_1 Vs();\n        PixelShader = compile " + profile +
           " Ps();\n    }\n}\n";
}

inline std::string DistortSource() { return std::string(kCommonDeclarations) + Technique("Simple", "", "ps_2_0"); }

inline const char* const kShadowNames[] = {"ShadowDir",          "ShadowDirMask",  "ShadowSpot",
                                    "ShadowSpotMask",     "ShadowSpotNoCone", "ShadowSpotNoConeMask"};

// Every shadow technique, each for one spot light, and "Simple"; the "ZTex" forms only
// under ZTEXTURE, the others only without it.
inline std::string CausBumpSource() {
    std::string text = kCommonDeclarations;
    for (const char* prefix : {"ZTex", ""}) {
        text += prefix[0] ? "#ifdef ZTEXTURE\n" : "#else\n";
        for (const char* name : kShadowNames) text += Technique(prefix + std::string(name), "int SPOT = 1;", "ps_2_0");
        text += Technique(prefix + std::string("Simple"), "int SPOT = 1;", "ps_2_0");
    }
    return text + "#endif\n";
}

inline std::string ShadowMapSource() {
    std::string text = kCommonDeclarations;
    text += "#ifdef ZTEXTURE\n";
    text += Technique("ZTexShadowMap", "", "PS_MODEL") + Technique("ZTexShadowMapAlpha", "", "PS_MODEL");
    text += "#else\n";
    text += Technique("ShadowMap", "", "PS_MODEL") + Technique("ShadowMapAlpha", "", "PS_MODEL");
    return text + "#endif\n";
}

inline std::string BumpEnvSource() {
    std::string text = kCommonDeclarations;
    const std::string labels = "int DIR = NUMDIR; int POINT = NUMPOINT;";
    for (const char* family : {"Refl", "Refr"}) {
        text += family[2] == 'f' && family[3] == 'l' ? "#ifdef REFLECTION\n" : "#ifdef REFRACTION\n";
        for (const char* kind : {"", "Gloss", "Sphere", "SphereGloss"})
            text += Technique(family + std::string(kind), labels, "PS_MODEL");
        text += "#endif\n";
    }
    return text;
}

class EffectClasses : public DrawDevice {
protected:
    void SetUp() override {
        SetShadowMapEffect(nullptr);
        saved = TheEffectManager().settings;
        DrawDevice::SetUp();
        if (HasFatalFailure()) return;
        TheEffectManager().searchPaths.AddSearchPath(patht("Shaders"));
        material.context = &context;
    }
    void TearDown() override {
        TheEffectManager().Reset();
        TheEffectManager().searchPaths.Clear();
        renderer.reset();
        DrawDevice::TearDown();
        TheEffectManager().settings = saved;
        SetShadowMapEffect(nullptr);
    }
    void WriteAll() {
        Write("Distort.fx", DistortSource());
        Write("CausBump_T.fx", CausBumpSource());
        Write("ShadowMap.fx", ShadowMapSource());
        Write("BumpEnv_T.fx", BumpEnvSource());
    }
    // A fresh device whose adapter has, or lacks, depth textures and runs pixel shaders up
    // to the given version.
    void Restart(bool depthTextures, DWORD pixelShaderVersion = D3DPS_VERSION(2, 0)) {
        TheEffectManager().Reset();
        renderer.reset();
        app.reset();
        PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
        if (!depthTextures) adapter.depthTextureFormats.clear();
        adapter.devices[D3DDEVTYPE_HAL].PixelShaderVersion = pixelShaderVersion;
        PlatformTest_D3d9SetAdapters({adapter});
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(app->SetMode(false));
        StateCache::InvalidateAll();
    }
    // Creates the effect through the manager; the manager owns it when it succeeds.
    template <class E>
    E* Create() {
        auto* effect = new E;
        Array<Effect*> list(0, 4);
        list.Add(effect);
        EXPECT_TRUE(TheEffectManager().Create(list));
        for (Effect* e : TheEffectManager().Effects())
            if (e == effect) return effect;
        return nullptr;
    }
    void MakeRenderer(u32 size = 1024) {
        renderer = std::make_unique<ShadowMapRenderer>();
        ASSERT_TRUE(renderer->Create(size));
    }
    // SelectTechnique, the parameters, every pass, End: the techniques and passes begun.
    std::vector<std::string> Draw(Effect& effect, Material& m) {
        ClearRecords();
        i32 passes = -1;
        EXPECT_TRUE(effect.SelectTechnique(&m, 0, passes));
        EXPECT_TRUE(effect.SetParameters(&m, 0));
        for (i32 p = 0; p < passes; ++p) EXPECT_TRUE(effect.BeginPass(p));
        EXPECT_TRUE(effect.End());
        std::vector<std::string> out;
        for (const PlatformTestEffectPass& pass : PlatformTest_D3dx9EffectPasses())
            if (!pass.commit) out.push_back(pass.technique + " " + std::to_string(pass.pass));
        return out;
    }
    static std::string Chosen(const Effect& effect) {
        const TechniqueSelection* s = effect.GetCurrentSelection();
        if (!s) return "<none>";
        std::string out;
        for (const TechniqueEntry& e : s->entries) out += std::string(out.empty() ? "" : " ") + e.technique.c_str();
        return out;
    }
    std::unique_ptr<Texture> MakeTexture(bool cube) {
        auto texture = std::make_unique<Texture>();
        EXPECT_TRUE(texture->CreateEmpty(TEX_EMPTY, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube, false));
        return texture;
    }

    EffectSettings saved;
    RenderContext context;
    Material material;
    std::unique_ptr<ShadowMapRenderer> renderer;
};

inline std::vector<std::string> Macros(const RefHandle<EffectCode>& code) {
    std::vector<std::string> out;
    for (const ShaderMacro& m : code->GetDesc().macros) out.push_back(std::string(m.name.c_str()) + "=" + m.value.c_str());
    return out;
}

}  // namespace effectclasses
