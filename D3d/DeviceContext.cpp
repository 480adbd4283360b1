#include "D3d/DeviceContext.h"

#include <string.h>

namespace {
IDirect3DDevice9* g_device = nullptr;
D3DCAPS9 g_caps = {};
}  // namespace

IDirect3DDevice9* TheDevice() { return g_device; }
const D3DCAPS9& TheDeviceCaps() { return g_caps; }

void PublishDevice(IDirect3DDevice9* device) {
    g_device = device;
    memset(&g_caps, 0, sizeof g_caps);
    if (device && FAILED(device->GetDeviceCaps(&g_caps))) memset(&g_caps, 0, sizeof g_caps);
}
