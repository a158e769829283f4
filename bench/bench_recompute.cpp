// Benchmarks of RecomputeAll: a full rebuild of a large store with every window visible, and the
// incremental update for one half-second buffer on top of small and large stores.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/program_state.h"

namespace {
constexpr int64_t BUFFER_FRAMES = 24000;  // half a second at 48000/s
constexpr uint32_t PULSES_PER_BUFFER = 500;

// Program state with every window shown and a store for `capacity` left pulses.
void Prepare(uint32_t capacity) {
    HeadlessReset();
    ResetProgramState();
    QuantizeSettings(true);
    settings.channel[0].maxPulses = capacity;
    settings.channel[1].maxPulses = 10;
    AllocatePulseStore(true, false);
    for (HeadlessWindow& w : Headless().windows) {
        w.created = true;
        w.visible = true;
    }
}

// Appends one buffer's worth of left pulses (random times within it, realistic widths and heights)
// and advances the clock, as one detector pass does.
void AppendBuffer(std::mt19937_64& random) {
    std::uniform_int_distribution<int64_t> offset(0, BUFFER_FRAMES - 1);
    std::uniform_int_distribution<uint32_t> width(3, 60);
    std::uniform_int_distribution<uint32_t> height(30000000, 2000000000);
    int64_t times[PULSES_PER_BUFFER];
    for (int64_t& t : times) t = sampleClock + offset(random);
    std::sort(times, times + PULSES_PER_BUFFER);
    bufferFirstPulse[0] = pulseCount[0];
    bufferFirstPulse[1] = pulseCount[1];
    int64_t last = pulseCount[0] > 0 ? Pulse(0, pulseCount[0] - 1).time : -1;
    for (int64_t t : times) {
        if (t <= last) continue;
        Pulse(0, pulseCount[0]++) = PulseRecord{t, width(random), height(random), 0, 0};
        last = t;
    }
    sampleClock += BUFFER_FRAMES;
}

void FillStore(uint32_t pulses, std::mt19937_64& random) {
    while (pulseCount[0] + PULSES_PER_BUFFER <= pulses) AppendBuffer(random);
}

void BM_RecomputeAllFull(benchmark::State& state) {
    Prepare(2000000);
    std::mt19937_64 random(1);
    FillStore(2000000, random);
    for (auto _ : state) {
        RecomputeAll(false);
        benchmark::DoNotOptimize(filteredPulseCount);
    }
    state.counters["pulses"] = pulseCount[0];
}
BENCHMARK(BM_RecomputeAllFull)->Unit(benchmark::kMillisecond);

// What one incremental update changes, so that every iteration starts from the same store size.
struct Checkpoint {
    uint32_t count;
    int64_t clock;
    int64_t lengths[7];
    int64_t entries[SERIES_COUNT];
    uint32_t cursors[2];
    int64_t steps[2];
    int32_t filtered;
    std::vector<double> bins[SERIES_COUNT];
};

Checkpoint Save() {
    Checkpoint k;
    k.count = pulseCount[0];
    k.clock = sampleClock;
    std::memcpy(k.lengths, dataLength, sizeof(k.lengths));
    std::memcpy(k.entries, entryCount, sizeof(k.entries));
    k.cursors[0] = rateTimeCursor;
    k.cursors[1] = rateHistCursor;
    k.steps[0] = rateTimeSteps;
    k.steps[1] = rateHistSteps;
    k.filtered = filteredPulseCount;
    for (int s = SERIES_RATE_HIST; s <= SERIES_WIDTH; ++s)
        k.bins[s].assign(seriesData[s], seriesData[s] + HISTOGRAM_LENGTH);
    return k;
}

// Restores the raw entries an incremental update may have written (new steps, raised bins).
void Restore(const Checkpoint& k) {
    for (int s = SERIES_RATE_HIST; s <= SERIES_WIDTH; ++s) {
        int64_t upTo = std::min<int64_t>(std::max(k.lengths[s + 1], dataLength[s + 1]) + 1, HISTOGRAM_LENGTH);
        std::copy(k.bins[s].begin(), k.bins[s].begin() + upTo, seriesData[s]);
    }
    std::fill(seriesData[0] + k.lengths[1], seriesData[0] + std::min(dataLength[1] + 1, RATE_TIME_LENGTH),
              0.0);
    pulseCount[0] = k.count;
    sampleClock = k.clock;
    std::memcpy(dataLength, k.lengths, sizeof(k.lengths));
    std::memcpy(entryCount, k.entries, sizeof(k.entries));
    rateTimeCursor = k.cursors[0];
    rateHistCursor = k.cursors[1];
    rateTimeSteps = k.steps[0];
    rateHistSteps = k.steps[1];
    filteredPulseCount = k.filtered;
}

void BM_RecomputeAllIncremental(benchmark::State& state) {
    uint32_t stored = static_cast<uint32_t>(state.range(0));
    Prepare(stored + PULSES_PER_BUFFER);
    std::mt19937_64 random(2);
    FillStore(stored, random);
    RecomputeAll(false);
    Checkpoint checkpoint = Save();
    for (auto _ : state) {
        state.PauseTiming();
        Restore(checkpoint);
        AppendBuffer(random);
        state.ResumeTiming();
        RecomputeAll(true);
    }
    state.counters["stored"] = checkpoint.count;
}
BENCHMARK(BM_RecomputeAllIncremental)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
}  // namespace
