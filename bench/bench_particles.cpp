// Particle updates per second: one emitter of 1,000 live particles stepped frame by frame
// (16 ms apart, with acceleration and the colour fade), against the ceiling: a bare loop
// that integrates the same particle records the same way, with nothing else to do. The
// emitter's update also walks the generation clock and compacts the list; its draw is
// left out (no device), so the figure is the CPU cost of the simulation alone.
//
// Measured here (shared, loaded machine, medians of three): the emitter 27.4 M particle
// updates/s (36.5 us a frame of 1,000) against the bare loop's 28.7 M/s: the clock walk and
// the compaction cost about 5 % over the integration itself. The update after a gap of
// 2^27 ms, with the magic's 3.68 ms generation period and room for 500 particles, took
// 0.17 ms of CPU (a walk of 1,000 spawn times, 500 particles made and stepped).
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

// One update after 2^27 ms (37 hours) without a frame, of an emitter with the magic's
// generation period of 3.68 ms: the catch-up keeps the first kMaxCatchUp spawns and
// drops the rest unwalked, whatever the gap.
void BM_EmitterCatchUpAfterALongGap(benchmark::State& state) {
    u64 now = 1000000;
    Timer::FreezeAt(now);
    ParticleEmitter emitter;
    Configure(emitter);
    emitter.capacity = 500;
    emitter.particleLife = RangeValue(1000.0f);
    emitter.genPeriod.range = RangeValue(3.68f);
    emitter.genPeriod.Restart();
    Material material;
    for (auto _ : state) {
        now += 1ull << 27;
        Timer::FreezeAt(now);
        benchmark::DoNotOptimize(emitter.Update(&material));
    }
    Timer::Freeze(false);
}
BENCHMARK(BM_EmitterCatchUpAfterALongGap);

}  // namespace
