// The platform's image library: every reader on files made by its own writers in each of
// their layouts, on files ImageMagick makes (when it is installed), on headers put
// together here field by field, and on every truncation and on damaged bytes; the pixel
// formats, DXT blocks and resizing filters on known values. Linux only: the Windows build
// has no platform layer.
#include "Platform/Image.h"
#include "Platform/ImageBmp.h"
#include "Platform/ImageDds.h"
#include "Platform/ImageFilter.h"
#include "Platform/ImageFormat.h"
#include "Platform/ImageJpeg.h"
#include "Platform/ImagePng.h"
#include "Platform/ImageTga.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace PlatformImage;

namespace {

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// A surface whose every texel differs from its neighbours in each channel.
Surface Gradient(uint32_t w, uint32_t h, bool alpha) {
    Surface s;
    s.ResetArgb(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            s.Argb()[y * w + x] = Argb(alpha ? (x * 37 + y * 11) & 0xFF : 0xFF, (x * 255) / std::max(w - 1, 1u),
                                       (y * 255) / std::max(h - 1, 1u), (x * 7 + y * 13) & 0xFF);
    return s;
}

// A surface whose channels change slowly, as photographs do: what lossy coding keeps close.
Surface Smooth(uint32_t w, uint32_t h) {
    Surface s;
    s.ResetArgb(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            s.Argb()[y * w + x] = Argb((x + y) * 255 / (w + h - 2), x * 255 / (w - 1), y * 255 / (h - 1), 128);
    return s;
}

// A surface of at most `colours` colours, in runs (so that run-length coding has work).
Surface FewColours(uint32_t w, uint32_t h, uint32_t colours) {
    Surface s;
    s.ResetArgb(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t k = ((x / 3) + y * 5) % colours;
            s.Argb()[y * w + x] = Argb(0xFF, k * 40 & 0xFF, 255 - (k * 17 & 0xFF), k * 90 & 0xFF);
        }
    return s;
}

// The surface as a format stores it and reads it back: what a lossless file of that
// format must give.
Surface Through(const Surface& s, uint32_t format) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(SurfaceToFormat(s, format, &bytes, nullptr));
    Surface back;
    EXPECT_TRUE(SurfaceFromFormat(format, bytes.data(), bytes.size(), s.width, s.height, &back, nullptr));
    return back;
}

::testing::AssertionResult SameTexels(const Surface& a, const Surface& b) {
    if (a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure() << "size " << a.width << "x" << a.height << " vs " << b.width << "x" << b.height;
    for (uint32_t y = 0; y < a.height; ++y)
        for (uint32_t x = 0; x < a.width; ++x)
            if (a.At(x, y) != b.At(x, y)) {
                char text[96];
                std::snprintf(text, sizeof text, "texel (%u, %u): %08X vs %08X", x, y, a.At(x, y), b.At(x, y));
                return ::testing::AssertionFailure() << text;
            }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CloseTexels(const Surface& a, const Surface& b, int tolerance) {
    if (a.width != b.width || a.height != b.height) return ::testing::AssertionFailure() << "sizes differ";
    for (uint32_t y = 0; y < a.height; ++y)
        for (uint32_t x = 0; x < a.width; ++x)
            for (int c = 0; c < 32; c += 8) {
                const int d = static_cast<int>(a.At(x, y) >> c & 0xFF) - static_cast<int>(b.At(x, y) >> c & 0xFF);
                if (std::abs(d) > tolerance)
                    return ::testing::AssertionFailure() << "texel (" << x << ", " << y << ") differs by " << d;
            }
    return ::testing::AssertionSuccess();
}

Image DecodeOk(const std::vector<uint8_t>& file) {
    Image image;
    std::string error;
    EXPECT_TRUE(Decode(file.data(), file.size(), &image, &error)) << error;
    return image;
}

Info InfoOk(const std::vector<uint8_t>& file) {
    Info info;
    std::string error;
    EXPECT_TRUE(ReadInfo(file.data(), file.size(), &info, &error)) << error;
    return info;
}

// Every shorter prefix of a good file fails, or reads to exactly what the whole file reads
// to (a file whose last bytes only mark its end); none reads past its end.
void ExpectTruncationsFail(const std::vector<uint8_t>& file) {
    Image whole = DecodeOk(file);
    for (size_t n = 0; n < file.size(); ++n) {
        // A copy of exactly n bytes, so that AddressSanitizer sees any read beyond them.
        std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<ptrdiff_t>(n));
        Image image;
        std::string error;
        if (!Decode(prefix.data(), prefix.size(), &image, &error)) {
            EXPECT_FALSE(error.empty()) << "a failure at length " << n << " without a reason";
            continue;
        }
        ASSERT_EQ(image.surfaces.size(), whole.surfaces.size()) << "length " << n;
        for (size_t i = 0; i < image.surfaces.size(); ++i)
            ASSERT_EQ(image.surfaces[i].bytes, whole.surfaces[i].bytes) << "length " << n << " decodes differently";
    }
}

// Damaged copies: every byte of the header region and random bytes elsewhere take other
// values. Nothing may crash; what decodes stays within the size limits.
void ExpectDamageSurvived(const std::vector<uint8_t>& file, size_t headerBytes) {
    std::mt19937 random(12345);
    auto check = [](const std::vector<uint8_t>& bytes) {
        Image image;
        Info info;
        std::string error;
        if (Decode(bytes.data(), bytes.size(), &image, &error)) {
            EXPECT_LE(image.info.width, kMaxDimension);
            EXPECT_LE(image.info.height, kMaxDimension);
            EXPECT_EQ(image.surfaces.size(), static_cast<size_t>(image.faces) * image.info.mipLevels);
        } else {
            EXPECT_FALSE(error.empty());
        }
        ReadInfo(bytes.data(), bytes.size(), &info, &error);
    };
    for (size_t i = 0; i < std::min(headerBytes, file.size()); ++i) {
        for (uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> damaged = file;
            damaged[i] = static_cast<uint8_t>(damaged[i] ^ v ^ 0x5A);
            check(damaged);
        }
    }
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> damaged = file;
        for (int k = 0; k < 4; ++k) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        check(damaged);
    }
}

Image WithSurfaces(std::vector<Surface> surfaces, uint32_t faces, uint32_t levels, uint32_t format) {
    Image image;
    image.faces = faces;
    image.info.width = surfaces[0].width;
    image.info.height = surfaces[0].height;
    image.info.mipLevels = levels;
    image.info.format = format;
    image.surfaces = std::move(surfaces);
    return image;
}

// A DDS header put together field by field, for the layouts our writer never makes.
struct DdsHeader {
    uint32_t flags = 0x1007, height = 4, width = 4, pitch = 0, depth = 0, mipCount = 0;
    uint32_t pfFlags = 0x40, fourCC = 0, bits = 32, r = 0xFF0000, g = 0xFF00, b = 0xFF, a = 0;
    uint32_t caps = 0x1000, caps2 = 0;
    std::vector<uint8_t> Build(size_t dataBytes) const {
        std::vector<uint8_t> out;
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        u32(MakeFourCC('D', 'D', 'S', ' '));
        for (uint32_t v : {124u, flags, height, width, pitch, depth, mipCount}) u32(v);
        for (int i = 0; i < 11; ++i) u32(0);
        for (uint32_t v : {32u, pfFlags, fourCC, bits, r, g, b, a, caps, caps2, 0u, 0u, 0u}) u32(v);
        for (size_t i = 0; i < dataBytes; ++i) out.push_back(static_cast<uint8_t>(i * 7));
        return out;
    }
};

}  // namespace

// ---- pixel formats ----

TEST(ImageFormat, ConvertsKnownTexelsToArgb) {
    struct Row {
        uint32_t format;
        std::vector<uint8_t> bytes;
        uint32_t argb;
    };
    const Row rows[] = {
        {Format::kR5G6B5, {0x00, 0xF8}, 0xFFFF0000},
        {Format::kR5G6B5, {0xE0, 0x07}, 0xFF00FF00},
        {Format::kR5G6B5, {0x1F, 0x00}, 0xFF0000FF},
        {Format::kR5G6B5, {0x10, 0x84}, 0xFF848284},  // 16/31, 32/63, 16/31 rounded
        {Format::kX1R5G5B5, {0x00, 0x80}, 0xFF000000},
        {Format::kA1R5G5B5, {0x00, 0x80}, 0xFF000000},
        {Format::kA1R5G5B5, {0xFF, 0x7F}, 0x00FFFFFF},
        {Format::kA4R4G4B4, {0x34, 0x12}, 0x11223344},
        {Format::kX4R4G4B4, {0x34, 0xF2}, 0xFF223344},
        {Format::kR8G8B8, {0x01, 0x02, 0x03}, 0xFF030201},
        {Format::kX8R8G8B8, {0x01, 0x02, 0x03, 0x04}, 0xFF030201},
        {Format::kA8R8G8B8, {0x01, 0x02, 0x03, 0x04}, 0x04030201},
        {Format::kA8B8G8R8, {0x01, 0x02, 0x03, 0x04}, 0x04010203},
        {Format::kR3G3B2, {0xE3}, 0xFFFF00FF},
        {Format::kA8, {0x80}, 0x80000000},
        {Format::kL8, {0x5A}, 0xFF5A5A5A},
        {Format::kA8L8, {0x5A, 0x40}, 0x405A5A5A},
        {Format::kA4L4, {0x3C}, 0x33CCCCCC},
        {Format::kL16, {0xFF, 0xFF}, 0xFFFFFFFF},
        {Format::kV8U8, {0x00, 0x80}, 0xFF800000},  // U 0 and V -128, offset by 128
        {Format::kV8U8, {0x7F, 0xFF}, 0xFFFF7F00},  // U 127, V -1
        {Format::kG16R16, {0xFF, 0xFF, 0x00, 0x00}, 0xFFFF0000},
        {Format::kA16B16G16R16, {0, 0, 0xFF, 0xFF, 0, 0x80, 0xFF, 0xFF}, 0xFF00FF80},
        {Format::kA2R10G10B10, {0xFF, 0x03, 0x00, 0xC0}, 0xFF0000FF},
        {Format::kR16F, {0x00, 0x3C}, 0xFFFF0000},
        {Format::kR32F, {0x00, 0x00, 0x00, 0x3F}, 0xFF800000},
        {Format::kA32B32G32R32F, {0, 0, 0, 0, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0xBF, 0, 0, 0x80, 0x3F}, 0xFF00FF00},
    };
    for (const Row& row : rows) {
        uint32_t out = 0;
        ASSERT_TRUE(ToArgb(row.format, row.bytes.data(), 1, &out)) << row.format;
        EXPECT_EQ(out, row.argb) << "format " << row.format;
        EXPECT_EQ(FormatBits(row.format) / 8, row.bytes.size()) << "format " << row.format;
    }
}

TEST(ImageFormat, ConvertsKnownArgbToTexels) {
    struct Row {
        uint32_t format;
        uint32_t argb;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {Format::kR5G6B5, 0xFFFF0000, {0x00, 0xF8}},
        {Format::kR5G6B5, 0x80808080, {0x10, 0x84}},
        {Format::kX8R8G8B8, 0x12345678, {0x78, 0x56, 0x34, 0xFF}},  // X bits written as ones
        {Format::kX1R5G5B5, 0x00000000, {0x00, 0x80}},
        {Format::kA1R5G5B5, 0x7FFFFFFF, {0xFF, 0x7F}},
        {Format::kA1R5G5B5, 0x80000000, {0x00, 0x80}},
        {Format::kA4R4G4B4, 0x11223344, {0x34, 0x12}},
        {Format::kL8, 0xFF646464, {0x64}},
        {Format::kL8, 0xFFFF0000, {54}},  // 0.2125 of 255, rounded
        {Format::kL8, 0xFF00FF00, {182}},
        {Format::kL8, 0xFF0000FF, {18}},
        {Format::kA8, 0x7F123456, {0x7F}},
        {Format::kA8L8, 0x40FFFFFF, {0xFF, 0x40}},
        {Format::kV8U8, 0xFF80FF00, {0x00, 0x7F}},
        {Format::kR8G8B8, 0x00010203, {0x03, 0x02, 0x01}},
        {Format::kR16F, 0xFFFF0000, {0x00, 0x3C}},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> out(row.bytes.size());
        ASSERT_TRUE(FromArgb(row.format, &row.argb, 1, out.data())) << row.format;
        EXPECT_EQ(out, row.bytes) << "format " << row.format;
    }
}

TEST(ImageFormat, EveryCodeOfTheSmallFormatsSurvivesARoundTrip) {
    // Each stored value read into A8R8G8B8 and written back is the same value (unused
    // bits of X formats cleared).
    struct Row {
        uint32_t format;
        uint32_t usedBits;
    };
    for (const Row& row : {Row{Format::kR5G6B5, 0xFFFF}, Row{Format::kA1R5G5B5, 0xFFFF}, Row{Format::kX1R5G5B5, 0x7FFF},
                           Row{Format::kA4R4G4B4, 0xFFFF}, Row{Format::kX4R4G4B4, 0x0FFF}, Row{Format::kR3G3B2, 0xFF},
                           Row{Format::kA8, 0xFF}, Row{Format::kL8, 0xFF}, Row{Format::kA8L8, 0xFFFF},
                           Row{Format::kA4L4, 0xFF}, Row{Format::kV8U8, 0xFFFF}, Row{Format::kA8R3G3B2, 0xFFFF},
                           Row{Format::kL6V5U5, 0xFFFF}}) {
        const uint32_t bytes = FormatBits(row.format) / 8;
        for (uint32_t code = 0; code <= row.usedBits; ++code) {
            if ((code & row.usedBits) != code) continue;
            const uint8_t in[2] = {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)};
            uint32_t argb;
            ASSERT_TRUE(ToArgb(row.format, in, 1, &argb));
            uint8_t out[2] = {0, 0};
            ASSERT_TRUE(FromArgb(row.format, &argb, 1, out));
            const uint32_t back = (out[0] | (bytes > 1 ? out[1] << 8 : 0)) & row.usedBits;
            ASSERT_EQ(back, code) << "format " << row.format << " code " << code;
        }
    }
}

TEST(ImageFormat, HalfFloatsKnownValues) {
    const std::pair<float, uint16_t> rows[] = {{0.0f, 0x0000}, {1.0f, 0x3C00},     {0.5f, 0x3800}, {-2.0f, 0xC000},
                                               {65504.0f, 0x7BFF}, {1e9f, 0x7C00}, {5.960464477539063e-08f, 0x0001}};
    for (const auto& [f, h] : rows) {
        EXPECT_EQ(FloatToHalf(f), h) << f;
        if (h != 0x7C00) {
            EXPECT_EQ(HalfToFloat(h), f) << h;
        }
    }
    EXPECT_EQ(FloatToHalf(1.0f + 1.0f / 4096), 0x3C00);  // halfway rounds to even
}

TEST(ImageFormat, SizesOfRowsAndLevels) {
    EXPECT_EQ(RowBytes(Format::kR8G8B8, 5), 15u);
    EXPECT_EQ(RowBytes(Format::kDxt1, 5), 16u);  // two blocks of 8 bytes
    EXPECT_EQ(RowBytes(Format::kDxt5, 4), 16u);
    EXPECT_EQ(RowCount(Format::kDxt5, 9), 3u);
    EXPECT_EQ(LevelBytes(Format::kDxt1, 1, 1), 8u);
    EXPECT_EQ(RowBytes(Format::kYuy2, 3), 8u);  // widths in pairs
    EXPECT_EQ(RowBytes(0x12345678, 4), 0u);
    EXPECT_TRUE(FormatHasAlpha(Format::kDxt3));
    EXPECT_FALSE(FormatHasAlpha(Format::kDxt1));
    EXPECT_FALSE(FormatHasAlpha(Format::kX8R8G8B8));
}

// ---- DXT blocks ----

TEST(ImageDxt, DecodesAFourColourBlock) {
    // Red and blue ends; rows of indices 0, 1, 2, 3.
    const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x55, 0xAA, 0xFF};
    Surface s;
    ASSERT_TRUE(DecompressDxt(Format::kDxt1, block, sizeof block, 4, 4, &s, nullptr));
    EXPECT_EQ(s.At(0, 0), 0xFFFF0000u);
    EXPECT_EQ(s.At(3, 1), 0xFF0000FFu);
    EXPECT_EQ(s.At(1, 2), 0xFFAA0055u);  // two thirds red
    EXPECT_EQ(s.At(2, 3), 0xFF5500AAu);
}

TEST(ImageDxt, DecodesDxt1TransparencyAndTheExplicitAndInterpolatedAlpha) {
    // c0 <= c1: three colours and transparent black.
    const uint8_t dxt1[8] = {0x1F, 0x00, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF};
    Surface s;
    ASSERT_TRUE(DecompressDxt(Format::kDxt1, dxt1, 8, 4, 4, &s, nullptr));
    EXPECT_EQ(s.At(2, 2), 0x00000000u);

    uint8_t dxt3[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    ASSERT_TRUE(DecompressDxt(Format::kDxt3, dxt3, 16, 4, 4, &s, nullptr));
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(s.At(i % 4, i / 4), (i * 17) << 24 | 0xFFFFFF) << i;

    // Alpha ends 200 and 100: indices 0, 1, then six steps between.
    uint8_t dxt5[16] = {200, 100, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    const uint32_t indices[16] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0};
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= static_cast<uint64_t>(indices[i]) << (3 * i);
    for (int i = 0; i < 6; ++i) dxt5[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
    ASSERT_TRUE(DecompressDxt(Format::kDxt5, dxt5, 16, 4, 4, &s, nullptr));
    const uint32_t expected[8] = {200, 100, 186, 171, 157, 143, 129, 114};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(s.At(i % 4, i / 4) >> 24, expected[i]) << i;
}

TEST(ImageDxt, BlocksOfTwoColoursAndExactAlphaSurviveARoundTrip) {
    Surface s;
    s.ResetArgb(8, 6);
    for (uint32_t y = 0; y < 6; ++y)
        for (uint32_t x = 0; x < 8; ++x) s.Argb()[y * 8 + x] = (x + y) % 2 ? 0xFFFF0000u : 0xFF0000FFu;
    for (uint32_t format : {Format::kDxt1, Format::kDxt3, Format::kDxt5}) {
        std::vector<uint8_t> blocks;
        ASSERT_TRUE(CompressDxt(format, s, &blocks, nullptr));
        EXPECT_EQ(blocks.size(), LevelBytes(format, 8, 6));
        Surface back;
        ASSERT_TRUE(DecompressDxt(format, blocks.data(), blocks.size(), 8, 6, &back, nullptr));
        EXPECT_TRUE(SameTexels(s, back)) << format;
    }
    // DXT1 keeps fully transparent texels transparent.
    s.Argb()[0] = 0;
    std::vector<uint8_t> blocks;
    ASSERT_TRUE(CompressDxt(Format::kDxt1, s, &blocks, nullptr));
    Surface back;
    ASSERT_TRUE(DecompressDxt(Format::kDxt1, blocks.data(), blocks.size(), 8, 6, &back, nullptr));
    EXPECT_EQ(back.At(0, 0), 0u);
    EXPECT_EQ(back.At(1, 0), 0xFFFF0000u);
    // Too few bytes for the blocks fails.
    EXPECT_FALSE(DecompressDxt(Format::kDxt1, blocks.data(), blocks.size() - 1, 8, 6, &back, nullptr));
}

TEST(ImageDxt, RampsStayCloseThroughTheAlphaFormats) {
    // Colours along one line in each block, as the four-colour blocks can hold them.
    Surface s;
    s.ResetArgb(16, 16);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) s.Argb()[y * 16 + x] = Argb((x + y) * 8, (x + y) * 8, (x + y) * 4, 128);
    for (uint32_t format : {Format::kDxt3, Format::kDxt5}) {
        std::vector<uint8_t> blocks;
        ASSERT_TRUE(CompressDxt(format, s, &blocks, nullptr));
        Surface back;
        ASSERT_TRUE(DecompressDxt(format, blocks.data(), blocks.size(), 16, 16, &back, nullptr));
        EXPECT_TRUE(CloseTexels(s, back, 10)) << format;
    }
}

// ---- filters ----

TEST(ImageFilter, BoxAveragesAndRounds) {
    Surface s;
    s.ResetArgb(2, 2);
    s.Argb()[0] = Argb(0xFF, 0, 10, 255);
    s.Argb()[1] = Argb(0xFF, 1, 20, 255);
    s.Argb()[2] = Argb(0x00, 0, 30, 0);
    s.Argb()[3] = Argb(0x00, 1, 41, 0);
    Surface out;
    ASSERT_TRUE(Resize(s, 1, 1, kFilterBox, &out, nullptr));
    EXPECT_EQ(out.At(0, 0), Argb(0x80, 1, 25, 128));  // 127.5 -> 128, 0.5 -> 1, 25.25 -> 25
}

TEST(ImageFilter, HalvingByBoxMatchesTheGeneralFilter) {
    // Halving either side or both is each output texel's rounded mean of its source texels.
    const Surface s = Gradient(16, 10, true);
    for (auto [w, h] : {std::pair{8u, 5u}, std::pair{16u, 5u}, std::pair{8u, 10u}}) {
        Surface fast;
        ASSERT_TRUE(Resize(s, w, h, kFilterBox, &fast, nullptr));
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t fx = 16 / w, fy = 10 / h;
                for (int c = 0; c < 32; c += 8) {
                    double sum = 0;
                    for (uint32_t j = 0; j < fy; ++j)
                        for (uint32_t i = 0; i < fx; ++i) sum += s.At(x * fx + i, y * fy + j) >> c & 0xFF;
                    const uint32_t mean = static_cast<uint32_t>(sum / (fx * fy) + 0.5);
                    ASSERT_EQ(fast.At(x, y) >> c & 0xFF, mean) << x << "," << y;
                }
            }
    }
}

TEST(ImageFilter, BoxOfAnOddSizeWeighsTheCoveredParts) {
    Surface s;
    s.ResetArgb(3, 1);
    s.Argb()[0] = Argb(0xFF, 30, 0, 0);
    s.Argb()[1] = Argb(0xFF, 60, 0, 0);
    s.Argb()[2] = Argb(0xFF, 90, 0, 0);
    Surface out;
    ASSERT_TRUE(Resize(s, 1, 1, kFilterBox, &out, nullptr));
    EXPECT_EQ(out.At(0, 0) >> 16 & 0xFF, 60u);
    // 3 to 2: [0, 1.5) and [1.5, 3): (30 + 60 / 2) / 1.5 = 40 and (30 + 90) / 1.5 = 80.
    ASSERT_TRUE(Resize(s, 2, 1, kFilterBox, &out, nullptr));
    EXPECT_EQ(out.At(0, 0) >> 16 & 0xFF, 40u);
    EXPECT_EQ(out.At(1, 0) >> 16 & 0xFF, 80u);
}

TEST(ImageFilter, PointPicksTheNearestTexel) {
    Surface s;
    s.ResetArgb(4, 1);
    for (uint32_t i = 0; i < 4; ++i) s.Argb()[i] = i;
    Surface out;
    ASSERT_TRUE(Resize(s, 2, 1, kFilterPoint, &out, nullptr));
    EXPECT_EQ(out.At(0, 0), 1u);
    EXPECT_EQ(out.At(1, 0), 3u);
    ASSERT_TRUE(Resize(s, 8, 1, kFilterPoint, &out, nullptr));
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(out.At(i, 0), i / 2);
}

TEST(ImageFilter, LinearWrapsOrMirrorsAtTheEdges) {
    Surface s;
    s.ResetArgb(2, 1);
    s.Argb()[0] = Argb(0, 0, 0, 0);
    s.Argb()[1] = Argb(0, 0, 0, 100);
    Surface out;
    // 2 to 4: sample centres at -0.25, 0.25, 0.75, 1.25 in source texels.
    ASSERT_TRUE(Resize(s, 4, 1, kFilterLinear, &out, nullptr));
    EXPECT_EQ(out.At(0, 0) & 0xFF, 25u);  // wraps: a quarter of the last texel
    EXPECT_EQ(out.At(1, 0) & 0xFF, 25u);
    EXPECT_EQ(out.At(2, 0) & 0xFF, 75u);
    EXPECT_EQ(out.At(3, 0) & 0xFF, 75u);
    ASSERT_TRUE(Resize(s, 4, 1, kFilterLinear | kFilterMirrorU, &out, nullptr));
    EXPECT_EQ(out.At(0, 0) & 0xFF, 0u);  // mirrored: the first texel again
    EXPECT_EQ(out.At(3, 0) & 0xFF, 100u);
}

TEST(ImageFilter, EveryFilterKeepsASingleColour) {
    Surface s;
    s.ResetArgb(7, 5, 0x80402010u);
    for (uint32_t filter : {kFilterPoint, kFilterLinear, kFilterTriangle, kFilterBox}) {
        for (auto [w, h] : {std::pair{3u, 2u}, std::pair{14u, 11u}, std::pair{1u, 1u}, std::pair{7u, 5u}}) {
            Surface out;
            ASSERT_TRUE(Resize(s, w, h, filter, &out, nullptr));
            for (uint32_t i = 0; i < w * h; ++i) ASSERT_EQ(out.Argb()[i], 0x80402010u) << filter << " " << w << "x" << h;
        }
    }
}

TEST(ImageFilter, TriangleSpreadsWiderThanBox) {
    Surface s;
    s.ResetArgb(4, 1, 0);
    s.Argb()[1] = Argb(0, 0, 0, 240);
    Surface box, tri;
    ASSERT_TRUE(Resize(s, 2, 1, kFilterBox, &box, nullptr));
    ASSERT_TRUE(Resize(s, 2, 1, kFilterTriangle, &tri, nullptr));
    EXPECT_EQ(box.At(0, 0) & 0xFF, 120u);
    EXPECT_EQ(box.At(1, 0) & 0xFF, 0u);
    EXPECT_GT(tri.At(1, 0) & 0xFF, 0u);  // the tent reaches the neighbour's texels
    EXPECT_LT(tri.At(0, 0) & 0xFF, 120u);
}

TEST(ImageFilter, NoneCopiesAndFillsWithOpaqueBlack) {
    const Surface s = Gradient(4, 2, true);
    Surface out;
    ASSERT_TRUE(Resize(s, 4, 4, kFilterNone, &out, nullptr));
    EXPECT_EQ(out.At(3, 1), s.At(3, 1));
    EXPECT_EQ(out.At(0, 2), 0xFF000000u);
    ASSERT_TRUE(Resize(s, 2, 1, kFilterNone, &out, nullptr));
    EXPECT_EQ(out.At(1, 0), s.At(1, 0));
    EXPECT_FALSE(Resize(s, 2, 1, 6, &out, nullptr));
    EXPECT_FALSE(Resize(s, 0, 1, kFilterBox, &out, nullptr));
}

TEST(ImageFilter, MipChainsHalveEachLevelOfEachFace) {
    Image image = WithSurfaces({Gradient(5, 3, false), Gradient(5, 3, true)}, 2, 1, Format::kA8R8G8B8);
    ASSERT_TRUE(GenerateMips(&image, 0, nullptr));
    ASSERT_EQ(image.info.mipLevels, 3u);
    ASSERT_EQ(image.surfaces.size(), 6u);
    EXPECT_EQ(image.Level(1, 1).width, 2u);
    EXPECT_EQ(image.Level(1, 1).height, 1u);
    EXPECT_EQ(image.Level(1, 2).width, 1u);
    EXPECT_EQ(MipChainLength(256, 1), 9u);
    // A chain of a single colour stays that colour; asking for too many levels gives the chain.
    Image plain = MakeArgbImage(8, 8, 0xFF336699u);
    ASSERT_TRUE(GenerateMips(&plain, 20, nullptr));
    ASSERT_EQ(plain.info.mipLevels, 4u);
    EXPECT_EQ(plain.Level(0, 3).At(0, 0), 0xFF336699u);
    // 2x2 average at the last level.
    Image four = MakeArgbImage(2, 2);
    four.surfaces[0].Argb()[0] = 0xFF000000u;
    four.surfaces[0].Argb()[3] = 0xFFFFFFFFu;
    ASSERT_TRUE(GenerateMips(&four, 2, nullptr));
    EXPECT_EQ(four.Level(0, 1).At(0, 0), 0x80404040u);  // alpha 510 / 4 and colour 255 / 4, rounded
}

// ---- BMP ----

TEST(ImageBmp, EveryWriterLayoutReadsBack) {
    struct Row {
        uint32_t bits, header;
        bool rgb565, topDown, rle;
        uint32_t format;  // what the reader reports
    };
    const Row rows[] = {
        {1, 40, false, false, false, Format::kP8},   {1, 12, false, false, false, Format::kP8},
        {4, 40, false, true, false, Format::kP8},    {4, 124, false, false, false, Format::kP8},
        {8, 40, false, false, false, Format::kP8},   {8, 108, false, true, false, Format::kP8},
        {8, 40, false, false, true, Format::kP8},    {8, 124, false, false, true, Format::kP8},
        {4, 40, false, false, true, Format::kP8},    {4, 108, false, false, true, Format::kP8},
        {16, 40, false, false, false, Format::kX1R5G5B5}, {16, 40, true, true, false, Format::kR5G6B5},
        {16, 124, true, false, false, Format::kR5G6B5},   {24, 40, false, false, false, Format::kR8G8B8},
        {24, 12, false, false, false, Format::kR8G8B8},   {24, 108, false, true, false, Format::kR8G8B8},
        {32, 40, false, false, false, Format::kA8R8G8B8}, {32, 124, false, true, false, Format::kA8R8G8B8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.bits << " bits, header " << row.header << (row.topDown ? " top-down" : "")
                                        << (row.rle ? " RLE" : ""));
        const uint32_t colours = row.bits <= 8 ? 1u << row.bits : 0;
        Surface s = colours ? FewColours(13, 7, std::min(colours, 40u)) : Gradient(13, 7, row.bits == 32);
        BmpWriteOptions options;
        options.bits = row.bits;
        options.headerSize = row.header;
        options.rgb565 = row.rgb565;
        options.topDown = row.topDown;
        options.rle = row.rle;
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(EncodeBmp(s, options, &file, &error)) << error;
        EXPECT_EQ(DetectFileFormat(file.data(), file.size()), kFileBmp);
        const Info info = InfoOk(file);
        EXPECT_EQ(info.format, row.format);
        EXPECT_EQ(info.width, 13u);
        EXPECT_EQ(info.height, 7u);
        EXPECT_EQ(info.fileFormat, static_cast<uint32_t>(kFileBmp));
        const Image image = DecodeOk(file);
        ASSERT_EQ(image.surfaces.size(), 1u);
        const Surface expected = row.bits == 16 ? Through(s, row.rgb565 ? Format::kR5G6B5 : Format::kX1R5G5B5) : s;
        EXPECT_TRUE(SameTexels(image.surfaces[0], expected));
    }
}

TEST(ImageBmp, ThirtyTwoBitsWithoutAlphaAreOpaqueXrgb) {
    Surface s = Gradient(4, 4, false);
    for (uint32_t i = 0; i < 16; ++i) s.Argb()[i] &= 0xFFFFFF;  // alpha bytes written as 0
    BmpWriteOptions options;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBmp(s, options, &file, nullptr));
    EXPECT_EQ(InfoOk(file).format, Format::kX8R8G8B8);
    const Image image = DecodeOk(file);
    EXPECT_EQ(image.surfaces[0].At(2, 1), s.At(2, 1) | 0xFF000000u);
}

TEST(ImageBmp, RefusesWhatItCannotRead) {
    BmpWriteOptions options;
    options.bits = 8;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBmp(FewColours(4, 4, 3), options, &file, nullptr));
    Info info;
    std::string error;
    auto withField = [&](size_t at, uint32_t v, int bytes) {
        std::vector<uint8_t> copy = file;
        for (int i = 0; i < bytes; ++i) copy[at + i] = static_cast<uint8_t>(v >> (8 * i));
        return copy;
    };
    const struct {
        size_t at;
        uint32_t value;
        int bytes;
    } damage[] = {
        {28, 2, 2},           // 2 bits per texel
        {30, 2, 4},           // 4-bit run-length coding of 8-bit texels
        {30, 4, 4},           // JPEG inside
        {14, 64, 4},          // a header of an unknown size
        {18, 0, 4},           // zero width
        {18, 0x80000000, 4},  // negative width
        {22, 20000, 4},       // taller than the limit
        {10, 0xFFFF, 4},      // texels past the end
    };
    for (const auto& d : damage) {
        const std::vector<uint8_t> bad = withField(d.at, d.value, d.bytes);
        EXPECT_FALSE(ReadInfo(bad.data(), bad.size(), &info, &error)) << d.at << " = " << d.value;
        EXPECT_FALSE(error.empty());
    }
    // The BMP palette may be shorter than 2^bits.
    EXPECT_TRUE(ReadInfo(file.data(), file.size(), &info, &error)) << error;
}

TEST(ImageBmp, RunLengthJumpsAndDamage) {
    // An RLE8 bitmap written by hand: a jump over texels, which take palette colour 0.
    BmpWriteOptions options;
    options.bits = 8;
    options.rle = true;
    Surface s = FewColours(6, 3, 2);
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBmp(s, options, &file, nullptr));
    const size_t offBits = file[10] | file[11] << 8;
    std::vector<uint8_t> jumping(file.begin(), file.begin() + static_cast<ptrdiff_t>(offBits));
    const uint8_t data[] = {2, 1, 0, 2, 3, 1, 1, 0, 0, 1};  // two of colour 1, jump (3, 1), one of 0, end
    jumping.insert(jumping.end(), data, data + sizeof data);
    const Image image = DecodeOk(jumping);
    const Surface& t = image.surfaces[0];
    const uint32_t c0 = s.At(0, 0), c1 = s.At(3, 0);
    ASSERT_NE(c0, c1);
    EXPECT_EQ(t.At(0, 2), c1);  // the first row read is the bottom one
    EXPECT_EQ(t.At(1, 2), c1);
    EXPECT_EQ(t.At(2, 2), c0);
    EXPECT_EQ(t.At(5, 1), c0);  // the jump lands at (5, 1 up)
    EXPECT_EQ(t.At(0, 0), c0);
    // Runs past the row's end and jumps outside the bitmap drop what falls outside (writers
    // code a row's padding as texels); data cut short still fails.
    Image scratch;
    std::string error;
    std::vector<uint8_t> over = jumping;
    over[offBits] = 7;  // a run of 7 in a row of 6
    const Image clipped = DecodeOk(over);
    EXPECT_EQ(clipped.surfaces[0].At(5, 2), c1);
    EXPECT_EQ(clipped.surfaces[0].At(0, 1), c0);  // the next row is untouched
    std::vector<uint8_t> away = jumping;
    away[offBits + 5] = 9;  // a jump 9 rows up, past the top
    const Image above = DecodeOk(away);
    EXPECT_EQ(above.surfaces[0].At(5, 1), c0);
    std::vector<uint8_t> cut(jumping.begin(), jumping.end() - 4);
    EXPECT_FALSE(Decode(cut.data(), cut.size(), &scratch, &error));
    EXPECT_FALSE(error.empty());
    ExpectTruncationsFail(file);
}

TEST(ImageBmp, FourBitRunLengthCodingReadsAsEightBitDoes) {
    // Colour 0 (the top-left texel's) fills the top two rows, two rows in the middle and
    // the ends of three rows, so that with jumps the writer ends rows early, jumps over
    // whole rows and ends the bitmap early; the others make runs and stretches of odd
    // length, which 4-bit coding pads to whole bytes and words.
    const uint32_t w = 9, h = 8;
    Surface s = FewColours(w, h, 7);
    const uint32_t background = s.At(0, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            if (y < 2 || y == 5 || y == 6 || (y >= 2 && y <= 4 && x > 2 + y)) s.Argb()[y * w + x] = background;
    for (uint32_t bits : {4u, 8u}) {
        SCOPED_TRACE(bits);
        BmpWriteOptions options;
        options.bits = bits;
        options.rle = true;
        std::vector<uint8_t> plain, jumping;
        std::string error;
        ASSERT_TRUE(EncodeBmp(s, options, &plain, &error)) << error;
        options.rleJumps = true;
        ASSERT_TRUE(EncodeBmp(s, options, &jumping, &error)) << error;
        EXPECT_LT(jumping.size(), plain.size());  // the jumps were taken
        for (const std::vector<uint8_t>* file : {&plain, &jumping}) {
            EXPECT_EQ(InfoOk(*file).format, Format::kP8);
            EXPECT_TRUE(SameTexels(DecodeOk(*file).surfaces[0], s));
            ExpectTruncationsFail(*file);
        }
        // Cut short after its last row the data still reads, without the end-of-bitmap
        // mark; cut inside a row it does not. Jumps leave rows unreached, so a cut jumping
        // file fails.
        Image cutImage;
        std::vector<uint8_t> cut(plain.begin(), plain.end() - 2);
        ASSERT_TRUE(Decode(cut.data(), cut.size(), &cutImage, &error)) << error;
        EXPECT_TRUE(SameTexels(cutImage.surfaces[0], s));
        cut.resize(cut.size() - 2);
        EXPECT_FALSE(Decode(cut.data(), cut.size(), &cutImage, &error));
        cut.assign(jumping.begin(), jumping.end() - 2);
        EXPECT_FALSE(Decode(cut.data(), cut.size(), &cutImage, &error));
        EXPECT_FALSE(error.empty());
        ExpectDamageSurvived(jumping, 14 + 40 + 4 * 7);
    }
    // Run-length coded rows are bottom-up only, and 4-bit coding is for 4-bit texels.
    BmpWriteOptions options;
    options.bits = 4;
    options.rle = true;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeBmp(s, options, &file, nullptr));
    Info info;
    std::string error;
    std::vector<uint8_t> topDown = file;
    const uint32_t negative = static_cast<uint32_t>(-static_cast<int32_t>(h));
    for (int i = 0; i < 4; ++i) topDown[22 + i] = static_cast<uint8_t>(negative >> (8 * i));
    EXPECT_FALSE(ReadInfo(topDown.data(), topDown.size(), &info, &error));
    std::vector<uint8_t> eightBits = file;
    eightBits[28] = 8;
    EXPECT_FALSE(ReadInfo(eightBits.data(), eightBits.size(), &info, &error));
}

TEST(ImageBmp, TruncationsAndDamage) {
    for (uint32_t bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
        BmpWriteOptions options;
        options.bits = bits;
        options.headerSize = bits == 16 || bits == 32 ? 124 : 40;
        options.rgb565 = bits == 16;
        std::vector<uint8_t> file;
        ASSERT_TRUE(EncodeBmp(bits <= 8 ? FewColours(9, 5, 2) : Gradient(9, 5, true), options, &file, nullptr));
        SCOPED_TRACE(bits);
        ExpectTruncationsFail(file);
        ExpectDamageSurvived(file, 14 + options.headerSize + 16);
    }
}

// ---- TGA ----

TEST(ImageTga, EveryWriterLayoutReadsBack) {
    struct Row {
        uint32_t format, mapBits;
        bool rle, topDown;
    };
    const Row rows[] = {
        {Format::kA8R8G8B8, 0, false, false}, {Format::kA8R8G8B8, 0, true, true}, {Format::kR8G8B8, 0, false, true},
        {Format::kR8G8B8, 0, true, false},    {Format::kA1R5G5B5, 0, true, false}, {Format::kX1R5G5B5, 0, false, false},
        {Format::kL8, 0, false, false},       {Format::kL8, 0, true, true},        {Format::kP8, 24, false, false},
        {Format::kP8, 32, true, false},       {Format::kP8, 16, false, true},      {Format::kP8, 15, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "format " << row.format << " map " << row.mapBits << (row.rle ? " RLE" : "")
                                        << (row.topDown ? " top-down" : ""));
        Surface s = row.format == Format::kP8 ? FewColours(19, 6, 20) : Gradient(19, 6, row.format == Format::kA8R8G8B8);
        if (row.format == Format::kP8 && row.mapBits == 32) s.Argb()[5] = 0x40112233u;
        TgaWriteOptions options;
        options.format = row.format;
        options.mapBits = row.mapBits ? row.mapBits : 24;
        options.rle = row.rle;
        options.topDown = row.topDown;
        options.id = "fixture";
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(EncodeTga(s, options, &file, &error)) << error;
        EXPECT_EQ(DetectFileFormat(file.data(), file.size()), kFileTga);
        const Info info = InfoOk(file);
        EXPECT_EQ(info.format, row.format);
        EXPECT_EQ(info.fileFormat, static_cast<uint32_t>(kFileTga));
        Surface expected = s;
        if (row.format == Format::kL8) expected = Through(s, Format::kL8);
        if (row.format == Format::kA1R5G5B5 || (row.format == Format::kP8 && row.mapBits == 16))
            expected = Through(s, Format::kA1R5G5B5);
        if (row.format == Format::kX1R5G5B5 || (row.format == Format::kP8 && row.mapBits == 15))
            expected = Through(s, Format::kX1R5G5B5);
        if (row.format == Format::kR8G8B8) expected = Through(s, Format::kX8R8G8B8);
        EXPECT_TRUE(SameTexels(DecodeOk(file).surfaces[0], expected));
    }
}

TEST(ImageTga, RightToLeftRowsAreMirrored) {
    const Surface s = Gradient(5, 2, true);
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeTga(s, TgaWriteOptions(), &file, nullptr));
    file[17] |= 0x10;
    const Image image = DecodeOk(file);
    EXPECT_EQ(image.surfaces[0].At(0, 0), s.At(4, 0));
    EXPECT_EQ(image.surfaces[0].At(4, 1), s.At(0, 1));
}

// A TGA header alone: type, map type, map length and entry size, depth, and id length.
std::vector<uint8_t> TgaHeader(uint8_t type, uint8_t mapType, uint16_t mapLength, uint8_t entryBits, uint8_t depth,
                               uint8_t idLength = 0) {
    std::vector<uint8_t> h = {idLength, mapType, type, 0, 0, static_cast<uint8_t>(mapLength),
                              static_cast<uint8_t>(mapLength >> 8), entryBits, 0, 0, 0, 0, 2, 0, 2, 0, depth, 0};
    return h;
}

TEST(ImageTga, InfoComesFromTheHeaderAlone) {
    struct Row {
        uint8_t type, mapType;
        uint16_t mapLength;
        uint8_t entryBits, depth;
        uint32_t format;  // kUnknown: refused
    };
    const Row rows[] = {
        {2, 0, 0, 0, 15, Format::kX1R5G5B5}, {2, 0, 0, 0, 16, Format::kA1R5G5B5}, {2, 0, 0, 0, 24, Format::kR8G8B8},
        {2, 0, 0, 0, 32, Format::kA8R8G8B8}, {10, 0, 0, 0, 24, Format::kR8G8B8},  {1, 1, 4, 15, 8, Format::kP8},
        {1, 1, 4, 16, 8, Format::kP8},       {1, 1, 4, 24, 8, Format::kP8},       {9, 1, 4, 32, 8, Format::kP8},
        {3, 0, 0, 0, 8, Format::kL8},        {3, 0, 0, 0, 16, Format::kUnknown},  {1, 1, 0, 24, 8, Format::kUnknown},
        {1, 1, 4, 8, 8, Format::kUnknown},   {2, 1, 4, 24, 32, Format::kA8R8G8B8},  // a map in a true-colour image
        {2, 0, 0, 0, 8, Format::kUnknown},   {1, 0, 0, 0, 8, Format::kUnknown},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> file = TgaHeader(row.type, row.mapType, row.mapLength, row.entryBits, row.depth);
        const size_t mapBytes = row.mapType ? row.mapLength * ((row.entryBits + 7) / 8) : 0;
        file.resize(file.size() + mapBytes, 0);
        Info info;
        std::string error;
        const bool ok = ReadInfo(file.data(), file.size(), &info, &error);
        SCOPED_TRACE(testing::Message() << "type " << int(row.type) << " depth " << int(row.depth));
        if (row.format == Format::kUnknown) {
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(info.format, row.format);
        EXPECT_EQ(info.width, 2u);
        EXPECT_EQ(info.mipLevels, 1u);
        EXPECT_EQ(info.depth, 1u);
        // The map counts toward the header: a file one byte short of it is refused.
        if (mapBytes) {
            file.pop_back();
            EXPECT_FALSE(ReadInfo(file.data(), file.size(), &info, &error));
        }
        // The texels are not needed for the info, but the decoder wants them.
        Image image;
        EXPECT_FALSE(Decode(file.data(), file.size(), &image, &error));
    }
    // The identification field counts toward the header too.
    std::vector<uint8_t> withId = TgaHeader(2, 0, 0, 0, 24, 5);
    withId.resize(withId.size() + 4);
    Info info;
    EXPECT_FALSE(ReadInfo(withId.data(), withId.size(), &info, nullptr));
    withId.push_back(0);
    EXPECT_TRUE(ReadInfo(withId.data(), withId.size(), &info, nullptr));
}

TEST(ImageTga, IndicesOutsideTheMapAndRunsPastTheEndFail) {
    TgaWriteOptions options;
    options.format = Format::kP8;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeTga(FewColours(4, 4, 3), options, &file, nullptr));
    std::vector<uint8_t> bad = file;
    bad.back() = 3;  // the map holds indices 0 to 2
    Image image;
    std::string error;
    EXPECT_FALSE(Decode(bad.data(), bad.size(), &image, &error));
    EXPECT_FALSE(error.empty());

    options.format = Format::kA8R8G8B8;
    options.rle = true;
    ASSERT_TRUE(EncodeTga(Surface(MakeArgbImage(4, 4, 0xFF102030u).surfaces[0]), options, &file, nullptr));
    // One run per row of four; a run of 5 in the last packet reaches past the last texel.
    bad = file;
    bad[bad.size() - 5] = 0x80 | 4;
    EXPECT_FALSE(Decode(bad.data(), bad.size(), &image, &error));
}

TEST(ImageTga, TruncationsAndDamage) {
    for (bool rle : {false, true}) {
        for (uint32_t format : {Format::kA8R8G8B8, Format::kP8, Format::kX1R5G5B5}) {
            TgaWriteOptions options;
            options.format = format;
            options.rle = rle;
            std::vector<uint8_t> file;
            ASSERT_TRUE(EncodeTga(format == Format::kP8 ? FewColours(11, 5, 6) : Gradient(11, 5, true), options, &file,
                                  nullptr));
            SCOPED_TRACE(testing::Message() << format << (rle ? " RLE" : ""));
            ExpectTruncationsFail(file);
            ExpectDamageSurvived(file, 18 + 3 * 6);
        }
    }
}

// ---- PNG ----

TEST(ImagePng, EveryColourTypeAndDepthReadsBack) {
    struct Row {
        uint32_t colour, depth;
        bool interlace;
        uint32_t format;
    };
    const Row rows[] = {
        {kPngRgb, 8, false, Format::kX8R8G8B8},       {kPngRgb, 8, true, Format::kX8R8G8B8},
        {kPngRgba, 8, false, Format::kA8R8G8B8},      {kPngRgba, 8, true, Format::kA8R8G8B8},
        {kPngRgb, 16, false, Format::kA16B16G16R16},  {kPngRgba, 16, true, Format::kA16B16G16R16},
        {kPngGrey, 8, false, Format::kL8},            {kPngGrey, 1, false, Format::kL8},
        {kPngGrey, 2, true, Format::kL8},             {kPngGrey, 4, false, Format::kL8},
        {kPngGrey, 16, false, Format::kL16},          {kPngGreyAlpha, 8, false, Format::kA8L8},
        {kPngGreyAlpha, 16, true, Format::kA16B16G16R16}, {kPngPalette, 8, false, Format::kP8},
        {kPngPalette, 4, true, Format::kP8},          {kPngPalette, 2, false, Format::kP8},
        {kPngPalette, 1, false, Format::kP8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "colour " << row.colour << " depth " << row.depth
                                        << (row.interlace ? " interlaced" : ""));
        const bool alpha = row.colour == kPngRgba || row.colour == kPngGreyAlpha;
        // Palettes: one slot is left for the translucent copy of a colour.
        Surface s = row.colour == kPngPalette ? FewColours(17, 9, std::min(1u << row.depth, 12u) - 1) : Gradient(17, 9, alpha);
        if (row.colour == kPngPalette) s.Argb()[3] = (s.Argb()[3] & 0xFFFFFF) | 0x30000000u;  // a tRNS entry
        Surface expected = s;
        if (row.colour == kPngGrey || row.colour == kPngGreyAlpha) {
            expected = Through(s, row.colour == kPngGrey ? Format::kL8 : Format::kA8L8);
            if (row.depth < 8) {
                // Fewer grey levels: the writer and reader round each level the same way.
                const uint32_t max = (1u << row.depth) - 1;
                for (uint32_t i = 0; i < 17 * 9; ++i) {
                    const uint32_t l = expected.Argb()[i] & 0xFF;
                    const uint32_t v = ((l * max + 127) / 255) * 255 / max;
                    expected.Argb()[i] = 0xFF000000u | v * 0x010101u;
                }
            }
        }
        PngWriteOptions options;
        options.colour = row.colour;
        options.bitDepth = row.depth;
        options.interlace = row.interlace;
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(EncodePng(s, options, &file, &error)) << error;
        EXPECT_EQ(DetectFileFormat(file.data(), file.size()), kFilePng);
        const Info info = InfoOk(file);
        EXPECT_EQ(info.format, row.format);
        EXPECT_EQ(info.width, 17u);
        EXPECT_EQ(info.height, 9u);
        EXPECT_EQ(info.fileFormat, static_cast<uint32_t>(kFilePng));
        EXPECT_TRUE(SameTexels(DecodeOk(file).surfaces[0], expected));
    }
}

TEST(ImagePng, TransparentKeyColours) {
    // Opaque greys 100 and up, and two transparent blacks.
    Surface s;
    s.ResetArgb(6, 4);
    for (uint32_t i = 0; i < 24; ++i) s.Argb()[i] = 0xFF000000u | (100 + i) * 0x010101u;
    s.Argb()[5] = 0;
    s.Argb()[9] = 0;
    for (uint32_t colour : {kPngRgb, kPngGrey}) {
        const Surface& source = s;
        PngWriteOptions options;
        options.colour = colour;
        options.transparentKey = true;
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(EncodePng(source, options, &file, &error)) << error;
        EXPECT_EQ(InfoOk(file).format, colour == kPngRgb ? Format::kA8R8G8B8 : Format::kA8L8);
        const Surface back = DecodeOk(file).surfaces[0];
        EXPECT_EQ(back.At(5, 0) >> 24, 0u);
        EXPECT_EQ(back.At(3, 1) >> 24, 0u);
        EXPECT_EQ(back.At(4, 1), 0xFF000000u | 110 * 0x010101u);
        EXPECT_EQ(back.At(0, 0) >> 24, 0xFFu);
    }
    // Partial alpha cannot be a key.
    s.Argb()[0] = 0x80FFFFFFu;
    PngWriteOptions options;
    options.colour = kPngRgb;
    options.transparentKey = true;
    std::vector<uint8_t> file;
    EXPECT_FALSE(EncodePng(s, options, &file, nullptr));
}

TEST(ImagePng, AHeaderThatClaimsMoreThanItsDataHoldsIsRefusedBeforeDecoding) {
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodePng(MakeArgbImage(16, 16, 0xFF000000u).surfaces[0], PngWriteOptions(), &file, nullptr));
    // Width and height 16384 in IHDR: the few IDAT bytes cannot hold that many rows.
    for (size_t at : {16u, 20u}) {
        file[at] = 0, file[at + 1] = 0, file[at + 2] = 0x40, file[at + 3] = 0;
    }
    Image image;
    std::string error;
    EXPECT_FALSE(Decode(file.data(), file.size(), &image, &error));
    EXPECT_NE(error.find("shorter"), std::string::npos) << error;
}

TEST(ImagePng, TruncationsAndDamage) {
    for (uint32_t colour : {kPngRgba, kPngPalette}) {
        PngWriteOptions options;
        options.colour = colour;
        options.interlace = colour == kPngPalette;
        std::vector<uint8_t> file;
        ASSERT_TRUE(EncodePng(colour == kPngPalette ? FewColours(9, 7, 5) : Gradient(9, 7, true), options, &file, nullptr));
        ExpectTruncationsFail(file);
        ExpectDamageSurvived(file, 64);
    }
}

// ---- JPEG ----

TEST(ImageJpeg, ColourAndGreyReadBackClose) {
    Surface s = Smooth(40, 24);
    for (uint32_t i = 0; i < 40 * 24; ++i) s.Argb()[i] |= 0xFF000000u;
    for (bool progressive : {false, true}) {
        JpegWriteOptions options;
        options.quality = 95;
        options.progressive = progressive;
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(EncodeJpeg(s, options, &file, &error)) << error;
        EXPECT_EQ(DetectFileFormat(file.data(), file.size()), kFileJpg);
        const Info info = InfoOk(file);
        EXPECT_EQ(info.format, Format::kX8R8G8B8);
        EXPECT_EQ(info.width, 40u);
        EXPECT_EQ(info.fileFormat, static_cast<uint32_t>(kFileJpg));
        const Image image = DecodeOk(file);
        EXPECT_TRUE(CloseTexels(image.surfaces[0], s, 8));
        EXPECT_EQ(image.surfaces[0].At(0, 0) >> 24, 0xFFu);
    }
    JpegWriteOptions grey;
    grey.grey = true;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeJpeg(s, grey, &file, nullptr));
    EXPECT_EQ(InfoOk(file).format, Format::kL8);
    const Surface back = DecodeOk(file).surfaces[0];
    EXPECT_TRUE(CloseTexels(back, Through(s, Format::kL8), 3));
    EXPECT_EQ(back.At(3, 3) & 0xFF, back.At(3, 3) >> 16 & 0xFF);
}

TEST(ImageJpeg, TruncationsAndDamage) {
    JpegWriteOptions options;
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodeJpeg(Gradient(24, 16, false), options, &file, nullptr));
    ExpectTruncationsFail(file);
    ExpectDamageSurvived(file, 200);
}

// ---- DDS ----

TEST(ImageDds, EveryWritableFormatReadsBackWithMipsAndFaces) {
    const uint32_t formats[] = {Format::kA8R8G8B8, Format::kX8R8G8B8, Format::kR8G8B8,  Format::kR5G6B5,
                                Format::kX1R5G5B5, Format::kA1R5G5B5, Format::kA4R4G4B4, Format::kX4R4G4B4,
                                Format::kR3G3B2,   Format::kA8,       Format::kL8,       Format::kA8L8,
                                Format::kA4L4,     Format::kV8U8,     Format::kL16,      Format::kA8B8G8R8,
                                Format::kG16R16,   Format::kA16B16G16R16, Format::kR16F, Format::kA32B32G32R32F,
                                Format::kX8L8V8U8, Format::kQ8W8V8U8};
    for (uint32_t format : formats) {
        for (uint32_t faces : {1u, 6u}) {
            SCOPED_TRACE(testing::Message() << "format " << format << " faces " << faces);
            std::vector<Surface> surfaces;
            for (uint32_t face = 0; face < faces; ++face) {
                surfaces.push_back(Gradient(8, 4, true));
                surfaces.back().Argb()[face] = Argb(face * 40, 1, 2, 3);
            }
            Image image = WithSurfaces(surfaces, faces, 1, format);
            ASSERT_TRUE(GenerateMips(&image, 0, nullptr));
            std::vector<uint8_t> file;
            std::string error;
            ASSERT_TRUE(EncodeDds(image, format, &file, &error)) << error;
            const Info info = InfoOk(file);
            EXPECT_EQ(info.format, format);
            EXPECT_EQ(info.width, 8u);
            EXPECT_EQ(info.height, 4u);
            EXPECT_EQ(info.mipLevels, 4u);
            EXPECT_EQ(info.depth, 1u);
            EXPECT_EQ(info.resourceType, faces == 6 ? kResourceCubeTexture : kResourceTexture);
            EXPECT_EQ(info.fileFormat, static_cast<uint32_t>(kFileDds));
            const Image back = DecodeOk(file);
            ASSERT_EQ(back.faces, faces);
            ASSERT_EQ(back.surfaces.size(), faces * 4u);
            for (size_t i = 0; i < back.surfaces.size(); ++i)
                EXPECT_TRUE(SameTexels(back.surfaces[i], Through(image.surfaces[i], format))) << "surface " << i;
        }
    }
}

TEST(ImageDds, DxtBlocksAreKeptAsTheyAre) {
    for (uint32_t format : {Format::kDxt1, Format::kDxt2, Format::kDxt3, Format::kDxt4, Format::kDxt5}) {
        Image image = WithSurfaces({Gradient(12, 8, true)}, 1, 1, Format::kA8R8G8B8);
        ASSERT_TRUE(GenerateMips(&image, 0, nullptr));
        ASSERT_TRUE(CompressImage(&image, format, nullptr));
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(Encode(image, kFileDds, &file, &error)) << error;
        EXPECT_EQ(file.size(), 128 + LevelBytes(format, 12, 8) + LevelBytes(format, 6, 4) + LevelBytes(format, 3, 2) +
                                   LevelBytes(format, 1, 1));
        const Image back = DecodeOk(file);
        EXPECT_EQ(back.info.format, format);
        EXPECT_EQ(back.pixelFormat, format);
        ASSERT_EQ(back.surfaces.size(), 4u);
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(back.surfaces[i].bytes, image.surfaces[i].bytes);
        EXPECT_EQ(back.surfaces[1].pitch, RowBytes(format, 6));
        // And they can be opened into texels.
        Image open = back;
        ASSERT_TRUE(DecompressImage(&open, nullptr));
        EXPECT_EQ(open.pixelFormat, Format::kA8R8G8B8);
        EXPECT_EQ(open.surfaces[2].width, 3u);
    }
}

TEST(ImageDds, SkippedLevelsLeaveTheSmallerOnes) {
    Image image = WithSurfaces({Gradient(8, 4, true), Gradient(8, 4, false)}, 2, 1, Format::kA8R8G8B8);
    ASSERT_TRUE(GenerateMips(&image, 0, nullptr));
    const std::vector<uint8_t> second = image.Level(1, 1).bytes;
    SkipLevels(&image, 1);
    EXPECT_EQ(image.info.mipLevels, 3u);
    EXPECT_EQ(image.info.width, 4u);
    EXPECT_EQ(image.info.height, 2u);
    ASSERT_EQ(image.surfaces.size(), 6u);
    EXPECT_EQ(image.Level(1, 0).bytes, second);
    SkipLevels(&image, 9);  // more than there are: the last stays
    EXPECT_EQ(image.info.mipLevels, 1u);
    EXPECT_EQ(image.info.width, 1u);
    ASSERT_EQ(image.surfaces.size(), 2u);
}

TEST(ImageDds, HeaderMasksNameTheirFormats) {
    struct Row {
        uint32_t pfFlags, bits, r, g, b, a, format;
    };
    const Row rows[] = {
        {0x40, 16, 0xF800, 0x07E0, 0x001F, 0, Format::kR5G6B5},
        {0x41, 16, 0x7C00, 0x03E0, 0x001F, 0x8000, Format::kA1R5G5B5},
        {0x40, 16, 0x7C00, 0x03E0, 0x001F, 0, Format::kX1R5G5B5},
        {0x41, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, Format::kA4R4G4B4},
        {0x40, 16, 0x0F00, 0x00F0, 0x000F, 0, Format::kX4R4G4B4},
        {0x40, 8, 0xE0, 0x1C, 0x03, 0, Format::kR3G3B2},
        {0x02, 8, 0, 0, 0, 0xFF, Format::kA8},
        {0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, Format::kA8R8G8B8},
        {0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0, Format::kX8R8G8B8},
        {0x40, 32, 0xFF, 0xFF00, 0xFF0000, 0, Format::kX8B8G8R8},
        {0x41, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, Format::kA8B8G8R8},
        {0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0, Format::kR8G8B8},
        {0x20000, 8, 0xFF, 0, 0, 0, Format::kL8},
        {0x20000, 16, 0xFFFF, 0, 0, 0, Format::kL16},
        {0x20001, 16, 0xFF, 0, 0, 0xFF00, Format::kA8L8},
        {0x20001, 8, 0xFF, 0, 0, 0xFF00, Format::kA8L8},  // the masks win over the bit count
        {0x20001, 8, 0x0F, 0, 0, 0xF0, Format::kA4L4},
        {0x80000, 16, 0xFF, 0xFF00, 0, 0, Format::kV8U8},
        {0x40000, 32, 0xFF, 0xFF00, 0xFF0000, 0, Format::kX8L8V8U8},
        {0x40, 16, 0x1234, 0, 0, 0, Format::kUnknown},
    };
    for (const Row& row : rows) {
        DdsHeader h;
        h.pfFlags = row.pfFlags, h.bits = row.bits, h.r = row.r, h.g = row.g, h.b = row.b, h.a = row.a;
        const uint32_t bytes = std::max(FormatBits(row.format), 8u) / 8;
        const std::vector<uint8_t> file = h.Build(16 * bytes);
        Info info;
        std::string error;
        const bool ok = ReadInfo(file.data(), file.size(), &info, &error);
        if (row.format == Format::kUnknown) {
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok) << error << " flags " << row.pfFlags;
        EXPECT_EQ(info.format, row.format) << "flags " << row.pfFlags << " bits " << row.bits;
    }
}

TEST(ImageDds, TenBitFormatsAreNamedAsD3dxWritesThemAndWideTexelsCanStayAsStored) {
    struct Row {
        uint32_t format, redMask;
    };
    for (const Row& row : {Row{Format::kA2B10G10R10, 0x3FF00000}, Row{Format::kA2R10G10B10, 0x3FF}}) {
        SCOPED_TRACE(testing::Message() << "format " << row.format);
        const Image image = WithSurfaces({Gradient(4, 4, true)}, 1, 1, row.format);
        std::vector<uint8_t> file, stored;
        ASSERT_TRUE(EncodeDds(image, row.format, &file, nullptr));
        ASSERT_GT(file.size(), 96u);
        uint32_t red;
        std::memcpy(&red, file.data() + 92, 4);  // the pixel format's red mask
        EXPECT_EQ(red, row.redMask);
        EXPECT_EQ(InfoOk(file).format, row.format);
        EXPECT_TRUE(SameTexels(DecodeOk(file).surfaces[0], Through(image.surfaces[0], row.format)));
        Image kept;
        ASSERT_TRUE(Decode(file.data(), file.size(), &kept, nullptr, Texels::kWideAsStored));
        EXPECT_EQ(kept.pixelFormat, row.format);
        ASSERT_TRUE(SurfaceToFormat(image.surfaces[0], row.format, &stored, nullptr));
        EXPECT_EQ(kept.surfaces[0].bytes, stored);
    }
}

TEST(ImageDds, FourCCsNameFormatsAndNumbers) {
    for (uint32_t format : {Format::kDxt1, Format::kDxt3, Format::kA16B16G16R16, Format::kR16F, Format::kR32F,
                            Format::kA32B32G32R32F, Format::kYuy2}) {
        DdsHeader h;
        h.pfFlags = 0x4;
        h.fourCC = format;
        const std::vector<uint8_t> file = h.Build(LevelBytes(format, 4, 4));
        EXPECT_EQ(InfoOk(file).format, format);
    }
    DdsHeader dx10;
    dx10.pfFlags = 0x4;
    dx10.fourCC = MakeFourCC('D', 'X', '1', '0');
    std::vector<uint8_t> file = dx10.Build(256);
    Info info;
    std::string error;
    EXPECT_FALSE(ReadInfo(file.data(), file.size(), &info, &error));
    // A packed format is described but not decoded.
    DdsHeader yuy2;
    yuy2.pfFlags = 0x4;
    yuy2.fourCC = Format::kYuy2;
    yuy2.width = 3;
    file = yuy2.Build(LevelBytes(Format::kYuy2, 3, 4));
    EXPECT_EQ(LevelBytes(Format::kYuy2, 3, 4), 32u);  // the width rounded up to even
    EXPECT_TRUE(ReadInfo(file.data(), file.size(), &info, &error)) << error;
    file.pop_back();
    EXPECT_FALSE(ReadInfo(file.data(), file.size(), &info, &error));
    Image image;
    file = yuy2.Build(32);
    EXPECT_FALSE(Decode(file.data(), file.size(), &image, &error));
}

TEST(ImageDds, TheFileMustHoldEveryDeclaredLevel) {
    // DXT4, 256 x 256 and 9 levels: 65536 + 16384 + 4096 + 1024 + 256 + 64 + 16 + 16 + 16 bytes.
    DdsHeader h;
    h.pfFlags = 0x4;
    h.fourCC = Format::kDxt4;
    h.width = h.height = 256;
    h.mipCount = 9;
    std::vector<uint8_t> file = h.Build(87408);
    const Info info = InfoOk(file);
    EXPECT_EQ(info.mipLevels, 9u);
    file.pop_back();
    Info again;
    EXPECT_FALSE(ReadInfo(file.data(), file.size(), &again, nullptr));
    // The mip-count flag is not needed (it is not set here), and a count of 0 means 1.
    h.mipCount = 0;
    file = h.Build(65536);
    EXPECT_EQ(InfoOk(file).mipLevels, 1u);
    // More levels than the size allows.
    h.width = h.height = 4;
    h.mipCount = 4;
    file = h.Build(1024);
    EXPECT_FALSE(ReadInfo(file.data(), file.size(), &again, nullptr));
}

TEST(ImageDds, CubesNeedAllFacesAndVolumesGiveTheirFirstSlices) {
    DdsHeader h;
    h.pfFlags = 0x4;
    h.fourCC = Format::kDxt5;
    h.caps2 = 0x200 | 0xFC00;
    h.width = 4;
    h.height = 2;  // unequal sides are accepted
    std::vector<uint8_t> file = h.Build(6 * 16);
    Info info = InfoOk(file);
    EXPECT_EQ(info.resourceType, kResourceCubeTexture);
    EXPECT_EQ(info.depth, 1u);
    EXPECT_EQ(DecodeOk(file).surfaces.size(), 6u);
    h.caps2 = 0x200 | 0x7C00;  // no -Z
    file = h.Build(6 * 16);
    std::string error;
    EXPECT_FALSE(ReadInfo(file.data(), file.size(), &info, &error));
    // Only the depth flag makes a volume, whatever the cube bits say.
    h.caps2 = 0x200 | 0xFC00 | 0x200000;
    h.fourCC = Format::kDxt3;
    h.flags |= 0x800000;
    h.depth = 2;
    h.mipCount = 3;
    h.width = h.height = 4;
    file = h.Build(16 * 2 + 16 + 16);
    info = InfoOk(file);
    EXPECT_EQ(info.resourceType, kResourceVolumeTexture);
    EXPECT_EQ(info.depth, 2u);
    EXPECT_EQ(info.mipLevels, 3u);
    // Decoded, a volume is the first slice of each level: the 4x4 level's first block,
    // then the blocks of the 2x2 and 1x1 levels, whose one slice follows the second of the
    // top level.
    const Image image = DecodeOk(file);
    ASSERT_EQ(image.surfaces.size(), 3u);
    EXPECT_EQ(image.faces, 1u);
    EXPECT_EQ(image.info.resourceType, kResourceVolumeTexture);
    const size_t data = file.size() - 64;
    for (uint32_t level = 0; level < 3; ++level) {
        const Surface& slice = image.Level(0, level);
        EXPECT_EQ(slice.width, 4u >> level);
        const size_t first = level == 0 ? data : data + 16 * (level + 1);
        EXPECT_EQ(slice.bytes, std::vector<uint8_t>(file.begin() + ptrdiff_t(first), file.begin() + ptrdiff_t(first + 16)))
            << level;
    }
    ExpectTruncationsFail(file);
}

TEST(ImageDds, PalettedTexelsTakeTheirPaletteAndItsFlagsAsAlpha) {
    DdsHeader h;
    h.pfFlags = 0x20;
    h.bits = 8;
    h.width = 16;
    std::vector<uint8_t> file = h.Build(0);
    for (int i = 0; i < 256; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i), 0x10, 0x20, static_cast<uint8_t>(255 - i)};
        file.insert(file.end(), entry, entry + 4);
    }
    for (int i = 0; i < 64; ++i) file.push_back(static_cast<uint8_t>(i * 3));
    EXPECT_EQ(InfoOk(file).format, Format::kP8);
    const Image image = DecodeOk(file);
    EXPECT_EQ(image.surfaces[0].At(5, 0), Argb(255 - 15, 15, 0x10, 0x20));
    file.pop_back();
    Info info;
    EXPECT_FALSE(ReadInfo(file.data(), file.size(), &info, nullptr));
}

TEST(ImageDds, ThrowsOutWhatItCannotWrite) {
    Image image = MakeArgbImage(4, 4);
    std::vector<uint8_t> file;
    std::string error;
    EXPECT_FALSE(EncodeDds(image, Format::kP8, &file, &error));
    EXPECT_FALSE(EncodeDds(image, Format::kYuy2, &file, &error));
    image.faces = 6;  // but one surface
    EXPECT_FALSE(EncodeDds(image, Format::kA8R8G8B8, &file, &error));
    Image blocks = MakeArgbImage(4, 4);
    ASSERT_TRUE(CompressImage(&blocks, Format::kDxt1, nullptr));
    EXPECT_FALSE(EncodeDds(blocks, Format::kDxt5, &file, &error));  // blocks stay in their own format
    EXPECT_FALSE(Encode(blocks, kFilePng, &file, &error));
}

TEST(ImageDds, TruncationsAndDamage) {
    Image image = WithSurfaces({Gradient(8, 8, true), Gradient(8, 8, false), Gradient(8, 8, true), Gradient(8, 8, false),
                                Gradient(8, 8, true), Gradient(8, 8, false)},
                               6, 1, Format::kR5G6B5);
    ASSERT_TRUE(GenerateMips(&image, 2, nullptr));
    std::vector<uint8_t> file;
    ASSERT_TRUE(Encode(image, kFileDds, &file, nullptr));
    EXPECT_EQ(InfoOk(file).format, Format::kR5G6B5);  // the remembered format is written
    ExpectTruncationsFail(file);
    ExpectDamageSurvived(file, 128);
    ASSERT_TRUE(CompressImage(&image, Format::kDxt5, nullptr));
    ASSERT_TRUE(Encode(image, kFileDds, &file, nullptr));
    ExpectTruncationsFail(file);
    ExpectDamageSurvived(file, 128);
}

// ---- detection and the general entry points ----

TEST(ImageCodec, DetectsFormatsByContent) {
    const Image image = MakeArgbImage(3, 3, 0xFF204060u);
    for (FileFormat format : {kFileBmp, kFileJpg, kFileTga, kFilePng, kFileDds}) {
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(Encode(image, format, &file, &error)) << error;
        EXPECT_EQ(DetectFileFormat(file.data(), file.size()), format);
        EXPECT_EQ(InfoOk(file).fileFormat, static_cast<uint32_t>(format));
        EXPECT_EQ(DecodeOk(file).info.fileFormat, static_cast<uint32_t>(format));
    }
    const char* text = "plain text is no image, not even a TGA one";
    EXPECT_EQ(DetectFileFormat(text, std::strlen(text)), kFileUnknown);
    EXPECT_EQ(DetectFileFormat(nullptr, 10), kFileUnknown);
    EXPECT_EQ(DetectFileFormat("BM", 2), kFileBmp);
    Info info;
    std::string error;
    EXPECT_FALSE(ReadInfo(text, std::strlen(text), &info, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ReadInfo(text, 0, &info, &error));
}

TEST(ImageCodec, AFailedDecodeLeavesAnEmptyRecord) {
    std::vector<uint8_t> file;
    ASSERT_TRUE(Encode(MakeArgbImage(4, 4), kFileBmp, &file, nullptr));
    file.resize(file.size() - 1);
    Image image = MakeArgbImage(2, 2);
    std::string error;
    EXPECT_FALSE(Decode(file.data(), file.size(), &image, &error));
    EXPECT_TRUE(image.surfaces.empty());
    EXPECT_EQ(image.info.width, 0u);
}

TEST(ImageCodec, PalettesHoldTheColoursInOrderOfAppearance) {
    Surface s = FewColours(10, 4, 3);
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
    ASSERT_TRUE(BuildPalette(s, 3, &palette, &indices, nullptr));
    ASSERT_EQ(palette.size(), 3u);
    EXPECT_EQ(palette[0], s.At(0, 0));
    for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(palette[indices[i]], s.Argb()[i]);
    std::string error;
    EXPECT_FALSE(BuildPalette(s, 2, &palette, &indices, &error));
    EXPECT_FALSE(error.empty());
}

// ---- files made by ImageMagick ----

namespace {

bool HaveImageMagick() {
    FILE* pipe = popen("convert -version 2>/dev/null", "r");
    if (!pipe) return false;
    char line[256] = {};
    const bool found = std::fgets(line, sizeof line, pipe) && std::strstr(line, "Version: ImageMagick");
    while (std::fgets(line, sizeof line, pipe)) {
    }
    pclose(pipe);
    return found;
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Scratch {
    std::string dir;
    Scratch() {
        char pattern[] = "/tmp/corvane-image-XXXXXX";
        const char* made = mkdtemp(pattern);
        dir = made ? made : "";
    }
    ~Scratch() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
};

}  // namespace

TEST(ImageMagick, FilesItMakesReadAsItReadsThem) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    Scratch scratch;
    ASSERT_FALSE(scratch.dir.empty());
    struct Row {
        const char* source;  // what convert draws
        const char* output;  // file name and, before it, options
        uint32_t format;
        int tolerance;
    };
    const Row rows[] = {
        {"-size 23x11 gradient:red-blue", "BMP3:a.bmp", Format::kR8G8B8, 0},
        {"-size 23x11 gradient:red-blue -colors 16 -type Palette", "BMP3:b.bmp", Format::kP8, 0},
        {"-size 23x11 gradient:red-blue -alpha set -channel A -evaluate set 50% +channel", "c.bmp",
         Format::kA8R8G8B8, 0},
        {"-size 23x11 gradient:white-black -type Bilevel", "BMP3:d.bmp", Format::kP8, 0},
        {"-size 23x11 gradient:red-blue -colors 40 -type Palette -compress RLE", "BMP3:d2.bmp", Format::kP8, 0},
        {"-size 23x11 gradient:red-blue", "e.tga", Format::kR8G8B8, 0},
        {"-size 23x11 gradient:red-blue -orient TopLeft", "e2.tga", Format::kR8G8B8, 0},
        {"-size 23x11 gradient:red-blue -compress RLE", "f.tga", Format::kR8G8B8, 0},
        {"-size 23x11 gradient:red-blue -alpha set -channel A -evaluate set 25% +channel", "g.tga", Format::kA8R8G8B8, 0},
        {"-size 23x11 gradient:white-black -type Grayscale", "h.tga", Format::kL8, 0},
        {"-size 23x11 gradient:red-blue", "PNG24:i.png", Format::kX8R8G8B8, 0},
        {"-size 23x11 gradient:red-blue -alpha set -channel A -evaluate set 40% +channel", "PNG32:j.png",
         Format::kA8R8G8B8, 0},
        {"-size 23x11 gradient:red-blue -interlace PNG", "PNG24:k.png", Format::kX8R8G8B8, 0},
        {"-size 23x11 gradient:white-black", "-depth 8 -type Grayscale PNG8:l.png", Format::kP8, 0},
        {"-size 23x11 gradient:red-blue", "-depth 16 PNG48:m.png", Format::kA16B16G16R16, 1},
        {"-size 23x11 gradient:red-blue", "-quality 95 n.jpg", Format::kX8R8G8B8, 2},
        {"-size 23x11 gradient:white-black", "-colorspace Gray -quality 95 o.jpg", Format::kL8, 2},
        {"-size 23x11 gradient:red-blue", "-colorspace CMYK -quality 95 o2.jpg", Format::kX8R8G8B8, 2},
        {"-size 23x11 gradient:red-blue -alpha set -channel A -fx 'i<5?0:1' +channel", "PNG8:l2.png", Format::kP8, 0},
        {"-size 16x8 gradient:red-blue", "-define dds:compression=none -define dds:mipmaps=0 p.dds",
         Format::kR8G8B8, 0},
        {"-size 16x8 gradient:red-blue -alpha set -channel A -evaluate set 40% +channel",
         "-define dds:compression=none q.dds", Format::kA8R8G8B8, 0},
        {"-size 16x8 gradient:red-blue", "-define dds:compression=dxt1 -define dds:mipmaps=0 r.dds", Format::kDxt1, 8},
        {"-size 16x8 gradient:red-blue -alpha set -channel A -evaluate set 40% +channel",
         "-define dds:compression=dxt5 s.dds", Format::kDxt5, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.output);
        std::string name = row.output;
        name = name.substr(name.find_last_of(" :") + 1);
        const std::string path = scratch.dir + "/" + name;
        const std::string target = std::string(row.output).substr(0, std::string(row.output).size() - name.size());
        const std::string make = "cd '" + scratch.dir + "' && convert " + row.source + " " + target + name + " 2>/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        // ImageMagick's own reading of the file, as 8-bit R, G, B, A (rows turned as the file's
        // origin says: ImageMagick keeps them in stored order unless asked).
        const std::string dump =
            "cd '" + scratch.dir + "' && convert '" + name + "' -auto-orient -depth 8 RGBA:" + name + ".raw";
        ASSERT_EQ(std::system(dump.c_str()), 0);
        const std::vector<uint8_t> file = ReadWhole(path);
        const std::vector<uint8_t> raw = ReadWhole(path + ".raw");
        const Info info = InfoOk(file);
        EXPECT_EQ(info.format, row.format);
        Image image = DecodeOk(file);
        ASSERT_TRUE(DecompressImage(&image, nullptr));
        ASSERT_FALSE(image.surfaces.empty());
        const Surface& s = image.surfaces[0];
        ASSERT_EQ(raw.size(), 4u * s.width * s.height);
        Surface expected;
        expected.ResetArgb(s.width, s.height);
        for (uint32_t i = 0; i < s.width * s.height; ++i)
            expected.Argb()[i] = Argb(raw[4 * i + 3], raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]);
        EXPECT_TRUE(CloseTexels(s, expected, row.tolerance));
    }
}
