// Benchmarks of the pulse-height spectrum: a full build of a large store with the Gaussian
// correlation on, and the calibration set-up with its kernel table.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/program_state.h"

namespace {
constexpr uint32_t PULSES = 2000000;

// Start-up state with the default settings (bin 0.1 arb.u, default calibration) and the correlation on.
void PrepareDefaults() {
    HeadlessReset();
    ResetProgramState();
    QuantizeSettings(true);
    settings.options[0].gaussianCorrelation = 1;
}

// Left pulses: three Gaussian peaks on a falling background, with some shape distortion and a
// distortion correction, so that every pulse takes the full binning path.
void FillStore() {
    settings.channel[0].maxPulses = PULSES;
    settings.channel[1].maxPulses = 10;
    settings.channel[0].correction = 5;
    QuantizeSettings(false);
    AllocatePulseStore(true, false);
    std::mt19937_64 random(3);
    std::normal_distribution<double> peaks[3] = {std::normal_distribution<double>(30.0, 1.1),
                                                 std::normal_distribution<double>(80.0, 1.9),
                                                 std::normal_distribution<double>(140.0, 2.5)};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<uint32_t> distortion(0, 400000000);
    for (uint32_t i = 0; i < PULSES; ++i) {
        double u = unit(random);
        double x = u < 0.6 ? 200.0 * (1.0 - std::sqrt(unit(random))) : peaks[i % 3](random);
        if (!(x > 0.0 && x < 199.0)) x = 1.0;
        Pulse(0, i) = PulseRecord{static_cast<int64_t>(i) * 20, 5, static_cast<uint32_t>(x * HEIGHT_SCALE),
                                  distortion(random), 0};
    }
    pulseCount[0] = PULSES;
    sampleClock = static_cast<int64_t>(PULSES) * 20;
}

void BM_BuildHeightSpectrumFull(benchmark::State& state) {
    PrepareDefaults();
    FillStore();
    if (!SetUpCalibration(0)) {
        state.SkipWithError("calibration set-up failed");
        return;
    }
    for (auto _ : state) {
        BuildHeightSpectrum(false, false);
        benchmark::DoNotOptimize(seriesData[SERIES_CORRELATION][300]);
    }
    state.counters["bins"] = static_cast<double>(dataLength[WND_HEIGHT]);
    state.SetItemsProcessed(state.iterations() * PULSES);
}
BENCHMARK(BM_BuildHeightSpectrumFull)->Unit(benchmark::kMillisecond);

void BM_SetUpCalibration(benchmark::State& state) {
    PrepareDefaults();
    settings.channel[0].heightBinSize = 0.1;
    for (auto _ : state) {
        bool ok = SetUpCalibration(0);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["kernelBins"] = kernelBins[0];
}
BENCHMARK(BM_SetUpCalibration)->Unit(benchmark::kMicrosecond);
}  // namespace
