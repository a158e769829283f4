// The "Calibration" dialog: the 16 calibration points, the quantity text and the mapping mode of
// both channels, with Clear, Copy, Paste and Apply; and the parser of pasted calibration text.
#pragma once
#include <cstddef>

#include "core/ids.h"
#include "platform/ui.h"

constexpr int CALIBRATION_DECIMALS = 3;
constexpr double CALIBRATION_VALUE_LIMIT = 1000000.0;
// The clipboard block of one channel's table, terminator included.
constexpr int CALIBRATION_CLIPBOARD_SIZE = 512;
// Characters of one pasted token that are read as a number; the rest of a longer token is ignored.
constexpr size_t CALIBRATION_TOKEN_LIMIT = 64;

// One value read from pasted text: table row 0-15 and field 0-2.
struct CalibrationPasteCell {
    int row;
    int field;
    double value;
};

// Reads calibration text as tokens (tab, space and ';' end a token; CR, LF and the end of the text
// end a token and, after a non-empty token, the row). The first three tokens of text row k become
// mean, sd and quantity of table row k; at most 16 rows. Fills at most 48 cells; returns their count.
int ParseCalibrationPaste(const char* text, size_t length, CalibrationPasteCell cells[48]);

// Procedure of the "Calibration" dialog (IDD_CALIBRATION): initialise (combos, the 96 edits, the unit
// edits, RS_CALIBRATION_DIALOG_OPEN), Clear, Copy, Paste and Apply per channel, close.
bool CalibrationDialogProc(int dialog, DialogEvent event, int control);

// The "Calibration" menu command: opens the dialog without owner, or brings the open one to the top.
void OpenCalibrationDialog();
