#include "D3d/GeometryCache.h"

#include <new>

#include "Core/ElementArray.h"
#include "D3d/FrameSequence.h"
#include "D3d/VertexCopyPlan.h"
#include "D3d/VertexStreams.h"

namespace {

GeometryCache g_geometryCache;

constexpr i64 kMaxI32 = 0x7FFFFFFF;

i32 Saturated(i64 bytes) { return bytes > kMaxI32 ? static_cast<i32>(kMaxI32) : static_cast<i32>(bytes); }

}  // namespace

GeometryCache& TheGeometryCache() { return g_geometryCache; }

GeometryCache::GeometryCache(i32 budget) : budget_(budget) {}

GeometryCache::~GeometryCache() { Reset(); }

void GeometryCache::Reset() {
    while (candidates_.count != 0) ForgetKey(candidates_.CursorKey());
    // Geometries that no key lists any more (none, unless memory ran out while listing).
    while (records_.count != 0) {
        Record* record = records_.PopCurrent();
        if (record && record->geometry) record->geometry->SetInterface(nullptr);
        delete record;
    }
    residents_.Clear();
    pending_.Clear();
    keyOfRange_.Clear();
    usedBytes_ = 0;
}

GeometryCache::Record* GeometryCache::Find(const Object* g) const {
    const RecordMap::Node* node = records_.Find(g);
    return node ? node->value : nullptr;
}

u32 GeometryCache::CandidateCount(const FrameSequence* key) const {
    const CandidateMap::Node* node = candidates_.Find(key);
    return node ? static_cast<u32>(node->value.count) : 0;
}

const FrameSequence* GeometryCache::KeyOfRange(const BufferRange* range) const {
    const RangeKeyMap::Node* node = keyOfRange_.Find(range);
    return node ? node->value : nullptr;
}

i64 GeometryCache::ResidentBytes(const Geometry* g) const {
    const Record* record = Find(g);
    return record && residents_.Contains(g) ? record->residentBytes : 0;
}

i64 GeometryCache::BytesOf(const Record& record) {
    const FrameSequence* key = record.key;
    if (!key) return 0;
    const u64 vertexBytes = u64(record.desc.layout.totalStride) * key->vertices.vertexCount;
    const u64 indexBytes = u64(GeometryStream::IndexSize(record.desc.index.indexFormat)) * key->indices.count;
    return static_cast<i64>(vertexBytes + indexBytes);  // each below 2^37: no overflow
}

i32 GeometryCache::ByteSize(GeometryRef ref) const {
    const Record* record = Find(ref.Get());
    return record ? Saturated(BytesOf(*record)) : 0;
}

bool GeometryCache::Matches(const Record& record, const GeometryDesc& desc) {
    if (!record.geometry->layout.Equals(desc.layout)) return false;
    const u32 n = desc.layout.streamCount < GeometryDesc::kStreams ? desc.layout.streamCount : GeometryDesc::kStreams;
    for (u32 i = 0; i < n; ++i)
        if (!record.desc.streams[i].Equals(desc.streams[i])) return false;
    return record.desc.index.Equals(desc.index);
}

GeometryRef GeometryCache::Lookup(const GeometryDesc& desc, const FrameSequence* key) {
    if (!key) return GeometryRef();
    CandidateMap::Node* entry = candidates_.Find(key);
    if (!entry) entry = candidates_.Insert(key, PtrListOf<Geometry>());
    if (!entry) return GeometryRef();
    PtrListOf<Geometry>& list = entry->value;
    for (i32 i = 0; i < list.count; ++i, list.current = list.current->next) {
        Geometry* g = list.current->payload;
        const Record* record = Find(g);
        if (record && Matches(*record, desc)) return GeometryRef::Share(g, record->count);
    }

    GeometryRef ref(new (std::nothrow) Geometry);
    Geometry* g = ref.Get();
    if (!g) return GeometryRef();
    g->layout.Assign(desc.layout);
    Record* record = new (std::nothrow) Record;
    if (!record) return GeometryRef();
    record->geometry = g;
    record->count = ref.SharedCount();
    record->key = key;
    record->desc.Assign(desc);
    if (!records_.Insert(g, record)) {
        delete record;
        return GeometryRef();
    }
    g->SetInterface(this);
    // From here on a failure to note the geometry anywhere else is undone by its release.
    if (!list.PushBack(g) || !pending_.Insert(g)) return GeometryRef();
    return ref;
}

bool GeometryCache::Insert(GeometryRef ref) {
    Geometry* g = ref.Get();
    if (!g) return false;
    if (g->HasBuffers()) return true;
    Record* record = Find(g);
    if (!record || !record->key) return false;
    const FrameSequence& key = *record->key;
    const GeometryDesc& desc = record->desc;
    const u32 n = desc.layout.streamCount;
    if (n == 0 || n > GeometryDesc::kStreams) return false;  // nothing that could be drawn

    const i64 size = BytesOf(*record);
    MakeRoom(Saturated(size));

    for (u32 i = 0; i <= n; ++i) {
        const bool isIndex = i == n;
        SharedBuffer* buffer = new (std::nothrow) SharedBuffer;
        if (!buffer) {
            DropBuffers(*record);
            return false;
        }
        if (isIndex)
            g->indexBuffer = buffer;
        else
            g->streams[i] = buffer;
        GeometryStream stream = isIndex ? desc.index : desc.streams[i];
        const u64 bytes = isIndex ? u64(GeometryStream::IndexSize(desc.index.indexFormat)) * key.indices.count
                                  : u64(desc.streams[i].stride) * key.vertices.vertexCount;
        BufferRange* range = nullptr;
        if (buffer->CreateFromStream(stream) && bytes <= 0xFFFFFFFFu)
            range = buffer->AllocateRange(static_cast<u32>(bytes), 0, this);
        // A buffer that hands out no range leaves the geometry without data: a failed
        // Insert, with everything made so far taken back.
        if (!range || !record->ranges.PushBack(range) || !keyOfRange_.Insert(range, record->key)) {
            DropBuffers(*record);
            return false;
        }
        range->user = 1;
        Refill(range);
    }

    record->residentBytes = size;
    usedBytes_ += size;
    pending_.Remove(g);
    residents_.Remove(g);
    residents_.cursor = residents_.first;
    residents_.Insert(g, NoValue(), false);  // before the first: the newest
    return true;
}

void GeometryCache::DropBuffers(Record& record) {
    while (record.ranges.count != 0) keyOfRange_.Remove(record.ranges.PopFront());
    record.geometry->ReleaseRanges();
}

bool GeometryCache::MakeRoom(i32 size) {
    if (size > budget_) return false;
    while (i64(budget_) - usedBytes_ < size && residents_.count != 0) {
        const Object* oldest = residents_.first->prev->key;
        Record* record = Find(oldest);
        if (!record) {  // cannot happen: residents are known
            residents_.Remove(oldest);
            continue;
        }
        Evict(GeometryRef::Share(record->geometry, record->count));
    }
    return true;
}

void GeometryCache::Evict(GeometryRef ref) {
    Geometry* g = ref.Get();
    if (!g || !g->HasBuffers()) return;
    Record* record = Find(g);
    if (!record) return;  // not the cache's: its buffers are not the cache's either
    // The ranges go with the buffers; the list must not keep them, or a later destruction
    // would erase another geometry's range that took one's address.
    DropBuffers(*record);
    if (residents_.Remove(g)) usedBytes_ -= record->residentBytes;
    record->residentBytes = 0;
    if (!pending_.Contains(g)) pending_.Insert(g);
}

bool GeometryCache::Refill(BufferRange* range) {
    const FrameSequence* key = KeyOfRange(range);
    if (!key) return true;
    GeometryBuffer* buffer = range->owner;
    if (!buffer) return false;
    if (range->size == 0) return true;  // nothing to write (a mesh without indices)
    const u32 flags = (buffer->GetUsage() & D3DUSAGE_DYNAMIC) ? D3DLOCK_DISCARD : 0;
    void* data = nullptr;
    if (!range->Lock(flags, &data)) return false;

    bool ok = true;
    if (buffer->GetKind() == GeometryStream::kVertexKind) {
        VertexStreams target;
        target.layout.Assign(buffer->GetLayout());
        target.View(0, data);
        target.vertexCount = key->vertices.vertexCount;
        // Never beyond the range: the key may hold more vertices than when it was sized.
        const u32 stride = target.layout.streamStrides[0];
        u32 count = key->vertices.vertexCount;
        if (stride != 0 && u64(stride) * count > range->size) {
            count = range->size / stride;
            ok = false;
        }
        VertexCopyPlan plan;
        if (plan.Plan(target.layout, key->vertices.layout))
            plan.Copy(target, key->vertices, count);
        else
            ok = false;
    } else {
        const u32 size = GeometryStream::IndexSize(buffer->GetIndexFormat());
        const u32 room = range->size / size;
        u32 count = key->indices.count;
        if (count > room) {
            count = room;
            ok = false;
        }
        ok = ElementArray::CopyData(data, size, key->indices.data, key->indices.elementSize, count) && ok;
    }
    const bool unlocked = range->Unlock();
    return ok && unlocked;
}

void GeometryCache::OnOwnerDestroyed(Object* object) {
    RecordMap::Node* node = records_.Find(object);
    if (!node) return;
    Record* record = node->value;
    object->SetInterface(nullptr);
    records_.Remove(object);
    // The ranges' buffers are gone; their addresses are only keys here.
    while (record->ranges.count != 0) keyOfRange_.Remove(record->ranges.PopFront());
    if (residents_.Remove(object)) usedBytes_ -= record->residentBytes;
    pending_.Remove(object);
    if (CandidateMap::Node* entry = candidates_.Find(record->key)) {
        Geometry* g = record->geometry;
        entry->value.RemoveIf([g](Geometry* const& listed) { return listed == g; });
    }
    delete record;
}

void GeometryCache::ForgetKey(const FrameSequence* key) {
    CandidateMap::Node* entry = candidates_.Find(key);
    if (!entry) return;
    PtrListOf<Geometry>& list = entry->value;
    while (list.count != 0) {
        Geometry* g = list.Current();
        if (Knows(g))
            OnOwnerDestroyed(g);  // takes it off the list
        else
            list.PopFront();
    }
    candidates_.Remove(key);
}
