#include "Scene/KeyTrack.h"

#include <cmath>

KeyData KeyData::Rotation(f32 time, f32 x, f32 y, f32 z, f32 w, f32 continuity, f32 tension, f32 bias) {
    KeyData key(time, x, y, z, continuity, tension, bias);
    key.w = w;
    return key;
}

KeyTrack::KeyTrack() { keys_.sortedThread = 1; }

KeyTrack::Entry* KeyTrack::InsertKey(f32 time, const KeyData& value, bool after) {
    if (!std::isfinite(time)) return nullptr;
    return keys_.Insert(time, value, after);
}

bool KeyTrack::GetRange(f32& first, f32& last) const {
    if (keys_.count == 0) return false;
    first = keys_.first->key;
    last = keys_.first->prev->key;
    return true;
}

void KeyTrack::FindBracket(f32 t, const Entry*& lower, const Entry*& upper) const {
    Entry* floor = nullptr;
    Entry* ceiling = nullptr;
    keys_.EqualRange(t, floor, ceiling);
    lower = floor;
    upper = ceiling;
}

const KeyTrack::Entry* KeyTrack::Previous(const Entry* key) const {
    return key == keys_.first ? nullptr : key->prev;
}

const KeyTrack::Entry* KeyTrack::Next(const Entry* key) const {
    return key->next == keys_.first ? nullptr : key->next;
}

SegmentKeys KeyTrack::GatherSegment(const Entry* low, const Entry* high, bool cyclic) const {
    SegmentKeys keys;
    keys.low = low->value;
    keys.high = high->value;
    const Entry* prev = Previous(low);
    const Entry* next = Next(high);
    if (prev) keys.prev = prev->value;
    if (next) keys.next = next->value;
    if (prev && next) {
        keys.rule = SegmentRule::Full;
    } else if (prev) {
        keys.rule = SegmentRule::End;
        if (cyclic) {
            // high is the last key: the track goes on from the first key into the second.
            const Entry* first = keys_.first;
            keys.next = first->next->value;
            keys.next.time = high->key + (first->next->key - first->key);
            keys.rule = SegmentRule::Full;
        }
    } else if (next) {
        keys.rule = SegmentRule::Start;
        if (cyclic) {
            // low is the first key: it is reached from the second-to-last key.
            const Entry* last = keys_.first->prev;
            keys.prev = last->prev->value;
            keys.prev.time = low->key - (last->key - last->prev->key);
            keys.rule = SegmentRule::Full;
        }
    } else {
        keys.rule = SegmentRule::TwoKey;
        if (cyclic) {
            const f32 step = high->key - low->key;
            keys.prev = high->value;
            keys.prev.time = low->key - step;
            keys.next = low->value;
            keys.next.time = high->key + step;
            keys.rule = SegmentRule::Full;
        }
    }
    return keys;
}
