// Painting cost of the pulses view over large stores (bounded by the window width) and of the pulse
// height window with a full spectrum, 32 ROIs, their statistics and the Gaussian curve.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/program_state.h"

namespace {
constexpr int64_t TIME_SPAN = 100000000;  // samples covered by the pulses, whatever their number

void FreshProgram() {
    HeadlessReset();
    ResetProgramState();
    QuantizeSettings(true);
    BindSeries();
}

// `count` left-channel pulses spread evenly over TIME_SPAN samples, all of them zoomed into a
// 1600-pixel window.
bool PreparePulsesView(uint32_t count) {
    FreshProgram();
    settings.channel[0].maxPulses = count;
    settings.channel[1].maxPulses = 16;
    if (!AllocatePulseStore(true, false)) return false;
    uint32_t state = 12345;
    int64_t spacing = TIME_SPAN / count;
    for (uint32_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        Pulse(0, i) = PulseRecord{static_cast<int64_t>(i) * spacing, 5, state, 0, 0};
    }
    pulseCount[0] = count;
    sampleClock = TIME_SPAN;
    Headless().windows[WND_PULSES].clientWidth = 1600;
    Headless().windows[WND_PULSES].clientHeight = 600;
    viewState[WND_PULSES].zoom = 1e12;  // zoomed out until all data fit
    HeadlessPaint(WND_PULSES);          // the first paint also indexes the store
    return true;
}

void BM_PaintPulsesView(benchmark::State& state) {
    if (!PreparePulsesView(static_cast<uint32_t>(state.range(0)))) {
        state.SkipWithError("pulse store not allocated");
        return;
    }
    for (auto _ : state) {
        HeadlessPaint(WND_PULSES);
        benchmark::DoNotOptimize(Headless().canvasCalls.data());
    }
    state.counters["calls"] = static_cast<double>(Headless().canvasCalls.size());
}
BENCHMARK(BM_PaintPulsesView)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

void BM_PaintHeightWindow(benchmark::State& state) {
    FreshProgram();
    double* raw = seriesData[SERIES_HEIGHT];
    double* gauss = seriesData[SERIES_CORRELATION];
    for (int64_t i = 0; i < HISTOGRAM_LENGTH; ++i) {
        raw[i] = static_cast<double>(1000 + (i * 7919) % 500);
        raw[HISTOGRAM_LENGTH + i] = raw[i];
        gauss[i] = static_cast<double>((i * 104729) % 400) - 200.0;
        gauss[HISTOGRAM_LENGTH + i] = gauss[i] > 0 ? gauss[i] : 0.0;
    }
    displayMax[SERIES_HEIGHT] = rawMax[SERIES_HEIGHT] = 1499;
    displayMax[SERIES_CORRELATION] = rawMax[SERIES_CORRELATION] = 199;
    dataLength[WND_HEIGHT] = HISTOGRAM_LENGTH - 1;
    entryCount[SERIES_HEIGHT] = 40000000;
    for (int r = 0; r < ROI_SLOTS; ++r) AddRoi(0, 1000 * r + 10, 1000 * r + 900);
    settings.options[0].gaussianCorrelation = 1;
    gaussianValid[0] = 1;
    runState |= RS_ROI_SUM;
    viewState[WND_HEIGHT].cursorBin = 15500;
    viewState[WND_HEIGHT].zoom = 1e6;
    Headless().windows[WND_HEIGHT].clientWidth = 1600;
    Headless().windows[WND_HEIGHT].clientHeight = 600;
    for (auto _ : state) {
        HeadlessPaint(WND_HEIGHT);
        benchmark::DoNotOptimize(Headless().canvasCalls.data());
    }
    state.counters["calls"] = static_cast<double>(Headless().canvasCalls.size());
}
BENCHMARK(BM_PaintHeightWindow)->Unit(benchmark::kMicrosecond);
}  // namespace
