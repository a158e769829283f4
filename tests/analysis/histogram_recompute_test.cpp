// RecomputeAll: the re-entry guard, hidden windows left alone, redraws only for changed series, the
// filtered pulse count, and the analysed channel's settings.
#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
class Recompute : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(100);
        QuantizeSettings(false);
        ShowAllWindows();
        for (int i = 0; i < 10; ++i) AddPulse(0, 1000 * i + 7, 3 + i);
        sampleClock = 2 * 48000;
    }
    static int Invalidations(int window) { return Headless().windows[window].invalidations; }
};

TEST_F(Recompute, DoesNothingWhileARecomputeIsRunning) {
    runState |= RS_RECOMPUTING;
    RecomputeAll(false);
    EXPECT_EQ(filteredPulseCount, 0);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 0);
    for (int w = 0; w < 7; ++w) EXPECT_EQ(Invalidations(w), 0);
    EXPECT_TRUE(runState & RS_RECOMPUTING) << "the running recompute clears it";
    runState &= ~RS_RECOMPUTING;
    RecomputeAll(false);
    EXPECT_EQ(filteredPulseCount, 10);
    EXPECT_FALSE(runState & RS_RECOMPUTING);
}

TEST_F(Recompute, HiddenWindowsAreNotRebuiltUntilAFullRebuildWhileShown) {
    Headless().windows[WND_WIDTH].visible = false;
    Headless().windows[WND_AUDIO_INPUT].visible = false;
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 0);
    EXPECT_EQ(Invalidations(WND_WIDTH), 0);
    EXPECT_EQ(Invalidations(WND_AUDIO_INPUT), 0);
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 9);
    EXPECT_EQ(Invalidations(WND_INTERVAL), 1);
    EXPECT_EQ(Invalidations(WND_PULSES), 1);
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);

    Headless().windows[WND_WIDTH].visible = true;
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 10);
    EXPECT_EQ(Invalidations(WND_WIDTH), 1);
}

TEST_F(Recompute, IncrementalRedrawsOnlyTheSeriesThatChanged) {
    RecomputeAll(false);
    int before[7];
    for (int w = 0; w < 7; ++w) before[w] = Invalidations(w);
    // A pass that adds no pulse and completes no step.
    bufferFirstPulse[0] = pulseCount[0];
    sampleClock += 100;
    RecomputeAll(true);
    for (int w = WND_RATE_TIME; w <= WND_WIDTH; ++w) EXPECT_EQ(Invalidations(w), before[w]) << w;
    EXPECT_FALSE(runState &
                 (RS_RATE_TIME_CHANGED | RS_RATE_HIST_CHANGED | RS_INTERVAL_CHANGED | RS_WIDTH_CHANGED));
    EXPECT_EQ(Invalidations(WND_PULSES), before[WND_PULSES] + 1);
    EXPECT_EQ(Invalidations(WND_AUDIO_INPUT), before[WND_AUDIO_INPUT] + 1);

    // A pass with one pulse that completes no step: the interval and width series change.
    bufferFirstPulse[0] = pulseCount[0];
    AddPulse(0, sampleClock, 4);
    sampleClock += 10;
    RecomputeAll(true);
    EXPECT_EQ(Invalidations(WND_RATE_TIME), before[WND_RATE_TIME]);
    EXPECT_EQ(Invalidations(WND_RATE_HIST), before[WND_RATE_HIST]);
    EXPECT_EQ(Invalidations(WND_INTERVAL), before[WND_INTERVAL] + 1);
    EXPECT_EQ(Invalidations(WND_WIDTH), before[WND_WIDTH] + 1);
    EXPECT_EQ(filteredPulseCount, 11);

    // A pass that only completes a step: the two step series change.
    bufferFirstPulse[0] = pulseCount[0];
    sampleClock = 3 * 48000;
    RecomputeAll(true);
    EXPECT_EQ(Invalidations(WND_RATE_TIME), before[WND_RATE_TIME] + 1);
    EXPECT_EQ(Invalidations(WND_RATE_HIST), before[WND_RATE_HIST] + 1);
    EXPECT_EQ(Invalidations(WND_WIDTH), before[WND_WIDTH] + 1);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 3);
}

TEST_F(Recompute, TheAnalysedChannelAndItsSettingsAreUsed) {
    AddPulse(1, 500, 40);
    AddPulse(1, 700, 41);
    settings.channel[1].widthBinSize = 1e6 / 48000 * 10;  // 10 samples
    QuantizeSettings(false);
    settings.channelSelection = 3;  // Right All
    RecomputeAll(false);
    EXPECT_EQ(filteredPulseCount, 2);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 2);
    EXPECT_EQ(seriesData[SERIES_WIDTH][4], 2.0);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][200], 1.0);
    settings.channelSelection = 5;  // Right Anticoincidence: the same two pulses
    Pulse(1, 1).partner = 3;
    RecomputeAll(false);
    EXPECT_EQ(filteredPulseCount, 1);
}
TEST_F(Recompute, ANewAcquisitionStartsTheStepSeriesAtItsFirstPulse) {
    RecomputeAll(false);
    ASSERT_EQ(dataLength[WND_RATE_TIME], 2);
    ClearAcquisition();
    EXPECT_EQ(entryCount[SERIES_RATE_HIST], 0);
    // The new acquisition's first pass, before any full rebuild.
    bufferFirstPulse[0] = 0;
    AddPulse(0, 100);
    AddPulse(0, 200);
    sampleClock = 48000;
    RecomputeAll(true);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 1);
    EXPECT_EQ(seriesData[SERIES_RATE_TIME][0], 2.0);
    EXPECT_EQ(entryCount[SERIES_RATE_HIST], 1);
    EXPECT_EQ(seriesData[SERIES_RATE_HIST][2], 1.0);
}

TEST_F(Recompute, BinSizesOfZeroSamplesCountAsOneSample) {
    // Working units derived for another sample rate can hold 0; no division by a zero bin.
    workingParameters[0][FIELD_INTERVAL_BIN_SIZE] = 0;
    workingParameters[0][FIELD_WIDTH_BIN_SIZE] = 0;
    workingParameters[0][FIELD_S_FOLD] = 0;
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 9);
    EXPECT_EQ(seriesData[SERIES_INTERVAL][1000], 9.0);
    EXPECT_EQ(seriesData[SERIES_WIDTH][3], 1.0);
    EXPECT_EQ(seriesData[SERIES_WIDTH][12], 1.0);
}
}  // namespace
