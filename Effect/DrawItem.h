// The drawable interface that meshes and the window system's drawable items share. Its
// Object and Bounded parts are virtual bases, so a class that is drawable through more
// than one path still has one reference count and one box. It sits with the materials,
// because drawing is always drawing with one; the foundation below knows neither.
#pragma once

#include "Core/Bounded.h"
#include "Core/HandleParam.h"
#include "Core/Object.h"

class Material;

u32 DrawItemTypeId();
// The drawables a scene node places in the world (meshes and what derives from them): the
// culling pass gives them the node's world matrix, the camera and the gathered lights.
u32 DrawNodeTypeId();

class DrawItem : public virtual Object, public virtual Bounded {
public:
    DrawItem() = default;
    ~DrawItem() override = default;

    // A new copy of the item; the base has nothing to copy from and returns null.
    virtual DrawItem* Clone();
    virtual bool IsSpecial() const { return false; }
    // Draws with the material; true when every step succeeded.
    virtual bool Draw(Material* material) = 0;
    virtual void SetFlag();

    bool GetFlag() const { return state != 0; }
    void SetOwner(Object* owner_) { owner = owner_; }
    Object* GetOwner() const { return owner; }

    bool QueryType(u32 typeId, void** out) override;

    HandleParam properties;
    Object* owner = nullptr;
    u8 state = 0;
};
