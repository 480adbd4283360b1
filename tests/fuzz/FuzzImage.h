// What every image fuzz target checks of a reader: its description and its decoding agree,
// a decoded image holds exactly the surfaces it claims, and what it decoded survives a
// round trip through our own writer unchanged.
#pragma once

#include "Platform/Image.h"
#include "Platform/ImageDds.h"
#include "Platform/ImageFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzimage {

using ReadInfoFn = bool (*)(const uint8_t*, size_t, PlatformImage::Info*, std::string*);
using DecodeFn = bool (*)(const uint8_t*, size_t, PlatformImage::Image*, std::string*);

// Wide texels (16-bit, ten-bit and float formats kept as stored) have no round trip: the
// writer stores 8-bit colour and block formats only.
inline void Check(const uint8_t* data, size_t size, ReadInfoFn readInfo, DecodeFn decode, bool roundTrip = true) {
    using namespace PlatformImage;
    Info info;
    std::string error;
    const bool described = readInfo(data, size, &info, &error);
    if (!described && error.empty()) __builtin_trap();
    Image image;
    error.clear();
    if (!decode(data, size, &image, &error)) {
        if (error.empty()) __builtin_trap();
        return;
    }
    // Whatever decodes was described alike, and holds the surfaces it says.
    if (!described || info.width != image.info.width || info.height != image.info.height ||
        info.format != image.info.format || info.mipLevels != image.info.mipLevels)
        __builtin_trap();
    if (image.info.width == 0 || image.info.width > kMaxDimension || image.info.height > kMaxDimension) __builtin_trap();
    if (image.surfaces.size() != static_cast<size_t>(image.faces) * image.info.mipLevels) __builtin_trap();
    for (const Surface& s : image.surfaces) {
        const uint64_t need = image.pixelFormat == Format::kA8R8G8B8 ? 4ull * s.width * s.height
                                                                       : LevelBytes(image.pixelFormat, s.width, s.height);
        if (s.bytes.size() != need) __builtin_trap();
    }
    if (!roundTrip) return;
    // Written as DDS in A8R8G8B8 (or its own blocks) and read again, nothing changes.
    std::vector<uint8_t> again;
    if (!EncodeDds(image, image.pixelFormat, &again, &error)) __builtin_trap();
    Image back;
    if (!DecodeDds(again.data(), again.size(), &back, &error)) __builtin_trap();
    if (back.surfaces.size() != image.surfaces.size()) __builtin_trap();
    for (size_t i = 0; i < back.surfaces.size(); ++i)
        if (back.surfaces[i].bytes != image.surfaces[i].bytes) __builtin_trap();
}

}  // namespace fuzzimage
