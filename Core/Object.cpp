#include "Core/Object.h"

#include <new>
#include <string.h>
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
// Made on first use and never destroyed: program-wide objects built before that first use
// (the statistics table) release their typed values through it at exit, after a table with
// a destructor would already be gone.
TypeTable& Types() {
    alignas(TypeTable) static unsigned char storage[sizeof(TypeTable)];
    static TypeTable* table = new (storage) TypeTable;
    return *table;
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
    if (count) *count = 1;
    return count;
}

void FreeHandleCount(u32* count) { MemFree(count); }

CountedHandle::CountedHandle(void* block) : block_(block) {
    if (!block_) return;
    count_ = NewHandleCount();
    if (!count_) {  // the block has no other owner
        MemFree(block_);
        block_ = nullptr;
    }
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

RefString::RefString(const String& text) {
    if (text.length == 0) return;
    char* block = MemAllocArray<char>(static_cast<std::size_t>(text.length) + 1);
    if (!block) return;
    memcpy(block, text.data, text.length);
    block[text.length] = 0;
    block_ = CountedHandle(block);
    if (block_.Get()) View(text.length);
}

RefString& RefString::Assign(const RefString& other) {
    if (block_.Get() == other.block_.Get()) return *this;
    Release();
    block_ = other.block_;
    if (block_.Get()) View(other.text_.length);
    return *this;
}

void RefString::Release() {
    // The view goes first: it must never outlive the block it looks at.
    text_.Release();
    text_.data = nullptr;
    text_.length = 0;
    text_.borrowed = 0;
    block_.Release();
}

// Points the String part at the shared block, without owning it (assigning a borrowed
// String would copy its text).
void RefString::View(u32 length) {
    text_.Release();
    text_.data = static_cast<char*>(block_.Get());
    text_.length = length;
    text_.borrowed = 1;
}
