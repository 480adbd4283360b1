// The device that every drawing call of the engine goes through, and a copy of its caps.
// The Application publishes both when it creates a device and withdraws them when it
// releases it; everything else only reads them. Null and zeroed while there is no device.
#pragma once

#include <d3d9.h>

IDirect3DDevice9* TheDevice();
const D3DCAPS9& TheDeviceCaps();

// For the Application: publishes `device` (null withdraws it) and refreshes the caps copy
// from it (zeroed for null).
void PublishDevice(IDirect3DDevice9* device);
