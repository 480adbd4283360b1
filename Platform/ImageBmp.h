// BMP files: a BITMAPFILEHEADER and one of the bitmap headers (the 12-byte core header,
// the 40-byte info header and its 52 and 56-byte extensions, the V4 and V5 headers), with
// 1, 4 and 8-bit palettes, 16-bit (5-5-5, or any masks), 24-bit and 32-bit texels,
// bottom-up or top-down, and 8-bit and 4-bit run-length coding.
#pragma once

#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PlatformImage {

bool IsBmp(const uint8_t* data, size_t size);
bool ReadBmpInfo(const uint8_t* data, size_t size, Info* info, std::string* error);
bool DecodeBmp(const uint8_t* data, size_t size, Image* image, std::string* error);

struct BmpWriteOptions {
    uint32_t bits = 32;          // 1, 4 or 8 (palette of the image's colours), 16, 24 or 32
    bool rgb565 = false;         // 16 bits as 5-6-5 masks instead of 5-5-5
    bool topDown = false;        // rows from the top (not with run-length coding)
    bool rle = false;            // run-length coding, of 8 or 4 bits
    bool rleJumps = false;       // with it, texels of index 0 jumped over where rows allow
    uint32_t headerSize = 40;    // 12 (core), 40 (info), 108 (V4) or 124 (V5)
};
bool EncodeBmp(const Surface& argb, const BmpWriteOptions& options, std::vector<uint8_t>* out, std::string* error);

}  // namespace PlatformImage
