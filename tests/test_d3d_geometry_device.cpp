// Geometry on the platform's real Direct3D 9 device: the cache's buffers are made, filled,
// drawn, and written again after a reset; a particle batch's range is locked and drawn.
#include "Core/ProgramObjects.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryCache.h"
#include "tests/DeviceSupport.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

// One triangle: position, normal, texture coordinates.
void OneTriangle(FrameSequence& mesh) {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    ASSERT_TRUE(mesh.vertices.Reserve(3, layout));
    const float v[24] = {0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, -1, 1, 0, 0, 1, 0, 0, 0, -1, 0, 1};
    memcpy(mesh.vertices.streams[0], v, sizeof v);
    ASSERT_TRUE(mesh.indices.Allocate(3, 2));
    for (u32 i = 0; i < 3; ++i) mesh.indices.Set(i, i);
}

// The bytes of a range, read back from the device.
bool ReadBack(BufferRange* range, void* out) {
    void* data = nullptr;
    if (!range->Lock(D3DLOCK_READONLY, &data)) return false;
    memcpy(out, data, range->size);
    return range->Unlock();
}

}  // namespace

TEST(GeometryOnTheDevice, CachedGeometryDrawsAndIsWrittenAgainAfterAReset) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    {
        FrameSequence mesh;
        OneTriangle(mesh);
        GeometryCache cache;
        GeometryDesc desc;
        desc.Setup(mesh, nullptr, false, false);
        GeometryRef ref = cache.Lookup(desc, &mesh);
        ASSERT_TRUE(cache.Insert(ref));
        BufferRange* vertices = ref->GetVertexBuffer()->GetRanges();
        ASSERT_EQ(vertices->size, 96u);
        float back[24];
        ASSERT_TRUE(ReadBack(vertices, back));
        EXPECT_EQ(memcmp(back, mesh.vertices.streams[0], sizeof back), 0);

        const i32 before = TheStatistics().Get(String("tris"));
        ASSERT_EQ(TheDevice()->BeginScene(), D3D_OK);
        EXPECT_TRUE(ref->Draw());
        EXPECT_EQ(TheDevice()->EndScene(), D3D_OK);
        EXPECT_EQ(TheStatistics().Get(String("tris")), before + 1);

        ASSERT_TRUE(app.ResetDevice());
        ASSERT_NE(ref->GetVertexBuffer()->GetVertexBuffer(), nullptr);
        memset(back, 0, sizeof back);
        ASSERT_TRUE(ReadBack(ref->GetVertexBuffer()->GetRanges(), back));
        EXPECT_EQ(memcmp(back, mesh.vertices.streams[0], sizeof back), 0);
        u16 indices[3] = {};
        ASSERT_TRUE(ReadBack(ref->GetIndexBuffer()->GetRanges(), indices));
        EXPECT_EQ(indices[2], 2);
        ASSERT_EQ(TheDevice()->BeginScene(), D3D_OK);
        EXPECT_TRUE(ref->Draw());
        EXPECT_EQ(TheDevice()->EndScene(), D3D_OK);
    }
    app.ReleaseDevice();
    DestroyWindow(app.GetWindow());
}

TEST(GeometryOnTheDevice, AParticleBatchLocksItsRangeWithDiscardAndDraws) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    {
        Geometry batch;
        const u32 fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
        ASSERT_TRUE(batch.Create(6, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, fvf));
        BufferRange* range = batch.GetVertexBuffer()->GetRanges();
        void* data = nullptr;
        ASSERT_TRUE(range->Lock(D3DLOCK_DISCARD, &data));
        memset(data, 0, range->size);
        ASSERT_TRUE(range->Unlock());
        ASSERT_EQ(TheDevice()->BeginScene(), D3D_OK);
        EXPECT_TRUE(batch.Draw());
        EXPECT_EQ(TheDevice()->EndScene(), D3D_OK);
    }
    app.ReleaseDevice();
    DestroyWindow(app.GetWindow());
}
