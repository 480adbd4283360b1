// The program-wide registry of window styles: named sets of keys that window
// configurations attach by name. A style is created empty the first time it is named
// and lives until the registry is reset (tests only, with no window holding a style).
#pragma once

#include "Core/String.h"
#include "Gui/PropertyMap.h"

class StyleRegistry {
public:
    // The style of that name, created empty when missing.
    static PropertyMap& GetOrCreate(const String& name);
    static bool Contains(const String& name);
    static void Reset();
};
