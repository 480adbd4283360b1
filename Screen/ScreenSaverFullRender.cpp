// One frame of the full-screen saver, the loading screen, the fades and the gamma ramp.
//
// A frame moves the camera along the current flight (starting the next one when it ends),
// sets the fixed states, lets the scene draw, fades at the flight's ends and draws the 2D
// windows over everything. A frame whose BeginScene fails is still presented, so the
// swap chain and the frame counter keep going while the device recovers.
//
// The screen quads (loading layers and the fade) are two pre-transformed triangles drawn
// straight from memory with the texture factor carrying the opacity: no vertex buffer to
// lose with the device, and nothing to restore after a reset.
#include "Screen/ScreenSaverFull.h"

#include "Core/Log.h"
#include "Core/Matrix.h"
#include "Core/ProgramObjects.h"
#include "D3d/DeviceContext.h"
#include "D3d/RenderTarget.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Gui/WindowManager.h"
#include "Screen/CameraPath.h"

#include <cstring>

namespace {

const char kSource[] = "Screen\\ScreenSaver";
const char kRenderSignature[] = "bool __thiscall ScreenSaver::Full::DoRender(void)";

struct TexturedVertex {
    f32 x, y, z, rhw, u, v;
};
static_assert(sizeof(TexturedVertex) == 24, "a textured screen vertex is 24 bytes");
struct ColouredVertex {
    f32 x, y, z, rhw;
    D3DCOLOR diffuse;
};
static_assert(sizeof(ColouredVertex) == 20, "a coloured screen vertex is 20 bytes");

constexpr DWORD kTexturedFVF = D3DFVF_XYZRHW | D3DFVF_TEX1;
constexpr DWORD kColouredFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
// The scan code that speeds a flight up tenfold in the debug mode.
constexpr u32 kFastKey = 0x2C;

u32 FloatBits(f32 value) {
    u32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The texture factor that carries an opacity (0..1) in its alpha over a colour.
D3DCOLOR OpacityFactor(f32 opacity, D3DCOLOR rgb) {
    if (!(opacity > 0.0f)) opacity = 0.0f;  // NaN too
    if (opacity > 1.0f) opacity = 1.0f;
    const u32 alpha = static_cast<u32>(opacity * 255.0f + 0.5f);
    return (alpha << 24) | (rgb & 0xFFFFFFu);
}

// Alpha blending of a screen quad over the frame, without depth; the stage's combine is
// the caller's.
void BeginScreenQuad(IDirect3DDevice9* device, DWORD fvf) {
    StateCache::SetRenderState(D3DRS_ZENABLE, 0);
    StateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    StateCache::SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    StateCache::SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    StateCache::SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    StateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    StateCache::SetRenderState(D3DRS_FOGENABLE, FALSE);
    StateCache::SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    StateCache::SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetFVF(fvf);
}

// Depth back on, blending off; the scene's next draw sets what else it needs.
void EndScreenQuad(u8 fogEnable) {
    StateCache::SetRenderState(D3DRS_ZENABLE, 1);
    StateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
    StateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    StateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    StateCache::SetRenderState(D3DRS_FOGENABLE, fogEnable);
}

// The six vertices of the rectangle (left, top, right, bottom), in the order top-left,
// top-right, bottom-right, top-left, bottom-right, bottom-left.
template <class Vertex, class Fill>
void QuadVertices(Vertex (&out)[6], f32 left, f32 top, f32 right, f32 bottom, Fill fill) {
    const f32 xs[6] = {left, right, right, left, right, left};
    const f32 ys[6] = {top, top, bottom, top, bottom, bottom};
    const f32 us[6] = {0, 1, 1, 0, 1, 0};
    const f32 vs[6] = {0, 0, 1, 0, 1, 1};
    for (int i = 0; i < 6; ++i) {
        out[i].x = xs[i];
        out[i].y = ys[i];
        out[i].z = 0.1f;
        out[i].rhw = 1.0f;
        fill(out[i], us[i], vs[i]);
    }
}

}  // namespace

// ---- the frame ------------------------------------------------------------------------------

bool ScreenSaver::Full::DoRender() {
    if (!HandleDeviceLost()) {
        LogErrors().Write(LogSite(kSource, kRenderSignature, __LINE__)).Print("HandleDeviceLost failed");
        return false;
    }
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, BgColor.ToPacked(), 1.0f, 0);

    SetupCamera();

    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    if (SUCCEEDED(device->BeginScene())) {
        StateCache::SetRenderState(D3DRS_ZENABLE, 1);
        StateCache::SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        StateCache::SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        StateCache::SetRenderState(D3DRS_AMBIENT, Ambient.ToPacked());
        // The fog's colour and distances go out whether it is on or not: an effect may
        // switch fog on itself and then finds them set.
        StateCache::SetRenderState(D3DRS_FOGENABLE, FogEnable);
        StateCache::SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        StateCache::SetRenderState(D3DRS_FOGCOLOR, FogColor.ToPacked());
        StateCache::SetRenderState(D3DRS_FOGSTART, FloatBits(FogStart));
        StateCache::SetRenderState(D3DRS_FOGEND, FloatBits(FogEnd));
        StateCache::SetRenderState(D3DRS_RANGEFOGENABLE, 1);

        RenderScene();

        TimeRange range;
        if (PathActive && FlightPath->GetTimeRange(range)) Fade(range.start, range.end);

        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        TheWindowManager().Draw();
        device->EndScene();
    }
    device->Present(nullptr, nullptr, nullptr, nullptr);
    TheFrameNotifier().Tick();
    return true;
}

void ScreenSaver::Full::SetupCamera() {
    const IntRect screen = GetScreenRect();
    const f32 aspect = screen.bottom > 0 ? static_cast<f32>(screen.right) / static_cast<f32>(screen.bottom) : 1.0f;
    ViewCamera.SetPerspective(NearPlane, FarPlane, Fov, aspect);

    const CameraBase* source = Camera;
    TimeRange range;
    if (PathActive && FlightPath->GetTimeRange(range)) {
        FlightPath->Evaluate(PathTime);
        const u64 elapsed = PathTimer.Elapsed();
        if (elapsed != 0) {
            PathTime = static_cast<f32>(elapsed) * PathRate;
            if (DebugMode && Input.IsKeyDown(kFastKey)) PathTime *= 10.0f;
        }
        if (PathTime > range.end) NextFlight();
        source = FlightPath;
    }
    ViewCamera.SetView(source->GetPosition(), source->GetDirection(), source->GetUp());
    StateCache::SetViewMatrix(ViewCamera.GetView());
    StateCache::SetWorldMatrix(IdentityMatrix);
    StateCache::SetProjectionMatrix(ViewCamera.GetProjection());
}

// ---- fades ------------------------------------------------------------------------------------

void ScreenSaver::Full::Fade(f32, f32 end) {
    const f32 t = PathTime;
    const bool fadingIn = t < kFadeSpan;
    const bool fadingOut = t > end - kFadeSpan;
    if (!fadingIn && !fadingOut) return;
    // A flight shorter than two fades is dark at both ends: the nearer end decides.
    f32 d = fadingIn ? t : end - t;
    if (fadingIn && fadingOut && end - t < t) d = end - t;
    if (d < 0.0f) d = 0.0f;
    DrawFadeQuad(1.0f - d * 0.0005f);
}

void ScreenSaver::Full::DrawFadeQuad(f32 opacity) {
    if (!device) return;
    const IntRect screen = GetScreenRect();
    ColouredVertex quad[6];
    QuadVertices(quad, -1.0f, -1.0f, static_cast<f32>(screen.right), static_cast<f32>(screen.bottom),
                 [](ColouredVertex& v, f32, f32) { v.diffuse = 0; });
    BeginScreenQuad(device, kColouredFVF);
    StateCache::SetTexture(0, nullptr);
    StateCache::SetRenderState(D3DRS_TEXTUREFACTOR, OpacityFactor(opacity, 0));
    StateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    StateCache::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    StateCache::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    StateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(ColouredVertex));
    EndScreenQuad(FogEnable);
}

// ---- the loading screen -------------------------------------------------------------------

bool ScreenSaver::Full::RenderLayers(Texture* texture, f32 opacity, i32 placement) {
    if (!HandleDeviceLost()) return false;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    if (FAILED(device->BeginScene())) return false;
    RenderLayer(texture, opacity, placement);
    const struct {
        LoadingImage image;
        Placement placement;
    } corners[] = {{kLoadingBottomRight, kPlaceBottomRight},
                   {kLoadingBottomLeft, kPlaceBottomLeft},
                   {kLoadingTopLeft, kPlaceTopLeft},
                   {kLoadingTopRight, kPlaceTopRight}};
    for (const auto& corner : corners)
        if (LoadingTextures[corner.image]) RenderLayer(LoadingTextures[corner.image], opacity, corner.placement);
    device->EndScene();
    ++LoadingFrames;
    return SUCCEEDED(device->Present(nullptr, nullptr, nullptr, nullptr));
}

void ScreenSaver::Full::RenderLayer(Texture* texture, f32 opacity, i32 placement) {
    // An image that did not load leaves its place empty.
    if (!texture || !device) return;
    const IntRect screen = GetScreenRect();
    const f32 W = static_cast<f32>(screen.right), H = static_cast<f32>(screen.bottom);
    const D3DXIMAGE_INFO info = texture->GetImageInfo();
    const f32 w = static_cast<f32>(info.Width), h = static_cast<f32>(info.Height);
    f32 left = 0, top = 0, right = W, bottom = H;
    switch (placement) {
    case kPlaceBottomRight: left = W - w, top = H - h; break;
    case kPlaceBottomLeft: top = H - h, right = w; break;
    case kPlaceTopLeft: right = w, bottom = h; break;
    case kPlaceTopRight: left = W - w, bottom = h; break;
    default: break;  // the whole screen
    }
    TexturedVertex quad[6];
    QuadVertices(quad, left, top, right, bottom, [](TexturedVertex& v, f32 u, f32 tv) {
        v.u = u;
        v.v = tv;
    });
    BeginScreenQuad(device, kTexturedFVF);
    StateCache::SetTexture(0, texture->GetD3DTexture());
    StateCache::SetRenderState(D3DRS_TEXTUREFACTOR, OpacityFactor(opacity, 0xFFFFFF));
    StateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    StateCache::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    StateCache::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    StateCache::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    StateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    StateCache::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    // The quad's edges fall between texels: wrapping would blend an image's opposite edge
    // into them (a corner image's opaque bottom row along its transparent top).
    StateCache::SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    StateCache::SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(TexturedVertex));
    // Draws that set no addressing of their own expect the device's default, wrapping.
    StateCache::SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    StateCache::SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    StateCache::SetTexture(0, nullptr);
    EndScreenQuad(FogEnable);
}

// ---- gamma and targets ------------------------------------------------------------------------

void ScreenSaver::Full::BuildGammaRamp(i32 gamma, D3DGAMMARAMP& ramp) {
    for (i32 i = 0; i < 256; ++i) {
        i64 value = static_cast<i64>(gamma) * 200 + 256 * i;
        if (value < 0) value = 0;
        if (value > 65535) value = 65535;
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(value);
    }
}

bool ScreenSaver::Full::ApplyGammaRamp() {
    if (device) {
        D3DGAMMARAMP ramp;
        BuildGammaRamp(Gamma, ramp);
        device->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
    }
    return Application::RestoreDeviceObjects();
}

bool ScreenSaver::Full::RestoreDeviceObjects() { return ApplyGammaRamp(); }

bool ScreenSaver::Full::BeginTargetWithColour(RenderTarget* target, f32 red, f32 green, f32 blue, f32 alpha) {
    if (!target) return false;
    FColor colour;
    colour.Set(alpha, red, green, blue);
    const D3DCOLOR packed = colour.ToPacked();
    const float depth = 1.0f;
    return target->Begin(nullptr, &packed, &depth);
}
