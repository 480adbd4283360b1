// DDS files: the header and pixel-format description of DirectDraw surfaces, with 2D
// textures and their mip chains, and cube maps with all six faces (in the file's order,
// which is D3DCUBEMAP_FACES order: +X, -X, +Y, -Y, +Z, -Z, each with its whole chain). Texels of every format
// with channels are read into A8R8G8B8, or kept as they are stored when they are wide and
// the caller asks; DXT blocks are kept as they are stored. A volume texture is described as
// a volume, and decoded as the first slice of each of its levels.
//
// The two formats of ten-bit colour are named the way D3DX names them, which is the other
// way round from their masks: a file whose red mask is 0x3FF00000 holds A2B10G10R10 (red in
// the low bits), and D3DX writes A2B10G10R10 with that mask. Files that D3DX wrote, and
// textures loaded from them, keep their colours only when read the same way.
#pragma once

#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PlatformImage {

bool IsDds(const uint8_t* data, size_t size);
bool ReadDdsInfo(const uint8_t* data, size_t size, Info* info, std::string* error);
bool DecodeDds(const uint8_t* data, size_t size, Image* image, std::string* error, bool keepWideTexels = false);

// Writes every face and level of the image. Surfaces held as A8R8G8B8 are written in
// `format` (a format with channel masks, or a DXT format, which codes them); surfaces held
// as DXT blocks are written as they are, and `format` must be theirs.
bool EncodeDds(const Image& image, uint32_t format, std::vector<uint8_t>* out, std::string* error);
// Whether EncodeDds can write A8R8G8B8 surfaces in `format`.
bool CanWriteDdsFormat(uint32_t format);

}  // namespace PlatformImage
