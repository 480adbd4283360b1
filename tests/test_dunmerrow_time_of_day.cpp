// The product scene's time of day worked out alone, with no scene and no device: where the
// sun and the moon stand, which of them lights the scene, the ground's light, the shadow
// greys and the magic's particle count at the hours a viewer tells apart.
#include "Dunmerrow/TimeOfDay.h"

#include <gtest/gtest.h>

namespace {

DaySettings ShippedLikeSettings() {
    DaySettings settings;
    settings.ambientLight = FColor::FromRgb(0.6f, 0.5f, 0.4f);
    settings.sunLight = FColor::FromRgb(1.0f, 0.9f, 0.8f);
    settings.moonLight = FColor::FromRgb(0.1f, 0.1f, 0.2f);
    settings.shadowLightness = 0.8f;
    settings.pyramidShadow = 0.85f;
    settings.maxMagic = 160;
    settings.bumpEffect = true;
    return settings;
}

}  // namespace

TEST(DunmerrowTimeOfDayTest, TheSunRisesClimbsSetsAndTheMoonLightsTheNight) {
    struct Row {
        f32 t;
        bool daytime;
        f32 sunY, sunZ;     // towards the sun
        f32 moonY;          // towards the moon
        f32 height;
        f32 lights;         // the sun's and moon's share of their full colour
        f32 ground;         // the ambient light's share on the ground
        f32 shadowGrey;
        f32 landmarkGrey;
        i32 magic;
    };
    const Row rows[] = {
        // Sunrise: the sun on the horizon ahead, no light from it, the shadows almost white.
        {0.0f, true, 0.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.54f, 0.99f, 0.99f, 10},
        // Noon: the sun overhead at full strength, the darkest shadows, no magic.
        {0.25f, true, 1.0f, 0.0f, -0.7071068f, 1.0f, 1.0f, 0.99f, 0.8f, 0.85f, 0},
        // Sunset: the sun behind, and from here on the moon lights the scene.
        {0.5f, false, 0.0f, -1.0f, 0.0f, 0.5f, 0.0f, 0.54f, 0.99f, 0.99f, 10},
        // Midnight: the moon high at full strength, the ground darkest, all the magic.
        {0.75f, false, -1.0f, 0.0f, 0.7071068f, 0.0f, 1.0f, 0.09f, 0.8f, 0.85f, 160},
    };
    const DaySettings settings = ShippedLikeSettings();
    for (const Row& row : rows) {
        const TimeOfDay day = TimeOfDay::At(row.t, settings);
        SCOPED_TRACE(row.t);
        EXPECT_EQ(day.daytime, row.daytime);
        EXPECT_NEAR(day.sunDirection.x, 0.0f, 1e-6);
        EXPECT_NEAR(day.sunDirection.y, row.sunY, 1e-5);
        EXPECT_NEAR(day.sunDirection.z, row.sunZ, 1e-5);
        EXPECT_NEAR(day.moonDirection.y, row.moonY, 1e-5);
        EXPECT_LT(day.moonDirection.x, 0.0f);  // the moon stands off the sun's plane
        EXPECT_NEAR(day.height, row.height, 1e-5);
        EXPECT_NEAR(day.night, 1.0f - row.height, 1e-5);
        EXPECT_NEAR(day.sunColour.g, 0.9f * row.lights, 1e-5);
        EXPECT_NEAR(day.moonColour.b, 0.2f * row.lights, 1e-5);
        EXPECT_EQ(day.sunColour.a, 1.0f);
        EXPECT_NEAR(day.groundColour.r, 0.6f * row.ground, 1e-5);
        EXPECT_NEAR(day.groundColour.b, 0.4f * row.ground, 1e-5);
        EXPECT_NEAR(day.shadowGrey.r, row.shadowGrey, 1e-5);
        EXPECT_NEAR(day.landmarkGrey.g, row.landmarkGrey, 1e-5);
        EXPECT_EQ(day.magicCount, row.magic);
    }

    // Without the bump effect nothing reads the lights' colours: they stay black by day and
    // by night, while the rest of the day is the same.
    DaySettings flat = settings;
    flat.bumpEffect = false;
    for (f32 t : {0.25f, 0.75f}) {
        const TimeOfDay day = TimeOfDay::At(t, flat);
        EXPECT_EQ(day.sunColour.g, 0.0f);
        EXPECT_EQ(day.moonColour.b, 0.0f);
        EXPECT_EQ(day.sunColour.a, 1.0f);
        EXPECT_EQ(day.shadowGrey.r, TimeOfDay::At(t, settings).shadowGrey.r);
    }
}
