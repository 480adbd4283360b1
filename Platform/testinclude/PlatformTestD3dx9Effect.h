// The D3DX9 effect part of the platform's test interface. The engine never includes it.
//
// Each BeginPass and each CommitChanges of an effect records what a shader would have
// received: the effect (by its creation number, from the same sequence as the device's
// objects), the technique, the pass and the values of parameters (all of them at
// BeginPass, only those changed since the last send at CommitChanges; shared ones read
// through the pool). The same records appear in the device's call log as
//
//     BeginPass(#7, "Tech", 0) {World=[1, 0, ...]; DiffuseMap=#3; FogEnable=true}
//
// and misuses the runtime lets pass silently (a second Begin, End or EndPass with nothing
// open) as `EffectWarning(#7, "...")` lines.
#pragma once

#include <d3dx9.h>

#include <string>
#include <utility>
#include <vector>

struct PlatformTestEffectPass {
    unsigned effect;
    std::string technique;
    unsigned pass;
    bool commit;  // from CommitChanges rather than BeginPass
    // Parameter name and value text: "true", "3", "0.5", "[1, 2, 3, 4]", "#12" (a texture
    // by creation number), "null", "\"text\"". Samplers and shader objects are left out.
    std::vector<std::pair<std::string, std::string>> values;

    // The value text of a parameter, or null when the record does not hold it.
    const std::string* Find(const std::string& name) const {
        for (const auto& value : values)
            if (value.first == name) return &value.second;
        return nullptr;
    }
};

// The records since the last clear (while the device's recording is on), oldest first.
std::vector<PlatformTestEffectPass> PlatformTest_D3dx9EffectPasses();
void PlatformTest_D3dx9ClearEffectPasses();
// The creation number an effect's records carry; 0 for null or a foreign object.
unsigned PlatformTest_D3dx9EffectNumber(ID3DXEffect* effect);
// Effects, effect pools and compilers alive now.
int PlatformTest_D3dx9LiveEffects();
int PlatformTest_D3dx9LiveEffectPools();
int PlatformTest_D3dx9LiveEffectCompilers();
