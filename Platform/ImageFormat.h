// Pixel formats: how the texels of each D3DFORMAT lie in memory, and their conversion to
// and from A8R8G8B8. One table describes every format the library reads by its channels
// (position and width in a little-endian word of up to 64 bits, signed or not), so that a
// DDS header's masks, a conversion and a size computation all read the same facts.
//
// Conversions to A8R8G8B8 widen each channel to 8 bits with rounding; a luminance channel
// fills red, green and blue; a colour channel the format lacks reads 0 and a missing alpha
// reads opaque. Signed (bump) channels are kept by an offset of 128, so that V8U8 read into
// red and green and written back loses nothing. Conversions from A8R8G8B8 narrow with
// rounding and take luminance with the weights 0.2125, 0.7154 and 0.0721 (a grey stays the
// same grey). The block formats DXT1-DXT5 are decoded and encoded a whole surface at a time.
#pragma once

#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PlatformImage {

// Bits per texel (4 for DXT1, 8 for the other DXT formats); 0 for a format the table
// does not hold.
uint32_t FormatBits(uint32_t format);
bool IsBlockFormat(uint32_t format);
// UYVY, YUY2 and their kin: two texels share their colour, so widths count in pairs.
bool IsPackedPairFormat(uint32_t format);
bool FormatHasAlpha(uint32_t format);
// Whether A8R8G8B8 would cut the format's texels short: a channel of more than 8 bits, or
// floating point.
bool IsWideFormat(uint32_t format);
// Whether ToArgb and FromArgb handle the format (the channel and floating-point formats;
// palette formats convert to A8R8G8B8 only, with their palette).
bool CanConvertFormat(uint32_t format);

// Bytes in one row of texels (for a block format: one row of 4x4 blocks), packed tight,
// and the number of such rows; 64-bit so that no claimed size can wrap. 0 for an unknown
// format.
uint64_t RowBytes(uint32_t format, uint32_t width);
uint32_t RowCount(uint32_t format, uint32_t height);
uint64_t LevelBytes(uint32_t format, uint32_t width, uint32_t height);

// Converts `count` texels. `palette` (256 A8R8G8B8 entries) is needed for P8 and A8P8.
bool ToArgb(uint32_t format, const uint8_t* src, size_t count, uint32_t* dst, const uint32_t* palette = nullptr);
bool FromArgb(uint32_t format, const uint32_t* src, size_t count, uint8_t* dst);

// Converts an A8R8G8B8 surface into rows of `format`, packed tight (block formats
// included); and back.
bool SurfaceToFormat(const Surface& argb, uint32_t format, std::vector<uint8_t>* out, std::string* error);
bool SurfaceFromFormat(uint32_t format, const uint8_t* bytes, size_t size, uint32_t width, uint32_t height,
                       Surface* argb, std::string* error);

// DXT blocks of a `width` x `height` surface (rows of blocks, packed tight) to A8R8G8B8 and
// back. DXT2 and DXT4 are taken as they are stored (premultiplied), without dividing.
bool DecompressDxt(uint32_t format, const uint8_t* blocks, size_t size, uint32_t width, uint32_t height,
                   Surface* argb, std::string* error);
bool CompressDxt(uint32_t format, const Surface& argb, std::vector<uint8_t>* blocks, std::string* error);

// A whole image: surfaces held in another format (DXT blocks, texels kept as stored)
// decoded to A8R8G8B8 (the remembered format stays), or A8R8G8B8 surfaces coded into a DXT
// format (which the image then also remembers).
bool DecompressImage(Image* image, std::string* error);
bool CompressImage(Image* image, uint32_t format, std::string* error);

// Half-precision floating-point numbers.
float HalfToFloat(uint16_t h);
uint16_t FloatToHalf(float f);

// The channel layout of a format with masks, as a DDS header describes it; kUnknown when
// no format of the table has them. `kind` is one of the DDS pixel-format classes below.
enum class MaskKind { kRgb, kLuminance, kAlpha, kBump, kBumpLuminance };
uint32_t FormatFromMasks(MaskKind kind, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a);
// The masks of a format of up to 32 bits, for writing a DDS header; false for others.
bool MasksOfFormat(uint32_t format, MaskKind* kind, uint32_t* bits, uint32_t* r, uint32_t* g, uint32_t* b,
                   uint32_t* a);

}  // namespace PlatformImage
