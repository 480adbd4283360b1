// The image window's quad: material, mesh, vertex range and the six vertices (see
// ImageWindow.h).
#include "Gui/ImageWindow.h"

#include "D3d/Application.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/Texture.h"
#include "Effect/MeshObject.h"
#include "Gui/WindowManager.h"

#include <cstring>

u32 ImageWindowTypeId() { return TypeIdOf<ImageWindow>(); }

ImageWindow::ImageWindow() = default;

ImageWindow::~ImageWindow() {
    // The manager would otherwise keep drawing a mesh (or a range of a shared one) filled
    // by a window that no longer exists.
    EnableFrameEvents(false, false);
    RemoveQuad();
}

bool ImageWindow::QueryType(u32 typeId, void** out) {
    if (typeId == ImageWindowTypeId()) {
        *out = this;
        return true;
    }
    return Window::QueryType(typeId, out);
}

bool ImageWindow::OnFrame() {
    const bool built = !mesh_ || SetupQuad();
    return Window::OnFrame() && built;
}

void ImageWindow::SetImage(Texture* texture) {
    if (texture == texture_) return;
    // The material names the texture: a quad built with the old one must not be drawn
    // once its texture may be gone.
    RemoveQuad();
    texture_ = texture;
}

void ImageWindow::SetTiled(bool x, bool y) {
    tiledX_ = x;
    tiledY_ = y;
}

void ImageWindow::SetImageLayer(i32 layer) { imageLayer_ = layer < 0 ? 0 : layer; }

bool ImageWindow::SetCombine(i32 kind) {
    if (kind == combine_) return false;
    combine_ = kind;
    RemoveQuad();
    return true;
}

void ImageWindow::SetTextureFactor(f32 factor) {
    factor_ = factor;
    if (combine_ == 1 && mesh_) material_.layers[0].opacity = factor;
}

Window* ImageWindow::Owner() const {
    ClientLayout* parent = ParentLayout();
    return parent ? QueryAs<Window>(parent, WindowTypeId()) : nullptr;
}

void ImageWindow::BuildMaterial() {
    context_ = RenderContext();
    // Screen quads are placed by the projection alone.
    context_.world.valid = 1;
    context_.view.valid = 1;
    material_ = Material();
    material_.context = &context_;
    MaterialLayer& layer = material_.layers[0];
    layer.samplers[kBaseMap].texture = texture_;
    // The quad's coordinates already place the image inside the texture that holds its
    // texels (a part cut from a larger image): the stage samples that holder, whose
    // placement is the whole, so the draw does not place them a second time. Images cut
    // from one texture keep sharing a mesh, and each still shows its own part.
    layer.stages[0].sampler.texture = texture_->GetPixelOwner();
    layer.opacity = factor_;
    layer.stages[0].SetCombine(combine_);
}

bool ImageWindow::BuildQuad() {
    if (!texture_ || !Owner()) return false;
    if (!mesh_ || mesh_->GetFlag()) {
        RemoveQuad();
        BuildMaterial();
        GeometryDesc desc;
        if (!WindowManager::DynamicTriangles(desc, kVertexFVF, kVertexSize, kQuadBytes)) return false;
        mesh_ = TheWindowManager().AddMesh(this, desc, &material_);
        if (!mesh_) return false;
    }
    if (range_ && range_->size == kQuadBytes) return true;
    if (range_) range_->Release();
    range_ = nullptr;
    const GeometryRef geometry = mesh_->GetGeometry();
    SharedBuffer* buffer = geometry ? geometry->GetVertexBuffer(0) : nullptr;
    if (!buffer) return false;
    range_ = buffer->AllocateRange(kQuadBytes, 0, this);
    return range_ != nullptr;
}

bool ImageWindow::SetupQuad() {
    written_ = 0;
    if (!BuildQuad()) return false;
    Window* owner = Owner();
    mesh_->properties.children.SetInt(String("z"), owner->HighestLayer() - imageLayer_);

    IntRect whole;
    IntRect visible;
    // Clipped away entirely: nothing to draw is not a failure. The quad goes too, or the
    // vertices of the last set-up would go on being drawn where the window no longer is.
    if (!GetAbsoluteRect(whole, visible) || visible.right <= 0 || visible.bottom <= 0) {
        RemoveQuad();
        return true;
    }

    const Application* app = TheApplication();
    const IntRect screen = app ? app->GetScreenRect() : IntRect(0, 0, 0, 0);
    // Without a screen size there is no pixel mapping to place the quad with.
    if (screen.right <= 0 || screen.bottom <= 0) return false;
    Matrix& projection = context_.projection;
    for (f32& m : projection.m) m = 0.0f;
    projection.m[0] = 2.0f / static_cast<f32>(screen.right);
    projection.m[5] = -2.0f / static_cast<f32>(screen.bottom);
    projection.m[10] = 1.0f;
    projection.m[12] = -1.0f;
    projection.m[13] = 1.0f;
    projection.m[15] = 1.0f;
    projection.kind = 0;
    projection.valid = 1;
    projection.Classify();

    const f32 depth = TheWindowManager().LayerDepth(owner->LowestLayer() + imageLayer_);

    const TexCoordRect tc = texture_->GetTexCoordRect();
    f32 coords[4] = {tc.uMin, tc.vMin, tc.uMax, tc.vMax};
    const IntPair size = texture_->GetSize();
    if (tiledX_ && size.x > 0) {
        coords[0] = 0.0f;
        coords[2] = static_cast<f32>(whole.right) / static_cast<f32>(size.x);
    }
    if (tiledY_ && size.y > 0) {
        coords[1] = 0.0f;
        coords[3] = static_cast<f32>(whole.bottom) / static_cast<f32>(size.y);
    }
    f32 uv[4];
    MapRect(whole, visible, true, coords, uv);

    const f32 left = static_cast<f32>(visible.left) - 0.5f;
    const f32 top = static_cast<f32>(visible.top) - 0.5f;
    const f32 right = static_cast<f32>(static_cast<i64>(visible.left) + visible.right) - 0.5f;
    const f32 bottom = static_cast<f32>(static_cast<i64>(visible.top) + visible.bottom) - 0.5f;
    const Vertex quad[kQuadVertices] = {
        {left, top, depth, uv[0], uv[1]},     {right, top, depth, uv[2], uv[1]},
        {left, bottom, depth, uv[0], uv[3]},  {right, top, depth, uv[2], uv[1]},
        {right, bottom, depth, uv[2], uv[3]}, {left, bottom, depth, uv[0], uv[3]},
    };
    static_assert(sizeof(quad) == kQuadBytes, "a quad is six 20-byte vertices");
    std::memcpy(vertices_, quad, sizeof(quad));
    if (!WriteVertices()) return false;
    written_ = kQuadVertices;
    return true;
}

bool ImageWindow::WriteVertices() {
    void* bytes = nullptr;
    if (!range_ || !range_->Lock(0, &bytes) || !bytes) return false;
    std::memcpy(bytes, vertices_, kQuadBytes);
    return range_->Unlock();
}

bool ImageWindow::Refill(BufferRange* range) { return range == range_ && WriteVertices(); }

void ImageWindow::RemoveQuad() {
    if (range_) range_->Release();
    range_ = nullptr;
    written_ = 0;
    if (!mesh_) return;
    // RemoveMesh also finds a mesh filed under another root, so a window taken out of its
    // tree still gives its mesh back.
    TheWindowManager().RemoveMesh(this, mesh_);
    mesh_ = nullptr;
}
