// Fuzz target for the data-description text parser: the input is read in both forms and
// as each encoding (the first byte picks the encoding and form), into a document that is
// then read back through every accessor and copied whole. Includes go to a search
// folder that holds nothing, so only the parser is exercised.
#include "Core/ArchiveStream.h"
#include "Core/MemFile.h"
#include "Core/String.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"

#include <cstddef>
#include <cstdlib>

namespace {

// Visits every node without recursion and reads it the ways the engine does.
void ReadAll(TextDataTree& doc) {
    TextDataTree::NodeStack pending;
    const TextDataTree::Entry* entry = doc.first;
    for (u32 i = 0; i < doc.count; ++i, entry = entry->next)
        if (entry->value && !pending.Push(entry->value)) return;
    u64 visited = 0;
    while (TextNode* node = pending.Pop()) {
        if (++visited > 50000000) std::abort();  // a cycle in the tree
        (void)node->GetInt();
        (void)node->GetReal();
        float xyz[3];
        node->GetVec3(xyz);
        (void)node->FirstChildKey();
        if (node->kind > TextNode::kArray) std::abort();
        const TextDataTree::Entry* child = node->first;
        for (u32 i = 0; i < node->count; ++i, child = child->next) {
            if (!child->value) std::abort();  // the parser never leaves an entry empty
            if (!pending.Push(child->value)) return;
        }
    }
}

bool Load(const u8* data, std::size_t size, TextDataTree& doc, MemFile* files, int kind, bool lines) {
    ArchiveStream stream;
    stream.Open(String(), kStreamRead);
    stream.BorrowBytes(data, static_cast<u32>(size));
    return lines ? UdfText::LoadStream(stream, doc, files, kind) : TextData::Load(stream, doc, files, kind);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const u8 mode = data[0];
    const int kind = 1 + mode % 6;
    const bool lines = (mode & 0x80) != 0;
    MemFile files;
    files.AddSearchPath(patht("/nonexistent/corvane-fuzz"));

    TextDataTree doc;
    Load(data + 1, size - 1, doc, &files, kind, lines);
    ReadAll(doc);

    // Loading the same text again merges into the same names.
    Load(data + 1, size - 1, doc, &files, kind, lines);
    ReadAll(doc);

    // A deep copy of the whole document, read again.
    TextNode all;
    TextNode copy;
    const TextDataTree::Entry* entry = doc.first;
    for (u32 i = 0; i < doc.count; ++i, entry = entry->next) {
        TextNode* node = new TextNode;
        if (!node->CopyFrom(*entry->value, 1u << 20)) {
            delete node;
            continue;
        }
        all.InsertChild(entry->key, node, 1);
    }
    copy.CopyFrom(all, 1u << 22);
    ReadAll(copy);
    return 0;
}
