// The capture controller through the scripted device: start, buffers, stop, continue, limits, the
// shape acquisition, the watchdog and automatic restart, and the comment stamps.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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

TEST_F(CaptureTest, PulseLimitInTheMiddleOfABufferStopsWithTheRecordsOfAnUnlimitedRun) {
    // The reference: the same buffer captured without a limit.
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_TRUE(Deliver());
    SendCommand(WND_PULSES, IDM_STOP);
    std::vector<PulseRecord> reference[2];
    for (int c = 0; c < 2; ++c) reference[c].assign(&Pulse(c, 0), &Pulse(c, 0) + 10);

    settings.channel[0].maxPulses = settings.channel[1].maxPulses = 10;
    ResetDispatcher();
    SendCommand(WND_PULSES, IDM_START);
    ASSERT_TRUE(Deliver());
    // The left channel reaches its limit first; each channel holds the unlimited run's first records.
    ASSERT_EQ(pulseCount[0], 10u);
    for (int c = 0; c < 2; ++c) {
        ASSERT_LE(pulseCount[c], 10u);
        EXPECT_EQ(std::memcmp(&Pulse(c, 0), reference[c].data(), pulseCount[c] * sizeof(PulseRecord)), 0) << c;
    }
    // The clock stops where the tenth pulse closed; the capture has stopped once, after the pass.
    EXPECT_EQ(sampleClock, reference[0][9].time + reference[0][9].width);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, sampleClock / 48000.0);
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_LIMIT_REACHED | RS_DATA_READY | RS_FILES_ALLOWED | RS_INPUT_READY |
                          RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT),
              RS_LIMIT_REACHED | RS_DATA_READY | RS_FILES_ALLOWED | RS_INPUT_READY | RS_PULSE_OPEN_RIGHT)
        << "the right channel's tenth pulse was still being recorded";
    EXPECT_EQ(std::count(DispatchedCommands().begin(), DispatchedCommands().end(), IDM_STOP), 1);
    EXPECT_FALSE(ScriptedAudio().inputOpen);
    EXPECT_TRUE(ScriptedAudio().inputQueue.empty());
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

// Device faults during a capture, through the scripted devices: an input device that vanishes (the
// watchdog path, with and without a named data file) and an output device that fails with the sound
// on. In every case the pulses found so far stay and the user learns what happened.
namespace {
constexpr int FRAMES_PER_BUFFER = 24000;  // half a second at 48000 Hz
constexpr int PULSES_PER_BUFFER = 24;     // one every 1000 frames from frame 100 on
const char* const STOPPED_EARLY = "Data acquisition stopped early.";

// Half a second of 16-bit stereo with rectangular pulses of 40 % full scale in both channels.
std::vector<uint8_t> PulseBlock() {
    std::vector<uint8_t> bytes(static_cast<size_t>(FRAMES_PER_BUFFER) * 4, 0);
    for (int f = 100; f + 8 <= FRAMES_PER_BUFFER; f += 1000)
        for (int j = 0; j < 8; ++j)
            for (int c = 0; c < 2; ++c) {
                int16_t value = 13107;
                std::memcpy(&bytes[static_cast<size_t>(f + j) * 4 + c * 2], &value, 2);
            }
    return bytes;
}

class CaptureFaultTest : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        setenv("TIK_SETTINGS", TempPath("tik.ini").c_str(), 1);
        settings.inputChannels = 2;
        settings.outputChannels = 2;
        SaveSettingsFile(false);
        ASSERT_TRUE(StartProgram(nullptr));
    }
    void TearDown() override {
        unsetenv("TIK_SETTINGS");
        TikTest::TearDown();
    }
    void Deliver(int buffers) {
        std::vector<uint8_t> block = PulseBlock();
        for (int i = 0; i < buffers; ++i) ASSERT_TRUE(ScriptedDeliverInput(block.data(), block.size()));
    }
    void SaveAs(const std::string& path) {
        Headless().fileAnswers.push_back(path);
        SendCommand(WND_PULSES, IDM_SAVE);
    }
    std::vector<PulseRecord> Records(int channel) const {
        std::vector<PulseRecord> records;
        for (uint32_t i = 0; i < pulseCount[channel]; ++i) records.push_back(Pulse(channel, i));
        return records;
    }
    // The left pulse count and the records that a data file holds.
    static uint32_t FileLeftCount(const std::vector<unsigned char>& file) {
        uint32_t count = 0;
        if (file.size() >= 8) std::memcpy(&count, file.data() + 4, 4);
        return count;
    }
    static bool SameRecords(const std::vector<PulseRecord>& a, const std::vector<PulseRecord>& b) {
        return a.size() == b.size() &&
               (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(PulseRecord)) == 0);
    }
};

TEST_F(CaptureFaultTest, InputDeviceVanishingWithoutDataFileKeepsThePulsesAndTellsTheUser) {
    SendCommand(WND_PULSES, IDM_START);
    Deliver(3);
    ASSERT_EQ(pulseCount[0], 3u * PULSES_PER_BUFFER);
    std::vector<PulseRecord> left = Records(0), right = Records(1);

    // The device is unplugged: no buffer comes back, and the watchdog fires.
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, STOPPED_EARLY);
    EXPECT_TRUE(SameRecords(Records(0), left));
    EXPECT_TRUE(SameRecords(Records(1), right));
    EXPECT_TRUE(runState & RS_DATA_READY);

    // What was captured can be saved whole.
    std::string path = TempPath("after-stall.pls");
    SaveAs(path);
    std::vector<unsigned char> file = ReadFileBytes(path);
    EXPECT_EQ(file.size(), DATA_FILE_HEADER_SIZE + PULSE_RECORD_SIZE * (left.size() + right.size()));
    EXPECT_EQ(FileLeftCount(file), left.size());
    EXPECT_EQ(
        std::memcmp(file.data() + DATA_FILE_HEADER_SIZE, left.data(), left.size() * sizeof(PulseRecord)), 0);
}

TEST_F(CaptureFaultTest, InputDeviceVanishingWithDataFileResumesWhenItReturnsAndTheFileHoldsEveryPulse) {
    std::string path = TempPath("unattended.pls");
    SendCommand(WND_PULSES, IDM_START);
    SaveAs(path);  // named during the capture: written again at Stop
    Deliver(2);
    std::vector<PulseRecord> before = Records(0);
    ASSERT_EQ(before.size(), 2u * PULSES_PER_BUFFER);

    // Gone: the watchdog stops the capture quietly and tries again every minute while it stays gone.
    HostTimer(TIMER_WATCHDOG);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_TRUE(Headless().messages.empty());
    EXPECT_EQ(Headless().timers[TIMER_RESTART], 60000u);
    ScriptedAudio().failInputOpen = true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        HostTimer(TIMER_RESTART);
        HostTimer(TIMER_WATCHDOG);
        EXPECT_FALSE(runState & RS_ACQUIRING);
        EXPECT_EQ(Headless().timers[TIMER_RESTART], 60000u);
    }
    std::vector<PulseRecord> waiting = Records(0);
    ASSERT_GE(waiting.size(), before.size());
    EXPECT_TRUE(
        SameRecords(std::vector<PulseRecord>(waiting.begin(), waiting.begin() + before.size()), before));

    // Back: the restart appends to the same acquisition with later times.
    ScriptedAudio().failInputOpen = false;
    HostTimer(TIMER_RESTART);
    ASSERT_TRUE(runState & RS_ACQUIRING);
    Deliver(2);
    std::vector<PulseRecord> after = Records(0);
    ASSERT_EQ(after.size(), 4u * PULSES_PER_BUFFER);
    EXPECT_TRUE(SameRecords(std::vector<PulseRecord>(after.begin(), after.begin() + before.size()), before));
    EXPECT_GT(after[before.size()].time, before.back().time);

    SendCommand(WND_PULSES, IDM_STOP);
    std::vector<unsigned char> file = ReadFileBytes(path);
    ASSERT_EQ(FileLeftCount(file), after.size());
    EXPECT_EQ(
        std::memcmp(file.data() + DATA_FILE_HEADER_SIZE, after.data(), after.size() * sizeof(PulseRecord)),
        0);
    // The comment tells when the capture was resumed: a start stamp for the Start and the restart.
    std::string comment = settings.comments;
    EXPECT_EQ(std::count(comment.begin(), comment.end(), '<'), 2);
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(CaptureFaultTest, OutputDeviceThatCannotBeOpenedLeavesTheSoundOffAndTellsTheUser) {
    ScriptedAudio().failOutputOpen = true;
    SendCommand(WND_PULSES, IDM_START);
    SendCommand(WND_PULSES, IDM_SOUND);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, SOUND_OUTPUT_FAILED_MESSAGE);
    EXPECT_FALSE(runState & RS_SOUND_ON);
    EXPECT_FALSE(Headless().menuChecked[IDM_SOUND]);

    Deliver(2);
    EXPECT_TRUE(runState & RS_ACQUIRING);
    EXPECT_EQ(pulseCount[0], 2u * PULSES_PER_BUFFER);
    EXPECT_EQ(pulseCount[1], 2u * PULSES_PER_BUFFER);
    EXPECT_TRUE(ScriptedAudio().outputWrites.empty());

    // Once the device is back, the same command turns the sound on.
    ScriptedAudio().failOutputOpen = false;
    SendCommand(WND_PULSES, IDM_SOUND);
    EXPECT_TRUE(runState & RS_SOUND_ON);
    EXPECT_TRUE(Headless().menuChecked[IDM_SOUND]);
    EXPECT_EQ(Headless().messages.size(), 1u);
}

TEST_F(CaptureFaultTest, OutputDeviceFailingWithTheSoundOnLeavesTheCaptureUnharmed) {
    SendCommand(WND_PULSES, IDM_START);
    SendCommand(WND_PULSES, IDM_SOUND);
    ASSERT_TRUE(runState & RS_SOUND_ON);
    Deliver(1);
    size_t writes = ScriptedAudio().outputWrites.size();
    EXPECT_GT(writes, 2u);  // two blocks of silence, then one mixed block per input buffer

    // The output device disappears: its writes go nowhere and no block ever finishes again.
    ScriptedAudio().outputOpen = false;
    Deliver(3);
    EXPECT_EQ(ScriptedAudio().outputWrites.size(), writes);
    EXPECT_EQ(pulseCount[0], 4u * PULSES_PER_BUFFER);
    EXPECT_EQ(pulseCount[1], 4u * PULSES_PER_BUFFER);
    for (uint32_t i = 1; i < pulseCount[0]; ++i) EXPECT_GT(Pulse(0, i).time, Pulse(0, i - 1).time);

    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_FALSE(runState & RS_SOUND_ON);
    EXPECT_FALSE(runState & RS_ACQUIRING);
    EXPECT_TRUE(Headless().messages.empty());
}
}  // namespace
