// One queued draw: a drawable with its material and its own copy of the view's context.
// The queue owns the item from Submit until it is cleared; releasing the item drops its
// reference to the lighting information.
#pragma once

#include "Core/Types.h"
#include "Effect/RenderContext.h"

class DrawItem;
class Material;
class OcclusionQuery;

struct RenderItem {
    u8 occlusion = 0;  // drawn inside the occlusion query of its scene node
    i32 priority = 0;  // orders overlapping transparent items
    OcclusionQuery* query = nullptr;  // the query of the item's scene node, which outlives the item
    DrawItem* drawable = nullptr;  // null: an occlusion-only item whose box is drawn
    Material* material = nullptr;
    RenderContext context;
};
