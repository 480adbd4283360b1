// The Application on the platform's real Direct3D 9: its window, the two device settings,
// the device with its registered objects, the declaration cache, the window procedure's
// hook and the release paths. These use only the engine and the real API, so they run on
// Windows (under Wine's Direct3D) as well as on the Linux platform layer.
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Core/WString.h"
#include "D3d/Application.h"
#include "D3d/DeviceContext.h"
#include "D3d/OcclusionQuery.h"
#include "tests/DeviceSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts what the Application asks of it.
class CountingObject : public DeviceObject {
public:
    bool Restore() override {
        ++restores;
        trace->push_back("R" + std::to_string(id));
        return restoreResult;
    }
    bool Invalidate() override {
        ++invalidates;
        trace->push_back("I" + std::to_string(id));
        return true;
    }
    int id = 0;
    int restores = 0;
    int invalidates = 0;
    bool restoreResult = true;
    std::vector<std::string>* trace = nullptr;
};

// The saver overrides the window procedure in slot 0; so does this.
class HookedApplication : public Application {
public:
    LRESULT MsgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_USER + 7) {
            ++hooked;
            return 1234;
        }
        return Application::MsgProc(hwnd, message, wParam, lParam);
    }
    int hooked = 0;
};

class Listener : public MessageListener {
public:
    void HandleMessage(HWND, UINT message, WPARAM, LPARAM) override { seen.push_back(message); }
    std::vector<UINT> seen;
};

}  // namespace

TEST(Application, CreateMakesTheWindowAndBothSettingsButNoDevice) {
    Application app;
    EXPECT_EQ(TheApplication(), &app);
    EXPECT_TRUE(app.IsWindowed());
    if (!app.Create(GetModuleHandleA(nullptr), nullptr)) GTEST_SKIP() << "no Direct3D 9 adapter here";
    ASSERT_NE(app.GetWindow(), nullptr);
    EXPECT_TRUE(IsWindow(app.GetWindow()));
    EXPECT_EQ(TheDevice(), nullptr);  // SetMode makes the device
    EXPECT_EQ(app.windowedSettings.windowed, 1);
    EXPECT_EQ(app.fullScreenSettings.windowed, 0);
    // The windowed choice takes the desktop mode.
    EXPECT_EQ(app.windowedSettings.displayMode.Width, app.GetDesktopDisplayMode().Width);
    EXPECT_EQ(app.windowedSettings.displayMode.Format, app.GetDesktopDisplayMode().Format);
    // The outer size is widened for a menu the window does not have, so the client area
    // is the asked-for size plus a menu bar's height.
    RECT client;
    GetClientRect(app.GetWindow(), &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480 + GetSystemMetrics(SM_CYMENU));
    EXPECT_EQ(static_cast<u32>(GetWindowLongA(app.GetWindow(), GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
              static_cast<u32>(WS_OVERLAPPEDWINDOW));
    DestroyWindow(app.GetWindow());
}

TEST(Application, DeviceObjectsAreRestoredAndInvalidatedInRegistrationOrder) {
    std::vector<std::string> trace;
    Application app;
    CountingObject a, b;
    a.id = 1;
    b.id = 2;
    a.trace = b.trace = &trace;
    EXPECT_FALSE(b.Register());  // no device yet
    EXPECT_FALSE(a.Register());
    EXPECT_FALSE(b.Register());  // twice: one entry
    REQUIRE_WINDOWED_DEVICE(app);
    EXPECT_EQ(trace, (std::vector<std::string>{"R2", "R1"}));
    EXPECT_TRUE(app.deviceObjectsRestored);
    EXPECT_NE(TheDevice(), nullptr);
    // A windowed back buffer has the client area's size.
    EXPECT_EQ(app.backBufferDesc.Width, static_cast<UINT>(app.clientRect.right - app.clientRect.left));
    EXPECT_EQ(app.backBufferDesc.Height, static_cast<UINT>(app.clientRect.bottom - app.clientRect.top));
    EXPECT_TRUE(app.HandleDeviceLost());  // a working device: nothing to do
    app.ReleaseDevice();
    EXPECT_EQ(trace, (std::vector<std::string>{"R2", "R1", "I2", "I1"}));
    EXPECT_EQ(TheDevice(), nullptr);
    EXPECT_FALSE(app.HandleDeviceLost());  // no device
    app.ReleaseDevice();                   // nothing more to invalidate
    EXPECT_EQ(a.invalidates, 1);
    DestroyWindow(app.GetWindow());
}

TEST(Application, AFailingRestoreInvalidatesAllButTheDeviceStays) {
    std::vector<std::string> trace;
    Application app;
    CountingObject a, b, c;
    a.id = 1;
    b.id = 2;
    c.id = 3;
    a.trace = b.trace = c.trace = &trace;
    b.restoreResult = false;
    a.Register();
    b.Register();
    c.Register();
    REQUIRE_WINDOWED_DEVICE(app);  // creation reports true even so
    EXPECT_EQ(trace, (std::vector<std::string>{"R1", "R2", "R3", "I1", "I2", "I3"}));
    EXPECT_FALSE(app.deviceObjectsRestored);
    EXPECT_NE(TheDevice(), nullptr);
    app.ReleaseDevice();  // already invalidated: not again
    EXPECT_EQ(a.invalidates, 1);
    DestroyWindow(app.GetWindow());
}

TEST(Application, DeclarationsAreCachedPerLayoutAndReleasedOnInvalidate) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    VertexDeclaration layout;
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
    layout.AddElement(D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
    IDirect3DVertexDeclaration9* first = app.GetVertexDeclaration(layout);
    ASSERT_NE(first, nullptr);
    VertexDeclaration same = layout;
    EXPECT_EQ(app.GetVertexDeclaration(same), first);
    EXPECT_EQ(layout.GetD3DDeclaration(), first);
    EXPECT_EQ(app.declarationCache.count, 1u);
    app.InvalidateDeviceObjects();
    EXPECT_EQ(app.declarationCache.count, 0u);
    app.ReleaseDevice();
    DestroyWindow(app.GetWindow());
}

TEST(Application, QueriesAndCapsOfTheDevice) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    // The documented probe answers on every Direct3D 9 device that has occlusion queries.
    IDirect3DQuery9* probe = nullptr;
    const bool hasQueries = SUCCEEDED(TheDevice()->CreateQuery(D3DQUERYTYPE_OCCLUSION, &probe));
    if (probe) probe->Release();
    EXPECT_EQ(app.SupportsOcclusionQueries(), hasQueries);
    EXPECT_EQ(TheDeviceCaps().AdapterOrdinal, app.current.adapterOrdinal);
    const IntRect screen = app.GetScreenRect();
    EXPECT_EQ(screen.right, app.clientRect.right - app.clientRect.left);
    EXPECT_EQ(screen.bottom, app.clientRect.bottom - app.clientRect.top);
    if (hasQueries) {
        OcclusionQuery query;
        u32 pixels = 99;
        EXPECT_FALSE(query.GetData(pixels));  // never begun
        EXPECT_FALSE(query.End());
        ASSERT_TRUE(TheDevice()->BeginScene() == D3D_OK);
        EXPECT_TRUE(query.Begin());
        EXPECT_TRUE(query.End());
        EXPECT_TRUE(TheDevice()->EndScene() == D3D_OK);
        // Polled, never waited for: the result comes within a few frames.
        bool read = false;
        for (int i = 0; i < 200 && !read; ++i) {
            read = query.GetData(pixels);
            if (!read) Sleep(1);
        }
        EXPECT_TRUE(read);
        EXPECT_EQ(pixels, 0u);  // nothing drawn
        EXPECT_FALSE(query.GetData(pixels));  // a result is read once
    }
    app.ReleaseDevice();
    DestroyWindow(app.GetWindow());
}

// Direct3D sets the x87 unit of the thread that makes a device to a float's 24 bits of
// precision unless it is asked to keep it, and the 32-bit program does all its float and
// double arithmetic there: a colour key of 4294902015 (magenta) would then read 4294902016.
TEST(Application, TheDeviceLeavesTheProgramItsDoublePrecision) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    volatile double sum = 1.0;
    sum = sum + 1e-10;  // lost in 24 bits, kept in 53
    EXPECT_GT(sum, 1.0);
    TextDataTree document;
    TextNode* current = nullptr;
    ASSERT_TRUE(TextData::ParseStatementForm(document, WString::FromNarrow("ColorKey = 4294902015"), current, nullptr,
                                             TextData::kLineForm));
    ASSERT_TRUE(TextData::ParseStatementForm(document, WString::FromNarrow("Largest = 2147483647"), current, nullptr,
                                             TextData::kLineForm));
    ASSERT_NE(document.GetChild("ColorKey"), nullptr);
    ASSERT_NE(document.GetChild("Largest"), nullptr);
    EXPECT_EQ(document.GetChild("ColorKey")->GetReal(), 4294902015.0);
    EXPECT_EQ(document.GetChild("Largest")->GetInt(), 2147483647);
    app.ReleaseDevice();
    DestroyWindow(app.GetWindow());
}

TEST(Application, TheWindowProcedureGoesThroughTheOverrideAndTheListeners) {
    HookedApplication app;
    if (!app.Create(GetModuleHandleA(nullptr), nullptr)) GTEST_SKIP() << "no Direct3D 9 adapter here";
    Listener listener;
    EXPECT_TRUE(listener.Register());
    EXPECT_EQ(SendMessageA(app.GetWindow(), WM_USER + 7, 0, 0), 1234);
    EXPECT_EQ(app.hooked, 1);
    SendMessageA(app.GetWindow(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(app.active, 1);
    SendMessageA(app.GetWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(app.active, 0);
    SendMessageA(app.GetWindow(), WM_ENTERSIZEMOVE, 0, 0);
    EXPECT_EQ(app.paused, 1);
    SendMessageA(app.GetWindow(), WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(app.paused, 0);
    // The override took WM_USER + 7 before the base: the listeners never saw it.
    EXPECT_EQ(listener.seen, (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATE, WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE}));
    EXPECT_EQ(SendMessageA(app.GetWindow(), WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
    DestroyWindow(app.GetWindow());
}

TEST(Application, CloseReleasesTheDeviceAndDirect3DOnceAndPostsQuit) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    IDirect3DDevice9* device = TheDevice();
    device->AddRef();
    EXPECT_EQ(SendMessageA(app.GetWindow(), WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(app.closing, 1);
    EXPECT_EQ(TheDevice(), nullptr);
    EXPECT_EQ(app.d3d, nullptr);
    EXPECT_EQ(device->Release(), 0u);  // ours was the last reference
    // WM_QUIT after the window's own messages; a second close releases nothing twice.
    SendMessageA(app.GetWindow(), WM_QUIT, 0, 0);
    MSG msg;
    bool quit = false;
    // Dispatched, so that a pending WM_PAINT is validated instead of coming back forever.
    while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            quit = true;
        else
            DispatchMessageA(&msg);
    }
    EXPECT_TRUE(quit);
    DestroyWindow(app.GetWindow());
}

TEST(Application, DestructionClearsTheProgramWidePointers) {
    {
        Application app;
        REQUIRE_WINDOWED_DEVICE(app);
        EXPECT_NE(TheDevice(), nullptr);
        DestroyWindow(app.GetWindow());
    }
    EXPECT_EQ(TheApplication(), nullptr);
    EXPECT_EQ(TheDevice(), nullptr);
    // Registration without an Application registers nothing.
    CountingObject orphan;
    EXPECT_FALSE(orphan.Register());
    Listener listener;
    EXPECT_FALSE(listener.Register());
}
