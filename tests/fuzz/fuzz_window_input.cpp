// Fuzz target for the window manager's input routing: the input builds a random tree of
// plain and frame windows (rectangles, parents, shown or hidden, disabled, focused) and
// then feeds random input events through the manager, with windows re-parented and
// destroyed between them. No event may be left queued after an input event, the focus
// must never point at a destroyed window, and nothing may crash.
#include <PlatformTest.h>
#include "D3d/EventReceiver.h"
#include "FuzzBytes.h"
#include "Gui/FrameWindow.h"
#include "Gui/WindowManager.h"

#include <cstdlib>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    // The window system reads the clock (double clicks, the caret); one that stands still
    // lets every run of the fuzz check try the same inputs.
    PlatformTest_SetClock(0);
    if (size > 4096) return 0;
    FuzzBytes bytes(input, size);
    WindowManager& wm = TheWindowManager();
    wm.Reset();
    std::vector<std::unique_ptr<Window>> windows;
    const u32 count = 1 + bytes.Next() % 12;
    for (u32 i = 0; i < count; ++i) {
        std::unique_ptr<Window> window;
        if (bytes.Next() & 1) window = std::make_unique<FrameWindow>();
        else window = std::make_unique<Window>();
        window->SetRect(IntRect(bytes.Coordinate(), bytes.Coordinate(), bytes.Next(), bytes.Next()));
        const u8 parent = bytes.Next();
        if (i > 0 && (parent & 0x80)) windows[parent % i]->AddChild(window.get(), (parent & 0x40) != 0);
        windows.push_back(std::move(window));
    }
    for (auto& window : windows) {
        const u8 how = bytes.Next();
        if (how & 1) window->Show();
        if (how & 2) window->SetEnabled(false);
        if (how & 4) window->SetFocus();
    }
    while (!bytes.Empty()) {
        const u8 op = bytes.Next();
        if (op < 200) {
            EVENT e;
            e.type = op % 12;
            e.x = bytes.Coordinate();
            e.y = bytes.Coordinate();
            e.prevX = bytes.Coordinate();
            e.prevY = bytes.Coordinate();
            e.key = bytes.Next();
            wm.RecieveEvent(e);
            if (wm.QueuedCount() != 0) std::abort();
        } else if (op < 215 && !windows.empty()) {
            windows.erase(windows.begin() + bytes.Next() % windows.size());
        } else if (op < 230 && windows.size() > 1) {
            Window* a = windows[bytes.Next() % windows.size()].get();
            Window* b = windows[bytes.Next() % windows.size()].get();
            // A window never becomes its own ancestor.
            bool cycle = false;
            for (Window* p = a; p; p = p->GetParent()) cycle |= p == b;
            if (!cycle) a->AddChild(b, true);
        } else if (op < 245 && !windows.empty()) {
            windows[bytes.Next() % windows.size()]->Hide();
        } else if (!windows.empty()) {
            windows[bytes.Next() % windows.size()]->SetFocus();
        }
        Window* focus = wm.GetFocus();
        if (focus) {
            bool alive = false;
            for (auto& window : windows) alive |= window.get() == focus;
            if (!alive) std::abort();
        }
    }
    wm.DispatchQueued();
    windows.clear();
    if (wm.GetFocus() || wm.QueuedCount() != 0) std::abort();
    wm.Reset();
    return 0;
}
