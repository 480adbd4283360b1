// A fixed-cell bitmap font for the rich-text tests: characters 32 to 126 in cells of
// kCellWidth x kCellHeight on a 128 x 64 atlas, sixteen to a row, loaded as the only style
// of the font manager. With a device the atlas is a real texture; without one the charset
// has no texture (sizes only), which is all word wrap needs. DeviceTest is the fixture of
// the window tests.
#pragma once

#include <cstdio>
#include <string>

#include "Core/TextData.h"
#include "Core/TextDataTree.h"
#include "D3d/FontManager.h"
#include "D3d/Markup.h"
#include "D3d/TextElement.h"
#include "D3d/TextureManager.h"
#include "Gui/WindowManager.h"
#include "TextureTestSupport.h"

#include <gtest/gtest.h>

namespace richtext {

constexpr int kCellWidth = 8;
constexpr int kCellHeight = 10;
constexpr int kAtlasWidth = 128;
constexpr int kAtlasHeight = 64;

// Loads the font; withTexture writes the atlas image and names it in the charset.
inline bool LoadCellFont(bool withTexture) {
    TheFontManager().Clear();
    // Named after the running test: ctest runs tests side by side in one folder.
    const std::string stem = std::string("richtext_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string bmpName = stem + ".bmp";
    const std::string cssName = stem + ".css";
    std::string charset = "CharWidth = 8; CharHeight = 10; CharsPerLine = 16; StartChar = 32; EndChar = 126;";
    if (withTexture) {
        if (!texsupport::WriteFile(bmpName,
                                   texsupport::MakeBmp(kAtlasWidth, kAtlasHeight,
                                                       [](unsigned, unsigned) { return 0xFFFFFFFFu; })))
            return false;
        charset = "Name = \"" + bmpName + "\"; " + charset;
    }
    if (!texsupport::WriteText(cssName, charset)) return false;
    TextDataTree doc;
    if (!TextData::LoadText(WString::FromNarrow(("Styles[0].Size = 14; Styles[0].Charsets = array(\"" + cssName + "\");").c_str()),
                            doc, nullptr, TextData::kStatementForm))
        return false;
    const bool loaded = TheFontManager().LoadFontFromTree(doc, patht(""), 0) && TheFontManager().GetDefaultCharset() != nullptr;
    // The charset and its texture are in memory now; the files are not left behind.
    std::remove(cssName.c_str());
    std::remove(bmpName.c_str());
    return loaded;
}

// Fonts and textures emptied before and after a test.
struct FontScope {
    FontScope() {
        TheFontManager().Clear();
        TheTextureManager().Reset();
        Markup::ResetSuccess();
    }
    ~FontScope() {
        TheFontManager().Clear();
        TheTextureManager().Reset();
    }
};

// A device, an empty window manager and the cell font with its atlas, for each test of
// the rich-text windows; skipped where the platform has no device.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!app.Create(GetModuleHandleA(nullptr), nullptr) || !app.SetMode(false))
            GTEST_SKIP() << "no Direct3D 9 device here";
        TheWindowManager().Reset();
        ASSERT_TRUE(LoadCellFont(true));
    }
    void TearDown() override {
        TheWindowManager().Reset();
        if (app.GetWindow()) DestroyWindow(app.GetWindow());
    }

    Application app;
    FontScope scope;
};

inline std::string Narrow(const WString& w) {
    std::string out;
    for (u32 i = 0; i < w.length; ++i) out += w.data[i] < 128 ? char(w.data[i]) : '?';
    return out;
}

}  // namespace richtext
