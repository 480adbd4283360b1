// Vertex and index buffers handed out in byte ranges. One GeometryBuffer wraps one
// Direct3D vertex or index buffer and keeps a list of ranges in offset order, free and
// used alike, that covers the whole buffer. Ranges are handed out best fit (the smallest
// free range that holds the request, the first of equal ones, the remainder split off
// behind it), and a freed range merges with its free neighbours, so no two free ranges
// ever lie side by side. A SharedBuffer grows when nothing fits; compaction packs the used
// ranges to the front. Both move data, and so does a lost device: the buffer then asks each
// range's client to write its data again (RangeClient::Refill). Ranges without a client
// (a particle batch rewrites its range every frame) are left to their users.
//
// A range record lives until it is freed and merged away, or until its buffer goes: a
// holder must not keep a BufferRange pointer after handing the range back.
#pragma once

#include <d3d9.h>

#include "Core/Bounded.h"
#include "Core/Object.h"
#include "Core/Types.h"
#include "D3d/DeviceObject.h"
#include "D3d/VertexDeclaration.h"

class BufferRange;
class GeometryBuffer;

// The owner of a range's data: told to write it again when the range has moved or its
// buffer was re-created.
class RangeClient {
public:
    virtual bool Refill(BufferRange* range) = 0;

protected:
    ~RangeClient() = default;
};

// What a buffer must be. fieldFlags says which fields a creation takes; the others get
// their defaults. The same bits are the geometry option bits of a GeometryDesc's streams.
struct GeometryStream {
    static constexpr u32 kVertexKind = 1;
    static constexpr u32 kIndexKind = 2;

    static constexpr u32 kPoolSet = 0x1;
    static constexpr u32 kIndexFormatSet = 0x2;
    static constexpr u32 kGrowthSet = 0x4;
    static constexpr u32 kLengthSet = 0x8;
    static constexpr u32 kUsageSet = 0x10;
    static constexpr u32 kBufferFlag20 = 0x20;  // sets bit 0x20 of the SharedBuffer's flags
    static constexpr u32 kAutoCompact = 0x40;
    static constexpr u32 kFromSetup = 0x80;  // made by GeometryDesc::Setup

    static constexpr u32 kDefaultGrowth = 4096;
    // The compaction thresholds a description starts with: holes of more than 64 KB, or
    // more than a quarter of the used span. They apply only with kAutoCompact.
    static constexpr f32 kDefaultCompactBytes = 65536.0f;
    static constexpr f32 kDefaultCompactRatio = 0.25f;

    u32 kind = kVertexKind;
    VertexDeclaration layout;
    u32 stride = 0;
    u32 indexFormat = D3DFMT_INDEX16;
    u32 pool = D3DPOOL_DEFAULT;
    u32 length = 0;
    u32 growth = kDefaultGrowth;
    u32 usage = 0;
    f32 compactBytes = kDefaultCompactBytes;
    f32 compactRatio = kDefaultCompactRatio;
    u32 clearOnFree = 0;
    u32 fieldFlags = 0;

    // Same kind; vertex streams with Equals layouts, index streams (with kIndexFormatSet)
    // the same format; the pools when this description has kPoolSet, the usages when it
    // has kUsageSet. This description's flags decide, so the relation is not symmetric.
    bool Equals(const GeometryStream& other) const;
    // Bytes per index of an index format: 4 for D3DFMT_INDEX32, else 2.
    static u32 IndexSize(u32 format) { return format == D3DFMT_INDEX32 ? 4 : 2; }
};

class BufferRange : public Bounded {
public:
    // Locks the owner's buffer over exactly this range. False without an owner or a
    // Direct3D buffer, and for a range of no bytes (Direct3D would read a size of 0 as
    // the whole buffer).
    bool Lock(u32 flags, void** out);
    bool Unlock();
    // Fills the range with zero bytes; true when it has no owner.
    bool Clear();
    // Hands the range back to its owner (FreeRange). The record may be deleted by it.
    void Release();
    // The box of the range's vertices, read back from a readable vertex buffer.
    bool UpdateBounds() override;

    GeometryBuffer* owner = nullptr;
    RangeClient* client = nullptr;
    u32 user = 0;
    u8 free = 1;
    u32 offset = 0;
    u32 size = 0;  // bytes
    BufferRange* prev = nullptr;
    BufferRange* next = nullptr;
    u8 pendingRefill = 0;  // set by a compaction between packing and telling the client
    // The owner's list of its free ranges, in no order: allocation looks at these alone.
    BufferRange* freePrev = nullptr;
    BufferRange* freeNext = nullptr;
};

u32 GeometryBufferTypeId();
u32 SharedBufferTypeId();

class GeometryBuffer : public DeviceObject, public Bounded, public virtual Object {
public:
    GeometryBuffer() = default;
    ~GeometryBuffer() override;

    // Re-creates the Direct3D buffer and has every client write its range again.
    bool Restore() override;
    // Releases the Direct3D buffer; the ranges stay.
    bool Invalidate() override;
    // Packs the used ranges to the front in their order; a range that moves (every range,
    // with force) is refilled by its client. One free range of the remainder follows.
    // False when a client's refill failed.
    virtual bool Compact(bool force);
    // Best fit; null when no free range holds size bytes.
    virtual BufferRange* AllocateRange(u32 size, u32 user, RangeClient* client);
    // Nothing for a null range, a free one or another buffer's. The range merges with
    // free neighbours; the records merged into it are deleted.
    virtual void FreeRange(BufferRange* range);

    bool QueryType(u32 typeId, void** out) override;

    // Drop every range, register as a device object, store the description, one free
    // range over [0, length), then create the Direct3D buffer. False without a device.
    bool CreateVertexBuffer(u32 length, u32 usage, const VertexDeclaration& layout, u32 pool);
    bool CreateIndexBuffer(u32 length, u32 usage, u32 indexFormat, u32 pool);
    // The Direct3D buffer of the description (any previous one is released first). True
    // with nothing created for a length of 0.
    bool CreateD3DBuffer();
    // Grows to newLength: re-created (recreate) or only with a free range added at the
    // end. False without ranges, and for a shrink.
    bool Grow(u32 newLength, bool recreate);

    bool Lock(u32 offset, u32 size, u32 flags, void** out);
    bool Unlock();
    // Sets size bytes at offset to value.
    bool Fill(u32 offset, u32 size, u8 value);
    // The box of the vertices of the used span.
    bool UpdateBounds() override;
    // Compacts when the holes inside the used span pass a threshold (after each draw).
    void CheckAutoCompact();

    IDirect3DVertexBuffer9* GetVertexBuffer() const { return desc.kind == GeometryStream::kVertexKind ? vertexBuffer : nullptr; }
    IDirect3DIndexBuffer9* GetIndexBuffer() const { return desc.kind == GeometryStream::kIndexKind ? indexBuffer : nullptr; }
    BufferRange* GetRanges() const { return ranges; }
    u32 GetIndexFormat() const { return desc.indexFormat; }
    u32 GetPool() const { return desc.pool; }
    u32 GetStride() const { return desc.stride; }
    u32 GetUsage() const { return desc.usage; }
    u32 GetKind() const { return desc.kind; }
    u32 GetLength() const { return desc.length; }
    VertexDeclaration GetLayout() const { return desc.layout; }
    u32 GetUsedStart() const { return usedStart; }
    u32 GetUsedSize() const { return usedSize; }
    u32 GetFreeBytes() const { return freeBytes; }
    const GeometryStream& Description() const { return desc; }

    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    GeometryStream desc;
    u32 freeBytes = 0;
    BufferRange* ranges = nullptr;
    u32 usedStart = 0;
    u32 usedSize = 0;
    u8 autoCompact = 0;
    f32 compactBytes = 0.0f;
    f32 compactRatio = 0.0f;

protected:
    bool CreateBuffer(u32 kind, u32 length, u32 usage, const VertexDeclaration* layout, u32 indexFormat, u32 pool);
    void DeleteRanges();
    // The size of the Direct3D buffer that exists now (0 without one): growth without
    // re-creation adds ranges beyond it, which must not be locked.
    u32 createdLength = 0;
    BufferRange* freeRanges = nullptr;

private:
    // A new free range, entered in the free list.
    BufferRange* NewFreeRange(u32 offset, u32 size);
    void LinkFree(BufferRange* range);
    void UnlinkFree(BufferRange* range);
    void ReleaseD3DBuffer();
    void NarrowUsedSpan(const BufferRange* freed);
    bool ComputeBounds(u32 offset, u32 size, Bounded& into);
};

class SharedBuffer : public GeometryBuffer {
public:
    static constexpr u32 kGrowInPlace = 0x1;  // grow without re-creating the buffer
    static constexpr u32 kFlag20 = 0x20;

    // The base allocation; when nothing fits, the buffer grows by max(size, growth) and
    // tries again.
    BufferRange* AllocateRange(u32 size, u32 user, RangeClient* client) override;
    bool QueryType(u32 typeId, void** out) override;

    // Creation from a description: the fields whose flags are set (defaults for the
    // others), then the flag-driven options; the values used are written back into desc.
    bool CreateFromStream(GeometryStream& stream);

    u32 bufferFlags = 0;
};
