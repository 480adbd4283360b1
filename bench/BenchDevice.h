// A windowed Direct3D 9 device on a window of its own, for the life of a benchmark: what the
// benchmarks of D3DX loaders and effects run on. Members stay null when the platform has
// no device to give.
#pragma once

#include <d3d9.h>
#include <windows.h>

namespace benchdevice {

struct WindowedDevice {
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;

    explicit WindowedDevice(const char* className) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = className;
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, className, "bench", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!window || !d3d) return;
        D3DPRESENT_PARAMETERS params{};
        params.Windowed = TRUE;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                          &device);
    }
    ~WindowedDevice() {
        if (device) device->Release();
        if (d3d) d3d->Release();
        if (window) DestroyWindow(window);
    }
    WindowedDevice(const WindowedDevice&) = delete;
    WindowedDevice& operator=(const WindowedDevice&) = delete;
};

}  // namespace benchdevice
