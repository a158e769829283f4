// Settings by name applied through the settings dialogs (headless), or into the record for the fields
// that no dialog edits; regions of interest from the command line.
#include "cli/setting_apply.h"

#include <cstring>
#include <vector>

#include "acquisition/audio_interface_dialog.h"
#include "analysis/calibration.h"
#include "analysis/calibration_dialog.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/setting_values.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/daq_dialog.h"

namespace {
constexpr const char* CALIBRATION_REFUSED = "Wrong calibration data";

bool Refuse(std::string* error, const std::string& reason) {
    *error = reason;
    return false;
}

bool MessageShownSince(size_t first, const char* text) {
    const auto& messages = Headless().messages;
    for (size_t i = first; i < messages.size(); ++i)
        if (messages[i].text.find(text) != std::string::npos) return true;
    return false;
}

// A channel field, switch, the selection or the comment by the rules of the "Data Acquisition and
// Analysis" dialog's Apply, for this one field (so the other channel stays as it is).
void ApplyDaqSetting(const SettingAssignment& a) {
    switch (a.key.target) {
        case SETTING_CHANNEL_FIELD:
            // The number as the dialog reads the typed text.
            ApplyDaqField(a.key.channel, a.key.index, ParseNumber(a.text.c_str(), static_cast<int>(a.text.size())));
            break;
        case SETTING_CHANNEL_OPTION: ApplyDaqSwitch(a.key.channel, a.key.index, a.number != 0.0); break;
        case SETTING_CHANNEL_SELECTION: settings.channelSelection = static_cast<int8_t>(a.number); break;
        default: StoreDaqComments(a.value.c_str()); break;
    }
}

// An audio field through the "Audio Interface" dialog: select the list position and press OK; a
// format the device refuses is cancelled (the dialog restores the record).
bool ApplyAudioSetting(const SettingAssignment& a, std::string* error) {
    SendCommand(WND_PULSES, IDM_AUDIO_INTERFACE);
    if (!IsDialogOpen(IDD_AUDIO_INTERFACE))
        return Refuse(error, "the Audio Interface dialog is not available (no usable input device)");
    int control = IDC_INPUT_DEVICE + a.key.index;
    int position = static_cast<int>(a.number);
    HeadlessSelectComboItem(IDD_AUDIO_INTERFACE, control, position);
    if (GetComboBoxSelection(IDD_AUDIO_INTERFACE, control) != position) {
        HeadlessPressButton(IDD_AUDIO_INTERFACE, IDCANCEL);
        return Refuse(error, "the list has no position " + a.text);
    }
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDOK);
    if (!IsDialogOpen(IDD_AUDIO_INTERFACE)) return true;
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDCANCEL);
    return Refuse(error, "Not supported input format");
}

bool ApplyFilterSetting(const SettingAssignment& a) {
    SendCommand(WND_PULSES, IDM_ADVANCED_FILTER);
    int c = a.key.channel;
    if (a.key.target == SETTING_FILTER_ENABLE)
        HeadlessSetCheck(IDD_ADVANCED_FILTER, FilterEnableId(c, a.key.index), a.number != 0.0);
    else
        HeadlessTypeText(IDD_ADVANCED_FILTER, FilterLimitId(c, a.key.index / 2, a.key.index % 2), a.text);
    HeadlessPressButton(IDD_ADVANCED_FILTER, IDC_FILTER_APPLY);
    HeadlessCloseDialog(IDD_ADVANCED_FILTER);
    return true;
}

// Points, quantity text or mode through the "Calibration" dialog's Apply; points that fail its checks
// are refused with its message.
bool ApplyCalibrationSetting(const SettingAssignment& a, std::string* error) {
    SendCommand(WND_PULSES, IDM_CALIBRATION);
    int c = a.key.channel;
    if (a.key.target == SETTING_CALIBRATION) {
        // The rows as given, then empty rows: the texts are typed as a user types them.
        std::vector<std::string> values;
        size_t start = 0;
        for (size_t i = 0; i <= a.text.size(); ++i)
            if (i == a.text.size() || a.text[i] == ',' || a.text[i] == ':') {
                values.push_back(a.text.substr(start, i - start));
                start = i + 1;
            }
        for (int r = 0; r < CALIBRATION_ROWS; ++r)
            for (int f = 0; f < 3; ++f) {
                size_t i = static_cast<size_t>(3 * r + f);
                HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(c, r, f), i < values.size() ? values[i] : "0");
            }
    } else if (a.key.target == SETTING_QUANTITY_UNITS) {
        HeadlessTypeText(IDD_CALIBRATION, CalibrationChannelId(IDC_CALIBRATION_UNITS_LEFT, c), a.value);
    } else {
        HeadlessSelectComboItem(IDD_CALIBRATION, CalibrationChannelId(IDC_CALIBRATION_MODE_LEFT, c), static_cast<int>(a.number));
    }
    size_t first = Headless().messages.size();
    HeadlessPressButton(IDD_CALIBRATION, IDC_CALIBRATION_APPLY);
    HeadlessCloseDialog(IDD_CALIBRATION);
    if (MessageShownSince(first, CALIBRATION_REFUSED))
        return Refuse(error, "the calibration was refused: Wrong calibration data");
    return true;
}

void StoreWindowPart(const SettingAssignment& a) {
    WindowPlacementRecord& w = settings.windowPlacement[a.key.channel];
    auto whole = [&](size_t i) { return static_cast<int32_t>(static_cast<int64_t>(a.numbers[i])); };
    switch (a.key.index) {
        case WINDOW_LENGTH: w.length = static_cast<uint32_t>(a.numbers[0]); break;
        case WINDOW_FLAGS: w.flags = static_cast<uint32_t>(a.numbers[0]); break;
        case WINDOW_SHOW_COMMAND: w.showCommand = static_cast<uint32_t>(a.numbers[0]); break;
        case WINDOW_MIN_POSITION: w.minPositionX = whole(0), w.minPositionY = whole(1); break;
        case WINDOW_MAX_POSITION: w.maxPositionX = whole(0), w.maxPositionY = whole(1); break;
        default:
            w.normalLeft = whole(0), w.normalTop = whole(1), w.normalRight = whole(2), w.normalBottom = whole(3);
    }
    // The window follows, as when a data file brings placements; the menu window is never hidden.
    if (runState & RS_READY) {
        uint32_t show = (a.key.channel == WND_PULSES && w.showCommand == 0) ? 1 : w.showCommand;
        SetPlotWindowPlacement(a.key.channel, {show, w.normalLeft, w.normalTop, w.normalRight, w.normalBottom});
    }
}

void StoreRoi(const SettingAssignment& a) {
    const std::vector<double>& n = a.numbers;
    RoiRecord& r = settings.roi[a.key.channel][a.key.index];
    if (n[0] < 0) {
        r = EMPTY_ROI;
        return;
    }
    r = {static_cast<int32_t>(n[0]), static_cast<int32_t>(n[1]), n[2], n[3], n[4], n[5], n[6], n[7]};
}
}  // namespace

bool ApplySettingAssignment(const SettingAssignment& a, std::string* error) {
    if (SettingUnchanged(settings, a, dataSampleRate)) return true;
    int c = a.key.channel;
    switch (a.key.target) {
        case SETTING_AUDIO: return ApplyAudioSetting(a, error);
        case SETTING_CHANNEL_FIELD:
        case SETTING_CHANNEL_OPTION:
        case SETTING_CHANNEL_SELECTION:
        case SETTING_COMMENTS: ApplyDaqSetting(a); return true;
        case SETTING_FILTER_ENABLE:
        case SETTING_FILTER_LIMIT: return ApplyFilterSetting(a);
        case SETTING_CALIBRATION:
        case SETTING_QUANTITY_UNITS:
        case SETTING_CALIBRATION_MODE: return ApplyCalibrationSetting(a, error);
        case SETTING_WINDOW: StoreWindowPart(a); return true;
        case SETTING_PULSE_SHAPE:
            for (int j = 0; j < SHAPE_POINTS; ++j) settings.pulseShape[c][j] = a.numbers[static_cast<size_t>(j)];
            return true;
        case SETTING_SHAPE_POINT_USED:
            for (int j = 0; j < SHAPE_POINTS; ++j)
                settings.shapePointUsed[c][j] = a.numbers[static_cast<size_t>(j)] != 0.0 ? 1 : 0;
            return true;
        case SETTING_ROI: StoreRoi(a); return true;
    }
    return Refuse(error, "not applied");
}

bool ParseRoiRequest(const std::string& text, RoiRequest* request, std::string* error) {
    size_t equals = text.find('=');
    size_t colon = text.find(':', equals == std::string::npos ? 0 : equals);
    std::string channel = text.substr(0, equals);
    SettingAssignment bounds;
    RoiRequest r;
    r.channel = channel == "right" ? 1 : 0;
    // The bounds are read as two numbers of a filter limit would be: finite decimals.
    std::string start = "left.filterHeightMin=" + text.substr(equals + 1, colon - equals - 1);
    std::string end = colon == std::string::npos ? "" : "left.filterHeightMin=" + text.substr(colon + 1);
    if (equals == std::string::npos || colon == std::string::npos || (channel != "left" && channel != "right") ||
        !ParseSettingAssignment(start.data(), start.size(), &bounds))
        return Refuse(error, "expected left=START:END or right=START:END");
    r.start = bounds.number;
    if (!ParseSettingAssignment(end.data(), end.size(), &bounds))
        return Refuse(error, "expected left=START:END or right=START:END");
    r.end = bounds.number;
    *request = r;
    return true;
}

bool AddRoiRequest(const RoiRequest& request, std::string* error) {
    int c = request.channel;
    double binSize = settings.channel[c].heightBinSize;
    bool calibrated = settings.options[c].useCalibration && calibrationValid[c];
    int32_t bins[2];
    double bounds[2] = {request.start, request.end};
    for (int i = 0; i < 2; ++i) {
        double height = calibrated ? Calibrate(c, bounds[i], true) : bounds[i];
        double bin = binSize > 0.0 ? height / binSize + 0.5 : -1.0;
        if (!(bin >= 0.0 && bin < ROI_LAST_BIN + 1.0))
            return Refuse(error, std::string("the bounds lie outside the spectrum (0 to 32767 bins of the height bin size") +
                                     (calibrated ? ", in the calibrated quantity)" : ", in arb.u)"));
        bins[i] = static_cast<int32_t>(bin);
    }
    if (bins[0] == bins[1]) return Refuse(error, "both bounds lie in the same bin");
    if (!AddRoi(c, bins[0], bins[1])) return Refuse(error, "Maximum number of ROIs already selected");
    return true;
}

void ClearAllRois() {
    for (int c = 0; c < 2; ++c) DeleteRoisAt(c, 0, true);
}
