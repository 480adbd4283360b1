// The line layout of marked-up text: word wrap of a text element tree into line records,
// and the placing of the lines that meet a clip rectangle as glyph records, ready to be
// written as quads. It knows no windows: the rich-text window gives it a width, an origin,
// a clip and the size of inline objects, and turns its records into meshes.
//
// Wrapping walks the tree once, a word at a time (a run of non-blank characters, one
// blank, or one inline object); a word that does not fit the rest of a line goes to the
// next one, and a word wider than the whole width is split after its last character that
// fits (a character wider than the width still takes a line of its own). Text positions
// count the characters of the plain runs in document order, line breaks included, so a
// line's first and last positions name characters of the text.
//
// Placing is bounded by the clip: lines above it are found by a binary search over the
// line bottoms, and the walk stops at the first line below it, so a long document costs
// only its visible lines.
#pragma once

#include <vector>

#include "Core/FColor.h"
#include "Core/IntRect.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "D3d/Charset.h"
#include "D3d/TextElement.h"

// The pixel size of one blank in the charset that draws it in the element's style; with no
// element, the default charset's cell. (0, 0) when no font is loaded.
IntPair MeasureText(const TextElement* element);

// One laid-out line: its first character (the key), where it sits and which text positions
// it holds (-1, -1 for a line without characters).
struct TextLine {
    TextCursor key;
    i32 bottom = 0;
    i32 height = 0;
    i32 left = 0;
    i32 right = 0;
    i32 firstPos = -1;
    i32 lastPos = -1;
};

// A placed glyph. The rectangle is in screen pixels (corners), not yet clipped; the advance
// runs from its left edge to the next glyph's, spacing included.
struct GlyphRecord {
    IntRect rect;
    i32 advance = 0;
    i32 position = 0;
    u16 ch = 0;
    Charset* charset = nullptr;
    u32 color = 0;
    u32 background = 0;
};

// A line the last placing drew: its index and its glyphs' range in the glyph list.
struct DrawnLine {
    i32 line = 0;
    i32 firstGlyph = 0;
    i32 glyphCount = 0;
};

// An inline object placed by the last placing, relative to the window (scroll applied).
struct PlacedObject {
    TextElement* element = nullptr;
    IntPair origin;
};

// The pre-transformed, lit and textured vertex of a glyph quad (x, y, z, rhw, colour, u, v).
struct GlyphVertex {
    f32 x, y, z, rhw;
    u32 color;
    f32 u, v;
};
// The pre-transformed, lit vertex of a background quad.
struct ShadeVertex {
    f32 x, y, z, rhw;
    u32 color;
};
static_assert(sizeof(GlyphVertex) == 28, "the glyph vertex is the device's 28-byte layout");
static_assert(sizeof(ShadeVertex) == 20, "the shade vertex is the device's 20-byte layout");

class TextLayout {
public:
    // The size of the window an element with an attached object shows.
    using ObjectSizeFn = IntPair (*)(const TextElement* element, void* context);

    // Selection colours and range handed to Place.
    struct Selection {
        i32 start = -1;
        i32 end = -1;
        u32 textColor = 0;
        u32 backColor = 0;
    };

    void SetObjectSize(ObjectSizeFn fn, void* context) {
        objectSize = fn;
        objectContext = context;
    }

    // Drops every line, glyph and placed object.
    void Clear();

    // Breaks the tree under root into lines of at most width pixels (with wrap) or at line
    // breaks only (without). Without a root there are no lines.
    void Wrap(TextElement* root, i32 width, bool wrap);

    // Lays out the lines that meet clip (screen corners). origin is the screen point of
    // the window's top left, scroll the text offset. Returns the number of lines drawn.
    i32 Place(IntPair origin, const IntRect& clip, IntPair scroll, const Selection& selection);

    // The size of the wrapped text: the widest line's right edge and the last line's
    // bottom; (0, 0) without lines.
    IntPair Extent() const;

    const std::vector<TextLine>& Lines() const { return lines; }
    const std::vector<DrawnLine>& Drawn() const { return drawn; }
    const std::vector<GlyphRecord>& Glyphs() const { return glyphs; }
    const std::vector<PlacedObject>& Objects() const { return objects; }
    const IntRect& Clip() const { return clip; }

    // The six vertices (two triangles) of a glyph and of its background, cut by clip, at
    // the given depths; pixel centres sit half a pixel in. A glyph cut by the clip gets its
    // texture coordinates cut by the same share. False when the glyph lies wholly outside:
    // the vertices then collapse to one point, so nothing is drawn.
    static bool GlyphQuad(const GlyphRecord& glyph, const IntRect& clip, f32 depth, GlyphVertex out[6]);
    static bool ShadeQuad(const GlyphRecord& glyph, const IntRect& clip, f32 depth, ShadeVertex out[6]);

    // A cursor moved to something a line can hold (a character of a run or an element with
    // an attached object not yet passed); false, with the cursor unchanged, at the end.
    static bool Settle(TextCursor& cursor);

private:
    struct Word;
    Word Measure(TextCursor& cursor, i32 room) const;
    IntPair ObjectSize(const TextElement* element) const;

    std::vector<TextLine> lines;
    std::vector<DrawnLine> drawn;
    std::vector<GlyphRecord> glyphs;
    std::vector<PlacedObject> objects;
    IntRect clip{0, 0, 0, 0};
    ObjectSizeFn objectSize = nullptr;
    void* objectContext = nullptr;
};
