// A window the user can move by dragging it and resize by dragging one of its edges or
// corners, with the matching mouse cursor. The caret, rich-text and label windows are
// built on it. The border is 4 pixels wide; which part of the window moves it is for the
// windows built on this one to say (their EdgeAt answers 9 there).
//
// A gesture starts with the left button on an edge (or the moving area), follows the
// pointer on every move the window gets, also from outside it while it holds the focus,
// and ends with the button's release. Sizes stay within the window's size limits; with
// keep-aspect the width and height keep their ratio. Every step is told to the frame
// window's receivers as a window event named after the window: 14 when a gesture starts,
// 16 after each step, 15 when it ends.
#pragma once

#include "Core/IntRect.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Gui/Window.h"
#include "Gui/WindowEvent.h"

class TextNode;

class FrameWindow : public Window {
public:
    // Where the pointer is, numbered clockwise from the top-left corner.
    enum Edge : i32 {
        kNone = 0,
        kTopLeft = 1,
        kTop = 2,
        kTopRight = 3,
        kRight = 4,
        kBottomRight = 5,
        kBottom = 6,
        kBottomLeft = 7,
        kLeft = 8,
        kMove = 9,  // the area that moves the whole window
    };
    static constexpr i32 kBorder = 4;

    FrameWindow() = default;
    ~FrameWindow() override = default;

    // "Resizable" and "Movable" are read and removed before the base loader sees the node;
    // a missing key clears its flag (and ends a gesture of that kind).
    void LoadWindows(TextNode* node) override;
    void OnEvent(WindowEvent event) override;

    // The edge under (x, y) in window coordinates. Edges count only while resizable.
    virtual i32 EdgeAt(i32 x, i32 y);

    void SetResizable(bool on);
    void SetMovable(bool on);
    bool IsResizable() const { return resizable_; }
    bool IsMovable() const { return movable_; }
    // Keeps width / height at ratio during resizing (off at start). A ratio that is not
    // positive turns it off.
    void SetKeepAspect(bool on, f32 ratio);
    bool KeepsAspect() const { return keepAspect_; }
    f32 AspectRatio() const { return ratio_; }

    bool IsDragging() const { return dragging_; }
    bool IsResizing() const { return resizing_; }
    i32 CurrentEdge() const { return edge_; }

    // Who hears of gestures (codes 14, 16 and 15); not owned.
    void AddReceiver(EventNode* receiver) { receivers_.AddUnique(receiver); }
    void RemoveReceiver(EventNode* receiver) { receivers_.RemoveAll(receiver); }

    // The standard cursor shown over an edge (IDC_ARROW for 0 and 9).
    static const char* CursorOf(i32 edge);

private:
    void ShowCursorOf(i32 edge);
    void Notify(u32 code);
    void StartGesture(const WindowEvent& event);
    void FollowPointer(IntPair pointer);
    void EndGesture();
    // The new rectangle while resizing to the pointer, limits and aspect applied.
    IntRect ResizedRect(IntPair pointer) const;

    bool resizable_ = true;
    bool movable_ = true;
    bool resizing_ = false;
    bool dragging_ = false;
    i32 edge_ = kNone;
    IntPair start_;       // the pointer when the gesture started (dragging: at the last step)
    IntRect startRect_{0, 0, 0, 0};  // the rectangle then, in the parent's coordinates
    IntPair parentOrigin_;  // the parent's absolute origin during the gesture
    bool keepAspect_ = false;
    f32 ratio_ = 1.0f;
    PointerList<EventNode> receivers_;
};
