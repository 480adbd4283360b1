// Binary data-description documents: the node model, the reader in each of its modes,
// the writer, hostile documents, and the text form that udftool converts through.
#include "Core/ArchiveStream.h"
#include "Core/FileStream.h"
#include "Core/Memory.h"
#include "Core/UdfBinaryTree.h"
#include "Core/UdfNode.h"
#include "Core/UdfWriter.h"
#include "tools/UdfDump.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<u8>;

constexpr u32 kEagerModes[] = {
    0,
    kUdfLoadBlock,
    kUdfLoadKeepBytes,
    kUdfLoadBlock | kUdfLoadKeepBytes,
    kUdfLoadKeepBytes | kUdfLoadPointIntoParent,
    kUdfLoadBlock | kUdfLoadKeepBytes | kUdfLoadPointIntoParent,
};

String S(const std::string& s) { return String::FromBuffer(const_cast<char*>(s.data()), static_cast<u32>(s.size()), true); }

UdfNode* Value(const char* name, const char* type, const void* bytes, u32 n) {
    return new UdfNode(String(name), String(type), const_cast<void*>(bytes), n, true);
}

UdfNode* Object(const char* name, const char* type = "Node") {
    UdfNode* node = new UdfNode(String(name), String(type), nullptr, 0, false);
    node->SetKind(kUdfObject);
    return node;
}

UdfNode* Own(UdfNode* parent, UdfNode* child) {
    parent->AddChild(child, false);
    child->SetParent(parent);
    return child;
}

u32 Get32(const Bytes& b, std::size_t at) {
    return static_cast<u32>(b[at]) | static_cast<u32>(b[at + 1]) << 8 | static_cast<u32>(b[at + 2]) << 16 |
           static_cast<u32>(b[at + 3]) << 24;
}

void Put32(Bytes& b, std::size_t at, u32 v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<u8>(v >> (8 * i));
}

void Append32(Bytes& b, u32 v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<u8>(v >> (8 * i)));
}

// The children of root as a document.
Bytes Write(UdfNode& root, const UdfTypeTable* types = nullptr, bool expectOk = true) {
    UdfTypeList typeList;
    if (types) UdfBinaryWriter::ListTypes(*types, &typeList);
    ArchiveStream out;
    out.Open(String(), kStreamWrite);
    UdfBinaryWriter writer;
    EXPECT_EQ(expectOk, writer.WriteRoot(&out, &root, types ? &typeList : nullptr));
    Bytes bytes(static_cast<std::size_t>(out.Size()));
    out.Seek(0, kSeekSet);
    if (!bytes.empty()) out.Read(bytes.data(), static_cast<u32>(bytes.size()));
    return bytes;
}

// A reader over bytes in memory; the bytes must outlive it.
struct Doc {
    ArchiveStream stream;
    UdfBinaryTree reader;
    UdfNode* root = nullptr;

    explicit Doc(const Bytes& bytes) {
        stream.Open(String(), kStreamRead);
        stream.BorrowBytes(bytes.data(), static_cast<u32>(bytes.size()));
        root = reader.Open(&stream);
    }
};

// The offset field of the entry with this name and type (names are unique in fixtures).
std::size_t EntryField(const Bytes& b, const std::string& name, const std::string& type) {
    Bytes pattern;
    Append32(pattern, static_cast<u32>(name.size()));
    pattern.insert(pattern.end(), name.begin(), name.end());
    Append32(pattern, static_cast<u32>(type.size()));
    pattern.insert(pattern.end(), type.begin(), type.end());
    const auto it = std::search(b.begin(), b.end(), pattern.begin(), pattern.end());
    EXPECT_NE(it, b.end()) << name;
    std::size_t at = static_cast<std::size_t>(it - b.begin()) + pattern.size();
    const u8 kind = b[at++];
    return at + ((kind & kUdfArray) ? 4 : 0);
}

// Same names, types, kinds, counts, bytes, child order and sharing.
class TreeCompare {
public:
    testing::AssertionResult Same(const UdfNode& a, const UdfNode& b, const std::string& path = "") {
        if (!(a.GetName() == b.GetName()) || !(a.GetTypeName() == b.GetTypeName()))
            return testing::AssertionFailure() << path << ": name or type differs";
        if ((a.GetKind() & 5) != (b.GetKind() & 5)) return testing::AssertionFailure() << path << ": kind";
        if (a.IsArray() && a.GetCount() != b.GetCount()) return testing::AssertionFailure() << path << ": count";
        if (!a.IsObject()) {
            const u32 n = a.GetData() ? a.GetSize() : 0;
            const u32 m = b.GetData() ? b.GetSize() : 0;
            if (n != m || (n && std::memcmp(a.GetData(), b.GetData(), n) != 0))
                return testing::AssertionFailure() << path << ": bytes differ";
            return testing::AssertionSuccess();
        }
        if (a.Children().count != b.Children().count) return testing::AssertionFailure() << path << ": child count";
        const auto* x = a.Children().first;
        const auto* y = b.Children().first;
        for (u32 i = 0; i < a.Children().count; ++i, x = x->next, y = y->next) {
            const std::string at = path + "/" + x->value->GetName().c_str();
            if (a.IsReference(x->value) != b.IsReference(y->value))
                return testing::AssertionFailure() << at << ": reference flag";
            const auto [mapped, fresh] = map.emplace(x->value, y->value);
            if (mapped->second != y->value) return testing::AssertionFailure() << at << ": sharing differs";
            if (a.IsReference(x->value)) continue;  // compared where it is owned
            if (!fresh && owned.count(x->value)) return testing::AssertionFailure() << at << ": owned twice";
            owned.insert(x->value);
            auto result = Same(*x->value, *y->value, at);
            if (!result) return result;
        }
        return testing::AssertionSuccess();
    }

private:
    std::map<const UdfNode*, const UdfNode*> map;
    std::set<const UdfNode*> owned;
};

bool Reaches(const UdfNode* from, const UdfNode* to) {
    std::set<const UdfNode*> seen;
    std::vector<const UdfNode*> work{from};
    while (!work.empty()) {
        const UdfNode* n = work.back();
        work.pop_back();
        if (n == to) return true;
        if (!seen.insert(n).second) continue;
        const auto* e = n->Children().first;
        for (u32 i = 0; i < n->Children().count; ++i, e = e->next) work.push_back(e->value);
    }
    return false;
}

bool HasLoop(const UdfNode* top) {
    std::set<const UdfNode*> all;
    std::vector<const UdfNode*> work{top};
    while (!work.empty()) {
        const UdfNode* n = work.back();
        work.pop_back();
        if (!all.insert(n).second) continue;
        const auto* e = n->Children().first;
        for (u32 i = 0; i < n->Children().count; ++i, e = e->next) {
            if (Reaches(e->value, n)) return true;
            work.push_back(e->value);
        }
    }
    return false;
}

// Random trees with every kind of value, arrays of objects, composite types and shared
// nodes (references forward and backward, never closing a loop).
class TreeMaker {
public:
    explicit TreeMaker(u32 seed) : rng(seed), root(Object("_root", "_roottype")) {
        UdfType pos;
        pos.name = String("pos");
        for (const char* m : {"x", "y", "z"}) pos.members.Insert(String(m), UdfMember{String("real"), 0, 0});
        types.Insert(pos.name, pos);
        UdfType key;
        key.name = String("key");
        key.members.Insert(String("time"), UdfMember{String("real"), 0, 0});
        key.members.Insert(String("at"), UdfMember{String("pos"), 0, 0});
        key.members.Insert(String("flags"), UdfMember{String("byte"), 1, 4});
        types.Insert(key.name, key);
    }
    ~TreeMaker() { delete root; }

    UdfNode& Make() {
        FillObject(root, 0);
        const u32 refs = Pick(12);
        for (u32 i = 0; i < refs && objects.size() > 1 && shareable.size() > 0; ++i) {
            UdfNode* from = objects[Pick(static_cast<u32>(objects.size()))];
            UdfNode* to = shareable[Pick(static_cast<u32>(shareable.size()))];
            if (from == to || from->FindChild(to->GetName()) || Reaches(to, from)) continue;
            from->AddChild(to, true);
        }
        return *root;
    }

    UdfTypeTable types;

private:
    u32 Pick(u32 n) { return std::uniform_int_distribution<u32>(0, n - 1)(rng); }

    void FillObject(UdfNode* parent, u32 depth) {
        objects.push_back(parent);
        const u32 n = Pick(depth == 0 ? 7 : 5);
        for (u32 i = 0; i < n; ++i) {
            const std::string name = "n" + std::to_string(counter++);
            UdfNode* child;
            if (depth < 4 && Pick(3) == 0) {
                child = Object(name.c_str(), Pick(2) ? "Node" : "Material");
                if (Pick(3) == 0) {
                    child->SetArray(true);
                    child->SetCount(Pick(5));
                }
                Own(parent, child);
                FillObject(child, depth + 1);
            } else {
                child = Own(parent, RandomValue(name));
            }
            if (child->GetSize() != 0 || child->IsObject()) shareable.push_back(child);
        }
    }

    UdfNode* RandomValue(const std::string& name) {
        Bytes data;
        const char* type = "blob";
        u32 count = 0;
        bool array = false;
        auto words = [&](u32 n, bool reals) {
            for (u32 i = 0; i < n; ++i) {
                u32 w = static_cast<u32>(rng());
                if (reals) {
                    const float notable[] = {0.0f, -0.0f, 1.5f, -2.25e-3f, INFINITY, -INFINITY, 1e-40f, 3.4e38f};
                    if (Pick(2)) std::memcpy(&w, &notable[Pick(8)], 4);
                    else if (Pick(4) == 0) w = 0x7fc00000u | Pick(1000);  // NaN with a payload
                }
                Append32(data, w);
            }
        };
        switch (Pick(8)) {
        case 0: type = "int"; words(Pick(6), false); break;
        case 1: type = "real"; words(Pick(9), true); break;
        case 2:
            type = "char";
            for (u32 i = Pick(20); i > 0; --i) data.push_back(static_cast<u8>(Pick(256)));
            break;
        case 3: type = "byte"; data.push_back(static_cast<u8>(Pick(256))); break;
        case 4: {
            type = "string";
            const std::string text = "text \"" + name + "\"\n\t\\";
            data.assign(text.begin(), text.end());
            break;
        }
        case 5: type = "key"; count = 1 + Pick(3); array = true; for (u32 i = 0; i < count; ++i) { words(4, true); words(1, false); } break;
        case 6: type = "pos"; words(3, true); break;
        default: type = Pick(2) ? "color" : "blob"; for (u32 i = Pick(40); i > 0; --i) data.push_back(static_cast<u8>(rng())); break;
        }
        if (!array && Pick(4) == 0) {
            array = true;
            count = Pick(100000);
        }
        UdfNode* node = Value(name.c_str(), type, data.data(), static_cast<u32>(data.size()));
        if (array) {
            node->SetArray(true);
            node->SetCount(count);
        }
        return node;
    }

    std::mt19937 rng;
    UdfNode* root;
    std::vector<UdfNode*> objects;
    std::vector<UdfNode*> shareable;
    u32 counter = 0;
};

// A document of nested objects, each holding the next: depth levels below the root.
Bytes Chain(u32 depth) {
    constexpr u32 kEntry = 4 + 1 + 4 + 0 + 1 + 4 + 4;  // name "n", empty type
    Bytes b;
    Append32(b, 0);
    Append32(b, 14);
    const std::string magic = "UDF Binary 1.0";
    b.insert(b.end(), magic.begin(), magic.end());
    Append32(b, 0);
    const u32 total = 30 + (8 + kEntry) * depth + 8;
    Append32(b, total - 26);
    for (u32 level = 0; level < depth; ++level) {
        const u32 at = 30 + (8 + kEntry) * level;
        Append32(b, 8 + kEntry);
        Append32(b, 1);
        Append32(b, 1);
        b.push_back('n');
        Append32(b, 0);
        b.push_back(kUdfObject);
        Append32(b, at + 8 + kEntry);
        Append32(b, total - (at + 8 + kEntry));
    }
    Append32(b, 8);
    Append32(b, 0);
    Put32(b, 0, total);
    return b;
}

// ---- node model --------------------------------------------------------------------

TEST(UdfNode, DataAccessCopiesAtMostWhatIsThere) {
    const char text[] = "0123456789";
    UdfNode parent;
    Own(&parent, Value("digits", "char", text, 10));
    char small[4] = {};
    EXPECT_TRUE(parent.ReadChild(String("digits"), small, 4));
    EXPECT_EQ(0, std::memcmp(small, "0123", 4));
    char big[16];
    std::memset(big, '#', sizeof big);
    EXPECT_TRUE(parent.FindChild("digits")->ReadData(big, 16));
    EXPECT_EQ(0, std::memcmp(big, "0123456789##", 12));
    EXPECT_FALSE(parent.ReadChild(String("missing"), big, 16));
    EXPECT_EQ(String("0123456789"), parent.FindChild("digits")->GetDataString());

    // A copied empty value holds nothing of the caller's.
    UdfNode empty(String("e"), String("char"), const_cast<char*>(""), 0, true);
    EXPECT_EQ(nullptr, empty.GetData());
    EXPECT_FALSE(empty.ReadData(big, 1));
}

TEST(UdfNode, ChildrenOwnershipAndReplacement) {
    UdfNode owner;
    UdfNode* shared = Own(&owner, Value("shared", "int", "abcd", 4));
    {
        UdfNode other;
        other.AddChild(shared, true);
        Own(&other, Value("x", "int", "1111", 4));
        Own(&other, Value("x", "int", "2222", 4));  // replaces (and frees) the first "x"
        EXPECT_EQ(2u, other.Children().count);
        char got[4];
        EXPECT_TRUE(other.ReadChild(String("x"), got, 4));
        EXPECT_EQ(0, std::memcmp(got, "2222", 4));
        EXPECT_TRUE(other.IsReference(String("shared")));
        EXPECT_FALSE(other.IsReference(String("x")));
        EXPECT_TRUE(other.IsObject());
    }
    // The referencing object is gone; the shared child lives on with its owner.
    EXPECT_EQ(shared, owner.FindChild("shared"));
    EXPECT_EQ(0, std::memcmp(shared->GetData(), "abcd", 4));

    // New names go to the end of the order wherever the cursor was left.
    owner.Children().IterBegin();
    Own(&owner, Value("last", "int", "zzzz", 4));
    EXPECT_EQ(String("last"), owner.Children().first->prev->key);
}

TEST(UdfNode, DeepTreeIsDestroyedWithoutRecursion) {
    UdfNode* top = Object("top");
    UdfNode* at = top;
    for (int i = 0; i < 200000; ++i) at = Own(at, Object("c"));
    delete top;  // would exhaust the stack if each level were a nested destructor call
}

TEST(UdfNode, TypeSizes) {
    UdfTypeTable table;
    UdfType mixed;
    mixed.name = String("mixed");
    mixed.members.Insert(String("a"), UdfMember{String("int"), 0, 0});
    mixed.members.Insert(String("b"), UdfMember{String("real"), 1, 3});
    mixed.members.Insert(String("c"), UdfMember{String("char"), 0, 0});
    table.Insert(mixed.name, mixed);
    EXPECT_EQ(17u, TypeSize(mixed, table));
    UdfType twice;
    twice.name = String("twice");
    twice.members.Insert(String("m"), UdfMember{String("mixed"), 1, 2});
    twice.members.Insert(String("s"), UdfMember{String("string"), 0, 0});
    EXPECT_EQ(34u, TypeSize(twice, table));

    EXPECT_EQ(4u, ScalarSize(String("real"), false, 99));
    EXPECT_EQ(7u, ScalarSize(String("char"), true, 7));
    EXPECT_EQ(0u, ScalarSize(String("string"), true, 7));
    EXPECT_EQ(kUdfSizeInvalid, ScalarSize(String("int"), true, 0x40000000u));
    EXPECT_FALSE(IsScalarType(String("string")));

    // A type that contains itself, directly or through another, has no size.
    UdfType loop;
    loop.name = String("loop");
    loop.members.Insert(String("next"), UdfMember{String("other"), 0, 0});
    UdfType other;
    other.name = String("other");
    other.members.Insert(String("back"), UdfMember{String("loop"), 0, 0});
    table.Insert(loop.name, loop);
    table.Insert(other.name, other);
    EXPECT_EQ(kUdfSizeInvalid, TypeSize(loop, table));
    // Sizes past 32 bits.
    UdfType huge;
    huge.name = String("huge");
    huge.members.Insert(String("m"), UdfMember{String("mixed"), 1, 0x10000000u});
    EXPECT_EQ(kUdfSizeInvalid, TypeSize(huge, table));
}

// ---- format and reader -------------------------------------------------------------

TEST(UdfFormat, HeaderRootAndEntryLayout) {
    UdfNode root;
    const float key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Own(&root, Value("key", "cam", key, 32));
    UdfNode* list = Own(&root, Object("list", "Node"));
    list->SetArray(true);
    list->SetCount(3);
    const Bytes b = Write(root);

    EXPECT_EQ(b.size(), Get32(b, 0));
    EXPECT_EQ(14u, Get32(b, 4));
    EXPECT_EQ(0, std::memcmp(&b[8], "UDF Binary 1.0", 14));
    EXPECT_EQ(0u, Get32(b, 22));
    EXPECT_EQ(b.size() - 26, Get32(b, 26));
    // Root table: its size counts both header words and every entry.
    const u32 keyEntry = 4 + 3 + 4 + 3 + 1 + 4 + 4;
    const u32 listEntry = 4 + 4 + 4 + 4 + 1 + 4 + 4 + 4;
    EXPECT_EQ(8 + keyEntry + listEntry, Get32(b, 30));
    EXPECT_EQ(2u, Get32(b, 34));
    // The first child's block follows the table directly; an array entry has its count
    // before the offset, an object entry not.
    const std::size_t keyField = EntryField(b, "key", "cam");
    EXPECT_EQ(0u, b[keyField - 1]);
    EXPECT_EQ(30 + 8 + keyEntry + listEntry, Get32(b, keyField));
    EXPECT_EQ(32u, Get32(b, keyField + 4));
    const std::size_t listField = EntryField(b, "list", "Node");
    EXPECT_EQ(kUdfObject | kUdfArray, b[listField - 5]);
    EXPECT_EQ(3u, Get32(b, listField - 4));
    EXPECT_EQ(Get32(b, keyField) + 32, Get32(b, listField));

    Doc doc(b);
    ASSERT_NE(nullptr, doc.root);
    EXPECT_EQ(30u, doc.root->GetOffset());
    EXPECT_EQ(b.size() - 26, doc.root->GetSize());
    EXPECT_EQ(String("_roottype"), doc.root->GetTypeName());
    ASSERT_TRUE(doc.root->Load(0, 0));
    float got[8];
    EXPECT_TRUE(doc.root->ReadChild(String("key"), got, sizeof got));
    EXPECT_EQ(0, std::memcmp(got, key, 32));
    EXPECT_EQ(3u, doc.root->FindChild("list")->GetCount());
}

TEST(UdfFormat, EveryByteOfTheMagicCounts) {
    UdfNode root;
    Own(&root, Value("v", "int", "abcd", 4));
    const Bytes good = Write(root);
    for (std::size_t i = 8; i < 22; ++i) {
        Bytes bad = good;
        bad[i] ^= 0x20;
        Doc doc(bad);
        EXPECT_EQ(nullptr, doc.root) << i;
    }
    Bytes longer = good;
    Put32(longer, 4, 15);
    EXPECT_EQ(nullptr, Doc(longer).root);
    EXPECT_NE(nullptr, Doc(good).root);
}

TEST(UdfFormat, SharingByOffset) {
    UdfNode root;
    UdfNode* a = Own(&root, Object("A"));
    Own(a, Value("x", "int", "xxxx", 4));
    Own(a, Value("empty", "char", nullptr, 0));  // its offset is that of B's block
    UdfNode* b = Own(&root, Object("B"));
    Own(b, Value("y", "int", "yyyy", 4));
    Own(&root, Value("z", "int", "zzzz", 4));
    Bytes bytes = Write(root);

    // An empty block is never shared, even though its offset is that of the next block.
    {
        Doc doc(bytes);
        ASSERT_TRUE(doc.root && doc.root->Load(0, 0));
        UdfNode* empty = doc.root->FindChild("A")->FindChild("empty");
        EXPECT_EQ(doc.root->FindChild("B")->GetOffset(), empty->GetOffset());
        EXPECT_EQ(0u, empty->GetSize());
        EXPECT_TRUE(doc.root->FindChild("B")->IsObject());
    }
    // B's entry for y now names x's block: one node, owned by A, referenced by B.
    const std::size_t xField = EntryField(bytes, "x", "int");
    const std::size_t yField = EntryField(bytes, "y", "int");
    Put32(bytes, yField, Get32(bytes, xField));
    Doc doc(bytes);
    ASSERT_TRUE(doc.root && doc.root->Load(0, 0));
    UdfNode* x = doc.root->FindChild("A")->FindChild("x");
    EXPECT_EQ(x, doc.root->FindChild("B")->FindChild("x"));
    EXPECT_TRUE(doc.root->FindChild("B")->IsReference(x));
    EXPECT_FALSE(doc.root->FindChild("A")->IsReference(x));
    EXPECT_EQ(nullptr, doc.root->FindChild("B")->FindChild("y"));
}

TEST(UdfReaderModes, RandomTreesRoundTripInEveryMode) {
    for (u32 seed = 1; seed <= 10; ++seed) {
        TreeMaker maker(seed);
        UdfNode& tree = maker.Make();
        const Bytes bytes = Write(tree, &maker.types);
        for (u32 mode : kEagerModes) {
            Doc doc(bytes);
            ASSERT_NE(nullptr, doc.root);
            ASSERT_TRUE(doc.root->Load(mode, 0)) << "seed " << seed << " mode " << mode;
            EXPECT_TRUE(TreeCompare().Same(tree, *doc.root)) << "seed " << seed << " mode " << mode;
            EXPECT_EQ(bytes, Write(*doc.root, &doc.reader.Types())) << "seed " << seed << " mode " << mode;
        }
    }
}

TEST(UdfReaderModes, LazyLoading) {
    TreeMaker maker(77);
    UdfNode& tree = maker.Make();
    const Bytes bytes = Write(tree, &maker.types);
    Doc doc(bytes);
    ASSERT_NE(nullptr, doc.root);
    // Mode 1: the root's table only; children exist but are empty.
    ASSERT_TRUE(doc.root->Load(kUdfLoadNodeOnly, 0));
    ASSERT_EQ(tree.Children().count, doc.root->Children().count);
    const auto* e = doc.root->Children().first;
    for (u32 i = 0; i < doc.root->Children().count; ++i, e = e->next) {
        EXPECT_FALSE(e->value->GetDataLoaded());
        EXPECT_FALSE(e->value->GetChildrenLoaded());
        EXPECT_EQ(0u, e->value->Children().count);
    }
    // One level below, then each child on its own: the same tree as an eager load.
    e = doc.root->Children().first;
    ASSERT_TRUE(e->value->Load(kUdfLoadOneLevel, 0));
    for (u32 i = 0; i < doc.root->Children().count; ++i, e = e->next) ASSERT_TRUE(e->value->Load(0, 0));
    EXPECT_TRUE(TreeCompare().Same(tree, *doc.root));
}

TEST(UdfReaderModes, BlockModesShareTheOwnersBytes) {
    UdfNode root;
    UdfNode* mesh = Own(&root, Object("mesh"));
    const float v[6] = {1, 2, 3, 4, 5, 6};
    Own(mesh, Value("vertices", "real", v, sizeof v));
    const Bytes bytes = Write(root);
    Doc doc(bytes);
    ASSERT_TRUE(doc.root->Load(kUdfLoadBlock | kUdfLoadKeepBytes | kUdfLoadPointIntoParent, 0));
    const UdfNode* m = doc.root->FindChild("mesh");
    const UdfNode* vertices = m->FindChild("vertices");
    EXPECT_TRUE(vertices->GetDataFromParent());
    EXPECT_EQ(m->GetData() + (vertices->GetOffset() - m->GetOffset()), vertices->GetData());
    EXPECT_EQ(doc.root->GetData() + (m->GetOffset() - doc.root->GetOffset()), m->GetData());
    EXPECT_EQ(0, std::memcmp(vertices->GetData(), v, sizeof v));
}

TEST(UdfReaderValues, SplittingValuesIntoMembersAndElements) {
    TreeMaker maker(1);  // for its types: pos {x y z}, key {time, at: pos, flags: byte[4]}
    UdfNode root;
    Bytes keys;
    for (u32 i = 0; i < 2; ++i) {
        const float f[4] = {float(i), 1.0f + i, 2.0f + i, 3.0f + i};
        keys.insert(keys.end(), reinterpret_cast<const u8*>(f), reinterpret_cast<const u8*>(f) + 16);
        for (u8 k = 0; k < 4; ++k) keys.push_back(static_cast<u8>(10 * i + k));
    }
    UdfNode* path = Own(&root, Value("keys", "key", keys.data(), static_cast<u32>(keys.size())));
    path->SetArray(true);
    path->SetCount(2);
    UdfNode* ints = Own(&root, Value("ints", "int", "\1\0\0\0\2\0\0\0", 8));
    ints->SetArray(true);
    ints->SetCount(3);  // one element more than the bytes hold
    const Bytes bytes = Write(root, &maker.types);

    for (u32 flags : {0u, u32(kUdfSplitPointIntoData)}) {
        Doc doc(bytes);
        ASSERT_TRUE(doc.root->Load(0, 0));
        UdfNode* k = doc.root->FindChild("keys");
        ASSERT_TRUE(doc.reader.ReadValue(k, flags));
        EXPECT_FALSE(doc.reader.ReadValue(k, flags));  // already split
        const UdfNode* second = k->FindChild("1");
        ASSERT_NE(nullptr, second);
        float y;
        EXPECT_TRUE(second->FindChild("at")->ReadChild(String("y"), &y, 4));
        EXPECT_EQ(3.0f, y);  // element 1: time 1, then x y z = 2 3 4
        const UdfNode* flagsNode = second->FindChild("flags");
        EXPECT_TRUE(flagsNode->IsArray());
        EXPECT_EQ(4u, flagsNode->GetSize());
        EXPECT_EQ(13, flagsNode->GetData()[3]);
        EXPECT_EQ(flags != 0, flagsNode->GetDataFromParent() != 0);

        // Scalar arrays split only when asked; elements past the bytes are not made.
        UdfNode* i = doc.root->FindChild("ints");
        EXPECT_TRUE(doc.reader.ReadValue(i, flags));
        EXPECT_EQ(0u, i->Children().count);
        EXPECT_FALSE(doc.reader.ReadValue(i, flags | kUdfSplitScalarArrays));
        EXPECT_EQ(2u, i->Children().count);
    }
    // Loading with splitting on gives the same members.
    Doc doc(bytes);
    ASSERT_TRUE(doc.root->Load(kUdfLoadSplitValues, 0));
    EXPECT_NE(nullptr, doc.root->FindChild("keys")->FindChild("0")->FindChild("at")->FindChild("z"));
}

// ---- hostile documents -------------------------------------------------------------

class UdfHostile : public testing::Test {
protected:
    // root { A { a1, rB -> B }, B { b1, rA -> a1 } }
    void SetUp() override {
        UdfNode* a = Own(&tree, Object("A"));
        UdfNode* a1 = Own(a, Value("a1", "int", "a1a1", 4));
        UdfNode* b = Own(&tree, Object("B"));
        Own(b, Value("b1", "int", "b1b1", 4));
        UdfNode* c = Own(b, Object("C", "Inner"));
        Own(c, Value("c1", "int", "c1c1", 4));
        a->AddChild(b, true);
        c->AddChild(a1, true);
        good = Write(tree);
    }

    // Loads in every mode; every load must fail.
    void ExpectRefused(const Bytes& bytes, const char* what) {
        for (u32 mode : kEagerModes) {
            Doc doc(bytes);
            if (!doc.root) continue;
            EXPECT_FALSE(doc.root->Load(mode, kUdfSplitScalarArrays)) << what << ", mode " << mode;
            EXPECT_FALSE(HasLoop(doc.root)) << what;
        }
    }

    UdfNode tree;
    Bytes good;
};

TEST_F(UdfHostile, OffsetsSizesAndCountsOutsideTheData) {
    ASSERT_TRUE(Doc(good).root->Load(0, 0));
    const std::size_t a1 = EntryField(good, "a1", "int");
    const std::size_t b1 = EntryField(good, "b1", "int");
    auto patched = [&](std::size_t at, u32 value) {
        Bytes b = good;
        Put32(b, at, value);
        return b;
    };
    ExpectRefused(patched(a1, static_cast<u32>(good.size()) - 2), "offset past the end");
    ExpectRefused(patched(a1 + 4, 0x7FFFFFF0u), "size past the end");
    ExpectRefused(patched(b1, 0xFFFFFFF0u), "offset + size past 32 bits");
    ExpectRefused(patched(30, 0xFFFFFFF0u), "table larger than its block");
    ExpectRefused(patched(30, 4), "table smaller than its header");
    ExpectRefused(patched(34, 0x7FFFFFFFu), "entry count past the table");
    ExpectRefused(patched(a1 - 4 - 1 - 3 - 4 - 2 - 4, 0xFFFFFFFFu), "name length past the table");
    // Owned blocks out of their owner's block, or overlapping a sibling.
    ExpectRefused(patched(b1, Get32(good, a1) + 1), "owned block inside another owner");
    Bytes kind = good;
    kind[a1 - 1] = 0x40;
    ExpectRefused(kind, "unknown kind bits");
    // A shared entry must agree with the node on the block's size.
    ExpectRefused(patched(EntryField(good, "a1", "int") + 4, 3), "shared node with another size");
}

TEST_F(UdfHostile, LoopsThroughSharedNodes) {
    const std::size_t aField = EntryField(good, "A", "Node");
    // The reference to a1 inside C now names A, whose reference leads to B and C again.
    Bytes loop = good;
    std::size_t refToA1 = 0;
    for (std::size_t at = aField + 8; at + 8 <= loop.size(); ++at) {
        if (Get32(loop, at) == Get32(loop, EntryField(good, "a1", "int")) && at != EntryField(good, "a1", "int")) {
            refToA1 = at;
            break;
        }
    }
    ASSERT_NE(0u, refToA1);
    Put32(loop, refToA1, Get32(good, aField));
    Put32(loop, refToA1 + 4, Get32(good, aField + 4));
    ExpectRefused(loop, "loop through references");

    // A table that names its own node, and one that names its owner.
    const std::size_t bField = EntryField(good, "B", "Node");
    Bytes self = good;
    const std::size_t b1 = EntryField(good, "b1", "int");
    Put32(self, b1, Get32(good, bField));
    Put32(self, b1 + 4, Get32(good, bField + 4));
    ExpectRefused(self, "node that contains itself");
    Bytes owner = good;
    const std::size_t c1 = EntryField(good, "c1", "int");
    Put32(owner, c1, Get32(good, bField));
    Put32(owner, c1 + 4, Get32(good, bField + 4));
    ExpectRefused(owner, "node that contains its owner");
}

TEST_F(UdfHostile, TruncationAtEveryLength) {
    for (std::size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(nullptr, Doc(cut).root) << n;
        // With the size words made to fit, the header passes and the blocks are cut.
        if (n >= 30 + 8) {
            Bytes fitted = cut;
            Put32(fitted, 0, static_cast<u32>(n));
            Put32(fitted, 26, static_cast<u32>(n - 26));
            ExpectRefused(fitted, "truncated blocks");
        }
    }
}

TEST_F(UdfHostile, GarbageAfterTheMagic) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        Bytes b = good;
        for (int flips = 1 + round % 8; flips > 0; --flips)
            b[22 + rng() % (b.size() - 22)] = static_cast<u8>(rng());
        for (u32 mode : kEagerModes) {
            Doc doc(b);
            if (doc.root) doc.root->Load(mode | kUdfLoadSplitValues, kUdfSplitScalarArrays);
            if (doc.root) {
                EXPECT_FALSE(HasLoop(doc.root));
            }
        }
    }
}

TEST(UdfHostileDepth, NestingIsBounded) {
    const Bytes deep = Chain(kUdfMaxDepth);
    Doc ok(deep);
    ASSERT_NE(nullptr, ok.root);
    EXPECT_TRUE(ok.root->Load(0, 0));
    const Bytes tooDeep = Chain(kUdfMaxDepth + 1);
    Doc refused(tooDeep);
    ASSERT_NE(nullptr, refused.root);
    EXPECT_FALSE(refused.root->Load(0, 0));
    const Bytes veryDeep = Chain(100000);
    EXPECT_FALSE(Doc(veryDeep).root->Load(0, 0));
}

TEST(UdfHostileValues, SplittingIsBounded) {
    UdfNode root;
    UdfNode* ints = Own(&root, Value("ints", "int", "abcdefgh", 8));
    ints->SetArray(true);
    ints->SetCount(0xFFFFFFFFu);
    UdfTypeTable types;
    // "node" holds two "node"s: no size. "pair" doubles "half" thirty times over.
    UdfType loop;
    loop.name = String("node");
    loop.members.Insert(String("l"), UdfMember{String("node"), 0, 0});
    loop.members.Insert(String("r"), UdfMember{String("node"), 0, 0});
    types.Insert(loop.name, loop);
    std::string previous = "empty";
    UdfType empty;
    empty.name = String("empty");
    types.Insert(empty.name, empty);
    for (int i = 0; i < 30; ++i) {
        UdfType t;
        t.name = S("t" + std::to_string(i));
        t.members.Insert(String("a"), UdfMember{S(previous), 0, 0});
        t.members.Insert(String("b"), UdfMember{S(previous), 0, 0});
        types.Insert(t.name, t);
        previous = "t" + std::to_string(i);
    }
    Own(&root, Value("looped", "node", "xxxx", 4));
    Own(&root, Value("wide", "t29", "", 0));
    const Bytes bytes = Write(root, &types);
    Doc doc(bytes);
    ASSERT_TRUE(doc.root->Load(0, 0));
    EXPECT_FALSE(doc.reader.ReadValue(doc.root->FindChild("ints"), kUdfSplitScalarArrays));
    EXPECT_EQ(2u, doc.root->FindChild("ints")->Children().count);
    EXPECT_FALSE(doc.reader.ReadValue(doc.root->FindChild("looped"), 0));
    EXPECT_FALSE(doc.reader.ReadValue(doc.root->FindChild("wide"), 0));
    EXPECT_LE(doc.root->FindChild("wide")->Children().count, 64u);
}

// ---- writer ------------------------------------------------------------------------

TEST(UdfWriter, HeaderOnlyWithoutNodes) {
    UdfTypeTable types;
    UdfType t;
    t.name = String("pos");
    t.members.Insert(String("x"), UdfMember{String("real"), 1, 2});
    types.Insert(t.name, t);
    UdfTypeList list;
    UdfBinaryWriter::ListTypes(types, &list);
    ArchiveStream out;
    out.Open(String(), kStreamWrite);
    UdfBinaryWriter writer;
    ASSERT_TRUE(writer.WriteTo(&out, nullptr, &list));
    Bytes b(static_cast<std::size_t>(out.Size()));
    out.Seek(0, kSeekSet);
    out.Read(b.data(), static_cast<u32>(b.size()));
    const Bytes expected = {0, 0, 0, 0, 14, 0, 0, 0, 'U', 'D', 'F', ' ', 'B', 'i', 'n', 'a', 'r', 'y', ' ', '1',
                            '.', '0', 1, 0, 0, 0, 3, 0, 0, 0, 'p', 'o', 's', 1, 0, 0, 0, 1, 0, 0, 0, 'x',
                            4, 0, 0, 0, 'r', 'e', 'a', 'l', 1, 2, 0, 0, 0};
    EXPECT_EQ(expected, b);
}

TEST(UdfWriter, ReferencesCarryTheOwnersPlace) {
    UdfNode root;
    UdfNode* early = Own(&root, Object("early"));
    UdfNode* late = Own(&root, Object("late"));
    UdfNode* target = Own(late, Value("target", "int", "tttt", 4));
    early->AddChild(target, true);  // written before its owner: patched afterwards
    const Bytes b = Write(root);
    // Two entries name the block; only the owned one is written as a block.
    const std::size_t first = EntryField(b, "target", "int");
    Bytes rest(b.begin() + static_cast<std::ptrdiff_t>(first), b.end());
    const std::size_t second = first + EntryField(rest, "target", "int");
    EXPECT_EQ(kUdfReference, b[first - 1]);
    EXPECT_EQ(0, b[second - 1]);
    EXPECT_EQ(Get32(b, first), Get32(b, second));
    EXPECT_EQ(4u, Get32(b, first + 4));
    EXPECT_EQ(0, std::memcmp(&b[Get32(b, second)], "tttt", 4));
    const char* bytes = "tttt";
    const auto once = std::search(b.begin(), b.end(), bytes, bytes + 4);
    EXPECT_EQ(b.end(), std::search(once + 1, b.end(), bytes, bytes + 4));
}

TEST(UdfWriter, TreesTheFormatCannotHold) {
    {
        UdfNode root;
        UdfNode* a = Own(&root, Object("a"));
        UdfNode orphan(String("orphan"), String("int"), const_cast<char*>("oooo"), 4, true);
        a->AddChild(&orphan, true);
        const Bytes b = Write(root, nullptr, false);
        EXPECT_NE(b.end(), std::search(b.begin(), b.end(), "DataArea", "DataArea" + 8));
        a->DetachChild(String("orphan"));
    }
    {
        UdfNode root;
        UdfNode* a = Own(&root, Object("a"));
        UdfNode* b = Own(&root, Object("b"));
        UdfNode* shared = Own(a, Value("s", "int", "ssss", 4));
        b->AddChild(shared, false);  // owned twice
        Write(root, nullptr, false);
        b->DetachChild(String("s"));
    }
    {
        UdfNode root;
        UdfNode* a = Own(&root, Object("a"));
        UdfNode* b = Own(&root, Object("b"));
        a->AddChild(b, true);
        b->AddChild(a, true);  // a loop through references
        Write(root, nullptr, false);
        a->DetachChild(String("b"));
        b->DetachChild(String("a"));
    }
    {
        UdfNode root;
        UdfNode* at = &root;
        for (u32 i = 0; i <= kUdfMaxDepth; ++i) at = Own(at, Object("d"));
        Write(root, nullptr, false);  // deeper than a reader accepts
    }
    {
        UdfNode root;
        UdfNode* v = Own(&root, Value("v", "int", nullptr, 0));
        v->SetSize(4);  // a size and no bytes
        Write(root, nullptr, false);
    }
}

TEST(UdfWriter, FilesDirectAndThroughMemoryAreEqual) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("udf-writer-" + std::to_string(getpid()));
    fs::create_directories(dir);
    TreeMaker maker(3);
    UdfNode& tree = maker.Make();
    // A list holds owned nodes only: references at the top are dropped.
    std::vector<std::string> topReferences;
    const auto* e = tree.Children().first;
    for (u32 i = 0; i < tree.Children().count; ++i, e = e->next)
        if (tree.IsReference(e->value)) topReferences.push_back(e->key.c_str());
    for (const std::string& name : topReferences) tree.DetachChild(S(name));
    UdfNodeList nodes;
    e = tree.Children().first;
    for (u32 i = 0; i < tree.Children().count; ++i, e = e->next) nodes.PushBack(e->value);
    UdfTypeList types;
    UdfBinaryWriter::ListTypes(maker.types, &types);
    UdfBinaryWriter writer;
    const std::string direct = (dir / "direct.udf").string();
    const std::string memory = (dir / "memory.udf").string();
    ASSERT_TRUE(writer.Write(S(direct), &nodes, &types, 0));
    ASSERT_TRUE(writer.Write(S(memory), &nodes, &types, UdfBinaryWriter::kWriteInMemory));
    auto slurp = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const Bytes a = slurp(direct);
    EXPECT_EQ(a, slurp(memory));
    EXPECT_EQ(Write(tree, &maker.types), a);
    // Read back from disk through the reader's own file stream.
    {
        // The reader keeps its file open for lazy loads; it is closed before the folder goes.
        UdfBinaryTree reader;
        UdfNode* root = reader.OpenFile(S(direct));
        ASSERT_NE(nullptr, root);
        ASSERT_TRUE(root->Load(0, 0));
        EXPECT_TRUE(TreeCompare().Same(tree, *root));
    }
    EXPECT_FALSE(writer.Write(S((dir / "no-such-dir" / "x.udf").string()), &nodes, &types, 0));
    fs::remove_all(dir);
}

// ---- text form ---------------------------------------------------------------------

TEST(UdfText, RandomTreesRoundTripThroughText) {
    for (u32 seed = 20; seed < 28; ++seed) {
        TreeMaker maker(seed);
        const Bytes bytes = Write(maker.Make(), &maker.types);
        std::string text;
        std::string error;
        ASSERT_TRUE(UdfBinaryToText(bytes.data(), bytes.size(), &text, &error)) << error;
        Bytes again;
        ASSERT_TRUE(UdfTextToBinary(text, &again, &error)) << error << "\n" << text;
        EXPECT_EQ(bytes, again) << "seed " << seed;
        std::string text2;
        ASSERT_TRUE(UdfBinaryToText(again.data(), again.size(), &text2, &error));
        EXPECT_EQ(text, text2);
    }
}

TEST(UdfText, ValuesAndReferencesAsWritten) {
    const std::string text =
        "udf-text 1\n"
        "node \"cam\" \"Path\" {\n"
        "  value \"keys\" \"real\" [2] = real 1 -0 0x7fc00001 1e-45 // the last is denormal\n"
        "  value \"mixed\" \"blob\" = int -1 hex 0aff text \"\\\"\\x00\"\n"
        "  ref @1\n"
        "}\n"
        "node \"mat\" \"Material\" @1 { }\n";
    UdfTextDocument doc;
    std::string error;
    ASSERT_TRUE(UdfParseText(text, &doc, &error)) << error;
    const UdfNode* cam = doc.Root().FindChild("cam");
    ASSERT_NE(nullptr, cam);
    const UdfNode* keys = cam->FindChild("keys");
    EXPECT_EQ(2u, keys->GetCount());
    const u32 expected[4] = {0x3f800000u, 0x80000000u, 0x7fc00001u, 0x00000001u};
    ASSERT_EQ(16u, keys->GetSize());
    EXPECT_EQ(0, std::memcmp(keys->GetData(), expected, 16));
    const u8 mixed[] = {0xff, 0xff, 0xff, 0xff, 0x0a, 0xff, '"', 0};
    ASSERT_EQ(sizeof mixed, cam->FindChild("mixed")->GetSize());
    EXPECT_EQ(0, std::memcmp(cam->FindChild("mixed")->GetData(), mixed, sizeof mixed));
    EXPECT_EQ(doc.Root().FindChild("mat"), cam->FindChild("mat"));
    EXPECT_TRUE(cam->IsReference(String("mat")));
}

TEST(UdfText, MistakesAreReportedWithTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"udf-text 1\nref @4\n", "not defined"},
        {"udf-text 1\nnode \"a\" \"N\" @1 { }\nnode \"b\" \"N\" @1 { }\n", "given twice"},
        {"udf-text 1\nvalue \"a\" \"int\" = int 1\nvalue \"a\" \"int\" = int 2\n", "named"},
        {"udf-text 1\nvalue \"a\" \"int\" = int 99999999999\n", "bad int"},
        {"udf-text 1\nvalue \"a\" \"char\" = text \"\\q\"\n", "escape"},
        {"udf-text 1\nnode \"a\" \"N\" {\n", "missing }"},
        {"udf-text 1\nvalue \"a\" \"byte\" = hex abc\n", "pairs"},
        {"udf-text 2\n", "version"},
    };
    for (const auto& [text, why] : cases) {
        UdfTextDocument doc;
        std::string error;
        EXPECT_FALSE(UdfParseText(text, &doc, &error)) << text;
        EXPECT_NE(std::string::npos, error.find(why)) << error;
        EXPECT_EQ(0u, error.find("line ")) << error;
        EXPECT_EQ(0u, doc.Root().Children().count);
    }
    // A loop made in text is refused when written.
    Bytes bytes;
    std::string error;
    EXPECT_FALSE(UdfTextToBinary("udf-text 1\nnode \"a\" \"N\" @1 { ref @1 }\n", &bytes, &error));
}

}  // namespace
