// The "Advanced Pulse Filter" dialog and its units. The selection predicate whose limits it sets
// (IsPulseSelected) lives with the pulse store, in acquisition/pulse_selection.h.
#pragma once
#include <cstdint>

#include "acquisition/pulse_selection.h"
#include "core/ids.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/ui.h"

// Dialog units: record units per unit shown in the dialog, and the range the dialog accepts.
constexpr double FILTER_HEIGHT_SCALE = 21474836.47;
constexpr double FILTER_DISTORTION_SCALE = 42949672.95;
constexpr double FILTER_HEIGHT_RANGE = 200.0;
constexpr double FILTER_DISTORTION_RANGE = 100.0;
constexpr double FILTER_WIDTH_RANGE = 1000000.0;
constexpr int FILTER_DECIMALS = 4;

// Samples per microsecond at the data sample rate: the unit of the width limits shown by the dialog.
double FilterWidthScale();

// Procedure of the "Advanced Pulse Filter" dialog: initialise (fill the controls, set
// RS_FILTER_DIALOG_OPEN), Apply (store the limits, full recompute, refill), DIALOG_REAPPLY (refill),
// close (clear the flag, end with result 1).
bool AdvancedFilterDialogProc(int dialog, DialogEvent event, int control);

// The "Advanced Filter" menu command: opens the dialog without owner, or brings it to the top when it
// is already open.
void OpenAdvancedFilterDialog();
