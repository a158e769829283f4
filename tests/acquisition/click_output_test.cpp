// Click sound: the tone table, which pulses click at which amplitude, where the bursts land in the
// output blocks, and the channel and sample-width rules.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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
    // n new left-channel pulses of half full scale, `spacing` frames apart, as one detector pass left them.
    void NewPulses(uint32_t n, int64_t spacing) {
        bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
        pulseCount[1] = 0;
        for (uint32_t i = 0; i < n; ++i) Pulse(0, i) = {static_cast<int64_t>(i) * spacing, 5, 1073741824u, 0, 0};
        pulseCount[0] = n;
        sampleClock = 24000;
    }
    // The expected 16-bit stereo block: bursts of tone 50 at the given pulses with the given amplitude.
    std::vector<int16_t> Expected(const std::vector<uint32_t>& pulses, int64_t spacing, double amplitude) {
        std::vector<int32_t> sums(48000, 0);
        for (uint32_t p : pulses)
            for (int32_t i = 0; i < ClickToneLength(); ++i) {
                int64_t q = 2 * p * spacing + 2 * i;
                if (q < 48000) sums[static_cast<size_t>(q)] += static_cast<int32_t>(ClickToneSample(50, i) * amplitude);
            }
        std::vector<int16_t> out(48000);
        for (size_t k = 0; k < out.size(); ++k)
            out[k] = static_cast<int16_t>(sums[k] > 32767 ? 32767 : (sums[k] < -32768 ? -32768 : sums[k]));
        return out;
    }
    std::vector<int16_t> WrittenBlock(size_t write) {
        const std::vector<uint8_t>& bytes = ScriptedAudio().outputWrites.at(write).bytes;
        std::vector<int16_t> out(bytes.size() / 2);
        std::memcpy(out.data(), bytes.data(), out.size() * 2);
        return out;
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

TEST_F(ClickTest, DensitySixteenClicksEverySeventhPulseAtAnEighth) {
    SendCommand(WND_PULSES, IDM_SOUND);
    ASSERT_TRUE(runState & RS_SOUND_ON);
    ASSERT_EQ(ScriptedAudio().outputWrites.size(), 2u);  // two blocks of silence
    NewPulses(100, 200);
    MixClicks(0, 48000);
    ASSERT_EQ(ScriptedAudio().outputWrites.size(), 3u);
    EXPECT_EQ(ScriptedAudio().outputWrites[2].index, 2);  // (0 - 2) mod 4
    std::vector<uint32_t> clicked;
    for (uint32_t p = 0; p < 100; p += 7) clicked.push_back(p);
    EXPECT_EQ(clicked.size(), 15u);
    std::vector<int16_t> expected = Expected(clicked, 200, 0.125);
    std::vector<int16_t> written = WrittenBlock(2);
    ASSERT_EQ(written.size(), 48000u);
    EXPECT_EQ(written, expected);
}

TEST_F(ClickTest, TonesAndAnOpenOutputFollowEveryRenewalOfTheOutputFormat) {
    ASSERT_EQ(ClickToneLength(), 48000 / 12);
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

TEST_F(ClickTest, DensityOneClicksOnlyTheFirstPulseAtHalfAmplitude) {
    clickDensity = 1;
    SendCommand(WND_PULSES, IDM_SOUND);
    NewPulses(100, 200);
    MixClicks(0, 48000);
    EXPECT_EQ(WrittenBlock(2), Expected({0}, 200, 0.5));
}

TEST_F(ClickTest, WideOutputSamplesGetOnlyTheirUpperSixteenBits) {
    settings.outputBitsCode = 1;  // 24 bits
    ValidateAudioFormats();
    BuildClickTones();
    clickDensity = 1;
    SendCommand(WND_PULSES, IDM_SOUND);
    NewPulses(1, 200);
    MixClicks(0, 48000);
    const std::vector<uint8_t>& bytes = ScriptedAudio().outputWrites.at(2).bytes;
    ASSERT_EQ(bytes.size(), 144000u);
    std::vector<int16_t> expected = Expected({0}, 200, 0.5);
    for (size_t k = 0; k < 48000; ++k) {
        EXPECT_EQ(bytes[3 * k], 0) << k;
        int16_t upper;
        std::memcpy(&upper, &bytes[3 * k + 1], 2);
        ASSERT_EQ(upper, expected[k]) << k;
    }
}

TEST_F(ClickTest, NoCommonChannelWritesNothing) {
    settings.inputChannels = 0;   // left
    settings.outputChannels = 1;  // right
    ValidateAudioFormats();
    SendCommand(WND_PULSES, IDM_SOUND);
    NewPulses(10, 200);
    MixClicks(0, 48000);
    EXPECT_EQ(ScriptedAudio().outputWrites.size(), 2u);
}

TEST_F(ClickTest, PlayedBlocksAreClearedAndBlockIndicesWrap) {
    SendCommand(WND_PULSES, IDM_SOUND);
    ASSERT_TRUE(ScriptedPlayOutputBlock());  // block 0 played: current block 0
    ASSERT_TRUE(ScriptedPlayOutputBlock());  // block 1 played: current block 1
    NewPulses(3, 100);
    MixClicks(0, 48000);
    EXPECT_EQ(ScriptedAudio().outputWrites.back().index, 3);  // (1 - 2) mod 4
    SendCommand(WND_PULSES, IDM_SOUND);
    EXPECT_FALSE(runState & RS_SOUND_ON);
    EXPECT_FALSE(ScriptedAudio().outputOpen);
}

TEST_F(ClickTest, PulseFromThePreviousBufferStartsAtTheBlockBeginning) {
    clickDensity = 1;
    SendCommand(WND_PULSES, IDM_SOUND);
    NewPulses(1, 200);
    Pulse(0, 0).time = 50;  // began before this pass's clock
    MixClicks(100, 48000);
    EXPECT_EQ(WrittenBlock(2), Expected({0}, 200, 0.5));
}
