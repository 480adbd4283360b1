// The engine's root class, its lazily numbered type ids (the engine asks objects for
// their type through QueryType, never through the compiler's type information), and
// the reference-counted handles that share objects.
#pragma once

#include "Core/Memory.h"
#include "Core/String.h"
#include "Core/Types.h"

class Object;

// Something an Object owns and tells when it goes away.
class ObjectInterface {
public:
    virtual ~ObjectInterface() = default;
    virtual void OnOwnerDestroyed(Object* owner) = 0;
};

class Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Owner managers override this: it receives the objects whose count reached zero.
    virtual void OnUnreferenced(Object* object);
    virtual ~Object();
    // True with the address of the requested part of this object, else false.
    virtual bool QueryType(u32 typeId, void** out);

    u32 GetRefCount() const { return refCount_; }
    void AddRef() { ++refCount_; }
    // Count - 1 (never below 0); at 0 the owner, if any, is told and decides.
    void Release();
    void SetOwner(Object* owner) { owner_ = owner; }
    Object* GetOwner() const { return owner_; }
    void SetInterface(ObjectInterface* owned) { ownedInterface_ = owned; }

private:
    u32 refCount_ = 0;
    Object* owner_ = nullptr;
    ObjectInterface* ownedInterface_ = nullptr;
};

// Asks an object for one of its parts: QueryAs<MeshObject>(obj, MeshObjectTypeId()).
template <class T>
inline T* QueryAs(Object* object, u32 typeId) {
    void* part = nullptr;
    if (object && object->QueryType(typeId, &part)) return static_cast<T*>(part);
    return nullptr;
}

// Type ids: dense, from 1, in the order types are first asked for. They differ between
// runs and must never be stored in files. Each id carries the function that destroys a
// heap value of its type.
using TypeReleaseFn = void (*)(void* value);

class TypeIds {
public:
    static u32 Assign(TypeReleaseFn release);
    static TypeReleaseFn ReleaseFunction(u32 typeId);
    static u32 Count();  // ids handed out so far
};

template <class T>
void DeleteTypedValue(void* value) {
    delete static_cast<T*>(value);
}

// The id of T, assigned on first use.
template <class T>
u32 TypeIdOf(TypeReleaseFn release = &DeleteTypedValue<T>) {
    static const u32 id = TypeIds::Assign(release);
    return id;
}

u32 ObjectTypeId();
u32 IntTypeId();
u32 StringTypeId();

// The heap counts that handles share (out of line: the compiler cannot follow a count
// shared between handles and would see a use after free in the inlined last release).
// A count of 1, or null when memory runs out.
u32* NewHandleCount();
void FreeHandleCount(u32* count);

// A shared handle: {object, heap count}. The last release deletes the object through
// its virtual destructor.
template <class T>
class RefHandle {
public:
    RefHandle() = default;
    // Takes over object. When no count can be made the object is deleted at once and
    // the handle stays empty, so that nothing is left without an owner.
    explicit RefHandle(T* object) : object_(object) {
        if (!object_) return;
        count_ = NewHandleCount();
        if (!count_) {
            delete object_;
            object_ = nullptr;
        }
    }
    RefHandle(const RefHandle& other) { other.CopyTo(*this); }
    RefHandle& operator=(const RefHandle& other) { return Assign(other); }
    ~RefHandle() { Release(); }

    void Release() {
        if (count_) {
            if (--*count_ == 0) {
                delete object_;
                FreeHandleCount(count_);
            }
        }
        object_ = nullptr;
        count_ = nullptr;
    }
    // Makes `target` share this handle's object (target must be empty).
    void CopyTo(RefHandle& target) const {
        target.object_ = object_;
        target.count_ = count_;
        if (count_) ++*count_;
    }
    RefHandle& Assign(const RefHandle& other) {
        if (object_ == other.object_) return *this;
        Release();
        other.CopyTo(*this);
        return *this;
    }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    u32 UseCount() const { return count_ ? *count_ : 0; }
    explicit operator bool() const { return object_ != nullptr; }

    // The count this handle shares. A registry that must not keep its objects alive
    // remembers the object and this count without counting itself, forgets both when the
    // object is destroyed, and hands out counted handles again with Share.
    u32* SharedCount() const { return count_; }
    // A counted handle to an object that other handles share through `count` (count + 1).
    static RefHandle Share(T* object, u32* count) {
        RefHandle handle;
        if (object && count) {
            handle.object_ = object;
            handle.count_ = count;
            ++*count;
        }
        return handle;
    }

private:
    T* object_ = nullptr;
    u32* count_ = nullptr;
};

// A RefHandle with a name (the lights of a light set, named resources). The name goes
// first, then the handle.
template <class T>
struct NamedHandle {
    RefHandle<T> handle;
    String name;

    NamedHandle() = default;
    NamedHandle(const RefHandle<T>& shared, const String& name_) : handle(shared), name(name_) {}
};

// A shared memory block freed without a destructor when its last handle goes.
class CountedHandle {
public:
    CountedHandle() = default;
    // Takes over a block from MemAlloc.
    explicit CountedHandle(void* block);
    CountedHandle(const CountedHandle& other);
    CountedHandle& operator=(const CountedHandle& other) { return Assign(other); }
    ~CountedHandle() { Release(); }

    CountedHandle& Assign(const CountedHandle& other);
    void Release();
    void* Get() const { return block_; }
    u32 UseCount() const { return count_ ? *count_ : 0; }

private:
    void* block_ = nullptr;
    u32* count_ = nullptr;
};

// A text that copies share: one heap text block, kept alive by a heap count, that the
// String part of every copy views without owning it. A copy costs a count, not a text.
class RefString {
public:
    RefString() = default;
    // A new shared block holding a copy of text (nothing for an empty text; empty
    // also when memory runs out).
    explicit RefString(const String& text);
    RefString(const RefString& other) { Assign(other); }
    RefString& operator=(const RefString& other) { return Assign(other); }
    ~RefString() { Release(); }

    // Shares other's block; assigning the block it already shares does nothing.
    RefString& Assign(const RefString& other);
    // Count - 1; the last copy frees the block and the count. The String part is
    // left empty.
    void Release();

    const String& Text() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    u32 UseCount() const { return block_.UseCount(); }

private:
    void View(u32 length);

    String text_;  // views the block (borrowed)
    CountedHandle block_;
};
