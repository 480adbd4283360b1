// The D3DX9 buffer object for the Linux build: a fixed block of bytes with a reference
// count. The block is zeroed when it is made and lives exactly as long as the object, so
// a pointer from GetBufferPointer stays good until the last Release.
#include <d3dx9.h>

#include <atomic>
#include <new>
#include <string.h>

namespace {

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(DWORD size) : size_(size) {}
    ~Buffer() { delete[] bytes_; }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    bool Allocate() {
        // A zero-byte buffer still answers a pointer of its own.
        bytes_ = new (std::nothrow) unsigned char[size_ ? size_ : 1];
        if (!bytes_) return false;
        memset(bytes_, 0, size_ ? size_ : 1);
        return true;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ID3DXBuffer) {
            AddRef();
            *object = static_cast<ID3DXBuffer*>(this);
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
    LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return bytes_; }
    DWORD STDMETHODCALLTYPE GetBufferSize() override { return size_; }

private:
    std::atomic<ULONG> refs_{1};
    DWORD size_;
    unsigned char* bytes_ = nullptr;
};

}  // namespace

HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer) {
    if (!ppBuffer) return D3DERR_INVALIDCALL;
    *ppBuffer = nullptr;
    Buffer* buffer = new (std::nothrow) Buffer(NumBytes);
    if (!buffer) return E_OUTOFMEMORY;
    if (!buffer->Allocate()) {
        buffer->Release();
        return E_OUTOFMEMORY;
    }
    *ppBuffer = buffer;
    return D3D_OK;
}
