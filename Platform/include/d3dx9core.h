// The core of the D3DX9 utility library, for the Linux build: the buffer object through
// which the library hands out blocks of bytes (vertex remaps, compiled effects, error
// texts).
#pragma once

#include <unknwn.h>

// {8BA5FB08-5195-40E2-AC58-0D989C3A0102}
inline constexpr IID IID_ID3DXBuffer = {0x8ba5fb08, 0x5195, 0x40e2, {0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02}};

// A block of bytes owned by the library; its size never changes.
struct ID3DXBuffer : public IUnknown {
    STDMETHOD_(LPVOID, GetBufferPointer)() PURE;
    STDMETHOD_(DWORD, GetBufferSize)() PURE;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

// A zero-filled buffer of NumBytes bytes; D3DERR_INVALIDCALL without an out pointer.
HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer);
