#include "Core/FColor.h"

#include <cmath>

namespace {

// trunc(c * 256) modulo 65536, limited to 255. The product is formed in double
// precision, where it is exact for every float. The usual range converts
// directly; outside the range of a 32-bit integer the conversion would be
// undefined, so the low 16 bits are taken arithmetically instead (the value is an
// integer there already). A NaN channel packs as 0, an infinite one as 255.
u32 PackChannel(f32 c) {
    const f64 x = static_cast<f64>(c) * 256.0;
    u32 low16;
    if (x > -2147483648.0 && x < 2147483648.0) {
        low16 = static_cast<u32>(static_cast<i32>(x)) & 0xFFFFu;
    } else if (std::isnan(x)) {
        low16 = 0;
    } else if (std::isinf(x)) {
        low16 = 0xFFFFu;
    } else {
        f64 rem = std::fmod(x, 65536.0);
        if (rem < 0.0) {
            rem += 65536.0;
        }
        low16 = static_cast<u32>(rem);
    }
    return low16 > 255u ? 255u : low16;
}

}  // namespace

FColor FColor::FromRgb(f32 r, f32 g, f32 b) {
    FColor c;
    c.Set(1.0f, r, g, b);
    return c;
}

FColor FColor::FromBytes(u8 r, u8 g, u8 b) {
    return FromRgb(r * kByteScale, g * kByteScale, b * kByteScale);
}

FColor FColor::FromPacked(u32 packed) {
    return FromBytesArgb(static_cast<u8>(packed >> 24), static_cast<u8>(packed >> 16),
                         static_cast<u8>(packed >> 8), static_cast<u8>(packed));
}

FColor FColor::FromBytesArgb(u8 a, u8 r, u8 g, u8 b) {
    FColor c;
    c.Set(a * kByteScale, r * kByteScale, g * kByteScale, b * kByteScale);
    return c;
}

void FColor::SetGrey(f32 v) { Set(1.0f, v, v, v); }

void FColor::Set(f32 a_, f32 r_, f32 g_, f32 b_) {
    a = a_;
    r = r_;
    g = g_;
    b = b_;
}

u32 FColor::ToRgb24() const { return (PackChannel(r) << 16) | (PackChannel(g) << 8) | PackChannel(b); }

u32 FColor::ToPacked() const { return (PackChannel(a) << 24) | ToRgb24(); }

void FColor::ToRgba(f32 out[4]) const {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = a;
}

f32 FColor::Intensity() const { return std::sqrt(r * r + g * g + b * b) * a; }

FColor FColor::Add(FColor x, FColor y) {
    FColor c;
    c.Set(x.a + y.a, x.r + y.r, x.g + y.g, x.b + y.b);
    return c;
}

FColor FColor::Scale(FColor x, f32 s) {
    FColor c;
    c.Set(x.a * s, x.r * s, x.g * s, x.b * s);
    return c;
}

FColor FColor::ScaleBy(f32 s, FColor x) { return Scale(x, s); }

bool FColor::Equals(FColor x, FColor y) { return x.a == y.a && x.r == y.r && x.g == y.g && x.b == y.b; }

bool FColor::NotEquals(FColor x, FColor y) { return !Equals(x, y); }
