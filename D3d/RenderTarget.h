// An off-screen colour texture with a depth buffer (a depth texture or a depth-stencil
// surface of its own) that a drawing pass switches to with Begin and back from with End.
// It is a device object: its textures and surfaces go before a reset and come back after
// it. Begin and End pair strictly; a Begin inside another is refused, since it would
// overwrite the saved target and depth buffer.
#pragma once

#include <d3d9.h>

#include "Core/Types.h"
#include "D3d/DeviceObject.h"

class Texture;

class RenderTarget : public DeviceObject {
public:
    RenderTarget() = default;
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;
    ~RenderTarget() override;

    bool Restore() override;
    bool Invalidate() override;

    // A second Create gives back what the first made before making the new target.
    bool Create(u32 width, u32 height, D3DFORMAT colorFormat, D3DFORMAT depthFormat, bool depthTexture);
    // Switches to the target: viewport when given, and clears the colour and depth given
    // (Clear is called even with neither). False while another Begin is open or when the
    // device refuses the switch (nothing is then held).
    bool Begin(const D3DVIEWPORT9* viewport, const D3DCOLOR* color, const float* depth);
    // Puts back the target, depth buffer and viewport that Begin found.
    bool End();

    Texture* GetColorTexture() const { return colorTexture; }
    Texture* GetDepthTexture() const { return depthTexture; }
    IDirect3DSurface9* GetColorSurface() const { return colorSurface; }
    IDirect3DSurface9* GetDepthSurface() const { return depthSurface; }
    bool IsBegun() const { return begun != 0; }

private:
    void ReleaseAll();
    bool MakeDepthSurface();

    Texture* colorTexture = nullptr;
    Texture* depthTexture = nullptr;
    IDirect3DSurface9* colorSurface = nullptr;
    IDirect3DSurface9* depthSurface = nullptr;
    u32 width = 0;
    u32 height = 0;
    D3DFORMAT colorFormat = D3DFMT_UNKNOWN;
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN;
    IDirect3DSurface9* savedTarget = nullptr;
    IDirect3DSurface9* savedDepth = nullptr;
    D3DVIEWPORT9 savedViewport{};
    u8 begun = 0;
    u8 created = 0;
};
