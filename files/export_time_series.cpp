// The two time-series exports: the pulse height histogram and the region counts of each time step
// of the analysed window. Each step's pulses are found through the time order of the store, so an
// export costs one pass over the pulses, not one pass per step.
#include <cstdint>

#include "acquisition/pulse_store.h"
#include "analysis/height_spectrum.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/ids.h"
#include "core/settings.h"
#include "files/export_internal.h"

namespace {
// The store keeps each channel in time order; a damaged data file may not, and is then searched
// whole for every step.
bool TimesInOrder(int channel, uint32_t count) {
    for (uint32_t i = 1; i < count; ++i)
        if (Pulse(channel, i).time < Pulse(channel, i - 1).time) return false;
    return true;
}

// The first pulse of the channel whose time is at or after `time` (count when there is none).
uint32_t FirstPulseFrom(int channel, uint32_t count, int64_t time) {
    uint32_t low = 0, high = count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (Pulse(channel, middle).time < time)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void WriteHistogramLine(ExportWriter& writer, int64_t lastBin) {
    const double* raw = seriesData[SERIES_HEIGHT];
    for (int64_t i = 0; i <= lastBin; ++i) {
        if (i > 0) ExportTab(writer);
        ExportNumber(writer, raw[i], 2);
    }
    ExportEndLine(writer);
}

// A step without defined regions gives an empty line, so that every step keeps its line.
void WriteRegionLine(ExportWriter& writer, int channel) {
    bool first = true;
    for (int slot = 0; slot < ROI_SLOTS; ++slot) {
        if (settings.roi[channel][slot].startBin < 0) continue;
        ComputeRoiStatistics(slot);
        if (!first) ExportTab(writer);
        ExportNumber(writer, settings.roi[channel][slot].gross, 2);
        first = false;
    }
    ExportEndLine(writer);
}
}  // namespace

void WriteTimeSeriesRows(ExportWriter& writer, bool regionsOnly) {
    int channel = AnalysedChannel();
    ChannelSettings& analysed = settings.channel[channel];
    const double savedBegin = analysed.beginTime;
    const double savedDuration = analysed.durationTime;
    const double end = savedBegin + savedDuration;
    analysed.durationTime = analysed.timeStep;
    QuantizeSettings(false);

    int64_t lastBin = dataLength[WND_HEIGHT];
    if (lastBin > HEIGHT_BINS - 1) lastBin = HEIGHT_BINS - 1;
    const uint32_t count = pulseCount[channel] < pulseCapacity[channel] ? pulseCount[channel] : pulseCapacity[channel];
    const bool ordered = TimesInOrder(channel, count);
    int64_t previousBegin = -1;
    while (analysed.beginTime < end && analysed.beginTime < acquisitionSeconds) {
        const int64_t begin = workingParameters[channel][FIELD_BEGIN_TIME];
        // A time step below one sample period of the data snaps to 0: the window would never move.
        if (begin <= previousBegin) break;
        previousBegin = begin;
        uint32_t first = 0, last = count;
        if (ordered) {
            first = FirstPulseFrom(channel, count, begin);
            last = FirstPulseFrom(channel, count, begin + workingParameters[channel][FIELD_DURATION_TIME]);
        }
        BuildHeightSpectrumCounts(first, last);
        if (regionsOnly)
            WriteRegionLine(writer, channel);
        else
            WriteHistogramLine(writer, lastBin);
        analysed.beginTime += analysed.timeStep;
        QuantizeSettings(false);
    }

    analysed.beginTime = savedBegin;
    analysed.durationTime = savedDuration;
    QuantizeSettings(false);
    BuildHeightSpectrum(false, false);
}
