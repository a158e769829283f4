// Region-of-interest operations (add, delete, copy, sort, refresh bins) and their statistics with a
// straight-line baseline under each region.
#include "analysis/roi.h"

#include <cmath>
#include <utility>

#include "analysis/calibration.h"
#include "analysis/selection.h"
#include "analysis/series.h"

namespace {
int32_t ClampBin(int32_t bin) { return bin < 0 ? 0 : bin > ROI_LAST_BIN ? ROI_LAST_BIN : bin; }

// A region bound in arb.u as the nearest bin, clamped to the spectrum (NaN gives bin 0).
int32_t BinOfValue(double value, double binWidth) {
    double position = value / binWidth + 0.5;
    if (!(position >= 0.0)) return 0;
    if (position >= ROI_LAST_BIN) return ROI_LAST_BIN;
    return static_cast<int32_t>(position);
}

// Height bin width of the channel in arb.u, the same that the spectrum is binned with.
double RoiBinWidth(int channel) { return static_cast<double>(HeightBinUnits(channel)) / HEIGHT_SCALE; }

// Truncation towards zero of a value already known to lie well inside the int32 range.
int32_t TruncateSmall(double value) { return static_cast<int32_t>(value); }

// Mean of x[first..last]; the callers' windows always hold at least one bin.
double WindowAverage(const double* x, int32_t first, int32_t last) {
    double sum = 0.0;
    for (int32_t i = first; i <= last; ++i) sum += x[i];
    return sum / (last - first + 1);
}
}  // namespace

bool AddRoi(int channel, int32_t begin, int32_t end) {
    begin = ClampBin(begin);
    end = ClampBin(end);
    if (begin == end) return true;
    if (end < begin) std::swap(begin, end);
    RoiRecord* slots = settings.roi[channel];
    for (int r = 0; r < ROI_SLOTS; ++r)
        if (slots[r].startBin >= 0 && slots[r].startBin <= end && slots[r].endBin >= begin) slots[r] = EMPTY_ROI;
    double binWidth = RoiBinWidth(channel);
    for (int r = 0; r < ROI_SLOTS; ++r) {
        if (slots[r].startBin >= 0) continue;
        slots[r].startBin = begin;
        slots[r].endBin = end;
        slots[r].startValue = begin * binWidth;
        slots[r].endValue = end * binWidth;
        return true;
    }
    return false;
}

int DeleteRoisAt(int channel, int32_t bin, bool all) {
    int freed = 0;
    for (RoiRecord& slot : settings.roi[channel]) {
        bool used = slot.startBin >= 0;
        if (all || (used && slot.startBin <= bin && bin <= slot.endBin)) {
            if (used) ++freed;
            slot = EMPTY_ROI;
        }
    }
    return freed;
}

void CopyRoisLeftToRight() {
    for (int r = 0; r < ROI_SLOTS; ++r) settings.roi[1][r] = settings.roi[0][r];
}

void SortRois(int channel) {
    RoiRecord* slots = settings.roi[channel];
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int r = 0; r + 1 < ROI_SLOTS; ++r) {
            if (slots[r].startBin > slots[r + 1].startBin) {
                std::swap(slots[r], slots[r + 1]);
                swapped = true;
            }
        }
    }
}

void RefreshRoiBins(int channel) {
    double binWidth = RoiBinWidth(channel);
    for (RoiRecord& slot : settings.roi[channel]) {
        if (slot.startBin < 0) continue;
        slot.startBin = BinOfValue(slot.startValue, binWidth);
        slot.endBin = BinOfValue(slot.endValue, binWidth);
    }
}

void ComputeRoiStatistics(int slot) {
    if (slot < 0 || slot >= ROI_SLOTS) return;
    int channel = AnalysedChannel();
    RoiRecord& roi = settings.roi[channel][slot];
    if (roi.startBin < 0 || roi.startBin > ROI_LAST_BIN || roi.endBin < roi.startBin) return;
    const int32_t s = roi.startBin;
    const int32_t t = ClampBin(roi.endBin);
    const double* x = seriesData[SERIES_HEIGHT];
    const double h = RoiBinWidth(channel);

    // Baseline: a straight line between the means of the bins within +-10 % of the width around the
    // region's start and end. Both windows hold their own bound, so neither is ever empty.
    const double w = t - s;
    const double m = 0.1 * w;
    int32_t left0 = TruncateSmall(s - m + 0.5);
    if (left0 < 0) left0 = 0;
    const int32_t left1 = TruncateSmall(s + m + 0.5);
    const int32_t right0 = TruncateSmall(t - m + 0.5);
    int32_t right1 = TruncateSmall(t + m + 0.5);
    if (right1 > ROI_LAST_BIN) right1 = ROI_LAST_BIN;
    const double a = WindowAverage(x, left0, left1);
    const double b = WindowAverage(x, right0, right1);
    // A region squeezed onto one bin has no slope.
    const double slope = w > 0.0 ? (b - a) / w : 0.0;

    double gross = 0.0, net = 0.0;
    double grossFirst = 0.0, grossSecond = 0.0, netFirst = 0.0, netSecond = 0.0;
    for (int32_t i = s; i <= t; ++i) {
        double position = i;
        double value = x[i];
        double netValue = value - (a + (i - s) * slope);
        gross += value;
        net += netValue;
        grossFirst += position * value;
        grossSecond += position * position * value;
        netFirst += position * netValue;
        netSecond += position * position * netValue;
    }
    roi.gross = gross;
    roi.net = net;

    bool found = false;
    if (net != 0.0) {
        double mu = netFirst / net;
        double variance = netSecond / net - mu * mu;
        if (mu > 0.0 && variance > 0.0) {
            roi.mean = mu * h;
            roi.sd = std::sqrt(variance) * h;
            found = true;
        }
    }
    if (!found && gross > 0.0) {
        double mu = grossFirst / gross;
        double variance = grossSecond / gross - mu * mu;
        roi.mean = mu * h;
        // Negative bins (after background subtraction) can make the variance negative: no width.
        roi.sd = variance > 0.0 ? std::sqrt(variance) * h : 0.0;
        found = true;
    }
    if (!found) {
        roi.sd = 0.0;
        roi.mean = (s + t) * 0.5 * h;
    }

    if (settings.options[channel].useCalibration && calibrationValid[channel]) {
        roi.sd = roi.sd * originSlope[channel];
        roi.mean = Calibrate(channel, roi.mean, false);
    }
}
