// The "Data Acquisition and Analysis" dialog procedure and the settings-file commands.
#include "ui/daq_dialog.h"

#include <cmath>
#include <cstring>

#include "acquisition/audio_interface.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/histograms.h"
#include "analysis/selection.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "ui/commands.h"

namespace {
const char* const SELECTION_TEXTS[6] = {"Left All",  "Left Coincidence",  "Left Anticoincidence",
                                        "Right All", "Right Coincidence", "Right Anticoincidence"};

int ShownChannel() { return settings.channelSelection >= 3 ? 1 : 0; }

void ShowChannel(int dialog, int b) {
    for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k)
        WriteDialogNumber(dialog, DaqEditId(k), ChannelFieldValue(settings.channel[b], k),
                          static_cast<uint32_t>(fieldDecimals[k]));
    for (int k = 0; k < CHANNEL_OPTION_COUNT; ++k)
        CheckDialogButton(dialog, DaqCheckId(k), ChannelOptionRef(settings.options[b], k) != 0);
}

// Writes every field and reads it back, so each holds the value as displayed.
void ShowAndTakeBack(int dialog, int b) {
    for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k) {
        int id = DaqEditId(k);
        WriteDialogNumber(dialog, id, ChannelFieldValue(settings.channel[b], k),
                          static_cast<uint32_t>(fieldDecimals[k]));
        ChannelFieldRef(settings.channel[b], k) = ReadDialogNumber(dialog, id, fieldMinimum[k], fieldMaximum[k]);
    }
}

// The steps of every Apply after the values are taken: both channels share the acquisition time, the
// pulse store follows the maximum pulse counts, the calibrations and every histogram are rebuilt.
void FinishApply(int b) {
    settings.channel[1 - b].acquisitionTime = settings.channel[b].acquisitionTime;
    AllocatePulseStore(false, true);
    SetUpCalibration(0);
    SetUpCalibration(1);
    RecomputeAll(false);
}

void Reapply(int dialog, int b) {
    ShowAndTakeBack(dialog, b);
    FinishApply(b);
}

void Apply(int dialog, int b) {
    ChannelSettings& channel = settings.channel[b];
    for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k) {
        // Read without limits (NaN still gives the lowest value), then limited by the rules of Apply.
        double typed = ReadDialogNumber(dialog, DaqEditId(k), -HUGE_VAL, HUGE_VAL);
        ChannelFieldRef(channel, k) = ClampDaqField(b, k, typed);
    }
    QuantizeSettings(false);
    for (int k = 0; k < CHANNEL_OPTION_COUNT; ++k)
        ChannelOptionRef(settings.options[b], k) = IsDialogButtonChecked(dialog, DaqCheckId(k)) ? 1 : 0;
    // Zeroed first: the bytes after the comment's end go into settings and data files.
    char comment[COMMENT_CAPACITY] = {};
    GetDialogItemText(dialog, IDC_DAQ_COMMENTS, comment, COMMENT_CAPACITY);
    StoreDaqComments(comment);
    Reapply(dialog, b);
}

bool Initialise(int dialog) {
    bool first = !(runState & RS_DAQ_DIALOG_OPEN);
    if (first) {
        ClearComboBox(dialog, IDC_DAQ_CHANNEL_SELECTION);
        for (const char* text : SELECTION_TEXTS) AddComboBoxItem(dialog, IDC_DAQ_CHANNEL_SELECTION, text);
    }
    SetComboBoxSelection(dialog, IDC_DAQ_CHANNEL_SELECTION, settings.channelSelection);
    int b = ShownChannel();
    ShowAndTakeBack(dialog, b);
    for (int k = 0; k < CHANNEL_OPTION_COUNT; ++k)
        CheckDialogButton(dialog, DaqCheckId(k), ChannelOptionRef(settings.options[b], k) != 0);
    SetDialogItemText(dialog, IDC_DAQ_COMMENTS, settings.comments);
    if (first) runState |= RS_DAQ_DIALOG_OPEN;
    return first;
}
}  // namespace

bool DaqDialogProcedure(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT:
            return Initialise(dialog);
        case DLG_CLOSE:
            runState &= ~RS_DAQ_DIALOG_OPEN;
            EndDialog(dialog, 0);
            return true;
        case DLG_COMMAND:
        case DLG_SELECTION_CHANGE: {
            int selection = GetComboBoxSelection(dialog, IDC_DAQ_CHANNEL_SELECTION);
            if (selection >= 0 && selection <= 5) settings.channelSelection = static_cast<int8_t>(selection);
            int b = ShownChannel();
            if (event == DLG_SELECTION_CHANGE) {
                if (control == IDC_DAQ_CHANNEL_SELECTION) ShowChannel(dialog, b);
                return true;
            }
            if (control == IDC_DAQ_APPLY) {
                Apply(dialog, b);
            } else if (control == DIALOG_REAPPLY) {
                Reapply(dialog, b);
            }
            return true;
        }
        default:
            return false;
    }
}

double ClampDaqField(int b, int k, double typed) {
    double minimum = fieldMinimum[k];
    if (k == FIELD_RATE_BIN_SIZE) {
        // A rate bin always spans a whole number of counts per time step.
        minimum = 1.0 / settings.channel[b].timeStep;
        fieldMinimum[FIELD_RATE_BIN_SIZE] = minimum;
    }
    double value = typed >= minimum ? typed : minimum;
    if (value > fieldMaximum[k]) value = fieldMaximum[k];
    if (k != FIELD_RATE_BIN_SIZE) return value;
    double ratio = value / minimum;
    int32_t multiple = ratio >= 2147483647.0 ? 2147483647 : (ratio >= 1.0 ? static_cast<int32_t>(ratio) : 1);
    return multiple * minimum;
}

void ApplyDaqField(int b, int k, double typed) {
    double value = ClampDaqField(b, k, typed);
    double sign = (k == FIELD_MIN_HEIGHT ? value : settings.channel[b].minHeight) < 0 ? -1.0 : 1.0;
    value = QuantizeChannelField(b, k, value, sign);
    ChannelFieldRef(settings.channel[b], k) =
        ShownDialogNumber(value, static_cast<uint32_t>(fieldDecimals[k]), fieldMinimum[k], fieldMaximum[k]);
    FinishApply(b);
}

void ApplyDaqSwitch(int b, int k, bool on) {
    ChannelOptionRef(settings.options[b], k) = on ? 1 : 0;
    FinishApply(b);
}

void StoreDaqComments(const char* text) {
    size_t length = 0;
    while (length < COMMENT_MAX_LENGTH && text[length] != '\0') ++length;
    std::memset(settings.comments, 0, COMMENT_CAPACITY);
    std::memcpy(settings.comments, text, length);
}

void OpenDaqDialog() {
    if (runState & RS_DAQ_DIALOG_OPEN) {
        BringDialogToTop(IDD_DAQ);
        return;
    }
    OpenDialog(IDD_DAQ, NO_OWNER, DaqDialogProcedure);
}

void LoadSettingsCommand() {
    if (LoadSettingsFile(true)) RenewAudioFormats();
    for (int c = 0; c < 2; ++c) {
        if (!SetUpCalibration(c)) continue;
        if (runState & RS_CALIBRATION_DIALOG_OPEN) SendDialogEvent(IDD_CALIBRATION, DLG_INIT, 0);
        if (runState & RS_DAQ_DIALOG_OPEN) SendDialogEvent(IDD_DAQ, DLG_INIT, 0);
        if (runState & RS_FILTER_DIALOG_OPEN) SendDialogEvent(IDD_ADVANCED_FILTER, DLG_INIT, 0);
    }
}

void SaveSettingsCommand(bool ask) {
    // The record carries the device numbers: saved as the device checks leave them.
    EnsureAudioValidated();
    SaveSettingsFile(ask);
}
