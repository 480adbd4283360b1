// Loading the variants of an effect: the definitions are added in a fixed order (the
// caller's, then per kind its lights, its count and its extra definition, then the
// interpolators and the shader model) because that order is part of the cache key and of
// the compiled file's name.
//
// Drawing: the pass state machine keeps track of the one technique that is begun and the
// one pass that is open, so that End closes exactly what was opened, whatever subset of
// the passes the caller drew, and the blend states saved for the later techniques are put
// back only when they were saved.
#include "Effect/Effect.h"

#include "Core/D3dxLibrary.h"
#include "Core/ProgramObjects.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/EffectManager.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"

#include <cmath>
#include <cstring>

namespace {

u32 NextEffectSequence() {
    static u32 next = 0;
    return ++next;
}

String Decimal(i32 value) { return String::FromInt(value, 10); }

const char* const kStateParamNames[kStateParamCount] = {"FogEnable", "RangeFogEnable", "FogEnd", "FogDelta",
                                                         "Ambient"};
const char* const kLightKindParamNames[kLightParamKinds] = {"Dir", "Point", "Spot"};
const char* const kLightFieldNames[kLightFieldCount] = {"Diff", "Spec", "Pos", "Dir", "Att", "Falloff", "Theta", "Phi"};

// The blend that adds a later technique's light to what the first drew: blending on,
// SRCALPHA over ONE, forced and with the depth bias added to the saved one, a small pull
// towards the eye so the same surface passes the depth test again, and depth writes off.
constexpr u8 kAddBlendEnable = 1;
constexpr u32 kAddSrcBlend = D3DBLEND_SRCALPHA;
constexpr u32 kAddDestBlend = D3DBLEND_ONE;
constexpr u32 kAddFlags = kSavedForce | kSavedAddDepthBias;
constexpr f32 kAddDepthBias = -0.000001f;
constexpr f32 kAddSlopeBias = 1.0f;

// Two cone angles this close give equal cosines, and the shader divides by their difference.
constexpr f32 kConeSeparation = 0.00001f;

f32 FloatState(D3DRENDERSTATETYPE state) {
    DWORD bits = 0;
    StateCache::GetRenderState(state, &bits);
    f32 value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

D3DXMATRIX ToD3dx(const Matrix& m) {
    D3DXMATRIX out;
    std::memcpy(&out, m.m, sizeof m.m);
    return out;
}

// A position into object space: the full transform, projected back to w = 1.
D3DXVECTOR4 ObjectPoint(const Vec3& point, const D3DXMATRIX& inverseWorld) {
    D3DXVECTOR3 v(point.x, point.y, point.z);
    D3dx().Vec3TransformCoord(&v, &v, &inverseWorld);
    return D3DXVECTOR4(v.x, v.y, v.z, 1.0f);
}

// A direction into object space: the rotation and scale only (a translation would tilt it),
// then normalised; a zero direction stays zero.
D3DXVECTOR4 ObjectDirection(const Vec3& d, const D3DXMATRIX& inverseWorld) {
    const auto& m = inverseWorld.m;
    f32 x = d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0];
    f32 y = d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1];
    f32 z = d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2];
    const f32 length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0f) {
        x /= length;
        y /= length;
        z /= length;
    }
    return D3DXVECTOR4(x, y, z, 1.0f);
}

D3DXVECTOR4 Modulate(const FColor& light, const D3DCOLORVALUE& material) {
    return D3DXVECTOR4(light.r * material.r, light.g * material.g, light.b * material.b, light.a * material.a);
}

// Keys of a string map in key order, whatever order its thread keeps.
void KeysInOrder(const StringMapOf<i32>::Node* node, Array<const StringMapOf<i32>::Node*>& out) {
    if (!node) return;
    KeysInOrder(node->left, out);
    out.Add(node);
    KeysInOrder(node->right, out);
}

i32 KindRank(const StringArray& order, const String& kind) {
    for (i32 i = 0; i < order.count; ++i)
        if (order[i] == kind) return i;
    return order.count;
}

// Numbers an entry's lights as the variant's definitions do: kinds in the declared order,
// lights of one kind in the order they were taken.
void SortByKindOrder(Array<RefHandle<Light>>& lights, const StringArray& order) {
    for (i32 i = 1; i < lights.count; ++i) {
        for (i32 j = i; j > 0; --j) {
            const i32 a = KindRank(order, LightKindName(lights[j - 1]->GetType()));
            const i32 b = KindRank(order, LightKindName(lights[j]->GetType()));
            if (a <= b) break;
            RefHandle<Light> held(lights[j]);
            lights[j] = lights[j - 1];
            lights[j - 1] = held;
        }
    }
}

void AddLabel(TechniqueRecord& query, const String& label, i32 delta) {
    auto* node = query.annotations.Find(label);
    if (!node) node = query.annotations.Insert(label, 0);
    node->value += delta;
    query.annotationSum += delta;
    if (node->value == 0) query.annotations.Remove(label);
}

}  // namespace

const MaterialLayer* LayerOf(const Material* material, i32 layer) {
    if (!material) return nullptr;
    if (layer < 0) layer = 0;
    if (layer >= 3) return nullptr;
    return &material->layers[layer];
}

Effect::Effect() : sequence(NextEffectSequence()) {
    techniqueNames.sortedThread = 1;
    techniqueIndex.sortedThread = 1;
}

Effect::~Effect() {
    TheFrameNotifier().Remove(this);
    Unregister();
    currentSelection = nullptr;
    selections.Clear();
}

bool Effect::Create() { return Register(); }

bool Effect::Invalidate() {
    parameterRefresh = 1;
    return true;
}

void Effect::OnFrame(u32 frame) {
    // A selection used in the frame just finished is kept; any other is freed, and with it
    // the current pointer if it was the current one.
    if (selections.Purge(frame - 1, currentSelection)) ClearCurrentSelection();
}

void Effect::ClearCurrentSelection() {
    CloseOpenEntry();
    currentSelection = nullptr;
}

bool Effect::IsTransparent(const Material* material, i32 layer) const {
    const MaterialLayer* l = LayerOf(material, layer);
    if (!l) return false;
    if (l->opacity != 1.0f) return true;
    Texture* base = l->BaseTexture();
    return base && base->HasAlpha();
}

D3DXHANDLE Effect::GetLightHandle(LightParamKind kind, i32 number, LightField field) const {
    if (kind >= kLightParamKinds || number < 1 || number > kLightsPerKind || field >= kLightFieldCount) return nullptr;
    return lightHandles[kind][number - 1][field];
}

bool Effect::SetupLightTechnique(Material* material, i32 layer, i32 limit, const StringMapOf<i32>& plan,
                                 i32& passes) {
    passes = 0;
    currentMaterial = material;
    currentLayer = layer;
    const MaterialLayer* l = LayerOf(material, layer);
    if (!l || !material->context) return false;
    RenderContext& context = *material->context;
    const String technique = l->techniqueName.IsEmpty() ? defaultTechnique : l->techniqueName;
    const SelectionKey key{context.LightSetKey(), limit};
    const u32 frame = TheFrameNotifier().Frame();

    if (TechniqueSelection* cached = selections.Find(technique, key)) {
        if (cached != currentSelection) ClearCurrentSelection();
        currentSelection = cached;
        cached->lastUse = frame;
        // The queue reads the running total to decide whether one Begin can serve a batch:
        // it must be this selection's, not the last one built.
        passTotal = cached->totalPasses;
        passes = cached->totalPasses;
        return true;
    }

    ClearCurrentSelection();
    auto* selection = new TechniqueSelection();

    // The object's lights, cut to the limit.
    LightingInfo working;
    if (context.lighting) {
        working.ambient = context.lighting->ambient;
        context.lighting->ForEachLight([&](const RefHandle<Light>& light) {
            if (light) working.AddLight(light);
        });
    }
    working.LimitLights(context.box, limit);

    Array<RefHandle<Light>> remaining(0, 8);
    Array<String> labels(0, 8);
    working.ForEachLight([&](const RefHandle<Light>& light) {
        remaining.Add(light);
        labels.Add(LightKindName(light->GetType()));
    });
    // The plan labels the first lights of the list, suffix by suffix in key order.
    Array<const StringMapOf<i32>::Node*> steps(0, 4);
    KeysInOrder(plan.root, steps);
    i32 next = 0;
    for (const auto* step : steps) {
        for (i32 n = 0; n < step->value && next < labels.count; ++n, ++next) labels[next].Append(step->key);
    }

    undrawn.ClearLights();
    passTotal = 0;
    for (;;) {
        TechniqueRecord query;
        query.name = technique;
        Array<String> refused(0, 4);
        Array<RefHandle<Light>> taken(0, 4);
        Array<i32> keep(0, 8);
        for (i32 i = 0; i < remaining.count; ++i) {
            bool isRefused = false;
            for (const String& r : refused) isRefused = isRefused || r == labels[i];
            if (isRefused) {
                keep.Add(i);
                continue;
            }
            AddLabel(query, labels[i], 1);
            if (FindTechnique(techniqueIndex, query)) {
                taken.Add(remaining[i]);
            } else {
                AddLabel(query, labels[i], -1);
                refused.Add(labels[i]);
                keep.Add(i);
            }
        }
        const TechniqueRecord* found = nullptr;
        if (!(taken.count == 0 && remaining.count > 0)) found = FindTechnique(techniqueIndex, query);
        selection->query = query;
        if (found && found->owner) {
            TechniqueEntry entry;
            entry.technique = found->name;
            entry.code = found->owner;
            entry.passes = static_cast<i32>(found->passes);
            entry.lights = taken;
            SortByKindOrder(entry.lights, kindOrder);
            selection->entries.Add(entry);
            passTotal += entry.passes;
            Array<RefHandle<Light>> left(0, 8);
            Array<String> leftLabels(0, 8);
            for (i32 i : keep) {
                left.Add(remaining[i]);
                leftLabels.Add(labels[i]);
            }
            remaining = left;
            labels = leftLabels;
        } else {
            if (remaining.count == 0) break;
            // No technique draws the first light with what is left: it is not drawn.
            undrawn.AddLight(remaining[0]);
            Array<RefHandle<Light>> left(0, 8);
            Array<String> leftLabels(0, 8);
            for (i32 i = 1; i < remaining.count; ++i) {
                left.Add(remaining[i]);
                leftLabels.Add(labels[i]);
            }
            remaining = left;
            labels = leftLabels;
        }
        if (remaining.count == 0) break;
    }

    selection->lastUse = frame;
    selection->totalPasses = passTotal;
    selections.Insert(technique, key, selection);
    currentSelection = selection;
    passes = passTotal;
    return true;
}

void Effect::CloseOpenEntry() {
    if (!currentSelection || openEntry < 0 || openEntry >= currentSelection->entries.count) {
        openEntry = -1;
        passOpen = false;
        return;
    }
    const TechniqueEntry& entry = currentSelection->entries[openEntry];
    if (ID3DXEffect* effect = entry.code ? entry.code->GetEffect() : nullptr) {
        if (passOpen) effect->EndPass();
        effect->End();
    }
    openEntry = -1;
    passOpen = false;
}

ID3DXEffect* Effect::OpenPassEffect() const {
    if (!passOpen || !currentSelection || openEntry < 0 || openEntry >= currentSelection->entries.count) return nullptr;
    const TechniqueEntry& entry = currentSelection->entries[openEntry];
    return entry.code ? entry.code->GetEffect() : nullptr;
}

bool Effect::BeginPass(i32 pass) {
    if (!currentSelection) return false;
    i32 index = 0;
    i32 local = 0;
    if (!currentSelection->LocatePass(pass, index, local)) return false;
    const TechniqueEntry& entry = currentSelection->entries[index];
    ID3DXEffect* effect = entry.code ? entry.code->GetEffect() : nullptr;
    if (!effect) return false;  // the variant failed to come back after a lost device

    if (local == 0 || openEntry != index) {
        CloseOpenEntry();
        const auto* technique = entry.code->techniques.Find(entry.technique);
        if (!technique || FAILED(effect->SetTechnique(technique->value))) return false;
        if (FAILED(effect->Begin(nullptr, D3DXFX_DONOTSAVESTATE))) return false;
        openEntry = index;
        ApplyTechniqueState(entry, index == 0);
    } else if (passOpen) {
        effect->EndPass();
        passOpen = false;
    }
    if (FAILED(effect->BeginPass(static_cast<UINT>(local)))) return false;
    passOpen = true;
    if (local == 0 && index > 0)
        savedStates.Save(kAddBlendEnable, kAddSrcBlend, kAddDestBlend, kAddFlags, kAddDepthBias, kAddSlopeBias);
    return true;
}

bool Effect::End() {
    if (!currentSelection || currentSelection->entries.count == 0) return true;
    CloseOpenEntry();
    if (savedStates.IsActive()) savedStates.Restore();
    StateCache::InvalidateTextureStates();
    return true;
}

bool Effect::LookUpStateParameters(ID3DXEffect* effect) {
    if (!effect) return false;
    for (u32 i = 0; i < kStateParamCount; ++i)
        if (D3DXHANDLE h = effect->GetParameterByName(nullptr, kStateParamNames[i])) stateHandles[i] = h;
    for (u32 kind = 0; kind < kLightParamKinds; ++kind) {
        for (i32 number = 1; number <= kLightsPerKind; ++number) {
            const String prefix = String(kLightKindParamNames[kind]) + Decimal(number);
            for (u32 field = 0; field < kLightFieldCount; ++field) {
                const String name = prefix + String(kLightFieldNames[field]);
                if (D3DXHANDLE h = effect->GetParameterByName(nullptr, name.c_str()))
                    lightHandles[kind][number - 1][field] = h;
            }
        }
    }
    return true;
}

void Effect::ApplyTechniqueState(const TechniqueEntry& entry, bool first) {
    // Handles belong to the effect they were read from: set the values there.
    ID3DXEffect* effect = ParameterEffect();
    if (!effect) effect = entry.code ? entry.code->GetEffect() : nullptr;
    if (!effect) return;
    DWORD fog = 0;
    StateCache::GetRenderState(D3DRS_FOGENABLE, &fog);
    if (stateHandles[kFogEnable]) effect->SetBool(stateHandles[kFogEnable], fog ? TRUE : FALSE);
    if (fog && stateHandles[kFogEnd] && stateHandles[kFogDelta]) {
        DWORD range = 0;
        StateCache::GetRenderState(D3DRS_RANGEFOGENABLE, &range);
        if (stateHandles[kRangeFogEnable]) effect->SetBool(stateHandles[kRangeFogEnable], range ? TRUE : FALSE);
        const f32 start = FloatState(D3DRS_FOGSTART);
        const f32 end = FloatState(D3DRS_FOGEND);
        effect->SetFloat(stateHandles[kFogEnd], end);
        effect->SetFloat(stateHandles[kFogDelta], end - start);
    }

    RenderContext* context = currentMaterial ? currentMaterial->context : nullptr;
    D3DXMATRIX inverseWorld;
    D3DXMatrixIdentity(&inverseWorld);
    if (context) inverseWorld = ToD3dx(context->GetInverseWorld());
    const MaterialLayer* layer = LayerOf(currentMaterial, 0);
    const MaterialColors colors = layer ? layer->colors : MaterialColors();
    const D3DCOLORVALUE& diffuse = colors.value.Diffuse;
    const D3DCOLORVALUE& specular = colors.value.Specular;

    if (stateHandles[kAmbient]) {
        // Only the first technique adds ambient light; the later ones blend onto it.
        D3DXVECTOR4 ambient(0.0f, 0.0f, 0.0f, 0.0f);
        if (first) {
            const FColor a = context && context->lighting ? context->lighting->ambient : FColor();
            ambient = D3DXVECTOR4(a.r, a.g, a.b, a.a);
        }
        effect->SetVector(stateHandles[kAmbient], &ambient);
    }

    for (i32 j = 0; j < entry.lights.count && j < kLightsPerKind; ++j) {
        const Light* light = entry.lights[j].Get();
        if (!light) continue;
        LightParamKind kind;
        switch (light->GetType()) {
        case D3DLIGHT_DIRECTIONAL: kind = kParamDir; break;
        case D3DLIGHT_POINT: kind = kParamPoint; break;
        case D3DLIGHT_SPOT: kind = kParamSpot; break;
        default: continue;
        }
        D3DXHANDLE* h = lightHandles[kind][j];
        const D3DXVECTOR4 diff = Modulate(light->GetDiffuse(), diffuse);
        const D3DXVECTOR4 spec = Modulate(light->GetSpecular(), specular);
        if (h[kLightDiff]) effect->SetVector(h[kLightDiff], &diff);
        if (h[kLightSpec]) effect->SetVector(h[kLightSpec], &spec);
        if (kind != kParamDir) {
            const D3DXVECTOR4 pos = ObjectPoint(light->GetPosition(), inverseWorld);
            const Vec3 a = light->GetAttenuation();
            const D3DXVECTOR4 att(a.x, a.y, a.z, 1.0f);
            if (h[kLightPos]) effect->SetVector(h[kLightPos], &pos);
            if (h[kLightAtt]) effect->SetVector(h[kLightAtt], &att);
        }
        if (kind != kParamPoint) {
            const D3DXVECTOR4 dir = ObjectDirection(light->GetDirection(), inverseWorld);
            if (h[kLightDir]) effect->SetVector(h[kLightDir], &dir);
        }
        if (kind == kParamSpot) {
            const f32 theta = light->GetTheta();
            f32 phi = light->GetPhi();
            if (std::fabs(phi - theta) <= kConeSeparation) phi -= kConeSeparation;
            if (h[kLightFalloff]) effect->SetFloat(h[kLightFalloff], light->GetFalloff());
            if (h[kLightTheta]) effect->SetFloat(h[kLightTheta], std::cos(theta));
            if (h[kLightPhi]) effect->SetFloat(h[kLightPhi], std::cos(phi));
        }
    }
}

void Effect::AddName(const String& name, i32 quality) { names.Insert(name, quality); }

bool Effect::LoadEffectGroup(EffectCodeArray& codes, SHADERDESC desc, i32 firstTexcoord, Array<LightGroup>& groups,
                             i32 psVersion) {
    for (LightGroup& group : groups) group.Reset();
    i32 variant = codes.count;
    const i32 callerMacros = desc.macros.count;
    for (;;) {
        desc.macros.Resize(callerMacros);
        i32 texcoord = firstTexcoord;
        i32 light = 1;
        String interpolators;
        StringMapOf<u8> sharedUsed;
        StringMapOf<u8> definesUsed;
        auto output = [&](const String& name) {
            interpolators.Append(name);
            interpolators.Append(String(":TEXCOORD"));
            interpolators.Append(Decimal(texcoord++));
            interpolators.Append(String(";"));
        };
        for (LightGroup& group : groups) {
            for (i32 k = 0; k < group.KindCount(); ++k) {
                const LightKind& kind = group.Kind(k);
                const i32 n = group.Count(k);
                if (KindRank(kindOrder, kind.name) == kindOrder.count) kindOrder.Add(kind.name);
                for (i32 j = 0; j < n; ++j) {
                    desc.macros.Add(ShaderMacro{kind.name + Decimal(light), String()});
                    for (const String& name : kind.perLight) output(name);
                    for (const String& name : kind.shared) {
                        if (sharedUsed.Contains(name)) continue;
                        sharedUsed.Insert(name, 0);
                        output(name);
                    }
                    ++light;
                }
                desc.macros.Add(ShaderMacro{"NUM" + kind.name, Decimal(n)});
                if (n != 0 && !kind.define.IsEmpty() && !definesUsed.Contains(kind.define)) {
                    definesUsed.Insert(kind.define, 0);
                    desc.macros.Add(ShaderMacro{kind.define, String()});
                }
            }
        }
        desc.macros.Add(ShaderMacro{String("TEXCOORDS"), interpolators});
        if (const char* model = ChoosePixelShaderModel(texcoord, psVersion)) {
            desc.macros.Add(ShaderMacro{String("PS_MODEL"), String(model)});
            const RefHandle<EffectCode> code = TheEffectManager().GetEffectCode(&desc);
            codes.AssignHandle(variant, code);
            if (!code) return false;
            for (auto* node = code->techniqueIndex.first; node && code->techniqueIndex.count;) {
                if (!techniqueIndex.Contains(node->key)) techniqueIndex.Insert(node->key, NoValue());
                node = node->next;
                if (node == code->techniqueIndex.first) break;
            }
            for (auto* node = code->techniques.first; node && code->techniques.count;) {
                if (!techniqueNames.Contains(node->key)) techniqueNames.Insert(node->key, 0);
                node = node->next;
                if (node == code->techniques.first) break;
            }
            ++variant;
        }
        bool stepped = false;
        for (LightGroup& group : groups) {
            if (group.Next()) {
                stepped = true;
                break;
            }
            group.Reset();
        }
        if (!stepped) return true;
    }
}
