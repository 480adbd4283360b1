// The node of the scene graph. A model loads into a tree of nodes; each has a name, a
// parent link, its children keyed by name (case-insensitively), a local transform for
// itself and its children, an object transform for its drawable alone, an optional
// drawable it usually owns, a material, user properties, an occlusion query, a render
// context for drawing without a queue and an optional animation tree.
//
// Two traversals run over a tree every frame with a RenderView: UpdateWorld animates every
// node and recomputes its world matrices, and the culling pass (CullSceneNodes) refreshes
// the nodes that changed, rejects what is hidden and submits what is visible. Animate runs
// at most once per value of the program-wide pass counter, so the bounds pass and the
// culling pass that follows it evaluate an animation once between them.
//
// A node owns its whole subtree. A child added under a name another child already holds
// takes over the lookup, and the child it displaced stays owned by the parent (out of the
// map, no longer visited by name or by the traversals) until the parent goes: nothing is
// ever dropped on the floor.
#pragma once

#include "Core/Bounded.h"
#include "Effect/DrawItem.h"
#include "Core/HandleParam.h"
#include "Core/List.h"
#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "D3d/OcclusionQuery.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/AnimState.h"
#include "Scene/NodeTransform.h"

class Hierarchy;
class RenderView;
class SceneCamera;

// Bits of Hierarchy::cullOptions.
enum NodeCullOptions : u32 {
    kCullWithQuery = 1,       // drawn inside the node's occlusion query
    kCullExplicitBounds = 4,  // the box is the explicit bounds, not the drawable's
};

// Bits of Hierarchy::flags.
enum NodeFlags : u32 {
    kNodeChanged = 1,      // the bounds must be recomputed
    kNodeBoundsLive = 2,   // with kNodeBoundsFixed: recompute the fixed bounds all the same
    kNodeBoundsFixed = 4,  // the bounds are kept as they are (unless the view animates at its time)
    kNodeMoved = 8,        // a transform changed since the last cull
};

// Node kinds.
inline constexpr i32 kNodePlain = -1;
inline constexpr i32 kNodeBone = -2;

// Clone flags.
enum NodeCloneFlags : u32 {
    kCloneNoChildren = 1,     // the clone has no children
    kCloneShareDrawable = 2,  // the clone draws the source's drawable without owning it
};

// The modes of PlayAnimation.
enum PlayMode : i32 {
    kPlayReplace = 0,    // the new tree replaces the current one
    kPlayLayer = 1,      // layered with the current one
    kPlayCrossFade = 2,  // cross-faded from or to the current one
};

// A drawable that follows nodes of a tree other than its own (a skinned mesh follows its
// bones). Clone asks a cloned drawable for this part by BoneBoundTypeId and binds it to
// the bones of the new tree; the drawable answers with this part from its QueryType.
class BoneBound {
public:
    virtual ~BoneBound() = default;
    // Finds every bone it needs under root; all or none: false leaves it bound to nothing.
    virtual bool BindBones(Hierarchy* root) = 0;
};
u32 BoneBoundTypeId();

// Children by name, without regard to case.
using ChildMap = OrderedMap<String, Hierarchy*, StringOrderNoCase>;
// Named shared animations and saved poses.
using AnimationTable = HandleList<AbstractObject>;
using PoseTable = HandleList<NodeTransform>;

class Hierarchy : public Bounded {
public:
    Hierarchy();
    ~Hierarchy() override;
    Hierarchy(const Hierarchy&) = delete;
    Hierarchy& operator=(const Hierarchy&) = delete;

    // ---- the tree ----
    String GetName() const { return name; }
    // Keeps the node in its parent under the new name (where it wins the lookup).
    void Rename(const String& newName);
    // Files child under its name, after the map's cursor, and makes this node its parent.
    // A child that held the name is displaced: still owned here, reachable by no lookup.
    // A child of another parent is taken out of that parent first. False for null, for the
    // node itself and for one of its ancestors (which would make the tree a ring).
    bool AddChild(Hierarchy* child);
    // Takes the child of that name out of the map without destroying it: it is marked
    // moved and has no parent afterwards. False when no child has the name.
    bool RemoveChild(const String& childName);
    // A direct child by name, or null.
    Hierarchy* FindChild(const String& childName) const;
    // Depth first: this node when its name matches, else the first match in each child's
    // subtree in child order; null when none matches.
    Hierarchy* FindNode(const String& nodeName);
    ChildMap& GetChildren() { return children; }
    Hierarchy* GetParent() const { return parent; }
    // Children displaced by a later child of the same name, still owned by this node.
    i32 DisplacedCount() const { return displaced.count; }

    // ---- transforms ----
    // With change set: the node and its bounds are marked changed first, and every
    // ancestor's bounds too.
    NodeTransform& GetTransform(bool change);
    NodeTransform& GetObjectTransform(bool change);
    // true: marks the bounds of this node and of every ancestor changed; false: clears
    // the mark on this node only.
    void SetChanged(bool changed);
    void SetPreMatrix(const Matrix& matrix) { preMatrix = matrix; }
    const Matrix& GetFinalWorld() const { return finalMatrix; }
    const Matrix& GetObjectWorld() const { return objectWorld; }
    const Matrix& GetParentWorld() const { return parentWorld; }
    const Matrix& GetLocalMatrix() const { return localMatrix; }
    const Matrix& GetCombined() const { return combined; }
    const Matrix& GetPreMatrix() const { return preMatrix; }

    // ---- the drawable and what draws it ----
    // Deletes the current drawable when owned, then holds the new one and owns it.
    void SetObject(DrawItem* drawable);
    DrawItem* GetObject() const { return object; }
    bool OwnsObject() const { return ownsObject != 0; }
    Material& GetMaterial() { return material; }
    OcclusionQuery& GetOcclusionQuery() { return query; }
    Box& GetBoundsBox() { return explicitBounds; }
    RenderContext& GetRenderContext() { return context; }
    HandleParam& GetProperties() { return properties; }
    void SetKind(i32 value) { kind = value; }
    i32 GetKind() const { return kind; }
    void SetDrawOrder(i32 value) { drawOrder = value; }
    i32 GetDrawOrder() const { return drawOrder; }
    // Sets each face axis whose letter ("X", "Y", "Z") the text contains, in any case.
    void SetFaceAxes(const String& axes);
    // Turns the drawable's world matrix to face the camera as the face axes say: all
    // three take the camera's direction and up, X and Y alone its direction levelled.
    // A matrix that cannot be split into a frame is left as it was.
    void FaceCamera(SceneCamera& camera, Matrix& world) const;

    // ---- poses and animation ----
    PoseTable& GetNodePoses() { return nodePoses; }
    PoseTable& GetObjectPoses() { return objectPoses; }
    AnimationTable& GetAnimations() { return animations; }
    // Files an animation under a name, replacing one filed under the same name.
    void AddAnimation(const String& clip, const RefHandle<AbstractObject>& animation);
    // The animation filed under that name (empty when none is).
    RefHandle<AbstractObject> FindAnimation(const String& clip) const;
    RefHandle<NodeTransform> FindNodePose(const String& pose) const;
    // Copies the saved pose of that name into the local transform, and the saved object
    // pose into the object transform (or resets it when only the node pose exists); with
    // recursive, the same in every child.
    void ApplyPose(const String& pose, bool recursive);
    // A tree of animation states shaped like request, each leaf holding this node's
    // animation and base pose of the leaf's name, every state started now. Null for a
    // null request or when memory runs out.
    AnimState* BindAnimation(const AnimRequest* request);
    // Binds request here and joins it with the current tree as the mode says, then does
    // the same in every child. With mode 2, fadeMs is the cross-fade's duration.
    void PlayAnimation(const AnimRequest* request, i32 mode, bool currentFirst, f32 fadeMs);
    AnimState* GetAnimationTree() const { return animTree; }
    // Evaluates the local, object and combined matrices once per pass.
    void Animate(RenderView& view);

    // ---- the passes ----
    // Animates the subtree and recomputes every world matrix through the view's stack.
    bool UpdateWorld(RenderView& view);
    // Recomputes the boxes of the changed part of the subtree, in the parent's space.
    void UpdateBounds(RenderView& view);
    using Bounded::UpdateBounds;
    // UpdateBounds with a view and a pass of its own.
    bool ComputeBounds();
    // Nodes of the subtree (this one included) that are bones (bones), have a drawable
    // (objects), or all of them (all).
    i32 CountNodes(bool bones, bool objects, bool all) const;

    // A copy of the node (and, unless kCloneNoChildren, of its subtree), each child with
    // its parent link. A cloned drawable that follows bones is bound to the bones under
    // boneRoot; with a null boneRoot, to those under the new root once the whole clone
    // stands. The animation tree and the world matrices are not copied; the new root has
    // no parent. Null when memory runs out.
    Hierarchy* Clone(Hierarchy* boneRoot, u32 cloneFlags);

    // ---- fields (the loader and the passes read and write them directly) ----
    u32 cullOptions = 0;
    HandleParam properties;
    u32 flags = kNodeChanged | kNodeMoved;
    Box explicitBounds;
    OcclusionQuery query;
    i32 drawOrder = 0;
    ChildMap children;
    Hierarchy* parent = nullptr;
    String name;
    i32 kind = kNodePlain;
    u8 culled = 0;
    AnimState* animTree = nullptr;
    AnimationTable animations;
    PoseTable nodePoses;
    PoseTable objectPoses;
    NodeTransform transform;
    Matrix parentWorld = IdentityMatrix;
    Matrix objectWorld{};
    Matrix localMatrix{};
    Matrix combined{};
    Matrix objectMatrix{};
    // Identity until set: a node that is no bone still has a defined final matrix.
    Matrix preMatrix = IdentityMatrix;
    Matrix finalMatrix{};
    NodeTransform objectTransform;
    Material material;
    u8 ownsObject = 1;
    DrawItem* object = nullptr;
    RenderContext context;
    RefHandle<Object> shared;  // released with the node
    u8 faceAxes[3] = {0, 0, 0};
    u64 lastAnimated = 0;

private:
    // Takes child out of this node's map or displaced list, wherever it is held.
    void Detach(Hierarchy* child);
    Hierarchy* CloneTree(Hierarchy* boneRoot, u32 cloneFlags, PtrListOf<BoneBound>& unbound);
    void ReplaceTree(AnimState* tree);

    PtrListOf<Hierarchy> displaced;
};

// Allocates a fresh node into *slot; false (slot cleared) when memory runs out.
bool CreateSceneNode(Hierarchy** slot);
