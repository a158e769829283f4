// The analysed span of a channel's time window, and what the stored background was taken from (its
// time, bin width and comment), so that the background can leave the program as whole counts.
#pragma once
#include <cstdint>

#include "core/settings.h"

// Frames of the channel's time window [begin, begin + duration) that lie within the acquired time
// [0, sampleClock): the span a spectrum of the selected pulses covers.
int64_t AnalysedSpanFrames(int channel);

// Set by SetDataAsBackground: the sample rate (0 while no background was set), each channel's time
// window (start in seconds, span in frames: the time its rates are divided by) and height bin in
// arb.u, and the comment at that moment (its stamps date the window).
struct BackgroundSource {
    uint32_t sampleRate;
    double beginSeconds[2];
    int64_t spanFrames[2];
    double binSize[2];
    char comment[COMMENT_CAPACITY];
};
extern BackgroundSource backgroundSource;
