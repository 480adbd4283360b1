// For tests that need the platform's real Direct3D 9 device (Wine's under Windows, the
// reference device on Linux): a windowed device on the default adapter, or a skip.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "D3d/Application.h"

// A windowed device on the default adapter, or a skip when this machine has none.
#define REQUIRE_WINDOWED_DEVICE(app)                                                          \
    do {                                                                                      \
        if (!(app).Create(GetModuleHandleA(nullptr), nullptr))                                \
            GTEST_SKIP() << "no Direct3D 9 adapter here (see errors.log)";                    \
        if (!(app).SetMode(false)) GTEST_SKIP() << "the adapter refused a windowed device";   \
    } while (0)
