// The program's bitmap fonts. A font structure file (".fs") lists styles, each a pixel
// size with bold, italic and a font name, and the charset files that draw it. The manager
// keeps one entry per size; asked for a character in a style it takes the entry that fits
// the style best and the first of its charsets that covers the character.
//
// Font files are found through the texture manager's search paths, so fonts sit beside
// the media they belong to.
#pragma once

#include <stdint.h>

#include "Core/Array.h"
#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "D3d/TextStyle.h"

class Charset;
class TextDataTree;

class FontManager {
public:
    // A loaded style and its charsets, in the order the font file lists them (owned).
    struct Entry {
        TextStyle style;
        Array<Charset*> charsets{0, 4};
    };

    FontManager() = default;
    FontManager(const FontManager&) = delete;
    FontManager& operator=(const FontManager&) = delete;
    ~FontManager();

    // Reads a font structure file and loads its charsets; true when the file was read.
    // A style of a size already loaded replaces the one before it.
    bool LoadFont(const patht& path, uint32_t flags);
    // The same from a parsed document; charset names are relative to folder.
    bool LoadFontFromTree(const TextDataTree& document, const patht& folder, uint32_t flags);

    // The charset that draws ch in style: null when no font is loaded or no charset of
    // the chosen entry covers ch.
    Charset* FindCharset(uint16_t ch, const TextStyle& style);
    // The first charset of the default style; null when no font is loaded.
    Charset* GetDefaultCharset();
    // The entry chosen for a style; null when no font is loaded.
    Entry* FindEntry(const TextStyle& style);

    uint32_t EntryCount() const { return entries.count; }
    // Deletes every style and charset (tests start from nothing with it).
    void Clear();

private:
    using EntryMap = OrderedMap<int32_t, Entry*, SignedOrder>;
    EntryMap entries;  // by size
};

// The program-wide font manager.
FontManager& TheFontManager();
