// Texel conversions and resampling for the D3DX texture functions (see D3dx9TexPixels.h).
// Each format is described by where its channels sit in a little-endian word of one to
// eight bytes, so one reader and one writer serve them all.
#include "D3dx9TexPixels.h"

#include "ImageFormat.h"

#include <math.h>
#include <string.h>

#include <algorithm>

namespace d3dx9 {

namespace {

enum Channel { R, G, B, A, L, None };

// One channel: its shift and width in bits within the texel's word.
struct Field {
    Channel channel;
    uint8_t shift, bits;
};

struct Layout {
    D3DFORMAT format;
    uint8_t bytes;
    bool isSigned;
    Field fields[4];
    bool isFloat = false;  // each field a half (16 bits) or a float (32 bits) at its byte
};

// Bump formats keep U in red's place and V in green's, as D3DX reads them into colours.
constexpr Layout kLayouts[] = {
    {D3DFMT_A8R8G8B8, 4, false, {{B, 0, 8}, {G, 8, 8}, {R, 16, 8}, {A, 24, 8}}},
    {D3DFMT_X8R8G8B8, 4, false, {{B, 0, 8}, {G, 8, 8}, {R, 16, 8}, {None, 0, 0}}},
    {D3DFMT_A8B8G8R8, 4, false, {{R, 0, 8}, {G, 8, 8}, {B, 16, 8}, {A, 24, 8}}},
    {D3DFMT_X8B8G8R8, 4, false, {{R, 0, 8}, {G, 8, 8}, {B, 16, 8}, {None, 0, 0}}},
    {D3DFMT_R8G8B8, 3, false, {{B, 0, 8}, {G, 8, 8}, {R, 16, 8}, {None, 0, 0}}},
    {D3DFMT_A2R10G10B10, 4, false, {{B, 0, 10}, {G, 10, 10}, {R, 20, 10}, {A, 30, 2}}},
    {D3DFMT_A2B10G10R10, 4, false, {{R, 0, 10}, {G, 10, 10}, {B, 20, 10}, {A, 30, 2}}},
    {D3DFMT_R5G6B5, 2, false, {{B, 0, 5}, {G, 5, 6}, {R, 11, 5}, {None, 0, 0}}},
    {D3DFMT_X1R5G5B5, 2, false, {{B, 0, 5}, {G, 5, 5}, {R, 10, 5}, {None, 0, 0}}},
    {D3DFMT_A1R5G5B5, 2, false, {{B, 0, 5}, {G, 5, 5}, {R, 10, 5}, {A, 15, 1}}},
    {D3DFMT_A4R4G4B4, 2, false, {{B, 0, 4}, {G, 4, 4}, {R, 8, 4}, {A, 12, 4}}},
    {D3DFMT_X4R4G4B4, 2, false, {{B, 0, 4}, {G, 4, 4}, {R, 8, 4}, {None, 0, 0}}},
    {D3DFMT_R3G3B2, 1, false, {{B, 0, 2}, {G, 2, 3}, {R, 5, 3}, {None, 0, 0}}},
    {D3DFMT_A8, 1, false, {{A, 0, 8}, {None, 0, 0}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_L8, 1, false, {{L, 0, 8}, {None, 0, 0}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_A8L8, 2, false, {{L, 0, 8}, {A, 8, 8}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_A4L4, 1, false, {{L, 0, 4}, {A, 4, 4}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_L16, 2, false, {{L, 0, 16}, {None, 0, 0}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_G16R16, 4, false, {{R, 0, 16}, {G, 16, 16}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_A16B16G16R16, 8, false, {{R, 0, 16}, {G, 16, 16}, {B, 32, 16}, {A, 48, 16}}},
    {D3DFMT_V8U8, 2, true, {{R, 0, 8}, {G, 8, 8}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_Q8W8V8U8, 4, true, {{R, 0, 8}, {G, 8, 8}, {B, 16, 8}, {A, 24, 8}}},
    {D3DFMT_V16U16, 4, true, {{R, 0, 16}, {G, 16, 16}, {None, 0, 0}, {None, 0, 0}}},
    {D3DFMT_R16F, 2, false, {{R, 0, 16}, {None, 0, 0}, {None, 0, 0}, {None, 0, 0}}, true},
    {D3DFMT_G16R16F, 4, false, {{R, 0, 16}, {G, 16, 16}, {None, 0, 0}, {None, 0, 0}}, true},
    {D3DFMT_A16B16G16R16F, 8, false, {{R, 0, 16}, {G, 16, 16}, {B, 32, 16}, {A, 48, 16}}, true},
    {D3DFMT_R32F, 4, false, {{R, 0, 32}, {None, 0, 0}, {None, 0, 0}, {None, 0, 0}}, true},
    {D3DFMT_G32R32F, 8, false, {{R, 0, 32}, {G, 32, 32}, {None, 0, 0}, {None, 0, 0}}, true},
    {D3DFMT_A32B32G32R32F, 16, false, {{R, 0, 32}, {G, 32, 32}, {B, 64, 32}, {A, 96, 32}}, true},
};

const Layout* Find(D3DFORMAT format) {
    for (const Layout& layout : kLayouts)
        if (layout.format == format) return &layout;
    return nullptr;
}

// Luminance weights of red, green and blue.
constexpr float kLumR = 0.2125f, kLumG = 0.7154f, kLumB = 0.0721f;

float& Slot(Texel& t, Channel c) {
    switch (c) {
    case R: return t.r;
    case G: return t.g;
    case B: return t.b;
    default: return t.a;
    }
}

float ReadNumber(const Field& f, const uint8_t* texel) {
    const uint8_t* at = texel + f.shift / 8;
    if (f.bits == 16) return PlatformImage::HalfToFloat(uint16_t(at[0] | at[1] << 8));
    float value;
    memcpy(&value, at, 4);
    return value;
}

void WriteNumber(const Field& f, float value, uint8_t* texel) {
    uint8_t* at = texel + f.shift / 8;
    if (f.bits == 16) {
        const uint16_t half = PlatformImage::FloatToHalf(value);
        at[0] = uint8_t(half);
        at[1] = uint8_t(half >> 8);
    } else {
        memcpy(at, &value, 4);
    }
}

}  // namespace

UINT TexelBytes(D3DFORMAT format) {
    const Layout* layout = Find(format);
    return layout ? layout->bytes : 0;
}

bool IsSignedFormat(D3DFORMAT format) {
    const Layout* layout = Find(format);
    return layout && layout->isSigned;
}

bool IsFloatFormat(D3DFORMAT format) {
    const Layout* layout = Find(format);
    return layout && layout->isFloat;
}

bool IsBlockFormat(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

Texel ReadTexel(D3DFORMAT format, const uint8_t* at) {
    Texel t{0, 0, 0, 1};
    const Layout* layout = Find(format);
    if (!layout) return t;
    if (layout->isFloat) {
        for (const Field& f : layout->fields)
            if (f.channel != None) Slot(t, f.channel) = ReadNumber(f, at);
        return t;
    }
    uint64_t word = 0;
    memcpy(&word, at, layout->bytes);  // little-endian, as the formats are defined
    for (const Field& f : layout->fields) {
        if (f.channel == None) continue;
        const uint64_t max = (uint64_t(1) << f.bits) - 1;
        const uint64_t raw = (word >> f.shift) & max;
        float value;
        if (layout->isSigned) {
            // Two's complement; the most negative step reads as -1 like its neighbour.
            const int64_t s = raw > (max >> 1) ? int64_t(raw) - int64_t(max) - 1 : int64_t(raw);
            value = std::max(-1.0f, float(s) / float(max >> 1));
        } else {
            value = float(raw) / float(max);
        }
        if (f.channel == L)
            t.r = t.g = t.b = value;
        else
            Slot(t, f.channel) = value;
    }
    return t;
}

void WriteTexel(D3DFORMAT format, const Texel& texel, uint8_t* at) {
    const Layout* layout = Find(format);
    if (!layout) return;
    if (layout->isFloat) {
        Texel copy = texel;
        for (const Field& f : layout->fields)
            if (f.channel != None) WriteNumber(f, Slot(copy, f.channel), at);
        return;
    }
    uint64_t word = 0;
    for (const Field& f : layout->fields) {
        if (f.channel == None) continue;
        const uint64_t max = (uint64_t(1) << f.bits) - 1;
        Texel copy = texel;
        const float value = f.channel == L ? kLumR * texel.r + kLumG * texel.g + kLumB * texel.b : Slot(copy, f.channel);
        uint64_t raw;
        if (layout->isSigned) {
            const float half = float(max >> 1);
            const int64_t s = int64_t(lrintf(std::clamp(value, -1.0f, 1.0f) * half));
            raw = uint64_t(s) & max;
        } else {
            raw = uint64_t(lrintf(std::clamp(value, 0.0f, 1.0f) * float(max)));
        }
        word |= raw << f.shift;
    }
    // Bits no channel claims (the X of X8R8G8B8) are written set, as D3DX writes them.
    uint64_t claimed = 0;
    for (const Field& f : layout->fields)
        if (f.channel != None) claimed |= ((uint64_t(1) << f.bits) - 1) << f.shift;
    const uint64_t all = layout->bytes == 8 ? ~uint64_t(0) : (uint64_t(1) << (layout->bytes * 8)) - 1;
    if (!layout->isSigned) word |= all & ~claimed;
    memcpy(at, &word, layout->bytes);
}

D3DCOLOR ToArgb(const Texel& t) {
    uint8_t bytes[4];
    WriteTexel(D3DFMT_A8R8G8B8, t, bytes);
    D3DCOLOR c;
    memcpy(&c, bytes, 4);
    return c;
}

DWORD FilterKind(DWORD filter, DWORD fallback) {
    if (filter == D3DX_DEFAULT) return fallback;
    const DWORD kind = filter & 0xFF;
    return kind >= D3DX_FILTER_NONE && kind <= D3DX_FILTER_BOX ? kind : 0;
}

Plane Resample(const Plane& from, UINT width, UINT height, DWORD kind) {
    Plane to;
    to.width = width;
    to.height = height;
    to.texels.assign(size_t(width) * height, Texel{0, 0, 0, 0});
    if (from.width == 0 || from.height == 0) return to;
    if (kind == D3DX_FILTER_NONE || (from.width == width && from.height == height)) {
        for (UINT y = 0; y < std::min(height, from.height); ++y)
            for (UINT x = 0; x < std::min(width, from.width); ++x) to.At(x, y) = from.At(x, y);
        return to;
    }
    const double sx = double(from.width) / width, sy = double(from.height) / height;
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            Texel& out = to.At(x, y);
            if (kind == D3DX_FILTER_POINT) {
                out = from.At(std::min(from.width - 1, UINT((x + 0.5) * sx)), std::min(from.height - 1, UINT((y + 0.5) * sy)));
            } else if (kind == D3DX_FILTER_LINEAR) {
                const double u = std::clamp((x + 0.5) * sx - 0.5, 0.0, double(from.width - 1));
                const double v = std::clamp((y + 0.5) * sy - 0.5, 0.0, double(from.height - 1));
                const UINT x0 = UINT(u), y0 = UINT(v);
                const UINT x1 = std::min(x0 + 1, from.width - 1), y1 = std::min(y0 + 1, from.height - 1);
                const float fu = float(u - x0), fv = float(v - y0);
                auto mix = [](const Texel& a, const Texel& b, float f) {
                    return Texel{a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f,
                                 a.a + (b.a - a.a) * f};
                };
                out = mix(mix(from.At(x0, y0), from.At(x1, y0), fu), mix(from.At(x0, y1), from.At(x1, y1), fu), fv);
            } else {
                // The source area under this texel, each source texel weighted by how much
                // of it lies inside.
                const double left = x * sx, right = (x + 1) * sx, top = y * sy, bottom = (y + 1) * sy;
                double r = 0, g = 0, b = 0, a = 0, total = 0;
                for (UINT j = UINT(top); j < from.height && j < bottom; ++j) {
                    const double wy = std::min(bottom, j + 1.0) - std::max(top, double(j));
                    for (UINT i = UINT(left); i < from.width && i < right; ++i) {
                        const double w = wy * (std::min(right, i + 1.0) - std::max(left, double(i)));
                        const Texel& t = from.At(i, j);
                        r += t.r * w;
                        g += t.g * w;
                        b += t.b * w;
                        a += t.a * w;
                        total += w;
                    }
                }
                if (total > 0) out = Texel{float(r / total), float(g / total), float(b / total), float(a / total)};
            }
        }
    }
    return to;
}

Plane ReadPlane(D3DFORMAT format, const uint8_t* bits, INT pitch, UINT width, UINT height) {
    Plane plane;
    plane.width = width;
    plane.height = height;
    plane.texels.resize(size_t(width) * height);
    const UINT bytes = TexelBytes(format);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) plane.At(x, y) = ReadTexel(format, bits + ptrdiff_t(y) * pitch + size_t(x) * bytes);
    return plane;
}

void WritePlane(D3DFORMAT format, const Plane& plane, uint8_t* bits, INT pitch) {
    const UINT bytes = TexelBytes(format);
    for (UINT y = 0; y < plane.height; ++y)
        for (UINT x = 0; x < plane.width; ++x)
            WriteTexel(format, plane.At(x, y), bits + ptrdiff_t(y) * pitch + size_t(x) * bytes);
}

}  // namespace d3dx9
