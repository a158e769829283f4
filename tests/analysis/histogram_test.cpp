// The histogram series and the height spectrum: incremental builds against one full rebuild on
// generated recordings, the boundaries of steps, bins and time windows, the display values, the
// dead-time estimate and what RecomputeAll rebuilds and redraws.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/support/store_fill.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
void ShowAllWindows() {
    for (HeadlessWindow& w : Headless().windows) w.created = w.visible = true;
}

using Recording = std::array<std::vector<PulseRecord>, 2>;

// Both channels over 10 s at 48 kHz: Poisson arrivals at about `rate` per second and channel, 40 % of
// them coincident (same frame in both channels, linked), with random widths, heights and distortions.
Recording GenerateRecording(unsigned seed, double rate) {
    std::mt19937_64 random(seed);
    std::exponential_distribution<double> gap(rate / 48000.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<uint32_t> width(1, 200), height(1000000, 2000000000), distortion(0, 400000000);
    Recording r;
    for (double t = gap(random) + 1.0; t < 480000.0; t += gap(random) + 1.0) {
        auto frame = static_cast<int64_t>(t);
        if ((!r[0].empty() && frame <= r[0].back().time) || (!r[1].empty() && frame <= r[1].back().time)) continue;
        double kind = unit(random);
        bool pair = kind < 0.4;
        auto partner = static_cast<uint32_t>(pair ? r[1].size() : 0);
        r[kind < 0.7 ? 0 : 1].push_back({frame, width(random), height(random), distortion(random), partner});
        if (pair) r[1].push_back({frame, width(random), height(random), distortion(random), uint32_t(r[0].size() - 1)});
    }
    return r;
}

// Stores the pulses before `to` and advances the clock to `to`, as one detector pass does.
void StorePass(const Recording& recording, int64_t to) {
    for (int c = 0; c < 2; ++c) {
        bufferFirstPulse[c] = pulseCount[c];
        for (uint32_t& i = pulseCount[c]; i < recording[c].size() && recording[c][i].time < to; ++i)
            Pulse(c, i) = recording[c][i];
    }
    sampleClock = to;
}

// Everything a build leaves: both halves of the six series, lengths, counts, maxima and statistics.
// (`s` keeps its storage from case to case: 10 MB fresh from the system each time would be slow.)
void Snapshot(std::vector<double>& s) {
    s.clear();
    for (int series = 0; series < SERIES_COUNT; ++series) {
        const double* data = seriesData[series];
        int64_t length = seriesLength[series];
        s.insert(s.end(), data, data + length);
        int64_t shown = std::min(dataLength[std::min(series + 1, 5)] + extraUnits[std::min(series + 1, 5)], length);
        s.insert(s.end(), data + length, data + length + shown);
        s.insert(s.end(), {displayMax[series], rawMax[series], static_cast<double>(entryCount[series])});
    }
    for (int w = 0; w < 6; ++w) s.push_back(static_cast<double>(dataLength[w]));
    s.insert(s.end(), heightCounts, heightCounts + HEIGHT_BINS);
    s.insert(s.end(), {static_cast<double>(intervalPeakBin), static_cast<double>(filteredPulseCount), rateHistMean,
                       rateHistSd, widthHistMean, widthHistSd});
}

// Settings that vary with the seed: steps that end inside passes, a time window that starts late and
// ends early, bins of several samples, log scales, background, sum quantity and calibration.
void Configure(std::mt19937& random, int sFold, bool filter, int channelSelection) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto coin = [&] { return static_cast<uint8_t>(unit(random) < 0.5); };
    settings.channelSelection = static_cast<int8_t>(channelSelection);
    for (int c = 0; c < 2; ++c) {
        ChannelSettings& ch = settings.channel[c];
        ch.beginTime = 0.7 * unit(random);
        ch.durationTime = 6.0 + 3.0 * unit(random);
        ch.timeStep = coin() ? 0.05 + 0.2 * unit(random) : 0.3 + unit(random);
        ch.rateBinSize = (coin() ? 1.0 : 3.0) / ch.timeStep;
        ch.intervalBinSize = 50.0 + 200.0 * unit(random);
        ch.widthBinSize = 20.0 + 400.0 * unit(random);
        ch.sFold = sFold;
        ch.correction = 30.0 * unit(random);
        ChannelOptions& o = settings.options[c];
        for (uint8_t* option : {&o.logRateVsTime, &o.logRateHistogram, &o.logIntervalHistogram, &o.logWidthHistogram,
                               &o.logHeightHistogram, &o.subtractBackground, &o.sumQuantity, &o.useCalibration})
            *option = coin();
        o.useAdvancedFilter = filter;
        o.gaussianCorrelation = 1;
        settings.filterEnable[c][0] = settings.filterEnable[c][1] = settings.filterEnable[c][2] = 1;
        const double limits[6] = {3.0e8 * unit(random), 1.4e9 + 4.0e8 * unit(random), 0.0, 3.0e8,
                                  10.0 * unit(random), 150.0 + 40.0 * unit(random)};
        std::memcpy(settings.filterLimits[c], limits, sizeof(limits));
    }
    QuantizeSettings(false);
    ASSERT_TRUE(SetUpCalibration(0));
    ASSERT_TRUE(SetUpCalibration(1));
}

// Generated recordings fed pass by pass with an incremental RecomputeAll after each give exactly what
// one full rebuild gives, for every channel selection (twice), S-fold and filter switch.
TEST_F(TikTest, IncrementalRecomputesEqualOneFullRebuild) {
    static std::vector<double> incremental, full;  // storage kept from case to case
    int selection = 0;
    for (unsigned seed : {11u, 23u, 37u})
        for (int fold : {1, 3})
            for (bool filter : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "seed " << seed << " S " << fold << " filter " << filter
                                                  << " selection " << selection);
                SetUp();
                std::mt19937 random(seed * 7919u + static_cast<unsigned>(fold));
                Configure(random, fold, filter, selection++ % 6);
                const Recording recording = GenerateRecording(seed, 700.0);
                const Recording weaker = GenerateRecording(seed + 100, 300.0);
                MakeStore(20000);
                FillStore(weaker[0], weaker[1], 480000);
                SetDataAsBackground();  // a weaker recording seen before
                MakeStore(20000);
                ShowAllWindows();
                RecomputeAll(false);  // as Start does, on the empty store
                // Passes of irregular length, as a WAV replay or a half-second buffer would give.
                std::uniform_int_distribution<int64_t> passLength(1, 30000);
                int passes = 0;
                for (int64_t clock = 0; clock < 480000; ++passes) {
                    clock = std::min<int64_t>(clock + passLength(random), 480000);
                    StorePass(recording, clock);
                    RecomputeAll(true);
                }
                Snapshot(incremental);
                RecomputeAll(false);
                Snapshot(full);
                // The runs must have had something to count.
                EXPECT_GE(dataLength[WND_RATE_HIST], 3);
                EXPECT_GT(std::min({entryCount[SERIES_INTERVAL], entryCount[SERIES_HEIGHT], int64_t{passes}}), 10);
                size_t same = 0;
                while (same < full.size() && std::memcmp(&incremental[same], &full[same], sizeof(double)) == 0) ++same;
                EXPECT_EQ(same, full.size()) << "the first value that differs";
            }
}

class Histograms : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(1000);
        ShowAllWindows();
        QuantizeSettings(true);  // the grids of a capture at 48000/s; interval and width bins of one sample
    }
    static void Configure(double timeStep, double rateBinSize) {
        settings.channel[0].timeStep = timeStep;
        settings.channel[0].rateBinSize = rateBinSize;
        QuantizeSettings(false);
    }
    static double* Raw(int series) { return seriesData[series]; }
};

TEST_F(Histograms, OnlyCompletedStepsCountAndABoundaryPulseBelongsToTheNextStep) {
    Configure(1.0, 1.0);
    for (int64_t t : {100, 47999, 48000, 90000, 110000}) AddPulse(0, t);  // 48000: exactly 1.0 s
    sampleClock = 120000;                                                 // 2.5 s: the third step is incomplete
    RecomputeAll(false);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 2);
    EXPECT_EQ(Raw(SERIES_RATE_TIME)[0], 2.0);
    EXPECT_EQ(Raw(SERIES_RATE_TIME)[1], 2.0);
    EXPECT_EQ(entryCount[SERIES_RATE_HIST], 2);
    EXPECT_EQ(Raw(SERIES_RATE_HIST)[2], 2.0);
    // A rate bin of 1.5 counts per step (a hand-edited settings file) keeps its fractional width.
    Configure(1.0, 1.5);
    RecomputeAll(false);
    EXPECT_EQ(Raw(SERIES_RATE_HIST)[1], 2.0);
    // Steps stop at the end of the time window: step 3 (2 s to 3 s) ends after 1 s + 1.5 s.
    settings.channel[0].beginTime = 1.0;
    settings.channel[0].durationTime = 1.5;
    QuantizeSettings(false);
    sampleClock = 10 * 48000;
    RecomputeAll(false);
    EXPECT_EQ(dataLength[WND_RATE_TIME], 1);
    EXPECT_EQ(Raw(SERIES_RATE_TIME)[0], 2.0);
}

TEST_F(Histograms, SnappedRateBinOfOneCountPerStepIsWhole) {
    // 0.11 s at 48 kHz: rateBinSize 1 / 0.11 snaps to 436364 / 48000 and the product with the time step
    // is 1.00000083; each step's count must still be its own bin.
    Configure(0.11, 1.0 / 0.11);
    const int64_t step = workingParameters[0][FIELD_TIME_STEP];
    ASSERT_EQ(step, 5280);
    for (int k = 0; k < 6; ++k)
        for (int n = 0; n < k; ++n) AddPulse(0, k * step + n);
    sampleClock = 6 * step;
    RecomputeAll(false);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(Raw(SERIES_RATE_HIST)[k], 1.0) << "bin " << k;
    EXPECT_DOUBLE_EQ(rateHistMean, 2.5);
    EXPECT_DOUBLE_EQ(rateHistSd, std::sqrt(35.0 / 12.0));
}

TEST_F(Histograms, UnitsOfZeroSamplesCountAsOneSample) {
    // Working units derived for another sample rate can hold 0; no division by a zero step or bin.
    dataSampleRate = 1000;
    QuantizeSettings(true);
    Configure(0.0001, 0.0001);
    ASSERT_EQ(workingParameters[0][FIELD_TIME_STEP], 0);
    workingParameters[0][FIELD_INTERVAL_BIN_SIZE] = workingParameters[0][FIELD_WIDTH_BIN_SIZE] = 0;
    workingParameters[0][FIELD_S_FOLD] = 0;
    for (int64_t t : {2, 3, 7}) AddPulse(0, t, 3);
    sampleClock = 10;
    RecomputeAll(false);
    EXPECT_EQ(Raw(SERIES_RATE_HIST)[1], 3.0);
    EXPECT_EQ(Raw(SERIES_RATE_HIST)[0], 7.0);
    EXPECT_EQ(Raw(SERIES_INTERVAL)[4], 1.0);
    EXPECT_EQ(Raw(SERIES_WIDTH)[3], 3.0);
}

TEST_F(Histograms, OverflowsLandInTheLastBinAndTimesOutOfOrderInTheFirst) {
    Configure(1.0, 1.0);
    MakeStore(40003);
    for (int i = 0; i < 40000; ++i) AddPulse(0, i, 1);
    AddPulse(0, 1000000, 40000);
    AddPulse(0, 999990, 1);  // out of order (a damaged file): no negative index
    sampleClock = 1000001;  // the first step holds 40000 counts
    RecomputeAll(false);
    EXPECT_EQ(Raw(SERIES_RATE_HIST)[32767], 1.0);
    EXPECT_EQ(dataLength[WND_RATE_HIST], 32767);
    EXPECT_EQ(Raw(SERIES_INTERVAL)[32767], 1.0);
    EXPECT_EQ(Raw(SERIES_WIDTH)[32767], 1.0);
    EXPECT_EQ(Raw(SERIES_INTERVAL)[0], 1.0);
}

TEST_F(Histograms, SFoldPairsNeedOnlyTheirTwoEndsSelected) {
    settings.channel[0].sFold = 2;
    QuantizeSettings(false);
    settings.options[0].useAdvancedFilter = 1;
    settings.filterEnable[0][0] = 1;
    settings.filterLimits[0][0] = 1000;
    for (uint32_t height : {5000, 10, 5000, 5000}) AddPulse(0, pulseCount[0] * pulseCount[0] * 10, 5, height);
    RecomputeAll(false);
    // Pair (0, 2) of 40 samples counted; (1, 3) not, its first end is not selected.
    EXPECT_EQ(entryCount[SERIES_INTERVAL], 1);
    EXPECT_EQ(Raw(SERIES_INTERVAL)[40], 1.0);
}

TEST_F(Histograms, WidthBinsAndStatistics) {
    settings.channel[0].widthBinSize = 100.0;  // 4.8 samples -> 5
    QuantizeSettings(false);
    for (uint32_t width : {4, 5, 9, 10}) AddPulse(0, width, width);  // bins 0, 1, 1, 2
    RecomputeAll(false);
    EXPECT_EQ(Raw(SERIES_WIDTH)[0], 1.0);
    EXPECT_EQ(Raw(SERIES_WIDTH)[1], 2.0);
    EXPECT_DOUBLE_EQ(widthHistMean, 1.0);
    EXPECT_DOUBLE_EQ(widthHistSd, std::sqrt(0.5));
    // Nothing selected: both statistics 0.
    settings.channel[0].beginTime = 1.0;
    QuantizeSettings(false);
    RecomputeAll(false);
    EXPECT_EQ(widthHistMean + widthHistSd, 0.0);
}

TEST_F(Histograms, RateVsTimeLastEntryFollowsTheLatestStepOnceTheSeriesIsFull) {
    dataSampleRate = 10000;
    QuantizeSettings(true);
    Configure(0.0001, 1.0);  // one sample per step
    ASSERT_EQ(workingParameters[0][FIELD_TIME_STEP], 1);
    const int64_t L = RATE_TIME_LENGTH;
    RecomputeAll(false);
    // Step L is the last with an entry of its own; every later step overwrites it: full, full, empty.
    for (int64_t t : {int64_t{5}, L - 1, L + 3, L + 4, L + 5}) {
        bufferFirstPulse[0] = pulseCount[0];
        if (t < L + 5) AddPulse(0, t, 1);
        sampleClock = t + 1;
        RecomputeAll(true);
        const double last = Raw(SERIES_RATE_TIME)[L - 1];
        RecomputeAll(false);
        EXPECT_EQ(Raw(SERIES_RATE_TIME)[L - 1], last) << t;
        EXPECT_EQ(last, t == 5 || t == L + 5 ? 0.0 : 1.0) << t;
    }
    EXPECT_EQ(dataLength[WND_RATE_TIME], L - 1);
    EXPECT_EQ(Raw(SERIES_RATE_TIME)[5], 1.0);
}

TEST_F(Histograms, DisplayValuesLogScaleAndMaxima) {
    double* width = Raw(SERIES_WIDTH);
    width[1] = std::exp(1.0) - 1.0;
    width[2] = 7.0;
    settings.options[0].logWidthHistogram = 1;
    FinishHistogram(SERIES_WIDTH, 0);
    EXPECT_DOUBLE_EQ(width[HISTOGRAM_LENGTH + 1], 1.0);
    EXPECT_DOUBLE_EQ(displayMax[SERIES_WIDTH], 1.0);
    FinishHistogram(SERIES_WIDTH, 1);  // the right channel's switch is off
    EXPECT_EQ(width[HISTOGRAM_LENGTH + 1], width[1]);
    // Negative heights (after background subtraction) show as 0; the correlation uses the height switch.
    double* height = Raw(SERIES_HEIGHT);
    height[0] = -3.0;
    for (uint8_t log : {0, 1}) {
        settings.options[0].logHeightHistogram = log;
        FinishHistogram(SERIES_HEIGHT, 0);
        EXPECT_EQ(height[HISTOGRAM_LENGTH], 0.0) << int(log);
    }
    Raw(SERIES_CORRELATION)[16] = 5.0;
    dataLength[WND_HEIGHT] = 1;
    FinishHistogram(SERIES_CORRELATION, 0);
    EXPECT_DOUBLE_EQ(Raw(SERIES_CORRELATION)[HISTOGRAM_LENGTH + 16], std::log(6.0));
    // The last entry is shown but takes no part in the maxima; the first of equal peaks wins.
    double* interval = Raw(SERIES_INTERVAL);
    interval[3] = interval[7] = 9.0;
    interval[32767] = 100.0;
    dataLength[WND_INTERVAL] = 32767;
    FinishHistogram(SERIES_INTERVAL, 0);
    EXPECT_EQ(intervalPeakBin, 3);
    EXPECT_EQ(rawMax[SERIES_INTERVAL], 9.0);
    EXPECT_EQ(interval[HISTOGRAM_LENGTH + 32767], 100.0);
}

TEST_F(Histograms, DeadTimeNeedsSFoldOneAndThreePeakBinsOfData) {
    double estimate = -1.0;
    double* raw = Raw(SERIES_INTERVAL);
    raw[0] = 10.0;  // peak in bin 0: the middle block is empty
    dataLength[WND_INTERVAL] = 6;
    FinishHistogram(SERIES_INTERVAL, 0);
    EXPECT_FALSE(EstimateDeadTime(&estimate));
    // Peak in bin 2 with counts missing below it: an estimate while 3 x 2 bins hold data.
    const double h[] = {1, 2, 8, 7, 6, 5};
    std::copy(h, h + 6, raw);
    FinishHistogram(SERIES_INTERVAL, 0);
    ASSERT_EQ(intervalPeakBin, 2);
    ASSERT_TRUE(EstimateDeadTime(&estimate));
    EXPECT_DOUBLE_EQ(estimate, (1.0 - 3.0 * 11.0 / (15.0 * 15.0)) * 2.5 * settings.channel[0].intervalBinSize);
    dataLength[WND_INTERVAL] = 5;
    EXPECT_FALSE(EstimateDeadTime(&estimate));
    dataLength[WND_INTERVAL] = 6;
    settings.channel[0].sFold = 2;
    QuantizeSettings(false);
    EXPECT_FALSE(EstimateDeadTime(&estimate));
}

TEST_F(Histograms, RecomputeSkipsWhileRunningAndRebuildsOnlyShownWindows) {
    for (int i = 0; i < 10; ++i) AddPulse(0, 1000 * i + 7, 3 + i);
    runState |= RS_RECOMPUTING;
    RecomputeAll(false);
    EXPECT_EQ(filteredPulseCount, 0);
    EXPECT_TRUE(runState & RS_RECOMPUTING) << "the running recompute clears it";
    runState &= ~RS_RECOMPUTING;
    Headless().windows[WND_WIDTH].visible = false;
    RecomputeAll(false);
    EXPECT_EQ(filteredPulseCount, 10);
    EXPECT_EQ(entryCount[SERIES_WIDTH] + Headless().windows[WND_WIDTH].invalidations, 0);
    EXPECT_EQ(Headless().windows[WND_INTERVAL].invalidations, 1);
    Headless().windows[WND_WIDTH].visible = true;
    RecomputeAll(false);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 10);
}

TEST_F(Histograms, ANewAcquisitionStartsTheStepSeriesAtItsFirstPulse) {
    for (int i = 0; i < 10; ++i) AddPulse(0, 1000 * i + 7);
    sampleClock = 2 * 48000;
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
    EXPECT_EQ(Raw(SERIES_RATE_TIME)[0], 2.0);
    EXPECT_EQ(Raw(SERIES_RATE_HIST)[2], 1.0);
}
}  // namespace
