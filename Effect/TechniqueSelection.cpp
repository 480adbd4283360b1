// Selections are few (a handful of techniques times the light sets seen in a frame), so
// the cache is two ordered maps and the purge walks them whole once a frame.
#include "Effect/TechniqueSelection.h"


bool TechniqueSelection::LocatePass(i32 pass, i32& entry, i32& local) const {
    if (pass < 0) return false;
    i32 start = 0;
    for (i32 i = 0; i < entries.count; ++i) {
        const i32 passes = entries[i].passes;
        if (pass < start + passes) {
            entry = i;
            local = pass - start;
            return true;
        }
        start += passes;
    }
    return false;
}

String LightKindName(u32 lightType) {
    switch (lightType) {
    case D3DLIGHT_POINT: return String("POINT");
    case D3DLIGHT_SPOT: return String("SPOT");
    case D3DLIGHT_DIRECTIONAL: return String("DIR");
    default: return String();
    }
}

int SelectionKeyOrder::operator()(const SelectionKey& a, const SelectionKey& b) const {
    if (a.lightSetKey != b.lightSetKey) return a.lightSetKey < b.lightSetKey ? -1 : 1;
    if (a.lightLimit != b.lightLimit) return a.lightLimit < b.lightLimit ? -1 : 1;
    return 0;
}

TechniqueSelection* SelectionCache::Find(const String& technique, SelectionKey key) const {
    const auto* named = byName.Find(technique);
    if (!named) return nullptr;
    const auto* node = named->value->Find(key);
    return node ? node->value : nullptr;
}

void SelectionCache::Insert(const String& technique, SelectionKey key, TechniqueSelection* selection) {
    auto* named = byName.Find(technique);
    if (!named) named = byName.Insert(technique, new SelectionsByLights());
    SelectionsByLights& inner = *named->value;
    if (auto* node = inner.Find(key)) {
        if (node->value != selection) delete node->value;
        node->value = selection;
        return;
    }
    inner.Insert(key, selection);
}

bool SelectionCache::Purge(u32 keepFrame, const TechniqueSelection* watched) {
    bool freedWatched = false;
    // Collect first: erasing while walking a threaded map would move the walk.
    Array<String> emptied(0, 4);
    for (auto* named = byName.first; byName.count;) {
        SelectionsByLights& inner = *named->value;
        Array<SelectionKey> stale(0, 4);
        for (auto* node = inner.first; inner.count;) {
            if (node->value->lastUse != keepFrame) stale.Add(node->key);
            node = node->next;
            if (node == inner.first) break;
        }
        for (const SelectionKey& key : stale) {
            TechniqueSelection* selection = inner.Erase(key);
            if (selection == watched) freedWatched = true;
            delete selection;
        }
        if (inner.count == 0) emptied.Add(named->key);
        named = named->next;
        if (named == byName.first) break;
    }
    for (const String& name : emptied) delete byName.Erase(name);
    return freedWatched;
}

void SelectionCache::Clear() {
    for (auto* named = byName.first; byName.count;) {
        SelectionsByLights& inner = *named->value;
        for (auto* node = inner.first; inner.count;) {
            delete node->value;
            node = node->next;
            if (node == inner.first) break;
        }
        delete named->value;
        named = named->next;
        if (named == byName.first) break;
    }
    byName.Clear();
}

i32 SelectionCache::Count() const {
    i32 total = 0;
    for (const auto* named = byName.first; byName.count;) {
        total += static_cast<i32>(named->value->count);
        named = named->next;
        if (named == byName.first) break;
    }
    return total;
}
