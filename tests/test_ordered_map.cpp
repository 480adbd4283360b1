#include "Core/AnimatedValue.h"
#include "Core/OrderedMap.h"

#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <list>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

// Checks every structural invariant of a map: tree order and links, AVL balance
// with correct stored heights, count, and a consistent circular thread holding
// exactly the tree's nodes. Returns the number of tree nodes.
template <class Map>
u32 CheckStructure(const Map& map) {
    using Node = typename Map::Node;
    std::vector<const Node*> inOrder;
    struct Walker {
        std::vector<const Node*>& out;
        i32 operator()(const Node* n, const Node* parent) {
            if (!n) return 0;
            EXPECT_EQ(n->parent, parent);
            const i32 hl = (*this)(n->left, n);
            out.push_back(n);
            const i32 hr = (*this)(n->right, n);
            EXPECT_LT(std::abs(hl - hr), 2) << "unbalanced node";
            EXPECT_EQ(n->height, std::max(hl, hr) + 1) << "stale height";
            return std::max(hl, hr) + 1;
        }
    } walker{inOrder};
    walker(map.root, nullptr);

    typename Map::Key prevKey{};
    for (size_t i = 0; i < inOrder.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(typename Map::Ordering()(prevKey, inOrder[i]->key), 0) << "tree out of key order";
        }
        prevKey = inOrder[i]->key;
    }
    EXPECT_EQ(map.count, inOrder.size());

    if (map.count == 0) {
        EXPECT_EQ(map.root, nullptr);
        EXPECT_EQ(map.cursor, &map.sentinel);
        EXPECT_EQ(map.first, &map.sentinel);
        EXPECT_EQ(map.position, &map.sentinel);
        return 0;
    }
    std::set<const Node*> treeNodes(inOrder.begin(), inOrder.end());
    std::set<const Node*> ringNodes;
    const Node* n = map.first;
    for (u32 i = 0; i < map.count; ++i) {
        EXPECT_EQ(n->next->prev, n);
        EXPECT_EQ(n->prev->next, n);
        ringNodes.insert(n);
        n = n->next;
    }
    EXPECT_EQ(n, map.first) << "thread is not a ring of count nodes";
    EXPECT_EQ(ringNodes, treeNodes);
    EXPECT_TRUE(treeNodes.count(map.cursor));
    EXPECT_TRUE(treeNodes.count(map.position));
    return static_cast<u32>(inOrder.size());
}

template <class Map>
std::vector<typename Map::Key> ThreadKeys(const Map& map) {
    std::vector<typename Map::Key> keys;
    const typename Map::Node* n = map.first;
    for (u32 i = 0; i < map.count; ++i, n = n->next) keys.push_back(n->key);
    return keys;
}

using Tracked = testsupport::LiveCounted;

// The thread-order rules mirrored on a std::list (front = first).
struct ThreadOracle {
    std::list<u32> order;
    std::list<u32>::iterator cursor;

    void Insert(u32 key, bool after) {
        if (order.empty()) {
            order.push_back(key);
            cursor = order.begin();
            return;
        }
        cursor = after ? order.insert(std::next(cursor), key) : order.insert(cursor, key);
    }
    void Erase(u32 key) {
        auto it = std::find(order.begin(), order.end(), key);
        if (it == cursor) cursor = (it == order.begin()) ? std::prev(order.end()) : std::prev(it);
        order.erase(it);
    }
};

void RandomRun(u32 seed, bool sorted, u32 keyRange, u32 steps) {
    std::mt19937 rng(seed);
    IntMap map;
    map.sortedThread = sorted ? 1 : 0;
    map.sentinel.value = 0xDEADu;
    std::map<u32, u32> oracle;
    ThreadOracle thread;
    for (u32 step = 0; step < steps; ++step) {
        const u32 key = rng() % keyRange;
        const u32 op = rng() % 100;
        if (op < 55) {
            const u32 value = rng();
            const bool after = (rng() & 1) != 0;
            const bool existed = oracle.count(key) != 0;
            IntMap::Node* cursorBefore = map.cursor;
            IntMap::Node* node = map.Insert(key, value, after);
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->key, key);
            EXPECT_EQ(node->value, value);
            if (existed) {
                EXPECT_EQ(map.cursor, cursorBefore) << "overwrite moved the cursor";
            } else {
                EXPECT_EQ(map.cursor, node);
                if (!sorted) thread.Insert(key, after);
            }
            oracle[key] = value;
        } else {
            const bool existed = oracle.count(key) != 0;
            const u32 got = map.Erase(key);
            if (existed) {
                EXPECT_EQ(got, oracle[key]);
                oracle.erase(key);
                if (!sorted) thread.Erase(key);
            } else {
                EXPECT_EQ(got, 0xDEADu);
            }
        }
        if (step % 29 == 0 || step + 1 == steps) {
            ASSERT_EQ(CheckStructure(map), oracle.size()) << "seed " << seed << " step " << step;
            for (auto& [k, v] : oracle) ASSERT_EQ(map.Get(k), v);
            const auto keys = ThreadKeys(map);
            if (sorted) {
                EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
            } else {
                ASSERT_EQ(keys, std::vector<u32>(thread.order.begin(), thread.order.end()));
                if (!oracle.empty()) {
                    EXPECT_EQ(map.cursor->key, *thread.cursor);
                }
            }
        }
    }
    // Drain everything through erasures so the deletion paths see tiny trees too.
    while (!oracle.empty()) {
        auto it = oracle.begin();
        std::advance(it, rng() % oracle.size());
        EXPECT_EQ(map.Erase(it->first), it->second);
        oracle.erase(it);
        if (oracle.size() < 64 || oracle.size() % 97 == 0) {
            ASSERT_EQ(CheckStructure(map), oracle.size());
        }
    }
}

}  // namespace

TEST(OrderedMap, RandomInsertEraseMatchesOracleAndStaysBalanced) {
    for (u32 seed = 1; seed <= 4; ++seed) {
        RandomRun(seed, false, 300, 4000);
        RandomRun(seed * 77, true, 300, 4000);
    }
    RandomRun(99, false, 20, 3000);  // dense: mostly overwrites and misses
    RandomRun(100, true, 3000, 5000);
}

TEST(OrderedMap, AscendingAndDescendingRunsStayBalanced) {
    IntMap map;
    for (u32 i = 0; i < 1000; ++i) map.Insert(i, i);
    EXPECT_EQ(CheckStructure(map), 1000u);
    EXPECT_LE(map.root->height, 11);
    for (u32 i = 0; i < 1000; i += 2) map.Erase(i);
    EXPECT_EQ(CheckStructure(map), 500u);
    for (u32 i = 2000; i > 1000; --i) map.Insert(i, i);
    EXPECT_EQ(CheckStructure(map), 1500u);
    EXPECT_LE(map.root->height, 12);
}

TEST(OrderedMap, SmallInsertShapesAndThreadOrder) {
    IntMap map;
    map.Insert(3, 30, true);
    map.Insert(1, 10, true);
    map.Insert(2, 20, true);
    EXPECT_EQ(ThreadKeys(map), (std::vector<u32>{3, 1, 2}));
    ASSERT_NE(map.root, nullptr);
    EXPECT_EQ(map.root->key, 2u);
    EXPECT_EQ(map.root->height, 2);
    EXPECT_EQ(map.root->left->key, 1u);
    EXPECT_EQ(map.root->right->key, 3u);
    EXPECT_EQ(map.cursor->key, 2u);
    EXPECT_EQ(map.first->key, 3u);

    // Overwrite: value changes, nothing else does.
    IntMap::Node* cursor = map.cursor;
    IntMap::Node* node = map.Insert(3, 33, false);
    EXPECT_EQ(node->value, 33u);
    EXPECT_EQ(map.count, 3u);
    EXPECT_EQ(map.cursor, cursor);
    EXPECT_EQ(ThreadKeys(map), (std::vector<u32>{3, 1, 2}));

    // after = false puts the node before the cursor; before the first it becomes first.
    IntMap before;
    before.Insert(5, 0);
    before.Insert(6, 0, false);
    before.Insert(7, 0, false);
    EXPECT_EQ(ThreadKeys(before), (std::vector<u32>{7, 6, 5}));
    EXPECT_EQ(before.first->key, 7u);

    IntMap sorted;
    sorted.sortedThread = 1;
    for (u32 k : {5u, 1u, 9u, 3u}) sorted.Insert(k, k, (k & 1) != 0);
    EXPECT_EQ(ThreadKeys(sorted), (std::vector<u32>{1, 3, 5, 9}));
    EXPECT_EQ(sorted.first->key, 1u);
}

TEST(OrderedMap, DefaultsAndMisses) {
    IntMap map;
    EXPECT_EQ(map.Get(42), 0u);
    EXPECT_EQ(map.Find(42), nullptr);
    EXPECT_EQ(map.Erase(42), 0u);
    EXPECT_FALSE(map.Remove(42));
    EXPECT_EQ(map.PopCurrent(), 0u);
    EXPECT_EQ(map.count, 0u);
    map.sentinel.value = 7;
    EXPECT_EQ(map.Get(1), 7u);
    map.Insert(1, 2);
    EXPECT_EQ(map.Get(1), 2u);
    EXPECT_EQ(map.Erase(1), 2u);
    EXPECT_EQ(map.Erase(1), 7u);
    CheckStructure(map);

    // Unsigned order: 0xFFFFFFFF sorts last; the signed forms sort it first.
    IntMap u;
    u.sortedThread = 1;
    u.Insert(0xFFFFFFFFu, 1);
    u.Insert(1, 2);
    EXPECT_EQ(u.first->key, 1u);
    IntMap s;
    s.sortedThread = 1;
    s.InsertSigned(0xFFFFFFFFu, 1);
    s.InsertSigned(1, 2);
    s.InsertSigned(0x80000000u, 3);
    EXPECT_EQ(ThreadKeys(s), (std::vector<u32>{0x80000000u, 0xFFFFFFFFu, 1}));
    ASSERT_NE(s.FindSigned(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(s.EraseSigned(0x80000000u), 3u);
    EXPECT_EQ(s.count, 2u);
}

TEST(OrderedMap, EqualRange) {
    IntKeyMap<> map;
    for (i32 k : {20, 10, 30}) map.Insert(k, static_cast<u32>(k));
    IntKeyMap<>::Node *lo, *hi;
    map.EqualRange(15, lo, hi);
    ASSERT_TRUE(lo && hi);
    EXPECT_EQ(lo->key, 10);
    EXPECT_EQ(hi->key, 20);
    map.EqualRange(20, lo, hi);
    EXPECT_EQ(lo, hi);
    EXPECT_EQ(lo->key, 20);
    map.EqualRange(5, lo, hi);
    EXPECT_EQ(lo, nullptr);
    ASSERT_NE(hi, nullptr);
    EXPECT_EQ(hi->key, 10);
    map.EqualRange(35, lo, hi);
    ASSERT_NE(lo, nullptr);
    EXPECT_EQ(lo->key, 30);
    EXPECT_EQ(hi, nullptr);

    // Negative time keys order below positive ones.
    map.Insert(-5, 0);
    map.EqualRange(0, lo, hi);
    EXPECT_EQ(lo->key, -5);
    EXPECT_EQ(hi->key, 10);

    IntKeyMap<> empty;
    empty.EqualRange(1, lo, hi);
    EXPECT_EQ(lo, nullptr);
    EXPECT_EQ(hi, nullptr);

    FloatMap floats;
    floats.Set(0.5f, 1);
    floats.Set(1.5f, 2);
    FloatMap::Node *flo, *fhi;
    floats.EqualRange(1.0f, flo, fhi);
    EXPECT_EQ(flo->value, 1u);
    EXPECT_EQ(fhi->value, 2u);
}

TEST(OrderedMap, FloatKeysWithNaNKeepOrder) {
    FloatMap map;
    map.sortedThread = 1;
    map.Set(2.0f, 2);
    map.Set(NAN, 9);
    map.Set(-1.0f, 1);
    map.Set(NAN, 10);  // overwrites the NaN key, does not clobber another node
    EXPECT_EQ(map.count, 3u);
    EXPECT_EQ(map.Get(2.0f), 2u);
    EXPECT_EQ(map.Get(-1.0f), 1u);
    EXPECT_EQ(map.Get(NAN), 10u);
    EXPECT_EQ(map.first->key, -1.0f);
    EXPECT_TRUE(std::isnan(map.first->prev->key));
}

TEST(OrderedMap, WalkSurvivesErasuresUnderPosition) {
    IntMap map;
    for (u32 k = 1; k <= 5; ++k) map.Insert(k, k * 10);
    std::vector<u32> seen;
    for (IntMap::Node* n = map.IterBegin(); n; n = map.IterNext()) {
        seen.push_back(n->key);
        if (n->key == 2 || n->key == 3) map.Erase(n->key);
    }
    EXPECT_EQ(seen, (std::vector<u32>{1, 2, 3, 4, 5}));
    EXPECT_EQ(ThreadKeys(map), (std::vector<u32>{1, 4, 5}));
    EXPECT_EQ(map.iterEnd, nullptr);

    // Erasing the node the walk started from (its end mark) while standing on it.
    seen.clear();
    for (IntMap::Node* n = map.IterBegin(); n; n = map.IterNext()) {
        seen.push_back(n->key);
        if (n->key == 1) map.Erase(1);
    }
    EXPECT_EQ(seen, (std::vector<u32>{1, 4, 5}));

    // Erasing the start node from later in the walk: the walk still stops after one round.
    for (u32 k = 6; k <= 8; ++k) map.Insert(k, 0);  // thread 4 5 6 7 8
    seen.clear();
    for (IntMap::Node* n = map.IterBegin(); n; n = map.IterNext()) {
        seen.push_back(n->key);
        if (n->key == 6) map.Erase(4);
    }
    EXPECT_EQ(seen, (std::vector<u32>{4, 5, 6, 7, 8}));

    // Erasing the last node resets cursor, first and position.
    IntMap one;
    one.Insert(1, 1);
    ASSERT_NE(one.IterBegin(), nullptr);
    one.Erase(1);
    EXPECT_EQ(one.IterNext(), nullptr);
    EXPECT_EQ(one.cursor, &one.sentinel);
    EXPECT_EQ(one.first, &one.sentinel);
    EXPECT_EQ(one.position, &one.sentinel);
    EXPECT_EQ(one.iterEnd, nullptr);

    // Outside a walk, erasing the position moves it on and skips the next advance once.
    IntMap idle;
    for (u32 k = 1; k <= 3; ++k) idle.Insert(k, 0);
    idle.IterBegin();
    idle.IterStop();
    idle.Erase(1);
    EXPECT_EQ(idle.position->key, 2u);
    EXPECT_EQ(idle.Advance()->key, 2u);
    EXPECT_EQ(idle.Advance()->key, 3u);
}

TEST(OrderedMap, RandomErasuresDuringWalksVisitEachSurvivorOnce) {
    for (u32 seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        IntMap map;
        const u32 n = 1 + rng() % 60;
        for (u32 i = 0; i < n; ++i) map.Insert(rng() % 200, 0, (rng() & 1) != 0);
        const bool forward = (seed & 1) != 0;
        std::vector<u32> thread = ThreadKeys(map);
        if (!forward && !thread.empty()) {
            std::reverse(thread.begin() + 1, thread.end());  // from first, walking prev
        }
        std::set<u32> erased;
        std::vector<u32> seen;
        for (IntMap::Node* node = map.IterBegin(forward); node; node = map.IterNext()) {
            seen.push_back(node->key);
            const u32 roll = rng() % 4;
            if (roll == 0) {
                erased.insert(node->key);
                map.Erase(node->key);
            } else if (roll == 1 && !thread.empty()) {
                const u32 victim = thread[rng() % thread.size()];
                if (!erased.count(victim) && victim != node->key) {
                    erased.insert(victim);
                    map.Erase(victim);
                }
            }
        }
        // Expected: the original thread order, minus nodes erased before their turn.
        std::vector<u32> expected;
        std::set<u32> seenSet(seen.begin(), seen.end());
        for (u32 k : thread)
            if (seenSet.count(k)) expected.push_back(k);
        EXPECT_EQ(seen, expected) << "seed " << seed;
        EXPECT_EQ(seenSet.size(), seen.size()) << "a node was visited twice, seed " << seed;
        for (u32 k : thread) EXPECT_TRUE(seenSet.count(k) || erased.count(k)) << "missed " << k;
        CheckStructure(map);
    }
}

TEST(OrderedMap, CursorWalksAndPopCurrent) {
    IntMap map;
    for (u32 k : {4u, 2u, 9u, 7u}) map.Insert(k, k + 100);
    std::vector<u32> seen;
    map.CursorWalk([&](u32 key, u32&) { seen.push_back(key); });
    EXPECT_EQ(seen, (std::vector<u32>{7, 4, 2, 9}));  // starts at the node last inserted
    EXPECT_EQ(map.cursor->key, 7u);

    // Dropping nodes during a cursor walk.
    seen.clear();
    map.CursorWalk([&](u32 key, u32&) {
        seen.push_back(key);
        if (key % 2 == 0) map.Erase(key);
    });
    EXPECT_EQ(seen, (std::vector<u32>{7, 4, 2, 9}));
    EXPECT_EQ(ThreadKeys(map), (std::vector<u32>{9, 7}));
    CheckStructure(map);

    PairMap pairs;
    for (u32 k = 1; k <= 4; ++k) pairs.Insert(k, IntPair(static_cast<i32>(k), -static_cast<i32>(k)));
    // Cursor on 4; drop every node: each pop leaves the cursor on the previous one.
    std::vector<i32> popped;
    while (pairs.count) popped.push_back(pairs.PopCurrent().x);
    EXPECT_EQ(popped, (std::vector<i32>{4, 3, 2, 1}));
    EXPECT_EQ(pairs.cursor, &pairs.sentinel);
    EXPECT_EQ(pairs.PopCurrent(), IntPair());
    CheckStructure(pairs);
}

TEST(OrderedMap, ClearFreesEveryPayloadOnce) {
    int live = 0;
    {
        OrderedMap<u32, Tracked, UnsignedOrder> map;
        map.Clear();
        EXPECT_EQ(map.count, 0u);
        for (u32 i = 0; i < 50; ++i) map.Insert(i * 7 % 50, Tracked(&live, static_cast<int>(i)));
        EXPECT_EQ(live, 50);
        map.Insert(3, Tracked(&live, 1000));  // overwrite keeps one payload
        EXPECT_EQ(live, 50);
        Tracked out = map.Erase(3);
        EXPECT_EQ(out.tag, 1000);
        EXPECT_EQ(live, 50);  // 49 in the map, one in hand
        map.Clear();
        EXPECT_EQ(live, 1);
        EXPECT_EQ(map.count, 0u);
        EXPECT_EQ(map.root, nullptr);
        CheckStructure(map);
        for (u32 i = 0; i < 10; ++i) map.Insert(i, Tracked(&live, 0));
        EXPECT_EQ(live, 11);
    }
    EXPECT_EQ(live, 0) << "the destructor must release what is left";
}

TEST(OrderedMap, AssignKeepsThreadOrderFirstAndDefault) {
    IntMap source;
    for (u32 k : {5u, 3u, 8u, 1u}) source.Insert(k, k * 2);
    source.Insert(6, 12, false);  // thread 5 3 8 6 1, cursor 6
    source.sentinel.value = 77;
    source.cursor = source.Find(8);
    IntMap copy;
    copy.Insert(100, 1);
    EXPECT_TRUE(copy.Assign(source));
    EXPECT_EQ(ThreadKeys(copy), ThreadKeys(source));
    EXPECT_EQ(copy.Get(999), 77u);
    EXPECT_EQ(copy.Find(100), nullptr);
    EXPECT_EQ(CheckStructure(copy), 5u);
    for (u32 k : {5u, 3u, 8u, 1u, 6u}) EXPECT_EQ(copy.Get(k), k * 2);
    EXPECT_TRUE(copy.Assign(copy));
    EXPECT_EQ(copy.count, 5u);

    IntMap constructed(source);
    EXPECT_EQ(ThreadKeys(constructed), ThreadKeys(source));
    source.Clear();
    EXPECT_EQ(constructed.count, 5u);

    IntMap moved(std::move(constructed));
    EXPECT_EQ(constructed.count, 0u);
    EXPECT_EQ(constructed.first, &constructed.sentinel);
    EXPECT_EQ(ThreadKeys(moved), ThreadKeys(copy));
    EXPECT_EQ(moved.Get(12345), 77u);
    EXPECT_EQ(CheckStructure(moved), 5u);
    IntMap empty;
    moved = std::move(empty);
    EXPECT_EQ(moved.count, 0u);
    EXPECT_EQ(moved.cursor, &moved.sentinel);
}

TEST(OrderedMap, SetOfKeys) {
    IntSet set;
    set.sortedThread = 1;
    for (u32 k : {9u, 2u, 9u, 4u}) set.Insert(k);
    EXPECT_EQ(set.count, 3u);
    EXPECT_TRUE(set.Contains(4));
    EXPECT_FALSE(set.Contains(5));
    EXPECT_EQ(ThreadKeys(set), (std::vector<u32>{2, 4, 9}));
}

TEST(OrderedMap, TextKeyedMaps) {
    StringMap map;
    map.Insert(String("beta"), 2);
    map.Insert(String("alpha"), 1);
    map.Insert(String(), 9);  // the empty key
    EXPECT_EQ(map.Get(String("alpha")), 1u);
    EXPECT_EQ(map.Get(String("ALPHA")), 0u);
    EXPECT_EQ(map.Get(String("")), 9u);
    EXPECT_EQ(map.CursorKey(), String());
    map.cursor = map.Find(String("beta"));
    EXPECT_EQ(map.CursorKey(), String("beta"));
    EXPECT_EQ(map.Erase(String("beta")), 2u);
    EXPECT_EQ(map.count, 2u);
    CheckStructure(map);
    StringMap copy(map);
    EXPECT_EQ(copy.Get(String("alpha")), 1u);

    NoCaseStringMap nocase;
    nocase.Insert(String("Light"), 1);
    nocase.Insert(String("LIGHT"), 2);  // same key
    EXPECT_EQ(nocase.count, 1u);
    EXPECT_EQ(nocase.Get(String("light")), 2u);
    EXPECT_EQ(nocase.Find(String("light"))->key, String("Light"));

    NameMap names;
    names.sentinel.value = 5;
    names.Insert(String("fog"), 1);
    names.Insert(String("ambient"), 2);
    EXPECT_EQ(names.Get("ambient"), 2u);
    EXPECT_EQ(names.Get("Fog"), 5u);
    EXPECT_EQ(names.Get(static_cast<const char*>(nullptr)), 5u);
    ASSERT_NE(names.Find("fog"), nullptr);

    WStringMap wide;
    wide.Insert(WString(u"\u00e9t\u00e9"), 1);
    wide.Insert(WString(u"zeta"), 2);
    EXPECT_EQ(wide.Get(WString(u"\u00e9t\u00e9")), 1u);
    EXPECT_EQ(wide.Get(WString(u"ZETA")), 0u);

    WStringDictMap dict;
    dict.Insert(WString(u"yes"), WString(u"oui"));
    dict.Insert(WString(u"no"), WString(u"non"));
    EXPECT_EQ(dict.Get(WString(u"yes")), WString(u"oui"));
    EXPECT_EQ(dict.Erase(WString(u"no")), WString(u"non"));
    EXPECT_EQ(dict.Get(WString(u"no")), WString());
}

TEST(OrderedMap, ParamGroupAssignCopiesOrderAndDefault) {
    ParamGroup group;
    group.Insert(String("Width"), 800);
    group.Insert(String("Height"), 600);
    group.Insert(String("Bits"), 32, false);  // before the cursor: Width Bits Height
    group.sentinel.value = 7;
    ParamGroup copy;
    copy.Insert(String("Old"), 1);
    EXPECT_TRUE(copy.Assign(group));
    std::vector<std::string> names;
    const ParamGroup::Node* node = copy.first;
    for (u32 i = 0; i < copy.count; ++i, node = node->next) names.push_back(node->key.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"Width", "Bits", "Height"}));
    EXPECT_EQ(copy.Get(String("Bits")), 32u);
    EXPECT_EQ(copy.Get(String("Old")), 7u);  // gone: the default
    EXPECT_EQ(copy.Get(String("width")), 7u);  // case-sensitive
}

TEST(OrderedMap, ObjectMapHoldsRecordsUnderUnsignedKeys) {
    struct Track {
        u32 words[8] = {};
    };
    ObjectMap<Track> tracks;
    Track t;
    t.words[7] = 42;
    tracks.Insert(0x80000000u, t);
    tracks.Insert(1, Track());
    EXPECT_EQ(tracks.Get(0x80000000u).words[7], 42u);
    EXPECT_EQ(tracks.first->key, 0x80000000u);
    ObjectMap<Track>::Node *lo, *hi;
    tracks.EqualRange(2, lo, hi);  // unsigned: 0x80000000 is above 2
    EXPECT_EQ(lo->key, 1u);
    EXPECT_EQ(hi->key, 0x80000000u);
}

TEST(AnimatedValue, FindSegmentGivesTheKeysAroundAValue) {
    FloatMapOf<const char*> levels;
    levels.Set(20.0f, "middle");
    levels.Set(10.0f, "near");
    levels.Set(30.0f, "far");
    struct Row {
        f32 value;
        const char* before;
        const char* after;
    };
    const Row rows[] = {
        {15.0f, "near", "middle"}, {20.0f, "middle", "middle"}, {5.0f, nullptr, "near"},
        {35.0f, "far", nullptr},   {-1e30f, nullptr, "near"},   {10.0f, "near", "near"},
    };
    for (const Row& row : rows) {
        FloatMapOf<const char*>::Node *before = nullptr, *after = nullptr;
        AnimatedValue::FindSegment(levels, row.value, before, after);
        EXPECT_STREQ(before ? before->value : nullptr, row.before) << row.value;
        EXPECT_STREQ(after ? after->value : nullptr, row.after) << row.value;
    }
    FloatMapOf<const char*> empty;
    FloatMapOf<const char*>::Node *before = levels.first, *after = levels.first;
    AnimatedValue::FindSegment(empty, 1.0f, before, after);
    EXPECT_EQ(before, nullptr);
    EXPECT_EQ(after, nullptr);
    AnimatedValue::FindSegment(levels, std::nanf(""), before, after);
    ASSERT_NE(before, nullptr);
    EXPECT_STREQ(before->value, "far");
    EXPECT_EQ(after, nullptr);
}
