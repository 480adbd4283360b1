#include "Gui/PropertyMap.h"

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
