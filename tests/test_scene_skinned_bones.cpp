// Binding a skinned mesh to the bones of a node tree: every bone name found under the
// root in any letter case and bound to that node's final matrix; one missing name binds
// nothing; and a cloned tree's skinned mesh follows the clone's bones, not the source's.
#include "Scene/Hierarchy.h"
#include "Scene/SkinnedMesh.h"
#include "tests/SkinFixtures.h"

#include <gtest/gtest.h>

#include <memory>

using namespace skinfixtures;

namespace {

Hierarchy* Node(const char* name, Hierarchy* parent) {
    Hierarchy* node = nullptr;
    EXPECT_TRUE(CreateSceneNode(&node));
    node->name = String(name);
    if (parent) {
        EXPECT_TRUE(parent->AddChild(node));
    }
    return node;
}

// Root with a bone chain Hip > Knee and a node Body that draws a skinned mesh whose
// bones are named "hip" and "KNEE".
class SkinnedBones : public ::testing::Test {
protected:
    std::unique_ptr<SkinModel> model;
    std::unique_ptr<Hierarchy> root;
    Hierarchy* hip = nullptr;
    Hierarchy* knee = nullptr;
    SkinnedMesh* mesh = nullptr;

    void SetUp() override {
        SourceVertex v{{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, {}, {}};
        model = std::make_unique<SkinModel>(PositionNormalLayout(), std::vector<SourceVertex>{v},
                                            std::vector<std::vector<Influence>>{{{0, 0.5f}, {1, 0.5f}}}, 2);
        model->skin.boneNames[0] = String("hip");
        model->skin.boneNames[1] = String("KNEE");
        root.reset(Node("Root", nullptr));
        hip = Node("Hip", root.get());
        knee = Node("Knee", hip);
        mesh = new SkinnedMesh;
        mesh->SetSource(&model->mesh, &model->skin);
        Node("Body", root.get())->SetObject(mesh);
    }

    static SkinnedMesh* MeshOf(Hierarchy* node) {
        SkinnedMesh* found = nullptr;
        if (!node || !node->GetObject() ||
            !node->GetObject()->QueryType(SkinnedMeshTypeId(), reinterpret_cast<void**>(&found)))
            return nullptr;
        return found;
    }
};

}  // namespace

TEST_F(SkinnedBones, EveryBoneIsFoundUnderTheRootInAnyLetterCase) {
    ASSERT_TRUE(mesh->BindBones(root.get()));
    EXPECT_EQ(mesh->GetBoneRoot(), root.get());
    ASSERT_EQ(mesh->BoneCount(), 2u);
    EXPECT_EQ(mesh->BoneMatrix(0), &hip->GetFinalWorld());
    EXPECT_EQ(mesh->BoneMatrix(1), &knee->GetFinalWorld());
}

TEST_F(SkinnedBones, OneMissingBoneBindsNone) {
    ASSERT_TRUE(mesh->BindBones(root.get()));
    // Under the knee there is no hip: nothing stays bound from before either.
    EXPECT_FALSE(mesh->BindBones(knee));
    EXPECT_EQ(mesh->BoneCount(), 0u);
    EXPECT_EQ(mesh->BoneMatrix(0), nullptr);
    model->skin.boneNames[1] = String("Ankle");
    EXPECT_FALSE(mesh->BindBones(root.get()));
    EXPECT_EQ(mesh->BoneCount(), 0u);
}

TEST_F(SkinnedBones, NothingBindsWithoutARootOrASource) {
    EXPECT_FALSE(mesh->BindBones(nullptr));
    SkinnedMesh bare;
    EXPECT_FALSE(bare.BindBones(root.get()));
    EXPECT_EQ(bare.BoneCount(), 0u);
}

TEST_F(SkinnedBones, TheMeshAnswersAsABoneFollower) {
    BoneBound* follower = nullptr;
    ASSERT_TRUE(mesh->QueryType(BoneBoundTypeId(), reinterpret_cast<void**>(&follower)));
    EXPECT_EQ(follower, static_cast<BoneBound*>(mesh));
    DrawItem* drawable = nullptr;
    EXPECT_TRUE(mesh->QueryType(DrawItemTypeId(), reinterpret_cast<void**>(&drawable)));
}

TEST_F(SkinnedBones, ASkinnedCloneFollowsTheNewRootsBones) {
    ASSERT_TRUE(mesh->BindBones(root.get()));
    mesh->SetSkinInterval(40);
    std::unique_ptr<Hierarchy> copy(root->Clone(nullptr, 0));
    ASSERT_NE(copy, nullptr);
    SkinnedMesh* cloned = MeshOf(copy->FindNode(String("Body")));
    ASSERT_NE(cloned, nullptr);
    ASSERT_NE(cloned, mesh);
    EXPECT_EQ(cloned->GetBoneRoot(), copy.get());
    ASSERT_EQ(cloned->BoneCount(), 2u);
    EXPECT_EQ(cloned->BoneMatrix(0), &copy->FindNode(String("Hip"))->GetFinalWorld());
    EXPECT_EQ(cloned->BoneMatrix(1), &copy->FindNode(String("Knee"))->GetFinalWorld());
    EXPECT_EQ(cloned->GetSkinInterval(), 40);
    // The source keeps its own bones.
    EXPECT_EQ(mesh->BoneMatrix(0), &hip->GetFinalWorld());

    // Given a bone root, the clone binds under it.
    std::unique_ptr<Hierarchy> body(root->FindNode(String("Body"))->Clone(root.get(), 0));
    SkinnedMesh* alone = MeshOf(body.get());
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(alone->BoneMatrix(1), &knee->GetFinalWorld());
}
