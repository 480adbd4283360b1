// The mesh reader of the model loader over in-memory mesh entries: which entries make a
// drawable and which are refused, the buffer usages and index width the drawable is
// described with, the vertex alignment, the skinned bake of the node's transforms, and
// which document blocks the record takes over (each freed once, which AddressSanitizer
// checks when the scene and the document go).
#include "Core/Memory.h"
#include "Core/UdfNode.h"
#include "D3d/DeviceContext.h"
#include "D3d/FrameSequence.h"
#include "Effect/MeshObject.h"
#include "Scene/AdvScene.h"
#include "Scene/SkinData.h"
#include "Scene/SkinnedMesh.h"
#include "tests/ModelBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace modelbuilder;

// A scene whose load flags the test sets.
class TestScene : public AdvScene {
public:
    void SetFlags(u32 flags) { desc.flags = flags; }
};

// n vertices of the plain layout (stride 32): position (i, 0, 0), normal (0, 1, 0).
Bytes PlainVertices(u32 n) {
    std::vector<f32> v;
    for (u32 i = 0; i < n; ++i) {
        const f32 one[8] = {f32(i), 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f, 0.5f};
        v.insert(v.end(), one, one + 8);
    }
    return AsBytes(v);
}

// n vertices of a layout of the given stride, zeroed but for the positions.
Bytes ZeroVertices(u32 n, u32 stride) { return Bytes(std::size_t(n) * stride, 0); }

Bytes Indices16(std::initializer_list<u16> values) { return AsBytes(std::vector<u16>(values)); }
Bytes Indices32(std::initializer_list<u32> values) { return AsBytes(std::vector<u32>(values)); }

class MeshLoading : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateSceneNode(&node));
        node->Rename(String("Plane01"));
        ASSERT_TRUE(scene.GetRoot()->AddChild(node));
        entry = ModelBuilder::Node(builder.Root(), "Plane01", "Mesh");
        scene.SetFlags(0);
    }
    // One triangle of the plain layout.
    void OneTriangle(u32 indexSize = 2) {
        const Bytes indices = indexSize == 4 ? Indices32({0, 1, 2}) : Indices16({0, 1, 2});
        ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, indices, 3, indexSize);
    }
public:
    MeshObject* Drawable() const { return dynamic_cast<MeshObject*>(node->GetObject()); }
    const GeometryDesc& Description() const { return Drawable()->GetGeometryDesc(); }
    void Remove(const char* key) { delete entry->DetachChild(String(key)); }
    // Replaces a value.
    void Put(const char* key, const Bytes& bytes) {
        Remove(key);
        ModelBuilder::Value(entry, key, "byte", bytes);
    }
    void PutInt(const char* key, i32 v) {
        Remove(key);
        ModelBuilder::SetInt(entry, key, v);
    }

    ModelBuilder builder;
    TestScene scene;
    Hierarchy* node = nullptr;
    UdfNode* entry = nullptr;
};

TEST_F(MeshLoading, APlainMeshBecomesAMeshObjectFiledUnderItsNodeName) {
    OneTriangle();
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    MeshObject* mesh = Drawable();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(dynamic_cast<SkinnedMesh*>(mesh), nullptr);
    auto* filed = scene.GetMeshes().Find(String("Plane01"));
    ASSERT_NE(filed, nullptr);
    FrameSequence* record = filed->value;
    EXPECT_EQ(mesh->GetPartTable(), record);
    EXPECT_EQ(record->vertices.vertexCount, 3u);
    EXPECT_EQ(record->vertices.Stride(0), 32u);
    EXPECT_EQ(record->indices.count, 3u);
    EXPECT_EQ(record->indices.elementSize, 2u);
    EXPECT_TRUE(record->IsValid()) << "the bounds of the positions";
    // Write-only vertex and index buffers, with their usage marked as given.
    EXPECT_EQ(Description().streams[0].usage, u32(D3DUSAGE_WRITEONLY));
    EXPECT_EQ(Description().index.usage, u32(D3DUSAGE_WRITEONLY));
    EXPECT_NE(Description().streams[0].fieldFlags & GeometryStream::kUsageSet, 0u);
    EXPECT_NE(Description().index.fieldFlags & GeometryStream::kUsageSet, 0u);
    EXPECT_EQ(Description().index.indexFormat, u32(D3DFMT_INDEX16));
    EXPECT_EQ(Description().streams[0].pool, u32(D3DPOOL_DEFAULT));
    // Position and normal lead the drawing layout.
    EXPECT_EQ(Description().layout.FindUsage(D3DDECLUSAGE_POSITION, 0), 0);
    EXPECT_EQ(Description().layout.FindUsage(D3DDECLUSAGE_NORMAL, 0), 1);
}

TEST_F(MeshLoading, NoIndicesAreAccepted) {
    ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, Bytes(), 0);
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    ASSERT_NE(Drawable(), nullptr);
    EXPECT_EQ(Drawable()->GetPartTable()->indices.count, 0u);
}

TEST_F(MeshLoading, NoVerticesOrAMissingRequiredKeyLeavesTheNodeWithoutADrawable) {
    OneTriangle();
    PutInt("NumVerts", 0);
    EXPECT_FALSE(scene.LoadMesh(entry, node));
    EXPECT_EQ(node->GetObject(), nullptr);
    for (const char* key : {"IndexSize", "NumVerts", "NumIndexes", "DECL", "Verts", "Indexes"}) {
        SCOPED_TRACE(key);
        entry = ModelBuilder::Node(builder.Root(), key, "Mesh");
        OneTriangle();
        Remove(key);
        EXPECT_FALSE(scene.LoadMesh(entry, node));
        EXPECT_EQ(node->GetObject(), nullptr);
    }
    EXPECT_EQ(scene.GetMeshes().count, 0u) << "nothing is filed for a refused mesh";
}

TEST_F(MeshLoading, ArraysShorterThanTheirCountsAndBadLayoutsAreRefused) {
    struct Case {
        const char* what;
        std::function<void(MeshLoading&)> spoil;
    };
    const std::vector<Case> cases = {
        {"vertices short", [](MeshLoading& t) { t.PutInt("NumVerts", 4); }},
        {"indices short", [](MeshLoading& t) { t.PutInt("NumIndexes", 6); }},
        {"index past the vertices", [](MeshLoading& t) { t.Put("Indexes", Indices16({0, 1, 3})); }},
        {"index size 3", [](MeshLoading& t) { t.PutInt("IndexSize", 3); }},
        {"layout without its end element",
         [](MeshLoading& t) {
             Bytes decl = PlainDecl();
             for (std::size_t at = 0; at < decl.size(); at += 8) {
                 decl[at] = 0;
                 decl[at + 1] = 0;
                 decl[at + 4] = 2;  // FLOAT3
             }
             t.Put("DECL", decl);
         }},
        {"layout over two streams",
         [](MeshLoading& t) { t.Put("DECL", DeclBytes({{0, 0, 2, 0, 0, 0}, {1, 0, 2, 0, 3, 0}})); }},
        {"layout cut short",
         [](MeshLoading& t) {
             const Bytes decl = PlainDecl();
             t.Put("DECL", Bytes(decl.begin(), decl.begin() + 16));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        entry = ModelBuilder::Node(builder.Root(), c.what, "Mesh");
        OneTriangle();
        c.spoil(*this);
        EXPECT_FALSE(scene.LoadMesh(entry, node));
        EXPECT_EQ(node->GetObject(), nullptr);
    }
}

struct UsageRow {
    std::vector<const char*> words;  // empty: no "Usage" property
    bool skinned;
    u32 vertexUsage;
    u32 indexUsage;
};

class MeshUsage : public MeshLoading, public ::testing::WithParamInterface<UsageRow> {};

// Two vertices on bone "A" and one on "B".
void AddSkin(UdfNode* entry) {
    ModelBuilder::SetSkin(entry, {"A", "B"}, {0, 1, 2}, {1, 1, 1}, {{0, 1.0f}, {0, 1.0f}, {1, 1.0f}});
}

TEST_P(MeshUsage, UsageWordsChooseTheBufferUsages) {
    const UsageRow& row = GetParam();
    OneTriangle();
    if (row.skinned) AddSkin(entry);
    if (row.words.size() == 1)
        ModelBuilder::Prop(entry, "Usage", row.words[0]);
    else if (!row.words.empty())
        ModelBuilder::PropList(entry, "Usage", {row.words[0], row.words[1]});
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    ASSERT_NE(Drawable(), nullptr);
    EXPECT_EQ(Description().streams[0].usage, row.vertexUsage);
    EXPECT_EQ(Description().index.usage, row.indexUsage);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MeshUsage,
    ::testing::Values(UsageRow{{}, false, 0x8, 0x8}, UsageRow{{}, true, 0x200, 0x8},
                      UsageRow{{"vb_dynamic"}, false, 0x200, 0x0}, UsageRow{{"static", "dynamic"}, false, 0x8, 0x8},
                      UsageRow{{"dynamic"}, true, 0x200, 0x200},
                      UsageRow{{"dynamic_writeonly"}, false, 0x208, 0x208},
                      UsageRow{{"DYNAMIC", "ib_writeonly"}, false, 0x200, 0x208},
                      UsageRow{{"vb_writeonly", "ib_dynamic"}, false, 0x8, 0x200},
                      // Words are whole words of the set, not parts of one.
                      UsageRow{{"static_dynamic"}, false, 0x0, 0x0}));

TEST_F(MeshLoading, VertexAlign32RoundsTheStrideUpToThirtyTwoBytes) {
    ModelBuilder::SetMesh(entry, ShippedDecl(), ZeroVertices(3, 56), 3, Indices16({0, 1, 2}), 3);
    ModelBuilder::Prop(entry, "VertexAlign32", "1");
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    EXPECT_EQ(Description().streams[0].stride, 64u);
    EXPECT_EQ(Description().streams[0].length, 64u * 3);

    // 64 stays 64; without the property, or with another value, 56 stays 56.
    entry = ModelBuilder::Node(builder.Root(), "Wide", "Mesh");
    const Bytes wide = DeclBytes({{0, 0, 2, 0, 0, 0}, {0, 12, 2, 0, 3, 0}, {0, 24, 1, 0, 5, 0}, {0, 32, 2, 0, 6, 0},
                                  {0, 44, 2, 0, 7, 0}, {0, 56, 1, 0, 5, 1}});
    ModelBuilder::SetMesh(entry, wide, ZeroVertices(3, 64), 3, Indices16({0, 1, 2}), 3);
    ModelBuilder::Prop(entry, "VertexAlign32", "1");
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    EXPECT_EQ(Description().streams[0].stride, 64u);
    for (const char* value : {"", "0"}) {
        entry = ModelBuilder::Node(builder.Root(), value[0] ? "Off" : "None", "Mesh");
        ModelBuilder::SetMesh(entry, ShippedDecl(), ZeroVertices(3, 56), 3, Indices16({0, 1, 2}), 3);
        if (value[0]) ModelBuilder::Prop(entry, "VertexAlign32", value);
        ASSERT_TRUE(scene.LoadMesh(entry, node));
        EXPECT_EQ(Description().streams[0].stride, 56u);
    }
}

TEST_F(MeshLoading, FourByteIndicesStayThirtyTwoBitsWhateverTheCount) {
    OneTriangle(4);
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    EXPECT_EQ(Drawable()->GetPartTable()->indices.elementSize, 4u);
    EXPECT_EQ(Description().index.indexFormat, u32(D3DFMT_INDEX32));
    EXPECT_EQ(Description().index.length, 12u);
}

TEST_F(MeshLoading, OptimizeMeshZeroTurnsTheLoadFlagOff) {
    // Adjacency makes a mesh optimisable; without a device the optimisation cannot run,
    // so whether it was attempted shows in whether the mesh is refused.
    if (TheDevice()) GTEST_SKIP() << "a device was left behind";
    const Bytes adjacency = AsBytes(std::vector<u32>{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
    ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, Indices16({0, 1, 2}), 3, 2, &adjacency);
    ModelBuilder::Prop(entry, "OptimizeMesh", "0");
    scene.SetFlags(kLoadOptimizeMeshes);
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    EXPECT_NE(Drawable(), nullptr);

    entry = ModelBuilder::Node(builder.Root(), "Asked", "Mesh");
    ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, Indices16({0, 1, 2}), 3, 2, &adjacency);
    ModelBuilder::Prop(entry, "OptimizeMesh", "1");
    scene.SetFlags(0);
    node->SetObject(nullptr);
    EXPECT_FALSE(scene.LoadMesh(entry, node)) << "an optimisation that fails leaves no drawable";
    EXPECT_EQ(node->GetObject(), nullptr);
}

TEST_F(MeshLoading, OwnBlocksAreTakenOverAndSharedOnesCopied) {
    const Bytes adjacency = AsBytes(std::vector<u32>{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
    ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, Indices16({0, 1, 2}), 3, 2, &adjacency);
    UdfNode* verts = entry->FindChild("Verts");
    UdfNode* indexes = entry->FindChild("Indexes");
    UdfNode* adjacent = entry->FindChild("Adjacency");
    const u8* vertexBlock = verts->GetData();
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    const FrameSequence* record = Drawable()->GetPartTable();
    EXPECT_EQ(record->vertices.streams[0], vertexBlock);
    EXPECT_TRUE(record->vertices.Owns(0));
    EXPECT_EQ(record->indices.data, indexes->GetData());
    EXPECT_TRUE(record->indices.OwnsData());
    EXPECT_EQ(reinterpret_cast<const u8*>(record->Adjacency()), adjacent->GetData());
    EXPECT_EQ(record->AdjacencyBytes(), 12u);
    for (UdfNode* taken : {verts, indexes, adjacent}) EXPECT_EQ(taken->GetDataNotOwned(), 1);

    // Values that live in someone else's block are copied and left to their owner.
    entry = ModelBuilder::Node(builder.Root(), "Shared", "Mesh");
    ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, Indices16({0, 1, 2}), 3, 2, &adjacency);
    verts = entry->FindChild("Verts");
    indexes = entry->FindChild("Indexes");
    for (UdfNode* shared : {verts, indexes}) shared->SetDataFromParent(1);
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    record = Drawable()->GetPartTable();
    EXPECT_NE(record->vertices.streams[0], verts->GetData());
    EXPECT_EQ(std::memcmp(record->vertices.streams[0], verts->GetData(), 96), 0);
    EXPECT_NE(record->indices.data, indexes->GetData());
    EXPECT_EQ(record->indices.Get(2), 2u);
    for (UdfNode* shared : {verts, indexes}) {
        EXPECT_EQ(shared->GetDataNotOwned(), 0);
        shared->SetDataFromParent(0);  // the test's blocks are the nodes' own after all
    }
}

TEST_F(MeshLoading, AModelFromBytesFreesEveryBlockOnce) {
    UdfNode* mesh = ModelBuilder::Node(builder.Root(), "Tri", "Mesh");
    const Bytes adjacency = AsBytes(std::vector<u32>{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
    ModelBuilder::SetMesh(mesh, PlainDecl(), PlainVertices(3), 3, Indices16({0, 1, 2}), 3, 2, &adjacency);
    ModelBuilder::Prop(mesh, "OptimizeMesh", "0");
    const Bytes bytes = builder.Build();
    ASSERT_FALSE(bytes.empty());
    {
        AdvScene loaded;
        ASSERT_TRUE(loaded.Load(patht::FromMemory(bytes.data(), u32(bytes.size())), nullptr));
        Hierarchy* tri = loaded.GetRoot()->FindChild(String("Tri"));
        ASSERT_NE(tri, nullptr);
        auto* drawn = dynamic_cast<MeshObject*>(tri->GetObject());
        ASSERT_NE(drawn, nullptr);
        EXPECT_EQ(drawn->GetPartTable()->vertices.vertexCount, 3u);
        EXPECT_EQ(drawn->GetPartTable()->AdjacencyBytes(), 12u);
    }  // the document went when the load ended; the scene goes here
}

// ---- skinned meshes ---------------------------------------------------------------------

class SkinnedLoading : public MeshLoading {
protected:
    void SetUp() override {
        MeshLoading::SetUp();
        // A strip of two triangles over four vertices, two bones.
        ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(4), 4, Indices16({0, 1, 2, 2, 1, 3}), 6);
        node->GetTransform(true).SetScale(2.0f, 2.0f, 2.0f);
        node->GetTransform(true).SetPosition(10.0f, 0.0f, 0.0f);
        node->GetObjectTransform(true).SetPosition(0.0f, 5.0f, 0.0f);
    }

public:
    void Skin(std::initializer_list<const char*> bones, const std::vector<u32>& firsts, const std::vector<u32>& counts,
              const std::vector<ModelBuilder::Influence>& weights) {
        ModelBuilder::SetSkin(entry, bones, firsts, counts, weights);
    }
    void SoundSkin() {
        Skin({"B0", "B1"}, {0, 1, 2, 3}, {1, 1, 1, 2}, {{0, 1.0f}, {0, 1.0f}, {1, 1.0f}, {0, 0.5f}, {1, 0.5f}});
    }
    static Vec3 Position(const FrameSequence& record, u32 i) {
        Vec3 p;
        std::memcpy(&p, record.vertices.streams[0] + 32 * i, 12);
        return p;
    }
    static Vec3 Normal(const FrameSequence& record, u32 i) {
        Vec3 n;
        std::memcpy(&n, record.vertices.streams[0] + 32 * i + 12, 12);
        return n;
    }
};

TEST_F(SkinnedLoading, TheNodeTransformsAreBakedIntoTheVerticesAndReset) {
    SoundSkin();
    Box bounds;
    bounds.x = 1.0f;
    bounds.w = bounds.h = bounds.d = 2.0f;
    node->GetBoundsBox() = bounds;
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    auto* skinned = dynamic_cast<SkinnedMesh*>(node->GetObject());
    ASSERT_NE(skinned, nullptr);
    EXPECT_EQ(scene.GetSkinnedMeshes().count, 1);
    ASSERT_NE(skinned->GetSkin(), nullptr);
    EXPECT_EQ(skinned->GetSkin()->boneNames.count, 2);
    EXPECT_TRUE(String::EqualsText(skinned->GetSkin()->boneNames[1], "B1"));
    EXPECT_GT(skinned->GetSkin()->groups.count, 0) << "the vertex groups are built";
    // The object offset applies first, then the node's scale and position: vertex 1 at
    // (1, 0, 0) goes to (1, 5, 0), then to (12, 10, 0).
    const FrameSequence& record = *skinned->GetPartTable();
    const Vec3 p = Position(record, 1);
    EXPECT_FLOAT_EQ(p.x, 12.0f);
    EXPECT_FLOAT_EQ(p.y, 10.0f);
    EXPECT_FLOAT_EQ(p.z, 0.0f);
    const Vec3 n = Normal(record, 1);  // scaled with the matrix, not renormalised
    EXPECT_FLOAT_EQ(n.x, 0.0f);
    EXPECT_FLOAT_EQ(n.y, 2.0f);
    // The node's box went the same way; both transforms are the identity now.
    EXPECT_FLOAT_EQ(node->GetBoundsBox().x, 12.0f);
    EXPECT_FLOAT_EQ(node->GetBoundsBox().y, 10.0f);
    EXPECT_FLOAT_EQ(node->GetBoundsBox().w, 4.0f);
    Matrix local, object;
    node->GetTransform(false).GetMatrix(local);
    node->GetObjectTransform(false).GetMatrix(object);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(local.m[i], IdentityMatrix.m[i]);
        EXPECT_FLOAT_EQ(object.m[i], IdentityMatrix.m[i]);
    }
    // Skinned vertices are rewritten by every pass: dynamic, in system memory.
    EXPECT_EQ(skinned->GetGeometryDesc().streams[0].pool, u32(D3DPOOL_SYSTEMMEM));
}

TEST_F(SkinnedLoading, LoadFlag0x20KeepsSkinnedVerticesOutOfSystemMemory) {
    SoundSkin();
    scene.SetFlags(kLoadSkinNotRewritten);
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    ASSERT_NE(Drawable(), nullptr);
    EXPECT_EQ(Description().streams[0].pool, u32(D3DPOOL_DEFAULT));
}

TEST_F(SkinnedLoading, MalformedSkinsAreRefusedBeforeAnythingIsBaked) {
    struct Case {
        const char* what;
        std::function<void(SkinnedLoading&)> make;
    };
    using I = ModelBuilder::Influence;
    const std::vector<Case> cases = {
        {"no counts",
         [](SkinnedLoading& t) {
             t.SoundSkin();
             t.Remove("VertBoneNums");
         }},
        {"no weights",
         [](SkinnedLoading& t) {
             t.SoundSkin();
             t.Remove("BoneWeights");
         }},
        {"firsts short", [](SkinnedLoading& t) { t.Skin({"B0"}, {0, 0, 0}, {1, 1, 1, 1}, {I{0, 1.0f}}); }},
        {"counts short", [](SkinnedLoading& t) { t.Skin({"B0"}, {0, 0, 0, 0}, {1, 1}, {I{0, 1.0f}}); }},
        {"bone past the names", [](SkinnedLoading& t) { t.Skin({"B0"}, {0, 0, 0, 0}, {1, 1, 1, 1}, {I{1, 1.0f}}); }},
        {"run past the weights",
         [](SkinnedLoading& t) { t.Skin({"B0"}, {0, 0, 0, 0}, {1, 1, 1, 2}, {I{0, 1.0f}}); }},
        {"vertex without influence",
         [](SkinnedLoading& t) { t.Skin({"B0"}, {0, 0, 0, 0}, {1, 1, 0, 1}, {I{0, 1.0f}}); }},
        {"no weight pairs", [](SkinnedLoading& t) { t.Skin({"B0"}, {0, 0, 0, 0}, {1, 1, 1, 1}, {}); }},
        {"a bone name out of place",
         [](SkinnedLoading& t) {
             t.Skin({"B0"}, {0, 0, 0, 0}, {1, 1, 1, 1}, {I{0, 1.0f}});
             UdfNode* names = t.entry->FindChild("BoneNames");
             ModelBuilder::SetText(names, "7", "B7");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        entry = ModelBuilder::Node(builder.Root(), c.what, "Mesh");
        ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(4), 4, Indices16({0, 1, 2, 2, 1, 3}), 6);
        c.make(*this);
        EXPECT_FALSE(scene.LoadMesh(entry, node));
        EXPECT_EQ(node->GetObject(), nullptr);
        EXPECT_EQ(node->GetTransform(false).GetPosition().x, 10.0f) << "the node keeps its transforms";
    }
    EXPECT_EQ(scene.GetSkinnedMeshes().count, 0);
}

// ---- the mesh's material ----------------------------------------------------------------

TEST_F(MeshLoading, TheNamedMaterialOrTheDefaultOneIsDrawn) {
    Material red;
    red.layers[0].colors.SetDiffuse(1.0f, 1.0f, 0.0f, 0.0f);
    scene.GetMaterials().Put(String("Red"), red);
    OneTriangle();
    ModelBuilder::SetText(entry, "MaterialName", "Red");
    ASSERT_TRUE(scene.LoadMesh(entry, node));
    EXPECT_FLOAT_EQ(node->GetMaterial().layers[0].colors.value.Diffuse.g, 0.0f);

    // A name that is not in the map (case counts) draws with a fresh material.
    Hierarchy* other = nullptr;
    ASSERT_TRUE(CreateSceneNode(&other));
    other->Rename(String("Other"));
    scene.GetRoot()->AddChild(other);
    other->GetMaterial().layers[0].colors.SetDiffuse(1.0f, 0.0f, 0.0f, 1.0f);
    entry = ModelBuilder::Node(builder.Root(), "Other", "Mesh");
    OneTriangle();
    ModelBuilder::SetText(entry, "MaterialName", "red");
    ASSERT_TRUE(scene.LoadMesh(entry, other));
    EXPECT_FLOAT_EQ(other->GetMaterial().layers[0].colors.value.Diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(other->GetMaterial().layers[0].colors.value.Diffuse.g, 1.0f);
}

}  // namespace

// A model loaded a second time under another name reuses its nodes: the second load files
// its pose, and the mesh of the first load stays the node's only drawable and record.
TEST(MeshLoadingTwice, ASecondLoadReadsNoMeshAgain) {
    ModelBuilder b;
    UdfNode* entry = ModelBuilder::Node(b.Root(), "Plane01", "Mesh");
    ModelBuilder::SetTransforms(entry, Translation(1, 2, 3));
    ModelBuilder::SetMesh(entry, PlainDecl(), PlainVertices(3), 3, Indices16({0, 1, 2}), 3, 2);
    const Bytes bytes = b.Build();
    AdvScene scene;
    LOADDESC first, second;
    first.name = String("first");
    second.name = String("second");
    ASSERT_TRUE(scene.Load(patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size())), &first));
    Hierarchy* node = scene.GetRoot()->FindChild(String("Plane01"));
    ASSERT_NE(node, nullptr);
    DrawItem* drawable = node->GetObject();
    ASSERT_NE(drawable, nullptr);
    ASSERT_EQ(scene.GetMeshes().count, 1u);
    ASSERT_TRUE(scene.Load(patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size())), &second));
    EXPECT_EQ(scene.GetRoot()->FindChild(String("Plane01")), node);
    EXPECT_EQ(node->GetObject(), drawable);
    EXPECT_EQ(scene.GetMeshes().count, 1u);
    EXPECT_EQ(node->nodePoses.count, 2);
    EXPECT_TRUE(node->FindNodePose(String("second")));
}
