// The first step of the program's entry point: seeds the random generator from the
// engine clock, indexes the current folder and takes on the user's locale.
#pragma once

#include "Core/Types.h"

bool EngineStartup();

// The seed EngineStartup gives srand for an engine time in milliseconds.
u32 StartupSeed(u64 engineTimeMs);

// Loops a time value into [start, end): start + the remainder of (value - start) by
// the range, made non-negative. A range smaller than 0.0001 gives start.
f32 WrapToRange(f32 value, f32 start, f32 end);
