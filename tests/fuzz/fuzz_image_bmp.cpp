// Feeds arbitrary bytes to the BMP reader (every header, palettes, masks, run-length coding),
// straight and not through the format detection, so that every header the detection would
// turn away is read as well. See FuzzImage.h for what is checked.
#include "Platform/ImageBmp.h"
#include "tests/fuzz/FuzzImage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    fuzzimage::Check(data, size, PlatformImage::ReadBmpInfo, PlatformImage::DecodeBmp);
    return 0;
}
