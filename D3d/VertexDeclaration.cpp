#include "D3d/VertexDeclaration.h"

#include "Core/D3dxLibrary.h"

#include <d3dx9.h>
#include <string.h>

namespace {

constexpr u8 kEndStream = 0xFF;
constexpr u8 kTypeUnused = 17;  // D3DDECLTYPE_UNUSED

u32 Pack(u8 type, u8 method, u8 usage, u8 usageIndex) {
    return u32(type) | u32(method) << 8 | u32(usage) << 16 | u32(usageIndex) << 24;
}

u32 Pack(const D3DVERTEXELEMENT9& e) { return Pack(e.Type, e.Method, e.Usage, e.UsageIndex); }

}  // namespace

VertexDeclaration::VertexDeclaration() { memset(static_cast<void*>(this), 0, sizeof *this); }

VertexDeclaration::VertexDeclaration(const VertexDeclaration& other) : VertexDeclaration() { Assign(other); }

VertexDeclaration& VertexDeclaration::operator=(const VertexDeclaration& other) {
    if (this != &other) Assign(other);
    return *this;
}

void VertexDeclaration::Assign(const VertexDeclaration& other) {
    const u32 count = other.UsedCount();
    elementCount = count;
    memcpy(elements, other.elements, (count + 1) * sizeof elements[0]);
    streamCount = other.streamCount < kMaxStreams ? other.streamCount : kMaxStreams;
    memcpy(streamStrides, other.streamStrides, streamCount * sizeof streamStrides[0]);
    totalStride = other.totalStride;
}

bool VertexDeclaration::Equals(const VertexDeclaration& other) const {
    return elementCount == other.elementCount &&
           memcmp(elements, other.elements, UsedCount() * sizeof elements[0]) == 0;
}

int VertexDeclaration::Compare(const VertexDeclaration& other) const {
    const i32 a = static_cast<i32>(elementCount);
    const i32 b = static_cast<i32>(other.elementCount);
    if (a != b) return a < b ? -1 : 1;
    // Element after element, each compared bytewise: one lexicographic run over the bytes.
    const int order = memcmp(elements, other.elements, UsedCount() * sizeof elements[0]);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int VertexDeclaration::FindUsage(u8 usage, u8 usageIndex) const {
    for (u32 i = 0; i < UsedCount(); ++i)
        if (elements[i].Usage == usage && elements[i].UsageIndex == usageIndex) return static_cast<int>(i);
    return -1;
}

int VertexDeclaration::FindElement(u8 type, u8 method, u8 usage, u8 usageIndex) const {
    return FindPacked(Pack(type, method, usage, usageIndex));
}

int VertexDeclaration::FindPacked(u32 packed) const {
    for (u32 i = 0; i < UsedCount(); ++i)
        if (Pack(elements[i]) == packed) return static_cast<int>(i);
    return -1;
}

int VertexDeclaration::FindPacked(const D3DVERTEXELEMENT9& element) const { return FindPacked(Pack(element)); }

int VertexDeclaration::GetUsageOffset(u8 usage, u8 usageIndex) const {
    const int index = FindUsage(usage, usageIndex);
    return index < 0 ? -1 : elements[index].Offset;
}

int VertexDeclaration::AddElement(u8 type, u8 method, u8 usage, u8 usageIndex) {
    const int existing = FindElement(type, method, usage, usageIndex);
    if (existing >= 0) return existing;
    if (elementCount >= kMaxElements) return kRefused;

    D3DVERTEXELEMENT9 added{};
    if (elementCount > 0) {
        const D3DVERTEXELEMENT9& last = elements[elementCount - 1];
        const u32 offset = u32(last.Offset) + DeclTypeSize(last.Type);
        if (offset > 0xFFFF) return kRefused;  // past what an element's offset can say
        added.Stream = last.Stream;
        added.Offset = static_cast<WORD>(offset);
    }
    added.Type = type;
    added.Method = method;
    added.Usage = usage;
    added.UsageIndex = usageIndex;
    elements[elementCount] = added;
    elements[elementCount + 1] = EndMarker();
    Recount();
    return kAppended;
}

bool VertexDeclaration::SetFVF(u32 fvf) {
    D3DVERTEXELEMENT9 converted[MAX_FVF_DECL_SIZE];
    if (FAILED(D3dx().DeclaratorFromFVF(fvf, converted))) return false;
    u32 count = 0;
    while (count < MAX_FVF_DECL_SIZE && !IsEndMarker(converted[count])) ++count;
    // D3DX has room for more elements than a layout holds.
    if (count > kMaxElements) return false;
    memcpy(elements, converted, count * sizeof elements[0]);
    elements[count] = EndMarker();
    return Recount();
}

u32 VertexDeclaration::GetFVF(u32 stream) const {
    const VertexDeclaration single = ExtractStream(stream, 0);
    DWORD fvf = 0;
    if (FAILED(D3dx().FVFFromDeclarator(single.elements, &fvf))) return 0;
    return fvf;
}

VertexDeclaration VertexDeclaration::ExtractStream(u32 stream, int newStream) const {
    VertexDeclaration result;
    u32 kept = 0;
    for (u32 i = 0; i < UsedCount(); ++i) {
        if (elements[i].Stream != stream) continue;
        result.elements[kept] = elements[i];
        if (newStream != -1) result.elements[kept].Stream = static_cast<WORD>(newStream);
        ++kept;
    }
    result.elements[kept] = EndMarker();
    // Counted after the renumbering, so that the stride stands under the stream number
    // the result uses.
    result.Recount();
    return result;
}

bool VertexDeclaration::Recount() {
    u32 strides[kMaxStreams] = {};
    u32 count = 0;
    u32 streams = 0;
    for (; count < kSlots && !IsEndMarker(elements[count]); ++count) {
        const D3DVERTEXELEMENT9& e = elements[count];
        if (e.Stream >= kMaxStreams) {
            MakeEmpty();
            return false;
        }
        const u32 end = u32(e.Offset) + DeclTypeSize(e.Type);
        if (end > strides[e.Stream]) strides[e.Stream] = end;
        if (u32(e.Stream) + 1 > streams) streams = e.Stream + 1;
    }
    if (count == kSlots) {  // no end marker: the elements would run on past the layout
        MakeEmpty();
        return false;
    }
    elementCount = count;
    streamCount = streams;
    memcpy(streamStrides, strides, sizeof streamStrides);
    totalStride = 0;
    for (u32 s = 0; s < streams; ++s) totalStride += strides[s];
    return true;
}

void VertexDeclaration::MakeEmpty() {
    memset(elements, 0, sizeof elements);
    elements[0] = EndMarker();
    elementCount = 0;
    streamCount = 0;
    memset(streamStrides, 0, sizeof streamStrides);
    totalStride = 0;
}

u32 VertexDeclaration::DeclTypeSize(u32 type) {
    switch (type) {
    case 0:   // FLOAT1
    case 4:   // D3DCOLOR
    case 5:   // UBYTE4
    case 6:   // SHORT2
    case 8:   // UBYTE4N
    case 9:   // SHORT2N
    case 11:  // USHORT2N
    case 13:  // UDEC3
    case 14:  // DEC3N
    case 15:  // FLOAT16_2
        return 4;
    case 1:   // FLOAT2
    case 7:   // SHORT4
    case 10:  // SHORT4N
    case 12:  // USHORT4N
    case 16:  // FLOAT16_4
        return 8;
    case 2: return 12;  // FLOAT3
    case 3: return 16;  // FLOAT4
    default: return 0;
    }
}

D3DVERTEXELEMENT9 VertexDeclaration::EndMarker() {
    D3DVERTEXELEMENT9 end{};
    end.Stream = kEndStream;
    end.Type = kTypeUnused;
    return end;
}

bool VertexDeclaration::IsEndMarker(const D3DVERTEXELEMENT9& element) {
    const D3DVERTEXELEMENT9 end = EndMarker();
    return memcmp(&element, &end, sizeof end) == 0;
}
