#include "Core/List.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Payloads around the ring from `from`, count of them, following next; also checks
// that prev undoes next everywhere.
template <class T>
std::vector<T> Ring(const List<T>& list, const typename List<T>::Node* from) {
    std::vector<T> out;
    const typename List<T>::Node* node = from;
    for (i32 i = 0; i < list.count; ++i, node = node->next) {
        EXPECT_EQ(node->next->prev, node);
        EXPECT_EQ(node->prev->next, node);
        out.push_back(node->payload);
    }
    EXPECT_EQ(node, from) << "ring does not close after count nodes";
    return out;
}

template <class T>
std::vector<T> Ring(const List<T>& list) {
    return Ring(list, list.current);
}

QueueList<i32> Filled(std::initializer_list<i32> values) {
    QueueList<i32> list;
    for (i32 v : values) list.PushBack(v);
    return list;
}

}  // namespace

TEST(List, PushBackKeepsInsertionOrderWithCurrentOnLast) {
    List<i32> list = Filled({1, 2, 3, 4});
    EXPECT_EQ(list.count, 4);
    EXPECT_EQ(list.current->payload, 4);
    EXPECT_EQ(list.anchor->payload, 1);
    EXPECT_EQ(Ring(list, list.current->next), (std::vector<i32>{1, 2, 3, 4}));

    // Insertions go right after current wherever it stands.
    list.current = list.anchor;
    list.PushBack(9);
    EXPECT_EQ(Ring(list, list.anchor), (std::vector<i32>{1, 9, 2, 3, 4}));
}

TEST(List, PopFrontOfTheQueueAndOfTheWalkMoveCurrentAndAnchor) {
    PtrList empty;
    int marker = 0;
    empty.sentinel.payload = &marker;
    EXPECT_EQ(empty.PopFront(), &marker);
    EXPECT_EQ(empty.List::PopFront(), &marker);
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.current, &empty.sentinel);
    EXPECT_EQ(empty.anchor, &empty.sentinel);

    QueueList<i32> list = Filled({1, 2, 3, 4});
    list.current = list.anchor;  // on 1
    EXPECT_EQ(list.PopFront(), 1);
    EXPECT_EQ(list.current->payload, 2);
    EXPECT_EQ(list.anchor->payload, 2) << "the anchor moves on when its node goes";
    List<i32>& walked = list;
    EXPECT_EQ(walked.PopFront(), 2);
    EXPECT_EQ(list.current->payload, 4) << "walker form steps back";
    EXPECT_EQ(list.anchor->payload, 3);
    EXPECT_EQ(Ring(list), (std::vector<i32>{4, 3}));
    EXPECT_EQ(list.PopFront(), 4);
    EXPECT_EQ(list.PopFront(), 3);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.current, &list.sentinel);
    EXPECT_EQ(list.anchor, &list.sentinel);
    EXPECT_EQ(list.PopFront(), 0);
    list.PushBack(5);
    EXPECT_EQ(list.anchor->payload, 5);
    EXPECT_EQ(Ring(list), (std::vector<i32>{5}));
}

TEST(List, ContainsAndCurrentLeaveThePositionAlone) {
    List<u64> list;
    for (u64 v : {10ull, 20ull, 1ull << 40}) list.PushBack(v);
    auto* before = list.current;
    EXPECT_TRUE(list.Contains(1ull << 40));
    EXPECT_TRUE(list.Contains(10));
    EXPECT_FALSE(list.Contains(30));
    EXPECT_EQ(list.current, before);
    EXPECT_EQ(list.Current(), 1ull << 40);

    StringList strings;
    EXPECT_EQ(strings.Current(), String());
    strings.PushBack(String("alpha"));
    strings.PushBack(String("beta"));
    String copy = strings.Current();
    strings.Clear();
    EXPECT_EQ(copy, String("beta")) << "Current must hand out a copy";
    EXPECT_EQ(strings.count, 0);
}

TEST(List, RemoveAllTakesEveryMatchingNode) {
    PairList pairs;
    for (u32 k : {7u, 3u, 3u, 5u, 3u, 7u}) pairs.PushBack({k, k * 10});
    pairs.current = pairs.anchor;
    EXPECT_EQ(pairs.RemoveAll(3u), 3);
    EXPECT_EQ(pairs.count, 3);
    std::vector<u32> keys;
    for (const auto& p : Ring(pairs, pairs.anchor)) keys.push_back(p.first);
    EXPECT_EQ(keys, (std::vector<u32>{7, 5, 7}));
    EXPECT_EQ(pairs.current->payload.first, 7u);
    EXPECT_EQ(pairs.RemoveAll(4u), 0);

    // Matches that wrap round the ring from current, and removing everything.
    PairList wrap;
    for (u32 k : {1u, 2u, 1u}) wrap.PushBack({k, 0});
    EXPECT_EQ(wrap.RemoveAll(1u), 2);  // current starts on the last node
    EXPECT_EQ(Ring(wrap).size(), 1u);
    EXPECT_EQ(wrap.current->payload.first, 2u);
    EXPECT_EQ(wrap.RemoveAll(2u), 1);
    EXPECT_EQ(wrap.count, 0);
    EXPECT_EQ(wrap.current, &wrap.sentinel);
    wrap.sentinel.payload.first = 2;  // a sentinel that matches is never removed
    EXPECT_EQ(wrap.RemoveAll(2u), 0);

    // Random runs against a plain vector.
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        PairList list;
        std::vector<u32> oracle;
        const int n = static_cast<int>(rng() % 30);
        for (int i = 0; i < n; ++i) {
            const u32 k = rng() % 4;
            list.PushBack({k, 0});
            oracle.push_back(k);
        }
        list.current = list.current->next;  // on the first node
        const u32 key = rng() % 4;
        i32 expectRemoved = 0;
        std::vector<u32> kept;
        for (u32 k : oracle) {
            if (k == key)
                ++expectRemoved;
            else
                kept.push_back(k);
        }
        EXPECT_EQ(list.RemoveAll(key), expectRemoved);
        // The anchor (the first node) moves on past removed nodes to the first survivor.
        std::vector<u32> got;
        for (const auto& p : Ring(list, list.anchor)) got.push_back(p.first);
        EXPECT_EQ(got, kept) << "round " << round;
    }
}

TEST(List, CopyFromKeepsOrderAnchorAndStartsAtFirst) {
    List<i32> source = Filled({1, 2, 3, 4});
    source.current = source.anchor->next;  // on 2
    source.anchor = source.anchor->next->next->next;  // on 4
    List<i32> copy = Filled({99});
    EXPECT_TRUE(copy.CopyFrom(source));
    EXPECT_EQ(copy.count, 4);
    EXPECT_EQ(Ring(copy), (std::vector<i32>{2, 3, 4, 1}));
    EXPECT_EQ(copy.current->payload, 2);
    EXPECT_EQ(copy.anchor->payload, 4);
    EXPECT_TRUE(copy.CopyFrom(copy));
    EXPECT_EQ(copy.count, 4);

    StringList strings;
    strings.PushBack(String("a"));
    strings.PushBack(String("b"));
    StringList other(strings);
    strings.Clear();
    EXPECT_EQ(Ring(other), (std::vector<String>{String("b"), String("a")}));
    EXPECT_EQ(other.anchor->payload, String("a"));

    StringList moved(std::move(other));
    EXPECT_EQ(other.count, 0);
    EXPECT_EQ(other.current, &other.sentinel);
    EXPECT_EQ(moved.count, 2);
    EXPECT_EQ(moved.anchor->payload, String("a"));
    moved = StringList();
    EXPECT_EQ(moved.count, 0);
    EXPECT_EQ(moved.current, &moved.sentinel);
}

namespace {
using Light = testsupport::DestroyCounted;
}  // namespace

TEST(HandleList, TheLastReleaseOfTheListReleasesItsHandles) {
    int destroyed = 0;
    RefHandle<Light> sun(new Light(&destroyed));
    HandleListRef<Light> shared(new HandleList<Light>);
    shared->PushBack(NamedHandle<Light>(sun, String("Sun")));
    shared->PushBack(NamedHandle<Light>(RefHandle<Light>(new Light(&destroyed)), String("Moon")));
    EXPECT_EQ(sun.UseCount(), 2u);
    HandleListRef<Light> second = shared;
    EXPECT_EQ(shared.UseCount(), 2u);
    shared.Release();
    EXPECT_EQ(shared.Get(), nullptr);
    EXPECT_EQ(destroyed, 0);
    ASSERT_EQ(second->count, 2);
    // Queue order: from the node after current, the first one pushed.
    second->current = second->current->next;
    NamedHandle<Light> first = second->PopFront();
    EXPECT_TRUE(String::EqualsText(first.name, "Sun"));
    EXPECT_EQ(first.handle.Get(), sun.Get());
    EXPECT_EQ(sun.UseCount(), 2u);  // sun and first: the list let go of its share
    first.handle.Release();
    EXPECT_EQ(sun.UseCount(), 1u);
    second.Release();  // the list goes, and the moon with it
    EXPECT_EQ(destroyed, 1);
    sun.Release();
    EXPECT_EQ(destroyed, 2);
}

TEST(List, WalkingPopFrontRemovesWhileTheWalkGoesOn) {
    // Walk the ring once from current and drop the odd payloads with the walking form.
    QueueList<i32> list = Filled({1, 2, 3, 4, 5});
    list.current = list.current->next;  // on 1
    std::vector<i32> visited;
    const i32 steps = list.count;
    for (i32 i = 0; i < steps; ++i) {
        visited.push_back(list.current->payload);
        if (list.current->payload % 2) list.List::PopFront();
        list.current = list.current->next;
    }
    EXPECT_EQ(visited, (std::vector<i32>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Ring(list, list.anchor), (std::vector<i32>{2, 4}));
}
