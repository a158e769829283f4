// The capture controller through the scripted device: start, buffers, stop, continue, limits, the
// shape acquisition, the watchdog and automatic restart, and the comment stamps.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/capture.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_store.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/startup.h"

namespace {
class CaptureTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        settings.inputChannels = 2;
        StartWithSettings();
    }
    bool Deliver(int first = 100, int spacing = 1000) {
        std::vector<uint8_t> block = PulseBlock(24000, first, spacing);
        return ScriptedDeliverInput(block.data(), block.size());
    }
};

const std::regex START_STAMP(R"(<\d{4}/\d\d/\d\d \d\d:\d\d:\d\d 0,)");
}  // namespace

TEST_F(CaptureTest, StartRunsBuffersThroughTheDetectorAndStopFinishes) {
    std::strcpy(settings.comments, "old comment");
    SendCommand(WND_PULSES, IDM_START);
    EXPECT_TRUE(runState & RS_ACQUIRING);
    EXPECT_FALSE(runState & RS_FILES_ALLOWED);
    EXPECT_TRUE(std::regex_match(std::string(settings.comments), START_STAMP)) << settings.comments;
    ASSERT_EQ(ScriptedAudio().inputQueue.size(), 4u);
    EXPECT_EQ(ScriptedAudio().inputQueue[0].length, 96000u);
    EXPECT_EQ(Headless().timers.count(TIMER_WATCHDOG), 1u);
    EXPECT_TRUE(MenuEnabled(IDM_STOP));
    EXPECT_FALSE(MenuEnabled(IDM_SAVE));

    ASSERT_TRUE(Deliver());
    EXPECT_EQ(pulseCount[0], 24u);
    EXPECT_EQ(pulseCount[1], 24u);
    EXPECT_EQ(sampleClock, 24000);
    EXPECT_EQ(ScriptedAudio().inputQueue.size(), 4u);  // re-queued
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(pulseCount[0], 48u);
    EXPECT_EQ(Pulse(0, 24).time, 24100);

    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_TRUE(runState & RS_DATA_READY);
    EXPECT_FALSE(ScriptedAudio().inputOpen);
    EXPECT_EQ(Headless().timers.count(TIMER_WATCHDOG), 0u);
    EXPECT_TRUE(MenuEnabled(IDM_SAVE));
    EXPECT_TRUE(MenuEnabled(IDM_EXPORT_HEIGHT));
    std::regex stopped(R"(<.* 0, \d{4}/\d\d/\d\d \d\d:\d\d:\d\d 1>)");
    EXPECT_TRUE(std::regex_match(std::string(settings.comments), stopped)) << settings.comments;
}

TEST_F(CaptureTest, ContinueAppendsWithLaterTimesAndASecondStamp) {
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_TRUE(Deliver());
    SendCommand(WND_PULSES, IDM_STOP);
    SendCommand(WND_PULSES, IDM_CONTINUE);
    EXPECT_EQ(pulseCount[0], 24u);
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(pulseCount[0], 48u);
    EXPECT_GT(Pulse(0, 24).time, Pulse(0, 23).time);
    EXPECT_EQ(Pulse(0, 24).time, 24100);
    std::string comment = settings.comments;
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 2);
    EXPECT_NE(comment.find(" 0.5,"), std::string::npos) << comment;
    SendCommand(WND_PULSES, IDM_START);
    EXPECT_EQ(pulseCount[0], 0u);
    comment = settings.comments;
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 1);
}

TEST_F(CaptureTest, BufferLengthIsHalfASecondOfTheInputFormat) {
    settings.inputRateIndex = 7;
    settings.inputBitsCode = 2;
    ValidateAudioFormats();
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_EQ(ScriptedAudio().inputQueue.size(), 4u);
    EXPECT_EQ(ScriptedAudio().inputQueue[0].length, 1536000u);
    EXPECT_EQ(dataSampleRate, 384000u);
}

TEST_F(CaptureTest, LimitInTheMiddleOfABufferStopsAtOnce) {
    settings.channel[0].maxPulses = 10;
    settings.channel[1].maxPulses = 10;
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_FALSE(Deliver());  // the device is closed: nothing more arrives
    EXPECT_EQ(pulseCount[0], 10u);
}

TEST_F(CaptureTest, ContinueAfterTheAcquisitionTimeStopsWithinTheFirstBuffer) {
    settings.channel[0].acquisitionTime = 0.25;
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_TRUE(Deliver());
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_EQ(sampleClock, 12000);
    SendCommand(WND_PULSES, IDM_CONTINUE);
    EXPECT_TRUE(runState & RS_ACQUIRING);
    ASSERT_TRUE(Deliver());
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_EQ(sampleClock, 12000);
}

TEST_F(CaptureTest, ShapeAcquisitionOnTheRightOnlyFinalisesTheRightTemplate) {
    settings.inputChannels = 1;
    ValidateAudioFormats();
    double leftBefore = settings.pulseShape[0][30];
    SendCommand(WND_PULSES, IDM_START_SHAPE);
    EXPECT_TRUE(runState & RS_SHAPE_ACQUISITION);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   Pulse Shape Acquisition !");
    // Mono right input: smooth pulses at 50 % full scale.
    std::vector<uint8_t> mono(48000, 0);
    for (int start = 1000; start + 60 < 16000; start += 500)
        for (int j = 0; j < 40; ++j) {
            double x = j < 10 ? j / 10.0 : std::exp(-(j - 10) / 8.0);
            int16_t value = static_cast<int16_t>(16000 * x);
            std::memcpy(&mono[static_cast<size_t>(start + j) * 2], &value, 2);
        }
    ASSERT_TRUE(ScriptedDeliverInput(mono.data(), mono.size()));
    EXPECT_GT(pulseCount[1], 0u);
    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_FALSE(runState & RS_SHAPE_ACQUISITION);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   ");
    EXPECT_EQ(settings.pulseShape[0][30], leftBefore);
    double sum = 0;
    for (int j = 0; j < 60; ++j) sum += settings.pulseShape[1][j];
    EXPECT_NEAR(sum, 0.0, 1e-9);  // normalised: zero mean
    EXPECT_FALSE(IsDialogOpen(IDD_PULSE_SHAPE));  // opens after Stop has finished
    HeadlessRunPostedCommands();
    EXPECT_TRUE(IsDialogOpen(IDD_PULSE_SHAPE));
}

TEST_F(CaptureTest, StallWithoutDataFileEndsWithAMessage) {
    SendCommand(WND_PULSES, IDM_START);
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "Data acquisition stopped early.");
    EXPECT_EQ(Headless().messages[0].owner, WND_PULSES);
    EXPECT_EQ(Headless().timers.count(TIMER_RESTART), 0u);
}

TEST_F(CaptureTest, StallWithDataFileRestartsEveryMinuteUntilBuffersArrive) {
    SendCommand(WND_PULSES, IDM_START);
    runState |= RS_AUTOSAVE;  // a data file was named during the capture
    size_t commands = DispatchedCommands().size();
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_TRUE(Headless().messages.empty());
    EXPECT_TRUE(runState & RS_AUTOSAVE);
    EXPECT_EQ(Headless().timers[TIMER_RESTART], 60000u);
    for (size_t i = commands; i < DispatchedCommands().size(); ++i)
        EXPECT_NE(DispatchedCommands()[i], IDM_WRITE_DATA_FILE);

    HostTimer(TIMER_RESTART);
    EXPECT_TRUE(runState & RS_ACQUIRING);
    EXPECT_TRUE(runState & RS_RESTART_UNCONFIRMED);
    EXPECT_TRUE(runState & RS_AUTOSAVE);
    EXPECT_EQ(Headless().timers.count(TIMER_RESTART), 0u);
    std::string comment = settings.comments;
    HostTimer(TIMER_WATCHDOG);  // the restart delivers nothing either
    HostTimer(TIMER_RESTART);
    EXPECT_EQ(std::string(settings.comments), comment);  // no stamps while unconfirmed
    ASSERT_TRUE(Deliver());
    EXPECT_FALSE(runState & RS_RESTART_UNCONFIRMED);
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 2);
}

TEST_F(CaptureTest, RestartTimerActsOnlyWhileIdleWithADataFile) {
    SendCommand(WND_PULSES, IDM_START);
    SendCommand(WND_PULSES, IDM_STOP);
    HostTimer(TIMER_RESTART);  // no data file named: nothing starts
    EXPECT_FALSE(runState & RS_ACQUIRING);
}

TEST_F(CaptureTest, OpeningAFileCancelsAPendingRestart) {
    SendCommand(WND_PULSES, IDM_START);
    runState |= RS_AUTOSAVE;
    HostTimer(TIMER_WATCHDOG);
    ASSERT_EQ(Headless().timers.count(TIMER_RESTART), 1u);
    ASSERT_TRUE(SetFileName(TempPath("missing.pls").c_str()));
    SendCommand(WND_PULSES, IDM_OPEN_NAMED_FILE);
    EXPECT_EQ(Headless().timers.count(TIMER_RESTART), 0u);
}
