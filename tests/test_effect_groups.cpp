// Light groups and the shader-model choice: every admissible combination once and in
// odometer order, the bounds per kind and in total, and the model thresholds.
#include "Effect/LightGroup.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

LightKind Kind(const char* name, i32 minCount, i32 maxCount) {
    LightKind kind;
    kind.name = String(name);
    kind.minCount = minCount;
    kind.maxCount = maxCount;
    return kind;
}

std::vector<std::vector<i32>> Walk(LightGroup& group) {
    std::vector<std::vector<i32>> seen;
    group.Reset();
    for (int guard = 0; guard < 1000; ++guard) {
        std::vector<i32> counts;
        for (i32 k = 0; k < group.KindCount(); ++k) counts.push_back(group.Count(k));
        seen.push_back(counts);
        if (!group.Next()) break;
    }
    return seen;
}

TEST(LightGroups, ThreeDirectionalAndThreePointWithThreeInAllGiveAllTen) {
    LightGroup group;
    group.AddKind(Kind("DIR", 0, 3));
    group.AddKind(Kind("POINT", 0, 3));
    group.maxTotal = 3;
    const std::vector<std::vector<i32>> expected = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1},
                                                    {1, 1}, {2, 1}, {0, 2}, {1, 2}, {0, 3}};
    EXPECT_EQ(Walk(group), expected);
}

TEST(LightGroups, BoundsPerKindAndInTotal) {
    LightGroup group;
    group.AddKind(Kind("DIR", 0, 1));
    group.AddKind(Kind("POINT", 0, 2));
    group.maxTotal = 2;
    group.minTotal = 1;
    // (0,0) is below the minimum total; DIR never passes 1; nothing passes 2 lights.
    const std::vector<std::vector<i32>> expected = {{1, 0}, {0, 1}, {1, 1}, {0, 2}};
    EXPECT_EQ(Walk(group), expected);
}

TEST(LightGroups, ExactlyOneSpotGivesOneCombination) {
    LightGroup group;
    group.AddKind(Kind("SPOT", 1, 1));
    group.minTotal = 1;
    group.maxTotal = 1;
    EXPECT_EQ(Walk(group), (std::vector<std::vector<i32>>{{1}}));
}

TEST(LightGroups, AKindWithAMinimumStillReachesItsMaximum) {
    // The room of a kind is what the total leaves beside the other kinds' minimums.
    LightGroup group;
    group.AddKind(Kind("DIR", 1, 3));
    group.maxTotal = 3;
    EXPECT_EQ(Walk(group), (std::vector<std::vector<i32>>{{1}, {2}, {3}}));
}

TEST(LightGroups, AnEmptyGroupHasOneCombinationAndStepsNoFurther) {
    LightGroup group;
    group.Reset();
    EXPECT_FALSE(group.Next());
    EXPECT_FALSE(StepLightCombination(nullptr, nullptr, nullptr, 0, 0));
}

TEST(LightGroups, StepStaysWithinTheKindCount) {
    // Every wheel at its lower bound with a full total: the walk must stop at n, not read on.
    i32 c[2] = {0, 0}, l[2] = {0, 0}, h[2] = {0, 0};
    EXPECT_FALSE(StepLightCombination(c, l, h, 2, 0));
    i32 one[1] = {2}, lo[1] = {0}, hi[1] = {2};
    EXPECT_FALSE(StepLightCombination(one, lo, hi, 1, 5));
}

TEST(LightGroups, PixelShaderModelThresholds) {
    const struct {
        i32 interpolators, version;
        const char* model;
    } rows[] = {
        {0, 11, "ps_1_1"}, {4, 11, "ps_1_1"}, {5, 11, "ps_1_4"}, {6, 11, "ps_1_4"}, {7, 11, "ps_2_0"},
        {8, 11, "ps_2_0"}, {9, 11, nullptr},  {4, 14, "ps_1_4"}, {0, 20, "ps_2_0"}, {8, 20, "ps_2_0"},
        {9, 20, nullptr},  {0, 30, nullptr},
    };
    for (const auto& row : rows) {
        const char* model = ChoosePixelShaderModel(row.interpolators, row.version);
        if (!row.model)
            EXPECT_EQ(model, nullptr) << row.interpolators << " " << row.version;
        else
            EXPECT_STREQ(model, row.model) << row.interpolators << " " << row.version;
    }
}

}  // namespace
