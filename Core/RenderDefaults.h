// The program-wide record of render switches, built before the entry point with the other
// program-wide objects. Effects copy the compile switches into what they ask the effect
// cache for; the model loader, the mesh variants and the animated material values read the
// switches and their default keys. Nothing changes the record after start-up except the
// product scene, which turns the effects-layer switch off when it is constructed.
#pragma once

#include "Core/Types.h"

struct RenderDefaults {
    u8 forceCompile = 0;        // the effects-layer switch: compile effect sources even when a compiled form exists
    u8 saveCompiled = 1;        // write compiled effects to their cache files
    u8 loaderOption = 1;        // adds flag 0x2 to every fresh model load request
    u8 sequenceSwitch = 1;      // mesh variants chosen by their key
    f32 sequenceKey = 1000.0f;  // the key used while the sequence switch is off
    u8 materialSwitch = 1;      // animated material values chosen by their key
    f32 materialKey = 1000.0f;  // the key used while the material switch is off
    i32 lightCounts[5] = {1, 2, 3, 4, 5};  // lights for a material layer's light setting n
    i32 defaultLightLevel = 2;             // the entry that light setting -1 takes
};

RenderDefaults& TheRenderDefaults();
