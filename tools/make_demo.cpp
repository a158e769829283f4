// tik-demo: writes the demo recording (one minute of a caesium-like source with coincidences, made by
// the built-in pulse generator) and settings that show it well, for `make run` and the documentation.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_generator.h"
#include "core/settings.h"

namespace {
constexpr double DEMO_SECONDS = 60.0;
constexpr double DEMO_THRESHOLD = 3.0;  // arb.u: above the noise and the undershoot's recovery
// Where the 662 keV line of the default generator lands in the pulse-height histogram (arb.u).
constexpr double PHOTOPEAK_HEIGHT = 51.5;
constexpr double PHOTOPEAK_SD = 1.6;
// Wide enough for the longest legend (the height window with the cursor in the region); the grid of
// two columns and four rows fits a screen of 1600 x 1000 pixels.
constexpr int WINDOW_WIDTH = 800, WINDOW_HEIGHT = 250;

SettingsRecord DemoSettings() {
    SettingsRecord record;
    SetDefaultSettings(record);
    record.inputChannels = 2;
    for (int c = 0; c < 2; ++c) {
        record.channel[c].minHeight = DEMO_THRESHOLD;
        record.options[c].useCalibration = 1;
        record.options[c].gaussianCorrelation = 1;
        record.calibration[c][CALIBRATION_ROWS - 1] = {PHOTOPEAK_HEIGHT, PHOTOPEAK_SD, 662.0};
        double bin = record.channel[c].heightBinSize;
        int32_t start = static_cast<int32_t>((PHOTOPEAK_HEIGHT - 2.5 * PHOTOPEAK_SD) / bin);
        int32_t end = static_cast<int32_t>((PHOTOPEAK_HEIGHT + 2.5 * PHOTOPEAK_SD) / bin);
        record.roi[c][0] = {start, end, start * bin, end * bin, 0, 0, 0, 0};
    }
    std::snprintf(record.comments, sizeof(record.comments), "%s",
                  "Demo recording: a caesium-like source from the built-in pulse generator.");
    for (int i = 0; i < PLOT_WINDOW_COUNT; ++i) {
        WindowPlacementRecord& w = record.windowPlacement[i];
        w.showCommand = 1;
        w.normalLeft = (i % 2) * WINDOW_WIDTH;
        w.normalTop = (i / 2) * WINDOW_HEIGHT;
        w.normalRight = w.normalLeft + WINDOW_WIDTH;
        w.normalBottom = w.normalTop + WINDOW_HEIGHT;
    }
    return record;
}
}  // namespace

int main(int argc, char** argv) {
    // A shorter recording serves quick checks of an installed copy.
    bool usable = argc == 2 || argc == 3;
    double seconds = DEMO_SECONDS;
    if (argc == 3) {
        char* end = nullptr;
        seconds = std::strtod(argv[2], &end);
        usable = end != argv[2] && *end == '\0' && seconds >= 1.0 && seconds <= DEMO_SECONDS;
    }
    if (!usable) {
        std::fprintf(stderr, "usage: tik-demo DIR [SECONDS]    writes DIR/demo.wav (1 to 60 s, default 60) and DIR/demo.ini\n");
        return 2;
    }
    std::string directory = argv[1];
    PulseGeneratorParameters parameters;
    parameters.pulseRate = 300.0;
    parameters.coincidence = 0.2;
    parameters.seed = 1;
    WaveFormat format = BuildWaveFormat(0, 2, 1, 0);  // PCM, stereo, 48000 Hz, 16 bits
    std::string wav = directory + "/demo.wav";
    if (!WritePulseGeneratorWav(wav.c_str(), parameters, format, seconds)) {
        std::fprintf(stderr, "Cannot write %s\n", wav.c_str());
        return 1;
    }
    SettingsRecord record = DemoSettings();
    std::string ini = directory + "/demo.ini";
    std::FILE* file = std::fopen(ini.c_str(), "wb");
    bool ok = file && std::fwrite(&record, 1, sizeof(record), file) == sizeof(record);
    if (file) ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "Cannot write %s\n", ini.c_str());
        return 1;
    }
    return 0;
}
