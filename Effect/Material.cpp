// Construction, copying and the name map of materials. A material owns its keyed
// variants; copying a material copies them (a variant's own variants included), so two
// materials never share a variant.
#include "Effect/Material.h"

#include "Core/RenderDefaults.h"

namespace {

void SetColor(D3DCOLORVALUE& c, f32 a, f32 r, f32 g, f32 b) {
    c.r = r;
    c.g = g;
    c.b = b;
    c.a = a;
}

bool SameColor(const D3DCOLORVALUE& x, const D3DCOLORVALUE& y) {
    return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

}  // namespace

TextureStage::TextureStage() : transform(IdentityMatrix) {}

void MaterialColors::Reset() {
    SetDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
    SetAmbient(1.0f, 1.0f, 1.0f, 1.0f);
    SetSpecular(1.0f, 1.0f, 1.0f, 1.0f);
    SetEmissive(0.0f, 0.0f, 0.0f, 0.0f);
    value.Power = 16.0f;
}

void MaterialColors::SetDiffuse(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Diffuse, a, r, g, b); }
void MaterialColors::SetAmbient(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Ambient, a, r, g, b); }
void MaterialColors::SetSpecular(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Specular, a, r, g, b); }
void MaterialColors::SetEmissive(f32 a, f32 r, f32 g, f32 b) { SetColor(value.Emissive, a, r, g, b); }

bool MaterialColors::Equals(const MaterialColors& other) const {
    return SameColor(value.Diffuse, other.value.Diffuse) && SameColor(value.Ambient, other.value.Ambient) &&
           SameColor(value.Specular, other.value.Specular) && SameColor(value.Emissive, other.value.Emissive) &&
           value.Power == other.value.Power;
}

MaterialLayer::MaterialLayer() {
    for (u32 i = 0; i < 8; ++i) stages[i].texCoordIndex = i;
}

void KeyedMaterials::Set(f32 key, const Material& material) {
    Material* copy = new Material(material);
    if (auto* node = map.Find(key)) {
        delete node->value;
        node->value = copy;
        return;
    }
    if (!map.Set(key, copy, true)) delete copy;
}

void KeyedMaterials::Clear() {
    if (map.count) {
        auto* node = map.first;
        for (u32 i = 0; i < map.count; ++i, node = node->next) delete node->value;
    }
    map.Clear();
}

void KeyedMaterials::Assign(const KeyedMaterials& other) {
    if (this == &other) return;
    Clear();
    modeWords[0] = other.modeWords[0];
    modeWords[1] = other.modeWords[1];
    if (!other.map.count) return;
    auto* node = other.map.first;
    for (u32 i = 0; i < other.map.count; ++i, node = node->next) Set(node->key, *node->value);
}

bool KeyedMaterials::IsActive() const { return map.count > 0 && TheRenderDefaults().materialSwitch != 0; }

Material* KeyedMaterials::Evaluate(Material* owner, f32 value) const {
    if (!map.count) return owner;
    if (!TheRenderDefaults().materialSwitch) value = TheRenderDefaults().materialKey;
    FloatMapOf<Material*>::Node* before = nullptr;
    FloatMapOf<Material*>::Node* after = nullptr;
    AnimatedValue::FindSegment(map, value, before, after);
    if (after) return after->value;
    return before ? before->value : owner;
}

Material::Material() {
    layers[0].stages[0].colorOp = kTextureOpAutomatic;
    layers[0].stages[0].alphaOp = kTextureOpAutomatic;
}

Material::Material(const Material& other) { Assign(other); }

Material::~Material() = default;

Material& Material::Assign(const Material& other) {
    if (this == &other) return *this;
    reserved0 = other.reserved0;
    keyed.Assign(other.keyed);
    layerCount = other.layerCount;
    for (i32 i = 0; i < 3; ++i) layers[i].Assign(other.layers[i]);
    reserved1 = other.reserved1;
    alphaTestAllowed = other.alphaTestAllowed;
    values.Assign(other.values);
    return *this;
}

bool MaterialMap::Add(const String& name, const Material& material) {
    if (map.Contains(name)) return false;
    Material* copy = new Material(material);
    if (map.Insert(name, copy, true)) return true;
    delete copy;
    return false;
}

void MaterialMap::Put(const String& name, const Material& material) {
    if (auto* node = map.Find(name)) {
        node->value->Assign(material);
        return;
    }
    Add(name, material);
}

Material* MaterialMap::Find(const String& name) const {
    auto* node = map.Find(name);
    return node ? node->value : nullptr;
}

bool MaterialMap::Get(const String& name, Material& out) const {
    Material* found = Find(name);
    if (!found) return false;
    out.Assign(*found);
    return true;
}

void MaterialMap::Clear() {
    if (map.count) {
        auto* node = map.first;
        for (u32 i = 0; i < map.count; ++i, node = node->next) delete node->value;
    }
    map.Clear();
}
