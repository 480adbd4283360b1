// The model loader's walk over a document: the scene's blocks in a fixed order, each node
// entry made (or found) under its parent, then the passes over the finished tree that
// need every node in place: the bind pose of the bones, the binding of skinned meshes to
// them and the animation range of the load.
#include "Scene/AdvScene.h"

#include "Core/D3dxLibrary.h"
#include "Core/Log.h"
#include "Core/Memory.h"
#include "Core/ProgramObjects.h"
#include "Core/Stream.h"
#include "Core/TextCompare.h"
#include "Core/Timer.h"
#include "Core/UdfBinaryTree.h"
#include "Core/UdfNode.h"
#include "D3d/FrameSequence.h"
#include "Effect/Light.h"
#include "Scene/DecomposeMatrix.h"
#include "Scene/NodeAnimation.h"
#include "Scene/ParticleEmitter.h"
#include "Scene/SkinData.h"
#include "Scene/SkinnedMesh.h"

#include <d3dx9.h>

#include <cmath>
#include <cstring>
#include <new>

namespace {

// How far an object matrix may stray from the identity and still count as none.
constexpr f32 kObjectIdentityTolerance = 0.01f;

bool NearIdentity(const Matrix& m) {
    for (u32 i = 0; i < 16; ++i) {
        const f32 expected = (i % 5 == 0) ? 1.0f : 0.0f;
        // A NaN is no identity either.
        if (!(std::fabs(m.m[i] - expected) <= kObjectIdentityTolerance)) return false;
    }
    return true;
}

// Files a transform under a name, replacing one filed under it before.
void FilePose(PoseTable& table, const String& name, const RefHandle<NodeTransform>& pose) {
    bool replaced = false;
    table.ForEach([&](const NamedHandle<NodeTransform>& entry) {
        if (!replaced && entry.name == name) {
            const_cast<NamedHandle<NodeTransform>&>(entry).handle = pose;
            replaced = true;
        }
    });
    if (!replaced) table.PushBack(NamedHandle<NodeTransform>(pose, name));
}

// A transform made from a whole matrix or, when the matrix splits into a frame, from its
// parts (so that animation and editing work on position, orientation and scale).
RefHandle<NodeTransform> MakeTransform(const Matrix& m, bool decompose) {
    RefHandle<NodeTransform> transform(new (std::nothrow) NodeTransform);
    if (!transform) return transform;
    Vec3 position, direction, up, scale;
    if (decompose && DecomposeMatrix(m, position, direction, up, scale)) {
        transform->SetPosition(position.x, position.y, position.z);
        transform->SetOrientation(direction, up);
        transform->SetScale(scale.x, scale.y, scale.z);
    } else {
        Matrix base = m;
        base.kind = 0;
        base.valid = 1;
        transform->SetBaseMatrix(base);
    }
    return transform;
}

}  // namespace

LOADDESC::LOADDESC(u8 loaderOption) {
    if (loaderOption) flags |= kLoadFilterNormalMaps;
}

AdvScene::AdvScene() = default;

AdvScene::~AdvScene() = default;

AdvScene::RecordStore::~RecordStore() {
    while (records.count) delete records.PopFront();
    while (skins.count) delete skins.PopFront();
}

// ---- the virtual operations ------------------------------------------------------------

bool AdvScene::AddLight(UdfNode*, Light* light) {
    RefHandle<Light> handle(light);
    if (handle) lighting.AddLight(handle);
    return true;
}

bool AdvScene::SetNodeTransform(UdfNode*, Hierarchy* node, const Matrix& nodeMatrix, const Matrix& objectMatrix) {
    if (!node) return false;
    const RefHandle<NodeTransform> local = MakeTransform(nodeMatrix, true);
    if (!local) return false;
    RefHandle<NodeTransform> object;
    if (!NearIdentity(objectMatrix)) {
        object = MakeTransform(objectMatrix, false);
        if (!object) return false;
    }
    FilePose(node->nodePoses, desc.name, local);
    if (object) FilePose(node->objectPoses, desc.name, object);
    // The first load of a node gives it its transforms; later loads only file theirs.
    if (node->nodePoses.count == 1) node->ApplyPose(desc.name, false);
    return true;
}

// ---- loading ---------------------------------------------------------------------------

bool AdvScene::Load(patht file, LOADDESC* loadDesc) {
    if (LoadUdf(file, loadDesc)) return true;
    LogErrors()
        .Write(LogSite("Screen\\AdvScene.h", "bool __thiscall AdvScene::Load(struct patht,struct LOADDESC *)", 16))
        .Print("Cannot load udf: ")
        .Print(file.name);
    return false;
}

bool AdvScene::LoadUdf(patht file, LOADDESC* loadDesc) {
    if (loadDesc) {
        desc.name = loadDesc->name;
        desc.flags = loadDesc->flags;
        desc.value = loadDesc->value;
    }
    Stream* stream = file.Open(kStreamRead);
    if (!stream) return false;
    UdfBinaryTree reader;
    UdfNode* document = reader.Open(stream);
    if (document) {
        // The reader closes (and so deletes) the stream from here on.
        reader.SetOwnsStream(1);
    } else {
        reader.Close();
        delete stream;
    }
    searchPaths.AddSearchPath(file.WithFolder());
    const u64 started = Timer::Now();
    // Mode 0: every node and value read at once, each value in its own block.
    if (!document || !document->Load(0, 0)) {
        reader.Close();
        return false;
    }

    FColor ambient;
    if (ReadColor(document, "AmbColor", ambient)) lighting.ambient = ambient;
    if (UdfNode* block = document->FindChild("Materials")) LoadMaterials(block);
    AdvScene::ForEachEntry(document->FindChild("Cameras"), [&](UdfNode* entry) { LoadNode(entry, &cameraRoot); });
    if (UdfNode* block = document->FindChild("Lights")) LoadLights(block);
    AdvScene::ForEachEntry(document->FindChild("Children"), [&](UdfNode* entry) {
        LoadNode(entry, entry->GetTypeName() == "Bone" ? &boneRoot : &root);
    });

    BindPose(&boneRoot, IdentityMatrix);
    BindSkinnedMeshes();
    StoreAnimationRange();

    StatisticsTable& statistics = TheStatistics();
    const String key("model_load_time");
    statistics.Add(key, static_cast<i32>(Timer::Now() - started) - statistics.Get(key));
    reader.Close();
    return true;
}

Hierarchy* AdvScene::LoadNode(UdfNode* entry, Hierarchy* parent) {
    if (!entry || !parent) return nullptr;
    const String& kind = entry->GetTypeName();
    const String& name = entry->GetName();
    Hierarchy* node = parent->FindChild(name);
    const bool created = node == nullptr;
    if (created) {
        if (!CreateSceneNode(&node)) return nullptr;
        node->material.Assign(defaultMaterial);
        node->name = name;
        if (name.CharAt(0) == '~') node->cullOptions |= kCullWithQuery;
        if (kind == "Bone") node->kind = kNodeBone;
        if (!parent->AddChild(node)) {
            delete node;
            return nullptr;
        }
    }
    ReadProps(entry, node->properties, true);
    LoadSceneNode(*node, searchPaths);
    ReadNodeTransform(entry, node);
    f32 box[6] = {0, 0, 0, 0, 0, 0};
    if (ReadRecord(entry, "Bounds", box, kBoxRecordSize)) {
        node->explicitBounds.x = box[0];
        node->explicitBounds.y = box[1];
        node->explicitBounds.z = box[2];
        node->explicitBounds.w = box[3];
        node->explicitBounds.h = box[4];
        node->explicitBounds.d = box[5];
        node->cullOptions |= kCullExplicitBounds;
        node->SetChanged(true);
    }
    if (created) {
        if (kind == "Mesh")
            LoadMesh(entry, node);
        else
            ReadMaterialStates(entry, node, nullptr);
    }
    if (kind == "Shape") LoadLines(entry, node);
    LoadAnimation(entry, node);
    AdvScene::ForEachEntry(entry->FindChild("Children"), [&](UdfNode* child) { LoadNode(child, node); });
    return node;
}

bool AdvScene::ReadNodeTransform(UdfNode* entry, Hierarchy* node) {
    Matrix nodeMatrix = IdentityMatrix;
    Matrix objectMatrix = IdentityMatrix;
    if (!ReadTransform(entry, "NodeTM", nodeMatrix) || !ReadTransform(entry, "ObjectTM", objectMatrix)) return false;
    return SetNodeTransform(entry, node, nodeMatrix, objectMatrix);
}

bool AdvScene::LoadAnimation(UdfNode* entry, Hierarchy* node) {
    UdfNode* block = entry ? entry->FindChild("Animation") : nullptr;
    if (!block || !node) return true;
    RefHandle<AbstractObject> handle(new (std::nothrow) NodeAnimation);
    if (!handle) return true;
    NodeAnimation* animation = static_cast<NodeAnimation*>(handle.Get());
    node->AddAnimation(desc.name, handle);
    auto readTrack = [](UdfNode* array, KeyTrack& keys) {
        bool complete = true;
        AdvScene::ForEachEntry(array, [&](UdfNode* element) {
            if (!complete) return;
            // An element without data ends the track; the keys before it stay.
            if (!element->GetData() || element->GetSize() == 0) {
                complete = false;
                return;
            }
            KeyData key;
            element->ReadData(&key, sizeof key);
            keys.InsertKey(key.time, key, true);
        });
    };
    auto isLinear = [](const UdfNode* array) {
        return array->GetTypeName() == "Sample" || array->GetTypeName() == "Linear";
    };
    if (UdfNode* array = block->FindChild("Position")) {
        readTrack(array, animation->Position().keys);
        if (isLinear(array)) animation->Position().SetFlags(animation->Position().GetFlags() | kTrackLinear);
    }
    if (UdfNode* array = block->FindChild("Scale")) {
        readTrack(array, animation->Scale().keys);
        if (isLinear(array)) animation->Scale().SetFlags(animation->Scale().GetFlags() | kTrackLinear);
    }
    if (UdfNode* array = block->FindChild("Rotation")) {
        readTrack(array, animation->Rotation().keys);
        if (isLinear(array)) animation->Rotation().SetFlags(animation->Rotation().GetFlags() | kTrackLinear);
    }
    return true;
}

// ---- after the walk --------------------------------------------------------------------

void AdvScene::BindPose(Hierarchy* node, const Matrix& parentWorld) {
    ChildMap::Node* entry = node->children.first;
    for (u32 i = 0; i < node->children.count; ++i, entry = entry->next) {
        Hierarchy* bone = entry->value;
        Matrix local;
        bone->GetTransform(true).GetMatrix(local);
        const Matrix world = Matrix::Product(local, parentWorld);
        D3DXMATRIX in;
        D3DXMATRIX out;
        std::memcpy(&in, world.m, sizeof world.m);
        Matrix inverse = IdentityMatrix;
        // A singular world (a bone scaled to nothing) has no inverse: the bone then skins
        // with its world alone instead of with whatever the inversion left behind.
        if (D3dx().MatrixInverse(&out, nullptr, &in)) {
            std::memcpy(inverse.m, &out, sizeof inverse.m);
            inverse.kind = 0;
            inverse.valid = 1;
            bool finite = true;
            for (f32 v : inverse.m) finite = finite && std::isfinite(v);
            if (!finite) inverse = IdentityMatrix;
        }
        bone->SetPreMatrix(inverse);
        BindPose(bone, world);
    }
}

void AdvScene::BindSkinnedMeshes() {
    PtrListOf<SkinnedMesh>::Node* node = skinnedMeshes.anchor;
    for (i32 i = 0; i < skinnedMeshes.count; ++i, node = node->next) {
        SkinnedMesh* mesh = node->payload;
        if (!mesh) continue;
        if (desc.flags & kLoadSkinInterval) mesh->SetSkinInterval(static_cast<i64>(desc.value));
        mesh->BindBones(&boneRoot);
    }
}

bool SubtreeAnimationRange(Hierarchy* node, const String& name, TimeRange& out) {
    bool found = false;
    TimeRange total;
    // Depth first without recursion on the call stack's account of deep trees.
    PtrListOf<Hierarchy> pending;
    pending.PushBack(node);
    while (pending.count) {
        Hierarchy* current = pending.PopFront();
        if (!current) continue;
        const RefHandle<AbstractObject> animation = current->FindAnimation(name);
        TimeRange range;
        if (animation && animation->GetRange(range)) {
            total = found ? TimeRange::Union(total, range) : range;
            found = true;
        }
        ChildMap::Node* entry = current->children.first;
        for (u32 i = 0; i < current->children.count; ++i, entry = entry->next) pending.PushBack(entry->value);
    }
    out = found ? total : TimeRange();
    return found;
}

void AdvScene::StoreAnimationRange() {
    TimeRange mainRange;
    TimeRange boneRange;
    SubtreeAnimationRange(&root, desc.name, mainRange);
    SubtreeAnimationRange(&boneRoot, desc.name, boneRange);
    const TimeRange range = TimeRange::Union(mainRange, boneRange);
    if (AnimationRangeMap::Node* found = animationRanges.Find(desc.name))
        found->value = range;
    else
        animationRanges.Insert(desc.name, range);
}

bool AdvScene::GetAnimationRange(const String& loadName, TimeRange& out) const {
    const AnimationRangeMap::Node* found = animationRanges.Find(loadName);
    if (!found) return false;
    out = found->value;
    return true;
}

void AdvScene::AddMeshRecord(const String& nodeName, FrameSequence* record) {
    if (!record) return;
    if (MeshRecordMap::Node* found = meshes.Find(nodeName)) {
        if (found->value == record) return;
        found->value = record;
    } else {
        meshes.Insert(nodeName, record);
    }
    store_.records.PushBack(record);
}

void AdvScene::AddSkin(SkinData* skin) {
    if (skin) store_.skins.PushBack(skin);
}

// ---- values ----------------------------------------------------------------------------

bool AdvScene::ReadRecord(UdfNode* entry, const char* key, void* record, u32 size) {
    const UdfNode* value = entry ? entry->FindChild(key) : nullptr;
    if (!value) return false;
    if (value->GetData() && value->GetSize()) value->ReadData(record, size);
    return true;
}

bool AdvScene::ReadTransform(UdfNode* entry, const char* key, Matrix& out) {
    Matrix m = out;
    m.kind = 0;
    m.valid = 0;
    if (!ReadRecord(entry, key, &m, kTransformRecordSize)) return false;
    // The stored kind words say nothing the engine can trust: the matrix is classified
    // as a general one.
    m.kind = 0;
    m.valid = 1;
    out = m;
    return true;
}

bool AdvScene::ReadColor(UdfNode* entry, const char* key, FColor& out) {
    f32 v[4] = {out.a, out.r, out.g, out.b};
    if (!ReadRecord(entry, key, v, kColorRecordSize)) return false;
    out.Set(v[0], v[1], v[2], v[3]);
    return true;
}

bool AdvScene::ReadFloat(UdfNode* entry, const char* key, f32& out) { return ReadRecord(entry, key, &out, 4); }

bool AdvScene::ReadInt(UdfNode* entry, const char* key, i32& out) { return ReadRecord(entry, key, &out, 4); }

String AdvScene::DataText(const UdfNode* value) {
    if (!value || !value->GetData()) return String();
    u32 n = value->GetSize();
    // Exported texts end with a NUL, which is not part of the value.
    while (n > 0 && value->GetData()[n - 1] == 0) --n;
    return String::FromBuffer(reinterpret_cast<char*>(value->GetData()), n, true);
}

bool AdvScene::ReadString(UdfNode* entry, const char* key, String& out) {
    const UdfNode* value = entry ? entry->FindChild(key) : nullptr;
    if (!value) return false;
    out = DataText(value);
    return true;
}
