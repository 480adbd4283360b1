// A window that draws one textured rectangle: a texture (often a sub-texture cut from an
// atlas) stretched or repeated over the window's rectangle, clipped by its ancestors, at
// the depth of its layer within the window that owns it (the window whose layout part is
// its layout parent). It is the tile of a label window's skin and the picture of an
// inline "IMG" element.
//
// The quad is six vertices (two triangles, position and one texture coordinate pair) in
// a mesh the window manager owns and draws every frame; the window only rewrites the six
// vertices when it is set up. Opaque images with equal materials share one mesh, each
// with its own vertex range.
//
// The window takes no reference of its texture: whoever loaded the texture releases it,
// after the window is gone. Destroying the window gives its quad back, so no mesh outlives
// the window that filled it.
#pragma once

#include <d3d9.h>

#include "Core/Types.h"
#include "Effect/Material.h"
#include "Effect/RenderContext.h"
#include "D3d/GeometryBuffer.h"
#include "Gui/Window.h"

class MeshObject;
class Texture;

u32 ImageWindowTypeId();

class ImageWindow : public Window, public RangeClient {
public:
    // Position x, y, z and one texture coordinate pair: 20 bytes.
    static constexpr u32 kVertexFVF = D3DFVF_XYZ | D3DFVF_TEX1;
    static constexpr u32 kVertexSize = 20;
    static constexpr u32 kQuadVertices = 6;
    static constexpr u32 kQuadBytes = kQuadVertices * kVertexSize;  // 120

    // One vertex as the quad holds it.
    struct Vertex {
        f32 x, y, z;
        f32 u, v;
    };

    ImageWindow();
    // Gives the quad back first.
    ~ImageWindow() override;

    // A quad already built follows the window's own moves (a sibling it is anchored to
    // moved); an image not set up yet waits for its owner.
    bool OnFrame() override;
    bool QueryType(u32 typeId, void** out) override;

    // The mode word and scale: kept for the windows that build images; the set-up does not
    // read them.
    void SetMode(u32 mode) { mode_ = mode; }
    u32 GetMode() const { return mode_; }
    f32 GetScale() const { return scale_; }

    // The texture shown (null: nothing is drawn). No reference is taken; a new texture
    // drops the quad so that the next set-up builds the material anew.
    void SetImage(Texture* texture);
    Texture* GetImage() const { return texture_; }
    // The two names the builder keeps with the image (texture name and its source).
    void SetImageNames(const String& name, const String& source) {
        imageName_ = name;
        imageSource_ = source;
    }
    const String& ImageName() const { return imageName_; }
    const String& ImageSource() const { return imageSource_; }

    // Repeat the texture across the width / height instead of stretching it.
    void SetTiled(bool x, bool y);
    bool IsTiledX() const { return tiledX_; }
    bool IsTiledY() const { return tiledY_; }

    // The layer within the owning window's layers (0 the lowest).
    void SetImageLayer(i32 layer);
    i32 ImageLayer() const { return imageLayer_; }

    // The texture-stage combine kind (TextureStage::SetCombine); a change drops the quad.
    // True when the kind changed.
    bool SetCombine(i32 kind);
    i32 Combine() const { return combine_; }
    // The texture factor; with combine kind 1 a built material takes it at once.
    void SetTextureFactor(f32 factor);
    f32 TextureFactor() const { return factor_; }

    // The window whose layout part is this window's layout parent, or null.
    Window* Owner() const;

    // Makes sure the mesh and the 120-byte vertex range exist; false without an owner or a
    // texture, or when either cannot be made.
    bool BuildQuad();
    // Rewrites the six vertices for the current rectangle, layer and texture. False when
    // the quad cannot be built or written. A window clipped away entirely writes no
    // vertex and gives its quad back (true).
    bool SetupQuad();
    // Gives the vertex range and the mesh back to the window manager.
    void RemoveQuad();

    MeshObject* GetMesh() const { return mesh_; }
    BufferRange* GetRange() const { return range_; }
    const Material& GetMaterial() const { return material_; }
    const RenderContext& GetContext() const { return context_; }
    // Writes the last set-up's vertices again: the range moved, or its buffer (shared
    // with other images) was made anew.
    bool Refill(BufferRange* range) override;

    // Vertices written by the last set-up (0 or 6).
    u32 WrittenVertices() const { return written_; }

private:
    void BuildMaterial();
    bool WriteVertices();

    Material material_;
    RenderContext context_;
    MeshObject* mesh_ = nullptr;
    BufferRange* range_ = nullptr;
    Texture* texture_ = nullptr;
    String imageName_;
    String imageSource_;
    bool tiledX_ = false;
    bool tiledY_ = false;
    i32 imageLayer_ = 0;
    i32 combine_ = 0;
    f32 factor_ = 1.0f;
    f32 scale_ = 1.0f;
    u32 mode_ = 0;
    u32 written_ = 0;
    Vertex vertices_[kQuadVertices] = {};
};
