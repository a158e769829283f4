// The "Peaks and Nuclides" dialog and the peak labels of the pulse height window.
#include "ui/peaks_view.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/peak_report.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/canvas.h"
#include "platform/ui.h"
#include "ui/commands.h"
#include "core/view_state.h"

bool peakLabelsShown = true;

namespace {
constexpr int LABEL_COLOR = 4;  // purple
constexpr int LABEL_LINE_HEIGHT = 14;

// What the last report was built from: a new search is needed when any of it changed.
struct ReportSource {
    uint32_t pulses[2] = {0, 0};
    int64_t clock = 0;
    uint8_t calibrated[2] = {0, 0};
    SettingsRecord record{};
};
ReportSource lastSource;
bool reportBuilt = false;

bool SameSource(const ReportSource& s) {
    return s.pulses[0] == pulseCount[0] && s.pulses[1] == pulseCount[1] && s.clock == sampleClock &&
           s.calibrated[0] == calibrationValid[0] && s.calibrated[1] == calibrationValid[1] &&
           std::memcmp(&s.record, &settings, sizeof(settings)) == 0;
}

void RefreshReport() {
    BuildPeakReport();
    lastSource.pulses[0] = pulseCount[0];
    lastSource.pulses[1] = pulseCount[1];
    lastSource.clock = sampleClock;
    lastSource.calibrated[0] = calibrationValid[0];
    lastSource.calibrated[1] = calibrationValid[1];
    std::memcpy(&lastSource.record, &settings, sizeof(settings));
    reportBuilt = true;
}

void FillDialog(int dialog) {
    RefreshReport();
    std::string text = PeakReportText();
    text += "\r\nNuclide library\t" + (nuclideLibraryPath.empty() ? std::string("none") : nuclideLibraryPath) +
            "\r\nSearch settings\t" + PeakSettingsPath() + "\r\n";
    for (char c : peakLoadProblems) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    SetDialogItemText(dialog, IDC_PEAKS_TEXT, text.c_str());
}

bool PeaksProcedure(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT:
            FillDialog(dialog);
            return true;
        case DLG_COMMAND:
            if (control == IDC_PEAKS_REFRESH) {
                LoadPeakSettingsAndLibrary();
                FillDialog(dialog);
            } else if (control == IDC_PEAKS_COPY) {
                SetClipboardText(PeakReportText().c_str());
            } else if (control == IDOK || control == IDCANCEL) {
                EndDialog(dialog, control);
            }
            return true;
        case DLG_CLOSE:
            EndDialog(dialog, IDCANCEL);
            return true;
        default:
            return false;
    }
}
}  // namespace

void OpenPeaksDialog() {
    if (IsDialogOpen(IDD_PEAKS)) {
        BringDialogToTop(IDD_PEAKS);
        return;
    }
    OpenDialog(IDD_PEAKS, NO_OWNER, PeaksProcedure);
}

void DrawPeakLabels(int channel, const PlotArea& area) {
    if (!peakLabelsShown || (runState & RS_ACQUIRING)) return;
    if (!reportBuilt || !SameSource(lastSource)) RefreshReport();
    const ViewState& view = viewState[WND_HEIGHT];
    if (!(view.zoom > 0.0)) return;
    for (const ChannelReport& report : peakReport) {
        if (report.channel != channel) continue;
        int row = 0;
        for (const PeakRow& peak : report.peaks) {
            double column = (peak.fit.centroid - static_cast<double>(view.scrollPosition)) / view.zoom;
            if (column < 0.0 || column >= area.width) continue;
            int x = static_cast<int>(column);
            char label[64];
            if (report.calibrated)
                std::snprintf(label, sizeof(label), "%.0f %s", peak.energy,
                              peak.nuclides.empty() ? "" : peak.nuclides[0].c_str());
            else
                std::snprintf(label, sizeof(label), "%.2f", peak.centroid);
            // Neighbouring labels alternate between two lines below the legend.
            int y = area.plotTop + 2 + (row++ % 2) * LABEL_LINE_HEIGHT;
            CanvasSelectPen(LABEL_COLOR);
            CanvasMoveTo(x, y);
            CanvasLineTo(x, y + LABEL_LINE_HEIGHT - 2);
            CanvasText(x + 2, y, label, static_cast<int>(std::strlen(label)));
        }
    }
}

void ResetPeaksView() {
    peakLabelsShown = true;
    reportBuilt = false;
}
