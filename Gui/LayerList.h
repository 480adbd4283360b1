// A band of drawing layers (top and bottom inclusive) and the windows stacked in it, in
// order from the lowest layer number (nearest the viewer) to the highest. A window
// takes `layerSpan` layers ending at its `layerOffset`. The window manager's list holds
// the top-level windows in layers 1 to 10000; every window holds its children in a list
// of its own band. Windows are spread evenly when the first one arrives, later ones are
// fitted in next to the cursor window moving only their neighbours, and a window whose
// subtree grows has its band packed again.
#pragma once

#include "Core/Types.h"

class Window;

class LayerList {
public:
    struct Node {
        Window* window;
        Node* prev;
        Node* next;
    };

    LayerList(i32 top, i32 bottom) : top_(top), bottom_(bottom) {}
    LayerList(const LayerList&) = delete;
    LayerList& operator=(const LayerList&) = delete;
    // Unlinks every window still in it (their list pointers are cleared).
    virtual ~LayerList();

    // Links the window in: next to the cursor window, or, into an empty list, alone and
    // spread. False, with nothing changed, when the band has no room for its span.
    bool Insert(Window* window);
    // Places the window immediately before `neighbour`, moving only the windows around
    // it. False, with the list and the window unchanged, when there is no room.
    bool InsertNear(Window* window, Window* neighbour);
    // Takes the window out; its list, node and offset become null, null and -1.
    void Unlink(Window* window);

    // Even gaps between the windows over the whole band.
    void Spread();
    // The windows packed against the top (or the bottom) of the band.
    void Pack(bool fromBottom);

    void SetBand(i32 top, i32 bottom) {
        top_ = top;
        bottom_ = bottom;
    }
    i32 Top() const { return top_; }
    i32 Bottom() const { return bottom_; }
    i32 SumOfSpans() const { return sumOfSpans_; }
    u32 Count() const { return count_; }
    // The window with the lowest layer number, or null; walk on with Next.
    Window* First() const;
    Window* Last() const;
    Window* Next(const Window* window) const;
    Window* Prev(const Window* window) const;
    Window* CursorWindow() const;

private:
    void LinkBefore(Node* at, Node* node);  // at null: append
    void Place(Window* window, i32 offset);

    i32 top_;
    i32 bottom_;
    i32 sumOfSpans_ = 0;
    u32 count_ = 0;
    Node* first_ = nullptr;
    Node* cursor_ = nullptr;
};
