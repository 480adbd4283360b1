#include "D3d/VertexCopyPlan.h"

#include <string.h>

bool VertexCopyPlan::Build(VertexStreams& target, const VertexStreams& source) {
    VertexCopyPlan plan;
    if (!plan.Plan(target.layout, source.layout)) return false;
    plan.Copy(target, source, source.vertexCount);
    return true;
}

bool VertexCopyPlan::Plan(const VertexDeclaration& target, const VertexDeclaration& source) {
    runCount = 0;
    for (u32 i = 0; i < VertexDeclaration::kSlots; ++i) {
        const D3DVERTEXELEMENT9& e = source.elements[i];
        if (VertexDeclaration::IsEndMarker(e)) break;
        const int at = target.FindPacked(e);
        if (at < 0) continue;
        const D3DVERTEXELEMENT9& t = target.elements[at];
        const u32 size = VertexDeclaration::DeclTypeSize(e.Type);
        if (size == 0) continue;

        bool joined = false;
        for (u32 r = 0; r < runCount && !joined; ++r) {
            VertexCopyRun& run = runs[r];
            if (run.sourceStream == e.Stream && run.targetStream == t.Stream &&
                run.sourceOffset + run.size == e.Offset && run.targetOffset + run.size == t.Offset) {
                run.size += size;
                joined = true;
            }
        }
        if (joined) continue;
        if (runCount == kMaxRuns) return false;
        runs[runCount++] = VertexCopyRun{e.Stream, e.Offset, t.Stream, t.Offset, size};
    }
    return true;
}

namespace {

// count copies of N bytes between strided places: with N known, each copy is a few moves.
template <std::size_t N>
void CopyStrided(u8* to, std::size_t toStride, const u8* from, std::size_t fromStride, u32 count) {
    for (u32 v = 0; v < count; ++v, to += toStride, from += fromStride) memcpy(to, from, N);
}

void CopyRun(u8* to, std::size_t toStride, const u8* from, std::size_t fromStride, u32 size, u32 count) {
    // A run that is the whole vertex on both sides is one block.
    if (size == toStride && size == fromStride) {
        memcpy(to, from, static_cast<std::size_t>(size) * count);
        return;
    }
    switch (size) {
    case 4: return CopyStrided<4>(to, toStride, from, fromStride, count);
    case 8: return CopyStrided<8>(to, toStride, from, fromStride, count);
    case 12: return CopyStrided<12>(to, toStride, from, fromStride, count);
    case 16: return CopyStrided<16>(to, toStride, from, fromStride, count);
    case 20: return CopyStrided<20>(to, toStride, from, fromStride, count);
    case 24: return CopyStrided<24>(to, toStride, from, fromStride, count);
    case 28: return CopyStrided<28>(to, toStride, from, fromStride, count);
    case 32: return CopyStrided<32>(to, toStride, from, fromStride, count);
    case 40: return CopyStrided<40>(to, toStride, from, fromStride, count);
    case 44: return CopyStrided<44>(to, toStride, from, fromStride, count);
    case 48: return CopyStrided<48>(to, toStride, from, fromStride, count);
    case 56: return CopyStrided<56>(to, toStride, from, fromStride, count);
    case 64: return CopyStrided<64>(to, toStride, from, fromStride, count);
    default:
        for (u32 v = 0; v < count; ++v, to += toStride, from += fromStride) memcpy(to, from, size);
    }
}

}  // namespace

// Run by run rather than vertex by vertex: the runs write disjoint bytes of each target
// vertex, so the order does not show, and a run of known size copies in a tight loop.
void VertexCopyPlan::Copy(VertexStreams& target, const VertexStreams& source, u32 count) const {
    for (u32 r = 0; r < runCount; ++r) {
        const VertexCopyRun& run = runs[r];
        if (run.sourceStream >= VertexStreams::kStreams || run.targetStream >= VertexStreams::kStreams) continue;
        const u8* from = source.streams[run.sourceStream];
        u8* to = target.streams[run.targetStream];
        if (!from || !to) continue;
        CopyRun(to + run.targetOffset, target.layout.streamStrides[run.targetStream], from + run.sourceOffset,
                source.layout.streamStrides[run.sourceStream], run.size, count);
    }
}
