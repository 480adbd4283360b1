// The engine's device layer on the platform's reference device: the enumeration and the
// settings search over the default adapter, a device made from the chosen settings as the
// Application makes it, the state cache and the saved render states reaching the device
// (read back from its call log), and layouts becoming device declarations.
#include "D3d/DeviceContext.h"
#include "D3d/DeviceEnumeration.h"
#include "D3d/SavedRenderStates.h"
#include "D3d/StateCache.h"
#include "D3d/VertexDeclaration.h"

#include <PlatformTestD3d9.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5678));

class EngineOnReferenceDevice : public ::testing::Test {
protected:
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;

    void SetUp() override {
        PlatformTest_D3d9Reset();
        d3d = Direct3DCreate9(31);  // what the Application asks for
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        PublishDevice(nullptr);
        StateCache::InvalidateAll();
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        EXPECT_EQ(d3d->Release(), 0u);
        PlatformTest_D3d9Reset();
    }
    // The device of a settings record, with the present parameters and behaviour flags
    // the Application builds from it (a 640x480 client area when windowed).
    HRESULT CreateFrom(const DeviceSettings& s) {
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.EnableAutoDepthStencil = TRUE;
        p.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
        p.Windowed = s.windowed ? TRUE : FALSE;
        p.MultiSampleType = s.multiSampleType;
        p.MultiSampleQuality = s.multiSampleQuality;
        p.hDeviceWindow = kWindow;
        p.AutoDepthStencilFormat = s.depthStencilFormat;
        p.BackBufferFormat = s.backBufferFormat;
        p.PresentationInterval = s.presentInterval;
        p.BackBufferWidth = s.windowed ? 640 : s.displayMode.Width;
        p.BackBufferHeight = s.windowed ? 480 : s.displayMode.Height;
        p.FullScreen_RefreshRateInHz = s.windowed ? 0 : s.displayMode.RefreshRate;
        static const DWORD kBehavior[] = {D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING,
                                          D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                          D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE};
        return d3d->CreateDevice(s.adapterOrdinal, s.deviceType, kWindow, kBehavior[s.vertexProcessing & 3], &p,
                                 &device);
    }
};

}  // namespace

TEST_F(EngineOnReferenceDevice, EnumerationFindsBothSettingsAndTheDevicesCanBeMade) {
    DeviceEnumeration enumeration(d3d);
    ASSERT_TRUE(enumeration.Enumerate());
    ASSERT_EQ(enumeration.GetAdapters().count, 1);
    const AdapterInfo* adapter = enumeration.FindAdapter(0);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->displayModes.count, 16);
    const DeviceInfo* hal = enumeration.FindDevice(0, D3DDEVTYPE_HAL);
    ASSERT_NE(hal, nullptr);
    EXPECT_EQ(enumeration.FindDevice(0, D3DDEVTYPE_REF), nullptr);

    DeviceSettings full;
    full.windowed = 0;
    ASSERT_TRUE(enumeration.FindSettings(full));
    EXPECT_EQ(full.displayMode.Width, 1024u);
    EXPECT_EQ(full.displayMode.Height, 768u);
    EXPECT_EQ(full.displayMode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(full.vertexProcessing, static_cast<u32>(kMixedVertexProcessing));
    DeviceSettings windowed = full;
    windowed.windowed = 1;
    ASSERT_TRUE(enumeration.FindSettings(windowed));
    EXPECT_TRUE(windowed.backBufferFormat == D3DFMT_X8R8G8B8 || windowed.backBufferFormat == D3DFMT_A8R8G8B8);
    EXPECT_EQ(windowed.displayMode.Format, D3DFMT_X8R8G8B8);

    for (const DeviceSettings* s : {&full, &windowed}) {
        ASSERT_EQ(CreateFrom(*s), D3D_OK) << "windowed " << int(s->windowed);
        D3DCAPS9 caps;
        ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
        EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
        // The Application's probes: displacement maps are absent, point sprites and
        // occlusion queries present, the two bump formats too.
        EXPECT_EQ(caps.DevCaps2 & D3DDEVCAPS2_DMAPNPATCH, 0u);
        EXPECT_GT(caps.MaxPointSize, 1.0f);
        EXPECT_EQ(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, nullptr), D3D_OK);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_V8U8), D3D_OK);
        EXPECT_EQ(device->Release(), 0u);
        device = nullptr;
    }
}

TEST_F(EngineOnReferenceDevice, TwoSamplesAreOfferedOnlyWithTheFormatsThatHaveThem) {
    // A runtime answers multisampling per format: two samples for the 32-bit colour
    // formats and D24S8 only.
    PlatformTestD3d9Adapter a = PlatformTest_D3d9DefaultAdapter();
    a.multiSample = {{D3DMULTISAMPLE_NONE, 1}};
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D24S8})
        a.multiSampleByFormat[format] = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_2_SAMPLES, 1}};
    PlatformTest_D3d9SetAdapters({a});
    d3d->Release();
    d3d = Direct3DCreate9(31);
    ASSERT_NE(d3d, nullptr);
    DeviceEnumeration enumeration(d3d);
    ASSERT_TRUE(enumeration.Enumerate());
    const DeviceInfo* hal = enumeration.FindDevice(0, D3DDEVTYPE_HAL);
    ASSERT_NE(hal, nullptr);
    int sixteenBit = 0, thirtyTwoBit = 0;
    ForEachOwned(hal->combos, [&](const DeviceCombo& combo) {
        const bool wide = combo.backBufferFormat == D3DFMT_X8R8G8B8 || combo.backBufferFormat == D3DFMT_A8R8G8B8;
        (wide ? thirtyTwoBit : sixteenBit)++;
        EXPECT_EQ(combo.FindMultiSample(D3DMULTISAMPLE_2_SAMPLES) != nullptr, wide) << combo.backBufferFormat;
        EXPECT_NE(combo.FindMultiSample(D3DMULTISAMPLE_NONE), nullptr);
        EXPECT_EQ(combo.FindMultiSample(D3DMULTISAMPLE_4_SAMPLES), nullptr);
        // Depth formats without two samples are marked as conflicting with them.
        ForEachInFillOrder(combo.conflicts, [&](const DepthMultiSampleConflict& conflict) {
            EXPECT_NE(conflict.depthFormat, D3DFMT_D24S8);
            EXPECT_EQ(conflict.multiSampleType, D3DMULTISAMPLE_2_SAMPLES);
        });
    });
    EXPECT_GT(sixteenBit, 0);
    EXPECT_GT(thirtyTwoBit, 0);

    // Asked for two samples, the enumeration settles on a format that has them, and the
    // device it describes can be made.
    DeviceSettings wanted;
    wanted.windowed = 0;
    wanted.multiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    wanted.depthStencilFormat = D3DFMT_D24S8;
    wanted.requestFlags = kRequestMultiSample | kRequestDepthFormat;
    ASSERT_TRUE(enumeration.FindSettings(wanted));
    EXPECT_EQ(wanted.multiSampleType, D3DMULTISAMPLE_2_SAMPLES);
    EXPECT_TRUE(wanted.backBufferFormat == D3DFMT_X8R8G8B8 || wanted.backBufferFormat == D3DFMT_A8R8G8B8);
    ASSERT_EQ(CreateFrom(wanted), D3D_OK);
}

TEST_F(EngineOnReferenceDevice, TheStateCacheSendsOnlyChanges) {
    DeviceSettings s;
    s.windowed = 1;
    s.backBufferFormat = D3DFMT_X8R8G8B8;
    s.depthStencilFormat = D3DFMT_D24S8;
    s.vertexProcessing = kHardwareVertexProcessing;
    s.deviceType = D3DDEVTYPE_HAL;
    ASSERT_EQ(CreateFrom(s), D3D_OK);
    PublishDevice(device);
    StateCache::InvalidateAll();
    PlatformTest_D3d9ClearCallLog();
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_LIGHTING, FALSE));
    EXPECT_TRUE(StateCache::SetRenderState(D3DRS_LIGHTING, FALSE));
    EXPECT_TRUE(StateCache::SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR));
    EXPECT_TRUE(StateCache::SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR));
    EXPECT_TRUE(StateCache::SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR));
    EXPECT_TRUE(StateCache::SetTexture(0, nullptr));
    EXPECT_TRUE(StateCache::SetMaterial(nullptr));
    const std::vector<std::string> expected = {
        "SetRenderState(137, 0)",
        "SetSamplerState(0, 6, 2)",
        "SetSamplerState(257, 6, 2)",
        "SetSamplerState(257, 6, 2)",  // beyond the cache's tables: sent every time
        "SetTexture(0, null)",
        "SetMaterial(0, 0, 0, 0, 0)",
    };
    EXPECT_EQ(PlatformTest_D3d9CallLog(), expected);
    DWORD value = 1;
    ASSERT_TRUE(PlatformTest_D3d9RenderState(device, D3DRS_LIGHTING, &value));
    EXPECT_EQ(value, 0u);
}

TEST_F(EngineOnReferenceDevice, SavedStatesOnAPureDeviceRestoreTheDefaults) {
    DeviceSettings s;
    s.windowed = 1;
    s.backBufferFormat = D3DFMT_X8R8G8B8;
    s.depthStencilFormat = D3DFMT_D24S8;
    s.vertexProcessing = kPureHardwareVertexProcessing;
    s.deviceType = D3DDEVTYPE_HAL;
    ASSERT_EQ(CreateFrom(s), D3D_OK);
    PublishDevice(device);
    StateCache::InvalidateAll();
    SavedRenderStates saved;
    saved.Save(1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0, 0.0f, 0.0f);
    saved.Restore();
    // The device's values after the restore are its defaults, as if nothing had happened.
    const D3DRENDERSTATETYPE states[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZWRITEENABLE};
    const DWORD defaults[] = {FALSE, D3DBLEND_ONE, D3DBLEND_ZERO, TRUE};
    for (int i = 0; i < 4; ++i) {
        DWORD value = 0xdead;
        ASSERT_TRUE(PlatformTest_D3d9RenderState(device, states[i], &value));
        EXPECT_EQ(value, defaults[i]) << states[i];
    }
}

TEST_F(EngineOnReferenceDevice, LayoutsBecomeDeviceDeclarations) {
    DeviceSettings s;
    s.windowed = 1;
    s.backBufferFormat = D3DFMT_X8R8G8B8;
    s.depthStencilFormat = D3DFMT_D16;
    s.vertexProcessing = kSoftwareVertexProcessing;
    s.deviceType = D3DDEVTYPE_HAL;
    ASSERT_EQ(CreateFrom(s), D3D_OK);
    VertexDeclaration layout;
    ASSERT_TRUE(layout.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_EQ(layout.totalStride, 32u);
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(layout.Elements(), &decl), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(decl), D3D_OK);
    DWORD fvf = 0;
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, layout.GetFVF(0));
    device->SetVertexDeclaration(nullptr);
    decl->Release();
    // A layout from a model file with a misaligned element is refused by the device.
    layout.elements[1].Offset = 13;
    EXPECT_EQ(device->CreateVertexDeclaration(layout.Elements(), &decl), E_FAIL);
}
