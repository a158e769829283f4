// The pulses view (window 0): every selected pulse of the displayed channel as a rectangle over the
// time axis, the pulses of one pixel column merged into one, and the legend with the time left.
#include <cstdint>

#include "acquisition/pulse_store.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/canvas.h"
#include "ui/plot_internal.h"
#include "ui/plot_math.h"
#include "ui/pulse_view_index.h"

namespace {
constexpr double FULL_HEIGHT = 4294967295.0;
// Enough steps to settle the rounding of a column's end; a further step could not change a pixel.
constexpr int COLUMN_END_STEPS = 64;

// The pixel column of a time (as an integer, to compare columns exactly).
int64_t ColumnOf(int64_t time, int64_t scroll, double zoom) {
    return TruncToInt64(static_cast<double>(time - scroll) / zoom);
}

// The latest time that still falls into `column` (columns grow with time, truncated towards zero).
int64_t ColumnEndTime(int64_t column, int64_t scroll, double zoom) {
    double offset = (column >= 0 ? column + 1.0 : static_cast<double>(column)) * zoom;
    int64_t end = scroll + TruncToInt64(offset);
    for (int step = 0; step < COLUMN_END_STEPS && ColumnOf(end, scroll, zoom) > column; ++step) --end;
    for (int step = 0; step < COLUMN_END_STEPS && ColumnOf(end + 1, scroll, zoom) <= column; ++step) ++end;
    return end;
}

void AddTimeLeft(Legend& legend) {
    double remaining = settings.channel[0].acquisitionTime - acquisitionSeconds;
    if (acquisitionSeconds > 0.0) {
        for (int c = 0; c < 2; ++c) {
            double rate = pulseCount[c] / acquisitionSeconds;
            if (!(rate > 0.0)) continue;
            double untilFull = (settings.channel[c].maxPulses - pulseCount[c]) / rate;
            if (untilFull < remaining) remaining = untilFull;
        }
    }
    if (!(remaining > 0.0)) return;
    int64_t seconds = TruncToInt64(remaining);
    int64_t days = seconds / 86400, hours = seconds % 86400 / 3600, minutes = seconds % 3600 / 60;
    AddLegendLabel(legend, "  TimeLeft ");
    if (days >= 1) {
        AddLegendValue(legend, static_cast<double>(days), 0, true);
        AddLegendLabel(legend, " d ");
    }
    if (hours > 0) {
        AddLegendValue(legend, static_cast<double>(hours), 0, true);
        AddLegendLabel(legend, " h ");
    }
    if (minutes > 0) {
        AddLegendValue(legend, static_cast<double>(minutes), 0, true);
        AddLegendLabel(legend, " min ");
    }
    AddLegendValue(legend, static_cast<double>(seconds % 60), 0, true);
    AddLegendLabel(legend, " s ");
}

// Ends of the columns whose pulses the pulses view draws, found a batch of columns at a time.
struct ColumnEnds {
    int64_t firstColumn = 0;
    int count = 0;
    int64_t time[PULSE_SEARCH_BATCH];
    uint32_t end[PULSE_SEARCH_BATCH];
};

ColumnEnds columnEnds;

// The last pulse of pulse k's column (k lies in [k, last]).
uint32_t EndOfColumn(int channel, uint32_t k, uint32_t last, int64_t scroll, double zoom) {
    int64_t column = ColumnOf(Pulse(channel, k).time, scroll, zoom);
    // Only the pulse just before the scroll position can lie left of column 0.
    if (column < 0) return LastPulseNotAfter(channel, k, last, ColumnEndTime(column, scroll, zoom));
    ColumnEnds& ends = columnEnds;
    if (column < ends.firstColumn || column >= ends.firstColumn + ends.count) {
        ends.firstColumn = column;
        ends.count = PULSE_SEARCH_BATCH;
        for (int i = 0; i < ends.count; ++i) ends.time[i] = ColumnEndTime(column + i, scroll, zoom);
        LastPulsesNotAfter(channel, k, last, ends.time, ends.end, ends.count);
    }
    uint32_t end = ends.end[column - ends.firstColumn];
    return end > k ? end : k;
}
}  // namespace

void DrawPulsesView(const PlotArea& area, Legend& legend) {
    const ViewState& view = viewState[0];
    int channel = AnalysedChannel();
    uint32_t count = pulseStore ? pulseCount[channel] : 0;
    double zoom = view.zoom;
    int64_t scroll = view.scrollPosition;

    CanvasMoveTo(0, area.plotBottom);
    if (count > 0 && zoom > 0.0) {
        RefreshPulseViewIndex(channel);
        columnEnds.count = 0;
        uint32_t first = LastPulseNotAfter(channel, 0, count - 1, scroll);
        int64_t visible = TruncToInt64(area.width * zoom);
        int64_t lastTime = scroll > INT64_MAX - visible ? INT64_MAX : scroll + visible;
        uint32_t last = LastPulseNotAfter(channel, first, count - 1, lastTime);
        for (uint64_t k = first; k <= last; ++k) {
            uint32_t index = static_cast<uint32_t>(k);
            if (!IsPulseSelected(channel, index)) continue;
            // The following pulses of the same column are drawn as one, with the largest height.
            uint32_t end = EndOfColumn(channel, index, last, scroll, zoom);
            uint32_t height = MaxPulseHeight(channel, index, end);
            const PulseRecord& pulse = Pulse(channel, end);
            double left = static_cast<double>(pulse.time - scroll) / zoom;
            int x0 = ToPixel(left);
            int x1 = ToPixel(x0 + pulse.width / zoom);
            double top = area.plotBottom -
                         area.plotHeight * static_cast<double>(height) * view.verticalGain / FULL_HEIGHT;
            int y = ToPixel(top < area.plotTop ? area.plotTop : top);
            CanvasLineTo(x0, area.plotBottom);
            CanvasLineTo(x0, y);
            CanvasLineTo(x1, y);
            CanvasLineTo(x1, area.plotBottom);
            k = end;
        }
    }
    CanvasLineTo(area.width, area.plotBottom);

    AddLegendLabel(legend, "TotalPulses ");
    AddLegendValue(legend, static_cast<double>(pulseCount[0]) + pulseCount[1], 0, true);
    AddLegendLabel(legend, "  FilteredPulses ");
    AddLegendValue(legend, filteredPulseCount, 0, true);
    AddLegendLabel(legend, "  AcquisitionTime/s ");
    AddLegendValue(legend, acquisitionSeconds, 0, true);
    if (runState & RS_ACQUIRING) AddTimeLeft(legend);
}
