// The mesh data object: the processor's copy of a mesh (its vertices in streams, its
// indices, its face adjacency and bounds) together with a float-keyed table of
// alternatives, the level-of-detail variants that a key (a projected size) selects
// among. The model loader fills one per mesh; drawables and the geometry cache only read
// it. The geometry cache keeps its address while geometry made from it exists, so it must
// outlive that geometry (or be forgotten by the cache first).
//
// Whether the variants follow the key at all is the drawer's to say: it hands in a
// SequenceSettings with every choice, so this layer keeps no switch of its own.
#pragma once

#include "Core/AnimatedValue.h"
#include "Core/Bounded.h"
#include "Core/ElementArray.h"
#include "Core/Types.h"
#include "D3d/VertexDeclaration.h"
#include "D3d/VertexStreams.h"

// How the variants are chosen: by the key the drawer passes while the switch is on, else
// always at the stand-in key.
struct SequenceSettings {
    u8 sequenceSwitch = 1;      // variants chosen by their key
    f32 sequenceKey = 1000.0f;  // the key used while the switch is off
};

class FrameSequence : public Bounded {
public:
    using Variants = FloatMapOf<FrameSequence*>;

    FrameSequence() = default;
    ~FrameSequence() override;
    FrameSequence(const FrameSequence&) = delete;
    FrameSequence& operator=(const FrameSequence&) = delete;

    // True when the table holds a key and the settings' switch is on.
    bool IsActive(const SequenceSettings& settings) const;
    // The alternative for value: the object itself without keys; otherwise the one at
    // the least key at or above value (the settings' key replaces value while their
    // switch is off), or, above every key, the one at the greatest key.
    FrameSequence* Current(f32 value, const SequenceSettings& settings);
    // The layout of the fixed-function path: FLOAT3 POSITION at 0 and FLOAT3 NORMAL at 12
    // in stream 0, then a FLOAT2 element for each of COLOR 0, TEXCOORD 0 and TEXCOORD 1
    // that this object's own layout has, in that order, at the next offset.
    VertexDeclaration GetFixedLayout() const;
    // The box of the POSITION (usage index 0) element over every vertex; false, leaving
    // the box invalid, without vertices or without that element or its stream's data.
    bool ComputeBounds();
    bool UpdateBounds() override { return ComputeBounds(); }

    // Takes over a MemAlloc block of face adjacency (three u32 face numbers per face).
    void AdoptAdjacency(void* block, u32 bytes);
    const u32* Adjacency() const { return adjacency_; }
    u32 AdjacencyBytes() const { return adjacencyBytes_; }

    VertexStreams vertices;
    ElementArray indices;
    Variants variants;  // key -> alternative; the alternatives are not owned

private:
    u32* adjacency_ = nullptr;
    u32 adjacencyBytes_ = 0;
};
