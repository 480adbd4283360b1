#include "Gui/PropertyMap.h"

HandleParam& PropertyMap::Get(const String& name) {
    if (Node* node = Find(name)) return node->value;
    Node* node = Insert(name, HandleParam(), true);
    // Out of memory: the map's own default stands in, so that a write goes nowhere.
    return node ? node->value : sentinel.value;
}

bool PropertyMap::GetInt(const String& name, i32* out) const {
    const Node* node = Find(name);
    return node && node->value.GetInt(out);
}

bool PropertyMap::GetFloat(const String& name, f32* out) const {
    const Node* node = Find(name);
    return node && node->value.GetFloat(out);
}

bool PropertyMap::GetString(const String& name, String* out) const {
    const Node* node = Find(name);
    return node && node->value.GetString(out);
}
