// Handles, descriptions and typed values of effect parameters, as the runtime checks and
// converts them: the scalar setters take any non-array 1x1 numeric parameter and convert
// between bool, int and float; an int set on a float3/float4 (or a float Nx1 matrix with
// N other than 2) is a packed colour; SetVector takes scalars and vectors, SetMatrix only
// matrices; anything else, or a handle that names nothing, is D3DERR_INVALIDCALL and
// leaves the value as it was.
#include "D3dx9EffectInternal.h"
#include "Direct3D9Internal.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

namespace d3dx9 {

namespace {

float Float(uint32_t bits) {
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}
uint32_t Bits(float f) {
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    return bits;
}

int32_t Truncate(float f) {
    // A float outside the int range (or NaN) has no int value; it gives 0 rather than
    // undefined behaviour.
    if (!(f > -2147483648.0f && f < 2147483648.0f)) return 0;
    return static_cast<int32_t>(f);
}

uint32_t Convert(uint32_t word, D3DXPARAMETER_TYPE from, D3DXPARAMETER_TYPE to) {
    if (to == D3DXPT_BOOL) return from == D3DXPT_FLOAT ? Float(word) != 0.0f : word != 0;
    if (to == D3DXPT_INT) {
        if (from == D3DXPT_FLOAT) return static_cast<uint32_t>(Truncate(Float(word)));
        if (from == D3DXPT_BOOL) return word != 0;
        return word;
    }
    if (from == D3DXPT_INT) return Bits(static_cast<float>(static_cast<int32_t>(word)));
    if (from == D3DXPT_BOOL) return Bits(word ? 1.0f : 0.0f);
    return word;
}

float ToFloat(uint32_t word, D3DXPARAMETER_TYPE type) { return Float(Convert(word, type, D3DXPT_FLOAT)); }

// A colour packed as 0xAARRGGBB, as components r, g, b, a from 0 to 1.
void Unpack(INT colour, float out[4]) {
    const uint32_t c = static_cast<uint32_t>(colour);
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>(c >> 24) / 255.0f;
}
INT Pack(const float in[4]) {
    uint32_t c[4];
    for (int i = 0; i < 4; ++i) {
        const float v = in[i] > 1.0f ? 1.0f : (in[i] > 0.0f ? in[i] : 0.0f);  // NaN gives 0
        c[i] = static_cast<uint32_t>(v * 255.0f + 0.5f);
    }
    return static_cast<INT>(c[3] << 24 | c[0] << 16 | c[1] << 8 | c[2]);
}

// A float vector (or Nx1 matrix) an int is set on as a packed colour.
bool TakesColour(const ParamNode& p) {
    if (p.decl->type != D3DXPT_FLOAT || p.IsArray()) return false;
    if (p.decl->cls == D3DXPC_VECTOR) return p.decl->columns != 2 && p.decl->columns > 1;
    if (p.decl->cls == D3DXPC_MATRIX_ROWS) return p.decl->columns == 1 && p.decl->rows != 2 && p.decl->rows > 1;
    return false;
}

UINT Bytes(const EffectParamDecl& d, bool element) {
    if (d.IsObject()) return d.type == D3DXPT_STRING ? sizeof(LPCSTR) : sizeof(void*);
    return 4 * d.rows * d.columns * (element || !d.elements ? 1 : d.elements);
}

}  // namespace

EffectSlot::~EffectSlot() {
    if (texture) texture->Release();
}

void EffectSlot::SetTexture(IDirect3DBaseTexture9* value) {
    if (value == texture) return;
    if (value) value->AddRef();
    if (texture) texture->Release();
    texture = value;
    ++version;
}

bool IsTextureType(D3DXPARAMETER_TYPE type) {
    return type == D3DXPT_TEXTURE || type == D3DXPT_TEXTURE1D || type == D3DXPT_TEXTURE2D ||
           type == D3DXPT_TEXTURE3D || type == D3DXPT_TEXTURECUBE;
}

bool InDefaultPool(IDirect3DBaseTexture9* texture) {
    if (!texture) return false;
    D3DSURFACE_DESC desc;
    if (texture->GetType() == D3DRTYPE_TEXTURE) {
        if (FAILED(static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &desc))) return false;
    } else if (texture->GetType() == D3DRTYPE_CUBETEXTURE) {
        if (FAILED(static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &desc))) return false;
    } else {
        return false;
    }
    return desc.Pool == D3DPOOL_DEFAULT;
}

EffectCore::~EffectCore() {
    parameters.clear();  // slots go (or leave the pool) before the pool reference
    techniques.clear();
    if (pool) {
        for (const std::string& name : pooledNames) pool->Leave(name);
        pool->Release();
    }
}

std::unique_ptr<ParamNode> EffectCore::MakeParam(const EffectParamDecl& d, std::shared_ptr<EffectSlot> slot) {
    auto node = std::make_unique<ParamNode>();
    node->decl = &d;
    node->slot = std::move(slot);
    nodes.insert(node.get());
    node->annotations = MakeAnnotations(d.annotations);
    for (uint32_t i = 0; i < d.elements; ++i) {
        auto element = std::make_unique<ParamNode>();
        element->decl = &d;
        element->slot = node->slot;
        element->element = true;
        element->offset = i * d.rows * d.columns;
        nodes.insert(element.get());
        node->elements.push_back(std::move(element));
    }
    return node;
}

std::vector<std::unique_ptr<ParamNode>> EffectCore::MakeAnnotations(const std::vector<EffectParamDecl>& list) {
    std::vector<std::unique_ptr<ParamNode>> result;
    for (const EffectParamDecl& a : list) {
        auto slot = std::make_shared<EffectSlot>();
        slot->words = a.words;
        slot->text = a.text;
        result.push_back(MakeParam(a, std::move(slot)));
    }
    return result;
}

bool EffectCore::Build(EffectDecl source, EffectPool* withPool, std::string& error) {
    decl = std::move(source);
    if (withPool) {
        pool = withPool;
        pool->AddRef();
    }
    for (size_t i = 0; i < decl.parameters.size(); ++i) {
        const EffectParamDecl& d = decl.parameters[i];
        // A shared array whose length an effect of the pool declares otherwise keeps a
        // value of its own, as the runtime lets it; a type of another kind is refused.
        std::shared_ptr<EffectSlot> slot;
        if (withPool && (d.flags & D3DX_PARAMETER_SHARED)) {
            bool clash = false;
            slot = withPool->Join(d, &clash);
            if (clash) {
                error = "shared parameter '" + d.name + "' is declared with another type in the pool";
                return false;  // the destructor lets go of what was joined
            }
        }
        const bool pooled = slot != nullptr;
        if (!slot) {
            slot = std::make_shared<EffectSlot>();
            slot->words = d.words;
            slot->text = d.text;
        }
        parameters.push_back(MakeParam(d, std::move(slot)));
        parameters.back()->top = static_cast<int>(i);
        parameters.back()->pooled = pooled;
        if (pooled) pooledNames.push_back(d.name);
    }
    for (const EffectTechniqueDecl& t : decl.techniques) {
        auto technique = std::make_unique<TechniqueNode>();
        technique->decl = &t;
        nodes.insert(technique.get());
        technique->annotations = MakeAnnotations(t.annotations);
        for (const EffectPassDecl& p : t.passes) {
            auto pass = std::make_unique<PassNode>();
            pass->decl = &p;
            nodes.insert(pass.get());
            pass->annotations = MakeAnnotations(p.annotations);
            pass->vertexVersion = p.vertexShader.Present() ? ShaderProfileVersion(p.vertexShader.profile) : 0;
            pass->pixelVersion = p.pixelShader.Present() ? ShaderProfileVersion(p.pixelShader.profile) : 0;
            pass->vertexFunction[0] = pass->vertexVersion;
            pass->vertexFunction[1] = 0x0000FFFF;
            pass->pixelFunction[0] = pass->pixelVersion;
            pass->pixelFunction[1] = 0x0000FFFF;
            technique->passes.push_back(std::move(pass));
        }
        techniques.push_back(std::move(technique));
    }
    return true;
}

ParamNode* EffectCore::FindPath(ParamNode* parent, const char* name) const {
    if (!name) return nullptr;
    const char* p = name;
    while (*p && *p != '[' && *p != '@' && *p != '.') ++p;
    const std::string first(name, p);
    if (first.empty()) return nullptr;
    ParamNode* node = nullptr;
    if (parent) return nullptr;  // only structs have members, and no parameter is one
    for (const auto& param : parameters)
        if (param->decl->name == first) node = param.get();
    while (node && *p) {
        if (*p == '[') {
            ++p;
            if (*p < '0' || *p > '9') return nullptr;
            unsigned long index = 0;
            while (*p >= '0' && *p <= '9') {
                index = index * 10 + static_cast<unsigned long>(*p++ - '0');
                if (index > kMaxEffectArray) return nullptr;
            }
            if (*p++ != ']' || !node->IsArray() || index >= node->elements.size()) return nullptr;
            node = node->elements[index].get();
        } else if (*p == '@') {
            const std::string annotation(p + 1);
            for (const auto& a : node->annotations)
                if (!annotation.empty() && a->decl->name == annotation) return a.get();
            return nullptr;
        } else {
            return nullptr;  // a member of something that is not a struct
        }
    }
    return node;
}

ParamNode* EffectCore::Param(D3DXHANDLE handle) const {
    if (!handle) return nullptr;
    if (nodes.count(handle)) {
        const EffectNode* node = reinterpret_cast<const EffectNode*>(handle);
        return node->kind == NodeKind::Parameter ? const_cast<ParamNode*>(static_cast<const ParamNode*>(node)) : nullptr;
    }
    return FindPath(nullptr, handle);
}

TechniqueNode* EffectCore::Technique(D3DXHANDLE handle) const {
    if (!handle) return nullptr;
    if (nodes.count(handle)) {
        const EffectNode* node = reinterpret_cast<const EffectNode*>(handle);
        return node->kind == NodeKind::Technique ? const_cast<TechniqueNode*>(static_cast<const TechniqueNode*>(node))
                                                 : nullptr;
    }
    for (const auto& t : techniques)
        if (!t->decl->name.empty() && t->decl->name == handle) return t.get();
    return nullptr;
}

PassNode* EffectCore::Pass(D3DXHANDLE handle) const {
    if (!handle || !nodes.count(handle)) return nullptr;
    const EffectNode* node = reinterpret_cast<const EffectNode*>(handle);
    return node->kind == NodeKind::Pass ? const_cast<PassNode*>(static_cast<const PassNode*>(node)) : nullptr;
}

const std::vector<std::unique_ptr<ParamNode>>* EffectCore::AnnotationsOf(D3DXHANDLE object) const {
    if (!object) return nullptr;
    if (nodes.count(object)) {
        const EffectNode* node = reinterpret_cast<const EffectNode*>(object);
        switch (node->kind) {
        case NodeKind::Parameter: {
            const ParamNode* p = static_cast<const ParamNode*>(node);
            return p->element ? nullptr : &p->annotations;
        }
        case NodeKind::Technique: return &static_cast<const TechniqueNode*>(node)->annotations;
        case NodeKind::Pass: return &static_cast<const PassNode*>(node)->annotations;
        }
        return nullptr;
    }
    if (ParamNode* p = FindPath(nullptr, object)) return p->element ? nullptr : &p->annotations;
    if (TechniqueNode* t = Technique(object)) return &t->annotations;
    return nullptr;
}

std::string EffectCore::ValueText(const ParamNode& param) {
    const EffectParamDecl& d = *param.decl;
    if (d.type == D3DXPT_STRING) return "\"" + param.slot->text + "\"";
    if (d.IsObject()) {
        if (!param.slot->texture) return "null";
        return "#" + std::to_string(d3d9::O(param.slot->texture).value);
    }
    auto one = [&](uint32_t w) -> std::string {
        char text[32];
        if (d.type == D3DXPT_BOOL) return w ? "true" : "false";
        if (d.type == D3DXPT_INT)
            snprintf(text, sizeof text, "%d", static_cast<int32_t>(w));
        else
            snprintf(text, sizeof text, "%g", static_cast<double>(Float(w)));
        return text;
    };
    const uint32_t n = param.Words();
    const uint32_t* words = param.Data();
    if (n == 1 && d.cls == D3DXPC_SCALAR && !param.IsArray()) return one(words[0]);
    std::string text = "[";
    for (uint32_t i = 0; i < n; ++i) text += (i ? ", " : "") + one(words[i]);
    return text + "]";
}

void EffectCore::ReleaseDefaultTextures() {
    for (const auto& p : parameters)
        if (!p->pooled && InDefaultPool(p->slot->texture))
            p->slot->SetTexture(nullptr);
}

// ---- descriptions ---------------------------------------------------------------------

HRESULT EffectCore::GetDesc(D3DXEFFECT_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Creator = "D3DX Effect Compiler";
    desc->Parameters = static_cast<UINT>(parameters.size());
    desc->Techniques = static_cast<UINT>(techniques.size());
    desc->Functions = 0;
    return D3D_OK;
}

HRESULT EffectCore::GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* desc) {
    ParamNode* p = Param(h);
    if (!p || !desc) return D3DERR_INVALIDCALL;
    const EffectParamDecl& d = *p->decl;
    desc->Name = d.name.c_str();
    desc->Semantic = d.semantic.empty() ? nullptr : d.semantic.c_str();
    desc->Class = d.cls;
    desc->Type = d.type;
    desc->Rows = d.rows;
    desc->Columns = d.columns;
    desc->Elements = p->element ? 0 : d.elements;
    desc->Annotations = p->element ? 0 : static_cast<UINT>(p->annotations.size());
    desc->StructMembers = 0;
    desc->Flags = d.flags;
    desc->Bytes = Bytes(d, p->element);
    return D3D_OK;
}

HRESULT EffectCore::GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* desc) {
    TechniqueNode* t = Technique(h);
    if (!t || !desc) return D3DERR_INVALIDCALL;
    desc->Name = t->decl->name.empty() ? nullptr : t->decl->name.c_str();
    desc->Passes = static_cast<UINT>(t->passes.size());
    desc->Annotations = static_cast<UINT>(t->annotations.size());
    return D3D_OK;
}

HRESULT EffectCore::GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* desc) {
    PassNode* p = Pass(h);
    if (!p || !desc) return D3DERR_INVALIDCALL;
    desc->Name = p->decl->name.empty() ? nullptr : p->decl->name.c_str();
    desc->Annotations = static_cast<UINT>(p->annotations.size());
    desc->pVertexShaderFunction = p->vertexVersion ? p->vertexFunction : nullptr;
    desc->pPixelShaderFunction = p->pixelVersion ? p->pixelFunction : nullptr;
    return D3D_OK;
}

HRESULT EffectCore::GetFunctionDesc(D3DXHANDLE, D3DXFUNCTION_DESC*) { return D3DERR_INVALIDCALL; }

D3DXHANDLE EffectCore::GetParameter(D3DXHANDLE parent, UINT index) {
    if (parent) return nullptr;  // no parameter has members
    return index < parameters.size() ? Handle(parameters[index].get()) : nullptr;
}

D3DXHANDLE EffectCore::GetParameterByName(D3DXHANDLE parent, LPCSTR name) {
    if (!name) return parent && Param(parent) ? Handle(Param(parent)) : nullptr;
    if (parent) {
        ParamNode* p = Param(parent);
        return p ? Handle(FindPath(p, name)) : nullptr;
    }
    return Handle(FindPath(nullptr, name));
}

D3DXHANDLE EffectCore::GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic) {
    if (parent || !semantic) return nullptr;
    for (const auto& p : parameters)
        if (!p->decl->semantic.empty() && strcasecmp(p->decl->semantic.c_str(), semantic) == 0) return Handle(p.get());
    return nullptr;
}

D3DXHANDLE EffectCore::GetParameterElement(D3DXHANDLE parent, UINT index) {
    ParamNode* p = Param(parent);
    if (!p || !p->IsArray() || index >= p->elements.size()) return nullptr;
    return Handle(p->elements[index].get());
}

D3DXHANDLE EffectCore::GetTechnique(UINT index) {
    return index < techniques.size() ? Handle(techniques[index].get()) : nullptr;
}

D3DXHANDLE EffectCore::GetTechniqueByName(LPCSTR name) {
    if (!name) return nullptr;
    for (const auto& t : techniques)
        if (t->decl->name == name) return Handle(t.get());
    return nullptr;
}

D3DXHANDLE EffectCore::GetPass(D3DXHANDLE technique, UINT index) {
    TechniqueNode* t = Technique(technique);
    if (!t || index >= t->passes.size()) return nullptr;
    return Handle(t->passes[index].get());
}

D3DXHANDLE EffectCore::GetPassByName(D3DXHANDLE technique, LPCSTR name) {
    TechniqueNode* t = Technique(technique);
    if (!t || !name) return nullptr;
    for (const auto& p : t->passes)
        if (p->decl->name == name) return Handle(p.get());
    return nullptr;
}

D3DXHANDLE EffectCore::GetAnnotation(D3DXHANDLE object, UINT index) {
    const auto* list = AnnotationsOf(object);
    if (!list || index >= list->size()) return nullptr;
    return Handle((*list)[index].get());
}

D3DXHANDLE EffectCore::GetAnnotationByName(D3DXHANDLE object, LPCSTR name) {
    const auto* list = AnnotationsOf(object);
    if (!list || !name) return nullptr;
    for (const auto& a : *list)
        if (a->decl->name == name) return Handle(a.get());
    return nullptr;
}

// ---- values ---------------------------------------------------------------------------

HRESULT EffectCore::SetWords(ParamNode* p, const uint32_t* words, D3DXPARAMETER_TYPE from, UINT count,
                             bool markEqual) {
    uint32_t* data = p->Data();
    bool changed = markEqual;
    for (UINT i = 0; i < count; ++i) {
        const uint32_t value = Convert(words[i], from, p->decl->type);
        changed = changed || data[i] != value;
        data[i] = value;
    }
    if (changed) ++p->slot->version;
    return D3D_OK;
}

HRESULT EffectCore::SetValue(D3DXHANDLE h, LPCVOID data, UINT bytes) {
    ParamNode* p = Param(h);
    if (!p || !data) return D3DERR_INVALIDCALL;
    const EffectParamDecl& d = *p->decl;
    if (bytes < Bytes(d, p->element)) return D3DERR_INVALIDCALL;
    if (IsTextureType(d.type)) {
        IDirect3DBaseTexture9* texture;
        memcpy(&texture, data, sizeof texture);
        p->slot->SetTexture(texture);
        return D3D_OK;
    }
    if (d.IsObject()) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> words(p->Words());
    memcpy(words.data(), data, words.size() * 4);
    return SetWords(p, words.data(), d.type, p->Words(), true);
}

HRESULT EffectCore::GetValue(D3DXHANDLE h, LPVOID data, UINT bytes) {
    ParamNode* p = Param(h);
    if (!p || !data) return D3DERR_INVALIDCALL;
    const EffectParamDecl& d = *p->decl;
    if (bytes < Bytes(d, p->element)) return D3DERR_INVALIDCALL;
    if (d.type == D3DXPT_STRING) {
        const char* text = p->slot->text.c_str();
        memcpy(data, &text, sizeof text);
    } else if (d.IsObject()) {
        IDirect3DBaseTexture9* texture = IsTextureType(d.type) ? p->slot->texture : nullptr;
        if (texture) texture->AddRef();
        memcpy(data, &texture, sizeof texture);
    } else {
        memcpy(data, p->Data(), p->Words() * 4);
    }
    return D3D_OK;
}

HRESULT EffectCore::SetBool(D3DXHANDLE h, BOOL b) {
    ParamNode* p = Param(h);
    if (!p || !p->IsOneByOne()) return D3DERR_INVALIDCALL;
    const uint32_t word = b != 0;
    return SetWords(p, &word, D3DXPT_BOOL, 1, false);
}

HRESULT EffectCore::GetBool(D3DXHANDLE h, BOOL* b) {
    ParamNode* p = Param(h);
    if (!p || !b || !p->IsOneByOne()) return D3DERR_INVALIDCALL;
    *b = static_cast<BOOL>(Convert(p->Data()[0], p->decl->type, D3DXPT_BOOL));
    return D3D_OK;
}

HRESULT EffectCore::SetInt(D3DXHANDLE h, INT n) {
    ParamNode* p = Param(h);
    if (!p) return D3DERR_INVALIDCALL;
    if (p->IsOneByOne()) {
        const uint32_t word = static_cast<uint32_t>(n);
        return SetWords(p, &word, D3DXPT_INT, 1, false);
    }
    if (!TakesColour(*p)) return D3DERR_INVALIDCALL;
    float colour[4];
    Unpack(n, colour);
    uint32_t words[4];
    for (int i = 0; i < 4; ++i) words[i] = Bits(colour[i]);
    return SetWords(p, words, D3DXPT_FLOAT, p->Words(), false);
}

HRESULT EffectCore::GetInt(D3DXHANDLE h, INT* n) {
    ParamNode* p = Param(h);
    if (!p || !n) return D3DERR_INVALIDCALL;
    if (p->IsOneByOne()) {
        *n = static_cast<INT>(Convert(p->Data()[0], p->decl->type, D3DXPT_INT));
        return D3D_OK;
    }
    if (!TakesColour(*p)) return D3DERR_INVALIDCALL;
    float colour[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < p->Words() && i < 4; ++i) colour[i] = Float(p->Data()[i]);
    *n = Pack(colour);
    return D3D_OK;
}

HRESULT EffectCore::SetFloat(D3DXHANDLE h, FLOAT f) {
    ParamNode* p = Param(h);
    if (!p || !p->IsOneByOne()) return D3DERR_INVALIDCALL;
    const uint32_t word = Bits(f);
    return SetWords(p, &word, D3DXPT_FLOAT, 1, false);
}

HRESULT EffectCore::GetFloat(D3DXHANDLE h, FLOAT* f) {
    ParamNode* p = Param(h);
    if (!p || !f || !p->IsOneByOne()) return D3DERR_INVALIDCALL;
    *f = ToFloat(p->Data()[0], p->decl->type);
    return D3D_OK;
}

// BOOL, INT and FLOAT are all one 32-bit word: the array setters and getters share one
// path that converts word by word from or to the caller's type.
HRESULT EffectCore::SetArrayWords(D3DXHANDLE h, const void* values, UINT count, D3DXPARAMETER_TYPE from) {
    ParamNode* p = Param(h);
    if (!p || !p->IsNumeric() || (!values && count)) return D3DERR_INVALIDCALL;
    const UINT n = count < p->Words() ? count : p->Words();
    std::vector<uint32_t> words(n);
    if (n) memcpy(words.data(), values, size_t(n) * 4);
    return SetWords(p, words.data(), from, n, true);
}

HRESULT EffectCore::GetArrayWords(D3DXHANDLE h, void* values, UINT count, D3DXPARAMETER_TYPE to) {
    ParamNode* p = Param(h);
    if (!p || !p->IsNumeric() || (!values && count)) return D3DERR_INVALIDCALL;
    uint8_t* out = static_cast<uint8_t*>(values);
    for (UINT i = 0; i < count && i < p->Words(); ++i) {
        const uint32_t word = Convert(p->Data()[i], p->decl->type, to);
        memcpy(out + size_t(i) * 4, &word, 4);
    }
    return D3D_OK;
}

HRESULT EffectCore::SetBoolArray(D3DXHANDLE h, const BOOL* b, UINT count) { return SetArrayWords(h, b, count, D3DXPT_BOOL); }
HRESULT EffectCore::GetBoolArray(D3DXHANDLE h, BOOL* b, UINT count) { return GetArrayWords(h, b, count, D3DXPT_BOOL); }
HRESULT EffectCore::SetIntArray(D3DXHANDLE h, const INT* n, UINT count) { return SetArrayWords(h, n, count, D3DXPT_INT); }
HRESULT EffectCore::GetIntArray(D3DXHANDLE h, INT* n, UINT count) { return GetArrayWords(h, n, count, D3DXPT_INT); }
HRESULT EffectCore::SetFloatArray(D3DXHANDLE h, const FLOAT* f, UINT count) {
    return SetArrayWords(h, f, count, D3DXPT_FLOAT);
}
HRESULT EffectCore::GetFloatArray(D3DXHANDLE h, FLOAT* f, UINT count) { return GetArrayWords(h, f, count, D3DXPT_FLOAT); }

HRESULT EffectCore::SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) {
    ParamNode* p = Param(h);
    if (!p || !v || p->IsArray() || !p->IsNumeric()) return D3DERR_INVALIDCALL;
    const D3DXPARAMETER_CLASS cls = p->decl->cls;
    if (cls != D3DXPC_SCALAR && cls != D3DXPC_VECTOR) return D3DERR_INVALIDCALL;
    const float in[4] = {v->x, v->y, v->z, v->w};
    if (cls == D3DXPC_SCALAR && p->decl->type == D3DXPT_INT) {
        const uint32_t word = static_cast<uint32_t>(Pack(in));
        return SetWords(p, &word, D3DXPT_INT, 1, false);
    }
    uint32_t words[4];
    for (int i = 0; i < 4; ++i) words[i] = Bits(in[i]);
    return SetWords(p, words, D3DXPT_FLOAT, p->Words() < 4 ? p->Words() : 4, false);
}

HRESULT EffectCore::GetVector(D3DXHANDLE h, D3DXVECTOR4* v) {
    ParamNode* p = Param(h);
    if (!p || !v || p->IsArray() || !p->IsNumeric()) return D3DERR_INVALIDCALL;
    const D3DXPARAMETER_CLASS cls = p->decl->cls;
    if (cls != D3DXPC_SCALAR && cls != D3DXPC_VECTOR) return D3DERR_INVALIDCALL;
    float out[4] = {0, 0, 0, 0};
    if (cls == D3DXPC_SCALAR && p->decl->type == D3DXPT_INT)
        Unpack(static_cast<INT>(p->Data()[0]), out);
    else
        for (uint32_t i = 0; i < p->Words() && i < 4; ++i) out[i] = ToFloat(p->Data()[i], p->decl->type);
    *v = D3DXVECTOR4(out[0], out[1], out[2], out[3]);
    return D3D_OK;
}

HRESULT EffectCore::SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* v, UINT count) {
    ParamNode* p = Param(h);
    if (!p || !p->IsArray() || p->decl->cls != D3DXPC_VECTOR || count > p->decl->elements || (!v && count))
        return D3DERR_INVALIDCALL;
    const uint32_t columns = p->decl->columns;
    std::vector<uint32_t> words(size_t(count) * columns);
    for (UINT e = 0; e < count; ++e) {
        const float in[4] = {v[e].x, v[e].y, v[e].z, v[e].w};
        for (uint32_t c = 0; c < columns; ++c) words[e * columns + c] = Bits(in[c]);
    }
    return SetWords(p, words.data(), D3DXPT_FLOAT, static_cast<UINT>(words.size()), true);
}

HRESULT EffectCore::GetVectorArray(D3DXHANDLE h, D3DXVECTOR4* v, UINT count) {
    ParamNode* p = Param(h);
    if (!p || !p->IsArray() || p->decl->cls != D3DXPC_VECTOR || count > p->decl->elements || (!v && count))
        return D3DERR_INVALIDCALL;
    const uint32_t columns = p->decl->columns;
    for (UINT e = 0; e < count; ++e) {
        float out[4] = {0, 0, 0, 0};
        for (uint32_t c = 0; c < columns; ++c) out[c] = ToFloat(p->Data()[e * columns + c], p->decl->type);
        v[e] = D3DXVECTOR4(out[0], out[1], out[2], out[3]);
    }
    return D3D_OK;
}

HRESULT EffectCore::SetMatrices(D3DXHANDLE h, const D3DXMATRIX* const* m, UINT count, bool array, bool transpose) {
    ParamNode* p = Param(h);
    if (!p || !p->IsNumeric()) return D3DERR_INVALIDCALL;
    const EffectParamDecl& d = *p->decl;
    if (d.cls != D3DXPC_MATRIX_ROWS && d.cls != D3DXPC_MATRIX_COLUMNS) return D3DERR_INVALIDCALL;
    if (array ? count > (p->element ? 0 : d.elements) : p->IsArray()) return D3DERR_INVALIDCALL;
    if (!m && count) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> words(size_t(count) * d.rows * d.columns);
    size_t at = 0;
    for (UINT e = 0; e < count; ++e) {
        if (!m[e]) return D3DERR_INVALIDCALL;
        for (uint32_t r = 0; r < d.rows; ++r)
            for (uint32_t c = 0; c < d.columns; ++c) words[at++] = Bits(transpose ? m[e]->m[c][r] : m[e]->m[r][c]);
    }
    return SetWords(p, words.data(), D3DXPT_FLOAT, static_cast<UINT>(words.size()), array);
}

HRESULT EffectCore::GetMatrices(D3DXHANDLE h, D3DXMATRIX* const* m, UINT count, bool array, bool transpose) {
    ParamNode* p = Param(h);
    if (!p || !p->IsNumeric()) return D3DERR_INVALIDCALL;
    const EffectParamDecl& d = *p->decl;
    // The single transposed getter also takes a scalar or a vector, and hands it out as the
    // first row, untransposed: the runtime does so.
    const bool row = transpose && !array && (d.cls == D3DXPC_SCALAR || d.cls == D3DXPC_VECTOR);
    if (row) transpose = false;
    if (!row && d.cls != D3DXPC_MATRIX_ROWS && d.cls != D3DXPC_MATRIX_COLUMNS) return D3DERR_INVALIDCALL;
    if (array ? count > (p->element ? 0 : d.elements) : p->IsArray()) return D3DERR_INVALIDCALL;
    if (!m && count) return D3DERR_INVALIDCALL;
    size_t at = 0;
    for (UINT e = 0; e < count; ++e) {
        if (!m[e]) return D3DERR_INVALIDCALL;
        D3DXMATRIX& out = *m[e];
        memset(&out, 0, sizeof(D3DMATRIX));
        for (uint32_t r = 0; r < d.rows; ++r)
            for (uint32_t c = 0; c < d.columns; ++c) {
                const float v = ToFloat(p->Data()[at++], d.type);
                if (transpose)
                    out.m[c][r] = v;
                else
                    out.m[r][c] = v;
            }
    }
    return D3D_OK;
}

HRESULT EffectCore::SetString(D3DXHANDLE h, LPCSTR text) {
    ParamNode* p = Param(h);
    if (!p || !text || p->decl->type != D3DXPT_STRING) return D3DERR_INVALIDCALL;
    p->slot->text = text;
    ++p->slot->version;
    return D3D_OK;
}

HRESULT EffectCore::GetString(D3DXHANDLE h, LPCSTR* text) {
    ParamNode* p = Param(h);
    if (!p || !text || p->decl->type != D3DXPT_STRING) return D3DERR_INVALIDCALL;
    *text = p->slot->text.c_str();
    return D3D_OK;
}

HRESULT EffectCore::SetTexture(D3DXHANDLE h, LPDIRECT3DBASETEXTURE9 texture) {
    ParamNode* p = Param(h);
    if (!p || !IsTextureType(p->decl->type)) return D3DERR_INVALIDCALL;
    p->slot->SetTexture(texture);
    return D3D_OK;
}

HRESULT EffectCore::GetTexture(D3DXHANDLE h, LPDIRECT3DBASETEXTURE9* texture) {
    ParamNode* p = Param(h);
    if (!p || !texture || !IsTextureType(p->decl->type)) return D3DERR_INVALIDCALL;
    *texture = p->slot->texture;
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

}  // namespace d3dx9
