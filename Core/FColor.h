// A colour of four floats, alpha first, with its packing to 32-bit colours.
#pragma once

#include "Core/Types.h"

class FColor {
public:
    f32 a = 1.0f;
    f32 r = 1.0f;
    f32 g = 1.0f;
    f32 b = 1.0f;

    // Opaque white.
    FColor() = default;

    // Alpha 1 and the given channels.
    static FColor FromRgb(f32 r, f32 g, f32 b);
    // Alpha 1 and each byte times 1/255.
    static FColor FromBytes(u8 r, u8 g, u8 b);
    // The bytes of 0xAARRGGBB, each times 1/255.
    static FColor FromPacked(u32 packed);
    // Each byte times 1/255.
    static FColor FromBytesArgb(u8 a, u8 r, u8 g, u8 b);

    // Alpha 1 and a grey of v.
    void SetGrey(f32 v);
    void Set(f32 a, f32 r, f32 g, f32 b);

    // Each channel c packs as trunc(c * 256) taken modulo 65536 (its low 16 bits)
    // and then limited to 255: 1.0 gives 255, 0.5 gives 128, and most negative
    // channels give 255 because their 16-bit value is above 255.
    // (R << 16) | (G << 8) | B; alpha is ignored.
    u32 ToRgb24() const;
    // 0xAARRGGBB.
    u32 ToPacked() const;
    // The channels in the order r, g, b, a (the Direct3D colour value order).
    void ToRgba(f32 out[4]) const;
    // sqrt(r^2 + g^2 + b^2) * a.
    f32 Intensity() const;

    static FColor Add(FColor x, FColor y);
    static FColor Scale(FColor x, f32 s);
    static FColor ScaleBy(f32 s, FColor x);
    static bool Equals(FColor x, FColor y);
    static bool NotEquals(FColor x, FColor y);

    // The byte-to-channel factor: the float nearest 1/255.
    static constexpr f32 kByteScale = 0.003921569f;
};
