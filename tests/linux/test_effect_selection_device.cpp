// Technique selection and the pass state machine of the effect base, on the reference
// device with effects built from source text: which techniques a light plan gets, what the
// cache keeps and frees, and which Begin, BeginPass, EndPass and End calls and blend states
// reach the device.
#include "EffectDrawSupport.h"

#include <string>
#include <vector>

namespace {

using namespace effectdraw;

// An effect of the base alone: variants from the group loader, its own plan and limit.
class PlanEffect : public Effect {
public:
    bool Load(const fs::path& source, i32 maxTotal) {
        if (!pool.Create()) return false;
        Array<LightGroup> groups = LitGroups(maxTotal);
        return LoadEffectGroup(codes, LitDesc(source, &pool), 0, groups, 20);
    }
    bool SetParameters(Material* material, i32 layer) override {
        currentMaterial = material;
        currentLayer = layer;
        return true;
    }
    bool SelectTechnique(Material* material, i32 layer, i32& passes) override {
        return SetupLightTechnique(material, layer, lightLimit, lightPlan, passes);
    }
    void SetLimit(i32 limit) { lightLimit = limit; }
    void SetPlan(const char* suffix, i32 count) { lightPlan.Insert(String(suffix), count); }
    unsigned Number(i32 variant) { return PlatformTest_D3dx9EffectNumber(codes[variant]->GetEffect()); }
    // The variant that holds the lights (dir, point).
    i32 VariantOf(i32 dir, i32 point) const {
        for (i32 i = 0; i < codes.count; ++i) {
            const auto& macros = codes[i]->GetDesc().macros;
            String wantDir = String::FromInt(dir, 10), wantPoint = String::FromInt(point, 10);
            bool d = false, p = false;
            for (const ShaderMacro& m : macros) {
                if (m.name == "NUMDIR") d = m.value == wantDir;
                if (m.name == "NUMPOINT") p = m.value == wantPoint;
            }
            if (d && p) return i;
        }
        return -1;
    }

    EffectCodeArray codes{0, 10};
    Pool pool;
};

class EffectSelection : public DrawDevice {
protected:
    void SetUp() override {
        DrawDevice::SetUp();
        if (HasFatalFailure()) return;
        source = Write("Lit.fx", kLitSource);
    }
    void Load(PlanEffect& effect, i32 maxTotal) {
        ASSERT_TRUE(effect.Load(source, maxTotal));
        effect.SetDefaultTechnique(String("Lit"));
    }
    // A one-layer material drawn in the given context.
    static Material MaterialIn(RenderContext& context, const char* technique = "") {
        Material m;
        m.context = &context;
        m.layers[0].techniqueName = String(technique);
        return m;
    }
    // SelectTechnique, then every pass, then End, as the mesh draw runs them.
    static i32 Draw(Effect& effect, Material& material) {
        i32 passes = -1;
        EXPECT_TRUE(effect.SelectTechnique(&material, 0, passes));
        EXPECT_TRUE(effect.SetParameters(&material, 0));
        for (i32 p = 0; p < passes; ++p) EXPECT_TRUE(effect.BeginPass(p)) << p;
        EXPECT_TRUE(effect.End());
        return passes;
    }
    static std::string Describe(const TechniqueSelection& s) {
        std::string out;
        for (const TechniqueEntry& e : s.entries) {
            out += std::string(e.technique.c_str()) + "(";
            for (i32 i = 0; i < e.lights.count; ++i) out += LightKindName(e.lights[i]->GetType()).c_str() + std::string(i + 1 < e.lights.count ? "," : "");
            out += ")x" + std::to_string(e.passes) + " ";
        }
        return out;
    }

    // A directional, a point and a directional light: three entries when a variant holds one.
    static RefHandle<LightingInfo> ThreeLights() { return Lighting({Dir(0.9f), Point(1.0f, 2.0f, 3.0f), Dir(0.5f)}); }
    static i32 Select(Effect& effect, Material& material) {
        i32 passes = -1;
        EXPECT_TRUE(effect.SelectTechnique(&material, 0, passes));
        return passes;
    }

    fs::path source;
};

// Which techniques draw which lights, for plans of several lights, limits, labels and
// names. Lights are given by letter: D directional, P point, S spot.
struct SelectionCase {
    const char* name;
    i32 maxTotal;          // lights one variant holds
    const char* lights;    // in list order
    i32 limit;
    const char* layerName; // empty: the default "Lit"
    const char* planSuffix;
    i32 planCount;
    const char* expected;  // entries as Technique(kinds)xpasses
    i32 total;
    i32 undrawn;
};

const SelectionCase kSelectionCases[] = {
    {"no lights: the unlabelled technique", 2, "", -1, "", nullptr, 0, "Lit()x1 ", 1, 0},
    {"one variant holds both", 2, "DP", -1, "", nullptr, 0, "Lit(DIR,POINT)x2 ", 2, 0},
    {"kinds numbered in declared order", 2, "PD", -1, "", nullptr, 0, "Lit(DIR,POINT)x2 ", 2, 0},
    {"one light per variant: three entries", 1, "DPD", -1, "", nullptr, 0, "Lit(DIR)x1 Lit(POINT)x2 Lit(DIR)x1 ", 4, 0},
    {"two per variant, five lights", 2, "DDPPD", -1, "", nullptr, 0, "Lit(DIR,DIR)x1 Lit(POINT,POINT)x2 Lit(DIR)x1 ",
     4, 0},
    {"a spot light no variant draws", 2, "DSP", -1, "", nullptr, 0, "Lit(DIR,POINT)x2 ", 2, 1},
    {"only spot lights: nothing drawn", 2, "SS", -1, "", nullptr, 0, "", 0, 2},
    {"the limit cuts the list", 1, "DPD", 1, "", nullptr, 0, "Lit(DIR)x1 ", 1, 0},
    {"limit 0: the unlabelled technique", 1, "DPD", 0, "", nullptr, 0, "Lit()x1 ", 1, 0},
    {"the layer's name over the default", 1, "DP", -1, "Other", nullptr, 0, "Other(DIR)x1 Other(POINT)x1 ", 2, 0},
    {"a name matches without case", 2, "D", -1, "oTHER", nullptr, 0, "Other(DIR)x1 ", 1, 0},
    {"a name no variant has", 2, "D", -1, "Missing", nullptr, 0, "", 0, 1},
    {"the plan labels the first light", 2, "DD", -1, "Marked", "S", 1, "Marked(DIR)x1 ", 1, 1},
    {"the plan labels both", 2, "DD", -1, "Marked", "S", 5, "Marked(DIR,DIR)x1 ", 1, 0},
};

RefHandle<Light> LightOf(char kind, i32 i) {
    switch (kind) {
    case 'D': return Dir(0.9f - 0.1f * static_cast<f32>(i));
    case 'P': return Point(static_cast<f32>(i), 2.0f, 0.0f);
    default: return Spot(0.3f, 0.5f + 0.01f * static_cast<f32>(i));
    }
}

TEST_F(EffectSelection, LightPlansChooseTheirTechniques) {
    for (const SelectionCase& c : kSelectionCases) {
        SCOPED_TRACE(c.name);
        PlanEffect effect;
        Load(effect, c.maxTotal);
        effect.SetLimit(c.limit);
        if (c.planSuffix) effect.SetPlan(c.planSuffix, c.planCount);
        RenderContext context;
        RefHandle<LightingInfo> info(new LightingInfo);
        for (i32 i = 0; c.lights[i]; ++i) info->AddLight(LightOf(c.lights[i], i));
        info->UpdateKey();
        context.lighting = info;
        Material material = MaterialIn(context, c.layerName);
        i32 passes = -1;
        ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
        ASSERT_NE(effect.GetCurrentSelection(), nullptr);
        EXPECT_EQ(Describe(*effect.GetCurrentSelection()), c.expected);
        EXPECT_EQ(passes, c.total);
        EXPECT_EQ(effect.GetPassTotal(), c.total);
        EXPECT_EQ(effect.GetUndrawnLights().LightCount(), c.undrawn);
    }
}

TEST_F(EffectSelection, TheUndrawnLightsAreThoseOfTheLastSelectionAlone) {
    // No variant draws a spot light: each selection below leaves its spots undrawn.
    PlanEffect effect;
    Load(effect, 2);
    RenderContext context;
    Material material = MaterialIn(context);
    for (i32 spots = 1; spots <= 3; ++spots) {
        RefHandle<LightingInfo> info(new LightingInfo);
        info->AddLight(Dir(0.9f));
        for (i32 i = 0; i < spots; ++i) info->AddLight(Spot(0.3f, 0.5f + 0.01f * static_cast<f32>(i)));
        info->UpdateKey();
        context.lighting = info;
        EXPECT_EQ(Select(effect, material), 1) << spots;
        EXPECT_EQ(effect.GetUndrawnLights().LightCount(), spots);
    }
}

TEST_F(EffectSelection, ThreeEntriesBeginEachTechniqueAndBlendTheLaterOnesOnce) {
    PlanEffect effect;
    Load(effect, 1);
    RenderContext context;
    context.lighting = ThreeLights();
    Material material = MaterialIn(context);
    StateCache::SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    ClearRecords();

    EXPECT_EQ(Draw(effect, material), 4);
    const unsigned dir = effect.Number(effect.VariantOf(1, 0));
    const unsigned point = effect.Number(effect.VariantOf(0, 1));
    EXPECT_EQ(PassLines(PlatformTest_D3dx9EffectPasses()),
              (std::vector<std::string>{"#" + std::to_string(dir) + " Lit 0", "#" + std::to_string(point) + " Lit 0",
                                        "#" + std::to_string(point) + " Lit 1", "#" + std::to_string(dir) + " Lit 0"}));
    const std::vector<std::string> calls = TakeCalls();
    EXPECT_TRUE(Matching(calls, "EffectWarning").empty()) << "every Begin has its End, every pass its EndPass";
    // Blending on, SRCALPHA onto ONE, depth writes off: once, before the second technique;
    // then the saved values once, at End.
    EXPECT_EQ(Matching(calls, "SetRenderState(27,"), (std::vector<std::string>{"SetRenderState(27, 1)",
                                                                              "SetRenderState(27, 0)"}));
    EXPECT_EQ(Matching(calls, "SetRenderState(19,"), (std::vector<std::string>{"SetRenderState(19, 5)",
                                                                              "SetRenderState(19, 2)"}));
    EXPECT_EQ(Matching(calls, "SetRenderState(14,"), (std::vector<std::string>{"SetRenderState(14, 0)",
                                                                              "SetRenderState(14, 1)"}));
    DWORD zwrite = 0;
    ASSERT_EQ(TheDevice()->GetRenderState(D3DRS_ZWRITEENABLE, &zwrite), D3D_OK);
    EXPECT_EQ(zwrite, static_cast<DWORD>(TRUE));
}

TEST_F(EffectSelection, StoppingEarlyEndsTheTechniqueThatIsOpen) {
    PlanEffect effect;
    Load(effect, 1);
    RenderContext context;
    context.lighting = ThreeLights();
    Material material = MaterialIn(context);
    ASSERT_EQ(Select(effect, material), 4);
    ClearRecords();
    EXPECT_TRUE(effect.BeginPass(0));
    EXPECT_TRUE(effect.BeginPass(1));
    EXPECT_FALSE(effect.BeginPass(4)) << "beyond the total";
    EXPECT_FALSE(effect.BeginPass(-1));
    EXPECT_TRUE(effect.End());
    EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());
    // The next draw begins afresh.
    EXPECT_TRUE(effect.BeginPass(0));
    EXPECT_TRUE(effect.End());
    EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());
}

TEST_F(EffectSelection, OneTechniqueLeavesTheBlendStatesAlone) {
    PlanEffect effect;
    Load(effect, 2);
    RenderContext context;
    context.lighting = Lighting({Dir(0.9f)});
    Material material = MaterialIn(context);
    StateCache::SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    StateCache::SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    ClearRecords();
    EXPECT_EQ(Draw(effect, material), 1);
    const std::vector<std::string> calls = TakeCalls();
    EXPECT_TRUE(Matching(calls, "SetRenderState(14,").empty()) << "nothing was saved, so nothing is put back";
    EXPECT_TRUE(Matching(calls, "SetRenderState(19,").empty());
    DWORD src = 0;
    ASSERT_EQ(TheDevice()->GetRenderState(D3DRS_SRCBLEND, &src), D3D_OK);
    EXPECT_EQ(src, static_cast<DWORD>(D3DBLEND_SRCALPHA));
}

TEST_F(EffectSelection, EndWithoutAnythingToEndDoesNothing) {
    PlanEffect effect;
    Load(effect, 1);
    ClearRecords();
    EXPECT_TRUE(effect.End()) << "no selection";
    EXPECT_FALSE(effect.BeginPass(0));
    RenderContext context;
    context.lighting = Lighting({Dir(0.9f)});
    Material material = MaterialIn(context, "Missing");
    i32 passes = -1;
    ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
    EXPECT_EQ(passes, 0);
    EXPECT_TRUE(effect.End()) << "an empty selection";
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(EffectSelection, ACachedSelectionSetsTheRunningTotal) {
    PlanEffect effect;
    Load(effect, 1);
    RenderContext three;
    three.lighting = ThreeLights();
    RenderContext none;
    Material a = MaterialIn(three);
    Material b = MaterialIn(none);
    i32 passes = 0;
    ASSERT_TRUE(effect.SelectTechnique(&a, 0, passes));
    EXPECT_EQ(effect.GetPassTotal(), 4);
    ASSERT_TRUE(effect.SelectTechnique(&b, 0, passes));
    EXPECT_EQ(effect.GetPassTotal(), 1);
    ASSERT_TRUE(effect.SelectTechnique(&a, 0, passes));
    EXPECT_EQ(passes, 4);
    EXPECT_EQ(effect.GetPassTotal(), 4) << "the queue batches by this total";
    EXPECT_EQ(effect.CachedSelectionCount(), 2);
}

TEST_F(EffectSelection, AContextWithoutLightingHasKeyZeroAndNoLights) {
    PlanEffect effect;
    Load(effect, 1);
    RenderContext context;
    EXPECT_EQ(context.LightSetKey(), 0u);
    Material material = MaterialIn(context);
    i32 passes = 0;
    ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
    ASSERT_EQ(effect.GetCurrentSelection()->entries.count, 1);
    EXPECT_EQ(effect.GetCurrentSelection()->entries[0].lights.count, 0);
    EXPECT_EQ(effect.GetUndrawnLights().LightCount(), 0);
    EXPECT_EQ(passes, 1);
    Material without;
    EXPECT_FALSE(effect.SelectTechnique(&without, 0, passes)) << "no render context";
    EXPECT_EQ(passes, 0);
    EXPECT_FALSE(effect.SelectTechnique(nullptr, 0, passes));
}

TEST_F(EffectSelection, TheLightLimitIsPartOfTheCacheKey) {
    PlanEffect effect;
    Load(effect, 1);
    RenderContext context;
    context.lighting = ThreeLights();
    Material material = MaterialIn(context);
    EXPECT_EQ(Select(effect, material), 4);
    effect.SetLimit(1);
    EXPECT_EQ(Select(effect, material), 1) << "the same lights cut to one light";
    effect.SetLimit(-1);
    EXPECT_EQ(Select(effect, material), 4);
    EXPECT_EQ(effect.CachedSelectionCount(), 2);
}

TEST_F(EffectSelection, SelectionsLiveWhileUsedEveryFrame) {
    PlanEffect effect;
    Load(effect, 1);
    TheFrameNotifier().Add(&effect);
    RenderContext context;
    context.lighting = Lighting({Dir(0.9f)});
    Material material = MaterialIn(context);
    i32 passes = 0;
    ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
    ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
    EXPECT_EQ(effect.CachedSelectionCount(), 1) << "two draws in a frame share one selection";
    const TechniqueSelection* first = effect.GetCurrentSelection();
    TheFrameNotifier().Tick();  // used in the frame just finished: kept
    EXPECT_EQ(effect.CachedSelectionCount(), 1);
    EXPECT_EQ(effect.GetCurrentSelection(), first);
    TheFrameNotifier().Tick();  // a whole frame without use: freed, and no longer current
    EXPECT_EQ(effect.CachedSelectionCount(), 0);
    EXPECT_EQ(effect.GetCurrentSelection(), nullptr);
    EXPECT_FALSE(effect.BeginPass(0));
    ClearRecords();
    EXPECT_TRUE(effect.End());
    EXPECT_TRUE(TakeCalls().empty());
    ASSERT_TRUE(effect.SelectTechnique(&material, 0, passes));
    EXPECT_EQ(effect.CachedSelectionCount(), 1) << "rebuilt on its next use";
    TheFrameNotifier().Remove(&effect);
}

TEST_F(EffectSelection, ALostVariantRefusesItsPass) {
    PlanEffect effect;
    Load(effect, 1);
    RenderContext context;
    context.lighting = Lighting({Dir(0.9f), Point(1.0f, 2.0f, 3.0f)});
    Material material = MaterialIn(context);
    ASSERT_EQ(Select(effect, material), 3);
    EffectCode* point = effect.codes[effect.VariantOf(0, 1)].Get();
    ASSERT_TRUE(point->Invalidate());  // as after a restore that failed
    EXPECT_TRUE(effect.BeginPass(0));
    EXPECT_FALSE(effect.BeginPass(1)) << "its D3DX effect is gone";
    EXPECT_TRUE(effect.End());
    EXPECT_TRUE(Matching(TakeCalls(), "EffectWarning").empty());
}

TEST_F(EffectSelection, TransparencyOfTheBaseFollowsOpacity) {
    PlanEffect effect;
    Material m;
    EXPECT_FALSE(effect.IsTransparent(&m, 0));
    m.layers[1].opacity = 0.5f;
    EXPECT_TRUE(effect.IsTransparent(&m, 1));
    EXPECT_FALSE(effect.IsTransparent(&m, -1)) << "-1 is the first layer";
    EXPECT_FALSE(effect.IsTransparent(&m, 3));
    EXPECT_FALSE(effect.IsTransparent(nullptr, 0));
}

}  // namespace
