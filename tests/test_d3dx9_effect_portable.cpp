// D3DX effects as the real library and the platform both answer them: declarations'
// values and layouts, argument checks of the creation functions, and (where the library
// can build effects from text) parameters, pools, techniques and the pass machine.
#include "EffectSources.h"
#include "PortableD3d9Device.h"

#include <d3dx9.h>

#include <stddef.h>
#include <string.h>

#include <string>

namespace {

TEST(D3dx9EffectDeclarations, ValuesAndLayouts) {
    static_assert(sizeof(D3DXHANDLE) == sizeof(void*));
    static_assert(sizeof(D3DXMACRO) == 2 * sizeof(void*));
    static_assert(offsetof(D3DXPARAMETER_DESC, Class) == 2 * sizeof(void*));
    static_assert(offsetof(D3DXPARAMETER_DESC, Bytes) == 2 * sizeof(void*) + 8 * 4);
    static_assert(sizeof(D3DXEFFECT_DESC) == sizeof(void*) + 3 * 4 + (sizeof(void*) == 8 ? 4 : 0));
    static_assert(offsetof(D3DXPASS_DESC, pVertexShaderFunction) == 2 * sizeof(void*));
    static_assert(D3DXPC_OBJECT == 4 && D3DXPC_STRUCT == 5);
    static_assert(D3DXPT_STRING == 4 && D3DXPT_TEXTURECUBE == 9 && D3DXPT_SAMPLERCUBE == 14 &&
                  D3DXPT_VERTEXSHADER == 16 && D3DXPT_UNSUPPORTED == 19);
    static_assert(D3DXFX_DONOTSAVESTATE == 1 && D3DXFX_DONOTSAVESHADERSTATE == 2 &&
                  D3DXFX_DONOTSAVESAMPLERSTATE == 4 && D3DXFX_NOT_CLONEABLE == 0x800);
    static_assert(D3DX_PARAMETER_SHARED == 1 && D3DX_PARAMETER_ANNOTATION == 4);
    static_assert(D3DXSHADER_DEBUG == 1 && D3DXSHADER_SKIPOPTIMIZATION == 4 && D3DXSHADER_NO_PRESHADER == 0x100 &&
                  D3DXSHADER_OPTIMIZATION_LEVEL3 == 0x8000);
    const IID effect = {0x648b1ceb, 0x8d4e, 0x4d66, {0xb6, 0xfa, 0xe4, 0x49, 0x69, 0xe8, 0x2e, 0x89}};
    const IID pool = {0x53ca7768, 0xc0d0, 0x4664, {0x8e, 0x79, 0xd1, 0x56, 0xe4, 0xf5, 0xb7, 0xe0}};
    const IID compiler = {0xf8ee90d3, 0xfcc6, 0x4f14, {0x8a, 0xe8, 0x63, 0x74, 0xae, 0x96, 0x8e, 0x33}};
    const IID buffer = {0x932e6a7e, 0xc68e, 0x45dd, {0xa7, 0xbf, 0x53, 0xd1, 0x9c, 0x86, 0xdb, 0x1f}};
    EXPECT_EQ(memcmp(&IID_ID3DXEffect, &effect, sizeof effect), 0);
    EXPECT_EQ(memcmp(&IID_ID3DXEffectPool, &pool, sizeof pool), 0);
    EXPECT_EQ(memcmp(&IID_ID3DXEffectCompiler, &compiler, sizeof compiler), 0);
    EXPECT_EQ(memcmp(&IID_ID3DXBuffer, &buffer, sizeof buffer), 0);
}

TEST(D3dx9Effect, PoolsAndBuffers) {
    EXPECT_EQ(D3DXCreateEffectPool(nullptr), D3DERR_INVALIDCALL);
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    EXPECT_EQ(pool->Release(), 0u);
    ID3DXBuffer* buffer = nullptr;
    ASSERT_EQ(D3DXCreateBuffer(16, &buffer), D3D_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 16u);
    EXPECT_NE(buffer->GetBufferPointer(), nullptr);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST(D3dx9Effect, CompilerArguments) {
    ID3DXEffectCompiler* compiler = nullptr;
    EXPECT_EQ(D3DXCreateEffectCompiler(nullptr, 0, nullptr, nullptr, 0, &compiler, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateEffectCompiler("x", 1, nullptr, nullptr, 0, nullptr, nullptr), D3DERR_INVALIDCALL);
}

class D3dx9EffectOnDevice : public PortableD3d9Device {
protected:
    // An effect from text, or a skip where the library here cannot build one.
    ID3DXEffect* Build(const char* source, ID3DXEffectPool* pool = nullptr) {
        ID3DXEffect* effect = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, source, static_cast<UINT>(strlen(source)), nullptr, nullptr, 0,
                                            pool, &effect, &errors);
        if (errors) errors->Release();
        if (FAILED(hr)) return nullptr;
        EXPECT_EQ(errors, nullptr);
        return effect;
    }
};

TEST_F(D3dx9EffectOnDevice, CreationArguments) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = reinterpret_cast<ID3DXBuffer*>(1);
    EXPECT_EQ(D3DXCreateEffect(nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr, &effect, &errors),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(D3DXCreateEffect(device, nullptr, 0, nullptr, nullptr, 0, nullptr, &effect, nullptr),
              D3DERR_INVALIDCALL);
    // A source of no length is a failure to build, not a bad argument; a source with
    // nowhere to put the effect is built and nothing is handed back.
    const char* source = effectsources::kShared;
    EXPECT_EQ(D3DXCreateEffect(device, source, 0, nullptr, nullptr, 0, nullptr, &effect, nullptr), E_FAIL);
    EXPECT_EQ(D3DXCreateEffect(device, source, static_cast<UINT>(strlen(source)), nullptr, nullptr, 0, nullptr,
                               nullptr, nullptr),
              D3D_OK);
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    EXPECT_EQ(D3DXCreateEffect(device, source, static_cast<UINT>(strlen(source)), nullptr, nullptr, 0, pool, nullptr,
                               nullptr),
              D3D_OK);
    EXPECT_EQ(pool->Release(), 0u);  // nothing built was kept
}

TEST_F(D3dx9EffectOnDevice, ParametersPoolsAndPasses) {
    ID3DXEffectPool* pool = nullptr;
    ASSERT_EQ(D3DXCreateEffectPool(&pool), D3D_OK);
    ID3DXEffect* a = Build(effectsources::kShared, pool);
    if (!a) {
        pool->Release();
        GTEST_SKIP() << "the D3DX library here cannot build effects from text (no HLSL compiler)";
    }
    ID3DXEffect* b = Build(effectsources::kShared, pool);
    ASSERT_NE(b, nullptr);
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(a->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Techniques, 1u);
    D3DXPARAMETER_DESC p;
    ASSERT_EQ(a->GetParameterDesc("World", &p), D3D_OK);
    EXPECT_EQ(p.Class, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(p.Flags & D3DX_PARAMETER_SHARED, static_cast<DWORD>(D3DX_PARAMETER_SHARED));
    EXPECT_EQ(a->SetFloat("Scale", 5), D3D_OK);
    FLOAT f = 0;
    EXPECT_EQ(b->GetFloat("Scale", &f), D3D_OK);
    EXPECT_EQ(f, 5.0f);
    EXPECT_EQ(a->SetMatrix("Scale", nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(a->SetFloat("World", 1), D3DERR_INVALIDCALL);
    D3DXHANDLE t = nullptr;
    EXPECT_EQ(a->FindNextValidTechnique(nullptr, &t), D3D_OK);
    EXPECT_NE(t, nullptr);
    EXPECT_EQ(a->FindNextValidTechnique(t, &t), S_FALSE);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(a->BeginPass(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(a->End(), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(a->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    EXPECT_EQ(passes, 1u);
    EXPECT_EQ(a->BeginPass(0), D3D_OK);
    EXPECT_EQ(a->CommitChanges(), D3D_OK);
    EXPECT_EQ(a->EndPass(), D3D_OK);
    EXPECT_EQ(a->End(), D3D_OK);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(pool->Release(), 0u);
}

}  // namespace
