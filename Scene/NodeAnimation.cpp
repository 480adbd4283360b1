#include "Scene/NodeAnimation.h"

u32 NodeAnimationTypeId() { return TypeIdOf<NodeAnimation>(); }

bool NodeAnimation::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, NodeAnimationTypeId(), typeId, out) || AbstractObject::QueryType(typeId, out);
}

bool NodeAnimation::GetMatrix(f32 time, Matrix& out) {
    AbstractObject* const tracks[3] = {&scale_, &rotation_, &position_};
    bool any = false;
    Matrix m;
    for (AbstractObject* track : tracks) {
        if (!track->GetMatrix(time, m)) continue;
        if (any) {
            out.Multiply(out, m);
        } else {
            out = m;
            any = true;
        }
    }
    return any;
}

bool NodeAnimation::GetRange(TimeRange& out) {
    AbstractObject* const tracks[3] = {&scale_, &rotation_, &position_};
    bool any = false;
    TimeRange range;
    for (AbstractObject* track : tracks) {
        if (!track->GetRange(range)) continue;
        out = any ? TimeRange::Union(out, range) : range;
        any = true;
    }
    return any;
}
