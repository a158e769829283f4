// Block maxima of the stored pulse heights of each channel, so that the pulses view finds the largest
// height among the pulses of one pixel column without visiting each of them. The index follows the
// store: new pulses are added on the next refresh, and a store whose contents were replaced (a new
// acquisition, another data file, a reallocation) is indexed afresh.
#pragma once
#include <cstdint>

// Brings the channel's index up to date with the pulse store.
void RefreshPulseViewIndex(int channel);

// Largest `height` among the channel's stored pulses first to last (inclusive, first <= last <
// pulseCount). Valid after RefreshPulseViewIndex.
uint32_t MaxPulseHeight(int channel, uint32_t first, uint32_t last);

// The last of the channel's stored pulses first to last (inclusive, last < pulseCount) whose time
// is not after `time`; `first` when there is none. Pulses are stored in time order, so this is a
// search that starts at `first` and touches few records however far the answer lies.
uint32_t LastPulseNotAfter(int channel, uint32_t first, uint32_t last, int64_t time);

// The same for up to PULSE_SEARCH_BATCH times at once: ends[i] for times[i]. Searching many
// times together lets their memory reads overlap.
constexpr int PULSE_SEARCH_BATCH = 256;
void LastPulsesNotAfter(int channel, uint32_t first, uint32_t last, const int64_t* times, uint32_t* ends,
                        int count);

void ResetPulseViewIndex();
