// The reference Direct3D 9 device's own costs: SetRenderState with the call log on and off
// (the log is what tests read; off is what a long run pays), and an indexed draw with its
// bounds checks, so that tests and benchmarks that drive the engine through the device
// know what the device adds.
#include <PlatformTestD3d9.h>
#include <d3d9.h>

#include <benchmark/benchmark.h>

#include <string.h>

namespace {

// A windowed device on the default adapter, with recording as asked.
struct Device {
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    explicit Device(bool recording) {
        PlatformTest_D3d9Reset();
        PlatformTest_D3d9SetRecording(recording);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = 640;
        params.BackBufferHeight = 480;
        params.Windowed = TRUE;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(1));
        if (d3d) d3d->CreateDevice(0, D3DDEVTYPE_HAL, params.hDeviceWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                   &params, &device);
    }
    ~Device() {
        if (device) device->Release();
        if (d3d) d3d->Release();
        PlatformTest_D3d9Reset();
    }
};

void SetRenderState(benchmark::State& state, bool recording) {
    Device d(recording);
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    DWORD value = 0;
    int sinceClear = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d.device->SetRenderState(D3DRS_ZENABLE, value ^= 1));
        // The log would grow without bound; emptying it now and then is part of its cost.
        if (recording && ++sinceClear == 1 << 16) {
            PlatformTest_D3d9ClearCallLog();
            sinceClear = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void SetRenderStateLogged(benchmark::State& state) { SetRenderState(state, true); }
void SetRenderStateUnlogged(benchmark::State& state) { SetRenderState(state, false); }

// A 1,000-triangle indexed draw from a 600-vertex buffer: every index is checked.
void DrawIndexedPrimitive(benchmark::State& state) {
    Device d(false);
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    constexpr UINT kVertices = 600;
    constexpr UINT kTriangles = 1000;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    d.device->CreateVertexBuffer(kVertices * 32, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr);
    d.device->CreateIndexBuffer(kTriangles * 3 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib,
                                nullptr);
    WORD* indices = nullptr;
    ib->Lock(0, 0, reinterpret_cast<void**>(&indices), 0);
    for (UINT i = 0; i < kTriangles * 3; ++i) indices[i] = static_cast<WORD>((i * 7) % kVertices);
    ib->Unlock();
    d.device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    d.device->SetStreamSource(0, vb, 0, 32);
    d.device->SetIndices(ib);
    for (auto _ : state)
        benchmark::DoNotOptimize(d.device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, kVertices, 0, kTriangles));
    state.SetItemsProcessed(state.iterations());
    d.device->SetStreamSource(0, nullptr, 0, 0);
    d.device->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

// A non-indexed draw: only the stream's extent is checked.
void DrawPrimitive(benchmark::State& state) {
    Device d(false);
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    d.device->CreateVertexBuffer(3000 * 32, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr);
    d.device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    d.device->SetStreamSource(0, vb, 0, 32);
    for (auto _ : state) benchmark::DoNotOptimize(d.device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1000));
    state.SetItemsProcessed(state.iterations());
    d.device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

}  // namespace

BENCHMARK(SetRenderStateLogged);
BENCHMARK(SetRenderStateUnlogged);
BENCHMARK(DrawIndexedPrimitive);
BENCHMARK(DrawPrimitive);
