// The program-wide cache of drawable geometry made from mesh data. Meshes that ask for the
// same mesh data object (the key) under equal descriptions share one Geometry. A geometry
// comes without buffers (pending); Insert, before a draw, creates and fills them from the
// key and counts their bytes against a budget, first evicting the buffers of the geometries
// made resident longest ago. The cache is the client of every range it hands out, so it
// writes the data again from the key after a compaction or a lost device; it keeps no copy.
//
// The cache holds no counted reference: a geometry lives while its users hold theirs, and
// its destruction tells the cache to forget it (the geometry's owned interface). The key
// must outlive the geometry made from it, or be forgotten first (ForgetKey).
#pragma once

#include "Core/List.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"

#include <stdint.h>

class FrameSequence;

// Orders pointer keys by their address as an unsigned number.
template <class T>
struct AddressOrder {
    int operator()(const T* a, const T* b) const {
        const uintptr_t x = reinterpret_cast<uintptr_t>(a);
        const uintptr_t y = reinterpret_cast<uintptr_t>(b);
        return x < y ? -1 : (y < x ? 1 : 0);
    }
};

class GeometryCache : public Object, public ObjectInterface, public RangeClient {
public:
    static constexpr i32 kBudget = 16000 * 1024;

    // Budget in bytes; the program's cache has kBudget, tests may take less.
    explicit GeometryCache(i32 budget = kBudget);
    ~GeometryCache() override;
    GeometryCache(const GeometryCache&) = delete;
    GeometryCache& operator=(const GeometryCache&) = delete;

    // A counted reference to the geometry made earlier for key under an equal description,
    // or to a new one without buffers. Null only when memory runs out.
    GeometryRef Lookup(const GeometryDesc& desc, const FrameSequence* key);
    // Creates and fills the buffers of a geometry that has none; true when it is resident
    // (also when it already was: then nothing changes). False when a buffer cannot be made
    // or filled, with no buffers left and nothing counted. Only for geometry from Lookup.
    bool Insert(GeometryRef ref);
    // Evicts the oldest residents until size bytes fit; false, evicting nothing, when size
    // exceeds the whole budget. True also when the evictions leave less room.
    bool MakeRoom(i32 size);
    // Deletes a resident geometry's buffers; it stays known and becomes pending.
    void Evict(GeometryRef ref);
    // The bytes of a geometry's buffers, from its description and key: layout stride x
    // vertex count + index size x index count, in 64 bits, saturated to the i32 range.
    i32 ByteSize(GeometryRef ref) const;
    // Writes a range again from its key; true, writing nothing, for a range the cache does
    // not know.
    bool Refill(BufferRange* range) override;
    // A geometry the cache made is being destroyed (its buffers are already gone): forget
    // it everywhere. Reached through the geometry's owned interface.
    void OnOwnerDestroyed(Object* object) override;
    // Forgets every geometry made for key; they keep their buffers but leave the cache.
    void ForgetKey(const FrameSequence* key);
    // Forgets everything (every key), back to the state after construction.
    void Reset();

    i32 Budget() const { return budget_; }
    i64 UsedBytes() const { return usedBytes_; }
    // Inspection, for tests and statistics.
    bool IsResident(const Object* g) const { return residents_.Contains(g); }
    bool IsPending(const Object* g) const { return pending_.Contains(g); }
    bool Knows(const Object* g) const { return records_.Contains(g); }
    u32 ResidentCount() const { return residents_.count; }
    u32 PendingCount() const { return pending_.count; }
    u32 KnownCount() const { return records_.count; }
    u32 KnownRangeCount() const { return keyOfRange_.count; }
    u32 CandidateCount(const FrameSequence* key) const;
    // The residents from the newest to the oldest.
    template <class Fn>
    void ForEachResident(Fn&& fn) const {
        const ResidentSet::Node* node = residents_.first;
        for (u32 i = 0; i < residents_.count; ++i, node = node->next) fn(Find(node->key)->geometry);
    }
    // The bytes counted for a resident geometry when it was made resident (0 otherwise).
    i64 ResidentBytes(const Geometry* g) const;
    // The key a range is filled from (null when the cache does not know the range).
    const FrameSequence* KeyOfRange(const BufferRange* range) const;

private:
    // What the cache remembers of each geometry it made: the count its references share
    // (never counted by the cache), the key, a copy of the description, and, while it is
    // resident, the ranges handed out for its buffers and the bytes counted for it (kept,
    // so that what is taken off the used bytes is what was put on, whatever became of
    // the key since).
    struct Record {
        Geometry* geometry = nullptr;
        u32* count = nullptr;
        const FrameSequence* key = nullptr;
        GeometryDesc desc;
        PtrListOf<BufferRange> ranges;
        i64 residentBytes = 0;
    };
    // Geometries are known by their Object part: that is what their destruction reports.
    using RecordMap = OrderedMap<const Object*, Record*, AddressOrder<Object>>;
    using ResidentSet = OrderedMap<const Object*, NoValue, AddressOrder<Object>>;
    using CandidateMap = OrderedMap<const FrameSequence*, PtrListOf<Geometry>, AddressOrder<FrameSequence>>;
    using RangeKeyMap = OrderedMap<const BufferRange*, const FrameSequence*, AddressOrder<BufferRange>>;

    Record* Find(const Object* g) const;
    static bool Matches(const Record& record, const GeometryDesc& desc);
    static i64 BytesOf(const Record& record);
    // The buffers, their ranges and the cache's bookkeeping of them go; nothing else.
    void DropBuffers(Record& record);

    i32 budget_;
    i64 usedBytes_ = 0;
    ResidentSet residents_;  // thread: newest first
    ResidentSet pending_;
    CandidateMap candidates_;
    RecordMap records_;
    RangeKeyMap keyOfRange_;
};

// The program's geometry cache.
GeometryCache& TheGeometryCache();
