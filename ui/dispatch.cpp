// The command dispatcher: hands every command id to the module that owns it. Ids outside IDM_OPEN to
// IDM_VIEW_PEAKS, other than IDM_OPEN_NAMED_FILE, are ignored.
#include "acquisition/audio_interface_dialog.h"
#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_shape_dialog.h"
#include "analysis/calibration_dialog.h"
#include "analysis/height_spectrum.h"
#include "analysis/histograms.h"
#include "analysis/selection.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/data_file.h"
#include "files/exports.h"
#include "files/spectrum_export.h"
#include "platform/ui.h"
#include "ui/commands.h"
#include "ui/daq_dialog.h"
#include "ui/info_dialogs.h"
#include "ui/peaks_view.h"

namespace {
std::vector<int> dispatched;

// The settings dialogs that can stay open, closed first by Exit (highest slot first).
constexpr int OPEN_DIALOGS_BY_SLOT[] = {IDD_ADVANCED_FILTER, IDD_CALIBRATION, IDD_PULSE_SHAPE, IDD_DAQ};

void Exit() {
    runState |= RS_CLOSING;
    for (int dialog : OPEN_DIALOGS_BY_SLOT)
        if (IsDialogOpen(dialog)) SendDialogEvent(dialog, DLG_CLOSE, 0);
    for (int window = 6; window >= 0; --window) {
        DestroyPlotWindow(window);
        PostQuit(0);
    }
}

void ShowWindowCommand(int window) {
    ShowPlotWindow(window, true);
    RecomputeAll(false);
}
}  // namespace

void SendCommand(int window, int command) {
    int id = command & 0xFFFF;
    bool spectrumExport = id >= IDM_EXPORT_N42 && id <= IDM_EXPORT_SPECTRUM_CSV;
    bool added = spectrumExport || id == IDM_VIEW_PEAKS;
    if (!added &&
        (id > IDM_OPEN_NAMED_FILE || (id != IDM_OPEN_NAMED_FILE && (id < IDM_OPEN || id > IDM_WRITE_DATA_FILE))))
        return;
    dispatched.push_back(id);
    switch (id) {
        case IDM_OPEN:
        case IDM_LOAD_DATA:
        case IDM_OBTAIN_SHAPE:
        case IDM_OPEN_NAMED_FILE:
            OpenFileCommand(window, id);
            break;
        case IDM_SAVE:
            SaveCommand(window);
            break;
        case IDM_EXPORT_RATE_TIME:
        case IDM_EXPORT_RATE_HIST:
        case IDM_EXPORT_INTERVAL:
        case IDM_EXPORT_WIDTH:
        case IDM_EXPORT_HEIGHT:
        case IDM_EXPORT_HEIGHT_TIME:
        case IDM_EXPORT_ROI:
        case IDM_EXPORT_ROI_TIME:
        case IDM_EXPORT_COINCIDENT:
            ExportCommand(window, id);
            break;
        case IDM_EXPORT_N42:
        case IDM_EXPORT_NPES:
        case IDM_EXPORT_SPE:
        case IDM_EXPORT_SPECTRUM_CSV:
            SpectrumExportCommand(window, id);
            break;
        case IDM_EXIT:
            Exit();
            break;
        case IDM_START:
            StartAcquisition();
            break;
        case IDM_CONTINUE:
            ContinueAcquisition();
            break;
        case IDM_STOP:
            StopAcquisition();
            break;
        case IDM_START_SHAPE:
            StartShapeAcquisition();
            break;
        case IDM_SET_BACKGROUND:
            SetDataAsBackground();
            break;
        case IDM_SOUND:
            ToggleSound();
            break;
        case IDM_VIEW_RATE_TIME:
        case IDM_VIEW_RATE_HIST:
        case IDM_VIEW_INTERVAL:
        case IDM_VIEW_WIDTH:
        case IDM_VIEW_HEIGHT:
        case IDM_VIEW_AUDIO_INPUT:
            ShowWindowCommand(id - IDM_VIEW_RATE_TIME + 1);
            break;
        case IDM_DAQ_SETTINGS:
            OpenDaqDialog();
            break;
        case IDM_AUDIO_INTERFACE:
            OpenDialog(IDD_AUDIO_INTERFACE, window, AudioInterfaceDialogProcedure);
            break;
        case IDM_PULSE_SHAPE:
            OpenPulseShapeDialog(window);
            break;
        case IDM_CALIBRATION:
            OpenCalibrationDialog();
            break;
        case IDM_ADVANCED_FILTER:
            OpenAdvancedFilterDialog();
            break;
        case IDM_LOAD_SETTINGS:
            LoadSettingsCommand();
            break;
        case IDM_SAVE_SETTINGS:
            SaveSettingsCommand(false);
            break;
        case IDM_SAVE_SETTINGS_AS:
            SaveSettingsCommand(true);
            break;
        case IDM_HELP_TOPICS:
            OpenInShell(HelpFilePath().c_str());
            break;
        case IDM_ABOUT:
            OpenAboutDialog(window);
            break;
        case IDM_INFORMATION:
            OpenInformationDialog(window);
            break;
        case IDM_WRITE_DATA_FILE:
            WriteDataFile();
            break;
        case IDM_VIEW_PEAKS:
            OpenPeaksDialog();
            break;
        default:
            break;
    }
}

const std::vector<int>& DispatchedCommands() { return dispatched; }

void ResetDispatcher() { dispatched.clear(); }
