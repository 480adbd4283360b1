// Pixels of the D3DX texture functions: texels of the uncompressed formats read into and
// written from four floats, and a plane of such texels resampled with D3DX's filters.
//
// Colour channels are 0..1 in unsigned formats and -1..1 in the signed (bump) formats; a
// format without alpha reads as opaque and writes no alpha; a luminance format writes the
// weighted sum of red, green and blue. Writing rounds to the nearest step and clamps. The
// floating-point formats hold any value, read and written as it is; a colour channel they
// lack reads 0.
#pragma once

#include <d3d9.h>
#include <d3dx9tex.h>

#include <stdint.h>

#include <vector>

namespace d3dx9 {

struct Texel {
    float r, g, b, a;
};

// Bytes per texel of a format these functions convert; 0 for any other (the compressed
// formats among them).
UINT TexelBytes(D3DFORMAT format);
bool IsSignedFormat(D3DFORMAT format);
bool IsFloatFormat(D3DFORMAT format);
bool IsBlockFormat(D3DFORMAT format);
Texel ReadTexel(D3DFORMAT format, const uint8_t* at);
void WriteTexel(D3DFORMAT format, const Texel& texel, uint8_t* at);
// The texel as A8R8G8B8, for colour keys.
D3DCOLOR ToArgb(const Texel& texel);

// A plane of texels, row after row.
struct Plane {
    UINT width = 0, height = 0;
    std::vector<Texel> texels;
    Texel& At(UINT x, UINT y) { return texels[size_t(y) * width + x]; }
    const Texel& At(UINT x, UINT y) const { return texels[size_t(y) * width + x]; }
};

// The filter kind of a D3DX filter word (D3DX_DEFAULT gives `fallback`), or 0 when the
// word names no kind D3DX has.
DWORD FilterKind(DWORD filter, DWORD fallback);
// `from` resampled to `width` x `height` with a filter kind: NONE copies what overlaps
// (the rest transparent black), POINT takes the nearest texel, LINEAR interpolates between
// the four nearest, TRIANGLE and BOX average the source area each texel covers.
Plane Resample(const Plane& from, UINT width, UINT height, DWORD kind);

// Reads a locked rectangle into a plane and writes one back.
Plane ReadPlane(D3DFORMAT format, const uint8_t* bits, INT pitch, UINT width, UINT height);
void WritePlane(D3DFORMAT format, const Plane& plane, uint8_t* bits, INT pitch);

}  // namespace d3dx9
