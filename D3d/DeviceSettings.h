// One device choice: which adapter and device type, the formats of the back buffer, the
// depth buffer and the display, multisampling, vertex processing and presentation. The
// same record is the request that DeviceEnumeration::FindSettings completes: its
// `requestFlags` say which fields the caller has fixed and the search must honour; the
// search fills in the rest.
#pragma once

#include "Core/Types.h"

#include <d3d9.h>

// Bits of DeviceSettings::requestFlags.
enum DeviceRequestFlags : u32 {
    kRequestDisplaySize = 0x001,       // width and height of displayMode
    kRequestBackBufferFormat = 0x002,  // same bits per pixel required, same format preferred
    kRequestDepthFormat = 0x004,
    kRequestMultiSample = 0x008,       // multiSampleType and multiSampleQuality
    kRequestVertexProcessing = 0x010,
    kRequestPresentInterval = 0x020,
    kRequestAdapter = 0x100,
    kRequestDeviceType = 0x200,        // without it only the HAL device qualifies
    kRequestRefreshRate = 0x400,
    kRequestStrict = 0x800,            // a value the device lacks fails instead of being replaced
};

// Values of DeviceSettings::vertexProcessing.
enum VertexProcessingKind : u32 {
    kSoftwareVertexProcessing = 0,
    kMixedVertexProcessing = 1,
    kHardwareVertexProcessing = 2,
    kPureHardwareVertexProcessing = 3,
};

struct DeviceSettings {
    u32 requestFlags;
    u8 windowed;
    u32 adapterOrdinal;
    D3DDEVTYPE deviceType;
    D3DCAPS9 caps;
    D3DFORMAT backBufferFormat;
    D3DFORMAT depthStencilFormat;
    D3DDISPLAYMODE displayMode;  // Format is the adapter format
    D3DMULTISAMPLE_TYPE multiSampleType;
    u32 multiSampleQuality;
    u32 vertexProcessing;  // VertexProcessingKind
    u32 presentInterval;   // a D3DPRESENT_INTERVAL value

    // Every field zero: a request that fixes nothing, for full screen.
    DeviceSettings();
};
