// The light combinations an effect is compiled for. A group holds kinds of light ("DIR",
// "POINT", "SPOT") whose counts vary together within per-kind and total bounds; stepping a
// group walks every admissible combination of counts once, like an odometer whose first
// wheel turns fastest. Each combination becomes one variant of the effect source, with
// definitions that name its lights and the interpolators they need.
#pragma once

#include "Core/Array.h"
#include "Core/String.h"
#include "Core/Types.h"

struct LightKind {
    String name;            // "POINT", "DIR", "SPOT": the prefix of its definitions
    i32 minCount = 0;
    i32 maxCount = 0;
    StringArray perLight;   // vertex outputs each light of the kind needs
    StringArray shared;     // vertex outputs the kind needs once per variant
    String define;          // an extra definition for a variant holding such a light
};

class LightGroup {
public:
    LightGroup() = default;

    // Kinds are walked in the order they were added.
    void AddKind(const LightKind& kind);
    i32 KindCount() const { return kinds.count; }
    const LightKind& Kind(i32 i) const { return kinds[i]; }
    i32 Count(i32 i) const { return counts[i]; }

    // The first combination with at least minTotal lights.
    void Reset();
    // The next combination; false when none is left.
    bool Next();

    i32 minTotal = 0;
    i32 maxTotal = 0;

private:
    i32 Sum() const;

    Array<LightKind> kinds{0, 10};
    Array<i32> counts{0, 10};
    Array<i32> high{0, 10};
    Array<i32> low{0, 10};
};

// One step of the odometer over counts c within [l, h] whose sum may not pass t; false
// when every combination has been visited. Exposed for tests.
bool StepLightCombination(i32* c, const i32* l, const i32* h, i32 n, i32 t);

// The pixel-shader model that runs a variant with `interpolators` texture coordinates for
// an effect that needs version `psVersion` (major * 10 + minor); null when none can.
const char* ChoosePixelShaderModel(i32 interpolators, i32 psVersion);
