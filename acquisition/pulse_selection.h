// Which stored pulses are analysed: the selection predicate (time window, coincidence mode, advanced
// filter limits) that the analysis, the pulses view, the clicks and the exports share.
#pragma once
#include <cstdint>

#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"

// Filter quantities, in the order of filterEnable and of the limit pairs in filterLimits.
constexpr int QUANTITY_HEIGHT = 0;
constexpr int QUANTITY_DISTORTION = 1;
constexpr int QUANTITY_WIDTH = 2;
constexpr int QUANTITY_COUNT = 3;

// The analysed channel of the current channel selection: 1 (right) for selections 3 to 5, else 0.
int AnalysedChannel();

// Whether the pulse of `channel` is linked to a pulse of the other channel: a stored one (index below
// that channel's count), or the one it is still recording (index = its count while its open bit is
// set). Any other link (0, a link to a pulse dropped or cut off when a capture stopped, a damaged data
// file) names no pulse: the slot at the count then holds leftover memory.
inline bool HasPartner(int channel, const PulseRecord& pulse) {
    int other = 1 - channel;
    uint32_t partner = pulse.partner;
    if (partner == 0 || partner >= pulseCapacity[other]) return false;
    if (partner < pulseCount[other]) return true;
    uint32_t openBit = other == 0 ? RS_PULSE_OPEN_LEFT : RS_PULSE_OPEN_RIGHT;
    return partner == pulseCount[other] && (runState & openBit) != 0;
}

// The advanced-filter part of IsPulseSelected: the pulse against its channel's enabled limits and,
// for a coincidence selection, its partner (one that HasPartner accepts) against the other channel's.
bool PassesAdvancedFilters(int channel, const PulseRecord& pulse, bool coincidence);

// Whether stored pulse `index` of `channel` (0 left, 1 right) belongs to the analysed subset: inside
// the channel's time window [begin, begin + duration), matching the coincidence mode (a pulse with a
// partner for coincidence, without one for anticoincidence, partners as HasPartner decides), and,
// with the channel's advanced filter on, inside the enabled limits (for a coincidence selection the
// partner must also pass the other channel's limits). Reads the settings and the store, changes
// nothing. An index outside the channel's capacity is never selected.
// Inline: every histogram pass calls it once per stored pulse.
inline bool IsPulseSelected(int channel, uint32_t index) {
    if (channel < 0 || channel > 1 || index >= pulseCapacity[channel]) return false;
    const PulseRecord& pulse = Pulse(channel, index);
    int64_t begin = workingParameters[channel][FIELD_BEGIN_TIME];
    int64_t end = begin + workingParameters[channel][FIELD_DURATION_TIME];
    if (pulse.time < begin || pulse.time >= end) return false;
    int selection = settings.channelSelection;
    bool coincidence = selection == 1 || selection == 4;
    bool anticoincidence = selection == 2 || selection == 5;
    if ((coincidence || anticoincidence) && HasPartner(channel, pulse) != coincidence) return false;
    if (!settings.options[channel].useAdvancedFilter) return true;
    return PassesAdvancedFilters(channel, pulse, coincidence);
}
