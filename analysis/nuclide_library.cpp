// Nuclide library text and the matching of peaks to nuclide lines.
#include "analysis/nuclide_library.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {
bool ParseDouble(const std::string& token, double* value) {
    if (token.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && std::isfinite(*value);
}
}  // namespace

int ParseNuclideLines(const std::string& text, std::vector<NuclideLine>* lines, std::vector<int>* badLines) {
    std::istringstream in(text);
    std::string line;
    int number = 0, bad = 0;
    while (std::getline(in, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string name, energyText, intensityText;
        if (!(fields >> name)) continue;
        fields >> energyText >> intensityText;
        double energy = 0.0, intensity = 0.0;
        if (!ParseDouble(energyText, &energy) || !ParseDouble(intensityText, &intensity) || !(energy > 0.0) ||
            intensity < 0.0) {
            ++bad;
            if (badLines) badLines->push_back(number);
            continue;
        }
        lines->push_back({name, energy, intensity});
    }
    return bad;
}

NuclideMatch MatchNuclides(const std::vector<PeakEnergy>& peaks, const std::vector<NuclideLine>& library,
                           double lowEnergy, double highEnergy, double tolerance) {
    NuclideMatch match;
    match.peakCandidates.resize(peaks.size());
    double totalEvidence = 0.0;
    for (const PeakEnergy& p : peaks) totalEvidence += std::max(0.0, p.significance);
    if (peaks.empty() || !(totalEvidence > 0.0)) return match;

    // Lines within the range, per nuclide, in library order.
    std::map<std::string, std::vector<const NuclideLine*>> nuclides;
    std::vector<std::string> order;
    for (const NuclideLine& line : library) {
        if (line.energy < lowEnergy || line.energy > highEnergy) continue;
        auto [it, inserted] = nuclides.try_emplace(line.nuclide);
        if (inserted) order.push_back(line.nuclide);
        it->second.push_back(&line);
    }
    std::vector<std::vector<size_t>> explained(order.size());  // peaks each nuclide explains
    std::vector<double> scores(order.size(), 0.0);
    for (size_t n = 0; n < order.size(); ++n) {
        const std::vector<const NuclideLine*>& lines = nuclides[order[n]];
        const NuclideLine* strongest = *std::max_element(
            lines.begin(), lines.end(), [](const NuclideLine* a, const NuclideLine* b) { return a->intensity < b->intensity; });
        double strongSum = 0.0, covered = 0.0;
        bool strongestExplained = false;
        std::vector<bool> usesPeak(peaks.size(), false);
        for (const NuclideLine* line : lines) {
            bool strong = line->intensity >= STRONG_LINE_SHARE * strongest->intensity;
            double best = 0.0;
            for (size_t k = 0; k < peaks.size(); ++k) {
                double window = tolerance * peaks[k].fwhm;
                double distance = std::fabs(peaks[k].energy - line->energy);
                if (!(window > 0.0) || distance > window) continue;
                usesPeak[k] = true;
                double u = distance / window;
                best = std::max(best, 1.0 - 0.5 * u * u);
            }
            if (strong) {
                strongSum += line->intensity;
                covered += line->intensity * best;
            }
            if (line == strongest && best > 0.0) strongestExplained = true;
        }
        double evidence = 0.0;
        for (size_t k = 0; k < peaks.size(); ++k) {
            if (!usesPeak[k]) continue;
            explained[n].push_back(k);
            evidence += std::max(0.0, peaks[k].significance);
        }
        if (explained[n].empty() || !(strongSum > 0.0)) continue;
        double coverage = covered / strongSum;
        if (!strongestExplained) coverage *= MISSING_STRONGEST_FACTOR;
        scores[n] = coverage * evidence / totalEvidence;
    }
    std::vector<size_t> ranked;
    for (size_t n = 0; n < order.size(); ++n)
        if (scores[n] > 0.0) ranked.push_back(n);
    std::stable_sort(ranked.begin(), ranked.end(), [&](size_t a, size_t b) { return scores[a] > scores[b]; });
    for (size_t n : ranked) {
        match.ranking.push_back({order[n], scores[n]});
        for (size_t k : explained[n]) match.peakCandidates[k].push_back(order[n]);
    }
    return match;
}
