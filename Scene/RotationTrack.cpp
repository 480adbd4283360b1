#include "Scene/RotationTrack.h"

#include "Core/D3dxLibrary.h"

namespace {

enum class Side { Outgoing, Incoming };

D3DXQUATERNION ValueOf(const KeyData& key) { return D3DXQUATERNION(key.x, key.y, key.z, key.w); }

D3DXQUATERNION Slerp(const D3DXQUATERNION& a, const D3DXQUATERNION& b, f32 s) {
    D3DXQUATERNION out;
    D3dx().QuaternionSlerp(&out, &a, &b, s);
    return out;
}

constexpr f32 kMinusThird = -1.0f / 3.0f;
constexpr f32 kThird = 1.0f / 3.0f;

// The control rotation next to cur: X and Y lie a third of the way back towards prev and
// on towards next (bias shifts the share of each), Z between them (continuity lets the two
// sides differ), and tension pulls the result back to cur. The incoming side lies on the
// opposite side of cur.
D3DXQUATERNION Control(const D3DXQUATERNION& prev, const D3DXQUATERNION& cur, const D3DXQUATERNION& next,
                       const KeyData& key, Side side) {
    const D3DXQUATERNION x = Slerp(cur, prev, (1.0f + key.bias) * kMinusThird);
    const D3DXQUATERNION y = Slerp(cur, next, (1.0f - key.bias) * kThird);
    if (side == Side::Outgoing) {
        const D3DXQUATERNION z = Slerp(x, y, (1.0f + key.continuity) * 0.5f);
        return Slerp(cur, z, 1.0f - key.tension);
    }
    const D3DXQUATERNION z = Slerp(x, y, (1.0f - key.continuity) * 0.5f);
    return Slerp(cur, z, key.tension - 1.0f);
}

}  // namespace

u32 RotationTrackTypeId() { return TypeIdOf<RotationTrack>(); }
u32 RotationTrackObjectTypeId() { return TypeIdOf<RotationTrackObject>(); }

bool RotationTrack::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, RotationTrackTypeId(), typeId, out) || AbstractObject::QueryType(typeId, out);
}

bool RotationTrackObject::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, RotationTrackObjectTypeId(), typeId, out) || RotationTrack::QueryType(typeId, out);
}

void RotationTrack::BuildSegment(const SegmentKeys& keys, RotationSegment& out) const {
    const D3DXQUATERNION p = ValueOf(keys.prev);
    const D3DXQUATERNION l = ValueOf(keys.low);
    const D3DXQUATERNION u = ValueOf(keys.high);
    const D3DXQUATERNION n = ValueOf(keys.next);
    out.q0 = l;
    out.q1 = u;
    switch (keys.rule) {
        case SegmentRule::Full:
            out.a = Control(p, l, u, keys.low, Side::Outgoing);
            out.b = Control(l, u, n, keys.high, Side::Incoming);
            break;
        case SegmentRule::End: {
            const KeyData& k = keys.high;
            out.a = Control(p, l, u, keys.low, Side::Outgoing);
            out.b = Slerp(u, l, (1.0f - k.continuity * k.bias) * (1.0f - k.tension) / 3.0f);
            break;
        }
        case SegmentRule::Start: {
            const KeyData& k = keys.low;
            out.b = Control(l, u, n, keys.high, Side::Incoming);
            out.a = Slerp(l, u, (1.0f + k.continuity * k.bias) * (1.0f - k.tension) / 3.0f);
            break;
        }
        case SegmentRule::TwoKey:
            out.a = l;
            out.b = u;
            break;
    }
}

bool RotationTrack::Evaluate(f32 t, D3DXQUATERNION& out) {
    const bool linear = IsLinear();
    return EvaluateWith(t, out, ValueOf, [linear](const RotationSegment& segment, f32 s) {
        if (s < 0.0f) return segment.q0;
        if (linear) return Slerp(segment.q0, segment.q1, s);
        // The Bezier curve by repeated interpolation of its control polygon.
        const D3DXQUATERNION r1 = Slerp(segment.q0, segment.a, s);
        const D3DXQUATERNION r2 = Slerp(segment.a, segment.b, s);
        const D3DXQUATERNION r3 = Slerp(segment.b, segment.q1, s);
        return Slerp(Slerp(r1, r2, s), Slerp(r2, r3, s), s);
    });
}

bool RotationTrackObject::GetMatrix(f32 time, Matrix& out) {
    D3DXQUATERNION q;
    if (!Evaluate(time, q)) return false;
    D3dx().MatrixRotationQuaternion(reinterpret_cast<D3DXMATRIX*>(out.m), &q);
    // A rotation says nothing the kind bits can use.
    out.kind = 0;
    out.valid = 0;
    return true;
}
