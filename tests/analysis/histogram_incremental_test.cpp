// Property test: feeding generated recordings pass by pass with an incremental RecomputeAll after each
// gives exactly the series, lengths, counts, maxima and statistics of one full rebuild.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analysis/histograms.h"
#include "analysis/series.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
struct Snapshot {
    std::vector<double> raw[4];
    std::vector<double> display[4];
    int64_t lengths[5];
    int64_t entries[4];
    double maxima[4][2];
    int32_t peakBin;
    int32_t filtered;
    double statistics[4];
};

Snapshot Take() {
    Snapshot s;
    for (int series = 0; series < 4; ++series) {
        const double* data = seriesData[series];
        int64_t length = seriesLength[series];
        s.raw[series].assign(data, data + length);
        int64_t shown = std::min(dataLength[series + 1] + extraUnits[series + 1], length);
        s.display[series].assign(data + length, data + length + shown);
        s.maxima[series][0] = displayMax[series];
        s.maxima[series][1] = rawMax[series];
        s.entries[series] = entryCount[series];
    }
    for (int w = 0; w < 5; ++w) s.lengths[w] = dataLength[w];
    s.peakBin = intervalPeakBin;
    s.filtered = filteredPulseCount;
    s.statistics[0] = rateHistMean;
    s.statistics[1] = rateHistSd;
    s.statistics[2] = widthHistMean;
    s.statistics[3] = widthHistSd;
    return s;
}

// First differing position of two series, or -1.
int64_t FirstDifference(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return static_cast<int64_t>(i);
    return -1;
}

struct Case {
    unsigned seed;
    int sFold;
    bool advancedFilter;
    int channelSelection;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    return "seed" + std::to_string(c.seed) + "_S" + std::to_string(c.sFold) +
           (c.advancedFilter ? "_filter" : "_all") + "_selection" + std::to_string(c.channelSelection);
}

class IncrementalEqualsFull : public TikTest, public ::testing::WithParamInterface<Case> {
  protected:
    // Settings that vary with the seed: steps that end inside passes, a time window that starts late
    // and ends early, bins of several samples, log scales on some runs.
    void Configure(const Case& k, std::mt19937& random) {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        settings.channelSelection = static_cast<int8_t>(k.channelSelection);
        for (int c = 0; c < 2; ++c) {
            ChannelSettings& ch = settings.channel[c];
            ch.beginTime = 0.7 * unit(random);
            ch.durationTime = 6.0 + 3.0 * unit(random);
            ch.timeStep = unit(random) < 0.5 ? 0.05 + 0.2 * unit(random) : 0.3 + unit(random);
            ch.rateBinSize = (1.0 + (unit(random) < 0.5 ? 0.0 : 2.0)) / ch.timeStep;
            ch.intervalBinSize = 50.0 + 200.0 * unit(random);
            ch.widthBinSize = 20.0 + 400.0 * unit(random);
            ch.sFold = k.sFold;
            ChannelOptions& options = settings.options[c];
            options.useAdvancedFilter = k.advancedFilter ? 1 : 0;
            options.logRateVsTime = unit(random) < 0.5;
            options.logRateHistogram = unit(random) < 0.5;
            options.logIntervalHistogram = unit(random) < 0.5;
            options.logWidthHistogram = unit(random) < 0.5;
            settings.filterEnable[c][0] = settings.filterEnable[c][1] = settings.filterEnable[c][2] = 1;
            settings.filterLimits[c][0] = 3.0e8 * unit(random);
            settings.filterLimits[c][1] = 1.4e9 + 4.0e8 * unit(random);
            settings.filterLimits[c][2] = 0.0;
            settings.filterLimits[c][3] = 3.0e8;
            settings.filterLimits[c][4] = 10.0 * unit(random);
            settings.filterLimits[c][5] = 150.0 + 40.0 * unit(random);
        }
        QuantizeSettings(false);
    }
};

TEST_P(IncrementalEqualsFull, EverySeriesMatchesOneFullRebuild) {
    const Case k = GetParam();
    std::mt19937 random(k.seed * 7919u + static_cast<unsigned>(k.sFold));
    Configure(k, random);
    std::vector<StreamPulse> stream = GenerateStream(k.seed, 10.0, 700.0, 0.4);
    MakeStore(20000);
    ShowAllWindows();
    RecomputeAll(false);  // as Start does, on the empty store

    // Passes of irregular length, as a WAV replay or a half-second buffer would give.
    std::uniform_int_distribution<int64_t> passLength(1, 30000);
    std::vector<uint32_t> indexOf(stream.size());
    size_t next = 0;
    int64_t clock = 0;
    int passes = 0;
    while (clock < 10 * 48000) {
        clock = std::min<int64_t>(clock + passLength(random), 10 * 48000);
        StorePass(stream, indexOf, next, clock);
        RecomputeAll(true);
        ++passes;
    }
    ASSERT_EQ(next, stream.size());
    Snapshot incremental = Take();
    RecomputeAll(false);
    Snapshot full = Take();

    // The runs must have had something to count.
    EXPECT_GE(full.lengths[1], 3);
    EXPECT_GT(full.entries[2], 10);
    EXPECT_GT(full.entries[3], 10);
    EXPECT_GT(full.filtered, 10);
    EXPECT_GT(passes, 20);

    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(FirstDifference(incremental.raw[s], full.raw[s]), -1) << "raw half of series " << s;
        EXPECT_EQ(FirstDifference(incremental.display[s], full.display[s]), -1)
            << "display half of series " << s;
        EXPECT_EQ(incremental.entries[s], full.entries[s]) << "entryCount of series " << s;
        EXPECT_EQ(incremental.maxima[s][0], full.maxima[s][0]) << "displayMax of series " << s;
        EXPECT_EQ(incremental.maxima[s][1], full.maxima[s][1]) << "rawMax of series " << s;
    }
    for (int w = 0; w < 5; ++w)
        EXPECT_EQ(incremental.lengths[w], full.lengths[w]) << "dataLength of window " << w;
    EXPECT_EQ(incremental.peakBin, full.peakBin);
    EXPECT_EQ(incremental.filtered, full.filtered);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(incremental.statistics[i], full.statistics[i]) << "statistic " << i;
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (unsigned seed : {11u, 23u, 37u})
        for (int fold : {1, 3})
            for (bool filter : {false, true})
                for (int selection : {0, 1, 2, 4}) cases.push_back({seed, fold, filter, selection});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(GeneratedStreams, IncrementalEqualsFull, ::testing::ValuesIn(AllCases()), CaseName);

// After the counting-rate series is full, every further step overwrites its last entry; the
// incremental path must leave the same last entry as a full rebuild (not a recount of zero).
TEST_F(TikTest, RateVsTimeLastEntryFollowsTheLatestStepIncrementally) {
    dataSampleRate = 10000;
    QuantizeSettings(true);
    settings.channel[0].timeStep = 0.0001;  // one sample per step
    QuantizeSettings(false);
    ASSERT_EQ(workingParameters[0][FIELD_TIME_STEP], 1);
    MakeStore(100);
    ShowAllWindows(false);
    Headless().windows[WND_RATE_TIME].visible = true;
    const int64_t L = RATE_TIME_LENGTH;
    RecomputeAll(false);

    bufferFirstPulse[0] = pulseCount[0];
    AddPulse(0, 5);
    AddPulse(0, L - 1);  // step L, the last that has an entry of its own
    sampleClock = L;
    RecomputeAll(true);
    EXPECT_EQ(dataLength[WND_RATE_TIME], L - 1);
    EXPECT_EQ(seriesData[0][5], 1.0);
    EXPECT_EQ(seriesData[0][L - 1], 1.0);

    bufferFirstPulse[0] = pulseCount[0];
    AddPulse(0, L + 3);
    AddPulse(0, L + 3 + 1);
    sampleClock = L + 5;
    RecomputeAll(true);
    // Steps L + 1 to L + 5 completed; the latest (L + 5) holds the pulse at L + 4.
    EXPECT_EQ(dataLength[WND_RATE_TIME], L - 1);
    EXPECT_EQ(seriesData[0][L - 1], 1.0);
    double incrementalLast = seriesData[0][L - 1];
    sampleClock = L + 6;
    RecomputeAll(true);
    EXPECT_EQ(seriesData[0][L - 1], 0.0) << "step L + 6 is empty";
    RecomputeAll(false);
    EXPECT_EQ(seriesData[0][L - 1], 0.0);
    EXPECT_EQ(seriesData[0][5], 1.0);
    EXPECT_EQ(dataLength[WND_RATE_TIME], L - 1);
    sampleClock = L + 5;
    RecomputeAll(false);
    EXPECT_EQ(seriesData[0][L - 1], incrementalLast);
}
}  // namespace
