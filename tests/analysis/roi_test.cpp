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
    static void Fill(int32_t from, int32_t to, double value) { std::fill(X() + from, X() + to + 1, value); }
    static const RoiRecord& Compute(int c, int slot) {
        ComputeRoiStatistics(slot);
        return settings.roi[c][slot];
    }
    static void SetBinSize(double arb) {
        settings.channel[0].heightBinSize = arb;
        QuantizeSettings(false);
        RefreshRoiBins(0);
    }
    double h = 0;
};

TEST_F(Regions, AddStoresTheBinsAndHeightsAndReplacesEveryRegionItOverlaps) {
    EXPECT_TRUE(AddRoi(0, 220, 200));
    EXPECT_EQ(settings.roi[0][0].endBin, 220);  // the first free slot
    EXPECT_DOUBLE_EQ(settings.roi[0][0].startValue, 200 * h);
    // Marks beyond the spectrum are clamped; equal marks make nothing.
    EXPECT_TRUE(AddRoi(1, 40000, 32000));
    EXPECT_EQ(Find(1, 32000)->endBin, 32767);
    EXPECT_TRUE(AddRoi(1, 5, 5));
    EXPECT_EQ(Used(1), 1);

    ASSERT_TRUE(AddRoi(0, 10, 20));
    ASSERT_TRUE(AddRoi(0, 30, 40));
    ASSERT_TRUE(AddRoi(0, 15, 30));  // touches 10..20 and 30..40
    EXPECT_EQ(Used(0), 2);
    EXPECT_NE(Find(0, 15), nullptr);
    EXPECT_NE(Find(0, 200), nullptr);

    // A full table accepts only a region that replaces one.
    for (int i = 3; i < ROI_SLOTS + 1; ++i) ASSERT_TRUE(AddRoi(0, 1000 * i, 1000 * i + 50));
    ASSERT_EQ(Used(0), ROI_SLOTS);
    EXPECT_FALSE(AddRoi(0, 32600, 32700));
    EXPECT_TRUE(AddRoi(0, 3020, 3040));
    EXPECT_EQ(Find(0, 3000), nullptr);
}

TEST_F(Regions, DeleteCopyAndSort) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    ASSERT_TRUE(AddRoi(0, 30, 40));
    ASSERT_TRUE(AddRoi(1, 500, 600));
    EXPECT_EQ(DeleteRoisAt(0, 25, false), 0);
    EXPECT_EQ(DeleteRoisAt(0, 20, false), 1);  // bounds inclusive
    EXPECT_EQ(std::memcmp(&settings.roi[0][0], &EMPTY_ROI, sizeof(RoiRecord)), 0);
    // After a bin-size change two regions may share a bin: both go.
    settings.roi[0][5] = {35, 50, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DeleteRoisAt(0, 38, false), 2);
    ASSERT_TRUE(AddRoi(0, 100, 120));
    settings.roi[0][0].gross = 77;
    CopyRoisLeftToRight();
    EXPECT_EQ(std::memcmp(settings.roi[0], settings.roi[1], sizeof(settings.roi[0])), 0);
    EXPECT_EQ(DeleteRoisAt(0, 0, true), 1);
    EXPECT_EQ(Used(0), 0);
    EXPECT_EQ(Used(1), 1);  // the other channel keeps its regions

    // Sorting puts free slots first and keeps equal starts in order.
    settings.roi[0][7] = {100, 150, 0, 0, 0, 0, 0, 0};
    settings.roi[0][9] = {100, 120, 0, 0, 0, 0, 0, 0};
    SortRois(0);
    EXPECT_EQ(settings.roi[0][29].startBin + settings.roi[0][30].endBin + settings.roi[0][31].endBin, -1 + 150 + 120);
}

TEST_F(Regions, BinsFollowTheHeightBinSize) {
    ASSERT_TRUE(AddRoi(0, 203, 223));
    SetBinSize(0.4);  // 50.75 and 55.75 bins: the nearest
    EXPECT_EQ(settings.roi[0][0].startBin, 51);
    EXPECT_EQ(settings.roi[0][0].endBin, 56);
    // Much finer bins move the region beyond the spectrum: it lands on the last bin, where such
    // heights are counted, and comes back when the bins grow again.
    SetBinSize(0.00001);
    EXPECT_EQ(settings.roi[0][0].startBin, 32767);
    SetBinSize(0.1);
    EXPECT_EQ(settings.roi[0][0].startBin, 203);
    // Bounds from a damaged file stay inside the spectrum.
    settings.roi[0][2] = {1, 2, -50.0, NAN, 0, 0, 0, 0};
    RefreshRoiBins(0);
    EXPECT_EQ(settings.roi[0][2].startBin, 0);
    EXPECT_EQ(settings.roi[0][2].endBin, 0);
}

TEST_F(Regions, BaselineWindowsAreCutAtTheSpectrumEndsAndAFlatSpectrumHasNoNet) {
    // Region 0..20: left window bins 0..2 (a = 40), right window 18..22 (b = 10).
    Fill(0, 100, 10);
    Fill(0, 2, 40);
    ASSERT_TRUE(AddRoi(0, 0, 20));
    EXPECT_EQ(Compute(0, 0).gross, 300);
    EXPECT_DOUBLE_EQ(Compute(0, 0).net, 300 - (21 * 40 - 1.5 * 210));
    // Region 32747..32767: right window 32765..32767 only.
    Fill(32700, 32767, 10);
    Fill(32765, 32767, 40);
    ASSERT_TRUE(AddRoi(0, 32747, 32767));
    EXPECT_DOUBLE_EQ(Compute(0, 1).net, 300 - (21 * 10 + 1.5 * 210));
    // Flat: no net content, the centroid and width of the gross content.
    ASSERT_TRUE(AddRoi(0, 50, 70));
    const RoiRecord& flat = Compute(0, 2);
    EXPECT_EQ(flat.gross, 210);
    EXPECT_EQ(flat.net, 0);
    EXPECT_DOUBLE_EQ(flat.mean, 60 * h);
    EXPECT_NEAR(flat.sd, std::sqrt((21.0 * 21.0 - 1) / 12) * h, 1e-12);
    // Negative bins after background subtraction: a negative gross variance gives no width; nothing
    // at all: the middle of the region, no width.
    Fill(0, 100, 0);
    X()[0] = 100;
    X()[1] = -100;
    X()[2] = 1;
    EXPECT_EQ(Compute(0, 0).gross, 1);
    EXPECT_TRUE(std::isfinite(Compute(0, 0).mean));
    EXPECT_EQ(Compute(0, 0).sd, 0);
    X()[0] = X()[1] = X()[2] = 0;
    EXPECT_DOUBLE_EQ(Compute(0, 0).mean, 10 * h);
    EXPECT_EQ(Compute(0, 0).sd, 0);
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
    // "Fit linear" with slope 2 and offset 10: mean 2 x + 10, width times the slope through the origin;
    // contents are never calibrated.
    for (CalibrationRow& row : settings.calibration[0]) row = {0, 0, 0};
    settings.calibration[0][14] = {10, 1, 30};
    settings.calibration[0][15] = {20, 1, 50};
    settings.calibrationMode[0] = CALIBRATION_FIT_LINEAR;
    ASSERT_TRUE(SetUpCalibration(0));
    settings.options[0].useCalibration = 1;
    const RoiRecord& calibrated = Compute(0, 0);
    EXPECT_NEAR(calibrated.mean, 2 * 500 * h + 10, 1e-9);
    EXPECT_NEAR(calibrated.sd, 10 * h * 2.6, 1e-9);
    EXPECT_NEAR(calibrated.net, 2000, 1e-6);
}

TEST_F(Regions, SlotsOutsideTheSpectrumOrFreeAndOtherChannelsAreLeftAlone) {
    settings.roi[0][0] = {40000, 41000, 4000, 4100, 1, 2, 3, 4};  // from a damaged file
    settings.roi[0][1] = {500, 400, 50, 40, 1, 2, 3, 4};          // reversed
    settings.roi[0][2] = {32760, 40000, 0, 0, 0, 0, 0, 0};        // partly outside: cut at 32767
    settings.roi[1][4] = {32760, 32767, 0, 0, 0, 0, 0, 0};
    Fill(32700, 32767, 2);
    for (int slot : {-1, 0, 1, 2, 3, 4, 32}) ComputeRoiStatistics(slot);
    EXPECT_EQ(settings.roi[0][0].gross, 3);
    EXPECT_EQ(settings.roi[0][1].gross, 3);
    EXPECT_EQ(settings.roi[0][2].gross, 16);
    EXPECT_EQ(settings.roi[0][3].startBin, -1);
    EXPECT_EQ(settings.roi[1][4].gross, 0) << "the right channel is not analysed";
    settings.channelSelection = 4;
    ComputeRoiStatistics(4);
    EXPECT_EQ(settings.roi[1][4].gross, 16);
}
}  // namespace
