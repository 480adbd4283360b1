// The product scene's camera flights are read at start-up, never in a frame: a thousand
// frames over short days, the test clock stepping a quarter of a second a frame, so that
// flights end and the day parts hand over their lists several times, open no member of
// the media archive (where the product's flights are), and every flight of every day
// part was kept by start-up.
#include "Dunmerrow/Dunmerrow.h"
#include "tests/linux/MediaResourcesSupport.h"
#include "tests/linux/SaverTestSupport.h"

#include <windows.h>
#include <PlatformResources.h>
#include <PlatformTest.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <functional>

namespace {

constexpr u32 kFrames = 1000;

// The product scene, stopped after kFrames passes, with a script run after each.
class FlightScene : public Dunmerrow {
public:
    bool Update() override {
        Dunmerrow::Update();
        ++updates;
        if (script) script();
        if (updates >= kFrames) closing = 1;
        return true;
    }
    std::function<void()> script;
    u32 updates = 0;
};

class DunmerrowFlightsTest : public savertest::WorldTest<FlightScene> {
protected:
    DunmerrowFlightsTest() : WorldTest("corvane-dunmerrow-flights") {}
};

}  // namespace

TEST_F(DunmerrowFlightsTest, AThousandFramesAcrossFlightChangesOpenNoFile) {
    std::ofstream("settings.txt", std::ios::binary) << "\xEF\xBB\xBF";
    MediaResources media;
    if (!media.HasArchive()) GTEST_SKIP() << "this build packs no media archive";
    srand(1);
    scene = new FlightScene;
    ASSERT_TRUE(scene->Create(GetModuleHandleA(nullptr), nullptr));
    ASSERT_GE(scene->CameraTimes.value.count, 2);
    for (i32 part = 0; part < scene->Cameras.value.count; ++part)
        scene->Cameras.value[part].ForEach([&](const String& name) { EXPECT_TRUE(scene->Flights.Holds(name)) << name.c_str(); });
    // Days of a minute: every day part comes round four times in the run.
    DayLengthSetting = 60000;
    PlatformTest_SetClock(timeGetTime());
    scene->dayTimer.Restart();
    scene->PathTimer.Restart();

    const u32 lookupsAtLoad = scene->Archive.MemberLookups();
    u32 flightStarts = 0;
    u32 listSwitches = 0;
    f32 lastPathTime = scene->PathTime;
    i32 lastPart = scene->day.currentDayPart;
    scene->script = [&]() {
        // A new flight starts again from its first key.
        if (scene->PathTime < lastPathTime) ++flightStarts;
        if (scene->day.currentDayPart != lastPart) ++listSwitches;
        lastPathTime = scene->PathTime;
        lastPart = scene->day.currentDayPart;
        PlatformTest_AdvanceClock(250);
    };
    EXPECT_EQ(scene->Run(), 1);
    EXPECT_EQ(scene->updates, kFrames);
    EXPECT_GE(flightStarts, 3u);
    EXPECT_GE(listSwitches, 8u);
    EXPECT_EQ(scene->Archive.MemberLookups() - lookupsAtLoad, 0u);
}
