// Word wrap, placing and quads of the text layout (see TextLayout.h).
#include "Gui/TextLayout.h"

#include <limits.h>

#include <algorithm>

#include "D3d/FontManager.h"

namespace {

constexpr char16_t kLineBreak = u'\n';
// Room without wrapping: far beyond any window, yet far from overflowing when widths add.
constexpr i32 kUnbounded = INT_MAX / 4;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The charset that draws character `index` of a run: the glyph run the index falls in.
Charset* CharsetAt(const TextElement* run, u32 index) {
    TextElement::GlyphRuns::Node* floor = nullptr;
    TextElement::GlyphRuns::Node* ceiling = nullptr;
    run->GetGlyphRuns().EqualRange(index, floor, ceiling);
    return floor ? floor->value : nullptr;
}

// A character's drawn size (the charset's, scaled) and its advance (spacing added). A line
// break takes no room; a character no charset covers takes only the spacing.
struct CharSize {
    Charset* charset;
    IntPair size;
    i32 advance;
};

CharSize SizeOf(const TextElement* run, u32 index) {
    const char16_t ch = run->GetText().data[index];
    if (ch == kLineBreak) return {nullptr, IntPair(0, 0), 0};
    const TextStyle& style = run->GetStyle();
    Charset* charset = CharsetAt(run, index);
    const IntPair size = charset ? ScaleSize(charset->GetCharSize(ch), style.scale) : IntPair(0, 0);
    return {charset, size, size.x + style.charSpacing};
}

bool SameCursor(const TextCursor& a, const TextCursor& b) { return a.element == b.element && a.index == b.index; }

// Clip coordinates are kept as floats from here on: the half-pixel shift and the cut of
// the texture coordinates are fractions.
struct Box {
    f32 left, top, right, bottom;
};

// The part of box inside clip; false when nothing of it is (touching edges included).
bool Cut(const Box& box, const IntRect& clip, Box& out) {
    out.left = std::max(box.left, static_cast<f32>(clip.left));
    out.top = std::max(box.top, static_cast<f32>(clip.top));
    out.right = std::min(box.right, static_cast<f32>(clip.right));
    out.bottom = std::min(box.bottom, static_cast<f32>(clip.bottom));
    return out.left < out.right && out.top < out.bottom;
}

// The two triangles (clockwise on screen) of a rectangle, as corner indices 0 top left,
// 1 top right, 2 bottom right, 3 bottom left.
constexpr int kQuadCorners[6] = {0, 1, 2, 0, 2, 3};

template <class Vertex>
void Corner(const Box& box, int corner, f32 depth, u32 color, Vertex& v) {
    v.x = ((corner == 1 || corner == 2) ? box.right : box.left) - 0.5f;
    v.y = (corner >= 2 ? box.bottom : box.top) - 0.5f;
    v.z = depth;
    v.rhw = 1.0f;
    v.color = color;
}

}  // namespace

IntPair MeasureText(const TextElement* element) {
    FontManager& fonts = TheFontManager();
    if (element) {
        Charset* charset = fonts.FindCharset(u' ', element->GetStyle());
        return charset ? charset->GetCharSize(u' ') : IntPair(0, 0);
    }
    Charset* charset = fonts.GetDefaultCharset();
    return charset ? IntPair(charset->GetCharWidth(), charset->GetCharHeight()) : IntPair(0, 0);
}

// ---- word wrap ------------------------------------------------------------------------

// One measured word. kind: 0 end of text, 1 a word, 2 a word cut because its next
// character does not fit, 3 a word ended by a line break (the break is part of it).
struct TextLayout::Word {
    u32 kind = 0;
    i32 width = 0;
    i32 height = 0;
    i32 count = 0;                    // text positions (run characters) it holds
    u32 units = 0;                    // characters and objects measured
    const TextElement* object = nullptr;  // the element when the word is an inline object
    bool blank = false;
};

bool TextLayout::Settle(TextCursor& cursor) {
    TextElement* element = cursor.element;
    u32 index = cursor.index;
    while (element) {
        if (element->IsRun() ? index < element->GetLength() : (element->HasAttachedObject() && index == 0)) {
            cursor = TextCursor(element, index);
            return true;
        }
        element = element->Next();
        index = 0;
    }
    return false;
}

IntPair TextLayout::ObjectSize(const TextElement* element) const {
    return objectSize ? objectSize(element, objectContext) : IntPair(0, 0);
}

TextLayout::Word TextLayout::Measure(TextCursor& cursor, i32 room) const {
    Word word;
    for (;;) {
        if (!Settle(cursor)) {
            word.kind = word.units ? 1 : 0;
            return word;
        }
        const TextElement* element = cursor.element;
        if (!element->IsRun()) {
            // An inline object is a word of its own.
            if (word.units) {
                word.kind = 1;
                return word;
            }
            const IntPair size = ObjectSize(element);
            word.kind = 1;
            word.width = size.x + element->GetStyle().charSpacing;
            word.height = size.y;
            word.units = 1;
            word.object = element;
            cursor.index = 1;  // passed: Settle moves on from here
            return word;
        }
        const char16_t ch = element->GetText().data[cursor.index];
        if (ch == kLineBreak) {
            ++cursor.index;
            ++word.count;
            ++word.units;
            word.kind = 3;
            return word;
        }
        const bool blank = IsBlank(ch);
        if (blank && word.units) {
            word.kind = 1;
            return word;
        }
        const CharSize size = SizeOf(element, cursor.index);
        // The first character is always taken, so that every measurement moves on.
        if (word.units && word.width + size.advance > room) {
            word.kind = 2;
            return word;
        }
        word.width += size.advance;
        word.height = std::max(word.height, size.size.y);
        ++word.count;
        ++word.units;
        ++cursor.index;
        if (blank) {
            word.kind = 1;
            word.blank = true;
            return word;
        }
    }
}

void TextLayout::Clear() {
    lines.clear();
    drawn.clear();
    glyphs.clear();
    objects.clear();
}

void TextLayout::Wrap(TextElement* root, i32 width, bool wrap) {
    Clear();
    if (!root) return;

    TextCursor cursor(root, 0);
    Settle(cursor);
    i32 position = 0;

    // The line being filled.
    TextLine line;
    line.key = cursor;
    i32 x = 0;
    i32 top = 0;
    i32 height = 0;
    i32 count = 0;
    u32 items = 0;
    bool endedByBreak = false;
    // A floating object beside the lines: its right edge and its bottom.
    bool floating = false;
    i32 floatRight = 0;
    i32 floatBottom = 0;

    auto startLine = [&](const TextCursor& at) {
        line = TextLine();
        line.key = at;
        Settle(line.key);
        if (floating && top >= floatBottom) floating = false;
        x = floating ? floatRight : 0;
        line.left = x;
        height = 0;
        count = 0;
        items = 0;
    };
    auto endLine = [&](const TextCursor& next) {
        const TextElement* keyElement = line.key.element;
        if (height == 0) height = MeasureText(keyElement && keyElement != root ? keyElement : nullptr).y;
        line.bottom = top + height;
        line.height = height;
        line.right = x;
        if (count > 0) {
            line.firstPos = position;
            line.lastPos = position + count - 1;
            position += count;
        }
        lines.push_back(line);
        TextCursor following = next;
        const bool more = Settle(following);
        top = line.bottom + (more ? following.element->GetStyle().rowSpacing : 0);
        startLine(next);
    };

    for (;;) {
        const TextCursor wordStart = cursor;
        const i32 room = wrap ? width - x : kUnbounded;
        const Word word = Measure(cursor, room);
        if (word.kind == 0) {
            // The last line; an empty one only for an empty text or after a line break, so
            // that the end of the text has a line.
            if (items > 0 || lines.empty() || endedByBreak) endLine(cursor);
            break;
        }
        endedByBreak = false;
        if (wrap && items > 0 && !word.blank &&
            (word.kind == 2 || (word.width > room && (word.kind == 1 || word.kind == 3)))) {
            // It does not fit the rest of this line: measured again on a fresh one.
            cursor = wordStart;
            endLine(wordStart);
            continue;
        }
        if (word.object && word.object->IsFloating()) {
            if (items > 0) {
                // A floating object starts a line of its own: the lines after it go beside it.
                cursor = wordStart;
                endLine(wordStart);
                continue;
            }
            floating = true;
            floatRight = x + word.width;
            floatBottom = top + word.height;
            x += word.width;
            ++items;
            continue;
        }
        height = std::max(height, word.height);
        x += word.width;
        count += word.count;
        ++items;
        if (word.kind == 2 || word.kind == 3) {
            endedByBreak = word.kind == 3;
            endLine(cursor);
        }
    }
}

IntPair TextLayout::Extent() const {
    IntPair extent(0, 0);
    for (const TextLine& line : lines) extent.x = std::max(extent.x, line.right);
    if (!lines.empty()) extent.y = lines.back().bottom;
    return extent;
}

// ---- placing ------------------------------------------------------------------------

i32 TextLayout::Place(IntPair origin, const IntRect& clipRect, IntPair scroll, const Selection& selection) {
    drawn.clear();
    glyphs.clear();
    objects.clear();
    clip = clipRect;
    const i32 dx = origin.x - scroll.x;
    const i32 dy = origin.y - scroll.y;

    // Lines lie in order of their bottoms: the first that reaches below the clip's top.
    auto firstLine = std::partition_point(lines.begin(), lines.end(), [&](const TextLine& l) {
        return static_cast<i64>(l.bottom) + dy <= clip.top;
    });
    for (auto it = firstLine; it != lines.end(); ++it) {
        const TextLine& line = *it;
        const i64 lineTop = static_cast<i64>(line.bottom) - line.height + dy;
        if (lineTop >= clip.bottom) break;  // this one and every later one lie below
        const i32 bottom = line.bottom + dy;
        const i32 index = static_cast<i32>(it - lines.begin());
        const TextCursor* end = index + 1 < static_cast<i32>(lines.size()) ? &lines[index + 1].key : nullptr;

        DrawnLine record;
        record.line = index;
        record.firstGlyph = static_cast<i32>(glyphs.size());
        i32 x = line.left + dx;
        i32 position = line.firstPos;
        TextCursor at = line.key;
        while (Settle(at) && !(end && SameCursor(at, *end))) {
            TextElement* element = at.element;
            const TextStyle& style = element->GetStyle();
            if (!element->IsRun()) {
                const IntPair size = ObjectSize(element);
                PlacedObject placed;
                placed.element = element;
                const i32 y = element->IsFloating() ? bottom - line.height : bottom - size.y;
                placed.origin = IntPair(x - origin.x, y - origin.y);
                objects.push_back(placed);
                x += size.x + style.charSpacing;
                at.index = 1;
                continue;
            }
            const char16_t ch = element->GetText().data[at.index];
            const CharSize size = SizeOf(element, at.index);
            if (size.charset && x < clip.right && x + size.size.x > clip.left) {
                GlyphRecord glyph;
                glyph.rect = IntRect(x, bottom - size.size.y, x + size.size.x, bottom);
                glyph.advance = size.advance;
                glyph.position = position;
                glyph.ch = ch;
                glyph.charset = size.charset;
                const bool selected = position >= selection.start && position < selection.end;
                glyph.color = selected ? selection.textColor : style.color.ToPacked();
                glyph.background = selected ? selection.backColor : style.background.ToPacked();
                glyphs.push_back(glyph);
            }
            x += size.advance;
            ++position;
            ++at.index;
        }
        record.glyphCount = static_cast<i32>(glyphs.size()) - record.firstGlyph;
        drawn.push_back(record);
    }
    return static_cast<i32>(drawn.size());
}

// ---- quads --------------------------------------------------------------------------

bool TextLayout::GlyphQuad(const GlyphRecord& glyph, const IntRect& clipRect, f32 depth, GlyphVertex out[6]) {
    const Box box{static_cast<f32>(glyph.rect.left), static_cast<f32>(glyph.rect.top),
                  static_cast<f32>(glyph.rect.right), static_cast<f32>(glyph.rect.bottom)};
    Box cut;
    const bool inside = Cut(box, clipRect, cut);
    if (!inside) cut = Box{box.left, box.top, box.left, box.top};
    CharRect uv = glyph.charset ? glyph.charset->GetCharTexCoords(glyph.ch, 0.0f, 0.0f, 0.0f, 0.0f) : CharRect();
    // The texture is cut by the share of the glyph the clip took from each side.
    const f32 w = box.right - box.left;
    const f32 h = box.bottom - box.top;
    if (inside && w > 0.0f) {
        const f32 du = uv.right - uv.left;
        const f32 left = uv.left + du * (cut.left - box.left) / w;
        uv.right = uv.left + du * (cut.right - box.left) / w;
        uv.left = left;
    }
    if (inside && h > 0.0f) {
        const f32 dv = uv.bottom - uv.top;
        const f32 top = uv.top + dv * (cut.top - box.top) / h;
        uv.bottom = uv.top + dv * (cut.bottom - box.top) / h;
        uv.top = top;
    }
    for (int i = 0; i < 6; ++i) {
        const int corner = kQuadCorners[i];
        Corner(cut, corner, depth, glyph.color, out[i]);
        out[i].u = (corner == 1 || corner == 2) ? uv.right : uv.left;
        out[i].v = corner >= 2 ? uv.bottom : uv.top;
    }
    return inside;
}

bool TextLayout::ShadeQuad(const GlyphRecord& glyph, const IntRect& clipRect, f32 depth, ShadeVertex out[6]) {
    const Box box{static_cast<f32>(glyph.rect.left), static_cast<f32>(glyph.rect.top),
                  static_cast<f32>(glyph.rect.left) + static_cast<f32>(glyph.advance),
                  static_cast<f32>(glyph.rect.bottom)};
    Box cut;
    const bool inside = Cut(box, clipRect, cut);
    if (!inside) cut = Box{box.left, box.top, box.left, box.top};
    for (int i = 0; i < 6; ++i) Corner(cut, kQuadCorners[i], depth, glyph.background, out[i]);
    return inside;
}
