// Peaks, nuclides and counting statistics for tik-cli: JSON summary members and the peak table file.
#include "cli/peak_summary.h"

#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "analysis/peak_report.h"

namespace {
using nlohmann::json;

bool prepared = false;

json OrNull(bool present, double value) { return present ? json(value) : json(nullptr); }

json ChiSquareJson(const ChiSquareTest& test) {
    return {{"chiSquare", test.chiSquare}, {"degreesOfFreedom", test.dof}, {"pValue", test.pValue}};
}
}  // namespace

void PreparePeakReport() {
    if (prepared) return;
    prepared = true;
    EnsurePeakSettingsLoaded();
    if (!peakLoadProblems.empty()) std::fprintf(stderr, "%s", peakLoadProblems.c_str());
    BuildPeakReport();
}

std::string PeakSummaryMembers() {
    PreparePeakReport();
    json peaks = json::array(), nuclides = json::array(), statistics = json::array();
    for (const ChannelReport& r : peakReport) {
        for (const PeakRow& p : r.peaks) {
            peaks.push_back({{"channel", r.channel},
                             {"centroid", p.centroid},
                             {"fwhm", p.fwhm},
                             {"energy", OrNull(r.calibrated, p.energy)},
                             {"fwhmEnergy", OrNull(r.calibrated, p.fwhmEnergy)},
                             {"resolution", p.resolution},
                             {"netArea", p.fit.netArea},
                             {"netAreaUncertainty", p.fit.netAreaUncertainty},
                             {"netRate", p.netRate},
                             {"significance", p.fit.significance},
                             {"reducedChiSquare", p.fit.reducedChiSquare},
                             {"nuclides", p.nuclides}});
        }
        for (const NuclideScore& n : r.nuclides) nuclides.push_back({{"channel", r.channel}, {"name", n.name}, {"score", n.score}});
        const RateStatistics& s = r.rate;
        json rate = {{"steps", s.steps},
                     {"mean", s.mean},
                     {"variance", s.variance},
                     {"dispersionIndex", s.dispersionIndex},
                     {"poisson", ChiSquareJson(s.poisson)},
                     {"gauss", s.hasGauss ? ChiSquareJson(s.gauss) : json(nullptr)}};
        const IntervalFit& f = r.interval;
        json interval = {{"measuredRate", r.measuredRate},
                         {"fittedRate", OrNull(f.valid, f.rate)},
                         {"fittedRateUncertainty", OrNull(f.valid, f.rateUncertainty)},
                         {"deadTimeMicroseconds", OrNull(f.valid, f.deadTime * 1e6)},
                         {"reducedChiSquare", OrNull(f.valid, f.reducedChiSquare)},
                         {"deadTimeEstimateMicroseconds", OrNull(r.hasDeadTimeEstimate, r.deadTimeEstimate)}};
        statistics.push_back({{"channel", r.channel}, {"rateHistogram", rate}, {"intervalHistogram", interval}});
    }
    auto text = [](const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); };
    return ",\"peaks\":" + text(peaks) + ",\"nuclides\":" + text(nuclides) + ",\"statistics\":" + text(statistics);
}

bool WritePeakTable(const std::string& path) {
    PreparePeakReport();
    std::ofstream out(path, std::ios::binary);
    std::string text = PeakRowsText();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}
