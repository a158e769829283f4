// Shared harness of the file fuzz targets: the program state is made once; every input is written
// to a private file and opened through one of the open commands (a dropped file, or a menu command
// whose file dialog is answered with the file).
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/program_state.h"

// Stores larger than this fall back to the default store (as when memory runs out).
constexpr uint64_t FUZZ_STORE_RECORDS = 2000000;

inline void FuzzOpenFile(const uint8_t* data, size_t size, const char* extension, int command) {
    static const std::string path = "/tmp/tik-fuzz-" + std::to_string(getpid()) + extension;
    static bool started = false;
    if (!started) {
        HeadlessReset();
        ResetProgramState();
        BindSeries();
        started = true;
    }
    // The parts of the state that an open reads or keeps: back to the start-up values.
    HeadlessReset();
    ResetSettingsState();
    QuantizeSettings(true);
    runState = RUN_STATE_INITIAL;
    SetPulseStoreAllocationLimit(FUZZ_STORE_RECORDS);
    if (storeSize != 2 * DEFAULT_PULSES_PER_CHANNEL || pulseCapacity[0] != DEFAULT_PULSES_PER_CHANNEL)
        AllocatePulseStore(true, false);
    pulseCount[0] = pulseCount[1] = 0;
    sampleClock = 0;

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    if (command == IDM_OPEN_NAMED_FILE) {
        SetFileName(path.c_str());
    } else {
        Headless().fileAnswers.push_back(path);
    }
    SendCommand(WND_PULSES, command);
}
