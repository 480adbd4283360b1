#include "Gui/WindowEvent.h"

bool WindowEvent::IsKey(const WindowEvent& event) {
    return event.code == kWindowEventKeyDown || event.code == kWindowEventKeyUp;
}

bool WindowEvent::IsListed(const WindowEvent& event) {
    return event.code >= kWindowEventEntered && event.code <= kWindowEventLeftDoubleClick;
}

bool WindowEvent::IsHover(const WindowEvent& event) {
    return event.code >= kWindowEventEntered && event.code <= kWindowEventLeft;
}

IntPair WindowEvent::Previous() const {
    const EventPayload* p = payload.Get();
    return p && p->kind == EventPayload::kPointer ? p->previous : IntPair();
}

IntPair WindowEvent::Current() const {
    const EventPayload* p = payload.Get();
    return p && p->kind == EventPayload::kPointer ? p->current : IntPair();
}

u32 WindowEvent::ScanCode() const {
    const EventPayload* p = payload.Get();
    return p && p->kind == EventPayload::kKey ? p->scanCode : 0;
}

namespace {
u32 CodeOfInput(u32 type) {
    switch (type) {
        case kEventLeftDown: return kWindowEventLeftDown;
        case kEventLeftUp: return kWindowEventLeftUp;
        case kEventLeftDoubleClick: return kWindowEventLeftDoubleClick;
        case kEventRightDown: return kWindowEventRightDown;
        case kEventRightUp: return kWindowEventRightUp;
        case kEventRightDoubleClick: return kWindowEventRightDoubleClick;
        case kEventKeyDown: return kWindowEventKeyDown;
        case kEventKeyUp: return kWindowEventKeyUp;
        // Pointer moves (routed by position, not by code), characters and the rest.
        default: return kWindowEventNone;
    }
}
}  // namespace

WindowEvent MakeWindowEvent(const EVENT& input) {
    WindowEvent event(CodeOfInput(input.type));
    EventPayload* payload = new EventPayload();
    if (WindowEvent::IsKey(event)) {
        payload->kind = EventPayload::kKey;
        payload->scanCode = input.key;
    } else {
        payload->kind = EventPayload::kPointer;
        payload->previous = IntPair(input.prevX, input.prevY);
        payload->current = IntPair(input.x, input.y);
    }
    event.payload = RefHandle<EventPayload>(payload);
    return event;
}

bool EventNode::RecieveEvent(WindowEvent) { return true; }

bool BroadcastEvent(const PointerList<EventNode>& receivers, const WindowEvent& event) {
    bool result = true;
    // A snapshot: a receiver may change the list it was reached through.
    const std::vector<EventNode*> snapshot(receivers.begin(), receivers.end());
    for (EventNode* receiver : snapshot) result = receiver->RecieveEvent(event) && result;
    return result;
}
