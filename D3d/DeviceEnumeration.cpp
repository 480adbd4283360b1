#include "D3d/DeviceEnumeration.h"

#include "Core/Log.h"

#include <string.h>

#include <utility>

namespace {

// The display formats an adapter is asked for modes of, in this order.
constexpr D3DFORMAT kAdapterFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5,
                                         D3DFMT_A2R10G10B10};
// Device types in the order they are preferred.
constexpr D3DDEVTYPE kDeviceTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_SW, D3DDEVTYPE_REF};
constexpr D3DFORMAT kBackBufferFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10,
                                            D3DFMT_R5G6B5,   D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5};
constexpr D3DFORMAT kDepthFormats[] = {D3DFMT_D16,   D3DFMT_D15S1,   D3DFMT_D24X8,
                                       D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32};
constexpr u32 kMaxMultiSampleType = 16;  // D3DMULTISAMPLE_16_SAMPLES
constexpr u32 kPresentIntervals[] = {D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT,
                                     D3DPRESENT_INTERVAL_ONE,       D3DPRESENT_INTERVAL_TWO,
                                     D3DPRESENT_INTERVAL_THREE,     D3DPRESENT_INTERVAL_FOUR};

// DevCaps bits that decide the vertex-processing kinds.
constexpr DWORD kDevCapsHardwareTransform = 0x10000;  // D3DDEVCAPS_HWTRANSFORMANDLIGHT
constexpr DWORD kDevCapsPureDevice = 0x100000;        // D3DDEVCAPS_PUREDEVICE

template <class T>
bool ListHas(const List<T>& list, const T& value) {
    return list.Contains(value);
}

template <class T>
void DeleteAll(PtrListOf<T>& list) {
    ForEachInFillOrder(list, [](T* item) { delete item; });
    list.Clear();
}

bool ModeLess(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    if (a.Width != b.Width) return a.Width < b.Width;
    if (a.Height != b.Height) return a.Height < b.Height;
    if (a.Format != b.Format) return static_cast<u32>(a.Format) < static_cast<u32>(b.Format);
    return a.RefreshRate < b.RefreshRate;
}

// A selection sort over the nodes in fill order: the smallest remaining mode is swapped
// forward, so equal modes keep no particular order but the result is the same every run.
void SortModes(List<D3DDISPLAYMODE>& modes) {
    using Node = List<D3DDISPLAYMODE>::Node;
    Node* slot = modes.current->next;
    for (i32 i = 0; i < modes.count; ++i, slot = slot->next) {
        Node* smallest = slot;
        Node* probe = slot->next;
        for (i32 j = i + 1; j < modes.count; ++j, probe = probe->next)
            if (ModeLess(probe->payload, smallest->payload)) smallest = probe;
        if (smallest != slot) std::swap(smallest->payload, slot->payload);
    }
}

}  // namespace

const MultiSampleEntry* DeviceCombo::FindMultiSample(D3DMULTISAMPLE_TYPE type) const {
    const MultiSampleEntry* found = nullptr;
    ForEachInFillOrder(multiSampleTypes, [&](const MultiSampleEntry& entry) {
        if (!found && entry.type == type) found = &entry;
    });
    return found;
}

DeviceInfo::~DeviceInfo() { DeleteAll(combos); }

AdapterInfo::~AdapterInfo() { DeleteAll(devices); }

DeviceEnumeration::DeviceEnumeration(IDirect3D9* d3d) : d3d_(d3d) {}

DeviceEnumeration::~DeviceEnumeration() { Clear(); }

void DeviceEnumeration::Clear() { DeleteAll(adapters_); }

bool DeviceEnumeration::Enumerate() {
    Clear();
    if (!d3d_) return false;
    const UINT adapterCount = d3d_->GetAdapterCount();
    for (UINT ordinal = 0; ordinal < adapterCount; ++ordinal) {
        AdapterInfo* adapter = new AdapterInfo;
        adapter->adapterOrdinal = ordinal;
        if (FAILED(d3d_->GetAdapterIdentifier(ordinal, 0, &adapter->identifier)))
            memset(&adapter->identifier, 0, sizeof adapter->identifier);

        List<D3DFORMAT> adapterFormats;
        for (D3DFORMAT format : kAdapterFormats) {
            const UINT modeCount = d3d_->GetAdapterModeCount(ordinal, format);
            for (UINT m = 0; m < modeCount; ++m) {
                D3DDISPLAYMODE mode{};
                // A mode the runtime cannot describe is left out rather than listed as garbage.
                if (FAILED(d3d_->EnumAdapterModes(ordinal, format, m, &mode))) continue;
                adapter->displayModes.PushBack(mode);
                if (!ListHas(adapterFormats, mode.Format)) adapterFormats.PushBack(mode.Format);
            }
        }
        SortModes(adapter->displayModes);
        EnumerateDevices(*adapter, adapterFormats);

        if (adapter->devices.count == 0 || !adapters_.PushBack(adapter)) delete adapter;
    }
    return true;
}

void DeviceEnumeration::EnumerateDevices(AdapterInfo& adapter, const List<D3DFORMAT>& adapterFormats) {
    for (D3DDEVTYPE type : kDeviceTypes) {
        DeviceInfo* device = new DeviceInfo;
        device->adapterOrdinal = adapter.adapterOrdinal;
        device->deviceType = type;
        if (SUCCEEDED(d3d_->GetDeviceCaps(adapter.adapterOrdinal, type, &device->caps)))
            EnumerateCombos(*device, adapterFormats);
        if (device->combos.count == 0 || !adapter.devices.PushBack(device)) delete device;
    }
}

void DeviceEnumeration::EnumerateCombos(DeviceInfo& device, const List<D3DFORMAT>& adapterFormats) {
    ForEachInFillOrder(adapterFormats, [&](D3DFORMAT adapterFormat) {
        for (D3DFORMAT backBufferFormat : kBackBufferFormats) {
            for (BOOL windowed = FALSE; windowed <= TRUE; ++windowed) {
                if (FAILED(d3d_->CheckDeviceType(device.adapterOrdinal, device.deviceType, adapterFormat,
                                                 backBufferFormat, windowed)))
                    continue;
                DeviceCombo* combo = new DeviceCombo;
                combo->adapterOrdinal = device.adapterOrdinal;
                combo->deviceType = device.deviceType;
                combo->adapterFormat = adapterFormat;
                combo->backBufferFormat = backBufferFormat;
                combo->windowed = windowed ? 1 : 0;
                if (!BuildCombo(*combo, device.caps) || !device.combos.PushBack(combo)) delete combo;
            }
        }
    });
}

bool DeviceEnumeration::BuildCombo(DeviceCombo& combo, const D3DCAPS9& caps) {
    const UINT ordinal = combo.adapterOrdinal;
    const D3DDEVTYPE type = combo.deviceType;
    const BOOL windowed = combo.windowed ? TRUE : FALSE;

    for (D3DFORMAT depth : kDepthFormats) {
        if (SUCCEEDED(d3d_->CheckDeviceFormat(ordinal, type, combo.adapterFormat, D3DUSAGE_DEPTHSTENCIL,
                                              D3DRTYPE_SURFACE, depth)) &&
            SUCCEEDED(d3d_->CheckDepthStencilMatch(ordinal, type, combo.adapterFormat, combo.backBufferFormat,
                                                   depth)))
            combo.depthStencilFormats.PushBack(depth);
    }
    if (combo.depthStencilFormats.count == 0) return false;

    for (u32 t = 0; t <= kMaxMultiSampleType; ++t) {
        const auto msType = static_cast<D3DMULTISAMPLE_TYPE>(t);
        DWORD levels = 0;
        if (SUCCEEDED(d3d_->CheckDeviceMultiSampleType(ordinal, type, combo.backBufferFormat, windowed, msType,
                                                       &levels)))
            combo.multiSampleTypes.PushBack(MultiSampleEntry{msType, static_cast<u32>(levels)});
    }
    if (combo.multiSampleTypes.count == 0) return false;

    ForEachInFillOrder(combo.depthStencilFormats, [&](D3DFORMAT depth) {
        ForEachInFillOrder(combo.multiSampleTypes, [&](const MultiSampleEntry& entry) {
            if (FAILED(d3d_->CheckDeviceMultiSampleType(ordinal, type, depth, windowed, entry.type, nullptr)))
                combo.conflicts.PushBack(DepthMultiSampleConflict{depth, entry.type});
        });
    });

    if (caps.DevCaps & kDevCapsHardwareTransform) {
        if (caps.DevCaps & kDevCapsPureDevice) combo.vertexProcessings.PushBack(kPureHardwareVertexProcessing);
        combo.vertexProcessings.PushBack(kHardwareVertexProcessing);
        combo.vertexProcessings.PushBack(kMixedVertexProcessing);
    }
    combo.vertexProcessings.PushBack(kSoftwareVertexProcessing);

    for (u32 interval : kPresentIntervals) {
        const bool multiFrame = interval == D3DPRESENT_INTERVAL_TWO || interval == D3DPRESENT_INTERVAL_THREE ||
                                interval == D3DPRESENT_INTERVAL_FOUR;
        // A windowed swap chain cannot wait for more than one vertical retrace.
        if (windowed && multiFrame) continue;
        if (interval == D3DPRESENT_INTERVAL_DEFAULT || (caps.PresentationIntervals & interval))
            combo.presentIntervals.PushBack(interval);
    }
    return true;
}

bool DeviceEnumeration::FindSettings(DeviceSettings& settings) const {
    if (!d3d_) return false;
    D3DDISPLAYMODE desktop{};
    if (FAILED(d3d_->GetAdapterDisplayMode(0, &desktop))) memset(&desktop, 0, sizeof desktop);

    const u32 flags = settings.requestFlags;
    const bool strict = (flags & kRequestStrict) != 0;

    // 1. The combo.
    const AdapterInfo* chosenAdapter = nullptr;
    const DeviceInfo* chosenDevice = nullptr;
    const DeviceCombo* candidate = nullptr;
    ForEachOwned(adapters_, [&](const AdapterInfo& adapter) {
        if ((flags & kRequestAdapter) && adapter.adapterOrdinal != settings.adapterOrdinal) return;
        ForEachOwned(adapter.devices, [&](const DeviceInfo& device) {
            const D3DDEVTYPE wanted = (flags & kRequestDeviceType) ? settings.deviceType : D3DDEVTYPE_HAL;
            if (device.deviceType != wanted) return;
            bool walkDone = false;
            ForEachOwned(device.combos, [&](const DeviceCombo& combo) {
                if (walkDone || combo.windowed != (settings.windowed ? 1 : 0)) return;
                bool exact = false;
                if (flags & kRequestBackBufferFormat) {
                    if (FormatBitsPerPixel(combo.backBufferFormat) != FormatBitsPerPixel(settings.backBufferFormat))
                        return;
                    exact = combo.backBufferFormat == settings.backBufferFormat;
                }
                const bool matchesFormat = combo.adapterFormat == combo.backBufferFormat;
                if (combo.adapterFormat == desktop.Format) {
                    if (!(flags & kRequestBackBufferFormat) && matchesFormat) exact = true;
                } else if (combo.windowed) {
                    return;
                }
                if (candidate && !matchesFormat && !exact) return;
                candidate = &combo;
                chosenAdapter = &adapter;
                chosenDevice = &device;
                if (exact) walkDone = true;
            });
        });
    });
    if (!candidate) return false;

    // 2.
    DeviceSettings found = settings;
    found.adapterOrdinal = candidate->adapterOrdinal;
    found.deviceType = candidate->deviceType;
    found.caps = chosenDevice->caps;
    found.backBufferFormat = candidate->backBufferFormat;

    // 3. The display mode.
    if (settings.windowed) {
        found.displayMode = desktop;
    } else {
        const D3DDISPLAYMODE* best = nullptr;
        ForEachInFillOrder(chosenAdapter->displayModes, [&](const D3DDISPLAYMODE& mode) {
            if (mode.Format != candidate->adapterFormat) return;
            if (flags & kRequestDisplaySize) {
                if (mode.Width != settings.displayMode.Width || mode.Height != settings.displayMode.Height) return;
                if ((flags & kRequestRefreshRate) && mode.RefreshRate != settings.displayMode.RefreshRate) return;
            } else if (mode.Width != desktop.Width || mode.Height != desktop.Height ||
                       mode.RefreshRate != desktop.RefreshRate) {
                return;
            }
            if (!best || mode.RefreshRate >= best->RefreshRate) best = &mode;
        });
        if (!best) return false;
        found.displayMode = *best;
    }

    // 4. The depth format.
    bool haveDepth = false;
    if (flags & kRequestDepthFormat) {
        if (ListHas(candidate->depthStencilFormats, settings.depthStencilFormat))
            haveDepth = true;
        else if (strict)
            return false;
    }
    if (!haveDepth) {
        const u32 bits = FormatBitsPerPixel(found.backBufferFormat);
        const D3DFORMAT preferred = bits == 16 ? D3DFMT_D16 : bits == 32 ? D3DFMT_D32 : D3DFMT_UNKNOWN;
        if (preferred != D3DFMT_UNKNOWN && ListHas(candidate->depthStencilFormats, preferred)) {
            found.depthStencilFormat = preferred;
            haveDepth = true;
        } else {
            ForEachInFillOrder(candidate->depthStencilFormats, [&](D3DFORMAT depth) {
                if (!haveDepth && FormatBitsPerPixel(depth) == bits) {
                    found.depthStencilFormat = depth;
                    haveDepth = true;
                }
            });
        }
        if (!haveDepth) return false;
    }

    // 5. Multisampling.
    if (!(flags & kRequestMultiSample)) {
        found.multiSampleType = D3DMULTISAMPLE_NONE;
        found.multiSampleQuality = 0;
    } else if (const MultiSampleEntry* entry = candidate->FindMultiSample(settings.multiSampleType)) {
        if (strict) {
            if (settings.multiSampleQuality >= entry->qualityLevels) return false;
        } else if (entry->qualityLevels == 0) {
            // A type that reports no quality levels: count - 1 would wrap to the largest
            // quality and let any request through.
            found.multiSampleQuality = 0;
        } else if (settings.multiSampleQuality > entry->qualityLevels - 1) {
            found.multiSampleQuality = entry->qualityLevels - 1;
        }
    }

    // 6. Vertex processing.
    if (flags & kRequestVertexProcessing) {
        if (!ListHas(candidate->vertexProcessings, settings.vertexProcessing) && strict) return false;
    } else {
        found.vertexProcessing = ListHas(candidate->vertexProcessings, u32(kMixedVertexProcessing))
                                     ? kMixedVertexProcessing
                                     : kSoftwareVertexProcessing;
    }

    // 7. Present interval.
    const bool intervalListed = ListHas(candidate->presentIntervals, settings.presentInterval);
    if ((flags & kRequestPresentInterval) && !intervalListed && strict) return false;
    if (!((flags & kRequestPresentInterval) && intervalListed)) found.presentInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

    found.requestFlags = settings.requestFlags;
    found.windowed = settings.windowed;
    settings = found;
    return true;
}

const AdapterInfo* DeviceEnumeration::FindAdapter(u32 adapterOrdinal) const {
    const AdapterInfo* found = nullptr;
    ForEachOwned(adapters_, [&](const AdapterInfo& adapter) {
        if (!found && adapter.adapterOrdinal == adapterOrdinal) found = &adapter;
    });
    return found;
}

const DeviceInfo* DeviceEnumeration::FindDevice(u32 adapterOrdinal, D3DDEVTYPE deviceType) const {
    const AdapterInfo* adapter = FindAdapter(adapterOrdinal);
    if (!adapter) return nullptr;
    const DeviceInfo* found = nullptr;
    ForEachOwned(adapter->devices, [&](const DeviceInfo& device) {
        if (!found && device.deviceType == deviceType) found = &device;
    });
    return found;
}

const DeviceCombo* DeviceEnumeration::FindCombo(const DeviceSettings& settings) const {
    const DeviceInfo* device = FindDevice(settings.adapterOrdinal, settings.deviceType);
    if (!device) return nullptr;
    const DeviceCombo* found = nullptr;
    ForEachOwned(device->combos, [&](const DeviceCombo& combo) {
        if (!found && combo.windowed == (settings.windowed ? 1 : 0) &&
            combo.backBufferFormat == settings.backBufferFormat)
            found = &combo;
    });
    return found;
}

// Names and format facts. The tables hold the documented enumerant values, so that every
// format has its row whether or not a header names it.
namespace {

constexpr u32 FourCC(char a, char b, char c, char d) {
    return u32(u8(a)) | u32(u8(b)) << 8 | u32(u8(c)) << 16 | u32(u8(d)) << 24;
}

struct FormatRow {
    u32 format;
    const char* name;  // the enumerant without "D3DFMT_"
    u32 bits;          // per pixel
    bool alpha;
};

constexpr FormatRow kFormats[] = {
    {0, "UNKNOWN", 0, false},
    {20, "R8G8B8", 24, false},
    {21, "A8R8G8B8", 32, true},
    {22, "X8R8G8B8", 32, false},
    {23, "R5G6B5", 16, false},
    {24, "X1R5G5B5", 16, false},
    {25, "A1R5G5B5", 16, true},
    {26, "A4R4G4B4", 16, true},
    {27, "R3G3B2", 8, false},
    {28, "A8", 8, true},
    {29, "A8R3G3B2", 16, true},
    {30, "X4R4G4B4", 16, false},
    {31, "A2B10G10R10", 32, true},
    {32, "A8B8G8R8", 32, true},
    {33, "X8B8G8R8", 32, false},
    {34, "G16R16", 32, false},
    {35, "A2R10G10B10", 32, false},
    {36, "A16B16G16R16", 64, true},
    {40, "A8P8", 16, true},
    {41, "P8", 8, false},
    {50, "L8", 8, false},
    {51, "A8L8", 16, true},
    {52, "A4L4", 8, true},
    {60, "V8U8", 16, false},
    {61, "L6V5U5", 16, false},
    {62, "X8L8V8U8", 32, false},
    {63, "Q8W8V8U8", 32, false},
    {64, "V16U16", 32, false},
    {67, "A2W10V10U10", 32, true},
    {FourCC('U', 'Y', 'V', 'Y'), "UYVY", 16, false},
    {FourCC('R', 'G', 'B', 'G'), "R8G8_B8G8", 16, false},
    {FourCC('Y', 'U', 'Y', '2'), "YUY2", 16, false},
    {FourCC('G', 'R', 'G', 'B'), "G8R8_G8B8", 16, false},
    {FourCC('D', 'X', 'T', '1'), "DXT1", 4, false},
    {FourCC('D', 'X', 'T', '2'), "DXT2", 8, false},
    {FourCC('D', 'X', 'T', '3'), "DXT3", 8, false},
    {FourCC('D', 'X', 'T', '4'), "DXT4", 8, false},
    {FourCC('D', 'X', 'T', '5'), "DXT5", 8, false},
    {70, "D16_LOCKABLE", 16, false},
    {71, "D32", 32, false},
    {73, "D15S1", 16, false},
    {75, "D24S8", 32, false},
    {77, "D24X8", 32, false},
    {79, "D24X4S4", 32, false},
    {80, "D16", 16, false},
    {82, "D32F_LOCKABLE", 32, false},
    {83, "D24FS8", 32, false},
    {81, "L16", 16, false},
    {100, "VERTEXDATA", 0, false},
    {101, "INDEX16", 16, false},
    {102, "INDEX32", 32, false},
    {110, "Q16W16V16U16", 64, false},
    {FourCC('M', 'E', 'T', '1'), "MULTI2_ARGB8", 32, true},
    {111, "R16F", 16, false},
    {112, "G16R16F", 32, false},
    {113, "A16B16G16R16F", 64, true},
    {114, "R32F", 32, false},
    {115, "G32R32F", 64, false},
    {116, "A32B32G32R32F", 128, true},
    {117, "CxV8U8", 16, false},
};

const FormatRow* FindFormat(D3DFORMAT format) {
    for (const FormatRow& row : kFormats)
        if (row.format == static_cast<u32>(format)) return &row;
    return nullptr;
}

// Channel layouts of the formats 20 to 52, indexed by format - 20: red, green, blue,
// alpha as shift and width.
constexpr u32 kFirstLayoutFormat = 20;
constexpr FormatChannels kLayouts[] = {
    {16, 8, 8, 8, 0, 8, 0, 0},        // 20 R8G8B8
    {16, 8, 8, 8, 0, 8, 24, 8},       // 21 A8R8G8B8
    {16, 8, 8, 8, 0, 8, 0, 0},        // 22 X8R8G8B8
    {11, 5, 5, 6, 0, 5, 0, 0},        // 23 R5G6B5
    {10, 5, 5, 5, 0, 5, 0, 0},        // 24 X1R5G5B5
    {10, 5, 5, 5, 0, 5, 15, 1},       // 25 A1R5G5B5
    {8, 4, 4, 4, 0, 4, 12, 4},        // 26 A4R4G4B4
    {5, 3, 2, 3, 0, 2, 0, 0},         // 27 R3G3B2
    {0, 0, 0, 0, 0, 0, 0, 8},         // 28 A8
    {5, 3, 2, 3, 0, 2, 8, 8},         // 29 A8R3G3B2
    {8, 4, 4, 4, 0, 4, 0, 0},         // 30 X4R4G4B4
    {0, 10, 10, 10, 20, 10, 30, 2},   // 31 A2B10G10R10
    {0, 8, 8, 8, 16, 8, 24, 8},       // 32 A8B8G8R8
    {0, 8, 8, 8, 16, 8, 0, 0},        // 33 X8B8G8R8
    {0, 16, 16, 16, 0, 0, 0, 0},      // 34 G16R16
    {20, 10, 10, 10, 0, 10, 30, 2},   // 35 A2R10G10B10
    {0, 16, 16, 16, 32, 16, 48, 16},  // 36 A16B16G16R16
    {}, {}, {},                       // 37-39: no formats
    {0, 0, 0, 0, 0, 0, 8, 8},         // 40 A8P8: the palette index is no colour channel
    {},                               // 41 P8
    {}, {}, {}, {}, {}, {}, {}, {},   // 42-49: no formats
    {},                               // 50 L8: luminance only
    {0, 0, 0, 0, 0, 0, 8, 8},         // 51 A8L8
    {0, 0, 0, 0, 0, 0, 4, 4},         // 52 A4L4
};
static_assert(sizeof kLayouts / sizeof kLayouts[0] == 52 - kFirstLayoutFormat + 1);

}  // namespace

String FormatName(D3DFORMAT format) {
    const FormatRow* row = FindFormat(format);
    return String(row ? row->name : "Unknown format");
}

String DeviceTypeName(D3DDEVTYPE deviceType) {
    switch (static_cast<u32>(deviceType)) {
    case 1: return String("D3DDEVTYPE_HAL");
    case 2: return String("D3DDEVTYPE_REF");
    case 3: return String("D3DDEVTYPE_SW");
    default: return String("Unknown devType");
    }
}

String MultiSampleName(D3DMULTISAMPLE_TYPE type) {
    const u32 samples = static_cast<u32>(type);
    if (samples == 0) return String("D3DMULTISAMPLE_NONE");
    if (samples == 1) return String("D3DMULTISAMPLE_NONMASKABLE");
    if (samples > kMaxMultiSampleType) return String("Unknown Multisample Type");
    return String("D3DMULTISAMPLE_") + String::FromInt(static_cast<int>(samples), 10) + "_SAMPLES";
}

String VertexProcessingName(u32 vertexProcessing) {
    switch (vertexProcessing) {
    case kSoftwareVertexProcessing: return String("SOFTWARE_VP");
    case kMixedVertexProcessing: return String("MIXED_VP");
    case kHardwareVertexProcessing: return String("HARDWARE_VP");
    case kPureHardwareVertexProcessing: return String("PURE_HARDWARE_VP");
    default: return String("Unknown VertexProcessingType");
    }
}

String PresentIntervalName(u32 presentInterval) {
    switch (presentInterval) {
    case D3DPRESENT_INTERVAL_DEFAULT: return String("D3DPRESENT_INTERVAL_DEFAULT");
    case D3DPRESENT_INTERVAL_ONE: return String("D3DPRESENT_INTERVAL_ONE");
    case D3DPRESENT_INTERVAL_TWO: return String("D3DPRESENT_INTERVAL_TWO");
    case D3DPRESENT_INTERVAL_THREE: return String("D3DPRESENT_INTERVAL_THREE");
    case D3DPRESENT_INTERVAL_FOUR: return String("D3DPRESENT_INTERVAL_FOUR");
    case D3DPRESENT_INTERVAL_IMMEDIATE: return String("D3DPRESENT_INTERVAL_IMMEDIATE");
    default: return String("Unknown PresentInterval");
    }
}

D3DFORMAT FormatFromName(const String& name) {
    static constexpr const char* kPrefix = "D3DFMT_";
    static constexpr u32 kPrefixLength = 7;
    if (name.length <= kPrefixLength || strncmp(name.c_str(), kPrefix, kPrefixLength) != 0) return D3DFMT_UNKNOWN;
    const char* bare = name.c_str() + kPrefixLength;
    for (u32 format = 20; format <= 26; ++format) {
        const FormatRow* row = FindFormat(static_cast<D3DFORMAT>(format));
        if (row && strcmp(row->name, bare) == 0) return static_cast<D3DFORMAT>(format);
    }
    return D3DFMT_UNKNOWN;
}

bool FormatHasAlpha(D3DFORMAT format) {
    const FormatRow* row = FindFormat(format);
    return row && row->alpha;
}

u32 FormatBitsPerPixel(D3DFORMAT format) {
    const FormatRow* row = FindFormat(format);
    return row ? row->bits : 0;
}

FormatChannels FormatChannelLayout(D3DFORMAT format) {
    const u32 value = static_cast<u32>(format);
    if (value < kFirstLayoutFormat || value - kFirstLayoutFormat >= sizeof kLayouts / sizeof kLayouts[0])
        return FormatChannels{};
    return kLayouts[value - kFirstLayoutFormat];
}

void LogDeviceSettings(const DeviceSettings& settings) {
    static constexpr const char* kRule = "------------------------------------------------";
    LogInfo()
        .Write(LOG_SITE("void __cdecl LogDeviceSettings(const struct DeviceSettings &)"))
        .Print("\n")
        .Print(kRule)
        .Print("\n")
        .Print(settings.windowed ? "Windowed " : "Fullscreen ")
        .Print(static_cast<i32>(settings.displayMode.Width))
        .Print("x")
        .Print(static_cast<i32>(settings.displayMode.Height))
        .Print(", ")
        .Print(FormatName(settings.displayMode.Format))
        .Print(", ")
        .Print(FormatName(settings.depthStencilFormat))
        .Print("\n")
        .Print("Present Interval: ")
        .Print(PresentIntervalName(settings.presentInterval))
        .Print("\n")
        .Print("Vertex Proccessing: ")
        .Print(VertexProcessingName(settings.vertexProcessing))
        .Print("\n")
        .Print("MultiSample: ")
        .Print(MultiSampleName(settings.multiSampleType))
        .Print(" , Quality:")
        .Print(static_cast<i32>(settings.multiSampleQuality))
        .Print("\n")
        .Print(kRule)
        .Print("\n");
}
