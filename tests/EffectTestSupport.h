// Helpers for effect tests: a warnings channel redirected to a file of the test's own, and
// effects whose creation the test decides.
#pragma once

#include "Core/Log.h"
#include "Effect/Effect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace effectsupport {

// Sends a log channel (WARNINGS unless told) to a fresh file for the life of the object.
class WarningsCapture {
public:
    explicit WarningsCapture(LogChannel& target = LogWarnings()) : channel_(target) {
        path_ = std::filesystem::temp_directory_path() /
                ("corvane_warnings_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + ".log");
        std::filesystem::remove(path_);
        LogChannel& channel = channel_;
        savedName_ = channel.fileName;
        savedEnabled_ = channel.enabled;
        channel.fileName = String(path_.string().c_str());
        channel.enabled = 1;
    }
    ~WarningsCapture() {
        LogChannel& channel = channel_;
        channel.fileName = savedName_;
        channel.enabled = savedEnabled_;
        std::filesystem::remove(path_);
    }
    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    LogChannel& channel_;
    std::filesystem::path path_;
    String savedName_;
    u8 savedEnabled_ = 1;
};

// An effect whose Create answers what the test says and which counts its destruction.
class ScriptedEffect : public Effect {
public:
    ScriptedEffect(bool succeeds, int* destroyed = nullptr) : succeeds_(succeeds), destroyed_(destroyed) {}
    ~ScriptedEffect() override {
        if (destroyed_) ++*destroyed_;
    }
    bool Create() override {
        ++creates;
        return succeeds_;
    }
    using Effect::AddName;
    bool SetParameters(Material*, i32) override { return true; }
    bool SelectTechnique(Material*, i32, i32& passes) override {
        passes = 0;
        return true;
    }
    int creates = 0;

private:
    bool succeeds_;
    int* destroyed_;
};

}  // namespace effectsupport
