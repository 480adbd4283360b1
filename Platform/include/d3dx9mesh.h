// The D3DX9 mesh library, for the Linux build: conversions between FVF codes and vertex
// declarations, vertex sizes, and the triangle mesh with its buffers, attribute buffer and
// optimisation for the vertex cache.
#pragma once

#include <d3d9.h>
#include <d3dx9core.h>

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

// Creation options of a mesh: index size, and the usage and pool of its two buffers.
enum _D3DXMESH {
    D3DXMESH_32BIT = 0x001,
    D3DXMESH_DONOTCLIP = 0x002,
    D3DXMESH_POINTS = 0x004,
    D3DXMESH_RTPATCHES = 0x008,
    D3DXMESH_NPATCHES = 0x4000,
    D3DXMESH_VB_SYSTEMMEM = 0x010,
    D3DXMESH_VB_MANAGED = 0x020,
    D3DXMESH_VB_WRITEONLY = 0x040,
    D3DXMESH_VB_DYNAMIC = 0x080,
    D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000,
    D3DXMESH_IB_SYSTEMMEM = 0x100,
    D3DXMESH_IB_MANAGED = 0x200,
    D3DXMESH_IB_WRITEONLY = 0x400,
    D3DXMESH_IB_DYNAMIC = 0x800,
    D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000,
    D3DXMESH_VB_SHARE = 0x1000,
    D3DXMESH_USEHWONLY = 0x2000,
    D3DXMESH_SYSTEMMEM = 0x110,
    D3DXMESH_MANAGED = 0x220,
    D3DXMESH_WRITEONLY = 0x440,
    D3DXMESH_DYNAMIC = 0x880,
    D3DXMESH_SOFTWAREPROCESSING = 0x18000,
};

// What Optimize and OptimizeInplace do.
enum _D3DXMESHOPT {
    D3DXMESHOPT_COMPACT = 0x01000000,
    D3DXMESHOPT_ATTRSORT = 0x02000000,
    D3DXMESHOPT_VERTEXCACHE = 0x04000000,
    D3DXMESHOPT_STRIPREORDER = 0x08000000,
    D3DXMESHOPT_IGNOREVERTS = 0x10000000,
    D3DXMESHOPT_DONOTSPLIT = 0x20000000,
    D3DXMESHOPT_DEVICEINDEPENDENT = 0x00400000,
};

// One run of faces (and the vertices they use) that share an attribute.
typedef struct _D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
} D3DXATTRIBUTERANGE;
typedef D3DXATTRIBUTERANGE* LPD3DXATTRIBUTERANGE;

struct ID3DXMesh;
typedef ID3DXMesh* LPD3DXMESH;

// The mesh's buffers, counts and layout.
struct ID3DXBaseMesh : public IUnknown {
    STDMETHOD(DrawSubset)(DWORD AttribId) PURE;
    STDMETHOD_(DWORD, GetNumFaces)() PURE;
    STDMETHOD_(DWORD, GetNumVertices)() PURE;
    STDMETHOD_(DWORD, GetFVF)() PURE;
    STDMETHOD(GetDeclaration)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) PURE;
    STDMETHOD_(DWORD, GetNumBytesPerVertex)() PURE;
    STDMETHOD_(DWORD, GetOptions)() PURE;
    STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* ppDevice) PURE;
    STDMETHOD(CloneMeshFVF)(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) PURE;
    STDMETHOD(CloneMesh)(DWORD Options, const D3DVERTEXELEMENT9* pDeclaration, LPDIRECT3DDEVICE9 pD3DDevice,
                         LPD3DXMESH* ppCloneMesh) PURE;
    STDMETHOD(GetVertexBuffer)(LPDIRECT3DVERTEXBUFFER9* ppVB) PURE;
    STDMETHOD(GetIndexBuffer)(LPDIRECT3DINDEXBUFFER9* ppIB) PURE;
    STDMETHOD(LockVertexBuffer)(DWORD Flags, LPVOID* ppData) PURE;
    STDMETHOD(UnlockVertexBuffer)() PURE;
    STDMETHOD(LockIndexBuffer)(DWORD Flags, LPVOID* ppData) PURE;
    STDMETHOD(UnlockIndexBuffer)() PURE;
    STDMETHOD(GetAttributeTable)(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) PURE;
    STDMETHOD(ConvertPointRepsToAdjacency)(const DWORD* pPRep, DWORD* pAdjacency) PURE;
    STDMETHOD(ConvertAdjacencyToPointReps)(const DWORD* pAdjacency, DWORD* pPRep) PURE;
    STDMETHOD(GenerateAdjacency)(FLOAT Epsilon, DWORD* pAdjacency) PURE;
    STDMETHOD(UpdateSemantics)(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) PURE;
};

// A triangle list with one attribute per face.
struct ID3DXMesh : public ID3DXBaseMesh {
    STDMETHOD(LockAttributeBuffer)(DWORD Flags, DWORD** ppData) PURE;
    STDMETHOD(UnlockAttributeBuffer)() PURE;
    STDMETHOD(Optimize)(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                        LPD3DXBUFFER* ppVertexRemap, LPD3DXMESH* ppOptMesh) PURE;
    STDMETHOD(OptimizeInplace)(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                               LPD3DXBUFFER* ppVertexRemap) PURE;
    STDMETHOD(SetAttributeTable)(const D3DXATTRIBUTERANGE* pAttribTable, DWORD cAttribTableSize) PURE;
};

// A mesh of NumFaces triangles over NumVertices vertices of one stream laid out as
// pDeclaration says, its buffers made on the device with the usage and pool the options
// name. D3DERR_INVALIDCALL for no faces or vertices, more than 65,535 vertices with 16-bit
// indices, a declaration using a stream other than 0, or a null argument.
HRESULT WINAPI D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, const D3DVERTEXELEMENT9* pDeclaration,
                              LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh);
