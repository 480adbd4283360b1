#include "D3d/Geometry.h"

#include <new>

#include "Core/ProgramObjects.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"

u32 GeometryTypeId() { return TypeIdOf<Geometry>(); }

namespace {

// stride x count, saturated: a length that does not fit in 32 bits cannot be created,
// and saturating keeps it from wrapping to a small one that could.
u32 SaturatedBytes(u32 stride, u32 count) {
    const u64 bytes = u64(stride) * count;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(bytes);
}

}  // namespace

// ---- GeometryDesc -------------------------------------------------------------------------------

void GeometryDesc::Setup(const FrameSequence& mesh, const VertexDeclaration* meshLayout, bool dynamic,
                         bool systemMemory) {
    layout.Assign(meshLayout ? *meshLayout : mesh.vertices.layout);
    const u32 vertexCount = mesh.vertices.vertexCount;
    for (u32 s = 0; s < layout.streamCount && s < kStreams; ++s) {
        GeometryStream& stream = streams[s];
        stream = GeometryStream();
        stream.kind = GeometryStream::kVertexKind;
        stream.fieldFlags = GeometryStream::kFromSetup | GeometryStream::kLengthSet;
        stream.layout = layout.ExtractStream(s, 0);
        stream.stride = layout.streamStrides[s];
        stream.length = SaturatedBytes(stream.stride, vertexCount);
        if (dynamic) {
            stream.usage |= D3DUSAGE_DYNAMIC;
            stream.fieldFlags |= GeometryStream::kUsageSet;
        }
        if (systemMemory) {
            stream.pool = D3DPOOL_SYSTEMMEM;
            stream.fieldFlags |= GeometryStream::kPoolSet;
        }
    }
    index = GeometryStream();
    index.kind = GeometryStream::kIndexKind;
    index.fieldFlags = GeometryStream::kIndexFormatSet | GeometryStream::kLengthSet;
    // 16-bit indices address 65536 vertices; a mesh with more needs 32 bits whatever its
    // index count, or its indices would wrap onto the wrong vertices.
    const bool small = mesh.indices.count < k32BitIndexCount && vertexCount <= kMax16BitVertices;
    index.indexFormat = small ? D3DFMT_INDEX16 : D3DFMT_INDEX32;
    index.length = SaturatedBytes(GeometryStream::IndexSize(index.indexFormat), mesh.indices.count);
}

// ---- Geometry -----------------------------------------------------------------------------------

Geometry::Geometry() {
    for (SharedBuffer*& s : streams) s = nullptr;
}

Geometry::~Geometry() { ReleaseRanges(); }

bool Geometry::QueryType(u32 typeId, void** out) {
    if (typeId == GeometryTypeId()) {
        *out = this;
        return true;
    }
    return Object::QueryType(typeId, out);
}

void Geometry::ReleaseRanges() {
    for (SharedBuffer*& s : streams) {
        delete s;
        s = nullptr;
    }
    delete indexBuffer;
    indexBuffer = nullptr;
}

bool Geometry::Create(const GeometryDesc& desc) {
    ReleaseRanges();
    primitiveType = desc.primitiveType;
    layout.Assign(desc.layout);
    bool ok = true;
    for (u32 s = 0; s < layout.streamCount && s < kStreams && ok; ++s) {
        streams[s] = new (std::nothrow) SharedBuffer;
        GeometryStream stream = desc.streams[s];
        ok = streams[s] && streams[s]->CreateFromStream(stream);
    }
    if (ok && desc.index.length != 0) {
        indexBuffer = new (std::nothrow) SharedBuffer;
        GeometryStream stream = desc.index;
        ok = indexBuffer && indexBuffer->CreateFromStream(stream);
    }
    if (!ok) ReleaseRanges();
    return ok;
}

bool Geometry::Create(u32 vertexCount, u32 usage, u32 fvf) {
    ReleaseRanges();
    VertexDeclaration fixed;
    if (!fixed.SetFVF(fvf)) return false;
    const u32 stride = fixed.streamStrides[0];
    const u64 bytes = u64(stride) * vertexCount;
    if (bytes == 0 || bytes > 0xFFFFFFFFu) return false;
    layout.Assign(fixed);

    GeometryStream stream;
    stream.kind = GeometryStream::kVertexKind;
    stream.layout.Assign(fixed);
    stream.stride = stride;
    stream.length = static_cast<u32>(bytes);
    stream.usage = usage;
    stream.fieldFlags = GeometryStream::kLengthSet | GeometryStream::kUsageSet;
    streams[0] = new (std::nothrow) SharedBuffer;
    if (!streams[0] || !streams[0]->CreateFromStream(stream) ||
        !streams[0]->AllocateRange(static_cast<u32>(bytes), 0, nullptr)) {
        ReleaseRanges();
        return false;
    }
    return true;
}

void Geometry::SetLayout(GeometryDesc& desc, const FrameSequence& mesh, const VertexDeclaration& newLayout) {
    desc.layout.Assign(newLayout);
    for (u32 s = 0; s < newLayout.streamCount && s < kStreams; ++s) {
        GeometryStream& stream = desc.streams[s];
        stream.layout = newLayout.ExtractStream(s, 0);
        stream.stride = newLayout.streamStrides[s];
        stream.length = SaturatedBytes(stream.stride, mesh.vertices.vertexCount);
    }
}

u32 Geometry::PrimitiveCount(u32 type, u32 count) {
    switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return count / 2;
    case D3DPT_LINESTRIP: return count > 1 ? count - 1 : 0;
    case D3DPT_TRIANGLELIST: return count / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count > 2 ? count - 2 : 0;
    default: return 0;
    }
}

bool Geometry::Draw() {
    IDirect3DDevice9* device = TheDevice();
    if (!device || layout.streamCount == 0) return false;
    IDirect3DVertexDeclaration9* declaration = layout.GetD3DDeclaration();
    if (!declaration || FAILED(device->SetVertexDeclaration(declaration))) return false;
    for (u32 s = 0; s < layout.streamCount && s < kStreams; ++s) {
        if (!streams[s]) return false;
        if (FAILED(device->SetStreamSource(s, streams[s]->GetVertexBuffer(), 0, layout.streamStrides[s])))
            return false;
    }
    // Offsets and sizes are turned into vertex and index numbers by these divisors.
    const u32 stride = layout.streamStrides[0];
    if (stride == 0) return false;
    const D3DPRIMITIVETYPE type = static_cast<D3DPRIMITIVETYPE>(primitiveType);
    const GeometryBuffer* source = indexBuffer ? static_cast<GeometryBuffer*>(indexBuffer) : streams[0];
    const u32 unit = indexBuffer ? GeometryStream::IndexSize(indexBuffer->GetIndexFormat()) : stride;
    u32 vertexCount = 0;
    if (indexBuffer) {
        if (FAILED(device->SetIndices(indexBuffer->GetIndexBuffer()))) return false;
        // Indices may name any vertex up to the end of the used span, not only those
        // within its size.
        const GeometryBuffer* vertices = streams[0];
        vertexCount = static_cast<u32>((u64(vertices->GetUsedStart()) + vertices->GetUsedSize()) / stride);
    }

    bool ok = true;
    u32 drawn = 0;
    auto drawSpan = [&](u32 offset, u32 bytes) {
        const u32 count = PrimitiveCount(primitiveType, bytes / unit);
        if (count == 0) return;
        const HRESULT hr = indexBuffer ? device->DrawIndexedPrimitive(type, 0, 0, vertexCount, offset / unit, count)
                                       : device->DrawPrimitive(type, offset / unit, count);
        if (FAILED(hr))
            ok = false;
        else
            drawn += count;
    };
    if (drawFlags & kDrawRuns) {
        const BufferRange* r = source->GetRanges();
        while (r) {
            if (r->free) {
                r = r->next;
                continue;
            }
            const u32 start = r->offset;
            u32 end = r->offset + r->size;
            for (r = r->next; r && !r->free; r = r->next) end = r->offset + r->size;
            drawSpan(start, end - start);
        }
    } else {
        drawSpan(source->GetUsedStart(), source->GetUsedSize());
    }
    if (drawn != 0) TheStatistics().Add(String::Borrow("tris", 4), static_cast<i32>(drawn));

    for (u32 s = 0; s < layout.streamCount && s < kStreams; ++s) streams[s]->CheckAutoCompact();
    if (indexBuffer) indexBuffer->CheckAutoCompact();
    return ok;
}
