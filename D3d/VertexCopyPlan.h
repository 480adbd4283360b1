// Copies vertices between two layouts. The elements that both layouts have with the same
// type, method, usage and usage index are matched, and elements that lie next to each
// other in both layouts are joined into one run, so that a vertex whose layout matches
// the target's is copied with one memcpy per stream instead of one per element. Elements
// of the target that the source lacks are never written: a skinned mesh relies on that to
// keep the elements it writes itself, the geometry cache to leave what it cannot fill.
//
// A plan holds at most 20 runs. A pair of layouts that would need more is refused as a
// whole: a vertex copied in part would look like a valid vertex with wrong elements.
#pragma once

#include "Core/Types.h"
#include "D3d/VertexStreams.h"

struct VertexCopyRun {
    u32 sourceStream;
    u32 sourceOffset;
    u32 targetStream;
    u32 targetOffset;
    u32 size;  // bytes
};

class VertexCopyPlan {
public:
    static constexpr u32 kMaxRuns = 20;

    // Matches source's layout against target's and copies source.vertexCount vertices
    // through the runs; the target's streams must have room for that many, and its vertex
    // count is not changed. False, with nothing written, when the layouts need more than
    // 20 runs; a run whose source or target stream has no data is left out.
    static bool Build(VertexStreams& target, const VertexStreams& source);

    // The runs from the source layout's elements, in the source's order, up to its end
    // marker. False, with the runs made so far kept, when a 21st run would be needed.
    bool Plan(const VertexDeclaration& target, const VertexDeclaration& source);
    // Copies count vertices through the runs.
    void Copy(VertexStreams& target, const VertexStreams& source, u32 count) const;

    u32 runCount = 0;
    VertexCopyRun runs[kMaxRuns];
};
