// The program-wide switch and key of the mesh variants. While the switch is set a mesh
// variant is chosen by the key its caller passes; while it is off every choice uses the
// default key instead. The product scene may change them; this layer only reads them.
#pragma once

#include "Core/Types.h"

struct SequenceDefaults {
    u8 sequenceSwitch = 1;      // mesh variants chosen by their key
    f32 sequenceKey = 1000.0f;  // the key used while the sequence switch is off
};

// Constant-initialised, so it is ready before anything built at start-up reads it.
SequenceDefaults& TheSequenceDefaults();
