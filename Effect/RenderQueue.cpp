// Filing and drawing of the render queue. An item is classified once, at Submit: into the
// transparent map when its material blends, into bucket 0 when its view asks for grouping,
// else into the opaque map. Draw then builds two local draw lists, one per sorted map,
// because occlusion items and overlapping transparent items are placed relative to what is
// already listed, which a map keyed by distance alone cannot express.
#include "Effect/RenderQueue.h"

#include <cmath>

#include "Effect/DrawItem.h"
#include "D3d/OcclusionQuery.h"
#include "Effect/DebugBox.h"
#include "Effect/Effect.h"
#include "Effect/Material.h"
#include "Effect/QueueGeometry.h"

namespace {

// Visits the items of a list filled by PushBack in submission order (the node after
// `current`, the last one pushed, is the first).
template <class Fn>
void ForEachItem(RenderItemList& list, Fn&& fn) {
    if (list.count == 0) return;
    RenderItemList::Node* node = list.current->next;
    for (i32 i = 0; i < list.count; ++i, node = node->next) fn(node->payload);
}

template <class Fn>
void ForEachItem(const RenderItemList& list, Fn&& fn) {
    ForEachItem(const_cast<RenderItemList&>(list), fn);
}

void FreeItems(RenderItemList& list) {
    ForEachItem(list, [](RenderItem* item) { delete item; });
    list.Clear();
}

// Frees the items of a distance map, whatever the walk order.
void FreeItems(FloatMapOf<RenderItemList>& map) {
    auto* node = map.first;
    for (u32 i = 0; i < map.count; ++i, node = node->next) FreeItems(node->value);
    map.Clear();
}

i32 CountItems(const FloatMapOf<RenderItemList>& map) {
    i32 n = 0;
    const auto* node = map.first;
    for (u32 i = 0; i < map.count; ++i, node = node->next) n += node->value.count;
    return n;
}

// Appends the item to the list of its key; equal keys share one list.
void File(FloatMapOf<RenderItemList>& map, f32 key, RenderItem* item) {
    auto* node = map.Find(key);
    if (!node) node = map.Insert(key, RenderItemList());
    if (node) node->value.PushBack(item);
}

// Inserts item into a draw list at index `at`, moving the later ones along.
void InsertAt(Array<RenderItem*>& list, i32 at, RenderItem* item) {
    if (!list.Add(item)) return;
    for (i32 i = list.count - 1; i > at; --i) list[i] = list[i - 1];
    list[at] = item;
}

// Where an item goes by scanning back from the end of the list: right after the first
// listed item that it is not to pass over; at the front when it passes over them all.
template <class PassesOver>
i32 PlaceFromEnd(const Array<RenderItem*>& list, PassesOver&& passesOver) {
    for (i32 i = list.count - 1; i >= 0; --i)
        if (!passesOver(*list[i])) return i + 1;
    return 0;
}

bool Transparent(const RenderItem& item) {
    const Material* material = item.material;
    if (!material) return false;
    if (Effect* effect = item.context.overrideEffect)
        return effect->IsTransparent(material, 0) || material->IsBlended();
    return material->NeedsSorting();
}

// The effect a grouped item is drawn with, when it can be grouped: a drawable and a
// material, no occlusion query (only the sorted runs issue queries), an effect, and one
// pass (an override effect draws one layer; otherwise the material must have one).
Effect* GroupEffect(const RenderItem& item) {
    if (!item.drawable || !item.material || item.occlusion) return nullptr;
    if (Effect* effect = item.context.overrideEffect) return effect;
    if (item.material->layerCount != 1) return nullptr;
    return item.material->FirstEffect();
}

}  // namespace

f32 EyeDistance(const RenderContext& context) {
    const Vec3 centre(context.box.x, context.box.y, context.box.z);
    return Vec3Length(centre - context.eye);
}

f32 RayDistance(const RenderContext& context) {
    const Vec3 toCentre = Vec3(context.box.x, context.box.y, context.box.z) - context.eye;
    const f32* m = context.view.m;
    const Vec3 direction(m[2], m[6], m[10]);
    const f32 lengthSquared = Vec3Dot(direction, direction);
    // A view without a direction has no ray; the distance from the eye is the sound key.
    if (!(lengthSquared > 0.0f)) return Vec3Length(toCentre);
    const f32 along = Vec3Dot(toCentre, direction) / lengthSquared;
    return Vec3Length(toCentre - direction * along);
}

bool DrawRenderItem(RenderItem& item) {
    if (!item.drawable) return false;
    Material* material = item.material;
    if (material) material->context = &item.context;
    const bool ok = item.drawable->Draw(material);
    // The item's context lives only as long as the item: a material left pointing at it
    // would be read after the queue is cleared.
    if (material && material->context == &item.context) material->context = nullptr;
    return ok;
}

void RenderBucket::Clear() {
    auto* group = groups.first;
    for (u32 i = 0; i < groups.count; ++i, group = group->next) {
        auto* list = group->value.byLightKey.first;
        for (u32 j = 0; j < group->value.byLightKey.count; ++j, list = list->next) FreeItems(list->value);
    }
    groups.Clear();
    FreeItems(plain);
}

RenderQueue::RenderQueue(SceneCamera* camera_) : camera(camera_) {
    opaque.sortedThread = 1;
    transparent.sortedThread = 1;
}

RenderQueue::~RenderQueue() { Clear(); }

void RenderQueue::Clear() {
    FreeItems(transparent);
    FreeItems(opaque);
    for (RenderBucket& bucket : buckets) bucket.Clear();
}

i32 RenderQueue::Count() const {
    i32 n = CountItems(opaque) + CountItems(transparent);
    for (const RenderBucket& bucket : buckets) {
        n += bucket.plain.count;
        const auto* group = bucket.groups.first;
        for (u32 i = 0; i < bucket.groups.count; ++i, group = group->next) {
            const auto* list = group->value.byLightKey.first;
            for (u32 j = 0; j < group->value.byLightKey.count; ++j, list = list->next) n += list->value.count;
        }
    }
    return n;
}

f32 RenderQueue::TransparentKey(const RenderItem& item) const {
    switch (sortMode) {
    case kSortByEyeDistance: return EyeDistance(item.context);
    case kSortByRayDistance: return RayDistance(item.context);
    default: return 0.0f;  // unkeyed: one entry, submission order
    }
}

bool RenderQueue::Submit(RenderItem* item) {
    if (!item) return false;
    if (Transparent(*item)) {
        File(transparent, TransparentKey(*item), item);
        return true;
    }
    if (item->context.sceneFlags & kSceneGroupByEffect) {
        RenderBucket& bucket = buckets[0];
        Effect* effect = bucket.groupByEffect ? GroupEffect(*item) : nullptr;
        if (!effect) {
            bucket.plain.PushBack(item);
            return true;
        }
        auto* group = bucket.groups.Find(effect->GetSequence());
        if (!group) group = bucket.groups.Insert(effect->GetSequence(), RenderEffectGroup());
        if (!group) {
            bucket.plain.PushBack(item);
            return true;
        }
        group->value.effect = effect;
        const u32 key = item->context.LightSetKey();
        auto* list = group->value.byLightKey.Find(key);
        if (!list) list = group->value.byLightKey.Insert(key, RenderItemList());
        if (list)
            list->value.PushBack(item);
        else
            bucket.plain.PushBack(item);
        return true;
    }
    File(opaque, EyeDistance(item->context), item);
    return true;
}

bool RenderQueue::DrawGroup(Effect* effect, RenderItemList& list) {
    // An item whose drawable is switched off draws nothing and so neither begins nor ends
    // the effect: it is drawn (to no effect) outside the batch and does not count in it.
    i32 n = 0;
    ForEachItem(list, [&](RenderItem* item) { n += item->drawable->GetFlag() ? 0 : 1; });
    bool ok = true;
    bool batching = false;
    i32 i = 0;
    ForEachItem(list, [&](RenderItem* item) {
        if (item->drawable->GetFlag()) {
            item->context.batchFlags = 0;
            ok = DrawRenderItem(*item) && ok;
            return;
        }
        u32 flags = 0;
        if (n > 1 && i == 0)
            flags = kBatchFirst;
        else if (batching)
            flags = i == n - 1 ? kBatchLast : kBatchInside;
        item->context.batchFlags = flags;
        ok = DrawRenderItem(*item) && ok;
        // The first item left the effect open only when it has a single pass; otherwise it
        // ended it, and every later item begins and ends on its own.
        if (i == 0) batching = effect->GetPassTotal() == 1;
        ++i;
    });
    return ok;
}

bool RenderQueue::DrawPlain(RenderItemList& list) {
    bool ok = true;
    ForEachItem(list, [&](RenderItem* item) {
        item->context.batchFlags = 0;
        ok = DrawRenderItem(*item) && ok;
    });
    return ok;
}

bool RenderQueue::DrawGroups(RenderBucket& bucket) {
    bool ok = true;
    auto* group = bucket.groups.first;
    for (u32 i = 0; i < bucket.groups.count; ++i, group = group->next) {
        auto* list = group->value.byLightKey.first;
        for (u32 j = 0; j < group->value.byLightKey.count; ++j, list = list->next)
            ok = DrawGroup(group->value.effect, list->value) && ok;
    }
    return DrawPlain(bucket.plain) && ok;
}

bool RenderQueue::DrawSorted(RenderItem& item, RenderContext& view) {
    const bool queried = item.occlusion && item.query && item.query->Begin();
    // Without a drawable the item stands for a node hidden last frame: its box is drawn
    // into depth only, so the query tells whether any of it would be seen now.
    const bool ok = item.drawable ? DrawRenderItem(item) : TheDebugBox().DrawDepthOnly(item.context.box, view);
    if (queried) item.query->End();
    return ok;
}

bool RenderQueue::Draw() {
    bool ok = DrawGroups(buckets[0]);

    // Opaque: ascending distance, nearest first. An occlusion item goes back from the end
    // past every item its box overlaps, so that it is drawn before what could hide it
    // behind itself and after what stands apart from it.
    Array<RenderItem*> list;
    auto* entry = opaque.first;
    for (u32 i = 0; i < opaque.count; ++i, entry = entry->next) {
        ForEachItem(entry->value, [&](RenderItem* item) {
            if (!item->occlusion) {
                list.Add(item);
                return;
            }
            const i32 at =
                PlaceFromEnd(list, [&](const RenderItem& listed) { return BoxesOverlap(listed.context.box, item->context.box) != 0; });
            InsertAt(list, at, item);
        });
    }

    RenderContext view;
    if (camera) view.SetCamera(*camera);
    for (RenderItem* item : list) ok = DrawSorted(*item, view) && ok;

    // Transparent: descending key, farthest first. An item passes back over the listed
    // items of greater priority that overlap it, so the higher priority is drawn later.
    list.Resize(0);
    entry = transparent.count ? transparent.first->prev : nullptr;
    for (u32 i = 0; i < transparent.count; ++i, entry = entry->prev) {
        ForEachItem(entry->value, [&](RenderItem* item) {
            const i32 at = PlaceFromEnd(list, [&](const RenderItem& listed) {
                return listed.priority > item->priority && BoxesOverlap(listed.context.box, item->context.box) != 0;
            });
            InsertAt(list, at, item);
        });
    }
    for (RenderItem* item : list) ok = DrawSorted(*item, view) && ok;
    return ok;
}
