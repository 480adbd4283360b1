// Where the mixed sound goes: one implementation per platform, chosen by the build
// (OutputSinkSdl.cpp on Linux, OutputSinkWinmm.cpp on Windows). A sink pulls 16-bit stereo
// buffers from the mixer on a thread of its own from Open until it is destroyed;
// destroying it stops that thread before it returns, so the mixer may go afterwards.
#pragma once

#include <stdint.h>

#include <memory>

class Mixer;

class OutputSink {
public:
    virtual ~OutputSink() = default;
    // The default output device at `rate`, or null when there is none.
    static std::unique_ptr<OutputSink> Open(uint32_t rate, Mixer& mixer);
};
