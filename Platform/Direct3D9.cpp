// The reference Direct3D 9 runtime for the Linux build: the Direct3D object over a table
// of adapters that tests configure, the call log, armed faults, the format facts the
// device checks against, and the platform's test interface. The device itself lives in
// Direct3D9Device.cpp and Direct3D9Draw.cpp, its resource objects in Direct3D9Objects.cpp.
//
// The Direct3D object copies the adapter table when it is created, as the runtime reads
// the adapters once; every enumeration answer then follows from that copy, with the
// runtime's documented results for arguments it refuses.
#include "Direct3D9Internal.h"

#include <PlatformTestD3d9.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace d3d9 {

// Off until a test asks: a program that never reads its records (the saver itself, run
// for hours) keeps none.
bool g_recording = false;
bool g_faultsArmed = false;
size_t g_drawCount = 0;
size_t g_presentCount = 0;

namespace {

std::vector<CallRecord> g_log;
// A long run with recording on would grow the log without end: past this many records the
// older half is dropped, so the log holds at least the latest half of the limit.
constexpr size_t kMaxLogRecords = size_t(1) << 18;
uint32_t g_nextNumber = 0;
int g_live[static_cast<int>(PlatformTestD3d9Kind::Count)];

struct ArmedFault {
    std::string method;
    int remaining;
    HRESULT result;
};
std::vector<ArmedFault> g_faults;
std::vector<PlatformTestOcclusionResult> g_occlusion;
size_t g_occlusionNext = 0;

std::vector<PlatformTestD3d9Adapter>& Adapters() {
    static std::vector<PlatformTestD3d9Adapter> adapters{PlatformTest_D3d9DefaultAdapter()};
    return adapters;
}

constexpr UINT kSdkVersion31 = 31;
constexpr UINT kSdkVersion32 = 32;
constexpr UINT kSdkDebugBit = 0x80000000u;  // the debug headers' flag on the version
constexpr DWORD kMaxMultiSample = 16;

bool IsKnownDeviceType(D3DDEVTYPE type) {
    return type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF || type == D3DDEVTYPE_SW ||
           type == D3DDEVTYPE_NULLREF;
}

}  // namespace

CallArg F(float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    return CallArg{ArgKind::Float, bits};
}

CallArg O(const void* object) {
    // Every interface of the family starts with IUnknown; an object not of this device
    // family is logged as none.
    const ObjectBase* base = object ? Base(static_cast<IUnknown*>(const_cast<void*>(object))) : nullptr;
    return CallArg{ArgKind::Object, base ? base->number : 0};
}

void Record(const char* method, bool failed, std::initializer_list<CallArg> args) {
    CallRecord record;
    record.method = method;
    record.failed = failed;
    record.count = 0;
    for (const CallArg& arg : args) {
        if (record.count == sizeof record.args / sizeof record.args[0]) break;
        record.args[record.count++] = arg;
    }
    if (g_log.size() >= kMaxLogRecords) g_log.erase(g_log.begin(), g_log.begin() + kMaxLogRecords / 2);
    g_log.push_back(std::move(record));
}

void RecordText(const char* method, std::string detail) {
    CallRecord record;
    record.method = method;
    record.failed = false;
    record.count = 0;
    record.detail = std::move(detail);
    if (g_log.size() >= kMaxLogRecords) g_log.erase(g_log.begin(), g_log.begin() + kMaxLogRecords / 2);
    g_log.push_back(std::move(record));
}

HRESULT CheckFault(const char* method) {
    for (size_t i = 0; i < g_faults.size(); ++i) {
        ArmedFault& fault = g_faults[i];
        if (fault.method != method) continue;
        if (--fault.remaining > 0) return S_OK;
        const HRESULT result = fault.result;
        g_faults.erase(g_faults.begin() + static_cast<long>(i));
        g_faultsArmed = !g_faults.empty();
        return result;
    }
    return S_OK;
}

uint32_t NextObjectNumber() { return ++g_nextNumber; }

void CountLive(PlatformTestD3d9Kind kind, int delta) { g_live[static_cast<int>(kind)] += delta; }

bool NextScriptedOcclusion(PlatformTestOcclusionResult& out) {
    if (g_occlusionNext >= g_occlusion.size()) return false;
    out = g_occlusion[g_occlusionNext++];
    return true;
}

// ---- formats ----------------------------------------------------------------------------

bool IsDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ||
           format == D3DFMT_A2R10G10B10;
}

bool IsDepthFormat(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D32:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D16:
    case D3DFMT_D32F_LOCKABLE:
    case D3DFMT_D24FS8: return true;
    default: return false;
    }
}

bool HasStencil(D3DFORMAT format) {
    return format == D3DFMT_D15S1 || format == D3DFMT_D24S8 || format == D3DFMT_D24X4S4 ||
           format == D3DFMT_D24FS8;
}

bool IsLockableDepth(D3DFORMAT format) { return format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D32F_LOCKABLE; }

bool IsBlockCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

UINT FormatBits(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_A4L4: return 8;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8P8:
    case D3DFMT_A8L8:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
    case D3DFMT_D16:
    case D3DFMT_L16:
    case D3DFMT_INDEX16:
    case D3DFMT_R16F:
    case D3DFMT_CxV8U8:
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8: return 16;
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_G16R16:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_A2W10V10U10:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32F_LOCKABLE:
    case D3DFMT_D24FS8:
    case D3DFMT_INDEX32:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F:
    case D3DFMT_MULTI2_ARGB8: return 32;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F: return 64;
    case D3DFMT_A32B32G32R32F: return 128;
    case D3DFMT_DXT1: return 4;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return 8;
    default: return 0;
    }
}

UINT RowPitch(D3DFORMAT format, UINT width) {
    if (IsBlockCompressed(format)) return ((width + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
    // Rows start on 4-byte boundaries, as the runtime lays them out: a row of five 16-bit
    // texels takes 12 bytes. Only a reader that steps by the pitch it was given reads the
    // next row where it is.
    return ((width * FormatBits(format) + 7) / 8 + 3) & ~3u;
}

size_t SurfaceBytes(D3DFORMAT format, UINT width, UINT height) {
    const size_t rows = IsBlockCompressed(format) ? (height + 3) / 4 : height;
    return rows * RowPitch(format, width);
}

D3DFORMAT WithoutAlpha(D3DFORMAT format) {
    if (format == D3DFMT_A8R8G8B8) return D3DFMT_X8R8G8B8;
    if (format == D3DFMT_A1R5G5B5) return D3DFMT_X1R5G5B5;
    return format;
}

bool Contains(const std::vector<D3DFORMAT>& list, D3DFORMAT format) {
    return std::find(list.begin(), list.end(), format) != list.end();
}

// ---- the Direct3D object ----------------------------------------------------------------

Direct3D::Direct3D() : adapters(Adapters()) { CountLive(PlatformTestD3d9Kind::Direct3D, 1); }

Direct3D::~Direct3D() { CountLive(PlatformTestD3d9Kind::Direct3D, -1); }

HRESULT STDMETHODCALLTYPE Direct3D::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
        AddRef();
        *out = static_cast<IDirect3D9*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE Direct3D::Release() {
    const ULONG left = --refs;
    if (left == 0) delete this;
    return left;
}

const PlatformTestD3d9Adapter* Direct3D::Adapter(UINT ordinal) const {
    return ordinal < adapters.size() ? &adapters[ordinal] : nullptr;
}

HRESULT Direct3D::CheckAdapter(UINT ordinal, D3DDEVTYPE type) const {
    const PlatformTestD3d9Adapter* a = Adapter(ordinal);
    if (!a || !IsKnownDeviceType(type)) return D3DERR_INVALIDCALL;
    if (!a->devices.count(type)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D::RegisterSoftwareDevice(void*) { return D3DERR_INVALIDCALL; }

UINT STDMETHODCALLTYPE Direct3D::GetAdapterCount() { return static_cast<UINT>(adapters.size()); }

HRESULT STDMETHODCALLTYPE Direct3D::GetAdapterIdentifier(UINT ordinal, DWORD flags, D3DADAPTER_IDENTIFIER9* id) {
    if (HRESULT hr = Fault("GetAdapterIdentifier")) return hr;
    const PlatformTestD3d9Adapter* a = Adapter(ordinal);
    if (!a || !id || (flags & ~static_cast<DWORD>(D3DENUM_WHQL_LEVEL))) return D3DERR_INVALIDCALL;
    *id = a->identifier;
    return D3D_OK;
}

UINT STDMETHODCALLTYPE Direct3D::GetAdapterModeCount(UINT ordinal, D3DFORMAT format) {
    const PlatformTestD3d9Adapter* a = Adapter(ordinal);
    if (!a || !IsDisplayFormat(format)) return 0;
    UINT count = 0;
    for (const D3DDISPLAYMODE& mode : a->modes) count += mode.Format == format;
    return count;
}

HRESULT STDMETHODCALLTYPE Direct3D::EnumAdapterModes(UINT ordinal, D3DFORMAT format, UINT index,
                                                     D3DDISPLAYMODE* mode) {
    if (HRESULT hr = Fault("EnumAdapterModes")) return hr;
    const PlatformTestD3d9Adapter* a = Adapter(ordinal);
    if (!a || !mode || !IsDisplayFormat(format)) return D3DERR_INVALIDCALL;
    for (const D3DDISPLAYMODE& m : a->modes) {
        if (m.Format != format) continue;
        if (index-- == 0) {
            *mode = m;
            return D3D_OK;
        }
    }
    return D3DERR_INVALIDCALL;
}

HRESULT STDMETHODCALLTYPE Direct3D::GetAdapterDisplayMode(UINT ordinal, D3DDISPLAYMODE* mode) {
    if (HRESULT hr = Fault("GetAdapterDisplayMode")) return hr;
    const PlatformTestD3d9Adapter* a = Adapter(ordinal);
    if (!a || !mode) return D3DERR_INVALIDCALL;
    *mode = a->desktop;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D::CheckDeviceType(UINT ordinal, D3DDEVTYPE type, D3DFORMAT display,
                                                    D3DFORMAT back, BOOL windowed) {
    if (HRESULT hr = Fault("CheckDeviceType")) return hr;
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    const PlatformTestD3d9Adapter& a = adapters[ordinal];
    if (!IsDisplayFormat(display)) return D3DERR_INVALIDCALL;
    // A 10-bit desktop exists only in full screen.
    if (windowed && display == D3DFMT_A2R10G10B10) return D3DERR_NOTAVAILABLE;
    if (windowed && back == D3DFMT_UNKNOWN) back = display;
    if (WithoutAlpha(back) != display) return D3DERR_NOTAVAILABLE;
    if (GetAdapterModeCount(ordinal, display) == 0) return D3DERR_NOTAVAILABLE;
    if (!Contains(a.renderTargetFormats, back)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D::CheckDeviceFormat(UINT ordinal, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                      DWORD usage, D3DRESOURCETYPE resourceType, D3DFORMAT format) {
    if (HRESULT hr = Fault("CheckDeviceFormat")) return hr;
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    const PlatformTestD3d9Adapter& a = adapters[ordinal];
    if (adapterFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;

    switch (resourceType) {
    case D3DRTYPE_VERTEXBUFFER:
        return format == D3DFMT_VERTEXDATA && usage == (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL))
                   ? D3D_OK
                   : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_INDEXBUFFER:
        return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_SURFACE:
    case D3DRTYPE_TEXTURE:
    case D3DRTYPE_CUBETEXTURE:
    case D3DRTYPE_VOLUMETEXTURE:
    case D3DRTYPE_VOLUME: break;
    default: return D3DERR_INVALIDCALL;
    }
    return FormatAvailable(a, usage, resourceType, format);
}

namespace {

HRESULT UsageAvailable(const PlatformTestD3d9Adapter& a, DWORD usage, D3DRESOURCETYPE resourceType, D3DFORMAT format) {
    const bool texture = resourceType != D3DRTYPE_SURFACE && resourceType != D3DRTYPE_VOLUME;
    if (usage & D3DUSAGE_DEPTHSTENCIL) {
        if (usage & D3DUSAGE_RENDERTARGET) return D3DERR_NOTAVAILABLE;
        if (resourceType == D3DRTYPE_VOLUMETEXTURE || resourceType == D3DRTYPE_VOLUME) return D3DERR_NOTAVAILABLE;
        return Contains(texture ? a.depthTextureFormats : a.depthFormats, format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    if (usage & D3DUSAGE_RENDERTARGET) {
        if (resourceType == D3DRTYPE_VOLUMETEXTURE || resourceType == D3DRTYPE_VOLUME) return D3DERR_NOTAVAILABLE;
        if (!Contains(a.renderTargetFormats, format)) return D3DERR_NOTAVAILABLE;
    } else if (usage & D3DUSAGE_DMAP) {
        if (resourceType != D3DRTYPE_TEXTURE || !Contains(a.displacementFormats, format)) return D3DERR_NOTAVAILABLE;
    } else if (!Contains(a.textureFormats, format)) {
        return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

}  // namespace

HRESULT FormatAvailable(const PlatformTestD3d9Adapter& a, DWORD usage, D3DRESOURCETYPE resourceType, D3DFORMAT format) {
    const bool autoGen = (usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
    // Levels the device builds would be lost each time the program rewrites the top one.
    if (autoGen && (usage & D3DUSAGE_DYNAMIC)) return D3DERR_NOTAVAILABLE;
    if (HRESULT hr = UsageAvailable(a, usage, resourceType, format); hr != D3D_OK || !autoGen) return hr;
    // The generation is a hint: a format the device cannot filter its levels for still
    // makes the texture, with a success that says no levels will follow.
    const bool generated = (resourceType == D3DRTYPE_TEXTURE || resourceType == D3DRTYPE_CUBETEXTURE) &&
                           Contains(a.autoGenMipmapFormats, format);
    return generated ? D3D_OK : D3DOK_NOAUTOGEN;
}

HRESULT STDMETHODCALLTYPE Direct3D::CheckDeviceMultiSampleType(UINT ordinal, D3DDEVTYPE type, D3DFORMAT format,
                                                               BOOL, D3DMULTISAMPLE_TYPE multiSample,
                                                               DWORD* levels) {
    if (HRESULT hr = Fault("CheckDeviceMultiSampleType")) return hr;
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    const PlatformTestD3d9Adapter& a = adapters[ordinal];
    if (format == D3DFMT_UNKNOWN || static_cast<DWORD>(multiSample) > kMaxMultiSample) return D3DERR_INVALIDCALL;
    const std::map<D3DMULTISAMPLE_TYPE, DWORD>& table = MultiSampleTable(a, format);
    const auto it = table.find(multiSample);
    const bool surfaceFormat = Contains(a.renderTargetFormats, format) || Contains(a.depthFormats, format);
    // The runtime writes one level also when it refuses.
    if (levels) *levels = 1;
    if (!surfaceFormat) return D3DERR_NOTAVAILABLE;
    if (multiSample == D3DMULTISAMPLE_NONE) return D3D_OK;
    if (it == table.end()) return D3DERR_NOTAVAILABLE;
    if (levels) *levels = it->second;
    return D3D_OK;
}

const std::map<D3DMULTISAMPLE_TYPE, DWORD>& MultiSampleTable(const PlatformTestD3d9Adapter& a, D3DFORMAT format) {
    const auto own = a.multiSampleByFormat.find(format);
    return own != a.multiSampleByFormat.end() ? own->second : a.multiSample;
}

bool MultiSampleSupported(const PlatformTestD3d9Adapter& a, D3DFORMAT format, D3DMULTISAMPLE_TYPE type,
                          DWORD quality) {
    // Single sampling is every format's, with its one quality level.
    if (type == D3DMULTISAMPLE_NONE) return quality == 0;
    const std::map<D3DMULTISAMPLE_TYPE, DWORD>& table = MultiSampleTable(a, format);
    const auto it = table.find(type);
    return it != table.end() && quality < it->second;
}

HRESULT STDMETHODCALLTYPE Direct3D::CheckDepthStencilMatch(UINT ordinal, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                           D3DFORMAT target, D3DFORMAT depth) {
    if (HRESULT hr = Fault("CheckDepthStencilMatch")) return hr;
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    const PlatformTestD3d9Adapter& a = adapters[ordinal];
    if (!IsDisplayFormat(adapterFormat)) return D3DERR_INVALIDCALL;
    if (!Contains(a.depthFormats, depth) || !Contains(a.renderTargetFormats, target)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE Direct3D::CheckDeviceFormatConversion(UINT ordinal, D3DDEVTYPE type, D3DFORMAT source,
                                                                D3DFORMAT target) {
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    const PlatformTestD3d9Adapter& a = adapters[ordinal];
    // StretchRect converts between render-target formats and from the packed YUV formats.
    if (!Contains(a.renderTargetFormats, target)) return D3DERR_NOTAVAILABLE;
    if (Contains(a.renderTargetFormats, source) || source == D3DFMT_YUY2 || source == D3DFMT_UYVY) return D3D_OK;
    return D3DERR_NOTAVAILABLE;
}

HRESULT STDMETHODCALLTYPE Direct3D::GetDeviceCaps(UINT ordinal, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (HRESULT hr = Fault("GetDeviceCaps")) return hr;
    if (!caps) return D3DERR_INVALIDCALL;
    if (HRESULT hr = CheckAdapter(ordinal, type)) return hr;
    *caps = adapters[ordinal].devices.at(type);
    caps->DeviceType = type;
    caps->AdapterOrdinal = ordinal;
    return D3D_OK;
}

HMONITOR STDMETHODCALLTYPE Direct3D::GetAdapterMonitor(UINT ordinal) {
    // A handle of its own per adapter: nothing reads through it.
    if (!Adapter(ordinal)) return nullptr;
    return reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(0x10000 + ordinal));
}

}  // namespace d3d9

using namespace d3d9;

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) {
    const UINT version = SDKVersion & ~kSdkDebugBit;
    if (version != kSdkVersion31 && version != kSdkVersion32) return nullptr;
    if (FAILED(Fault("Direct3DCreate9"))) return nullptr;
    return new Direct3D();
}

// ---- the default adapter ----------------------------------------------------------------

D3DCAPS9 PlatformTest_D3d9DefaultCaps() {
    D3DCAPS9 c;
    memset(&c, 0, sizeof c);
    c.DeviceType = D3DDEVTYPE_HAL;
    c.Caps = D3DCAPS_READ_SCANLINE;
    c.Caps2 = D3DCAPS2_FULLSCREENGAMMA | D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES |
              D3DCAPS2_CANAUTOGENMIPMAP;
    c.Caps3 = D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD | D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_TWO |
                              D3DPRESENT_INTERVAL_THREE | D3DPRESENT_INTERVAL_FOUR;
    c.CursorCaps = D3DCURSORCAPS_COLOR;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_TEXTURENONLOCALVIDMEM | D3DDEVCAPS_DRAWPRIMITIVES2 |
                D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_CANBLTSYSTONONLOCAL |
                D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_PUREDEVICE;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPPLANESCALEDPOINTS |
                          D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP | D3DPMISCCAPS_BLENDOP |
                          D3DPMISCCAPS_INDEPENDENTWRITEMASKS | D3DPMISCCAPS_FOGANDSPECULARALPHA |
                          D3DPMISCCAPS_SEPARATEALPHABLEND | D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS |
                          D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING | D3DPMISCCAPS_FOGVERTEXCLAMPED;
    c.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                   D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_ANISOTROPY |
                   D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE |
                   D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS |
                   D3DPRASTERCAPS_MULTISAMPLE_TOGGLE;
    c.ZCmpCaps = c.AlphaCmpCaps = 0xFF;  // every comparison
    c.SrcBlendCaps = c.DestBlendCaps = 0x3FFF;  // every blend factor
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                  D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                    D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                    D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MINFANISOTROPIC |
                          D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                          D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    c.CubeTextureFilterCaps = c.TextureFilterCaps;
    c.VolumeTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                                D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.TextureAddressCaps = c.VolumeTextureAddressCaps = 0x3F;  // every address mode, independent U and V
    c.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                 D3DLINECAPS_FOG | D3DLINECAPS_ANTIALIAS;
    c.MaxTextureWidth = c.MaxTextureHeight = 4096;
    c.MaxVolumeExtent = 512;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 16;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = c.GuardBandTop = -1e8f;
    c.GuardBandRight = c.GuardBandBottom = 1e8f;
    c.StencilCaps = 0x1FF;  // every stencil operation, two-sided
    c.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    c.TextureOpCaps = 0x03FFFFFF;  // every texture operation
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                             D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER | D3DVTXPCAPS_TEXGEN_SPHEREMAP;
    c.MaxActiveLights = 8;
    c.MaxUserClipPlanes = 6;
    c.MaxVertexBlendMatrices = 4;
    c.MaxVertexBlendMatrixIndex = 0;
    c.MaxPointSize = 64.0f;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 16;
    c.MaxStreamStride = 508;
    c.VertexShaderVersion = D3DVS_VERSION(2, 0);
    c.MaxVertexShaderConst = 256;
    c.PixelShaderVersion = D3DPS_VERSION(2, 0);
    c.PixelShader1xMaxValue = 8.0f;
    c.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES |
                 D3DDEVCAPS2_VERTEXELEMENTSCANSHARESTREAMOFFSET;
    c.NumberOfAdaptersInGroup = 1;
    c.DeclTypes = 0x3FF;  // every declaration type
    c.NumSimultaneousRTs = 4;
    c.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                              D3DPTFILTERCAPS_MAGFLINEAR;
    c.VS20Caps.Caps = D3DVS20CAPS_PREDICATION;
    c.VS20Caps.DynamicFlowControlDepth = D3DVS20_MAX_DYNAMICFLOWCONTROLDEPTH;
    c.VS20Caps.NumTemps = D3DVS20_MAX_NUMTEMPS;
    c.VS20Caps.StaticFlowControlDepth = D3DVS20_MAX_STATICFLOWCONTROLDEPTH;
    c.PS20Caps.NumTemps = D3DPS20_MIN_NUMTEMPS;
    c.PS20Caps.NumInstructionSlots = D3DPS20_MIN_NUMINSTRUCTIONSLOTS;
    c.MaxVShaderInstructionsExecuted = 65535;
    c.MaxPShaderInstructionsExecuted = 96;
    return c;
}

PlatformTestD3d9Adapter PlatformTest_D3d9DefaultAdapter() {
    PlatformTestD3d9Adapter a;
    memset(&a.identifier, 0, sizeof a.identifier);
    snprintf(a.identifier.Driver, sizeof a.identifier.Driver, "corvane_ref.dll");
    snprintf(a.identifier.Description, sizeof a.identifier.Description, "Corvane Reference Device");
    snprintf(a.identifier.DeviceName, sizeof a.identifier.DeviceName, "\\\\.\\DISPLAY1");
    a.identifier.DriverVersion.QuadPart = (LONGLONG(9) << 48) | (LONGLONG(0) << 32) | 3;
    a.identifier.VendorId = 0x1D0C;
    a.identifier.DeviceId = 0x0009;
    a.identifier.WHQLLevel = 1;
    a.desktop = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
        for (const auto& size : sizes)
            for (UINT hz : {60u, 75u}) a.modes.push_back(D3DDISPLAYMODE{size[0], size[1], hz, format});
    a.devices[D3DDEVTYPE_HAL] = PlatformTest_D3d9DefaultCaps();
    a.renderTargetFormats = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5,
                             D3DFMT_A1R5G5B5, D3DFMT_A2R10G10B10, D3DFMT_R32F, D3DFMT_A16B16G16R16F};
    a.depthFormats = {D3DFMT_D24S8, D3DFMT_D16, D3DFMT_D24X8};
    a.depthTextureFormats = a.depthFormats;
    a.textureFormats = {D3DFMT_X8R8G8B8,    D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                        D3DFMT_A4R4G4B4,    D3DFMT_X4R4G4B4, D3DFMT_A2R10G10B10, D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8,
                        D3DFMT_A2B10G10R10, D3DFMT_G16R16,   D3DFMT_A16B16G16R16, D3DFMT_A8,     D3DFMT_L8,
                        D3DFMT_A8L8,        D3DFMT_L16,      D3DFMT_V8U8,     D3DFMT_L6V5U5,   D3DFMT_X8L8V8U8,
                        D3DFMT_Q8W8V8U8,    D3DFMT_V16U16,   D3DFMT_DXT1,     D3DFMT_DXT2,     D3DFMT_DXT3,
                        D3DFMT_DXT4,        D3DFMT_DXT5,     D3DFMT_R16F,     D3DFMT_G16R16F,  D3DFMT_A16B16G16R16F,
                        D3DFMT_R32F,        D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F};
    a.autoGenMipmapFormats = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5};
    a.multiSample = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_NONMASKABLE, 4}, {D3DMULTISAMPLE_2_SAMPLES, 1},
                     {D3DMULTISAMPLE_4_SAMPLES, 1}};
    a.queries = {D3DQUERYTYPE_EVENT, D3DQUERYTYPE_OCCLUSION, D3DQUERYTYPE_TIMESTAMP, D3DQUERYTYPE_TIMESTAMPDISJOINT,
                 D3DQUERYTYPE_TIMESTAMPFREQ};
    a.textureMemory = 256u << 20;
    return a;
}

void PlatformTest_D3d9SetAdapters(const std::vector<PlatformTestD3d9Adapter>& adapters) { Adapters() = adapters; }

// ---- the rest of the test interface ------------------------------------------------------

void PlatformTest_D3d9FailCall(const char* method, int nth, HRESULT result) {
    if (!method || nth < 1) return;
    for (ArmedFault& fault : g_faults) {
        if (fault.method == method) {
            fault.remaining = nth;
            fault.result = result;
            return;
        }
    }
    g_faults.push_back(ArmedFault{method, nth, result});
    g_faultsArmed = true;
}

void PlatformTest_D3d9LoseDevice(IDirect3DDevice9* device) {
    for (Device* d : LiveDevices())
        if (!device || d == AsDevice(device)) {
            d->state = DeviceState::Lost;
            d->heldLost = true;
        }
}

void PlatformTest_D3d9AllowReset(IDirect3DDevice9* device) {
    for (Device* d : LiveDevices())
        if (!device || d == AsDevice(device)) {
            d->heldLost = false;
            if (d->state == DeviceState::Lost) d->state = DeviceState::NotReset;
        }
}

void PlatformTest_D3d9ScriptOcclusion(const std::vector<PlatformTestOcclusionResult>& results) {
    g_occlusion = results;
    g_occlusionNext = 0;
}

bool PlatformTest_D3d9RenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, DWORD* value) {
    Device* d = AsDevice(device);
    if (!d || !value || static_cast<UINT>(state) >= kRenderStates) return false;
    *value = d->states.render[state];
    return true;
}

bool PlatformTest_D3d9SamplerState(IDirect3DDevice9* device, DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    Device* d = AsDevice(device);
    const int slot = SamplerSlot(sampler);
    if (!d || !value || slot < 0 || type < 1 || static_cast<UINT>(type) >= kSamplerTypes) return false;
    *value = d->states.sampler[slot][type];
    return true;
}

bool PlatformTest_D3d9TextureStageState(IDirect3DDevice9* device, DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                        DWORD* value) {
    Device* d = AsDevice(device);
    if (!d || !value || stage >= kStages || type < 1 || static_cast<UINT>(type) >= kStageTypes) return false;
    *value = d->states.stage[stage][type];
    return true;
}

bool PlatformTest_D3d9Transform(IDirect3DDevice9* device, D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    Device* d = AsDevice(device);
    if (!d || !matrix || !IsTransform(state)) return false;
    *matrix = d->states.transform[state];
    return true;
}

D3DVIEWPORT9 PlatformTest_D3d9Viewport(IDirect3DDevice9* device) {
    Device* d = AsDevice(device);
    return d ? d->states.viewport : D3DVIEWPORT9{};
}

RECT PlatformTest_D3d9ScissorRect(IDirect3DDevice9* device) {
    Device* d = AsDevice(device);
    return d ? d->states.scissor : RECT{};
}

ULONG PlatformTest_D3d9RefCount(IUnknown* object) {
    if (!object) return 0;
    object->AddRef();
    return object->Release();
}

std::vector<std::string> PlatformTest_D3d9CallLog() {
    std::vector<std::string> lines;
    lines.reserve(g_log.size());
    for (const CallRecord& record : g_log) {
        std::string line = record.method;
        if (!record.detail.empty()) {
            lines.push_back(line + record.detail);
            continue;
        }
        line += '(';
        for (uint8_t i = 0; i < record.count; ++i) {
            if (i) line += ", ";
            char text[32];
            const CallArg& arg = record.args[i];
            switch (arg.kind) {
            case ArgKind::Unsigned: snprintf(text, sizeof text, "%u", arg.value); break;
            case ArgKind::Signed: snprintf(text, sizeof text, "%d", static_cast<int32_t>(arg.value)); break;
            case ArgKind::Hex: snprintf(text, sizeof text, "0x%X", arg.value); break;
            case ArgKind::Float: {
                float f;
                memcpy(&f, &arg.value, sizeof f);
                snprintf(text, sizeof text, "%g", static_cast<double>(f));
                break;
            }
            case ArgKind::Object:
                if (arg.value)
                    snprintf(text, sizeof text, "#%u", arg.value);
                else
                    snprintf(text, sizeof text, "null");
                break;
            }
            line += text;
        }
        line += ')';
        if (record.failed) line += " -> failed";
        lines.push_back(std::move(line));
    }
    return lines;
}

void PlatformTest_D3d9ClearCallLog() { g_log.clear(); }

void PlatformTest_D3d9SetRecording(bool on) { g_recording = on; }

size_t PlatformTest_D3d9DrawCount() { return g_drawCount; }

size_t PlatformTest_D3d9PresentCount() { return g_presentCount; }

unsigned PlatformTest_D3d9ObjectNumber(IUnknown* object) {
    if (!object) return 0;
    for (Device* d : LiveDevices())
        if (static_cast<IUnknown*>(d) == object) return d->number;
    ObjectBase* base = Base(object);
    return base ? base->number : 0;
}

int PlatformTest_D3d9LiveObjects(PlatformTestD3d9Kind kind) {
    const int index = static_cast<int>(kind);
    if (index < 0 || index >= static_cast<int>(PlatformTestD3d9Kind::Count)) return 0;
    return g_live[index];
}

void PlatformTest_D3d9Reset() {
    Adapters() = {PlatformTest_D3d9DefaultAdapter()};
    g_faults.clear();
    g_faultsArmed = false;
    g_occlusion.clear();
    g_occlusionNext = 0;
    for (Device* d : LiveDevices()) {
        d->state = DeviceState::Ok;
        d->screenYielded = false;
        d->heldLost = false;
    }
    g_log.clear();
    g_recording = true;
    g_drawCount = 0;
    g_presentCount = 0;
    g_nextNumber = 0;
}
