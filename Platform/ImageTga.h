// TGA files: true-colour (15, 16, 24 and 32 bits), grey (8 bits) and colour-mapped
// (8-bit indices into a map of 15, 16, 24 or 32-bit entries) images, uncompressed or run-
// length coded, stored from the bottom row up or from the top down, either way across.
// The format has no signature: a file is taken for TGA when its header holds together.
#pragma once

#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PlatformImage {

bool LooksLikeTga(const uint8_t* data, size_t size);
bool ReadTgaInfo(const uint8_t* data, size_t size, Info* info, std::string* error);
bool DecodeTga(const uint8_t* data, size_t size, Image* image, std::string* error);

struct TgaWriteOptions {
    // A8R8G8B8 (32 bits), R8G8B8 (24), A1R5G5B5 (16), X1R5G5B5 (15), L8 (grey) or P8
    // (colour-mapped, at most 256 colours).
    uint32_t format = Format::kA8R8G8B8;
    uint32_t mapBits = 24;  // the size of a colour-map entry for P8: 15, 16, 24 or 32
    bool rle = false;
    bool topDown = false;
    std::string id;  // the image identification field
};
bool EncodeTga(const Surface& argb, const TgaWriteOptions& options, std::vector<uint8_t>* out, std::string* error);

}  // namespace PlatformImage
