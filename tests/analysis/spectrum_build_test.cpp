// The pulse-height spectrum: binning with distortion correction and the overflow bin, background
// subtraction and "Set Data As Background", sum quantity, countsOnly, and incremental builds.
#include <cmath>
#include <random>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "tests/analysis/spectrum_pulses.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
constexpr int64_t H = 2147484;  // the default height bin (0.1 arb.u) in sample units

class HeightSpectrum : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(300000);
        QuantizeSettings(true);
    }
    static double BinWidth(int c) { return static_cast<double>(workingParameters[c][FIELD_HEIGHT_BIN_SIZE]) / HEIGHT_SCALE; }
};

TEST_F(HeightSpectrum, PulsesLandInTheirHeightBin) {
    ASSERT_EQ(workingParameters[0][FIELD_HEIGHT_BIN_SIZE], H);
    AddHeights(0, 1, H * 7 + 5);
    AddHeights(0, 1, H * 7 - 1);
    runState &= ~RS_HEIGHT_CHANGED;
    BuildHeightSpectrum(false, false);
    EXPECT_TRUE(runState & RS_HEIGHT_CHANGED);
    EXPECT_EQ(heightCounts[7], 1);
    EXPECT_EQ(heightCounts[6], 1);
    EXPECT_EQ(RawHeight()[7], 1);
    EXPECT_EQ(dataLength[WND_HEIGHT], 7);
    EXPECT_EQ(entryCount[SERIES_HEIGHT], 2);
    EXPECT_EQ(DisplayHeight()[7], 1);

    // 10 % correction per unit of relative distortion: a distortion of 2^31 raises heights by 5 %.
    settings.channel[0].correction = 10;
    QuantizeSettings(false);
    AddHeights(0, 1, static_cast<uint32_t>(H * 100 + H / 2), 2147483648u);
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(heightCounts[105], 1);
    EXPECT_EQ(heightCounts[100], 0);
}

TEST_F(HeightSpectrum, HeightsBeyondTheLastBinCountInIt) {
    settings.channel[0].heightBinSize = 0.001;
    settings.channel[0].correction = 1000;
    QuantizeSettings(false);
    AddHeights(0, 1, 0xFFFFFFFFu);
    AddHeights(0, 1, 0xFFFFFFFFu, 0xFFFFFFFFu);
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(heightCounts[32767], 2);
    EXPECT_EQ(dataLength[WND_HEIGHT], 32767);
    EXPECT_EQ(RawHeight()[32767], 2);
    // The last entry is displayed but takes no part in the maxima.
    EXPECT_EQ(DisplayHeight()[32767], 2);
    EXPECT_EQ(rawMax[SERIES_HEIGHT], DISPLAY_MAX_FLOOR);
}

TEST_F(HeightSpectrum, CorrelationNearTheLastBinReadsNoKernelBeyondTheIndex) {
    // Right channel, bins small enough that every one of the 32768 bins has a kernel.
    settings.channelSelection = 3;
    settings.channel[1].heightBinSize = 0.006;
    settings.options[1].gaussianCorrelation = 1;
    QuantizeSettings(false);
    ASSERT_TRUE(SetUpCalibration(1));
    ASSERT_EQ(kernelBins[1], 32768);
    AddHeights(1, 50, 0xFFFFFFFFu);
    AddHeights(1, 20, HeightOfBin(1, 31000));
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawHeight()[32767], 50);
    EXPECT_EQ(RawCorrelation()[32767], 0.0);  // the kernel would reach beyond the spectrum
    EXPECT_GT(RawCorrelation()[31000], 0.0);
    for (int k = 0; k < 32768; ++k) ASSERT_TRUE(std::isfinite(RawCorrelation()[k])) << k;
}

TEST_F(HeightSpectrum, BackgroundIsAPerSampleRateScaledToTheAcquiredTime) {
    // 1 s with 10 counts in bin 50 ...
    AddHeights(0, 10, HeightOfBin(0, 50));
    sampleClock = 48000;
    SetDataAsBackground();
    EXPECT_DOUBLE_EQ(backgroundSpectrum[0][50], 10.0 / 48000.0);

    // ... subtracts 100 counts from bin 50 of a 10 s spectrum.
    pulseCount[0] = 0;
    AddHeights(0, 150, HeightOfBin(0, 50));
    sampleClock = 480000;
    settings.options[0].subtractBackground = 1;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawHeight()[50], 50);
    EXPECT_EQ(heightCounts[50], 150);

    // Fewer counts than the background: negative raw value, displayed as 0.
    pulseCount[0] = 60;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawHeight()[50], -40);
    EXPECT_EQ(DisplayHeight()[50], 0);

    settings.options[0].subtractBackground = 0;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawHeight()[50], 60);
}

TEST_F(HeightSpectrum, BackgroundIsTakenAndSubtractedOverTheTimeTheSpectrumCovers) {
    // 10 s with 10 counts per second in bin 50; the background is taken from the window 1 s to 3 s.
    for (int64_t second = 0; second < 10; ++second)
        for (int64_t i = 0; i < 10; ++i) AddPulse(0, second * 48000 + i * 100, 5, HeightOfBin(0, 50));
    sampleClock = 480000;
    struct Window {
        double begin, duration;
    };
    auto analyse = [](Window w) {
        settings.channel[0].beginTime = w.begin;
        settings.channel[0].durationTime = w.duration;
        QuantizeSettings(false);
    };
    analyse({1.0, 2.0});
    SetDataAsBackground();
    EXPECT_DOUBLE_EQ(backgroundSpectrum[0][50], 10.0 / 48000.0);

    // Whole acquisition, a window inside it, one reaching beyond its end: the same rate everywhere.
    settings.options[0].subtractBackground = 1;
    for (Window w : {Window{0.0, 86400.0}, Window{4.0, 3.0}, Window{8.0, 5.0}}) {
        analyse(w);
        BuildHeightSpectrum(false, false);
        EXPECT_GT(heightCounts[50], 0.0) << w.begin;
        EXPECT_EQ(RawHeight()[50], 0) << w.begin;
    }
}

TEST_F(HeightSpectrum, BackgroundOfEachChannelUsesItsOwnBinsAndSelection) {
    settings.channel[1].heightBinSize = 0.2;
    QuantizeSettings(false);
    AddHeights(0, 4, static_cast<uint32_t>(H * 100 + 10));
    AddHeights(1, 6, static_cast<uint32_t>(H * 100 + 10));
    sampleClock = 1000;
    SetDataAsBackground();
    EXPECT_DOUBLE_EQ(backgroundSpectrum[0][100], 0.004);
    EXPECT_DOUBLE_EQ(backgroundSpectrum[1][50], 0.006);
    EXPECT_EQ(backgroundSpectrum[1][100], 0.0);

    // Only selected pulses count: with "Left Coincidence" no pulse here has a partner.
    settings.channelSelection = 1;
    SetDataAsBackground();
    EXPECT_EQ(backgroundSpectrum[0][100], 0.0);
    EXPECT_EQ(backgroundSpectrum[1][50], 0.0);
}

TEST_F(HeightSpectrum, BackgroundWithoutAcquiredTimeIsEmpty) {
    AddHeights(0, 10, HeightOfBin(0, 50));
    sampleClock = 48000;
    SetDataAsBackground();
    sampleClock = 0;
    SetDataAsBackground();
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < HEIGHT_BINS; ++i) ASSERT_EQ(backgroundSpectrum[c][i], 0.0) << c << " " << i;
    sampleClock = 48000;
    settings.options[0].subtractBackground = 1;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawHeight()[50], 10);
}

TEST_F(HeightSpectrum, SumQuantityWeighsCountsWithTheBinCentre) {
    AddHeights(0, 3, HeightOfBin(0, 10));
    AddHeights(0, 2, HeightOfBin(0, 20));
    settings.options[0].sumQuantity = 1;
    const double h = BinWidth(0);
    BuildHeightSpectrum(false, false);
    EXPECT_DOUBLE_EQ(RawHeight()[10], 3 * 10.5 * h);
    EXPECT_DOUBLE_EQ(RawHeight()[20], 2 * 20.5 * h);
    EXPECT_EQ(entryCount[SERIES_HEIGHT], 3 + 4);  // trunc(3.15) + trunc(4.1)

    // Calibration switched on but not valid: still arb.u.
    settings.options[0].useCalibration = 1;
    BuildHeightSpectrum(false, false);
    EXPECT_DOUBLE_EQ(RawHeight()[20], 2 * 20.5 * h);

    ASSERT_TRUE(SetUpCalibration(0));
    BuildHeightSpectrum(false, false);
    const double perArb = 662.0 / 23.0;
    EXPECT_NEAR(RawHeight()[10], 3 * 10.5 * h * perArb, 1e-9);
    EXPECT_NEAR(RawHeight()[20], 2 * 20.5 * h * perArb, 1e-9);
    EXPECT_EQ(entryCount[SERIES_HEIGHT], 90 + 118);
}

TEST_F(HeightSpectrum, CountsOnlyLeavesTheCorrelationAndDisplayAlone) {
    settings.options[0].gaussianCorrelation = 1;
    ASSERT_TRUE(SetUpCalibration(0));
    AddHeights(0, 100, HeightOfBin(0, 300));
    AddHeights(0, 40, HeightOfBin(0, 302));
    BuildHeightSpectrum(false, false);
    const std::vector<double> display(DisplayHeight(), DisplayHeight() + 400);
    const std::vector<double> correlation(RawCorrelation(), RawCorrelation() + 400);
    const double shownMax = displayMax[SERIES_HEIGHT];
    ASSERT_NE(correlation[300], 0.0);

    AddHeights(0, 500, HeightOfBin(0, 250));
    BuildHeightSpectrum(false, true);
    EXPECT_EQ(RawHeight()[250], 500);
    EXPECT_EQ(heightCounts[250], 500);
    EXPECT_EQ(std::vector<double>(DisplayHeight(), DisplayHeight() + 400), display);
    EXPECT_EQ(std::vector<double>(RawCorrelation(), RawCorrelation() + 400), correlation);
    EXPECT_EQ(displayMax[SERIES_HEIGHT], shownMax);
}

TEST_F(HeightSpectrum, CorrelationNeedsValidKernelsAndTheSwitch) {
    AddHeights(0, 100, HeightOfBin(0, 300));
    settings.options[0].gaussianCorrelation = 1;
    BuildHeightSpectrum(false, false);  // no set-up yet: no kernels
    EXPECT_EQ(RawCorrelation()[300], 0.0);
    ASSERT_TRUE(SetUpCalibration(0));
    settings.options[0].gaussianCorrelation = 0;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawCorrelation()[300], 0.0);
    settings.options[0].gaussianCorrelation = 1;
    BuildHeightSpectrum(false, false);
    EXPECT_GT(RawCorrelation()[300], 0.0);
}

TEST_F(HeightSpectrum, AFullBuildClearsWhatALongerSpectrumLeftBehind) {
    AddHeights(0, 5, HeightOfBin(0, 900));
    AddHeights(0, 5, HeightOfBin(0, 20));
    BuildHeightSpectrum(false, false);
    ASSERT_EQ(RawHeight()[900], 5);
    pulseCount[0] = 0;
    AddHeights(0, 5, HeightOfBin(0, 20));
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(dataLength[WND_HEIGHT], 20);
    for (int i = 21; i < HEIGHT_BINS; ++i) ASSERT_EQ(RawHeight()[i], 0.0) << i;
}

// Feeds a generated recording pass by pass with incremental builds and compares the result with
// one full build, for several option sets.
struct OptionSet {
    const char* name;
    int channelSelection;
    bool background, logScale, sumQuantity, calibration, filter;
    double correction;
};

void ExpectIncrementalEqualsFull(const OptionSet& options, unsigned seed) {
    int c = options.channelSelection >= 3 ? 1 : 0;
    ChannelOptions& o = settings.options[c];
    o.subtractBackground = options.background;
    o.logHeightHistogram = options.logScale;
    o.sumQuantity = options.sumQuantity;
    o.useCalibration = options.calibration;
    o.gaussianCorrelation = 1;
    o.useAdvancedFilter = options.filter;
    settings.filterEnable[c][0] = 1;
    settings.filterLimits[c][0] = 20 * HEIGHT_SCALE;
    settings.filterLimits[c][1] = 150 * HEIGHT_SCALE;
    settings.channelSelection = static_cast<int8_t>(options.channelSelection);
    settings.channel[c].correction = options.correction;
    QuantizeSettings(false);
    ASSERT_TRUE(SetUpCalibration(0));
    ASSERT_TRUE(SetUpCalibration(1));

    std::mt19937 random(seed);
    std::vector<uint32_t> heights = GeneratePeakHeights({{40, 1.3, 3000}, {120, 2.3, 2000}}, 60, 20, seed);
    std::uniform_int_distribution<uint32_t> distortion(0, 600000000);
    std::uniform_int_distribution<int> perPass(0, 400);
    std::uniform_int_distribution<int> side(0, 1);

    // A background taken from a short first recording.
    for (int i = 0; i < 2000; ++i) AddPulse(side(random), i, 5, heights[i], distortion(random));
    sampleClock = 2000;
    SetDataAsBackground();
    pulseCount[0] = pulseCount[1] = 0;
    sampleClock = 0;

    BuildHeightSpectrum(false, false);
    size_t next = 2000;
    int64_t time = 0;
    while (next < heights.size()) {
        bufferFirstPulse[0] = pulseCount[0];
        bufferFirstPulse[1] = pulseCount[1];
        int n = perPass(random);
        for (int i = 0; i < n && next < heights.size(); ++i, ++next)
            AddPulse(side(random), time++, 5, heights[next], distortion(random));
        sampleClock = time + 7;
        BuildHeightSpectrum(true, false);
    }
    const int64_t length = dataLength[WND_HEIGHT];
    const int64_t shown = std::min<int64_t>(length + extraUnits[WND_HEIGHT], HISTOGRAM_LENGTH);
    const double* height = seriesData[SERIES_HEIGHT];
    const double* correlation = seriesData[SERIES_CORRELATION];
    const std::vector<double> incrementalHeight(height, height + 2 * HISTOGRAM_LENGTH);
    const std::vector<double> incrementalCorrelation(correlation, correlation + 2 * HISTOGRAM_LENGTH);
    const std::vector<double> incrementalCounts(heightCounts, heightCounts + HEIGHT_BINS);
    const int64_t entries = entryCount[SERIES_HEIGHT];
    const double maxima[4] = {displayMax[4], rawMax[4], displayMax[5], rawMax[5]};

    BuildHeightSpectrum(false, false);
    ASSERT_EQ(dataLength[WND_HEIGHT], length);
    EXPECT_EQ(entryCount[SERIES_HEIGHT], entries);
    EXPECT_GT(length, 100);
    for (int i = 0; i < HEIGHT_BINS; ++i) {
        ASSERT_EQ(heightCounts[i], incrementalCounts[i]) << i;
        ASSERT_EQ(height[i], incrementalHeight[i]) << i;
    }
    for (int64_t i = 0; i < shown; ++i) {
        ASSERT_EQ(height[HISTOGRAM_LENGTH + i], incrementalHeight[HISTOGRAM_LENGTH + i]) << i;
        ASSERT_EQ(correlation[i], incrementalCorrelation[i]) << i;
        ASSERT_EQ(correlation[HISTOGRAM_LENGTH + i], incrementalCorrelation[HISTOGRAM_LENGTH + i]) << i;
    }
    EXPECT_EQ(displayMax[4], maxima[0]);
    EXPECT_EQ(rawMax[4], maxima[1]);
    EXPECT_EQ(displayMax[5], maxima[2]);
    EXPECT_EQ(rawMax[5], maxima[3]);
}

TEST_F(HeightSpectrum, IncrementalBuildsEqualAFullBuild) {
    const OptionSet sets[] = {
        {"plain", 0, false, false, false, false, false, 0},
        {"background, log", 0, true, true, false, false, false, 0},
        {"sum quantity calibrated, filter", 0, false, false, true, true, true, 0},
        {"right, correction, background, sum", 3, true, false, true, false, false, 25},
        {"right anticoincidence, filter", 5, false, true, false, false, true, 10},
    };
    unsigned seed = 11;
    for (const OptionSet& set : sets) {
        for (int repeat = 0; repeat < 2; ++repeat, ++seed) {
            SCOPED_TRACE(set.name);
            SCOPED_TRACE(seed);
            SetUp();
            ExpectIncrementalEqualsFull(set, seed);
            if (HasFatalFailure()) return;
        }
    }
}
}  // namespace
