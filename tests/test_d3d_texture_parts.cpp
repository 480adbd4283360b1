// Parts of a texture and its animations, without a device: the frame shown follows the
// clock, whole cycles are skipped at once, frames of 0 ms never advance, instances handed
// out by the manager run on their own clocks and give their references back.
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// An atlas of three 16x16 frames with the given delays, animated as "run".
Texture* ThreeFrames(const std::string& file, int d1, int d2, int d3) {
    const std::string text =
        "Empty = 1; Width = 64; Height = 16;"
        "Subs = object(f1 = object(Rect = array(0, 0, 16, 16), Delay = " + std::to_string(d1) + "),"
        "              f2 = object(Rect = array(16, 0, 32, 16), Delay = " + std::to_string(d2) + "),"
        "              f3 = object(Rect = array(32, 0, 48, 16), Delay = " + std::to_string(d3) + "));"
        "Animation = object(run = array(\"f1\", \"f2\", \"f3\"), none = array(\"missing\"));";
    EXPECT_TRUE(texsupport::WriteText(file, text));
    Texture* texture = new Texture;
    TextureDesc desc;
    if (!texture->LoadScriptFile(patht(file.c_str()), desc)) {
        delete texture;
        return nullptr;
    }
    return texture;
}

}  // namespace

TEST(TextureParts, FramesFollowTheClock) {
    Texture* t = ThreeFrames("texeng_parts1.ts", 100, 100, 100);
    ASSERT_NE(t, nullptr);
    Texture* f1 = t->FindSub(String("f1"));
    Texture* f2 = t->FindSub(String("f2"));
    TextureAnimation run;
    ASSERT_TRUE(t->FindPart(String("run"), run));
    run.startMs = 0;  // started at time 0
    EXPECT_EQ(run.frame, f1);
    EXPECT_FALSE(run.Advance(99));
    EXPECT_EQ(run.frame, f1);
    EXPECT_TRUE(run.Advance(100));
    EXPECT_EQ(run.frame, f2);
    EXPECT_FLOAT_EQ(run.texRect[0], 0.25f);
    EXPECT_FLOAT_EQ(run.texRect[2], 0.5f);
    EXPECT_TRUE(run.Advance(300));
    EXPECT_EQ(run.frame, f1);
    // Many cycles later: the cycle start moves by whole cycles in one step.
    EXPECT_TRUE(run.Advance(300000000000ull + 150));
    EXPECT_EQ(run.frame, f2);
    EXPECT_EQ(run.startMs, 300000000100ll);
    delete t;
}

TEST(TextureParts, FramesOfNoDurationNeverAdvance) {
    Texture* t = ThreeFrames("texeng_parts2.ts", 0, 0, 0);
    ASSERT_NE(t, nullptr);
    TextureAnimation run;
    ASSERT_TRUE(t->FindPart(String("run"), run));
    run.startMs = 0;
    Texture* first = run.frame;
    EXPECT_FALSE(run.Advance(1000));
    EXPECT_FALSE(run.Advance(~0ull >> 2));
    EXPECT_EQ(run.frame, first);
    delete t;
}

TEST(TextureParts, FindPartOnAnAnimationWithoutFramesFails) {
    Texture* t = ThreeFrames("texeng_parts3.ts", 10, 10, 10);
    ASSERT_NE(t, nullptr);
    TextureAnimation none;
    EXPECT_FALSE(t->FindPart(String("none"), none));
    EXPECT_EQ(none.def, nullptr);
    EXPECT_FALSE(t->FindPart(String("no such part"), none));
    // The empty name is the whole texture.
    TextureAnimation whole;
    ASSERT_TRUE(t->FindPart(String(""), whole));
    EXPECT_EQ(whole.frame, t);
    EXPECT_FLOAT_EQ(whole.texRect[0], 0.0f);
    EXPECT_FLOAT_EQ(whole.texRect[3], 1.0f);
    // A sub-texture by name.
    TextureAnimation sub;
    ASSERT_TRUE(t->FindPart(String("f3"), sub));
    EXPECT_EQ(sub.frame, t->FindSub(String("f3")));
    EXPECT_FLOAT_EQ(sub.texRect[0], 0.5f);
    delete t;
}

TEST(TextureParts, InstancesRunOnTheirOwnClocksAndGiveTheirReferencesBack) {
    TheTextureManager().Reset();
    Texture* t = ThreeFrames("texeng_parts4.ts", 100, 100, 100);
    ASSERT_NE(t, nullptr);
    TheTextureManager().AddName(t, patht("texeng_parts4.ts"));
    t->AddRef();
    TextureDesc desc;
    desc.source = t;
    desc.flags = TEXDESC_USE_GIVEN | TEXDESC_PART_NAME;
    desc.partName = String("run");
    Texture* a = TheTextureManager().Load(desc, nullptr);
    Texture* b = TheTextureManager().Load(desc, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a->IsAnimated());
    EXPECT_EQ(a->GetParentTexture(), t);
    EXPECT_EQ(t->GetRefCount(), 3u);
    // Each instance advances by itself: a is asked at 150, b is not.
    TextureAnimation probeA, probeB;
    ASSERT_TRUE(t->FindPart(String("run"), probeA));
    probeB = probeA;
    probeA.startMs = probeB.startMs = 0;
    probeA.Advance(150);
    EXPECT_NE(probeA.frame, probeB.frame);
    TheTextureManager().Release(a);
    EXPECT_EQ(t->GetRefCount(), 2u);
    TheTextureManager().Release(b);
    EXPECT_EQ(t->GetRefCount(), 1u);
    EXPECT_TRUE(TheTextureManager().Knows(t));
    TheTextureManager().Release(t);  // the last reference: the texture goes
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}

TEST(TextureParts, PartsByRectangleAreFoundOrMadeAndShareTheParentsPixels) {
    Texture* t = ThreeFrames("texeng_parts5.ts", 10, 10, 10);
    ASSERT_NE(t, nullptr);
    TextureDesc desc;
    desc.flags = TEXDESC_PART_RECT;
    desc.partRect = IntRect(16, 0, 32, 16);
    EXPECT_EQ(t->LookupPart(desc), t->FindSub(String("f2")));
    desc.partRect = IntRect(0, 0, 8, 8);
    EXPECT_EQ(t->LookupPart(desc), nullptr);
    desc.flags = TEXDESC_PART_NAME | TEXDESC_PART_RECT;
    desc.partName = String("corner");
    Texture* made = t->CreatePart(desc);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(t->FindSub(String("corner")), made);
    EXPECT_EQ(made->GetPixelOwner(), t);
    EXPECT_TRUE(IntRect::Equals(made->GetRect(), IntRect(0, 0, 8, 8)));
    // Detached, the part is its own again.
    t->DetachSub(made);
    EXPECT_EQ(t->FindSub(String("corner")), nullptr);
    EXPECT_EQ(made->GetParentTexture(), nullptr);
    delete made;
    delete t;
}
