// What every adapter of the machine can do, asked of Direct3D 9 once before any device
// exists, as a tree: adapters, their display modes (sorted), their device types, and per
// device type the "combos" (adapter format x back-buffer format x windowed) with the
// depth formats, multisample types, vertex-processing kinds and present intervals each
// supports. FindSettings completes a partly filled DeviceSettings request from the tree;
// the device-settings dialog offers the same tree to the user.
//
// The tree is built from the engine's lists in the order Direct3D reports things, so that
// "the first" format or mode means the same on every run; the enumeration owns every
// record and frees them on a new Enumerate and in its destructor.
//
// This file also owns the printable names of the Direct3D enumerants and the small format
// facts (alpha, bits per pixel, channel layout) that texture and font code ask.
#pragma once

#include "Core/List.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "D3d/DeviceSettings.h"

#include <d3d9.h>

struct MultiSampleEntry {
    D3DMULTISAMPLE_TYPE type;
    u32 qualityLevels;  // as CheckDeviceMultiSampleType reports them
    bool operator==(const MultiSampleEntry&) const = default;
};

// A depth format and a multisample type that cannot be used together.
struct DepthMultiSampleConflict {
    D3DFORMAT depthFormat;
    D3DMULTISAMPLE_TYPE multiSampleType;
    bool operator==(const DepthMultiSampleConflict&) const = default;
};

struct DeviceCombo {
    u32 adapterOrdinal = 0;
    D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
    D3DFORMAT adapterFormat = D3DFMT_UNKNOWN;
    D3DFORMAT backBufferFormat = D3DFMT_UNKNOWN;
    u8 windowed = 0;
    List<D3DFORMAT> depthStencilFormats;
    List<MultiSampleEntry> multiSampleTypes;
    List<DepthMultiSampleConflict> conflicts;
    List<u32> vertexProcessings;  // VertexProcessingKind
    List<u32> presentIntervals;

    // The entry of that multisample type, or null.
    const MultiSampleEntry* FindMultiSample(D3DMULTISAMPLE_TYPE type) const;
};

struct DeviceInfo {
    u32 adapterOrdinal = 0;
    D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
    D3DCAPS9 caps{};
    PtrListOf<DeviceCombo> combos;  // owned

    DeviceInfo() = default;
    DeviceInfo(const DeviceInfo&) = delete;
    DeviceInfo& operator=(const DeviceInfo&) = delete;
    ~DeviceInfo();
};

struct AdapterInfo {
    u32 adapterOrdinal = 0;
    D3DADAPTER_IDENTIFIER9 identifier{};
    List<D3DDISPLAYMODE> displayModes;  // by width, height, format, refresh rate
    PtrListOf<DeviceInfo> devices;      // owned

    AdapterInfo() = default;
    AdapterInfo(const AdapterInfo&) = delete;
    AdapterInfo& operator=(const AdapterInfo&) = delete;
    ~AdapterInfo();
};

// Visits a list filled by PushBack in the order it was filled.
template <class T, class Fn>
void ForEachInFillOrder(const List<T>& list, Fn&& fn) {
    const typename List<T>::Node* node = list.current->next;
    for (i32 i = 0; i < list.count; ++i, node = node->next) fn(node->payload);
}

// Visits the records of an owning list in the order it was filled.
template <class T, class Fn>
void ForEachOwned(const PtrListOf<T>& list, Fn&& fn) {
    ForEachInFillOrder(list, [&](T* item) { fn(*item); });
}

class DeviceEnumeration {
public:
    // `d3d` is borrowed; it may be null until SetDirect3D.
    explicit DeviceEnumeration(IDirect3D9* d3d = nullptr);
    ~DeviceEnumeration();
    DeviceEnumeration(const DeviceEnumeration&) = delete;
    DeviceEnumeration& operator=(const DeviceEnumeration&) = delete;

    void SetDirect3D(IDirect3D9* d3d) { d3d_ = d3d; }
    IDirect3D9* GetDirect3D() const { return d3d_; }

    // Builds the tree afresh. False only without a Direct3D object.
    bool Enumerate();
    // Completes `settings` from the tree by its request flags; false when nothing
    // qualifies. The record is written only on success, and its requestFlags and
    // windowed are never changed.
    bool FindSettings(DeviceSettings& settings) const;

    const PtrListOf<AdapterInfo>& GetAdapters() const { return adapters_; }
    const AdapterInfo* FindAdapter(u32 adapterOrdinal) const;
    const DeviceInfo* FindDevice(u32 adapterOrdinal, D3DDEVTYPE deviceType) const;
    // The combo of the settings' adapter and device type with their windowed flag and
    // back-buffer format.
    const DeviceCombo* FindCombo(const DeviceSettings& settings) const;

    // Frees the tree.
    void Clear();

private:
    void EnumerateDevices(AdapterInfo& adapter, const List<D3DFORMAT>& adapterFormats);
    void EnumerateCombos(DeviceInfo& device, const List<D3DFORMAT>& adapterFormats);
    // Fills the combo's lists; false when one that a device needs stays empty.
    bool BuildCombo(DeviceCombo& combo, const D3DCAPS9& caps);

    IDirect3D9* d3d_;
    PtrListOf<AdapterInfo> adapters_;  // owned
};

// The names that the log and the device-settings dialog show.
String FormatName(D3DFORMAT format);
String DeviceTypeName(D3DDEVTYPE deviceType);
String MultiSampleName(D3DMULTISAMPLE_TYPE type);
String VertexProcessingName(u32 vertexProcessing);
String PresentIntervalName(u32 presentInterval);

// The format named "D3DFMT_<name>" for the seven colour formats 20 to 26 that fonts and
// texture scripts name; D3DFMT_UNKNOWN for anything else.
D3DFORMAT FormatFromName(const String& name);
bool FormatHasAlpha(D3DFORMAT format);
// 0 for formats this engine does not know.
u32 FormatBitsPerPixel(D3DFORMAT format);

// Where each colour channel sits in a pixel: shift from bit 0 and width in bits; a
// channel the format lacks has both 0.
struct FormatChannels {
    u32 redShift, redBits;
    u32 greenShift, greenBits;
    u32 blueShift, blueBits;
    u32 alphaShift, alphaBits;
    bool operator==(const FormatChannels&) const = default;
};
// The layouts of the formats 20 (R8G8B8) to 52 (A4L4); all zeros for any other.
FormatChannels FormatChannelLayout(D3DFORMAT format);

// Writes the chosen settings to the INFO channel; the Application calls it for every
// device it creates.
void LogDeviceSettings(const DeviceSettings& settings);
