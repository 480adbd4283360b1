// The light set's device bookkeeping. The program-wide set is built before the entry point
// and takes nothing from the other program-wide objects while built or destroyed (its log
// records are written only from Apply), so its place among them does not matter.
#include "Effect/LightSet.h"

#include "Core/Log.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"

namespace {

const char kSource[] = ".\\Effect\\lightset";
const char kApplySignature[] = "void __thiscall LightSet::Apply(const LightingInfo &)";

}  // namespace

LightSet g_lightSet;

LightSet& TheLightSet() { return g_lightSet; }

LightSet::LightSet() : indices(kLastIndex) { Enabled.sortedThread = 1; }

LightSet::~LightSet() {
    indices.Reset(-1);
    Parked.Clear();
    Enabled.Clear();
}

bool LightSet::IsEnabled(const Light* light) const {
    const auto* node = light ? Enabled.Find(light->GetSequence()) : nullptr;
    return node && node->value.Get() == light;
}

bool LightSet::IsParked(const Light* light) const {
    const auto* node = light ? Parked.Find(light->GetSequence()) : nullptr;
    return node && node->value.light.Get() == light;
}

void LightSet::Reset() {
    auto forget = [](Light* light) {
        if (!light) return;
        light->SetIndex(-1);
        light->SetActive(false);
        light->MarkRecordLost();
    };
    if (Enabled.count) {
        const auto* node = Enabled.first;
        for (u32 i = 0; i < Enabled.count; ++i, node = node->next) forget(node->value.Get());
    }
    if (Parked.count) {
        const auto* node = Parked.first;
        for (u32 i = 0; i < Parked.count; ++i, node = node->next) forget(node->value.light.Get());
    }
    Parked.Clear();
    Enabled.Clear();
    indices.Reset(kLastIndex);
    parkings_ = 0;
}

i32 LightSet::TakeIndex() {
    const i32 fresh = indices.Acquire();
    if (fresh >= 0) return fresh;
    if (Parked.count == 0) return -1;
    const auto* oldest = Parked.first;
    const auto* node = Parked.first->next;
    for (u32 i = 1; i < Parked.count; ++i, node = node->next)
        if (node->value.parkedAt < oldest->value.parkedAt) oldest = node;
    const RefHandle<Light> evicted = Parked.Erase(oldest->key).light;
    const i32 index = evicted->GetIndex();
    // The light drops out of the set; it gets a fresh index when it is needed again.
    evicted->SetIndex(-1);
    evicted->MarkRecordLost();
    return index;
}

void LightSet::Send(Light& light) {
    light.CountDeviceChange();
    IDirect3DDevice9* device = TheDevice();
    if (!device) {
        light.MarkRecordLost();
        return;
    }
    if (FAILED(device->SetLight(static_cast<DWORD>(light.GetIndex()), &light.Record()))) {
        // Stays stale, so the next Apply tries again.
        light.MarkRecordLost();
        LogErrors().Write(LogSite(kSource, kApplySignature, __LINE__)).Print("SetLight failed");
        return;
    }
    light.MarkRecordSent();
}

void LightSet::Enable(Light& light, bool enable) {
    light.SetActive(enable);
    light.CountDeviceChange();
    IDirect3DDevice9* device = TheDevice();
    if (device && FAILED(device->LightEnable(static_cast<DWORD>(light.GetIndex()), enable ? TRUE : FALSE)))
        LogErrors().Write(LogSite(kSource, kApplySignature, __LINE__)).Print("LightEnable failed");
}

void LightSet::Apply(const RefHandle<LightingInfo>& info, u32) {
    if (info) Apply(*info.Get());
}

void LightSet::Apply(const LightingInfo& info) {
    // A created or reset device has no lights: everything is handed out afresh.
    if (deviceGeneration_ != StateCache::Generation()) {
        Reset();
        deviceGeneration_ = StateCache::Generation();
    }
    StateCache::SetRenderState(D3DRS_AMBIENT, info.ambient.ToPacked());

    bool skipped = false;
    info.ForEachLight([&](const RefHandle<Light>& handle) {
        Light* light = handle.Get();
        if (!light || !light->IsEnabled()) return;
        if (IsEnabled(light)) {
            if (!light->IsRecordCurrent()) Send(*light);
            return;
        }
        if (IsParked(light)) {
            Parked.Remove(light->GetSequence());
            if (!light->IsRecordCurrent()) Send(*light);
        } else {
            const i32 index = TakeIndex();
            if (index < 0) {
                // Every index is held by an enabled light: this one stays dark rather than
                // being sent to an index the device does not have.
                skipped = true;
                return;
            }
            light->SetIndex(index);
            Send(*light);
        }
        if (!Enabled.Insert(light->GetSequence(), handle)) {
            // Out of memory: the light keeps its index and waits among the parked.
            ++parkings_;
            Parked.Insert(light->GetSequence(), Parking{handle, parkings_});
            return;
        }
        Enable(*light, true);
    });
    if (skipped)
        LogWarnings().Write(LogSite(kSource, kApplySignature, __LINE__)).Print("No free light index, light skipped");

    // Collected first: the walk must not change the set it walks. Every enabled light
    // holds an index of its own, so there are never more than the indices.
    u32 leaving[kLastIndex + 1];
    u32 count = 0;
    const auto* node = Enabled.first;
    for (u32 i = 0; i < Enabled.count && count <= static_cast<u32>(kLastIndex); ++i, node = node->next) {
        const Light* light = node->value.Get();
        if (!light->IsEnabled() || !info.Holds(light)) leaving[count++] = node->key;
    }
    for (u32 i = 0; i < count; ++i) {
        const RefHandle<Light> light = Enabled.Erase(leaving[i]);
        ++parkings_;
        Parked.Insert(leaving[i], Parking{light, parkings_});
        Enable(*light.Get(), false);
    }
}

i32 LightSet::GatherForNode(const LightingInfo& view, LightingInfo& temporary, Box box) {
    view.GatherForBox(box, temporary);
    return temporary.LightCount() > 0 ? 1 : 2;
}
