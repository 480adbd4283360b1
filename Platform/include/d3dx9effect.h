// The effect part of the D3DX9 utility library, for the Linux build: effects, effect pools
// (parameters shared between effects), the effect compiler and the descriptions they give.
// The interfaces list every method in the runtime's order, so that their tables lay out
// as the real ones do; the platform answers E_NOTIMPL for those the program never needs.
#pragma once

#include <d3d9.h>
#include <d3dx9core.h>
#include <d3dx9math.h>
#include <d3dx9shader.h>

// Begin's flags: which device states the effect leaves alone.
#define D3DXFX_DONOTSAVESTATE (1 << 0)
#define D3DXFX_DONOTSAVESHADERSTATE (1 << 1)
#define D3DXFX_DONOTSAVESAMPLERSTATE (1 << 2)
// Creation flags.
#define D3DXFX_NOT_CLONEABLE (1 << 11)
#define D3DXFX_LARGEADDRESSAWARE (1 << 17)

// A parameter description's Flags.
#define D3DX_PARAMETER_SHARED (1 << 0)
#define D3DX_PARAMETER_LITERAL (1 << 1)
#define D3DX_PARAMETER_ANNOTATION (1 << 2)

typedef struct _D3DXEFFECT_DESC {
    LPCSTR Creator;
    UINT Parameters;
    UINT Techniques;
    UINT Functions;
} D3DXEFFECT_DESC;

typedef struct _D3DXPARAMETER_DESC {
    LPCSTR Name;
    LPCSTR Semantic;
    D3DXPARAMETER_CLASS Class;
    D3DXPARAMETER_TYPE Type;
    UINT Rows;
    UINT Columns;
    UINT Elements;
    UINT Annotations;
    UINT StructMembers;
    DWORD Flags;
    UINT Bytes;
} D3DXPARAMETER_DESC;

typedef struct _D3DXTECHNIQUE_DESC {
    LPCSTR Name;
    UINT Passes;
    UINT Annotations;
} D3DXTECHNIQUE_DESC;

typedef struct _D3DXPASS_DESC {
    LPCSTR Name;
    UINT Annotations;
    const DWORD* pVertexShaderFunction;
    const DWORD* pPixelShaderFunction;
} D3DXPASS_DESC;

typedef struct _D3DXFUNCTION_DESC {
    LPCSTR Name;
    UINT Annotations;
} D3DXFUNCTION_DESC;

// {53CA7768-C0D0-4664-8E79-D156E4F5B7E0}
inline constexpr IID IID_ID3DXEffectPool = {0x53ca7768, 0xc0d0, 0x4664, {0x8e, 0x79, 0xd1, 0x56, 0xe4, 0xf5, 0xb7, 0xe0}};
// {017C18AC-103F-4417-8C51-6BF6EF1E56BE}
inline constexpr IID IID_ID3DXBaseEffect = {0x017c18ac, 0x103f, 0x4417, {0x8c, 0x51, 0x6b, 0xf6, 0xef, 0x1e, 0x56, 0xbe}};
// {79AAB587-6DBC-4FA7-82DE-37FA1781C5CE}
inline constexpr IID IID_ID3DXEffectStateManager = {
    0x79aab587, 0x6dbc, 0x4fa7, {0x82, 0xde, 0x37, 0xfa, 0x17, 0x81, 0xc5, 0xce}};
// {648B1CEB-8D4E-4D66-B6FA-E44969E82E89}
inline constexpr IID IID_ID3DXEffect = {0x648b1ceb, 0x8d4e, 0x4d66, {0xb6, 0xfa, 0xe4, 0x49, 0x69, 0xe8, 0x2e, 0x89}};
// {F8EE90D3-FCC6-4F14-8AE8-6374AE968E33}
inline constexpr IID IID_ID3DXEffectCompiler = {
    0xf8ee90d3, 0xfcc6, 0x4f14, {0x8a, 0xe8, 0x63, 0x74, 0xae, 0x96, 0x8e, 0x33}};

// Holds the values of parameters that effects made with it declare `shared`.
struct ID3DXEffectPool : public IUnknown {};
typedef ID3DXEffectPool* LPD3DXEFFECTPOOL;

// What effects and the effect compiler both describe: parameters, techniques, passes,
// functions and annotations, and the values of parameters.
struct ID3DXBaseEffect : public IUnknown {
    STDMETHOD(GetDesc)(D3DXEFFECT_DESC* pDesc) PURE;
    STDMETHOD(GetParameterDesc)(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) PURE;
    STDMETHOD(GetTechniqueDesc)(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) PURE;
    STDMETHOD(GetPassDesc)(D3DXHANDLE hPass, D3DXPASS_DESC* pDesc) PURE;
    STDMETHOD(GetFunctionDesc)(D3DXHANDLE hShader, D3DXFUNCTION_DESC* pDesc) PURE;

    STDMETHOD_(D3DXHANDLE, GetParameter)(D3DXHANDLE hParameter, UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetParameterByName)(D3DXHANDLE hParameter, LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetParameterBySemantic)(D3DXHANDLE hParameter, LPCSTR pSemantic) PURE;
    STDMETHOD_(D3DXHANDLE, GetParameterElement)(D3DXHANDLE hParameter, UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetTechnique)(UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetTechniqueByName)(LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetPass)(D3DXHANDLE hTechnique, UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetPassByName)(D3DXHANDLE hTechnique, LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetFunction)(UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetFunctionByName)(LPCSTR pName) PURE;
    STDMETHOD_(D3DXHANDLE, GetAnnotation)(D3DXHANDLE hObject, UINT Index) PURE;
    STDMETHOD_(D3DXHANDLE, GetAnnotationByName)(D3DXHANDLE hObject, LPCSTR pName) PURE;

    STDMETHOD(SetValue)(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) PURE;
    STDMETHOD(GetValue)(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) PURE;
    STDMETHOD(SetBool)(D3DXHANDLE hParameter, BOOL b) PURE;
    STDMETHOD(GetBool)(D3DXHANDLE hParameter, BOOL* pb) PURE;
    STDMETHOD(SetBoolArray)(D3DXHANDLE hParameter, const BOOL* pb, UINT Count) PURE;
    STDMETHOD(GetBoolArray)(D3DXHANDLE hParameter, BOOL* pb, UINT Count) PURE;
    STDMETHOD(SetInt)(D3DXHANDLE hParameter, INT n) PURE;
    STDMETHOD(GetInt)(D3DXHANDLE hParameter, INT* pn) PURE;
    STDMETHOD(SetIntArray)(D3DXHANDLE hParameter, const INT* pn, UINT Count) PURE;
    STDMETHOD(GetIntArray)(D3DXHANDLE hParameter, INT* pn, UINT Count) PURE;
    STDMETHOD(SetFloat)(D3DXHANDLE hParameter, FLOAT f) PURE;
    STDMETHOD(GetFloat)(D3DXHANDLE hParameter, FLOAT* pf) PURE;
    STDMETHOD(SetFloatArray)(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) PURE;
    STDMETHOD(GetFloatArray)(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) PURE;
    STDMETHOD(SetVector)(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) PURE;
    STDMETHOD(GetVector)(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) PURE;
    STDMETHOD(SetVectorArray)(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) PURE;
    STDMETHOD(GetVectorArray)(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) PURE;
    STDMETHOD(SetMatrix)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) PURE;
    STDMETHOD(GetMatrix)(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) PURE;
    STDMETHOD(SetMatrixArray)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) PURE;
    STDMETHOD(GetMatrixArray)(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) PURE;
    STDMETHOD(SetMatrixPointerArray)(D3DXHANDLE hParameter, const D3DXMATRIX** ppMatrix, UINT Count) PURE;
    STDMETHOD(GetMatrixPointerArray)(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) PURE;
    STDMETHOD(SetMatrixTranspose)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) PURE;
    STDMETHOD(GetMatrixTranspose)(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) PURE;
    STDMETHOD(SetMatrixTransposeArray)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) PURE;
    STDMETHOD(GetMatrixTransposeArray)(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) PURE;
    STDMETHOD(SetMatrixTransposePointerArray)(D3DXHANDLE hParameter, const D3DXMATRIX** ppMatrix, UINT Count) PURE;
    STDMETHOD(GetMatrixTransposePointerArray)(D3DXHANDLE hParameter, D3DXMATRIX** ppMatrix, UINT Count) PURE;
    STDMETHOD(SetString)(D3DXHANDLE hParameter, LPCSTR pString) PURE;
    STDMETHOD(GetString)(D3DXHANDLE hParameter, LPCSTR* ppString) PURE;
    STDMETHOD(SetTexture)(D3DXHANDLE hParameter, LPDIRECT3DBASETEXTURE9 pTexture) PURE;
    STDMETHOD(GetTexture)(D3DXHANDLE hParameter, LPDIRECT3DBASETEXTURE9* ppTexture) PURE;
    STDMETHOD(GetPixelShader)(D3DXHANDLE hParameter, LPDIRECT3DPIXELSHADER9* ppPShader) PURE;
    STDMETHOD(GetVertexShader)(D3DXHANDLE hParameter, LPDIRECT3DVERTEXSHADER9* ppVShader) PURE;
    STDMETHOD(SetArrayRange)(D3DXHANDLE hParameter, UINT uStart, UINT uEnd) PURE;
};
typedef ID3DXBaseEffect* LPD3DXBASEEFFECT;

// Receives the device state an effect sets, in place of the device, when the program
// installs one.
struct ID3DXEffectStateManager : public IUnknown {
    STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) PURE;
    STDMETHOD(SetMaterial)(const D3DMATERIAL9* pMaterial) PURE;
    STDMETHOD(SetLight)(DWORD Index, const D3DLIGHT9* pLight) PURE;
    STDMETHOD(LightEnable)(DWORD Index, BOOL Enable) PURE;
    STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE State, DWORD Value) PURE;
    STDMETHOD(SetTexture)(DWORD Stage, LPDIRECT3DBASETEXTURE9 pTexture) PURE;
    STDMETHOD(SetTextureStageState)(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(SetSamplerState)(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(SetNPatchMode)(FLOAT NumSegments) PURE;
    STDMETHOD(SetFVF)(DWORD FVF) PURE;
    STDMETHOD(SetVertexShader)(LPDIRECT3DVERTEXSHADER9 pShader) PURE;
    STDMETHOD(SetVertexShaderConstantF)(UINT RegisterIndex, const FLOAT* pConstantData, UINT RegisterCount) PURE;
    STDMETHOD(SetVertexShaderConstantI)(UINT RegisterIndex, const INT* pConstantData, UINT RegisterCount) PURE;
    STDMETHOD(SetVertexShaderConstantB)(UINT RegisterIndex, const BOOL* pConstantData, UINT RegisterCount) PURE;
    STDMETHOD(SetPixelShader)(LPDIRECT3DPIXELSHADER9 pShader) PURE;
    STDMETHOD(SetPixelShaderConstantF)(UINT RegisterIndex, const FLOAT* pConstantData, UINT RegisterCount) PURE;
    STDMETHOD(SetPixelShaderConstantI)(UINT RegisterIndex, const INT* pConstantData, UINT RegisterCount) PURE;
    STDMETHOD(SetPixelShaderConstantB)(UINT RegisterIndex, const BOOL* pConstantData, UINT RegisterCount) PURE;
};
typedef ID3DXEffectStateManager* LPD3DXEFFECTSTATEMANAGER;

struct ID3DXEffect;
typedef ID3DXEffect* LPD3DXEFFECT;

// An effect made on a device: its current technique is drawn pass by pass between Begin
// and End, parameters set inside a pass reaching the device with CommitChanges.
struct ID3DXEffect : public ID3DXBaseEffect {
    STDMETHOD(GetPool)(LPD3DXEFFECTPOOL* ppPool) PURE;
    STDMETHOD(SetTechnique)(D3DXHANDLE hTechnique) PURE;
    STDMETHOD_(D3DXHANDLE, GetCurrentTechnique)() PURE;
    STDMETHOD(ValidateTechnique)(D3DXHANDLE hTechnique) PURE;
    STDMETHOD(FindNextValidTechnique)(D3DXHANDLE hTechnique, D3DXHANDLE* pTechnique) PURE;
    STDMETHOD_(BOOL, IsParameterUsed)(D3DXHANDLE hParameter, D3DXHANDLE hTechnique) PURE;
    STDMETHOD(Begin)(UINT* pPasses, DWORD Flags) PURE;
    STDMETHOD(BeginPass)(UINT Pass) PURE;
    STDMETHOD(CommitChanges)() PURE;
    STDMETHOD(EndPass)() PURE;
    STDMETHOD(End)() PURE;
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* ppDevice) PURE;
    STDMETHOD(OnLostDevice)() PURE;
    STDMETHOD(OnResetDevice)() PURE;
    STDMETHOD(SetStateManager)(LPD3DXEFFECTSTATEMANAGER pManager) PURE;
    STDMETHOD(GetStateManager)(LPD3DXEFFECTSTATEMANAGER* ppManager) PURE;
    STDMETHOD(BeginParameterBlock)() PURE;
    STDMETHOD_(D3DXHANDLE, EndParameterBlock)() PURE;
    STDMETHOD(ApplyParameterBlock)(D3DXHANDLE hParameterBlock) PURE;
    STDMETHOD(DeleteParameterBlock)(D3DXHANDLE hParameterBlock) PURE;
    STDMETHOD(CloneEffect)(LPDIRECT3DDEVICE9 pDevice, LPD3DXEFFECT* ppEffect) PURE;
    STDMETHOD(SetRawValue)(D3DXHANDLE hParameter, LPCVOID pData, UINT ByteOffset, UINT Bytes) PURE;
};

// Reads an effect source and turns it into the compiled form D3DXCreateEffect accepts.
struct ID3DXEffectCompiler : public ID3DXBaseEffect {
    STDMETHOD(SetLiteral)(D3DXHANDLE hParameter, BOOL Literal) PURE;
    STDMETHOD(GetLiteral)(D3DXHANDLE hParameter, BOOL* pLiteral) PURE;
    STDMETHOD(CompileEffect)(DWORD Flags, LPD3DXBUFFER* ppEffect, LPD3DXBUFFER* ppErrorMsgs) PURE;
    STDMETHOD(CompileShader)(D3DXHANDLE hFunction, LPCSTR pTarget, DWORD Flags, LPD3DXBUFFER* ppShader,
                             LPD3DXBUFFER* ppErrorMsgs, LPD3DXCONSTANTTABLE* ppConstantTable) PURE;
};
typedef ID3DXEffectCompiler* LPD3DXEFFECTCOMPILER;

HRESULT WINAPI D3DXCreateEffectPool(LPD3DXEFFECTPOOL* ppPool);

// An effect from a compiled effect or from source text. Errors, when asked for, receive a
// text buffer on failure and null on success.
HRESULT WINAPI D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen,
                                const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, DWORD Flags,
                                LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors);
// The same, leaving out of the effect the parameters named in pSkipConstants (";"-separated).
HRESULT WINAPI D3DXCreateEffectEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen,
                                  const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, LPCSTR pSkipConstants,
                                  DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                                  LPD3DXBUFFER* ppCompilationErrors);

HRESULT WINAPI D3DXCreateEffectCompiler(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                                        LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTCOMPILER* ppCompiler,
                                        LPD3DXBUFFER* ppParseErrors);
