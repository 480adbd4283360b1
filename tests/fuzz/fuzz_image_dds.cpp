// Feeds arbitrary bytes to the DDS reader (masks, four-character formats, mip chains, cube faces, palettes),
// straight and not through the format detection, so that every header the detection would
// turn away is read as well. See FuzzImage.h for what is checked.
#include "Platform/ImageDds.h"
#include "tests/fuzz/FuzzImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // Once as the loaders read most files (8-bit colour), once keeping wide texels (16-bit,
    // ten-bit and floating-point formats) as the file stores them.
    fuzzimage::Check(data, size, PlatformImage::ReadDdsInfo,
                     [](const uint8_t* bytes, size_t count, PlatformImage::Image* image, std::string* error) {
                         return PlatformImage::DecodeDds(bytes, count, image, error);
                     });
    fuzzimage::Check(data, size, PlatformImage::ReadDdsInfo,
                     [](const uint8_t* bytes, size_t count, PlatformImage::Image* image, std::string* error) {
                         return PlatformImage::DecodeDds(bytes, count, image, error, true);
                     },
                     false);
    return 0;
}
