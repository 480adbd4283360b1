// Values chosen by a float key: keyed materials and level-of-detail tables keep their
// variants in a float-keyed ordered map and pick the one around a key (a projected size,
// a time). The search is the map's floor and ceiling search on the float key.
#pragma once

#include "Core/OrderedMap.h"

class AnimatedValue {
public:
    // before = the entry with the greatest key <= value, after = the one with the
    // least key >= value; an exact key gives the same entry twice; a side without
    // such an entry gives null (both for an empty map). NaN keys sort after every
    // number, so a NaN value finds the greatest number key before it.
    template <class V>
    static void FindSegment(const FloatMapOf<V>& map, f32 value, typename FloatMapOf<V>::Node*& before,
                            typename FloatMapOf<V>::Node*& after) {
        map.EqualRange(value, before, after);
    }
};
