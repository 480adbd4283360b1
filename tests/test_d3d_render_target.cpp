// Render targets on the platform's real Direct3D 9: Begin and End put back the device's
// target, depth buffer and viewport with every reference count as it was; the clear flags
// follow the colour and depth given; a nested Begin is refused; Create again and a device
// reset leak nothing (a reset fails while a default-pool object is left alive).
#include "D3d/RenderTarget.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

using namespace texsupport;

namespace {

// The colour of the target's first pixel, read back through a system-memory surface.
unsigned FirstPixel(RenderTarget& target) {
    IDirect3DSurface9* copy = nullptr;
    D3DSURFACE_DESC desc;
    target.GetColorSurface()->GetDesc(&desc);
    if (FAILED(TheDevice()->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                        &copy, nullptr)))
        return 0xDEADBEEF;
    unsigned value = 0xDEADBEEF;
    if (SUCCEEDED(TheDevice()->GetRenderTargetData(target.GetColorSurface(), copy))) {
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            memcpy(&value, locked.pBits, 4);
            copy->UnlockRect();
        }
    }
    copy->Release();
    return value;
}

}  // namespace

TEST(RenderTarget, BeginAndEndPutBackTargetDepthAndViewport) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    RenderTarget target;
    ASSERT_TRUE(target.Create(64, 32, D3DFMT_A8R8G8B8, D3DFMT_D16, false));
    ASSERT_NE(target.GetColorTexture(), nullptr);
    ASSERT_NE(target.GetDepthSurface(), nullptr);

    IDirect3DDevice9* device = TheDevice();
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
    IDirect3DSurface9* depth = nullptr;
    const bool hasDepth = SUCCEEDED(device->GetDepthStencilSurface(&depth));
    const ULONG backRefs = RefCount(backBuffer);
    const ULONG depthRefs = hasDepth ? RefCount(depth) : 0;
    D3DVIEWPORT9 before;
    device->GetViewport(&before);

    const D3DVIEWPORT9 inner = {0, 0, 16, 16, 0.0f, 1.0f};
    const D3DCOLOR red = 0xFFFF0000;
    const float far1 = 1.0f;
    ASSERT_TRUE(target.Begin(&inner, &red, &far1));
    EXPECT_TRUE(target.IsBegun());
    IDirect3DSurface9* now = nullptr;
    device->GetRenderTarget(0, &now);
    EXPECT_EQ(now, target.GetColorSurface());
    now->Release();
    D3DVIEWPORT9 during;
    device->GetViewport(&during);
    EXPECT_EQ(during.Width, 16u);
    // A second Begin is refused and holds nothing more.
    EXPECT_FALSE(target.Begin(nullptr, nullptr, nullptr));
    ASSERT_TRUE(target.End());
    EXPECT_FALSE(target.End());

    device->GetRenderTarget(0, &now);
    EXPECT_EQ(now, backBuffer);
    now->Release();
    if (hasDepth) {
        IDirect3DSurface9* depthNow = nullptr;
        ASSERT_EQ(device->GetDepthStencilSurface(&depthNow), D3D_OK);
        EXPECT_EQ(depthNow, depth);
        depthNow->Release();
        EXPECT_EQ(RefCount(depth), depthRefs);
        depth->Release();
    }
    EXPECT_EQ(RefCount(backBuffer), backRefs);
    backBuffer->Release();
    D3DVIEWPORT9 after;
    device->GetViewport(&after);
    EXPECT_EQ(after.Width, before.Width);
    EXPECT_EQ(after.Height, before.Height);

    // The colour was cleared to red; a Begin without colour clears nothing of it.
    EXPECT_EQ(FirstPixel(target) & 0x00FFFFFFu, 0xFF0000u);
    ASSERT_TRUE(target.Begin(nullptr, nullptr, nullptr));
    ASSERT_TRUE(target.End());
    EXPECT_EQ(FirstPixel(target) & 0x00FFFFFFu, 0xFF0000u);
    const D3DCOLOR blue = 0xFF0000FF;
    ASSERT_TRUE(target.Begin(nullptr, &blue, nullptr));
    ASSERT_TRUE(target.End());
    EXPECT_EQ(FirstPixel(target) & 0x00FFFFFFu, 0x0000FFu);
}

TEST(RenderTarget, AResetReleasesAndRebuildsEverything) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    RenderTarget target;
    ASSERT_TRUE(target.Create(32, 32, D3DFMT_A8R8G8B8, D3DFMT_D16, false));
    // The device resets only when nothing of the default pool is left alive.
    ASSERT_TRUE(app.ResetDevice());
    ASSERT_NE(target.GetColorSurface(), nullptr);
    ASSERT_NE(target.GetDepthSurface(), nullptr);
    EXPECT_EQ(target.GetColorTexture()->GetD3DTexture()->GetLevelCount(), 1u);
    // A reset while a Begin is open ends it first.
    const D3DCOLOR green = 0xFF00FF00;
    ASSERT_TRUE(target.Begin(nullptr, &green, nullptr));
    ASSERT_TRUE(app.ResetDevice());
    EXPECT_FALSE(target.IsBegun());
    // Create again gives back the first target's textures.
    const u32 texturesBefore = TheTextureManager().TextureCount();
    ASSERT_TRUE(target.Create(16, 16, D3DFMT_A8R8G8B8, D3DFMT_D16, false));
    EXPECT_EQ(TheTextureManager().TextureCount(), texturesBefore);
    ASSERT_TRUE(app.ResetDevice());
}

TEST(RenderTarget, AFailedCreateLeavesNothingBehind) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    RenderTarget target;
    // No device makes a depth buffer of a colour format.
    EXPECT_FALSE(target.Create(32, 32, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, false));
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
    EXPECT_EQ(target.GetColorSurface(), nullptr);
    EXPECT_FALSE(target.Begin(nullptr, nullptr, nullptr));
    EXPECT_FALSE(target.Create(32, 32, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, true));
    ASSERT_TRUE(app.ResetDevice());
    EXPECT_EQ(target.GetColorSurface(), nullptr);  // nothing made by a restore either
    EXPECT_EQ(target.GetDepthSurface(), nullptr);
    RenderTarget never;
    EXPECT_TRUE(never.Restore());
    EXPECT_EQ(never.GetDepthSurface(), nullptr);
}

TEST(RenderTarget, ADepthTextureWhenTheDeviceHasOne) {
    Application app;
    DeviceScope scope(app);
    REQUIRE_TEXTURE_DEVICE(app);
    if (!app.CheckDeviceFormat(D3DFMT_D24S8, D3DRTYPE_TEXTURE, D3DUSAGE_DEPTHSTENCIL))
        GTEST_SKIP() << "no depth textures here";
    RenderTarget target;
    ASSERT_TRUE(target.Create(32, 32, D3DFMT_A8R8G8B8, D3DFMT_D24S8, true));
    ASSERT_NE(target.GetDepthTexture(), nullptr);
    EXPECT_EQ(TheTextureManager().TextureCount(), 2u);
    ASSERT_TRUE(app.ResetDevice());
    EXPECT_NE(target.GetDepthSurface(), nullptr);
}
