// The scene node: its tree operations, the world-matrix pass, the bounds pass, cloning and
// the binding of animation requests. The culling pass is in RenderView.cpp.
#include "Scene/Hierarchy.h"

#include <new>

#include "Core/ProgramObjects.h"
#include "Effect/SceneCamera.h"
#include "Scene/DecomposeMatrix.h"
#include "Scene/RenderView.h"

namespace {

struct BoneBoundTag {};

template <class T>
RefHandle<T> FindNamed(const HandleList<T>& table, const String& key) {
    RefHandle<T> found;
    table.ForEach([&](const NamedHandle<T>& entry) {
        if (!found && entry.name == key) found = entry.handle;
    });
    return found;
}

}  // namespace

u32 BoneBoundTypeId() { return TypeIdOf<BoneBoundTag>(nullptr); }

bool CreateSceneNode(Hierarchy** slot) {
    if (!slot) return false;
    *slot = new (std::nothrow) Hierarchy;
    return *slot != nullptr;
}

Hierarchy::Hierarchy() = default;

Hierarchy::~Hierarchy() {
    children.CursorWalk([](const String&, Hierarchy*& child) { delete child; });
    children.Clear();
    while (displaced.count > 0) delete displaced.PopFront();
    if (ownsObject && object) delete object;
    object = nullptr;
    shared.Release();
    delete animTree;
    animTree = nullptr;
}

// ---- the tree ----------------------------------------------------------------------------

void Hierarchy::Detach(Hierarchy* child) {
    ChildMap::Node* entry = children.Find(child->name);
    if (entry && entry->value == child) {
        children.Remove(child->name);
        return;
    }
    displaced.RemoveIf([child](Hierarchy* held) { return held == child; });
}

bool Hierarchy::AddChild(Hierarchy* child) {
    if (!child) return false;
    for (const Hierarchy* up = this; up; up = up->parent)
        if (up == child) return false;
    if (child->parent) child->parent->Detach(child);
    ChildMap::Node* entry = children.Find(child->name);
    if (entry) {
        // The earlier child loses the name but not its owner.
        if (!displaced.PushBack(entry->value)) return false;
        entry->value = child;
        children.cursor = entry;
    } else if (!children.Insert(child->name, child)) {
        return false;
    }
    child->parent = this;
    return true;
}

bool Hierarchy::RemoveChild(const String& childName) {
    ChildMap::Node* entry = children.Find(childName);
    if (!entry) return false;
    Hierarchy* child = entry->value;
    children.Remove(childName);
    child->flags |= kNodeMoved;
    child->parent = nullptr;
    return true;
}

void Hierarchy::Rename(const String& newName) {
    Hierarchy* owner = parent;
    if (!owner) {
        name = newName;
        return;
    }
    owner->Detach(this);
    parent = nullptr;
    name = newName;
    if (!owner->AddChild(this)) {
        // Out of memory: stay owned by the parent all the same.
        if (owner->displaced.PushBack(this)) parent = owner;
    }
}

Hierarchy* Hierarchy::FindChild(const String& childName) const {
    const ChildMap::Node* entry = children.Find(childName);
    return entry ? entry->value : nullptr;
}

Hierarchy* Hierarchy::FindNode(const String& nodeName) {
    if (StringOrderNoCase()(name, nodeName) == 0) return this;
    Hierarchy* found = nullptr;
    const ChildMap::Node* entry = children.first;
    for (u32 i = 0; i < children.count && !found; ++i, entry = entry->next) found = entry->value->FindNode(nodeName);
    return found;
}

// ---- transforms --------------------------------------------------------------------------

void Hierarchy::SetChanged(bool changed) {
    if (!changed) {
        flags &= ~kNodeChanged;
        return;
    }
    for (Hierarchy* node = this; node; node = node->parent) node->flags |= kNodeChanged;
}

NodeTransform& Hierarchy::GetTransform(bool change) {
    if (change) {
        flags |= kNodeChanged | kNodeMoved;
        SetChanged(true);
    }
    return transform;
}

NodeTransform& Hierarchy::GetObjectTransform(bool change) {
    if (change) {
        flags |= kNodeChanged | kNodeMoved;
        SetChanged(true);
    }
    return objectTransform;
}

// ---- the drawable --------------------------------------------------------------------------

void Hierarchy::SetObject(DrawItem* drawable) {
    if (ownsObject && object && object != drawable) delete object;
    object = drawable;
    ownsObject = 1;
}

void Hierarchy::SetFaceAxes(const String& axes) {
    static const char* const kLetters[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i)
        if (axes.FindNoCase(String::Borrow(kLetters[i], 1), false) >= 0) faceAxes[i] = 1;
}

void Hierarchy::FaceCamera(SceneCamera& camera, Matrix& world) const {
    Vec3 position;
    Vec3 direction;
    Vec3 up;
    Vec3 scale;
    // A matrix that is no frame has no position or orientation to turn.
    if (!DecomposeMatrix(world, position, direction, up, scale)) return;
    if (faceAxes[0] && faceAxes[1] && faceAxes[2]) {
        direction = camera.GetDirection();
        up = camera.GetUp();
    } else if (faceAxes[0] && faceAxes[1]) {
        direction = camera.GetDirection();
        direction.y = 0.0f;
        up = Vec3(0.0f, 1.0f, 0.0f);
    }
    const Matrix frame = Matrix::FromAxes(position, direction, up);
    Matrix rotation = world;
    rotation.m[12] = rotation.m[13] = rotation.m[14] = 0.0f;
    rotation.kind = 0;
    world = Matrix::Product(rotation, frame);
}

// ---- poses and animation -------------------------------------------------------------------

void Hierarchy::AddAnimation(const String& clip, const RefHandle<AbstractObject>& animation) {
    bool replaced = false;
    animations.ForEach([&](const NamedHandle<AbstractObject>& entry) {
        if (!replaced && entry.name == clip) {
            const_cast<NamedHandle<AbstractObject>&>(entry).handle = animation;
            replaced = true;
        }
    });
    if (!replaced) animations.PushBack(NamedHandle<AbstractObject>(animation, clip));
}

RefHandle<AbstractObject> Hierarchy::FindAnimation(const String& clip) const { return FindNamed(animations, clip); }

RefHandle<NodeTransform> Hierarchy::FindNodePose(const String& pose) const { return FindNamed(nodePoses, pose); }

void Hierarchy::ApplyPose(const String& pose, bool recursive) {
    const RefHandle<NodeTransform> nodePose = FindNamed(nodePoses, pose);
    const RefHandle<NodeTransform> objectPose = FindNamed(objectPoses, pose);
    if (nodePose) transform.Assign(*nodePose.Get());
    if (objectPose)
        objectTransform.Assign(*objectPose.Get());
    else if (nodePose)
        objectTransform.Reset();
    // The next cull must see the new transforms.
    if (nodePose || objectPose) GetTransform(true);
    if (!recursive) return;
    ChildMap::Node* entry = children.first;
    for (u32 i = 0; i < children.count; ++i, entry = entry->next) entry->value->ApplyPose(pose, true);
}

AnimState* Hierarchy::BindAnimation(const AnimRequest* request) {
    if (!request) return nullptr;
    AnimState* state = new (std::nothrow) AnimState;
    if (!state) return nullptr;
    state->TakeSettings(*request);
    if (request->kind == kAnimClip) {
        state->animation = FindAnimation(request->name);
        const RefHandle<NodeTransform> pose = FindNamed(nodePoses, request->name);
        if (pose) state->basePose = RefHandle<AbstractObject>::Share(pose.Get(), pose.SharedCount());
    } else {
        state->first = BindAnimation(request->first);
        state->second = BindAnimation(request->second);
        if ((request->first && !state->first) || (request->second && !state->second)) {
            delete state;
            return nullptr;
        }
    }
    state->ReadRange();
    state->Start();
    return state;
}

void Hierarchy::ReplaceTree(AnimState* tree) {
    if (tree != animTree) delete animTree;
    animTree = tree;
}

void Hierarchy::PlayAnimation(const AnimRequest* request, i32 mode, bool currentFirst, f32 fadeMs) {
    if (mode >= kPlayReplace && mode <= kPlayCrossFade) {
        AnimState* bound = BindAnimation(request);
        AnimState* current = animTree;
        const bool boundActive = bound && bound->IsActive();
        const bool currentActive = current && current->IsActive();
        if (mode == kPlayReplace) {
            if (!boundActive) {
                delete bound;
                bound = nullptr;
            }
            ReplaceTree(bound);
        } else if (!boundActive && !currentActive) {
            delete bound;
            ReplaceTree(nullptr);
        } else if (mode == kPlayLayer && boundActive != currentActive) {
            if (boundActive) {
                ReplaceTree(bound);
            } else {
                delete bound;
            }
        } else {
            if (!current) current = new (std::nothrow) AnimState;  // the empty tree of a fade from nothing
            if (!bound) bound = new (std::nothrow) AnimState;
            AnimState* join = new (std::nothrow) AnimState;
            if (!join || !current || !bound) {
                delete join;
                delete bound;
                if (current != animTree) delete current;
                return;
            }
            join->kind = mode == kPlayLayer ? kAnimLayer : kAnimCrossFade;
            if (mode == kPlayCrossFade) join->duration = static_cast<i32>(fadeMs);
            join->first = currentFirst ? current : bound;
            join->second = currentFirst ? bound : current;
            join->ReadRange();
            join->Start();
            animTree = join;  // current now lives inside the join
        }
    }
    ChildMap::Node* entry = children.first;
    for (u32 i = 0; i < children.count; ++i, entry = entry->next)
        entry->value->PlayAnimation(request, mode, currentFirst, fadeMs);
}

void Hierarchy::Animate(RenderView& view) {
    const u64 pass = PassCounter();
    if (lastAnimated == pass) return;
    lastAnimated = pass;
    if (animTree) {
        // A failed evaluation keeps the previous local matrix.
        if (view.flags & kPassAnimateAtTime)
            animTree->EvaluateAt(true, view.time, localMatrix);
        else
            animTree->Evaluate(true, localMatrix);
    } else {
        transform.GetMatrix(localMatrix);
    }
    objectTransform.GetMatrix(objectMatrix);
    combined.Multiply(objectMatrix, localMatrix);
}

// ---- the passes ----------------------------------------------------------------------------

bool Hierarchy::UpdateWorld(RenderView& view) {
    const u8 first = view.firstPass;
    if (first) {
        NextPass();
        view.BeginTraversal();
        StatisticsTable& statistics = TheStatistics();
        if (statistics.enabled == 1)
            statistics.Add(String::Borrow("bones", 5), CountNodes(true, false, false) + 1);
        view.firstPass = 0;
    }
    Animate(view);
    parentWorld = view.Top();
    objectWorld.Multiply(combined, parentWorld);
    finalMatrix.Multiply(preMatrix, objectWorld);
    if (children.count == 0) {
        view.firstPass = first;
        return true;
    }
    const bool pushed = objectMatrix.kind == Identity ? view.Push(objectWorld) : view.PushProduct(localMatrix);
    if (pushed) {
        ChildMap::Node* entry = children.first;
        for (u32 i = 0; i < children.count; ++i, entry = entry->next) entry->value->UpdateWorld(view);
        view.Pop();
    }
    view.firstPass = first;
    return true;
}

void Hierarchy::UpdateBounds(RenderView& view) {
    if ((flags & kNodeBoundsFixed) && !(flags & kNodeBoundsLive) && !(view.flags & kPassAnimateAtTime)) return;
    if (!(flags & kNodeChanged) && !animTree) return;
    Box bounds;
    bool boundsValid = false;
    if (cullOptions & kCullExplicitBounds) {
        bounds = explicitBounds;
        boundsValid = true;
    } else {
        if (object && object->IsValid()) {
            bounds = object->box;
            boundsValid = true;
        }
        ChildMap::Node* entry = children.first;
        for (u32 i = 0; i < children.count; ++i, entry = entry->next) {
            Hierarchy* child = entry->value;
            child->UpdateBounds(view);
            if (!child->IsValid()) continue;
            bounds = boundsValid ? Box::Union(bounds, child->box) : child->box;
            boundsValid = true;
        }
    }
    if (boundsValid) {
        Animate(view);
        Bounded::Transform(box, bounds, combined);
        valid = 1;
    } else {
        valid = 0;
    }
    flags &= ~kNodeChanged;
}

bool Hierarchy::ComputeBounds() {
    RenderView view;
    // A pass of its own: a node that no pass has reached yet would otherwise be bounded
    // with matrices never computed.
    NextPass();
    UpdateBounds(view);
    return true;
}

i32 Hierarchy::CountNodes(bool bones, bool objects, bool all) const {
    i32 count = ((kind == kNodeBone && bones) || (object && objects) || all) ? 1 : 0;
    const ChildMap::Node* entry = children.first;
    for (u32 i = 0; i < children.count; ++i, entry = entry->next) count += entry->value->CountNodes(bones, objects, all);
    return count;
}

// ---- cloning -----------------------------------------------------------------------------

Hierarchy* Hierarchy::CloneTree(Hierarchy* boneRoot, u32 cloneFlags, PtrListOf<BoneBound>& unbound) {
    Hierarchy* copy = new (std::nothrow) Hierarchy;
    if (!copy) return nullptr;
    copy->cullOptions = cullOptions;
    copy->flags = flags;
    copy->explicitBounds = explicitBounds;
    copy->drawOrder = drawOrder;
    copy->name = name;
    copy->kind = kind;
    copy->animations.CopyFrom(animations);
    copy->nodePoses.CopyFrom(nodePoses);
    copy->objectPoses.CopyFrom(objectPoses);
    copy->transform.Assign(transform);
    copy->objectTransform.Assign(objectTransform);
    copy->preMatrix = preMatrix;
    copy->material.Assign(material);
    for (int i = 0; i < 3; ++i) copy->faceAxes[i] = faceAxes[i];
    if (cloneFlags & kCloneShareDrawable) {
        copy->object = object;
        copy->ownsObject = 0;
    } else if (object) {
        copy->object = object->Clone();
        copy->ownsObject = 1;
        if (BoneBound* follower = QueryAs<BoneBound>(copy->object, BoneBoundTypeId())) {
            if (boneRoot)
                follower->BindBones(boneRoot);
            else
                unbound.PushBack(follower);
        }
    }
    if (cloneFlags & kCloneNoChildren) return copy;
    const ChildMap::Node* entry = children.first;
    for (u32 i = 0; i < children.count; ++i, entry = entry->next) {
        Hierarchy* child = entry->value->CloneTree(boneRoot, cloneFlags, unbound);
        if (!child || !copy->AddChild(child)) {
            delete child;
            delete copy;
            return nullptr;
        }
    }
    return copy;
}

Hierarchy* Hierarchy::Clone(Hierarchy* boneRoot, u32 cloneFlags) {
    PtrListOf<BoneBound> unbound;
    Hierarchy* copy = CloneTree(boneRoot, cloneFlags, unbound);
    if (!copy) return nullptr;
    // The bones of the new tree exist only now that every node is copied.
    while (unbound.count > 0) unbound.PopFront()->BindBones(copy);
    return copy;
}
