#include "tools/UdfDump.h"

#include "Core/ArchiveStream.h"
#include "Core/Memory.h"
#include "Core/UdfBinaryTree.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

namespace {

constexpr const char* kHeader = "udf-text";

// ---- dump ----------------------------------------------------------------------------

std::string Quote(const char* bytes, std::size_t n) {
    std::string out = "\"";
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                out += static_cast<char>(c);
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            }
        }
    }
    out += '"';
    return out;
}

std::string Quote(const String& s) { return Quote(s.c_str(), s.length); }

u32 Word(const u8* p) {
    return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
           static_cast<u32>(p[3]) << 24;
}

// The shortest decimal that reads back to the same bits, or the bits themselves.
std::string RealText(u32 bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    char text[32];
    if (!std::isnan(value)) {
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
        for (int digits = 1; digits <= 9; ++digits) {
            char shorter[32];
            std::snprintf(shorter, sizeof shorter, "%.*g", digits, static_cast<double>(value));
            const float back = std::strtof(shorter, nullptr);
            u32 backBits;
            std::memcpy(&backBits, &back, 4);
            if (backBits == bits) return shorter;
        }
    }
    std::snprintf(text, sizeof text, "0x%08x", bits);
    return text;
}

// Words that look like ordinary numbers: an unknown type of them is shown as reals.
bool LooksReal(const u8* data, u32 size) {
    if (size == 0 || size % 4) return false;
    for (u32 i = 0; i < size; i += 4) {
        float v;
        const u32 bits = Word(data + i);
        std::memcpy(&v, &bits, 4);
        if (!std::isfinite(v)) return false;
        const float a = std::fabs(v);
        if (a != 0.0f && (a < 1e-6f || a > 1e9f)) return false;
    }
    return true;
}

class Dumper {
public:
    std::string out;
    std::string error;

    bool Prepare(const UdfNode& root) {
        // Owned nodes (where each is written out) and reference targets (which need a
        // label), over the ownership tree.
        std::vector<std::pair<const UdfNode*, u32>> stack{{&root, 0}};
        while (!stack.empty()) {
            auto [node, depth] = stack.back();
            stack.pop_back();
            if (depth > kUdfMaxDepth) return Fail("the tree nests deeper than a document may");
            const UdfChildMap& children = node->Children();
            const auto* entry = children.first;
            for (u32 i = 0; i < children.count; ++i, entry = entry->next) {
                const UdfNode* child = entry->value;
                if (node->IsReference(child)) {
                    if (!labels.count(child)) labels.emplace(child, static_cast<u32>(labels.size() + 1));
                } else {
                    if (!owned.insert({child, true}).second) return Fail("a node is owned twice");
                    stack.push_back({child, depth + 1});
                }
            }
        }
        for (const auto& [node, label] : labels)
            if (!owned.count(node)) return Fail("a reference names a node that nothing owns: " + Quote(node->GetName()));
        return true;
    }

    void Types(const UdfTypeTable& types) {
        const auto* type = types.first;
        for (u32 i = 0; i < types.count; ++i, type = type->next) {
            out += "type " + Quote(type->value.name) + "\n";
            const auto* member = type->value.members.first;
            for (u32 m = 0; m < type->value.members.count; ++m, member = member->next) {
                out += "  member " + Quote(member->key) + " " + Quote(member->value.type) + " " +
                       std::to_string(member->value.isArray) + " " + std::to_string(member->value.count) + "\n";
            }
            out += "end\n";
        }
    }

    bool Children(const UdfNode& node, u32 depth) {
        const UdfChildMap& children = node.Children();
        const auto* entry = children.first;
        for (u32 i = 0; i < children.count; ++i, entry = entry->next)
            if (!Item(node, *entry->value, depth)) return false;
        return true;
    }

private:
    bool Fail(const std::string& message) {
        error = message;
        return false;
    }

    bool Item(const UdfNode& parent, const UdfNode& node, u32 depth) {
        const std::string indent(depth * 2, ' ');
        if (parent.IsReference(&node)) {
            out += indent + "ref @" + std::to_string(labels[&node]) + "\n";
            return true;
        }
        std::string head = " " + Quote(node.GetName()) + " " + Quote(node.GetTypeName());
        if (node.IsArray()) head += " [" + std::to_string(node.GetCount()) + "]";
        if (const auto found = labels.find(&node); found != labels.end()) head += " @" + std::to_string(found->second);
        if (node.IsObject()) {
            out += indent + "node" + head + " {\n";
            if (!Children(node, depth + 1)) return false;
            out += indent + "}\n";
            return true;
        }
        if (node.GetSize() && !node.GetData()) return Fail("a value has a size but no data: " + Quote(node.GetName()));
        out += indent + "value" + head + " =";
        Value(node, indent + "   ");
        out += "\n";
        return true;
    }

    void Value(const UdfNode& node, const std::string& indent) {
        const u8* data = node.GetData();
        const u32 size = data ? node.GetSize() : 0;
        if (size == 0) return;
        const String& type = node.GetTypeName();
        if (type == "char" || type == "string") {
            out += " text " + Quote(reinterpret_cast<const char*>(data), size);
            return;
        }
        const bool words = size % 4 == 0;
        if (words && type == "int") {
            out += " int";
            for (u32 i = 0; i < size; i += 4) {
                if (i && i % 32 == 0) out += "\n" + indent;
                out += " " + std::to_string(static_cast<i32>(Word(data + i)));
            }
            return;
        }
        if (words && (type == "real" || (type != "byte" && LooksReal(data, size)))) {
            out += " real";
            for (u32 i = 0; i < size; i += 4) {
                if (i && i % 32 == 0) out += "\n" + indent;
                out += " " + RealText(Word(data + i));
            }
            return;
        }
        out += " hex ";
        static const char digits[] = "0123456789abcdef";
        for (u32 i = 0; i < size; ++i) {
            if (i && i % 32 == 0) out += "\n" + indent + "    ";
            out += digits[data[i] >> 4];
            out += digits[data[i] & 15];
        }
    }

    std::unordered_map<const UdfNode*, bool> owned;
    std::map<const UdfNode*, u32> labels;
};

// ---- parse ---------------------------------------------------------------------------

struct Token {
    enum Kind { End, Word, Text, Symbol } kind = End;
    std::string text;
    u32 line = 0;
};

class Lexer {
public:
    explicit Lexer(const std::string& source) : s(source) {}

    bool Next(Token* token, std::string* error) {
        for (;;) {
            while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n')) {
                if (s[at] == '\n') ++line;
                ++at;
            }
            if (at + 1 < s.size() && s[at] == '/' && s[at + 1] == '/') {
                while (at < s.size() && s[at] != '\n') ++at;
                continue;
            }
            break;
        }
        token->line = line;
        token->text.clear();
        if (at >= s.size()) {
            token->kind = Token::End;
            return true;
        }
        const char c = s[at];
        if (c == '{' || c == '}' || c == '[' || c == ']' || c == '=' || c == '@') {
            token->kind = Token::Symbol;
            token->text = c;
            ++at;
            return true;
        }
        if (c == '"') {
            token->kind = Token::Text;
            ++at;
            while (at < s.size() && s[at] != '"') {
                char ch = s[at++];
                if (ch == '\n') ++line;
                if (ch == '\\') {
                    if (at >= s.size()) break;
                    const char e = s[at++];
                    if (e == 'n') ch = '\n';
                    else if (e == 'r') ch = '\r';
                    else if (e == 't') ch = '\t';
                    else if (e == '"' || e == '\\') ch = e;
                    else if (e == 'x' && at + 2 <= s.size() && std::isxdigit(static_cast<unsigned char>(s[at])) &&
                             std::isxdigit(static_cast<unsigned char>(s[at + 1]))) {
                        ch = static_cast<char>(std::strtoul(s.substr(at, 2).c_str(), nullptr, 16));
                        at += 2;
                    } else {
                        *error = "line " + std::to_string(line) + ": unknown escape in a string";
                        return false;
                    }
                }
                token->text += ch;
            }
            if (at >= s.size()) {
                *error = "line " + std::to_string(token->line) + ": string without its closing quote";
                return false;
            }
            ++at;
            return true;
        }
        token->kind = Token::Word;
        while (at < s.size()) {
            const char w = s[at];
            if (w == ' ' || w == '\t' || w == '\r' || w == '\n' || w == '{' || w == '}' || w == '[' || w == ']' ||
                w == '=' || w == '@' || w == '"')
                break;
            token->text += w;
            ++at;
        }
        return true;
    }

private:
    const std::string& s;
    std::size_t at = 0;
    u32 line = 1;
};

struct Item {
    enum Kind { Value, Object, Ref } kind = Value;
    std::string name;
    std::string type;
    bool array = false;
    u32 count = 0;
    u32 label = 0;  // 0: none
    u32 line = 0;
    std::vector<u8> data;
    std::vector<Item> children;
};

bool ParseU32(const std::string& text, u32* out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > 0xFFFFFFFFull) return false;
    *out = static_cast<u32>(v);
    return true;
}

void PutWord(std::vector<u8>* data, u32 w) {
    for (int i = 0; i < 4; ++i) data->push_back(static_cast<u8>(w >> (8 * i)));
}

class Parser {
public:
    Parser(const std::string& text, std::string* message) : lexer(text), error(message) {}

    bool Document(std::vector<Item>* top, UdfTypeTable* types) {
        if (!Advance()) return false;
        if (!IsWord(kHeader)) return Fail("the text does not start with \"udf-text 1\"");
        if (!Advance() || !IsWord("1")) return Fail("unknown text version");
        if (!Advance()) return false;
        while (IsWord("type"))
            if (!Type(types)) return false;
        while (token.kind != Token::End) {
            top->emplace_back();
            if (!ItemAt(&top->back(), 1)) return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& message) {
        if (error->empty()) *error = "line " + std::to_string(token.line) + ": " + message;
        return false;
    }
    bool Advance() { return lexer.Next(&token, error); }
    bool IsWord(const char* w) const { return token.kind == Token::Word && token.text == w; }
    bool IsSymbol(char c) const { return token.kind == Token::Symbol && token.text[0] == c; }
    bool TakeText(std::string* out, const char* what) {
        if (token.kind != Token::Text) return Fail(std::string("expected ") + what + " in quotes");
        *out = token.text;
        return Advance();
    }
    bool TakeNumber(u32* out, const char* what) {
        if (token.kind != Token::Word || !ParseU32(token.text, out)) return Fail(std::string("expected ") + what);
        return Advance();
    }

    bool Type(UdfTypeTable* types) {
        UdfType type;
        std::string name;
        if (!Advance() || !TakeText(&name, "a type name")) return false;
        type.name = String::FromBuffer(name.data(), static_cast<u32>(name.size()), true);
        while (IsWord("member")) {
            std::string memberName;
            std::string memberType;
            u32 isArray;
            UdfMember member;
            if (!Advance() || !TakeText(&memberName, "a member name") || !TakeText(&memberType, "a member type") ||
                !TakeNumber(&isArray, "the member's array flag") || !TakeNumber(&member.count, "the member's count"))
                return false;
            if (isArray > 255) return Fail("the array flag is one byte");
            member.isArray = static_cast<u8>(isArray);
            member.type = String::FromBuffer(memberType.data(), static_cast<u32>(memberType.size()), true);
            const String key = String::FromBuffer(memberName.data(), static_cast<u32>(memberName.size()), true);
            if (type.members.Find(key)) return Fail("member " + memberName + " appears twice");
            type.members.Insert(key, member);
        }
        if (!IsWord("end")) return Fail("expected \"member\" or \"end\"");
        if (types->Find(type.name)) return Fail("type " + name + " is defined twice");
        types->Insert(type.name, type);
        return Advance();
    }

    bool ItemAt(Item* item, u32 depth) {
        if (depth > kUdfMaxDepth) return Fail("nodes nest deeper than a document may");
        item->line = token.line;
        if (IsWord("ref")) {
            item->kind = Item::Ref;
            if (!Advance()) return false;
            if (!IsSymbol('@')) return Fail("expected @ and a label after \"ref\"");
            return Advance() && TakeLabel(&item->label);
        }
        const bool object = IsWord("node");
        if (!object && !IsWord("value")) return Fail("expected \"node\", \"value\" or \"ref\"");
        item->kind = object ? Item::Object : Item::Value;
        if (!Advance() || !TakeText(&item->name, "a name") || !TakeText(&item->type, "a type name")) return false;
        if (IsSymbol('[')) {
            item->array = true;
            if (!Advance() || !TakeNumber(&item->count, "an element count")) return false;
            if (!IsSymbol(']')) return Fail("expected ]");
            if (!Advance()) return false;
        }
        if (IsSymbol('@')) {
            if (!Advance() || !TakeLabel(&item->label)) return false;
        }
        if (object) {
            if (!IsSymbol('{')) return Fail("expected {");
            if (!Advance()) return false;
            while (!IsSymbol('}')) {
                if (token.kind == Token::End) return Fail("missing } of node " + item->name);
                item->children.emplace_back();
                if (!ItemAt(&item->children.back(), depth + 1)) return false;
            }
            return Advance();
        }
        if (!IsSymbol('=')) return Fail("expected = and the value's bytes");
        if (!Advance()) return false;
        return Segments(&item->data);
    }

    bool TakeLabel(u32* label) {
        if (!TakeNumber(label, "a label number")) return false;
        if (*label == 0) return Fail("labels start at 1");
        return true;
    }

    bool Segments(std::vector<u8>* data) {
        for (;;) {
            if (IsWord("real")) {
                if (!Advance()) return false;
                while (token.kind == Token::Word && !IsKeyword()) {
                    u32 bits;
                    if (token.text.size() > 2 && token.text[0] == '0' && (token.text[1] == 'x' || token.text[1] == 'X')) {
                        if (!ParseU32(token.text, &bits)) return Fail("bad raw real " + token.text);
                    } else {
                        char* end = nullptr;
                        const float v = std::strtof(token.text.c_str(), &end);
                        if (*end || end == token.text.c_str()) return Fail("bad real " + token.text);
                        std::memcpy(&bits, &v, 4);
                    }
                    PutWord(data, bits);
                    if (!Advance()) return false;
                }
            } else if (IsWord("int")) {
                if (!Advance()) return false;
                while (token.kind == Token::Word && !IsKeyword()) {
                    errno = 0;
                    char* end = nullptr;
                    const long long v = std::strtoll(token.text.c_str(), &end, 0);
                    if (errno || *end || end == token.text.c_str() || v < -2147483648LL || v > 0xFFFFFFFFLL)
                        return Fail("bad int " + token.text);
                    PutWord(data, static_cast<u32>(v));
                    if (!Advance()) return false;
                }
            } else if (IsWord("hex")) {
                if (!Advance()) return false;
                while (token.kind == Token::Word && !IsKeyword()) {
                    const std::string& h = token.text;
                    if (h.size() % 2) return Fail("hex bytes come in pairs of digits");
                    for (std::size_t i = 0; i < h.size(); i += 2) {
                        if (!std::isxdigit(static_cast<unsigned char>(h[i])) ||
                            !std::isxdigit(static_cast<unsigned char>(h[i + 1])))
                            return Fail("bad hex " + h);
                        data->push_back(static_cast<u8>(std::strtoul(h.substr(i, 2).c_str(), nullptr, 16)));
                    }
                    if (!Advance()) return false;
                }
            } else if (IsWord("text")) {
                if (!Advance()) return false;
                if (token.kind != Token::Text) return Fail("expected a string after \"text\"");
                while (token.kind == Token::Text) {
                    data->insert(data->end(), token.text.begin(), token.text.end());
                    if (!Advance()) return false;
                }
            } else {
                return true;
            }
            if (data->size() > 0x7FFFFFFFu) return Fail("value too large");
        }
    }

    bool IsKeyword() const {
        return IsWord("real") || IsWord("int") || IsWord("hex") || IsWord("text") || IsWord("node") ||
               IsWord("value") || IsWord("ref") || IsWord("type");
    }

    Lexer lexer;
    Token token;
    std::string* error;
};

String ToString(const std::string& s) { return String::FromBuffer(const_cast<char*>(s.data()), static_cast<u32>(s.size()), true); }

// Labels, references and names checked before any node is made.
class Builder {
public:
    explicit Builder(std::string* message) : error(message) {}

    bool Check(const std::vector<Item>& items) {
        if (!Collect(items)) return false;
        return CheckNames(items);
    }

    // Makes every owned node first (a reference may name a node defined further on),
    // then links the children in order.
    bool Build(const std::vector<Item>& items, UdfNode* parent) { return Make(items) && Link(items, parent); }

private:
    bool Fail(const Item& item, const std::string& message) {
        *error = "line " + std::to_string(item.line) + ": " + message;
        return false;
    }

    bool Collect(const std::vector<Item>& items) {
        for (const Item& item : items) {
            if (item.kind == Item::Ref) continue;
            if (item.label && !definitions.emplace(item.label, &item).second)
                return Fail(item, "label @" + std::to_string(item.label) + " is given twice");
            if (!Collect(item.children)) return false;
        }
        return true;
    }

    bool CheckNames(const std::vector<Item>& items) {
        std::map<std::string, bool> names;
        for (const Item& item : items) {
            const Item* named = &item;
            if (item.kind == Item::Ref) {
                const auto found = definitions.find(item.label);
                if (found == definitions.end())
                    return Fail(item, "label @" + std::to_string(item.label) + " is not defined");
                named = found->second;
            }
            if (!names.emplace(named->name, true).second)
                return Fail(item, "two children are named " + Quote(named->name.data(), named->name.size()));
            if (item.kind != Item::Ref && !CheckNames(item.children)) return false;
        }
        return true;
    }

    std::string* error;
    std::map<u32, const Item*> definitions;
    std::unordered_map<const Item*, UdfNode*> made;

    bool Make(const std::vector<Item>& items) {
        for (const Item& item : items) {
            if (item.kind == Item::Ref) continue;
            u8* bytes = nullptr;
            if (!item.data.empty()) {
                bytes = static_cast<u8*>(MemAlloc(item.data.size()));
                if (!bytes) return Fail(item, "out of memory");
                std::memcpy(bytes, item.data.data(), item.data.size());
            }
            UdfNode* node = new UdfNode(ToString(item.name), ToString(item.type), bytes,
                                        static_cast<u32>(item.data.size()), false);
            node->SetKind(static_cast<u8>((item.kind == Item::Object ? kUdfObject : 0) | (item.array ? kUdfArray : 0)));
            node->SetCount(item.count);
            made[&item] = node;
            if (!Make(item.children)) return false;
        }
        return true;
    }

    bool Link(const std::vector<Item>& items, UdfNode* parent) {
        for (const Item& item : items) {
            const bool reference = item.kind == Item::Ref;
            UdfNode* child = made.at(reference ? definitions.at(item.label) : &item);
            if (!parent->AddChild(child, reference)) return Fail(item, "out of memory");
            if (reference) continue;
            child->SetParent(parent);
            if (!Link(item.children, child)) return false;
        }
        return true;
    }
};

}  // namespace

// ---- UdfTextDocument -------------------------------------------------------------------

UdfTextDocument::UdfTextDocument() : root(new UdfNode(String("_root"), String("_roottype"), nullptr, 0, false)) {
    root->SetKind(kUdfObject);
}

UdfTextDocument::~UdfTextDocument() { delete root; }

void UdfTextDocument::Clear() {
    delete root;
    root = new UdfNode(String("_root"), String("_roottype"), nullptr, 0, false);
    root->SetKind(kUdfObject);
    types.Clear();
}

// ---- conversions -------------------------------------------------------------------------

bool UdfDumpText(const UdfNode& root, const UdfTypeTable& types, std::string* out, std::string* error) {
    Dumper dumper;
    if (!dumper.Prepare(root)) {
        if (error) *error = dumper.error;
        return false;
    }
    dumper.out = std::string(kHeader) + " 1\n";
    dumper.Types(types);
    if (!dumper.Children(root, 0)) {
        if (error) *error = dumper.error;
        return false;
    }
    *out = std::move(dumper.out);
    return true;
}

bool UdfParseText(const std::string& text, UdfTextDocument* doc, std::string* error) {
    std::string message;
    doc->Clear();
    std::vector<Item> top;
    Parser parser(text, &message);
    bool ok = parser.Document(&top, &doc->Types());
    Builder builder(&message);
    ok = ok && builder.Check(top) && builder.Build(top, &doc->Root());
    if (!ok) {
        doc->Clear();
        if (error) *error = message;
    }
    return ok;
}

bool UdfBinaryToText(const void* bytes, std::size_t n, std::string* text, std::string* error) {
    if (n > 0x7FFFFFFFu) {
        if (error) *error = "the document is too large";
        return false;
    }
    ArchiveStream stream;
    stream.Open(String(), kStreamRead);
    stream.BorrowBytes(bytes, static_cast<u32>(n));
    UdfBinaryTree reader;
    UdfNode* root = reader.Open(&stream);
    if (!root) {
        if (error) *error = "not a \"UDF Binary 1.0\" document, or its header is cut short";
        return false;
    }
    if (!root->Load(0, 0)) {
        if (error) *error = "the document is malformed";
        return false;
    }
    return UdfDumpText(*root, reader.Types(), text, error);
}

bool UdfTextToBinary(const std::string& text, std::vector<u8>* bytes, std::string* error) {
    UdfTextDocument doc;
    if (!UdfParseText(text, &doc, error)) return false;
    UdfTypeList types;
    UdfBinaryWriter::ListTypes(doc.Types(), &types);
    ArchiveStream stream;
    stream.Open(String(), kStreamWrite);
    UdfBinaryWriter writer;
    if (!writer.WriteRoot(&stream, &doc.Root(), &types)) {
        if (error) *error = "the tree cannot be written as a document (a loop through references?)";
        return false;
    }
    const i32 size = stream.Size();
    bytes->assign(static_cast<std::size_t>(size), 0);
    stream.Seek(0, kSeekSet);
    if (size > 0 && stream.Read(bytes->data(), static_cast<u32>(size)) != static_cast<u32>(size)) {
        if (error) *error = "out of memory";
        return false;
    }
    return true;
}
