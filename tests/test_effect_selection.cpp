// The plain parts of technique selection: locating a pass among the entries, the cache of
// selections with its frame purge, the lookup of a technique by labels and name, and the
// typed named values of materials that the parameter operations read.
#include "Effect/EffectCode.h"
#include "Effect/Material.h"
#include "Effect/TechniqueSelection.h"

#include <gtest/gtest.h>

namespace {

TechniqueSelection WithPasses(std::initializer_list<i32> counts) {
    TechniqueSelection s;
    for (i32 n : counts) {
        TechniqueEntry e;
        e.passes = n;
        s.entries.Add(e);
        s.totalPasses += n;
    }
    return s;
}

TEST(TechniqueSelection, PassesAreFoundInTheirEntries) {
    const TechniqueSelection s = WithPasses({1, 2, 0, 1});
    struct Row {
        i32 pass;
        bool found;
        i32 entry;
        i32 local;
    };
    const Row rows[] = {{0, true, 0, 0}, {1, true, 1, 0}, {2, true, 1, 1}, {3, true, 3, 0},
                        {4, false, -1, -1}, {-1, false, -1, -1}};
    for (const Row& r : rows) {
        i32 entry = -1, local = -1;
        EXPECT_EQ(s.LocatePass(r.pass, entry, local), r.found) << r.pass;
        if (!r.found) continue;
        EXPECT_EQ(entry, r.entry) << r.pass;
        EXPECT_EQ(local, r.local) << r.pass;
    }
    i32 entry = 0, local = 0;
    EXPECT_FALSE(TechniqueSelection().LocatePass(0, entry, local)) << "an empty selection has no pass";
}

TEST(TechniqueSelection, TheCacheKeepsWhatTheLastFrameUsed) {
    SelectionCache cache;
    auto* a = new TechniqueSelection();
    a->lastUse = 5;
    auto* b = new TechniqueSelection();
    b->lastUse = 4;
    auto* c = new TechniqueSelection();
    c->lastUse = 5;
    cache.Insert(String("Lit"), SelectionKey{7, -1}, a);
    cache.Insert(String("Lit"), SelectionKey{7, 1}, b);
    cache.Insert(String("Other"), SelectionKey{0, -1}, c);
    EXPECT_EQ(cache.Count(), 3);
    EXPECT_EQ(cache.Find(String("Lit"), SelectionKey{7, -1}), a);
    EXPECT_EQ(cache.Find(String("Lit"), SelectionKey{7, 1}), b) << "the limit tells them apart";
    EXPECT_EQ(cache.Find(String("Lit"), SelectionKey{7, 2}), nullptr);
    EXPECT_EQ(cache.Find(String("lit"), SelectionKey{7, -1}), nullptr);

    EXPECT_TRUE(cache.Purge(5, b)) << "the watched selection was freed";
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_EQ(cache.Find(String("Lit"), SelectionKey{7, 1}), nullptr);
    EXPECT_FALSE(cache.Purge(5, a));
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_FALSE(cache.Purge(6, nullptr));
    EXPECT_EQ(cache.Count(), 0);

    auto* d = new TechniqueSelection();
    cache.Insert(String("Lit"), SelectionKey{1, -1}, d);
    cache.Insert(String("Lit"), SelectionKey{1, -1}, new TechniqueSelection());  // replaces and frees d
    EXPECT_EQ(cache.Count(), 1);
}

TechniqueRecord Record(const char* name, std::initializer_list<std::pair<const char*, i32>> labels) {
    TechniqueRecord r;
    r.name = String(name);
    for (const auto& [label, value] : labels) {
        r.annotations.Insert(String(label), value);
        r.annotationSum += value;
    }
    return r;
}

TEST(TechniqueSelection, TechniquesAreFoundByLabelsAndName) {
    TechniqueIndex index;
    index.sortedThread = 1;
    for (const TechniqueRecord& r : {Record("Lit", {}), Record("Lit", {{"DIR", 1}}), Record("Other", {{"DIR", 1}}),
                                     Record("Lit", {{"DIR", 1}, {"POINT", 1}})})
        index.Insert(r, NoValue());
    struct Row {
        TechniqueRecord query;
        const char* found;  // null: none
    };
    const Row rows[] = {
        {Record("Lit", {}), "Lit"},
        {Record("other", {{"DIR", 1}}), "Other"},
        {Record("Lit", {{"DIR", 1}}), "Lit"},
        {Record("", {{"DIR", 1}}), "Lit"},  // no name: the first with those labels
        {Record("Other", {}), nullptr},
        {Record("Lit", {{"POINT", 1}}), nullptr},
        {Record("Lit", {{"DIR", 1}, {"POINT", 1}}), "Lit"},
        {Record("Lit", {{"DIR", 2}}), nullptr},
    };
    for (const Row& r : rows) {
        const TechniqueRecord* found = FindTechnique(index, r.query);
        if (!r.found) {
            EXPECT_EQ(found, nullptr) << r.query.name.c_str() << " " << r.query.annotationSum;
            continue;
        }
        ASSERT_NE(found, nullptr) << r.query.name.c_str() << " " << r.query.annotationSum;
        EXPECT_STREQ(found->name.c_str(), r.found);
        EXPECT_EQ(found->annotationSum, r.query.annotationSum);
    }
}

TEST(TechniqueSelection, LightKindsHaveTheirLabels) {
    EXPECT_STREQ(LightKindName(D3DLIGHT_POINT).c_str(), "POINT");
    EXPECT_STREQ(LightKindName(D3DLIGHT_SPOT).c_str(), "SPOT");
    EXPECT_STREQ(LightKindName(D3DLIGHT_DIRECTIONAL).c_str(), "DIR");
    EXPECT_TRUE(LightKindName(0).IsEmpty());
}

TEST(MaterialValues, TypedValuesAnswerOnlyForTheirType) {
    Material m;
    f32 f = 0.01f;
    EXPECT_FALSE(m.GetFloat(String("OffsetBias"), f));
    EXPECT_EQ(f, 0.01f) << "the default stays";
    m.values.children.SetInt(String("OffsetBias"), 3);
    EXPECT_FALSE(m.GetFloat(String("OffsetBias"), f));
    EXPECT_EQ(f, 0.01f);
    m.SetFloat(String("OffsetBias"), 0.25f);
    EXPECT_TRUE(m.GetFloat(String("OffsetBias"), f));
    EXPECT_EQ(f, 0.25f);
    Matrix out = IdentityMatrix;
    EXPECT_FALSE(m.GetMatrix(String("OffsetBias"), out)) << "a float is no matrix";

    Matrix cube = IdentityMatrix;
    cube.m[12] = 5.0f;
    m.SetMatrix(String("ObjToCube"), cube);
    const Material copy(m);
    ASSERT_TRUE(copy.GetMatrix(String("ObjToCube"), out));
    EXPECT_EQ(out.m[12], 5.0f);
    EXPECT_TRUE(copy.GetFloat(String("offsetbias"), f)) << "names match without case";
    m.SetFloat(String("ObjToCube"), 1.0f);  // a name changes type
    EXPECT_FALSE(m.GetMatrix(String("ObjToCube"), out));
}

}  // namespace
