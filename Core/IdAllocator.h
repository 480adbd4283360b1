// Hands out small integers from a set of free ranges. A fresh allocator of size n
// holds the one range {0, n}: n + 1 numbers. Numbers are never given back one by
// one; the owner resets the allocator instead.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/Types.h"

class IdAllocator {
public:
    explicit IdAllocator(i32 n = 0);

    // Forgets every hand-out: the set is the single range {0, n} again (empty for
    // a negative n).
    void Reset(i32 n);

    // The first number of the first free range, which loses it; -1 when no
    // number is left.
    i32 Acquire();

    // Numbers still free.
    i64 FreeCount() const;

    // Free ranges {first, last}, both ends included, in the map's thread order.
    PairMap ranges;
    i32 size = 0;
};
