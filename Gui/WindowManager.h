// The window manager: the program-wide root of the window layering (the band of layers
// 1 to 10000 that the top-level windows share), the owner of the frame signal that
// windows with a pending redraw connect to, the keeper of the focus window, and the
// queue through which window events are delivered.
//
// This declares only what Window calls; the mesh drawing and the input routing come
// with the full manager, which replaces this header and its source. Keep these calls
// (Window depends on them): FrameSignal, SetFocus, GetFocus, DropFocus, PostEvent, DispatchQueued,
// Forget, the LayerList base and TheWindowManager.
#pragma once

#include "Gui/LayerList.h"
#include "Gui/Signal.h"
#include "Gui/WindowEvent.h"

#include <deque>

class Window;

class WindowManager : public LayerList {
public:
    static constexpr i32 kTopLayer = 10000;
    static constexpr i32 kBottomLayer = 1;

    WindowManager();
    ~WindowManager() override;

    Signal& FrameSignal() { return frameSignal_; }

    // Moves the focus: code 2 to the former focus window, code 1 to the new one, both
    // queued. Nothing when the window already has the focus.
    void SetFocus(Window* window);
    Window* GetFocus() const { return focus_; }
    // Clears the focus without events when the window holds it (a window that lost the
    // focus on its own has told itself already).
    void DropFocus(Window* window) {
        if (focus_ == window) focus_ = nullptr;
    }

    // Queues the event for the window.
    void PostEvent(Window* window, const WindowEvent& event);
    // Delivers the queued events in order, also those queued while delivering.
    void DispatchQueued();

    // A window going away: it loses the focus and its queued events are dropped.
    void Forget(Window* window);
    // Back to the state at start (tests): no focus, an empty queue.
    void Reset();

private:
    struct QueuedEvent {
        WindowEvent event;
        Window* target;
    };

    Signal frameSignal_;
    Window* focus_ = nullptr;
    std::deque<QueuedEvent> queue_;
};

// The program-wide window manager.
WindowManager& TheWindowManager();
