// Reading one texel of a texture level back, for the texture suites of every platform:
// through a lock, or for a level in video memory through a render target.
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

// The 32-bit texel (x, y) of a level that cannot be locked, copied out through a render
// target; 0xDEADBEEF where that fails.
inline DWORD TexelThroughTarget(IDirect3DDevice9* device, IDirect3DTexture9* t, UINT level, UINT x, UINT y) {
    DWORD texel = 0xDEADBEEF;
    D3DSURFACE_DESC d;
    IDirect3DSurface9 *from = nullptr, *target = nullptr, *copy = nullptr;
    if (SUCCEEDED(t->GetLevelDesc(level, &d)) && SUCCEEDED(t->GetSurfaceLevel(level, &from)) &&
        SUCCEEDED(device->CreateRenderTarget(d.Width, d.Height, d.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                             nullptr)) &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(d.Width, d.Height, d.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr)) &&
        SUCCEEDED(device->StretchRect(from, nullptr, target, nullptr, D3DTEXF_POINT)) &&
        SUCCEEDED(device->GetRenderTargetData(target, copy))) {
        D3DLOCKED_RECT l;
        if (SUCCEEDED(copy->LockRect(&l, nullptr, D3DLOCK_READONLY))) {
            memcpy(&texel, static_cast<uint8_t*>(l.pBits) + size_t(y) * l.Pitch + size_t(x) * 4, 4);
            copy->UnlockRect();
        }
    }
    for (IDirect3DSurface9* s : {from, target, copy})
        if (s) s->Release();
    return texel;
}
