// The glow rays: at one glow point, a fan of camera-facing light rays whose angles and
// lengths wobble with time. Nothing of it is loaded from a model: Build draws the rays'
// random shapes once, and every draw writes two triangles per ray into a dynamic vertex
// buffer (position and diffuse colour) facing the camera of the context it is drawn with.
// The colour sits at the centre and fades to transparent black at the base corners and
// the tip, so additive blending gives a soft star.
#pragma once

#include "Core/Array.h"
#include "Core/FColor.h"
#include "Core/Timer.h"
#include "Core/Types.h"
#include "Core/Vector.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"
#include "Effect/RenderContext.h"

class BufferRange;
class SceneCamera;

// One ray: 13 floats, in the order they are stored.
struct GlowRay {
    f32 length;         // L
    f32 width;          // W
    f32 angle;          // A0, the base angle
    f32 anglePhase;     // p1
    f32 angleSpeed;     // s1, per ms
    f32 angleAmount;    // a1
    f32 lengthPhase;    // p2
    f32 lengthSpeed;    // s2, per ms
    f32 lengthAmount;   // a2
    f32 a, r, g, b;     // colour, 0..1 each
};
static_assert(sizeof(GlowRay) == 52, "a ray record is 13 floats");

class GlowRayMesh : public MeshObject {
public:
    GlowRayMesh();
    ~GlowRayMesh() override;

    // Draws n rays of the size around centre (w = -1: a fixed world position) with the
    // colour; restarts the timer, sets additive blending on the ray material. n <= 0
    // builds no rays; size <= 0 builds none either (a ray's width and fade divide by it);
    // n above kMaxRays builds kMaxRays.
    void Build(const Vec3& centre, f32 size, f32 thickness, FColor colour, i32 n);
    // Rebuilds the vertices facing the camera and draws them at once with the ray
    // material and the identity world; false (nothing drawn) when the dynamic buffer
    // cannot be made or locked.
    bool DrawRays(SceneCamera& camera);

    u32 RayCount() const { return rayCount; }
    const GlowRay& Ray(u32 i) const { return rays[i]; }
    GlowRay& Ray(u32 i) { return rays[i]; }
    const Vec3& Centre() const { return centre; }
    f32 CentreW() const { return centreW; }
    Material& RayMaterial() { return material; }
    Timer& RayTimer() { return timer; }
    // The six vertices of ray i as written by the last draw (tests read them back).
    struct Vertex {
        f32 x, y, z;
        u32 colour;  // 0xAARRGGBB
    };
    static_assert(sizeof(Vertex) == 16, "position and diffuse colour");
    // The vertices of one ray for camera axes right and up at time t (ms, in double: the
    // rays' waves have no common period to wrap by, and a float of milliseconds steps by
    // 16 ms after three days): the two
    // triangles (K + P W, K, E) and (K, K - P W, E).
    void RayVertices(u32 i, const Vec3& right, const Vec3& up, f64 t, Vertex out[6]) const;

    // The shape rules of Build for a ray of length L in a glow of the size: the width
    // (1 - L / size) x thickness (the scene passes size x 0.2, so a ray at full length
    // has no width); the colour scale min(1, q / (L / size)^2) with q = 0.5; and the
    // length amplitude of a random ray, 1.1 - (L - 50) / (size - 50), which is 1.1 for a
    // size within 1e-3 of 50 (where the formula would divide by zero). size > 0.
    static f32 RayWidth(f32 length, f32 size, f32 thickness);
    static f32 ColourScale(f32 length, f32 size);
    static f32 LengthAmount(f32 length, f32 size);

    // Sizes the ray array to count: it grows to count plus a slack of records and keeps
    // the records it held; it never shrinks below count. False (nothing changed) when
    // memory runs out.
    bool ResizeRays(u32 count);
    u32 RayCapacity() const { return rayCapacity; }
    // Set while the vertex buffer could not be made: each draw asks for it again (a device
    // short of memory for a moment does not lose the glow for the whole run), and the
    // failure is logged once until a buffer is made.
    bool GeometryFailed() const { return geometryFailed; }
    // Spare records the array takes on when it grows.
    static constexpr u32 kRaySlack = 10;
    // The most rays one glow holds: a count read from a configuration beyond it would ask
    // for gigabytes of records and vertices. Build draws this many; ResizeRays refuses more.
    static constexpr u32 kMaxRays = 10000;
    // The vertex layout of the rays: position and diffuse colour.
    static constexpr u32 kRayFVF = 0x42;
    static constexpr u32 kRayUsage = 0x208;  // dynamic, write-only
    static constexpr u32 kVerticesPerRay = 6;

private:
    bool Reserve(u32 count);
    bool EnsureGeometry();

    Vec3 centre{0.0f, 0.0f, 0.0f};
    f32 centreW = -1.0f;  // -1: the centre is a fixed world position
    GlowRay* rays = nullptr;
    u32 rayCount = 0;
    u32 rayCapacity = 0;
    Timer timer;
    Material material;
    bool geometryFailed = false;
    u32 geometryRoom = 0;    // vertices the dynamic buffer holds
    RenderContext context;   // the camera and identity world the rays draw with
    BufferRange* range = nullptr;  // this frame's vertices, handed back at the next draw
};
