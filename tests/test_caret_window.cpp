// The caret window: never enabled it never makes its bar nor loads a texture; once enabled,
// its first frame makes the bar and sizes window and bar 2 x 20 whatever they were. In a
// rich-text window the caret follows the caret's place on each layout and waits off screen
// while the caret's line is not drawn.
#include "Gui/CaretWindow.h"

#include "D3d/TextureManager.h"
#include "Gui/ImageWindow.h"
#include "Gui/RichTextWindow.h"
#include "Gui/WindowManager.h"
#include "RichTextSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace richtext;

namespace {

class CaretWindowTest : public DeviceTest {};

}  // namespace

TEST_F(CaretWindowTest, ACaretThatIsNeverEnabledNeverLoadsItsTexture) {
    const u32 textures = TheTextureManager().TextureCount();
    auto window = std::make_unique<RichTextWindow>();
    window->SetRect(IntRect(10, 20, 200, 50));
    window->Show();
    window->SetRawText(WString(u"abc"));
    for (int frame = 0; frame < 3; ++frame) TheWindowManager().FrameSignal().Emit();
    CaretWindow& caret = window->Caret();
    EXPECT_EQ(caret.GetParent(), window.get());
    EXPECT_TRUE(caret.IsVisible());
    EXPECT_FALSE(caret.IsEnabled());
    EXPECT_FALSE(caret.HasPendingRedraw());
    EXPECT_EQ(caret.Image(), nullptr);
    EXPECT_TRUE(caret.Tiles().empty());
    EXPECT_EQ(TheTextureManager().TextureCount(), textures);
}

TEST_F(CaretWindowTest, TheFirstFrameMakesTheBarAndBothAre2By20) {
    CaretWindow caret;
    caret.SetRect(IntRect(5, 6, 40, 33));
    caret.Show();
    EXPECT_EQ(caret.Image(), nullptr);
    // Enabled, it is drawn: the frame makes the bar.
    caret.SetEnabled(true);
    EXPECT_TRUE(caret.HasPendingRedraw());
    TheWindowManager().FrameSignal().Emit();
    ImageWindow* image = caret.Image();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(caret.GetExtent(), IntPair(2, 20));
    EXPECT_EQ(caret.GetOrigin(), IntPair(5, 6));
    EXPECT_EQ(image->GetExtent(), IntPair(2, 20));
    EXPECT_EQ(image->GetOrigin(), IntPair(0, 0));
    EXPECT_EQ(image->GetParent(), &caret);
    EXPECT_EQ(caret.FindTile(String()), image);
    ASSERT_NE(caret.StateTiles(String()), nullptr);
    EXPECT_EQ(caret.StateTiles(String())->size(), 1u);
    EXPECT_TRUE(caret.IsEnabled());
    EXPECT_EQ(caret.GetIntParam(), 1);
    EXPECT_FLOAT_EQ(caret.GetFloatParam(), 0.8f);
    EXPECT_EQ(image->Combine(), 1);
    EXPECT_FLOAT_EQ(image->TextureFactor(), 0.8f);
    // Made once: later frames keep the bar.
    caret.Invalidate();
    TheWindowManager().FrameSignal().Emit();
    EXPECT_EQ(caret.Image(), image);
    EXPECT_EQ(caret.Tiles().size(), 1u);
}

TEST_F(CaretWindowTest, TheCaretFollowsTheCaretAndWaitsOffScreenBesideIt) {
    auto window = std::make_unique<RichTextWindow>();
    window->SetRect(IntRect(10, 20, 200, 25));
    window->Show();
    window->SetRawText(WString(u"ab\ncd\nef\ngh"));
    ASSERT_TRUE(window->Render());
    CaretWindow& caret = window->Caret();
    // At the start of the text: the bar's bottom 3 pixels below the first line's.
    EXPECT_EQ(caret.GetOrigin(), IntPair(0, kCellHeight + 3 - CaretWindow::kHeight));
    window->CaretDown();
    window->CaretEnd();
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(caret.GetOrigin(), IntPair(2 * kCellWidth, 2 * kCellHeight + 3 - CaretWindow::kHeight));
    EXPECT_EQ(caret.GetOrigin(), window->CaretOrigin());
    // The fourth line lies below the window (25 high): it is not drawn, nor is the caret.
    window->CaretDown();
    window->CaretDown();
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(window->CaretLine(), 2);  // the third line is the last one drawn
    window->SetCaret(3, 10);
    EXPECT_EQ(window->CaretPos(), 10);
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(caret.GetOrigin(), IntPair(-1000, -1000));
    EXPECT_FALSE(caret.IsEnabled());
}
