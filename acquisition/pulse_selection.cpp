// The pulse selection predicate: the analysed channel and the advanced filter's limits.
#include "acquisition/pulse_selection.h"

namespace {
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
