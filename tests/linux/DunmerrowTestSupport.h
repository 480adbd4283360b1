// The product scene on the reference device, for the scene's Linux tests: a fresh test
// folder with a small synthetic world written as model files under "Media/" (the nodes and
// files named as the scene looks for them, built with the model builder), the shipped
// configuration with a test's own lines over it, and a Dunmerrow started through the
// saver's Create in the debug mode (a window, no random flight), so LoadCustom runs on a
// real device with the effects, the media and the music a test chose.
//
// Building a Dunmerrow switches off the log and the statistics for the whole program; the
// fixture switches both back on after the constructor, so that tests read the log, and
// puts every switch back as it found it when it ends.
#pragma once

#include "Core/Log.h"
#include "Core/MemoryBuffer.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"
#include "Core/ValueTypes.h"
#include "D3d/TextureManager.h"
#include "Dunmerrow/Dunmerrow.h"
#include "Effect/EffectManager.h"
#include "Gui/WindowManager.h"
#include "Scene/Hierarchy.h"
#include "Screen/ProductSettings.h"
#include "Screen/SceneParams.h"
#include "tests/DunmerrowWorld.h"
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
    // The packed media archive of this build as resource 125, mounted by start-up (files
    // of the test folder's "Media" still come first).
    bool mediaArchive = false;
};

class DunmerrowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        world = savertest::EnterFreshWorld("corvane-dunmerrow");
        folder = world.folder;
        SwitchDiagnosticsOn();
    }
    void TearDown() override {
        delete scene;
        scene = nullptr;
        Timer::Freeze(false);
        RestoreEnvironment();
        savertest::LeaveWorld(world);
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
        if (options.mediaArchive) UseMediaArchive();
        if (options.music || options.mediaArchive) {
            for (u32 i = 0; i < CorvaneResourceTable.count; ++i) resources.push_back(CorvaneResourceTable.entries[i]);
            table = PlatformResourceTable{resources.data(), static_cast<uint32_t>(resources.size())};
            PlatformResources_Override(&table);
        }
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

    savertest::World world;
    fs::path folder;
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
        const auto* data = reinterpret_cast<const unsigned char*>(library.data());
        resources.push_back(PlatformResource{"BASS", 0, nullptr, ::Music::kResourceId, data, data + library.size()});
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

    // Put before the executable's own resources, so that it is the resource 125 found.
    void UseMediaArchive() {
#ifdef CORVANE_MEDIA_ARCHIVE
        archive = ReadText(CORVANE_MEDIA_ARCHIVE);
        ASSERT_FALSE(archive.empty());
        const auto* data = reinterpret_cast<const unsigned char*>(archive.data());
        resources.push_back(PlatformResource{"MEMFILE", 0, nullptr, ScreenSaver::Full::kArchiveResource, data,
                                             data + archive.size()});
#else
        GTEST_SKIP() << "this build packs no media archive";
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
    std::string archive;
    std::vector<PlatformResource> resources;
    PlatformResourceTable table{};
    std::string savedTemp;
    bool environmentSet = false;
};

}  // namespace dunmerrowtest
