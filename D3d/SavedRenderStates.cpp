#include "D3d/SavedRenderStates.h"

#include "D3d/StateCache.h"

#include <d3d9.h>
#include <string.h>

namespace {

constexpr D3DRENDERSTATETYPE kSavedStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,
                                               D3DRS_DESTBLEND,        D3DRS_DEPTHBIAS,
                                               D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ZWRITEENABLE};

u32 FloatBits(float value) {
    u32 bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

float BitsFloat(u32 bits) {
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// The state's current value; where the device cannot tell (a pure device answers no Get
// call), the runtime's default for that state, which is what a device that nobody has
// changed holds.
u32 CurrentOrDefault(D3DRENDERSTATETYPE state) {
    DWORD value = 0;
    if (StateCache::GetRenderState(state, &value)) return value;
    switch (state) {
    case D3DRS_SRCBLEND: return D3DBLEND_ONE;
    case D3DRS_DESTBLEND: return D3DBLEND_ZERO;
    case D3DRS_ZWRITEENABLE: return TRUE;
    default: return 0;  // ALPHABLENDENABLE FALSE, both depth biases 0.0f
    }
}

void SetAll(const u32 (&values)[6], bool force) {
    for (int i = 0; i < 6; ++i) {
        if (force)
            StateCache::ForceRenderState(kSavedStates[i], values[i]);
        else
            StateCache::SetRenderStateUnlocked(kSavedStates[i], values[i]);
    }
}

}  // namespace

SavedRenderStates::SavedRenderStates() { memset(static_cast<void*>(this), 0, sizeof *this); }

void SavedRenderStates::Save(u8 newAlphaBlend, u32 newSrcBlend, u32 newDestBlend, u32 saveFlags, float newDepthBias,
                             float newSlopeScaleDepthBias) {
    if (active) return;
    active = 1;
    flags = saveFlags;
    if (!(flags & kSavedNoLock))
        for (D3DRENDERSTATETYPE state : kSavedStates) StateCache::LockRenderState(state, true);

    alphaBlendEnable = CurrentOrDefault(D3DRS_ALPHABLENDENABLE);
    srcBlend = CurrentOrDefault(D3DRS_SRCBLEND);
    destBlend = CurrentOrDefault(D3DRS_DESTBLEND);
    depthBias = CurrentOrDefault(D3DRS_DEPTHBIAS);
    slopeScaleDepthBias = CurrentOrDefault(D3DRS_SLOPESCALEDEPTHBIAS);
    zWriteEnable = CurrentOrDefault(D3DRS_ZWRITEENABLE);

    if (flags & kSavedAddDepthBias) {
        newDepthBias = newDepthBias + BitsFloat(depthBias);
        const float savedSlope = BitsFloat(slopeScaleDepthBias);
        if (savedSlope > newSlopeScaleDepthBias) newSlopeScaleDepthBias = savedSlope;
    }
    const u32 values[6] = {newAlphaBlend,          newSrcBlend, newDestBlend, FloatBits(newDepthBias),
                           FloatBits(newSlopeScaleDepthBias), FALSE};
    SetAll(values, (flags & kSavedForce) != 0);
}

void SavedRenderStates::Restore() {
    active = 0;
    if (!(flags & kSavedNoLock))
        for (D3DRENDERSTATETYPE state : kSavedStates) StateCache::LockRenderState(state, false);
    const u32 values[6] = {alphaBlendEnable, srcBlend, destBlend, depthBias, slopeScaleDepthBias, zWriteEnable};
    SetAll(values, false);
}
