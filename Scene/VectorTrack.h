// A key track of three-float values (positions and scales). Between two keys the value
// runs along a cubic Hermite curve whose tangents come from the neighbouring keys and
// their tension, continuity and bias (uniform in the key index: key times do not enter
// the tangents), or along the straight line when the track is linear.
//
// VectorTrackObject and NodeVectorTrack turn the value into a translation or a scaling
// matrix, so that tracks and whole animations answer through one interface.
#pragma once

#include "Core/Vector.h"
#include "Scene/InterpolatedTrack.h"

// The cached curve between two keys: times, end values and the tangents at both ends.
struct VectorSegment {
    f32 t0 = 0.0f;
    f32 t1 = 0.0f;
    Vec3 p0;
    Vec3 p1;
    Vec3 m0;  // outgoing tangent at the start
    Vec3 m1;  // incoming tangent at the end
};

class VectorTrack : public InterpolatedTrack<VectorSegment> {
public:
    bool QueryType(u32 typeId, void** out) override;

    // The value at time t; false, out untouched, when the track has no keys.
    bool Evaluate(f32 t, Vec3& out);

protected:
    void BuildSegment(const SegmentKeys& keys, VectorSegment& out) const override;
};

// Answers a translation by the track's value.
class VectorTrackObject : public VectorTrack {
public:
    bool QueryType(u32 typeId, void** out) override;
    bool GetMatrix(f32 time, Matrix& out) override;
};

// Answers a scaling by the track's value (the scale track of a node animation).
class NodeVectorTrack : public VectorTrack {
public:
    bool QueryType(u32 typeId, void** out) override;
    bool GetMatrix(f32 time, Matrix& out) override;
};

u32 VectorTrackTypeId();
u32 VectorTrackObjectTypeId();
u32 NodeVectorTrackTypeId();
