// The reference device's states: the runtime's documented defaults, which states a
// pixel or vertex state block holds, and state blocks that capture and apply them.
// A state set keeps every state by its enumerant; a mask says which of them a block
// holds, so capture, apply and recording all go through one masked copy.
#include "Direct3D9Internal.h"

#include <string.h>

#include <algorithm>

namespace d3d9 {

namespace {

DWORD FloatBits(float value) {
    DWORD bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

void Identity(D3DMATRIX& m) {
    memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
}

// The render states of a pixel state block; the vertex ones follow.
constexpr D3DRENDERSTATETYPE kPixelRenderStates[] = {
    D3DRS_ZENABLE,          D3DRS_FILLMODE,          D3DRS_SHADEMODE,          D3DRS_ZWRITEENABLE,
    D3DRS_ALPHATESTENABLE,  D3DRS_LASTPIXEL,         D3DRS_SRCBLEND,           D3DRS_DESTBLEND,
    D3DRS_ZFUNC,            D3DRS_ALPHAREF,          D3DRS_ALPHAFUNC,          D3DRS_DITHERENABLE,
    D3DRS_FOGSTART,         D3DRS_FOGEND,            D3DRS_FOGDENSITY,         D3DRS_ALPHABLENDENABLE,
    D3DRS_DEPTHBIAS,        D3DRS_STENCILENABLE,     D3DRS_STENCILFAIL,        D3DRS_STENCILZFAIL,
    D3DRS_STENCILPASS,      D3DRS_STENCILFUNC,       D3DRS_STENCILREF,         D3DRS_STENCILMASK,
    D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR,     D3DRS_WRAP0,              D3DRS_WRAP1,
    D3DRS_WRAP2,            D3DRS_WRAP3,             D3DRS_WRAP4,              D3DRS_WRAP5,
    D3DRS_WRAP6,            D3DRS_WRAP7,             D3DRS_WRAP8,              D3DRS_WRAP9,
    D3DRS_WRAP10,           D3DRS_WRAP11,            D3DRS_WRAP12,             D3DRS_WRAP13,
    D3DRS_WRAP14,           D3DRS_WRAP15,            D3DRS_COLORWRITEENABLE,   D3DRS_BLENDOP,
    D3DRS_SCISSORTESTENABLE, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ANTIALIASEDLINEENABLE, D3DRS_TWOSIDEDSTENCILMODE,
    D3DRS_CCW_STENCILFAIL,  D3DRS_CCW_STENCILZFAIL,  D3DRS_CCW_STENCILPASS,    D3DRS_CCW_STENCILFUNC,
    D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2, D3DRS_COLORWRITEENABLE3, D3DRS_BLENDFACTOR,
    D3DRS_SRGBWRITEENABLE,  D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA,
    D3DRS_BLENDOPALPHA};

constexpr D3DRENDERSTATETYPE kVertexRenderStates[] = {
    D3DRS_CULLMODE,          D3DRS_FOGENABLE,         D3DRS_FOGCOLOR,          D3DRS_FOGTABLEMODE,
    D3DRS_FOGSTART,          D3DRS_FOGEND,            D3DRS_FOGDENSITY,        D3DRS_RANGEFOGENABLE,
    D3DRS_AMBIENT,           D3DRS_COLORVERTEX,       D3DRS_FOGVERTEXMODE,     D3DRS_CLIPPING,
    D3DRS_LIGHTING,          D3DRS_LOCALVIEWER,       D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE,
    D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE, D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE,
    D3DRS_POINTSIZE,         D3DRS_POINTSIZE_MIN,     D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE,
    D3DRS_POINTSCALE_A,      D3DRS_POINTSCALE_B,      D3DRS_POINTSCALE_C,      D3DRS_MULTISAMPLEANTIALIAS,
    D3DRS_MULTISAMPLEMASK,   D3DRS_PATCHEDGESTYLE,    D3DRS_POINTSIZE_MAX,     D3DRS_INDEXEDVERTEXBLENDENABLE,
    D3DRS_TWEENFACTOR,       D3DRS_POSITIONDEGREE,    D3DRS_NORMALDEGREE,      D3DRS_MINTESSELLATIONLEVEL,
    D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y,     D3DRS_ADAPTIVETESS_Z,
    D3DRS_ADAPTIVETESS_W,    D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_NORMALIZENORMALS, D3DRS_SPECULARENABLE,
    D3DRS_SHADEMODE};

bool IsRenderState(UINT state) {
    return std::find(std::begin(kPixelRenderStates), std::end(kPixelRenderStates), state) !=
               std::end(kPixelRenderStates) ||
           std::find(std::begin(kVertexRenderStates), std::end(kVertexRenderStates), state) !=
               std::end(kVertexRenderStates);
}

}  // namespace

int SamplerSlot(DWORD sampler) {
    if (sampler < kPixelSamplers) return static_cast<int>(sampler);
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3)
        return static_cast<int>(kPixelSamplers + (sampler - D3DDMAPSAMPLER));
    return -1;
}

bool IsTransform(DWORD state) {
    return state == D3DTS_VIEW || state == D3DTS_PROJECTION || (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) ||
           (state >= 256 && state < kTransforms);
}

void DefaultStates(StateSet& s, const D3DCAPS9& caps, UINT width, UINT height, bool depthEnabled) {
    DWORD* r = s.render;
    memset(r, 0, sizeof s.render);
    r[D3DRS_ZENABLE] = depthEnabled ? D3DZB_TRUE : D3DZB_FALSE;
    r[D3DRS_FILLMODE] = D3DFILL_SOLID;
    r[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    r[D3DRS_ZWRITEENABLE] = TRUE;
    r[D3DRS_LASTPIXEL] = TRUE;
    r[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    r[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    r[D3DRS_CULLMODE] = D3DCULL_CCW;
    r[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    r[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_FOGEND] = FloatBits(1.0f);
    r[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    r[D3DRS_STENCILFAIL] = r[D3DRS_STENCILZFAIL] = r[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_STENCILMASK] = r[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    r[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    r[D3DRS_CLIPPING] = TRUE;
    r[D3DRS_LIGHTING] = TRUE;
    r[D3DRS_COLORVERTEX] = TRUE;
    r[D3DRS_LOCALVIEWER] = TRUE;
    r[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    r[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    r[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    r[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    r[D3DRS_POINTSIZE] = FloatBits(1.0f);
    r[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    r[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    r[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    r[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    r[D3DRS_DEBUGMONITORTOKEN] = D3DDMT_ENABLE;
    r[D3DRS_POINTSIZE_MAX] = FloatBits(caps.MaxPointSize);
    r[D3DRS_COLORWRITEENABLE] = r[D3DRS_COLORWRITEENABLE1] = r[D3DRS_COLORWRITEENABLE2] =
        r[D3DRS_COLORWRITEENABLE3] = 0x0000000F;
    r[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    r[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    r[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    r[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_ADAPTIVETESS_Z] = FloatBits(1.0f);
    r[D3DRS_CCW_STENCILFAIL] = r[D3DRS_CCW_STENCILZFAIL] = r[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    r[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    r[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    r[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (UINT slot = 0; slot < kSamplerSlots; ++slot) {
        DWORD* sampler = s.sampler[slot];
        memset(sampler, 0, sizeof s.sampler[slot]);
        sampler[D3DSAMP_ADDRESSU] = sampler[D3DSAMP_ADDRESSV] = sampler[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_MAGFILTER] = sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        sampler[D3DSAMP_MAXANISOTROPY] = 1;
    }
    for (UINT stage = 0; stage < kStages; ++stage) {
        DWORD* t = s.stage[stage];
        memset(t, 0, sizeof s.stage[stage]);
        t[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = stage;
        t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    }
    for (D3DMATRIX& m : s.transform) Identity(m);
    memset(&s.material, 0, sizeof s.material);
    s.lights.clear();
    memset(s.clipPlanes, 0, sizeof s.clipPlanes);
    s.viewport = D3DVIEWPORT9{0, 0, width, height, 0.0f, 1.0f};
    s.scissor = RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    for (IDirect3DBaseTexture9*& texture : s.textures) Assign(texture, static_cast<IDirect3DBaseTexture9*>(nullptr));
    for (StreamBinding& stream : s.streams) {
        Assign(stream.buffer, static_cast<VertexBuffer*>(nullptr));
        stream.offset = stream.stride = 0;
        stream.frequency = 1;
    }
    Assign(s.indices, static_cast<IndexBuffer*>(nullptr));
    Assign(s.declaration, static_cast<VertexDeclaration*>(nullptr));
    s.fvf = 0;
    Assign(s.vertexShader, static_cast<VertexShader*>(nullptr));
    Assign(s.pixelShader, static_cast<PixelShader*>(nullptr));
    memset(s.vertexF, 0, sizeof s.vertexF);
    memset(s.vertexI, 0, sizeof s.vertexI);
    memset(s.vertexB, 0, sizeof s.vertexB);
    memset(s.pixelF, 0, sizeof s.pixelF);
    memset(s.pixelI, 0, sizeof s.pixelI);
    memset(s.pixelB, 0, sizeof s.pixelB);
    s.nPatchMode = 0.0f;
}

void ReleaseStates(StateSet& s) {
    for (IDirect3DBaseTexture9*& texture : s.textures) Assign(texture, static_cast<IDirect3DBaseTexture9*>(nullptr));
    for (StreamBinding& stream : s.streams) Assign(stream.buffer, static_cast<VertexBuffer*>(nullptr));
    Assign(s.indices, static_cast<IndexBuffer*>(nullptr));
    Assign(s.declaration, static_cast<VertexDeclaration*>(nullptr));
    Assign(s.vertexShader, static_cast<VertexShader*>(nullptr));
    Assign(s.pixelShader, static_cast<PixelShader*>(nullptr));
}

// ---- masks ------------------------------------------------------------------------------

void StateMask::MarkLight(DWORD index) {
    if (std::find(lights.begin(), lights.end(), index) == lights.end()) lights.push_back(index);
}

void StateMask::All() {
    Pixel();
    Vertex();
    for (UINT state = 0; state < kRenderStates; ++state)
        if (IsRenderState(state)) render.set(state);
    sampler.set();
    stage.set();
    transform.set();
    textures.set();
    streams.set();
    frequencies.set();
    clipPlanes.set();
    material = viewport = scissor = indices = declaration = true;
}

void StateMask::Pixel() {
    for (D3DRENDERSTATETYPE state : kPixelRenderStates) render.set(state);
    for (UINT slot = 0; slot < kSamplerSlots; ++slot)
        for (UINT type = 1; type < kSamplerTypes; ++type)
            if (type != D3DSAMP_DMAPOFFSET) sampler.set(slot * kSamplerTypes + type);
    for (UINT s = 0; s < kStages; ++s)
        for (UINT type = 1; type < kStageTypes; ++type)
            if (type != D3DTSS_TEXCOORDINDEX && type != D3DTSS_TEXTURETRANSFORMFLAGS) stage.set(s * kStageTypes + type);
    pixelShader = pixelConstants = true;
}

void StateMask::Vertex() {
    for (D3DRENDERSTATETYPE state : kVertexRenderStates) render.set(state);
    for (UINT slot = 0; slot < kSamplerSlots; ++slot) sampler.set(slot * kSamplerTypes + D3DSAMP_DMAPOFFSET);
    for (UINT s = 0; s < kStages; ++s) {
        stage.set(s * kStageTypes + D3DTSS_TEXCOORDINDEX);
        stage.set(s * kStageTypes + D3DTSS_TEXTURETRANSFORMFLAGS);
    }
    frequencies.set();
    declaration = vertexShader = vertexConstants = nPatchMode = true;
    // Every light the device has; a capture adds the ones set since.
    lights.push_back(~0u);
}

void CopyStates(StateSet& to, const StateSet& from, const StateMask& mask) {
    for (UINT i = 0; i < kRenderStates; ++i)
        if (mask.render[i]) to.render[i] = from.render[i];
    for (UINT slot = 0; slot < kSamplerSlots; ++slot)
        for (UINT type = 0; type < kSamplerTypes; ++type)
            if (mask.sampler[slot * kSamplerTypes + type]) to.sampler[slot][type] = from.sampler[slot][type];
    for (UINT s = 0; s < kStages; ++s)
        for (UINT type = 0; type < kStageTypes; ++type)
            if (mask.stage[s * kStageTypes + type]) to.stage[s][type] = from.stage[s][type];
    for (UINT i = 0; i < kTransforms; ++i)
        if (mask.transform[i]) to.transform[i] = from.transform[i];
    for (UINT i = 0; i < kSamplerSlots; ++i)
        if (mask.textures[i]) Assign(to.textures[i], from.textures[i]);
    for (UINT i = 0; i < kStreams; ++i) {
        if (mask.streams[i]) {
            Assign(to.streams[i].buffer, from.streams[i].buffer);
            to.streams[i].offset = from.streams[i].offset;
            to.streams[i].stride = from.streams[i].stride;
        }
        if (mask.frequencies[i]) to.streams[i].frequency = from.streams[i].frequency;
    }
    for (UINT i = 0; i < kClipPlanes; ++i)
        if (mask.clipPlanes[i]) memcpy(to.clipPlanes[i], from.clipPlanes[i], sizeof to.clipPlanes[i]);
    for (DWORD index : mask.lights) {
        if (index == ~0u) {
            for (const auto& entry : from.lights) to.lights[entry.first] = entry.second;
            continue;
        }
        const auto it = from.lights.find(index);
        if (it != from.lights.end()) to.lights[index] = it->second;
    }
    if (mask.material) to.material = from.material;
    if (mask.viewport) to.viewport = from.viewport;
    if (mask.scissor) to.scissor = from.scissor;
    if (mask.indices) Assign(to.indices, from.indices);
    if (mask.declaration) {
        Assign(to.declaration, from.declaration);
        to.fvf = from.fvf;
    }
    if (mask.vertexShader) Assign(to.vertexShader, from.vertexShader);
    if (mask.pixelShader) Assign(to.pixelShader, from.pixelShader);
    if (mask.vertexConstants) {
        memcpy(to.vertexF, from.vertexF, sizeof to.vertexF);
        memcpy(to.vertexI, from.vertexI, sizeof to.vertexI);
        memcpy(to.vertexB, from.vertexB, sizeof to.vertexB);
    }
    if (mask.pixelConstants) {
        memcpy(to.pixelF, from.pixelF, sizeof to.pixelF);
        memcpy(to.pixelI, from.pixelI, sizeof to.pixelI);
        memcpy(to.pixelB, from.pixelB, sizeof to.pixelB);
    }
    if (mask.nPatchMode) to.nPatchMode = from.nPatchMode;
}

// ---- state blocks -----------------------------------------------------------------------

StateBlock::StateBlock(Device* device, const StateMask& mask_, bool heldByProgram)
    : Object(device, PlatformTestD3d9Kind::StateBlock, heldByProgram), mask(mask_), states(new StateSet()) {
    // Starts with the device's values (but none of its objects), so that a block recorded
    // from a few calls holds the device's values everywhere else.
    const StateSet& from = device->states;
    memcpy(states->render, from.render, sizeof states->render);
    memcpy(states->sampler, from.sampler, sizeof states->sampler);
    memcpy(states->stage, from.stage, sizeof states->stage);
    memcpy(states->transform, from.transform, sizeof states->transform);
    states->material = from.material;
    states->lights = from.lights;
    memcpy(states->clipPlanes, from.clipPlanes, sizeof states->clipPlanes);
    states->viewport = from.viewport;
    states->scissor = from.scissor;
    for (IDirect3DBaseTexture9*& texture : states->textures) texture = nullptr;
    for (UINT i = 0; i < kStreams; ++i) {
        states->streams[i].offset = from.streams[i].offset;
        states->streams[i].stride = from.streams[i].stride;
        states->streams[i].frequency = from.streams[i].frequency;
    }
    states->fvf = from.fvf;
    memcpy(states->vertexF, from.vertexF, sizeof states->vertexF);
    memcpy(states->vertexI, from.vertexI, sizeof states->vertexI);
    memcpy(states->vertexB, from.vertexB, sizeof states->vertexB);
    memcpy(states->pixelF, from.pixelF, sizeof states->pixelF);
    memcpy(states->pixelI, from.pixelI, sizeof states->pixelI);
    memcpy(states->pixelB, from.pixelB, sizeof states->pixelB);
    states->nPatchMode = from.nPatchMode;
}

StateBlock::~StateBlock() { ReleaseStates(*states); }

bool StateBlock::Answers(REFIID riid) const { return riid == IID_IDirect3DStateBlock9; }

HRESULT STDMETHODCALLTYPE StateBlock::GetDevice(IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE StateBlock::Capture() {
    if (HRESULT hr = Fault("Capture")) return hr;
    if (device->recording) return D3DERR_INVALIDCALL;
    CopyStates(*states, device->states, mask);
    Log("Capture", D3D_OK, {O(this)});
    return D3D_OK;
}

HRESULT STDMETHODCALLTYPE StateBlock::Apply() {
    if (HRESULT hr = Fault("Apply")) return hr;
    if (device->recording) return D3DERR_INVALIDCALL;
    CopyStates(device->states, *states, mask);
    Log("Apply", D3D_OK, {O(this)});
    return D3D_OK;
}

}  // namespace d3d9
