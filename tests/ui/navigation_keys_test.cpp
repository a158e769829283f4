// Keys of every plot window: the commands they send and their conditions, the run-state toggles,
// the saving switches F1 and F2, and the click density and pitch.
#include <cstdio>
#include <vector>

#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "core/run_state.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/navigation.h"

namespace {
using CommandKeys = PlotTest;

bool Dispatched(int command) {
    for (int id : DispatchedCommands())
        if (id == command) return true;
    return false;
}

TEST_F(CommandKeys, AcquisitionKeysNeedTheirCondition) {
    runState &= ~(RS_INPUT_READY | RS_ACQUIRING);
    for (int key : {int{'A'}, int{'C'}, int{'S'}}) HostKeyDown(WND_WIDTH, key);
    EXPECT_TRUE(DispatchedCommands().empty());

    runState |= RS_INPUT_READY;
    HostKeyDown(WND_AUDIO_INPUT, 'C');
    EXPECT_TRUE(Dispatched(IDM_CONTINUE));
    ResetDispatcher();
    runState |= RS_INPUT_READY;
    HostKeyDown(WND_RATE_TIME, 'A');
    EXPECT_TRUE(Dispatched(IDM_START));
    // S needs a capture running, whatever Start did with the scripted device.
    runState |= RS_ACQUIRING;
    ResetDispatcher();
    HostKeyDown(WND_PULSES, 'S');
    EXPECT_TRUE(Dispatched(IDM_STOP));
}

TEST_F(CommandKeys, SpaceAndQSendWithoutCondition) {
    HostKeyDown(WND_INTERVAL, VK_SPACE);
    EXPECT_EQ(DispatchedCommands(), std::vector<int>{IDM_SOUND});

    std::snprintf(informationText[WND_INTERVAL], INFORMATION_TEXT_SIZE, "Bin \r\n3");
    HostKeyDown(WND_INTERVAL, 'Q');
    EXPECT_EQ(informationWindow, WND_INTERVAL);
    EXPECT_TRUE(Dispatched(IDM_INFORMATION));
    EXPECT_TRUE(IsDialogOpen(IDD_INFORMATION));
    EXPECT_EQ(HeadlessItemText(IDD_INFORMATION, IDC_INFORMATION_TEXT), "Bin \r\n3");

    // Q in another window while the dialog is open: that window's text, that window the owner.
    std::snprintf(informationText[WND_HEIGHT], INFORMATION_TEXT_SIZE, "Bin \r\n9");
    HostKeyDown(WND_HEIGHT, 'Q');
    EXPECT_TRUE(IsDialogOpen(IDD_INFORMATION));
    EXPECT_EQ(HeadlessItemText(IDD_INFORMATION, IDC_INFORMATION_TEXT), "Bin \r\n9");
    EXPECT_EQ(Headless().dialogs[IDD_INFORMATION].owner, WND_HEIGHT);
}

TEST_F(CommandKeys, LAndTToggleTheirBits) {
    HostKeyDown(WND_PULSES, 'L');
    EXPECT_TRUE(runState & RS_FOLLOW_LATEST);
    HostKeyDown(WND_AUDIO_INPUT, 'L');
    EXPECT_FALSE(runState & RS_FOLLOW_LATEST);
    HostKeyDown(WND_AUDIO_INPUT, 'T');
    EXPECT_TRUE(runState & RS_INPUT_FREE_RUN);
    HostKeyDown(WND_HEIGHT, 'T');
    EXPECT_FALSE(runState & RS_INPUT_FREE_RUN);
}

// During a capture F1 enables Save; once Save has named a file (autosave), F2 starts the hourly
// writes with one write at once; F1 then cancels saving and the hourly timer.
TEST_F(CommandKeys, SavingSwitchesF1AndF2) {
    HostKeyDown(WND_PULSES, VK_F1);  // not acquiring: nothing to enable
    EXPECT_FALSE(runState & RS_DATA_READY);

    runState |= RS_ACQUIRING;
    HostKeyDown(WND_PULSES, VK_F1);
    EXPECT_TRUE(runState & RS_DATA_READY);
    EXPECT_TRUE(Headless().menuEnabled[IDM_SAVE]);

    HostKeyDown(WND_PULSES, VK_F2);  // no file named yet: the hourly save stays off
    EXPECT_FALSE(runState & RS_HOURLY_SAVE);
    EXPECT_EQ(Headless().timers.count(TIMER_HOURLY), 0u);
    EXPECT_FALSE(Dispatched(IDM_WRITE_DATA_FILE));

    runState |= RS_AUTOSAVE;  // what Save does during a capture once it has a file name
    HostKeyDown(WND_HEIGHT, VK_F2);
    EXPECT_TRUE(runState & RS_HOURLY_SAVE);
    ASSERT_EQ(Headless().timers.count(TIMER_HOURLY), 1u);
    EXPECT_EQ(Headless().timers[TIMER_HOURLY], 3600000u);
    EXPECT_TRUE(Dispatched(IDM_WRITE_DATA_FILE));
    EXPECT_TRUE(Headless().menuChecked[IDM_SAVE]);

    HostKeyDown(WND_HEIGHT, VK_F2);  // off again
    EXPECT_FALSE(runState & RS_HOURLY_SAVE);
    EXPECT_EQ(Headless().timers.count(TIMER_HOURLY), 0u);
    HostKeyDown(WND_HEIGHT, VK_F2);
    EXPECT_TRUE(runState & RS_HOURLY_SAVE);

    HostKeyDown(WND_PULSES, VK_F1);
    EXPECT_FALSE(runState & (RS_DATA_READY | RS_AUTOSAVE | RS_HOURLY_SAVE));
    EXPECT_EQ(Headless().timers.count(TIMER_HOURLY), 0u);
    EXPECT_FALSE(Headless().menuEnabled[IDM_SAVE]);
    EXPECT_FALSE(Headless().menuChecked[IDM_SAVE]);
}

TEST_F(CommandKeys, CommaAndPeriodSetPitchAndClickDensity) {
    HostKeyDown(WND_PULSES, VK_OEM_COMMA);
    EXPECT_EQ(pitchOffset, 0);
    for (int i = 0; i < 120; ++i) HostKeyDown(WND_PULSES, VK_OEM_PERIOD);
    EXPECT_EQ(pitchOffset, 98);
    HostKeyDown(WND_PULSES, VK_OEM_COMMA);
    EXPECT_EQ(pitchOffset, 97);

    Headless().keysDown[VK_SHIFT] = true;
    HostKeyDown(WND_AUDIO_INPUT, VK_OEM_PERIOD);
    EXPECT_EQ(clickDensity, 32);
    for (int i = 0; i < 5; ++i) HostKeyDown(WND_AUDIO_INPUT, VK_OEM_PERIOD);
    EXPECT_EQ(clickDensity, 128);
    for (int i = 0; i < 10; ++i) HostKeyDown(WND_AUDIO_INPUT, VK_OEM_COMMA);
    EXPECT_EQ(clickDensity, 1);
    EXPECT_EQ(pitchOffset, 97);
}

TEST_F(CommandKeys, UnknownKeysAndWindowsDoNothing) {
    uint32_t before = runState;
    for (int key : {int{'Z'}, VK_ESCAPE, VK_HOME, 0}) HostKeyDown(WND_HEIGHT, key);
    HostKeyDown(7, 'A');
    HostKeyDown(-1, VK_SPACE);
    EXPECT_EQ(runState, before);
    EXPECT_TRUE(DispatchedCommands().empty());
}
}  // namespace
