// The typed property readers: each reader over an absent property, a plain text, child
// entries (vectors, three- and four-child colours, ranges of two, four and six children),
// texts that do not parse, texts ending in NULs, and values that are not texts.
#include "Core/HandleParam.h"
#include "Core/String.h"
#include "Scene/PropertyReaders.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace {

using Entry = std::pair<const char*, const char*>;

void SetChildren(HandleParam& props, const char* key, std::initializer_list<Entry> entries) {
    HandleParam* record = props.children.Record(String(key));
    for (const Entry& e : entries) record->children.SetString(String(e.first), String(e.second));
}

// A text with the NUL a loaded value may carry at its end.
String WithNul(const char* text) {
    const u32 n = static_cast<u32>(strlen(text));
    char buffer[64] = {};
    memcpy(buffer, text, n);
    return String::FromBuffer(buffer, n + 1, true);
}

struct FloatRow {
    const char* text;
    f32 asFloat;
    i32 asInt;
};

TEST(PropertyReaders, PlainTextsAsFloatAndInteger) {
    const FloatRow rows[] = {
        {"1.5", 1.5f, 1},  {"-2.75", -2.75f, -2}, {"7", 7.0f, 7},    {"", 0.0f, 0},
        {"abc", 0.0f, 0},  {"3x", 0.0f, 0},       {"1e3", 1000.0f, 1000}, {"1e20", 1e20f, 0},
    };
    for (const FloatRow& row : rows) {
        HandleParam props;
        props.children.SetString(String("K"), String(row.text));
        EXPECT_FLOAT_EQ(ReadPropertyFloat(props, "K"), row.asFloat) << row.text;
        EXPECT_EQ(ReadPropertyInt(props, "k"), row.asInt) << row.text;
    }
}

TEST(PropertyReaders, AbsentPropertiesGiveTheDefaults) {
    HandleParam props;
    EXPECT_EQ(ReadPropertyFloat(props, "Missing"), 0.0f);
    EXPECT_EQ(ReadPropertyInt(props, "Missing"), 0);
    const Vec3 v = ReadPropertyVector(props, "Missing");
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 0.0f);
    const FColor c = ReadPropertyColor(props, "Missing");
    EXPECT_TRUE(FColor::Equals(c, FColor()));
    const RangeValue r = ReadPropertyRange(props, "Missing");
    EXPECT_EQ(r.x0, 1.0f);
    EXPECT_TRUE(r.IsConstant());
    String s("kept");
    EXPECT_FALSE(ReadPropertyString(props, "Missing", &s));
    EXPECT_TRUE(s == "kept");
}

TEST(PropertyReaders, TrailingNulIsDropped) {
    HandleParam props;
    props.children.SetString(String("F"), WithNul("2.5"));
    props.children.SetString(String("NodeType"), WithNul("ParticleEmitter"));
    EXPECT_FLOAT_EQ(ReadPropertyFloat(props, "F"), 2.5f);
    EXPECT_EQ(ReadPropertyInt(props, "F"), 2);
    String s;
    ASSERT_TRUE(ReadPropertyString(props, "NodeType", &s));
    EXPECT_TRUE(s == "ParticleEmitter");
    EXPECT_EQ(s.length, 15u);
}

TEST(PropertyReaders, ScalarsWithChildrenReadZero) {
    HandleParam props;
    SetChildren(props, "K", {{"0", "4"}});
    EXPECT_EQ(ReadPropertyFloat(props, "K"), 0.0f);
    EXPECT_EQ(ReadPropertyInt(props, "K"), 0);
}

TEST(PropertyReaders, Vectors) {
    HandleParam props;
    props.children.SetString(String("Plain"), String("2"));
    SetChildren(props, "Kids", {{"0", "1"}, {"1", "-2"}, {"2", "3.5"}});
    SetChildren(props, "Bad", {{"0", "1"}, {"1", "nope"}, {"2", "3"}});
    SetChildren(props, "Short", {{"0", "9"}});
    struct Row {
        const char* key;
        Vec3 expected;
    } rows[] = {{"Plain", {2, 2, 2}}, {"Kids", {1, -2, 3.5f}}, {"Bad", {1, 0, 3}}, {"Short", {9, 0, 0}}};
    for (const Row& row : rows) {
        const Vec3 v = ReadPropertyVector(props, row.key);
        EXPECT_EQ(v.x, row.expected.x) << row.key;
        EXPECT_EQ(v.y, row.expected.y) << row.key;
        EXPECT_EQ(v.z, row.expected.z) << row.key;
    }
}

TEST(PropertyReaders, Colours) {
    HandleParam props;
    props.children.SetString(String("Grey"), String("0.25"));
    SetChildren(props, "Rgb", {{"0", "0.1"}, {"1", "0.2"}, {"2", "0.3"}});
    SetChildren(props, "Letters", {{"r", "0.4"}, {"g", "0.5"}, {"b", "0.6"}});
    SetChildren(props, "Argb", {{"0", "0.5"}, {"1", "0.1"}, {"2", "0.2"}, {"3", "0.3"}});
    SetChildren(props, "ArgbLetters", {{"a", "0.7"}, {"r", "0.1"}, {"g", "0.2"}, {"b", "0.3"}});
    SetChildren(props, "Two", {{"0", "0.1"}, {"1", "0.2"}});
    SetChildren(props, "Five", {{"0", "0.1"}, {"1", "0.2"}, {"2", "0.3"}, {"3", "0.4"}, {"4", "0.5"}});
    SetChildren(props, "Unnamed", {{"0", "0.1"}, {"x", "0.2"}, {"2", "0.3"}});
    SetChildren(props, "BadText", {{"0", "0.1"}, {"1", "zz"}, {"2", "0.3"}});
    struct Row {
        const char* key;
        f32 a, r, g, b;
    } rows[] = {
        {"Grey", 1, 0.25f, 0.25f, 0.25f},  {"Rgb", 1, 0.1f, 0.2f, 0.3f},      {"Letters", 1, 0.4f, 0.5f, 0.6f},
        {"Argb", 0.5f, 0.1f, 0.2f, 0.3f},  {"ArgbLetters", 0.7f, 0.1f, 0.2f, 0.3f},
        {"Two", 1, 1, 1, 1},               {"Five", 1, 1, 1, 1},
        {"Unnamed", 1, 0.1f, 1, 0.3f},     {"BadText", 1, 0.1f, 0, 0.3f},
    };
    for (const Row& row : rows) {
        const FColor c = ReadPropertyColor(props, row.key);
        EXPECT_FLOAT_EQ(c.a, row.a) << row.key;
        EXPECT_FLOAT_EQ(c.r, row.r) << row.key;
        EXPECT_FLOAT_EQ(c.g, row.g) << row.key;
        EXPECT_FLOAT_EQ(c.b, row.b) << row.key;
    }
}

TEST(PropertyReaders, Ranges) {
    HandleParam props;
    props.children.SetString(String("Plain"), String("3"));
    SetChildren(props, "Two", {{"0", "1"}, {"1", "10"}});
    SetChildren(props, "Four", {{"0", "1"}, {"1", "10"}, {"2", "5"}, {"3", "3"}});
    SetChildren(props, "Six", {{"0", "1"}, {"1", "10"}, {"2", "5"}, {"3", "3"}, {"4", "8"}, {"5", "2"}});
    SetChildren(props, "Three", {{"0", "1"}, {"1", "10"}, {"2", "5"}});
    struct Row {
        const char* key;
        f32 f[6];
        bool constant;
    } rows[] = {
        {"Plain", {3, 1, 0, -1, 0, -1}, true}, {"Two", {1, 10, 0, -1, 0, -1}, true},
        {"Four", {1, 10, 5, 3, 0, -1}, false}, {"Six", {1, 10, 5, 3, 8, 2}, false},
        {"Three", {1, 10, 0, -1, 0, -1}, true},
    };
    for (const Row& row : rows) {
        const RangeValue r = ReadPropertyRange(props, row.key);
        const f32 got[6] = {r.x0, r.w0, r.x1, r.w1, r.x2, r.w2};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i], row.f[i]) << row.key << " field " << i;
        EXPECT_EQ(r.IsConstant(), row.constant) << row.key;
    }
}

TEST(PropertyReaders, ValuesThatAreNotTextsReadAsEmpty) {
    HandleParam props;
    props.children.SetInt(String("I"), 5);
    props.children.SetFloat(String("F"), 2.5f);
    EXPECT_EQ(ReadPropertyInt(props, "I"), 0);
    EXPECT_EQ(ReadPropertyFloat(props, "F"), 0.0f);
    const Vec3 v = ReadPropertyVector(props, "F");
    EXPECT_EQ(v.x, 0.0f);
    const FColor c = ReadPropertyColor(props, "I");
    EXPECT_EQ(c.a, 1.0f);
    EXPECT_EQ(c.r, 0.0f);
    const RangeValue r = ReadPropertyRange(props, "I");
    EXPECT_EQ(r.x0, 0.0f);
    EXPECT_TRUE(r.IsConstant());
    String s;
    EXPECT_FALSE(ReadPropertyString(props, "I", &s));
}

}  // namespace
