// What every test of a binary runs inside. First a working folder of its own: a fresh
// folder under the temporary folder, entered before the test starts and deleted after it
// ends, so that whatever a test writes by a bare name (the program's "errors.log" and "log",
// effect caches, fixture files) lands there, never in the folder the binary was started
// from, and no test reads what another left.
//
// Then a watch over the program-wide objects and switches:
// what a test found them at when it started, it must leave them at. A test that leaves a
// font loaded, a texture alive, the log switched off or the working folder moved changes
// what every later test of the same process sees; run whole or shuffled, the binary then
// fails far from the cause, or crashes on a charset whose texture went with an earlier
// test. The watch fails the test that left it, naming what it left, also when each test
// runs in a process of its own.
//
// A snapshot is a list of named values as text, so that a difference reads as what changed;
// the Linux tests add what the platform layer counts.
#pragma once

#include "Core/Log.h"
#include "Core/ParamTable.h"
#include "Core/Parameter.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"
#include "Core/Timer.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/FontManager.h"
#include "D3d/GeometryCache.h"
#include "D3d/TextureManager.h"
#include "Effect/DebugBox.h"
#include "Effect/EffectManager.h"
#include "Effect/LightSet.h"
#include "Effect/ShadowMapRenderer.h"
#include "Gui/WindowManager.h"
#include "Screen/RenderDefaults.h"
#include "Screen/ScreenSaver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace programstate {

using Snapshot = std::vector<std::pair<std::string, std::string>>;
using Taker = void (*)(Snapshot&);

template <class T>
void Put(Snapshot& into, const std::string& name, const T& value) {
    std::ostringstream text;
    text << value;
    into.emplace_back(name, text.str());
}

inline void PutPointer(Snapshot& into, const std::string& name, const void* pointer) {
    into.emplace_back(name, pointer ? "set" : "null");
}

inline void TakeLog(Snapshot& into) {
    Put(into, "the log's master switch", static_cast<int>(g_logRegistry.masterSwitch));
    Put(into, "the log's lookup policy", g_logRegistry.lookupPolicy);
    Put(into, "the log's channel count", g_logRegistry.channels.count);
    for (const LogChannel* channel : {&g_logDefault, &g_logErrors, &g_logWarnings, &g_logInfo}) {
        const std::string name = std::string("log channel ") + channel->Name().c_str();
        Put(into, name + " switch", static_cast<int>(channel->enabled));
        Put(into, name + " flags", channel->flags);
        Put(into, name + " file", channel->fileName.c_str());
        Put(into, name + " title", channel->title.c_str());
        PutPointer(into, name + " stream", channel->stream);
    }
}

inline void TakeSwitches(Snapshot& into) {
    const RenderDefaults& d = TheRenderDefaults();
    Put(into, "render defaults: forced compiling", static_cast<int>(d.forceCompile));
    Put(into, "render defaults: saving compiled effects", static_cast<int>(d.saveCompiled));
    Put(into, "render defaults: loader option", static_cast<int>(d.loaderOption));
    Put(into, "render defaults: sequence switch", static_cast<int>(d.sequenceSwitch));
    Put(into, "render defaults: sequence key", d.sequenceKey);
    Put(into, "render defaults: material switch", static_cast<int>(d.materialSwitch));
    Put(into, "render defaults: material key", d.materialKey);
    for (int i = 0; i < 5; ++i) Put(into, "render defaults: light count " + std::to_string(i), d.lightCounts[i]);
    Put(into, "render defaults: default light level", d.defaultLightLevel);
    const EffectSettings& e = TheEffectManager().settings;
    Put(into, "effect settings: forced compiling", static_cast<int>(e.forceCompile));
    Put(into, "effect settings: saving compiled effects", static_cast<int>(e.saveCompiled));
    Put(into, "effect settings: material switch", static_cast<int>(e.materialSwitch));
    Put(into, "effect settings: material key", e.materialKey);
    for (int i = 0; i < 5; ++i) Put(into, "effect settings: light count " + std::to_string(i), e.lightCounts[i]);
    Put(into, "effect settings: default light level", e.defaultLightLevel);
    Put(into, "effect settings: sequence switch", static_cast<int>(e.sequence.sequenceSwitch));
    Put(into, "effect settings: sequence key", e.sequence.sequenceKey);
    Put(into, "the statistics switch", static_cast<int>(TheStatistics().enabled));
    Put(into, "the frozen clock", Timer::IsFrozen() ? "frozen" : "running");
}

inline void TakeRegistries(Snapshot& into) {
    Put(into, "parameters registered", g_paramRegistry.RegisteredCount());
    Put(into, "parameters owned", g_paramRegistry.OwnedCount());
    Put(into, "settings table bindings", g_paramTable.Count());
    Put(into, "frame listeners", TheFrameNotifier().listeners.count);
    Put(into, "fonts loaded", TheFontManager().EntryCount());
    Put(into, "textures loaded", TheTextureManager().TextureCount());
    Put(into, "texture search folders on disk", TheTextureManager().SearchPaths().DiskFolders().count);
    Put(into, "texture search folders in archives", TheTextureManager().SearchPaths().ArchiveFolders().count);
    Put(into, "effects", TheEffectManager().Effects().count);
    Put(into, "effect codes", TheEffectManager().CodeCount());
    Put(into, "effect search folders on disk", TheEffectManager().searchPaths.DiskFolders().count);
    Put(into, "effect search folders in archives", TheEffectManager().searchPaths.ArchiveFolders().count);
    Put(into, "geometries cached", TheGeometryCache().KnownCount());
    Put(into, "lights enabled", TheLightSet().EnabledCount());
    Put(into, "lights parked", TheLightSet().ParkedCount());
    PutPointer(into, "the debug box's geometry", TheDebugBox().Mesh().GetGeometry().Get());
    Put(into, "window events queued", TheWindowManager().QueuedCount());
    PutPointer(into, "the window focus", TheWindowManager().GetFocus());
    Put(into, "window meshes cached", TheWindowManager().Cache().Count());
    PutPointer(into, "the saver", TheSaver);
    PutPointer(into, "the application", TheApplication());
    PutPointer(into, "the device", TheDevice());
    PutPointer(into, "the shadow-map effect", TheShadowMapEffect());
}

inline void TakeWorkingFolder(Snapshot& into) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    Put(into, "the working folder", error ? std::string("(gone)") : folder.string());
}

inline void TakeEngine(Snapshot& into) {
    TakeLog(into);
    TakeSwitches(into);
    TakeRegistries(into);
    TakeWorkingFolder(into);
}

class WorkingFolder : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& test) override {
        std::error_code error;
        home_ = std::filesystem::current_path(error);
        std::string name = std::string(test.test_suite_name()) + "." + test.name();
        // Parameterised names carry slashes; a folder name must not.
        for (char& c : name)
            if (c == '/' || c == '\\') c = '-';
        folder_ = std::filesystem::temp_directory_path(error) / ("corvane-test-" + std::to_string(Process()) + "-" + name);
        std::filesystem::remove_all(folder_, error);
        std::filesystem::create_directories(folder_, error);
        std::filesystem::current_path(folder_, error);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::error_code error;
        std::filesystem::current_path(home_, error);
        std::filesystem::remove_all(folder_, error);
    }

private:
    static int Process() {
#ifdef _WIN32
        return _getpid();
#else
        return getpid();
#endif
    }

    std::filesystem::path home_, folder_;
};

class Watch : public ::testing::EmptyTestEventListener {
public:
    explicit Watch(std::vector<Taker> takers) : takers_(std::move(takers)) {}

    void OnTestStart(const ::testing::TestInfo&) override { before_ = Take(); }
    // Listeners hear a test's end before the result printer does, so a difference found
    // here is reported as the test's own failure.
    void OnTestEnd(const ::testing::TestInfo&) override {
        const Snapshot after = Take();
        for (size_t i = 0; i < after.size() && i < before_.size(); ++i)
            if (after[i].second != before_[i].second)
                ADD_FAILURE() << "the test left " << after[i].first << " at " << after[i].second << "; it found it at "
                              << before_[i].second;
    }

private:
    Snapshot Take() const {
        Snapshot snapshot;
        for (Taker take : takers_) take(snapshot);
        return snapshot;
    }

    std::vector<Taker> takers_;
    Snapshot before_;
};

// Gives every test of the binary its working folder and puts the watch over it (the watch
// hears a test's start after the folder is entered and its end before it is left); for a
// static initialiser of the binary's own.
inline bool Install(std::vector<Taker> takers) {
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new WorkingFolder);
    listeners.Append(new Watch(std::move(takers)));
    return true;
}

}  // namespace programstate
