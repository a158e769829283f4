// The nuclide library (gamma and X-ray lines: nuclide, energy, emission probability) read from plain
// text, and the matching of fitted peaks to its lines with a ranking of the nuclides. Pure functions.
#pragma once
#include <string>
#include <vector>

struct NuclideLine {
    std::string nuclide;  // e.g. "Cs-137"
    double energy;        // keV
    double intensity;     // emissions per 100 decays
};

// Reads "NAME ENERGY INTENSITY [anything]" lines separated by blanks or tabs; '#' starts a comment,
// empty lines are skipped. Appends the lines read to *lines and returns the number of malformed lines
// (their 1-based numbers go to *badLines when given): a missing field, a number that does not parse,
// an energy not above 0 or an intensity below 0.
int ParseNuclideLines(const std::string& text, std::vector<NuclideLine>* lines, std::vector<int>* badLines = nullptr);

// A fitted peak as the matching sees it (calibrated).
struct PeakEnergy {
    double energy;        // keV
    double fwhm;          // keV
    double significance;  // net area / its uncertainty
};

struct NuclideScore {
    std::string name;
    double score;  // 0 to 1
};

struct NuclideMatch {
    std::vector<NuclideScore> ranking;                  // nuclides explaining at least one peak, best first
    std::vector<std::vector<std::string>> peakCandidates;  // per peak: matching nuclides, best first
};

// Lines below this share of the nuclide's strongest line within the range count as weak: a missing
// weak line costs nothing.
constexpr double STRONG_LINE_SHARE = 0.1;
// Factor on the score of a nuclide whose strongest line within the range has no peak.
constexpr double MISSING_STRONGEST_FACTOR = 0.1;

// A peak explains a line when their energies differ by at most tolerance x the peak's FWHM. For each
// nuclide with lines in [lowEnergy, highEnergy]: coverage = share of the intensity of its strong lines
// there that peaks explain (weighted by closeness, 1 at the line down to 0.5 at the tolerance),
// times MISSING_STRONGEST_FACTOR when its strongest line is not explained; evidence = share of the
// summed significance of all peaks that its lines explain; score = coverage x evidence.
NuclideMatch MatchNuclides(const std::vector<PeakEnergy>& peaks, const std::vector<NuclideLine>& library,
                           double lowEnergy, double highEnergy, double tolerance);
