// The names and orders behind the compiled-effect cache, without a device: the short digest,
// the cache file's name, the description key (what takes part and what does not) and the
// technique index's order with its label search.
#include "Effect/EffectCode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Array<ShaderMacro> Macros(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    Array<ShaderMacro> out(0, 10);
    for (const auto& [name, value] : pairs) out.Add(ShaderMacro{String(name), String(value)});
    return out;
}

SHADERDESC Desc(const char* path, Array<ShaderMacro> macros) {
    SHADERDESC desc;
    desc.path = patht(path);
    desc.macros = macros;
    return desc;
}

TEST(EffectCodeKeys, ShortDigestOfKnownTexts) {
    const struct {
        const char* text;
        const char* digest;
    } rows[] = {
        {"", "1"},
        {"abc", "A"},
        {"abcde", "M"},
        {"abcdef", "MT"},
        {"TEXCOORDSPS_MODELps_2_0", "yaxb8"},
        {"ZTEXTURETEXCOORDSPS_MODELps_2_0", "IifWBbD"},
    };
    for (const auto& row : rows) EXPECT_STREQ(ShortDigest(String(row.text)).c_str(), row.digest) << row.text;
}

TEST(EffectCodeKeys, ShortDigestLengthFollowsFiveByteGroups) {
    EXPECT_EQ(ShortDigest(String("12345")).length, 1u);
    EXPECT_EQ(ShortDigest(String("123456")).length, 2u);
    EXPECT_EQ(ShortDigest(String("1234567890")).length, 2u);
    EXPECT_EQ(ShortDigest(String("12345678901")).length, 3u);
    // A long text is not cut short by any buffer of the digest.
    const std::string long_(1000, 'x');
    EXPECT_EQ(ShortDigest(String(long_.c_str())).length, 200u);
}

TEST(EffectCodeKeys, BytesAboveAsciiStillNameALetter) {
    // 0xFF counts as -1: a negative sum must still pick a character of the alphabet.
    const std::string alphabet = "1234567890qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM";
    const String digest = ShortDigest(String("\xff\xfe\x80"));
    ASSERT_EQ(digest.length, 1u);
    EXPECT_EQ(digest.data[0], alphabet[((-1 - 2 - 128) % 62 + 62) % 62]);
}

TEST(EffectCodeKeys, KeyTextJoinsMacrosAndBlanksColons) {
    EXPECT_STREQ(ShaderKeyText(Macros({{"A", "BC"}})).c_str(), "ABC");
    EXPECT_STREQ(ShaderKeyText(Macros({{"AB", "C"}})).c_str(), "ABC");
    EXPECT_STREQ(ShaderKeyText(Macros({{"A", "B:C"}})).c_str(), "AB C");
    EXPECT_STREQ(ShaderKeyText(Macros({{"A", "B C"}})).c_str(), "AB C");
    EXPECT_STREQ(ShaderKeyText(Macros({{"PS_MODEL", "ps_2_0"}, {"SPOT", ""}})).c_str(), "PS_MODELps_2_0SPOT");
}

TEST(EffectCodeKeys, CacheFileSitsInAFolderNamedAfterTheSource) {
    EXPECT_STREQ(CompiledEffectPath(Desc("Shaders/Distort.fx", Macros({}))).name.c_str(),
                 "Shaders/Distort/Distort 1.fxo");
    EXPECT_STREQ(CompiledEffectPath(Desc("Media/Shaders/ShadowMap.fx", Macros({{"A", "BC"}}))).name.c_str(),
                 "Media/Shaders/ShadowMap/ShadowMap e.fxo");
    // Without a folder the cache stays beside the source instead of going to the root.
    EXPECT_STREQ(CompiledEffectPath(Desc("Distort.fx", Macros({}))).name.c_str(), "Distort/Distort 1.fxo");
    // The location flags of the source are kept: an archive source looks in the archive.
    SHADERDESC archived = Desc("Shaders/Distort.fx", Macros({}));
    archived.path.flags = kPathArchive;
    EXPECT_EQ(CompiledEffectPath(archived).flags, static_cast<u32>(kPathArchive));
    // Lists that differ but join to the same text share one cache file.
    EXPECT_STREQ(CompiledEffectPath(Desc("a/b.fx", Macros({{"A", "BC"}}))).name.c_str(),
                 CompiledEffectPath(Desc("a/b.fx", Macros({{"AB", "C"}}))).name.c_str());
}

TEST(EffectCodeKeys, DescriptionKeyIsPathAndMacrosOnly) {
    const ShaderDescOrder order;
    SHADERDESC a = Desc("Shaders/Distort.fx", Macros({{"A", "1"}}));
    SHADERDESC b = a;
    b.forceCompile = 1;
    b.saveCompiled = 1;
    b.flags = 0x800;
    Pool pool;
    b.pool = &pool;
    EXPECT_EQ(order(a, b), 0);
    EXPECT_NE(order(a, Desc("Shaders/Distort.fx", Macros({{"A", "2"}}))), 0);
    EXPECT_NE(order(a, Desc("Shaders/Other.fx", Macros({{"A", "1"}}))), 0);
    // A=BC and AB=C share a cache file name but are different keys.
    EXPECT_NE(order(Desc("x.fx", Macros({{"A", "BC"}})), Desc("x.fx", Macros({{"AB", "C"}}))), 0);
}

TEST(EffectCodeKeys, MacroListsOrderByCountThenEntries) {
    EXPECT_LT(CompareMacroLists(Macros({{"Z", "9"}}), Macros({{"A", "1"}, {"B", "2"}})), 0);
    EXPECT_LT(CompareMacroLists(Macros({{"A", "1"}, {"B", "2"}}), Macros({{"A", "1"}, {"C", "0"}})), 0);
    EXPECT_GT(CompareMacroLists(Macros({{"A", "2"}}), Macros({{"A", "1"}})), 0);
    EXPECT_EQ(CompareMacroLists(Macros({{"A", ""}}), Macros({{"A", ""}})), 0);
    // The order is antisymmetric.
    EXPECT_GT(CompareMacroLists(Macros({{"A", "1"}, {"B", "2"}}), Macros({{"Z", "9"}})), 0);
}

TechniqueRecord Record(EffectCode* owner, const char* name, std::initializer_list<std::pair<const char*, i32>> labels,
                       i32 extraSum = 0) {
    TechniqueRecord record;
    record.owner = owner;
    record.name = String(name);
    record.annotationSum = extraSum;
    for (const auto& [label, value] : labels) {
        record.annotationSum += value;
        if (value) record.annotations.Insert(String(label), value);
    }
    return record;
}

TEST(EffectCodeKeys, TechniqueOrderStepsInTurn) {
    const TechniqueOrder order;
    EffectCode first, second;  // created in this order: their sequence orders their records
    // The sum decides first.
    EXPECT_LT(order(Record(&first, "Z", {{"DIR", 1}}), Record(&first, "A", {{"DIR", 2}})), 0);
    // Then the labels walked together: name, then value.
    EXPECT_LT(order(Record(&first, "Z", {{"DIR", 2}}), Record(&first, "A", {{"POINT", 2}})), 0);
    EXPECT_LT(order(Record(&first, "Z", {{"DIR", 1}, {"POINT", 2}}), Record(&first, "A", {{"DIR", 2}, {"POINT", 1}})), 0);
    // Then the label count, when the shorter list is a prefix of the longer.
    EXPECT_LT(order(Record(&first, "Z", {{"DIR", 1}}, 1), Record(&first, "A", {{"DIR", 1}, {"SPOT", 1}})), 0);
    // An int annotation of 0 is not kept as a label.
    EXPECT_EQ(Record(&first, "Z", {{"DIR", 0}, {"SPOT", 2}}).annotations.count, 1u);
    // Then the name without case, then the owner.
    EXPECT_LT(order(Record(&first, "alpha", {{"DIR", 1}}), Record(&first, "BETA", {{"DIR", 1}})), 0);
    EXPECT_EQ(order(Record(&first, "Simple", {}), Record(&first, "SIMPLE", {})), 0);
    EXPECT_LT(order(Record(&first, "Simple", {}), Record(&second, "Simple", {})), 0);
    EXPECT_GT(order(Record(&second, "Simple", {}), Record(&first, "Simple", {})), 0);
}

TEST(EffectCodeKeys, LabelSearchFindsTheFirstTechniqueWithExactlyThoseLabels) {
    EffectCode first, second;
    TechniqueIndex index;
    index.Insert(Record(&second, "Lit2", {{"DIR", 2}}), NoValue());
    index.Insert(Record(&first, "Lit2b", {{"DIR", 2}}), NoValue());
    index.Insert(Record(&first, "Lit1", {{"DIR", 1}}), NoValue());
    index.Insert(Record(&first, "Mixed", {{"DIR", 1}, {"POINT", 1}}), NoValue());
    index.Insert(Record(&first, "Simple", {}), NoValue());
    index.Insert(Record(&first, "Point2", {{"POINT", 2}}), NoValue());

    TechniqueRecord query = Record(nullptr, "", {{"DIR", 2}});
    const TechniqueRecord* found = FindTechniqueByLabels(index, query);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name.c_str(), "Lit2") << "names decide before owners";

    found = FindTechniqueByLabels(index, Record(nullptr, "", {}));
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name.c_str(), "Simple");
    found = FindTechniqueByLabels(index, Record(nullptr, "", {{"POINT", 2}}));
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name.c_str(), "Point2");
    EXPECT_EQ(FindTechniqueByLabels(index, Record(nullptr, "", {{"SPOT", 1}})), nullptr);
    // Same sum, a subset of the labels: not the same set.
    EXPECT_EQ(FindTechniqueByLabels(index, Record(nullptr, "", {{"DIR", 1}}, 1)), nullptr);
    EXPECT_EQ(FindTechniqueByLabels(TechniqueIndex(), query), nullptr);
}

}  // namespace
