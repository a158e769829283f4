// The pulse-height spectrum builder (counts, background subtraction, sum quantity), its Gaussian
// correlation and "Set Data As Background".
#include "analysis/height_spectrum.h"

#include <cstring>

#include "acquisition/pulse_store.h"
#include "analysis/background_source.h"
#include "analysis/calibration.h"
#include "analysis/histograms.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/ids.h"
#include "core/run_state.h"
#include "core/settings.h"

double heightCounts[HEIGHT_BINS];
double backgroundSpectrum[2][HEIGHT_BINS];
BackgroundSource backgroundSource;

namespace {
constexpr int32_t LAST_BIN = HEIGHT_BINS - 1;
constexpr double TWO_POW_MINUS_32 = 2.3283064370807974e-10;

// The per-channel factors of the height bin: distortion correction and the bin in sample units.
struct HeightBinScale {
    double correction;
    double bin;
};

HeightBinScale BinScaleOf(int channel) {
    return {settings.channel[channel].correction * 0.01 * TWO_POW_MINUS_32,
            static_cast<double>(HeightBinUnits(channel))};
}

inline int32_t HeightBinOf(const HeightBinScale& scale, uint32_t height, uint32_t distortion) {
    double value = (1.0 + distortion * scale.correction) * height / scale.bin;
    if (!(value < LAST_BIN)) return LAST_BIN;
    return value > 0.0 ? static_cast<int32_t>(value) : 0;
}

int32_t ClampToInt32(double value) {
    if (!(value > -2147483648.0)) return INT32_MIN;
    if (value >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(value);
}

int64_t ClampToInt64(double value) {
    if (!(value > -9.2e18)) return static_cast<int64_t>(-9.2e18);
    if (value >= 9.2e18) return static_cast<int64_t>(9.2e18);
    return static_cast<int64_t>(value);
}

// Adds the selected pulses from `first` to below `end` (at most the count) to heightCounts.
void CountPulses(int channel, uint32_t first, uint32_t end) {
    HeightBinScale scale = BinScaleOf(channel);
    if (end > pulseCount[channel]) end = pulseCount[channel];
    for (uint32_t i = first; i < end; ++i) {
        if (!IsPulseSelected(channel, i)) continue;
        const PulseRecord& pulse = Pulse(channel, i);
        int32_t bin = HeightBinOf(scale, pulse.height, pulse.distortion);
        heightCounts[bin] += 1.0;
        ++entryCount[SERIES_HEIGHT];
        if (bin > dataLength[WND_HEIGHT]) dataLength[WND_HEIGHT] = bin;
        runState |= RS_HEIGHT_CHANGED;
    }
}

// Samples of acquired time whose pulses the channel's spectrum counts: its analysed window
// [begin, begin + duration) cut to the acquisition [0, sampleClock). The whole acquisition with the
// default window; one step of the time-series exports, which move the window.
double CoveredSamples(int channel) {
    int64_t begin = workingParameters[channel][FIELD_BEGIN_TIME];
    int64_t end = begin + workingParameters[channel][FIELD_DURATION_TIME];
    if (begin < 0) begin = 0;
    if (end > sampleClock) end = sampleClock;
    return end > begin ? static_cast<double>(end - begin) : 0.0;
}

// Series 4 raw values 0..last: counts less the background scaled to the time the spectrum covers,
// or, with the sum quantity on, the total quantity of each bin taken at its centre.
void FillRawSpectrum(int channel, int32_t last) {
    double* raw = seriesData[SERIES_HEIGHT];
    const ChannelOptions& options = settings.options[channel];
    if (options.subtractBackground) {
        const double* background = backgroundSpectrum[channel];
        double clock = CoveredSamples(channel);
        for (int32_t i = 0; i <= last; ++i) raw[i] = ClampToInt32(heightCounts[i] - clock * background[i]);
    } else {
        std::memcpy(raw, heightCounts, sizeof(double) * static_cast<size_t>(last + 1));
    }
    if (options.sumQuantity) {
        double q = static_cast<double>(HeightBinUnits(channel)) / HEIGHT_SCALE;
        if (options.useCalibration && calibrationValid[channel]) q = q * Calibrate(channel, 100.0, false) * 0.01;
        entryCount[SERIES_HEIGHT] = 0;
        for (int32_t i = 0; i <= last; ++i) {
            raw[i] = (i + 0.5) * q * raw[i];
            entryCount[SERIES_HEIGHT] += ClampToInt64(raw[i]);
        }
    }
    int64_t& extent = rawExtent[SERIES_HEIGHT];
    if (extent > last + 1)
        std::memset(raw + last + 1, 0, sizeof(double) * static_cast<size_t>(extent - last - 1));
    extent = last + 1;
}

// Correlation of x around bin k with one half kernel (the centre bin enters twice); 0 for a bin
// without a kernel and where the kernel would reach outside the spectrum.
inline double KernelSum(const double* x, int32_t k, const KernelIndexEntry& entry, const double* table) {
    int32_t n = entry.halfWidth;
    if (n <= 0 || k - n < 0 || k + n > LAST_BIN) return 0.0;
    const double* kernel = table + entry.offset;
    double sum = 0.0;
    for (int32_t j = 0; j < n; ++j) sum += (x[k + j] + x[k - j]) * kernel[j];
    return sum;
}

// Series 5: each bin correlated with the kernel of its run of equal kernels and interpolated towards
// the next run's kernel. Bins without a kernel (at or above kernelBins) correlate to 0.
void CorrelateSpectrum(int channel, int32_t last) {
    const double* x = seriesData[SERIES_HEIGHT];
    double* g = seriesData[SERIES_CORRELATION];
    const ChannelKernels kernels = KernelsOf(channel);
    const KernelIndexEntry* index = kernels.index;
    const double* table = kernels.table;
    const int32_t bins = kernels.bins;
    const KernelIndexEntry none{-1, 0};
    auto entryOf = [&](int32_t bin) -> const KernelIndexEntry& { return bin < bins ? index[bin] : none; };

    int64_t end = static_cast<int64_t>(last) + extraUnits[WND_HEIGHT];
    if (end > LAST_BIN) end = LAST_BIN;
    int32_t runStart = 0, nextRun = 0;
    for (int32_t k = 0; k <= end; ++k) {
        if (k == nextRun) {
            runStart = k;
            if (k <= last) {
                for (int32_t j = k; j <= last; ++j) {
                    if (entryOf(j).offset != entryOf(j + 1).offset) {
                        nextRun = j + 1;
                        break;
                    }
                }
            }
        }
        if (k >= bins) {
            g[k] = 0.0;
            continue;
        }
        double c1 = KernelSum(x, k, index[runStart], table);
        if (nextRun > runStart) {
            double c2 = KernelSum(x, k, entryOf(nextRun), table);
            g[k] = ((nextRun - k) * c1 + (k - runStart) * c2) / (nextRun - runStart);
        } else {
            g[k] = c1;
        }
    }
}
}  // namespace

int32_t PulseHeightBin(int channel, uint32_t height, uint32_t distortion) {
    return HeightBinOf(BinScaleOf(channel), height, distortion);
}

void BuildHeightSpectrum(bool incremental, bool countsOnly) {
    runState &= ~RS_HEIGHT_CHANGED;
    int channel = AnalysedChannel();
    uint32_t first = 0;
    if (incremental) {
        first = bufferFirstPulse[channel];
    } else {
        std::memset(heightCounts, 0, sizeof(heightCounts));
        dataLength[WND_HEIGHT] = 0;
        entryCount[SERIES_HEIGHT] = 0;
        runState |= RS_HEIGHT_CHANGED;
    }
    CountPulses(channel, first, pulseCount[channel]);
    int32_t last = static_cast<int32_t>(dataLength[WND_HEIGHT]);
    FillRawSpectrum(channel, last);
    if (countsOnly) return;
    if (gaussianValid[channel] && settings.options[channel].gaussianCorrelation) {
        CorrelateSpectrum(channel, last);
        FinishHistogram(SERIES_CORRELATION, channel);
    }
    FinishHistogram(SERIES_HEIGHT, channel);
}

void BuildHeightSpectrumCounts(uint32_t first, uint32_t end) {
    runState &= ~RS_HEIGHT_CHANGED;
    int channel = AnalysedChannel();
    std::memset(heightCounts, 0, sizeof(heightCounts));
    dataLength[WND_HEIGHT] = 0;
    entryCount[SERIES_HEIGHT] = 0;
    runState |= RS_HEIGHT_CHANGED;
    CountPulses(channel, first, end);
    FillRawSpectrum(channel, static_cast<int32_t>(dataLength[WND_HEIGHT]));
}

namespace {
// What the exports need to give the background back as counts: each channel's window, its span and
// bin width, the sample rate and the comment (whose stamps date the window).
void RecordBackgroundSource() {
    backgroundSource = {};
    backgroundSource.sampleRate = dataSampleRate;
    std::memcpy(backgroundSource.comment, settings.comments, sizeof(backgroundSource.comment));
    backgroundSource.comment[sizeof(backgroundSource.comment) - 1] = '\0';
    for (int channel = 0; channel < 2; ++channel) {
        int64_t begin = workingParameters[channel][FIELD_BEGIN_TIME];
        backgroundSource.beginSeconds[channel] = static_cast<double>(begin > 0 ? begin : 0) / dataSampleRate;
        backgroundSource.spanFrames[channel] = AnalysedSpanFrames(channel);
        backgroundSource.binSize[channel] = settings.channel[channel].heightBinSize;
    }
}
}  // namespace

int64_t AnalysedSpanFrames(int channel) {
    int64_t begin = workingParameters[channel][FIELD_BEGIN_TIME];
    int64_t duration = workingParameters[channel][FIELD_DURATION_TIME];
    if (begin < 0) begin = 0;
    if (duration <= 0 || begin >= sampleClock) return 0;
    // begin < sampleClock here, so the comparison cannot overflow.
    return duration < sampleClock - begin ? duration : sampleClock - begin;
}

void SetDataAsBackground() {
    std::memset(backgroundSpectrum, 0, sizeof(backgroundSpectrum));
    RecordBackgroundSource();
    for (int channel = 0; channel < 2; ++channel) {
        // The rate over the time the counted pulses come from; without such time there is no rate
        // to store and the channel's background stays empty.
        double covered = CoveredSamples(channel);
        if (covered <= 0.0) continue;
        double perSample = 1.0 / covered;
        double* background = backgroundSpectrum[channel];
        HeightBinScale scale = BinScaleOf(channel);
        for (uint32_t i = 0; i < pulseCount[channel]; ++i) {
            if (!IsPulseSelected(channel, i)) continue;
            const PulseRecord& pulse = Pulse(channel, i);
            background[HeightBinOf(scale, pulse.height, pulse.distortion)] += 1.0;
        }
        for (int32_t b = 0; b < HEIGHT_BINS; ++b) background[b] *= perSample;
    }
}

void ResetHeightSpectrumState() {
    std::memset(heightCounts, 0, sizeof(heightCounts));
    std::memset(backgroundSpectrum, 0, sizeof(backgroundSpectrum));
    backgroundSource = {};
}
