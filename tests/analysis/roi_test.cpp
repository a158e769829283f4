// Regions of interest: making, replacing, deleting, copying and sorting slots, bins that follow the
// height bin size, and the statistics with their baseline windows and fallbacks.
#include <cmath>
#include <cstring>

#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "tests/support/test_support.h"

namespace {
class Regions : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        QuantizeSettings(true);
        h = static_cast<double>(workingParameters[0][FIELD_HEIGHT_BIN_SIZE]) / HEIGHT_SCALE;
    }
    static int Used(int c) {
        int n = 0;
        for (const RoiRecord& r : settings.roi[c]) n += r.startBin >= 0;
        return n;
    }
    static const RoiRecord* Find(int c, int32_t start) {
        for (const RoiRecord& r : settings.roi[c])
            if (r.startBin == start) return &r;
        return nullptr;
    }
    static double* X() { return seriesData[SERIES_HEIGHT]; }
    static void Fill(int32_t from, int32_t to, double value) {
        for (int32_t i = from; i <= to; ++i) X()[i] = value;
    }
    static const RoiRecord& Compute(int c, int slot) {
        ComputeRoiStatistics(slot);
        return settings.roi[c][slot];
    }
    static bool IsEmpty(const RoiRecord& r) { return std::memcmp(&r, &EMPTY_ROI, sizeof(RoiRecord)) == 0; }
    double h = 0;
};

TEST_F(Regions, AddStoresTheBinsAndTheirHeights) {
    EXPECT_TRUE(AddRoi(0, 220, 200));
    const RoiRecord* r = Find(0, 200);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r, &settings.roi[0][0]);  // the first free slot
    EXPECT_EQ(r->endBin, 220);
    EXPECT_DOUBLE_EQ(r->startValue, 200 * h);
    EXPECT_DOUBLE_EQ(r->endValue, 220 * h);
    EXPECT_EQ(Used(1), 0);

    // Marks beyond the spectrum are clamped; equal marks make nothing.
    EXPECT_TRUE(AddRoi(1, 40000, 32000));
    EXPECT_NE(Find(1, 32000), nullptr);
    EXPECT_EQ(Find(1, 32000)->endBin, 32767);
    EXPECT_TRUE(AddRoi(1, 5, 5));
    EXPECT_EQ(Used(1), 1);
}

TEST_F(Regions, NewRegionReplacesEveryRegionItOverlaps) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    ASSERT_TRUE(AddRoi(0, 30, 40));
    ASSERT_TRUE(AddRoi(0, 50, 60));
    ASSERT_TRUE(AddRoi(0, 15, 30));  // touches the first two
    EXPECT_EQ(Used(0), 2);
    EXPECT_NE(Find(0, 15), nullptr);
    EXPECT_NE(Find(0, 50), nullptr);
    EXPECT_EQ(Find(0, 10), nullptr);
    EXPECT_EQ(Find(0, 30), nullptr);
}

TEST_F(Regions, FullTableAcceptsOnlyARegionThatReplacesOne) {
    for (int i = 0; i < ROI_SLOTS; ++i) ASSERT_TRUE(AddRoi(0, 100 * i, 100 * i + 50));
    ASSERT_EQ(Used(0), 32);
    RoiRecord before[ROI_SLOTS];
    std::memcpy(before, settings.roi[0], sizeof(before));
    EXPECT_FALSE(AddRoi(0, 3260, 3280));  // overlaps nothing
    EXPECT_EQ(std::memcmp(before, settings.roi[0], sizeof(before)), 0);

    EXPECT_TRUE(AddRoi(0, 1720, 1740));  // inside region 1700..1750
    EXPECT_EQ(Used(0), 32);
    EXPECT_EQ(Find(0, 1700), nullptr);
    EXPECT_NE(Find(0, 1720), nullptr);
}

TEST_F(Regions, DeleteFreesTheRegionsAtABinOrAllOfOneChannel) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    ASSERT_TRUE(AddRoi(0, 30, 40));
    ASSERT_TRUE(AddRoi(1, 10, 20));
    EXPECT_EQ(DeleteRoisAt(0, 25, false), 0);
    EXPECT_EQ(DeleteRoisAt(0, 20, false), 1);  // bounds inclusive
    EXPECT_EQ(Used(0), 1);
    EXPECT_TRUE(IsEmpty(settings.roi[0][0]));

    // After a bin-size change two regions may share a bin: both go.
    settings.roi[0][5] = settings.roi[0][1];
    settings.roi[0][5].startBin = 35;
    settings.roi[0][5].endBin = 50;
    EXPECT_EQ(DeleteRoisAt(0, 38, false), 2);

    ASSERT_TRUE(AddRoi(0, 100, 120));
    EXPECT_EQ(DeleteRoisAt(0, 0, true), 1);
    for (const RoiRecord& r : settings.roi[0]) EXPECT_TRUE(IsEmpty(r));
    EXPECT_EQ(Used(1), 1);  // the other channel keeps its regions
}

TEST_F(Regions, CopyLeftToRightTakesStatisticsAlong) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    settings.roi[0][0].gross = 77;
    ASSERT_TRUE(AddRoi(1, 500, 600));
    CopyRoisLeftToRight();
    EXPECT_EQ(std::memcmp(settings.roi[0], settings.roi[1], sizeof(settings.roi[0])), 0);
    EXPECT_EQ(settings.roi[1][0].gross, 77);
    EXPECT_EQ(Find(1, 500), nullptr);
}

TEST_F(Regions, SortPutsFreeSlotsFirstAndKeepsEqualStartsInOrder) {
    settings.roi[0][3] = {300, 310, 0, 0, 0, 0, 0, 0};
    settings.roi[0][7] = {100, 150, 0, 0, 0, 0, 0, 0};
    settings.roi[0][9] = {100, 120, 0, 0, 0, 0, 0, 0};
    settings.roi[0][31] = {5, 6, 0, 0, 0, 0, 0, 0};
    SortRois(0);
    for (int r = 0; r < 28; ++r) EXPECT_EQ(settings.roi[0][r].startBin, -1) << r;
    EXPECT_EQ(settings.roi[0][28].startBin, 5);
    EXPECT_EQ(settings.roi[0][29].endBin, 150);
    EXPECT_EQ(settings.roi[0][30].endBin, 120);
    EXPECT_EQ(settings.roi[0][31].startBin, 300);
}

TEST_F(Regions, BinsFollowTheHeightBinSize) {
    ASSERT_TRUE(AddRoi(0, 200, 220));
    settings.channel[0].heightBinSize = 0.2;
    QuantizeSettings(false);
    RefreshRoiBins(0);
    EXPECT_EQ(settings.roi[0][0].startBin, 100);
    EXPECT_EQ(settings.roi[0][0].endBin, 110);

    // Much finer bins move the region beyond the spectrum: it lands on the last bin, where such
    // heights are counted, and comes back when the bins grow again.
    settings.channel[0].heightBinSize = 0.00001;
    QuantizeSettings(false);
    RefreshRoiBins(0);
    EXPECT_EQ(settings.roi[0][0].startBin, 32767);
    EXPECT_EQ(settings.roi[0][0].endBin, 32767);
    settings.channel[0].heightBinSize = 0.1;
    QuantizeSettings(false);
    RefreshRoiBins(0);
    EXPECT_EQ(settings.roi[0][0].startBin, 200);
    EXPECT_EQ(settings.roi[0][0].endBin, 220);

    // Free slots stay free; bounds from a damaged file stay inside the spectrum.
    EXPECT_TRUE(IsEmpty(settings.roi[0][1]));
    settings.roi[0][2] = {1, 2, -50.0, NAN, 0, 0, 0, 0};
    RefreshRoiBins(0);
    EXPECT_EQ(settings.roi[0][2].startBin, 0);
    EXPECT_EQ(settings.roi[0][2].endBin, 0);
}

TEST_F(Regions, FlatSpectrumFallsBackToTheGrossCentroid) {
    Fill(0, 1000, 10);
    ASSERT_TRUE(AddRoi(0, 100, 120));
    const RoiRecord& r = Compute(0, 0);
    EXPECT_EQ(r.gross, 210);
    EXPECT_EQ(r.net, 0);
    EXPECT_DOUBLE_EQ(r.mean, 110 * h);
    EXPECT_NEAR(r.sd, std::sqrt((21.0 * 21.0 - 1) / 12) * h, 1e-12);
}

TEST_F(Regions, BaselineWindowsAreCutAtTheSpectrumEnds) {
    // Region 0..20: left window bins 0..2 (a = 40), right window 18..22 (b = 10).
    Fill(0, 100, 10);
    Fill(0, 2, 40);
    ASSERT_TRUE(AddRoi(0, 0, 20));
    const RoiRecord& low = Compute(0, 0);
    EXPECT_EQ(low.gross, 300);
    EXPECT_DOUBLE_EQ(low.net, 300 - (21 * 40 - 1.5 * 210));

    // Region 32747..32767: right window 32765..32767 only.
    Fill(32700, 32767, 10);
    Fill(32765, 32767, 40);
    ASSERT_TRUE(AddRoi(0, 32747, 32767));
    const RoiRecord& high = Compute(0, 1);
    EXPECT_EQ(high.gross, 300);
    EXPECT_DOUBLE_EQ(high.net, 300 - (21 * 10 + 1.5 * 210));
}

TEST_F(Regions, PeakOnASlopeGivesNetContentCentroidAndWidth) {
    // Background 100 - 0.1 i plus a discrete peak of mean 500 and variance 100 bins (two lines).
    for (int i = 0; i < 1000; ++i) X()[i] = 100 - 0.1 * i;
    X()[490] += 1000;
    X()[510] += 1000;
    ASSERT_TRUE(AddRoi(0, 460, 540));
    const RoiRecord& r = Compute(0, 0);
    EXPECT_NEAR(r.net, 2000, 1e-6);
    EXPECT_NEAR(r.mean, 500 * h, 1e-9);
    EXPECT_NEAR(r.sd, 10 * h, 1e-9);
    const double net = r.net;

    // "Fit linear" with slope 2 and offset 10: mean 2 x + 10, width times the slope through the origin.
    for (CalibrationRow& row : settings.calibration[0]) row = {0, 0, 0};
    settings.calibration[0][14] = {10, 1, 30};
    settings.calibration[0][15] = {20, 1, 50};
    settings.calibrationMode[0] = 1;
    ASSERT_TRUE(SetUpCalibration(0));
    settings.options[0].useCalibration = 1;
    const RoiRecord& calibrated = Compute(0, 0);
    EXPECT_NEAR(calibrated.mean, 2 * 500 * h + 10, 1e-9);
    EXPECT_NEAR(calibrated.sd, 10 * h * 2.6, 1e-9);
    EXPECT_EQ(calibrated.net, net);  // contents are never calibrated
}

TEST_F(Regions, DegenerateRegionsAndNegativeBinsGiveDefinedResults) {
    // A region squeezed onto one bin by a larger bin size.
    Fill(0, 100, 7);
    ASSERT_TRUE(AddRoi(0, 100, 101));
    settings.channel[0].heightBinSize = 10;
    QuantizeSettings(false);
    RefreshRoiBins(0);
    ASSERT_EQ(settings.roi[0][0].startBin, settings.roi[0][0].endBin);
    const RoiRecord& squeezed = Compute(0, 0);
    double wide = static_cast<double>(workingParameters[0][FIELD_HEIGHT_BIN_SIZE]) / HEIGHT_SCALE;
    EXPECT_EQ(squeezed.gross, 7);
    EXPECT_EQ(squeezed.net, 0);
    EXPECT_DOUBLE_EQ(squeezed.mean, 1 * wide);
    EXPECT_EQ(squeezed.sd, 0);

    // Negative bins after background subtraction: a negative gross variance gives no width.
    std::memset(X(), 0, sizeof(double) * 200);
    settings.roi[0][1] = EMPTY_ROI;
    settings.roi[0][1].startBin = 0;
    settings.roi[0][1].endBin = 10;
    X()[0] = 100;
    X()[1] = -100;
    X()[2] = 1;
    const RoiRecord& negative = Compute(0, 1);
    EXPECT_EQ(negative.gross, 1);
    EXPECT_TRUE(std::isfinite(negative.mean));
    EXPECT_EQ(negative.sd, 0);

    // Nothing at all: the middle of the region, no width.
    std::memset(X(), 0, sizeof(double) * 200);
    const RoiRecord& empty = Compute(0, 1);
    EXPECT_EQ(empty.gross, 0);
    EXPECT_DOUBLE_EQ(empty.mean, 5 * wide);
    EXPECT_EQ(empty.sd, 0);
}

TEST_F(Regions, SlotsOutsideTheSpectrumOrFreeAreLeftUnchanged) {
    settings.roi[0][0] = {40000, 41000, 4000, 4100, 1, 2, 3, 4};  // from a damaged file
    settings.roi[0][1] = {500, 400, 50, 40, 1, 2, 3, 4};          // reversed
    settings.roi[0][2] = {32760, 40000, 0, 0, 0, 0, 0, 0};        // partly outside: cut at 32767
    Fill(32700, 32767, 2);
    ComputeRoiStatistics(0);
    ComputeRoiStatistics(1);
    ComputeRoiStatistics(2);
    ComputeRoiStatistics(3);
    ComputeRoiStatistics(-1);
    ComputeRoiStatistics(32);
    EXPECT_EQ(settings.roi[0][0].gross, 3);
    EXPECT_EQ(settings.roi[0][1].gross, 3);
    EXPECT_EQ(settings.roi[0][2].gross, 16);
    EXPECT_TRUE(IsEmpty(settings.roi[0][3]));
}

TEST_F(Regions, StatisticsUseTheAnalysedChannel) {
    settings.channelSelection = 4;
    Fill(0, 200, 3);
    ASSERT_TRUE(AddRoi(1, 50, 60));
    ASSERT_TRUE(AddRoi(0, 50, 60));
    ComputeRoiStatistics(0);
    EXPECT_EQ(settings.roi[1][0].gross, 33);
    EXPECT_EQ(settings.roi[0][0].gross, 0);
}
}  // namespace
