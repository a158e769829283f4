// The "Calibration" dialog procedure (initialise, Clear, Copy, Paste, Apply, close) and the parser of
// pasted calibration text.
#include "analysis/calibration_dialog.h"

#include <cstring>
#include <string>

#include "analysis/calibration.h"
#include "analysis/histograms.h"
#include "core/ids.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"

namespace {
constexpr const char* MODE_TEXTS[3] = {"Fit slope", "Fit linear", "Interpolate"};
constexpr int FIELDS_PER_ROW = 3;
constexpr int EDIT_TEXT_LIMIT = 9;   // characters of one value copied to the clipboard
constexpr int UNITS_TEXT_LIMIT = 29; // characters of the quantity text read back

int ControlOf(int leftControl, int channel) { return CalibrationChannelId(leftControl, channel); }

// Which channel a per-channel button belongs to, or -1.
int ChannelOfButton(int control, int leftControl) {
    if (control == leftControl) return 0;
    if (control == ControlOf(leftControl, 1)) return 1;
    return -1;
}

double& TableValue(int channel, int row, int field) {
    CalibrationRow& entry = settings.calibration[channel][row];
    return field == 0 ? entry.mean : field == 1 ? entry.sd : entry.quantity;
}

void WriteChannelEdits(int dialog, int channel) {
    for (int r = 0; r < CALIBRATION_ROWS; ++r)
        for (int f = 0; f < FIELDS_PER_ROW; ++f)
            WriteDialogNumber(dialog, CalibrationEditId(channel, r, f), TableValue(channel, r, f),
                              CALIBRATION_DECIMALS);
}

void WriteUnitEdits(int dialog) {
    for (int c = 0; c < 2; ++c)
        SetDialogItemText(dialog, ControlOf(IDC_CALIBRATION_UNITS_LEFT, c), settings.quantityUnits[c]);
}

bool Initialise(int dialog) {
    bool wasOpen = (runState & RS_CALIBRATION_DIALOG_OPEN) != 0;
    for (int c = 0; c < 2; ++c) {
        int combo = ControlOf(IDC_CALIBRATION_MODE_LEFT, c);
        if (!wasOpen)
            for (const char* text : MODE_TEXTS) AddComboBoxItem(dialog, combo, text);
        SetComboBoxSelection(dialog, combo, settings.calibrationMode[c]);
        WriteChannelEdits(dialog, c);
    }
    WriteUnitEdits(dialog);
    runState |= RS_CALIBRATION_DIALOG_OPEN;
    return !wasOpen;
}

void ClearChannel(int dialog, int channel) {
    for (int r = 0; r < CALIBRATION_ROWS; ++r)
        for (int f = 0; f < FIELDS_PER_ROW; ++f) {
            TableValue(channel, r, f) = 0.0;
            WriteDialogNumber(dialog, CalibrationEditId(channel, r, f), 0.0, CALIBRATION_DECIMALS);
        }
}

// The texts as the edits show them, at most nine characters each: tab between values, CR LF after
// each row.
void CopyChannel(int dialog, int channel) {
    std::string text;
    text.reserve(CALIBRATION_CLIPBOARD_SIZE);
    char value[EDIT_TEXT_LIMIT + 1];
    for (int r = 0; r < CALIBRATION_ROWS; ++r) {
        for (int f = 0; f < FIELDS_PER_ROW; ++f) {
            GetDialogItemText(dialog, CalibrationEditId(channel, r, f), value, sizeof(value));
            if (f > 0) text += '\t';
            text += value;
        }
        text += "\r\n";
    }
    SetClipboardText(text.c_str());
}

void PasteChannel(int dialog, int channel) {
    std::string text;
    if (!GetClipboardText(&text)) return;
    CalibrationPasteCell cells[CALIBRATION_ROWS * FIELDS_PER_ROW];
    int count = ParseCalibrationPaste(text.data(), text.size(), cells);
    for (int i = 0; i < count; ++i) {
        TableValue(channel, cells[i].row, cells[i].field) = cells[i].value;
        WriteDialogNumber(dialog, CalibrationEditId(channel, cells[i].row, cells[i].field), cells[i].value,
                          CALIBRATION_DECIMALS);
    }
}

void Apply(int dialog) {
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < CALIBRATION_ROWS; ++r)
            for (int f = 0; f < FIELDS_PER_ROW; ++f)
                TableValue(c, r, f) =
                    ReadDialogNumber(dialog, CalibrationEditId(c, r, f), 0.0, CALIBRATION_VALUE_LIMIT);
    for (int c = 0; c < 2; ++c) {
        char units[UNITS_TEXT_LIMIT + 1];
        GetDialogItemText(dialog, ControlOf(IDC_CALIBRATION_UNITS_LEFT, c), units, sizeof(units));
        std::memcpy(settings.quantityUnits[c], units, std::strlen(units) + 1);
        // A combo without a selection keeps the mode it had.
        int mode = GetComboBoxSelection(dialog, ControlOf(IDC_CALIBRATION_MODE_LEFT, c));
        if (mode >= 0 && mode <= CALIBRATION_INTERPOLATE) settings.calibrationMode[c] = static_cast<uint8_t>(mode);
    }
    for (int c = 0; c < 2; ++c)
        if (SetUpCalibration(c)) WriteChannelEdits(dialog, c);
    WriteUnitEdits(dialog);
    RecomputeAll(false);
}

bool Command(int dialog, int control) {
    if (control == IDC_CALIBRATION_APPLY) {
        Apply(dialog);
        return true;
    }
    int channel = ChannelOfButton(control, IDC_CALIBRATION_CLEAR_LEFT);
    if (channel >= 0) {
        ClearChannel(dialog, channel);
        return true;
    }
    channel = ChannelOfButton(control, IDC_CALIBRATION_COPY_LEFT);
    if (channel >= 0) {
        CopyChannel(dialog, channel);
        return true;
    }
    channel = ChannelOfButton(control, IDC_CALIBRATION_PASTE_LEFT);
    if (channel >= 0) {
        PasteChannel(dialog, channel);
        return true;
    }
    return false;
}
}  // namespace

int ParseCalibrationPaste(const char* text, size_t length, CalibrationPasteCell cells[48]) {
    int count = 0;
    int row = 0;
    int field = 0;
    size_t i = 0;
    while (row < CALIBRATION_ROWS) {
        size_t start = i;
        while (i < length && text[i] != '\0' && text[i] != '\t' && text[i] != ' ' && text[i] != ';' &&
               text[i] != '\r' && text[i] != '\n')
            ++i;
        size_t tokenLength = i - start;
        bool atEnd = i >= length || text[i] == '\0';
        bool endsRow = atEnd || text[i] == '\r' || text[i] == '\n';
        if (tokenLength > 0) {
            if (field < FIELDS_PER_ROW) {
                size_t readLength = tokenLength < CALIBRATION_TOKEN_LIMIT ? tokenLength : CALIBRATION_TOKEN_LIMIT;
                cells[count++] = {row, field, ParseNumber(text + start, static_cast<int>(readLength))};
            }
            ++field;
            if (endsRow) {
                ++row;
                field = 0;
            }
        }
        if (atEnd) break;
        ++i;
    }
    return count;
}

bool CalibrationDialogProc(int dialog, DialogEvent event, int control) {
    switch (event) {
    case DLG_INIT:
        return Initialise(dialog);
    case DLG_COMMAND:
        return Command(dialog, control);
    case DLG_CLOSE:
        runState &= ~RS_CALIBRATION_DIALOG_OPEN;
        EndDialog(dialog, 1);
        return true;
    default:
        return false;
    }
}

void OpenCalibrationDialog() {
    if (runState & RS_CALIBRATION_DIALOG_OPEN) {
        BringDialogToTop(IDD_CALIBRATION);
        return;
    }
    OpenDialog(IDD_CALIBRATION, NO_OWNER, CalibrationDialogProc);
}
