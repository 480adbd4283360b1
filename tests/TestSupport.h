// Helpers shared by the test suites.
#pragma once

#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/Path.h"
#include "Core/ProgramObjects.h"
#include "Core/StatisticsTable.h"
#include "Effect/EffectManager.h"
#include "Screen/RenderDefaults.h"
#include "tools/RarWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace testsupport {

// An empty folder of the running test's own under the temporary folder: the prefix, the
// process (release and sanitizer runs may overlap) and the test's name.
inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
#ifdef _WIN32
    const int process = _getpid();
#else
    const int process = getpid();
#endif
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (prefix + "-" + std::to_string(process) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// The program-wide switches as a test found them, to put back when it ends (building the
// product scene switches the log, the statistics and forced compiling off, and starting a
// full-screen saver hands the render switches to the effect manager).
struct ProgramSwitches {
    u8 logMaster = g_logRegistry.masterSwitch;
    u8 statistics = TheStatistics().enabled;
    RenderDefaults renderDefaults = TheRenderDefaults();
    EffectSettings effectSettings = TheEffectManager().settings;

    void PutBack() const {
        g_logRegistry.masterSwitch = logMaster;
        TheStatistics().enabled = statistics;
        TheRenderDefaults() = renderDefaults;
        TheEffectManager().settings = effectSettings;
    }
};

// A payload that counts its live instances through a counter the test owns, so that a
// container's copies, moves and releases can be checked.
struct LiveCounted {
    int* live = nullptr;
    int tag = 0;
    LiveCounted() = default;
    LiveCounted(int* l, int t) : live(l), tag(t) { ++*live; }
    LiveCounted(const LiveCounted& o) : live(o.live), tag(o.tag) {
        if (live) ++*live;
    }
    LiveCounted& operator=(const LiveCounted& o) {
        if (this != &o) {
            if (live) --*live;
            live = o.live;
            tag = o.tag;
            if (live) ++*live;
        }
        return *this;
    }
    ~LiveCounted() {
        if (live) --*live;
    }
};

// An engine object that counts its destructions, for the handles that share it.
struct DestroyCounted : Object {
    explicit DestroyCounted(int* destroyed) : destroyed_(destroyed) {}
    ~DestroyCounted() override { ++*destroyed_; }
    int* destroyed_;
};

using Members = std::vector<std::pair<std::string, std::string>>;

// An archive of stored members, `prefixed` under "Media\" and `bare` at the top.
inline std::vector<u8> BuildArchive(const Members& prefixed, const Members& bare = {}) {
    RarWriter writer;
    writer.SetPrefix("Media\\");
    for (const auto& [name, bytes] : prefixed) EXPECT_TRUE(writer.AddFile(name, bytes.data(), bytes.size()));
    writer.SetPrefix("");
    for (const auto& [name, bytes] : bare) EXPECT_TRUE(writer.AddFile(name, bytes.data(), bytes.size()));
    writer.AddEndBlock();
    return writer.Take();
}

// A path naming a block of memory.
inline patht BlockPath(const std::vector<u8>& bytes) {
    return patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size()));
}

}  // namespace testsupport
