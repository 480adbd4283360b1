// The time of day of the product scene: what one day fraction t makes of the sun and the
// moon, their colours, the ground's light, the shadows' grey and the number of magic
// particles. It is a plain value worked out from t and the scene's settings alone, so a
// frame can take it before anything is drawn and a test can check a day without a device.
//
// The sun climbs in the y-z plane from +z (rising at t = 0, highest at 0.25, setting at
// 0.5); the moon stands off that plane on the far side. Day is the first half of t.
#pragma once

#include "Core/FColor.h"
#include "Core/Types.h"
#include "Core/Vector.h"

// The settings the day is worked out from (the scene's keys of the same names).
struct DaySettings {
    FColor ambientLight;
    FColor sunLight;
    FColor moonLight;
    f32 shadowLightness = 0.0f;  // the shadow grey with the light overhead
    f32 pyramidShadow = 0.0f;    // the same under the landmarks and the palms
    i32 maxMagic = 0;
    // Without the bump effect nothing reads the sun and moon colours: they stay black.
    bool bumpEffect = false;
};

class TimeOfDay {
public:
    // The day at fraction t (0..1).
    static TimeOfDay At(f32 t, const DaySettings& settings);

    f32 fraction = 0.0f;     // t
    f32 sine = 0.0f;         // the sine of the sun's angle 2 pi t
    Vec3 sunDirection{0.0f, 0.0f, 0.0f};   // towards the sun, unit length
    Vec3 moonDirection{0.0f, 0.0f, 0.0f};  // towards the moon, unit length
    bool daytime = false;    // the sun lights the scene (t < 0.5), else the moon
    f32 height = 0.0f;       // h: the sun's height 0 (midnight) .. 1 (noon)
    f32 night = 0.0f;        // w = 1 - h: the weight of the glows and the magic
    f32 brightness = 0.0f;   // |sine|: the lights' strength, 0 on the horizon
    FColor groundColour;     // the ground view's ambient light
    FColor sunColour;
    FColor moonColour;
    FColor shadowGrey;       // the ground's shadow grey
    FColor landmarkGrey;     // the landmarks' and the palms' shadow grey
    i32 magicCount = 0;      // magic particles per glow
};
