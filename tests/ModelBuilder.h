// Model documents for the loader suites, the fuzz target and the benchmark, built in memory
// as a tree of UdfNode objects and written with the binary writer: root blocks, node
// entries under "Children", stored matrices and colours, meshes with their declaration,
// vertex, index and skin arrays, "Props" blocks and animation keys. Values are stored
// in the shapes the exporter writes (68-byte matrices, 16-byte colours, 32-byte keys)
// unless a test asks for another length on purpose.
#pragma once

#include "Core/ArchiveStream.h"
#include "Core/Matrix.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/UdfNode.h"
#include "Core/UdfWriter.h"
#include "Scene/KeyTrack.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace modelbuilder {

using Bytes = std::vector<u8>;

// One stored vertex element: {stream, offset, type, method, usage, usage index}.
struct DeclElement {
    u16 stream = 0;
    u16 offset = 0;
    u8 type = 0;
    u8 method = 0;
    u8 usage = 0;
    u8 usageIndex = 0;
};
static_assert(sizeof(DeclElement) == 8);

// The declaration block as stored: the elements, the end element {0xFF, 0, 17, 0, 0, 0},
// zeros up to 256 bytes.
inline Bytes DeclBytes(std::initializer_list<DeclElement> elements) {
    Bytes out(256, 0);
    u32 at = 0;
    for (const DeclElement& e : elements) {
        if (at + 8 > 248) break;
        std::memcpy(out.data() + at, &e, 8);
        at += 8;
    }
    const DeclElement end{0xFF, 0, 17, 0, 0, 0};
    std::memcpy(out.data() + at, &end, 8);
    return out;
}

// position FLOAT3 at 0, normal FLOAT3 at 12, texture coordinate FLOAT2 at 24: stride 32.
inline Bytes PlainDecl() {
    return DeclBytes({{0, 0, 2, 0, 0, 0}, {0, 12, 2, 0, 3, 0}, {0, 24, 1, 0, 5, 0}});
}

// The exporter's layout: position, normal, texture coordinate, tangent, binormal: stride 56.
inline Bytes ShippedDecl() {
    return DeclBytes({{0, 0, 2, 0, 0, 0}, {0, 12, 2, 0, 3, 0}, {0, 24, 1, 0, 5, 0}, {0, 32, 2, 0, 6, 0},
                      {0, 44, 2, 0, 7, 0}});
}

template <class T>
Bytes AsBytes(const std::vector<T>& values) {
    Bytes out(values.size() * sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), values.data(), out.size());
    return out;
}

// A stored matrix: 16 floats in row order, then (for 72 bytes) the two kind words.
inline Bytes MatrixBytes(const Matrix& m, u32 size = 68) {
    Bytes out(72, 0);
    std::memcpy(out.data(), m.m, 64);
    out.resize(size <= 72 ? size : 72);
    return out;
}

inline Matrix Rows(std::initializer_list<f32> values) {
    Matrix m{};
    u32 i = 0;
    for (f32 v : values)
        if (i < 16) m.m[i++] = v;
    return m;
}

inline Matrix Translation(f32 x, f32 y, f32 z) { return Rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}); }

class ModelBuilder {
public:
    ModelBuilder() : root_(new UdfNode(String(""), String("Root"), nullptr, 0, false)) { root_->SetKind(kUdfObject); }
    ~ModelBuilder() { delete root_; }
    ModelBuilder(const ModelBuilder&) = delete;
    ModelBuilder& operator=(const ModelBuilder&) = delete;

    // The document root: its children are the root blocks.
    UdfNode* Root() { return root_; }

    // An object child (an existing one of that name is returned as it is).
    static UdfNode* Object(UdfNode* parent, const char* name, const char* type = "Node") {
        if (UdfNode* found = parent->FindChild(name)) return found;
        UdfNode* node = new UdfNode(String(name), String(type), nullptr, 0, false);
        node->SetKind(kUdfObject);
        Own(parent, node);
        return node;
    }

    // A value child holding a copy of the bytes.
    static UdfNode* Value(UdfNode* parent, const char* name, const char* type, const void* bytes, u32 n) {
        UdfNode* node = new UdfNode(String(name), String(type), const_cast<void*>(bytes), n, true);
        Own(parent, node);
        return node;
    }
    static UdfNode* Value(UdfNode* parent, const char* name, const char* type, const Bytes& bytes) {
        return Value(parent, name, type, bytes.data(), static_cast<u32>(bytes.size()));
    }

    // A node entry under parent's "Children" (parent: the root or another node entry).
    static UdfNode* Node(UdfNode* parent, const char* name, const char* kind = "Dummy") {
        UdfNode* children = Object(parent, "Children", "Node");
        UdfNode* node = new UdfNode(String(name), String(kind), nullptr, 0, false);
        node->SetKind(kUdfObject);
        Own(children, node);
        return node;
    }
    // An entry of another root block ("Cameras", "Lights", "Materials").
    UdfNode* BlockEntry(const char* block, const char* name, const char* kind) {
        UdfNode* parent = Object(root_, block, block);
        UdfNode* node = new UdfNode(String(name), String(kind), nullptr, 0, false);
        node->SetKind(kUdfObject);
        Own(parent, node);
        return node;
    }

    static void SetMatrix(UdfNode* entry, const char* key, const Matrix& m, u32 size = 68) {
        Value(entry, key, "matrix", MatrixBytes(m, size));
    }
    static void SetTransforms(UdfNode* entry, const Matrix& nodeTM, const Matrix& objectTM = IdentityMatrix) {
        SetMatrix(entry, "NodeTM", nodeTM);
        SetMatrix(entry, "ObjectTM", objectTM);
    }
    // a, r, g, b: the first size bytes of them.
    static void SetColor(UdfNode* entry, const char* key, f32 a, f32 r, f32 g, f32 b, u32 size = 16) {
        const f32 v[4] = {a, r, g, b};
        Value(entry, key, "color", v, size <= 16 ? size : 16);
    }
    static void SetFloat(UdfNode* entry, const char* key, f32 v) { Value(entry, key, "float", &v, 4); }
    static void SetInt(UdfNode* entry, const char* key, i32 v) { Value(entry, key, "int", &v, 4); }
    static void SetByte(UdfNode* entry, const char* key, u8 v) { Value(entry, key, "byte", &v, 1); }
    // Text, with the trailing NUL the exporter writes unless told otherwise.
    static void SetText(UdfNode* entry, const char* key, const char* text, bool nul = true) {
        Value(entry, key, "String", text, static_cast<u32>(std::strlen(text) + (nul ? 1 : 0)));
    }
    static void SetBox(UdfNode* entry, f32 cx, f32 cy, f32 cz, f32 sx, f32 sy, f32 sz) {
        const f32 v[6] = {cx, cy, cz, sx, sy, sz};
        Value(entry, "Bounds", "box", v, 24);
    }

    // The entry's "Props" block.
    static UdfNode* Props(UdfNode* entry) { return Object(entry, "Props", "Props"); }
    // A text property in the entry's "Props".
    static void Prop(UdfNode* entry, const char* key, const char* text) { SetText(Props(entry), key, text); }
    // A property with one child value per word ("0", "1", ...).
    static UdfNode* PropList(UdfNode* entry, const char* key, std::initializer_list<const char*> words) {
        UdfNode* group = Object(Props(entry), key, "Props");
        u32 i = 0;
        for (const char* w : words) SetText(group, std::to_string(i++).c_str(), w);
        return group;
    }

    // A mesh record: counts, declaration, vertex and index bytes, optional adjacency.
    static void SetMesh(UdfNode* entry, const Bytes& decl, const Bytes& verts, u32 numVerts, const Bytes& indexes,
                        u32 numIndexes, u32 indexSize = 2, const Bytes* adjacency = nullptr) {
        SetInt(entry, "IndexSize", static_cast<i32>(indexSize));
        SetInt(entry, "NumVerts", static_cast<i32>(numVerts));
        SetInt(entry, "NumIndexes", static_cast<i32>(numIndexes));
        Value(entry, "DECL", "byte", decl);
        Value(entry, "Verts", "byte", verts);
        Value(entry, "Indexes", "byte", indexes);
        if (adjacency) Value(entry, "Adjacency", "byte", *adjacency);
    }
    // Bone names and influences: per vertex the first influence and the count, and the
    // {bone index, weight} pairs.
    struct Influence {
        u32 bone;
        f32 weight;
    };
    static void SetSkin(UdfNode* entry, std::initializer_list<const char*> bones, const std::vector<u32>& firsts,
                        const std::vector<u32>& counts, const std::vector<Influence>& weights) {
        UdfNode* names = Object(entry, "BoneNames", "String");
        names->SetArray(true);
        u32 i = 0;
        for (const char* b : bones) SetText(names, std::to_string(i++).c_str(), b);
        names->SetCount(i);
        Value(entry, "VertBoneOffs", "int", AsBytes(firsts));
        Value(entry, "VertBoneNums", "int", AsBytes(counts));
        Bytes pairs(weights.size() * 8);
        for (std::size_t k = 0; k < weights.size(); ++k) {
            std::memcpy(pairs.data() + 8 * k, &weights[k].bone, 4);
            std::memcpy(pairs.data() + 8 * k + 4, &weights[k].weight, 4);
        }
        Value(entry, "BoneWeights", "BoneWeight", pairs);
    }

    // An animation track ("Position", "Scale" or "Rotation") of type kind ("Tcb",
    // "Linear", "Sample"), one 32-byte "AniKey" element per key.
    static UdfNode* SetTrack(UdfNode* entry, const char* track, const char* kind, const std::vector<KeyData>& keys) {
        UdfNode* animation = Object(entry, "Animation", "Animation");
        UdfNode* array = Object(animation, track, kind);
        array->SetArray(true);
        u32 i = 0;
        for (const KeyData& k : keys) Value(array, std::to_string(i++).c_str(), "AniKey", &k, 32);
        array->SetCount(i);
        return array;
    }

    // The document's bytes.
    Bytes Build() {
        ArchiveStream out;
        out.Open(String(), kStreamWrite);
        UdfBinaryWriter writer;
        if (!writer.WriteRoot(&out, root_, nullptr)) return Bytes();
        Bytes bytes(static_cast<std::size_t>(out.Size()));
        out.Seek(0, kSeekSet);
        if (!bytes.empty()) out.Read(bytes.data(), static_cast<u32>(bytes.size()));
        return bytes;
    }

private:
    static void Own(UdfNode* parent, UdfNode* child) {
        parent->AddChild(child, false);
        child->SetParent(parent);
    }

    UdfNode* root_;
};

}  // namespace modelbuilder
