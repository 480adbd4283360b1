// The geometry cache on the fake device: sharing by key and description, residency within
// the byte budget (oldest evicted first), refills after a lost device, the forgetting of
// destroyed geometry, and random sequences over one and a half budgets checked against the
// cache's own promises after every step.
#include "D3d/GeometryCache.h"
#include "tests/GeometryFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <vector>

using geomtest::FakeDeviceTest;

namespace {

class GeometryCacheTest : public FakeDeviceTest {
protected:
    static GeometryDesc DescOf(const FrameSequence& mesh, const VertexDeclaration* layout = nullptr) {
        GeometryDesc d;
        d.Setup(mesh, layout, false, false);
        return d;
    }
    // A geometry made resident for mesh.
    GeometryRef Resident(GeometryCache& cache, const FrameSequence& mesh) {
        GeometryRef ref = cache.Lookup(DescOf(mesh), &mesh);
        EXPECT_TRUE(cache.Insert(ref));
        return ref;
    }
    // The geometry's buffers hold the mesh's vertices and indices (same layout).
    void ExpectHoldsMesh(const Geometry& g, const FrameSequence& mesh) {
        ASSERT_TRUE(g.HasBuffers());
        const SharedBuffer* vb = g.GetVertexBuffer();
        const BufferRange* range = vb->GetRanges();
        const u32 bytes = mesh.vertices.vertexCount * mesh.vertices.Stride(0);
        ASSERT_GE(range->size, bytes);
        ASSERT_EQ(memcmp(BytesOf(*vb) + range->offset, mesh.vertices.streams[0], bytes), 0);
        const SharedBuffer* ib = g.GetIndexBuffer();
        ASSERT_NE(ib, nullptr);
        const unsigned char* indices = BytesOf(*ib);
        if (mesh.indices.count == 0) return;
        const u32 size = GeometryStream::IndexSize(ib->GetIndexFormat());
        for (u32 i = 0; i < mesh.indices.count; ++i) {
            u32 v = 0;
            memcpy(&v, indices + ib->GetRanges()->offset + i * size, size);
            ASSERT_EQ(v, mesh.indices.Get(i)) << i;
        }
    }
};

}  // namespace

TEST_F(GeometryCacheTest, EqualRequestsShareOneGeometry) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 4, 6);
    GeometryRef a = cache.Lookup(DescOf(mesh), &mesh);
    GeometryRef b = cache.Lookup(DescOf(mesh), &mesh);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(a.UseCount(), 2u);
    EXPECT_EQ(cache.CandidateCount(&mesh), 1u);
}

TEST_F(GeometryCacheTest, AnotherLayoutMakesASecondGeometry) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 4, 6);
    const VertexDeclaration positions = geomtest::PositionOnly();
    GeometryRef full = cache.Lookup(DescOf(mesh), &mesh);
    GeometryRef small = cache.Lookup(DescOf(mesh, &positions), &mesh);
    EXPECT_NE(full.Get(), small.Get());
    EXPECT_EQ(cache.CandidateCount(&mesh), 2u);
    EXPECT_EQ(full.UseCount(), 1u);
    EXPECT_FALSE(cache.Lookup(DescOf(mesh), nullptr));
}

// The description a geometry was made for decides what is compared: its flags say whether
// the usages count.
TEST_F(GeometryCacheTest, TheStoredDescriptionsFlagsDecideTheMatch) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 4, 6);
    GeometryDesc dynamic = DescOf(mesh);
    dynamic.streams[0].usage = D3DUSAGE_DYNAMIC;
    dynamic.streams[0].fieldFlags |= GeometryStream::kUsageSet;
    GeometryRef plain = cache.Lookup(DescOf(mesh), &mesh);
    EXPECT_EQ(cache.Lookup(dynamic, &mesh).Get(), plain.Get());  // plain's flags ignore usage

    FrameSequence other;
    geomtest::FillMesh(other, geomtest::PositionNormalTexture(), 4, 6);
    GeometryRef first = cache.Lookup(dynamic, &other);
    GeometryRef second = cache.Lookup(DescOf(other), &other);
    EXPECT_NE(first.Get(), second.Get());  // first's flags compare the usage
    EXPECT_EQ(cache.CandidateCount(&other), 2u);
}

TEST_F(GeometryCacheTest, InsertMakesTheBuffersAndTheNewestResident) {
    GeometryCache cache;
    FrameSequence first;
    FrameSequence second;
    geomtest::FillMesh(first, geomtest::PositionNormalTexture(), 4, 6);
    geomtest::FillMesh(second, geomtest::PositionNormalTexture(), 9, 12);
    GeometryRef a = cache.Lookup(DescOf(first), &first);
    EXPECT_FALSE(a->HasBuffers());
    EXPECT_TRUE(cache.IsPending(a.Get()));
    EXPECT_EQ(cache.ByteSize(a), 4 * 32 + 6 * 2);
    ASSERT_TRUE(cache.Insert(a));
    EXPECT_TRUE(cache.IsResident(a.Get()));
    EXPECT_FALSE(cache.IsPending(a.Get()));
    EXPECT_EQ(cache.UsedBytes(), 140);
    EXPECT_EQ(a.UseCount(), 1u);  // Insert released its copy
    ExpectHoldsMesh(*a.Get(), first);
    const BufferRange* range = a->GetVertexBuffer()->GetRanges();
    EXPECT_EQ(range->user, 1u);
    EXPECT_EQ(range->client, static_cast<RangeClient*>(&cache));
    EXPECT_EQ(cache.KeyOfRange(range), &first);

    GeometryRef b = Resident(cache, second);
    ExpectHoldsMesh(*b.Get(), second);
    std::vector<const Geometry*> order;
    cache.ForEachResident([&](const Geometry* g) { order.push_back(g); });
    EXPECT_EQ(order, (std::vector<const Geometry*>{b.Get(), a.Get()}));
    // Again: nothing changes, not even the order.
    EXPECT_TRUE(cache.Insert(a));
    order.clear();
    cache.ForEachResident([&](const Geometry* g) { order.push_back(g); });
    EXPECT_EQ(order, (std::vector<const Geometry*>{b.Get(), a.Get()}));
    EXPECT_EQ(cache.UsedBytes(), 140 + 9 * 32 + 12 * 2);
}

TEST_F(GeometryCacheTest, TheOldestResidentIsEvictedFirstAndRebuiltOnItsNextInsert) {
    GeometryCache cache;  // the program's budget of 16,384,000 bytes
    FrameSequence meshA;
    FrameSequence meshB;
    FrameSequence meshC;
    // 6,400,000 bytes each: two fit, a third needs one eviction.
    geomtest::FillMesh(meshA, geomtest::PositionNormalTexture(), 200000, 0);
    geomtest::FillMesh(meshB, geomtest::PositionNormalTexture(), 200000, 0);
    geomtest::FillMesh(meshC, geomtest::PositionNormalTexture(), 200000, 0);
    GeometryRef a = Resident(cache, meshA);
    GeometryRef b = Resident(cache, meshB);
    GeometryRef c = Resident(cache, meshC);
    EXPECT_FALSE(a->HasBuffers());
    EXPECT_TRUE(cache.IsPending(a.Get()));
    EXPECT_TRUE(cache.IsResident(b.Get()));
    EXPECT_TRUE(cache.IsResident(c.Get()));
    EXPECT_EQ(cache.UsedBytes(), 2 * 6400000);
    EXPECT_EQ(cache.KnownRangeCount(), 4u);
    ASSERT_TRUE(cache.Insert(a));  // now b is the oldest
    EXPECT_FALSE(b->HasBuffers());
    ExpectHoldsMesh(*a.Get(), meshA);
}

TEST_F(GeometryCacheTest, AGeometryLargerThanTheBudgetIsStillMadeResident) {
    GeometryCache cache(999);
    FrameSequence small;
    FrameSequence large;
    geomtest::FillMesh(small, geomtest::PositionOnly(), 10, 0);   // 120 bytes
    geomtest::FillMesh(large, geomtest::PositionOnly(), 80, 20);  // 1000 bytes
    GeometryRef s = Resident(cache, small);
    GeometryRef l = cache.Lookup(DescOf(large), &large);
    EXPECT_EQ(cache.ByteSize(l), 1000);
    EXPECT_FALSE(cache.MakeRoom(1000));
    EXPECT_TRUE(s->HasBuffers());  // nothing evicted
    ASSERT_TRUE(cache.Insert(l));
    EXPECT_TRUE(s->HasBuffers());
    EXPECT_EQ(cache.UsedBytes(), 1120);
    EXPECT_GT(cache.UsedBytes(), cache.Budget());
}

TEST_F(GeometryCacheTest, ReleasingTheLastReferenceForgetsAResident) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 4, 6);
    GeometryRef ref = Resident(cache, mesh);
    const Object* gone = ref.Get();
    const int buffers = device.liveBuffers;
    ref.Release();
    EXPECT_EQ(device.liveBuffers, buffers - 2);
    EXPECT_FALSE(cache.Knows(gone));
    EXPECT_FALSE(cache.IsResident(gone));
    EXPECT_FALSE(cache.IsPending(gone));
    EXPECT_EQ(cache.UsedBytes(), 0);
    EXPECT_EQ(cache.KnownRangeCount(), 0u);
    EXPECT_EQ(cache.CandidateCount(&mesh), 0u);
}

TEST_F(GeometryCacheTest, ARangeTheCacheDoesNotKnowIsNotWritten) {
    GeometryCache cache;
    GeometryBuffer buffer;
    ASSERT_TRUE(buffer.CreateVertexBuffer(64, 0, geomtest::PositionOnly(), D3DPOOL_DEFAULT));
    BufferRange* stranger = buffer.AllocateRange(24, 0, &cache);
    EXPECT_TRUE(cache.Refill(stranger));
    EXPECT_TRUE(FakeOf(buffer.GetVertexBuffer())->locks.empty());
}

TEST_F(GeometryCacheTest, ElementsTheKeyLacksAreLeftAlone) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 3, 3);
    VertexDeclaration wider = geomtest::PositionOnly();
    wider.AddElement(D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0);
    GeometryRef ref = cache.Lookup(DescOf(mesh, &wider), &mesh);
    ASSERT_TRUE(cache.Insert(ref));
    const SharedBuffer* vb = ref->GetVertexBuffer();
    const unsigned char* bytes = BytesOf(*vb);
    for (u32 v = 0; v < 3; ++v) {
        EXPECT_EQ(memcmp(bytes + v * 16, mesh.vertices.streams[0] + v * 12, 12), 0) << v;
        for (u32 b = 12; b < 16; ++b) EXPECT_EQ(bytes[v * 16 + b], 0xCD) << v;  // as the device made it
    }
}

TEST_F(GeometryCacheTest, SixteenBitIndicesAreWidenedForA32BitBuffer) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 5, 6);
    GeometryDesc desc = DescOf(mesh);
    desc.index.indexFormat = D3DFMT_INDEX32;
    desc.index.length = 24;
    GeometryRef ref = cache.Lookup(desc, &mesh);
    ASSERT_TRUE(cache.Insert(ref));
    EXPECT_EQ(cache.ByteSize(ref), 5 * 12 + 6 * 4);
    ExpectHoldsMesh(*ref.Get(), mesh);
    EXPECT_EQ(ref->GetIndexBuffer()->GetIndexFormat(), u32(D3DFMT_INDEX32));
}

TEST_F(GeometryCacheTest, ALostDeviceRefillsEveryResident) {
    GeometryCache cache;
    FrameSequence meshA;
    FrameSequence meshB;
    geomtest::FillMesh(meshA, geomtest::PositionNormalTexture(), 6, 9);
    geomtest::FillMesh(meshB, geomtest::PositionOnly(), 7, 3);
    GeometryRef a = Resident(cache, meshA);
    GeometryRef b = Resident(cache, meshB);
    LoseAndRestoreDevice();
    EXPECT_EQ(device.liveBuffers, 4);
    ExpectHoldsMesh(*a.Get(), meshA);
    ExpectHoldsMesh(*b.Get(), meshB);
}

// An evicted geometry's ranges are deleted with its buffers; when it is destroyed later it
// must not take back ranges that another geometry has been given since (at the same
// addresses, as the allocator likes to hand them out).
TEST_F(GeometryCacheTest, EvictDestroyThenLoseTheDevice) {
    GeometryCache cache;
    FrameSequence meshA;
    FrameSequence meshB;
    geomtest::FillMesh(meshA, geomtest::PositionNormalTexture(), 6, 9);
    geomtest::FillMesh(meshB, geomtest::PositionNormalTexture(), 5, 6);
    GeometryRef a = Resident(cache, meshA);
    cache.Evict(a);
    EXPECT_FALSE(a->HasBuffers());
    EXPECT_TRUE(cache.IsPending(a.Get()));
    EXPECT_FALSE(cache.IsResident(a.Get()));
    EXPECT_EQ(cache.UsedBytes(), 0);
    EXPECT_EQ(cache.KnownRangeCount(), 0u);
    GeometryRef b = Resident(cache, meshB);
    EXPECT_EQ(cache.KnownRangeCount(), 2u);
    a.Release();
    EXPECT_EQ(cache.KnownRangeCount(), 2u);
    EXPECT_EQ(cache.KeyOfRange(b->GetVertexBuffer()->GetRanges()), &meshB);
    LoseAndRestoreDevice();
    ExpectHoldsMesh(*b.Get(), meshB);
    EXPECT_EQ(cache.UsedBytes(), cache.ByteSize(b));
}

// A buffer that cannot be made leaves nothing behind: no buffers in the geometry (which
// would pass for a resident one), no ranges, no bytes counted.
TEST_F(GeometryCacheTest, AFailedInsertTakesBackWhatItMade) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 6, 9);
    GeometryRef ref = cache.Lookup(DescOf(mesh), &mesh);
    device.creationsBeforeFailure = 1;  // the vertex buffer, not the index buffer
    device.failCreations = 1;
    EXPECT_FALSE(cache.Insert(ref));
    EXPECT_FALSE(ref->HasBuffers());
    EXPECT_EQ(ref->GetIndexBuffer(), nullptr);
    EXPECT_EQ(device.liveBuffers, 0);
    EXPECT_EQ(cache.KnownRangeCount(), 0u);
    EXPECT_EQ(cache.UsedBytes(), 0);
    EXPECT_FALSE(cache.IsResident(ref.Get()));
    EXPECT_TRUE(cache.IsPending(ref.Get()));
    ASSERT_TRUE(cache.Insert(ref));  // and the next one starts afresh
    ExpectHoldsMesh(*ref.Get(), mesh);
}

// The description was laid out for fewer vertices than the key has now: the buffer must
// grow to hand out the range, and when it cannot, the range is null and Insert fails.
TEST_F(GeometryCacheTest, ABufferThatHandsOutNoRangeFailsTheInsert) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 4, 3);
    const GeometryDesc desc = DescOf(mesh);
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 400, 3);
    GeometryRef ref = cache.Lookup(desc, &mesh);
    device.creationsBeforeFailure = 1;
    device.failCreations = 2;  // the grown buffer, and the old size again
    EXPECT_FALSE(cache.Insert(ref));
    EXPECT_FALSE(ref->HasBuffers());
    EXPECT_EQ(cache.KnownRangeCount(), 0u);
    EXPECT_EQ(device.liveBuffers, 0);
    // With a device that can, the buffer grows and holds every vertex.
    ASSERT_TRUE(cache.Insert(ref));
    ExpectHoldsMesh(*ref.Get(), mesh);
}

// The key gained vertices after its buffers were sized: a refill writes what fits in the
// range, never past it, and says that it could not write everything.
TEST_F(GeometryCacheTest, ARefillNeverWritesPastItsRange) {
    GeometryCache cache;
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 4, 3);
    GeometryRef ref = Resident(cache, mesh);
    BufferRange* vertices = ref->GetVertexBuffer()->GetRanges();
    ASSERT_EQ(vertices->size, 48u);
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 400, 300);
    EXPECT_FALSE(cache.Refill(vertices));
    EXPECT_EQ(memcmp(BytesOf(*ref->GetVertexBuffer()), mesh.vertices.streams[0], 48), 0);
    EXPECT_FALSE(cache.Refill(ref->GetIndexBuffer()->GetRanges()));
    EXPECT_EQ(FakeOf(ref->GetVertexBuffer()->GetVertexBuffer())->bytes.size(), 48u);
}

// The vertex count times the stride passes 32 bits long before the memory would.
TEST_F(GeometryCacheTest, ByteSizeSaturates) {
    GeometryCache cache;
    FrameSequence huge;
    huge.vertices.layout = geomtest::PositionNormalTexture();
    huge.vertices.vertexCount = 0x10000000;  // counts only: nothing is inserted
    huge.indices.count = 0x40000000;
    GeometryDesc desc;
    desc.layout = huge.vertices.layout;
    desc.index.indexFormat = D3DFMT_INDEX32;
    GeometryRef ref = cache.Lookup(desc, &huge);
    EXPECT_EQ(cache.ByteSize(ref), 0x7FFFFFFF);
    huge.vertices.vertexCount = 0;
    huge.indices.count = 0;
}

TEST_F(GeometryCacheTest, ForgottenGeometryKeepsItsBuffersButLeavesTheCache) {
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionNormalTexture(), 6, 9);
    GeometryRef kept;
    {
        GeometryCache cache;
        kept = Resident(cache, mesh);
        GeometryRef other = cache.Lookup(DescOf(mesh, nullptr), &mesh);
        cache.ForgetKey(&mesh);
        EXPECT_FALSE(cache.Knows(kept.Get()));
        EXPECT_EQ(cache.KnownCount(), 0u);
        EXPECT_EQ(cache.CandidateCount(&mesh), 0u);
        EXPECT_TRUE(kept->HasBuffers());
        // Its ranges still name the cache as their client, which no longer knows them.
        BufferRange* forgotten = kept->GetVertexBuffer()->GetRanges();
        const size_t locks = FakeOf(kept->GetVertexBuffer()->GetVertexBuffer())->locks.size();
        EXPECT_EQ(cache.KeyOfRange(forgotten), nullptr);
        EXPECT_TRUE(cache.Refill(forgotten));
        EXPECT_EQ(FakeOf(kept->GetVertexBuffer()->GetVertexBuffer())->locks.size(), locks);
        GeometryRef again = Resident(cache, mesh);
        EXPECT_NE(again.Get(), kept.Get());
    }  // the cache goes before the geometry it made
    EXPECT_TRUE(kept->HasBuffers());
    kept.Release();  // reaches no cache
    EXPECT_EQ(device.liveBuffers, 0);
}

TEST_F(GeometryCacheTest, TheProgramsCacheCanBeReset) {
    GeometryCache& cache = TheGeometryCache();
    EXPECT_EQ(cache.Budget(), 16384000);
    FrameSequence mesh;
    geomtest::FillMesh(mesh, geomtest::PositionOnly(), 3, 3);
    GeometryRef ref = Resident(cache, mesh);
    EXPECT_EQ(cache.KnownCount(), 1u);
    cache.Reset();
    EXPECT_EQ(cache.KnownCount(), 0u);
    EXPECT_EQ(cache.ResidentCount(), 0u);
    EXPECT_EQ(cache.UsedBytes(), 0);
    ref.Release();
}

// Random work over meshes that need one and a half budgets: lookups and inserts, releases,
// evictions, lost devices. After every step: the residents' bytes add up to the used bytes,
// residents have buffers that hold their meshes and pending geometries have none, every
// range the cache knows belongs to a resident, and nothing destroyed is known anywhere.
TEST_F(GeometryCacheTest, RandomSequencesAtOneAndAHalfBudgets) {
    constexpr i32 kBudget = 6000;
    std::mt19937 random(7);
    std::vector<std::unique_ptr<FrameSequence>> meshes;
    i64 total = 0;
    while (total < kBudget * 3 / 2) {
        auto mesh = std::make_unique<FrameSequence>();
        const u32 vertices = 3 + random() % 40;
        geomtest::FillMesh(*mesh, random() % 2 ? geomtest::PositionOnly() : geomtest::PositionNormalTexture(),
                           vertices, 3 * (1 + random() % 20));
        total += mesh->vertices.vertexCount * mesh->vertices.Stride(0) + mesh->indices.count * 2;
        meshes.push_back(std::move(mesh));
    }
    const VertexDeclaration positions = geomtest::PositionOnly();
    GeometryCache cache(kBudget);
    std::vector<GeometryRef> held;
    std::set<const Object*> destroyed;

    for (int step = 0; step < 3000; ++step) {
        const u32 action = random() % 20;
        if (action < 12 || held.empty()) {
            const FrameSequence& mesh = *meshes[random() % meshes.size()];
            GeometryRef ref = cache.Lookup(DescOf(mesh, random() % 3 ? nullptr : &positions), &mesh);
            ASSERT_TRUE(ref);
            destroyed.erase(ref.Get());  // a new geometry may take a dead one's address
            ASSERT_TRUE(cache.Insert(ref));
            held.push_back(ref);
        } else if (action < 17) {
            const size_t at = random() % held.size();
            const Object* g = held[at].Get();
            const bool last = held[at].UseCount() == 1;
            held.erase(held.begin() + static_cast<long>(at));
            if (last) destroyed.insert(g);
        } else if (action < 19) {
            cache.Evict(held[random() % held.size()]);
        } else {
            LoseAndRestoreDevice();
        }

        i64 sum = 0;
        u32 ranges = 0;
        cache.ForEachResident([&](const Geometry* g) {
            sum += cache.ResidentBytes(g);
            ranges += g->layout.streamCount + 1;
            EXPECT_TRUE(g->HasBuffers());
        });
        ASSERT_EQ(sum, cache.UsedBytes()) << "step " << step;
        ASSERT_EQ(ranges, cache.KnownRangeCount()) << "step " << step;
        ASSERT_EQ(cache.ResidentCount() + cache.PendingCount(), cache.KnownCount());
        ASSERT_LE(cache.UsedBytes(), kBudget);  // every mesh fits the budget alone
        for (const Object* g : destroyed) {
            ASSERT_FALSE(cache.Knows(g)) << "step " << step;
            ASSERT_FALSE(cache.IsResident(g));
            ASSERT_FALSE(cache.IsPending(g));
        }
        for (const GeometryRef& ref : held) {
            ASSERT_FALSE(cache.IsPending(ref.Get()) && ref->HasBuffers());
        }
        if (step % 50 == 0) {
            for (const GeometryRef& ref : held) {
                if (!ref->HasBuffers()) continue;
                const FrameSequence* key = cache.KeyOfRange(ref->GetVertexBuffer()->GetRanges());
                ASSERT_NE(key, nullptr);
                if (key->vertices.layout.Equals(ref->layout)) {
                    ExpectHoldsMesh(*ref.Get(), *key);
                }
                if (HasFatalFailure()) return;
            }
        }
    }
    held.clear();
    EXPECT_EQ(cache.UsedBytes(), 0);
    EXPECT_EQ(cache.KnownCount(), 0u);
    EXPECT_EQ(cache.KnownRangeCount(), 0u);
}
