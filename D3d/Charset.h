// One character set of a bitmap font: a texture and, for each UTF-16 unit from the start
// character to the end character, the width of its glyph and the rectangle it occupies in
// the texture (as texture coordinates). It is read from a ".css" data-description text:
// the cells of a regular grid give every character a rectangle, "Sizes" gives widths and
// "Rects" places single characters anywhere in the texture.
//
// The tables are indexed by character minus start character. They grow on demand up to
// the 16-bit character range and never further; a character below the start character
// or beyond that range has no glyph (zero width and rectangle).
#pragma once

#include <stdint.h>
#include <windows.h>

// The system headers name a text function GetCharWidth and map the name to its narrow or
// wide form with a macro; the accessor below keeps its own name. Their include guards keep
// the macro from coming back once it is gone.
#ifdef GetCharWidth
#undef GetCharWidth
#endif

#include "Core/Array.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"

class MemFile;
class Texture;
class TextDataTree;

// A glyph's place in the texture: left, top, right and bottom as coordinates from 0 to 1.
struct CharRect {
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
    bool operator==(const CharRect&) const = default;
};

class Charset {
public:
    Charset() = default;
    Charset(const Charset&) = delete;
    Charset& operator=(const Charset&) = delete;
    // Gives the texture back to the texture manager.
    ~Charset();

    // Reads the charset file at path (found through the font and texture search paths)
    // and loads its texture from the file's folder. False, with the charset left empty,
    // when the file cannot be read or its values do not make a charset.
    bool Load(const patht& path);
    // The same from a parsed document; texture names are taken relative to folder.
    bool LoadFromTree(const TextDataTree& document, const patht& folder);
    // A file named relative to a folder, in the places the folder names; a folder without
    // a place (a document read from memory) leaves the name to the search paths.
    static patht Beside(const patht& folder, const String& name);
    // Finds a font or charset file through the texture manager's search paths (disk and
    // mounted archives) and parses it into document; found becomes the place it was read
    // from. False when it is nowhere or is not a data-description text.
    static bool ReadDocument(const patht& path, TextDataTree& document, patht& found);
    // Back to the empty charset: no texture, empty tables, the default cell.
    void Clear();

    int32_t GetStartChar() const { return startChar; }
    int32_t GetEndChar() const { return endChar; }
    // Whether ch lies between the start and end characters, both included.
    bool Covers(uint16_t ch) const { return ch >= startChar && ch <= endChar; }

    // (width, character height) of ch; the width is 0 for a character without a glyph.
    IntPair GetCharSize(uint16_t ch);
    // The rectangle of ch; all zero without a texture.
    CharRect GetCharRect(uint16_t ch);
    // The rectangle of ch with each edge moved inwards by the given texels; all zero
    // without a texture or when the texture has no size.
    CharRect GetCharTexCoords(uint16_t ch, float insetLeft, float insetTop, float insetRight,
                              float insetBottom);

    // How many characters, from the start character on, the tables hold now.
    int32_t GetTableSize() const { return widths.count; }

    Texture* GetTexture() const { return texture; }
    int32_t GetCharWidth() const { return charWidth; }
    int32_t GetCharHeight() const { return charHeight; }

private:
    // The table slot of ch, growing the tables to it; -1 when ch has no glyph.
    int32_t SlotOf(uint16_t ch);
    bool GrowTables(int32_t slots);

    int32_t startChar = 0;
    int32_t endChar = 256;
    uint32_t reserved = 0;
    Texture* texture = nullptr;
    Array<uint8_t> widths{0, 10};
    Array<CharRect> rects{0, 10};
    int32_t charWidth = 14;
    int32_t charHeight = 14;
};
