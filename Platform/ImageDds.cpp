// DDS reading and writing; see ImageDds.h. The header's mip count is taken as it stands
// (the flag that should announce it is often missing; 0 means 1), only the depth flag makes
// a volume, and a cube map must hold all six faces. Every face and level the header
// declares must lie in the file before anything is allocated. A volume is described as one
// but decoded as the first slice of each level, which is what a 2D texture loaded from it
// holds.
#include "ImageDds.h"

#include "ImageBytes.h"
#include "ImageFormat.h"

#include <algorithm>
#include <cstring>

namespace PlatformImage {
namespace {

constexpr uint32_t kMagic = MakeFourCC('D', 'D', 'S', ' ');
constexpr uint32_t kHeaderSize = 124;               // DDS_HEADER, after the magic
constexpr uint32_t kPixelFormatSize = 32;           // DDS_PIXELFORMAT
constexpr size_t kDataOffset = 4 + kHeaderSize;     // first byte of the surfaces
constexpr size_t kPaletteBytes = 256 * 4;           // PALETTEENTRY[256] before P8 surfaces

// Header fields, as offsets from the start of the file.
constexpr size_t kFlagsAt = 8, kHeightAt = 12, kWidthAt = 16, kDepthAt = 24, kMipCountAt = 28;
constexpr size_t kPfFlagsAt = 80, kFourCCAt = 84, kBitCountAt = 88, kRMaskAt = 92, kGMaskAt = 96, kBMaskAt = 100,
                 kAMaskAt = 104, kCaps2At = 112;

// DDSD_* header flags.
constexpr uint32_t kFlagCaps = 0x1, kFlagHeight = 0x2, kFlagWidth = 0x4, kFlagPitch = 0x8, kFlagPixelFormat = 0x1000,
                   kFlagMipCount = 0x20000, kFlagLinearSize = 0x80000, kFlagDepth = 0x800000;
// DDPF_* pixel-format flags.
constexpr uint32_t kPfAlphaPixels = 0x1, kPfAlpha = 0x2, kPfFourCC = 0x4, kPfPalette8 = 0x20, kPfRgb = 0x40,
                   kPfLuminance = 0x20000, kPfBumpLuminance = 0x40000, kPfBumpDuDv = 0x80000;
// DDSCAPS_* and DDSCAPS2_* capabilities.
constexpr uint32_t kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipmap = 0x400000;
constexpr uint32_t kCaps2Cube = 0x200, kCaps2AllFaces = 0xFC00;

struct Header {
    uint32_t width, height, depth, levels, format, faces;
    bool volume;
    size_t dataOffset;
};

uint32_t ChainLength(uint32_t w, uint32_t h, uint32_t d) {
    uint32_t n = 1;
    for (uint32_t m = std::max({w, h, d}); m > 1; m >>= 1) ++n;
    return n;
}

uint32_t Dim(uint32_t size, uint32_t level) { return std::max<uint32_t>(size >> level, 1); }

// The format a DDS file's masks describe and the format D3DX names for them differ for
// ten-bit colour (see ImageDds.h); this turns one into the other, both ways.
uint32_t TenBitTwin(uint32_t format) {
    if (format == Format::kA2R10G10B10) return Format::kA2B10G10R10;
    if (format == Format::kA2B10G10R10) return Format::kA2R10G10B10;
    return format;
}

bool ReadFormat(const uint8_t* data, uint32_t* format, std::string* error) {
    const uint32_t flags = Le32(data + kPfFlagsAt);
    const uint32_t bits = Le32(data + kBitCountAt);
    const uint32_t r = Le32(data + kRMaskAt), g = Le32(data + kGMaskAt), b = Le32(data + kBMaskAt);
    const uint32_t a = flags & (kPfAlphaPixels | kPfAlpha) ? Le32(data + kAMaskAt) : 0;
    if (flags & kPfFourCC) {
        const uint32_t fourCC = Le32(data + kFourCCAt);
        if (fourCC == MakeFourCC('D', 'X', '1', '0')) return Fail(error, "DDS with the extended DX10 header");
        // DXT and the packed formats by their four characters, the others by their number.
        if (FormatBits(fourCC) == 0) return Fail(error, "DDS of an unknown four-character format");
        *format = fourCC;
    } else if (flags & kPfPalette8) {
        *format = Format::kP8;
    } else if (flags & kPfBumpDuDv) {
        *format = FormatFromMasks(MaskKind::kBump, bits, r, g, b, a);
    } else if (flags & kPfBumpLuminance) {
        *format = FormatFromMasks(MaskKind::kBumpLuminance, bits, r, g, b, a);
    } else if (flags & kPfLuminance) {
        *format = FormatFromMasks(MaskKind::kLuminance, bits, r, g, b, a);
    } else if (flags & kPfRgb) {
        *format = TenBitTwin(FormatFromMasks(MaskKind::kRgb, bits, r, g, b, a));
    } else if (flags & kPfAlpha) {
        *format = FormatFromMasks(MaskKind::kAlpha, bits, r, g, b, a);
    } else {
        return Fail(error, "DDS pixel format without a kind");
    }
    if (*format == Format::kUnknown) return Fail(error, "DDS pixel format with masks of no known format");
    return true;
}

// Bytes of one face: each level, each slice of a volume level.
uint64_t FaceBytes(const Header& h) {
    uint64_t total = 0;
    for (uint32_t level = 0; level < h.levels; ++level)
        total += LevelBytes(h.format, Dim(h.width, level), Dim(h.height, level)) * Dim(h.depth, level);
    return total;
}

bool ReadHeader(const uint8_t* data, size_t size, Header* h, std::string* error) {
    if (!IsDds(data, size)) return Fail(error, "not a DDS file");
    if (size < kDataOffset) return Fail(error, "DDS header cut short");
    const uint32_t flags = Le32(data + kFlagsAt);
    h->width = Le32(data + kWidthAt);
    h->height = Le32(data + kHeightAt);
    if (h->width == 0 || h->height == 0) return Fail(error, "DDS of zero width or height");
    if (h->width > kMaxDimension || h->height > kMaxDimension) return Fail(error, "DDS larger than 16384 texels a side");
    h->volume = (flags & kFlagDepth) != 0;
    h->depth = h->volume ? std::max<uint32_t>(Le32(data + kDepthAt), 1) : 1;
    if (h->depth > kMaxDimension) return Fail(error, "DDS volume deeper than 16384 slices");
    h->levels = std::max<uint32_t>(Le32(data + kMipCountAt), 1);
    if (h->levels > ChainLength(h->width, h->height, h->depth))
        return Fail(error, "DDS with more mip levels than its size allows");
    h->faces = 1;
    const uint32_t caps2 = Le32(data + kCaps2At);
    if (!h->volume && (caps2 & kCaps2Cube)) {
        if ((caps2 & kCaps2AllFaces) != kCaps2AllFaces) return Fail(error, "DDS cube map without all six faces");
        h->faces = 6;
    }
    if (!ReadFormat(data, &h->format, error)) return false;
    h->dataOffset = kDataOffset + (h->format == Format::kP8 ? kPaletteBytes : 0);
    const uint64_t needed = h->dataOffset + FaceBytes(*h) * h->faces;
    if (needed > size) return Fail(error, "DDS file shorter than the surfaces its header declares");
    return true;
}

}  // namespace

bool IsDds(const uint8_t* data, size_t size) { return data && size >= 4 && Le32(data) == kMagic; }

bool ReadDdsInfo(const uint8_t* data, size_t size, Info* info, std::string* error) {
    Header h;
    if (!ReadHeader(data, size, &h, error)) return false;
    info->width = h.width;
    info->height = h.height;
    info->depth = h.depth;
    info->mipLevels = h.levels;
    info->format = h.format;
    info->resourceType = h.volume ? kResourceVolumeTexture : h.faces == 6 ? kResourceCubeTexture : kResourceTexture;
    info->fileFormat = kFileDds;
    return true;
}

bool DecodeDds(const uint8_t* data, size_t size, Image* image, std::string* error, bool keepWideTexels) {
    Header h;
    if (!ReadDdsInfo(data, size, &image->info, error) || !ReadHeader(data, size, &h, error)) return false;
    const bool blocks = IsBlockFormat(h.format);
    const bool asStored = blocks || (keepWideTexels && IsWideFormat(h.format));
    if (!blocks && !CanConvertFormat(h.format) && h.format != Format::kP8)
        return Fail(error, "DDS texels of a format that is not read");
    uint32_t palette[256];
    if (h.format == Format::kP8) {
        // PALETTEENTRY: red, green, blue, and the flags byte, which serves as alpha.
        for (int i = 0; i < 256; ++i) {
            const uint8_t* e = data + kDataOffset + 4 * i;
            palette[i] = static_cast<uint32_t>(e[3]) << 24 | e[0] << 16 | e[1] << 8 | e[2];
        }
    }
    image->faces = h.faces;
    image->pixelFormat = asStored ? h.format : Format::kA8R8G8B8;
    image->surfaces.resize(static_cast<size_t>(h.faces) * h.levels);
    const uint8_t* at = data + h.dataOffset;
    for (uint32_t face = 0; face < h.faces; ++face) {
        for (uint32_t level = 0; level < h.levels; ++level) {
            Surface& s = image->Level(face, level);
            const uint32_t w = Dim(h.width, level), ht = Dim(h.height, level);
            const uint64_t row = RowBytes(h.format, w);
            const uint64_t bytes = LevelBytes(h.format, w, ht);
            if (asStored) {
                s.width = w;
                s.height = ht;
                s.pitch = static_cast<uint32_t>(row);
                s.bytes.assign(at, at + bytes);
            } else {
                s.ResetArgb(w, ht);
                for (uint32_t y = 0; y < ht; ++y)
                    ToArgb(h.format, at + y * row, w, s.Argb() + static_cast<size_t>(y) * w, palette);
            }
            // A volume's level holds its slices one after the other; only the first is kept.
            at += bytes * Dim(h.depth, level);
        }
    }
    return true;
}

bool CanWriteDdsFormat(uint32_t format) { return IsBlockFormat(format) || CanConvertFormat(format); }

bool EncodeDds(const Image& image, uint32_t format, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    const Info& info = image.info;
    if (image.faces != 1 && image.faces != 6) return Fail(error, "an image of 1 or 6 faces");
    if (info.mipLevels == 0 || image.surfaces.size() != static_cast<size_t>(image.faces) * info.mipLevels)
        return Fail(error, "the image's surfaces do not match its faces and levels");
    const bool argb = image.pixelFormat == Format::kA8R8G8B8;
    if (!argb && image.pixelFormat != format) return Fail(error, "DXT blocks are written in their own format");
    if (!CanWriteDdsFormat(format)) return Fail(error, "DDS cannot be written in that format");
    const uint32_t width = image.surfaces[0].width, height = image.surfaces[0].height;
    if (width == 0 || height == 0) return Fail(error, "an image of zero width or height");
    for (uint32_t face = 0; face < image.faces; ++face)
        for (uint32_t level = 0; level < info.mipLevels; ++level) {
            const Surface& s = image.Level(face, level);
            if (s.width != Dim(width, level) || s.height != Dim(height, level))
                return Fail(error, "a mip level of the wrong size");
            const uint64_t need = argb ? 4ull * s.width * s.height : LevelBytes(format, s.width, s.height);
            if (s.bytes.size() < need) return Fail(error, "a surface with fewer bytes than its size needs");
        }

    ByteWriter w(out);
    const bool compressed = IsBlockFormat(format);
    uint32_t flags = kFlagCaps | kFlagHeight | kFlagWidth | kFlagPixelFormat;
    flags |= compressed ? kFlagLinearSize : kFlagPitch;
    if (info.mipLevels > 1) flags |= kFlagMipCount;
    w.U32(kMagic);
    w.U32(kHeaderSize);
    w.U32(flags);
    w.U32(height);
    w.U32(width);
    w.U32(static_cast<uint32_t>(compressed ? LevelBytes(format, width, height) : RowBytes(format, width)));
    w.U32(0);  // depth
    w.U32(info.mipLevels);
    w.Zeros(11 * 4);
    MaskKind kind;
    uint32_t bits = 0, r = 0, g = 0, b = 0, a = 0, pfFlags = 0, fourCC = 0;
    if (MasksOfFormat(TenBitTwin(format), &kind, &bits, &r, &g, &b, &a)) {
        switch (kind) {
            case MaskKind::kRgb: pfFlags = kPfRgb; break;
            case MaskKind::kLuminance: pfFlags = kPfLuminance; break;
            case MaskKind::kAlpha: pfFlags = kPfAlpha; break;
            case MaskKind::kBump: pfFlags = kPfBumpDuDv; break;
            case MaskKind::kBumpLuminance: pfFlags = kPfBumpLuminance; break;
        }
        if (a && kind != MaskKind::kAlpha) pfFlags |= kPfAlphaPixels;
    } else {
        pfFlags = kPfFourCC;
        fourCC = format;
    }
    w.U32(kPixelFormatSize);
    w.U32(pfFlags);
    w.U32(fourCC);
    w.U32(bits);
    w.U32(r);
    w.U32(g);
    w.U32(b);
    w.U32(a);
    uint32_t caps = kCapsTexture;
    if (info.mipLevels > 1) caps |= kCapsComplex | kCapsMipmap;
    if (image.faces == 6) caps |= kCapsComplex;
    w.U32(caps);
    w.U32(image.faces == 6 ? kCaps2Cube | kCaps2AllFaces : 0);
    w.Zeros(3 * 4);  // caps3, caps4, reserved

    for (const Surface& s : image.surfaces) {
        if (!argb) {
            w.Bytes(s.bytes.data(), LevelBytes(format, s.width, s.height));
            continue;
        }
        std::vector<uint8_t> converted;
        if (!SurfaceToFormat(s, format, &converted, error)) return false;
        w.Bytes(converted.data(), converted.size());
    }
    return true;
}

}  // namespace PlatformImage
