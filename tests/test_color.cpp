#include "Core/FColor.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

FColor Argb(float a, float r, float g, float b) {
    FColor c;
    c.Set(a, r, g, b);
    return c;
}

// The channel byte by plain 64-bit arithmetic: trunc(c * 256) modulo 65536, at
// most 255. Valid while c * 256 fits in 64 bits.
u32 ReferenceChannel(float c) {
    const std::int64_t t = static_cast<std::int64_t>(static_cast<double>(c) * 256.0);
    const std::int64_t low = ((t % 65536) + 65536) % 65536;
    return low > 255 ? 255u : static_cast<u32>(low);
}

u32 BlueByte(float c) { return Argb(0, 0, 0, c).ToPacked() & 0xFF; }

}  // namespace

TEST(FColor, ConstructorsAndSetters) {
    const FColor white;
    EXPECT_EQ(white.a, 1.0f);
    EXPECT_EQ(white.r, 1.0f);
    EXPECT_EQ(white.g, 1.0f);
    EXPECT_EQ(white.b, 1.0f);

    const FColor rgb = FColor::FromRgb(0.1f, 0.2f, 0.3f);
    EXPECT_EQ(rgb.a, 1.0f);
    EXPECT_EQ(rgb.r, 0.1f);
    EXPECT_EQ(rgb.b, 0.3f);

    const FColor bytes = FColor::FromBytes(255, 128, 0);
    EXPECT_EQ(bytes.a, 1.0f);
    EXPECT_EQ(bytes.r, 255 * 0.003921569f);
    EXPECT_EQ(bytes.g, 128 * 0.003921569f);
    EXPECT_EQ(bytes.b, 0.0f);

    const FColor packed = FColor::FromPacked(0x80FF0000u);
    EXPECT_EQ(packed.a, 128 * 0.003921569f);
    EXPECT_EQ(packed.r, 255 * 0.003921569f);
    EXPECT_FLOAT_EQ(packed.r, 1.0f);
    EXPECT_EQ(packed.g, 0.0f);
    EXPECT_EQ(packed.b, 0.0f);

    const FColor argb = FColor::FromBytesArgb(1, 2, 3, 4);
    EXPECT_EQ(argb.a, 1 * 0.003921569f);
    EXPECT_EQ(argb.b, 4 * 0.003921569f);

    FColor grey = Argb(0.5f, 0, 0, 0);
    grey.SetGrey(0.25f);
    EXPECT_TRUE(FColor::Equals(grey, Argb(1.0f, 0.25f, 0.25f, 0.25f)));
}

TEST(FColor, PackingOfDocumentedValues) {
    EXPECT_EQ(FColor().ToPacked(), 0xFFFFFFFFu);
    EXPECT_EQ(Argb(1.0f, 0.5f, 0.0f, -0.25f).ToPacked(), 0xFF8000FFu);
    EXPECT_EQ(Argb(0.0f, 0.5f, 0.0f, -0.25f).ToRgb24(), 0x8000FFu);  // alpha ignored
    EXPECT_EQ(BlueByte(1.0f), 255u);
    EXPECT_EQ(BlueByte(0.999f), 255u);
    EXPECT_EQ(BlueByte(0.5f), 128u);
    EXPECT_EQ(BlueByte(0.0f), 0u);
    EXPECT_EQ(BlueByte(-0.0f), 0u);
    EXPECT_EQ(BlueByte(-0.001f), 0u);    // truncates to 0
    EXPECT_EQ(BlueByte(1.5f), 255u);     // 384 is above 255
    EXPECT_EQ(BlueByte(256.0f), 0u);     // 65536 has zero low bits
    EXPECT_EQ(BlueByte(256.5f), 128u);   // 65664 -> 128
    EXPECT_EQ(BlueByte(-256.0f), 0u);
    EXPECT_EQ(Argb(0.25f, 0.75f, 0.125f, 2.0f).ToPacked(), 0x40C020FFu);
}

TEST(FColor, PackingBeyondIntegerRangeIsDefined) {
    // Channels whose product with 256 leaves the 32-bit range still pack as their
    // low 16 bits say.
    const float values[] = {8388608.0f, -8388608.0f, 1e7f,  -1e7f,      3e9f,    -3e9f,
                            12345678.9f, 1e12f,       -1e12f, 8388607.5f, -8388607.5f};
    for (float v : values) EXPECT_EQ(BlueByte(v), ReferenceChannel(v)) << v;
    EXPECT_EQ(BlueByte(FLT_MAX), 0u);  // a multiple of 65536
    EXPECT_EQ(BlueByte(-FLT_MAX), 0u);
    EXPECT_EQ(BlueByte(std::numeric_limits<float>::infinity()), 255u);
    EXPECT_EQ(BlueByte(-std::numeric_limits<float>::infinity()), 255u);
    EXPECT_EQ(BlueByte(std::numeric_limits<float>::quiet_NaN()), 0u);
}

TEST(FColor, PackedBytesRoundTrip) {
    for (u32 v = 0; v < 256; ++v) {
        const u32 packed = (v << 24) | ((255 - v) << 16) | (((v * 7) & 255) << 8) | ((v * 13) & 255);
        EXPECT_EQ(FColor::FromPacked(packed).ToPacked(), packed) << std::hex << packed;
    }
}

TEST(FColor, ArithmeticAndComparison) {
    float rgba[4];
    Argb(0.1f, 0.2f, 0.3f, 0.4f).ToRgba(rgba);
    EXPECT_EQ(rgba[0], 0.2f);
    EXPECT_EQ(rgba[1], 0.3f);
    EXPECT_EQ(rgba[2], 0.4f);
    EXPECT_EQ(rgba[3], 0.1f);

    EXPECT_EQ(Argb(0.5f, 3.0f, 0.0f, 4.0f).Intensity(), 2.5f);

    const FColor sum = FColor::Add(Argb(1, 2, 3, 4), Argb(0.5f, -2, 1, 0));
    EXPECT_TRUE(FColor::Equals(sum, Argb(1.5f, 0, 4, 4)));
    EXPECT_TRUE(FColor::Equals(FColor::Scale(Argb(1, 2, 3, 4), 2), Argb(2, 4, 6, 8)));
    EXPECT_TRUE(FColor::Equals(FColor::ScaleBy(0.5f, Argb(1, 2, 3, 4)), Argb(0.5f, 1, 1.5f, 2)));

    EXPECT_TRUE(FColor::NotEquals(Argb(1, 1, 1, 1), Argb(0.5f, 1, 1, 1)));
    EXPECT_TRUE(FColor::NotEquals(Argb(1, 1, 1, 1), Argb(1, 1, 1, 0.5f)));
    EXPECT_FALSE(FColor::NotEquals(Argb(1, 0.0f, 1, 1), Argb(1, -0.0f, 1, 1)));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(FColor::Equals(Argb(1, nan, 1, 1), Argb(1, nan, 1, 1)));
    EXPECT_TRUE(FColor::NotEquals(Argb(1, nan, 1, 1), Argb(1, nan, 1, 1)));
}
