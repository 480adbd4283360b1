// OLE automation's strings and variants. A BSTR is one block: a 32-bit byte length, the
// UTF-16 text and a zero character; the string handed out points just past the length, so
// SysStringLen reads it back without counting. VariantClear frees what a variant owns (its
// string, its interface reference) and leaves it empty.
#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kLengthPrefix = sizeof(DWORD);  // the byte length before the text

DWORD* PrefixOf(BSTR text) { return reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(text) - kLengthPrefix); }

size_t Length(const OLECHAR* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

}  // namespace

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    // The byte length is kept in 32 bits: a longer text cannot be a BSTR.
    if (ui > (0xFFFFFFFFu - kLengthPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
    const size_t bytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
    BYTE* block = static_cast<BYTE*>(malloc(kLengthPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    const DWORD length = static_cast<DWORD>(bytes);
    memcpy(block, &length, sizeof length);
    BSTR text = reinterpret_cast<BSTR>(block + kLengthPrefix);
    if (strIn) memcpy(text, strIn, bytes);
    else memset(text, 0, bytes);
    text[ui] = 0;
    return text;
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    const size_t length = Length(psz);
    if (length > 0x7FFFFFFF) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(length));
}

void WINAPI SysFreeString(BSTR bstrString) {
    if (bstrString) free(PrefixOf(bstrString));
}

UINT WINAPI SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    DWORD length;
    memcpy(&length, PrefixOf(bstr), sizeof length);
    return length;
}

UINT WINAPI SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

void WINAPI VariantInit(VARIANTARG* pvarg) {
    if (pvarg) pvarg->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    switch (pvarg->vt) {
    case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (pvarg->punkVal) pvarg->punkVal->Release();
        break;
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BOOL: case VT_I1:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: break;
    default: return DISP_E_BADVARTYPE;
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    const HRESULT cleared = VariantClear(pvargDest);
    if (FAILED(cleared)) return cleared;
    VARIANT copy = *pvargSrc;
    switch (copy.vt) {
    case VT_BSTR:
        if (pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        }
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (copy.punkVal) copy.punkVal->AddRef();
        break;
    default: break;
    }
    *pvargDest = copy;
    return S_OK;
}
