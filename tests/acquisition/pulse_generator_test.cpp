// Pulse generator: determinism, the byte layout of every format, rate and coincidences, the AC-coupled
// pulse shape, the settings from text and the WAV writer.
#include "acquisition/pulse_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>

#include "tests/support/test_support.h"

namespace {
WaveFormat Format(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t mask = 3) {
    auto align = static_cast<uint16_t>(channels * bits / 8);
    return WaveFormat{1, channels, rate, rate * align, align, bits, 0, bits, mask, {}};
}

std::vector<uint8_t> Generate(const PulseGeneratorParameters& p, const WaveFormat& f, uint32_t frames,
                              PulseGenerator* generator = nullptr) {
    PulseGenerator own;
    PulseGenerator& g = generator ? *generator : own;
    EXPECT_TRUE(InitPulseGenerator(g, p, f.samplesPerSecond));
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * f.blockAlign);
    EXPECT_EQ(GeneratePulseFrames(g, f, bytes.data(), frames), bytes.size());
    return bytes;
}

// Sample `slot` of every frame, sign-extended, in units of 2^-31 of full scale (exact for every width).
std::vector<double> Values(const std::vector<uint8_t>& bytes, const WaveFormat& f, int slot) {
    int width = f.bitsPerSample / 8;
    std::vector<double> out;
    for (size_t at = static_cast<size_t>(slot) * width; at + width <= bytes.size(); at += f.blockAlign) {
        uint32_t raw = 0;
        for (int i = 0; i < width; i++) raw |= static_cast<uint32_t>(bytes[at + i]) << (8 * (4 - width + i));
        out.push_back(static_cast<int32_t>(raw) / 2147483648.0);
    }
    return out;
}

struct Found {
    size_t start;
    double height;
};

// Pulses found by a plain threshold: from a rise through `threshold` until the signal falls below half
// of it; the height is the largest sample in between.
std::vector<Found> FindPulses(const std::vector<double>& v, double threshold) {
    std::vector<Found> pulses;
    bool open = false;
    for (size_t i = 0; i < v.size(); i++) {
        if (!open && v[i] >= threshold) pulses.push_back({i, v[i]});
        open = open ? v[i] >= threshold / 2 : v[i] >= threshold;
        if (open) pulses.back().height = std::max(pulses.back().height, v[i]);
    }
    return pulses;
}
}  // namespace

TEST(PulseGenerator, SameSeedGivesTheSameBytesWhateverTheBlockSizes) {
    PulseGeneratorParameters p;
    p.pulseRate = 2000;
    WaveFormat f = Format(2, 24, 48000);
    const uint32_t frames = 30000;
    std::vector<uint8_t> whole = Generate(p, f, frames);
    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
    std::vector<uint8_t> pieces(whole.size());
    for (uint32_t done = 0, step = 1; done < frames; done += std::min(step, frames - done), step = step * 3 + 1)
        GeneratePulseFrames(g, f, pieces.data() + static_cast<size_t>(done) * f.blockAlign, std::min(step, frames - done));
    EXPECT_EQ(pieces, whole);
    p.seed = 2;
    EXPECT_NE(Generate(p, f, frames), whole);
}

TEST(PulseGenerator, EveryFormatHasTheSameSignalInItsOwnByteLayout) {
    PulseGeneratorParameters p;
    p.pulseRate = 3000;
    p.noise = 0.5;
    const uint32_t frames = 5000;
    WaveFormat reference = Format(2, 32, 96000);
    std::vector<uint8_t> wide = Generate(p, reference, frames);
    for (int slot : {0, 1}) {
        std::vector<double> exact = Values(wide, reference, slot);
        for (uint16_t bits : {16, 24}) {
            SCOPED_TRACE(bits);
            WaveFormat stereo = Format(2, bits, 96000);
            std::vector<double> narrow = Values(Generate(p, stereo, frames), stereo, slot);
            ASSERT_EQ(narrow.size(), frames);
            for (size_t i = 0; i < frames; i++) ASSERT_LE(std::fabs(narrow[i] - exact[i]), std::ldexp(1.0, 1 - bits)) << i;
            // One channel: the right one for the mask "front right", otherwise the left.
            WaveFormat mono = Format(1, bits, 96000, slot == 1 ? 2u : 1u);
            EXPECT_EQ(Values(Generate(p, mono, frames), mono, 0), narrow);
        }
    }
    WaveFormat extensible = Format(2, 16, 96000);
    extensible.formatTag = 0xFFFE;
    EXPECT_EQ(Generate(p, extensible, 1000), Generate(p, Format(2, 16, 96000), 1000));

    // Unusable formats, no buffer or more bytes than 32 bits count write nothing.
    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
    std::vector<uint8_t> bytes(64, 0xAB);
    WaveFormat floating = Format(2, 32, 48000), misaligned = Format(2, 16, 48000);
    floating.formatTag = 3;
    misaligned.blockAlign = 6;
    for (const WaveFormat& bad : {Format(2, 8, 48000), Format(3, 16, 48000), floating, misaligned}) {
        EXPECT_FALSE(PulseGeneratorFormatUsable(bad));
        EXPECT_EQ(GeneratePulseFrames(g, bad, bytes.data(), 4), 0u);
    }
    EXPECT_EQ(GeneratePulseFrames(g, Format(2, 16, 48000), nullptr, 4), 0u);
    EXPECT_EQ(GeneratePulseFrames(g, Format(2, 32, 48000), bytes.data(), 0x20000000u), 0u);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xAB; }));
}

// One statistical look at ten seconds: the configured rate and the coincident share seen in both
// channels at the same frame (the demo recording's tests look at the height spectrum).
TEST(PulseGenerator, RateAndCoincidencesFollowTheSettings) {
    PulseGeneratorParameters p;  // short pulses with little noise: threshold counting sees almost all
    p.riseMicroseconds = 2;
    p.decayMicroseconds = 10;
    p.couplingMicroseconds = 100;
    p.noise = 0.01;
    p.pulseRate = 300;
    p.coincidence = 0.5;
    WaveFormat f = Format(2, 32, 48000);
    PulseGenerator g;
    std::vector<uint8_t> bytes = Generate(p, f, 10 * 48000, &g);
    double pulses = static_cast<double>(g.pulseCount[0]);
    EXPECT_NEAR(pulses, 3000.0, 5 * std::sqrt(3000.0));
    std::vector<Found> left = FindPulses(Values(bytes, f, 0), 0.005);
    std::vector<Found> right = FindPulses(Values(bytes, f, 1), 0.005);
    EXPECT_GT(static_cast<double>(left.size()), 0.93 * pulses);
    size_t together = 0, r = 0;
    for (const Found& l : left) {
        while (r < right.size() && right[r].start + 1 < l.start) r++;
        if (r < right.size() && right[r].start <= l.start + 1) together++;
    }
    EXPECT_NEAR(static_cast<double>(together) / static_cast<double>(left.size()), 0.5, 0.06);
}

TEST(PulseGenerator, APulseRisesDecaysAndUndershootsWithZeroArea) {
    PulseGeneratorParameters p;
    p.pulseRate = 2;
    p.noise = 0;
    p.coincidence = 0;
    WaveFormat f = Format(1, 32, 48000, 1);
    std::vector<double> v = Values(Generate(p, f, 5 * 48000), f, 0);
    std::vector<Found> pulses = FindPulses(v, 0.002);
    // A pulse well clear of its neighbours (20 ms either side) and clearly above the noise-free zero.
    const size_t clear = 48000 / 50;
    size_t k = 1;
    while (k + 1 < pulses.size() && (pulses[k].height < 0.05 || pulses[k].start - pulses[k - 1].start < clear ||
                                     pulses[k + 1].start - pulses[k].start < clear))
        k++;
    ASSERT_LT(k + 1, pulses.size());
    size_t start = pulses[k].start, top = start;
    while (v[top + 1] > v[top]) top++;
    EXPECT_LE(top - start, 4u);  // peak within a few samples (rise 30 us)
    double low = 0, area = 0, positive = 0;
    for (size_t i = start - 3; i < start + clear; i++) {
        low = std::min(low, v[i]);
        area += v[i];
        positive += std::max(v[i], 0.0);
    }
    EXPECT_NEAR(low / v[top], -0.119, 0.01);      // undershoot of the 1 ms AC coupling after 150 us decay
    EXPECT_LT(std::fabs(area), 0.01 * positive);  // AC coupling: no net area

    p.polarity = -1;  // negative polarity mirrors the signal
    std::vector<double> mirrored = Values(Generate(p, f, 5 * 48000), f, 0);
    for (size_t i = 0; i < v.size(); i += 97) ASSERT_NEAR(mirrored[i], -v[i], 1e-9) << i;
}

TEST(PulseGenerator, SettingsComeFromTextAndOutOfRangeTextIsRefused) {
    const struct {
        const char* name;
        const char* text;
        bool accepted;
    } cases[] = {
        {"TIK_GEN_RATE", "250", true},           {"TIK_GEN_COINCIDENCE", "0.75", true},
        {"TIK_GEN_SEED", "18446744073709551615", true}, {"TIK_GEN_SPEED", "0", true},
        {"TIK_GEN_POLARITY", "-1", true},        {"TIK_GEN_NOISE", "1e-1", true},
        {"TIK_GEN_RATE", "", false},             {"TIK_GEN_RATE", "12x", false},
        {"TIK_GEN_RATE", " 5", false},           {"TIK_GEN_RATE", "-5", false},
        {"TIK_GEN_RATE", "1e9", false},          {"TIK_GEN_RATE", "nan", false},
        {"TIK_GEN_RATE", nullptr, false},        {"TIK_GEN_COINCIDENCE", "1.5", false},
        {"TIK_GEN_SEED", "-1", false},           {"TIK_GEN_SEED", "18446744073709551616", false},
        {"TIK_GEN_POLARITY", "0.5", false},      {"TIK_GEN_VOLUME", "3", false},
        {nullptr, "3", false},
    };
    PulseGeneratorParameters p;
    for (const auto& c : cases) EXPECT_EQ(SetPulseGeneratorParameter(p, c.name, c.text), c.accepted) << (c.text ? c.text : "null");
    // Only the accepted texts changed anything.
    EXPECT_EQ(p.pulseRate, 250);
    EXPECT_EQ(p.coincidence, 0.75);
    EXPECT_EQ(p.seed, std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(p.polarity, -1);
    EXPECT_EQ(p.noise, 0.1);

    PulseGenerator g;
    EXPECT_FALSE(InitPulseGenerator(g, PulseGeneratorParameters{}, 0));
    EXPECT_FALSE(InitPulseGenerator(g, PulseGeneratorParameters{}, 384001));
    EXPECT_TRUE(InitPulseGenerator(g, PulseGeneratorParameters{}, 384000));
    PulseGeneratorParameters slowRise, tightCoupling;
    slowRise.riseMicroseconds = slowRise.decayMicroseconds;
    tightCoupling.couplingMicroseconds = tightCoupling.decayMicroseconds * 1.01;
    EXPECT_FALSE(InitPulseGenerator(g, slowRise, 48000));
    EXPECT_FALSE(InitPulseGenerator(g, tightCoupling, 48000));
}

TEST_F(TikTest, PulseGeneratorWavFileHoldsTheGeneratorSignalOrNothing) {
    PulseGeneratorParameters p;
    p.seed = 9;
    WaveFormat f = Format(2, 24, 48000);
    std::string path = TempPath("demo.wav");
    ASSERT_TRUE(WritePulseGeneratorWav(path.c_str(), p, f, 0.25));
    std::vector<unsigned char> file = ReadFileBytes(path);
    const uint32_t bytes = 12000 * 6;
    ASSERT_EQ(file.size(), 44u + bytes);
    auto word = [&file](size_t at) { return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24; };
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    const uint32_t words[][2] = {{4, 36 + bytes}, {16, 16},     {20, 1u | 2u << 16}, {24, 48000},
                                 {28, 288000},    {32, 6u | 24u << 16}, {40, bytes}};  // PCM, 2 channels, 24 bits
    for (const auto& w : words) EXPECT_EQ(static_cast<uint32_t>(word(w[0])), w[1]) << w[0];
    std::vector<uint8_t> expected = Generate(p, f, 12000);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 44));

    std::string bad = TempPath("bad.wav");
    for (double seconds : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e6})
        EXPECT_FALSE(WritePulseGeneratorWav(bad.c_str(), p, f, seconds)) << seconds;
    EXPECT_FALSE(WritePulseGeneratorWav(bad.c_str(), p, Format(2, 8, 48000), 1.0));
    EXPECT_FALSE(WritePulseGeneratorWav(nullptr, p, f, 1.0));
    EXPECT_FALSE(std::filesystem::exists(bad));
    EXPECT_FALSE(WritePulseGeneratorWav(TempPath("missing/folder.wav").c_str(), p, f, 1.0));
}
