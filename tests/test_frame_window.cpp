// The frame window: which edge is under the pointer, its configuration flags, and the
// move and resize gestures driven through the window manager's input routing, with the
// rectangles they leave and the notifications they send.
#include "Core/TextNode.h"
#include "D3d/EventReceiver.h"
#include "Gui/FrameWindow.h"
#include "Gui/WindowManager.h"
#include "tests/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using windowtest::Input;

// A frame window whose inner area (inside the border) moves it.
class MovableFrame : public FrameWindow {
public:
    i32 EdgeAt(i32 x, i32 y) override {
        const i32 edge = FrameWindow::EdgeAt(x, y);
        if (edge != kNone) return edge;
        const IntPair extent = GetExtent();
        return x >= 0 && y >= 0 && x <= extent.x && y <= extent.y ? kMove : kNone;
    }
};

struct Notification {
    u32 code;
    u8 dragging;
    u8 resizing;
    bool operator==(const Notification&) const = default;
};

class NotificationLog : public EventNode {
public:
    bool RecieveEvent(WindowEvent event) override {
        const EventPayload* payload = event.payload.Get();
        notes.push_back({event.code, payload ? payload->dragging : u8(9), payload ? payload->resizing : u8(9)});
        names.push_back(event.name.c_str());
        tags.push_back(event.tag);
        return true;
    }
    std::vector<Notification> notes;
    std::vector<std::string> names;
    std::vector<const void*> tags;
};


IntRect RectOf(const Window& w) {
    return IntRect(w.GetOrigin().x, w.GetOrigin().y, w.GetExtent().x, w.GetExtent().y);
}

class FrameWindowTest : public ::testing::Test {
protected:
    void SetUp() override { TheWindowManager().Reset(); }
    void TearDown() override { TheWindowManager().Reset(); }

    // Presses at `from`, moves to `to` (one step) and releases there.
    void Drag(IntPair from, IntPair to) {
        WindowManager& wm = TheWindowManager();
        wm.RecieveEvent(Input(kEventPointerMove, from.x, from.y, from.x, from.y));
        wm.RecieveEvent(Input(kEventLeftDown, from.x, from.y, from.x, from.y));
        wm.RecieveEvent(Input(kEventPointerMove, to.x, to.y, from.x, from.y));
        wm.RecieveEvent(Input(kEventLeftUp, to.x, to.y, to.x, to.y));
    }
};

}  // namespace

TEST_F(FrameWindowTest, EdgeAtFindsCornersBeforeEdges) {
    FrameWindow frame;
    frame.SetRect({0, 0, 100, 50});
    struct Row {
        i32 x, y, edge;
    };
    const Row rows[] = {
        {97, 47, FrameWindow::kBottomRight},  // 2 pixels inside the corner: not 4 or 6
        {99, 49, FrameWindow::kBottomRight},  {0, 0, FrameWindow::kTopLeft},
        {2, 48, FrameWindow::kBottomLeft},     {98, 1, FrameWindow::kTopRight},
        {50, 1, FrameWindow::kTop},            {50, 48, FrameWindow::kBottom},
        {1, 25, FrameWindow::kLeft},           {98, 25, FrameWindow::kRight},
        {4, 25, FrameWindow::kLeft},  // the border of the 4-pixel strip counts
        {5, 25, FrameWindow::kNone},           {50, 25, FrameWindow::kNone},
        {-1, 25, FrameWindow::kNone},          {101, 25, FrameWindow::kNone},
    };
    for (const Row& row : rows) EXPECT_EQ(frame.EdgeAt(row.x, row.y), row.edge) << row.x << ", " << row.y;
    frame.SetResizable(false);
    for (const Row& row : rows) EXPECT_EQ(frame.EdgeAt(row.x, row.y), FrameWindow::kNone);
}

TEST_F(FrameWindowTest, CursorsFollowTheEdgeTable) {
    EXPECT_EQ(FrameWindow::CursorOf(0), FrameWindow::CursorOf(9));
    EXPECT_EQ(FrameWindow::CursorOf(1), FrameWindow::CursorOf(5));
    EXPECT_EQ(FrameWindow::CursorOf(2), FrameWindow::CursorOf(6));
    EXPECT_EQ(FrameWindow::CursorOf(3), FrameWindow::CursorOf(7));
    EXPECT_EQ(FrameWindow::CursorOf(4), FrameWindow::CursorOf(8));
    EXPECT_NE(FrameWindow::CursorOf(1), FrameWindow::CursorOf(3));
    EXPECT_NE(FrameWindow::CursorOf(2), FrameWindow::CursorOf(4));
}

TEST_F(FrameWindowTest, LoadingWithoutResizableTurnsResizingOffAndRemovesTheKeys) {
    FrameWindow built;
    EXPECT_TRUE(built.IsResizable());
    EXPECT_TRUE(built.IsMovable());

    FrameWindow loaded;
    TextNode config;
    auto* movable = new TextNode;
    movable->value = WString(u"1");
    config.InsertChild(WString(u"Movable"), movable);
    loaded.LoadWindows(&config);
    EXPECT_FALSE(loaded.IsResizable());
    EXPECT_TRUE(loaded.IsMovable());
    EXPECT_EQ(config.GetChild("Movable"), nullptr);
    EXPECT_EQ(loaded.GetParam(String("Movable")), nullptr);

    FrameWindow both;
    TextNode config2;
    auto* resizable = new TextNode;
    resizable->value = WString(u"1");
    auto* notMovable = new TextNode;
    notMovable->value = WString(u"0");
    config2.InsertChild(WString(u"Resizable"), resizable);
    config2.InsertChild(WString(u"Movable"), notMovable);
    both.LoadWindows(&config2);
    EXPECT_TRUE(both.IsResizable());
    EXPECT_FALSE(both.IsMovable());
    EXPECT_EQ(config2.ChildCount(), 0u);
}

TEST_F(FrameWindowTest, DraggingMovesTheWindowStepByStepAndNotifies) {
    MovableFrame frame;
    frame.SetName(String("panel"));
    frame.SetRect({100, 100, 200, 100});
    NotificationLog receiver;
    frame.AddReceiver(&receiver);
    frame.Show();
    WindowManager& wm = TheWindowManager();
    wm.RecieveEvent(Input(kEventLeftDown, 150, 150, 150, 150));
    EXPECT_TRUE(frame.IsDragging());
    EXPECT_EQ(wm.GetFocus(), &frame);
    wm.RecieveEvent(Input(kEventPointerMove, 160, 155, 150, 150));
    wm.RecieveEvent(Input(kEventPointerMove, 170, 160, 160, 155));
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {120, 110, 200, 100}));
    // Far outside the window the focus still carries the gesture on.
    wm.RecieveEvent(Input(kEventPointerMove, 600, 600, 170, 160));
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {550, 550, 200, 100}));
    wm.RecieveEvent(Input(kEventLeftUp, 600, 600, 600, 600));
    EXPECT_FALSE(frame.IsDragging());
    EXPECT_EQ(receiver.notes, (std::vector<Notification>{{14, 1, 0}, {16, 1, 0}, {16, 1, 0}, {16, 1, 0}, {15, 0, 0}}));
    EXPECT_EQ(receiver.names.front(), "panel");
    EXPECT_EQ(receiver.tags.front(), static_cast<const void*>(&frame));
}

TEST_F(FrameWindowTest, AnUnmovableFrameDoesNotStartDragging) {
    MovableFrame frame;
    frame.SetRect({0, 0, 100, 100});
    frame.SetMovable(false);
    NotificationLog receiver;
    frame.AddReceiver(&receiver);
    frame.Show();
    Drag({50, 50}, {80, 80});
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {0, 0, 100, 100}));
    EXPECT_TRUE(receiver.notes.empty());
}

TEST_F(FrameWindowTest, TheRightEdgeFollowsThePointer) {
    FrameWindow frame;
    frame.SetRect({100, 100, 200, 100});
    frame.Show();
    Drag({298, 150}, {349, 150});
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {100, 100, 250, 100}));
    Drag({101, 198}, {51, 248});  // the bottom-left corner
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {51, 100, 299, 149}));
}

TEST_F(FrameWindowTest, ResizingFromTheLeftStopsAtTheSmallestWidthWithTheRightEdgeFixed) {
    FrameWindow frame;
    frame.SetRect({100, 100, 200, 100});
    frame.SetSizeLimits({50, 20}, {400, 300});
    frame.Show();
    NotificationLog receiver;
    frame.AddReceiver(&receiver);
    WindowManager& wm = TheWindowManager();
    wm.RecieveEvent(Input(kEventLeftDown, 101, 150, 101, 150));
    ASSERT_TRUE(frame.IsResizing());
    wm.RecieveEvent(Input(kEventPointerMove, 200, 150, 101, 150));
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {200, 100, 100, 100}));
    wm.RecieveEvent(Input(kEventPointerMove, 290, 150, 200, 150));
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {250, 100, 50, 100}));
    wm.RecieveEvent(Input(kEventPointerMove, 600, 150, 290, 150));
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {250, 100, 50, 100}));
    wm.RecieveEvent(Input(kEventLeftUp, 600, 150, 600, 150));
    EXPECT_FALSE(frame.IsResizing());
    EXPECT_EQ(receiver.notes, (std::vector<Notification>{{14, 0, 1}, {16, 0, 1}, {16, 0, 1}, {16, 0, 1}, {15, 0, 0}}));
    // And the largest width holds the other way.
    Drag({251, 150}, {-500, 150});
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {-100, 100, 400, 100}));
}

TEST_F(FrameWindowTest, KeepAspectTwoGivesHalfTheWidthAsHeight) {
    FrameWindow frame;
    frame.SetRect({0, 0, 200, 100});
    frame.SetKeepAspect(true, 2.0f);
    frame.Show();
    Drag({198, 50}, {299, 50});  // the right edge to a width of 300
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {0, 0, 300, 150}));
    Drag({150, 148}, {150, 199});  // the bottom edge to a height of 200
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {0, 0, 400, 200}));
    Drag({398, 198}, {449, 209});  // a corner: the height, too small for the ratio, grows
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {0, 0, 450, 225}));
    Drag({1, 100}, {200, 100});  // the left edge: the right side stays
    EXPECT_TRUE(IntRect::Equals(RectOf(frame), {200, 0, 250, 125}));
}

TEST_F(FrameWindowTest, ANonPositiveRatioLeavesKeepAspectOff) {
    FrameWindow frame;
    frame.SetKeepAspect(true, 0.0f);
    EXPECT_FALSE(frame.KeepsAspect());
    frame.SetKeepAspect(true, 1.5f);
    EXPECT_TRUE(frame.KeepsAspect());
    EXPECT_FLOAT_EQ(frame.AspectRatio(), 1.5f);
}

TEST_F(FrameWindowTest, HoveringTracksTheEdgeAndLeavingResetsIt) {
    FrameWindow frame;
    frame.SetRect({0, 0, 100, 100});
    frame.Show();
    WindowManager& wm = TheWindowManager();
    wm.RecieveEvent(Input(kEventPointerMove, 99, 50, 300, 300));
    EXPECT_EQ(frame.CurrentEdge(), FrameWindow::kRight);
    wm.RecieveEvent(Input(kEventPointerMove, 98, 98, 99, 50));
    EXPECT_EQ(frame.CurrentEdge(), FrameWindow::kBottomRight);
    wm.RecieveEvent(Input(kEventPointerMove, 300, 300, 98, 98));
    EXPECT_EQ(frame.CurrentEdge(), FrameWindow::kNone);
}
