// Start-up state of every module, restored in one call.
#include "ui/program_state.h"

#include "core/run_state.h"
#include "core/settings.h"
#include "acquisition/audio_interface.h"
#include "analysis/series.h"
#include "ui/commands.h"

void ResetProgramState() {
    ResetSettingsState();
    ResetRunState();
    ResetAudioInterfaceState();
    ResetSeriesState();
    ResetDispatcher();
}
