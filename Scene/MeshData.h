// What the model loader does to a loaded mesh record (FrameSequence) before it is drawn:
// the reordering of its triangles and vertices for the vertex cache, through a D3DX mesh
// made from the record, and the baking of a matrix into vertex positions and normals.
//
// Optimisation is all or nothing. The new vertices and indices, the new adjacency and the
// remapped per-vertex skin arrays are all made in temporaries and go into the record and
// the skin only once every step has worked; a refused call, a failed lock or a shortage
// of memory leaves both exactly as they were. A mesh without adjacency or without faces
// is simply not optimised: it is kept as it is, and the loader draws it unchanged.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"

#include <d3d9.h>
#include <d3dx9.h>

class FrameSequence;
class SkinData;

enum class MeshOptimizeResult : u8 {
    kOptimized,     // reordered; adjacency and skin arrays follow the new order
    kNotOptimized,  // nothing to do (no adjacency or no faces), or a D3DX that cannot
                    // reorder for the cache; the mesh is unchanged
    kFailed,        // refused or failed; the mesh and the skin are unchanged
};

class MeshData {
public:
    // Options of the D3DX mesh the optimisation goes through: in system memory, dynamic,
    // with 32-bit indices when the record's indices are 4 bytes.
    static constexpr DWORD kOptimizeOptions = D3DXMESH_SYSTEMMEM | D3DXMESH_DYNAMIC;

    // Reorders the record for the vertex cache on the program's device (or the one given).
    // With skin, each vertex's first influence and influence count move with the vertex;
    // the influences themselves stay where they are. kFailed for an index count that is
    // not a multiple of 3, adjacency of another size than 12 bytes per face, skin arrays
    // of another length than the vertex count, or any failure of the D3DX mesh.
    static MeshOptimizeResult Optimize(FrameSequence& mesh, SkinData* skin);
    static MeshOptimizeResult Optimize(FrameSequence& mesh, SkinData* skin, IDirect3DDevice9* device);

    // A D3DX mesh of index count / 3 faces over the record's vertices and layout on the
    // device; with copy, its buffers are filled (locked with DISCARD) from stream 0 and
    // the indices. Null when the mesh cannot be made or filled.
    static ID3DXMesh* CreateD3DXMesh(const FrameSequence& mesh, DWORD options, bool copy, IDirect3DDevice9* device);

    // Reads the D3DX mesh's vertices and indices back into the record, which must have
    // the same vertex count, stride and index count; 4-byte indices when the mesh has
    // D3DXMESH_32BIT, else 2. False, with the record unchanged, when the shapes differ,
    // a lock fails or memory runs out.
    static bool CopyFromD3DXMesh(FrameSequence& mesh, ID3DXMesh* d3dxMesh);
};

// For count vertices stride bytes apart: the position (three floats at the start of each
// vertex) becomes the position transformed by m with the divide by w; when normalOffset
// is not -1, the normal (three floats there) becomes the normal times the upper 3x3 part
// of m, not renormalised. A normal offset that does not leave room for three floats
// inside the stride is ignored.
void TransformVertices(void* bytes, u32 stride, u32 count, const Matrix& m, i32 normalOffset);
