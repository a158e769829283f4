// Start-up of the program.
#include "ui/startup.h"

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/ui.h"

bool StartProgram(const char*) {
    InitialiseSettingsPaths();
    LoadOrCreateSettingsAtStartup();
    ValidateAudioFormats();
    QuantizeSettings(true);
    WindowPlacement placements[7];
    for (int i = 0; i < 7; ++i) {
        const WindowPlacementRecord& w = settings.windowPlacement[i];
        placements[i] = {w.showCommand, w.normalLeft, w.normalTop, w.normalRight, w.normalBottom};
    }
    if (!CreatePlotWindows(placements)) return false;
    BindSeries();
    if (!AllocatePulseStore(true, true)) return false;
    runState |= RS_READY;
    return true;
}
