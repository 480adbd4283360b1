// The product scene's media inventory: every name the scene and its configuration text ask
// the packed media archive for opens there, spelt as the scene spells it ("Media/" and
// forward slashes, the archive's members matched without case), and reads as what the
// scene takes it for. A missing name fails with that name; nothing is passed over.
#include "Core/MemoryBuffer.h"
#include "Core/Path.h"
#include "Core/Stream.h"
#include "Core/TextCodec.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"
#include "D3d/TextureManager.h"
#include "Scene/AdvScene.h"
#include "Scene/Hierarchy.h"
#include "Screen/CameraPath.h"
#include "tools/UdfDump.h"

#include <d3dx9tex.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef CORVANE_MEDIA_ARCHIVE

namespace {

// The archive, read once for the whole run.
MemoryBuffer* Archive() {
    static MemoryBuffer archive;
    static const bool loaded = archive.Load(patht(CORVANE_MEDIA_ARCHIVE));
    return loaded ? &archive : nullptr;
}

patht InArchive(const std::string& name) {
    patht path(("Media/" + name).c_str());
    path.flags = kPathArchive;
    path.archive = Archive();
    return path;
}

// The member's bytes, read as the engine opens a file; empty when it is absent.
std::vector<unsigned char> ReadMember(const std::string& name) {
    std::vector<unsigned char> bytes;
    std::unique_ptr<Stream> stream(InArchive(name).Open(kStreamRead));
    if (!stream) return bytes;
    const i32 size = stream->Size();
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        if (stream->Read(bytes.data(), static_cast<u32>(size)) != static_cast<u32>(size)) bytes.clear();
    }
    stream->Close();
    return bytes;
}

struct PackedTexture {
    const char* name;
    UINT size;
    D3DXIMAGE_FILEFORMAT kind;
    bool alpha;
};

const PackedTexture kTextures[] = {
    {"Models/All/sand.jpg", 512, D3DXIFF_JPG, false},       {"Models/All/sand_h.png", 256, D3DXIFF_PNG, false},
    {"Models/All/stone.jpg", 512, D3DXIFF_JPG, false},      {"Models/All/gold.jpg", 256, D3DXIFF_JPG, false},
    {"Models/All/bark.jpg", 256, D3DXIFF_JPG, false},       {"Models/All/leaves.png", 256, D3DXIFF_PNG, true},
    {"Models/All/lightmap.jpg", 256, D3DXIFF_JPG, false},   {"Models/Flares/flare1.png", 128, D3DXIFF_PNG, true},
    {"Models/Flares/flare2.png", 128, D3DXIFF_PNG, true},   {"Models/Flares/flare3.png", 128, D3DXIFF_PNG, true},
    {"Models/Flares/flare4.png", 128, D3DXIFF_PNG, true},   {"Models/morn_day_sun.png", 256, D3DXIFF_PNG, true},
    {"Models/moon.png", 256, D3DXIFF_PNG, true},            {"Models/Moon.png", 256, D3DXIFF_PNG, true},
    {"displace.bmp", 256, D3DXIFF_BMP, false},
};

// The screen parameters the program carries (resource 156), parsed after their byte-order mark.
bool LoadScreenParameters(TextDataTree& doc) {
    patht path;
    path.flags = kPathResource;
    path.number = 156;
    std::unique_ptr<Stream> stream(path.Open(kStreamRead));
    if (!stream) return false;
    u8 mark[3] = {};
    const bool ok = stream->Read(mark, 3) == 3 && UdfText::LoadStream(*stream, doc, nullptr, kTextUtf8);
    stream->Close();
    return ok;
}

std::string Narrow(const WString& text) { return String::FromWString(text).c_str(); }

// Every camera path the parameters name: each entry of each "Cameras" list, then the
// default flights of "Animations", each name once.
std::vector<std::string> CameraPathNames(const TextDataTree& doc) {
    std::vector<std::string> names;
    auto add = [&](const TextNode* list) {
        for (u32 j = 0; list && j < list->ChildCount(); ++j) {
            const std::string name = Narrow(list->GetChild(static_cast<i32>(j))->value);
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    };
    const TextNode* cameras = doc.GetChild("Cameras");
    for (u32 i = 0; cameras && i < cameras->ChildCount(); ++i) add(cameras->GetChild(static_cast<i32>(i)));
    add(doc.GetChild("Animations"));
    return names;
}

// The world the flights cross (the ground model's layout): flat sand within 3200 of the
// origin (under the landmark) and within 3600 of the monument centre, dunes up to about
// 300 elsewhere; the landmark pyramid at the origin (base side 4400, height 2800) and a
// smaller one at (-4500, 0, 3000) (side 2400, height 1500). The flat areas are taken 200
// smaller, and the pyramids 100 larger, than they are.
constexpr double kMonumentX = 4000.0, kMonumentZ = -5700.0;
constexpr double kDuneTop = 300.0, kClearance = 150.0, kReach = 10000.0;

bool OverFlatSand(double x, double z) {
    return std::hypot(x, z) < 3000.0 || std::hypot(x - kMonumentX, z - kMonumentZ) < 3400.0;
}

bool InsidePyramid(const Vec3& p, double cx, double cz, double side, double height) {
    constexpr double kMargin = 100.0;
    if (p.y > height + kMargin) return false;
    const double half = side * 0.5 * (1.0 - std::max(0.0, static_cast<double>(p.y)) / height) + kMargin;
    return std::fabs(p.x - cx) < half && std::fabs(p.z - cz) < half;
}

// Why the camera may not be at p; empty when it may.
std::string Fault(const Vec3& p) {
    const double ground = OverFlatSand(p.x, p.z) ? 0.0 : kDuneTop;
    if (p.y < ground + kClearance) return "too low";
    if (InsidePyramid(p, 0.0, 0.0, 4400.0, 2800.0)) return "inside the landmark";
    if (InsidePyramid(p, -4500.0, 3000.0, 2400.0, 1500.0)) return "inside the small pyramid";
    if (std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) > kReach) return "too far out";
    return std::string();
}

// The texture files a model's materials name (the "FileName" of each map), read from the
// document's text form.
std::vector<std::string> TextureFiles(const std::string& file) {
    std::vector<std::string> names;
    const std::vector<unsigned char> bytes = ReadMember(file);
    std::string text, error;
    if (!UdfBinaryToText(bytes.data(), bytes.size(), &text, &error)) {
        ADD_FAILURE() << file << ": " << error;
        return names;
    }
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("\"FileName\"") == std::string::npos) continue;
        // The dump writes the string's bytes as "text" or, with its terminating NUL, as "hex".
        std::string name;
        const size_t text = line.find("= text \""), hex = line.find("= hex ");
        if (text != std::string::npos) {
            const size_t close = line.find('"', text + 8);
            if (close != std::string::npos) name = line.substr(text + 8, close - text - 8);
        } else if (hex != std::string::npos) {
            for (size_t i = hex + 6; i + 1 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i])); i += 2)
                name.push_back(static_cast<char>(std::strtol(line.substr(i, 2).c_str(), nullptr, 16)));
        }
        while (!name.empty() && name.back() == '\0') name.pop_back();
        if (name.empty()) {
            ADD_FAILURE() << file << ": a file name that is not a string: " << line;
            continue;
        }
        names.push_back(name);
    }
    return names;
}

// Every texture the model names opens, beside the model or from the archive's top.
void ExpectTexturesOpen(const std::string& file) {
    const std::string folder = file.substr(0, file.rfind('/') + 1);
    for (const std::string& name : TextureFiles(file)) {
        std::string plain = name;
        std::replace(plain.begin(), plain.end(), '\\', '/');
        const std::string leaf = plain.substr(plain.rfind('/') + 1);
        EXPECT_TRUE(!ReadMember(plain).empty() || !ReadMember(folder + leaf).empty())
            << file << " names a texture the archive lacks: " << name;
    }
}

// The textures a loaded model's materials take stay with the program-wide texture manager
// (the materials never give them back); a test that loads models hands them back at its end.
struct ModelTexturesBack {
    ~ModelTexturesBack() { TheTextureManager().Reset(); }
};

// A model loaded as the scene loads it; false (and a failure naming it) when it is missing
// or does not load.
bool LoadModel(AdvScene& model, const std::string& name) {
    if (ReadMember(name).empty()) {
        ADD_FAILURE() << "missing: Media/" << name;
        return false;
    }
    LOADDESC desc;
    desc.flags |= 0x1;
    if (!model.Load(InArchive(name), &desc)) {
        ADD_FAILURE() << "does not load: Media/" << name;
        return false;
    }
    ExpectTexturesOpen(name);
    return true;
}

// The names looked up anywhere in the model, each a failure naming it when absent.
void ExpectNodes(AdvScene& model, const std::string& file, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        EXPECT_NE(model.GetRoot()->FindNode(String(name.c_str())), nullptr) << file << ": no node " << name;
}

// The names the scene takes as direct children of the model's root.
void ExpectChildren(AdvScene& model, const std::string& file, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        EXPECT_NE(model.GetRoot()->FindChild(String(name.c_str())), nullptr)
            << file << ": no direct child " << name << " of the root";
}

u32 Little32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<u32>(b[at + 3]) << 24);
}

}  // namespace

TEST(DunmerrowMedia, TheArchiveLoads) { ASSERT_NE(Archive(), nullptr) << CORVANE_MEDIA_ARCHIVE; }

TEST(DunmerrowMedia, EveryTextureOpensWithItsSizeAndKind) {
    ASSERT_NE(Archive(), nullptr);
    for (const PackedTexture& t : kTextures) {
        const std::vector<unsigned char> bytes = ReadMember(t.name);
        if (bytes.empty()) {
            ADD_FAILURE() << "missing: Media/" << t.name;
            continue;
        }
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info), D3D_OK)
            << t.name;
        EXPECT_EQ(info.Width, t.size) << t.name;
        EXPECT_EQ(info.Height, t.size) << t.name;
        EXPECT_EQ(info.ImageFileFormat, t.kind) << t.name;
        if (t.alpha) {
            EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8) << t.name;
        }
    }
}

TEST(DunmerrowMedia, TheMoonIsOneMemberUnderBothSpellings) {
    ASSERT_NE(Archive(), nullptr);
    const std::vector<unsigned char> lower = ReadMember("Models/moon.png");
    ASSERT_FALSE(lower.empty());
    EXPECT_EQ(ReadMember("Models/Moon.png"), lower);
    EXPECT_EQ(ReadMember("MODELS/MOON.PNG"), lower);
}

// The distortion reads displace.bmp as 24-bit pixels and repeats it over the screen: its
// opposite edges meet as smoothly as neighbouring columns and rows do.
TEST(DunmerrowMedia, TheDisplacementMapIsATiling24BitBitmap) {
    ASSERT_NE(Archive(), nullptr);
    const std::vector<unsigned char> b = ReadMember("displace.bmp");
    ASSERT_GE(b.size(), 54u);
    ASSERT_EQ(b[0], 'B');
    ASSERT_EQ(b[1], 'M');
    const u32 offset = Little32(b, 10), width = Little32(b, 18), height = Little32(b, 22);
    ASSERT_EQ(width, 256u);
    ASSERT_EQ(height, 256u);
    ASSERT_EQ(b[28] | (b[29] << 8), 24);
    ASSERT_EQ(Little32(b, 30), 0u);  // uncompressed
    const size_t stride = (width * 3 + 3) & ~3u;
    ASSERT_GE(b.size(), offset + stride * height);
    auto at = [&](u32 x, u32 y, u32 c) { return static_cast<int>(b[offset + y * stride + x * 3 + c]); };
    long inner = 0, seamX = 0, seamY = 0, spread = 0;
    for (u32 i = 0; i < 256; ++i)
        for (u32 c = 0; c < 3; ++c) {
            inner += std::abs(at(100, i, c) - at(101, i, c)) + std::abs(at(i, 100, c) - at(i, 101, c));
            seamX += std::abs(at(255, i, c) - at(0, i, c));
            seamY += std::abs(at(i, 255, c) - at(i, 0, c));
            spread += std::abs(at(i, 50, c) - at((i + 128) % 256, 200, c));
        }
    // Neighbours differ little, far texels a lot; the seams look like neighbours.
    EXPECT_LT(inner * 4, spread);
    EXPECT_LT(seamX, inner * 2 + 256);
    EXPECT_LT(seamY, inner * 2 + 256);
}

TEST(DunmerrowMedia, EveryCameraListEntryOpensWithKeys) {
    ASSERT_NE(Archive(), nullptr);
    TextDataTree doc;
    ASSERT_TRUE(LoadScreenParameters(doc));
    const TextNode* cameras = doc.GetChild("Cameras");
    ASSERT_NE(cameras, nullptr);
    // One list per day part.
    ASSERT_NE(doc.GetChild("CameraTimes"), nullptr);
    EXPECT_EQ(cameras->ChildCount(), doc.GetChild("CameraTimes")->ChildCount());
    for (u32 i = 0; i < cameras->ChildCount(); ++i) {
        const TextNode* list = cameras->GetChild(static_cast<i32>(i));
        EXPECT_GT(list->ChildCount(), 0u) << "Cameras[" << i << "] is empty";
        for (u32 j = 0; j < list->ChildCount(); ++j) {
            const std::string name = Narrow(list->GetChild(static_cast<i32>(j))->value);
            CameraBase flight;
            if (LoadCameraPath(flight, InArchive(name)) == 0) {
                ADD_FAILURE() << "Cameras[" << i << "]: missing or empty: Media/" << name;
                continue;
            }
            EXPECT_GE(flight.PositionTrack().keys.Count(), 2u) << name;
            EXPECT_GE(flight.RotationTrack().keys.Count(), 2u) << name;
        }
    }
}

// Each flight sampled every 20 ms over its whole range stays clear of the dunes, outside
// both pyramids and within reach of the origin, its horizon level all the way.
TEST(DunmerrowMedia, EveryFlightStaysClearOfTheGroundAndThePyramids) {
    ASSERT_NE(Archive(), nullptr);
    TextDataTree doc;
    ASSERT_TRUE(LoadScreenParameters(doc));
    const std::vector<std::string> names = CameraPathNames(doc);
    EXPECT_GE(names.size(), 16u);
    for (const std::string& name : names) {
        CameraBase flight;
        if (LoadCameraPath(flight, InArchive(name)) == 0) {
            ADD_FAILURE() << "missing or empty: Media/" << name;
            continue;
        }
        TimeRange range;
        ASSERT_TRUE(flight.GetTimeRange(range)) << name;
        EXPECT_GE(range.end - range.start, 20000.0f) << name;
        EXPECT_LE(range.end - range.start, 80000.0f) << name;
        for (f32 t = range.start; t <= range.end; t += 20.0f) {
            flight.Evaluate(t);
            const Vec3 p = flight.GetPosition();
            const std::string fault = Fault(p);
            if (!fault.empty()) {
                ADD_FAILURE() << name << " at " << t << " ms: " << fault << " at (" << p.x << ", " << p.y << ", "
                              << p.z << ")";
                break;
            }
            // Never upside down, and the horizon never tilted much (looking down is fine).
            const Vec3 up = flight.GetUp(), ahead = flight.GetDirection();
            const Vec3 side(up.y * ahead.z - up.z * ahead.y, up.z * ahead.x - up.x * ahead.z,
                            up.x * ahead.y - up.y * ahead.x);
            if (up.y <= 0.0f || std::fabs(side.y) > 0.35f) {
                ADD_FAILURE() << name << " at " << t << " ms: the camera rolls (up " << up.y << ", side " << side.y
                              << ")";
                break;
            }
        }
    }
}

// The checks themselves: points the flights must not reach are caught.
TEST(DunmerrowMedia, TheFlightCheckCatchesEveryKindOfFault) {
    EXPECT_EQ(Fault(Vec3(0.0f, 200.0f, -2500.0f)), "");           // low over the flat sand
    EXPECT_EQ(Fault(Vec3(-6000.0f, 300.0f, -7000.0f)), "too low");  // in the dunes
    EXPECT_EQ(Fault(Vec3(4000.0f, 100.0f, -5700.0f)), "too low");
    EXPECT_EQ(Fault(Vec3(0.0f, 2700.0f, 0.0f)), "inside the landmark");
    EXPECT_EQ(Fault(Vec3(1500.0f, 600.0f, -1500.0f)), "inside the landmark");
    EXPECT_EQ(Fault(Vec3(0.0f, 3000.0f, 0.0f)), "");
    EXPECT_EQ(Fault(Vec3(-4500.0f, 1000.0f, 3000.0f)), "inside the small pyramid");
    EXPECT_EQ(Fault(Vec3(9000.0f, 5000.0f, 0.0f)), "too far out");
}

TEST(DunmerrowMedia, TheGroundHoldsEveryNodeTheSceneRegroups) {
    ASSERT_NE(Archive(), nullptr);
    ModelTexturesBack back;
    AdvScene ground;
    const std::string file = "Models/All/Ground.UDF";
    if (!LoadModel(ground, file)) return;
    ExpectNodes(ground, file,
                {"Palm01", "Palm02", "Palm03", "Palm04", "Palm05", "Palm06", "Palm07", "Palm08", "Ankh", "Object012",
                 "Object02", "figure01", "Object05", "Object11"});
    ExpectChildren(ground, file, {"Object01", "Pyr1"});
    // Among the textures its materials name: the sand's height map and the floor's light map.
    const std::vector<std::string> textures = TextureFiles(file);
    for (const char* wanted : {"sand.jpg", "sand_h.png", "stone.jpg", "gold.jpg", "lightmap.jpg"})
        EXPECT_NE(std::find(textures.begin(), textures.end(), wanted), textures.end()) << file << " names no " << wanted;
}

TEST(DunmerrowMedia, EveryOtherModelHoldsTheNodesTheSceneUses) {
    ASSERT_NE(Archive(), nullptr);
    ModelTexturesBack back;
    {
        AdvScene sky;
        const std::string file = "Models/All/Sky.UDF";
        if (LoadModel(sky, file)) ExpectChildren(sky, file, {"Sky1", "Sky2", "Sky3", "Sky4", "Sky5"});
    }
    {
        AdvScene box;
        const std::string file = "Models/Box.UDF";
        if (LoadModel(box, file)) ExpectNodes(box, file, {"box"});
    }
    for (int n = 1; n <= 4; ++n) {
        AdvScene flare;
        const std::string file = "Models/Flares/Flare" + std::to_string(n) + ".UDF";
        if (LoadModel(flare, file)) ExpectChildren(flare, file, {"Plane01"});
    }
    {
        AdvScene palm;
        const std::string file = "Models/All/Palm.UDF";
        if (LoadModel(palm, file)) ExpectNodes(palm, file, {"Palm01", "Palm02"});
    }
    {
        // The sun and the moon dress the quad's first child.
        AdvScene quad;
        const std::string file = "Models/Quad.udf";
        if (LoadModel(quad, file)) {
            EXPECT_GE(quad.GetRoot()->GetChildren().count, 1u) << file << ": no child";
        }
    }
}

// The sky boxes (four sets, five faces each) and the music the parameters name.
TEST(DunmerrowMedia, TheSkyFacesAndTheMusicOpen) {
    ASSERT_NE(Archive(), nullptr);
    for (const char* set : {"chateau", "mpcarentan", "dam", "pathfinder"}) {
        for (const char* face : {"up", "ft", "bk", "lf", "rt"}) {
            const std::string name = std::string("Models/All/") + set + "_" + face + ".jpg";
            const std::vector<unsigned char> bytes = ReadMember(name);
            if (bytes.empty()) {
                ADD_FAILURE() << "missing: Media/" << name;
                continue;
            }
            D3DXIMAGE_INFO info{};
            EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info), D3D_OK)
                << name;
        }
    }
    TextDataTree doc;
    ASSERT_TRUE(LoadScreenParameters(doc));
    const std::string music = Narrow(TextNode::StringOf(doc.GetChild("MusicFile")));
    ASSERT_FALSE(music.empty());
    const std::vector<unsigned char> bytes = ReadMember(music);
    ASSERT_GE(bytes.size(), 4u) << "missing: Media/" << music;
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "OggS") << music;
}

#else

TEST(DunmerrowMedia, TheArchiveLoads) { GTEST_SKIP() << "this build packs no media archive"; }

#endif  // CORVANE_MEDIA_ARCHIVE
