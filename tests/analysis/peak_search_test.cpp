// Peak search and fit on synthetic spectra: Poisson counts of known lines on a falling continuum, and
// continua without lines.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/peak_search.h"

namespace {
constexpr int BINS = 1024;
// Widths as in the demo recording's calibration: sigma = 0.7 sqrt(bin).
const PeakWidthModel WIDTH{0.0, 0.7};

struct Line {
    double position;  // bins
    double area;      // counts
};

double Continuum(double x) { return 200.0 * std::exp(-x / 300.0) + 20.0; }

// Expected counts per bin, then one Poisson draw per bin.
std::vector<double> Spectrum(const std::vector<Line>& lines, unsigned seed, double scale = 1.0) {
    std::mt19937_64 random(seed);
    std::vector<double> counts(BINS);
    for (int i = 0; i < BINS; ++i) {
        double expected = scale * Continuum(i + 0.5);
        for (const Line& line : lines) {
            double s = ExpectedSigma(WIDTH, line.position);
            expected += line.area * 0.5 *
                        (std::erf((i + 1 - line.position) / (s * std::sqrt(2.0))) -
                         std::erf((i - line.position) / (s * std::sqrt(2.0))));
        }
        counts[static_cast<size_t>(i)] = static_cast<double>(std::poisson_distribution<int64_t>(expected)(random));
    }
    return counts;
}

const FittedPeak* Near(const std::vector<FittedPeak>& peaks, double position, double within) {
    for (const FittedPeak& p : peaks)
        if (std::fabs(p.centroid - position) < within) return &p;
    return nullptr;
}
}  // namespace

// Lines of 1000 counts and more on a continuum: over many seeds the centroid lies within 0.5 % and the
// FWHM within 10 % in at least 95 % of the fits (the rest is counting statistics: the errors follow
// the fit's own uncertainties, whose pulls have unit spread); overlapping lines are fitted together.
TEST(PeakSearch, KnownLinesOnContinuum) {
    const std::vector<Line> cases[] = {
        {{150, 2000}, {400, 1000}, {700, 5000}},
        {{300, 3000}, {340, 3000}},  // 2.8 expected sigma apart
        {{200, 1000}, {850, 1500}},
    };
    const unsigned seeds = 40;
    int fits = 0, withinTargets = 0;
    double worstCentroid = 0.0, worstFwhm = 0.0, pullSquares = 0.0;
    for (const std::vector<Line>& lines : cases) {
        for (unsigned seed = 1; seed <= seeds; ++seed) {
            std::vector<FittedPeak> peaks = SearchPeaks(Spectrum(lines, seed, 0.1), {}, WIDTH, PeakSearchOptions{});
            EXPECT_EQ(peaks.size(), lines.size()) << "seed " << seed;
            for (const Line& line : lines) {
                double sigma = ExpectedSigma(WIDTH, line.position);
                const FittedPeak* p = Near(peaks, line.position, sigma);
                ASSERT_NE(p, nullptr) << "line at " << line.position << " seed " << seed;
                double centroidError = std::fabs(p->centroid - line.position) / line.position;
                double fwhmError = std::fabs(p->sigma - sigma) / sigma;
                worstCentroid = std::max(worstCentroid, centroidError);
                worstFwhm = std::max(worstFwhm, fwhmError);
                if (centroidError < 0.005 && fwhmError < 0.10) ++withinTargets;
                pullSquares += std::pow((p->centroid - line.position) / p->centroidUncertainty, 2) +
                               std::pow((p->sigma - sigma) / p->sigmaUncertainty, 2) +
                               std::pow((p->netArea - line.area) / p->netAreaUncertainty, 2);
                EXPECT_GT(p->significance, 3.0);
                ++fits;
            }
        }
    }
    ASSERT_EQ(fits, static_cast<int>(seeds) * 7);
    double pullSpread = std::sqrt(pullSquares / (3.0 * fits));
    EXPECT_GE(withinTargets, fits * 95 / 100);
    EXPECT_GT(pullSpread, 0.8);
    EXPECT_LT(pullSpread, 1.2);
    std::printf("within targets %d of %d; worst centroid error %.3f %%, worst FWHM error %.1f %%, pull spread %.2f\n",
                withinTargets, fits, 100 * worstCentroid, 100 * worstFwhm, pullSpread);
}

// A smooth continuum without lines gives no peak in at least 95 % of the seeds.
TEST(PeakSearch, NoPeakOnSmoothContinuum) {
    int clean = 0;
    const int seeds = 200;
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        double scale = seed % 2 ? 1.0 : 20.0;
        if (SearchPeaks(Spectrum({}, 1000 + seed, scale), {}, WIDTH, PeakSearchOptions{}).empty()) ++clean;
    }
    std::printf("clean continua: %d of %d\n", clean, seeds);
    EXPECT_GE(clean, seeds * 95 / 100);
}

// A subtracted background leaves its variance: the same net counts with a larger variance give a
// less significant line, and a weak line drowns.
TEST(PeakSearch, VarianceOfSubtractedBackground) {
    std::vector<double> counts = Spectrum({{500, 800}}, 7);
    std::vector<double> net(counts.size()), variance(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) {
        double background = 30.0 * Continuum(i + 0.5);  // a large background, subtracted again
        net[i] = counts[i];
        variance[i] = counts[i] + background;
    }
    std::vector<FittedPeak> plain = SearchPeaks(net, {}, WIDTH, PeakSearchOptions{});
    ASSERT_NE(Near(plain, 500, 16), nullptr);
    EXPECT_EQ(Near(SearchPeaks(net, variance, WIDTH, PeakSearchOptions{}), 500, 16), nullptr);
}
