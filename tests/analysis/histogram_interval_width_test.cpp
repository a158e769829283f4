// Interval and pulse-width histograms: S-fold pairs, overflow bin, incremental pairs at a pass
// boundary, width bins and statistics, and pulse times out of order.
#include <cmath>

#include "analysis/histograms.h"
#include "analysis/series.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
class IntervalWidth : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(100);
        ShowAllWindows();
        QuantizeSettings(false);  // interval and width bins of one sample
    }
};

TEST_F(IntervalWidth, SFoldPairsNeedOnlyTheirTwoEndsSelected) {
    settings.channel[0].sFold = 2;
    QuantizeSettings(false);
    settings.options[0].useAdvancedFilter = 1;
    settings.filterEnable[0][0] = 1;
    settings.filterLimits[0][0] = 1000;
    AddPulse(0, 0, 5, 5000);
    AddPulse(0, 10, 5, 10);  // not selected
    AddPulse(0, 30, 5, 5000);
    AddPulse(0, 70, 5, 5000);
    sampleClock = 100;
    RecomputeAll(false);
    // Pairs (0, 2) of 30 samples counted; (1, 3) not, its first end is not selected.
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 1);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][30], 1.0);
    EXPECT_EQ(dataLength[WND_INTERVAL], 30);
    EXPECT_EQ(intervalPeakBin, 30);
}

TEST_F(IntervalWidth, LongIntervalsAndWidthsLandInTheLastBin) {
    AddPulse(0, 0, 40000);
    AddPulse(0, 1000000, 3);
    sampleClock = 1000001;
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][32767], 1.0);
    EXPECT_EQ(dataLength[WND_INTERVAL], 32767);
    EXPECT_EQ(seriesData[SERIES_WIDTH][32767], 1.0);
    EXPECT_EQ(seriesData[SERIES_WIDTH][3], 1.0);
}

TEST_F(IntervalWidth, APassOfOnePulseAddsExactlyThePairsEndingAtIt) {
    settings.channel[0].sFold = 3;
    QuantizeSettings(false);
    for (int i = 0; i < 6; ++i) AddPulse(0, i * i * 10);
    sampleClock = 400;
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 3);  // pairs (0,3) (1,4) (2,5)
    bufferFirstPulse[0] = pulseCount[0];
    AddPulse(0, 600);
    sampleClock = 700;
    RecomputeAll(true);
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 4);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][600 - 90], 1.0);  // pair (3, 6)
    double incremental[HISTOGRAM_LENGTH];
    std::copy(seriesData[SERIES_INTERVAL], seriesData[SERIES_INTERVAL] + HISTOGRAM_LENGTH, incremental);
    RecomputeAll(false);
    EXPECT_TRUE(std::equal(incremental, incremental + HISTOGRAM_LENGTH, seriesData[SERIES_INTERVAL]));
}

TEST_F(IntervalWidth, WidthBinsAndStatistics) {
    settings.channel[0].widthBinSize = 100.0;  // 4.8 samples -> 5
    QuantizeSettings(false);
    ASSERT_EQ(workingParameters[0][FIELD_WIDTH_BIN_SIZE], 5);
    AddPulse(0, 1, 4);   // bin 0
    AddPulse(0, 2, 5);   // bin 1
    AddPulse(0, 3, 9);   // bin 1
    AddPulse(0, 4, 10);  // bin 2
    sampleClock = 10;
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_WIDTH][0], 1.0);
    EXPECT_EQ(seriesData[SERIES_WIDTH][1], 2.0);
    EXPECT_EQ(seriesData[SERIES_WIDTH][2], 1.0);
    EXPECT_EQ(dataLength[WND_WIDTH], 2);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 4);
    EXPECT_DOUBLE_EQ(widthHistMean, 1.0);
    EXPECT_DOUBLE_EQ(widthHistSd, std::sqrt(0.5));

    // Nothing selected: both statistics 0, data length 0.
    settings.channel[0].beginTime = 1.0;
    QuantizeSettings(false);
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 0);
    EXPECT_EQ(widthHistMean, 0.0);
    EXPECT_EQ(widthHistSd, 0.0);
    EXPECT_EQ(dataLength[WND_WIDTH], 0);
}

TEST_F(IntervalWidth, PulseTimesOutOfOrderCountAsIntervalZero) {
    // Only a damaged data file can hold these; a negative interval must not index before the series.
    AddPulse(0, 1000);
    AddPulse(0, 5);
    AddPulse(0, 2000);
    sampleClock = 3000;
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 2);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][0], 1.0);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][1995], 1.0);
}
}  // namespace
