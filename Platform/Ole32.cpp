// COM on the Linux platform: the thread's apartment (CoInitialize counts, CoUninitialize
// balances) and CoCreateInstance for the one class the program creates, the DirectX
// diagnostic provider.
//
// The provider answers what the test interface sets (PlatformTestCom.h): by default the
// DirectX 9.0c that Wine 8 reports. After Initialize it hands out its root container,
// which holds "DxDiag_SystemInfo" with the three version properties and a few neighbours,
// and an empty "DxDiag_DisplayDevices". A child is found by its name or by a dotted path
// from the container asked. Properties are copied into the caller's variant, which the
// caller clears. Objects count their references and delete themselves at zero; the test
// interface counts the live ones, so that a test sees every Release made.
#include <windows.h>
#include <dxdiag.h>

#include <PlatformTestCom.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct DxDiagState {
    DWORD major = 9;
    DWORD minor = 0;
    bool hasLetter = true;
    std::u16string letter = u"c";
    bool absent = false;
    int initializations = 0;
    int liveObjects = 0;
};

DxDiagState& State() {
    static DxDiagState state;
    return state;
}

// One node of the diagnostic tree: named properties and named children, in order.
struct Node {
    std::vector<std::pair<std::u16string, VARIANT>> properties;
    std::vector<std::pair<std::u16string, std::shared_ptr<Node>>> children;
    ~Node() {
        for (auto& property : properties) VariantClear(&property.second);
    }
};

VARIANT Unsigned(DWORD value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = value;
    return v;
}

VARIANT Text(const std::u16string& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    return v;
}

std::shared_ptr<Node> BuildTree() {
    const DxDiagState& state = State();
    auto system = std::make_shared<Node>();
    system->properties.push_back({u"dwOSMajorVersion", Unsigned(6)});
    system->properties.push_back({u"dwOSMinorVersion", Unsigned(1)});
    system->properties.push_back({u"dwDirectXVersionMajor", Unsigned(state.major)});
    system->properties.push_back({u"dwDirectXVersionMinor", Unsigned(state.minor)});
    if (state.hasLetter) system->properties.push_back({u"szDirectXVersionLetter", Text(state.letter)});
    auto root = std::make_shared<Node>();
    root->children.push_back({u"DxDiag_SystemInfo", system});
    root->children.push_back({u"DxDiag_DisplayDevices", std::make_shared<Node>()});
    return root;
}

std::u16string FromWide(LPCWSTR text) {
    std::u16string out;
    if (text)
        for (size_t i = 0; text[i]; ++i) out.push_back(static_cast<char16_t>(text[i]));
    return out;
}

HRESULT CopyName(const std::u16string& name, LPWSTR buffer, DWORD size) {
    if (!buffer) return E_INVALIDARG;
    if (name.size() + 1 > size) return DXDIAG_E_INSUFFICIENT_BUFFER;
    for (size_t i = 0; i < name.size(); ++i) buffer[i] = static_cast<WCHAR>(name[i]);
    buffer[name.size()] = 0;
    return S_OK;
}

template <class Interface>
class ComObject : public Interface {
public:
    ComObject() { ++State().liveObjects; }
    virtual ~ComObject() { --State().liveObjects; }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == OwnIid()) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual const IID& OwnIid() const = 0;

private:
    ULONG references = 1;
};

class Container final : public ComObject<IDxDiagContainer> {
public:
    explicit Container(std::shared_ptr<Node> node) : node(std::move(node)) {}

    HRESULT STDMETHODCALLTYPE GetNumberOfChildContainers(DWORD* pdwCount) override {
        if (!pdwCount) return E_INVALIDARG;
        *pdwCount = static_cast<DWORD>(node->children.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumChildContainerNames(DWORD dwIndex, LPWSTR pwszContainer, DWORD cchContainer) override {
        if (dwIndex >= node->children.size()) return E_INVALIDARG;
        return CopyName(node->children[dwIndex].first, pwszContainer, cchContainer);
    }
    HRESULT STDMETHODCALLTYPE GetChildContainer(LPCWSTR pwszContainer, IDxDiagContainer** ppInstance) override {
        if (!pwszContainer || !ppInstance) return E_INVALIDARG;
        *ppInstance = nullptr;
        const std::u16string path = FromWide(pwszContainer);
        std::shared_ptr<Node> at = node;
        size_t start = 0;
        while (true) {
            const size_t dot = path.find(u'.', start);
            const std::u16string name = path.substr(start, dot == std::u16string::npos ? std::u16string::npos : dot - start);
            std::shared_ptr<Node> next;
            for (const auto& child : at->children)
                if (child.first == name) next = child.second;
            if (!next) return E_INVALIDARG;
            at = next;
            if (dot == std::u16string::npos) break;
            start = dot + 1;
        }
        *ppInstance = new Container(at);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfProps(DWORD* pdwCount) override {
        if (!pdwCount) return E_INVALIDARG;
        *pdwCount = static_cast<DWORD>(node->properties.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumPropNames(DWORD dwIndex, LPWSTR pwszPropName, DWORD cchPropName) override {
        if (dwIndex >= node->properties.size()) return E_INVALIDARG;
        return CopyName(node->properties[dwIndex].first, pwszPropName, cchPropName);
    }
    HRESULT STDMETHODCALLTYPE GetProp(LPCWSTR pwszPropName, VARIANT* pvarProp) override {
        if (!pwszPropName || !pvarProp) return E_INVALIDARG;
        const std::u16string name = FromWide(pwszPropName);
        for (const auto& property : node->properties)
            if (property.first == name) return VariantCopy(pvarProp, &property.second);
        return E_INVALIDARG;
    }

protected:
    const IID& OwnIid() const override { return IID_IDxDiagContainer; }

private:
    std::shared_ptr<Node> node;
};

class Provider final : public ComObject<IDxDiagProvider> {
public:
    HRESULT STDMETHODCALLTYPE Initialize(DXDIAG_INIT_PARAMS* pParams) override {
        if (!pParams) return E_POINTER;
        if (pParams->dwSize != sizeof(DXDIAG_INIT_PARAMS) || pParams->dwDxDiagHeaderVersion != DXDIAG_DX9_SDK_VERSION)
            return E_INVALIDARG;
        if (!root) root = BuildTree();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRootContainer(IDxDiagContainer** ppInstance) override {
        if (!ppInstance) return E_INVALIDARG;
        *ppInstance = nullptr;
        if (!root) return CO_E_NOTINITIALIZED;
        *ppInstance = new Container(root);
        return S_OK;
    }

protected:
    const IID& OwnIid() const override { return IID_IDxDiagProvider; }

private:
    std::shared_ptr<Node> root;
};

}  // namespace

HRESULT WINAPI CoInitialize(LPVOID) {
    // The first initialisation of the thread's apartment succeeds with S_OK, every further
    // one with S_FALSE; each needs its CoUninitialize.
    return State().initializations++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    if (State().initializations > 0) --State().initializations;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (State().initializations == 0) return CO_E_NOTINITIALIZED;
    if (rclsid != CLSID_DxDiagProvider || !(dwClsContext & CLSCTX_INPROC_SERVER) || State().absent)
        return REGDB_E_CLASSNOTREG;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    Provider* provider = new Provider;
    const HRESULT result = provider->QueryInterface(riid, ppv);
    provider->Release();
    return result;
}

// ---- the test interface -----------------------------------------------------------------

void PlatformTest_SetDxDiagVersion(DWORD major, DWORD minor, const char* letter) {
    DxDiagState& state = State();
    state.major = major;
    state.minor = minor;
    state.hasLetter = letter != nullptr;
    state.letter.clear();
    if (letter)
        for (const char* c = letter; *c; ++c) state.letter.push_back(static_cast<unsigned char>(*c));
}

void PlatformTest_SetDxDiagAbsent(bool absent) { State().absent = absent; }
int PlatformTest_ComInitializations() { return State().initializations; }
int PlatformTest_ComLiveObjects() { return State().liveObjects; }

namespace platform {
void ResetSystemFiles();  // Version.cpp
}

void PlatformTest_ResetCom() {
    const int live = State().liveObjects;  // objects a test leaked stay counted
    State() = DxDiagState{};
    State().liveObjects = live;
    platform::ResetSystemFiles();
}
