#include "Effect/LightingInfo.h"

void LightingInfo::AddLight(const RefHandle<Light>& light) {
    // New nodes go after `current`: stand it on the last node, so the list order (from
    // the anchor) stays the order of addition.
    if (lights.count > 0) lights.current = lights.anchor->prev;
    lights.PushBack(NamedHandle<Light>(light, String()));
}

bool LightingInfo::Holds(const Light* light) const {
    const HandleList<Light>::Node* node = lights.anchor;
    for (i32 i = 0; i < lights.count; ++i, node = node->next)
        if (node->payload.handle.Get() == light) return true;
    return false;
}

Light* LightingInfo::LightAt(i32 i) const {
    if (i < 0 || i >= lights.count) return nullptr;
    const HandleList<Light>::Node* node = lights.anchor;
    while (i-- > 0) node = node->next;
    return node->payload.handle.Get();
}

i32 LightingInfo::GatherForBox(Box box, LightingInfo& target) const {
    target.ambient = ambient;
    i32 result = 2;
    ForEachLight([&](const RefHandle<Light>& light) {
        if (!light) return;
        const i32 reach = light->Reaches(box);
        if (reach == 0) return;
        if (reach == 1) result = 1;
        if (!target.Holds(light.Get())) target.AddLight(light);
        target.signature += signature ^ light->GetSequence();
    });
    return result;
}

i32 LightingInfo::GatherForBox(Box box, const RefHandle<LightingInfo>& target) const {
    if (!target) return 2;
    return GatherForBox(box, *target.Get());
}

void LightingInfo::LimitLights(Box box, i32 max) {
    if (max == 0) {
        lights.Clear();
        return;
    }
    InfluenceMap filed;
    ForEachLight([&](const RefHandle<Light>& light) {
        const f32 k = light ? light->Influence(box) : 0.0f;
        InfluenceMap::Node* entry = filed.Find(k);
        if (!entry) entry = filed.Insert(k, HandleList<Light>());
        // Out of memory: the light is dropped rather than the list left half built.
        if (entry) entry->value.PushBack(NamedHandle<Light>(light, String()));
    });
    lights.Clear();
    const InfluenceMap::Node* entry = filed.first;
    for (u32 e = 0; e < filed.count; ++e, entry = entry->next) {
        const HandleList<Light>& group = entry->value;
        const HandleList<Light>::Node* node = group.anchor;
        for (i32 i = 0; i < group.count; ++i, node = node->next) {
            if (max > 0 && lights.count >= max) return;
            AddLight(node->payload.handle);
        }
    }
}

void LightingInfo::UpdateKey() {
    u32 key = 0;
    ForEachLight([&key](const RefHandle<Light>& light) {
        if (light) key = (light->GetSequence() ^ key) + key;
    });
    signature = key;
}
