// D3DX from its library. D3DX is no part of Windows: it comes only with the separate
// DirectX end-user runtime, so the program must not import it, or a machine without that
// runtime would refuse to start the program at all, before the settings dialog or the
// DirectX advice could show. "d3dx9_43.dll" is loaded at the first use instead, as
// Direct3D 9 and DirectInput 8 are, and every D3DX function the engine calls is looked up
// by name then, once, into the one table below; the library stays loaded for the rest of
// the program, as the objects it made may outlive any caller. The math the headers define
// inline (D3DXMatrixIdentity, the vector operators) needs no table.
//
// A missing library or function leaves every entry null and logs what was missing. The
// full-screen modes ask D3dxLoaded() before they make anything; nothing else reaches D3DX.
#pragma once

#include <d3dx9.h>

// The library, as LoadLibraryA is given it.
extern const char kD3dxLibrary[];

// Every D3DX function the engine calls, by its name without the "D3DX" prefix.
#define CORVANE_D3DX_FUNCTIONS(F)                                                                            \
    F(ComputeBoundingBox) F(ComputeNormalMap) F(CreateCubeTexture) F(CreateCubeTextureFromFileExA)            \
    F(CreateCubeTextureFromFileInMemoryEx) F(CreateEffect) F(CreateEffectCompiler) F(CreateEffectPool)        \
    F(CreateMesh) F(CreateTexture) F(CreateTextureFromFileExA) F(CreateTextureFromFileInMemoryEx)             \
    F(DeclaratorFromFVF) F(FVFFromDeclarator) F(FilterTexture) F(LoadSurfaceFromFileA)                        \
    F(LoadSurfaceFromFileInMemory) F(MatrixInverse) F(MatrixLookAtLH) F(MatrixMultiply) F(MatrixOrthoLH)      \
    F(MatrixPerspectiveFovLH) F(MatrixRotationAxis) F(MatrixRotationQuaternion) F(MatrixRotationX)           \
    F(MatrixRotationY) F(MatrixScaling) F(MatrixTranslation) F(QuaternionRotationMatrix) F(QuaternionSlerp)   \
    F(SaveTextureToFileA) F(Vec3TransformCoord)

struct D3dxCalls {
#define CORVANE_D3DX_ENTRY(name) decltype(&D3DX##name) name = nullptr;
    CORVANE_D3DX_FUNCTIONS(CORVANE_D3DX_ENTRY)
#undef CORVANE_D3DX_ENTRY

    // Fills every entry from the loaded library; all null, and false, when one is missing.
    bool FetchAll(HMODULE library);
};

// The program's table, loaded at the first call.
const D3dxCalls& D3dx();
// True when the library and every function of the table were found.
bool D3dxLoaded();
