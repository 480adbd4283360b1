// The texture manager: the order in which image extensions are tried, a script beside the
// image (also for a name without a folder), sharing by masked parameters, references
// counted to deletion, findOnly, and the names other subsystems add and drop.
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace texsupport;

namespace {

std::vector<std::string> Order(const char* extension, bool tryOthers) {
    String out[6];
    const u32 n = TextureManager::CandidateExtensions(String(extension), tryOthers, out);
    std::vector<std::string> names;
    for (u32 i = 0; i < n; ++i) names.push_back(out[i].c_str());
    return names;
}

TextureDesc Named(const char* name, u32 flags = 0) {
    TextureDesc desc;
    desc.path = patht(name);
    desc.flags = flags;
    return desc;
}

}  // namespace

TEST(TextureManager, ExtensionsAreTriedInTheirOrder) {
    EXPECT_EQ(Order("jpg", false), (std::vector<std::string>{"jpg"}));
    EXPECT_EQ(Order("jpg", true), (std::vector<std::string>{"jpg", "tga", "dds", "bmp", "png"}));
    EXPECT_EQ(Order("tga", true), (std::vector<std::string>{"tga", "jpg", "dds", "bmp", "png"}));
    EXPECT_EQ(Order("", true), (std::vector<std::string>{"", "jpg", "dds", "bmp", "png", "tga"}));
    EXPECT_EQ(Order("JPG", true), (std::vector<std::string>{"JPG", "jpg", "dds", "bmp", "png", "tga"}));
}

TEST(TextureManager, AScriptBesideTheImageWinsUnlessScriptsAreOff) {
    TheTextureManager().Reset();
    ASSERT_TRUE(WriteText("texeng_rock.ts", "Empty = 1; Width = 32; Height = 16;"));
    ASSERT_TRUE(WriteText("texeng_rock.png", "not even an image"));
    TextureDesc desc = Named("texeng_rock.png");
    Texture* scripted = TheTextureManager().Load(desc, nullptr);
    ASSERT_NE(scripted, nullptr);  // a name without a folder finds the script beside it
    EXPECT_EQ(scripted->GetSize().x, 32);
    EXPECT_STREQ(desc.path.name.c_str(), "texeng_rock.png");
    // The same request again shares the texture.
    TextureDesc again = Named("texeng_rock.png");
    EXPECT_EQ(TheTextureManager().Load(again, nullptr), scripted);
    EXPECT_EQ(scripted->GetRefCount(), 2u);
    // Without scripts the "image" is read, and it is no image: without a device nothing is
    // made yet, so the texture exists but is another one.
    TextureDesc image = Named("texeng_rock.png", TEXDESC_NO_SCRIPT);
    Texture* plain = TheTextureManager().Load(image, nullptr);
    EXPECT_NE(plain, scripted);
    TheTextureManager().Release(plain);
    TheTextureManager().Release(scripted);
    TheTextureManager().Release(scripted);
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}

TEST(TextureManager, MissingFilesGiveNullAndFindOnlyMakesNothing) {
    TheTextureManager().Reset();
    TextureDesc missing = Named("texeng_missing.jpg", TEXDESC_TRY_EXTENSIONS);
    EXPECT_EQ(TheTextureManager().Load(missing, nullptr), nullptr);
    TextureDesc find;
    find.findOnly = 1;
    EXPECT_EQ(TheTextureManager().Load(find, nullptr), nullptr);
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
    TheTextureManager().Release(nullptr);  // ignored
    Texture stranger;
    TheTextureManager().Release(&stranger);  // not the manager's: left alone
    EXPECT_EQ(stranger.GetRefCount(), 0u);
}

TEST(TextureManager, EmptyRequestsShareByTheirMaskedParameters) {
    TheTextureManager().Reset();
    TextureDesc a;
    a.width = 64;
    a.height = 32;
    a.format = D3DFMT_A8R8G8B8;
    a.flags = TEXDESC_SIZE | TEXDESC_FORMAT;
    TextureDesc b = a;
    Texture* first = TheTextureManager().Load(a, nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TheTextureManager().Load(b, nullptr), first);
    TextureDesc other = a;
    other.width = 16;
    Texture* second = TheTextureManager().Load(other, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);  // two textures under one (empty) name
    TextureDesc fresh = a;
    fresh.alwaysNew = 1;
    Texture* third = TheTextureManager().Load(fresh, nullptr);
    EXPECT_NE(third, first);
    EXPECT_EQ(TheTextureManager().TextureCount(), 3u);
    // Releasing one leaves the others findable.
    TheTextureManager().Release(second);
    TextureDesc find = a;
    find.findOnly = 1;
    Texture* found = TheTextureManager().Load(find, nullptr);
    EXPECT_TRUE(found == first || found == third);
    TheTextureManager().Release(found);
    TheTextureManager().Release(first);
    TheTextureManager().Release(first);
    TheTextureManager().Release(third);
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}

TEST(TextureManager, OwnersAddAndDropNames) {
    TheTextureManager().Reset();
    TextureDesc desc;
    Texture* t = TheTextureManager().Load(desc, nullptr);
    ASSERT_NE(t, nullptr);
    TheTextureManager().AddOwner(t, patht("texeng_normals.nhm"));
    EXPECT_TRUE(TheTextureManager().Knows(t));
    TheTextureManager().RemoveOwner(t);
    EXPECT_FALSE(TheTextureManager().Knows(t));
    TheTextureManager().Release(t);  // no longer the manager's to delete
    EXPECT_EQ(t->GetRefCount(), 1u);
    delete t;
}

TEST(TextureManager, AScriptRequestOfAnAnimatedTextureGivesAnInstanceOfItsFirstAnimation) {
    TheTextureManager().Reset();
    ASSERT_TRUE(WriteText("texeng_flip.ts",
                          "Empty = 1; Width = 32; Height = 16;"
                          "Subs = object(a = object(Rect = array(0, 0, 16, 16)), b = object(Rect = array(16, 0, 32, 16)));"
                          "Animation = object(flip = array(\"a\", \"b\"), flop = array(\"b\"));"));
    TextureDesc desc = Named("texeng_flip.tga");
    Texture* instance = TheTextureManager().Load(desc, nullptr);
    ASSERT_NE(instance, nullptr);
    EXPECT_TRUE(instance->IsAnimated());
    Texture* sheet = instance->GetParentTexture();
    ASSERT_NE(sheet, nullptr);
    TextureAnimation probe;
    ASSERT_TRUE(sheet->FindPart(String("flip"), probe));
    EXPECT_EQ(sheet->GetRefCount(), 1u);
    TheTextureManager().Release(instance);  // the instance goes, and with it the sheet's last reference
    EXPECT_EQ(TheTextureManager().TextureCount(), 0u);
}
