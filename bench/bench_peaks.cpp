// Benchmark of the peak search and fit over a whole 32768-bin spectrum: a falling continuum with
// twelve lines whose width grows with the square root of the height, as a scintillator's does.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/peak_search.h"

namespace {
constexpr int BINS = 32768;
// sigma = 0.25 sqrt(bin): about 7 % FWHM at bin 6000.
const PeakWidthModel WIDTH{0.0, 0.25};

std::vector<double> SpectrumWithLines() {
    std::mt19937_64 random(11);
    std::vector<double> expected(BINS);
    for (int i = 0; i < BINS; ++i) expected[i] = 400.0 * std::exp(-i / 4000.0) + 5.0;
    for (int k = 1; k <= 12; ++k) {
        double position = 2500.0 * k, sigma = ExpectedSigma(WIDTH, position), area = 20000.0 / k;
        for (int i = static_cast<int>(position - 6 * sigma); i < position + 6 * sigma && i < BINS; ++i)
            expected[i] += area * std::exp(-0.5 * std::pow((i + 0.5 - position) / sigma, 2)) / (sigma * 2.5066282746);
    }
    std::vector<double> counts(BINS);
    for (int i = 0; i < BINS; ++i) counts[i] = static_cast<double>(std::poisson_distribution<int64_t>(expected[i])(random));
    return counts;
}

void BM_SearchAndFit32768(benchmark::State& state) {
    std::vector<double> counts = SpectrumWithLines();
    size_t found = 0;
    for (auto _ : state) {
        std::vector<FittedPeak> peaks = SearchPeaks(counts, {}, WIDTH, PeakSearchOptions{});
        found = peaks.size();
        benchmark::DoNotOptimize(peaks.data());
    }
    state.counters["peaks"] = static_cast<double>(found);
}
BENCHMARK(BM_SearchAndFit32768)->Unit(benchmark::kMillisecond);
}  // namespace
