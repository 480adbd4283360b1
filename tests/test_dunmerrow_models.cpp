// The product scene's models as the build packs them into the media archive (modelgen's
// text made binary by udftool), loaded through AdvScene::Load the way the scene loads
// them: every model opens, every node the scene looks for is where it looks, each mesh has
// the 56-byte layout, 16-bit indices and its adjacency, the sky faces the centre, the
// screen quad fills the orthographic view, the monument's tops sit under their glows and
// the animated models have a time range. Textures come from the archive too: a material
// either holds its texture or left the line naming it in the text log, so the names are
// checked whether or not the pictures are packed yet. With a device every mesh is optimised
// and drawable and the node holds its material; without one (optimising needs a device)
// the material the mesh names is checked in the scene's material map.
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "D3d/Application.h"
#include "D3d/FrameSequence.h"
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "Effect/Material.h"
#include "Scene/AdvScene.h"
#include "Scene/Hierarchy.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef CORVANE_MEDIA_ARCHIVE

namespace {

namespace fs = std::filesystem;

struct P3 {
    double x = 0, y = 0, z = 0;
};
P3 Sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 Cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

constexpr u32 kStride = 56;

// The vertex i of a record of the 56-byte layout: 14 floats.
const f32* VertexAt(const FrameSequence& mesh, u32 i) {
    return reinterpret_cast<const f32*>(mesh.vertices.streams[0] + std::size_t(i) * kStride);
}
P3 PositionAt(const FrameSequence& mesh, u32 i) {
    const f32* v = VertexAt(mesh, i);
    return {v[0], v[1], v[2]};
}
P3 NormalAt(const FrameSequence& mesh, u32 i) {
    const f32* v = VertexAt(mesh, i);
    return {v[3], v[4], v[5]};
}

// A node's local matrix (its parent is the model's root, at the identity).
Matrix LocalOf(Hierarchy* node) {
    Matrix m;
    node->GetTransform(false).GetMatrix(m);
    return m;
}
P3 Apply(const Matrix& m, P3 p) {
    return {p.x * m.m[0] + p.y * m.m[4] + p.z * m.m[8] + m.m[12], p.x * m.m[1] + p.y * m.m[5] + p.z * m.m[9] + m.m[13],
            p.x * m.m[2] + p.y * m.m[6] + p.z * m.m[10] + m.m[14]};
}

// The five glow centres of the screen configuration the monument stands under.
const P3 kGlows[5] = {{3991.92, 362.159, -5689.91},
                      {2429.901, 246.366, -5765.933},
                      {3971.346, 204.393, -4378.271},
                      {5552.187, 287.406, -5624.252},
                      {4079.957, 260.145, -7070.375}};

class DunmerrowModels : public ::testing::Test {
protected:
    static MemoryBuffer& Archive() {
        static MemoryBuffer archive;
        static const bool loaded = archive.Load(patht(CORVANE_MEDIA_ARCHIVE));
        EXPECT_TRUE(loaded) << CORVANE_MEDIA_ARCHIVE;
        return archive;
    }
    void SetUp() override {
        folder = testsupport::FreshTestFolder("corvane-scene-models");
        saved = fs::current_path();
        fs::current_path(folder);
        device = app.Create(GetModuleHandleA(nullptr), nullptr) && app.SetMode(false);
    }
    void TearDown() override {
        TheTextureManager().Reset();
        app.ReleaseDevice();
        if (app.GetWindow()) DestroyWindow(app.GetWindow());
        fs::current_path(saved);
        fs::remove_all(folder);
    }
    // Loads "Media/" + name from the archive as the scene does: flag 0x1 added to the
    // defaults, the empty load name.
    static bool Load(AdvScene& scene, const char* name) {
        patht path(String("Media/") + name);
        path.flags = kPathArchive;
        path.archive = &Archive();
        LOADDESC desc;
        desc.flags |= kLoadOptimizeMeshes;
        return scene.Load(path, &desc);
    }
    static const FrameSequence* Record(AdvScene& scene, const char* node) {
        auto* found = scene.GetMeshes().Find(String(node));
        return found ? found->value : nullptr;
    }
    // Every mesh of a scene: the 56-byte layout of five elements, 16-bit indices below
    // 32,768, whole triangles and three adjacency words for each.
    u32 CheckMeshes(AdvScene& scene, const char* model) {
        u32 triangles = 0;
        u32 meshes = 0;
        scene.GetMeshes().CursorWalk([&](const String& name, FrameSequence* mesh) {
            ++meshes;
            const std::string where = std::string(model) + " " + name.c_str();
            const VertexDeclaration& layout = mesh->vertices.layout;
            EXPECT_EQ(layout.streamStrides[0], kStride) << where;
            EXPECT_EQ(layout.elementCount, 5u) << where;
            EXPECT_GE(layout.FindUsage(D3DDECLUSAGE_POSITION, 0), 0) << where;
            EXPECT_GE(layout.FindUsage(D3DDECLUSAGE_NORMAL, 0), 0) << where;
            EXPECT_GE(layout.FindUsage(D3DDECLUSAGE_TEXCOORD, 0), 0) << where;
            EXPECT_GE(layout.FindUsage(D3DDECLUSAGE_TANGENT, 0), 0) << where;
            EXPECT_GE(layout.FindUsage(D3DDECLUSAGE_BINORMAL, 0), 0) << where;
            EXPECT_EQ(mesh->indices.elementSize, 2u) << where;
            EXPECT_LT(mesh->indices.count, 32768u) << where;
            EXPECT_EQ(mesh->indices.count % 3, 0u) << where;
            EXPECT_EQ(mesh->AdjacencyBytes(), mesh->indices.count / 3 * 12) << where;
            for (u32 i = 0; i < mesh->indices.count; ++i) {
                if (mesh->indices.Get(i) >= mesh->vertices.vertexCount) {
                    ADD_FAILURE() << where << ": index " << i << " out of range";
                    break;
                }
            }
            triangles += mesh->indices.count / 3;
            if (device) {
                Hierarchy* node = scene.GetRoot()->FindNode(name);
                EXPECT_TRUE(node && node->GetObject()) << where << " is not drawable";
            }
        });
        EXPECT_GT(meshes, 0u) << model;
        return triangles;
    }
    // The texture of a map slot: the archive's picture of that name in the model's folder
    // (the one the texture manager hands out for it), or, when it is not packed, asked for
    // all the same, which leaves "<line><name>" in the text log.
    static void ExpectTexture(const MaterialLayer& layer, u32 slot, const std::string& folder, const char* file,
                              const char* missingLine, const std::string& where) {
        if (Texture* texture = layer.samplers[slot].texture) {
            TextureDesc packed;
            packed.path = patht(String(("Media/" + folder + file).c_str()));
            packed.path.flags = kPathArchive;
            packed.path.archive = &Archive();
            EXPECT_EQ(texture, TheTextureManager().Load(packed, nullptr)) << where << ": not " << file;
            return;
        }
        std::ifstream in("log", std::ios::binary);
        const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(log.find(std::string(missingLine) + file), std::string::npos)
            << where << ": neither loaded nor asked for: " << file << "\n" << log;
    }
    // The material a mesh node draws with: its own once the mesh is drawable, else (no
    // device to optimise the mesh on) the scene's material of the name the mesh gives.
    const Material* MaterialOf(AdvScene& scene, Hierarchy* node, const char* materialName) {
        if (!node) return nullptr;
        if (device) {
            EXPECT_NE(node->GetObject(), nullptr) << node->GetName().c_str() << " has no drawable";
            return &node->GetMaterial();
        }
        return scene.GetMaterials().Find(String(materialName));
    }
    void ExpectDiffuse(AdvScene& scene, Hierarchy* node, const char* materialName, const std::string& folder,
                       const char* file, u32 layer = 0) {
        const Material* material = MaterialOf(scene, node, materialName);
        ASSERT_NE(material, nullptr) << file;
        ExpectTexture(material->layers[layer], kBaseMap, folder, file, "Cannot load texture: ",
                      node->GetName().c_str());
    }

    fs::path folder;
    fs::path saved;
    Application app;
    bool device = false;
};

// The world position of a node's mesh vertices, highest first.
double TopOf(AdvScene& scene, Hierarchy* node, const char* name) {
    const FrameSequence* mesh = nullptr;
    if (auto* found = scene.GetMeshes().Find(String(name))) mesh = found->value;
    if (!mesh || !node) return -1e9;
    const Matrix m = LocalOf(node);
    double top = -1e9;
    for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) top = std::max(top, Apply(m, PositionAt(*mesh, i)).y);
    return top;
}

}  // namespace

TEST_F(DunmerrowModels, EveryModelLoadsWithTheLayoutAndAdjacency) {
    const char* const models[] = {"Models/All/Ground.UDF",     "Models/All/Sky.UDF",         "Models/Box.UDF",
                                  "Models/Flares/Flare1.UDF",  "Models/Flares/Flare2.UDF",   "Models/Flares/Flare3.UDF",
                                  "Models/Flares/Flare4.UDF",  "Models/All/Palm.UDF",        "Models/Quad.udf"};
    for (const char* model : models) {
        AdvScene scene;
        ASSERT_TRUE(Load(scene, model)) << model;
        EXPECT_GT(scene.GetRoot()->GetChildren().count, 0u) << model;
        const u32 triangles = CheckMeshes(scene, model);
        // The ground must stay light enough for the reference device.
        if (std::string(model) == "Models/All/Ground.UDF") {
            EXPECT_LE(triangles, 50000u);
            EXPECT_GE(triangles, 20000u) << "the dunes are a height field, not a plane";
        }
    }
}

TEST_F(DunmerrowModels, GroundHasEveryNodeTheSceneLooksFor) {
    AdvScene ground;
    ASSERT_TRUE(Load(ground, "Models/All/Ground.UDF"));
    Hierarchy* root = ground.GetRoot();
    // The landmark and the small pyramid are taken from the root's own children.
    for (const char* direct : {"Object01", "Pyr1"}) EXPECT_NE(root->FindChild(String(direct)), nullptr) << direct;
    for (const char* name : {"Ankh", "Object012", "Object02", "figure01", "Object05", "Object11"})
        EXPECT_NE(root->FindNode(String(name)), nullptr) << name;
    // The palms' places lie round the oasis.
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "Palm0" + std::to_string(n);
        Hierarchy* palm = root->FindNode(String(name.c_str()));
        ASSERT_NE(palm, nullptr) << name;
        const Matrix m = LocalOf(palm);
        const double r = std::hypot(m.m[12] + 3000.0, m.m[14] + 4000.0);
        EXPECT_GE(r, 500.0) << name;
        EXPECT_LE(r, 1300.0) << name;
        EXPECT_NEAR(m.m[13], 0.0, 1.0) << name;
    }
}

TEST_F(DunmerrowModels, LandmarkBoundsHoldTheApexAndThePyramidsStandWhereTheWorldSays) {
    AdvScene ground;
    ASSERT_TRUE(Load(ground, "Models/All/Ground.UDF"));
    Hierarchy* landmark = ground.GetRoot()->FindChild(String("Object01"));
    ASSERT_NE(landmark, nullptr);
    EXPECT_NE(landmark->cullOptions & kCullExplicitBounds, 0u);
    const Box& box = landmark->GetBoundsBox();
    const P3 apex{0, 2800, 0};
    EXPECT_LE(std::fabs(apex.x - box.x), box.w * 0.5);
    EXPECT_LE(std::fabs(apex.y - box.y), box.h * 0.5 + 1e-3);
    EXPECT_LE(std::fabs(apex.z - box.z), box.d * 0.5);
    EXPECT_NEAR(TopOf(ground, landmark, "Object01"), 2800.0, 1.0);
    // Every vertex of the pyramid lies inside its given box.
    const FrameSequence* mesh = Record(ground, "Object01");
    ASSERT_NE(mesh, nullptr);
    for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) {
        const P3 p = PositionAt(*mesh, i);
        EXPECT_LE(std::fabs(p.x - box.x), box.w * 0.5 + 1e-3);
        EXPECT_LE(std::fabs(p.y - box.y), box.h * 0.5 + 1e-3);
        EXPECT_LE(std::fabs(p.z - box.z), box.d * 0.5 + 1e-3);
    }
    Hierarchy* small = ground.GetRoot()->FindChild(String("Pyr1"));
    ASSERT_NE(small, nullptr);
    const Matrix m = LocalOf(small);
    EXPECT_NEAR(m.m[12], -4500.0, 1.0);
    EXPECT_NEAR(m.m[14], 3000.0, 1.0);
    EXPECT_NEAR(TopOf(ground, small, "Pyr1"), 1500.0, 1.0);
}

TEST_F(DunmerrowModels, MonumentTopsSitUnderTheirGlows) {
    AdvScene ground;
    ASSERT_TRUE(Load(ground, "Models/All/Ground.UDF"));
    Hierarchy* root = ground.GetRoot();
    const char* const under[4] = {"Ankh", "Object02", "figure01", "Object05"};
    for (int i = 0; i < 4; ++i) {
        Hierarchy* node = root->FindNode(String(under[i]));
        ASSERT_NE(node, nullptr) << under[i];
        const double top = TopOf(ground, node, under[i]);
        EXPECT_GE(kGlows[i].y - top, 20.0) << under[i];
        EXPECT_LE(kGlows[i].y - top, 60.0) << under[i];
        const Matrix m = LocalOf(node);
        EXPECT_NEAR(m.m[12], kGlows[i].x, 1.0) << under[i];
        EXPECT_NEAR(m.m[14], kGlows[i].z, 1.0) << under[i];
    }
    // The pillar under glow 4 is part of the plinth's node: its highest vertex near that
    // glow's x and z.
    Hierarchy* plinth = root->FindNode(String("Object012"));
    const FrameSequence* mesh = Record(ground, "Object012");
    ASSERT_NE(plinth, nullptr);
    ASSERT_NE(mesh, nullptr);
    const Matrix m = LocalOf(plinth);
    double pillarTop = -1e9;
    for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) {
        const P3 p = Apply(m, PositionAt(*mesh, i));
        if (std::hypot(p.x - kGlows[4].x, p.z - kGlows[4].z) < 80.0) pillarTop = std::max(pillarTop, p.y);
    }
    EXPECT_GE(kGlows[4].y - pillarTop, 20.0);
    EXPECT_LE(kGlows[4].y - pillarTop, 60.0);
}

TEST_F(DunmerrowModels, TheAnkhSpinsAboutItsBaseWhenItsUpVectorTurns) {
    AdvScene ground;
    ASSERT_TRUE(Load(ground, "Models/All/Ground.UDF"));
    Hierarchy* ankh = ground.GetRoot()->FindNode(String("Ankh"));
    ASSERT_NE(ankh, nullptr);
    const FrameSequence* mesh = Record(ground, "Ankh");
    ASSERT_NE(mesh, nullptr);
    // Turned as the scene turns it, a quarter of the way round: it still stands on its
    // base, as tall as before, and its arms now point along z instead of x.
    auto extent = [&](double angle) {
        NodeTransform& t = ankh->GetTransform(true);
        t.SetUp(f32(std::sin(angle)), 0.0f, f32(std::cos(angle)));
        const Matrix m = LocalOf(ankh);
        P3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
        for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) {
            const P3 p = Apply(m, PositionAt(*mesh, i));
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        return std::make_pair(lo, hi);
    };
    const auto [lo0, hi0] = extent(0.0);
    const auto [lo1, hi1] = extent(1.5707963);
    EXPECT_NEAR(lo0.y, lo1.y, 0.5);
    EXPECT_NEAR(hi0.y, hi1.y, 0.5);
    EXPECT_GT(hi0.y - lo0.y, 180.0);
    EXPECT_GT(hi0.x - lo0.x, 2 * (hi0.z - lo0.z)) << "the arms lie along x at first";
    EXPECT_GT(hi1.z - lo1.z, 2 * (hi1.x - lo1.x)) << "and along z a quarter turn later";
    const Matrix m = LocalOf(ankh);
    EXPECT_NEAR((lo1.x + hi1.x) * 0.5, m.m[12], 2.0) << "it turns about its own base centre";
}

TEST_F(DunmerrowModels, TheSkyFacesPointInwardsAndMapTheirFaces) {
    AdvScene sky;
    ASSERT_TRUE(Load(sky, "Models/All/Sky.UDF"));
    // Each face: which axis it lies on and its texture.
    struct Face {
        const char* node;
        P3 axis;
        const char* texture;
    };
    const Face faces[] = {{"Sky1", {0, 1, 0}, "chateau_up.jpg"},
                          {"Sky2", {0, 0, 1}, "chateau_ft.jpg"},
                          {"Sky3", {0, 0, -1}, "chateau_bk.jpg"},
                          {"Sky4", {-1, 0, 0}, "chateau_lf.jpg"},
                          {"Sky5", {1, 0, 0}, "chateau_rt.jpg"}};
    for (const Face& face : faces) {
        Hierarchy* node = sky.GetRoot()->FindChild(String(face.node));
        ASSERT_NE(node, nullptr) << face.node;
        const FrameSequence* mesh = Record(sky, face.node);
        ASSERT_NE(mesh, nullptr) << face.node;
        for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) {
            const P3 p = PositionAt(*mesh, i);
            EXPECT_NEAR(Dot(p, face.axis), 16000.0, 1.0) << face.node;
            EXPECT_GE(p.y, -2000.0 - 1.0) << face.node;
            EXPECT_LT(Dot(NormalAt(*mesh, i), p), 0.0) << face.node << ": the normal points to the centre";
        }
        for (u32 t = 0; t + 2 < mesh->indices.count; t += 3) {
            const P3 a = PositionAt(*mesh, mesh->indices.Get(t)), b = PositionAt(*mesh, mesh->indices.Get(t + 1)),
                     c = PositionAt(*mesh, mesh->indices.Get(t + 2));
            // Clockwise as seen from the centre: the front faces the viewer inside.
            EXPECT_LT(Dot(Cross(Sub(b, a), Sub(c, a)), a), 0.0) << face.node << " triangle " << t / 3;
        }
        ExpectDiffuse(sky, node, face.node, "Models/All/", face.texture);
    }
}

TEST_F(DunmerrowModels, TheScreenQuadSpansTheOrthographicView) {
    AdvScene box;
    ASSERT_TRUE(Load(box, "Models/Box.UDF"));
    ASSERT_NE(box.GetRoot()->FindChild(String("box")), nullptr);
    const FrameSequence* mesh = Record(box, "box");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->indices.count, 6u);
    double lo = 1, hi = -1;
    for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) {
        const f32* v = VertexAt(*mesh, i);
        EXPECT_FLOAT_EQ(v[2], 1.0f);
        EXPECT_FLOAT_EQ(std::fabs(v[0]), 0.5f);
        EXPECT_FLOAT_EQ(std::fabs(v[1]), 0.5f);
        // (0, 0) at the top left, (1, 1) at the bottom right.
        EXPECT_FLOAT_EQ(v[6], v[0] + 0.5f);
        EXPECT_FLOAT_EQ(v[7], 0.5f - v[1]);
        lo = std::min(lo, double(v[0]));
        hi = std::max(hi, double(v[0]));
    }
    EXPECT_EQ(hi - lo, 1.0);
    for (u32 t = 0; t < 6; t += 3) {
        const P3 a = PositionAt(*mesh, mesh->indices.Get(t)), b = PositionAt(*mesh, mesh->indices.Get(t + 1)),
                 c = PositionAt(*mesh, mesh->indices.Get(t + 2));
        EXPECT_LT(Cross(Sub(b, a), Sub(c, a)).z, 0.0) << "seen from the camera at the origin";
    }
}

TEST_F(DunmerrowModels, SpriteQuadsAndFlaresFaceTheCamera) {
    AdvScene quad;
    ASSERT_TRUE(Load(quad, "Models/Quad.udf"));
    ASSERT_EQ(quad.GetRoot()->GetChildren().count, 1u);
    for (int n = 1; n <= 4; ++n) {
        AdvScene flare;
        const std::string name = "Models/Flares/Flare" + std::to_string(n) + ".UDF";
        ASSERT_TRUE(Load(flare, name.c_str()));
        Hierarchy* plane = flare.GetRoot()->FindChild(String("Plane01"));
        ASSERT_NE(plane, nullptr) << name;
        const FrameSequence* mesh = Record(flare, "Plane01");
        ASSERT_NE(mesh, nullptr);
        for (u32 i = 0; i < mesh->vertices.vertexCount; ++i) {
            const f32* v = VertexAt(*mesh, i);
            EXPECT_FLOAT_EQ(std::fabs(v[0]), 30.0f);
            EXPECT_FLOAT_EQ(v[5], -1.0f);
        }
        ExpectDiffuse(flare, plane, "Flare", "Models/Flares/", ("flare" + std::to_string(n) + ".png").c_str());
    }
}

TEST_F(DunmerrowModels, MaterialsNameTheirTexturesAndTheSandItsHeightMap) {
    AdvScene ground;
    ASSERT_TRUE(Load(ground, "Models/All/Ground.UDF"));
    Hierarchy* root = ground.GetRoot();
    Hierarchy* dunes = root->FindNode(String("Dunes00"));
    ExpectDiffuse(ground, dunes, "Sand", "Models/All/", "sand.jpg");
    if (const Material* sand = MaterialOf(ground, dunes, "Sand"))
        ExpectTexture(sand->layers[0], kBumpMap, "Models/All/", "sand_h.png", "Cannot load heightmap texture: ", "the sand's bump map");
    ExpectDiffuse(ground, root->FindChild(String("Object01")), "Stone", "Models/All/", "stone.jpg");
    ExpectDiffuse(ground, root->FindChild(String("Pyr1")), "Stone", "Models/All/", "stone.jpg");
    ExpectDiffuse(ground, root->FindNode(String("Ankh")), "Gold", "Models/All/", "gold.jpg");
    Hierarchy* floor = root->FindNode(String("Object11"));
    const Material* floorMaterial = MaterialOf(ground, floor, "Floor");
    ASSERT_NE(floorMaterial, nullptr);
    // Stone, then the light map as the second layer (the two draw in one pass, the light
    // map as the second texture stage; the layer's name chooses how it combines).
    EXPECT_STREQ(floorMaterial->layers[1].blendKindName.c_str(), "FloorLightMap");
    ExpectDiffuse(ground, floor, "Floor", "Models/All/", "stone.jpg", 0);
    ExpectDiffuse(ground, floor, "Floor", "Models/All/", "lightmap.jpg", 1);

    AdvScene palm;
    ASSERT_TRUE(Load(palm, "Models/All/Palm.UDF"));
    ExpectDiffuse(palm, palm.GetRoot()->FindNode(String("Palm01")), "Bark", "Models/All/", "bark.jpg");
    ExpectDiffuse(palm, palm.GetRoot()->FindNode(String("Palm02")), "Leaves", "Models/All/", "leaves.png");
}

TEST_F(DunmerrowModels, TheGroundAndThePalmHaveADefaultAnimation) {
    AdvScene ground;
    ASSERT_TRUE(Load(ground, "Models/All/Ground.UDF"));
    TimeRange range{};
    ASSERT_TRUE(ground.GetAnimationRange(String(""), range));
    EXPECT_GT(range.end - range.start, 1.0f);
    AdvScene palm;
    ASSERT_TRUE(Load(palm, "Models/All/Palm.UDF"));
    ASSERT_TRUE(palm.GetAnimationRange(String(""), range));
    EXPECT_GT(range.end - range.start, 1.0f);
    Hierarchy* leaves = palm.GetRoot()->FindNode(String("Palm02"));
    ASSERT_NE(leaves, nullptr);
    EXPECT_NE(leaves->FindAnimation(String("")).Get(), nullptr) << "the leaves sway";
    // The crown sits on the trunk's top: the leaves' pivot is the trunk's highest point.
    const Matrix m = LocalOf(leaves);
    EXPECT_NEAR(m.m[13], TopOf(palm, palm.GetRoot()->FindNode(String("Palm01")), "Palm01"), 1.0);
    const double top = TopOf(palm, leaves, "Palm02");
    EXPECT_GT(top, 600.0);
    EXPECT_LT(top, 850.0);
}

#else

TEST(DunmerrowModels, NeedThePackedArchive) { GTEST_SKIP() << "this build packs no media archive"; }

#endif
