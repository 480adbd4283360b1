// Materials of a model: the "Materials" block fills the scene's material map (the first
// definition of a name wins, also across loads), one material layer per entry or per
// sub-material, with colours and texture maps; and every new node's effect and render-state
// properties are applied to its copy of a material.
//
// A "Bump" map is a height map: the normal map made from it is first looked for under a
// name of its own beside it (the height map's name, ".nhm", ten times the strength and
// ".dds"), so a precomputed one wins; otherwise the height map is loaded, turned into a
// normal map in place and registered under that name for the requests that follow.
// Nothing here fails a load: a texture, height map or effect that cannot be had leaves its
// slot or effect as it was and writes one line to the text file "log".
#include "Scene/AdvScene.h"

#include "Core/Log.h"
#include "Core/Path.h"
#include "Core/TextCompare.h"
#include "Core/UdfNode.h"
#include "D3d/Texture.h"
#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"
#include "Effect/Effect.h"
#include "Effect/EffectManager.h"
#include "Effect/Material.h"
#include "Scene/Hierarchy.h"

#include <cstring>

namespace {

// Where texture requests look: material maps in the disk folders and the archive,
// precomputed normal maps on disk.
constexpr u32 kMaterialMapPlaces = kPathDisk | kPathArchive;
constexpr u32 kNormalMapPlaces = kPathDisk;

// The quality the loader asks effects for.
constexpr i32 kLoaderEffectQuality = 200;

struct NamedValue {
    const char* name;
    u32 value;
};

// The words of the filter and address properties; case matters, and a word not in its
// table gives 0.
constexpr NamedValue kFilterWords[] = {
    {"none", D3DTEXF_NONE},          {"point", D3DTEXF_POINT},           {"linear", D3DTEXF_LINEAR},
    {"anisotropic", D3DTEXF_ANISOTROPIC}, {"pyrquad", D3DTEXF_PYRAMIDALQUAD}, {"guasquad", D3DTEXF_GAUSSIANQUAD},
};
constexpr NamedValue kAddressWords[] = {
    {"wrap", D3DTADDRESS_WRAP},
    {"mirror", D3DTADDRESS_MIRROR},
    {"clamp", D3DTADDRESS_CLAMP},
    {"border", D3DTADDRESS_BORDER},
};

template <u32 N>
u32 LookUpWord(const NamedValue (&table)[N], const String& word) {
    for (const NamedValue& entry : table)
        if (String::EqualsText(word, entry.name)) return entry.value;
    return 0;
}

// A stored colour (a, r, g, b) over the values it holds; false when absent.
bool ReadArgb(UdfNode* entry, const char* key, f32 (&argb)[4]) {
    return AdvScene::ReadRecord(entry, key, argb, sizeof argb);
}

bool HasWord(const StringList& words, const char* word) { return AdvScene::SetHasWord(words, String(word)); }

// The words of a set in the order they were read.
template <class Fn>
void ForEachWord(const StringList& words, Fn&& fn) {
    const StringList::Node* node = words.anchor;
    for (i32 i = 0; i < words.count; ++i, node = node->next) fn(node->payload);
}

// The combine kind of the first stage's alpha from the words of "AlphaUse".
i32 AlphaCombineKind(const StringList& words) {
    const bool factor = HasWord(words, "factor");
    const bool texture = HasWord(words, "texture");
    const bool diffuse = HasWord(words, "diffuse");
    if (factor && texture) return 3;
    if (factor && diffuse) return 5;
    if (factor) return 1;
    if (diffuse && texture) return 6;
    if (diffuse) return 4;
    if (texture) return 2;
    return 0;
}

// "1" switches a state on; any other text switches it off.
u8 SwitchValue(const String& text) { return String::EqualsText(text, "1") ? 1 : 0; }

void WriteTextLog(const String& line) { DebugLog(line + "\n", String()); }

// The name a normal map made from a height map is kept under: the height map's name
// without its extension, ".nhm", the strength number and ".dds".
String NormalMapName(const String& heightMap, i32 strength) {
    return GetFolderWithSlash(heightMap) + StripExtension(heightMap) + ".nhm" + String::FromInt(strength, 10) + ".dds";
}

// A material map's address modes: "Mirror", "Wrap", anything else clamps.
void ReadTexAddress(UdfNode* entry, SamplerDesc& slot) {
    auto mode = [](const String& word) -> u32 {
        if (String::EqualsText(word, "Mirror")) return D3DTADDRESS_MIRROR;
        if (String::EqualsText(word, "Wrap")) return D3DTADDRESS_WRAP;
        return D3DTADDRESS_CLAMP;
    };
    String word;
    if (AdvScene::ReadString(entry, "TexAddrU", word)) slot.addressU = mode(word);
    if (AdvScene::ReadString(entry, "TexAddrV", word)) slot.addressV = mode(word);
}

// The texture a request names, searched through the scene's folders first.
Texture* LoadTexture(TextureDesc& request, MemFile& searchPaths) { return TheTextureManager().Load(request, &searchPaths); }

// A "Reflect" or "Refract" map: its own "Textures" may name the file to load ("Ambient")
// and a gloss map ("Diffuse"); the map itself is tried as a cube map first, then as a
// plain texture.
void ReadEnvironmentMap(UdfNode* map, const TextureDesc& request, SamplerDesc slot, String fileName,
                        MaterialLayer& layer, u32 envSlot, u32 glossSlot, MemFile& searchPaths) {
    AdvScene::ForEachEntry(map->FindChild("Textures"), [&](UdfNode* part) {
        if (String::EqualsText(part->GetTypeName(), "Ambient")) {
            AdvScene::ReadString(part, "FileName", fileName);
        } else if (String::EqualsText(part->GetTypeName(), "Diffuse")) {
            TextureDesc glossRequest = request;
            String glossName;
            AdvScene::ReadString(part, "FileName", glossName);
            glossRequest.path.name = glossName;
            SamplerDesc gloss;
            gloss.scale = slot.scale;
            ReadTexAddress(part, gloss);
            gloss.texture = LoadTexture(glossRequest, searchPaths);
            if (!gloss.texture) WriteTextLog("Cannot load gloss texture: " + glossName);
            layer.samplers[glossSlot] = gloss;
        }
    });
    TextureDesc cube = request;
    cube.path.name = fileName;
    cube.isCube = 1;
    Texture* texture = LoadTexture(cube, searchPaths);
    if (!texture) {
        TextureDesc flat = request;
        flat.path.name = fileName;
        flat.isCube = 0;
        texture = LoadTexture(flat, searchPaths);
    }
    if (!texture) {
        WriteTextLog("Cannot load texture: " + fileName);
        return;
    }
    slot.texture = texture;
    layer.samplers[envSlot] = slot;
}

// A "Bump" map: the precomputed normal map beside the height map when there is one, else
// the height map turned into a normal map in place and registered under that name.
void ReadNormalMap(const TextureDesc& request, SamplerDesc slot, const String& fileName, f32 amount, u32 loadFlags,
                   MaterialLayer& layer, MemFile& searchPaths) {
    const i32 strength = static_cast<i32>(amount * 10.0f);
    const String normalName = NormalMapName(fileName, strength);
    const bool script = StrCompareNoCase(GetExtension(fileName).c_str(), "ts") == 0;
    if (!script) {
        TextureDesc precomputed = request;
        precomputed.path = patht(normalName);
        precomputed.path.flags = kNormalMapPlaces;
        if (Texture* found = LoadTexture(precomputed, searchPaths)) {
            slot.texture = found;
            layer.samplers[kBumpMap] = slot;
            return;
        }
    }
    TextureDesc heights = request;
    heights.flags |= TEXDESC_POOL;
    heights.pool = D3DPOOL_SYSTEMMEM;
    Texture* texture = LoadTexture(heights, searchPaths);
    if (!texture) {
        WriteTextLog("Cannot load heightmap texture: " + fileName);
        return;
    }
    Texture* pixels = texture->IsAnimated() && texture->GetParentTexture() ? texture->GetParentTexture() : texture;
    pixels->Reload(D3DFMT_R8G8B8, f32(strength));
    // Later requests for the normal map's own name find this one.
    TheTextureManager().AddName(texture, patht(GetFolderWithSlash(heights.path.name) + GetFileName(normalName)));
    if ((loadFlags & kLoadFilterNormalMaps) && !script) pixels->FilterMipLevels();
    slot.texture = texture;
    layer.samplers[kBumpMap] = slot;
}

}  // namespace

// ---- the "Materials" block --------------------------------------------------------------

bool AdvScene::LoadMaterials(UdfNode* block) {
    if (!block) return false;
    ForEachEntry(block, [&](UdfNode* entry) {
        const String& name = entry->GetName();
        if (materials.Find(name)) return;  // the first definition of a name wins
        Material material(defaultMaterial);
        UdfNode* subs = entry->FindChild("Materials");
        if (subs && subs->Children().count > 0) {
            ForEachEntry(subs, [&](UdfNode* sub) {
                i32 id = 0;
                ReadInt(sub, "MaterialSubId", id);
                if (id < 0 || id > 2) return;  // no such layer: the sub-material is skipped
                ReadMaterial(sub, material.layers[id]);
                // A filled layer is drawn: the material has at least as many layers.
                if (material.layerCount < id + 1) material.layerCount = id + 1;
            });
        } else {
            ReadMaterial(entry, material.layers[0]);
        }
        material.AssignBumpEffects();
        material.BuildPasses();
        materials.Put(name, material);
    });
    return true;
}

// ---- one layer --------------------------------------------------------------------------

bool AdvScene::ReadMaterial(UdfNode* entry, MaterialLayer& layer) {
    if (!entry) return false;
    layer.blendKindName = entry->GetName();
    layer.colors.Reset();
    f32 c[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (ReadArgb(entry, "Ambient", c)) layer.colors.SetAmbient(c[0], c[1], c[2], c[3]);
    f32 d[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (ReadArgb(entry, "Diffuse", d)) layer.colors.SetDiffuse(d[0], d[1], d[2], d[3]);
    f32 s[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    if (ReadArgb(entry, "Specular", s)) layer.colors.SetSpecular(s[0], s[1], s[2], s[3]);
    f32 e[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (ReadArgb(entry, "Emissive", e)) layer.colors.SetEmissive(e[0], e[1], e[2], e[3]);
    f32 strength = 0.0f;
    if (ReadFloat(entry, "ShineStrength", strength)) layer.colors.SetPower((1.0f - strength) * 16.0f);
    layer.cullMode = entry->FindChild("TwoSided") ? D3DCULL_NONE : D3DCULL_CCW;
    f32 opacity = layer.opacity;
    if (ReadFloat(entry, "Opacity", opacity)) layer.opacity = opacity;

    const bool ignoreReflectAndBump = (desc.flags & kLoadNoReflectBump) != 0;
    ForEachEntry(entry->FindChild("Textures"), [&](UdfNode* map) {
        SamplerDesc slot;
        ReadTexAddress(map, slot);
        String fileName;
        ReadString(map, "FileName", fileName);
        f32 amount = 100.0f;
        ReadFloat(map, "Amount", amount);
        slot.scale = amount;
        TextureDesc request;
        request.path = patht(fileName);
        request.path.flags = kMaterialMapPlaces;
        if (desc.flags & kLoadTextureSearch) request.flags |= TEXDESC_TRY_EXTENSIONS;

        const String& kind = map->GetTypeName();
        const bool diffuse = String::EqualsText(kind, "Diffuse");
        if (diffuse || String::EqualsText(kind, "Shine")) {
            slot.texture = LoadTexture(request, searchPaths);
            if (!slot.texture) {
                WriteTextLog("Cannot load texture: " + fileName);
                return;
            }
            layer.samplers[diffuse ? kBaseMap : kSpecularMap] = slot;
        } else if (String::EqualsText(kind, "Reflect")) {
            if (!ignoreReflectAndBump)
                ReadEnvironmentMap(map, request, slot, fileName, layer, kEnvMap, kGlossMap, searchPaths);
        } else if (String::EqualsText(kind, "Refract")) {
            ReadEnvironmentMap(map, request, slot, fileName, layer, kEnvMap2, kGlossMap2, searchPaths);
        } else if (String::EqualsText(kind, "Bump")) {
            if (!ignoreReflectAndBump) ReadNormalMap(request, slot, fileName, amount, desc.flags, layer, searchPaths);
        }
    });
    return true;
}

// ---- effect and state properties of a node ----------------------------------------------

bool AdvScene::ReadMaterialStates(UdfNode* entry, Hierarchy* node, const Material* material) {
    if (!entry || !node) return false;
    Material m(material ? *material : node->GetMaterial());
    MaterialLayer& first = m.layers[0];
    String text;

    if (ReadPropString(entry, String("Effect"), text) && text.length > 0) {
        if (Effect* effect = TheEffectManager().FindEffect(text, kLoaderEffectQuality))
            first.effect = effect;
        else
            WriteTextLog("Effect '" + text + "' is not supported even with fallback");
    }
    if (ReadPropString(entry, String("Blend"), text) || ReadPropString(entry, String("Blending"), text)) {
        if (String::EqualsText(text, "additive"))
            first.SetBlendMode(kBlendAdditive);
        else if (String::EqualsText(text, "multiply"))
            first.SetBlendMode(kBlendModulate);
    }
    SamplerDesc& diffuse = first.samplers[kBaseMap];
    if (ReadPropString(entry, String("MinFilter"), text)) diffuse.minFilter = LookUpWord(kFilterWords, text);
    if (ReadPropString(entry, String("MagFilter"), text)) diffuse.magFilter = LookUpWord(kFilterWords, text);
    if (ReadPropString(entry, String("MipFilter"), text)) diffuse.mipFilter = LookUpWord(kFilterWords, text);
    if (ReadPropString(entry, String("TexAddrU"), text)) diffuse.addressU = LookUpWord(kAddressWords, text);
    if (ReadPropString(entry, String("TexAddrV"), text)) diffuse.addressV = LookUpWord(kAddressWords, text);
    if (ReadPropString(entry, String("ZWrite"), text)) first.depthWrite = SwitchValue(text);
    if (ReadPropString(entry, String("ZEnable"), text)) first.depthTest = SwitchValue(text);
    int number = 0;
    if (ReadPropString(entry, String("AlphaTest"), text) && text.ToInt(&number)) first.alphaRef = u32(number);
    StringList words;
    i32 alphaCombine = -1;
    if (ReadPropSet(entry, String("AlphaUse"), words)) {
        alphaCombine = AlphaCombineKind(words);
        if (HasWord(words, "factor")) {
            f32 alpha = 0.5f;
            if (ReadPropString(entry, String("Alpha"), text) && !text.ToFloat(&alpha)) alpha = 0.5f;
            first.opacity = alpha;
        }
    }
    if (ReadPropString(entry, String("SpecularEnable"), text)) first.specularEnabled = SwitchValue(text);
    if (ReadPropString(entry, String("LocalViewer"), text)) first.localViewer = SwitchValue(text);
    if (ReadPropString(entry, String("Lit"), text)) first.lit = SwitchValue(text);
    if (ReadPropString(entry, String("AlphaOrder"), text) && text.ToInt(&number)) node->SetDrawOrder(number);
    StringList qualities;
    if (ReadPropSet(entry, String("EffectQuality"), qualities)) {
        // One word per layer, in order; words past the third have no layer.
        i32 layerIndex = 0;
        ForEachWord(qualities, [&](const String& word) {
            if (layerIndex > 2) return;
            int quality = 0;
            if (StrCompareNoCase(word.c_str(), "custom") == 0)
                m.layers[layerIndex].effectQuality = -2;
            else if (word.ToInt(&quality))
                m.layers[layerIndex].effectQuality = quality;
            ++layerIndex;
        });
    }
    m.BuildPasses();
    // Building the passes makes every stage's alpha automatic: the combine the properties
    // ask for goes in afterwards, or it would never be drawn.
    if (alphaCombine >= 0) m.layers[0].stages[0].SetCombine(alphaCombine);
    node->GetMaterial() = m;
    return true;
}
