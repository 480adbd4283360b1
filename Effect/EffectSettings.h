// The render switches of the effects layer, as a value. The effect manager holds the one
// its effects and drawables use (EffectManager::settings); the application sets it from
// its own record before it has the effects created, so nothing here reads a layer above.
//
// Effects copy the compile switches into the descriptions they ask the effect cache for,
// so a change reaches only effects created after it. The material switch and key, the
// light table and the mesh-variant settings are read at every draw.
#pragma once

#include "Core/Types.h"
#include "D3d/FrameSequence.h"

struct EffectSettings {
    static constexpr i32 kLightTableSize = 5;

    u8 forceCompile = 0;        // compile effect sources even when a compiled form exists
    u8 saveCompiled = 1;        // write compiled effects to their cache files
    u8 materialSwitch = 1;      // keyed material variants chosen by their key
    f32 materialKey = 1000.0f;  // the key used while the material switch is off
    i32 lightCounts[kLightTableSize] = {1, 2, 3, 4, 5};  // lights for a material layer's light setting n
    i32 defaultLightLevel = 2;                           // the entry that light setting -1 takes
    SequenceSettings sequence;  // handed to the mesh variants a drawable chooses among
};
