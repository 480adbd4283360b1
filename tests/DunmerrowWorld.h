// The product scene's synthetic world as model files: a ground with the dunes, eight palms
// around an oasis, the monument's five objects under the glows, the floor with a two-layer
// material, the landmark pyramid with its box and the smaller pyramid; the sky's five faces,
// the box of the distortion view, the sprite quad, the four flares and the swaying palm.
// Every node and file is named as the scene looks for it under "Media/", so the scene's
// tests and benchmark load it as they would load the shipped media.
#pragma once

#include "Core/Types.h"
#include "Core/Vector.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Scene/KeyTrack.h"
#include "tests/ModelBuilder.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace dunmerrowtest {

namespace fs = std::filesystem;
using modelbuilder::Bytes;
using modelbuilder::ModelBuilder;

// The monument's centre, the oasis and the landmark pyramids.
inline const Vec3 kMonumentCentre{4000.0f, 0.0f, -5700.0f};
inline const Vec3 kOasis{-3000.0f, 0.0f, -4000.0f};

// The eight palms around the oasis, 500 to 1200 from its centre.
inline Vec3 PalmPosition(u32 i) {
    const f32 angle = static_cast<f32>(i) * 0.7853982f;
    const f32 radius = 500.0f + 100.0f * static_cast<f32>(i);
    return Vec3(kOasis.x + radius * std::cos(angle), 0.0f, kOasis.z + radius * std::sin(angle));
}

// The monument's objects, each under its glow (the plinth "Object012" under glow 0 with
// the ankh on it).
struct MonumentPiece {
    const char* name;
    Vec3 position;
};
inline const MonumentPiece kMonumentPieces[5] = {
    {"Ankh", Vec3(3991.92f, 120.0f, -5689.91f)},      {"Object012", Vec3(3991.92f, 0.0f, -5689.91f)},
    {"Object02", Vec3(2429.901f, 0.0f, -5765.933f)},  {"figure01", Vec3(3971.346f, 0.0f, -4378.271f)},
    {"Object05", Vec3(5552.187f, 0.0f, -5624.252f)},
};

// A flat square of half-size `half` at height y, facing up (or, with `upright`, standing
// in the x-y plane facing -z), in the exporter's 56-byte layout with adjacency.
inline void SquareMesh(UdfNode* entry, f32 half, f32 y, bool upright = false) {
    std::vector<f32> v;
    const f32 corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (u32 i = 0; i < 4; ++i) {
        const f32 a = corners[i][0], b = corners[i][1];
        const f32 one[14] = {a,
                             upright ? b : y,
                             upright ? 0.0f : b,
                             0.0f,
                             upright ? 0.0f : 1.0f,
                             upright ? -1.0f : 0.0f,
                             a > 0 ? 1.0f : 0.0f,
                             b > 0 ? 0.0f : 1.0f,
                             1.0f,
                             0.0f,
                             0.0f,
                             0.0f,
                             upright ? 1.0f : 0.0f,
                             upright ? 0.0f : 1.0f};
        v.insert(v.end(), one, one + 14);
    }
    const std::vector<u16> indices = {0, 2, 1, 0, 3, 2};
    const std::vector<u32> adjacency = {0xFFFFFFFFu, 1, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0};
    const Bytes adjacent = modelbuilder::AsBytes(adjacency);
    ModelBuilder::SetMesh(entry, modelbuilder::ShippedDecl(), modelbuilder::AsBytes(v), 4,
                          modelbuilder::AsBytes(indices), 6, 2, &adjacent);
}

// A mesh node at a place.
inline UdfNode* MeshNode(UdfNode* parent, const char* name, const Vec3& at, f32 half, bool upright = false) {
    UdfNode* node = ModelBuilder::Node(parent, name, "Mesh");
    ModelBuilder::SetTransforms(node, modelbuilder::Translation(at.x, at.y, at.z));
    SquareMesh(node, half, 0.0f, upright);
    return node;
}

// A material of the document's "Materials" block whose layers take the textures in order.
inline void LayeredMaterial(ModelBuilder& b, const char* name, std::initializer_list<const char*> textures) {
    UdfNode* material = b.BlockEntry("Materials", name, "Material");
    UdfNode* subs = ModelBuilder::Object(material, "Materials", "Material");
    i32 id = 0;
    for (const char* file : textures) {
        const std::string subName = std::string(name) + std::to_string(id);
        UdfNode* sub = ModelBuilder::Object(subs, subName.c_str(), "Material");
        ModelBuilder::SetInt(sub, "MaterialSubId", id++);
        UdfNode* maps = ModelBuilder::Object(sub, "Textures", "Textures");
        ModelBuilder::SetText(ModelBuilder::Object(maps, "Diffuse", "Diffuse"), "FileName", file);
    }
}

inline void WriteBytes(const fs::path& file, const Bytes& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path().empty() ? fs::path(".") : file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

// The ground: the dunes, the palms, the monument, the floor with its light map, the
// landmark pyramid with its box and the smaller pyramid, and a slow animation of the
// dunes' node (the model's default animation).
inline Bytes GroundModel() {
    ModelBuilder b;
    UdfNode* dunes = MeshNode(b.Root(), "Dunes", Vec3(0.0f, 0.0f, 0.0f), 30000.0f);
    ModelBuilder::SetTrack(dunes, "Position", "Linear", {KeyData(0, 0, 0, 0), KeyData(10, 0, 1, 0)});
    for (u32 i = 0; i < Dunmerrow::kPalms; ++i) {
        const std::string name = "Palm0" + std::to_string(i + 1);
        MeshNode(b.Root(), name.c_str(), PalmPosition(i), 20.0f);
    }
    for (const MonumentPiece& piece : kMonumentPieces) MeshNode(b.Root(), piece.name, piece.position, 40.0f);
    LayeredMaterial(b, "Floor", {"stone.jpg", "lightmap.jpg"});
    UdfNode* floor = MeshNode(b.Root(), "Object11", Vec3(kMonumentCentre.x, 5.0f, kMonumentCentre.z), 1900.0f);
    ModelBuilder::SetText(floor, "MaterialName", "Floor");
    UdfNode* landmark = MeshNode(b.Root(), "Object01", Vec3(0.0f, 0.0f, 0.0f), 2200.0f);
    ModelBuilder::SetBox(landmark, 0.0f, 1400.0f, 0.0f, 4400.0f, 2800.0f, 4400.0f);
    MeshNode(b.Root(), "Pyr1", Vec3(-4500.0f, 0.0f, 3000.0f), 1200.0f);
    return b.Build();
}

inline Bytes NamedMeshes(std::initializer_list<const char*> names, f32 half, bool upright) {
    ModelBuilder b;
    for (const char* name : names) MeshNode(b.Root(), name, Vec3(0.0f, 0.0f, 0.0f), half, upright);
    return b.Build();
}

// The palm: trunk and leaves, the leaves swaying (the default animation).
inline Bytes PalmModel() {
    ModelBuilder b;
    MeshNode(b.Root(), "Palm01", Vec3(0.0f, 0.0f, 0.0f), 30.0f, true);
    UdfNode* leaves = MeshNode(b.Root(), "Palm02", Vec3(0.0f, 650.0f, 0.0f), 300.0f);
    ModelBuilder::SetTrack(leaves, "Position", "Linear", {KeyData(0, 0, 650, 0), KeyData(4, 20, 650, 0)});
    return b.Build();
}

// Every model file of the scene under folder/Media.
inline void WriteSyntheticModels(const fs::path& folder) {
    const fs::path models = folder / "Media" / "Models";
    WriteBytes(models / "All" / "Ground.UDF", GroundModel());
    WriteBytes(models / "All" / "Sky.UDF", NamedMeshes({"Sky1", "Sky2", "Sky3", "Sky4", "Sky5"}, 16000.0f, true));
    WriteBytes(models / "Box.UDF", NamedMeshes({"box"}, 0.5f, true));
    WriteBytes(models / "Quad.udf", NamedMeshes({"Quad"}, 50.0f, true));
    for (u32 n = 1; n <= Dunmerrow::kFlares; ++n)
        WriteBytes(models / "Flares" / ("Flare" + std::to_string(n) + ".UDF"), NamedMeshes({"Plane01"}, 30.0f, true));
    WriteBytes(models / "All" / "Palm.UDF", PalmModel());
}

}  // namespace dunmerrowtest
