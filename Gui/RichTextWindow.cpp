// The rich-text window's document, layout pass, meshes and quads (see RichTextWindow.h).
#include "Gui/RichTextWindow.h"

#include <d3d9.h>

#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/InlineObjectFactory.h"
#include "Effect/MeshObject.h"
#include "Gui/WindowManager.h"

namespace {

// The selection's colours: dark red glyphs on dark blue.
const FColor kSelectedText = FColor::FromBytes(200, 0, 0);
const FColor kSelection = FColor::FromBytes(0, 0, 100);

const WString kRawOpen(u"<RAW>");
const WString kRawClose(u"</RAW>");

}  // namespace

RichTextWindow::RichTextWindow()
    : selectedTextColor_(kSelectedText.ToPacked()), selectionColor_(kSelection.ToPacked()) {
    root_ = new TextElement;
    root_->Style().Assign(style_);
    root_->SetMarkup(WString());
    layout_.SetObjectSize(&RichTextWindow::InlineSize, nullptr);
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
    kept.Assign(root_ ? root_->GetStyle() : style_);
    if (root_) {
        for (TextElement* e = root_; e; e = e->Next())
            if (Window* inline_ = InlineWindow(e)) RemoveChild(inline_);
        delete root_;
    }
    root_ = new TextElement;
    root_->Style().Assign(kept);
    EnableFrameEvents(true, true);
    const bool parsed = root_->SetMarkup(markup);
    AdoptInlineWindows();
    Reflow();
    return parsed;
}

bool RichTextWindow::SetRawText(const WString& text, TextElement* element) {
    if (element) {
        element->SetText(text);
        EnableFrameEvents(true, true);
        return true;
    }
    return SetMarkup(kRawOpen + text + kRawClose);
}

void RichTextWindow::SetFlags(u32 flags) {
    flags_ = flags;
    EnableFrameEvents(true, true);
}

void RichTextWindow::Reflow() { layout_.Wrap(root_, GetExtent().x, (flags_ & kWrapWords) != 0); }

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
    layer.samplers[kBaseMap].texture = quads.texture;
    if (GetIntParam() == 1) layer.opacity = GetFloatParam();
    quads.material.context = &quads.context;
}

bool RichTextWindow::FitMesh(QuadMesh& quads, u32 glyphs, u32 fvf, u32 vertexSize) {
    const u32 bytes = glyphs * kVerticesPerGlyph * vertexSize;
    if (!quads.mesh) {
        GeometryDesc desc;
        desc.primitiveType = D3DPT_TRIANGLELIST;
        if (!desc.layout.SetFVF(fvf)) return false;
        GeometryStream& stream = desc.streams[0];
        stream.kind = GeometryStream::kVertexKind;
        stream.layout.Assign(desc.layout);
        stream.stride = vertexSize;
        stream.length = bytes;
        stream.usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
        stream.pool = D3DPOOL_DEFAULT;
        stream.fieldFlags = GeometryStream::kLengthSet | GeometryStream::kUsageSet | GeometryStream::kPoolSet;
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
    // Inline windows show only where the placing puts them again.
    for (TextElement* e = root_; e; e = e->Next())
        if (Window* inline_ = InlineWindow(e)) inline_->SetEnabled(false);

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
    for (const PlacedObject& placed : layout_.Objects()) {
        Window* inline_ = InlineWindow(placed.element);
        if (!inline_) continue;
        inline_->SetOrigin(placed.origin.x, placed.origin.y);
        inline_->SetEnabled(true);
    }

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
