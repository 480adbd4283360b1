// The platform's image library: image files held in memory, decoded into a record that the
// D3DX texture loaders fill textures from, and written back out. It knows nothing of
// Direct3D: formats, file formats and resource types are carried as the documented numbers
// (D3DFORMAT, D3DXIMAGE_FILEFORMAT, D3DRESOURCETYPE), so the D3DX layer passes them on as
// they are.
//
// A decoded image keeps the file's own pixel format in its info and holds its pixels as
// A8R8G8B8 (one little-endian 0xAARRGGBB word per texel), except block-compressed DDS data,
// which stays in its blocks, and, when asked, DDS texels that eight bits a channel would
// cut short, which stay as the file stores them. Every reader treats its input as hostile: a damaged or
// truncated file fails with a reason, never reads past its end, and never allocates more
// than the file can account for.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little, "A8R8G8B8 words are kept in memory as B, G, R, A");

namespace PlatformImage {

// File formats, numbered as D3DXIMAGE_FILEFORMAT.
enum FileFormat : uint32_t {
    kFileBmp = 0,
    kFileJpg = 1,
    kFileTga = 2,
    kFilePng = 3,
    kFileDds = 4,
    kFileUnknown = 0xFFFFFFFFu,
};

// Resource types, numbered as D3DRESOURCETYPE.
enum ResourceType : uint32_t {
    kResourceTexture = 3,
    kResourceVolumeTexture = 4,
    kResourceCubeTexture = 5,
};

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// Pixel formats, by their D3DFORMAT numbers.
namespace Format {
constexpr uint32_t kUnknown = 0;
constexpr uint32_t kR8G8B8 = 20;
constexpr uint32_t kA8R8G8B8 = 21;
constexpr uint32_t kX8R8G8B8 = 22;
constexpr uint32_t kR5G6B5 = 23;
constexpr uint32_t kX1R5G5B5 = 24;
constexpr uint32_t kA1R5G5B5 = 25;
constexpr uint32_t kA4R4G4B4 = 26;
constexpr uint32_t kR3G3B2 = 27;
constexpr uint32_t kA8 = 28;
constexpr uint32_t kA8R3G3B2 = 29;
constexpr uint32_t kX4R4G4B4 = 30;
constexpr uint32_t kA2B10G10R10 = 31;
constexpr uint32_t kA8B8G8R8 = 32;
constexpr uint32_t kX8B8G8R8 = 33;
constexpr uint32_t kG16R16 = 34;
constexpr uint32_t kA2R10G10B10 = 35;
constexpr uint32_t kA16B16G16R16 = 36;
constexpr uint32_t kA8P8 = 40;
constexpr uint32_t kP8 = 41;
constexpr uint32_t kL8 = 50;
constexpr uint32_t kA8L8 = 51;
constexpr uint32_t kA4L4 = 52;
constexpr uint32_t kV8U8 = 60;
constexpr uint32_t kL6V5U5 = 61;
constexpr uint32_t kX8L8V8U8 = 62;
constexpr uint32_t kQ8W8V8U8 = 63;
constexpr uint32_t kV16U16 = 64;
constexpr uint32_t kA2W10V10U10 = 67;
constexpr uint32_t kL16 = 81;
constexpr uint32_t kQ16W16V16U16 = 110;
constexpr uint32_t kR16F = 111;
constexpr uint32_t kG16R16F = 112;
constexpr uint32_t kA16B16G16R16F = 113;
constexpr uint32_t kR32F = 114;
constexpr uint32_t kG32R32F = 115;
constexpr uint32_t kA32B32G32R32F = 116;
constexpr uint32_t kUyvy = MakeFourCC('U', 'Y', 'V', 'Y');
constexpr uint32_t kYuy2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr uint32_t kR8G8B8G8 = MakeFourCC('R', 'G', 'B', 'G');
constexpr uint32_t kG8R8G8B8 = MakeFourCC('G', 'R', 'G', 'B');
constexpr uint32_t kDxt1 = MakeFourCC('D', 'X', 'T', '1');
constexpr uint32_t kDxt2 = MakeFourCC('D', 'X', 'T', '2');
constexpr uint32_t kDxt3 = MakeFourCC('D', 'X', 'T', '3');
constexpr uint32_t kDxt4 = MakeFourCC('D', 'X', 'T', '4');
constexpr uint32_t kDxt5 = MakeFourCC('D', 'X', 'T', '5');
}  // namespace Format

// The largest width or height any reader accepts, and so the longest mip chain.
constexpr uint32_t kMaxDimension = 16384;
constexpr uint32_t kMaxMipLevels = 15;

// What D3DXGetImageInfoFromFileInMemory answers: the file's own description.
struct Info {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 1;
    uint32_t mipLevels = 1;
    uint32_t format = Format::kUnknown;
    uint32_t resourceType = kResourceTexture;
    uint32_t fileFormat = kFileUnknown;
};

// One level of one face: rows of A8R8G8B8 texels, rows of 4x4 blocks for DXT data, or rows
// of texels in the file's own format, packed tight.
struct Surface {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;  // bytes from one row (of texels or of blocks) to the next
    std::vector<uint8_t> bytes;

    // Shapes the surface as `width` x `height` A8R8G8B8 texels, all set to `fill`.
    void ResetArgb(uint32_t w, uint32_t h, uint32_t fill = 0);
    uint32_t* Argb() { return reinterpret_cast<uint32_t*>(bytes.data()); }
    const uint32_t* Argb() const { return reinterpret_cast<const uint32_t*>(bytes.data()); }
    uint32_t At(uint32_t x, uint32_t y) const { return Argb()[static_cast<size_t>(y) * width + x]; }
};

struct Image {
    Info info;                                 // as the file describes itself
    uint32_t faces = 1;                        // 6 for a cube map
    uint32_t pixelFormat = Format::kA8R8G8B8;  // what the surfaces hold: A8R8G8B8, or the file's own format
    std::vector<Surface> surfaces;             // face after face, each face's levels largest first

    Surface& Level(uint32_t face, uint32_t level) { return surfaces[face * info.mipLevels + level]; }
    const Surface& Level(uint32_t face, uint32_t level) const { return surfaces[face * info.mipLevels + level]; }
};

// The file format by content (signatures, and for TGA a header that holds together);
// kFileUnknown when none fits.
FileFormat DetectFileFormat(const void* data, size_t size);

// Reads only what the header says (and what it takes to decide the format, such as the
// alpha of a 32-bit bitmap). False with a reason when the bytes are no image this library
// reads, are damaged, or are too short for what they claim.
bool ReadInfo(const void* data, size_t size, Info* info, std::string* error);

// How a decoded image holds its texels: all as A8R8G8B8 (DXT blocks aside), or with DDS
// texels of a wide format (a channel of more than 8 bits, or floating point) kept as the
// file stores them, so that a texture of that format can take them without loss.
enum class Texels { kArgb, kWideAsStored };

// Decodes the whole file: every face and every mip level it holds.
bool Decode(const void* data, size_t size, Image* image, std::string* error, Texels texels = Texels::kArgb);

// A single-level 2D image of `width` x `height` A8R8G8B8 texels set to `fill`, described
// as `format` (what the image would be remembered as).
Image MakeArgbImage(uint32_t width, uint32_t height, uint32_t fill = 0, uint32_t format = Format::kA8R8G8B8);

// The description of a single-level 2D image, as BMP, JPEG, PNG and TGA files give it.
Info SingleLevelInfo(uint32_t width, uint32_t height, uint32_t format, FileFormat fileFormat);
// Shapes a decoded image as one face of one A8R8G8B8 level of the size its info gives, and
// returns that surface.
Surface& SingleArgbSurface(Image* image);

// Writes an image in a file format with that format's usual choices: BMP 32-bit when the
// image has alpha else 24-bit, PNG RGBA or RGB, TGA 32-bit, JPEG at quality 90 (first face,
// first level, for all four), and DDS in the image's remembered format when that can be
// written (A8R8G8B8 otherwise) with every level and face. Each format's own header offers
// the other choices.
bool Encode(const Image& image, FileFormat fileFormat, std::vector<uint8_t>* out, std::string* error);

// Drops the `count` largest levels of every face, as D3DX_SKIP_DDS_MIP_LEVELS asks; the
// last level always stays. The info then describes the first level kept.
void SkipLevels(Image* image, uint32_t count);

// Whether any texel of the A8R8G8B8 surface is less than opaque.
bool HasTranslucency(const Surface& surface);

// The distinct colours of an A8R8G8B8 surface as a palette of at most `maxColours`
// entries (in order of first appearance) and one index per texel; false when the surface
// has more colours.
bool BuildPalette(const Surface& surface, uint32_t maxColours, std::vector<uint32_t>* palette,
                  std::vector<uint8_t>* indices, std::string* error);

}  // namespace PlatformImage
