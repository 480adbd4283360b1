#include "Core/IdAllocator.h"

IdAllocator::IdAllocator(i32 n) { Reset(n); }

void IdAllocator::Reset(i32 n) {
    ranges.Clear();
    size = n;
    // A negative size would make an inverted range from which Acquire never runs dry.
    if (n >= 0) ranges.Insert(0, IntPair(0, n), true);
}

i32 IdAllocator::Acquire() {
    if (ranges.count == 0) return -1;
    PairMap::Node* node = ranges.first;
    IntPair& range = node->value;
    const i32 id = range.x;
    if (range.x >= range.y)
        ranges.Remove(node->key);
    else
        ++range.x;
    return id;
}

i64 IdAllocator::FreeCount() const {
    i64 total = 0;
    const PairMap::Node* node = ranges.first;
    for (u32 i = 0; i < ranges.count; ++i, node = node->next)
        total += static_cast<i64>(node->value.y) - node->value.x + 1;
    return total;
}
