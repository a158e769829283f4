// The histogram builders, FinishHistogram, the dead-time estimate and RecomputeAll.
#include "analysis/histograms.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/height_spectrum.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/ids.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/upcalls.h"
#include "platform/ui.h"

namespace {
constexpr int64_t LAST_BIN = HISTOGRAM_LENGTH - 1;

// The time grid of the two step series: begin B, step T and end of analysed time E, in samples.
struct StepGrid {
    int64_t begin;
    int64_t step;
    int64_t end;
};

StepGrid StepGridOf(int c) {
    StepGrid grid;
    grid.begin = workingParameters[c][FIELD_BEGIN_TIME];
    // A time step that snapped to 0 samples (possible at very low sample rates) counts as one sample,
    // so that the step loops always advance.
    grid.step = std::max<int64_t>(1, workingParameters[c][FIELD_TIME_STEP]);
    grid.end = std::min(grid.begin + workingParameters[c][FIELD_DURATION_TIME], sampleClock);
    return grid;
}

// Number of steps whose end lies at or before the end of analysed time.
int64_t CompletedSteps(const StepGrid& grid) {
    return grid.end > grid.begin ? (grid.end - grid.begin) / grid.step : 0;
}

void SkipBeforeBegin(int c, uint32_t* cursor, int64_t begin) {
    uint32_t i = *cursor;
    while (i < pulseCount[c] && Pulse(c, i).time < begin) ++i;
    *cursor = i;
}

// The last step (at most `last`) that ends at or before the next unconsumed pulse: every step from
// the next one up to it is empty. Without a further pulse every completed step is empty.
int64_t LastEmptyStep(int c, uint32_t cursor, const StepGrid& grid, int64_t last) {
    if (cursor >= pulseCount[c]) return last;
    int64_t t = Pulse(c, cursor).time;
    if (t < grid.begin) return 0;
    return std::min(last, (t - grid.begin) / grid.step);
}

// Consumes the pulses before `stepEnd` and returns how many of them are selected. The pulse that
// ends the step (the first at or after its end) stays for the next step.
int64_t CountStep(int c, uint32_t* cursor, int64_t stepEnd) {
    int64_t n = 0;
    uint32_t i = *cursor;
    uint32_t count = pulseCount[c];
    while (i < count && Pulse(c, i).time < stepEnd) {
        if (IsPulseSelected(c, i)) ++n;
        ++i;
    }
    *cursor = i;
    return n;
}

// How step counts map onto counting-rate bins: n counts fall in bin n / counts-per-bin.
struct RateBinning {
    bool whole;           // counts per bin is a whole number (the usual case)
    int64_t wholeCounts;  // that number
    double counts;        // counts per bin otherwise
};

// Counts per step that one rate bin spans, rateBinSize x timeStep. The acquisition dialog makes
// rateBinSize a whole multiple of 1 / timeStep, but both are then snapped to their grids separately,
// so the product comes out near, not at, a whole number (1.00000083 for 0.11 s at 48 kHz). It is
// taken as that whole number when it lies within what the snapping can explain: half a grid step of
// rateBinSize (times timeStep) plus half a sample of the time step (relative 0.5 / T). A product that
// is not positive falls back to one count per bin.
RateBinning RateBinningOf(int c, const StepGrid& grid) {
    double rate = static_cast<double>(dataSampleRate);
    double stepSeconds = settings.channel[c].timeStep;
    if (!(stepSeconds > 0.0) && rate > 0.0) stepSeconds = static_cast<double>(grid.step) / rate;
    double product = settings.channel[c].rateBinSize * stepSeconds;
    if (!(product > 0.0) || !std::isfinite(product)) return {true, 1, 1.0};
    double whole = std::round(product);
    double tolerance = 0.5 * whole / static_cast<double>(grid.step) + 1e-9 * whole;
    double binGrid = fieldScale[FIELD_RATE_BIN_SIZE];
    if (binGrid > 0.0) tolerance += 0.5 * stepSeconds / binGrid;
    if (whole >= 1.0 && whole < 1e15 && std::fabs(product - whole) <= tolerance)
        return {true, static_cast<int64_t>(whole), whole};
    return {false, 0, product};
}

int64_t RateBin(int64_t n, const RateBinning& binning) {
    if (binning.whole) return std::min(n / binning.wholeCounts, LAST_BIN);
    double q = static_cast<double>(n) / binning.counts;
    return q < static_cast<double>(LAST_BIN) ? static_cast<int64_t>(q) : LAST_BIN;
}

// Mean and standard deviation, in bins, of histogram bins 0 to `last` holding `entries` values.
void HistogramStatistics(const double* raw, int64_t last, int64_t entries, double* mean, double* sd) {
    *mean = *sd = 0.0;
    if (entries <= 0) return;
    double sum = 0.0, sumSquares = 0.0;
    for (int64_t i = 0; i <= last && i < HISTOGRAM_LENGTH; ++i) {
        double x = static_cast<double>(i);
        sum += x * raw[i];
        sumSquares += x * x * raw[i];
    }
    double n = static_cast<double>(entries);
    *mean = sum / n;
    // Never the root of a negative number, whatever the rounding.
    double variance = sumSquares / n - *mean * *mean;
    *sd = variance > 0.0 ? std::sqrt(variance) : 0.0;
}

void AddToBin(int series, int window, int64_t bin, double amount) {
    seriesData[series][bin] += amount;
    if (bin >= rawExtent[series]) rawExtent[series] = bin + 1;
    if (bin > dataLength[window]) dataLength[window] = bin;
}

// Interval bin of a pair of pulse times, capped at the last bin. Times out of order (only possible
// in a damaged data file) count as interval 0; the difference is formed without signed overflow.
int64_t IntervalBin(int64_t first, int64_t second, int64_t binSize) {
    if (second <= first) return 0;
    uint64_t difference = static_cast<uint64_t>(second) - static_cast<uint64_t>(first);
    uint64_t bin = difference / static_cast<uint64_t>(binSize);
    return bin < static_cast<uint64_t>(LAST_BIN) ? static_cast<int64_t>(bin) : LAST_BIN;
}

// Selection flags of the interval builder's window of S + 1 pulses; grows (to a power of two) only
// when S does. Returns the index mask.
std::vector<uint8_t> selectionRing;

size_t SelectionRing(int64_t fold) {
    size_t size = 1024;
    while (size <= static_cast<size_t>(fold)) size *= 2;
    if (selectionRing.size() < size) selectionRing.resize(size);
    return selectionRing.size() - 1;
}

uint8_t LogSwitch(int series, int c) {
    const ChannelOptions& options = settings.options[c];
    switch (series) {
        case SERIES_RATE_TIME:
            return options.logRateVsTime;
        case SERIES_RATE_HIST:
            return options.logRateHistogram;
        case SERIES_INTERVAL:
            return options.logIntervalHistogram;
        case SERIES_WIDTH:
            return options.logWidthHistogram;
        default:
            return options.logHeightHistogram;
    }
}
}  // namespace

void BuildRateVsTime(bool incremental) {
    runState &= ~RS_RATE_TIME_CHANGED;
    int c = AnalysedChannel();
    double* raw = seriesData[SERIES_RATE_TIME];
    const int64_t lastEntry = RATE_TIME_LENGTH - 1;
    if (!incremental) {
        ClearRawSeries(SERIES_RATE_TIME);
        rateTimeCursor = 0;
        rateTimeSteps = 0;
        dataLength[WND_RATE_TIME] = 0;
        runState |= RS_RATE_TIME_CHANGED;
    }
    StepGrid grid = StepGridOf(c);
    SkipBeforeBegin(c, &rateTimeCursor, grid.begin);
    int64_t last = CompletedSteps(grid);
    while (rateTimeSteps < last) {
        int64_t k = rateTimeSteps + 1;
        int64_t emptyUntil = LastEmptyStep(c, rateTimeCursor, grid, last);
        if (emptyUntil >= k) {
            // Steps k to emptyUntil hold no pulse; past the last entry they all land on it.
            // Entries at or beyond the extent are zero already.
            int64_t to = std::min({emptyUntil - 1, lastEntry, rawExtent[SERIES_RATE_TIME] - 1});
            for (int64_t j = std::min(k - 1, lastEntry); j <= to; ++j) raw[j] = 0.0;
            rateTimeSteps = emptyUntil;
        } else {
            int64_t n = CountStep(c, &rateTimeCursor, grid.begin + k * grid.step);
            int64_t entry = std::min(k - 1, lastEntry);
            raw[entry] = static_cast<double>(n);
            rawExtent[SERIES_RATE_TIME] = std::max(rawExtent[SERIES_RATE_TIME], entry + 1);
            rateTimeSteps = k;
        }
        runState |= RS_RATE_TIME_CHANGED;
    }
    dataLength[WND_RATE_TIME] = std::min(rateTimeSteps, lastEntry);
    FinishHistogram(SERIES_RATE_TIME, c);
}

void BuildRateHistogram(bool incremental) {
    runState &= ~RS_RATE_HIST_CHANGED;
    int c = AnalysedChannel();
    double* raw = seriesData[SERIES_RATE_HIST];
    if (!incremental) {
        ClearRawSeries(SERIES_RATE_HIST);
        rateHistCursor = 0;
        rateHistSteps = 0;
        dataLength[WND_RATE_HIST] = 0;
        entryCount[SERIES_RATE_HIST] = 0;
        runState |= RS_RATE_HIST_CHANGED;
    }
    StepGrid grid = StepGridOf(c);
    RateBinning binning = RateBinningOf(c, grid);
    SkipBeforeBegin(c, &rateHistCursor, grid.begin);
    int64_t last = CompletedSteps(grid);
    while (rateHistSteps < last) {
        int64_t k = rateHistSteps + 1;
        int64_t emptyUntil = LastEmptyStep(c, rateHistCursor, grid, last);
        if (emptyUntil >= k) {
            int64_t steps = emptyUntil - k + 1;
            AddToBin(SERIES_RATE_HIST, WND_RATE_HIST, 0, static_cast<double>(steps));
            entryCount[SERIES_RATE_HIST] += steps;
            rateHistSteps = emptyUntil;
        } else {
            int64_t n = CountStep(c, &rateHistCursor, grid.begin + k * grid.step);
            AddToBin(SERIES_RATE_HIST, WND_RATE_HIST, RateBin(n, binning), 1.0);
            entryCount[SERIES_RATE_HIST] += 1;
            rateHistSteps = k;
        }
        runState |= RS_RATE_HIST_CHANGED;
    }
    HistogramStatistics(raw, dataLength[WND_RATE_HIST], entryCount[SERIES_RATE_HIST], &rateHistMean,
                        &rateHistSd);
    FinishHistogram(SERIES_RATE_HIST, c);
}

void BuildIntervalHistogram(bool incremental) {
    runState &= ~RS_INTERVAL_CHANGED;
    int c = AnalysedChannel();
    int64_t fold = std::max<int64_t>(1, workingParameters[c][FIELD_S_FOLD]);
    int64_t binSize = std::max<int64_t>(1, workingParameters[c][FIELD_INTERVAL_BIN_SIZE]);
    int64_t count = pulseCount[c];
    int64_t first = 0;
    if (incremental) {
        // Exactly the pairs whose second pulse came with the latest detector pass.
        first = std::max<int64_t>(0, std::min<int64_t>(bufferFirstPulse[c], count) - fold);
    } else {
        ClearRawSeries(SERIES_INTERVAL);
        dataLength[WND_INTERVAL] = 0;
        entryCount[SERIES_INTERVAL] = 0;
        runState |= RS_INTERVAL_CHANGED;
    }
    // Each pulse is tested once: the selection of the S pulses ahead is kept in a ring.
    int64_t end = count - fold;
    if (end > first) {
        size_t mask = SelectionRing(fold);
        for (int64_t j = first; j < first + fold; ++j)
            selectionRing[static_cast<size_t>(j) & mask] = IsPulseSelected(c, static_cast<uint32_t>(j));
        for (int64_t i = first; i < end; ++i) {
            uint32_t second = static_cast<uint32_t>(i + fold);
            bool firstSelected = selectionRing[static_cast<size_t>(i) & mask] != 0;
            bool secondSelected = IsPulseSelected(c, second);
            selectionRing[static_cast<size_t>(second) & mask] = secondSelected;
            if (!firstSelected || !secondSelected) continue;
            int64_t bin =
                IntervalBin(Pulse(c, static_cast<uint32_t>(i)).time, Pulse(c, second).time, binSize);
            AddToBin(SERIES_INTERVAL, WND_INTERVAL, bin, 1.0);
            entryCount[SERIES_INTERVAL] += 1;
            runState |= RS_INTERVAL_CHANGED;
        }
    }
    FinishHistogram(SERIES_INTERVAL, c);
}

void BuildWidthHistogram(bool incremental) {
    runState &= ~RS_WIDTH_CHANGED;
    int c = AnalysedChannel();
    double* raw = seriesData[SERIES_WIDTH];
    uint32_t binSize =
        static_cast<uint32_t>(std::clamp<int64_t>(workingParameters[c][FIELD_WIDTH_BIN_SIZE], 1, UINT32_MAX));
    uint32_t count = pulseCount[c];
    uint32_t first = 0;
    if (incremental) {
        first = std::min(bufferFirstPulse[c], count);
    } else {
        ClearRawSeries(SERIES_WIDTH);
        dataLength[WND_WIDTH] = 0;
        entryCount[SERIES_WIDTH] = 0;
        runState |= RS_WIDTH_CHANGED;
    }
    for (uint32_t i = first; i < count; ++i) {
        if (!IsPulseSelected(c, i)) continue;
        int64_t bin = std::min<int64_t>(Pulse(c, i).width / binSize, LAST_BIN);
        AddToBin(SERIES_WIDTH, WND_WIDTH, bin, 1.0);
        entryCount[SERIES_WIDTH] += 1;
        runState |= RS_WIDTH_CHANGED;
    }
    HistogramStatistics(raw, dataLength[WND_WIDTH], entryCount[SERIES_WIDTH], &widthHistMean, &widthHistSd);
    FinishHistogram(SERIES_WIDTH, c);
}

void FinishHistogram(int series, int channel) {
    if (series < 0 || series >= SERIES_COUNT || channel < 0 || channel > 1) return;
    int window = series < SERIES_HEIGHT ? series + 1 : WND_HEIGHT;
    bool logScale = LogSwitch(series, channel) != 0;
    int64_t length = seriesLength[series];
    const double* raw = seriesData[series];
    double* display = seriesData[series] + length;
    displayMax[series] = DISPLAY_MAX_FLOOR;
    rawMax[series] = DISPLAY_MAX_FLOOR;
    if (series == SERIES_INTERVAL) intervalPeakBin = 0;
    int64_t n = std::clamp<int64_t>(extraUnits[window] + dataLength[window], 0, length);
    for (int64_t i = 0; i < n; ++i) {
        double value = raw[i];
        double shown = logScale ? (value > 0.0 ? std::log(value + 1.0) : 0.0) : value;
        if (!(shown >= 0.0)) shown = 0.0;
        display[i] = shown;
        // The last entry is shown but takes no part in the maxima.
        if (i == length - 1) break;
        if (shown > displayMax[series]) displayMax[series] = shown;
        if (value > rawMax[series]) {
            rawMax[series] = value;
            if (series == SERIES_INTERVAL) intervalPeakBin = static_cast<int32_t>(i);
        }
    }
}

bool EstimateDeadTime(double* microseconds) {
    int c = AnalysedChannel();
    if (workingParameters[c][FIELD_S_FOLD] != 1) return false;
    int64_t p = intervalPeakBin;
    if (p < 0 || 3 * p > dataLength[WND_INTERVAL]) return false;
    const double* raw = seriesData[SERIES_INTERVAL];
    double a = 0.0, b = 0.0, cc = 0.0;
    for (int64_t i = 0; i < p; ++i) {
        a += raw[i];
        b += raw[p + i];
        cc += raw[2 * p + i];
    }
    if (b == 0.0) return false;
    double tau =
        (1.0 - a * cc / (b * b)) * (static_cast<double>(p) + 0.5) * settings.channel[c].intervalBinSize;
    if (!(tau > 0.0)) return false;
    *microseconds = tau;
    return true;
}

void RecomputeAll(bool incremental) {
    if (runState & RS_RECOMPUTING) return;
    runState |= RS_RECOMPUTING;
    int c = AnalysedChannel();
    uint32_t count = pulseCount[c];
    uint32_t first = 0;
    if (incremental) {
        first = std::min(bufferFirstPulse[c], count);
    } else {
        filteredPulseCount = 0;
    }
    for (uint32_t i = first; i < count; ++i)
        if (IsPulseSelected(c, i)) ++filteredPulseCount;
    dataLength[WND_PULSES] = sampleClock;

    struct Builder {
        int window;
        void (*build)(bool);
        uint32_t changed;
    };
    static constexpr Builder builders[] = {
        {WND_RATE_TIME, BuildRateVsTime, RS_RATE_TIME_CHANGED},
        {WND_RATE_HIST, BuildRateHistogram, RS_RATE_HIST_CHANGED},
        {WND_INTERVAL, BuildIntervalHistogram, RS_INTERVAL_CHANGED},
        {WND_WIDTH, BuildWidthHistogram, RS_WIDTH_CHANGED},
    };
    for (const Builder& builder : builders) {
        if (!IsPlotWindowVisible(builder.window)) continue;
        builder.build(incremental);
        if (runState & builder.changed) {
            UpdateScrollBar(builder.window);
            InvalidateWindow(builder.window);
        }
    }
    if (IsPlotWindowVisible(WND_HEIGHT)) {
        BuildHeightSpectrum(incremental, false);
        if (runState & RS_HEIGHT_CHANGED) {
            UpdateScrollBar(WND_HEIGHT);
            InvalidateWindow(WND_HEIGHT);
        }
    }
    if (IsPlotWindowVisible(WND_PULSES)) {
        UpdateScrollBar(WND_PULSES);
        InvalidateWindow(WND_PULSES);
    }
    if (IsPlotWindowVisible(WND_AUDIO_INPUT)) InvalidateWindow(WND_AUDIO_INPUT);
    runState &= ~RS_RECOMPUTING;
}
