// The DirectX diagnostic provider (DxDiag) through COM, for the Linux build: a provider
// that, once initialised, hands out a tree of named containers whose named properties are
// variants (DirectX's version lies in "DxDiag_SystemInfo").
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#define DXDIAG_DX9_SDK_VERSION 111
#define DXDIAG_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)

// 16 bytes on x86, 24 on x64: callers set dwSize with sizeof.
typedef struct _DXDIAG_INIT_PARAMS {
    DWORD dwSize;
    DWORD dwDxDiagHeaderVersion;
    BOOL bAllowWHQLChecks;
    LPVOID pReserved;
} DXDIAG_INIT_PARAMS;

struct IDxDiagContainer : public IUnknown {
    STDMETHOD(GetNumberOfChildContainers)(DWORD* pdwCount) PURE;
    STDMETHOD(EnumChildContainerNames)(DWORD dwIndex, LPWSTR pwszContainer, DWORD cchContainer) PURE;
    STDMETHOD(GetChildContainer)(LPCWSTR pwszContainer, IDxDiagContainer** ppInstance) PURE;
    STDMETHOD(GetNumberOfProps)(DWORD* pdwCount) PURE;
    STDMETHOD(EnumPropNames)(DWORD dwIndex, LPWSTR pwszPropName, DWORD cchPropName) PURE;
    STDMETHOD(GetProp)(LPCWSTR pwszPropName, VARIANT* pvarProp) PURE;

protected:
    ~IDxDiagContainer() = default;
};

struct IDxDiagProvider : public IUnknown {
    STDMETHOD(Initialize)(DXDIAG_INIT_PARAMS* pParams) PURE;
    STDMETHOD(GetRootContainer)(IDxDiagContainer** ppInstance) PURE;

protected:
    ~IDxDiagProvider() = default;
};

// {A65B8071-3BFE-4213-9A5B-491DA4461CA7}
inline constexpr CLSID CLSID_DxDiagProvider = {
    0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
// {9C6B4CB0-23F8-49CC-A3ED-45A55000A6D2}
inline constexpr IID IID_IDxDiagProvider = {0x9C6B4CB0, 0x23F8, 0x49CC, {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};
// {7D0F462F-4064-4862-BC7F-933E5058C10F}
inline constexpr IID IID_IDxDiagContainer = {
    0x7D0F462F, 0x4064, 0x4862, {0xBC, 0x7F, 0x93, 0x3E, 0x50, 0x58, 0xC1, 0x0F}};
