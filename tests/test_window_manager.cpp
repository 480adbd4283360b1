// The window manager without a device: layer depths, focus, and the routing of input
// events to top-level windows and down their trees, read from what each window's event
// handler received, in order.
#include "D3d/EventReceiver.h"
#include "Gui/Window.h"
#include "Gui/WindowManager.h"
#include "tests/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using windowtest::Input;

struct Received {
    std::string window;
    u32 code;
    u32 flags;
    bool operator==(const Received&) const = default;
};

void PrintTo(const Received& r, std::ostream* os) { *os << r.window << ":" << r.code << "/" << r.flags; }

using Log = std::vector<Received>;

// A window that writes every event its handler gets into a shared log.
class LoggingWindow : public Window {
public:
    LoggingWindow(Log& log, const char* name, IntRect rect) : log_(log) {
        SetName(String(name));
        SetRect(rect);
    }
    void OnEvent(WindowEvent event) override {
        log_.push_back({GetName().c_str(), event.code, event.flags});
        Window::OnEvent(event);
    }

private:
    Log& log_;
};


class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override { TheWindowManager().Reset(); }
    void TearDown() override { TheWindowManager().Reset(); }
    WindowManager& wm = TheWindowManager();
    Log log;
};

}  // namespace

TEST_F(WindowManagerTest, LayerDepthRunsFromZeroToOneAndGrowsTowardsOne) {
    EXPECT_FLOAT_EQ(wm.LayerDepth(1), 0.0f);
    EXPECT_FLOAT_EQ(wm.LayerDepth(10000), 1.0f);
    f32 previous = wm.LayerDepth(1);
    f32 previousStep = 0.0f;
    for (i32 layer = 2; layer <= 10000; ++layer) {
        const f32 depth = wm.LayerDepth(layer);
        ASSERT_GE(depth, previous) << layer;
        previous = depth;
    }
    // Equal steps of layers give ever smaller steps of depth: they crowd towards 1.
    previous = wm.LayerDepth(1);
    for (i32 layer = 1001; layer <= 10000; layer += 1000) {
        const f32 step = wm.LayerDepth(layer) - previous;
        if (layer > 1001) {
            EXPECT_LT(step, previousStep) << layer;
        }
        previousStep = step;
        previous = wm.LayerDepth(layer);
    }
    EXPECT_GT(wm.LayerDepth(2), 0.0f);
    EXPECT_LT(wm.LayerDepth(9999), 1.0f);
}

TEST_F(WindowManagerTest, AButtonOverTwoTopLevelWindowsReachesOnlyTheNearer) {
    LoggingWindow a(log, "A", {0, 0, 100, 100});
    LoggingWindow b(log, "B", {50, 50, 100, 100});
    a.Show();
    b.Show();
    ASSERT_EQ(wm.Count(), 2u);
    Window* nearer = wm.First();
    const std::string nearName = nearer->GetName().c_str();
    wm.RecieveEvent(Input(kEventLeftDown, 60, 60, 60, 60));
    EXPECT_EQ(log, (Log{{nearName, 6, 0}}));
    EXPECT_EQ(wm.QueuedCount(), 0u);
}

TEST_F(WindowManagerTest, TheFocusWindowElsewhereGetsTheButtonMarkedOutside) {
    LoggingWindow a(log, "A", {0, 0, 100, 100});
    LoggingWindow f(log, "F", {500, 500, 10, 10});
    a.Show();
    f.Show();
    wm.SetFocus(&f);
    wm.DispatchQueued();
    EXPECT_EQ(log, (Log{{"F", 1, 0}}));
    log.clear();
    wm.RecieveEvent(Input(kEventLeftDown, 10, 10, 10, 10));
    EXPECT_EQ(log, (Log{{"A", 6, 0}, {"F", 6, kWindowEventOutside}}));
    // Over the focus window itself it is served once, without the flag.
    log.clear();
    wm.RecieveEvent(Input(kEventLeftUp, 505, 505, 505, 505));
    EXPECT_EQ(log, (Log{{"F", 7, 0}}));
    // A move elsewhere reaches the focus window as code 4 outside it.
    log.clear();
    wm.RecieveEvent(Input(kEventPointerMove, 300, 300, 310, 310));
    EXPECT_EQ(log, (Log{{"F", 4, kWindowEventOutside}}));
}

TEST_F(WindowManagerTest, MovingFromOneWindowToAnotherLeavesAndEnters) {
    LoggingWindow a(log, "A", {0, 0, 100, 100});
    LoggingWindow b(log, "B", {200, 0, 100, 100});
    a.Show();
    b.Show();
    wm.RecieveEvent(Input(kEventPointerMove, 250, 50, 50, 50));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE((log == Log{{"A", 5, 0}, {"B", 3, 0}}) || (log == Log{{"B", 3, 0}, {"A", 5, 0}}));
    log.clear();
    wm.RecieveEvent(Input(kEventPointerMove, 60, 60, 50, 50));
    EXPECT_EQ(log, (Log{{"A", 4, 0}}));
    log.clear();
    wm.RecieveEvent(Input(kEventPointerMove, 500, 500, 400, 400));
    EXPECT_TRUE(log.empty());
}

TEST_F(WindowManagerTest, HiddenAndDisabledWindowsAreNotHit) {
    LoggingWindow a(log, "A", {0, 0, 100, 100});
    LoggingWindow b(log, "B", {0, 0, 100, 100});
    a.Show();
    b.Show();
    b.SetEnabled(false);
    a.Hide();
    wm.RecieveEvent(Input(kEventLeftDown, 10, 10, 10, 10));
    EXPECT_TRUE(log.empty());
}

TEST_F(WindowManagerTest, AKeyGoesToTheFocusWindowAndDownItsFocusedChildren) {
    LoggingWindow top(log, "top", {0, 0, 300, 300});
    LoggingWindow middle(log, "middle", {0, 0, 200, 200});
    LoggingWindow leaf(log, "leaf", {0, 0, 100, 100});
    LoggingWindow other(log, "other", {100, 100, 50, 50});
    top.AddChild(&middle, false);
    middle.AddChild(&leaf, false);
    top.AddChild(&other, false);
    top.Show();
    leaf.SetFocus();
    middle.SetFocus();
    top.SetFocus();
    wm.DispatchQueued();
    log.clear();
    wm.RecieveEvent(Input(kEventKeyDown, 0, 0, 0, 0, 30));
    EXPECT_EQ(log, (Log{{"top", 12, 0}, {"middle", 12, 0}, {"leaf", 12, 0}}));
    log.clear();
    wm.RecieveEvent(Input(kEventKeyUp, 0, 0, 0, 0, 30));
    EXPECT_EQ(log, (Log{{"top", 13, 0}, {"middle", 13, 0}, {"leaf", 13, 0}}));
    // A character has no window meaning: code 0, to the focus window only.
    log.clear();
    wm.RecieveEvent(Input(kEventCharacter, 0, 0, 0, 0, 'a'));
    EXPECT_EQ(log, (Log{{"top", 0, 0}}));
}

TEST_F(WindowManagerTest, PositionalEventsReachChildrenUnderThePointerParentFirst) {
    LoggingWindow top(log, "top", {100, 100, 300, 300});
    LoggingWindow left(log, "left", {0, 0, 100, 100});
    LoggingWindow right(log, "right", {150, 0, 100, 100});
    top.AddChild(&left, false);
    top.AddChild(&right, false);
    top.Show();
    // (x, y) relative to the screen: left spans 100..200, right 250..350.
    wm.RecieveEvent(Input(kEventLeftDown, 120, 120, 120, 120));
    EXPECT_EQ(log, (Log{{"top", 6, 0}, {"left", 6, 0}}));
    log.clear();
    wm.RecieveEvent(Input(kEventPointerMove, 260, 120, 120, 120));
    EXPECT_EQ(log, (Log{{"top", 4, 0}, {"left", 5, 0}, {"right", 3, 0}}));
    // A focused child the pointer is not over still follows the move, marked outside.
    left.SetFocus();
    wm.DispatchQueued();
    log.clear();
    wm.RecieveEvent(Input(kEventPointerMove, 270, 130, 260, 120));
    EXPECT_EQ(log, (Log{{"top", 4, 0}, {"left", 4, kWindowEventOutside}, {"right", 4, 0}}));
    // Right-button codes stay with the top-level window.
    log.clear();
    wm.RecieveEvent(Input(kEventRightDown, 270, 130, 270, 130));
    EXPECT_EQ(log, (Log{{"top", 9, 0}}));
}

TEST_F(WindowManagerTest, SetFocusPostsLostAndGainedOnlyOnAChange) {
    LoggingWindow a(log, "A", {0, 0, 10, 10});
    LoggingWindow b(log, "B", {0, 0, 10, 10});
    wm.SetFocus(&a);
    wm.SetFocus(&a);
    EXPECT_EQ(wm.QueuedCount(), 1u);
    wm.SetFocus(&b);
    wm.DispatchQueued();
    EXPECT_EQ(log, (Log{{"A", 1, 0}, {"A", 2, 0}, {"B", 1, 0}}));
    log.clear();
    wm.SetFocus(nullptr);
    wm.DispatchQueued();
    EXPECT_EQ(log, (Log{{"B", 2, 0}}));
    EXPECT_EQ(wm.GetFocus(), nullptr);
}

TEST_F(WindowManagerTest, AWindowDestroyedWithQueuedEventsIsForgotten) {
    LoggingWindow a(log, "A", {0, 0, 10, 10});
    {
        LoggingWindow doomed(log, "doomed", {0, 0, 10, 10});
        wm.SetFocus(&doomed);
        wm.PostEvent(&doomed, WindowEvent(kWindowEventLeftDown));
        EXPECT_EQ(wm.GetFocus(), &doomed);
    }
    EXPECT_EQ(wm.GetFocus(), nullptr);
    wm.PostEvent(&a, WindowEvent(kWindowEventLeftUp));
    wm.DispatchQueued();
    EXPECT_EQ(log, (Log{{"A", 7, 0}}));
}

TEST_F(WindowManagerTest, EventsQueuedWhileDrainingAreDeliveredInTheSameDrain) {
    class Chaining : public Window {
    public:
        explicit Chaining(Window* next_) : next(next_) {}
        void OnEvent(WindowEvent event) override {
            if (event.code == kWindowEventLeftDown) TheWindowManager().PostEvent(next, WindowEvent(kWindowEventLeftUp));
        }
        Window* next;
    };
    LoggingWindow b(log, "B", {0, 0, 10, 10});
    Chaining a(&b);
    a.SetRect({0, 0, 50, 50});
    a.Show();
    wm.RecieveEvent(Input(kEventLeftDown, 5, 5, 5, 5));
    EXPECT_EQ(log, (Log{{"B", 7, 0}}));
    EXPECT_EQ(wm.QueuedCount(), 0u);
}

TEST_F(WindowManagerTest, WithNoWindowsDrawEmitsTheFrameSignalAndSucceeds) {
    struct Counter : SignalHandler {
        int* calls;
        explicit Counter(int* c) : calls(c) {}
        void Call() override { ++*calls; }
    };
    int calls = 0;
    Connection* connection = wm.FrameSignal().Connect(new Counter(&calls), 0, false);
    ASSERT_NE(connection, nullptr);
    EXPECT_TRUE(wm.Draw());
    EXPECT_TRUE(wm.Draw());
    EXPECT_EQ(calls, 2);
    delete connection;
}
