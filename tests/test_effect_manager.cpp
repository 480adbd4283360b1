// The effect manager's creation and choice rules with effects whose creation the test
// decides: failures are logged by name and deleted, the others are filed under each of
// their names and hear every frame, and FindEffect's choice depends on the walk order.
#include "Core/ProgramObjects.h"
#include "Effect/EffectManager.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

namespace {

using effectsupport::ScriptedEffect;
using effectsupport::WarningsCapture;

class EffectManagerTest : public ::testing::Test {
protected:
    void TearDown() override { manager.Reset(); }
    // Creates effects with the given qualities under one name, in order.
    void Register(const char* name, std::initializer_list<i32> qualities) {
        Array<Effect*> list(0, 4);
        for (i32 q : qualities) {
            auto* effect = new ScriptedEffect(true);
            effect->AddName(String(name), q);
            list.Add(effect);
        }
        ASSERT_TRUE(manager.Create(list));
    }
    EffectManager manager;
};

TEST_F(EffectManagerTest, AFailedEffectIsLoggedByItsLastNameAndDeleted) {
    WarningsCapture warnings;
    int destroyed = 0;
    auto* good = new ScriptedEffect(true, &destroyed);
    good->AddName(String("Bump"), 200);
    auto* bad = new ScriptedEffect(false, &destroyed);
    bad->AddName(String("Shadow"), 100);
    bad->AddName(String("Distort"), 200);
    Array<Effect*> list(0, 4);
    list.Add(good);
    list.Add(bad);
    EXPECT_TRUE(manager.Create(list));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(list.count, 0) << "the manager owns or deleted every effect it was given";
    ASSERT_EQ(manager.Effects().count, 1);
    EXPECT_EQ(manager.Effects()[0], good);
    EXPECT_EQ(manager.FindEffect(String("Bump"), 200), good);
    EXPECT_EQ(manager.FindEffect(String("Distort"), 200), nullptr);
    EXPECT_NE(warnings.Text().find("Effect failed to create: Distort"), std::string::npos) << warnings.Text();
    manager.Reset();
    EXPECT_EQ(destroyed, 2);
}

TEST_F(EffectManagerTest, CreatedEffectsHearEveryFrame) {
    Register("Listen", {200});
    Effect* effect = manager.Effects()[0];
    bool listed = false;
    auto& listeners = TheFrameNotifier().listeners;
    for (auto* node = listeners.first; listeners.count && node;) {
        if (node->value == effect) listed = true;
        node = node->next;
        if (node == listeners.first) break;
    }
    EXPECT_TRUE(listed);
    manager.Reset();  // a deleted effect leaves the notifier
    for (auto* node = listeners.first; listeners.count && node;) {
        EXPECT_NE(node->value, effect);
        node = node->next;
        if (node == listeners.first) break;
    }
}

TEST_F(EffectManagerTest, ChoiceFollowsTheWalkOrder) {
    // 100 then 300 for 200: neither replaces the other, the first met stays.
    Register("A", {100, 300});
    EXPECT_EQ(manager.FindEffect(String("A"), 200), manager.Effects()[0]);
    manager.Reset();
    Register("A", {300, 100});
    EXPECT_EQ(manager.FindEffect(String("A"), 200), manager.Effects()[0]);
    manager.Reset();
    // 100 then 150 for 200: the closer value from below wins.
    Register("B", {100, 150});
    EXPECT_EQ(manager.FindEffect(String("B"), 200), manager.Effects()[1]);
    manager.Reset();
    // 300 then 250: closer from above.
    Register("C", {300, 250});
    EXPECT_EQ(manager.FindEffect(String("C"), 200), manager.Effects()[1]);
    manager.Reset();
    // An exact match stays.
    Register("D", {200, 199});
    EXPECT_EQ(manager.FindEffect(String("D"), 200), manager.Effects()[0]);
    manager.Reset();
    // Quality 0 is always replaced by the next entry, even one far away.
    Register("E", {0, 900});
    EXPECT_EQ(manager.FindEffect(String("E"), 200), manager.Effects()[1]);
}

TEST_F(EffectManagerTest, UnknownNamesAndEmptyDescriptions) {
    EXPECT_EQ(manager.FindEffect(String("Nothing"), 200), nullptr);
    EXPECT_FALSE(manager.GetEffectCode(nullptr));
    SHADERDESC missing;
    missing.path = patht("no/such/effect.fx");
    EXPECT_FALSE(manager.GetEffectCode(&missing));
    EXPECT_EQ(manager.CodeCount(), 0u);
}

}  // namespace
