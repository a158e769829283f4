// The pulse-height spectrum: binning with distortion correction and the overflow bin, the background
// rate and its subtraction, sum quantity, countsOnly, and the Gaussian correlation (kernel response,
// runs of kernels, spectrum edges, generated peaks measured by their regions).
#include <cmath>
#include <random>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "tests/support/store_fill.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
constexpr int64_t H = 2147484;  // the default height bin (0.1 arb.u) in sample units

const double* RawHeight() { return seriesData[SERIES_HEIGHT]; }
const double* DisplayHeight() { return seriesData[SERIES_HEIGHT] + HISTOGRAM_LENGTH; }
const double* RawCorrelation() { return seriesData[SERIES_CORRELATION]; }

// The height in sample units at the middle of bin `bin` of channel c.
uint32_t HeightOfBin(int c, double bin) {
    return static_cast<uint32_t>((bin + 0.5) * static_cast<double>(workingParameters[c][FIELD_HEIGHT_BIN_SIZE]));
}

class HeightSpectrum : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(600000);
        QuantizeSettings(true);
    }
    static double BinWidth(int c) {
        return static_cast<double>(workingParameters[c][FIELD_HEIGHT_BIN_SIZE]) / HEIGHT_SCALE;
    }
};

TEST_F(HeightSpectrum, PulsesLandInTheirHeightBinAfterTheDistortionCorrection) {
    ASSERT_EQ(workingParameters[0][FIELD_HEIGHT_BIN_SIZE], H);
    AddHeights(0, 1, H * 7 + 5);
    AddHeights(0, 1, H * 7 - 1);
    // 10 % correction per unit of relative distortion: a distortion of 2^31 raises heights by 5 %.
    settings.channel[0].correction = 10;
    QuantizeSettings(false);
    AddHeights(0, 1, static_cast<uint32_t>(H * 100 + H / 2), 2147483648u);
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(heightCounts[7], 1);
    EXPECT_EQ(heightCounts[6], 1);
    EXPECT_EQ(heightCounts[105], 1);
    EXPECT_EQ(dataLength[WND_HEIGHT], 105);
    // Heights beyond the last bin count in it; it is displayed but takes no part in the maxima.
    settings.channel[0].heightBinSize = 0.001;
    settings.channel[0].correction = 1000;
    QuantizeSettings(false);
    pulseCount[0] = 0;
    AddHeights(0, 1, 0xFFFFFFFFu);
    AddHeights(0, 1, 0xFFFFFFFFu, 0xFFFFFFFFu);
    BuildHeightSpectrum(false, false);
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
    EXPECT_EQ(RawCorrelation()[32767], 0.0);  // the kernel would reach beyond the spectrum
    EXPECT_GT(RawCorrelation()[31000], 0.0);
}

TEST_F(HeightSpectrum, BackgroundIsARateOverTheAnalysedTimeAndSubtractedOverTheSpectrumsTime) {
    // 10 s with 10 counts per second in bin 50; the background is taken from the window 1 s to 3 s.
    for (int64_t second = 0; second < 10; ++second)
        for (int64_t i = 0; i < 10; ++i) AddPulse(0, second * 48000 + i * 100, 5, HeightOfBin(0, 50));
    sampleClock = 480000;
    auto analyse = [](double begin, double duration) {
        settings.channel[0].beginTime = begin;
        settings.channel[0].durationTime = duration;
        QuantizeSettings(false);
    };
    // The right channel has its own bins and window (the whole acquisition).
    settings.channel[1].heightBinSize = 0.2;
    AddHeights(1, 6, static_cast<uint32_t>(H * 100 + 10));
    analyse(1.0, 2.0);
    SetDataAsBackground();
    EXPECT_DOUBLE_EQ(backgroundSpectrum[0][50], 10.0 / 48000.0);
    EXPECT_DOUBLE_EQ(backgroundSpectrum[1][50], 6.0 / 480000.0);

    // Whole acquisition, a window inside it, one reaching beyond its end: the same rate everywhere.
    settings.options[0].subtractBackground = 1;
    for (double begin : {0.0, 4.0, 8.0}) {
        analyse(begin, begin == 0.0 ? 86400.0 : 5.0);
        BuildHeightSpectrum(false, false);
        EXPECT_EQ(RawHeight()[50], 0) << begin;
    }
    // Fewer counts than the background: a negative raw value, displayed as 0.
    analyse(0.0, 86400.0);
    pulseCount[0] = 60;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(RawHeight()[50], -40);
    EXPECT_EQ(DisplayHeight()[50], 0);

    // Without acquired time there is no rate: the background is empty.
    sampleClock = 0;
    SetDataAsBackground();
    EXPECT_EQ(backgroundSpectrum[0][50] + backgroundSpectrum[1][50], 0.0);
}

TEST_F(HeightSpectrum, SumQuantityWeighsCountsWithTheBinCentre) {
    AddHeights(0, 3, HeightOfBin(0, 10));
    AddHeights(0, 2, HeightOfBin(0, 20));
    settings.options[0].sumQuantity = 1;
    settings.options[0].useCalibration = 1;  // switched on, but not valid: still arb.u
    const double h = BinWidth(0);
    BuildHeightSpectrum(false, false);
    EXPECT_DOUBLE_EQ(RawHeight()[10], 3 * 10.5 * h);
    EXPECT_DOUBLE_EQ(RawHeight()[20], 2 * 20.5 * h);
    EXPECT_EQ(entryCount[SERIES_HEIGHT], 3 + 4);  // trunc(3.15) + trunc(4.1)
    ASSERT_TRUE(SetUpCalibration(0));
    BuildHeightSpectrum(false, false);
    const double perArb = 662.0 / 23.0;
    EXPECT_NEAR(RawHeight()[10], 3 * 10.5 * h * perArb, 1e-9);
    EXPECT_NEAR(RawHeight()[20], 2 * 20.5 * h * perArb, 1e-9);
    EXPECT_EQ(entryCount[SERIES_HEIGHT], 90 + 118);
}

TEST_F(HeightSpectrum, CountsOnlyLeavesTheCorrelationAndTheDisplayAlone) {
    AddHeights(0, 100, HeightOfBin(0, 300));
    settings.options[0].gaussianCorrelation = 1;
    ASSERT_TRUE(SetUpCalibration(0));
    BuildHeightSpectrum(false, false);
    ASSERT_GT(RawCorrelation()[300], 0.0);

    const std::vector<double> before(RawCorrelation(), RawCorrelation() + 2 * HISTOGRAM_LENGTH);
    AddHeights(0, 500, HeightOfBin(0, 250));
    BuildHeightSpectrum(false, true);
    EXPECT_EQ(RawHeight()[250], 500);
    EXPECT_EQ(DisplayHeight()[250], 0);
    EXPECT_EQ(std::vector<double>(RawCorrelation(), RawCorrelation() + 2 * HISTOGRAM_LENGTH), before);
}

TEST_F(HeightSpectrum, AFullBuildClearsWhatALongerSpectrumLeftBehind) {
    AddHeights(0, 5, HeightOfBin(0, 20));
    AddHeights(0, 5, HeightOfBin(0, 900));
    BuildHeightSpectrum(false, false);
    ASSERT_EQ(RawHeight()[900], 5);
    pulseCount[0] = 5;
    BuildHeightSpectrum(false, false);
    EXPECT_EQ(dataLength[WND_HEIGHT], 20);
    for (int i = 21; i < HEIGHT_BINS; ++i) ASSERT_EQ(RawHeight()[i], 0.0) << i;
}

class GaussianCorrelation : public HeightSpectrum {
protected:
    void SetUp() override {
        HeightSpectrum::SetUp();
        settings.options[0].gaussianCorrelation = 1;
    }
};

TEST_F(GaussianCorrelation, OneKernelGivesTheKernelAroundASinglePeakBin) {
    // Bins of (almost exactly) 1 arb.u; a width that falls with height gives one kernel (half-width 5)
    // for every bin.
    settings.channel[0].heightBinSize = 1.0;
    QuantizeSettings(false);
    settings.calibration[0][14] = {4, 4, 40};
    ASSERT_TRUE(SetUpCalibration(0));
    const ChannelKernels kernels = KernelsOf(0);
    ASSERT_EQ(kernels.index[100].halfWidth, 5);
    AddHeights(0, 1000, HeightOfBin(0, 100));
    BuildHeightSpectrum(false, false);
    const double* g = RawCorrelation();
    const double* kernel = kernels.table + kernels.index[100].offset;
    EXPECT_DOUBLE_EQ(g[100], 2 * 1000 * kernel[0]);  // the centre bin enters twice
    for (int j = 1; j < 5; ++j) {
        EXPECT_DOUBLE_EQ(g[100 + j], 1000 * kernel[j]) << j;
        EXPECT_DOUBLE_EQ(g[100 - j], 1000 * kernel[j]) << j;
    }
    EXPECT_EQ(g[105], 0.0);
}

TEST_F(GaussianCorrelation, IsZeroWhereTheKernelReachesBeyondItsBinsOrTheSpectrum) {
    // An earlier set-up with finer bins had kernels up to bin 3998; now only up to 1998.
    settings.channel[0].heightBinSize = 0.05;
    ASSERT_TRUE(SetUpCalibration(0));
    settings.channel[0].heightBinSize = 0.1;
    settings.channel[0].correction = 100;
    QuantizeSettings(false);
    ASSERT_TRUE(SetUpCalibration(0));
    ASSERT_EQ(kernelBins[0], 1999);
    for (int bin = 0; bin <= 10; ++bin) AddHeights(0, bin == 3 ? 400 : 100, HeightOfBin(0, bin));
    // A distortion of 2^31 raises heights by half: 150 arb.u lands in bin 2250.
    AddHeights(0, 500, static_cast<uint32_t>(150.02 * HEIGHT_SCALE), 2147483648u);
    AddHeights(0, 500, HeightOfBin(0, 1000));
    BuildHeightSpectrum(false, false);
    ASSERT_EQ(dataLength[WND_HEIGHT], 2250);
    const double* g = RawCorrelation();
    for (int k = 0; k < 11; ++k) EXPECT_TRUE(k >= KernelsOf(0).index[k].halfWidth || g[k] == 0.0) << k;
    EXPECT_NE(g[5], 0.0);
    for (int k = 1999; k <= 2250 + 16; ++k) ASSERT_EQ(g[k], 0.0) << k;
    EXPECT_GT(g[1000], 0.0);
}

// One generating peak: centre and standard deviation in arb.u, number of pulses.
struct GeneratedPeak {
    double centre, sd;
    int count;
};

// Heights (sample units) of Gaussian peaks on a background that falls linearly from `start` pulses per
// arb.u at 0 to `end` at 200 arb.u. Deterministic for a seed.
std::vector<uint32_t> GeneratePeakHeights(const std::vector<GeneratedPeak>& peaks, double start, double end,
                                          unsigned seed) {
    std::mt19937_64 random(seed);
    std::vector<double> values;
    for (const GeneratedPeak& peak : peaks) {
        std::normal_distribution<double> spread(peak.centre, peak.sd);
        for (int i = 0; i < peak.count; ++i) values.push_back(spread(random));
    }
    // Density d(x) = s + (e - s) x / 200: inverse-transform sampling of the trapezoid.
    const double total = (start + end) * 0.5 * 200.0, slope = (end - start) / 200.0;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < static_cast<int>(total); ++i)
        values.push_back((-start + std::sqrt(start * start + 2.0 * slope * unit(random) * total)) / slope);
    std::vector<uint32_t> heights;
    for (double x : values)
        if (x > 0.0 && x < 200.0) heights.push_back(static_cast<uint32_t>(x * HEIGHT_SCALE));
    return heights;
}

// Peaks whose widths follow the default calibration's width model (sd = sqrt(x / 23) arb.u), on a
// sloping background: their regions measure them.
TEST_F(GaussianCorrelation, GeneratedPeaksAreFoundAndMeasuredByTheirRegions) {
    ASSERT_TRUE(SetUpCalibration(0));
    const std::vector<GeneratedPeak> peaks = {
        {30.05, std::sqrt(30.05 / 23), 100000}, {80.05, std::sqrt(80.05 / 23), 150000}, {140.05, std::sqrt(140.05 / 23), 200000}};
    for (uint32_t height : GeneratePeakHeights(peaks, 600, 150, 7)) AddHeights(0, 1, height);
    BuildHeightSpectrum(false, false);
    const double h = BinWidth(0);
    for (size_t p = 0; p < peaks.size(); ++p) {
        // The regions count bin i at its lower edge i x h.
        const double centre = peaks[p].centre / h - 0.5, sdBins = peaks[p].sd / h;
        ASSERT_TRUE(AddRoi(0, static_cast<int32_t>(centre - 4 * sdBins), static_cast<int32_t>(centre + 4 * sdBins)));
    }
    for (size_t p = 0; p < peaks.size(); ++p) {
        SCOPED_TRACE(p);
        ComputeRoiStatistics(static_cast<int>(p));
        const RoiRecord& roi = settings.roi[0][p];
        EXPECT_NEAR(roi.net, peaks[p].count, 0.02 * peaks[p].count);
        EXPECT_NEAR(roi.mean, peaks[p].centre, 0.02 * peaks[p].centre);
        EXPECT_NEAR(roi.sd, peaks[p].sd, 0.02 * peaks[p].sd);
        // The background under the region (density 600 - 2.25 x per arb.u) is in gross, not in net;
        // the baseline windows also hold a little of the peak's far tails.
        double background = (600 - 2.25 * peaks[p].centre) * (roi.endBin - roi.startBin + 1) * h;
        EXPECT_NEAR(roi.gross - roi.net, background, 0.2 * background);
    }
}
}  // namespace
