// What the geometry tests share: an Application whose device is the fake one (buffers in
// memory, a record of the draws), layouts and mesh data to build geometry from, and a range
// client that writes a pattern of its own into each range it is asked to refill.
#pragma once

#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/GeometryBuffer.h"
#include "tests/FakeD3d9.h"

#include <gtest/gtest.h>

#include <map>
#include <string.h>
#include <vector>

namespace geomtest {

class FakeDeviceTest : public ::testing::Test {
protected:
    fake::FakeDevice device;
    Application app;

    void SetUp() override {
        app.device = &device;
        PublishDevice(&device);
    }
    void TearDown() override {
        PublishDevice(nullptr);
        app.device = nullptr;
    }
    // What a lost device and its reset do to the registered objects.
    void LoseAndRestoreDevice() {
        app.InvalidateDeviceObjects();
        app.RestoreDeviceObjects();
    }
    static fake::FakeVertexBuffer* FakeOf(IDirect3DVertexBuffer9* b) { return static_cast<fake::FakeVertexBuffer*>(b); }
    static fake::FakeIndexBuffer* FakeOf(IDirect3DIndexBuffer9* b) { return static_cast<fake::FakeIndexBuffer*>(b); }
    // The bytes of a buffer as the device holds them.
    static const unsigned char* BytesOf(const GeometryBuffer& buffer) {
        if (IDirect3DVertexBuffer9* vb = buffer.GetVertexBuffer()) return FakeOf(vb)->bytes.data();
        if (IDirect3DIndexBuffer9* ib = buffer.GetIndexBuffer()) return FakeOf(ib)->bytes.data();
        return nullptr;
    }
};

// position FLOAT3, normal FLOAT3, texture coordinates FLOAT2: 32 bytes.
inline VertexDeclaration PositionNormalTexture() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    return layout;
}

inline VertexDeclaration PositionOnly() {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    return layout;
}

// A mesh of count vertices of layout (stream 0 only) whose bytes are a function of their
// place (vertex v, byte b -> v * 7 + b), and indices 0, 1, ..., indexCount - 1 modulo the
// vertex count, in 2-byte elements.
inline void FillMesh(FrameSequence& mesh, const VertexDeclaration& layout, u32 count, u32 indexCount) {
    ASSERT_TRUE(mesh.vertices.Reserve(count, layout));
    const u32 stride = layout.streamStrides[0];
    for (u32 v = 0; v < count; ++v)
        for (u32 b = 0; b < stride; ++b) mesh.vertices.streams[0][v * stride + b] = static_cast<u8>(v * 7 + b);
    ASSERT_TRUE(mesh.indices.Allocate(indexCount, 2));
    for (u32 i = 0; i < indexCount; ++i) mesh.indices.Set(i, count ? i % count : 0);
}

// Writes a pattern byte into every range it refills and counts the refills per range.
class PatternClient : public RangeClient {
public:
    std::map<const BufferRange*, u8> patterns;
    std::map<const BufferRange*, int> refills;
    bool result = true;

    bool Refill(BufferRange* range) override {
        ++refills[range];
        if (range->size == 0) return result;
        void* data = nullptr;
        if (!range->Lock(0, &data)) return false;
        memset(data, patterns[range], range->size);
        range->Unlock();
        return result;
    }
    // Gives a new range its pattern and writes it.
    void Adopt(BufferRange* range, u8 pattern) {
        patterns[range] = pattern;
        refills[range] = 0;
        if (range->size == 0) return;
        void* data = nullptr;
        ASSERT_TRUE(range->Lock(0, &data));
        memset(data, pattern, range->size);
        range->Unlock();
    }
    int TotalRefills() const {
        int n = 0;
        for (const auto& [range, count] : refills) n += count;
        return n;
    }
};

}  // namespace geomtest
