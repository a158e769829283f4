// The batch tool as a whole process: `tik-cli replay --summary` of a 30-second 192 kHz 24-bit stereo
// recording with 200 pulses per second per channel (items_per_second counts its interleaved samples
// per second of wall time) and of a one-second recording, with and without the summary (start-up).
// child_cpu_ms is the process's user plus system time per run, which other load on the machine
// disturbs less than the wall time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_generator.h"

extern char** environ;

namespace {
constexpr int RATE_INDEX_192000 = 5;
constexpr int BITS_CODE_24 = 1;

std::string BenchPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tik-bench-cli-" + name)).string();
}

std::string Recording(double seconds) {
    std::string path = BenchPath(std::to_string(static_cast<int>(seconds)) + "s.wav");
    if (!std::filesystem::exists(path)) {
        PulseGeneratorParameters parameters;
        parameters.pulseRate = 200.0;
        WaveFormat format = BuildWaveFormat(0, 2, RATE_INDEX_192000, BITS_CODE_24);
        if (!WritePulseGeneratorWav(path.c_str(), parameters, format, seconds)) std::fprintf(stderr, "no WAV\n");
    }
    return path;
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void RunReplay(benchmark::State& state, double seconds, bool summary) {
    std::string wav = Recording(seconds);
    std::string settingsFile = BenchPath("settings.ini");
    setenv("TIK_SETTINGS", settingsFile.c_str(), 1);
    const char* arguments[] = {TIK_CLI_PATH, "replay", wav.c_str(), "--set", "left.minHeight=3", "--set",
                               "right.minHeight=3", summary ? "--summary" : nullptr, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    double cpuBefore = ChildCpuSeconds();
    for (auto _ : state) {
        pid_t child = 0;
        if (posix_spawn(&child, TIK_CLI_PATH, &actions, nullptr, const_cast<char* const*>(arguments), environ) != 0) {
            state.SkipWithError("tik-cli could not be started");
            break;
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("tik-cli failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    double runs = state.iterations() > 0 ? static_cast<double>(state.iterations()) : 1.0;
    state.counters["child_cpu_ms"] = (ChildCpuSeconds() - cpuBefore) * 1000.0 / runs;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(seconds * 192000.0 * 2.0));
}

void BM_CliReplay30s(benchmark::State& state) { RunReplay(state, 30.0, true); }
void BM_CliReplay1s(benchmark::State& state) { RunReplay(state, 1.0, true); }
// Start-up: the one-second replay alone, without the analysis the summary adds.
void BM_CliReplay1sNoSummary(benchmark::State& state) { RunReplay(state, 1.0, false); }
}  // namespace

BENCHMARK(BM_CliReplay30s)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CliReplay1s)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CliReplay1sNoSummary)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
