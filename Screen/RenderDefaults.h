// The application's program-wide record of render switches, built before the entry point
// (constant-initialised, so it holds its defaults before any constructor runs). Nothing
// changes it after start-up except the product scene, which turns forced compiling off
// when it is constructed.
//
// The layers below never read it: the full-screen saver hands it down as values when it
// starts up. The effects layer's share (the compile switches, the material switch and key,
// the light table, and the mesh-variant switch and key its drawables pass to the meshes)
// goes into the effect manager's settings before the effects are created; the loader
// option goes into each model load description the product scene makes.
#pragma once

#include "Core/Types.h"
#include "Effect/EffectSettings.h"

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

    // The effects layer's share of the record, as the effect manager holds it.
    EffectSettings ForEffects() const;
};

RenderDefaults& TheRenderDefaults();
