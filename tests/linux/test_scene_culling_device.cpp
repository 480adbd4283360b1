// The culling pass against the reference device with a real render queue. Each drawable
// marks its draw with an ambient state of its own number, so the call log shows what was
// drawn, in which order, and what was drawn inside an occlusion query; the context each
// drawable was drawn with tells the flags, the lights and the matrices it was given.
//
// The camera stands at the origin looking along +z with a near plane at 1: a node at
// z = 10 is in view, one at z = -10 is behind it.
#include "PlatformD3d9Support.h"

#include "Effect/DrawItem.h"
#include "Core/ProgramObjects.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/StateCache.h"
#include "Effect/DebugBox.h"
#include "Effect/Light.h"
#include "Effect/Material.h"
#include "Effect/RenderQueue.h"
#include "Scene/Hierarchy.h"
#include "Scene/RenderView.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

struct Seen {
    u32 sceneFlags = 0;
    LightingInfo* lighting = nullptr;
    i32 lights = -1;
    Matrix world{};
    Box box;
    bool ownContext = false;  // drawn with its node's own context (no queue)
};

// What each mark saw when it was drawn.
std::map<DWORD, Seen> g_seen;

class MarkingDrawable : public DrawItem {
public:
    explicit MarkingDrawable(DWORD mark_, Hierarchy* node_) : mark(mark_), node(node_) {
        box = Box{0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};
        valid = 1;
    }
    bool Draw(Material* material) override {
        Seen seen;
        if (material && material->context) {
            const RenderContext& context = *material->context;
            seen.sceneFlags = context.sceneFlags;
            seen.lighting = context.lighting.Get();
            seen.lights = context.lighting ? context.lighting->LightCount() : -1;
            seen.world = context.world;
            seen.box = context.box;
            seen.ownContext = material->context == &node->context;
        }
        g_seen[mark] = seen;
        return SUCCEEDED(TheDevice()->SetRenderState(D3DRS_AMBIENT, mark));
    }
    bool QueryType(u32 typeId, void** out) override {
        if (typeId == DrawNodeTypeId()) {
            *out = static_cast<DrawItem*>(this);
            return true;
        }
        return DrawItem::QueryType(typeId, out);
    }
    DWORD mark;
    Hierarchy* node;
};

std::string Mark(DWORD mark) { return "SetRenderState(139, " + std::to_string(mark) + ")"; }

// The query issues (0x2 begin, 0x1 end), the box draws and the draw marks, in order.
Calls DrawCalls() {
    Calls out;
    for (const std::string& call : PlatformTest_D3d9CallLog()) {
        if (call.rfind("Issue(", 0) == 0)
            out.push_back(call.substr(call.rfind(' ') + 1));
        else if (call.rfind("SetRenderState(139,", 0) == 0 || call.rfind("DrawPrimitive(", 0) == 0)
            out.push_back(call);
    }
    return out;
}

// A node at (x, y, z) in its parent's space with a drawable of unit size marked `mark`
// (0: no drawable). Its box is its drawable's with its children's.
Hierarchy* Node(const char* name, DWORD mark, f32 x, f32 y, f32 z) {
    Hierarchy* node = new Hierarchy;
    node->name = String(name);
    node->GetTransform(true).SetPosition(x, y, z);
    if (mark) node->SetObject(new MarkingDrawable(mark, node));
    return node;
}

class SceneCulling : public ::testing::Test {
protected:
    void SetUp() override {
        platformd3d9::ResetPlatform();
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
            GTEST_SKIP() << "no windowed reference device";
        StateCache::InvalidateAll();
        TheDebugBox().Reset();
        ResetPassCounter();
        g_seen.clear();
        statisticsWere = TheStatistics().enabled;
        TheStatistics().enabled = 1;
        TheStatistics().ClearCurrent();
        view.camera.SetPerspective(1.0f, 1000.0f, 1.0f, 1.0f);
        view.camera.SetView(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0));
        view.queue = &queue;
        PlatformTest_D3d9ClearCallLog();
    }
    void TearDown() override {
        queue.Clear();
        root.reset();
        TheDebugBox().Reset();
        StateCache::InvalidateAll();
        TheStatistics().enabled = statisticsWere;
        TheStatistics().ClearCurrent();
    }
    // One frame: cull, draw, clear; the calls it made.
    Calls Frame() {
        PlatformTest_D3d9ClearCallLog();
        EXPECT_TRUE(CullSceneNodes(root.get(), view));
        EXPECT_TRUE(queue.Draw());
        queue.Clear();
        return DrawCalls();
    }
    i32 Statistic(const char* name) const { return TheStatistics().Get(String(name)); }

    Application app;  // first in, last out: the nodes' queries leave it first
    RenderQueue queue;
    RenderView view;
    std::unique_ptr<Hierarchy> root;
    u8 statisticsWere = 1;
};

}  // namespace

TEST_F(SceneCulling, ANodeOutsideTheFrustumIsNotSubmittedAndItsChildrenAreNotVisited) {
    root.reset(Node("Root", 0, 0, 0, 0));
    Hierarchy* front = Node("Front", 1, 0, 0, 10);
    Hierarchy* behind = Node("Behind", 2, 0, 0, -10);
    Hierarchy* beyond = Node("Beyond", 3, 0, 0, -5);
    ASSERT_TRUE(root->AddChild(front));
    ASSERT_TRUE(root->AddChild(behind));
    ASSERT_TRUE(behind->AddChild(beyond));
    beyond->culled = 7;
    EXPECT_EQ(Frame(), (Calls{Mark(1)}));
    EXPECT_EQ(behind->culled, 1);
    EXPECT_EQ(front->culled, 0);
    EXPECT_EQ(beyond->culled, 7);  // never visited
    EXPECT_EQ(Statistic("clipped"), 3);  // the node, its drawable and the one below
    EXPECT_EQ(Statistic("nodes"), 4);
    EXPECT_EQ(view.Depth(), 1);
    EXPECT_EQ(view.flags, 0u);

    TheStatistics().enabled = 0;
    TheStatistics().ClearCurrent();
    Frame();
    TheStatistics().enabled = 1;
    EXPECT_EQ(Statistic("clipped"), 0);
    EXPECT_EQ(Statistic("nodes"), 0);
}

TEST_F(SceneCulling, ANoCullNodeIsNeverRejectedAndItsChildrenAreStillTested) {
    root.reset(Node("Root", 0, 0, 0, 0));
    Hierarchy* behind = Node("Behind", 2, 0, 0, -10);
    behind->GetProperties().children.Record(String("NoCull"));
    Hierarchy* below = Node("Below", 3, 0, 0, -1);  // z = -11
    Hierarchy* ahead = Node("Ahead", 4, 0, 0, 20);   // z = 10
    ASSERT_TRUE(root->AddChild(behind));
    ASSERT_TRUE(behind->AddChild(below));
    ASSERT_TRUE(behind->AddChild(ahead));
    const Calls calls = Frame();
    EXPECT_EQ(behind->culled, 0);
    EXPECT_EQ(below->culled, 1);
    EXPECT_EQ(ahead->culled, 0);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(g_seen.count(2) && g_seen.count(4));
}

TEST_F(SceneCulling, ChildrenOfANodeWhollyInsideSkipTheFrustumTestAndTheFlagIsClearedAfter) {
    root.reset(Node("Root", 0, 0, 0, 0));  // reaches behind the eye: crosses the near plane
    Hierarchy* inside = Node("Inside", 1, 0, 0, 10);
    Hierarchy* child = Node("Child", 2, 0, 0, 1);
    Hierarchy* sibling = Node("Sibling", 3, 0, 0, 30);
    ASSERT_TRUE(root->AddChild(inside));
    ASSERT_TRUE(inside->AddChild(child));
    ASSERT_TRUE(root->AddChild(sibling));
    ASSERT_TRUE(root->AddChild(Node("Behind", 4, 0, 0, -10)));
    Frame();
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[1].sceneFlags & kPassNoFrustum, 0u);
    EXPECT_EQ(g_seen[2].sceneFlags & kPassNoFrustum, u32(kPassNoFrustum));
    EXPECT_EQ(g_seen[3].sceneFlags & kPassNoFrustum, 0u);  // cleared on the way back
    EXPECT_EQ(view.flags, 0u);
    // The world refresh ran under the root: every item got the refreshed world.
    EXPECT_EQ(g_seen[2].world.m[14], 11.0f);
    EXPECT_EQ(g_seen[2].box.z, 11.0f);
}

TEST_F(SceneCulling, ANodeWhoseQuerySawNoPixelsIsQueuedAsItsBoxAloneAndItsChildrenAreSkipped) {
    root.reset(Node("Root", 1, 0, 0, 10));
    root->cullOptions |= kCullWithQuery;
    ASSERT_TRUE(root->AddChild(Node("Child", 2, 0, 0, 1)));
    PlatformTest_D3d9ScriptOcclusion({{0, 0}});
    // Frame 1: nothing is known yet; the root is drawn inside its query.
    EXPECT_EQ(Frame(), (Calls{"0x2)", Mark(1), "0x1)", Mark(2)}));
    // Frame 2: the query saw nothing: only the box is drawn, inside a new query.
    g_seen.clear();
    const Calls second = Frame();
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0], "0x2)");
    EXPECT_EQ(second[1].rfind("DrawPrimitive(", 0), 0u);
    EXPECT_EQ(second[2], "0x1)");
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(Statistic("occluded"), 3);
}

TEST_F(SceneCulling, AnOccludedNodeAroundTheEyeIsDrawnNormally) {
    root.reset(Node("Root", 1, 0, 0, 0.5f));
    static_cast<MarkingDrawable*>(root->GetObject())->box = Box{0.0f, 0.0f, 0.0f, 4.0f, 4.0f, 4.0f};  // around the eye
    root->cullOptions |= kCullWithQuery;
    ASSERT_TRUE(root->AddChild(Node("Child", 2, 0, 0, 10)));
    PlatformTest_D3d9ScriptOcclusion({{0, 0}, {0, 0}});
    Frame();
    const Calls second = Frame();
    EXPECT_EQ(second, (Calls{"0x2)", Mark(1), "0x1)", Mark(2)}));
    EXPECT_EQ(Statistic("occluded"), 3);  // counted all the same
}

TEST_F(SceneCulling, AResultNotReadyYetCountsAsVisible) {
    root.reset(Node("Root", 1, 0, 0, 10));
    root->cullOptions |= kCullWithQuery;
    PlatformTest_D3d9ScriptOcclusion({{0, 5}});
    Frame();
    EXPECT_EQ(Frame(), (Calls{"0x2)", Mark(1), "0x1)"}));
    EXPECT_EQ(Statistic("occluded"), 0);
}

TEST_F(SceneCulling, PassFlagNoQueriesIssuesNoneAndTheRootQueryFlagAsksForOne) {
    root.reset(Node("Root", 1, 0, 0, 10));
    view.flags = kPassRootQuery;
    EXPECT_EQ(Frame(), (Calls{"0x2)", Mark(1), "0x1)"}));
    root->cullOptions |= kCullWithQuery;
    view.flags = kPassNoQueries | kPassRootQuery;
    EXPECT_EQ(Frame(), (Calls{Mark(1)}));
    EXPECT_EQ(view.flags, u32(kPassNoQueries | kPassRootQuery));
    EXPECT_EQ(g_seen[1].sceneFlags, u32(kPassNoQueries | kPassRootQuery));
}

TEST_F(SceneCulling, PassFlagNoDrawTraversesWithoutSubmittingAndNoDescendStopsAtTheRoot) {
    root.reset(Node("Root", 1, 0, 0, 10));
    Hierarchy* behind = Node("Behind", 2, 0, 0, -30);
    ASSERT_TRUE(root->AddChild(behind));
    view.flags = kPassNoDraw;
    EXPECT_EQ(Frame(), Calls{});
    EXPECT_EQ(behind->culled, 1);  // visited and tested
    EXPECT_EQ(Statistic("nodes"), 3);

    behind->culled = 0;
    behind->GetTransform(true).SetPosition(0, 0, 1);
    view.flags = kPassNoDescend;
    EXPECT_EQ(Frame(), (Calls{Mark(1)}));
    EXPECT_EQ(behind->flags & kNodeMoved, u32(kNodeMoved));  // not visited
}

TEST_F(SceneCulling, ThePassDrawOrderOverrideReplacesEveryNodesOrder) {
    root.reset(Node("Root", 0, 0, 0, 0));
    Hierarchy* high = Node("High", 1, 0, 0, 9);
    high->SetDrawOrder(5);
    Hierarchy* low = Node("Low", 2, 0, 0, 8.5f);  // overlaps "High", nearer
    low->SetDrawOrder(1);
    for (Hierarchy* node : {high, low}) {
        node->GetMaterial().layers[0].blendEnabled = 1;
        node->GetMaterial().layers[0].destBlend = D3DBLEND_INVSRCALPHA;
        ASSERT_TRUE(root->AddChild(node));
    }
    EXPECT_EQ(Frame(), (Calls{Mark(2), Mark(1)}));  // the higher order later
    view.flags = kPassDrawOrderOverride;
    view.drawOrderOverride = 0;
    EXPECT_EQ(Frame(), (Calls{Mark(1), Mark(2)}));  // equal orders: farthest first
}

TEST_F(SceneCulling, ALitSubtreeGathersAgainAndAnUnlitOneGathersNothing) {
    PointLight* lamp = new PointLight;
    lamp->SetPosition(0, 0, 10);
    lamp->SetRange(3.0f);
    view.lighting->AddLight(RefHandle<Light>(lamp));

    root.reset(Node("Root", 1, 0, 0, 10));
    Hierarchy* near = Node("Near", 2, 0, 0, 0);
    Hierarchy* far = Node("Far", 3, 0, 0, 50);  // beyond the light's reach
    ASSERT_TRUE(root->AddChild(near));
    ASSERT_TRUE(root->AddChild(far));
    LightingInfo* viewLighting = view.lighting.Get();
    Frame();
    EXPECT_EQ(g_seen[1].lights, 1);
    EXPECT_EQ(g_seen[2].lights, 1);
    EXPECT_EQ(g_seen[3].lights, 0);
    EXPECT_NE(g_seen[2].lighting, g_seen[1].lighting);  // gathered again
    EXPECT_EQ(view.lighting.Get(), viewLighting);
    EXPECT_FALSE(view.extraLights);

    // Out of the light's reach altogether: the root's ambient-only set serves its subtree.
    root->GetTransform(true).SetPosition(0, 0, 100);
    Frame();
    EXPECT_EQ(g_seen[1].lights, 0);
    EXPECT_EQ(g_seen[2].lighting, g_seen[1].lighting);
    EXPECT_EQ(g_seen[3].lighting, g_seen[1].lighting);
    EXPECT_FALSE(view.extraLights);

    // The view's lighting for every node.
    view.flags = kPassViewLighting;
    Frame();
    EXPECT_EQ(g_seen[2].lighting, viewLighting);
    EXPECT_EQ(g_seen[3].lighting, viewLighting);
}

TEST_F(SceneCulling, NestedPassesLeaveTheViewAsTheyFoundIt) {
    root.reset(Node("Root", 1, 0, 0, 10));
    Hierarchy* tip = root.get();
    for (int i = 0; i < 5; ++i) {
        Hierarchy* child = Node(("N" + std::to_string(i)).c_str(), 10 + i, 0, 0, 1);
        ASSERT_TRUE(tip->AddChild(child));
        tip = child;
    }
    ASSERT_TRUE(root->UpdateWorld(view));
    view.flags = kPassDrawOrderOverride | kPassSkipBoneUpdate;
    view.queueValue = 77;
    view.firstPass = 0;
    LightingInfo* lighting = view.lighting.Get();
    const u64 passes = PassCounter();
    Frame();
    EXPECT_EQ(view.Depth(), 1);
    EXPECT_EQ(view.flags, u32(kPassDrawOrderOverride | kPassSkipBoneUpdate));
    EXPECT_EQ(view.queueValue, 77u);
    EXPECT_EQ(view.firstPass, 0);
    EXPECT_EQ(view.lighting.Get(), lighting);
    EXPECT_FALSE(view.extraLights);
    EXPECT_EQ(PassCounter(), passes);  // not the outermost call of a pass
    EXPECT_EQ(g_seen.size(), 6u);
    EXPECT_EQ(g_seen[14].world.m[14], 15.0f);
}

TEST_F(SceneCulling, WithoutAQueueTheDrawableIsDrawnAtOnceWithItsNodesContext) {
    root.reset(Node("Root", 1, 0, 0, 10));
    root->cullOptions |= kCullWithQuery;  // no queue, no query
    view.queue = nullptr;
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(CullSceneNodes(root.get(), view));
    EXPECT_EQ(DrawCalls(), (Calls{Mark(1)}));
    EXPECT_TRUE(g_seen[1].ownContext);
    EXPECT_EQ(root->GetMaterial().context, nullptr);
    EXPECT_EQ(root->GetRenderContext().world.m[14], 10.0f);
}

TEST_F(SceneCulling, ANodeWithoutAValidBoxGetsAnEmptyBoxAtItsPosition) {
    root.reset(Node("Root", 0, 0, 0, 0));
    Hierarchy* loose = Node("Loose", 1, 3, 4, 50);
    static_cast<MarkingDrawable*>(loose->GetObject())->valid = 0;
    ASSERT_TRUE(root->AddChild(loose));
    Frame();
    ASSERT_TRUE(g_seen.count(1));
    const Box box = g_seen[1].box;
    EXPECT_EQ(box.x, 3.0f);
    EXPECT_EQ(box.y, 4.0f);
    EXPECT_EQ(box.z, 50.0f);
    EXPECT_EQ(box.w + box.h + box.d, 0.0f);
}

TEST_F(SceneCulling, AfterALostDeviceAndItsResetAQueryBeginsAgainButHasNoResultUntilANewEnd) {
    Hierarchy node;
    OcclusionQuery& query = node.GetOcclusionQuery();
    u32 pixels = 99;
    EXPECT_FALSE(query.End());  // never begun
    ASSERT_TRUE(query.Begin());
    ASSERT_TRUE(query.End());
    EXPECT_TRUE(query.Invalidate());
    EXPECT_EQ(query.state, u32(OcclusionQuery::kLostQuery));
    EXPECT_EQ(query.query, nullptr);
    EXPECT_TRUE(query.Restore());
    EXPECT_EQ(query.state, u32(OcclusionQuery::kIdle));
    EXPECT_NE(query.query, nullptr);
    EXPECT_FALSE(query.GetData(pixels));
    EXPECT_TRUE(query.Begin());
    EXPECT_FALSE(query.GetData(pixels));
    EXPECT_TRUE(query.End());
    EXPECT_TRUE(query.GetData(pixels));
    EXPECT_FALSE(query.GetData(pixels));  // read once
    EXPECT_EQ(pixels, 0u);                // nothing drawn between
}
