// The model builder's documents read back through the binary reader as written.
#include "Core/ArchiveStream.h"
#include "Core/UdfBinaryTree.h"
#include "Scene/AdvScene.h"
#include "tests/ModelBuilder.h"

#include <gtest/gtest.h>

using namespace modelbuilder;

TEST(ModelBuilder, NodesMatricesAndKeysReadBack) {
    ModelBuilder b;
    UdfNode* node = ModelBuilder::Node(b.Root(), "Box", "Mesh");
    ModelBuilder::SetTransforms(node, Translation(1, 2, 3));
    ModelBuilder::SetTrack(node, "Position", "Linear", {KeyData(0, 1, 2, 3), KeyData(2, 4, 5, 6)});
    const Bytes bytes = b.Build();
    ASSERT_FALSE(bytes.empty());

    ArchiveStream stream;
    stream.Open(String(), kStreamRead);
    stream.BorrowBytes(bytes.data(), static_cast<u32>(bytes.size()));
    UdfBinaryTree reader;
    UdfNode* root = reader.Open(&stream);
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(root->Load(0, 0));
    UdfNode* read = root->FindChild("Children")->FindChild("Box");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetTypeName(), "Mesh");
    UdfNode* tm = read->FindChild("NodeTM");
    ASSERT_NE(tm, nullptr);
    EXPECT_EQ(tm->GetSize(), 68u);
    f32 m[16] = {};
    ASSERT_TRUE(tm->ReadData(m, 64));
    EXPECT_EQ(m[12], 1.0f);
    EXPECT_EQ(m[14], 3.0f);
    UdfNode* track = read->FindChild("Animation")->FindChild("Position");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->GetTypeName(), "Linear");
    KeyData key;
    ASSERT_TRUE(track->FindChild("1")->ReadData(&key, 32));
    EXPECT_EQ(key.time, 2.0f);
    EXPECT_EQ(key.z, 6.0f);
}
