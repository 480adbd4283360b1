// The glow rays of a frame, in vertices per second: five glows (one of 30 rays, four of 15,
// 540 vertices in all) each rebuilt for a moving camera and drawn on the reference device
// with recording off: the two sines and two normalisations per ray, the discard lock, the
// states and the draw. The ceiling is a plain loop writing the same 540 vertices' bytes
// (the same positions and colours, precomputed) into a buffer: what is left when nothing is
// computed and nothing reaches a device.
//
// Measured here (shared, loaded machine, medians of three): the draw 73.8 M vertices/s
// (7.3 us for the five glows of a frame) against the plain copy's 1.98 G vertices/s: the
// ray arithmetic and the five draws through the state cache and the device cost about 27
// times the bare byte writes, still under a hundredth of a 60 Hz frame.
#include "Core/Timer.h"
#include "D3d/Application.h"
#include "Dunmerrow/GlowRayMesh.h"
#include "Effect/SceneCamera.h"

#include <PlatformTestD3d9.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr i32 kGlowRays[5] = {30, 15, 15, 15, 15};
constexpr u32 kVerticesPerFrame = (30 + 4 * 15) * GlowRayMesh::kVerticesPerRay;

void BuildGlows(GlowRayMesh (&glows)[5]) {
    FColor colour;
    colour.Set(1.0f, 1.0f, 0.8f, 0.5f);
    for (i32 i = 0; i < 5; ++i)
        glows[i].Build(Vec3(4000.0f + 100.0f * i, 300.0f, -5700.0f), 120.0f, 24.0f, colour, kGlowRays[i]);
}

void BM_GlowRaysDraw(benchmark::State& state) {
    Application app;
    if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
        return state.SkipWithError("no device");
    PlatformTest_D3d9SetRecording(false);
    GlowRayMesh glows[5];
    BuildGlows(glows);
    SceneCamera camera;
    camera.SetPerspective(1.0f, 20000.0f, 1.0f, 0.75f);
    u64 now = 100000;
    f32 turn = 0.0f;
    for (auto _ : state) {
        now += 16;
        Timer::FreezeAt(now);
        turn += 0.01f;
        camera.SetView(Vec3(0.0f, 2000.0f, -8000.0f), Vec3(std::sin(turn), -0.1f, std::cos(turn)), Vec3(0, 1, 0));
        bool ok = true;
        for (GlowRayMesh& glow : glows) ok = glow.DrawRays(camera) && ok;
        if (!ok) return state.SkipWithError("a draw failed");
    }
    state.SetItemsProcessed(state.iterations() * kVerticesPerFrame);
    Timer::Freeze(false);
    PlatformTest_D3d9SetRecording(true);
}
BENCHMARK(BM_GlowRaysDraw);

void BM_GlowRaysCeiling(benchmark::State& state) {
    GlowRayMesh glows[5];
    BuildGlows(glows);
    std::vector<GlowRayMesh::Vertex> source(kVerticesPerFrame);
    u32 at = 0;
    for (GlowRayMesh& glow : glows)
        for (u32 i = 0; i < glow.RayCount(); ++i, at += GlowRayMesh::kVerticesPerRay)
            glow.RayVertices(i, Vec3(1, 0, 0), Vec3(0, 1, 0), 0.0f, &source[at]);
    std::vector<GlowRayMesh::Vertex> target(kVerticesPerFrame);
    for (auto _ : state) {
        for (u32 i = 0; i < kVerticesPerFrame; ++i) {
            GlowRayMesh::Vertex& out = target[i];
            const GlowRayMesh::Vertex& in = source[i];
            out.x = in.x;
            out.y = in.y;
            out.z = in.z;
            out.colour = in.colour;
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVerticesPerFrame);
}
BENCHMARK(BM_GlowRaysCeiling);

}  // namespace
