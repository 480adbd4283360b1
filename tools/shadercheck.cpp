// shadercheck: compiles every shader of the media's effect sources with the system's HLSL
// compiler (d3dcompiler_47.dll, loaded at run time), for every definition set the engine
// compiles the source with, and fails with one message per shader that does not compile.
//
// Each source is first run through the compiler's preprocessor with the set's definitions.
// The passes are read from the technique blocks of what remains ("VertexShader = compile
// vs_1_1 Entry()"), then the effect-only syntax (techniques, annotations, sampler_state
// blocks) is blanked out, keeping line numbers, and each pass's entry function is compiled
// for its profile with only the functions it reaches (through a function that passes the
// pass's arguments, when it gives any).
//
// Some compilers (Wine's) do not implement all of HLSL. A failure whose every error is one
// such compiler reports as missing (a feature "not yet implemented", or a standard
// intrinsic function it does not define) is listed as a gap of the compiler, not of the
// shader; on the real compiler no such message exists, so the check there is exact.
//   usage: shadercheck [folder of the sources, default Media/Shaders]
#include "ShaderText.h"
#include "ShaderVariants.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

namespace {

using shadertext::Compiled;
using shadertext::GapsOnly;
using shadertext::Separate;
using shadertext::Stage;
using shadertext::StageShader;

// The compiler's definition record and result buffer, as its documentation gives them.
struct ShaderMacro {
    const char* Name;
    const char* Definition;
};

// The result buffer is a COM object: its table holds IUnknown's three operations, then
// GetBufferPointer and GetBufferSize. It is declared in the C form, a pointer to the table,
// so that no optimiser takes the calls for calls of a class it can see (nothing in this
// program implements the interface).
struct Blob;
struct BlobTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(Blob* self, const IID& iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(Blob* self);
    ULONG(STDMETHODCALLTYPE* Release)(Blob* self);
    void*(STDMETHODCALLTYPE* GetBufferPointer)(Blob* self);
    SIZE_T(STDMETHODCALLTYPE* GetBufferSize)(Blob* self);
};
struct Blob {
    const BlobTable* table;
};

using CompileFunction = HRESULT(WINAPI*)(const void* source, SIZE_T size, const char* sourceName,
                                         const ShaderMacro* defines, void* include, const char* entry,
                                         const char* target, UINT flags1, UINT flags2, Blob** code, Blob** errors);
using PreprocessFunction = HRESULT(WINAPI*)(const void* source, SIZE_T size, const char* sourceName,
                                            const ShaderMacro* defines, void* include, Blob** text, Blob** errors);

std::string BlobText(Blob* blob) {
    if (!blob) return std::string();
    std::string text(static_cast<const char*>(blob->table->GetBufferPointer(blob)), blob->table->GetBufferSize(blob));
    blob->table->Release(blob);
    while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// ---- the check -----------------------------------------------------------------------------

struct Tally {
    int compiled = 0;
    int gaps = 0;
    int failed = 0;
    std::set<std::string> missing;
};

void CheckSet(CompileFunction compile, PreprocessFunction preprocess, const std::string& folder,
              const shadervariants::Source& source, const shadervariants::DefinitionSet& set, Tally& tally) {
    const std::string where = source.file + " [" + shadervariants::Describe(set) + "]";
    std::string text;
    if (!shadertext::ReadWholeFile(folder + "/" + source.file, text)) {
        printf("FAILED %s: cannot read %s/%s\n", where.c_str(), folder.c_str(), source.file.c_str());
        ++tally.failed;
        return;
    }
    std::vector<ShaderMacro> macros;
    for (const shadervariants::Definition& d : set) macros.push_back({d.name.c_str(), d.value.c_str()});
    macros.push_back({nullptr, nullptr});

    Blob* out = nullptr;
    Blob* errors = nullptr;
    const HRESULT hr = preprocess(text.data(), text.size(), source.file.c_str(), macros.data(), nullptr, &out, &errors);
    const std::string messages = BlobText(errors);
    if (FAILED(hr) || !out) {
        printf("FAILED %s: the preprocessor refuses it\n%s\n", where.c_str(), messages.c_str());
        BlobText(out);
        ++tally.failed;
        return;
    }
    std::string plain = BlobText(out);

    std::vector<Stage> stages;
    std::string problem;
    if (!Separate(plain, stages, problem) || stages.empty()) {
        printf("FAILED %s: %s\n", where.c_str(), problem.empty() ? "no pass compiles a shader" : problem.c_str());
        ++tally.failed;
        return;
    }

    std::set<std::string> done;
    for (const Stage& stage : stages) {
        if (!done.insert(Compiled(stage)).second) continue;
        std::string shader, entry;
        if (!StageShader(plain, stage, shader, entry, problem)) {
            printf("FAILED %s: %s (technique %s): %s\n", where.c_str(), Compiled(stage).c_str(), stage.technique.c_str(),
                   problem.c_str());
            ++tally.failed;
            continue;
        }
        Blob* code = nullptr;
        Blob* compileErrors = nullptr;
        const HRESULT result = compile(shader.data(), shader.size(), source.file.c_str(), nullptr, nullptr,
                                       entry.c_str(), stage.profile.c_str(), 0, 0, &code, &compileErrors);
        BlobText(code);
        const std::string text = BlobText(compileErrors);
        if (SUCCEEDED(result)) {
            ++tally.compiled;
            continue;
        }
        const std::set<std::string> gaps = GapsOnly(text);
        if (!gaps.empty()) {
            ++tally.gaps;
            tally.missing.insert(gaps.begin(), gaps.end());
            continue;
        }
        printf("FAILED %s: %s (technique %s) does not compile\n%s\n", where.c_str(), Compiled(stage).c_str(),
               stage.technique.c_str(), text.c_str());
        ++tally.failed;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "Media/Shaders";
    HMODULE library = LoadLibraryA("d3dcompiler_47.dll");
    if (!library) {
        printf("shadercheck: d3dcompiler_47.dll cannot be loaded\n");
        return 2;
    }
    auto compile = reinterpret_cast<CompileFunction>(reinterpret_cast<void*>(GetProcAddress(library, "D3DCompile")));
    auto preprocess =
        reinterpret_cast<PreprocessFunction>(reinterpret_cast<void*>(GetProcAddress(library, "D3DPreprocess")));
    if (!compile || !preprocess) {
        printf("shadercheck: d3dcompiler_47.dll lacks D3DCompile or D3DPreprocess\n");
        return 2;
    }

    Tally tally;
    for (const shadervariants::Source& source : shadervariants::EngineSources())
        for (const shadervariants::DefinitionSet& set : source.sets) CheckSet(compile, preprocess, folder, source, set, tally);

    printf("shadercheck: %d shaders compiled, %d compiled only as far as this compiler goes, %d failed\n",
           tally.compiled, tally.gaps, tally.failed);
    if (!tally.missing.empty()) {
        printf("shadercheck: this compiler lacks:");
        for (const std::string& gap : tally.missing) printf(" [%s]", gap.c_str());
        printf("\n");
    }
    return tally.failed ? 1 : 0;
}
