// Counting statistics: counts per time step against the Poisson (and Gaussian) expectation, and the
// exponential part of the interval histogram (true count rate and dead time). Pure functions.
#pragma once
#include <cstdint>
#include <vector>

// Regularized upper incomplete gamma function Q(a, x) = Gamma(a, x) / Gamma(a), a > 0, x >= 0.
double UpperIncompleteGammaQ(double a, double x);

// Probability that a chi-square variable with `dof` degrees of freedom exceeds `chiSquare`.
double ChiSquarePValue(double chiSquare, int dof);

// A histogram of observed values against a model with the same mean: chi-square over groups of
// neighbouring values that each expect at least 5 entries, degrees of freedom = groups - 2 (the total
// and the mean are taken from the data). dof <= 0 (too few groups) leaves chiSquare and pValue 0.
struct ChiSquareTest {
    double chiSquare = 0.0;
    int dof = 0;
    double pValue = 0.0;
};

struct RateStatistics {
    int64_t steps = 0;  // completed time steps
    double mean = 0.0;  // counts per step
    double variance = 0.0;          // sample variance (n - 1)
    double dispersionIndex = 0.0;   // variance / mean: 1 for a Poisson process
    ChiSquareTest poisson;          // against Poisson(mean)
    ChiSquareTest gauss;            // against Normal(mean, mean) on unit bins; only when hasGauss
    bool hasGauss = false;          // mean >= RATE_GAUSS_MIN_MEAN
};

constexpr double RATE_GAUSS_MIN_MEAN = 10.0;
constexpr double CHI_SQUARE_MIN_EXPECTED = 5.0;

// The statistics of counts per time step.
RateStatistics AnalyseCountsPerStep(const std::vector<int64_t>& counts);

// The exponential part of an interval histogram: counts[i] intervals in [i, i + 1) x binSeconds.
// Fits A exp(-rate t) by Poisson-weighted least squares over the bins after the histogram's maximum
// (the dead-time dip lies before it) up to the last bin with entries. With the measured rate
// (intervals per second of acquisition), the non-paralyzable dead time is 1 / measured - 1 / rate.
struct IntervalFit {
    bool valid = false;
    double rate = 0.0;             // 1/s, from the slope
    double rateUncertainty = 0.0;  // 1/s
    double deadTime = 0.0;         // s; 0 when the measured rate is not given
    double reducedChiSquare = 0.0;
    int firstBin = 0, lastBin = 0;  // the bins fitted
};

IntervalFit FitIntervalExponential(const std::vector<double>& counts, double binSeconds, double measuredRate);
