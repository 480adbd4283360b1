// The effect on a device. Creation makes one vertex and one pixel shader object per pass
// whose profile the device's caps allow (the shader "code" is just the profile's version
// token and the end token: the device validates the version, nothing runs), so a
// technique is valid exactly when the caps cover all of its passes.
//
// Begin/BeginPass/CommitChanges/EndPass/End follow the runtime's state machine and
// results. BeginPass binds the pass's shaders (a stage the device cannot run binds none)
// and, like CommitChanges, records in the device's call log the values a shader would
// receive: every parameter at BeginPass, only those changed since the last send at
// CommitChanges (shared ones are read through the pool, so a change made by another
// effect of the pool counts). What the runtime lets pass silently (a second Begin, End
// with nothing begun) is recorded as a warning so that tests can see the program do it.
// Passes set no render states; with state saving on, Begin saves the shaders the passes
// bind and End puts them back.
#include "D3dx9EffectInternal.h"
#include "Direct3D9Internal.h"

#include <PlatformTestD3dx9Effect.h>

namespace d3dx9 {

namespace {

// The records of BeginPass and CommitChanges; a long run drops the older half past this.
constexpr size_t kMaxPassRecords = size_t(1) << 16;

std::vector<PlatformTestEffectPass>& PassRecords() {
    static std::vector<PlatformTestEffectPass> records;
    return records;
}

bool Sent(const EffectParamDecl& d) {
    return !d.IsObject() || d.type == D3DXPT_STRING || IsTextureType(d.type);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

class Effect final : public BaseEffect<ID3DXEffect> {
public:
    Effect(IDirect3DDevice9* device, DWORD flags)
        : BaseEffect<ID3DXEffect>(IID_ID3DXEffect), number(d3d9::NextObjectNumber()), device(device), flags(flags) {
        device->AddRef();
        ++LiveEffectObjects().effects;
    }
    ~Effect() override {
        // Released inside Begin: the saved shaders are let go, not restored.
        if (savedVertex) savedVertex->Release();
        if (savedPixel) savedPixel->Release();
        if (manager) manager->Release();
        for (const auto& t : core.techniques)
            for (const auto& p : t->passes) {
                if (p->vertexShader) p->vertexShader->Release();
                if (p->pixelShader) p->pixelShader->Release();
            }
        core.parameters.clear();
        device->Release();
        --LiveEffectObjects().effects;
    }

    bool Create(EffectDecl decl, EffectPool* pool, std::string& error) {
        if (!core.Build(std::move(decl), pool, error)) return false;
        D3DCAPS9 caps;
        if (FAILED(device->GetDeviceCaps(&caps))) {
            caps.VertexShaderVersion = 0;
            caps.PixelShaderVersion = 0;
        }
        for (const auto& t : core.techniques) {
            for (const auto& p : t->passes) {
                if (p->vertexVersion && (p->vertexVersion & 0xFFFF) <= (caps.VertexShaderVersion & 0xFFFF))
                    device->CreateVertexShader(p->vertexFunction, &p->vertexShader);
                if (p->pixelVersion && (p->pixelVersion & 0xFFFF) <= (caps.PixelShaderVersion & 0xFFFF))
                    device->CreatePixelShader(p->pixelFunction, &p->pixelShader);
            }
        }
        current = core.techniques.empty() ? nullptr : core.techniques.front().get();
        sent.assign(core.parameters.size(), 0);
        return true;
    }

    HRESULT STDMETHODCALLTYPE GetPool(LPD3DXEFFECTPOOL* out) override {
        if (!out) return D3DERR_INVALIDCALL;
        *out = core.pool;
        if (core.pool) core.pool->AddRef();
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetTechnique(D3DXHANDLE h) override {
        TechniqueNode* t = core.Technique(h);
        if (!t) return D3DERR_INVALIDCALL;
        current = t;
        return D3D_OK;
    }
    D3DXHANDLE STDMETHODCALLTYPE GetCurrentTechnique() override { return EffectCore::Handle(current); }

    HRESULT STDMETHODCALLTYPE ValidateTechnique(D3DXHANDLE h) override {
        TechniqueNode* t = core.Technique(h);
        if (!t) return D3DERR_INVALIDCALL;
        return Valid(*t) ? D3D_OK : E_FAIL;
    }

    HRESULT STDMETHODCALLTYPE FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* out) override {
        if (!out) return D3DERR_INVALIDCALL;
        size_t start = 0;
        if (h) {
            TechniqueNode* t = core.Technique(h);
            if (!t) return D3DERR_INVALIDCALL;
            while (core.techniques[start].get() != t) ++start;
            ++start;
        }
        for (size_t i = start; i < core.techniques.size(); ++i) {
            if (Valid(*core.techniques[i])) {
                *out = EffectCore::Handle(core.techniques[i].get());
                return D3D_OK;
            }
        }
        *out = nullptr;
        return S_FALSE;
    }

    BOOL STDMETHODCALLTYPE IsParameterUsed(D3DXHANDLE param, D3DXHANDLE technique) override {
        // Shader bodies are not read, so every parameter counts as used by every technique.
        return core.Param(param) && core.Technique(technique);
    }

    HRESULT STDMETHODCALLTYPE Begin(UINT* passes, DWORD beginFlags) override {
        if (!current) return D3DERR_INVALIDCALL;
        if (begun) Warn("Begin while the effect is already begun");
        begun = true;
        const bool save = !(beginFlags & D3DXFX_DONOTSAVESTATE) && !(beginFlags & D3DXFX_DONOTSAVESHADERSTATE);
        if (save && !savingShaders) {
            bool binds = false;
            for (const auto& p : current->passes) binds = binds || p->vertexVersion || p->pixelVersion;
            if (binds) {
                savingShaders = true;
                device->GetVertexShader(&savedVertex);
                device->GetPixelShader(&savedPixel);
            }
        }
        if (passes) *passes = static_cast<UINT>(current->passes.size());
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE BeginPass(UINT pass) override {
        if (!begun || !current || pass >= current->passes.size()) return D3DERR_INVALIDCALL;
        if (openPass) Warn("BeginPass while a pass is open");
        openPass = current->passes[pass].get();
        openIndex = pass;
        if (manager) {
            manager->SetVertexShader(openPass->vertexShader);
            manager->SetPixelShader(openPass->pixelShader);
        } else {
            device->SetVertexShader(openPass->vertexShader);
            device->SetPixelShader(openPass->pixelShader);
        }
        Send(false);
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE CommitChanges() override {
        if (!openPass) {
            Warn("CommitChanges outside a pass");
            return D3D_OK;
        }
        Send(true);
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE EndPass() override {
        if (!openPass) {
            Warn("EndPass without BeginPass");
            return D3D_OK;
        }
        openPass = nullptr;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE End() override {
        if (!begun) {
            Warn("End without Begin");
            return D3D_OK;
        }
        if (openPass) Warn("End with a pass open");
        openPass = nullptr;
        begun = false;
        if (savingShaders) {
            device->SetVertexShader(savedVertex);
            device->SetPixelShader(savedPixel);
            if (savedVertex) savedVertex->Release();
            if (savedPixel) savedPixel->Release();
            savedVertex = nullptr;
            savedPixel = nullptr;
            savingShaders = false;
        }
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* out) override {
        if (!out) return D3DERR_INVALIDCALL;
        device->AddRef();
        *out = device;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE OnLostDevice() override {
        core.ReleaseDefaultTextures();
        if (core.pool) core.pool->ReleaseDefaultTextures();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResetDevice() override { return D3D_OK; }

    HRESULT STDMETHODCALLTYPE SetStateManager(LPD3DXEFFECTSTATEMANAGER m) override {
        if (m) m->AddRef();
        if (manager) manager->Release();
        manager = m;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStateManager(LPD3DXEFFECTSTATEMANAGER* out) override {
        if (!out) return D3DERR_INVALIDCALL;
        *out = manager;
        if (manager) manager->AddRef();
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE BeginParameterBlock() override { return E_NOTIMPL; }
    D3DXHANDLE STDMETHODCALLTYPE EndParameterBlock() override { return nullptr; }
    HRESULT STDMETHODCALLTYPE ApplyParameterBlock(D3DXHANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteParameterBlock(D3DXHANDLE) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE CloneEffect(LPDIRECT3DDEVICE9 target, LPD3DXEFFECT* out) override {
        if (!out) return D3DERR_INVALIDCALL;
        if (flags & D3DXFX_NOT_CLONEABLE) return E_FAIL;
        if (!target || begun) return D3DERR_INVALIDCALL;
        Effect* clone = new Effect(target, flags);
        std::string error;
        if (!clone->Create(core.decl, core.pool, error)) {
            clone->Release();
            return E_FAIL;
        }
        for (size_t i = 0; i < core.parameters.size(); ++i) {
            const ParamNode& from = *core.parameters[i];
            if (from.pooled) continue;  // the pool's already
            EffectSlot& to = *clone->core.parameters[i]->slot;
            to.words = from.slot->words;
            to.text = from.slot->text;
            to.SetTexture(from.slot->texture);
        }
        *out = clone;
        return D3D_OK;
    }

    HRESULT STDMETHODCALLTYPE SetRawValue(D3DXHANDLE, LPCVOID, UINT, UINT) override { return E_NOTIMPL; }

    const unsigned number;

private:
    bool Valid(const TechniqueNode& t) const {
        for (const auto& p : t.passes)
            if ((p->vertexVersion && !p->vertexShader) || (p->pixelVersion && !p->pixelShader)) return false;
        return true;
    }

    std::string Head() const {
        return "(#" + std::to_string(number) + ", " + Quoted(current->decl->name) + ", " + std::to_string(openIndex) + ")";
    }

    void Warn(const char* text) {
        if (!d3d9::g_recording) return;
        d3d9::RecordText("EffectWarning", "(#" + std::to_string(number) + ", " + Quoted(text) + ")");
    }

    void Send(bool commit) {
        PlatformTestEffectPass record;
        record.effect = number;
        record.technique = current->decl->name;
        record.pass = openIndex;
        record.commit = commit;
        for (size_t i = 0; i < core.parameters.size(); ++i) {
            const ParamNode& p = *core.parameters[i];
            if (!Sent(*p.decl)) continue;
            if (commit && sent[i] == p.slot->version) continue;
            sent[i] = p.slot->version;
            // The value's text is made only for a record someone will read.
            if (d3d9::g_recording) record.values.emplace_back(p.decl->name, EffectCore::ValueText(p));
        }
        // A commit with nothing changed sends nothing.
        if (!d3d9::g_recording || (commit && record.values.empty())) return;
        std::string detail = Head() + " {";
        for (size_t i = 0; i < record.values.size(); ++i)
            detail += (i ? "; " : "") + record.values[i].first + "=" + record.values[i].second;
        d3d9::RecordText(commit ? "CommitChanges" : "BeginPass", detail + "}");
        std::vector<PlatformTestEffectPass>& records = PassRecords();
        if (records.size() >= kMaxPassRecords) records.erase(records.begin(), records.begin() + kMaxPassRecords / 2);
        records.push_back(std::move(record));
    }

    IDirect3DDevice9* device;
    DWORD flags;
    TechniqueNode* current = nullptr;
    bool begun = false;
    PassNode* openPass = nullptr;
    UINT openIndex = 0;
    bool savingShaders = false;
    IDirect3DVertexShader9* savedVertex = nullptr;
    IDirect3DPixelShader9* savedPixel = nullptr;
    ID3DXEffectStateManager* manager = nullptr;
    std::vector<uint64_t> sent;  // per top-level parameter: the slot version last sent
};

ID3DXEffect* CreateEffectFrom(IDirect3DDevice9* device, EffectDecl decl, DWORD flags, EffectPool* pool,
                              std::string& error) {
    Effect* effect = new Effect(device, flags);
    if (effect->Create(std::move(decl), pool, error)) return effect;
    effect->Release();
    return nullptr;
}

}  // namespace d3dx9

using namespace d3dx9;

std::vector<PlatformTestEffectPass> PlatformTest_D3dx9EffectPasses() { return PassRecords(); }

void PlatformTest_D3dx9ClearEffectPasses() { PassRecords().clear(); }

unsigned PlatformTest_D3dx9EffectNumber(ID3DXEffect* effect) {
    const Effect* ours = effect ? dynamic_cast<const Effect*>(effect) : nullptr;
    return ours ? ours->number : 0;
}

int PlatformTest_D3dx9LiveEffects() { return LiveEffectObjects().effects; }
int PlatformTest_D3dx9LiveEffectPools() { return LiveEffectObjects().pools; }
int PlatformTest_D3dx9LiveEffectCompilers() { return LiveEffectObjects().compilers; }
