// The platform's D3DX effect objects, shared by their source files
// (D3dx9EffectParams.cpp: handles, descriptions and typed values of parameters;
// D3dx9Effect.cpp: the effect on a device, its techniques and the Begin/Pass/End machine;
// D3dx9EffectPool.cpp: pools and buffers; D3dx9EffectCompiler.cpp: the compiler and the
// creation entry points).
//
// A handle is the address of a node the effect owns for its whole life; a name is
// accepted wherever a handle is, told apart by looking the address up among the nodes
// (a name is never dereferenced as a node). A parameter's value lives in a slot: the
// effect's own, or, for a `shared` parameter of an effect made with a pool, the pool's,
// which every effect of the pool declaring the parameter uses while one of them holds it.
#pragma once

#include "D3dx9EffectModel.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace d3dx9 {

// No parameter has more elements than this (the parser and the compiled form refuse
// larger arrays), so a longer list is refused before anything is allocated for it.
constexpr UINT kMaxEffectArray = 4096;

// A parameter's value; `version` grows with every change, so each effect can tell what
// changed since it last sent the values.
struct EffectSlot {
    EffectSlot() = default;
    EffectSlot(const EffectSlot&) = delete;
    EffectSlot& operator=(const EffectSlot&) = delete;
    ~EffectSlot();
    void SetTexture(IDirect3DBaseTexture9* texture);

    std::vector<uint32_t> words;
    std::string text;
    IDirect3DBaseTexture9* texture = nullptr;  // one reference held
    uint64_t version = 1;
};

// The IUnknown part of the library's objects: one interface besides IUnknown, a count,
// and deletion at zero.
template <class I>
class Counted : public I {
public:
    explicit Counted(const IID& iid) : iid(iid) {}
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    virtual ~Counted() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == iid) {
            AddRef();
            *out = static_cast<I*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs;
        if (!left) delete this;
        return left;
    }

private:
    const IID& iid;
    ULONG refs = 1;
};

class EffectPool final : public Counted<ID3DXEffectPool> {
public:
    EffectPool();
    ~EffectPool() override;

    // The slot of a shared parameter for an effect joining the pool: the held value when
    // some effect holds one, else a new slot with the joining effect's initial value.
    // Null when an effect of the pool holds the name with another type: `clash` tells a
    // type of another kind from an array of another length, with which the joining effect
    // simply keeps a value of its own.
    std::shared_ptr<EffectSlot> Join(const EffectParamDecl& decl, bool* clash);
    void Leave(const std::string& name);
    // Drops the references to D3DPOOL_DEFAULT textures held in shared values.
    void ReleaseDefaultTextures();

private:
    struct Entry {
        EffectParamDecl type;  // what the first holder declared
        std::shared_ptr<EffectSlot> slot;
        int holders = 0;
    };
    std::map<std::string, Entry> entries;
};

// Objects alive, for the test interface.
struct EffectCounts {
    int effects = 0;
    int pools = 0;
    int compilers = 0;
};
EffectCounts& LiveEffectObjects();

// Our own pool behind an interface pointer, or null for anything else.
EffectPool* OurPool(ID3DXEffectPool* pool);

HRESULT MakeBuffer(const void* data, size_t size, ID3DXBuffer** out);
// A buffer holding `text` and its terminator, as error buffers do.
HRESULT MakeTextBuffer(const std::string& text, ID3DXBuffer** out);

bool IsTextureType(D3DXPARAMETER_TYPE type);
// Whether a texture lives in D3DPOOL_DEFAULT (and so must go when the device is lost).
bool InDefaultPool(IDirect3DBaseTexture9* texture);

enum class NodeKind : uint8_t { Parameter, Technique, Pass };

struct EffectNode {
    explicit EffectNode(NodeKind kind) : kind(kind) {}
    NodeKind kind;
};

struct ParamNode : EffectNode {
    ParamNode() : EffectNode(NodeKind::Parameter) {}
    const EffectParamDecl* decl = nullptr;
    std::shared_ptr<EffectSlot> slot;
    bool element = false;
    uint32_t offset = 0;  // first word of an element in its array's slot
    int top = -1;         // index among the top-level parameters
    bool pooled = false;  // a shared parameter whose value the pool holds
    std::vector<std::unique_ptr<ParamNode>> annotations;
    std::vector<std::unique_ptr<ParamNode>> elements;

    uint32_t Words() const { return element ? decl->rows * decl->columns : decl->WordCount(); }
    uint32_t* Data() const { return slot->words.data() + offset; }
    bool IsArray() const { return decl->elements && !element; }
    bool IsNumeric() const { return !decl->IsObject(); }
    bool IsOneByOne() const { return IsNumeric() && !IsArray() && decl->rows == 1 && decl->columns == 1; }
};

struct PassNode : EffectNode {
    PassNode() : EffectNode(NodeKind::Pass) {}
    const EffectPassDecl* decl = nullptr;
    std::vector<std::unique_ptr<ParamNode>> annotations;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    DWORD vertexVersion = 0;  // shader version tokens, 0 without that stage
    DWORD pixelVersion = 0;
    DWORD vertexFunction[2] = {0, 0};  // what GetPassDesc hands out: version and end tokens
    DWORD pixelFunction[2] = {0, 0};
};

struct TechniqueNode : EffectNode {
    TechniqueNode() : EffectNode(NodeKind::Technique) {}
    const EffectTechniqueDecl* decl = nullptr;
    std::vector<std::unique_ptr<ParamNode>> annotations;
    std::vector<std::unique_ptr<PassNode>> passes;
};

// The description and values of one effect or compiler, and every ID3DXBaseEffect call.
class EffectCore {
public:
    EffectCore() = default;
    EffectCore(const EffectCore&) = delete;
    EffectCore& operator=(const EffectCore&) = delete;
    ~EffectCore();

    // Builds the nodes of `decl`; with a pool, shared parameters take the pool's slots,
    // except arrays whose length differs from the pool's, which are simply not shared.
    // False (with `error`) when a shared parameter's type is of another kind than the pool's.
    bool Build(EffectDecl source, EffectPool* pool, std::string& error);

    ParamNode* Param(D3DXHANDLE handle) const;
    TechniqueNode* Technique(D3DXHANDLE handle) const;
    PassNode* Pass(D3DXHANDLE handle) const;
    static D3DXHANDLE Handle(const EffectNode* node) { return reinterpret_cast<D3DXHANDLE>(node); }

    // The value text the call log shows.
    static std::string ValueText(const ParamNode& param);
    void ReleaseDefaultTextures();

    HRESULT GetDesc(D3DXEFFECT_DESC* desc);
    HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* desc);
    HRESULT GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* desc);
    HRESULT GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* desc);
    HRESULT GetFunctionDesc(D3DXHANDLE h, D3DXFUNCTION_DESC* desc);
    D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index);
    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, LPCSTR name);
    D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic);
    D3DXHANDLE GetParameterElement(D3DXHANDLE parent, UINT index);
    D3DXHANDLE GetTechnique(UINT index);
    D3DXHANDLE GetTechniqueByName(LPCSTR name);
    D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index);
    D3DXHANDLE GetPassByName(D3DXHANDLE technique, LPCSTR name);
    D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index);
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, LPCSTR name);
    HRESULT SetValue(D3DXHANDLE h, LPCVOID data, UINT bytes);
    HRESULT GetValue(D3DXHANDLE h, LPVOID data, UINT bytes);
    HRESULT SetBool(D3DXHANDLE h, BOOL b);
    HRESULT GetBool(D3DXHANDLE h, BOOL* b);
    HRESULT SetBoolArray(D3DXHANDLE h, const BOOL* b, UINT count);
    HRESULT GetBoolArray(D3DXHANDLE h, BOOL* b, UINT count);
    HRESULT SetInt(D3DXHANDLE h, INT n);
    HRESULT GetInt(D3DXHANDLE h, INT* n);
    HRESULT SetIntArray(D3DXHANDLE h, const INT* n, UINT count);
    HRESULT GetIntArray(D3DXHANDLE h, INT* n, UINT count);
    HRESULT SetFloat(D3DXHANDLE h, FLOAT f);
    HRESULT GetFloat(D3DXHANDLE h, FLOAT* f);
    HRESULT SetFloatArray(D3DXHANDLE h, const FLOAT* f, UINT count);
    HRESULT GetFloatArray(D3DXHANDLE h, FLOAT* f, UINT count);
    HRESULT SetVector(D3DXHANDLE h, const D3DXVECTOR4* v);
    HRESULT GetVector(D3DXHANDLE h, D3DXVECTOR4* v);
    HRESULT SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* v, UINT count);
    HRESULT GetVectorArray(D3DXHANDLE h, D3DXVECTOR4* v, UINT count);
    HRESULT SetMatrices(D3DXHANDLE h, const D3DXMATRIX* const* m, UINT count, bool array, bool transpose);
    HRESULT GetMatrices(D3DXHANDLE h, D3DXMATRIX* const* m, UINT count, bool array, bool transpose);
    HRESULT SetString(D3DXHANDLE h, LPCSTR text);
    HRESULT GetString(D3DXHANDLE h, LPCSTR* text);
    HRESULT SetTexture(D3DXHANDLE h, LPDIRECT3DBASETEXTURE9 texture);
    HRESULT GetTexture(D3DXHANDLE h, LPDIRECT3DBASETEXTURE9* texture);

    EffectDecl decl;
    std::vector<std::unique_ptr<ParamNode>> parameters;
    std::vector<std::unique_ptr<TechniqueNode>> techniques;
    EffectPool* pool = nullptr;  // held
    std::vector<std::string> pooledNames;  // the shared parameters whose values the pool holds

private:
    std::unique_ptr<ParamNode> MakeParam(const EffectParamDecl& d, std::shared_ptr<EffectSlot> slot);
    std::vector<std::unique_ptr<ParamNode>> MakeAnnotations(const std::vector<EffectParamDecl>& list);
    const std::vector<std::unique_ptr<ParamNode>>* AnnotationsOf(D3DXHANDLE object) const;
    ParamNode* FindPath(ParamNode* parent, const char* name) const;
    HRESULT SetWords(ParamNode* p, const uint32_t* words, D3DXPARAMETER_TYPE from, UINT count, bool markEqual);
    HRESULT SetArrayWords(D3DXHANDLE h, const void* values, UINT count, D3DXPARAMETER_TYPE from);
    HRESULT GetArrayWords(D3DXHANDLE h, void* values, UINT count, D3DXPARAMETER_TYPE to);

    std::unordered_set<const void*> nodes;
};

// A new effect on `device` from a description; null (with `error`) when a shared
// parameter's type clashes with the pool's.
ID3DXEffect* CreateEffectFrom(IDirect3DDevice9* device, EffectDecl decl, DWORD flags, EffectPool* pool,
                              std::string& error);

// An ID3DXBaseEffect answered by an EffectCore.
template <class I>
class BaseEffect : public Counted<I> {
public:
    explicit BaseEffect(const IID& iid) : Counted<I>(iid) {}

    EffectCore core;

    HRESULT STDMETHODCALLTYPE GetDesc(D3DXEFFECT_DESC* d) override { return core.GetDesc(d); }
    HRESULT STDMETHODCALLTYPE GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) override { return core.GetParameterDesc(h, d); }
    HRESULT STDMETHODCALLTYPE GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) override { return core.GetTechniqueDesc(h, d); }
    HRESULT STDMETHODCALLTYPE GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) override { return core.GetPassDesc(h, d); }
    HRESULT STDMETHODCALLTYPE GetFunctionDesc(D3DXHANDLE h, D3DXFUNCTION_DESC* d) override { return core.GetFunctionDesc(h, d); }
    D3DXHANDLE STDMETHODCALLTYPE GetParameter(D3DXHANDLE h, UINT i) override { return core.GetParameter(h, i); }
    D3DXHANDLE STDMETHODCALLTYPE GetParameterByName(D3DXHANDLE h, LPCSTR n) override { return core.GetParameterByName(h, n); }
    D3DXHANDLE STDMETHODCALLTYPE GetParameterBySemantic(D3DXHANDLE h, LPCSTR s) override { return core.GetParameterBySemantic(h, s); }
    D3DXHANDLE STDMETHODCALLTYPE GetParameterElement(D3DXHANDLE h, UINT i) override { return core.GetParameterElement(h, i); }
    D3DXHANDLE STDMETHODCALLTYPE GetTechnique(UINT i) override { return core.GetTechnique(i); }
    D3DXHANDLE STDMETHODCALLTYPE GetTechniqueByName(LPCSTR n) override { return core.GetTechniqueByName(n); }
    D3DXHANDLE STDMETHODCALLTYPE GetPass(D3DXHANDLE h, UINT i) override { return core.GetPass(h, i); }
    D3DXHANDLE STDMETHODCALLTYPE GetPassByName(D3DXHANDLE h, LPCSTR n) override { return core.GetPassByName(h, n); }
    D3DXHANDLE STDMETHODCALLTYPE GetFunction(UINT) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetFunctionByName(LPCSTR) override { return nullptr; }
    D3DXHANDLE STDMETHODCALLTYPE GetAnnotation(D3DXHANDLE h, UINT i) override { return core.GetAnnotation(h, i); }
    D3DXHANDLE STDMETHODCALLTYPE GetAnnotationByName(D3DXHANDLE h, LPCSTR n) override { return core.GetAnnotationByName(h, n); }
    HRESULT STDMETHODCALLTYPE SetValue(D3DXHANDLE h, LPCVOID d, UINT b) override { return core.SetValue(h, d, b); }
    HRESULT STDMETHODCALLTYPE GetValue(D3DXHANDLE h, LPVOID d, UINT b) override { return core.GetValue(h, d, b); }
    HRESULT STDMETHODCALLTYPE SetBool(D3DXHANDLE h, BOOL b) override { return core.SetBool(h, b); }
    HRESULT STDMETHODCALLTYPE GetBool(D3DXHANDLE h, BOOL* b) override { return core.GetBool(h, b); }
    HRESULT STDMETHODCALLTYPE SetBoolArray(D3DXHANDLE h, const BOOL* b, UINT c) override { return core.SetBoolArray(h, b, c); }
    HRESULT STDMETHODCALLTYPE GetBoolArray(D3DXHANDLE h, BOOL* b, UINT c) override { return core.GetBoolArray(h, b, c); }
    HRESULT STDMETHODCALLTYPE SetInt(D3DXHANDLE h, INT n) override { return core.SetInt(h, n); }
    HRESULT STDMETHODCALLTYPE GetInt(D3DXHANDLE h, INT* n) override { return core.GetInt(h, n); }
    HRESULT STDMETHODCALLTYPE SetIntArray(D3DXHANDLE h, const INT* n, UINT c) override { return core.SetIntArray(h, n, c); }
    HRESULT STDMETHODCALLTYPE GetIntArray(D3DXHANDLE h, INT* n, UINT c) override { return core.GetIntArray(h, n, c); }
    HRESULT STDMETHODCALLTYPE SetFloat(D3DXHANDLE h, FLOAT f) override { return core.SetFloat(h, f); }
    HRESULT STDMETHODCALLTYPE GetFloat(D3DXHANDLE h, FLOAT* f) override { return core.GetFloat(h, f); }
    HRESULT STDMETHODCALLTYPE SetFloatArray(D3DXHANDLE h, const FLOAT* f, UINT c) override { return core.SetFloatArray(h, f, c); }
    HRESULT STDMETHODCALLTYPE GetFloatArray(D3DXHANDLE h, FLOAT* f, UINT c) override { return core.GetFloatArray(h, f, c); }
    HRESULT STDMETHODCALLTYPE SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) override { return core.SetVector(h, v); }
    HRESULT STDMETHODCALLTYPE GetVector(D3DXHANDLE h, D3DXVECTOR4* v) override { return core.GetVector(h, v); }
    HRESULT STDMETHODCALLTYPE SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* v, UINT c) override { return core.SetVectorArray(h, v, c); }
    HRESULT STDMETHODCALLTYPE GetVectorArray(D3DXHANDLE h, D3DXVECTOR4* v, UINT c) override { return core.GetVectorArray(h, v, c); }
    HRESULT STDMETHODCALLTYPE SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) override { return core.SetMatrices(h, &m, 1, false, false); }
    HRESULT STDMETHODCALLTYPE GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) override { return core.GetMatrices(h, &m, 1, false, false); }
    HRESULT STDMETHODCALLTYPE SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* m, UINT c) override { return SetArray(h, m, c, false); }
    HRESULT STDMETHODCALLTYPE GetMatrixArray(D3DXHANDLE h, D3DXMATRIX* m, UINT c) override { return GetArray(h, m, c, false); }
    HRESULT STDMETHODCALLTYPE SetMatrixPointerArray(D3DXHANDLE h, const D3DXMATRIX** m, UINT c) override { return core.SetMatrices(h, m, c, true, false); }
    // Asked for no matrices, the runtime hands out none without looking at the handle.
    HRESULT STDMETHODCALLTYPE GetMatrixPointerArray(D3DXHANDLE h, D3DXMATRIX** m, UINT c) override { return c ? core.GetMatrices(h, m, c, true, false) : D3D_OK; }
    HRESULT STDMETHODCALLTYPE SetMatrixTranspose(D3DXHANDLE h, const D3DXMATRIX* m) override { return core.SetMatrices(h, &m, 1, false, true); }
    HRESULT STDMETHODCALLTYPE GetMatrixTranspose(D3DXHANDLE h, D3DXMATRIX* m) override { return core.GetMatrices(h, &m, 1, false, true); }
    HRESULT STDMETHODCALLTYPE SetMatrixTransposeArray(D3DXHANDLE h, const D3DXMATRIX* m, UINT c) override { return SetArray(h, m, c, true); }
    HRESULT STDMETHODCALLTYPE GetMatrixTransposeArray(D3DXHANDLE h, D3DXMATRIX* m, UINT c) override { return GetArray(h, m, c, true); }
    HRESULT STDMETHODCALLTYPE SetMatrixTransposePointerArray(D3DXHANDLE h, const D3DXMATRIX** m, UINT c) override { return core.SetMatrices(h, m, c, true, true); }
    HRESULT STDMETHODCALLTYPE GetMatrixTransposePointerArray(D3DXHANDLE h, D3DXMATRIX** m, UINT c) override { return core.GetMatrices(h, m, c, true, true); }
    HRESULT STDMETHODCALLTYPE SetString(D3DXHANDLE h, LPCSTR s) override { return core.SetString(h, s); }
    HRESULT STDMETHODCALLTYPE GetString(D3DXHANDLE h, LPCSTR* s) override { return core.GetString(h, s); }
    HRESULT STDMETHODCALLTYPE SetTexture(D3DXHANDLE h, LPDIRECT3DBASETEXTURE9 t) override { return core.SetTexture(h, t); }
    HRESULT STDMETHODCALLTYPE GetTexture(D3DXHANDLE h, LPDIRECT3DBASETEXTURE9* t) override { return core.GetTexture(h, t); }
    HRESULT STDMETHODCALLTYPE GetPixelShader(D3DXHANDLE, LPDIRECT3DPIXELSHADER9*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetVertexShader(D3DXHANDLE, LPDIRECT3DVERTEXSHADER9*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetArrayRange(D3DXHANDLE, UINT, UINT) override { return D3D_OK; }

private:
    // A contiguous array of matrices, passed on as a list of pointers to its elements.
    HRESULT SetArray(D3DXHANDLE h, const D3DXMATRIX* m, UINT count, bool transpose) {
        if (count > kMaxEffectArray) return D3DERR_INVALIDCALL;
        std::vector<const D3DXMATRIX*> list(count);
        for (UINT i = 0; i < count; ++i) list[i] = m ? m + i : nullptr;
        return core.SetMatrices(h, count ? list.data() : nullptr, count, true, transpose);
    }
    HRESULT GetArray(D3DXHANDLE h, D3DXMATRIX* m, UINT count, bool transpose) {
        if (count > kMaxEffectArray) return D3DERR_INVALIDCALL;
        std::vector<D3DXMATRIX*> list(count);
        for (UINT i = 0; i < count; ++i) list[i] = m ? m + i : nullptr;
        return core.GetMatrices(h, count ? list.data() : nullptr, count, true, transpose);
    }
};

}  // namespace d3dx9
