// The effect compiler and the creation entry points. The compiler reads source text (the
// preprocessor with the caller's definitions, then the declaration parser) and writes the
// compiled form of our own; D3DXCreateEffect accepts that form or source text, so a
// program that caches compiled effects skips the text work on later runs. Failures hand
// back a text buffer naming the line and the problem; successes set the error pointer to
// null, as the runtime does. Constants named to be skipped leave the effect, unless a state
// reads them.
#include "D3dx9EffectInternal.h"

#include <ctype.h>
#include <string.h>

namespace d3dx9 {

namespace {

class Compiler final : public BaseEffect<ID3DXEffectCompiler> {
public:
    Compiler() : BaseEffect<ID3DXEffectCompiler>(IID_ID3DXEffectCompiler) { ++LiveEffectObjects().compilers; }
    ~Compiler() override { --LiveEffectObjects().compilers; }

    HRESULT STDMETHODCALLTYPE SetLiteral(D3DXHANDLE, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLiteral(D3DXHANDLE, BOOL*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE CompileEffect(DWORD, LPD3DXBUFFER* effect, LPD3DXBUFFER* errors) override {
        if (errors) *errors = nullptr;
        if (!effect) return D3DERR_INVALIDCALL;
        // Values set on the compiler since it read the source become the initial values.
        EffectDecl compiled = core.decl;
        for (size_t i = 0; i < core.parameters.size(); ++i) {
            compiled.parameters[i].words = core.parameters[i]->slot->words;
            compiled.parameters[i].text = core.parameters[i]->slot->text;
        }
        const std::vector<uint8_t> bytes = WriteCompiledEffect(compiled);
        return MakeBuffer(bytes.data(), bytes.size(), effect);
    }

    HRESULT STDMETHODCALLTYPE CompileShader(D3DXHANDLE, LPCSTR, DWORD, LPD3DXBUFFER* shader, LPD3DXBUFFER* errors,
                                            LPD3DXCONSTANTTABLE* table) override {
        if (shader) *shader = nullptr;
        if (errors) *errors = nullptr;
        if (table) *table = nullptr;
        return E_NOTIMPL;
    }
};

// Whether a state's value text ("<zen>", "(tex)", "zen > 0") names the parameter.
bool Names(const std::string& value, const std::string& name) {
    auto word = [](char c) { return isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (size_t at = value.find(name); at != std::string::npos; at = value.find(name, at + 1)) {
        const size_t after = at + name.size();
        if ((at == 0 || !word(value[at - 1])) && (after == value.size() || !word(value[after]))) return true;
    }
    return false;
}

// Whether a pass's or a sampler's state reads the parameter: such a parameter is the
// effect's own to set, not a shader constant the program may take over.
bool StatesRead(const EffectDecl& decl, const std::string& name) {
    for (const EffectTechniqueDecl& t : decl.techniques)
        for (const EffectPassDecl& p : t.passes)
            for (const auto& state : p.states)
                if (Names(state.second, name)) return true;
    for (const EffectParamDecl& d : decl.parameters)
        for (const auto& state : d.states)
            if (Names(state.second, name)) return true;
    return false;
}

// Leaves out of an effect the parameters a ";"-separated list names; false when a state
// reads one of them.
bool SkipConstants(EffectDecl& decl, const char* list, std::string& error) {
    if (!list) return true;
    const char* p = list;
    while (*p) {
        const char* end = strchr(p, ';');
        if (!end) end = p + strlen(p);
        const std::string name(p, end);
        for (size_t i = 0; i < decl.parameters.size(); ++i) {
            if (decl.parameters[i].name != name) continue;
            if (StatesRead(decl, name)) {
                error = "the constant '" + name + "' to skip is read by a state";
                return false;
            }
            decl.parameters.erase(decl.parameters.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        p = *end ? end + 1 : end;
    }
    return true;
}

HRESULT Refuse(HRESULT result, const std::string& message, LPD3DXBUFFER* errors) {
    if (errors) MakeTextBuffer(message, errors);
    return result;
}

}  // namespace

}  // namespace d3dx9

using namespace d3dx9;

HRESULT WINAPI D3DXCreateEffectEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen,
                                  const D3DXMACRO* pDefines, LPD3DXINCLUDE, LPCSTR pSkipConstants, DWORD Flags,
                                  LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors) {
    if (ppCompilationErrors) *ppCompilationErrors = nullptr;
    if (!pDevice || !pSrcData) return D3DERR_INVALIDCALL;
    if (!SrcDataLen) return E_FAIL;  // nothing to read, as a source that reads as nothing
    if (ppEffect) *ppEffect = nullptr;
    EffectPool* pool = OurPool(pPool);
    if (pPool && !pool) return D3DERR_INVALIDCALL;
    EffectDecl decl;
    std::string error;
    if (LooksCompiledEffect(pSrcData, SrcDataLen)) {
        if (!ReadCompiledEffect(pSrcData, SrcDataLen, decl, error))
            return Refuse(D3DXERR_INVALIDDATA, error, ppCompilationErrors);
    } else if (!ReadEffectSource(static_cast<const char*>(pSrcData), SrcDataLen, pDefines, decl, error)) {
        return Refuse(E_FAIL, error, ppCompilationErrors);
    }
    if (!SkipConstants(decl, pSkipConstants, error)) return Refuse(D3DERR_INVALIDCALL, error, ppCompilationErrors);
    // Without a place for the effect it is built all the same, and let go.
    ID3DXEffect* effect = CreateEffectFrom(pDevice, std::move(decl), Flags, pool, error);
    if (!effect) return Refuse(E_FAIL, error, ppCompilationErrors);
    if (ppEffect)
        *ppEffect = effect;
    else
        effect->Release();
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen,
                                const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors) {
    return D3DXCreateEffectEx(pDevice, pSrcData, SrcDataLen, pDefines, pInclude, nullptr, Flags, pPool, ppEffect,
                              ppCompilationErrors);
}

HRESULT WINAPI D3DXCreateEffectCompiler(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines, LPD3DXINCLUDE,
                                        DWORD, LPD3DXEFFECTCOMPILER* ppCompiler, LPD3DXBUFFER* ppParseErrors) {
    if (ppParseErrors) *ppParseErrors = nullptr;
    if (!pSrcData || !ppCompiler) return D3DERR_INVALIDCALL;
    *ppCompiler = nullptr;
    EffectDecl decl;
    std::string error;
    if (!ReadEffectSource(pSrcData, SrcDataLen, pDefines, decl, error)) return Refuse(E_FAIL, error, ppParseErrors);
    Compiler* compiler = new Compiler();
    compiler->core.Build(std::move(decl), nullptr, error);  // without a pool nothing can clash
    *ppCompiler = compiler;
    return D3D_OK;
}
