#include "Core/Array.h"
#include "Core/ElementArray.h"
#include "Core/IdAllocator.h"
#include "Core/Memory.h"

#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Counted = testsupport::LiveCounted;
using Code = testsupport::DestroyCounted;

}  // namespace

TEST(Array, ResizeKeepsOrReallocatesByTheStep) {
    IntArray a(0, 4);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.capacity, 4);
    ASSERT_NE(a.data, nullptr);
    i32* block = a.data;
    ASSERT_TRUE(a.Resize(3));
    EXPECT_EQ(a.data, block);
    EXPECT_EQ(a.capacity, 4);
    for (i32 i = 0; i < 3; ++i) a[i] = 100 + i;
    ASSERT_TRUE(a.Resize(5));
    EXPECT_EQ(a.capacity, 9);
    EXPECT_EQ(a.count, 5);
    EXPECT_EQ(a[0], 100);
    EXPECT_EQ(a[2], 102);
    ASSERT_TRUE(a.Resize(4));
    EXPECT_EQ(a.capacity, 8) << "5 unused would exceed the step";
    EXPECT_EQ(a[2], 102);
    ASSERT_TRUE(a.Resize(7));
    EXPECT_EQ(a.capacity, 8);
    ASSERT_TRUE(a.Resize(0));
    EXPECT_EQ(a.capacity, 4);
    EXPECT_EQ(a.count, 0);

    // Step 0: shrinking to nothing gives the block back.
    IntArray b(3, 0);
    EXPECT_EQ(b.capacity, 3);
    ASSERT_TRUE(b.Resize(0));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0);
    IntArray none(0, 0);
    EXPECT_EQ(none.data, nullptr);

    // Bad sizes fail and change nothing.
    EXPECT_FALSE(a.Resize(-1));
    EXPECT_FALSE(a.Resize(0x7FFFFFFF));
    EXPECT_EQ(a.capacity, 4);
    IntArray negative(-5, -2);
    EXPECT_EQ(negative.count, 0);
    EXPECT_EQ(negative.capacity, 0);
}

TEST(Array, CheckedAccessAndAutoGrow) {
    StringArray strings(0, 2);
    String* tenth = strings.At(10);
    ASSERT_NE(tenth, nullptr);
    EXPECT_EQ(strings.count, 11);
    EXPECT_EQ(strings.capacity, 13);
    EXPECT_TRUE(tenth->IsEmpty());
    *tenth = String("ten");
    EXPECT_EQ(strings.At(3), strings.data + 3);
    EXPECT_EQ(strings.count, 11);
    EXPECT_EQ(strings.At(-1), nullptr);
    EXPECT_EQ(strings.At(0x7FFFFFFF), nullptr);
    EXPECT_EQ(strings.count, 11);
    // Appending one of the array's own elements while the block moves.
    ASSERT_TRUE(strings.Resize(13));
    ASSERT_NE(strings.Add(strings[10]), nullptr);
    EXPECT_EQ(strings.capacity, 16);
    EXPECT_EQ(strings[13], String("ten"));
    ASSERT_TRUE(strings.Resize(11));
    EXPECT_EQ(strings.Get(11), nullptr);
    EXPECT_EQ(strings.Get(-3), nullptr);
    ASSERT_NE(strings.Get(10), nullptr);
    EXPECT_EQ(*strings.Get(10), String("ten"));

    FloatArray floats;
    ASSERT_NE(floats.Add(1.5f), nullptr);
    ASSERT_NE(floats.Add(2.5f), nullptr);
    EXPECT_EQ(floats.count, 2);
    f32 sum = 0;
    for (f32 f : floats) sum += f;
    EXPECT_EQ(sum, 4.0f);
}

TEST(Array, ElementsSurviveReallocationAndAreReleased) {
    int live = 0;
    {
        Array<Counted> a(0, 2);
        EXPECT_EQ(live, 0);
        for (int i = 0; i < 10; ++i) a.Add(Counted(&live, i));
        EXPECT_EQ(live, 10);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(a[i].tag, i);
        ASSERT_TRUE(a.Resize(9));  // in place: the dropped element lets go
        EXPECT_EQ(live, 9);
        ASSERT_TRUE(a.Resize(10));
        EXPECT_EQ(a[9].live, nullptr) << "regrown element must be fresh";
        ASSERT_TRUE(a.Resize(3));  // reallocates, keeps the first three
        EXPECT_EQ(live, 3);
        EXPECT_EQ(a[2].tag, 2);
        Array<Counted> copy(a);
        EXPECT_EQ(live, 6);
        EXPECT_EQ(copy.capacity, a.capacity);
        EXPECT_EQ(copy.step, 2);
        Array<Counted>& alias = copy;
        copy = alias;
        EXPECT_EQ(live, 6);
        Array<Counted> moved(std::move(copy));
        EXPECT_EQ(copy.data, nullptr);
        EXPECT_EQ(live, 6);
        a.Clear();
        EXPECT_EQ(live, 3);
    }
    EXPECT_EQ(live, 0);

    StringArray strings(2, 1);
    strings[0] = String("left");
    strings[1] = String("right");
    StringArray other;
    other = strings;
    strings[0] = String("changed");
    EXPECT_EQ(other[0], String("left"));
    EXPECT_EQ(other[1], String("right"));
    ASSERT_TRUE(other.Resize(40));
    EXPECT_EQ(other[1], String("right"));
    EXPECT_TRUE(other[39].IsEmpty());

    StringListArray lists(0, 1);
    ASSERT_NE(lists.At(2), nullptr);
    lists[2].PushBack(String("x"));
    lists[0].PushBack(String("y"));
    ASSERT_TRUE(lists.Resize(8));  // lists move into the new block intact
    EXPECT_EQ(lists[2].Current(), String("x"));
    EXPECT_EQ(lists[2].count, 1);
    EXPECT_EQ(lists[0].current->next, lists[0].current);
}

TEST(ElementArray, CopyDataConvertsBetweenSizes) {
    ElementArray wide;
    ASSERT_TRUE(wide.Allocate(3, 4));
    wide.Set(0, 7);
    wide.Set(1, 0x12345u);
    wide.Set(2, 0xFFFFu);
    ElementArray narrow;
    EXPECT_EQ(narrow.elementSize, 2u);
    EXPECT_EQ(narrow.data, nullptr);
    ASSERT_TRUE(narrow.Allocate(3, 2));
    ASSERT_TRUE(ElementArray::CopyData(narrow, wide));
    EXPECT_EQ(narrow.Get(0), 7u);
    EXPECT_EQ(narrow.Get(1), 0x2345u) << "narrowing keeps the low 16 bits";
    EXPECT_EQ(narrow.Get(2), 0xFFFFu);

    ElementArray back;
    ASSERT_TRUE(back.Allocate(3, 4));
    std::memset(back.data, 0xAB, back.ByteSize());
    ASSERT_TRUE(ElementArray::CopyData(back, narrow));
    EXPECT_EQ(back.Get(1), 0x2345u) << "widening fills with zeros";
    EXPECT_EQ(back.Get(2), 0xFFFFu);

    ElementArray same;
    ASSERT_TRUE(same.Allocate(3, 4));
    ASSERT_TRUE(ElementArray::CopyData(same, wide));
    EXPECT_EQ(std::memcmp(same.data, wide.data, 12), 0);

    // A destination without room for the source's count is refused untouched.
    ElementArray small;
    ASSERT_TRUE(small.Allocate(2, 2));
    EXPECT_FALSE(ElementArray::CopyData(small, wide));
    EXPECT_EQ(small.Get(0), 0u);
    EXPECT_FALSE(ElementArray::CopyData(nullptr, 2, wide.data, 4, 3));
    EXPECT_FALSE(ElementArray::CopyData(narrow.data, 3, wide.data, 4, 1));
    EXPECT_TRUE(ElementArray::CopyData(nullptr, 2, nullptr, 4, 0));
    EXPECT_FALSE(small.Allocate(4, 8));
    EXPECT_FALSE(small.Set(5, 1));
    EXPECT_EQ(small.Get(5), 0u);

    // Converting a block in place, both ways.
    u32 block[4] = {1, 2, 0x10003, 4};
    ASSERT_TRUE(ElementArray::CopyData(block, 2, block, 4, 4));
    const u16 expectNarrow[4] = {1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(block, expectNarrow, 8), 0);
    ASSERT_TRUE(ElementArray::CopyData(block, 4, block, 2, 4));
    EXPECT_EQ(block[2], 3u);
    EXPECT_EQ(block[3], 4u);

    // A view describes without owning; copies of an owned block own their own.
    u16 indices[3] = {5, 6, 7};
    ElementArray view;
    ASSERT_TRUE(view.View(indices, 3, 2));
    EXPECT_FALSE(view.OwnsData());
    ElementArray viewCopy(view);
    EXPECT_EQ(viewCopy.data, static_cast<void*>(indices));
    ElementArray owned(wide);
    EXPECT_NE(owned.data, wide.data);
    EXPECT_EQ(owned.Get(1), 0x12345u);
    EXPECT_FALSE(view.View(nullptr, 3, 2));
}

TEST(IdAllocator, HandsOutEachNumberOnceThenRunsDry) {
    IdAllocator ids(3);
    EXPECT_EQ(ids.FreeCount(), 4);
    std::vector<i32> got;
    for (int i = 0; i < 5; ++i) got.push_back(ids.Acquire());
    EXPECT_EQ(got, (std::vector<i32>{0, 1, 2, 3, -1}));
    EXPECT_EQ(ids.Acquire(), -1);
    ids.Reset(1);
    EXPECT_EQ(ids.Acquire(), 0);
    EXPECT_EQ(ids.Acquire(), 1);
    EXPECT_EQ(ids.Acquire(), -1);

    IdAllocator zero(0);
    EXPECT_EQ(zero.Acquire(), 0);
    EXPECT_EQ(zero.Acquire(), -1);
    IdAllocator negative(-4);
    EXPECT_EQ(negative.Acquire(), -1);
    IdAllocator top(0x7FFFFFFF);
    top.ranges.first->value.x = 0x7FFFFFFE;
    EXPECT_EQ(top.Acquire(), 0x7FFFFFFE);
    EXPECT_EQ(top.Acquire(), 0x7FFFFFFF);
    EXPECT_EQ(top.Acquire(), -1);
}

TEST(Array, VectorAndColourInstancesBuildTheirElements) {
    Vec3Array points(2, 3);
    ASSERT_EQ(points.capacity, 5);
    for (const Vec3& p : points) EXPECT_TRUE(p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
    points[1] = Vec3(1.0f, 2.0f, 3.0f);
    ASSERT_TRUE(points.Resize(9));  // reallocated: the set element moves along
    EXPECT_EQ(points[1].z, 3.0f);
    EXPECT_EQ(points[8].x, 0.0f);

    ColorArray colours(0, 10);
    FColor* added = colours.At(3);
    ASSERT_NE(added, nullptr);
    for (const FColor& c : colours) EXPECT_TRUE(c.a == 1.0f && c.r == 1.0f && c.g == 1.0f && c.b == 1.0f);
    added->r = 0.25f;
    ASSERT_TRUE(colours.Resize(30));
    EXPECT_EQ(colours[3].r, 0.25f);
    EXPECT_EQ(colours[29].a, 1.0f);
}

TEST(RefHandleArray, AssignHandleSharesAndReallocationKeepsEveryCount) {
    int destroyed = 0;
    RefHandle<Code> a(new Code(&destroyed));
    RefHandle<Code> b(new Code(&destroyed));
    RefHandleArray<Code> codes(0, 1);
    EXPECT_TRUE(codes.AssignHandle(0, a));
    EXPECT_TRUE(codes.AssignHandle(4, b));  // grows, the new elements empty
    EXPECT_EQ(codes.count, 5);
    EXPECT_EQ(codes[2].Get(), nullptr);
    EXPECT_EQ(a.UseCount(), 2u);
    EXPECT_EQ(b.UseCount(), 2u);
    EXPECT_TRUE(codes.AssignHandle(0, a));  // the object it holds: no count moves
    EXPECT_EQ(a.UseCount(), 2u);
    EXPECT_FALSE(codes.AssignHandle(-1, a));

    for (int i = 0; i < 6; ++i) ASSERT_TRUE(codes.Resize(codes.count + 7));  // several new blocks
    EXPECT_EQ(codes[0].Get(), a.Get());
    EXPECT_EQ(codes[4].Get(), b.Get());
    EXPECT_EQ(a.UseCount(), 2u);
    EXPECT_EQ(b.UseCount(), 2u);

    EXPECT_TRUE(codes.AssignHandle(4, a));  // the array's share of b goes
    EXPECT_EQ(b.UseCount(), 1u);
    b.Release();
    EXPECT_EQ(destroyed, 1);
    a.Release();
    EXPECT_EQ(destroyed, 1);  // the array still holds it twice
    EXPECT_EQ(codes[0].UseCount(), 2u);
    ASSERT_TRUE(codes.Resize(1));  // the shrink releases element 4
    EXPECT_EQ(codes[0].UseCount(), 1u);
    codes.Clear();
    EXPECT_EQ(destroyed, 2);
}

TEST(Array, ArraysOfBytesHoldAndGrow) {
    Array<u8> bytes(3, 10);
    ASSERT_EQ(bytes.count, 3);
    EXPECT_EQ(bytes.capacity, 13);
    u8* mark = bytes.At(99);
    ASSERT_NE(mark, nullptr);
    *mark = 0xAB;
    u8* slot = bytes.At(200);
    ASSERT_NE(slot, nullptr);
    *slot = 7;
    EXPECT_EQ(bytes.count, 201);
    EXPECT_EQ(bytes[99], 0xAB);
    EXPECT_EQ(bytes[200], 7);
    bytes.Add(9);
    EXPECT_EQ(bytes[201], 9);
}

TEST(ElementArray, AdoptedBlocksAreOwnedAndFreedOnce) {
    auto* block = static_cast<u32*>(MemAlloc(3 * sizeof(u32)));
    ASSERT_NE(block, nullptr);
    block[0] = 7;
    block[1] = 70000;
    block[2] = 9;
    ElementArray indices;
    ASSERT_TRUE(indices.Adopt(block, 3, 4));
    EXPECT_TRUE(indices.OwnsData());
    EXPECT_EQ(indices.data, block);
    EXPECT_EQ(indices.Get(1), 70000u);
    // A copy has a block of its own; both are freed with their arrays (ASan sees a second
    // free of the same block).
    ElementArray copy(indices);
    EXPECT_NE(copy.data, block);
    EXPECT_EQ(copy.Get(2), 9u);

    // An element size other than 2 or 4 is refused and the block still freed.
    ElementArray odd;
    EXPECT_FALSE(odd.Adopt(MemAlloc(6), 2, 3));
    EXPECT_EQ(odd.data, nullptr);
    EXPECT_FALSE(odd.OwnsData());
}
