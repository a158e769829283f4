// Speed of the built-in pulse generator: frames per second for the formats the live device produces,
// against the 384000 frames per second that the fastest real-time format needs.
#include <benchmark/benchmark.h>

#include <vector>

#include "acquisition/pulse_generator.h"

namespace {
void GenerateHalfSecond(benchmark::State& state) {
    WaveFormat f{};
    f.formatTag = 1;
    f.channels = static_cast<uint16_t>(state.range(1));
    f.bitsPerSample = static_cast<uint16_t>(state.range(2));
    f.samplesPerSecond = static_cast<uint32_t>(state.range(0));
    f.blockAlign = static_cast<uint16_t>(f.channels * f.bitsPerSample / 8);
    f.channelMask = f.channels == 2 ? 3 : 1;
    PulseGeneratorParameters parameters;
    parameters.pulseRate = 1000;
    PulseGenerator generator;
    InitPulseGenerator(generator, parameters, f.samplesPerSecond);
    uint32_t frames = f.samplesPerSecond / 2;
    std::vector<uint8_t> buffer(static_cast<size_t>(frames) * f.blockAlign);
    for (auto _ : state) {
        GeneratePulseFrames(generator, f, buffer.data(), frames);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * frames);
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 0.5, benchmark::Counter::kIsRate);
}
}  // namespace

BENCHMARK(GenerateHalfSecond)
    ->Args({48000, 2, 16})
    ->Args({384000, 2, 32})
    ->Args({384000, 1, 24})
    ->Unit(benchmark::kMillisecond);
