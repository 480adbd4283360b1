// Named properties: an ordered map from a case-sensitive name to a type-tagged value
// (the engine's HandleParam value: a type id, the value, and its type's copy and release
// functions). The same class serves as a set of names: an entry inserted with Get holds
// an empty value, and only its presence counts. Setting a value of another type releases
// the old one first (HandleParam does that).
#pragma once

#include "Core/HandleParam.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"

class PropertyMap : public OrderedMap<String, HandleParam, StringOrder> {
public:
    PropertyMap() = default;
    PropertyMap(const PropertyMap& other) = default;
    PropertyMap& operator=(const PropertyMap& other) = default;
    ~PropertyMap() override = default;

    using OrderedMap::Erase;
    using OrderedMap::Find;
    using OrderedMap::Insert;

    // The value of a name; an empty one is inserted (after the cursor) when it is absent.
    HandleParam& Get(const String& name);

    // Marks a name present (an empty value when it was absent); the name-set use.
    void AddName(const String& name) { Get(name); }
    bool HasName(const String& name) const { return Find(name) != nullptr; }

    void SetInt(const String& name, i32 value) { Get(name).SetInt(value); }
    void SetFloat(const String& name, f32 value) { Get(name).SetFloat(value); }
    void SetString(const String& name, const String& value) { Get(name).SetString(value); }
    // True with the value when the entry exists and holds that type.
    bool GetInt(const String& name, i32* out) const;
    bool GetFloat(const String& name, f32* out) const;
    bool GetString(const String& name, String* out) const;
};
