// Counting rate vs time and the counting-rate histogram: completed steps, the step boundary rule,
// bins of whole counts, degenerate time steps and the statistics.
#include <cmath>

#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
class RateSeries : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(1000);
        ShowAllWindows();
        QuantizeSettings(true);  // the rate grid of a capture at 48000/s
    }
    static void Configure(double timeStep, double rateBinSize) {
        settings.channel[0].timeStep = timeStep;
        settings.channel[0].rateBinSize = rateBinSize;
        QuantizeSettings(false);
    }
    // Starts a detector pass: the pulses added next belong to it.
    static void BeginPass() { bufferFirstPulse[0] = pulseCount[0]; }
};

TEST_F(RateSeries, OnlyCompletedStepsAreStoredAndABoundaryPulseBelongsToTheNextStep) {
    Configure(1.0, 1.0);
    AddPulse(0, 100);
    AddPulse(0, 47999);
    AddPulse(0, 48000);  // exactly 1.0 s
    AddPulse(0, 90000);
    AddPulse(0, 110000);   // in the third, incomplete step
    sampleClock = 120000;  // 2.5 s
    RecomputeAll(false);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 2);
    EXPECT_EQ(seriesData[0][0], 2.0);
    EXPECT_EQ(seriesData[0][1], 2.0);
    EXPECT_EQ(seriesData[0][2], 0.0);
    EXPECT_EQ(entryCount[SERIES_RATE_HIST], 2);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][2], 2.0);
}

TEST_F(RateSeries, ThePulseThatEndsAStepIsCountedInTheNextOneIncrementally) {
    Configure(1.0, 1.0);
    RecomputeAll(false);
    BeginPass();
    AddPulse(0, 1000);
    AddPulse(0, 48000);  // ends step 1 when it is examined
    AddPulse(0, 60000);
    sampleClock = 72000;
    RecomputeAll(true);
    ASSERT_EQ(dataLength[WND_RATE_TIME], 1);
    EXPECT_EQ(seriesData[0][0], 1.0);
    BeginPass();
    AddPulse(0, 90000);
    sampleClock = 96000;
    RecomputeAll(true);
    ASSERT_EQ(dataLength[WND_RATE_TIME], 2);
    EXPECT_EQ(seriesData[0][1], 3.0) << "the pulse at 1.0 s is not lost";
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][1], 1.0);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][3], 1.0);
}

TEST_F(RateSeries, StepCountsFallInBinsOfWholeCounts) {
    for (int i = 0; i < 5; ++i) AddPulse(0, 1000 + i);
    for (int i = 0; i < 3; ++i) AddPulse(0, 50000 + i);
    sampleClock = 96000;
    Configure(1.0, 1.0);
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][5], 1.0);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][3], 1.0);
    EXPECT_EQ(dataLength[WND_RATE_HIST], 5);
    Configure(1.0, 2.0);
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][2], 1.0);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][1], 1.0);
    EXPECT_EQ(dataLength[WND_RATE_HIST], 2);
    // A rate bin that is no whole multiple of 1 / timeStep (a hand-edited settings file) keeps its
    // fractional width: 5 / 1.5 and 3 / 1.5 counts.
    Configure(1.0, 1.5);
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][3], 1.0);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][2], 1.0);
}

TEST_F(RateSeries, SnappedRateBinOfOneCountPerStepIsWhole) {
    // 0.11 s at 48 kHz: rateBinSize 1 / 0.11 snaps to 436364 / 48000 and the product with the time step
    // is 1.00000083; each step's count must still be its own bin.
    Configure(0.11, 1.0 / 0.11);
    ASSERT_NE(settings.channel[0].rateBinSize * settings.channel[0].timeStep, 1.0);
    int64_t step = workingParameters[0][FIELD_TIME_STEP];
    ASSERT_EQ(step, 5280);
    for (int k = 0; k < 6; ++k)
        for (int n = 0; n < k; ++n) AddPulse(0, k * step + n);
    sampleClock = 6 * step;
    RecomputeAll(false);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(seriesData[SERIES_RATE_HIST][k], 1.0) << "bin " << k;
    EXPECT_DOUBLE_EQ(rateHistMean, 2.5);
    EXPECT_DOUBLE_EQ(rateHistSd, std::sqrt(35.0 / 12.0));

    // The shortest time step snaps from 4.8 to 5 samples, so its minimum bin of 10000/s spans 1.0417
    // counts; it is still one count per bin.
    Configure(0.0001, 10000.0);
    ASSERT_EQ(workingParameters[0][FIELD_TIME_STEP], 5);
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][0], 6 * step / 5 - 5.0);
    for (int k = 1; k < 6; ++k) EXPECT_EQ(seriesData[SERIES_RATE_HIST][k], 1.0) << "bin " << k;
}

TEST_F(RateSeries, ATimeStepOfZeroSamplesCountsAsOneSample) {
    dataSampleRate = 1000;
    QuantizeSettings(true);
    Configure(0.0001, 0.0001);
    ASSERT_EQ(workingParameters[0][FIELD_TIME_STEP], 0);
    AddPulse(0, 2);
    AddPulse(0, 3);
    AddPulse(0, 7);
    sampleClock = 10;
    RecomputeAll(false);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 10);
    EXPECT_EQ(seriesData[0][2], 1.0);
    EXPECT_EQ(seriesData[0][3], 1.0);
    EXPECT_EQ(seriesData[0][7], 1.0);
    EXPECT_EQ(seriesData[0][8], 0.0);
    EXPECT_EQ(entryCount[SERIES_RATE_HIST], 10);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][1], 3.0);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][0], 7.0);
    EXPECT_TRUE(std::isfinite(rateHistMean));
}

TEST_F(RateSeries, StepsStopAtTheEndOfTheTimeWindow) {
    settings.channel[0].beginTime = 1.0;
    settings.channel[0].durationTime = 2.5;
    Configure(1.0, 1.0);
    AddPulse(0, 10);      // before the window: skipped
    AddPulse(0, 48000);   // step 1
    AddPulse(0, 150000);  // step 3, which ends after the window
    sampleClock = 10 * 48000;
    RecomputeAll(false);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 2);
    EXPECT_EQ(seriesData[0][0], 1.0);
    EXPECT_EQ(seriesData[0][1], 0.0);
    EXPECT_EQ(entryCount[SERIES_RATE_HIST], 2);
}

TEST_F(RateSeries, AnOverfullStepLandsInTheLastBin) {
    Configure(1.0, 1.0);
    MakeStore(40000);
    for (int i = 0; i < 40000; ++i) AddPulse(0, i);
    sampleClock = 48000;
    RecomputeAll(false);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][32767], 1.0);
    EXPECT_EQ(dataLength[WND_RATE_HIST], 32767);
}
}  // namespace
