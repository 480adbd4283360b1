// The draw of a skinned mesh: choose between a blend and a restore, write the target, then
// the ordinary mesh draw. Every write goes through one locked range whose size is checked
// against the source's vertex count first, so a target laid out for another part, or
// made smaller than the source, is refused instead of overrun.
#include "Scene/SkinnedMesh.h"

#include "Core/Timer.h"
#include "D3d/Application.h"
#include "D3d/FrameSequence.h"
#include "D3d/VertexCopyPlan.h"
#include "D3d/VertexStreams.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/RenderView.h"
#include "Scene/SkinData.h"

#include <cstring>
#include <new>
#include <utility>

u32 SkinnedMeshTypeId() { return TypeIdOf<SkinnedMesh>(); }

namespace {

constexpr u32 kFloat3 = 12;
constexpr u32 kPassKeepMask = kPassKeepPose | kPassKeepNormals | kPassKeepTangents;

// The offset of a FLOAT3 element of stream 0 that fits inside the stride; -1 for none
// (an element of another type or stream is none: nothing of three floats can go there).
i32 Float3Element(const VertexDeclaration& layout, u8 usage, u32 stride) {
    const int at = layout.FindUsage(usage, 0);
    if (at < 0) return -1;
    const D3DVERTEXELEMENT9& e = layout.elements[at];
    if (e.Stream != 0 || e.Type != D3DDECLTYPE_FLOAT3 || u32(e.Offset) + kFloat3 > stride) return -1;
    return e.Offset;
}

void Put(u8* vertex, i32 offset, const Vec3& v) {
    if (offset < 0) return;
    const f32 xyz[3] = {v.x, v.y, v.z};
    memcpy(vertex + offset, xyz, sizeof xyz);
}

}  // namespace

struct SkinnedMesh::TargetLock {
    BufferRange* range = nullptr;
    u8* data = nullptr;
    u32 bytes = 0;
    u32 stride = 0;
    i32 position = -1;
    i32 normal = -1;
    i32 tangent = -1;
    i32 binormal = -1;

    ~TargetLock() {
        if (range && data) range->Unlock();
    }
    bool Close() {
        const bool ok = range && data && range->Unlock();
        data = nullptr;
        return ok;
    }
};

SkinnedMesh::SkinnedMesh() : kernel_(SkinKernel::kScalar) {}

SkinnedMesh::~SkinnedMesh() {
    keptPose_.Resize(0);
    poseTimes_.Clear();
    bones_.Resize(0);
}

void SkinnedMesh::SetSource(FrameSequence* source, const SkinData* skin) {
    SetPartTable(source);
    skin_ = skin;
    skinSound_ = source && skin && skin->Validate(*source);
    kernel_ = skin ? SkinKernel::Preferred(*skin, TheCpuFeatures().sse != 0) : SkinKernel::kScalar;
    keptPose_.Resize(0);
    poseKept_ = false;
}

bool SkinnedMesh::BindBones(Hierarchy* root) {
    bones_.Resize(0);
    boneRoot_ = nullptr;
    if (!skin_ || !partTable || !root) return false;
    boneRoot_ = root;
    const u32 count = static_cast<u32>(skin_->boneNames.count);
    Array<const Matrix*> found(static_cast<i32>(count));
    if (found.count != static_cast<i32>(count)) return false;
    for (u32 b = 0; b < count; ++b) {
        const Hierarchy* bone = root->FindNode(skin_->boneNames[static_cast<i32>(b)]);
        if (!bone) return false;
        found[static_cast<i32>(b)] = &bone->GetFinalWorld();
    }
    bones_ = std::move(found);
    return true;
}

void SkinnedMesh::UpdateBones(const RenderContext& context) const {
    RenderView view;
    if (context.sceneFlags & kPassAnimateAtTime) {
        view.flags |= kPassAnimateAtTime;
        view.time = context.GetTicks();
    }
    boneRoot_->UpdateWorld(view);
}

bool SkinnedMesh::SetBoneMatrices(const Matrix* const* matrices, u32 count) {
    bones_.Resize(0);
    boneRoot_ = nullptr;
    if (!skin_ || !partTable || count != u32(skin_->boneNames.count) || (count && !matrices)) return false;
    for (u32 b = 0; b < count; ++b)
        if (!matrices[b]) return false;
    if (!bones_.Resize(static_cast<i32>(count))) return false;
    for (u32 b = 0; b < count; ++b) bones_[static_cast<i32>(b)] = matrices[b];
    return true;
}

DrawItem* SkinnedMesh::Clone() {
    SkinnedMesh* copy = new (std::nothrow) SkinnedMesh;
    if (!copy) return nullptr;
    copy->partTable = partTable;
    copy->geometry = geometry;
    copy->description.Assign(description);
    copy->properties.Assign(properties);
    copy->interval_ = interval_;
    copy->skin_ = skin_;
    copy->skinSound_ = skinSound_;
    copy->kernel_ = kernel_;
    return copy;
}

bool SkinnedMesh::QueryType(u32 typeId, void** out) {
    if (typeId == SkinnedMeshTypeId()) {
        *out = this;
        return true;
    }
    if (typeId == BoneBoundTypeId()) {
        *out = static_cast<BoneBound*>(this);
        return true;
    }
    return MeshObject::QueryType(typeId, out);
}

bool SkinnedMesh::Draw(Material* material) {
    if (!material || !material->context) return false;
    RenderContext* context = material->context;
    const f32 key = SelectionKey(*material, *context);
    Material* pass = material->keyed.Evaluate(material, key);
    pass->context = context;
    Effect* effect = context->overrideEffect ? context->overrideEffect : pass->layers[0].effect;
    FrameSequence* part = PartFor(key);
    const GeometryRef target = part ? PartGeometry(part, effect) : geometry;

    bool ok = true;
    const u32 flags = context->sceneFlags;
    const bool keep = (flags & kPassKeepMask) != 0;
    const i64 now = static_cast<i64>(Timer::Now());
    bool restore = (keep && now - lastBlend_ < interval_) || (flags & kPassRestorePose);
    // Nothing was kept yet: a copy would read a pose that does not exist.
    if (restore && !poseKept_) restore = false;

    if (!restore) {
        if (boneRoot_ && bones_.count != 0 && !(flags & kPassSkipBoneUpdate)) UpdateBones(*context);
        const bool blended = Blend(target, flags);
        ok = blended && ok;
        if (keep && blended) {
            lastBlend_ = now;
            poseKept_ = true;
            SetPoseTime(target, now);
        }
    } else if (!HoldsKeptPose(target)) {
        ok = CopyCachedPose(target) && ok;
        SetPoseTime(target, lastBlend_);
    }
    return MeshObject::Draw(material) && ok;
}

bool SkinnedMesh::HoldsKeptPose(const GeometryRef& target) const {
    const PoseTimes::Node* node = poseTimes_.Find(target.Get());
    if (!node || node->value.time < lastBlend_) return false;
    const SharedBuffer* buffer = target ? target->GetVertexBuffer(0) : nullptr;
    return buffer && buffer->GetVertexBuffer() && buffer->GetPool() != D3DPOOL_SYSTEMMEM;
}

void SkinnedMesh::SetPoseTime(const GeometryRef& target, i64 time) {
    if (!target) return;
    if (PoseTimes::Node* node = poseTimes_.Find(target.Get())) {
        node->value.time = time;
        return;
    }
    PoseTime entry;
    entry.geometry = target;
    entry.time = time;
    poseTimes_.Insert(target.Get(), entry);
}

bool SkinnedMesh::OpenTarget(const GeometryRef& ref, TargetLock& lock) const {
    if (!ref || !TheGeometryCache().Insert(ref)) return false;
    const Geometry& target = *ref.Get();
    SharedBuffer* buffer = target.GetVertexBuffer(0);
    if (!buffer || !buffer->GetVertexBuffer()) return false;
    BufferRange* range = buffer->GetRanges();
    while (range && range->free) range = range->next;
    if (!range) return false;

    const u32 n = partTable->vertices.vertexCount;
    const u32 stride = target.layout.streamStrides[0];
    if (stride == 0 || buffer->GetStride() != stride || u64(stride) * n > range->size) return false;
    lock.stride = stride;
    lock.bytes = range->size;
    lock.position = Float3Element(target.layout, D3DDECLUSAGE_POSITION, stride);
    lock.normal = Float3Element(target.layout, D3DDECLUSAGE_NORMAL, stride);
    lock.tangent = Float3Element(target.layout, D3DDECLUSAGE_TANGENT, stride);
    lock.binormal = Float3Element(target.layout, D3DDECLUSAGE_BINORMAL, stride);
    if (lock.position < 0) return false;

    // Discarding a dynamic buffer drops its old contents, so the elements the kernels do
    // not write come from the source first.
    const bool discard =
        buffer->GetPool() != D3DPOOL_SYSTEMMEM && (buffer->GetUsage() & D3DUSAGE_DYNAMIC) != 0;
    void* data = nullptr;
    if (!range->Lock(discard ? D3DLOCK_DISCARD : 0, &data) || !data) return false;
    lock.range = range;
    lock.data = static_cast<u8*>(data);
    if (discard) {
        VertexStreams view;
        view.layout.Assign(target.layout);
        view.View(0, data);
        view.vertexCount = n;
        if (!VertexCopyPlan::Build(view, partTable->vertices)) return false;
    }
    return true;
}

bool SkinnedMesh::Blend(const GeometryRef& target, u32 passFlags) {
    if (!target || bones_.count == 0 || !skinSound_) return false;
    TargetLock lock;
    if (!OpenTarget(target, lock)) return false;

    const VertexDeclaration& sourceLayout = partTable->vertices.layout;
    const bool sourceNormal = sourceLayout.FindUsage(D3DDECLUSAGE_NORMAL, 0) >= 0;
    const bool sourceTangent = sourceLayout.FindUsage(D3DDECLUSAGE_TANGENT, 0) >= 0;
    SkinBlendJob job;
    job.skin = skin_;
    job.source = partTable;
    job.bones = bones_.data;
    job.boneCount = static_cast<u32>(bones_.count);
    job.target = lock.data;
    job.targetBytes = lock.bytes;
    job.targetStride = lock.stride;
    job.targetPosition = lock.position;
    job.targetNormal = lock.normal;
    // Tangents and binormals are written only where the source has them too.
    job.targetTangent = sourceTangent ? lock.tangent : -1;
    job.targetBinormal = sourceTangent ? lock.binormal : -1;
    job.blendNormals = lock.normal >= 0 || ((passFlags & kPassKeepNormals) && sourceNormal);
    job.blendTangents = sourceTangent && (lock.tangent >= 0 || (passFlags & kPassKeepTangents));
    if (passFlags & kPassKeepMask) {
        if (!keptPose_.Resize(static_cast<i32>(partTable->vertices.vertexCount))) return false;
        job.keep = keptPose_.data;
    }
    const bool blended = SkinKernel::Blend(kernel_, job);
    return lock.Close() && blended;
}

bool SkinnedMesh::CopyCachedPose(const GeometryRef& target) {
    if (!target || bones_.count == 0 || !skinSound_) return false;
    const u32 n = partTable->vertices.vertexCount;
    if (!poseKept_ || u32(keptPose_.count) != n) return false;
    TargetLock lock;
    if (!OpenTarget(target, lock)) return false;
    const bool tangents = lock.tangent >= 0 && partTable->vertices.layout.FindUsage(D3DDECLUSAGE_TANGENT, 0) >= 0;
    for (u32 v = 0; v < n; ++v) {
        const SkinVertex& kept = keptPose_[static_cast<i32>(v)];
        u8* to = lock.data + u64(v) * lock.stride;
        if (tangents) {
            Put(to, lock.tangent, kept.tangent);
            Put(to, lock.binormal, kept.binormal);
        }
        Put(to, lock.normal, kept.normal);
        Put(to, lock.position, kept.position);
    }
    return lock.Close();
}
