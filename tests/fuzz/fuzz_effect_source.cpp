// Fuzz target for the effect preprocessor and declaration parser: the input is effect
// source text, compiled with and without a definition table; a compiler that comes back
// is asked for its description, every parameter and technique, and its compiled form.
#include <d3dx9.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const D3DXMACRO defines[] = {{"PS_MODEL", "ps_2_0"}, {"EMPTY", ""}, {"N", "3"}, {nullptr, nullptr}};
    for (const D3DXMACRO* table : {static_cast<const D3DXMACRO*>(nullptr), defines}) {
        ID3DXEffectCompiler* compiler = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffectCompiler(reinterpret_cast<const char*>(data), static_cast<UINT>(size), table,
                                                    nullptr, 0, &compiler, &errors);
        if (FAILED(hr)) {
            // A failure always explains itself.
            if (!errors || errors->GetBufferSize() == 0) __builtin_trap();
            errors->Release();
            continue;
        }
        if (errors) __builtin_trap();
        D3DXEFFECT_DESC desc;
        compiler->GetDesc(&desc);
        for (UINT i = 0; i < desc.Parameters; ++i) {
            D3DXPARAMETER_DESC p;
            if (compiler->GetParameterDesc(compiler->GetParameter(nullptr, i), &p) != D3D_OK) __builtin_trap();
            for (UINT a = 0; a < p.Annotations; ++a)
                if (!compiler->GetAnnotation(compiler->GetParameter(nullptr, i), a)) __builtin_trap();
        }
        for (UINT t = 0; t < desc.Techniques; ++t) {
            D3DXTECHNIQUE_DESC td;
            if (compiler->GetTechniqueDesc(compiler->GetTechnique(t), &td) != D3D_OK) __builtin_trap();
            for (UINT p = 0; p < td.Passes; ++p) {
                D3DXPASS_DESC pd;
                if (compiler->GetPassDesc(compiler->GetPass(compiler->GetTechnique(t), p), &pd) != D3D_OK)
                    __builtin_trap();
            }
        }
        ID3DXBuffer* compiled = nullptr;
        if (compiler->CompileEffect(0, &compiled, nullptr) != D3D_OK || !compiled) __builtin_trap();
        compiled->Release();
        compiler->Release();
    }
    return 0;
}
