// The histogram windows (1-5): bars with the cursor bin, ROI colouring and the Gaussian correlation
// curve in the pulse height window, and the legend with the values at the cursor.
#include <cstring>

#include "analysis/calibration.h"
#include "analysis/histograms.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/canvas.h"
#include "ui/commands.h"
#include "ui/plot_internal.h"
#include "ui/peaks_view.h"
#include "ui/plot_math.h"

namespace {
constexpr double FWHM_PERCENT_PER_SD = 235.48200450309494;

struct ModeLabels {
    const char* x;
    const char* y;
    const char* second;
    int decimals;
};

constexpr ModeLabels MODE_LABELS[5] = {
    {"  Time/s ", "  Counts ", "  Rate/(1/s) ", 3},      {"  Rate/(1/s) ", "  Counts ", "  Percent ", 3},
    {"  Interval/\xB5s ", "  Counts ", "  Percent ", 4}, {"  Width/\xB5s ", "  Counts ", "  Percent ", 3},
    {"  Height/arb.u ", "  Counts ", "  Percent ", 3},
};

// Axis units per bin of mode m for channel c.
double BinWidth(int mode, int channel) {
    const ChannelSettings& s = settings.channel[channel];
    switch (mode) {
        case 0:
            return s.timeStep;
        case 1:
            return s.rateBinSize;
        case 2:
            return s.intervalBinSize;
        case 3: {
            double scale = fieldScale[FIELD_WIDTH_BIN_SIZE];
            return scale > 0.0 ? workingParameters[channel][FIELD_WIDTH_BIN_SIZE] / scale : 0.0;
        }
        default:
            return static_cast<double>(HeightBinUnits(channel)) / HEIGHT_SCALE;
    }
}

// Factor from a raw value to the second legend value: a rate for mode 0, else a percentage.
double SecondFactor(int mode, int channel) {
    if (mode == 0) {
        double step = settings.channel[channel].timeStep;
        return step > 0.0 ? 1.0 / step : 0.0;
    }
    return entryCount[mode] != 0 ? 100.0 / static_cast<double>(entryCount[mode]) : 1.0;
}

double RawValue(int series, int64_t bin) {
    if (bin < 0 || bin >= seriesLength[series]) return 0.0;
    return seriesData[series][bin];
}

bool RoiUsed(const RoiRecord& roi) {
    return roi.startBin >= 0;
}

bool RoiContains(const RoiRecord& roi, int64_t bin) {
    return RoiUsed(roi) && roi.startBin <= bin && bin <= roi.endBin;
}

// The ROI part of the height window's legend: the statistics of every region holding the cursor,
// and with RS_ROI_SUM the sum of the gross contents of all regions.
void AddRoiLegend(Legend& legend, int channel, int64_t cursor) {
    RefreshRoiBins(channel);
    double roiSum = 0.0;
    for (int slot = 0; slot < ROI_SLOTS; ++slot) {
        const RoiRecord& roi = settings.roi[channel][slot];
        if (!RoiUsed(roi)) continue;
        bool computed = false;
        if (runState & RS_ROI_SUM) {
            ComputeRoiStatistics(slot);
            computed = true;
            roiSum += roi.gross;
        }
        if (!RoiContains(roi, cursor)) continue;
        if (!computed) ComputeRoiStatistics(slot);
        AddLegendLabel(legend, "  Mean ");
        AddLegendValue(legend, roi.mean, 3, false);
        AddLegendLabel(legend, "  SD ");
        AddLegendValue(legend, roi.sd, 3, false);
        AddLegendLabel(legend, "  Res% ");
        AddLegendValue(legend, roi.mean != 0.0 ? roi.sd * FWHM_PERCENT_PER_SD / roi.mean : 0.0, 3, false);
        AddLegendLabel(legend, "  Gross ");
        AddLegendValue(legend, roi.gross, 0, true);
        AddLegendLabel(legend, "  Net ");
        AddLegendValue(legend, roi.net, 0, true);
    }
    if (runState & RS_ROI_SUM) {
        AddLegendLabel(legend, "  SumRoi ");
        AddLegendValue(legend, roiSum, 0, true);
    }
}

void BuildLegend(int window, int channel, double binWidth, bool energyAxis, bool gaussShown, Legend& legend) {
    int mode = window - 1;
    const ModeLabels& labels = MODE_LABELS[mode];
    int64_t cursor = viewState[window].cursorBin;
    double raw = RawValue(mode, cursor);

    AddLegendLabel(legend, "Bin ");
    AddLegendValue(legend, static_cast<double>(cursor), labels.decimals, true);
    if (energyAxis) {
        char label[QUANTITY_UNITS_CAPACITY + 4] = "  ";
        size_t units = strnlen(settings.quantityUnits[channel], QUANTITY_UNITS_CAPACITY);
        std::memcpy(label + 2, settings.quantityUnits[channel], units);
        label[2 + units] = ' ';
        AddLegendLabel(legend, label, static_cast<int>(units) + 3);
        AddLegendValue(legend, Calibrate(channel, cursor * binWidth, false), labels.decimals, true);
    } else {
        AddLegendLabel(legend, labels.x);
        AddLegendValue(legend, cursor * binWidth, labels.decimals, true);
    }
    bool sumLabel =
        window == WND_HEIGHT && settings.options[channel].sumQuantity && calibrationValid[channel];
    AddLegendLabel(legend, sumLabel ? "  Sum " : labels.y);
    AddLegendValue(legend, raw, labels.decimals, true);
    AddLegendLabel(legend, labels.second);
    AddLegendValue(legend, raw * SecondFactor(mode, channel), labels.decimals, false);

    if (window == WND_HEIGHT) {
        if (gaussShown) {
            AddLegendLabel(legend, "  Gauss ");
            AddLegendValue(legend, RawValue(SERIES_CORRELATION, cursor) * 100.0 / rawMax[SERIES_CORRELATION],
                           3, false);
        }
        AddRoiLegend(legend, channel, cursor);
    } else if (window == WND_INTERVAL) {
        double deadTime = 0.0;
        if (EstimateDeadTime(&deadTime)) {
            AddLegendLabel(legend, "  DeadTime/\xB5s ");
            AddLegendValue(legend, deadTime, 3, true);
        }
    } else if (window == WND_RATE_HIST || window == WND_WIDTH) {
        double mean = ((window == WND_RATE_HIST ? rateHistMean : widthHistMean) + 0.5) * binWidth;
        double sd = (window == WND_RATE_HIST ? rateHistSd : widthHistSd) * binWidth;
        if (mean != 0.0) {
            AddLegendLabel(legend, "  Mean ");
            AddLegendValue(legend, mean, 3, true);
            AddLegendLabel(legend, "  SD ");
            AddLegendValue(legend, sd, 3, true);
        }
    }
}

// Selects pen and brush of one colour when it is not the current one.
void UseColor(int color, int& current) {
    if (color == current) return;
    CanvasSelectPen(color);
    CanvasSelectBrush(color);
    current = color;
}

// The colour of a column whose last bin is `bin`: red at the cursor; in the height window the first
// region holding the bin gives blue (cursor outside it) or yellow (cursor inside); otherwise black.
int ColumnColor(int window, int channel, int x, int cursorX, int64_t bin, int64_t cursor) {
    if (x == cursorX) return COLOR_RED;
    if (window != WND_HEIGHT) return COLOR_BLACK;
    for (const RoiRecord& roi : settings.roi[channel]) {
        if (!RoiContains(roi, bin)) continue;
        return RoiContains(roi, cursor) ? COLOR_YELLOW : COLOR_BLUE;
    }
    return COLOR_BLACK;
}

void DrawBars(int window, int channel, bool gaussShown, const PlotArea& area) {
    int mode = window - 1;
    const ViewState& view = viewState[window];
    double zoom = view.zoom;
    if (!(zoom > 0.0)) return;
    int64_t scroll = view.scrollPosition;
    int64_t cursor = view.cursorBin;
    int64_t length = seriesLength[mode];
    const double* display = seriesData[mode] + length;
    const double* gaussDisplay = seriesData[SERIES_CORRELATION] + seriesLength[SERIES_CORRELATION];
    double gainPlot = area.plotHeight * view.verticalGain;
    double barScale = gainPlot / displayMax[mode];
    double gaussScale = gainPlot / displayMax[SERIES_CORRELATION];
    double plotHeight = area.plotHeight > 0 ? area.plotHeight : 0.0;
    // Heights are clamped to the plot before they become integers (a tiny displayMax would overflow).
    auto barHeight = [plotHeight](double scale, double value) {
        return static_cast<int>(ClampDouble(scale * value, 0.0, plotHeight));
    };
    auto columnOf = [scroll, zoom](int64_t bin) {
        return ToPixel(static_cast<double>(bin - scroll) / zoom + 0.001);
    };

    int cursorX = columnOf(cursor);
    int color = COLOR_BLACK;
    int previousX = 0, previousG = 0;
    double limit = zoom * area.width + static_cast<double>(scroll);
    for (int64_t bin = scroll; static_cast<double>(bin) <= limit && bin < length; ++bin) {
        int x = columnOf(bin);
        int h = barHeight(barScale, display[bin]);
        int g = gaussShown ? barHeight(gaussScale, gaussDisplay[bin]) : 0;
        while (bin + 1 < length && columnOf(bin + 1) == x) {
            ++bin;
            int nextH = barHeight(barScale, display[bin]);
            if (nextH > h) h = nextH;
            if (gaussShown) {
                int nextG = barHeight(gaussScale, gaussDisplay[bin]);
                if (nextG > g) g = nextG;
            }
        }
        UseColor(ColumnColor(window, channel, x, cursorX, bin, cursor), color);
        CanvasFillRect(x, area.plotBottom - h - 1, ToPixel(x + 1.0 / zoom) + 1, area.plotBottom);
        if (gaussShown) {
            int curveX = ToPixel(x + 0.5 / zoom);
            UseColor(COLOR_RED, color);
            CanvasMoveTo(previousX, area.plotBottom - previousG);
            CanvasLineTo(curveX, area.plotBottom - g);
            previousX = curveX;
            previousG = g;
        }
    }
}
}  // namespace

void DrawHistogramWindow(int window, const PlotArea& area, Legend& legend, double* axisUnit,
                         bool* energyAxis) {
    int channel = AnalysedChannel();
    int mode = window - 1;
    const ChannelOptions& options = settings.options[channel];
    bool gaussShown = window == WND_HEIGHT && options.gaussianCorrelation && gaussianValid[channel];
    *energyAxis = window == WND_HEIGHT && options.useCalibration && calibrationValid[channel];
    *axisUnit = BinWidth(mode, channel);
    BuildLegend(window, channel, *axisUnit, *energyAxis, gaussShown, legend);
    DrawBars(window, channel, gaussShown, area);
    if (window == WND_HEIGHT) DrawPeakLabels(channel, area);
}
