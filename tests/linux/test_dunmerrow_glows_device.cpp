// The glow rays and the magic sparks on the reference device: the rays' vertex buffer read
// back for a known camera, the states their draw sends, a vertex buffer the device refuses
// (nothing drawn, the frame goes on, the next draw tries again), and the number of sparks
// alive and drawn at noon and at midnight, and the distortion view's fixed-function
// fallback as the device sees it.
#include "PlatformD3d9Support.h"

#include "Core/Timer.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Dunmerrow/GlowRayMesh.h"
#include "Dunmerrow/MagicHolder.h"
#include "Dunmerrow/ViewCell.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Effect/SceneCamera.h"
#include "Scene/Hierarchy.h"
#include "Scene/ParticleEmitter.h"
#include "Scene/RenderView.h"
#include "tests/EffectTestSupport.h"

#include "D3d/Texture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr u64 kStart = 70000;

class GlowDevice : public ::testing::Test {
protected:
    void SetUp() override {
        platformd3d9::ResetPlatform();
        Timer::FreezeAt(kStart);
        PlatformTest_D3d9SetAdapters({PlatformTest_D3d9DefaultAdapter()});
        app = std::make_unique<Application>();
        ASSERT_TRUE(app->Create(GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(app->SetMode(false));
        ASSERT_NE(TheDevice(), nullptr);
        StateCache::InvalidateAll();
        savedMaster = TheLogRegistry().masterSwitch;
        SetLogMasterSwitch(true);
        // A camera at (0, 0, -10) looking along +z, turned a quarter about its view
        // direction: its right axis is world up and its up axis world left.
        camera.SetPerspective(1.0f, 1000.0f, 1.0f, 0.75f);
        camera.SetView(Vec3(0, 0, -10), Vec3(0, 0, 1), Vec3(-1, 0, 0));
    }
    void TearDown() override {
        app.reset();
        StateCache::InvalidateAll();
        Timer::Freeze(false);
        TheLogRegistry().masterSwitch = savedMaster;
        platformd3d9::ResetPlatform();
    }
    static std::vector<std::string> Calls(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& call : PlatformTest_D3d9CallLog())
            if (call.rfind(prefix, 0) == 0) out.push_back(call);
        return out;
    }
    static std::vector<GlowRayMesh::Vertex> ReadBack(const GlowRayMesh& glow, u32 count) {
        std::vector<GlowRayMesh::Vertex> out(count);
        SharedBuffer* buffer = glow.GetGeometry()->GetVertexBuffer(0);
        void* bytes = nullptr;
        EXPECT_EQ(buffer->GetVertexBuffer()->Lock(0, count * sizeof(GlowRayMesh::Vertex), &bytes, D3DLOCK_READONLY),
                  D3D_OK);
        if (bytes) memcpy(out.data(), bytes, count * sizeof(GlowRayMesh::Vertex));
        buffer->GetVertexBuffer()->Unlock();
        return out;
    }
    static FColor White() {
        FColor c;
        c.Set(1.0f, 1.0f, 1.0f, 1.0f);
        return c;
    }

    std::unique_ptr<Application> app;
    SceneCamera camera;
    u8 savedMaster = 1;
};

TEST_F(GlowDevice, RaysFaceTheCameraAndDrawTwoTrianglesEach) {
    GlowRayMesh glow;
    glow.Build(Vec3(4, 5, 6), 100.0f, 20.0f, White(), 5);
    ASSERT_EQ(glow.RayCount(), 5u);
    Timer::FreezeAt(kStart + 640);
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(glow.DrawRays(camera));
    for (const std::string& call : PlatformTest_D3d9CallLog()) EXPECT_EQ(call.find("failed"), std::string::npos) << call;
    EXPECT_EQ(Calls("DrawPrimitive"), std::vector<std::string>{"DrawPrimitive(4, 0, 10)"});
    // Position and diffuse colour, 16 bytes a vertex, six a ray, dynamic and write-only.
    EXPECT_EQ(Calls("CreateVertexBuffer"), std::vector<std::string>{"CreateVertexBuffer(480, 0x208, 0x42, 0, #5)"});
    EXPECT_EQ(Calls("SetStreamSource"), std::vector<std::string>{"SetStreamSource(0, #5, 0, 16)"});
    // The identity world: the vertices are in world space.
    EXPECT_EQ(Calls("SetTransform(256"), std::vector<std::string>{"SetTransform(256, 1, 1, 1, 0, 0, 0)"});

    // What reached the buffer is what the rays give for the camera's axes at 640 ms.
    const std::vector<GlowRayMesh::Vertex> v = ReadBack(glow, 30);
    for (u32 i = 0; i < 5; ++i) {
        GlowRayMesh::Vertex expected[6];
        glow.RayVertices(i, Vec3(0, 1, 0), Vec3(-1, 0, 0), 640.0f, expected);
        for (u32 k = 0; k < 6; ++k) {
            EXPECT_NEAR(v[i * 6 + k].x, expected[k].x, 1e-4f) << i << " " << k;
            EXPECT_NEAR(v[i * 6 + k].y, expected[k].y, 1e-4f) << i << " " << k;
            EXPECT_NEAR(v[i * 6 + k].z, expected[k].z, 1e-4f) << i << " " << k;
            EXPECT_EQ(v[i * 6 + k].colour, expected[k].colour) << i << " " << k;
        }
    }
    // Every ray lies in the camera's plane through the centre: z stays 6.
    for (const auto& vertex : v) EXPECT_NEAR(vertex.z, 6.0f, 1e-4f);
    // The tip of the first (evenly spaced) ray points along the camera's up axis.
    EXPECT_LT(v[2].x, 4.0f);
    EXPECT_NEAR(v[2].y, 5.0f, std::fabs(v[2].x - 4.0f) * 0.01f);
    // Additive (source alpha, one), depth-tested with LESSEQUAL, not depth-writing, with
    // the small bias toward the eye; unlit, the colour and alpha from the vertices.
    const auto states = PlatformTest_D3d9CallLog();
    u32 biasBits = 0;
    const f32 bias = -0.00006f;
    memcpy(&biasBits, &bias, sizeof biasBits);
    for (const std::string& call :
         {std::string("SetRenderState(7, 1)"), std::string("SetRenderState(23, 4)"), std::string("SetRenderState(14, 0)"),
          "SetRenderState(195, " + std::to_string(biasBits) + ")", std::string("SetRenderState(27, 1)"),
          std::string("SetRenderState(19, 5)"), std::string("SetRenderState(20, 2)"), std::string("SetRenderState(137, 0)"),
          std::string("SetTextureStageState(0, 1, 2)"), std::string("SetTextureStageState(0, 2, 0)")})
        EXPECT_NE(std::find(states.begin(), states.end(), call), states.end()) << call;
}

TEST_F(GlowDevice, ARefusedBufferDrawsNothingAndTheNextDrawTriesAgain) {
    effectsupport::WarningsCapture warnings;
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, White(), 4);
    PlatformTest_D3d9FailCall("CreateVertexBuffer", 1, E_OUTOFMEMORY);
    PlatformTest_D3d9ClearCallLog();
    EXPECT_FALSE(glow.DrawRays(camera));
    EXPECT_TRUE(Calls("DrawPrimitive").empty());
    EXPECT_TRUE(glow.GeometryFailed());
    const std::string first = warnings.Text();
    EXPECT_NE(first.find("Glow rays: no vertex buffer"), std::string::npos) << first;

    // Refused again: still nothing, and no second warning.
    PlatformTest_D3d9FailCall("CreateVertexBuffer", 1, E_OUTOFMEMORY);
    EXPECT_FALSE(glow.DrawRays(camera));
    EXPECT_EQ(warnings.Text(), first);

    // The frame goes on: another glow draws, and this one draws once the device gives it a
    // buffer.
    GlowRayMesh other;
    other.Build(Vec3(0, 0, 0), 100.0f, 20.0f, White(), 3);
    PlatformTest_D3d9ClearCallLog();
    EXPECT_TRUE(other.DrawRays(camera));
    EXPECT_TRUE(glow.DrawRays(camera));
    EXPECT_FALSE(glow.GeometryFailed());
    EXPECT_EQ(Calls("DrawPrimitive"), (std::vector<std::string>{"DrawPrimitive(4, 0, 6)", "DrawPrimitive(4, 0, 8)"}));
}

TEST_F(GlowDevice, ALockThatFailsSkipsOneFrame) {
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, White(), 4);
    ASSERT_TRUE(glow.DrawRays(camera));
    PlatformTest_D3d9FailCall("Lock", 1, D3DERR_INVALIDCALL);
    PlatformTest_D3d9ClearCallLog();
    EXPECT_FALSE(glow.DrawRays(camera));
    EXPECT_TRUE(Calls("DrawPrimitive").empty());
    EXPECT_FALSE(glow.GeometryFailed());
    EXPECT_TRUE(glow.DrawRays(camera));
    EXPECT_EQ(Calls("DrawPrimitive").size(), 1u);
}

TEST_F(GlowDevice, ARebuiltGlowWithMoreRaysGetsALargerBuffer) {
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, White(), 3);
    ASSERT_TRUE(glow.DrawRays(camera));
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, White(), 30);
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(glow.DrawRays(camera));
    EXPECT_EQ(Calls("DrawPrimitive"), std::vector<std::string>{"DrawPrimitive(4, 0, 60)"});
    const std::vector<GlowRayMesh::Vertex> v = ReadBack(glow, 180);
    GlowRayMesh::Vertex expected[6];
    glow.RayVertices(29, Vec3(0, 1, 0), Vec3(-1, 0, 0), 0.0f, expected);
    EXPECT_NEAR(v[179].y, expected[5].y, 1e-4f);
}

// ---- magic sparks ----------------------------------------------------------------------

class MagicDevice : public GlowDevice {
protected:
    // Frames 20 ms apart from the build until `until` ms; returns the last draw's result.
    bool Run(MagicHolder& holder, u64 until) {
        bool ok = true;
        for (u64 t = 20; t <= until; t += 20) {
            Timer::FreezeAt(kStart + t);
            RenderContext& context = holder.Node()->GetRenderContext();
            context.SetCamera(camera);
            holder.Node()->GetMaterial().context = &context;
            PlatformTest_D3d9ClearCallLog();
            ok = holder.Emitter()->Update(&holder.Node()->GetMaterial());
        }
        return ok;
    }
};

TEST_F(MagicDevice, AtMidnightMaxMagicSparksAreAliveAndDrawn) {
    MagicHolder holder;
    Texture texture;
    ASSERT_TRUE(holder.Build(Vec3(0, 0, 0), &texture, 1.0f));
    holder.SetCount(MagicCount(100, 1.0f - 0.0f));
    ASSERT_TRUE(Run(holder, 6000));
    // Far more sparks are asked for than die: the emitter runs full.
    EXPECT_GE(holder.Emitter()->Count(), 97);
    EXPECT_LE(holder.Emitter()->Count(), 100);
    // One point sprite a spark (one frame, one size): all of them.
    EXPECT_EQ(Calls("DrawPrimitive"), std::vector<std::string>{"DrawPrimitive(1, 0, " +
                                                               std::to_string(holder.Emitter()->Count()) + ")"});
}

TEST_F(MagicDevice, AtNoonNoSparkIsMadeOrDrawn) {
    MagicHolder holder;
    Texture texture;
    ASSERT_TRUE(holder.Build(Vec3(0, 0, 0), &texture, 1.0f));
    holder.SetCount(MagicCount(100, 1.0f - 1.0f));
    ASSERT_TRUE(Run(holder, 3000));
    EXPECT_EQ(holder.Emitter()->Count(), 0);
    EXPECT_TRUE(Calls("DrawPrimitive").empty());
}

// ---- the distortion view's fallback ---------------------------------------------------------

// A drawable that runs a fixed-function layer's set-up as a mesh draw does, without
// geometry: the device log shows the states the cell's material sends.
class StageProbe : public DrawItem {
public:
    StageProbe() {
        box = Box{0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.1f};
        valid = 1;
    }
    DrawItem* Clone() override { return new StageProbe; }
    bool Draw(Material* material) override {
        ++draws;
        if (!material || !material->context) return false;
        return material->ApplyRenderStates(0) && material->BindTextures(0) && material->ApplyLighting(0) &&
               material->ApplyMaterial(0);
    }
    bool QueryType(u32 typeId, void** out) override {
        if (typeId == DrawNodeTypeId()) {
            *out = static_cast<DrawItem*>(this);
            return true;
        }
        return DrawItem::QueryType(typeId, out);
    }
    static inline int draws = 0;
};

TEST_F(GlowDevice, WithoutTheEffectTheViewShowsTheWorldTextureByPosition) {
    effectsupport::WarningsCapture warnings;
    Texture world;
    ASSERT_TRUE(world.CreateEmpty(TEX_EMPTY, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, false, true));
    Hierarchy box;
    box.SetObject(new StageProbe);
    box.GetTransform(true).SetPosition(0.0f, 0.0f, 1.0f);
    ViewCell cell;
    ASSERT_TRUE(cell.Create(&box, &world, nullptr, nullptr));
    EXPECT_NE(warnings.Text().find("Distort effect not loaded"), std::string::npos);
    StageProbe::draws = 0;
    PlatformTest_D3d9ClearCallLog();
    cell.Render(Vec3(1, 2, 3), 0.5f, 0.5f);
    EXPECT_EQ(StageProbe::draws, 1);
    const auto calls = PlatformTest_D3d9CallLog();
    auto has = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) != calls.end(); };
    // Unlit; the world texture in stage 0, shown as it is; coordinates from the
    // camera-space position, projected by the first two (D3DTTFF_COUNT2) of the stage's
    // transform: with the camera at the origin that is the cell's own transform.
    EXPECT_TRUE(has("SetRenderState(137, 0)"));
    EXPECT_TRUE(has("SetTextureStageState(0, 11, 131072)"));
    EXPECT_TRUE(has("SetTextureStageState(0, 24, 2)"));
    EXPECT_TRUE(has("SetTextureStageState(0, 1, 2)"));
    EXPECT_TRUE(has("SetTextureStageState(0, 2, 2)"));
    const auto transforms = Calls("SetTransform(16,");
    ASSERT_EQ(transforms.size(), 1u);
    EXPECT_EQ(transforms[0], "SetTransform(16, 1, -1, -1, 0.5, 0.5, 0)");
}

}  // namespace
