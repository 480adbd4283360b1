// Fuzz target for editing in the rich-text window: the input builds random markup from
// pieces (words, blanks, line breaks, styled and raw blocks, inline and floating images),
// shows it in a window of random width with wrapping and typing switched on or off, and
// then feeds random key and mouse events through the window manager, with direct caret
// moves, deletes and inserts between them. After every step the caret must stand on a line that holds its
// position, its cursor on the character that position names, and a selection must
// never run backwards.
#include <PlatformTest.h>
#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "D3d/EventReceiver.h"
#include "FuzzBytes.h"
#include "D3d/FontManager.h"
#include "Gui/RichTextWindow.h"
#include "Gui/WindowManager.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// A fixed-cell font of sizes only (8 x 10 cells, characters 32 to 126), loaded once.
bool LoadFont() {
    const std::string css = "fuzz_rich_text_" + std::to_string(getpid()) + ".css";
    FILE* f = std::fopen(css.c_str(), "wb");
    if (!f) return false;
    std::fputs("CharWidth = 8; CharHeight = 10; CharsPerLine = 16; StartChar = 32; EndChar = 126;", f);
    std::fclose(f);
    TextDataTree doc;
    const std::string fonts = "Styles[0].Size = 14; Styles[0].Charsets = array(\"" + css + "\");";
    const bool ok = TextData::LoadText(WString::FromNarrow(fonts.c_str()), doc, nullptr, TextData::kStatementForm) &&
                    TheFontManager().LoadFontFromTree(doc, patht(""), 0);
    std::remove(css.c_str());
    return ok;
}

const char16_t* const kPieces[] = {
    u"a",    u"bc",   u"defgh",    u"ijklmnopqrstuvwxyz", u" ",  u"  ",   u"\n", u"\n\n",
    u"<B>",  u"</B>", u"<I>x</I>", u"<P Size=\"30\">",    u"</P>", u"<RAW><x></RAW>", u"<", u"\t",
    u"<IMG Width=12 Height=14/>", u"<IMG Width=300 Height=3 TextFloat=1/>",
};

// The characters of the document's runs in order: what text positions count.
std::u16string Flatten(const RichTextWindow& window) {
    std::u16string out;
    for (TextElement* e = window.Document(); e; e = e->Next())
        if (e->IsRun()) out.append(e->GetText().data, e->GetText().data + e->GetLength());
    return out;
}

void Check(const RichTextWindow& window) {
    const std::u16string text = Flatten(window);
    const auto& lines = window.GetLayout().Lines();
    const i32 pos = window.CaretPos();
    if (pos < 0 || pos > static_cast<i32>(text.size())) std::abort();
    if (lines.empty()) return;
    const i32 line = window.CaretLine();
    if (line < 0 || line >= static_cast<i32>(lines.size())) std::abort();
    const TextLine& record = lines[static_cast<size_t>(line)];
    if (record.firstPos >= 0 && (pos < record.firstPos || pos > record.lastPos)) std::abort();
    // The cursor stands on the character at the caret (after it with caretAfter).
    TextCursor at = window.CaretCursor();
    const size_t expected = static_cast<size_t>(pos) + (window.CaretAfter() ? 1 : 0);
    if (expected < text.size()) {
        if (!TextLayout::Settle(at)) std::abort();
        if (at.element->IsRun() && at.GetChar() != text[expected]) std::abort();
    }
    if (window.SelectionStart() > window.SelectionEnd()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* input, std::size_t size) {
    // The window system reads the clock (double clicks, the caret); one that stands still
    // lets every run of the fuzz check try the same inputs.
    PlatformTest_SetClock(0);
    static const bool fontLoaded = LoadFont();
    if (!fontLoaded || size > 4096) return 0;
    FuzzBytes bytes(input, size);
    WindowManager& wm = TheWindowManager();
    wm.Reset();

    const u8 setup = bytes.Next();
    const i32 width = 8 + bytes.Next();
    std::u16string markup;
    for (u32 pieces = bytes.Next() % 40; pieces > 0; --pieces) markup += kPieces[bytes.Next() % std::size(kPieces)];

    auto window = std::make_unique<RichTextWindow>();
    window->SetRect(IntRect(10, 20, width, 60));
    window->SetFlags((setup & 1 ? RichTextWindow::kWrapWords : 0) | (setup & 2 ? RichTextWindow::kInsertTyped : 0));
    window->Show();
    window->SetMarkup(WString::FromBuffer(markup.data(), static_cast<u32>(markup.size()), true));
    window->SetFocus();
    wm.DispatchQueued();  // the focus events, outside any input event
    Check(*window);

    static const u8 kKeys[] = {0xCB, 0xCD, 0xC8, 0xD0, 0xC7, 0xCF, 0xD3, 0x1E, 0x39, 0x1C, 0x0E, 0x2A};
    while (!bytes.Empty()) {
        const u8 op = bytes.Next();
        EVENT e;
        e.x = 10 + static_cast<i32>(bytes.Next()) - 40;
        e.y = 20 + static_cast<i32>(bytes.Next() % 100) - 20;
        e.prevX = e.x;
        e.prevY = e.y;
        if (op < 120) {
            e.type = kEventKeyDown;
            e.key = op < 100 ? kKeys[op % std::size(kKeys)] : bytes.Next();
            wm.RecieveEvent(e);
            e.type = kEventKeyUp;
            wm.RecieveEvent(e);
            // Every event queued during an input event is delivered by its end.
            if (wm.QueuedCount() != 0) std::abort();
        } else if (op < 200) {
            static const u32 kPointer[] = {kEventLeftDown, kEventPointerMove, kEventPointerMove, kEventLeftUp};
            e.type = kPointer[op % 4];
            wm.RecieveEvent(e);
            if (wm.QueuedCount() != 0) std::abort();
        } else if (op < 215) {
            window->InsertText(WString(kPieces[bytes.Next() % 8]));
        } else if (op < 225) {
            window->SetCaret(static_cast<i32>(bytes.Next()) - 2, static_cast<i32>(bytes.Next()) - 2);
        } else if (op < 235) {
            window->SetRect(IntRect(10, 20, 8 + bytes.Next(), 60));
            window->GetTextExtent();
        } else if (op < 245) {
            window->PlaceCaret(IntPair(e.x, e.y));
        } else {
            window->DeleteAtCaret();
        }
        Check(*window);
    }
    window.reset();
    wm.Reset();
    return 0;
}
