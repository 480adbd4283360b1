// The platform's reference Direct3D 9 device through its test interface: enumeration of
// configured adapters, CreateDevice's checks, states and their defaults, what a pure device
// refuses, declaration checks, reference counts, loss and reset, armed failures, the call
// log, buffer locks and draw bounds, queries and state blocks; a full-screen device losing
// its screen with the foreground, told through its windows' messages.
#include <PlatformTestD3d9.h>
#include <PlatformTestWindows.h>
#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include "PlatformD3d9Support.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using platformd3d9::kWindow;
using platformd3d9::Windowed;

DWORD Bits(float f) {
    DWORD b;
    memcpy(&b, &f, sizeof b);
    return b;
}

D3DPRESENT_PARAMETERS FullScreen(UINT width = 800, UINT height = 600) {
    D3DPRESENT_PARAMETERS p = Windowed(width, height);
    p.Windowed = FALSE;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    return p;
}

class D3d9Test : public platformd3d9::ReferenceD3d9 {
protected:
    void SetUp() override {
        ReferenceD3d9::SetUp();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    HRESULT Create(D3DPRESENT_PARAMETERS params, DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, flags, &params, &device);
    }
    void CreateOrFail(DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
        ASSERT_EQ(Create(Windowed(), flags), D3D_OK);
        ASSERT_NE(device, nullptr);
    }
    IDirect3DVertexBuffer9* Buffer(UINT length, D3DPOOL pool = D3DPOOL_DEFAULT, DWORD usage = 0) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(length, usage, 0, pool, &vb, nullptr), D3D_OK);
        return vb;
    }
    std::string Number(IUnknown* object) { return "#" + std::to_string(PlatformTest_D3d9ObjectNumber(object)); }
};

}  // namespace

// ---- the Direct3D object and enumeration ------------------------------------------------------

TEST(D3d9Create, OnlyThe9cVersionsGiveAnObject) {
    PlatformTest_D3d9Reset();
    for (UINT version : {31u, 32u, 32u | 0x80000000u}) {
        IDirect3D9* d3d = Direct3DCreate9(version);
        ASSERT_NE(d3d, nullptr) << version;
        EXPECT_EQ(d3d->Release(), 0u);
    }
    for (UINT version : {0u, 30u, 33u, 220u}) EXPECT_EQ(Direct3DCreate9(version), nullptr) << version;
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::Direct3D), 0);
}

TEST_F(D3d9Test, TheDefaultAdapterEnumerates) {
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Width, 1024u);
    EXPECT_EQ(desktop.Height, 768u);
    EXPECT_EQ(desktop.RefreshRate, 60u);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &desktop), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 8u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 8u);
    D3DDISPLAYMODE mode;
    // Only display formats have modes.
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_L8,
                        D3DFMT_DXT1, D3DFMT_D16, D3DFMT_D24S8, D3DFMT_INDEX16, D3DFMT_R32F, D3DFMT_UNKNOWN})
        EXPECT_EQ(d3d->EnumAdapterModes(0, f, 0, &mode), D3DERR_INVALIDCALL) << f;
    ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_R5G6B5, 1, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 640u);
    EXPECT_EQ(mode.RefreshRate, 75u);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_R5G6B5, 8, &mode), D3DERR_INVALIDCALL);
    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_STREQ(id.Description, "Corvane Reference Device");
    EXPECT_EQ(d3d->GetAdapterIdentifier(0, 0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_NE(d3d->GetAdapterMonitor(0), nullptr);
    EXPECT_EQ(d3d->GetAdapterMonitor(1), nullptr);
}

TEST_F(D3d9Test, FormatChecksFollowTheRuntime) {
    struct Row {
        D3DFORMAT display, back;
        BOOL windowed;
        HRESULT expected;
    };
    const Row rows[] = {
        {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, TRUE, D3D_OK},
        {D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE, D3D_OK},
        {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},
        {D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, TRUE, D3DERR_NOTAVAILABLE},
        {D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE, D3DERR_NOTAVAILABLE},  // no modes in it
        {D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3DERR_INVALIDCALL},
        {D3DFMT_UNKNOWN, D3DFMT_X8R8G8B8, TRUE, D3DERR_INVALIDCALL},
    };
    for (const Row& r : rows)
        EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, r.display, r.back, r.windowed), r.expected)
            << r.display << " " << r.back << " " << r.windowed;
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3DERR_INVALIDCALL);

    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_UNKNOWN, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D24S8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D32),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DMAP, D3DRTYPE_TEXTURE, D3DFMT_L8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_V8U8), D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D32),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_D16), D3D_OK);

    DWORD levels = 99;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONE, &levels),
              D3D_OK);
    EXPECT_EQ(levels, 1u);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_UNKNOWN, TRUE, D3DMULTISAMPLE_NONE, &levels),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                              static_cast<D3DMULTISAMPLE_TYPE>(65536), &levels),
              D3DERR_INVALIDCALL);
    levels = 99;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_15_SAMPLES,
                                              &levels),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(levels, 1u);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_DXT5, TRUE, D3DMULTISAMPLE_2_SAMPLES, nullptr),
              D3DERR_NOTAVAILABLE);
}

TEST_F(D3d9Test, MultisampleTypesAreAnsweredPerFormat) {
    // The runtime answers CheckDeviceMultiSampleType for each format on its own: here two
    // samples exist for the 32-bit colour formats and the 24-bit depth formats only.
    PlatformTestD3d9Adapter a = PlatformTest_D3d9DefaultAdapter();
    a.multiSample = {{D3DMULTISAMPLE_NONE, 1}};
    const std::map<D3DMULTISAMPLE_TYPE, DWORD> twoSamples = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_2_SAMPLES, 2}};
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D24S8, D3DFMT_D24X8})
        a.multiSampleByFormat[format] = twoSamples;
    PlatformTest_D3d9SetAdapters({a});
    d3d->Release();
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    struct Row {
        D3DFORMAT format;
        D3DMULTISAMPLE_TYPE type;
        HRESULT expected;
        DWORD levels;
    };
    const Row rows[] = {
        {D3DFMT_X8R8G8B8, D3DMULTISAMPLE_2_SAMPLES, D3D_OK, 2},
        {D3DFMT_A8R8G8B8, D3DMULTISAMPLE_2_SAMPLES, D3D_OK, 2},
        {D3DFMT_R5G6B5, D3DMULTISAMPLE_2_SAMPLES, D3DERR_NOTAVAILABLE, 1},
        {D3DFMT_X1R5G5B5, D3DMULTISAMPLE_2_SAMPLES, D3DERR_NOTAVAILABLE, 1},
        {D3DFMT_D24S8, D3DMULTISAMPLE_2_SAMPLES, D3D_OK, 2},
        {D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES, D3DERR_NOTAVAILABLE, 1},
        {D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, D3DERR_NOTAVAILABLE, 1},
        {D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, D3D_OK, 1},
    };
    for (const Row& r : rows) {
        DWORD levels = 99;
        EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, r.format, TRUE, r.type, &levels), r.expected)
            << r.format << " " << r.type;
        EXPECT_EQ(levels, r.levels) << r.format << " " << r.type;
    }
    // What creation accepts follows the same answers.
    CreateOrFail();
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(device->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_2_SAMPLES, 1, FALSE, &s, nullptr),
              D3D_OK);
    if (s) s->Release();
    s = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->CreateRenderTarget(16, 16, D3DFMT_R5G6B5, D3DMULTISAMPLE_2_SAMPLES, 0, FALSE, &s, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(device->CreateDepthStencilSurface(16, 16, D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES, 0, FALSE, &s, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    D3DPRESENT_PARAMETERS p = Windowed();
    p.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    ASSERT_EQ(Create(p), D3D_OK);  // X8R8G8B8 with D24S8
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    EXPECT_EQ(Create(p), D3DERR_INVALIDCALL);
}

TEST_F(D3d9Test, GeneratedMipLevelsAreAHintTheFormatMayNotTake) {
    // Generation is a hint: where the device cannot generate a format's levels, the check
    // answers D3DOK_NOAUTOGEN, a success, and the texture is still made with the one level
    // the program sees; a dynamic texture has no generated levels at all.
    auto check = [&](DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
        return d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, format);
    };
    EXPECT_EQ(check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_L8), D3DOK_NOAUTOGEN);
    EXPECT_EQ(check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
    EXPECT_EQ(check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_CUBETEXTURE, D3DFMT_X8R8G8B8), D3D_OK);
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_R32F), D3DOK_NOAUTOGEN);
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_L8), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3DERR_NOTAVAILABLE);
    CreateOrFail();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_L8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 1u);
    t->Release();
}

TEST(D3d9Adapters, ConfiguredAdaptersAreWhatEnumerationSees) {
    PlatformTest_D3d9Reset();
    PlatformTestD3d9Adapter first = PlatformTest_D3d9DefaultAdapter();
    PlatformTestD3d9Adapter second = PlatformTest_D3d9DefaultAdapter();
    second.devices.clear();
    D3DCAPS9 ref = PlatformTest_D3d9DefaultCaps();
    ref.MaxPointSize = 1.0f;
    ref.PixelShaderVersion = D3DPS_VERSION(1, 4);
    second.devices[D3DDEVTYPE_REF] = ref;
    second.desktop = D3DDISPLAYMODE{800, 600, 75, D3DFMT_R5G6B5};
    PlatformTest_D3d9SetAdapters({first, second});
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    // The object keeps the table it was made with.
    PlatformTest_D3d9SetAdapters({first});
    EXPECT_EQ(d3d->GetAdapterCount(), 2u);
    D3DCAPS9 caps;
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_NOTAVAILABLE);
    ASSERT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_REF, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(caps.AdapterOrdinal, 1u);
    EXPECT_EQ(caps.PixelShaderVersion, static_cast<DWORD>(D3DPS_VERSION(1, 4)));
    EXPECT_EQ(d3d->GetDeviceCaps(2, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(d3d->Release(), 0u);
    PlatformTest_D3d9Reset();
}

// ---- CreateDevice -----------------------------------------------------------------------

TEST_F(D3d9Test, CreateDeviceChecksItsArguments) {
    struct Row {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&);
        HRESULT expected;
    };
    const Row rows[] = {
        {"windowed", [](D3DPRESENT_PARAMETERS&) {}, D3D_OK},
        {"full screen", [](D3DPRESENT_PARAMETERS& p) { p = FullScreen(); }, D3D_OK},
        {"swap effect 0", [](D3DPRESENT_PARAMETERS& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(0); },
         D3DERR_INVALIDCALL},
        {"overlay", [](D3DPRESENT_PARAMETERS& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(4); }, D3DERR_INVALIDCALL},
        {"flip", [](D3DPRESENT_PARAMETERS& p) { p.SwapEffect = D3DSWAPEFFECT_FLIP; }, D3D_OK},
        {"copy with 2 buffers",
         [](D3DPRESENT_PARAMETERS& p) {
             p.SwapEffect = D3DSWAPEFFECT_COPY;
             p.BackBufferCount = 2;
         },
         D3DERR_INVALIDCALL},
        {"3 buffers", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferCount = 3; }, D3D_OK},
        {"4 buffers", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferCount = 4; }, D3DERR_INVALIDCALL},
        {"multisample with flip",
         [](D3DPRESENT_PARAMETERS& p) {
             p.SwapEffect = D3DSWAPEFFECT_FLIP;
             p.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
         },
         D3DERR_INVALIDCALL},
        {"multisample discard", [](D3DPRESENT_PARAMETERS& p) { p.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES; }, D3D_OK},
        {"quality = levels",
         [](D3DPRESENT_PARAMETERS& p) {
             p.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
             p.MultiSampleQuality = 1;
         },
         D3DERR_INVALIDCALL},
        {"windowed R5G6B5 on an X8R8G8B8 desktop", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_R5G6B5; },
         D3DERR_INVALIDCALL},
        {"windowed A8R8G8B8", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_A8R8G8B8; }, D3D_OK},
        {"windowed refresh rate", [](D3DPRESENT_PARAMETERS& p) { p.FullScreen_RefreshRateInHz = 60; },
         D3DERR_INVALIDCALL},
        {"windowed interval two", [](D3DPRESENT_PARAMETERS& p) { p.PresentationInterval = D3DPRESENT_INTERVAL_TWO; },
         D3DERR_INVALIDCALL},
        {"full screen 801x600", [](D3DPRESENT_PARAMETERS& p) { p = FullScreen(801, 600); }, D3DERR_INVALIDCALL},
        {"full screen 0x0", [](D3DPRESENT_PARAMETERS& p) { p = FullScreen(0, 0); }, D3DERR_INVALIDCALL},
        {"full screen 85 Hz",
         [](D3DPRESENT_PARAMETERS& p) {
             p = FullScreen();
             p.FullScreen_RefreshRateInHz = 85;
         },
         D3DERR_INVALIDCALL},
        {"full screen R5G6B5 75 Hz",
         [](D3DPRESENT_PARAMETERS& p) {
             p = FullScreen(640, 480);
             p.BackBufferFormat = D3DFMT_R5G6B5;
             p.FullScreen_RefreshRateInHz = 75;
         },
         D3D_OK},
        {"depth D32", [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_D32; }, D3DERR_INVALIDCALL},
        {"depth a colour format", [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; },
         D3DERR_INVALIDCALL},
        {"no window",
         [](D3DPRESENT_PARAMETERS& p) {
             p.hDeviceWindow = nullptr;
             p.BackBufferWidth = 0;
         },
         D3DERR_INVALIDCALL},
    };
    for (const Row& r : rows) {
        D3DPRESENT_PARAMETERS p = Windowed();
        r.change(p);
        IDirect3DDevice9* made = nullptr;
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &made),
                  r.expected)
            << r.what;
        EXPECT_EQ(made != nullptr, r.expected == D3D_OK) << r.what;
        if (made) {
            EXPECT_EQ(made->Release(), 0u) << r.what;
        }
    }
}

TEST_F(D3d9Test, CreateDeviceChecksBehaviourFlagsAndPointers) {
    D3DPRESENT_PARAMETERS p = Windowed();
    IDirect3DDevice9* made = reinterpret_cast<IDirect3DDevice9*>(1);
    const DWORD bad[] = {0, D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING,
                         D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING,
                         D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE};
    for (DWORD flags : bad) {
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, flags, &p, &made), D3DERR_INVALIDCALL) << flags;
        EXPECT_EQ(made, nullptr);
    }
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, nullptr, &made),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &made),
              D3DERR_NOTAVAILABLE);
    // Without hardware transform and lighting only software processing is possible.
    PlatformTestD3d9Adapter plain = PlatformTest_D3d9DefaultAdapter();
    plain.devices[D3DDEVTYPE_HAL].DevCaps &= ~static_cast<DWORD>(D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE);
    PlatformTest_D3d9SetAdapters({plain});
    IDirect3D9* old = Direct3DCreate9(D3D_SDK_VERSION);
    EXPECT_EQ(old->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_MIXED_VERTEXPROCESSING, &p, &made),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(old->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &made), D3D_OK);
    EXPECT_EQ(made->GetSoftwareVertexProcessing(), TRUE);
    EXPECT_EQ(made->SetSoftwareVertexProcessing(FALSE), D3DERR_INVALIDCALL);  // not a mixed device
    EXPECT_EQ(made->Release(), 0u);
    EXPECT_EQ(old->Release(), 0u);
}

TEST_F(D3d9Test, AWindowedSwapChainOfSizeZeroNeedsTheWindowsSize) {
    // The client size comes from the window layer; a window it does not know is refused.
    D3DPRESENT_PARAMETERS p = Windowed(0, 0);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    // A count of 0 means one buffer, and an unknown format the desktop's; both are written back.
    p = Windowed();
    p.BackBufferCount = 0;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device), D3D_OK);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 320u);
    EXPECT_EQ(desc.Height, 240u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    back->Release();
    IDirect3DSurface9* none = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    IDirect3DSwapChain9* chain = reinterpret_cast<IDirect3DSwapChain9*>(1);
    EXPECT_EQ(device->GetSwapChain(1, &chain), D3DERR_INVALIDCALL);
    EXPECT_EQ(chain, nullptr);
    ASSERT_EQ(device->GetSwapChain(0, &chain), D3D_OK);
    D3DPRESENT_PARAMETERS reported;
    ASSERT_EQ(chain->GetPresentParameters(&reported), D3D_OK);
    EXPECT_EQ(reported.BackBufferCount, 1u);
    EXPECT_EQ(reported.hDeviceWindow, kWindow);
    chain->Release();
}

// ---- states -----------------------------------------------------------------------------

TEST_F(D3d9Test, StatesStartAtTheRuntimesDefaults) {
    CreateOrFail();
    struct Row {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Row rows[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},           {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},   {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},         {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},      {D3DRS_FOGENABLE, FALSE},
        {D3DRS_FOGEND, Bits(1.0f)},            {D3DRS_FOGDENSITY, Bits(1.0f)},
        {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},    {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},     {D3DRS_CLIPPING, TRUE},
        {D3DRS_LIGHTING, TRUE},                {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_LOCALVIEWER, TRUE},             {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2}, {D3DRS_POINTSIZE_MIN, Bits(1.0f)},
        {D3DRS_POINTSIZE_MAX, Bits(64.0f)},    {D3DRS_POINTSCALE_A, Bits(1.0f)},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE},    {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},       {D3DRS_ADAPTIVETESS_Z, Bits(1.0f)},
        {D3DRS_BLENDFACTOR, 0xFFFFFFFF},       {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
        {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO}, {D3DRS_WRAP15, 0},
    };
    for (const Row& r : rows) {
        DWORD value = 0x12345678;
        ASSERT_EQ(device->GetRenderState(r.state, &value), D3D_OK) << r.state;
        EXPECT_EQ(value, r.value) << r.state;
    }
    DWORD value = 0;
    for (DWORD stage = 0; stage < 8; ++stage) {
        device->GetTextureStageState(stage, D3DTSS_COLOROP, &value);
        EXPECT_EQ(value, static_cast<DWORD>(stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE));
        device->GetTextureStageState(stage, D3DTSS_ALPHAOP, &value);
        EXPECT_EQ(value, static_cast<DWORD>(stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE));
        device->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &value);
        EXPECT_EQ(value, stage);
        device->GetTextureStageState(stage, D3DTSS_COLORARG1, &value);
        EXPECT_EQ(value, static_cast<DWORD>(D3DTA_TEXTURE));
    }
    for (DWORD sampler : {0ul, 15ul, static_cast<unsigned long>(D3DDMAPSAMPLER),
                          static_cast<unsigned long>(D3DVERTEXTEXTURESAMPLER3)}) {
        device->GetSamplerState(sampler, D3DSAMP_ADDRESSU, &value);
        EXPECT_EQ(value, static_cast<DWORD>(D3DTADDRESS_WRAP)) << sampler;
        device->GetSamplerState(sampler, D3DSAMP_MAXANISOTROPY, &value);
        EXPECT_EQ(value, 1u) << sampler;
    }
    D3DMATRIX m;
    for (DWORD t : {2ul, 3ul, 16ul, 23ul, 256ul, 511ul}) {
        ASSERT_EQ(device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(t), &m), D3D_OK) << t;
        EXPECT_EQ(m._11, 1.0f);
        EXPECT_EQ(m._12, 0.0f);
        EXPECT_EQ(m._44, 1.0f);
    }
    EXPECT_EQ(device->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), &m), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 320u);
    EXPECT_EQ(vp.Height, 240u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    RECT scissor;
    device->GetScissorRect(&scissor);
    EXPECT_EQ(scissor.right, 320);
    EXPECT_EQ(scissor.bottom, 240);
}

TEST_F(D3d9Test, StatesAreKeptAndOutOfRangeIndicesHandledAsTheRuntimeDoes) {
    CreateOrFail();
    DWORD value = 0;
    EXPECT_EQ(device->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
    device->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1), D3DERR_INVALIDCALL);
    // Samplers and stages the device does not keep are taken without complaint.
    EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3D_OK);
    EXPECT_EQ(device->GetSamplerState(16, D3DSAMP_MAGFILTER, &value), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
    device->GetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_LINEAR));
    EXPECT_EQ(device->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetMaterial(nullptr), D3DERR_INVALIDCALL);
    // Lights: enabling one never set makes the default directional light.
    D3DLIGHT9 light;
    EXPECT_EQ(device->GetLight(3, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->LightEnable(3, TRUE), D3D_OK);
    ASSERT_EQ(device->GetLight(3, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Direction.z, 1.0f);
    BOOL enabled = FALSE;
    device->GetLightEnable(3, &enabled);
    EXPECT_TRUE(enabled);
    light.Type = static_cast<D3DLIGHTTYPE>(0);
    EXPECT_EQ(device->SetLight(0, &light), D3DERR_INVALIDCALL);
    const float plane[4] = {1, 0, 0, 0};
    EXPECT_EQ(device->SetClipPlane(5, plane), D3D_OK);
    EXPECT_EQ(device->SetClipPlane(6, plane), D3DERR_INVALIDCALL);  // MaxUserClipPlanes is 6
    D3DGAMMARAMP ramp;
    device->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.red[255], 0xFFFF);
    EXPECT_EQ(ramp.green[1], 257);
}

TEST_F(D3d9Test, EveryStageWithATextureIsValidatedForItsFilters) {
    // An unfiltered sampler without a texture samples nothing; with one, on any stage,
    // the device refuses it and leaves the pass count alone.
    CreateOrFail();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    device->SetSamplerState(3, D3DSAMP_MAGFILTER, D3DTEXF_NONE);
    DWORD passes = 0;
    EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(passes, 1u);
    device->SetTexture(3, t);
    passes = 7;
    EXPECT_EQ(device->ValidateDevice(&passes), D3DERR_UNSUPPORTEDTEXTUREFILTER);
    EXPECT_EQ(passes, 7u);
    device->SetSamplerState(3, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(device->ValidateDevice(nullptr), D3DERR_INVALIDCALL);
    device->SetTexture(3, nullptr);
    t->Release();
}

TEST_F(D3d9Test, AFullScreenDeviceTakesACalibratedGammaRampAsGiven) {
    ASSERT_EQ(Create(FullScreen(800, 600)), D3D_OK);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(device->GetDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 800u);
    EXPECT_EQ(mode.Height, 600u);
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
        ramp.red[i] = static_cast<WORD>(std::min(65535, 20000 + 256 * i));
        ramp.green[i] = static_cast<WORD>(256 * i);
        ramp.blue[i] = static_cast<WORD>(i);
    }
    PlatformTest_D3d9ClearCallLog();
    device->SetGammaRamp(0, D3DSGR_CALIBRATE, &ramp);
    device->SetGammaRamp(1, D3DSGR_CALIBRATE, &ramp);  // no such swap chain: ignored
    device->SetGammaRamp(0, D3DSGR_CALIBRATE, nullptr);
    EXPECT_EQ(PlatformTest_D3d9CallLog(), (std::vector<std::string>{"SetGammaRamp(0x1)"}));
    D3DGAMMARAMP read{};
    device->GetGammaRamp(0, &read);
    EXPECT_EQ(memcmp(&read, &ramp, sizeof ramp), 0);
    EXPECT_EQ(read.red[178], 65535);
}

TEST_F(D3d9Test, APureDeviceAnswersNoGetCalls) {
    CreateOrFail(D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    DWORD value = 0;
    EXPECT_EQ(device->SetRenderState(D3DRS_LIGHTING, FALSE), D3D_OK);
    EXPECT_EQ(device->GetRenderState(D3DRS_LIGHTING, &value), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetSamplerState(0, D3DSAMP_MAGFILTER, &value), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_COLOROP, &value), D3DERR_INVALIDCALL);
    D3DMATRIX m;
    EXPECT_EQ(device->GetTransform(D3DTS_VIEW, &m), D3DERR_INVALIDCALL);
    D3DMATERIAL9 material;
    EXPECT_EQ(device->GetMaterial(&material), D3DERR_INVALIDCALL);
    float constants[4];
    EXPECT_EQ(device->GetVertexShaderConstantF(0, constants, 1), D3DERR_INVALIDCALL);
    // The test interface still sees what was set.
    ASSERT_TRUE(PlatformTest_D3d9RenderState(device, D3DRS_LIGHTING, &value));
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(device->SetSoftwareVertexProcessing(TRUE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetSoftwareVertexProcessing(), FALSE);
}

TEST_F(D3d9Test, OnlyAMixedDeviceSwitchesVertexProcessing) {
    CreateOrFail(D3DCREATE_MIXED_VERTEXPROCESSING);
    EXPECT_EQ(device->GetSoftwareVertexProcessing(), FALSE);
    EXPECT_EQ(device->SetSoftwareVertexProcessing(TRUE), D3D_OK);
    EXPECT_EQ(device->GetSoftwareVertexProcessing(), TRUE);
}

// ---- declarations -------------------------------------------------------------------------

TEST_F(D3d9Test, DeclarationsAreCheckedAsTheRuntimeChecksThem) {
    CreateOrFail();
    struct Row {
        const char* what;
        std::vector<D3DVERTEXELEMENT9> elements;
        HRESULT expected;
    };
    const D3DVERTEXELEMENT9 end = D3DDECL_END();
    auto el = [](WORD stream, WORD offset, BYTE type, BYTE usage, BYTE index = 0) {
        return D3DVERTEXELEMENT9{stream, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
    };
    const Row rows[] = {
        {"colour at 16", {el(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), el(0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), end}, D3D_OK},
        {"colour at 17", {el(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), el(0, 17, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), end}, E_FAIL},
        {"colour at 18", {el(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), el(0, 18, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), end}, E_FAIL},
        {"colour at 19", {el(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), el(0, 19, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), end}, E_FAIL},
        {"colour at 20", {el(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), el(0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), end}, D3D_OK},
        {"stream 15", {el(15, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), end}, D3D_OK},
        {"stream 16", {el(16, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), end}, E_FAIL},
        {"same usage twice", {el(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), el(1, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), end}, E_FAIL},
        {"same usage, other index", {el(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD), el(0, 8, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1), end}, D3D_OK},
        {"an unused element", {el(0, 0, D3DDECLTYPE_UNUSED, D3DDECLUSAGE_POSITION), end}, E_FAIL},
        {"type 18", {el(0, 0, 18, D3DDECLUSAGE_POSITION), end}, E_FAIL},
        {"usage index 16", {el(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 16), end}, E_FAIL},
        {"only the end", {end}, D3D_OK},
    };
    for (const Row& r : rows) {
        IDirect3DVertexDeclaration9* decl = nullptr;
        EXPECT_EQ(device->CreateVertexDeclaration(r.elements.data(), &decl), r.expected) << r.what;
        if (!decl) continue;
        UINT count = 99;
        ASSERT_EQ(decl->GetDeclaration(nullptr, &count), D3D_OK);
        EXPECT_EQ(count, r.elements.size()) << r.what;
        std::vector<D3DVERTEXELEMENT9> back(count);
        decl->GetDeclaration(back.data(), &count);
        EXPECT_EQ(memcmp(back.data(), r.elements.data(), count * sizeof back[0]), 0) << r.what;
        decl->Release();
    }
    // No end marker within the longest declaration: refused, nothing read past it.
    std::vector<D3DVERTEXELEMENT9> endless;
    for (BYTE i = 0; i < MAXD3DDECLLENGTH; ++i)
        endless.push_back(el(0, static_cast<WORD>(i * 4), D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD, i));
    IDirect3DVertexDeclaration9* decl = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(endless.data(), &decl), E_FAIL);
    EXPECT_EQ(device->CreateVertexDeclaration(nullptr, &decl), D3DERR_INVALIDCALL);
}

TEST_F(D3d9Test, SetFVFBuildsOneDeclarationPerCode) {
    CreateOrFail();
    IDirect3DVertexDeclaration9* first = nullptr;
    IDirect3DVertexDeclaration9* again = nullptr;
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW), D3D_OK);
    device->GetVertexDeclaration(&first);
    ASSERT_NE(first, nullptr);
    device->SetFVF(D3DFVF_NORMAL | D3DFVF_XYZ);
    device->SetFVF(0);  // changes nothing
    DWORD fvf = 0;
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_NORMAL | D3DFVF_XYZ));
    device->SetFVF(D3DFVF_XYZRHW);
    device->GetVertexDeclaration(&again);
    EXPECT_EQ(first, again);
    again->Release();
    first->Release();
    // A declaration's own FVF code is what GetFVF reports while it is set.
    const D3DVERTEXELEMENT9 position[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(position, &decl), D3D_OK);
    device->SetVertexDeclaration(decl);
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_XYZ));
    device->SetVertexDeclaration(nullptr);
    decl->Release();
}

// ---- reference counts ----------------------------------------------------------------------

TEST_F(D3d9Test, ReferenceCountsAreTheRuntimes) {
    EXPECT_EQ(PlatformTest_D3d9RefCount(d3d), 1u);
    CreateOrFail();
    EXPECT_EQ(PlatformTest_D3d9RefCount(d3d), 2u);  // the device holds its Direct3D object
    EXPECT_EQ(PlatformTest_D3d9RefCount(device), 1u);
    IDirect3DVertexBuffer9* vb = Buffer(64);
    EXPECT_EQ(PlatformTest_D3d9RefCount(device), 2u);  // a resource holds its device
    IDirect3DDevice9* same = nullptr;
    ASSERT_EQ(vb->GetDevice(&same), D3D_OK);
    EXPECT_EQ(same, device);
    EXPECT_EQ(same->Release(), 2u);
    // Binding does not change what the program sees; a Get hands out a reference.
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, 16), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(vb), 1u);
    IDirect3DVertexBuffer9* bound = nullptr;
    UINT offset = 9, stride = 9;
    ASSERT_EQ(device->GetStreamSource(0, &bound, &offset, &stride), D3D_OK);
    EXPECT_EQ(bound, vb);
    EXPECT_EQ(stride, 16u);
    EXPECT_EQ(bound->Release(), 1u);
    // Released by the program while bound: the device still holds it, not the device.
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(PlatformTest_D3d9RefCount(device), 1u);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 1);
    ASSERT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 0);
    // Unbinding keeps the offset and stride.
    device->GetStreamSource(0, &bound, &offset, &stride);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(stride, 16u);
    // QueryInterface answers IUnknown and the object's own interfaces only.
    IUnknown* unknown = nullptr;
    EXPECT_EQ(device->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, device);
    unknown->Release();
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(device->QueryInterface(IID_IDirect3D9, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    IDirect3D9* parent = nullptr;
    ASSERT_EQ(device->GetDirect3D(&parent), D3D_OK);
    EXPECT_EQ(parent, d3d);
    EXPECT_EQ(parent->Release(), 2u);
}

TEST_F(D3d9Test, ADeviceReleasedLastTakesItsBoundObjectsWithIt) {
    CreateOrFail();
    IDirect3DVertexBuffer9* vb = Buffer(64);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    device->SetStreamSource(0, vb, 0, 16);
    device->SetIndices(ib);
    vb->Release();
    ib->Release();
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::IndexBuffer), 1);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::IndexBuffer), 0);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::SwapChain), 0);
    EXPECT_EQ(PlatformTest_D3d9RefCount(d3d), 1u);
}

// ---- loss and reset -------------------------------------------------------------------------

TEST_F(D3d9Test, ResetWaitsForEveryDefaultPoolObject) {
    CreateOrFail();
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    IDirect3DVertexBuffer9* defaultBuffer = Buffer(64);
    IDirect3DVertexBuffer9* systemBuffer = Buffer(64, D3DPOOL_SYSTEMMEM);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DPRESENT_PARAMETERS p = Windowed(200, 100);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    // A refused reset leaves the device waiting for one, lost or not.
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    defaultBuffer->Release();
    // So does the back buffer the program holds, and a render target it made.
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    back->Release();
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(64, 64, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              D3D_OK);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    // Bound and released by the program: the device's hold does not count.
    device->SetRenderTarget(1, target);
    target->Release();
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 1);  // the system-memory one
    DWORD lighting = FALSE;
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, static_cast<DWORD>(TRUE));
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 200u);
    EXPECT_EQ(vp.Height, 100u);
    IDirect3DSurface9* none = nullptr;
    EXPECT_EQ(device->GetRenderTarget(1, &none), D3DERR_NOTFOUND);
    EXPECT_EQ(none, nullptr);
    systemBuffer->Release();
    // Without automatic depth the reset leaves no depth buffer.
    p.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
}

TEST_F(D3d9Test, ALostDeviceIsResetOnlyWhenTheTestAllowsIt) {
    CreateOrFail();
    PlatformTest_D3d9LoseDevice(device);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS p = Windowed();
    EXPECT_EQ(device->Reset(&p), D3DERR_DEVICELOST);
    // Drawing goes on quietly while lost.
    device->SetFVF(D3DFVF_XYZ);
    const float vertices[9] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 12), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9DrawCount(), 0u);
    PlatformTest_D3d9AllowReset(nullptr);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    p.BackBufferWidth = 32;  // a bad full-screen mode fails and keeps it waiting
    p.Windowed = FALSE;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    p = Windowed();
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9PresentCount(), 1u);
}

// ---- focus: a full-screen device and its program's place in front ----------------------------

namespace {

// What a window heard of the screen and the foreground, and what the device answered then.
struct Heard {
    HWND window;
    UINT message;
    WPARAM wParam;
    HRESULT cooperative;
    bool operator==(const Heard&) const = default;
};

IDirect3DDevice9* g_watchedDevice = nullptr;
std::vector<Heard> g_heard;

LRESULT CALLBACK HearingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DISPLAYCHANGE:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_SIZE:
    case WM_ACTIVATEAPP: {
        const HRESULT cooperative = g_watchedDevice ? g_watchedDevice->TestCooperativeLevel() : D3D_OK;
        g_heard.push_back({window, message, message == WM_SIZE || message == WM_ACTIVATEAPP ? wParam : 0, cooperative});
        break;
    }
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A device window, and the focus window over it that the program is working in.
class D3d9FocusTest : public D3d9Test {
protected:
    void SetUp() override {
        D3d9Test::SetUp();
        PlatformTest_ResetWindows();
        g_heard.clear();
        WNDCLASSA c{};
        c.lpfnWndProc = HearingProc;
        c.lpszClassName = "D3d9FocusTest";
        ASSERT_NE(RegisterClassA(&c), 0);
        deviceWindow = Make();
        focusWindow = Make();
        ASSERT_EQ(GetForegroundWindow(), focusWindow);
    }
    void TearDown() override {
        g_watchedDevice = nullptr;
        D3d9Test::TearDown();
        PlatformTest_ResetWindows();
    }
    HWND Make(DWORD style = WS_POPUP | WS_VISIBLE) {
        return CreateWindowExA(0, "D3d9FocusTest", "", style, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    }
    // A window of another program, not yet shown.
    HWND Other() {
        HWND other = Make(WS_POPUP);
        PlatformTest_MarkOtherProgram(other);
        return other;
    }
    void CreateOn(D3DPRESENT_PARAMETERS p) {
        p.hDeviceWindow = deviceWindow;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, focusWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
        g_watchedDevice = device;
        g_heard.clear();
    }
    // The device window's share of the screen's messages and the focus window's share of the
    // foreground's.
    static std::vector<Heard> Told(HWND deviceWindow, HWND focusWindow) {
        std::vector<Heard> told;
        for (const Heard& h : g_heard)
            if ((h.window == deviceWindow && h.message != WM_ACTIVATEAPP) ||
                (h.window == focusWindow && h.message == WM_ACTIVATEAPP))
                told.push_back(h);
        return told;
    }
    HRESULT Present() { return device->Present(nullptr, nullptr, nullptr, nullptr); }

    HWND deviceWindow = nullptr;
    HWND focusWindow = nullptr;
};

}  // namespace

TEST_F(D3d9FocusTest, AFullScreenDeviceIsLostWithTheForegroundAndWaitsForAResetWhenItIsBack) {
    ASSERT_NO_FATAL_FAILURE(CreateOn(FullScreen()));
    HWND other = Other();
    ASSERT_TRUE(SetForegroundWindow(other));
    const std::vector<Heard> lost{{deviceWindow, WM_DISPLAYCHANGE, 0, D3DERR_DEVICENOTRESET},
                                  {deviceWindow, WM_WINDOWPOSCHANGING, 0, D3DERR_DEVICENOTRESET},
                                  {deviceWindow, WM_WINDOWPOSCHANGED, 0, D3DERR_DEVICENOTRESET},
                                  {deviceWindow, WM_SIZE, SIZE_MINIMIZED, D3DERR_DEVICENOTRESET},
                                  {focusWindow, WM_ACTIVATEAPP, FALSE, D3DERR_DEVICELOST}};
    EXPECT_EQ(Told(deviceWindow, focusWindow), lost);
    EXPECT_TRUE(IsIconic(deviceWindow));
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(Present(), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS p = FullScreen();
    p.hDeviceWindow = deviceWindow;
    EXPECT_EQ(device->Reset(&p), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);

    g_heard.clear();
    ASSERT_TRUE(SetForegroundWindow(focusWindow));
    const std::vector<Heard> back = Told(deviceWindow, focusWindow);
    ASSERT_FALSE(back.empty());
    EXPECT_EQ(back.front(), (Heard{deviceWindow, WM_DISPLAYCHANGE, 0, D3DERR_DEVICENOTRESET}));
    EXPECT_EQ(back.back(), (Heard{focusWindow, WM_ACTIVATEAPP, TRUE, D3DERR_DEVICENOTRESET}));
    EXPECT_FALSE(IsIconic(deviceWindow));
    EXPECT_EQ(Present(), D3DERR_DEVICELOST);
    // The default pool must still be emptied first.
    IDirect3DVertexBuffer9* buffer = Buffer(64);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    buffer->Release();
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(Present(), D3D_OK);
}

TEST_F(D3d9FocusTest, EveryWayOfGivingTheForegroundToAnotherProgramLosesAFullScreenDevice) {
    ASSERT_NO_FATAL_FAILURE(CreateOn(FullScreen()));
    D3DPRESENT_PARAMETERS p = FullScreen();
    p.hDeviceWindow = deviceWindow;
    const struct {
        const char* way;
        void (*giveAway)(HWND other);
    } ways[] = {
        {"SetForegroundWindow", [](HWND other) { SetForegroundWindow(other); }},
        {"SetActiveWindow", [](HWND other) { SetActiveWindow(other); }},
        {"a new window shown in front", [](HWND other) { ShowWindow(other, SW_SHOW); }},
        {"the desktop", [](HWND) { SetForegroundWindow(GetDesktopWindow()); }},
    };
    for (const auto& way : ways) {
        way.giveAway(Other());
        EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST) << way.way;
        EXPECT_EQ(Present(), D3DERR_DEVICELOST) << way.way;
        EXPECT_EQ(GetActiveWindow(), nullptr) << way.way;
        SetForegroundWindow(focusWindow);
        EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << way.way;
        EXPECT_EQ(device->Reset(&p), D3D_OK) << way.way;
        EXPECT_EQ(Present(), D3D_OK) << way.way;
    }
}

TEST_F(D3d9FocusTest, AnotherWindowOfTheSameProgramInFrontLosesNothing) {
    ASSERT_NO_FATAL_FAILURE(CreateOn(FullScreen()));
    HWND dialog = Make();
    EXPECT_EQ(GetActiveWindow(), dialog);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(Present(), D3D_OK);
    EXPECT_FALSE(IsIconic(deviceWindow));
}

TEST_F(D3d9FocusTest, AWindowedDeviceIsNotLostWithTheForeground) {
    ASSERT_NO_FATAL_FAILURE(CreateOn(Windowed()));
    ASSERT_TRUE(SetForegroundWindow(Other()));
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(Present(), D3D_OK);
    EXPECT_FALSE(IsIconic(deviceWindow));
    for (const Heard& h : g_heard) EXPECT_NE(h.message, static_cast<UINT>(WM_DISPLAYCHANGE));
    ASSERT_TRUE(SetForegroundWindow(focusWindow));
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(Present(), D3D_OK);
}

TEST_F(D3d9FocusTest, ADeviceTheTestLostStaysLostWhenTheForegroundComesBack) {
    ASSERT_NO_FATAL_FAILURE(CreateOn(FullScreen()));
    PlatformTest_D3d9LoseDevice(device);
    SetForegroundWindow(Other());
    SetForegroundWindow(focusWindow);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    PlatformTest_D3d9AllowReset(device);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
}

// ---- armed failures and the call log -------------------------------------------------------

TEST_F(D3d9Test, TheNthCallOfAMethodFailsWhenArmed) {
    CreateOrFail();
    PlatformTest_D3d9FailCall("CreateVertexBuffer", 2, E_OUTOFMEMORY);
    IDirect3DVertexBuffer9* vb[3] = {};
    EXPECT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, &vb[0], nullptr), D3D_OK);
    EXPECT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, &vb[1], nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(vb[1], nullptr);
    EXPECT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, &vb[2], nullptr), D3D_OK);
    for (IDirect3DVertexBuffer9* b : vb)
        if (b) b->Release();
    PlatformTest_D3d9FailCall("Present", 1, D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    PlatformTest_D3d9FailCall("CreateDevice", 1, D3DERR_NOTAVAILABLE);
    IDirect3DDevice9* second = nullptr;
    D3DPRESENT_PARAMETERS p = Windowed();
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &second),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(second, nullptr);
}

TEST_F(D3d9Test, TheCallLogKeepsTheOrderOfWhatReachedTheDevice) {
    CreateOrFail();
    IDirect3DVertexBuffer9* vb = Buffer(3 * 12);
    PlatformTest_D3d9ClearCallLog();
    device->BeginScene();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetFVF(D3DFVF_XYZ);
    device->SetStreamSource(0, vb, 0, 12);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1);  // one vertex past the buffer
    device->SetTransform(D3DTS_WORLD, nullptr);
    device->EndScene();
    const std::vector<std::string> expected = {
        "BeginScene()",
        "SetRenderState(7, 0)",
        "SetFVF(0x2)",
        "SetStreamSource(0, " + Number(vb) + ", 0, 12)",
        "DrawPrimitive(4, 0, 1)",
        "DrawPrimitive(4, 1, 1) -> failed",
        "SetTransform(256) -> failed",
        "EndScene()",
    };
    EXPECT_EQ(PlatformTest_D3d9CallLog(), expected);
    EXPECT_EQ(PlatformTest_D3d9DrawCount(), 1u);
    // Recording off: nothing is logged, draws are still counted.
    PlatformTest_D3d9ClearCallLog();
    PlatformTest_D3d9SetRecording(false);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    EXPECT_TRUE(PlatformTest_D3d9CallLog().empty());
    EXPECT_EQ(PlatformTest_D3d9DrawCount(), 2u);
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(D3d9Test, ScenesDoNotNest) {
    CreateOrFail();
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    device->SetDepthStencilSurface(nullptr);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

// ---- buffers and draws -----------------------------------------------------------------------

TEST_F(D3d9Test, BufferLocksStayWithinTheBuffer) {
    CreateOrFail();
    IDirect3DVertexBuffer9* vb = Buffer(100, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    void* whole = nullptr;
    void* part = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &whole, D3DLOCK_DISCARD), D3D_OK);
    memset(whole, 0xAB, 100);
    ASSERT_EQ(vb->Lock(40, 60, &part, D3DLOCK_NOOVERWRITE), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part) - static_cast<uint8_t*>(whole), 40);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(40, 61, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(part, nullptr);
    EXPECT_EQ(vb->Lock(101, 0, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, &part, D3DLOCK_READONLY | D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, &part, 0xdeadbeef), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    // The contents survive a discarding lock.
    ASSERT_EQ(vb->Lock(0, 0, &part, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part)[99], 0xAB);
    vb->Unlock();
    D3DVERTEXBUFFER_DESC desc;
    ASSERT_EQ(vb->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 100u);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY));
    EXPECT_EQ(desc.Type, D3DRTYPE_VERTEXBUFFER);
    vb->Release();
    // A discarding lock of a static buffer is accepted, as the runtime does, with a warning.
    IDirect3DVertexBuffer9* still = Buffer(64, D3DPOOL_DEFAULT, 0);
    PlatformTest_D3d9ClearCallLog();
    ASSERT_EQ(still->Lock(0, 0, &part, D3DLOCK_DISCARD), D3D_OK);
    still->Unlock();
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Warning: D3DLOCK_DISCARD without D3DUSAGE_DYNAMIC", 0), 0u) << log[0];
    still->Release();
    IDirect3DVertexBuffer9* bad = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &bad, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(8, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &bad, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(8, D3DUSAGE_DYNAMIC, 0, D3DPOOL_MANAGED, &bad, nullptr), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(8, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &ib, nullptr), D3DERR_INVALIDCALL);
    for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM}) {
        ASSERT_EQ(device->CreateIndexBuffer(8, 0, D3DFMT_INDEX32, pool, &ib, nullptr), D3D_OK) << pool;
        D3DINDEXBUFFER_DESC ibDesc;
        ib->GetDesc(&ibDesc);
        EXPECT_EQ(ibDesc.Pool, pool);
        EXPECT_EQ(ibDesc.Format, D3DFMT_INDEX32);
        ib->Release();
    }
}

TEST_F(D3d9Test, DrawsAreCheckedAgainstTheBoundData) {
    CreateOrFail();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // nothing declared
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);                                        // 16 bytes
    IDirect3DVertexBuffer9* vb = Buffer(4 * 16 + 8);
    device->SetStreamSource(0, vb, 8, 16);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(7), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0), D3D_OK);  // nothing to draw
    // Indexed: no index buffer, then indices past the buffer, out of the named range, and
    // a range past the vertices.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    WORD* indices = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<void**>(&indices), 0), D3D_OK);
    const WORD quad[6] = {0, 1, 2, 2, 1, 3};
    memcpy(indices, quad, sizeof quad);
    ib->Unlock();
    device->SetIndices(ib);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    // A declared stream nobody bound is not read.
    device->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    // The program's own memory draws, then stream 0 and the indices are unset.
    device->SetStreamSource(0, vb, 0, 16);
    const float vertices[3][4] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 16), D3D_OK);
    IDirect3DVertexBuffer9* stream = reinterpret_cast<IDirect3DVertexBuffer9*>(1);
    UINT offset = 9, stride = 9;
    device->GetStreamSource(0, &stream, &offset, &stride);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(stride, 0u);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, quad, D3DFMT_INDEX16, vertices, 16), D3D_OK);
    IDirect3DIndexBuffer9* boundIndices = reinterpret_cast<IDirect3DIndexBuffer9*>(1);
    device->GetIndices(&boundIndices);
    EXPECT_EQ(boundIndices, nullptr);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 2, 1, quad, D3DFMT_INDEX16, vertices, 16),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(PlatformTest_D3d9DrawCount(), 5u);
    ib->Release();
    vb->Release();
}

// ---- render targets and viewports ----------------------------------------------------------

TEST_F(D3d9Test, RenderTargetsBringTheirViewport) {
    CreateOrFail();
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(128, 64, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              D3D_OK);
    D3DVIEWPORT9 vp{10, 20, 100, 100, 0.2f, 0.8f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
    device->GetViewport(&vp);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, 128u);
    EXPECT_EQ(vp.Height, 64u);
    EXPECT_EQ(vp.MinZ, 0.0f);
    D3DVIEWPORT9 tooBig{0, 0, 129, 64, 0, 1};
    EXPECT_EQ(device->SetViewport(&tooBig), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(4, target), D3DERR_INVALIDCALL);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->CreateDepthStencilSurface(128, 64, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
              D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(1, depth), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetDepthStencilSurface(target), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    IDirect3DSurface9* bad = nullptr;
    EXPECT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE, &bad, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateDepthStencilSurface(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &bad, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_2_SAMPLES, 1, FALSE, &bad, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad, nullptr),
              D3DERR_INVALIDCALL);
    IDirect3DSurface9* current = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &current), D3D_OK);
    EXPECT_EQ(current, target);
    current->Release();
    target->Release();
    depth->Release();
}

// ---- queries -------------------------------------------------------------------------------

TEST_F(D3d9Test, OcclusionQueriesAnswerWhatTheTestScripts) {
    CreateOrFail();
    EXPECT_EQ(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, nullptr), D3D_OK);  // the probe
    EXPECT_EQ(device->CreateQuery(D3DQUERYTYPE_VCACHE, nullptr), D3DERR_NOTAVAILABLE);
    IDirect3DQuery9* untouched = reinterpret_cast<IDirect3DQuery9*>(1);
    EXPECT_EQ(device->CreateQuery(static_cast<D3DQUERYTYPE>(30), &untouched), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(untouched, reinterpret_cast<IDirect3DQuery9*>(1));
    IDirect3DQuery9* query = nullptr;
    ASSERT_EQ(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, &query), D3D_OK);
    EXPECT_EQ(query->GetDataSize(), 4u);
    DWORD pixels = 77;
    EXPECT_EQ(query->GetData(&pixels, 4, D3DGETDATA_FLUSH), S_OK);  // never issued
    EXPECT_EQ(pixels, 77u);
    PlatformTest_D3d9ScriptOcclusion({{1234, 2}, {0, 0}});
    query->Issue(D3DISSUE_BEGIN);
    query->Issue(D3DISSUE_END);
    EXPECT_EQ(query->GetData(&pixels, 4, 0), S_FALSE);
    EXPECT_EQ(query->GetData(&pixels, 4, 0), S_FALSE);
    EXPECT_EQ(query->GetData(&pixels, 4, 0), S_OK);
    EXPECT_EQ(pixels, 1234u);
    WORD low = 0;
    EXPECT_EQ(query->GetData(&low, 2, 0), S_OK);  // only what fits
    EXPECT_EQ(low, 1234);
    query->Issue(D3DISSUE_BEGIN);
    query->Issue(D3DISSUE_END);
    EXPECT_EQ(query->GetData(&pixels, 4, 0), S_OK);
    EXPECT_EQ(pixels, 0u);
    // Unscripted: a draw counts the whole target, nothing drawn counts nothing.
    device->SetFVF(D3DFVF_XYZ);
    const float vertices[9] = {};
    query->Issue(D3DISSUE_BEGIN);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 12);
    query->Issue(D3DISSUE_END);
    EXPECT_EQ(query->GetData(&pixels, 4, 0), S_OK);
    EXPECT_EQ(pixels, 320u * 240u);
    EXPECT_EQ(query->Issue(0xdead), D3DERR_INVALIDCALL);
    PlatformTest_D3d9LoseDevice(device);
    EXPECT_EQ(query->GetData(&pixels, 4, 0), D3DERR_DEVICELOST);
    EXPECT_EQ(query->Release(), 0u);
}

// ---- state blocks ----------------------------------------------------------------------------

TEST_F(D3d9Test, StateBlocksRecordCaptureAndApply) {
    CreateOrFail();
    EXPECT_EQ(device->EndStateBlock(nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    EXPECT_EQ(device->BeginStateBlock(), D3DERR_INVALIDCALL);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    IDirect3DStateBlock9* recorded = nullptr;
    ASSERT_EQ(device->EndStateBlock(&recorded), D3D_OK);
    // Recording changed nothing on the device.
    DWORD value = 0;
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    ASSERT_EQ(recorded->Apply(), D3D_OK);
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_NONE));
    device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_ADD));
    device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));  // not in the block
    // A whole-state block captures everything, the bound objects included.
    IDirect3DVertexBuffer9* vb = Buffer(64);
    device->SetStreamSource(2, vb, 0, 16);
    IDirect3DStateBlock9* all = nullptr;
    ASSERT_EQ(device->CreateStateBlock(D3DSBT_ALL, &all), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetStreamSource(2, nullptr, 0, 0);
    vb->Release();
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::VertexBuffer), 1);  // the block holds it
    ASSERT_EQ(all->Apply(), D3D_OK);
    device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
    IDirect3DVertexBuffer9* bound = nullptr;
    UINT offset = 0, stride = 0;
    device->GetStreamSource(2, &bound, &offset, &stride);
    ASSERT_NE(bound, nullptr);
    bound->Release();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    ASSERT_EQ(all->Capture(), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
    all->Apply();
    device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_TRUE));
    EXPECT_EQ(device->CreateStateBlock(static_cast<D3DSTATEBLOCKTYPE>(0), &all), D3DERR_INVALIDCALL);
    device->SetStreamSource(2, nullptr, 0, 0);
    EXPECT_EQ(all->Release(), 0u);
    EXPECT_EQ(recorded->Release(), 0u);
    EXPECT_EQ(PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind::StateBlock), 0);
}

// ---- surfaces, private data and the log's bound ------------------------------------------------

TEST_F(D3d9Test, SurfaceLocksPointIntoTheSurface) {
    CreateOrFail();
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(128, 128, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(plain->LockRect(&whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 512);
    D3DLOCKED_RECT untouched{7, nullptr};
    EXPECT_EQ(plain->LockRect(&untouched, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(untouched.Pitch, 7);
    plain->UnlockRect();
    const RECT rect{60, 60, 68, 68};
    ASSERT_EQ(plain->LockRect(&part, &rect, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - static_cast<uint8_t*>(whole.pBits), 60 * 512 + 60 * 4);
    plain->UnlockRect();
    EXPECT_EQ(plain->UnlockRect(), D3DERR_INVALIDCALL);
    const RECT outside{120, 120, 130, 130};
    EXPECT_EQ(plain->LockRect(&part, &outside, 0), D3DERR_INVALIDCALL);
    plain->Release();
    // Block-compressed surfaces count in blocks of 4x4.
    IDirect3DSurface9* dxt = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(128, 128, D3DFMT_DXT5, D3DPOOL_SCRATCH, &dxt, nullptr), D3D_OK);
    ASSERT_EQ(dxt->LockRect(&whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 512);
    dxt->UnlockRect();
    ASSERT_EQ(dxt->LockRect(&part, &rect, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - static_cast<uint8_t*>(whole.pBits), 15 * 512 + 15 * 16);
    dxt->UnlockRect();
    // A plain surface's container is the device; the back buffer's is the swap chain.
    IDirect3DDevice9* container = nullptr;
    ASSERT_EQ(dxt->GetContainer(IID_IDirect3DDevice9, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, device);
    container->Release();
    dxt->Release();
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(back->GetContainer(IID_IDirect3DSwapChain9, reinterpret_cast<void**>(&chain)), D3D_OK);
    ASSERT_NE(chain, nullptr);
    chain->Release();
    // The back buffer is not lockable unless asked for.
    EXPECT_EQ(back->LockRect(&whole, nullptr, 0), D3DERR_INVALIDCALL);
    back->Release();
}

TEST_F(D3d9Test, PrivateDataIsKeptAndHoldsInterfaces) {
    CreateOrFail();
    IDirect3DVertexBuffer9* vb = Buffer(16, D3DPOOL_MANAGED);
    const GUID key = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    const char text[] = "corvane";
    ASSERT_EQ(vb->SetPrivateData(key, text, sizeof text, 0), D3D_OK);
    char read[16] = {};
    DWORD size = 2;
    EXPECT_EQ(vb->GetPrivateData(key, read, &size), D3DERR_MOREDATA);
    EXPECT_EQ(size, sizeof text);
    ASSERT_EQ(vb->GetPrivateData(key, read, &size), D3D_OK);
    EXPECT_STREQ(read, text);
    // An interface given as private data is held until it is freed.
    IDirect3DVertexBuffer9* other = Buffer(16, D3DPOOL_MANAGED);
    ASSERT_EQ(vb->SetPrivateData(key, &other, sizeof other, 1), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(other), 2u);
    ASSERT_EQ(vb->FreePrivateData(key), D3D_OK);
    EXPECT_EQ(PlatformTest_D3d9RefCount(other), 1u);
    EXPECT_EQ(vb->FreePrivateData(key), D3DERR_NOTFOUND);
    EXPECT_EQ(vb->SetPriority(5), 0u);
    EXPECT_EQ(vb->GetPriority(), 5u);  // managed: kept
    other->Release();
    vb->Release();
}

TEST_F(D3d9Test, TheCallLogKeepsItsLatestRecordsWithinItsBound) {
    CreateOrFail();
    PlatformTest_D3d9ClearCallLog();
    const DWORD calls = 300000;
    for (DWORD i = 0; i < calls; ++i) device->SetRenderState(D3DRS_AMBIENT, i);
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();
    EXPECT_LE(log.size(), size_t(1) << 18);
    EXPECT_GE(log.size(), size_t(1) << 17);
    EXPECT_EQ(log.back(), "SetRenderState(139, " + std::to_string(calls - 1) + ")");
}

TEST_F(D3d9Test, ArmedFailuresReachLocksAndQueries) {
    CreateOrFail();
    IDirect3DVertexBuffer9* vb = Buffer(16, D3DPOOL_MANAGED);
    PlatformTest_D3d9FailCall("Lock", 1, D3DERR_WASSTILLDRAWING);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DONOTWAIT), D3DERR_WASSTILLDRAWING);
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    vb->Unlock();
    vb->Release();
    IDirect3DQuery9* query = nullptr;
    ASSERT_EQ(device->CreateQuery(D3DQUERYTYPE_EVENT, &query), D3D_OK);
    query->Issue(D3DISSUE_END);
    PlatformTest_D3d9FailCall("GetData", 1, D3DERR_DEVICELOST);
    BOOL done = FALSE;
    EXPECT_EQ(query->GetData(&done, sizeof done, D3DGETDATA_FLUSH), D3DERR_DEVICELOST);
    EXPECT_EQ(query->GetData(&done, sizeof done, D3DGETDATA_FLUSH), S_OK);
    EXPECT_TRUE(done);
    EXPECT_EQ(query->Issue(D3DISSUE_BEGIN), D3DERR_INVALIDCALL);  // events only end
    query->Release();
}

TEST_F(D3d9Test, AResetThatEnablesAutomaticDepthRestoresIt) {
    CreateOrFail();
    ASSERT_EQ(device->SetDepthStencilSurface(nullptr), D3D_OK);
    IDirect3DSurface9* depth = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_EQ(depth, nullptr);
    D3DPRESENT_PARAMETERS p = Windowed();
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    D3DSURFACE_DESC desc;
    depth->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_D24S8);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_DEPTHSTENCIL));
    // Held by the program, the depth buffer keeps the next reset from happening.
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    depth->Release();
    EXPECT_EQ(device->Reset(&p), D3D_OK);
}
