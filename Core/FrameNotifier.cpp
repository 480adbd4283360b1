#include "Core/FrameNotifier.h"

void FrameNotifier::Clear() { listeners.Clear(); }

void FrameNotifier::Add(FrameListener* listener) {
    const uintptr_t key = reinterpret_cast<uintptr_t>(listener);
    if (!listener || listeners.Find(key)) return;
    if (listeners.count) listeners.cursor = listeners.first->prev;  // at the end of the order
    listeners.Insert(key, listener, true);
}

void FrameNotifier::Remove(FrameListener* listener) { listeners.Remove(reinterpret_cast<uintptr_t>(listener)); }

void FrameNotifier::Tick() {
    ++frame;
    auto* node = listeners.first;
    for (u32 i = 0; i < listeners.count; ++i, node = node->next) node->value->OnFrame(frame);
}
