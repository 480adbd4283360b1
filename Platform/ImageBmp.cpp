// BMP reading and writing; see ImageBmp.h. The file header's size field is not trusted
// (writers get it wrong); the texel offset is, and the rows it points at must lie in the
// file. A 32-bit bitmap whose alpha bytes are all zero has no alpha: it is X8R8G8B8 and
// reads opaque; one with any other alpha is A8R8G8B8. A run-length coded bitmap (8-bit
// indices, or 4-bit ones two to a byte) starts from colour index 0, so the texels its jumps
// and early row ends pass over take the first palette colour, and what its runs put
// outside the bitmap is dropped.
#include "ImageBmp.h"

#include "ImageBytes.h"
#include "ImageFormat.h"

#include <algorithm>
#include <bit>
#include <climits>

namespace PlatformImage {
namespace {

constexpr size_t kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr size_t kOffBitsAt = 10;       // where the texels start, in the file header
constexpr uint32_t kCoreHeader = 12, kInfoHeader = 40, kInfoV2 = 52, kInfoV3 = 56, kV4Header = 108,
                   kV5Header = 124;
// Compression values.
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;
// Fields of the info header and its successors, from the start of the header.
constexpr size_t kWidthAt = 4, kHeightAt = 8, kBitCountAt = 14, kCompressionAt = 16, kClrUsedAt = 32,
                 kMasksAt = 40;
// The most texels one byte of run-length data is allowed to stand for: a run of 255 takes
// two bytes, and rows end with two more.
constexpr uint64_t kMaxTexelsPerRleByte = 128;

struct Header {
    uint32_t headerSize, width, height, bits, compression;
    bool topDown;
    uint32_t masks[4];  // red, green, blue, alpha
    uint32_t paletteCount;
    size_t paletteOffset, paletteEntry, offBits;
    uint32_t format;
};

bool ReadHeader(const uint8_t* data, size_t size, Header* h, std::string* error) {
    if (!IsBmp(data, size)) return Fail(error, "not a BMP file");
    if (size < kFileHeaderSize + 4) return Fail(error, "BMP header cut short");
    const uint8_t* info = data + kFileHeaderSize;
    h->headerSize = Le32(info);
    const uint32_t hs = h->headerSize;
    if (hs != kCoreHeader && hs != kInfoHeader && hs != kInfoV2 && hs != kInfoV3 && hs != kV4Header && hs != kV5Header)
        return Fail(error, "BMP with a bitmap header of an unknown size");
    if (size < kFileHeaderSize + hs) return Fail(error, "BMP header cut short");
    int64_t height;
    if (hs == kCoreHeader) {
        h->width = Le16(info + 4);
        height = Le16(info + 6);
        h->bits = Le16(info + 10);
        h->compression = kBiRgb;
    } else {
        const int32_t width = LeI32(info + kWidthAt);
        if (width <= 0) return Fail(error, "BMP of zero or negative width");
        h->width = static_cast<uint32_t>(width);
        height = LeI32(info + kHeightAt);
        h->bits = Le16(info + kBitCountAt);
        h->compression = Le32(info + kCompressionAt);
    }
    h->topDown = height < 0;
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    if (h->width == 0 || rows == 0) return Fail(error, "BMP of zero width or height");
    if (h->width > kMaxDimension || rows > kMaxDimension) return Fail(error, "BMP larger than 16384 texels a side");
    h->height = static_cast<uint32_t>(rows);

    const uint32_t bits = h->bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(error, "BMP of an unsupported bit count");
    size_t afterHeader = kFileHeaderSize + hs;
    switch (h->compression) {
        case kBiRgb: break;
        case kBiRle8:
            if (bits != 8) return Fail(error, "BMP run-length coding for 8 bits on other than 8-bit texels");
            if (h->topDown) return Fail(error, "BMP top-down rows cannot be run-length coded");
            break;
        case kBiRle4:
            if (bits != 4) return Fail(error, "BMP run-length coding for 4 bits on other than 4-bit texels");
            if (h->topDown) return Fail(error, "BMP top-down rows cannot be run-length coded");
            break;
        case kBiBitfields:
        case kBiAlphaBitfields: {
            if (bits != 16 && bits != 32) return Fail(error, "BMP masks on texels other than 16 or 32 bits");
            const uint32_t count = h->compression == kBiAlphaBitfields ? 4 : 3;
            const uint8_t* masks = info + kMasksAt;
            // The masks a header does not hold follow it: all of them after a 40-byte header,
            // the alpha mask after a 52-byte one, which holds three; the later headers hold four.
            const uint32_t held = hs >= kInfoV3 ? 4 : hs == kInfoV2 ? 3 : 0;
            if (count > held) {
                if (size < afterHeader + 4 * (count - held)) return Fail(error, "BMP masks cut short");
                afterHeader += 4 * (count - held);
            }
            for (uint32_t i = 0; i < 4; ++i)
                h->masks[i] = i < count || hs >= kInfoV3 ? Le32(masks + 4 * i) : 0;
            for (uint32_t m : h->masks) {
                // Each mask must be one run of bits, or a mask could not be read as a channel.
                if (m && !std::has_single_bit((m >> std::countr_zero(m)) + 1ull))
                    return Fail(error, "BMP mask that is not one run of bits");
            }
            if (!h->masks[0] && !h->masks[1] && !h->masks[2]) return Fail(error, "BMP masks without colour");
            break;
        }
        default: return Fail(error, "BMP with an unsupported compression");
    }
    const bool runLength = h->compression == kBiRle8 || h->compression == kBiRle4;
    if (h->compression == kBiRgb || runLength) {
        // The usual masks: 5-5-5 for 16 bits, the bytes of the word for 32.
        if (bits == 16) {
            h->masks[0] = 0x7C00, h->masks[1] = 0x03E0, h->masks[2] = 0x001F, h->masks[3] = 0;
        } else {
            h->masks[0] = 0xFF0000, h->masks[1] = 0xFF00, h->masks[2] = 0xFF, h->masks[3] = bits == 32 ? 0xFF000000u : 0;
        }
    }

    h->paletteOffset = afterHeader;
    h->paletteEntry = hs == kCoreHeader ? 3 : 4;
    h->paletteCount = 0;
    if (bits <= 8) {
        const uint32_t used = hs == kCoreHeader ? 0 : Le32(info + kClrUsedAt);
        h->paletteCount = used == 0 || used > (1u << bits) ? 1u << bits : used;
        if (h->paletteOffset + h->paletteCount * h->paletteEntry > size) return Fail(error, "BMP palette cut short");
    }
    h->offBits = Le32(data + kOffBitsAt);
    if (h->offBits < kFileHeaderSize + hs || h->offBits > size) return Fail(error, "BMP texel offset outside the file");

    const uint64_t available = size - h->offBits;
    const uint64_t stride = (static_cast<uint64_t>(h->width) * bits + 31) / 32 * 4;
    if (runLength) {
        if (static_cast<uint64_t>(h->width) * h->height > available * kMaxTexelsPerRleByte)
            return Fail(error, "BMP file shorter than its run-length data");
    } else if (stride * h->height > available) {
        return Fail(error, "BMP file shorter than its texels");
    }

    if (bits <= 8) {
        h->format = Format::kP8;
    } else if (bits == 24) {
        h->format = Format::kR8G8B8;
    } else {
        const uint32_t* m = h->masks;
        h->format = FormatFromMasks(MaskKind::kRgb, bits, m[0], m[1], m[2], m[3]);
        if (h->format == Format::kUnknown) h->format = m[3] ? Format::kA8R8G8B8 : Format::kX8R8G8B8;
    }
    return true;
}

// A channel of arbitrary mask, widened to 8 bits.
struct MaskChannel {
    uint32_t mask = 0, shift = 0, max = 0;
    explicit MaskChannel(uint32_t m) : mask(m) {
        if (m) {
            shift = static_cast<uint32_t>(std::countr_zero(m));
            max = m >> shift;
        }
    }
    uint32_t Read(uint32_t v, uint32_t absent) const {
        if (!mask) return absent;
        return static_cast<uint32_t>(((static_cast<uint64_t>(v & mask) >> shift) * 255 + max / 2) / max);
    }
};

bool AlphaAllZero(const uint8_t* data, const Header& h) {
    if (h.bits != 32 || !h.masks[3]) return false;
    const uint8_t* rows = data + h.offBits;
    for (uint64_t i = 0, n = static_cast<uint64_t>(h.width) * h.height; i < n; ++i)
        if (Le32(rows + 4 * i) & h.masks[3]) return false;
    return true;
}

// Index `i` of a run of packed indices: whole bytes for 8 bits, for 4 bits the high
// nibble first.
uint8_t PackedIndex(const uint8_t* values, uint32_t i, uint32_t bits) {
    if (bits == 8) return values[i];
    return static_cast<uint8_t>(i & 1 ? values[i / 2] & 0x0F : values[i / 2] >> 4);
}

// Both codings share their marks (end of row, end of bitmap, jump, stretch of indices as
// they are); a run of 4-bit indices repeats its byte's two nibbles in turn.
bool DecodeRle(const uint8_t* at, const uint8_t* end, const Header& h, const uint32_t* palette, Surface* s,
               std::string* error) {
    std::vector<uint8_t> indices(static_cast<size_t>(h.width) * h.height, 0);
    // Texels that fall outside the bitmap are dropped, as Windows drops them: writers code
    // the padding of a row as texels, and runs may reach past the last row.
    uint32_t x = 0, row = 0;  // rows counted from the bottom; both held to the bitmap's edge
    auto put = [&](const uint8_t* values, uint32_t n, bool repeat) {
        if (row >= h.height) return;
        const uint32_t kept = std::min(n, h.width - x);
        uint8_t* dst = indices.data() + static_cast<size_t>(row) * h.width + x;
        for (uint32_t i = 0; i < kept; ++i)
            dst[i] = repeat ? PackedIndex(values, h.bits == 8 ? 0 : i & 1, h.bits) : PackedIndex(values, i, h.bits);
        x += kept;
    };
    for (;;) {
        if (end - at < 2) {
            if (row >= h.height) break;  // every row ended, without the end-of-bitmap mark
            return Fail(error, "BMP run-length data cut short");
        }
        const uint8_t count = at[0], value = at[1];
        at += 2;
        if (count > 0) {
            put(&at[-1], count, true);
        } else if (value == 0) {  // end of row
            x = 0;
            row = std::min(row + 1, h.height);
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // jump right and up
            if (end - at < 2) return Fail(error, "BMP run-length data cut short");
            x = std::min<uint32_t>(x + at[0], h.width);
            row = std::min<uint32_t>(row + at[1], h.height);
            at += 2;
        } else {  // `value` indices as they are, their bytes padded to an even count
            const size_t bytes = h.bits == 8 ? value : (value + 1u) / 2;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (static_cast<size_t>(end - at) < padded) return Fail(error, "BMP run-length data cut short");
            put(at, value, false);
            at += padded;
        }
    }
    for (uint32_t r = 0; r < h.height; ++r) {
        const uint32_t y = h.height - 1 - r;
        for (uint32_t i = 0; i < h.width; ++i)
            s->Argb()[static_cast<size_t>(y) * h.width + i] = palette[indices[static_cast<size_t>(r) * h.width + i]];
    }
    return true;
}

}  // namespace

bool IsBmp(const uint8_t* data, size_t size) { return data && size >= 2 && data[0] == 'B' && data[1] == 'M'; }

bool ReadBmpInfo(const uint8_t* data, size_t size, Info* info, std::string* error) {
    Header h;
    if (!ReadHeader(data, size, &h, error)) return false;
    const bool opaque = h.format == Format::kA8R8G8B8 && AlphaAllZero(data, h);
    *info = SingleLevelInfo(h.width, h.height, opaque ? Format::kX8R8G8B8 : h.format, kFileBmp);
    return true;
}

bool DecodeBmp(const uint8_t* data, size_t size, Image* image, std::string* error) {
    Header h;
    if (!ReadBmpInfo(data, size, &image->info, error) || !ReadHeader(data, size, &h, error)) return false;
    uint32_t palette[256];
    std::fill(palette, palette + 256, 0xFF000000u);  // indices past the palette read black
    for (uint32_t i = 0; i < h.paletteCount; ++i) {
        const uint8_t* e = data + h.paletteOffset + i * h.paletteEntry;
        palette[i] = 0xFF000000u | static_cast<uint32_t>(e[2]) << 16 | e[1] << 8 | e[0];
    }
    Surface& s = SingleArgbSurface(image);
    if (h.compression == kBiRle8 || h.compression == kBiRle4)
        return DecodeRle(data + h.offBits, data + size, h, palette, &s, error);

    const bool opaque = image->info.format == Format::kX8R8G8B8;
    const MaskChannel r(h.masks[0]), g(h.masks[1]), b(h.masks[2]), a(opaque ? 0 : h.masks[3]);
    const size_t stride = (static_cast<size_t>(h.width) * h.bits + 31) / 32 * 4;
    for (uint32_t row = 0; row < h.height; ++row) {
        const uint8_t* src = data + h.offBits + row * stride;
        uint32_t* dst = s.Argb() + static_cast<size_t>(h.topDown ? row : h.height - 1 - row) * h.width;
        switch (h.bits) {
            case 1:
            case 4:
            case 8: {
                const uint32_t perByte = 8 / h.bits, mask = (1u << h.bits) - 1;
                for (uint32_t x = 0; x < h.width; ++x) {
                    const uint32_t shift = 8 - h.bits * (x % perByte + 1);
                    dst[x] = palette[src[x / perByte] >> shift & mask];
                }
                break;
            }
            case 24:
                for (uint32_t x = 0; x < h.width; ++x)
                    dst[x] = 0xFF000000u | static_cast<uint32_t>(src[3 * x + 2]) << 16 | src[3 * x + 1] << 8 | src[3 * x];
                break;
            default:
                if (h.bits == 32 && h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF) {
                    // The usual layout: the texels are A8R8G8B8 (or X8R8G8B8) already.
                    ToArgb(a.mask == 0xFF000000u ? Format::kA8R8G8B8 : Format::kX8R8G8B8, src, h.width, dst);
                    break;
                }
                for (uint32_t x = 0; x < h.width; ++x) {
                    const uint32_t v = h.bits == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
                    dst[x] = a.Read(v, 255) << 24 | r.Read(v, 0) << 16 | g.Read(v, 0) << 8 | b.Read(v, 0);
                }
                break;
        }
    }
    return true;
}

namespace {

// Codes one row of indices, 8-bit or 4-bit: runs of two or more, stretches of three or
// more as they are (4-bit ones two to a byte), and single texels as runs of one. The
// end-of-row mark is the caller's.
void RleRow(const uint8_t* row, uint32_t width, uint32_t bits, ByteWriter& w) {
    const uint8_t spread = bits == 8 ? 1 : 0x11;  // a 4-bit run's byte holds its index twice
    uint32_t x = 0;
    while (x < width) {
        uint32_t run = 1;
        while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
        if (run >= 2) {
            w.U8(run);
            w.U8(row[x] * spread);
            x += run;
            continue;
        }
        uint32_t raw = 1;
        while (x + raw < width && raw < 255 && !(x + raw + 1 < width && row[x + raw] == row[x + raw + 1])) ++raw;
        if (raw < 3) {
            for (uint32_t k = 0; k < raw; ++k) {
                w.U8(1);
                w.U8(row[x + k] * spread);
            }
        } else {
            w.U8(0);
            w.U8(raw);
            size_t bytes = raw;
            if (bits == 8) {
                w.Bytes(row + x, raw);
            } else {
                bytes = (raw + 1) / 2;
                for (uint32_t k = 0; k < raw; k += 2)
                    w.U8(static_cast<uint8_t>(row[x + k] << 4 | (k + 1 < raw ? row[x + k + 1] : 0)));
            }
            if (bytes & 1) w.U8(0);
        }
        x += raw;
    }
}

// The run-length data of a whole bitmap, bottom row first. With jumps, a row ends after
// its last texel of another index than 0, rows of index 0 alone are jumped over, and the
// bitmap ends after its last such row: a reader starts every texel at index 0.
void RleBitmap(const std::vector<uint8_t>& indices, uint32_t width, uint32_t height, uint32_t bits, bool jumps,
               ByteWriter& w) {
    uint32_t blank = 0;  // rows of index 0 not yet coded
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* row = indices.data() + static_cast<size_t>(height - 1 - r) * width;
        uint32_t used = width;
        if (jumps)
            while (used > 0 && row[used - 1] == 0) --used;
        if (jumps && used == 0) {
            ++blank;
            continue;
        }
        for (; blank > 0; blank -= std::min(blank, 255u)) {
            w.U8(0);  // jump straight up, staying at the row's start
            w.U8(2);
            w.U8(0);
            w.U8(std::min(blank, 255u));
        }
        RleRow(row, used, bits, w);
        w.U8(0);  // end of row
        w.U8(0);
    }
    w.U8(0);  // end of bitmap
    w.U8(1);
}

}  // namespace

bool EncodeBmp(const Surface& argb, const BmpWriteOptions& options, std::vector<uint8_t>* out, std::string* error) {
    out->clear();
    const uint32_t bits = options.bits, hs = options.headerSize;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(error, "BMP is written with 1, 4, 8, 16, 24 or 32 bits");
    if (hs != kCoreHeader && hs != kInfoHeader && hs != kV4Header && hs != kV5Header)
        return Fail(error, "BMP headers are written with 12, 40, 108 or 124 bytes");
    if (argb.width == 0 || argb.height == 0 || argb.width > kMaxDimension || argb.height > kMaxDimension)
        return Fail(error, "BMP sizes run from 1 to 16384");
    if (hs == kCoreHeader && (bits == 16 || bits == 32 || options.topDown))
        return Fail(error, "the core header holds neither masks nor top-down rows");
    if (options.rle && ((bits != 8 && bits != 4) || options.topDown || hs == kCoreHeader))
        return Fail(error, "run-length coding is for bottom-up 4 or 8 bits, with a header that can say so");

    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
    if (bits <= 8 && !BuildPalette(argb, 1u << bits, &palette, &indices, error)) return false;
    uint32_t compression = kBiRgb;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (bits == 16 && options.rgb565) {
        compression = kBiBitfields;
        masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
    } else if (bits == 32 && hs >= kV4Header) {
        compression = kBiBitfields;
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0xFF000000u;
    }
    if (options.rle) compression = bits == 8 ? kBiRle8 : kBiRle4;

    // The texels first, so that the run-length size is known for the header.
    std::vector<uint8_t> texels;
    ByteWriter t(&texels);
    const size_t stride = (static_cast<size_t>(argb.width) * bits + 31) / 32 * 4;
    if (options.rle) {
        RleBitmap(indices, argb.width, argb.height, bits, options.rleJumps, t);
        // Jumps may make the data shorter than a reader allows for the bitmap's size (the
        // guard against a small file making a large image): then it goes without them.
        if (options.rleJumps && texels.size() * kMaxTexelsPerRleByte < uint64_t{argb.width} * argb.height) {
            texels.clear();
            RleBitmap(indices, argb.width, argb.height, bits, false, t);
        }
    }
    for (uint32_t row = 0; !options.rle && row < argb.height; ++row) {
        const uint32_t y = options.topDown ? row : argb.height - 1 - row;
        const size_t base = static_cast<size_t>(y) * argb.width;
        const uint32_t* src = argb.Argb() + base;
        const size_t start = t.Size();
        if (bits <= 8) {
            std::vector<uint8_t> packed((argb.width * bits + 7) / 8, 0);
            const uint32_t perByte = 8 / bits;
            for (uint32_t x = 0; x < argb.width; ++x)
                packed[x / perByte] = static_cast<uint8_t>(packed[x / perByte] |
                                                           indices[base + x] << (8 - bits * (x % perByte + 1)));
            t.Bytes(packed.data(), packed.size());
        } else {
            for (uint32_t x = 0; x < argb.width; ++x) {
                const uint32_t p = src[x];
                if (bits == 16) {
                    uint8_t v[2];
                    FromArgb(options.rgb565 ? Format::kR5G6B5 : Format::kX1R5G5B5, &p, 1, v);
                    t.Bytes(v, 2);
                } else if (bits == 24) {
                    t.U8(p);
                    t.U8(p >> 8);
                    t.U8(p >> 16);
                } else {
                    t.U32(p);
                }
            }
        }
        t.Zeros(stride - (t.Size() - start));
    }

    ByteWriter w(out);
    const size_t maskBytes = hs == kInfoHeader && compression == kBiBitfields ? 12 : 0;
    // The core header's palette always has 2^bits entries; the others say how many follow.
    const size_t paletteEntry = hs == kCoreHeader ? 3 : 4;
    const size_t paletteCount = palette.empty() ? 0 : hs == kCoreHeader ? 1u << bits : palette.size();
    const size_t paletteBytes = paletteCount * paletteEntry;
    const size_t offBits = kFileHeaderSize + hs + maskBytes + paletteBytes;
    w.U8('B');
    w.U8('M');
    w.U32(static_cast<uint32_t>(offBits + texels.size()));
    w.U32(0);
    w.U32(static_cast<uint32_t>(offBits));
    w.U32(hs);
    if (hs == kCoreHeader) {
        w.U16(argb.width);
        w.U16(argb.height);
        w.U16(1);
        w.U16(bits);
    } else {
        w.U32(argb.width);
        w.U32(options.topDown ? static_cast<uint32_t>(-static_cast<int32_t>(argb.height)) : argb.height);
        w.U16(1);
        w.U16(bits);
        w.U32(compression);
        w.U32(static_cast<uint32_t>(texels.size()));
        w.U32(2835);  // 72 dots per inch
        w.U32(2835);
        w.U32(static_cast<uint32_t>(paletteCount));
        w.U32(0);
        if (hs >= kV4Header) {
            for (uint32_t m : masks) w.U32(m);
            w.U32(0x73524742);  // LCS_sRGB
            w.Zeros(36 + 12);   // end points and gamma, unused with sRGB
            if (hs == kV5Header) {
                w.U32(4);  // LCS_GM_IMAGES
                w.Zeros(12);
            }
        } else if (maskBytes) {
            for (int i = 0; i < 3; ++i) w.U32(masks[i]);
        }
    }
    for (size_t i = 0; i < paletteCount; ++i) {
        const uint32_t p = i < palette.size() ? palette[i] : 0;
        w.U8(p);
        w.U8(p >> 8);
        w.U8(p >> 16);
        if (hs != kCoreHeader) w.U8(0);
    }
    w.Bytes(texels.data(), texels.size());
    return true;
}

}  // namespace PlatformImage
