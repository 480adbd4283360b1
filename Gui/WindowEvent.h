// The window system's event record, the node through which events pass down the window
// tree, and the conversion from the input device's eight-word EVENT. The window manager
// makes one of these from each input event, routes it by hit test and focus, and queues
// it; a queued event reaches a window through its event node. The record is passed by
// value; its payload (pointer positions, a key, or a frame window's gesture) is shared
// by the copies through a counted handle.
#pragma once

#include "Core/Object.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "D3d/EventReceiver.h"

#include <vector>

enum WindowEventCode : u32 {
    kWindowEventNone = 0,          // no window meaning (exclusive moves, other inputs)
    kWindowEventFocusGained = 1,
    kWindowEventFocusLost = 2,
    kWindowEventEntered = 3,
    kWindowEventMovedWithin = 4,   // also to the focus window outside it (flag bit 0)
    kWindowEventLeft = 5,
    kWindowEventLeftDown = 6,
    kWindowEventLeftUp = 7,
    kWindowEventLeftDoubleClick = 8,
    kWindowEventRightDown = 9,
    kWindowEventRightUp = 10,
    kWindowEventRightDoubleClick = 11,
    kWindowEventKeyDown = 12,
    kWindowEventKeyUp = 13,
    kWindowEventGestureStarted = 14,  // frame window move or resize
    kWindowEventGestureEnded = 15,
    kWindowEventGestureMoved = 16,
};

// Bit 0 of the flag word: the pointer is outside the receiving window, which gets the
// event only because it holds the focus.
constexpr u32 kWindowEventOutside = 1;

// What an event carries beside its code.
struct EventPayload {
    enum Kind : u32 {
        kPointer = 0,  // previous, then current position
        kKey = 1,      // the scan code
        kGesture = 2,  // a frame window's dragging and resizing bytes
    };
    Kind kind = kPointer;
    IntPair previous;
    IntPair current;
    u32 scanCode = 0;
    u8 dragging = 0;
    u8 resizing = 0;

    virtual ~EventPayload() = default;
};

struct WindowEvent {
    String name;                 // a frame window's name in its notifications, else empty
    const void* tag = nullptr;   // the sending frame window in its notifications, else null
    u32 code = kWindowEventNone;
    u32 flags = 0;
    RefHandle<EventPayload> payload;  // none for focus events

    WindowEvent() = default;
    explicit WindowEvent(u32 code_) : code(code_) {}

    // Membership of the code in the key codes {12, 13}, the positional codes routed into
    // children by hit test {3, 4, 5, 6, 7, 8} and the hover codes {3, 4, 5}.
    static bool IsKey(const WindowEvent& event);
    static bool IsListed(const WindowEvent& event);
    static bool IsHover(const WindowEvent& event);

    // The pointer positions of the payload; (0, 0) when it carries none.
    IntPair Previous() const;
    IntPair Current() const;
    // The scan code of a key payload; 0 otherwise.
    u32 ScanCode() const;
};

// The window event made from an input event: mouse buttons give 6 to 11, key down and
// up 12 and 13, everything else (moves, characters) 0. A key event carries its scan
// code, every other event the previous and current pointer positions.
WindowEvent MakeWindowEvent(const EVENT& input);

// A list of pointers with set-like helpers; the order is the order of adding.
template <class T>
class PointerList : public std::vector<T*> {
public:
    // Removes every occurrence; returns how many there were.
    u32 RemoveAll(T* value) {
        u32 removed = 0;
        for (auto it = this->begin(); it != this->end();) {
            if (*it == value) {
                it = this->erase(it);
                ++removed;
            } else {
                ++it;
            }
        }
        return removed;
    }
    void AddUnique(T* value) {
        for (T* present : *this)
            if (present == value) return;
        this->push_back(value);
    }
    bool Contains(T* value) const {
        for (T* present : *this)
            if (present == value) return true;
        return false;
    }
};

// A place in the event tree: what receives an event, and the nodes of its children.
class EventNode {
public:
    EventNode() = default;
    EventNode(const EventNode&) = delete;
    EventNode& operator=(const EventNode&) = delete;
    virtual ~EventNode() = default;
    // The base ignores the event; the result is AND-accumulated by whoever delivers.
    virtual bool RecieveEvent(WindowEvent event);

    PointerList<EventNode> children;
};

// Hands a copy of the event to each receiver, in list order; true when all returned true.
bool BroadcastEvent(const PointerList<EventNode>& receivers, const WindowEvent& event);
