// The base of every shader effect. An effect is registered with the effect manager under
// one or more names, each with a quality, and draws through the techniques of its variant
// codes: one compiled effect per combination of lights (see LightGroup), all sharing one
// pool. The technique index merges the variants' indexes so that a technique is found by
// name and light labels across every variant at once.
//
// An effect has three faces: the engine object, a device object (a lost device makes it
// re-read its parameter handles) and a frame listener (it hears every presented frame).
//
// Drawing goes through a technique selection: for a layer's technique name and the lights
// that reach the object, the techniques (one per variant whose lights they are) that
// together draw every light the effect can, built once and kept while it is used every
// frame. Passes of the later techniques are blended onto the first's, so ambient light and
// the depth written come from the first only.
#pragma once

#include "Core/Array.h"
#include "Core/FrameNotifier.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "D3d/DeviceObject.h"
#include "D3d/SavedRenderStates.h"
#include "D3d/VertexDeclaration.h"
#include "Effect/EffectCode.h"
#include "Effect/LightGroup.h"
#include "Effect/LightingInfo.h"
#include "Effect/TechniqueSelection.h"

using EffectCodeArray = RefHandleArray<EffectCode>;

class Material;
struct MaterialLayer;

// The layer a draw names: -1 stands for the first; null past the last.
const MaterialLayer* LayerOf(const Material* material, i32 layer);

// The fields of one light's effect parameters, in the order their handles are kept.
enum LightField : u32 {
    kLightDiff,
    kLightSpec,
    kLightPos,
    kLightDir,
    kLightAtt,
    kLightFalloff,
    kLightTheta,
    kLightPhi,
    kLightFieldCount,
};

// Light kinds as the effect parameters name them ("Dir1Diff", "Point2Pos", "Spot1Phi").
enum LightParamKind : u32 { kParamDir, kParamPoint, kParamSpot, kLightParamKinds };
constexpr i32 kLightsPerKind = 8;

// The fog and ambient parameters, in the order their handles are kept.
enum StateParam : u32 { kFogEnable, kRangeFogEnable, kFogEnd, kFogDelta, kAmbient, kStateParamCount };

class Effect : public Object, public DeviceObject, public FrameListener {
public:
    Effect();
    ~Effect() override;

    // Joins the device-object list; true when it did (an application with a device).
    virtual bool Create();
    bool Invalidate() override;
    void OnFrame(u32 frame) override;

    // Registers a name with its quality (the manager files the effect under each); the
    // cursor of the name table stays on the name added last.
    void AddName(const String& name, i32 quality);
    const StringMapOf<i32>& GetNames() const { return names; }
    // The name added last, for messages about this effect.
    String GetLastName() const { return names.count ? names.CursorKey() : String(); }

    // Compiles the variants of an effect source: one per admissible light combination of
    // the groups, each with the definitions naming its lights and interpolators and the
    // pixel-shader model that fits them, stored in `codes` from its current count on.
    // False when a variant that fits a model could not be had.
    bool LoadEffectGroup(EffectCodeArray& codes, SHADERDESC desc, i32 firstTexcoord, Array<LightGroup>& groups,
                         i32 psVersion);

    // A draw with an effect: SelectTechnique (n passes), SetParameters, then BeginPass(p)
    // and the draw for each p below n, then End.
    virtual bool SetParameters(Material* material, i32 layer) = 0;
    virtual bool IsTransparent(const Material* material, i32 layer) const;
    virtual bool SelectTechnique(Material* material, i32 layer, i32& passes) = 0;
    virtual bool BeginPass(i32 pass);
    virtual bool End();
    // The shadow-map effect hears from the shadow-map renderer, at the start of every
    // shadow pass, whether the map is a depth texture (1) or a colour target (0); the
    // second word is not used. Other effects ignore it.
    virtual void SetUseDepthTexture(u8 use, u32 unused) {
        (void)use;
        (void)unused;
    }

    // Chooses or reuses the selection for the layer's technique name (the default when the
    // layer has none), the object's lights and the light limit; it becomes current and
    // `passes` its total. The plan maps a label suffix to how many lights, in list order,
    // carry it. False without a material or a render context.
    bool SetupLightTechnique(Material* material, i32 layer, i32 limit, const StringMapOf<i32>& plan, i32& passes);
    // Finds the fog, ambient and per-light parameters by name; false for a null effect.
    bool LookUpStateParameters(ID3DXEffect* effect);
    // Sends the fog states, the ambient colour (first entry only) and the entry's lights.
    void ApplyTechniqueState(const TechniqueEntry& entry, bool first);

    // The vertex layout the effect's sources read.
    const VertexDeclaration& GetBody() const { return declaration; }
    // The pass total of the most recent selection build.
    i32 GetPassTotal() const { return passTotal; }

    const TechniqueIndex& GetTechniqueIndex() const { return techniqueIndex; }
    const StringMapOf<u8>& GetTechniqueNames() const { return techniqueNames; }
    bool NeedsParameterRefresh() const { return parameterRefresh != 0; }
    const TechniqueSelection* GetCurrentSelection() const { return currentSelection; }
    // The lights that no technique of the last selection build could draw.
    const LightingInfo& GetUndrawnLights() const { return undrawn; }
    i32 CachedSelectionCount() const { return selections.Count(); }
    // Light kinds in the order the loaded groups declared them: the order in which the
    // variants number their lights.
    const StringArray& GetLightKindOrder() const { return kindOrder; }
    void SetDefaultTechnique(const String& name) { defaultTechnique = name; }
    const String& GetDefaultTechnique() const { return defaultTechnique; }
    D3DXHANDLE GetStateHandle(StateParam which) const { return stateHandles[which]; }
    D3DXHANDLE GetLightHandle(LightParamKind kind, i32 number, LightField field) const;
    // Creation order of effects: the manager creates and lists effects in this order.
    u32 GetSequence() const { return sequence; }

protected:
    Material* currentMaterial = nullptr;
    i32 currentLayer = 0;
    VertexDeclaration declaration;
    SavedRenderStates savedStates;
    String defaultTechnique;
    StringMapOf<i32> names;
    StringMapOf<u8> techniqueNames;  // every technique name of the loaded variants
    TechniqueIndex techniqueIndex;
    i32 passTotal = 0;
    LightingInfo undrawn;
    TechniqueSelection* currentSelection = nullptr;
    u8 parameterRefresh = 1;
    D3DXHANDLE stateHandles[kStateParamCount] = {};
    D3DXHANDLE lightHandles[kLightParamKinds][kLightsPerKind][kLightFieldCount] = {};
    SelectionCache selections;
    i32 lightLimit = -1;           // what the concrete effect's technique choice passes on
    StringMapOf<i32> lightPlan;    // label suffix -> count, walked in key order
    StringArray kindOrder{0, 4};   // kind names in the order the groups declared them

    // Ends the pass and the technique that are open, if any.
    void CloseOpenEntry();
    // The D3DX effect whose pass is open, or null.
    ID3DXEffect* OpenPassEffect() const;
    // The D3DX effect whose handles the state parameters were read from, on which they are
    // set (the pool carries them to the other variants); null: the entry's own.
    virtual ID3DXEffect* ParameterEffect() const { return nullptr; }

private:
    void ClearCurrentSelection();

    u32 sequence;
    i32 openEntry = -1;  // the entry whose technique is begun; -1 for none
    bool passOpen = false;
};
