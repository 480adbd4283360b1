// The shadow-map renderer's pass: what Begin locks, how the light camera is placed, and
// how End puts everything back. The biased states are remembered as raw words and set back
// as words, so the floats they carry come back bit for bit.
#include "Effect/ShadowMapRenderer.h"

#include "Core/Geometry.h"
#include "Core/Log.h"
#include "Core/Vector.h"
#include "D3d/Application.h"
#include "D3d/StateCache.h"
#include "Effect/Effect.h"
#include "Effect/Light.h"

#include <string.h>

namespace {

const char kSource[] = ".\\Effect\\shadowmaprenderer";
const char kBeginSignature[] =
    "bool __thiscall ShadowMapRenderer::Begin(RefHandle<Light>, unsigned int, float, float)";

Effect* g_shadowMapEffect = nullptr;

constexpr f32 kNear = 0.01f;
constexpr f32 kFieldOfView = 1.5707964f;  // a quarter turn
constexpr D3DCOLOR kFarthestDepth = 0xFFFFFFFFu;

// What the device starts with, for a state it cannot report (a pure device answers no Get
// call): restoring these is closer to the truth than restoring nothing.
constexpr DWORD kDefaultDepthBias = 0;
constexpr DWORD kDefaultSlopeBias = 0;
constexpr DWORD kDefaultColorWrite = D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN |
                                     D3DCOLORWRITEENABLE_BLUE | D3DCOLORWRITEENABLE_ALPHA;

DWORD FloatBits(f32 value) {
    DWORD bits = 0;
    static_assert(sizeof(bits) == sizeof(value));
    memcpy(&bits, &value, sizeof(bits));
    return bits;
}

DWORD ReadState(D3DRENDERSTATETYPE state, DWORD fallback) {
    DWORD value = 0;
    return StateCache::GetRenderState(state, &value) ? value : fallback;
}

}  // namespace

Effect* TheShadowMapEffect() { return g_shadowMapEffect; }

void SetShadowMapEffect(Effect* effect) { g_shadowMapEffect = effect; }

ShadowMapRenderer::~ShadowMapRenderer() {
    // A pass left open would leave the states locked for every later draw.
    if (inPass) End();
}

bool ShadowMapRenderer::Create(u32 sideLength) {
    Application* app = TheApplication();
    const bool depthTexture = app && app->CheckDeviceFormat(D3DFMT_D24S8, D3DRTYPE_TEXTURE, D3DUSAGE_DEPTHSTENCIL);
    const D3DFORMAT color = depthTexture ? D3DFMT_A8R8G8B8 : D3DFMT_R32F;
    size = sideLength;
    return RenderTarget::Create(sideLength, sideLength, color, D3DFMT_D24S8, depthTexture);
}

bool ShadowMapRenderer::SetupCamera(const Light& light) {
    const Vec3 direction = light.GetDirection();
    if (!(Vec3Length(direction) > 0.0f)) return false;  // zero length, or not a number
    if (light.IsShadowPerspective()) {
        camera.SetPerspective(kNear, light.GetRange(), kFieldOfView, 1.0f);
    } else {
        const Vec3 box = light.GetShadowBox();
        camera.SetOrthographic(kNear, box.x, box.y, box.z);
    }
    Vec3 up;
    Vec3 across;
    AnyPerpendicular(direction, up, across);
    camera.SetView(light.GetPosition(), direction, up);
    return true;
}

void ShadowMapRenderer::LockStates(f32 bias, f32 slope) {
    depthStatesSaved = UsesDepthTexture();
    if (depthStatesSaved) {
        savedDepthBias = ReadState(D3DRS_DEPTHBIAS, kDefaultDepthBias);
        savedSlopeBias = ReadState(D3DRS_SLOPESCALEDEPTHBIAS, kDefaultSlopeBias);
        StateCache::SetRenderStateLocked(D3DRS_DEPTHBIAS, FloatBits(bias), true);
        StateCache::SetRenderStateLocked(D3DRS_SLOPESCALEDEPTHBIAS, FloatBits(slope), true);
        savedColorWrite = ReadState(D3DRS_COLORWRITEENABLE, kDefaultColorWrite);
        StateCache::SetRenderStateLocked(D3DRS_COLORWRITEENABLE, 0, true);
    }
    StateCache::SetRenderStateLocked(D3DRS_ALPHABLENDENABLE, FALSE, true);
}

void ShadowMapRenderer::RestoreStates() {
    if (depthStatesSaved) {
        StateCache::SetRenderStateLocked(D3DRS_DEPTHBIAS, savedDepthBias, false);
        StateCache::SetRenderStateLocked(D3DRS_SLOPESCALEDEPTHBIAS, savedSlopeBias, false);
        StateCache::SetRenderStateLocked(D3DRS_COLORWRITEENABLE, savedColorWrite, false);
        depthStatesSaved = false;
    }
    // Blending stays off until someone sets it.
    StateCache::LockRenderState(D3DRS_ALPHABLENDENABLE, false);
}

bool ShadowMapRenderer::Begin(RefHandle<Light> light, u32 flags, f32 bias, f32 slope) {
    (void)flags;
    // A second Begin would overwrite the states the first remembered.
    if (inPass || IsBegun() || !light) return false;
    if (!SetupCamera(*light.Get())) {
        LogErrors().Write(LogSite(kSource, kBeginSignature, __LINE__)).Print("Shadow light has no direction");
        return false;
    }
    depthBias = bias;
    LockStates(bias, slope);
    const bool depthTexture = UsesDepthTexture();
    if (Effect* effect = TheShadowMapEffect()) effect->SetUseDepthTexture(depthTexture ? 1 : 0, 0);

    D3DVIEWPORT9 viewport{};
    viewport.X = 0;
    viewport.Y = 0;
    viewport.Width = size;
    viewport.Height = size;
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    const float clearDepth = 1.0f;
    const D3DCOLOR clearColor = kFarthestDepth;
    if (!RenderTarget::Begin(&viewport, depthTexture ? nullptr : &clearColor, &clearDepth)) {
        // The caller skips its pass and will not call End: the locks must not outlive it.
        RestoreStates();
        return false;
    }
    inPass = true;
    return true;
}

bool ShadowMapRenderer::End() {
    if (!inPass) return false;
    inPass = false;
    RestoreStates();
    return RenderTarget::End();
}
