// The Gaussian correlation of the spectrum: the kernel response, runs of equal kernels and their
// interpolation, the spectrum edges, and peaks found in a generated spectrum with their regions.
#include <cmath>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "tests/analysis/spectrum_pulses.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
class GaussianCorrelation : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(600000);
        QuantizeSettings(true);
        settings.options[0].gaussianCorrelation = 1;
    }
    // Bins of (almost exactly) 1 arb.u and the calibration points given.
    static void UnitBins(std::initializer_list<CalibrationRow> points) {
        settings.channel[0].heightBinSize = 1.0;
        QuantizeSettings(false);
        for (CalibrationRow& row : settings.calibration[0]) row = {0, 0, 0};
        int r = CALIBRATION_ROWS - static_cast<int>(points.size());
        for (const CalibrationRow& p : points) settings.calibration[0][r++] = p;
        ASSERT_TRUE(SetUpCalibration(0));
    }
    static void StoreMany(int count, double bin) {
        AddHeights(0, count, HeightOfBin(0, bin));
    }
    static const double* Kernel(int bin) { return kernelTable[0] + kernelIndex[0][bin].offset; }
};

TEST_F(GaussianCorrelation, OneKernelGivesTheKernelAroundASinglePeakBin) {
    // A width that falls with height gives one kernel (half-width 5) for every bin.
    UnitBins({{4, 3, 40}, {16, 2, 160}});
    ASSERT_EQ(kernelIndex[0][100].halfWidth, 5);
    StoreMany(1000, 100);
    BuildHeightSpectrum(false, false);
    const double* g = RawCorrelation();
    const double* kernel = Kernel(100);
    EXPECT_DOUBLE_EQ(g[100], 2 * 1000 * kernel[0]);  // the centre bin enters twice
    for (int j = 1; j < 5; ++j) {
        EXPECT_DOUBLE_EQ(g[100 + j], 1000 * kernel[j]) << j;
        EXPECT_DOUBLE_EQ(g[100 - j], 1000 * kernel[j]) << j;
    }
    EXPECT_EQ(g[105], 0.0);
    EXPECT_EQ(g[95], 0.0);
    EXPECT_EQ(g[116], 0.0);  // up to 16 bins beyond the data
    EXPECT_LT(g[103], 0.0);  // negative flanks
}

TEST_F(GaussianCorrelation, ResponseIsInterpolatedBetweenNeighbouringRunsOfKernels) {
    UnitBins({{23, 1, 662}});
    StoreMany(1000, 10);
    StoreMany(1, 40);  // the next run is searched for only up to the last bin holding data
    // The run of equal kernels that holds bin 10, and where the next one starts.
    int s = 10, e = 10;
    while (s > 0 && kernelIndex[0][s - 1].offset == kernelIndex[0][10].offset) --s;
    while (kernelIndex[0][e].offset == kernelIndex[0][10].offset) ++e;
    ASSERT_EQ(kernelIndex[0][s].halfWidth, 3);
    ASSERT_EQ(kernelIndex[0][e].halfWidth, 4);
    BuildHeightSpectrum(false, false);
    const double* g = RawCorrelation();
    const double* current = Kernel(s);
    const double* next = Kernel(e);
    for (int k : {8, 10, 12}) {
        int j = std::abs(k - 10);
        double centre = k == 10 ? 2.0 : 1.0;
        double expected = ((e - k) * centre * 1000 * current[j] + (k - s) * centre * 1000 * next[j]) / (e - s);
        EXPECT_NEAR(g[k], expected, 1e-9) << k;
    }
}

TEST_F(GaussianCorrelation, IsZeroWhereTheKernelReachesBelowBinZero) {
    ASSERT_TRUE(SetUpCalibration(0));
    for (int bin = 0; bin <= 10; ++bin) StoreMany(bin == 3 ? 400 : 100, bin);
    BuildHeightSpectrum(false, false);
    const double* g = RawCorrelation();
    for (int k = 0; k < 11; ++k) {
        int n = kernelIndex[0][k].halfWidth;
        if (k - n < 0) {
            EXPECT_EQ(g[k], 0.0) << k;
        }
    }
    EXPECT_EQ(g[0], 0.0);
    EXPECT_NE(g[5], 0.0);
}

TEST_F(GaussianCorrelation, BinsWithoutKernelCorrelateToZero) {
    // An earlier set-up with finer bins had kernels up to bin 3998; now only up to 1998.
    settings.channel[0].heightBinSize = 0.05;
    ASSERT_TRUE(SetUpCalibration(0));
    settings.channel[0].heightBinSize = 0.1;
    settings.channel[0].correction = 100;
    QuantizeSettings(false);
    ASSERT_TRUE(SetUpCalibration(0));
    ASSERT_EQ(kernelBins[0], 1999);
    // A distortion of 2^31 raises heights by half: 150 arb.u lands in bin 2250.
    AddHeights(0, 500, static_cast<uint32_t>(150.02 * HEIGHT_SCALE), 2147483648u);
    StoreMany(500, 1000);
    BuildHeightSpectrum(false, false);
    ASSERT_EQ(dataLength[WND_HEIGHT], 2250);
    const double* g = RawCorrelation();
    for (int k = 1999; k <= 2250 + 16; ++k) ASSERT_EQ(g[k], 0.0) << k;
    EXPECT_GT(g[1000], 0.0);
}

TEST_F(GaussianCorrelation, FlatSpectrumGivesNoResponse) {
    ASSERT_TRUE(SetUpCalibration(0));
    for (int bin = 0; bin < 1999; ++bin) StoreMany(50, bin);
    BuildHeightSpectrum(false, false);
    const double* g = RawCorrelation();
    for (int k = 70; k < 1900; ++k) ASSERT_NEAR(g[k], 0.0, 1e-9) << k;
}

// Peaks whose widths follow the default calibration's width model, on a sloping background.
TEST_F(GaussianCorrelation, GeneratedPeaksAreFoundAndMeasuredByTheirRegions) {
    ASSERT_TRUE(SetUpCalibration(0));
    const std::vector<GeneratedPeak> peaks = {
        {30.05, std::sqrt(30.05 / 23), 100000}, {80.05, std::sqrt(80.05 / 23), 150000}, {140.05, std::sqrt(140.05 / 23), 200000}};
    for (uint32_t height : GeneratePeakHeights(peaks, 600, 150, 7)) AddHeights(0, 1, height);
    BuildHeightSpectrum(false, false);
    const double h = static_cast<double>(workingParameters[0][FIELD_HEIGHT_BIN_SIZE]) / HEIGHT_SCALE;
    const double* g = RawCorrelation();

    for (size_t p = 0; p < peaks.size(); ++p) {
        SCOPED_TRACE(p);
        const GeneratedPeak& peak = peaks[p];
        // The bin that holds the centre; the regions count bin i at its lower edge i x h.
        const int centreBin = static_cast<int>(peak.centre / h);
        const double centre = peak.centre / h - 0.5;
        const double sdBins = peak.sd / h;
        int from = static_cast<int>(centre - 3 * sdBins), to = static_cast<int>(centre + 3 * sdBins);
        int best = from;
        for (int k = from; k <= to; ++k)
            if (g[k] > g[best]) best = k;
        EXPECT_LE(std::abs(best - centreBin), 1) << best << " vs " << centreBin;
        EXPECT_GT(g[best], 0.0);

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
        double width = (roi.endBin - roi.startBin + 1) * h;
        double background = (600 - 2.25 * peaks[p].centre) * width;
        EXPECT_NEAR(roi.gross - roi.net, background, 0.2 * background);
    }

    // Calibrated: the mean follows the mapping and the width the slope through the origin.
    settings.options[0].useCalibration = 1;
    RoiRecord plain = settings.roi[0][1];
    ComputeRoiStatistics(1);
    EXPECT_NEAR(settings.roi[0][1].mean, plain.mean * 662.0 / 23.0, 1e-9);
    EXPECT_NEAR(settings.roi[0][1].sd, plain.sd * 662.0 / 23.0, 1e-9);
}
}  // namespace
