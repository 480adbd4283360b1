// A signal is a time-ordered set of connections to handlers. Emitting it calls every
// handler whose due time has come, each at most once per emission, so one signal serves
// handlers that run every frame (interval 0), every so many milliseconds, or a fixed
// number of times. The window manager's frame signal is the one the windows use.
//
// Ownership is settled by the count a connection is made with. An unlimited connection
// (Connect) belongs to its caller, who keeps the pointer, disconnects it when done and
// deletes it; deleting it also disconnects it. A counted connection (ConnectCounted) belongs
// to the signal alone: no pointer to it is handed out, and the signal deletes it when
// it is spent or the signal goes away, so nothing can be deleted from both sides.
//
// Handlers may connect and disconnect connections, their own included, while the signal
// is being emitted: the emission always resumes from the set itself (never from a
// remembered neighbour), and handlers removed during it are freed only once it ends.
#pragma once

#include "Core/Types.h"

#include <set>
#include <vector>

// A callable with no arguments; what a connection calls when it fires.
class SignalHandler {
public:
    virtual ~SignalHandler() = default;
    virtual void Call() = 0;
};

// A handler bound to one object and one of its operations.
template <class T, class R = bool>
class MemberHandler : public SignalHandler {
public:
    using Operation = R (T::*)();
    MemberHandler(T* object, Operation operation) : object_(object), operation_(operation) {}
    void Call() override { (object_->*operation_)(); }

private:
    T* object_;
    Operation operation_;
};

class Signal;

class Connection {
public:
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    // Disconnects (when still connected) and deletes the handler.
    ~Connection();

    bool IsConnected() const { return signal != nullptr; }
    i32 Remaining() const { return remaining; }
    u64 Due() const { return due; }
    u64 Last() const { return last; }
    i64 Interval() const { return interval; }

private:
    friend class Signal;
    friend struct ConnectionOrder;
    Connection() = default;

    SignalHandler* handler = nullptr;  // owned
    Signal* signal = nullptr;          // the signal it is filed in; null when not connected
    u64 last = 0;                      // ms of the last firing, or of connecting
    i64 interval = 0;                  // least ms between firings; 0 = every emission
    u64 due = 0;                       // last + interval: the ordering key
    u64 sequence = 0;                  // creation order; breaks ties of due
    i32 remaining = -1;                // firings left; -1 unlimited; 0 spent
    bool fired = false;                // fired in the emission under way (or must wait for the next)
    bool ownedBySignal = false;        // a counted connection
};

// Fired connections first, then ascending due time, then creation order.
struct ConnectionOrder {
    bool operator()(const Connection* a, const Connection* b) const;
};

class Signal {
public:
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    // Disconnects everything: counted connections are deleted, the others are left to
    // their owners, unconnected.
    virtual ~Signal();
    // DisconnectAll.
    virtual void Clear();

    // An unlimited connection owned by the caller. It first fires at now + interval ms;
    // with hold while the signal is emitting it waits for the next emission. Takes over
    // the handler (deleted when the connection is); null when handler is null.
    Connection* Connect(SignalHandler* handler, i64 intervalMs, bool hold);
    // A connection owned by the signal that fires `count` times (count > 0) and is then
    // deleted by the emission that reaches it; a negative count never runs out. False when
    // handler is null (then nothing is kept).
    bool ConnectCounted(SignalHandler* handler, i64 intervalMs, bool hold, i32 count);

    // Unfiles the connection and deletes its handler; the record stays with its owner.
    // Nothing for null or for a connection of another signal.
    void Disconnect(Connection* connection);
    // Stores the interval; a connected one is filed again with due = last + interval.
    void SetInterval(Connection* connection, i64 intervalMs);
    // Unfiles every connection; counted ones are deleted.
    void DisconnectAll();

    // Fires every due connection once, reading the engine clock per firing.
    void Emit();

    u32 Count() const { return static_cast<u32>(filed_.size()); }
    bool IsEmitting() const { return emitting_; }

private:
    void File(Connection* c);
    void Unfile(Connection* c);
    // Deletes a handler now, or at the end of the emission under way.
    void DropHandler(SignalHandler* handler);
    void DropConnection(Connection* c);

    std::set<Connection*, ConnectionOrder> filed_;
    std::vector<SignalHandler*> deadHandlers_;  // removed during an emission
    std::vector<Connection*> deadConnections_;  // counted ones removed during an emission
    Connection* firing_ = nullptr;              // the connection whose handler runs now
    u64 nextSequence_ = 0;
    bool emitting_ = false;
};
