// The pulse detector: per-block baseline, threshold and shape methods, pulses across blocks,
// coincidence links, the Audio Input ring and snapshot, shape collection, and the limits.
#include "acquisition/detector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "acquisition/audio_interface.h"
#include "acquisition/click_output.h"
#include "acquisition/detector_vectors.h"
#include "acquisition/pulse_store.h"
#include "acquisition/sample_vectors.h"
#include "core/run_state.h"
#include "core/settings.h"

static_assert(std::endian::native == std::endian::little, "samples are read as little-endian words");

double shapeHistory[2][2 * SHAPE_HISTORY_LENGTH];
uint32_t shapeHistoryPos[2] = {0, 0};
int32_t shapeFirstUsed[2] = {0, 0};
int32_t shapeLastUsed[2] = {SHAPE_POINTS - 1, SHAPE_POINTS - 1};
double inputRing[2][INPUT_RING_LENGTH];
double inputSnapshot[2][INPUT_RING_LENGTH];
int32_t snapshotTrigger = 0;

namespace {
constexpr double SAMPLE_MIN = -2147483648.0;
constexpr double SAMPLE_MAX = 2147483647.0;
constexpr double SHAPE_ACQUISITION_THRESHOLD = 214748365.0;  // 10 % of full scale
constexpr double CLIPPED_PEAK = 1932735283.0;                 // 90 % of full scale
constexpr double UNSIGNED_MAX = 4294967295.0;
constexpr double NO_SHAPE = std::numeric_limits<double>::infinity();
constexpr int SHAPE_PEAK_POINT = 30;        // template point that sits on the peak
constexpr int64_t SHAPE_COLLECT_BOUND = 32768;  // interleaved samples, a fixed bound
constexpr int RING_MASK = INPUT_RING_LENGTH - 1;
constexpr uint32_t OPEN_BIT[2] = {RS_PULSE_OPEN_LEFT, RS_PULSE_OPEN_RIGHT};

uint16_t replayChannels = 0;
uint16_t replayBlockAlign = 0;
// The distortion computed most recently per channel; it judges a sample whose correlation equals
// the threshold exactly (no new distortion is computed then).
double lastDistortion[2] = {0.0, 0.0};

// Truncates toward zero into 0..4294967295 (NaN and negatives give 0, larger values the maximum).
uint32_t ToUnsigned32(double x) {
    if (!(x > 0.0)) return 0;
    if (x >= UNSIGNED_MAX) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(x);
}

inline double LimitSample(double v) { return std::min(std::max(v, SAMPLE_MIN), SAMPLE_MAX); }

// Sample k of a block of B-byte samples: the 4 bytes that end with its last byte.
template <int B>
inline int32_t ReadSample(const uint8_t* bytes, int64_t k) {
    return SampleWord<B>(bytes, k);
}

// Whether the threshold method may skip quiet stretches four samples at a time (off: every sample
// goes through the state machine, the reference the vector passes are tested against).
bool vectorPath = true;

int32_t ReadSampleOfWidth(const uint8_t* bytes, int64_t k, int b) {
    if (b == 2) return ReadSample<2>(bytes, k);
    if (b == 3) return ReadSample<3>(bytes, k);
    return ReadSample<4>(bytes, k);
}

struct ChannelPass {
    double sign = 1.0;
    double threshold = 0.0;
    double gain = 1.0;
    double maxDist = 0.0;
    bool shapeMode = false;
    int64_t timeLimit = 0;
    double baseline = 0.0;
    int64_t peakSample = 0;
    bool open = false;
    PulseRecord* record = nullptr;  // the open pulse's record
    // Shape method: the template, its point range and the used points inside it.
    const double* shape = nullptr;
    int lo = 0, hi = -1;
    int usedCount = 0;
    int used[SHAPE_POINTS] = {};
};

struct Pass {
    ChannelPass channel[2];
    const uint8_t* bytes = nullptr;
    int64_t samples = 0;  // S, interleaved samples in the block
    int n = 1;            // channels in the block
    int b = 2;            // bytes per sample
    int slotChannel[2] = {0, 1};
    int64_t clock = 0;
    int64_t ringWrites = 0;
    int64_t trigger = 0;
    bool triggered = false;
    bool limitReached = false;
    // Quiet stretches: per channel slot the words that cannot open a pulse, and the next sample at
    // which to look for one (-1: never in this pass).
    WordSets quiet{{0, 0}, {0, 0}};
    int64_t nextScan = -1;
};

// Whether channel c's count has reached its maximum: maxPulses or the store's capacity, whichever
// is smaller.
bool PulseLimitReached(int c) {
    return static_cast<double>(pulseCount[c]) >= settings.channel[c].maxPulses || pulseCount[c] >= pulseCapacity[c];
}

// Whether a gained sample lies on the far side of the block's mean from the pulses.
struct BaselineSide {
    double gain, mean, sign;
};
inline bool OnBaselineSide(double value, const BaselineSide& side) { return (value - side.mean) * side.sign < 0.0; }
bool WordOnBaselineSide(int32_t word, const void* context) {
    const BaselineSide& side = *static_cast<const BaselineSide*>(context);
    return OnBaselineSide(static_cast<double>(word) * side.gain, side);
}

// Baseline of one channel slot: the mean of the gained samples that lie on the far side of the
// block's mean from the pulses (below it for positive pulses).
template <int B>
double EstimateBaseline(const Pass& pass, int slot, const ChannelPass& p) {
    int64_t frames = pass.samples / pass.n;
    if (frames == 0) return 0.0;
    int64_t sum = 0;
    for (int64_t i = 0; i < frames; ++i) sum += ReadSample<B>(pass.bytes, slot + i * pass.n);
    BaselineSide side{p.gain, static_cast<double>(sum) * p.gain / static_cast<double>(frames), p.sign};
    double below = 0.0;
    int64_t count = 0;
    for (int64_t i = 0; i < frames; ++i) {
        double value = static_cast<double>(ReadSample<B>(pass.bytes, slot + i * pass.n)) * p.gain;
        if (OnBaselineSide(value, side)) {
            below += value;
            ++count;
        }
    }
    return count ? below / static_cast<double>(count) : 0.0;
}

double EstimateBaselineOfWidth(const Pass& pass, int slot, const ChannelPass& p) {
    if (pass.b == 2) return EstimateBaseline<2>(pass, slot, p);
    if (pass.b == 3) return EstimateBaseline<3>(pass, slot, p);
    return EstimateBaseline<4>(pass, slot, p);
}

// The baselines of the threshold channels. The vector passes give the same sums: the samples on the
// baseline side are exactly the words of one word set, and with a whole-number gain small enough that
// every partial sum stays below 2^53 the sum of the gained samples in any order is exact. `known`: the
// plain sums made ahead for this very block, or null.
void EstimateBaselines(Pass& pass, const SlotSums* known) {
    int64_t frames = pass.samples / pass.n;
    int64_t used = frames * pass.n;
    WordSets sides{{0, 0}, {0, 0}};
    bool fast[2] = {false, false};
    SlotSums all{{0, 0}, {0, 0}};
    bool summed = false;
    for (int slot = 0; slot < pass.n; ++slot) {
        ChannelPass& p = pass.channel[pass.slotChannel[slot]];
        if (p.shapeMode) continue;
        if (vectorPath && frames > 0 && p.gain == std::floor(p.gain) &&
            static_cast<double>(frames) * p.gain < 4194304.0) {
            if (!summed) {
                all = known ? *known : SumAllWords(pass.bytes, used, pass.samples * pass.b, pass.n, pass.b);
            }
            summed = true;
            BaselineSide side{p.gain, static_cast<double>(all.sum[slot]) * p.gain / static_cast<double>(frames),
                              p.sign};
            fast[slot] = SetOfWords(WordOnBaselineSide, &side, p.sign > 0.0, &sides.flip[slot], &sides.last[slot]);
        }
        if (!fast[slot]) p.baseline = EstimateBaselineOfWidth(pass, slot, p);
    }
    if (!fast[0] && !fast[1]) return;
    SlotSums inside = SumWordsInSets(pass.bytes, used, pass.samples * pass.b, pass.n, pass.b, sides);
    for (int slot = 0; slot < pass.n; ++slot) {
        if (!fast[slot]) continue;
        ChannelPass& p = pass.channel[pass.slotChannel[slot]];
        double below = static_cast<double>(static_cast<int64_t>(p.gain) * inside.sum[slot]);
        p.baseline = inside.count[slot] ? below / static_cast<double>(inside.count[slot]) : 0.0;
    }
}

void SetUpChannel(Pass& pass, int slot) {
    int c = pass.slotChannel[slot];
    ChannelPass& p = pass.channel[c];
    const ChannelSettings& cs = settings.channel[c];
    p.sign = cs.minHeight < 0.0 ? -1.0 : 1.0;
    p.threshold = static_cast<double>(workingParameters[c][FIELD_MIN_HEIGHT]) * p.sign;
    p.gain = cs.boostGain >= 1.0 ? std::min(cs.boostGain, 100.0) : 1.0;
    p.maxDist = cs.maxDistortion * 0.01;
    p.shapeMode = settings.options[c].useShapeMethod != 0;
    p.timeLimit = workingParameters[c][FIELD_ACQUISITION_TIME];
    if (runState & RS_SHAPE_ACQUISITION) {
        p.shapeMode = false;
        p.threshold = std::max(p.threshold, SHAPE_ACQUISITION_THRESHOLD);
    }
    if (p.shapeMode) {
        p.shape = settings.pulseShape[c];
        p.lo = std::max(shapeFirstUsed[c], 0);
        p.hi = std::min(shapeLastUsed[c], SHAPE_POINTS - 1);
        p.usedCount = 0;
        for (int j = p.lo; j <= p.hi; ++j)
            if (settings.shapePointUsed[c][j]) p.used[p.usedCount++] = j;
    }
    // A channel at its limit (a Stop at the limit followed by Continue, or a lowered maxPulses)
    // must not open another record beyond its share of the store.
    if (PulseLimitReached(c)) pass.limitReached = true;
}

// Picks up a pulse left open by the previous block.
void ResumeOpenPulse(Pass& pass, int c) {
    ChannelPass& p = pass.channel[c];
    p.open = (runState & OPEN_BIT[c]) && pulseStore && pulseCount[c] < pulseCapacity[c];
    p.record = p.open ? &pulseStore[PulseIndex(c, pulseCount[c])] : nullptr;
}

void OpenPulse(Pass& pass, int c, double d, double q, int64_t k) {
    if (!pass.triggered) {
        if (pass.ringWrites < SNAPSHOT_PRE_TRIGGER) {
            pass.trigger = SNAPSHOT_PRE_TRIGGER;
        } else {
            pass.trigger = pass.ringWrites;
            pass.triggered = true;
        }
    }
    ChannelPass& p = pass.channel[c];
    PulseRecord& record = pulseStore[PulseIndex(c, pulseCount[c])];
    record.time = pass.clock;
    record.width = 1;
    record.height = ToUnsigned32(d);
    record.distortion = ToUnsigned32(q * UNSIGNED_MAX);
    record.partner = 0;
    p.record = &record;
    p.open = true;
    p.peakSample = k;
}

// Adds the closed pulse's 60 frames around its peak to the template sums, when the whole window
// lies inside the block (and before the fixed bound) and the peak is not clipped.
void CollectShape(const Pass& pass, int c) {
    const ChannelPass& p = pass.channel[c];
    int64_t peak = p.peakSample;
    int64_t n = pass.n;
    int64_t h = SHAPE_PEAK_POINT * n;
    if (!(peak > h && peak < SHAPE_COLLECT_BOUND - h)) return;
    if (peak + (SHAPE_POINTS - 1 - SHAPE_PEAK_POINT) * n >= pass.samples) return;
    double peakValue = LimitSample(static_cast<double>(ReadSampleOfWidth(pass.bytes, peak, pass.b)) * p.gain);
    if (!(peakValue < CLIPPED_PEAK)) return;
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        int64_t k = peak + (j - SHAPE_PEAK_POINT) * n;
        double v = LimitSample(static_cast<double>(ReadSampleOfWidth(pass.bytes, k, pass.b)) * p.gain);
        settings.pulseShape[c][j] += v * p.sign;
    }
}

// Counts the open pulse; true when that brings the channel to its limit.
bool ClosePulse(Pass& pass, int c) {
    ChannelPass& p = pass.channel[c];
    ++pulseCount[c];
    p.open = false;
    p.record = nullptr;
    if (runState & RS_SHAPE_ACQUISITION) CollectShape(pass, c);
    if (PulseLimitReached(c)) {
        pass.limitReached = true;
        return true;
    }
    return false;
}

// The threshold method's detection value of a gained sample.
inline double DetectionValue(const ChannelPass& p, double v) { return (v - p.baseline) * p.sign; }

bool WordQuiet(int32_t word, const void* context) {
    const ChannelPass& p = *static_cast<const ChannelPass*>(context);
    return !(DetectionValue(p, LimitSample(static_cast<double>(word) * p.gain)) >= p.threshold);
}

// Quiet stretches can be skipped when every channel of the block uses the threshold method, some
// words cannot open a pulse, and frames fill the input ring one position each (left channel first).
void PrepareQuietSkips(Pass& pass) {
    pass.nextScan = -1;
    if (!vectorPath || (pass.n == 2 && pass.slotChannel[0] != 0)) return;
    for (int slot = 0; slot < pass.n; ++slot) {
        const ChannelPass& p = pass.channel[pass.slotChannel[slot]];
        if (p.shapeMode ||
            !SetOfWords(WordQuiet, &p, p.sign > 0.0, &pass.quiet.flip[slot], &pass.quiet.last[slot]))
            return;
    }
    pass.nextScan = 0;
}

inline bool ThresholdStep(Pass& pass, int c, double v, int64_t k) {
    ChannelPass& p = pass.channel[c];
    double d = DetectionValue(p, v);
    if (!p.open) {
        if (d >= p.threshold) OpenPulse(pass, c, d, 0.0, k);
        return false;
    }
    if (d < p.threshold) return ClosePulse(pass, c);
    PulseRecord& record = *p.record;
    if (d > static_cast<double>(record.height)) {
        record.height = ToUnsigned32(d);
        p.peakSample = k;
    }
    if (record.width != 0xFFFFFFFFu) ++record.width;
    return false;
}

// Correlation of the template points lo..hi with their paired history values; four partial sums
// keep the multiply-adds independent.
inline double Correlate(const double* shape, const double* window, int lo, int hi) {
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    int j = lo;
    for (; j + 3 <= hi; j += 4) {
        a0 += shape[j] * window[j];
        a1 += shape[j + 1] * window[j + 1];
        a2 += shape[j + 2] * window[j + 2];
        a3 += shape[j + 3] * window[j + 3];
    }
    for (; j <= hi; ++j) a0 += shape[j] * window[j];
    return (a0 + a1) + (a2 + a3);
}

// Distortion of the signal window against the template: both normalised (mean removed, scaled by
// range / sum of squares) and compared point by point. A flat window or a template without used
// points has no shape at all and counts as infinitely distorted.
double ShapeDistortion(const ChannelPass& p, const double* window) {
    if (p.usedCount == 0) return NO_SHAPE;
    double shapeWindow[SHAPE_POINTS];
    double sum = 0.0;
    for (int u = 0; u < p.usedCount; ++u) sum += window[p.used[u]];
    double mean = sum / p.usedCount;
    double low = 0.0, high = 0.0, squares = 0.0;
    for (int u = 0; u < p.usedCount; ++u) {
        int j = p.used[u];
        double w = window[j] - mean;
        shapeWindow[j] = w;
        low = std::min(low, w);
        high = std::max(high, w);
        squares += w * w;
    }
    if (!(squares > 0.0)) return NO_SHAPE;
    double scale = (high - low) / squares;
    double q = 0.0;
    for (int u = 0; u < p.usedCount; ++u) {
        int j = p.used[u];
        double e = p.shape[j] - shapeWindow[j] * scale;
        q += e * e;
    }
    return q;
}

inline bool ShapeStep(Pass& pass, int c, double v, int64_t k) {
    ChannelPass& p = pass.channel[c];
    uint32_t position = shapeHistoryPos[c];
    double* history = shapeHistory[c];
    double value = v * p.sign;
    history[position] = value;
    history[position + SHAPE_HISTORY_LENGTH] = value;
    // Point j pairs with the value written 59 - j samples ago.
    const double* window = history + position + SHAPE_HISTORY_LENGTH - (SHAPE_POINTS - 1);
    double r = Correlate(p.shape, window, p.lo, p.hi);
    double q = lastDistortion[c];
    if (r > p.threshold) {
        q = ShapeDistortion(p, window);
        lastDistortion[c] = q;
    }
    shapeHistoryPos[c] = (position + 1) & (SHAPE_HISTORY_LENGTH - 1);
    if (!p.open) {
        if (r > p.threshold && q < p.maxDist) OpenPulse(pass, c, r, q, k);
        return false;
    }
    if (!(r >= p.threshold && q <= p.maxDist)) return ClosePulse(pass, c);
    PulseRecord& record = *p.record;
    if (r > static_cast<double>(record.height)) {
        record.height = ToUnsigned32(r);
        record.distortion = ToUnsigned32(q * UNSIGNED_MAX);
    }
    if (record.width != 0xFFFFFFFFu) ++record.width;
    return false;
}

// Passes over the quiet frames from sample k (a frame boundary) on, up to the first group of four
// samples that might open a pulse, with every effect the state machine would have had on them: the
// clock and the input ring. Returns the sample to go on with.
template <int B, int N>
int64_t SkipQuiet(Pass& pass, int64_t k) {
    for (int slot = 0; slot < N; ++slot) {
        if (pass.channel[pass.slotChannel[slot]].open) {
            pass.nextScan = k + N;  // every sample of a pulse counts
            return k;
        }
    }
    // No quiet frame may pass the acquisition time: there the sample loop ends.
    int64_t frames = (pass.samples - k) / N;
    for (int slot = 0; slot < N; ++slot) frames = std::min(frames, pass.channel[pass.slotChannel[slot]].timeLimit - pass.clock);
    int64_t end = frames > 0 ? SkipQuietGroups(pass.bytes, k, k + frames * N, pass.samples * B, N, B, pass.quiet) : k;
    pass.nextScan = end + 4;
    if (end == k) return k;
    frames = (end - k) / N;
    // Frames fill the ring until it stands still after a trigger; only the last 128 remain in it.
    int64_t written = frames;
    if (pass.triggered) written = std::clamp<int64_t>(pass.trigger + SNAPSHOT_PRE_TRIGGER - pass.ringWrites, 0, frames);
    for (int64_t f = std::max<int64_t>(0, written - INPUT_RING_LENGTH); f < written; ++f) {
        for (int slot = 0; slot < N; ++slot) {
            int c = pass.slotChannel[slot];
            double v = LimitSample(static_cast<double>(ReadSample<B>(pass.bytes, k + f * N + slot)) * pass.channel[c].gain);
            inputRing[c][(pass.ringWrites + f) & RING_MASK] = v;
        }
    }
    pass.ringWrites += written;
    pass.clock += frames;
    return end;
}

// The sample loop for B-byte samples and N channels.
template <int B, int N>
void RunSamples(Pass& pass) {
    const uint8_t* bytes = pass.bytes;
    for (int64_t k = 0; k < pass.samples; ++k) {
        if (k == pass.nextScan) {
            k = SkipQuiet<B, N>(pass, k);
            if (k >= pass.samples) break;
        }
        int c = N == 1 ? pass.slotChannel[0] : pass.slotChannel[k & 1];
        ChannelPass& p = pass.channel[c];
        if (pass.clock >= p.timeLimit) {
            pass.limitReached = true;
            break;
        }
        double v = LimitSample(static_cast<double>(ReadSample<B>(bytes, k)) * p.gain);
        if (!pass.triggered || pass.ringWrites < pass.trigger + SNAPSHOT_PRE_TRIGGER) {
            inputRing[c][pass.ringWrites & RING_MASK] = v;
            if (N == 1 || c == 1) ++pass.ringWrites;
        }
        bool stop = p.shapeMode ? ShapeStep(pass, c, v, k) : ThresholdStep(pass, c, v, k);
        if (stop) break;
        // A right-channel sample that opened or continued its pulse while a left pulse is open
        // links the two (again at every such sample, so the latest overlap wins).
        if (c == 1 && pass.channel[0].open && pass.channel[1].open) {
            pass.channel[0].record->partner = pulseCount[1];
            pass.channel[1].record->partner = pulseCount[0];
        }
        if (N == 1 || (k & 1)) ++pass.clock;
    }
}

template <int B>
void RunSamplesOfWidth(Pass& pass) {
    if (pass.n == 1)
        RunSamples<B, 1>(pass);
    else
        RunSamples<B, 2>(pass);
}
}  // namespace

namespace {
// The block's layout; false when the layout is not one the detector runs.
bool SetUpLayout(Pass& pass, const uint8_t* block, uint32_t byteCount) {
    int first = 0;
    if (runState & RS_FILE_REPLAY) {
        pass.n = replayChannels;
        pass.b = replayChannels ? replayBlockAlign / replayChannels : 0;
    } else {
        pass.n = inputWaveFormat.channels;
        pass.b = pass.n ? inputWaveFormat.blockAlign / pass.n : 0;
        first = settings.inputChannels == 1 ? 1 : 0;
    }
    if ((pass.n != 1 && pass.n != 2) || pass.b < 2 || pass.b > 4 || (!block && byteCount)) return false;
    pass.bytes = block;
    pass.samples = byteCount / static_cast<uint32_t>(pass.b);
    pass.slotChannel[0] = first;
    pass.slotChannel[1] = 1 - first;
    return true;
}

// Whether sums made ahead were made from this pass's block and layout.
bool MadeFor(const BaselinesAhead& ahead, const Pass& pass) {
    return ahead.usable && ahead.block == pass.bytes && ahead.byteCount == pass.samples * pass.b &&
           ahead.n == pass.n && ahead.b == pass.b;
}
}  // namespace

BaselinesAhead RequestBaselines(const uint8_t* block, uint32_t byteCount) {
    BaselinesAhead ahead;
    Pass pass;
    if (!SetUpLayout(pass, block, byteCount)) return ahead;
    ahead.block = block;
    ahead.byteCount = static_cast<uint32_t>(pass.samples * pass.b);
    ahead.n = pass.n;
    ahead.b = pass.b;
    return ahead;
}

void SumBaselinesAhead(BaselinesAhead* ahead) {
    if (!ahead || ahead->n == 0) return;
    int64_t samples = ahead->byteCount / static_cast<uint32_t>(ahead->b);
    int64_t used = samples / ahead->n * ahead->n;
    ahead->sums = SumAllWords(ahead->block, used, ahead->byteCount, ahead->n, ahead->b);
    ahead->usable = true;
}

bool DetectPulses(const uint8_t* block, uint32_t byteCount, const BaselinesAhead* ahead) {
    if (runState & RS_LIMIT_REACHED) return false;
    // Every pass marks where its new pulses begin, also for a channel the block does not carry.
    bufferFirstPulse[0] = pulseCount[0];
    bufferFirstPulse[1] = pulseCount[1];

    Pass pass;
    if (!SetUpLayout(pass, block, byteCount)) return false;
    pass.clock = sampleClock;
    for (int slot = 0; slot < pass.n; ++slot) SetUpChannel(pass, slot);
    int64_t clockAtStart = sampleClock;
    EstimateBaselines(pass, ahead && MadeFor(*ahead, pass) ? &ahead->sums : nullptr);
    PrepareQuietSkips(pass);
    for (int c = 0; c < 2; ++c) ResumeOpenPulse(pass, c);
    if (!pass.limitReached) {
        if (pass.b == 2)
            RunSamplesOfWidth<2>(pass);
        else if (pass.b == 3)
            RunSamplesOfWidth<3>(pass);
        else
            RunSamplesOfWidth<4>(pass);
    }

    sampleClock = pass.clock;
    for (int c = 0; c < 2; ++c) {
        if (pass.channel[c].open)
            runState |= OPEN_BIT[c];
        else
            runState &= ~OPEN_BIT[c];
    }
    if (pass.limitReached) runState |= RS_LIMIT_REACHED;

    if (pass.triggered || pass.trigger == SNAPSHOT_PRE_TRIGGER || (runState & RS_INPUT_FREE_RUN)) {
        std::memcpy(inputSnapshot, inputRing, sizeof(inputSnapshot));
        snapshotTrigger = static_cast<int32_t>(pass.trigger);
    }
    if (runState & RS_SOUND_ON) MixClicks(clockAtStart, static_cast<uint32_t>(pass.samples));
    acquisitionSeconds = dataSampleRate ? static_cast<double>(sampleClock) / static_cast<double>(dataSampleRate) : 0.0;
    return (runState & RS_LIMIT_REACHED) != 0;
}

void SetReplayFormat(uint16_t channels, uint16_t blockAlign) {
    replayChannels = channels;
    replayBlockAlign = blockAlign;
}

void ResetChannelShapeHistory(int channel) {
    if (channel < 0 || channel > 1) return;
    std::memset(shapeHistory[channel], 0, sizeof(shapeHistory[channel]));
    shapeHistoryPos[channel] = 0;
}

void ResetShapeHistory() {
    ResetChannelShapeHistory(0);
    ResetChannelShapeHistory(1);
}

void DropOpenPulses() {
    for (int c = 0; c < 2; ++c) {
        if (!(runState & OPEN_BIT[c])) continue;
        uint32_t dropped = pulseCount[c];
        if (!pulseStore || dropped >= pulseCapacity[c]) continue;
        int64_t droppedTime = pulseStore[PulseIndex(c, dropped)].time;
        int other = 1 - c;
        // Only records that overlapped the dropped pulse can have been linked to it; the other
        // channel's records are in time order, so the search stops at the first that ended before it.
        for (uint32_t i = pulseCount[other]; i-- > 0;) {
            PulseRecord& record = pulseStore[PulseIndex(other, i)];
            if (record.time + static_cast<int64_t>(record.width) < droppedTime) break;
            if (record.partner == dropped) record.partner = 0;
        }
    }
    runState &= ~(RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT);
}

void ResetDetectorState() {
    std::memset(shapeHistory, 0, sizeof(shapeHistory));
    shapeHistoryPos[0] = shapeHistoryPos[1] = 0;
    shapeFirstUsed[0] = shapeFirstUsed[1] = 0;
    shapeLastUsed[0] = shapeLastUsed[1] = SHAPE_POINTS - 1;
    std::memset(inputRing, 0, sizeof(inputRing));
    std::memset(inputSnapshot, 0, sizeof(inputSnapshot));
    snapshotTrigger = 0;
    replayChannels = replayBlockAlign = 0;
    lastDistortion[0] = lastDistortion[1] = 0.0;
    vectorPath = true;
}

void SetDetectorVectorPath(bool on) { vectorPath = on; }
