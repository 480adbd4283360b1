// The glow rays draw a few dozen camera-facing triangles per glow every frame. The random
// shape of each ray is drawn once by Build (its length, width, colour and how its angle and
// length wobble); a draw only evaluates two sines per ray and writes six vertices into a
// dynamic buffer locked with discard, so the device never waits for last frame's rays.
//
// The rays draw with their own render context (the camera they are given and the identity
// world: the vertices are in world space already) and their own material, which makes them
// an additive, depth-tested but not depth-writing overlay.
#include "Dunmerrow/GlowRayMesh.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Core/Log.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "Effect/SceneCamera.h"

namespace {

constexpr f32 kTwoPi = 6.28318530718f;
// The colour of a ray is full up to this share of the squared relative length, then falls
// off with its inverse: q = 10 x 0.05.
constexpr f32 kColourKnee = 10.0f * 0.05f;
// The length amplitude of a random ray: 1.1 - (L - 50) / (size - 50). At a size of 50 the
// formula divides by zero; within this distance of it the amplitude is its value at L = 50.
constexpr f32 kLengthPivot = 50.0f;
constexpr f32 kLengthAmountBase = 1.1f;
constexpr f32 kPivotTolerance = 1e-3f;
// The evenly spaced rays wobble a little in angle and not at all in length.
constexpr f32 kEvenAngleAmount = 0.005f;

// The ray material's depth settings, written as four values by whoever builds a ray
// object: depth comparison less-or-equal, depth test 1, depth write 0, and a depth
// bias of -0.00006. Rays are hidden by what stands in front of them but never hide anything
// themselves (additive light has no surface), and the small negative bias keeps them from
// flickering against the geometry they start on.
constexpr u32 kRayDepthFunc = D3DCMP_LESSEQUAL;
constexpr u8 kRayDepthTest = 1;
constexpr u8 kRayDepthWrite = 0;
constexpr f32 kRayDepthBias = -0.00006f;

u32 FloatWord(f32 value) {
    u32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace

GlowRayMesh::GlowRayMesh() {
    MaterialLayer& layer = material.layers[0];
    layer.stages[0].colorOp = kTextureOpAutomatic;
    layer.stages[0].SetCombine(kCombineDiffuse);
}

GlowRayMesh::~GlowRayMesh() {
    material.context = nullptr;
    delete[] rays;
}

bool GlowRayMesh::Reserve(u32 count) {
    if (count > kMaxRays) return false;
    if (count <= rayCapacity) return true;
    const u32 capacity = count + kRaySlack;
    GlowRay* grown = new (std::nothrow) GlowRay[capacity];
    if (!grown) return false;
    std::memset(static_cast<void*>(grown), 0, sizeof(GlowRay) * capacity);
    if (rays && rayCount) std::memcpy(static_cast<void*>(grown), rays, sizeof(GlowRay) * rayCount);
    delete[] rays;
    rays = grown;
    rayCapacity = capacity;
    return true;
}

bool GlowRayMesh::ResizeRays(u32 count) {
    if (!Reserve(count)) return false;
    // Records beyond the old count start empty rather than showing what a longer array
    // held before.
    if (count > rayCount) std::memset(static_cast<void*>(rays + rayCount), 0, sizeof(GlowRay) * (count - rayCount));
    rayCount = count;
    return true;
}

void GlowRayMesh::Build(const Vec3& position, f32 size, f32 thickness, FColor colour, i32 n) {
    centre = position;
    centreW = -1.0f;
    rayCount = 0;

    MaterialLayer& layer = material.layers[0];
    layer.SetBlendMode(kBlendAdditive);
    layer.depthFunc = kRayDepthFunc;
    layer.depthTest = kRayDepthTest;
    layer.depthWrite = kRayDepthWrite;
    layer.depthBias = FloatWord(kRayDepthBias);
    layer.vertexColor = 1;
    layer.vertexAlpha = 1;
    layer.lit = 0;
    timer.Restart();

    // No rays, or a size that every width and fade would divide by (or a NaN): nothing to
    // build.
    if (n <= 0 || !(size > 0.0f)) return;
    if (static_cast<u32>(n) > kMaxRays) n = static_cast<i32>(kMaxRays);
    if (!ResizeRays(static_cast<u32>(n))) {
        rayCount = 0;
        return;
    }

    RangeValue angleRange, phaseRange, lengthRange, speedRange, amountRange;
    angleRange.Set(0.0f, 10.0f, kTwoPi, 10.0f);
    phaseRange.Set(0.0f, 10.0f, 1.0f, 10.0f);
    lengthRange.Set(0.0f, 10.0f, size, 3.0f);
    speedRange.Set(0.0005f, 10.0f, 0.002f, 3.0f);
    amountRange.Set(0.2f, 10.0f, 0.04f, 10.0f);

    const i32 even = n / 4;
    for (i32 i = 0; i < n; ++i) {
        GlowRay& ray = rays[i];
        const f32 length = static_cast<f32>(lengthRange.Sample());
        ray.length = length;
        ray.width = RayWidth(length, size, thickness);
        if (i < even) {
            ray.angle = static_cast<f32>(i) / (static_cast<f32>(n) * 0.25f) * kTwoPi;
            ray.angleAmount = kEvenAngleAmount;
            ray.lengthAmount = 0.0f;
        } else {
            ray.angle = static_cast<f32>(angleRange.Sample());
            ray.angleAmount = static_cast<f32>(amountRange.Sample());
            ray.lengthAmount = LengthAmount(length, size);
        }
        const f32 scale = ColourScale(length, size);
        ray.a = colour.a * scale;
        ray.r = colour.r * scale;
        ray.g = colour.g * scale;
        ray.b = colour.b * scale;
        ray.lengthPhase = static_cast<f32>(phaseRange.Sample());
        ray.lengthSpeed = static_cast<f32>(speedRange.Sample());
        ray.anglePhase = static_cast<f32>(phaseRange.Sample());
        ray.angleSpeed = static_cast<f32>(speedRange.Sample());
    }
}

f32 GlowRayMesh::RayWidth(f32 length, f32 size, f32 thickness) {
    // A ray is widest when shortest.
    return (1.0f - length / size) * thickness;
}

f32 GlowRayMesh::ColourScale(f32 length, f32 size) {
    // Short rays shine at the full colour; longer ones fade with the square of their
    // length (a ray of length 0 would divide by zero: it is short).
    const f32 relative = length / size;
    const f32 squared = relative * relative;
    return squared <= kColourKnee ? 1.0f : kColourKnee / squared;
}

f32 GlowRayMesh::LengthAmount(f32 length, f32 size) {
    if (std::fabs(size - kLengthPivot) < kPivotTolerance) return kLengthAmountBase;
    return kLengthAmountBase - (length - kLengthPivot) / (size - kLengthPivot);
}

void GlowRayMesh::RayVertices(u32 i, const Vec3& right, const Vec3& up, f64 t, Vertex out[6]) const {
    const GlowRay& ray = rays[i];
    const f32 angleWave = static_cast<f32>(std::sin(kTwoPi * ray.anglePhase + t * ray.angleSpeed));
    const f32 lengthWave = static_cast<f32>(std::sin(kTwoPi * ray.lengthPhase + t * ray.lengthSpeed));
    const f32 angle = angleWave * ray.angleAmount + ray.angle;
    const f32 length = (lengthWave * ray.lengthAmount + 1.0f) * ray.length;
    const f32 s = std::sin(angle);
    const f32 c = std::cos(angle);
    Vec3 direction, side;
    Vec3Normalize(direction, right * s + up * c);
    Vec3Normalize(side, right * c - up * s);
    const Vec3 tip = centre + direction * length;
    const Vec3 offset = side * ray.width;
    FColor colour;
    colour.Set(ray.a, ray.r, ray.g, ray.b);
    const u32 packed = colour.ToPacked();
    const Vec3 corners[kVerticesPerRay] = {centre + offset, centre, tip, centre, centre - offset, tip};
    const u32 colours[kVerticesPerRay] = {0u, packed, 0u, packed, 0u, 0u};
    for (u32 k = 0; k < kVerticesPerRay; ++k) {
        out[k].x = corners[k].x;
        out[k].y = corners[k].y;
        out[k].z = corners[k].z;
        out[k].colour = colours[k];
    }
}

bool GlowRayMesh::EnsureGeometry() {
    const u64 needed = u64(rayCount) * kVerticesPerRay;
    if (geometry && geometry->HasBuffers() && needed <= geometryRoom) return true;
    // More rays than the buffer was made for (a rebuilt glow): a new buffer with room for
    // all of them rather than writing past the old one.
    range = nullptr;
    geometryRoom = 0;
    geometry = GeometryRef();
    if (needed == 0 || needed * sizeof(Vertex) > 0xFFFFFFFFull) return false;
    if (!CreateDynamicGeometry(static_cast<u32>(needed), kRayUsage, kRayFVF, D3DPT_TRIANGLELIST)) return false;
    geometryRoom = static_cast<u32>(needed);
    return true;
}

bool GlowRayMesh::DrawRays(SceneCamera& camera) {
    if (rayCount == 0) return true;
    if (!EnsureGeometry()) {
        // Nothing is drawn this frame and the next draw asks again; five glows failing
        // every frame log once, not five times a frame.
        if (!geometryFailed)
            LogWarnings().Write(LOG_SITE("bool __thiscall GlowRayMesh::DrawRays(SceneCamera &)"))
                .Print("Glow rays: no vertex buffer; the rays are not drawn");
        geometryFailed = true;
        return false;
    }
    geometryFailed = false;

    SharedBuffer* buffer = geometry->GetVertexBuffer(0);
    if (!buffer) return false;
    if (range) buffer->FreeRange(range);
    const u32 vertices = rayCount * kVerticesPerRay;
    range = buffer->AllocateRange(vertices * static_cast<u32>(sizeof(Vertex)), 0, nullptr);
    void* bytes = nullptr;
    if (!range || !range->Lock(D3DLOCK_DISCARD, &bytes) || !bytes) return false;

    context.SetCamera(camera);
    context.world = IdentityMatrix;
    context.inverseWorld.valid = 0;
    const f32* view = context.view.m;
    Vec3 right, up;
    Vec3Normalize(right, Vec3(view[0], view[4], view[8]));
    Vec3Normalize(up, Vec3(view[1], view[5], view[9]));
    const f64 t = static_cast<f64>(timer.Elapsed());

    Vertex* out = static_cast<Vertex*>(bytes);
    for (u32 i = 0; i < rayCount; ++i) RayVertices(i, right, up, t, out + i * kVerticesPerRay);
    bool ok = range->Unlock();

    material.context = &context;
    ok = MeshObject::Draw(&material) && ok;
    return ok;
}
