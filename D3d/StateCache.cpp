#include "D3d/StateCache.h"

#include "D3d/DeviceContext.h"

#include <string.h>

namespace {

struct RenderStateEntry {
    DWORD value;
    u8 valid;
    u8 locked;
};

struct StateEntry {
    DWORD value;
    u8 valid;
};

struct TextureEntry {
    IDirect3DBaseTexture9* texture;
    u8 valid;
};

struct TransformEntry {
    D3DMATRIX matrix;
    u8 valid;
};

RenderStateEntry g_renderStates[StateCache::kRenderStates];
StateEntry g_samplerStates[StateCache::kSamplers * StateCache::kSamplerStates];
StateEntry g_stageStates[StateCache::kStages * StateCache::kStageStates];
TextureEntry g_textures[StateCache::kStages];
D3DMATERIAL9 g_material;
u8 g_materialValid;
TransformEntry g_transforms[StateCache::kTransforms];
u32 g_generation;
StateCache::Counts g_counts;

RenderStateEntry* RenderEntry(D3DRENDERSTATETYPE state) {
    const u32 index = static_cast<u32>(state);
    return index < StateCache::kRenderStates ? &g_renderStates[index] : nullptr;
}

StateEntry* SamplerEntry(DWORD sampler, D3DSAMPLERSTATETYPE type) {
    const u32 t = static_cast<u32>(type);
    if (sampler >= StateCache::kSamplers || t >= StateCache::kSamplerStates) return nullptr;
    return &g_samplerStates[sampler * StateCache::kSamplerStates + t];
}

StateEntry* StageEntry(DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
    const u32 t = static_cast<u32>(type);
    if (stage >= StateCache::kStages || t >= StateCache::kStageStates) return nullptr;
    return &g_stageStates[stage * StateCache::kStageStates + t];
}

// The one road of a cached set: an equal valid entry answers at once (unless forced);
// otherwise the value is cached and sent, and a refusal forgets it so that the next set
// of it is sent again. A null entry (an index beyond the tables) is sent uncached.
template <class Entry, class Send>
bool SetThrough(Entry* entry, DWORD value, bool force, Send&& send) {
    ++g_counts.requested;
    if (!force && entry && entry->valid && entry->value == value) return true;
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    ++g_counts.sent;
    if (!entry) return SUCCEEDED(send(device));
    entry->value = value;
    entry->valid = 1;
    if (SUCCEEDED(send(device))) return true;
    entry->valid = 0;
    return false;
}

bool SendRenderState(D3DRENDERSTATETYPE state, DWORD value, bool force) {
    return SetThrough(RenderEntry(state), value, force,
                      [&](IDirect3DDevice9* device) { return device->SetRenderState(state, value); });
}

int WrapperResult(bool ok) { return ok ? 0 : 1; }

D3DMATRIX ToD3DMatrix(const Matrix& matrix) {
    static_assert(sizeof matrix.m == sizeof(D3DMATRIX), "the engine matrix holds the elements in the D3D order");
    D3DMATRIX out;
    memcpy(&out, matrix.m, sizeof out);
    return out;
}

}  // namespace

namespace StateCache {

bool SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    const RenderStateEntry* entry = RenderEntry(state);
    if (entry && entry->locked) {
        ++g_counts.requested;
        return true;
    }
    return SendRenderState(state, value, false);
}

bool SetRenderStateUnlocked(D3DRENDERSTATETYPE state, DWORD value) { return SendRenderState(state, value, false); }

bool SetRenderStateLocked(D3DRENDERSTATETYPE state, DWORD value, bool lock) {
    LockRenderState(state, lock);
    return SendRenderState(state, value, false);
}

bool ForceRenderState(D3DRENDERSTATETYPE state, DWORD value) { return SendRenderState(state, value, true); }

void LockRenderState(D3DRENDERSTATETYPE state, bool lock) {
    if (RenderStateEntry* entry = RenderEntry(state)) entry->locked = lock ? 1 : 0;
}

bool IsRenderStateLocked(D3DRENDERSTATETYPE state) {
    const RenderStateEntry* entry = RenderEntry(state);
    return entry && entry->locked;
}

bool GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value) return false;
    RenderStateEntry* entry = RenderEntry(state);
    if (entry && entry->valid) {
        *value = entry->value;
        return true;
    }
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    DWORD read = 0;
    if (FAILED(device->GetRenderState(state, &read))) return false;
    if (entry) {
        entry->value = read;
        entry->valid = 1;
    }
    *value = read;
    return true;
}

bool SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    return SetThrough(SamplerEntry(sampler, type), value, false,
                      [&](IDirect3DDevice9* device) { return device->SetSamplerState(sampler, type, value); });
}

bool SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    return SetThrough(StageEntry(stage, type), value, false,
                      [&](IDirect3DDevice9* device) { return device->SetTextureStageState(stage, type, value); });
}

bool SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    ++g_counts.requested;
    TextureEntry* entry = stage < kStages ? &g_textures[stage] : nullptr;
    if (entry && entry->valid && entry->texture == texture) return true;
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    ++g_counts.sent;
    const HRESULT hr = device->SetTexture(stage, texture);
    if (entry) {
        entry->texture = texture;
        entry->valid = SUCCEEDED(hr) ? 1 : 0;
    }
    return SUCCEEDED(hr);
}

bool SetMaterial(const D3DMATERIAL9* material) {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    ++g_counts.requested;
    if (material && g_materialValid && memcmp(material, &g_material, sizeof g_material) == 0) return true;
    ++g_counts.sent;
    if (material)
        g_material = *material;
    else
        memset(&g_material, 0, sizeof g_material);
    // The cached copy is what is sent: a null pointer is no material to the runtime.
    const HRESULT hr = device->SetMaterial(&g_material);
    g_materialValid = SUCCEEDED(hr) ? 1 : 0;
    return SUCCEEDED(hr);
}

bool SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    IDirect3DDevice9* device = TheDevice();
    if (!matrix || !device) return false;
    ++g_counts.requested;
    const u32 index = static_cast<u32>(state);
    if (index < kTransforms && g_transforms[index].valid &&
        memcmp(&g_transforms[index].matrix, matrix, sizeof(D3DMATRIX)) == 0)
        return true;
    ++g_counts.sent;
    if (index >= kTransforms) return SUCCEEDED(device->SetTransform(state, matrix));
    TransformEntry& entry = g_transforms[index];
    entry.matrix = *matrix;
    const HRESULT hr = device->SetTransform(state, &entry.matrix);
    entry.valid = SUCCEEDED(hr) ? 1 : 0;
    return SUCCEEDED(hr);
}

int SetWorldMatrix(const Matrix& matrix) {
    const D3DMATRIX elements = ToD3DMatrix(matrix);
    return WrapperResult(SetTransform(D3DTS_WORLD, &elements));
}

int SetViewMatrix(const Matrix& matrix) {
    const D3DMATRIX elements = ToD3DMatrix(matrix);
    return WrapperResult(SetTransform(D3DTS_VIEW, &elements));
}

int SetProjectionMatrix(const Matrix& matrix) {
    const D3DMATRIX elements = ToD3DMatrix(matrix);
    return WrapperResult(SetTransform(D3DTS_PROJECTION, &elements));
}

u32 Generation() { return g_generation; }

Counts GetCounts() { return g_counts; }

void ResetCounts() { g_counts = Counts{}; }

void InvalidateTextureStates() {
    for (TextureEntry& entry : g_textures) entry.valid = 0;
    for (StateEntry& entry : g_stageStates) entry.valid = 0;
    for (StateEntry& entry : g_samplerStates) entry.valid = 0;
}

void InvalidateAll() {
    ++g_generation;
    for (RenderStateEntry& entry : g_renderStates) entry.valid = entry.locked = 0;
    InvalidateTextureStates();
    g_materialValid = 0;
    for (TransformEntry& entry : g_transforms) entry.valid = 0;
}

void UnbindTextures() {
    IDirect3DDevice9* device = TheDevice();
    for (DWORD stage = 0; stage < kStages; ++stage) {
        if (device) device->SetTexture(stage, nullptr);
        g_textures[stage].valid = 0;
    }
}

}  // namespace StateCache
