// Pulse generator: determinism, PCM byte layout of every format, Poisson rates, coincidences, the
// height spectrum's lines, the AC-coupled pulse shape, its settings and the WAV writer.
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

bool Same(const PulseGeneratorParameters& a, const PulseGeneratorParameters& b) {
    return a.pulseRate == b.pulseRate && a.coincidence == b.coincidence && a.seed == b.seed &&
           a.speed == b.speed && a.fullScaleKeV == b.fullScaleKeV && a.resolution == b.resolution &&
           a.noise == b.noise && a.riseMicroseconds == b.riseMicroseconds &&
           a.decayMicroseconds == b.decayMicroseconds && a.couplingMicroseconds == b.couplingMicroseconds &&
           a.polarity == b.polarity;
}

double Fraction(const std::vector<Pulse>& pulses, double low, double high) {
    size_t n = 0;
    for (const Pulse& p : pulses)
        if (p.height >= low && p.height < high) n++;
    return static_cast<double>(n) / static_cast<double>(pulses.size());
}
}  // namespace

TEST(PulseGenerator, SameSeedGivesTheSameBytesWhateverTheBlockSizes) {
    PulseGeneratorParameters p;
    p.pulseRate = 2000;
    WaveFormat f = Format(2, 24, 48000);
    const uint32_t frames = 60000;
    std::vector<uint8_t> whole = Generate(p, f, frames);

    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
    std::vector<uint8_t> pieces(whole.size());
    uint32_t done = 0, step = 1;
    while (done < frames) {
        uint32_t n = std::min(step, frames - done);
        GeneratePulseFrames(g, f, pieces.data() + static_cast<size_t>(done) * f.blockAlign, n);
        done += n;
        step = step * 3 + 1;
    }
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(g.frame, frames);

    p.seed = 2;
    EXPECT_NE(Generate(p, f, frames), whole);
    // The pulse train does not depend on the noise: only the noise stream changes.
    PulseGeneratorParameters quiet = p, loud = p;
    quiet.noise = 0.0;
    loud.noise = 1.0;
    PulseGenerator a, b;
    ASSERT_TRUE(InitPulseGenerator(a, quiet, 48000));
    ASSERT_TRUE(InitPulseGenerator(b, loud, 48000));
    GeneratePulseFrames(a, f, pieces.data(), frames);
    GeneratePulseFrames(b, f, pieces.data(), frames);
    EXPECT_EQ(a.pulseCount[0], b.pulseCount[0]);
    EXPECT_EQ(a.pairCount, b.pairCount);
}

TEST(PulseGenerator, EveryFormatHasTheSameSignalInItsOwnByteLayout) {
    PulseGeneratorParameters p;
    p.pulseRate = 3000;
    p.noise = 0.5;
    const uint32_t frames = 20000;
    const uint32_t rates[8] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
    for (uint32_t rate : rates) {
        SCOPED_TRACE(rate);
        WaveFormat reference = Format(2, 32, rate);
        std::vector<uint8_t> wide = Generate(p, reference, frames);
        for (int slot : {0, 1}) {
            std::vector<int64_t> exact = Samples(wide, reference, slot);
            for (uint16_t bits : {16, 24, 32}) {
                SCOPED_TRACE(bits);
                WaveFormat stereo = Format(2, bits, rate);
                std::vector<uint8_t> bytes = Generate(p, stereo, frames);
                ASSERT_EQ(bytes.size(), static_cast<size_t>(frames) * 2 * bits / 8);
                std::vector<int64_t> narrow = Samples(bytes, stereo, slot);
                int64_t unit = int64_t{1} << (32 - bits);
                int64_t worst = 0;
                for (size_t i = 0; i < frames; i++)
                    worst = std::max<int64_t>(worst, std::llabs(narrow[i] * unit - exact[i]));
                EXPECT_LE(worst,
                          unit);  // the same value rounded to the shorter word (or clipped one step lower)

                // One channel: the right one for the mask "front right", otherwise the left.
                WaveFormat mono = Format(1, bits, rate, slot == 1 ? 2u : 1u);
                EXPECT_EQ(Samples(Generate(p, mono, frames), mono, 0), narrow);
            }
        }
    }
    WaveFormat unmasked = Format(1, 16, 48000, 0);
    WaveFormat extensible = Format(2, 16, 48000);
    extensible.formatTag = 0xFFFE;
    std::vector<uint8_t> stereo = Generate(p, Format(2, 16, 48000), 1000);
    EXPECT_EQ(Samples(Generate(p, unmasked, 1000), unmasked, 0), Samples(stereo, Format(2, 16, 48000), 0));
    EXPECT_EQ(Generate(p, extensible, 1000), stereo);
}

TEST(PulseGenerator, UnusableFormatsWriteNothing) {
    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, PulseGeneratorParameters{}, 48000));
    std::vector<uint8_t> bytes(64, 0xAB);
    WaveFormat eightBit = Format(2, 8, 48000);
    WaveFormat threeChannels = Format(3, 16, 48000);
    WaveFormat floating = Format(2, 32, 48000);
    floating.formatTag = 3;
    WaveFormat misaligned = Format(2, 16, 48000);
    misaligned.blockAlign = 6;
    for (const WaveFormat& f : {eightBit, threeChannels, floating, misaligned}) {
        EXPECT_FALSE(PulseGeneratorFormatUsable(f));
        EXPECT_EQ(GeneratePulseFrames(g, f, bytes.data(), 4), 0u);
    }
    EXPECT_EQ(GeneratePulseFrames(g, Format(2, 16, 48000), nullptr, 4), 0u);
    // More frames than a 32-bit byte count can hold.
    EXPECT_EQ(GeneratePulseFrames(g, Format(2, 32, 48000), bytes.data(), 0x20000000u), 0u);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xAB; }));
    EXPECT_EQ(g.frame, 0u);
}

TEST(PulseGenerator, ArrivalsArePoissonAtTheConfiguredRate) {
    PulseGeneratorParameters p = Sharp();
    p.pulseRate = 400;
    p.coincidence = 0.0;
    p.seed = 11;
    const double seconds = 50;
    WaveFormat f = Format(2, 32, 48000);
    PulseGenerator g;
    ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
    std::vector<uint8_t> bytes(static_cast<size_t>(seconds * 48000) * f.blockAlign);
    GeneratePulseFrames(g, f, bytes.data(), static_cast<uint32_t>(seconds * 48000));

    double expected = p.pulseRate * seconds;  // 20000, standard deviation about 141
    for (int c = 0; c < 2; c++) {
        EXPECT_NEAR(static_cast<double>(g.pulseCount[c]), expected, 4 * std::sqrt(expected));
        // Nearly every pulse is in the signal: a few are lost to pile-up or lie under the threshold.
        std::vector<Pulse> pulses = FindPulses(Values(bytes, f, c), 0.005);
        EXPECT_GT(static_cast<double>(pulses.size()), 0.93 * static_cast<double>(g.pulseCount[c]));
        EXPECT_LE(pulses.size(), g.pulseCount[c]);

        // Exponential intervals (what the threshold misses thins the process, which stays Poisson):
        // e^-1 of them are longer than their mean, e^-2 longer than twice the mean, and their spread
        // equals their mean.
        std::vector<double> intervals;
        for (size_t i = 1; i < pulses.size(); i++)
            intervals.push_back(static_cast<double>(pulses[i].start - pulses[i - 1].start));
        double n = static_cast<double>(intervals.size()), mean = 0, squares = 0;
        for (double interval : intervals) mean += interval / n;
        size_t longer = 0, twice = 0;
        for (double interval : intervals) {
            if (interval > mean) longer++;
            if (interval > 2 * mean) twice++;
            squares += (interval - mean) * (interval - mean) / n;
        }
        EXPECT_NEAR(longer / n, std::exp(-1.0), 0.015);
        EXPECT_NEAR(twice / n, std::exp(-2.0), 0.01);
        EXPECT_NEAR(std::sqrt(squares) / mean, 1.0, 0.04);
    }
    EXPECT_EQ(g.pairCount, 0u);
}

TEST(PulseGenerator, CoincidentPairsStartTogetherInBothChannels) {
    WaveFormat f = Format(2, 32, 48000);
    for (double fraction : {0.0, 0.3, 1.0}) {
        SCOPED_TRACE(fraction);
        PulseGeneratorParameters p = Sharp();
        p.pulseRate = 400;
        p.coincidence = fraction;
        PulseGenerator g;
        ASSERT_TRUE(InitPulseGenerator(g, p, 48000));
        const uint32_t frames = 10 * 48000;
        std::vector<uint8_t> bytes(static_cast<size_t>(frames) * f.blockAlign);
        GeneratePulseFrames(g, f, bytes.data(), frames);
        double pulses = static_cast<double>(g.pulseCount[0]);
        EXPECT_NEAR(g.pairCount / pulses, fraction, 4 * std::sqrt(fraction * (1 - fraction) / pulses) + 1e-9);
        if (fraction == 1.0) {
            EXPECT_EQ(g.pulseCount[0], g.pulseCount[1]);
        }

        std::vector<Pulse> left = FindPulses(Values(bytes, f, 0), 0.005);
        std::vector<Pulse> right = FindPulses(Values(bytes, f, 1), 0.005);
        size_t together = 0, r = 0;
        for (const Pulse& l : left) {
            while (r < right.size() && right[r].start + 1 < l.start) r++;
            if (r < right.size() && right[r].start <= l.start + 1) together++;
        }
        // About 3 % of the partners are too small for the threshold or lost in pile-up; accidental
        // neighbours within a frame add about 400 x 3 / 48000 = 2.5 % of the rest.
        double seen = static_cast<double>(together) / static_cast<double>(left.size());
        EXPECT_NEAR(seen, 0.97 * fraction + 0.025 * (1 - fraction), 0.03);
    }
}

TEST(PulseGenerator, HeightsFollowTheCaesiumLikeSpectrum) {
    PulseGeneratorParameters p;
    p.pulseRate = 50;
    p.noise = 0.01;
    p.seed = 3;
    WaveFormat f = Format(1, 32, 96000, 1);
    const uint32_t frames = 40 * 96000;  // 2000 pulses
    std::vector<Pulse> pulses = FindPulses(Values(Generate(p, f, frames), f, 0), 0.005);
    ASSERT_GT(pulses.size(), 1800u);

    double fullScale = p.fullScaleKeV;
    double peak = GENERATOR_PHOTOPEAK_KEV / fullScale;
    double sigma = p.resolution * 0.01 * GENERATOR_PHOTOPEAK_KEV / 2.3548 / fullScale;
    // The photopeak: its share of the pulses, centred on 662 keV with the resolution's width.
    std::vector<double> inPeak;
    for (const Pulse& q : pulses)
        if (std::fabs(q.height - peak) < 3 * sigma) inPeak.push_back(q.height);
    double share = static_cast<double>(inPeak.size()) / static_cast<double>(pulses.size());
    EXPECT_NEAR(share, GENERATOR_PHOTOPEAK_SHARE, 0.04);
    double mean = 0, spread = 0;
    for (double h : inPeak) mean += h / static_cast<double>(inPeak.size());
    for (double h : inPeak) spread += (h - mean) * (h - mean) / static_cast<double>(inPeak.size());
    EXPECT_NEAR(mean, peak, 0.01 * peak);
    EXPECT_NEAR(std::sqrt(spread), sigma, 0.25 * sigma);

    // The X-ray line near 32 keV, on the low end of the Compton continuum.
    double xray = GENERATOR_XRAY_KEV / fullScale;
    EXPECT_NEAR(Fraction(pulses, xray * 0.6, xray * 1.4), GENERATOR_XRAY_SHARE + 0.02, 0.04);
    // The continuum ends at the Compton edge: well filled below it, a valley above it.
    double edge = GENERATOR_COMPTON_EDGE_KEV / fullScale;
    EXPECT_GT(Fraction(pulses, 0.8 * edge, 0.98 * edge),
              4 * Fraction(pulses, 540 / fullScale, 600 / fullScale));
    // Nothing far above the photopeak except pile-up.
    EXPECT_LT(Fraction(pulses, peak + 5 * sigma, 10.0), 0.01);
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
    size_t start = pulses[k].start;

    size_t top = start;
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

    // Negative polarity mirrors the signal.
    p.polarity = -1;
    std::vector<double> mirrored = Values(Generate(p, f, 5 * 48000), f, 0);
    for (size_t i = 0; i < v.size(); i += 97) ASSERT_NEAR(mirrored[i], -v[i], 1e-9) << i;
}

TEST(PulseGenerator, SettingsComeFromTextAndOutOfRangeTextIsRefused) {
    PulseGeneratorParameters p;
    EXPECT_TRUE(SetPulseGeneratorParameter(p, "TIK_GEN_RATE", "250"));
    EXPECT_EQ(p.pulseRate, 250);
    EXPECT_TRUE(SetPulseGeneratorParameter(p, "TIK_GEN_COINCIDENCE", "0.75"));
    EXPECT_EQ(p.coincidence, 0.75);
    EXPECT_TRUE(SetPulseGeneratorParameter(p, "TIK_GEN_SEED", "18446744073709551615"));
    EXPECT_EQ(p.seed, std::numeric_limits<uint64_t>::max());
    EXPECT_TRUE(SetPulseGeneratorParameter(p, "TIK_GEN_SPEED", "0"));
    EXPECT_EQ(p.speed, 0);
    EXPECT_TRUE(SetPulseGeneratorParameter(p, "TIK_GEN_POLARITY", "-1"));
    EXPECT_EQ(p.polarity, -1);
    EXPECT_TRUE(SetPulseGeneratorParameter(p, "TIK_GEN_NOISE", "1e-1"));
    EXPECT_EQ(p.noise, 0.1);

    PulseGeneratorParameters before = p;
    for (const char* bad : {"", "abc", "12x", " 5", "-5", "1e9", "nan", "inf"})
        EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_RATE", bad)) << bad;
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_RATE", nullptr));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_COINCIDENCE", "1.5"));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_SEED", "-1"));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_SEED", "18446744073709551616"));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_POLARITY", "0"));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_POLARITY", "0.5"));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, "TIK_GEN_VOLUME", "3"));
    EXPECT_FALSE(SetPulseGeneratorParameter(p, nullptr, "3"));
    EXPECT_TRUE(Same(p, before));

    PulseGenerator g;
    EXPECT_FALSE(InitPulseGenerator(g, PulseGeneratorParameters{}, 0));
    EXPECT_FALSE(InitPulseGenerator(g, PulseGeneratorParameters{}, 384001));
    PulseGeneratorParameters slowRise;
    slowRise.riseMicroseconds = slowRise.decayMicroseconds;
    EXPECT_FALSE(PulseGeneratorTimesValid(slowRise));
    EXPECT_FALSE(InitPulseGenerator(g, slowRise, 48000));
    PulseGeneratorParameters tightCoupling;
    tightCoupling.couplingMicroseconds = tightCoupling.decayMicroseconds * 1.01;
    EXPECT_FALSE(InitPulseGenerator(g, tightCoupling, 48000));
    PulseGeneratorParameters wild;
    wild.pulseRate = -1;
    EXPECT_FALSE(InitPulseGenerator(g, wild, 48000));
    EXPECT_TRUE(InitPulseGenerator(g, PulseGeneratorParameters{}, 384000));
}

TEST_F(TikTest, PulseGeneratorWavFileHoldsTheGeneratorSignal) {
    PulseGeneratorParameters p;
    p.seed = 9;
    WaveFormat f = Format(2, 24, 48000);
    std::string path = TempPath("demo.wav");
    ASSERT_TRUE(WritePulseGeneratorWav(path.c_str(), p, f, 0.25));
    std::vector<unsigned char> file = ReadFileBytes(path);
    const uint32_t frames = 12000;
    ASSERT_EQ(file.size(), 44u + frames * 6);
    auto word = [&file](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; i++) v |= static_cast<uint32_t>(file[at + i]) << (8 * i);
        return v;
    };
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(word(4, 4), 36u + frames * 6);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(word(16, 4), 16u);
    EXPECT_EQ(word(20, 2), 1u);
    EXPECT_EQ(word(22, 2), 2u);
    EXPECT_EQ(word(24, 4), 48000u);
    EXPECT_EQ(word(28, 4), 288000u);
    EXPECT_EQ(word(32, 2), 6u);
    EXPECT_EQ(word(34, 2), 24u);
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    EXPECT_EQ(word(40, 4), frames * 6);
    std::vector<uint8_t> expected = Generate(p, f, frames);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 44));

    std::string mono = TempPath("right.wav");
    ASSERT_TRUE(WritePulseGeneratorWav(mono.c_str(), p, Format(1, 16, 44100, 2), 1.0));
    EXPECT_EQ(ReadFileBytes(mono).size(), 44u + 44100 * 2);
}

TEST_F(TikTest, PulseGeneratorWavRefusesBadRequestsAndLeavesNoFile) {
    PulseGeneratorParameters p;
    WaveFormat f = Format(2, 16, 48000);
    std::string path = TempPath("bad.wav");
    for (double seconds : {0.0, -1.0, 1e-6, std::nan(""), std::numeric_limits<double>::infinity(), 1e6})
        EXPECT_FALSE(WritePulseGeneratorWav(path.c_str(), p, f, seconds)) << seconds;
    EXPECT_FALSE(WritePulseGeneratorWav(path.c_str(), p, Format(2, 8, 48000), 1.0));
    EXPECT_FALSE(WritePulseGeneratorWav(nullptr, p, f, 1.0));
    EXPECT_FALSE(WritePulseGeneratorWav("", p, f, 1.0));
    PulseGeneratorParameters wild;
    wild.noise = 50;
    EXPECT_FALSE(WritePulseGeneratorWav(path.c_str(), wild, f, 1.0));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(WritePulseGeneratorWav(TempPath("missing/folder.wav").c_str(), p, f, 1.0));
}
