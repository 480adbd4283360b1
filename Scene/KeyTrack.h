// Keys of an animation track: 32-byte records filed by time in the engine's ordered map,
// threaded in time order so that the keys before and after any key are one link away.
// Times are compared as floats, so negative times come before zero. A time that is not a
// finite number is refused: a NaN has no place in the order, and an infinite time would
// turn every segment next to it into NaNs.
//
// KeyTrack also knows which neighbours shape the segment between two adjacent keys
// (GatherSegment): the keys just outside the pair, or, on a cyclic track, the keys
// across the wrap-around. Both kinds of evaluating track build their curves from that.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/Types.h"

// One key: its time and value, and the tension, continuity and bias that shape the curve
// through it. The same 32 bytes are the stored form of a key in model and camera files.
struct KeyData {
    f32 time = 0.0f;
    f32 x = 0.0f;
    f32 y = 0.0f;
    f32 z = 0.0f;
    f32 w = 0.0f;  // a rotation's scalar part; vector keys leave it 0
    f32 continuity = 0.0f;
    f32 tension = 0.0f;
    f32 bias = 0.0f;

    KeyData() = default;
    // A vector key (w = 0).
    KeyData(f32 time_, f32 x_, f32 y_, f32 z_, f32 continuity_ = 0.0f, f32 tension_ = 0.0f, f32 bias_ = 0.0f)
        : time(time_), x(x_), y(y_), z(z_), continuity(continuity_), tension(tension_), bias(bias_) {}
    // A rotation key: the quaternion (x, y, z, w).
    static KeyData Rotation(f32 time, f32 x, f32 y, f32 z, f32 w, f32 continuity = 0.0f, f32 tension = 0.0f,
                            f32 bias = 0.0f);
};
static_assert(sizeof(KeyData) == 32, "a key is stored as 32 bytes");

// Which rule gives the inner parts of a segment, by the neighbours it has.
enum class SegmentRule : u32 {
    Full,    // a key before the pair and one after it
    End,     // a key before the pair only: the pair ends the track
    Start,   // a key after the pair only: the pair starts the track
    TwoKey,  // the pair is the whole track
};

// The keys that shape one segment: the pair itself and, as the rule says, the key before
// (prev) and the key after (next), copies whose times may be shifted across the wrap.
struct SegmentKeys {
    SegmentRule rule = SegmentRule::TwoKey;
    KeyData prev;
    KeyData low;
    KeyData high;
    KeyData next;
};

class KeyTrack {
public:
    using Map = FloatMapOf<KeyData>;
    using Entry = Map::Node;

    KeyTrack();

    // Files value under time, replacing a key of the same time. Null, with nothing
    // changed, for a time that is not finite or when memory runs out. `after` only
    // matters to unsorted maps; the thread of a track is always in time order.
    Entry* InsertKey(f32 time, const KeyData& value, bool after = true);
    // The earliest and the latest key time; false when there are no keys.
    bool GetRange(f32& first, f32& last) const;
    // lower = the key with the greatest time <= t, upper = the one with the smallest time
    // >= t; null on a side without such a key; a time on a key gives that key twice.
    void FindBracket(f32 t, const Entry*& lower, const Entry*& upper) const;
    const Entry* Find(f32 time) const { return keys_.Find(time); }
    // Neighbours in time order; null before the first and after the last key.
    const Entry* Previous(const Entry* key) const;
    const Entry* Next(const Entry* key) const;
    const Entry* First() const { return keys_.count ? keys_.first : nullptr; }
    const Entry* Last() const { return keys_.count ? keys_.first->prev : nullptr; }
    u32 Count() const { return keys_.count; }
    void Clear() { keys_.Clear(); }
    // Takes the key filed under time out; false when there is none.
    bool RemoveKey(f32 time) { return keys_.Remove(time); }

    // The neighbours that shape the segment from `low` to the key after it, `high`.
    // Cyclic: a missing neighbour is taken from the other end of the track (the second
    // key after the last, the second-to-last before the first), its time shifted by the
    // step it has there; a two-key track mirrors each key across the other.
    SegmentKeys GatherSegment(const Entry* low, const Entry* high, bool cyclic) const;

private:
    Map keys_;
};
