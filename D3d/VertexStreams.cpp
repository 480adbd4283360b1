#include "D3d/VertexStreams.h"

#include <string.h>

#include "Core/Memory.h"

VertexStreams::VertexStreams() {
    for (u8*& s : streams) s = nullptr;
}

bool VertexStreams::Reserve(u32 count, const VertexDeclaration& newLayout) {
    if (count == vertexCount && newLayout.Equals(layout)) return true;
    ReleaseAll();
    layout.Assign(newLayout);
    for (u32 s = 0; s < layout.streamCount && s < kStreams; ++s) {
        const u64 bytes = u64(layout.streamStrides[s]) * count;
        // A block must stay addressable by the 32-bit offsets of the buffers it fills.
        void* block = bytes <= 0xFFFFFFFFu ? MemAlloc(static_cast<std::size_t>(bytes)) : nullptr;
        if (!block) {
            ReleaseAll();
            return false;
        }
        memset(block, 0, static_cast<std::size_t>(bytes));
        streams[s] = static_cast<u8*>(block);
        owned_ |= u8(1u << s);
    }
    vertexCount = count;
    return true;
}

void VertexStreams::ReleaseAll() {
    for (u32 s = 0; s < kStreams; ++s) Drop(s);
    vertexCount = 0;
}

bool VertexStreams::View(u32 stream, void* data) {
    if (stream >= kStreams) return false;
    Drop(stream);
    streams[stream] = static_cast<u8*>(data);
    return true;
}

bool VertexStreams::Adopt(u32 stream, void* block) {
    if (stream >= kStreams) {
        MemFree(block);
        return false;
    }
    Drop(stream);
    streams[stream] = static_cast<u8*>(block);
    if (block) owned_ |= u8(1u << stream);
    return true;
}

void VertexStreams::Drop(u32 stream) {
    if (Owns(stream)) MemFree(streams[stream]);
    owned_ &= u8(~(1u << stream));
    streams[stream] = nullptr;
}
