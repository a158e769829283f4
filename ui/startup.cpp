// Start-up of the program: the initialisation sequence, the seven windows and the command-line file.
#include "ui/startup.h"

#include <cstring>

#include "acquisition/click_output.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/ui.h"
#include "ui/commands.h"

namespace {
bool InitialiseProgram() {
    sampleClock = 0;
    acquisitionSeconds = 0.0;
    pulseCount[0] = pulseCount[1] = 0;
    dataLength[1] = 0;
    InitialiseSettingsPaths();
    LoadOrCreateSettingsAtStartup();
    RenewAudioFormats();
    QuantizeSettings(true);
    for (int c = 0; c < 2; ++c) {
        SetUpCalibration(c);
        BackupPulseShape(c);
    }
    WindowPlacement placements[7];
    for (int i = 0; i < 7; ++i) {
        const WindowPlacementRecord& w = settings.windowPlacement[i];
        placements[i] = {w.showCommand, w.normalLeft, w.normalTop, w.normalRight, w.normalBottom};
    }
    if (!CreatePlotWindows(placements)) return false;
    for (int i = 0; i < 7; ++i) SetWindowTitle(i, plainTitles[i]);
    BindSeries();
    if (!AllocatePulseStore(true, true)) return false;
    RecomputeAll(false);
    return true;
}

// The command line as one path: double quotes are dropped wherever they stand; a line without its
// end within 260 characters is ignored.
bool TakeCommandLine(const char* commandLine) {
    char* buffer = FileNameBuffer();
    buffer[0] = '\0';
    if (!commandLine) return false;
    int out = 0;
    for (int i = 0;; ++i) {
        if (i >= MAX_PATH_LENGTH) {
            buffer[0] = '\0';
            return false;
        }
        char ch = commandLine[i];
        if (ch == '\0') break;
        if (ch != '"') buffer[out++] = ch;
    }
    buffer[out] = '\0';
    UpdateFileNameOffset();
    return out > 0;
}
}  // namespace

bool StartProgram(const char* commandLineFile) {
    if (!InitialiseProgram()) return false;
    runState |= RS_READY;
    if (TakeCommandLine(commandLineFile)) SendCommand(WND_PULSES, IDM_OPEN_NAMED_FILE);
    return true;
}
