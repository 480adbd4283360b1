// The platform's message queue and window table as the saver's main loop meets them: the
// empty pump of every frame (PeekMessage with nothing pending, with a few timers waiting),
// one posted message through Peek and Dispatch, a message found behind a thousand others
// of another window (the filter walks the queue), SendMessage to a procedure, moving a
// window, and making and destroying a popup among twenty windows.
#include <windows.h>
#include <PlatformTestWindows.h>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

LRESULT CALLBACK QuietProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return 1;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A fresh table with the benchmark's class and one visible popup.
HWND Setup() {
    PlatformTest_ResetWindows();
    WNDCLASSA wc{};
    wc.lpfnWndProc = QuietProc;
    wc.lpszClassName = "BenchWindow";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "BenchWindow", "", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr, nullptr,
                           nullptr);
}

void BM_EmptyPump(benchmark::State& state) {
    HWND w = Setup();
    for (UINT_PTR id = 1; id <= 4; ++id) SetTimer(w, id, 100000, nullptr);
    MSG msg;
    for (auto _ : state) benchmark::DoNotOptimize(PeekMessageA(&msg, w, 0, 0, PM_REMOVE));
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_EmptyPump);

void BM_PostPeekDispatch(benchmark::State& state) {
    HWND w = Setup();
    MSG msg;
    for (auto _ : state) {
        PostMessageA(w, WM_USER, 1, 2);
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        benchmark::DoNotOptimize(DispatchMessageA(&msg));
    }
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_PostPeekDispatch);

void BM_FilteredBehindOthers(benchmark::State& state) {
    HWND w = Setup();
    HWND other = CreateWindowExA(0, "BenchWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < state.range(0); ++i) PostMessageA(other, WM_USER, 0, 0);
    MSG msg;
    for (auto _ : state) {
        PostMessageA(w, WM_USER, 0, 0);
        benchmark::DoNotOptimize(PeekMessageA(&msg, w, 0, 0, PM_REMOVE));
    }
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_FilteredBehindOthers)->Arg(10)->Arg(1000);

void BM_SendMessage(benchmark::State& state) {
    HWND w = Setup();
    for (auto _ : state) benchmark::DoNotOptimize(SendMessageA(w, WM_USER, 0, 0));
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_SendMessage);

void BM_MoveWindow(benchmark::State& state) {
    HWND w = Setup();
    int x = 0;
    for (auto _ : state) {
        x = (x + 1) & 255;
        benchmark::DoNotOptimize(SetWindowPos(w, nullptr, x, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    }
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_MoveWindow);

void BM_CreateDestroyPopup(benchmark::State& state) {
    Setup();
    for (int i = 0; i < 20; ++i)
        CreateWindowExA(0, "BenchWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (auto _ : state) {
        HWND w = CreateWindowExA(0, "BenchWindow", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
        benchmark::DoNotOptimize(DestroyWindow(w));
    }
    PlatformTest_ResetWindows();
}
BENCHMARK(BM_CreateDestroyPopup);

}  // namespace
