// Fuzz target for the data-description text parser: the input is read in both forms and
// as each encoding (the first byte picks the encoding and form), into a document that is
// then read back through every accessor and copied whole. Includes are resolved in a
// folder of a few documents held in memory (a mounted archive), among them documents
// that include themselves and each other, so that the include limits and the cycle
// guard are reached; a name that is not there is a missing include.
#include "Core/ArchiveStream.h"
#include "Core/MemFile.h"
#include "Core/MemoryBuffer.h"
#include "Core/String.h"
#include "Core/TextCodec.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/UdfText.h"
#include "tools/RarWriter.h"

#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// The documents of the include folder.
struct Document {
    const char* name;
    std::string_view text;
};
const Document kFolder[] = {
    {"a.txt", "A = 1; include(\"b.txt\"); L = array(include(\"c.txt\"), 2, include(\"gone.txt\"));"},
    {"b.txt", "using B; include(\"a.txt\"); X = a.b; Copy = A;"},
    {"c.txt", "C = object(x = 1, y = array(1, 2), z = \"q;r\"); include(\"self.txt\");"},
    {"self.txt", "S = 1; include(\"self.txt\"); T = S;"},
    {"d.txt", "include(\"a.txt\"); include(\"b.txt\"); include(\"d.txt\"); D = array(d, include(\"e.txt\"));"},
    {"e.txt", "E = 'e'; include(\"d.txt\");"},
    {"empty.txt", ""},
    {"zero.txt", std::string_view("Z = 1;\0Y = 2;", 14)},
};

// The folder, packed into an archive and mounted once.
struct IncludeFolder {
    std::vector<u8> bytes;
    MemoryBuffer archive;
    patht folder;
    bool ready = false;

    IncludeFolder() {
        RarWriter writer;
        writer.SetPrefix("Fuzz\\");
        for (const Document& document : kFolder)
            if (!writer.AddFile(document.name, document.text.data(), document.text.size())) return;
        writer.AddEndBlock();
        bytes = writer.Take();
        if (!archive.Load(patht::FromMemory(bytes.data(), static_cast<u32>(bytes.size())))) return;
        folder = patht("Fuzz");
        folder.flags = kPathArchive;
        folder.archive = &archive;
        ready = Answers();
    }

    // Whether an include of the folder's first document reads it (and its cycle).
    bool Answers() {
        MemFile files;
        files.AddSearchPath(folder);
        static const char kProbe[] = "include(\"a.txt\");";
        ArchiveStream stream;
        stream.Open(String(), kStreamRead);
        stream.BorrowBytes(reinterpret_cast<const u8*>(kProbe), sizeof kProbe - 1);
        TextDataTree doc;
        TextData::Load(stream, doc, &files, kTextCodePage);
        return doc.GetChild("A") && doc.GetChild("B") && doc.GetChild("C") && doc.GetChild("S");
    }
};

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
    static IncludeFolder folder;
    if (!folder.ready) std::abort();  // the folder must be there, or includes are never read
    MemFile files;
    files.AddSearchPath(folder.folder);

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
