// Calibration of pulse heights into a physical quantity (fit through the origin, straight-line fit,
// piecewise interpolation), the peak-width model and the table of Gaussian correlation kernels.
#pragma once
#include <cstdint>

// Calibration modes (settings.calibrationMode), in the order of the dialog's combo boxes.
constexpr uint8_t CALIBRATION_FIT_SLOPE = 0;
constexpr uint8_t CALIBRATION_FIT_LINEAR = 1;
constexpr uint8_t CALIBRATION_INTERPOLATE = 2;

// Kernel table capacity per channel: values 0 to KERNEL_TABLE_SIZE - 2 are usable.
constexpr int32_t KERNEL_TABLE_SIZE = 1000000;
constexpr int32_t KERNEL_INDEX_SIZE = 32768;
// Heights covered by the kernel table, in arb.u.
constexpr double KERNEL_HEIGHT_RANGE = 200.0;

// Where the kernel of one height bin starts in the channel's kernel table and its half-width.
struct KernelIndexEntry {
    int32_t offset;
    int32_t halfWidth;
};

// The kernels of a channel's last successful set-up: index[k] for the bins k below `bins`, and the
// table the entries point into. Bins at or above `bins` have no kernel.
struct ChannelKernels {
    const KernelIndexEntry* index;
    const double* table;
    int32_t bins;
};

extern uint8_t calibrationValid[2];
extern uint8_t gaussianValid[2];
extern double originSlope[2];
extern double lineSlope[2];
extern double lineOffset[2];
// Number of height bins that have a kernel (N of the last successful set-up; 0 before any).
extern int32_t kernelBins[2];

// The channel's height bin width in arb.u, clamped to the dialog's limits and snapped to the sample
// grid (a loaded settings file may hold values the grid never produces, such as 0).
double SnappedHeightBinSize(int channel);

// The channel's height bin in the 32-bit sample scale: the quantised working parameter, or, before
// the settings were first quantised, the snapped bin width in that scale. Always at least 1.
int64_t HeightBinUnits(int channel);

// Sorts the channel's calibration points by mean, checks them, fits the three mappings and the
// peak-width model, and plans the kernel table. Shows the channel's problem as a warning and
// returns false when the points are inconsistent (calibration and correlation off) or the kernel
// table overflows (calibration on, correlation off).
bool SetUpCalibration(int channel);

// The channel's kernels as its last set-up planned them (no bins before any set-up or after an
// overflow). The tables are written at the first call after a set-up.
ChannelKernels KernelsOf(int channel);

// Maps a height in arb.u to the calibrated quantity (inverse false) or back (inverse true) with the
// channel's calibration mode. Unknown modes return the value unchanged.
double Calibrate(int channel, double value, bool inverse);

// The peak-width model sd(x) = a + b sqrt(x) (x and sd in arb.u) fitted to the channel's calibration
// points as the kernel table uses it. False when no point has a mean above 0.
bool PeakWidthParameters(int channel, double* a, double* b);

// Back to the start-up state: both flags clear, slopes 1, offsets 0, no kernels.
void ResetCalibrationState();
