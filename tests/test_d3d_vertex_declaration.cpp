#include "D3d/VertexDeclaration.h"

#include <gtest/gtest.h>

#include <d3d9.h>
#include <d3dx9.h>
#include <string.h>

namespace {

D3DVERTEXELEMENT9 El(WORD stream, WORD offset, BYTE type, BYTE usage, BYTE index = 0) {
    D3DVERTEXELEMENT9 e{};
    e.Stream = stream;
    e.Offset = offset;
    e.Type = type;
    e.Method = D3DDECLMETHOD_DEFAULT;
    e.Usage = usage;
    e.UsageIndex = index;
    return e;
}

VertexDeclaration PositionNormalUv() {
    VertexDeclaration d;
    EXPECT_EQ(d.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0), -1);
    EXPECT_EQ(d.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0), -1);
    EXPECT_EQ(d.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0), -1);
    return d;
}

// A layout with elements in streams 0 and 1, set directly as a model file would.
VertexDeclaration TwoStreams() {
    VertexDeclaration d;
    d.elements[0] = El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION);
    d.elements[1] = El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL);
    d.elements[2] = El(1, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD);
    d.elements[3] = El(1, 8, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR);
    d.elements[4] = VertexDeclaration::EndMarker();
    EXPECT_TRUE(d.Recount());
    return d;
}

}  // namespace

TEST(VertexDeclaration, DeclTypeSizes) {
    struct Row {
        u32 type, bytes;
    };
    const Row rows[] = {{0, 4},  {1, 8},  {2, 12}, {3, 16}, {4, 4},  {5, 4},  {6, 4},  {7, 8},  {8, 4}, {9, 4},
                        {10, 8}, {11, 4}, {12, 8}, {13, 4}, {14, 4}, {15, 4}, {16, 8}, {17, 0}, {200, 0}};
    for (const Row& r : rows) EXPECT_EQ(VertexDeclaration::DeclTypeSize(r.type), r.bytes) << r.type;
}

TEST(VertexDeclaration, AddElementLaysOutOffsetsAndStrides) {
    const VertexDeclaration d = PositionNormalUv();
    EXPECT_EQ(d.elementCount, 3u);
    EXPECT_EQ(d.elements[0].Offset, 0);
    EXPECT_EQ(d.elements[1].Offset, 12);
    EXPECT_EQ(d.elements[2].Offset, 24);
    EXPECT_TRUE(VertexDeclaration::IsEndMarker(d.elements[3]));
    EXPECT_EQ(d.streamCount, 1u);
    EXPECT_EQ(d.streamStrides[0], 32u);
    EXPECT_EQ(d.totalStride, 32u);
    EXPECT_EQ(d.GetUsageOffset(D3DDECLUSAGE_TEXCOORD, 0), 24);
    EXPECT_EQ(d.GetUsageOffset(D3DDECLUSAGE_TEXCOORD, 1), -1);
    EXPECT_EQ(d.FindUsage(D3DDECLUSAGE_NORMAL, 0), 1);
}

TEST(VertexDeclaration, AddingAnIdenticalElementChangesNothing) {
    VertexDeclaration d = PositionNormalUv();
    const VertexDeclaration before = d;
    EXPECT_EQ(d.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0), 1);
    EXPECT_TRUE(d.Equals(before));
    EXPECT_EQ(d.totalStride, before.totalStride);
}

TEST(VertexDeclaration, AFullLayoutRefusesAnotherElement) {
    VertexDeclaration d;
    for (u8 i = 0; i < VertexDeclaration::kMaxElements; ++i)
        ASSERT_EQ(d.AddElement(D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, i), -1);
    EXPECT_EQ(d.elementCount, 31u);
    const VertexDeclaration before = d;
    EXPECT_EQ(d.AddElement(D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0),
              VertexDeclaration::kRefused);
    EXPECT_EQ(d.elementCount, 31u);
    EXPECT_TRUE(VertexDeclaration::IsEndMarker(d.elements[31]));
    EXPECT_EQ(memcmp(d.elements, before.elements, sizeof d.elements), 0);
    EXPECT_EQ(d.totalStride, 31u * 16u);
}

TEST(VertexDeclaration, FindPackedIgnoresStreamAndOffset) {
    const VertexDeclaration d = TwoStreams();
    const u32 packed = D3DDECLTYPE_D3DCOLOR | D3DDECLMETHOD_DEFAULT << 8 | D3DDECLUSAGE_COLOR << 16 | 0u << 24;
    EXPECT_EQ(d.FindPacked(packed), 3);
    EXPECT_EQ(d.FindPacked(El(5, 99, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD)), 2);
    EXPECT_EQ(d.FindElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1), -1);
}

TEST(VertexDeclaration, StreamsAndExtraction) {
    const VertexDeclaration d = TwoStreams();
    EXPECT_EQ(d.streamCount, 2u);
    EXPECT_EQ(d.streamStrides[0], 24u);
    EXPECT_EQ(d.streamStrides[1], 12u);
    EXPECT_EQ(d.totalStride, 36u);

    const VertexDeclaration one = d.ExtractStream(1, 0);
    EXPECT_EQ(one.elementCount, 2u);
    EXPECT_EQ(one.elements[0].Stream, 0);
    EXPECT_EQ(one.elements[0].Usage, D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(one.elements[1].Usage, D3DDECLUSAGE_COLOR);
    EXPECT_TRUE(VertexDeclaration::IsEndMarker(one.elements[2]));
    // The stride follows the element to its new stream number.
    EXPECT_EQ(one.streamCount, 1u);
    EXPECT_EQ(one.streamStrides[0], 12u);
    EXPECT_EQ(one.totalStride, 12u);

    const VertexDeclaration kept = d.ExtractStream(1, -1);
    EXPECT_EQ(kept.elements[0].Stream, 1);
    EXPECT_EQ(kept.streamCount, 2u);
    EXPECT_EQ(kept.streamStrides[0], 0u);
    EXPECT_EQ(kept.streamStrides[1], 12u);

    const VertexDeclaration none = d.ExtractStream(5, 0);
    EXPECT_EQ(none.elementCount, 0u);
    EXPECT_TRUE(VertexDeclaration::IsEndMarker(none.elements[0]));
}

TEST(VertexDeclaration, EqualsAndCompareIgnoreStrides) {
    VertexDeclaration a = PositionNormalUv();
    VertexDeclaration b = a;
    b.streamStrides[0] = 100;
    b.totalStride = 100;
    EXPECT_TRUE(a.Equals(b));
    EXPECT_EQ(a.Compare(b), 0);
    // Fewer elements order first, whatever the bytes.
    VertexDeclaration shorter;
    shorter.AddElement(D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 9);
    EXPECT_EQ(shorter.Compare(a), -1);
    EXPECT_EQ(a.Compare(shorter), 1);
    // Then bytes as unsigned: a usage index of 0x80 is above 0x01.
    VertexDeclaration low = a, high = a;
    low.elements[2].UsageIndex = 0x01;
    high.elements[2].UsageIndex = 0x80;
    EXPECT_EQ(low.Compare(high), -1);
    EXPECT_EQ(high.Compare(low), 1);
    EXPECT_FALSE(low.Equals(high));
    // The stream word's low byte is compared first (memory order).
    VertexDeclaration s1 = a, s2 = a;
    s1.elements[0].Stream = 0x0100;
    s2.elements[0].Stream = 0x0001;
    EXPECT_EQ(s1.Compare(s2), -1);
}

TEST(VertexDeclaration, AssignCopiesTheEndMarker) {
    const VertexDeclaration a = TwoStreams();
    VertexDeclaration b;
    memset(b.elements, 0x55, sizeof b.elements);
    b.Assign(a);
    EXPECT_TRUE(VertexDeclaration::IsEndMarker(b.elements[4]));
    EXPECT_EQ(b.streamStrides[1], 12u);
    EXPECT_TRUE(b.Equals(a));
}

// Layouts come from model files: what a hostile one holds must not run past the slots.
TEST(VertexDeclaration, RecountRefusesHostileLayouts) {
    VertexDeclaration noEnd;
    for (u32 i = 0; i < VertexDeclaration::kSlots; ++i) noEnd.elements[i] = El(0, 0, D3DDECLTYPE_FLOAT1, 0, 0);
    EXPECT_FALSE(noEnd.Recount());
    EXPECT_EQ(noEnd.elementCount, 0u);
    EXPECT_EQ(noEnd.totalStride, 0u);
    EXPECT_TRUE(VertexDeclaration::IsEndMarker(noEnd.elements[0]));

    VertexDeclaration farStream = PositionNormalUv();
    farStream.elements[1].Stream = 8;
    EXPECT_FALSE(farStream.Recount());
    EXPECT_EQ(farStream.elementCount, 0u);
    EXPECT_EQ(farStream.streamCount, 0u);

    VertexDeclaration lastStream;
    lastStream.elements[0] = El(7, 4, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION);
    lastStream.elements[1] = VertexDeclaration::EndMarker();
    EXPECT_TRUE(lastStream.Recount());
    EXPECT_EQ(lastStream.streamCount, 8u);
    EXPECT_EQ(lastStream.streamStrides[7], 20u);

    // An element count beyond the slots, written straight into the record, is never trusted.
    VertexDeclaration wild = PositionNormalUv();
    wild.elementCount = 0xFFFFFFF0u;
    VertexDeclaration copy(wild);
    EXPECT_LE(copy.elementCount, VertexDeclaration::kMaxElements);
    EXPECT_EQ(wild.FindUsage(0xEE, 0xEE), -1);
}

TEST(VertexDeclaration, AnOffsetPastSixteenBitsIsRefused) {
    VertexDeclaration d;
    d.elements[0] = El(0, 0xFFF8, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION);
    d.elements[1] = VertexDeclaration::EndMarker();
    ASSERT_TRUE(d.Recount());
    EXPECT_EQ(d.AddElement(D3DDECLTYPE_FLOAT1, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_PSIZE, 0),
              VertexDeclaration::kRefused);
    EXPECT_EQ(d.elementCount, 1u);
}

TEST(VertexDeclaration, FvfCodesBothWays) {
    VertexDeclaration d;
    ASSERT_TRUE(d.SetFVF(D3DFVF_XYZ | D3DFVF_TEX1));  // 258
    EXPECT_EQ(d.elementCount, 2u);
    EXPECT_EQ(d.elements[0].Usage, D3DDECLUSAGE_POSITION);
    EXPECT_EQ(d.elements[1].Usage, D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(d.elements[1].Offset, 12);
    EXPECT_EQ(d.totalStride, 20u);
    EXPECT_EQ(d.GetFVF(0), static_cast<u32>(D3DFVF_XYZ | D3DFVF_TEX1));

    ASSERT_TRUE(d.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE));
    EXPECT_EQ(d.totalStride, 28u);
    EXPECT_EQ(d.GetFVF(0), static_cast<u32>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE));

    // A code D3DX cannot express leaves the layout as it was.
    const VertexDeclaration before = d;
    EXPECT_FALSE(d.SetFVF(0xdeadbeef));
    EXPECT_TRUE(d.Equals(before));

    // The second stream of a two-stream layout, renumbered for D3DX.
    const VertexDeclaration two = TwoStreams();
    EXPECT_EQ(two.GetFVF(0), static_cast<u32>(D3DFVF_XYZ | D3DFVF_NORMAL));
    VertexDeclaration second;
    second.elements[0] = El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION);
    second.elements[1] = El(1, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL);
    second.elements[2] = VertexDeclaration::EndMarker();
    ASSERT_TRUE(second.Recount());
    EXPECT_EQ(second.GetFVF(1), static_cast<u32>(D3DFVF_NORMAL));
    // A four-float position has no FVF code.
    VertexDeclaration xyzw;
    xyzw.AddElement(D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    EXPECT_EQ(xyzw.GetFVF(0), 0u);
}
