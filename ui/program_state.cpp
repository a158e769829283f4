// Start-up state of every module, restored in one call.
#include "ui/program_state.h"

#include "acquisition/audio_interface.h"
#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/peak_report.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "files/data_file.h"
#include "ui/commands.h"
#include "ui/navigation.h"
#include "ui/peaks_view.h"
#include "ui/plot_render.h"

void ResetProgramState() {
    ResetSettingsState();
    ResetRunState();
    ResetAudioInterfaceState();
    ResetCaptureState();
    ResetClickOutputState();
    ResetPulseStoreState();
    ResetDetectorState();
    ResetPulseShapeState();
    ResetSeriesState();
    ResetHeightSpectrumState();
    ResetCalibrationState();
    ResetPeakReportState();
    ResetViewState();
    ResetNavigationState();
    ResetPlotRenderState();
    ResetPeaksView();
    ResetDataFileState();
    ResetDispatcher();
}
