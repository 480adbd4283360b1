// The caret bar of the media archive, as a caret window finds it: the packed archive
// mounted as a search place, the caret window enabled so that its first frame loads
// "Media/Stolb01.jpg". The bar is a 2 x 20 picture; the window holds one reference to it
// and gives it back when it goes.
#include "D3d/Texture.h"
#include "D3d/TextureManager.h"
#include "Gui/CaretWindow.h"
#include "Gui/ImageWindow.h"
#include "Gui/WindowManager.h"
#include "../TextureTestSupport.h"
#include "MediaArchiveSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace texsupport;

TEST(MediaCaret, TheCaretLoadsItsBarFromTheArchiveAndGivesItBack) {
    Application app;
    REQUIRE_TEXTURE_DEVICE(app);
    DeviceScope scope(app);
    TheWindowManager().Reset();

#ifndef CORVANE_MEDIA_ARCHIVE
    GTEST_SKIP() << "this build packs no media archive";
#else
    MediaMount media;
    ASSERT_TRUE(media);

    const u32 before = TheTextureManager().TextureCount();
    auto caret = std::make_unique<CaretWindow>();
    caret->SetRect(IntRect(0, 0, 10, 10));
    caret->Show();
    caret->SetEnabled(true);
    TheWindowManager().FrameSignal().Emit();
    ASSERT_NE(caret->Image(), nullptr);
    Texture* bar = caret->Image()->GetImage();
    ASSERT_NE(bar, nullptr) << "Media/Stolb01.jpg is not in the archive";
    // The picture is 2 x 20 (the device may round the texture up to powers of two).
    const D3DXIMAGE_INFO info = bar->GetImageInfo();
    EXPECT_EQ(info.Width, 2u);
    EXPECT_EQ(info.Height, 20u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    EXPECT_EQ(TheTextureManager().TextureCount(), before + 1);
    // Its quad was set up: six vertices in a mesh of the manager.
    EXPECT_NE(caret->Image()->GetMesh(), nullptr);
    EXPECT_EQ(caret->Image()->WrittenVertices(), 6u);
    caret.reset();
    EXPECT_EQ(TheTextureManager().TextureCount(), before);
    TheWindowManager().Reset();
#endif
}
