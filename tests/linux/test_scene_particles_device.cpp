// The particle batch against the reference device: quads with their corners, colours and
// texture corners read back from the vertex buffer; point sprites under every condition
// that allows them (and each one that forbids them), with their states set for the draw
// and restored after; a capacity raised after the first draw; and a geometry that cannot
// be made.
#include "PlatformD3d9Support.h"

#include "Core/Timer.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/ParticleEmitter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr u64 kStart = 50000;

DWORD Bits(f32 v) {
    DWORD d;
    memcpy(&d, &v, sizeof d);
    return d;
}

class ParticleDevice : public ::testing::Test {
protected:
    void SetUp() override {
        platformd3d9::ResetPlatform();
        Timer::FreezeAt(kStart);
    }
    void Open(f32 maxPointSize = 64.0f, bool pointSizeCap = true) {
        PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
        for (auto& device : adapter.devices) {
            device.second.MaxPointSize = maxPointSize;
            if (pointSizeCap)
                device.second.FVFCaps |= D3DFVFCAPS_PSIZE;
            else
                device.second.FVFCaps &= ~static_cast<DWORD>(D3DFVFCAPS_PSIZE);
        }
        PlatformTest_D3d9SetAdapters({adapter});
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(app->SetMode(false));
        ASSERT_NE(TheDevice(), nullptr);
        StateCache::InvalidateAll();
        material.layers[0].lit = 0;
        material.context = &context;
        emitter = std::make_unique<ParticleEmitter>();
        emitter->genPeriod.range = RangeValue(10.0f);
        emitter->particleLife = RangeValue(-1.0f);
        emitter->particleSize = RangeValue(2.0f);
        emitter->spawnArea = RangeValue(0.0f);
        emitter->startSpeed = RangeValue(0.0f);
        emitter->dirDeviation = RangeValue(0.0f);
        emitter->sizeConstant = 1;
        emitter->colorConstant = 1;
        emitter->singleFrame = 1;
    }
    void TearDown() override {
        emitter.reset();
        app.reset();
        StateCache::InvalidateAll();
        Timer::Freeze(false);
        platformd3d9::ResetPlatform();
    }
    // One frame at time t with the node at x = nodeX and an identity view.
    bool FrameAt(u64 t, f32 nodeX = 5.0f) {
        Timer::FreezeAt(t);
        context.world = IdentityMatrix;
        context.world.m[12] = nodeX;
        context.world.valid = 1;
        context.view = IdentityMatrix;
        context.view.valid = 1;
        PlatformTest_D3d9ClearCallLog();
        return emitter->Update(&material);
    }
    std::vector<std::string> Draws() const {
        std::vector<std::string> out;
        for (const std::string& call : PlatformTest_D3d9CallLog())
            if (call.rfind("DrawPrimitive", 0) == 0) out.push_back(call);
        return out;
    }
    bool Logged(const std::string& call) const {
        const auto log = PlatformTest_D3d9CallLog();
        return std::find(log.begin(), log.end(), call) != log.end();
    }
    template <class Vertex>
    std::vector<Vertex> ReadBack(u32 count) {
        std::vector<Vertex> out(count);
        SharedBuffer* buffer = emitter->GetGeometry()->GetVertexBuffer(0);
        void* bytes = nullptr;
        EXPECT_EQ(buffer->GetVertexBuffer()->Lock(0, count * sizeof(Vertex), &bytes, D3DLOCK_READONLY), D3D_OK);
        if (bytes) memcpy(out.data(), bytes, count * sizeof(Vertex));
        buffer->GetVertexBuffer()->Unlock();
        return out;
    }

    std::unique_ptr<Application> app;
    std::unique_ptr<ParticleEmitter> emitter;
    RenderContext context;
    Material material;
};

TEST_F(ParticleDevice, QuadsFaceTheCamera) {
    Open();
    emitter->capacity = 8;
    emitter->singleFrame = 0;  // two frames: no point sprites
    emitter->startColor.Set(1.0f, 1.0f, 0.0f, 0.0f);
    emitter->endColor = emitter->startColor;
    ASSERT_TRUE(FrameAt(kStart + 30));
    EXPECT_EQ(emitter->Count(), 3);
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitive(4, 0, 6)"});
    // The world slot was reset: positions are in world space already.
    EXPECT_EQ(context.world.m[12], 0.0f);
    using V = ParticleBatch::QuadVertex;
    const std::vector<V> v = ReadBack<V>(18);
    // The identity view: up (0, 1, 0), forward (0, 0, 1), side (-1, 0, 0); size 2.
    const f32 expected[6][2] = {{6, -1}, {4, -1}, {6, 1}, {4, -1}, {4, 1}, {6, 1}};
    const f32 uv[6][2] = {{1, 1}, {0, 1}, {1, 0}, {0, 1}, {0, 0}, {1, 0}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_FLOAT_EQ(v[k].x, expected[k][0]) << k;
        EXPECT_FLOAT_EQ(v[k].y, expected[k][1]) << k;
        EXPECT_FLOAT_EQ(v[k].z, 0.0f) << k;
        EXPECT_FLOAT_EQ(v[k].nz, -1.0f) << k;
        EXPECT_EQ(v[k].color, 0xFFFF0000u) << k;
        EXPECT_EQ(v[k].u, uv[k][0]) << k;
        EXPECT_EQ(v[k].v, uv[k][1]) << k;
    }
    // The bounds are the box of the particle positions.
    EXPECT_EQ(emitter->box.x, 5.0f);
    EXPECT_EQ(emitter->box.w, 0.0f);
    EXPECT_EQ(emitter->valid, 1);
}

TEST_F(ParticleDevice, ColoursFadePerParticle) {
    Open();
    emitter->capacity = 4;
    emitter->singleFrame = 0;
    emitter->colorConstant = 0;
    emitter->particleLife = RangeValue(100.0f);
    emitter->startColor.Set(1.0f, 1.0f, 1.0f, 1.0f);
    emitter->endColor.Set(1.0f, 0.0f, 0.0f, 0.0f);
    ASSERT_TRUE(FrameAt(kStart + 10));
    ASSERT_TRUE(FrameAt(kStart + 60));  // the first at half its life, the others younger
    using V = ParticleBatch::QuadVertex;
    const std::vector<V> v = ReadBack<V>(24);
    EXPECT_EQ(v[0].color, 0xFF808080u);
    EXPECT_EQ(v[5].color, 0xFF808080u);
    EXPECT_NE(v[6].color, v[0].color);
}

struct SpriteRow {
    const char* what;
    u8 allowed, singleFrame, ready, sizeConstant;
    f32 maxPointSize;
    bool pointSizeCap;
    bool sprites;
};

TEST_F(ParticleDevice, PointSpritesOnlyWhenEveryConditionHolds) {
    const SpriteRow rows[] = {
        {"all hold", 1, 1, 1, 1, 64.0f, true, true},
        {"not allowed", 0, 1, 1, 1, 64.0f, true, false},
        {"several frames", 1, 0, 1, 1, 64.0f, true, false},
        {"not ready", 1, 1, 0, 1, 64.0f, true, false},
        {"points of size 1 only", 1, 1, 1, 1, 1.0f, true, false},
        {"size varies, per-vertex size", 1, 1, 1, 0, 64.0f, true, true},
        {"size varies, no per-vertex size", 1, 1, 1, 0, 64.0f, false, false},
        {"constant size, no per-vertex size", 1, 1, 1, 1, 64.0f, false, true},
    };
    for (const SpriteRow& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        Open(row.maxPointSize, row.pointSizeCap);
        emitter->capacity = 5;
        emitter->pointSpritesAllowed = row.allowed;
        emitter->singleFrame = row.singleFrame;
        emitter->ready = row.ready;
        emitter->sizeConstant = row.sizeConstant;
        EXPECT_EQ(emitter->UsesPointSprites(), row.sprites);
        ASSERT_TRUE(FrameAt(kStart + 20));
        const std::vector<std::string> draws = Draws();
        ASSERT_EQ(draws.size(), 1u);
        if (row.sprites) {
            EXPECT_EQ(draws[0], "DrawPrimitive(1, 0, 2)");
            EXPECT_TRUE(Logged("SetRenderState(156, 1)"));
            EXPECT_TRUE(Logged("SetRenderState(157, 1)"));
            EXPECT_TRUE(Logged("SetRenderState(160, " + std::to_string(Bits(4.0f)) + ")"));
            EXPECT_EQ(Logged("SetRenderState(154, " + std::to_string(Bits(2.0f)) + ")"), row.sizeConstant != 0);
            using V = ParticleBatch::SpriteVertex;
            const std::vector<V> v = ReadBack<V>(2);
            EXPECT_EQ(v[1].x, 5.0f);
            EXPECT_EQ(v[1].size, 2.0f);
            EXPECT_EQ(v[1].color, 0xFFFFFFFFu);
            EXPECT_EQ(v[1].nz, -1.0f);
            // Restored after the draw.
            DWORD state = 1;
            ASSERT_TRUE(PlatformTest_D3d9RenderState(TheDevice(), D3DRS_POINTSPRITEENABLE, &state));
            EXPECT_EQ(state, 0u);
            ASSERT_TRUE(PlatformTest_D3d9RenderState(TheDevice(), D3DRS_POINTSCALEENABLE, &state));
            EXPECT_EQ(state, 0u);
        } else {
            EXPECT_EQ(draws[0], "DrawPrimitive(4, 0, 4)");
            EXPECT_FALSE(Logged("SetRenderState(156, 1)"));
        }
    }
}

TEST_F(ParticleDevice, CapacityRaisedAfterTheFirstDrawRemakesTheRange) {
    Open();
    emitter->singleFrame = 0;
    emitter->genPeriod.range = RangeValue(1.0f);
    emitter->capacity = 2;
    ASSERT_TRUE(FrameAt(kStart + 10));
    EXPECT_EQ(emitter->Count(), 2);
    EXPECT_EQ(emitter->Room(), 12u);
    emitter->capacity = 40;  // as the product sets it between frames
    ASSERT_TRUE(FrameAt(kStart + 100, 7.0f));
    EXPECT_EQ(emitter->Count(), 40);
    EXPECT_GE(emitter->Room(), 240u);
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitive(4, 0, 80)"});
    for (const std::string& call : PlatformTest_D3d9CallLog()) EXPECT_EQ(call.find("failed"), std::string::npos) << call;
    using V = ParticleBatch::QuadVertex;
    const std::vector<V> v = ReadBack<V>(240);
    EXPECT_FLOAT_EQ(v[239].x, 8.0f);  // the last particle, spawned at x = 7
    // Lowering it again draws fewer and keeps the room.
    emitter->capacity = 10;
    ASSERT_TRUE(FrameAt(kStart + 110));
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitive(4, 0, 20)"});
    EXPECT_GE(emitter->Room(), 240u);
}

TEST_F(ParticleDevice, GeometryFailureFailsTheDrawAndTheNextOneRetries) {
    Open();
    emitter->capacity = 4;
    PlatformTest_D3d9FailCall("CreateVertexBuffer", 1, E_OUTOFMEMORY);
    EXPECT_FALSE(FrameAt(kStart + 20));
    EXPECT_TRUE(Draws().empty());
    EXPECT_TRUE(FrameAt(kStart + 30));
    EXPECT_EQ(Draws().size(), 1u);
}

TEST_F(ParticleDevice, NothingToDrawIsNoFailure) {
    Open();
    emitter->capacity = 4;
    EXPECT_TRUE(FrameAt(kStart + 5));
    EXPECT_TRUE(Draws().empty());
    emitter->capacity = 0;
    EXPECT_TRUE(FrameAt(kStart + 50));
    EXPECT_TRUE(Draws().empty());
}

}  // namespace
