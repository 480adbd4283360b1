// Editing in the rich-text window with the fixed-cell font (8 x 10 pixel cells): the caret
// on its lines (moves, line ends, the empty last line), selection by dragging through the
// window manager, typing only with the insert flag, one caret move per key-down, the
// delete key inside the caret's run and at the end of the text, and "IMG" markup shown
// through the real label and image windows with every texture reference given back.
#include "Gui/RichTextWindow.h"

#include <dinput.h>

#include "D3d/EventReceiver.h"
#include "D3d/TextureManager.h"
#include "Gui/ImageWindow.h"
#include "Gui/InlineImageFactory.h"
#include "Gui/WindowManager.h"
#include "RichTextSupport.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace richtext;
using windowtest::Input;

namespace {

// The characters of the document's runs in order.
std::string DocumentText(const RichTextWindow& window) {
    std::string out;
    for (TextElement* e = window.Document(); e; e = e->Next())
        if (e->IsRun()) out += Narrow(e->GetText());
    return out;
}

class RichTextEditingTest : public DeviceTest {
protected:
    // A shown top-level window at (kLeft, kTop) of 200 x 50, neither movable nor
    // resizable, so that every click lands in the text.
    std::unique_ptr<RichTextWindow> Make(const char16_t* text, u32 flags = 0) {
        auto window = std::make_unique<RichTextWindow>();
        window->SetRect(IntRect(kLeft, kTop, 200, 50));
        window->SetResizable(false);
        window->SetMovable(false);
        window->SetFlags(flags);
        window->Show();
        window->SetRawText(WString(text));
        EXPECT_TRUE(window->Render());
        return window;
    }

    // The screen point on the left edge of the glyph at column, row.
    static IntPair Cell(i32 column, i32 row) { return IntPair(kLeft + column * kCellWidth, kTop + row * kCellHeight + 5); }

    static void Key(u32 scanCode) {
        TheWindowManager().RecieveEvent(Input(kEventKeyDown, 0, 0, 0, 0, scanCode));
        TheWindowManager().RecieveEvent(Input(kEventKeyUp, 0, 0, 0, 0, scanCode));
    }

    static constexpr i32 kLeft = 10;
    static constexpr i32 kTop = 20;
};

}  // namespace

TEST_F(RichTextEditingTest, ADragFromTenBackToFourSelectsFourToTen) {
    auto window = Make(u"0123456789abcdef");
    WindowManager& wm = TheWindowManager();
    const IntPair from = Cell(10, 0);
    const IntPair to = Cell(4, 0);
    wm.RecieveEvent(Input(kEventPointerMove, from.x, from.y, from.x, from.y));
    wm.RecieveEvent(Input(kEventLeftDown, from.x, from.y, from.x, from.y));
    EXPECT_EQ(window->CaretPos(), 10);
    EXPECT_EQ(window->SelectionStart(), -1);
    EXPECT_TRUE(window->IsFocused());
    wm.RecieveEvent(Input(kEventPointerMove, Cell(7, 0).x, to.y, from.x, from.y));
    EXPECT_EQ(window->SelectionStart(), 7);
    EXPECT_EQ(window->SelectionEnd(), 10);
    wm.RecieveEvent(Input(kEventPointerMove, to.x, to.y, Cell(7, 0).x, to.y));
    wm.RecieveEvent(Input(kEventLeftUp, to.x, to.y, to.x, to.y));
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_FALSE(window->CaretAfter());
    EXPECT_EQ(window->SelectionStart(), 4);
    EXPECT_EQ(window->SelectionEnd(), 10);

    // Moves after the button is up select nothing more.
    wm.RecieveEvent(Input(kEventPointerMove, Cell(1, 0).x, to.y, to.x, to.y));
    EXPECT_EQ(window->SelectionStart(), 4);

    // Drawn: the glyphs at positions 4 to 9 in the selection's colours, the rest not.
    ASSERT_TRUE(window->Render());
    const u32 selected = FColor::FromBytes(200, 0, 0).ToPacked();
    const u32 behind = FColor::FromBytes(0, 0, 100).ToPacked();
    for (const GlyphRecord& glyph : window->GetLayout().Glyphs()) {
        const bool in = glyph.position >= 4 && glyph.position < 10;
        EXPECT_EQ(glyph.color == selected, in) << glyph.position;
        EXPECT_EQ(glyph.background == behind, in) << glyph.position;
    }
    // A new press clears the selection.
    wm.RecieveEvent(Input(kEventLeftDown, Cell(2, 0).x, to.y, Cell(1, 0).x, to.y));
    EXPECT_EQ(window->SelectionStart(), -1);
    EXPECT_EQ(window->SelectionEnd(), -1);
    EXPECT_EQ(window->CaretPos(), 2);
}

TEST_F(RichTextEditingTest, APressOnTheRightHalfOfAGlyphPutsTheCaretAfterIt) {
    auto window = Make(u"abcd\nef");
    window->PlaceCaret(IntPair(Cell(1, 0).x + 6, Cell(1, 0).y));
    EXPECT_EQ(window->CaretPos(), 2);
    window->PlaceCaret(IntPair(Cell(1, 0).x + 2, Cell(1, 0).y));
    EXPECT_EQ(window->CaretPos(), 1);
    // Right of a line's last glyph: before its line break.
    window->PlaceCaret(IntPair(Cell(9, 0).x, Cell(9, 0).y));
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_FALSE(window->CaretAfter());
    EXPECT_EQ(window->CaretCursor().GetChar(), u'\n');
    // Right of the last line, which ends the text: after its last character.
    window->PlaceCaret(IntPair(Cell(9, 1).x, Cell(9, 1).y));
    EXPECT_EQ(window->CaretPos(), 6);
    EXPECT_TRUE(window->CaretAfter());
    // Below every line: after the last line's last position.
    window->PlaceCaret(IntPair(Cell(0, 4).x, Cell(0, 4).y));
    EXPECT_EQ(window->CaretPos(), 6);
    EXPECT_TRUE(window->CaretAfter());
}

TEST_F(RichTextEditingTest, CaretMovesKeepTheCursorOnTheCaretsCharacter) {
    auto window = Make(u"ab\ncd");
    EXPECT_EQ(window->CaretPos(), 0);
    EXPECT_EQ(window->CaretLine(), 0);
    window->CaretLeft();  // at the start of the text: nowhere to go
    EXPECT_EQ(window->CaretPos(), 0);
    window->CaretRight();
    window->CaretRight();
    EXPECT_EQ(window->CaretPos(), 2);
    EXPECT_EQ(window->CaretCursor().GetChar(), u'\n');
    EXPECT_FALSE(window->CaretAfter());  // a line break is never stood after
    window->CaretRight();
    EXPECT_EQ(window->CaretPos(), 3);
    EXPECT_EQ(window->CaretLine(), 1);
    EXPECT_EQ(window->CaretCursor().GetChar(), u'c');
    window->CaretEnd();
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_TRUE(window->CaretAfter());
    window->CaretRight();  // the end of the text
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_TRUE(window->CaretAfter());
    window->CaretLeft();
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_FALSE(window->CaretAfter());
    EXPECT_EQ(window->CaretCursor().GetChar(), u'd');
    window->CaretHome();
    EXPECT_EQ(window->CaretPos(), 3);
    window->CaretLeft();  // back over the line start: before the line break
    EXPECT_EQ(window->CaretPos(), 2);
    EXPECT_EQ(window->CaretLine(), 0);
    EXPECT_EQ(window->CaretCursor().GetChar(), u'\n');

    // Up and down keep the column.
    window->CaretLeft();
    EXPECT_EQ(window->CaretPos(), 1);
    ASSERT_TRUE(window->Render());
    window->CaretDown();
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_EQ(window->CaretLine(), 1);
    window->CaretDown();  // the last line
    EXPECT_EQ(window->CaretPos(), 4);
    window->CaretUp();
    EXPECT_EQ(window->CaretPos(), 1);
    window->CaretUp();  // the first line
    EXPECT_EQ(window->CaretPos(), 1);
}

TEST_F(RichTextEditingTest, AWrappedLineEndTakesTheCaretAfterItsLastCharacter) {
    auto window = std::make_unique<RichTextWindow>();
    window->SetRect(IntRect(kLeft, kTop, 4 * kCellWidth, 50));
    window->SetFlags(RichTextWindow::kWrapWords);
    window->Show();
    window->SetRawText(WString(u"abcdefg"));
    ASSERT_TRUE(window->Render());
    ASSERT_EQ(window->GetLayout().Lines().size(), 2u);  // "abcd" and "efg"
    window->CaretEnd();
    EXPECT_EQ(window->CaretPos(), 3);
    EXPECT_TRUE(window->CaretAfter());
    EXPECT_EQ(window->CaretLine(), 0);
    EXPECT_EQ(window->CaretCursor().GetChar(), u'e');
    // The bar stands at the right edge of "d", 3 pixels below the line's bottom.
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(window->CaretOrigin(), IntPair(4 * kCellWidth, kCellHeight - RichTextWindow::kCaretHeight + 3));
    window->CaretRight();
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_FALSE(window->CaretAfter());
    EXPECT_EQ(window->CaretLine(), 1);
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(window->CaretOrigin(), IntPair(0, 2 * kCellHeight - RichTextWindow::kCaretHeight + 3));
    window->CaretLeft();
    EXPECT_EQ(window->CaretPos(), 3);
    EXPECT_TRUE(window->CaretAfter());
    EXPECT_EQ(window->CaretLine(), 0);
}

TEST_F(RichTextEditingTest, InsertedTextThatWrapsLeavesTheCaretAfterItsLastCharacter) {
    // Fault mended: moving the caret right once per inserted character lost a position at
    // every wrapped line end it crossed, leaving the caret inside the inserted text.
    auto window = std::make_unique<RichTextWindow>();
    window->SetRect(IntRect(kLeft, kTop, 4 * kCellWidth, 50));
    window->SetFlags(RichTextWindow::kWrapWords | RichTextWindow::kInsertTyped);
    window->Show();
    window->SetRawText(WString(u"abc"));
    window->CaretEnd();
    EXPECT_EQ(window->CaretPos(), 2);
    EXPECT_TRUE(window->CaretAfter());
    window->InsertText(WString(u"de"));
    EXPECT_EQ(DocumentText(*window), "abcde");
    ASSERT_EQ(window->GetLayout().Lines().size(), 2u);  // "abcd" and "e"
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_TRUE(window->CaretAfter());
    EXPECT_EQ(window->CaretLine(), 1);
}

TEST_F(RichTextEditingTest, TheEmptyLastLineKeepsTheCaret) {
    // Fault mended: a line without characters used to give the caret position 0, so the
    // next event took the caret back to the top of the text.
    auto window = Make(u"ab\n");
    window->SetFocus();
    ASSERT_EQ(window->GetLayout().Lines().size(), 2u);
    window->CaretDown();
    EXPECT_EQ(window->CaretLine(), 1);
    EXPECT_EQ(window->CaretPos(), 3);
    window->ScrollToPosition();
    EXPECT_EQ(window->CaretLine(), 1);
    EXPECT_EQ(window->CaretPos(), 3);
    Key(DIK_HOME);
    EXPECT_EQ(window->CaretLine(), 1);
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(window->CaretOrigin(), IntPair(0, 2 * kCellHeight - RichTextWindow::kCaretHeight + 3));
    window->CaretLeft();
    EXPECT_EQ(window->CaretPos(), 2);
    EXPECT_EQ(window->CaretLine(), 0);
}

TEST_F(RichTextEditingTest, EachKeyDownMovesTheCaretOnce) {
    auto window = Make(u"0123456789");
    window->SetFocus();
    Key(DIK_RIGHT);
    EXPECT_EQ(window->CaretPos(), 1);
    Key(DIK_RIGHT);
    Key(DIK_RIGHT);
    EXPECT_EQ(window->CaretPos(), 3);
    Key(DIK_LEFT);
    EXPECT_EQ(window->CaretPos(), 2);
    Key(DIK_END);
    EXPECT_EQ(window->CaretPos(), 9);
    EXPECT_TRUE(window->CaretAfter());
    Key(DIK_HOME);
    EXPECT_EQ(window->CaretPos(), 0);
    EXPECT_FALSE(window->CaretAfter());
    // Every key event asks for a redraw.
    EXPECT_TRUE(window->HasPendingRedraw());
}

TEST_F(RichTextEditingTest, TypingNeedsTheInsertFlag) {
    auto window = Make(u"ab");
    window->SetFocus();
    Key(DIK_X);
    EXPECT_EQ(DocumentText(*window), "ab");
    EXPECT_EQ(window->CaretPos(), 0);

    window->SetFlags(RichTextWindow::kInsertTyped);
    Key(DIK_RIGHT);
    Key(DIK_X);
    Key(DIK_Y);
    EXPECT_EQ(DocumentText(*window), "axyb");
    EXPECT_EQ(window->CaretPos(), 3);
    // Keys that type no character insert nothing: shift, backspace, escape.
    Key(DIK_LSHIFT);
    Key(DIK_BACK);
    Key(DIK_ESCAPE);
    EXPECT_EQ(DocumentText(*window), "axyb");
    // At the end of the text the typed text follows the last character.
    Key(DIK_END);
    Key(DIK_Z);
    EXPECT_EQ(DocumentText(*window), "axybz");
    EXPECT_EQ(window->CaretPos(), 4);
    EXPECT_TRUE(window->CaretAfter());
    // Enter breaks the line.
    Key(DIK_RETURN);
    EXPECT_EQ(DocumentText(*window), "axybz\n");
    EXPECT_EQ(window->CaretLine(), 1);
    ASSERT_TRUE(window->Render());
}

TEST_F(RichTextEditingTest, TypingIntoAnEmptyWindowMakesARun) {
    auto window = Make(u"", RichTextWindow::kInsertTyped);
    window->SetMarkup(WString());
    window->InsertText(WString(u"hi"));
    EXPECT_EQ(DocumentText(*window), "hi");
    EXPECT_EQ(window->CaretPos(), 1);
    EXPECT_TRUE(window->CaretAfter());
    ASSERT_TRUE(window->Render());
    ASSERT_EQ(window->GetLayout().Glyphs().size(), 2u);
}

TEST_F(RichTextEditingTest, DeleteTakesTheCharacterInsideTheCaretsRun) {
    // Fault mended: the caret's document position indexed its element, so in any run but
    // the first the wrong character went, and past the run's end memory was read.
    auto window = std::make_unique<RichTextWindow>();
    window->SetRect(IntRect(kLeft, kTop, 200, 50));
    window->Show();
    ASSERT_TRUE(window->SetMarkup(WString(u"abc<B>defg</B>")));
    for (int i = 0; i < 5; ++i) window->CaretRight();
    EXPECT_EQ(window->CaretPos(), 5);
    EXPECT_EQ(window->CaretCursor().GetChar(), u'f');
    window->DeleteAtCaret();
    EXPECT_EQ(DocumentText(*window), "abcdeg");
    EXPECT_EQ(window->CaretPos(), 5);
    EXPECT_EQ(window->CaretCursor().GetChar(), u'g');
    window->DeleteAtCaret();
    EXPECT_EQ(DocumentText(*window), "abcde");
    // At the end of the text there is nothing to delete.
    EXPECT_TRUE(window->CaretAfter());
    window->DeleteAtCaret();
    EXPECT_EQ(DocumentText(*window), "abcde");
    window->CaretEnd();
    window->DeleteAtCaret();
    EXPECT_EQ(DocumentText(*window), "abcde");
    // At a run's end the next run's first character goes.
    window->ScrollToTop();
    for (int i = 0; i < 3; ++i) window->CaretRight();
    window->SetFocus();
    Key(DIK_DELETE);
    EXPECT_EQ(DocumentText(*window), "abce");
    Key(DIK_DELETE);
    Key(DIK_DELETE);
    Key(DIK_DELETE);
    EXPECT_EQ(DocumentText(*window), "abc");
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(window->GetLayout().Glyphs().size(), 3u);
}

TEST_F(RichTextEditingTest, ImagesInTheMarkupAreRealWindowsAndGiveTheirTexturesBack) {
    const std::string picture = std::string("richtext_") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ts";
    ASSERT_TRUE(texsupport::WriteText(picture, "Empty = 1; Width = 16; Height = 12;"));
    const std::u16string markup = u"ab<IMG Src=\"" + std::u16string(picture.begin(), picture.end()) + u"\"/>cd";
    const u32 textures = TheTextureManager().TextureCount();
    {
        auto window = Make(u"", RichTextWindow::kInsertTyped);
        ASSERT_TRUE(window->SetMarkup(WString(markup.c_str())));
        TextElement* element = window->Document()->FindKind(TextElement::kKindObject);
        ASSERT_NE(element, nullptr);
        auto* image = dynamic_cast<InlineImage*>(element->GetAttachedObject());
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->GetParent(), window.get());
        EXPECT_EQ(TheTextureManager().TextureCount(), textures + 1);
        ASSERT_NE(image->Image(), nullptr);
        EXPECT_EQ(image->Image()->GetImage(), element->GetImageTexture());

        // Laid out as a word of its own, its bottom on the line's (12 high with it).
        ASSERT_TRUE(window->Render());
        EXPECT_TRUE(image->IsEnabled());
        EXPECT_EQ(image->GetOrigin(), IntPair(2 * kCellWidth, 0));
        EXPECT_EQ(image->GetExtent(), IntPair(16, 12));
        TheWindowManager().FrameSignal().Emit();
        EXPECT_EQ(image->Image()->WrittenVertices(), 6u);

        // The image takes no text position: two steps right stand before "c".
        window->SetFocus();
        Key(DIK_RIGHT);
        Key(DIK_RIGHT);
        EXPECT_EQ(window->CaretPos(), 2);
        EXPECT_EQ(window->CaretCursor().GetChar(), u'c');
        Key(DIK_X);
        EXPECT_EQ(DocumentText(*window), "abxcd");
        Key(DIK_DELETE);
        EXPECT_EQ(DocumentText(*window), "abxd");
        ASSERT_TRUE(window->Render());
        EXPECT_EQ(image->GetOrigin(), IntPair(2 * kCellWidth, 0));

        // New markup deletes the old image and its reference goes.
        ASSERT_TRUE(window->SetMarkup(WString(markup.c_str())));
        EXPECT_EQ(TheTextureManager().TextureCount(), textures + 1);
        ASSERT_TRUE(window->SetMarkup(WString(u"plain")));
        EXPECT_EQ(TheTextureManager().TextureCount(), textures);
        ASSERT_TRUE(window->SetMarkup(WString(markup.c_str())));
        ASSERT_TRUE(window->Render());
    }
    // The window went with its image shown: nothing of it is left.
    EXPECT_EQ(TheTextureManager().TextureCount(), textures);
    EXPECT_TRUE(TheWindowManager().Draw());
    std::remove(picture.c_str());
}
