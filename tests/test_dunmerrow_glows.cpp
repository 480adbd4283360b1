// The product scene's objects made in code: the glow rays' random shapes and their
// vertices for a known camera, the ray array's growth, the magic count by the time of day
// and the magic holder's emitter, and the distortion view with and without its effect.
#include "Core/Log.h"
#include "Core/Timer.h"
#include "D3d/Texture.h"
#include "Dunmerrow/GlowRayMesh.h"
#include "Dunmerrow/MagicHolder.h"
#include "Dunmerrow/ViewCell.h"
#include "Effect/DistortEffect.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/Hierarchy.h"
#include "Scene/ParticleEmitter.h"
#include "tests/EffectTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using effectsupport::ScriptedEffect;
using effectsupport::WarningsCapture;

constexpr f32 kTwoPi = 6.28318530718f;

FColor Colour(f32 a, f32 r, f32 g, f32 b) {
    FColor c;
    c.Set(a, r, g, b);
    return c;
}

// ---- glow rays: their shapes ----------------------------------------------------------

struct EvenRow {
    i32 n;
    i32 even;
};

TEST(GlowRays, TheFirstQuarterAreEvenlySpaced) {
    const EvenRow rows[] = {{4, 1}, {3, 0}, {30, 7}, {1, 0}, {8, 2}};
    for (const EvenRow& row : rows) {
        GlowRayMesh glow;
        glow.Build(Vec3(1, 2, 3), 100.0f, 20.0f, Colour(1, 1, 1, 1), row.n);
        ASSERT_EQ(glow.RayCount(), static_cast<u32>(row.n));
        for (i32 i = 0; i < row.n; ++i) {
            const GlowRay& ray = glow.Ray(static_cast<u32>(i));
            if (i < row.even) {
                EXPECT_FLOAT_EQ(ray.angle, static_cast<f32>(i) / (row.n * 0.25f) * kTwoPi) << row.n << " ray " << i;
                EXPECT_FLOAT_EQ(ray.angleAmount, 0.005f);
                EXPECT_EQ(ray.lengthAmount, 0.0f);
            } else {
                // A random ray: its angle anywhere around, its wobble between 0.04 and 0.2,
                // its length amplitude from its length.
                EXPECT_GE(ray.angle, 0.0f);
                EXPECT_LE(ray.angle, kTwoPi);
                EXPECT_GE(ray.angleAmount, 0.04f);
                EXPECT_LE(ray.angleAmount, 0.2f);
                EXPECT_FLOAT_EQ(ray.lengthAmount, 1.1f - (ray.length - 50.0f) / (100.0f - 50.0f));
            }
        }
    }
}

TEST(GlowRays, ThirtyRaysHaveSevenEvenOnes2PiOver7Point5Apart) {
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 80.0f, 16.0f, Colour(1, 1, 1, 1), 30);
    ASSERT_EQ(glow.RayCount(), 30u);
    EXPECT_EQ(glow.Ray(0).angle, 0.0f);
    for (u32 i = 1; i < 7; ++i) EXPECT_NEAR(glow.Ray(i).angle - glow.Ray(i - 1).angle, kTwoPi / 7.5f, 1e-5f);
    // The eighth is a random one (its amplitude is not the even rays' 0.005).
    EXPECT_GE(glow.Ray(7).angleAmount, 0.04f);
}

TEST(GlowRays, EveryRayFollowsTheShapeRules) {
    std::srand(7);
    GlowRayMesh glow;
    const FColor colour = Colour(0.8f, 1.0f, 0.5f, 0.25f);
    glow.Build(Vec3(10, 20, 30), 120.0f, 24.0f, colour, 40);
    ASSERT_EQ(glow.RayCount(), 40u);
    EXPECT_EQ(glow.Centre().x, 10.0f);
    EXPECT_EQ(glow.Centre().z, 30.0f);
    EXPECT_EQ(glow.CentreW(), -1.0f);
    for (u32 i = 0; i < glow.RayCount(); ++i) {
        const GlowRay& ray = glow.Ray(i);
        EXPECT_GE(ray.length, 0.0f);
        EXPECT_LE(ray.length, 120.0f);
        EXPECT_FLOAT_EQ(ray.width, (1.0f - ray.length / 120.0f) * 24.0f);
        const f32 relative = ray.length / 120.0f;
        const f32 scale = std::fmin(1.0f, 0.5f / (relative * relative));
        EXPECT_FLOAT_EQ(ray.a, 0.8f * scale);
        EXPECT_FLOAT_EQ(ray.r, 1.0f * scale);
        EXPECT_FLOAT_EQ(ray.g, 0.5f * scale);
        EXPECT_FLOAT_EQ(ray.b, 0.25f * scale);
        for (f32 phase : {ray.anglePhase, ray.lengthPhase}) {
            EXPECT_GE(phase, 0.0f);
            EXPECT_LE(phase, 1.0f);
        }
        for (f32 speed : {ray.angleSpeed, ray.lengthSpeed}) {
            EXPECT_GE(speed, 0.0005f);
            EXPECT_LE(speed, 0.002f);
        }
    }
}

TEST(GlowRays, AFullLengthRayHasNoWidthAndHalfTheColour) {
    EXPECT_EQ(GlowRayMesh::RayWidth(100.0f, 100.0f, 20.0f), 0.0f);
    EXPECT_EQ(GlowRayMesh::ColourScale(100.0f, 100.0f), 0.5f);
    EXPECT_FLOAT_EQ(GlowRayMesh::RayWidth(25.0f, 100.0f, 20.0f), 15.0f);
    // Up to 1/sqrt(2) of the size the colour is whole; a ray of length 0 too.
    EXPECT_EQ(GlowRayMesh::ColourScale(70.0f, 100.0f), 1.0f);
    EXPECT_EQ(GlowRayMesh::ColourScale(0.0f, 100.0f), 1.0f);
    EXPECT_FLOAT_EQ(GlowRayMesh::ColourScale(80.0f, 100.0f), 0.5f / 0.64f);
}

TEST(GlowRays, ASizeOfFiftyTakesTheLengthAmplitudeAtItsPivot) {
    EXPECT_EQ(GlowRayMesh::LengthAmount(30.0f, 50.0f), 1.1f);
    EXPECT_EQ(GlowRayMesh::LengthAmount(30.0f, 50.0005f), 1.1f);
    EXPECT_EQ(GlowRayMesh::LengthAmount(30.0f, 49.9995f), 1.1f);
    EXPECT_FLOAT_EQ(GlowRayMesh::LengthAmount(75.0f, 100.0f), 0.6f);
    // Built at 50 (GlowSize 10 x Scale 5), every random ray's amplitude is finite.
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 10.0f * 5.0f, 10.0f, Colour(1, 1, 1, 1), 8);
    ASSERT_EQ(glow.RayCount(), 8u);
    for (u32 i = 2; i < 8; ++i) EXPECT_EQ(glow.Ray(i).lengthAmount, 1.1f) << i;
}

TEST(GlowRays, NoSizeOrNoCountBuildsNoRays) {
    const f32 sizes[] = {0.0f, -5.0f, std::nanf("")};
    for (f32 size : sizes) {
        GlowRayMesh glow;
        glow.Build(Vec3(0, 0, 0), size, 1.0f, Colour(1, 1, 1, 1), 12);
        EXPECT_EQ(glow.RayCount(), 0u) << size;
    }
    for (i32 n : {0, -3}) {
        GlowRayMesh glow;
        glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, Colour(1, 1, 1, 1), n);
        EXPECT_EQ(glow.RayCount(), 0u) << n;
    }
    // A glow built again with no size loses its old rays.
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, Colour(1, 1, 1, 1), 6);
    glow.Build(Vec3(0, 0, 0), 0.0f, 20.0f, Colour(1, 1, 1, 1), 6);
    EXPECT_EQ(glow.RayCount(), 0u);
}

TEST(GlowRays, BuildSetsTheAdditiveDepthTestedMaterial) {
    GlowRayMesh glow;
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, Colour(1, 1, 1, 1), 4);
    const MaterialLayer& layer = glow.RayMaterial().layers[0];
    EXPECT_EQ(layer.blendEnabled, 1);
    EXPECT_EQ(layer.srcBlend, static_cast<u32>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(layer.destBlend, static_cast<u32>(D3DBLEND_ONE));
    EXPECT_EQ(layer.depthFunc, static_cast<u32>(D3DCMP_LESSEQUAL));
    EXPECT_EQ(layer.depthTest, 1);
    EXPECT_EQ(layer.depthWrite, 0);
    const f32 bias = -0.00006f;
    u32 bits = 0;
    memcpy(&bits, &bias, sizeof bits);
    EXPECT_EQ(layer.depthBias, bits);
}

TEST(GlowRays, BuildRestartsTheTimer) {
    Timer::FreezeAt(123456);
    GlowRayMesh glow;
    glow.RayTimer().SetStart(5);
    glow.Build(Vec3(0, 0, 0), 100.0f, 20.0f, Colour(1, 1, 1, 1), 4);
    EXPECT_EQ(glow.RayTimer().Start(), 123456u);
    Timer::Freeze(false);
}

// ---- glow rays: the record array ---------------------------------------------------------

TEST(GlowRays, TheArrayGrowsWithSlackAndKeepsItsRecords) {
    GlowRayMesh glow;
    ASSERT_TRUE(glow.ResizeRays(3));
    EXPECT_EQ(glow.RayCount(), 3u);
    EXPECT_EQ(glow.RayCapacity(), 3u + GlowRayMesh::kRaySlack);
    for (u32 i = 0; i < 3; ++i) {
        glow.Ray(i).length = 10.0f + i;
        glow.Ray(i).b = 0.5f * i;
    }
    ASSERT_TRUE(glow.ResizeRays(40));
    EXPECT_EQ(glow.RayCount(), 40u);
    EXPECT_EQ(glow.RayCapacity(), 40u + GlowRayMesh::kRaySlack);
    for (u32 i = 0; i < 3; ++i) {
        EXPECT_EQ(glow.Ray(i).length, 10.0f + i);
        EXPECT_EQ(glow.Ray(i).b, 0.5f * i);
    }
    // The new records start empty.
    EXPECT_EQ(glow.Ray(3).length, 0.0f);
    EXPECT_EQ(glow.Ray(39).a, 0.0f);
    // Asking for fewer keeps the room and the first records.
    ASSERT_TRUE(glow.ResizeRays(2));
    EXPECT_EQ(glow.RayCount(), 2u);
    EXPECT_EQ(glow.RayCapacity(), 40u + GlowRayMesh::kRaySlack);
    EXPECT_EQ(glow.Ray(1).length, 11.0f);
    // Growing within the room clears what the shorter array no longer held.
    ASSERT_TRUE(glow.ResizeRays(5));
    EXPECT_EQ(glow.Ray(1).length, 11.0f);
    EXPECT_EQ(glow.Ray(2).length, 0.0f);
}

// ---- glow rays: the vertices -------------------------------------------------------------

class RayVertices : public ::testing::Test {
protected:
    void SetUp() override {
        glow.Build(Vec3(1, 2, 3), 100.0f, 20.0f, Colour(1, 1, 1, 1), 4);
        GlowRay& ray = glow.Ray(0);
        ray.length = 10.0f;
        ray.width = 2.0f;
        ray.angle = 0.0f;
        ray.anglePhase = 0.0f;
        ray.angleSpeed = 0.0f;
        ray.angleAmount = 0.0f;
        ray.lengthPhase = 0.0f;
        ray.lengthSpeed = 0.0f;
        ray.lengthAmount = 0.0f;
        ray.a = 1.0f;
        ray.r = 1.0f;
        ray.g = 0.5f;
        ray.b = 0.0f;
    }
    static void Expect(const GlowRayMesh::Vertex& v, f32 x, f32 y, f32 z, u32 colour, int k) {
        EXPECT_NEAR(v.x, x, 1e-5f) << "vertex " << k;
        EXPECT_NEAR(v.y, y, 1e-5f) << "vertex " << k;
        EXPECT_NEAR(v.z, z, 1e-5f) << "vertex " << k;
        EXPECT_EQ(v.colour, colour) << "vertex " << k;
    }
    GlowRayMesh glow;
};

TEST_F(RayVertices, AtAngleZeroTheRayPointsUp) {
    GlowRayMesh::Vertex v[6];
    glow.RayVertices(0, Vec3(1, 0, 0), Vec3(0, 1, 0), 0.0f, v);
    const u32 centre = 0xFFFF8000u;  // 0.5 packs to 0x80
    // (K + P W, K, E) and (K, K - P W, E), P = right, D = up.
    Expect(v[0], 3, 2, 3, 0, 0);
    Expect(v[1], 1, 2, 3, centre, 1);
    Expect(v[2], 1, 12, 3, 0, 2);
    Expect(v[3], 1, 2, 3, centre, 3);
    Expect(v[4], -1, 2, 3, 0, 4);
    Expect(v[5], 1, 12, 3, 0, 5);
}

TEST_F(RayVertices, TheWobbleTurnsAndStretchesTheRay) {
    // angle = sin(2 pi 0.25) x pi/2 = pi/2: the ray points right and its side is -up;
    // length = (sin(2 pi 0 + 1000 x 0.0005 pi) x 1 + 1) x 10 = 20.
    GlowRay& ray = glow.Ray(0);
    ray.anglePhase = 0.25f;
    ray.angleAmount = kTwoPi / 4.0f;
    ray.lengthSpeed = 0.0005f * kTwoPi / 2.0f;
    ray.lengthAmount = 1.0f;
    GlowRayMesh::Vertex v[6];
    // Axes not of unit length are normalised first.
    glow.RayVertices(0, Vec3(3, 0, 0), Vec3(0, 0.5f, 0), 1000.0f, v);
    Expect(v[0], 1, 0, 3, 0, 0);
    Expect(v[2], 21, 2, 3, 0, 2);
    Expect(v[4], 1, 4, 3, 0, 4);
}

TEST_F(RayVertices, ZeroAxesCollapseOntoTheCentre) {
    GlowRayMesh::Vertex v[6];
    glow.RayVertices(0, Vec3(0, 0, 0), Vec3(0, 0, 0), 500.0f, v);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(v[k].x, 1.0f) << k;
        EXPECT_EQ(v[k].y, 2.0f) << k;
        EXPECT_EQ(v[k].z, 3.0f) << k;
    }
}

TEST(GlowRays, NoRaysDrawNothingAndSucceed) {
    GlowRayMesh glow;
    SceneCamera camera;
    EXPECT_TRUE(glow.DrawRays(camera));
    glow.Build(Vec3(0, 0, 0), -1.0f, 1.0f, Colour(1, 1, 1, 1), 5);
    EXPECT_TRUE(glow.DrawRays(camera));
    EXPECT_FALSE(glow.GeometryFailed());
}

// ---- magic ---------------------------------------------------------------------------------

struct MagicRow {
    i32 maxMagic;
    f32 w;
    i32 count;
};

TEST(Magic, TheCountGrowsWithTheFourthPowerOfTheNight) {
    const MagicRow rows[] = {
        {100, 0.0f, 0},    // noon: h = 1
        {100, 1.0f, 100},  // midnight: h = 0
        {100, 0.5f, 6},    // 6.25 truncated
        {200, 0.9f, 131},  // 131.22
        {100, -0.2f, 0},   {0, 1.0f, 0}, {-5, 1.0f, 0}, {100, std::nanf(""), 0},
    };
    for (const MagicRow& row : rows) EXPECT_EQ(MagicCount(row.maxMagic, row.w), row.count) << row.maxMagic << " " << row.w;
}

TEST(Magic, BuildMakesATexturedAdditiveEmitterNode) {
    MagicHolder holder;
    EXPECT_EQ(holder.Node(), nullptr);
    EXPECT_EQ(holder.MagicSize.value, 5.0f);
    holder.MagicSize.value = 4.0f;
    Texture sprite;
    Texture* texture = &sprite;
    ASSERT_TRUE(holder.Build(Vec3(10, 20, 30), texture, 2.0f));
    Hierarchy* node = holder.Node();
    ASSERT_NE(node, nullptr);
    ASSERT_NE(holder.Emitter(), nullptr);
    EXPECT_EQ(node->GetObject(), static_cast<DrawItem*>(holder.Emitter()));
    const Vec3 at = node->GetTransform(false).GetPosition();
    EXPECT_EQ(at.x, 20.0f);
    EXPECT_EQ(at.y, 40.0f);
    EXPECT_EQ(at.z, 60.0f);
    i32 noCull = 0;
    EXPECT_TRUE(node->properties.children.GetInt(String("NoCull"), &noCull));
    EXPECT_EQ(noCull, 1);
    const MaterialLayer& layer = node->GetMaterial().layers[0];
    EXPECT_EQ(layer.BaseTexture(), texture);
    EXPECT_EQ(layer.vertexColor, 1);
    EXPECT_EQ(layer.lit, 0);
    EXPECT_EQ(layer.destBlend, static_cast<u32>(D3DBLEND_ONE));
    EXPECT_EQ(layer.stages[0].alphaOp, static_cast<u32>(D3DTOP_MODULATE));
    // The size is MagicSize x the scale; the sparks rise and fade to nothing.
    ParticleEmitter& e = *holder.Emitter();
    EXPECT_EQ(e.particleSize.Sample(), 8.0f);
    EXPECT_EQ(e.sizeConstant, 1);
    EXPECT_GT(e.emitDir.y, 0.0f);
    EXPECT_EQ(e.endColor.a, 0.0f);
    EXPECT_GT(e.startColor.a, 0.0f);
    EXPECT_EQ(e.capacity, 30);
    EXPECT_TRUE(e.genPeriod.IsStarted());
    holder.SetCount(77);
    EXPECT_EQ(e.capacity, 77);
    holder.SetCount(-4);
    EXPECT_EQ(e.capacity, 0);
    // A second build replaces the first.
    ASSERT_TRUE(holder.Build(Vec3(1, 1, 1), texture, 1.0f));
    EXPECT_EQ(holder.Emitter()->particleSize.Sample(), 4.0f);
    holder.Release();
    EXPECT_EQ(holder.Node(), nullptr);
    EXPECT_EQ(holder.Emitter(), nullptr);
    holder.SetCount(5);  // without an emitter: nothing happens
}

TEST(Magic, TheSparksLiveLongerThanTheyTakeToSpawn) {
    // The count matters only when the emitter always runs full: the slowest spawning must
    // still fill the largest count the scene asks for within one life.
    MagicHolder holder;
    ParticleEmitter e;
    holder.Describe(e);
    const f32 shortestLife = std::fmin(e.particleLife.x0, e.particleLife.x1);
    const f32 longestPeriod = std::fmax(e.genPeriod.range.x0, e.genPeriod.range.x1);
    EXPECT_GE(shortestLife / longestPeriod, 100.0f);
}

// ---- the distortion view -------------------------------------------------------------------

class ViewCellTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedMaster = TheLogRegistry().masterSwitch;
        SetLogMasterSwitch(true);
        box = std::make_unique<Hierarchy>();
        box->Rename(String("box"));
        Hierarchy* child = new Hierarchy;
        child->Rename(String("inner"));
        box->AddChild(child);
    }
    void TearDown() override {
        TheLogRegistry().masterSwitch = savedMaster;
        Timer::Freeze(false);
    }
    std::unique_ptr<Hierarchy> box;
    Texture worldTexture, displaceTexture;
    Texture* world = &worldTexture;
    Texture* displace = &displaceTexture;
    u8 savedMaster = 1;
};

TEST_F(ViewCellTest, ANullNodeMakesNoCell) {
    ViewCell cell;
    EXPECT_FALSE(cell.Create(nullptr, world, displace, nullptr));
    EXPECT_EQ(cell.Clone(), nullptr);
    cell.Render(Vec3(1, 2, 3), 0.5f, 0.5f);  // nothing to draw, nothing breaks
}

TEST_F(ViewCellTest, TheCameraLooksAtTheUnitQuadFromTheOrigin) {
    ViewCell cell;
    WarningsCapture warnings;
    ASSERT_TRUE(cell.Create(box.get(), world, displace, nullptr));
    ASSERT_NE(cell.Clone(), nullptr);
    EXPECT_NE(cell.Clone(), box.get());
    EXPECT_NE(cell.Clone()->FindChild(String("inner")), nullptr);
    SceneCamera& camera = cell.View().camera;
    EXPECT_EQ(camera.perspective, 0);
    EXPECT_EQ(camera.GetNear(), 0.1f);
    EXPECT_EQ(camera.orthoWidth, 1.0f);
    EXPECT_EQ(camera.orthoHeight, 1.0f);
    EXPECT_EQ(camera.orthoDepth, 2.0f);
    // The quad's corners (+-0.5, +-0.5, 1) reach the edges of the view: clip x and y of
    // +-1, depth inside [0, 1].
    const Matrix vp = camera.GetViewProjection();
    for (f32 x : {-0.5f, 0.5f}) {
        for (f32 y : {-0.5f, 0.5f}) {
            const f32 cx = x * vp.m[0] + y * vp.m[4] + vp.m[8] + vp.m[12];
            const f32 cy = x * vp.m[1] + y * vp.m[5] + vp.m[9] + vp.m[13];
            const f32 cz = x * vp.m[2] + y * vp.m[6] + vp.m[10] + vp.m[14];
            const f32 cw = x * vp.m[3] + y * vp.m[7] + vp.m[11] + vp.m[15];
            EXPECT_NEAR(cx / cw, x * 2.0f, 1e-5f);
            EXPECT_NEAR(cy / cw, y * 2.0f, 1e-5f);
            EXPECT_GT(cz / cw, 0.0f);
            EXPECT_LT(cz / cw, 1.0f);
        }
    }
}

TEST_F(ViewCellTest, WithoutTheEffectItWarnsAndTexturesByPosition) {
    ViewCell cell;
    WarningsCapture warnings;
    ASSERT_TRUE(cell.Create(box.get(), world, displace, nullptr));
    EXPECT_NE(warnings.Text().find("Distort effect not loaded"), std::string::npos) << warnings.Text();
    EXPECT_EQ(cell.Distort(), nullptr);
    const Material& material = cell.Clone()->GetMaterial();
    EXPECT_EQ(material.layerCount, 1);
    const MaterialLayer& layer = material.layers[0];
    EXPECT_EQ(layer.effect, nullptr);
    EXPECT_EQ(layer.lit, 0);
    EXPECT_EQ(layer.samplers[kBaseMap].texture, world);
    EXPECT_EQ(layer.samplers[kBumpMap].texture, displace);
    EXPECT_FLOAT_EQ(layer.samplers[kBumpMap].scale, 0.2f);
    const TextureStage& stage = layer.stages[0];
    EXPECT_EQ(stage.sampler.texture, world);
    EXPECT_EQ(stage.texCoordIndex, 0x20000u);
    EXPECT_EQ(stage.transformEnabled, 1u);
    // Camera-space (x, y, 1) becomes (x + 0.5, 0.5 - y): the quad's corners map onto the
    // render target's corners, top left to (0, 0).
    const f32* m = stage.transform.m;
    const f32 corners[4][4] = {{-0.5f, 0.5f, 0.0f, 0.0f}, {0.5f, 0.5f, 1.0f, 0.0f}, {-0.5f, -0.5f, 0.0f, 1.0f},
                               {0.5f, -0.5f, 1.0f, 1.0f}};
    for (const auto& c : corners) {
        const f32 u = c[0] * m[0] + c[1] * m[4] + m[8] + m[12];
        const f32 v = c[0] * m[1] + c[1] * m[5] + m[9] + m[13];
        EXPECT_NEAR(u, c[2], 1e-6f);
        EXPECT_NEAR(v, c[3], 1e-6f);
    }
    // The source node keeps its own material.
    EXPECT_EQ(box->GetMaterial().layers[0].samplers[kBaseMap].texture, nullptr);
}

TEST_F(ViewCellTest, AnEffectOfAnotherKindIsTreatedAsMissing) {
    ViewCell cell;
    WarningsCapture warnings;
    ScriptedEffect other(true);
    ASSERT_TRUE(cell.Create(box.get(), world, displace, &other));
    EXPECT_NE(warnings.Text().find("Distort effect not loaded"), std::string::npos);
    EXPECT_EQ(cell.Distort(), nullptr);
    EXPECT_EQ(cell.Clone()->GetMaterial().layers[0].effect, nullptr);
}

TEST_F(ViewCellTest, WithTheEffectEachFrameSetsTheEyeAndTheTime) {
    ViewCell cell;
    WarningsCapture warnings;
    DistortEffect effect;
    Timer::FreezeAt(10000);
    ASSERT_TRUE(cell.Create(box.get(), world, displace, &effect));
    EXPECT_EQ(warnings.Text().find("Distort effect not loaded"), std::string::npos) << warnings.Text();
    EXPECT_EQ(cell.Distort(), &effect);
    const MaterialLayer& layer = cell.Clone()->GetMaterial().layers[0];
    EXPECT_EQ(layer.effect, static_cast<Effect*>(&effect));
    EXPECT_EQ(layer.stages[0].transformEnabled, 0u);
    EXPECT_EQ(layer.samplers[kBaseMap].texture, world);

    Timer::FreezeAt(12500);
    // A = (1 - 0.5 x 0.4) x 300 = 240.
    cell.Render(Vec3(10, 20, 30), 0.5f, 0.4f);
    EXPECT_FLOAT_EQ(effect.GetEye().x, 4.0f);
    EXPECT_FLOAT_EQ(effect.GetEye().y, 8.0f + 240.0f);
    EXPECT_FLOAT_EQ(effect.GetEye().z, 12.0f);
    EXPECT_FLOAT_EQ(cell.Time(), 2.5f);
    EXPECT_FLOAT_EQ(cell.View().time, 2.5f);
}

TEST_F(ViewCellTest, ASecondCreateReplacesTheFirst) {
    ViewCell cell;
    WarningsCapture warnings;
    DistortEffect effect;
    ASSERT_TRUE(cell.Create(box.get(), world, displace, &effect));
    Hierarchy* first = cell.Clone();
    ASSERT_TRUE(cell.Create(box.get(), world, displace, nullptr));
    EXPECT_NE(cell.Clone(), nullptr);
    EXPECT_EQ(cell.Distort(), nullptr);
    (void)first;  // freed by the second Create (AddressSanitizer watches)
    cell.Release();
    EXPECT_EQ(cell.Clone(), nullptr);
}

}  // namespace
