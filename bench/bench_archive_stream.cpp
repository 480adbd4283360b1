// Members of a large media archive (10,000 stored members, about 200 MB) opened and read
// through MemoryBuffer::OpenMember and Stream::Read. A read-only member stream views the
// archive bytes, so reading a member costs one copy into the caller's buffer: the same
// memcpy measured alone is the ceiling. OpenMember alone shows the cost of finding a
// member (a walk over the headers before it and a check of its checksum).
// Also: the write buffer of an ArchiveStream, filled at the end and in the middle.
#include "Core/ArchiveStream.h"
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/RarArchive.h"
#include "Core/String.h"
#include "Core/Memory.h"
#include "tools/RarWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr u32 kMembers = 10000;
constexpr u32 kMemberSize = 20000;

// The archive, built once for all benchmarks, and a mounted buffer over it.
struct Media {
    std::vector<u8> bytes;
    std::vector<String> names;
    MemoryBuffer buffer;

    Media() {
        RarWriter writer;
        writer.SetPrefix("Media\\");
        writer.Reserve(static_cast<std::size_t>(kMembers) * (kMemberSize + 64));
        std::vector<u8> data(kMemberSize);
        std::mt19937 random(7);
        char name[64];
        for (u32 i = 0; i < kMembers; ++i) {
            for (u8& b : data) b = static_cast<u8>(random());
            std::snprintf(name, sizeof name, "Models/Group%02u/model%05u.bin", i % 50, i);
            writer.AddFile(name, data.data(), data.size());
            std::snprintf(name, sizeof name, "Media/Models/Group%02u/model%05u.bin", i % 50, i);
            names.emplace_back(name);
        }
        writer.AddEndBlock();
        bytes = writer.Take();
        patht block;
        block.flags = kPathMemory;
        block.block.data = bytes.data();
        block.block.size = static_cast<u32>(bytes.size());
        buffer.Load(block);
    }
};

Media& TheMedia() {
    static Media media;
    return media;
}

// Members spread over the whole archive: i-th of `count` evenly spaced ones.
u32 Spread(u64 i, u32 count) { return static_cast<u32>((i * 7919u) % count); }

void OpenMemberOnly(benchmark::State& state) {
    Media& media = TheMedia();
    const u32 count = static_cast<u32>(state.range(0));
    u64 i = 0;
    for (auto _ : state) {
        std::unique_ptr<Stream> s(media.buffer.OpenMember(media.names[Spread(i++, count)], kStreamRead));
        benchmark::DoNotOptimize(s.get());
    }
    state.counters["archive_MB"] = static_cast<double>(media.bytes.size()) / 1e6;
}

void OpenMemberAndRead(benchmark::State& state) {
    Media& media = TheMedia();
    const u32 count = static_cast<u32>(state.range(0));
    std::vector<u8> out(kMemberSize);
    u64 i = 0;
    for (auto _ : state) {
        std::unique_ptr<Stream> s(media.buffer.OpenMember(media.names[Spread(i++, count)], kStreamRead));
        const u32 got = s->Read(out.data(), kMemberSize);
        benchmark::DoNotOptimize(got);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * kMemberSize);
}

// Reading the member from an open stream, in 4 KB reads: the copy into the buffer only.
void ReadOpenMember(benchmark::State& state) {
    Media& media = TheMedia();
    std::unique_ptr<Stream> s(media.buffer.OpenMember(media.names[kMembers / 2], kStreamRead));
    std::vector<u8> out(4096);
    for (auto _ : state) {
        s->Seek(0, kSeekSet);
        u32 total = 0;
        for (u32 n; (n = s->Read(out.data(), 4096)) != 0;) total += n;
        benchmark::DoNotOptimize(total);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * kMemberSize);
}

// The ceilings of a read: memcpy of a member's bytes out of the archive, from members
// spread over it (as OpenMemberAndRead) and from one member in 4 KB pieces (as
// ReadOpenMember).
void MemcpySpread(benchmark::State& state) {
    Media& media = TheMedia();
    std::vector<u8> out(kMemberSize);
    // The C library's memcpy, as Read calls it: through a pointer the compiler cannot
    // see through, so that it is not expanded inline into a simpler loop.
    auto libraryCopy = &std::memcpy;
    benchmark::DoNotOptimize(libraryCopy);
    u64 i = 0;
    const u32 stride = static_cast<u32>(media.bytes.size() / kMembers);
    for (auto _ : state) {
        const u8* from = media.bytes.data() + static_cast<std::size_t>(Spread(i++, kMembers)) * stride;
        libraryCopy(out.data(), from, kMemberSize);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * kMemberSize);
}

void MemcpyOneMember(benchmark::State& state) {
    Media& media = TheMedia();
    const u8* member = nullptr;
    u32 size = 0;
    RarMemoryFile archive;
    archive.data = media.bytes.data();
    archive.size = static_cast<u32>(media.bytes.size());
    RarFindStored(&member, &size, media.names[kMembers / 2].c_str(), &archive);
    std::vector<u8> out(4096);
    auto libraryCopy = &std::memcpy;
    benchmark::DoNotOptimize(libraryCopy);
    for (auto _ : state) {
        for (u32 at = 0; at < size; at += 4096) {
            const u32 n = size - at < 4096 ? size - at : 4096;
            libraryCopy(out.data(), member + at, n);
            benchmark::ClobberMemory();
        }
    }
    state.counters["member_bytes"] = size;
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * kMemberSize);
}

// For comparison: extracting a copy of the member (what a copying stream would cost).
void ExtractCopy(benchmark::State& state) {
    Media& media = TheMedia();
    const u32 count = static_cast<u32>(state.range(0));
    u64 i = 0;
    for (auto _ : state) {
        RarMemoryFile archive;
        archive.data = media.bytes.data();
        archive.size = static_cast<u32>(media.bytes.size());
        u8* data = nullptr;
        u32 size = 0;
        RarExtract(&data, &size, media.names[Spread(i++, count)].c_str(), &archive, nullptr);
        benchmark::DoNotOptimize(data);
        MemFree(data);
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) * kMemberSize);
}

// The write buffer: 1 MB written in 64-byte writes at the end.
void WriteAppend(benchmark::State& state) {
    std::vector<u8> chunk(64, 0x5A);
    for (auto _ : state) {
        ArchiveStream s;
        s.Open(String(), kStreamWrite);
        for (u32 i = 0; i < (1u << 20) / 64; ++i) s.Write(chunk.data(), 64);
        benchmark::DoNotOptimize(s.Size());
    }
    state.SetBytesProcessed(static_cast<i64>(state.iterations()) << 20);
}

// The write buffer: 64-byte writes at random places of a 4 MB buffer, each replacing the
// 64 bytes under it (as a writer patches sizes it wrote before).
void WriteMiddle(benchmark::State& state) {
    std::vector<u8> big(4u << 20, 0x11);
    std::vector<u8> chunk(64, 0x22);
    ArchiveStream s;
    s.Open(String(), kStreamWrite);
    s.Write(big.data(), static_cast<u32>(big.size()));
    std::mt19937 random(3);
    for (auto _ : state) {
        s.Seek(static_cast<i32>(random() % (big.size() - 64)), kSeekSet);
        s.Write(chunk.data(), 64);
    }
    state.counters["pieces"] = s.WriteBuffer().PieceCount();
    state.counters["height"] = s.WriteBuffer().Height();
}

}  // namespace

BENCHMARK(OpenMemberOnly)->Arg(100)->Arg(kMembers);
BENCHMARK(OpenMemberAndRead)->Arg(100)->Arg(kMembers);
BENCHMARK(ReadOpenMember);
BENCHMARK(MemcpySpread);
BENCHMARK(MemcpyOneMember);
BENCHMARK(ExtractCopy)->Arg(100)->Arg(kMembers);
BENCHMARK(WriteAppend);
BENCHMARK(WriteMiddle);
