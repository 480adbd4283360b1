// The debug box's geometry and depth-only draw. The program-wide box is built before the
// entry point; its constructor and destructor touch no other program-wide object (its
// buffer leaves the application's device objects only while an application exists).
#include "Effect/DebugBox.h"

#include "Core/Matrix.h"
#include "D3d/StateCache.h"
#include "Effect/RenderContext.h"

namespace {

// Two triangles per face of a box, corners (0 1 2) and (2 3 0) of the face's quad.
constexpr u32 kFaces = 6;
constexpr u32 kFaceTriangles[2][3] = {{0, 1, 2}, {2, 3, 0}};

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// The world matrix that puts the unit box onto box: scale by its size, move to its centre.
Matrix BoxWorld(const Box& box) {
    Matrix world = IdentityMatrix;
    world.m[0] = box.w;
    world.m[5] = box.h;
    world.m[10] = box.d;
    world.m[12] = box.x;
    world.m[13] = box.y;
    world.m[14] = box.z;
    world.kind = OffDiagonalZero;
    world.valid = 1;
    return world;
}

}  // namespace

DebugBox g_debugBox;

DebugBox& TheDebugBox() { return g_debugBox; }

DebugBox::DebugBox() : mesh(new MeshObject) {
    // Lit by its vertex colour alone; the box may be seen from inside, so no face is culled.
    material.layers[0].lit = 0;
    material.layers[0].cullMode = D3DCULL_NONE;
}

DebugBox::~DebugBox() = default;

void DebugBox::FillVertices(Vertex* out) {
    const Box unit{0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};
    u32 n = 0;
    for (u32 f = 0; f < kFaces; ++f) {
        const Quad face = Box::Face(unit, f);
        // Outward: from the box's centre (the origin) to the face's.
        const Vec3 centre = (face.p[0] + face.p[2]) * 0.5f;
        for (const auto& triangle : kFaceTriangles) {
            Vec3 a = face.p[triangle[0]];
            Vec3 b = face.p[triangle[1]];
            Vec3 c = face.p[triangle[2]];
            // Direct3D's front faces run clockwise on screen; in its left-handed space that
            // is a normal (b - a) x (c - a) pointing at the viewer, out of the box.
            if (Vec3Dot(Cross(b - a, c - a), centre) < 0.0f) std::swap(b, c);
            for (const Vec3& p : {a, b, c}) out[n++] = Vertex{p.x, p.y, p.z, kColor};
        }
    }
}

bool DebugBox::Refill(BufferRange* target) {
    if (!target) return false;
    void* bytes = nullptr;
    if (!target->Lock(0, &bytes) || !bytes) return false;
    FillVertices(static_cast<Vertex*>(bytes));
    return target->Unlock();
}

bool DebugBox::EnsureGeometry() {
    const GeometryRef geometry = mesh->GetGeometry();
    if (geometry && geometry->HasBuffers() && range) return true;
    range = nullptr;
    GeometryDesc desc;
    desc.primitiveType = D3DPT_TRIANGLELIST;
    if (!desc.layout.SetFVF(kFVF)) return false;
    GeometryStream& stream = desc.streams[0];
    stream.kind = GeometryStream::kVertexKind;
    stream.layout.Assign(desc.layout);
    stream.stride = sizeof(Vertex);
    stream.length = kVertexCount * sizeof(Vertex);
    stream.usage = D3DUSAGE_WRITEONLY;
    stream.fieldFlags = GeometryStream::kLengthSet | GeometryStream::kUsageSet;
    if (!mesh->CreateGeometry(desc)) return false;
    SharedBuffer* buffer = mesh->GetGeometry()->GetVertexBuffer(0);
    if (!buffer) return false;
    range = buffer->AllocateRange(stream.length, 0, this);
    if (range && Refill(range)) return true;
    Reset();
    return false;
}

bool DebugBox::DrawDepthOnly(const Box& box, const RenderContext& view) {
    if (!EnsureGeometry()) return false;
    DWORD colorWrites = 0x0F;  // all four channels, the device's own default
    StateCache::GetRenderState(D3DRS_COLORWRITEENABLE, &colorWrites);
    bool ok = StateCache::SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    RenderContext placed = view;
    placed.overrideEffect = nullptr;
    placed.batchFlags = 0;
    placed.world = BoxWorld(box);
    placed.inverseWorld.valid = 0;
    material.context = &placed;
    ok = mesh->Draw(&material) && ok;
    material.context = nullptr;
    ok = StateCache::SetRenderState(D3DRS_COLORWRITEENABLE, colorWrites) && ok;
    return ok;
}

void DebugBox::Reset() {
    range = nullptr;
    mesh.reset(new MeshObject);
}
