// Counting statistics against closed forms: the chi-square tail, dispersion of known samples,
// histograms that follow their model exactly, and the exponential part of an interval histogram.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/counting_statistics.h"

// Q(k/2, x/2) has closed forms for even and small odd degrees of freedom.
TEST(CountingStatistics, ChiSquareTailAgainstClosedForms) {
    for (double x : {0.0, 0.1, 1.0, 2.5, 7.0, 20.0, 60.0}) {
        EXPECT_NEAR(ChiSquarePValue(x, 2), std::exp(-x / 2), 1e-12) << x;
        EXPECT_NEAR(ChiSquarePValue(x, 4), std::exp(-x / 2) * (1 + x / 2), 1e-12) << x;
        EXPECT_NEAR(ChiSquarePValue(x, 1), std::erfc(std::sqrt(x / 2)), 1e-12) << x;
        EXPECT_NEAR(ChiSquarePValue(x, 3), std::erfc(std::sqrt(x / 2)) + std::sqrt(2 * x / M_PI) * std::exp(-x / 2),
                    1e-12)
            << x;
    }
    EXPECT_NEAR(ChiSquarePValue(124.342, 100), 0.05, 1e-4);  // the tabulated 95 % point
    EXPECT_EQ(ChiSquarePValue(5.0, 0), 0.0);
}

TEST(CountingStatistics, MeanVarianceDispersion) {
    RateStatistics s = AnalyseCountsPerStep({2, 4, 4, 4, 5, 5, 7, 9});
    EXPECT_EQ(s.steps, 8);
    EXPECT_DOUBLE_EQ(s.mean, 5.0);
    EXPECT_DOUBLE_EQ(s.variance, 32.0 / 7.0);
    EXPECT_DOUBLE_EQ(s.dispersionIndex, 32.0 / 35.0);
    EXPECT_EQ(AnalyseCountsPerStep({}).steps, 0);
    EXPECT_DOUBLE_EQ(AnalyseCountsPerStep({0, 0, 0}).dispersionIndex, 0.0);
}

// Counts whose histogram is the Poisson probabilities times the number of steps give a chi-square
// near 0 and a p-value near 1; doubling the spread fails the test; the Gaussian comparison appears
// only at high means. Random Poisson counts give a dispersion index near 1.
TEST(CountingStatistics, PoissonAndGaussExpectations) {
    for (double mean : {3.0, 40.0}) {
        std::vector<int64_t> exact;
        for (int k = 0; k < 200; ++k) {
            double p = std::exp(k * std::log(mean) - mean - std::lgamma(k + 1.0));
            for (long n = std::lround(100000 * p); n > 0; --n) exact.push_back(k);
        }
        RateStatistics s = AnalyseCountsPerStep(exact);
        EXPECT_NEAR(s.mean, mean, 1e-3 * mean);
        EXPECT_NEAR(s.dispersionIndex, 1.0, 2e-3);
        EXPECT_LT(s.poisson.chiSquare, 0.5) << mean;  // only the rounding to whole steps
        EXPECT_GT(s.poisson.pValue, 0.99);
        EXPECT_GT(s.poisson.dof, 3);
        EXPECT_EQ(s.hasGauss, mean >= RATE_GAUSS_MIN_MEAN);
        if (s.hasGauss) {
            EXPECT_LT(s.gauss.chiSquare / s.gauss.dof, 20.0);  // close, but not Poisson
        }

        std::vector<int64_t> wide;
        std::mt19937_64 random(5);
        std::normal_distribution<double> normal(mean * 2, std::sqrt(2 * mean) * 2);
        for (int i = 0; i < 5000; ++i) wide.push_back(std::max<int64_t>(0, std::llround(normal(random))));
        RateStatistics w = AnalyseCountsPerStep(wide);
        EXPECT_GT(w.dispersionIndex, 1.5);
        EXPECT_LT(w.poisson.pValue, 1e-6);
    }
    std::mt19937_64 random(9);
    std::poisson_distribution<int64_t> poisson(12.0);
    std::vector<int64_t> counts(20000);
    for (int64_t& k : counts) k = poisson(random);
    RateStatistics s = AnalyseCountsPerStep(counts);
    EXPECT_NEAR(s.dispersionIndex, 1.0, 0.05);
    EXPECT_GT(s.poisson.pValue, 0.001);
}

// Intervals of a process with rate n behind a non-paralyzable dead time tau: the fit gives n, and
// with the measured rate m = n / (1 + n tau) the dead time tau.
TEST(CountingStatistics, IntervalExponentialAndDeadTime) {
    const double n = 2000.0, tau = 100e-6, bin = 10e-6;
    std::mt19937_64 random(3);
    std::exponential_distribution<double> gap(n);
    std::vector<double> histogram(32768, 0.0);
    double time = 0.0;
    int pulses = 0;
    while (pulses < 200000) {
        double dt = tau + gap(random);
        time += dt;
        ++pulses;
        histogram[std::min<size_t>(static_cast<size_t>(dt / bin), histogram.size() - 1)] += 1.0;
    }
    IntervalFit fit = FitIntervalExponential(histogram, bin, pulses / time);
    ASSERT_TRUE(fit.valid);
    EXPECT_NEAR(fit.rate, n, 3 * fit.rateUncertainty);
    EXPECT_LT(fit.rateUncertainty, 0.01 * n);
    EXPECT_NEAR(fit.deadTime, tau, 3e-6);
    EXPECT_NEAR(fit.reducedChiSquare, 1.0, 0.3);
    EXPECT_FALSE(FitIntervalExponential(std::vector<double>(10, 0.0), bin, 1.0).valid);
}
