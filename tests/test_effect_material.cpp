// Materials: the folding of layers into passes, the transparency rules, and what the
// set-up operations send to the device (render states, texture-stage states, the texture
// factor, texture transforms), recorded by the fake device behind the state cache.
// Textures here only carry a format (whether they have alpha); none is made on the device.
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/EffectManager.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "tests/FakeD3d9.h"
#include "tests/RecordingEffect.h"

#include <gtest/gtest.h>

#include <string.h>

#include <utility>
#include <vector>

using fake::Call;
using fake::Record;

namespace {

u32 Bits(f32 f) {
    u32 b;
    memcpy(&b, &f, sizeof b);
    return b;
}

Record RS(DWORD state, DWORD value) { return Record{Call::RenderState, state, 0, value}; }

using StageStates = std::vector<std::pair<DWORD, DWORD>>;

// A texture that knows its format and nothing else: it is made while no device is
// published, so the device never sees it.
void FormatOnly(Texture& texture, D3DFORMAT format) {
    IDirect3DDevice9* device = TheDevice();
    PublishDevice(nullptr);
    texture.detached = 1;
    texture.CreateEmpty(TEX_EMPTY, 4, 4, 1, 0, format, D3DPOOL_MANAGED, false, true);
    PublishDevice(device);
}

class MaterialDevice : public ::testing::Test {
protected:
    fake::FakeDevice device;
    RenderContext context;
    Texture alphaTexture;
    Texture opaqueTexture;

    void SetUp() override {
        FormatOnly(alphaTexture, D3DFMT_A8R8G8B8);
        FormatOnly(opaqueTexture, D3DFMT_X8R8G8B8);
        PublishDevice(&device);
        StateCache::InvalidateAll();
        device.calls.clear();
    }
    void TearDown() override {
        PublishDevice(nullptr);
        StateCache::InvalidateAll();
    }
    std::vector<Record> RenderSets() const {
        std::vector<Record> out;
        for (const Record& r : device.calls)
            if (r.call == Call::RenderState) out.push_back(r);
        return out;
    }
    StageStates StageSets(DWORD stage) const {
        StageStates out;
        for (const Record& r : device.calls)
            if (r.call == Call::StageState && r.index == stage) out.emplace_back(r.type, r.value);
        return out;
    }
    DWORD DeviceState(D3DRENDERSTATETYPE state) { return device.renderStates[state]; }
    // Puts a state on the device as an earlier draw would have left it.
    void Preset(D3DRENDERSTATETYPE state, DWORD value) {
        ASSERT_TRUE(StateCache::SetRenderState(state, value));
    }
};

}  // namespace

// ---- The records' rules ----

TEST(MaterialRules, WhichArgumentsAnOperationReads) {
    struct Row {
        u32 op;
        bool arg0, arg1, arg2;
    } rows[] = {
        {D3DTOP_DISABLE, false, false, false},     {kTextureOpAutomatic, false, false, false},
        {D3DTOP_SELECTARG1, false, true, false},   {D3DTOP_SELECTARG2, false, false, true},
        {D3DTOP_MODULATE, false, true, true},      {D3DTOP_ADDSIGNED, false, true, true},
        {D3DTOP_MULTIPLYADD, true, true, true},    {D3DTOP_LERP, true, true, true},
        {D3DTOP_DOTPRODUCT3, false, true, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(OpUsesArg(row.op, 0), row.arg0) << row.op;
        EXPECT_EQ(OpUsesArg(row.op, 1), row.arg1) << row.op;
        EXPECT_EQ(OpUsesArg(row.op, 2), row.arg2) << row.op;
        EXPECT_FALSE(OpUsesArg(row.op, 3)) << row.op;
    }
}

TEST(MaterialRules, CombineKindsSetTheAlphaOperation) {
    struct Row {
        i32 kind;
        u32 op, arg1, arg2;
    } rows[] = {
        {0, D3DTOP_DISABLE, 77, 88},
        {1, D3DTOP_SELECTARG1, D3DTA_TFACTOR, 88},
        {2, D3DTOP_SELECTARG1, D3DTA_TEXTURE, 88},
        {3, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR},
        {4, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, 88},
        {5, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR},
        {6, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
        {7, 99, 77, 88},
        {-1, 99, 77, 88},
    };
    for (const Row& row : rows) {
        TextureStage stage;
        stage.alphaOp = 99;
        stage.alphaArg[1] = 77;
        stage.alphaArg[2] = 88;
        stage.SetCombine(row.kind);
        EXPECT_EQ(stage.alphaOp, row.op) << row.kind;
        EXPECT_EQ(stage.alphaArg[1], row.arg1) << row.kind;
        EXPECT_EQ(stage.alphaArg[2], row.arg2) << row.kind;
        EXPECT_EQ(stage.alphaArg[0], u32(D3DTA_DIFFUSE)) << row.kind;
    }
}

TEST(MaterialRules, BlendModesSetTheFactorsOfTheirKind) {
    struct Row {
        i32 kind;
        u8 enabled;
        u32 src, dest;
    } rows[] = {
        {1, 0, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}, {4, 1, D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
        {5, 1, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR},   {100, 1, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR},
        {7, 1, D3DBLEND_SRCALPHA, D3DBLEND_ONE},         {8, 1, D3DBLEND_BOTHSRCALPHA, D3DBLEND_INVDESTCOLOR},
        {3, 1, D3DBLEND_BOTHSRCALPHA, D3DBLEND_INVDESTCOLOR},
    };
    for (const Row& row : rows) {
        MaterialLayer layer;
        layer.srcBlend = D3DBLEND_BOTHSRCALPHA;
        layer.destBlend = D3DBLEND_INVDESTCOLOR;
        layer.SetBlendMode(row.kind);
        EXPECT_EQ(layer.blendEnabled, row.enabled) << row.kind;
        EXPECT_EQ(layer.srcBlend, row.src) << row.kind;
        EXPECT_EQ(layer.destBlend, row.dest) << row.kind;
    }
}

TEST(MaterialRules, EqualityComparesTheDrawingFieldsAndPixelOwners) {
    Material a;
    Texture t1;
    Texture t2;
    FormatOnly(t1, D3DFMT_A8R8G8B8);
    FormatOnly(t2, D3DFMT_A8R8G8B8);
    a.layers[0].samplers[kBaseMap].texture = &t1;
    Material b(a);
    EXPECT_TRUE(a.Equals(b));
    b.layers[0].samplers[kBaseMap].scale = 3.0f;  // the scale is not compared
    b.layers[0].techniqueName = String("Other");  // nor the technique
    EXPECT_TRUE(a.Equals(b));
    b.layers[0].samplers[kBaseMap].texture = &t2;
    EXPECT_FALSE(a.Equals(b));
    b.layers[0].samplers[kBaseMap].texture = &t1;
    b.layers[0].opacity = 0.5f;
    EXPECT_FALSE(a.Equals(b));
    b.layers[0].opacity = 1.0f;
    b.layers[0].colors.SetDiffuse(1.0f, 0.5f, 1.0f, 1.0f);
    EXPECT_FALSE(a.Equals(b));
    b.layers[0].colors.Reset();
    b.layerCount = 2;
    EXPECT_FALSE(a.Equals(b));
    b.layerCount = 1;
    b.layers[0].samplers[kSpecularMap].addressU = D3DTADDRESS_CLAMP;
    EXPECT_FALSE(a.Equals(b));
}

TEST(MaterialRules, NamedValuesKeepTheirTypeAndTravelWithCopies) {
    Material m;
    m.SetFloat(String("Etha"), 0.25f);
    Matrix cube = IdentityMatrix;
    *cube.At(3, 0) = 7.0f;
    m.SetMatrix(String("ObjToCube"), cube);
    const Material copy(m);
    f32 f = -1.0f;
    EXPECT_TRUE(copy.GetFloat(String("etha"), f));  // names ignore case
    EXPECT_EQ(f, 0.25f);
    Matrix out = ZeroMatrix;
    ASSERT_TRUE(copy.GetMatrix(String("ObjToCube"), out));
    EXPECT_EQ(*out.At(3, 0), 7.0f);
    f = -1.0f;
    EXPECT_FALSE(copy.GetFloat(String("ObjToCube"), f));  // a matrix is no float
    EXPECT_EQ(f, -1.0f);
    EXPECT_FALSE(copy.GetMatrix(String("Etha"), out));
    EXPECT_FALSE(copy.GetFloat(String("Missing"), f));
    m.SetFloat(String("Etha"), 0.5f);
    EXPECT_TRUE(copy.GetFloat(String("Etha"), f));
    EXPECT_EQ(f, 0.25f);  // the copy kept its own
}

// ---- Passes ----

namespace {

struct LayerIn {
    const char* kind;  // blend-kind name
    bool effect;
    bool textured;
    bool lit;
};

struct StageOut {
    u32 colorOp, arg1, arg2, texCoordIndex, alphaOp;
};

struct BlendOut {
    u8 enabled;
    u32 src, dest;
};

struct PassRow {
    const char* title;
    std::vector<LayerIn> in;
    i32 passes;
    std::vector<StageOut> stages;  // layer 0's first stages
    std::vector<BlendOut> blends;  // per pass layer
    f32 bias0;
};

constexpr u32 kSphere = D3DTSS_TCI_SPHEREMAP;
constexpr u32 kAuto = kTextureOpAutomatic;

}  // namespace

TEST(MaterialPasses, BuildPassesFoldsLayersAndChoosesBlends) {
    RecordingEffect effect;
    Texture texture;
    FormatOnly(texture, D3DFMT_X8R8G8B8);
    const BlendOut off{0, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA};
    const PassRow rows[] = {
        {"untextured unlit", {{"", false, false, false}}, 1, {{D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto}},
         {off}, 0.0f},
        {"textured lit", {{"", false, true, true}}, 1, {{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto}},
         {off}, 0.0f},
        {"textured unlit", {{"", false, true, false}}, 1,
         {{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto}}, {off}, 0.0f},
        {"untextured lit", {{"", false, false, true}}, 1,
         {{D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, 0, kAuto}}, {off}, 0.0f},
        {"a light map folds into stage 1",
         {{"", false, true, true}, {"LightMap", false, true, true}},
         1,
         {{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto},
          {D3DTOP_MODULATE2X, D3DTA_CURRENT, D3DTA_TEXTURE, 1, kAuto}},
         {off},
         0.0f},
        {"chrome is a sphere-mapped add",
         {{"", false, true, false}, {"myCHROMEmap", false, false, false}},
         1,
         {{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto},
          {D3DTOP_ADD, D3DTA_CURRENT, D3DTA_DIFFUSE, 1 | kSphere, kAuto}},
         {off},
         0.0f},
        {"AddSigned is not Add",
         {{"", false, false, false}, {"AddSigned", false, true, false}, {"modulate", false, true, false}},
         1,
         {{D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto},
          {D3DTOP_ADDSIGNED, D3DTA_CURRENT, D3DTA_TEXTURE, 1, kAuto},
          {D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEXTURE, 2, kAuto}},
         {off},
         0.0f},
        {"a named first layer blends by its kind", {{"Modulate", false, false, false}}, 1,
         {{D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto}},
         {{1, D3DBLEND_DESTCOLOR, D3DBLEND_ZERO}}, 0.0f},
        {"a pass after an effect imitates its add",
         {{"", true, false, false}, {"Add", false, true, true}},
         2,
         {},
         {off, {1, D3DBLEND_SRCALPHA, D3DBLEND_ONE}},
         1e-5f},
        {"a separate AddSigned pass keeps its factors with blending on",
         {{"", true, false, false}, {"AddSigned", false, true, false}},
         2,
         {},
         {off, {1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}},
         1e-5f},
        {"an effect layer moves into the slot a folded layer freed",
         {{"", false, true, false}, {"Modulate2X", false, true, false}, {"", true, false, false}},
         2,
         {{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, kAuto},
          {D3DTOP_MODULATE2X, D3DTA_CURRENT, D3DTA_TEXTURE, 1, kAuto}},
         {off, {1, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR}},
         1e-5f},
        {"three effects are three passes",
         {{"", true, false, false}, {"", true, false, false}, {"", true, false, false}},
         3,
         {},
         {off, {1, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR}, {1, D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR}},
         0.0f},
    };
    for (const PassRow& row : rows) {
        SCOPED_TRACE(row.title);
        Material m;
        m.layerCount = static_cast<i32>(row.in.size());
        for (size_t i = 0; i < row.in.size(); ++i) {
            MaterialLayer& layer = m.layers[i];
            layer.blendKindName = String(row.in[i].kind);
            layer.effect = row.in[i].effect ? &effect : nullptr;
            layer.lit = row.in[i].lit;
            if (row.in[i].textured) layer.samplers[kBaseMap].texture = &texture;
        }
        m.BuildPasses();
        ASSERT_EQ(m.layerCount, row.passes);
        for (size_t s = 0; s < row.stages.size(); ++s) {
            const TextureStage& stage = m.layers[0].stages[s];
            EXPECT_EQ(stage.colorOp, row.stages[s].colorOp) << s;
            EXPECT_EQ(stage.colorArg[1], row.stages[s].arg1) << s;
            EXPECT_EQ(stage.colorArg[2], row.stages[s].arg2) << s;
            EXPECT_EQ(stage.texCoordIndex, row.stages[s].texCoordIndex) << s;
            EXPECT_EQ(stage.alphaOp, row.stages[s].alphaOp) << s;
            EXPECT_EQ(stage.sampler.texture, row.in[s].textured ? &texture : nullptr) << s;
        }
        for (size_t p = 0; p < row.blends.size(); ++p) {
            EXPECT_EQ(m.layers[p].blendEnabled, row.blends[p].enabled) << p;
            EXPECT_EQ(m.layers[p].srcBlend, row.blends[p].src) << p;
            EXPECT_EQ(m.layers[p].destBlend, row.blends[p].dest) << p;
            if (p > 0) {
                EXPECT_EQ(m.layers[p].lit, 0) << p;
            }
        }
        EXPECT_EQ(m.layers[0].depthBias, Bits(row.bias0));
    }
}

TEST(MaterialPasses, TheMovedEffectLayerIsACopyOfTheLast) {
    RecordingEffect effect;
    Material m;
    m.layerCount = 3;
    m.layers[2].effect = &effect;
    m.layers[2].techniqueName = String("Shiny");
    m.layers[2].opacity = 0.25f;
    m.BuildPasses();
    ASSERT_EQ(m.layerCount, 2);
    EXPECT_EQ(m.layers[1].effect, &effect);
    EXPECT_STREQ(m.layers[1].techniqueName.c_str(), "Shiny");
    EXPECT_EQ(m.layers[1].opacity, 0.25f);
    EXPECT_EQ(m.FirstEffect(), &effect);
}

TEST(MaterialPasses, BumpAndEnvironmentMapsChooseTheLayersEffect) {
    Array<Effect*> list(0, 4);
    const char* names[] = {"Bump", "BumpEnv", "Env"};
    Effect* byName[3];
    for (i32 i = 0; i < 3; ++i) {
        auto* effect = new RecordingEffect;
        effect->AddName(String(names[i]), 200);
        list.Add(effect);
        byName[i] = effect;
    }
    ASSERT_TRUE(TheEffectManager().Create(list));
    RecordingEffect kept;
    Texture map;
    FormatOnly(map, D3DFMT_X8R8G8B8);
    struct Row {
        bool bump, env, env2;
        Effect* expected;
    } rows[] = {
        {true, false, false, byName[0]}, {true, true, false, byName[1]}, {true, false, true, byName[1]},
        {false, true, false, byName[2]}, {false, false, true, byName[2]}, {false, false, false, &kept},
    };
    for (const Row& row : rows) {
        Material m;
        m.layerCount = 1;
        m.layers[0].effect = &kept;
        m.layers[0].samplers[kBumpMap].texture = row.bump ? &map : nullptr;
        m.layers[0].samplers[kEnvMap].texture = row.env ? &map : nullptr;
        m.layers[0].samplers[kEnvMap2].texture = row.env2 ? &map : nullptr;
        m.AssignBumpEffects();
        EXPECT_EQ(m.layers[0].effect, row.expected) << row.bump << row.env << row.env2;
    }
    TheEffectManager().Reset();
}

// ---- Transparency ----

TEST(MaterialTransparency, TheLayerRulesInOrder) {
    RecordingEffect effect;
    Texture alpha;
    Texture opaque;
    FormatOnly(alpha, D3DFMT_A8R8G8B8);
    FormatOnly(opaque, D3DFMT_X8R8G8B8);
    struct Row {
        const char* title;
        i32 effect;  // -1 none, else the effect's answer
        u8 vertexAlpha;
        f32 opacity;
        i32 combine;  // stage 0's combine kind, -1 automatic
        Texture* texture;
        u32 stage1Alpha;
        bool expected;
    } rows[] = {
        {"plain", -1, 0, 1.0f, -1, nullptr, D3DTOP_DISABLE, false},
        {"vertex alpha", -1, 1, 1.0f, -1, nullptr, D3DTOP_DISABLE, true},
        {"opacity read through the factor", -1, 0, 0.5f, 1, nullptr, D3DTOP_DISABLE, true},
        {"opacity the stages never read", -1, 0, 0.5f, -1, nullptr, D3DTOP_DISABLE, false},
        {"a texture with alpha", -1, 0, 1.0f, -1, &alpha, D3DTOP_DISABLE, true},
        {"a texture without alpha", -1, 0, 1.0f, -1, &opaque, D3DTOP_DISABLE, false},
        {"a later fixed alpha operation", -1, 0, 1.0f, -1, &opaque, D3DTOP_MODULATE, true},
        {"alpha disabled on stage 0", -1, 0, 1.0f, 0, &alpha, D3DTOP_MODULATE, false},
        {"a fixed texture alpha", -1, 0, 1.0f, 2, nullptr, D3DTOP_DISABLE, true},
        {"the effect says yes", 1, 0, 1.0f, -1, nullptr, D3DTOP_DISABLE, true},
        {"the effect says no", 0, 1, 0.5f, 1, &alpha, D3DTOP_DISABLE, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        Material m;
        MaterialLayer& layer = m.layers[0];
        effect.transparent = row.effect == 1;
        layer.effect = row.effect >= 0 ? &effect : nullptr;
        layer.vertexAlpha = row.vertexAlpha;
        layer.opacity = row.opacity;
        if (row.combine >= 0) layer.stages[0].SetCombine(row.combine);
        layer.stages[0].sampler.texture = row.texture;
        layer.stages[1].alphaOp = row.stage1Alpha;
        EXPECT_EQ(m.IsTransparent(0), row.expected);
        EXPECT_EQ(m.IsTransparent(-1), row.expected);
        EXPECT_EQ(m.NeedsSorting(), row.expected);
    }
}

TEST(MaterialTransparency, BlendingSortsUnlessItOnlyMultiplies) {
    Material m;
    EXPECT_FALSE(m.IsBlended());
    m.layers[0].SetBlendMode(kBlendAdditive);
    EXPECT_TRUE(m.IsBlended());
    EXPECT_TRUE(m.NeedsSorting());
    m.layers[0].SetBlendMode(kBlendModulate);  // DESTCOLOR x ZERO
    EXPECT_FALSE(m.IsBlended());
    EXPECT_FALSE(m.IsTransparent(5));
}

// ---- Render states ----

TEST_F(MaterialDevice, NothingIsSentWithoutAContext) {
    Material m;
    EXPECT_FALSE(m.ApplyRenderStates(0));
    EXPECT_FALSE(m.BindTextures(0));
    EXPECT_FALSE(m.ApplyLighting(0));
    EXPECT_FALSE(m.ApplyMaterial(0));
    EXPECT_TRUE(device.calls.empty());
    m.context = &context;
    EXPECT_FALSE(m.ApplyRenderStates(3));
    EXPECT_FALSE(m.ApplyMaterial(-1));
}

TEST_F(MaterialDevice, RenderStatesForDepthAlphaTestAndBlending) {
    const std::vector<Record> depth = {RS(D3DRS_CULLMODE, D3DCULL_CCW), RS(D3DRS_ZENABLE, 1), RS(D3DRS_DEPTHBIAS, 0),
                                       RS(D3DRS_SLOPESCALEDEPTHBIAS, 0), RS(D3DRS_ZFUNC, D3DCMP_LESSEQUAL),
                                       RS(D3DRS_ZWRITEENABLE, 1)};
    struct Row {
        const char* title;
        void (*setup)(Material&);
        std::vector<Record> tail;  // after the depth states
    } rows[] = {
        {"opaque", [](Material&) {}, {RS(D3DRS_ALPHATESTENABLE, 0), RS(D3DRS_ALPHABLENDENABLE, 0)}},
        {"vertex alpha tests and blends",
         [](Material& m) {
             m.layers[0].vertexAlpha = 1;
             m.layers[0].alphaRef = 0x40;
         },
         {RS(D3DRS_ALPHAREF, 0x40), RS(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL), RS(D3DRS_ALPHATESTENABLE, 1),
          RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
          RS(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA)}},
        {"alpha test not allowed",
         [](Material& m) {
             m.layers[0].vertexAlpha = 1;
             m.alphaTestAllowed = 0;
         },
         {RS(D3DRS_ALPHATESTENABLE, 0), RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
          RS(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA)}},
        {"additive blend of an opaque layer",
         [](Material& m) { m.layers[0].SetBlendMode(kBlendAdditive); },
         {RS(D3DRS_ALPHATESTENABLE, 0), RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
          RS(D3DRS_DESTBLEND, D3DBLEND_ONE)}},
        {"transparent and blended takes the layer's factors",
         [](Material& m) {
             m.layers[0].vertexAlpha = 1;
             m.layers[0].SetBlendMode(kBlendModulate);
         },
         {RS(D3DRS_ALPHAREF, 1), RS(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL), RS(D3DRS_ALPHATESTENABLE, 1),
          RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR), RS(D3DRS_DESTBLEND, D3DBLEND_ZERO)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        StateCache::InvalidateAll();
        device.calls.clear();
        Material m;
        m.context = &context;
        row.setup(m);
        EXPECT_TRUE(m.ApplyRenderStates(0));
        std::vector<Record> expected = depth;
        expected.insert(expected.end(), row.tail.begin(), row.tail.end());
        EXPECT_EQ(RenderSets(), expected);
    }
}

// The opacity counts wherever a stage reads the factor's alpha. Here stage 0 has its
// alpha switched off and only stage 1 reads the factor, so the stages' own operations
// would call the layer opaque: the fade alone must make it sort and blend, and the same
// layer at full opacity stays in the opaque pass with blending off.
TEST_F(MaterialDevice, AFadeReadOnlyByALaterStageStillBlends) {
    // What follows the six depth states, and whether the queue sorts the layer.
    const auto alphaStates = [this](f32 opacity, bool& sorted) {
        Material m;
        m.context = &context;
        m.layers[0].opacity = opacity;
        m.layers[0].stages[0].SetCombine(0);  // DISABLE
        m.layers[0].stages[1].SetCombine(1);  // SELECTARG1 of TFACTOR
        sorted = m.NeedsSorting();
        StateCache::InvalidateAll();
        device.calls.clear();
        EXPECT_TRUE(m.ApplyRenderStates(0));
        const std::vector<Record> sets = RenderSets();
        return sets.size() < 6 ? sets : std::vector<Record>(sets.begin() + 6, sets.end());
    };
    bool sorted = false;
    EXPECT_EQ(alphaStates(0.4f, sorted),
              (std::vector<Record>{RS(D3DRS_ALPHAREF, 1), RS(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL),
                                   RS(D3DRS_ALPHATESTENABLE, 1), RS(D3DRS_ALPHABLENDENABLE, 1),
                                   RS(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), RS(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA)}));
    EXPECT_TRUE(sorted);
    EXPECT_EQ(alphaStates(1.0f, sorted),
              (std::vector<Record>{RS(D3DRS_ALPHATESTENABLE, 0), RS(D3DRS_ALPHABLENDENABLE, 0)}));
    EXPECT_FALSE(sorted);
}

TEST_F(MaterialDevice, DepthStatesOfTheLayerAndNoCompareWithoutTheTest) {
    Material m;
    m.context = &context;
    m.layers[0].depthTest = 0;
    m.layers[0].depthWrite = 0;
    m.layers[0].cullMode = D3DCULL_NONE;
    m.layers[0].depthBias = Bits(1e-5f);
    m.layers[0].slopeScaleDepthBias = Bits(2.0f);
    EXPECT_TRUE(m.ApplyRenderStates(0));
    const std::vector<Record> sets = RenderSets();
    ASSERT_GE(sets.size(), 5u);
    EXPECT_EQ(std::vector<Record>(sets.begin(), sets.begin() + 5),
              (std::vector<Record>{RS(D3DRS_CULLMODE, D3DCULL_NONE), RS(D3DRS_ZENABLE, 0),
                                   RS(D3DRS_DEPTHBIAS, Bits(1e-5f)), RS(D3DRS_SLOPESCALEDEPTHBIAS, Bits(2.0f)),
                                   RS(D3DRS_ZWRITEENABLE, 0)}));
}

TEST_F(MaterialDevice, FogComesBackAsItWasAfterEveryFogLayer) {
    struct Row {
        const char* title;
        DWORD fogBefore;
        i32 layer;
        u8 ownColor;
        DWORD enableDuring, colorDuring;
    } rows[] = {
        {"first layer's own colour over fog", 1, 0, 1, 1, 0x00FF0000},
        {"first layer's own colour without fog", 0, 0, 1, 1, 0x00FF0000},
        {"later pass without fog over fog", 1, 1, 0, 0, 0x00123456},
        {"later pass with its own colour over fog", 1, 1, 1, 1, 0x00FF0000},
        {"later pass with its own colour without fog", 0, 1, 1, 0, 0x00FF0000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        StateCache::InvalidateAll();
        Preset(D3DRS_FOGENABLE, row.fogBefore);
        Preset(D3DRS_FOGCOLOR, 0x00123456);
        Material m;
        m.context = &context;
        m.layerCount = 2;
        MaterialLayer& layer = m.layers[row.layer];
        layer.ownFogColor = row.ownColor;
        layer.noFogInLaterPass = !row.ownColor;
        layer.fogColor = 0x00FF0000;
        EXPECT_TRUE(m.ApplyRenderStates(row.layer));
        EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), row.enableDuring);
        EXPECT_EQ(DeviceState(D3DRS_FOGCOLOR), row.colorDuring);
        m.RestoreFog();
        EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), row.fogBefore);
        EXPECT_EQ(DeviceState(D3DRS_FOGCOLOR), 0x00123456u);
        EXPECT_EQ(m.fogRestore, 0u);
        // A second restore has nothing left to do.
        device.calls.clear();
        m.RestoreFog();
        EXPECT_TRUE(RenderSets().empty());
    }
}

TEST_F(MaterialDevice, ALayerWithoutFogFlagsLeavesFogAlone) {
    Preset(D3DRS_FOGENABLE, 1);
    device.calls.clear();
    Material m;
    m.context = &context;
    EXPECT_TRUE(m.ApplyRenderStates(0));
    m.RestoreFog();
    for (const Record& r : device.calls) {
        EXPECT_NE(r.index, DWORD(D3DRS_FOGENABLE));
        EXPECT_NE(r.index, DWORD(D3DRS_FOGCOLOR));
    }
}

// ---- Lighting and transforms ----

TEST_F(MaterialDevice, LightingSendsTheValidSlotsAndTheLayersColours) {
    Material m;
    m.context = &context;
    context.world = IdentityMatrix;
    *context.world.At(3, 0) = 5.0f;
    context.world.kind = 0;
    context.world.valid = 1;
    m.layers[0].lit = 1;
    m.layers[0].specularEnabled = 1;
    m.layers[0].colors.SetDiffuse(1.0f, 0.25f, 0.5f, 0.75f);
    EXPECT_TRUE(m.ApplyLighting(0));
    EXPECT_EQ(device.Count(Call::Transform), 1u);  // only the world slot is valid
    EXPECT_EQ(device.lastMatrix._41, 5.0f);
    EXPECT_EQ(device.lastMaterial.Diffuse.g, 0.5f);
    EXPECT_EQ(RenderSets(), (std::vector<Record>{RS(D3DRS_LIGHTING, 1), RS(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL),
                                                 RS(D3DRS_SPECULARENABLE, 1), RS(D3DRS_LOCALVIEWER, 0)}));
    device.calls.clear();
    m.layers[1].lit = 0;
    EXPECT_TRUE(m.ApplyLighting(1));
    EXPECT_EQ(device.Count(Call::Material), 0u);
    EXPECT_EQ(RenderSets(),
              (std::vector<Record>{RS(D3DRS_LIGHTING, 0), RS(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1)}));
}

// ---- Stage operations ----

TEST_F(MaterialDevice, TheTextureFactorMergesColourAndOpacity) {
    struct Row {
        const char* title;
        bool colorReads, alphaReads;
        f32 opacity;
        DWORD expected;
    } rows[] = {
        {"both", true, true, 0.5f, 0x7FFF8000},
        {"colour only keeps the alpha byte", true, false, 0.5f, 0x11FF8000},
        {"alpha only keeps the colour", false, true, 0.5f, 0x7F223344},
        {"an opacity above one stays within the byte", false, true, 1.5f, 0xFF223344},
        {"a negative opacity is zero", false, true, -0.25f, 0x00223344},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        StateCache::InvalidateAll();
        Preset(D3DRS_TEXTUREFACTOR, 0x11223344);
        device.calls.clear();
        Material m;
        m.context = &context;
        MaterialLayer& layer = m.layers[0];
        layer.opacity = row.opacity;
        layer.factor.Set(1.0f, 1.0f, 0.5f, 0.0f);
        TextureStage& stage = layer.stages[0];
        stage.colorOp = D3DTOP_SELECTARG1;
        stage.colorArg[1] = row.colorReads ? D3DTA_TFACTOR : D3DTA_DIFFUSE;
        stage.alphaOp = D3DTOP_SELECTARG1;
        stage.alphaArg[1] = row.alphaReads ? D3DTA_TFACTOR : D3DTA_DIFFUSE;
        EXPECT_TRUE(m.ApplyMaterial(0));
        EXPECT_EQ(DeviceState(D3DRS_TEXTUREFACTOR), row.expected);
    }
}

TEST_F(MaterialDevice, NoFactorIsSentWhenNoStageReadsIt) {
    Material m;
    m.context = &context;
    EXPECT_TRUE(m.ApplyMaterial(0));
    for (const Record& r : device.calls) EXPECT_NE(r.index, DWORD(D3DRS_TEXTUREFACTOR));
}

TEST_F(MaterialDevice, AnUntexturedUnlitFoldedLayerDisablesStage0) {
    Material m;
    m.context = &context;
    m.BuildPasses();
    EXPECT_TRUE(m.ApplyMaterial(0));
    EXPECT_EQ(StageSets(0), (StageStates{{D3DTSS_COLOROP, D3DTOP_DISABLE}}));
    EXPECT_TRUE(StageSets(1).empty());
}

TEST_F(MaterialDevice, AutomaticColourAndAlphaPerStage) {
    enum Tex { kNone, kOpaque, kAlpha };
    struct Row {
        const char* title;
        u32 stage;  // the automatic stage under test; stage 0 is automatic untextured before it
        Tex texture;
        f32 opacity;
        u8 vertexAlpha, lit, vertexColor;
        StageStates expected;
    } rows[] = {
        {"untextured opaque", 0, kNone, 1.0f, 0, 0, 0,
         {{D3DTSS_COLORARG1, D3DTA_DIFFUSE}, {D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {D3DTSS_ALPHAOP, D3DTOP_DISABLE}}},
        {"textured unlit", 0, kOpaque, 1.0f, 0, 0, 0,
         {{D3DTSS_TEXCOORDINDEX, 0},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAOP, D3DTOP_DISABLE}}},
        {"textured with vertex colour", 0, kOpaque, 1.0f, 0, 0, 1,
         {{D3DTSS_TEXCOORDINDEX, 0},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {D3DTSS_COLOROP, D3DTOP_MODULATE},
          {D3DTSS_ALPHAOP, D3DTOP_DISABLE}}},
        {"alpha texture, lit", 0, kAlpha, 1.0f, 0, 1, 0,
         {{D3DTSS_TEXCOORDINDEX, 0},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {D3DTSS_COLOROP, D3DTOP_MODULATE},
          {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
          {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}}},
        {"opacity alone", 0, kNone, 0.5f, 0, 0, 0,
         {{D3DTSS_COLORARG1, D3DTA_DIFFUSE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAARG1, D3DTA_TFACTOR},
          {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}}},
        {"vertex alpha alone", 0, kNone, 1.0f, 1, 0, 0,
         {{D3DTSS_COLORARG1, D3DTA_DIFFUSE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAARG1, D3DTA_DIFFUSE},
          {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}}},
        {"texture alpha and opacity", 0, kAlpha, 0.5f, 0, 0, 0,
         {{D3DTSS_TEXCOORDINDEX, 0},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
          {D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
          {D3DTSS_ALPHAOP, D3DTOP_MODULATE}}},
        {"vertex alpha and opacity", 0, kNone, 0.5f, 1, 0, 0,
         {{D3DTSS_COLORARG1, D3DTA_DIFFUSE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAARG1, D3DTA_DIFFUSE},
          {D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
          {D3DTSS_ALPHAOP, D3DTOP_MODULATE}}},
        {"texture alpha and vertex alpha", 0, kAlpha, 1.0f, 1, 0, 0,
         {{D3DTSS_TEXCOORDINDEX, 0},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
          {D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
          {D3DTSS_ALPHAOP, D3DTOP_MODULATE}}},
        {"all three on stage 0", 0, kAlpha, 0.5f, 1, 0, 0,
         {{D3DTSS_TEXCOORDINDEX, 0},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
          {D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
          {D3DTSS_ALPHAOP, D3DTOP_MODULATE}}},
        {"a later stage modulates its texture", 1, kAlpha, 1.0f, 0, 0, 0,
         {{D3DTSS_TEXCOORDINDEX, 1},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_CURRENT},
          {D3DTSS_COLOROP, D3DTOP_MODULATE2X},
          {D3DTSS_COLORARG2, D3DTA_TEXTURE},
          {D3DTSS_ALPHAARG1, D3DTA_CURRENT},
          {D3DTSS_ALPHAARG2, D3DTA_TEXTURE},
          {D3DTSS_ALPHAOP, D3DTOP_MODULATE}}},
        {"a later stage without a texture", 1, kNone, 1.0f, 1, 0, 0,
         {{D3DTSS_COLORARG1, D3DTA_CURRENT},
          {D3DTSS_COLOROP, D3DTOP_MODULATE2X},
          {D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {D3DTSS_ALPHAOP, D3DTOP_DISABLE}}},
        // Stage 0 took the factor (vertex alpha and opacity), so the later stage has two
        // sources left and only brings its texture in.
        {"a later stage after stage 0 took the factor", 1, kAlpha, 0.5f, 1, 0, 0,
         {{D3DTSS_TEXCOORDINDEX, 1},
          {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
          {D3DTSS_COLORARG1, D3DTA_CURRENT},
          {D3DTSS_COLOROP, D3DTOP_MODULATE2X},
          {D3DTSS_COLORARG2, D3DTA_TEXTURE},
          {D3DTSS_ALPHAARG1, D3DTA_CURRENT},
          {D3DTSS_ALPHAARG2, D3DTA_TEXTURE},
          {D3DTSS_ALPHAOP, D3DTOP_MODULATE}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        StateCache::InvalidateAll();
        device.calls.clear();
        Material m;
        m.context = &context;
        MaterialLayer& layer = m.layers[0];
        layer.opacity = row.opacity;
        layer.vertexAlpha = row.vertexAlpha;
        layer.lit = row.lit;
        layer.vertexColor = row.vertexColor;
        TextureStage& stage = layer.stages[row.stage];
        stage.colorOp = kTextureOpAutomatic;
        stage.alphaOp = kTextureOpAutomatic;
        stage.sampler.texture = row.texture == kAlpha ? &alphaTexture : (row.texture == kOpaque ? &opaqueTexture : nullptr);
        EXPECT_TRUE(m.ApplyMaterial(0));
        EXPECT_EQ(StageSets(row.stage), row.expected);
        EXPECT_EQ(StageSets(row.stage + 1), (StageStates{{D3DTSS_COLOROP, D3DTOP_DISABLE}}));
    }
}

TEST_F(MaterialDevice, AFixedOperationSendsOnlyTheArgumentsItReads) {
    Material m;
    m.context = &context;
    TextureStage& stage = m.layers[0].stages[0];
    stage.colorOp = D3DTOP_LERP;
    stage.colorArg[0] = D3DTA_TFACTOR;
    stage.colorArg[1] = D3DTA_DIFFUSE;
    stage.colorArg[2] = D3DTA_SPECULAR;
    stage.SetCombine(4);  // SELECTARG1 of DIFFUSE
    stage.alphaArg[2] = D3DTA_TFACTOR;  // not read
    EXPECT_TRUE(m.ApplyMaterial(0));
    EXPECT_EQ(StageSets(0), (StageStates{{D3DTSS_COLOROP, D3DTOP_LERP},
                                         {D3DTSS_COLORARG0, D3DTA_TFACTOR},
                                         {D3DTSS_COLORARG1, D3DTA_DIFFUSE},
                                         {D3DTSS_COLORARG2, D3DTA_SPECULAR},
                                         {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
                                         {D3DTSS_ALPHAARG1, D3DTA_DIFFUSE}}));
    // The colour reads the factor, the alpha does not: only the colour bits change.
    EXPECT_EQ(DeviceState(D3DRS_TEXTUREFACTOR) & 0x00FFFFFFu, 0x00FFFFFFu);
}

TEST_F(MaterialDevice, TextureTransformsOfTheStage) {
    struct Row {
        const char* title;
        u32 enabled;
        u32 coordinates;
        f32 stageScale;
        bool sent;
        f32 m11, m41;
    } rows[] = {
        {"no transform", 0, 0, 2.0f, false, 0.0f, 0.0f},
        {"an identity transform", 1, 0, 1.0f, false, 0.0f, 0.0f},
        {"a scale", 1, 0, 2.0f, true, 2.0f, 0.0f},
        {"camera-space positions take the view's inverse", 1, D3DTSS_TCI_CAMERASPACEPOSITION, 2.0f, true, 2.0f, -6.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        StateCache::InvalidateAll();
        device.calls.clear();
        RenderContext view;
        view.view = IdentityMatrix;
        *view.view.At(3, 0) = 3.0f;  // the eye 3 units along x
        view.view.kind = 0;
        view.view.valid = 1;
        Material m;
        m.context = &view;
        TextureStage& stage = m.layers[0].stages[0];
        stage.sampler.texture = &opaqueTexture;
        stage.texCoordIndex = row.coordinates;
        stage.transformEnabled = row.enabled;
        stage.transform = IdentityMatrix;
        if (row.stageScale != 1.0f) {
            *stage.transform.At(0, 0) = row.stageScale;
            stage.transform.kind = PureScale;
        }
        EXPECT_TRUE(m.ApplyMaterial(0));
        const StageStates sets = StageSets(0);
        ASSERT_GE(sets.size(), 2u);
        EXPECT_EQ(sets[0], (std::pair<DWORD, DWORD>(D3DTSS_TEXCOORDINDEX, row.coordinates)));
        EXPECT_EQ(sets[1], (std::pair<DWORD, DWORD>(D3DTSS_TEXTURETRANSFORMFLAGS,
                                                    row.sent ? D3DTTFF_COUNT2 : D3DTTFF_DISABLE)));
        EXPECT_EQ(device.Count(Call::Transform), row.sent ? 1u : 0u);
        if (!row.sent) continue;
        bool toStage0 = false;
        for (const Record& r : device.calls) toStage0 |= r.call == Call::Transform && r.index == D3DTS_TEXTURE0;
        EXPECT_TRUE(toStage0);
        EXPECT_FLOAT_EQ(device.lastMatrix._11, row.m11);
        EXPECT_FLOAT_EQ(device.lastMatrix._41, row.m41);
    }
}

TEST_F(MaterialDevice, BindingSendsTheStagesTextureAndSamplerStates) {
    Material m;
    m.context = &context;
    TextureStage& stage = m.layers[0].stages[2];
    stage.sampler.texture = &alphaTexture;
    stage.sampler.addressU = D3DTADDRESS_CLAMP;
    stage.sampler.mipFilter = D3DTEXF_POINT;
    stage.texCoordIndex = 1;
    EXPECT_TRUE(m.BindTextures(0));
    const std::vector<Record> expected = {
        Record{Call::StageState, 2, D3DTSS_TEXCOORDINDEX, 1},
        Record{Call::Texture, 2, 0, 0},  // this texture has no Direct3D texture
        Record{Call::SamplerState, 2, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP},
        Record{Call::SamplerState, 2, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
        Record{Call::SamplerState, 2, D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
        Record{Call::SamplerState, 2, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},
        Record{Call::SamplerState, 2, D3DSAMP_MIPFILTER, D3DTEXF_POINT},
    };
    EXPECT_EQ(device.calls, expected);
    // A refused state makes the binding, and so the material, fail.
    StateCache::InvalidateAll();
    device.setResult = D3DERR_INVALIDCALL;
    EXPECT_FALSE(m.BindTextures(0));
    EXPECT_FALSE(m.ApplyMaterial(0));
}
