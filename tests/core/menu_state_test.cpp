// Menu state: the rule table applied to typical run-state words, touching items only on a change.
#include "core/ids.h"
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

constexpr int CAPTURE_ITEMS[] = {IDM_START, IDM_CONTINUE, IDM_START_SHAPE, IDM_AUDIO_INTERFACE, IDM_PULSE_SHAPE, IDM_LOAD_SETTINGS};
constexpr int DATA_ITEMS[] = {IDM_SAVE, IDM_EXPORT_RATE_TIME, IDM_EXPORT_RATE_HIST, IDM_EXPORT_INTERVAL, IDM_EXPORT_WIDTH, IDM_EXPORT_HEIGHT, IDM_EXPORT_HEIGHT_TIME, IDM_EXPORT_ROI, IDM_EXPORT_ROI_TIME, IDM_EXPORT_COINCIDENT, IDM_SET_BACKGROUND};
constexpr int FILE_ITEMS[] = {IDM_OPEN, IDM_LOAD_DATA, IDM_OBTAIN_SHAPE};
constexpr int ALWAYS_ITEMS[] = {IDM_EXIT, IDM_VIEW_RATE_TIME, IDM_VIEW_RATE_HIST, IDM_VIEW_INTERVAL, IDM_VIEW_WIDTH, IDM_VIEW_HEIGHT, IDM_VIEW_AUDIO_INPUT, IDM_DAQ_SETTINGS, IDM_CALIBRATION,
                                IDM_ADVANCED_FILTER, IDM_SAVE_SETTINGS, IDM_SAVE_SETTINGS_AS, IDM_HELP_TOPICS, IDM_ABOUT};
// Ready, files allowed, both devices working.
constexpr uint32_t IDLE = RS_READY | RS_FILES_ALLOWED | RS_INPUT_READY | RS_OUTPUT_READY;
}  // namespace

using MenuStateTest = TikTest;

TEST_F(MenuStateTest, IdleWithWorkingDevices) {
    runState = IDLE;
    UpdateMenuState();
    for (int id : FILE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : CAPTURE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : ALWAYS_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : DATA_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDM_STOP));
    EXPECT_FALSE(Enabled(IDM_SOUND));
}

TEST_F(MenuStateTest, CapturingThenStopped) {
    runState = IDLE;
    UpdateMenuState();
    runState = RS_READY | RS_ACQUIRING | RS_OUTPUT_READY | RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT | RS_SOUND_ON;
    UpdateMenuState();
    EXPECT_TRUE(Enabled(IDM_STOP));
    EXPECT_TRUE(Enabled(IDM_SOUND));
    for (int id : CAPTURE_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    for (int id : FILE_ITEMS) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Headless().menuChecked[IDM_SOUND]);

    runState = IDLE | RS_DATA_READY | RS_SOUND_ON;  // Stop updates the menu before the sound closes
    UpdateMenuState();
    EXPECT_FALSE(Enabled(IDM_STOP));
    EXPECT_FALSE(Enabled(IDM_SOUND));
    EXPECT_TRUE(Headless().menuChecked[IDM_SOUND]);
    for (int id : DATA_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : CAPTURE_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
}

TEST_F(MenuStateTest, SecondCallTouchesNoItemButSetsBothCheckMarks) {
    runState = IDLE | RS_DATA_READY | RS_HOURLY_SAVE;
    UpdateMenuState();
    int changes = Headless().menuChanges;
    EXPECT_GT(changes, 0);
    Headless().menuChecked.clear();
    UpdateMenuState();
    EXPECT_EQ(Headless().menuChanges, changes);
    EXPECT_TRUE(Headless().menuChecked[IDM_SAVE]);
    EXPECT_FALSE(Headless().menuChecked[IDM_SOUND]);
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
