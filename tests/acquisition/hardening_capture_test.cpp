// Device faults during a capture, through the scripted devices: an input device that vanishes (the
// watchdog path, with and without a named data file) and an output device that fails with the sound
// on. In every case the pulses found so far stay and the user learns what happened.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_store.h"
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
