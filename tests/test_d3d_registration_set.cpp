// The sets in which device objects and message listeners register: insertion order, no
// duplicates, and walks over a snapshot that survive registrations and removals.
#include "D3d/DeviceObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct Item {
    int id;
};
}  // namespace

TEST(RegistrationSet, InsertionOrderWithoutDuplicates) {
    Item a{1}, b{2}, c{3};
    RegistrationSet<Item> set;
    EXPECT_TRUE(set.Add(&b));
    EXPECT_TRUE(set.Add(&a));
    EXPECT_FALSE(set.Add(&b));  // registering again changes nothing
    EXPECT_TRUE(set.Add(&c));
    EXPECT_FALSE(set.Add(nullptr));
    std::vector<int> seen;
    set.Walk([&](Item* item) { seen.push_back(item->id); });
    EXPECT_EQ(seen, (std::vector<int>{2, 1, 3}));
    set.Remove(&a);
    set.Remove(&a);  // absent: nothing
    EXPECT_FALSE(set.Contains(&a));
    EXPECT_EQ(set.Count(), 2);
    seen.clear();
    set.Walk([&](Item* item) { seen.push_back(item->id); });
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));
}

TEST(RegistrationSet, WalksSeeASnapshot) {
    Item items[6] = {{0}, {1}, {2}, {3}, {4}, {5}};
    RegistrationSet<Item> set;
    for (int i = 0; i < 4; ++i) set.Add(&items[i]);
    std::vector<int> seen;
    set.Walk([&](Item* item) {
        seen.push_back(item->id);
        if (item->id == 0) {
            set.Add(&items[4]);     // registered during the walk: not visited
            set.Remove(&items[2]);  // left during the walk: skipped
        }
        if (item->id == 1) set.Remove(&items[1]);  // the one being visited may leave
    });
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(set.Count(), 3);
    seen.clear();
    set.Walk([&](Item* item) { seen.push_back(item->id); });
    EXPECT_EQ(seen, (std::vector<int>{0, 3, 4}));
    // A removed object can come back; it goes to the end.
    EXPECT_TRUE(set.Add(&items[2]));
    seen.clear();
    set.Walk([&](Item* item) { seen.push_back(item->id); });
    EXPECT_EQ(seen, (std::vector<int>{0, 3, 4, 2}));
}

TEST(RegistrationSet, NestedWalksAndClearDuringAWalk) {
    Item items[3] = {{0}, {1}, {2}};
    RegistrationSet<Item> set;
    for (Item& item : items) set.Add(&item);
    std::string trace;
    set.Walk([&](Item* outer) {
        trace += std::to_string(outer->id) + ":";
        set.Walk([&](Item* inner) { trace += std::to_string(inner->id); });
        trace += " ";
        if (outer->id == 0) set.Remove(&items[1]);
        if (outer->id == 2) set.Clear();
    });
    EXPECT_EQ(trace, "0:012 2:02 ");
    EXPECT_EQ(set.Count(), 0);
    EXPECT_TRUE(set.Add(&items[1]));
    EXPECT_EQ(set.Count(), 1);
}
