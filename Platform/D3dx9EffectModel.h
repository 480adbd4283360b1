// What the platform's effects know of an effect: its parameters (with types, semantics,
// annotations and initial values), its techniques and their passes (with the shader
// profile and entry point of each stage), read from source text by a preprocessor and a
// declaration parser, or from the compiled form of our own. No shader is ever compiled:
// an effect behaves to the program as the real one does through names, types and values.
#pragma once

#include <d3dx9.h>

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace d3dx9 {

// A parameter or annotation. Values are kept as 32-bit words (BOOL, INT or float bits),
// rows x columns per element; strings keep their text; objects have no words.
struct EffectParamDecl {
    std::string name;
    std::string semantic;
    D3DXPARAMETER_CLASS cls = D3DXPC_SCALAR;
    D3DXPARAMETER_TYPE type = D3DXPT_FLOAT;
    uint32_t rows = 1;
    uint32_t columns = 1;
    uint32_t elements = 0;  // 0 for a parameter that is not an array
    uint32_t flags = 0;     // D3DX_PARAMETER_SHARED
    std::vector<uint32_t> words;
    std::string text;  // a string's value
    std::vector<EffectParamDecl> annotations;
    // The state assignments of a sampler_state block, as name and value text; kept, not
    // applied.
    std::vector<std::pair<std::string, std::string>> states;

    uint32_t WordCount() const { return rows * columns * (elements ? elements : 1); }
    bool IsObject() const { return cls == D3DXPC_OBJECT; }
};

// One stage of a pass: the profile ("vs_2_0") and the function it names, or nothing.
struct EffectShaderDecl {
    std::string profile;
    std::string entry;
    bool Present() const { return !profile.empty(); }
};

struct EffectPassDecl {
    std::string name;
    std::vector<EffectParamDecl> annotations;
    EffectShaderDecl vertexShader;
    EffectShaderDecl pixelShader;
    // Other state assignments, as written; a pass sets no device state from them.
    std::vector<std::pair<std::string, std::string>> states;
};

struct EffectTechniqueDecl {
    std::string name;
    std::vector<EffectParamDecl> annotations;
    std::vector<EffectPassDecl> passes;
};

struct EffectDecl {
    std::vector<EffectParamDecl> parameters;
    std::vector<EffectTechniqueDecl> techniques;
    std::vector<std::string> functions;
};

// ---- preprocessor -----------------------------------------------------------------------

enum class TokenKind : uint8_t { Identifier, Number, String, Punct };

struct Token {
    TokenKind kind;
    std::string text;
    uint32_t line;
};

// Runs the preprocessor over `source` with the definitions (a list ended by a null name,
// or null), giving the tokens of what remains. On failure `error` holds a readable
// message ("memory(3): error: ...") and the result is false.
bool PreprocessEffect(const char* source, size_t length, const D3DXMACRO* defines, std::vector<Token>& tokens,
                      std::string& error);

// Reads the declarations from preprocessed tokens.
bool ParseEffect(const std::vector<Token>& tokens, EffectDecl& effect, std::string& error);

// Both steps.
bool ReadEffectSource(const char* source, size_t length, const D3DXMACRO* defines, EffectDecl& effect,
                      std::string& error);

// ---- compiled form ----------------------------------------------------------------------

// The shader version token of a profile ("vs_2_0" -> 0xFFFE0200), 0 for an unknown one.
DWORD ShaderProfileVersion(const std::string& profile);

// The compiled form: a magic word, a format version, the description and a checksum of
// everything before it. The same description always gives the same bytes.
std::vector<uint8_t> WriteCompiledEffect(const EffectDecl& effect);
// Whether the bytes start with the compiled form's magic word.
bool LooksCompiledEffect(const void* data, size_t size);
// Reads a compiled form; a foreign, damaged or truncated one is refused with a message.
bool ReadCompiledEffect(const void* data, size_t size, EffectDecl& effect, std::string& error);

}  // namespace d3dx9
