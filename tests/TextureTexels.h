// Reading one texel of a texture level back, for the texture suites of every platform.
#pragma once

#include <d3d9.h>

#include <string.h>

// The 32-bit texel at (x, y) of a level; 0xDEADBEEF when the level cannot be locked.
inline DWORD TexelAt(IDirect3DTexture9* t, UINT level, UINT x, UINT y) {
    D3DLOCKED_RECT l;
    if (FAILED(t->LockRect(level, &l, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEF;
    DWORD v;
    memcpy(&v, static_cast<uint8_t*>(l.pBits) + size_t(y) * l.Pitch + size_t(x) * 4, 4);
    t->UnlockRect(level);
    return v;
}
