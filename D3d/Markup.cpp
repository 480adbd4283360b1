// The markup parser. Positions: the lexer reports bytes, the source is read in UTF-16
// units, so every conversion between the two halves or doubles.
#include "D3d/Markup.h"

#include "Core/Tokenizer.h"
#include "D3d/TextElement.h"

#include <memory>

namespace {

u8 gSuccess = 1;

constexpr char16_t kRawEnd[] = u"</RAW>";
constexpr u32 kRawEndLength = 6;

// The unit index of the first "<" at or after `from`, or `end`.
u32 FindTagStart(const char16_t* source, u32 from, u32 end) {
    while (from < end && source[from] != u'<') ++from;
    return from;
}

// The unit index of the raw block's end marker at or after `from`; `end` when none.
u32 FindRawEnd(const char16_t* source, u32 from, u32 end) {
    for (u32 at = from; at + kRawEndLength <= end; ++at) {
        if (source[at] != u'<') continue;
        u32 k = 1;
        while (k < kRawEndLength && source[at + k] == kRawEnd[k]) ++k;
        if (k == kRawEndLength) return at;
    }
    return end;
}

u32 UnitPosition(const Lexer& lexer) { return static_cast<u32>(lexer.Position()) / 2; }

void SetUnitPosition(Lexer& lexer, u32 unit) { lexer.SetPosition(static_cast<i32>(unit * 2)); }

bool IsValueToken(i32 number) {
    return number == kScriptDoubleQuoted || number == kScriptSingleQuoted || number == kTokenNumber ||
           number == kTokenWord;
}

}  // namespace

struct Markup::Context {
    Lexer& markup;
    std::unique_ptr<Lexer> script;  // made at the first tag with attributes

    Lexer& Script() {
        if (!script) {
            script = std::make_unique<Lexer>();
            script->LoadScriptTable();
        }
        return *script;
    }
};

bool Markup::Succeeded() { return gSuccess != 0; }

void Markup::ResetSuccess() { gSuccess = 1; }

bool Markup::Parse(TextElement* document, const WString& text) {
    if (!document) return false;
    Lexer lexer;
    lexer.LoadMarkupTable();
    gSuccess = 1;
    if (!lexer.SetSource(text.data, text.length)) {
        gSuccess = 0;
        return false;
    }
    Context context{lexer, nullptr};
    for (;;) {
        TextElement* element = new TextElement(document->ObjectFactory());
        element->SetParent(document);
        if (!ParseElementAt(element, context, 1)) {
            delete element;
            break;
        }
        document->AppendChild(element);
    }
    document->SetCursor(document->FirstChild());
    return gSuccess != 0;
}

bool Markup::ParseElement(TextElement* element, Lexer& lexer) {
    if (!element) return false;
    // The depth of an element is the number of its ancestors; counting stops past the
    // limit, which is all the bound needs to know.
    u32 depth = 0;
    for (const TextElement* at = element->Parent(); at && depth <= kMaxDepth; at = at->Parent()) ++depth;
    Context context{lexer, nullptr};
    return ParseElementAt(element, context, depth);
}

bool Markup::ParseElementAt(TextElement* element, Context& context, u32 depth) {
    Lexer& lexer = context.markup;
    const char16_t* source = lexer.Source();
    const u32 sourceEnd = lexer.SourceLength();
    LexToken token;
    LexError error;
    const int status = lexer.NextToken(token, error);
    if (status == kLexEnd) return false;
    if (status != kLexToken) {
        // The markup table has no quotes, so this cannot come from the text; the reading
        // stands at the end either way.
        gSuccess = 0;
        return false;
    }

    if (token.number == kMarkupOpenClose) {
        const u32 afterOpen = UnitPosition(lexer);
        LexToken name;
        const int nameStatus = lexer.NextToken(name, error);
        if (nameStatus != kLexToken || name.number != kTokenWord) {
            // "</>" or "</" before another tag or the end: a closing tag without a name.
            // A ">" right after it still belongs to it; anything else is left for the
            // next element instead of being swallowed.
            gSuccess = 0;
            if (nameStatus != kLexToken || name.number != kMarkupEnd) SetUnitPosition(lexer, afterOpen);
            return false;
        }
        const TextElement* parent = element->Parent();
        if (parent && !parent->GetName().IsEmpty() && !WString::Equals(parent->GetName(), name.text)) gSuccess = 0;
        const u32 afterName = UnitPosition(lexer);
        LexToken close;
        const int closeStatus = lexer.NextToken(close, error);
        if (closeStatus != kLexToken || close.number != kMarkupEnd) {
            gSuccess = 0;
            SetUnitPosition(lexer, afterName);
        }
        return false;
    }

    if (token.number == kMarkupOpen) {
        const u32 afterOpen = UnitPosition(lexer);
        LexToken name;
        const int nameStatus = lexer.NextToken(name, error);
        if (nameStatus != kLexToken || name.number != kTokenWord) {
            // "<>", "< >", "<<" or a "<" at the end: no tag name. The "<" is read as text
            // up to the next tag, and the token after it is not swallowed as a name.
            gSuccess = 0;
            const u32 end = FindTagStart(source, afterOpen, sourceEnd);
            element->SetRun(true);
            element->AssignText(WString::FromBuffer(const_cast<char16_t*>(source + afterOpen - 1),
                                                    end - (afterOpen - 1), true));
            SetUnitPosition(lexer, end);
            return true;
        }
        element->SetName(name.text);
        element->SetRun(false);
        const u32 attributesStart = UnitPosition(lexer);
        LexToken end;
        for (;;) {
            const int endStatus = lexer.NextToken(end, error);
            if (endStatus != kLexToken) {
                // The input ended inside the tag.
                gSuccess = 0;
                return false;
            }
            if (end.number == kMarkupEnd || end.number == kMarkupEmptyEnd) break;
        }
        const u32 afterEnd = UnitPosition(lexer);
        const u32 attributesEnd = afterEnd - end.text.length;
        if (attributesEnd > attributesStart)
            ReadAttributes(element, source + attributesStart, attributesEnd - attributesStart, context.Script());
        if (end.number == kMarkupEmptyEnd) return true;
        if (depth > kMaxDepth) {
            // Children here would pass the nesting bound: the tag keeps none, and what
            // follows is read beside it.
            gSuccess = 0;
            return true;
        }
        for (;;) {
            TextElement* child = new TextElement(element->ObjectFactory());
            child->SetParent(element);
            if (!ParseElementAt(child, context, depth + 1)) {
                delete child;
                break;
            }
            element->AppendChild(child);
        }
        element->SetCursor(element->FirstChild());
        return true;
    }

    const u32 afterToken = UnitPosition(lexer);
    if (token.number == kMarkupRawBegin) {
        const u32 end = FindRawEnd(source, afterToken, sourceEnd);
        if (end >= sourceEnd) {
            // No end marker: the raw text is dropped.
            gSuccess = 0;
            SetUnitPosition(lexer, sourceEnd);
            return false;
        }
        element->SetRun(true);
        element->AssignText(WString::FromBuffer(const_cast<char16_t*>(source + afterToken), end - afterToken, true));
        SetUnitPosition(lexer, end + kRawEndLength);
        return true;
    }

    // Text: from the first character of the token just read to the next tag or the end.
    const u32 start = afterToken - token.text.length;
    const u32 end = FindTagStart(source, afterToken, sourceEnd);
    element->SetRun(true);
    element->AssignText(WString::FromBuffer(const_cast<char16_t*>(source + start), end - start, true));
    SetUnitPosition(lexer, end);
    return true;
}

bool Markup::ParseAttributes(TextElement* element, const WString& attributeText) {
    if (!element) return false;
    if (attributeText.IsEmpty()) return true;
    Lexer script;
    script.LoadScriptTable();
    return ReadAttributes(element, attributeText.data, attributeText.length, script);
}

bool Markup::ReadAttributes(TextElement* element, const char16_t* text, u32 length, Lexer& script) {
    if (length == 0) return true;
    if (!script.SetSource(text, length)) return false;
    WStringDictMap& attributes = element->Attributes();
    WString pending;
    bool hasPending = false;
    bool result = true;
    LexToken token;
    LexError error;
    for (;;) {
        const int status = script.NextToken(token, error);
        if (status == kLexEnd) break;
        if (status != kLexToken) {
            // An unterminated quote inside a tag.
            gSuccess = 0;
            result = false;
            hasPending = false;
            break;
        }
        if (token.number == kScriptAssign) {
            if (!hasPending) {
                result = false;
                break;
            }
            LexToken value;
            const int valueStatus = script.NextToken(value, error);
            if (valueStatus == kLexError) gSuccess = 0;
            if (valueStatus != kLexToken || !IsValueToken(value.number)) {
                result = false;
                hasPending = false;
                break;
            }
            attributes.Insert(pending, value.text);
            hasPending = false;
            continue;
        }
        if (hasPending) attributes.Insert(pending, WString());
        pending = std::move(token.text);
        hasPending = true;
    }
    if (hasPending) attributes.Insert(pending, WString());
    attributes.cursor = attributes.count ? attributes.first : &attributes.sentinel;
    // The lexer borrows the text; it must not outlive it with a pointer into it.
    script.SetSource(nullptr, 0);
    return result;
}
