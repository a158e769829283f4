// Menu state: the rule table applied to typical run-state words, touching items only on a change.
#include "core/run_state.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "acquisition/audio_interface.h"
#include "tests/support/test_support.h"

namespace {
bool Enabled(int command) {
    auto it = Headless().menuEnabled.find(command);
    return it != Headless().menuEnabled.end() && it->second;
}

constexpr int CAPTURE_ITEMS[] = {32784, 32785, 32787, 32797, 32798, 32801};
constexpr int DATA_ITEMS[] = {32773, 32774, 32775, 32776, 32777, 32778, 32779, 32780, 32781, 32782, 32788};
constexpr int FILE_ITEMS[] = {32770, 32771, 32772};
constexpr int ALWAYS_ITEMS[] = {32783, 32790, 32791, 32792, 32793, 32794, 32795, 32796, 32799,
                                32800, 32802, 32803, 32804, 32805};
}  // namespace

using MenuStateTest = TikTest;

TEST_F(MenuStateTest, IdleWithWorkingDevices) {
    runState = 0x603;
    UpdateMenuState();
    for (int id : FILE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : CAPTURE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : ALWAYS_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : DATA_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(32786));
    EXPECT_FALSE(Enabled(32789));
}

TEST_F(MenuStateTest, CapturingThenStopped) {
    runState = 0x603;
    UpdateMenuState();
    runState = 0x409 | RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT | RS_SOUND_ON;
    UpdateMenuState();
    EXPECT_TRUE(Enabled(32786));
    EXPECT_TRUE(Enabled(32789));
    for (int id : CAPTURE_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    for (int id : FILE_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Headless().menuChecked[32789]);

    runState = 0x703 | RS_SOUND_ON;  // Stop updates the menu before the sound closes
    UpdateMenuState();
    EXPECT_FALSE(Enabled(32786));
    EXPECT_FALSE(Enabled(32789));
    EXPECT_TRUE(Headless().menuChecked[32789]);
    for (int id : DATA_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : CAPTURE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
}

TEST_F(MenuStateTest, SecondCallTouchesNoItemButSetsBothCheckMarks) {
    runState = 0x703 | RS_HOURLY_SAVE;
    UpdateMenuState();
    int changes = Headless().menuChanges;
    EXPECT_GT(changes, 0);
    Headless().menuChecked.clear();
    UpdateMenuState();
    EXPECT_EQ(Headless().menuChanges, changes);
    EXPECT_TRUE(Headless().menuChecked[32773]);
    EXPECT_FALSE(Headless().menuChecked[32789]);
    EXPECT_EQ(Headless().menuRedraws, 2);
}

TEST_F(MenuStateTest, NoInputDeviceGraysCaptureItems) {
    ScriptedAudio().inputDevices.clear();
    ValidateAudioFormats();
    EXPECT_FALSE(runState & RS_INPUT_READY);
    EXPECT_TRUE(runState & RS_OUTPUT_READY);
    for (int id : CAPTURE_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    for (int id : FILE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : DATA_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
}
