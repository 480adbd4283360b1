// Mesh nodes of a model: the raw arrays of a "Mesh" entry become a mesh record (vertex
// layout, vertices, indices, adjacency), skinned meshes get their bone data and have the
// node's transforms baked into their vertices, and the record becomes the node's drawable.
//
// Model files are not trusted. Every count is checked against the bytes that back it
// before anything is built: vertices or indices shorter than their counts, an index past
// the vertices, a layout without its end element or over several streams, and bone data
// that is missing, short or points outside its arrays each refuse the mesh, and the node
// is left without a drawable while the load goes on. The vertex, index and adjacency
// blocks are taken over from the document only when the reader gave each value a block
// of its own; a value that lives inside a larger block is copied, so that no block ever
// has two owners.
#include "Scene/AdvScene.h"

#include "Core/TextCompare.h"
#include "Core/UdfNode.h"
#include "Core/Memory.h"
#include "D3d/FrameSequence.h"
#include "Effect/MeshObject.h"
#include "Scene/Hierarchy.h"
#include "Scene/MeshData.h"
#include "Scene/SkinData.h"
#include "Scene/SkinnedMesh.h"

#include <cstring>
#include <memory>

namespace {

// The bytes of a "DECL" value: 32 elements of 8 bytes.
constexpr u32 kDeclBytes = 256;
constexpr u32 kDeclElements = kDeclBytes / sizeof(D3DVERTEXELEMENT9);
static_assert(sizeof(D3DVERTEXELEMENT9) == 8, "the element layout of model files");
static_assert(VertexDeclaration::kSlots == kDeclElements, "a stored layout fits a declaration");

// Indices above this need 32 bits.
constexpr u32 kMax16BitIndex = 0xFFFF;

bool ReadU32(UdfNode* entry, const char* key, u32& out) {
    out = 0;
    return AdvScene::ReadRecord(entry, key, &out, sizeof out);
}

// The value's bytes as a MemAlloc block the caller owns, when the value holds at least
// `needed` bytes (null otherwise, and for an empty value). A value the reader loaded into
// a block of its own is taken over (the document then no longer frees it); any other is
// copied.
void* TakeBytes(UdfNode* value, u64 needed, u32& size) {
    size = 0;
    if (!value || !value->GetData() || value->GetSize() == 0 || value->GetSize() < needed) return nullptr;
    size = value->GetSize();
    if (!value->GetDataNotOwned() && !value->GetDataFromParent()) {
        value->SetDataNotOwned(1);
        return value->GetData();
    }
    void* copy = MemAlloc(size);
    if (!copy) {
        size = 0;
        return nullptr;
    }
    std::memcpy(copy, value->GetData(), size);
    return copy;
}

// The layout of a "DECL" value: the elements up to the end element, all in stream 0 (the
// loader reads one stream), with a stride above 0. False for anything else.
bool ReadDeclaration(const UdfNode* value, VertexDeclaration& layout) {
    if (!value || !value->GetData()) return false;
    D3DVERTEXELEMENT9 elements[kDeclElements];
    std::memset(elements, 0, sizeof elements);
    value->ReadData(elements, sizeof elements);
    VertexDeclaration read;
    std::memcpy(read.elements, elements, sizeof elements);
    // Only the end element ends the layout; a stored layout without one within its 32
    // slots is refused, as is one with a type that has no size.
    u32 count = 0;
    while (count < kDeclElements && !VertexDeclaration::IsEndMarker(elements[count])) {
        if (VertexDeclaration::DeclTypeSize(elements[count].Type) == 0) return false;
        ++count;
    }
    if (count == kDeclElements) return false;
    if (!read.Recount() || read.streamCount != 1 || read.streamStrides[0] == 0) return false;
    layout.Assign(read);
    return true;
}

// The array element's index from its name ("0", "1", ...); false for any other name.
bool ElementIndex(const String& name, u32 limit, u32& index) {
    if (name.length == 0 || name.length > 9) return false;
    u32 value = 0;
    for (u32 i = 0; i < name.length; ++i) {
        const char c = name.c_str()[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + u32(c - '0');
    }
    if (value >= limit) return false;
    index = value;
    return true;
}

// count 32-bit integers of a value into an array; false when the value is shorter.
bool ReadInts(const UdfNode* value, u32 count, IntArray& out) {
    if (!value || !value->GetData() || u64(value->GetSize()) < u64(count) * 4) return false;
    if (!out.Resize(i32(count))) return false;
    if (count) std::memcpy(out.data, value->GetData(), u64(count) * 4);
    return true;
}

// The bone data of a skinned mesh entry: names by element index, per-vertex first
// influence and influence count, the influence pairs. False for missing or short arrays,
// a name slot left empty, or a pair count of 0; the deeper checks (runs inside the pairs,
// bone indices within the names, a vertex without influences) are SkinData::Validate's.
bool ReadSkin(UdfNode* entry, u32 vertexCount, SkinData& skin) {
    UdfNode* names = entry->FindChild("BoneNames");
    UdfNode* offsets = entry->FindChild("VertBoneOffs");
    UdfNode* counts = entry->FindChild("VertBoneNums");
    UdfNode* weights = entry->FindChild("BoneWeights");
    if (!names || !offsets || !counts || !weights) return false;

    const u32 nameCount = names->Children().count;
    if (nameCount == 0 || !skin.boneNames.Resize(i32(nameCount))) return false;
    Array<u8> filled(i32(nameCount), 0);
    if (filled.count != i32(nameCount)) return false;
    bool named = true;
    AdvScene::ForEachEntry(names, [&](UdfNode* element) {
        u32 index = 0;
        if (!named || !ElementIndex(element->GetName(), nameCount, index)) {
            named = false;
            return;
        }
        skin.boneNames[i32(index)] = AdvScene::DataText(element);
        filled[i32(index)] = 1;
    });
    if (!named) return false;
    for (u8 f : filled)
        if (!f) return false;

    if (!ReadInts(offsets, vertexCount, skin.firstInfluences)) return false;
    if (!ReadInts(counts, vertexCount, skin.influenceCounts)) return false;
    const u32 pairs = weights->GetData() ? weights->GetSize() / sizeof(BoneInfluence) : 0;
    if (pairs == 0 || !skin.influences.Resize(i32(pairs))) return false;
    std::memcpy(skin.influences.data, weights->GetData(), u64(pairs) * sizeof(BoneInfluence));
    return true;
}

// Whether every index addresses a vertex.
bool IndicesInRange(const ElementArray& indices, u32 vertexCount) {
    for (u32 i = 0; i < indices.count; ++i)
        if (indices.Get(i) >= vertexCount) return false;
    return true;
}

// The next multiple of 32 bytes.
u32 AlignedStride(u32 stride) { return (stride + 31u) / 32u * 32u; }

// The vertex buffer's usage word (and the index buffer's in indexUsage) from the words of
// "Usage", or without them (null) from the kind of mesh.
u32 MeshUsageWords(const StringList* words, bool skinned, u32& indexUsage) {
    if (!words) {
        indexUsage = D3DUSAGE_WRITEONLY;
        return skinned ? D3DUSAGE_DYNAMIC : D3DUSAGE_WRITEONLY;
    }
    auto has = [&](const char* word) { return AdvScene::SetHasWord(*words, String(word)); };
    u32 vertexUsage = 0;
    indexUsage = 0;
    if (has("static")) {
        vertexUsage = indexUsage = D3DUSAGE_WRITEONLY;
    } else if (has("dynamic")) {
        vertexUsage = indexUsage = D3DUSAGE_DYNAMIC;
    } else if (has("dynamic_writeonly")) {
        vertexUsage = indexUsage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
    }
    if (has("vb_writeonly")) vertexUsage |= D3DUSAGE_WRITEONLY;
    if (has("ib_writeonly")) indexUsage |= D3DUSAGE_WRITEONLY;
    if (has("vb_dynamic")) vertexUsage |= D3DUSAGE_DYNAMIC;
    if (has("ib_dynamic")) indexUsage |= D3DUSAGE_DYNAMIC;
    return vertexUsage;
}

}  // namespace

// ---- the mesh entry ----------------------------------------------------------------------

bool AdvScene::LoadMesh(UdfNode* entry, Hierarchy* node) {
    if (!entry || !node) return false;

    // 1. The material: a copy of the named one, the default one for an unknown name, none
    //    without a name.
    Material named;
    Material* material = nullptr;
    String materialName;
    if (const UdfNode* value = entry->FindChild("MaterialName"); value && value->GetData()) {
        materialName = DataText(value);
        materials.Get(materialName, named);
        material = &named;
    }

    // 2. The counts and the arrays that must be there.
    u32 indexSize = 0, vertexCount = 0, indexCount = 0;
    if (!ReadU32(entry, "IndexSize", indexSize) || !ReadU32(entry, "NumVerts", vertexCount) ||
        !ReadU32(entry, "NumIndexes", indexCount))
        return false;
    if (vertexCount == 0 || (indexSize != 2 && indexSize != 4)) return false;
    UdfNode* verts = entry->FindChild("Verts");
    UdfNode* indexes = entry->FindChild("Indexes");
    if (!verts || !indexes) return false;
    VertexDeclaration layout;
    if (!ReadDeclaration(entry->FindChild("DECL"), layout)) return false;
    const u64 vertexBytes = u64(layout.streamStrides[0]) * vertexCount;
    const u64 indexBytes = u64(indexSize) * indexCount;
    if (vertexBytes > 0xFFFFFFFFu || indexBytes > 0xFFFFFFFFu) return false;
    if (!verts->GetData() || verts->GetSize() < vertexBytes) return false;
    if (indexCount > 0 && (!indexes->GetData() || indexes->GetSize() < indexBytes)) return false;

    // Everything the record needs is checked before anything is taken from the document.
    const bool skinned = entry->FindChild("BoneNames") != nullptr;
    std::unique_ptr<SkinData> skin;
    if (skinned) {
        skin = std::make_unique<SkinData>();
        if (!ReadSkin(entry, vertexCount, *skin)) return false;
    }

    // 3. The record.
    auto record = std::make_unique<FrameSequence>();
    record->vertices.layout.Assign(layout);
    record->vertices.vertexCount = vertexCount;
    u32 size = 0;
    void* block = TakeBytes(verts, vertexBytes, size);
    if (!block || !record->vertices.Adopt(0, block)) return false;
    if (indexCount > 0) {
        block = TakeBytes(indexes, indexBytes, size);
        if (!block || !record->indices.Adopt(block, indexCount, indexSize)) return false;
    } else {
        record->indices.Allocate(0, indexSize);
    }
    if (!IndicesInRange(record->indices, vertexCount)) return false;
    if (UdfNode* adjacency = entry->FindChild("Adjacency"); adjacency && adjacency->GetData()) {
        block = TakeBytes(adjacency, 0, size);
        if (block) record->AdoptAdjacency(block, size);
    }
    record->ComputeBounds();
    if (skin && !skin->Validate(*record)) return false;

    // 4. Skinned vertices hold the bind pose in model space: the node's object and local
    //    transforms are baked into them and then reset.
    if (skin) {
        Matrix local, object, bake;
        node->GetTransform(true).GetMatrix(local);
        node->GetObjectTransform(true).GetMatrix(object);
        bake.Multiply(object, local);
        const int normal = layout.FindElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
        const i32 normalOffset = normal >= 0 ? i32(layout.elements[normal].Offset) : -1;
        TransformVertices(record->vertices.streams[0], layout.streamStrides[0], vertexCount, bake, normalOffset);
        Box& bounds = node->GetBoundsBox();
        Bounded::Transform(bounds, bounds, bake);
        node->GetTransform(true).Reset();
        node->GetObjectTransform(true).Reset();
        record->ComputeBounds();
    }

    // The scene owns the record (and the skin) from here on, whatever follows.
    FrameSequence* mesh = record.release();
    AddMeshRecord(node->GetName(), mesh);
    SkinData* skinData = skin.release();
    if (skinData) AddSkin(skinData);

    // 5. Optimisation: by the load flags unless the mesh says otherwise.
    bool optimize = (desc.flags & kLoadOptimizeMeshes) != 0;
    String option;
    if (ReadPropString(entry, String("OptimizeMesh"), option)) optimize = String::EqualsText(option, "1");
    if (optimize && MeshData::Optimize(*mesh, skinData) == MeshOptimizeResult::kFailed) return false;

    // 6. The skin's vertex groups.
    if (skinData && !skinData->BuildGroups(*mesh)) return false;

    return CreateMesh(entry, node, material, mesh, skinData);
}

// The layout a mesh is drawn with: its position and normal first, then its other elements
// in their order.
static VertexDeclaration DrawLayout(const VertexDeclaration& layout) {
    VertexDeclaration out;
    const int position = layout.FindUsage(D3DDECLUSAGE_POSITION, 0);
    const int normal = layout.FindUsage(D3DDECLUSAGE_NORMAL, 0);
    auto add = [&](int i) {
        const D3DVERTEXELEMENT9& e = layout.elements[i];
        out.AddElement(e.Type, e.Method, e.Usage, e.UsageIndex);
    };
    if (position >= 0) add(position);
    if (normal >= 0) add(normal);
    for (int i = 0; i < int(layout.elementCount); ++i)
        if (i != position && i != normal) add(i);
    return out;
}

bool AdvScene::CreateMesh(UdfNode* entry, Hierarchy* node, Material* material, FrameSequence* record,
                          SkinData* skin) {
    // 1. The node's material and states.
    ReadMaterialStates(entry, node, material);

    // 2. The description.
    GeometryDesc description;
    const VertexDeclaration drawLayout = DrawLayout(record->vertices.layout);
    const bool rewritten = skin && (desc.flags & kLoadSkinNotRewritten) == 0;
    description.Setup(*record, &drawLayout, skin != nullptr, rewritten);

    // Indices of 4 bytes, or one that 16 bits cannot hold, keep 32 bits whatever the count.
    bool wide = record->indices.elementSize == 4;
    for (u32 i = 0; i < record->indices.count && !wide; ++i) wide = record->indices.Get(i) > kMax16BitIndex;
    if (wide) {
        description.index.indexFormat = D3DFMT_INDEX32;
        description.index.length = record->indices.count * 4;
    }

    // 3. The usage words.
    StringList words;
    const bool hasUsage = ReadPropSet(entry, String("Usage"), words);
    u32 indexUsage = 0;
    const u32 vertexUsage = MeshUsageWords(hasUsage ? &words : nullptr, skin != nullptr, indexUsage);
    description.streams[0].usage = vertexUsage;
    description.streams[0].fieldFlags |= GeometryStream::kUsageSet;
    description.index.usage = indexUsage;
    description.index.fieldFlags |= GeometryStream::kUsageSet;

    // 4. Vertices aligned to 32 bytes for the software skinning pass.
    String align;
    if (ReadPropString(entry, String("VertexAlign32"), align) && String::EqualsText(align, "1")) {
        GeometryStream& stream = description.streams[0];
        stream.stride = AlignedStride(stream.stride);
        const u64 length = u64(stream.stride) * record->vertices.vertexCount;
        stream.length = length > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(length);
    }

    // 5. The drawable.
    MeshObject* drawable = nullptr;
    if (skin) {
        auto* skinned = new SkinnedMesh();
        skinned->SetSource(record, skin);
        skinnedMeshes.PushBack(skinned);
        drawable = skinned;
    } else {
        drawable = new MeshObject();
        drawable->SetPartTable(record);
    }
    drawable->GetGeometryDesc() = description;
    node->SetObject(drawable);
    return true;
}
