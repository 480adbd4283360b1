// The rich-text window with a fixed-cell font (8 x 10 pixel cells on a 128 x 64 atlas):
// raw text shown literally, the quads of "100" as they reach the vertex buffer (layout
// 324), the meshes it files with the window manager and gives back (when the lock mode
// changes, when the window goes, and when the text no longer uses their charset), a
// window destroyed with a pending redraw, the clip and the text extent the clock measures.
#include "Gui/RichTextWindow.h"

#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "Effect/MeshObject.h"
#include "Gui/WindowManager.h"
#include "RichTextSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace richtext;

namespace {

// The glyphs the last layout placed, as text.
std::string PlacedText(const RichTextWindow& window) {
    std::string out;
    for (const GlyphRecord& glyph : window.GetLayout().Glyphs()) out += static_cast<char>(glyph.ch);
    return out;
}

// The first `count` vertices of a mesh's vertex buffer, as the device holds them.
template <class Vertex>
std::vector<Vertex> ReadVertices(MeshObject* mesh, u32 count) {
    std::vector<Vertex> out;
    if (!mesh || !mesh->GetGeometry()) return out;
    SharedBuffer* buffer = mesh->GetGeometry()->GetVertexBuffer(0);
    IDirect3DVertexBuffer9* d3d = buffer ? buffer->GetVertexBuffer() : nullptr;
    void* bytes = nullptr;
    if (!d3d || FAILED(d3d->Lock(0, count * sizeof(Vertex), &bytes, 0))) return out;
    const Vertex* v = static_cast<const Vertex*>(bytes);
    out.assign(v, v + count);
    d3d->Unlock();
    return out;
}

// The cell font again, split into two charsets with an atlas each: the capitals and signs
// (32 to 96) in one, the small letters and what follows (97 to 126) in the other.
bool LoadTwoAtlasFont() {
    TheFontManager().Clear();
    const std::string stem = std::string("richtext_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string names;
    std::vector<std::string> files;
    const int ranges[2][2] = {{32, 96}, {97, 126}};
    for (int i = 0; i < 2; ++i) {
        const std::string bmp = stem + "_" + std::to_string(i) + ".bmp";
        const std::string css = stem + "_" + std::to_string(i) + ".css";
        files.push_back(bmp);
        files.push_back(css);
        if (!texsupport::WriteFile(bmp, texsupport::MakeBmp(kAtlasWidth, kAtlasHeight,
                                                           [](unsigned, unsigned) { return 0xFFFFFFFFu; })) ||
            !texsupport::WriteText(css, "Name = \"" + bmp + "\"; CharWidth = 8; CharHeight = 10; CharsPerLine = 16; " +
                                            "StartChar = " + std::to_string(ranges[i][0]) +
                                            "; EndChar = " + std::to_string(ranges[i][1]) + ";"))
            return false;
        names += (i ? ", \"" : "\"") + css + "\"";
    }
    TextDataTree doc;
    const bool loaded =
        TextData::LoadText(WString::FromNarrow(("Styles[0].Size = 14; Styles[0].Charsets = array(" + names + ");").c_str()),
                           doc, nullptr, TextData::kStatementForm) &&
        TheFontManager().LoadFontFromTree(doc, patht(""), 0);
    for (const std::string& file : files) std::remove(file.c_str());
    return loaded;
}

class RichTextWindowTest : public DeviceTest {
protected:
    // A shown top-level window at (10, 20) of 200 x 50.
    RichTextWindow* Make() {
        RichTextWindow* window = new RichTextWindow;
        window->SetRect(IntRect(10, 20, 200, 50));
        window->Show();
        return window;
    }

};

}  // namespace

TEST_F(RichTextWindowTest, RawTextShowsAngleBracketsLiterally) {
    std::unique_ptr<RichTextWindow> window(Make());
    EXPECT_TRUE(window->SetRawText(WString(u"a<B>b</B> & <c")));
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(PlacedText(*window), "a<B>b</B> & <c");
    // As markup the same text is styled instead.
    EXPECT_TRUE(window->SetMarkup(WString(u"a<B>b</B>")));
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(PlacedText(*window), "ab");
    // With an element, only that element's text changes.
    TextElement* run = window->Document()->FindKind(TextElement::kKindRun);
    ASSERT_NE(run, nullptr);
    EXPECT_TRUE(window->SetRawText(WString(u"<x>"), run));
    EXPECT_TRUE(window->HasPendingRedraw());
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(PlacedText(*window), "<x>b");
}

TEST_F(RichTextWindowTest, TheQuadsOf100ReachTheVertexBuffer) {
    std::unique_ptr<RichTextWindow> window(Make());
    window->SetRawText(WString(u"100"));
    EXPECT_TRUE(window->HasPendingRedraw());
    // The frame signal runs the redraw once and ends it.
    TheWindowManager().FrameSignal().Emit();
    EXPECT_FALSE(window->HasPendingRedraw());

    ASSERT_EQ(window->GlyphMeshCount(), 1u);
    MeshObject* glyphs = window->GlyphMesh(0);
    ASSERT_NE(glyphs, nullptr);
    EXPECT_EQ(window->GlyphMeshTexture(0), TheFontManager().GetDefaultCharset()->GetTexture());
    EXPECT_EQ(glyphs->GetGeometryDesc().primitiveType, static_cast<u32>(D3DPT_TRIANGLELIST));
    EXPECT_EQ(glyphs->GetGeometryDesc().streams[0].stride, 28u);
    EXPECT_NE(glyphs->GetGeometryDesc().streams[0].usage & D3DUSAGE_DYNAMIC, 0u);
    ASSERT_NE(window->BackgroundMesh(), nullptr);
    EXPECT_EQ(window->BackgroundMesh()->GetGeometryDesc().streams[0].stride, 20u);
    i32 z = 0;
    ASSERT_TRUE(glyphs->properties.children.GetInt(String("z"), &z));
    EXPECT_EQ(z, window->LayerFromTop() + 1);
    ASSERT_TRUE(window->BackgroundMesh()->properties.children.GetInt(String("z"), &z));
    EXPECT_EQ(z, window->LayerFromTop());

    const std::vector<GlyphVertex> v = ReadVertices<GlyphVertex>(glyphs, 18);
    ASSERT_EQ(v.size(), 18u);
    const f32 depth = TheWindowManager().LayerDepth(window->AbsoluteLayer() - 1);
    // "1" is cell 17 (row 1, column 1), "0" cell 16 (row 1, column 0); the glyphs stand
    // side by side from the window's left (10), their bottom on the line's (20 + 10).
    const f32 u0[3] = {8.0f / 128, 0.0f, 0.0f};
    for (int g = 0; g < 3; ++g) {
        const f32 left = 10.0f + 8.0f * g - 0.5f;
        const f32 right = left + 8.0f;
        const f32 xs[6] = {left, right, right, left, right, left};
        const f32 ys[6] = {19.5f, 19.5f, 29.5f, 19.5f, 29.5f, 29.5f};
        const f32 us[6] = {u0[g], u0[g] + 8.0f / 128, u0[g] + 8.0f / 128, u0[g], u0[g] + 8.0f / 128, u0[g]};
        const f32 vs[6] = {10.0f / 64, 10.0f / 64, 20.0f / 64, 10.0f / 64, 20.0f / 64, 20.0f / 64};
        for (int i = 0; i < 6; ++i) {
            const GlyphVertex& vertex = v[g * 6 + i];
            EXPECT_FLOAT_EQ(vertex.x, xs[i]) << g << "/" << i;
            EXPECT_FLOAT_EQ(vertex.y, ys[i]) << g << "/" << i;
            EXPECT_FLOAT_EQ(vertex.z, depth);
            EXPECT_FLOAT_EQ(vertex.rhw, 1.0f);
            EXPECT_EQ(vertex.color, 0xFFFFFFFFu);
            EXPECT_FLOAT_EQ(vertex.u, us[i]) << g << "/" << i;
            EXPECT_FLOAT_EQ(vertex.v, vs[i]) << g << "/" << i;
        }
    }
    // Behind them, the background quads span each advance, one layer further away.
    const std::vector<ShadeVertex> s = ReadVertices<ShadeVertex>(window->BackgroundMesh(), 18);
    ASSERT_EQ(s.size(), 18u);
    EXPECT_FLOAT_EQ(s[0].x, 9.5f);
    EXPECT_FLOAT_EQ(s[17].x, 25.5f);
    EXPECT_FLOAT_EQ(s[0].z, TheWindowManager().LayerDepth(window->AbsoluteLayer()));
    EXPECT_EQ(s[0].color, 0xFF000000u);
}

TEST_F(RichTextWindowTest, MeshesAreFiledUnderTheRootAndGivenBackWhenTheWindowGoes) {
    RichTextWindow* window = Make();
    window->SetRawText(WString(u"abc"));
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(TheWindowManager().TransparentMeshes(window).size(), 2u);
    // A redraw with other text of the same charset keeps the meshes.
    MeshObject* before = window->GlyphMesh(0);
    window->SetRawText(WString(u"abcdef"));
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(window->GlyphMesh(0), before);
    EXPECT_EQ(TheWindowManager().TransparentMeshes(window).size(), 2u);

    // Another lock mode: the meshes go back and are made again by the next redraw.
    window->SetIntParam(0);
    EXPECT_EQ(window->GlyphMeshCount(), 0u);
    EXPECT_EQ(TheWindowManager().TransparentMeshes(window).size(), 0u);
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(TheWindowManager().TransparentMeshes(window).size(), 2u);

    // Destroyed with its meshes filed: the manager keeps none of them and draws on safely.
    const Window* gone = window;
    delete window;
    EXPECT_EQ(TheWindowManager().TransparentMeshes(const_cast<Window*>(gone)).size(), 0u);
    EXPECT_TRUE(TheWindowManager().Draw());

    // Text without glyphs files no meshes at all.
    std::unique_ptr<RichTextWindow> empty(Make());
    empty->SetRawText(WString(u""));
    ASSERT_TRUE(empty->Render());
    EXPECT_EQ(empty->GlyphMeshCount(), 0u);
    EXPECT_EQ(empty->BackgroundMesh(), nullptr);
}

TEST_F(RichTextWindowTest, AMeshOfACharsetTheTextNoLongerUsesGoesBack) {
    ASSERT_TRUE(LoadTwoAtlasFont());
    std::unique_ptr<RichTextWindow> window(Make());
    window->SetRawText(WString(u"Ab"));
    ASSERT_TRUE(window->Render());
    ASSERT_EQ(window->GlyphMeshCount(), 2u);
    Texture* capitals = window->GlyphMeshTexture(0);
    ASSERT_NE(capitals, window->GlyphMeshTexture(1));
    EXPECT_EQ(TheWindowManager().TransparentMeshes(window.get()).size(), 3u);

    // Only capitals now: the small letters' mesh leaves the window and the manager, so no
    // quad of the old "b" is drawn any more.
    window->SetRawText(WString(u"AB"));
    ASSERT_TRUE(window->Render());
    ASSERT_EQ(window->GlyphMeshCount(), 1u);
    EXPECT_EQ(window->GlyphMeshTexture(0), capitals);
    EXPECT_EQ(TheWindowManager().TransparentMeshes(window.get()).size(), 2u);
}

TEST_F(RichTextWindowTest, AWindowDestroyedWithAPendingRedrawLeavesTheFrameSignal) {
    Signal& frame = TheWindowManager().FrameSignal();
    const u32 before = frame.Count();
    RichTextWindow* window = Make();
    window->SetRawText(WString(u"tick"));
    ASSERT_TRUE(window->HasPendingRedraw());
    EXPECT_EQ(frame.Count(), before + 1);
    delete window;
    EXPECT_EQ(frame.Count(), before);
    frame.Emit();  // reaches nothing that is gone
    EXPECT_TRUE(TheWindowManager().Draw());
}

TEST_F(RichTextWindowTest, OnlyLinesInsideTheWindowAreLaidOutAndDrawn) {
    std::unique_ptr<RichTextWindow> window(Make());
    window->SetSize(200, 25);
    std::u16string text;
    for (int i = 0; i < 10; ++i) text += u"ab\n";
    window->SetRawText(WString(text.c_str()));
    ASSERT_TRUE(window->Render());
    // Lines start at 0, 10 and 20 inside a window 25 high; the fourth is not laid out.
    EXPECT_EQ(window->GetLayout().Drawn().size(), 3u);
    EXPECT_EQ(window->GetLayout().Glyphs().size(), 6u);
    // The third line is cut at the window's bottom (20 + 25): its glyph quads end there.
    const std::vector<GlyphVertex> v = ReadVertices<GlyphVertex>(window->GlyphMesh(0), 36);
    ASSERT_EQ(v.size(), 36u);
    EXPECT_FLOAT_EQ(v[4 * 6 + 2].y, 44.5f);
    // "a" is cell 65 (row 4): half of its 10 rows are left.
    EXPECT_FLOAT_EQ(v[4 * 6 + 2].v, (40.0f + 5.0f) / 64);
}

TEST_F(RichTextWindowTest, TextExtentFollowsWrapAndMarkupThatFailsStillShows) {
    std::unique_ptr<RichTextWindow> window(Make());
    window->SetRawText(WString(u"12:30:00 pm"));
    EXPECT_EQ(window->GetTextExtent(), IntPair(11 * kCellWidth, kCellHeight));
    window->SetSize(80, 50);
    window->SetFlags(RichTextWindow::kWrapWords);
    EXPECT_EQ(window->GetTextExtent(), IntPair(9 * kCellWidth, 2 * kCellHeight));  // "12:30:00 " and "pm"
    window->SetFlags(0);
    EXPECT_EQ(window->GetTextExtent(), IntPair(11 * kCellWidth, kCellHeight));

    EXPECT_FALSE(window->SetMarkup(WString(u"ok<P Size=\">")));
    ASSERT_TRUE(window->Render());
    EXPECT_EQ(PlacedText(*window).substr(0, 2), "ok");
}
