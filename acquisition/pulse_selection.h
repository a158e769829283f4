// Which stored pulses are analysed: the selection predicate (time window, coincidence mode, advanced
// filter limits) that the analysis, the pulses view, the clicks and the exports share.
#pragma once
#include <cstdint>

#include "acquisition/pulse_store.h"
#include "core/settings.h"

// Filter quantities, in the order of filterEnable and of the limit pairs in filterLimits.
constexpr int QUANTITY_HEIGHT = 0;
constexpr int QUANTITY_DISTORTION = 1;
constexpr int QUANTITY_WIDTH = 2;
constexpr int QUANTITY_COUNT = 3;

// The analysed channel of the current channel selection: 1 (right) for selections 3 to 5, else 0.
int AnalysedChannel();

// The advanced-filter part of IsPulseSelected: the pulse against its channel's enabled limits and,
// for a coincidence selection, its partner against the other channel's.
bool PassesAdvancedFilters(int channel, const PulseRecord& pulse, bool coincidence);

// Whether stored pulse `index` of `channel` (0 left, 1 right) belongs to the analysed subset: inside
// the channel's time window [begin, begin + duration), matching the coincidence mode, and, with the
// channel's advanced filter on, inside the enabled limits (for a coincidence selection the partner
// must also pass the other channel's limits). Reads the settings and the store, changes nothing.
// An index outside the channel's capacity, or a partner that is not a stored pulse, is never selected.
// Inline: every histogram pass calls it once per stored pulse.
inline bool IsPulseSelected(int channel, uint32_t index) {
    if (channel < 0 || channel > 1 || index >= pulseCapacity[channel]) return false;
    const PulseRecord& pulse = Pulse(channel, index);
    int64_t begin = workingParameters[channel][FIELD_BEGIN_TIME];
    int64_t end = begin + workingParameters[channel][FIELD_DURATION_TIME];
    if (pulse.time < begin || pulse.time >= end) return false;
    int selection = settings.channelSelection;
    bool coincidence = selection == 1 || selection == 4;
    if (coincidence && pulse.partner == 0) return false;
    if ((selection == 2 || selection == 5) && pulse.partner != 0) return false;
    if (!settings.options[channel].useAdvancedFilter) return true;
    return PassesAdvancedFilters(channel, pulse, coincidence);
}
