// COM, OLE automation, the DxDiag provider, the version library and WideCharToMultiByte on
// the Linux platform: what the DirectX check reads, with the errors the documentation
// gives for bad arguments, and every object and string given back.
#include <windows.h>
#include <dxdiag.h>
#include <objbase.h>
#include <oleauto.h>
#include <winver.h>

#include "Core/PlatformText.h"

#include <PlatformTestCom.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class PlatformCom : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetCom();
        liveAtStart = PlatformTest_ComLiveObjects();
    }
    void TearDown() override {
        EXPECT_EQ(PlatformTest_ComLiveObjects(), liveAtStart);  // every object released
        EXPECT_EQ(PlatformTest_ComInitializations(), 0);
        PlatformTest_ResetCom();
    }
    int liveAtStart = 0;
};

// The provider, initialised, or null.
IDxDiagProvider* MakeProvider() {
    IDxDiagProvider* provider = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                reinterpret_cast<void**>(&provider))))
        return nullptr;
    DXDIAG_INIT_PARAMS params{};
    params.dwSize = sizeof params;
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    if (FAILED(provider->Initialize(&params))) {
        provider->Release();
        return nullptr;
    }
    return provider;
}

TEST_F(PlatformCom, TheApartmentCountsItsInitialisations) {
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(PlatformTest_ComInitializations(), 2);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // one too many does no harm
    EXPECT_EQ(PlatformTest_ComInitializations(), 0);
}

TEST_F(PlatformCom, CreationChecksClassContextAggregationAndInterface) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider, nullptr),
              E_POINTER);
    EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_LOCAL_SERVER, IID_IDxDiagProvider, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, reinterpret_cast<IUnknown*>(&object), CLSCTX_INPROC_SERVER,
                               IID_IDxDiagProvider, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagContainer, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    PlatformTest_SetDxDiagAbsent(true);
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider, &object),
              REGDB_E_CLASSNOTREG);
    PlatformTest_SetDxDiagAbsent(false);
    ASSERT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    CoUninitialize();
}

TEST_F(PlatformCom, TheProviderWantsItsOwnSizeAndHeaderVersion) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IDxDiagProvider* provider = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                               reinterpret_cast<void**>(&provider)),
              S_OK);
    IDxDiagContainer* root = nullptr;
    EXPECT_EQ(provider->GetRootContainer(&root), CO_E_NOTINITIALIZED);  // not yet initialised
    EXPECT_EQ(provider->Initialize(nullptr), E_POINTER);
    DXDIAG_INIT_PARAMS params{};
    // The record's size differs between x86 (16) and x64 (24): a fixed 16 fails on x64.
    EXPECT_EQ(sizeof params, sizeof(void*) == 8 ? 24u : 16u);
    params.dwSize = sizeof params + 4;
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    EXPECT_EQ(provider->Initialize(&params), E_INVALIDARG);
    params.dwSize = sizeof params;
    params.dwDxDiagHeaderVersion = 110;
    EXPECT_EQ(provider->Initialize(&params), E_INVALIDARG);
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    EXPECT_EQ(provider->Initialize(&params), S_OK);
    ASSERT_EQ(provider->GetRootContainer(&root), S_OK);
    root->Release();
    EXPECT_EQ(provider->Release(), 0u);
    CoUninitialize();
}

TEST_F(PlatformCom, SystemInfoHoldsTheVersionTheTestSets) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IDxDiagProvider* provider = MakeProvider();
    ASSERT_NE(provider, nullptr);
    IDxDiagContainer* root = nullptr;
    ASSERT_EQ(provider->GetRootContainer(&root), S_OK);
    DWORD count = 0;
    EXPECT_EQ(root->GetNumberOfChildContainers(&count), S_OK);
    EXPECT_EQ(count, 2u);
    WCHAR name[32];
    EXPECT_EQ(root->EnumChildContainerNames(0, name, 32), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), u"DxDiag_SystemInfo");
    EXPECT_EQ(root->EnumChildContainerNames(0, name, 17), DXDIAG_E_INSUFFICIENT_BUFFER);  // no room for the zero
    EXPECT_EQ(root->EnumChildContainerNames(2, name, 32), E_INVALIDARG);
    IDxDiagContainer* info = nullptr;
    EXPECT_EQ(root->GetChildContainer(WideArg(u"NoSuchContainer"), &info), E_INVALIDARG);
    ASSERT_EQ(root->GetChildContainer(WideArg(u"DxDiag_SystemInfo"), &info), S_OK);

    VARIANT v;
    VariantInit(&v);
    ASSERT_EQ(info->GetProp(WideArg(u"dwDirectXVersionMajor"), &v), S_OK);
    EXPECT_EQ(v.vt, VT_UI4);
    EXPECT_EQ(v.ulVal, 9u);
    ASSERT_EQ(info->GetProp(WideArg(u"dwDirectXVersionMinor"), &v), S_OK);  // the copy clears the old value
    EXPECT_EQ(v.ulVal, 0u);
    ASSERT_EQ(info->GetProp(WideArg(u"szDirectXVersionLetter"), &v), S_OK);
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(v.bstrVal)), u"c");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(info->GetProp(WideArg(u"dwNoSuchProperty"), &v), E_INVALIDARG);
    info->Release();

    // A dotted path reaches a grandchild from the root; a changed version shows in a new tree.
    PlatformTest_SetDxDiagVersion(10, 1, nullptr);
    root->Release();
    provider->Release();
    provider = MakeProvider();
    ASSERT_NE(provider, nullptr);
    ASSERT_EQ(provider->GetRootContainer(&root), S_OK);
    ASSERT_EQ(root->GetChildContainer(WideArg(u"DxDiag_SystemInfo"), &info), S_OK);
    ASSERT_EQ(info->GetProp(WideArg(u"dwDirectXVersionMajor"), &v), S_OK);
    EXPECT_EQ(v.ulVal, 10u);
    EXPECT_EQ(info->GetProp(WideArg(u"szDirectXVersionLetter"), &v), E_INVALIDARG);  // left out
    VariantClear(&v);
    info->Release();
    root->Release();
    provider->Release();
    CoUninitialize();
}

TEST(PlatformOleAutomation, StringsKeepTheirLengthAndVariantsFreeThem) {
    BSTR text = SysAllocString(reinterpret_cast<const OLECHAR*>(u"abc"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(text[3], 0);
    BSTR embedded = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(u"a\0b"), 3);
    EXPECT_EQ(SysStringLen(embedded), 3u);  // the length, not the first zero
    BSTR blank = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(SysStringLen(blank), 2u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    SysFreeString(embedded);
    SysFreeString(blank);

    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_BSTR;
    a.bstrVal = text;
    EXPECT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(b.bstrVal, a.bstrVal);  // a copy of its own
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(b.bstrVal)), u"abc");
    EXPECT_EQ(VariantClear(&b), S_OK);
    b.vt = 0x7FFF;
    EXPECT_EQ(VariantClear(&b), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    // x86 16 bytes, x64 24: two pointers of union after the type and reserved words.
    EXPECT_EQ(sizeof(VARIANT), 8 + 2 * sizeof(void*));
}

class PlatformVersion : public ::testing::Test {
protected:
    void SetUp() override { PlatformTest_ResetCom(); }
    void TearDown() override { PlatformTest_ResetCom(); }
};

TEST_F(PlatformVersion, SystemDirectoryMeasuresCopiesAndCanFail) {
    char small[4] = {'x', 'x', 'x', 'x'};
    const UINT needed = GetSystemDirectoryA(small, sizeof small);
    EXPECT_EQ(needed, strlen("C:\\windows\\system32") + 1);
    EXPECT_EQ(small[0], 'x');  // untouched
    char path[64];
    EXPECT_EQ(GetSystemDirectoryA(path, needed), needed - 1);
    EXPECT_STREQ(path, "C:\\windows\\system32");
    PlatformTest_SetSystemDirectoryFails(true);
    EXPECT_EQ(GetSystemDirectoryA(path, sizeof path), 0u);
}

TEST_F(PlatformVersion, FixedFileInfoOfASystemFile) {
    PlatformTest_SetSystemFileVersion("D3D9.dll", 0x00050003, 0x0A280884);
    DWORD handle = 7;
    const DWORD size = GetFileVersionInfoSizeA("C:\\windows\\system32\\d3d9.DLL", &handle);
    EXPECT_EQ(handle, 0u);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA("d3d9.dll", 0, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\FileVersion", &value, &length));
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO info;
    memcpy(&info, value, sizeof info);
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.dwFileVersionMS, 0x00050003u);
    EXPECT_EQ(info.dwFileVersionLS, 0x0A280884u);
    // A damaged block is refused.
    block[6] = 'X';
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\", &value, &length));

    PlatformTest_RemoveSystemFile("d3d9.dll");
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA("d3d9.dll", &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\other\\ddraw.dll", &handle), 0u);  // only the system folder
    EXPECT_NE(GetFileVersionInfoSizeA("ddraw.dll", nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, &handle), 0u);
}

TEST(PlatformText, WideCharToMultiByteMeasuresConvertsAndRefusesSmallBuffers) {
    const WCHAR* text = WideArg(u"9.0c");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), 5);  // with the zero
    char out[10];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr), 5);
    EXPECT_STREQ(out, "9.0c");
    memset(out, 'x', sizeof out);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 2, out, sizeof out, nullptr, nullptr), 2);  // no zero
    EXPECT_EQ(out[2], 'x');
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    BOOL usedDefault = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, WideArg(u"a\u00e9\u20ac"), -1, out, sizeof out, "*", &usedDefault), 4);
    EXPECT_STREQ(out, "a\xe9*");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, WideArg(u"\u00e9\u20ac\U0001F600"), -1, out, sizeof out, nullptr, nullptr),
              10);
    EXPECT_STREQ(out, "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, "?", nullptr), 0);  // UTF-8 takes no default
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 0, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 4, nullptr, nullptr), 0);
}

}  // namespace
