// Geometry buffers and the geometry cache on the fake device (buffers in memory), so the
// figures are the engine's own:
// - allocation and freeing in a long random run, best fit (GeometryBuffer) against a plain
//   first-fit list over the same sequence, with the share of the used span left in holes
//   and the requests that found no room;
// - the refill of a cached geometry's vertex buffer from its mesh, in bytes per second,
//   against a memcpy of the same bytes, for an equal layout (one run per vertex) and for a
//   layout that takes part of each vertex;
// - a cache hit: Lookup of a geometry made before, and Insert of a resident one.
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/GeometryCache.h"
#include "tests/FakeD3d9.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string.h>
#include <vector>

namespace {

// An Application over the fake device, for the buffers to register with.
struct FakeDeviceApp {
    fake::FakeDevice device;
    Application app;
    FakeDeviceApp() {
        device.record = false;
        app.device = &device;
        PublishDevice(&device);
    }
    ~FakeDeviceApp() {
        PublishDevice(nullptr);
        app.device = nullptr;
    }
};

// One step of the random run: allocate (size > 0) or free the live range at `victim`.
struct Step {
    u32 size;
    u32 victim;
};

constexpr u32 kBufferBytes = 1u << 20;

std::vector<Step> RandomRun(u32 steps) {
    std::mt19937 random(12345);
    std::vector<Step> run;
    run.reserve(steps);
    for (u32 i = 0; i < steps; ++i) {
        if (random() % 100 < 52)
            run.push_back(Step{static_cast<u32>(16 + (random() % 256) * 16), 0});
        else
            run.push_back(Step{0, static_cast<u32>(random())});
    }
    return run;
}

// The plain alternative: the first free range that is large enough, in a list in offset
// order with the same split and merge rules.
class FirstFit {
public:
    struct Range {
        u32 offset;
        u32 size;
        bool free;
    };
    explicit FirstFit(u32 length) { ranges.push_back(Range{0, length, true}); }
    // The offset, or -1 when nothing is large enough.
    i64 Allocate(u32 size) {
        for (size_t i = 0; i < ranges.size(); ++i) {
            Range& r = ranges[i];
            if (!r.free || r.size < size) continue;
            const u32 offset = r.offset;
            if (r.size > size) ranges.insert(ranges.begin() + static_cast<long>(i) + 1, Range{offset + size, r.size - size, true});
            ranges[i].size = size;
            ranges[i].free = false;
            return offset;
        }
        return -1;
    }
    void Free(u32 offset) {
        size_t i = 0;
        while (ranges[i].offset != offset) ++i;
        ranges[i].free = true;
        if (i + 1 < ranges.size() && ranges[i + 1].free) {
            ranges[i].size += ranges[i + 1].size;
            ranges.erase(ranges.begin() + static_cast<long>(i) + 1);
        }
        if (i > 0 && ranges[i - 1].free) {
            ranges[i - 1].size += ranges[i].size;
            ranges.erase(ranges.begin() + static_cast<long>(i));
        }
    }
    // Free bytes between the first and the last used byte, over that span.
    double HoleRatio() const {
        u32 first = 0xFFFFFFFFu, end = 0, holes = 0;
        for (const Range& r : ranges)
            if (!r.free) {
                if (r.offset < first) first = r.offset;
                end = r.offset + r.size;
            }
        if (end <= first) return 0.0;
        for (const Range& r : ranges)
            if (r.free && r.offset > first && r.offset < end) holes += r.size;
        return double(holes) / double(end - first);
    }

    std::vector<Range> ranges;
};

double HoleRatio(const GeometryBuffer& buffer) {
    const u32 used = buffer.GetUsedSize();
    if (used == 0) return 0.0;
    const u32 outside = buffer.GetLength() - used;
    return double(buffer.GetFreeBytes() - outside) / double(used);
}

void GeometryBufferBestFit(benchmark::State& state) {
    FakeDeviceApp fake;
    const std::vector<Step> run = RandomRun(static_cast<u32>(state.range(0)));
    double holes = 0.0;
    i64 failures = 0;
    for (auto _ : state) {
        GeometryBuffer buffer;
        if (!buffer.CreateVertexBuffer(kBufferBytes, 0, VertexDeclaration(), D3DPOOL_DEFAULT)) {
            state.SkipWithError("no buffer");
            return;
        }
        std::vector<BufferRange*> live;
        failures = 0;
        for (const Step& step : run) {
            if (step.size) {
                if (BufferRange* r = buffer.AllocateRange(step.size, 0, nullptr))
                    live.push_back(r);
                else
                    ++failures;
            } else if (!live.empty()) {
                const size_t at = step.victim % live.size();
                buffer.FreeRange(live[at]);
                live[at] = live.back();
                live.pop_back();
            }
        }
        holes = HoleRatio(buffer);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<i64>(run.size()));
    state.counters["hole_ratio"] = holes;
    state.counters["no_room"] = static_cast<double>(failures);
}

void GeometryBufferFirstFit(benchmark::State& state) {
    const std::vector<Step> run = RandomRun(static_cast<u32>(state.range(0)));
    double holes = 0.0;
    i64 failures = 0;
    for (auto _ : state) {
        FirstFit buffer(kBufferBytes);
        std::vector<u32> live;
        failures = 0;
        for (const Step& step : run) {
            if (step.size) {
                const i64 offset = buffer.Allocate(step.size);
                if (offset >= 0)
                    live.push_back(static_cast<u32>(offset));
                else
                    ++failures;
            } else if (!live.empty()) {
                const size_t at = step.victim % live.size();
                buffer.Free(live[at]);
                live[at] = live.back();
                live.pop_back();
            }
        }
        holes = buffer.HoleRatio();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<i64>(run.size()));
    state.counters["hole_ratio"] = holes;
    state.counters["no_room"] = static_cast<double>(failures);
}

VertexDeclaration Layout(bool withTangents) {
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
    if (withTangents) {
        layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0);
        layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0);
    }
    return layout;
}

constexpr u32 kVertices = 20000;

// The shipped models' layout (56 bytes) drawn as is (state.range(0) == 0) or on the
// fixed-function path's position, normal and texture coordinates (1).
void GeometryCacheRefill(benchmark::State& state) {
    FakeDeviceApp fake;
    FrameSequence mesh;
    mesh.vertices.Reserve(kVertices, Layout(true));
    memset(mesh.vertices.streams[0], 0x3C, mesh.vertices.StreamBytes(0));
    mesh.indices.Allocate(3 * kVertices, 2);
    const VertexDeclaration fixed = mesh.GetFixedLayout();
    GeometryDesc desc;
    desc.Setup(mesh, state.range(0) ? &fixed : nullptr, false, false);
    GeometryCache cache;
    GeometryRef ref = cache.Lookup(desc, &mesh);
    if (!cache.Insert(ref)) {
        state.SkipWithError("no geometry");
        return;
    }
    BufferRange* range = ref->GetVertexBuffer()->GetRanges();
    static_cast<fake::FakeVertexBuffer*>(ref->GetVertexBuffer()->GetVertexBuffer())->recordLocks = false;
    for (auto _ : state) benchmark::DoNotOptimize(cache.Refill(range));
    state.SetBytesProcessed(state.iterations() * static_cast<i64>(range->size));
}

void MemcpyOfTheSameBytes(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(kVertices) * (state.range(0) ? 32 : 56);
    std::vector<unsigned char> from(bytes, 0x3C);
    std::vector<unsigned char> to(bytes);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<i64>(bytes));
}

// Sixteen meshes under four layouts each: a hit finds its geometry among the key's four.
void GeometryCacheHit(benchmark::State& state) {
    FakeDeviceApp fake;
    GeometryCache cache;
    std::vector<FrameSequence> meshes(16);
    std::vector<GeometryDesc> descs(4);
    std::vector<GeometryRef> held;
    for (FrameSequence& mesh : meshes) {
        mesh.vertices.Reserve(64, Layout(true));
        mesh.indices.Allocate(96, 2);
        for (u32 d = 0; d < descs.size(); ++d) {
            const VertexDeclaration layout = Layout(d % 2 == 0);
            descs[d].Setup(mesh, &layout, d >= 2, false);
            GeometryRef ref = cache.Lookup(descs[d], &mesh);
            cache.Insert(ref);
            held.push_back(ref);
        }
    }
    u32 i = 0;
    for (auto _ : state) {
        GeometryRef ref = cache.Lookup(descs[i % 4], &meshes[(i / 4) % 16]);
        benchmark::DoNotOptimize(cache.Insert(ref));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(GeometryBufferBestFit)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(GeometryBufferFirstFit)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(GeometryCacheRefill)->Arg(0)->Arg(1);
BENCHMARK(MemcpyOfTheSameBytes)->Arg(0)->Arg(1);
BENCHMARK(GeometryCacheHit);
