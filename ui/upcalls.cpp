// The user interface's side of the upward seam (core/upcalls.h): what the lower layers ask of the
// plot windows. SendCommand lives with the dispatcher, UpdateScrollBar with the navigation.
#include "core/upcalls.h"

#include "analysis/histograms.h"
#include "analysis/series.h"
#include "core/view_state.h"

void RefreshPlotWindows(bool incremental) { RecomputeAll(incremental); }

void ForgetPlotWindowData() {
    ClearSeriesForNewAcquisition();
    for (int w = 1; w <= 5; ++w) viewState[w].cursorBin = 0;
}
