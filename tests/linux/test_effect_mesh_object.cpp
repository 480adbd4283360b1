// The mesh object on the reference device: what a draw sends (read back from the device's
// call log), the effect opened and closed by the batch flags (a recording effect), the
// level-of-detail parts and their draw cache, fog around pre-transformed vertices, and the
// draws that must not happen.
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/GeometryCache.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/LightSet.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderContext.h"
#include "tests/RecordingEffect.h"
#include "tests/linux/PlatformD3d9Support.h"

#include <PlatformTestD3d9.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

VertexDeclaration PositionNormal() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    return layout;
}

VertexDeclaration PositionNormalTexture() {
    VertexDeclaration layout = PositionNormal();
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    return layout;
}

// A mesh of `triangles` separate triangles of layout, indexed 0, 1, 2, ..., inside a box of
// centre (0, 0, z) and edge `size`.
void FillTriangles(FrameSequence& data, const VertexDeclaration& layout, u32 triangles, f32 z, f32 size) {
    ASSERT_TRUE(data.vertices.Reserve(3 * triangles, layout));
    ASSERT_TRUE(data.indices.Allocate(3 * triangles, 2));
    for (u32 i = 0; i < 3 * triangles; ++i) data.indices.Set(i, i);
    data.box = Box{0.0f, 0.0f, z, size, size, size};
    data.valid = 1;
}

class MeshDevice : public ::testing::Test {
protected:
    Application app;
    RenderContext context;
    Calls effectCalls;

    void SetUp() override {
        platformd3d9::ResetPlatform();
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
            GTEST_SKIP() << "no windowed reference device";
        StateCache::InvalidateAll();
        TheGeometryCache().Reset();
        TheLightSet().Reset();
        context.world = IdentityMatrix;
        context.viewProjection = IdentityMatrix;
        PlatformTest_D3d9ClearCallLog();
    }
    void TearDown() override {
        TheGeometryCache().Reset();
        TheLightSet().Reset();
        StateCache::InvalidateAll();
    }
    // A mesh whose own geometry holds n unindexed vertices of layout, all of them in use.
    static void OwnGeometry(MeshObject& mesh, const VertexDeclaration& layout, u32 n) {
        FrameSequence data;
        ASSERT_TRUE(data.vertices.Reserve(n, layout));
        GeometryDesc desc;
        desc.Setup(data, nullptr, false, false);
        ASSERT_TRUE(mesh.CreateGeometry(desc));
        ASSERT_NE(mesh.GetGeometry()->GetVertexBuffer(0)->AllocateRange(n * layout.streamStrides[0], 0, nullptr),
                  nullptr);
    }
    static Calls Log() { return PlatformTest_D3d9CallLog(); }
    static Calls Matching(const char* prefix) {
        Calls out;
        for (const std::string& call : PlatformTest_D3d9CallLog())
            if (call.rfind(prefix, 0) == 0) out.push_back(call);
        return out;
    }
    static size_t IndexOf(const Calls& calls, const std::string& call, size_t from = 0) {
        for (size_t i = from; i < calls.size(); ++i)
            if (calls[i] == call) return i;
        return calls.size();
    }
    static DWORD DeviceState(D3DRENDERSTATETYPE state) {
        DWORD value = 0;
        EXPECT_TRUE(PlatformTest_D3d9RenderState(TheDevice(), state, &value));
        return value;
    }
};

}  // namespace

TEST_F(MeshDevice, AMaterialWithoutAContextDrawsNothing) {
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    PlatformTest_D3d9ClearCallLog();
    Material material;
    EXPECT_FALSE(mesh.Draw(&material));
    EXPECT_FALSE(mesh.Draw(nullptr));
    EXPECT_TRUE(Log().empty());
}

TEST_F(MeshDevice, AFlaggedMeshReportsTrueAndSendsNothing) {
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    PlatformTest_D3d9ClearCallLog();
    Material material;
    material.context = &context;
    mesh.SetFlag();
    EXPECT_TRUE(mesh.Draw(&material));
    EXPECT_TRUE(Log().empty());
}

TEST_F(MeshDevice, TheFixedFunctionPathSetsUpTheLayerThenDraws) {
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    RefHandle<Light> light(new PointLight);
    context.lighting = RefHandle<LightingInfo>(new LightingInfo);
    context.lighting->AddLight(light);
    PlatformTest_D3d9ClearCallLog();
    Material material;
    material.context = &context;
    material.layerCount = 2;
    material.layers[0].lit = 1;
    material.layers[1].lit = 1;
    material.layers[1].SetBlendMode(kBlendAdditive);
    ASSERT_TRUE(mesh.Draw(&material));
    const Calls log = Log();
    const size_t vertexShader = IndexOf(log, "SetVertexShader(null)");
    const size_t cull = IndexOf(log, "SetRenderState(22, 3)");
    const size_t light0 = IndexOf(log, "LightEnable(0, 1)");
    const size_t lighting = IndexOf(log, "SetRenderState(137, 1)");
    const size_t firstDraw = IndexOf(log, "DrawPrimitive(4, 0, 1)");
    ASSERT_LT(firstDraw, log.size());
    EXPECT_LT(cull, vertexShader);
    EXPECT_LT(vertexShader, light0);
    EXPECT_LT(light0, lighting);
    EXPECT_LT(lighting, firstDraw);
    EXPECT_EQ(IndexOf(log, "SetPixelShader(null)"), vertexShader + 1);
    // The second pass blends additively and draws again; the lights were set once.
    const size_t blend = IndexOf(log, "SetRenderState(27, 1)", firstDraw);
    EXPECT_LT(blend, IndexOf(log, "DrawPrimitive(4, 0, 1)", firstDraw + 1));
    EXPECT_EQ(Matching("DrawPrimitive").size(), 2u);
    EXPECT_EQ(Matching("LightEnable").size(), 1u);
}

TEST_F(MeshDevice, TheFixedFunctionPathDrawsTheSameInEveryPlaceOfABatch) {
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    Material material;
    material.context = &context;
    for (u32 flags : {0u, u32(kBatchFirst), u32(kBatchInside), u32(kBatchLast)}) {
        SCOPED_TRACE(flags);
        StateCache::InvalidateAll();
        PlatformTest_D3d9ClearCallLog();
        context.batchFlags = flags;
        EXPECT_TRUE(mesh.Draw(&material));
        EXPECT_EQ(Matching("SetVertexShader"), (Calls{"SetVertexShader(null)"}));
        EXPECT_EQ(Matching("DrawPrimitive"), (Calls{"DrawPrimitive(4, 0, 1)"}));
        EXPECT_EQ(Matching("SetTextureStageState(0, 1,"), (Calls{"SetTextureStageState(0, 1, 2)"}));
    }
}

TEST_F(MeshDevice, ATexturedLayerBindsItsTextureAndTakesItsAlpha) {
    Texture texture;
    ASSERT_TRUE(texture.CreateEmpty(TEX_EMPTY, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, false, true));
    ASSERT_NE(texture.GetBaseTexture(), nullptr);
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormalTexture(), 3);
    PlatformTest_D3d9ClearCallLog();
    Material material;
    material.context = &context;
    material.layers[0].samplers[kBaseMap].texture = &texture;
    material.layers[0].samplers[kBaseMap].addressU = D3DTADDRESS_CLAMP;
    material.BuildPasses();
    ASSERT_TRUE(mesh.Draw(&material));
    const Calls log = Log();
    const size_t draw = IndexOf(log, "DrawPrimitive(4, 0, 1)");
    ASSERT_LT(draw, log.size());
    const std::string bound =
        "SetTexture(0, #" + std::to_string(PlatformTest_D3d9ObjectNumber(texture.GetBaseTexture())) + ")";
    EXPECT_LT(IndexOf(log, bound), draw);
    EXPECT_LT(IndexOf(log, "SetSamplerState(0, 1, 3)"), draw);  // ADDRESSU CLAMP
    // The texture's alpha makes the layer transparent: alpha test and blending, and the
    // stage selects the texture's alpha.
    EXPECT_LT(IndexOf(log, "SetRenderState(15, 1)"), draw);
    EXPECT_LT(IndexOf(log, "SetRenderState(27, 1)"), draw);
    EXPECT_LT(IndexOf(log, "SetTextureStageState(0, 5, 2)"), draw);
    EXPECT_LT(IndexOf(log, "SetTextureStageState(0, 4, 2)"), draw);
    EXPECT_LT(IndexOf(log, "SetTextureStageState(1, 1, 1)"), draw);  // stage 1 disabled
}

TEST_F(MeshDevice, TheEffectPathFollowsTheBatchFlags) {
    struct Row {
        const char* title;
        u32 flags;
        i32 passes;
        Calls expected;
        size_t draws;
    } rows[] = {
        {"no batch", 0, 1, {"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "End"}, 1},
        {"no batch, two passes",
         0,
         2,
         {"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "SetParameters(0)", "BeginPass(1)", "End"},
         2},
        {"first of a batch stays open", kBatchFirst, 1, {"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)"}, 1},
        {"first of a batch with two passes ends",
         kBatchFirst,
         2,
         {"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "SetParameters(0)", "BeginPass(1)", "End"},
         2},
        {"inside a batch", kBatchInside, 1, {"SetParameters(0)"}, 1},
        {"last of a batch", kBatchLast, 1, {"SetParameters(0)", "End"}, 1},
    };
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        effectCalls.clear();
        PlatformTest_D3d9ClearCallLog();
        RecordingEffect effect(&effectCalls);
        effect.passCount = row.passes;
        Material material;
        material.layers[0].effect = &effect;
        material.context = &context;
        context.batchFlags = row.flags;
        EXPECT_TRUE(mesh.Draw(&material));
        EXPECT_EQ(effectCalls, row.expected);
        EXPECT_EQ(Matching("DrawPrimitive").size(), row.draws);
        // The effect path sets no fixed-function stage.
        EXPECT_TRUE(Matching("SetTextureStageState").empty());
    }
}

TEST_F(MeshDevice, TwoItemsOfAOnePassEffectSelectOnceAndEndOnce) {
    RecordingEffect effect(&effectCalls);
    MeshObject first;
    MeshObject second;
    OwnGeometry(first, PositionNormal(), 3);
    OwnGeometry(second, PositionNormal(), 6);
    PlatformTest_D3d9ClearCallLog();
    Material material;
    material.layers[0].effect = &effect;
    RenderContext a = context;
    RenderContext b = context;
    a.batchFlags = kBatchFirst;
    b.batchFlags = kBatchLast;
    material.context = &a;
    EXPECT_TRUE(first.Draw(&material));
    material.context = &b;
    EXPECT_TRUE(second.Draw(&material));
    EXPECT_EQ(effectCalls, (Calls{"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "SetParameters(0)", "End"}));
    EXPECT_EQ(Matching("DrawPrimitive"), (Calls{"DrawPrimitive(4, 0, 1)", "DrawPrimitive(4, 0, 2)"}));
}

TEST_F(MeshDevice, AnOverrideEffectDrawsLayerZeroOnly) {
    RecordingEffect effect(&effectCalls);
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    Material material;
    material.layerCount = 3;
    context.overrideEffect = &effect;
    material.context = &context;
    EXPECT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(effectCalls, (Calls{"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "End"}));
    EXPECT_EQ(Matching("DrawPrimitive").size(), 1u);
}

TEST_F(MeshDevice, PreTransformedVerticesAreDrawnWithoutFog) {
    VertexDeclaration transformed;
    transformed.AddElement(D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0);
    transformed.AddElement(D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0);
    MeshObject mesh;
    OwnGeometry(mesh, transformed, 3);
    ASSERT_TRUE(StateCache::SetRenderState(D3DRS_FOGENABLE, 1));
    PlatformTest_D3d9ClearCallLog();
    Material material;
    material.layerCount = 2;
    material.context = &context;
    EXPECT_TRUE(mesh.Draw(&material));
    const Calls log = Log();
    const size_t off = IndexOf(log, "SetRenderState(28, 0)");
    const size_t firstDraw = IndexOf(log, "DrawPrimitive(4, 0, 1)");
    const size_t secondDraw = IndexOf(log, "DrawPrimitive(4, 0, 1)", firstDraw + 1);
    const size_t on = IndexOf(log, "SetRenderState(28, 1)");
    EXPECT_LT(off, firstDraw);
    EXPECT_LT(secondDraw, on);  // off once for both passes
    ASSERT_LT(on, log.size());
    EXPECT_EQ(Matching("SetRenderState(28,").size(), 2u);
    EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), 1u);

    // With fog already off nothing is switched.
    ASSERT_TRUE(StateCache::SetRenderState(D3DRS_FOGENABLE, 0));
    PlatformTest_D3d9ClearCallLog();
    EXPECT_TRUE(mesh.Draw(&material));
    EXPECT_TRUE(Matching("SetRenderState(28,").empty());
}

TEST_F(MeshDevice, AMeshWithoutGeometryFailsBeforeFogIsTouched) {
    ASSERT_TRUE(StateCache::SetRenderState(D3DRS_FOGENABLE, 1));
    PlatformTest_D3d9ClearCallLog();
    MeshObject mesh;
    Material material;
    material.context = &context;
    EXPECT_FALSE(mesh.Draw(&material));
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), 1u);
    EXPECT_FALSE(mesh.UpdateBounds());
    EXPECT_FALSE(mesh.IsValid());
}

TEST_F(MeshDevice, PartsAreLaidOutOncePerEffectLayout) {
    FrameSequence table;
    FillTriangles(table, PositionNormalTexture(), 2, 0.5f, 0.2f);
    MeshObject mesh;
    mesh.SetPartTable(&table);
    mesh.GetGeometryDesc().Setup(table, nullptr, false, false);
    Material material;
    material.context = &context;

    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(mesh.DrawCacheCount(), 1u);
    // The fixed-function layout of the part: position and normal, then its texture
    // coordinates.
    ASSERT_TRUE(mesh.GetGeometry());
    EXPECT_TRUE(mesh.GetGeometry()->layout.Equals(table.GetFixedLayout()));
    EXPECT_EQ(Matching("CreateVertexBuffer").size(), 1u);
    EXPECT_EQ(Matching("DrawIndexedPrimitive"), (Calls{"DrawIndexedPrimitive(4, 0, 0, 6, 0, 2)"}));

    // Drawn again: the cached geometry, nothing made.
    PlatformTest_D3d9ClearCallLog();
    const Geometry* fixed = mesh.GetGeometry().Get();
    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(mesh.DrawCacheCount(), 1u);
    EXPECT_TRUE(Matching("CreateVertexBuffer").empty());
    EXPECT_EQ(Matching("DrawIndexedPrimitive").size(), 1u);

    // An effect with a layout of its own gets geometry of that layout.
    RecordingEffect effect(&effectCalls);
    effect.SetLayout(PositionNormal());
    material.layers[0].effect = &effect;
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(mesh.DrawCacheCount(), 2u);
    EXPECT_TRUE(mesh.GetGeometry()->layout.Equals(PositionNormal()));
    EXPECT_NE(mesh.GetGeometry().Get(), fixed);
    EXPECT_EQ(Matching("CreateVertexBuffer").size(), 1u);

    // Both stay cached: back to the fixed-function path makes nothing new.
    material.layers[0].effect = nullptr;
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(mesh.DrawCacheCount(), 2u);
    EXPECT_TRUE(Matching("CreateVertexBuffer").empty());
    EXPECT_TRUE(mesh.UpdateBounds());
    EXPECT_EQ(mesh.box.z, 0.5f);
}

TEST_F(MeshDevice, TheProjectedSizeChoosesThePart) {
    FrameSequence table;
    FillTriangles(table, PositionNormal(), 1, 0.5f, 0.2f);
    FrameSequence small;
    FillTriangles(small, PositionNormal(), 1, 0.5f, 0.2f);
    FrameSequence large;
    FillTriangles(large, PositionNormal(), 4, 0.5f, 0.2f);
    table.variants.Set(0.15f, &small);
    table.variants.Set(0.5f, &large);
    MeshObject mesh;
    mesh.SetPartTable(&table);
    mesh.GetGeometryDesc().Setup(table, nullptr, false, false);
    Material material;
    material.context = &context;

    // An edge of 0.2 through identity matrices covers a tenth of the screen: the small part.
    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(Matching("DrawIndexedPrimitive"), (Calls{"DrawIndexedPrimitive(4, 0, 0, 3, 0, 1)"}));
    // An edge of 0.6 covers 0.3: the large part.
    table.box.w = table.box.h = table.box.d = 0.6f;
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(Matching("DrawIndexedPrimitive"), (Calls{"DrawIndexedPrimitive(4, 0, 0, 12, 0, 4)"}));
    EXPECT_EQ(mesh.DrawCacheCount(), 2u);
    // Beyond every key: the part at the greatest key.
    table.box.w = table.box.h = table.box.d = 1.6f;
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(mesh.Draw(&material));
    EXPECT_EQ(Matching("DrawIndexedPrimitive"), (Calls{"DrawIndexedPrimitive(4, 0, 0, 12, 0, 4)"}));
    EXPECT_EQ(mesh.DrawCacheCount(), 2u);
}

TEST_F(MeshDevice, ACloneSharesTheGeometryAndCopiesTheRest) {
    MeshObject mesh;
    OwnGeometry(mesh, PositionNormal(), 3);
    FrameSequence table;
    mesh.SetPartTable(&table);
    mesh.properties.children.SetInt(String("Id"), 7);
    std::unique_ptr<DrawItem> clone(mesh.Clone());
    auto* copy = static_cast<MeshObject*>(clone.get());
    EXPECT_EQ(copy->GetGeometry().Get(), mesh.GetGeometry().Get());
    EXPECT_EQ(mesh.GetGeometry().UseCount(), 3u);  // the mesh, the clone and this handle
    EXPECT_EQ(copy->GetPartTable(), &table);
    EXPECT_TRUE(copy->GetGeometryDesc().layout.Equals(mesh.GetGeometryDesc().layout));
    i32 id = 0;
    EXPECT_TRUE(copy->properties.children.GetInt(String("Id"), &id));
    EXPECT_EQ(id, 7);
    // A new geometry for the original leaves the clone's alone.
    const Geometry* shared = mesh.GetGeometry().Get();
    OwnGeometry(mesh, PositionNormal(), 6);
    EXPECT_EQ(copy->GetGeometry().Get(), shared);
    EXPECT_EQ(copy->GetGeometry().UseCount(), 2u);
}
