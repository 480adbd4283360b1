// The fixed-function set-up of one material layer (render states, textures, lighting and
// stage operations) per drawn object, through the state cache: the steady case (the same
// material again, so the cache drops every state) and two different materials in turn
// (a textured lit one and an untextured transparent one). The device counts what reaches
// it, reported as device calls per set-up.
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "tests/FakeD3d9.h"

#include <benchmark/benchmark.h>

namespace {

class CountingDevice : public fake::FakeDevice {
public:
    long long sets = 0;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return Count(); }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return Count(); }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override {
        return Count();
    }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD, IDirect3DBaseTexture9*) override { return Count(); }
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9*) override { return Count(); }
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return Count(); }

private:
    HRESULT Count() {
        ++sets;
        return D3D_OK;
    }
};

struct SetupFixture {
    CountingDevice device;
    RenderContext context;
    Texture texture;
    Material textured;
    Material transparent;

    SetupFixture() {
        texture.detached = 1;
        texture.CreateEmpty(TEX_EMPTY, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, false, true);
        device.record = false;
        PublishDevice(&device);
        StateCache::InvalidateAll();
        context.world = IdentityMatrix;
        textured.layers[0].samplers[kBaseMap].texture = &texture;
        textured.layers[0].lit = 1;
        textured.BuildPasses();
        transparent.layers[0].opacity = 0.5f;
        transparent.layers[0].vertexColor = 1;
        textured.context = &context;
        transparent.context = &context;
    }
    ~SetupFixture() {
        PublishDevice(nullptr);
        StateCache::InvalidateAll();
    }
    static bool SetUp(Material& m) {
        return m.ApplyRenderStates(0) && m.ApplyLighting(0) && m.ApplyMaterial(0);
    }
};

void BM_MaterialSetupSteady(benchmark::State& state) {
    SetupFixture f;
    SetupFixture::SetUp(f.textured);
    f.device.sets = 0;
    for (auto _ : state) benchmark::DoNotOptimize(SetupFixture::SetUp(f.textured));
    state.SetItemsProcessed(state.iterations());
    state.counters["device_calls_per_setup"] = static_cast<double>(f.device.sets) / state.iterations();
}
BENCHMARK(BM_MaterialSetupSteady);

void BM_MaterialSetupAlternating(benchmark::State& state) {
    SetupFixture f;
    f.device.sets = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SetupFixture::SetUp(f.textured));
        benchmark::DoNotOptimize(SetupFixture::SetUp(f.transparent));
    }
    state.SetItemsProcessed(2 * state.iterations());
    state.counters["device_calls_per_setup"] = static_cast<double>(f.device.sets) / (2.0 * state.iterations());
}
BENCHMARK(BM_MaterialSetupAlternating);

}  // namespace
