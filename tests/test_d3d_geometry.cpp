// Drawable geometry on the fake device: descriptions from mesh data, buffer creation, and
// the calls a draw sends (declaration, streams, indices, the draw calls with their numbers),
// with the primitives counted under "tris".
#include "Core/ProgramObjects.h"
#include "D3d/Geometry.h"
#include "tests/GeometryFixture.h"

#include <gtest/gtest.h>

#include <vector>

using fake::DrawCall;
using fake::DrawRecord;
using geomtest::FakeDeviceTest;

namespace {

class GeometryTest : public FakeDeviceTest {
protected:
    FrameSequence mesh;
    GeometryDesc desc;

    // A mesh of count vertices (32 bytes each) and indexCount indices, and its description.
    void MakeMesh(u32 count, u32 indexCount) {
        geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), count, indexCount);
        desc.Setup(mesh, nullptr, false, false);
    }
    i32 Tris() const { return TheStatistics().Get(String("tris")); }
};

struct IndexCase {
    u32 vertices;
    u32 indices;
    u32 format;
};

}  // namespace

TEST_F(GeometryTest, PrimitiveCountsByType) {
    struct Row {
        D3DPRIMITIVETYPE type;
        u32 count;
        u32 primitives;
    };
    const Row rows[] = {
        {D3DPT_POINTLIST, 5, 5},     {D3DPT_LINELIST, 5, 2},      {D3DPT_LINESTRIP, 5, 4},
        {D3DPT_LINESTRIP, 0, 0},     {D3DPT_TRIANGLELIST, 8, 2},  {D3DPT_TRIANGLESTRIP, 8, 6},
        {D3DPT_TRIANGLEFAN, 8, 6},   {D3DPT_TRIANGLEFAN, 1, 0},   {D3DPT_TRIANGLESTRIP, 2, 0},
        {static_cast<D3DPRIMITIVETYPE>(99), 9, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Geometry::PrimitiveCount(row.type, row.count), row.primitives) << row.type << " " << row.count;
}

TEST_F(GeometryTest, SetupDescribesEachStreamAndTheIndices) {
    VertexDeclaration twoStreams = geomtest::PositionOnly();
    twoStreams.elements[1] = D3DVERTEXELEMENT9{1, 0, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0};
    twoStreams.elements[2] = VertexDeclaration::EndMarker();
    ASSERT_TRUE(twoStreams.Recount());
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 10, 30);
    desc.Setup(mesh, &twoStreams, true, true);
    EXPECT_TRUE(desc.layout.Equals(twoStreams));
    ASSERT_EQ(desc.layout.streamCount, 2u);
    const u32 flags = GeometryStream::kFromSetup | GeometryStream::kLengthSet | GeometryStream::kUsageSet |
                      GeometryStream::kPoolSet;
    EXPECT_EQ(desc.streams[0].fieldFlags, flags);
    EXPECT_EQ(desc.streams[0].stride, 12u);
    EXPECT_EQ(desc.streams[0].length, 120u);
    EXPECT_EQ(desc.streams[1].stride, 8u);
    EXPECT_EQ(desc.streams[1].length, 80u);
    EXPECT_EQ(desc.streams[1].layout.elements[0].Stream, 0);  // renumbered
    EXPECT_EQ(desc.streams[1].usage, u32(D3DUSAGE_DYNAMIC));
    EXPECT_EQ(desc.streams[1].pool, u32(D3DPOOL_SYSTEMMEM));
    EXPECT_EQ(desc.index.kind, GeometryStream::kIndexKind);
    EXPECT_EQ(desc.index.fieldFlags, 10u);
    EXPECT_EQ(desc.index.indexFormat, u32(D3DFMT_INDEX16));
    EXPECT_EQ(desc.index.length, 60u);

    GeometryDesc copy;
    copy.Assign(desc);
    EXPECT_TRUE(copy.layout.Equals(desc.layout));
    EXPECT_EQ(copy.streams[1].length, 80u);
    EXPECT_TRUE(copy.index.Equals(desc.index));
}

// 16-bit indices reach vertex 65535: the vertex count decides as well as the index count.
TEST_F(GeometryTest, TheIndexFormatFollowsTheIndexAndVertexCounts) {
    const IndexCase cases[] = {
        {100, 32767, D3DFMT_INDEX16}, {100, 32768, D3DFMT_INDEX32},   {65536, 300, D3DFMT_INDEX16},
        {65537, 300, D3DFMT_INDEX32}, {70000, 32768, D3DFMT_INDEX32},
    };
    for (const IndexCase& c : cases) {
        FrameSequence counted;
        counted.vertices.layout = geomtest::PositionOnly();
        counted.vertices.vertexCount = c.vertices;  // counts only: Setup reads no data
        counted.indices.count = c.indices;
        GeometryDesc d;
        d.Setup(counted, nullptr, false, false);
        EXPECT_EQ(d.index.indexFormat, c.format) << c.vertices << " vertices, " << c.indices << " indices";
        EXPECT_EQ(d.index.length, c.indices * GeometryStream::IndexSize(c.format));
        counted.indices.count = 0;
    }
}

TEST_F(GeometryTest, SetLayoutLaysTheDescriptionOutForALayout) {
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 7, 0);
    Geometry::SetLayout(desc, mesh, geomtest::PositionOnly());
    EXPECT_TRUE(desc.layout.Equals(geomtest::PositionOnly()));
    EXPECT_EQ(desc.streams[0].stride, 12u);
    EXPECT_EQ(desc.streams[0].length, 84u);
    EXPECT_TRUE(desc.streams[0].layout.Equals(geomtest::PositionOnly()));
}

TEST_F(GeometryTest, CreateMakesABufferPerStreamAndOneForIndices) {
    MakeMesh(12, 18);
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    ASSERT_NE(g.GetVertexBuffer(), nullptr);
    EXPECT_EQ(g.GetVertexBuffer()->GetLength(), 384u);
    EXPECT_EQ(g.GetVertexBuffer()->GetStride(), 32u);
    ASSERT_NE(g.GetIndexBuffer(), nullptr);
    EXPECT_EQ(g.GetIndexBuffer()->GetLength(), 36u);
    EXPECT_EQ(device.liveBuffers, 2);
    EXPECT_EQ(g.primitiveType, u32(D3DPT_TRIANGLELIST));

    MakeMesh(12, 0);
    ASSERT_TRUE(g.Create(desc));
    EXPECT_EQ(g.GetIndexBuffer(), nullptr);
    EXPECT_EQ(device.liveBuffers, 1);
}

TEST_F(GeometryTest, AFailedCreateLeavesNoBuffers) {
    MakeMesh(12, 18);
    Geometry g;
    device.creationsBeforeFailure = 1;
    device.failCreations = 1;
    EXPECT_FALSE(g.Create(desc));
    EXPECT_EQ(g.GetVertexBuffer(), nullptr);
    EXPECT_EQ(g.GetIndexBuffer(), nullptr);
    EXPECT_EQ(device.liveBuffers, 0);
}

TEST_F(GeometryTest, TheLastReferenceDestroysTheGeometryAndItsBuffers) {
    MakeMesh(4, 6);
    GeometryRef ref(new Geometry);
    ASSERT_TRUE(ref->Create(desc));
    GeometryRef other = ref;
    EXPECT_EQ(ref.UseCount(), 2u);
    ref.Release();
    EXPECT_EQ(device.liveBuffers, 2);
    other.Release();
    EXPECT_EQ(device.liveBuffers, 0);
}

TEST_F(GeometryTest, ANonIndexedDrawCoversTheUsedSpanOfStreamZero) {
    MakeMesh(12, 0);
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    SharedBuffer* vertices = g.GetVertexBuffer();
    BufferRange* first = vertices->AllocateRange(96, 0, nullptr);
    vertices->AllocateRange(192, 0, nullptr);
    vertices->FreeRange(first);
    device.draws.clear();
    const i32 before = Tris();
    ASSERT_TRUE(g.Draw());
    ASSERT_EQ(device.draws.size(), 3u);
    EXPECT_EQ(device.draws[0].call, DrawCall::Declaration);
    EXPECT_NE(device.draws[0].object, nullptr);
    EXPECT_EQ(device.draws[1], (DrawRecord{DrawCall::Stream, 0, vertices->GetVertexBuffer(), 0, 32}));
    EXPECT_EQ(device.draws[2], fake::Draw(D3DPT_TRIANGLELIST, 3, 2));  // vertices 3 to 8
    EXPECT_EQ(Tris(), before + 2);
}

TEST_F(GeometryTest, AnIndexedDrawReachesEveryVertexUpToTheEndOfTheSpan) {
    MakeMesh(12, 30);
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    SharedBuffer* vertices = g.GetVertexBuffer();
    SharedBuffer* indices = g.GetIndexBuffer();
    // Vertices 4 to 9 in use: indices may name any vertex from 0 to 9.
    BufferRange* gap = vertices->AllocateRange(128, 0, nullptr);
    vertices->AllocateRange(192, 0, nullptr);
    vertices->FreeRange(gap);
    BufferRange* skipped = indices->AllocateRange(12, 0, nullptr);
    indices->AllocateRange(24, 0, nullptr);
    indices->FreeRange(skipped);
    device.draws.clear();
    ASSERT_TRUE(g.Draw());
    ASSERT_EQ(device.draws.size(), 4u);
    EXPECT_EQ(device.draws[2], (DrawRecord{DrawCall::Indices, 0, indices->GetIndexBuffer()}));
    EXPECT_EQ(device.draws[3], fake::DrawIndexed(D3DPT_TRIANGLELIST, 0, 0, 10, 6, 4));
}

TEST_F(GeometryTest, ThirtyTwoBitIndicesAreCountedInFourBytes) {
    MakeMesh(12, 40000);
    ASSERT_EQ(desc.index.indexFormat, u32(D3DFMT_INDEX32));
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    g.GetVertexBuffer()->AllocateRange(384, 0, nullptr);
    g.GetIndexBuffer()->AllocateRange(48, 0, nullptr);
    device.draws.clear();
    ASSERT_TRUE(g.Draw());
    EXPECT_EQ(device.DrawsOnly(), (std::vector<DrawRecord>{fake::DrawIndexed(D3DPT_TRIANGLELIST, 0, 0, 12, 0, 4)}));
}

TEST_F(GeometryTest, WithTheRunFlagEachRunOfUsedRangesIsOneCall) {
    MakeMesh(12, 0);
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    g.drawFlags = Geometry::kDrawRuns;
    SharedBuffer* vertices = g.GetVertexBuffer();
    vertices->AllocateRange(96, 0, nullptr);   // vertices 0-2
    vertices->AllocateRange(96, 0, nullptr);   // 3-5, joined with the one before
    BufferRange* hole = vertices->AllocateRange(32, 0, nullptr);
    vertices->AllocateRange(96, 0, nullptr);   // 7-9
    vertices->FreeRange(hole);
    device.draws.clear();
    ASSERT_TRUE(g.Draw());
    EXPECT_EQ(device.DrawsOnly(), (std::vector<DrawRecord>{fake::Draw(D3DPT_TRIANGLELIST, 0, 2),
                                                           fake::Draw(D3DPT_TRIANGLELIST, 7, 1)}));
}

TEST_F(GeometryTest, AnEmptySpanDrawsNothingAndSucceeds) {
    MakeMesh(12, 0);
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    device.draws.clear();
    EXPECT_TRUE(g.Draw());
    EXPECT_TRUE(device.DrawsOnly().empty());
}

// The vertex numbers are byte offsets divided by the stride: a layout that gives stream 0
// no bytes per vertex fails the draw instead of dividing by zero.
TEST_F(GeometryTest, AZeroStrideFailsTheDraw) {
    VertexDeclaration onlyStreamOne;
    onlyStreamOne.elements[0] = D3DVERTEXELEMENT9{1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0};
    onlyStreamOne.elements[1] = VertexDeclaration::EndMarker();
    ASSERT_TRUE(onlyStreamOne.Recount());
    ASSERT_EQ(onlyStreamOne.streamStrides[0], 0u);
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 6, 6);
    desc.Setup(mesh, &onlyStreamOne, false, false);
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    g.GetVertexBuffer(1)->AllocateRange(72, 0, nullptr);
    g.GetIndexBuffer()->AllocateRange(12, 0, nullptr);
    device.draws.clear();
    EXPECT_FALSE(g.Draw());
    EXPECT_TRUE(device.DrawsOnly().empty());
}

TEST_F(GeometryTest, DrawFailsOnTheFirstMissingPiece) {
    MakeMesh(12, 0);
    Geometry g;
    EXPECT_FALSE(g.Draw());  // no layout
    g.layout = desc.layout;
    EXPECT_FALSE(g.Draw());  // no buffer
    ASSERT_TRUE(g.Create(desc));
    g.GetVertexBuffer()->AllocateRange(96, 0, nullptr);
    PublishDevice(nullptr);
    EXPECT_FALSE(g.Draw());
    PublishDevice(&device);
    device.drawResult = D3DERR_INVALIDCALL;
    const i32 before = Tris();
    EXPECT_FALSE(g.Draw());
    EXPECT_EQ(Tris(), before);  // nothing was drawn
}

TEST_F(GeometryTest, DrawRunsTheAutomaticCompaction) {
    MakeMesh(12, 0);
    desc.streams[0].fieldFlags |= GeometryStream::kAutoCompact;
    desc.streams[0].compactBytes = 50.0f;
    desc.streams[0].compactRatio = 0.0f;
    Geometry g;
    ASSERT_TRUE(g.Create(desc));
    SharedBuffer* vertices = g.GetVertexBuffer();
    vertices->AllocateRange(96, 0, nullptr);
    BufferRange* hole = vertices->AllocateRange(64, 0, nullptr);
    BufferRange* last = vertices->AllocateRange(96, 0, nullptr);
    vertices->FreeRange(hole);
    ASSERT_TRUE(g.Draw());  // holes of 64 bytes pass the threshold of 50
    EXPECT_EQ(last->offset, 96u);
}

TEST_F(GeometryTest, AParticleBatchIsOneRangeWithoutAClient) {
    Geometry g;
    const u32 fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    ASSERT_EQ(fvf, 0x152u);
    ASSERT_TRUE(g.Create(60, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, fvf));
    SharedBuffer* vertices = g.GetVertexBuffer();
    ASSERT_NE(vertices, nullptr);
    EXPECT_EQ(vertices->GetStride(), 36u);
    const D3DVERTEXBUFFER_DESC& made = FakeOf(vertices->GetVertexBuffer())->desc;
    EXPECT_EQ(made.Size, 2160u);
    EXPECT_EQ(made.Usage, DWORD(0x208));
    EXPECT_EQ(made.FVF, DWORD(0x152));
    const BufferRange* range = vertices->GetRanges();
    ASSERT_NE(range, nullptr);
    EXPECT_FALSE(range->free);
    EXPECT_EQ(range->size, 2160u);
    EXPECT_EQ(range->client, nullptr);
    LoseAndRestoreDevice();  // nobody to refill: the batch writes its range every frame
    EXPECT_NE(vertices->GetVertexBuffer(), nullptr);
    EXPECT_FALSE(g.Create(0, D3DUSAGE_DYNAMIC, fvf));
    EXPECT_EQ(g.GetVertexBuffer(), nullptr);
}
