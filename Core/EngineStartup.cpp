#include "Core/EngineStartup.h"

#include "Core/ProgramObjects.h"
#include "Core/Timer.h"

#include <cmath>
#include <locale.h>
#include <stdlib.h>

u32 StartupSeed(u64 engineTimeMs) { return static_cast<u32>(engineTimeMs / 32768); }

bool EngineStartup() {
    srand(StartupSeed(Timer::Now()));
    TheFileIndex().Scan(String("."), String("*"), true, 255);
    setlocale(LC_ALL, "");
    return true;
}

f32 WrapToRange(f32 value, f32 start, f32 end) {
    const f32 range = end - start;
    if (std::fabs(range) < 0.0001f) return start;
    const f32 offset = value - start;
    const f32 turns = std::trunc(offset / range);
    f32 r = offset - range * turns;
    if (r < 0.0f) r += range;
    return start + r;
}
