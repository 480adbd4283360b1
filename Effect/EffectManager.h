// The program-wide owner of effects. It resolves effect sources against its search paths,
// keeps one EffectCode per distinct description (handed out through counted handles; its
// tables do not count, so a code goes when its last user lets go), creates the effects at
// start-up in the order it is given, and answers which effect serves a name at a quality.
// It also holds the layer's render switches (EffectSettings), which whoever creates the
// effects sets first, as it adds the search paths.
#pragma once

#include "Core/Array.h"
#include "Core/FrameNotifier.h"
#include "Core/MemFile.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Effect/EffectCode.h"
#include "Effect/EffectSettings.h"

class Effect;

class EffectManager : public ObjectInterface {
public:
    EffectManager() = default;
    EffectManager(const EffectManager&) = delete;
    EffectManager& operator=(const EffectManager&) = delete;
    ~EffectManager() override;

    // Start-up: builds the engine's four effects, the shadow-map, shadow-mapped, distortion
    // and bump-environment effects in that order, and creates them as below. The caller
    // adds the folder of the effect sources to the search paths first.
    bool Create();
    // Creates each effect in turn and takes ownership of those that succeed; one that fails
    // is logged and deleted. True also when some failed.
    bool Create(Array<Effect*>& created);
    // The code of a description, shared; empty when the source cannot be found or the
    // effect cannot be built.
    RefHandle<EffectCode> GetEffectCode(const SHADERDESC* desc);
    // A code that is being destroyed leaves the tables.
    void Release(Object* code);
    void OnOwnerDestroyed(Object* owner) override { Release(owner); }
    // The effect registered under the name whose quality best fits the asked one.
    Effect* FindEffect(const String& name, i32 quality);

    // Deletes the effects and forgets every code and name (tests start again with it).
    void Reset();

    u32 CodeCount() const { return codeByDesc.count; }
    const Array<Effect*>& Effects() const { return effects; }

    MemFile searchPaths;
    // Read by the effects as they are created and by the drawables as they draw; Reset
    // leaves it as it is.
    EffectSettings settings;

private:
    // A table entry that does not keep its code alive.
    struct CodeEntry {
        EffectCode* code = nullptr;
        u32* count = nullptr;
    };
    struct EffectQuality {
        Effect* effect = nullptr;
        i32 quality = 0;
    };
    // The reverse tables are keyed by the address of the code's Object part: that is what a
    // code being destroyed reports (its own part is gone by then), and no walk of them shows.
    using CodeKey = uintptr_t;
    static CodeKey KeyOf(const Object* object) { return reinterpret_cast<CodeKey>(object); }

    OrderedMap<SHADERDESC, CodeEntry, ShaderDescOrder> codeByDesc;
    OrderedMap<CodeKey, SHADERDESC, PointerOrder> descByCode;
    OrderedMap<CodeKey, CodeEntry, PointerOrder> handleByCode;
    Array<Effect*> effects{0, 4};  // in creation order
    StringMapOf<Array<EffectQuality>*> effectsByName;
};

// The program-wide effect manager.
EffectManager& TheEffectManager();
