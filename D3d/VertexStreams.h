// Vertex data in up to eight streams: one data pointer per stream, the vertex count that
// every stream holds, and the layout that says where each element lies and how far apart
// the vertices are (its per-stream strides). The same record describes a mesh's own
// vertices and a locked vertex buffer that is being written, so it does not always own
// its memory: blocks it made itself (Reserve) or was handed (Adopt) are freed with it;
// blocks it only views (View) never are.
#pragma once

#include "Core/Types.h"
#include "D3d/VertexDeclaration.h"

class VertexStreams {
public:
    static constexpr u32 kStreams = VertexDeclaration::kMaxStreams;

    u8* streams[kStreams];
    u32 vertexCount = 0;
    VertexDeclaration layout;

    // Eight null streams, no vertices, the empty layout.
    VertexStreams();
    ~VertexStreams() { ReleaseAll(); }
    // Copies would free one block twice; a second record over the same data is a View.
    VertexStreams(const VertexStreams&) = delete;
    VertexStreams& operator=(const VertexStreams&) = delete;

    // Room for count vertices of layout: when the count or the layout differs from what
    // the record holds, every block is released and one block of stride x count bytes is
    // made for each stream of the layout (zeroed); otherwise nothing changes. False, with
    // the record left empty, when memory runs out or a block would exceed 4 GB.
    bool Reserve(u32 count, const VertexDeclaration& newLayout);
    // Frees the blocks the record owns, forgets the others, sets the count to 0. The layout
    // stays.
    void ReleaseAll();
    // Describes someone else's data for one stream (not freed here). False for a stream
    // of 8 or more.
    bool View(u32 stream, void* data);
    // Takes over a MemAlloc block for one stream; it is freed with the record. False for a
    // stream of 8 or more (the block is then freed at once, so that it has an owner).
    bool Adopt(u32 stream, void* block);
    bool Owns(u32 stream) const { return stream < kStreams && (owned_ >> stream & 1) != 0; }

    u32 Stride(u32 stream) const { return stream < kStreams ? layout.streamStrides[stream] : 0; }
    // The bytes that count vertices take in one stream, in 64 bits.
    u64 StreamBytes(u32 stream) const { return u64(Stride(stream)) * vertexCount; }

private:
    void Drop(u32 stream);

    u8 owned_ = 0;  // bit s: streams[s] is freed by this record
};
