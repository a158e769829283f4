// tik-scale: the largest acquisition the store allows, end to end — fill 100,000,000 pulses per
// channel (4.8 GB), full recompute, save, reopen, exports — with the time and peak memory of each
// step and a check of every record read back; a plain WAV file near the 4 GB limit of its 32-bit
// sizes, written by the pulse generator, for a replay through tik-cli; and the soak's reference run.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_generator.h"
#include "acquisition/pulse_store.h"
#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tools/scale_soak.h"
#include "ui/commands.h"
#include "ui/startup.h"

namespace {
constexpr uint32_t RATE = 48000;
constexpr int64_t SPACING = 48;     // frames between pulses of one channel: 1000 pulses/s
constexpr uint32_t PAIR_EVERY = 5;  // every fifth pulse is coincident with its right partner
constexpr double WAV_SECONDS_LIMIT = 1e6;

using Clock = std::chrono::steady_clock;

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

struct Step {
    const char* name;
    Clock::time_point start = Clock::now();
    explicit Step(const char* n) : name(n) { std::fprintf(stderr, "%s ...\n", name); }
    ~Step() {
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%-34s %9.2f s   peak RSS %9.1f MB\n", name, seconds, PeakMegabytes());
        std::fflush(stdout);
    }
};

// The record that channel c's pulse i holds: times beyond 2^32 frames towards the end, heights
// over the whole scale, partners on every fifth pulse (index 0 has none: 0 means no partner).
PulseRecord Expected(int c, uint32_t i) {
    PulseRecord p;
    p.time = SPACING * static_cast<int64_t>(i) + 3 * c;
    p.width = 4 + (i * 7 + c) % 40;
    uint64_t mix = (static_cast<uint64_t>(i) * 2654435761u + static_cast<uint64_t>(c) * 40503u) % 4000000000u;
    p.height = static_cast<uint32_t>(mix / 2) + 21474836u;
    p.distortion = (i % 11) * 390451572u;
    p.partner = (i % PAIR_EVERY == 0) ? i : 0;
    return p;
}

bool SameRecord(const PulseRecord& a, const PulseRecord& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

bool Fail(const char* what) {
    std::fprintf(stderr, "tik-scale: %s\n", what);
    return false;
}

// Settings of the run: every plot window shown (so the recompute builds every series), the
// capacity of both channels, and an analysis window that covers the whole acquisition.
bool WriteRunSettings(const std::string& path, uint32_t perChannel) {
    SettingsRecord record;
    SetDefaultSettings(record);
    record.inputChannels = 2;
    for (int c = 0; c < 2; ++c) {
        record.channel[c].maxPulses = perChannel;
        record.channel[c].acquisitionTime = 3155692600.0;
        record.channel[c].durationTime = 3155692600.0;
        record.channel[c].timeStep = 60.0;
    }
    for (WindowPlacementRecord& w : record.windowPlacement) w.showCommand = 1;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file && std::fwrite(&record, 1, sizeof(record), file) == sizeof(record);
    if (file) ok = std::fclose(file) == 0 && ok;
    return ok;
}

void SendWithFileAnswer(int command, const std::string& path) {
    Headless().fileAnswers.clear();
    Headless().fileAnswers.push_back(path);
    SendCommand(WND_PULSES, command);
}

bool NoMessages(const char* step) {
    if (Headless().messages.empty()) return true;
    std::fprintf(stderr, "tik-scale: %s showed \"%s\"\n", step, Headless().messages.front().text.c_str());
    return false;
}

void PrintSeries(const char* when) {
    std::printf("%s: pulses %u + %u, sampleClock %lld (2^32 = 4294967296), filtered %d, entries", when,
                pulseCount[0], pulseCount[1], static_cast<long long>(sampleClock), filteredPulseCount);
    for (int s = SERIES_RATE_TIME; s <= SERIES_HEIGHT; ++s)
        std::printf(" %lld", static_cast<long long>(entryCount[s]));
    std::printf(", dataLength");
    for (int w = 0; w <= 5; ++w) std::printf(" %lld", static_cast<long long>(dataLength[w]));
    std::printf("\n");
}

// The height histogram holds one entry per selected pulse, and the analysis window covers all.
bool SeriesCoverEveryPulse(uint32_t perChannel) {
    if (filteredPulseCount != static_cast<int32_t>(perChannel))
        return Fail("filtered pulse count is not the pulse count");
    if (entryCount[SERIES_HEIGHT] != static_cast<int64_t>(perChannel))
        return Fail("height histogram does not hold every pulse");
    if (entryCount[SERIES_WIDTH] != static_cast<int64_t>(perChannel))
        return Fail("width histogram does not hold every pulse");
    return true;
}

bool RunStore(const std::string& directory, uint32_t perChannel) {
    std::string ini = directory + "/scale.ini";
    std::string pls = directory + "/scale.pls";
    if (!WriteRunSettings(ini, perChannel)) return Fail("cannot write the settings file");
    setenv("TIK_SETTINGS", ini.c_str(), 1);
    {
        Step step("start-up, store allocation");
        if (!StartProgram(nullptr)) return Fail("start-up failed");
    }
    if (pulseCapacity[0] != perChannel || pulseCapacity[1] != perChannel)
        return Fail("store not allocated in full");
    std::printf("store: %u records, %.3f GB\n", storeSize, storeSize * 24.0 / 1e9);
    {
        Step step("fill (generated pulse stream)");
        for (int c = 0; c < 2; ++c)
            for (uint32_t i = 0; i < perChannel; ++i) Pulse(c, i) = Expected(c, i);
        pulseCount[0] = pulseCount[1] = perChannel;
        sampleClock = SPACING * static_cast<int64_t>(perChannel) + 100;
        acquisitionSeconds = static_cast<double>(sampleClock) / RATE;
        runState |= RS_DATA_READY;
    }
    {
        Step step("full recompute");
        RecomputeAll(false);
    }
    PrintSeries("after fill");
    if (!SeriesCoverEveryPulse(perChannel)) return false;
    int64_t clockBefore = sampleClock;
    {
        Step step("save");
        SendWithFileAnswer(IDM_SAVE, pls);
    }
    if (!NoMessages("save")) return false;
    uint64_t expectedSize = 7216 + 24ull * 2 * perChannel;
    std::error_code error;
    uint64_t size = std::filesystem::file_size(pls, error);
    std::printf("data file: %llu bytes (expected %llu)\n", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(expectedSize));
    if (size != expectedSize) return Fail("data file has the wrong size");

    // Reopen into a store whose records are wiped first, so that only the file can bring them back.
    std::memset(pulseStore, 0xA5, static_cast<size_t>(storeSize) * sizeof(PulseRecord));
    pulseCount[0] = pulseCount[1] = 0;
    sampleClock = 0;
    {
        Step step("reopen (Open, full recompute)");
        SendWithFileAnswer(IDM_OPEN, pls);
    }
    if (!NoMessages("open")) return false;
    PrintSeries("after reopen");
    if (pulseCount[0] != perChannel || pulseCount[1] != perChannel || sampleClock != clockBefore)
        return Fail("reopened counts or clock differ");
    if (!SeriesCoverEveryPulse(perChannel)) return false;
    {
        Step step("check every record read back");
        for (int c = 0; c < 2; ++c)
            for (uint32_t i = 0; i < perChannel; ++i)
                if (!SameRecord(Pulse(c, i), Expected(c, i))) return Fail("a record read back differs");
    }
    const struct {
        int command;
        const char* name;
    } exports[] = {{IDM_EXPORT_HEIGHT, "height"},
                   {IDM_EXPORT_INTERVAL, "interval"},
                   {IDM_EXPORT_RATE_TIME, "rate-time"},
                   {IDM_EXPORT_COINCIDENT, "coincident"}};
    for (const auto& e : exports) {
        std::string path = directory + "/scale-" + e.name + ".txt";
        std::string label = std::string("export ") + e.name;
        {
            Step step(label.c_str());
            SendWithFileAnswer(e.command, path);
        }
        if (!NoMessages(label.c_str())) return false;
        std::printf("  %s: %llu bytes\n", path.c_str(),
                    static_cast<unsigned long long>(std::filesystem::file_size(path, error)));
    }
    return true;
}

// A plain 16-bit mono WAV of the generator at 384000 Hz whose data chunk holds `bytes` bytes:
// at the 4 GB limit that is more than 2^31 frames.
bool RunWav(const std::string& path, uint64_t bytes) {
    PulseGeneratorParameters parameters;
    WaveFormat format = BuildWaveFormat(0, 0, 7, 0);  // PCM, left, 384000 Hz, 16 bits
    double seconds = static_cast<double>(bytes) / (2.0 * 384000.0);
    if (!(seconds > 0.0 && seconds < WAV_SECONDS_LIMIT)) return Fail("size out of range");
    {
        Step step("write the WAV file");
        if (!WritePulseGeneratorWav(path.c_str(), parameters, format, seconds))
            return Fail("cannot write the WAV file");
    }
    std::error_code error;
    std::printf("WAV file: %llu bytes, %.0f s, %.0f frames\n",
                static_cast<unsigned long long>(std::filesystem::file_size(path, error)), seconds,
                seconds * 384000.0);
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "store") == 0) {
        long long perChannel = std::atoll(argv[3]);
        if (perChannel < 10 || perChannel > MAX_PULSES_PER_CHANNEL) {
            Fail("pulses per channel: 10 to 100000000");
            return 2;
        }
        return RunStore(argv[2], static_cast<uint32_t>(perChannel)) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "wav") == 0) {
        long long bytes = std::atoll(argv[3]);
        if (bytes <= 0 || bytes > 4294967295LL - 36) {
            Fail("data bytes: 1 to 4294967259");
            return 2;
        }
        return RunWav(argv[2], static_cast<uint64_t>(bytes)) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "generator") == 0) return RunGeneratorReference(argc, argv);
    std::fprintf(
        stderr,
        "usage: tik-scale store DIR PULSES_PER_CHANNEL   fill, recompute, save, reopen, export in DIR\n"
        "       tik-scale wav FILE DATA_BYTES              write a 16-bit mono 384 kHz generator WAV\n"
        "       tik-scale generator SETTINGS.ini OUT.pls   the generator through the scripted device\n");
    return 2;
}
