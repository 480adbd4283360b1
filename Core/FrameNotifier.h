// The program-wide frame counter: it advances after each presented frame and tells its
// listeners the new frame number.
#pragma once

#include "Core/Container.h"
#include "Core/OrderedMap.h"

class FrameListener {
public:
    virtual void OnFrame(u32 frame) = 0;
    virtual ~FrameListener() = default;
};

struct PointerOrder {
    int operator()(uintptr_t a, uintptr_t b) const { return a < b ? -1 : (b < a ? 1 : 0); }
};

class FrameNotifier : public Container {
public:
    FrameNotifier() = default;
    ~FrameNotifier() override = default;
    void Clear() override;

    // Adds a listener unless it is already there; listeners hear in the order added.
    void Add(FrameListener* listener);
    void Remove(FrameListener* listener);
    // Advances the frame number, then calls every listener with it.
    void Tick();
    u32 Frame() const { return frame; }

    OrderedMap<uintptr_t, FrameListener*, PointerOrder> listeners;
    u32 frame = 0;
};
