// Geometry buffers on the fake device: best-fit ranges, merging, growth, compaction and
// what reaches the clients when data moves or the device is lost; random allocate and free
// sequences checked against the buffer's own promises after every step.
#include "D3d/GeometryBuffer.h"
#include "tests/GeometryFixture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using geomtest::FakeDeviceTest;
using geomtest::PatternClient;

namespace {

class GeometryBufferTest : public FakeDeviceTest {
protected:
    // A plain vertex buffer of length bytes, position-only vertices (stride 12).
    void MakeVertexBuffer(GeometryBuffer& buffer, u32 length, u32 usage = 0, u32 pool = D3DPOOL_DEFAULT) {
        ASSERT_TRUE(buffer.CreateVertexBuffer(length, usage, geomtest::PositionOnly(), pool));
    }
    // Carves a buffer into ranges of the given sizes and frees those marked, leaving
    // free ranges where a test wants them.
    // A shared buffer of position-only vertices from a description with these fields set.
    void MakeShared(SharedBuffer& buffer, u32 length, u32 growth = 0, u32 flags = 0) {
        GeometryStream stream;
        stream.layout = geomtest::PositionOnly();
        stream.length = length;
        stream.growth = growth;
        stream.fieldFlags = GeometryStream::kLengthSet | flags | (growth ? GeometryStream::kGrowthSet : 0);
        ASSERT_TRUE(buffer.CreateFromStream(stream));
    }
    std::vector<BufferRange*> Carve(GeometryBuffer& buffer, const std::vector<u32>& sizes) {
        std::vector<BufferRange*> made;
        for (u32 size : sizes) made.push_back(buffer.AllocateRange(size, 0, nullptr));
        return made;
    }
};

struct Span {
    u32 offset;
    u32 size;
    bool free;
    bool operator==(const Span&) const = default;
};

std::vector<Span> SpansOf(const GeometryBuffer& buffer) {
    std::vector<Span> out;
    for (const BufferRange* r = buffer.GetRanges(); r; r = r->next) out.push_back(Span{r->offset, r->size, r->free != 0});
    return out;
}

// The promises of a buffer's range list: the ranges tile [0, length) in order with
// consistent links, the free bytes are the sum of the free ranges, no two free ranges lie
// side by side, every used range lies within the used span, and every used range is
// this buffer's.
void ExpectConsistent(const GeometryBuffer& buffer) {
    u32 offset = 0;
    u32 freeSum = 0;
    const BufferRange* before = nullptr;
    bool previousFree = false;
    for (const BufferRange* r = buffer.GetRanges(); r; before = r, r = r->next) {
        ASSERT_EQ(r->prev, before);
        ASSERT_EQ(r->offset, offset);
        ASSERT_EQ(r->owner, &buffer);
        if (r->free) {
            ASSERT_FALSE(previousFree) << "two free ranges side by side at " << r->offset;
            freeSum += r->size;
        } else if (r->size != 0) {
            ASSERT_GE(r->offset, buffer.GetUsedStart());
            ASSERT_LE(r->offset + r->size, buffer.GetUsedStart() + buffer.GetUsedSize());
        }
        previousFree = r->free != 0;
        offset += r->size;
    }
    ASSERT_EQ(offset, buffer.GetLength());
    ASSERT_EQ(freeSum, buffer.GetFreeBytes());
}

}  // namespace

TEST_F(GeometryBufferTest, CreationWithoutADeviceFails) {
    PublishDevice(nullptr);
    GeometryBuffer buffer;
    EXPECT_FALSE(buffer.CreateVertexBuffer(64, 0, geomtest::PositionOnly(), D3DPOOL_DEFAULT));
    EXPECT_EQ(buffer.GetVertexBuffer(), nullptr);
}

TEST_F(GeometryBufferTest, ANewBufferIsOneFreeRangeOverItsLength) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 600, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 600, true}}));
    EXPECT_EQ(buffer.GetFreeBytes(), 600u);
    EXPECT_EQ(buffer.GetStride(), 12u);
    ASSERT_NE(buffer.GetVertexBuffer(), nullptr);
    EXPECT_EQ(buffer.GetIndexBuffer(), nullptr);
    const D3DVERTEXBUFFER_DESC& desc = FakeOf(buffer.GetVertexBuffer())->desc;
    EXPECT_EQ(desc.Size, 600u);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_WRITEONLY));
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.FVF, DWORD(D3DFVF_XYZ));
}

TEST_F(GeometryBufferTest, AnIndexBufferHasItsFormat) {
    GeometryBuffer buffer;
    ASSERT_TRUE(buffer.CreateIndexBuffer(64, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT));
    ASSERT_NE(buffer.GetIndexBuffer(), nullptr);
    EXPECT_EQ(buffer.GetVertexBuffer(), nullptr);
    EXPECT_EQ(FakeOf(buffer.GetIndexBuffer())->desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(buffer.GetIndexFormat(), u32(D3DFMT_INDEX32));
}

TEST_F(GeometryBufferTest, BestFitTakesTheFirstSmallestRangeAndSplitsOffTheRest) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 600);
    // Free ranges of 300, 120 and 120 bytes, kept apart by used ones.
    std::vector<BufferRange*> r = Carve(buffer, {300, 10, 120, 10, 120, 40});
    buffer.FreeRange(r[0]);
    buffer.FreeRange(r[2]);
    buffer.FreeRange(r[4]);
    BufferRange* got = buffer.AllocateRange(100, 5, nullptr);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->offset, 310u);
    EXPECT_EQ(got->size, 100u);
    EXPECT_EQ(got->user, 5u);
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 300, true},
                                                  {300, 10, false},
                                                  {310, 100, false},
                                                  {410, 20, true},
                                                  {430, 10, false},
                                                  {440, 120, true},
                                                  {560, 40, false}}));
    ExpectConsistent(buffer);
}

TEST_F(GeometryBufferTest, AnExactFitMakesNoNewRange) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 100);
    std::vector<BufferRange*> r = Carve(buffer, {40, 60});
    buffer.FreeRange(r[0]);
    const BufferRange* freed = buffer.GetRanges();
    BufferRange* got = buffer.AllocateRange(40, 0, nullptr);
    EXPECT_EQ(got, freed);
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 40, false}, {40, 60, false}}));
    EXPECT_EQ(buffer.GetFreeBytes(), 0u);
    EXPECT_EQ(buffer.AllocateRange(1, 0, nullptr), nullptr);  // a plain buffer does not grow
}

TEST_F(GeometryBufferTest, FreeingNeighboursLeavesOneFreeRange) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 100);
    std::vector<BufferRange*> r = Carve(buffer, {20, 30, 50});
    buffer.FreeRange(r[1]);
    buffer.FreeRange(r[0]);
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 50, true}, {50, 50, false}}));
    buffer.FreeRange(r[2]);  // merges both ways: the whole buffer again
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 100, true}}));
    EXPECT_EQ(buffer.GetUsedSize(), 0u);
    ExpectConsistent(buffer);
}

TEST_F(GeometryBufferTest, FreeingAFreeOrForeignRangeChangesNothing) {
    GeometryBuffer a;
    GeometryBuffer b;
    MakeVertexBuffer(a, 100);
    MakeVertexBuffer(b, 100);
    BufferRange* inA = a.AllocateRange(10, 0, nullptr);
    b.FreeRange(inA);
    b.FreeRange(nullptr);
    EXPECT_EQ(SpansOf(a), (std::vector<Span>{{0, 10, false}, {10, 90, true}}));
    EXPECT_EQ(SpansOf(b), (std::vector<Span>{{0, 100, true}}));
    a.FreeRange(inA);
    a.FreeRange(a.GetRanges());  // already free
    EXPECT_EQ(SpansOf(a), (std::vector<Span>{{0, 100, true}}));
}

TEST_F(GeometryBufferTest, TheUsedSpanNarrowsWhenItsEndsAreFreed) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 120);
    std::vector<BufferRange*> r = Carve(buffer, {12, 24, 36, 48});
    EXPECT_EQ(buffer.GetUsedStart(), 0u);
    EXPECT_EQ(buffer.GetUsedSize(), 120u);
    buffer.FreeRange(r[0]);
    EXPECT_EQ(buffer.GetUsedStart(), 12u);
    EXPECT_EQ(buffer.GetUsedSize(), 108u);
    buffer.FreeRange(r[3]);
    EXPECT_EQ(buffer.GetUsedStart(), 12u);
    EXPECT_EQ(buffer.GetUsedSize(), 60u);
    buffer.FreeRange(r[1]);
    EXPECT_EQ(buffer.GetUsedStart(), 36u);
    EXPECT_EQ(buffer.GetUsedSize(), 36u);
}

TEST_F(GeometryBufferTest, ARangeFreedInsideTheSpanIsZeroedWhenAsked) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 30);
    buffer.desc.clearOnFree = 1;
    std::vector<BufferRange*> r = Carve(buffer, {10, 10, 10});
    PatternClient client;
    for (u32 i = 0; i < 3; ++i) client.Adopt(r[i], static_cast<u8>(0xA0 + i));
    buffer.FreeRange(r[1]);
    const unsigned char* bytes = BytesOf(buffer);
    for (u32 i = 10; i < 20; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[0], 0xA0);
    EXPECT_EQ(bytes[25], 0xA2);
    buffer.FreeRange(r[2]);  // at the end: leaves the span, not written
    EXPECT_EQ(bytes[25], 0xA2);
}

TEST_F(GeometryBufferTest, CompactionPacksAndRefillsOnlyWhatMoved) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 100);
    PatternClient client;
    std::vector<BufferRange*> r;
    for (u32 i = 0; i < 4; ++i) {
        r.push_back(buffer.AllocateRange(20, 0, &client));
        client.Adopt(r.back(), static_cast<u8>(i + 1));
    }
    buffer.FreeRange(r[1]);
    ASSERT_TRUE(buffer.Compact(false));
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 20, false}, {20, 20, false}, {40, 20, false}, {60, 40, true}}));
    EXPECT_EQ(client.refills[r[0]], 0);  // stayed
    EXPECT_EQ(client.refills[r[2]], 1);
    EXPECT_EQ(client.refills[r[3]], 1);
    EXPECT_EQ(buffer.GetUsedStart(), 0u);
    EXPECT_EQ(buffer.GetUsedSize(), 60u);
    EXPECT_EQ(buffer.GetFreeBytes(), 40u);
    const unsigned char* bytes = BytesOf(buffer);
    EXPECT_EQ(bytes[5], 1);
    EXPECT_EQ(bytes[25], 3);
    EXPECT_EQ(bytes[45], 4);
    ASSERT_TRUE(buffer.Compact(true));  // force: everyone
    EXPECT_EQ(client.refills[r[0]], 1);
    EXPECT_EQ(client.refills[r[3]], 2);
}

TEST_F(GeometryBufferTest, AFailedRefillFailsTheCompaction) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 100);
    PatternClient client;
    client.result = false;
    buffer.AllocateRange(20, 0, &client);
    EXPECT_FALSE(buffer.Compact(true));
}

// Ranges without a client are written by their users before each use; compaction and a
// restore must not call through a client they do not have.
TEST_F(GeometryBufferTest, RangesWithoutAClientAreSkippedByCompactionAndRestore) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 100);
    PatternClient client;
    BufferRange* gap = buffer.AllocateRange(10, 0, nullptr);
    BufferRange* orphan = buffer.AllocateRange(30, 0, nullptr);
    BufferRange* owned = buffer.AllocateRange(30, 0, &client);
    client.Adopt(owned, 9);
    buffer.FreeRange(gap);
    EXPECT_TRUE(buffer.Compact(false));
    EXPECT_EQ(orphan->offset, 0u);
    EXPECT_EQ(owned->offset, 30u);
    EXPECT_EQ(client.refills[owned], 1);
    LoseAndRestoreDevice();
    EXPECT_EQ(client.refills[owned], 2);
    EXPECT_EQ(BytesOf(buffer)[45], 9);
}

TEST_F(GeometryBufferTest, ASharedBufferGrowsByTheGrowthStepAndEveryClientRefillsOnce) {
    SharedBuffer buffer;
    GeometryStream stream;
    stream.layout = geomtest::PositionOnly();
    stream.length = 100;
    stream.fieldFlags = GeometryStream::kLengthSet;
    ASSERT_TRUE(buffer.CreateFromStream(stream));
    EXPECT_EQ(stream.growth, 4096u);  // written back
    PatternClient client;
    std::vector<BufferRange*> r;
    for (u32 i = 0; i < 5; ++i) {
        r.push_back(buffer.AllocateRange(20, 0, &client));
        client.Adopt(r.back(), static_cast<u8>(0x10 + i));
    }
    buffer.FreeRange(r[2]);  // a hole that the next request does not fit
    BufferRange* big = buffer.AllocateRange(30, 0, &client);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(buffer.GetLength(), 100u + 4096u);
    EXPECT_EQ(FakeOf(buffer.GetVertexBuffer())->desc.Size, 4196u);
    for (u32 i : {0u, 1u, 3u, 4u}) EXPECT_EQ(client.refills[r[i]], 1) << i;
    EXPECT_EQ(big->offset, 80u);  // after the packed ranges
    const unsigned char* bytes = BytesOf(buffer);
    EXPECT_EQ(bytes[0], 0x10);
    EXPECT_EQ(bytes[25], 0x11);
    EXPECT_EQ(bytes[45], 0x13);
    EXPECT_EQ(bytes[65], 0x14);
    ExpectConsistent(buffer);
    // A request beyond the step grows by the request itself.
    ASSERT_NE(buffer.AllocateRange(9000, 0, nullptr), nullptr);
    EXPECT_EQ(buffer.GetLength(), 4196u + 9000u);
}

TEST_F(GeometryBufferTest, AFailedGrowthKeepsTheOldSizeAndItsData) {
    SharedBuffer buffer;
    MakeShared(buffer, 40);
    PatternClient client;
    BufferRange* kept = buffer.AllocateRange(40, 0, &client);
    client.Adopt(kept, 0x77);
    device.failCreations = 1;  // the larger buffer cannot be made
    EXPECT_EQ(buffer.AllocateRange(8, 0, &client), nullptr);
    EXPECT_EQ(buffer.GetLength(), 40u);
    ASSERT_NE(buffer.GetVertexBuffer(), nullptr);
    EXPECT_EQ(BytesOf(buffer)[39], 0x77);
    ExpectConsistent(buffer);
    device.failCreations = 2;  // and not even the old one
    EXPECT_EQ(buffer.AllocateRange(8, 0, &client), nullptr);
}

TEST_F(GeometryBufferTest, GrowthInPlaceAddsAFreeRangeButNeverLocksBeyondTheBuffer) {
    SharedBuffer buffer;
    MakeShared(buffer, 40, 60);
    buffer.bufferFlags |= SharedBuffer::kGrowInPlace;
    ASSERT_NE(buffer.AllocateRange(40, 0, nullptr), nullptr);
    BufferRange* beyond = buffer.AllocateRange(10, 0, nullptr);
    ASSERT_NE(beyond, nullptr);
    EXPECT_EQ(buffer.GetLength(), 100u);
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 40, false}, {40, 10, false}, {50, 50, true}}));
    void* data = nullptr;
    EXPECT_FALSE(beyond->Lock(0, &data));  // the Direct3D buffer still holds 40 bytes
    EXPECT_EQ(data, nullptr);
}

TEST_F(GeometryBufferTest, GrowRefusesToShrinkAndNeedsRanges) {
    GeometryBuffer empty;
    EXPECT_FALSE(empty.Grow(100, false));
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 100);
    EXPECT_FALSE(buffer.Grow(50, false));
    EXPECT_FALSE(buffer.Grow(50, true));
    EXPECT_TRUE(buffer.Grow(150, true));
    EXPECT_EQ(FakeOf(buffer.GetVertexBuffer())->desc.Size, 150u);
    EXPECT_EQ(SpansOf(buffer), (std::vector<Span>{{0, 150, true}}));
}

TEST_F(GeometryBufferTest, ALostDeviceReleasesTheBufferAndTheRestoreRefillsEveryClient) {
    GeometryBuffer a;
    GeometryBuffer b;
    MakeVertexBuffer(a, 64, 0, D3DPOOL_DEFAULT);
    MakeVertexBuffer(b, 64, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
    PatternClient client;
    BufferRange* ra = a.AllocateRange(24, 0, &client);
    BufferRange* rb1 = b.AllocateRange(12, 0, &client);
    BufferRange* rb2 = b.AllocateRange(12, 0, &client);
    client.Adopt(ra, 1);
    client.Adopt(rb1, 2);
    client.Adopt(rb2, 3);
    const int liveBefore = device.liveBuffers;
    app.InvalidateDeviceObjects();
    EXPECT_EQ(device.liveBuffers, liveBefore - 2);
    EXPECT_EQ(a.GetVertexBuffer(), nullptr);
    EXPECT_EQ(SpansOf(a), (std::vector<Span>{{0, 24, false}, {24, 40, true}}));  // ranges kept
    app.RestoreDeviceObjects();
    EXPECT_EQ(device.liveBuffers, liveBefore);
    EXPECT_EQ(client.refills[ra], 1);
    EXPECT_EQ(client.refills[rb1], 1);
    EXPECT_EQ(client.refills[rb2], 1);
    EXPECT_EQ(BytesOf(a)[0], 1);
    EXPECT_EQ(BytesOf(b)[0], 2);
    EXPECT_EQ(BytesOf(b)[12], 3);
}

TEST_F(GeometryBufferTest, FillLocksADynamicBufferWithoutOverwrite) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 64, D3DUSAGE_DYNAMIC);
    ASSERT_TRUE(buffer.Fill(8, 4, 0x5A));
    const auto& locks = FakeOf(buffer.GetVertexBuffer())->locks;
    ASSERT_FALSE(locks.empty());
    EXPECT_EQ(locks.back(), (fake::LockRecord{8, 4, D3DLOCK_NOOVERWRITE}));
    EXPECT_EQ(BytesOf(buffer)[8], 0x5A);
    EXPECT_EQ(BytesOf(buffer)[11], 0x5A);
    EXPECT_EQ(BytesOf(buffer)[12], 0xCD);
}

TEST_F(GeometryBufferTest, ARangeLocksExactlyItsBytes) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 64);
    buffer.AllocateRange(16, 0, nullptr);
    BufferRange* r = buffer.AllocateRange(24, 0, nullptr);
    void* data = nullptr;
    ASSERT_TRUE(r->Lock(D3DLOCK_DISCARD, &data));
    EXPECT_TRUE(r->Unlock());
    EXPECT_EQ(FakeOf(buffer.GetVertexBuffer())->locks.back(), (fake::LockRecord{16, 24, D3DLOCK_DISCARD}));
    BufferRange empty;
    EXPECT_FALSE(empty.Lock(0, &data));
    EXPECT_FALSE(empty.Unlock());
    EXPECT_TRUE(empty.Clear());
}

TEST_F(GeometryBufferTest, BoundsAreReadBackFromAReadableBuffer) {
    GeometryBuffer buffer;
    MakeVertexBuffer(buffer, 120);
    BufferRange* r = buffer.AllocateRange(24, 0, nullptr);
    void* data = nullptr;
    ASSERT_TRUE(r->Lock(0, &data));
    const float points[6] = {-1.0f, 2.0f, 3.0f, 3.0f, 4.0f, 5.0f};
    memcpy(data, points, sizeof points);
    r->Unlock();
    ASSERT_TRUE(r->UpdateBounds());
    EXPECT_TRUE(r->IsValid());
    EXPECT_FLOAT_EQ(r->box.x, 1.0f);
    EXPECT_FLOAT_EQ(r->box.w, 4.0f);
    EXPECT_FLOAT_EQ(r->box.d, 2.0f);
    ASSERT_TRUE(buffer.UpdateBounds());
    EXPECT_FLOAT_EQ(buffer.box.y, 3.0f);

    GeometryBuffer writeOnly;
    MakeVertexBuffer(writeOnly, 120, D3DUSAGE_WRITEONLY);
    EXPECT_FALSE(writeOnly.AllocateRange(24, 0, nullptr)->UpdateBounds());
}

TEST_F(GeometryBufferTest, AutomaticCompactionRunsOnlyPastAThreshold) {
    SharedBuffer buffer;
    GeometryStream stream;
    stream.layout = geomtest::PositionOnly();
    stream.length = 1000;
    stream.compactBytes = 0.0f;
    stream.compactRatio = 0.5f;
    stream.fieldFlags = GeometryStream::kLengthSet | GeometryStream::kAutoCompact;
    ASSERT_TRUE(buffer.CreateFromStream(stream));
    std::vector<BufferRange*> r;
    for (int i = 0; i < 5; ++i) r.push_back(buffer.AllocateRange(100, 0, nullptr));
    buffer.FreeRange(r[1]);  // holes 100 of a span of 500: 0.2
    buffer.CheckAutoCompact();
    EXPECT_EQ(r[2]->offset, 200u);
    buffer.FreeRange(r[2]);  // 200 of 500: 0.4
    buffer.CheckAutoCompact();
    EXPECT_EQ(r[3]->offset, 300u);
    buffer.FreeRange(r[3]);  // 300 of 500: 0.6
    buffer.CheckAutoCompact();
    EXPECT_EQ(r[4]->offset, 100u);

    SharedBuffer never;
    stream.compactRatio = 0.0f;
    ASSERT_TRUE(never.CreateFromStream(stream));
    std::vector<BufferRange*> n;
    for (int i = 0; i < 5; ++i) n.push_back(never.AllocateRange(100, 0, nullptr));
    for (int i = 0; i < 4; ++i) never.FreeRange(n[i]);
    never.CheckAutoCompact();
    EXPECT_EQ(n[4]->offset, 400u);
}

TEST_F(GeometryBufferTest, DescriptionsCompareUnderTheFirstOnesFlags) {
    GeometryStream a;
    a.layout = geomtest::PositionOnly();
    GeometryStream b = a;
    b.pool = D3DPOOL_SYSTEMMEM;
    b.usage = D3DUSAGE_DYNAMIC;
    EXPECT_TRUE(a.Equals(b));
    a.fieldFlags = GeometryStream::kPoolSet;
    EXPECT_FALSE(a.Equals(b));
    EXPECT_TRUE(b.Equals(a));  // b's flags do not ask
    b.layout = geomtest::PositionNormalTexture();
    EXPECT_FALSE(b.Equals(a));

    GeometryStream i16;
    i16.kind = GeometryStream::kIndexKind;
    GeometryStream i32 = i16;
    i32.indexFormat = D3DFMT_INDEX32;
    EXPECT_TRUE(i16.Equals(i32));
    i16.fieldFlags = GeometryStream::kIndexFormatSet;
    EXPECT_FALSE(i16.Equals(i32));
    EXPECT_FALSE(i16.Equals(a));
}

TEST_F(GeometryBufferTest, TypeIdsOfBuffers) {
    SharedBuffer shared;
    GeometryBuffer plain;
    void* out = nullptr;
    EXPECT_TRUE(shared.QueryType(SharedBufferTypeId(), &out));
    EXPECT_EQ(out, &shared);
    EXPECT_TRUE(shared.QueryType(GeometryBufferTypeId(), &out));
    EXPECT_EQ(out, static_cast<GeometryBuffer*>(&shared));
    EXPECT_FALSE(plain.QueryType(SharedBufferTypeId(), &out));
    EXPECT_TRUE(plain.QueryType(ObjectTypeId(), &out));
}

// Random sequences of allocations and frees, in a buffer that grows and compacts: after
// every step the list keeps its promises, each allocation is the best fit among the free
// ranges it was made from, and every used range holds its own bytes (through growth and
// compaction, which move them).
TEST_F(GeometryBufferTest, RandomSequencesKeepEveryPromise) {
    for (u32 seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        SharedBuffer buffer;
        MakeShared(buffer, 256, 512);
        PatternClient client;
        std::vector<BufferRange*> live;
        u8 nextPattern = 1;
        for (int step = 0; step < 1500; ++step) {
            const u32 action = random() % 10;
            if (action < 6 || live.empty()) {
                const u32 size = 1 + random() % 96;
                // What best fit must choose, if anything fits without growing.
                const BufferRange* expected = nullptr;
                for (const BufferRange* r = buffer.GetRanges(); r; r = r->next)
                    if (r->free && r->size >= size && (!expected || r->size < expected->size)) expected = r;
                const u32 expectedOffset = expected ? expected->offset : 0;
                const int refillsBefore = client.TotalRefills();
                BufferRange* got = buffer.AllocateRange(size, 0, &client);
                ASSERT_NE(got, nullptr);
                if (expected) {
                    ASSERT_EQ(got->offset, expectedOffset) << "seed " << seed << " step " << step;
                    ASSERT_EQ(client.TotalRefills(), refillsBefore);
                } else {
                    // Growth: every range that was there is written again, once.
                    ASSERT_EQ(client.TotalRefills(), refillsBefore + static_cast<int>(live.size()));
                }
                ASSERT_EQ(got->size, size);
                client.Adopt(got, nextPattern);
                nextPattern = static_cast<u8>(nextPattern % 250 + 1);
                live.push_back(got);
            } else if (action < 9) {
                const size_t at = random() % live.size();
                client.patterns.erase(live[at]);
                client.refills.erase(live[at]);
                buffer.FreeRange(live[at]);
                live.erase(live.begin() + static_cast<long>(at));
            } else {
                ASSERT_TRUE(buffer.Compact(random() % 2 == 0));
            }
            ExpectConsistent(buffer);
            if (HasFatalFailure()) return;
            const unsigned char* bytes = BytesOf(buffer);
            for (const BufferRange* r : live) {
                const u8 pattern = client.patterns[r];
                for (u32 i = 0; i < r->size; i += 7) ASSERT_EQ(bytes[r->offset + i], pattern);
                ASSERT_EQ(bytes[r->offset + r->size - 1], pattern);
            }
        }
    }
}
