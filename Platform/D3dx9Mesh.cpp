// The FVF side of the D3DX9 mesh library for the Linux build. An FVF code names its
// vertex components in one fixed order (position, blend weights and index, normal, point
// size, diffuse, specular, texture coordinates), packed from offset 0 of stream 0; the
// declaration of a code is that order spelled out. The reverse conversion guesses the
// code from the elements and then checks that the code's own declaration is the one it
// was given, so a declaration no code can describe (another order, a gap, a second
// stream, a type no code uses) is refused rather than approximated.
#include <d3dx9.h>

#include <string.h>

namespace {

constexpr DWORD kTexCountMask = 0xF00;
constexpr DWORD kMaxTexCoords = 8;

D3DVERTEXELEMENT9 Element(WORD offset, BYTE type, BYTE usage, BYTE usageIndex) {
    D3DVERTEXELEMENT9 e;
    e.Stream = 0;
    e.Offset = offset;
    e.Type = type;
    e.Method = D3DDECLMETHOD_DEFAULT;
    e.Usage = usage;
    e.UsageIndex = usageIndex;
    return e;
}

D3DVERTEXELEMENT9 End() {
    D3DVERTEXELEMENT9 e;
    e.Stream = 0xFF;
    e.Offset = 0;
    e.Type = D3DDECLTYPE_UNUSED;
    e.Method = 0;
    e.Usage = 0;
    e.UsageIndex = 0;
    return e;
}

bool IsEnd(const D3DVERTEXELEMENT9& e) { return e.Stream == 0xFF && e.Type == D3DDECLTYPE_UNUSED; }

UINT TypeSize(BYTE type) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
    case D3DDECLTYPE_FLOAT16_2: return 4;
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT4N:
    case D3DDECLTYPE_USHORT4N:
    case D3DDECLTYPE_FLOAT16_4: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    default: return 0;
    }
}

// The number of floats of texture coordinate set i.
UINT TexCoordFloats(DWORD fvf, UINT set) {
    switch ((fvf >> (16 + 2 * set)) & 3) {
    case D3DFVF_TEXTUREFORMAT1: return 1;
    case D3DFVF_TEXTUREFORMAT3: return 3;
    case D3DFVF_TEXTUREFORMAT4: return 4;
    default: return 2;
    }
}

BYTE FloatType(UINT floats) { return static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + (floats - 1)); }

// Builds the declaration of `fvf` into `out` (room for MAX_FVF_DECL_SIZE); false for a
// code no declaration describes.
bool BuildDeclaration(DWORD fvf, D3DVERTEXELEMENT9* out) {
    if (fvf & D3DFVF_RESERVED0) return false;
    const DWORD texCount = (fvf & kTexCountMask) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > kMaxTexCoords) return false;

    UINT n = 0;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out[n++] = Element(offset, type, usage, index);
        offset = static_cast<WORD>(offset + TypeSize(type));
    };

    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    switch (position) {
    case 0: break;
    case D3DFVF_XYZ: add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZRHW: add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0); break;
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5: {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        UINT betas = (position - D3DFVF_XYZB1) / 2 + 1;
        BYTE indexType = 0;
        // The last beta is the blend index when a LASTBETA flag says so; UBYTE4 wins.
        if (fvf & D3DFVF_LASTBETA_UBYTE4)
            indexType = D3DDECLTYPE_UBYTE4;
        else if (fvf & D3DFVF_LASTBETA_D3DCOLOR)
            indexType = D3DDECLTYPE_D3DCOLOR;
        const UINT weights = indexType ? betas - 1 : betas;
        if (weights > 4) return false;  // five weights have no declaration type
        if (weights > 0) add(FloatType(weights), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (indexType) add(indexType, D3DDECLUSAGE_BLENDINDICES, 0);
        break;
    }
    default: return false;  // XYZW and the reserved position codes
    }
    if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE) add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    for (UINT set = 0; set < texCount; ++set)
        add(FloatType(TexCoordFloats(fvf, set)), D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(set));
    out[n] = End();
    return true;
}

// Equal as far as an FVF code can tell: the usage index of a position or a normal is not
// part of the code.
bool SameElement(const D3DVERTEXELEMENT9& a, const D3DVERTEXELEMENT9& b) {
    if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Method != b.Method ||
        a.Usage != b.Usage)
        return false;
    if (a.Usage == D3DDECLUSAGE_POSITION || a.Usage == D3DDECLUSAGE_NORMAL) return true;
    return a.UsageIndex == b.UsageIndex;
}

}  // namespace

HRESULT WINAPI D3DXDeclaratorFromFVF(DWORD FVF, D3DVERTEXELEMENT9 pDeclarator[MAX_FVF_DECL_SIZE]) {
    if (!pDeclarator) return D3DERR_INVALIDCALL;
    D3DVERTEXELEMENT9 built[MAX_FVF_DECL_SIZE];
    if (!BuildDeclaration(FVF, built)) return D3DERR_INVALIDCALL;
    UINT n = 0;
    while (!IsEnd(built[n])) ++n;
    memcpy(pDeclarator, built, (n + 1) * sizeof built[0]);
    return D3D_OK;
}

HRESULT WINAPI D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* pDeclarator, DWORD* pFVF) {
    if (!pDeclarator || !pFVF) return D3DERR_INVALIDCALL;
    DWORD fvf = 0;
    UINT weights = 0;
    DWORD lastBeta = 0;
    bool position = false;
    UINT texCount = 0;
    UINT n = 0;
    for (; n < MAXD3DDECLLENGTH && !IsEnd(pDeclarator[n]); ++n) {
        const D3DVERTEXELEMENT9& e = pDeclarator[n];
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            if (e.Type != D3DDECLTYPE_FLOAT3) return D3DERR_INVALIDCALL;
            position = true;
            break;
        case D3DDECLUSAGE_POSITIONT:
            if (e.Type != D3DDECLTYPE_FLOAT4) return D3DERR_INVALIDCALL;
            fvf |= D3DFVF_XYZRHW;
            break;
        case D3DDECLUSAGE_BLENDWEIGHT:
            if (e.Type > D3DDECLTYPE_FLOAT4) return D3DERR_INVALIDCALL;
            weights = e.Type - D3DDECLTYPE_FLOAT1 + 1;
            break;
        case D3DDECLUSAGE_BLENDINDICES:
            if (e.Type == D3DDECLTYPE_UBYTE4)
                lastBeta = D3DFVF_LASTBETA_UBYTE4;
            else if (e.Type == D3DDECLTYPE_D3DCOLOR)
                lastBeta = D3DFVF_LASTBETA_D3DCOLOR;
            else
                return D3DERR_INVALIDCALL;
            break;
        case D3DDECLUSAGE_NORMAL: fvf |= D3DFVF_NORMAL; break;
        case D3DDECLUSAGE_PSIZE: fvf |= D3DFVF_PSIZE; break;
        case D3DDECLUSAGE_COLOR:
            if (e.UsageIndex == 0)
                fvf |= D3DFVF_DIFFUSE;
            else if (e.UsageIndex == 1)
                fvf |= D3DFVF_SPECULAR;
            else
                return D3DERR_INVALIDCALL;
            break;
        case D3DDECLUSAGE_TEXCOORD: {
            if (e.UsageIndex >= kMaxTexCoords || e.Type > D3DDECLTYPE_FLOAT4) return D3DERR_INVALIDCALL;
            const UINT floats = e.Type - D3DDECLTYPE_FLOAT1 + 1;
            static const DWORD kFormat[5] = {0, D3DFVF_TEXTUREFORMAT1, D3DFVF_TEXTUREFORMAT2, D3DFVF_TEXTUREFORMAT3,
                                             D3DFVF_TEXTUREFORMAT4};
            fvf |= kFormat[floats] << (16 + 2 * e.UsageIndex);
            ++texCount;
            break;
        }
        default: return D3DERR_INVALIDCALL;
        }
    }
    if (n == MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;  // no end marker where one must be
    if (weights > 0 || lastBeta) {
        if (!position) return D3DERR_INVALIDCALL;
        const UINT betas = weights + (lastBeta ? 1 : 0);
        if (betas > 5) return D3DERR_INVALIDCALL;
        fvf |= D3DFVF_XYZB1 + 2 * (betas - 1);
        fvf |= lastBeta;
    } else if (position) {
        if (fvf & D3DFVF_XYZRHW) return D3DERR_INVALIDCALL;
        fvf |= D3DFVF_XYZ;
    }
    fvf |= texCount << D3DFVF_TEXCOUNT_SHIFT;

    D3DVERTEXELEMENT9 expected[MAX_FVF_DECL_SIZE];
    if (!BuildDeclaration(fvf, expected)) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i <= n; ++i) {
        if (IsEnd(expected[i]) != (i == n)) return D3DERR_INVALIDCALL;
        if (i < n && !SameElement(pDeclarator[i], expected[i])) return D3DERR_INVALIDCALL;
    }
    *pFVF = fvf;
    return D3D_OK;
}

UINT WINAPI D3DXGetFVFVertexSize(DWORD FVF) {
    UINT size = 0;
    switch (FVF & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW: size = 16; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: break;
    }
    if (FVF & D3DFVF_NORMAL) size += 12;
    if (FVF & D3DFVF_PSIZE) size += 4;
    if (FVF & D3DFVF_DIFFUSE) size += 4;
    if (FVF & D3DFVF_SPECULAR) size += 4;
    UINT texCount = (FVF & kTexCountMask) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > kMaxTexCoords) texCount = kMaxTexCoords;
    for (UINT set = 0; set < texCount; ++set) size += 4 * TexCoordFloats(FVF, set);
    return size;
}

UINT WINAPI D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* pDecl, DWORD Stream) {
    if (!pDecl) return 0;
    UINT size = 0;
    for (UINT i = 0; i < MAXD3DDECLLENGTH && !IsEnd(pDecl[i]); ++i) {
        if (pDecl[i].Stream != Stream) continue;
        const UINT end = pDecl[i].Offset + TypeSize(pDecl[i].Type);
        if (end > size) size = end;
    }
    return size;
}

UINT WINAPI D3DXGetDeclLength(const D3DVERTEXELEMENT9* pDecl) {
    if (!pDecl) return 0;
    UINT n = 0;
    while (n < MAXD3DDECLLENGTH && !IsEnd(pDecl[n])) ++n;
    return n;
}
