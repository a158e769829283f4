// Peak search and fit on a spectrum of counts per bin: a matched filter for a line of the expected
// width finds candidates, and Gaussians on a linear background are fitted to them (neighbours
// together) by Poisson-weighted least squares. Pure functions on plain vectors; positions in bins,
// where bin i spans [i, i + 1).
#pragma once
#include <vector>

// Expected standard deviation of a line at position x (bins): a + b * sqrt(x), at least
// PEAK_MIN_SIGMA_BINS.
struct PeakWidthModel {
    double a = 0.0;
    double b = 0.0;
};
double ExpectedSigma(const PeakWidthModel& model, double x);
constexpr double PEAK_MIN_SIGMA_BINS = 0.5;

struct PeakSearchOptions {
    double significance = 3.0;  // net area over its standard deviation, at least this
    // Accepted fitted widths relative to the expected one.
    double minWidthRatio = 0.5;
    double maxWidthRatio = 2.0;
    // The bins that hold recorded data (lastBin -1: to the end). Edges such as the detection threshold
    // are steps, not lines: the filter must lie entirely inside this range.
    int firstBin = 0;
    int lastBin = -1;
};

struct FittedPeak {
    double centroid = 0.0;  // bins
    double centroidUncertainty = 0.0;
    double sigma = 0.0;  // bins
    double sigmaUncertainty = 0.0;
    double netArea = 0.0;  // counts
    double netAreaUncertainty = 0.0;
    double significance = 0.0;   // netArea / netAreaUncertainty
    double reducedChiSquare = 0.0;  // of the multiplet fit the peak belongs to
    int firstBin = 0, lastBin = 0;  // the bins fitted
};

// One window of a spectrum fitted with n Gaussians on a straight line. `counts` are the window's
// bins (first bin at `firstBin`), `extraVariance` (empty, or one value per bin) the variance a bin has
// beyond its counts (from a subtracted background). Start values in `peaks` (centroid, sigma and
// netArea used); `expectedSigma` bounds each width to [0.3, 3] times it. Returns false when the fit
// does not converge to finite values.
struct PeakFitResult {
    std::vector<FittedPeak> peaks;
    double backgroundLevel = 0.0, backgroundSlope = 0.0;  // at the window's centre, per bin
    double reducedChiSquare = 0.0;
};
bool FitPeakWindow(const std::vector<double>& counts, const std::vector<double>& extraVariance, int firstBin,
                   std::vector<FittedPeak> peaks, const std::vector<double>& expectedSigma, PeakFitResult* result);

// Searches and fits the whole spectrum. `variance` is empty (Poisson: the counts) or one value per
// bin. Returns the accepted peaks in ascending centroid.
std::vector<FittedPeak> SearchPeaks(const std::vector<double>& counts, const std::vector<double>& variance,
                                    const PeakWidthModel& width, const PeakSearchOptions& options);
