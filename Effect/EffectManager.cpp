// Effects are created in the order the caller lists them, and an effect's registrations
// are walked in that order too, so which of two equally good effects FindEffect answers is
// the same on every run.
#include "Effect/EffectManager.h"

#include <new>

#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "Core/Timer.h"
#include "Effect/BumpEnvEffect.h"
#include "Effect/DistortEffect.h"
#include "Effect/Effect.h"
#include "Effect/ShadowMappedEffect.h"

EffectManager::~EffectManager() { Reset(); }

void EffectManager::Reset() {
    for (Effect* effect : effects) delete effect;
    effects.Resize(0);
    for (auto* node = effectsByName.first; effectsByName.count && node;) {
        delete node->value;
        node = node->next;
        if (node == effectsByName.first) break;
    }
    effectsByName.Clear();
    // Codes still held elsewhere live on; they no longer report to this manager.
    for (auto* node = handleByCode.first; handleByCode.count && node;) {
        node->value.code->SetInterface(nullptr);
        node = node->next;
        if (node == handleByCode.first) break;
    }
    handleByCode.Clear();
    descByCode.Clear();
    codeByDesc.Clear();
}

bool EffectManager::Create() {
    Array<Effect*> created(0, 4);
    created.Add(new (std::nothrow) ShadowMapEffect);
    created.Add(new (std::nothrow) ShadowMappedEffect);
    created.Add(new (std::nothrow) DistortEffect);
    created.Add(new (std::nothrow) BumpEnvEffect);
    return Create(created);
}

bool EffectManager::Create(Array<Effect*>& created) {
    Timer timer;
    for (Effect* effect : created) {
        if (!effect) continue;
        if (!effect->Create()) {
            LogWarnings()
                .Write(LOG_SITE("bool __thiscall EffectManager::Create(void)"))
                .Print("Effect failed to create: ")
                .Print(effect->GetLastName());
            delete effect;
            continue;
        }
        effects.Add(effect);
        TheFrameNotifier().Add(effect);
        const StringMapOf<i32>& names = effect->GetNames();
        for (auto* node = names.first; names.count && node;) {
            auto* entry = effectsByName.Find(node->key);
            if (!entry) entry = effectsByName.Insert(node->key, new (std::nothrow) Array<EffectQuality>(0, 4));
            if (entry && entry->value) entry->value->Add(EffectQuality{effect, node->value});
            node = node->next;
            if (node == names.first) break;
        }
    }
    created.Resize(0);
    StatisticsTable& statistics = TheStatistics();
    const String key("effect_load_time");
    statistics.Add(key, static_cast<i32>(timer.Elapsed()) - statistics.Get(key));
    return true;
}

RefHandle<EffectCode> EffectManager::GetEffectCode(const SHADERDESC* desc) {
    if (!desc) return RefHandle<EffectCode>();
    SHADERDESC key = *desc;
    const bool resolved = searchPaths.ResolveDefault(key.path);
    if (auto* found = codeByDesc.Find(key)) return RefHandle<EffectCode>::Share(found->value.code, found->value.count);
    if (!resolved) return RefHandle<EffectCode>();
    RefHandle<EffectCode> handle(new (std::nothrow) EffectCode);
    if (!handle || !handle->Create(&key)) return RefHandle<EffectCode>();
    EffectCode* code = handle.Get();
    code->SetInterface(this);
    const CodeEntry entry{code, handle.SharedCount()};
    const CodeKey address = KeyOf(code);
    handleByCode.Insert(address, entry);
    codeByDesc.Insert(key, entry);
    descByCode.Insert(address, key);
    return handle;
}

void EffectManager::Release(Object* object) {
    if (!object) return;
    const CodeKey address = KeyOf(object);
    handleByCode.Remove(address);
    if (auto* node = descByCode.Find(address)) {
        codeByDesc.Remove(node->value);
        descByCode.Remove(address);
    }
}

Effect* EffectManager::FindEffect(const String& name, i32 quality) {
    const auto* list = effectsByName.Find(name);
    if (!list || !list->value) return nullptr;
    Effect* chosen = nullptr;
    i32 value = 0;
    for (const EffectQuality& entry : *list->value) {
        const i32 q = entry.quality;
        bool take = false;
        if (value == 0)
            take = true;
        else if (value < quality)
            take = q <= quality && q > value;
        else if (value > quality)
            take = q >= quality && q < value;
        if (take) {
            chosen = entry.effect;
            value = q;
        }
    }
    return chosen;
}

EffectManager& TheEffectManager() {
    static EffectManager manager;
    return manager;
}
