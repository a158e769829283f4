// Calibration set-up (sorting, checks, weighted fits, peak-width model, Gaussian kernel table) and the
// height-to-quantity mappings.
#include "analysis/calibration.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/settings.h"
#include "platform/ui.h"

uint8_t calibrationValid[2];
uint8_t gaussianValid[2];
double originSlope[2];
double lineSlope[2];
double lineOffset[2];
int32_t kernelBins[2];

namespace {
// Only the entries below kernelBins are ever read and written, so the untouched part of the tables
// costs no memory.
KernelIndexEntry kernelIndex[2][KERNEL_INDEX_SIZE];
double kernelTable[2][KERNEL_TABLE_SIZE];

constexpr const char* WRONG_DATA_MESSAGE =
    "Wrong calibration data,\nenergy calibration and Gaussian correlation will be disabled!";
constexpr const char* OVERFLOW_MESSAGE =
    "Gaussian table overflow,\nGaussian correlation will be disabled!\n"
    "Try to increase Bin size of the pulse height histogram\nin Data Acquisition and Analysis settings.";
// A kernel may not reach this index: the usable capacity ends one value earlier.
constexpr int64_t KERNEL_TABLE_LIMIT = KERNEL_TABLE_SIZE - 1;

void ShowChannelProblem(int channel, const char* message) {
    std::string text = channel == 0 ? "Left channel problem.\r\n" : "Right channel problem.\r\n";
    text += message;
    ShowMessage(text.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

// Repeated neighbour passes that swap whole rows only when the first mean is strictly greater, so
// rows with equal means keep their order and empty rows end up in front of the positive means.
void SortCalibrationRows(CalibrationRow* rows) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int r = 0; r + 1 < CALIBRATION_ROWS; ++r) {
            if (rows[r].mean > rows[r + 1].mean) {
                std::swap(rows[r], rows[r + 1]);
                swapped = true;
            }
        }
    }
}

// The largest mean is set, every used row has all three values, and the quantity never falls as the
// mean rises. Each value is tested for zero on its own: the product of the three could be NaN
// (infinity times zero) or underflow to zero and give the wrong answer.
bool CalibrationRowsConsistent(const CalibrationRow* rows) {
    if (rows[CALIBRATION_ROWS - 1].mean == 0.0) return false;
    for (int r = 0; r < CALIBRATION_ROWS; ++r) {
        const CalibrationRow& row = rows[r];
        bool used = row.mean + row.sd + row.quantity != 0.0;
        if (used && (row.mean == 0.0 || row.sd == 0.0 || row.quantity == 0.0)) return false;
    }
    for (int r = 1; r < CALIBRATION_ROWS; ++r)
        if (rows[r].quantity < rows[r - 1].quantity) return false;
    return true;
}

struct Mappings {
    double originSlope, lineSlope, lineOffset;
};

// Weighted (1 / sd^2) fits through the origin and of a straight line over the rows with mean > 0.
Mappings FitMappings(const CalibrationRow* rows) {
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    int n = 0;
    for (int r = 0; r < CALIBRATION_ROWS; ++r) {
        const CalibrationRow& row = rows[r];
        if (!(row.mean > 0.0)) continue;
        double w = 1.0 / (row.sd * row.sd);
        sw += w;
        sx += w * row.mean;
        sy += w * row.quantity;
        sxx += w * row.mean * row.mean;
        sxy += w * row.mean * row.quantity;
        ++n;
    }
    Mappings fit{sxy / sxx, 0.0, 0.0};
    double d = sxx * sw - sx * sx;
    if (n < 2 || d == 0.0) {
        fit.lineSlope = fit.originSlope;
    } else {
        fit.lineOffset = (sxx * sy - sxy * sx) / d;
        fit.lineSlope = (sxy * sw - sy * sx) / d;
    }
    return fit;
}

// Points that pass the checks can still give no usable line (no positive mean, or weights that
// overflow); such a calibration is refused like inconsistent points.
bool MappingsFinite(const Mappings& fit) {
    return std::isfinite(fit.originSlope) && std::isfinite(fit.lineSlope) && std::isfinite(fit.lineOffset);
}

// Peak width sd(x) = a + b * sqrt(x), unweighted least squares over the rows with mean > 0.
void FitPeakWidth(const CalibrationRow* rows, double* a, double* b) {
    double s1 = 0, s2 = 0, s3 = 0, s4 = 0;
    int n = 0;
    for (int r = 0; r < CALIBRATION_ROWS; ++r) {
        const CalibrationRow& row = rows[r];
        if (!(row.mean > 0.0)) continue;
        double root = std::sqrt(row.mean);
        s1 += row.mean;
        s2 += row.sd;
        s3 += root;
        s4 += row.sd * root;
        ++n;
    }
    double d2 = s3 * s3 - n * s1;
    if (n < 2 || d2 == 0.0) {
        *a = 0.0;
        *b = s4 / s1;
        return;
    }
    *a = (s4 * s3 - s1 * s2) / d2;
    *b = (s2 * s3 - n * s4) / d2;
    if (*b < 0.0) {
        *b = 0.0;
        *a = s2 / n;
    }
}

// One half of a Gaussian with standard deviation m / 2 bins at half-bin positions, made zero-sum
// (a flat background gives no response) and scaled to unit energy.
void WriteKernel(double* kernel, int32_t m) {
    double sum = 0.0;
    for (int32_t j = 0; j < m; ++j) {
        double u = (j + 0.5) / m;
        kernel[j] = std::exp(-2.0 * u * u);
        sum += kernel[j];
    }
    double mean = sum / m;
    double energy = 0.0;
    for (int32_t j = 0; j < m; ++j) {
        kernel[j] -= mean;
        energy += kernel[j] * kernel[j];
    }
    double scale = 1.0 / std::sqrt(energy);
    for (int32_t j = 0; j < m; ++j) kernel[j] *= scale;
}

// The kernels a set-up planned for a channel: widths 2 (sqrt(k) b1 + a1) in bins for the bins k
// below kernelBins. The tables are written at their first use, so that a run without correlation
// never touches them.
struct KernelPlan {
    double a1 = 1.0, b1 = 0.0;
    bool written = false;
};
KernelPlan kernelPlan[2];

// Walks the kernels of the bins below n, writing the index and the table where they are given.
// False when the table would overflow. The half-widths and offsets are checked as floating-point
// values before they become integers, so huge or non-finite peak widths end in the overflow.
bool WalkKernels(double a1, double b1, int32_t n, KernelIndexEntry* index, double* table) {
    int32_t previous = 0;
    int64_t offset = 0, next = 0;
    for (int32_t k = 0; k < n; ++k) {
        double width = (std::sqrt(static_cast<double>(k)) * b1 + a1) * 2.0;
        if (!(width < static_cast<double>(KERNEL_TABLE_LIMIT))) return false;
        // Two standard deviations of a peak are at least two bins; only a negative width slope from
        // nonsensical points could give less, and a kernel needs two distinct values.
        int32_t m = width >= 2.0 ? static_cast<int32_t>(width) : 2;
        if (k == 0 || m != previous) {
            offset = next;
            if (offset + m > KERNEL_TABLE_LIMIT || offset >= KERNEL_TABLE_LIMIT) return false;
            if (table) WriteKernel(table + offset, m);
            next = offset + m;
            previous = m;
        }
        if (index) index[k] = {static_cast<int32_t>(offset), m};
    }
    return true;
}

// Plans the channel's kernels for bins of width h; false on overflow.
bool PlanKernels(int channel, double a, double b, double h) {
    double a1 = a / h;
    if (a1 < 1.0) a1 = 1.0;
    double b1 = b / std::sqrt(h);
    double binLimit = std::floor(KERNEL_HEIGHT_RANGE / h);
    int32_t n = binLimit < KERNEL_INDEX_SIZE ? static_cast<int32_t>(binLimit) : KERNEL_INDEX_SIZE;
    kernelBins[channel] = 0;
    if (!WalkKernels(a1, b1, n, nullptr, nullptr)) return false;
    kernelPlan[channel] = {a1, b1, false};
    kernelBins[channel] = n;
    return true;
}

// Piecewise linear mapping through the sorted points (key[r], value[r]); rows in front that are
// empty act as the point (0, 0). The last segment is extended beyond the largest key; when the two
// largest keys are equal, the extension uses the nearest point below them (or the origin).
double Interpolate(const CalibrationRow* rows, double CalibrationRow::*key, double CalibrationRow::*value,
                   double x) {
    const int last = CALIBRATION_ROWS - 1;
    for (int r = 0; r < last; ++r) {
        double k0 = rows[r].*key, k1 = rows[r + 1].*key;
        if (r == 0 && x < k0 && k0 != 0.0) return x * (rows[0].*value) / k0;
        if (k0 <= x && x < k1) return rows[r].*value + (rows[r + 1].*value - rows[r].*value) * (x - k0) / (k1 - k0);
        if (x >= rows[last].*key) {
            double kLast = rows[last].*key, vLast = rows[last].*value;
            for (int below = last - 1; below >= 0; --below) {
                double kBelow = rows[below].*key;
                if (kBelow < kLast) return vLast + (vLast - rows[below].*value) * (x - kLast) / (kLast - kBelow);
            }
            return kLast != 0.0 ? x * vLast / kLast : x;
        }
    }
    return x;
}
}  // namespace

double SnappedHeightBinSize(int channel) {
    double h = settings.channel[channel].heightBinSize;
    if (!(h >= fieldMinimum[FIELD_HEIGHT_BIN_SIZE])) h = fieldMinimum[FIELD_HEIGHT_BIN_SIZE];
    if (h > fieldMaximum[FIELD_HEIGHT_BIN_SIZE]) h = fieldMaximum[FIELD_HEIGHT_BIN_SIZE];
    // Within the limits the scaled value lies between 215 and 2147483647: a safe conversion.
    int64_t units = static_cast<int64_t>(h * HEIGHT_SCALE + 0.5);
    return static_cast<double>(units) / HEIGHT_SCALE;
}

int64_t HeightBinUnits(int channel) {
    int64_t units = workingParameters[channel][FIELD_HEIGHT_BIN_SIZE];
    if (units >= 1) return units;
    return static_cast<int64_t>(SnappedHeightBinSize(channel) * HEIGHT_SCALE + 0.5);
}

bool SetUpCalibration(int channel) {
    calibrationValid[channel] = 1;
    gaussianValid[channel] = 1;
    CalibrationRow* rows = settings.calibration[channel];
    SortCalibrationRows(rows);
    bool consistent = CalibrationRowsConsistent(rows);
    Mappings fit{};
    if (consistent) fit = FitMappings(rows);
    if (!consistent || !MappingsFinite(fit)) {
        calibrationValid[channel] = 0;
        gaussianValid[channel] = 0;
        ShowChannelProblem(channel, WRONG_DATA_MESSAGE);
        return false;
    }
    originSlope[channel] = fit.originSlope;
    lineSlope[channel] = fit.lineSlope;
    lineOffset[channel] = fit.lineOffset;
    double a = 0.0, b = 0.0;
    FitPeakWidth(rows, &a, &b);
    if (!PlanKernels(channel, a, b, SnappedHeightBinSize(channel))) {
        gaussianValid[channel] = 0;
        ShowChannelProblem(channel, OVERFLOW_MESSAGE);
        return false;
    }
    return true;
}

ChannelKernels KernelsOf(int channel) {
    KernelPlan& plan = kernelPlan[channel];
    if (!plan.written) {
        WalkKernels(plan.a1, plan.b1, kernelBins[channel], kernelIndex[channel], kernelTable[channel]);
        plan.written = true;
    }
    return {kernelIndex[channel], kernelTable[channel], kernelBins[channel]};
}

double Calibrate(int channel, double value, bool inverse) {
    switch (settings.calibrationMode[channel]) {
    case CALIBRATION_FIT_SLOPE:
        if (!inverse) return value * originSlope[channel];
        return originSlope[channel] != 0.0 ? value / originSlope[channel] : value;
    case CALIBRATION_FIT_LINEAR:
        if (!inverse) return value * lineSlope[channel] + lineOffset[channel];
        return lineSlope[channel] != 0.0 ? (value - lineOffset[channel]) / lineSlope[channel] : value;
    case CALIBRATION_INTERPOLATE: {
        const CalibrationRow* rows = settings.calibration[channel];
        if (inverse) return Interpolate(rows, &CalibrationRow::quantity, &CalibrationRow::mean, value);
        return Interpolate(rows, &CalibrationRow::mean, &CalibrationRow::quantity, value);
    }
    default:
        return value;
    }
}

bool PeakWidthParameters(int channel, double* a, double* b) {
    const CalibrationRow* rows = settings.calibration[channel];
    bool any = false;
    for (int r = 0; r < CALIBRATION_ROWS; ++r) any = any || rows[r].mean > 0.0;
    if (!any) return false;
    FitPeakWidth(rows, a, b);
    return std::isfinite(*a) && std::isfinite(*b);
}

void ResetCalibrationState() {
    for (int c = 0; c < 2; ++c) {
        calibrationValid[c] = 0;
        gaussianValid[c] = 0;
        originSlope[c] = 1.0;
        lineSlope[c] = 1.0;
        lineOffset[c] = 0.0;
        kernelBins[c] = 0;
        kernelPlan[c] = KernelPlan();
    }
}
