// The mesh data view: vertex streams, the vertex copy plan between two layouts, and the
// mesh data object's variants, fixed-function layout and bounds.
#include "D3d/FrameSequence.h"
#include "D3d/VertexCopyPlan.h"
#include "D3d/VertexStreams.h"
#include "tests/GeometryFixture.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

namespace {

D3DVERTEXELEMENT9 Element(WORD stream, WORD offset, BYTE type, BYTE usage, BYTE index) {
    return D3DVERTEXELEMENT9{stream, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
}

VertexDeclaration LayoutOf(const std::vector<D3DVERTEXELEMENT9>& elements) {
    VertexDeclaration layout;
    for (size_t i = 0; i < elements.size(); ++i) layout.elements[i] = elements[i];
    layout.elements[elements.size()] = VertexDeclaration::EndMarker();
    EXPECT_TRUE(layout.Recount());
    return layout;
}

// count vertices of layout, stream by stream, each byte a function of its place.
void Fill(VertexStreams& streams, const VertexDeclaration& layout, u32 count, u8 seed) {
    ASSERT_TRUE(streams.Reserve(count, layout));
    for (u32 s = 0; s < layout.streamCount; ++s)
        for (u32 i = 0; i < layout.streamStrides[s] * count; ++i) streams.streams[s][i] = static_cast<u8>(seed + i * 3 + s);
}

}  // namespace

TEST(VertexStreams, ReserveMakesABlockPerStreamOnlyWhenSomethingChanged) {
    VertexStreams v;
    for (u8* s : v.streams) EXPECT_EQ(s, nullptr);
    EXPECT_EQ(v.vertexCount, 0u);
    const VertexDeclaration layout = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0),
                                               Element(1, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0)});
    ASSERT_TRUE(v.Reserve(10, layout));
    ASSERT_NE(v.streams[0], nullptr);
    ASSERT_NE(v.streams[1], nullptr);
    EXPECT_EQ(v.streams[2], nullptr);
    EXPECT_TRUE(v.Owns(0));
    EXPECT_EQ(v.StreamBytes(1), 80u);
    v.streams[0][0] = 42;
    ASSERT_TRUE(v.Reserve(10, layout));
    EXPECT_EQ(v.streams[0][0], 42);  // kept: the same count and layout
    ASSERT_TRUE(v.Reserve(11, layout));
    EXPECT_EQ(v.vertexCount, 11u);
    v.ReleaseAll();
    EXPECT_EQ(v.streams[0], nullptr);
    EXPECT_EQ(v.vertexCount, 0u);
}

TEST(VertexStreams, ViewedDataIsNeverFreedAdoptedDataIs) {
    u8 mine[16] = {};
    VertexStreams v;
    EXPECT_TRUE(v.View(0, mine));
    EXPECT_FALSE(v.Owns(0));
    EXPECT_FALSE(v.View(8, mine));
    EXPECT_TRUE(v.Adopt(1, MemAlloc(8)));
    EXPECT_TRUE(v.Owns(1));
    EXPECT_FALSE(v.Adopt(9, MemAlloc(8)));  // freed at once
    v.ReleaseAll();                          // frees stream 1, not `mine`
    EXPECT_EQ(v.streams[1], nullptr);
}

TEST(VertexCopyPlan, IdenticalLayoutsCopyEachVertexInOneRun) {
    const VertexDeclaration layout = geomtest::PositionNormalTexture();
    VertexCopyPlan plan;
    ASSERT_TRUE(plan.Plan(layout, layout));
    ASSERT_EQ(plan.runCount, 1u);
    EXPECT_EQ(plan.runs[0].size, 32u);
    VertexStreams source;
    VertexStreams target;
    Fill(source, layout, 5, 1);
    Fill(target, layout, 5, 100);
    ASSERT_TRUE(VertexCopyPlan::Build(target, source));
    EXPECT_EQ(memcmp(target.streams[0], source.streams[0], 160), 0);
}

TEST(VertexCopyPlan, OnlyMatchingElementsAreCopiedAndAdjacentOnesJoin) {
    // Source: position, normal, texcoord 0 (32 bytes). Target: texcoord 0, a colour the
    // source lacks, position, then a FLOAT4 normal that does not match the source's.
    const VertexDeclaration source = geomtest::PositionNormalTexture();
    const VertexDeclaration target = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
                                               Element(0, 8, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0),
                                               Element(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0),
                                               Element(0, 24, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_NORMAL, 0)});
    VertexCopyPlan plan;
    ASSERT_TRUE(plan.Plan(target, source));
    ASSERT_EQ(plan.runCount, 2u);
    EXPECT_EQ(plan.runs[0].sourceOffset, 0u);
    EXPECT_EQ(plan.runs[0].targetOffset, 12u);
    EXPECT_EQ(plan.runs[0].size, 12u);
    EXPECT_EQ(plan.runs[1].sourceOffset, 24u);
    EXPECT_EQ(plan.runs[1].targetOffset, 0u);

    VertexStreams from;
    VertexStreams to;
    Fill(from, source, 3, 7);
    ASSERT_TRUE(to.Reserve(3, target));
    memset(to.streams[0], 0xEE, 3 * 40);
    ASSERT_TRUE(VertexCopyPlan::Build(to, from));
    for (u32 v = 0; v < 3; ++v) {
        const u8* t = to.streams[0] + v * 40;
        const u8* s = from.streams[0] + v * 32;
        EXPECT_EQ(memcmp(t, s + 24, 8), 0);
        EXPECT_EQ(memcmp(t + 12, s, 12), 0);
        for (u32 b : {8u, 11u, 24u, 39u}) EXPECT_EQ(t[b], 0xEE) << v << " " << b;
    }
    EXPECT_EQ(to.vertexCount, 3u);
}

TEST(VertexCopyPlan, RunsJoinOnlyWhenAdjacentOnBothSides) {
    // Position and normal are adjacent in the source but apart in the target.
    const VertexDeclaration source = geomtest::PositionNormalTexture();
    const VertexDeclaration target = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0),
                                               Element(0, 16, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0),
                                               Element(0, 28, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0)});
    VertexCopyPlan plan;
    ASSERT_TRUE(plan.Plan(target, source));
    ASSERT_EQ(plan.runCount, 2u);
    EXPECT_EQ(plan.runs[0].size, 12u);
    EXPECT_EQ(plan.runs[1].size, 20u);  // normal and texcoord joined
}

TEST(VertexCopyPlan, ElementsInOtherStreamsCopyFromThem) {
    const VertexDeclaration source = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0),
                                               Element(1, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0)});
    const VertexDeclaration target = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
                                               Element(0, 8, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0)});
    VertexStreams from;
    VertexStreams to;
    Fill(from, source, 4, 3);
    ASSERT_TRUE(to.Reserve(4, target));
    ASSERT_TRUE(VertexCopyPlan::Build(to, from));
    for (u32 v = 0; v < 4; ++v) {
        EXPECT_EQ(memcmp(to.streams[0] + v * 20, from.streams[1] + v * 8, 8), 0);
        EXPECT_EQ(memcmp(to.streams[0] + v * 20 + 8, from.streams[0] + v * 12, 12), 0);
    }
}

TEST(VertexCopyPlan, NoVerticesNoStreamsNoCopy) {
    const VertexDeclaration layout = geomtest::PositionOnly();
    VertexStreams from;
    from.layout = layout;  // no data, no vertices
    u8 block[24];
    memset(block, 0x11, sizeof block);
    VertexStreams to;
    to.layout = layout;
    to.View(0, block);
    ASSERT_TRUE(VertexCopyPlan::Build(to, from));
    from.vertexCount = 2;  // a count without data: the run is left out
    ASSERT_TRUE(VertexCopyPlan::Build(to, from));
    for (u8 b : block) EXPECT_EQ(b, 0x11);
}

// Each element a run of its own (the target holds them in the reverse order): twenty runs
// are planned and copied, twenty-one are refused without writing anything.
TEST(VertexCopyPlan, MoreThanTwentyRunsAreRefused) {
    for (u32 n : {20u, 21u}) {
        std::vector<D3DVERTEXELEMENT9> forward;
        std::vector<D3DVERTEXELEMENT9> reverse;
        for (u32 i = 0; i < n; ++i) {
            forward.push_back(Element(0, static_cast<WORD>(i * 4), D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i)));
            reverse.push_back(Element(0, static_cast<WORD>((n - 1 - i) * 4), D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i)));
        }
        const VertexDeclaration source = LayoutOf(forward);
        const VertexDeclaration target = LayoutOf(reverse);
        VertexStreams from;
        VertexStreams to;
        Fill(from, source, 2, 9);
        ASSERT_TRUE(to.Reserve(2, target));
        memset(to.streams[0], 0, 2 * n * 4);
        const bool built = VertexCopyPlan::Build(to, from);
        if (n == 20) {
            ASSERT_TRUE(built);
            EXPECT_EQ(memcmp(to.streams[0] + 19 * 4, from.streams[0], 4), 0);
            EXPECT_EQ(memcmp(to.streams[0] + n * 4, from.streams[0] + n * 4 + 19 * 4, 4), 0);
        } else {
            EXPECT_FALSE(built);
            for (u32 i = 0; i < 2 * n * 4; ++i) ASSERT_EQ(to.streams[0][i], 0) << i;
        }
    }
}

TEST(FrameSequence, WithoutKeysTheObjectIsItsOwnVariant) {
    FrameSequence mesh;
    const SequenceSettings settings;
    EXPECT_FALSE(mesh.IsActive(settings));
    EXPECT_EQ(mesh.Current(5.0f, settings), &mesh);
}

TEST(FrameSequence, TheVariantAtOrAboveTheKeyIsChosen) {
    FrameSequence mesh;
    FrameSequence closeUp;
    FrameSequence distant;
    mesh.variants.Set(0.25f, &distant);
    mesh.variants.Set(1.0f, &closeUp);
    const SequenceSettings on;  // the switch is on unless the drawer hands it in off
    EXPECT_EQ(on.sequenceSwitch, 1);
    EXPECT_TRUE(mesh.IsActive(on));
    EXPECT_EQ(mesh.Current(0.1f, on), &distant);
    EXPECT_EQ(mesh.Current(0.25f, on), &distant);
    EXPECT_EQ(mesh.Current(0.5f, on), &closeUp);
    EXPECT_EQ(mesh.Current(3.0f, on), &closeUp);  // above every key: the greatest
    const SequenceSettings off{0, 0.2f};
    EXPECT_FALSE(mesh.IsActive(off));
    EXPECT_EQ(mesh.Current(0.9f, off), &distant);  // the settings' key stands in
}

TEST(FrameSequence, TheFixedLayoutTakesWhatTheMeshHas) {
    FrameSequence bare;
    bare.vertices.layout = geomtest::PositionOnly();
    const VertexDeclaration minimal = bare.GetFixedLayout();
    ASSERT_EQ(minimal.elementCount, 2u);
    EXPECT_EQ(minimal.elements[0].Usage, D3DDECLUSAGE_POSITION);
    EXPECT_EQ(minimal.elements[1].Usage, D3DDECLUSAGE_NORMAL);
    EXPECT_EQ(minimal.elements[1].Offset, 12);
    EXPECT_EQ(minimal.streamStrides[0], 24u);

    FrameSequence rich;
    rich.vertices.layout = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0),
                                     Element(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1),
                                     Element(0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0),
                                     Element(0, 24, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0)});
    const VertexDeclaration fixed = rich.GetFixedLayout();
    const VertexDeclaration expected = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0),
                                                 Element(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0),
                                                 Element(0, 24, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_COLOR, 0),
                                                 Element(0, 32, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
                                                 Element(0, 40, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1)});
    EXPECT_TRUE(fixed.Equals(expected));
    EXPECT_EQ(fixed.streamStrides[0], 48u);
}

TEST(FrameSequence, BoundsComeFromThePositions) {
    FrameSequence mesh;
    EXPECT_FALSE(mesh.ComputeBounds());
    const VertexDeclaration layout = LayoutOf({Element(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
                                               Element(0, 8, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0)});
    ASSERT_TRUE(mesh.vertices.Reserve(2, layout));
    const float v[10] = {9, 9, 0, 0, 0, 9, 9, 2, 4, 6};
    memcpy(mesh.vertices.streams[0], v, sizeof v);
    ASSERT_TRUE(mesh.UpdateBounds());
    EXPECT_TRUE(mesh.IsValid());
    EXPECT_FLOAT_EQ(mesh.box.x, 1.0f);
    EXPECT_FLOAT_EQ(mesh.box.y, 2.0f);
    EXPECT_FLOAT_EQ(mesh.box.z, 3.0f);
    EXPECT_FLOAT_EQ(mesh.box.d, 6.0f);

    FrameSequence packed;
    ASSERT_TRUE(packed.vertices.Reserve(2, LayoutOf({Element(0, 0, D3DDECLTYPE_SHORT4, D3DDECLUSAGE_POSITION, 0)})));
    EXPECT_FALSE(packed.ComputeBounds());
    EXPECT_FALSE(packed.IsValid());
}

TEST(FrameSequence, AdjacencyIsOwned) {
    FrameSequence mesh;
    void* block = MemAlloc(12);
    mesh.AdoptAdjacency(block, 12);
    EXPECT_EQ(mesh.Adjacency(), block);
    EXPECT_EQ(mesh.AdjacencyBytes(), 12u);
    mesh.AdoptAdjacency(nullptr, 12);
    EXPECT_EQ(mesh.AdjacencyBytes(), 0u);
}
