#include "Gui/WindowManager.h"

#include "Gui/Window.h"

WindowManager::WindowManager() : LayerList(kTopLayer, kBottomLayer) {}

WindowManager::~WindowManager() {
    queue_.clear();
    frameSignal_.DisconnectAll();
}

void WindowManager::SetFocus(Window* window) {
    if (window == focus_) return;
    if (focus_) PostEvent(focus_, WindowEvent(kWindowEventFocusLost));
    if (window) PostEvent(window, WindowEvent(kWindowEventFocusGained));
    focus_ = window;
}

void WindowManager::PostEvent(Window* window, const WindowEvent& event) {
    if (!window) return;
    queue_.push_back({event, window});
}

void WindowManager::DispatchQueued() {
    while (!queue_.empty()) {
        QueuedEvent record = queue_.front();
        queue_.pop_front();
        record.target->RecieveEvent(record.event);
    }
}

void WindowManager::Forget(Window* window) {
    if (focus_ == window) focus_ = nullptr;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->target == window)
            it = queue_.erase(it);
        else
            ++it;
    }
}

void WindowManager::Reset() {
    queue_.clear();
    focus_ = nullptr;
}

WindowManager& TheWindowManager() {
    static WindowManager manager;
    return manager;
}
