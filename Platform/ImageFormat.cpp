// The format table and the conversions it drives; see ImageFormat.h.
#include "ImageFormat.h"

#include "ImageBytes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace PlatformImage {
namespace {

// One channel in a texel word: where it starts, how wide it is, whether it is signed.
struct Channel {
    uint8_t shift = 0;
    uint8_t bits = 0;
    bool isSigned = false;
};

enum class Kind : uint8_t { kChannels, kHalf, kFloat, kPalette, kBlock, kPacked };

// Channel slots: red or U, green or V, blue or W or a bump format's luminance, alpha or Q,
// and a luminance that stands for all three colours.
enum Slot { kR, kG, kB, kA, kL, kSlots };

struct Layout {
    uint32_t format;
    uint8_t bits;  // per texel
    Kind kind;
    MaskKind maskKind;
    Channel c[kSlots];
    uint8_t components;  // floating-point formats: R, G, B, A in that order
    uint64_t unusedBits = 0;  // bits no channel holds (set by the table's builder below)
};

constexpr Channel U(uint8_t shift, uint8_t bits) { return Channel{shift, bits, false}; }
constexpr Channel S(uint8_t shift, uint8_t bits) { return Channel{shift, bits, true}; }
constexpr Channel N() { return Channel{}; }

constexpr Layout kLayouts[] = {
    {Format::kR8G8B8, 24, Kind::kChannels, MaskKind::kRgb, {U(16, 8), U(8, 8), U(0, 8), N(), N()}, 0},
    {Format::kA8R8G8B8, 32, Kind::kChannels, MaskKind::kRgb, {U(16, 8), U(8, 8), U(0, 8), U(24, 8), N()}, 0},
    {Format::kX8R8G8B8, 32, Kind::kChannels, MaskKind::kRgb, {U(16, 8), U(8, 8), U(0, 8), N(), N()}, 0},
    {Format::kR5G6B5, 16, Kind::kChannels, MaskKind::kRgb, {U(11, 5), U(5, 6), U(0, 5), N(), N()}, 0},
    {Format::kX1R5G5B5, 16, Kind::kChannels, MaskKind::kRgb, {U(10, 5), U(5, 5), U(0, 5), N(), N()}, 0},
    {Format::kA1R5G5B5, 16, Kind::kChannels, MaskKind::kRgb, {U(10, 5), U(5, 5), U(0, 5), U(15, 1), N()}, 0},
    {Format::kA4R4G4B4, 16, Kind::kChannels, MaskKind::kRgb, {U(8, 4), U(4, 4), U(0, 4), U(12, 4), N()}, 0},
    {Format::kR3G3B2, 8, Kind::kChannels, MaskKind::kRgb, {U(5, 3), U(2, 3), U(0, 2), N(), N()}, 0},
    {Format::kA8, 8, Kind::kChannels, MaskKind::kAlpha, {N(), N(), N(), U(0, 8), N()}, 0},
    {Format::kA8R3G3B2, 16, Kind::kChannels, MaskKind::kRgb, {U(5, 3), U(2, 3), U(0, 2), U(8, 8), N()}, 0},
    {Format::kX4R4G4B4, 16, Kind::kChannels, MaskKind::kRgb, {U(8, 4), U(4, 4), U(0, 4), N(), N()}, 0},
    {Format::kA2B10G10R10, 32, Kind::kChannels, MaskKind::kRgb, {U(0, 10), U(10, 10), U(20, 10), U(30, 2), N()}, 0},
    {Format::kA8B8G8R8, 32, Kind::kChannels, MaskKind::kRgb, {U(0, 8), U(8, 8), U(16, 8), U(24, 8), N()}, 0},
    {Format::kX8B8G8R8, 32, Kind::kChannels, MaskKind::kRgb, {U(0, 8), U(8, 8), U(16, 8), N(), N()}, 0},
    {Format::kG16R16, 32, Kind::kChannels, MaskKind::kRgb, {U(0, 16), U(16, 16), N(), N(), N()}, 0},
    {Format::kA2R10G10B10, 32, Kind::kChannels, MaskKind::kRgb, {U(20, 10), U(10, 10), U(0, 10), U(30, 2), N()}, 0},
    {Format::kA16B16G16R16, 64, Kind::kChannels, MaskKind::kRgb, {U(0, 16), U(16, 16), U(32, 16), U(48, 16), N()}, 0},
    {Format::kL8, 8, Kind::kChannels, MaskKind::kLuminance, {N(), N(), N(), N(), U(0, 8)}, 0},
    {Format::kA8L8, 16, Kind::kChannels, MaskKind::kLuminance, {N(), N(), N(), U(8, 8), U(0, 8)}, 0},
    {Format::kA4L4, 8, Kind::kChannels, MaskKind::kLuminance, {N(), N(), N(), U(4, 4), U(0, 4)}, 0},
    {Format::kL16, 16, Kind::kChannels, MaskKind::kLuminance, {N(), N(), N(), N(), U(0, 16)}, 0},
    {Format::kV8U8, 16, Kind::kChannels, MaskKind::kBump, {S(0, 8), S(8, 8), N(), N(), N()}, 0},
    {Format::kL6V5U5, 16, Kind::kChannels, MaskKind::kBumpLuminance, {S(0, 5), S(5, 5), U(10, 6), N(), N()}, 0},
    {Format::kX8L8V8U8, 32, Kind::kChannels, MaskKind::kBumpLuminance, {S(0, 8), S(8, 8), U(16, 8), N(), N()}, 0},
    {Format::kQ8W8V8U8, 32, Kind::kChannels, MaskKind::kBump, {S(0, 8), S(8, 8), S(16, 8), S(24, 8), N()}, 0},
    {Format::kV16U16, 32, Kind::kChannels, MaskKind::kBump, {S(0, 16), S(16, 16), N(), N(), N()}, 0},
    {Format::kA2W10V10U10, 32, Kind::kChannels, MaskKind::kBump, {S(0, 10), S(10, 10), S(20, 10), U(30, 2), N()}, 0},
    {Format::kQ16W16V16U16, 64, Kind::kChannels, MaskKind::kBump, {S(0, 16), S(16, 16), S(32, 16), S(48, 16), N()}, 0},
    {Format::kR16F, 16, Kind::kHalf, MaskKind::kRgb, {}, 1},
    {Format::kG16R16F, 32, Kind::kHalf, MaskKind::kRgb, {}, 2},
    {Format::kA16B16G16R16F, 64, Kind::kHalf, MaskKind::kRgb, {}, 4},
    {Format::kR32F, 32, Kind::kFloat, MaskKind::kRgb, {}, 1},
    {Format::kG32R32F, 64, Kind::kFloat, MaskKind::kRgb, {}, 2},
    {Format::kA32B32G32R32F, 128, Kind::kFloat, MaskKind::kRgb, {}, 4},
    {Format::kP8, 8, Kind::kPalette, MaskKind::kRgb, {}, 0},
    {Format::kA8P8, 16, Kind::kPalette, MaskKind::kRgb, {}, 0},
    {Format::kDxt1, 4, Kind::kBlock, MaskKind::kRgb, {}, 0},
    {Format::kDxt2, 8, Kind::kBlock, MaskKind::kRgb, {}, 0},
    {Format::kDxt3, 8, Kind::kBlock, MaskKind::kRgb, {}, 0},
    {Format::kDxt4, 8, Kind::kBlock, MaskKind::kRgb, {}, 0},
    {Format::kDxt5, 8, Kind::kBlock, MaskKind::kRgb, {}, 0},
    {Format::kUyvy, 16, Kind::kPacked, MaskKind::kRgb, {}, 0},
    {Format::kYuy2, 16, Kind::kPacked, MaskKind::kRgb, {}, 0},
    {Format::kR8G8B8G8, 16, Kind::kPacked, MaskKind::kRgb, {}, 0},
    {Format::kG8R8G8B8, 16, Kind::kPacked, MaskKind::kRgb, {}, 0},
};

uint64_t Mask64(uint32_t bits) { return bits >= 64 ? ~0ull : (1ull << bits) - 1; }

// The table with each format's unused bits worked out, built once.
struct Table {
    Layout layouts[std::size(kLayouts)];
    const Layout* byNumber[128] = {};  // the formats numbered below 128, for a direct look-up
    Table() {
        for (size_t i = 0; i < std::size(kLayouts); ++i) {
            layouts[i] = kLayouts[i];
            Layout& l = layouts[i];
            if (l.kind != Kind::kChannels) continue;
            uint64_t used = 0;
            for (const Channel& c : l.c)
                if (c.bits) used |= Mask64(c.bits) << c.shift;
            l.unusedBits = Mask64(l.bits) & ~used;
        }
        for (const Layout& l : layouts)
            if (l.format < std::size(byNumber)) byNumber[l.format] = &l;
    }
};

const Layout* Find(uint32_t format) {
    static const Table table;
    if (format < std::size(table.byNumber)) return table.byNumber[format];
    for (const Layout& layout : table.layouts)
        if (layout.format == format) return &layout;
    return nullptr;
}

uint32_t MaskOf(const Channel& c) { return c.bits ? static_cast<uint32_t>(Mask64(c.bits) << c.shift) : 0; }

// Widening and narrowing of unsigned channels of 1 to 8 bits, by table: the rounding
// division is the slow part of a conversion.
struct ScaleTables {
    uint8_t widen[9][256] = {};   // [bits][value] -> 8 bits
    uint8_t narrow[9][256] = {};  // [bits][8-bit value] -> bits
    ScaleTables() {
        for (uint32_t bits = 1; bits <= 8; ++bits) {
            const uint32_t max = (1u << bits) - 1;
            for (uint32_t v = 0; v <= max; ++v) widen[bits][v] = static_cast<uint8_t>((v * 255 + max / 2) / max);
            for (uint32_t v = 0; v < 256; ++v) narrow[bits][v] = static_cast<uint8_t>((v * max + 127) / 255);
        }
    }
};
const ScaleTables& Scales() {
    static const ScaleTables tables;
    return tables;
}

uint8_t Read8(const Channel& c, uint64_t word) {
    const uint64_t v = (word >> c.shift) & Mask64(c.bits);
    if (c.isSigned) {
        // Sign-extend, then scale to 8 signed bits and offset by 128.
        const int64_t s = static_cast<int64_t>(v << (64 - c.bits)) >> (64 - c.bits);
        const int64_t s8 = c.bits <= 8 ? s * (1 << (8 - c.bits)) : s >> (c.bits - 8);
        return static_cast<uint8_t>(s8 + 128);
    }
    const uint64_t max = Mask64(c.bits);
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

uint64_t Write8(const Channel& c, uint32_t value8) {
    uint64_t v;
    if (c.isSigned) {
        const int64_t s = static_cast<int64_t>(value8) - 128;
        const int64_t sn = c.bits <= 8 ? s >> (8 - c.bits) : s * (int64_t{1} << (c.bits - 8));
        v = static_cast<uint64_t>(sn);
    } else {
        const uint64_t max = Mask64(c.bits);
        v = (value8 * max + 127) / 255;
    }
    return (v & Mask64(c.bits)) << c.shift;
}

// A channel made ready for a run of texels: small unsigned channels go through a table.
struct Prepared {
    Channel c;
    uint64_t mask = 0;
    const uint8_t* table = nullptr;
    Prepared(const Channel& channel, bool widen) : c(channel), mask(Mask64(channel.bits)) {
        if (c.bits && c.bits <= 8 && !c.isSigned) table = widen ? Scales().widen[c.bits] : Scales().narrow[c.bits];
    }
    uint32_t Read(uint64_t word, uint32_t absent) const {
        if (!c.bits) return absent;
        return table ? table[(word >> c.shift) & mask] : Read8(c, word);
    }
    uint64_t Write(uint32_t value8) const {
        if (!c.bits) return 0;
        return table ? static_cast<uint64_t>(table[value8]) << c.shift : Write8(c, value8);
    }
};

uint32_t Luminance(uint32_t argb) {
    const uint32_t r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    return (2125 * r + 7154 * g + 721 * b + 5000) / 10000;
}

uint8_t FloatTo8(float f) {
    if (!(f > 0.0f)) return 0;  // negative and not-a-number
    if (f >= 1.0f) return 255;
    return static_cast<uint8_t>(f * 255.0f + 0.5f);
}

uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// ---- DXT blocks ----

uint32_t BlockBytes(uint32_t format) { return format == Format::kDxt1 ? 8 : 16; }

void Expand565(uint32_t c, uint32_t* r, uint32_t* g, uint32_t* b) {
    const uint32_t r5 = c >> 11 & 31, g6 = c >> 5 & 63, b5 = c & 31;
    *r = r5 << 3 | r5 >> 2;
    *g = g6 << 2 | g6 >> 4;
    *b = b5 << 3 | b5 >> 2;
}

// The four colours of a colour block; `threeColour` is DXT1's mode with a transparent fourth.
void BlockPalette(uint16_t c0, uint16_t c1, bool allowThree, uint32_t out[4]) {
    uint32_t r0, g0, b0, r1, g1, b1;
    Expand565(c0, &r0, &g0, &b0);
    Expand565(c1, &r1, &g1, &b1);
    out[0] = Pack(255, r0, g0, b0);
    out[1] = Pack(255, r1, g1, b1);
    if (c0 > c1 || !allowThree) {
        out[2] = Pack(255, (2 * r0 + r1 + 1) / 3, (2 * g0 + g1 + 1) / 3, (2 * b0 + b1 + 1) / 3);
        out[3] = Pack(255, (r0 + 2 * r1 + 1) / 3, (g0 + 2 * g1 + 1) / 3, (b0 + 2 * b1 + 1) / 3);
    } else {
        out[2] = Pack(255, (r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2);
        out[3] = 0;
    }
}

void AlphaPalette(uint32_t a0, uint32_t a1, uint32_t out[8]) {
    out[0] = a0;
    out[1] = a1;
    if (a0 > a1) {
        for (uint32_t i = 2; i < 8; ++i) out[i] = ((8 - i) * a0 + (i - 1) * a1 + 3) / 7;
    } else {
        for (uint32_t i = 2; i < 6; ++i) out[i] = ((6 - i) * a0 + (i - 1) * a1 + 2) / 5;
        out[6] = 0;
        out[7] = 255;
    }
}

void DecodeBlock(uint32_t format, const uint8_t* block, uint32_t texels[16]) {
    const uint8_t* colour = format == Format::kDxt1 ? block : block + 8;
    uint32_t palette[4];
    BlockPalette(Le16(colour), Le16(colour + 2), format == Format::kDxt1, palette);
    const uint32_t indices = Le32(colour + 4);
    for (int i = 0; i < 16; ++i) texels[i] = palette[indices >> (2 * i) & 3];
    if (format == Format::kDxt2 || format == Format::kDxt3) {
        for (int i = 0; i < 16; ++i) {
            const uint32_t a4 = block[i / 2] >> (4 * (i & 1)) & 15;
            texels[i] = (texels[i] & 0xFFFFFF) | (a4 * 17) << 24;
        }
    } else if (format == Format::kDxt4 || format == Format::kDxt5) {
        uint32_t alphas[8];
        AlphaPalette(block[0], block[1], alphas);
        uint64_t bits = 0;
        for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
        for (int i = 0; i < 16; ++i) texels[i] = (texels[i] & 0xFFFFFF) | alphas[bits >> (3 * i) & 7] << 24;
    }
}

uint16_t To565(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint16_t>((r * 31 + 127) / 255 << 11 | (g * 63 + 127) / 255 << 5 | (b * 31 + 127) / 255);
}

uint32_t Distance(uint32_t x, uint32_t y) {
    const int dr = static_cast<int>(x >> 16 & 0xFF) - static_cast<int>(y >> 16 & 0xFF);
    const int dg = static_cast<int>(x >> 8 & 0xFF) - static_cast<int>(y >> 8 & 0xFF);
    const int db = static_cast<int>(x & 0xFF) - static_cast<int>(y & 0xFF);
    return static_cast<uint32_t>(dr * dr + dg * dg + db * db);
}

// Codes one block from its texels; `valid` marks the texels inside the surface.
void EncodeBlock(uint32_t format, const uint32_t texels[16], const bool valid[16], uint8_t* block) {
    // The ends of the colour line are the two texels farthest apart (of those that count:
    // DXT1's transparent texels take no colour).
    bool transparent = false, counts[16];
    uint32_t alphaLo = 255, alphaHi = 0;
    for (int i = 0; i < 16; ++i) {
        const uint32_t a = texels[i] >> 24;
        counts[i] = valid[i] && !(format == Format::kDxt1 && a < 128);
        transparent |= valid[i] && !counts[i];
        if (!valid[i]) continue;
        alphaLo = std::min(alphaLo, a);
        alphaHi = std::max(alphaHi, a);
    }
    uint32_t ends[2] = {0, 0}, farthest = 0;
    bool any = false;
    for (int i = 0; i < 16; ++i) {
        if (!counts[i]) continue;
        if (!any) ends[0] = ends[1] = texels[i], any = true;
        for (int j = i + 1; j < 16; ++j) {
            if (!counts[j]) continue;
            const uint32_t d = Distance(texels[i], texels[j]);
            if (d > farthest) farthest = d, ends[0] = texels[i], ends[1] = texels[j];
        }
    }
    uint16_t c0 = To565(ends[0] >> 16 & 0xFF, ends[0] >> 8 & 0xFF, ends[0] & 0xFF);
    uint16_t c1 = To565(ends[1] >> 16 & 0xFF, ends[1] >> 8 & 0xFF, ends[1] & 0xFF);
    // Four colours need c0 > c1; DXT1's transparent texels need the three-colour mode.
    if (transparent ? c0 > c1 : c0 < c1) std::swap(c0, c1);
    uint32_t palette[4];
    BlockPalette(c0, c1, format == Format::kDxt1, palette);
    const bool three = format == Format::kDxt1 && c0 <= c1;
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        uint32_t best = 0;
        if (three && transparent && valid[i] && texels[i] >> 24 < 128) {
            best = 3;
        } else if (valid[i]) {
            uint32_t bestDistance = ~0u;
            for (uint32_t k = 0; k < (three ? 3u : 4u); ++k) {
                const uint32_t d = Distance(texels[i], palette[k]);
                if (d < bestDistance) bestDistance = d, best = k;
            }
        }
        indices |= best << (2 * i);
    }
    uint8_t* colour = format == Format::kDxt1 ? block : block + 8;
    colour[0] = static_cast<uint8_t>(c0);
    colour[1] = static_cast<uint8_t>(c0 >> 8);
    colour[2] = static_cast<uint8_t>(c1);
    colour[3] = static_cast<uint8_t>(c1 >> 8);
    for (int i = 0; i < 4; ++i) colour[4 + i] = static_cast<uint8_t>(indices >> (8 * i));

    if (format == Format::kDxt2 || format == Format::kDxt3) {
        std::memset(block, 0, 8);
        for (int i = 0; i < 16; ++i) {
            const uint32_t a4 = valid[i] ? ((texels[i] >> 24) * 15 + 127) / 255 : 15;
            block[i / 2] = static_cast<uint8_t>(block[i / 2] | a4 << (4 * (i & 1)));
        }
    } else if (format == Format::kDxt4 || format == Format::kDxt5) {
        if (alphaLo > alphaHi) alphaLo = alphaHi = 255;
        uint32_t alphas[8];
        AlphaPalette(alphaHi, alphaLo, alphas);
        uint64_t bits = 0;
        for (int i = 0; i < 16; ++i) {
            uint32_t best = 0;
            if (valid[i] && alphaHi != alphaLo) {
                const int a = static_cast<int>(texels[i] >> 24);
                int bestDistance = 1 << 30;
                for (uint32_t k = 0; k < 8; ++k) {
                    const int d = std::abs(a - static_cast<int>(alphas[k]));
                    if (d < bestDistance) bestDistance = d, best = k;
                }
            }
            bits |= static_cast<uint64_t>(best) << (3 * i);
        }
        block[0] = static_cast<uint8_t>(alphaHi);
        block[1] = static_cast<uint8_t>(alphaLo);
        for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

}  // namespace

uint32_t FormatBits(uint32_t format) {
    const Layout* layout = Find(format);
    return layout ? layout->bits : 0;
}

bool IsBlockFormat(uint32_t format) {
    const Layout* layout = Find(format);
    return layout && layout->kind == Kind::kBlock;
}

bool IsPackedPairFormat(uint32_t format) {
    const Layout* layout = Find(format);
    return layout && layout->kind == Kind::kPacked;
}

bool IsWideFormat(uint32_t format) {
    const Layout* layout = Find(format);
    if (!layout) return false;
    if (layout->kind == Kind::kHalf || layout->kind == Kind::kFloat) return true;
    if (layout->kind != Kind::kChannels) return false;
    return std::any_of(std::begin(layout->c), std::end(layout->c), [](const Channel& c) { return c.bits > 8; });
}

bool FormatHasAlpha(uint32_t format) {
    const Layout* layout = Find(format);
    if (!layout) return false;
    switch (layout->kind) {
        case Kind::kChannels: return layout->c[kA].bits != 0;
        case Kind::kHalf:
        case Kind::kFloat: return layout->components == 4;
        case Kind::kPalette: return format == Format::kA8P8;
        case Kind::kBlock: return format != Format::kDxt1;
        case Kind::kPacked: return false;
    }
    return false;
}

bool CanConvertFormat(uint32_t format) {
    const Layout* layout = Find(format);
    return layout && (layout->kind == Kind::kChannels || layout->kind == Kind::kHalf || layout->kind == Kind::kFloat);
}

uint64_t RowBytes(uint32_t format, uint32_t width) {
    const Layout* layout = Find(format);
    if (!layout) return 0;
    const uint64_t w = std::max<uint32_t>(width, 1);
    switch (layout->kind) {
        case Kind::kBlock: return (w + 3) / 4 * BlockBytes(format);
        case Kind::kPacked: return (w + 1) / 2 * 4;
        default: return (w * layout->bits + 7) / 8;
    }
}

uint32_t RowCount(uint32_t format, uint32_t height) {
    const uint32_t h = std::max<uint32_t>(height, 1);
    return IsBlockFormat(format) ? (h + 3) / 4 : h;
}

uint64_t LevelBytes(uint32_t format, uint32_t width, uint32_t height) {
    return RowBytes(format, width) * RowCount(format, height);
}

bool ToArgb(uint32_t format, const uint8_t* src, size_t count, uint32_t* dst, const uint32_t* palette) {
    const Layout* layout = Find(format);
    if (!layout) return false;
    const uint32_t bytes = layout->bits / 8;
    // The layouts A8R8G8B8 shares, done without taking texels apart.
    switch (format) {
        case Format::kA8R8G8B8: std::memcpy(dst, src, count * 4); return true;
        case Format::kX8R8G8B8:
            std::memcpy(dst, src, count * 4);
            for (size_t i = 0; i < count; ++i) dst[i] |= 0xFF000000u;
            return true;
        case Format::kR8G8B8:
            for (size_t i = 0; i < count; ++i, src += 3) dst[i] = 0xFF000000u | src[2] << 16 | src[1] << 8 | src[0];
            return true;
        default: break;
    }
    switch (layout->kind) {
        case Kind::kChannels: {
            const Prepared r(layout->c[kR], true), g(layout->c[kG], true), b(layout->c[kB], true),
                a(layout->c[kA], true), l(layout->c[kL], true);
            for (size_t i = 0; i < count; ++i, src += bytes) {
                uint64_t word = 0;
                for (uint32_t k = 0; k < bytes; ++k) word |= static_cast<uint64_t>(src[k]) << (8 * k);
                if (l.c.bits) {
                    dst[i] = Pack(a.Read(word, 255), 0, 0, 0) | l.Read(word, 0) * 0x010101u;
                } else {
                    dst[i] = Pack(a.Read(word, 255), r.Read(word, 0), g.Read(word, 0), b.Read(word, 0));
                }
            }
            return true;
        }
        case Kind::kHalf:
        case Kind::kFloat: {
            const uint32_t n = layout->components;
            for (size_t i = 0; i < count; ++i, src += bytes) {
                float f[4] = {0, 0, 0, 1};
                for (uint32_t k = 0; k < n; ++k) {
                    if (layout->kind == Kind::kHalf) {
                        f[k] = HalfToFloat(Le16(src + 2 * k));
                    } else {
                        const uint32_t bits = Le32(src + 4 * k);
                        std::memcpy(&f[k], &bits, 4);
                    }
                }
                dst[i] = Pack(FloatTo8(f[3]), FloatTo8(f[0]), FloatTo8(f[1]), FloatTo8(f[2]));
            }
            return true;
        }
        case Kind::kPalette:
            if (!palette) return false;
            for (size_t i = 0; i < count; ++i) {
                if (format == Format::kP8) {
                    dst[i] = palette[src[i]];
                } else {
                    dst[i] = (palette[src[2 * i]] & 0xFFFFFF) | static_cast<uint32_t>(src[2 * i + 1]) << 24;
                }
            }
            return true;
        default: return false;
    }
}

bool FromArgb(uint32_t format, const uint32_t* src, size_t count, uint8_t* dst) {
    const Layout* layout = Find(format);
    if (!layout) return false;
    const uint32_t bytes = layout->bits / 8;
    switch (format) {
        case Format::kA8R8G8B8: std::memcpy(dst, src, count * 4); return true;
        case Format::kX8R8G8B8:
            for (size_t i = 0; i < count; ++i, dst += 4) {
                const uint32_t p = src[i] | 0xFF000000u;
                std::memcpy(dst, &p, 4);
            }
            return true;
        default: break;
    }
    switch (layout->kind) {
        case Kind::kChannels: {
            const Prepared r(layout->c[kR], false), g(layout->c[kG], false), b(layout->c[kB], false),
                a(layout->c[kA], false), l(layout->c[kL], false);
            for (size_t i = 0; i < count; ++i, dst += bytes) {
                const uint32_t p = src[i];
                uint64_t word = r.Write(p >> 16 & 0xFF) | g.Write(p >> 8 & 0xFF) | b.Write(p & 0xFF) | a.Write(p >> 24);
                if (l.c.bits) word |= l.Write(Luminance(p));
                word |= layout->unusedBits;  // X bits are written as ones
                for (uint32_t k = 0; k < bytes; ++k) dst[k] = static_cast<uint8_t>(word >> (8 * k));
            }
            return true;
        }
        case Kind::kHalf:
        case Kind::kFloat: {
            const uint32_t n = layout->components;
            for (size_t i = 0; i < count; ++i, dst += bytes) {
                const uint32_t p = src[i];
                const float f[4] = {(p >> 16 & 0xFF) / 255.0f, (p >> 8 & 0xFF) / 255.0f, (p & 0xFF) / 255.0f,
                                    (p >> 24) / 255.0f};
                for (uint32_t k = 0; k < n; ++k) {
                    if (layout->kind == Kind::kHalf) {
                        const uint16_t h = FloatToHalf(f[k]);
                        dst[2 * k] = static_cast<uint8_t>(h);
                        dst[2 * k + 1] = static_cast<uint8_t>(h >> 8);
                    } else {
                        std::memcpy(dst + 4 * k, &f[k], 4);
                    }
                }
            }
            return true;
        }
        default: return false;
    }
}

bool SurfaceToFormat(const Surface& argb, uint32_t format, std::vector<uint8_t>* out, std::string* error) {
    if (IsBlockFormat(format)) return CompressDxt(format, argb, out, error);
    if (!CanConvertFormat(format)) return Fail(error, "the format cannot be written from A8R8G8B8");
    const uint64_t row = RowBytes(format, argb.width);
    out->assign(row * argb.height, 0);
    for (uint32_t y = 0; y < argb.height; ++y)
        FromArgb(format, argb.Argb() + static_cast<size_t>(y) * argb.width, argb.width, out->data() + y * row);
    return true;
}

bool SurfaceFromFormat(uint32_t format, const uint8_t* bytes, size_t size, uint32_t width, uint32_t height,
                       Surface* argb, std::string* error) {
    if (IsBlockFormat(format)) return DecompressDxt(format, bytes, size, width, height, argb, error);
    if (!CanConvertFormat(format)) return Fail(error, "the format cannot be read into A8R8G8B8");
    const uint64_t row = RowBytes(format, width);
    if (size < row * height) return Fail(error, "fewer bytes than the surface needs");
    argb->ResetArgb(width, height);
    for (uint32_t y = 0; y < height; ++y)
        ToArgb(format, bytes + y * row, width, argb->Argb() + static_cast<size_t>(y) * width);
    return true;
}

bool DecompressDxt(uint32_t format, const uint8_t* blocks, size_t size, uint32_t width, uint32_t height,
                   Surface* argb, std::string* error) {
    if (!IsBlockFormat(format)) return Fail(error, "not a DXT format");
    if (size < LevelBytes(format, width, height)) return Fail(error, "fewer DXT blocks than the surface needs");
    argb->ResetArgb(width, height);
    const uint32_t blockBytes = BlockBytes(format);
    const uint32_t across = (std::max<uint32_t>(width, 1) + 3) / 4;
    for (uint32_t by = 0; by < RowCount(format, height); ++by) {
        for (uint32_t bx = 0; bx < across; ++bx) {
            uint32_t texels[16];
            DecodeBlock(format, blocks + (static_cast<size_t>(by) * across + bx) * blockBytes, texels);
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < width && y < height) argb->Argb()[static_cast<size_t>(y) * width + x] = texels[i];
            }
        }
    }
    return true;
}

bool CompressDxt(uint32_t format, const Surface& argb, std::vector<uint8_t>* blocks, std::string* error) {
    if (!IsBlockFormat(format)) return Fail(error, "not a DXT format");
    const uint32_t blockBytes = BlockBytes(format);
    const uint32_t across = (std::max<uint32_t>(argb.width, 1) + 3) / 4;
    const uint32_t down = RowCount(format, argb.height);
    blocks->assign(static_cast<size_t>(across) * down * blockBytes, 0);
    for (uint32_t by = 0; by < down; ++by) {
        for (uint32_t bx = 0; bx < across; ++bx) {
            uint32_t texels[16];
            bool valid[16];
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                valid[i] = x < argb.width && y < argb.height;
                texels[i] = valid[i] ? argb.At(x, y) : 0;
            }
            EncodeBlock(format, texels, valid, blocks->data() + (static_cast<size_t>(by) * across + bx) * blockBytes);
        }
    }
    return true;
}

bool DecompressImage(Image* image, std::string* error) {
    if (image->pixelFormat == Format::kA8R8G8B8) return true;
    for (Surface& s : image->surfaces) {
        Surface decoded;
        if (!SurfaceFromFormat(image->pixelFormat, s.bytes.data(), s.bytes.size(), s.width, s.height, &decoded, error))
            return false;
        s = std::move(decoded);
    }
    image->pixelFormat = Format::kA8R8G8B8;
    return true;
}

bool CompressImage(Image* image, uint32_t format, std::string* error) {
    if (!IsBlockFormat(format)) return Fail(error, "not a DXT format");
    if (image->pixelFormat != Format::kA8R8G8B8) return Fail(error, "the image is not held as A8R8G8B8");
    for (Surface& s : image->surfaces) {
        std::vector<uint8_t> blocks;
        if (!CompressDxt(format, s, &blocks, error)) return false;
        s.bytes = std::move(blocks);
        s.pitch = static_cast<uint32_t>(RowBytes(format, s.width));
    }
    image->pixelFormat = format;
    image->info.format = format;
    return true;
}

float HalfToFloat(uint16_t h) {
    const uint32_t sign = static_cast<uint32_t>(h & 0x8000) << 16;
    const uint32_t exponent = h >> 10 & 31;
    const uint32_t mantissa = h & 0x3FF;
    if (exponent == 0) {
        const float magnitude = std::ldexp(static_cast<float>(mantissa), -24);  // subnormal or zero
        return sign ? -magnitude : magnitude;
    }
    uint32_t bits;
    if (exponent == 31) {
        bits = sign | 0x7F800000u | mantissa << 13;  // infinity or not-a-number
    } else {
        bits = sign | (exponent + 112) << 23 | mantissa << 13;
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint16_t FloatToHalf(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    const uint16_t sign = static_cast<uint16_t>(bits >> 16 & 0x8000);
    const int32_t exponent = static_cast<int32_t>(bits >> 23 & 0xFF);
    uint32_t mantissa = bits & 0x7FFFFF;
    if (exponent == 0xFF) return static_cast<uint16_t>(sign | 0x7C00 | (mantissa ? 0x200 : 0));
    const int32_t e = exponent - 112;
    if (e >= 31) return static_cast<uint16_t>(sign | 0x7C00);  // too large: infinity
    if (e <= 0) {
        if (e < -10) return sign;  // too small: zero
        mantissa |= 0x800000;
        const uint32_t shift = static_cast<uint32_t>(14 - e);
        uint32_t half = mantissa >> shift;
        const uint32_t rest = mantissa & ((1u << shift) - 1), halfway = 1u << (shift - 1);
        if (rest > halfway || (rest == halfway && (half & 1))) ++half;
        return static_cast<uint16_t>(sign | half);
    }
    uint32_t half = static_cast<uint32_t>(e) << 10 | mantissa >> 13;
    const uint32_t rest = mantissa & 0x1FFF;
    if (rest > 0x1000 || (rest == 0x1000 && (half & 1))) ++half;  // may carry into the exponent, as it should
    return static_cast<uint16_t>(sign | half);
}

uint32_t FormatFromMasks(MaskKind kind, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    // An exact match of width and masks first; then the masks alone, for headers whose
    // bit count disagrees with their masks.
    for (int pass = 0; pass < 2; ++pass) {
        for (const Layout& layout : kLayouts) {
            if (layout.kind != Kind::kChannels || layout.bits > 32 || layout.maskKind != kind) continue;
            if (pass == 0 && layout.bits != bits) continue;
            const Channel* c = layout.c;
            uint32_t want[4];
            if (kind == MaskKind::kLuminance) {
                want[0] = MaskOf(c[kL]), want[1] = 0, want[2] = 0;
            } else {
                want[0] = MaskOf(c[kR]), want[1] = MaskOf(c[kG]), want[2] = MaskOf(c[kB]);
            }
            want[3] = MaskOf(c[kA]);
            if (kind == MaskKind::kAlpha) {
                if (want[3] == a) return layout.format;
                continue;
            }
            if (kind == MaskKind::kLuminance && want[0] == r && want[3] == a) return layout.format;
            if (kind != MaskKind::kLuminance && want[0] == r && want[1] == g && want[2] == b && want[3] == a)
                return layout.format;
        }
    }
    return Format::kUnknown;
}

bool MasksOfFormat(uint32_t format, MaskKind* kind, uint32_t* bits, uint32_t* r, uint32_t* g, uint32_t* b,
                   uint32_t* a) {
    const Layout* layout = Find(format);
    if (!layout || layout->kind != Kind::kChannels || layout->bits > 32) return false;
    const Channel* c = layout->c;
    *kind = layout->maskKind;
    *bits = layout->bits;
    *r = layout->maskKind == MaskKind::kLuminance ? MaskOf(c[kL]) : MaskOf(c[kR]);
    *g = MaskOf(c[kG]);
    *b = MaskOf(c[kB]);
    *a = MaskOf(c[kA]);
    return true;
}

}  // namespace PlatformImage
