// The program-wide switches of the effects layer. Effects copy the compile switches into
// what they ask the effect cache for; the animated material values read their switch and
// default key; the bump and environment effect takes its light counts from the table.
// Nothing changes them after start-up except the product scene, which turns forced
// compiling off when it is constructed.
#pragma once

#include "Core/Types.h"

struct EffectDefaults {
    u8 forceCompile = 0;        // compile effect sources even when a compiled form exists
    u8 saveCompiled = 1;        // write compiled effects to their cache files
    u8 materialSwitch = 1;      // animated material values chosen by their key
    f32 materialKey = 1000.0f;  // the key used while the material switch is off
    i32 lightCounts[5] = {1, 2, 3, 4, 5};  // lights for a material layer's light setting n
    i32 defaultLightLevel = 2;             // the entry that light setting -1 takes
};

// Constant-initialised, so it is ready before anything built at start-up reads it.
EffectDefaults& TheEffectDefaults();
