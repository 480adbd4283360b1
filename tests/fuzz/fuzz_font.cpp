// Fuzz target for the bitmap-font readers. The first byte chooses the reader (even: a
// charset file, odd: a font structure file); the rest is parsed as a data-description
// text. File names are taken out of the document first ("Name" of a charset, "Charsets"
// of every style), so that no input reaches for files or a device. The charset is then
// asked for every character around its range and the font manager for the style of
// every size it holds; the invariants below hold for any input.
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "Core/WString.h"
#include "D3d/Charset.h"
#include "D3d/FontManager.h"

#include <cstddef>
#include <cstdint>

namespace {

void Drop(TextDataTree& tree, const char* key) {
    if (TextDataTree::Entry* entry = tree.FindChild(key)) {
        const WString name = entry->key;
        TextNode* node = tree.Erase(name);
        TextDataTree::DeleteTree(node);
    }
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void ReadCharset(const TextDataTree& document) {
    Charset charset;
    if (!charset.LoadFromTree(document, patht())) {
        Check(charset.GetTableSize() == 0 && charset.GetTexture() == nullptr);
        return;
    }
    const int32_t start = charset.GetStartChar(), end = charset.GetEndChar();
    Check(start >= 0 && start <= end && end <= 0xFFFF);
    Check(charset.GetTableSize() <= 0x10000 - start);
    const int32_t probes[] = {0, start - 1, start, start + 1, end - 1, end, end + 1, 0x7F, 0xFF, 0xFFFF};
    for (int32_t ch : probes) {
        if (ch < 0 || ch > 0xFFFF) continue;
        const uint16_t unit = static_cast<uint16_t>(ch);
        const IntPair size = charset.GetCharSize(unit);
        const CharRect rect = charset.GetCharRect(unit);
        Check(rect == CharRect());  // no texture, no rectangle
        Check(charset.GetCharTexCoords(unit, 1, 2, 3, 4) == CharRect());
        if (ch < start) Check(size.x == 0 && size.y == 0);
        Check(charset.Covers(unit) == (ch >= start && ch <= end));
        Check(charset.GetTableSize() <= 0x10000 - start);
    }
}

void ReadFont(TextDataTree& document) {
    if (TextNode* styles = document.GetChild("Styles")) {
        TextDataTree::Entry* entry = styles->first;
        for (u32 i = 0; i < styles->count; ++i, entry = entry->next)
            if (entry->value) Drop(*entry->value, "Charsets");
    }
    FontManager fonts;
    Check(fonts.LoadFontFromTree(document, patht(), 0));
    const int32_t sizes[] = {INT32_MIN, -1, 0, 14, 64, INT32_MAX};
    for (int32_t size : sizes) {
        TextStyle style;
        style.size = size;
        FontManager::Entry* entry = fonts.FindEntry(style);
        Check((entry == nullptr) == (fonts.EntryCount() == 0));
        Check(fonts.FindCharset('A', style) == nullptr);  // no charset was loaded
    }
    Check(fonts.GetDefaultCharset() == nullptr);
    fonts.Clear();
    Check(fonts.EntryCount() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    WString text;
    text.Decode(data + 1, static_cast<u32>(size - 1), kTextCodePage);
    TextDataTree document;
    TextData::LoadText(text, document, nullptr, TextData::kStatementForm);
    if (data[0] & 1) {
        ReadFont(document);
    } else {
        Drop(document, "Name");
        ReadCharset(document);
    }
    return 0;
}
