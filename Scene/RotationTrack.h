// A key track of unit quaternions (rotations). Between two keys the rotation runs along a
// spherical Bezier curve whose two inner control quaternions come from the neighbouring
// keys and their tension, continuity and bias, or along the plain great arc when the
// track is linear. All interpolation goes through D3DXQuaternionSlerp, so the curve takes
// the platform's rules for the shorter arc and for nearly equal rotations.
//
// RotationTrackObject turns the value into a rotation matrix.
#pragma once

#include <d3dx9math.h>

#include "Scene/InterpolatedTrack.h"

// The cached curve between two keys: times, end rotations and the control rotations next
// to each end.
struct RotationSegment {
    f32 t0 = 0.0f;
    f32 t1 = 0.0f;
    D3DXQUATERNION q0{0.0f, 0.0f, 0.0f, 1.0f};
    D3DXQUATERNION q1{0.0f, 0.0f, 0.0f, 1.0f};
    D3DXQUATERNION a{0.0f, 0.0f, 0.0f, 1.0f};  // next to q0
    D3DXQUATERNION b{0.0f, 0.0f, 0.0f, 1.0f};  // next to q1
};

class RotationTrack : public InterpolatedTrack<RotationSegment> {
public:
    bool QueryType(u32 typeId, void** out) override;

    // The rotation at time t; false, out untouched, when the track has no keys.
    bool Evaluate(f32 t, D3DXQUATERNION& out);

protected:
    void BuildSegment(const SegmentKeys& keys, RotationSegment& out) const override;
};

// Answers the rotation matrix of the track's value.
class RotationTrackObject : public RotationTrack {
public:
    bool QueryType(u32 typeId, void** out) override;
    bool GetMatrix(f32 time, Matrix& out) override;
};

u32 RotationTrackTypeId();
u32 RotationTrackObjectTypeId();
