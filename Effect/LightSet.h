// The device's fixed-function lights, made to match one object's lights before it is
// drawn. A light gets a device index the first time it is needed and keeps it while it is
// enabled or parked: a light that goes dark is disabled but stays parked with its index,
// so when the next object needs it again it costs one LightEnable and no new record. Only
// when the indices run out does the light parked longest ago give its index up.
//
// A record is sent again only when the light changed since it was sent (the change
// counter against the mark the light keeps), so a steady scene makes no SetLight at all.
// The ambient colour goes through the state cache, which drops repeated values.
//
// Both collections are keyed by the lights' creation sequence numbers: the lights are
// disabled in that order, whatever their addresses. Without a device the bookkeeping is
// done all the same and the calls are skipped.
#pragma once

#include "Core/Bounded.h"
#include "Core/IdAllocator.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "Effect/Light.h"
#include "D3d/StateCache.h"
#include "Effect/LightingInfo.h"

class LightSet {
public:
    // The device light indices handed out: 0 to kLastIndex.
    static constexpr i32 kLastIndex = 100;

    struct Parking {
        RefHandle<Light> light;
        u64 parkedAt = 0;  // larger: parked more recently
    };

    LightSet();
    ~LightSet();
    LightSet(const LightSet&) = delete;
    LightSet& operator=(const LightSet&) = delete;

    // Makes the device's enabled lights those of info that are switched on, and sets the
    // ambient render state to info's ambient colour. A null handle does nothing; the
    // second word is not used.
    void Apply(const RefHandle<LightingInfo>& info, u32 unused = 0);
    void Apply(const LightingInfo& info);

    // Gathers from the view's lighting into a temporary record for a subtree: 1 when the
    // temporary holds a light (the subtree gathers from it), 2 when it holds none (the
    // subtree is lit by the ambient colour alone). Never 0.
    static i32 GatherForNode(const LightingInfo& view, LightingInfo& temporary, Box box);

    // Forgets every light (their indices go back to -1) and frees every index; the device
    // is not told. For tests, and for a device whose lights were reset.
    void Reset();

    u32 EnabledCount() const { return Enabled.count; }
    u32 ParkedCount() const { return Parked.count; }
    bool IsEnabled(const Light* light) const;
    bool IsParked(const Light* light) const;

    // Lights enabled on the device now, by creation sequence.
    OrderedMap<u32, RefHandle<Light>, UnsignedOrder> Enabled;
    // Lights disabled on the device that still own an index, by creation sequence; the
    // one parked longest ago is the one with the smallest parkedAt.
    OrderedMap<u32, Parking, UnsignedOrder> Parked;
    IdAllocator indices;
    u32 limit = kLastIndex;

private:
    // A free index, or the one of the light parked longest ago; -1 when there is neither.
    i32 TakeIndex();
    void Send(Light& light);
    void Enable(Light& light, bool enable);

    u64 parkings_ = 0;
    u32 deviceGeneration_ = StateCache::Generation();  // the device state the lights were sent to
};

// The program-wide light set.
LightSet& TheLightSet();
