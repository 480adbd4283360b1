#include "Core/Log.h"
#include "D3d/DeviceEnumeration.h"
#include "tests/FakeD3d9.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using fake::FakeAdapter;
using fake::FakeDirect3D;

namespace {

constexpr DWORD kHardwareTnL = 0x10000;
constexpr DWORD kPure = 0x100000;
constexpr DWORD kIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_TWO | D3DPRESENT_INTERVAL_IMMEDIATE;

D3DDISPLAYMODE Mode(UINT w, UINT h, UINT hz, D3DFORMAT f) { return D3DDISPLAYMODE{w, h, hz, f}; }

// One adapter whose desktop is 800x600 at 75 Hz in X8R8G8B8, with a HAL device that has
// hardware transform and lighting; its modes are listed out of order.
FakeAdapter DesktopX8() {
    FakeAdapter a;
    a.desktop = Mode(800, 600, 75, D3DFMT_X8R8G8B8);
    a.modes = {Mode(800, 600, 75, D3DFMT_X8R8G8B8), Mode(640, 480, 60, D3DFMT_X8R8G8B8),
               Mode(800, 600, 60, D3DFMT_X8R8G8B8), Mode(800, 600, 75, D3DFMT_R5G6B5),
               Mode(640, 480, 60, D3DFMT_R5G6B5),   Mode(1024, 768, 60, D3DFMT_X8R8G8B8)};
    a.devices[D3DDEVTYPE_HAL] = fake::Caps(kHardwareTnL, kIntervals);
    a.multiSample = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_2_SAMPLES, 2}};
    return a;
}

template <class T>
std::vector<T> Items(const List<T>& list) {
    std::vector<T> out;
    ForEachInFillOrder(list, [&](const T& item) { out.push_back(item); });
    return out;
}

struct Enumerated {
    FakeDirect3D d3d;
    DeviceEnumeration enumeration{&d3d};
    explicit Enumerated(std::vector<FakeAdapter> adapters) {
        d3d.adapters = std::move(adapters);
        EXPECT_TRUE(enumeration.Enumerate());
    }
    DeviceSettings Find(u32 flags, bool windowed, bool expectFound = true) {
        DeviceSettings s;
        s.requestFlags = flags;
        s.windowed = windowed ? 1 : 0;
        EXPECT_EQ(enumeration.FindSettings(s), expectFound);
        return s;
    }
};

}  // namespace

TEST(DeviceNames, Formats) {
    struct Row {
        u32 format;
        const char* name;
        u32 bits;
        bool alpha;
    };
    const Row rows[] = {
        {0, "UNKNOWN", 0, false},          {20, "R8G8B8", 24, false},       {21, "A8R8G8B8", 32, true},
        {22, "X8R8G8B8", 32, false},       {23, "R5G6B5", 16, false},       {25, "A1R5G5B5", 16, true},
        {26, "A4R4G4B4", 16, true},        {28, "A8", 8, true},             {29, "A8R3G3B2", 16, true},
        {31, "A2B10G10R10", 32, true},     {32, "A8B8G8R8", 32, true},      {35, "A2R10G10B10", 32, false},
        {36, "A16B16G16R16", 64, true},    {40, "A8P8", 16, true},          {51, "A8L8", 16, true},
        {52, "A4L4", 8, true},             {67, "A2W10V10U10", 32, true},   {71, "D32", 32, false},
        {80, "D16", 16, false},            {73, "D15S1", 16, false},        {113, "A16B16G16R16F", 64, true},
        {116, "A32B32G32R32F", 128, true}, {117, "CxV8U8", 16, false},      {0x31545844, "DXT1", 4, false},
        {0x35545844, "DXT5", 8, false},    {0x32595559, "YUY2", 16, false}, {0x59565955, "UYVY", 16, false},
        {0x3154454D, "MULTI2_ARGB8", 32, true}, {37, "Unknown format", 0, false}, {999, "Unknown format", 0, false},
    };
    for (const Row& r : rows) {
        const auto f = static_cast<D3DFORMAT>(r.format);
        EXPECT_EQ(FormatName(f), r.name) << r.format;
        EXPECT_EQ(FormatBitsPerPixel(f), r.bits) << r.format;
        EXPECT_EQ(FormatHasAlpha(f), r.alpha) << r.format;
    }
}

TEST(DeviceNames, Enumerants) {
    EXPECT_EQ(DeviceTypeName(D3DDEVTYPE_HAL), "D3DDEVTYPE_HAL");
    EXPECT_EQ(DeviceTypeName(D3DDEVTYPE_REF), "D3DDEVTYPE_REF");
    EXPECT_EQ(DeviceTypeName(D3DDEVTYPE_SW), "D3DDEVTYPE_SW");
    EXPECT_EQ(DeviceTypeName(static_cast<D3DDEVTYPE>(4)), "Unknown devType");
    EXPECT_EQ(MultiSampleName(D3DMULTISAMPLE_NONE), "D3DMULTISAMPLE_NONE");
    EXPECT_EQ(MultiSampleName(D3DMULTISAMPLE_NONMASKABLE), "D3DMULTISAMPLE_NONMASKABLE");
    EXPECT_EQ(MultiSampleName(D3DMULTISAMPLE_2_SAMPLES), "D3DMULTISAMPLE_2_SAMPLES");
    EXPECT_EQ(MultiSampleName(D3DMULTISAMPLE_16_SAMPLES), "D3DMULTISAMPLE_16_SAMPLES");
    EXPECT_EQ(MultiSampleName(static_cast<D3DMULTISAMPLE_TYPE>(17)), "Unknown Multisample Type");
    EXPECT_EQ(VertexProcessingName(0), "SOFTWARE_VP");
    EXPECT_EQ(VertexProcessingName(1), "MIXED_VP");
    EXPECT_EQ(VertexProcessingName(2), "HARDWARE_VP");
    EXPECT_EQ(VertexProcessingName(3), "PURE_HARDWARE_VP");
    EXPECT_EQ(VertexProcessingName(4), "Unknown VertexProcessingType");
    EXPECT_EQ(PresentIntervalName(D3DPRESENT_INTERVAL_DEFAULT), "D3DPRESENT_INTERVAL_DEFAULT");
    EXPECT_EQ(PresentIntervalName(D3DPRESENT_INTERVAL_ONE), "D3DPRESENT_INTERVAL_ONE");
    EXPECT_EQ(PresentIntervalName(D3DPRESENT_INTERVAL_TWO), "D3DPRESENT_INTERVAL_TWO");
    EXPECT_EQ(PresentIntervalName(D3DPRESENT_INTERVAL_THREE), "D3DPRESENT_INTERVAL_THREE");
    EXPECT_EQ(PresentIntervalName(D3DPRESENT_INTERVAL_FOUR), "D3DPRESENT_INTERVAL_FOUR");
    EXPECT_EQ(PresentIntervalName(D3DPRESENT_INTERVAL_IMMEDIATE), "D3DPRESENT_INTERVAL_IMMEDIATE");
    EXPECT_EQ(PresentIntervalName(3), "Unknown PresentInterval");
}

TEST(DeviceNames, FormatFromName) {
    EXPECT_EQ(FormatFromName(String("D3DFMT_R8G8B8")), D3DFMT_R8G8B8);
    EXPECT_EQ(FormatFromName(String("D3DFMT_A8R8G8B8")), D3DFMT_A8R8G8B8);
    EXPECT_EQ(FormatFromName(String("D3DFMT_X8R8G8B8")), D3DFMT_X8R8G8B8);
    EXPECT_EQ(FormatFromName(String("D3DFMT_R5G6B5")), D3DFMT_R5G6B5);
    EXPECT_EQ(FormatFromName(String("D3DFMT_X1R5G5B5")), D3DFMT_X1R5G5B5);
    EXPECT_EQ(FormatFromName(String("D3DFMT_A1R5G5B5")), D3DFMT_A1R5G5B5);
    EXPECT_EQ(FormatFromName(String("D3DFMT_A4R4G4B4")), D3DFMT_A4R4G4B4);
    // Only those seven.
    EXPECT_EQ(FormatFromName(String("D3DFMT_A8")), D3DFMT_UNKNOWN);
    EXPECT_EQ(FormatFromName(String("D3DFMT_DXT1")), D3DFMT_UNKNOWN);
    EXPECT_EQ(FormatFromName(String("A8R8G8B8")), D3DFMT_UNKNOWN);
    EXPECT_EQ(FormatFromName(String("d3dfmt_a8r8g8b8")), D3DFMT_UNKNOWN);
    EXPECT_EQ(FormatFromName(String("D3DFMT_")), D3DFMT_UNKNOWN);
    EXPECT_EQ(FormatFromName(String()), D3DFMT_UNKNOWN);
}

TEST(DeviceNames, ChannelLayouts) {
    EXPECT_EQ(FormatChannelLayout(D3DFMT_X8R8G8B8), (FormatChannels{16, 8, 8, 8, 0, 8, 0, 0}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A8R8G8B8), (FormatChannels{16, 8, 8, 8, 0, 8, 24, 8}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_R5G6B5), (FormatChannels{11, 5, 5, 6, 0, 5, 0, 0}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A1R5G5B5), (FormatChannels{10, 5, 5, 5, 0, 5, 15, 1}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A4R4G4B4), (FormatChannels{8, 4, 4, 4, 0, 4, 12, 4}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A2B10G10R10), (FormatChannels{0, 10, 10, 10, 20, 10, 30, 2}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A8B8G8R8), (FormatChannels{0, 8, 8, 8, 16, 8, 24, 8}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A8), (FormatChannels{0, 0, 0, 0, 0, 0, 0, 8}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_A4L4), (FormatChannels{0, 0, 0, 0, 0, 0, 4, 4}));
    EXPECT_EQ(FormatChannelLayout(D3DFMT_V8U8), FormatChannels{});
    EXPECT_EQ(FormatChannelLayout(D3DFMT_D16), FormatChannels{});
    EXPECT_EQ(FormatChannelLayout(static_cast<D3DFORMAT>(19)), FormatChannels{});
    // Every layout with a channel fits the format's own size.
    for (u32 f = 20; f <= 52; ++f) {
        const FormatChannels c = FormatChannelLayout(static_cast<D3DFORMAT>(f));
        const u32 bits = FormatBitsPerPixel(static_cast<D3DFORMAT>(f));
        for (auto [shift, width] : {std::pair{c.redShift, c.redBits}, std::pair{c.greenShift, c.greenBits},
                                    std::pair{c.blueShift, c.blueBits}, std::pair{c.alphaShift, c.alphaBits}}) {
            if (width) {
                EXPECT_LE(shift + width, bits) << f;
            }
        }
    }
}

TEST(DeviceEnumeration, WithoutDirect3DNothingIsEnumerated) {
    DeviceEnumeration e;
    EXPECT_FALSE(e.Enumerate());
    DeviceSettings s;
    EXPECT_FALSE(e.FindSettings(s));
}

TEST(DeviceEnumeration, TheTreeOfOneAdapter) {
    Enumerated e({DesktopX8()});
    ASSERT_EQ(e.enumeration.GetAdapters().count, 1);
    const AdapterInfo* adapter = e.enumeration.FindAdapter(0);
    ASSERT_NE(adapter, nullptr);
    const std::vector<D3DDISPLAYMODE> modes = Items(adapter->displayModes);
    const std::vector<std::vector<UINT>> expected = {{640, 480, 22, 60}, {640, 480, 23, 60}, {800, 600, 22, 60},
                                                     {800, 600, 22, 75}, {800, 600, 23, 75}, {1024, 768, 22, 60}};
    ASSERT_EQ(modes.size(), expected.size());
    for (size_t i = 0; i < modes.size(); ++i)
        EXPECT_EQ((std::vector<UINT>{modes[i].Width, modes[i].Height, UINT(modes[i].Format), modes[i].RefreshRate}),
                  expected[i]);

    EXPECT_EQ(e.enumeration.FindDevice(0, D3DDEVTYPE_REF), nullptr);
    const DeviceInfo* hal = e.enumeration.FindDevice(0, D3DDEVTYPE_HAL);
    ASSERT_NE(hal, nullptr);
    // X8R8G8B8 first (the order adapter formats are asked in), then R5G6B5; alpha twins first,
    // full screen before windowed; a windowed R5G6B5 combo does not exist on this desktop.
    std::vector<std::vector<u32>> combos;
    ForEachInFillOrder(hal->combos, [&](const DeviceCombo* c) {
        combos.push_back({u32(c->adapterFormat), u32(c->backBufferFormat), c->windowed});
    });
    EXPECT_EQ(combos, (std::vector<std::vector<u32>>{{22, 21, 0}, {22, 21, 1}, {22, 22, 0}, {22, 22, 1}, {23, 23, 0}}));

    const DeviceCombo* full = hal->combos.current->next->payload;
    EXPECT_EQ(Items(full->vertexProcessings), (std::vector<u32>{2, 1, 0}));
    EXPECT_EQ(Items(full->presentIntervals),
              (std::vector<u32>{D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE,
                                D3DPRESENT_INTERVAL_TWO}));
    EXPECT_EQ(Items(full->depthStencilFormats), (std::vector<D3DFORMAT>{D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D32}));
    EXPECT_EQ(Items(full->multiSampleTypes),
              (std::vector<MultiSampleEntry>{{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_2_SAMPLES, 2}}));
    const DeviceCombo* windowed = hal->combos.current->next->next->payload;
    EXPECT_EQ(Items(windowed->presentIntervals),
              (std::vector<u32>{D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE}));
}

TEST(DeviceEnumeration, PureDeviceAndConflicts) {
    FakeAdapter a = DesktopX8();
    a.devices[D3DDEVTYPE_HAL] = fake::Caps(kHardwareTnL | kPure, 0);
    a.depthConflicts = {{D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES}};
    Enumerated e({a});
    const DeviceInfo* hal = e.enumeration.FindDevice(0, D3DDEVTYPE_HAL);
    ASSERT_NE(hal, nullptr);
    const DeviceCombo* combo = hal->combos.current->next->payload;
    EXPECT_EQ(Items(combo->vertexProcessings), (std::vector<u32>{3, 2, 1, 0}));
    EXPECT_EQ(Items(combo->presentIntervals), (std::vector<u32>{D3DPRESENT_INTERVAL_DEFAULT}));
    EXPECT_EQ(Items(combo->conflicts),
              (std::vector<DepthMultiSampleConflict>{{D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES}}));
}

TEST(DeviceEnumeration, DefaultsOnAnX8Desktop) {
    Enumerated e({DesktopX8()});
    const DeviceSettings full = e.Find(0, false);
    EXPECT_EQ(full.adapterOrdinal, 0u);
    EXPECT_EQ(full.deviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(full.backBufferFormat, D3DFMT_X8R8G8B8);  // the A8R8G8B8 combo before it is replaced
    EXPECT_EQ(full.displayMode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(full.displayMode.Width, 800u);
    EXPECT_EQ(full.displayMode.Height, 600u);
    EXPECT_EQ(full.displayMode.RefreshRate, 75u);
    EXPECT_EQ(full.depthStencilFormat, D3DFMT_D32);
    EXPECT_EQ(full.multiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(full.multiSampleQuality, 0u);
    EXPECT_EQ(full.vertexProcessing, 1u);  // mixed, offered by hardware transform and lighting
    EXPECT_EQ(full.presentInterval, static_cast<u32>(D3DPRESENT_INTERVAL_IMMEDIATE));
    EXPECT_EQ(full.caps.DevCaps, kHardwareTnL);
    EXPECT_EQ(full.windowed, 0);
    EXPECT_EQ(full.requestFlags, 0u);

    const DeviceSettings windowed = e.Find(0, true);
    EXPECT_EQ(windowed.backBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(windowed.displayMode.Width, 800u);
    EXPECT_EQ(windowed.displayMode.RefreshRate, 75u);
    EXPECT_EQ(windowed.windowed, 1);
}

TEST(DeviceEnumeration, RequestedSizeFormatAndRefresh) {
    Enumerated e({DesktopX8()});
    DeviceSettings s;
    s.requestFlags = kRequestDisplaySize;
    s.displayMode = Mode(800, 600, 0, D3DFMT_UNKNOWN);
    ASSERT_TRUE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.displayMode.RefreshRate, 75u);  // the highest of 60 and 75

    s.requestFlags = kRequestDisplaySize | kRequestRefreshRate;
    s.displayMode = Mode(800, 600, 60, D3DFMT_UNKNOWN);
    ASSERT_TRUE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.displayMode.RefreshRate, 60u);

    s.displayMode = Mode(1280, 1024, 60, D3DFMT_UNKNOWN);
    EXPECT_FALSE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.displayMode.Width, 1280u);  // a failed search leaves the request alone

    DeviceSettings sixteen;
    sixteen.requestFlags = kRequestBackBufferFormat;
    sixteen.backBufferFormat = D3DFMT_R5G6B5;
    ASSERT_TRUE(e.enumeration.FindSettings(sixteen));
    EXPECT_EQ(sixteen.backBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(sixteen.displayMode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(sixteen.depthStencilFormat, D3DFMT_D16);
}

TEST(DeviceEnumeration, DesktopInR5G6B5) {
    FakeAdapter a = DesktopX8();
    a.desktop = Mode(640, 480, 60, D3DFMT_R5G6B5);
    Enumerated e({a});
    const DeviceSettings windowed = e.Find(0, true);
    EXPECT_EQ(windowed.backBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(windowed.depthStencilFormat, D3DFMT_D16);
    const DeviceSettings full = e.Find(0, false);
    EXPECT_EQ(full.backBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(full.displayMode.Width, 640u);
}

TEST(DeviceEnumeration, NoHalDevice) {
    FakeAdapter a = DesktopX8();
    a.devices.clear();
    a.devices[D3DDEVTYPE_REF] = fake::Caps(0, 0);
    Enumerated e({a});
    e.Find(0, false, false);
    DeviceSettings s;
    s.requestFlags = kRequestDeviceType;
    s.deviceType = D3DDEVTYPE_REF;
    ASSERT_TRUE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.deviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(s.vertexProcessing, 0u);  // software only without hardware transform
}

TEST(DeviceEnumeration, StrictAgainstNonStrict) {
    FakeAdapter a = DesktopX8();
    a.depthFormats = {D3DFMT_D16, D3DFMT_D24X8};
    Enumerated e({a});
    DeviceSettings r;
    r.requestFlags = kRequestMultiSample | kRequestDepthFormat | kRequestVertexProcessing | kRequestPresentInterval;
    r.windowed = 1;
    r.multiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    r.multiSampleQuality = 2;  // equal to the level count
    r.depthStencilFormat = D3DFMT_D24S8;
    r.vertexProcessing = kPureHardwareVertexProcessing;
    r.presentInterval = D3DPRESENT_INTERVAL_TWO;

    DeviceSettings loose = r;
    ASSERT_TRUE(e.enumeration.FindSettings(loose));
    EXPECT_EQ(loose.multiSampleQuality, 1u);
    EXPECT_EQ(loose.depthStencilFormat, D3DFMT_D24X8);  // the first 32-bit one
    EXPECT_EQ(loose.vertexProcessing, 3u);              // kept as asked
    EXPECT_EQ(loose.presentInterval, static_cast<u32>(D3DPRESENT_INTERVAL_IMMEDIATE));

    // A strict request that the combo satisfies in every field; each case spoils one.
    DeviceSettings satisfiable = r;
    satisfiable.requestFlags |= kRequestStrict;
    satisfiable.multiSampleQuality = 1;
    satisfiable.depthStencilFormat = D3DFMT_D24X8;
    satisfiable.vertexProcessing = kHardwareVertexProcessing;
    satisfiable.presentInterval = D3DPRESENT_INTERVAL_ONE;
    DeviceSettings check = satisfiable;
    ASSERT_TRUE(e.enumeration.FindSettings(check));
    const auto strictFails = [&](auto change) {
        DeviceSettings s = satisfiable;
        change(s);
        return !e.enumeration.FindSettings(s);
    };
    EXPECT_TRUE(strictFails([](DeviceSettings& s) { s.multiSampleQuality = 2; }));
    EXPECT_TRUE(strictFails([](DeviceSettings& s) { s.depthStencilFormat = D3DFMT_D24S8; }));
    EXPECT_TRUE(strictFails([](DeviceSettings& s) { s.vertexProcessing = kPureHardwareVertexProcessing; }));
    EXPECT_TRUE(strictFails([](DeviceSettings& s) { s.presentInterval = D3DPRESENT_INTERVAL_TWO; }));
    // A multisample type the combo lacks stays as requested, strict or not.
    EXPECT_FALSE(strictFails([](DeviceSettings& s) { s.multiSampleType = D3DMULTISAMPLE_4_SAMPLES; }));
}

// A type that reports no quality levels must not let count - 1 wrap round to every quality.
TEST(DeviceEnumeration, AQualityCountOfZeroNeverWraps) {
    FakeAdapter a = DesktopX8();
    a.multiSample = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_2_SAMPLES, 0}};
    Enumerated e({a});
    DeviceSettings s;
    s.requestFlags = kRequestMultiSample;
    s.multiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    s.multiSampleQuality = 7;
    ASSERT_TRUE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.multiSampleQuality, 0u);
    s.requestFlags |= kRequestStrict;
    s.multiSampleQuality = 0;
    EXPECT_FALSE(e.enumeration.FindSettings(s));
}

TEST(DeviceEnumeration, DepthDefaultsWithoutD32OrD16) {
    FakeAdapter a = DesktopX8();
    a.depthFormats = {D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D24X4S4};
    a.depthBitsMustMatch = true;
    Enumerated e({a});
    EXPECT_EQ(e.Find(0, false).depthStencilFormat, D3DFMT_D24X8);
    DeviceSettings sixteen;
    sixteen.requestFlags = kRequestBackBufferFormat;
    sixteen.backBufferFormat = D3DFMT_R5G6B5;
    ASSERT_TRUE(e.enumeration.FindSettings(sixteen));
    EXPECT_EQ(sixteen.depthStencilFormat, D3DFMT_D15S1);

    // Only a 16-bit depth format matches a 32-bit back buffer here: the search fails.
    FakeAdapter b = DesktopX8();
    b.depthFormats = {D3DFMT_D16};
    Enumerated f({b});
    f.Find(0, false, false);
}

TEST(DeviceEnumeration, TwoAdapters) {
    FakeAdapter second = DesktopX8();
    second.devices[D3DDEVTYPE_HAL] = fake::Caps(0, 0);
    Enumerated e({DesktopX8(), second});
    ASSERT_EQ(e.enumeration.GetAdapters().count, 2);
    // A later adapter's matching combo replaces the candidate: the walk goes on past an exact one.
    EXPECT_EQ(e.Find(0, false).adapterOrdinal, 1u);
    DeviceSettings s;
    s.requestFlags = kRequestAdapter;
    s.adapterOrdinal = 0;
    ASSERT_TRUE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.adapterOrdinal, 0u);
    EXPECT_EQ(s.vertexProcessing, 1u);
    s.adapterOrdinal = 1;
    ASSERT_TRUE(e.enumeration.FindSettings(s));
    EXPECT_EQ(s.vertexProcessing, 0u);
    s.adapterOrdinal = 2;
    EXPECT_FALSE(e.enumeration.FindSettings(s));

    EXPECT_NE(e.enumeration.FindCombo(s = e.Find(kRequestAdapter, true)), nullptr);
    EXPECT_EQ(e.enumeration.FindCombo(s)->backBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(e.enumeration.FindCombo(s)->windowed, 1);
}

TEST(DeviceEnumeration, AnAdapterWithoutModesIsLeftOut) {
    FakeAdapter empty = DesktopX8();
    empty.modes.clear();
    Enumerated e({empty, DesktopX8()});
    ASSERT_EQ(e.enumeration.GetAdapters().count, 1);
    EXPECT_EQ(e.enumeration.FindAdapter(0), nullptr);
    EXPECT_NE(e.enumeration.FindAdapter(1), nullptr);

    Enumerated none({empty});
    EXPECT_EQ(none.enumeration.GetAdapters().count, 0);
    none.Find(0, false, false);
    none.Find(0, true, false);
}

TEST(DeviceEnumeration, EnumerateAgainReplacesTheTree) {
    Enumerated e({DesktopX8(), DesktopX8()});
    e.d3d.adapters.pop_back();
    EXPECT_TRUE(e.enumeration.Enumerate());
    EXPECT_EQ(e.enumeration.GetAdapters().count, 1);
}

TEST(DeviceEnumeration, TheLogOfTheChoice) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / "corvane_device_settings.log";
    fs::remove(file);
    LogChannel& info = LogInfo();
    const String savedName = info.fileName;
    const u8 savedMaster = TheLogRegistry().masterSwitch;
    info.fileName = String(file.string().c_str());
    SetLogMasterSwitch(true);

    DeviceSettings s;
    s.windowed = 0;
    s.displayMode = Mode(1024, 768, 60, D3DFMT_X8R8G8B8);
    s.depthStencilFormat = D3DFMT_D24S8;
    s.presentInterval = D3DPRESENT_INTERVAL_ONE;
    s.vertexProcessing = kHardwareVertexProcessing;
    s.multiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    s.multiSampleQuality = 3;
    LogDeviceSettings(s);

    info.fileName = savedName;
    TheLogRegistry().masterSwitch = savedMaster;
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    fs::remove(file);
    const std::string rule(48, '-');
    const std::string body = "\n" + rule + "\nFullscreen 1024x768, X8R8G8B8, D24S8\n" +
                             "Present Interval: D3DPRESENT_INTERVAL_ONE\nVertex Proccessing: HARDWARE_VP\n" +
                             "MultiSample: D3DMULTISAMPLE_4_SAMPLES , Quality:3\n" + rule + "\n";
    const std::string all = text.str();
    ASSERT_GE(all.size(), body.size());
    EXPECT_EQ(all.substr(all.size() - body.size()), body) << all;
    EXPECT_NE(all.find(" Info: "), std::string::npos) << all;
}
