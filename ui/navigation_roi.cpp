// ROI keys of the pulse height window: B/E marks, peak marking from the Gaussian correlation, Delete,
// K, R and U, and making a region from the two marks.
#include "ui/navigation_roi.h"
#include "ui/peaks_view.h"

#include <cstdint>

#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/ui.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/navigation.h"
#include "ui/plot_math.h"

namespace {
constexpr int32_t SPECTRUM_BINS = 32768;

int32_t ClampToSpectrum(int32_t bin) {
    return bin < 0 ? 0 : (bin > ROI_LAST_BIN ? ROI_LAST_BIN : bin);
}

// Marks the region around the correlation peak next to the cursor: its bounds are the zero
// crossings on both sides, and it spans `factor` times their distance on each side of the peak.
void MarkPeak(int channel, double factor) {
    if (!settings.options[channel].gaussianCorrelation || !gaussianValid[channel]) return;
    int32_t cursor = viewState[WND_HEIGHT].cursorBin;
    if (cursor < 0 || cursor >= SPECTRUM_BINS) return;
    const double* value = seriesData[SERIES_CORRELATION];
    if (value[cursor] == 0.0) return;

    int32_t peak = cursor;
    int32_t left = 0;
    for (int32_t bin = cursor; bin > 0; --bin) {
        if (value[bin] <= 0.0) {
            left = bin;
            break;
        }
        if (value[bin] > value[peak]) peak = bin;
    }
    int32_t right = SPECTRUM_BINS;
    for (int32_t bin = cursor; bin < SPECTRUM_BINS; ++bin) {
        if (value[bin] <= 0.0) {
            right = bin;
            break;
        }
        if (value[bin] > value[peak]) peak = bin;
    }
    double half = factor * (right - left);
    int32_t begin = TruncToInt32(peak - half);
    int32_t end = TruncToInt32(peak + half);
    roiBeginMark = begin < 0 ? 0 : begin;
    roiEndMark = end > ROI_LAST_BIN ? ROI_LAST_BIN : end;
    runState |= RS_ROI_BEGIN_SET | RS_ROI_END_SET;
}

// Makes a region from the two marks once both are set and differ; clears the marks either way.
void TryCreateRoi(int channel) {
    if ((runState & (RS_ROI_BEGIN_SET | RS_ROI_END_SET)) != (RS_ROI_BEGIN_SET | RS_ROI_END_SET)) return;
    if (roiBeginMark == roiEndMark) return;
    if (roiBeginMark > roiEndMark) {
        int32_t swap = roiBeginMark;
        roiBeginMark = roiEndMark;
        roiEndMark = swap;
    }
    // Marks beyond the spectrum (the cursor may stand in the extra bins) are taken as its last bin.
    roiBeginMark = ClampToSpectrum(roiBeginMark);
    roiEndMark = ClampToSpectrum(roiEndMark);
    if (roiBeginMark != roiEndMark && !AddRoi(channel, roiBeginMark, roiEndMark))
        ShowMessage("Maximum number of ROIs already selected.\nDelete one and try again!", MB_ICONHAND);
    runState &= ~(RS_ROI_BEGIN_SET | RS_ROI_END_SET);
    InvalidateWindow(WND_HEIGHT);
}
}  // namespace

void HandleHeightWindowKey(int virtualKey) {
    int channel = AnalysedChannel();
    int32_t cursor = viewState[WND_HEIGHT].cursorBin;
    bool handled = true;
    switch (virtualKey) {
        case 'B':
            roiBeginMark = cursor;
            runState |= RS_ROI_BEGIN_SET;
            break;
        case 'E':
            roiEndMark = cursor;
            runState |= RS_ROI_END_SET;
            break;
        case 'F':
            MarkPeak(channel, 1.0);
            break;
        case 'D':
            MarkPeak(channel, 1.5);
            break;
        case 'G':
            MarkPeak(channel, 0.5);
            break;
        case 'H':
            MarkPeak(channel, 0.25);
            break;
        case VK_DELETE:
            if (DeleteRoisAt(channel, cursor, IsKeyDown(VK_SHIFT)) > 0)
                runState &= ~(RS_ROI_BEGIN_SET | RS_ROI_END_SET);
            break;
        case 'K':
            CopyRoisLeftToRight();
            break;
        case 'R':
            runState ^= RS_ROI_SUM;
            break;
        case 'U':
            settings.options[channel].useCalibration = settings.options[channel].useCalibration ? 0 : 1;
            break;
        case 'N':
            peakLabelsShown = !peakLabelsShown;
            break;
        default:
            handled = false;
            break;
    }
    if (handled) InvalidateWindow(WND_HEIGHT);
    TryCreateRoi(channel);
}
