// Nuclide library text and the ranking of nuclides by the peaks they explain.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "analysis/nuclide_library.h"

namespace {
std::vector<NuclideLine> ShippedLibrary() {
    std::ifstream in(TIK_NUCLIDE_LIBRARY);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<NuclideLine> lines;
    EXPECT_EQ(ParseNuclideLines(text.str(), &lines), 0);
    return lines;
}

std::vector<std::string> Names(const NuclideMatch& m) {
    std::vector<std::string> names;
    for (const NuclideScore& s : m.ranking) names.push_back(s.name);
    return names;
}
}  // namespace

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
    EXPECT_EQ(lines[1].nuclide, "Co-60");
    EXPECT_DOUBLE_EQ(lines[1].energy, 1173.228);
    EXPECT_DOUBLE_EQ(lines[1].intensity, 99.85);
    EXPECT_EQ(bad, (std::vector<int>{5, 6, 7}));
}

// The shipped library holds every nuclide the program promises, and the ranking of typical spectra:
// peaks (keV, FWHM 7 % at 662 keV growing with the square root of the energy, significance).
TEST(NuclideLibrary, RanksTypicalSources) {
    std::vector<NuclideLine> library = ShippedLibrary();
    for (const char* name : {"K-40", "Ra-226", "Pb-214", "Bi-214", "Ac-228", "Pb-212", "Tl-208", "Am-241", "Cs-137",
                             "Co-60", "Na-22", "Ba-133", "Eu-152", "Co-57", "Mn-54", "Sr-85", "Cd-109", "Tc-99m",
                             "I-131", "F-18", "Lu-177", "Annihilation", "Pb-X-rays"}) {
        bool found = false;
        for (const NuclideLine& line : library) found = found || line.nuclide == name;
        EXPECT_TRUE(found) << name;
    }
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
        EXPECT_EQ(m.ranking[0].name, c.best) << ::testing::PrintToString(Names(m));
        EXPECT_LE(m.ranking[0].score, 1.0);
        EXPECT_EQ(m.peakCandidates.size(), c.peaks.size());
    }
    // A 662 keV peak alone: Cs-137, not Bi-214, whose 665 keV line lies as close but whose strong
    // lines have no peak.
    NuclideMatch m = MatchNuclides({peak(663, 80)}, library, 40, 2000, 0.5);
    EXPECT_EQ(Names(m), std::vector<std::string>{"Cs-137"});
    EXPECT_EQ(m.peakCandidates[0], std::vector<std::string>{"Cs-137"});
    // Without its 609 keV line, a Bi-214 pattern ranks below a nuclide that explains its peaks fully.
    m = MatchNuclides({peak(1120, 10), peak(1764, 10), peak(1461, 10)}, library, 40, 2000, 0.5);
    EXPECT_EQ(m.ranking[0].name, "K-40");
    // A peak outside every tolerance explains nothing; no calibration range, no candidates.
    EXPECT_TRUE(MatchNuclides({peak(1900, 10)}, library, 40, 2000, 0.5).ranking.empty());
    EXPECT_TRUE(MatchNuclides({peak(662, 10)}, library, 700, 2000, 0.5).ranking.empty());
}
