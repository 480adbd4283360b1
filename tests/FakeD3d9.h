// Stand-ins for the Direct3D 9 object and device, implementing the interfaces of the real
// headers, for tests that need exact control of what Direct3D reports and a record of what
// reached it. They work the same against any platform's d3d9.h.
//
// FakeDevice records the state calls (render, sampler and texture-stage states, textures,
// material, transforms, GetRenderState) and can be told to refuse them; it makes vertex and
// index buffers in memory (with a record of their locks) and vertex declarations, and
// records the stream bindings and draws in order. FakeDirect3D answers the enumeration
// questions from a table of configured adapters. Every other method answers E_NOTIMPL (or
// nothing).
#pragma once

#include <d3d9.h>
#include <string.h>

#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

namespace fake {

class FakeDevice;

// One lock of a buffer as the caller asked for it.
struct LockRecord {
    UINT offset;
    UINT size;
    DWORD flags;
    bool operator==(const LockRecord&) const = default;
};

// The counted-object part of the fake resources: the last Release deletes the object.
template <class Interface>
class FakeUnknown : public Interface {
public:
    ULONG refs = 1;

    virtual ~FakeUnknown() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() {
        const ULONG left = --refs;
        if (left == 0) delete this;
        return left;
    }
};

// A vertex or index buffer in memory. The device keeps the count of live buffers so tests
// can see that nothing leaks.
template <class Interface, class Desc>
class FakeBuffer : public FakeUnknown<Interface> {
public:
    std::vector<unsigned char> bytes;
    Desc desc{};
    std::vector<LockRecord> locks;
    int* live = nullptr;
    bool locked = false;
    bool failLocks = false;
    bool recordLocks = true;  // off for long runs

    FakeBuffer(UINT length, int* liveCount) : bytes(length, 0xCD), live(liveCount) { ++*live; }
    ~FakeBuffer() override { --*live; }

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) { return E_NOTIMPL; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() { return 0; }
    void STDMETHODCALLTYPE PreLoad() {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() { return desc.Type; }
    // Size 0 locks the whole buffer, as Direct3D does; a lock beyond the end, a second
    // lock, and every lock while failLocks is set are refused.
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) {
        if (recordLocks) locks.push_back(LockRecord{offset, size, flags});
        if (!data || failLocks || locked) return D3DERR_INVALIDCALL;
        if (size == 0 && offset == 0) size = static_cast<UINT>(bytes.size());
        if (static_cast<unsigned long long>(offset) + size > bytes.size()) return D3DERR_INVALIDCALL;
        locked = true;
        *data = bytes.data() + offset;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Unlock() {
        locked = false;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDesc(Desc* out) {
        if (!out) return D3DERR_INVALIDCALL;
        *out = desc;
        return D3D_OK;
    }
};

using FakeVertexBuffer = FakeBuffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using FakeIndexBuffer = FakeBuffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

class FakeVertexDeclaration : public FakeUnknown<IDirect3DVertexDeclaration9> {
public:
    std::vector<D3DVERTEXELEMENT9> elements;

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) {
        if (!count) return D3DERR_INVALIDCALL;
        if (out) memcpy(out, elements.data(), elements.size() * sizeof elements[0]);
        *count = static_cast<UINT>(elements.size());
        return D3D_OK;
    }
};

// The calls of the drawing path, in the order the device received them.
enum class DrawCall { Declaration, Stream, Indices, Draw, DrawIndexed };

struct DrawRecord {
    DrawCall call;
    DWORD a = 0;  // stream number, or primitive type
    const void* object = nullptr;  // the declaration or buffer bound
    UINT b = 0, c = 0, d = 0, e = 0;  // stream: offset, stride; draws: their numbers in order
    INT base = 0;                     // the base vertex of an indexed draw
    bool operator==(const DrawRecord&) const = default;
};

inline DrawRecord Draw(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    return DrawRecord{DrawCall::Draw, static_cast<DWORD>(type), nullptr, start, count, 0, 0, 0};
}
inline DrawRecord DrawIndexed(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices, UINT start, UINT count) {
    return DrawRecord{DrawCall::DrawIndexed, static_cast<DWORD>(type), nullptr, minIndex, vertices, start, count, base};
}

enum class Call { RenderState, SamplerState, StageState, Texture, Material, Transform, GetRenderState };

struct Record {
    Call call;
    DWORD index;  // state, sampler, stage or transform
    DWORD type;   // sampler or stage state type
    DWORD value;  // the value; for textures the low bits of the pointer
    bool operator==(const Record&) const = default;
};

class FakeDevice : public IDirect3DDevice9 {
public:
    std::vector<Record> calls;
    bool record = true;
    HRESULT setResult = D3D_OK;     // what the Set calls answer
    HRESULT getResult = D3D_OK;     // what GetRenderState answers (a pure device fails)
    bool nullMaterialSent = false;  // SetMaterial ever received a null pointer
    D3DMATERIAL9 lastMaterial{};
    D3DMATRIX lastMatrix{};
    std::map<DWORD, DWORD> renderStates;  // what GetRenderState reads
    ULONG refs = 1;
    int liveBuffers = 0;  // buffers made and not yet released
    int failCreations = 0;     // this many buffer creations from now on fail
    int creationsBeforeFailure = -1;  // >= 0: creations that succeed before failCreations apply
    std::vector<DrawRecord> draws;
    HRESULT drawResult = D3D_OK;

    bool RefuseCreation() {
        if (creationsBeforeFailure > 0) {
            --creationsBeforeFailure;
            return false;
        }
        if (failCreations > 0) {
            --failCreations;
            return true;
        }
        return false;
    }
    template <class Fake>
    HRESULT MakeBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, D3DRESOURCETYPE type, Fake*& made) {
        made = nullptr;
        if (length == 0 || RefuseCreation()) return D3DERR_OUTOFVIDEOMEMORY;
        made = new Fake(length, &liveBuffers);
        made->desc.Format = format;
        made->desc.Type = type;
        made->desc.Usage = usage;
        made->desc.Pool = pool;
        made->desc.Size = length;
        return D3D_OK;
    }
    std::vector<DrawRecord> DrawsOnly() const {
        std::vector<DrawRecord> out;
        for (const DrawRecord& r : draws)
            if (r.call == DrawCall::Draw || r.call == DrawCall::DrawIndexed) out.push_back(r);
        return out;
    }

    size_t Count(Call call) const {
        size_t n = 0;
        for (const Record& r : calls) n += r.call == call;
        return n;
    }
    void Log(Call call, DWORD index, DWORD type, DWORD value) {
        if (record) calls.push_back(Record{call, index, type, value});
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() { return --refs; }

    // The state calls.
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
        Log(Call::RenderState, state, 0, value);
        if (SUCCEEDED(setResult)) renderStates[state] = value;
        return setResult;
    }
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
        Log(Call::GetRenderState, state, 0, 0);
        if (FAILED(getResult)) return getResult;
        *value = renderStates.count(state) ? renderStates[state] : 0;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
        Log(Call::SamplerState, sampler, type, value);
        return setResult;
    }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
        Log(Call::StageState, stage, type, value);
        return setResult;
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
        Log(Call::Texture, stage, 0, static_cast<DWORD>(reinterpret_cast<uintptr_t>(texture)));
        return setResult;
    }
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) {
        Log(Call::Material, 0, 0, 0);
        if (!material)
            nullMaterialSent = true;
        else
            lastMaterial = *material;
        return material ? setResult : D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
        Log(Call::Transform, state, 0, 0);
        if (matrix) lastMatrix = *matrix;
        return setResult;
    }

    // Everything else.
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() { return E_NOTIMPL; }
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() { return 0; }
    HRESULT STDMETHODCALLTYPE EvictManagedResources() { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT, D3DDISPLAYMODE*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT, UINT, IDirect3DSurface9*) { return E_NOTIMPL; }
    void STDMETHODCALLTYPE SetCursorPosition(int, int, DWORD) {}
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL) { return FALSE; }
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain9**) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT, IDirect3DSwapChain9**) { return E_NOTIMPL; }
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() { return 0; }
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Present(const RECT*, const RECT*, HWND, const RGNDATA*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT, D3DRASTER_STATUS*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL) { return E_NOTIMPL; }
    void STDMETHODCALLTYPE SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP*) {}
    void STDMETHODCALLTYPE GetGammaRamp(UINT, D3DGAMMARAMP*) {}
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**,
                                            HANDLE*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                                  IDirect3DVolumeTexture9**, HANDLE*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9**,
                                                HANDLE*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                 IDirect3DVertexBuffer9** out, HANDLE*) {
        FakeVertexBuffer* made = nullptr;
        const HRESULT hr = MakeBuffer(length, usage, D3DFMT_VERTEXDATA, pool, D3DRTYPE_VERTEXBUFFER, made);
        if (made) made->desc.FVF = fvf;
        if (out) *out = made;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DIndexBuffer9** out, HANDLE*) {
        FakeIndexBuffer* made = nullptr;
        const HRESULT hr = MakeBuffer(length, usage, format, pool, D3DRTYPE_INDEXBUFFER, made);
        if (out) *out = made;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                                 IDirect3DSurface9**, HANDLE*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL,
                                                        IDirect3DSurface9**, HANDLE*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT, IDirect3DSurface9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*,
                                          D3DTEXTUREFILTERTYPE) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9*, const RECT*, D3DCOLOR) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**,
                                                          HANDLE*) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD, IDirect3DSurface9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD, IDirect3DSurface9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginScene() { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndScene() { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLight(DWORD, const D3DLIGHT9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLight(DWORD, D3DLIGHT9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD, BOOL) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD, BOOL*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD, const float*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD, float*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE, IDirect3DStateBlock9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginStateBlock() { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD, IDirect3DBaseTexture9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT, const PALETTEENTRY*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT, PALETTEENTRY*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(BOOL) { return E_NOTIMPL; }
    BOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() { return FALSE; }
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float) { return E_NOTIMPL; }
    float STDMETHODCALLTYPE GetNPatchMode() { return 0.0f; }
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
        draws.push_back(Draw(type, start, count));
        return drawResult;
    }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices,
                                                   UINT start, UINT count) {
        draws.push_back(DrawIndexed(type, base, minIndex, vertices, start, count));
        return drawResult;
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT,
                                                     const void*, UINT) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*,
                                              IDirect3DVertexDeclaration9*, DWORD) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                      IDirect3DVertexDeclaration9** out) {
        if (!elements || !out) return D3DERR_INVALIDCALL;
        FakeVertexDeclaration* made = new FakeVertexDeclaration;
        for (int i = 0; i < 64; ++i) {
            made->elements.push_back(elements[i]);
            if (elements[i].Stream == 0xFF) break;
        }
        *out = made;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
        draws.push_back(DrawRecord{DrawCall::Declaration, 0, declaration});
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD*, IDirect3DVertexShader9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT, const float*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT, float*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT, const int*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT, int*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT, const BOOL*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT, BOOL*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
        draws.push_back(DrawRecord{DrawCall::Stream, stream, buffer, offset, stride});
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT, IDirect3DVertexBuffer9**, UINT*, UINT*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT, UINT*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) {
        draws.push_back(DrawRecord{DrawCall::Indices, 0, buffer});
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD*, IDirect3DPixelShader9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9**) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT, const float*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT, float*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT, const int*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT, int*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT, const BOOL*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT, BOOL*, UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE, IDirect3DQuery9**) { return E_NOTIMPL; }
};

// One adapter as the fake Direct3D reports it.
struct FakeAdapter {
    D3DDISPLAYMODE desktop{640, 480, 60, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> modes;  // in the order EnumAdapterModes reports them
    // Device types with their caps; a type not listed has no caps.
    std::map<D3DDEVTYPE, D3DCAPS9> devices;
    std::vector<D3DFORMAT> depthFormats{D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D32};
    bool depthBitsMustMatch = false;  // CheckDepthStencilMatch wants the back buffer's bit count
    // Multisample types with their quality-level counts, the same for every format.
    std::map<D3DMULTISAMPLE_TYPE, DWORD> multiSample{{D3DMULTISAMPLE_NONE, 1}};
    std::set<std::pair<D3DFORMAT, D3DMULTISAMPLE_TYPE>> depthConflicts;
};

inline D3DCAPS9 Caps(DWORD devCaps, DWORD presentIntervals) {
    D3DCAPS9 caps;
    memset(&caps, 0, sizeof caps);
    caps.DevCaps = devCaps;
    caps.PresentationIntervals = presentIntervals;
    return caps;
}

// The display formats and their alpha twins, as the runtime pairs them.
inline bool IsDisplayFormat(D3DFORMAT f) {
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_A2R10G10B10;
}
inline bool BackBufferFits(D3DFORMAT display, D3DFORMAT back) {
    return back == display || (display == D3DFMT_X8R8G8B8 && back == D3DFMT_A8R8G8B8) ||
           (display == D3DFMT_X1R5G5B5 && back == D3DFMT_A1R5G5B5);
}
inline UINT DepthBits(D3DFORMAT f) { return f == D3DFMT_D16 || f == D3DFMT_D15S1 ? 16 : 32; }
inline UINT ColourBits(D3DFORMAT f) { return f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_A1R5G5B5 ? 16 : 32; }

class FakeDirect3D : public IDirect3D9 {
public:
    std::vector<FakeAdapter> adapters;
    ULONG refs = 1;

    const FakeAdapter* Adapter(UINT ordinal) const { return ordinal < adapters.size() ? &adapters[ordinal] : nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() { return --refs; }
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void*) { return E_NOTIMPL; }
    UINT STDMETHODCALLTYPE GetAdapterCount() { return static_cast<UINT>(adapters.size()); }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT ordinal, DWORD, D3DADAPTER_IDENTIFIER9* id) {
        if (!Adapter(ordinal)) return D3DERR_INVALIDCALL;
        memset(id, 0, sizeof *id);
        id->VendorId = 0x1234;
        id->DeviceId = ordinal;
        return D3D_OK;
    }
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT ordinal, D3DFORMAT format) {
        const FakeAdapter* a = Adapter(ordinal);
        UINT n = 0;
        if (a)
            for (const D3DDISPLAYMODE& m : a->modes) n += m.Format == format;
        return n;
    }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT ordinal, D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a) return D3DERR_INVALIDCALL;
        for (const D3DDISPLAYMODE& m : a->modes)
            if (m.Format == format && index-- == 0) {
                *mode = m;
                return D3D_OK;
            }
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT ordinal, D3DDISPLAYMODE* mode) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a) return D3DERR_INVALIDCALL;
        *mode = a->desktop;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT ordinal, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT back,
                                              BOOL windowed) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a || !a->devices.count(type) || !IsDisplayFormat(display)) return D3DERR_INVALIDCALL;
        if (!BackBufferFits(display, back)) return D3DERR_NOTAVAILABLE;
        // A windowed swap chain presents onto the desktop as it is.
        if (windowed && (display != a->desktop.Format || display == D3DFMT_A2R10G10B10)) return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT ordinal, D3DDEVTYPE type, D3DFORMAT, DWORD usage,
                                                D3DRESOURCETYPE, D3DFORMAT format) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a || !a->devices.count(type)) return D3DERR_INVALIDCALL;
        if (usage & D3DUSAGE_DEPTHSTENCIL) {
            for (D3DFORMAT d : a->depthFormats)
                if (d == format) return D3D_OK;
            return D3DERR_NOTAVAILABLE;
        }
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT ordinal, D3DDEVTYPE type, D3DFORMAT format, BOOL,
                                                         D3DMULTISAMPLE_TYPE ms, DWORD* levels) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a || !a->devices.count(type)) return D3DERR_INVALIDCALL;
        const auto it = a->multiSample.find(ms);
        if (it == a->multiSample.end() || a->depthConflicts.count({format, ms})) return D3DERR_NOTAVAILABLE;
        if (levels) *levels = it->second;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT ordinal, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT target,
                                                     D3DFORMAT depth) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a || !a->devices.count(type)) return D3DERR_INVALIDCALL;
        if (a->depthBitsMustMatch && DepthBits(depth) != ColourBits(target)) return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT) {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT ordinal, D3DDEVTYPE type, D3DCAPS9* caps) {
        const FakeAdapter* a = Adapter(ordinal);
        if (!a) return D3DERR_INVALIDCALL;
        const auto it = a->devices.find(type);
        if (it == a->devices.end()) return D3DERR_NOTAVAILABLE;
        *caps = it->second;
        return D3D_OK;
    }
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT) { return nullptr; }
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*,
                                           IDirect3DDevice9**) {
        return E_NOTIMPL;
    }
};

}  // namespace fake
