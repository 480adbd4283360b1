// A list of lights with an ambient colour: the scene keeps one for all its lights (the
// group), and every drawn object gets its own, filled from the group with the lights that
// reach its box. The signature folds in the identities of the lights gathered, so two
// objects that gathered the same lights from the same group carry the same word and can
// share what was computed for one of them.
//
// The lights are shared handles in list order: the order they were added in, which is
// the order effects and the light set walk them. Identities are the lights' creation
// sequence numbers, never addresses, so signatures repeat from run to run.
#pragma once

#include "Core/Bounded.h"
#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "Effect/Light.h"

// Lights filed by their influence on a box; entries run in the order their keys first
// occurred, each holding its lights in the order filed.
using InfluenceMap = FloatMapOf<HandleList<Light>>;

struct LightingInfo {
    u32 signature = 0;
    FColor ambient;
    HandleList<Light> lights;

    // Appends light at the end of the list order.
    void AddLight(const RefHandle<Light>& light);
    // Whether the list holds this light object.
    bool Holds(const Light* light) const;
    i32 LightCount() const { return lights.count; }
    // The light at position i of the list order; null past the end.
    Light* LightAt(i32 i) const;
    void ClearLights() { lights.Clear(); }

    // Visits the lights in list order; fn must not change the list.
    template <class Fn>
    void ForEachLight(Fn&& fn) const {
        const HandleList<Light>::Node* node = lights.anchor;
        for (i32 i = 0; i < lights.count; ++i, node = node->next) fn(node->payload.handle);
    }

    // Called on a group with an object's box: copies the ambient colour into target, adds
    // every light that reaches the box and is not yet there, and for every reaching light
    // adds (this signature XOR the light's identity) to target's signature. 1 when some
    // light reaches the box only partly, else 2 (also when none reaches it).
    i32 GatherForBox(Box box, LightingInfo& target) const;
    // The same into a shared record; a null handle gathers nothing and answers 2.
    i32 GatherForBox(Box box, const RefHandle<LightingInfo>& target) const;

    // Keeps at most max lights (-1: all, 0: none): the lights are filed by their
    // influence on box and taken back group by group, in the order the groups first
    // occurred, until max are in. The first lights of the list are kept; lights of equal
    // influence come together.
    void LimitLights(Box box, i32 max);

    // The group signature of the lights held: key = (identity XOR key) + key, from 0, in
    // list order.
    void UpdateKey();
};
