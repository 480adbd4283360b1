// The saver's frame-rate and clock overlays on the reference device, with the fonts of the
// packed media archive: each overlay draws from the atlas of the 64-pixel font it asks
// for, and at the moment its glyph batch is drawn stage 0 holds that atlas and modulates it
// by the vertex colour (colour and alpha), blended over the scene by that alpha. The
// states are read from the call log of one frame, replayed up to each draw. And every time
// of day the clock can show fits the window the saver gives it, so no glyph is cut off.
#include "D3d/Charset.h"
#include "D3d/FontManager.h"
#include "D3d/Geometry.h"
#include "D3d/GeometryBuffer.h"
#include "D3d/StateCache.h"
#include "D3d/Texture.h"
#include "Effect/MeshObject.h"
#include "Screen/OverlayTexts.h"
#include "tests/linux/DunmerrowTestSupport.h"

#include <map>
#include <string>
#include <vector>

namespace {

using namespace dunmerrowtest;

// The device's states as a call log sets them: "SetTexture(0" -> "#12",
// "SetTextureStageState(0, 1" -> "4", "SetRenderState(27" -> "1", keyed by the call up to
// its last argument, which is the value. Refused calls change nothing.
class ReplayedStates {
public:
    void Apply(const std::string& call) {
        if (call.find(" -> failed") != std::string::npos) return;
        const size_t open = call.find('(');
        const size_t last = call.rfind(", ");
        if (open == std::string::npos || last == std::string::npos || last < open) return;
        const std::string name = call.substr(0, open);
        if (name == "SetStreamSource") {
            // Stream, buffer, offset, stride: the buffer and the stride of stream 0.
            std::vector<std::string> args = Args(call, open);
            if (args.size() == 4 && args[0] == "0") {
                stream0 = args[1];
                stride0 = args[3];
            }
            return;
        }
        if (name == "SetTexture" || name == "SetTextureStageState" || name == "SetRenderState")
            values_[call.substr(0, last)] = call.substr(last + 2, call.size() - last - 3);
    }
    std::string Texture(u32 stage) const { return Value("SetTexture(" + std::to_string(stage)); }
    std::string Stage(u32 stage, D3DTEXTURESTAGESTATETYPE type) const {
        return Value("SetTextureStageState(" + std::to_string(stage) + ", " + std::to_string(type));
    }
    std::string Render(D3DRENDERSTATETYPE state) const { return Value("SetRenderState(" + std::to_string(state)); }

    std::string stream0, stride0;

private:
    static std::vector<std::string> Args(const std::string& call, size_t open) {
        std::vector<std::string> out;
        size_t at = open + 1;
        for (size_t comma; (comma = call.find(", ", at)) != std::string::npos; at = comma + 2)
            out.push_back(call.substr(at, comma - at));
        out.push_back(call.substr(at, call.size() - at - 1));
        return out;
    }
    std::string Value(const std::string& key) const {
        auto it = values_.find(key);
        return it == values_.end() ? std::string("(never set)") : it->second;
    }
    std::map<std::string, std::string> values_;
};

std::string Number(u32 value) { return std::to_string(value); }

std::string Object(IUnknown* object) { return "#" + std::to_string(PlatformTest_D3d9ObjectNumber(object)); }

class OverlayTextsDevice : public DunmerrowFixture {
protected:
    void SetUp() override {
        DunmerrowFixture::SetUp();
#ifndef CORVANE_MEDIA_ARCHIVE
        GTEST_SKIP() << "this build packs no media archive";
#endif
    }
    // The scene started from the packed media archive, with the fonts the saver loads.
    bool StartFromTheArchive(const char* settings) {
        SceneOptions options;
        options.mediaArchive = true;
        options.settings = settings;
        return Start(options);
    }
    // The fonts the saver loaded outlive it in the program-wide font manager: they go with
    // it, before the textures they hold are emptied, so that no later test in this process
    // finds charsets whose atlases are gone.
    void TearDown() override {
        delete scene;
        scene = nullptr;
        TheFontManager().Clear();
        DunmerrowFixture::TearDown();
    }
};

TEST_F(OverlayTextsDevice, EachGlyphBatchDrawsFromTheBigFontsAtlasModulatedByItsVertexColour) {
    ASSERT_TRUE(StartFromTheArchive("ShowFps = 1\nShowTime = 1"));
    TextStyle big;
    big.size = 64;
    Charset* charset = TheFontManager().FindCharset(u'1', big);
    ASSERT_NE(charset, nullptr) << "the 64-pixel font is packed";
    ASSERT_NE(charset->GetTexture(), nullptr);
    const std::string atlas = Object(charset->GetTexture()->GetBaseTexture());

    // Every state goes out again in the frame, so the log alone says what each draw saw.
    StateCache::InvalidateAll();
    PlatformTest_D3d9ClearCallLog();
    ASSERT_TRUE(scene->DoRender());
    const std::vector<std::string> log = PlatformTest_D3d9CallLog();

    for (RichTextWindow* overlay : {&scene->FpsText, &scene->ClockText}) {
        ASSERT_TRUE(overlay->IsVisible());
        ASSERT_EQ(overlay->GlyphMeshCount(), 1u);
        EXPECT_EQ(overlay->GlyphMeshTexture(0), charset->GetTexture()) << "the overlay's text is in the 64-pixel font";
        const GeometryRef geometry = overlay->GlyphMesh(0)->GetGeometry();
        ASSERT_TRUE(geometry && geometry->GetVertexBuffer(0));
        const std::string glyphs = Object(geometry->GetVertexBuffer(0)->GetVertexBuffer());

        ReplayedStates states;
        u32 draws = 0;
        for (const std::string& call : log) {
            states.Apply(call);
            if (call.rfind("DrawPrimitive(", 0) != 0 || states.stream0 != glyphs || states.stride0 != "28") continue;
            ++draws;
            EXPECT_EQ(states.Texture(0), atlas);
            EXPECT_EQ(states.Stage(0, D3DTSS_COLOROP), Number(D3DTOP_MODULATE));
            EXPECT_EQ(states.Stage(0, D3DTSS_COLORARG1), Number(D3DTA_TEXTURE));
            EXPECT_EQ(states.Stage(0, D3DTSS_COLORARG2), Number(D3DTA_DIFFUSE));
            EXPECT_EQ(states.Stage(0, D3DTSS_ALPHAOP), Number(D3DTOP_MODULATE));
            EXPECT_EQ(states.Stage(0, D3DTSS_ALPHAARG1), Number(D3DTA_TEXTURE));
            EXPECT_EQ(states.Stage(0, D3DTSS_ALPHAARG2), Number(D3DTA_DIFFUSE));
            EXPECT_EQ(states.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS), Number(D3DTTFF_DISABLE));
            EXPECT_EQ(states.Stage(1, D3DTSS_COLOROP), Number(D3DTOP_DISABLE));
            EXPECT_EQ(states.Render(D3DRS_ALPHABLENDENABLE), Number(TRUE));
            EXPECT_EQ(states.Render(D3DRS_SRCBLEND), Number(D3DBLEND_SRCALPHA));
            EXPECT_EQ(states.Render(D3DRS_DESTBLEND), Number(D3DBLEND_INVSRCALPHA));
        }
        EXPECT_GE(draws, 1u) << "the overlay's glyphs were drawn";
    }
}

TEST_F(OverlayTextsDevice, EveryTimeOfDayFitsTheClocksWindow) {
    ASSERT_TRUE(StartFromTheArchive("ShowTime = 1\nb24h = 0"));
    RichTextWindow& clock = scene->ClockText;
    ASSERT_TRUE(clock.IsVisible());
    const IntRect window = clock.GetRect();
    // Every digit of the font is as wide as any other: the hours and the minute 59 cover
    // every width the clock takes.
    for (u32 hour = 0; hour < 24; ++hour) {
        const String text = FormatClockText(hour, 59, 59, false);
        clock.SetMarkup(WString::FromNarrow((std::string("<RAW>") + text.c_str() + "</RAW>").c_str()));
        const IntPair extent = clock.GetTextExtent();
        EXPECT_LE(extent.x, window.right) << text.c_str();
        EXPECT_LE(extent.y, window.bottom) << text.c_str();
        EXPECT_GT(extent.x, 0) << text.c_str();
    }
}

}  // namespace
