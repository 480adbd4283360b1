// The frame window's cursors as they reach the platform: the standard cursor of each edge
// while hovering, the arrow when the pointer leaves, and the arrow again when a gesture
// ends, read from the record of SetCursor calls.
#include "D3d/EventReceiver.h"
#include "Gui/FrameWindow.h"
#include "Gui/WindowManager.h"
#include "tests/WindowTestSupport.h"

#include <PlatformTestWindows.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using windowtest::Input;


class FrameWindowCursor : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformTest_ResetWindows();
        TheWindowManager().Reset();
    }
    void TearDown() override { TheWindowManager().Reset(); }
};

constexpr WORD kArrow = 32512, kNwse = 32642, kNesw = 32643, kWe = 32644, kNs = 32645;

}  // namespace

TEST_F(FrameWindowCursor, HoveringShowsTheCursorOfEachEdge) {
    FrameWindow frame;
    frame.SetRect({0, 0, 100, 100});
    frame.Show();
    WindowManager& wm = TheWindowManager();
    struct Row {
        i32 x, y;
        WORD cursor;
    };
    const Row rows[] = {{1, 1, kNwse}, {50, 1, kNs}, {98, 1, kNesw}, {98, 50, kWe}, {98, 98, kNwse},
                        {50, 98, kNs}, {1, 98, kNesw}, {1, 50, kWe},   {50, 50, kArrow}};
    IntPair previous(50, 50);
    for (const Row& row : rows) {
        PlatformTest_ClearCursorsSet();
        wm.RecieveEvent(Input(kEventPointerMove, row.x, row.y, previous.x, previous.y));
        EXPECT_EQ(PlatformTest_CursorsSet(), (std::vector<WORD>{row.cursor})) << row.x << ", " << row.y;
        previous = IntPair(row.x, row.y);
    }
    // Leaving from an edge puts the arrow back.
    wm.RecieveEvent(Input(kEventPointerMove, 98, 50, previous.x, previous.y));
    PlatformTest_ClearCursorsSet();
    wm.RecieveEvent(Input(kEventPointerMove, 300, 50, 98, 50));
    EXPECT_EQ(PlatformTest_CursorsSet(), (std::vector<WORD>{kArrow}));
}

TEST_F(FrameWindowCursor, AWindowThatIsNotResizableShowsOnlyTheArrow) {
    FrameWindow frame;
    frame.SetRect({0, 0, 100, 100});
    frame.SetResizable(false);
    frame.Show();
    PlatformTest_ClearCursorsSet();
    TheWindowManager().RecieveEvent(Input(kEventPointerMove, 98, 98, 50, 50));
    EXPECT_EQ(PlatformTest_CursorsSet(), (std::vector<WORD>{kArrow}));
}

TEST_F(FrameWindowCursor, TheEndOfAGestureShowsTheArrow) {
    FrameWindow frame;
    frame.SetRect({0, 0, 100, 100});
    frame.Show();
    WindowManager& wm = TheWindowManager();
    wm.RecieveEvent(Input(kEventLeftDown, 98, 50, 98, 50));
    ASSERT_TRUE(frame.IsResizing());
    wm.RecieveEvent(Input(kEventPointerMove, 120, 50, 98, 50));
    PlatformTest_ClearCursorsSet();
    wm.RecieveEvent(Input(kEventLeftUp, 120, 50, 120, 50));
    EXPECT_EQ(PlatformTest_CursorsSet(), (std::vector<WORD>{kArrow}));
    EXPECT_EQ(frame.GetExtent().x, 121);
}
