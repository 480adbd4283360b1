// The rich-text window's document, layout pass, meshes and quads (see RichTextWindow.h).
#include "Gui/RichTextWindow.h"

#include <d3d9.h>
#include <dinput.h>

#include <algorithm>
#include <string>

#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/InputDevice.h"
#include "Effect/MeshObject.h"
#include "Gui/WindowManager.h"

namespace {

// The selection's colours: dark red glyphs on dark blue.
const FColor kSelectedText = FColor::FromBytes(200, 0, 0);
const FColor kSelection = FColor::FromBytes(0, 0, 100);

const WString kRawOpen(u"<RAW>");
const WString kRawClose(u"</RAW>");

constexpr char16_t kLineBreak = u'\n';
// What the key table answers for keys that type nothing, backspace and escape.
constexpr u16 kNoCharacter = 255;
constexpr u16 kBackspace = 253;
constexpr u16 kEscape = 252;

// The cursor of the character `offset` text positions after `at` (inline objects take no
// position); false when the text ends first.
bool CursorAtOffset(TextCursor& at, i32 offset) {
    if (offset < 0) return false;
    TextCursor c = at;
    u32 left = static_cast<u32>(offset);
    for (;;) {
        if (!TextLayout::Settle(c)) return false;
        if (!c.element->IsRun()) {
            c.index = 1;  // passed: Settle moves on from here
            continue;
        }
        const u32 length = c.element->GetLength();
        if (left < length - c.index) {
            c.index += left;
            at = c;
            return true;
        }
        left -= length - c.index;
        c.index = length;
    }
}

}  // namespace

RichTextWindow::RichTextWindow()
    : selectedTextColor_(kSelectedText.ToPacked()), selectionColor_(kSelection.ToPacked()) {
    root_ = new TextElement(&images_);
    root_->SetMarkup(WString());
    layout_.SetObjectSize(&RichTextWindow::InlineSize, nullptr);
    AddChild(&caret_, false);
    caret_.SetEnabled(false);
    SetOwnLayers(2);
    FrameWindow::SetIntParam(2);
}

RichTextWindow::~RichTextWindow() {
    // The frame signal must not reach a window that is half gone: the handler goes first.
    EnableFrameEvents(false, false);
    ReleaseMeshes();
    // Inline windows belong to their elements: out of this window before they are deleted.
    for (TextElement* e = root_; e; e = e->Next())
        if (Window* inline_ = InlineWindow(e)) RemoveChild(inline_);
    delete root_;
    root_ = nullptr;
}

// ---- document --------------------------------------------------------------------------

Window* RichTextWindow::InlineWindow(const TextElement* element) {
    if (!element || element->GetKind() != TextElement::kKindObject) return nullptr;
    return dynamic_cast<Window*>(element->GetAttachedObject());
}

IntPair RichTextWindow::InlineSize(const TextElement* element, void*) {
    const Window* window = InlineWindow(element);
    return window ? window->GetExtent() : IntPair(0, 0);
}

void RichTextWindow::AdoptInlineWindows() {
    for (TextElement* e = root_; e; e = e->Next())
        if (Window* inline_ = InlineWindow(e)) AddChild(inline_, true);
}

bool RichTextWindow::SetMarkup(const WString& markup) {
    layout_.Clear();
    TextStyle kept;
    if (root_) {
        kept.Assign(root_->GetStyle());
        for (TextElement* e = root_; e; e = e->Next())
            if (Window* inline_ = InlineWindow(e)) RemoveChild(inline_);
        delete root_;
    }
    root_ = new TextElement(&images_);
    root_->Style().Assign(kept);
    EnableFrameEvents(true, true);
    const bool parsed = root_->SetMarkup(markup);
    AdoptInlineWindows();
    Reflow();
    ScrollToTop();
    return parsed;
}

bool RichTextWindow::SetRawText(const WString& text, TextElement* element) {
    if (element) {
        element->SetText(text);
        // The caret's line records must name the new text before the next event.
        Reflow();
        EnableFrameEvents(true, true);
        return true;
    }
    return SetMarkup(kRawOpen + text + kRawClose);
}

void RichTextWindow::SetFlags(u32 flags) {
    flags_ = flags;
    EnableFrameEvents(true, true);
}

void RichTextWindow::Reflow() {
    layout_.Wrap(root_, GetExtent().x, (flags_ & kWrapWords) != 0);
    placed_ = false;
    // The line records are new: the caret finds its line again.
    ScrollToPosition();
}

IntPair RichTextWindow::GetTextExtent() {
    Reflow();
    return layout_.Extent();
}

// ---- parameters --------------------------------------------------------------------------

void RichTextWindow::SetFloatParam(f32 value) {
    if (GetIntParam() == 1) {
        for (QuadMesh* quads : glyphMeshes_) quads->material.layers[0].opacity = value;
        if (background_.mesh) background_.material.layers[0].opacity = value;
    }
    FrameWindow::SetFloatParam(value);
}

void RichTextWindow::SetIntParam(i32 value) {
    if (value != GetIntParam()) ReleaseMeshes();
    EnableFrameEvents(true, true);
    FrameWindow::SetIntParam(value);
}

// ---- meshes ------------------------------------------------------------------------------

void RichTextWindow::SetupMaterial(QuadMesh& quads) {
    MaterialLayer& layer = quads.material.layers[0];
    // Coloured by their vertices, blended over the scene, seen from any side.
    layer.lit = 0;
    layer.vertexColor = 1;
    layer.vertexAlpha = 1;
    layer.blendEnabled = 1;
    layer.cullMode = D3DCULL_NONE;
    // The fixed-function draw binds only what its stages hold. Stage 0's operations stay
    // automatic, so that they modulate the atlas by the vertex colour and its alpha by the
    // vertex alpha (which passes folded for unlit layers would not).
    layer.samplers[kBaseMap].texture = quads.texture;
    layer.stages[0].sampler = layer.samplers[kBaseMap];
    if (GetIntParam() == 1) layer.opacity = GetFloatParam();
    quads.material.context = &quads.context;
}

bool RichTextWindow::FitMesh(QuadMesh& quads, u32 glyphs, u32 fvf, u32 vertexSize) {
    const u32 bytes = glyphs * kVerticesPerGlyph * vertexSize;
    if (!quads.mesh) {
        GeometryDesc desc;
        if (!WindowManager::DynamicTriangles(desc, fvf, vertexSize, bytes)) return false;
        SetupMaterial(quads);
        quads.mesh = TheWindowManager().AddMesh(this, desc, &quads.material);
        if (!quads.mesh) return false;
        quads.range = nullptr;
        quads.glyphs = 0;
    }
    // The range holds exactly the glyphs: the mesh draws all of it.
    if (quads.range && quads.glyphs == glyphs) return true;
    if (quads.range) quads.range->Release();
    quads.range = nullptr;
    quads.glyphs = 0;
    const GeometryRef geometry = quads.mesh->GetGeometry();
    SharedBuffer* buffer = geometry ? geometry->GetVertexBuffer(0) : nullptr;
    if (!buffer) return false;
    quads.range = buffer->AllocateRange(bytes, 0, nullptr);
    if (!quads.range) return false;
    quads.glyphs = glyphs;
    return true;
}

void RichTextWindow::DropMesh(QuadMesh& quads) {
    if (!quads.mesh) return;
    if (quads.range) quads.range->Release();
    quads.range = nullptr;
    quads.glyphs = 0;
    TheWindowManager().RemoveMesh(this, quads.mesh);
    quads.mesh = nullptr;
}

void RichTextWindow::ReleaseMeshes() {
    for (QuadMesh* quads : glyphMeshes_) {
        DropMesh(*quads);
        delete quads;
    }
    glyphMeshes_.clear();
    DropMesh(background_);
}

// ---- layout and drawing --------------------------------------------------------------------

bool RichTextWindow::Layout() {
    Reflow();
    PlaceVisible();

    // Glyphs per charset texture; a charset without a texture draws no glyph quads.
    std::vector<std::pair<Texture*, u32>> counts;
    for (const GlyphRecord& glyph : layout_.Glyphs()) {
        Texture* texture = glyph.charset ? glyph.charset->GetTexture() : nullptr;
        if (!texture) continue;
        auto it = counts.begin();
        while (it != counts.end() && it->first != texture) ++it;
        if (it == counts.end())
            counts.emplace_back(texture, 1u);
        else
            ++it->second;
    }

    bool ok = true;
    // Meshes of textures no longer drawn go back to the manager.
    for (size_t i = 0; i < glyphMeshes_.size();) {
        QuadMesh* quads = glyphMeshes_[i];
        bool used = false;
        for (const auto& count : counts) used = used || count.first == quads->texture;
        if (used) {
            ++i;
            continue;
        }
        DropMesh(*quads);
        delete quads;
        glyphMeshes_.erase(glyphMeshes_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    const i32 layer = LayerFromTop();
    for (const auto& count : counts) {
        QuadMesh* quads = nullptr;
        for (QuadMesh* m : glyphMeshes_)
            if (m->texture == count.first) quads = m;
        if (!quads) {
            quads = new QuadMesh;
            quads->texture = count.first;
            glyphMeshes_.push_back(quads);
        }
        if (!FitMesh(*quads, count.second, kGlyphFVF, sizeof(GlyphVertex))) {
            ok = false;
            continue;
        }
        quads->mesh->properties.children.SetInt(String("z"), layer + 1);
    }
    const u32 glyphs = static_cast<u32>(layout_.Glyphs().size());
    if (glyphs == 0) {
        DropMesh(background_);
    } else if (FitMesh(background_, glyphs, kShadeFVF, sizeof(ShadeVertex))) {
        background_.mesh->properties.children.SetInt(String("z"), layer);
    } else {
        ok = false;
    }
    return ok;
}

bool RichTextWindow::Render() {
    if (!Layout()) return false;
    const DWORD lockFlags = GetIntParam() > 0 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;

    // Every range is locked before anything is written, and every lock taken is given back.
    std::vector<QuadMesh*> locked;
    bool ok = true;
    auto lock = [&](QuadMesh& quads) {
        void* bytes = nullptr;
        if (!quads.range || !quads.range->Lock(lockFlags, &bytes) || !bytes) return false;
        quads.cursor = static_cast<u8*>(bytes);
        locked.push_back(&quads);
        return true;
    };
    for (QuadMesh* quads : glyphMeshes_) ok = ok && lock(*quads);
    if (background_.mesh) ok = ok && lock(background_);

    if (ok) {
        WindowManager& manager = TheWindowManager();
        const i32 layer = AbsoluteLayer();
        const f32 glyphDepth = manager.LayerDepth(layer - 1);
        const f32 backDepth = manager.LayerDepth(layer);
        const IntRect& clip = layout_.Clip();
        for (const GlyphRecord& glyph : layout_.Glyphs()) {
            Texture* texture = glyph.charset ? glyph.charset->GetTexture() : nullptr;
            for (QuadMesh* quads : glyphMeshes_) {
                if (quads->texture != texture) continue;
                TextLayout::GlyphQuad(glyph, clip, glyphDepth, reinterpret_cast<GlyphVertex*>(quads->cursor));
                quads->cursor += kVerticesPerGlyph * sizeof(GlyphVertex);
            }
            TextLayout::ShadeQuad(glyph, clip, backDepth, reinterpret_cast<ShadeVertex*>(background_.cursor));
            background_.cursor += kVerticesPerGlyph * sizeof(ShadeVertex);
        }
    }
    for (QuadMesh* quads : locked) {
        ok = quads->range->Unlock() && ok;
        quads->cursor = nullptr;
    }
    if (!ok) return false;
    return FrameWindow::OnFrame();
}

bool RichTextWindow::OnFrame() { return Render(); }

void RichTextWindow::PlaceVisible() {
    // Inline windows and the caret show only where the placing puts them again.
    for (TextElement* e = root_; e; e = e->Next())
        if (Window* inline_ = InlineWindow(e)) inline_->SetEnabled(false);
    caretOrigin_ = IntPair(kCaretParked, kCaretParked);

    IntRect rect;
    IntRect clip;
    TextLayout::Selection selection;
    selection.start = selectionStart_;
    selection.end = selectionEnd_;
    selection.textColor = selectedTextColor_;
    selection.backColor = selectionColor_;
    if (GetAbsoluteRect(rect, clip)) {
        const IntRect corners(clip.left, clip.top, clip.left + clip.right, clip.top + clip.bottom);
        layout_.Place(IntPair(rect.left, rect.top), corners, scroll_, selection);
    } else {
        // Nothing of the window can be seen: nothing is placed.
        layout_.Place(IntPair(rect.left, rect.top), IntRect(0, 0, 0, 0), scroll_, selection);
    }
    placed_ = true;
    for (const PlacedObject& placed : layout_.Objects()) {
        Window* inline_ = InlineWindow(placed.element);
        if (!inline_) continue;
        inline_->SetOrigin(placed.origin.x, placed.origin.y);
        inline_->SetEnabled(true);
    }
    PositionCaret();
}

void RichTextWindow::PositionCaret() {
    caretOrigin_ = IntPair(kCaretParked, kCaretParked);
    caret_.SetOrigin(kCaretParked, kCaretParked);
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretPos_ < 0 || caretLine_ < 0 || caretLine_ >= static_cast<i32>(lines.size())) return;
    const DrawnLine* drawn = nullptr;
    for (const DrawnLine& d : layout_.Drawn())
        if (d.line == caretLine_) drawn = &d;
    if (!drawn) return;  // the caret's line is not drawn: it stays parked

    IntRect rect;
    IntRect clip;
    GetAbsoluteRect(rect, clip);
    const TextLine& line = lines[static_cast<size_t>(caretLine_)];
    // Without a glyph to stand by, the caret takes the line's start.
    i32 x = line.left + rect.left - scroll_.x;
    i32 bottom = line.bottom + rect.top - scroll_.y;
    const GlyphRecord* at = nullptr;
    const GlyphRecord* before = nullptr;
    const std::vector<GlyphRecord>& glyphs = layout_.Glyphs();
    for (i32 i = drawn->firstGlyph; i < drawn->firstGlyph + drawn->glyphCount; ++i) {
        const GlyphRecord& glyph = glyphs[static_cast<size_t>(i)];
        if (glyph.position == caretPos_) at = &glyph;
        if (glyph.position == caretPos_ - 1) before = &glyph;
    }
    if (at && !caretAfter_) {
        x = at->rect.left;
        bottom = at->rect.bottom;
    } else if (at) {
        x = at->rect.left + at->advance;
        bottom = at->rect.bottom;
    } else if (before) {
        // Before a character without a glyph (a line break): right after the one before.
        x = before->rect.left + before->advance;
        bottom = before->rect.bottom;
    }
    // The bar reaches 3 pixels below the text's bottom.
    caretOrigin_ = IntPair(x - rect.left, bottom - kCaretHeight + 3 - rect.top);
    caret_.SetOrigin(caretOrigin_.x, caretOrigin_.y);
}

// ---- caret ---------------------------------------------------------------------------------

i32 RichTextWindow::PositionBefore(i32 line) const {
    const std::vector<TextLine>& lines = layout_.Lines();
    for (i32 i = std::min(line, static_cast<i32>(lines.size())) - 1; i >= 0; --i)
        if (lines[static_cast<size_t>(i)].lastPos >= 0) return lines[static_cast<size_t>(i)].lastPos + 1;
    return 0;
}

bool RichTextWindow::SetCaret(i32 line, i32 position) {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (line < 0 || line >= static_cast<i32>(lines.size())) return false;
    const TextLine& record = lines[static_cast<size_t>(line)];
    caretCursor_ = record.key;
    caretLine_ = line;
    caretAfter_ = false;
    if (record.firstPos < 0) {
        // A line without characters stands for the place after the text before it, so
        // that finding the caret's line again comes back to this one and not to the top.
        caretPos_ = PositionBefore(line);
        TextLayout::Settle(caretCursor_);
        return true;
    }
    position = std::max(position, record.firstPos);
    if (position <= record.lastPos) {
        caretPos_ = position;
        if (!CursorAtOffset(caretCursor_, position - record.firstPos)) caretCursor_ = record.key;
        return true;
    }
    caretPos_ = record.lastPos;
    if (!CursorAtOffset(caretCursor_, record.lastPos - record.firstPos)) {
        caretCursor_ = record.key;
        return true;
    }
    if (caretCursor_.GetChar() != kLineBreak) {
        ++caretCursor_.index;
        caretAfter_ = true;
    }
    return true;
}

void RichTextWindow::ScrollToTop() {
    caretPos_ = 0;
    caretAfter_ = false;
    if (!SetCaret(0, 0)) {
        caretLine_ = -1;
        caretCursor_ = TextCursor(root_, 0);
    }
}

void RichTextWindow::ScrollToPosition() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (lines.empty()) {
        caretLine_ = -1;
        caretPos_ = 0;
        caretAfter_ = false;
        caretCursor_ = TextCursor(root_, 0);
        return;
    }
    caretPos_ = std::max(caretPos_, 0);
    i32 found = static_cast<i32>(lines.size()) - 1;
    for (i32 i = 0; i < static_cast<i32>(lines.size()); ++i) {
        const TextLine& line = lines[static_cast<size_t>(i)];
        if (line.firstPos >= 0 && line.firstPos <= caretPos_ && caretPos_ <= line.lastPos) {
            found = i;
            break;
        }
    }
    SetCaret(found, CaretEndPos());
}

void RichTextWindow::CaretLeft() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretLine_ < 0 || caretLine_ >= static_cast<i32>(lines.size())) return;
    if (caretAfter_) {
        SetCaret(caretLine_, caretPos_);
        return;
    }
    if (caretPos_ <= 0) return;  // the start of the text
    // From a line's start the caret goes to the end of the line before.
    const bool atStart = caretPos_ == lines[static_cast<size_t>(caretLine_)].firstPos;
    --caretPos_;
    caretAfter_ = atStart;
    ScrollToPosition();
}

void RichTextWindow::CaretRight() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretLine_ < 0 || caretLine_ >= static_cast<i32>(lines.size())) return;
    const TextLine& line = lines[static_cast<size_t>(caretLine_)];
    if (line.firstPos >= 0 && caretPos_ == line.lastPos && !caretAfter_ && caretCursor_.GetChar() != kLineBreak) {
        caretAfter_ = true;
        ScrollToPosition();
        return;
    }
    if (CaretEndPos() >= PositionBefore(static_cast<i32>(lines.size()))) return;  // the end of the text
    ++caretPos_;
    caretAfter_ = false;
    ScrollToPosition();
}

void RichTextWindow::CaretHome() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretLine_ < 0 || caretLine_ >= static_cast<i32>(lines.size())) return;
    SetCaret(caretLine_, lines[static_cast<size_t>(caretLine_)].firstPos);
}

void RichTextWindow::CaretEnd() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretLine_ < 0 || caretLine_ >= static_cast<i32>(lines.size())) return;
    SetCaret(caretLine_, lines[static_cast<size_t>(caretLine_)].lastPos + 1);
}

void RichTextWindow::CaretUp() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretLine_ <= 0 || caretLine_ >= static_cast<i32>(lines.size())) return;
    // The caret's x on the screen, as the last placing left it for the current caret.
    if (placed_) PositionCaret();
    else PlaceVisible();
    const i32 y = lines[static_cast<size_t>(caretLine_ - 1)].bottom - scroll_.y - 1;
    PlaceCaret(ClientToScreen(caretOrigin_.x, y));
}

void RichTextWindow::CaretDown() {
    const std::vector<TextLine>& lines = layout_.Lines();
    if (caretLine_ < 0 || caretLine_ + 1 >= static_cast<i32>(lines.size())) return;
    if (placed_) PositionCaret();
    else PlaceVisible();
    const i32 y = lines[static_cast<size_t>(caretLine_ + 1)].bottom - scroll_.y - 1;
    PlaceCaret(ClientToScreen(caretOrigin_.x, y));
}

void RichTextWindow::PlaceCaret(IntPair screen) {
    if (!placed_) PlaceVisible();
    const std::vector<DrawnLine>& drawn = layout_.Drawn();
    const std::vector<TextLine>& lines = layout_.Lines();
    if (drawn.empty()) return;
    const IntPair point = ScreenToClient(screen.x, screen.y);
    size_t i = 0;
    // Lines whose last pixel row lies above the point are passed over.
    while (i < drawn.size() && lines[static_cast<size_t>(drawn[i].line)].bottom - scroll_.y <= point.y) ++i;
    if (i == drawn.size()) {
        const i32 last = drawn.back().line;
        SetCaret(last, lines[static_cast<size_t>(last)].lastPos + 1);
        return;
    }
    const DrawnLine& found = drawn[i];
    const TextLine& line = lines[static_cast<size_t>(found.line)];
    const std::vector<GlyphRecord>& glyphs = layout_.Glyphs();
    i32 position = line.firstPos;
    for (i32 g = found.firstGlyph; g < found.firstGlyph + found.glyphCount; ++g) {
        const GlyphRecord& glyph = glyphs[static_cast<size_t>(g)];
        position = glyph.position + 1;  // after the last glyph when none is hit
        if (glyph.rect.right < screen.x) continue;
        // Inside a glyph the nearer of its two edges wins.
        position = screen.x * 2 > glyph.rect.left + glyph.rect.right ? glyph.position + 1 : glyph.position;
        break;
    }
    SetCaret(found.line, position);
}

void RichTextWindow::SetSelection(i32 start, i32 end) {
    selectionStart_ = start;
    selectionEnd_ = end;
    EnableFrameEvents(true, true);
}

// ---- editing -------------------------------------------------------------------------------

void RichTextWindow::DeleteAtCaret() {
    // The character at the caret's index inside its run (with the caret after a line's
    // end, the one that follows). At the end of the text there is none.
    TextCursor at = caretCursor_;
    if (!at.element || !TextLayout::Settle(at) || !at.element->IsRun()) return;
    const WString& text = at.element->GetText();
    if (at.index >= text.length) return;
    std::u16string kept(text.data, text.data + at.index);
    kept.append(text.data + at.index + 1, text.data + text.length);
    at.element->SetText(WString::FromBuffer(kept.data(), static_cast<u32>(kept.size()), true));
    Reflow();
    EnableFrameEvents(true, true);
}

void RichTextWindow::InsertText(const WString& text) {
    if (!root_ || text.length == 0) return;
    TextElement* element = caretCursor_.element;
    const i32 insertedAt = CaretEndPos();
    if (element && element->IsRun() && caretCursor_.index <= element->GetLength()) {
        const WString& old = element->GetText();
        std::u16string joined(old.data, old.data + caretCursor_.index);
        joined.append(text.data, text.data + text.length);
        joined.append(old.data + caretCursor_.index, old.data + old.length);
        element->SetText(WString::FromBuffer(joined.data(), static_cast<u32>(joined.size()), true));
    } else {
        // No run to go into (an empty document, an inline object): a run of its own,
        // shown as it is.
        TextElement* run = new TextElement(&images_);
        run->SetRun(true);
        run->AssignText(text);
        (element ? element : root_)->AppendChild(run);
        run->Layout(false);
    }
    // Past the inserted characters; the line that holds them is found again.
    caretPos_ = insertedAt + static_cast<i32>(text.length);
    caretAfter_ = false;
    Reflow();
    EnableFrameEvents(true, true);
}

void RichTextWindow::OnEvent(WindowEvent event) {
    switch (event.code) {
    case kWindowEventMovedWithin:
        if (mouseState_ == kWindowEventLeftDown) {
            PlaceCaret(event.Current());
            const i32 caret = CaretEndPos();
            if (selectionAnchor_ < caret) SetSelection(selectionAnchor_, caret);
            else SetSelection(caret, selectionAnchor_);
        }
        break;
    case kWindowEventLeftDown:
        PlaceCaret(event.Current());
        SetSelection(-1, -1);
        mouseState_ = kWindowEventLeftDown;
        selectionAnchor_ = CaretEndPos();
        SetFocus();
        break;
    case kWindowEventLeftUp:
        PlaceCaret(event.Current());
        mouseState_ = kWindowEventLeftUp;
        break;
    case kWindowEventKeyDown:
        switch (event.ScanCode()) {
        case DIK_LEFT: CaretLeft(); break;
        case DIK_RIGHT: CaretRight(); break;
        case DIK_UP: CaretUp(); break;
        case DIK_DOWN: CaretDown(); break;
        case DIK_HOME: CaretHome(); break;
        case DIK_END: CaretEnd(); break;
        case DIK_DELETE: DeleteAtCaret(); break;
        default:
            if (flags_ & kInsertTyped) {
                // Keys that type nothing (and backspace and escape) insert nothing.
                const u16 ch = CharFromScanCode(event.ScanCode());
                if (ch != kNoCharacter && ch != kBackspace && ch != kEscape) {
                    InsertText(WString::FromUnit(ch));
                }
            }
            break;
        }
        SetFocus();
        break;
    default:
        break;
    }
    ScrollToPosition();
    EnableFrameEvents(true, true);
    FrameWindow::OnEvent(event);
}
