// Peak analysis: the search and fit on synthetic spectra, nuclide lines and their ranking, counting
// statistics against closed forms, and the report's files beside the settings file.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <vector>

#include "analysis/counting_statistics.h"
#include "analysis/nuclide_library.h"
#include "analysis/peak_report.h"
#include "analysis/peak_search.h"
#include "tests/support/test_support.h"

// Lines of 1000 counts and more on a continuum: over many seeds the centroid lies within 0.5 % and the
// FWHM within 10 % in at least 95 % of the fits (the rest is counting statistics: the errors follow
// the fit's own uncertainties, whose pulls have unit spread); overlapping lines are fitted together.
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

class PeakReportTest : public ProgramTest {
protected:
    void WriteText(const std::string& name, const std::string& text) { std::ofstream(TempPath(name)) << text; }
};
}  // namespace

TEST(PeakSearch, KnownLinesOnContinuum) {
    const std::vector<Line> cases[] = {
        {{150, 2000}, {400, 1000}, {700, 5000}},
        {{300, 3000}, {340, 3000}},  // 2.8 expected sigma apart
        {{200, 1000}, {850, 1500}},
    };
    const unsigned seeds = 20;
    int fits = 0, withinTargets = 0;
    double pullSquares = 0.0;
    for (const std::vector<Line>& lines : cases) {
        for (unsigned seed = 1; seed <= seeds; ++seed) {
            std::vector<FittedPeak> peaks = SearchPeaks(Spectrum(lines, seed, 0.1), {}, WIDTH, PeakSearchOptions{});
            EXPECT_EQ(peaks.size(), lines.size()) << "seed " << seed;
            for (const Line& line : lines) {
                double sigma = ExpectedSigma(WIDTH, line.position);
                const FittedPeak* p = Near(peaks, line.position, sigma);
                ASSERT_NE(p, nullptr) << "line at " << line.position << " seed " << seed;
                double centroidError = std::fabs(p->centroid - line.position) / line.position;
                withinTargets += centroidError < 0.005 && std::fabs(p->sigma - sigma) / sigma < 0.10;
                pullSquares += std::pow((p->centroid - line.position) / p->centroidUncertainty, 2) +
                               std::pow((p->sigma - sigma) / p->sigmaUncertainty, 2) +
                               std::pow((p->netArea - line.area) / p->netAreaUncertainty, 2);
                EXPECT_GT(p->significance, 3.0);
                ++fits;
            }
        }
    }
    EXPECT_GE(withinTargets, fits * 95 / 100);
    EXPECT_NEAR(std::sqrt(pullSquares / (3.0 * fits)), 1.0, 0.2);
}

// A smooth continuum without lines gives no peak in at least 95 % of the seeds.
TEST(PeakSearch, NoPeakOnSmoothContinuum) {
    int clean = 0;
    for (unsigned seed = 1; seed <= 100; ++seed)
        clean += SearchPeaks(Spectrum({}, 1000 + seed, seed % 2 ? 1.0 : 20.0), {}, WIDTH, PeakSearchOptions{}).empty();
    EXPECT_GE(clean, 95);
}

// A subtracted background leaves its variance: the same net counts with a larger variance give a
// less significant line, and a weak line drowns.
TEST(PeakSearch, VarianceOfSubtractedBackground) {
    std::vector<double> counts = Spectrum({{500, 800}}, 7);
    std::vector<double> variance(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) variance[i] = counts[i] + 30.0 * Continuum(i + 0.5);
    ASSERT_NE(Near(SearchPeaks(counts, {}, WIDTH, PeakSearchOptions{}), 500, 16), nullptr);
    EXPECT_EQ(Near(SearchPeaks(counts, variance, WIDTH, PeakSearchOptions{}), 500, 16), nullptr);
}

TEST(NuclideLibrary, ParsesLinesAndReportsMalformedOnes) {
    std::vector<NuclideLine> lines;
    std::vector<int> bad;
    const char* text =
        "# comment\n"
        "Cs-137 661.657 85.1   # trailing comment\n"
        "\n"
        "Co-60\t1173.228\t99.85\textra fields\r\n"
        "Broken 12x 5\n"
        "Short 100\n"
        "Negative -5 10\n";
    EXPECT_EQ(ParseNuclideLines(text, &lines, &bad), 3);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_DOUBLE_EQ(lines[1].intensity, 99.85);
    EXPECT_EQ(bad, (std::vector<int>{5, 6, 7}));
}


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
    EXPECT_DOUBLE_EQ(s.mean, 5.0);
    EXPECT_DOUBLE_EQ(s.variance, 32.0 / 7.0);
    EXPECT_DOUBLE_EQ(s.dispersionIndex, 32.0 / 35.0);
    EXPECT_EQ(AnalyseCountsPerStep({}).steps, 0);
    EXPECT_DOUBLE_EQ(AnalyseCountsPerStep({0, 0, 0}).dispersionIndex, 0.0);
}

// Counts whose histogram is the Poisson probabilities times the number of steps give a chi-square
// near 0 and a p-value near 1; doubling the spread fails the test; the Gaussian comparison appears
// only at high means.
TEST(CountingStatistics, PoissonAndGaussExpectations) {
    for (double mean : {3.0, 40.0}) {
        std::vector<int64_t> exact;
        for (int k = 0; k < 200; ++k)
            exact.insert(exact.end(), std::lround(100000 * std::exp(k * std::log(mean) - mean - std::lgamma(k + 1.0))), k);
        RateStatistics s = AnalyseCountsPerStep(exact);
        EXPECT_NEAR(s.mean, mean, 1e-3 * mean);
        EXPECT_NEAR(s.dispersionIndex, 1.0, 2e-3);
        EXPECT_LT(s.poisson.chiSquare, 0.5) << mean;  // only the rounding to whole steps
        EXPECT_GT(s.poisson.pValue, 0.99);
        EXPECT_GT(s.poisson.dof, 3);
        EXPECT_EQ(s.hasGauss, mean >= RATE_GAUSS_MIN_MEAN);
        EXPECT_LE(s.gauss.chiSquare, 20.0 * s.gauss.dof);  // close, but not Poisson

        std::vector<int64_t> wide;
        std::mt19937_64 random(5);
        std::normal_distribution<double> normal(mean * 2, std::sqrt(2 * mean) * 2);
        for (int i = 0; i < 5000; ++i) wide.push_back(std::max<int64_t>(0, std::llround(normal(random))));
        RateStatistics w = AnalyseCountsPerStep(wide);
        EXPECT_GT(w.dispersionIndex, 1.5);
        EXPECT_LT(w.poisson.pValue, 1e-6);
    }
}

// Intervals of a process with rate n behind a non-paralyzable dead time tau: the fit gives n, and
// with the measured rate m = n / (1 + n tau) the dead time tau.
TEST(CountingStatistics, IntervalExponentialAndDeadTime) {
    const double n = 2000.0, tau = 100e-6, bin = 10e-6;
    std::mt19937_64 random(3);
    std::exponential_distribution<double> gap(n);
    std::vector<double> histogram(32768, 0.0);
    double time = 0.0;
    const int pulses = 200000;
    for (int i = 0; i < pulses; ++i) {
        double dt = tau + gap(random);
        time += dt;
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

// The shipped library ranks typical spectra: peaks (keV, FWHM 7 % at 662 keV growing with the square
// root of the energy, significance). Settings and user lines beside the settings file: values used,
// bad lines reported, the rest kept; a library named in the settings that does not exist is reported.
TEST_F(PeakReportTest, ShippedLibraryRanksTypicalSourcesAndFilesBesideTheSettingsAddToIt) {
    Start();
    EnsurePeakSettingsLoaded();
    EXPECT_EQ(PeakSettingsPath(), TempPath("tik-peaks.txt"));
    EXPECT_EQ(UserNuclidesPath(), TempPath("tik-nuclides.txt"));
    EXPECT_EQ(peakLoadProblems, "");
    const std::vector<NuclideLine> library = nuclideLibrary;  // the shipped library
    EXPECT_GT(library.size(), 90u);
    auto peak = [](double energy, double significance) {
        return PeakEnergy{energy, 0.07 * 662 * std::sqrt(energy / 662), significance};
    };
    struct Case {
        std::vector<PeakEnergy> peaks;
        const char* best;
    };
    const Case cases[] = {
        {{peak(663, 80), peak(186, 6)}, "Cs-137"},  // backscatter bump near Ra-226's line
        {{peak(1172, 40), peak(1334, 35)}, "Co-60"},
        {{peak(511, 60), peak(1275, 20)}, "Na-22"},
        {{peak(356, 50), peak(81, 30), peak(303, 12)}, "Ba-133"},
        {{peak(609, 20), peak(352, 25), peak(295, 12), peak(768, 5), peak(1120, 8), peak(1238, 5), peak(1764, 8)},
         "Bi-214"},
        {{peak(1461, 15)}, "K-40"},
    };
    for (const Case& c : cases) {
        NuclideMatch m = MatchNuclides(c.peaks, library, 40, 2000, 0.5);
        ASSERT_FALSE(m.ranking.empty());
        EXPECT_EQ(m.ranking[0].name, c.best) << m.ranking.size();
        EXPECT_LE(m.ranking[0].score, 1.0);
    }
    // A 662 keV peak alone: Cs-137, not Bi-214, whose 665 keV line lies as close but whose strong
    // lines have no peak.
    NuclideMatch m = MatchNuclides({peak(663, 80)}, library, 40, 2000, 0.5);
    ASSERT_EQ(m.ranking.size(), 1u);
    EXPECT_EQ(m.ranking[0].name, "Cs-137");
    EXPECT_EQ(m.peakCandidates[0], std::vector<std::string>{"Cs-137"});
    // Without its 609 keV line, a Bi-214 pattern ranks below a nuclide that explains its peaks fully.
    m = MatchNuclides({peak(1120, 10), peak(1764, 10), peak(1461, 10)}, library, 40, 2000, 0.5);
    EXPECT_EQ(m.ranking[0].name, "K-40");
    // A peak outside every tolerance explains nothing; no calibration range, no candidates.
    EXPECT_TRUE(MatchNuclides({peak(1900, 10)}, library, 40, 2000, 0.5).ranking.empty());
    EXPECT_TRUE(MatchNuclides({peak(662, 10)}, library, 700, 2000, 0.5).ranking.empty());

    WriteText("tik-peaks.txt", "# search\nsignificance = 5\ntolerance=0.8\ncolour=blue\nsignificance=-1\n");
    WriteText("tik-nuclides.txt", "My-1 123.4 50\nbroken line\n");
    std::string problems = LoadPeakSettingsAndLibrary();
    EXPECT_DOUBLE_EQ(peakSettings.significance, 5.0);
    EXPECT_DOUBLE_EQ(peakSettings.tolerance, 0.8);
    EXPECT_NE(problems.find("tik-peaks.txt:4: not used: colour=blue"), std::string::npos) << problems;
    EXPECT_NE(problems.find("tik-peaks.txt:5: not used"), std::string::npos);
    EXPECT_NE(problems.find("tik-nuclides.txt:2:"), std::string::npos);
    ASSERT_EQ(nuclideLibrary.size(), library.size() + 1);
    EXPECT_EQ(nuclideLibrary.back().nuclide, "My-1");

    WriteText("tik-peaks.txt", "library=" + TempPath("missing.txt") + "\n");
    problems = LoadPeakSettingsAndLibrary();
    EXPECT_NE(problems.find("cannot read the nuclide library"), std::string::npos);
    EXPECT_EQ(nuclideLibrary.size(), 1u);  // the user's line only
}
