// The product scene on the reference device, for the scene's Linux tests: a fresh test
// folder with a small synthetic world written as model files under "Media/" (the nodes and
// files named as the scene looks for them, built with the model builder), the shipped
// configuration with a test's own lines over it, and a Dunmerrow started through the
// saver's Create in the debug mode (a window, no random flight), so LoadCustom runs on a
// real device with the effects, the media and the music a test chose.
//
// Building a Dunmerrow switches off the log and the statistics for the whole program;
// the fixture switches both back on after the constructor and again when it ends.
#pragma once

#include "Core/Log.h"
#include "Core/MemoryBuffer.h"
#include "Core/ProgramObjects.h"
#include "Core/RenderDefaults.h"
#include "Core/StatisticsTable.h"
#include "Core/ValueTypes.h"
#include "D3d/TextureManager.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Scene/Hierarchy.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"
#include "tests/ModelBuilder.h"
#include "tests/RecordingEffect.h"
#include "tests/TextureTestSupport.h"
#include "tests/linux/MediaArchiveSupport.h"
#include "tests/linux/SaverTestSupport.h"
#include "tools/ShaderVariants.h"

#include <windows.h>
#include <PlatformResources.h>
#include <PlatformTestD3d9.h>
#include <PlatformTestProcess.h>
#include <PlatformTestWindows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace dunmerrowtest {

namespace fs = std::filesystem;
using modelbuilder::Bytes;
using modelbuilder::ModelBuilder;

// ---- the synthetic world --------------------------------------------------------------

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

// A bitmap of w x h pixels of one colour 0xAARRGGBB (the texture loader reads the
// content, whatever the name's extension says).
inline Bytes Bitmap(unsigned w, unsigned h, unsigned colour) {
    return texsupport::MakeBmp(w, h, [colour](unsigned, unsigned) { return colour; });
}

// Every texture the scene loads by name itself, as small bitmaps under folder/Media.
inline void WriteSceneTextures(const fs::path& folder) {
    const fs::path media = folder / "Media";
    for (const char* set : {"chateau", "mpcarentan", "dam", "pathfinder"})
        for (const char* face : {"up", "ft", "bk", "lf", "rt"})
            WriteBytes(media / "Models" / "All" / (std::string(set) + "_" + face + ".jpg"), Bitmap(4, 4, 0xFF5A8CDCu));
    WriteBytes(media / "Models" / "morn_day_sun.png", Bitmap(8, 8, 0x80FFF0C8u));
    WriteBytes(media / "Models" / "moon.png", Bitmap(8, 8, 0xC0C8C8E6u));
    WriteBytes(media / "displace.bmp", Bitmap(16, 16, 0xFF808080u));
}

// ---- the fixture ------------------------------------------------------------------------

struct SceneOptions {
    // Lines over the shipped configuration ("settings.txt").
    std::string settings;
    // The debug mode: a window of its own and no random flight at start. Off, the saver
    // goes full screen at the desktop's mode.
    bool debug = true;
    bool models = true;
    bool textures = true;
    // Effect names registered as recording effects (quality 100) before start-up.
    std::vector<std::string> recordingEffects;
    // The engine's own effects built from the media's sources (needs the packed archive).
    bool shippedEffects = false;
    // The stand-in audio library as resource "BASS" 126, with a music file.
    bool music = false;
};

class DunmerrowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        folder = savertest::EnterFreshWorld("corvane-dunmerrow");
        SwitchDiagnosticsOn();
    }
    void TearDown() override {
        delete scene;
        scene = nullptr;
        SwitchDiagnosticsOn();
        TheRenderDefaults().forceCompile = 0;
        TheWindowManager().Reset();
        TheEffectManager().Reset();
        PlatformResources_Override(nullptr);
        PlatformTest_ResetWindows();
        PlatformTest_ResetProcess();
        PlatformTest_D3d9Reset();
        ResetTheSaver();
        ResetDebugMode();
        ResetProductSettings();
        Timer::Freeze(false);
        RestoreEnvironment();
        fs::current_path(home);
        fs::remove_all(folder);
    }

    static void SwitchDiagnosticsOn() {
        SetLogMasterSwitch(true);
        TheStatistics().enabled = 1;
    }

    // Writes the world the options ask for and builds the scene (not started).
    Dunmerrow* Make(const SceneOptions& options = SceneOptions()) {
        if (options.models) WriteSyntheticModels(folder);
        if (options.textures) WriteSceneTextures(folder);
        WriteText(folder / "settings.txt",
                  std::string("\xEF\xBB\xBF") + (options.debug ? "DEBUG = 1\n" : "") + options.settings + "\n");
        if (options.shippedEffects) ExtractShippedEffects();
        if (!options.recordingEffects.empty()) {
            Array<Effect*> list(0, 4);
            for (const std::string& name : options.recordingEffects) {
                auto* effect = new RecordingEffect;
                effect->AddName(String(name.c_str()), 100);
                list.Add(effect);
            }
            TheEffectManager().Create(list);
        }
        if (options.music) UseStandInMusic();
        scene = new Dunmerrow;
        SwitchDiagnosticsOn();
        return scene;
    }

    // Make, then the saver's start-up (which runs LoadCustom); false when it fails.
    bool Start(const SceneOptions& options = SceneOptions()) {
        Make(options);
        return scene->Create(GetModuleHandleA(nullptr), nullptr);
    }

    // The text of the log every channel writes into.
    static std::string Log() { return ReadText("errors.log"); }
    static std::string ReadText(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The lines of the stand-in audio library's call record.
    std::vector<std::string> MusicCalls() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadText(folder / "music-calls.txt"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // Sets a value in this test's registry key of the saver.
    static void SetSetting(const char* name, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Halvorn Studio\\Sablecrest 3D Screensaver", 0, nullptr,
                                  0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    fs::path home, folder;
    Dunmerrow* scene = nullptr;

private:
    void ExtractShippedEffects() {
#ifdef CORVANE_MEDIA_ARCHIVE
        MemoryBuffer archive;
        ASSERT_TRUE(archive.Load(patht(CORVANE_MEDIA_ARCHIVE)));
        for (const shadervariants::Source& source : shadervariants::EngineSources()) {
            std::string bytes;
            ASSERT_TRUE(ReadMediaMember(archive, "Media/Shaders/" + source.file, bytes)) << source.file;
            WriteText(folder / "Media" / "Shaders" / source.file, bytes);
        }
#else
        GTEST_SKIP() << "this build packs no media archive";
#endif
    }

    void UseStandInMusic() {
#ifdef CORVANE_AUDIO_STANDIN
        library = ReadText(CORVANE_AUDIO_STANDIN);
        ASSERT_FALSE(library.empty());
        for (u32 i = 0; i < CorvaneResourceTable.count; ++i) resources.push_back(CorvaneResourceTable.entries[i]);
        const auto* data = reinterpret_cast<const unsigned char*>(library.data());
        resources.push_back(PlatformResource{"BASS", 0, nullptr, ::Music::kResourceId, data, data + library.size()});
        table = PlatformResourceTable{resources.data(), static_cast<uint32_t>(resources.size())};
        PlatformResources_Override(&table);
        fs::create_directories(folder / "temp");
        savedTemp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", (folder / "temp").c_str(), 1);
        setenv("CORVANE_AUDIO_STANDIN_LOG", (folder / "music-calls.txt").c_str(), 1);
        environmentSet = true;
        WriteText(folder / "Media" / "music.ogg", "OggS and the rest");
#else
        GTEST_SKIP() << "no stand-in audio library in this build";
#endif
    }

    void RestoreEnvironment() {
        if (!environmentSet) return;
        if (savedTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTemp.c_str(), 1);
        unsetenv("CORVANE_AUDIO_STANDIN_LOG");
        environmentSet = false;
    }

    std::string library;
    std::vector<PlatformResource> resources;
    PlatformResourceTable table{};
    std::string savedTemp;
    bool environmentSet = false;
};

}  // namespace dunmerrowtest
