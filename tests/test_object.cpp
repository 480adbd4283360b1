#include "Core/Object.h"

#include <gtest/gtest.h>

namespace {
struct Tracked : Object {
    explicit Tracked(int* destroyed) : destroyed_(destroyed) {}
    ~Tracked() override { ++*destroyed_; }
    int* destroyed_;
};

struct Manager : Object {
    int told = 0;
    Object* last = nullptr;
    void OnUnreferenced(Object* o) override {
        ++told;
        last = o;
    }
};

struct Sink : ObjectInterface {
    Object* seen = nullptr;
    void OnOwnerDestroyed(Object* o) override { seen = o; }
};

struct First {};
struct Second {};
}  // namespace

TEST(Object, ReleaseTellsTheOwnerAtZeroAndNeverGoesBelow) {
    Manager m;
    Object o;
    o.SetOwner(&m);
    o.AddRef();
    o.AddRef();
    o.Release();
    EXPECT_EQ(m.told, 0);
    o.Release();
    EXPECT_EQ(m.told, 1);
    EXPECT_EQ(m.last, &o);
    o.Release();  // already 0: stays 0 and the owner hears again
    EXPECT_EQ(o.GetRefCount(), 0u);
    EXPECT_EQ(m.told, 2);
}

TEST(Object, DestructorTellsTheOwnedInterface) {
    Sink sink;
    Object* seen = nullptr;
    {
        Object o;
        o.SetInterface(&sink);
        seen = &o;
    }
    EXPECT_EQ(sink.seen, seen);
}

TEST(Object, TypeIdsAreDenseStableAndAnswerQueryType) {
    const u32 before = TypeIds::Count();
    const u32 a = TypeIdOf<First>();
    const u32 b = TypeIdOf<Second>();
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(TypeIdOf<First>(), a);
    EXPECT_EQ(TypeIds::Count(), before + 2);
    EXPECT_NE(TypeIds::ReleaseFunction(a), nullptr);
    EXPECT_EQ(TypeIds::ReleaseFunction(100000), nullptr);

    Object o;
    EXPECT_EQ(QueryAs<Object>(&o, ObjectTypeId()), &o);
    void* out = nullptr;
    EXPECT_FALSE(o.QueryType(a, &out));
    EXPECT_EQ(QueryAs<Object>(nullptr, ObjectTypeId()), nullptr);
}

TEST(RefHandle, SharesAndDeletesOnLastRelease) {
    int destroyed = 0;
    RefHandle<Tracked> h(new Tracked(&destroyed));
    EXPECT_EQ(h.UseCount(), 1u);
    {
        RefHandle<Tracked> copy(h);
        EXPECT_EQ(h.UseCount(), 2u);
        RefHandle<Tracked> same(h);
        same.Assign(copy);  // same object: no count moves
        EXPECT_EQ(h.UseCount(), 3u);
    }
    EXPECT_EQ(h.UseCount(), 1u);
    EXPECT_EQ(destroyed, 0);

    RefHandle<Tracked> other(new Tracked(&destroyed));
    other.Assign(h);  // drops the second object
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(h.UseCount(), 2u);
    h.Release();
    other.Release();
    EXPECT_EQ(destroyed, 2);

    RefHandle<Tracked> empty, target;
    empty.CopyTo(target);  // a null handle copies as null, counting nothing
    EXPECT_EQ(target.Get(), nullptr);
    EXPECT_EQ(target.UseCount(), 0u);
}

TEST(CountedHandle, FreesTheBlockWithTheLastHandle) {
    CountedHandle a(MemAlloc(16));
    CountedHandle b;
    b.Assign(a);
    EXPECT_EQ(a.UseCount(), 2u);
    b.Assign(a);
    EXPECT_EQ(a.UseCount(), 2u);
    a.Release();
    EXPECT_EQ(b.UseCount(), 1u);
    CountedHandle c(MemAlloc(8));
    b.Assign(c);  // the first block goes here (ASan would report a leak otherwise)
    EXPECT_EQ(c.UseCount(), 2u);
}
