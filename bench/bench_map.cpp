// IntMap against std::map on random u32 keys: building (with teardown), lookups,
// a walk in key order and erasure of every key.
#include "Core/OrderedMap.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {

std::vector<u32> RandomKeys(size_t n, u32 seed) {
    std::mt19937 rng(seed);
    std::vector<u32> keys(n);
    for (auto& k : keys) k = rng();
    return keys;
}

std::vector<u32> Shuffled(std::vector<u32> keys, u32 seed) {
    std::mt19937 rng(seed);
    std::shuffle(keys.begin(), keys.end(), rng);
    return keys;
}

void IntMapInsert(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 1);
    for (auto _ : state) {
        IntMap map;
        for (u32 k : keys) map.Insert(k, k, true);
        benchmark::DoNotOptimize(map.root);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void StdMapInsert(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 1);
    for (auto _ : state) {
        std::map<u32, u32> map;
        for (u32 k : keys) map.emplace(k, k);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void IntMapFind(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 2);
    IntMap map;
    for (u32 k : keys) map.Insert(k, k, true);
    const auto probes = Shuffled(keys, 3);
    for (auto _ : state) {
        u32 sum = 0;
        for (u32 k : probes) sum += map.Find(k)->value;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void StdMapFind(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 2);
    std::map<u32, u32> map;
    for (u32 k : keys) map.emplace(k, k);
    const auto probes = Shuffled(keys, 3);
    for (auto _ : state) {
        u32 sum = 0;
        for (u32 k : probes) sum += map.find(k)->second;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Key order through the thread of a sorted-thread map.
void IntMapWalk(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 4);
    IntMap map;
    map.sortedThread = 1;
    for (u32 k : keys) map.Insert(k, k, true);
    for (auto _ : state) {
        u32 sum = 0;
        const IntMap::Node* node = map.first;
        for (u32 i = 0; i < map.count; ++i, node = node->next) sum += node->value;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void StdMapWalk(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 4);
    std::map<u32, u32> map;
    for (u32 k : keys) map.emplace(k, k);
    for (auto _ : state) {
        u32 sum = 0;
        for (const auto& [k, v] : map) sum += v;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void IntMapErase(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 5);
    const auto order = Shuffled(keys, 6);
    for (auto _ : state) {
        state.PauseTiming();
        IntMap map;
        for (u32 k : keys) map.Insert(k, k, true);
        state.ResumeTiming();
        for (u32 k : order) map.Remove(k);
        benchmark::DoNotOptimize(map.count);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void StdMapErase(benchmark::State& state) {
    const auto keys = RandomKeys(static_cast<size_t>(state.range(0)), 5);
    const auto order = Shuffled(keys, 6);
    for (auto _ : state) {
        state.PauseTiming();
        std::map<u32, u32> map;
        for (u32 k : keys) map.emplace(k, k);
        state.ResumeTiming();
        for (u32 k : order) map.erase(k);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(IntMapInsert)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(StdMapInsert)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(IntMapFind)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(StdMapFind)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(IntMapWalk)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(StdMapWalk)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(IntMapErase)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(StdMapErase)->RangeMultiplier(10)->Range(1000, 1000000);
