// Log records per second: every record is one open, append and close of its file, so
// this measures what a burst of warnings costs.
#include "Core/Log.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {
String BenchLogFile() {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("corvane_bench_" + std::to_string(getpid()) + ".log")).string();
    return String(path.c_str());
}

void BM_LogRecordFull(benchmark::State& state) {
    const String file = BenchLogFile();
    LogChannel channel(String("BENCH_WARNINGS"), file, String("Warning"), 15, String(" "));
    for (auto _ : state) {
        channel.Write(LOG_SITE("bool __thiscall EffectManager::Create(void)"))
            .Print("Effect failed to create: ")
            .Print(String("distort"));
    }
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove(file.c_str());
}
BENCHMARK(BM_LogRecordFull);

void BM_LogRecordInfo(benchmark::State& state) {
    const String file = BenchLogFile();
    LogChannel channel(String("BENCH_INFO"), file, String("Info"), 0x31, String(" "));
    for (auto _ : state) channel.Write(LOG_SITE("void __cdecl Startup(void)")).Print("Pixel shader 2.0");
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove(file.c_str());
}
BENCHMARK(BM_LogRecordInfo);

void BM_LogRecordSilenced(benchmark::State& state) {
    const String file = BenchLogFile();
    LogChannel channel(String("BENCH_OFF"), file, String("Warning"), 15, String(" "));
    SetLogMasterSwitch(false);
    for (auto _ : state) channel.Write(LOG_SITE("void f(void)")).Print("dropped");
    SetLogMasterSwitch(true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogRecordSilenced);
}  // namespace
