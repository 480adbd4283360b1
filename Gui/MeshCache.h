// The window system's shared opaque meshes. Windows draw their quads as meshes; an opaque
// quad whose material and vertex layout equal those of a mesh already cached shares that
// mesh, so a screen of same-looking panels costs one mesh. Each sharer is a holder with
// its own material: the mesh is drawn with the first holder's material, and a holder that
// leaves takes its material out of the cache with it, so a shared mesh never draws with a
// material that died with the window that made the mesh. The last holder to leave deletes
// the mesh. Meshes are kept, and drawn, in the order they were made.
#pragma once

#include "Effect/DrawItem.h"
#include "Core/Types.h"

#include <vector>

class Material;
class MeshObject;
struct GeometryDesc;

u32 MeshCacheTypeId();

class MeshCache : public DrawItem {
public:
    MeshCache() = default;
    MeshCache(const MeshCache&) = delete;
    MeshCache& operator=(const MeshCache&) = delete;
    // Deletes every cached mesh, whoever still holds it.
    ~MeshCache() override;

    // The cached mesh whose material equals `material` and whose layout equals desc's, with
    // one more reference for `holder`. Without one: null unless create, else a new mesh made
    // from desc (null when its geometry cannot be made). Null for a null material.
    MeshObject* Acquire(const GeometryDesc& desc, Material* material, bool create, const void* holder);
    // Drops the holder's reference (any one holder's when holder is null); the last one
    // deletes the mesh. Nothing for a mesh the cache does not hold.
    void Remove(MeshObject* mesh, const void* holder = nullptr);
    // Every cached mesh, with `override` when given, else with its first holder's material;
    // true when every draw succeeded (also when there is nothing to draw).
    bool Draw(Material* override) override;
    // Sets the changed flag and flags every cached mesh as changed.
    void MarkChanged();

    bool Contains(const MeshObject* mesh) const;
    u32 Count() const { return static_cast<u32>(entries_.size()); }
    bool IsChanged() const { return changed_; }
    // Empties the cache, deleting every mesh (tests start from a clean manager).
    void Clear();

    bool QueryType(u32 typeId, void** out) override;

private:
    struct Holder {
        const void* who;
        Material* material;
    };
    struct Entry {
        MeshObject* mesh;
        std::vector<Holder> holders;
    };
    std::vector<Entry> entries_;
    bool changed_ = false;
};
