// What the engine's concrete effects share: variant codes loaded by the group loader with
// one pool between them, a catalogue of the standard parameter names with the operation
// that computes each from the material layer and the object drawn, and the parameters the
// effect actually binds. Effect sources and the engine meet by these names only, so the
// catalogue is the contract between them.
//
// Parameters are set on the first variant; its siblings read them through the pool, since
// the sources declare every parameter the engine sets shared. A parameter operation reads
// the binding context (material, layer, render context, D3DX effect and the handle being
// set) that SetParameters fills before calling it.
#pragma once

#include "Core/OrderedMap.h"
#include "Effect/Effect.h"

#include <d3dx9.h>

class StandardEffect;
class Texture;
struct RenderContext;

// Computes one parameter's value and sends it through the binding context.
using ParameterOperation = void (*)(StandardEffect& effect, u32 argument);

struct CatalogueEntry {
    ParameterOperation operation = nullptr;
    u32 argument = 0;
};

struct BoundParameter {
    D3DXHANDLE handle = nullptr;  // read from the first variant; null when it declares no such name
    ParameterOperation operation = nullptr;
    u32 argument = 0;
};

// The program-wide texture that the map parameters send where a layer has none; null
// unless the application sets it (tests set it back to null).
Texture* FallbackTexture();
void SetFallbackTexture(Texture* texture);

class StandardEffect : public Effect {
public:
    StandardEffect();
    ~StandardEffect() override;

    // Binds a parameter by name. Without an operation the catalogue's is used, and a name
    // in neither is refused.
    bool BindParameter(const String& name, ParameterOperation operation = nullptr, u32 argument = 0);
    // Stores the material and layer and calls every bound operation on the first variant;
    // false when that variant has no D3DX effect (after a failed restore) or the material
    // no render context. Inside an open pass the changes are committed to it.
    bool SetParameters(Material* material, i32 layer) override;
    // Re-reads the handles of the bound, fog, ambient and light parameters from effect (null:
    // the first variant's); false when there is none.
    virtual bool RefreshParameters(ID3DXEffect* effect);

    // The binding context, for parameter operations.
    Material* GetMaterial() const { return currentMaterial; }
    const MaterialLayer* GetLayer() const { return LayerOf(currentMaterial, currentLayer); }
    RenderContext* GetContext() const { return context; }
    ID3DXEffect* GetD3dxEffect() const { return d3dxEffect; }
    D3DXHANDLE GetCurrentHandle() const { return currentHandle; }

    const StringMapOf<CatalogueEntry>& GetCatalogue() const { return catalogue; }
    const StringMapOf<BoundParameter>& GetBoundParameters() const { return bound; }
    const EffectCodeArray& GetCodes() const { return codes; }

protected:
    // Enters the 18 standard names into the catalogue.
    void BindStandardParams();
    // The D3DX effect of variant 0, or null.
    ID3DXEffect* FirstVariantEffect() const;
    // The description of one of the engine's effect sources, looked for on disk and in the
    // media archive, with the effect manager's save switch, the effect's pool and no
    // definitions.
    SHADERDESC SourceDescription(const char* fileName, u8 forceCompile);
    ID3DXEffect* ParameterEffect() const override { return FirstVariantEffect(); }

    RenderContext* context = nullptr;
    ID3DXEffect* d3dxEffect = nullptr;
    D3DXHANDLE currentHandle = nullptr;
    EffectCodeArray codes{0, 10};
    Pool pool;
    StringMapOf<CatalogueEntry> catalogue;
    StringMapOf<BoundParameter> bound;
};

// The standard operations, one per catalogue name.
namespace StandardParams {
void WorldViewProj(StandardEffect& e, u32);
void WorldView(StandardEffect& e, u32);
void CubeMapEnv(StandardEffect& e, u32);
void ObjToCube(StandardEffect& e, u32);
void EyePoint(StandardEffect& e, u32);
void EyeCube(StandardEffect& e, u32);
void DiffuseMap(StandardEffect& e, u32);
void NormalMap(StandardEffect& e, u32);
void EnvironmentMap(StandardEffect& e, u32);
void EnvGlossMap(StandardEffect& e, u32);
void SpecularMap(StandardEffect& e, u32);
void OffsetBias(StandardEffect& e, u32);
void FresnelR0(StandardEffect& e, u32);
void Etha(StandardEffect& e, u32);
void SpecPower(StandardEffect& e, u32);
void TexFactor(StandardEffect& e, u32);
void ViewDir(StandardEffect& e, u32);
void AlphaRef(StandardEffect& e, u32);
}  // namespace StandardParams
