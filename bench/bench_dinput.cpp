// DirectInput on the platform as the saver's frame meets it: the zero-timeout test of the
// two notification events when nothing arrived, and a full buffer of 64 mouse records
// injected and read back in one GetDeviceData.
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>
#include <PlatformTestInput.h>
#include <PlatformTestWindows.h>

#include <benchmark/benchmark.h>

namespace {

void BM_WaitForTwoQuietEvents(benchmark::State& state) {
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    for (auto _ : state) benchmark::DoNotOptimize(WaitForMultipleObjects(2, events, FALSE, 0));
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}
BENCHMARK(BM_WaitForTwoQuietEvents);

void BM_ReadSixtyFourMouseRecords(benchmark::State& state) {
    PlatformTest_ResetWindows();
    PlatformTest_ResetInput();
    IDirectInput8A* input = nullptr;
    DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A, reinterpret_cast<void**>(&input),
                       nullptr);
    IDirectInputDevice8A* mouse = nullptr;
    input->CreateDevice(GUID_SysMouse, &mouse, nullptr);
    mouse->SetDataFormat(&c_dfDIMouse);
    DIPROPDWORD size{};
    size.diph.dwSize = sizeof size;
    size.diph.dwHeaderSize = sizeof size.diph;
    size.diph.dwHow = DIPH_DEVICE;
    size.dwData = 64;
    mouse->SetProperty(DIPROP_BUFFERSIZE, &size.diph);
    mouse->Acquire();
    DIDEVICEOBJECTDATA records[64];
    for (auto _ : state) {
        for (int i = 0; i < 32; ++i) PlatformTest_MouseMove(1, 1);
        DWORD count = 64;
        mouse->GetDeviceData(sizeof records[0], records, &count, 0);
        benchmark::DoNotOptimize(count);
    }
    mouse->Release();
    input->Release();
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_ReadSixtyFourMouseRecords);

}  // namespace
