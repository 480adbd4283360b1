#include "Scene/AnimState.h"

#include <cmath>
#include <new>

#include "Core/EngineStartup.h"
#include "Core/Timer.h"
#include "Scene/DecomposeMatrix.h"

namespace {

// The clock time of a clip `elapsed` ms after its start. A looping clip's is brought back
// into its loop while still in double: a float of seconds since the start steps by 8 ms
// after a day. LocalTime then finds the same place of the loop in it.
f32 ClipTime(const AnimState& state, i64 elapsed) {
    const f64 t = static_cast<f64>(elapsed) * state.speed * 0.001;
    if (state.flags.Has(kAnimClamp)) return static_cast<f32>(t);
    const TimeRange* loop = state.flags.Has(kAnimLoop)          ? &state.animationRange
                            : state.flags.Has(kAnimLoopOwnRange) ? &state.ownRange
                                                                 : nullptr;
    if (!loop) return static_cast<f32>(t);
    const f64 length = static_cast<f64>(loop->end) - loop->start;
    if (std::fabs(length) < 0.0001) return static_cast<f32>(t);
    const f64 offset = t - state.startOffset - loop->start;
    return static_cast<f32>(state.startOffset + loop->start + (offset - length * std::floor(offset / length)));
}

}  // namespace

AnimRequest::AnimRequest(const String& clip, u32 flags_, f32 speed_, f32 tolerance_, f32 startOffset_)
    : name(clip), flags(flags_), tolerance(tolerance_), speed(speed_), startOffset(startOffset_) {}

AnimRequest* AnimRequest::Join(u32 kind, AnimRequest* first, AnimRequest* second, i32 duration) {
    AnimRequest* joined = new (std::nothrow) AnimRequest;
    if (!joined) {
        delete first;
        delete second;
        return nullptr;
    }
    joined->kind = kind;
    joined->first = first;
    joined->second = second;
    joined->duration = duration;
    return joined;
}

void AnimRequest::Release() {
    delete first;
    delete second;
    first = second = nullptr;
    name.Release();
}

void AnimState::TakeSettings(const AnimRequest& request) {
    kind = request.kind;
    flags.bits = request.flags;
    tolerance = request.tolerance;
    speed = request.speed;
    startOffset = request.startOffset;
    ownRange = request.ownRange;
    duration = request.duration;
}

void AnimState::ReadRange() {
    animationRange = TimeRange();
    if (animation) animation->GetRange(animationRange);
}

void AnimState::Start() {
    active = true;
    startTime = Timer::Now();
}

bool AnimState::IsActive() const {
    return animation || basePose || (first && first->IsActive()) || (second && second->IsActive());
}

f32 AnimState::LocalTime(f32 t) const {
    const f32 local = t - startOffset;
    if (flags.Has(kAnimClamp)) return Clamp(local, animationRange.start, animationRange.end);
    if (flags.Has(kAnimLoop)) return WrapToRange(local, animationRange.start, animationRange.end);
    if (flags.Has(kAnimLoopOwnRange)) return WrapToRange(local, ownRange.start, ownRange.end);
    return local;
}

bool AnimState::EvaluateCached(bool applyPose, f32 t, Matrix& out) {
    const f32 s = LocalTime(t);
    const bool caching = flags.Has(kAnimCache);
    if (caching && cacheValid) {
        if (std::fabs(s - cachedTime) < tolerance) {
            out = cachedMatrix;
            return true;
        }
        cacheValid = false;
    }
    if (!animation || !animation->GetMatrix(s, out)) return false;
    if (applyPose && basePose) {
        Matrix pose;
        if (basePose->GetMatrix(s, pose)) out.Multiply(out, pose);
    }
    if (caching) {
        cachedTime = s;
        cachedMatrix = out;
        cacheValid = true;
    }
    return true;
}

bool AnimState::Evaluate(bool applyPose, Matrix& out) { return EvaluateTree(applyPose, false, 0.0f, out); }

bool AnimState::EvaluateAt(bool applyPose, f32 time, Matrix& out) {
    return EvaluateTree(applyPose, true, time, out);
}

bool AnimState::EvaluateTree(bool applyPose, bool atTime, f32 time, Matrix& out) {
    switch (kind) {
        case kAnimClip: {
            if (!animation) {
                if (!basePose || !basePose->GetMatrix(time, out)) out = IdentityMatrix;
                return true;
            }
            f32 t = time;
            if (!atTime) {
                t = flags.Has(kAnimLoopOwnRange) ? ownRange.start : animationRange.start;
                if (active) {
                    // Signed: a clock that went back gives a negative time, not ages.
                    const i64 elapsed = static_cast<i64>(Timer::Now() - startTime);
                    t = ClipTime(*this, elapsed);
                }
            }
            return EvaluateCached(applyPose, t, out);
        }
        case kAnimLayer: {
            Matrix a = IdentityMatrix;
            Matrix b = IdentityMatrix;
            if (!first || !first->EvaluateTree(applyPose, atTime, time, a)) a = IdentityMatrix;
            // The base pose belongs to the node once: only the first branch applies it.
            if (!second || !second->EvaluateTree(false, atTime, time, b)) b = IdentityMatrix;
            out.Multiply(a, b);
            return true;
        }
        case kAnimCrossFade: {
            Matrix a = IdentityMatrix;
            Matrix b = IdentityMatrix;
            if (!first || !first->EvaluateTree(applyPose, atTime, time, a)) a = IdentityMatrix;
            if (!second || !second->EvaluateTree(applyPose, atTime, time, b)) b = IdentityMatrix;
            // In 64 bits: a machine that slept for weeks mid-fade must land on the second
            // pose, not wrap to a negative share of the first.
            const u64 elapsed = Timer::Now() - startTime;
            if (duration > 0 && elapsed < static_cast<u64>(duration)) {
                return BlendMatrices(a, b, static_cast<f32>(elapsed) / static_cast<f32>(duration), out);
            }
            out = b;
            CollapseIntoSecond();
            return true;
        }
        default:
            return true;
    }
}

void AnimState::CollapseIntoSecond() {
    AnimState* survivor = second;
    second = nullptr;
    Release();
    if (!survivor) {
        // Nothing to become: an empty leaf, which is inactive.
        kind = kAnimClip;
        return;
    }
    CopyFields(*survivor);
    first = survivor->first;
    second = survivor->second;
    survivor->first = survivor->second = nullptr;
    delete survivor;
}

void AnimState::CopyFields(const AnimState& other) {
    flags = other.flags;
    basePose = other.basePose;
    duration = other.duration;
    kind = other.kind;
    animation = other.animation;
    animationRange = other.animationRange;
    ownRange = other.ownRange;
    startOffset = other.startOffset;
    speed = other.speed;
    startTime = other.startTime;
    active = other.active;
    cachedMatrix = other.cachedMatrix;
    cachedTime = other.cachedTime;
    tolerance = other.tolerance;
    cacheValid = other.cacheValid;
}

bool AnimState::CopyFrom(const AnimState& other) {
    if (&other == this) return true;
    Release();
    CopyFields(other);
    const AnimState* const sources[2] = {other.first, other.second};
    AnimState** const targets[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        if (!sources[i]) continue;
        AnimState* copy = new (std::nothrow) AnimState;
        if (!copy || !copy->CopyFrom(*sources[i])) {
            delete copy;
            Release();
            return false;
        }
        *targets[i] = copy;
    }
    return true;
}

void AnimState::Release() {
    delete first;
    delete second;
    first = second = nullptr;
    animation.Release();
    basePose.Release();
}

bool BlendMatrices(const Matrix& a, const Matrix& b, f32 w, Matrix& out) {
    Vec3 pa, da, ua, sa, pb, db, ub, sb;
    if (!DecomposeMatrix(a, pa, da, ua, sa) || !DecomposeMatrix(b, pb, db, ub, sb)) return false;
    const f32 v = 1.0f - w;
    const Vec3 position = pb * w + pa * v;
    const Vec3 direction = db * w + da * v;
    const Vec3 up = ub * w + ua * v;
    const Vec3 scale = sb * w + sa * v;
    Matrix blended = Matrix::FromAxes(position, direction, up);
    blended.ScaleRows(scale);
    out = blended;
    return true;
}
