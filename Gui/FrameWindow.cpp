#include "Gui/FrameWindow.h"

#include "Core/TextNode.h"

#include <windows.h>

#include <algorithm>

namespace {

bool TouchesLeft(i32 edge) { return edge == FrameWindow::kTopLeft || edge == FrameWindow::kBottomLeft || edge == FrameWindow::kLeft; }
bool TouchesRight(i32 edge) { return edge == FrameWindow::kTopRight || edge == FrameWindow::kRight || edge == FrameWindow::kBottomRight; }
bool TouchesTop(i32 edge) { return edge == FrameWindow::kTopLeft || edge == FrameWindow::kTop || edge == FrameWindow::kTopRight; }
bool TouchesBottom(i32 edge) { return edge == FrameWindow::kBottomRight || edge == FrameWindow::kBottom || edge == FrameWindow::kBottomLeft; }


// Reads and removes a flag key; false when the key is absent.
bool TakeFlag(TextNode* node, const char* key, bool& out) {
    TextDataTree::Entry* entry = node->FindChild(key);
    if (!entry) return false;
    const WString name = entry->key;
    TextNode* child = node->Erase(name);
    out = TextNode::IntOf(child) != 0;
    TextDataTree::DeleteTree(child);
    return true;
}

}  // namespace

const char* FrameWindow::CursorOf(i32 edge) {
    switch (edge) {
    case kTopLeft:
    case kBottomRight: return IDC_SIZENWSE;
    case kTop:
    case kBottom: return IDC_SIZENS;
    case kTopRight:
    case kBottomLeft: return IDC_SIZENESW;
    case kRight:
    case kLeft: return IDC_SIZEWE;
    default: return IDC_ARROW;
    }
}

void FrameWindow::ShowCursorOf(i32 edge) { SetCursor(LoadCursorA(nullptr, CursorOf(edge))); }

void FrameWindow::LoadWindows(TextNode* node) {
    if (node) {
        bool on = false;
        SetResizable(TakeFlag(node, "Resizable", on) && on);
        SetMovable(TakeFlag(node, "Movable", on) && on);
    }
    Window::LoadWindows(node);
}

void FrameWindow::SetResizable(bool on) {
    resizable_ = on;
    if (!on) resizing_ = false;
}

void FrameWindow::SetMovable(bool on) {
    movable_ = on;
    if (!on) dragging_ = false;
}

void FrameWindow::SetKeepAspect(bool on, f32 ratio) {
    keepAspect_ = on && ratio > 0.0f;
    if (ratio > 0.0f) ratio_ = ratio;
}

i32 FrameWindow::EdgeAt(i32 x, i32 y) {
    const IntPair extent = GetExtent();
    const i32 w = extent.x, h = extent.y;
    struct Place {
        IntRect rect;
        i32 edge;
    };
    // Corners before edges, so a point in a corner is never taken for one of its edges.
    const Place places[] = {
        {{w - kBorder, h - kBorder, kBorder, kBorder}, kBottomRight},
        {{0, h - kBorder, kBorder, kBorder}, kBottomLeft},
        {{0, 0, kBorder, kBorder}, kTopLeft},
        {{w - kBorder, 0, kBorder, kBorder}, kTopRight},
        {{0, h - kBorder, w, kBorder}, kBottom},
        {{0, 0, kBorder, h}, kLeft},
        {{w - kBorder, 0, kBorder, h}, kRight},
        {{0, 0, w, kBorder}, kTop},
    };
    const IntRect whole(0, 0, w, h);
    for (const Place& place : places) {
        IntRect clipped;
        if (!IntRect::Intersect(place.rect, whole, clipped, true)) continue;
        if (ClassifyPointInRect(clipped, x, y, true) == kPointOutside) continue;
        return resizable_ ? place.edge : kNone;
    }
    return kNone;
}

void FrameWindow::Notify(u32 code) {
    WindowEvent event(code);
    event.name = GetName();
    event.tag = this;
    auto* payload = new EventPayload;
    payload->kind = EventPayload::kGesture;
    payload->dragging = dragging_ ? 1 : 0;
    payload->resizing = resizing_ ? 1 : 0;
    event.payload = RefHandle<EventPayload>(payload);
    BroadcastEvent(receivers_, event);
}

void FrameWindow::StartGesture(const WindowEvent& event) {
    const IntPair pointer = event.Current();
    const IntPair local = ScreenToClient(pointer.x, pointer.y);
    edge_ = EdgeAt(local.x, local.y);
    if (edge_ == kMove && movable_) dragging_ = true;
    else if (edge_ >= kTopLeft && edge_ <= kLeft && resizable_) resizing_ = true;
    else return;
    start_ = pointer;
    const IntPair origin = GetOrigin();
    const IntPair extent = GetExtent();
    startRect_ = IntRect(origin.x, origin.y, extent.x, extent.y);
    const IntPair absolute = ClientToScreen(0, 0);
    parentOrigin_ = IntPair(absolute.x - origin.x, absolute.y - origin.y);
    SetFocus();
    Notify(kWindowEventGestureStarted);
}

IntRect FrameWindow::ResizedRect(IntPair pointer) const {
    const IntPair minSize = MinSize();
    const IntPair maxSize = MaxSize();
    // The pointer in the parent's coordinates; the dragged side lands on its pixel.
    const i32 px = pointer.x - parentOrigin_.x;
    const i32 py = pointer.y - parentOrigin_.y;
    const i32 right = startRect_.left + startRect_.right;
    const i32 bottom = startRect_.top + startRect_.bottom;
    i32 w = startRect_.right, h = startRect_.bottom;
    if (TouchesRight(edge_)) w = px - startRect_.left + 1;
    if (TouchesLeft(edge_)) w = right - px;
    if (TouchesBottom(edge_)) h = py - startRect_.top + 1;
    if (TouchesTop(edge_)) h = bottom - py;
    w = Clamp(w, minSize.x, maxSize.x);
    h = Clamp(h, minSize.y, maxSize.y);
    if (keepAspect_) {
        auto heightOf = [&](i32 width) { return Clamp(static_cast<i32>(static_cast<f32>(width) / ratio_), minSize.y, maxSize.y); };
        auto widthOf = [&](i32 height) { return Clamp(static_cast<i32>(static_cast<f32>(height) * ratio_), minSize.x, maxSize.x); };
        if (edge_ == kLeft || edge_ == kRight) {
            h = heightOf(w);
            w = widthOf(h);
        } else if (edge_ == kTop || edge_ == kBottom) {
            w = widthOf(h);
        } else if (static_cast<f32>(w) < static_cast<f32>(h) * ratio_) {
            w = widthOf(h);
            h = heightOf(w);
        } else {
            h = heightOf(w);
            w = widthOf(h);
        }
    }
    // A left or top side moves by what the size changed: the opposite side stays put.
    const i32 x = TouchesLeft(edge_) ? right - w : startRect_.left;
    const i32 y = TouchesTop(edge_) ? bottom - h : startRect_.top;
    return IntRect(x, y, w, h);
}

void FrameWindow::FollowPointer(IntPair pointer) {
    if (dragging_) {
        const IntPair origin = GetOrigin();
        const IntPair extent = GetExtent();
        SetRect(IntRect(origin.x + pointer.x - start_.x, origin.y + pointer.y - start_.y, extent.x, extent.y));
        start_ = pointer;
    } else {
        SetRect(ResizedRect(pointer));
    }
    Notify(kWindowEventGestureMoved);
}

void FrameWindow::EndGesture() {
    dragging_ = false;
    resizing_ = false;
    ShowCursorOf(kNone);
    Notify(kWindowEventGestureEnded);
}

void FrameWindow::OnEvent(WindowEvent event) {
    Window::OnEvent(event);
    const bool gesture = dragging_ || resizing_;
    if (WindowEvent::IsHover(event)) {
        if (gesture) {
            FollowPointer(event.Current());
        } else if (event.code == kWindowEventLeft && edge_ != kNone) {
            edge_ = kNone;
            ShowCursorOf(kNone);
        } else if (!(event.flags & kWindowEventOutside)) {
            const IntPair pointer = event.Current();
            const IntPair local = ScreenToClient(pointer.x, pointer.y);
            edge_ = EdgeAt(local.x, local.y);
            ShowCursorOf(edge_);
        }
        return;
    }
    if (event.code == kWindowEventLeftDown && !gesture) StartGesture(event);
    else if (event.code == kWindowEventLeftUp && gesture) EndGesture();
}
