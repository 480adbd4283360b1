// What the Direct3D 9 headers promise on every platform: the documented numbers of the
// enumerations, error codes and flags, the layouts of the records the engine stores or
// passes by size, and the interface identifiers. Built against the real headers on
// Windows, the same checks pin the platform's own headers to the runtime's.
#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <stddef.h>

TEST(D3d9Constants, ErrorCodes) {
    struct Row {
        HRESULT value;
        uint32_t expected;
    };
    const Row rows[] = {
        {D3D_OK, 0},
        {D3DERR_INVALIDCALL, 0x8876086C},
        {D3DERR_NOTAVAILABLE, 0x8876086A},
        {D3DERR_DEVICELOST, 0x88760868},
        {D3DERR_DEVICENOTRESET, 0x88760869},
        {D3DERR_NOTFOUND, 0x88760866},
        {D3DERR_MOREDATA, 0x88760867},
        {D3DERR_OUTOFVIDEOMEMORY, 0x8876017C},
        {D3DERR_WASSTILLDRAWING, 0x8876021C},
        {D3DERR_UNSUPPORTEDTEXTUREFILTER, 0x88760822},
        {D3DERR_WRONGTEXTUREFORMAT, 0x88760818},
        {D3DERR_DRIVERINTERNALERROR, 0x88760827},
        {D3DOK_NOAUTOGEN, 0x0876086F},
        {D3DXERR_INVALIDDATA, 0x88760B59},
    };
    for (const Row& r : rows) EXPECT_EQ(static_cast<uint32_t>(r.value), r.expected) << std::hex << r.expected;
}

TEST(D3d9Constants, RenderStates) {
    struct Row {
        D3DRENDERSTATETYPE state;
        unsigned value;
    };
    const Row rows[] = {
        {D3DRS_ZENABLE, 7},          {D3DRS_ZWRITEENABLE, 14},    {D3DRS_SRCBLEND, 19},
        {D3DRS_DESTBLEND, 20},       {D3DRS_CULLMODE, 22},        {D3DRS_ALPHABLENDENABLE, 27},
        {D3DRS_FOGENABLE, 28},       {D3DRS_FOGCOLOR, 34},        {D3DRS_RANGEFOGENABLE, 48},
        {D3DRS_STENCILENABLE, 52},   {D3DRS_TEXTUREFACTOR, 60},   {D3DRS_WRAP0, 128},
        {D3DRS_LIGHTING, 137},       {D3DRS_AMBIENT, 139},        {D3DRS_NORMALIZENORMALS, 143},
        {D3DRS_VERTEXBLEND, 151},    {D3DRS_POINTSIZE, 154},      {D3DRS_POINTSIZE_MAX, 166},
        {D3DRS_COLORWRITEENABLE, 168}, {D3DRS_BLENDOP, 171},      {D3DRS_SCISSORTESTENABLE, 174},
        {D3DRS_SLOPESCALEDEPTHBIAS, 175}, {D3DRS_MINTESSELLATIONLEVEL, 178}, {D3DRS_TWOSIDEDSTENCILMODE, 185},
        {D3DRS_BLENDFACTOR, 193},    {D3DRS_SRGBWRITEENABLE, 194}, {D3DRS_DEPTHBIAS, 195},
        {D3DRS_WRAP8, 198},          {D3DRS_WRAP15, 205},         {D3DRS_SEPARATEALPHABLENDENABLE, 206},
        {D3DRS_BLENDOPALPHA, 209},
    };
    for (const Row& r : rows) EXPECT_EQ(static_cast<unsigned>(r.state), r.value);
    EXPECT_EQ(static_cast<unsigned>(D3DSAMP_DMAPOFFSET), 13u);
    EXPECT_EQ(static_cast<unsigned>(D3DSAMP_SRGBTEXTURE), 11u);
    EXPECT_EQ(static_cast<unsigned>(D3DTSS_TEXTURETRANSFORMFLAGS), 24u);
    EXPECT_EQ(static_cast<unsigned>(D3DTSS_CONSTANT), 32u);
    EXPECT_EQ(D3DDMAPSAMPLER, 256);
    EXPECT_EQ(D3DVERTEXTEXTURESAMPLER3, 260);
    EXPECT_EQ(static_cast<unsigned>(D3DTS_WORLD), 256u);
    EXPECT_EQ(static_cast<unsigned>(D3DTS_WORLDMATRIX(255)), 511u);
    EXPECT_EQ(static_cast<unsigned>(D3DTS_TEXTURE7), 23u);
}

TEST(D3d9Constants, FormatsAndFlags) {
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_DXT1), 0x31545844u);
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_YUY2), 0x32595559u);
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_MULTI2_ARGB8), 0x3154454Du);
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_D24S8), 75u);
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_L16), 81u);
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_INDEX32), 102u);
    EXPECT_EQ(static_cast<unsigned>(D3DFMT_CxV8U8), 117u);
    EXPECT_EQ(D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING, 0x50);
    EXPECT_EQ(D3DCREATE_MIXED_VERTEXPROCESSING, 0x80);
    EXPECT_EQ(static_cast<uint32_t>(D3DPRESENT_INTERVAL_IMMEDIATE), 0x80000000u);
    EXPECT_EQ(D3DUSAGE_DMAP, 0x4000);
    EXPECT_EQ(D3DUSAGE_DYNAMIC, 0x200);
    EXPECT_EQ(D3DLOCK_DISCARD, 0x2000);
    EXPECT_EQ(D3DLOCK_NOOVERWRITE, 0x1000);
    EXPECT_EQ(D3DFVFCAPS_PSIZE, 0x100000);
    EXPECT_EQ(D3DDEVCAPS2_DMAPNPATCH, 2);
    EXPECT_EQ(D3DTEXOPCAPS_BUMPENVMAP, 0x200000);
    EXPECT_EQ(D3DTEXOPCAPS_BUMPENVMAPLUMINANCE, 0x400000);
    EXPECT_EQ(D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0x10000);
    EXPECT_EQ(D3DDEVCAPS_PUREDEVICE, 0x100000);
    EXPECT_EQ(D3DPTEXTURECAPS_POW2, 2);
    EXPECT_EQ(static_cast<uint32_t>(D3DVS_VERSION(1, 1)), 0xFFFE0101u);
    EXPECT_EQ(static_cast<uint32_t>(D3DPS_VERSION(2, 0)), 0xFFFF0200u);
    EXPECT_EQ(D3DFVF_TEXCOORDSIZE1(0), 0x30000);
    EXPECT_EQ(D3DFVF_TEXCOORDSIZE3(1), 0x40000);
    EXPECT_EQ(D3DFVF_TEXCOORDSIZE4(2), 0x200000);
    EXPECT_EQ(D3DFVF_XYZB5 | D3DFVF_LASTBETA_UBYTE4, 0x100E);
    EXPECT_EQ(static_cast<unsigned>(D3DQUERYTYPE_OCCLUSION), 9u);
    EXPECT_EQ(D3DISSUE_BEGIN, 2);
    EXPECT_EQ(D3DCOLOR_ARGB(0x12, 0x34, 0x56, 0x78), 0x12345678u);
    EXPECT_EQ(MAX_FVF_DECL_SIZE, 65);
    const D3DVERTEXELEMENT9 end = D3DDECL_END();
    EXPECT_EQ(end.Stream, 0xFF);
    EXPECT_EQ(end.Type, D3DDECLTYPE_UNUSED);
    EXPECT_EQ(static_cast<unsigned>(D3DDECLUSAGE_SAMPLE), 13u);
    EXPECT_EQ(static_cast<unsigned>(D3DDECLTYPE_FLOAT16_4), 16u);
}

TEST(D3d9Layouts, RecordsHaveTheRuntimesLayout) {
    EXPECT_EQ(sizeof(D3DCAPS9), 304u);
    EXPECT_EQ(offsetof(D3DCAPS9, DevCaps), 28u);
    EXPECT_EQ(offsetof(D3DCAPS9, MaxTextureWidth), 88u);
    EXPECT_EQ(offsetof(D3DCAPS9, FVFCaps), 140u);
    EXPECT_EQ(offsetof(D3DCAPS9, TextureOpCaps), 144u);
    EXPECT_EQ(offsetof(D3DCAPS9, MaxPointSize), 176u);
    EXPECT_EQ(offsetof(D3DCAPS9, VertexShaderVersion), 196u);
    EXPECT_EQ(offsetof(D3DCAPS9, PixelShaderVersion), 204u);
    EXPECT_EQ(offsetof(D3DCAPS9, DevCaps2), 212u);
    EXPECT_EQ(offsetof(D3DCAPS9, NumSimultaneousRTs), 240u);
    EXPECT_EQ(offsetof(D3DCAPS9, VS20Caps), 248u);
    EXPECT_EQ(offsetof(D3DCAPS9, PS20Caps), 264u);
    EXPECT_EQ(offsetof(D3DCAPS9, MaxPixelShader30InstructionSlots), 300u);
    EXPECT_EQ(sizeof(D3DVERTEXELEMENT9), 8u);
    EXPECT_EQ(sizeof(D3DSURFACE_DESC), 32u);
    EXPECT_EQ(sizeof(D3DMATERIAL9), 68u);
    EXPECT_EQ(sizeof(D3DLIGHT9), 104u);
    EXPECT_EQ(offsetof(D3DLIGHT9, Position), 52u);
    EXPECT_EQ(sizeof(D3DVIEWPORT9), 24u);
    EXPECT_EQ(sizeof(D3DDISPLAYMODE), 16u);
    EXPECT_EQ(sizeof(D3DGAMMARAMP), 1536u);
    EXPECT_EQ(sizeof(D3DVERTEXBUFFER_DESC), 24u);
    EXPECT_EQ(sizeof(D3DINDEXBUFFER_DESC), 20u);
    EXPECT_EQ(sizeof(D3DMATRIX), 64u);
    // The x86 headers pack the structure to 4 bytes, so its 8-byte DriverVersion adds no
    // padding at the end there; the fields lie at the same offsets in both.
    EXPECT_EQ(sizeof(D3DADAPTER_IDENTIFIER9), sizeof(void*) == 8 ? 1104u : 1100u);
    EXPECT_EQ(offsetof(D3DADAPTER_IDENTIFIER9, DriverVersion), 1056u);
    EXPECT_EQ(offsetof(D3DADAPTER_IDENTIFIER9, WHQLLevel), 1096u);
    // The window handle is a pointer; everything around it is 32 bits.
    EXPECT_EQ(offsetof(D3DPRESENT_PARAMETERS, hDeviceWindow), sizeof(void*) == 8 ? 32u : 28u);
    EXPECT_EQ(sizeof(D3DPRESENT_PARAMETERS), sizeof(void*) == 8 ? 64u : 56u);
    EXPECT_EQ(offsetof(D3DLOCKED_RECT, pBits), sizeof(void*));
}

TEST(D3d9Identifiers, InterfaceIdentifiersAreTheRuntimes) {
    struct Row {
        const IID& iid;
        uint32_t data1;
        uint8_t last;
    };
    const Row rows[] = {
        {IID_IDirect3D9, 0x81BDCBCA, 0x5C},          {IID_IDirect3DDevice9, 0xD0223B96, 0xEB},
        {IID_IDirect3DResource9, 0x05EEC05D, 0x04},  {IID_IDirect3DBaseTexture9, 0x580CA87E, 0xCE},
        {IID_IDirect3DTexture9, 0x85C31227, 0xB5},   {IID_IDirect3DCubeTexture9, 0xFFF32F81, 0x3F},
        {IID_IDirect3DVolumeTexture9, 0x2518526C, 0xE6}, {IID_IDirect3DVertexBuffer9, 0xB64BB1B5, 0xE3},
        {IID_IDirect3DIndexBuffer9, 0x7C9DD65E, 0x35}, {IID_IDirect3DSurface9, 0x0CFBAF3A, 0x9B},
        {IID_IDirect3DVolume9, 0x24F416E6, 0xA1},    {IID_IDirect3DSwapChain9, 0x794950F2, 0x3B},
        {IID_IDirect3DVertexDeclaration9, 0xDD13C59C, 0x46}, {IID_IDirect3DVertexShader9, 0xEFC5557E, 0x36},
        {IID_IDirect3DPixelShader9, 0x6D3BDBDC, 0x89}, {IID_IDirect3DStateBlock9, 0xB07C4FE5, 0x8B},
        {IID_IDirect3DQuery9, 0xD9771460, 0xCC},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(static_cast<uint32_t>(r.iid.Data1), r.data1);
        EXPECT_EQ(r.iid.Data4[7], r.last) << std::hex << r.data1;
    }
}
