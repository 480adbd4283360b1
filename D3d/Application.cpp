#include "D3d/Application.h"
#include "D3d/DeviceDialog.h"

#include <cpuid.h>
#include <string.h>

#include "Core/Log.h"
#include "D3d/DeviceContext.h"
#include "D3d/Direct3DLoader.h"
#include "D3d/OcclusionQuery.h"
#include "D3d/StateCache.h"

namespace {

Application* g_application = nullptr;
CpuFeatures g_cpu;

constexpr u32 kOverlappedVisible = 0x10CF0000;  // WS_OVERLAPPEDWINDOW | WS_VISIBLE
const char kSource[] = ".\\D3d\\application";
const char kCreateSignature[] = "bool __thiscall Application::Create(struct HINSTANCE__ *,struct HWND__ *)";

// MMX, SSE and SSE2 from CPUID leaf 1, 3DNow from the extended leaf. Every system this
// program runs on saves the SSE registers across task switches, so the CPUID bits decide.
CpuFeatures ReadCpuFeatures() {
    CpuFeatures f;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        f.mmx = (d >> 23) & 1;
        const bool sse = ((d >> 25) & 1) && ((d >> 24) & 1);  // SSE with FXSAVE
        f.sse = sse ? 1 : 0;
        f.sse2 = sse && ((d >> 26) & 1) ? 1 : 0;
    }
    const unsigned highest = __get_cpuid_max(0x80000000u, nullptr);
    if (highest >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d)) {
        if (f.mmx && ((d >> 31) & 1)) f.amd3dNow = 1;
    }
    return f;
}

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

Application* TheApplication() { return g_application; }
const CpuFeatures& TheCpuFeatures() { return g_cpu; }

Application::Application() : title("Corvane Application") {
    memset(&presentParams, 0, sizeof presentParams);
    memset(&backBufferDesc, 0, sizeof backBufferDesc);
    memset(&desktopMode, 0, sizeof desktopMode);
    memset(&windowRect, 0, sizeof windowRect);
    memset(&clientRect, 0, sizeof clientRect);
    g_application = this;
    g_cpu = ReadCpuFeatures();
}

Application::~Application() {
    ReleaseDevice();
    ReleaseDeclarations();
    ReleaseDirect3D();
    if (g_application == this) g_application = nullptr;
    deviceObjects.Clear();
    messageListeners.Clear();
    bumpFormats.Clear();
}

void Application::ReleaseDirect3D() {
    // Several paths release the Direct3D object (close, quit, failed creation, the
    // destructor); it is released once.
    if (d3d) d3d->Release();
    d3d = nullptr;
    enumeration.SetDirect3D(nullptr);
}

void Application::ReleaseDeclarations() {
    auto* node = declarationCache.first;
    for (u32 i = 0; i < declarationCache.count; ++i, node = node->next) {
        if (node->value) node->value->Release();
        node->value = nullptr;
    }
    declarationCache.Clear();
}

// ---- creation ---------------------------------------------------------------------------

bool Application::Create(HINSTANCE instance_, HWND window_) {
    instance = instance_;
    window = window_;

    d3d = CreateDirect3D9();
    if (!d3d) {
        LogErrors().Write(LogSite(kSource, kCreateSignature, __LINE__)).Print("CreateD3D9 failed");
        return false;
    }

    // A failure leaves the mode zeroed rather than whatever the call left behind.
    if (FAILED(d3d->GetAdapterDisplayMode(0, &desktopMode))) memset(&desktopMode, 0, sizeof desktopMode);

    enumeration.SetDirect3D(d3d);
    if (!enumeration.Enumerate()) {
        ReleaseDirect3D();
        LogErrors().Write(LogSite(kSource, kCreateSignature, __LINE__)).Print("Device enumeration failed");
        return false;
    }

    if (!window && !CreateOwnWindow()) {
        ReleaseDirect3D();
        LogErrors().Write(LogSite(kSource, kCreateSignature, __LINE__)).Print("CreateWindow failed");
        return false;
    }

    windowStyle = static_cast<u32>(GetWindowLongA(window, GWL_STYLE));
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &clientRect);

    current.windowed = 0;
    if (!enumeration.FindSettings(current)) {
        ReleaseDirect3D();
        LogErrors().Write(LogSite(kSource, kCreateSignature, __LINE__)).Print("Find FullScreen Settings failed");
        return false;
    }
    fullScreenSettings = current;

    current.windowed = 1;
    if (!enumeration.FindSettings(current)) {
        ReleaseDirect3D();
        LogErrors().Write(LogSite(kSource, kCreateSignature, __LINE__)).Print("Find Windowed Settings failed");
        return false;
    }
    windowedSettings = current;
    return true;
}

bool Application::CreateOwnWindow() {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = StaticWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "Corvane Class";
    RegisterClassA(&windowClass);  // a class left registered by an earlier Application serves as well

    windowStyle = kOverlappedVisible;
    RECT outer;
    SetRect(&outer, 0, 0, width, height);
    AdjustWindowRect(&outer, windowStyle, TRUE);
    window = CreateWindowExA(0, "Corvane Class", title.c_str(), windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                             Width(outer), Height(outer), nullptr, nullptr, instance, nullptr);
    return window != nullptr;
}

bool Application::SetMode(bool fullScreen) {
    ReleaseDevice();
    current = fullScreen ? fullScreenSettings : windowedSettings;
    active = 1;
    paused = 0;
    return CreateDevice();
}

void Application::SetModeSettings(bool windowed_, DeviceSettings settings) {
    if (windowed_)
        windowedSettings = settings;
    else
        fullScreenSettings = settings;
}

bool Application::CreateDevice() {
    if (!d3d) return false;
    LogDeviceSettings(current);
    windowed = current.windowed;
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(windowStyle));
    BuildPresentParams();

    static const u32 kBehavior[] = {D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING,
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE};
    // Without FPU_PRESERVE the runtime sets the x87 unit of this thread to 24-bit precision,
    // and the 32-bit program does every float and double sum there: from then on a number
    // as "4294902015" would parse as 4294902016, and a colour key would miss its colour.
    const u32 flags =
        (current.vertexProcessing < 4 ? kBehavior[current.vertexProcessing] : kBehavior[0]) | D3DCREATE_FPU_PRESERVE;
    IDirect3DDevice9* made = nullptr;
    if (FAILED(d3d->CreateDevice(current.adapterOrdinal, current.deviceType, window, flags, &presentParams, &made)) ||
        !made) {
        return false;
    }
    device = made;
    if (windowed) {
        SetWindowPos(window, HWND_NOTOPMOST, windowRect.left, windowRect.top, Width(windowRect), Height(windowRect),
                     SWP_SHOWWINDOW);
    }
    PublishDevice(device);
    StateCache::InvalidateAll();
    SetupDeviceCaps();

    behaviorFlags = flags;
    ReadBackBufferDesc();
    if (RestoreDeviceObjects())
        deviceObjectsRestored = 1;
    else
        InvalidateDeviceObjects();
    return true;
}

void Application::ReadBackBufferDesc() {
    memset(&backBufferDesc, 0, sizeof backBufferDesc);
    IDirect3DSurface9* backBuffer = nullptr;
    if (SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) && backBuffer) {
        backBuffer->GetDesc(&backBufferDesc);
        backBuffer->Release();
    }
}

void Application::SetupDeviceCaps() {
    const D3DCAPS9& caps = TheDeviceCaps();
    // A re-created device may differ from the last one: every answer is asked again.
    supportsDisplacementMaps = 0;
    bumpFormats.Clear();
    if (!device->GetSoftwareVertexProcessing() && (caps.DevCaps2 & D3DDEVCAPS2_DMAPNPATCH) &&
        caps.VertexShaderVersion >= D3DVS_VERSION(1, 1) &&
        SUCCEEDED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, desktopMode.Format, D3DUSAGE_DMAP,
                                         D3DRTYPE_TEXTURE, D3DFMT_L8))) {
        supportsDisplacementMaps = 1;
    }
    const struct {
        D3DFORMAT format;
        DWORD opCap;
    } bump[] = {{D3DFMT_V8U8, D3DTEXOPCAPS_BUMPENVMAP},
                {D3DFMT_L6V5U5, D3DTEXOPCAPS_BUMPENVMAPLUMINANCE},
                {D3DFMT_X8L8V8U8, D3DTEXOPCAPS_BUMPENVMAPLUMINANCE}};
    for (const auto& b : bump) {
        if (SUCCEEDED(d3d->CheckDeviceFormat(current.adapterOrdinal, current.deviceType, desktopMode.Format, 0,
                                             D3DRTYPE_TEXTURE, b.format)) &&
            (caps.TextureOpCaps & b.opCap)) {
            AddBumpFormat(b.format);
        }
    }
    supportsPointSprites = caps.MaxPointSize > 1.0f ? 1 : 0;
    supportsPointSize = (caps.FVFCaps & D3DFVFCAPS_PSIZE) ? 1 : 0;
    // The documented probe: CreateQuery with no out pointer answers whether the type exists.
    supportsOcclusionQueries = SUCCEEDED(device->CreateQuery(D3DQUERYTYPE_OCCLUSION, nullptr)) ? 1 : 0;
}

void Application::ReleaseDevice() {
    if (!device) return;
    if (deviceObjectsRestored) {
        deviceObjectsRestored = 0;
        InvalidateDeviceObjects();
    }
    device->Release();
    device = nullptr;
    PublishDevice(nullptr);
}

void Application::BuildPresentParams() {
    memset(&presentParams, 0, sizeof presentParams);
    presentParams.BackBufferCount = 1;
    presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    presentParams.EnableAutoDepthStencil = TRUE;
    presentParams.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    presentParams.Windowed = current.windowed ? TRUE : FALSE;
    presentParams.MultiSampleType = current.multiSampleType;
    presentParams.MultiSampleQuality = current.multiSampleQuality;
    presentParams.hDeviceWindow = window;
    presentParams.AutoDepthStencilFormat = current.depthStencilFormat;
    presentParams.BackBufferFormat = current.backBufferFormat;
    presentParams.PresentationInterval = current.presentInterval;
    if (current.windowed) {
        presentParams.BackBufferWidth = static_cast<UINT>(Width(clientRect));
        presentParams.BackBufferHeight = static_cast<UINT>(Height(clientRect));
        presentParams.FullScreen_RefreshRateInHz = 0;
    } else {
        presentParams.BackBufferWidth = current.displayMode.Width;
        presentParams.BackBufferHeight = current.displayMode.Height;
        presentParams.FullScreen_RefreshRateInHz = current.displayMode.RefreshRate;
    }
}

bool Application::ResetDevice() {
    if (!device) return false;
    if (deviceObjectsRestored) {
        deviceObjectsRestored = 0;
        InvalidateDeviceObjects();
    }
    if (FAILED(device->Reset(&presentParams))) return false;
    StateCache::InvalidateAll();
    ReadBackBufferDesc();
    if (RestoreDeviceObjects()) {
        deviceObjectsRestored = 1;
        return true;
    }
    InvalidateDeviceObjects();
    return false;
}

bool Application::CheckWindowSize() {
    if (ignoreSizeChange) return true;
    const RECT oldClient = clientRect;
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &clientRect);
    if (Width(oldClient) == Width(clientRect) && Height(oldClient) == Height(clientRect)) return true;
    BuildPresentParams();
    if (!device) return true;
    return ResetDevice();
}

bool Application::RunDeviceDialog() {
    const bool wasWindowed = windowed != 0;
    // The dialog is shown over a window, never over a full-screen device.
    if (!wasWindowed && !ToggleFullscreen()) return false;
    DeviceDialog dialog(enumeration, wasWindowed, windowedSettings, fullScreenSettings);
    // A dialog that could not be shown (-1) counts as cancelled.
    if (dialog.ShowDialog(window) != IDOK) {
        if (!wasWindowed) ToggleFullscreen();
        return true;
    }
    current = dialog.GetSettings();
    if (current.windowed)
        windowedSettings = current;
    else
        fullScreenSettings = current;
    windowed = current.windowed;
    ReleaseDevice();
    if (CreateDevice()) return true;
    // A full-screen choice that cannot be made goes back to the window.
    return current.windowed ? false : ToggleFullscreen();
}

bool Application::ToggleFullscreen() {
    for (;;) {
        const UINT adapter = current.adapterOrdinal;
        const D3DDEVTYPE type = current.deviceType;
        ignoreSizeChange = 1;
        const bool toWindowed = !windowed;
        if (toWindowed) {
            fullScreenSettings = current;
            current = windowedSettings;
            windowed = 1;
        } else {
            windowedSettings = current;
            current = fullScreenSettings;
            windowed = 0;
        }
        SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(windowStyle));
        bool ok;
        // A reset needs a device: after a failed creation there is none, and one is made.
        if (device && current.adapterOrdinal == adapter && current.deviceType == type) {
            BuildPresentParams();
            ok = ResetDevice();
        } else {
            ReleaseDevice();
            ok = CreateDevice();
        }
        ignoreSizeChange = 0;
        if (ok) {
            if (windowed) {
                SetWindowPos(window, HWND_NOTOPMOST, windowRect.left, windowRect.top, Width(windowRect),
                             Height(windowRect), SWP_SHOWWINDOW);
            }
            return true;
        }
        if (toWindowed) return false;
        // A failed switch to full screen goes back to windowed.
    }
}

bool Application::HandleDeviceLost() {
    if (!device) return false;
    const HRESULT hr = device->TestCooperativeLevel();
    if (SUCCEEDED(hr) || hr == D3DERR_DEVICELOST) return true;
    if (hr != D3DERR_DEVICENOTRESET) return true;
    if (windowed && d3d) {
        D3DDISPLAYMODE mode;
        if (SUCCEEDED(d3d->GetAdapterDisplayMode(current.adapterOrdinal, &mode))) {
            current.displayMode = mode;
            presentParams.BackBufferFormat = mode.Format;
        }
    }
    return ResetDevice();
}

// ---- device objects ---------------------------------------------------------------------

bool Application::RestoreDeviceObjects() {
    bool all = true;
    deviceObjects.Walk([&](DeviceObject* object) { all = object->Restore() && all; });
    return all;
}

bool Application::InvalidateDeviceObjects() {
    ReleaseDeclarations();
    bool all = true;
    deviceObjects.Walk([&](DeviceObject* object) { all = object->Invalidate() && all; });
    return all;
}

// ---- queries ----------------------------------------------------------------------------

IntRect Application::GetScreenRect() const {
    if (windowed) return IntRect(clientRect.left, clientRect.top, Width(clientRect), Height(clientRect));
    return IntRect(0, 0, static_cast<i32>(fullScreenSettings.displayMode.Width),
                   static_cast<i32>(fullScreenSettings.displayMode.Height));
}

bool Application::GetAdapterDisplayMode(D3DDISPLAYMODE& out) const {
    return d3d && SUCCEEDED(d3d->GetAdapterDisplayMode(0, &out));
}

bool Application::CheckDeviceFormat(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage) const {
    if (!d3d) return false;
    const D3DCAPS9& caps = TheDeviceCaps();
    return SUCCEEDED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, desktopMode.Format, usage, type, format));
}

IDirect3DVertexDeclaration9* Application::GetVertexDeclaration(VertexDeclaration layout) {
    if (auto* node = declarationCache.Find(layout)) return node->value;
    if (!device) return nullptr;
    IDirect3DVertexDeclaration9* made = nullptr;
    if (FAILED(device->CreateVertexDeclaration(layout.elements, &made)) || !made) return nullptr;
    declarationCache.Insert(layout, made);
    return made;
}

void Application::AddBumpFormat(D3DFORMAT format) { bumpFormats.Insert(static_cast<u32>(format)); }

// ---- window messages --------------------------------------------------------------------

LRESULT CALLBACK Application::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages come before the Application exists (creation sends WM_NCCREATE and WM_CREATE
    // from inside CreateWindowExA of a window made by someone else) and after it is gone.
    if (Application* app = g_application) return app->MsgProc(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Application::MsgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    messageListeners.Walk([&](MessageListener* listener) { listener->HandleMessage(hwnd, message, wParam, lParam); });
    switch (message) {
    case WM_SIZE:
        if (windowed && window) {
            windowStyle = static_cast<u32>(GetWindowLongA(window, GWL_STYLE));
            if (wParam == SIZE_MINIMIZED) {
                paused = 1;
                minimized = 1;
                maximized = 0;
            } else if (wParam == SIZE_MAXIMIZED) {
                if (minimized) paused = 0;
                minimized = 0;
                maximized = 1;
                CheckWindowSize();
            } else if (wParam == SIZE_RESTORED) {
                if (maximized) {
                    maximized = 0;
                    CheckWindowSize();
                } else if (minimized) {
                    minimized = 0;
                    paused = 0;
                    CheckWindowSize();
                }
            }
        }
        break;
    case WM_ACTIVATE:
        active = LOWORD(wParam) != 0 ? 1 : 0;
        break;
    case WM_ENTERSIZEMOVE:
        paused = 1;
        break;
    case WM_EXITSIZEMOVE:
        paused = 0;
        CheckWindowSize();
        break;
    case WM_NCHITTEST:
        if (!windowed) return HTCLIENT;
        break;
    case WM_SYSCOMMAND:
        // The low four bits of the command are the system's own.
        switch (wParam & 0xFFF0) {
        case SC_MOVE:
        case SC_SIZE:
        case SC_MAXIMIZE:
        case SC_KEYMENU:
        case SC_MONITORPOWER:
            if (!windowed) return 1;
            break;
        default:
            break;
        }
        break;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMRESUMESUSPEND) return TRUE;
        break;
    case WM_CLOSE:
        ReleaseDevice();
        ReleaseDirect3D();
        closing = 1;
        PostQuitMessage(0);
        return 0;
    case WM_QUIT:
        ReleaseDevice();
        ReleaseDirect3D();
        closing = 1;
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
