// Menu state: the rule table applied to typical run-state words, touching items only on a change.
#include "core/ids.h"
#include "core/run_state.h"
#include "platform/headless/headless.h"
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

// Each run state enables its groups of items; Save is checked while the hourly save is on, the sound
// item while the sound is on (Stop updates the menu before the sound closes). A second call touches no
// item but sets both check marks again.
TEST_F(MenuStateTest, RunStatesEnableTheirItems) {
    const struct {
        uint32_t state;
        bool files, capture, data, stop, sound;
    } cases[] = {
        {IDLE | RS_AUTOSAVE, true, true, false, false, false},
        {RS_READY | RS_ACQUIRING | RS_OUTPUT_READY | RS_PULSE_OPEN_LEFT | RS_SOUND_ON, false, false, false, true, true},
        {IDLE | RS_DATA_READY | RS_SOUND_ON | RS_HOURLY_SAVE, true, true, true, false, false},
        {IDLE & ~RS_INPUT_READY, true, false, false, false, false},  // no input device
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        runState = c.state;
        UpdateMenuState();
        int changes = Headless().menuChanges;
        Headless().menuChecked.clear();
        UpdateMenuState();
        EXPECT_EQ(Headless().menuChanges, changes);
        for (int id : FILE_ITEMS) EXPECT_EQ(Enabled(id), c.files) << id;
        for (int id : CAPTURE_ITEMS) EXPECT_EQ(Enabled(id), c.capture) << id;
        for (int id : DATA_ITEMS) EXPECT_EQ(Enabled(id), c.data) << id;
        for (int id : ALWAYS_ITEMS) EXPECT_TRUE(Enabled(id)) << id;
        EXPECT_EQ(Enabled(IDM_STOP), c.stop);
        EXPECT_EQ(Enabled(IDM_SOUND), c.sound);
        EXPECT_EQ(Headless().menuChecked.at(IDM_SOUND), (c.state & RS_SOUND_ON) != 0);
        EXPECT_EQ(Headless().menuChecked.at(IDM_SAVE), (c.state & RS_HOURLY_SAVE) != 0);
    }
}
