// Fuzz target for the compiled effect form: the input is given to D3DXCreateEffect on the
// reference device twice, as it is (so the magic word, the version and the checksum are
// tried) and with its size field and checksum made right (so the reader of the contents
// is reached by any bytes). An effect that comes back is walked, drawn through one pass
// of each technique and released.
#include <PlatformTestD3d9.h>
#include <d3dx9.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = [] {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.hDeviceWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
        p.Windowed = TRUE;
        IDirect3DDevice9* made = nullptr;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, p.hDeviceWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &made);
        PlatformTest_D3d9SetRecording(false);
        return made;
    }();
    return device;
}

void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Try(const std::vector<uint8_t>& bytes) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(Device(), bytes.data(), static_cast<UINT>(bytes.size()), nullptr, nullptr, 0,
                                        nullptr, &effect, &errors);
    if (FAILED(hr)) {
        if (errors) errors->Release();
        return;
    }
    D3DXEFFECT_DESC desc;
    effect->GetDesc(&desc);
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXPARAMETER_DESC p;
        if (effect->GetParameterDesc(effect->GetParameter(nullptr, i), &p) != D3D_OK) __builtin_trap();
        float values[64] = {};
        effect->SetFloatArray(effect->GetParameter(nullptr, i), values, 64);
    }
    for (UINT t = 0; t < desc.Techniques; ++t) {
        if (effect->SetTechnique(effect->GetTechnique(t)) != D3D_OK) __builtin_trap();
        UINT passes = 0;
        effect->Begin(&passes, 0);
        if (passes) {
            effect->BeginPass(0);
            effect->CommitChanges();
            effect->EndPass();
        }
        effect->End();
    }
    effect->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16 || !Device()) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    if (!bytes.empty()) Try(bytes);
    // The same contents under a valid header and checksum.
    constexpr size_t kHeader = 12;
    std::vector<uint8_t> signed_(kHeader);
    std::memcpy(signed_.data(), "CVFX", 4);
    Put32(signed_.data() + 4, 1);
    Put32(signed_.data() + 8, static_cast<uint32_t>(size));
    signed_.insert(signed_.end(), data, data + size);
    uint32_t hash = 2166136261u;
    for (uint8_t b : signed_) {
        hash ^= b;
        hash *= 16777619u;
    }
    signed_.resize(signed_.size() + 4);
    Put32(signed_.data() + signed_.size() - 4, hash);
    Try(signed_);
    return 0;
}
