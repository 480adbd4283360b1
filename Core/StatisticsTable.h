// Per-frame counters ("tris", "nodes", "clipped", "occluded", "bones",
// "effect_load_time") that the renderer and the scene graph add to while enabled.
#pragma once

#include "Core/HandleParam.h"

class StatisticsTable {
public:
    static constexpr u32 kRecords = 100;

    // Adds to a named counter of the current record (nothing while disabled).
    void Add(const String& name, i32 delta);
    // The counter's value in the current record, 0 when it has none.
    i32 Get(const String& name) const;
    // Empties the current record (the start of a frame).
    void ClearCurrent();
    HandleParam& Current() { return records[current]; }

    u8 enabled = 1;
    HandleParam records[kRecords];
    u32 current = 0;
};
