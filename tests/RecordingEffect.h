// A test effect that draws nothing and writes what it is asked into a log: technique
// selections, parameter sets, passes begun and ends. Its pass count, its answer to the
// transparency question and its vertex layout are set by the test.
#pragma once

#include <string>
#include <vector>

#include "Effect/Effect.h"

class RecordingEffect : public Effect {
public:
    explicit RecordingEffect(std::vector<std::string>* calls = nullptr) : log(calls) {}

    // Created without a device, so that the effect manager takes it.
    bool Create() override { return true; }
    bool SetParameters(Material*, i32 layer) override { return Note("SetParameters(" + std::to_string(layer) + ")"); }
    bool IsTransparent(const Material*, i32) const override { return transparent; }
    bool SelectTechnique(Material*, i32 layer, i32& passes) override {
        passes = passCount;
        passTotal = passCount;
        return Note("SelectTechnique(" + std::to_string(layer) + ")");
    }
    bool BeginPass(i32 pass) override { return Note("BeginPass(" + std::to_string(pass) + ")"); }
    bool End() override { return Note("End"); }

    void SetLayout(const VertexDeclaration& layout) { declaration = layout; }

    std::vector<std::string>* log;
    i32 passCount = 1;
    bool transparent = false;

private:
    bool Note(const std::string& call) {
        if (log) log->push_back(call);
        return true;
    }
};
