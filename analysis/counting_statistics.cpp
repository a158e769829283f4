// Counting statistics: the incomplete gamma function for p-values, chi-square tests of counts per step
// against Poisson and Gaussian expectations, and the exponential fit of the interval histogram.
#include "analysis/counting_statistics.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

namespace {
constexpr int GAMMA_ITERATIONS = 1000;
constexpr double GAMMA_EPSILON = 1e-15;
constexpr double TINY = 1e-300;

// P(a, x) by its series; converges quickly for x < a + 1.
double LowerGammaSeries(double a, double x) {
    double term = 1.0 / a, sum = term;
    for (int n = 1; n < GAMMA_ITERATIONS; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * GAMMA_EPSILON) break;
    }
    return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) by its continued fraction (modified Lentz); for x >= a + 1.
double UpperGammaFraction(double a, double x) {
    double b = x + 1.0 - a, c = 1.0 / TINY, d = 1.0 / b, h = d;
    for (int i = 1; i < GAMMA_ITERATIONS; ++i) {
        double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < TINY) d = TINY;
        c = b + an / c;
        if (std::fabs(c) < TINY) c = TINY;
        d = 1.0 / d;
        double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < GAMMA_EPSILON) break;
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

double NormalCdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// Observed and expected entries per value lo..hi; the first and last cells hold the model's tails.
ChiSquareTest GroupedChiSquare(const std::vector<double>& observed, const std::vector<double>& expected) {
    ChiSquareTest test;
    double chi = 0.0, o = 0.0, e = 0.0;
    double lastO = 0.0, lastE = 0.0;
    int groups = 0;
    for (size_t k = 0; k < expected.size(); ++k) {
        o += observed[k];
        e += expected[k];
        if (e >= CHI_SQUARE_MIN_EXPECTED) {
            chi += (o - e) * (o - e) / e;
            lastO = o;
            lastE = e;
            ++groups;
            o = e = 0.0;
        }
    }
    if (e > 0.0 || o > 0.0) {
        if (groups == 0) return test;
        // The remainder joins the last full group.
        chi -= (lastO - lastE) * (lastO - lastE) / lastE;
        lastO += o;
        lastE += e;
        chi += (lastO - lastE) * (lastO - lastE) / lastE;
    }
    test.dof = groups - 2;
    if (test.dof <= 0) {
        test.dof = 0;
        return test;
    }
    test.chiSquare = chi;
    test.pValue = ChiSquarePValue(chi, test.dof);
    return test;
}
}  // namespace

double UpperIncompleteGammaQ(double a, double x) {
    if (!(a > 0.0) || !(x >= 0.0)) return std::nan("");
    if (x == 0.0) return 1.0;
    if (x < a + 1.0) return 1.0 - LowerGammaSeries(a, x);
    return UpperGammaFraction(a, x);
}

double ChiSquarePValue(double chiSquare, int dof) {
    if (dof <= 0) return 0.0;
    return UpperIncompleteGammaQ(0.5 * dof, std::max(0.0, 0.5 * chiSquare));
}

RateStatistics AnalyseCountsPerStep(const std::vector<int64_t>& counts) {
    RateStatistics s;
    s.steps = static_cast<int64_t>(counts.size());
    if (counts.empty()) return s;
    double n = static_cast<double>(counts.size());
    double sum = 0.0;
    int64_t lo = counts[0], hi = counts[0];
    for (int64_t k : counts) {
        sum += static_cast<double>(k);
        lo = std::min(lo, k);
        hi = std::max(hi, k);
    }
    s.mean = sum / n;
    double squares = 0.0;
    for (int64_t k : counts) squares += (static_cast<double>(k) - s.mean) * (static_cast<double>(k) - s.mean);
    s.variance = counts.size() > 1 ? squares / (n - 1.0) : 0.0;
    s.dispersionIndex = s.mean > 0.0 ? s.variance / s.mean : 0.0;
    if (!(s.mean > 0.0) || lo < 0) return s;

    // Poisson: values 0 .. top, the last cell taking the upper tail.
    double sd = std::sqrt(s.mean);
    int64_t top = std::max<int64_t>(hi, static_cast<int64_t>(std::ceil(s.mean + 10.0 * sd + 10.0)));
    std::vector<double> observed(static_cast<size_t>(top + 1), 0.0), expected(observed.size(), 0.0);
    for (int64_t k : counts) observed[static_cast<size_t>(k)] += 1.0;
    double cumulative = 0.0;
    for (int64_t k = 0; k < top; ++k) {
        double p = std::exp(static_cast<double>(k) * std::log(s.mean) - s.mean - std::lgamma(static_cast<double>(k) + 1.0));
        expected[static_cast<size_t>(k)] = n * p;
        cumulative += p;
    }
    expected[static_cast<size_t>(top)] = n * std::max(0.0, 1.0 - cumulative);
    s.poisson = GroupedChiSquare(observed, expected);

    s.hasGauss = s.mean >= RATE_GAUSS_MIN_MEAN;
    if (s.hasGauss) {
        // Normal(mean, mean) on unit cells centred on the integers; the end cells take the tails.
        int64_t first = std::min<int64_t>(lo, static_cast<int64_t>(std::floor(s.mean - 10.0 * sd)));
        std::vector<double> o(static_cast<size_t>(top - first + 1), 0.0), e(o.size(), 0.0);
        for (int64_t k : counts) o[static_cast<size_t>(k - first)] += 1.0;
        for (int64_t k = first; k <= top; ++k) {
            double below = k == first ? 0.0 : NormalCdf((static_cast<double>(k) - 0.5 - s.mean) / sd);
            double above = k == top ? 1.0 : NormalCdf((static_cast<double>(k) + 0.5 - s.mean) / sd);
            e[static_cast<size_t>(k - first)] = n * (above - below);
        }
        s.gauss = GroupedChiSquare(o, e);
    }
    return s;
}

IntervalFit FitIntervalExponential(const std::vector<double>& counts, double binSeconds, double measuredRate) {
    IntervalFit fit;
    if (counts.empty() || !(binSeconds > 0.0)) return fit;
    size_t peak = static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    size_t last = counts.size();
    while (last > 0 && !(counts[last - 1] > 0.0)) --last;
    size_t first = peak + 1;
    if (last < first + 3) return fit;
    --last;

    // Start: straight line through log counts, weighted by the counts.
    double sw = 0, st = 0, sy = 0, stt = 0, sty = 0;
    for (size_t i = first; i <= last; ++i) {
        if (!(counts[i] > 0.0)) continue;
        double t = (static_cast<double>(i) + 0.5) * binSeconds, y = std::log(counts[i]), w = counts[i];
        sw += w;
        st += w * t;
        sy += w * y;
        stt += w * t * t;
        sty += w * t * y;
    }
    double d = sw * stt - st * st;
    if (!(d > 0.0)) return fit;
    Eigen::Vector2d p((sy * stt - st * sty) / d, -(sw * sty - st * sy) / d);  // log A, rate
    if (!(p[1] > 0.0)) return fit;

    // Poisson maximum likelihood by iteratively reweighted Gauss-Newton steps (weights 1 / model).
    Eigen::Matrix2d normal;
    for (int iteration = 0; iteration < 100; ++iteration) {
        normal.setZero();
        Eigen::Vector2d gradient = Eigen::Vector2d::Zero();
        for (size_t i = first; i <= last; ++i) {
            double t = (static_cast<double>(i) + 0.5) * binSeconds;
            double m = std::exp(p[0] - p[1] * t);
            Eigen::Vector2d j(m, -t * m);
            double w = 1.0 / std::max(m, 1e-12);
            normal += w * j * j.transpose();
            gradient += w * (counts[i] - m) * j;
        }
        Eigen::Vector2d step = normal.ldlt().solve(gradient);
        if (!step.allFinite()) return fit;
        // Halve steps that would make the rate negative.
        while (p[1] + step[1] <= 0.0) step *= 0.5;
        p += step;
        if (std::fabs(step[1]) <= 1e-10 * p[1] && std::fabs(step[0]) < 1e-10) break;
    }
    Eigen::Matrix2d covariance = normal.inverse();
    double deviance = 0.0;
    for (size_t i = first; i <= last; ++i) {
        double m = std::exp(p[0] - p[1] * (static_cast<double>(i) + 0.5) * binSeconds);
        deviance += 2.0 * (m - counts[i]);
        if (counts[i] > 0.0) deviance += 2.0 * counts[i] * std::log(counts[i] / m);
    }
    fit.valid = std::isfinite(p[1]) && covariance.allFinite();
    fit.rate = p[1];
    fit.rateUncertainty = std::sqrt(std::max(0.0, covariance(1, 1)));
    fit.reducedChiSquare = deviance / static_cast<double>(last - first + 1 - 2);
    fit.firstBin = static_cast<int>(first);
    fit.lastBin = static_cast<int>(last);
    if (measuredRate > 0.0 && fit.rate > 0.0) fit.deadTime = 1.0 / measuredRate - 1.0 / fit.rate;
    return fit;
}
