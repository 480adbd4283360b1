#include "Effect/DrawItem.h"
#include "Core/HandleParam.h"

#include <gtest/gtest.h>

TEST(HandleParam, IntAndStringValuesSwapThroughTheReleaseTable) {
    HandleParam p;
    EXPECT_TRUE(p.IsEmpty());
    i32 v = 0;
    EXPECT_FALSE(p.GetInt(&v));
    p.SetInt(5);
    void* block = p.value.pointer;
    p.SetInt(-9);  // the same 4-byte block is reused
    EXPECT_EQ(p.value.pointer, block);
    EXPECT_EQ(p.value.size, 4u);
    EXPECT_TRUE(p.GetInt(&v));
    EXPECT_EQ(v, -9);

    p.SetString(String("tris"));  // the integer block goes through the release table
    EXPECT_EQ(p.typeId, static_cast<i32>(StringTypeId()));
    v = 77;
    EXPECT_FALSE(p.GetInt(&v));
    EXPECT_EQ(v, 77);  // untouched on a type mismatch
    String s;
    EXPECT_TRUE(p.GetString(&s));
    EXPECT_TRUE(String::EqualsText(s, "tris"));
    p.SetInt(3);  // and back: the String is deleted (ASan would see a leak otherwise)
    EXPECT_TRUE(p.GetInt(&v));
    EXPECT_EQ(v, 3);
}

TEST(HandleParam, MapIsCaseInsensitiveAndCopiesDeeply) {
    HandleParamMap stats;
    stats.SetInt(String("TRIS"), 10);
    stats.SetInt(String("tris"), 12);
    EXPECT_EQ(stats.count, 1u);
    i32 v = 0;
    EXPECT_TRUE(stats.GetInt(String("Tris"), &v));
    EXPECT_EQ(v, 12);
    EXPECT_FALSE(stats.GetInt(String("nodes"), &v));
    stats.SetString(String("effect_load_time"), String("12 ms"));
    EXPECT_FALSE(stats.GetInt(String("effect_load_time"), &v));

    HandleParam root;
    root.SetInt(1);
    root.children.SetInt(String("clipped"), 4);
    root.children.SetInt(String("occluded"), 6);
    root.children.Record(String("nested"))->children.SetString(String("name"), String("deep"));

    HandleParam copy(root);
    root.children.SetInt(String("clipped"), 99);  // the copy is independent
    EXPECT_TRUE(copy.GetInt(&v));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(copy.children.GetInt(String("CLIPPED"), &v));
    EXPECT_EQ(v, 4);
    String s;
    ASSERT_NE(copy.children.Find(String("nested")), nullptr);
    EXPECT_TRUE(copy.children.Find(String("nested"))->value->children.GetString(String("NAME"), &s));
    EXPECT_TRUE(String::EqualsText(s, "deep"));

    // Assignment replaces value and children; self-assignment keeps them.
    HandleParam other;
    other.SetString(String("x"));
    other.children.SetInt(String("gone"), 1);
    other = copy;
    EXPECT_EQ(other.children.Find(String("gone")), nullptr);
    EXPECT_EQ(other.children.count, 3u);
    other = other;
    EXPECT_EQ(other.children.count, 3u);
    other.Clear();
    EXPECT_TRUE(other.IsEmpty());
    EXPECT_EQ(other.children.count, 0u);
}

TEST(HandleParam, DataBlockReusesFourByteBlocks) {
    DataBlock b;
    b.SetU32(1);
    void* first = b.pointer;
    b.SetU32(2);
    EXPECT_EQ(b.pointer, first);
    EXPECT_EQ(*static_cast<u32*>(b.pointer), 2u);
    MemFree(b.pointer);
}

namespace {
struct Quad3 : DrawItem {
    bool Draw(Material*) override { return true; }
};
}  // namespace

TEST(DrawItem, AnswersItsTypeAndKeepsOneObjectPart) {
    Quad3 item;
    EXPECT_EQ(item.Clone(), nullptr);
    EXPECT_FALSE(item.IsSpecial());
    EXPECT_FALSE(item.GetFlag());
    item.SetFlag();
    EXPECT_TRUE(item.GetFlag());
    Object* asObject = &item;
    EXPECT_EQ(QueryAs<DrawItem>(asObject, DrawItemTypeId()), static_cast<DrawItem*>(&item));
    EXPECT_EQ(QueryAs<Object>(asObject, ObjectTypeId()), asObject);
    EXPECT_EQ(item.valid, 0);
    EXPECT_FALSE(item.UpdateBounds());
}
