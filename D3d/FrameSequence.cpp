#include "D3d/FrameSequence.h"

#include "Core/Memory.h"

FrameSequence::~FrameSequence() { MemFree(adjacency_); }

bool FrameSequence::IsActive(const SequenceSettings& settings) const {
    return variants.count != 0 && settings.sequenceSwitch != 0;
}

FrameSequence* FrameSequence::Current(f32 value, const SequenceSettings& settings) {
    if (variants.count == 0) return this;
    if (!settings.sequenceSwitch) value = settings.sequenceKey;
    Variants::Node* before = nullptr;
    Variants::Node* after = nullptr;
    AnimatedValue::FindSegment(variants, value, before, after);
    if (after) return after->value;
    return before ? before->value : this;
}

VertexDeclaration FrameSequence::GetFixedLayout() const {
    VertexDeclaration fixed;
    fixed.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    fixed.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    const VertexDeclaration& own = vertices.layout;
    if (own.FindUsage(D3DDECLUSAGE_COLOR, 0) >= 0)
        fixed.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0);
    if (own.FindUsage(D3DDECLUSAGE_TEXCOORD, 0) >= 0)
        fixed.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    if (own.FindUsage(D3DDECLUSAGE_TEXCOORD, 1) >= 0)
        fixed.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1);
    return fixed;
}

bool FrameSequence::ComputeBounds() {
    valid = 0;
    const VertexDeclaration& layout = vertices.layout;
    const int at = layout.FindUsage(D3DDECLUSAGE_POSITION, 0);
    if (vertices.vertexCount == 0 || at < 0) return false;
    const D3DVERTEXELEMENT9& e = layout.elements[at];
    // Only float positions are points; a packed type would read as garbage.
    if (e.Type != D3DDECLTYPE_FLOAT3 && e.Type != D3DDECLTYPE_FLOAT4) return false;
    const u8* data = e.Stream < VertexStreams::kStreams ? vertices.streams[e.Stream] : nullptr;
    if (!data) return false;
    Box found;
    if (!ComputeBoundsFromVertices(found, data + e.Offset, vertices.Stride(e.Stream), vertices.vertexCount))
        return false;
    box = found;
    valid = 1;
    return true;
}

void FrameSequence::AdoptAdjacency(void* block, u32 bytes) {
    MemFree(adjacency_);
    adjacency_ = static_cast<u32*>(block);
    adjacencyBytes_ = block ? bytes : 0;
}
