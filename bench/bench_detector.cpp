// Detector throughput: half-second blocks of 16-bit stereo at 384000 frames/s, dense (about 1000
// detector-like pulses per second per channel) and quiet-dominated (about 200 per second, the rest
// baseline noise), through the threshold method with and without its vector passes and through the
// shape method. items_per_second counts interleaved input samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "ui/program_state.h"

namespace {
constexpr int RATE_INDEX_384000 = 7;
constexpr uint32_t FRAMES_PER_BLOCK = 192000;
constexpr int BLOCKS = 4;
constexpr double FULL_SCALE = 2147483648.0;
constexpr double RISE_FRAMES = 3.0;
constexpr double DECAY_FRAMES = 20.0;

double Pulse(double t) {
    if (t < 0.0) return 0.0;
    double peakTime = std::log(DECAY_FRAMES / RISE_FRAMES) * RISE_FRAMES * DECAY_FRAMES / (DECAY_FRAMES - RISE_FRAMES);
    double peak = std::exp(-peakTime / DECAY_FRAMES) - std::exp(-peakTime / RISE_FRAMES);
    return (std::exp(-t / DECAY_FRAMES) - std::exp(-t / RISE_FRAMES)) / peak;
}

struct Random {
    uint64_t state;
    double Uniform() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
    double Normal() {
        double sum = 0.0;
        for (int i = 0; i < 12; ++i) sum += Uniform();
        return sum - 6.0;
    }
};

// Four blocks of interleaved 16-bit stereo: noise of 0.2 % of full scale and Poisson-spaced pulses
// (a mean of pulsesPerSecond / 2 per block and channel) with amplitudes between 5 % and 60 %.
std::vector<std::vector<uint8_t>> MakeBlocks(double pulsesPerSecond) {
    Random random{12345};
    std::vector<std::vector<uint8_t>> blocks;
    for (int b = 0; b < BLOCKS; ++b) {
        std::vector<double> channel[2];
        for (int c = 0; c < 2; ++c) {
            channel[c].assign(FRAMES_PER_BLOCK, 0.0);
            for (double& v : channel[c]) v = random.Normal() * 0.002 * FULL_SCALE;
            double t = 0.0;
            while (true) {
                t += -std::log(1.0 - random.Uniform()) * 384000.0 / pulsesPerSecond;
                if (t >= FRAMES_PER_BLOCK) break;
                double amplitude = (0.05 + 0.55 * random.Uniform()) * FULL_SCALE;
                for (uint32_t f = static_cast<uint32_t>(t); f < FRAMES_PER_BLOCK && f < t + 200.0; ++f)
                    channel[c][f] += amplitude * Pulse(f - t);
            }
        }
        std::vector<uint8_t> bytes(FRAMES_PER_BLOCK * 4);
        for (uint32_t f = 0; f < FRAMES_PER_BLOCK; ++f) {
            for (int c = 0; c < 2; ++c) {
                double sample = std::nearbyint(channel[c][f] / 65536.0);
                sample = std::fmax(-32768.0, std::fmin(32767.0, sample));
                auto word = static_cast<uint16_t>(static_cast<int16_t>(sample));
                bytes[4 * f + 2 * c] = static_cast<uint8_t>(word);
                bytes[4 * f + 2 * c + 1] = static_cast<uint8_t>(word >> 8);
            }
        }
        blocks.push_back(std::move(bytes));
    }
    return blocks;
}

void SetUpCapture(bool shapeMethod) {
    ResetProgramState();
    settings.inputChannels = 2;
    settings.inputRateIndex = RATE_INDEX_384000;
    inputWaveFormat = BuildWaveFormat(0, 2, RATE_INDEX_384000, 0);
    dataSampleRate = 384000;
    for (int c = 0; c < 2; ++c) {
        settings.channel[c].minHeight = 3.0;
        settings.options[c].useShapeMethod = shapeMethod ? 1 : 0;
        for (int j = 0; j < SHAPE_POINTS; ++j) settings.pulseShape[c][j] = Pulse(j - 26.0);
        UpdatePulseShape(c);
    }
    QuantizeSettings(true);
    AllocatePulseStore(true, false);
    runState |= RS_ACQUIRING;
}

void RunDetector(benchmark::State& state, bool shapeMethod, bool quiet = false, bool vectors = true) {
    static const std::vector<std::vector<uint8_t>> denseBlocks = MakeBlocks(1000.0);
    static const std::vector<std::vector<uint8_t>> quietBlocks = MakeBlocks(200.0);
    const std::vector<std::vector<uint8_t>>& blocks = quiet ? quietBlocks : denseBlocks;
    SetUpCapture(shapeMethod);
    SetDetectorVectorPath(vectors);
    int next = 0;
    double found = 0.0;
    for (auto _ : state) {
        const std::vector<uint8_t>& block = blocks[static_cast<size_t>(next)];
        next = (next + 1) % BLOCKS;
        DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
        found += static_cast<double>(pulseCount[0] - bufferFirstPulse[0] + pulseCount[1] - bufferFirstPulse[1]);
        // Keep the store from filling up over a long run.
        if (pulseCount[0] > 900000 || pulseCount[1] > 900000) {
            pulseCount[0] = pulseCount[1] = 0;
            sampleClock = 0;
        }
    }
    if (runState & RS_LIMIT_REACHED) state.SkipWithError("the detector reached a limit");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(FRAMES_PER_BLOCK) * 2);
    state.counters["pulses_per_block"] =
        benchmark::Counter(found / static_cast<double>(state.iterations() > 0 ? state.iterations() : 1));
}

void BM_DetectPulsesThreshold(benchmark::State& state) { RunDetector(state, false); }
void BM_DetectPulsesThresholdPerSample(benchmark::State& state) { RunDetector(state, false, false, false); }
void BM_DetectPulsesThresholdQuiet(benchmark::State& state) { RunDetector(state, false, true); }
void BM_DetectPulsesThresholdQuietPerSample(benchmark::State& state) { RunDetector(state, false, true, false); }
void BM_DetectPulsesShape(benchmark::State& state) { RunDetector(state, true); }
}  // namespace

BENCHMARK(BM_DetectPulsesThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectPulsesThresholdPerSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectPulsesThresholdQuiet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectPulsesThresholdQuietPerSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectPulsesShape)->Unit(benchmark::kMillisecond);
