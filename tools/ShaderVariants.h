// The effect sources of the media and the definition sets the engine compiles each of them
// with, in the engine's order: the effect's own definitions, then per light kind its
// numbered lights and count, then TEXCOORDS and PS_MODEL. The shader checker compiles every
// pass of every set; the Linux tests hold this list against the engine's own light-group
// walk, so the two cannot drift apart. Plain C++ only: the checker is a Windows program
// that links nothing of the engine.
#pragma once

#include <string>
#include <vector>

namespace shadervariants {

struct Definition {
    std::string name;
    std::string value;
};
using DefinitionSet = std::vector<Definition>;

struct Source {
    std::string file;  // in Media/Shaders
    std::vector<DefinitionSet> sets;
};

// The directional and point light counts of the bump-environment variants, in the order
// the engine's light-group walk visits them (at most three lights in all).
inline const int kBumpEnvCombinations[10][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1},
                                                {1, 1}, {2, 1}, {0, 2}, {1, 2}, {0, 3}};

inline DefinitionSet BumpEnvSet(const char* family, int dirs, int points) {
    DefinitionSet set{{family, ""}};
    int light = 1;
    for (int i = 0; i < dirs; ++i) set.push_back({"DIR" + std::to_string(light++), ""});
    set.push_back({"NUMDIR", std::to_string(dirs)});
    for (int i = 0; i < points; ++i) set.push_back({"POINT" + std::to_string(light++), ""});
    set.push_back({"NUMPOINT", std::to_string(points)});
    set.push_back({"TEXCOORDS", ""});
    set.push_back({"PS_MODEL", "ps_2_0"});
    return set;
}

inline std::vector<Source> EngineSources() {
    std::vector<Source> sources;
    // One variant without lights; the effect needs pixel-shader version 2.0.
    sources.push_back({"Distort.fx", {{{"TEXCOORDS", ""}, {"PS_MODEL", "ps_2_0"}}}});
    // The colour-map variant and the depth-texture variant; no light groups at all.
    sources.push_back({"CausBump_T.fx",
                       {{{"TEXCOORDS", ""}, {"PS_MODEL", "ps_2_0"}},
                        {{"ZTEXTURE", ""}, {"TEXCOORDS", ""}, {"PS_MODEL", "ps_2_0"}}}});
    // The same two, asked for with pixel-shader version 1.1.
    sources.push_back({"ShadowMap.fx",
                       {{{"TEXCOORDS", ""}, {"PS_MODEL", "ps_1_1"}},
                        {{"ZTEXTURE", ""}, {"TEXCOORDS", ""}, {"PS_MODEL", "ps_1_1"}}}});
    Source bumpEnv{"BumpEnv_T.fx", {}};
    for (const char* family : {"REFLECTION", "REFRACTION"})
        for (const auto& counts : kBumpEnvCombinations) bumpEnv.sets.push_back(BumpEnvSet(family, counts[0], counts[1]));
    sources.push_back(bumpEnv);
    return sources;
}

// "REFLECTION DIR1 NUMDIR=1 ..." for messages.
inline std::string Describe(const DefinitionSet& set) {
    std::string text;
    for (const Definition& d : set) {
        if (!text.empty()) text += ' ';
        text += d.name;
        if (!d.value.empty()) text += "=" + d.value;
    }
    return text.empty() ? "(no definitions)" : text;
}

}  // namespace shadervariants
