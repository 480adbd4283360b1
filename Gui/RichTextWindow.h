// A window that shows marked-up, styled text with the bitmap fonts: the text overlays of the
// saver (frame rate, clock, debug lines) are such windows. The document is a text element
// tree; TextLayout wraps it into lines at the window's width and places the lines the
// window's clip lets through, and the window turns the placed glyphs into quads.
//
// Drawing goes through the window manager like every other window: one quad mesh per charset
// texture (so each texture is drawn in one batch) and one mesh for the background quads
// behind the glyphs. The meshes are filed with the manager under the window's root; the
// window gives them back when they are no longer used, when the lock mode changes and when
// the window goes, so the manager never draws a mesh whose material died with the window.
//
// Redraws happen on demand: every change requests one, and the next frame lays out, writes
// the quads into the meshes' dynamic vertex ranges and ends the request. A frame whose
// buffers cannot be locked keeps the request, so the next frame tries again.
//
// The caret bar is a caret window, a member and child of this window that each layout
// moves to the caret (or parks off screen); it is built disabled.
//
// Editing: the caret stands at a text position (the index of a character of the plain runs
// in document order) in a line record, before that character, or after it when it ends a
// line that does not end in a line break (caretAfter). The caret moves by keys, one move
// per key-down, and by the mouse; a left-button drag selects the text between where it
// began and where the pointer is. With the insert flag typed characters go in at the
// caret, and the delete key takes out the character after it.
//
// It is a frame window: loading, sizing, hiding and the move and resize gestures are the
// frame part's. Inline objects of the document that are windows become children of this
// window; they stay owned by their text elements, which the window owns through its
// document. The window hands its documents its own maker of those windows, so an "IMG"
// element it shows gets a label window holding the picture.
#pragma once

#include <vector>

#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "D3d/TextElement.h"
#include "D3d/TextStyle.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Gui/CaretWindow.h"
#include "Gui/FrameWindow.h"
#include "Gui/InlineImageFactory.h"
#include "Gui/TextLayout.h"

class BufferRange;
class MeshObject;
class Texture;

class RichTextWindow : public FrameWindow {
public:
    // flags bits.
    static constexpr u32 kWrapWords = 0x1;        // wrap words at the window's width
    static constexpr u32 kInsertTyped = 0x4;      // typed characters are inserted (editing)
    // The vertex layouts of the quads: pre-transformed, coloured and (glyphs) textured.
    static constexpr u32 kGlyphFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 324
    static constexpr u32 kShadeFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;                // 68
    static constexpr u32 kVerticesPerGlyph = 6;  // two triangles
    // The caret bar's size, and where it waits while its line is not drawn.
    static constexpr i32 kCaretWidth = CaretWindow::kWidth;
    static constexpr i32 kCaretHeight = CaretWindow::kHeight;
    static constexpr i32 kCaretParked = -1000;

    RichTextWindow();
    ~RichTextWindow() override;

    // With intParam 1 the value also becomes the opacity of the meshes' materials.
    void SetFloatParam(f32 value) override;
    // A new value gives the meshes back to the manager (they are made again with the next
    // redraw). Above 0 the quad buffers are locked with discard, else with no-overwrite.
    void SetIntParam(i32 value) override;
    // Render.
    bool OnFrame() override;
    // Pointer and key editing (left button down, moves while it is held, up; key down),
    // then the caret is kept on its line, a redraw requested and the frame part handles
    // the event as well.
    void OnEvent(WindowEvent event) override;

    // Replaces the document by the parse of markup (the root's style is kept); returns
    // whether it parsed. What the parser kept is shown either way.
    bool SetMarkup(const WString& markup);
    // With an element: replaces that element's text. Without: the text shown as it is,
    // "<" and all.
    bool SetRawText(const WString& text, TextElement* element = nullptr);

    // Inserts text at the caret and moves the caret past it. Text goes into the caret's run
    // as it is; where the caret stands on no run it becomes a new run there.
    void InsertText(const WString& text);

    // The caret into a line record (an index into the layout's lines) at a text position:
    // a position past the line's last one stands after that character unless it is a line
    // break. A line without characters gives the caret the position after the text before
    // it. False when there is no such line.
    bool SetCaret(i32 line, i32 position);
    // The first line, caret at its start.
    void ScrollToTop();
    // Finds the line that holds the caret's position and puts the caret there again.
    void ScrollToPosition();
    // One step each; a move that would leave the text does nothing.
    void CaretLeft();
    void CaretRight();
    void CaretUp();
    void CaretDown();
    void CaretHome();
    void CaretEnd();
    // Takes out the one character at the caret (the one after it); nothing at the end of
    // the text or where the caret stands on no run.
    void DeleteAtCaret();
    // The caret to the drawn glyph nearest a screen point.
    void PlaceCaret(IntPair screen);

    const TextCursor& CaretCursor() const { return caretCursor_; }
    i32 CaretPos() const { return caretPos_; }
    bool CaretAfter() const { return caretAfter_; }
    i32 CaretLine() const { return caretLine_; }
    // Where the last layout put the caret bar's top left, relative to this window;
    // (-1000, -1000) when its line was not drawn.
    IntPair CaretOrigin() const { return caretOrigin_; }
    // The caret bar: a child of this window, built disabled (nothing enables it here).
    CaretWindow& Caret() { return caret_; }
    i32 SelectionStart() const { return selectionStart_; }
    i32 SelectionEnd() const { return selectionEnd_; }
    // Selects [start, end); (-1, -1) selects nothing.
    void SetSelection(i32 start, i32 end);

    // The size of the laid-out text at the window's current width: what the clock measures
    // to sit in the corner of the screen.
    IntPair GetTextExtent();

    // Lays out the visible lines and makes sure the meshes fit them; false when a mesh
    // cannot be made.
    bool Layout();
    // Layout, then the quads written into the meshes; false (the redraw stays pending) when
    // a step fails.
    bool Render();
    // Gives every mesh back to the window manager.
    void ReleaseMeshes();

    u32 GetFlags() const { return flags_; }
    void SetFlags(u32 flags);
    TextElement* Document() const { return root_; }
    // The document's own style, which every new document takes over from the one before:
    // a style given before the text is set is the one the text is drawn in. (The runs of
    // the text shown take their styles when it is set.)
    TextStyle& Style() { return root_->Style(); }
    const TextLayout& GetLayout() const { return layout_; }
    IntPair GetScroll() const { return scroll_; }

    // Meshes filed with the manager: one per charset texture in use, and the background.
    u32 GlyphMeshCount() const { return static_cast<u32>(glyphMeshes_.size()); }
    MeshObject* GlyphMesh(u32 i) const { return i < glyphMeshes_.size() ? glyphMeshes_[i]->mesh : nullptr; }
    Texture* GlyphMeshTexture(u32 i) const { return i < glyphMeshes_.size() ? glyphMeshes_[i]->texture : nullptr; }
    MeshObject* BackgroundMesh() const { return background_.mesh; }

private:
    // One mesh filed with the manager, its vertex range and what it is drawn with.
    struct QuadMesh {
        Texture* texture = nullptr;  // null for the background
        MeshObject* mesh = nullptr;
        BufferRange* range = nullptr;
        u32 glyphs = 0;  // glyphs the range holds
        Material material;
        RenderContext context;
        u8* cursor = nullptr;  // where the next quad goes while locked
    };

    static IntPair InlineSize(const TextElement* element, void* context);
    static Window* InlineWindow(const TextElement* element);
    void AdoptInlineWindows();
    void Reflow();
    // Places the lines the window's clip lets through and moves the inline windows and the
    // caret to them.
    void PlaceVisible();
    void PositionCaret();
    // The caret's position with caretAfter counted: where a selection bound lies.
    i32 CaretEndPos() const { return caretPos_ + (caretAfter_ ? 1 : 0); }
    // The text position a line without characters stands for: the one after the text
    // before it.
    i32 PositionBefore(i32 line) const;
    // The mesh (made on demand) sized for `glyphs` quads; false when it cannot be made.
    bool FitMesh(QuadMesh& quads, u32 glyphs, u32 fvf, u32 vertexSize);
    void DropMesh(QuadMesh& quads);
    void SetupMaterial(QuadMesh& quads);

    u32 flags_ = 0;
    InlineImageFactory images_;  // makes the windows of the document's "IMG" elements
    TextElement* root_ = nullptr;
    TextLayout layout_;
    std::vector<QuadMesh*> glyphMeshes_;
    QuadMesh background_;
    CaretWindow caret_;
    TextCursor caretCursor_;
    i32 caretPos_ = 0;
    bool caretAfter_ = false;
    i32 caretLine_ = -1;
    IntPair caretOrigin_{kCaretParked, kCaretParked};
    // Whether the glyph records belong to the current lines (a reflow drops them).
    bool placed_ = false;
    u32 mouseState_ = kWindowEventLeftUp;
    i32 selectionAnchor_ = -1;
    i32 selectionStart_ = -1;
    i32 selectionEnd_ = -1;
    u32 selectedTextColor_;
    u32 selectionColor_;
    IntPair scroll_{0, 0};
};
