// The program's window and its Direct3D 9 device. The Application creates the window and
// the Direct3D object, chooses a full-screen and a windowed device setting from the
// enumeration of the adapters, creates, resets and releases the device, switches between
// windowed and full-screen presentation, keeps the caps that the renderers ask for, caches
// vertex declarations, and runs the window procedure. There is one instance, reached
// through TheApplication(); its device is published through TheDevice().
//
// Everything that holds device resources registers as a DeviceObject and is invalidated
// before every reset and release and restored after every creation and reset, in
// registration order. Message listeners see every window message before MsgProc handles it.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include "Core/IntRect.h"
#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "D3d/DeviceEnumeration.h"
#include "D3d/DeviceObject.h"
#include "D3d/DeviceSettings.h"
#include "D3d/VertexDeclaration.h"

// Orders layouts for the declaration cache: element count, then the element bytes.
struct VertexDeclarationOrder {
    int operator()(const VertexDeclaration& a, const VertexDeclaration& b) const { return a.Compare(b); }
};
using VertexDeclarationCache = OrderedMap<VertexDeclaration, IDirect3DVertexDeclaration9*, VertexDeclarationOrder>;

// CPU features, read once when the Application is built; the skinning code reads SSE.
struct CpuFeatures {
    u8 mmx = 0;
    u8 sse = 0;
    u8 sse2 = 0;
    u8 amd3dNow = 0;
};

class Application {
public:
    Application();
    virtual LRESULT MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual ~Application();
    virtual bool RestoreDeviceObjects();
    virtual bool InvalidateDeviceObjects();

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Creates the Direct3D object, enumerates the adapters, makes the window when `window`
    // is null, and chooses the full-screen and windowed settings. No device yet: SetMode
    // creates it.
    bool Create(HINSTANCE instance, HWND window);
    bool SetMode(bool fullScreen);
    void SetModeSettings(bool windowed, DeviceSettings settings);
    bool CreateDevice();
    bool ResetDevice();
    void ReleaseDevice();
    void BuildPresentParams();
    bool CheckWindowSize();
    bool ToggleFullscreen();
    // Lets the user choose the device in the device-settings dialog (over the window, so a
    // full-screen device switches to windowed first) and applies a confirmed choice; false
    // when the switch or the chosen device fails. A cancelled dialog changes nothing.
    bool RunDeviceDialog();
    // Called before each frame: resets a device that can be reset again; false when there
    // is no device or the reset failed.
    bool HandleDeviceLost();

    HWND GetWindow() const { return window; }
    bool IsWindowed() const { return windowed != 0; }
    IntRect GetScreenRect() const;
    D3DDISPLAYMODE GetDesktopDisplayMode() const { return desktopMode; }
    bool GetAdapterDisplayMode(D3DDISPLAYMODE& out) const;
    bool CheckDeviceFormat(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage) const;
    bool SupportsOcclusionQueries() const { return supportsOcclusionQueries != 0; }
    bool SupportsPointSprites() const { return supportsPointSprites != 0; }
    bool SupportsPointSize() const { return supportsPointSize != 0; }
    bool SupportsDisplacementMaps() const { return supportsDisplacementMaps != 0; }
    // The device's declaration of `layout`, made on first request and cached; null when
    // the device refuses the layout.
    IDirect3DVertexDeclaration9* GetVertexDeclaration(VertexDeclaration layout);
    void AddBumpFormat(D3DFORMAT format);
    bool IsBumpFormat(D3DFORMAT format) const { return bumpFormats.Contains(static_cast<u32>(format)); }

    RegistrationSet<DeviceObject>& DeviceObjects() { return deviceObjects; }
    RegistrationSet<MessageListener>& MessageListeners() { return messageListeners; }

    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    DeviceEnumeration enumeration;
    DeviceSettings current;
    DeviceSettings fullScreenSettings;
    DeviceSettings windowedSettings;
    D3DPRESENT_PARAMETERS presentParams;
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DSURFACE_DESC backBufferDesc;
    u32 behaviorFlags = 0;
    i32 width = 640;
    i32 height = 480;
    String title;
    D3DDISPLAYMODE desktopMode;
    u8 windowed = 1;
    u8 active = 0;
    u8 paused = 1;
    u8 closing = 0;
    IntSet bumpFormats;
    u8 supportsDisplacementMaps = 0;
    u8 supportsOcclusionQueries = 0;
    u8 supportsPointSprites = 0;
    u8 supportsPointSize = 0;
    VertexDeclarationCache declarationCache;
    u32 windowStyle = 0;
    RECT windowRect;
    RECT clientRect;
    u8 minimized = 0;
    u8 maximized = 0;
    u8 ignoreSizeChange = 0;
    u8 deviceObjectsRestored = 0;

private:
    void SetupDeviceCaps();
    void ReadBackBufferDesc();
    void ReleaseDirect3D();
    void ReleaseDeclarations();
    bool CreateOwnWindow();

    RegistrationSet<DeviceObject> deviceObjects;
    RegistrationSet<MessageListener> messageListeners;
};

// The one Application, null while none exists.
Application* TheApplication();
const CpuFeatures& TheCpuFeatures();
