// Unpacking RAR 2.0 members: LZ, multimedia, encrypted and solid members against the stored
// path, in MB/s of unpacked bytes. The archives are the bench corpus (text, a waveform,
// records of numbers) packed as tools/rar-vs-unar.sh packs it with rarpack for unar:
// stored, --compress, the waveform alone with --multimedia 2, --compress --password, and
// --solid; so the figures compare.
#include "Core/Memory.h"
#include "Core/RarArchive.h"
#include "tools/Rar20Pack.h"

#include <benchmark/benchmark.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

struct BenchArchive {
    std::vector<u8> bytes;
    std::vector<std::string> names;
    u64 total = 0;
};

enum Kind { kStored, kLz, kMultimedia, kEncrypted, kSolid };
const char* const kPassword = "bench";

BenchArchive Make(Kind kind) {
    BenchArchive a;
    std::vector<Rar20Member> members = Rar20BenchMembers();
    if (kind == kMultimedia) {
        members.erase(std::remove_if(members.begin(), members.end(),
                                     [](const Rar20Member& m) { return m.name != "wave.raw"; }),
                      members.end());
        members[0].options.segments = {{0, 2}};
    }
    for (const Rar20Member& m : members) {
        a.names.push_back(m.name);
        a.total += m.data.size();
    }
    Rar20ArchiveOptions options;
    options.compress = kind != kStored;
    options.solid = kind == kSolid;
    if (kind == kEncrypted)
        options.password = kPassword;
    Rar20WriteArchive(members, options, &a.bytes);
    return a;
}

const BenchArchive& Archive(Kind kind) {
    static const BenchArchive archives[] = {Make(kStored), Make(kLz), Make(kMultimedia), Make(kEncrypted),
                                            Make(kSolid)};
    return archives[kind];
}

// Extracts every member once per iteration (a solid archive: only the last, which
// unpacks all of them).
void Extract(benchmark::State& state, Kind kind) {
    const BenchArchive& a = Archive(kind);
    if (a.bytes.empty()) {
        state.SkipWithError("archive could not be built");
        return;
    }
    RarMemoryFile file;
    file.data = a.bytes.data();
    file.size = u32(a.bytes.size());
    const char* password = kind == kEncrypted ? kPassword : nullptr;
    for (auto _ : state) {
        for (std::size_t i = kind == kSolid ? a.names.size() - 1 : 0; i < a.names.size(); ++i) {
            u8* out = nullptr;
            u32 size = 0;
            if (!RarExtract(&out, &size, a.names[i].c_str(), &file, password)) {
                state.SkipWithError("a member did not extract");
                return;
            }
            benchmark::DoNotOptimize(out);
            MemFree(out);
        }
    }
    state.SetBytesProcessed(i64(state.iterations()) * i64(a.total));
    state.counters["packed_ratio"] = double(a.bytes.size()) / double(a.total);
}

void BM_RarUnpackStored(benchmark::State& state) { Extract(state, kStored); }
void BM_RarUnpackLz(benchmark::State& state) { Extract(state, kLz); }
void BM_RarUnpackMultimedia(benchmark::State& state) { Extract(state, kMultimedia); }
void BM_RarUnpackEncrypted(benchmark::State& state) { Extract(state, kEncrypted); }
void BM_RarUnpackSolid(benchmark::State& state) { Extract(state, kSolid); }

} // namespace

BENCHMARK(BM_RarUnpackStored)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RarUnpackLz)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RarUnpackMultimedia)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RarUnpackEncrypted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RarUnpackSolid)->Unit(benchmark::kMillisecond);
