// PNG files through libpng: every colour type and bit depth (palettes, grey, grey with
// alpha, 16-bit channels, tRNS transparency, interlacing), read into A8R8G8B8; and written
// in the colour type asked for. The library's errors come back through a jump to the
// reading call, which then fails; they never end the program.
#pragma once

#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PlatformImage {

bool IsPng(const uint8_t* data, size_t size);
bool ReadPngInfo(const uint8_t* data, size_t size, Info* info, std::string* error);
bool DecodePng(const uint8_t* data, size_t size, Image* image, std::string* error);

// PNG colour types, as the file numbers them, and a choice made from the image.
enum PngColour : uint32_t {
    kPngGrey = 0,
    kPngRgb = 2,
    kPngPalette = 3,
    kPngGreyAlpha = 4,
    kPngRgba = 6,
    kPngAuto = 0xFF,  // RGBA when any texel is translucent, else RGB
};

struct PngWriteOptions {
    uint32_t colour = kPngAuto;
    uint32_t bitDepth = 8;  // 1, 2, 4, 8 (grey and palette) or 16 (not palette)
    bool interlace = false;
    // Grey or RGB only: texels of alpha 0 are written in one colour that a tRNS chunk names
    // (all others must be opaque and of other colours).
    bool transparentKey = false;
};
bool EncodePng(const Surface& argb, const PngWriteOptions& options, std::vector<uint8_t>* out, std::string* error);

}  // namespace PlatformImage
