// The base of every 2D window drawn over the scene. A window has a rectangle relative to
// its parent (held by its layout part), a name, visible, enabled and focused flags, a
// parent, children, a band of drawing layers, properties, and a place in the event tree.
//
// Windows are redrawn on demand: a change connects the window's frame handler to the
// window manager's frame signal, and the next frame runs OnFrame, which rebuilds the
// window's quads and disconnects the handler. A pending redraw is exactly a connected
// frame handler.
//
// Ownership: a window never deletes its parent or its children. Whoever created a window
// deletes it (a text element the image window it made, the saver its overlays, a derived
// window its member windows). The destructor takes the window out of its parent and
// out of the layer list, and detaches every child, which stays alive as a parentless,
// unlinked window for its owner to delete or re-parent. Windows anchored to it are
// re-anchored to their parents, and the window manager forgets it (focus and queue).
#pragma once

#include "Core/OrderedMap.h"
#include "Core/String.h"
#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "Gui/ClientLayout.h"
#include "Gui/LayerList.h"
#include "Gui/PropertyMap.h"
#include "Gui/Signal.h"
#include "Gui/WindowEvent.h"

#include <vector>

class TextNode;

u32 WindowTypeId();
// The layer-entry part of a window (its place in a layer list); answered with the window.
u32 LayerEntryTypeId();

// Named parameters of a window without regard to case; each owns a copy of the
// configuration node it was loaded from.
class WindowParams : public OrderedMap<String, TextNode*, StringOrderNoCase> {
public:
    WindowParams() = default;
    WindowParams(const WindowParams&) = delete;
    WindowParams& operator=(const WindowParams&) = delete;
    ~WindowParams() override;
    void Clear() override;
};

class Window : public ClientLayout, public EventNode {
public:
    static constexpr i32 kDefaultMaxSize = 2000;

    Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The primary operations, in the order every window class keeps.
    virtual Window* ReturnThis() { return this; }
    ~Window() override;
    // Reconnects the frame handlers of the window and its subtree; a layer list calls it
    // on each window whose layer changed.
    virtual bool Refresh();
    // Configures the window and its existing children from a configuration node; the
    // keys "WindowFrame", "Windows" and "Styles" are removed from the node, every other
    // key becomes a named parameter.
    virtual void LoadWindows(TextNode* node);
    virtual void SetSize(i32 width, i32 height);
    // True unless (x, y) lies outside the absolute rectangle.
    virtual bool HitTest(i32 x, i32 y);
    virtual void Hide();
    virtual bool IsActive() { return visible_ && enabled_; }
    virtual void SetFloatParam(f32 value) { floatParam_ = value; }
    virtual void SetIntParam(i32 value) { intParam_ = value; }
    virtual bool SetFocus();
    virtual void KillFocus();
    // Drops every anchor that follows target (X1 and Y1 go back to the parent's edges).
    virtual void DetachAnchors(Window* target);
    // Ends a pending redraw; derived windows rebuild their quads first.
    virtual bool OnFrame();
    // The base answers code 6 (left button down) by marking the property "focused".
    virtual void OnEvent(WindowEvent event);

    // The layout part's rectangle, limited to the size limits; children whose clipped
    // rectangle changed, and the window itself, are redrawn.
    void SetRect(IntRect rect) override;
    // The event node hands the event to OnEvent.
    bool RecieveEvent(WindowEvent event) override;
    bool QueryType(u32 typeId, void** out) override;

    void SetOrigin(i32 x, i32 y);
    IntPair GetOrigin() const { return IntPair(rect_.left, rect_.top); }
    IntPair GetExtent() const { return IntPair(rect_.right, rect_.bottom); }
    Window* GetRoot();
    Window* GetParent() const { return parent_; }
    Window* GetFocusedChild() const { return focusedChild_; }
    // The children in the order they were added.
    const std::vector<Window*>& GetChildren() const { return children_; }
    // The absolute rectangle and its clip by the ancestors (origin and size); false when
    // the clip is empty.
    bool GetAbsoluteRect(IntRect& rect, IntRect& clip) const;
    IntPair ClientToScreen(i32 x, i32 y) const;
    IntPair ScreenToClient(i32 x, i32 y) const;
    // The first child with exactly this name, or null.
    Window* FindChild(const String& name) const;

    void Show();
    // Makes child a child of this window (from another parent or from the top level);
    // with resetAnchors its X1 and Y1 follow this window's left and top edges.
    void AddChild(Window* child, bool resetAnchors);
    // Takes the child out (it stays alive, hidden, with its visible flag kept).
    void RemoveChild(Window* child);
    void EnableFrameEvents(bool on, bool recursive);
    void SetEnabled(bool on);
    void SetOwnLayers(i32 n);
    void SetLayerSpan(i32 n);
    void UpdateLayers();
    // Connects the frame handler when visible, enabled, linked and not yet connected.
    void Invalidate();

    // Maps inner, given relative to outer, onto target (left, top, right, bottom); with
    // convert both are origin and size, else corners. A zero-sized outer side maps to
    // target's low edge.
    static void MapRect(IntRect outer, IntRect inner, bool convert, const f32 target[4], f32 out[4]);

    i32 AbsoluteLayer() const;
    i32 LayerFromTop() const;
    i32 LowestLayer() const { return AbsoluteLayer() - ownLayers_ + 1; }
    i32 HighestLayer() const { return LayerFromTop() + ownLayers_ - 1; }
    i32 SubtreeLayers() const;

    const String& GetName() const { return name_; }
    void SetName(const String& name) { name_ = name; }
    bool IsVisible() const { return visible_; }
    bool IsEnabled() const { return enabled_; }
    bool IsFocused() const { return focused_; }
    bool IsLinked() const { return list_ != nullptr && listNode_ != nullptr; }
    bool HasPendingRedraw() const { return frameConnection_ != nullptr; }
    i32 GetIntParam() const { return intParam_; }
    f32 GetFloatParam() const { return floatParam_; }
    i32 OwnLayers() const { return ownLayers_; }
    i32 LayerSpan() const { return layerSpan_; }
    i32 LayerOffset() const { return layerOffset_; }
    LayerList* GetList() const { return list_; }
    LayerList& ChildLayers() { return childLayers_; }

    IntPair MinSize() const { return minSize_; }
    IntPair MaxSize() const { return maxSize_; }
    void SetSizeLimits(IntPair minSize, IntPair maxSize) {
        minSize_ = minSize;
        maxSize_ = maxSize;
    }
    IntPair MinSize2() const { return minSize2_; }
    IntPair MaxSize2() const { return maxSize2_; }
    void SetSizeLimits2(IntPair minSize, IntPair maxSize) {
        minSize2_ = minSize;
        maxSize2_ = maxSize;
    }

    // The window's properties ("focused" after a left click, ...).
    PropertyMap& Properties() { return properties_; }
    const PropertyMap& Properties() const { return properties_; }
    // Named parameters (case-insensitive); SetParam keeps a copy of the node.
    bool SetParam(const String& name, const TextNode& value);
    const TextNode* GetParam(const String& name) const;
    const WindowParams& Params() const { return params_; }
    // Styles attached by LoadWindows, and the style that holds a key (null when none).
    void AttachStyle(const PropertyMap* style);
    const std::vector<const PropertyMap*>& Styles() const { return styles_; }
    const PropertyMap* StyleOf(const String& key) const;

private:
    friend class LayerList;
    void ConnectFrame();
    void DisconnectFrame();
    void HideKeepingVisible();

    // The layer-entry part: its place in a layer list.
    i32 layerOffset_ = 0;
    i32 layerSpan_ = 1;
    LayerList* list_ = nullptr;
    LayerList::Node* listNode_ = nullptr;

    String name_;
    IntPair minSize_{1, 1};
    IntPair maxSize_{kDefaultMaxSize, kDefaultMaxSize};
    IntPair minSize2_{1, 1};
    IntPair maxSize2_{kDefaultMaxSize, kDefaultMaxSize};
    i32 ownLayers_ = 1;
    bool focused_ = false;
    bool enabled_ = true;
    bool visible_ = false;
    Connection* frameConnection_ = nullptr;
    i32 intParam_ = 0;
    f32 floatParam_ = 1.0f;
    Window* parent_ = nullptr;
    Window* focusedChild_ = nullptr;
    std::vector<Window*> children_;
    LayerList childLayers_;

    // The property part.
    WindowParams params_;
    PropertyMap properties_;
    std::vector<const PropertyMap*> styles_;
    OrderedMap<String, const PropertyMap*, StringOrderNoCase> styleIndex_;
};
