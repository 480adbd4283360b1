// The render view's matrix stack and the culling pass. The pass works on one node at a
// time and keeps everything it changes in the view on the C++ stack of that call, so that
// whatever path a call takes out (rejected, occluded, drawn), the view is restored.
#include "Scene/RenderView.h"

#include <new>

#include "Core/Geometry.h"
#include "Core/Log.h"
#include "Core/ProgramObjects.h"
#include "D3d/Application.h"
#include "Effect/BoxVisibility.h"
#include "Effect/LightSet.h"
#include "Effect/Material.h"
#include "Effect/RenderQueue.h"
#include "Scene/Hierarchy.h"

namespace {

u64 g_passCounter = 0;

bool DeviceHasQueries() {
    const Application* app = TheApplication();
    return app && app->SupportsOcclusionQueries();
}

void CountStatistic(const char* key, u32 length, i32 value) {
    StatisticsTable& statistics = TheStatistics();
    if (statistics.enabled == 1) statistics.Add(String::Borrow(key, length), value);
}

// The drawables of a subtree and the node itself: what a rejected or hidden node takes
// out of the frame.
i32 SubtreeWeight(const Hierarchy& node) {
    return TheStatistics().enabled == 1 ? 1 + node.CountNodes(false, true, false) : 0;
}

// Where a node without a box of its own stands: the origin of its drawable's world, or of
// its parent's world before the node's matrices were ever computed.
Box EmptyBoxAt(const Hierarchy& node) {
    const Matrix& at = node.objectWorld.valid ? node.objectWorld : node.parentWorld;
    return Box{at.m[12], at.m[13], at.m[14], 0.0f, 0.0f, 0.0f};
}

}  // namespace

u64 PassCounter() { return g_passCounter; }
u64 NextPass() { return ++g_passCounter; }
void ResetPassCounter() { g_passCounter = 0; }

RenderView::RenderView() : lighting(new (std::nothrow) LightingInfo) { Reset(); }

void RenderView::Reset() {
    for (Matrix& record : stack) {
        record.kind = 0;
        record.valid = 0;
    }
    stack[0] = IdentityMatrix;
    depth = 1;
    overflows = 0;
    warned = 0;
}

bool RenderView::Push(const Matrix& matrix) {
    if (depth >= kStackRecords) {
        ++overflows;
        if (!warned) {
            warned = 1;
            LogWarnings().Write(LOG_SITE("bool __thiscall RenderView::Push(const Matrix &)"))
                .Print("Scene tree deeper than the matrix stack; the nodes below level ")
                .Print(static_cast<i32>(kStackRecords - 1))
                .Print(" are not visited");
        }
        return false;
    }
    stack[depth++] = matrix;
    return true;
}

bool RenderView::PushProduct(const Matrix& m) {
    if (depth >= kStackRecords) return Push(m);  // refused there, with the warning
    stack[depth].Multiply(m, stack[depth - 1]);
    ++depth;
    return true;
}

void RenderView::Pop() {
    if (depth > 1) --depth;
}

bool CullSceneNodes(Hierarchy* node, RenderView& view) {
    if (!node) return true;
    const bool descend = node->children.count > 0 && !(view.flags & kPassNoDescend);
    const bool draw = !(view.flags & kPassNoDraw) && node->object;
    const bool queriesAllowed = view.queue && !(view.flags & kPassNoQueries) && DeviceHasQueries();
    bool query = (node->cullOptions & kCullWithQuery) && queriesAllowed;

    const u8 first = view.firstPass;
    if (first) {
        NextPass();
        view.BeginTraversal();
        if (view.lighting) view.lighting->UpdateKey();
        node->UpdateBounds(view);
        if ((view.flags & kPassRootQuery) && queriesAllowed) query = true;
        CountStatistic("nodes", 5, SubtreeWeight(*node));
        view.firstPass = 0;
    }

    // World refresh of a node that moved or is animated, and of everything below it.
    bool refreshSetHere = false;
    if ((node->flags & kNodeMoved) || node->animTree || (view.flags & kPassRefresh)) {
        node->Animate(view);
        if (view.flags & kPassRefresh) {
            node->parentWorld = view.Top();
        } else {
            view.flags |= kPassRefresh;
            refreshSetHere = true;
        }
        node->objectWorld.Multiply(node->combined, node->parentWorld);
        if (node->kind == kNodeBone) node->finalMatrix.Multiply(node->preMatrix, node->objectWorld);
        node->flags &= ~kNodeMoved;
    }
    auto leave = [&]() {
        view.firstPass = first;
        if (refreshSetHere) view.flags &= ~kPassRefresh;
    };

    Box worldBox = EmptyBoxAt(*node);
    if (node->IsValid()) Bounded::Transform(worldBox, node->box, node->parentWorld);

    i32 classification = kBoxOutside;
    node->culled = 0;
    if (node->IsValid() && !(view.flags & kPassNoFrustum) && !node->properties.children.Contains(String::Borrow("NoCull", 6))) {
        classification = FrustumTestBox(worldBox, view.camera.GetFrustum());
        if (classification == kBoxOutside) {
            node->culled = 1;
            CountStatistic("clipped", 7, SubtreeWeight(*node));
            leave();
            return true;
        }
    }

    bool occluded = false;
    u32 pixels = 0;
    if (query && node->query.GetData(pixels) && pixels == 0) {
        occluded = true;
        CountStatistic("occluded", 8, SubtreeWeight(*node));
        // From inside its box (or within the near distance of it) a node hides the wall
        // that hid it: draw it.
        const f32 nearSize = 2.0f * view.camera.GetNear();
        const Vec3 eye = view.camera.GetEye();
        const Box cameraBox{eye.x, eye.y, eye.z, nearSize, nearSize, nearSize};
        if (ClassifyBox(worldBox, cameraBox) != kBoxOutside) occluded = false;
    }

    const u32 keptQueueValue = view.queueValue;

    RenderItem* item = nullptr;
    RenderContext* context = nullptr;
    if (occluded || draw) {
        if (view.queue) {
            item = new (std::nothrow) RenderItem;
            if (item) {
                item->occlusion = query ? 1 : 0;
                item->query = &node->query;
                context = &item->context;
            }
        } else {
            context = &node->context;
        }
        if (context) context->box = worldBox;
    }

    RefHandle<LightingInfo> gathered;
    i32 gather = 0;
    if ((draw || descend) && node->kind != kNodeBone && !view.extraLights && !(view.flags & kPassViewLighting) &&
        view.lighting) {
        gathered = RefHandle<LightingInfo>(new (std::nothrow) LightingInfo);
        if (gathered) gather = LightSet::GatherForNode(*view.lighting.Get(), *gathered.Get(), worldBox);
    }

    if (occluded) {
        // The box is drawn inside the query instead of the drawable; the subtree waits
        // until the query sees it again.
        if (item) view.queue->Submit(item);
        view.queueValue = keptQueueValue;
        leave();
        return true;
    }

    if (draw && context) {
        if (node->faceAxes[0] || node->faceAxes[1] || node->faceAxes[2]) node->FaceCamera(view.camera, node->objectWorld);
        Material* material = view.overrideMaterial ? view.overrideMaterial : &node->material;
        if (item) {
            item->drawable = node->object;
            item->priority = (view.flags & kPassDrawOrderOverride) ? view.drawOrderOverride : node->drawOrder;
            item->material = material;
        }
        context->overrideEffect = view.contextTag;
        context->sceneFlags = view.flags;
        context->SetTicks(view.time);
        if (QueryAs<DrawItem>(node->object, DrawNodeTypeId())) {
            context->world = node->objectWorld;
            context->SetCamera(view.camera);
            context->inverseWorld.valid = 0;
            if (view.flags & kPassViewLighting)
                context->lighting = view.lighting;
            else if (view.extraLights)
                context->lighting = view.extraLights;
            else
                context->lighting = gathered;
        }
        if (item) {
            view.queue->Submit(item);
            item = nullptr;
        } else {
            RenderContext* previous = material->context;
            material->context = context;
            node->object->Draw(material);
            material->context = previous;
        }
    }
    delete item;  // made for a draw that did not happen (no drawable to queue)

    if (descend) {
        bool pushed = true;
        if (view.flags & kPassRefresh)
            pushed = node->objectMatrix.kind == Identity ? view.Push(node->objectWorld) : view.PushProduct(node->localMatrix);
        if (pushed) {
            const RefHandle<LightingInfo> savedLighting = view.lighting;
            if (gather == 1) view.lighting = gathered;
            if (gather == 2) view.extraLights = gathered;
            if (classification == kBoxInside) view.flags |= kPassNoFrustum;
            ChildMap::Node* entry = node->children.first;
            for (u32 i = 0; i < node->children.count; ++i, entry = entry->next) CullSceneNodes(entry->value, view);
            if (classification == kBoxInside) view.flags &= ~kPassNoFrustum;
            if (gather == 2) view.extraLights.Release();
            view.lighting = savedLighting;
            if (view.flags & kPassRefresh) view.Pop();
        }
    }

    view.queueValue = keptQueueValue;
    leave();
    return true;
}
