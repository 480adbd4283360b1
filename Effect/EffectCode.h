// One D3DX effect built from a description: a source file, preprocessor definitions, D3DX
// flags and an optional pool. The source is compiled once and the compiled bytes may be
// kept beside it in a ".fxo" cache named by a digest of the definitions, so a later run
// skips the compiler. The valid techniques are indexed by name and by their integer
// annotations (the light labels the effect groups declare), so an effect can ask for "the
// technique that draws two directional lights" without knowing its name.
//
// An EffectCode is a device object: a lost device destroys the D3DX effect and a restored
// one builds it again from the description it kept.
#pragma once

#include <d3dx9.h>

#include "Core/Array.h"
#include "Core/Object.h"
#include "Core/OrderedMap.h"
#include "Core/Path.h"
#include "Core/String.h"
#include "D3d/DeviceObject.h"

class EffectCode;

struct ShaderMacro {
    String name;
    String value;  // empty: the name is defined with no text
};

// A D3DX effect pool shared by the variants of one effect; the interface is made on first
// use and dropped with the device.
class Pool : public DeviceObject {
public:
    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    ~Pool() override;

    // Joins the device-object list.
    bool Create();
    bool Restore() override { return true; }
    bool Invalidate() override;

    ID3DXEffectPool* pool = nullptr;
};

struct SHADERDESC {
    u8 forceCompile = 0;  // compile from source even when a compiled file exists
    u8 saveCompiled = 0;  // write what was compiled to the cache file
    patht path;           // the effect source
    u32 flags = 0;        // D3DX flags for compiling and creating
    Array<ShaderMacro> macros{0, 10};
    Pool* pool = nullptr;
};

// Macro lists: fewer first, then by the first entry that differs, name then value, byte-wise.
int CompareMacroLists(const Array<ShaderMacro>& a, const Array<ShaderMacro>& b);

// The cache-key order of descriptions: the path, then the macro list. The compile flags, the
// cache switches and the pool take no part.
struct ShaderDescOrder {
    int operator()(const SHADERDESC& a, const SHADERDESC& b) const;
};

// Each macro's name then value, in order, no separators, every ":" made a blank.
String ShaderKeyText(const Array<ShaderMacro>& macros);

// A short name over the bytes of a text: one character of a 62-letter alphabet per five
// bytes and one for a trailing partial group; "" gives "1".
String ShortDigest(const String& text);

// Where the compiled form of a description is kept: "folder/base/base digest.fxo" beside
// the source, with the source's location flags.
patht CompiledEffectPath(const SHADERDESC& desc);

// One valid technique of an effect, as the technique index orders it.
struct TechniqueRecord {
    EffectCode* owner = nullptr;
    String name;
    u32 passes = 0;
    i32 annotationSum = 0;
    StringMapOf<i32> annotations;  // the non-zero integer annotations, by name

    TechniqueRecord() { annotations.sortedThread = 1; }
};

// The order of full records: annotation sum, the annotations walked together, their count,
// the name without case, and the owner's creation sequence. Every record in an index has a
// name and an owner, so the order is a strict weak one.
struct TechniqueOrder {
    int operator()(const TechniqueRecord& a, const TechniqueRecord& b) const;
};

// The part of the order that a query without name and owner asks about.
int CompareTechniqueLabels(const TechniqueRecord& a, const TechniqueRecord& b);

using TechniqueIndex = OrderedMap<TechniqueRecord, NoValue, TechniqueOrder>;

// The first record of an index that carries exactly the query's labels (annotation sum and
// non-zero annotations), or null.
const TechniqueRecord* FindTechniqueByLabels(const TechniqueIndex& index, const TechniqueRecord& query);
// The same, and when the query has a name, with that name without regard to case.
const TechniqueRecord* FindTechnique(const TechniqueIndex& index, const TechniqueRecord& query);

u32 EffectCodeTypeId();

class EffectCode : public Object, public DeviceObject {
public:
    EffectCode();
    ~EffectCode() override;

    // Builds (or rebuilds) the effect; the description's path is already resolved.
    bool Create(const SHADERDESC* desc);
    bool Restore() override;
    bool Invalidate() override;
    bool QueryType(u32 typeId, void** out) override;

    ID3DXEffect* GetEffect() const { return effect; }
    const SHADERDESC& GetDesc() const { return desc; }
    // Creation order of effect codes: what orders records of different owners.
    u32 GetSequence() const { return sequence; }

    ID3DXEffect* effect = nullptr;
    SHADERDESC desc;
    StringMapOf<D3DXHANDLE> techniques;
    TechniqueIndex techniqueIndex;

private:
    bool Build(const SHADERDESC& from, bool registered);
    void IndexTechniques();

    u32 sequence;
};
