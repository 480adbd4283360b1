// The Application on the reference device, driven through the platform's test interface:
// a lost device and its reset with default-pool objects alive, failing restores and
// resets, the switch between windowed and full-screen presentation, adapters the engine
// must cope with, a missing Direct3D library, and a long run of frames with the device
// lost at random.
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "tests/linux/PlatformD3d9Support.h"

#include <PlatformTestD3d9.h>
#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Holds a default-pool vertex buffer while the device is restored, as every renderer does.
class BufferObject : public DeviceObject {
public:
    bool Restore() override {
        ++restores;
        if (failRestore) return false;
        if (buffer) return true;
        return SUCCEEDED(TheDevice()->CreateVertexBuffer(256, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &buffer,
                                                         nullptr));
    }
    bool Invalidate() override {
        ++invalidates;
        if (!keepOnInvalidate && buffer) {
            buffer->Release();
            buffer = nullptr;
        }
        return true;
    }
    ~BufferObject() override {
        if (buffer) buffer->Release();
    }
    IDirect3DVertexBuffer9* buffer = nullptr;
    int restores = 0;
    int invalidates = 0;
    bool failRestore = false;
    bool keepOnInvalidate = false;  // the fault the invalidation exists to prevent
};

class ApplicationDevice : public ::testing::Test {
protected:
    void SetUp() override { platformd3d9::ResetPlatform(); }
    void TearDown() override { platformd3d9::ResetPlatform(); }
    static bool Windowed(Application& app) {
        return app.Create(GetModuleHandleA(nullptr), nullptr) && app.SetMode(false);
    }
};

HRESULT Cooperative() { return TheDevice() ? TheDevice()->TestCooperativeLevel() : E_FAIL; }

TEST_F(ApplicationDevice, ALostDeviceIsResetOnceItsDefaultPoolObjectsAreReleased) {
    Application app;
    BufferObject first, second;
    ASSERT_TRUE(Windowed(app));
    first.Register();
    second.Register();
    ASSERT_TRUE(app.ResetDevice());  // restores both now that they are registered
    ASSERT_NE(first.buffer, nullptr);
    ASSERT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 2);

    PlatformTest_D3d9LoseDevice(nullptr);
    // Lost and not yet resettable: nothing is invalidated, the frame is skipped.
    EXPECT_TRUE(app.HandleDeviceLost());
    EXPECT_EQ(Cooperative(), D3DERR_DEVICELOST);
    EXPECT_EQ(first.invalidates, 1);  // only the explicit reset above

    PlatformTest_D3d9AllowReset(nullptr);
    EXPECT_EQ(Cooperative(), D3DERR_DEVICENOTRESET);
    EXPECT_TRUE(app.HandleDeviceLost());
    EXPECT_EQ(Cooperative(), D3D_OK);
    EXPECT_EQ(first.invalidates, 2);
    EXPECT_EQ(first.restores, 2);
    EXPECT_EQ(second.restores, 2);
    EXPECT_NE(first.buffer, nullptr);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 2);
}

TEST_F(ApplicationDevice, AnObjectThatKeepsItsBufferBlocksTheResetUntilItLetsGo) {
    Application app;
    BufferObject good, leaky;
    ASSERT_TRUE(Windowed(app));
    good.Register();
    leaky.Register();
    ASSERT_TRUE(app.ResetDevice());
    leaky.keepOnInvalidate = true;

    PlatformTest_D3d9LoseDevice(nullptr);
    PlatformTest_D3d9AllowReset(nullptr);
    // The runtime refuses a reset while a default-pool buffer is referenced.
    EXPECT_FALSE(app.HandleDeviceLost());
    EXPECT_EQ(Cooperative(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(good.buffer, nullptr);
    EXPECT_EQ(app.deviceObjectsRestored, 0);

    // Once the buffer goes, the next frame's reset succeeds and everything is back.
    leaky.buffer->Release();
    leaky.buffer = nullptr;
    leaky.keepOnInvalidate = false;
    EXPECT_TRUE(app.HandleDeviceLost());
    EXPECT_EQ(Cooperative(), D3D_OK);
    EXPECT_NE(good.buffer, nullptr);
    EXPECT_NE(leaky.buffer, nullptr);
    EXPECT_EQ(app.deviceObjectsRestored, 1);
}

TEST_F(ApplicationDevice, AFailingRestoreLeavesEveryObjectInvalidatedAndAFailedResetIsRetried) {
    Application app;
    BufferObject a, b, c;
    ASSERT_TRUE(Windowed(app));
    a.Register();
    b.Register();
    c.Register();
    b.failRestore = true;
    EXPECT_FALSE(app.ResetDevice());
    // The others were restored, then all were invalidated: no buffer is left behind.
    EXPECT_EQ(a.restores, 1);
    EXPECT_EQ(c.restores, 1);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 0);
    EXPECT_EQ(app.deviceObjectsRestored, 0);

    b.failRestore = false;
    // A Reset refused (a default-pool buffer is still held) leaves the device needing one,
    // even though it was never lost; the next frame's reset succeeds once it is released.
    IDirect3DVertexBuffer9* held = nullptr;
    ASSERT_EQ(TheDevice()->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &held, nullptr), D3D_OK);
    EXPECT_FALSE(app.ResetDevice());
    EXPECT_EQ(Cooperative(), D3DERR_DEVICENOTRESET);
    held->Release();
    EXPECT_TRUE(app.HandleDeviceLost());
    EXPECT_EQ(Cooperative(), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 3);
}

TEST_F(ApplicationDevice, ToggleFullscreenBothWaysAndBackWhenFullScreenIsRefused) {
    Application app;
    BufferObject object;
    ASSERT_TRUE(Windowed(app));
    object.Register();
    ASSERT_TRUE(app.ResetDevice());
    ASSERT_TRUE(app.IsWindowed());

    ASSERT_TRUE(app.ToggleFullscreen());
    EXPECT_FALSE(app.IsWindowed());
    EXPECT_EQ(app.presentParams.Windowed, FALSE);
    EXPECT_EQ(app.presentParams.BackBufferWidth, app.fullScreenSettings.displayMode.Width);
    EXPECT_EQ(app.backBufferDesc.Width, app.fullScreenSettings.displayMode.Width);
    EXPECT_NE(object.buffer, nullptr);

    ASSERT_TRUE(app.ToggleFullscreen());
    EXPECT_TRUE(app.IsWindowed());
    EXPECT_EQ(app.presentParams.Windowed, TRUE);
    EXPECT_NE(object.buffer, nullptr);

    // A full-screen reset that fails falls back to the windowed device.
    PlatformTest_D3d9FailCall("Reset", 1, D3DERR_INVALIDCALL);
    EXPECT_TRUE(app.ToggleFullscreen());
    EXPECT_TRUE(app.IsWindowed());
    EXPECT_EQ(Cooperative(), D3D_OK);
    EXPECT_NE(object.buffer, nullptr);

    // Both refused (a default-pool buffer held behind the engine's back): the toggle
    // fails, and the engine's own buffers are released for the next reset.
    IDirect3DVertexBuffer9* held = nullptr;
    ASSERT_EQ(TheDevice()->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &held, nullptr), D3D_OK);
    EXPECT_FALSE(app.ToggleFullscreen());
    EXPECT_EQ(object.buffer, nullptr);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 1);
    held->Release();
    EXPECT_TRUE(app.HandleDeviceLost());
    EXPECT_NE(object.buffer, nullptr);
}

TEST_F(ApplicationDevice, AdaptersTheEngineMustCopeWith) {
    // A 16-bit desktop: the windowed device takes the desktop's format.
    {
        PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
        adapter.desktop.Format = D3DFMT_R5G6B5;
        PlatformTest_D3d9SetAdapters({adapter});
        Application app;
        ASSERT_TRUE(Windowed(app));
        EXPECT_EQ(app.backBufferDesc.Format, D3DFMT_R5G6B5);
        EXPECT_EQ(app.GetDesktopDisplayMode().Format, D3DFMT_R5G6B5);
    }
    // No adapter at all: Create fails and releases Direct3D.
    {
        PlatformTest_D3d9SetAdapters({});
        Application app;
        EXPECT_FALSE(app.Create(GetModuleHandleA(nullptr), nullptr));
        EXPECT_EQ(app.d3d, nullptr);
        EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Direct3D), 0);
    }
    // Caps change with the device: a device without bump mapping or occlusion queries
    // answers so, after one that had both.
    for (bool capable : {true, false}) {
        PlatformTestD3d9Adapter adapter = PlatformTest_D3d9DefaultAdapter();
        adapter.textureFormats.push_back(D3DFMT_V8U8);
        if (capable)
            adapter.devices[D3DDEVTYPE_HAL].TextureOpCaps |= D3DTEXOPCAPS_BUMPENVMAP;
        else
            adapter.devices[D3DDEVTYPE_HAL].TextureOpCaps &= ~static_cast<DWORD>(D3DTEXOPCAPS_BUMPENVMAP);
        if (!capable) adapter.queries.clear();
        PlatformTest_D3d9SetAdapters({adapter});
        Application app;
        ASSERT_TRUE(Windowed(app));
        EXPECT_EQ(app.IsBumpFormat(D3DFMT_V8U8), capable);
        EXPECT_EQ(app.SupportsOcclusionQueries(), capable);
        DestroyWindow(app.GetWindow());
    }
}

TEST_F(ApplicationDevice, WithoutTheDirect3DLibraryCreateFailsAndSaysSo) {
    PlatformTest_SetLibraryAbsent("d3d9.dll", true);
    Application app;
    EXPECT_FALSE(app.Create(GetModuleHandleA(nullptr), nullptr));
    EXPECT_EQ(app.d3d, nullptr);
    EXPECT_EQ(app.GetWindow(), nullptr);
}

TEST_F(ApplicationDevice, EveryReferenceIsGivenBackWhenTheApplicationGoes) {
    {
        Application app;
        BufferObject object;
        ASSERT_TRUE(Windowed(app));
        object.Register();
        ASSERT_TRUE(app.ResetDevice());
        VertexDeclaration layout;
        layout.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
        EXPECT_NE(app.GetVertexDeclaration(layout), nullptr);
        EXPECT_EQ(app.GetVertexDeclaration(layout), app.GetVertexDeclaration(layout));
        DestroyWindow(app.GetWindow());
    }
    for (int kind = 0; kind < static_cast<int>(PlatformTestD3d9Kind::Count); ++kind)
        EXPECT_EQ(PlatformTest_D3d9LiveObjects(static_cast<PlatformTestD3d9Kind>(kind)), 0) << "kind " << kind;
}

// A thousand frames with the device lost at random and given back a few frames later, as
// a screensaver sees when the user locks and unlocks the desktop. At the end every object
// is restored, as often as it was invalidated, and nothing leaks.
TEST_F(ApplicationDevice, SoakAThousandFramesWithRandomLoss) {
    PlatformTest_D3d9SetRecording(false);
    {
        Application app;
        std::vector<BufferObject> objects(6);
        ASSERT_TRUE(Windowed(app));
        for (auto& object : objects) object.Register();
        ASSERT_TRUE(app.ResetDevice());

        std::mt19937 random(20261209);
        int lostFor = -1;
        int losses = 0;
        int presented = 0;
        for (int frame = 0; frame < 1000; ++frame) {
            if (lostFor < 0 && random() % 40 == 0) {
                PlatformTest_D3d9LoseDevice(nullptr);
                lostFor = static_cast<int>(random() % 5);
                ++losses;
            } else if (lostFor == 0) {
                PlatformTest_D3d9AllowReset(nullptr);
                lostFor = -1;
            } else if (lostFor > 0) {
                --lostFor;
            }
            ASSERT_TRUE(app.HandleDeviceLost()) << "frame " << frame;
            IDirect3DDevice9* device = TheDevice();
            if (device->TestCooperativeLevel() != D3D_OK) continue;
            ASSERT_EQ(app.deviceObjectsRestored, 1) << "frame " << frame;
            device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
            if (SUCCEEDED(device->BeginScene())) {
                device->SetStreamSource(0, objects[frame % objects.size()].buffer, 0, 16);
                device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
                device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 5);
                device->SetStreamSource(0, nullptr, 0, 0);
                device->EndScene();
            }
            if (SUCCEEDED(device->Present(nullptr, nullptr, nullptr, nullptr))) ++presented;
        }
        if (lostFor >= 0) {
            PlatformTest_D3d9AllowReset(nullptr);
            ASSERT_TRUE(app.HandleDeviceLost());
        }
        EXPECT_GT(losses, 10);
        EXPECT_GT(presented, 800);
        EXPECT_EQ(app.deviceObjectsRestored, 1);
        for (const auto& object : objects) {
            EXPECT_NE(object.buffer, nullptr);
            // Registered after the device was made: every restore follows an invalidate.
            EXPECT_EQ(object.restores, object.invalidates);
        }
        EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 6);
        DestroyWindow(app.GetWindow());
    }
    for (int kind = 0; kind < static_cast<int>(PlatformTestD3d9Kind::Count); ++kind)
        EXPECT_EQ(PlatformTest_D3d9LiveObjects(static_cast<PlatformTestD3d9Kind>(kind)), 0) << "kind " << kind;
}

}  // namespace
