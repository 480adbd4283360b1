// The engine's drawable mesh: a geometry description, a Geometry built from it and shared
// by the mesh's clones, an optional level-of-detail table (a float-keyed sequence of
// geometry parts whose key is the mesh's projected size on screen), and a cache of the
// geometry made per part and per vertex layout of the drawing effect, so that each pair
// is laid out and looked up in the geometry cache once.
//
// Draw draws one pass per material layer (or one with the context's override effect):
// the fixed-function path runs the material's set-up operations and draws; the effect path
// opens and closes the effect by the context's batch flags, so that consecutive items of
// one single-pass effect select its technique once and end it once. Pre-transformed
// vertices are drawn with fog off, and fog is back on whichever way Draw returns.
#pragma once

#include "Effect/DrawItem.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryCache.h"

class Effect;
class FrameSequence;
class Material;
struct RenderContext;

class MeshObject : public DrawItem {
public:
    MeshObject() = default;
    ~MeshObject() override;
    MeshObject(const MeshObject&) = delete;
    MeshObject& operator=(const MeshObject&) = delete;

    // A new mesh with the same part table, the same shared geometry, and copies of the
    // description and the named properties.
    DrawItem* Clone() override;
    // True when every step succeeded; false at once without a material or a context.
    bool Draw(Material* material) override;
    // The geometry's bounds: the part table's box when there is a table (computed when it
    // has none yet). Without geometry, or without a table to read a box from, the bounds
    // are not valid and the answer is false.
    bool UpdateBounds() override;
    // Also answers DrawNodeTypeId with its drawable part: a mesh is placed by its node.
    bool QueryType(u32 typeId, void** out) override;

    // Takes desc as the mesh's description, makes a new shared geometry (the old one is
    // released) and returns Geometry::Create's result.
    bool CreateGeometry(const GeometryDesc& desc);
    GeometryRef GetGeometry() const { return geometry; }
    const GeometryDesc& GetGeometryDesc() const { return description; }
    GeometryDesc& GetGeometryDesc() { return description; }
    // Not owned; it must outlive the mesh and every geometry made from it.
    void SetPartTable(FrameSequence* table) { partTable = table; }
    FrameSequence* GetPartTable() const { return partTable; }
    // The (part, layout) pairs the draw cache holds.
    u32 DrawCacheCount() const;

protected:
    // The key that chooses the part and the material variant of a draw: the mesh's
    // projected size while either has keys, else 0.
    f32 SelectionKey(const Material& material, const RenderContext& context) const;
    // The part of the table a key chooses (the table itself without keys); null without
    // a table.
    FrameSequence* PartFor(f32 key) const;

    // Geometry per vertex layout of the drawing effect (null: the fixed-function path).
    using DrawCache = OrderedMap<const VertexDeclaration*, GeometryRef, AddressOrder<VertexDeclaration>>;
    using PartCache = OrderedMap<const FrameSequence*, DrawCache*, AddressOrder<FrameSequence>>;

    // Replaces the mesh's geometry with one dynamic vertex buffer of vertexCount vertices
    // of a fixed-function format, drawn as primitiveType, whose user writes it before
    // every draw: the buffer starts with no range handed out, so each draw takes a range of
    // exactly the vertices it writes and draws those and nothing older. The description
    // takes the layout. False, with no geometry left, when the buffer cannot be made.
    bool CreateDynamicGeometry(u32 vertexCount, u32 usage, u32 fvf, u32 primitiveType);

    // The geometry of a part for an effect (null: fixed function), from the draw cache or
    // laid out and looked up now; empty when the geometry cache has none to give.
    GeometryRef PartGeometry(FrameSequence* part, const Effect* effect);

private:
    void ClearDrawCache();

protected:
    FrameSequence* partTable = nullptr;
    GeometryDesc description;
    GeometryRef geometry;

private:
    PartCache drawCache;
};
