// Texture scripts read without a device: keys and their defaults, sub-textures by rectangle
// and by automatic placement (with moves and with a failure that must put every rectangle
// back), animations with unknown frame names and extreme delays, and garbage texts.
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using texsupport::WriteText;

// Loads a script from a file of its own; the texture is the caller's to delete.
Texture* LoadScriptText(const std::string& fileName, const std::string& text) {
    EXPECT_TRUE(WriteText(fileName, text));
    Texture* texture = new Texture;
    texture->detached = 1;
    TextureDesc desc;
    if (!texture->LoadScriptFile(patht(fileName.c_str()), desc)) {
        delete texture;
        return nullptr;
    }
    return texture;
}

std::map<std::string, IntRect> Rects(Texture* texture) {
    std::map<std::string, IntRect> out;
    auto& subs = texture->GetSubTextures();
    auto* node = subs.first;
    for (u32 i = 0; i < subs.count; ++i, node = node->next) out[node->key.c_str()] = node->value->GetRect();
    return out;
}

bool Overlap(const IntRect& a, const IntRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

TEST(TextureScript, RectBlockGivesASubTextureInsideTheParent) {
    Texture* t = LoadScriptText("texeng_rect.ts",
                                "Empty = 1; Width = 128; Height = 64;"
                                "Subs = object(icon = object(Rect = array(0, 0, 64, 32)));");
    ASSERT_NE(t, nullptr);
    Texture* icon = t->FindSub(String("icon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(IntRect::Equals(icon->GetRect(), IntRect(0, 0, 64, 32)));
    EXPECT_TRUE(icon->IsInParentPixels());
    EXPECT_EQ(icon->GetParentTexture(), t);
    EXPECT_EQ(icon->GetPixelOwner(), t);
    const TexCoordRect r = icon->GetTexCoordRect();
    EXPECT_FLOAT_EQ(r.uMin, 0.0f);
    EXPECT_FLOAT_EQ(r.uMax, 0.5f);
    EXPECT_FLOAT_EQ(r.vMax, 0.5f);
    const IntPair size = icon->GetSize();
    EXPECT_EQ(size.x, 64);
    EXPECT_EQ(size.y, 32);
    // The given rectangle stays fixed: later placements may not move it.
    EXPECT_EQ(icon->GetPlacement(), 2u);
    delete t;
}

TEST(TextureScript, WidthAndHeightFormsOfTheRectangle) {
    Texture* t = LoadScriptText("texeng_wh.ts",
                                "Empty = 1; Width = 64; Height = 64;"
                                "Subs = object(a = object(x1 = 8, y1 = 4, w = 16, h = 8),"
                                "              b = object(x1 = 8, y1 = 4, x2 = 20, w = 99, y2 = 30));");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(IntRect::Equals(t->FindSub(String("a"))->GetRect(), IntRect(8, 4, 24, 12)));
    EXPECT_TRUE(IntRect::Equals(t->FindSub(String("b"))->GetRect(), IntRect(8, 4, 20, 30)));  // x2 wins over w
    delete t;
}

TEST(TextureScript, AnimationLengthIsTheSumOfItsFramesAndUnknownNamesAreSkipped) {
    Texture* t = LoadScriptText("texeng_anim.ts",
                                "Empty = 1; Width = 64; Height = 64;"
                                "Subs = object(f1 = object(Rect = array(0, 0, 16, 16), Delay = 100),"
                                "              f2 = object(Rect = array(16, 0, 32, 16), Delay = 50),"
                                "              f3 = object(Rect = array(32, 0, 48, 16), Delay = 150));"
                                "Animation = object(run = array(\"f1\", \"f2\", \"nothing\", \"f3\", \"f1\"));");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(t->HasAnimations());
    auto* run = t->GetAnimations().Find(String("run"));
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->value->frames.count, 3u);  // "nothing" left out, f1 counted once
    EXPECT_EQ(run->value->totalMs, 300);
    auto* frame = run->value->frames.first;
    for (u32 i = 0; i < run->value->frames.count; ++i, frame = frame->next) EXPECT_NE(frame->value, nullptr);
    delete t;
}

TEST(TextureScript, SubTexturesTakeTheParentsDelayUnlessTheyHaveTheirOwn) {
    Texture* t = LoadScriptText("texeng_delay.ts",
                                "Empty = 1; Width = 64; Height = 64; Delay = 40;"
                                "Subs = object(a = object(Rect = array(0, 0, 8, 8)), b = object(Rect = array(8, 0, 16, 8), Delay = 7));");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetDelay(), 40u);
    EXPECT_EQ(t->FindSub(String("a"))->GetDelay(), 40u);
    EXPECT_EQ(t->FindSub(String("b"))->GetDelay(), 7u);
    delete t;
}

TEST(TextureScript, ExtremeDelaysAreClampedSoACycleAlwaysEnds) {
    Texture* t = LoadScriptText("texeng_clamp.ts",
                                "Empty = 1; Width = 64; Height = 64;"
                                "Subs = object(big = object(Rect = array(0, 0, 8, 8), Delay = 4294967296),"
                                "              neg = object(Rect = array(8, 0, 16, 8), Delay = -5),"
                                "              one = object(Rect = array(16, 0, 24, 8), Delay = 1));"
                                "Animation = object(a = array(\"big\", \"neg\", \"one\"));");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->FindSub(String("big"))->GetDelay(), 0x7FFFFFFFu);
    EXPECT_EQ(t->FindSub(String("neg"))->GetDelay(), 0u);
    TextureAnimation run;
    ASSERT_TRUE(t->FindPart(String("a"), run));
    EXPECT_EQ(run.def->totalMs, 0x7FFFFFFFll + 1);
    run.startMs = 0;
    EXPECT_FALSE(run.Advance(100));
    EXPECT_TRUE(run.Advance(0x7FFFFFFFull));  // past "big", over "neg" (0 ms) to "one"
    EXPECT_EQ(run.frame, t->FindSub(String("one")));
    run.Advance(0xFFFFFFFFFFull);  // far ahead: one division, then a few steps
    EXPECT_LE(run.startMs, static_cast<i64>(0xFFFFFFFFFFll));
    EXPECT_GT(run.startMs + run.def->totalMs, static_cast<i64>(0xFFFFFFFFFFll));
    delete t;
}

TEST(TextureScript, AnAtlasThatForcesASubTextureToMoveStillHoldsEveryOneWithoutOverlap) {
    // s1 lands beside s0; s2 then fits only where s1 stands, so s1 is placed again.
    Texture* t = LoadScriptText("texeng_atlas.ts",
                                "Empty = 1; Width = 64; Height = 64;"
                                "Subs = object(s0 = object(Empty = 1, Width = 16, Height = 8, ParentSpace = 1),"
                                "              s1 = object(Empty = 1, Width = 32, Height = 24, ParentSpace = 1),"
                                "              s2 = object(Empty = 1, Width = 48, Height = 24, ParentSpace = 1),"
                                "              s3 = object(Empty = 1, Width = 16, Height = 48, ParentSpace = 1));");
    ASSERT_NE(t, nullptr);
    std::map<std::string, IntRect> rects = Rects(t);
    ASSERT_EQ(rects.size(), 4u);
    EXPECT_TRUE(IntRect::Equals(rects["s0"], IntRect(0, 0, 16, 8)));
    EXPECT_TRUE(IntRect::Equals(rects["s1"], IntRect(16, 16, 48, 40)));
    EXPECT_TRUE(IntRect::Equals(rects["s2"], IntRect(0, 40, 48, 64)));
    EXPECT_TRUE(IntRect::Equals(rects["s3"], IntRect(48, 16, 64, 64)));
    for (auto& [a, ra] : rects) {
        EXPECT_GE(ra.left, 0);
        EXPECT_GE(ra.top, 0);
        EXPECT_LE(ra.right, 64);
        EXPECT_LE(ra.bottom, 64);
        for (auto& [b, rb] : rects) {
            if (a < b) {
                EXPECT_FALSE(Overlap(ra, rb)) << a << " and " << b;
            }
        }
    }
    delete t;
}

TEST(TextureScript, AFailedPlacementPutsBackEveryRectangleItMoved) {
    Texture* t = LoadScriptText("texeng_fail.ts",
                                "Empty = 1; Width = 64; Height = 32;"
                                "Subs = object(a = object(Empty = 1, Width = 16, Height = 32, ParentSpace = 1),"
                                "              b = object(Empty = 1, Width = 16, Height = 32, ParentSpace = 1));");
    ASSERT_NE(t, nullptr);
    const std::map<std::string, IntRect> before = Rects(t);
    ASSERT_EQ(before.size(), 2u);
    Texture* wide = new Texture;
    wide->SetName(String("wide"));
    wide->SetRect(0, 0, 48, 32);  // no room: every place covers a or b, and they cannot go elsewhere
    Array<Texture*> moved;
    EXPECT_FALSE(t->PlaceSub(wide, moved, 3));
    EXPECT_EQ(moved.count, 0);
    const std::map<std::string, IntRect> after = Rects(t);
    ASSERT_EQ(after.size(), 2u);
    for (auto& [name, rect] : before) {
        ASSERT_TRUE(after.count(name));
        EXPECT_TRUE(IntRect::Equals(after.at(name), rect)) << name;
        EXPECT_EQ(t->FindSub(String(name.c_str()))->GetPlacement(), 0u);
    }
    EXPECT_EQ(t->FindSub(String("wide")), nullptr);
    delete wide;
    delete t;
}

TEST(TextureScript, ARectangleTurnedInsideOutFailsTheLoad) {
    EXPECT_EQ(LoadScriptText("texeng_inverted.ts",
                             "Empty = 1; Width = 64; Height = 64;"
                             "Subs = object(a = object(Rect = array(0, 8, 8, 0)));"),
              nullptr);
    EXPECT_EQ(LoadScriptText("texeng_inverted2.ts",
                             "Empty = 1; Width = 64; Height = 64;"
                             "Subs = object(a = object(x1 = 9, y1 = 0, w = -4, h = 2));"),
              nullptr);
}

TEST(TextureScript, ASubTextureLargerThanItsParentFailsTheLoad) {
    EXPECT_EQ(LoadScriptText("texeng_big.ts",
                             "Empty = 1; Width = 16; Height = 16;"
                             "Subs = object(a = object(Empty = 1, Width = 32, Height = 8, ParentSpace = 1));"),
              nullptr);
}

TEST(TextureScript, AMissingImageOrScriptFailsAndGarbageNeverCrashes) {
    EXPECT_EQ(LoadScriptText("texeng_noimage.ts", "FileName = \"texeng_not_there.bmp\";"), nullptr);
    Texture t;
    TextureDesc desc;
    EXPECT_FALSE(t.LoadScriptFile(patht("texeng_no_such_script.ts"), desc));
    const char* garbage[] = {
        "Subs = object(a = object(Rect = array(1, 2)));",
        "Animation = object(a = 5, b = object(c = object(d = 1)));",
        "Width = -1; Height = -1; Subs = object(a = object(w = 2147483647, h = 2147483647, x1 = 2147483647, y1 = 5));",
        "Subs = object( = );",
        "\x01\x02\xff\xfe((((object(array(",
        "Empty = 1; Width = 8; Height = 8; Subs = object(a = object(Empty = 1, Width = 0, Height = 0, ParentSpace = 1));",
        "Empty = 1; Width = 8; Height = 8; Subs = object(a = object(Empty = 1, Width = 4, Height = 4, ParentSpace = 1),"
        " a = object(Empty = 1, Width = 8, Height = 8, ParentSpace = 1)); Animation = object(x = array(\"a\", \"a\"));",
    };
    int i = 0;
    for (const char* text : garbage) {
        Texture* loaded = LoadScriptText("texeng_garbage" + std::to_string(i++) + ".ts", text);
        delete loaded;  // any answer will do; no crash, no leak
    }
}
