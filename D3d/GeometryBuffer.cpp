#include "D3d/GeometryBuffer.h"

#include <new>
#include <string.h>

#include "D3d/DeviceContext.h"

u32 GeometryBufferTypeId() { return TypeIdOf<GeometryBuffer>(); }
u32 SharedBufferTypeId() { return TypeIdOf<SharedBuffer>(); }

namespace {

void LinkAfter(BufferRange* at, BufferRange* range) {
    range->prev = at;
    range->next = at->next;
    if (at->next) at->next->prev = range;
    at->next = range;
}

}  // namespace

// ---- GeometryStream -----------------------------------------------------------------------

bool GeometryStream::Equals(const GeometryStream& other) const {
    if (kind != other.kind) return false;
    if (kind == kVertexKind && !layout.Equals(other.layout)) return false;
    if (kind == kIndexKind && (fieldFlags & kIndexFormatSet) && indexFormat != other.indexFormat) return false;
    if ((fieldFlags & kPoolSet) && pool != other.pool) return false;
    if ((fieldFlags & kUsageSet) && usage != other.usage) return false;
    return true;
}

// ---- BufferRange --------------------------------------------------------------------------

bool BufferRange::Lock(u32 flags, void** out) {
    if (!owner || size == 0) return false;
    return owner->Lock(offset, size, flags, out);
}

bool BufferRange::Unlock() { return owner && owner->Unlock(); }

bool BufferRange::Clear() { return !owner || owner->Fill(offset, size, 0); }

void BufferRange::Release() {
    if (owner) owner->FreeRange(this);
}

bool BufferRange::UpdateBounds() {
    if (!owner) return false;
    const u32 stride = owner->GetStride();
    if (owner->GetKind() != GeometryStream::kVertexKind || stride == 0 || (owner->GetUsage() & D3DUSAGE_WRITEONLY))
        return false;
    void* data = nullptr;
    if (!Lock(D3DLOCK_READONLY, &data)) return false;
    Box found;
    const bool ok = ComputeBoundsFromVertices(found, data, stride, size / stride);
    owner->Unlock();
    if (!ok) return false;
    box = found;
    valid = 1;
    return true;
}

// ---- GeometryBuffer: creation and the device --------------------------------------------------

GeometryBuffer::~GeometryBuffer() {
    ReleaseD3DBuffer();
    DeleteRanges();
}

bool GeometryBuffer::QueryType(u32 typeId, void** out) {
    if (typeId == GeometryBufferTypeId()) {
        *out = this;
        return true;
    }
    return Object::QueryType(typeId, out);
}

bool GeometryBuffer::CreateVertexBuffer(u32 length, u32 usage, const VertexDeclaration& layout, u32 pool) {
    desc.stride = layout.streamStrides[0];
    return CreateBuffer(GeometryStream::kVertexKind, length, usage, &layout, desc.indexFormat, pool);
}

bool GeometryBuffer::CreateIndexBuffer(u32 length, u32 usage, u32 indexFormat, u32 pool) {
    return CreateBuffer(GeometryStream::kIndexKind, length, usage, nullptr, indexFormat, pool);
}

bool GeometryBuffer::CreateBuffer(u32 kind, u32 length, u32 usage, const VertexDeclaration* layout, u32 indexFormat,
                                  u32 pool) {
    DeleteRanges();
    ReleaseD3DBuffer();
    if (!Register()) return false;
    desc.kind = kind;
    if (layout) desc.layout.Assign(*layout);
    desc.indexFormat = indexFormat;
    desc.pool = pool;
    desc.length = length;
    desc.usage = usage;
    ranges = NewFreeRange(0, length);
    if (!ranges) return false;
    freeBytes = length;
    usedStart = 0;
    usedSize = 0;
    autoCompact = 0;
    return Restore();
}

bool GeometryBuffer::CreateD3DBuffer() {
    IDirect3DDevice9* device = TheDevice();
    if (!device) return false;
    if (desc.kind != GeometryStream::kVertexKind && desc.kind != GeometryStream::kIndexKind) return false;
    ReleaseD3DBuffer();
    if (desc.length == 0) return true;
    const D3DPOOL pool = static_cast<D3DPOOL>(desc.pool);
    HRESULT hr;
    if (desc.kind == GeometryStream::kVertexKind) {
        hr = device->CreateVertexBuffer(desc.length, desc.usage, desc.layout.GetFVF(0), pool, &vertexBuffer, nullptr);
        if (FAILED(hr)) vertexBuffer = nullptr;
    } else {
        hr = device->CreateIndexBuffer(desc.length, desc.usage, static_cast<D3DFORMAT>(desc.indexFormat), pool,
                                       &indexBuffer, nullptr);
        if (FAILED(hr)) indexBuffer = nullptr;
    }
    if (FAILED(hr) || (!vertexBuffer && !indexBuffer)) return false;
    createdLength = desc.length;
    return true;
}

void GeometryBuffer::ReleaseD3DBuffer() {
    if (vertexBuffer) vertexBuffer->Release();
    if (indexBuffer) indexBuffer->Release();
    vertexBuffer = nullptr;
    indexBuffer = nullptr;
    createdLength = 0;
}

bool GeometryBuffer::Restore() {
    if (!CreateD3DBuffer()) return false;
    return Compact(true);
}

bool GeometryBuffer::Invalidate() {
    ReleaseD3DBuffer();
    return true;
}

void GeometryBuffer::DeleteRanges() {
    BufferRange* range = ranges;
    while (range) {
        BufferRange* next = range->next;
        delete range;
        range = next;
    }
    ranges = nullptr;
    freeRanges = nullptr;
    freeBytes = 0;
    usedStart = 0;
    usedSize = 0;
}

BufferRange* GeometryBuffer::NewFreeRange(u32 offset, u32 size) {
    BufferRange* range = new (std::nothrow) BufferRange;
    if (!range) return nullptr;
    range->owner = this;
    range->offset = offset;
    range->size = size;
    LinkFree(range);
    return range;
}

void GeometryBuffer::LinkFree(BufferRange* range) {
    range->freePrev = nullptr;
    range->freeNext = freeRanges;
    if (freeRanges) freeRanges->freePrev = range;
    freeRanges = range;
}

void GeometryBuffer::UnlinkFree(BufferRange* range) {
    if (range->freePrev)
        range->freePrev->freeNext = range->freeNext;
    else if (freeRanges == range)
        freeRanges = range->freeNext;
    if (range->freeNext) range->freeNext->freePrev = range->freePrev;
    range->freePrev = range->freeNext = nullptr;
}

// ---- GeometryBuffer: ranges ---------------------------------------------------------------------

BufferRange* GeometryBuffer::AllocateRange(u32 size, u32 user, RangeClient* client) {
    // The smallest free range that holds size; of equal ones the first in the buffer.
    BufferRange* best = nullptr;
    for (BufferRange* r = freeRanges; r; r = r->freeNext) {
        if (r->size < size) continue;
        if (!best || r->size < best->size || (r->size == best->size && r->offset < best->offset)) best = r;
    }
    if (!best) return nullptr;
    if (best->size > size) {
        BufferRange* rest = NewFreeRange(best->offset + size, best->size - size);
        if (!rest) return nullptr;
        LinkAfter(best, rest);
        best->size = size;
    }
    UnlinkFree(best);
    best->free = 0;
    best->owner = this;
    best->user = user;
    best->client = client;
    freeBytes -= size;
    if (usedSize == 0) {
        usedStart = best->offset;
        usedSize = size;
    } else {
        const u32 start = best->offset < usedStart ? best->offset : usedStart;
        const u32 end = best->offset + size > usedStart + usedSize ? best->offset + size : usedStart + usedSize;
        usedStart = start;
        usedSize = end - start;
    }
    return best;
}

void GeometryBuffer::FreeRange(BufferRange* range) {
    if (!range || range->owner != this || range->free) return;
    const u32 end = range->offset + range->size;
    const bool atStart = range->offset == usedStart;
    const bool atEnd = end == usedStart + usedSize;
    // Bytes inside the span stay where draws over the whole span reach them; zeros make
    // them degenerate. Bytes at an end leave the span instead.
    if (!atStart && !atEnd && desc.clearOnFree) Fill(range->offset, range->size, 0);
    range->free = 1;
    range->client = nullptr;
    range->user = 0;
    LinkFree(range);
    freeBytes += range->size;
    if (atStart || atEnd) NarrowUsedSpan(range);

    if (BufferRange* before = range->prev; before && before->free) {
        range->offset = before->offset;
        range->size += before->size;
        range->prev = before->prev;
        if (before->prev)
            before->prev->next = range;
        else
            ranges = range;
        UnlinkFree(before);
        delete before;
    }
    if (BufferRange* after = range->next; after && after->free) {
        range->size += after->size;
        range->next = after->next;
        if (after->next) after->next->prev = range;
        UnlinkFree(after);
        delete after;
    }
}

// The span shrinks to the used ranges that remain on the freed range's side(s).
void GeometryBuffer::NarrowUsedSpan(const BufferRange* freed) {
    const bool atStart = freed->offset == usedStart;
    const bool atEnd = freed->offset + freed->size == usedStart + usedSize;
    const BufferRange* first = atStart ? freed->next : nullptr;
    while (first && first->free) first = first->next;
    const BufferRange* last = atEnd ? freed->prev : nullptr;
    while (last && last->free) last = last->prev;
    if ((atStart && !first) || (atEnd && !last)) {  // nothing used is left
        usedStart = 0;
        usedSize = 0;
        return;
    }
    const u32 start = first ? first->offset : usedStart;
    const u32 end = last ? last->offset + last->size : usedStart + usedSize;
    usedStart = start;
    usedSize = end > start ? end - start : 0;
}

bool GeometryBuffer::Compact(bool force) {
    // First the list is rebuilt, then the clients are told: a client that locks its range
    // sees the final offsets.
    u32 packed = 0;
    freeRanges = nullptr;  // every free range goes
    BufferRange* head = nullptr;
    BufferRange* tail = nullptr;
    for (BufferRange* r = ranges; r;) {
        BufferRange* next = r->next;
        if (r->free) {
            delete r;
        } else {
            r->pendingRefill = (r->offset != packed || force) ? 1 : 0;
            r->offset = packed;
            packed += r->size;
            r->prev = tail;
            r->next = nullptr;
            if (tail)
                tail->next = r;
            else
                head = r;
            tail = r;
        }
        r = next;
    }
    ranges = head;
    const u32 rest = desc.length > packed ? desc.length - packed : 0;
    freeBytes = 0;
    if (rest > 0 || !head) {
        BufferRange* free = NewFreeRange(packed, rest);
        if (free) {
            if (tail)
                LinkAfter(tail, free);
            else
                ranges = free;
            freeBytes = rest;
        }
    }
    usedStart = 0;
    usedSize = packed;

    bool ok = true;
    for (BufferRange* r = ranges; r; r = r->next) {
        if (!r->pendingRefill) continue;
        r->pendingRefill = 0;
        // Ranges without a client belong to users that write them before every use.
        if (r->client) ok = r->client->Refill(r) && ok;
    }
    return ok;
}

bool GeometryBuffer::Grow(u32 newLength, bool recreate) {
    if (!ranges || newLength < desc.length) return false;
    if (recreate) {
        desc.length = newLength;
        return Restore();
    }
    if (newLength == desc.length) return true;
    const u32 added = newLength - desc.length;
    BufferRange* last = ranges;
    while (last->next) last = last->next;
    if (last->free) {
        last->size += added;
    } else {
        BufferRange* free = NewFreeRange(desc.length, added);
        if (!free) return false;
        LinkAfter(last, free);
    }
    freeBytes += added;
    desc.length = newLength;
    return true;
}

void GeometryBuffer::CheckAutoCompact() {
    if (!autoCompact || usedSize == 0) return;
    const f32 holes = static_cast<f32>(freeBytes - (desc.length - usedSize));
    const f32 ratio = holes / static_cast<f32>(usedSize);
    if ((compactBytes != 0.0f && holes > compactBytes) || (compactRatio != 0.0f && ratio > compactRatio))
        Compact(true);
}

// ---- GeometryBuffer: data -----------------------------------------------------------------------

bool GeometryBuffer::Lock(u32 offset, u32 size, u32 flags, void** out) {
    if (!out) return false;
    *out = nullptr;
    // Ranges added by growth in place lie beyond the buffer that exists.
    if (u64(offset) + size > createdLength) return false;
    HRESULT hr = E_FAIL;
    if (vertexBuffer)
        hr = vertexBuffer->Lock(offset, size, out, flags);
    else if (indexBuffer)
        hr = indexBuffer->Lock(offset, size, out, flags);
    if (FAILED(hr) || !*out) {
        *out = nullptr;
        return false;
    }
    return true;
}

bool GeometryBuffer::Unlock() {
    if (vertexBuffer) return SUCCEEDED(vertexBuffer->Unlock());
    if (indexBuffer) return SUCCEEDED(indexBuffer->Unlock());
    return false;
}

bool GeometryBuffer::Fill(u32 offset, u32 size, u8 value) {
    if (size == 0) return true;
    void* data = nullptr;
    const u32 flags = (desc.usage & D3DUSAGE_DYNAMIC) ? D3DLOCK_NOOVERWRITE : 0;
    if (!Lock(offset, size, flags, &data)) return false;
    memset(data, value, size);
    return Unlock();
}

bool GeometryBuffer::UpdateBounds() {
    if (desc.kind != GeometryStream::kVertexKind || desc.stride == 0 || (desc.usage & D3DUSAGE_WRITEONLY))
        return false;
    if (usedSize == 0) return false;
    void* data = nullptr;
    if (!Lock(usedStart, usedSize, D3DLOCK_READONLY, &data)) return false;
    Box found;
    const bool ok = ComputeBoundsFromVertices(found, data, desc.stride, usedSize / desc.stride);
    Unlock();
    if (!ok) return false;
    box = found;
    valid = 1;
    return true;
}

// ---- SharedBuffer -------------------------------------------------------------------------------

bool SharedBuffer::QueryType(u32 typeId, void** out) {
    if (typeId == SharedBufferTypeId()) {
        *out = this;
        return true;
    }
    return GeometryBuffer::QueryType(typeId, out);
}

bool SharedBuffer::CreateFromStream(GeometryStream& stream) {
    const u32 flags = stream.fieldFlags;
    const u32 growth = (flags & GeometryStream::kGrowthSet) ? stream.growth : GeometryStream::kDefaultGrowth;
    const u32 usage = (flags & GeometryStream::kUsageSet) ? stream.usage : 0;
    const u32 pool = (flags & GeometryStream::kPoolSet) ? stream.pool : u32(D3DPOOL_DEFAULT);
    const u32 length = (flags & GeometryStream::kLengthSet) ? stream.length : 0;
    const u32 format = (flags & GeometryStream::kIndexFormatSet) ? stream.indexFormat : u32(D3DFMT_INDEX16);

    desc = stream;
    desc.growth = growth;
    desc.stride = stream.stride ? stream.stride : stream.layout.streamStrides[0];
    bool made;
    if (stream.kind == GeometryStream::kVertexKind)
        made = CreateBuffer(GeometryStream::kVertexKind, length, usage, &stream.layout, format, pool);
    else if (stream.kind == GeometryStream::kIndexKind)
        made = CreateBuffer(GeometryStream::kIndexKind, length, usage, nullptr, format, pool);
    else
        made = false;
    if (!made) return false;
    if (flags & GeometryStream::kBufferFlag20) bufferFlags |= kFlag20;
    if (flags & GeometryStream::kAutoCompact) {
        autoCompact = 1;
        compactBytes = stream.compactBytes;
        compactRatio = stream.compactRatio;
    }
    stream.growth = growth;
    stream.usage = usage;
    stream.pool = pool;
    stream.length = length;
    return true;
}

BufferRange* SharedBuffer::AllocateRange(u32 size, u32 user, RangeClient* client) {
    if (BufferRange* range = GeometryBuffer::AllocateRange(size, user, client)) return range;
    if (!ranges) return nullptr;  // never created
    const u32 step = size > desc.growth ? size : desc.growth;
    if (step > 0xFFFFFFFFu - desc.length) return nullptr;  // the length would wrap
    if (bufferFlags & kGrowInPlace) {
        if (!Grow(desc.length + step, false)) return nullptr;
        return GeometryBuffer::AllocateRange(size, user, client);
    }
    Invalidate();
    const u32 oldLength = desc.length;
    desc.length += step;
    if (!CreateD3DBuffer()) {
        desc.length = oldLength;
        if (!CreateD3DBuffer()) return nullptr;
        // The old size is back, but its contents are gone: the clients write them again.
        Compact(true);
        return nullptr;
    }
    if (!Compact(true)) return nullptr;
    return GeometryBuffer::AllocateRange(size, user, client);
}
