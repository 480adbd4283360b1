#include "Core/TextDataTree.h"

#include "Core/Memory.h"
#include "Core/TextNode.h"

#include <string.h>

namespace {

// Orders a run of wide units against a stored name the way WStringOrder orders two
// names: by the first differing unit, a shorter text before its extensions. Stored
// names hold no zero unit (decoding ends a text at one).
struct UnitsOrder {
    int operator()(const WString& probe, const WString& key) const { return WStringOrder()(probe, key); }
};

struct RunProbe {
    const char16_t* units;
    u32 length;
};

struct RunOrder {
    int operator()(const RunProbe& probe, const WString& key) const {
        const u32 n = probe.length < key.length ? probe.length : key.length;
        for (u32 i = 0; i < n; ++i) {
            const char16_t a = probe.units[i];
            const char16_t b = key.data[i];
            if (a != b) return a < b ? -1 : 1;
        }
        if (probe.length == key.length) return 0;
        return probe.length < key.length ? -1 : 1;
    }
};

struct NarrowOrder {
    int operator()(const char* probe, const WString& key) const {
        u32 i = 0;
        for (;; ++i) {
            const char16_t a = static_cast<char16_t>(static_cast<u8>(probe[i]));
            const char16_t b = i < key.length ? key.data[i] : 0;
            if (a != b) return a < b ? -1 : 1;
            if (a == 0) return 0;
        }
    }
};

}  // namespace

// ---- TextDataTree ----------------------------------------------------------------------

TextDataTree::~TextDataTree() { ClearChildren(); }

namespace {

// Deletes every node on the stack with everything below it, through one stack for the
// whole walk. Each node hands its children to the stack before it goes, so deleting it
// finds none.
void DeletePending(TextDataTree::NodeStack& pending) {
    while (TextNode* node = pending.Pop()) {
        TextDataTree::Entry* entry = node->cursor;
        for (u32 i = 0; i < node->count; ++i, entry = entry->next) {
            // Out of memory for the walk: release that child on its own.
            if (entry->value && !pending.Push(entry->value)) TextDataTree::DeleteTree(entry->value);
        }
        node->Clear();
        delete node;
    }
}

}  // namespace

void TextDataTree::DeleteTree(TextNode* node) {
    if (!node) return;
    NodeStack pending;
    if (!pending.Push(node)) {
        node->ClearChildren();
        delete node;
        return;
    }
    DeletePending(pending);
}

void TextDataTree::ClearChildren() {
    if (count == 0) return;
    NodeStack pending;
    Entry* entry = cursor;
    for (u32 i = 0; i < count; ++i, entry = entry->next) {
        if (!entry->value) continue;
        if (!pending.Push(entry->value)) {
            // Without memory for the walk, release the children one by one.
            DeleteTree(entry->value);
        }
    }
    Clear();
    DeletePending(pending);
}

bool TextDataTree::TreeContains(const TextNode* root, const TextNode* node) {
    if (!root || !node) return false;
    if (root == node) return true;
    NodeStack pending;
    const TextNode* next = root;
    while (next) {
        const Entry* entry = next->cursor;
        for (u32 i = 0; i < next->count; ++i, entry = entry->next) {
            if (entry->value == node) return true;
            if (entry->value && entry->value->count) {
                if (!pending.Push(entry->value)) return false;
            }
        }
        next = pending.Pop();
    }
    return false;
}

TextDataTree::Entry* TextDataTree::InsertChild(const WString& name, TextNode* child, u32 after) {
    return Insert(name, child, after != 0);
}

TextDataTree::Entry* TextDataTree::FindChild(const WString& name) const { return FindBy(name, UnitsOrder()); }

TextDataTree::Entry* TextDataTree::FindChild(const char16_t* name, u32 length) const {
    return FindBy(RunProbe{name, length}, RunOrder());
}

TextDataTree::Entry* TextDataTree::FindChild(const char* name) const {
    return FindBy(name ? name : "", NarrowOrder());
}

TextNode* TextDataTree::GetChild(const WString& name) const {
    const Entry* entry = FindChild(name);
    return entry ? entry->value : nullptr;
}

TextNode* TextDataTree::GetChild(const char* name) const {
    const Entry* entry = FindChild(name);
    return entry ? entry->value : nullptr;
}

TextNode* TextDataTree::GetChild(i32 index) const {
    char16_t units[12];
    const u32 n = IndexName(index, units);
    const Entry* entry = FindChild(units, n);
    return entry ? entry->value : nullptr;
}

WString TextDataTree::FirstChildKey() const { return count ? cursor->key : WString(); }

u32 TextDataTree::IndexName(i32 index, char16_t* out) {
    char16_t digits[11];
    u32 n = 0;
    // Through a 64-bit magnitude so that the most negative value has one too.
    u64 magnitude = index < 0 ? static_cast<u64>(-static_cast<i64>(index)) : static_cast<u64>(index);
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    u32 length = 0;
    if (index < 0) out[length++] = u'-';
    while (n) out[length++] = digits[--n];
    out[length] = 0;
    return length;
}
