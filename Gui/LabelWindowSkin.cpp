// The skin reader of the label window. Every tile is made before any is configured, so
// that an anchor can name a tile that comes later in the text; a name that is no tile
// leaves the anchor unset and the tile keeps its own rectangle on that side. The reader
// takes what it finds and skips what has the wrong shape: a skin never fails to load.
#include "Core/TextNode.h"
#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"
#include "Gui/AnchorRules.h"
#include "Gui/ImageWindow.h"
#include "Gui/LabelWindow.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The part of the texture a "texrect" names: x1 and y1, then w or else x2, then h or else
// y2; either key of a pair fills the same field, so both forms give one rectangle.
IntRect ReadTexRect(const TextNode* node) {
    const TextNode* third = node->GetChild("w");
    if (!third) third = node->GetChild("x2");
    const TextNode* fourth = node->GetChild("h");
    if (!fourth) fourth = node->GetChild("y2");
    return IntRect(TextNode::IntOf(node->GetChild("x1")), TextNode::IntOf(node->GetChild("y1")), TextNode::IntOf(third),
                   TextNode::IntOf(fourth));
}

// The texture name: the text up to the first ":".
String TextureName(const WString& text) {
    const String narrow = String::FromWString(text);
    const int colon = narrow.Find(String(":"), false);
    if (colon < 0) return narrow;
    // Substring's last index is inclusive, and -1 there would mean the whole text.
    return colon == 0 ? String() : narrow.Substring(0, colon - 1);
}

// A boolean: a number (not 0 is true) or the word "true" in any case.
bool ReadFlag(const TextNode* node) {
    if (!node) return false;
    if (TextNode::IntOf(node) != 0) return true;
    return String::EqualsText(ToLower(String::FromWString(node->value)), "true");
}

}  // namespace

bool LabelWindow::ParseSkin(const TextNode* node) {
    if (!node) return false;
    if (const TextNode* tiles = node->GetChild("Tiles")) {
        // The tiles this skin makes, in the order of the text.
        std::vector<std::pair<ImageWindow*, const TextNode*>> made;
        auto lookup = [&](const String& name) -> ImageWindow* {
            for (const auto& m : made)
                if (String::Equals(m.first->GetName(), name)) return m.first;
            return FindTile(name);
        };
        const TextDataTree::Entry* entry = tiles->first;
        for (u32 i = 0; i < tiles->count && entry; ++i, entry = entry->next) {
            const String name = String::FromWString(entry->key);
            // A second member of a name already taken would make a tile nobody owns.
            if (!entry->value || lookup(name)) continue;
            auto* tile = new ImageWindow();
            tile->SetName(name);
            // In the tree before its anchors are set: joining hides a parentless window,
            // which clears its anchors.
            AddChild(tile, false);
            made.emplace_back(tile, entry->value);
        }
        for (const auto& [tile, config] : made) {
            if (const TextNode* texture = config->GetChild("texture")) {
                const String textureName = TextureName(texture->value);
                if (!textureName.IsEmpty()) {
                    TextureDesc desc;
                    desc.path = patht(textureName);
                    if (const TextNode* rect = config->GetChild("texrect")) {
                        desc.partRect = ReadTexRect(rect);
                        desc.flags |= TEXDESC_PART_RECT;
                    }
                    Texture* loaded = TheTextureManager().Load(desc, nullptr);
                    HoldTexture(loaded);
                    tile->SetImage(loaded);
                    tile->SetImageNames(textureName, String::FromWString(texture->value));
                }
            }
            tile->SetTiled(ReadFlag(config->GetChild("tiledx")), ReadFlag(config->GetChild("tiledy")));
            AnchorRules rules;
            rules.width = AnchorRules::ReadRule(config->GetChild("width"), rules.width);
            rules.height = AnchorRules::ReadRule(config->GetChild("height"), rules.height);
            if (const TextNode* anchors = config->GetChild("anchors")) {
                const TextDataTree::Entry* a = anchors->first;
                for (u32 j = 0; j < anchors->count && a; ++j, a = a->next) {
                    const i32 kind = AnchorRules::FindKind(a->key);
                    if (kind < 0 || !a->value) continue;
                    const String target = String::FromWString(TextNode::StringOf(a->value->GetChild("tile")));
                    if (String::EqualsText(target, "PARENT"))
                        rules.targets[kind] = this;
                    else if (ImageWindow* other = lookup(target); other && other != tile)
                        rules.targets[kind] = other;
                    // An edge is one of X1, Y1, X2, Y2; a W or H name means the edge of
                    // the same place (W1 the left, H2 the bottom).
                    if (const TextNode* align = a->value->GetChild("align"))
                        rules.sides[kind] = AnchorRules::KindOf(align->value) % 4;
                    rules.offsets[kind] = AnchorRules::ReadRule(a->value->GetChild("offset"), LayoutRule{});
                }
            }
            rules.ApplyTo(*tile);
            if (!AddTile(tile, String())) {
                RemoveChild(tile);
                delete tile;
            }
        }
        for (const auto& m : made)
            if (FindTile(m.first->GetName()) == m.first) m.first->Relayout(true, true);
    }
    if (const TextNode* states = node->GetChild("States")) {
        const TextDataTree::Entry* entry = states->first;
        for (u32 i = 0; i < states->count && entry; ++i, entry = entry->next) {
            const String stateName = String::FromWString(entry->key);
            GetOrCreateState(stateName);
            const TextNode* list = entry->value ? entry->value->GetChild("tiles") : nullptr;
            if (!list) continue;
            // A list of names, or a single name.
            if (list->ChildCount() == 0) {
                if (!list->value.IsEmpty()) AddToState(stateName, String::FromWString(list->value));
                continue;
            }
            const TextDataTree::Entry* item = list->first;
            for (u32 j = 0; j < list->count && item; ++j, item = item->next)
                if (item->value && !item->value->value.IsEmpty())
                    AddToState(stateName, String::FromWString(item->value->value));
        }
    }
    // The label window spans the layers its tiles sit in.
    i32 highest = 0;
    for (ImageWindow* tile : tiles_) {
        tile->Refresh();
        highest = std::max(highest, tile->ImageLayer());
    }
    if (highest + 1 > OwnLayers()) SetOwnLayers(highest + 1);
    return true;
}
