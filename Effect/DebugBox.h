// The debug box: one program-wide mesh of a unit box (edge 1, centred on the origin, every
// vertex white) with a material of its own. The render queue draws it, scaled and moved
// onto a node's box, inside the node's occlusion query when the node has nothing of its own
// to draw, so that the next frame learns whether the node came into view; colour writes are
// off for that draw, so only depth is touched.
//
// The geometry is made on first use, when there is a device, and the box writes its
// vertices itself whenever its buffer asks (after a lost device), as the owner of its range.
#pragma once

#include <memory>

#include "Core/Bounded.h"
#include "Core/Types.h"
#include "D3d/GeometryBuffer.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"

struct RenderContext;

class DebugBox : public RangeClient {
public:
    static constexpr u32 kVertexCount = 36;  // twelve triangles
    static constexpr u32 kFVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    static constexpr u32 kColor = 0xFFFFFFFFu;

    // One vertex of the FVF above.
    struct Vertex {
        f32 x;
        f32 y;
        f32 z;
        u32 color;
    };

    DebugBox();
    ~DebugBox();
    DebugBox(const DebugBox&) = delete;
    DebugBox& operator=(const DebugBox&) = delete;

    // Makes the geometry unless it has it; false when it cannot (no device).
    bool EnsureGeometry();
    // Draws the box onto `box` with the view's matrices and COLORWRITEENABLE 0, and puts
    // COLORWRITEENABLE back as it was. False when the geometry cannot be made or the draw
    // failed.
    bool DrawDepthOnly(const Box& box, const RenderContext& view);
    // Lets go of the geometry (and the device's buffer); the next use makes it again. For
    // tests, and before the device that made it goes.
    void Reset();

    // The twelve triangles, each wound clockwise seen from outside the box.
    static void FillVertices(Vertex* out);
    bool Refill(BufferRange* range) override;

    MeshObject& Mesh() { return *mesh; }
    Material& GetMaterial() { return material; }

private:
    std::unique_ptr<MeshObject> mesh;
    Material material;
    BufferRange* range = nullptr;
};

DebugBox& TheDebugBox();
