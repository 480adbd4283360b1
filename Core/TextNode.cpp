#include "Core/TextNode.h"

#include <new>
#include <utility>

i32 TextNode::GetInt() const {
    i32 result = 0;
    if (!value.ToInt(&result)) return 0;
    return result;
}

double TextNode::GetReal() const {
    double result = 0.0;
    value.ToReal(&result);  // keeps the number of a numeric beginning
    return result;
}

void TextNode::GetVec3(float* xyz) const {
    if (!xyz) return;
    for (i32 i = 0; i < 3; ++i) xyz[i] = static_cast<float>(RealOf(GetChild(i)));
}

bool TextNode::CopyFrom(const TextNode& other, u64 nodeLimit, u64* made) {
    if (made) *made = 0;

    // Copy the children first into a holder: other may be this node or lie below it,
    // and so may not survive the deletion of this node's own children.
    TextNode holder;
    NodeStack sources;
    NodeStack targets;
    u64 nodes = 0;
    if (!sources.Push(const_cast<TextNode*>(&other)) || !targets.Push(&holder)) return false;
    while (!sources.IsEmpty()) {
        const TextNode* source = sources.Pop();
        TextNode* target = targets.Pop();
        const Entry* entry = source->first;
        Entry* cursorCopy = nullptr;
        for (u32 i = 0; i < source->count; ++i, entry = entry->next) {
            const TextNode* child = entry->value;
            TextNode* copy = nullptr;
            if (child) {
                if (++nodes > nodeLimit) return false;
                copy = new (std::nothrow) TextNode;
                if (!copy) return false;
                copy->kind = child->kind;
                copy->indexCounter = child->indexCounter;
                copy->name = child->name;
                copy->value = child->value;
            }
            Entry* added = target->InsertChild(entry->key, copy, 1);
            if (!added) {
                delete copy;
                return false;
            }
            if (entry == source->cursor) cursorCopy = added;
            if (child && child->count) {
                if (!sources.Push(const_cast<TextNode*>(child)) || !targets.Push(copy)) return false;
            }
        }
        if (cursorCopy) target->cursor = cursorCopy;
    }

    // Take over other's own fields before the old children go (other may be one).
    const u32 newKind = other.kind;
    const u32 newCounter = other.indexCounter;
    WString newName = other.name;
    WString newValue = other.value;
    ClearChildren();
    kind = newKind;
    indexCounter = newCounter;
    name = std::move(newName);
    value = std::move(newValue);

    bool complete = true;
    Entry* entry = holder.first;
    Entry* cursorCopy = nullptr;
    for (u32 i = 0; i < holder.count; ++i, entry = entry->next) {
        Entry* added = InsertChild(entry->key, entry->value, 1);
        if (!added) {
            DeleteTree(entry->value);
            complete = false;
        } else if (entry == holder.cursor) {
            cursorCopy = added;
        }
        entry->value = nullptr;  // now this node's, or gone
    }
    if (cursorCopy) cursor = cursorCopy;
    holder.Clear();
    if (made) *made = nodes;
    return complete;
}
