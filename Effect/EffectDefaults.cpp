#include "Effect/EffectDefaults.h"

namespace {
constinit EffectDefaults g_effectDefaults;
}

EffectDefaults& TheEffectDefaults() { return g_effectDefaults; }
