// The base of every shader effect. An effect is registered with the effect manager under
// one or more names, each with a quality, and draws through the techniques of its variant
// codes: one compiled effect per combination of lights (see LightGroup), all sharing one
// pool. The technique index merges the variants' indexes so that a technique is found by
// name and light labels across every variant at once.
//
// An effect has three faces: the engine object, a device object (a lost device makes it
// re-read its parameter handles) and a frame listener (it hears every presented frame).
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

using EffectCodeArray = RefHandleArray<EffectCode>;

class Material;

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

    // The vertex layout the effect's sources read.
    const VertexDeclaration& GetBody() const { return declaration; }
    // The pass total of the most recent selection build.
    i32 GetPassTotal() const { return passTotal; }

    const TechniqueIndex& GetTechniqueIndex() const { return techniqueIndex; }
    const StringMapOf<u8>& GetTechniqueNames() const { return techniqueNames; }
    bool NeedsParameterRefresh() const { return parameterRefresh != 0; }
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
    u8 parameterRefresh = 1;

private:
    u32 sequence;
};
