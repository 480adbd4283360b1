// A vertex layout as a value: the Direct3D 9 element array, closed by the end marker,
// with the per-stream strides derived from it. Meshes, buffers and geometry build layouts
// element by element or from an FVF code, split them per stream and compare them; the
// Application keeps one Direct3D declaration per distinct layout, ordered by Compare.
//
// At most 31 elements are in use so that the end marker always fits in the 32 slots.
// Layouts also arrive from model files, which nobody vouches for: Recount checks what it
// walks (an end marker within the 32 slots, stream numbers below 8) and turns a layout
// that fails into the empty one, so a caller that sees false drops it as invalid.
#pragma once

#include "Core/Types.h"

#include <d3d9.h>

class VertexDeclaration {
public:
    static constexpr u32 kSlots = 32;
    static constexpr u32 kMaxElements = kSlots - 1;  // the end marker takes the last slot
    static constexpr u32 kMaxStreams = 8;
    // What AddElement returns when the element was appended, and when it was refused
    // because the layout is full.
    static constexpr int kAppended = -1;
    static constexpr int kRefused = -2;

    // Empty, with every slot zero (no end marker yet).
    VertexDeclaration();
    VertexDeclaration(const VertexDeclaration& other);
    VertexDeclaration& operator=(const VertexDeclaration& other);

    void Assign(const VertexDeclaration& other);
    // Equal element counts and equal element bytes; the strides do not take part.
    bool Equals(const VertexDeclaration& other) const;
    // -1, 0 or 1: element count first, then the elements' bytes in memory order.
    int Compare(const VertexDeclaration& other) const;

    // Indices of the first matching element, or -1.
    int FindUsage(u8 usage, u8 usageIndex) const;
    int FindElement(u8 type, u8 method, u8 usage, u8 usageIndex) const;
    // The four packed as type | method << 8 | usage << 16 | usageIndex << 24.
    int FindPacked(u32 packed) const;
    // The element with the same type, method, usage and usage index as `element`.
    int FindPacked(const D3DVERTEXELEMENT9& element) const;
    // The byte offset of the element with that usage, or -1.
    int GetUsageOffset(u8 usage, u8 usageIndex) const;

    // Returns the index of an identical element when there is one. Otherwise appends
    // the element after the last one, in its stream, and returns kAppended; kRefused
    // (and no change) when the layout is full or the offset would not fit.
    // The device's declaration of this layout, through the Application's cache; null
    // without an Application or a device, or when the device refuses the layout.
    IDirect3DVertexDeclaration9* GetD3DDeclaration() const;
    int AddElement(u8 type, u8 method, u8 usage, u8 usageIndex);
    // The layout of an FVF code; false, and no change, when D3DX cannot express the code.
    bool SetFVF(u32 fvf);
    // The FVF code of one stream's elements; 0 when D3DX cannot express them.
    u32 GetFVF(u32 stream) const;
    // The elements of one stream, in order, renumbered to `newStream` unless that is -1;
    // the strides are those of the result's own stream numbers.
    VertexDeclaration ExtractStream(u32 stream, int newStream) const;

    // Derives the counts and strides from the elements. False, leaving the empty layout,
    // when no end marker lies within the 32 slots or an element names a stream of 8 or
    // more.
    bool Recount();

    // The element array, end marker included, for CreateVertexDeclaration.
    const D3DVERTEXELEMENT9* Elements() const { return elements; }

    static u32 DeclTypeSize(u32 type);
    static D3DVERTEXELEMENT9 EndMarker();
    static bool IsEndMarker(const D3DVERTEXELEMENT9& element);

    u32 elementCount;  // without the end marker
    D3DVERTEXELEMENT9 elements[kSlots];
    u32 streamCount;  // highest stream used + 1
    u32 streamStrides[kMaxStreams];
    u32 totalStride;  // sum of the first streamCount strides

private:
    // elementCount within the slots that can hold elements, for loops that trust it.
    u32 UsedCount() const { return elementCount < kMaxElements ? elementCount : kMaxElements; }
    void MakeEmpty();
};
