// The configuration texts the program carries (resources 156 and 157): every key the
// saver and its scene read is there with its shipped value, and the texts parse whole.
#include "Core/Path.h"
#include "Core/Stream.h"
#include "Core/TextCodec.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"
#include "Screen/MessageTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Parses one resource after its byte-order mark; false when it is missing or has none.
bool LoadResource(u32 id, TextDataTree& doc) {
    patht path;
    path.flags = kPathResource;
    path.number = id;
    std::unique_ptr<Stream> stream(path.Open(kStreamRead));
    if (!stream) return false;
    u8 bom[3] = {};
    if (stream->Read(bom, 3) != 3 || bom[0] != 0xEF || bom[1] != 0xBB || bom[2] != 0xBF) return false;
    const bool ok = UdfText::LoadStream(*stream, doc, nullptr, kTextUtf8);
    stream->Close();
    return ok;
}

std::string Text(const TextDataTree& doc, const char* key) {
    const TextNode* node = doc.GetChild(key);
    return node ? String::FromWString(node->value).c_str() : std::string("<missing>");
}

const char* const kScreenKeys[] = {
    "RegPath", "UseDesktop", "ExitOnMM", "ShowTime", "b24h", "Music", "Sound", "Volume", "ShowFps", "Gamma",
    "Adapter", "Width", "Height", "Depth", "Ambient", "BgColor", "FogColor", "NearPlane", "FarPlane", "FogEnable",
    "FogStart", "FogEnd", "Fov", "CamSpeed", "Animations", "DEBUG", "AnimLength", "Loader_LU", "Loader_RD",
    "Loader_LD", "Loader_RU", "CameraAngle", "CameraPos", "download_dx9_url", "main_web_site_url", "MusicFile",
    "DayLength", "DayMaxLength", "DayMinLength", "CameraTimes", "Cameras", "GoldColor", "SunLight", "MoonLight",
    "AmbientLight", "ShadowLightness", "PyrShadow", "ShadowsEnabled", "ShadowQuality", "ShadowDelay", "ShadowArea",
    "DistAmount", "Scale", "IsAnimated", "AnkhSpeed", "CloudSpeed", "MaxMagic", "MagicSize", "GlowPos", "GlowCol",
    "GlowSize", "GlowRays",
};

}  // namespace

TEST(ScreenConfigTexts, ScreenParametersHoldEveryKey) {
    TextDataTree doc;
    ASSERT_TRUE(LoadResource(156, doc));
    for (const char* key : kScreenKeys) EXPECT_NE(doc.GetChild(key), nullptr) << key;
    EXPECT_EQ(Text(doc, "RegPath"), "Software\\Halvorn Studio\\Sablecrest 3D Screensaver");
    EXPECT_EQ(doc.GetChild("ExitOnMM")->GetInt(), 0);
    EXPECT_EQ(doc.GetChild("ShowTime")->GetInt(), 1);
    EXPECT_EQ(doc.GetChild("Volume")->GetInt(), 80);
    EXPECT_EQ(doc.GetChild("FarPlane")->GetInt(), 36000);
    EXPECT_EQ(doc.GetChild("FogColor")->GetChild(1)->GetInt(), 225);
    EXPECT_EQ(doc.GetChild("DayMaxLength")->GetInt(), 86400000);
    EXPECT_EQ(doc.GetChild("GoldColor")->GetChild(0)->GetInt(), 355);
    EXPECT_DOUBLE_EQ(doc.GetChild("AnkhSpeed")->GetReal(), 0.001);
    EXPECT_EQ(Text(doc, "MusicFile"), "music.ogg");
    // Four lists of the fifteen camera paths; five glows.
    const TextNode* cameras = doc.GetChild("Cameras");
    ASSERT_EQ(cameras->ChildCount(), 4u);
    for (i32 i = 0; i < 4; ++i) {
        ASSERT_EQ(cameras->GetChild(i)->ChildCount(), 15u);
        EXPECT_EQ(String::FromWString(cameras->GetChild(i)->GetChild(14)->value), String("15.cam"));
    }
    EXPECT_EQ(doc.GetChild("GlowPos")->ChildCount(), 5u);
    EXPECT_DOUBLE_EQ(doc.GetChild("GlowPos")->GetChild(4)->GetChild(2)->GetReal(), -7070.375);
    EXPECT_EQ(doc.GetChild("GlowRays")->GetChild(0)->GetInt(), 30);
    EXPECT_EQ(doc.GetChild("CameraTimes")->ChildCount(), 4u);
}

TEST(ScreenConfigTexts, MessageTableHoldsEveryMessage) {
    TextDataTree doc;
    ASSERT_TRUE(LoadResource(157, doc));
    EXPECT_EQ(Text(doc, "AppName"), "Sablecrest 3D Screensaver");
    for (u32 i = 0; i < MessageTable::kCount; ++i) {
        const char* key = MessageTable::Key(static_cast<Message>(i));
        const TextNode* node = doc.GetChild(key);
        ASSERT_NE(node, nullptr) << key;
        EXPECT_FALSE(node->value.IsEmpty()) << key;
    }
    for (const char* key : {"Mes_Settings_ShadowQual", "Mes_Settings_DayLength", "Mes_Settings_DayOpt"})
        EXPECT_NE(doc.GetChild(key), nullptr) << key;
    EXPECT_EQ(Text(doc, "Mes_NODX_Text"),
              "DirectX 9 is required for the screensaver to work properly. Click button Download DirectX 9 to "
              "download it from Microsoft's website");
    EXPECT_EQ(Text(doc, "Mes_Settings_Gamma"), "Gamma Control:");
}
