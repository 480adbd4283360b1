// JPEG files through libjpeg: grey, colour (YCbCr) and CMYK images, baseline or
// progressive, read into A8R8G8B8. libjpeg reports errors by calling back, and that call
// jumps back to the reading function, which fails; a warning about corrupt or missing data
// fails the read as well, so that a damaged file is never taken for a whole one.
#pragma once

#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PlatformImage {

bool IsJpeg(const uint8_t* data, size_t size);
bool ReadJpegInfo(const uint8_t* data, size_t size, Info* info, std::string* error);
bool DecodeJpeg(const uint8_t* data, size_t size, Image* image, std::string* error);

struct JpegWriteOptions {
    int quality = 90;
    bool grey = false;
    bool progressive = false;
};
bool EncodeJpeg(const Surface& argb, const JpegWriteOptions& options, std::vector<uint8_t>* out, std::string* error);

}  // namespace PlatformImage
