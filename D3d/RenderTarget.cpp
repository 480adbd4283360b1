// Render targets: the colour texture (and a depth texture when asked for) come from the
// texture manager as textures of their own that the target restores and invalidates
// itself; the level-0 surfaces are counted references held beside them.
#include "D3d/RenderTarget.h"

#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"

namespace {

Texture* LoadTargetTexture(u32 width, u32 height, D3DFORMAT format, u32 usage) {
    TextureDesc desc;
    desc.width = width;
    desc.height = height;
    desc.format = format;
    desc.levels = 1;
    desc.usage = usage;
    desc.pool = D3DPOOL_DEFAULT;
    desc.alwaysNew = 1;
    desc.clearSubs = 1;
    desc.flags = TEXDESC_FORMAT | TEXDESC_SIZE | TEXDESC_USAGE | TEXDESC_POOL | TEXDESC_LEVELS |
                 TEXDESC_NOT_DEVICE_OBJECT;
    return TheTextureManager().Load(desc, nullptr);
}

void ReleaseSurface(IDirect3DSurface9*& surface) {
    if (surface) surface->Release();
    surface = nullptr;
}

}  // namespace

RenderTarget::~RenderTarget() {
    if (begun) End();
    ReleaseAll();
}

void RenderTarget::ReleaseAll() {
    ReleaseSurface(colorSurface);
    ReleaseSurface(depthSurface);
    TheTextureManager().Release(colorTexture);
    TheTextureManager().Release(depthTexture);
    colorTexture = nullptr;
    depthTexture = nullptr;
    created = 0;
}

bool RenderTarget::MakeDepthSurface() {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    ReleaseSurface(depthSurface);
    IDirect3DSurface9* made = nullptr;
    if (FAILED(device->CreateDepthStencilSurface(width, height, depthFormat, D3DMULTISAMPLE_NONE, 0, TRUE, &made,
                                                 nullptr)))
        return false;
    depthSurface = made;
    return true;
}

bool RenderTarget::Create(u32 w, u32 h, D3DFORMAT color, D3DFORMAT depth, bool withDepthTexture) {
    if (begun) return false;
    ReleaseAll();  // a second Create starts from nothing
    width = w;
    height = h;
    colorFormat = color;
    depthFormat = depth;
    if (withDepthTexture) {
        Application* app = TheApplication();
        if (!app || !app->CheckDeviceFormat(depth, D3DRTYPE_TEXTURE, D3DUSAGE_DEPTHSTENCIL)) return false;
    }
    Register();
    colorTexture = LoadTargetTexture(w, h, color, D3DUSAGE_RENDERTARGET);
    if (!colorTexture) return false;
    colorSurface = colorTexture->GetSurfaceLevel(0);
    if (withDepthTexture) {
        depthTexture = LoadTargetTexture(w, h, depth, D3DUSAGE_DEPTHSTENCIL);
        if (!depthTexture) {
            ReleaseAll();
            return false;
        }
        depthSurface = depthTexture->GetSurfaceLevel(0);
    } else if (TheDevice() && !MakeDepthSurface()) {
        ReleaseAll();
        return false;
    }
    created = 1;
    return true;
}

bool RenderTarget::Begin(const D3DVIEWPORT9* viewport, const D3DCOLOR* color, const float* depth) {
    IDirect3DDevice9* device = TheDevice();
    if (begun || !device || !colorSurface) return false;
    IDirect3DSurface9* target = nullptr;
    if (FAILED(device->GetRenderTarget(0, &target))) return false;
    // A device without a depth buffer answers D3DERR_NOTFOUND and hands out nothing.
    IDirect3DSurface9* depthNow = nullptr;
    if (FAILED(device->GetDepthStencilSurface(&depthNow))) depthNow = nullptr;
    D3DVIEWPORT9 viewportNow;
    if (FAILED(device->GetViewport(&viewportNow)) || FAILED(device->SetRenderTarget(0, colorSurface))) {
        target->Release();
        if (depthNow) depthNow->Release();
        return false;
    }
    savedTarget = target;
    savedDepth = depthNow;
    savedViewport = viewportNow;
    begun = 1;
    StateCache::UnbindTextures();
    device->SetDepthStencilSurface(depthSurface);
    if (viewport) device->SetViewport(viewport);
    DWORD flags = 0;
    if (color) flags |= D3DCLEAR_TARGET;
    if (depth) flags |= D3DCLEAR_ZBUFFER;
    device->Clear(0, nullptr, flags, color ? *color : 0, depth ? *depth : 1.0f, 0);
    return true;
}

bool RenderTarget::End() {
    if (!begun) return false;
    begun = 0;
    if (IDirect3DDevice9* device = TheDevice()) {
        device->SetRenderTarget(0, savedTarget);
        device->SetDepthStencilSurface(savedDepth);
        device->SetViewport(&savedViewport);
    }
    ReleaseSurface(savedTarget);
    ReleaseSurface(savedDepth);
    return true;
}

bool RenderTarget::Restore() {
    if (!created) return true;  // nothing was ever made, so there is nothing to make again
    if (colorTexture) {
        colorTexture->Restore();
        ReleaseSurface(colorSurface);
        colorSurface = colorTexture->GetSurfaceLevel(0);
    }
    if (depthTexture) {
        depthTexture->Restore();
        ReleaseSurface(depthSurface);
        depthSurface = depthTexture->GetSurfaceLevel(0);
        return true;
    }
    if (!MakeDepthSurface()) {
        ReleaseAll();
        return false;
    }
    return true;
}

bool RenderTarget::Invalidate() {
    if (begun) End();  // the saved surfaces must not outlive the device's reset
    ReleaseSurface(colorSurface);
    if (colorTexture) colorTexture->Invalidate();
    ReleaseSurface(depthSurface);
    if (depthTexture) depthTexture->Invalidate();
    return true;
}
