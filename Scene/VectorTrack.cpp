#include "Scene/VectorTrack.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9math.h>

namespace {

enum class Side { Outgoing, Incoming };

Vec3 ValueOf(const KeyData& key) { return Vec3(key.x, key.y, key.z); }

// The tangent at cur from its neighbours: bias leans it towards the incoming (positive)
// or the outgoing chord, continuity lets the two sides of the key differ, and tension
// shortens it.
Vec3 Tangent(const Vec3& prev, const Vec3& cur, const Vec3& next, const KeyData& key, Side side) {
    const Vec3 d0 = (cur - prev) * (1.0f + key.bias);
    const Vec3 d1 = (next - cur) * (1.0f - key.bias);
    const Vec3 h = (d1 - d0) * 0.5f;
    const f32 c = side == Side::Outgoing ? 1.0f + key.continuity : 1.0f - key.continuity;
    return (d0 + h * c) * (1.0f - key.tension);
}

}  // namespace

u32 VectorTrackTypeId() { return TypeIdOf<VectorTrack>(); }
u32 VectorTrackObjectTypeId() { return TypeIdOf<VectorTrackObject>(); }
u32 NodeVectorTrackTypeId() { return TypeIdOf<NodeVectorTrack>(); }

bool VectorTrack::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, VectorTrackTypeId(), typeId, out) || AbstractObject::QueryType(typeId, out);
}

bool VectorTrackObject::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, VectorTrackObjectTypeId(), typeId, out) || VectorTrack::QueryType(typeId, out);
}

bool NodeVectorTrack::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, NodeVectorTrackTypeId(), typeId, out) || VectorTrack::QueryType(typeId, out);
}

void VectorTrack::BuildSegment(const SegmentKeys& keys, VectorSegment& out) const {
    const Vec3 p = ValueOf(keys.prev);
    const Vec3 l = ValueOf(keys.low);
    const Vec3 u = ValueOf(keys.high);
    const Vec3 n = ValueOf(keys.next);
    out.p0 = l;
    out.p1 = u;
    switch (keys.rule) {
        case SegmentRule::Full:
            out.m0 = Tangent(p, l, u, keys.low, Side::Outgoing);
            out.m1 = Tangent(l, u, n, keys.high, Side::Incoming);
            break;
        case SegmentRule::End:
            // The last key has no chord beyond it: its tangent is built from the segment's
            // chord and the start tangent, with half of the latter added.
            out.m0 = Tangent(p, l, u, keys.low, Side::Outgoing);
            out.m1 = ((u - l) * 1.5f + out.m0 * 0.5f) * (1.0f - keys.high.tension);
            break;
        case SegmentRule::Start:
            out.m1 = Tangent(l, u, n, keys.high, Side::Incoming);
            out.m0 = ((u - l) * 1.5f - out.m1 * 0.5f) * (1.0f - keys.low.tension);
            break;
        case SegmentRule::TwoKey:
            // Both tangents along the chord: the straight line at even speed.
            out.m0 = u - l;
            out.m1 = u - l;
            break;
    }
}

bool VectorTrack::Evaluate(f32 t, Vec3& out) {
    const bool linear = IsLinear();
    return EvaluateWith(t, out, ValueOf, [linear](const VectorSegment& segment, f32 s) {
        if (s < 0.0f) return segment.p0;
        if (linear) return segment.p0 + (segment.p1 - segment.p0) * s;
        const f32 s2 = s * s;
        const f32 s3 = s2 * s;
        return segment.p0 * (2.0f * s3 - 3.0f * s2 + 1.0f) + segment.p1 * (3.0f * s2 - 2.0f * s3) +
               segment.m0 * (s3 - 2.0f * s2 + s) + segment.m1 * (s3 - s2);
    });
}

namespace {

using VectorMatrixFn = D3DXMATRIX*(WINAPI*)(D3DXMATRIX*, float, float, float);

bool MatrixOfValue(VectorTrack& track, f32 time, Matrix& out, VectorMatrixFn build, u32 kind) {
    Vec3 v;
    if (!track.Evaluate(time, v)) return false;
    build(reinterpret_cast<D3DXMATRIX*>(out.m), v.x, v.y, v.z);
    out.kind = kind;
    out.valid = 1;
    return true;
}

}  // namespace

bool VectorTrackObject::GetMatrix(f32 time, Matrix& out) {
    return MatrixOfValue(*this, time, out, D3dx().MatrixTranslation, PureTranslation);
}

bool NodeVectorTrack::GetMatrix(f32 time, Matrix& out) {
    return MatrixOfValue(*this, time, out, D3dx().MatrixScaling, PureScale);
}
