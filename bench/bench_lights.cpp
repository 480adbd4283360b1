// The light set's cost per drawn object: the steady case (the object's eight lights are
// already enabled, so nothing reaches the device) and two objects that share half their
// lights in turn (four lights parked and four brought back per object, LightEnable only).
// Then the gathering of an object's lights from a group of 32 point lights.
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/LightSet.h"
#include "tests/FakeD3d9.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// Takes every light call, so the figures are the light set's own.
class LightDevice : public fake::FakeDevice {
public:
    HRESULT STDMETHODCALLTYPE SetLight(DWORD, const D3DLIGHT9*) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD, BOOL) override { return D3D_OK; }
};

struct QuietDevice {
    LightDevice device;
    QuietDevice() {
        device.record = false;
        PublishDevice(&device);
        StateCache::InvalidateAll();
        TheLightSet().Reset();
    }
    ~QuietDevice() {
        TheLightSet().Reset();
        PublishDevice(nullptr);
        StateCache::InvalidateAll();
    }
};

RefHandle<Light> MakePoint(f32 x, f32 z) {
    auto* light = new PointLight;
    light->SetPosition(x, 0.0f, z);
    light->SetRange(6.0f);
    light->SetAttenuation(1.0f, 0.1f, 0.0f);
    return RefHandle<Light>(light);
}

RefHandle<LightingInfo> InfoOf(const std::vector<RefHandle<Light>>& lights, size_t first, size_t count) {
    RefHandle<LightingInfo> info(new LightingInfo);
    for (size_t i = first; i < first + count; ++i) info->AddLight(lights[i]);
    return info;
}

void LightSetApplySteady(benchmark::State& state) {
    QuietDevice quiet;
    std::vector<RefHandle<Light>> lights;
    for (int i = 0; i < 8; ++i) lights.push_back(MakePoint(static_cast<f32>(i), 0.0f));
    RefHandle<LightingInfo> info = InfoOf(lights, 0, 8);
    TheLightSet().Apply(info);
    for (auto _ : state) TheLightSet().Apply(info);
    state.SetItemsProcessed(state.iterations());
}

void LightSetApplyAlternating(benchmark::State& state) {
    QuietDevice quiet;
    std::vector<RefHandle<Light>> lights;
    for (int i = 0; i < 12; ++i) lights.push_back(MakePoint(static_cast<f32>(i), 0.0f));
    RefHandle<LightingInfo> first = InfoOf(lights, 0, 8);
    RefHandle<LightingInfo> second = InfoOf(lights, 4, 8);
    for (auto _ : state) {
        TheLightSet().Apply(first);
        TheLightSet().Apply(second);
    }
    state.SetItemsProcessed(2 * state.iterations());
}

void LightingGatherForBox32(benchmark::State& state) {
    LightingInfo group;
    for (int i = 0; i < 32; ++i) group.AddLight(MakePoint(static_cast<f32>(i % 8) * 5.0f, static_cast<f32>(i / 8) * 5.0f));
    group.UpdateKey();
    Box box;
    box.x = 10.0f;
    box.z = 5.0f;
    box.w = box.h = box.d = 2.0f;
    i32 gathered = 0;
    for (auto _ : state) {
        LightingInfo target;
        benchmark::DoNotOptimize(group.GatherForBox(box, target));
        gathered = target.LightCount();
    }
    state.counters["lights"] = gathered;
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(LightSetApplySteady);
BENCHMARK(LightSetApplyAlternating);
BENCHMARK(LightingGatherForBox32);
