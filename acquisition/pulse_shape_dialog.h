// The "Pulse Shape" dialog (resource 204): both channels' 60 template points (shown x 1000) with
// their use switches, OK, Reset, and Copy/Paste of one channel's points as clipboard text.
#pragma once
#include <cstddef>

#include "core/ids.h"
#include "core/settings.h"
#include "platform/ui.h"

// Values read from pasted text, as the dialog shows them (x 1000): the first token of each line
// fills one row; TAB, space and ';' separate tokens, CR and LF end lines, a zero byte or `length`
// ends the text. A row advances only when a line end (or the end of the text) ends a token, so a
// separator before a line end makes the next line's first token a further, ignored token of the
// same row. Values are limited to -1000000 to 1000000. Returns how many leading rows were filled.
int ParsePulseShapePaste(const char* text, size_t length, double values[SHAPE_POINTS]);

// The dialog procedure.
bool PulseShapeDialogProcedure(int dialog, DialogEvent event, int control);

// Opens the dialog (owner: a plot window, or NO_OWNER when opened from the menu), or brings an open
// instance to the front.
void OpenPulseShapeDialog(int owner);

// Makes an open instance reload the template (after a shape acquisition changed it).
void RefreshPulseShapeDialog();
