// The capture controller through the scripted devices: start, buffers, stop, continue, limits, the
// shape acquisition, the comment stamps, and device faults: an input that vanishes (the watchdog and
// the automatic restart) and an output that fails. The pulses found so far always stay.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_store.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/data_file_format.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/acquisition/detector_fixture.h"
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
        settings.outputChannels = 2;
        StartWithSettings();
    }
    // Half a second of 24 pulses per channel, `buffers` times; false when the device took none.
    static bool Deliver(int buffers = 1) {
        std::vector<uint8_t> block = PulseBlock();
        for (int i = 0; i < buffers; ++i)
            if (!ScriptedDeliverInput(block.data(), block.size())) return false;
        return true;
    }
    static std::vector<PulseRecord> Records(int c) {
        std::vector<PulseRecord> records;
        for (uint32_t i = 0; i < pulseCount[c]; ++i) records.push_back(Pulse(c, i));
        return records;
    }
    static void SaveAs(const std::string& path) {
        Headless().fileAnswers.push_back(path);
        SendCommand(WND_PULSES, IDM_SAVE);
    }
    // Whether a data file holds exactly these left records.
    static bool FileHoldsLeft(const std::vector<unsigned char>& file, const std::vector<PulseRecord>& left) {
        uint32_t count = 0;
        if (file.size() >= 8) std::memcpy(&count, file.data() + 4, 4);
        return count == left.size() && file.size() >= DATA_FILE_HEADER_SIZE + left.size() * PULSE_RECORD_SIZE &&
               std::memcmp(file.data() + DATA_FILE_HEADER_SIZE, left.data(), left.size() * sizeof(PulseRecord)) == 0;
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

    ASSERT_TRUE(Deliver(2));
    EXPECT_EQ(pulseCount[0], 48u);
    EXPECT_EQ(pulseCount[1], 48u);
    EXPECT_EQ(sampleClock, 48000);
    EXPECT_EQ(ScriptedAudio().inputQueue.size(), 4u);  // re-queued
    EXPECT_EQ(Pulse(0, 24).time, 24100);

    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_TRUE(runState & RS_DATA_READY);
    EXPECT_FALSE(ScriptedAudio().inputOpen);
    EXPECT_EQ(Headless().timers.count(TIMER_WATCHDOG), 0u);
    EXPECT_TRUE(MenuEnabled(IDM_SAVE));
    std::regex stopped(R"(<.* 0, \d{4}/\d\d/\d\d \d\d:\d\d:\d\d 1>)");
    EXPECT_TRUE(std::regex_match(std::string(settings.comments), stopped)) << settings.comments;

    // Continue appends with later times and a second stamp; Start begins anew.
    SendCommand(WND_PULSES, IDM_CONTINUE);
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(pulseCount[0], 72u);
    EXPECT_EQ(Pulse(0, 48).time, 48100);
    std::string comment = settings.comments;
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 2);
    EXPECT_NE(comment.find(" 1,"), std::string::npos) << comment;
    SendCommand(WND_PULSES, IDM_START);
    EXPECT_EQ(pulseCount[0], 0u);
    comment = settings.comments;
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 1);
}

// The left channel's tenth pulse (frames 9100 to 9107) ends the pass at frame 9108 while the right
// channel's tenth is still open; the capture stops once, after the pass, and the device closes.
TEST_F(CaptureTest, PulseLimitInTheMiddleOfABufferStopsTheCaptureOnce) {
    settings.channel[0].maxPulses = settings.channel[1].maxPulses = 10;
    SendCommand(WND_PULSES, IDM_START);
    ResetDispatcher();
    ASSERT_TRUE(Deliver());
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(pulseCount[1], 9u);
    EXPECT_EQ(sampleClock, 9108);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 9108 / 48000.0);
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_LIMIT_REACHED | RS_DATA_READY | RS_FILES_ALLOWED | RS_INPUT_READY |
                          RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT),
              RS_LIMIT_REACHED | RS_DATA_READY | RS_FILES_ALLOWED | RS_INPUT_READY | RS_PULSE_OPEN_RIGHT);
    EXPECT_EQ(std::count(DispatchedCommands().begin(), DispatchedCommands().end(), IDM_STOP), 1);
    EXPECT_FALSE(Deliver());  // the device is closed: nothing more arrives
    EXPECT_EQ(Headless().timers.count(TIMER_WATCHDOG), 0u);
    std::regex stamps(R"(<.* 0, \d{4}/\d\d/\d\d \d\d:\d\d:\d\d 0\.\d+>)");
    EXPECT_TRUE(std::regex_match(std::string(settings.comments), stamps)) << settings.comments;
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

// With a mono right input of 32 bits at 384000/s (buffers of half a second of it).
TEST_F(CaptureTest, ShapeAcquisitionOnTheRightOnlyFinalisesTheRightTemplate) {
    settings.inputChannels = 1;
    settings.inputRateIndex = 7;
    settings.inputBitsCode = 2;
    ValidateAudioFormats();
    double leftBefore = settings.pulseShape[0][30];
    SendCommand(WND_PULSES, IDM_START_SHAPE);
    EXPECT_TRUE(runState & RS_SHAPE_ACQUISITION);
    ASSERT_EQ(ScriptedAudio().inputQueue.size(), 4u);
    EXPECT_EQ(ScriptedAudio().inputQueue[0].length, 768000u);
    EXPECT_EQ(dataSampleRate, 384000u);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   Pulse Shape Acquisition !");
    // Detector-like pulses at 50 % full scale.
    Signal right(24000, 0.0);
    for (int start = 1000; start + 60 < 16000; start += 500) AddDetectorPulse(right, start, PercentOfFullScale(50));
    std::vector<uint8_t> mono = PackBlock({right}, 4);
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

TEST_F(CaptureTest, InputDeviceVanishingWithoutDataFileKeepsThePulsesAndTellsTheUser) {
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_TRUE(Deliver(3));
    std::vector<PulseRecord> left = Records(0), right = Records(1);
    ASSERT_EQ(left.size(), 72u);

    // The device is unplugged: no buffer comes back, and the watchdog fires.
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "Data acquisition stopped early.");
    EXPECT_EQ(Headless().messages[0].owner, WND_PULSES);
    EXPECT_EQ(Headless().timers.count(TIMER_RESTART), 0u);
    EXPECT_TRUE(Records(0) == left);
    EXPECT_TRUE(Records(1) == right);
    HostTimer(TIMER_RESTART);  // no data file named: nothing starts
    EXPECT_FALSE(runState & RS_ACQUIRING);

    // What was captured can be saved whole.
    std::string path = TempPath("after-stall.pls");
    SaveAs(path);
    std::vector<unsigned char> file = ReadFileBytes(path);
    EXPECT_EQ(file.size(), DATA_FILE_HEADER_SIZE + PULSE_RECORD_SIZE * (left.size() + right.size()));
    EXPECT_TRUE(FileHoldsLeft(file, left));
}

TEST_F(CaptureTest, InputDeviceVanishingWithDataFileResumesWhenItReturnsAndTheFileHoldsEveryPulse) {
    std::string path = TempPath("unattended.pls");
    SendCommand(WND_PULSES, IDM_START);
    SaveAs(path);  // named during the capture: written again at Stop
    ASSERT_TRUE(Deliver(2));
    std::vector<PulseRecord> before = Records(0);

    // Gone: the watchdog stops the capture quietly, writes no file, and tries again every minute.
    size_t commands = DispatchedCommands().size();
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_TRUE(Headless().messages.empty());
    for (size_t i = commands; i < DispatchedCommands().size(); ++i)
        EXPECT_NE(DispatchedCommands()[i], IDM_WRITE_DATA_FILE);
    ScriptedAudio().failInputOpen = true;
    EXPECT_EQ(Headless().timers[TIMER_RESTART], 60000u);
    HostTimer(TIMER_RESTART);
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_EQ(Headless().timers[TIMER_RESTART], 60000u);
    // Back: the restart appends to the same acquisition with later times; until buffers arrive, further
    // restarts add no stamps.
    ScriptedAudio().failInputOpen = false;
    HostTimer(TIMER_RESTART);
    EXPECT_TRUE(runState & RS_RESTART_UNCONFIRMED);
    EXPECT_EQ(Headless().timers.count(TIMER_RESTART), 0u);
    std::string comment = settings.comments;
    HostTimer(TIMER_WATCHDOG);
    HostTimer(TIMER_RESTART);
    EXPECT_EQ(std::string(settings.comments), comment);
    ASSERT_TRUE(runState & RS_ACQUIRING);
    ASSERT_TRUE(Deliver(2));
    EXPECT_FALSE(runState & RS_RESTART_UNCONFIRMED);
    std::vector<PulseRecord> after = Records(0);
    ASSERT_EQ(after.size(), 96u);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    EXPECT_GT(after[before.size()].time, before.back().time);
    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_TRUE(FileHoldsLeft(ReadFileBytes(path), after));
    // The comment tells when the capture was resumed: a start stamp for the Start and the restart.
    comment = settings.comments;
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 2);
    EXPECT_TRUE(Headless().messages.empty());
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

// An output device that cannot be opened leaves the sound off with a message; one that fails with the
// sound on takes no more writes. The capture goes on unharmed in both cases.
TEST_F(CaptureTest, FailingOutputDevicesLeaveTheCaptureUnharmed) {
    ScriptedAudio().failOutputOpen = true;
    SendCommand(WND_PULSES, IDM_START);
    SendCommand(WND_PULSES, IDM_SOUND);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, SOUND_OUTPUT_FAILED_MESSAGE);
    EXPECT_FALSE(runState & RS_SOUND_ON);
    EXPECT_FALSE(Headless().menuChecked[IDM_SOUND]);
    ASSERT_TRUE(Deliver());
    EXPECT_TRUE(ScriptedAudio().outputWrites.empty());

    ScriptedAudio().failOutputOpen = false;
    SendCommand(WND_PULSES, IDM_SOUND);
    EXPECT_TRUE(runState & RS_SOUND_ON);
    EXPECT_TRUE(Headless().menuChecked[IDM_SOUND]);
    ASSERT_TRUE(Deliver());
    size_t writes = ScriptedAudio().outputWrites.size();
    EXPECT_GT(writes, 2u);  // two blocks of silence, then one mixed block per input buffer

    ScriptedAudio().outputOpen = false;  // the device disappears: no block ever finishes again
    ASSERT_TRUE(Deliver(2));
    EXPECT_EQ(ScriptedAudio().outputWrites.size(), writes);
    EXPECT_EQ(pulseCount[0], 96u);
    EXPECT_EQ(pulseCount[1], 96u);
    for (uint32_t i = 1; i < pulseCount[0]; ++i) EXPECT_GT(Pulse(0, i).time, Pulse(0, i - 1).time);
    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_FALSE(runState & RS_SOUND_ON);
    EXPECT_EQ(Headless().messages.size(), 1u);
}
