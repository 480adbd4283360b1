// Image and label windows on the reference device: the six vertices a tile writes (corners,
// depth, texture coordinates, clipping, repeats), the meshes it files with the window
// manager and gives back, the label window's parameters and states, skins that load
// textures, and the texture references all of it takes and returns.
#include "D3d/Application.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/GeometryCache.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "D3d/TextureDesc.h"
#include "D3d/TextureManager.h"
#include "Core/TextData.h"
#include "Core/TextNode.h"
#include "Effect/LightSet.h"
#include "Effect/MeshObject.h"
#include "Gui/ImageWindow.h"
#include "Gui/LabelWindow.h"
#include "Gui/RichTextWindow.h"
#include "Gui/WindowManager.h"
#include "tests/RichTextSupport.h"
#include "tests/TextureTestSupport.h"
#include "tests/linux/PlatformD3d9Support.h"
#include "tests/linux/WindowDeviceSupport.h"

#include <PlatformTestD3d9.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

class ImageWindowDevice : public WindowDeviceTest {
protected:
    std::vector<std::string> files_;
    std::unique_ptr<LabelWindow> label_;
    Texture* grey_ = nullptr;

    void TearDown() override {
        // The label window's quads go back before the manager forgets its meshes.
        label_.reset();
        WindowDeviceTest::TearDown();
        for (const std::string& f : files_) std::remove(f.c_str());
        if (app.GetWindow()) DestroyWindow(app.GetWindow());
    }

    // An opaque grey image of the size, in a file named after the running test.
    std::string Image(const char* tag, unsigned width, unsigned height) {
        const std::string name = std::string("imagewin_") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + tag + ".bmp";
        EXPECT_TRUE(texsupport::WriteFile(name, texsupport::MakeBmp(width, height, [](unsigned, unsigned) { return 0xFF808080u; })));
        files_.push_back(name);
        return name;
    }
    // A shown label window over rect, and a 16 x 16 grey texture in grey_ (both let go
    // when the test ends).
    LabelWindow& ShownLabel(IntRect rect) {
        grey_ = Load(Image("grey", 16, 16));
        label_ = std::make_unique<LabelWindow>();
        label_->SetRect(rect);
        label_->Show();
        return *label_;
    }
    static Texture* Load(const std::string& name) {
        TextureDesc desc;
        desc.path = patht(String(name.c_str()));
        return TheTextureManager().Load(desc, nullptr);
    }
    // A tile of the label window with the texture over rect.
    static ImageWindow* Tile(LabelWindow& label, const char* name, Texture* texture, IntRect rect) {
        auto* tile = new ImageWindow();
        tile->SetName(String(name));
        tile->SetImage(texture);
        EXPECT_TRUE(label.AddTile(tile, String()));
        tile->SetRect(rect);
        return tile;
    }
    static std::vector<ImageWindow::Vertex> Vertices(ImageWindow& image) {
        std::vector<ImageWindow::Vertex> out(ImageWindow::kQuadVertices);
        void* bytes = nullptr;
        if (!image.GetRange() || !image.GetRange()->Lock(0, &bytes) || !bytes) return {};
        std::memcpy(out.data(), bytes, ImageWindow::kQuadBytes);
        image.GetRange()->Unlock();
        return out;
    }
    // Draw calls one frame of the manager makes.
    unsigned DrawCalls() {
        StateCache::InvalidateAll();
        PlatformTest_D3d9ClearCallLog();
        EXPECT_TRUE(wm.Draw());
        unsigned draws = 0;
        for (const std::string& call : PlatformTest_D3d9CallLog())
            if (call.rfind("DrawPrimitive(", 0) == 0) ++draws;
        return draws;
    }
};

TEST_F(ImageWindowDevice, SixVerticesAtTheCornersLessHalfAPixelAtTheLayersDepth) {
    LabelWindow& label = ShownLabel(IntRect(10, 20, 300, 200));
    Texture* texture = grey_;
    ASSERT_NE(texture, nullptr);
    ImageWindow* tile = Tile(label, "t", texture, IntRect(4, 6, 100, 50));
    tile->SetImageLayer(0);
    ASSERT_TRUE(label.ApplySkin());
    ASSERT_NE(tile->GetMesh(), nullptr);
    EXPECT_EQ(tile->WrittenVertices(), 6u);
    const std::vector<ImageWindow::Vertex> v = Vertices(*tile);
    ASSERT_EQ(v.size(), 6u);
    const f32 l = 13.5f, t = 25.5f, r = 113.5f, b = 75.5f;
    const f32 expected[6][4] = {{l, t, 0, 0}, {r, t, 1, 0}, {l, b, 0, 1}, {r, t, 1, 0}, {r, b, 1, 1}, {l, b, 0, 1}};
    const f32 depth = wm.LayerDepth(label.LowestLayer());
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(v[i].u, expected[i][2]) << i;
        EXPECT_FLOAT_EQ(v[i].v, expected[i][3]) << i;
        EXPECT_FLOAT_EQ(v[i].z, depth) << i;
    }
    // Pixels map onto the screen: x' = 2x / W - 1, y' = 1 - 2y / H.
    const IntRect screen = app.GetScreenRect();
    const Matrix& p = tile->GetContext().projection;
    EXPECT_FLOAT_EQ(p.m[0], 2.0f / static_cast<f32>(screen.right));
    EXPECT_FLOAT_EQ(p.m[5], -2.0f / static_cast<f32>(screen.bottom));
    EXPECT_FLOAT_EQ(p.m[12], -1.0f);
    EXPECT_FLOAT_EQ(p.m[13], 1.0f);
    EXPECT_EQ(p.valid, 1u);
    i32 z = -1;
    EXPECT_TRUE(tile->GetMesh()->properties.children.GetInt(String("z"), &z));
    EXPECT_EQ(z, label.HighestLayer());
    EXPECT_EQ(DrawCalls(), 1u);
}

TEST_F(ImageWindowDevice, OutsideTheParentNoVertexAndAtItsEdgeTheVisiblePart) {
    LabelWindow& label = ShownLabel(IntRect(0, 0, 100, 100));
    Texture* texture = grey_;
    ASSERT_NE(texture, nullptr);
    ImageWindow* outside = Tile(label, "outside", texture, IntRect(150, 150, 40, 40));
    ImageWindow* edge = Tile(label, "edge", texture, IntRect(80, 60, 40, 80));
    ASSERT_TRUE(outside->SetupQuad());
    EXPECT_EQ(outside->WrittenVertices(), 0u);
    EXPECT_EQ(outside->GetMesh(), nullptr);
    ASSERT_TRUE(edge->SetupQuad());
    EXPECT_EQ(edge->WrittenVertices(), 6u);
    const std::vector<ImageWindow::Vertex> v = Vertices(*edge);
    ASSERT_EQ(v.size(), 6u);
    // Half the width and half the height are inside: half the texture is shown.
    EXPECT_FLOAT_EQ(v[4].x, 99.5f);
    EXPECT_FLOAT_EQ(v[4].y, 99.5f);
    EXPECT_FLOAT_EQ(v[4].u, 0.5f);
    EXPECT_FLOAT_EQ(v[4].v, 0.5f);
    EXPECT_FLOAT_EQ(v[0].u, 0.0f);
    EXPECT_EQ(DrawCalls(), 1u);

    // Moved out of sight, the image stops being drawn: its old vertices do not linger.
    edge->SetRect(IntRect(120, 60, 40, 80));
    ASSERT_TRUE(edge->SetupQuad());
    EXPECT_EQ(edge->GetMesh(), nullptr);
    EXPECT_EQ(DrawCalls(), 0u);
}

TEST_F(ImageWindowDevice, RepeatsCountTexelsAcrossTheWindow) {
    Texture* texture = Load(Image("strip", 64, 32));
    ASSERT_NE(texture, nullptr);
    {
        LabelWindow label;
        label.SetRect(IntRect(0, 0, 400, 400));
        label.Show();
        ImageWindow* tiled = Tile(label, "tiled", texture, IntRect(0, 0, 200, 48));
        tiled->SetTiled(true, false);
        ImageWindow* both = Tile(label, "both", texture, IntRect(0, 100, 32, 48));
        both->SetTiled(true, true);
        ImageWindow* stretched = Tile(label, "stretched", texture, IntRect(0, 200, 200, 48));
        ASSERT_TRUE(label.ApplySkin());
        std::vector<ImageWindow::Vertex> v = Vertices(*tiled);
        ASSERT_EQ(v.size(), 6u);
        EXPECT_FLOAT_EQ(v[0].u, 0.0f);
        EXPECT_FLOAT_EQ(v[1].u, 3.125f);  // 200 / 64
        EXPECT_FLOAT_EQ(v[2].v, 1.0f);
        v = Vertices(*both);
        ASSERT_EQ(v.size(), 6u);
        EXPECT_FLOAT_EQ(v[4].u, 0.5f);
        EXPECT_FLOAT_EQ(v[4].v, 1.5f);
        v = Vertices(*stretched);
        ASSERT_EQ(v.size(), 6u);
        EXPECT_FLOAT_EQ(v[1].u, 1.0f);
    }
    TheTextureManager().Release(texture);
}

TEST_F(ImageWindowDevice, OpaqueImagesShareOneMeshEachWithItsOwnRange) {
    LabelWindow& label = ShownLabel(IntRect(0, 0, 300, 300));
    Texture* texture = grey_;
    ASSERT_NE(texture, nullptr);
    ImageWindow* a = Tile(label, "a", texture, IntRect(0, 0, 10, 10));
    ImageWindow* b = Tile(label, "b", texture, IntRect(20, 0, 10, 10));
    ASSERT_TRUE(label.ApplySkin());
    ASSERT_NE(a->GetMesh(), nullptr);
    EXPECT_EQ(a->GetMesh(), b->GetMesh());
    EXPECT_NE(a->GetRange(), b->GetRange());
    EXPECT_EQ(wm.Cache().Count(), 1u);
    EXPECT_TRUE(wm.TransparentMeshes(&label).empty());
    // Each range keeps its own quad.
    EXPECT_FLOAT_EQ(Vertices(*a)[0].x, -0.5f);
    EXPECT_FLOAT_EQ(Vertices(*b)[0].x, 19.5f);
    // One leaving keeps the mesh for the other.
    a->RemoveQuad();
    EXPECT_EQ(wm.Cache().Count(), 1u);
    EXPECT_EQ(a->GetMesh(), nullptr);
    ASSERT_TRUE(b->SetupQuad());
}

TEST_F(ImageWindowDevice, ACombineChangeRebuildsTheQuadAndTheFactorReachesTheMaterial) {
    LabelWindow& label = ShownLabel(IntRect(0, 0, 300, 300));
    Texture* texture = grey_;
    ASSERT_NE(texture, nullptr);
    ImageWindow* tile = Tile(label, "t", texture, IntRect(0, 0, 10, 10));
    ASSERT_TRUE(label.ApplySkin());
    EXPECT_EQ(wm.Cache().Count(), 1u);
    EXPECT_EQ(tile->GetMaterial().layers[0].stages[0].alphaOp, static_cast<u32>(D3DTOP_DISABLE));

    label.SetIntParam(1);  // the texture factor's alpha
    EXPECT_EQ(tile->GetMesh(), nullptr);
    EXPECT_EQ(wm.Cache().Count(), 0u);
    EXPECT_TRUE(label.HasPendingRedraw());
    wm.FrameSignal().Emit();
    ASSERT_NE(tile->GetMesh(), nullptr);
    EXPECT_EQ(tile->GetMaterial().layers[0].stages[0].alphaOp, static_cast<u32>(D3DTOP_SELECTARG1));
    EXPECT_EQ(tile->GetMaterial().layers[0].stages[0].alphaArg[1], static_cast<u32>(D3DTA_TFACTOR));
    // Now see-through: filed with the label window's transparent meshes.
    EXPECT_EQ(wm.TransparentMeshes(&label).size(), 1u);
    MeshObject* built = tile->GetMesh();
    label.SetFloatParam(0.5f);
    EXPECT_EQ(tile->GetMesh(), built);
    EXPECT_FLOAT_EQ(tile->GetMaterial().layers[0].opacity, 0.5f);
    // The same kind again changes nothing.
    label.SetIntParam(1);
    EXPECT_EQ(tile->GetMesh(), built);
}

TEST_F(ImageWindowDevice, ADestroyedImageLeavesNoMeshBehind) {
    LabelWindow& label = ShownLabel(IntRect(0, 0, 300, 300));
    Texture* texture = grey_;
    ASSERT_NE(texture, nullptr);
    auto* image = new ImageWindow();
    image->SetImage(texture);
    label.AddChild(image, true);
    image->SetRect(IntRect(0, 0, 20, 20));
    ASSERT_TRUE(image->SetupQuad());
    EXPECT_EQ(wm.Cache().Count(), 1u);
    delete image;
    EXPECT_EQ(wm.Cache().Count(), 0u);
    EXPECT_EQ(DrawCalls(), 0u);
}

TEST_F(ImageWindowDevice, HidingAndLeavingAStateDropTheQuads) {
    LabelWindow& label = ShownLabel(IntRect(0, 0, 300, 300));
    Texture* texture = grey_;
    ASSERT_NE(texture, nullptr);
    ImageWindow* a = Tile(label, "a", texture, IntRect(0, 0, 10, 10));
    ImageWindow* b = Tile(label, "b", texture, IntRect(20, 0, 10, 10));
    label.AddTile(a, String("one"));
    label.SetState(String("one"));
    ASSERT_TRUE(label.ApplySkin());
    EXPECT_NE(a->GetMesh(), nullptr);
    EXPECT_EQ(b->GetMesh(), nullptr);  // not in the state: not set up

    label.SetState(String());
    ASSERT_TRUE(label.ApplySkin());
    EXPECT_NE(b->GetMesh(), nullptr);
    label.SetState(String("one"));
    EXPECT_NE(a->GetMesh(), nullptr);  // stays in the new state
    EXPECT_EQ(b->GetMesh(), nullptr);  // left: its quad is gone

    label.Hide();
    EXPECT_EQ(a->GetMesh(), nullptr);
    EXPECT_EQ(wm.Cache().Count(), 0u);
    // Without a texture or an owner there is nothing to build.
    ImageWindow lone;
    lone.SetImage(texture);
    EXPECT_FALSE(lone.BuildQuad());
    b->SetImage(nullptr);
    EXPECT_FALSE(b->SetupQuad());
}

struct SkinDoc {
    TextDataTree tree;
    explicit SkinDoc(const std::string& text) {
        EXPECT_TRUE(TextData::LoadText(WString::FromNarrow(text.c_str()), tree, nullptr, TextData::kStatementForm));
    }
    TextNode* Cfg() { return tree.GetChild("Cfg"); }
};

TEST_F(ImageWindowDevice, SkinTexturesInBothRectangleFormsAndTheirReferences) {
    const std::string atlas = Image("atlas", 64, 64);
    SkinDoc doc("Cfg = object(Tiles = object("
                "  sized = object(texture = \"" + atlas + ":frame\", texrect = object(x1 = 8, y1 = 4, w = 16, h = 24)),"
                "  cornered = object(texture = \"" + atlas + "\", texrect = object(x1 = 8, y1 = 4, x2 = 16, y2 = 24)),"
                "  whole = object(texture = \"" + atlas + "\", tiledx = 1, tiledy = 0),"
                "  missing = object(texture = \"imagewin_no_such_file.bmp\")));");
    {
        LabelWindow label;
        label.SetRect(IntRect(0, 0, 100, 100));
        ASSERT_TRUE(label.ParseSkin(doc.Cfg()));
        ImageWindow* sized = label.FindTile(String("sized"));
        ImageWindow* cornered = label.FindTile(String("cornered"));
        ImageWindow* whole = label.FindTile(String("whole"));
        ASSERT_TRUE(sized && cornered && whole);
        ASSERT_NE(sized->GetImage(), nullptr);
        ASSERT_NE(cornered->GetImage(), nullptr);
        EXPECT_TRUE(IntRect::Equals(sized->GetImage()->GetRect(), cornered->GetImage()->GetRect()));
        EXPECT_NE(sized->GetImage(), whole->GetImage());
        EXPECT_EQ(std::string(sized->ImageName().c_str()), atlas);  // the text before ":"
        EXPECT_TRUE(whole->IsTiledX());
        EXPECT_FALSE(whole->IsTiledY());
        EXPECT_EQ(label.FindTile(String("missing"))->GetImage(), nullptr);
        EXPECT_GT(TheTextureManager().TextureCount(), 0u);
        sized->SetRect(IntRect(0, 0, 16, 24));
        ASSERT_TRUE(label.ApplySkin());
    }
    // The label window gave back every reference its skin took.
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
    EXPECT_EQ(wm.Cache().Count(), 0u);
}

TEST_F(ImageWindowDevice, AnImgElementShowsALabelWindowHoldingItsImage) {
    richtext::FontScope fonts;
    ASSERT_TRUE(richtext::LoadCellFont(false));
    const std::string pic = Image("pic", 32, 16);
    {
        RichTextWindow text;
        text.SetRect(IntRect(0, 0, 300, 100));
        text.Show();
        ASSERT_TRUE(text.SetMarkup(WString::FromNarrow(("ab<IMG Src=\"" + pic + "\" Width=20 Height=10/>cd").c_str())));
        TextElement* element = text.Document();
        while (element && element->GetKind() != TextElement::kKindObject) element = element->Next();
        ASSERT_NE(element, nullptr);
        auto* label = dynamic_cast<LabelWindow*>(element->GetAttachedObject());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->GetParent(), &text);
        EXPECT_EQ(label->GetRect().right, 20);
        EXPECT_EQ(label->GetRect().bottom, 10);
        // One tile, in the empty state, showing the element's texture over the whole label.
        ASSERT_EQ(label->Tiles().size(), 1u);
        ImageWindow* image = label->Tiles()[0];
        const std::vector<String>* shown = label->StateTiles(String());
        ASSERT_NE(shown, nullptr);
        ASSERT_EQ(shown->size(), 1u);
        EXPECT_TRUE(String::Equals((*shown)[0], image->GetName()));
        ASSERT_NE(element->GetImageTexture(), nullptr);
        EXPECT_EQ(image->GetImage(), element->GetImageTexture());
        EXPECT_TRUE(IntRect::Equals(image->GetRect(), IntRect(0, 0, 20, 10)));
        // The element holds the only reference.
        EXPECT_EQ(TheTextureManager().TextureCount(), 1u);
        EXPECT_EQ(element->GetImageTexture()->GetRefCount(), 1u);
        ASSERT_TRUE(label->ApplySkin());
        EXPECT_NE(image->GetMesh(), nullptr);
        EXPECT_EQ(image->WrittenVertices(), 6u);

        // New markup deletes the old element, its windows and their quad.
        ASSERT_TRUE(text.SetMarkup(WString(u"plain")));
        EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
        EXPECT_EQ(wm.Cache().Count(), 0u);
        ASSERT_TRUE(text.SetMarkup(WString::FromNarrow(("<IMG Src=\"" + pic + "\"/>").c_str())));
        EXPECT_EQ(TheTextureManager().TextureCount(), 1u);
    }
    // The element released its texture after its windows were gone.
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}

}  // namespace
