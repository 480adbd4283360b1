// Feeds arbitrary bytes to the image library's front door: detection by content, then the
// reader it picks, PNG and JPEG included (whose libraries report errors by jumping back
// into our readers). See FuzzImage.h for what is checked.
#include "Platform/Image.h"
#include "tests/fuzz/FuzzImage.h"

#include <cstddef>
#include <cstdint>

namespace {

bool Describe(const uint8_t* data, size_t size, PlatformImage::Info* info, std::string* error) {
    return PlatformImage::ReadInfo(data, size, info, error);
}

bool DecodeAny(const uint8_t* data, size_t size, PlatformImage::Image* image, std::string* error) {
    return PlatformImage::Decode(data, size, image, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    fuzzimage::Check(data, size, Describe, DecodeAny);
    return 0;
}
