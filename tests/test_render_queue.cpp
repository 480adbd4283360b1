// The render queue's filing and drawing order, seen through drawables that record each draw
// (its name, the batch flags and context it was given) and an effect that records its
// selection, passes and ends. The effect drawable opens and closes the effect by the batch
// flags as the mesh draw does, so "begun once, ended once" is asserted on what the effect
// received.
#include "Effect/DrawItem.h"
#include "Effect/DebugBox.h"
#include "Effect/Effect.h"
#include "Effect/Material.h"
#include "Effect/RenderQueue.h"
#include "tests/RecordingEffect.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

struct Drawn {
    std::string name;
    u32 batchFlags;
    bool ownContext;  // the material pointed at the item's own context during the draw
};

// The shared recording effect with the pass count its selection reports.
class BatchEffect : public RecordingEffect {
public:
    BatchEffect(i32 passes, std::vector<std::string>* log_) : RecordingEffect(log_) { passCount = passes; }
};

class Recorder {
public:
    std::vector<Drawn> drawn;
    Names Order() const {
        Names out;
        for (const Drawn& d : drawn) out.push_back(d.name);
        return out;
    }
};

// A drawable that records its draws. With an effect it drives the effect by the batch
// flags of the context: first selects and runs the passes, ending only a multi-pass
// effect; inside sets parameters; last sets parameters and ends; no flag does it all.
class RecordingDrawable : public DrawItem {
public:
    RecordingDrawable(std::string name_, Recorder& recorder_, Effect* effect_ = nullptr)
        : name(std::move(name_)), recorder(recorder_), effect(effect_) {}
    bool Draw(Material* material) override {
        const RenderContext* context = material ? material->context : nullptr;
        recorder.drawn.push_back(Drawn{name, context ? context->batchFlags : 0xFFFFFFFFu, context == expected});
        if (!context) return false;
        if (GetFlag()) return true;  // switched off: draws nothing, as a mesh does
        if (effect) {
            const u32 flags = context->batchFlags;
            if (flags == 0 || flags & kBatchFirst) {
                i32 n = 0;
                effect->SelectTechnique(material, 0, n);
                for (i32 p = 0; p < n; ++p) {
                    effect->SetParameters(material, 0);
                    effect->BeginPass(p);
                }
                if (flags == 0 || n != 1) effect->End();
            } else {
                effect->SetParameters(material, 0);
                if (flags & kBatchLast) effect->End();
            }
        }
        return result;
    }

    std::string name;
    Recorder& recorder;
    Effect* effect;
    const RenderContext* expected = nullptr;
    bool result = true;
};

Material Opaque() { return Material(); }

Material Blended() {
    Material m;
    m.layers[0].blendEnabled = 1;
    m.layers[0].destBlend = D3DBLEND_INVSRCALPHA;
    return m;
}

Material WithEffect(Effect* effect, i32 layers = 1) {
    Material m;
    m.layers[0].effect = effect;
    m.layerCount = layers;
    return m;
}

class RenderQueueTest : public ::testing::Test {
protected:
    Recorder recorder;
    std::vector<std::string> effectLog;
    std::vector<std::unique_ptr<RecordingDrawable>> drawables;
    RenderQueue queue;

    // An item at (x, y, z) of unit size seen from the origin, drawn by a new recording
    // drawable of that name.
    RenderItem* Item(const char* name, Material* material, f32 x, f32 y = 0.0f, f32 z = 0.0f,
                     BatchEffect* effect = nullptr) {
        auto* item = new RenderItem;
        drawables.push_back(std::make_unique<RecordingDrawable>(name, recorder, effect));
        drawables.back()->expected = &item->context;
        item->drawable = drawables.back().get();
        item->material = material;
        item->context.box = Box{x, y, z, 1.0f, 1.0f, 1.0f};
        return item;
    }
    RenderItem* Grouped(const char* name, Material* material, BatchEffect* effect, f32 x = 1.0f) {
        RenderItem* item = Item(name, material, x, 0.0f, 0.0f, effect);
        item->context.sceneFlags = kSceneGroupByEffect;
        return item;
    }
    void TearDown() override { queue.Clear(); }
};

}  // namespace

TEST_F(RenderQueueTest, OpaqueItemsAreDrawnNearestFirstAndEqualDistancesInSubmissionOrder) {
    Material m = Opaque();
    queue.Submit(Item("far", &m, 5.0f));
    queue.Submit(Item("near", &m, 1.0f));
    queue.Submit(Item("mid", &m, 0.0f, 3.0f));
    queue.Submit(Item("mid2", &m, 0.0f, 0.0f, -3.0f));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"near", "mid", "mid2", "far"}));
}

TEST_F(RenderQueueTest, TransparentItemsAreDrawnFarthestFirstAfterTheOpaqueOnes) {
    Material glass = Blended();
    Material wall = Opaque();
    queue.Submit(Item("glass1", &glass, 1.0f));
    queue.Submit(Item("glass9", &glass, 9.0f));
    queue.Submit(Item("wall", &wall, 20.0f));
    queue.Submit(Item("glass4", &glass, 4.0f));
    queue.Submit(Item("glass4b", &glass, -4.0f));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"wall", "glass9", "glass4", "glass4b", "glass1"}));
}

TEST_F(RenderQueueTest, UnkeyedSortModeFilesEveryTransparentItemUnderKeyZero) {
    Material glass = Blended();
    queue.SetSortMode(RenderQueue::kSortUnkeyed);
    RenderItem* a = Item("a", &glass, 1.0f);
    EXPECT_EQ(queue.TransparentKey(*a), 0.0f);
    queue.Submit(a);
    queue.Submit(Item("b", &glass, 9.0f));
    queue.Submit(Item("c", &glass, 4.0f));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"a", "b", "c"}));
}

TEST_F(RenderQueueTest, TransparentKeysByEyeAndByViewingRay) {
    Material glass = Blended();
    std::unique_ptr<RenderItem> item(Item("a", &glass, 3.0f, 4.0f, 10.0f));
    item->context.eye = Vec3(0.0f, 0.0f, -2.0f);
    // The view looks along +z: its third column is (0, 0, 1).
    EXPECT_FLOAT_EQ(queue.TransparentKey(*item), 13.0f);
    queue.SetSortMode(RenderQueue::kSortByRayDistance);
    EXPECT_FLOAT_EQ(queue.TransparentKey(*item), 5.0f);
    // A view without a direction falls back to the eye distance.
    for (f32& e : item->context.view.m) e = 0.0f;
    EXPECT_FLOAT_EQ(queue.TransparentKey(*item), 13.0f);
}

TEST_F(RenderQueueTest, AnOverrideEffectDecidesTransparencyBeforeTheMaterialsBlend) {
    BatchEffect says(1, &effectLog);
    BatchEffect denies(1, &effectLog);
    Material wall = Opaque();
    Material glass = Blended();
    // Said transparent by the effect: sorted with the transparent items, after "far".
    says.transparent = true;
    RenderItem* byEffect = Item("byEffect", &wall, 1.0f);
    byEffect->context.overrideEffect = &says;
    queue.Submit(byEffect);
    queue.Submit(Item("far", &wall, 50.0f));
    // Not transparent for the effect, but blended: transparent all the same.
    RenderItem* blended = Item("blended", &glass, 2.0f);
    blended->context.overrideEffect = &denies;
    queue.Submit(blended);
    // Opaque for the effect and not blended: opaque.
    RenderItem* solid = Item("solid", &wall, 60.0f);
    solid->context.overrideEffect = &denies;
    queue.Submit(solid);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"far", "solid", "blended", "byEffect"}));
}

TEST_F(RenderQueueTest, AnItemWithoutMaterialIsOpaque) {
    Material glass = Blended();
    queue.Submit(Item("glass", &glass, 9.0f));
    RenderItem* bare = Item("bare", nullptr, 1.0f);
    queue.Submit(bare);
    EXPECT_FALSE(queue.Draw());  // the recording drawable has no context to draw with
    EXPECT_EQ(recorder.Order(), (Names{"bare", "glass"}));
}

TEST_F(RenderQueueTest, AOnePassEffectSharedByThreeGroupedItemsIsBegunOnceAndEndedOnce) {
    BatchEffect fx(1, &effectLog);
    Material m = WithEffect(&fx);
    EXPECT_TRUE(queue.GetGroupByEffect());
    queue.Submit(Grouped("a", &m, &fx, 3.0f));
    queue.Submit(Grouped("b", &m, &fx, 1.0f));
    queue.Submit(Grouped("c", &m, &fx, 2.0f));
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 3u);
    EXPECT_EQ(recorder.Order(), (Names{"a", "b", "c"}));  // submission order, not distance
    EXPECT_EQ(recorder.drawn[0].batchFlags, u32(kBatchFirst));
    EXPECT_EQ(recorder.drawn[1].batchFlags, u32(kBatchInside));
    EXPECT_EQ(recorder.drawn[2].batchFlags, u32(kBatchLast));
    for (const Drawn& d : recorder.drawn) EXPECT_TRUE(d.ownContext) << d.name;
    EXPECT_EQ(effectLog, (Names{"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "SetParameters(0)", "SetParameters(0)", "End"}));
}

TEST_F(RenderQueueTest, ATwoPassEffectEndsItselfSoLaterGroupedItemsDrawUnbatched) {
    BatchEffect fx(2, &effectLog);
    Material m = WithEffect(&fx);
    queue.Submit(Grouped("a", &m, &fx));
    queue.Submit(Grouped("b", &m, &fx));
    queue.Submit(Grouped("c", &m, &fx));
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 3u);
    EXPECT_EQ(recorder.drawn[0].batchFlags, u32(kBatchFirst));
    EXPECT_EQ(recorder.drawn[1].batchFlags, 0u);
    EXPECT_EQ(recorder.drawn[2].batchFlags, 0u);
    i32 selects = 0;
    i32 ends = 0;
    for (const std::string& call : effectLog) {
        selects += call == "SelectTechnique(0)";
        ends += call == "End";
    }
    EXPECT_EQ(selects, 3);
    EXPECT_EQ(ends, 3);
}

TEST_F(RenderQueueTest, AGroupOfOneBeginsAndEndsOnItsOwn) {
    BatchEffect fx(1, &effectLog);
    Material m = WithEffect(&fx);
    queue.Submit(Grouped("a", &m, &fx));
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 1u);
    EXPECT_EQ(recorder.drawn[0].batchFlags, 0u);
    EXPECT_EQ(effectLog, (Names{"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "End"}));
}

TEST_F(RenderQueueTest, GroupsRunByEffectCreationThenByLightSetKeyWithNullLightingUnderZero) {
    BatchEffect first(1, &effectLog);
    BatchEffect second(1, &effectLog);
    Material m1 = WithEffect(&first);
    Material m2 = WithEffect(&second);
    RefHandle<LightingInfo> lit(new LightingInfo);
    lit->signature = 7;
    RefHandle<LightingInfo> unlit(new LightingInfo);  // key 0, like no lighting at all

    RenderItem* s = Grouped("second", &m2, &second);
    queue.Submit(s);
    RenderItem* a = Grouped("lit", &m1, &first);
    a->context.lighting = lit;
    queue.Submit(a);
    queue.Submit(Grouped("none1", &m1, &first));
    RenderItem* b = Grouped("zero", &m1, &first);
    b->context.lighting = unlit;
    queue.Submit(b);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"none1", "zero", "lit", "second"}));
    ASSERT_EQ(recorder.drawn.size(), 4u);
    EXPECT_EQ(recorder.drawn[0].batchFlags, u32(kBatchFirst));
    EXPECT_EQ(recorder.drawn[1].batchFlags, u32(kBatchLast));
    EXPECT_EQ(recorder.drawn[2].batchFlags, 0u);
    EXPECT_EQ(recorder.drawn[3].batchFlags, 0u);
}

TEST_F(RenderQueueTest, AnOverrideEffectGroupsAMaterialOfSeveralLayers) {
    BatchEffect fx(1, &effectLog);
    Material two;
    two.layerCount = 2;
    RenderItem* a = Grouped("a", &two, &fx);
    RenderItem* b = Grouped("b", &two, &fx);
    a->context.overrideEffect = &fx;
    b->context.overrideEffect = &fx;
    queue.Submit(a);
    queue.Submit(b);
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 2u);
    EXPECT_EQ(recorder.drawn[0].batchFlags, u32(kBatchFirst));
    EXPECT_EQ(recorder.drawn[1].batchFlags, u32(kBatchLast));
}

TEST_F(RenderQueueTest, UngroupableItemsOfAGroupingViewGoToThePlainListWithTheirOwnContext) {
    BatchEffect fx(1, &effectLog);
    Material twoLayers = WithEffect(&fx, 2);
    Material plain = Opaque();
    // Several layers, no effect: both drawn from the plain list, in submission order and
    // before the nearer opaque item.
    RenderItem* a = Grouped("layers", &twoLayers, nullptr, 9.0f);
    a->context.batchFlags = kBatchFirst | kBatchLast;  // stale flags are cleared
    queue.Submit(a);
    queue.Submit(Item("opaque", &plain, 0.5f));
    RenderItem* b = Grouped("noEffect", &plain, nullptr, 8.0f);
    b->context.batchFlags = kBatchInside;
    queue.Submit(b);
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 3u);
    EXPECT_EQ(recorder.Order(), (Names{"layers", "noEffect", "opaque"}));
    for (const Drawn& d : recorder.drawn) {
        EXPECT_EQ(d.batchFlags, 0u) << d.name;
        EXPECT_TRUE(d.ownContext) << d.name;
    }
}

TEST_F(RenderQueueTest, GroupingSwitchedOffSendsEffectItemsToThePlainList) {
    BatchEffect fx(1, &effectLog);
    Material m = WithEffect(&fx);
    queue.SetGroupByEffect(false);
    EXPECT_FALSE(queue.GetGroupByEffect());
    queue.Submit(Grouped("a", &m, &fx));
    queue.Submit(Grouped("b", &m, &fx));
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 2u);
    EXPECT_EQ(recorder.drawn[0].batchFlags, 0u);
    EXPECT_EQ(recorder.drawn[1].batchFlags, 0u);
    EXPECT_EQ(effectLog, (Names{"SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "End", "SelectTechnique(0)", "SetParameters(0)", "BeginPass(0)", "End"}));
}

TEST_F(RenderQueueTest, ASwitchedOffDrawableNeitherOpensNorClosesTheBatch) {
    BatchEffect fx(1, &effectLog);
    Material m = WithEffect(&fx);
    RenderItem* off = Grouped("off", &m, &fx);
    off->drawable->state = 1;
    queue.Submit(off);
    queue.Submit(Grouped("a", &m, &fx));
    queue.Submit(Grouped("b", &m, &fx));
    EXPECT_TRUE(queue.Draw());
    ASSERT_EQ(recorder.drawn.size(), 3u);
    EXPECT_EQ(recorder.drawn[1].batchFlags, u32(kBatchFirst));
    EXPECT_EQ(recorder.drawn[2].batchFlags, u32(kBatchLast));
}

TEST_F(RenderQueueTest, AnOcclusionItemGoesBackPastTheItemsItOverlaps) {
    Material m = Opaque();
    queue.Submit(Item("apart", &m, 0.0f, 1.5f));
    queue.Submit(Item("overlapping", &m, 2.0f));
    RenderItem* probe = Item("probe", &m, 2.5f);
    probe->occlusion = 1;
    queue.Submit(probe);
    queue.Submit(Item("behind", &m, 9.0f));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"apart", "probe", "overlapping", "behind"}));
}

TEST_F(RenderQueueTest, AnOcclusionItemThatOverlapsEveryListedItemGoesToTheFront) {
    Material m = Opaque();
    queue.Submit(Item("a", &m, 1.6f));
    queue.Submit(Item("b", &m, 1.8f));
    queue.Submit(Item("c", &m, 2.0f));
    RenderItem* probe = Item("probe", &m, 2.5f);
    probe->occlusion = 1;
    queue.Submit(probe);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"probe", "a", "b", "c"}));
}

TEST_F(RenderQueueTest, OverlappingTransparentItemsOfHigherPriorityAreDrawnLater) {
    Material glass = Blended();
    RenderItem* high = Item("high", &glass, 9.0f);
    high->priority = 5;
    queue.Submit(high);
    RenderItem* low = Item("low", &glass, 8.5f);  // overlaps "high", nearer
    low->priority = 1;
    queue.Submit(low);
    RenderItem* apart = Item("apart", &glass, 0.0f, 8.0f);
    apart->priority = 0;
    queue.Submit(apart);
    RenderItem* equal = Item("equal", &glass, 1.0f);  // overlaps nothing drawn before it
    equal->priority = 5;
    queue.Submit(equal);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"low", "high", "apart", "equal"}));
}

TEST_F(RenderQueueTest, ATransparentItemBelowEveryOverlappingPriorityGoesToTheFront) {
    Material glass = Blended();
    RenderItem* a = Item("a", &glass, 9.0f);
    a->priority = 3;
    queue.Submit(a);
    RenderItem* b = Item("b", &glass, 8.5f);
    b->priority = 2;
    queue.Submit(b);
    RenderItem* c = Item("c", &glass, 8.0f);
    c->priority = 1;
    queue.Submit(c);
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"c", "b", "a"}));
}

TEST_F(RenderQueueTest, AFailingDrawMakesTheResultFalseAndTheRestAreStillDrawn) {
    Material m = Opaque();
    Material glass = Blended();
    queue.Submit(Item("a", &m, 1.0f));
    RenderItem* failing = Item("failing", &m, 2.0f);
    static_cast<RecordingDrawable*>(failing->drawable)->result = false;
    queue.Submit(failing);
    queue.Submit(Item("c", &m, 3.0f));
    queue.Submit(Item("glass", &glass, 4.0f));
    EXPECT_FALSE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"a", "failing", "c", "glass"}));
}

TEST_F(RenderQueueTest, TheMaterialLetsGoOfTheItemsContextAfterTheDraw) {
    Material m = Opaque();
    Material glass = Blended();
    queue.Submit(Item("a", &m, 1.0f));
    queue.Submit(Item("b", &glass, 1.0f));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(m.context, nullptr);
    EXPECT_EQ(glass.context, nullptr);
    for (const Drawn& d : recorder.drawn) EXPECT_TRUE(d.ownContext) << d.name;
}

TEST_F(RenderQueueTest, ItemsStayQueuedUntilClearWhichDropsTheirLighting) {
    Material m = Opaque();
    Material glass = Blended();
    BatchEffect fx(1, &effectLog);
    Material withFx = WithEffect(&fx);
    RefHandle<LightingInfo> lighting(new LightingInfo);
    RenderItem* items[] = {Item("a", &m, 1.0f), Item("b", &glass, 1.0f), Grouped("c", &withFx, &fx),
                           Grouped("d", &m, nullptr)};
    for (RenderItem* item : items) {
        item->context.lighting = lighting;
        EXPECT_TRUE(queue.Submit(item));
    }
    EXPECT_EQ(lighting.UseCount(), 5u);
    EXPECT_EQ(queue.Count(), 4);
    EXPECT_TRUE(queue.Draw());
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.drawn.size(), 8u);
    queue.Clear();
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_EQ(lighting.UseCount(), 1u);
    recorder.drawn.clear();
    EXPECT_TRUE(queue.Draw());
    EXPECT_TRUE(recorder.drawn.empty());
}

TEST_F(RenderQueueTest, ANullItemIsRefused) {
    EXPECT_FALSE(queue.Submit(nullptr));
    EXPECT_EQ(queue.Count(), 0);
}

TEST(RenderQueueLifetime, DestructionFreesWhatIsStillQueued) {
    RefHandle<LightingInfo> lighting(new LightingInfo);
    Material glass = Blended();
    {
        RenderQueue queue;
        for (int i = 0; i < 3; ++i) {
            auto* item = new RenderItem;
            item->material = i == 0 ? &glass : nullptr;
            item->context.sceneFlags = i == 2 ? u32(kSceneGroupByEffect) : 0u;
            item->context.lighting = lighting;
            queue.Submit(item);
        }
        EXPECT_EQ(lighting.UseCount(), 4u);
    }
    EXPECT_EQ(lighting.UseCount(), 1u);
}

TEST(DebugBoxVertices, TwelveOutwardTrianglesOfAWhiteUnitBoxCentredOnTheOrigin) {
    DebugBox::Vertex v[DebugBox::kVertexCount];
    DebugBox::FillVertices(v);
    f32 area = 0.0f;
    for (u32 t = 0; t < DebugBox::kVertexCount / 3; ++t) {
        Vec3 p[3];
        for (u32 k = 0; k < 3; ++k) {
            const DebugBox::Vertex& vertex = v[3 * t + k];
            EXPECT_EQ(vertex.color, 0xFFFFFFFFu);
            for (f32 c : {vertex.x, vertex.y, vertex.z}) EXPECT_TRUE(c == 0.5f || c == -0.5f) << c;
            p[k] = Vec3(vertex.x, vertex.y, vertex.z);
        }
        const Vec3 e1 = p[1] - p[0];
        const Vec3 e2 = p[2] - p[0];
        const Vec3 normal(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
        area += 0.5f * Vec3Length(normal);
        // Clockwise seen from outside: the normal points away from the centre, towards the
        // face's own side.
        const Vec3 centroid = (p[0] + p[1] + p[2]) * (1.0f / 3.0f);
        EXPECT_GT(Vec3Dot(normal, centroid), 0.0f) << "triangle " << t;
    }
    EXPECT_FLOAT_EQ(area, 6.0f);  // every face covered once
}

TEST(RenderQueueWithoutDevice, AnItemWithoutDrawableCannotDrawItsBox) {
    TheDebugBox().Reset();
    RenderQueue queue;
    auto* probe = new RenderItem;
    probe->occlusion = 1;
    queue.Submit(probe);
    EXPECT_FALSE(queue.Draw());
    EXPECT_EQ(queue.Count(), 1);
    TheDebugBox().Reset();
}

TEST_F(RenderQueueTest, OcclusionItemsAndItemsWithoutDrawableAreNeverGrouped) {
    BatchEffect fx(1, &effectLog);
    Material m = WithEffect(&fx);
    RenderItem* probe = Grouped("probe", &m, &fx, 5.0f);
    probe->occlusion = 1;  // drawn in the opaque run, where its query is issued
    queue.Submit(probe);
    queue.Submit(Grouped("a", &m, &fx, 9.0f));
    queue.Submit(Grouped("b", &m, &fx, 9.0f));
    EXPECT_TRUE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"a", "b", "probe"}));
    ASSERT_EQ(recorder.drawn.size(), 3u);
    EXPECT_EQ(recorder.drawn[0].batchFlags, u32(kBatchFirst));
    EXPECT_EQ(recorder.drawn[1].batchFlags, u32(kBatchLast));
    EXPECT_EQ(recorder.drawn[2].batchFlags, 0u);

    // Without a drawable the item is an occlusion box, not a grouped draw (and without a
    // device the box cannot be drawn).
    TheDebugBox().Reset();
    RenderItem* bare = Grouped("bare", &m, &fx);
    bare->drawable = nullptr;
    queue.Submit(bare);
    recorder.drawn.clear();
    EXPECT_FALSE(queue.Draw());
    EXPECT_EQ(recorder.Order(), (Names{"a", "b", "probe"}));
}
