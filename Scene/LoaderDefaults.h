// The program-wide option of the model loader: while it is set, every fresh model load
// request also asks for normal-map filtering (flag 0x2).
#pragma once

#include "Core/Types.h"

struct LoaderDefaults {
    u8 loaderOption = 1;  // adds flag 0x2 to every fresh model load request
};

// Constant-initialised, so it is ready before anything built at start-up reads it.
LoaderDefaults& TheLoaderDefaults();
