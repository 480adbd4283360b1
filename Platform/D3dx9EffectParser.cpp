// The effect declaration parser. It reads what the program can see of an effect from the
// preprocessed tokens: top-level parameters (type, name, array size, semantic,
// annotations, initial value or sampler_state block), techniques and their passes with
// the profile and entry function of each shader stage. Function and struct bodies are
// passed over by matching braces; their names are kept so that a pass naming a function
// that does not exist fails as the real compiler would. Nothing here throws: every
// failure is a message naming the line.
#include "D3dx9EffectModel.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

namespace d3dx9 {

namespace {

// An array larger than this would make a huge value block out of a few characters of
// source; no effect needs one.
constexpr uint32_t kMaxElements = 4096;
// Initialiser expressions and braces nested deeper than this are refused.
constexpr int kMaxNesting = 64;

bool SameWord(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

uint32_t BitsOf(float f) {
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Fills the type fields of `decl` from a scalar, vector, matrix or object type name.
bool TypeFromName(const std::string& name, EffectParamDecl& decl) {
    struct Object {
        const char* name;
        D3DXPARAMETER_TYPE type;
    };
    static const Object kObjects[] = {
        {"string", D3DXPT_STRING},           {"texture", D3DXPT_TEXTURE},       {"texture1D", D3DXPT_TEXTURE1D},
        {"texture2D", D3DXPT_TEXTURE2D},     {"texture3D", D3DXPT_TEXTURE3D},   {"textureCUBE", D3DXPT_TEXTURECUBE},
        {"sampler", D3DXPT_SAMPLER},         {"sampler1D", D3DXPT_SAMPLER1D},   {"sampler2D", D3DXPT_SAMPLER2D},
        {"sampler3D", D3DXPT_SAMPLER3D},     {"samplerCUBE", D3DXPT_SAMPLERCUBE},
        {"vertexshader", D3DXPT_VERTEXSHADER}, {"pixelshader", D3DXPT_PIXELSHADER}};
    for (const Object& object : kObjects) {
        if (SameWord(name, object.name)) {
            decl.cls = D3DXPC_OBJECT;
            decl.type = object.type;
            decl.rows = decl.columns = 1;
            return true;
        }
    }
    if (name == "matrix") {
        decl.cls = D3DXPC_MATRIX_ROWS;
        decl.type = D3DXPT_FLOAT;
        decl.rows = decl.columns = 4;
        return true;
    }
    if (name == "vector") {
        decl.cls = D3DXPC_VECTOR;
        decl.type = D3DXPT_FLOAT;
        decl.rows = 1;
        decl.columns = 4;
        return true;
    }
    struct Base {
        const char* name;
        D3DXPARAMETER_TYPE type;
    };
    static const Base kBases[] = {{"bool", D3DXPT_BOOL},   {"int", D3DXPT_INT},     {"dword", D3DXPT_INT},
                                  {"float", D3DXPT_FLOAT}, {"half", D3DXPT_FLOAT},  {"double", D3DXPT_FLOAT}};
    for (const Base& base : kBases) {
        const size_t n = strlen(base.name);
        if (name.compare(0, n, base.name) != 0) continue;
        const std::string rest = name.substr(n);
        decl.type = base.type;
        if (rest.empty()) {
            decl.cls = D3DXPC_SCALAR;
            decl.rows = decl.columns = 1;
            return true;
        }
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            decl.cls = D3DXPC_VECTOR;
            decl.rows = 1;
            decl.columns = static_cast<uint32_t>(rest[0] - '0');
            return true;
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' && rest[2] <= '4') {
            decl.cls = D3DXPC_MATRIX_ROWS;
            decl.rows = static_cast<uint32_t>(rest[0] - '0');
            decl.columns = static_cast<uint32_t>(rest[2] - '0');
            return true;
        }
    }
    return false;
}

class Parser {
public:
    Parser(const std::vector<Token>& tokens, EffectDecl& effect, std::string& error)
        : tokens(tokens), effect(effect), error(error) {}

    bool Run() {
        while (!AtEnd()) {
            if (Accept(";")) continue;
            if (IsWord("technique") || IsWord("technique9")) {
                ++at;
                if (!Technique()) return false;
            } else if (IsWord("struct")) {
                ++at;
                if (!SkipStruct()) return false;
            } else if (IsWord("typedef")) {
                if (!SkipTo(";")) return false;
            } else if (!Declaration()) {
                return false;
            }
        }
        return true;
    }

private:
    bool AtEnd() const { return at >= tokens.size(); }
    uint32_t Line() const {
        if (tokens.empty()) return 1;
        return AtEnd() ? tokens.back().line : tokens[at].line;
    }
    bool Is(const char* punct) const {
        return !AtEnd() && tokens[at].kind == TokenKind::Punct && tokens[at].text == punct;
    }
    bool IsWord(const char* word) const {
        return !AtEnd() && tokens[at].kind == TokenKind::Identifier && SameWord(tokens[at].text, word);
    }
    bool Accept(const char* punct) {
        if (!Is(punct)) return false;
        ++at;
        return true;
    }
    bool Fail(const std::string& message) {
        char head[48];
        snprintf(head, sizeof head, "memory(%u): error: ", Line());
        error = head + message;
        return false;
    }
    bool Unexpected(const char* wanted) {
        if (AtEnd()) return Fail(std::string("unexpected end of file, expected ") + wanted);
        return Fail("unexpected '" + tokens[at].text + "', expected " + wanted);
    }
    bool Expect(const char* punct) {
        if (Accept(punct)) return true;
        return Unexpected((std::string("'") + punct + "'").c_str());
    }
    bool Identifier(std::string& out) {
        if (AtEnd() || tokens[at].kind != TokenKind::Identifier) return Unexpected("a name");
        out = tokens[at++].text;
        return true;
    }

    // Passes over a bracketed group starting at the opening token.
    bool SkipGroup(const char* open, const char* close) {
        int depth = 0;
        const uint32_t line = Line();
        while (!AtEnd()) {
            if (Is(open)) ++depth;
            else if (Is(close)) --depth;
            ++at;
            if (depth == 0) return true;
        }
        char text[64];
        snprintf(text, sizeof text, "'%s' opened on line %u is never closed", open, line);
        return Fail(text);
    }
    bool SkipTo(const char* punct) {
        while (!AtEnd() && !Is(punct)) {
            if (Is("{")) {
                if (!SkipGroup("{", "}")) return false;
            } else {
                ++at;
            }
        }
        return Expect(punct);
    }
    bool SkipStruct() {
        std::string name;
        if (!AtEnd() && tokens[at].kind == TokenKind::Identifier) name = tokens[at++].text;
        if (!Is("{")) return Unexpected("'{'");
        if (!SkipGroup("{", "}")) return false;
        if (!name.empty()) structs.push_back(name);
        return SkipTo(";");
    }

    bool IsStruct(const std::string& name) const {
        for (const std::string& s : structs)
            if (s == name) return true;
        return false;
    }

    bool Type(EffectParamDecl& decl) {
        std::string name;
        if (!Identifier(name)) return false;
        if ((name == "matrix" || name == "vector") && Is("<")) {
            // matrix<float, 4, 4>, vector<float, 3>
            ++at;
            std::string base;
            if (!Identifier(base)) return false;
            uint32_t sizes[2] = {0, 0};
            const int count = name == "matrix" ? 2 : 1;
            for (int i = 0; i < count; ++i) {
                if (!Expect(",")) return false;
                if (AtEnd() || tokens[at].kind != TokenKind::Number || tokens[at].text.size() != 1 ||
                    tokens[at].text[0] < '1' || tokens[at].text[0] > '4')
                    return Unexpected("a size from 1 to 4");
                sizes[i] = static_cast<uint32_t>(tokens[at++].text[0] - '0');
            }
            if (!Expect(">")) return false;
            std::string full = base + std::to_string(sizes[0]);
            if (count == 2) full += "x" + std::to_string(sizes[1]);
            if (!TypeFromName(full, decl)) return Fail("unknown type '" + base + "'");
            return true;
        }
        if (TypeFromName(name, decl)) return true;
        if (IsStruct(name)) return Fail("parameters of struct type are not supported ('" + name + "')");
        --at;
        return Fail("unknown type '" + name + "'");
    }

    // A scalar constant expression: numbers, true/false, + - * /, parentheses.
    bool Scalar(double& value, int depth) {
        if (depth > kMaxNesting) return Fail("expression nested too deeply");
        if (!Term(value, depth)) return false;
        while (Is("+") || Is("-")) {
            const bool add = Is("+");
            ++at;
            double right;
            if (!Term(right, depth + 1)) return false;
            value = add ? value + right : value - right;
        }
        return true;
    }
    bool Term(double& value, int depth) {
        if (!Factor(value, depth + 1)) return false;
        while (Is("*") || Is("/")) {
            const bool multiply = Is("*");
            ++at;
            double right;
            if (!Factor(right, depth + 1)) return false;
            value = multiply ? value * right : value / right;
        }
        return true;
    }
    bool Factor(double& value, int depth) {
        if (depth > kMaxNesting) return Fail("expression nested too deeply");
        if (Accept("-")) {
            if (!Factor(value, depth + 1)) return false;
            value = -value;
            return true;
        }
        if (Accept("+")) return Factor(value, depth + 1);
        if (Accept("(")) {
            if (!Scalar(value, depth + 1)) return false;
            return Expect(")");
        }
        if (IsWord("true") || IsWord("false")) {
            value = IsWord("true") ? 1.0 : 0.0;
            ++at;
            return true;
        }
        if (AtEnd() || tokens[at].kind != TokenKind::Number) return Unexpected("a value");
        std::string digits = tokens[at].text;
        while (!digits.empty() && strchr("fFhHlLuU", digits.back())) digits.pop_back();
        char* end = nullptr;
        const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        value = hex ? static_cast<double>(strtoull(digits.c_str(), &end, 16)) : strtod(digits.c_str(), &end);
        if (digits.empty() || *end) return Fail("bad number '" + tokens[at].text + "'");
        ++at;
        return true;
    }

    // Values of an initialiser: braces and constructors flatten into one list.
    bool Values(std::vector<double>& values, int depth) {
        if (depth > kMaxNesting) return Fail("initialiser nested too deeply");
        if (Accept("{")) {
            if (Accept("}")) return true;
            do {
                if (Is("}")) break;  // a trailing comma
                if (!Values(values, depth + 1)) return false;
            } while (Accept(","));
            return Expect("}");
        }
        if (!AtEnd() && tokens[at].kind == TokenKind::Identifier && at + 1 < tokens.size() &&
            tokens[at + 1].text == "(") {
            EffectParamDecl constructor;
            if (!TypeFromName(tokens[at].text, constructor) || constructor.IsObject())
                return Fail("unknown constructor '" + tokens[at].text + "'");
            at += 2;
            do {
                if (!Values(values, depth + 1)) return false;
            } while (Accept(","));
            return Expect(")");
        }
        double value;
        if (!Scalar(value, depth + 1)) return false;
        values.push_back(value);
        return true;
    }

    bool Initialiser(EffectParamDecl& decl) {
        if (decl.type == D3DXPT_STRING) {
            if (AtEnd() || tokens[at].kind != TokenKind::String) return Unexpected("a string");
            decl.text = tokens[at++].text;
            return true;
        }
        if (decl.IsObject()) {
            if (IsWord("sampler_state")) {
                ++at;
                if (!Expect("{")) return false;
                while (!Accept("}")) {
                    std::string state;
                    if (!Identifier(state)) return false;
                    if (!Expect("=")) return false;
                    std::string value;
                    while (!Is(";")) {
                        if (AtEnd() || Is("}")) return Unexpected("';'");
                        value += tokens[at++].text;
                    }
                    ++at;
                    decl.states.emplace_back(state, value);
                }
                return true;
            }
            return Fail("unsupported initialiser of '" + decl.name + "'");
        }
        std::vector<double> values;
        if (!Values(values, 0)) return false;
        const uint32_t count = decl.WordCount();
        if (values.size() == 1 && count > 1) values.assign(count, values[0]);
        if (values.size() != count) {
            char text[96];
            snprintf(text, sizeof text, "initialiser of '%s' has %zu values, expected %u", decl.name.c_str(),
                     values.size(), count);
            return Fail(text);
        }
        for (size_t i = 0; i < count; ++i) {
            const double v = values[i];
            if (decl.type == D3DXPT_BOOL)
                decl.words[i] = v != 0.0;
            else if (decl.type == D3DXPT_INT)
                decl.words[i] = static_cast<uint32_t>(static_cast<int32_t>(
                    isfinite(v) && v > -2147483648.0 && v < 2147483648.0 ? v : 0.0));
            else
                decl.words[i] = BitsOf(static_cast<float>(v));
        }
        return true;
    }

    bool Annotations(std::vector<EffectParamDecl>& out) {
        // "<" was read.
        while (!Accept(">")) {
            if (AtEnd()) return Unexpected("'>'");
            EffectParamDecl annotation;
            if (!Type(annotation)) return false;
            if (!Identifier(annotation.name)) return false;
            annotation.flags = D3DX_PARAMETER_ANNOTATION;
            if (annotation.IsObject() && annotation.type != D3DXPT_STRING)
                return Fail("annotation '" + annotation.name + "' must not be an object");
            annotation.words.assign(annotation.IsObject() ? 0 : annotation.WordCount(), 0);
            if (!Expect("=")) return false;
            if (!Initialiser(annotation)) return false;
            if (!Expect(";")) return false;
            out.push_back(std::move(annotation));
        }
        return true;
    }

    bool Declaration() {
        EffectParamDecl decl;
        bool isStatic = false;
        for (;;) {
            if (IsWord("shared")) decl.flags |= D3DX_PARAMETER_SHARED;
            else if (IsWord("static")) isStatic = true;
            else if (!(IsWord("uniform") || IsWord("const") || IsWord("extern") || IsWord("volatile") ||
                       IsWord("row_major") || IsWord("column_major") || IsWord("inline")))
                break;
            ++at;
        }
        if (IsWord("void") || (!AtEnd() && IsStruct(tokens[at].text) && at + 2 < tokens.size() &&
                               tokens[at + 2].text == "(")) {
            ++at;
            std::string name;
            if (!Identifier(name)) return false;
            return Function(name);
        }
        if (!Type(decl)) return false;
        if (!Identifier(decl.name)) return false;
        if (Is("(")) return Function(decl.name);
        if (Accept("[")) {
            if (AtEnd() || tokens[at].kind != TokenKind::Number) return Unexpected("an array size");
            char* end = nullptr;
            const unsigned long size = strtoul(tokens[at].text.c_str(), &end, 0);
            if (*end || size == 0 || size > kMaxElements) return Fail("bad array size '" + tokens[at].text + "'");
            ++at;
            if (!Expect("]")) return false;
            if (decl.IsObject()) return Fail("arrays of objects are not supported ('" + decl.name + "')");
            decl.elements = static_cast<uint32_t>(size);
        }
        if (Accept(":")) {
            if (IsWord("register")) {
                ++at;
                if (!Is("(")) return Unexpected("'('");
                if (!SkipGroup("(", ")")) return false;
            } else {
                if (!Identifier(decl.semantic)) return false;
            }
        }
        if (Accept("<") && !Annotations(decl.annotations)) return false;
        if (!decl.IsObject()) decl.words.assign(decl.WordCount(), 0);
        if (Accept("=") && !Initialiser(decl)) return false;
        if (!Expect(";")) return false;
        if (isStatic) return true;  // a static variable is the shaders' own, not the effect's
        for (const EffectParamDecl& other : effect.parameters)
            if (other.name == decl.name) return Fail("redefinition of '" + decl.name + "'");
        effect.parameters.push_back(std::move(decl));
        return true;
    }

    bool Function(const std::string& name) {
        if (!Is("(")) return Unexpected("'('");
        if (!SkipGroup("(", ")")) return false;
        if (Accept(":")) {
            std::string semantic;
            if (!Identifier(semantic)) return false;
        }
        if (Accept(";")) return true;  // a declaration without a body
        if (!Is("{")) return Unexpected("'{'");
        if (!SkipGroup("{", "}")) return false;
        for (const std::string& known : effect.functions)
            if (known == name) return true;
        effect.functions.push_back(name);
        return true;
    }

    bool Shader(EffectShaderDecl& shader, const char* prefix) {
        if (IsWord("NULL")) {
            ++at;
            shader = EffectShaderDecl();
            return true;
        }
        if (!IsWord("compile")) return Fail("only 'compile <profile> <function>(...)' is supported here");
        ++at;
        if (!Identifier(shader.profile)) return false;
        if (ShaderProfileVersion(shader.profile) == 0 || shader.profile.compare(0, 2, prefix) != 0) {
            --at;
            return Fail("invalid target '" + shader.profile + "'");
        }
        if (!Identifier(shader.entry)) return false;
        bool known = false;
        for (const std::string& function : effect.functions) known = known || function == shader.entry;
        if (!known) {
            --at;
            return Fail("undefined function '" + shader.entry + "'");
        }
        if (!Is("(")) return Unexpected("'('");
        return SkipGroup("(", ")");
    }

    bool Pass(EffectTechniqueDecl& technique) {
        EffectPassDecl pass;
        if (!AtEnd() && tokens[at].kind == TokenKind::Identifier) pass.name = tokens[at++].text;
        if (Accept("<") && !Annotations(pass.annotations)) return false;
        if (!Expect("{")) return false;
        while (!Accept("}")) {
            std::string state;
            if (!Identifier(state)) return false;
            if (Accept("[")) {
                while (!Accept("]")) {
                    if (AtEnd()) return Unexpected("']'");
                    ++at;
                }
            }
            if (!Expect("=")) return false;
            if (SameWord(state, "VertexShader")) {
                if (!Shader(pass.vertexShader, "vs")) return false;
            } else if (SameWord(state, "PixelShader")) {
                if (!Shader(pass.pixelShader, "ps")) return false;
            } else {
                std::string value;
                while (!Is(";")) {
                    if (AtEnd() || Is("}")) return Unexpected("';'");
                    value += tokens[at++].text;
                }
                pass.states.emplace_back(state, value);
            }
            if (!Expect(";")) return false;
        }
        technique.passes.push_back(std::move(pass));
        return true;
    }

    bool Technique() {
        EffectTechniqueDecl technique;
        if (!AtEnd() && tokens[at].kind == TokenKind::Identifier) technique.name = tokens[at++].text;
        if (Accept("<") && !Annotations(technique.annotations)) return false;
        if (!Expect("{")) return false;
        while (!Accept("}")) {
            if (!IsWord("pass")) return Unexpected("'pass'");
            ++at;
            if (!Pass(technique)) return false;
        }
        effect.techniques.push_back(std::move(technique));
        return true;
    }

    const std::vector<Token>& tokens;
    EffectDecl& effect;
    std::string& error;
    size_t at = 0;
    std::vector<std::string> structs;
};

}  // namespace

DWORD ShaderProfileVersion(const std::string& profile) {
    struct Profile {
        const char* name;
        DWORD version;
    };
    static const Profile kProfiles[] = {
        {"vs_1_1", 0xFFFE0101}, {"vs_2_0", 0xFFFE0200}, {"vs_2_a", 0xFFFE0200}, {"vs_2_sw", 0xFFFE0200},
        {"vs_3_0", 0xFFFE0300}, {"ps_1_1", 0xFFFF0101}, {"ps_1_2", 0xFFFF0102}, {"ps_1_3", 0xFFFF0103},
        {"ps_1_4", 0xFFFF0104}, {"ps_2_0", 0xFFFF0200}, {"ps_2_a", 0xFFFF0200}, {"ps_2_b", 0xFFFF0200},
        {"ps_2_sw", 0xFFFF0200}, {"ps_3_0", 0xFFFF0300}};
    for (const Profile& p : kProfiles)
        if (profile == p.name) return p.version;
    return 0;
}

bool ParseEffect(const std::vector<Token>& tokens, EffectDecl& effect, std::string& error) {
    effect = EffectDecl();
    error.clear();
    return Parser(tokens, effect, error).Run();
}

bool ReadEffectSource(const char* source, size_t length, const D3DXMACRO* defines, EffectDecl& effect,
                      std::string& error) {
    std::vector<Token> tokens;
    if (!PreprocessEffect(source, length, defines, tokens, error)) return false;
    return ParseEffect(tokens, effect, error);
}

}  // namespace d3dx9
