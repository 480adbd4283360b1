// The output through WinMM's waveOut, present on every Windows and under Wine. A thread
// of the library keeps kBuffers buffers queued: the device signals an event as each one
// finishes, and the thread mixes into it and queues it again.
#include "OutputSink.h"

#include "Mixer.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <vector>

namespace {

constexpr int kBuffers = 4;
constexpr DWORD kBufferFrames = 2048;  // about 46 ms at 44.1 kHz, some 190 ms queued
constexpr WORD kChannels = 2;
constexpr WORD kBitsPerSample = 16;

class WinmmSink : public OutputSink {
public:
    WinmmSink(HWAVEOUT device, HANDLE done, Mixer& mixer) : device_(device), done_(done), mixer_(mixer) {
        for (int i = 0; i < kBuffers; ++i) {
            frames_[i].assign(kBufferFrames * kChannels, 0);
            WAVEHDR& header = headers_[i];
            header = WAVEHDR{};
            header.lpData = reinterpret_cast<LPSTR>(frames_[i].data());
            header.dwBufferLength = kBufferFrames * kChannels * sizeof(int16_t);
            waveOutPrepareHeader(device_, &header, sizeof header);
        }
    }

    bool Start() {
        for (int i = 0; i < kBuffers; ++i) Queue(headers_[i], static_cast<size_t>(i));
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        return thread_ != nullptr;
    }

    ~WinmmSink() override {
        if (thread_) {
            stop_ = true;
            SetEvent(done_);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        waveOutReset(device_);  // returns every queued buffer as done
        for (WAVEHDR& header : headers_) waveOutUnprepareHeader(device_, &header, sizeof header);
        waveOutClose(device_);
        CloseHandle(done_);
    }

private:
    void Queue(WAVEHDR& header, size_t index) {
        mixer_.Mix(frames_[index].data(), kBufferFrames);
        header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        waveOutWrite(device_, &header, sizeof header);
    }

    static DWORD WINAPI Run(LPVOID self) {
        WinmmSink& sink = *static_cast<WinmmSink*>(self);
        while (!sink.stop_) {
            WaitForSingleObject(sink.done_, INFINITE);
            for (int i = 0; i < kBuffers && !sink.stop_; ++i)
                if (sink.headers_[i].dwFlags & WHDR_DONE) sink.Queue(sink.headers_[i], static_cast<size_t>(i));
        }
        return 0;
    }

    HWAVEOUT device_;
    HANDLE done_;
    Mixer& mixer_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    WAVEHDR headers_[kBuffers];
    std::vector<int16_t> frames_[kBuffers];
};

}  // namespace

std::unique_ptr<OutputSink> OutputSink::Open(uint32_t rate, Mixer& mixer) {
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!done) return nullptr;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kChannels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = kBitsPerSample;
    format.nBlockAlign = kChannels * kBitsPerSample / 8;
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR) {
        CloseHandle(done);
        return nullptr;
    }
    auto sink = std::make_unique<WinmmSink>(device, done, mixer);
    if (!sink->Start()) return nullptr;
    return sink;
}
