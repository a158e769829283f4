// File throughput: replaying a 60-second 192 kHz stereo 24-bit recording (1000 pulses/s per channel)
// from the file into the store, and the time-series exports of 1,000,000 pulses over 3600 steps.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "acquisition/pulse_generator.h"
#include "acquisition/pulse_store.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/program_state.h"

namespace {
constexpr double RECORDING_SECONDS = 60.0;
constexpr uint32_t EXPORT_PULSES = 1000000;
constexpr int EXPORT_STEPS = 3600;

std::string BenchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("tik-bench-") + name)).string();
}

void StartState() {
    HeadlessReset();
    ResetProgramState();
    BindSeries();
    QuantizeSettings(true);
    AllocatePulseStore(true, true);
}

// The recording, made once by the built-in pulse generator.
const std::string& Recording() {
    static const std::string path = [] {
        std::string p = BenchPath("replay.wav");
        PulseGeneratorParameters parameters;
        parameters.pulseRate = 1000.0;
        WaveFormat format{};
        format.formatTag = 1;
        format.channels = 2;
        format.samplesPerSecond = 192000;
        format.bitsPerSample = 24;
        format.blockAlign = 6;
        format.averageBytesPerSecond = 192000 * 6;
        if (!WritePulseGeneratorWav(p.c_str(), parameters, format, RECORDING_SECONDS)) std::fprintf(stderr, "no WAV\n");
        return p;
    }();
    return path;
}

void BM_ReplayWav(benchmark::State& state) {
    const std::string& path = Recording();
    StartState();
    for (auto _ : state) {
        SetFileName(path.c_str());
        SendCommand(WND_PULSES, IDM_OPEN_NAMED_FILE);
        benchmark::DoNotOptimize(pulseCount[0]);
    }
    state.counters["leftPulses"] = pulseCount[0];
    state.counters["rightPulses"] = pulseCount[1];
    // Seconds of recording replayed per second of work.
    state.counters["xRealTime"] = benchmark::Counter(RECORDING_SECONDS, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReplayWav)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// One hour at 48 kHz holding 1,000,000 left pulses with heights over 1000 bins, analysed in 1 s steps.
void FillHour() {
    StartState();
    uint64_t random = 1;
    for (uint32_t i = 0; i < EXPORT_PULSES; ++i) {
        random = random * 6364136223846793005ull + 1442695040888963407ull;
        auto time = static_cast<int64_t>(static_cast<double>(i) * 3600.0 * 48000.0 / EXPORT_PULSES);
        auto height = static_cast<uint32_t>((random >> 33) % 2147483648ull);
        Pulse(0, i) = {time, 5, height, 0, 0};
    }
    pulseCount[0] = EXPORT_PULSES;
    sampleClock = static_cast<int64_t>(EXPORT_STEPS) * 48000;
    acquisitionSeconds = EXPORT_STEPS;
    settings.channel[0].timeStep = 1.0;
    AddRoi(0, 100, 200);
    AddRoi(0, 400, 700);
    QuantizeSettings(false);
    runState |= RS_DATA_READY;
}

void RunExport(benchmark::State& state, int command) {
    FillHour();
    std::string path = BenchPath("export.txt");
    for (auto _ : state) {
        Headless().fileAnswers.push_back(path);
        SendCommand(WND_PULSES, command);
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

void BM_ExportHeightVsTime(benchmark::State& state) { RunExport(state, IDM_EXPORT_HEIGHT_TIME); }
BENCHMARK(BM_ExportHeightVsTime)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportRoiVsTime(benchmark::State& state) { RunExport(state, IDM_EXPORT_ROI_TIME); }
BENCHMARK(BM_ExportRoiVsTime)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
