// The effect preprocessor. It works on tokens: each source line (joined across
// backslash-newlines, comments removed) is split into tokens; a directive line updates the
// definition table or the conditional stack, any other line in an active branch is
// expanded and appended with its line number, so that the parser's messages point at the
// source. Only object-like definitions exist; a name is never expanded inside its own
// expansion, so a definition that names itself cannot loop. #include always fails: the
// platform is never given an include handler.
#include "D3dx9EffectModel.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <set>

namespace d3dx9 {

namespace {

// A conditional block nested deeper than this is refused rather than grown without end.
constexpr size_t kMaxConditionalDepth = 256;
// An expansion deeper than this is refused (each level names a different definition, so
// it can only come from a very long chain of them).
constexpr int kMaxExpansionDepth = 64;

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Message(uint32_t line, const std::string& text) {
    char head[48];
    snprintf(head, sizeof head, "memory(%u): error: ", line);
    return head + text;
}

// Splits one logical line (comments already removed) into tokens.
bool Tokenize(const std::string& text, uint32_t line, std::vector<Token>& out, std::string& error) {
    static const char* const kPuncts[] = {"<<=", ">>=", "&&", "||", "==", "!=", "<=", ">=", "<<", ">>",
                                          "++",  "--",  "+=", "-=", "*=", "/=", "::", "##"};
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (IsIdentStart(c)) {
            size_t end = i;
            while (end < text.size() && IsIdentChar(text[end])) ++end;
            out.push_back({TokenKind::Identifier, text.substr(i, end - i), line});
            i = end;
        } else if (IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]))) {
            size_t end = i;
            while (end < text.size()) {
                const char d = text[end];
                const bool exponentSign = (d == '+' || d == '-') && end > i &&
                                          (text[end - 1] == 'e' || text[end - 1] == 'E') &&
                                          !(text.size() > i + 1 && (text[i + 1] == 'x' || text[i + 1] == 'X'));
                if (IsIdentChar(d) || d == '.' || exponentSign)
                    ++end;
                else
                    break;
            }
            out.push_back({TokenKind::Number, text.substr(i, end - i), line});
            i = end;
        } else if (c == '"') {
            size_t end = i + 1;
            std::string value;
            while (end < text.size() && text[end] != '"') {
                if (text[end] == '\\' && end + 1 < text.size()) ++end;
                value += text[end++];
            }
            if (end >= text.size()) {
                error = Message(line, "unterminated string");
                return false;
            }
            out.push_back({TokenKind::String, value, line});
            i = end + 1;
        } else if (c == '\'') {
            error = Message(line, "character literals are not supported");
            return false;
        } else {
            size_t length = 1;
            for (const char* p : kPuncts) {
                const size_t n = strlen(p);
                if (text.compare(i, n, p) == 0) {
                    length = n;
                    break;
                }
            }
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
                error = Message(line, "unexpected character");
                return false;
            }
            out.push_back({TokenKind::Punct, text.substr(i, length), line});
            i += length;
        }
    }
    return true;
}

class Preprocessor {
public:
    Preprocessor(std::vector<Token>& out, std::string& error) : out(out), error(error) {}

    bool Define(const std::string& name, const std::string& value, uint32_t line) {
        std::vector<Token> body;
        if (!Tokenize(value, line, body, error)) return false;
        definitions[name] = std::move(body);
        return true;
    }

    bool Run(const char* source, size_t length);

private:
    struct Conditional {
        bool parentActive;
        bool active;     // this branch is being read
        bool taken;      // some branch of the block was true
        bool elseSeen;
    };

    bool Active() const { return conditionals.empty() || conditionals.back().active; }
    bool Directive(const std::vector<Token>& tokens, uint32_t line);
    bool Expand(const std::vector<Token>& in, std::vector<Token>& result, std::set<std::string>& hiding,
                uint32_t line, int depth);
    bool Evaluate(const std::vector<Token>& tokens, uint32_t line, long long& value);

    std::vector<Token>& out;
    std::string& error;
    std::map<std::string, std::vector<Token>> definitions;
    std::vector<Conditional> conditionals;
};

bool Preprocessor::Expand(const std::vector<Token>& in, std::vector<Token>& result, std::set<std::string>& hiding,
                          uint32_t line, int depth) {
    if (depth > kMaxExpansionDepth) {
        error = Message(line, "definitions nested too deeply");
        return false;
    }
    for (const Token& token : in) {
        if (token.kind == TokenKind::Identifier && !hiding.count(token.text)) {
            auto found = definitions.find(token.text);
            if (found != definitions.end()) {
                hiding.insert(token.text);
                const bool ok = Expand(found->second, result, hiding, line, depth + 1);
                hiding.erase(token.text);
                if (!ok) return false;
                continue;
            }
        }
        result.push_back(token);
        result.back().line = line;
    }
    return true;
}

// An integer expression of #if, over tokens whose `defined` operators are already
// replaced; names left after expansion count 0.
class ExpressionReader {
public:
    ExpressionReader(const std::vector<Token>& tokens) : tokens(tokens) {}

    bool Read(long long& value, std::string& why) {
        if (!Conditional(value, 0)) {
            why = problem.empty() ? "bad #if expression" : problem;
            return false;
        }
        if (at != tokens.size()) {
            why = "unexpected '" + tokens[at].text + "' in #if expression";
            return false;
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 200;

    bool Is(const char* text) const { return at < tokens.size() && tokens[at].kind == TokenKind::Punct && tokens[at].text == text; }

    bool Conditional(long long& value, int depth) {
        if (depth > kMaxDepth) return Fail("#if expression nested too deeply");
        if (!Binary(value, 0, depth)) return false;
        if (!Is("?")) return true;
        ++at;
        long long a, b;
        if (!Conditional(a, depth + 1)) return false;
        if (!Is(":")) return Fail("expected ':' in #if expression");
        ++at;
        if (!Conditional(b, depth + 1)) return false;
        value = value ? a : b;
        return true;
    }

    static int Precedence(const std::string& op) {
        static const std::pair<const char*, int> kTable[] = {
            {"||", 1}, {"&&", 2}, {"|", 3},  {"^", 4},  {"&", 5},  {"==", 6}, {"!=", 6}, {"<", 7},  {">", 7},
            {"<=", 7}, {">=", 7}, {"<<", 8}, {">>", 8}, {"+", 9},  {"-", 9},  {"*", 10}, {"/", 10}, {"%", 10}};
        for (const auto& entry : kTable)
            if (op == entry.first) return entry.second;
        return 0;
    }

    bool Binary(long long& value, int minimum, int depth) {
        if (!Unary(value, depth)) return false;
        while (at < tokens.size() && tokens[at].kind == TokenKind::Punct) {
            const std::string op = tokens[at].text;
            const int precedence = Precedence(op);
            if (precedence == 0 || precedence <= minimum) break;
            ++at;
            long long right;
            if (!Binary(right, precedence, depth + 1)) return false;
            const unsigned long long l = static_cast<unsigned long long>(value);
            const unsigned long long r = static_cast<unsigned long long>(right);
            if (op == "||") value = value || right;
            else if (op == "&&") value = value && right;
            else if (op == "|") value = value | right;
            else if (op == "^") value = value ^ right;
            else if (op == "&") value = value & right;
            else if (op == "==") value = value == right;
            else if (op == "!=") value = value != right;
            else if (op == "<") value = value < right;
            else if (op == ">") value = value > right;
            else if (op == "<=") value = value <= right;
            else if (op == ">=") value = value >= right;
            else if (op == "<<") value = static_cast<long long>(r >= 64 ? 0 : l << r);
            else if (op == ">>") value = r >= 64 ? (value < 0 ? -1 : 0) : value >> r;
            else if (op == "+") value = static_cast<long long>(l + r);
            else if (op == "-") value = static_cast<long long>(l - r);
            else if (op == "*") value = static_cast<long long>(l * r);
            else {
                // Division by zero, and the one quotient that overflows, have no value.
                if (right == 0 || (value == INT64_MIN && right == -1)) return Fail("division by zero in #if expression");
                value = op == "/" ? value / right : value % right;
            }
        }
        return true;
    }

    bool Unary(long long& value, int depth) {
        if (depth > kMaxDepth) return Fail("#if expression nested too deeply");
        if (at >= tokens.size()) return Fail("#if expression ends early");
        const Token& token = tokens[at];
        if (token.kind == TokenKind::Punct) {
            if (token.text == "(") {
                ++at;
                if (!Conditional(value, depth + 1)) return false;
                if (!Is(")")) return Fail("expected ')' in #if expression");
                ++at;
                return true;
            }
            if (token.text == "!" || token.text == "-" || token.text == "+" || token.text == "~") {
                ++at;
                if (!Unary(value, depth + 1)) return false;
                if (token.text == "!") value = !value;
                else if (token.text == "-") value = static_cast<long long>(0ull - static_cast<unsigned long long>(value));
                else if (token.text == "~") value = ~value;
                return true;
            }
            return Fail("unexpected '" + token.text + "' in #if expression");
        }
        ++at;
        if (token.kind == TokenKind::Identifier) {
            value = token.text == "true" ? 1 : 0;
            return true;
        }
        if (token.kind == TokenKind::Number) {
            std::string digits = token.text;
            while (!digits.empty() && (digits.back() == 'u' || digits.back() == 'U' || digits.back() == 'l' ||
                                       digits.back() == 'L'))
                digits.pop_back();
            char* end = nullptr;
            value = static_cast<long long>(strtoull(digits.c_str(), &end, 0));
            if (digits.empty() || *end) return Fail("bad number '" + token.text + "' in #if expression");
            return true;
        }
        return Fail("a string in #if expression");
    }

    bool Fail(const std::string& why) {
        if (problem.empty()) problem = why;
        return false;
    }

    const std::vector<Token>& tokens;
    size_t at = 0;
    std::string problem;
};

bool Preprocessor::Evaluate(const std::vector<Token>& tokens, uint32_t line, long long& value) {
    // `defined NAME` and `defined(NAME)` are answered before anything is expanded.
    std::vector<Token> replaced;
    for (size_t i = 2; i < tokens.size(); ++i) {
        if (tokens[i].kind == TokenKind::Identifier && tokens[i].text == "defined") {
            size_t at = i + 1;
            const bool parenthesised = at < tokens.size() && tokens[at].text == "(";
            if (parenthesised) ++at;
            if (at >= tokens.size() || tokens[at].kind != TokenKind::Identifier) {
                error = Message(line, "'defined' without a name");
                return false;
            }
            const bool isDefined = definitions.count(tokens[at].text) != 0;
            ++at;
            if (parenthesised) {
                if (at >= tokens.size() || tokens[at].text != ")") {
                    error = Message(line, "expected ')' after 'defined('");
                    return false;
                }
                ++at;
            }
            replaced.push_back({TokenKind::Number, isDefined ? "1" : "0", line});
            i = at - 1;
        } else {
            replaced.push_back(tokens[i]);
        }
    }
    std::vector<Token> expanded;
    std::set<std::string> hiding;
    if (!Expand(replaced, expanded, hiding, line, 0)) return false;
    if (expanded.empty()) {
        error = Message(line, "#if without an expression");
        return false;
    }
    std::string why;
    if (!ExpressionReader(expanded).Read(value, why)) {
        error = Message(line, why);
        return false;
    }
    return true;
}

bool Preprocessor::Directive(const std::vector<Token>& tokens, uint32_t line) {
    // tokens[0] is "#"; an empty directive does nothing.
    if (tokens.size() < 2) return true;
    const std::string& name = tokens[1].text;
    const bool active = Active();
    auto needName = [&](const char* what) {
        if (tokens.size() < 3 || tokens[2].kind != TokenKind::Identifier) {
            error = Message(line, std::string(what) + " without a name");
            return false;
        }
        return true;
    };
    if (name == "if" || name == "ifdef" || name == "ifndef") {
        if (conditionals.size() >= kMaxConditionalDepth) {
            error = Message(line, "conditionals nested too deeply");
            return false;
        }
        bool value = false;
        if (active) {
            if (name == "if") {
                long long result;
                if (!Evaluate(tokens, line, result)) return false;
                value = result != 0;
            } else {
                if (!needName(name == "ifdef" ? "#ifdef" : "#ifndef")) return false;
                value = definitions.count(tokens[2].text) != 0;
                if (name == "ifndef") value = !value;
            }
        }
        conditionals.push_back({active, active && value, value, false});
        return true;
    }
    if (name == "elif" || name == "else" || name == "endif") {
        if (conditionals.empty()) {
            error = Message(line, "#" + name + " without #if");
            return false;
        }
        Conditional& block = conditionals.back();
        if (name == "endif") {
            conditionals.pop_back();
            return true;
        }
        if (block.elseSeen) {
            error = Message(line, "#" + name + " after #else");
            return false;
        }
        if (name == "else") {
            block.elseSeen = true;
            block.active = block.parentActive && !block.taken;
            block.taken = true;
            return true;
        }
        bool value = false;
        if (block.parentActive && !block.taken) {
            long long result;
            if (!Evaluate(tokens, line, result)) return false;
            value = result != 0;
        }
        block.active = block.parentActive && !block.taken && value;
        block.taken = block.taken || value;
        return true;
    }
    if (!active) return true;
    if (name == "define") {
        if (!needName("#define")) return false;
        std::vector<Token> body(tokens.begin() + 3, tokens.end());
        definitions[tokens[2].text] = std::move(body);
        return true;
    }
    if (name == "undef") {
        if (!needName("#undef")) return false;
        definitions.erase(tokens[2].text);
        return true;
    }
    if (name == "include") {
        error = Message(line, "#include: no include handler");
        return false;
    }
    if (name == "error") {
        std::string text;
        for (size_t i = 2; i < tokens.size(); ++i) text += (i > 2 ? " " : "") + tokens[i].text;
        error = Message(line, "#error " + text);
        return false;
    }
    if (name == "pragma" || name == "line") return true;
    error = Message(line, "unknown directive #" + name);
    return false;
}

bool Preprocessor::Run(const char* source, size_t length) {
    // A text saved with a UTF-8 byte-order mark starts after it.
    size_t at = length >= 3 && memcmp(source, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    uint32_t line = 1;
    bool inComment = false;
    while (at < length) {
        // One logical line: physical lines joined where a backslash ends one, comments
        // replaced by a blank.
        const uint32_t firstLine = line;
        std::string text;
        bool ended = false;
        while (at < length && !ended) {
            const char c = source[at];
            if (inComment) {
                if (c == '*' && at + 1 < length && source[at + 1] == '/') {
                    inComment = false;
                    at += 2;
                    text += ' ';
                } else {
                    if (c == '\n') ++line;
                    ++at;
                }
                continue;
            }
            if (c == '\n') {
                ++line;
                ++at;
                ended = true;
            } else if (c == '\\' && at + 1 < length &&
                       (source[at + 1] == '\n' || (source[at + 1] == '\r' && at + 2 < length && source[at + 2] == '\n'))) {
                at += source[at + 1] == '\n' ? 2 : 3;
                ++line;
            } else if (c == '/' && at + 1 < length && source[at + 1] == '/') {
                while (at < length && source[at] != '\n') ++at;
            } else if (c == '/' && at + 1 < length && source[at + 1] == '*') {
                inComment = true;
                at += 2;
            } else if (c == '"') {
                // A string is copied whole, so that "//" inside it is not a comment.
                text += c;
                ++at;
                while (at < length && source[at] != '"' && source[at] != '\n') {
                    if (source[at] == '\\' && at + 1 < length && source[at + 1] != '\n') text += source[at++];
                    text += source[at++];
                }
                if (at < length && source[at] == '"') text += source[at++];
            } else if (c == '\0') {
                // Text handed over with its terminator counted in its length ends there.
                at = length;
            } else {
                text += c;
                ++at;
            }
        }
        std::vector<Token> tokens;
        if (!Tokenize(text, firstLine, tokens, error)) return false;
        if (!tokens.empty() && tokens[0].kind == TokenKind::Punct && tokens[0].text == "#") {
            if (tokens.size() >= 4 && tokens[1].text == "define" && tokens[3].text == "(") {
                // A function-like definition has "(" right after the name.
                const size_t name = text.find(tokens[2].text, text.find("define") + 6);
                if (name != std::string::npos && text.size() > name + tokens[2].text.size() &&
                    text[name + tokens[2].text.size()] == '(') {
                    error = Message(firstLine, "function-like definitions are not supported");
                    return false;
                }
            }
            if (!Directive(tokens, firstLine)) return false;
            continue;
        }
        if (!Active() || tokens.empty()) continue;
        std::set<std::string> hiding;
        if (!Expand(tokens, out, hiding, firstLine, 0)) return false;
    }
    if (inComment) {
        error = Message(line, "unterminated comment");
        return false;
    }
    if (!conditionals.empty()) {
        error = Message(line, "#if without #endif");
        return false;
    }
    return true;
}

}  // namespace

bool PreprocessEffect(const char* source, size_t length, const D3DXMACRO* defines, std::vector<Token>& tokens,
                      std::string& error) {
    tokens.clear();
    error.clear();
    Preprocessor preprocessor(tokens, error);
    for (const D3DXMACRO* define = defines; define && define->Name; ++define) {
        if (!preprocessor.Define(define->Name, define->Definition ? define->Definition : "", 0)) return false;
    }
    if (!source && length) {
        error = Message(0, "no source");
        return false;
    }
    return preprocessor.Run(source ? source : "", length);
}

}  // namespace d3dx9
