// Peak search (matched filter on cumulative sums, so its cost does not grow with the line width) and
// the multiplet fit (Levenberg-Marquardt steps on Poisson weights, solved with Eigen).
#include "analysis/peak_search.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

namespace {
constexpr double SQRT2 = 1.4142135623730951;
constexpr double INV_SQRT_2PI = 0.3989422804014327;
// The filter spans +-3 expected sigma in 12 segments of half a sigma.
constexpr int FILTER_SEGMENTS = 12;
constexpr double FILTER_HALF_SPAN = 3.0;
// Fit windows reach 4 expected sigma beyond the outer lines; lines closer than this many sigma are
// fitted together.
constexpr double WINDOW_SIGMAS = 4.0;
constexpr double GROUP_SIGMAS = 4.0;
constexpr size_t MAX_GROUP = 8;
constexpr int MAX_ITERATIONS = 100;

double Phi(double z) { return 0.5 * std::erfc(-z / SQRT2); }
double PhiDensity(double z) { return INV_SQRT_2PI * std::exp(-0.5 * z * z); }

// Cumulative sums with linear interpolation inside a bin, of values that are zero from `extent` on:
// only the sums up to there are kept, as every later one equals the last of them exactly.
struct Cumulative {
    std::vector<double> sum;  // sum[i] = values of bins 0 .. i-1, for i <= extent
    double length;            // number of values
    Cumulative(const std::vector<double>& values, size_t extent)
        : sum(extent + 1, 0.0), length(static_cast<double>(values.size())) {
        for (size_t i = 0; i < extent; ++i) sum[i + 1] = sum[i] + values[i];
    }
    double At(double x) const {
        x = std::clamp(x, 0.0, length);
        size_t i = static_cast<size_t>(x);
        if (i >= sum.size() - 1) return sum.back();
        return sum[i] + (x - static_cast<double>(i)) * (sum[i + 1] - sum[i]);
    }
};

// One past the last bin where the counts or their variance differ from zero.
size_t NonZeroExtent(const std::vector<double>& counts, const std::vector<double>& variance) {
    size_t extent = counts.size();
    while (extent > 0 && counts[extent - 1] == 0.0 && (variance.empty() || variance[extent - 1] == 0.0))
        --extent;
    return extent;
}

struct FilterWeights {
    double w[FILTER_SEGMENTS];
    FilterWeights() {
        double mean = 0.0;
        for (int s = 0; s < FILTER_SEGMENTS; ++s) {
            double u = -FILTER_HALF_SPAN + (s + 0.5) * (2.0 * FILTER_HALF_SPAN / FILTER_SEGMENTS);
            w[s] = std::exp(-0.5 * u * u);
            mean += w[s] / FILTER_SEGMENTS;
        }
        for (double& v : w) v -= mean;  // zero sum: a straight background gives no response
    }
};

struct Candidate {
    double position;
    double z;
};

// Model of a window: background line plus Gaussians integrated over each bin, and its Jacobian
// (when one is asked for).
void EvaluateModel(const Eigen::VectorXd& p, int firstBin, double centre, int n, Eigen::VectorXd* f,
                   Eigen::MatrixXd* jacobian) {
    int peaks = (static_cast<int>(p.size()) - 2) / 3;
    f->resize(n);
    if (jacobian) jacobian->resize(n, p.size());
    for (int i = 0; i < n; ++i) {
        double lo = firstBin + i, hi = lo + 1.0;
        double value = p[0] + p[1] * (lo + 0.5 - centre);
        if (jacobian) {
            (*jacobian)(i, 0) = 1.0;
            (*jacobian)(i, 1) = lo + 0.5 - centre;
        }
        for (int k = 0; k < peaks; ++k) {
            double area = p[2 + 3 * k], mu = p[3 + 3 * k], sigma = p[4 + 3 * k];
            double a = (lo - mu) / sigma, b = (hi - mu) / sigma;
            double share = Phi(b) - Phi(a);
            double da = jacobian ? PhiDensity(a) : 0.0, db = jacobian ? PhiDensity(b) : 0.0;
            value += area * share;
            if (!jacobian) continue;
            (*jacobian)(i, 2 + 3 * k) = share;
            (*jacobian)(i, 3 + 3 * k) = area * (da - db) / sigma;
            (*jacobian)(i, 4 + 3 * k) = area * (a * da - b * db) / sigma;
        }
        (*f)[i] = value;
    }
}

void ClampParameters(Eigen::VectorXd& p, const std::vector<double>& expectedSigma, int firstBin, int n) {
    int peaks = (static_cast<int>(p.size()) - 2) / 3;
    for (int k = 0; k < peaks; ++k) {
        double e = expectedSigma[static_cast<size_t>(k)];
        p[3 + 3 * k] = std::clamp(p[3 + 3 * k], static_cast<double>(firstBin), static_cast<double>(firstBin + n));
        p[4 + 3 * k] = std::clamp(p[4 + 3 * k], std::max(0.2, 0.3 * e), 3.0 * e);
    }
}

double WeightedChiSquare(const std::vector<double>& y, const Eigen::VectorXd& f, const Eigen::VectorXd& w) {
    double chi = 0.0;
    for (size_t i = 0; i < y.size(); ++i) {
        double r = y[i] - f[static_cast<Eigen::Index>(i)];
        chi += w[static_cast<Eigen::Index>(i)] * r * r;
    }
    return chi;
}

std::vector<Candidate> FindCandidates(const std::vector<double>& counts, const std::vector<double>& variance,
                                      const PeakWidthModel& width, const PeakSearchOptions& options) {
    std::vector<Candidate> found;
    size_t first = static_cast<size_t>(std::max(0, options.firstBin)), end = counts.size();
    if (options.lastBin >= 0) end = std::min(end, static_cast<size_t>(options.lastBin) + 1);
    if (end <= first) return found;
    double threshold = options.significance;
    size_t extent = NonZeroExtent(counts, variance);
    Cumulative data(counts, extent);
    const std::vector<double>& varianceValues = variance.empty() ? counts : variance;
    Cumulative var(varianceValues, extent);
    // With no negative variance the cumulative variance never falls, so a span without variance
    // has none in any of its segments.
    bool monotonic =
        std::all_of(varianceValues.begin(), varianceValues.begin() + static_cast<std::ptrdiff_t>(extent),
                    [](double v) { return v >= 0.0; });
    static const FilterWeights filter;
    // Filter response over its noise at bin k.
    auto zAt = [&](size_t k) {
        double mu = static_cast<double>(k) + 0.5;
        double sigma = ExpectedSigma(width, mu);
        double left = mu - FILTER_HALF_SPAN * sigma, right = mu + FILTER_HALF_SPAN * sigma;
        if (left < static_cast<double>(first) || right > static_cast<double>(end)) return 0.0;
        // No variance under the filter: every segment below adds nothing to the spread, so z is 0.
        // Most bins of a spectrum lie far from any count; this skips them at the cost of two lookups.
        if (monotonic && !(var.At(right) > var.At(left))) return 0.0;
        double segment = (right - left) / FILTER_SEGMENTS, response = 0.0, spread = 0.0;
        double previous = left, previousData = data.At(left), previousVar = var.At(left);
        for (int s = 0; s < FILTER_SEGMENTS; ++s) {
            double next = s + 1 == FILTER_SEGMENTS ? right : previous + segment;
            double nextData = data.At(next), nextVar = var.At(next);
            response += filter.w[s] * (nextData - previousData);
            spread += filter.w[s] * filter.w[s] * std::max(0.0, nextVar - previousVar);
            previous = next;
            previousData = nextData;
            previousVar = nextVar;
        }
        return spread > 0.0 ? response / std::sqrt(spread) : 0.0;
    };
    // Local maxima of z, walking bins first .. end-1 once.
    double before = zAt(first), here = first + 1 < end ? zAt(first + 1) : 0.0;
    for (size_t k = first + 1; k + 1 < end; ++k) {
        double after = zAt(k + 1);
        if (here >= threshold && here >= before && here > after)
            found.push_back({static_cast<double>(k) + 0.5, here});
        before = here;
        here = after;
    }
    // Of two maxima within one expected sigma keep the stronger.
    std::vector<Candidate> kept;
    for (const Candidate& c : found) {
        if (!kept.empty() && c.position - kept.back().position < ExpectedSigma(width, c.position)) {
            if (c.z > kept.back().z) kept.back() = c;
            continue;
        }
        kept.push_back(c);
    }
    return kept;
}

// Fits one group of candidates, dropping lines that fail the checks and fitting again, until every
// remaining line passes or none is left.
void FitGroup(const std::vector<double>& counts, const std::vector<double>& variance, const PeakWidthModel& width,
              const PeakSearchOptions& options, std::vector<Candidate> group, std::vector<FittedPeak>* out) {
    int n = static_cast<int>(counts.size());
    while (!group.empty()) {
        double lo = group.front().position - WINDOW_SIGMAS * ExpectedSigma(width, group.front().position);
        double hi = group.back().position + WINDOW_SIGMAS * ExpectedSigma(width, group.back().position);
        int first = std::max(0, static_cast<int>(std::floor(lo)));
        int last = std::min(n - 1, static_cast<int>(std::ceil(hi)));
        std::vector<double> window(counts.begin() + first, counts.begin() + last + 1), extra;
        if (!variance.empty()) {
            for (int i = first; i <= last; ++i)
                extra.push_back(std::max(0.0, variance[static_cast<size_t>(i)] - counts[static_cast<size_t>(i)]));
        }
        // Start values: the line through the window's ends, areas from the counts above it.
        int m = static_cast<int>(window.size());
        int edge = std::max(1, std::min(3, m / 4));
        double left = 0.0, right = 0.0;
        for (int i = 0; i < edge; ++i) {
            left += window[static_cast<size_t>(i)] / edge;
            right += window[static_cast<size_t>(m - 1 - i)] / edge;
        }
        std::vector<FittedPeak> start;
        std::vector<double> expected;
        for (const Candidate& c : group) {
            double sigma = ExpectedSigma(width, c.position);
            double area = 0.0;
            for (int i = std::max(first, static_cast<int>(c.position - 2.0 * sigma));
                 i <= std::min(last, static_cast<int>(c.position + 2.0 * sigma)); ++i) {
                double base = left + (right - left) * (i - first + 0.5) / m;
                area += counts[static_cast<size_t>(i)] - base;
            }
            FittedPeak p;
            p.centroid = c.position;
            p.sigma = sigma;
            p.netArea = std::max(area / 0.954, 1.0);
            start.push_back(p);
            expected.push_back(sigma);
        }
        PeakFitResult result;
        if (!FitPeakWindow(window, extra, first, start, expected, &result)) return;
        // The weakest failing line goes; a line that merged into its neighbour goes too.
        size_t worst = group.size();
        double worstSignificance = 0.0;
        for (size_t k = 0; k < result.peaks.size(); ++k) {
            const FittedPeak& p = result.peaks[k];
            double ratio = p.sigma / expected[k];
            bool duplicate = k > 0 && p.centroid - result.peaks[k - 1].centroid < 0.5 * expected[k];
            bool ok = p.netArea > 0.0 && p.significance >= options.significance && ratio >= options.minWidthRatio &&
                      ratio <= options.maxWidthRatio && p.centroid > first && p.centroid < last + 1 && !duplicate;
            double s = duplicate ? -1.0 : p.significance;
            if (!ok && (worst == group.size() || s < worstSignificance)) {
                worst = k;
                worstSignificance = s;
            }
        }
        if (worst == group.size()) {
            out->insert(out->end(), result.peaks.begin(), result.peaks.end());
            return;
        }
        group.erase(group.begin() + static_cast<std::ptrdiff_t>(worst));
    }
}
}  // namespace

double ExpectedSigma(const PeakWidthModel& model, double x) {
    return std::max(PEAK_MIN_SIGMA_BINS, model.a + model.b * std::sqrt(std::max(0.0, x)));
}

bool FitPeakWindow(const std::vector<double>& counts, const std::vector<double>& extraVariance, int firstBin,
                   std::vector<FittedPeak> peaks, const std::vector<double>& expectedSigma, PeakFitResult* result) {
    int n = static_cast<int>(counts.size());
    int count = static_cast<int>(peaks.size());
    int parameters = 2 + 3 * count;
    if (count == 0 || n <= parameters) return false;
    double centre = firstBin + 0.5 * n;
    Eigen::VectorXd p(parameters);
    double left = counts.front(), right = counts.back();
    p[0] = 0.5 * (left + right);
    p[1] = (right - left) / std::max(1, n - 1);
    for (int k = 0; k < count; ++k) {
        p[2 + 3 * k] = peaks[static_cast<size_t>(k)].netArea;
        p[3 + 3 * k] = peaks[static_cast<size_t>(k)].centroid;
        p[4 + 3 * k] = peaks[static_cast<size_t>(k)].sigma;
    }
    Eigen::VectorXd f, w(n);
    Eigen::MatrixXd jacobian;
    auto weigh = [&](const Eigen::VectorXd& model) {
        for (int i = 0; i < n; ++i) {
            double extra = extraVariance.empty() ? 0.0 : extraVariance[static_cast<size_t>(i)];
            w[i] = 1.0 / std::max(model[i] + extra, 1.0);
        }
    };
    double lambda = 1e-3;
    for (int iteration = 0; iteration < MAX_ITERATIONS; ++iteration) {
        EvaluateModel(p, firstBin, centre, n, &f, &jacobian);
        weigh(f);  // Poisson weights from the current model: the fixed point is the likelihood maximum
        double chi = WeightedChiSquare(counts, f, w);
        Eigen::VectorXd residual(n);
        for (int i = 0; i < n; ++i) residual[i] = counts[static_cast<size_t>(i)] - f[i];
        Eigen::MatrixXd normal = jacobian.transpose() * w.asDiagonal() * jacobian;
        Eigen::VectorXd gradient = jacobian.transpose() * w.asDiagonal() * residual;
        bool improved = false;
        double newChi = chi;
        for (int attempt = 0; attempt < 12 && !improved; ++attempt) {
            Eigen::MatrixXd damped = normal;
            damped.diagonal() += lambda * normal.diagonal().cwiseMax(1e-12);
            Eigen::VectorXd step = damped.ldlt().solve(gradient);
            if (!step.allFinite()) return false;
            Eigen::VectorXd trial = p + step;
            ClampParameters(trial, expectedSigma, firstBin, n);
            Eigen::VectorXd trialModel;
            EvaluateModel(trial, firstBin, centre, n, &trialModel, nullptr);
            newChi = WeightedChiSquare(counts, trialModel, w);
            if (newChi <= chi) {
                p = trial;
                lambda = std::max(1e-9, lambda * 0.1);
                improved = true;
            } else {
                lambda *= 10.0;
            }
        }
        if (!improved || chi - newChi <= 1e-9 * chi) break;
    }
    EvaluateModel(p, firstBin, centre, n, &f, &jacobian);
    weigh(f);
    Eigen::MatrixXd normal = jacobian.transpose() * w.asDiagonal() * jacobian;
    Eigen::LDLT<Eigen::MatrixXd> solver(normal);
    Eigen::MatrixXd covariance = solver.solve(Eigen::MatrixXd::Identity(parameters, parameters));
    if (!p.allFinite() || !covariance.allFinite()) return false;
    double reduced = WeightedChiSquare(counts, f, w) / (n - parameters);
    // Uncertainties grow with a fit worse than the counting statistics allow.
    double scale = std::sqrt(std::max(1.0, reduced));
    result->peaks.clear();
    result->backgroundLevel = p[0];
    result->backgroundSlope = p[1];
    result->reducedChiSquare = reduced;
    for (int k = 0; k < count; ++k) {
        FittedPeak out;
        int at = 2 + 3 * k;
        out.netArea = p[at];
        out.netAreaUncertainty = std::sqrt(std::max(0.0, covariance(at, at))) * scale;
        out.centroid = p[at + 1];
        out.centroidUncertainty = std::sqrt(std::max(0.0, covariance(at + 1, at + 1))) * scale;
        out.sigma = p[at + 2];
        out.sigmaUncertainty = std::sqrt(std::max(0.0, covariance(at + 2, at + 2))) * scale;
        out.significance = out.netAreaUncertainty > 0.0 ? out.netArea / out.netAreaUncertainty : 0.0;
        out.reducedChiSquare = reduced;
        out.firstBin = firstBin;
        out.lastBin = firstBin + n - 1;
        result->peaks.push_back(out);
    }
    return true;
}

std::vector<FittedPeak> SearchPeaks(const std::vector<double>& counts, const std::vector<double>& variance,
                                    const PeakWidthModel& width, const PeakSearchOptions& options) {
    std::vector<FittedPeak> peaks;
    std::vector<Candidate> candidates = FindCandidates(counts, variance, width, options);
    std::vector<Candidate> group;
    for (const Candidate& c : candidates) {
        if (!group.empty() && (group.size() >= MAX_GROUP ||
                               c.position - group.back().position > GROUP_SIGMAS * ExpectedSigma(width, c.position))) {
            FitGroup(counts, variance, width, options, group, &peaks);
            group.clear();
        }
        group.push_back(c);
    }
    if (!group.empty()) FitGroup(counts, variance, width, options, group, &peaks);
    std::sort(peaks.begin(), peaks.end(),
              [](const FittedPeak& a, const FittedPeak& b) { return a.centroid < b.centroid; });
    return peaks;
}
