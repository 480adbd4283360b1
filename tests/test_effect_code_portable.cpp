// Effect code through the platform's own D3DX: on Linux ours reads the source and the code
// indexes its techniques; a D3DX that cannot build effects from this text (Wine's, without
// a shader compiler) must make the code fail cleanly, with its record and nothing left.
#include "D3d/Application.h"
#include "DeviceSupport.h"
#include "Effect/EffectCode.h"
#include "EffectCodeSources.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(EffectCodePortable, BuildsOrFailsWithItsRecord) {
    Application app;
    REQUIRE_WINDOWED_DEVICE(app);
    const fs::path saved = fs::current_path();
    const fs::path folder = fs::temp_directory_path() / "corvane_effect_code_portable";
    fs::remove_all(folder);
    fs::create_directories(folder / "Shaders");
    fs::current_path(folder);
    std::ofstream("Shaders/Labelled.fx", std::ios::binary) << effectsupport::kLabelledEffect;
    {
        effectsupport::WarningsCapture warnings;
        EffectCode code;
        SHADERDESC desc;
        desc.path = patht("Shaders/Labelled.fx");
        desc.saveCompiled = 1;
        if (code.Create(&desc)) {
            EXPECT_NE(code.GetEffect(), nullptr);
            EXPECT_NE(code.techniques.Find(String("Simple")), nullptr);
            EXPECT_NE(code.techniques.Find(String("Lit")), nullptr);
            EXPECT_TRUE(fs::exists("Shaders/Labelled/Labelled 1.fxo"));
        } else {
            const std::string log = warnings.Text();
            const bool recorded = log.find("Failed to create effect compiler: Shaders/Labelled.fx") != std::string::npos ||
                                  log.find("Failed to compile effect: Shaders/Labelled.fx") != std::string::npos ||
                                  log.find("Failed to load binary effect: ") != std::string::npos;
            EXPECT_TRUE(recorded) << log;
            EXPECT_EQ(code.GetEffect(), nullptr);
            EXPECT_EQ(code.techniques.count, 0u);
            EXPECT_EQ(code.techniqueIndex.count, 0u);
        }
    }
    fs::current_path(saved);
    fs::remove_all(folder);
}

}  // namespace
