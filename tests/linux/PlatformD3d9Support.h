// What the reference-device suites share: a window handle the device is made for (no
// real window is needed) and windowed presentation parameters.
#pragma once

#include <d3d9.h>

#include <stdint.h>

namespace platformd3d9 {

inline const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

// A windowed swap chain of the given size with a D24S8 depth buffer.
inline D3DPRESENT_PARAMETERS Windowed(UINT width = 320, UINT height = 240) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = kWindow;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    return p;
}

}  // namespace platformd3d9
