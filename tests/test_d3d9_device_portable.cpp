// A windowed Direct3D 9 device on a hidden window of its own, as every platform's runtime
// gives it: the swap chain's size, default states, reference counts, declaration checks,
// a reset refused while a default-pool buffer lives, queries and scenes, generated mip
// levels asked for by format, validation of unfiltered textures, buffer pools and lengths,
// and padded surface rows. Under Wine these run on its real Direct3D; on Linux on the
// platform's reference device.
#include <d3d9.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "PortableD3d9Device.h"

#include <stdint.h>
#include <string.h>

namespace {

DWORD Bits(float f) {
    DWORD b;
    memcpy(&b, &f, sizeof b);
    return b;
}

ULONG Count(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

using D3d9Device = PortableD3d9Device;

}  // namespace

TEST_F(D3d9Device, AWindowedSwapChainOfSizeZeroTakesTheClientArea) {
    RECT client;
    GetClientRect(window, &client);
    // The caller's parameters were completed.
    EXPECT_EQ(params.BackBufferWidth, static_cast<UINT>(client.right - client.left));
    EXPECT_EQ(params.BackBufferHeight, static_cast<UINT>(client.bottom - client.top));
    EXPECT_NE(params.BackBufferFormat, D3DFMT_UNKNOWN);
    EXPECT_EQ(params.BackBufferCount, 1u);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, params.BackBufferWidth);
    EXPECT_EQ(desc.Height, params.BackBufferHeight);
    back->Release();
    IDirect3DSurface9* none = nullptr;
    EXPECT_EQ(device->GetRenderTarget(1, &none), D3DERR_NOTFOUND);
    EXPECT_EQ(none, nullptr);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, desc.Width);
    EXPECT_EQ(vp.MaxZ, 1.0f);
}

TEST_F(D3d9Device, RenderStatesStartAtTheirDefaults) {
    struct Row {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Row rows[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},         {D3DRS_FOGENABLE, FALSE},          {D3DRS_FOGEND, Bits(1.0f)},
        {D3DRS_FOGDENSITY, Bits(1.0f)},      {D3DRS_STENCILFUNC, D3DCMP_ALWAYS}, {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},   {D3DRS_CLIPPING, TRUE},            {D3DRS_LIGHTING, TRUE},
        {D3DRS_COLORVERTEX, TRUE},           {D3DRS_LOCALVIEWER, TRUE},         {D3DRS_DIFFUSEMATERIALSOURCE, 1},
        {D3DRS_SPECULARMATERIALSOURCE, 2},   {D3DRS_POINTSIZE_MIN, Bits(1.0f)}, {D3DRS_POINTSCALE_A, Bits(1.0f)},
        {D3DRS_BLENDFACTOR, 0xFFFFFFFF},     {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE}, {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},      {D3DRS_DESTBLEND, D3DBLEND_ZERO},  {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_CULLMODE, D3DCULL_CCW},       {D3DRS_ADAPTIVETESS_Z, Bits(1.0f)}, {D3DRS_MAXTESSELLATIONLEVEL, Bits(1.0f)},
    };
    for (const Row& r : rows) {
        DWORD value = 0x12345678;
        ASSERT_EQ(device->GetRenderState(r.state, &value), D3D_OK) << r.state;
        EXPECT_EQ(value, r.value) << r.state;
    }
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    DWORD value = 0;
    device->GetRenderState(D3DRS_POINTSIZE_MAX, &value);
    EXPECT_EQ(value, Bits(caps.MaxPointSize));
    for (DWORD stage = 0; stage < 2; ++stage) {
        device->GetTextureStageState(stage, D3DTSS_COLOROP, &value);
        EXPECT_EQ(value, static_cast<DWORD>(stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE));
        device->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &value);
        EXPECT_EQ(value, stage);
    }
}

TEST_F(D3d9Device, ReferenceCountsAndBindings) {
    EXPECT_EQ(Count(d3d), 2u);  // the device holds its Direct3D object
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    EXPECT_EQ(Count(device), 2u);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, 16), D3D_OK);
    EXPECT_EQ(Count(vb), 1u);  // binding is not a reference the program sees
    IDirect3DVertexBuffer9* bound = nullptr;
    UINT offset = 1, stride = 1;
    ASSERT_EQ(device->GetStreamSource(0, &bound, &offset, &stride), D3D_OK);
    EXPECT_EQ(bound, vb);
    EXPECT_EQ(stride, 16u);
    EXPECT_EQ(bound->Release(), 1u);
    ASSERT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
    device->GetStreamSource(0, &bound, &offset, &stride);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(stride, 16u);  // kept by an unbinding
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(Count(device), 1u);

    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(decl), D3D_OK);
    EXPECT_EQ(Count(decl), 1u);
    IDirect3DVertexDeclaration9* current = nullptr;
    ASSERT_EQ(device->GetVertexDeclaration(&current), D3D_OK);
    EXPECT_EQ(current, decl);
    EXPECT_EQ(current->Release(), 1u);
    UINT count = 0;
    ASSERT_EQ(decl->GetDeclaration(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 2u);
    device->SetVertexDeclaration(nullptr);
    decl->Release();
}

TEST_F(D3d9Device, DeclarationOffsetsMustBeAligned) {
    for (WORD offset : {16, 17, 18, 19, 20}) {
        const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                              {0, offset, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                              D3DDECL_END()};
        IDirect3DVertexDeclaration9* decl = nullptr;
        EXPECT_EQ(device->CreateVertexDeclaration(elements, &decl), offset % 4 ? E_FAIL : D3D_OK) << offset;
        if (decl) decl->Release();
    }
}

TEST_F(D3d9Device, ResetWaitsForTheDefaultPoolBuffer) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DPRESENT_PARAMETERS again = params;
    EXPECT_EQ(device->Reset(&again), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    vb->Release();
    again = params;
    ASSERT_EQ(device->Reset(&again), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    DWORD lighting = FALSE;
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, static_cast<DWORD>(TRUE));
}

TEST_F(D3d9Device, QueriesScenesAndFVFDeclarations) {
    IDirect3DQuery9* query = nullptr;
    if (SUCCEEDED(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, nullptr))) {
        ASSERT_EQ(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, &query), D3D_OK);
        EXPECT_EQ(query->GetDataSize(), sizeof(DWORD));
        DWORD pixels = 0;
        EXPECT_EQ(query->GetData(nullptr, 0, D3DGETDATA_FLUSH), S_OK);  // never issued
        EXPECT_EQ(query->GetData(&pixels, sizeof pixels, D3DGETDATA_FLUSH), S_OK);
        query->Release();
    }
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // nothing declared
    IDirect3DVertexDeclaration9* first = nullptr;
    IDirect3DVertexDeclaration9* second = nullptr;
    device->SetFVF(D3DFVF_XYZRHW);
    device->GetVertexDeclaration(&first);
    device->SetFVF(D3DFVF_NORMAL | D3DFVF_XYZ);
    device->SetFVF(D3DFVF_XYZRHW);
    device->GetVertexDeclaration(&second);
    EXPECT_EQ(first, second);
    if (first) first->Release();
    if (second) second->Release();
    const float quad[3][4] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad, sizeof quad[0]), D3D_OK);
    IDirect3DVertexBuffer9* stream = reinterpret_cast<IDirect3DVertexBuffer9*>(1);
    UINT offset = 1, stride = 1;
    device->GetStreamSource(0, &stream, &offset, &stride);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(stride, 0u);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(D3d9Device, GeneratedMipLevelsAreAskedForWithTheUsageTheyGoWith) {
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    auto check = [&](DWORD usage, D3DFORMAT format) {
        return d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format, usage, D3DRTYPE_TEXTURE, format);
    };
    const DWORD targetAutoGen = D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP;
    ASSERT_EQ(check(D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8), D3D_OK);
    const HRESULT target = check(targetAutoGen, D3DFMT_A8R8G8B8);
    EXPECT_TRUE(target == D3D_OK || target == D3DOK_NOAUTOGEN) << std::hex << target;
    // A format no render target can have cannot be one with generated levels either.
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT5}) {
        if (check(0, format) != D3D_OK || check(D3DUSAGE_RENDERTARGET, format) != D3DERR_NOTAVAILABLE) continue;
        EXPECT_EQ(check(targetAutoGen, format), D3DERR_NOTAVAILABLE) << format;
    }
    // Luminance has no generated levels, yet the texture is still made: a success that
    // is not D3D_OK. Wine's runtime (8.0) generates them for luminance and for dynamic
    // textures too; the reference suite checks the runtime's answers.
    ASSERT_EQ(check(0, D3DFMT_L8), D3D_OK);
    const HRESULT luminance = check(D3DUSAGE_AUTOGENMIPMAP, D3DFMT_L8);
    EXPECT_TRUE(SUCCEEDED(luminance));
    if (luminance == D3D_OK) GTEST_SKIP() << "this runtime generates the levels of every texture format";
    EXPECT_EQ(luminance, D3DOK_NOAUTOGEN);
    EXPECT_EQ(check(D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8), D3DERR_NOTAVAILABLE);
}

TEST_F(D3d9Device, ATextureSampledWithoutAFilterDoesNotValidate) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, t), D3D_OK);
    struct Row {
        DWORD minFilter, magFilter;
        HRESULT expected;
    };
    const Row rows[] = {
        {D3DTEXF_NONE, D3DTEXF_POINT, D3DERR_UNSUPPORTEDTEXTUREFILTER},
        {D3DTEXF_POINT, D3DTEXF_NONE, D3DERR_UNSUPPORTEDTEXTUREFILTER},
        {D3DTEXF_POINT, D3DTEXF_POINT, D3D_OK},
    };
    for (const Row& r : rows) {
        device->SetSamplerState(0, D3DSAMP_MINFILTER, r.minFilter);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, r.magFilter);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        DWORD passes = 0xDEADBEEF;
        EXPECT_EQ(device->ValidateDevice(&passes), r.expected) << r.minFilter << " " << r.magFilter;
        if (r.expected == D3D_OK)
            EXPECT_GE(passes, 1u);
        else
            EXPECT_EQ(passes, 0xDEADBEEFu);  // a refusal leaves the count alone
    }
    device->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(D3d9Device, BuffersAreMadeInTheDevicesPoolsOfAnyLength) {
    // The device never reads scratch memory, and buffers are there for it to read.
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_SCRATCH, &vb, nullptr), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_SCRATCH, &ib, nullptr), D3DERR_INVALIDCALL);
    for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM}) {
        for (UINT length : {1u, 1048577u}) {
            vb = nullptr;
            ASSERT_EQ(device->CreateVertexBuffer(length, 0, 0, pool, &vb, nullptr), D3D_OK) << pool << " " << length;
            void* data = nullptr;
            ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u) << pool << " " << length;
            vb->Unlock();
            vb->Release();
        }
    }
}

TEST_F(D3d9Device, RowsOfASurfaceStartOnFourByteBoundaries) {
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(5, 5, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
    D3DLOCKED_RECT l;
    ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
    EXPECT_EQ(l.Pitch, 12);  // five 2-byte texels, padded
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 5; ++x) {
            const WORD texel = static_cast<WORD>(0x1001 * (y * 5 + x + 1));
            memcpy(static_cast<uint8_t*>(l.pBits) + size_t(y) * l.Pitch + x * 2, &texel, 2);
        }
    s->UnlockRect();
    // Into video memory and out again: both copies keep each row where its pitch says.
    IDirect3DSurface9 *target = nullptr, *copy = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(5, 5, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(5, 5, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    ASSERT_EQ(device->UpdateSurface(s, nullptr, target, nullptr), D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(target, copy), D3D_OK);
    ASSERT_EQ(copy->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 5; ++x) {
            WORD texel;
            memcpy(&texel, static_cast<const uint8_t*>(l.pBits) + size_t(y) * l.Pitch + x * 2, 2);
            EXPECT_EQ(texel, static_cast<WORD>(0x1001 * (y * 5 + x + 1))) << x << "," << y;
        }
    copy->UnlockRect();
    for (IDirect3DSurface9* surface : {s, target, copy}) surface->Release();
}
