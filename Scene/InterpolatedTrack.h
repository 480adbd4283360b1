// What the vector and the rotation track share: the flags, the keys, the cache of curve
// segments and the steps of an evaluation up to the segment. A segment depends on its two
// keys and on the key on either side of them, so it is built once, on the first
// evaluation inside it, and kept under the time of its earlier key until a change to one
// of those keys drops it (InvalidateAround).
#pragma once

#include "Core/EngineStartup.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Scene/AbstractObject.h"
#include "Scene/KeyTrack.h"

#include <cmath>

// Bits of a track's flags.
enum TrackFlags : u32 {
    kTrackCyclic = 1,   // the neighbours of the end keys wrap around to the other end
    kTrackLooping = 2,  // times are wrapped into [first key time, last key time) first
    kTrackLinear = 4,   // straight (or plain spherical) interpolation instead of the curve
};

// Segment: a record with the fields t0 and t1 (the times of its keys).
template <class Segment>
class InterpolatedTrack : public AbstractObject {
public:
    // Loaders fill the keys directly; anything that adds keys after the first
    // evaluation calls InvalidateAround for each (AddKey does both).
    KeyTrack keys;

    InterpolatedTrack() { segments_.sortedThread = 1; }

    u32 GetFlags() const { return flags_.bits; }
    // Replaces the flags. Segments built under the other cyclic setting are dropped.
    void SetFlags(u32 bits) {
        if ((bits ^ flags_.bits) & kTrackCyclic) segments_.Clear();
        flags_.bits = bits;
    }

    // Files key under its own time and drops the segments it shapes. False, with nothing
    // changed, for a time that is not finite or when memory runs out.
    bool AddKey(const KeyData& key) {
        if (!keys.InsertKey(key.time, key, true)) return false;
        InvalidateAround(key.time);
        return true;
    }

    // Takes the key at `time` out with the segments it shaped; false when there is none.
    bool RemoveKey(f32 time) {
        InvalidateAround(time);
        return keys.RemoveKey(time);
    }

    // Drops the segments that the key at `time` shapes: its own, the two before it and the
    // one after it. On a cyclic track the first and the last segment also reach across the
    // wrap-around to keys at the other end, so they go too.
    void InvalidateAround(f32 time) {
        const KeyTrack::Entry* key = keys.Find(time);
        if (!key) return;
        segments_.Remove(key->key);
        if (const KeyTrack::Entry* prev = keys.Previous(key)) {
            segments_.Remove(prev->key);
            if (const KeyTrack::Entry* before = keys.Previous(prev)) segments_.Remove(before->key);
        }
        if (const KeyTrack::Entry* next = keys.Next(key)) segments_.Remove(next->key);
        if (flags_.Has(kTrackCyclic) && keys.Count() >= 2) {
            segments_.Remove(keys.First()->key);
            segments_.Remove(keys.Last()->prev->key);
        }
    }

    // Empties the keys and the segment cache.
    void Clear() {
        segments_.Clear();
        keys.Clear();
    }

    // {first key time, last key time}; false, out untouched, without keys.
    bool GetRange(TimeRange& out) override {
        f32 first = 0.0f;
        f32 last = 0.0f;
        if (!keys.GetRange(first, last)) return false;
        out.start = first;
        out.end = last;
        return true;
    }

    // Segments in the cache.
    u32 SegmentCount() const { return segments_.count; }

protected:
    enum class Located { None, Key, InSegment };

    // The steps before the curve: no keys gives None; a time before the first key, after
    // the last or on a key gives Key with that key (the track holds its end values and
    // never extrapolates); otherwise InSegment with the cached segment around the time,
    // built first when missing. t comes back wrapped when the track loops. scratch holds
    // a segment that could not be filed for lack of memory.
    Located Locate(f32& t, const KeyData*& key, const Segment*& segment, Segment& scratch) {
        if (keys.Count() == 0) return Located::None;
        if (flags_.Has(kTrackLooping)) {
            f32 first = 0.0f;
            f32 last = 0.0f;
            keys.GetRange(first, last);
            t = WrapToRange(t, first, last);
        }
        const KeyTrack::Entry* lower = nullptr;
        const KeyTrack::Entry* upper = nullptr;
        keys.FindBracket(t, lower, upper);
        if (!lower || !upper || lower == upper) {
            key = lower ? &lower->value : &upper->value;
            return Located::Key;
        }
        typename FloatMapOf<Segment>::Node* cached = segments_.Find(lower->key);
        // A segment that no longer ends at the next key was left by a key filed without
        // InvalidateAround; it is rebuilt rather than trusted.
        if (cached && cached->value.t1 == upper->key) {
            segment = &cached->value;
            return Located::InSegment;
        }
        BuildSegment(keys.GatherSegment(lower, upper, flags_.Has(kTrackCyclic)), scratch);
        scratch.t0 = lower->key;
        scratch.t1 = upper->key;
        cached = segments_.Insert(lower->key, scratch);
        segment = cached ? &cached->value : &scratch;
        return Located::InSegment;
    }

    // An evaluation: out = keyValue(key) at or outside the keys, else
    // interpolate(segment, s) with s from SegmentFraction. False without keys.
    template <class Value, class KeyValue, class Interpolate>
    bool EvaluateWith(f32 t, Value& out, KeyValue keyValue, Interpolate interpolate) {
        const KeyData* key = nullptr;
        const Segment* segment = nullptr;
        Segment scratch;
        switch (Locate(t, key, segment, scratch)) {
            case Located::None:
                return false;
            case Located::Key:
                out = keyValue(*key);
                return true;
            case Located::InSegment:
                break;
        }
        out = interpolate(*segment, SegmentFraction(*segment, t));
        return true;
    }

    // The position of t in a segment, from 0 at its start to 1 at its end; a negative
    // answer means the keys are too close together to divide by, and the segment gives
    // its start value.
    static f32 SegmentFraction(const Segment& segment, f32 t) {
        if (std::fabs(segment.t0 - segment.t1) <= 0.0001f) return -1.0f;
        return (t - segment.t0) / (segment.t1 - segment.t0);
    }

    bool IsLinear() const { return flags_.Has(kTrackLinear); }

    // The inner parts of a segment (its tangents or control points) and its end values.
    virtual void BuildSegment(const SegmentKeys& keys, Segment& out) const = 0;

private:
    Flags flags_;
    FloatMapOf<Segment> segments_;
};
