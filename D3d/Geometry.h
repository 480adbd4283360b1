// Drawable geometry: a primitive type, a vertex layout, one shared buffer per vertex stream
// and an optional index buffer. A GeometryDesc says what the buffers must be; Geometry
// creates them and draws whatever their ranges hold: one call over the used span of the
// index buffer (or of stream 0 without one), or one call per run of adjacent used ranges.
// Geometries are shared through counted references (GeometryRef): the last release
// destroys the geometry with its buffers.
#pragma once

#include <d3d9.h>

#include "Core/Object.h"
#include "Core/Types.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/VertexDeclaration.h"

class FrameSequence;

struct GeometryDesc {
    static constexpr u32 kStreams = VertexDeclaration::kMaxStreams;
    // Below this many indices, and with at most kMax16BitVertices vertices, 16-bit indices.
    static constexpr u32 k32BitIndexCount = 32768;
    static constexpr u32 kMax16BitVertices = 65536;

    u32 primitiveType = D3DPT_TRIANGLELIST;
    VertexDeclaration layout;
    GeometryStream streams[kStreams];
    GeometryStream index;

    GeometryDesc() { index.kind = GeometryStream::kIndexKind; }

    // The description of a mesh: the layout (the mesh's own when null) and, per stream of
    // it, a vertex buffer of stride x vertex count bytes with the stream's elements
    // renumbered to 0; dynamic adds D3DUSAGE_DYNAMIC, systemMemory D3DPOOL_SYSTEMMEM. The
    // index buffer holds the mesh's indices in 16 bits when there are fewer than 32768 of
    // them and no vertex lies beyond what 16 bits can address, else in 32 bits.
    void Setup(const FrameSequence& mesh, const VertexDeclaration* meshLayout, bool dynamic, bool systemMemory);
    void Assign(const GeometryDesc& other) { *this = other; }
};

u32 GeometryTypeId();

class Geometry : public Object {
public:
    static constexpr u32 kStreams = VertexDeclaration::kMaxStreams;
    static constexpr u32 kDrawRuns = 0x1;  // drawFlags: one call per run of used ranges

    Geometry();
    ~Geometry() override;

    // Releases the buffers, takes the primitive type and layout, and creates a buffer for
    // each stream of the layout and for the index description when its length is not 0.
    // False at the first failure, with no buffers left.
    bool Create(const GeometryDesc& desc);
    // One stream of vertexCount vertices of a fixed-function vertex format in a buffer of
    // its own, handed out as one range without a client: its user writes it before every
    // draw (a particle batch: dynamic, write-only). False for a format D3DX cannot express,
    // no vertices, or more than 4 GB.
    bool Create(u32 vertexCount, u32 usage, u32 fvf);
    // Puts layout into desc and, per stream of it, the stream's own layout, stride and the
    // length of the mesh's vertices.
    static void SetLayout(GeometryDesc& desc, const FrameSequence& mesh, const VertexDeclaration& layout);
    // Binds the streams and draws; false on the first missing piece or refused call.
    bool Draw();
    // Deletes the buffers and empties the slots.
    void ReleaseRanges();
    // Primitives of count vertices or indices for a primitive type.
    static u32 PrimitiveCount(u32 primitiveType, u32 count);

    bool QueryType(u32 typeId, void** out) override;

    SharedBuffer* GetVertexBuffer(u32 stream = 0) const { return stream < kStreams ? streams[stream] : nullptr; }
    SharedBuffer* GetIndexBuffer() const { return indexBuffer; }
    bool HasBuffers() const { return streams[0] != nullptr; }

    u32 primitiveType = D3DPT_TRIANGLELIST;
    VertexDeclaration layout;
    SharedBuffer* streams[kStreams];
    SharedBuffer* indexBuffer = nullptr;
    u32 drawFlags = 0;
};

using GeometryRef = RefHandle<Geometry>;
