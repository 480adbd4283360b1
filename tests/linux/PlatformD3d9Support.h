// What the reference-device suites share: a window handle the device is made for (no
// real window is needed) and windowed presentation parameters.
#pragma once

#include <PlatformTestD3d9.h>
#include <PlatformTestWindows.h>
#include <d3d9.h>

#include <gtest/gtest.h>

#include <stdint.h>

namespace platformd3d9 {

// Every table of the platform back to its first state: adapters and devices, windows and
// dialogs, loaded libraries.
inline void ResetPlatform() {
    PlatformTest_D3d9Reset();
    PlatformTest_ResetWindows();
    PlatformTest_ResetModules();
}

inline const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

// A windowed swap chain of the given size with a D24S8 depth buffer.
inline D3DPRESENT_PARAMETERS Windowed(UINT width = 320, UINT height = 240) {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = kWindow;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    return p;
}

// A fresh platform for every test, and at its end every object given back: the device and
// the Direct3D object release to zero and nothing the test made is left alive.
class ReferenceD3d9 : public ::testing::Test {
protected:
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;

    void SetUp() override { PlatformTest_D3d9Reset(); }
    // The Direct3D object of one configured adapter, and a windowed device on it.
    void Open(const PlatformTestD3d9Adapter& adapter = PlatformTest_D3d9DefaultAdapter()) {
        PlatformTest_D3d9SetAdapters({adapter});
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS p = Windowed();
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        for (PlatformTestD3d9Kind kind :
             {PlatformTestD3d9Kind::Device, PlatformTestD3d9Kind::VertexBuffer, PlatformTestD3d9Kind::Surface,
              PlatformTestD3d9Kind::Texture, PlatformTestD3d9Kind::CubeTexture})
            EXPECT_EQ(PlatformTest_D3d9LiveObjects(kind), 0) << static_cast<int>(kind);
        PlatformTest_D3d9Reset();
    }
};

// The row pitch a new plain surface of the device locks with, or -1 when it cannot be made
// or locked.
inline INT PlainSurfacePitch(IDirect3DDevice9* device, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool) {
    IDirect3DSurface9* surface = nullptr;
    if (device->CreateOffscreenPlainSurface(width, height, format, pool, &surface, nullptr) != D3D_OK) return -1;
    D3DLOCKED_RECT locked{};
    const INT pitch = surface->LockRect(&locked, nullptr, 0) == D3D_OK ? locked.Pitch : -1;
    if (pitch != -1) surface->UnlockRect();
    surface->Release();
    return pitch;
}

}  // namespace platformd3d9
