// The D3DX9 utility library, for the Linux build.
#pragma once

#include <d3dx9math.h>
