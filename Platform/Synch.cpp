// Kernel event objects and the waits on them. Events live in a table of the process keyed
// by handle numbers that are never given out twice; a wait checks the events under one
// lock and sleeps on one condition that every SetEvent wakes, so that an event set by
// another thread (as DirectInput's own threads do on Windows) ends a wait at once.
#include "FileHandles.h"

#include <windows.h>
#include <PlatformTestInput.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace {

struct Event {
    bool manualReset = false;
    bool signalled = false;
    std::string name;
    int references = 1;
};

struct EventTable {
    std::mutex lock;
    std::condition_variable changed;
    std::map<ULONG_PTR, Event> events;
    ULONG_PTR next = 0x7000;  // multiples of 4, as kernel handles are
};

EventTable& Table() {
    static EventTable table;
    return table;
}

ULONG_PTR Key(HANDLE h) { return reinterpret_cast<ULONG_PTR>(h); }

bool AllEvents(const EventTable& table, DWORD count, const HANDLE* handles) {
    for (DWORD i = 0; i < count; ++i)
        if (!table.events.count(Key(handles[i]))) return false;
    return true;
}

// Wait-any: the index of the first signalled handle, consuming it when it resets itself;
// wait-all: 0 when every handle is signalled, consuming those that reset themselves.
// -1 while the wait is not satisfied. Called under the lock.
int Take(EventTable& table, DWORD count, const HANDLE* handles, bool all) {
    for (DWORD i = 0; i < count; ++i) {
        Event& e = table.events[Key(handles[i])];
        if (all && !e.signalled) return -1;
        if (all || !e.signalled) continue;
        if (!e.manualReset) e.signalled = false;
        return static_cast<int>(i);
    }
    if (!all) return -1;
    for (DWORD i = 0; i < count; ++i) {
        Event& e = table.events[Key(handles[i])];
        if (!e.manualReset) e.signalled = false;
    }
    return 0;
}

}  // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    EventTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    if (lpName && *lpName) {
        // A second creation of a name opens the same event and leaves its state alone.
        for (auto& [key, e] : table.events) {
            if (e.name != lpName) continue;
            ++e.references;
            SetLastError(ERROR_ALREADY_EXISTS);
            return reinterpret_cast<HANDLE>(key);
        }
    }
    const ULONG_PTR h = table.next;
    table.next += 4;
    Event& e = table.events[h];
    e.manualReset = bManualReset != FALSE;
    e.signalled = bInitialState != FALSE;
    if (lpName) e.name = lpName;
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(h);
}

namespace {
// Sets or clears an event; a set wakes every wait.
BOOL Mark(HANDLE event, bool signalled) {
    EventTable& table = Table();
    {
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.events.find(Key(event));
        if (it == table.events.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        it->second.signalled = signalled;
    }
    if (signalled) table.changed.notify_all();
    return TRUE;
}
}  // namespace

BOOL WINAPI SetEvent(HANDLE hEvent) { return Mark(hEvent, true); }
BOOL WINAPI ResetEvent(HANDLE hEvent) { return Mark(hEvent, false); }

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (platform::CloseFileHandle(hObject)) return TRUE;
    EventTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.events.find(Key(hObject));
    if (it == table.events.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--it->second.references == 0) table.events.erase(it);
    return TRUE;
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    EventTable& table = Table();
    std::unique_lock<std::mutex> guard(table.lock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    if (!AllEvents(table, nCount, lpHandles)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    for (;;) {
        const int index = Take(table, nCount, lpHandles, bWaitAll != FALSE);
        if (index >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(index);
        if (dwMilliseconds == 0) return WAIT_TIMEOUT;
        if (dwMilliseconds == INFINITE) {
            table.changed.wait(guard);
        } else if (table.changed.wait_until(guard, deadline) == std::cv_status::timeout) {
            const int last = Take(table, nCount, lpHandles, bWaitAll != FALSE);
            return last >= 0 ? WAIT_OBJECT_0 + static_cast<DWORD>(last) : WAIT_TIMEOUT;
        }
        // A handle closed while waiting ends the wait as a failure.
        if (!AllEvents(table, nCount, lpHandles)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

int PlatformTest_OpenEvents() {
    EventTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    return static_cast<int>(table.events.size());
}
