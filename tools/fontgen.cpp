// fontgen: renders a TrueType face into the bitmap fonts the engine draws text with. For
// each size (the height of a line of text, and of its cells, in pixels) it writes a texture
// atlas (a run-length coded 32-bit TGA: white texels whose alpha is the glyph's coverage,
// sides a power of two, as the device rounds texture sizes up to one) and a charset file
// that says where each character lies in it; a font structure file lists the styles.
//
//   fontgen <face.ttf> <out folder> <name> <first> <last> <size> [<size> ...] [--font-name N]
//
// With one size the files are <name>.fs, <name>.css and <name>.tga; with several, each size
// gets <name><size>.css and <name><size>.tga. Every character from first to last has a
// cell of the grid ("CharWidth" by "CharHeight" texels, "CharsPerLine" to a row, as wide
// as the widest glyph and a gap); a glyph sits at the left of its cell and "Sizes" gives
// its advance, so the grid alone places every glyph. The printable ones are named in
// "Rects" as well, with the same rectangles (so a reader of "Rects" alone finds them),
// except the few the charset text cannot name as a key. Control codes and units the face
// lacks have width 0.
//
// The output depends only on the face file, the arguments and the FreeType version: no
// time stamps, no file names from the command line inside the files.
#include "Platform/Image.h"
#include "Platform/ImageTga.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Texels between neighbouring cells, so that filtering at a glyph's edge does not reach the next.
constexpr int kGap = 1;
// The largest atlas side the tool makes (older devices refuse larger textures).
constexpr int kMaxSide = 2048;

struct Glyph {
    uint32_t code = 0;
    bool printable = false;
    int advance = 0;  // texels
    int left = 0, top = 0;  // where its box sits in the atlas
    // The rendered coverage and where it lies relative to the pen on the baseline.
    int bitmapLeft = 0, bitmapTop = 0, bitmapWidth = 0, bitmapRows = 0;
    std::vector<uint8_t> coverage;
};

struct Layout {
    int width = 0, height = 0;
    int charWidth = 0, charsPerLine = 0;
};

bool Printable(uint32_t code) { return code >= 32 && code != 127 && !(code >= 128 && code < 160); }

// The power-of-two atlas of least area (then the squarer one) whose grid of cells holds
// every character; the glyphs' places are set for it. False when nothing up to kMaxSide
// holds them.
bool Pack(std::vector<Glyph>& glyphs, int lineHeight, int charWidth, Layout* out) {
    bool found = false;
    Layout best;
    for (int w = 16; w <= kMaxSide; w *= 2) {
        for (int h = 16; h <= kMaxSide; h *= 2) {
            const long area = static_cast<long>(w) * h, bestArea = static_cast<long>(best.width) * best.height;
            if (found && (area > bestArea || (area == bestArea && std::abs(w - h) >= std::abs(best.width - best.height))))
                continue;
            const int perLine = w / charWidth;
            if (perLine < 1) continue;
            const long rows = (static_cast<long>(glyphs.size()) + perLine - 1) / perLine;
            if (rows * lineHeight > h) continue;
            found = true;
            best.width = w;
            best.height = h;
            best.charWidth = charWidth;
            best.charsPerLine = perLine;
        }
    }
    if (!found) return false;
    for (size_t k = 0; k < glyphs.size(); ++k) {
        glyphs[k].left = static_cast<int>(k % best.charsPerLine) * charWidth;
        glyphs[k].top = static_cast<int>(k / best.charsPerLine) * lineHeight;
    }
    *out = best;
    return true;
}

// Whether the charset text can name the character as a "Rects" key: a quote, a back
// slash, "=", "." and the brackets would be taken for the syntax around the key.
bool Keyable(uint32_t code) {
    return code != '"' && code != '\\' && code != '=' && code != '.' && code != '[' && code != ']';
}

// A character as a quoted key of the charset text.
std::string Key(uint32_t code) {
    std::string key = "\"";
    key += static_cast<char>(code);  // one byte: the charset file is read in the code page
    key += '"';
    return key;
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "fontgen: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

bool WriteText(const std::string& path, const std::string& text) { return WriteFile(path, text.data(), text.size()); }

// One style: renders the characters for the size and writes the atlas and charset.
bool MakeCharset(FT_Face face, int size, uint32_t first, uint32_t last, const std::string& folder,
                 const std::string& stem) {
    // A font of size N draws lines N pixels high (what text boxes are laid out for): the
    // face is rendered at the largest pixel size whose ascent and descent fit the line, and
    // the spare rows are shared above and below.
    int ascender = 0;
    int descender = 0;
    for (int pixels = size; pixels > 0; --pixels) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels))) break;
        ascender = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
        descender = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
        if (ascender + descender <= size) break;
        ascender = descender = 0;
    }
    if (ascender + descender <= 0) {
        fprintf(stderr, "fontgen: the face has no size %d\n", size);
        return false;
    }
    const int lineHeight = size;
    const int baseline = (size - ascender - descender) / 2 + ascender;

    std::vector<Glyph> glyphs;
    int widest = 0;
    for (uint32_t code = first; code <= last; ++code) {
        Glyph g;
        g.code = code;
        const FT_UInt index = FT_Get_Char_Index(face, code);
        g.printable = Printable(code) && (index != 0 || code == ' ');
        if (g.printable && FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0) {
            const FT_GlyphSlot slot = face->glyph;
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            g.bitmapLeft = slot->bitmap_left;
            g.bitmapTop = slot->bitmap_top;
            g.bitmapWidth = static_cast<int>(slot->bitmap.width);
            g.bitmapRows = static_cast<int>(slot->bitmap.rows);
            g.coverage.resize(static_cast<size_t>(g.bitmapWidth) * g.bitmapRows);
            for (int y = 0; y < g.bitmapRows; ++y)
                for (int x = 0; x < g.bitmapWidth; ++x)
                    g.coverage[static_cast<size_t>(y) * g.bitmapWidth + x] =
                        slot->bitmap.buffer[y * slot->bitmap.pitch + x];
            if (g.advance > 255) g.advance = 255;  // widths are kept in one byte
            if (g.advance > widest) widest = g.advance;
        } else {
            g.printable = false;
        }
        glyphs.push_back(std::move(g));
        if (code == 0xFFFF) break;
    }
    // The grid cell: the widest glyph and a gap.
    Layout layout;
    if (!Pack(glyphs, lineHeight, widest + kGap, &layout)) {
        fprintf(stderr, "fontgen: size %d does not fit an atlas of %d texels a side\n", size, kMaxSide);
        return false;
    }

    PlatformImage::Surface atlas;
    atlas.ResetArgb(static_cast<uint32_t>(layout.width), static_cast<uint32_t>(layout.height), 0x00FFFFFFu);
    for (const Glyph& g : glyphs) {
        if (!g.printable) continue;
        for (int y = 0; y < g.bitmapRows; ++y) {
            const int ay = g.top + baseline - g.bitmapTop + y;
            if (ay < g.top || ay >= g.top + lineHeight) continue;  // kept inside the box
            for (int x = 0; x < g.bitmapWidth; ++x) {
                const int ax = g.left + g.bitmapLeft + x;
                if (ax < g.left || ax >= g.left + g.advance) continue;
                const uint32_t a = g.coverage[static_cast<size_t>(y) * g.bitmapWidth + x];
                atlas.Argb()[static_cast<size_t>(ay) * layout.width + ax] = (a << 24) | 0x00FFFFFFu;
            }
        }
    }
    PlatformImage::TgaWriteOptions options;
    options.rle = true;
    options.topDown = true;
    std::vector<uint8_t> tga;
    std::string error;
    if (!PlatformImage::EncodeTga(atlas, options, &tga, &error)) {
        fprintf(stderr, "fontgen: %s\n", error.c_str());
        return false;
    }
    if (!WriteFile(folder + "/" + stem + ".tga", tga.data(), tga.size())) return false;

    std::string css;
    css += "// " + std::to_string(size) + " pixels, characters " + std::to_string(first) + " to " +
           std::to_string(last) + "; written by fontgen.\n";
    css += "Name = \"" + stem + ".tga\";\n";
    css += "Format = \"D3DFMT_A8R8G8B8\";\n";
    css += "CharWidth = " + std::to_string(layout.charWidth) + ";\n";
    css += "CharHeight = " + std::to_string(lineHeight) + ";\n";
    css += "CharsPerLine = " + std::to_string(layout.charsPerLine) + ";\n";
    css += "StartChar = " + std::to_string(first) + ";\n";
    css += "EndChar = " + std::to_string(last) + ";\n";
    css += "Sizes = array(";
    for (size_t i = 0; i < glyphs.size(); ++i) {
        if (i) css += (i % 32 == 0) ? ",\n    " : ", ";
        css += std::to_string(glyphs[i].printable ? glyphs[i].advance : 0);
    }
    css += ");\n";
    for (const Glyph& g : glyphs) {
        if (!g.printable || !Keyable(g.code)) continue;
        css += "Rects[" + Key(g.code) + "] = array(" + std::to_string(g.left) + ", " + std::to_string(g.top) + ", " +
               std::to_string(g.left + g.advance) + ", " + std::to_string(g.top + lineHeight) + ");\n";
    }
    return WriteText(folder + "/" + stem + ".css", css);
}

bool ParseNumber(const char* text, long low, long high, long* out) {
    char* end = nullptr;
    const long v = strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return false;
    *out = v;
    return true;
}

int Usage() {
    fprintf(stderr,
            "usage: fontgen <face.ttf> <out folder> <name> <first> <last> <size> [<size> ...] [--font-name NAME]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::string fontName;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--font-name" && i + 1 < argc)
            fontName = argv[++i];
        else
            args.push_back(arg);
    }
    if (args.size() < 6) return Usage();
    const std::string faceFile = args[0], folder = args[1], name = args[2];
    long first = 0, last = 0;
    // Characters are written into the charset text as single code-page bytes.
    if (!ParseNumber(args[3].c_str(), 0, 255, &first) || !ParseNumber(args[4].c_str(), first, 255, &last))
        return Usage();
    std::vector<int> sizes;
    for (size_t i = 5; i < args.size(); ++i) {
        long size = 0;
        if (!ParseNumber(args[i].c_str(), 4, 256, &size)) return Usage();
        sizes.push_back(static_cast<int>(size));
    }

    FT_Library library;
    if (FT_Init_FreeType(&library)) {
        fprintf(stderr, "fontgen: FreeType does not start\n");
        return 1;
    }
    FT_Face face;
    if (FT_New_Face(library, faceFile.c_str(), 0, &face)) {
        fprintf(stderr, "fontgen: cannot open the face %s\n", faceFile.c_str());
        FT_Done_FreeType(library);
        return 1;
    }
    if (fontName.empty() && face->family_name) fontName = face->family_name;

    bool ok = true;
    std::string fs = "// Written by fontgen.\nName = \"" + fontName + "\";\n";
    for (size_t i = 0; i < sizes.size() && ok; ++i) {
        const std::string stem = sizes.size() == 1 ? name : name + std::to_string(sizes[i]);
        ok = MakeCharset(face, sizes[i], static_cast<uint32_t>(first), static_cast<uint32_t>(last), folder, stem);
        const std::string style = "Styles[" + std::to_string(i) + "]";
        fs += style + ".Size = " + std::to_string(sizes[i]) + ";\n";
        fs += style + ".Bold = 0;\n" + style + ".Italic = 0;\n";
        fs += style + ".Charsets = array(\"" + stem + ".css\");\n";
    }
    if (ok) ok = WriteText(folder + "/" + name + ".fs", fs);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return ok ? 0 : 1;
}
