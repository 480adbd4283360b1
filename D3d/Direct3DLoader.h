// Direct3D 9 from its library: "d3d9.dll" loaded and its Direct3DCreate9 asked for the
// SDK version the engine was built against. The library stays loaded for the rest of the
// program, as the objects it made may outlive any one caller.
#pragma once

#include <d3d9.h>

// A new Direct3D 9 object; null when the library or its entry point is missing or the
// runtime refuses the SDK version.
IDirect3D9* CreateDirect3D9();
