// The core of the D3DX9 utility library, for the Linux build: the buffer object through
// which the library hands out blocks of bytes (vertex remaps, compiled effects, error
// texts).
#pragma once

#include <unknwn.h>

// The identifier the import libraries define, which is what code built against the real
// headers sees (the headers' own GUID-defining form names another).
// {932E6A7E-C68E-45DD-A7BF-53D19C86DB1F}
inline constexpr IID IID_ID3DXBuffer = {0x932e6a7e, 0xc68e, 0x45dd, {0xa7, 0xbf, 0x53, 0xd1, 0x9c, 0x86, 0xdb, 0x1f}};

// A block of bytes owned by the library; its size never changes.
struct ID3DXBuffer : public IUnknown {
    STDMETHOD_(LPVOID, GetBufferPointer)() PURE;
    STDMETHOD_(DWORD, GetBufferSize)() PURE;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

// A zero-filled buffer of NumBytes bytes; D3DERR_INVALIDCALL without an out pointer.
HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer);
