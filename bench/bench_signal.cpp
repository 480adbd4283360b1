// Emitting a signal per due connection, against calling the same handlers from a plain
// vector: the vector is the ceiling, the difference the price of the time-ordered set
// (two re-filings per firing) that lets handlers change the signal while it is emitted.
#include "Core/Timer.h"
#include "Gui/Signal.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

class CountHandler : public SignalHandler {
public:
    explicit CountHandler(u64* sum) : sum_(sum) {}
    void Call() override { ++*sum_; }

private:
    u64* sum_;
};

void BM_SignalEmit(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Timer::FreezeAt(1000);
    u64 sum = 0;
    Signal signal;
    std::vector<Connection*> connections;
    for (int i = 0; i < n; ++i) connections.push_back(signal.Connect(new CountHandler(&sum), 0, false));
    for (auto _ : state) signal.Emit();
    benchmark::DoNotOptimize(sum);
    for (Connection* c : connections) delete c;
    Timer::Freeze(false);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SignalEmit)->Arg(1)->Arg(16)->Arg(100);

void BM_HandlerVector(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    u64 sum = 0;
    std::vector<SignalHandler*> handlers;
    for (int i = 0; i < n; ++i) handlers.push_back(new CountHandler(&sum));
    for (auto _ : state)
        for (SignalHandler* h : handlers) h->Call();
    benchmark::DoNotOptimize(sum);
    for (SignalHandler* h : handlers) delete h;
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_HandlerVector)->Arg(1)->Arg(16)->Arg(100);

// Most connections not yet due: an emission stops at the first one that is not.
void BM_SignalEmitFewDue(benchmark::State& state) {
    Timer::FreezeAt(1000);
    u64 sum = 0;
    Signal signal;
    std::vector<Connection*> connections;
    for (int i = 0; i < 100; ++i)
        connections.push_back(signal.Connect(new CountHandler(&sum), i < 4 ? 0 : 1000000, false));
    for (auto _ : state) signal.Emit();
    benchmark::DoNotOptimize(sum);
    for (Connection* c : connections) delete c;
    Timer::Freeze(false);
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_SignalEmitFewDue);

}  // namespace
