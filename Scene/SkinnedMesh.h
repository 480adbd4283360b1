// A mesh whose vertices follow bones. Before each draw the bind pose of the source mesh is
// blended on the processor with the bones' current matrices (SkinKernel) and written into
// the dynamic vertex buffer that the ordinary mesh draw then draws; that buffer belongs to
// the geometry the mesh's part and the drawing effect's layout select, so meshes with the
// same source and layout share it.
//
// Passes that need the pose in another layout should not pay for another blend: a pass
// with keep bits stores the blended pose, blends at most once per skin interval, and
// otherwise copies the kept pose into its target (or leaves a target alone that already
// holds it, unless the target lies in system memory); a restore pass only copies. A copy
// needs a pose to copy: until a keeping pass has blended one, a restore blends instead of
// reading an empty pose.
//
// Bones are bound all or none: a mesh holds a matrix for every bone name of its skin, or
// no matrix at all, and a mesh without bones blends and copies nothing and reports false
// (it still draws whatever its buffer holds).
#pragma once

#include "Core/Array.h"
#include "Core/Matrix.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "D3d/GeometryCache.h"
#include "Effect/MeshObject.h"
#include "Scene/Hierarchy.h"
#include "Scene/SkinKernel.h"

class FrameSequence;
class SkinData;

u32 SkinnedMeshTypeId();

class SkinnedMesh : public MeshObject, public BoneBound {
public:
    SkinnedMesh();
    ~SkinnedMesh() override;

    // The source mesh (the part table) and its skin; neither is owned. The skin is checked
    // against the source once, here: a skin that does not fit it blends nothing.
    void SetSource(FrameSequence* source, const SkinData* skin);
    const SkinData* GetSkin() const { return skin_; }
    // Milliseconds between two blends of passes that keep the pose.
    void SetSkinInterval(i64 milliseconds) { interval_ = milliseconds; }
    i64 GetSkinInterval() const { return interval_; }

    // Binds each bone name of the skin to the final matrix of the node of that name under
    // root (any letter case, depth first), and brings root's subtree up to date before
    // each blend. All or none: one missing name leaves the mesh without bones, and false.
    bool BindBones(Hierarchy* root) override;
    Hierarchy* GetBoneRoot() const { return boneRoot_; }
    // One matrix per bone name of the skin, read at every blend (they must outlive the
    // mesh or be bound again), with no root to update; all or none: a count that does not
    // match, or a null entry, leaves the mesh without bones and answers false.
    bool SetBoneMatrices(const Matrix* const* matrices, u32 count);
    u32 BoneCount() const { return static_cast<u32>(bones_.count); }
    const Matrix* BoneMatrix(u32 bone) const {
        return bone < u32(bones_.count) ? bones_[static_cast<i32>(bone)] : nullptr;
    }
    bool HasKeptPose() const { return poseKept_; }

    // The kernel the mesh blends with; the processor's choice until set.
    void SetKernel(SkinKernel::Kind kind) { kernel_ = kind; }
    SkinKernel::Kind GetKernel() const { return kernel_; }

    // A new mesh with the same source, skin, interval, shared geometry, description and
    // properties, without bones or poses: the caller binds it to its own bones.
    DrawItem* Clone() override;
    bool QueryType(u32 typeId, void** out) override;
    // Blends, restores or skips as the context's pass flags (PassFlags) say, then draws as
    // a mesh; true when every step succeeded.
    bool Draw(Material* material) override;

private:
    struct PoseTime {
        GeometryRef geometry;  // held while the time is remembered
        i64 time = 0;
    };
    using PoseTimes = OrderedMap<const Geometry*, PoseTime, AddressOrder<Geometry>>;
    struct TargetLock;

    // Makes the target resident, locks its first used range of stream 0 (discarding a
    // dynamic buffer outside system memory, whose elements the source shares are then
    // copied in first) and finds the target's elements.
    bool OpenTarget(const GeometryRef& target, TargetLock& lock) const;
    // Animates the bone root's subtree and recomputes its matrices, in a view of its own.
    void UpdateBones(const RenderContext& context) const;
    bool Blend(const GeometryRef& target, u32 passFlags);
    bool CopyCachedPose(const GeometryRef& target);
    void SetPoseTime(const GeometryRef& target, i64 time);
    // Whether the target already holds the kept pose and keeps what is written to it.
    bool HoldsKeptPose(const GeometryRef& target) const;

    const SkinData* skin_ = nullptr;
    bool skinSound_ = false;
    Array<const Matrix*> bones_{0, 10};
    Hierarchy* boneRoot_ = nullptr;
    i64 interval_ = 0;
    PoseTimes poseTimes_;
    i64 lastBlend_ = 0;
    Array<SkinVertex> keptPose_{0, 10};
    bool poseKept_ = false;
    SkinKernel::Kind kernel_;
};
