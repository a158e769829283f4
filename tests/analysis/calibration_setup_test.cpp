// Calibration set-up: sorting, the consistency checks and their messages, the fits, the peak-width
// model and kernel table, overflow handling, and the three height-to-quantity mappings.
#include <cmath>
#include <limits>
#include <string>

#include "analysis/calibration.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"

namespace {
const std::string WRONG_DATA =
    "Wrong calibration data,\nenergy calibration and Gaussian correlation will be disabled!";
const std::string OVERFLOW_TEXT =
    "Gaussian table overflow,\nGaussian correlation will be disabled!\n"
    "Try to increase Bin size of the pulse height histogram\nin Data Acquisition and Analysis settings.";

class CalibrationSetUp : public TikTest {
protected:
    void ClearTable(int c) {
        for (CalibrationRow& row : settings.calibration[c]) row = {0, 0, 0};
    }
    // Places points in the last rows, in the given order.
    void SetPoints(int c, std::initializer_list<CalibrationRow> points) {
        ClearTable(c);
        int r = CALIBRATION_ROWS - static_cast<int>(points.size());
        for (const CalibrationRow& p : points) settings.calibration[c][r++] = p;
    }
    static const RecordedMessage& OnlyMessage() {
        EXPECT_EQ(Headless().messages.size(), 1u);
        return Headless().messages.back();
    }
};

TEST_F(CalibrationSetUp, DefaultTableGivesTheDocumentedFitsAndKernelTable) {
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_TRUE(Headless().messages.empty());
    EXPECT_EQ(calibrationValid[0], 1);
    EXPECT_EQ(gaussianValid[0], 1);
    EXPECT_DOUBLE_EQ(originSlope[0], 662.0 / 23.0);
    EXPECT_DOUBLE_EQ(lineSlope[0], 662.0 / 23.0);
    EXPECT_EQ(lineOffset[0], 0.0);

    ASSERT_EQ(kernelBins[0], 1999);
    EXPECT_EQ(kernelIndex[0][0].halfWidth, 2);
    EXPECT_EQ(kernelIndex[0][0].offset, 0);
    EXPECT_EQ(kernelIndex[0][1998].halfWidth, 60);
    for (int k = 1999; k < KERNEL_INDEX_SIZE; ++k) ASSERT_EQ(kernelIndex[0][k].halfWidth, 0) << k;

    // Each distinct half-width has one kernel, stored right after the previous one; every kernel
    // sums to zero and has unit energy.
    int kernels = 0;
    for (int k = 0; k < 1999; ++k) {
        const KernelIndexEntry& e = kernelIndex[0][k];
        if (k > 0) {
            const KernelIndexEntry& before = kernelIndex[0][k - 1];
            ASSERT_GE(e.halfWidth, before.halfWidth);
            if (e.halfWidth == before.halfWidth) {
                ASSERT_EQ(e.offset, before.offset);
                continue;
            }
            ASSERT_EQ(e.offset, before.offset + before.halfWidth);
        }
        ++kernels;
        double sum = 0, energy = 0;
        for (int j = 0; j < e.halfWidth; ++j) {
            sum += kernelTable[0][e.offset + j];
            energy += kernelTable[0][e.offset + j] * kernelTable[0][e.offset + j];
        }
        EXPECT_NEAR(sum, 0.0, 1e-12);
        EXPECT_NEAR(energy, 1.0, 1e-12);
        EXPECT_GT(kernelTable[0][e.offset], 0.0);                   // centre positive
        EXPECT_LT(kernelTable[0][e.offset + e.halfWidth - 1], 0.0);  // flanks negative
    }
    EXPECT_EQ(kernels, 59);  // half-widths 2 to 60
}

TEST_F(CalibrationSetUp, HalfWidthsFollowTheFittedWidthModel) {
    // sd = 1 + 0.5 sqrt(x) through two points, bins of (almost exactly) 1 arb.u: half-width
    // trunc(2 (1 + 0.5 sqrt(k))) = trunc(sqrt(k) + 2), 200 bins.
    settings.channel[0].heightBinSize = 1.0;
    SetPoints(0, {{4, 2, 40}, {16, 3, 160}});
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(kernelBins[0], 200);
    EXPECT_EQ(kernelIndex[0][0].halfWidth, 2);
    EXPECT_EQ(kernelIndex[0][99].halfWidth, 11);
    EXPECT_EQ(kernelIndex[0][100].halfWidth, 12);
    EXPECT_EQ(kernelIndex[0][199].halfWidth, 16);
    EXPECT_EQ(kernelIndex[0][200].halfWidth, 0);

    // A width that falls with height is replaced by the mean width: one kernel for every bin.
    SetPoints(0, {{4, 3, 40}, {16, 2, 160}});
    ASSERT_TRUE(SetUpCalibration(0));
    for (int k = 0; k < 200; ++k) {
        ASSERT_EQ(kernelIndex[0][k].halfWidth, 5) << k;
        ASSERT_EQ(kernelIndex[0][k].offset, 0) << k;
    }
}

TEST_F(CalibrationSetUp, WeightedFitsOfSeveralPoints) {
    SetPoints(0, {{30, 2, 310}, {10, 1, 110}, {20, 1, 210}});
    ASSERT_TRUE(SetUpCalibration(0));
    // The points lie on quantity = 10 x + 10, whatever their weights.
    EXPECT_NEAR(lineSlope[0], 10.0, 1e-9);
    EXPECT_NEAR(lineOffset[0], 10.0, 1e-9);
    double sxy = 10 * 110 + 20 * 210 + 0.25 * 30 * 310, sxx = 100 + 400 + 0.25 * 900;
    EXPECT_NEAR(originSlope[0], sxy / sxx, 1e-12);
}

TEST_F(CalibrationSetUp, SortsRowsByMeanKeepingEqualMeansInOrder) {
    CalibrationRow* rows = settings.calibration[1];
    rows[0] = {20, 1, 300};
    rows[3] = {10, 1, 100};
    rows[7] = {10, 2, 150};
    rows[15] = {5, 1, 50};
    ASSERT_TRUE(SetUpCalibration(1));
    for (int r = 0; r < 12; ++r) EXPECT_EQ(rows[r].mean, 0.0) << r;
    EXPECT_EQ(rows[12].mean, 5);
    EXPECT_EQ(rows[13].sd, 1);  // the first of the two with mean 10
    EXPECT_EQ(rows[14].sd, 2);
    EXPECT_EQ(rows[15].mean, 20);
}

TEST_F(CalibrationSetUp, InconsistentPointsSwitchCalibrationAndCorrelationOff) {
    struct Case {
        const char* name;
        std::initializer_list<CalibrationRow> points;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"row without sd", {{10, 0, 5}, {23, 1, 662}}},
        {"quantity falls", {{10, 1, 700}, {23, 1, 662}}},
        {"infinite mean, no sd", {{inf, 0, 0}}},
        {"no positive mean", {{-5, 1, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetPoints(0, {{23, 1, 662}});
        ASSERT_TRUE(SetUpCalibration(0));
        Headless().messages.clear();
        SetPoints(0, c.points);
        EXPECT_FALSE(SetUpCalibration(0));
        EXPECT_EQ(calibrationValid[0], 0);
        EXPECT_EQ(gaussianValid[0], 0);
        // The mappings of the last good set-up stay (they are not used while the flag is clear).
        EXPECT_DOUBLE_EQ(originSlope[0], 662.0 / 23.0);
        EXPECT_DOUBLE_EQ(lineSlope[0], 662.0 / 23.0);
        ASSERT_EQ(Headless().messages.size(), 1u);
        EXPECT_EQ(Headless().messages[0].text, "Left channel problem.\r\n" + WRONG_DATA);
        EXPECT_EQ(Headless().messages[0].style, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_EQ(Headless().messages[0].owner, NO_OWNER);
    }
}

TEST_F(CalibrationSetUp, EmptyTableFailsForTheRightChannelWithItsOwnLine) {
    ClearTable(1);
    EXPECT_FALSE(SetUpCalibration(1));
    EXPECT_EQ(OnlyMessage().text, "Right channel problem.\r\n" + WRONG_DATA);
    EXPECT_EQ(calibrationValid[1], 0);
    // The other channel is not touched.
    EXPECT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(calibrationValid[0], 1);
}

TEST_F(CalibrationSetUp, TooSmallBinsOverflowTheKernelTableButKeepTheCalibration) {
    settings.channel[0].heightBinSize = 0.00001;
    SetPoints(0, {{23, 5, 662}});
    EXPECT_FALSE(SetUpCalibration(0));
    EXPECT_EQ(OnlyMessage().text, "Left channel problem.\r\n" + OVERFLOW_TEXT);
    EXPECT_EQ(OnlyMessage().style, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(calibrationValid[0], 1);
    EXPECT_EQ(gaussianValid[0], 0);
    EXPECT_DOUBLE_EQ(originSlope[0], 662.0 / 23.0);

    // A later good set-up switches the correlation on again.
    settings.channel[0].heightBinSize = 0.1;
    EXPECT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(gaussianValid[0], 1);
}

TEST_F(CalibrationSetUp, HugeOrNonFiniteWidthsGiveTheOverflowMessage) {
    const double values[] = {1e300, std::numeric_limits<double>::infinity(), 1e17};
    for (double sd : values) {
        SCOPED_TRACE(sd);
        Headless().messages.clear();
        SetPoints(0, {{10, 1, 300}, {23, sd, 662}});
        EXPECT_FALSE(SetUpCalibration(0));
        ASSERT_EQ(Headless().messages.size(), 1u);
        EXPECT_EQ(Headless().messages[0].text, "Left channel problem.\r\n" + OVERFLOW_TEXT);
        EXPECT_EQ(calibrationValid[0], 1);
        EXPECT_EQ(gaussianValid[0], 0);
        // The point with the huge width carries no weight: the fit is that of the other point.
        EXPECT_DOUBLE_EQ(originSlope[0], 30.0);
    }
}

TEST_F(CalibrationSetUp, UnusableBinSizeFromAFileIsClampedToTheSmallestBin) {
    // A zero bin size means the smallest bin: the default peaks then need more kernel values than
    // the table has.
    settings.channel[0].heightBinSize = 0.0;
    EXPECT_FALSE(SetUpCalibration(0));
    EXPECT_EQ(OnlyMessage().text, "Left channel problem.\r\n" + OVERFLOW_TEXT);
    EXPECT_EQ(calibrationValid[0], 1);
    EXPECT_EQ(settings.channel[0].heightBinSize, 0.0);  // the setting itself is not rewritten here

    Headless().messages.clear();
    settings.channel[0].heightBinSize = 1e9;  // clamped to 100 arb.u: two bins
    EXPECT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(kernelBins[0], 2);
}

TEST_F(CalibrationSetUp, KernelsOfAnEarlierSetUpAreNotLeftBehind) {
    settings.channel[0].heightBinSize = 0.05;
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(kernelBins[0], 3999);
    settings.channel[0].heightBinSize = 0.1;
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(kernelBins[0], 1999);
    for (int k = 1999; k < 3999; ++k) ASSERT_EQ(kernelIndex[0][k].offset, -1) << k;
}

TEST_F(CalibrationSetUp, FitModesMapBothWays) {
    SetPoints(0, {{10, 1, 30}, {20, 1, 50}});
    ASSERT_TRUE(SetUpCalibration(0));
    settings.calibrationMode[0] = CALIBRATION_FIT_SLOPE;
    EXPECT_DOUBLE_EQ(Calibrate(0, 10.0, false), 10.0 * originSlope[0]);
    EXPECT_DOUBLE_EQ(Calibrate(0, Calibrate(0, 7.0, false), true), 7.0);
    settings.calibrationMode[0] = CALIBRATION_FIT_LINEAR;
    EXPECT_NEAR(Calibrate(0, 50.0, false), 110.0, 1e-9);
    EXPECT_NEAR(Calibrate(0, 110.0, true), 50.0, 1e-9);
    settings.calibrationMode[0] = 7;
    EXPECT_EQ(Calibrate(0, 42.0, false), 42.0);
    EXPECT_EQ(Calibrate(0, 42.0, true), 42.0);

    // A zero slope cannot be inverted: the value comes back unchanged rather than infinite.
    settings.calibrationMode[0] = CALIBRATION_FIT_SLOPE;
    originSlope[0] = 0.0;
    EXPECT_EQ(Calibrate(0, 5.0, true), 5.0);
}

TEST_F(CalibrationSetUp, InterpolationThroughSortedPoints) {
    SetPoints(0, {{10, 1, 100}, {20, 1, 300}});
    settings.calibrationMode[0] = CALIBRATION_INTERPOLATE;
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_DOUBLE_EQ(Calibrate(0, 5, false), 50);
    EXPECT_DOUBLE_EQ(Calibrate(0, 15, false), 200);
    EXPECT_DOUBLE_EQ(Calibrate(0, 25, false), 400);
    EXPECT_DOUBLE_EQ(Calibrate(0, 50, true), 5);
    EXPECT_DOUBLE_EQ(Calibrate(0, 200, true), 15);
    EXPECT_DOUBLE_EQ(Calibrate(0, 400, true), 25);

    // Equal means: both stay, and the empty interval between them is skipped.
    SetPoints(0, {{10, 1, 100}, {10, 2, 150}, {20, 1, 300}});
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_DOUBLE_EQ(Calibrate(0, 10, false), 150);
    EXPECT_DOUBLE_EQ(Calibrate(0, 15, false), 225);
}

TEST_F(CalibrationSetUp, InterpolationBeyondTwoEqualLargestMeansStaysFinite) {
    SetPoints(0, {{10, 1, 100}, {20, 1, 300}, {20, 2, 350}});
    settings.calibrationMode[0] = CALIBRATION_INTERPOLATE;
    ASSERT_TRUE(SetUpCalibration(0));
    // Extended from the point below the two: slope (350 - 100) / 10.
    EXPECT_DOUBLE_EQ(Calibrate(0, 20, false), 350);
    EXPECT_DOUBLE_EQ(Calibrate(0, 24, false), 450);

    // Every row at the same mean: the line from the origin through the last point.
    for (CalibrationRow& row : settings.calibration[0]) row = {20, 1, 400};
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_DOUBLE_EQ(Calibrate(0, 30, false), 600);
    EXPECT_DOUBLE_EQ(Calibrate(0, 10, false), 200);
}
}  // namespace
