// Click sound: the tone table, which pulses click at which amplitude, where the bursts land in the
// output blocks, and the channel and sample-width rules.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"
#include "ui/startup.h"

namespace {
class ClickTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        settings.inputChannels = 2;
        settings.outputChannels = 2;
        StartWithSettings();
    }
};

int SignChanges(int tone) {
    int changes = 0;
    for (int32_t i = 1; i < ClickToneLength(); ++i)
        if ((ClickToneSample(tone, i - 1) < 0) != (ClickToneSample(tone, i) < 0)) ++changes;
    return changes;
}
}  // namespace

TEST_F(ClickTest, TonesLastATwelfthOfASecondWithSemitoneSteps) {
    ASSERT_EQ(ClickToneLength(), 4000);
    EXPECT_NEAR(SignChanges(48), 2 * 440.0 * 4000 / 48000, 2);
    EXPECT_NEAR(SignChanges(0), 2 * 27.5 * 4000 / 48000, 2);
    EXPECT_NEAR(SignChanges(99), 2 * 8372.0 * 4000 / 48000, 10);
    // The raised-cosine envelope peaks at 32766 in the middle of the burst.
    int16_t peak = 0;
    for (int tone = 0; tone < 100; ++tone)
        for (int32_t i = 0; i < 4000; ++i) peak = std::max<int16_t>(peak, ClickToneSample(tone, i));
    EXPECT_LE(peak, 32766);
    EXPECT_GE(peak, 32700);
    EXPECT_EQ(ClickToneSample(10, 0), 0);  // the envelope starts at zero
}

// New left pulses of half full scale, 200 frames apart, as one pass left them (the pass began at frame
// `clock`), mixed into the 24000-frame stereo output block: the written block holds bursts of tone 50 at
// the clicked pulses (left channel; 16-bit samples, or the upper 16 bits of wider ones) with the
// density's amplitude. A pulse that began before the pass starts at the block's beginning.
TEST_F(ClickTest, MixedBlocksHoldTheBurstsOfTheClickedPulses) {
    struct Case {
        int density;
        uint32_t pulses;
        int64_t firstTime, clock;
        int8_t bitsCode;
        int played;  // output blocks played before
        std::vector<uint32_t> clicked;
        double amplitude;
        int index;
    };
    const Case cases[] = {
        {16, 100, 0, 0, 0, 0, {0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84, 91, 98}, 0.125, 2},
        {1, 100, 0, 0, 0, 2, {0}, 0.5, 3},
        {1, 1, 50, 100, 0, 0, {0}, 0.5, 2},
        {1, 1, 0, 0, 1, 0, {0}, 0.5, 2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(::testing::Message() << "density " << test.density << ", bits code " << int{test.bitsCode});
        SetUp();
        settings.outputBitsCode = test.bitsCode;
        ValidateAudioFormats();
        BuildClickTones();
        clickDensity = test.density;
        SendCommand(WND_PULSES, IDM_SOUND);
        ASSERT_EQ(ScriptedAudio().outputWrites.size(), 2u);  // two blocks of silence
        for (int i = 0; i < test.played; ++i) ASSERT_TRUE(ScriptedPlayOutputBlock());
        for (uint32_t i = 0; i < test.pulses; ++i) Pulse(0, i) = {test.firstTime + 200 * i, 5, 1073741824u, 0, 0};
        pulseCount[0] = test.pulses;
        sampleClock = test.clock + 24000;
        MixClicks(test.clock, 48000);
        ASSERT_EQ(ScriptedAudio().outputWrites.size(), 3u);
        EXPECT_EQ(ScriptedAudio().outputWrites[2].index, test.index);  // (current block - 2) mod 4

        std::vector<int32_t> expected(48000, 0);
        for (uint32_t p : test.clicked)
            for (int32_t i = 0; i < ClickToneLength() && 400 * p + 2 * i < 48000; ++i)
                expected[400 * p + 2 * i] += static_cast<int32_t>(ClickToneSample(50, i) * test.amplitude);
        const std::vector<uint8_t>& bytes = ScriptedAudio().outputWrites[2].bytes;
        const size_t width = test.bitsCode ? 3 : 2;
        ASSERT_EQ(bytes.size(), 48000 * width);
        for (size_t k = 0; k < 48000; ++k) {
            int16_t upper;
            std::memcpy(&upper, &bytes[k * width + width - 2], 2);
            ASSERT_EQ(upper, std::clamp(expected[k], -32768, 32767)) << k;
            ASSERT_EQ(width == 3 ? bytes[k * width] : 0, 0) << k;
        }
    }
}

TEST_F(ClickTest, NoCommonChannelWritesNothingAndSoundOffClosesTheOutput) {
    settings.inputChannels = 0;   // left
    settings.outputChannels = 1;  // right
    ValidateAudioFormats();
    SendCommand(WND_PULSES, IDM_SOUND);
    pulseCount[0] = 10;
    MixClicks(0, 48000);
    EXPECT_EQ(ScriptedAudio().outputWrites.size(), 2u);
    SendCommand(WND_PULSES, IDM_SOUND);
    EXPECT_FALSE(runState & RS_SOUND_ON);
    EXPECT_FALSE(ScriptedAudio().outputOpen);
}

TEST_F(ClickTest, TonesAndAnOpenOutputFollowEveryRenewalOfTheOutputFormat) {
    // A data file that holds an output of 96000/s and a settings file that holds 192000/s.
    std::string dataFile = TempPath("output96k.pls");
    settings.outputRateIndex = 3;
    Headless().fileAnswers.push_back(dataFile);
    SendCommand(WND_PULSES, IDM_SAVE);
    settings.outputRateIndex = 5;
    ASSERT_TRUE(SaveSettingsFile(false));
    settings.outputRateIndex = 1;

    SendCommand(WND_PULSES, IDM_SOUND);
    ASSERT_TRUE(ScriptedAudio().outputOpen);
    Headless().fileAnswers.push_back(SettingsFilePath());
    SendCommand(WND_PULSES, IDM_LOAD_SETTINGS);
    EXPECT_EQ(ClickToneLength(), 192000 / 12);
    EXPECT_TRUE(runState & RS_SOUND_ON);
    EXPECT_EQ(ScriptedAudio().outputFormat.samplesPerSecond, 192000u);

    Headless().fileAnswers.push_back(dataFile);
    SendCommand(WND_PULSES, IDM_OPEN);
    EXPECT_EQ(ClickToneLength(), 96000 / 12);
    EXPECT_TRUE(ScriptedAudio().outputOpen);
    EXPECT_EQ(ScriptedAudio().outputFormat.samplesPerSecond, 96000u);
    EXPECT_EQ(ScriptedAudio().outputOpens, 3);
}
