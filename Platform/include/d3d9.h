// Direct3D 9, for the Linux build: the interfaces with every method in the runtime's own
// order and signature (an object written against the real header lays out its table the
// same way), their interface identifiers, the creation entry point and the error codes.
// The platform's reference device (Platform/Direct3D9*.cpp) implements them.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <d3d9types.h>
#include <d3d9caps.h>

// The header version Direct3DCreate9 is asked for. The 9.0c runtime also accepts 31, the
// value of the earlier 9.0c headers, which is what the engine passes.
#define D3D_SDK_VERSION 32

// Adapter and enumeration.
#define D3DADAPTER_DEFAULT 0
#define D3DENUM_WHQL_LEVEL 0x00000002L
#define D3DENUM_NO_DRIVERVERSION 0x00000004L

// Behaviour flags of CreateDevice.
#define D3DCREATE_FPU_PRESERVE 0x00000002L
#define D3DCREATE_MULTITHREADED 0x00000004L
#define D3DCREATE_PUREDEVICE 0x00000010L
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x00000020L
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x00000040L
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x00000080L
#define D3DCREATE_DISABLE_DRIVER_MANAGEMENT 0x00000100L
#define D3DCREATE_ADAPTERGROUP_DEVICE 0x00000200L
#define D3DCREATE_DISABLE_DRIVER_MANAGEMENT_EX 0x00000400L
#define D3DCREATE_NOWINDOWCHANGES 0x00000800L

// SetGammaRamp flags.
#define D3DSGR_NO_CALIBRATION 0x00000000L
#define D3DSGR_CALIBRATE 0x00000001L

// SetCursorPosition flags.
#define D3DCURSOR_IMMEDIATE_UPDATE 0x00000001L

// IDirect3DSwapChain9::Present flags.
#define D3DPRESENT_DONOTWAIT 0x00000001L
#define D3DPRESENT_LINEAR_CONTENT 0x00000002L

#define D3DPRESENT_BACK_BUFFERS_MAX 3L

// Results: facility 0x876 with the documented codes.
#define _FACD3D 0x876
#define MAKE_D3DHRESULT(code) ((HRESULT)(0x88760000u | (code)))
#define MAKE_D3DSTATUS(code) ((HRESULT)(0x08760000u | (code)))

#define D3D_OK S_OK
#define D3DERR_WRONGTEXTUREFORMAT MAKE_D3DHRESULT(2072)
#define D3DERR_UNSUPPORTEDCOLOROPERATION MAKE_D3DHRESULT(2073)
#define D3DERR_UNSUPPORTEDCOLORARG MAKE_D3DHRESULT(2074)
#define D3DERR_UNSUPPORTEDALPHAOPERATION MAKE_D3DHRESULT(2075)
#define D3DERR_UNSUPPORTEDALPHAARG MAKE_D3DHRESULT(2076)
#define D3DERR_TOOMANYOPERATIONS MAKE_D3DHRESULT(2077)
#define D3DERR_CONFLICTINGTEXTUREFILTER MAKE_D3DHRESULT(2078)
#define D3DERR_UNSUPPORTEDFACTORVALUE MAKE_D3DHRESULT(2079)
#define D3DERR_CONFLICTINGRENDERSTATE MAKE_D3DHRESULT(2081)
#define D3DERR_UNSUPPORTEDTEXTUREFILTER MAKE_D3DHRESULT(2082)
#define D3DERR_CONFLICTINGTEXTUREPALETTE MAKE_D3DHRESULT(2086)
#define D3DERR_DRIVERINTERNALERROR MAKE_D3DHRESULT(2087)
#define D3DERR_NOTFOUND MAKE_D3DHRESULT(2150)
#define D3DERR_MOREDATA MAKE_D3DHRESULT(2151)
#define D3DERR_DEVICELOST MAKE_D3DHRESULT(2152)
#define D3DERR_DEVICENOTRESET MAKE_D3DHRESULT(2153)
#define D3DERR_NOTAVAILABLE MAKE_D3DHRESULT(2154)
#define D3DERR_OUTOFVIDEOMEMORY MAKE_D3DHRESULT(380)
#define D3DERR_INVALIDDEVICE MAKE_D3DHRESULT(2155)
#define D3DERR_INVALIDCALL MAKE_D3DHRESULT(2156)
#define D3DERR_DRIVERINVALIDCALL MAKE_D3DHRESULT(2157)
#define D3DERR_WASSTILLDRAWING MAKE_D3DHRESULT(540)
#define D3DOK_NOAUTOGEN MAKE_D3DSTATUS(2159)

struct IDirect3D9;
struct IDirect3DDevice9;
struct IDirect3DResource9;
struct IDirect3DBaseTexture9;
struct IDirect3DTexture9;
struct IDirect3DVolumeTexture9;
struct IDirect3DCubeTexture9;
struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;
struct IDirect3DSurface9;
struct IDirect3DVolume9;
struct IDirect3DSwapChain9;
struct IDirect3DVertexDeclaration9;
struct IDirect3DVertexShader9;
struct IDirect3DPixelShader9;
struct IDirect3DStateBlock9;
struct IDirect3DQuery9;

// The interface identifiers.
inline constexpr IID IID_IDirect3D9 = {0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};
inline constexpr IID IID_IDirect3DDevice9 = {0xD0223B96, 0xBF7A, 0x43FD, {0x92, 0xBD, 0xA4, 0x3B, 0x0D, 0x82, 0xB9, 0xEB}};
inline constexpr IID IID_IDirect3DResource9 = {0x05EEC05D, 0x8F7D, 0x4362, {0xB9, 0x99, 0xD1, 0xBA, 0xF3, 0x57, 0xC7, 0x04}};
inline constexpr IID IID_IDirect3DBaseTexture9 = {0x580CA87E, 0x1D3C, 0x4D54, {0x99, 0x1D, 0xB7, 0xD3, 0xE3, 0xC2, 0x98, 0xCE}};
inline constexpr IID IID_IDirect3DTexture9 = {0x85C31227, 0x3DE5, 0x4F00, {0x9B, 0x3A, 0xF1, 0x1A, 0xC3, 0x8C, 0x18, 0xB5}};
inline constexpr IID IID_IDirect3DCubeTexture9 = {0xFFF32F81, 0xD953, 0x473A, {0x92, 0x23, 0x93, 0xD6, 0x52, 0xAB, 0xA9, 0x3F}};
inline constexpr IID IID_IDirect3DVolumeTexture9 = {0x2518526C, 0xE789, 0x4111, {0xA7, 0xB9, 0x47, 0xEF, 0x32, 0x8D, 0x13, 0xE6}};
inline constexpr IID IID_IDirect3DVertexBuffer9 = {0xB64BB1B5, 0xFD70, 0x4DF6, {0xBF, 0x91, 0x19, 0xD0, 0xA1, 0x24, 0x55, 0xE3}};
inline constexpr IID IID_IDirect3DIndexBuffer9 = {0x7C9DD65E, 0xD3F7, 0x4529, {0xAC, 0xEE, 0x78, 0x58, 0x30, 0xAC, 0xDE, 0x35}};
inline constexpr IID IID_IDirect3DSurface9 = {0x0CFBAF3A, 0x9FF6, 0x429A, {0x99, 0xB3, 0xA2, 0x79, 0x6A, 0xF8, 0xB8, 0x9B}};
inline constexpr IID IID_IDirect3DVolume9 = {0x24F416E6, 0x1F67, 0x4AA7, {0xB8, 0x8E, 0xD3, 0x3F, 0x6F, 0x31, 0x28, 0xA1}};
inline constexpr IID IID_IDirect3DSwapChain9 = {0x794950F2, 0xADFC, 0x458A, {0x90, 0x5E, 0x10, 0xA1, 0x0B, 0x0B, 0x50, 0x3B}};
inline constexpr IID IID_IDirect3DVertexDeclaration9 = {0xDD13C59C, 0x36FA, 0x4098, {0xA8, 0xFB, 0xC7, 0xED, 0x39, 0xDC, 0x85, 0x46}};
inline constexpr IID IID_IDirect3DVertexShader9 = {0xEFC5557E, 0x6265, 0x4613, {0x8A, 0x94, 0x43, 0x85, 0x78, 0x89, 0xEB, 0x36}};
inline constexpr IID IID_IDirect3DPixelShader9 = {0x6D3BDBDC, 0x5B02, 0x4415, {0xB8, 0x52, 0xCE, 0x5E, 0x8B, 0xCC, 0xB2, 0x89}};
inline constexpr IID IID_IDirect3DStateBlock9 = {0xB07C4FE5, 0x310D, 0x4BA8, {0xA2, 0x3C, 0x4F, 0x0F, 0x20, 0x6F, 0x21, 0x8B}};
inline constexpr IID IID_IDirect3DQuery9 = {0xD9771460, 0xA695, 0x4F26, {0xBB, 0xD3, 0x27, 0xB8, 0x40, 0xB5, 0x41, 0xCC}};

struct IDirect3D9 : public IUnknown {
    STDMETHOD(RegisterSoftwareDevice)(void* pInitializeFunction) PURE;
    STDMETHOD_(UINT, GetAdapterCount)() PURE;
    STDMETHOD(GetAdapterIdentifier)(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER9* pIdentifier) PURE;
    STDMETHOD_(UINT, GetAdapterModeCount)(UINT Adapter, D3DFORMAT Format) PURE;
    STDMETHOD(EnumAdapterModes)(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(GetAdapterDisplayMode)(UINT Adapter, D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(CheckDeviceType)(UINT Adapter, D3DDEVTYPE DevType, D3DFORMAT AdapterFormat,
                               D3DFORMAT BackBufferFormat, BOOL bWindowed) PURE;
    STDMETHOD(CheckDeviceFormat)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                 D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) PURE;
    STDMETHOD(CheckDeviceMultiSampleType)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat,
                                          BOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType,
                                          DWORD* pQualityLevels) PURE;
    STDMETHOD(CheckDepthStencilMatch)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                      D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) PURE;
    STDMETHOD(CheckDeviceFormatConversion)(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SourceFormat,
                                           D3DFORMAT TargetFormat) PURE;
    STDMETHOD(GetDeviceCaps)(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) PURE;
    STDMETHOD_(HMONITOR, GetAdapterMonitor)(UINT Adapter) PURE;
    STDMETHOD(CreateDevice)(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                            D3DPRESENT_PARAMETERS* pPresentationParameters,
                            IDirect3DDevice9** ppReturnedDeviceInterface) PURE;
};

struct IDirect3DDevice9 : public IUnknown {
    STDMETHOD(TestCooperativeLevel)() PURE;
    STDMETHOD_(UINT, GetAvailableTextureMem)() PURE;
    STDMETHOD(EvictManagedResources)() PURE;
    STDMETHOD(GetDirect3D)(IDirect3D9** ppD3D9) PURE;
    STDMETHOD(GetDeviceCaps)(D3DCAPS9* pCaps) PURE;
    STDMETHOD(GetDisplayMode)(UINT iSwapChain, D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(GetCreationParameters)(D3DDEVICE_CREATION_PARAMETERS* pParameters) PURE;
    STDMETHOD(SetCursorProperties)(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap) PURE;
    STDMETHOD_(void, SetCursorPosition)(int X, int Y, DWORD Flags) PURE;
    STDMETHOD_(BOOL, ShowCursor)(BOOL bShow) PURE;
    STDMETHOD(CreateAdditionalSwapChain)(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                         IDirect3DSwapChain9** pSwapChain) PURE;
    STDMETHOD(GetSwapChain)(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain) PURE;
    STDMETHOD_(UINT, GetNumberOfSwapChains)() PURE;
    STDMETHOD(Reset)(D3DPRESENT_PARAMETERS* pPresentationParameters) PURE;
    STDMETHOD(Present)(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                       const RGNDATA* pDirtyRegion) PURE;
    STDMETHOD(GetBackBuffer)(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                             IDirect3DSurface9** ppBackBuffer) PURE;
    STDMETHOD(GetRasterStatus)(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus) PURE;
    STDMETHOD(SetDialogBoxMode)(BOOL bEnableDialogs) PURE;
    STDMETHOD_(void, SetGammaRamp)(UINT iSwapChain, DWORD Flags, const D3DGAMMARAMP* pRamp) PURE;
    STDMETHOD_(void, GetGammaRamp)(UINT iSwapChain, D3DGAMMARAMP* pRamp) PURE;
    STDMETHOD(CreateTexture)(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                             IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) PURE;
    STDMETHOD(CreateVolumeTexture)(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
                                   D3DFORMAT Format, D3DPOOL Pool, IDirect3DVolumeTexture9** ppVolumeTexture,
                                   HANDLE* pSharedHandle) PURE;
    STDMETHOD(CreateCubeTexture)(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                 IDirect3DCubeTexture9** ppCubeTexture, HANDLE* pSharedHandle) PURE;
    STDMETHOD(CreateVertexBuffer)(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                  IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) PURE;
    STDMETHOD(CreateIndexBuffer)(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                 IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) PURE;
    STDMETHOD(CreateRenderTarget)(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                  DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9** ppSurface,
                                  HANDLE* pSharedHandle) PURE;
    STDMETHOD(CreateDepthStencilSurface)(UINT Width, UINT Height, D3DFORMAT Format,
                                         D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality,
                                         BOOL Discard, IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) PURE;
    STDMETHOD(UpdateSurface)(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                             IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) PURE;
    STDMETHOD(UpdateTexture)(IDirect3DBaseTexture9* pSourceTexture, IDirect3DBaseTexture9* pDestinationTexture) PURE;
    STDMETHOD(GetRenderTargetData)(IDirect3DSurface9* pRenderTarget, IDirect3DSurface9* pDestSurface) PURE;
    STDMETHOD(GetFrontBufferData)(UINT iSwapChain, IDirect3DSurface9* pDestSurface) PURE;
    STDMETHOD(StretchRect)(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                           IDirect3DSurface9* pDestSurface, const RECT* pDestRect, D3DTEXTUREFILTERTYPE Filter) PURE;
    STDMETHOD(ColorFill)(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color) PURE;
    STDMETHOD(CreateOffscreenPlainSurface)(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                           IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) PURE;
    STDMETHOD(SetRenderTarget)(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) PURE;
    STDMETHOD(GetRenderTarget)(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) PURE;
    STDMETHOD(SetDepthStencilSurface)(IDirect3DSurface9* pNewZStencil) PURE;
    STDMETHOD(GetDepthStencilSurface)(IDirect3DSurface9** ppZStencilSurface) PURE;
    STDMETHOD(BeginScene)() PURE;
    STDMETHOD(EndScene)() PURE;
    STDMETHOD(Clear)(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) PURE;
    STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) PURE;
    STDMETHOD(GetTransform)(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) PURE;
    STDMETHOD(MultiplyTransform)(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) PURE;
    STDMETHOD(SetViewport)(const D3DVIEWPORT9* pViewport) PURE;
    STDMETHOD(GetViewport)(D3DVIEWPORT9* pViewport) PURE;
    STDMETHOD(SetMaterial)(const D3DMATERIAL9* pMaterial) PURE;
    STDMETHOD(GetMaterial)(D3DMATERIAL9* pMaterial) PURE;
    STDMETHOD(SetLight)(DWORD Index, const D3DLIGHT9*) PURE;
    STDMETHOD(GetLight)(DWORD Index, D3DLIGHT9*) PURE;
    STDMETHOD(LightEnable)(DWORD Index, BOOL Enable) PURE;
    STDMETHOD(GetLightEnable)(DWORD Index, BOOL* pEnable) PURE;
    STDMETHOD(SetClipPlane)(DWORD Index, const float* pPlane) PURE;
    STDMETHOD(GetClipPlane)(DWORD Index, float* pPlane) PURE;
    STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE State, DWORD Value) PURE;
    STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE State, DWORD* pValue) PURE;
    STDMETHOD(CreateStateBlock)(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) PURE;
    STDMETHOD(BeginStateBlock)() PURE;
    STDMETHOD(EndStateBlock)(IDirect3DStateBlock9** ppSB) PURE;
    STDMETHOD(SetClipStatus)(const D3DCLIPSTATUS9* pClipStatus) PURE;
    STDMETHOD(GetClipStatus)(D3DCLIPSTATUS9* pClipStatus) PURE;
    STDMETHOD(GetTexture)(DWORD Stage, IDirect3DBaseTexture9** ppTexture) PURE;
    STDMETHOD(SetTexture)(DWORD Stage, IDirect3DBaseTexture9* pTexture) PURE;
    STDMETHOD(GetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) PURE;
    STDMETHOD(SetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(GetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) PURE;
    STDMETHOD(SetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(ValidateDevice)(DWORD* pNumPasses) PURE;
    STDMETHOD(SetPaletteEntries)(UINT PaletteNumber, const PALETTEENTRY* pEntries) PURE;
    STDMETHOD(GetPaletteEntries)(UINT PaletteNumber, PALETTEENTRY* pEntries) PURE;
    STDMETHOD(SetCurrentTexturePalette)(UINT PaletteNumber) PURE;
    STDMETHOD(GetCurrentTexturePalette)(UINT* PaletteNumber) PURE;
    STDMETHOD(SetScissorRect)(const RECT* pRect) PURE;
    STDMETHOD(GetScissorRect)(RECT* pRect) PURE;
    STDMETHOD(SetSoftwareVertexProcessing)(BOOL bSoftware) PURE;
    STDMETHOD_(BOOL, GetSoftwareVertexProcessing)() PURE;
    STDMETHOD(SetNPatchMode)(float nSegments) PURE;
    STDMETHOD_(float, GetNPatchMode)() PURE;
    STDMETHOD(DrawPrimitive)(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) PURE;
    STDMETHOD(DrawIndexedPrimitive)(D3DPRIMITIVETYPE, INT BaseVertexIndex, UINT MinVertexIndex, UINT NumVertices,
                                    UINT startIndex, UINT primCount) PURE;
    STDMETHOD(DrawPrimitiveUP)(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                               const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) PURE;
    STDMETHOD(DrawIndexedPrimitiveUP)(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                      UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                      const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) PURE;
    STDMETHOD(ProcessVertices)(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                               IDirect3DVertexBuffer9* pDestBuffer, IDirect3DVertexDeclaration9* pVertexDecl,
                               DWORD Flags) PURE;
    STDMETHOD(CreateVertexDeclaration)(const D3DVERTEXELEMENT9* pVertexElements,
                                       IDirect3DVertexDeclaration9** ppDecl) PURE;
    STDMETHOD(SetVertexDeclaration)(IDirect3DVertexDeclaration9* pDecl) PURE;
    STDMETHOD(GetVertexDeclaration)(IDirect3DVertexDeclaration9** ppDecl) PURE;
    STDMETHOD(SetFVF)(DWORD FVF) PURE;
    STDMETHOD(GetFVF)(DWORD* pFVF) PURE;
    STDMETHOD(CreateVertexShader)(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) PURE;
    STDMETHOD(SetVertexShader)(IDirect3DVertexShader9* pShader) PURE;
    STDMETHOD(GetVertexShader)(IDirect3DVertexShader9** ppShader) PURE;
    STDMETHOD(SetVertexShaderConstantF)(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(GetVertexShaderConstantF)(UINT StartRegister, float* pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(SetVertexShaderConstantI)(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(GetVertexShaderConstantI)(UINT StartRegister, int* pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(SetVertexShaderConstantB)(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) PURE;
    STDMETHOD(GetVertexShaderConstantB)(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) PURE;
    STDMETHOD(SetStreamSource)(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                               UINT Stride) PURE;
    STDMETHOD(GetStreamSource)(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                               UINT* pStride) PURE;
    STDMETHOD(SetStreamSourceFreq)(UINT StreamNumber, UINT Setting) PURE;
    STDMETHOD(GetStreamSourceFreq)(UINT StreamNumber, UINT* pSetting) PURE;
    STDMETHOD(SetIndices)(IDirect3DIndexBuffer9* pIndexData) PURE;
    STDMETHOD(GetIndices)(IDirect3DIndexBuffer9** ppIndexData) PURE;
    STDMETHOD(CreatePixelShader)(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) PURE;
    STDMETHOD(SetPixelShader)(IDirect3DPixelShader9* pShader) PURE;
    STDMETHOD(GetPixelShader)(IDirect3DPixelShader9** ppShader) PURE;
    STDMETHOD(SetPixelShaderConstantF)(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(GetPixelShaderConstantF)(UINT StartRegister, float* pConstantData, UINT Vector4fCount) PURE;
    STDMETHOD(SetPixelShaderConstantI)(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(GetPixelShaderConstantI)(UINT StartRegister, int* pConstantData, UINT Vector4iCount) PURE;
    STDMETHOD(SetPixelShaderConstantB)(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) PURE;
    STDMETHOD(GetPixelShaderConstantB)(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) PURE;
    STDMETHOD(DrawRectPatch)(UINT Handle, const float* pNumSegs, const D3DRECTPATCH_INFO* pRectPatchInfo) PURE;
    STDMETHOD(DrawTriPatch)(UINT Handle, const float* pNumSegs, const D3DTRIPATCH_INFO* pTriPatchInfo) PURE;
    STDMETHOD(DeletePatch)(UINT Handle) PURE;
    STDMETHOD(CreateQuery)(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) PURE;
};

struct IDirect3DStateBlock9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(Capture)() PURE;
    STDMETHOD(Apply)() PURE;
};

struct IDirect3DSwapChain9 : public IUnknown {
    STDMETHOD(Present)(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                       const RGNDATA* pDirtyRegion, DWORD dwFlags) PURE;
    STDMETHOD(GetFrontBufferData)(IDirect3DSurface9* pDestSurface) PURE;
    STDMETHOD(GetBackBuffer)(UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9** ppBackBuffer) PURE;
    STDMETHOD(GetRasterStatus)(D3DRASTER_STATUS* pRasterStatus) PURE;
    STDMETHOD(GetDisplayMode)(D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(GetPresentParameters)(D3DPRESENT_PARAMETERS* pPresentationParameters) PURE;
};

struct IDirect3DResource9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)() PURE;
    STDMETHOD_(void, PreLoad)() PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)() PURE;
};

struct IDirect3DVertexDeclaration9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) PURE;
};

struct IDirect3DVertexShader9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(GetFunction)(void*, UINT* pSizeOfData) PURE;
};

struct IDirect3DPixelShader9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(GetFunction)(void*, UINT* pSizeOfData) PURE;
};

struct IDirect3DBaseTexture9 : public IDirect3DResource9 {
    STDMETHOD_(DWORD, SetLOD)(DWORD LODNew) PURE;
    STDMETHOD_(DWORD, GetLOD)() PURE;
    STDMETHOD_(DWORD, GetLevelCount)() PURE;
    STDMETHOD(SetAutoGenFilterType)(D3DTEXTUREFILTERTYPE FilterType) PURE;
    STDMETHOD_(D3DTEXTUREFILTERTYPE, GetAutoGenFilterType)() PURE;
    STDMETHOD_(void, GenerateMipSubLevels)() PURE;
};

struct IDirect3DTexture9 : public IDirect3DBaseTexture9 {
    STDMETHOD(GetLevelDesc)(UINT Level, D3DSURFACE_DESC* pDesc) PURE;
    STDMETHOD(GetSurfaceLevel)(UINT Level, IDirect3DSurface9** ppSurfaceLevel) PURE;
    STDMETHOD(LockRect)(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(UINT Level) PURE;
    STDMETHOD(AddDirtyRect)(const RECT* pDirtyRect) PURE;
};

struct IDirect3DVolumeTexture9 : public IDirect3DBaseTexture9 {
    STDMETHOD(GetLevelDesc)(UINT Level, D3DVOLUME_DESC* pDesc) PURE;
    STDMETHOD(GetVolumeLevel)(UINT Level, IDirect3DVolume9** ppVolumeLevel) PURE;
    STDMETHOD(LockBox)(UINT Level, D3DLOCKED_BOX* pLockedVolume, const D3DBOX* pBox, DWORD Flags) PURE;
    STDMETHOD(UnlockBox)(UINT Level) PURE;
    STDMETHOD(AddDirtyBox)(const D3DBOX* pDirtyBox) PURE;
};

struct IDirect3DCubeTexture9 : public IDirect3DBaseTexture9 {
    STDMETHOD(GetLevelDesc)(UINT Level, D3DSURFACE_DESC* pDesc) PURE;
    STDMETHOD(GetCubeMapSurface)(D3DCUBEMAP_FACES FaceType, UINT Level, IDirect3DSurface9** ppCubeMapSurface) PURE;
    STDMETHOD(LockRect)(D3DCUBEMAP_FACES FaceType, UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                        DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(D3DCUBEMAP_FACES FaceType, UINT Level) PURE;
    STDMETHOD(AddDirtyRect)(D3DCUBEMAP_FACES FaceType, const RECT* pDirtyRect) PURE;
};

struct IDirect3DVertexBuffer9 : public IDirect3DResource9 {
    STDMETHOD(Lock)(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) PURE;
    STDMETHOD(Unlock)() PURE;
    STDMETHOD(GetDesc)(D3DVERTEXBUFFER_DESC* pDesc) PURE;
};

struct IDirect3DIndexBuffer9 : public IDirect3DResource9 {
    STDMETHOD(Lock)(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) PURE;
    STDMETHOD(Unlock)() PURE;
    STDMETHOD(GetDesc)(D3DINDEXBUFFER_DESC* pDesc) PURE;
};

struct IDirect3DSurface9 : public IDirect3DResource9 {
    STDMETHOD(GetContainer)(REFIID riid, void** ppContainer) PURE;
    STDMETHOD(GetDesc)(D3DSURFACE_DESC* pDesc) PURE;
    STDMETHOD(LockRect)(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) PURE;
    STDMETHOD(UnlockRect)() PURE;
    STDMETHOD(GetDC)(HDC* phdc) PURE;
    STDMETHOD(ReleaseDC)(HDC hdc) PURE;
};

struct IDirect3DVolume9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(REFGUID refguid) PURE;
    STDMETHOD(GetContainer)(REFIID riid, void** ppContainer) PURE;
    STDMETHOD(GetDesc)(D3DVOLUME_DESC* pDesc) PURE;
    STDMETHOD(LockBox)(D3DLOCKED_BOX* pLockedVolume, const D3DBOX* pBox, DWORD Flags) PURE;
    STDMETHOD(UnlockBox)() PURE;
};

struct IDirect3DQuery9 : public IUnknown {
    STDMETHOD(GetDevice)(IDirect3DDevice9** ppDevice) PURE;
    STDMETHOD_(D3DQUERYTYPE, GetType)() PURE;
    STDMETHOD_(DWORD, GetDataSize)() PURE;
    STDMETHOD(Issue)(DWORD dwIssueFlags) PURE;
    STDMETHOD(GetData)(void* pData, DWORD dwSize, DWORD dwGetDataFlags) PURE;
};

typedef IDirect3D9* LPDIRECT3D9;
typedef IDirect3DDevice9* LPDIRECT3DDEVICE9;
typedef IDirect3DBaseTexture9* LPDIRECT3DBASETEXTURE9;
typedef IDirect3DTexture9* LPDIRECT3DTEXTURE9;
typedef IDirect3DCubeTexture9* LPDIRECT3DCUBETEXTURE9;
typedef IDirect3DVolumeTexture9* LPDIRECT3DVOLUMETEXTURE9;
typedef IDirect3DSurface9* LPDIRECT3DSURFACE9;
typedef IDirect3DVertexBuffer9* LPDIRECT3DVERTEXBUFFER9;
typedef IDirect3DIndexBuffer9* LPDIRECT3DINDEXBUFFER9;
typedef IDirect3DVertexDeclaration9* LPDIRECT3DVERTEXDECLARATION9;
typedef IDirect3DQuery9* LPDIRECT3DQUERY9;
typedef IDirect3DVertexShader9* LPDIRECT3DVERTEXSHADER9;
typedef IDirect3DPixelShader9* LPDIRECT3DPIXELSHADER9;
typedef IDirect3DStateBlock9* LPDIRECT3DSTATEBLOCK9;
typedef IDirect3DSwapChain9* LPDIRECT3DSWAPCHAIN9;

// Creates the Direct3D object; null when the program was built against headers of
// another version (SDKVersion is neither 31 nor 32).
IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion);
