// The D3DX9 triangle mesh for the Linux build. A mesh is a vertex buffer and an index
// buffer made on the caller's device (so locks, pools and failures are the device's own),
// an attribute per face kept in memory, and the layout of its one vertex stream.
//
// OptimizeInplace validates everything it reads before it changes anything: the flags,
// every index (below the vertex count) and every adjacency entry (a face number or
// 0xFFFFFFFF); bad input answers D3DERR_INVALIDCALL with the mesh untouched. It then sorts
// the faces by attribute (stable), orders each attribute's faces for the vertex cache,
// renumbers the vertices in the order the new index list first uses them (vertices no
// face uses keep their relative order at the end), and builds the new indices, vertices,
// attributes and adjacency in temporaries. Only when both buffers are locked for writing
// is anything written, so a failed lock also leaves the mesh as it was.
#include <d3dx9.h>

#include "D3dx9VertexCache.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string.h>
#include <vector>

namespace {

constexpr DWORD kNoFace = 0xFFFFFFFFu;
constexpr DWORD kOptimizeFlags = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE |
                                 D3DXMESHOPT_STRIPREORDER | D3DXMESHOPT_IGNOREVERTS | D3DXMESHOPT_DONOTSPLIT |
                                 D3DXMESHOPT_DEVICEINDEPENDENT;

template <class T>
std::unique_ptr<T[]> Make(uint64_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n ? n : 1]());
}

DWORD BufferUsage(DWORD options, bool vertex) {
    DWORD usage = 0;
    if (options & (vertex ? D3DXMESH_VB_WRITEONLY : D3DXMESH_IB_WRITEONLY)) usage |= D3DUSAGE_WRITEONLY;
    if (options & (vertex ? D3DXMESH_VB_DYNAMIC : D3DXMESH_IB_DYNAMIC)) usage |= D3DUSAGE_DYNAMIC;
    if (options & (vertex ? D3DXMESH_VB_SOFTWAREPROCESSING : D3DXMESH_IB_SOFTWAREPROCESSING))
        usage |= D3DUSAGE_SOFTWAREPROCESSING;
    if (options & D3DXMESH_DONOTCLIP) usage |= D3DUSAGE_DONOTCLIP;
    if (options & D3DXMESH_POINTS) usage |= D3DUSAGE_POINTS;
    if (options & D3DXMESH_RTPATCHES) usage |= D3DUSAGE_RTPATCHES;
    if (options & D3DXMESH_NPATCHES) usage |= D3DUSAGE_NPATCHES;
    return usage;
}

D3DPOOL BufferPool(DWORD options, bool vertex) {
    if (options & (vertex ? D3DXMESH_VB_SYSTEMMEM : D3DXMESH_IB_SYSTEMMEM)) return D3DPOOL_SYSTEMMEM;
    if (options & (vertex ? D3DXMESH_VB_MANAGED : D3DXMESH_IB_MANAGED)) return D3DPOOL_MANAGED;
    return D3DPOOL_DEFAULT;
}

bool IsEnd(const D3DVERTEXELEMENT9& e) { return e.Stream == 0xFF && e.Type == D3DDECLTYPE_UNUSED; }

class Mesh final : public ID3DXMesh {
public:
    Mesh(IDirect3DDevice9* device, DWORD faces, DWORD vertices, DWORD options, DWORD stride)
        : device_(device), faces_(faces), vertices_(vertices), options_(options), stride_(stride) {
        device_->AddRef();
    }
    ~Mesh() {
        if (declaration_) declaration_->Release();
        if (vb_) vb_->Release();
        if (ib_) ib_->Release();
        device_->Release();
    }
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    HRESULT Create(const D3DVERTEXELEMENT9* declaration, UINT elements) {
        memcpy(elements_, declaration, sizeof(D3DVERTEXELEMENT9) * (elements + 1));
        elementCount_ = elements;
        attributes_ = Make<DWORD>(faces_);
        if (!attributes_) return E_OUTOFMEMORY;
        HRESULT hr = device_->CreateVertexBuffer(vertices_ * stride_, BufferUsage(options_, true), 0,
                                                 BufferPool(options_, true), &vb_, nullptr);
        if (FAILED(hr)) return hr;
        const bool wide = (options_ & D3DXMESH_32BIT) != 0;
        return device_->CreateIndexBuffer(faces_ * 3 * (wide ? 4 : 2), BufferUsage(options_, false),
                                          wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, BufferPool(options_, false), &ib_,
                                          nullptr);
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown) {
            AddRef();
            *object = static_cast<ID3DXMesh*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // ID3DXBaseMesh
    HRESULT STDMETHODCALLTYPE DrawSubset(DWORD AttribId) override {
        if (!declaration_) {
            const HRESULT hr = device_->CreateVertexDeclaration(elements_, &declaration_);
            if (FAILED(hr)) return hr;
        }
        HRESULT hr = device_->SetVertexDeclaration(declaration_);
        if (SUCCEEDED(hr)) hr = device_->SetStreamSource(0, vb_, 0, stride_);
        if (SUCCEEDED(hr)) hr = device_->SetIndices(ib_);
        // One draw per run of consecutive faces with the attribute.
        for (DWORD f = 0; SUCCEEDED(hr) && f < faces_;) {
            if (attributes_[f] != AttribId) {
                ++f;
                continue;
            }
            DWORD end = f;
            while (end < faces_ && attributes_[end] == AttribId) ++end;
            hr = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, vertices_, f * 3, end - f);
            f = end;
        }
        return hr;
    }
    DWORD STDMETHODCALLTYPE GetNumFaces() override { return faces_; }
    DWORD STDMETHODCALLTYPE GetNumVertices() override { return vertices_; }
    DWORD STDMETHODCALLTYPE GetFVF() override {
        DWORD fvf = 0;
        return SUCCEEDED(D3DXFVFFromDeclarator(elements_, &fvf)) ? fvf : 0;
    }
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9 Declaration[MAX_FVF_DECL_SIZE]) override {
        if (!Declaration) return D3DERR_INVALIDCALL;
        memcpy(Declaration, elements_, sizeof(D3DVERTEXELEMENT9) * (elementCount_ + 1));
        return D3D_OK;
    }
    DWORD STDMETHODCALLTYPE GetNumBytesPerVertex() override { return stride_; }
    DWORD STDMETHODCALLTYPE GetOptions() override { return options_; }
    HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* ppDevice) override {
        if (!ppDevice) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *ppDevice = device_;
        return D3D_OK;
    }
    // Cloning, point representatives, adjacency generation and semantics updates are not
    // used by the program.
    HRESULT STDMETHODCALLTYPE CloneMeshFVF(DWORD, DWORD, LPDIRECT3DDEVICE9, LPD3DXMESH*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CloneMesh(DWORD, const D3DVERTEXELEMENT9*, LPDIRECT3DDEVICE9, LPD3DXMESH*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) override {
        if (!ppVB) return D3DERR_INVALIDCALL;
        vb_->AddRef();
        *ppVB = vb_;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) override {
        if (!ppIB) return D3DERR_INVALIDCALL;
        ib_->AddRef();
        *ppIB = ib_;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LockVertexBuffer(DWORD Flags, LPVOID* ppData) override {
        return vb_->Lock(0, 0, ppData, Flags);
    }
    HRESULT STDMETHODCALLTYPE UnlockVertexBuffer() override { return vb_->Unlock(); }
    HRESULT STDMETHODCALLTYPE LockIndexBuffer(DWORD Flags, LPVOID* ppData) override {
        return ib_->Lock(0, 0, ppData, Flags);
    }
    HRESULT STDMETHODCALLTYPE UnlockIndexBuffer() override { return ib_->Unlock(); }
    HRESULT STDMETHODCALLTYPE GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) override {
        if (!pAttribTable && !pAttribTableSize) return D3DERR_INVALIDCALL;
        if (pAttribTableSize) *pAttribTableSize = static_cast<DWORD>(table_.size());
        if (pAttribTable && !table_.empty())
            memcpy(pAttribTable, table_.data(), table_.size() * sizeof(D3DXATTRIBUTERANGE));
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE ConvertPointRepsToAdjacency(const DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConvertAdjacencyToPointReps(const DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GenerateAdjacency(FLOAT, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateSemantics(D3DVERTEXELEMENT9*) override { return E_NOTIMPL; }

    // ID3DXMesh
    HRESULT STDMETHODCALLTYPE LockAttributeBuffer(DWORD, DWORD** ppData) override {
        if (!ppData) return D3DERR_INVALIDCALL;
        *ppData = attributes_.get();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE UnlockAttributeBuffer() override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE Optimize(DWORD, const DWORD*, DWORD*, DWORD*, LPD3DXBUFFER*, LPD3DXMESH*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut,
                                              DWORD* pFaceRemap, LPD3DXBUFFER* ppVertexRemap) override;
    HRESULT STDMETHODCALLTYPE SetAttributeTable(const D3DXATTRIBUTERANGE* pAttribTable,
                                                DWORD cAttribTableSize) override {
        if (!pAttribTable && cAttribTableSize) return D3DERR_INVALIDCALL;
        table_.assign(pAttribTable, pAttribTable + cAttribTableSize);
        return D3D_OK;
    }

private:
    bool Wide() const { return (options_ & D3DXMESH_32BIT) != 0; }
    HRESULT ReadIndices(uint32_t* out);
    HRESULT ReadVertices(unsigned char* out);

    std::atomic<ULONG> refs_{1};
    IDirect3DDevice9* device_;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    IDirect3DVertexDeclaration9* declaration_ = nullptr;
    DWORD faces_;
    DWORD vertices_;
    DWORD options_;
    DWORD stride_;
    D3DVERTEXELEMENT9 elements_[MAX_FVF_DECL_SIZE];
    UINT elementCount_ = 0;
    std::unique_ptr<DWORD[]> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
};

HRESULT Mesh::ReadIndices(uint32_t* out) {
    void* data = nullptr;
    HRESULT hr = ib_->Lock(0, 0, &data, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    const uint64_t n = uint64_t(faces_) * 3;
    if (Wide()) {
        memcpy(out, data, n * 4);
    } else {
        const uint16_t* narrow = static_cast<const uint16_t*>(data);
        for (uint64_t i = 0; i < n; ++i) out[i] = narrow[i];
    }
    return ib_->Unlock();
}

HRESULT Mesh::ReadVertices(unsigned char* out) {
    void* data = nullptr;
    HRESULT hr = vb_->Lock(0, 0, &data, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    memcpy(out, data, size_t(vertices_) * stride_);
    return vb_->Unlock();
}

HRESULT Mesh::OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                              LPD3DXBUFFER* ppVertexRemap) {
    if (ppVertexRemap) *ppVertexRemap = nullptr;
    if (Flags == 0 || (Flags & ~kOptimizeFlags) != 0) return D3DERR_INVALIDCALL;
    if ((Flags & D3DXMESHOPT_VERTEXCACHE) && (Flags & D3DXMESHOPT_STRIPREORDER)) return D3DERR_INVALIDCALL;
    // New adjacency can only be told from the old.
    if (pAdjacencyOut && !pAdjacencyIn) return D3DERR_INVALIDCALL;
    const DWORD faces = faces_;
    const DWORD vertices = vertices_;

    if (pAdjacencyIn)
        for (uint64_t i = 0; i < uint64_t(faces) * 3; ++i)
            if (pAdjacencyIn[i] != kNoFace && pAdjacencyIn[i] >= faces) return D3DERR_INVALIDCALL;

    auto indices = Make<uint32_t>(uint64_t(faces) * 3);
    auto faceOrder = Make<uint32_t>(faces);  // new face -> old face
    auto newFace = Make<uint32_t>(faces);    // old face -> new face
    auto vertexRemap = Make<uint32_t>(vertices);  // new vertex -> old vertex
    auto newVertex = Make<uint32_t>(vertices);    // old vertex -> new vertex
    auto groupIndices = Make<uint32_t>(uint64_t(faces) * 3);
    auto groupOrder = Make<uint32_t>(faces);
    auto vertexBytes = Make<unsigned char>(uint64_t(vertices) * stride_);
    auto newVertexBytes = Make<unsigned char>(uint64_t(vertices) * stride_);
    auto newIndices = Make<uint32_t>(uint64_t(faces) * 3);
    auto newAttributes = Make<DWORD>(faces);
    auto newAdjacency = Make<DWORD>(uint64_t(faces) * 3);
    if (!indices || !faceOrder || !newFace || !vertexRemap || !newVertex || !groupIndices || !groupOrder ||
        !vertexBytes || !newVertexBytes || !newIndices || !newAttributes || !newAdjacency)
        return E_OUTOFMEMORY;

    HRESULT hr = ReadIndices(indices.get());
    if (FAILED(hr)) return hr;
    for (uint64_t i = 0; i < uint64_t(faces) * 3; ++i)
        if (indices[i] >= vertices) return D3DERR_INVALIDCALL;

    // Faces by attribute, keeping their order within one attribute.
    for (DWORD f = 0; f < faces; ++f) faceOrder[f] = f;
    const DWORD* attributes = attributes_.get();
    std::stable_sort(faceOrder.get(), faceOrder.get() + faces,
                     [attributes](uint32_t a, uint32_t b) { return attributes[a] < attributes[b]; });

    if (Flags & (D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER)) {
        for (DWORD start = 0; start < faces;) {
            DWORD end = start;
            while (end < faces && attributes[faceOrder[end]] == attributes[faceOrder[start]]) ++end;
            const DWORD n = end - start;
            for (DWORD i = 0; i < n; ++i)
                memcpy(&groupIndices[uint64_t(i) * 3], &indices[uint64_t(faceOrder[start + i]) * 3], 12);
            if (!OrderFacesForVertexCache(groupIndices.get(), n, vertices, groupOrder.get())) return E_OUTOFMEMORY;
            for (DWORD i = 0; i < n; ++i) groupOrder[i] = faceOrder[start + groupOrder[i]];
            memcpy(&faceOrder[start], groupOrder.get(), sizeof(uint32_t) * n);
            start = end;
        }
    }
    for (DWORD f = 0; f < faces; ++f) newFace[faceOrder[f]] = f;

    // Vertices in the order the new face list first uses them; unused ones after.
    const bool moveVertices = (Flags & D3DXMESHOPT_IGNOREVERTS) == 0;
    for (DWORD v = 0; v < vertices; ++v) newVertex[v] = moveVertices ? kNoFace : v;
    DWORD next = 0;
    if (moveVertices) {
        for (DWORD f = 0; f < faces; ++f)
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = indices[uint64_t(faceOrder[f]) * 3 + k];
                if (newVertex[v] == kNoFace) newVertex[v] = next++;
            }
        for (DWORD v = 0; v < vertices; ++v)
            if (newVertex[v] == kNoFace) newVertex[v] = next++;
    }
    for (DWORD v = 0; v < vertices; ++v) vertexRemap[newVertex[v]] = v;

    hr = ReadVertices(vertexBytes.get());
    if (FAILED(hr)) return hr;
    for (DWORD v = 0; v < vertices; ++v)
        memcpy(&newVertexBytes[size_t(v) * stride_], &vertexBytes[size_t(vertexRemap[v]) * stride_], stride_);
    for (DWORD f = 0; f < faces; ++f) {
        const uint32_t old = faceOrder[f];
        newAttributes[f] = attributes[old];
        for (int k = 0; k < 3; ++k) {
            newIndices[uint64_t(f) * 3 + k] = newVertex[indices[uint64_t(old) * 3 + k]];
            if (pAdjacencyIn) {
                const DWORD a = pAdjacencyIn[uint64_t(old) * 3 + k];
                newAdjacency[uint64_t(f) * 3 + k] = a == kNoFace ? kNoFace : newFace[a];
            }
        }
    }

    LPD3DXBUFFER remap = nullptr;
    if (ppVertexRemap) {
        hr = D3DXCreateBuffer(vertices * sizeof(DWORD), &remap);
        if (FAILED(hr)) return hr;
        memcpy(remap->GetBufferPointer(), vertexRemap.get(), vertices * sizeof(DWORD));
    }

    // Both buffers locked before either is written: a refused lock changes nothing.
    void* vbData = nullptr;
    void* ibData = nullptr;
    hr = vb_->Lock(0, 0, &vbData, 0);
    if (SUCCEEDED(hr)) {
        hr = ib_->Lock(0, 0, &ibData, 0);
        if (FAILED(hr)) vb_->Unlock();
    }
    if (FAILED(hr)) {
        if (remap) remap->Release();
        return hr;
    }
    memcpy(vbData, newVertexBytes.get(), size_t(vertices) * stride_);
    if (Wide()) {
        memcpy(ibData, newIndices.get(), uint64_t(faces) * 12);
    } else {
        uint16_t* narrow = static_cast<uint16_t*>(ibData);
        for (uint64_t i = 0; i < uint64_t(faces) * 3; ++i) narrow[i] = static_cast<uint16_t>(newIndices[i]);
    }
    vb_->Unlock();
    ib_->Unlock();

    memcpy(attributes_.get(), newAttributes.get(), sizeof(DWORD) * faces);
    if (pAdjacencyOut) memcpy(pAdjacencyOut, newAdjacency.get(), uint64_t(faces) * 3 * sizeof(DWORD));
    if (pFaceRemap) memcpy(pFaceRemap, faceOrder.get(), sizeof(DWORD) * faces);
    if (ppVertexRemap) *ppVertexRemap = remap;

    // The attribute table: one range per attribute, with the span of vertices it uses.
    table_.clear();
    for (DWORD start = 0; start < faces;) {
        DWORD end = start;
        DWORD low = kNoFace;
        DWORD high = 0;
        while (end < faces && attributes_[end] == attributes_[start]) {
            for (int k = 0; k < 3; ++k) {
                low = std::min<DWORD>(low, newIndices[uint64_t(end) * 3 + k]);
                high = std::max<DWORD>(high, newIndices[uint64_t(end) * 3 + k]);
            }
            ++end;
        }
        table_.push_back(D3DXATTRIBUTERANGE{attributes_[start], start, end - start, low, high - low + 1});
        start = end;
    }
    return D3D_OK;
}

}  // namespace

HRESULT WINAPI D3DXCreateMesh(DWORD NumFaces, DWORD NumVertices, DWORD Options, const D3DVERTEXELEMENT9* pDeclaration,
                              LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh) {
    if (!ppMesh) return D3DERR_INVALIDCALL;
    *ppMesh = nullptr;
    if (!pDeclaration || !pD3DDevice || NumFaces == 0 || NumVertices == 0) return D3DERR_INVALIDCALL;
    if (!(Options & D3DXMESH_32BIT) && NumVertices > 0xFFFF) return D3DERR_INVALIDCALL;
    UINT elements = 0;
    while (elements < MAXD3DDECLLENGTH && !IsEnd(pDeclaration[elements])) {
        if (pDeclaration[elements].Stream != 0) return D3DERR_INVALIDCALL;
        ++elements;
    }
    if (elements == MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;
    const UINT stride = D3DXGetDeclVertexSize(pDeclaration, 0);
    // Buffer sizes are 32-bit byte counts.
    if (stride == 0 || uint64_t(NumVertices) * stride > 0xFFFFFFFFu || uint64_t(NumFaces) * 12 > 0xFFFFFFFFu)
        return D3DERR_INVALIDCALL;

    Mesh* mesh = new (std::nothrow) Mesh(pD3DDevice, NumFaces, NumVertices, Options, stride);
    if (!mesh) return E_OUTOFMEMORY;
    const HRESULT hr = mesh->Create(pDeclaration, elements);
    if (FAILED(hr)) {
        mesh->Release();
        return hr;
    }
    *ppMesh = mesh;
    return D3D_OK;
}
