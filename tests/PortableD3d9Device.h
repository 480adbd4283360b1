// A windowed Direct3D 9 device on a hidden window of its own, for the suites that run on
// every platform: under Wine on its real Direct3D, on Linux on the platform's reference
// device. Where no window or device can be made, the test is skipped.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include <gtest/gtest.h>

class PortableD3d9Device : public ::testing::Test {
protected:
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS params{};

    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "D3d9DeviceTest";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "D3d9DeviceTest", "device", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
        if (!window) GTEST_SKIP() << "no window can be made here";
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) GTEST_SKIP() << "no Direct3D 9 here";
        params.Windowed = TRUE;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.BackBufferFormat = D3DFMT_UNKNOWN;
        params.EnableAutoDepthStencil = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &params, &device)))
            GTEST_SKIP() << "no windowed device here";
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        if (window) DestroyWindow(window);
    }
};
