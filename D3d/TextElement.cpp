// The text element tree: links, document order, deletion without recursion, styles and
// layout, inline objects, the cursor.
#include "D3d/TextElement.h"

#include "D3d/FontManager.h"
#include "D3d/InlineObjectFactory.h"
#include "D3d/Markup.h"
#include "D3d/Texture.h"
#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"

namespace {

// The next element of the subtree under `top` in document order; null after its last.
TextElement* NextWithin(const TextElement* at, const TextElement* top) {
    if (at->FirstChild()) return at->FirstChild();
    for (; at && at != top; at = at->Parent())
        if (at->NextSibling()) return at->NextSibling();
    return nullptr;
}

// An attribute value as a 32-bit integer: an optional sign, then decimal digits or "0x"
// and hexadecimal digits, read up to the first other character and kept modulo 2^32, so
// that colours written either way (0xFF00FF00 or 4278255360) give their bits.
u32 AttributeBits(const WString& value) {
    u32 i = 0;
    bool negative = false;
    if (i < value.length && (value.data[i] == u'-' || value.data[i] == u'+')) negative = value.data[i++] == u'-';
    u32 bits = 0;
    if (i + 1 < value.length && value.data[i] == u'0' && (value.data[i + 1] == u'x' || value.data[i + 1] == u'X')) {
        for (i += 2; i < value.length; ++i) {
            const char16_t c = value.data[i];
            u32 digit;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                digit = c - u'A' + 10;
            else
                break;
            bits = bits * 16 + digit;
        }
    } else {
        for (; i < value.length && value.data[i] >= u'0' && value.data[i] <= u'9'; ++i)
            bits = bits * 10 + static_cast<u32>(value.data[i] - u'0');
    }
    return negative ? 0u - bits : bits;
}

i32 AttributeInt(const WString& value) { return static_cast<i32>(AttributeBits(value)); }

bool NameIs(const WString& name, const char16_t* text) { return WString::EqualsText(name, text); }

}  // namespace

TextElement::TextElement() = default;

TextElement::TextElement(InlineObjectFactory* objects) : objectFactory(objects) {}

TextElement::~TextElement() {
    DeleteChildren();
    DeleteInlineObject();
}

void TextElement::DeleteInlineObject() {
    delete attached;
    attached = nullptr;
    // The window never held a reference of its own: the element gives back the one it
    // took, after the window that showed the texture is gone.
    if (imageTexture) TheTextureManager().Release(imageTexture);
    imageTexture = nullptr;
}

void TextElement::AppendChild(TextElement* child) {
    if (!child) return;
    child->parent = this;
    child->nextSibling = nullptr;
    if (lastChild)
        lastChild->nextSibling = child;
    else
        firstChild = child;
    lastChild = child;
    ++childCount;
}

void TextElement::DeleteChildren() {
    // Each child's own children are moved to the end of this list before it is deleted,
    // so a deep tree is taken apart in one loop instead of a recursion per level.
    while (firstChild) {
        TextElement* child = firstChild;
        if (child->firstChild) {
            lastChild->nextSibling = child->firstChild;
            lastChild = child->lastChild;
            child->firstChild = child->lastChild = nullptr;
            child->childCount = 0;
        }
        firstChild = child->nextSibling;
        delete child;
    }
    lastChild = nullptr;
    cursor = nullptr;
    childCount = 0;
}

u32 TextElement::GetKind() const {
    if (kind == kPlainRun) return kKindRun;
    return HasAttachedObject() ? kKindObject : kKindMarkup;
}

TextElement* TextElement::Next() const {
    if (firstChild) return firstChild;
    for (const TextElement* at = this; at; at = at->parent)
        if (at->nextSibling) return at->nextSibling;
    return nullptr;
}

TextElement* TextElement::FindKind(u32 wanted) {
    for (TextElement* at = this; at; at = at->Next())
        if (at->GetKind() == wanted) return at;
    return nullptr;
}

const WString* TextElement::FindAttribute(const char16_t* attributeName) const {
    const auto* node = attributes.Find(WString(attributeName));
    return node ? &node->value : nullptr;
}

// ---- styles and layout ---------------------------------------------------------------

bool TextElement::SetMarkup(const WString& markup) {
    DeleteChildren();
    DeleteInlineObject();
    parent = nullptr;
    name = WString(u"root");
    kind = kMarkup;
    const bool ok = Markup::Parse(this, markup);
    Layout(true);
    changed = 1;
    return ok;
}

void TextElement::SetText(const WString& newText) {
    text = newText;
    changed = 1;
    Layout(false);
}

void TextElement::Layout(bool withChildren) {
    LayoutSelf();
    if (!withChildren) return;
    // In document order, so a parent's style is ready before its children copy it.
    for (TextElement* at = NextWithin(this, this); at; at = NextWithin(at, this)) at->LayoutSelf();
}

void TextElement::ApplyAttributes() {
    if (parent) style.Assign(parent->style);
    if (const WString* v = FindAttribute(u"Size")) style.size = AttributeInt(*v);
    if (const WString* v = FindAttribute(u"CharSpace")) style.charSpacing = AttributeInt(*v);
    if (const WString* v = FindAttribute(u"RowSpace")) style.rowSpacing = AttributeInt(*v);
    if (const WString* v = FindAttribute(u"FontName")) style.fontName = *v;
    if (NameIs(name, u"B") || HasAttribute(u"Bold")) style.flags |= TextStyle::kBold;
    if (NameIs(name, u"I") || HasAttribute(u"Italic")) style.flags |= TextStyle::kItalic;
    if (NameIs(name, u"N") || HasAttribute(u"Normal")) style.flags &= ~(TextStyle::kBold | TextStyle::kItalic);
    if (const WString* v = FindAttribute(u"Color")) style.color = FColor::FromPacked(AttributeBits(*v));
    if (const WString* v = FindAttribute(u"BGColor")) style.background = FColor::FromPacked(AttributeBits(*v));
}

void TextElement::LayoutSelf() {
    ApplyAttributes();
    if (kind != kPlainRun) {
        floating = HasAttribute(u"TextFloat") ? 1 : 0;
        if (!attached) MakeInlineObject();
        return;
    }
    glyphRuns.Clear();
    FontManager& fonts = TheFontManager();
    Charset* last = nullptr;
    for (u32 i = 0; i < text.length; ++i) {
        Charset* charset = fonts.FindCharset(text.data[i], style);
        if (i == 0 || charset != last) glyphRuns.Insert(i, charset);
        last = charset;
    }
}

void TextElement::MakeInlineObject() {
    if (!NameIs(name, u"IMG")) return;
    if (!objectFactory) return;
    Texture* texture = nullptr;
    const WString* source = FindAttribute(u"Src");
    if (source && !source->IsEmpty()) {
        TextureDesc desc;
        desc.path = patht(String::FromWString(*source));
        texture = TheTextureManager().Load(desc, nullptr);
    }
    // A size the attributes do not give is the texture's; without a texture it is 0.
    const IntPair own = texture ? texture->GetSize() : IntPair(0, 0);
    const WString* width = FindAttribute(u"Width");
    const WString* height = FindAttribute(u"Height");
    InlineObject* object =
        objectFactory->MakeImage(texture, width ? AttributeInt(*width) : own.x, height ? AttributeInt(*height) : own.y);
    if (!object) {
        if (texture) TheTextureManager().Release(texture);
        return;
    }
    attached = object;
    imageTexture = texture;
}

// ---- cursor ------------------------------------------------------------------------

char16_t TextCursor::GetChar() const {
    if (!element || !element->IsRun()) return 0;
    return element->GetText().UnitAt(index);
}

bool TextCursor::NextElement() {
    if (!element) return false;
    TextElement* next = element->Next();
    if (!next) return false;
    element = next;
    index = 0;
    return true;
}

bool TextCursor::Advance(u32 n) {
    if (!element) return false;
    const TextCursor start = *this;
    if (!element->IsRun()) {
        if (!NextElement()) return false;
        if (n != 0) --n;
    }
    for (;;) {
        const u32 length = element->IsRun() ? element->GetLength() : 0;
        const u32 left = index < length ? length - index : 0;
        if (n < left) break;
        n -= left;
        if (!NextElement()) {
            *this = start;
            return false;
        }
    }
    index += n;
    return true;
}

namespace {

// Truncates toward zero; a product beyond the i32 range (or not a number) would make
// the conversion undefined, so it is held at the nearest end (0 for not a number).
i32 TruncateScaled(i32 value, f32 factor) {
    const f32 product = static_cast<f32>(value) * factor;
    if (!(product == product)) return 0;
    if (product >= 2147483648.0f) return 2147483647;
    if (product < -2147483648.0f) return -2147483647 - 1;
    return static_cast<i32>(product);
}

}  // namespace

IntPair ScaleSize(IntPair size, f32 factor) {
    return IntPair(TruncateScaled(size.x, factor), TruncateScaled(size.y, factor));
}
