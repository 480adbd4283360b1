// The program-wide cache in front of the Direct3D 9 device. Every render state, sampler
// state, texture-stage state, bound texture, material and transform that the engine sets
// passes through here, and a set whose value equals the cached one never reaches the
// device: that comparison is the whole point, so the tables are flat arrays indexed by
// the enumerant, with no allocation and no search.
//
// A cached value is trusted only while its valid flag is set. A flag is set by a set that
// reached the device successfully (or by a read from it) and cleared by a failed device
// call, so a value the device refused is sent again next time. Indices beyond the
// tables (the displacement-map and vertex-texture samplers, unknown render states,
// stages past 7) are not cached: they go to the device every time.
//
// Render states can be locked: while locked, SetRenderState leaves them alone, so an
// effect that draws in several passes keeps its blend and depth states against other
// writers (SavedRenderStates). The device is the program-wide one (TheDevice()); without
// one every setter reports false.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"

#include <d3d9.h>

namespace StateCache {

constexpr u32 kRenderStates = 1024;  // indexed by D3DRENDERSTATETYPE
constexpr u32 kSamplers = 8;
constexpr u32 kSamplerStates = 16;  // per sampler, by D3DSAMPLERSTATETYPE
constexpr u32 kStages = 8;
constexpr u32 kStageStates = 64;  // per stage, by D3DTEXTURESTAGESTATETYPE
constexpr u32 kTransforms = 512;  // by D3DTRANSFORMSTATETYPE (D3DTS_WORLD is 256)

// Setters return true when the value was already cached or the device accepted it; false
// without a device or when the device refused it.
bool SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
// As SetRenderState, but a lock does not stop it.
bool SetRenderStateUnlocked(D3DRENDERSTATETYPE state, DWORD value);
// Sets the state's lock flag to `lock`, then as SetRenderStateUnlocked.
bool SetRenderStateLocked(D3DRENDERSTATETYPE state, DWORD value, bool lock);
// Sends the value whatever the cache holds.
bool ForceRenderState(D3DRENDERSTATETYPE state, DWORD value);
void LockRenderState(D3DRENDERSTATETYPE state, bool lock);
bool IsRenderStateLocked(D3DRENDERSTATETYPE state);
// The cached value, read from the device first when the cache does not know it. False
// when the device cannot tell (a pure device answers no Get call).
bool GetRenderState(D3DRENDERSTATETYPE state, DWORD* value);

bool SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
bool SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
// Equality is pointer identity; the cache holds no reference.
bool SetTexture(DWORD stage, IDirect3DBaseTexture9* texture);
// Null stands for an all-zero material, which is what the device is sent.
bool SetMaterial(const D3DMATERIAL9* material);
// False for a null matrix.
bool SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);

// The frame code's wrappers over SetTransform: 0 when it returned true, 1 when false.
int SetWorldMatrix(const Matrix& matrix);
int SetViewMatrix(const Matrix& matrix);
int SetProjectionMatrix(const Matrix& matrix);

// Forgets the textures, sampler and texture-stage states, for callers that changed them
// behind the cache's back.
void InvalidateTextureStates();
// Forgets everything and lifts every lock; after every device creation and reset, and
// between tests.
void InvalidateAll();
// What the cache was asked since the last ResetCounts (state sets of every kind: render,
// sampler and stage states, textures, materials, transforms) and how many of those it
// passed on to the device; the difference is what it filtered.
struct Counts {
    u64 requested = 0;
    u64 sent = 0;
};
Counts GetCounts();
void ResetCounts();
// Counts the InvalidateAll calls: whoever keeps device state outside the cache (the lights
// enabled on the device) compares it to know that the device forgot that state too.
u32 Generation();
// Sets a null texture on stages 0 to 7 directly and forgets the cached textures; before
// a render target is bound, so no stage samples it.
void UnbindTextures();

}  // namespace StateCache
