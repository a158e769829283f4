// Pulse generator: determinism, PCM byte layout of every format, rate, coincidences and photopeak,
// the AC-coupled pulse shape, its settings and the WAV writer.
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
    WaveFormat f{};
    f.formatTag = 1;
    f.channels = channels;
    f.samplesPerSecond = rate;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.averageBytesPerSecond = rate * f.blockAlign;
    f.bitsPerSample = bits;
    f.validBitsPerSample = bits;
    f.channelMask = mask;
    return f;
}

std::vector<uint8_t> Generate(const PulseGeneratorParameters& p, const WaveFormat& f, uint32_t frames) {
    PulseGenerator g;
    EXPECT_TRUE(InitPulseGenerator(g, p, f.samplesPerSecond));
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * f.blockAlign);
    EXPECT_EQ(GeneratePulseFrames(g, f, bytes.data(), frames), bytes.size());
    return bytes;
}

// Sample `slot` of every frame as a signed integer (little-endian, sign-extended).
std::vector<int64_t> Samples(const std::vector<uint8_t>& bytes, const WaveFormat& f, int slot) {
    int width = f.bitsPerSample / 8;
    std::vector<int64_t> out;
    for (size_t at = static_cast<size_t>(slot) * width; at + width <= bytes.size(); at += f.blockAlign) {
        uint32_t raw = 0;
        for (int i = 0; i < width; i++) raw |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
        int shift = 32 - 8 * width;
        out.push_back(static_cast<int32_t>(raw << shift) >> shift);
    }
    return out;
}

// One channel of 32-bit data in fractions of full scale.
std::vector<double> Values(const std::vector<uint8_t>& bytes, const WaveFormat& f, int slot) {
    std::vector<double> out;
    for (int64_t s : Samples(bytes, f, slot)) out.push_back(static_cast<double>(s) / 2147483648.0);
    return out;
}

struct Pulse {
    size_t start;
    double height;
};

// Pulses found by a plain threshold: start where the signal rises through `threshold`, end when it
// falls below half of it; the height is the largest sample in between.
std::vector<Pulse> FindPulses(const std::vector<double>& v, double threshold) {
    std::vector<Pulse> pulses;
    bool open = false;
    for (size_t i = 0; i < v.size(); i++) {
        if (!open && v[i] >= threshold) {
            pulses.push_back({i, v[i]});
            open = true;
        } else if (open) {
            if (v[i] < threshold / 2)
                open = false;
            else
                pulses.back().height = std::max(pulses.back().height, v[i]);
        }
    }
    return pulses;
}

// Short pulses with little noise, so that threshold counting sees almost every pulse.
PulseGeneratorParameters Sharp() {
    PulseGeneratorParameters p;
    p.riseMicroseconds = 2;
    p.decayMicroseconds = 10;
    p.couplingMicroseconds = 100;
    p.noise = 0.01;
    return p;
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
    for (uint32_t done = 0, step = 1; done < frames; step = step * 3 + 1) {
        uint32_t n = std::min(step, frames - done);
        GeneratePulseFrames(g, f, pieces.data() + static_cast<size_t>(done) * f.blockAlign, n);
        done += n;
    }
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
        std::vector<int64_t> exact = Samples(wide, reference, slot);
        for (uint16_t bits : {16, 24, 32}) {
            SCOPED_TRACE(bits);
            WaveFormat stereo = Format(2, bits, 96000);
            std::vector<int64_t> narrow = Samples(Generate(p, stereo, frames), stereo, slot);
            ASSERT_EQ(narrow.size(), frames);
            int64_t unit = int64_t{1} << (32 - bits);
            for (size_t i = 0; i < frames; i++)  // the same value rounded to the shorter word
                ASSERT_LE(std::llabs(narrow[i] * unit - exact[i]), unit) << i;
            // One channel: the right one for the mask "front right", otherwise the left.
            WaveFormat mono = Format(1, bits, 96000, slot == 1 ? 2u : 1u);
            EXPECT_EQ(Samples(Generate(p, mono, frames), mono, 0), narrow);
        }
    }
    WaveFormat extensible = Format(2, 16, 96000);
    extensible.formatTag = 0xFFFE;
    EXPECT_EQ(Generate(p, extensible, 1000), Generate(p, Format(2, 16, 96000), 1000));

    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
    std::vector<uint8_t> bytes(64, 0xAB);
    WaveFormat eightBit = Format(2, 8, 48000), threeChannels = Format(3, 16, 48000);
    WaveFormat floating = Format(2, 32, 48000), misaligned = Format(2, 16, 48000);
    floating.formatTag = 3;
    misaligned.blockAlign = 6;
    for (const WaveFormat& bad : {eightBit, threeChannels, floating, misaligned}) {
        EXPECT_FALSE(PulseGeneratorFormatUsable(bad));
        EXPECT_EQ(GeneratePulseFrames(g, bad, bytes.data(), 4), 0u);
    }
    EXPECT_EQ(GeneratePulseFrames(g, Format(2, 16, 48000), nullptr, 4), 0u);
    // More frames than a 32-bit byte count can hold.
    EXPECT_EQ(GeneratePulseFrames(g, Format(2, 32, 48000), bytes.data(), 0x20000000u), 0u);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xAB; }));
}

// One statistical look at ten seconds: the configured rate, the coincident share seen in both
// channels at the same frame, and the photopeak at 662 keV.
TEST(PulseGenerator, RateCoincidencesAndPhotopeakFollowTheSettings) {
    PulseGeneratorParameters p = Sharp();
    p.pulseRate = 300;
    p.coincidence = 0.5;
    WaveFormat f = Format(2, 32, 48000);
    const uint32_t frames = 10 * 48000;
    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * f.blockAlign);
    GeneratePulseFrames(g, f, bytes.data(), frames);

    double expected = p.pulseRate * 10.0;
    EXPECT_NEAR(static_cast<double>(g.pulseCount[0]), expected, 5 * std::sqrt(expected));
    double pulses = static_cast<double>(g.pulseCount[0]);
    EXPECT_NEAR(g.pairCount / pulses, 0.5, 5 * std::sqrt(0.25 / pulses));

    std::vector<Pulse> left = FindPulses(Values(bytes, f, 0), 0.005);
    std::vector<Pulse> right = FindPulses(Values(bytes, f, 1), 0.005);
    EXPECT_GT(static_cast<double>(left.size()), 0.93 * pulses);
    size_t together = 0, r = 0;
    for (const Pulse& l : left) {
        while (r < right.size() && right[r].start + 1 < l.start) r++;
        if (r < right.size() && right[r].start <= l.start + 1) together++;
    }
    EXPECT_NEAR(static_cast<double>(together) / static_cast<double>(left.size()), 0.5, 0.06);


    // Heights need the default (slower) pulse shape: a fast pulse's peak falls between samples.
    PulseGeneratorParameters shaped;
    shaped.pulseRate = 100;
    shaped.noise = 0.01;
    WaveFormat mono = Format(1, 32, 96000, 1);
    std::vector<Pulse> heights = FindPulses(Values(Generate(shaped, mono, 10 * 96000), mono, 0), 0.005);
    double peak = GENERATOR_PHOTOPEAK_KEV / shaped.fullScaleKeV;
    double sigma = shaped.resolution * 0.01 * GENERATOR_PHOTOPEAK_KEV / 2.3548 / shaped.fullScaleKeV;
    double sum = 0, n = 0;
    for (const Pulse& q : heights) {
        if (std::fabs(q.height - peak) < 3 * sigma) {
            sum += q.height;
            n += 1;
        }
    }
    EXPECT_NEAR(n / static_cast<double>(heights.size()), GENERATOR_PHOTOPEAK_SHARE, 0.06);
    EXPECT_NEAR(sum / n, peak, 0.01 * peak);
}

TEST(PulseGenerator, APulseRisesDecaysAndUndershootsWithZeroArea) {
    PulseGeneratorParameters p;
    p.pulseRate = 2;
    p.noise = 0;
    p.coincidence = 0;
    WaveFormat f = Format(1, 32, 48000, 1);
    std::vector<double> v = Values(Generate(p, f, 5 * 48000), f, 0);
    std::vector<Pulse> pulses = FindPulses(v, 0.002);
    // A pulse well clear of its neighbours (20 ms either side) and clearly above the noise-free zero.
    const size_t clear = 48000 / 50;
    size_t k = 0;
    while (k < pulses.size() &&
           (pulses[k].height < 0.05 || (k > 0 && pulses[k].start - pulses[k - 1].start < clear) ||
            (k + 1 < pulses.size() && pulses[k + 1].start - pulses[k].start < clear) || pulses[k].start < 3 ||
            pulses[k].start + clear > v.size()))
        k++;
    ASSERT_LT(k, pulses.size());
    size_t start = pulses[k].start, top = start;
    while (v[top + 1] > v[top]) top++;
    EXPECT_LE(top - start, 4u);  // peak within a few samples (rise 30 us)
    double low = 0, area = 0, positive = 0;
    for (size_t i = start - 3; i < start + clear; i++) {
        low = std::min(low, v[i]);
        area += v[i];
        if (v[i] > 0) positive += v[i];
    }
    EXPECT_NEAR(low / v[top], -0.119, 0.01);      // undershoot of the 1 ms AC coupling after 150 us decay
    EXPECT_LT(std::fabs(area), 0.01 * positive);  // AC coupling: no net area

    p.polarity = -1;  // negative polarity mirrors the signal
    std::vector<double> mirrored = Values(Generate(p, f, 5 * 48000), f, 0);
    for (size_t i = 0; i < v.size(); i += 97) ASSERT_NEAR(mirrored[i], -v[i], 1e-9) << i;
}

TEST(PulseGenerator, SettingsComeFromTextAndOutOfRangeTextIsRefused) {
    struct Case {
        const char* name;
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        PulseGeneratorParameters before = p;
        EXPECT_EQ(SetPulseGeneratorParameter(p, c.name, c.text), c.accepted) << (c.text ? c.text : "null");
        if (!c.accepted) {
            EXPECT_TRUE(p.pulseRate == before.pulseRate && p.coincidence == before.coincidence &&
                        p.seed == before.seed && p.polarity == before.polarity && p.noise == before.noise);
        }
    }
    EXPECT_EQ(p.pulseRate, 250);
    EXPECT_EQ(p.coincidence, 0.75);
    EXPECT_EQ(p.seed, std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(p.polarity, -1);
    EXPECT_EQ(p.noise, 0.1);

    PulseGenerator g;
    EXPECT_FALSE(InitPulseGenerator(g, PulseGeneratorParameters{}, 0));
    EXPECT_FALSE(InitPulseGenerator(g, PulseGeneratorParameters{}, 384001));
    PulseGeneratorParameters slowRise, tightCoupling;
    slowRise.riseMicroseconds = slowRise.decayMicroseconds;
    tightCoupling.couplingMicroseconds = tightCoupling.decayMicroseconds * 1.01;
    EXPECT_FALSE(InitPulseGenerator(g, slowRise, 48000));
    EXPECT_FALSE(InitPulseGenerator(g, tightCoupling, 48000));
    EXPECT_TRUE(InitPulseGenerator(g, PulseGeneratorParameters{}, 384000));
}

TEST_F(TikTest, PulseGeneratorWavFileHoldsTheGeneratorSignalOrNothing) {
    PulseGeneratorParameters p;
    p.seed = 9;
    WaveFormat f = Format(2, 24, 48000);
    std::string path = TempPath("demo.wav");
    ASSERT_TRUE(WritePulseGeneratorWav(path.c_str(), p, f, 0.25));
    std::vector<unsigned char> file = ReadFileBytes(path);
    const uint32_t frames = 12000;
    ASSERT_EQ(file.size(), 44u + frames * 6);
    auto word = [&file](size_t at) { return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24; };
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    EXPECT_EQ(word(4), 36u + frames * 6);
    EXPECT_EQ(word(20), 1u | 2u << 16);           // PCM, two channels
    EXPECT_EQ(word(24), 48000u);
    EXPECT_EQ(word(28), 288000u);
    EXPECT_EQ(word(32), 6u | 24u << 16);          // block align, bits
    EXPECT_EQ(word(40), frames * 6);
    std::vector<uint8_t> expected = Generate(p, f, frames);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 44));

    std::string bad = TempPath("bad.wav");
    for (double seconds : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e6})
        EXPECT_FALSE(WritePulseGeneratorWav(bad.c_str(), p, f, seconds)) << seconds;
    EXPECT_FALSE(WritePulseGeneratorWav(bad.c_str(), p, Format(2, 8, 48000), 1.0));
    EXPECT_FALSE(WritePulseGeneratorWav(nullptr, p, f, 1.0));
    EXPECT_FALSE(std::filesystem::exists(bad));
    EXPECT_FALSE(WritePulseGeneratorWav(TempPath("missing/folder.wav").c_str(), p, f, 1.0));
}
