// Building an effect: the cache file is looked for first (unless a compile is forced), the
// source is compiled only when there is no usable cache, and the compiled bytes (from either
// place) go to D3DXCreateEffect. The technique tables are rebuilt on every creation, since
// a new D3DX effect hands out new handles.
#include "Effect/EffectCode.h"

#include <direct.h>

#include "Core/D3dxLibrary.h"
#include "Core/Log.h"
#include "Core/MemFile.h"
#include "Core/Stream.h"
#include "Core/TextCompare.h"
#include "Core/ValueTypes.h"
#include "D3d/DeviceContext.h"

namespace {

const char* const kDigestAlphabet = "1234567890qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM";
const char* const kCreateSignature = "bool __thiscall EffectCode::Create(struct SHADERDESC *)";

int Sign(i64 a, i64 b) { return a < b ? -1 : (b < a ? 1 : 0); }

// The compiler's message, on the same record as the failure it explains.
void PrintErrors(LogChannel& log, ID3DXBuffer*& errors) {
    if (!errors) return;
    const u32 size = errors->GetBufferSize();
    const char* bytes = static_cast<const char*>(errors->GetBufferPointer());
    log.Print("Errors Msgs: \n");
    if (bytes && size) log.Print(String::FromBuffer(const_cast<char*>(bytes), size, true));
    log.Print("\n");
    errors->Release();
    errors = nullptr;
}

void ReleaseBuffer(ID3DXBuffer*& buffer) {
    if (buffer) buffer->Release();
    buffer = nullptr;
}

// Creation order of effect codes; it orders the technique records of different codes the
// same way on every run.
u32 NextSequence() {
    static u32 next = 0;
    return ++next;
}

}  // namespace

// ---- Pool ---------------------------------------------------------------------------------------

Pool::~Pool() {
    Unregister();
    if (pool) pool->Release();
    pool = nullptr;
}

bool Pool::Create() {
    Register();
    return true;
}

bool Pool::Invalidate() {
    if (pool) pool->Release();
    pool = nullptr;
    return true;
}

// ---- Keys and names -----------------------------------------------------------------------------

int CompareMacroLists(const Array<ShaderMacro>& a, const Array<ShaderMacro>& b) {
    if (a.count != b.count) return a.count < b.count ? -1 : 1;
    for (i32 i = 0; i < a.count; ++i) {
        if (const int c = String::Compare(a[i].name, b[i].name)) return c < 0 ? -1 : 1;
        if (const int c = String::Compare(a[i].value, b[i].value)) return c < 0 ? -1 : 1;
    }
    return 0;
}

int ShaderDescOrder::operator()(const SHADERDESC& a, const SHADERDESC& b) const {
    if (const int c = a.path.Compare(b.path)) return c < 0 ? -1 : 1;
    return CompareMacroLists(a.macros, b.macros);
}

String ShaderKeyText(const Array<ShaderMacro>& macros) {
    String text;
    for (const ShaderMacro& macro : macros) {
        text.Append(macro.name);
        text.Append(macro.value);
    }
    for (u32 i = 0; i < text.length; ++i)
        if (text.data[i] == ':') text.data[i] = ' ';
    return text;
}

String ShortDigest(const String& text) {
    char out[64];
    u32 used = 0;
    String result;
    auto put = [&](i32 sum) {
        // Bytes above 0x7F count as negative; the remainder is taken non-negative so that
        // such a text still names a letter of the alphabet.
        const i32 index = ((sum % 62) + 62) % 62;
        out[used++] = kDigestAlphabet[index];
        if (used == sizeof out) {
            result.Append(String::FromBuffer(out, used, true));
            used = 0;
        }
    };
    i32 sum = 0;
    for (u32 i = 0; i < text.length; ++i) {
        sum += static_cast<signed char>(text.data[i]);
        if (i % 5 == 4) {
            put(sum);
            sum = 0;
        }
    }
    if ((static_cast<i64>(text.length) - 1) % 5 != 4) put(sum);
    if (used) result.Append(String::FromBuffer(out, used, true));
    return result;
}

patht CompiledEffectPath(const SHADERDESC& desc) {
    patht cache = desc.path;
    const String& source = desc.path.name;
    const String base = StripExtension(GetFileName(source));
    String name;
    // A source without a folder keeps its cache beside it, not at the root.
    bool separated = false;
    for (u32 i = 0; i < source.length; ++i)
        if (source.data[i] == '/' || source.data[i] == '\\') separated = true;
    if (separated) name = GetFolder(source) + "/";
    name = name + base + "/" + base + " " + ShortDigest(ShaderKeyText(desc.macros)) + ".fxo";
    cache.name = name;
    return cache;
}

// ---- Technique records --------------------------------------------------------------------------

int CompareTechniqueLabels(const TechniqueRecord& a, const TechniqueRecord& b) {
    if (const int c = Sign(a.annotationSum, b.annotationSum)) return c;
    const u32 shorter = a.annotations.count < b.annotations.count ? a.annotations.count : b.annotations.count;
    const auto* x = a.annotations.first;
    const auto* y = b.annotations.first;
    for (u32 i = 0; i < shorter; ++i, x = x->next, y = y->next) {
        if (const int c = String::Compare(x->key, y->key)) return c < 0 ? -1 : 1;
        if (const int c = Sign(x->value, y->value)) return c;
    }
    return Sign(a.annotations.count, b.annotations.count);
}

int TechniqueOrder::operator()(const TechniqueRecord& a, const TechniqueRecord& b) const {
    if (const int c = CompareTechniqueLabels(a, b)) return c;
    if (!a.name.IsEmpty() && !b.name.IsEmpty())
        if (const int c = StrCompareNoCase(a.name.c_str(), b.name.c_str())) return c < 0 ? -1 : 1;
    if (a.owner && b.owner) return Sign(a.owner->GetSequence(), b.owner->GetSequence());
    return 0;
}

namespace {

// The full order refines the label order (and the name after it), so the records a query
// matches form one run of the tree; the leftmost of them is the first.
template <class Match>
const TechniqueRecord* LeftmostMatch(const TechniqueIndex& index, Match match) {
    const TechniqueIndex::Node* found = nullptr;
    for (const TechniqueIndex::Node* node = index.root; node;) {
        const int c = match(node->key);
        if (c <= 0) {
            if (c == 0) found = node;
            node = node->left;
        } else {
            node = node->right;
        }
    }
    return found ? &found->key : nullptr;
}

}  // namespace

const TechniqueRecord* FindTechniqueByLabels(const TechniqueIndex& index, const TechniqueRecord& query) {
    return LeftmostMatch(index, [&](const TechniqueRecord& record) { return CompareTechniqueLabels(query, record); });
}

const TechniqueRecord* FindTechnique(const TechniqueIndex& index, const TechniqueRecord& query) {
    return LeftmostMatch(index, [&](const TechniqueRecord& record) {
        if (const int c = CompareTechniqueLabels(query, record)) return c;
        if (query.name.IsEmpty() || record.name.IsEmpty()) return 0;
        const int c = StrCompareNoCase(query.name.c_str(), record.name.c_str());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    });
}

// ---- EffectCode ---------------------------------------------------------------------------------

u32 EffectCodeTypeId() { return TypeIdOf<EffectCode>(); }

EffectCode::EffectCode() : sequence(NextSequence()) {
    techniques.sortedThread = 1;
    techniqueIndex.sortedThread = 1;
}

EffectCode::~EffectCode() {
    Unregister();
    techniqueIndex.Clear();
    techniques.Clear();
    if (effect) effect->Release();
    effect = nullptr;
}

bool EffectCode::QueryType(u32 typeId, void** out) {
    if (typeId == EffectCodeTypeId()) {
        *out = this;
        return true;
    }
    return Object::QueryType(typeId, out);
}

bool EffectCode::Create(const SHADERDESC* from) {
    if (!from) return false;
    const SHADERDESC copy = *from;  // `from` may be our own description
    return Build(copy, false);
}

bool EffectCode::Restore() {
    if (effect) return true;
    const SHADERDESC copy = desc;
    // A restore comes from the device-object walk: the code is in the list already.
    return Build(copy, true);
}

bool EffectCode::Invalidate() {
    if (effect) {
        effect->OnLostDevice();
        effect->Release();
        effect = nullptr;
    }
    return true;
}

bool EffectCode::Build(const SHADERDESC& from, bool fromRestore) {
    if (!fromRestore) Unregister();
    techniqueIndex.Clear();
    techniques.Clear();
    if (effect) effect->Release();
    effect = nullptr;

    Array<D3DXMACRO> defines(0, 10);
    for (const ShaderMacro& macro : from.macros) defines.Add(D3DXMACRO{macro.name.c_str(), macro.value.c_str()});
    defines.Add(D3DXMACRO{nullptr, nullptr});

    patht cache = CompiledEffectPath(from);
    MemFile noSearchPaths;
    const bool cached = noSearchPaths.Resolve(cache);

    ID3DXBuffer* compiled = nullptr;
    ID3DXBuffer* errors = nullptr;
    Blob data;
    if (from.forceCompile || !cached) {
        Blob source;
        bool borrowed = true;  // bytes of a mounted archive are read in place and never freed
        patht sourcePath = from.path;
        if (!sourcePath.ReadAll(source, borrowed)) source.Free();
        ID3DXEffectCompiler* compiler = nullptr;
        HRESULT hr = D3dx().CreateEffectCompiler(reinterpret_cast<LPCSTR>(source.data()), source.size(), defines.data,
                                              nullptr, 0, &compiler, &errors);
        if (FAILED(hr) || !compiler) {
            LogChannel& log = LogWarnings();
            log.Write(LOG_SITE(kCreateSignature)).Print("Failed to create effect compiler: ").Print(from.path.name).Print("\n");
            PrintErrors(log, errors);
            if (compiler) compiler->Release();
            return false;
        }
        ReleaseBuffer(errors);  // the parse messages of a compiler that was made say nothing
        hr = compiler->CompileEffect(from.flags, &compiled, &errors);
        compiler->Release();
        if (FAILED(hr) || !compiled) {
            LogChannel& log = LogWarnings();
            log.Write(LOG_SITE(kCreateSignature)).Print("Failed to compile effect: ").Print(from.path.name).Print("\n");
            PrintErrors(log, errors);
            ReleaseBuffer(compiled);
            return false;
        }
        ReleaseBuffer(errors);
        if (from.saveCompiled) {
            if (!cached) {
                const String folder = GetFolder(cache.name);
                if (!folder.IsEmpty()) _mkdir(folder.c_str());  // one level; a failure shows at the open
            }
            patht target = cache;
            target.flags = kPathDisk;
            if (Stream* stream = target.Open(kStreamWrite)) {
                stream->Write(compiled->GetBufferPointer(), compiled->GetBufferSize());
                stream->Close();
                delete stream;
            }
        }
        data.Borrow(compiled->GetBufferPointer(), compiled->GetBufferSize());
    } else {
        bool borrowed = true;
        if (!cache.ReadAll(data, borrowed)) data.Free();
    }

    bool made = true;
    if (!fromRestore) Register();
    IDirect3DDevice9* device = TheDevice();
    if (!device) made = false;
    if (made && from.pool && !from.pool->pool && FAILED(D3dx().CreateEffectPool(&from.pool->pool)))
        from.pool->pool = nullptr;
    if (made) {
        const HRESULT hr = D3dx().CreateEffect(device, data.data(), data.size(), nullptr, nullptr, from.flags,
                                            from.pool ? from.pool->pool : nullptr, &effect, &errors);
        if (FAILED(hr) || !effect) {
            effect = nullptr;
            made = false;
        }
    }
    if (!made) {
        LogChannel& log = LogWarnings();
        log.Write(LOG_SITE(kCreateSignature)).Print("Failed to load binary effect: ").Print(cache.name).Print("\n");
        data.Free();
        ReleaseBuffer(compiled);
        PrintErrors(log, errors);
        return false;
    }
    ReleaseBuffer(errors);
    data.Free();
    ReleaseBuffer(compiled);
    IndexTechniques();
    desc = from;
    return true;
}

void EffectCode::IndexTechniques() {
    D3DXHANDLE technique = nullptr;
    D3DXHANDLE next = nullptr;
    // A misbehaving effect cannot keep the walk going forever: no effect has this many.
    for (u32 guard = 0; guard < 65536; ++guard) {
        next = nullptr;
        if (effect->FindNextValidTechnique(technique, &next) != D3D_OK || !next) break;
        D3DXTECHNIQUE_DESC info{};
        if (SUCCEEDED(effect->GetTechniqueDesc(next, &info)) && info.Name) techniques.Insert(String(info.Name), next);
        technique = next;
    }
    for (auto* node = techniques.first; techniques.count && node;) {
        D3DXTECHNIQUE_DESC info{};
        effect->GetTechniqueDesc(node->value, &info);
        TechniqueRecord record;
        record.owner = this;
        record.name = node->key;
        record.passes = info.Passes;
        for (UINT i = 0;; ++i) {
            D3DXHANDLE annotation = effect->GetAnnotation(node->value, i);
            if (!annotation) break;
            D3DXPARAMETER_DESC about{};
            if (FAILED(effect->GetParameterDesc(annotation, &about)) || about.Type != D3DXPT_INT) continue;
            INT value = 0;
            if (FAILED(effect->GetInt(annotation, &value))) continue;
            record.annotationSum += value;
            if (value != 0 && about.Name) record.annotations.Insert(String(about.Name), value);
        }
        if (!techniqueIndex.Contains(record)) techniqueIndex.Insert(record, NoValue());
        node = node->next;
        if (node == techniques.first) break;
    }
}
