// The scene node: lookups by name (a later child of the same name wins, the displaced one
// stays owned and is destroyed with its parent), renaming, removal, cloning with its
// flags, parent links and bone binding, the world-matrix pass with its stack, the bounds
// pass, Animate once per pass, the "bones" statistic, and playing animations in the three
// modes.
#include "Effect/DrawItem.h"
#include "Core/ProgramObjects.h"
#include "Core/Timer.h"
#include "Scene/Hierarchy.h"
#include "Scene/NodeAnimation.h"
#include "Scene/RenderView.h"
#include "tests/EffectTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A drawable with a box that counts its destruction and can be cloned.
class CountedDrawable : public DrawItem {
public:
    explicit CountedDrawable(int* destroyed_, Box bounds = Box{0, 0, 0, 2, 2, 2}) : destroyed(destroyed_) {
        box = bounds;
        valid = 1;
    }
    ~CountedDrawable() override {
        if (destroyed) ++*destroyed;
    }
    DrawItem* Clone() override { return new CountedDrawable(destroyed, box); }
    bool Draw(Material*) override { return true; }
    int* destroyed;
};

// A drawable that follows bones: records the root it was bound to.
class FollowingDrawable : public CountedDrawable, public BoneBound {
public:
    FollowingDrawable(int* destroyed_, Hierarchy** boundTo_) : CountedDrawable(destroyed_), boundTo(boundTo_) {}
    DrawItem* Clone() override { return new FollowingDrawable(destroyed, boundTo); }
    bool BindBones(Hierarchy* root) override {
        *boundTo = root;
        return root && root->FindNode(String("Bone")) != nullptr;
    }
    bool QueryType(u32 typeId, void** out) override {
        if (typeId == BoneBoundTypeId()) {
            *out = static_cast<BoneBound*>(this);
            return true;
        }
        return CountedDrawable::QueryType(typeId, out);
    }
    Hierarchy** boundTo;
};

Hierarchy* Node(const char* name) {
    Hierarchy* node = new Hierarchy;
    node->name = String(name);
    return node;
}

Matrix Translation(f32 x, f32 y, f32 z) { return Matrix::FromAxes(Vec3(x, y, z), Vec3(0, 0, 1), Vec3(0, 1, 0)); }

std::string Name(const Hierarchy* node) { return node ? std::string(node->name.data ? node->name.data : "") : std::string("(null)"); }

// Child names in visiting order.
std::string ChildNames(Hierarchy& node) {
    std::string out;
    ChildMap::Node* entry = node.children.first;
    for (u32 i = 0; i < node.children.count; ++i, entry = entry->next) out += (out.empty() ? "" : ",") + Name(entry->value);
    return out;
}

// An animation sliding along x from 0 at 0 s to 4 at 4 s.
RefHandle<AbstractObject> Slide(f32 to = 4.0f) {
    NodeAnimation* animation = new NodeAnimation;
    animation->Position().SetFlags(kTrackLinear);
    animation->Position().AddKey(KeyData(0, 0, 0, 0));
    animation->Position().AddKey(KeyData(4, to, 0, 0));
    return RefHandle<AbstractObject>(animation);
}

class SceneNode : public ::testing::Test {
protected:
    void SetUp() override {
        ResetPassCounter();
        Timer::Freeze(true);
        statisticsWere = TheStatistics().enabled;
    }
    void TearDown() override {
        Timer::Freeze(false);
        TheStatistics().enabled = statisticsWere;
        TheStatistics().ClearCurrent();
    }
    u8 statisticsWere = 1;
};

}  // namespace

TEST_F(SceneNode, FindNodeMatchesItselfInAnyCaseThenSearchesDepthFirstInChildOrder) {
    Hierarchy root;
    root.name = String("Root");
    Hierarchy* a = Node("A");
    Hierarchy* b = Node("B");
    Hierarchy* deep = Node("Target");
    Hierarchy* later = Node("target");
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(root.AddChild(b));
    ASSERT_TRUE(a->AddChild(deep));
    ASSERT_TRUE(b->AddChild(later));
    EXPECT_EQ(root.FindNode(String("rOOT")), &root);
    EXPECT_EQ(root.FindNode(String("TARGET")), deep);
    EXPECT_EQ(b->FindNode(String("TARGET")), later);
    EXPECT_EQ(root.FindNode(String("none")), nullptr);
    EXPECT_EQ(root.FindChild(String("b")), b);
    EXPECT_EQ(root.FindChild(String("target")), nullptr);  // direct children only
    EXPECT_EQ(deep->GetParent(), a);
}

TEST_F(SceneNode, AChildAddedUnderATakenNameWinsAndTheDisplacedOneIsDestroyedWithTheParent) {
    int destroyed = 0;
    {
        Hierarchy root;
        Hierarchy* first = Node("Lamp");
        Hierarchy* second = Node("LAMP");
        first->SetObject(new CountedDrawable(&destroyed));
        second->SetObject(new CountedDrawable(&destroyed));
        ASSERT_TRUE(root.AddChild(first));
        ASSERT_TRUE(root.AddChild(second));
        EXPECT_EQ(root.FindChild(String("lamp")), second);
        EXPECT_EQ(root.FindNode(String("Lamp")), second);
        EXPECT_EQ(root.children.count, 1u);
        EXPECT_EQ(root.DisplacedCount(), 1);
        EXPECT_EQ(first->GetParent(), &root);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 2);  // both drawables, so both nodes: nothing leaked (ASan)
}

TEST_F(SceneNode, RenameKeepsTheChildUnderItsNewNameWhereItWinsTheLookup) {
    Hierarchy root;
    Hierarchy* a = Node("A");
    Hierarchy* b = Node("B");
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(root.AddChild(b));
    a->Rename(String("Renamed"));
    EXPECT_EQ(root.FindChild(String("renamed")), a);
    EXPECT_EQ(root.FindChild(String("A")), nullptr);
    EXPECT_EQ(a->GetParent(), &root);

    // Onto a name that is taken: the renamed child wins, the other stays owned.
    b->Rename(String("RENAMED"));
    EXPECT_EQ(root.FindChild(String("renamed")), b);
    EXPECT_EQ(root.DisplacedCount(), 1);
    EXPECT_EQ(root.children.count, 1u);

    // The displaced child renamed comes back into the map without taking its rival's place.
    a->Rename(String("Back"));
    EXPECT_EQ(root.FindChild(String("back")), a);
    EXPECT_EQ(root.FindChild(String("renamed")), b);
    EXPECT_EQ(root.DisplacedCount(), 0);

    Hierarchy lone;
    lone.Rename(String("Alone"));
    EXPECT_EQ(Name(&lone), "Alone");
}

TEST_F(SceneNode, RemoveChildDetachesWithoutDestroyingAndRefusesAnAbsentName) {
    Hierarchy root;
    Hierarchy* a = Node("A");
    ASSERT_TRUE(root.AddChild(a));
    a->flags = 0;
    EXPECT_FALSE(root.RemoveChild(String("nothing")));
    EXPECT_EQ(root.children.count, 1u);
    EXPECT_TRUE(root.RemoveChild(String("a")));
    EXPECT_EQ(root.children.count, 0u);
    EXPECT_EQ(a->GetParent(), nullptr);
    EXPECT_EQ(a->flags, u32(kNodeMoved));
    delete a;
}

TEST_F(SceneNode, AddChildRefusesRingsAndMovesAChildFromItsFormerParent) {
    Hierarchy root;
    Hierarchy* a = Node("A");
    Hierarchy* b = Node("B");
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(a->AddChild(b));
    Hierarchy* self = a;
    EXPECT_FALSE(b->AddChild(&root));
    EXPECT_FALSE(a->AddChild(self));
    EXPECT_FALSE(a->AddChild(nullptr));
    ASSERT_TRUE(root.AddChild(b));
    EXPECT_EQ(b->GetParent(), &root);
    EXPECT_EQ(a->children.count, 0u);
    EXPECT_EQ(ChildNames(root), "A,B");
}

TEST_F(SceneNode, TransformsFetchedForAChangeMarkTheNodeAndItsAncestors) {
    Hierarchy root;
    Hierarchy* a = Node("A");
    Hierarchy* b = Node("B");
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(a->AddChild(b));
    root.flags = a->flags = b->flags = 0;
    b->GetTransform(false);
    EXPECT_EQ(b->flags, 0u);
    b->GetObjectTransform(true);
    EXPECT_EQ(b->flags, u32(kNodeChanged | kNodeMoved));
    EXPECT_EQ(a->flags, u32(kNodeChanged));
    EXPECT_EQ(root.flags, u32(kNodeChanged));
    a->SetChanged(false);
    EXPECT_EQ(a->flags, 0u);
    EXPECT_EQ(root.flags, u32(kNodeChanged));
}

TEST_F(SceneNode, CloneCopiesTheSubtreeWithParentLinksAndItsOwnDrawables) {
    int destroyed = 0;
    Hierarchy root;
    root.name = String("Root");
    root.cullOptions = kCullWithQuery;
    root.drawOrder = 7;
    root.kind = kNodeBone;
    root.SetPreMatrix(Translation(1, 2, 3));
    root.SetFaceAxes(String("xz"));
    root.GetTransform(true).SetPosition(5, 0, 0);
    root.SetObject(new CountedDrawable(&destroyed));
    Hierarchy* a = Node("A");
    Hierarchy* b = Node("B");
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(a->AddChild(b));

    Hierarchy* copy = root.Clone(nullptr, 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetParent(), nullptr);
    EXPECT_EQ(Name(copy), "Root");
    EXPECT_EQ(copy->cullOptions, u32(kCullWithQuery));
    EXPECT_EQ(copy->drawOrder, 7);
    EXPECT_EQ(copy->kind, kNodeBone);
    EXPECT_EQ(copy->preMatrix.m[13], 2.0f);
    EXPECT_EQ(copy->faceAxes[0] + copy->faceAxes[1] * 2 + copy->faceAxes[2] * 4, 5);
    EXPECT_EQ(copy->transform.GetPosition().x, 5.0f);
    EXPECT_NE(copy->GetObject(), root.GetObject());
    EXPECT_TRUE(copy->OwnsObject());
    Hierarchy* copyA = copy->FindChild(String("A"));
    ASSERT_NE(copyA, nullptr);
    EXPECT_NE(copyA, a);
    EXPECT_EQ(copyA->GetParent(), copy);
    ASSERT_NE(copy->FindNode(String("B")), nullptr);
    EXPECT_EQ(copy->FindNode(String("B"))->GetParent(), copyA);
    delete copy;
    EXPECT_EQ(destroyed, 1);  // the clone's own drawable
}

TEST_F(SceneNode, CloneFlagOneLeavesTheChildrenAndFlagTwoSharesTheDrawable) {
    int destroyed = 0;
    Hierarchy root;
    root.SetObject(new CountedDrawable(&destroyed));
    ASSERT_TRUE(root.AddChild(Node("A")));

    Hierarchy* bare = root.Clone(nullptr, kCloneNoChildren);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->children.count, 0u);
    delete bare;
    EXPECT_EQ(destroyed, 1);

    Hierarchy* sharing = root.Clone(nullptr, kCloneShareDrawable);
    ASSERT_NE(sharing, nullptr);
    EXPECT_EQ(sharing->GetObject(), root.GetObject());
    EXPECT_FALSE(sharing->OwnsObject());
    EXPECT_EQ(sharing->children.count, 1u);
    delete sharing;
    EXPECT_EQ(destroyed, 1);  // the shared drawable lives on with its source
}

TEST_F(SceneNode, AClonedFollowerIsBoundToTheNewRootsBonesOrToTheGivenRoot) {
    int destroyed = 0;
    Hierarchy* boundTo = nullptr;
    Hierarchy root;
    Hierarchy* skin = Node("Skin");
    skin->SetObject(new FollowingDrawable(&destroyed, &boundTo));
    ASSERT_TRUE(root.AddChild(skin));
    ASSERT_TRUE(root.AddChild(Node("Bone")));  // cloned after the skin

    Hierarchy* copy = root.Clone(nullptr, 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(boundTo, copy);
    EXPECT_NE(copy->FindNode(String("Bone")), root.FindNode(String("Bone")));

    Hierarchy other;
    Hierarchy* again = root.Clone(&other, 0);
    EXPECT_EQ(boundTo, &other);
    delete again;
    delete copy;
}

TEST_F(SceneNode, ThePreMatrixIsTheIdentityUntilSetSoTheFinalMatrixIsTheObjectWorld) {
    Hierarchy root;
    root.GetTransform(true).SetPosition(1, 2, 3);
    RenderView view;
    ASSERT_TRUE(root.UpdateWorld(view));
    EXPECT_EQ(root.finalMatrix.m[12], 1.0f);
    EXPECT_EQ(root.finalMatrix.m[14], 3.0f);
    root.SetPreMatrix(Translation(10, 0, 0));
    root.lastAnimated = 0;
    ResetPassCounter();
    ASSERT_TRUE(root.UpdateWorld(view));
    EXPECT_EQ(root.GetFinalWorld().m[12], 11.0f);
}

TEST_F(SceneNode, UpdateWorldChainsTheMatricesAndLeavesTheStackAsItFoundIt) {
    Hierarchy root;
    root.GetTransform(true).SetPosition(1, 0, 0);
    Hierarchy* a = Node("A");
    a->GetTransform(true).SetPosition(0, 2, 0);
    a->GetObjectTransform(true).SetPosition(0, 0, 5);  // the drawable only
    Hierarchy* b = Node("B");
    b->GetTransform(true).SetPosition(0, 0, 3);
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(a->AddChild(b));
    RenderView view;
    ASSERT_TRUE(root.UpdateWorld(view));
    EXPECT_EQ(view.Depth(), 1);
    EXPECT_EQ(view.firstPass, 1);
    EXPECT_EQ(PassCounter(), 1u);
    EXPECT_EQ(a->objectWorld.m[12], 1.0f);
    EXPECT_EQ(a->objectWorld.m[13], 2.0f);
    EXPECT_EQ(a->objectWorld.m[14], 5.0f);
    EXPECT_EQ(b->objectWorld.m[12], 1.0f);
    EXPECT_EQ(b->objectWorld.m[13], 2.0f);
    EXPECT_EQ(b->objectWorld.m[14], 3.0f);  // not the object offset of its parent

    // A leaf pushes nothing.
    Hierarchy leaf;
    ASSERT_TRUE(leaf.UpdateWorld(view));
    EXPECT_EQ(view.Depth(), 1);
}

TEST_F(SceneNode, AChainDeeperThanTheStackIsCutWithOneWarningAndNoOverrun) {
    effectsupport::WarningsCapture warnings;
    Hierarchy root;
    Hierarchy* tip = &root;
    for (int i = 0; i < 150; ++i) {
        Hierarchy* child = Node(("N" + std::to_string(i)).c_str());
        child->GetTransform(true).SetPosition(1, 0, 0);
        ASSERT_TRUE(tip->AddChild(child));
        tip = child;
    }
    RenderView view;
    ASSERT_TRUE(root.UpdateWorld(view));
    EXPECT_EQ(view.Depth(), 1);
    EXPECT_EQ(view.Overflows(), 1);
    Hierarchy* last = root.FindNode(String("N98"));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->objectWorld.m[12], 99.0f);  // the deepest level the stack holds
    EXPECT_EQ(root.FindNode(String("N99"))->objectWorld.valid, 0u);
    const std::string text = warnings.Text();
    EXPECT_NE(text.find("deeper than the matrix stack"), std::string::npos);
    EXPECT_EQ(text.find("deeper than the matrix stack"), text.rfind("deeper than the matrix stack"));

    // The culling pass is cut the same way.
    ASSERT_TRUE(CullSceneNodes(&root, view));
    EXPECT_EQ(view.Depth(), 1);
    EXPECT_EQ(view.flags, 0u);
}

TEST_F(SceneNode, PushAndPushProductStopAtTheLastRecord) {
    effectsupport::WarningsCapture warnings;
    RenderView view;
    for (int i = 1; i < RenderView::kStackRecords; ++i) ASSERT_TRUE(view.PushProduct(Translation(1, 0, 0)));
    EXPECT_EQ(view.Depth(), RenderView::kStackRecords);
    EXPECT_EQ(view.Top().m[12], 99.0f);
    EXPECT_FALSE(view.Push(IdentityMatrix));
    EXPECT_FALSE(view.PushProduct(IdentityMatrix));
    EXPECT_EQ(view.Depth(), RenderView::kStackRecords);
    EXPECT_EQ(view.Overflows(), 2);
    for (int i = 0; i < 200; ++i) view.Pop();
    EXPECT_EQ(view.Depth(), 1);
    EXPECT_EQ(view.Top().kind, u32(Identity));
}

TEST_F(SceneNode, AnimateEvaluatesOncePerPass) {
    int calls = 0;
    struct Counting : AbstractObject {
        explicit Counting(int* c) : calls(c) {}
        bool GetMatrix(f32, Matrix& out) override {
            ++*calls;
            out = IdentityMatrix;
            return true;
        }
        int* calls;
    };
    Hierarchy node;
    node.AddAnimation(String(""), RefHandle<AbstractObject>(new Counting(&calls)));
    AnimRequest request(String(""), 0, 1.0f, 0.0f, 0.0f);
    node.PlayAnimation(&request, kPlayReplace, false, 0.0f);
    ASSERT_NE(node.GetAnimationTree(), nullptr);
    RenderView view;
    NextPass();
    node.Animate(view);
    node.Animate(view);
    EXPECT_EQ(calls, 1);
    NextPass();
    node.Animate(view);
    EXPECT_EQ(calls, 2);
    // UpdateBounds and the pass share one evaluation.
    node.SetObject(new CountedDrawable(nullptr));
    ASSERT_TRUE(CullSceneNodes(&node, view));
    EXPECT_EQ(calls, 3);
}

TEST_F(SceneNode, UpdateBoundsMergesTheDrawableAndTheChildrenInTheParentsSpace) {
    Hierarchy root;
    root.GetTransform(true).SetPosition(10, 0, 0);
    root.SetObject(new CountedDrawable(nullptr, Box{0, 0, 0, 2, 2, 2}));
    Hierarchy* child = Node("C");
    child->GetTransform(true).SetPosition(0, 4, 0);
    child->SetObject(new CountedDrawable(nullptr, Box{0, 0, 0, 2, 2, 2}));
    ASSERT_TRUE(root.AddChild(child));
    ASSERT_TRUE(root.ComputeBounds());
    ASSERT_TRUE(child->IsValid());
    EXPECT_EQ(child->box.y, 4.0f);
    ASSERT_TRUE(root.IsValid());
    EXPECT_EQ(root.box.x, 10.0f);
    EXPECT_EQ(root.box.y, 2.0f);
    EXPECT_EQ(root.box.h, 6.0f);
    EXPECT_EQ(root.flags & kNodeChanged, 0u);

    // Unchanged: kept as it is.
    root.box.w = 99.0f;
    ASSERT_TRUE(root.ComputeBounds());
    EXPECT_EQ(root.box.w, 99.0f);

    // Explicit bounds win over the drawable's.
    root.SetChanged(true);
    root.cullOptions = kCullExplicitBounds;
    root.explicitBounds = Box{0, 0, 0, 1, 1, 1};
    ASSERT_TRUE(root.ComputeBounds());
    EXPECT_EQ(root.box.w, 1.0f);
    EXPECT_EQ(root.box.x, 10.0f);

    // Nothing to bound: not valid.
    Hierarchy empty;
    ASSERT_TRUE(empty.ComputeBounds());
    EXPECT_FALSE(empty.IsValid());
}

TEST_F(SceneNode, TheBonesStatisticCountsOnlyWhileStatisticsAreOn) {
    Hierarchy root;
    Hierarchy* bone = Node("Bone");
    bone->SetKind(kNodeBone);
    Hierarchy* other = Node("Other");
    other->SetKind(kNodeBone);
    ASSERT_TRUE(root.AddChild(bone));
    ASSERT_TRUE(bone->AddChild(other));
    ASSERT_TRUE(root.AddChild(Node("Plain")));
    StatisticsTable& statistics = TheStatistics();
    statistics.ClearCurrent();
    statistics.enabled = 1;
    RenderView view;
    root.UpdateWorld(view);
    EXPECT_EQ(statistics.Get(String("bones")), 3);
    root.UpdateWorld(view);
    EXPECT_EQ(statistics.Get(String("bones")), 6);
    statistics.enabled = 0;
    root.UpdateWorld(view);
    statistics.enabled = 1;
    EXPECT_EQ(statistics.Get(String("bones")), 6);
    EXPECT_EQ(root.CountNodes(false, false, true), 4);
}

TEST_F(SceneNode, PlayAnimationModeZeroReplacesAndDropsAnInactiveTree) {
    Hierarchy root;
    Hierarchy* child = Node("C");
    ASSERT_TRUE(root.AddChild(child));
    root.AddAnimation(String("walk"), Slide());
    child->AddAnimation(String("walk"), Slide(8.0f));
    AnimRequest walk(String("walk"), 0, 1.0f, 0.0f, 0.0f);
    root.PlayAnimation(&walk, kPlayReplace, false, 0.0f);
    ASSERT_NE(root.GetAnimationTree(), nullptr);
    ASSERT_NE(child->GetAnimationTree(), nullptr);  // applied to every child
    EXPECT_EQ(root.GetAnimationTree()->kind, u32(kAnimClip));

    RenderView view;
    view.flags = kPassAnimateAtTime;
    view.time = 2.0f;
    NextPass();
    child->Animate(view);
    EXPECT_FLOAT_EQ(child->localMatrix.m[12], 4.0f);

    AnimRequest missing(String("run"), 0, 1.0f, 0.0f, 0.0f);
    root.PlayAnimation(&missing, kPlayReplace, false, 0.0f);
    EXPECT_EQ(root.GetAnimationTree(), nullptr);
    EXPECT_EQ(child->GetAnimationTree(), nullptr);
}

TEST_F(SceneNode, PlayAnimationModeOneLayersTwoActiveTreesInTheOrderAsked) {
    Hierarchy node;
    node.AddAnimation(String("a"), Slide());
    node.AddAnimation(String("b"), Slide());
    AnimRequest a(String("a"), 0, 1.0f, 0.0f, 0.0f);
    AnimRequest b(String("b"), 0, 1.0f, 0.0f, 0.0f);
    AnimRequest none(String("none"), 0, 1.0f, 0.0f, 0.0f);

    node.PlayAnimation(&a, kPlayLayer, false, 0.0f);  // only the new one is active
    AnimState* first = node.GetAnimationTree();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->kind, u32(kAnimClip));

    node.PlayAnimation(&none, kPlayLayer, false, 0.0f);  // only the current one is active
    EXPECT_EQ(node.GetAnimationTree(), first);

    node.PlayAnimation(&b, kPlayLayer, true, 0.0f);
    AnimState* layer = node.GetAnimationTree();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->kind, u32(kAnimLayer));
    EXPECT_EQ(layer->first, first);  // current first
    ASSERT_NE(layer->second, nullptr);

    node.PlayAnimation(&b, kPlayLayer, false, 0.0f);
    ASSERT_EQ(node.GetAnimationTree()->kind, u32(kAnimLayer));
    EXPECT_EQ(node.GetAnimationTree()->second, layer);  // the new one first

    Hierarchy bare;
    bare.PlayAnimation(&none, kPlayLayer, false, 0.0f);
    EXPECT_EQ(bare.GetAnimationTree(), nullptr);
}

TEST_F(SceneNode, PlayAnimationModeTwoFadesFromAnEmptyTreeWhenThereIsNone) {
    Hierarchy node;
    node.AddAnimation(String("a"), Slide());
    AnimRequest a(String("a"), 0, 1.0f, 0.0f, 0.0f);
    AnimRequest none(String("none"), 0, 1.0f, 0.0f, 0.0f);
    node.PlayAnimation(&none, kPlayCrossFade, true, 500.0f);
    EXPECT_EQ(node.GetAnimationTree(), nullptr);

    node.PlayAnimation(&a, kPlayCrossFade, true, 500.0f);
    AnimState* fade = node.GetAnimationTree();
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->kind, u32(kAnimCrossFade));
    EXPECT_EQ(fade->duration, 500);
    ASSERT_NE(fade->first, nullptr);
    EXPECT_FALSE(fade->first->IsActive());  // the empty stand-in
    ASSERT_NE(fade->second, nullptr);
    EXPECT_TRUE(fade->second->IsActive());

    // Other modes change nothing.
    node.PlayAnimation(&a, 3, true, 0.0f);
    EXPECT_EQ(node.GetAnimationTree(), fade);
}

TEST_F(SceneNode, BindAnimationTakesTheClipAndItsBasePoseByName) {
    Hierarchy node;
    node.AddAnimation(String("a"), Slide());
    node.AddAnimation(String("a"), Slide(8.0f));  // replaces
    EXPECT_EQ(node.GetAnimations().count, 1);
    NodeTransform* pose = new NodeTransform;
    pose->SetPosition(0, 1, 0);
    node.GetNodePoses().PushBack(NamedHandle<NodeTransform>(RefHandle<NodeTransform>(pose), String("a")));
    AnimRequest a(String("a"), kAnimClamp, 2.0f, 0.0f, 0.0f);
    AnimState* state = node.BindAnimation(&a);
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->active);
    EXPECT_EQ(state->flags.bits, u32(kAnimClamp));
    EXPECT_EQ(state->speed, 2.0f);
    EXPECT_EQ(state->animationRange.end, 4.0f);
    EXPECT_EQ(state->basePose.Get(), pose);
    Matrix out;
    ASSERT_TRUE(state->EvaluateAt(true, 2.0f, out));
    EXPECT_FLOAT_EQ(out.m[12], 4.0f);
    EXPECT_FLOAT_EQ(out.m[13], 1.0f);
    delete state;
    EXPECT_EQ(node.BindAnimation(nullptr), nullptr);
}

TEST_F(SceneNode, ApplyPoseCopiesTheSavedTransformsAndResetsAMissingObjectPose) {
    Hierarchy root;
    Hierarchy* child = Node("C");
    ASSERT_TRUE(root.AddChild(child));
    NodeTransform* pose = new NodeTransform;
    pose->SetPosition(3, 0, 0);
    root.GetNodePoses().PushBack(NamedHandle<NodeTransform>(RefHandle<NodeTransform>(pose), String("rest")));
    root.GetObjectTransform(true).SetPosition(0, 9, 0);
    child->GetTransform(true).SetPosition(0, 0, 1);
    root.ApplyPose(String("rest"), true);
    EXPECT_EQ(root.transform.GetPosition().x, 3.0f);
    EXPECT_EQ(root.objectTransform.GetPosition().y, 0.0f);
    EXPECT_EQ(child->transform.GetPosition().z, 1.0f);  // no pose of that name
}

TEST_F(SceneNode, FaceCameraTurnsTheWorldToTheCameraAndLeavesAMatrixThatIsNoFrame) {
    Hierarchy node;
    node.SetFaceAxes(String("xyz"));
    SceneCamera camera;
    camera.SetView(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0));
    Matrix world = Translation(5, 0, 0);
    node.FaceCamera(camera, world);
    EXPECT_FLOAT_EQ(world.m[8], 1.0f);  // the direction row is the camera's
    EXPECT_FLOAT_EQ(world.m[10], 0.0f);
    EXPECT_FLOAT_EQ(world.m[2], -1.0f);
    EXPECT_FLOAT_EQ(world.m[12], 5.0f);

    // X and Y: the camera's direction levelled, up straight up.
    Hierarchy levelled;
    levelled.SetFaceAxes(String("Xy"));
    camera.SetView(Vec3(0, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0));
    Matrix upright = Translation(0, 0, 2);
    levelled.FaceCamera(camera, upright);
    EXPECT_FLOAT_EQ(upright.m[8], 1.0f);
    EXPECT_FLOAT_EQ(upright.m[9], 0.0f);
    EXPECT_FLOAT_EQ(upright.m[5], 1.0f);
    EXPECT_FLOAT_EQ(upright.m[14], 2.0f);

    // A matrix with no axes cannot be split into a frame: left as it was.
    Matrix flat = ZeroMatrix;
    flat.m[12] = 3.0f;
    flat.m[15] = 1.0f;
    const Matrix before = flat;
    node.FaceCamera(camera, flat);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(flat.m[i], before.m[i]) << i;
}
