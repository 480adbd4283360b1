#include "Core/Object.h"

#include <vector>

void Object::OnUnreferenced(Object*) {}

Object::~Object() {
    if (ownedInterface_) ownedInterface_->OnOwnerDestroyed(this);
}

bool Object::QueryType(u32 typeId, void** out) {
    if (typeId == ObjectTypeId()) {
        *out = this;
        return true;
    }
    return false;
}

void Object::Release() {
    if (refCount_ != 0) --refCount_;
    if (refCount_ == 0 && owner_) owner_->OnUnreferenced(this);
}

namespace {
struct TypeTable {
    u32 next = 1;
    std::vector<TypeReleaseFn> release{nullptr};  // index 0 is never an id
};
TypeTable& Types() {
    static TypeTable table;
    return table;
}
void NoRelease(void*) {}
}  // namespace

u32 TypeIds::Assign(TypeReleaseFn release) {
    TypeTable& t = Types();
    const u32 id = t.next++;
    t.release.push_back(release);
    return id;
}

TypeReleaseFn TypeIds::ReleaseFunction(u32 typeId) {
    const TypeTable& t = Types();
    return typeId < t.release.size() ? t.release[typeId] : nullptr;
}

u32 TypeIds::Count() { return Types().next - 1; }

// An Object is destroyed by its owner, never through a value slot.
u32 ObjectTypeId() { return TypeIdOf<Object>(&NoRelease); }
u32 IntTypeId() { return TypeIdOf<i32>(&MemFree); }

u32* NewHandleCount() {
    u32* count = static_cast<u32*>(MemAlloc(sizeof(u32)));
    *count = 1;
    return count;
}

void FreeHandleCount(u32* count) { MemFree(count); }

CountedHandle::CountedHandle(void* block) : block_(block) {
    if (block_) count_ = NewHandleCount();
}

CountedHandle::CountedHandle(const CountedHandle& other) : block_(other.block_), count_(other.count_) {
    if (count_) ++*count_;
}

CountedHandle& CountedHandle::Assign(const CountedHandle& other) {
    if (block_ == other.block_) return *this;
    Release();
    block_ = other.block_;
    count_ = other.count_;
    if (count_) ++*count_;
    return *this;
}

void CountedHandle::Release() {
    if (count_ && --*count_ == 0) {
        MemFree(block_);
        FreeHandleCount(count_);
    }
    block_ = nullptr;
    count_ = nullptr;
}
