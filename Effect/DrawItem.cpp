#include "Effect/DrawItem.h"

u32 DrawItemTypeId() { return TypeIdOf<DrawItem>(); }

namespace {
struct DrawNodeTag {};
}  // namespace

u32 DrawNodeTypeId() { return TypeIdOf<DrawNodeTag>(nullptr); }

DrawItem* DrawItem::Clone() { return nullptr; }

void DrawItem::SetFlag() { state = 1; }

bool DrawItem::QueryType(u32 typeId, void** out) {
    if (typeId == DrawItemTypeId()) {
        *out = this;
        return true;
    }
    return Object::QueryType(typeId, out);
}
