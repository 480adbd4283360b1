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
// It is a frame window: loading, sizing, hiding and the move and resize gestures are the
// frame part's. Inline objects of the document that are windows become children of this
// window; they stay owned by their text elements, which the window owns through its
// document.
#pragma once

#include <vector>

#include "Core/Types.h"
#include "Core/ValueTypes.h"
#include "D3d/TextElement.h"
#include "D3d/TextStyle.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "Gui/TextLayout.h"
#include "Gui/FrameWindow.h"

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

    RichTextWindow();
    ~RichTextWindow() override;

    // With intParam 1 the value also becomes the opacity of the meshes' materials.
    void SetFloatParam(f32 value) override;
    // A new value gives the meshes back to the manager (they are made again with the next
    // redraw). Above 0 the quad buffers are locked with discard, else with no-overwrite.
    void SetIntParam(i32 value) override;
    // Render.
    bool OnFrame() override;

    // Replaces the document by the parse of markup (the root's style is kept); returns
    // whether it parsed. What the parser kept is shown either way.
    bool SetMarkup(const WString& markup);
    // With an element: replaces that element's text. Without: the text shown as it is,
    // "<" and all.
    bool SetRawText(const WString& text, TextElement* element = nullptr);

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
    // The style new documents are built with.
    TextStyle& Style() { return style_; }
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
    // The mesh (made on demand) sized for `glyphs` quads; false when it cannot be made.
    bool FitMesh(QuadMesh& quads, u32 glyphs, u32 fvf, u32 vertexSize);
    void DropMesh(QuadMesh& quads);
    void SetupMaterial(QuadMesh& quads);

    u32 flags_ = 0;
    TextElement* root_ = nullptr;
    TextLayout layout_;
    std::vector<QuadMesh*> glyphMeshes_;
    QuadMesh background_;
    TextStyle style_;
    i32 selectionStart_ = -1;
    i32 selectionEnd_ = -1;
    u32 selectedTextColor_;
    u32 selectionColor_;
    IntPair scroll_{0, 0};
};
