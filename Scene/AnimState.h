// Playing node animations. A caller describes what to play as an AnimRequest: a named
// clip with its speed, offset and looping flags, or two requests joined as a layer (the
// first clip's matrix times the second's) or as a cross-fade (a blend from the first to
// the second over a number of milliseconds). Binding a request to a node gives a tree of
// AnimState records with the same shape, each leaf holding the node's animation and base
// pose, and each state holding its own clock on the engine Timer (which a frozen clock
// holds still). A finished cross-fade collapses into its second clip, so a tree only
// grows while fades are running.
//
// A cross-fade blends poses, not matrices: each side is split into position, direction,
// up and scale, the parts are mixed and a frame is built from them again. A side that
// cannot be split (a degenerate or sheared matrix) makes the blend fail, and the caller's
// matrix is left as it was.
#pragma once

#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Scene/AbstractObject.h"

// Kinds of requests and states.
enum AnimKind : u32 {
    kAnimClip = 0,       // a leaf: one animation
    kAnimLayer = 1,      // first x second
    kAnimCrossFade = 2,  // from first to second over the duration
};

// Bits of the flags of requests and states.
enum AnimFlags : u32 {
    kAnimLoop = 2,        // wrap the local time into the animation's range
    kAnimLoopOwnRange = 4,  // wrap it into the state's own range
    kAnimClamp = 8,       // hold the ends of the animation's range (before the loops)
    kAnimCache = 16,      // reuse the last matrix while the time stays within the tolerance
};

// What to play. Owns its children.
struct AnimRequest {
    u32 kind = kAnimClip;
    String name;  // the clip, as filed in the node's animation and pose tables
    AnimRequest* first = nullptr;
    AnimRequest* second = nullptr;
    u32 flags = 0;
    TimeRange ownRange;
    i32 duration = 0;  // of a cross-fade, in milliseconds
    f32 tolerance = 0.1f;
    f32 speed = 1.0f;
    f32 startOffset = 0.0f;

    AnimRequest() = default;
    AnimRequest(const String& clip, u32 flags, f32 speed, f32 tolerance, f32 startOffset);
    AnimRequest(const AnimRequest&) = delete;
    AnimRequest& operator=(const AnimRequest&) = delete;
    ~AnimRequest() { Release(); }

    // A layer or cross-fade of two requests, taking them over (null when memory runs
    // out; the two are then freed).
    static AnimRequest* Join(u32 kind, AnimRequest* first, AnimRequest* second, i32 duration = 0);
    // Frees both children (recursively) and the name.
    void Release();
};

// One node of a bound animation tree. Owns its children; shares its animation and pose.
class AnimState {
public:
    Flags flags;
    RefHandle<AbstractObject> basePose;  // a fixed transform applied after the animation
    AnimState* first = nullptr;
    AnimState* second = nullptr;
    i32 duration = 0;  // of a cross-fade, in milliseconds
    u32 kind = kAnimClip;
    RefHandle<AbstractObject> animation;
    TimeRange animationRange;
    TimeRange ownRange;
    f32 startOffset = 0.0f;
    f32 speed = 1.0f;
    u64 startTime = 0;  // engine milliseconds
    bool active = false;
    Matrix cachedMatrix = IdentityMatrix;
    f32 cachedTime = 0.0f;
    f32 tolerance = 0.1f;
    bool cacheValid = false;

    AnimState() = default;
    AnimState(const AnimState&) = delete;
    AnimState& operator=(const AnimState&) = delete;
    ~AnimState() { Release(); }

    // Kind, flags, tolerance, speed, start offset, own range and duration of a request.
    void TakeSettings(const AnimRequest& request);
    // The animation's range, {0, 0} without an animation (or one without keys).
    void ReadRange();
    // Starts the clock now.
    void Start();
    // True when there is something to play here or below.
    bool IsActive() const;
    // The time inside the animation for a clock time t: offset, then clamped or wrapped
    // as the flags say.
    f32 LocalTime(f32 t) const;

    // The leaf's matrix at clock time t (the local time is applied here), with the base
    // pose after it when applyPose is set. False without an animation or when it has no
    // keys.
    bool EvaluateCached(bool applyPose, f32 t, Matrix& out);
    // The matrix at the state's own clock. A layer or cross-fade takes the identity for a
    // child that has none; a blend that fails returns false and leaves out as it was.
    bool Evaluate(bool applyPose, Matrix& out);
    // The same at a given time instead of the clocks of the leaves (a cross-fade's weight
    // still follows the engine clock).
    bool EvaluateAt(bool applyPose, f32 time, Matrix& out);

    // Makes this state a copy of other: every field, the shared handles counted again and
    // the children copied. False (this state then released) when memory runs out.
    bool CopyFrom(const AnimState& other);
    // Frees both children (recursively) and lets go of both handles.
    void Release();

private:
    bool EvaluateTree(bool applyPose, bool atTime, f32 time, Matrix& out);
    // This state becomes its second child (a cross-fade that has run its course).
    void CollapseIntoSecond();
    void CopyFields(const AnimState& other);
};

// Mixes the poses of a (w = 0) and b (w = 1) into out: positions, directions, ups and
// scales mixed component by component, the frame rebuilt and scaled. False, with out
// untouched, when either matrix cannot be decomposed.
bool BlendMatrices(const Matrix& a, const Matrix& b, f32 w, Matrix& out);
