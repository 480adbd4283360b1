// The DirectX version check (see DirectXCheck.h).
//
// DxDiag is asked through COM with the diagnostic header of the DirectX 9 SDK. Its
// initialisation record is sized with sizeof: it is 16 bytes on x86 and 24 on x64, and
// the provider refuses any other size. The apartment is left only when this call entered
// it (S_OK or S_FALSE), and every container, the provider and every variant are given
// back on every way out.
//
// The letter arrives as a BSTR and is converted to the code page into a buffer that
// starts zeroed; a conversion that fails (a text longer than the buffer) gives no letter
// rather than whatever the buffer held.
#include "Screen/DirectXCheck.h"

#include "Core/PlatformText.h"
#include "Screen/DirectXCheckControls.h"
#include "Screen/ScreenSaver.h"

#include <initguid.h>
#include <dxdiag.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <winver.h>

#include <stdio.h>
#include <new>

namespace {

constexpr DWORD kVersion90 = 0x90000;
constexpr LONG kNoDirectXWidth = 390;
constexpr LONG kNoDirectXHeight = 131;
constexpr char kNoLetter = ' ';
constexpr int kLetterBytes = 10;   // the code-page buffer of the letter property
constexpr UINT kPathBytes = 260;   // MAX_PATH
constexpr int kCheckTextBytes = 10;

DWORD Pack(DWORD major, DWORD minor, char letter) {
    DWORD packed = ((major << 8) + minor) << 8;
    if (letter >= 'a' && letter <= 'z') packed += static_cast<DWORD>(letter - 'a' + 1);
    return packed;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Releases a COM pointer and forgets it.
template <class Interface>
void Release(Interface*& object) {
    if (object) object->Release();
    object = nullptr;
}

bool ReadUnsigned(IDxDiagContainer* container, const char16_t* name, DWORD* out) {
    VARIANT value;
    VariantInit(&value);
    const bool read = SUCCEEDED(container->GetProp(WideArg(name), &value)) && value.vt == VT_UI4;
    if (read) *out = value.ulVal;
    VariantClear(&value);
    return read;
}

bool ReadLetter(IDxDiagContainer* container, char* letter) {
    VARIANT value;
    VariantInit(&value);
    const bool read = SUCCEEDED(container->GetProp(WideArg(u"szDirectXVersionLetter"), &value)) &&
                      value.vt == VT_BSTR && value.bstrVal;
    if (read) {
        char bytes[kLetterBytes] = {};
        const int converted = WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, bytes, kLetterBytes, nullptr, nullptr);
        *letter = converted > 0 && bytes[0] ? bytes[0] : kNoLetter;
    }
    VariantClear(&value);
    return read;
}

// One release of the file-version method: the file, the version it must reach, and the
// release that this shows.
struct FileStep {
    const char* file;
    u64 minimum;
    DWORD major, minor;
    char letter;
};

constexpr u64 FileVersionOf(u64 a, u64 b, u64 c, u64 d) { return a << 48 | b << 32 | c << 16 | d; }

// Each step raises the result when its file is there at its version; the releases before
// 9.0 only decide between texts of the same dialog.
const FileStep kFileSteps[] = {
    {"\\ddraw.dll", FileVersionOf(4, 2, 0, 95), 1, 0, kNoLetter},
    {"\\d3drg8x.dll", FileVersionOf(4, 4, 0, 68), 3, 0, kNoLetter},
    {"\\ddraw.dll", FileVersionOf(4, 6, 0, 318), 6, 0, kNoLetter},
    {"\\dplayx.dll", FileVersionOf(4, 6, 3, 518), 6, 1, 'a'},
    {"\\dinput.dll", FileVersionOf(4, 7, 0, 700), 7, 0, kNoLetter},
    {"\\d3d8.dll", FileVersionOf(4, 8, 0, 400), 8, 0, kNoLetter},
    {"\\mpg2splt.ax", FileVersionOf(6, 3, 1, 68), 8, 0, 'a'},
    {"\\dpnet.dll", FileVersionOf(4, 9, 0, 134), 8, 2, kNoLetter},
};

}  // namespace

HRESULT GetFileVersion(const char* path, u64* version) {
    if (!path || !version) return E_INVALIDARG;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return E_FAIL;
    BYTE* info = new (std::nothrow) BYTE[size];
    if (!info) return E_OUTOFMEMORY;
    HRESULT result = E_FAIL;
    void* value = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoA(path, handle, size, info) && VerQueryValueA(info, "\\", &value, &length) && value &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        *version = static_cast<u64>(fixed->dwFileVersionMS) << 32 | fixed->dwFileVersionLS;
        result = S_OK;
    }
    delete[] info;
    return result;
}

int CompareVersions(u64 a, u64 b) {
    if (a > b) return 1;
    if (a < b) return -1;
    return 0;
}

HRESULT GetDirectXVersionDxDiag(DWORD* major, DWORD* minor, char* letter) {
    if (!major || !minor || !letter) return E_INVALIDARG;
    const bool entered = SUCCEEDED(CoInitialize(nullptr));
    IDxDiagProvider* provider = nullptr;
    IDxDiagContainer* root = nullptr;
    IDxDiagContainer* systemInfo = nullptr;
    bool gotMajor = false, gotMinor = false, gotLetter = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                   reinterpret_cast<void**>(&provider))) &&
        provider) {
        DXDIAG_INIT_PARAMS params{};
        params.dwSize = sizeof params;
        params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
        params.bAllowWHQLChecks = FALSE;
        params.pReserved = nullptr;
        if (SUCCEEDED(provider->Initialize(&params)) && SUCCEEDED(provider->GetRootContainer(&root)) && root &&
            SUCCEEDED(root->GetChildContainer(WideArg(u"DxDiag_SystemInfo"), &systemInfo)) && systemInfo) {
            gotMajor = ReadUnsigned(systemInfo, u"dwDirectXVersionMajor", major);
            gotMinor = ReadUnsigned(systemInfo, u"dwDirectXVersionMinor", minor);
            gotLetter = ReadLetter(systemInfo, letter);
        }
    }
    Release(systemInfo);
    Release(root);
    Release(provider);
    if (entered) CoUninitialize();
    return gotMajor && gotMinor && gotLetter ? S_OK : E_FAIL;
}

HRESULT GetDirectXVersionFromFiles(DWORD* major, DWORD* minor, char* letter) {
    if (!major || !minor || !letter) return E_INVALIDARG;
    char folder[kPathBytes];
    const UINT length = GetSystemDirectoryA(folder, kPathBytes);
    // A folder that does not fit is as unknown as one that is not given.
    if (length == 0 || length >= kPathBytes) return E_FAIL;
    DWORD foundMajor = 0, foundMinor = 0;
    char foundLetter = kNoLetter;
    char path[kPathBytes + 16];
    for (const FileStep& step : kFileSteps) {
        snprintf(path, sizeof path, "%s%s", folder, step.file);
        u64 version = 0;
        if (FAILED(GetFileVersion(path, &version)) || CompareVersions(version, step.minimum) < 0) continue;
        if (Pack(step.major, step.minor, step.letter) > Pack(foundMajor, foundMinor, foundLetter)) {
            foundMajor = step.major;
            foundMinor = step.minor;
            foundLetter = step.letter;
        }
    }
    snprintf(path, sizeof path, "%s%s", folder, "\\d3d9.dll");
    u64 version = 0;
    if (SUCCEEDED(GetFileVersion(path, &version))) {
        foundMajor = 9;
        foundMinor = 0;
        foundLetter = kNoLetter;
    }
    *major = foundMajor;
    *minor = foundMinor;
    *letter = foundLetter;
    return S_OK;
}

HRESULT GetDirectXVersion(DWORD* packed, char* text, int textSize) {
    if (packed) *packed = 0;
    if (text && textSize > 0) text[0] = 0;
    DWORD major = 0, minor = 0;
    char letter = kNoLetter;
    if (FAILED(GetDirectXVersionDxDiag(&major, &minor, &letter)) &&
        FAILED(GetDirectXVersionFromFiles(&major, &minor, &letter)))
        return E_FAIL;
    letter = Lower(letter);
    if (packed) *packed = Pack(major, minor, letter);
    if (text && textSize > 0) {
        const bool hasLetter = letter >= 'a' && letter <= 'z';
        if (hasLetter)
            snprintf(text, static_cast<size_t>(textSize), "%u.%u%c", static_cast<unsigned>(major),
                     static_cast<unsigned>(minor), letter);
        else
            snprintf(text, static_cast<size_t>(textSize), "%u.%u", static_cast<unsigned>(major),
                     static_cast<unsigned>(minor));
        text[textSize - 1] = 0;
    }
    return S_OK;
}

namespace {

// 390 x 131 holds the template with the 8-point dialog font at 96 dots per inch. With a
// larger font or more dots per inch the controls are laid out larger and a window cut to
// that size would hide the Cancel button and the text's end: the dialog then keeps the
// size its template was given.
SIZE NoDirectXWindowSize(HWND dialog) {
    RECT window{}, client{};
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    const LONG frameWidth = (window.right - window.left) - client.right;
    const LONG frameHeight = (window.bottom - window.top) - client.bottom;
    LONG right = 0, bottom = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(control, &r);
        POINT corner{r.right, r.bottom};
        ScreenToClient(dialog, &corner);
        if (corner.x > right) right = corner.x;
        if (corner.y > bottom) bottom = corner.y;
    }
    if (right <= kNoDirectXWidth - frameWidth && bottom <= kNoDirectXHeight - frameHeight)
        return SIZE{kNoDirectXWidth, kNoDirectXHeight};
    return SIZE{window.right - window.left > kNoDirectXWidth ? window.right - window.left : kNoDirectXWidth,
                window.bottom - window.top > kNoDirectXHeight ? window.bottom - window.top : kNoDirectXHeight};
}

}  // namespace

bool CheckDirectXVersion(const NoDirectXTexts& texts) {
    DWORD packed = 0;
    char text[kCheckTextBytes];
    if (SUCCEEDED(GetDirectXVersion(&packed, text, kCheckTextBytes)) && packed >= kVersion90) return true;
    OfferDirectXDownload(texts);
    return false;
}

void OfferDirectXDownload(const NoDirectXTexts& texts) {
    const INT_PTR answer = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_NO_DIRECTX), nullptr, NoDirectXDlgProc,
                                           reinterpret_cast<LPARAM>(&texts));
    if (answer == IDOK) ShellExecuteA(nullptr, "open", texts.url, nullptr, nullptr, SW_SHOWNORMAL);
}

NoDirectXTexts SaverNoDirectXTexts() {
    NoDirectXTexts texts;
    if (const ScreenSaver* saver = TheSaver) {
        texts.download = saver->messages.Text(Message::NoDxButtonDownload);
        texts.cancel = saver->messages.Text(Message::ButtonCancel);
        texts.text = saver->messages.Text(Message::NoDxText);
        texts.title = saver->messages.Text(Message::NoDxTitle);
        texts.url = saver->DownloadDxUrl.value.c_str();
    }
    return texts;
}

bool CheckDirectXVersion() { return CheckDirectXVersion(SaverNoDirectXTexts()); }

INT_PTR CALLBACK NoDirectXDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const SIZE size = NoDirectXWindowSize(dialog);
        SetWindowPos(dialog, nullptr, 300, 300, size.cx, size.cy, 0);
        const NoDirectXTexts* texts = reinterpret_cast<const NoDirectXTexts*>(lParam);
        if (texts) {
            SetDlgItemTextA(dialog, IDOK, texts->download);
            SetDlgItemTextA(dialog, IDCANCEL, texts->cancel);
            SetDlgItemTextA(dialog, IDC_NO_DIRECTX_TEXT, texts->text);
            SetWindowTextA(dialog, texts->title);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}
