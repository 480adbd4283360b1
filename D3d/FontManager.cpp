// Font loading and charset choice (see FontManager.h). The manager itself is defined in
// D3d/TextureManager.cpp, beside the texture manager it must not outlive.
#include "D3d/FontManager.h"

#include "Core/Log.h"
#include "Core/TextDataTree.h"
#include "Core/TextNode.h"
#include "D3d/Charset.h"
#include "D3d/TextureManager.h"

#include <new>

namespace {

void DeleteEntry(FontManager::Entry* entry) {
    if (!entry) return;
    for (Charset* charset : entry->charsets) delete charset;
    delete entry;
}

// Whether an entry draws the style as it asks: same bold and italic, same font name.
bool SameLook(const TextStyle& a, const TextStyle& b) {
    const u32 look = TextStyle::kBold | TextStyle::kItalic;
    return (a.flags & look) == (b.flags & look) && a.fontName == b.fontName;
}

}  // namespace

FontManager::~FontManager() { Clear(); }

void FontManager::Clear() {
    const EntryMap::Node* node = entries.first;
    for (u32 i = 0; i < entries.count; ++i, node = node->next) DeleteEntry(node->value);
    entries.Clear();
}

bool FontManager::LoadFont(const patht& path, uint32_t flags) {
    TextDataTree document;
    patht found;
    if (!Charset::ReadDocument(path, document, found)) return false;
    return LoadFontFromTree(document, found.WithFolder(), flags);
}

bool FontManager::LoadFontFromTree(const TextDataTree& document, const patht& folder, uint32_t) {
    const TextNode* styles = document.GetChild("Styles");
    if (!styles) return true;
    const TextDataTree::Entry* item = styles->first;
    for (u32 i = 0; i < styles->count; ++i, item = item->next) {
        const TextNode* node = item->value;
        if (!node) continue;
        Entry* entry = new (std::nothrow) Entry;
        if (!entry) return false;
        if (const TextNode* size = node->GetChild("Size")) entry->style.size = size->GetInt();
        if (TextNode::IntOf(node->GetChild("Bold")) > 0) entry->style.flags |= TextStyle::kBold;
        if (TextNode::IntOf(node->GetChild("Italic")) > 0) entry->style.flags |= TextStyle::kItalic;
        entry->style.fontName = TextNode::StringOf(node->GetChild("FontName"));

        if (const TextNode* names = node->GetChild("Charsets")) {
            const TextDataTree::Entry* file = names->first;
            for (u32 j = 0; j < names->count; ++j, file = file->next) {
                const String name = String::FromWString(TextNode::StringOf(file->value));
                Charset* charset = new (std::nothrow) Charset;
                if (!charset || !charset->Load(Charset::Beside(folder, name)) || !entry->charsets.Add(charset)) {
                    DebugLog(String("Error: Charset '") + name + "' loading failed\n", String());
                    delete charset;
                }
            }
        }
        // A style of a size already loaded takes its place; the charsets it had go.
        DeleteEntry(entries.Get(entry->style.size));
        if (!entries.Insert(entry->style.size, entry)) {
            entries.Remove(entry->style.size);
            DeleteEntry(entry);
            return false;
        }
    }
    return true;
}

FontManager::Entry* FontManager::FindEntry(const TextStyle& style) {
    EntryMap::Node* floor = nullptr;
    EntryMap::Node* ceiling = nullptr;
    entries.EqualRange(style.size, floor, ceiling);
    if (floor && floor->key == style.size && SameLook(floor->value->style, style)) return floor->value;
    if (ceiling) return ceiling->value;
    return floor ? floor->value : nullptr;
}

Charset* FontManager::FindCharset(uint16_t ch, const TextStyle& style) {
    Entry* entry = FindEntry(style);
    if (!entry) return nullptr;
    for (Charset* charset : entry->charsets)
        if (charset->Covers(ch)) return charset;
    return nullptr;
}

Charset* FontManager::GetDefaultCharset() {
    Entry* entry = FindEntry(TextStyle());
    return entry && entry->charsets.count ? entry->charsets[0] : nullptr;
}
