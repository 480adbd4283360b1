#include "Gui/MeshCache.h"

#include "D3d/Geometry.h"
#include "Effect/Material.h"
#include "Effect/MeshObject.h"

u32 MeshCacheTypeId() { return TypeIdOf<MeshCache>(); }

MeshCache::~MeshCache() { Clear(); }

void MeshCache::Clear() {
    for (Entry& entry : entries_) delete entry.mesh;
    entries_.clear();
}

MeshObject* MeshCache::Acquire(const GeometryDesc& desc, Material* material, bool create, const void* holder) {
    if (!material) return nullptr;
    for (Entry& entry : entries_) {
        // Every holder's material equals the first's, so the first speaks for all.
        if (!entry.holders.front().material->Equals(*material)) continue;
        if (!entry.mesh->GetGeometryDesc().layout.Equals(desc.layout)) continue;
        entry.mesh->AddRef();
        entry.holders.push_back({holder, material});
        return entry.mesh;
    }
    if (!create) return nullptr;
    auto* mesh = new MeshObject;
    mesh->AddRef();
    if (!mesh->CreateGeometry(desc)) {
        delete mesh;
        return nullptr;
    }
    mesh->DrawItem::SetOwner(this);
    entries_.push_back({mesh, {{holder, material}}});
    return mesh;
}

void MeshCache::Remove(MeshObject* mesh, const void* holder) {
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
        if (entry->mesh != mesh) continue;
        std::vector<Holder>& holders = entry->holders;
        auto found = holders.begin();
        if (holder)
            while (found != holders.end() && found->who != holder) ++found;
        if (found == holders.end()) return;  // that holder holds no reference to give back
        holders.erase(found);
        mesh->Release();
        if (holders.empty()) {
            entries_.erase(entry);
            delete mesh;
        }
        return;
    }
}

bool MeshCache::Draw(Material* override) {
    bool ok = true;
    for (Entry& entry : entries_) ok &= entry.mesh->Draw(override ? override : entry.holders.front().material);
    return ok;
}

void MeshCache::MarkChanged() {
    changed_ = true;
    for (Entry& entry : entries_) entry.mesh->SetFlag();
}

bool MeshCache::Contains(const MeshObject* mesh) const {
    for (const Entry& entry : entries_)
        if (entry.mesh == mesh) return true;
    return false;
}

bool MeshCache::QueryType(u32 typeId, void** out) {
    if (typeId == MeshCacheTypeId()) {
        *out = this;
        return true;
    }
    return DrawItem::QueryType(typeId, out);
}
