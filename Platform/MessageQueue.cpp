// The message queue and the calls that read, post, send and dispatch messages.
//
// One thread owns the queue, and nothing else can post to it while that thread waits, so
// a wait could never end: GetMessageA with nothing pending and no timer to wait for
// returns 0 as if WM_QUIT had come, and says so on the error stream. Both common loop
// forms (GetMessage until 0, and PeekMessage until WM_QUIT) then end instead of hanging.
#include "MessageQueue.h"

#include "InputQueue.h"
#include "WindowSystem.h"

#include <stdio.h>
#include <time.h>

#include <algorithm>

namespace platform {

namespace {

bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (first <= message && message <= last);
}

bool Due(DWORD now, DWORD due) { return static_cast<int32_t>(now - due) >= 0; }

void SleepMilliseconds(DWORD ms) {
    timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}

}  // namespace

MessageQueue& MessageQueue::Get() {
    static MessageQueue queue;
    return queue;
}

void MessageQueue::Reset() {
    posted.clear();
    input.clear();
    timers.clear();
    quit = false;
    quitCode = 0;
    nextThreadTimer = 0x100;
}

bool MessageQueue::Takes(HWND filter, HWND window) const {
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return window == nullptr;
    return window == filter || (window && IsChild(filter, window));
}

bool MessageQueue::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Queue(posted, window, message, wParam, lParam);
}

bool MessageQueue::PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Queue(input, window, message, wParam, lParam);
}

bool MessageQueue::Queue(std::deque<MSG>& queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (queue.size() >= kMaxPosted) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = timeGetTime();
    m.pt = WindowSystem::Get().cursor.position;
    queue.push_back(m);
    return true;
}

void MessageQueue::PostQuit(int exitCode) {
    quit = true;
    quitCode = exitCode;
}

bool MessageQueue::Retrieve(MSG* out, HWND filter, UINT first, UINT last, bool remove) {
    // Posted messages come before input, so a WM_CHAR that TranslateMessage posts for a
    // key press is read before the release that followed it.
    for (std::deque<MSG>* queue : {&posted, &input}) {
        for (auto it = queue->begin(); it != queue->end(); ++it) {
            if (!Takes(filter, it->hwnd) || !InRange(it->message, first, last)) continue;
            *out = *it;
            if (remove) queue->erase(it);
            return true;
        }
    }
    // WM_QUIT belongs to no window and passes any message range.
    if (quit && (!filter || filter == reinterpret_cast<HWND>(-1))) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(quitCode);
        out->time = timeGetTime();
        out->pt = WindowSystem::Get().cursor.position;
        if (remove) quit = false;
        return true;
    }
    if (!InRange(WM_TIMER, first, last)) return false;
    const DWORD now = timeGetTime();
    Timer* next = nullptr;
    for (Timer& t : timers)
        if (Takes(filter, t.window) && Due(now, t.due) && (!next || static_cast<int32_t>(t.due - next->due) < 0))
            next = &t;
    if (!next) return false;
    *out = MSG{};
    out->hwnd = next->window;
    out->message = WM_TIMER;
    out->wParam = next->id;
    out->lParam = reinterpret_cast<LPARAM>(next->procedure);
    out->time = now;
    out->pt = WindowSystem::Get().cursor.position;
    if (remove) next->due = now + next->elapse;
    return true;
}

bool MessageQueue::NextTimerDue(HWND filter, UINT first, UINT last, DWORD* wait) {
    if (!InRange(WM_TIMER, first, last)) return false;
    const DWORD now = timeGetTime();
    bool found = false;
    for (const Timer& t : timers) {
        if (!Takes(filter, t.window)) continue;
        const DWORD left = Due(now, t.due) ? 0 : t.due - now;
        if (!found || left < *wait) *wait = left;
        found = true;
    }
    return found;
}

UINT_PTR MessageQueue::SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    const DWORD due = timeGetTime() + elapse;
    if (!window) {
        // A timer of the thread: an existing identifier is replaced, anything else gets a
        // new one.
        for (Timer& t : timers)
            if (!t.window && t.id == id) {
                t = Timer{nullptr, id, elapse, procedure, due};
                return id;
            }
        id = nextThreadTimer++;
        timers.push_back(Timer{nullptr, id, elapse, procedure, due});
        return id;
    }
    for (Timer& t : timers)
        if (t.window == window && t.id == id) {
            t = Timer{window, id, elapse, procedure, due};
            return id ? id : 1;
        }
    timers.push_back(Timer{window, id, elapse, procedure, due});
    return id ? id : 1;
}

bool MessageQueue::KillTimer(HWND window, UINT_PTR id) {
    auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) return false;
    timers.erase(it);
    return true;
}

bool MessageQueue::IsTimerProcedure(HWND window, UINT_PTR id, TIMERPROC procedure) const {
    for (const Timer& t : timers)
        if (t.window == window && t.id == id && t.procedure == procedure) return true;
    return false;
}

void MessageQueue::Forget(HWND window) {
    for (std::deque<MSG>* queue : {&posted, &input})
        queue->erase(std::remove_if(queue->begin(), queue->end(), [&](const MSG& m) { return m.hwnd == window; }),
                     queue->end());
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window; }),
                 timers.end());
}

void ForgetWindowMessages(HWND window) { MessageQueue::Get().Forget(window); }

}  // namespace platform

using platform::MessageQueue;
using platform::WindowSystem;

namespace {

// A window filter is null, (HWND)-1 for messages of no window, or a live window.
bool ValidFilter(HWND filter) {
    return !filter || filter == reinterpret_cast<HWND>(-1) || WindowSystem::Get().Find(filter);
}

}  // namespace

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!ValidFilter(hWnd)) return FALSE;
    platform::ExitKeyPending(nullptr);
    return MessageQueue::Get().Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    if (!ValidFilter(hWnd)) return -1;
    MessageQueue& queue = MessageQueue::Get();
    for (;;) {
        DWORD exitWait = 0;
        const bool exitKey = platform::ExitKeyPending(&exitWait);
        if (queue.Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message == WM_QUIT ? 0 : 1;
        // Only a timer or the exit key can still bring a message: wait for it, as long as
        // the clock moves.
        DWORD wait = 0;
        const bool timer = queue.NextTimerDue(hWnd, wMsgFilterMin, wMsgFilterMax, &wait);
        if (!timer && !exitKey) break;
        if (!timer || (exitKey && exitWait < wait)) wait = exitWait;
        const DWORD before = timeGetTime();
        platform::SleepMilliseconds(std::min<DWORD>(std::max<DWORD>(wait, 1), 1000));
        if (timeGetTime() == before) break;  // a clock held still by a test never gets there
    }
    fprintf(stderr, "GetMessageA: no message is pending and none can arrive; returning 0 as for WM_QUIT\n");
    *lpMsg = MSG{};
    lpMsg->message = WM_QUIT;
    return 0;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg) return FALSE;
    const UINT m = lpMsg->message;
    if (m != WM_KEYDOWN && m != WM_KEYUP && m != WM_SYSKEYDOWN && m != WM_SYSKEYUP) return FALSE;
    if (m == WM_KEYDOWN || m == WM_SYSKEYDOWN) {
        // Keys that type a character, read without shift or lock states.
        const WPARAM key = lpMsg->wParam;
        int c = -1;
        if (key >= 'A' && key <= 'Z') c = static_cast<int>(key - 'A' + 'a');
        else if (key >= '0' && key <= '9') c = static_cast<int>(key);
        else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) c = static_cast<int>('0' + (key - VK_NUMPAD0));
        else if (key == VK_SPACE) c = ' ';
        else if (key == VK_RETURN) c = '\r';
        else if (key == VK_BACK) c = '\b';
        else if (key == VK_TAB) c = '\t';
        else if (key == VK_ESCAPE) c = 0x1B;
        else if (key == VK_MULTIPLY) c = '*';
        else if (key == VK_ADD) c = '+';
        else if (key == VK_SUBTRACT) c = '-';
        else if (key == VK_DECIMAL) c = '.';
        else if (key == VK_DIVIDE) c = '/';
        if (c >= 0)
            MessageQueue::Get().Post(lpMsg->hwnd, m == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, static_cast<WPARAM>(c),
                                     lpMsg->lParam);
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        // Only the procedure of a live timer is called: lParam is not trusted as a pointer.
        TIMERPROC procedure = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        if (!MessageQueue::Get().IsTimerProcedure(lpMsg->hwnd, lpMsg->wParam, procedure)) return 0;
        procedure(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
        return 0;
    }
    if (!lpMsg->hwnd) return 0;
    if (!WindowSystem::Get().Find(lpMsg->hwnd)) return 0;
    return WindowSystem::Get().Send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowSystem& system = WindowSystem::Get();
    if (hWnd == HWND_BROADCAST) {
        for (HWND top : system.TopLevelWindows()) system.Send(top, Msg, wParam, lParam);
        return 1;
    }
    if (!system.Find(hWnd)) return 0;
    return system.Send(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowSystem& system = WindowSystem::Get();
    MessageQueue& queue = MessageQueue::Get();
    if (hWnd == HWND_BROADCAST) {
        for (HWND top : system.TopLevelWindows())
            if (!queue.Post(top, Msg, wParam, lParam)) return FALSE;
        return TRUE;
    }
    if (hWnd && !system.Find(hWnd)) return FALSE;
    return queue.Post(hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

VOID WINAPI PostQuitMessage(int nExitCode) { MessageQueue::Get().PostQuit(nExitCode); }

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd && !WindowSystem::Get().Find(hWnd)) return 0;
    return MessageQueue::Get().SetTimer(hWnd, nIDEvent, uElapse, lpTimerFunc);
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    if (hWnd && !WindowSystem::Get().Find(hWnd)) return FALSE;
    if (!MessageQueue::Get().KillTimer(hWnd, uIDEvent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
