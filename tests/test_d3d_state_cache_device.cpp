// The state cache in front of a real device: the platform's Direct3D 9 (Wine's under
// Windows builds), on a window of its own.
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"

#include <gtest/gtest.h>

#include <d3d9.h>
#include <string.h>
#include <windows.h>

// The same rules against Wine's real Direct3D 9 (or whatever device the platform gives).
TEST(StateCacheDevice, FiltersWhatReachesARealDevice) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "StateCacheTest";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "StateCacheTest", "state cache", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    if (!window) GTEST_SKIP() << "no window can be created here (error " << GetLastError() << ")";
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) {
        DestroyWindow(window);
        GTEST_SKIP() << "no Direct3D 9 here";
    }
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = TRUE;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.BackBufferFormat = D3DFMT_UNKNOWN;
    params.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &params, &device))) {
        d3d->Release();
        DestroyWindow(window);
        GTEST_SKIP() << "no device can be created here";
    }
    PublishDevice(device);
    StateCache::InvalidateAll();

    DWORD value = 0;
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_LIGHTING, FALSE));
    device->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));
    // Changed behind the cache's back: an equal set through the cache is not sent...
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_LIGHTING, FALSE));
    device->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    // ...until the cache forgets.
    StateCache::InvalidateAll();
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_LIGHTING, FALSE));
    device->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));

    // The vertex-texture sampler goes through uncached.
    EXPECT_TRUE(StateCache::SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, D3DTEXF_POINT));
    device->SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    EXPECT_TRUE(StateCache::SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, D3DTEXF_POINT));
    device->GetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));

    // A null material reaches the device as zeros.
    D3DMATERIAL9 material;
    memset(&material, 0x3F, sizeof material);
    EXPECT_TRUE(StateCache::SetMaterial(&material));
    EXPECT_TRUE(StateCache::SetMaterial(nullptr));
    D3DMATERIAL9 read;
    memset(&read, 0xFF, sizeof read);
    device->GetMaterial(&read);
    const D3DMATERIAL9 zero{};
    EXPECT_EQ(memcmp(&read, &zero, sizeof zero), 0);

    PublishDevice(nullptr);
    StateCache::InvalidateAll();
    device->Release();
    d3d->Release();
    DestroyWindow(window);
}
