// The text work of the shader checkers, apart from the compilers they drive: reading the
// passes' stages out of a preprocessed effect source, blanking the effect-only syntax
// (techniques, annotations, sampler_state blocks, parameters' initial values, and for
// compilers that know no effects the texture objects) so that plain HLSL is left with its
// line numbers, keeping only the functions one entry reaches, calling an entry with the
// arguments its pass gives, and telling a compiler's own gaps from a shader's errors in its
// messages. Plain C++, so that the portable tests cover it too.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace shadertext {

// The whole of a file, as the checkers read the sources.
inline bool ReadWholeFile(const std::string& path, std::string& out) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[4096];
    size_t n;
    out.clear();
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
    const bool read = !ferror(file);
    fclose(file);
    return read;
}

// ---- the effect syntax around the shaders -------------------------------------------------

struct Token {
    std::string text;
    size_t begin;
    size_t end;
    bool word;
};

inline bool IsWordStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
inline bool IsWordChar(char c) { return IsWordStart(c) || (c >= '0' && c <= '9'); }

// Tokens of preprocessed text: words, numbers, strings and single punctuation characters.
// Directive lines the preprocessor leaves (#line, #pragma) are passed over.
inline std::vector<Token> Tokenize(const std::string& text) {
    std::vector<Token> tokens;
    size_t i = 0;
    bool lineStart = true;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#' && lineStart) {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        lineStart = false;
        const size_t begin = i;
        if (IsWordChar(c) || c == '.') {
            while (i < text.size() && (IsWordChar(text[i]) || text[i] == '.')) ++i;
            tokens.push_back({text.substr(begin, i - begin), begin, i, IsWordStart(c)});
        } else if (c == '"') {
            ++i;
            while (i < text.size() && text[i] != '"' && text[i] != '\n') ++i;
            if (i < text.size() && text[i] == '"') ++i;
            tokens.push_back({text.substr(begin, i - begin), begin, i, false});
        } else {
            ++i;
            tokens.push_back({std::string(1, c), begin, i, false});
        }
    }
    return tokens;
}

struct Stage {
    std::string technique;
    std::string profile;
    std::string entry;
    std::string arguments;  // what "compile ps_2_0 Main(true)" passes, here "true"
    int line = 0;           // of the compile statement, counted from 1
};

// The line of a position in the text, counted from 1.
inline int LineOf(const std::string& text, size_t position) {
    int line = 1;
    for (size_t i = 0; i < position && i < text.size(); ++i) line += text[i] == '\n';
    return line;
}

// The text with each run of spaces, tabs and line breaks made one space, for messages and
// listings of one line.
inline std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (!space) line += c;
        else if (line.empty() || line.back() != ' ') line += ' ';
    }
    return line;
}

// Index of the token after the group that opens at `at` ("{" ... "}"), or the token count.
inline size_t SkipGroup(const std::vector<Token>& tokens, size_t at, const char* open, const char* close) {
    int depth = 0;
    for (; at < tokens.size(); ++at) {
        if (tokens[at].text == open) ++depth;
        else if (tokens[at].text == close && --depth == 0) return at + 1;
    }
    return at;
}

// Blanks the text of tokens [from, to) but keeps line breaks.
inline void Blank(std::string& text, const std::vector<Token>& tokens, size_t from, size_t to) {
    if (from >= to || from >= tokens.size()) return;
    const size_t end = to <= tokens.size() ? tokens[to - 1].end : text.size();
    for (size_t i = tokens[from].begin; i < end; ++i)
        if (text[i] != '\n') text[i] = ' ';
}

// Reads the stages of the techniques and leaves plain HLSL behind.
inline bool Separate(std::string& text, std::vector<Stage>& stages, std::string& problem) {
    const std::vector<Token> tokens = Tokenize(text);
    int depth = 0;
    bool declarationStart = true;  // the next top-level token begins a declaration
    bool declarationStatic = false;
    for (size_t at = 0; at < tokens.size();) {
        const Token& token = tokens[at];
        if (depth == 0 && declarationStart) declarationStatic = token.text == "static";
        declarationStart = false;
        if (token.text == "{" || token.text == "(") {
            ++depth;
        } else if (token.text == "}" || token.text == ")") {
            --depth;
            declarationStart = depth == 0 && token.text == "}";
        } else if (depth == 0 && token.text == ";") {
            declarationStart = true;
        } else if (depth == 0 && token.word && (token.text == "technique" || token.text == "technique9")) {
            const std::string name = at + 1 < tokens.size() && tokens[at + 1].word ? tokens[at + 1].text : "";
            size_t open = at + 1;
            while (open < tokens.size() && tokens[open].text != "{") ++open;
            const size_t end = SkipGroup(tokens, open, "{", "}");
            for (size_t i = open; i + 3 < end; ++i) {
                if ((tokens[i].text == "VertexShader" || tokens[i].text == "PixelShader") && tokens[i + 1].text == "=") {
                    if (tokens[i + 2].text != "compile") continue;  // NULL or a shader variable
                    if (i + 4 >= end) {
                        problem = "technique " + name + ": incomplete compile statement";
                        return false;
                    }
                    Stage stage{name, tokens[i + 3].text, tokens[i + 4].text, "", LineOf(text, tokens[i].begin)};
                    if (i + 5 < end && tokens[i + 5].text == "(") {
                        const size_t close = SkipGroup(tokens, i + 5, "(", ")") - 1;
                        if (close < end && tokens[close].text == ")" && close > i + 6)
                            stage.arguments =
                                OneLine(text.substr(tokens[i + 6].begin, tokens[close - 1].end - tokens[i + 6].begin));
                    }
                    stages.push_back(stage);
                }
            }
            Blank(text, tokens, at, end);
            at = end;
            declarationStart = true;
            continue;
        } else if (depth == 0 && token.text == "<") {
            // An annotation block holds declarations ending in ';' (or nothing at all);
            // the template form of a type (vector<float, 3>) holds none.
            size_t close = at + 1;
            bool statements = false;
            while (close < tokens.size() && tokens[close].text != ">") statements |= tokens[close++].text == ";";
            if (close < tokens.size() && (statements || close == at + 1)) {
                Blank(text, tokens, at, close + 1);
                at = close + 1;
                continue;
            }
        } else if (depth == 0 && token.text == "=" && !declarationStatic &&
                   !(at + 1 < tokens.size() && tokens[at + 1].text == "sampler_state")) {
            // A parameter's initial value is the effect's business: the shader reads the
            // constant, whatever fills it. (Static constants keep theirs: they are code.)
            size_t end = at + 1;
            while (end < tokens.size() && tokens[end].text != ";") {
                if (tokens[end].text == "{") end = SkipGroup(tokens, end, "{", "}");
                else ++end;
            }
            Blank(text, tokens, at, end);
            at = end;
            continue;
        } else if (depth == 0 && token.text == "=" && at + 1 < tokens.size() && tokens[at + 1].text == "sampler_state") {
            size_t open = at + 2;
            if (open >= tokens.size() || tokens[open].text != "{") {
                problem = "sampler_state without a block";
                return false;
            }
            const size_t end = SkipGroup(tokens, open, "{", "}");
            Blank(text, tokens, at, end);
            at = end;
            continue;
        }
        ++at;
    }
    return true;
}

// A function definition at the top level: its name, its tokens from the start of its
// declaration to its closing brace, and the names its body mentions.
struct Function {
    std::string name;
    size_t first;
    size_t end;
    std::set<std::string> mentions;
};

inline std::vector<Function> FindFunctions(const std::vector<Token>& tokens) {
    std::vector<Function> functions;
    int depth = 0;
    size_t declaration = 0;
    for (size_t at = 0; at < tokens.size();) {
        const std::string& text = tokens[at].text;
        if (depth == 0 && tokens[at].word && at + 1 < tokens.size() && tokens[at + 1].text == "(") {
            size_t body = SkipGroup(tokens, at + 1, "(", ")");
            if (body + 1 < tokens.size() && tokens[body].text == ":") body += 2;
            if (body < tokens.size() && tokens[body].text == "{") {
                Function function{text, declaration, SkipGroup(tokens, body, "{", "}"), {}};
                for (size_t i = body; i < function.end; ++i)
                    if (tokens[i].word) function.mentions.insert(tokens[i].text);
                at = declaration = function.end;
                functions.push_back(std::move(function));
                continue;
            }
        }
        if (text == "{" || text == "(") ++depth;
        else if (text == "}" || text == ")") --depth;
        if (depth == 0 && (text == ";" || text == "}")) declaration = at + 1;
        ++at;
    }
    return functions;
}

// The text with every function the entry does not reach blanked out, so that one stage is
// compiled without the others' code.
inline std::string ReachableFrom(const std::string& text, const std::string& entry) {
    const std::vector<Token> tokens = Tokenize(text);
    const std::vector<Function> functions = FindFunctions(tokens);
    std::set<std::string> reached{entry};
    std::vector<std::string> pending{entry};
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        for (const Function& function : functions) {
            if (function.name != name) continue;
            for (const Function& other : functions)
                if (function.mentions.count(other.name) && reached.insert(other.name).second)
                    pending.push_back(other.name);
        }
    }
    std::string pruned = text;
    for (const Function& function : functions)
        if (!reached.count(function.name)) Blank(pruned, tokens, function.first, function.end);
    return pruned;
}

// ---- for compilers that know no effects ---------------------------------------------------

inline bool IsTextureType(const std::string& word) {
    return word == "texture" || word == "texture1D" || word == "texture2D" || word == "texture3D" ||
           word == "textureCUBE";
}

inline bool IsStorageWord(const std::string& word) {
    return word == "shared" || word == "uniform" || word == "extern" || word == "static" || word == "const" ||
           word == "volatile";
}

// A texture object feeds only the sampler_state blocks (already blanked); the shaders read
// through samplers. A compiler without effects has no such type, so the declarations of
// texture objects are blanked too, keeping line breaks.
inline void BlankTextures(std::string& text) {
    const std::vector<Token> tokens = Tokenize(text);
    int depth = 0;
    size_t declaration = 0;  // the first token of the current top-level declaration
    for (size_t at = 0; at < tokens.size(); ++at) {
        const std::string& word = tokens[at].text;
        if (word == "{" || word == "(") {
            ++depth;
        } else if (word == "}" || word == ")") {
            if (--depth == 0 && word == "}") declaration = at + 1;
        } else if (depth == 0 && word == ";") {
            declaration = at + 1;
        } else if (depth == 0 && IsTextureType(word)) {
            bool qualifiersOnly = true;
            for (size_t i = declaration; i < at; ++i) qualifiersOnly &= IsStorageWord(tokens[i].text);
            if (!qualifiersOnly) continue;
            size_t end = at;
            while (end < tokens.size() && tokens[end].text != ";") ++end;
            if (end < tokens.size()) ++end;
            Blank(text, tokens, declaration, end);
            at = end - 1;
            declaration = end;
        }
    }
}

// Tokens [from, to) split at the commas outside brackets: the ranges of the pieces. Empty
// pieces, which no valid list holds, are left out.
inline std::vector<std::pair<size_t, size_t>> SplitAtCommas(const std::vector<Token>& tokens, size_t from, size_t to) {
    std::vector<std::pair<size_t, size_t>> pieces;
    int depth = 0;
    size_t start = from;
    for (size_t at = from; at <= to && at <= tokens.size(); ++at) {
        const bool last = at == to || at == tokens.size();
        const std::string word = last ? std::string() : tokens[at].text;
        if (word == "(" || word == "[" || word == "{") {
            ++depth;
        } else if (word == ")" || word == "]" || word == "}") {
            --depth;
        } else if (last || (depth == 0 && word == ",")) {
            if (start < at) pieces.push_back({start, at});
            start = at + 1;
        }
    }
    return pieces;
}

// The name a parameter declaration gives, [from, to) of its tokens: the last word before
// its semantic, its default value or its array size.
inline std::string ParameterName(const std::vector<Token>& tokens, size_t from, size_t to) {
    std::string name;
    for (size_t at = from; at < to; ++at) {
        const std::string& word = tokens[at].text;
        if (word == ":" || word == "=" || word == "[") break;
        if (tokens[at].word) name = word;
    }
    return name;
}

// A pass may compile its entry with arguments ("compile ps_2_0 Main(true)"): they fill the
// entry's first parameters, and the stage's inputs are the rest. A compiler without effects
// is given a function `name` with those remaining parameters, the entry's return type and
// semantic, that calls the entry with the arguments; a "#line" puts it at the compile
// statement, so that an argument of the wrong type is reported there. The text must hold
// the entry's definition.
inline bool CallWithArguments(const std::string& text, const Stage& stage, const std::string& name,
                              std::string& wrapper, std::string& problem) {
    const std::vector<Token> tokens = Tokenize(text);
    for (const Function& function : FindFunctions(tokens)) {
        if (function.name != stage.entry) continue;
        size_t at = function.first;
        while (at + 1 < function.end && !(tokens[at].text == stage.entry && tokens[at + 1].text == "(")) ++at;
        const size_t close = SkipGroup(tokens, at + 1, "(", ")") - 1;
        const std::vector<Token> argumentTokens = Tokenize(stage.arguments);
        const size_t bound = SplitAtCommas(argumentTokens, 0, argumentTokens.size()).size();
        const auto parameters = SplitAtCommas(tokens, at + 2, close);
        if (bound > parameters.size()) {
            problem = stage.entry + " takes " + std::to_string(parameters.size()) + " parameters, the pass gives " +
                      std::to_string(bound) + " arguments";
            return false;
        }
        std::string declared, passed = stage.arguments;
        for (size_t i = bound; i < parameters.size(); ++i) {
            const auto& [first, last] = parameters[i];
            if (!declared.empty()) declared += ", ";
            declared += text.substr(tokens[first].begin, tokens[last - 1].end - tokens[first].begin);
            if (!passed.empty()) passed += ", ";
            passed += ParameterName(tokens, first, last);
        }
        const std::string result = text.substr(tokens[function.first].begin, tokens[at].begin - tokens[function.first].begin);
        std::string semantic;
        if (close + 2 < function.end && tokens[close + 1].text == ":") semantic = " : " + tokens[close + 2].text;
        const bool returns = at == function.first || tokens[at - 1].text != "void";
        wrapper = "\n#line " + std::to_string(stage.line) + "\n" + result + name + "(" + declared + ")" + semantic +
                  " { " + (returns ? "return " : "") + stage.entry + "(" + passed + "); }\n";
        return true;
    }
    problem = "no function " + stage.entry;
    return false;
}

// The name of the function that calls an entry with the arguments of its pass.
inline const char kPassEntry[] = "PassEntry";

// What one stage compiles: the functions its entry reaches and, when the pass gives
// arguments, the function kPassEntry calling the entry with them, which is then the entry
// to compile.
inline bool StageShader(const std::string& text, const Stage& stage, std::string& shader, std::string& entry,
                        std::string& problem) {
    shader = ReachableFrom(text, stage.entry);
    entry = stage.entry;
    if (stage.arguments.empty()) return true;
    std::string wrapper;
    if (!CallWithArguments(shader, stage, kPassEntry, wrapper, problem)) return false;
    shader += wrapper;
    entry = kPassEntry;
    return true;
}

// What a pass compiles, for messages and for compiling each distinct stage once:
// "ps_2_0 Main" or "ps_2_0 Main(true)".
inline std::string Compiled(const Stage& stage) {
    return stage.profile + " " + stage.entry + (stage.arguments.empty() ? "" : "(" + stage.arguments + ")");
}

// ---- what the compiler lacks ---------------------------------------------------------------

// The intrinsic functions of HLSL for shader models 1 to 3.
inline const char* const kIntrinsics[] = {
    "abs",       "acos",      "all",       "any",        "asin",       "atan",     "atan2",     "ceil",
    "clamp",     "clip",      "cos",       "cosh",       "cross",      "D3DCOLORtoUBYTE4", "ddx", "ddy",
    "degrees",   "determinant", "distance", "dot",       "exp",        "exp2",     "faceforward", "floor",
    "fmod",      "frac",      "frexp",     "fwidth",     "isfinite",   "isinf",    "isnan",     "ldexp",
    "length",    "lerp",      "lit",       "log",        "log10",      "log2",     "max",       "min",
    "modf",      "mul",       "noise",     "normalize",  "pow",        "radians",  "reflect",   "refract",
    "round",     "rsqrt",     "saturate",  "sign",       "sin",        "sincos",   "sinh",      "smoothstep",
    "sqrt",      "step",      "tan",       "tanh",       "tex1D",      "tex1Dbias", "tex1Dgrad", "tex1Dlod",
    "tex1Dproj", "tex2D",     "tex2Dbias", "tex2Dgrad",  "tex2Dlod",   "tex2Dproj", "tex3D",    "tex3Dbias",
    "tex3Dgrad", "tex3Dlod",  "tex3Dproj", "texCUBE",    "texCUBEbias", "texCUBEgrad", "texCUBElod",
    "texCUBEproj", "transpose", "trunc"};

inline bool IsIntrinsic(const std::string& name) {
    for (const char* intrinsic : kIntrinsics)
        if (name == intrinsic) return true;
    return false;
}

// The compiler's own gap a message line names, or empty when the line is not one (an
// error of the shader, or a line that is no error at all).
inline std::string GapOf(const std::string& line) {
    static const char kNotImplemented[] = "not yet implemented feature: ";
    size_t at = line.find(kNotImplemented);
    if (at != std::string::npos) return line.substr(at + sizeof kNotImplemented - 1);
    static const char kFunction[] = "Function \"";
    at = line.find(kFunction);
    if (at != std::string::npos && line.find("\" is not defined") != std::string::npos) {
        const size_t begin = at + sizeof kFunction - 1;
        const std::string name = line.substr(begin, line.find('"', begin) - begin);
        if (IsIntrinsic(name)) return "intrinsic " + name;
    }
    return std::string();
}

// The gaps of a failed compilation when every error line is one; empty when any is not.
inline std::set<std::string> GapsOnly(const std::string& messages) {
    std::set<std::string> gaps;
    size_t start = 0;
    while (start < messages.size()) {
        size_t end = messages.find('\n', start);
        if (end == std::string::npos) end = messages.size();
        const std::string line = messages.substr(start, end - start);
        start = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const std::string gap = GapOf(line);
        if (gap.empty()) {
            // A warning is no error; anything else is the shader's fault.
            if (line.find("warning") != std::string::npos) continue;
            return {};
        }
        gaps.insert(gap);
    }
    return gaps;
}

}  // namespace shadertext
