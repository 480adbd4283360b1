// One drawing pass over a tree of scene nodes: a stack of parent matrices, the camera, the
// lights in effect, the render queue that receives what is visible, and pass flags.
//
// CullSceneNodes walks the tree once per pass. It refreshes the world matrices of nodes
// that changed or are animated, rejects nodes outside the frustum (a subtree wholly inside
// is not tested again below), skips nodes whose occlusion query saw no pixels last frame
// (they are queued as query-only items so the next frame learns whether they came back),
// gathers the lights that reach each node for its subtree, and hands a render item for
// each visible drawable to the queue, or draws it at once without a queue.
//
// The stack holds 100 records. A tree deeper than that is cut where the stack is full: the
// subtree below is not visited (one warning per pass) rather than written past the stack.
//
// Every call restores what it changed in the view (depth, flags, lighting, queue value,
// first-pass flag), so a nested pass leaves the view as it found it.
#pragma once

#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/Types.h"
#include "Effect/LightingInfo.h"
#include "Effect/SceneCamera.h"

class Effect;
class Hierarchy;
class Material;
class RenderQueue;

// Bits of RenderView::flags. The whole word travels in each render context's scene flags,
// where 0x40 is the queue's own "group by effect": the pass keeps clear of it.
enum PassFlags : u32 {
    kPassAnimateAtTime = 0x1,      // animate at the view's time; fixed bounds recomputed too
    kPassNoFrustum = 0x2,          // no frustum test (set below a node wholly inside)
    kPassNoDraw = 0x4,             // submit no drawables: traverse only
    kPassNoDescend = 0x8,          // only the node passed in
    kPassViewLighting = 0x10,      // every node uses the view's lighting; nothing gathered
    kPassRootQuery = 0x20,         // the root of the pass draws inside its query
    kPassSkipBoneUpdate = 0x80,    // skinned meshes do not bring their bones up to date
    kPassDrawOrderOverride = 0x100,  // every item takes the view's draw order
    kPassKeepPose = 0x200,         // skinned meshes keep their blended pose
    kPassKeepNormals = 0x400,      // and blend normals into it even when not drawn
    kPassKeepTangents = 0x800,     // and tangents and binormals
    kPassRestorePose = 0x1000,     // skinned meshes copy the kept pose instead of blending
    kPassRefresh = 0x2000,         // a world refresh is under way in this subtree
    kPassNoQueries = 0x4000,       // no occlusion queries
};

class RenderView {
public:
    static constexpr i32 kStackRecords = 100;

    RenderView();
    ~RenderView() = default;
    RenderView(const RenderView&) = delete;
    RenderView& operator=(const RenderView&) = delete;

    // Every record's kind and valid words 0, record 0 the identity, depth 1.
    void Reset();
    // Copies the matrix onto the stack. False, with one warning per pass and nothing
    // written, when the stack is full.
    bool Push(const Matrix& matrix);
    // m x the top record onto the stack (valid); false when the stack is full.
    bool PushProduct(const Matrix& m);
    // Drops the top record; record 0 stays.
    void Pop();
    const Matrix& Top() const { return stack[depth - 1]; }
    i32 Depth() const { return depth; }
    // Pushes that failed since the view was made or last reset.
    i32 Overflows() const { return overflows; }

    Matrix stack[kStackRecords];
    i32 depth = 1;
    SceneCamera camera;
    u32 flags = 0;
    f32 time = 0.0f;
    i32 drawOrderOverride = 0;
    RefHandle<LightingInfo> lighting;
    Material* overrideMaterial = nullptr;
    Effect* contextTag = nullptr;  // the override effect handed to every render context
    u32 queueValue = 0;            // kept and restored by the pass; nothing reads it
    RenderQueue* queue = nullptr;
    u8 firstPass = 1;
    RefHandle<LightingInfo> extraLights;

private:
    friend bool CullSceneNodes(Hierarchy* node, RenderView& view);
    friend class Hierarchy;
    // Called by the outermost call of a traversal: the next overflow warns again.
    void BeginTraversal() { warned = 0; }

    i32 overflows = 0;
    u8 warned = 0;
};

// The culling pass over node's subtree; always true.
bool CullSceneNodes(Hierarchy* node, RenderView& view);

// The program-wide count of drawing passes, raised by the outermost call of each
// traversal; animated nodes compare it to evaluate once per pass.
u64 PassCounter();
u64 NextPass();
// For tests.
void ResetPassCounter();
