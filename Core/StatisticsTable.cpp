#include "Core/StatisticsTable.h"

void StatisticsTable::Add(const String& name, i32 delta) {
    if (enabled != 1) return;
    HandleParamMap& counters = records[current].children;
    i32 value = 0;
    counters.GetInt(name, &value);
    counters.SetInt(name, static_cast<i32>(static_cast<u32>(value) + static_cast<u32>(delta)));
}

i32 StatisticsTable::Get(const String& name) const {
    i32 value = 0;
    records[current].children.GetInt(name, &value);
    return value;
}

void StatisticsTable::ClearCurrent() { records[current].children.Clear(); }
