// shadersplit: the effect sources' shaders as plain HLSL files, one per pass's entry, for a
// compiler that knows no effects (tools/check-shaders.sh hands them to glslang).
//
//   shadersplit sets
//     the definition sets the engine compiles each source with, one line each:
//     file TAB description TAB the definitions as -D arguments
//   shadersplit split <preprocessed source> <folder>
//     reads the passes from the technique blocks of a source its set has preprocessed,
//     blanks the effect-only syntax (keeping line numbers), and writes each distinct stage
//     into <folder> with only the functions its entry reaches; one line each:
//     stage TAB entry TAB file TAB what the pass compiles TAB technique
//     (stage "vert" or "frag"; the entry is the function to compile, which for a pass that
//     gives arguments is a wrapper calling the effect's function with them; the technique,
//     which may have no name, comes last).
//
// The preprocessing is the compiler's own (glslangValidator -E), so that the definitions
// are read exactly as the check compiles them; this program does only the text work.
#include "ShaderText.h"
#include "ShaderVariants.h"

#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

int PrintSets() {
    for (const shadervariants::Source& source : shadervariants::EngineSources())
        for (const shadervariants::DefinitionSet& set : source.sets) {
            std::string arguments;
            for (const shadervariants::Definition& d : set) {
                if (!arguments.empty()) arguments += ' ';
                arguments += "-D" + d.name + (d.value.empty() ? "" : "=" + d.value);
            }
            printf("%s\t%s\t%s\n", source.file.c_str(), shadervariants::Describe(set).c_str(), arguments.c_str());
        }
    return 0;
}

int Split(const std::string& path, const std::string& folder) {
    std::string text;
    if (!shadertext::ReadWholeFile(path, text)) {
        fprintf(stderr, "shadersplit: cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<shadertext::Stage> stages;
    std::string problem;
    if (!shadertext::Separate(text, stages, problem) || stages.empty()) {
        fprintf(stderr, "shadersplit: %s\n", problem.empty() ? "no pass compiles a shader" : problem.c_str());
        return 1;
    }
    shadertext::BlankTextures(text);
    std::set<std::string> done;
    int written = 0;
    for (const shadertext::Stage& stage : stages) {
        if (!done.insert(shadertext::Compiled(stage)).second) continue;
        const bool vertex = stage.profile.compare(0, 3, "vs_") == 0;
        if (!vertex && stage.profile.compare(0, 3, "ps_") != 0) {
            fprintf(stderr, "shadersplit: technique %s compiles for %s, neither a vertex nor a pixel shader\n",
                    stage.technique.c_str(), stage.profile.c_str());
            return 1;
        }
        std::string shader, entry;
        if (!shadertext::StageShader(text, stage, shader, entry, problem)) {
            fprintf(stderr, "shadersplit: technique %s: %s\n", stage.technique.c_str(), problem.c_str());
            return 1;
        }
        const std::string file = folder + "/" + std::to_string(++written) + ".hlsl";
        if (!WriteFile(file, shader)) {
            fprintf(stderr, "shadersplit: cannot write %s\n", file.c_str());
            return 1;
        }
        printf("%s\t%s\t%s\t%s\t%s\n", vertex ? "vert" : "frag", entry.c_str(), file.c_str(),
               shadertext::Compiled(stage).c_str(), stage.technique.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "sets") == 0) return PrintSets();
    if (argc == 4 && strcmp(argv[1], "split") == 0) return Split(argv[2], argv[3]);
    fprintf(stderr, "usage: shadersplit sets | shadersplit split <preprocessed source> <folder>\n");
    return 2;
}
