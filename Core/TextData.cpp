#include "Core/TextData.h"

#include "Core/MemFile.h"
#include "Core/Memory.h"
#include "Core/Path.h"
#include "Core/Stream.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"

#include <new>
#include <string.h>
#include <utility>

namespace {

// A run of units inside a text that outlives it; nothing is copied until a name or a
// value is stored.
struct Span {
    const char16_t* p;
    u32 n;
};

const char16_t kNoUnits[1] = {0};

Span SpanOf(const WString& text) { return Span{text.data ? text.data : kNoUnits, text.length}; }
Span Sub(Span s, u32 from, u32 count) { return Span{s.p + from, count}; }
Span From(Span s, u32 from) { return Span{s.p + from, s.n - from}; }

bool IsBlankUnit(char16_t c) { return c == u' ' || c == u'\t'; }

Span TrimSpan(Span s) {
    while (s.n && IsBlankUnit(s.p[0])) {
        ++s.p;
        --s.n;
    }
    while (s.n && IsBlankUnit(s.p[s.n - 1])) --s.n;
    return s;
}

bool IsBlankSpan(Span s) { return TrimSpan(s).n == 0; }

bool StartsWith(Span s, const char16_t* word, u32 n) {
    return s.n >= n && memcmp(s.p, word, n * sizeof(char16_t)) == 0;
}

i32 FindUnit(Span s, char16_t c, u32 from = 0) {
    for (u32 i = from; i < s.n; ++i)
        if (s.p[i] == c) return static_cast<i32>(i);
    return -1;
}

i32 FindPair(Span s, char16_t a, char16_t b) {
    for (u32 i = 0; i + 1 < s.n; ++i)
        if (s.p[i] == a && s.p[i + 1] == b) return static_cast<i32>(i);
    return -1;
}

WString ToWString(Span s) {
    if (s.n == 0) return WString();
    return WString::FromBuffer(const_cast<char16_t*>(s.p), s.n, true);
}

// The units between an opening unit at the start and the first closing unit that
// follows no backslash; s itself when there is no such pair.
Span UnquoteSpan(Span s, char16_t open, char16_t close, bool* closed) {
    *closed = false;
    if (s.n == 0 || s.p[0] != open) return s;
    u32 prev = 0x10000;  // no unit
    for (u32 i = 1; i < s.n; ++i) {
        const char16_t c = s.p[i];
        if (c == close && prev != u'\\') {
            *closed = true;
            return Sub(s, 1, i - 1);
        }
        // A backslash pair escapes nothing after it.
        prev = (c == u'\\' && prev == u'\\') ? 0x10000 : c;
    }
    return s;
}

// The length of the parenthesized run at the start of s, counting nested parentheses
// and skipping quoted runs; 0 when it never closes.
u32 MatchParenthesis(Span s) {
    u32 depth = 0;
    u32 i = 0;
    while (i < s.n) {
        const char16_t c = s.p[i];
        if (c == u'"' || c == u'\'') {
            bool closed = false;
            i += TextData::ExtractBalanced(s.p + i, s.n - i, c, c, &closed);
            if (!closed) return 0;
            continue;
        }
        if (c == u'(') ++depth;
        if (c == u')' && --depth == 0) return i + 1;
        ++i;
    }
    return 0;
}

// The decimal text of an element index.
u32 CounterName(u32 counter, char16_t* out) {
    char16_t digits[10];
    u32 n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + counter % 10);
        counter /= 10;
    } while (counter);
    u32 length = 0;
    while (n) out[length++] = digits[--n];
    return length;
}

// Whether strtod would take the whole value as one number.
bool IsNumber(Span v) {
    char stackText[64];
    char* text = v.n < sizeof stackText ? stackText : static_cast<char*>(MemAlloc(static_cast<std::size_t>(v.n) + 1));
    if (!text) return false;
    bool ascii = true;
    for (u32 i = 0; i < v.n && ascii; ++i) {
        if (v.p[i] >= 0x80) ascii = false;
        text[i] = static_cast<char>(v.p[i]);
    }
    bool number = false;
    if (ascii) {
        text[v.n] = 0;
        double parsed;
        number = String::ParseWholeNumber(text, v.n, &parsed);
    }
    if (text != stackText) MemFree(text);
    return number;
}

// Reads what the stream holds from its position: at most twice its size, in a block of
// its size unless the stream turns out to hold more.
u8* ReadRest(Stream& stream, u32* got) {
    *got = 0;
    const i32 size = stream.Size();
    if (size <= 0) return nullptr;
    const u64 wanted = static_cast<u64>(size) * 2u;
    u32 capacity = static_cast<u32>(size);
    u8* block = static_cast<u8*>(MemAlloc(capacity));
    if (!block) return nullptr;
    u32 n = 0;
    for (;;) {
        const u32 read = stream.Read(block + n, capacity - n);
        n += read;
        if (read == 0 || n < capacity || n >= wanted) break;
        // Full: grow only when there is more to read.
        u8 probe[4096];
        const u64 room = wanted - n;
        const u32 extra = stream.Read(probe, room < sizeof probe ? static_cast<u32>(room) : sizeof probe);
        if (extra == 0) break;
        u64 grown = static_cast<u64>(capacity) * 2u;
        if (grown > wanted) grown = wanted;
        if (grown < static_cast<u64>(n) + extra || grown > 0xFFFFFFFFu) break;
        u8* bigger = static_cast<u8*>(MemAlloc(static_cast<std::size_t>(grown)));
        if (!bigger) break;
        memcpy(bigger, block, n);
        memcpy(bigger + n, probe, extra);
        MemFree(block);
        block = bigger;
        n += extra;
        capacity = static_cast<u32>(grown);
        if (n >= capacity) break;
    }
    *got = n;
    return block;
}

// What one load (with the loads of its includes) shares.
struct LoadState {
    TextDataTree* document;
    MemFile* files;
    // Children taken from nodes that were assigned again. Statements further up may
    // still hold one of them (the current node, the node whose list is being read), so
    // they live until the outermost call ends; writes to them are lost with them.
    TextDataTree::NodeStack detached;
    u64 nodesLeft = TextData::kNodeAllowance;
    u32 nesting = 0;
    u32 includes = 0;
    u32 includeDepth = 0;
    patht opened[TextData::kMaxIncludeDepth];
    bool aborted = false;  // a limit was passed or memory ran out: stop reading

    LoadState(TextDataTree& doc, MemFile* fileContext) : document(&doc), files(fileContext) {}
    LoadState(const LoadState&) = delete;
    LoadState& operator=(const LoadState&) = delete;
    ~LoadState() {
        for (TextNode* node = detached.Pop(); node; node = detached.Pop()) TextDataTree::DeleteTree(node);
    }

    void Allow(u32 units) { nodesLeft += static_cast<u64>(units) * TextData::kNodesPerUnit; }
    bool Spend(u64 n) {
        if (n > nodesLeft) {
            aborted = true;
            return false;
        }
        nodesLeft -= n;
        return true;
    }
    bool IsDetached(const TextNode* node) const {
        for (u32 i = 0; i < detached.Size(); ++i)
            if (TextDataTree::TreeContains(detached.At(i), node)) return true;
        return false;
    }
};

// Takes every child off node, keeping them alive in the state.
bool Detach(LoadState& state, TextNode* node) {
    if (node->count == 0) return true;
    const u32 before = state.detached.Size();
    TextDataTree::Entry* entry = node->cursor;
    for (u32 i = 0; i < node->count; ++i, entry = entry->next) {
        if (!entry->value) continue;
        if (!state.detached.Push(entry->value)) {
            // Leave the children where they are rather than lose track of one.
            while (state.detached.Size() > before) state.detached.Pop();
            state.aborted = true;
            return false;
        }
    }
    node->Clear();
    return true;
}

TextNode* NewChild(LoadState& state, TextDataTree* parent, Span name) {
    if (!state.Spend(1)) return nullptr;
    TextNode* node = new (std::nothrow) TextNode;
    if (!node) {
        state.aborted = true;
        return nullptr;
    }
    node->name = ToWString(name);
    if (!parent->InsertChild(node->name, node, 1)) {
        delete node;
        state.aborted = true;
        return nullptr;
    }
    return node;
}

TextNode* ResolveIn(LoadState& state, Span path, TextNode* scope) {
    TextDataTree* parent = scope ? static_cast<TextDataTree*>(scope) : state.document;
    Span rest = TrimSpan(path);
    for (;;) {
        // The first "." or "[" ends the component (only the earlier one matters, and
        // looking no further keeps long paths linear). A path that begins with "[" is
        // an index itself; the "[" that counts comes after it.
        i32 dot = -1;
        i32 bracket = -1;
        for (u32 i = 0; i < rest.n; ++i) {
            if (rest.p[i] == u'.') {
                dot = static_cast<i32>(i);
                break;
            }
            if (rest.p[i] == u'[' && i > 0) {
                bracket = static_cast<i32>(i);
                break;
            }
        }
        Span component;
        Span next{rest.p, 0};
        u32 kind = TextNode::kValue;
        bool last = false;
        if (dot < 0 && bracket < 0) {
            component = rest;
            last = true;
        } else if (dot >= 0 && (bracket < 0 || dot < bracket)) {
            component = Sub(rest, 0, static_cast<u32>(dot));
            kind = TextNode::kObject;
            next = TrimSpan(From(rest, static_cast<u32>(dot) + 1));
        } else {
            component = Sub(rest, 0, static_cast<u32>(bracket));
            kind = TextNode::kArray;
            next = TrimSpan(From(rest, static_cast<u32>(bracket)));
        }
        component = TrimSpan(component);
        bool closed;
        if (component.n && component.p[0] == u'[') component = TrimSpan(UnquoteSpan(component, u'[', u']', &closed));
        if (component.n && component.p[0] == u'"') component = UnquoteSpan(component, u'"', u'"', &closed);

        TextDataTree::Entry* entry = parent->FindChild(component.p, component.n);
        TextNode* node = entry ? entry->value : nullptr;
        if (!node) {
            if (entry) {
                // An entry without a node (entered by hand): give it one.
                if (!state.Spend(1)) return nullptr;
                node = new (std::nothrow) TextNode;
                if (!node) {
                    state.aborted = true;
                    return nullptr;
                }
                node->name = entry->key;
                entry->value = node;
            } else {
                node = NewChild(state, parent, component);
                if (!node) return nullptr;
            }
        }
        if (last) return node;
        node->kind = kind;
        parent = node;
        rest = next;
    }
}

bool ParseIn(LoadState& state, Span statement, TextNode*& current, TextData::Form form);
bool LoadTextIn(LoadState& state, const char16_t* units, u32 length, TextData::Form form);

bool LoadStreamIn(LoadState& state, Stream& stream, int kind, TextData::Form form) {
    if (kind < kTextCodePage || kind > kTextUtf32Be) return false;
    u32 got = 0;
    u8* bytes = ReadRest(stream, &got);
    if (!bytes || got == 0) {
        MemFree(bytes);
        return false;
    }
    u32 skip = 0;
    // A UTF-8 byte-order mark would decode as the end of the text.
    if (kind == kTextUtf8 && got >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) skip = 3;
    // The text ends at its first zero character (editors pad files with them), and a
    // byte that is no character in the encoding decodes as U+FFFD: a settings file
    // saved in the system code page keeps every statement, its accented letters
    // replaced.
    WString text;
    text.Decode(bytes + skip, got - skip, kind);
    MemFree(bytes);
    const char16_t* units = text.data ? text.data : kNoUnits;
    u32 length = text.length;
    if (length && units[0] == 0xFEFF) {  // the byte-order mark of the wider encodings
        ++units;
        --length;
    }
    state.Allow(length);
    return LoadTextIn(state, units, length, form);
}

bool Include(LoadState& state, Span name) {
    if (state.includes >= TextData::kMaxIncludes || state.includeDepth >= TextData::kMaxIncludeDepth) return false;
    if (state.nesting >= TextData::kMaxNesting) {
        state.aborted = true;
        return false;
    }
    if (name.n == 0) return true;  // names no file: as a missing one
    patht path(String::FromWString(ToWString(name)));
    if (state.files) {
        // Included files are found on disk and in the mounted archives alike.
        path.flags |= kPathArchive;
        state.files->Resolve(path);
    }
    Stream* stream = path.Open(kStreamRead);
    // A file that is not there adds nothing and fails nothing.
    if (!stream) return true;
    // A file that is already being read would include itself without end.
    for (u32 i = 0; i < state.includeDepth; ++i) {
        if (state.opened[i].Matches(path)) {
            delete stream;
            return false;
        }
    }
    state.opened[state.includeDepth++] = path;
    ++state.includes;
    ++state.nesting;
    const bool loaded = LoadStreamIn(state, *stream, kTextCodePage, TextData::kStatementForm);
    --state.nesting;
    state.opened[--state.includeDepth] = patht();
    delete stream;
    return loaded;
}

// Fills an array or object node from the list of its value.
bool FillList(LoadState& state, TextNode* node, Span value, TextData::Form form) {
    const i32 open = FindUnit(value, u'(');
    if (open < 0) return true;  // an empty array or object
    // The list must close exactly at the end of the value; anything else is an
    // unterminated list (or a quote that never ends inside it).
    const Span run = From(value, static_cast<u32>(open));
    if (MatchParenthesis(run) != run.n) return false;
    const Span list = TrimSpan(Sub(run, 1, run.n - 2));
    if (state.nesting >= TextData::kMaxNesting) {
        state.aborted = true;
        return false;
    }
    ++state.nesting;
    u32 at = 0;
    while (at < list.n && !state.aborted) {
        const u32 length = TextData::ScanUntil(list.p + at, list.n - at, u",", 1);
        TextNode* elementScope = node;
        // An element that fails (an empty one) adds nothing and fails nothing.
        ParseIn(state, Sub(list, at, length), elementScope, form);
        at += length + 1;
    }
    --state.nesting;
    if (node->count) node->cursor = node->first;
    return !state.aborted;
}

bool ParseIn(LoadState& state, Span statement, TextNode*& current, TextData::Form form) {
    const Span s = TrimSpan(statement);
    if (s.n == 0) return false;

    if (StartsWith(s, u"using", 5)) {
        const Span path = TrimSpan(From(s, 5));
        if (path.n == 0) {
            current = nullptr;
            return true;
        }
        TextNode* node = ResolveIn(state, path, nullptr);
        if (!node) return false;
        node->kind = TextNode::kObject;
        current = node;
        return true;
    }

    if (StartsWith(s, u"include", 7)) {
        const i32 open = FindUnit(s, u'(');
        const i32 close = FindUnit(s, u')');
        if (open >= 0 && close > open) {
            const Span inner = TrimSpan(Sub(s, static_cast<u32>(open) + 1, static_cast<u32>(close - open - 1)));
            if (inner.n && inner.p[0] == u'"') {
                bool closed = false;
                const u32 run = TextData::ExtractBalanced(inner.p, inner.n, u'"', u'"', &closed);
                return Include(state, Sub(inner, 1, closed ? run - 2 : run - 1));
            }
        }
        // Not written as include("name"): an ordinary statement.
    }

    // The operator counts only where its first occurrence stands outside quoted and
    // bracketed runs.
    i32 op = -1;
    u32 opLength = 0;
    bool unclosed = false;
    const i32 arrow = FindPair(s, u'=', u'>');
    if (arrow >= 0 && TextData::ScanUntil(s.p, s.n, u"=>", 2, &unclosed) == static_cast<u32>(arrow)) {
        op = arrow;
        opLength = 2;
    }
    if (op < 0) {
        const i32 equals = FindUnit(s, u'=');
        if (equals >= 0 && TextData::ScanUntil(s.p, s.n, u"=", 1, &unclosed) == static_cast<u32>(equals)) {
            op = equals;
            opLength = 1;
        }
    }
    // A quote or bracket that never closes hid the operator.
    if (op < 0 && unclosed) return false;

    TextNode* target;
    Span value;
    if (op >= 0) {
        target = ResolveIn(state, Sub(s, 0, static_cast<u32>(op)), current);
        value = From(s, static_cast<u32>(op) + opLength);
    } else {
        if (!current) return true;  // a bare word outside any list or "using" scope
        char16_t name[12];
        u32 nameLength;
        do {
            nameLength = CounterName(current->indexCounter++, name);
        } while (current->FindChild(name, nameLength));
        target = ResolveIn(state, Span{name, nameLength}, current);
        value = s;
    }
    if (!target) return false;

    // An assignment replaces what the node held, children included.
    if (!Detach(state, target)) return false;
    target->indexCounter = 0;

    value = TrimSpan(value);
    if (value.n == 0) {
        target->value.Release();
        target->kind = TextNode::kValue;
        return true;
    }
    if (StartsWith(value, u"array", 5) || StartsWith(value, u"object", 6)) {
        target->kind = value.p[0] == u'a' ? TextNode::kArray : TextNode::kObject;
        target->value.Release();
        return FillList(state, target, value, form);
    }
    if (value.p[0] == u'"' || value.p[0] == u'\'') {
        bool closed = false;
        const Span text = UnquoteSpan(value, value.p[0], value.p[0], &closed);
        target->kind = TextNode::kValue;
        if (!closed && form == TextData::kStatementForm) {
            // Only an escaped quote leaves a cut statement open; what follows it
            // was meant as more text than the statement holds.
            target->value.Release();
            return false;
        }
        // In the line form a ";" ends the line's statement, quotes or not: the text
        // as written up to it, its opening quote included.
        target->value = ToWString(text);
        return true;
    }
    if (form == TextData::kLineForm || IsNumber(value)) {
        target->value = ToWString(value);
        target->kind = TextNode::kValue;
        return true;
    }
    // A word names the node to copy, from the document root.
    TextNode* source = ResolveIn(state, value, nullptr);
    if (!source) return false;
    WString ownName = std::move(target->name);
    u64 made = 0;
    const bool copied = target->CopyFrom(*source, state.nodesLeft, &made);
    target->name = std::move(ownName);
    if (!copied) {
        state.aborted = true;
        return false;
    }
    state.Spend(made);
    return true;
}

// Where the next thing other than blanks, line breaks and comments stands (length
// when there is none).
u32 NextContent(const char16_t* units, u32 length, u32 position, TextData::Form form) {
    while (position < length) {
        const char16_t c = units[position];
        if (c == u'\r' || c == u'\n' || IsBlankUnit(c)) {
            ++position;
        } else if (form == TextData::kLineForm ? c == u';'
                                               : c == u'/' && position + 1 < length && units[position + 1] == u'/') {
            UdfText::SkipLine(units, length, position);
        } else {
            break;
        }
    }
    return position;
}

bool LoadTextIn(LoadState& state, const char16_t* units, u32 length, TextData::Form form) {
    char16_t* scratch = nullptr;
    if (form == TextData::kStatementForm) {
        scratch = MemAllocArray<char16_t>(static_cast<std::size_t>(length) + 1);
        if (!scratch) return false;
    }
    bool result = true;
    TextNode* current = nullptr;  // each text starts at the root
    u32 position = 0;
    u32 content = 0;  // a place known to hold more than blanks and comments, once found
    for (;;) {
        if (state.aborted) {
            result = false;
            break;
        }
        Span statement;
        bool unterminated = false;
        if (form == TextData::kLineForm) {
            u32 start = 0;
            const u32 n = UdfText::NextStatement(units, length, position, &start);
            statement = Span{units + start, n};
        } else {
            const u32 n = TextData::CutStatement(units, length, position, scratch, &unterminated);
            statement = Span{scratch, n};
        }
        if (statement.n == 0) break;
        // Blanks with nothing but comments after them end the text quietly.
        if (!unterminated && IsBlankSpan(statement)) {
            if (position >= content) content = NextContent(units, length, position, form);
            if (content >= length) break;
        }
        const bool ok = !unterminated && ParseIn(state, statement, current, form);
        result = result && ok;
    }
    MemFree(scratch);
    return result && !state.aborted;
}

}  // namespace

// ---- the scanning helpers ----------------------------------------------------------------

u32 TextData::ExtractBalanced(const char16_t* text, u32 length, char16_t open, char16_t close, bool* closed) {
    if (closed) *closed = false;
    if (!text || length == 0 || text[0] != open) return 0;
    u32 depth = 1;
    u32 i = 1;
    while (depth && i < length) {
        // The closing test comes first: a quoted run ends at the next quote.
        if (text[i] == close)
            --depth;
        else if (text[i] == open)
            ++depth;
        ++i;
    }
    if (closed) *closed = depth == 0;
    return i;
}

u32 TextData::ScanUntil(const char16_t* text, u32 length, const char16_t* stop, u32 stopLength, bool* unclosed) {
    if (unclosed) *unclosed = false;
    if (!text) return 0;
    u32 i = 0;
    while (i < length) {
        if (stopLength && length - i >= stopLength && memcmp(text + i, stop, stopLength * sizeof(char16_t)) == 0) break;
        const char16_t c = text[i];
        char16_t close = 0;
        // Single quotes open a run as double quotes do, so the scan never stalls on one.
        if (c == u'"' || c == u'\'')
            close = c;
        else if (c == u'[')
            close = u']';
        else if (c == u'(')
            close = u')';
        if (!close) {
            ++i;
            continue;
        }
        bool closed = false;
        i += ExtractBalanced(text + i, length - i, c, close, &closed);
        if (!closed && unclosed) *unclosed = true;
    }
    return i;
}

WString TextData::Unquote(const WString& text, char16_t open, char16_t close, bool* closed) {
    bool found = false;
    const Span s = UnquoteSpan(SpanOf(text), open, close, &found);
    if (closed) *closed = found;
    return found ? ToWString(s) : text;
}

u32 TextData::CutStatement(const char16_t* units, u32 length, u32& position, char16_t* out, bool* unterminated) {
    constexpr u32 kNone = 0x10000;
    bool inDouble = false;
    bool inSingle = false;
    u32 prev = kNone;
    u32 written = 0;
    if (unterminated) *unterminated = false;
    while (position < length) {
        const char16_t c = units[position];
        if (c == u'/' && prev == u'/' && !inSingle && !inDouble) {
            // A comment: the first "/" was taken already.
            UdfText::SkipLine(units, length, position);
            --written;
            prev = kNone;
            continue;
        }
        if (c == u'\r' || c == u'\n') {
            ++position;
            continue;
        }
        if (c == u';' && !inDouble && !inSingle) {
            ++position;
            return written;
        }
        if (c == u'"' && prev != u'\\' && !inSingle) inDouble = !inDouble;
        if (c == u'\'' && prev != u'\\' && !inDouble) inSingle = !inSingle;
        if (c == u'\\' && prev != u'\\') {
            prev = u'\\';  // an escape: dropped
            ++position;
            continue;
        }
        out[written++] = c;
        prev = c == u'\\' ? kNone : c;
        ++position;
    }
    if (unterminated) *unterminated = inDouble || inSingle;
    return written;
}

WString TextData::NextStatement(const WString& text, u32& position) {
    if (position >= text.length) return WString();
    char16_t* out = MemAllocArray<char16_t>(static_cast<std::size_t>(text.length - position) + 1);
    if (!out) return WString();
    const u32 n = CutStatement(text.data, text.length, position, out, nullptr);
    WString statement = n ? WString::FromBuffer(out, n, true) : WString();
    MemFree(out);
    return statement;
}

// ---- loading -------------------------------------------------------------------------------

bool TextData::LoadForm(Stream& stream, TextDataTree& document, MemFile* files, int kind, Form form) {
    LoadState state(document, files);
    return LoadStreamIn(state, stream, kind, form);
}

bool TextData::Load(Stream& stream, TextDataTree& document, MemFile* files, int kind) {
    return LoadForm(stream, document, files, kind, kStatementForm);
}

bool TextData::LoadText(const WString& text, TextDataTree& document, MemFile* files, Form form) {
    LoadState state(document, files);
    state.Allow(text.length);
    const Span units = SpanOf(text);
    return LoadTextIn(state, units.p, units.n, form);
}

bool TextData::ParseStatementForm(TextDataTree& document, const WString& statement, TextNode*& current,
                                  MemFile* files, Form form) {
    LoadState state(document, files);
    state.Allow(statement.length);
    const bool ok = ParseIn(state, SpanOf(statement), current, form);
    // The caller keeps current after this call, when the detached nodes are gone.
    if (current && state.detached.Size() && state.IsDetached(current)) current = nullptr;
    return ok && !state.aborted;
}

bool TextData::ParseStatement(TextDataTree& document, const WString& statement, TextNode*& current,
                              MemFile* files) {
    return ParseStatementForm(document, statement, current, files, kStatementForm);
}

TextNode* TextData::ResolvePath(TextDataTree& document, const WString& path, TextNode* scope) {
    LoadState state(document, nullptr);
    state.Allow(path.length);
    return ResolveIn(state, SpanOf(path), scope);
}
