// The built-in pulse generator as an input device: every format, the generator module's exact signal,
// plausible pulses, pacing, mono "Right", and environment settings that do not parse.
#include <chrono>
#include <cstdlib>

#include "acquisition/pulse_generator.h"
#include "tests/portaudio/portaudio_support.h"

namespace {
int GeneratorDevice() {
    return AudioInputDeviceCount() - 1;
}

// Receives `count` filled buffers of `length` bytes (re-queued as the core does), concatenated.
std::vector<uint8_t> Record(const WaveFormat& format, uint32_t length, int count) {
    std::vector<uint8_t> all;
    if (!AudioOpenInput(GeneratorDevice(), format)) return all;
    std::vector<uint8_t> buffers[4];
    for (int i = 0; i < 4; i++) {
        buffers[i].assign(length, 0);
        AudioQueueInputBuffer(i, buffers[i].data(), length);
    }
    AudioStartInput();
    int received = 0;
    bool done = RunNotifications(
        [&](AudioNotification, int index) {
            all.insert(all.end(), buffers[index].begin(), buffers[index].end());
            if (++received == count) return true;
            AudioQueueInputBuffer(index, buffers[index].data(), length);
            return false;
        },
        60.0);
    AudioResetInput();
    AudioCloseInput();
    DrainNotifications();
    if (!done) all.clear();
    return all;
}

// Sample `channel` of every frame of 16-bit stereo data, in fractions of full scale.
std::vector<double> Channel16(const std::vector<uint8_t>& bytes, int channel) {
    std::vector<double> values;
    for (size_t i = static_cast<size_t>(channel) * 2; i + 1 < bytes.size(); i += 4)
        values.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8) / 32768.0);
    return values;
}

// Frames where the signal rises through `threshold` (re-armed below half of it).
std::vector<size_t> Crossings(const std::vector<double>& values, double threshold) {
    std::vector<size_t> starts;
    bool armed = true;
    for (size_t i = 0; i < values.size(); i++) {
        if (armed && values[i] >= threshold) {
            starts.push_back(i);
            armed = false;
        } else if (values[i] < threshold / 2) {
            armed = true;
        }
    }
    return starts;
}
}  // namespace

TEST_F(LiveAudioTest, GeneratorAcceptsEveryFormatOfTheSeamAndNothingElse) {
    int generator = GeneratorDevice();
    const uint32_t rates[8] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
    for (uint32_t rate : rates)
        for (uint16_t bits : {16, 24, 32}) {
            EXPECT_TRUE(AudioInputFormatSupported(generator, MakeFormat(2, bits, rate, 3)))
                << rate << " " << bits;
            EXPECT_TRUE(AudioInputFormatSupported(generator, MakeFormat(1, bits, rate, 1)));
            EXPECT_TRUE(AudioInputFormatSupported(generator, MakeFormat(1, bits, rate, 2)));
        }
    EXPECT_FALSE(AudioInputFormatSupported(generator, MakeFormat(2, 16, 8000, 3)));
    EXPECT_FALSE(AudioInputFormatSupported(generator, MakeFormat(2, 8, 48000, 3)));
    EXPECT_FALSE(AudioInputFormatSupported(generator, MakeFormat(4, 16, 48000, 15)));
    EXPECT_FALSE(AudioOpenInput(generator, MakeFormat(2, 20, 48000, 3)));
}

// Unpaced, the device delivers exactly what the generator module makes with the same settings, and
// those are detector pulses at about the configured rate with some left/right coincidences.
TEST_F(LiveAudioTest, UnpacedGeneratorDeliversTheModuleSignalWithPlausiblePulses) {
    setenv("TIK_GEN_SPEED", "0", 1);
    setenv("TIK_GEN_SEED", "42", 1);
    setenv("TIK_GEN_RATE", "300", 1);
    setenv("TIK_GEN_COINCIDENCE", "0.5", 1);
    WaveFormat format = MakeFormat(2, 16, 48000, 3);
    std::vector<uint8_t> recorded = Record(format, 96000, 8);  // 4 seconds
    ASSERT_EQ(recorded.size(), 8u * 96000);

    PulseGeneratorParameters parameters;
    parameters.speed = 0;
    parameters.seed = 42;
    parameters.pulseRate = 300;
    parameters.coincidence = 0.5;
    PulseGenerator generator;
    ASSERT_TRUE(InitPulseGenerator(generator, parameters, 48000));
    std::vector<uint8_t> expected(recorded.size());
    GeneratePulseFrames(generator, format, expected.data(), 8 * 24000);
    EXPECT_EQ(recorded, expected);

    // 1200 pulses per channel; a few are X-rays or Compton events under 5 % of full scale or pile up.
    std::vector<size_t> left = Crossings(Channel16(recorded, 0), 0.05);
    std::vector<size_t> right = Crossings(Channel16(recorded, 1), 0.05);
    EXPECT_GT(left.size(), 900u);
    EXPECT_LT(left.size(), 1250u);
    EXPECT_GT(right.size(), 900u);
    EXPECT_LT(right.size(), 1250u);
    size_t together = 0;
    for (size_t t : left)
        for (size_t u : right)
            if (u + 4 >= t && u <= t + 4) together++;
    double fraction = static_cast<double>(together) / static_cast<double>(left.size());
    EXPECT_GT(fraction, 0.35);
    EXPECT_LT(fraction, 0.6);
}

TEST_F(LiveAudioTest, GeneratorMonoRightIsTheRightChannelOfItsStereoSignal) {
    setenv("TIK_GEN_SPEED", "0", 1);
    setenv("TIK_GEN_SEED", "5", 1);
    std::vector<uint8_t> stereo = Record(MakeFormat(2, 24, 96000, 3), 2 * 3 * 48000, 2);
    std::vector<uint8_t> right = Record(MakeFormat(1, 24, 96000, 2), 3 * 48000, 2);
    ASSERT_EQ(stereo.size(), 2u * 2 * 3 * 48000);
    ASSERT_EQ(right.size(), stereo.size() / 2);
    std::vector<uint8_t> expected;
    for (size_t i = 3; i < stereo.size(); i += 6) expected.insert(expected.end(), &stereo[i], &stereo[i] + 3);
    EXPECT_EQ(right, expected);
}

// The pace is a lower bound only: one second of signal at four times real time takes a quarter second.
TEST_F(LiveAudioTest, PacedGeneratorDoesNotRunAheadOfItsSpeed) {
    setenv("TIK_GEN_SPEED", "4", 1);
    auto start = std::chrono::steady_clock::now();
    std::vector<uint8_t> recorded = Record(MakeFormat(2, 16, 48000, 3), 96000, 2);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(recorded.size(), 2u * 96000);
    EXPECT_GE(seconds, 0.24);
}

TEST_F(LiveAudioTest, GeneratorSettingsThatDoNotParseAreReportedAndIgnored) {
    setenv("TIK_GEN_SPEED", "0", 1);
    setenv("TIK_GEN_RATE", "lots", 1);
    setenv("TIK_GEN_RISE", "500", 1);  // not below the decay time: the three times fall back
    testing::internal::CaptureStderr();
    std::vector<uint8_t> recorded = Record(MakeFormat(2, 16, 48000, 3), 96000, 1);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("TIK pulse generator: ignoring TIK_GEN_RATE=lots"), std::string::npos) << errors;
    EXPECT_NE(errors.find("rise, decay and coupling times must increase"), std::string::npos) << errors;

    PulseGeneratorParameters parameters;
    parameters.speed = 0;
    PulseGenerator generator;
    ASSERT_TRUE(InitPulseGenerator(generator, parameters, 48000));
    std::vector<uint8_t> expected(96000);
    GeneratePulseFrames(generator, MakeFormat(2, 16, 48000, 3), expected.data(), 24000);
    EXPECT_EQ(recorded, expected);
}
