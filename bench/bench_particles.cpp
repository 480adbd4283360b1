// Particle updates per second: one emitter of 1,000 live particles stepped frame by frame
// (16 ms apart, with acceleration and the colour fade), against the ceiling: a bare loop
// that integrates the same particle records the same way, with nothing else to do. The
// emitter's update also walks the generation clock and compacts the list; its draw is
// left out (no device), so the figure is the CPU cost of the simulation alone.
#include "Core/Timer.h"
#include "Effect/Material.h"
#include "Scene/ParticleEmitter.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr i32 kParticles = 1000;
constexpr u64 kFrameMs = 16;

void Configure(ParticleEmitter& e) {
    e.capacity = kParticles;
    e.genPeriod.range = RangeValue(1.0f);
    e.genPeriod.Restart();
    e.particleLife = RangeValue(1e9f);
    e.particleSize = RangeValue(1.0f);
    e.spawnArea = RangeValue(1.0f);
    e.startSpeed = RangeValue(0.1f);
    e.dirDeviation = RangeValue(0.3f);
    e.acceleration = Vec3(0.0f, -0.001f, 0.0f);
    e.startColor.Set(1.0f, 1.0f, 1.0f, 1.0f);
    e.endColor.Set(0.0f, 1.0f, 0.0f, 0.0f);
}

void BM_EmitterUpdate(benchmark::State& state) {
    u64 now = 1000000;
    Timer::FreezeAt(now);
    ParticleEmitter emitter;
    Configure(emitter);
    Material material;  // no context: the draw gives up at once
    now += 2000;
    Timer::FreezeAt(now);
    emitter.Update(&material);
    // Full: no more spawns from here on.
    emitter.genPeriod.range = RangeValue(1e9f);
    emitter.genPeriod.period = -1.0f;
    for (auto _ : state) {
        now += kFrameMs;
        Timer::FreezeAt(now);
        benchmark::DoNotOptimize(emitter.Update(&material));
    }
    state.SetItemsProcessed(state.iterations() * emitter.Count());
    Timer::Freeze(false);
}
BENCHMARK(BM_EmitterUpdate);

void BM_BareIntegration(benchmark::State& state) {
    std::vector<Particle> particles(kParticles);
    for (i32 i = 0; i < kParticles; ++i) {
        particles[i].velocity = Vec3(0.01f * i, 0.1f, 0.0f);
        particles[i].life = 1000000000;
        particles[i].spawnTime = static_cast<u64>(i);
    }
    const Vec3 acceleration(0.0f, -0.001f, 0.0f);
    FColor start, end;
    end.Set(0.0f, 1.0f, 0.0f, 0.0f);
    u64 now = 2000;
    for (auto _ : state) {
        now += kFrameMs;
        const f32 dt = kFrameMs * 0.1f;
        for (Particle& p : particles) {
            p.velocity = p.velocity + acceleration * dt;
            p.position = p.position + p.velocity * dt;
            const f32 f = static_cast<f32>(now - p.spawnTime) / static_cast<f32>(p.life);
            p.color = FColor::Add(FColor::Scale(end, f), FColor::Scale(start, 1.0f - f));
        }
        benchmark::DoNotOptimize(particles.data());
    }
    state.SetItemsProcessed(state.iterations() * kParticles);
}
BENCHMARK(BM_BareIntegration);

}  // namespace
