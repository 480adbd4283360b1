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

void VertexCopyPlan::Copy(VertexStreams& target, const VertexStreams& source, u32 count) const {
    // The streams and strides of each run, looked up once.
    struct Resolved {
        const u8* from;
        u8* to;
        std::size_t fromStride;
        std::size_t toStride;
        u32 size;
    } resolved[kMaxRuns];
    u32 used = 0;
    for (u32 r = 0; r < runCount; ++r) {
        const VertexCopyRun& run = runs[r];
        if (run.sourceStream >= VertexStreams::kStreams || run.targetStream >= VertexStreams::kStreams) continue;
        const u8* from = source.streams[run.sourceStream];
        u8* to = target.streams[run.targetStream];
        if (!from || !to) continue;
        resolved[used++] = Resolved{from + run.sourceOffset, to + run.targetOffset,
                                    source.layout.streamStrides[run.sourceStream],
                                    target.layout.streamStrides[run.targetStream], run.size};
    }
    for (u32 v = 0; v < count; ++v) {
        for (u32 r = 0; r < used; ++r) {
            const Resolved& run = resolved[r];
            memcpy(run.to + v * run.toStride, run.from + v * run.fromStride, run.size);
        }
    }
}
