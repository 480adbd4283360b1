// Charset loading and glyph lookup (see Charset.h). Rectangles are kept as texture
// coordinates, worked out once at load; a texture without a size gives every glyph a zero
// rectangle rather than a division by zero.
#include "D3d/Charset.h"

#include <d3d9.h>

#include "Core/Log.h"
#include "Core/MemFile.h"
#include "Core/Stream.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "D3d/DeviceEnumeration.h"
#include "D3d/Texture.h"
#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"

namespace {

// The highest UTF-16 unit: no table slot lies beyond it.
constexpr i32 kLastChar = 0xFFFF;

// The integer a key holds, or fallback when the key is absent.
i32 IntOr(const TextDataTree& tree, const char* key, i32 fallback) {
    const TextNode* node = tree.GetChild(key);
    return node ? node->GetInt() : fallback;
}

// The key colour: one number used as it stands, or components that make an opaque colour.
u32 ColorKeyOf(const TextNode* node) {
    if (!node) return 0;
    if (node->ChildCount() == 0) {
        const double v = node->GetReal();
        if (v >= 0.0 && v <= 4294967295.0) return static_cast<u32>(v);
        if (v < 0.0 && v >= -2147483648.0) return static_cast<u32>(static_cast<i32>(v));
        return 0;
    }
    auto component = [node](const char* index, const char* letter) -> u32 {
        const TextNode* part = node->GetChild(index);
        if (!part) part = node->GetChild(letter);
        return static_cast<u32>(TextNode::IntOf(part)) & 0xFF;
    };
    return 0xFF000000u + component("0", "r") * 65536u + component("1", "g") * 256u + component("2", "b");
}

}  // namespace

patht Charset::Beside(const patht& folder, const String& name) {
    if (folder.flags == 0) return patht(name);
    patht path = folder;
    path.name = folder.name.IsEmpty() ? name : folder.name + "/" + name;
    return path;
}

Charset::~Charset() { Clear(); }

void Charset::Clear() {
    if (texture) TheTextureManager().Release(texture);
    texture = nullptr;
    startChar = 0;
    endChar = 256;
    widths.Clear();
    rects.Clear();
    charWidth = 14;
    charHeight = 14;
}

bool Charset::ReadDocument(const patht& path, TextDataTree& document, patht& found) {
    found = path;
    // A named file is looked for in the mounted archives as well as on disk.
    if (found.flags & kPathDisk) found.flags |= kPathArchive;
    if (!TheTextureManager().SearchPaths().Resolve(found)) return false;
    Stream* stream = found.Open(kStreamRead);
    if (!stream) return false;
    const bool parsed = TextData::Load(*stream, document, nullptr, kTextCodePage);
    delete stream;
    return parsed;
}

bool Charset::Load(const patht& path) {
    Clear();
    TextDataTree document;
    patht found;
    if (!ReadDocument(path, document, found)) return false;
    return LoadFromTree(document, found.WithFolder());
}

bool Charset::LoadFromTree(const TextDataTree& document, const patht& folder) {
    Clear();
    const TextNode* formatNode = document.GetChild("Format");
    const D3DFORMAT format = formatNode ? FormatFromName(String::FromWString(formatNode->value)) : D3DFMT_A8R8G8B8;
    const String name = String::FromWString(TextNode::StringOf(document.GetChild("Name")));
    const i32 perLine = IntOr(document, "CharsPerLine", 0);
    charWidth = IntOr(document, "CharWidth", charWidth);
    charHeight = IntOr(document, "CharHeight", charHeight);
    startChar = IntOr(document, "StartChar", startChar);
    endChar = IntOr(document, "EndChar", endChar);
    // Without cells per row there is no grid to place characters on (and the row of a
    // character would be a division by zero).
    // A range outside the UTF-16 units would make tables no character can reach.
    if (perLine <= 0 || startChar > endChar || startChar < 0 || endChar > kLastChar) {
        Clear();
        return false;
    }
    const u32 colorKey = ColorKeyOf(document.GetChild("ColorKey"));
    const i32 count = endChar - startChar + 1;
    if (!GrowTables(count)) {
        Clear();
        return false;
    }
    if (const TextNode* sizes = document.GetChild("Sizes")) {
        const TextDataTree::Entry* entry = sizes->first;
        for (u32 i = 0; i < sizes->count; ++i, entry = entry->next) {
            i32 index = 0;
            if (!entry->key.ToInt(&index) || index < 0 || index > kLastChar - startChar) continue;
            if (!GrowTables(index + 1)) continue;
            widths[index] = static_cast<u8>(TextNode::IntOf(entry->value));
        }
    }

    if (!name.IsEmpty()) {
        TextureDesc desc;
        desc.path = Beside(folder, name);
        desc.format = format;
        desc.colorKey = colorKey;
        desc.flags = TEXDESC_FORMAT | TEXDESC_COLORKEY;
        texture = TheTextureManager().Load(desc, nullptr);
        if (!texture) {
            DebugLog(String("Error: font texture loading failed\n"), String());
            Clear();
            return false;
        }
    }

    const IntPair size = texture ? texture->GetSize() : IntPair();
    const bool sized = size.x > 0 && size.y > 0;
    double originX = 0.0, originY = 0.0;
    if (texture && texture->GetParentTexture()) {
        const IntRect own = texture->GetRect();
        originX = own.left;
        originY = own.top;
    }
    auto toCoords = [&](double left, double top, double right, double bottom) {
        CharRect r;
        if (!sized) return r;
        r.left = static_cast<float>(left / size.x);
        r.top = static_cast<float>(top / size.y);
        r.right = static_cast<float>(right / size.x);
        r.bottom = static_cast<float>(bottom / size.y);
        return r;
    };
    for (i32 k = 0; k < count; ++k) {
        const double left = static_cast<double>(k % perLine) * charWidth + originX;
        const double top = static_cast<double>(k / perLine) * charHeight + originY;
        rects[k] = toCoords(left, top, left + widths[k], top + charHeight);
    }

    if (const TextNode* placed = document.GetChild("Rects")) {
        const TextDataTree::Entry* entry = placed->first;
        for (u32 i = 0; i < placed->count; ++i, entry = entry->next) {
            // The key names one character; anything longer or empty names none.
            if (entry->key.length != 1) continue;
            const i32 slot = SlotOf(entry->key.UnitAt(0));
            if (slot < 0) continue;
            const TextNode* r = entry->value;
            if (!r) continue;
            const i32 left = TextNode::IntOf(r->GetChild("0"));
            const i32 top = TextNode::IntOf(r->GetChild("1"));
            const i32 right = TextNode::IntOf(r->GetChild("2"));
            const i32 bottom = TextNode::IntOf(r->GetChild("3"));
            widths[slot] = static_cast<u8>(static_cast<u32>(right) - static_cast<u32>(left));
            rects[slot] = toCoords(left, top, right, bottom);
        }
    }
    return true;
}

bool Charset::GrowTables(i32 slots) {
    const i32 had = widths.count;
    if (slots <= had) return true;
    if (slots > kLastChar + 1 - startChar) return false;
    if (!widths.Resize(slots) || !rects.Resize(slots)) {
        widths.Resize(had);
        rects.Resize(had);
        return false;
    }
    // A character that neither "Sizes" nor "Rects" names is as wide as a cell, or as near
    // to it as a byte comes (a wider cell would otherwise wrap round to a narrow glyph).
    const u8 cellWidth = static_cast<u8>(charWidth < 0 ? 0 : (charWidth > 255 ? 255 : charWidth));
    for (i32 i = had; i < slots; ++i) {
        widths[i] = cellWidth;
        rects[i] = CharRect();
    }
    return true;
}

i32 Charset::SlotOf(uint16_t ch) {
    const i32 slot = static_cast<i32>(ch) - startChar;
    if (slot < 0) return -1;
    return GrowTables(slot + 1) ? slot : -1;
}

IntPair Charset::GetCharSize(uint16_t ch) {
    const i32 slot = SlotOf(ch);
    if (slot < 0) return IntPair(0, 0);
    return IntPair(widths[slot], charHeight);
}

CharRect Charset::GetCharRect(uint16_t ch) {
    if (!texture) return CharRect();
    const i32 slot = SlotOf(ch);
    return slot < 0 ? CharRect() : rects[slot];
}

CharRect Charset::GetCharTexCoords(uint16_t ch, float insetLeft, float insetTop, float insetRight,
                                   float insetBottom) {
    if (!texture) return CharRect();
    const IntPair size = texture->GetSize();
    if (size.x <= 0 || size.y <= 0) return CharRect();
    const i32 slot = SlotOf(ch);
    if (slot < 0) return CharRect();
    CharRect r = rects[slot];
    r.left += insetLeft / static_cast<float>(size.x);
    r.right -= insetRight / static_cast<float>(size.x);
    r.top += insetTop / static_cast<float>(size.y);
    r.bottom -= insetBottom / static_cast<float>(size.y);
    return r;
}
