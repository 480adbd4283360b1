// Feeds arbitrary bytes to the DDS reader (masks, four-character formats, mip chains, cube faces, palettes),
// straight and not through the format detection, so that every header the detection would
// turn away is read as well. See FuzzImage.h for what is checked.
#include "Platform/ImageDds.h"
#include "tests/fuzz/FuzzImage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    fuzzimage::Check(data, size, PlatformImage::ReadDdsInfo, PlatformImage::DecodeDds);
    return 0;
}
