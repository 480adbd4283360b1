// The text element tree: links, document order, deletion without recursion, the cursor.
#include "D3d/TextElement.h"

#include "D3d/InlineObjectFactory.h"

TextElement::TextElement() = default;

TextElement::~TextElement() {
    DeleteChildren();
    delete attached;
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
