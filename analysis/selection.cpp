// The "Advanced Pulse Filter" dialog procedure.
#include "analysis/selection.h"

#include "analysis/histograms.h"
#include "core/ids.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"

namespace {
double QuantityScale(int quantity) {
    switch (quantity) {
        case QUANTITY_HEIGHT:
            return FILTER_HEIGHT_SCALE;
        case QUANTITY_DISTORTION:
            return FILTER_DISTORTION_SCALE;
        default:
            return FilterWidthScale();
    }
}

double QuantityRange(int quantity) {
    switch (quantity) {
        case QUANTITY_HEIGHT:
            return FILTER_HEIGHT_RANGE;
        case QUANTITY_DISTORTION:
            return FILTER_DISTORTION_RANGE;
        default:
            return FILTER_WIDTH_RANGE;
    }
}

int EnableControl(int channel, int quantity) {
    return FilterEnableId(channel, quantity);
}

int LimitControl(int channel, int limit) {
    return FilterLimitId(channel, limit / 2, limit % 2);
}

// Shows the stored switches and limits, each limit in dialog units with 4 decimals.
void RefillFilterDialog(int dialog) {
    for (int c = 0; c < 2; ++c) {
        for (int q = 0; q < QUANTITY_COUNT; ++q) {
            CheckDialogButton(dialog, EnableControl(c, q), settings.filterEnable[c][q] != 0);
            double scale = QuantityScale(q);
            for (int bound = 0; bound < 2; ++bound) {
                int limit = 2 * q + bound;
                // A sample rate of 0 has no width unit; show 0 rather than dividing by it.
                double shown = scale > 0.0 ? settings.filterLimits[c][limit] / scale : 0.0;
                WriteDialogNumber(dialog, LimitControl(c, limit), shown, FILTER_DECIMALS);
            }
        }
    }
}

// Stores the check states and the limits read back clamped to the dialog ranges, in record units.
void ApplyFilterDialog(int dialog) {
    for (int c = 0; c < 2; ++c) {
        for (int q = 0; q < QUANTITY_COUNT; ++q) {
            settings.filterEnable[c][q] = IsDialogButtonChecked(dialog, EnableControl(c, q)) ? 1 : 0;
            for (int bound = 0; bound < 2; ++bound) {
                int limit = 2 * q + bound;
                double value = ReadDialogNumber(dialog, LimitControl(c, limit), 0.0, QuantityRange(q));
                settings.filterLimits[c][limit] = value * QuantityScale(q);
            }
        }
    }
}
}  // namespace


double FilterWidthScale() {
    return static_cast<double>(dataSampleRate) * 0.000001;
}

bool AdvancedFilterDialogProc(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT: {
            RefillFilterDialog(dialog);
            bool wasOpen = (runState & RS_FILTER_DIALOG_OPEN) != 0;
            runState |= RS_FILTER_DIALOG_OPEN;
            return !wasOpen;
        }
        case DLG_COMMAND:
            if (control == IDC_FILTER_APPLY) {
                ApplyFilterDialog(dialog);
                RecomputeAll(false);
                RefillFilterDialog(dialog);
                return true;
            }
            if (control == DIALOG_REAPPLY) {
                RefillFilterDialog(dialog);
                return true;
            }
            return false;
        case DLG_CLOSE:
            runState &= ~RS_FILTER_DIALOG_OPEN;
            EndDialog(dialog, 1);
            return true;
        default:
            return false;
    }
}

void OpenAdvancedFilterDialog() {
    if (runState & RS_FILTER_DIALOG_OPEN) {
        BringDialogToTop(IDD_ADVANCED_FILTER);
        return;
    }
    OpenDialog(IDD_ADVANCED_FILTER, NO_OWNER, AdvancedFilterDialogProc);
}
