// The process's message queue: posted messages in the order they were posted, the quit
// request, and timers. Like the window table it is one program-wide object used from the
// main thread, with a reset for tests.
//
// Retrieval follows Windows' order: posted messages first, then WM_QUIT once nothing
// posted is left that the filter takes, then WM_TIMER of timers that are due. Timers run
// on timeGetTime, so a test that sets the platform's clock decides when they fire.
#pragma once

#include <windows.h>

#include <deque>
#include <vector>

namespace platform {

class MessageQueue {
public:
    static MessageQueue& Get();
    void Reset();

    // Windows refuses more posted messages than this in one queue.
    static constexpr size_t kMaxPosted = 10000;

    bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Keyboard and mouse messages: retrieved after the posted ones, as Windows reads its
    // input queue after the posted messages.
    bool PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void PostQuit(int exitCode);
    // The first message the filter takes, removed or left; false when there is none now.
    bool Retrieve(MSG* out, HWND filter, UINT first, UINT last, bool remove);
    // Milliseconds until the next timer the filter takes is due; false without one.
    bool NextTimerDue(HWND filter, UINT first, UINT last, DWORD* wait);

    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
    bool KillTimer(HWND window, UINT_PTR id);
    bool IsTimerProcedure(HWND window, UINT_PTR id, TIMERPROC procedure) const;

    // Drops what is queued for a window that goes away, and its timers.
    void Forget(HWND window);

private:
    struct Timer {
        HWND window;
        UINT_PTR id;
        UINT elapse;
        TIMERPROC procedure;
        DWORD due;
    };

    bool Takes(HWND filter, HWND window) const;
    bool Queue(std::deque<MSG>& queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::deque<MSG> posted;
    std::deque<MSG> input;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    UINT_PTR nextThreadTimer = 0x100;
};

// For the window table: the queue forgets a destroyed window.
void ForgetWindowMessages(HWND window);

}  // namespace platform
