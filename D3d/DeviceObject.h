// Objects that live on the Direct3D device, and objects that see every window message
// first. Both register with the program-wide Application, which keeps each kind in a set
// walked in registration order: device objects are invalidated before a device reset and
// restored after it; message listeners get each message before the Application handles it.
//
// A walk goes over a snapshot of the set: an object that registers during the walk is not
// visited, and one that leaves during the walk is skipped, so a Restore that creates or
// destroys other device objects never visits anything twice or after its destruction.
#pragma once

#include <windows.h>

#include "Core/Array.h"
#include "Core/Types.h"

// An insertion-ordered set of object pointers (an object is entered at most once) whose
// walks see a snapshot of it.
template <class T>
class RegistrationSet {
public:
    // False when the object is already in the set (nothing changes).
    bool Add(T* object) {
        if (!object || Find(object) >= 0) return false;
        return entries.Add(object) != nullptr;
    }
    void Remove(T* object) {
        const i32 at = Find(object);
        if (at < 0) return;
        if (walking > 0) {
            entries[at] = nullptr;  // keeps the positions the walk stands on
            ++holes;
            return;
        }
        for (i32 i = at + 1; i < entries.count; ++i) entries[i - 1] = entries[i];
        entries.Resize(entries.count - 1);
    }
    bool Contains(const T* object) const { return object && Find(object) >= 0; }
    i32 Count() const { return entries.count - holes; }
    void Clear() {
        if (walking > 0) {
            for (T*& entry : entries) entry = nullptr;
            holes = entries.count;
            return;
        }
        entries.Resize(0);
        holes = 0;
    }

    // Calls visit(object) for each object in the set when the walk starts that is still in
    // it when its turn comes.
    template <class F>
    void Walk(F&& visit) {
        ++walking;
        const i32 end = entries.count;
        for (i32 i = 0; i < end; ++i) {
            if (T* object = entries[i]) visit(object);
        }
        if (--walking == 0 && holes > 0) Compact();
    }

private:
    i32 Find(const T* object) const {
        for (i32 i = 0; i < entries.count; ++i)
            if (entries[i] == object) return i;
        return -1;
    }
    void Compact() {
        i32 kept = 0;
        for (i32 i = 0; i < entries.count; ++i)
            if (entries[i]) entries[kept++] = entries[i];
        entries.Resize(kept);
        holes = 0;
    }

    Array<T*> entries{0, 16};
    i32 holes = 0;
    i32 walking = 0;
};

// Everything holding Direct3D resources that a device reset destroys. There is no base
// constructor that registers: each derived class calls Register when it is ready, and
// decides what a missing device means for it.
class DeviceObject {
public:
    virtual bool Restore() { return true; }     // re-create what Invalidate released
    virtual bool Invalidate() { return true; }  // release device resources before a reset
    virtual ~DeviceObject();

    // Enters the object into the Application's set; false without an Application
    // (nothing registered), else whether a device exists now.
    bool Register();
    void Unregister();
};

// Everything that wants to see the window's messages before the Application.
class MessageListener {
public:
    virtual void HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual ~MessageListener();

    // False without an Application.
    bool Register();
};
