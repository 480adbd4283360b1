// An input event and the interface that receives one. The input device turns keyboard and
// mouse data into EVENT records and hands each, by value, to its receivers; the saver's
// scene object is the receiver that ends the run.
#pragma once

#include "Core/Types.h"

enum EventType : u32 {
    kEventLeftDown = 0,
    kEventLeftUp = 1,
    kEventLeftDoubleClick = 2,
    kEventRightDown = 3,
    kEventRightUp = 4,
    kEventRightDoubleClick = 5,
    kEventPointerMove = 6,           // client coordinates
    kEventExclusivePointerMove = 7,  // exclusive mode: movement only
    kEventKeyDown = 8,               // key: DirectInput scan code
    kEventKeyUp = 9,
    kEventCharacter = 10,            // key: the character
    kEventFocusGained = 11,
};

// Eight 32-bit words; those an event type does not fill are 0.
struct EVENT {
    u32 type = 0;
    i32 x = 0, y = 0;          // position
    i32 prevX = 0, prevY = 0;  // previous position
    i32 dx = 0, dy = 0;        // movement
    u32 key = 0;
};
static_assert(sizeof(EVENT) == 32, "an EVENT is eight words");

class EventReceiver {
public:
    virtual void RecieveEvent(EVENT event) = 0;

protected:
    ~EventReceiver() = default;
};
