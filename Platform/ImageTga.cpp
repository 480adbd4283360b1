// TGA reading and writing; see ImageTga.h. The description comes from the 18-byte header
// alone; the identification field and a colour map (even one that a true-colour image
// carries) must lie in the file. Run-length packets may run on from one row to the next,
// but never past the last texel.
#include "ImageTga.h"

#include "ImageBytes.h"
#include "ImageFormat.h"

#include <algorithm>

namespace PlatformImage {
namespace {

constexpr size_t kHeaderSize = 18;
// Header fields.
constexpr size_t kIdLengthAt = 0, kMapTypeAt = 1, kImageTypeAt = 2, kMapFirstAt = 3, kMapLengthAt = 5,
                 kMapEntryAt = 7, kWidthAt = 12, kHeightAt = 14, kDepthAt = 16, kDescriptorAt = 17;
// Image types; 8 more marks run-length coding.
constexpr uint8_t kMapped = 1, kTrueColour = 2, kGrey = 3, kRle = 8;
// Descriptor bits: texels run right to left; rows run from the top.
constexpr uint8_t kRightToLeft = 0x10, kTopDown = 0x20;
// The most texels one byte of run-length data can stand for (a 2-byte run of 128).
constexpr uint64_t kMaxTexelsPerRleByte = 64;

struct Header {
    uint32_t type;  // without the run-length bit
    bool rle;
    uint32_t width, height, depth, format;
    uint32_t mapFirst, mapLength, mapEntryBits;
    bool mapped;
    uint8_t descriptor;
    size_t mapOffset, dataOffset;
};

bool ValidType(uint32_t type) { return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11; }

bool ReadHeader(const uint8_t* data, size_t size, Header* h, std::string* error) {
    if (size < kHeaderSize) return Fail(error, "TGA header cut short");
    const uint32_t mapType = data[kMapTypeAt];
    const uint32_t imageType = data[kImageTypeAt];
    if (mapType > 1) return Fail(error, "TGA of an unknown colour-map type");
    if (!ValidType(imageType)) return Fail(error, "TGA of an unknown image type");
    h->type = imageType & ~kRle;
    h->rle = (imageType & kRle) != 0;
    h->width = Le16(data + kWidthAt);
    h->height = Le16(data + kHeightAt);
    h->depth = data[kDepthAt];
    h->descriptor = data[kDescriptorAt];
    h->mapped = mapType == 1;
    h->mapFirst = Le16(data + kMapFirstAt);
    h->mapLength = Le16(data + kMapLengthAt);
    h->mapEntryBits = data[kMapEntryAt];
    if (h->width == 0 || h->height == 0) return Fail(error, "TGA of zero width or height");
    if (h->width > kMaxDimension || h->height > kMaxDimension) return Fail(error, "TGA larger than 16384 texels a side");
    size_t mapBytes = 0;
    if (h->mapped) {
        if (h->mapLength == 0) return Fail(error, "TGA colour map without entries");
        if (h->mapEntryBits != 15 && h->mapEntryBits != 16 && h->mapEntryBits != 24 && h->mapEntryBits != 32)
            return Fail(error, "TGA colour-map entries of an unknown size");
        mapBytes = static_cast<size_t>(h->mapLength) * ((h->mapEntryBits + 7) / 8);
    }
    switch (h->type) {
        case kMapped:
            if (!h->mapped) return Fail(error, "colour-mapped TGA without a colour map");
            if (h->depth != 8) return Fail(error, "colour-mapped TGA with indices other than 8 bits");
            h->format = Format::kP8;
            break;
        case kTrueColour:
            if (h->depth == 15) h->format = Format::kX1R5G5B5;
            else if (h->depth == 16) h->format = Format::kA1R5G5B5;
            else if (h->depth == 24) h->format = Format::kR8G8B8;
            else if (h->depth == 32) h->format = Format::kA8R8G8B8;
            else return Fail(error, "true-colour TGA of an unknown depth");
            break;
        default:
            if (h->depth != 8) return Fail(error, "grey TGA other than 8 bits");
            h->format = Format::kL8;
            break;
    }
    h->mapOffset = kHeaderSize + data[kIdLengthAt];
    h->dataOffset = h->mapOffset + mapBytes;
    if (h->dataOffset > size) return Fail(error, "TGA file shorter than its identification field and colour map");
    return true;
}

// The layout of a true-colour texel or a colour-map entry of `bits` bits.
uint32_t TrueColourFormat(uint32_t bits) {
    switch (bits) {
        case 15: return Format::kX1R5G5B5;
        case 16: return Format::kA1R5G5B5;
        case 24: return Format::kR8G8B8;
        default: return Format::kA8R8G8B8;
    }
}

}  // namespace

bool LooksLikeTga(const uint8_t* data, size_t size) {
    if (!data || size < kHeaderSize) return false;
    const uint32_t depth = data[kDepthAt];
    return data[kMapTypeAt] <= 1 && ValidType(data[kImageTypeAt]) && Le16(data + kWidthAt) != 0 &&
           Le16(data + kHeightAt) != 0 && (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32) &&
           (data[kDescriptorAt] & 0xC0) == 0;
}

bool ReadTgaInfo(const uint8_t* data, size_t size, Info* info, std::string* error) {
    Header h;
    if (!ReadHeader(data, size, &h, error)) return false;
    *info = SingleLevelInfo(h.width, h.height, h.format, kFileTga);
    return true;
}

bool DecodeTga(const uint8_t* data, size_t size, Image* image, std::string* error) {
    Header h;
    if (!ReadTgaInfo(data, size, &image->info, error) || !ReadHeader(data, size, &h, error)) return false;
    const uint32_t texelBytes = (h.depth + 7) / 8;
    const uint64_t texels = static_cast<uint64_t>(h.width) * h.height;
    const size_t available = size - h.dataOffset;
    if (!h.rle && texels * texelBytes > available) return Fail(error, "TGA file shorter than its texels");
    if (h.rle && texels > available * kMaxTexelsPerRleByte) return Fail(error, "TGA file shorter than its texels");

    uint32_t map[256] = {};
    if (h.type == kMapped)  // 8-bit indices reach no further than the first 256 entries
        ToArgb(TrueColourFormat(h.mapEntryBits), data + h.mapOffset, std::min<uint32_t>(h.mapLength, 256), map);
    // One stored texel (true-colour and grey texels are laid out as the format says).
    auto convert = [&](const uint8_t* p, uint32_t* out) {
        if (h.type != kMapped) return ToArgb(h.format, p, 1, out);
        const uint32_t slot = p[0] - h.mapFirst;
        if (p[0] < h.mapFirst || slot >= h.mapLength) return false;
        *out = map[slot];
        return true;
    };

    // Texels in stored order, then turned as the origin bits say.
    Surface& s = SingleArgbSurface(image);
    uint32_t* out = s.Argb();
    const uint8_t* at = data + h.dataOffset;
    const uint8_t* end = data + size;
    if (!h.rle && h.type != kMapped) {
        ToArgb(h.format, at, texels, out);
    } else if (!h.rle) {
        for (uint64_t i = 0; i < texels; ++i, at += texelBytes)
            if (!convert(at, &out[i])) return Fail(error, "TGA colour index outside its colour map");
    } else {
        uint64_t i = 0;
        while (i < texels) {
            if (at >= end) return Fail(error, "TGA run-length data cut short");
            const uint8_t packet = *at++;
            const uint32_t count = (packet & 0x7F) + 1u;
            if (count > texels - i) return Fail(error, "TGA run-length packet past the last texel");
            const size_t need = (packet & 0x80) ? texelBytes : static_cast<size_t>(count) * texelBytes;
            if (static_cast<size_t>(end - at) < need) return Fail(error, "TGA run-length data cut short");
            if (packet & 0x80) {
                uint32_t v;
                if (!convert(at, &v)) return Fail(error, "TGA colour index outside its colour map");
                std::fill_n(out + i, count, v);
            } else if (h.type != kMapped) {
                ToArgb(h.format, at, count, out + i);
            } else {
                for (uint32_t k = 0; k < count; ++k)
                    if (!convert(at + k * texelBytes, &out[i + k]))
                        return Fail(error, "TGA colour index outside its colour map");
            }
            at += need;
            i += count;
        }
    }
    const size_t w = h.width;
    if (!(h.descriptor & kTopDown))
        for (uint32_t y = 0; y < h.height / 2; ++y) std::swap_ranges(out + y * w, out + (y + 1) * w, out + (h.height - 1 - y) * w);
    if (h.descriptor & kRightToLeft)
        for (uint32_t y = 0; y < h.height; ++y) std::reverse(out + y * w, out + (y + 1) * w);
    return true;
}

namespace {

void PutTexel(ByteWriter& w, uint32_t argb, uint32_t format, const std::vector<uint8_t>* indices, size_t index) {
    switch (format) {
        case Format::kP8: w.U8((*indices)[index]); break;
        case Format::kL8: {
            uint8_t l;
            FromArgb(Format::kL8, &argb, 1, &l);
            w.U8(l);
            break;
        }
        case Format::kA1R5G5B5:
        case Format::kX1R5G5B5: {
            uint8_t v[2];
            FromArgb(Format::kA1R5G5B5, &argb, 1, v);
            if (format == Format::kX1R5G5B5) v[1] &= 0x7F;
            w.Bytes(v, 2);
            break;
        }
        case Format::kR8G8B8:
            w.U8(argb);
            w.U8(argb >> 8);
            w.U8(argb >> 16);
            break;
        default: w.U32(argb); break;
    }
}

}  // namespace

bool EncodeTga(const Surface& argb, const TgaWriteOptions& options, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    const uint32_t format = options.format;
    uint32_t depth, type;
    switch (format) {
        case Format::kA8R8G8B8: depth = 32, type = kTrueColour; break;
        case Format::kR8G8B8: depth = 24, type = kTrueColour; break;
        case Format::kA1R5G5B5: depth = 16, type = kTrueColour; break;
        case Format::kX1R5G5B5: depth = 15, type = kTrueColour; break;
        case Format::kL8: depth = 8, type = kGrey; break;
        case Format::kP8: depth = 8, type = kMapped; break;
        default: return Fail(error, "TGA cannot be written in that format");
    }
    if (argb.width == 0 || argb.height == 0 || argb.width > 0xFFFF || argb.height > 0xFFFF)
        return Fail(error, "TGA sizes run from 1 to 65535");
    if (options.id.size() > 255) return Fail(error, "TGA identification longer than 255 bytes");
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
    const uint32_t mapBits = options.mapBits;
    if (format == Format::kP8) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
            return Fail(error, "TGA colour-map entries are 15, 16, 24 or 32 bits");
        if (!BuildPalette(argb, 256, &palette, &indices, error)) return false;
    }
    ByteWriter w(out);
    w.U8(static_cast<uint32_t>(options.id.size()));
    w.U8(format == Format::kP8 ? 1 : 0);
    w.U8(type | (options.rle ? kRle : 0));
    w.U16(0);
    w.U16(static_cast<uint32_t>(palette.size()));
    w.U8(format == Format::kP8 ? mapBits : 0);
    w.U16(0);
    w.U16(0);
    w.U16(argb.width);
    w.U16(argb.height);
    w.U8(depth);
    const uint32_t alphaBits = format == Format::kA8R8G8B8 ? 8 : format == Format::kA1R5G5B5 ? 1 : 0;
    w.U8(alphaBits | (options.topDown ? kTopDown : 0));
    w.Bytes(options.id.data(), options.id.size());
    for (uint32_t entry : palette) PutTexel(w, entry, TrueColourFormat(mapBits), nullptr, 0);

    for (uint32_t row = 0; row < argb.height; ++row) {
        const uint32_t y = options.topDown ? row : argb.height - 1 - row;
        const size_t base = static_cast<size_t>(y) * argb.width;
        const uint32_t* texels = argb.Argb() + base;
        if (!options.rle) {
            for (uint32_t x = 0; x < argb.width; ++x) PutTexel(w, texels[x], format, &indices, base + x);
            continue;
        }
        // Packets within the row: runs of two or more equal texels, raw stretches between.
        uint32_t x = 0;
        while (x < argb.width) {
            uint32_t run = 1;
            while (x + run < argb.width && run < 128 && texels[x + run] == texels[x]) ++run;
            if (run >= 2) {
                w.U8(0x80 | (run - 1));
                PutTexel(w, texels[x], format, &indices, base + x);
                x += run;
                continue;
            }
            uint32_t raw = 1;
            while (x + raw < argb.width && raw < 128 &&
                   !(x + raw + 1 < argb.width && texels[x + raw] == texels[x + raw + 1]))
                ++raw;
            w.U8(raw - 1);
            for (uint32_t k = 0; k < raw; ++k) PutTexel(w, texels[x + k], format, &indices, base + x + k);
            x += raw;
        }
    }
    return true;
}

}  // namespace PlatformImage
