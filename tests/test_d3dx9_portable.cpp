// The D3DX9 functions the device layer needs, checked against the values the real library
// gives: the left-handed projections and view, FVF codes and declarations both ways, and
// vertex sizes. The same tests run against the real library under Wine.
#include <d3dx9.h>

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

namespace {

void ExpectMatrix(const D3DXMATRIX& m, const float (&expected)[16], float tolerance) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i / 4][i % 4], expected[i], tolerance) << "element " << i;
}

D3DVERTEXELEMENT9 El(WORD offset, BYTE type, BYTE usage, BYTE index = 0) {
    return D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
}

std::vector<D3DVERTEXELEMENT9> WithEnd(std::vector<D3DVERTEXELEMENT9> elements) {
    elements.push_back(D3DDECL_END());
    return elements;
}

}  // namespace

TEST(D3dx9Math, PerspectiveFovLH) {
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&m, 0.2f, 0.75f, -2.4f, 8.7f), &m);
    ExpectMatrix(m, {13.288858f, 0, 0, 0, 0, 9.9666444f, 0, 0, 0, 0, 0.78378378f, 1, 0, 0, 1.8810811f, 0}, 1e-5f);
}

TEST(D3dx9Math, OrthoLH) {
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixOrthoLH(&m, 2.5f, 7.4f, -3.2f, -9.8f), &m);
    ExpectMatrix(m, {0.8f, 0, 0, 0, 0, 0.27027027f, 0, 0, 0, 0, -0.15151515f, 0, 0, 0, -0.48484848f, 1}, 1e-6f);
}

TEST(D3dx9Math, LookAtLH) {
    const D3DXVECTOR3 eye(8.0f, -5.0f, 5.75f), at(-2.0f, 13.0f, -9.0f), up(1.0f, -3.0f, 7.0f);
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixLookAtLH(&m, &eye, &at, &up), &m);
    ExpectMatrix(m,
                 {-0.82246518f, -0.40948939f, -0.39480308f, 0, -0.55585691f, 0.43128574f, 0.71064550f, 0,
                  -0.12072885f, 0.80393475f, -0.58233452f, 0, 4.4946337f, 0.80971903f, 10.060076f, 1},
                 1e-5f);
}

TEST(D3dx9Mesh, FVFAndDeclarationsConvertBothWays) {
    struct Row {
        DWORD fvf;
        std::vector<D3DVERTEXELEMENT9> elements;
    };
    const Row rows[] = {
        {0, {}},
        {D3DFVF_XYZ, {El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION)}},
        {D3DFVF_XYZRHW, {El(0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT)}},
        {D3DFVF_NORMAL, {El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL)}},
        {D3DFVF_PSIZE, {El(0, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE)}},
        {D3DFVF_DIFFUSE, {El(0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR)}},
        {D3DFVF_SPECULAR, {El(0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1)}},
        {D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEX1, {El(0, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD)}},
        {D3DFVF_TEXCOORDSIZE4(0) | D3DFVF_TEX1, {El(0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD)}},
        {D3DFVF_TEX4 | D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEXCOORDSIZE3(1) | D3DFVF_TEXCOORDSIZE2(2) |
             D3DFVF_TEXCOORDSIZE4(3),
         {El(0, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD, 0), El(4, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD, 1),
          El(16, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 2), El(24, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, 3)}},
        {D3DFVF_XYZB4 | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE2(0) |
             D3DFVF_TEXCOORDSIZE3(1),
         {El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(12, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT),
          El(28, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), El(32, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1),
          El(36, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD), El(44, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD, 1)}},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_SPECULAR | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(0) |
             D3DFVF_TEXCOORDSIZE4(1),
         {El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL),
          El(24, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE), El(28, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1),
          El(32, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD), El(36, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, 1)}},
        {D3DFVF_XYZB5 | D3DFVF_LASTBETA_UBYTE4,
         {El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(12, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT),
          El(28, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES)}},
        {D3DFVF_XYZB1 | D3DFVF_LASTBETA_D3DCOLOR,
         {El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(12, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES)}},
    };
    for (const Row& r : rows) {
        const std::vector<D3DVERTEXELEMENT9> expected = WithEnd(r.elements);
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        ASSERT_EQ(D3DXDeclaratorFromFVF(r.fvf, decl), D3D_OK) << std::hex << r.fvf;
        EXPECT_EQ(memcmp(decl, expected.data(), expected.size() * sizeof decl[0]), 0) << std::hex << r.fvf;
        DWORD fvf = 0xdead;
        ASSERT_EQ(D3DXFVFFromDeclarator(expected.data(), &fvf), D3D_OK) << std::hex << r.fvf;
        EXPECT_EQ(fvf, r.fvf);
    }
}

TEST(D3dx9Mesh, WhatNoFVFCanSayIsRefused) {
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    for (DWORD fvf : {DWORD(D3DFVF_XYZW), DWORD(D3DFVF_XYZW | D3DFVF_NORMAL), DWORD(D3DFVF_XYZB5), DWORD(0xdeadbeefu)})
        EXPECT_EQ(D3DXDeclaratorFromFVF(fvf, decl), D3DERR_INVALIDCALL) << std::hex << fvf;
    const std::vector<std::vector<D3DVERTEXELEMENT9>> refused = {
        WithEnd({El(0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION)}),
        WithEnd({El(0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION), El(16, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL)}),
        WithEnd({El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(12, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_BLENDWEIGHT),
                 El(28, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_BLENDINDICES)}),
        // Out of the FVF order, and with a gap.
        WithEnd({El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL), El(12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION)}),
        WithEnd({El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(16, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL)}),
    };
    for (size_t i = 0; i < refused.size(); ++i) {
        DWORD fvf = 0;
        EXPECT_EQ(D3DXFVFFromDeclarator(refused[i].data(), &fvf), D3DERR_INVALIDCALL) << i;
    }
    // The usage index of a position is not part of a code; a LASTBETA flag without
    // weights is ignored.
    const std::vector<D3DVERTEXELEMENT9> position1 = WithEnd({El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 1)});
    DWORD fvf = 0;
    ASSERT_EQ(D3DXFVFFromDeclarator(position1.data(), &fvf), D3D_OK);
    EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_XYZ));
    ASSERT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4, decl), D3D_OK);
    EXPECT_EQ(decl[1].Stream, 0xFF);
}

TEST(D3dx9Mesh, VertexSizes) {
    struct Row {
        DWORD fvf;
        UINT size;
    };
    const Row rows[] = {
        {D3DFVF_XYZ, 12},
        {D3DFVF_XYZB3, 24},
        {D3DFVF_XYZB5, 32},
        {D3DFVF_XYZ | D3DFVF_NORMAL, 24},
        {D3DFVF_XYZ | D3DFVF_DIFFUSE, 16},
        {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 16},
        {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE2(0), 20},
        {D3DFVF_XYZ | D3DFVF_TEX2, 28},
        {D3DFVF_XYZ | D3DFVF_TEX8, 76},
        {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0), 28},
        {static_cast<DWORD>(D3DFVF_XYZB5 | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX8 |
                            D3DFVF_TEXCOORDSIZE4(0) | D3DFVF_TEXCOORDSIZE4(1) | D3DFVF_TEXCOORDSIZE4(2) |
                            D3DFVF_TEXCOORDSIZE4(3) | D3DFVF_TEXCOORDSIZE4(4) | D3DFVF_TEXCOORDSIZE4(5) |
                            D3DFVF_TEXCOORDSIZE4(6) | D3DFVF_TEXCOORDSIZE4(7)),
         180},
    };
    for (const Row& r : rows) EXPECT_EQ(D3DXGetFVFVertexSize(r.fvf), r.size) << std::hex << r.fvf;
    const std::vector<D3DVERTEXELEMENT9> twoStreams =
        WithEnd({El(0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD),
                 D3DVERTEXELEMENT9{1, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0}});
    EXPECT_EQ(D3DXGetDeclVertexSize(twoStreams.data(), 0), 20u);
    EXPECT_EQ(D3DXGetDeclVertexSize(twoStreams.data(), 1), 4u);
    EXPECT_EQ(D3DXGetDeclVertexSize(twoStreams.data(), 2), 0u);
}
