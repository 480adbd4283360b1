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

TEST(NamedHandle, ReleasesItsNameAndItsShareOfTheObject) {
    int destroyed = 0;
    RefHandle<Tracked> light(new Tracked(&destroyed));
    {
        NamedHandle<Tracked> named(light, String("Sun"));
        EXPECT_EQ(light.UseCount(), 2u);
        EXPECT_EQ(named.handle.Get(), light.Get());
        EXPECT_TRUE(String::EqualsText(named.name, "Sun"));
        NamedHandle<Tracked> copy = named;
        EXPECT_EQ(light.UseCount(), 3u);
    }
    EXPECT_EQ(light.UseCount(), 1u);
    EXPECT_EQ(destroyed, 0);
    NamedHandle<Tracked> last(light, String("Moon"));
    light.Release();
    EXPECT_EQ(destroyed, 0);
    last.handle.Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(RefString, CopiesShareOneTextUntilTheLastRelease) {
    RefString text(String("settings.txt"));
    EXPECT_EQ(text.UseCount(), 1u);
    EXPECT_STREQ(text.c_str(), "settings.txt");
    EXPECT_EQ(text.Text().length, 12u);
    EXPECT_NE(text.Text().borrowed, 0u);  // a view of the shared block
    {
        RefString copy(text);
        RefString assigned;
        assigned = copy;
        EXPECT_EQ(text.UseCount(), 3u);
        EXPECT_EQ(copy.Text().data, text.Text().data);  // one block, not three texts
        EXPECT_EQ(assigned.Text().data, text.Text().data);
        assigned.Assign(text);  // the block it shares already: no count moves
        EXPECT_EQ(text.UseCount(), 3u);
        assigned.Release();
        EXPECT_EQ(text.UseCount(), 2u);
        EXPECT_EQ(assigned.Text().length, 0u);
        EXPECT_STREQ(assigned.c_str(), "");
        assigned.Release();  // twice is harmless
        EXPECT_EQ(text.UseCount(), 2u);
    }
    EXPECT_EQ(text.UseCount(), 1u);
    // Assigning another text lets the old block go (ASan reports it otherwise).
    RefString other(String("errors.log"));
    text = other;
    EXPECT_STREQ(text.c_str(), "errors.log");
    EXPECT_EQ(other.UseCount(), 2u);

    RefString empty{String()};
    EXPECT_EQ(empty.UseCount(), 0u);
    EXPECT_STREQ(empty.c_str(), "");
    text = empty;
    EXPECT_EQ(other.UseCount(), 1u);
    EXPECT_EQ(text.UseCount(), 0u);
}
