// The "Pulse Shape" dialog procedure: shows and takes over the template, resets it to the backup,
// and copies or pastes one channel's points through the clipboard.
#include "acquisition/pulse_shape_dialog.h"

#include <cstring>
#include <string>

#include "acquisition/pulse_shape.h"
#include "core/ids.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"

static_assert(SHAPE_DIALOG_POINTS == SHAPE_POINTS, "the dialog shows every template point");

namespace {
constexpr double DISPLAY_SCALE = 1000.0;
constexpr double POINT_LIMIT = 1000000.0;  // limits of a displayed point value
constexpr int DISPLAY_DECIMALS = 5;
constexpr int COPY_FIELD_CAPACITY = 10;    // at most 9 characters of each point's text
constexpr int COPY_TEXT_CAPACITY = 832;
constexpr int TOKEN_CAPACITY = 64;         // a pasted token keeps at most 63 characters

int PointControl(int channel, int point) { return ShapePointId(channel, point); }
int UsedControl(int channel, int point) { return ShapePointUsedId(channel, point); }

void ShowTemplate(int dialog) {
    for (int c = 0; c < 2; ++c) {
        for (int j = 0; j < SHAPE_POINTS; ++j) {
            WriteDialogNumber(dialog, PointControl(c, j), settings.pulseShape[c][j] * DISPLAY_SCALE,
                              DISPLAY_DECIMALS);
            CheckDialogButton(dialog, UsedControl(c, j), settings.shapePointUsed[c][j] != 0);
        }
    }
}

void TakeOverTemplate(int dialog) {
    for (int c = 0; c < 2; ++c) {
        for (int j = 0; j < SHAPE_POINTS; ++j) {
            double value = ReadDialogNumber(dialog, PointControl(c, j), -POINT_LIMIT, POINT_LIMIT);
            settings.pulseShape[c][j] = value * 0.001;
            settings.shapePointUsed[c][j] = IsDialogButtonChecked(dialog, UsedControl(c, j)) ? 1 : 0;
        }
        UpdatePulseShape(c);
    }
}

void RestoreBackups() {
    std::memcpy(settings.pulseShape, pulseShapeBackup, sizeof(pulseShapeBackup));
    std::memcpy(settings.shapePointUsed, shapePointUsedBackup, sizeof(shapePointUsedBackup));
}

// The channel's 60 point texts, one per line (CR LF), as clipboard text.
void CopyChannel(int dialog, int channel) {
    char text[COPY_TEXT_CAPACITY];
    int length = 0;
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        length += GetDialogItemText(dialog, PointControl(channel, j), text + length, COPY_FIELD_CAPACITY);
        text[length++] = '\r';
        text[length++] = '\n';
    }
    text[length] = '\0';
    SetClipboardText(text);
}

// Reads clipboard text into the channel's rows. Check boxes are left alone; the values become a
// normalised template only with OK.
void PasteChannel(int dialog, int channel) {
    std::string clipboard;
    if (!GetClipboardText(&clipboard)) return;
    double values[SHAPE_POINTS];
    int rows = ParsePulseShapePaste(clipboard.data(), clipboard.size(), values);
    for (int row = 0; row < rows; ++row) {
        WriteDialogNumber(dialog, PointControl(channel, row), values[row], DISPLAY_DECIMALS);
        settings.pulseShape[channel][row] = values[row] * 0.001;
    }
}
}  // namespace

int ParsePulseShapePaste(const char* text, size_t length, double values[SHAPE_POINTS]) {
    char token[TOKEN_CAPACITY];
    int tokenLength = 0;
    int tokensInRow = 0;
    int row = 0;
    int filled = 0;
    for (size_t i = 0; row < SHAPE_POINTS; ++i) {
        char ch = i < length ? text[i] : '\0';
        bool endsLine = ch == '\r' || ch == '\n' || ch == '\0';
        if (!endsLine && ch != '\t' && ch != ' ' && ch != ';') {
            if (tokenLength < TOKEN_CAPACITY - 1) token[tokenLength++] = ch;
            continue;
        }
        if (tokenLength > 0) {
            token[tokenLength] = '\0';
            if (tokensInRow == 0) {
                double value = ParseNumber(token, tokenLength);
                values[row] = value < -POINT_LIMIT ? -POINT_LIMIT
                                                   : (value > POINT_LIMIT ? POINT_LIMIT : value);
                filled = row + 1;
            }
            ++tokensInRow;
            tokenLength = 0;
            if (endsLine) {
                ++row;
                tokensInRow = 0;
            }
        }
        if (ch == '\0') break;
    }
    return filled;
}

bool PulseShapeDialogProcedure(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT:
            ShowTemplate(dialog);
            if (runState & RS_SHAPE_DIALOG_OPEN) return false;
            runState |= RS_SHAPE_DIALOG_OPEN;
            return true;
        case DLG_CLOSE:
            runState &= ~RS_SHAPE_DIALOG_OPEN;
            EndDialog(dialog, 1);
            return true;
        case DLG_COMMAND:
            switch (control) {
                case IDC_SHAPE_OK:
                    TakeOverTemplate(dialog);
                    SendDialogEvent(dialog, DLG_INIT, 0);
                    SendDialogEvent(dialog, DLG_CLOSE, 0);
                    return true;
                case IDC_SHAPE_RESET:
                    RestoreBackups();
                    SendDialogEvent(dialog, DLG_INIT, 0);
                    return true;
                case IDC_SHAPE_COPY_LEFT:
                    CopyChannel(dialog, 0);
                    return true;
                case IDC_SHAPE_PASTE_LEFT:
                    PasteChannel(dialog, 0);
                    return true;
                case IDC_SHAPE_COPY_RIGHT:
                    CopyChannel(dialog, 1);
                    return true;
                case IDC_SHAPE_PASTE_RIGHT:
                    PasteChannel(dialog, 1);
                    return true;
                default:
                    return false;
            }
        default:
            return false;
    }
}

void OpenPulseShapeDialog(int owner) {
    if (IsDialogOpen(IDD_PULSE_SHAPE)) {
        BringDialogToTop(IDD_PULSE_SHAPE);
        return;
    }
    OpenDialog(IDD_PULSE_SHAPE, owner, PulseShapeDialogProcedure);
}

void RefreshPulseShapeDialog() {
    if (IsDialogOpen(IDD_PULSE_SHAPE)) SendDialogEvent(IDD_PULSE_SHAPE, DLG_INIT, 0);
}
