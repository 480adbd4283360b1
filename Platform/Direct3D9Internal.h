// The reference Direct3D 9 device's own declarations, shared by its source files
// (Direct3D9.cpp: the Direct3D object, the test interface and the call log;
// Direct3D9Device.cpp: device creation, reset, loss and fixed-function states;
// Direct3D9Draw.cpp: resources, bindings and draws; Direct3D9Objects.cpp: the resource
// objects; Direct3D9States.cpp: defaults, masks and state blocks).
//
// Reference counts follow the runtime. Every object has the count the program sees
// (AddRef/Release) and a count of the device's own holds (bindings, state blocks, the
// device's back buffer): binding an object does not change what the program sees, and an
// object lives while either count is above zero. While the program holds an object, the
// object holds its device, so a device outlives everything the program holds of it; when
// the device goes, its own holds are dropped and the objects only it held go with them.
#pragma once

#include <d3d9.h>

#include <stdint.h>

#include <bitset>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Direct3D9Shared.h"

namespace d3d9 {

class Device;
class Direct3D;

// ---- call log and faults -----------------------------------------------------------------

enum class ArgKind : uint8_t { Unsigned, Signed, Hex, Float, Object };

struct CallArg {
    ArgKind kind;
    uint32_t value;
};

inline CallArg U(uint32_t v) { return CallArg{ArgKind::Unsigned, v}; }
inline CallArg I(int32_t v) { return CallArg{ArgKind::Signed, static_cast<uint32_t>(v)}; }
inline CallArg H(uint32_t v) { return CallArg{ArgKind::Hex, v}; }
CallArg F(float v);
CallArg O(const void* object);  // an object of this device family, or null

struct CallRecord {
    const char* method;
    uint8_t count;
    bool failed;
    CallArg args[8];
    // Records made outside the device (by effects) carry their whole text here, printed
    // after the method's name in place of the arguments.
    std::string detail;
};

extern bool g_recording;
extern bool g_faultsArmed;
extern size_t g_drawCount;
extern size_t g_presentCount;

// Appends a record (the caller checks g_recording first).
void Record(const char* method, bool failed, std::initializer_list<CallArg> args);
inline void Log(const char* method, HRESULT result, std::initializer_list<CallArg> args) {
    if (g_recording) Record(method, FAILED(result), args);
}
// Appends a record of a library working on the device (effects): the method's name
// followed by `detail` as it is (the caller checks g_recording first).
void RecordText(const char* method, std::string detail);
// S_OK, or the result a test armed for this call of the method.
HRESULT CheckFault(const char* method);
inline HRESULT Fault(const char* method) { return g_faultsArmed ? CheckFault(method) : S_OK; }

// The next creation number.
uint32_t NextObjectNumber();
void CountLive(PlatformTestD3d9Kind kind, int delta);

// ---- formats ----------------------------------------------------------------------------

bool IsDisplayFormat(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);
bool HasStencil(D3DFORMAT format);
bool IsLockableDepth(D3DFORMAT format);
// Bits per pixel, 0 for formats the device does not size.
UINT FormatBits(D3DFORMAT format);
bool IsBlockCompressed(D3DFORMAT format);
// Bytes of one row of `width` pixels, and of the whole surface.
UINT RowPitch(D3DFORMAT format, UINT width);
size_t SurfaceBytes(D3DFORMAT format, UINT width, UINT height);
// X8R8G8B8 for A8R8G8B8, X1R5G5B5 for A1R5G5B5, else the format itself.
D3DFORMAT WithoutAlpha(D3DFORMAT format);
bool Contains(const std::vector<D3DFORMAT>& list, D3DFORMAT format);

// ---- objects ----------------------------------------------------------------------------

class ObjectBase {
public:
    ObjectBase(Device* device, PlatformTestD3d9Kind kind, bool heldByProgram);
    virtual ~ObjectBase();
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;

    // A texture's level surfaces count on their texture: these four are virtual so that
    // a reference to, or a binding of, a level holds the texture whole.
    virtual ULONG AddRefImpl();
    virtual ULONG ReleaseImpl();
    virtual void Bind() { ++binds; }
    virtual void Unbind();
    // Whether the program holds a reference.
    virtual bool HeldByProgram() const { return refs > 0; }
    virtual bool Answers(REFIID riid) const = 0;
    virtual IUnknown* Interface() = 0;
    // Default-pool objects must all be released before a reset.
    virtual bool BlocksReset() const { return false; }
    // An object the device made for itself becomes the program's: one reference, which
    // holds the device, and no hold of the device's.
    void HandToProgram();

    Device* device;
    ULONG refs;
    ULONG binds = 0;
    uint32_t number;
    PlatformTestD3d9Kind kind;
};

template <class I>
class Object : public I, public ObjectBase {
public:
    Object(Device* device, PlatformTestD3d9Kind kind, bool heldByProgram = true)
        : ObjectBase(device, kind, heldByProgram) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || Answers(riid)) {
            AddRefImpl();
            *out = static_cast<I*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    IUnknown* Interface() override { return static_cast<I*>(this); }
};

// What every IDirect3DResource9 answers: private data, priority, type.
template <class I>
class Resource : public Object<I> {
public:
    Resource(Device* device, PlatformTestD3d9Kind kind, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage,
             bool heldByProgram = true)
        : Object<I>(device, kind, heldByProgram), type(type), pool(pool), usage(usage) {}
    ~Resource() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** out) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID guid, const void* data, DWORD size, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID guid, void* data, DWORD* size) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID guid) override;
    DWORD STDMETHODCALLTYPE SetPriority(DWORD priority) override;
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type; }
    bool BlocksReset() const override { return pool == D3DPOOL_DEFAULT && this->HeldByProgram(); }

    D3DRESOURCETYPE type;
    D3DPOOL pool;
    DWORD usage;
    DWORD priority = 0;

private:
    struct PrivateData {
        std::vector<uint8_t> bytes;
        IUnknown* object = nullptr;  // with D3DSPD_IUNKNOWN: held until freed
    };
    std::vector<std::pair<GUID, PrivateData>> privateData;
    PrivateData* FindData(REFGUID guid);
    void Free(PrivateData& data);
};

class Buffer {
public:
    explicit Buffer(UINT length) : bytes(length) {}
    // Checks and hands out a range; `buffer` and `usage` are the owning resource's.
    HRESULT LockBytes(const void* buffer, DWORD usage, UINT offset, UINT size, void** data, DWORD flags);
    HRESULT UnlockBytes();
    std::vector<uint8_t> bytes;
    int locks = 0;
};

class VertexBuffer final : public Resource<IDirect3DVertexBuffer9>, public Buffer {
public:
    VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~VertexBuffer() override;
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    DWORD fvf;
};

class IndexBuffer final : public Resource<IDirect3DIndexBuffer9>, public Buffer {
public:
    IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~IndexBuffer() override;
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    D3DFORMAT format;
};

class SwapChain;

class Surface final : public Resource<IDirect3DSurface9> {
public:
    Surface(Device* device, const D3DSURFACE_DESC& desc, bool lockable, bool heldByProgram);
    // A level of a texture: its pixels live in the texture's memory, and its counting is
    // the texture's.
    Surface(Device* device, const D3DSURFACE_DESC& desc, bool lockable, ObjectBase* container, uint8_t* pixels);
    ~Surface() override;
    ULONG AddRefImpl() override;
    ULONG ReleaseImpl() override;
    void Bind() override;
    void Unbind() override;
    bool HeldByProgram() const override;
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** container) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override;
    // The back buffer and the automatic depth buffer count against a reset like any
    // default-pool surface: the program must have let go of them.
    D3DSURFACE_DESC desc;
    bool lockable;
    bool locked = false;
    SwapChain* swapChain = nullptr;  // set for the back buffer
    ObjectBase* container = nullptr;  // the texture this surface is a level of
    // A second unlock of a 2D texture's level is harmless to the runtime; of any other
    // surface it is an error.
    bool unlockTwiceAllowed = false;
    std::vector<uint8_t> bytes;  // the pixels of a surface that is no texture's level
    uint8_t* pixels = nullptr;   // where the pixels are; null when the surface keeps none
};

// What 2D and cube textures share: their levels (each face's chain of surfaces, laid out
// one after another in one block of memory, as the runtime lays out the levels of
// system-memory and managed textures), the level of detail and the filter of automatic
// mip generation.
template <class I>
class TextureBase : public Resource<I> {
public:
    TextureBase(Device* device, PlatformTestD3d9Kind kind, D3DRESOURCETYPE type, UINT width, UINT height,
                UINT levels, UINT faces, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~TextureBase() override;
    DWORD STDMETHODCALLTYPE SetLOD(DWORD lod) override;
    DWORD STDMETHODCALLTYPE GetLOD() override { return lod; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return levels; }
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override { return autoGenFilter; }
    void STDMETHODCALLTYPE GenerateMipSubLevels() override {}
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;

    // The surface of a face's level; null when there is none.
    Surface* Level(UINT face, UINT level) const;
    HRESULT HandOutLevel(UINT face, UINT level, IDirect3DSurface9** out);
    size_t Bytes() const { return memory.size(); }

    UINT levels;
    UINT faces;
    D3DFORMAT format;
    DWORD lod = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter = D3DTEXF_LINEAR;
    std::vector<uint8_t> memory;
    std::vector<Surface*> surfaces;  // face-major: face * levels + level
};

class Texture final : public TextureBase<IDirect3DTexture9> {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** out) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(const RECT* rect) override;
};

class CubeTexture final : public TextureBase<IDirect3DCubeTexture9> {
public:
    CubeTexture(Device* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** out) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) override;
};

// The levels of a full mip chain of a texture this size.
UINT FullChain(UINT width, UINT height);
// D3D_OK when the adapter has `format` for a resource of this type and usage, else
// D3DERR_NOTAVAILABLE (the display format aside, which CheckDeviceFormat checks first);
// D3DOK_NOAUTOGEN, a success, when generated mip levels are asked of a format without them.
HRESULT FormatAvailable(const PlatformTestD3d9Adapter& adapter, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format);
// The multisample types a surface format has, with their quality-level counts.
const std::map<D3DMULTISAMPLE_TYPE, DWORD>& MultiSampleTable(const PlatformTestD3d9Adapter& adapter, D3DFORMAT format);
bool MultiSampleSupported(const PlatformTestD3d9Adapter& adapter, D3DFORMAT format, D3DMULTISAMPLE_TYPE type,
                          DWORD quality);

class VertexDeclaration final : public Object<IDirect3DVertexDeclaration9> {
public:
    VertexDeclaration(Device* device, const D3DVERTEXELEMENT9* elements, UINT count, bool heldByProgram);
    ~VertexDeclaration() override;
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** out) override;
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;
    // The bytes one vertex reads from `stream`: 0 when the declaration does not use it.
    UINT StreamExtent(UINT stream) const;
    std::vector<D3DVERTEXELEMENT9> elements;  // end marker included
    DWORD fvf = 0;                            // what GetFVF reports while this is set
    UINT fvfStride = 0;                       // made by SetFVF: the FVF's vertex size
};

template <class I, PlatformTestD3d9Kind K>
class Shader final : public Object<I> {
public:
    Shader(Device* device, std::vector<DWORD> tokens) : Object<I>(device, K), tokens(std::move(tokens)) {}
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** out) override;
    HRESULT STDMETHODCALLTYPE GetFunction(void* data, UINT* size) override;
    std::vector<DWORD> tokens;
};
using VertexShader = Shader<IDirect3DVertexShader9, PlatformTestD3d9Kind::VertexShader>;
using PixelShader = Shader<IDirect3DPixelShader9, PlatformTestD3d9Kind::PixelShader>;

class Query final : public Object<IDirect3DQuery9> {
public:
    Query(Device* device, D3DQUERYTYPE type);
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** out) override;
    D3DQUERYTYPE STDMETHODCALLTYPE GetType() override { return type; }
    DWORD STDMETHODCALLTYPE GetDataSize() override;
    HRESULT STDMETHODCALLTYPE Issue(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetData(void* data, DWORD size, DWORD flags) override;

    D3DQUERYTYPE type;
    bool begun = false;
    bool issued = false;
    size_t drawsAtBegin = 0;
    uint64_t result = 0;
    int pendingPolls = 0;
};

class SwapChain final : public Object<IDirect3DSwapChain9> {
public:
    explicit SwapChain(Device* device);
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty,
                                      DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(IDirect3DSurface9* dest) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** out) override;
    HRESULT STDMETHODCALLTYPE GetPresentParameters(D3DPRESENT_PARAMETERS* params) override;
};

// ---- states -----------------------------------------------------------------------------

constexpr UINT kRenderStates = 256;
constexpr UINT kSamplerTypes = 14;  // D3DSAMP_ADDRESSU (1) to D3DSAMP_DMAPOFFSET (13)
constexpr UINT kPixelSamplers = 16;
constexpr UINT kSamplerSlots = kPixelSamplers + 5;  // + the displacement-map and four vertex samplers
constexpr UINT kStages = 8;
constexpr UINT kStageTypes = 33;  // D3DTSS_COLOROP (1) to D3DTSS_CONSTANT (32)
constexpr UINT kTransforms = 512;
constexpr UINT kStreams = 16;
constexpr UINT kClipPlanes = 32;
constexpr UINT kRenderTargets = 4;
constexpr UINT kVertexFloatConstants = 256;
constexpr UINT kPixelFloatConstants = 224;
constexpr UINT kIntConstants = 16;
constexpr UINT kBoolConstants = 16;

// The sampler slot of a sampler number: 0-15, then D3DDMAPSAMPLER and the four vertex
// samplers; -1 for any other number.
int SamplerSlot(DWORD sampler);
// Whether the device keeps this transform.
bool IsTransform(DWORD state);

struct Light {
    D3DLIGHT9 light;
    BOOL enabled;
};

struct StreamBinding {
    VertexBuffer* buffer = nullptr;
    UINT offset = 0;
    UINT stride = 0;
    UINT frequency = 1;
};

// Every state a state block can hold. Objects in it are bound (held) by its owner.
struct StateSet {
    DWORD render[kRenderStates];
    DWORD sampler[kSamplerSlots][kSamplerTypes];
    DWORD stage[kStages][kStageTypes];
    D3DMATRIX transform[kTransforms];
    D3DMATERIAL9 material;
    std::map<DWORD, Light> lights;
    float clipPlanes[kClipPlanes][4];
    D3DVIEWPORT9 viewport;
    RECT scissor;
    IDirect3DBaseTexture9* textures[kSamplerSlots];
    StreamBinding streams[kStreams];
    IndexBuffer* indices = nullptr;
    VertexDeclaration* declaration = nullptr;
    DWORD fvf = 0;
    VertexShader* vertexShader = nullptr;
    PixelShader* pixelShader = nullptr;
    float vertexF[kVertexFloatConstants][4];
    int vertexI[kIntConstants][4];
    BOOL vertexB[kBoolConstants];
    float pixelF[kPixelFloatConstants][4];
    int pixelI[kIntConstants][4];
    BOOL pixelB[kBoolConstants];
    float nPatchMode = 0.0f;
};

// Which parts of a StateSet a state block holds.
struct StateMask {
    std::bitset<kRenderStates> render;
    std::bitset<kSamplerSlots * kSamplerTypes> sampler;
    std::bitset<kStages * kStageTypes> stage;
    std::bitset<kTransforms> transform;
    std::bitset<kSamplerSlots> textures;
    std::bitset<kStreams> streams;
    std::bitset<kStreams> frequencies;
    std::bitset<kClipPlanes> clipPlanes;
    std::vector<DWORD> lights;  // indices whose light or enable the block holds
    bool material = false, viewport = false, scissor = false, indices = false, declaration = false,
         vertexShader = false, pixelShader = false, nPatchMode = false, vertexConstants = false,
         pixelConstants = false;
    void All();
    void Pixel();
    void Vertex();
    void MarkLight(DWORD index);
};

class StateBlock final : public Object<IDirect3DStateBlock9> {
public:
    StateBlock(Device* device, const StateMask& mask, bool heldByProgram = true);
    ~StateBlock() override;
    bool Answers(REFIID riid) const override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** out) override;
    HRESULT STDMETHODCALLTYPE Capture() override;
    HRESULT STDMETHODCALLTYPE Apply() override;
    StateMask mask;
    std::unique_ptr<StateSet> states;
};

// Copies the masked parts of `from` into `to`, binding what `to` now holds and letting go
// of what it held.
void CopyStates(StateSet& to, const StateSet& from, const StateMask& mask);
// Lets go of every object a set holds.
void ReleaseStates(StateSet& states);
// The runtime's defaults; `maxPointSize` and the back buffer's size come from the device.
void DefaultStates(StateSet& states, const D3DCAPS9& caps, UINT width, UINT height, bool depthEnabled);

// Hands `object` out as `as` with a reference of the program's.
HRESULT HandOut(ObjectBase* object, IUnknown* as, void** out);
HRESULT GiveDevice(Device* device, IDirect3DDevice9** out);
// Fills a rectangle of a surface's pixels with a colour in 32-bit formats; surfaces of
// other formats keep their pixels (the device does not convert colours).
void FillRect(Surface& surface, const RECT& rect, D3DCOLOR color);

// Binding and unbinding any object of the family through its COM interface.
ObjectBase* Base(IUnknown* object);
void BindObject(IUnknown* object);
void UnbindObject(IUnknown* object);
template <class T>
void Assign(T*& slot, T* value) {
    if (slot == value) return;
    if (value) BindObject(value);
    T* old = slot;
    slot = value;
    if (old) UnbindObject(old);
}

// ---- the Direct3D object and the device --------------------------------------------------

class Direct3D final : public IDirect3D9 {
public:
    Direct3D();
    ~Direct3D();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void* initialize) override;
    UINT STDMETHODCALLTYPE GetAdapterCount() override;
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id) override;
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index,
                                               D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT back,
                                              BOOL windowed) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                                D3DRESOURCETYPE resourceType, D3DFORMAT format) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format,
                                                         BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                                         DWORD* levels) override;
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                     D3DFORMAT target, D3DFORMAT depth) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE type, D3DFORMAT source,
                                                          D3DFORMAT target) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT adapter) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
                                           D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) override;

    const PlatformTestD3d9Adapter* Adapter(UINT ordinal) const;
    // D3D_OK, or why this adapter and device type cannot be asked.
    HRESULT CheckAdapter(UINT adapter, D3DDEVTYPE type) const;
    // Completes and checks presentation parameters for CreateDevice and Reset: D3D_OK with
    // `params` filled in (size and format of a windowed swap chain, the buffer count), or
    // D3DERR_INVALIDCALL with `params` untouched.
    HRESULT ValidatePresentation(UINT adapter, D3DDEVTYPE type, HWND focus, D3DPRESENT_PARAMETERS& params) const;

    std::vector<PlatformTestD3d9Adapter> adapters;
    ULONG refs = 1;
};

enum class DeviceState { Ok, Lost, NotReset };

class Device final : public IDirect3DDevice9 {
public:
    Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior,
           const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps);
    ~Device();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override;
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override;
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* pCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface9* pCursorBitmap) override;
    void STDMETHODCALLTYPE SetCursorPosition(int X, int Y, DWORD Flags) override;
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL bShow) override;
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters, IDirect3DSwapChain9** pSwapChain) override;
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT iSwapChain, IDirect3DSwapChain9** pSwapChain) override;
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override;
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride, const RGNDATA* pDirtyRegion) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface9** ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT iSwapChain, D3DRASTER_STATUS* pRasterStatus) override;
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL bEnableDialogs) override;
    void STDMETHODCALLTYPE SetGammaRamp(UINT iSwapChain, DWORD Flags, const D3DGAMMARAMP* pRamp) override;
    void STDMETHODCALLTYPE GetGammaRamp(UINT iSwapChain, D3DGAMMARAMP* pRamp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DVolumeTexture9** ppVolumeTexture, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DCubeTexture9** ppCubeTexture, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, DWORD MultisampleQuality, BOOL Discard, IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect, IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* pSourceTexture, IDirect3DBaseTexture9* pDestinationTexture) override;
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* pRenderTarget, IDirect3DSurface9* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT iSwapChain, IDirect3DSurface9* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect, IDirect3DSurface9* pDestSurface, const RECT* pDestRect, D3DTEXTUREFILTERTYPE Filter) override;
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color) override;
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool, IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override;
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* pViewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* pMaterial) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* pMaterial) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD Index, const D3DLIGHT9*) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD Index, D3DLIGHT9*) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD Index, const float* pPlane) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD Index, float* pPlane) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE Type, IDirect3DStateBlock9** ppSB) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override;
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9** ppSB) override;
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS9* pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9* pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* pNumPasses) override;
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT PaletteNumber, const PALETTEENTRY* pEntries) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY* pEntries) override;
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT* pRect) override;
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* pRect) override;
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(BOOL bSoftware) override;
    BOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override;
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float nSegments) override;
    float STDMETHODCALLTYPE GetNPatchMode() override;
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE, INT BaseVertexIndex, UINT MinVertexIndex, UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices, UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat, const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount, IDirect3DVertexBuffer9* pDestBuffer, IDirect3DVertexDeclaration9* pVertexDecl, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements, IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD FVF) override;
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD* pFVF) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* pShader) override;
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes, UINT Stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes, UINT* pStride) override;
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT StreamNumber, UINT Setting) override;
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT StreamNumber, UINT* pSetting) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** ppIndexData) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* pFunction, IDirect3DPixelShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* pShader) override;
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9** ppShader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT StartRegister, const int* pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT StartRegister, int* pConstantData, UINT Vector4iCount) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT StartRegister, const BOOL* pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT StartRegister, BOOL* pConstantData, UINT BoolCount) override;
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT Handle, const float* pNumSegs, const D3DRECTPATCH_INFO* pRectPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT Handle, const float* pNumSegs, const D3DTRIPATCH_INFO* pTriPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT Handle) override;
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override;

    const PlatformTestD3d9Adapter& AdapterConfig() const;
    bool IsPure() const { return (behavior & D3DCREATE_PUREDEVICE) != 0; }
    // The set Set* calls write: the recording state block's, or the device's own.
    StateSet& Target() { return recording ? *recording->states : states; }
    StateMask* RecordingMask() { return recording ? &recording->mask : nullptr; }
    void Track(ObjectBase* object) { live.push_back(object); }
    void Untrack(ObjectBase* object);
    // Builds (or rebuilds after a reset) the swap chain's buffers and the default states.
    void BuildSwapChain();
    void ReleaseSwapChain();
    void ResetStates();
    // The program left the foreground, or came back to it (Direct3D9Focus.cpp).
    void YieldScreen();
    void RegainScreen();
    HWND DeviceWindow() const;
    // Checks a draw of `vertexCount` vertices from `startVertex` against the bound streams.
    HRESULT CheckStreams(UINT startVertex, UINT vertexCount) const;
    VertexDeclaration* DeclarationForFVF(DWORD fvf);
    Surface* RenderTargetSurface() const { return renderTargets[0]; }

    ULONG refs = 1;
    uint32_t number;
    Direct3D* d3d;
    UINT adapter;
    D3DDEVTYPE deviceType;
    HWND focusWindow;
    DWORD behavior;
    D3DPRESENT_PARAMETERS present;
    D3DCAPS9 caps;
    DeviceState state = DeviceState::Ok;
    bool screenYielded = false;  // lost with the foreground, until the program is in front again
    bool heldLost = false;       // lost by the test, until the test allows a reset
    bool inScene = false;
    BOOL softwareVertexProcessing = FALSE;
    StateSet states;
    StateBlock* recording = nullptr;
    Surface* renderTargets[kRenderTargets] = {};
    Surface* depthStencil = nullptr;
    SwapChain* swapChain = nullptr;
    std::vector<Surface*> backBuffers;
    Surface* autoDepthStencil = nullptr;
    std::map<DWORD, VertexDeclaration*> fvfDeclarations;  // held by the device
    std::vector<ObjectBase*> live;
    D3DGAMMARAMP gamma;
    D3DCLIPSTATUS9 clipStatus{};
    BOOL cursorVisible = FALSE;
    UINT texturePalette = 0;
    std::map<UINT, std::vector<PALETTEENTRY>> palettes;
    float nPatchSegments = 0.0f;
    size_t frames = 0;
    size_t defaultTextureBytes = 0;  // held by default-pool textures, for GetAvailableTextureMem
};

Device* AsDevice(IDirect3DDevice9* device);
// Lets full-screen devices hear their focus windows' activation; once is enough.
void WatchFocusWindows();
// Every live device, for the test interface.
std::vector<Device*>& LiveDevices();
// The occlusion result the next ended query gets: false when none is scripted.
bool NextScriptedOcclusion(PlatformTestOcclusionResult& out);

}  // namespace d3d9
