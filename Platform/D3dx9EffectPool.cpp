// Effect pools and the library's byte buffers. A pool keeps one value per shared
// parameter name while at least one effect of the pool declares it; the last effect to
// leave takes the value with it, so a later effect starts again from its own initial
// value, as the runtime does.
#include "D3dx9EffectInternal.h"

#include <string.h>

namespace d3dx9 {

namespace {

class Buffer final : public Counted<ID3DXBuffer> {
public:
    explicit Buffer(size_t size) : Counted<ID3DXBuffer>(IID_ID3DXBuffer), bytes(size ? size : 1, 0), size(size) {}
    LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return bytes.data(); }
    DWORD STDMETHODCALLTYPE GetBufferSize() override { return static_cast<DWORD>(size); }

    std::vector<uint8_t> bytes;  // never empty, so the pointer is never null

private:
    size_t size;
};

bool SameElement(const EffectParamDecl& a, const EffectParamDecl& b) {
    return a.cls == b.cls && a.type == b.type && a.rows == b.rows && a.columns == b.columns;
}

}  // namespace

EffectCounts& LiveEffectObjects() {
    static EffectCounts counts;
    return counts;
}

HRESULT MakeBuffer(const void* data, size_t size, ID3DXBuffer** out) {
    if (!out) return D3DERR_INVALIDCALL;
    Buffer* buffer = new Buffer(size);
    if (data && size) memcpy(buffer->bytes.data(), data, size);
    *out = buffer;
    return D3D_OK;
}

HRESULT MakeTextBuffer(const std::string& text, ID3DXBuffer** out) {
    return MakeBuffer(text.c_str(), text.size() + 1, out);
}

EffectPool::EffectPool() : Counted<ID3DXEffectPool>(IID_ID3DXEffectPool) { ++LiveEffectObjects().pools; }

EffectPool::~EffectPool() { --LiveEffectObjects().pools; }

std::shared_ptr<EffectSlot> EffectPool::Join(const EffectParamDecl& decl, bool* clash) {
    *clash = false;
    auto found = entries.find(decl.name);
    if (found != entries.end()) {
        const EffectParamDecl& held = found->second.type;
        if (!SameElement(held, decl) || held.elements != decl.elements) {
            *clash = !SameElement(held, decl);
            return nullptr;
        }
        ++found->second.holders;
        return found->second.slot;
    }
    Entry entry;
    entry.type = decl;
    entry.type.annotations.clear();
    entry.slot = std::make_shared<EffectSlot>();
    entry.slot->words = decl.words;
    entry.slot->text = decl.text;
    entry.holders = 1;
    std::shared_ptr<EffectSlot> slot = entry.slot;
    entries.emplace(decl.name, std::move(entry));
    return slot;
}

void EffectPool::Leave(const std::string& name) {
    auto found = entries.find(name);
    if (found == entries.end()) return;
    if (--found->second.holders <= 0) entries.erase(found);
}

void EffectPool::ReleaseDefaultTextures() {
    for (auto& entry : entries)
        if (InDefaultPool(entry.second.slot->texture)) entry.second.slot->SetTexture(nullptr);
}

EffectPool* OurPool(ID3DXEffectPool* pool) { return pool ? dynamic_cast<EffectPool*>(pool) : nullptr; }

}  // namespace d3dx9

using namespace d3dx9;

HRESULT WINAPI D3DXCreateEffectPool(LPD3DXEFFECTPOOL* ppPool) {
    if (!ppPool) return D3DERR_INVALIDCALL;
    *ppPool = new EffectPool();
    return D3D_OK;
}
