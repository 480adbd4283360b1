#include "Scene/AbstractObject.h"

u32 AbstractObjectTypeId() { return TypeIdOf<AbstractObject>(); }

bool AbstractObject::QueryType(u32 typeId, void** out) {
    return AnswerOwnType(this, AbstractObjectTypeId(), typeId, out) || Object::QueryType(typeId, out);
}

bool AbstractObject::GetMatrix(f32, Matrix&) { return false; }

bool AbstractObject::GetRange(TimeRange&) { return false; }
