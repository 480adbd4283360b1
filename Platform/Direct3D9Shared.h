// What the reference Direct3D 9 device and its test interface (PlatformTestD3d9.h) both
// speak of: the adapters tests configure, the kinds of object counted live, and the
// scripted answers of occlusion queries. The device's own files include this, not the test
// interface, which belongs to the tests.
#pragma once

#include <d3d9.h>

#include <map>
#include <vector>

// One adapter as Direct3D reports it. A Direct3D object takes a copy of the table when it
// is created, as the runtime reads the adapters once.
struct PlatformTestD3d9Adapter {
    D3DADAPTER_IDENTIFIER9 identifier;
    D3DDISPLAYMODE desktop;
    // The display modes in the order EnumAdapterModes reports them; only display formats
    // (X8R8G8B8, R5G6B5, X1R5G5B5, A2R10G10B10) have modes.
    std::vector<D3DDISPLAYMODE> modes;
    // The device types this adapter has, with their caps.
    std::map<D3DDEVTYPE, D3DCAPS9> devices;
    std::vector<D3DFORMAT> renderTargetFormats;
    std::vector<D3DFORMAT> depthFormats;         // as depth-stencil surfaces
    std::vector<D3DFORMAT> depthTextureFormats;  // also as textures (shadow maps)
    std::vector<D3DFORMAT> textureFormats;       // plain textures, surfaces and cube maps
    std::vector<D3DFORMAT> displacementFormats;  // with D3DUSAGE_DMAP
    // Texture formats whose levels the device builds itself (D3DUSAGE_AUTOGENMIPMAP);
    // others are still made, with D3DOK_NOAUTOGEN.
    std::vector<D3DFORMAT> autoGenMipmapFormats;
    // Multisample types with their quality-level counts, for every render-target and
    // depth format but those of multiSampleByFormat, which have their own.
    std::map<D3DMULTISAMPLE_TYPE, DWORD> multiSample;
    std::map<D3DFORMAT, std::map<D3DMULTISAMPLE_TYPE, DWORD>> multiSampleByFormat;
    std::vector<D3DQUERYTYPE> queries;  // the query types CreateQuery supports
    UINT textureMemory;                 // bytes GetAvailableTextureMem starts from
};

// Live objects by kind.
enum class PlatformTestD3d9Kind {
    Direct3D,
    Device,
    VertexBuffer,
    IndexBuffer,
    Surface,
    VertexDeclaration,
    VertexShader,
    PixelShader,
    StateBlock,
    Query,
    SwapChain,
    Texture,
    CubeTexture,
    Count
};

// One scripted occlusion result (PlatformTest_D3d9ScriptOcclusion).
struct PlatformTestOcclusionResult {
    DWORD pixels;
    int pendingPolls;
};
