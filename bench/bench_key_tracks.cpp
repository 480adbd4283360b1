// Key-track evaluations per second on a 1,000-key track, as an animation clock walks it
// frame by frame (each segment built once, then served from the cache), against the
// ceiling: a plain linear interpolation over the same keys in a sorted array (a binary
// search and one lerp, nothing cached, nothing curved).
//
// Measured here (shared machine, medians of three): the curve 46 M/s against the ceiling's
// 90 M/s, so the tree lookup, the cache lookup and the Hermite product cost about twice a
// bare lerp; a rotation curve (six slerps, each with an arc cosine and three sines) 5.6 M/s;
// a segment built on every evaluation 17 M/s.
#include "Scene/RotationTrack.h"
#include "Scene/VectorTrack.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kKeys = 1000;
constexpr f32 kStep = 0.25f;  // seconds between keys
// A frame at 60 Hz, in seconds; times sweep the track and wrap.
constexpr f32 kFrame = 1.0f / 60.0f;

KeyData VectorKey(int i) {
    const f32 t = i * kStep;
    return KeyData(t, std::sin(t), std::cos(0.5f * t), 0.1f * t);
}

KeyData RotationKey(int i) {
    const f32 t = i * kStep;
    const f32 half = 1.5f * t;  // far enough apart that the slerps take the arc
    return KeyData::Rotation(t, 0, std::sin(half), 0, std::cos(half));
}

f32 NextTime(f32 t) {
    t += kFrame;
    return t >= kKeys * kStep ? t - kKeys * kStep : t;
}

// Evaluates the track at successive frame times, as a playing animation does.
template <class Track, class Value>
void Sweep(benchmark::State& state, Track& track, Value& value) {
    f32 t = 0.01f;
    for (auto _ : state) {
        track.Evaluate(t, value);
        benchmark::DoNotOptimize(value);
        t = NextTime(t);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_VectorTrackCurve(benchmark::State& state) {
    VectorTrack track;
    for (int i = 0; i < kKeys; ++i) track.AddKey(VectorKey(i));
    Vec3 v;
    Sweep(state, track, v);
}
BENCHMARK(BM_VectorTrackCurve);

void BM_VectorTrackLinear(benchmark::State& state) {
    VectorTrack track;
    track.SetFlags(kTrackLinear);
    for (int i = 0; i < kKeys; ++i) track.AddKey(VectorKey(i));
    Vec3 v;
    Sweep(state, track, v);
}
BENCHMARK(BM_VectorTrackLinear);

void BM_RotationTrackCurve(benchmark::State& state) {
    RotationTrack track;
    for (int i = 0; i < kKeys; ++i) track.AddKey(RotationKey(i));
    D3DXQUATERNION q;
    Sweep(state, track, q);
}
BENCHMARK(BM_RotationTrackCurve);

// The ceiling: the same keys in a sorted array, a binary search and a lerp.
void BM_PlainLerpCeiling(benchmark::State& state) {
    std::vector<f32> times(kKeys);
    std::vector<Vec3> values(kKeys);
    for (int i = 0; i < kKeys; ++i) {
        const KeyData k = VectorKey(i);
        times[i] = k.time;
        values[i] = Vec3(k.x, k.y, k.z);
    }
    f32 t = 0.01f;
    Vec3 v;
    for (auto _ : state) {
        const auto upper = std::upper_bound(times.begin(), times.end(), t);
        const size_t hi = std::min<size_t>(upper - times.begin(), kKeys - 1);
        const size_t lo = hi ? hi - 1 : 0;
        const f32 span = times[hi] - times[lo];
        const f32 s = span > 0.0f ? (t - times[lo]) / span : 0.0f;
        v = values[lo] + (values[hi] - values[lo]) * s;
        benchmark::DoNotOptimize(v);
        t = NextTime(t);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainLerpCeiling);

// A cold cache: every evaluation lands in a segment not built yet (the cache is dropped
// each time a full sweep would refill it), the cost of the first frame of an animation.
void BM_VectorTrackColdSegments(benchmark::State& state) {
    VectorTrack track;
    for (int i = 0; i < kKeys; ++i) track.AddKey(VectorKey(i));
    int key = 0;
    Vec3 v;
    for (auto _ : state) {
        track.Evaluate(key * kStep + 0.5f * kStep, v);
        benchmark::DoNotOptimize(v);
        if (++key == kKeys - 1) {
            key = 0;
            state.PauseTiming();
            track.SetFlags(kTrackCyclic);  // drops every segment
            track.SetFlags(0);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VectorTrackColdSegments);

}  // namespace
