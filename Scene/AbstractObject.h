// The interface of everything that yields a transform over time: key tracks, whole node
// animations and fixed transforms (a node's base pose) answer GetMatrix at a time and
// the time range they cover, so an animation state can hold any of them through one
// counted handle without knowing which it has.
#pragma once

#include "Core/Matrix.h"
#include "Core/Object.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"

class AbstractObject : public Object {
public:
    // This base answers its own id and then Object's.
    bool QueryType(u32 typeId, void** out) override;
    // The transform at `time`; false, with out untouched, when there is none.
    virtual bool GetMatrix(f32 time, Matrix& out);
    // The times the object covers; false, with out untouched, when it covers none.
    virtual bool GetRange(TimeRange& out);
};

u32 AbstractObjectTypeId();

// The first step of a QueryType override: true, with *out = self, when typeId is own.
inline bool AnswerOwnType(void* self, u32 own, u32 typeId, void** out) {
    if (typeId != own) return false;
    *out = self;
    return true;
}
