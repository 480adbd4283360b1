// The state cache against calling the device directly: the cost of a redundant set (the
// cache answers), of a changed set (the cache compares, stores and calls), and of the
// bare device call; then a recorded-like frame of a few thousand state sets, reporting the
// share of calls the cache keeps from the device. Last, VertexDeclaration::Compare, the
// order of the Application's declaration cache.
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "D3d/VertexDeclaration.h"
#include "tests/FakeD3d9.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// A device that records nothing, so the figures are the cache's own.
struct QuietDevice {
    fake::FakeDevice device;
    QuietDevice() {
        device.record = false;
        PublishDevice(&device);
        StateCache::InvalidateAll();
    }
    ~QuietDevice() {
        PublishDevice(nullptr);
        StateCache::InvalidateAll();
    }
};

void StateCacheRedundantSet(benchmark::State& state) {
    QuietDevice quiet;
    StateCache::SetRenderState(D3DRS_ZENABLE, 1);
    for (auto _ : state) benchmark::DoNotOptimize(StateCache::SetRenderState(D3DRS_ZENABLE, 1));
    state.SetItemsProcessed(state.iterations());
}

void StateCacheChangedSet(benchmark::State& state) {
    QuietDevice quiet;
    DWORD value = 0;
    for (auto _ : state) benchmark::DoNotOptimize(StateCache::SetRenderState(D3DRS_ZENABLE, value ^= 1));
    state.SetItemsProcessed(state.iterations());
}

void DeviceDirectSet(benchmark::State& state) {
    QuietDevice quiet;
    IDirect3DDevice9* device = TheDevice();
    DWORD value = 0;
    for (auto _ : state) benchmark::DoNotOptimize(device->SetRenderState(D3DRS_ZENABLE, value ^= 1));
    state.SetItemsProcessed(state.iterations());
}

// One set of a frame: a render state, a sampler state or a texture-stage state.
struct FrameSet {
    int kind;
    DWORD index, type, value;
};

// A frame of 200 draws of about 16 sets each, as a material-sorted queue issues them:
// most draws repeat the states of the one before, a few switch blending or textures.
std::vector<FrameSet> RecordedFrame() {
    std::mt19937 rng(7);
    std::vector<FrameSet> frame;
    const DWORD renderStates[] = {D3DRS_ZENABLE,  D3DRS_ZWRITEENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,
                                  D3DRS_DESTBLEND, D3DRS_CULLMODE,    D3DRS_LIGHTING,         D3DRS_FOGENABLE};
    for (int draw = 0; draw < 200; ++draw) {
        const DWORD material = draw / 25;  // eight materials, sorted
        for (DWORD rs : renderStates) frame.push_back({0, rs, 0, (rng() % 8 == 0) ? material & 1 : 1});
        for (DWORD stage = 0; stage < 2; ++stage) {
            frame.push_back({1, stage, D3DSAMP_MINFILTER, 2});
            frame.push_back({1, stage, D3DSAMP_MAGFILTER, 2});
            frame.push_back({2, stage, D3DTSS_COLOROP, material % 3 + 2});
            frame.push_back({2, stage, D3DTSS_ALPHAOP, 2});
        }
    }
    return frame;
}

void PlayThroughCache(const std::vector<FrameSet>& frame) {
    for (const FrameSet& s : frame) {
        if (s.kind == 0)
            StateCache::SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.index), s.value);
        else if (s.kind == 1)
            StateCache::SetSamplerState(s.index, static_cast<D3DSAMPLERSTATETYPE>(s.type), s.value);
        else
            StateCache::SetTextureStageState(s.index, static_cast<D3DTEXTURESTAGESTATETYPE>(s.type), s.value);
    }
}

void PlayDirect(IDirect3DDevice9* device, const std::vector<FrameSet>& frame) {
    for (const FrameSet& s : frame) {
        if (s.kind == 0)
            device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.index), s.value);
        else if (s.kind == 1)
            device->SetSamplerState(s.index, static_cast<D3DSAMPLERSTATETYPE>(s.type), s.value);
        else
            device->SetTextureStageState(s.index, static_cast<D3DTEXTURESTAGESTATETYPE>(s.type), s.value);
    }
}

void StateCacheFrame(benchmark::State& state) {
    const std::vector<FrameSet> frame = RecordedFrame();
    QuietDevice quiet;
    // One counted frame for the share the cache filters, from a cold cache.
    quiet.device.record = true;
    PlayThroughCache(frame);
    quiet.device.record = false;
    const double sent = static_cast<double>(quiet.device.calls.size());
    for (auto _ : state) {
        StateCache::InvalidateAll();  // every frame starts after a reset, the worst case
        PlayThroughCache(frame);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
    state.counters["sets"] = static_cast<double>(frame.size());
    state.counters["filtered"] = 1.0 - sent / static_cast<double>(frame.size());
}

void DeviceDirectFrame(benchmark::State& state) {
    const std::vector<FrameSet> frame = RecordedFrame();
    QuietDevice quiet;
    for (auto _ : state) PlayDirect(&quiet.device, frame);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frame.size()));
}

VertexDeclaration SkinnedLayout(u8 lastUsageIndex) {
    VertexDeclaration d;
    d.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    d.AddElement(D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0);
    d.AddElement(D3DDECLTYPE_UBYTE4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0);
    d.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    d.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0);
    d.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, lastUsageIndex);
    return d;
}

void VertexDeclarationCompareEqual(benchmark::State& state) {
    const VertexDeclaration a = SkinnedLayout(0), b = SkinnedLayout(0);
    for (auto _ : state) benchmark::DoNotOptimize(a.Compare(b));
}

void VertexDeclarationCompareLastDiffers(benchmark::State& state) {
    const VertexDeclaration a = SkinnedLayout(0), b = SkinnedLayout(1);
    for (auto _ : state) benchmark::DoNotOptimize(a.Compare(b));
}

}  // namespace

BENCHMARK(StateCacheRedundantSet);
BENCHMARK(StateCacheChangedSet);
BENCHMARK(DeviceDirectSet);
BENCHMARK(StateCacheFrame);
BENCHMARK(DeviceDirectFrame);
BENCHMARK(VertexDeclarationCompareEqual);
BENCHMARK(VertexDeclarationCompareLastDiffers);
