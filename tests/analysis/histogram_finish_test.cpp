// FinishHistogram (display values, log scale, maxima, interval peak) and EstimateDeadTime on
// generated Poisson streams with and without dead time.
#include <cmath>
#include <random>

#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
TEST_F(TikTest, EmptySeriesKeepTheirMaximaAboveZero) {
    MakeStore(10);
    ShowAllWindows();
    QuantizeSettings(false);
    sampleClock = 40000;  // no step completed either
    RecomputeAll(false);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(displayMax[s], 1e-34) << s;
        EXPECT_EQ(rawMax[s], 1e-34) << s;
    }
    EXPECT_EQ(dataLength[WND_RATE_HIST], 0);
    EXPECT_EQ(dataLength[WND_INTERVAL], 0);
    EXPECT_EQ(intervalPeakBin, 0);
}

TEST_F(TikTest, LogScaleShowsZeroForEmptyBinsAndOneForEMinusOne) {
    double* raw = seriesData[SERIES_WIDTH];
    double* display = raw + HISTOGRAM_LENGTH;
    raw[0] = 0.0;
    raw[1] = std::exp(1.0) - 1.0;
    raw[2] = 7.0;
    display[3] = 42.0;  // beyond dataLength + extraUnits: left alone
    dataLength[WND_WIDTH] = 0;
    settings.options[0].logWidthHistogram = 1;
    FinishHistogram(SERIES_WIDTH, 0);
    EXPECT_EQ(display[0], 0.0);
    EXPECT_DOUBLE_EQ(display[1], 1.0);
    EXPECT_EQ(display[3], 42.0);
    EXPECT_DOUBLE_EQ(displayMax[SERIES_WIDTH], 1.0);
    EXPECT_DOUBLE_EQ(rawMax[SERIES_WIDTH], std::exp(1.0) - 1.0);

    // The right channel's switch is its own; off, the raw values are shown.
    FinishHistogram(SERIES_WIDTH, 1);
    EXPECT_EQ(display[1], raw[1]);
    dataLength[WND_WIDTH] = 1;
    FinishHistogram(SERIES_WIDTH, 1);
    EXPECT_EQ(display[2], 7.0);
    EXPECT_EQ(displayMax[SERIES_WIDTH], 7.0);
}

TEST_F(TikTest, NegativeHeightValuesAreShownAsZeroWithTheHeightSwitch) {
    double* raw = seriesData[SERIES_HEIGHT];
    double* display = raw + HISTOGRAM_LENGTH;
    raw[0] = -3.0;
    raw[1] = 2.0;
    dataLength[WND_HEIGHT] = 1;
    FinishHistogram(SERIES_HEIGHT, 0);
    EXPECT_EQ(display[0], 0.0);
    EXPECT_EQ(display[1], 2.0);
    settings.options[0].logHeightHistogram = 1;
    FinishHistogram(SERIES_HEIGHT, 0);
    EXPECT_EQ(display[0], 0.0);
    EXPECT_DOUBLE_EQ(display[1], std::log(3.0));
    // The correlation uses the height window's length and switch too.
    seriesData[SERIES_CORRELATION][16] = 5.0;
    FinishHistogram(SERIES_CORRELATION, 0);
    EXPECT_DOUBLE_EQ(seriesData[SERIES_CORRELATION][HISTOGRAM_LENGTH + 16], std::log(6.0));
}

TEST_F(TikTest, MaximaSkipTheLastEntryAndTheFirstIntervalPeakWins) {
    double* raw = seriesData[SERIES_INTERVAL];
    raw[3] = 9.0;
    raw[7] = 9.0;
    raw[32767] = 100.0;
    dataLength[WND_INTERVAL] = 32767;
    FinishHistogram(SERIES_INTERVAL, 0);
    EXPECT_EQ(intervalPeakBin, 3);
    EXPECT_EQ(rawMax[SERIES_INTERVAL], 9.0);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][HISTOGRAM_LENGTH + 32767], 100.0) << "shown, though";
}

// A recording of `pulses` pulses from a Poisson source of `perSample` events per sample behind a
// non-paralysable dead time of `deadSamples` (events within it of the last recorded one are lost).
void StoreDeadTimeStream(unsigned seed, uint32_t pulses, double perSample, double deadSamples) {
    std::mt19937_64 random(seed);
    std::exponential_distribution<double> gap(perSample);
    double t = 0.0, lastRecorded = -1e18;
    int64_t lastTime = -1;
    while (pulseCount[0] < pulses) {
        t += gap(random);
        if (t - lastRecorded < deadSamples) continue;
        int64_t frame = static_cast<int64_t>(t);
        if (frame == lastTime) continue;
        AddPulse(0, frame);
        lastRecorded = t;
        lastTime = frame;
    }
    sampleClock = lastTime + 1;
}

class DeadTime : public TikTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        settings.channel[0].intervalBinSize = 100.0;  // 5 samples
        QuantizeSettings(false);
        ASSERT_EQ(workingParameters[0][FIELD_INTERVAL_BIN_SIZE], 5);
        MakeStore(200000);
        ShowAllWindows(false);
        Headless().windows[WND_INTERVAL].visible = true;
    }
};

TEST_P(DeadTime, RecoversAKnownDeadTimeOfTwentyBins) {
    StoreDeadTimeStream(GetParam(), 200000, 0.007, 100.0);
    RecomputeAll(false);
    double estimate = 0.0;
    ASSERT_TRUE(EstimateDeadTime(&estimate));
    double truth = 100.0 / 48000.0 * 1e6;
    EXPECT_NEAR(estimate, truth, 0.1 * truth);
}

TEST_P(DeadTime, GivesNoneOrLittleWithoutDeadTime) {
    StoreDeadTimeStream(GetParam(), 200000, 0.007, 0.0);
    RecomputeAll(false);
    double estimate = 0.0;
    if (EstimateDeadTime(&estimate)) {
        EXPECT_LT(estimate, 0.1 * 100.0 / 48000.0 * 1e6);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, DeadTime, ::testing::Values(3u, 17u, 29u));

TEST_F(TikTest, DeadTimeNeedsSFoldOneAndThreePeakBinsOfData) {
    QuantizeSettings(false);
    double estimate = -1.0;
    // Peak in bin 0: the middle block is empty.
    double* raw = seriesData[SERIES_INTERVAL];
    raw[0] = 10.0;
    raw[1] = 4.0;
    dataLength[WND_INTERVAL] = 6;
    FinishHistogram(SERIES_INTERVAL, 0);
    ASSERT_EQ(intervalPeakBin, 0);
    EXPECT_FALSE(EstimateDeadTime(&estimate));

    // Peak in bin 2 with counts missing below it: an estimate while 3 x 2 bins hold data.
    std::fill(raw, raw + HISTOGRAM_LENGTH, 0.0);
    double h[] = {1, 2, 8, 7, 6, 5};
    std::copy(h, h + 6, raw);
    dataLength[WND_INTERVAL] = 6;
    FinishHistogram(SERIES_INTERVAL, 0);
    ASSERT_EQ(intervalPeakBin, 2);
    ASSERT_TRUE(EstimateDeadTime(&estimate));
    EXPECT_DOUBLE_EQ(estimate,
                     (1.0 - 3.0 * 11.0 / (15.0 * 15.0)) * 2.5 * settings.channel[0].intervalBinSize);
    dataLength[WND_INTERVAL] = 5;
    EXPECT_FALSE(EstimateDeadTime(&estimate));
    dataLength[WND_INTERVAL] = 6;
    settings.channel[0].sFold = 2;
    QuantizeSettings(false);
    EXPECT_FALSE(EstimateDeadTime(&estimate));
}
}  // namespace
