#include "Screen/RenderDefaults.h"

#include <algorithm>
#include <iterator>

namespace {
constinit RenderDefaults g_renderDefaults;
}

RenderDefaults& TheRenderDefaults() { return g_renderDefaults; }

EffectSettings RenderDefaults::ForEffects() const {
    static_assert(std::size(RenderDefaults{}.lightCounts) == EffectSettings::kLightTableSize);
    EffectSettings settings;
    settings.forceCompile = forceCompile;
    settings.saveCompiled = saveCompiled;
    settings.materialSwitch = materialSwitch;
    settings.materialKey = materialKey;
    std::copy(std::begin(lightCounts), std::end(lightCounts), settings.lightCounts);
    settings.defaultLightLevel = defaultLightLevel;
    settings.sequence.sequenceSwitch = sequenceSwitch;
    settings.sequence.sequenceKey = sequenceKey;
    return settings;
}
