// The particle emitter without a device: the frame table and the weighted frame choice,
// spawning by the generation period with its catch-up limit and the capacity, motion,
// ageing and the colour fade, spawn positions, and cloning. Random draws come from the C
// runtime, whose sequence differs between platforms: no test asserts one.
#include "Core/Timer.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Scene/ParticleEmitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>

namespace {

constexpr u64 kStart = 100000;

class Particles : public ::testing::Test {
protected:
    void SetUp() override {
        Timer::FreezeAt(kStart);
        emitter = std::make_unique<ParticleEmitter>();
        context.world = IdentityMatrix;
        context.view = IdentityMatrix;
        material.context = &context;
    }
    void TearDown() override {
        material.context = nullptr;
        emitter.reset();
        Timer::Freeze(false);
    }
    // One update at time t (the draw itself has no device here and is not asserted).
    void UpdateAt(u64 t) {
        Timer::FreezeAt(t);
        emitter->Update(&material);
    }
    // A steady emitter: one particle every `period` ms, fixed size, speed and life.
    void Steady(f32 period, i32 capacity, f32 life = -1.0f) {
        emitter->capacity = capacity;
        emitter->genPeriod.range = RangeValue(period);
        emitter->genPeriod.Restart();
        emitter->particleLife = RangeValue(life);
        emitter->particleSize = RangeValue(2.0f);
        emitter->spawnArea = RangeValue(0.0f);
        emitter->startSpeed = RangeValue(0.0f);
        emitter->dirDeviation = RangeValue(0.0f);
    }
    std::vector<Particle> Snapshot() {
        std::vector<Particle> out;
        emitter->Begin();
        for (Particle* p = emitter->Next(); p; p = emitter->Next()) out.push_back(*p);
        return out;
    }

    std::unique_ptr<ParticleEmitter> emitter;
    RenderContext context;
    Material material;
};

std::string TableText(const FrameTable& table) {
    std::string s;
    auto* node = table.first;
    std::set<i32> keys;
    for (u32 i = 0; i < table.count; ++i, node = node->next) keys.insert(node->key);
    for (i32 key : keys) {
        s += std::to_string(key) + ":" + table.Find(key)->value.c_str() + " ";
    }
    return s;
}

TEST_F(Particles, FrameTableRunsFromTheWeightAddedLast) {
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("B"), 20);
    emitter->SetFrameWeight(String("C"), 30);
    emitter->RebuildFrameTable();
    EXPECT_EQ(TableText(emitter->frameTable), "30:C 40:A 60:B ");
}

TEST_F(Particles, RefilingAWeightKeepsTheWalkOrder) {
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("B"), 20);
    emitter->SetFrameWeight(String("C"), 30);
    emitter->SetFrameWeight(String("A"), 5);
    emitter->RebuildFrameTable();
    EXPECT_EQ(TableText(emitter->frameTable), "30:C 35:A 55:B ");
}

TEST_F(Particles, ZeroWeightsShareTheirRunningTotal) {
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("B"), 0);
    emitter->SetFrameWeight(String("C"), 5);
    emitter->RebuildFrameTable();
    // C 5, A 15, B 15: B replaces A under 15.
    EXPECT_EQ(TableText(emitter->frameTable), "5:C 15:B ");

    emitter->frameWeights.Clear();
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("Z"), 0);
    emitter->RebuildFrameTable();
    EXPECT_EQ(TableText(emitter->frameTable), "0:Z 10:A ");
}

TEST_F(Particles, NegativeWeightsCountAsZero) {
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("B"), -20);
    emitter->RebuildFrameTable();
    EXPECT_EQ(TableText(emitter->frameTable), "0:B 10:A ");
    for (int i = 0; i < 200; ++i) {
        const String f = emitter->PickFrame();
        EXPECT_TRUE(f == "A" || f == "B") << f.c_str();
    }

    emitter->frameWeights.Clear();
    emitter->SetFrameWeight(String("N"), -5);
    emitter->SetFrameWeight(String("M"), -7);
    emitter->RebuildFrameTable();
    EXPECT_EQ(TableText(emitter->frameTable), "0:N ");
    EXPECT_TRUE(emitter->PickFrame() == "N");
}

TEST_F(Particles, ATotalBelowZeroPicksTheEmptyName) {
    emitter->frameTable.Insert(-3, String("X"), true);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(emitter->PickFrame().IsEmpty());
}

TEST_F(Particles, PickFrameChoosesByWeight) {
    EXPECT_TRUE(emitter->PickFrame().IsEmpty());
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("B"), 30);
    emitter->RebuildFrameTable();
    int a = 0, b = 0;
    for (int i = 0; i < 4000; ++i) {
        const String f = emitter->PickFrame();
        if (f == "A") ++a;
        else if (f == "B") ++b;
        else ADD_FAILURE() << "unexpected frame " << f.c_str();
    }
    // B, walked first, takes r = 0 to 30 and A 31 to 40: 31 and 10 out of 41.
    EXPECT_GT(b, a);
    EXPECT_GT(a, 500);
}

TEST_F(Particles, HugeWeightsDoNotOverflowTheTotal) {
    emitter->SetFrameWeight(String("A"), 2147483647);
    emitter->SetFrameWeight(String("B"), 2147483647);
    emitter->RebuildFrameTable();
    EXPECT_EQ(TableText(emitter->frameTable), "2147483647:A ");
    EXPECT_TRUE(emitter->PickFrame() == "A");
}

TEST_F(Particles, ApplyDescWithoutTextureLeavesNoFrames) {
    emitter->SetFrameWeight(String("A"), 10);
    emitter->RebuildFrameTable();
    Timer::FreezeAt(kStart + 77);
    emitter->ApplyDesc(&material);
    EXPECT_EQ(emitter->frameWeights.count, 0u);
    EXPECT_EQ(emitter->frameTable.count, 0u);
    EXPECT_EQ(emitter->lastUpdate, kStart + 77);
}

TEST_F(Particles, CapacityZeroNeverSpawns) {
    Steady(1.0f, 0);
    UpdateAt(kStart + 500);
    EXPECT_EQ(emitter->Count(), 0);
}

TEST_F(Particles, AnEmitterBuiltInCodeSpawnsFromItsConstruction) {
    // No Restart by its user: the constructor started the generation clock.
    emitter->capacity = 100;
    emitter->genPeriod.range = RangeValue(10.0f);
    emitter->particleLife = RangeValue(-1.0f);
    UpdateAt(kStart + 35);
    EXPECT_EQ(emitter->Count(), 3);
}

TEST_F(Particles, CatchUpIsCappedAtOneThousand) {
    Steady(1.0f, 5000);
    UpdateAt(kStart + 4000);
    EXPECT_EQ(emitter->Count(), 1000);
    // Each has its own exact time stamp, one period apart.
    const std::vector<Particle> all = Snapshot();
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].spawnTime, kStart + 1 + i) << i;
}

TEST_F(Particles, CatchUpStopsAtTheCapacity) {
    Steady(10.0f, 7);
    UpdateAt(kStart + 1000);
    EXPECT_EQ(emitter->Count(), 7);
    UpdateAt(kStart + 2000);
    EXPECT_EQ(emitter->Count(), 7);
}

TEST_F(Particles, PeriodZeroSpawnsNothing) {
    Steady(0.0f, 10);
    UpdateAt(kStart + 1000);
    UpdateAt(kStart + 2000);
    EXPECT_EQ(emitter->Count(), 0);
}

TEST_F(Particles, LifeEndsAndNegativeLifeNeverDoes) {
    Steady(100.0f, 10, 150.0f);
    UpdateAt(kStart + 100);
    ASSERT_EQ(emitter->Count(), 1);
    UpdateAt(kStart + 249);
    EXPECT_EQ(emitter->Count(), 2);
    UpdateAt(kStart + 250);  // the first has lived 150 ms
    EXPECT_EQ(emitter->Count(), 1);
    EXPECT_EQ(Snapshot()[0].spawnTime, kStart + 200);

    Timer::FreezeAt(kStart);
    auto forever = std::make_unique<ParticleEmitter>();
    emitter.swap(forever);
    Steady(100.0f, 10, -1.0f);
    UpdateAt(kStart + 100);
    UpdateAt(kStart + 1000000);
    EXPECT_EQ(emitter->Count(), 10);
    EXPECT_EQ(Snapshot()[0].spawnTime, kStart + 100);
}

TEST_F(Particles, MotionIntegratesAccelerationInTenMillisecondSteps) {
    Steady(100.0f, 1);
    emitter->startSpeed = RangeValue(2.0f);
    emitter->emitDir = Vec3(0.0f, 0.0f, 3.0f);
    emitter->acceleration = Vec3(0.0f, -1.0f, 0.0f);
    context.world.m[12] = 5.0f;  // the node stands at x = 5
    UpdateAt(kStart + 100);  // spawned at the node; dt = 10 steps of 10 ms
    ASSERT_EQ(emitter->Count(), 1);
    Particle p = Snapshot()[0];
    // Velocity (0, 0, 2) + (0, -1, 0) x 10, then position += velocity x 10.
    EXPECT_FLOAT_EQ(p.velocity.y, -10.0f);
    EXPECT_FLOAT_EQ(p.velocity.z, 2.0f);
    EXPECT_FLOAT_EQ(p.position.x, 5.0f);
    EXPECT_FLOAT_EQ(p.position.y, -100.0f);
    EXPECT_FLOAT_EQ(p.position.z, 20.0f);
}

TEST_F(Particles, IterationAccuracyHoldsBackTheStep) {
    Steady(100.0f, 1);
    emitter->startSpeed = RangeValue(1.0f);
    emitter->iterationAccuracy = 5.0f;  // 50 ms
    UpdateAt(kStart + 100);
    const Vec3 first = Snapshot()[0].position;
    UpdateAt(kStart + 140);  // 4 units: held back
    EXPECT_FLOAT_EQ(Snapshot()[0].position.y, first.y);
    UpdateAt(kStart + 160);  // 6 units have accumulated
    EXPECT_FLOAT_EQ(Snapshot()[0].position.y, first.y + 6.0f);
}

TEST_F(Particles, ColourFadesOverTheLifeOnly) {
    Steady(1000.0f, 1, 400.0f);
    emitter->startColor.Set(1.0f, 1.0f, 1.0f, 1.0f);
    emitter->endColor.Set(0.0f, 0.0f, 0.5f, 1.0f);
    UpdateAt(kStart + 1000);
    UpdateAt(kStart + 1100);
    FColor c = Snapshot()[0].color;
    EXPECT_FLOAT_EQ(c.a, 0.75f);
    EXPECT_FLOAT_EQ(c.r, 0.75f);
    EXPECT_FLOAT_EQ(c.g, 0.875f);
    EXPECT_FLOAT_EQ(c.b, 1.0f);

    // A particle that never ends keeps its start colour.
    Timer::FreezeAt(kStart);
    auto other = std::make_unique<ParticleEmitter>();
    emitter.swap(other);
    Steady(1000.0f, 1, -1.0f);
    emitter->startColor.Set(1.0f, 1.0f, 1.0f, 1.0f);
    emitter->endColor.Set(0.0f, 0.0f, 0.0f, 0.0f);
    UpdateAt(kStart + 1000);
    UpdateAt(kStart + 5000);
    c = Snapshot()[0].color;
    EXPECT_TRUE(FColor::Equals(c, emitter->startColor));
}

TEST_F(Particles, ConstantColourIsNotRecomputed) {
    Steady(1000.0f, 1, 400.0f);
    emitter->startColor.Set(1.0f, 0.2f, 0.2f, 0.2f);
    emitter->endColor.Set(1.0f, 0.2f, 0.2f, 0.2f);
    emitter->colorConstant = 1;
    UpdateAt(kStart + 1000);
    Particle* p = (emitter->Begin(), emitter->Next());
    ASSERT_NE(p, nullptr);
    p->color.Set(0.5f, 0.5f, 0.5f, 0.5f);  // only a recomputation would change it back
    UpdateAt(kStart + 1100);
    EXPECT_FLOAT_EQ(Snapshot()[0].color.r, 0.5f);
}

TEST_F(Particles, SpawnTypeOneKeepsTheNodeHeight) {
    Steady(1.0f, 50);
    emitter->spawnType = 1;
    emitter->spawnArea = RangeValue(5.0f);
    context.world.m[13] = 3.0f;  // the node at height 3
    Timer::FreezeAt(kStart + 50);
    for (int i = 0; i < 50; ++i) {
        Particle p;
        emitter->Spawn(&material, p);
        EXPECT_NEAR(p.position.y, 3.0f, 1e-4f);
        EXPECT_NEAR(std::sqrt(p.position.x * p.position.x + p.position.z * p.position.z), 5.0f, 1e-3f);
    }
}

TEST_F(Particles, SpawnTypeZeroScattersOverASphere) {
    Steady(1.0f, 50);
    emitter->spawnArea = RangeValue(2.0f);
    emitter->particleSize = RangeValue(3.0f);
    emitter->particleLife = RangeValue(99.9f);
    for (int i = 0; i < 50; ++i) {
        Particle p;
        emitter->Spawn(&material, p);
        const Vec3& q = p.position;
        EXPECT_NEAR(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z), 2.0f, 1e-3f);
        EXPECT_EQ(p.width, 3.0f);
        EXPECT_EQ(p.height, 3.0f);
        EXPECT_EQ(p.life, 99);
    }
}

TEST_F(Particles, CloneCopiesParametersButNoParticles) {
    Steady(5.0f, 20, 1000.0f);
    emitter->SetFrameWeight(String("A"), 10);
    emitter->SetFrameWeight(String("B"), 20);
    emitter->RebuildFrameTable();
    emitter->acceleration = Vec3(1, 2, 3);
    emitter->timeScale = 2.0f;
    emitter->sizeConstant = 1;
    emitter->pointSpritesAllowed = 0;
    UpdateAt(kStart + 50);
    ASSERT_GT(emitter->Count(), 0);
    std::unique_ptr<DrawItem> item(emitter->Clone());
    auto* copy = dynamic_cast<ParticleEmitter*>(item.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Count(), 0);
    EXPECT_EQ(copy->capacity, 20);
    EXPECT_EQ(copy->acceleration.z, 3.0f);
    EXPECT_EQ(copy->timeScale, 2.0f);
    EXPECT_EQ(copy->lastUpdate, emitter->lastUpdate);
    EXPECT_EQ(copy->genPeriod.start, emitter->genPeriod.start);
    EXPECT_EQ(copy->sizeConstant, 1);
    EXPECT_EQ(copy->pointSpritesAllowed, 0);
    EXPECT_EQ(TableText(copy->frameTable), "20:B 30:A ");
    EXPECT_EQ(copy->frameWeights.count, 2u);
}

TEST_F(Particles, DrawWithoutMaterialContextFails) {
    Steady(1.0f, 10);
    EXPECT_FALSE(emitter->Update(nullptr));
    material.context = nullptr;
    EXPECT_FALSE(emitter->Update(&material));
}

}  // namespace
