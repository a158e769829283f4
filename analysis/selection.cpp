// The pulse selection predicate and the "Advanced Pulse Filter" dialog procedure.
#include "analysis/selection.h"

#include "analysis/histograms.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "ui/commands.h"

namespace {
// Filter quantities, in the order of filterEnable and of the limit pairs in filterLimits.
constexpr int QUANTITY_HEIGHT = 0;
constexpr int QUANTITY_DISTORTION = 1;
constexpr int QUANTITY_WIDTH = 2;
constexpr int QUANTITY_COUNT = 3;

bool InLimits(double value, const double* limits, int quantity) {
    return limits[2 * quantity] <= value && value <= limits[2 * quantity + 1];
}

// Each enabled test of the channel's advanced filter (height, distortion, width) must hold, both
// bounds inclusive.
bool PassesLimits(int channel, const PulseRecord& pulse) {
    const uint8_t* enable = settings.filterEnable[channel];
    const double* limits = settings.filterLimits[channel];
    if (enable[QUANTITY_HEIGHT] && !InLimits(static_cast<double>(pulse.height), limits, QUANTITY_HEIGHT))
        return false;
    if (enable[QUANTITY_DISTORTION] &&
        !InLimits(static_cast<double>(pulse.distortion), limits, QUANTITY_DISTORTION))
        return false;
    if (enable[QUANTITY_WIDTH] && !InLimits(static_cast<double>(pulse.width), limits, QUANTITY_WIDTH))
        return false;
    return true;
}

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

int AnalysedChannel() {
    return settings.channelSelection >= 3 ? 1 : 0;
}

bool PassesAdvancedFilters(int channel, const PulseRecord& pulse, bool coincidence) {
    if (!PassesLimits(channel, pulse)) return false;
    if (!coincidence) return true;
    if (!HasPartner(channel, pulse)) return false;
    int other = 1 - channel;
    return PassesLimits(other, Pulse(other, pulse.partner));
}

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
