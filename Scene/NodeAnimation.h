// The keyframe animation of one scene node: a scale, a rotation and a position track,
// evaluated together into scale x rotation x translation (row-vector order: the scale is
// applied first). A track without keys adds nothing, so an animation with rotation keys
// only is a pure rotation. Shared through counted handles by the node's animation table
// and every animation state bound to it.
#pragma once

#include "Scene/AbstractObject.h"
#include "Scene/RotationTrack.h"
#include "Scene/VectorTrack.h"

class NodeAnimation : public AbstractObject {
public:
    bool QueryType(u32 typeId, void** out) override;
    // The product of the matrices of the tracks that have keys; false, out untouched,
    // when none has.
    bool GetMatrix(f32 time, Matrix& out) override;
    // The union of the ranges of the tracks that have keys; false when none has.
    bool GetRange(TimeRange& out) override;

    NodeVectorTrack& Scale() { return scale_; }
    RotationTrackObject& Rotation() { return rotation_; }
    VectorTrackObject& Position() { return position_; }

private:
    // Also the order of evaluation.
    NodeVectorTrack scale_;
    RotationTrackObject rotation_;
    VectorTrackObject position_;
};

u32 NodeAnimationTypeId();
