// The effect compiler and the creation entry points. The compiler reads source text (the
// preprocessor with the caller's definitions, then the declaration parser) and writes the
// compiled form of our own; D3DXCreateEffect accepts that form or source text, so a
// program that caches compiled effects skips the text work on later runs. Failures hand
// back a text buffer naming the line and the problem; successes set the error pointer to
// null, as the runtime does.
#include "D3dx9EffectInternal.h"

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

// Leaves out of an effect the parameters a ";"-separated list names.
void SkipConstants(EffectDecl& decl, const char* list) {
    if (!list) return;
    const char* p = list;
    while (*p) {
        const char* end = strchr(p, ';');
        if (!end) end = p + strlen(p);
        const std::string name(p, end);
        for (size_t i = 0; i < decl.parameters.size(); ++i) {
            if (decl.parameters[i].name == name) {
                decl.parameters.erase(decl.parameters.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        p = *end ? end + 1 : end;
    }
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
    if (!pDevice || !pSrcData || !SrcDataLen || !ppEffect) return D3DERR_INVALIDCALL;
    *ppEffect = nullptr;
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
    SkipConstants(decl, pSkipConstants);
    if (HRESULT hr = CreateEffectFrom(pDevice, std::move(decl), Flags, pool, ppEffect, error); FAILED(hr))
        return Refuse(hr, error, ppCompilationErrors);
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
