// Marked-up text as a tree of elements. The markup parser fills it: markup elements carry a
// tag name and attributes, plain runs carry their characters unchanged. Children are kept
// on intrusive sibling links so that walking the document in order (Next) needs neither a
// search of the parent's list nor recursion: a tree as deep as memory allows is walked,
// laid out and deleted without growing the stack.
//
// Layout gives every element its style (the parent's, changed by the element's own
// attributes), cuts plain runs into glyph runs of one charset each, and makes the window
// of an "IMG" element through the inline object factory it was handed (without one the
// element stays without a window). The factory is not the element's: whoever makes the
// element hands it in and keeps it alive while the element is laid out, and the elements
// a parse makes take the factory of the element they are parsed into. The texture such a
// window shows is the element's: it is released after the window is deleted.
//
// A TextCursor reads the characters of a tree across element boundaries; it never comes
// to rest past the last character.
#pragma once

#include "Core/OrderedMap.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Core/WString.h"
#include "D3d/TextStyle.h"

class Charset;
class InlineObject;
class InlineObjectFactory;
class Texture;

class TextElement {
public:
    // The kind word: what the element holds.
    static constexpr u32 kMarkup = 0;
    static constexpr u32 kPlainRun = 1;
    // What GetKind answers.
    static constexpr u32 kKindRun = 0;
    static constexpr u32 kKindObject = 1;
    static constexpr u32 kKindMarkup = 2;

    // Glyph runs: the index of a run's first character to the charset that draws it
    // (null for characters no charset covers), in character order.
    using GlyphRuns = IntMapOf<Charset*>;

    TextElement();
    // An element whose "IMG" markup gets its window from `objects` (null: none).
    explicit TextElement(InlineObjectFactory* objects);
    TextElement(const TextElement&) = delete;
    TextElement& operator=(const TextElement&) = delete;
    virtual ~TextElement();

    // 0 a plain run, 1 an element with an attached object, 2 any other element.
    u32 GetKind() const;
    bool IsRun() const { return kind == kPlainRun; }
    void SetRun(bool run) { kind = run ? kPlainRun : kMarkup; }

    // The next element in document order (first child, else next sibling, else the
    // nearest ancestor's next sibling); null at the end.
    TextElement* Next() const;
    // This element when its kind matches, else the next one of that kind; null when none.
    TextElement* FindKind(u32 wanted);

    TextElement* Parent() const { return parent; }
    void SetParent(TextElement* p) { parent = p; }
    TextElement* FirstChild() const { return firstChild; }
    TextElement* LastChild() const { return lastChild; }
    TextElement* NextSibling() const { return nextSibling; }
    u32 ChildCount() const { return childCount; }
    // Where a reader of the children list stands; the parser sets it to the first child.
    TextElement* Cursor() const { return cursor; }
    void SetCursor(TextElement* at) { cursor = at; }
    // Takes ownership of the child, makes this element its parent and links it last.
    void AppendChild(TextElement* child);
    // Deletes every child (and their descendants).
    void DeleteChildren();

    const WString& GetName() const { return name; }
    void SetName(const WString& n) { name = n; }
    const WString& GetText() const { return text; }
    u32 GetLength() const { return text.length; }
    void AssignText(const WString& t) { text = t; }

    WStringDictMap& Attributes() { return attributes; }
    const WStringDictMap& Attributes() const { return attributes; }
    // The value of an attribute, or null when the element has none of that name.
    const WString* FindAttribute(const char16_t* attributeName) const;
    bool HasAttribute(const char16_t* attributeName) const { return FindAttribute(attributeName) != nullptr; }

    // The object an "IMG" element shows (owned; deleted with the element).
    InlineObject* GetAttachedObject() const { return attached; }
    bool HasAttachedObject() const { return attached != nullptr; }
    // The factory this element makes its object with, and what the elements parsed into
    // it are made with; null for none. Setting one makes no object until the next layout.
    InlineObjectFactory* ObjectFactory() const { return objectFactory; }
    void SetObjectFactory(InlineObjectFactory* objects) { objectFactory = objects; }

    // Replaces the children by the parse of the text: the element becomes the markup
    // root "root" without a parent; the whole tree is laid out and marked changed.
    // Returns the parser's result.
    bool SetMarkup(const WString& markup);
    // Replaces a run's text, marks it changed and lays it out again.
    void SetText(const WString& newText);
    // Styles the element (and with children its whole subtree, in document order):
    // attributes, inline object, glyph runs.
    void Layout(bool withChildren);
    // The parent's style (when there is a parent) changed by this element's attributes.
    void ApplyAttributes();

    const TextStyle& GetStyle() const { return style; }
    TextStyle& Style() { return style; }
    const GlyphRuns& GetGlyphRuns() const { return glyphRuns; }
    // The texture the inline object shows (the element holds one reference), or null.
    Texture* GetImageTexture() const { return imageTexture; }

    bool IsChanged() const { return changed != 0; }
    void SetChanged(bool on) { changed = on ? 1 : 0; }
    bool IsFloating() const { return floating != 0; }

protected:
    void LayoutSelf();
    void MakeInlineObject();
    void DeleteInlineObject();

    WStringDictMap attributes;
    WString name;
    WString text;
    TextElement* parent = nullptr;
    TextElement* firstChild = nullptr;
    TextElement* lastChild = nullptr;
    TextElement* nextSibling = nullptr;
    TextElement* cursor = nullptr;
    InlineObject* attached = nullptr;
    InlineObjectFactory* objectFactory = nullptr;  // not owned
    Texture* imageTexture = nullptr;
    GlyphRuns glyphRuns;
    TextStyle style;
    u32 childCount = 0;
    u32 kind = kMarkup;
    u8 changed = 0;
    u8 floating = 0;
};

// A position in a tree: an element and the index of a character in it.
struct TextCursor {
    TextElement* element = nullptr;
    u32 index = 0;

    TextCursor() = default;
    TextCursor(TextElement* e, u32 i) : element(e), index(i) {}

    // The UTF-16 unit at the cursor; 0 on a markup element, past the end or without an
    // element.
    char16_t GetChar() const;
    // Moves to the next element in document order, index 0; false (cursor unchanged) at
    // the end.
    bool NextElement();
    // Moves n characters on. From a markup element the first step (when n is not 0) goes
    // to the next element; markup elements on the way cost nothing. False when the move
    // would leave the last run: the cursor then stays where it was, on a character.
    bool Advance(u32 n);
};

// An integer size scaled by a factor, each value truncated.
IntPair ScaleSize(IntPair size, f32 factor);
