// The shadow-mapped and shadow-map effects on the reference device: their two variants and
// names, the technique table of the shadow-mapped effect, the shadow parameters for a map of
// 1024 texels, parameters sent during a lost device, the program-wide shadow-map effect and
// the techniques the renderer's kind of map chooses.
#include "EffectClassSupport.h"

#include "Effect/SceneCamera.h"
#include "Effect/ShadowMappedEffect.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace effectclasses;

class ShadowEffectsDevice : public EffectClasses {};

TEST_F(ShadowEffectsDevice, ShadowMappedLoadsAColourAndADepthVariant) {
    WriteAll();
    ShadowMappedEffect* effect = Create<ShadowMappedEffect>();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->GetCodes().count, 2);
    EXPECT_EQ(Macros(effect->GetCodes()[0]), (std::vector<std::string>{"TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_EQ(Macros(effect->GetCodes()[1]),
              (std::vector<std::string>{"ZTEXTURE=", "TEXCOORDS=", "PS_MODEL=ps_2_0"}));
    EXPECT_TRUE(effect->GetCodes()[0]->GetDesc().forceCompile);
    EXPECT_EQ(TheEffectManager().FindEffect(String("ShadowMapped"), 100), effect);
    EXPECT_EQ(TheEffectManager().FindEffect(String("Bump"), 100), effect);
    EXPECT_EQ(effect->GetBody().totalStride, 56u);
    EXPECT_FALSE(effect->IsTransparent(&material, 0));
}

struct ShadowCase {
    bool perspective;
    f32 phi;
    u8 mask;
    bool depth;
    const char* expected;
};

const ShadowCase kShadowCases[] = {
    {false, 0.5f, 0, false, "ShadowDir"},
    {false, -1.0f, 1, false, "ShadowDirMask"},
    {true, -1.0f, 0, false, "ShadowSpotNoCone"},
    {true, -1.0f, 1, false, "ShadowSpotNoConeMask"},
    {true, 0.0f, 0, false, "ShadowSpot"},
    {true, 0.5f, 1, false, "ShadowSpotMask"},
    {false, 0.5f, 0, true, "ZTexShadowDir"},
    {false, 0.5f, 1, true, "ZTexShadowDirMask"},
    {true, -1.0f, 0, true, "ZTexShadowSpotNoCone"},
    {true, -1.0f, 1, true, "ZTexShadowSpotNoConeMask"},
    {true, 0.0f, 0, true, "ZTexShadowSpot"},
    {true, 0.5f, 1, true, "ZTexShadowSpotMask"},
};

TEST_F(ShadowEffectsDevice, ShadowMappedChoosesByCameraConeMaskAndMap) {
    for (bool depth : {false, true}) {
        Restart(depth);
        WriteAll();
        MakeRenderer();
        ASSERT_EQ(renderer->UsesDepthTexture(), depth);
        ShadowMappedEffect* effect = Create<ShadowMappedEffect>();
        ASSERT_NE(effect, nullptr);
        SceneCamera eye;
        for (const ShadowCase& c : kShadowCases) {
            if (c.depth != depth) continue;
            SCOPED_TRACE(c.expected);
            RefHandle<Light> light = Spot(0.3f, c.phi);
            light->SetShadowPerspective(c.perspective ? 1 : 0);
            // A second light is not taken: the effect draws one.
            context.lighting = Lighting({light, Spot(0.2f, 0.4f)});
            effect->SetShadowParams(eye, *renderer, c.mask, FColor());
            EXPECT_EQ(Draw(*effect, material), (std::vector<std::string>{std::string(c.expected) + " 0"}));
            EXPECT_EQ(Chosen(*effect), c.expected);
        }
    }
}

TEST_F(ShadowEffectsDevice, ShadowMappedTecPropertyAndUnlitObjects) {
    for (bool depth : {false, true}) {
        Restart(depth);
        WriteAll();
        MakeRenderer();
        ShadowMappedEffect* effect = Create<ShadowMappedEffect>();
        ASSERT_NE(effect, nullptr);
        SceneCamera eye;
        effect->SetShadowParams(eye, *renderer, 0, FColor());
        EXPECT_EQ(effect->UsesDepthTexture(), depth ? 1 : 0);

        Material tec;
        tec.context = &context;
        tec.values.children.SetString(String("Tec"), String("Simple"));
        context.lighting = Lighting({Spot(0.3f, 0.5f)});
        i32 passes = -1;
        ASSERT_TRUE(effect->SelectTechnique(&tec, 0, passes));
        EXPECT_EQ(Chosen(*effect), depth ? "ZTexSimple" : "Simple");
        EXPECT_EQ(passes, 1);

        // No light: the empty name, which no technique has; a layer's own name still wins.
        context.lighting = Lighting({});
        ASSERT_TRUE(effect->SelectTechnique(&material, 0, passes));
        EXPECT_EQ(effect->GetDefaultTechnique(), "");
        EXPECT_EQ(passes, 0);
        material.layers[0].techniqueName = String(depth ? "ZTexShadowDir" : "ShadowDir");
        EXPECT_TRUE(Draw(*effect, material).empty());
        material.layers[0].techniqueName = String();
    }
}

TEST_F(ShadowEffectsDevice, ShadowParametersForA1024ColourMap) {
    Restart(false);
    WriteAll();
    MakeRenderer(1024);
    ShadowMappedEffect* effect = Create<ShadowMappedEffect>();
    ASSERT_NE(effect, nullptr);
    RefHandle<Light> light = Spot(0.3f, 0.5f);
    ASSERT_TRUE(renderer->Begin(light, 1, -0.000205f, 1.5f));
    ASSERT_TRUE(renderer->End());
    SceneCamera eye;
    eye.SetPerspective(1.0f, 100.0f, 1.0f, 1.0f);
    eye.SetView(Vec3(3.0f, 4.0f, 5.0f), Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 0.0f));
    FColor maskColor;
    maskColor.Set(0.25f, 0.5f, 0.75f, 1.0f);
    effect->SetShadowParams(eye, *renderer, 1, maskColor);

    ID3DXEffect* fx = effect->GetCodes()[0]->GetEffect();
    ASSERT_NE(fx, nullptr);
    FLOAT value = 0.0f;
    ASSERT_EQ(fx->GetFloat("ShadowMapSize", &value), D3D_OK);
    EXPECT_EQ(value, 1024.0f);
    ASSERT_EQ(fx->GetFloat("InvShadowMapSize", &value), D3D_OK);
    EXPECT_EQ(value, 1.0f / 1024.0f);
    ASSERT_EQ(fx->GetFloat("OffsetBias", &value), D3D_OK);
    EXPECT_EQ(value, -0.000205f);
    D3DXVECTOR4 v;
    ASSERT_EQ(fx->GetVector("ShadowMask", &v), D3D_OK);
    EXPECT_EQ(v.x, 0.5f);
    EXPECT_EQ(v.y, 0.75f);
    EXPECT_EQ(v.z, 1.0f);
    EXPECT_EQ(v.w, 0.25f);
    IDirect3DBaseTexture9* map = nullptr;
    ASSERT_EQ(fx->GetTexture("ShadowMap", &map), D3D_OK);
    EXPECT_EQ(map, renderer->GetColorTexture()->GetBaseTexture());
    if (map) map->Release();

    // Texture space: x halved, y halved and flipped, both moved by half a texel past 0.5.
    const Matrix t = ShadowTextureMatrix(1024);
    EXPECT_EQ(*t.At(0, 0), 0.5f);
    EXPECT_EQ(*t.At(1, 1), -0.5f);
    EXPECT_EQ(*t.At(3, 0), 0.50048828125f);
    EXPECT_EQ(*t.At(3, 1), 0.50048828125f);
    EXPECT_EQ(*t.At(2, 2), 1.0f);

    // View space to the light's texture: the eye's view undone, the light's view and
    // projection, then texture space.
    D3DXMATRIX view, inverse, sent;
    const Matrix eyeView = eye.GetView();
    std::memcpy(&view, eyeView.m, sizeof view);
    D3DXMatrixInverse(&inverse, nullptr, &view);
    const Matrix lightVp = renderer->GetCamera().GetViewProjection();
    D3DXMATRIX vp, tex, expected;
    std::memcpy(&vp, lightVp.m, sizeof vp);
    std::memcpy(&tex, t.m, sizeof tex);
    D3DXMatrixMultiply(&expected, &inverse, &vp);
    D3DXMatrixMultiply(&expected, &expected, &tex);
    ASSERT_EQ(fx->GetMatrix("View2LightTex", &sent), D3D_OK);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(sent.m[r][c], expected.m[r][c], 1e-4f) << r << "," << c;
}

TEST_F(ShadowEffectsDevice, ShadowParametersOfADepthMapLeaveTheOffsetBias) {
    Restart(true);
    WriteAll();
    MakeRenderer(1024);
    ShadowMappedEffect* effect = Create<ShadowMappedEffect>();
    ASSERT_NE(effect, nullptr);
    ID3DXEffect* fx = effect->GetCodes()[0]->GetEffect();
    ASSERT_NE(fx, nullptr);
    ASSERT_EQ(fx->SetFloat("OffsetBias", 7.0f), D3D_OK);
    SceneCamera eye;
    effect->SetShadowParams(eye, *renderer, 0, FColor());
    FLOAT value = 0.0f;
    ASSERT_EQ(fx->GetFloat("OffsetBias", &value), D3D_OK);
    EXPECT_EQ(value, 7.0f);
    ASSERT_EQ(fx->GetFloat("InvShadowMapSize", &value), D3D_OK);
    EXPECT_EQ(value, 1.0f / 1024.0f);
    IDirect3DBaseTexture9* map = nullptr;
    ASSERT_EQ(fx->GetTexture("ShadowMap", &map), D3D_OK);
    EXPECT_EQ(map, renderer->GetDepthTexture()->GetBaseTexture());
    if (map) map->Release();
    // The other variant sees the values through the pool.
    ID3DXEffect* depthVariant = effect->GetCodes()[1]->GetEffect();
    ASSERT_EQ(depthVariant->GetFloat("InvShadowMapSize", &value), D3D_OK);
    EXPECT_EQ(value, 1.0f / 1024.0f);
}

TEST_F(ShadowEffectsDevice, ShadowParametersWithoutAVariantEffectSetNothing) {
    WriteAll();
    MakeRenderer(256);
    SceneCamera eye;
    // Never created: no variant at all.
    ShadowMappedEffect uncreated;
    uncreated.SetShadowParams(eye, *renderer, 1, FColor());
    EXPECT_EQ(uncreated.GetMask(), 1);
    EXPECT_EQ(uncreated.GetCodes().count, 0);

    // A lost device: the variant is there, its D3DX effect is not.
    ShadowMappedEffect* effect = Create<ShadowMappedEffect>();
    ASSERT_NE(effect, nullptr);
    EffectCode* code = effect->GetCodes()[0].Get();
    code->Invalidate();
    ASSERT_EQ(code->GetEffect(), nullptr);
    ClearRecords();
    effect->SetShadowParams(eye, *renderer, 1, FColor());
    EXPECT_EQ(effect->GetMask(), 1);
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_TRUE(code->Restore());
}

// The shadow-map effect.

TEST_F(ShadowEffectsDevice, ShadowMapEffectIsTheProgramWideOneWhileItLives) {
    WriteAll();
    {
        ShadowMapEffect first;
        EXPECT_EQ(TheShadowMapEffect(), &first);
        {
            ShadowMapEffect second;
            EXPECT_EQ(TheShadowMapEffect(), &second);
        }
        EXPECT_EQ(TheShadowMapEffect(), nullptr);
    }
    {
        auto older = std::make_unique<ShadowMapEffect>();
        ShadowMapEffect newer;
        // The older one goes while the newer is the program-wide one: it stays.
        older.reset();
        EXPECT_EQ(TheShadowMapEffect(), &newer);
    }
    EXPECT_EQ(TheShadowMapEffect(), nullptr);

    ShadowMapEffect* effect = Create<ShadowMapEffect>();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(TheShadowMapEffect(), effect);
    EXPECT_EQ(effect->GetCodes().count, 2);
    EXPECT_EQ(Macros(effect->GetCodes()[0]), (std::vector<std::string>{"TEXCOORDS=", "PS_MODEL=ps_1_1"}));
    EXPECT_EQ(TheEffectManager().FindEffect(String("ShadowMap"), 100), effect);
    EXPECT_EQ(effect->GetBody().totalStride, 20u);
}

TEST_F(ShadowEffectsDevice, AFailedShadowMapEffectLeavesNoDanglingPointer) {
    // No source: the manager deletes the effect, and with it the program-wide pointer.
    EXPECT_EQ(Create<ShadowMapEffect>(), nullptr);
    EXPECT_EQ(TheShadowMapEffect(), nullptr);
    // The renderer's Begin then tells no one.
    MakeRenderer(64);
    ASSERT_TRUE(renderer->Begin(Spot(0.3f, 0.5f), 1, -0.000205f, 1.5f));
    EXPECT_TRUE(renderer->End());
}

TEST_F(ShadowEffectsDevice, ShadowMapEffectFollowsTheRendererAndTheLayersAlpha) {
    for (bool depth : {false, true}) {
        Restart(depth);
        WriteAll();
        ShadowMapEffect* effect = Create<ShadowMapEffect>();
        ASSERT_NE(effect, nullptr);
        MakeRenderer(64);
        ASSERT_TRUE(renderer->Begin(Spot(0.3f, 0.5f), 1, -0.000205f, 1.5f));
        EXPECT_EQ(effect->UsesDepthTexture(), depth ? 1 : 0);
        const std::string prefix = depth ? "ZTex" : "";
        context.lighting = Lighting({Spot(0.3f, 0.5f)});
        EXPECT_EQ(Draw(*effect, material), (std::vector<std::string>{prefix + "ShadowMap 0"}));
        Material alpha;
        alpha.context = &context;
        alpha.layers[0].vertexAlpha = 1;
        ASSERT_TRUE(alpha.IsTransparent(-1));
        EXPECT_EQ(Draw(*effect, alpha), (std::vector<std::string>{prefix + "ShadowMapAlpha 0"}));
        EXPECT_FALSE(effect->IsTransparent(&alpha, 0));
        EXPECT_TRUE(renderer->End());
    }
    // Back to a colour map: the renderer says so at its next Begin.
    ShadowMapEffect* effect = static_cast<ShadowMapEffect*>(TheShadowMapEffect());
    ASSERT_NE(effect, nullptr);
    effect->SetUseDepthTexture(0, 0);
    EXPECT_EQ(effect->UsesDepthTexture(), 0);
}

}  // namespace
