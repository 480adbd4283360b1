// The vertex-format part of the D3DX9 mesh library, for the Linux build: conversions
// between FVF codes and vertex declarations, and vertex sizes.
#pragma once

#include <d3d9.h>

// Room for the longest declaration and its end marker.
#define MAX_FVF_DECL_SIZE (MAXD3DDECLLENGTH + 1)

// The declaration of an FVF code, closed by D3DDECL_END(); D3DERR_INVALIDCALL for a code
// that names reserved bits, more than 8 texture coordinate sets, an XYZW position or five
// blend weights without an index.
HRESULT WINAPI D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE]);
// The FVF code of a declaration; D3DERR_INVALIDCALL when no FVF code lays its vertices out
// exactly so.
HRESULT WINAPI D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* pDeclarator, DWORD* pFVF);
// Bytes per vertex of an FVF code.
UINT WINAPI D3DXGetFVFVertexSize(DWORD FVF);
// Bytes per vertex of one stream of a declaration: the end of its furthest element.
UINT WINAPI D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* pDecl, DWORD Stream);
// The number of elements before the end marker.
UINT WINAPI D3DXGetDeclLength(const D3DVERTEXELEMENT9* pDecl);
