// Resizing A8R8G8B8 surfaces with the D3DX filters, and mip chains. Each filter is
// separable: a list of source texels and weights for every column, then for every row.
// Texels beyond an edge wrap around to the other side, as D3DX filters do, unless a mirror
// flag reflects them instead. Weights sum to one and results round to the nearest value, so
// a surface of one colour stays that colour under every filter.
#pragma once

#include "Image.h"

#include <cstdint>
#include <string>

namespace PlatformImage {

// Filters, numbered as D3DX_FILTER_*; the low byte chooses, the flags modify.
constexpr uint32_t kFilterNone = 1;      // no scaling: texels copied where both surfaces have them
constexpr uint32_t kFilterPoint = 2;     // the nearest source texel
constexpr uint32_t kFilterLinear = 3;    // bilinear between the four nearest
constexpr uint32_t kFilterTriangle = 4;  // a tent as wide as the scale (all covered texels)
constexpr uint32_t kFilterBox = 5;       // the average of the covered area
constexpr uint32_t kFilterMirrorU = 1u << 16;
constexpr uint32_t kFilterMirrorV = 1u << 17;
// The colour that D3DX_FILTER_NONE leaves where the source has no texel.
constexpr uint32_t kFilterNoneFill = 0xFF000000u;

// Scales `src` to `width` x `height`; without a filter, texels the source lacks are
// `noneFill`. False for an unknown filter or an empty size.
bool Resize(const Surface& src, uint32_t width, uint32_t height, uint32_t filter, Surface* out, std::string* error,
            uint32_t noneFill = kFilterNoneFill);

// The number of levels of a full chain down to 1 x 1.
uint32_t MipChainLength(uint32_t width, uint32_t height);

// Rebuilds every face's levels below the first from it, each level halving the one above
// with the box filter: `levels` in all (0 for the full chain, more than the chain allows is
// cut to it). The image must be held as A8R8G8B8.
bool GenerateMips(Image* image, uint32_t levels, std::string* error);

}  // namespace PlatformImage
