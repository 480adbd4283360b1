// Reading and applying a layout's size rules and anchors (see AnchorRules.h).
#include "Gui/AnchorRules.h"

#include "Core/TextNode.h"

i32 AnchorRules::FindKind(const WString& name) {
    static const char* const kNames[kAnchorCount] = {"X1", "Y1", "X2", "Y2", "W1", "H1", "W2", "H2"};
    const String narrow = String::FromWString(name);
    for (i32 kind = 0; kind < kAnchorCount; ++kind)
        if (String::EqualsText(narrow, kNames[kind])) return kind;
    return -1;
}

i32 AnchorRules::KindOf(const WString& name) {
    const i32 kind = FindKind(name);
    return kind < 0 ? kAnchorX1 : kind;
}

LayoutRule AnchorRules::ReadRule(const TextNode* node, LayoutRule missing) {
    if (!node) return missing;
    if (node->ChildCount() == 0) return {static_cast<f32>(node->GetInt()), 0.0f};
    return {static_cast<f32>(TextNode::IntOf(node->GetChild("b"))), static_cast<f32>(TextNode::RealOf(node->GetChild("k")))};
}

void AnchorRules::RemoveKey(TextNode* node, const char* key) {
    TextDataTree::Entry* entry = node->FindChild(key);
    if (!entry) return;
    const WString name = entry->key;
    TextDataTree::DeleteTree(node->Erase(name));
}

void AnchorRules::ApplyTo(ClientLayout& layout) const {
    layout.SetWidthSpec(width.b, width.k);
    layout.SetHeightSpec(height.b, height.k);
    for (i32 kind = kAnchorX1; kind <= kAnchorY2; ++kind)
        layout.SetAnchor(targets[kind], sides[kind], offsets[kind].b, offsets[kind].k, kind);
    // The offsets given for W2 and H2 are read but have no use.
    layout.SetWidthAnchors(targets[kAnchorW1], sides[kAnchorW1], targets[kAnchorW2], sides[kAnchorW2], offsets[kAnchorW1]);
    layout.SetHeightAnchors(targets[kAnchorH1], sides[kAnchorH1], targets[kAnchorH2], sides[kAnchorH2], offsets[kAnchorH1]);
}

void AnchorRules::Retarget(ClientLayout& layout, i32 kind, ClientLayout* target) {
    if (kind <= kAnchorY2) {
        const LayoutRule offset = layout.AnchorOffset(kind);
        layout.SetAnchor(target, layout.AnchorSide(kind), offset.b, offset.k, kind);
        return;
    }
    const bool width = kind == kAnchorW1 || kind == kAnchorW2;
    const i32 first = width ? kAnchorW1 : kAnchorH1;
    const i32 second = width ? kAnchorW2 : kAnchorH2;
    ClientLayout* t1 = kind == first ? target : layout.AnchorTarget(first);
    ClientLayout* t2 = kind == second ? target : layout.AnchorTarget(second);
    if (width)
        layout.SetWidthAnchors(t1, layout.AnchorSide(first), t2, layout.AnchorSide(second), layout.AnchorOffset(first));
    else
        layout.SetHeightAnchors(t1, layout.AnchorSide(first), t2, layout.AnchorSide(second), layout.AnchorOffset(first));
}
