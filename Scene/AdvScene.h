// A loaded model: the scene nodes built from one or more binary model documents, the
// materials they name, their lights, the bone hierarchy of their skinned meshes and the
// time range of each load. Loads add to what is there: a node that already stands under
// the same parent and name is reused, so a second file (or the same file under a second
// load name) files another set of transforms and animations on the same tree.
//
// The whole document is read into memory when it is opened (read mode 0: every value in
// its own block), so the readers below walk plain UdfNode trees and a mesh may take
// over a value's bytes instead of copying them. Every value is read by copying at most
// the size of the record it fills: a short value leaves the rest of the record as it
// was, a long one is cut. Nothing in a document makes a load fail but a file that cannot
// be opened or a root that cannot be read; a bad block is skipped and the load goes on.
//
// Three operations are virtual so that a product scene can take over what is built:
// the drawable of a mesh, where a light goes and how a node receives its transforms.
#pragma once

#include "Core/Array.h"
#include "Core/FColor.h"
#include "Core/List.h"
#include "Core/Matrix.h"
#include "Core/MemFile.h"
#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/UdfNode.h"
#include "Core/ValueTypes.h"
#include "Core/Vector.h"
#include "Effect/LightSet.h"
#include "Effect/LightingInfo.h"
#include "Effect/Material.h"
#include "Scene/Hierarchy.h"

class FrameSequence;
class Light;
class SkinData;
class SkinnedMesh;

// Bits of LOADDESC::flags.
enum LoadFlags : u32 {
    kLoadOptimizeMeshes = 0x01,    // optimise meshes for the vertex cache unless a mesh says otherwise
    kLoadFilterNormalMaps = 0x02,  // regenerate the mip levels of normal maps made from height maps
    kLoadTextureSearch = 0x04,     // material maps are requested with the extension search
    kLoadNoReflectBump = 0x08,     // "Reflect" and "Bump" maps are ignored
    kLoadSkinInterval = 0x10,      // skinned meshes take `value` as their re-skin interval
    kLoadSkinNotRewritten = 0x20,  // skinned vertex data is not marked as rewritten every pass
};

// What one AdvScene::Load is asked to do.
struct LOADDESC {
    // Transforms, animations and the animation range of the load are filed under it.
    String name;
    // LoadFlags: kLoadOptimizeMeshes, plus kLoadFilterNormalMaps while the loader option
    // the description is made with is on (set by the constructor).
    u32 flags = kLoadOptimizeMeshes;
    // With kLoadSkinInterval: the re-skin interval in milliseconds.
    i32 value = 0;

    // The application hands in its loader option; without one the option is on, as it is
    // from start-up.
    explicit LOADDESC(u8 loaderOption = 1);
};

// The size of the stored transform record: 16 floats and two kind words (files from the
// exporter carry 68 bytes, the last word missing).
inline constexpr u32 kTransformRecordSize = 72;
// The stored colour: four floats a, r, g, b.
inline constexpr u32 kColorRecordSize = 16;
// The stored box: centre x, y, z, then size x, y, z.
inline constexpr u32 kBoxRecordSize = 24;

// Named time ranges of the loads.
using AnimationRangeMap = StringMapOf<TimeRange>;
// Loaded mesh records by node name (the scene owns them).
using MeshRecordMap = StringMapOf<FrameSequence*>;

class AdvScene {
public:
    AdvScene();
    AdvScene(const AdvScene&) = delete;
    AdvScene& operator=(const AdvScene&) = delete;
    virtual ~AdvScene();

    // ---- what a product scene may take over ----
    // Builds the node's drawable from a loaded mesh record (material may be null, skin is
    // null for a mesh without bones) and attaches it. The scene keeps owning record and
    // skin.
    virtual bool CreateMesh(UdfNode* entry, Hierarchy* node, Material* material, FrameSequence* record,
                            SkinData* skin);
    // Takes over light (deleted when it cannot be held) and adds it, with an empty name,
    // to the scene's lights. The entry is not used. True.
    virtual bool AddLight(UdfNode* entry, Light* light);
    // Gives the node its transforms from the two stored matrices, filed under the load
    // name.
    virtual bool SetNodeTransform(UdfNode* entry, Hierarchy* node, const Matrix& nodeMatrix,
                                  const Matrix& objectMatrix);

    // ---- loading ----
    // LoadUdf, with an ERRORS record naming the file when it fails. A memory block
    // (patht::FromMemory) loads like a file.
    bool Load(patht file, LOADDESC* desc);
    // The load itself; false when the file cannot be opened or its root read.
    bool LoadUdf(patht file, LOADDESC* desc);
    // Reads one node entry (and its children) under parent; the node, or null when it
    // could not be made.
    Hierarchy* LoadNode(UdfNode* entry, Hierarchy* parent);
    // Reads "NodeTM" and "ObjectTM"; false (the node keeps its transforms) when either is
    // missing, else SetNodeTransform's result.
    bool ReadNodeTransform(UdfNode* entry, Hierarchy* node);
    // Reads the light entries of a "Lights" block in order; stops with false at the
    // first that cannot be made.
    bool LoadLights(UdfNode* block);
    // The line shape of a "Shape" node into its properties; false without "Lines".
    bool LoadLines(UdfNode* entry, Hierarchy* node);
    // The node's "Animation" block, filed under the load name. True.
    bool LoadAnimation(UdfNode* entry, Hierarchy* node);

    // ---- meshes and materials ----
    // Reads a "Mesh" entry into a mesh record and hands it to CreateMesh; false when the
    // entry holds no usable mesh (the node then has no drawable).
    bool LoadMesh(UdfNode* entry, Hierarchy* node);
    // Reads every material of a "Materials" block into the material map (the first
    // definition of a name wins).
    bool LoadMaterials(UdfNode* block);
    // Reads one material definition into a layer.
    bool ReadMaterial(UdfNode* entry, MaterialLayer& layer);
    // Applies the entry's effect and state properties to a copy of material (the node's
    // own material when null) and stores it as the node's material.
    bool ReadMaterialStates(UdfNode* entry, Hierarchy* node, const Material* material);

    // ---- node properties ----
    // Copies the entry's "Props" into list (keys already there are kept); with inherit,
    // then those of each enclosing node entry that has a "Props" block.
    static void ReadProps(UdfNode* entry, HandleParam& list, bool inherit);
    // The document entry holding key (compared without case): in the entry's "Props", or
    // among its own keys when it has none; with inherit, then in the enclosing node
    // entries' "Props". Null when absent.
    static UdfNode* FindProp(UdfNode* entry, const String& key, bool inherit);
    // FindProp with inheritance, read as text (a trailing NUL dropped).
    static bool ReadPropString(UdfNode* entry, const String& key, String& out);
    // FindProp with inheritance, read as a set of words in entry order: the leaf
    // children's texts, or the entry's own text; a word already present (compared
    // without case) is not added again. False when the key is absent.
    static bool ReadPropSet(UdfNode* entry, const String& key, StringList& out);
    // Whether a word set holds word, compared without case.
    static bool SetHasWord(const StringList& set, const String& word);

    // ---- values of a document entry ----
    // Copies at most size bytes of the child's data over record; false when the child is
    // absent (record untouched).
    static bool ReadRecord(UdfNode* entry, const char* key, void* record, u32 size);
    // A transform record: both kind words cleared first, so a 68-byte value gives a
    // matrix of kind 0.
    static bool ReadTransform(UdfNode* entry, const char* key, Matrix& out);
    // A colour record over out as it stands (a short value keeps the rest).
    static bool ReadColor(UdfNode* entry, const char* key, FColor& out);
    // A scalar record (float or 32-bit integer).
    static bool ReadFloat(UdfNode* entry, const char* key, f32& out);
    static bool ReadInt(UdfNode* entry, const char* key, i32& out);
    // A text value; a trailing NUL is dropped.
    static bool ReadString(UdfNode* entry, const char* key, String& out);
    static String DataText(const UdfNode* value);
    // Visits the children of a document entry in their stored order (none for null).
    template <class Fn>
    static void ForEachEntry(UdfNode* entry, Fn&& fn);

    // ---- the scene ----
    Hierarchy* GetRoot() { return &root; }
    Hierarchy* GetBoneRoot() { return &boneRoot; }
    Hierarchy* GetCameraRoot() { return &cameraRoot; }
    MaterialMap& GetMaterials() { return materials; }
    LightingInfo& GetLighting() { return lighting; }
    MemFile& GetSearchPaths() { return searchPaths; }
    Material& GetDefaultMaterial() { return defaultMaterial; }
    const LOADDESC& GetLoadDesc() const { return desc; }
    MeshRecordMap& GetMeshes() { return meshes; }
    PtrListOf<SkinnedMesh>& GetSkinnedMeshes() { return skinnedMeshes; }
    // The range stored under a load name; false when that name was never loaded.
    bool GetAnimationRange(const String& loadName, TimeRange& out) const;

    // Files a mesh record under a node name; the scene owns it from then on (a record
    // filed earlier under the name stays alive, for its drawable, until the scene goes).
    void AddMeshRecord(const String& nodeName, FrameSequence* record);
    // The scene owns skin data handed to a skinned mesh.
    void AddSkin(SkinData* skin);

private:
    // Owns every mesh record and skin the scene was given. Declared before the nodes, so
    // it goes after them: drawables never outlive the records they draw from.
    struct RecordStore {
        RecordStore() = default;
        RecordStore(const RecordStore&) = delete;
        RecordStore& operator=(const RecordStore&) = delete;
        ~RecordStore();
        PtrListOf<FrameSequence> records;
        PtrListOf<SkinData> skins;
    };
    RecordStore store_;

protected:
    MaterialMap materials;
    LightSet lightSet;
    MemFile searchPaths;
    Material defaultMaterial;
    LOADDESC desc;
    String label;  // a name for the scene; the loader does not read it
    Hierarchy cameraRoot;
    Hierarchy root;
    Hierarchy boneRoot;
    MeshRecordMap meshes;
    LightingInfo lighting;
    AnimationRangeMap animationRanges;
    PtrListOf<SkinnedMesh> skinnedMeshes;  // not owned: their nodes own them

private:
    void BindPose(Hierarchy* node, const Matrix& parentWorld);
    void BindSkinnedMeshes();
    void StoreAnimationRange();
};

template <class Fn>
void AdvScene::ForEachEntry(UdfNode* entry, Fn&& fn) {
    if (!entry) return;
    UdfChildMap& children = entry->Children();
    UdfChildMap::Node* node = children.first;
    for (u32 i = 0; i < children.count; ++i, node = node->next)
        if (node->value) fn(node->value);
}

// The points of a line shape (x, y, z of each stored point), held by the node property
// "ShapeLine"; "LineClosed" holds a one-byte flag.
using ShapeLine = Array<Vec3>;
u32 ShapeLineTypeId();
u32 ByteFlagTypeId();
// The line shape and its closed flag among a node's properties; null and false when absent.
const ShapeLine* FindShapeLine(const HandleParam& properties);
bool FindLineClosed(const HandleParam& properties, u8* closed);

// The time range of the animations filed under name in a subtree; {0, 0} and false when
// none is.
bool SubtreeAnimationRange(Hierarchy* node, const String& name, TimeRange& out);
