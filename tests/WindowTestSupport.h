// Helpers of the window-system suites: input events as the input device hands them to
// the window manager.
#pragma once

#include "D3d/EventReceiver.h"

namespace windowtest {

// An input event of the type at (x, y) coming from (prevX, prevY), with a key.
inline EVENT Input(u32 type, i32 x = 0, i32 y = 0, i32 prevX = 0, i32 prevY = 0, u32 key = 0) {
    EVENT e;
    e.type = type;
    e.x = x;
    e.y = y;
    e.prevX = prevX;
    e.prevY = prevY;
    e.key = key;
    return e;
}

}  // namespace windowtest
