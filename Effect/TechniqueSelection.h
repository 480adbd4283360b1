// The techniques that draw one material layer for one set of lights. An object's lights
// may need more than one technique: each entry draws the lights its technique was compiled
// for (the labels of the variant that holds it), and the later entries add their light to
// what the first drew. A selection is built once per technique name, light set and light
// limit and kept while it is used every frame.
#pragma once

#include "Core/Array.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Effect/EffectCode.h"
#include "Effect/Light.h"

// One technique of a selection: where it lives, how many passes it has and the lights it
// draws, numbered in the order of the variant's definitions.
struct TechniqueEntry {
    String technique;
    EffectCode* code = nullptr;  // one of the effect's variant codes, which outlive the selection
    i32 passes = 0;
    Array<RefHandle<Light>> lights{0, 4};
};

struct TechniqueSelection {
    Array<TechniqueEntry> entries{0, 2};
    TechniqueRecord query;  // the labels and name of the last step's query
    u32 lastUse = 0;        // frame number
    i32 totalPasses = 0;

    // The entry that holds pass `pass` and the pass's index within it; false past the total.
    bool LocatePass(i32 pass, i32& entry, i32& local) const;
};

// The label of a light kind: "POINT", "SPOT" or "DIR"; empty for an unknown type.
String LightKindName(u32 lightType);

// Where selections are kept: per technique name, by the object's light-set key and the light
// limit the selection was built for (the same lights cut to another limit are another
// selection).
struct SelectionKey {
    u32 lightSetKey = 0;
    i32 lightLimit = -1;
};

struct SelectionKeyOrder {
    int operator()(const SelectionKey& a, const SelectionKey& b) const;
};

using SelectionsByLights = OrderedMap<SelectionKey, TechniqueSelection*, SelectionKeyOrder>;

// Owns its selections.
class SelectionCache {
public:
    SelectionCache() = default;
    SelectionCache(const SelectionCache&) = delete;
    SelectionCache& operator=(const SelectionCache&) = delete;
    ~SelectionCache() { Clear(); }

    TechniqueSelection* Find(const String& technique, SelectionKey key) const;
    // Files a selection (taking it over); one filed under the same key before is destroyed.
    void Insert(const String& technique, SelectionKey key, TechniqueSelection* selection);
    // Destroys every selection whose last use is not `keepFrame`; true when `watched` was
    // among them.
    bool Purge(u32 keepFrame, const TechniqueSelection* watched);
    void Clear();
    i32 Count() const;

private:
    StringMapOf<SelectionsByLights*> byName;
};
