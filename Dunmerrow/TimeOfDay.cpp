// The arithmetic keeps the frame's own order of operations: the frame's lights, shadows and
// glows are drawn from these values, and a reordered sum would move them by a rounding.
#include "Dunmerrow/TimeOfDay.h"

#include "Dunmerrow/MagicHolder.h"

#include <cmath>

namespace {

constexpr f32 kTwoPi = 6.28318530718f;
constexpr f32 kHorizonGrey = 0.99f;  // shadow grey with the light on the horizon

// Only the colour channels scale; the alpha stays whole.
FColor ScaleColour(const FColor& colour, f32 s) {
    FColor out;
    out.Set(colour.a, colour.r * s, colour.g * s, colour.b * s);
    return out;
}

}  // namespace

TimeOfDay TimeOfDay::At(f32 t, const DaySettings& settings) {
    TimeOfDay day;
    day.fraction = t;
    const f32 a = kTwoPi * t;
    const f32 sinA = std::sin(a);
    day.sine = sinA;
    day.sunDirection = Vec3(0.0f, sinA, std::cos(a));
    Vec3 offPlane;
    Vec3Normalize(offPlane, Vec3(1.0f, sinA, std::cos(a)));
    day.moonDirection = offPlane * -1.0f;
    day.daytime = t < 0.5f;

    const f32 h = (sinA + 1.0f) * 0.5f;
    day.height = h;
    day.night = 1.0f - h;

    const f32 s = std::fabs(sinA);
    day.brightness = s;
    day.groundColour = ScaleColour(settings.ambientLight, (h + 0.1f) * 0.9f);
    day.sunColour = ScaleColour(settings.sunLight, s);
    day.moonColour = ScaleColour(settings.moonLight, s);
    if (!settings.bumpEffect) {
        day.sunColour.Set(1.0f, 0.0f, 0.0f, 0.0f);
        day.moonColour.Set(1.0f, 0.0f, 0.0f, 0.0f);
    }
    day.shadowGrey.SetGrey(settings.shadowLightness * s + (1.0f - s) * kHorizonGrey);
    day.landmarkGrey.SetGrey(settings.pyramidShadow * s + (1.0f - s) * kHorizonGrey);
    day.magicCount = MagicCount(settings.maxMagic, day.night);
    return day;
}
