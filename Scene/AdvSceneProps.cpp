// Node properties read from a model document. A node's "Props" block is copied into its
// property list, keys nearer the node winning over those of the enclosing nodes; the
// mesh and material readers instead look single keys up in the document, with the same
// inheritance. Keys compare without case. A node without its own "Props" block inherits
// nothing: its keys, if any, sit directly in its entry.
//
// The line shape of a "Shape" node is stored as properties too: the last complete line
// of its "Lines" array. A line whose points fall short of its count is skipped, never
// read past its data.
#include "Core/Memory.h"
#include "Core/Object.h"
#include "Core/TextCompare.h"
#include "Core/UdfNode.h"
#include "Scene/AdvScene.h"

#include <cstring>
#include <new>

namespace {

constexpr u32 kLinePointSize = 16;  // x, y, z and an unused fourth float
constexpr i32 kLineGrowStep = 10;

UdfNode* FindNoCase(UdfNode* block, const String& key) {
    if (!block) return nullptr;
    if (UdfNode* exact = block->FindChild(key)) return exact;
    UdfNode* found = nullptr;
    AdvScene::ForEachEntry(block, [&](UdfNode* child) {
        if (!found && StrCompareNoCase(child->GetName().c_str(), key.c_str()) == 0) found = child;
    });
    return found;
}

// The "Children" block of a node entry holds its child entries; it is no node itself.
bool IsChildContainer(const UdfNode* node) {
    const UdfNode* owner = node->GetParent();
    return owner && owner->FindChild("Children") == node;
}

// The nearest enclosing node entry with a "Props" block of its own, or null.
UdfNode* EnclosingProps(UdfNode* entry) {
    for (UdfNode* up = entry->GetParent(); up; up = up->GetParent()) {
        if (IsChildContainer(up)) continue;
        if (UdfNode* props = up->FindChild("Props")) return props;
    }
    return nullptr;
}

bool IsLeaf(const UdfNode* node) { return node->Children().count == 0; }

// One "Props" block into list: keys already there stay as they are.
void CopyProps(UdfNode* block, HandleParam& list) {
    AdvScene::ForEachEntry(block, [&](UdfNode* item) {
        const String& key = item->GetName();
        if (list.children.Find(key)) return;
        HandleParam* record = list.children.Record(key);
        if (IsLeaf(item))
            record->SetString(AdvScene::DataText(item));
        else
            CopyProps(item, *record);
    });
}

void* CopyShapeLine(const void* value, u32) { return new (std::nothrow) ShapeLine(*static_cast<const ShapeLine*>(value)); }

void* CopyBytes(const void* value, u32 size) {
    void* copy = MemAlloc(size);
    if (copy) std::memcpy(copy, value, size);
    return copy;
}

}  // namespace

u32 ShapeLineTypeId() { return TypeIdOf<ShapeLine>(); }
u32 ByteFlagTypeId() { return TypeIdOf<u8>(&MemFree); }

const ShapeLine* FindShapeLine(const HandleParam& properties) {
    const HandleParamMap::Node* node = properties.children.Find(String("ShapeLine"));
    if (!node || !node->value || node->value->typeId != static_cast<i32>(ShapeLineTypeId())) return nullptr;
    return static_cast<const ShapeLine*>(node->value->value.pointer);
}

bool FindLineClosed(const HandleParam& properties, u8* closed) {
    const HandleParamMap::Node* node = properties.children.Find(String("LineClosed"));
    if (!node || !node->value || node->value->typeId != static_cast<i32>(ByteFlagTypeId()) ||
        !node->value->value.pointer)
        return false;
    *closed = *static_cast<const u8*>(node->value->value.pointer);
    return true;
}

void AdvScene::ReadProps(UdfNode* entry, HandleParam& list, bool inherit) {
    if (!entry) return;
    UdfNode* props = entry->FindChild("Props");
    if (!props) return;
    CopyProps(props, list);
    if (!inherit) return;
    for (UdfNode* outer = EnclosingProps(entry); outer; outer = EnclosingProps(outer->GetParent()))
        CopyProps(outer, list);
}

UdfNode* AdvScene::FindProp(UdfNode* entry, const String& key, bool inherit) {
    if (!entry) return nullptr;
    UdfNode* props = entry->FindChild("Props");
    if (!props) return FindNoCase(entry, key);
    if (UdfNode* found = FindNoCase(props, key)) return found;
    if (!inherit) return nullptr;
    for (UdfNode* outer = EnclosingProps(entry); outer; outer = EnclosingProps(outer->GetParent()))
        if (UdfNode* found = FindNoCase(outer, key)) return found;
    return nullptr;
}

bool AdvScene::ReadPropString(UdfNode* entry, const String& key, String& out) {
    const UdfNode* found = FindProp(entry, key, true);
    if (!found) return false;
    out = DataText(found);
    return true;
}

bool AdvScene::SetHasWord(const StringList& set, const String& word) {
    bool found = false;
    set.ForEach([&](const String& w) { found = found || StrCompareNoCase(w.c_str(), word.c_str()) == 0; });
    return found;
}

bool AdvScene::ReadPropSet(UdfNode* entry, const String& key, StringList& out) {
    UdfNode* found = FindProp(entry, key, true);
    if (!found) return false;
    auto add = [&](const UdfNode* leaf) {
        const String word = DataText(leaf);
        if (!SetHasWord(out, word)) {
            // The list keeps the order of addition: new words go after the last one.
            if (out.count > 0) out.current = out.anchor->prev;
            out.PushBack(word);
        }
    };
    if (IsLeaf(found))
        add(found);
    else
        AdvScene::ForEachEntry(found, [&](UdfNode* child) {
            if (IsLeaf(child)) add(child);
        });
    return true;
}

bool AdvScene::LoadLines(UdfNode* entry, Hierarchy* node) {
    UdfNode* lines = entry ? entry->FindChild("Lines") : nullptr;
    if (!lines || !node) return false;
    AdvScene::ForEachEntry(lines, [&](UdfNode* element) {
        i32 count = 0;
        if (!ReadInt(element, "LineNumVerts", count) || count < 0) return;
        const UdfNode* line = element->FindChild("Line");
        // A line without its points, or with fewer than it counts, is no line.
        if (!line || (count > 0 && !line->GetData()) || line->GetSize() / kLinePointSize < static_cast<u32>(count))
            return;
        ShapeLine* points = new (std::nothrow) ShapeLine(0, kLineGrowStep);
        if (!points) return;
        for (i32 i = 0; i < count; ++i) {
            f32 xyz[3];
            std::memcpy(xyz, line->GetData() + static_cast<u32>(i) * kLinePointSize, sizeof xyz);
            if (!points->Add(Vec3(xyz[0], xyz[1], xyz[2]))) {
                delete points;
                return;
            }
        }
        u8 closed = 0;
        ReadRecord(element, "LineClosed", &closed, 1);

        HandleParam* flag = node->properties.children.Record(String("LineClosed"));
        flag->Clear();
        flag->value.pointer = MemAlloc(1);
        if (flag->value.pointer) {
            *static_cast<u8*>(flag->value.pointer) = closed;
            flag->value.size = 1;
            flag->typeId = static_cast<i32>(ByteFlagTypeId());
            flag->copyFunction = &CopyBytes;
        }
        // Clear releases the line this node held before.
        HandleParam* shape = node->properties.children.Record(String("ShapeLine"));
        shape->Clear();
        shape->value.pointer = points;
        shape->value.size = sizeof(ShapeLine);
        shape->typeId = static_cast<i32>(ShapeLineTypeId());
        shape->copyFunction = &CopyShapeLine;
    });
    return true;
}
