// Reading members of a large stored archive: extraction by name (walk, copy and checksum),
// the zero-copy find, checksum-only access through a prepared listing, and memcpy of the
// same bytes as the ceiling.
#include "Core/Crc32.h"
#include "Core/Memory.h"
#include "Core/RarArchive.h"
#include "tools/RarWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMembers = 10000;
constexpr u32 kMaxMember = 40 * 1024;  // sizes spread over 0..40 KB: about 200 MB in all

struct BenchArchive {
    std::vector<u8> bytes;
    std::vector<std::string> names;   // in archive order
    std::vector<RarMember> members;   // from the listing
    RarMemoryFile file;
    std::vector<u32> order;           // a shuffled visiting order
};

// Built once per run, on first use.
const BenchArchive& Archive() {
    static const BenchArchive archive = [] {
        BenchArchive a;
        std::mt19937 rng(42);
        std::vector<u32> sizes(kMembers);
        std::size_t total = 0;
        for (u32& s : sizes) {
            s = rng() % (kMaxMember + 1);
            total += s + 80;
        }
        RarWriter writer;
        writer.SetPrefix("Media\\");
        writer.Reserve(total + 64);
        std::vector<u64> block(kMaxMember / 8 + 1);
        u64 x = 0x9E3779B97F4A7C15ull;
        for (int i = 0; i < kMembers; ++i) {
            for (u64& w : block) {  // xorshift: cheap incompressible bytes
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                w = x;
            }
            const std::string name = "Folder" + std::to_string(i % 37) + "/Sub" + std::to_string(i % 5) +
                                     "/file" + std::to_string(i) + ".bin";
            writer.AddFile(name, block.data(), sizes[i]);
            a.names.push_back(writer.ArchiveName(name));
        }
        a.bytes = writer.Take();
        a.file.data = a.bytes.data();
        a.file.size = u32(a.bytes.size());
        RarMemoryFile walk = a.file;
        RarMember m;
        if (RarBegin(&walk, nullptr))
            while (RarNextMember(&walk, &m) == RarWalk::Member)
                a.members.push_back(m);
        for (u32 i = 0; i < kMembers; ++i)
            a.order.push_back(i);
        std::shuffle(a.order.begin(), a.order.end(), rng);
        return a;
    }();
    return archive;
}

// Members chosen among the first `range` of the archive, so the walk length is steered.
template <class Body>
void VisitMembers(benchmark::State& state, Body body) {
    const BenchArchive& a = Archive();
    if (a.members.size() != kMembers) {
        state.SkipWithError("archive could not be built");
        return;
    }
    const u32 range = u32(state.range(0));
    std::vector<u32> picks;
    for (u32 i : a.order)
        if (i < range)
            picks.push_back(i);
    std::size_t next = 0;
    u64 bytes = 0;
    for (auto _ : state) {
        const u32 i = picks[next];
        next = (next + 1) % picks.size();
        if (!body(a, i)) {
            state.SkipWithError("member could not be read");
            return;
        }
        bytes += a.members[i].unpSize;
    }
    state.SetBytesProcessed(i64(bytes));
}

void BM_RarExtract(benchmark::State& state) {
    VisitMembers(state, [](const BenchArchive& a, u32 i) {
        RarMemoryFile file = a.file;
        u8* data;
        u32 size;
        if (!RarExtract(&data, &size, a.names[i].c_str(), &file, nullptr))
            return false;
        benchmark::DoNotOptimize(data);
        MemFree(data);
        return true;
    });
}

void BM_RarFindStored(benchmark::State& state) {
    VisitMembers(state, [](const BenchArchive& a, u32 i) {
        RarMemoryFile file = a.file;
        const u8* data;
        u32 size;
        if (!RarFindStored(&data, &size, a.names[i].c_str(), &file))
            return false;
        benchmark::DoNotOptimize(data);
        return true;
    });
}

// Checksum and hand-out without the walk: what an index over the listing costs per read.
void BM_RarStoredDataFromListing(benchmark::State& state) {
    VisitMembers(state, [](const BenchArchive& a, u32 i) {
        const u8* data;
        u32 size;
        if (!RarStoredData(&a.file, &a.members[i], &data, &size))
            return false;
        benchmark::DoNotOptimize(data);
        return true;
    });
}

// The listing walk (every header checksum checked) up to the wanted name, no data touched.
void BM_RarListingWalk(benchmark::State& state) {
    VisitMembers(state, [](const BenchArchive& a, u32 i) {
        RarMemoryFile file = a.file;
        RarMember m;
        if (!RarBegin(&file, nullptr))
            return false;
        const std::string& name = a.names[i];
        while (RarNextMember(&file, &m) == RarWalk::Member)
            if (RarNamesMatch(m.name, m.nameLength, name.data(), u32(name.size())))
                return true;
        return false;
    });
}

// The ceiling: copying the member's bytes into a fresh block, nothing else.
void BM_MemcpyCeiling(benchmark::State& state) {
    VisitMembers(state, [](const BenchArchive& a, u32 i) {
        const RarMember& m = a.members[i];
        u8* out = static_cast<u8*>(MemAlloc(m.unpSize));
        std::memcpy(out, a.bytes.data() + m.dataOffset, m.unpSize);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        MemFree(out);
        return true;
    });
}

void BM_Crc32(benchmark::State& state) {
    const BenchArchive& a = Archive();
    const std::size_t length = std::size_t(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(Crc32::Compute(a.bytes.data() + 4096, length));
    state.SetBytesProcessed(i64(state.iterations()) * i64(length));
}

} // namespace

// Arg: members are drawn from the first N of the archive (100: short walks; 10000: all).
BENCHMARK(BM_RarExtract)->Arg(100)->Arg(10000);
BENCHMARK(BM_RarFindStored)->Arg(100)->Arg(10000);
BENCHMARK(BM_RarListingWalk)->Arg(10000);
BENCHMARK(BM_RarStoredDataFromListing)->Arg(10000);
BENCHMARK(BM_MemcpyCeiling)->Arg(10000);
BENCHMARK(BM_Crc32)->Arg(16 * 1024)->Arg(16 * 1024 * 1024);
