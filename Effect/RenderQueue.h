// The render queue: the items the scene's cull finds visible in one frame, sorted and then
// drawn in three runs. First the items grouped by effect (an effect with one pass is begun
// by the first item of its group and ended by the last, so the items between only set
// parameters and draw); then the opaque items, nearest first so that depth testing rejects
// what lies behind, each occlusion item placed among them where its query sees the right
// depth; last the transparent items, farthest first so that blending composes them, with
// a priority that orders overlapping ones.
//
// The queue owns every item from Submit until Clear. Each item carries its own copy of the
// view's context; the queue points the item's material at that copy just before the item
// is drawn and takes it back afterwards, so a material never keeps a pointer into an item
// that is gone.
//
// Collections whose order shows are keyed by what repeats from run to run: effects by
// their creation sequence, lights by their light-set key, distances by value; items of
// one key stay in submission order.
#pragma once

#include "Core/Array.h"
#include "Core/List.h"
#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "Effect/RenderItem.h"

class Effect;
class MeshObject;
class SceneCamera;

using RenderItemList = PtrListOf<RenderItem>;

// The items of one effect, by light-set key (ascending).
struct RenderEffectGroup {
    Effect* effect = nullptr;
    IntMapOf<RenderItemList> byLightKey;

    RenderEffectGroup() { byLightKey.sortedThread = 1; }
};

struct RenderBucket {
    // Whether one-pass items with an effect are grouped by that effect. On from the start:
    // grouping is what lets a one-pass effect be begun once for a whole group.
    u8 groupByEffect = 1;
    IntMapOf<RenderEffectGroup> groups;  // by the effect's creation sequence (ascending)
    RenderItemList plain;                // submission order

    RenderBucket() { groups.sortedThread = 1; }
    // Frees every item of the groups, then of the plain list.
    void Clear();
};

class RenderQueue {
public:
    // Transparent sort keys.
    enum SortMode : u32 {
        kSortByEyeDistance = 0,  // distance from the eye to the box centre
        kSortUnkeyed = 1,        // every item under key 0: submission order
        kSortByRayDistance = 2,  // distance from the box centre to the viewing ray
    };

    // The camera is not owned and may be null (the box of an occlusion item is then drawn
    // with the identity view).
    explicit RenderQueue(SceneCamera* camera = nullptr);
    ~RenderQueue();
    RenderQueue(const RenderQueue&) = delete;
    RenderQueue& operator=(const RenderQueue&) = delete;

    // Files one item, which the queue owns from now on (it must come from new). False, and
    // nothing filed, for a null item.
    bool Submit(RenderItem* item);
    // Draws everything queued; true when every draw succeeded. The items stay queued.
    bool Draw();
    // Frees every queued item: the transparent map, the opaque map, then the buckets.
    void Clear();

    void SetSortMode(u32 mode) { sortMode = mode; }
    u32 GetSortMode() const { return sortMode; }
    void SetGroupByEffect(bool on) { buckets[0].groupByEffect = on ? 1 : 0; }
    bool GetGroupByEffect() const { return buckets[0].groupByEffect != 0; }
    // Items queued, in all collections.
    i32 Count() const;

    // The sort key of a transparent item under the current sort mode.
    f32 TransparentKey(const RenderItem& item) const;

private:
    bool DrawGroups(RenderBucket& bucket);
    bool DrawGroup(Effect* effect, RenderItemList& list);
    bool DrawPlain(RenderItemList& list);
    // Draws one item of the opaque or transparent run, inside its node's occlusion query
    // when it asks for one; an item without a drawable draws its box into depth only.
    bool DrawSorted(RenderItem& item, RenderContext& view);

    RenderBucket buckets[2];  // only bucket 0 is filled and drawn
    SceneCamera* camera = nullptr;
    // Distance to a list of items. Drawn in ascending key order: nearest first.
    FloatMapOf<RenderItemList> opaque;
    // Sort key to a list of items. Drawn in descending key order: farthest first.
    FloatMapOf<RenderItemList> transparent;
    u32 sortMode = kSortByEyeDistance;
};

// The distance from the eye to the box centre.
f32 EyeDistance(const RenderContext& context);
// The distance from the box centre to the ray from the eye along the view's third column
// (the direction the view looks in); the eye distance when the view has no direction.
f32 RayDistance(const RenderContext& context);

// Draws one item with its material: the material is pointed at the item's context for the
// draw (and let go of afterwards). False without a drawable.
bool DrawRenderItem(RenderItem& item);
