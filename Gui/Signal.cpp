#include "Gui/Signal.h"

#include "Core/Timer.h"

bool ConnectionOrder::operator()(const Connection* a, const Connection* b) const {
    if (a->fired != b->fired) return a->fired;
    if (a->due != b->due) return a->due < b->due;
    return a->sequence < b->sequence;
}

Connection::~Connection() {
    if (signal) signal->Disconnect(this);
    delete handler;
}

Signal::~Signal() {
    DisconnectAll();
    for (SignalHandler* h : deadHandlers_) delete h;
    for (Connection* c : deadConnections_) delete c;
}

void Signal::Clear() { DisconnectAll(); }

void Signal::File(Connection* c) {
    c->signal = this;
    filed_.insert(c);
}

void Signal::Unfile(Connection* c) {
    filed_.erase(c);
    c->signal = nullptr;
    if (firing_ == c) firing_ = nullptr;
}

Connection* Signal::Connect(SignalHandler* handler, i64 intervalMs, bool hold) {
    if (!handler) return nullptr;
    Connection* c = new Connection();
    c->handler = handler;
    c->interval = intervalMs;
    c->last = Timer::Now();
    c->due = c->last + static_cast<u64>(intervalMs);
    c->sequence = nextSequence_++;
    c->remaining = -1;
    // Held during an emission: filed among the fired, so it first runs in the next one.
    c->fired = hold && emitting_;
    File(c);
    return c;
}

bool Signal::ConnectCounted(SignalHandler* handler, i64 intervalMs, bool hold, i32 count) {
    Connection* c = Connect(handler, intervalMs, hold);
    if (!c) return false;
    // The count is not part of the order, so the filed record may take it.
    c->remaining = count;
    c->ownedBySignal = true;
    return true;
}

void Signal::DropHandler(SignalHandler* handler) {
    if (!handler) return;
    if (emitting_)
        deadHandlers_.push_back(handler);  // it may be the one running now
    else
        delete handler;
}

void Signal::DropConnection(Connection* c) {
    if (emitting_) {
        deadConnections_.push_back(c);
    } else {
        delete c;
    }
}

void Signal::Disconnect(Connection* connection) {
    if (!connection || connection->signal != this) return;
    Unfile(connection);
    DropHandler(connection->handler);
    connection->handler = nullptr;
}

void Signal::SetInterval(Connection* connection, i64 intervalMs) {
    if (!connection) return;
    if (connection->signal != this) {
        connection->interval = intervalMs;
        return;
    }
    filed_.erase(connection);
    connection->interval = intervalMs;
    connection->due = connection->last + static_cast<u64>(intervalMs);
    filed_.insert(connection);
}

void Signal::DisconnectAll() {
    while (!filed_.empty()) {
        Connection* c = *filed_.begin();
        Unfile(c);
        if (c->ownedBySignal) {
            DropHandler(c->handler);
            c->handler = nullptr;
            DropConnection(c);
        }
    }
}

void Signal::Emit() {
    if (emitting_) return;  // an emission from inside a handler would fire connections twice
    emitting_ = true;
    // The fired connections gather in front; the first one that has not fired is the next
    // candidate, so connections added or removed by handlers never disturb the walk.
    for (;;) {
        auto it = filed_.begin();
        while (it != filed_.end() && (*it)->fired) ++it;
        if (it == filed_.end()) break;
        Connection* c = *it;
        if (c->remaining == 0) {
            Unfile(c);
            DropHandler(c->handler);
            c->handler = nullptr;
            if (c->ownedBySignal) DropConnection(c);
            continue;
        }
        const u64 now = Timer::Now();
        if (now < c->due) break;  // every later connection is due later still
        filed_.erase(it);
        c->fired = true;
        if (c->remaining > 0) --c->remaining;
        filed_.insert(c);
        firing_ = c;
        c->handler->Call();
        // A handler that disconnected its own connection has cleared firing_: the record
        // may be gone by now and is not touched.
        if (firing_ == c) c->last = now;
        firing_ = nullptr;
    }
    // Every fired connection goes back among the waiting ones with its next due time.
    while (!filed_.empty() && (*filed_.begin())->fired) {
        Connection* c = *filed_.begin();
        filed_.erase(filed_.begin());
        c->fired = false;
        c->due = c->last + static_cast<u64>(c->interval);
        filed_.insert(c);
    }
    emitting_ = false;
    std::vector<SignalHandler*> handlers;
    handlers.swap(deadHandlers_);
    for (SignalHandler* h : handlers) delete h;
    std::vector<Connection*> connections;
    connections.swap(deadConnections_);
    for (Connection* c : connections) delete c;
}
